// The unpack and pack steps: client image layouts (row length, skips,
// alignment, byte swapping, bitmap bit order) to tightly packed rows and
// back. Every size is worked out in 64 bits and every byte read or written
// is checked to lie inside its buffer first.
#include <cstdint>
#include <cstring>

#include "dispatch/dispatch.h"
#include "pixel/pixel.h"
#include "pixelwalk.h"

namespace {

using u64 = std::uint64_t;

// The n most significant bits of a byte, n = 0..8.
constexpr BYTE kTopBits[9] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};

bool bAlignment(LONG a) { return a == 1 || a == 2 || a == 4 || a == 8; }

BYTE* pjAlloc(u64 cj) {
    if (cj == 0 || cj > GLX_MAX_IMAGE_BYTES) return nullptr;
    return static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<std::size_t>(cj)));
}

// The walk of an image under a pixel-store mode.
PixelWalk walkOf(const __GLXpixelStoreMode& m, LONG width, LONG height, ULONG components, ULONG elementSize,
                 bool bBitmap) {
    return PixelWalkOf(m.rowLength, m.skipRows, m.skipPixels, m.alignment, width, height, components, elementSize,
                       bBitmap);
}

}  // namespace

ULONG __glXUnpackImage(GLContext* gc, LONG width, LONG height, ULONG type, ULONG components, ULONG elementSize,
                       const BYTE* pjData, ULONG cjData, __GLXimage* pOut, BOOL bForceCopy) {
    *pOut = __GLXimage{const_cast<BYTE*>(pjData), 0, FALSE};
    __GLXpixelState* pps = __glXPixelState(gc);
    if (pps == nullptr) return GL_OUT_OF_MEMORY;
    __GLXpixelStoreMode& m = pps->unpack;
    if (!bAlignment(m.alignment)) m.alignment = 1;
    if (m.rowLength < 0 || m.skipRows < 0 || m.skipPixels < 0 || width < 0 || height < 0) return GL_INVALID_VALUE;
    if (width == 0 || height == 0) return GL_NO_ERROR;
    const bool bBitmap = type == GL_BITMAP;
    if (!bBitmap && elementSize == 1) m.swapBytes = 0;
    const PixelWalk l = walkOf(m, width, height, components, elementSize, bBitmap);
    if (l.end > cjData) return GL_INVALID_VALUE;  // the image runs past the data
    const u64 cjRowOut = (l.rowBits + 7) / 8;
    const u64 cjOut = cjRowOut * static_cast<u64>(height);
    if (cjOut > GLX_MAX_IMAGE_BYTES) return GL_OUT_OF_MEMORY;
    auto* pjData8 = const_cast<BYTE*>(pjData);

    if (bBitmap) {
        const BYTE jLastMask = kTopBits[l.rowBits % 8];
        if (l.startBit == 0 && !m.lsbFirst && l.stride == cjRowOut && !bForceCopy) {
            // In place: only the bits past the width in each row's last
            // byte are cleared.
            if (jLastMask != 0)
                for (u64 y = 0; y < static_cast<u64>(height); ++y) pjData8[y * l.stride + cjRowOut - 1] &= jLastMask;
            pOut->cj = cjOut;
            return GL_NO_ERROR;
        }
        BYTE* pj = pjAlloc(cjOut);
        if (pj == nullptr) return GL_OUT_OF_MEMORY;
        // Each row's bytes lie inside the data (checked above).
        for (u64 y = 0; y < static_cast<u64>(height); ++y)
            PixelWalkReadBitmapRow(pj + y * cjRowOut, pjData + l.startBit / 8 + y * l.stride,
                                   static_cast<unsigned>(l.startBit % 8), l.rowBits, m.lsbFirst != 0);
        *pOut = __GLXimage{pj, cjOut, TRUE};
        return GL_NO_ERROR;
    }

    const u64 start = l.startBit / 8;
    if (start == 0 && !m.swapBytes && l.stride == cjRowOut && !bForceCopy) {
        pOut->cj = cjOut;
        return GL_NO_ERROR;
    }
    BYTE* pj = pjAlloc(cjOut);
    if (pj == nullptr) return GL_OUT_OF_MEMORY;
    for (u64 y = 0; y < static_cast<u64>(height); ++y)
        PixelWalkCopyRow(pj + y * cjRowOut, pjData + start + y * l.stride, static_cast<u64>(width) * components, elementSize,
                 m.swapBytes != 0);
    *pOut = __GLXimage{pj, cjOut, TRUE};
    return GL_NO_ERROR;
}

ULONG __glXPackImage(GLContext* gc, BYTE swapBytes, BYTE lsbFirst, LONG width, LONG height, ULONG type,
                     ULONG components, ULONG elementSize, const BYTE* pjSrc, __GLXimage* pOut, BOOL bForceCopy) {
    *pOut = __GLXimage{const_cast<BYTE*>(pjSrc), 0, FALSE};
    __GLXpixelState* pps = __glXPixelState(gc);
    if (pps == nullptr) return GL_OUT_OF_MEMORY;
    __GLXpixelStoreMode& state = pps->pack;
    if (!bAlignment(state.alignment)) state.alignment = 1;
    if (width <= 0 || height <= 0) return GL_NO_ERROR;
    const bool bBitmap = type == GL_BITMAP;
    __GLXpixelStoreMode m = state;
    m.swapBytes = !bBitmap && elementSize > 1 ? swapBytes : 0;
    m.lsbFirst = lsbFirst;
    const PixelWalk l = walkOf(m, width, height, components, elementSize, bBitmap);
    const u64 cjRowIn = (l.rowBits + 7) / 8;
    // The reply covers the skipped rows and reaches to the end of the last
    // row's pixels, however short the row length makes a row.
    const u64 cjOut = l.cover;
    if (cjOut > GLX_MAX_IMAGE_BYTES) return GL_OUT_OF_MEMORY;
    if (l.startBit == 0 && !m.swapBytes && !(bBitmap && m.lsbFirst) && l.stride == cjRowIn && !bForceCopy) {
        pOut->cj = cjRowIn * static_cast<u64>(height);
        return GL_NO_ERROR;
    }
    BYTE* pj = pjAlloc(cjOut);
    if (pj == nullptr) return GL_OUT_OF_MEMORY;
    for (u64 y = 0; y < static_cast<u64>(height); ++y) {
        const BYTE* pjRow = pjSrc + y * cjRowIn;
        if (!bBitmap) {
            PixelWalkCopyRow(pj + l.startBit / 8 + y * l.stride, pjRow, static_cast<u64>(width) * components, elementSize,
                     m.swapBytes != 0);
            continue;
        }
        // Bit by bit from the packed row to its place; the bits around the
        // image in the bytes it shares stay 0.
        const u64 rowBit = l.startBit + y * l.stride * 8;
        for (u64 x = 0; x < l.rowBits; ++x) {
            if (((pjRow[x / 8] >> (7 - x % 8)) & 1) == 0) continue;
            const u64 bit = rowBit + x;
            pj[bit / 8] |= PixelWalkBitMask(bit, m.lsbFirst != 0);
        }
    }
    *pOut = __GLXimage{pj, cjOut, TRUE};
    return GL_NO_ERROR;
}

void __glXFreeImage(__GLXimage* pImage) {
    if (pImage->bOwned && pImage->pj != nullptr) LocalFree(pImage->pj);
    *pImage = __GLXimage{};
}
