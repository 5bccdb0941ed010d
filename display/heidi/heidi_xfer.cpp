// Pixel-rectangle transfers of the immediate-mode 3D escape between the
// shared view and the window's buffers. The rectangle is given in window
// coordinates with y growing upwards (x, y its lower-left pixel); the
// pixels lie in the view from byte 40, rows of the record's row length,
// the lowest window row first. Codes 114 and 115 move colour pixels of the
// destination buffer (front or back) in the device's format; 116 and 117
// move depth pixels of the depth buffer in its own format. Writes go to
// the parts of the rectangle inside the window's clip rectangles; reads
// take the part inside the drawing area.
#include <algorithm>
#include <cstdint>

#include "cliprects.h"
#include "copy/copy.h"
#include "heidi/heidi_internal.h"
#include "rop/rop.h"
#include "xfer/xfer.h"

namespace {

ULONG cjPixel(ULONG iFormat) {
    switch (iFormat) {
        case BMF_8BPP: return 1;
        case BMF_16BPP: return 2;
        case BMF_32BPP: return 4;
        default: return 0;
    }
}

}  // namespace

void vTransfer(SURFOBJ* pso, PDEV* ppdev, HEIDIWND* phw, const HEIDICMD& cmd) {
    const bool bDepth = cmd.ulCode == HEIDI_WRITE_DEPTH || cmd.ulCode == HEIDI_READ_DEPTH;
    const bool bWrite = cmd.ulCode == HEIDI_WRITE_COLOUR || cmd.ulCode == HEIDI_WRITE_DEPTH;
    SURFOBJ* psoDev = bDepth ? ppdev->psoZ : psoHeidiTarget(pso, phw);
    if (psoDev == nullptr) return;
    const ULONG cj = cjPixel(psoDev->iBitmapFormat);
    const LONG cx = cmd.cx, cy = cmd.cy;
    const std::uint64_t cjRow = cmd.cjRow;
    // The image must lie inside the view.
    if (cj == 0 || cx == 0 || cy == 0 || cjRow < std::uint64_t{cj} * cx || cjRow % 4 != 0 ||
        cjRow > 0x7FFFFFFF || HEIDI_VIEW_DATA + cjRow * cy > phw->cjView)
        return;
    // The rectangle on the surface: window row y is board row
    // top + height - 1 - y.
    const LONG xLeft = phw->rclClient.left + cmd.x;
    const LONG yBottom = phw->rclClient.bottom - 1 - cmd.y;
    const RECTL rclDev = {xLeft, yBottom - cy + 1, xLeft + cx, yBottom + 1};
    const SIZEL sizl = {cx, cy};
    HSURF hsurfHost = EngCreateBitmap(sizl, static_cast<LONG>(cjRow), psoDev->iBitmapFormat, 0,
                                      phw->pjView + HEIDI_VIEW_DATA);
    SURFOBJ* psoHost = hsurfHost != nullptr ? EngLockSurface(hsurfHost) : nullptr;
    if (psoHost == nullptr) {
        if (hsurfHost != nullptr) EngDeleteSurface(hsurfHost);
        return;
    }
    KZ2QUEUEMGT pqm = kz2GetQueueMgt(psoDev, kz2GetBlockEnable(0, 0, 0, 0));
    // The host point of a surface rectangle's top-left corner.
    auto host = [&](const RECTL& r) { return POINTL{r.left - rclDev.left, r.top - rclDev.top}; };
    if (bWrite) {
        RECTL arcl[HEIDI_MAX_CLIP];
        const ULONG c = cHeidiClip(ppdev, phw, arcl);
        for (ULONG i = 0; i < c; ++i) {
            RECTL r;
            if (!bRectIntersect(&arcl[i], &rclDev, &r)) continue;
            POINTL ptl = host(r);
            if (!bDepth && cmd.ulCode == HEIDI_WRITE_COLOUR && cmd.jSelect == 1)
                vCopyHostViaStaging(psoDev, psoHost, &r, &ptl, 0x66, ulRop3Info(0x66));
            else
                vUploadRect(psoDev, psoHost, &r, &ptl, TRUE, 0, nullptr);
        }
        if (pqm != nullptr) kz2FlushQueue(pqm, static_cast<ULONG>(-1), nullptr, nullptr);
    } else {
        const RECTL rclArea = {0, 0, ppdev->cxSurface, ppdev->cySurface};
        RECTL r;
        if (bRectIntersect(&rclDev, &rclArea, &r)) {
            POINTL ptlDev = {r.left, r.top};
            RECTL rclHost = {r.left - rclDev.left, r.top - rclDev.top, r.right - rclDev.left,
                             r.bottom - rclDev.top};
            vDownloadFlush(psoHost, psoDev, &rclHost, &ptlDev, 0);
        }
    }
    EngUnlockSurface(psoHost);
    EngDeleteSurface(hsurfHost);
}
