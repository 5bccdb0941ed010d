// The cursor image: 64 rows of 16 bytes, four 2-bit pixels a byte with the
// leftmost in bits 7-6. A pointer's AND and XOR planes become it a mask byte
// at a time: each nibble of a plane is spread to every other bit, the NOT
// AND bits above the XOR bits, so one mask byte gives two image bytes.
#include <cstring>

#include "pointer/pointer_internal.h"

namespace {

// Nibble n -> its four bits at bits 6, 4, 2 and 0.
constexpr BYTE kSpread[16] = {0x00, 0x01, 0x04, 0x05, 0x10, 0x11, 0x14, 0x15,
                              0x40, 0x41, 0x44, 0x45, 0x50, 0x51, 0x54, 0x55};

}  // namespace

void vCursorImageFromPlanes(const BYTE* pjAnd, const BYTE* pjXor, LONG lDelta, ULONG cx, ULONG cy,
                            BYTE ajImage[CURSOR_IMAGE_BYTES]) {
    std::memset(ajImage, 0, CURSOR_IMAGE_BYTES);
    if (cx > CURSOR_SIZE) cx = CURSOR_SIZE;
    if (cy > CURSOR_SIZE) cy = CURSOR_SIZE;
    // Every byte that holds a pixel of the pointer, the last partial one
    // too; its pixels right of the pointer stay transparent.
    const ULONG cjRow = (cx + 7) / 8;
    for (ULONG y = 0; y < cy; ++y) {
        const BYTE* pjA = pjAnd + static_cast<std::ptrdiff_t>(y) * lDelta;
        const BYTE* pjX = pjXor + static_cast<std::ptrdiff_t>(y) * lDelta;
        BYTE* pjOut = ajImage + y * CURSOR_ROW_BYTES;
        for (ULONG j = 0; j < cjRow; ++j) {
            const ULONG cPixels = cx - j * 8 < 8 ? cx - j * 8 : 8;
            const BYTE jInside = static_cast<BYTE>(0xFFu << (8 - cPixels));
            const BYTE jNotAnd = static_cast<BYTE>(~pjA[j] & jInside);
            const BYTE jXor = static_cast<BYTE>(pjX[j] & jInside);
            pjOut[2 * j] = static_cast<BYTE>(kSpread[jNotAnd >> 4] << 1 | kSpread[jXor >> 4]);
            pjOut[2 * j + 1] = static_cast<BYTE>(kSpread[jNotAnd & 15] << 1 | kSpread[jXor & 15]);
        }
    }
}

void vCursorImageSet(BYTE ajImage[CURSOR_IMAGE_BYTES], ULONG x, ULONG y, ULONG ulCode) {
    BYTE& j = ajImage[y * CURSOR_ROW_BYTES + x / 4];
    const ULONG ulShift = 6 - 2 * (x & 3);
    j = static_cast<BYTE>((j & ~(3u << ulShift)) | ((ulCode & 3u) << ulShift));
}
