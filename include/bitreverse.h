// Each byte with its 8 bits in the other order: the pixel-store unpackers
// of the client and the server read least-significant-bit-first bitmaps
// through it.
#pragma once

#include <cstdint>

struct GLBitReversal {
    std::uint8_t aj[256];
    constexpr GLBitReversal() : aj() {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned r = 0;
            for (unsigned b = 0; b < 8; ++b)
                if (i & (1u << b)) r |= 0x80u >> b;
            aj[i] = static_cast<std::uint8_t>(r);
        }
    }
};
inline constexpr GLBitReversal kGLBitReversal;
