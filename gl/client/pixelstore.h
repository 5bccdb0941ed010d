// The client's pixel-store state and image packing: glPixelStore changes the
// context's copy and sends nothing; images the application hands to the GL
// are read with the unpack state and sent tight, images the server answers
// are written into application memory with the pack state (pixelstore.cpp).
// Also the image and map sizes the pixel, single and large commands count by.
#pragma once

#include <cstdint>

#include "clt.h"
#include "gl10.h"
#include "glentries.h"

// UnpackImage's flags: bit 0 asks for the draw-pixels conversion (one-byte
// RGB and RGBA pixels as four bytes blue, green, red, alpha or 0, the rows
// from the last to the first).
#define CLT_UNPACK_DRAWPIXELS 0x1u

// The wire pixel-store block that follows the header of an image command.
typedef struct GLXPixelStoreBlock {
    std::uint8_t swapBytes;   // +0
    std::uint8_t lsbFirst;    // +1
    std::uint8_t pad[2];      // +2
    std::int32_t rowLength;   // +4
    std::int32_t skipRows;    // +8
    std::int32_t skipPixels;  // +12
    std::int32_t alignment;   // +16
} GLXPixelStoreBlock;
static_assert(sizeof(GLXPixelStoreBlock) == 20);
static_assert(offsetof(GLXPixelStoreBlock, rowLength) == 4 && offsetof(GLXPixelStoreBlock, skipRows) == 8 &&
              offsetof(GLXPixelStoreBlock, skipPixels) == 12 && offsetof(GLXPixelStoreBlock, alignment) == 16);

void CltPixelStorei(GLenum pname, GLint param);
void CltPixelStoref(GLenum pname, GLfloat param);

BYTE* UnpackBitmap(ClientContext* cc, LONG width, LONG height, ULONG format, const void* source, BYTE* destination);
// Stores an image the server answered (rows padded to 4 bytes) into
// application memory with the pack state. The bytes go in the order the
// server sent them: the request carried the swap flag.
void PackImage(ClientContext* cc, LONG width, LONG height, ULONG format, ULONG type, const BYTE* source,
               void* destination);
void PackBitmap(ClientContext* cc, LONG width, LONG height, ULONG format, const BYTE* source, void* destination);

// Records a GL error in the context unless one is recorded.
void vSetClientError(ClientContext* cc, ULONG error);

// The sizes these commands count by; every rule answers 0 for what it does
// not know.
namespace pix {

constexpr ULONG FormatComponents(ULONG format) {
    switch (format) {
        case GL_COLOR_INDEX:
        case GL_STENCIL_INDEX:
        case GL_DEPTH_COMPONENT:
        case GL_RED:
        case GL_GREEN:
        case GL_BLUE:
        case GL_ALPHA:
        case GL_LUMINANCE: return 1;
        case GL_RGB: return 3;
        case GL_RGBA: return 4;
        case GL_LUMINANCE_ALPHA: return 2;
        default: return 0;
    }
}

constexpr ULONG TypeBytes(ULONG type) {
    switch (type) {
        case GL_BYTE:
        case GL_UNSIGNED_BYTE: return 1;
        case GL_SHORT:
        case GL_UNSIGNED_SHORT: return 2;
        case GL_INT:
        case GL_UNSIGNED_INT:
        case GL_FLOAT: return 4;
        default: return 0;
    }
}

constexpr std::uint64_t RoundUp(std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; }

// Bytes of an image as the client sends it: tight rows padded to the
// alignment given (the unpacked image is written with alignment 1, so 1 is
// what the commands pass; the rows are whole either way).
constexpr std::uint64_t ImageSendSize(LONG alignment, LONG width, LONG height, ULONG format, ULONG type) {
    if (width <= 0 || height <= 0 || alignment <= 0) return 0;
    const std::uint64_t c = FormatComponents(format);
    const std::uint64_t row = type == GL_BITMAP ? ((static_cast<std::uint64_t>(width) * c + 7) >> 3)
                                                : static_cast<std::uint64_t>(width) * TypeBytes(type) * c;
    return static_cast<std::uint64_t>(height) * RoundUp(row, static_cast<std::uint64_t>(alignment));
}

// Bytes of an image the server answers: rows padded to 4 bytes.
constexpr std::uint64_t ImageReplySize(ULONG format, ULONG type, LONG width, LONG height) {
    if (format < GL_COLOR_INDEX || format > GL_LUMINANCE_ALPHA || width < 0 || height < 0) return 0;
    const std::uint64_t c = FormatComponents(format);
    if (type == GL_BITMAP) {
        if (format != GL_COLOR_INDEX && format != GL_STENCIL_INDEX) return 0;
        return static_cast<std::uint64_t>(height) * RoundUp((static_cast<std::uint64_t>(width) + 7) / 8, 4);
    }
    const std::uint64_t b = TypeBytes(type);
    if (b == 0) return 0;
    return static_cast<std::uint64_t>(height) * RoundUp(static_cast<std::uint64_t>(width) * b * c, 4);
}

// Values per control point of an evaluator map target.
constexpr ULONG MapTargetComponents(ULONG target) {
    ULONG i;
    if (target >= GL_MAP1_COLOR_4 && target <= GL_MAP1_COLOR_4 + 8) i = target - GL_MAP1_COLOR_4;
    else if (target >= GL_MAP2_VERTEX_4 - 8 && target <= GL_MAP2_VERTEX_4) i = target - (GL_MAP2_VERTEX_4 - 8);
    else return 0;
    // COLOR_4, INDEX, NORMAL, TEXTURE_COORD_1..4, VERTEX_3, VERTEX_4
    constexpr ULONG k[9] = {4, 1, 3, 1, 2, 3, 4, 3, 4};
    return k[i];
}

}  // namespace pix
