// The zoomed image write that the GL server uses for glDrawPixels with a
// pixel zoom: the host image is enlarged (or shrunk) on the host while it
// fills the bounce buffer, converted to the surface's depth, and written
// inside one clip box.
#include <algorithm>
#include <climits>
#include <cstring>

#include "xfer/xfer.h"

namespace {

// The accumulators of both axes start here.
constexpr std::uint64_t kZoomStart = 0x7FD3;
constexpr std::uint64_t kZoomCarry = 0xFFFF;

ULONG ulLoadPixel(const BYTE* pj, ULONG iShift) {
    ULONG v = 0;
    std::memcpy(&v, pj, std::size_t{1} << iShift);  // little-endian: the low bytes
    return v;
}

// The zoomed rows of one piece.
struct ZOOMROWS {
    const ZOOMMAP* pzm;
    LONG iRow0;
    LONG iCol0;
    // The last row written, copied again when the next output row repeats
    // its source row (the row before it in the bounce buffer is intact).
    LONG iRowLast;
    LONG iSrcRowLast;
    const BYTE* pjLast;
};

void vZoomRow(void* pv, LONG iRow, BYTE* pjBounce, ULONG cj) {
    ZOOMROWS* p = static_cast<ZOOMROWS*>(pv);
    const ZOOMMAP* pzm = p->pzm;
    const LONG iSrcRow = pzm->piSrcRow[p->iRow0 + iRow - pzm->iRowFirst];
    if (p->pjLast != nullptr && iRow == p->iRowLast + 1 && iSrcRow == p->iSrcRowLast) {
        std::memmove(pjBounce, p->pjLast, cj);
    } else {
        const BYTE* pjSrc = pzm->pjScan0 + static_cast<std::ptrdiff_t>(iSrcRow) * pzm->lDelta;
        const ULONG cjPixel = 1u << pzm->iDstShift;
        const ULONG cPixels = cj >> pzm->iDstShift;
        const LONG* piCol = pzm->piSrcCol + (p->iCol0 - pzm->iColFirst);
        for (ULONG i = 0; i < cPixels; ++i) {
            ULONG c = ulLoadPixel(pjSrc + (static_cast<std::ptrdiff_t>(piCol[i]) << pzm->iSrcShift),
                                  pzm->iSrcShift);
            if (pzm->iSrcShift == 2) c = ulConvert32(c, pzm->iDstShift);
            std::memcpy(pjBounce + i * cjPixel, &c, cjPixel);
        }
    }
    p->iRowLast = iRow;
    p->iSrcRowLast = iSrcRow;
    p->pjLast = pjBounce;
}

struct ZOOMPASS {
    const XFERDEV* pxd;
    const ZOOMMAP* pzm;
    LONG xBoard;  // board position of output column and row 0
    LONG yBoard;
};

void vZoomPiece(void* pv, LONG x, LONG y, LONG cx, LONG cy) {
    const ZOOMPASS* p = static_cast<const ZOOMPASS*>(pv);
    const XFERDEV* pxd = p->pxd;
    const ULONG ulKind = ulTransferKind(pxd->iShift, pxd->pid, TRUE);
    iTransferRowsZoom(pxd->pqm, xSpanStart(x, pxd->iShift), y, cy, pxd->pid,
                      ulRowDescriptor(x, cx, pxd->iShift, ulKind), p->pzm, y - p->yBoard,
                      x - p->xBoard);
}

// Writes the zoomed image; FALSE when the source cannot be read.
BOOL bWriteZoomed(const XFERDEV* pxd, SURFOBJ* psoSrc, const RECTL* prclDst, const POINTL* pptlSrc,
                  ULONG z0, ULONG z1, ULONG z2, ULONG z3, LONG xClipMin, LONG yClipMin,
                  LONG xClipMax, LONG yClipMax) {
    const LONG iSrcShift = iShiftOfFormat(psoSrc->iBitmapFormat);
    if (iSrcShift < 0 || psoSrc->pvScan0 == nullptr || pptlSrc->x < 0 || pptlSrc->y < 0 ||
        pptlSrc->x >= psoSrc->sizlBitmap.cx || pptlSrc->y >= psoSrc->sizlBitmap.cy) {
        return FALSE;
    }
    const LONG cSrcX = psoSrc->sizlBitmap.cx - pptlSrc->x;
    const LONG cSrcY = psoSrc->sizlBitmap.cy - pptlSrc->y;

    // Output columns and rows that exist: inside the destination rectangle
    // and made by the image, then inside the clip box and the surface.
    const std::int64_t cxOut = std::min<std::int64_t>(std::int64_t{prclDst->right} - prclDst->left,
                                                      cZoomMap(nullptr, 0, 0, cSrcX, z0, z2));
    const std::int64_t cyOut = std::min<std::int64_t>(std::int64_t{prclDst->bottom} - prclDst->top,
                                                      cZoomMap(nullptr, 0, 0, cSrcY, z1, z3));
    const std::int64_t left = std::max<std::int64_t>({prclDst->left, xClipMin, 0});
    const std::int64_t top = std::max<std::int64_t>({prclDst->top, yClipMin, 0});
    const std::int64_t right = std::min<std::int64_t>({prclDst->left + cxOut, xClipMax, pxd->cx});
    const std::int64_t bottom = std::min<std::int64_t>({prclDst->top + cyOut, yClipMax, pxd->cy});
    if (left >= right || top >= bottom) return TRUE;

    const LONG iCol0 = static_cast<LONG>(left - prclDst->left);
    const LONG iRow0 = static_cast<LONG>(top - prclDst->top);
    const LONG cCols = static_cast<LONG>(right - left);
    const LONG cRows = static_cast<LONG>(bottom - top);
    LONG* piCol =
        static_cast<LONG*>(LocalAlloc(LPTR, sizeof(LONG) * static_cast<std::size_t>(cCols)));
    LONG* piRow =
        static_cast<LONG*>(LocalAlloc(LPTR, sizeof(LONG) * static_cast<std::size_t>(cRows)));
    if (piCol != nullptr && piRow != nullptr) {
        cZoomMap(piCol, iCol0, cCols, cSrcX, z0, z2);
        cZoomMap(piRow, iRow0, cRows, cSrcY, z1, z3);
        const BYTE* pjScan0 = static_cast<const BYTE*>(psoSrc->pvScan0) +
                              static_cast<std::ptrdiff_t>(pptlSrc->y) * psoSrc->lDelta +
                              (static_cast<std::ptrdiff_t>(pptlSrc->x) << iSrcShift);
        const ZOOMMAP zm{
            piCol,      iCol0, piRow, iRow0, pjScan0, psoSrc->lDelta, static_cast<ULONG>(iSrcShift),
            pxd->iShift};
        const ZOOMPASS pass{pxd, &zm, pxd->xOrigin + prclDst->left, pxd->yOrigin + prclDst->top};
        vForEachPiece(pxd->xOrigin + static_cast<LONG>(left), pxd->yOrigin + static_cast<LONG>(top),
                      pxd->xOrigin + static_cast<LONG>(right),
                      pxd->yOrigin + static_cast<LONG>(bottom), vZoomPiece,
                      const_cast<ZOOMPASS*>(&pass));
    } else {
        DbgPrint("kz2WriteRectZoom: alloc failed\n");
    }
    LocalFree(piCol);
    LocalFree(piRow);
    return TRUE;
}

}  // namespace

