// EngCopyBits: a source copy with translation between any two formats,
// run-length encoded sources included. It is the blit with ROP 0xCCCC:
// no brush, no mask.
#include "drawing.h"
#include "platform/engine.h"
#include "platform/faults.h"

extern "C" BOOL EngCopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            RECTL* prclDst, POINTL* pptlSrc) {
    if (vnx::faults::should_fail("EngCopyBits")) return FALSE;
    if (psoDst == nullptr || psoSrc == nullptr || prclDst == nullptr || pptlSrc == nullptr)
        return FALSE;
    return vnx::engine::blit(vnx::engine::BlitArgs{psoDst, psoSrc, nullptr, pco, pxlo, prclDst,
                                                   pptlSrc, nullptr, nullptr, nullptr, 0xCCCC});
}
