// DrvPaint and DrvStretchBlt: an area filled with a mix becomes the blit of
// the clip's bounds with the mix's ROP4; stretching is the engine's.
#include "blt/blt.h"
#include "device/entry.h"
#include "platform/engine.h"

namespace {

// The ROP3 of each mix code (code & 15; code 16, white, lands on 0).
const BYTE kajMixRop3[16] = {0xFF, 0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A,
                             0x5F, 0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA};

}  // namespace

BOOL DrvPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix) {
    if (pco == nullptr) return FALSE;
    const ROP4 rop4 = static_cast<ROP4>(kajMixRop3[(mix >> 8) & 15]) << 8 | kajMixRop3[mix & 15];
    return DrvBitBlt(pso, nullptr, nullptr, pco, nullptr, &pco->rclBounds, nullptr, nullptr, pbo,
                     pptlBrushOrg, rop4);
}

BOOL DrvStretchBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                   XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDst,
                   RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
    return EngStretchBlt(psoDst, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDst, prclSrc,
                         pptlMask, iMode);
}
