// 32-bit uploads: a 32-bit host bitmap onto a device surface of any depth,
// each pixel converted to the device's depth while it fills the bounce
// buffer (3-3-2 at 8 bits, 5-5-5 at 16, unchanged at 32).
#include <cstring>

#include "device/palette.h"
#include "xfer/xfer.h"

namespace {

// Rows of 32-bit host pixels converted into a bounce half.
struct ROWS32 {
    const BYTE* pjHost;
    LONG lHostDelta;
    ULONG iShift;
};

void vConvertRow(void* pv, LONG iRow, BYTE* pjBounce, ULONG cj) {
    const ROWS32* p = static_cast<const ROWS32*>(pv);
    const BYTE* pjRow = p->pjHost + static_cast<std::ptrdiff_t>(iRow) * p->lHostDelta;
    const ULONG cPixels = cj >> p->iShift;
    const ULONG cjPixel = 1u << p->iShift;
    for (ULONG i = 0; i < cPixels; ++i) {
        ULONG c;
        std::memcpy(&c, pjRow + 4 * i, 4);
        const ULONG v = ulConvert32(c, p->iShift);
        std::memcpy(pjBounce + i * cjPixel, &v, cjPixel);  // little-endian: the low bytes
    }
}

struct UPLOAD32 {
    const XFERDEV* pxd;
    const BYTE* pjScan0;
    LONG lDelta;
    LONG xHost;  // host pixel of the board rectangle's left and top
    LONG yHost;
    LONG xBoard;
    LONG yBoard;
};

void vUpload32Piece(void* pv, LONG x, LONG y, LONG cx, LONG cy) {
    const UPLOAD32* p = static_cast<const UPLOAD32*>(pv);
    const XFERDEV* pxd = p->pxd;
    const BYTE* pjHost = p->pjScan0 +
                         static_cast<std::ptrdiff_t>(p->yHost + (y - p->yBoard)) * p->lDelta +
                         static_cast<std::ptrdiff_t>(p->xHost + (x - p->xBoard)) * 4;
    const ULONG ulKind = ulTransferKind(pxd->iShift, pxd->pid, TRUE);
    iTransferRows32(pxd->pqm, xSpanStart(x, pxd->iShift), y, cy, pxd->pid, pjHost, p->lDelta,
                    ulRowDescriptor(x, cx, pxd->iShift, ulKind), pxd->iShift);
}

struct CLIP32 {
    SURFOBJ* psoDev;
    SURFOBJ* psoHost;
    ULONG iMode;
};

void vUpload32Clip(void* pv, RECTL* prcl, POINTL* pptlSrc) {
    const CLIP32* p = static_cast<const CLIP32*>(pv);
    vUpload32Rows(p->psoDev, p->psoHost, prcl, pptlSrc, p->iMode);
}

}  // namespace

ULONG ulConvert32(ULONG c, ULONG iShift) {
    switch (iShift) {
        case 0:  // the default palette's entry of the 3-3-2 value
            return ulPaletteIndex332((c & 0xE00000u) >> 16 | (c & 0xE000u) >> 11 |
                                     (c & 0xC0u) >> 6);
        case 1: return (c & 0xF80000u) >> 9 | (c & 0xF800u) >> 6 | (c & 0xF8u) >> 3;
        default: return c;
    }
}

INT iTransferRows32(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, const BYTE* pjHost,
                    LONG lHostDelta, ULONG ulDescriptor, ULONG iShift) {
    ROWS32 rows{pjHost, lHostDelta, iShift};
    return iTransferRowsBounce(pqm, x, y, cRows, pid, ulDescriptor, vConvertRow, &rows);
}

void vUpload32Rows(SURFOBJ* psoDev, SURFOBJ* psoHost, RECTL* prclDst, POINTL* pptlSrc,
                   ULONG iMode) {
    XFERDEV xd;
    if (prclDst == nullptr || pptlSrc == nullptr || psoHost == nullptr ||
        psoHost->pvScan0 == nullptr || psoHost->iBitmapFormat != BMF_32BPP ||
        !bXferDevice(psoDev, &xd)) {
        return;
    }
    RECTL rcl = *prclDst;
    POINTL ptl = *pptlSrc;
    if (!bClipTransfer(&rcl, &ptl, xd.cx, xd.cy, psoHost->sizlBitmap.cx, psoHost->sizlBitmap.cy))
        return;
    UPLOAD32 pass{&xd,
                  static_cast<const BYTE*>(psoHost->pvScan0),
                  psoHost->lDelta,
                  ptl.x,
                  ptl.y,
                  xd.xOrigin + rcl.left,
                  xd.yOrigin + rcl.top};
    const LONG cyScreen = xd.ppdev->cyScreen;
    if (iMode == 3) pass.yBoard += cyScreen;
    const LONG cx = rcl.right - rcl.left, cy = rcl.bottom - rcl.top;
    vForEachPiece(pass.xBoard, pass.yBoard, pass.xBoard + cx, pass.yBoard + cy, vUpload32Piece,
                  &pass);
    if (iMode != 1) return;
    pass.yBoard += cyScreen;
    vForEachPiece(pass.xBoard, pass.yBoard, pass.xBoard + cx, pass.yBoard + cy, vUpload32Piece,
                  &pass);
}

BOOL vUpload32(SURFOBJ* psoDev, SURFOBJ* psoHost, CLIPOBJ* pco, RECTL* prclDst, POINTL* pptlSrc,
               ULONG iMode) {
    XFERDEV xd;
    if (prclDst == nullptr || pptlSrc == nullptr || !bXferDevice(psoDev, &xd)) return FALSE;
    CLIP32 context{psoDev, psoHost, iMode};
    vForEachClipRect(pco, prclDst, pptlSrc, vUpload32Clip, &context);
    kz2FlushQueue(xd.pqm, static_cast<ULONG>(-1), nullptr, nullptr);
    return TRUE;
}
