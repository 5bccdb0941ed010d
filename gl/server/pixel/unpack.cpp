// The unpack and pack steps: client image layouts (row length, skips,
// alignment, byte swapping, bitmap bit order) to tightly packed rows and
// back. Every size is worked out in 64 bits and every byte read or written
// is checked to lie inside its buffer first.
#include <cstdint>
#include <cstring>

#include "bitreverse.h"
#include "dispatch/dispatch.h"
#include "pixel/pixel.h"

namespace {

using u64 = std::uint64_t;

// The n most significant bits of a byte, n = 0..8.
constexpr BYTE kTopBits[9] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};

bool bAlignment(LONG a) { return a == 1 || a == 2 || a == 4 || a == 8; }

BYTE* pjAlloc(u64 cj) {
    if (cj == 0 || cj > GLX_MAX_IMAGE_BYTES) return nullptr;
    return static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<std::size_t>(cj)));
}

// Copies a row of cElements elements of cjElement bytes, each element's
// bytes reversed when bSwap.
void vCopyRow(BYTE* pjDst, const BYTE* pjSrc, u64 cElements, ULONG cjElement, bool bSwap) {
    if (!bSwap) {
        std::memcpy(pjDst, pjSrc, static_cast<std::size_t>(cElements * cjElement));
        return;
    }
    for (u64 e = 0; e < cElements; ++e)
        for (ULONG b = 0; b < cjElement; ++b) pjDst[e * cjElement + b] = pjSrc[e * cjElement + cjElement - 1 - b];
}

// The layout a pixel-store mode gives an image: bytes a row, where the
// image starts (in bits for bitmaps), the bytes its rows cover.
struct Layout {
    u64 stride;      // bytes from one row to the next
    u64 startBit;    // first pixel's bit (whole bytes: a multiple of 8)
    u64 rowBits;     // bits of one row's pixels
    u64 end;         // one past the last byte the image touches
    u64 cover;       // the skipped rows and the image's rows, or end when larger
};

Layout layoutOf(const __GLXpixelStoreMode& m, LONG width, LONG height, ULONG components, ULONG elementSize,
                bool bBitmap) {
    // Row lengths and skips reach 2^31 and strides 2^35: the products are
    // worked out in 128 bits and held at 2^64 - 1 when larger, which no
    // buffer reaches.
    using u128 = unsigned __int128;
    auto sat = [](u128 v) { return v > UINT64_MAX ? UINT64_MAX : static_cast<u64>(v); };
    const u128 rowLength = m.rowLength > 0 ? static_cast<u64>(m.rowLength) : static_cast<u64>(width > 0 ? width : 0);
    const u128 skipRows = static_cast<u64>(m.skipRows > 0 ? m.skipRows : 0);
    const u128 skipPixels = static_cast<u64>(m.skipPixels > 0 ? m.skipPixels : 0);
    const u128 alignment = static_cast<u64>(m.alignment);
    const u128 rows = static_cast<u64>(height > 0 ? height : 0);
    u128 stride, startBit, rowBits;
    if (bBitmap) {
        stride = ((rowLength * components + 7) / 8 + alignment - 1) / alignment * alignment;
        startBit = skipRows * stride * 8 + skipPixels * components;
        rowBits = static_cast<u128>(static_cast<u64>(width > 0 ? width : 0)) * components;
    } else {
        const u128 group = u128{elementSize} * components;
        stride = (rowLength * group + alignment - 1) / alignment * alignment;
        startBit = (skipRows * stride + skipPixels * group) * 8;
        rowBits = static_cast<u128>(static_cast<u64>(width > 0 ? width : 0)) * group * 8;
    }
    const u128 end = rows > 0 ? (startBit + (rows - 1) * stride * 8 + rowBits + 7) / 8 : 0;
    const u128 covered = (rows + skipRows) * stride;
    return Layout{sat(stride), sat(startBit), sat(rowBits), sat(end), sat(covered > end ? covered : end)};
}

// Reads bit run [bit, bit + 8) of a row as one byte (MSB first), taking the
// source bytes' bits in reverse when bLsbFirst; bytes at or past cjRow
// count as 0.
BYTE jBits(const BYTE* pjRow, u64 cjRow, u64 bit, bool bLsbFirst) {
    auto get = [&](u64 i) -> unsigned {
        if (i >= cjRow) return 0;
        return bLsbFirst ? kGLBitReversal.aj[pjRow[i]] : pjRow[i];
    };
    const u64 i = bit / 8;
    const unsigned shift = static_cast<unsigned>(bit % 8);
    if (shift == 0) return static_cast<BYTE>(get(i));
    return static_cast<BYTE>((get(i) << shift) | (get(i + 1) >> (8 - shift)));
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
    const Layout l = layoutOf(m, width, height, components, elementSize, bBitmap);
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
        for (u64 y = 0; y < static_cast<u64>(height); ++y) {
            const u64 rowStart = l.startBit / 8 + y * l.stride;
            const u64 cjRowIn = (l.startBit % 8 + l.rowBits + 7) / 8;  // inside the data (checked above)
            for (u64 b = 0; b < cjRowOut; ++b)
                pj[y * cjRowOut + b] = jBits(pjData + rowStart, cjRowIn, l.startBit % 8 + 8 * b, m.lsbFirst != 0);
            if (jLastMask != 0) pj[y * cjRowOut + cjRowOut - 1] &= jLastMask;
        }
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
        vCopyRow(pj + y * cjRowOut, pjData + start + y * l.stride, static_cast<u64>(width) * components, elementSize,
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
    const Layout l = layoutOf(m, width, height, components, elementSize, bBitmap);
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
            vCopyRow(pj + l.startBit / 8 + y * l.stride, pjRow, static_cast<u64>(width) * components, elementSize,
                     m.swapBytes != 0);
            continue;
        }
        // Bit by bit from the packed row to its place; the bits around the
        // image in the bytes it shares stay 0.
        const u64 rowBit = l.startBit + y * l.stride * 8;
        for (u64 x = 0; x < l.rowBits; ++x) {
            if (((pjRow[x / 8] >> (7 - x % 8)) & 1) == 0) continue;
            const u64 bit = rowBit + x;
            const unsigned i = static_cast<unsigned>(bit % 8);
            pj[bit / 8] |= static_cast<BYTE>(m.lsbFirst ? 1u << i : 0x80u >> i);
        }
    }
    *pOut = __GLXimage{pj, cjOut, TRUE};
    return GL_NO_ERROR;
}

void __glXFreeImage(__GLXimage* pImage) {
    if (pImage->bOwned && pImage->pj != nullptr) LocalFree(pImage->pj);
    *pImage = __GLXimage{};
}
