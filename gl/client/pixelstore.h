// The client's pixel-store state and image packing: glPixelStore changes the
// context's copy and sends nothing; images the application hands to the GL
// are read with the unpack state and sent tight, images the server answers
// are written into application memory with the pack state (pixelstore.cpp).
// The image sizes they count by are the size rules of sizerules.h.
#pragma once

#include <cstdint>

#include "clt.h"
#include "gl10.h"
#include "glentries.h"
#include "sizerules.h"

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
// Bytes from one row of a packed image of the width to the next in
// application memory (the pack state's row length and alignment).
std::uint64_t PackRowStride(ClientContext* cc, LONG width, ULONG format, ULONG type);
