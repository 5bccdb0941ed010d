// The stereo image cache: when a host bitmap is read from a stereo screen,
// the second eye's pixels are kept (unless they equal the first eye's), so
// that writing the same bitmap back to the same place restores both eyes.
// At most ten entries, newest first, in a list whose head is in the device.
#include <cstring>

#include "xfer/xfer.h"

namespace {

STEREOENTRY*& pHead(PDEV* ppdev) {
    return reinterpret_cast<STEREOENTRY*&>(ppdev->StereoCache.pHead);
}

void vFreeEntry(STEREOENTRY* pe) {
    LocalFree(pe->pjBits);
    LocalFree(pe);
}

}  // namespace

STEREOENTRY* pStereoCacheNew(ULONG cjBits) {
    auto* pe = static_cast<STEREOENTRY*>(LocalAlloc(LPTR, sizeof(STEREOENTRY)));
    if (pe == nullptr) return nullptr;
    pe->pjBits = static_cast<BYTE*>(LocalAlloc(LPTR, cjBits));
    if (pe->pjBits == nullptr) {
        LocalFree(pe);
        return nullptr;
    }
    return pe;
}

void vStereoCacheUnlink(PDEV* ppdev, STEREOENTRY* pe) {
    if (pe == nullptr) return;
    if (pe->pPrev != nullptr) pe->pPrev->pNext = pe->pNext;
    else if (pHead(ppdev) == pe) pHead(ppdev) = pe->pNext;
    if (pe->pNext != nullptr) pe->pNext->pPrev = pe->pPrev;
    pe->pPrev = pe->pNext = nullptr;
}

void vStereoCacheFreeFrom(PDEV* ppdev, STEREOENTRY* pe) {
    if (pe == nullptr) return;
    // Cut the list before pe, then free pe and everything older.
    if (pe->pPrev != nullptr) pe->pPrev->pNext = nullptr;
    else if (pHead(ppdev) == pe) pHead(ppdev) = nullptr;
    while (pe != nullptr) {
        STEREOENTRY* peNext = pe->pNext;
        vFreeEntry(pe);
        pe = peNext;
    }
}

ULONG cStereoCacheEntries(const PDEV* ppdev) {
    ULONG c = 0;
    for (auto* pe = static_cast<const STEREOENTRY*>(ppdev->StereoCache.pHead); pe != nullptr;
         pe = pe->pNext) {
        ++c;
    }
    return c;
}

void vStereoCacheTrim(PDEV* ppdev) {
    if (cStereoCacheEntries(ppdev) < STEREO_CACHE_ENTRIES) return;
    STEREOENTRY* peOldest = pHead(ppdev);
    while (peOldest->pNext != nullptr) peOldest = peOldest->pNext;
    vStereoCacheUnlink(ppdev, peOldest);
    vFreeEntry(peOldest);
}

STEREOENTRY* pStereoCacheFind(PDEV* ppdev, SURFOBJ* pso, LONG lDelta, const RECTL* prcl) {
    if (ppdev->StereoCache.fDisabled) return nullptr;
    for (STEREOENTRY* pe = pHead(ppdev); pe != nullptr; pe = pe->pNext) {
        if (pe->pso == pso && pe->lDelta == lDelta && pe->left <= prcl->left &&
            pe->top == prcl->top && pe->bottom == prcl->bottom && pe->right >= prcl->right) {
            return pe;
        }
    }
    return nullptr;
}

STEREOENTRY* pStereoCacheAdd(PDEV* ppdev, SURFOBJ* pso, const RECTL* prcl) {
    // The entry is laid out as the bitmap's bits from row 0 on: only
    // top-down bitmaps whose bits hold the rectangle qualify.
    if (pso == nullptr || pso->lDelta < 0 || pso->pvScan0 == nullptr || prcl->left < 0 ||
        prcl->top < 0 || prcl->left >= prcl->right || prcl->top >= prcl->bottom) {
        return nullptr;
    }
    const LONG iShift = iShiftOfFormat(pso->iBitmapFormat);
    if (iShift < 0 ||
        static_cast<std::uint64_t>(prcl->bottom - 1) * static_cast<ULONG>(pso->lDelta) +
                (static_cast<std::uint64_t>(prcl->right) << iShift) >
            pso->cjBits) {
        return nullptr;
    }
    vStereoCacheTrim(ppdev);
    STEREOENTRY* pe = pStereoCacheNew(pso->cjBits);
    if (pe == nullptr) return nullptr;
    pe->left = prcl->left;
    pe->top = prcl->top;
    pe->right = prcl->right;
    pe->bottom = prcl->bottom;
    pe->lDelta = pso->lDelta;
    pe->pso = pso;
    pe->pNext = pHead(ppdev);
    if (pe->pNext != nullptr) pe->pNext->pPrev = pe;
    pHead(ppdev) = pe;
    return pe;
}

BOOL bStereoCacheDiffers(const STEREOENTRY* pe, const SURFOBJ* pso, ULONG iShift) {
    // Whole rows of the rectangle, at the depth's bytes a pixel.
    const std::size_t cjRow = static_cast<std::size_t>(pe->right - pe->left) << iShift;
    const std::size_t cjLeft = static_cast<std::size_t>(pe->left) << iShift;
    const BYTE* pjFirst = static_cast<const BYTE*>(pso->pvScan0);
    const std::size_t cjStride = static_cast<std::size_t>(pe->lDelta);
    if (cjRow == cjStride) {
        const std::size_t cjOffset = static_cast<std::size_t>(pe->top) * cjStride;
        const std::size_t cjBlock = static_cast<std::size_t>(pe->bottom - pe->top) * cjStride;
        return std::memcmp(pe->pjBits + cjOffset, pjFirst + cjOffset, cjBlock) != 0;
    }
    for (LONG y = pe->top; y < pe->bottom; ++y) {
        const std::size_t cjOffset = static_cast<std::size_t>(y) * cjStride + cjLeft;
        if (std::memcmp(pe->pjBits + cjOffset, pjFirst + cjOffset, cjRow) != 0) return TRUE;
    }
    return FALSE;
}
