// The pixel-store addressing of an image in application memory, shared by
// the client's packer and unpacker and the server's: where an image of
// width x height pixels starts and how far apart its rows lie under a row
// length, skip rows, skip pixels and alignment; rows copied with their
// elements' bytes swapped; bitmap rows read and written at any bit, least
// significant bit first when the state says so.
#pragma once

#include <cstdint>
#include <cstring>

#include "bitreverse.h"

// Where an image lies under one direction's pixel-store modes.
struct PixelWalk {
    std::uint64_t stride;    // bytes from one row to the next
    std::uint64_t startBit;  // first pixel's bit (whole bytes: a multiple of 8)
    std::uint64_t rowBits;   // bits of one row's pixels
    std::uint64_t end;       // one past the last byte the image touches
    std::uint64_t cover;     // the skipped rows and the image's rows, or end when larger
};

// The walk of an image: components of elementSize bytes a pixel, or one bit
// a component for a bitmap. A row length of 0 or less is the width, skips
// below 0 are 0, an alignment below 1 is 1. Row lengths and skips reach
// 2^31 and strides 2^35: the products are worked out in 128 bits and held
// at 2^64 - 1 when larger, which no buffer reaches.
inline PixelWalk PixelWalkOf(std::int32_t rowLength, std::int32_t skipRows, std::int32_t skipPixels,
                             std::int32_t alignment, std::int32_t width, std::int32_t height,
                             std::uint32_t components, std::uint32_t elementSize, bool bBitmap) {
    using u64 = std::uint64_t;
    using u128 = unsigned __int128;
    auto sat = [](u128 v) { return v > UINT64_MAX ? UINT64_MAX : static_cast<u64>(v); };
    const u128 w = static_cast<u64>(width > 0 ? width : 0);
    const u128 rowPixels = rowLength > 0 ? static_cast<u64>(rowLength) : static_cast<u64>(w);
    const u128 rowsSkipped = static_cast<u64>(skipRows > 0 ? skipRows : 0);
    const u128 pixelsSkipped = static_cast<u64>(skipPixels > 0 ? skipPixels : 0);
    const u128 align = static_cast<u64>(alignment > 0 ? alignment : 1);
    const u128 rows = static_cast<u64>(height > 0 ? height : 0);
    u128 stride, startBit, rowBits;
    if (bBitmap) {
        stride = ((rowPixels * components + 7) / 8 + align - 1) / align * align;
        startBit = rowsSkipped * stride * 8 + pixelsSkipped * components;
        rowBits = w * components;
    } else {
        const u128 group = u128{elementSize} * components;
        stride = (rowPixels * group + align - 1) / align * align;
        startBit = (rowsSkipped * stride + pixelsSkipped * group) * 8;
        rowBits = w * group * 8;
    }
    const u128 end = rows > 0 ? (startBit + (rows - 1) * stride * 8 + rowBits + 7) / 8 : 0;
    const u128 covered = (rows + rowsSkipped) * stride;
    return PixelWalk{sat(stride), sat(startBit), sat(rowBits), sat(end), sat(covered > end ? covered : end)};
}

// Copies a row of cElements elements of cjElement bytes, each element's
// bytes reversed when bSwap.
inline void PixelWalkCopyRow(std::uint8_t* pjDst, const std::uint8_t* pjSrc, std::uint64_t cElements,
                             std::uint32_t cjElement, bool bSwap) {
    if (!bSwap) {
        std::memcpy(pjDst, pjSrc, static_cast<std::size_t>(cElements * cjElement));
        return;
    }
    for (std::uint64_t e = 0; e < cElements; ++e)
        for (std::uint32_t b = 0; b < cjElement; ++b) pjDst[e * cjElement + b] = pjSrc[e * cjElement + cjElement - 1 - b];
}

// Reads rowBits bits that start at bit startBit (0..7) of pjRow into tight
// bytes, most significant bit first, taking the source bytes' bits in
// reverse when bLsbFirst; the bits past rowBits in the last byte are 0.
// Only the bytes the bits lie in are read. Writes (rowBits + 7) / 8 bytes.
inline void PixelWalkReadBitmapRow(std::uint8_t* pjDst, const std::uint8_t* pjRow, unsigned startBit,
                                   std::uint64_t rowBits, bool bLsbFirst) {
    const std::uint64_t cjIn = (startBit + rowBits + 7) / 8, cjOut = (rowBits + 7) / 8;
    if (startBit == 0 && !bLsbFirst) {
        // Whole bytes in order: the row as it is.
        std::memcpy(pjDst, pjRow, static_cast<std::size_t>(cjOut));
        if (rowBits % 8 != 0) pjDst[cjOut - 1] &= static_cast<std::uint8_t>(0xFF00u >> (rowBits % 8));
        return;
    }
    auto get = [&](std::uint64_t i) -> unsigned {
        if (i >= cjIn) return 0;
        return bLsbFirst ? kGLBitReversal.aj[pjRow[i]] : pjRow[i];
    };
    for (std::uint64_t j = 0; j < cjOut; ++j) {
        unsigned v = get(j);
        if (startBit != 0) v = ((v << startBit) | (get(j + 1) >> (8 - startBit))) & 0xFFu;
        pjDst[j] = static_cast<std::uint8_t>(v);
    }
    if (rowBits % 8 != 0) pjDst[cjOut - 1] &= static_cast<std::uint8_t>(0xFF00u >> (rowBits % 8));
}

// The mask of bit `bit` (counted from the start of pj) within byte pj[bit / 8],
// least significant bit first when bLsbFirst.
inline std::uint8_t PixelWalkBitMask(std::uint64_t bit, bool bLsbFirst) {
    const unsigned i = static_cast<unsigned>(bit % 8);
    return static_cast<std::uint8_t>(bLsbFirst ? 1u << i : 0x80u >> i);
}