LONG cZoomMap(LONG* piOut, LONG iFirst, LONG cOut, LONG cSrc, ULONG cWhole, ULONG ulFraction) {
    for (LONG i = 0; i < cOut; ++i) piOut[i] = -1;
    const std::int64_t iEnd = std::int64_t{iFirst} + cOut;
    std::uint64_t acc = kZoomStart;
    std::int64_t o = 0;  // the first output of the current source
    for (LONG s = 0; s < cSrc; ++s) {
        acc += ulFraction;
        std::int64_t n = cWhole;
        if (acc > kZoomCarry) {
            ++n;
            acc &= kZoomCarry;
        }
        for (std::int64_t k = std::max<std::int64_t>(o, iFirst); k < std::min(o + n, iEnd); ++k)
            piOut[k - iFirst] = s;
        o += n;
    }
    return static_cast<LONG>(std::min<std::int64_t>(o, LONG_MAX));
}

INT iTransferRowsZoom(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, ULONG ulDescriptor,
                      const ZOOMMAP* pzm, LONG iRow0, LONG iCol0) {
    ZOOMROWS rows{pzm, iRow0, iCol0, -2, -1, nullptr};
    return iTransferRowsBounce(pqm, x, y, cRows, pid, ulDescriptor, vZoomRow, &rows);
}

extern "C" ULONG kz2WriteRectZoom(SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclDst, POINTL* pptlSrc,
                                  ULONG z0, ULONG z1, ULONG z2, ULONG z3, LONG xClipMin,
                                  LONG yClipMin, LONG xClipMax, LONG yClipMax) {
    XFERDEV xd;
    if (!bXferDevice(psoDst, &xd)) return 0;
    BOOL bWritten = FALSE;
    if (psoSrc != nullptr && prclDst != nullptr && pptlSrc != nullptr) {
        const POINTL ptlSrc = *pptlSrc;
        bWritten = bWriteZoomed(&xd, psoSrc, prclDst, &ptlSrc, z0, z1, z2, z3, xClipMin, yClipMin,
                                xClipMax, yClipMax);
    }
    kz2FlushQueue(xd.pqm, static_cast<ULONG>(-1), nullptr, nullptr);
    return bWritten ? 1 : 0;
}
