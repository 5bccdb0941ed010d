// What the lgi layer reads of the display driver's device record: the
// board configuration's flags and precision word, the drawing area's
// height, the page configuration's stereo flag and the dither marker,
// through the fields table the driver exports; and the board side of the
// dither load.
#include <algorithm>

#include "glpdev.h"
#include "3d/queue/queue.h"
#include "shared/frame/hwframe.h"
#include "3d/validate/validate.h"
#include "vornix_surface.h"
#include "../../seams.h"

namespace {

PDEV* ppdevOf(GLSRVDEVICE* pDevice) { return pDevice != nullptr ? pDevice->ppdev : nullptr; }
PDEV* ppdevOf(N_HwRecord* phw) { return phw != nullptr ? ppdevOf(phw->pDevice) : nullptr; }

constexpr ULONG kDitherCommand = 0x02100006u;  // rectangles, no constants, one pid, one instruction
constexpr ULONG kDitherRoomPerQueue = 32;

}  // namespace

ULONG _NBoardFlags(GLSRVDEVICE* pDevice) {
    PDEV* ppdev = ppdevOf(pDevice);
    return ppdev != nullptr ? pGLBoardConfig(ppdev)->flags : 0;
}

ULONG _NModelImprecision(GLSRVDEVICE* pDevice) {
    PDEV* ppdev = ppdevOf(pDevice);
    return ppdev != nullptr ? pGLBoardConfig(ppdev)->modelImprecision : 0;
}

LONG _NSurfaceHeight(GLSRVDEVICE* pDevice) {
    PDEV* ppdev = ppdevOf(pDevice);
    return ppdev != nullptr ? lGLSurfaceHeight(ppdev) : 0;
}

ULONG _NDepthBits(GLSRVDEVICE* pDevice) {
    PDEV* ppdev = ppdevOf(pDevice);
    const PAGECONFIG* pcfg = ppdev != nullptr ? pGLPageConfig(ppdev) : nullptr;
    return pcfg != nullptr ? pcfg->cDepthBits : 0;
}

ULONG _NStereoPages(N_Context* pctx) {
    PDEV* ppdev = pctx != nullptr ? ppdevOf(pctx->pHw) : nullptr;
    const PAGECONFIG* pcfg = ppdev != nullptr ? pGLPageConfig(ppdev) : nullptr;
    return pcfg != nullptr && pcfg->fStereo != 0 ? 1 : 0;
}

ULONG _NDitherMarker(N_HwRecord* phw) {
    PDEV* ppdev = ppdevOf(phw);
    return ppdev != nullptr ? *pulGLPatternUniq(ppdev) : 0;
}

void _NBoardLoadDither(N_HwRecord* phw) {
    PDEV* ppdev = ppdevOf(phw);
    if (ppdev == nullptr) return;
    // The display driver writes the matrix of the display's depth into its
    // dither tile; the rectangle below moves the tile into every
    // rasterizer's pattern registers.
    LoadDitherMat(ppdev);
    const DSURF* pds = pdsurfGLDither(ppdev);
    if (pds == nullptr || pds->pdfb == nullptr) return;  // no tile: the registers are not loaded
    N_HwFrame f;
    f.phw = phw;
    const KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    const ULONG cQueues =
        qm != nullptr && qm->pLayout != nullptr ? std::max<ULONG>(qm->pLayout->cQueues, 1) : 1;
    ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, kDitherRoomPerQueue * cQueues);
    if (p == nullptr || !_NHwFrameQueues(&f)) {
        _NUpdateQAddr(phw);
        return;
    }
    for (ULONG q = 0; q < f.cQueues; ++q) f.qm[q].pPacket[0] = kDitherCommand;
    ULONG aul[N_DITHER_LOAD_WORDS];
    const ULONG n =
        _NDitherLoadWords(ulGLPidDither(ppdev), pds->pdfb->x, pds->pdfb->y, f.cQueues, aul);
    *p++ = aul[0];
    *p++ = aul[1];
    // Each copy is routed by its first and third corners.
    for (ULONG k = 2; k + 4 <= n; k += 4) {
        for (ULONG j = 0; j < 4; ++j) *p++ = aul[k + j];
        p = _NHwRouteTriangle(f, p, aul[k], aul[k + 2], aul[k]);
    }
    _NUpdateQAddr(phw);
    *pulGLPatternUniq(ppdev) = N_DITHER_MARKER;
}
