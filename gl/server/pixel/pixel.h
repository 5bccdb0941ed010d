// Pixel store, pixel transfer, pixel maps and the pixel rectangles.
//
// Images arrive in render requests behind a 20-byte pixel-store header of
// their own, which replaces the context's unpack state before the image is
// unpacked. The unpack step turns client image data into tightly packed
// rows for the lgi layer, or hands the request data on as it stands when it
// already is; the pack step lays read-back data out by the pack state for
// a reply. Both read and write only inside the buffers they are given.
#pragma once

#include <cstdint>
#include <cstring>

#include "context/context.h"
#include "glrequest_sizes.h"

// One direction's pixel-store modes; the layout of the request's own
// header (swap bytes, LSB first, two unused bytes, row length, skip rows,
// skip pixels, alignment).
struct __GLXpixelStoreMode {
    BYTE swapBytes;
    BYTE lsbFirst;
    BYTE reserved[2];
    LONG rowLength;
    LONG skipRows;
    LONG skipPixels;
    LONG alignment;  // 1, 2, 4 or 8
};
static_assert(sizeof(__GLXpixelStoreMode) == 20, "the request's pixel-store header is 20 bytes");
static_assert(offsetof(__GLXpixelStoreMode, rowLength) == 4);
static_assert(offsetof(__GLXpixelStoreMode, alignment) == 16);

// The ten pixel maps (I_TO_I, S_TO_S, I_TO_R .. I_TO_A, R_TO_R .. A_TO_A):
// the index maps hold integers, the others floats, at most 32 entries.
#define GLX_PIXEL_MAPS 10u
#define GLX_PIXEL_MAP_MAX 32u
// The bytes of values a PixelMap request {map, size, values} carries behind
// its fixed arguments: none for a size out of 1 .. GLX_PIXEL_MAP_MAX, which
// is refused before a value is read.
inline ULONG __glXPixelMapValueBytes(ULONG opcode, const BYTE* pj) {
    LONG size;
    std::memcpy(&size, pj + 4, 4);
    if (size <= 0 || size > static_cast<LONG>(GLX_PIXEL_MAP_MAX)) return 0;
    return static_cast<ULONG>(size) * GLXPixelMapValueBytes(opcode);
}
struct __GLXpixelMap {
    ULONG size;  // 1 .. 32 (a size of 0 is kept as 1)
    ULONG values[GLX_PIXEL_MAP_MAX];
};

// A context's pixel state, in its server-object record.
struct __GLXpixelState {
    __GLXpixelStoreMode unpack;
    __GLXpixelStoreMode pack;
    __GLXpixelMap maps[GLX_PIXEL_MAPS];
};

// The context's pixel state, made with the defaults (alignment 4, every map
// one entry of 0) when absent; null when it cannot be made.
__GLXpixelState* __glXPixelState(GLContext* gc);
void __glXFreePixelState(__GLXpixelState* pps);

// Components of a format (RGB 3, RGBA 4, LUMINANCE_ALPHA 2, others 1) and
// bytes of an element of a type (BITMAP 0); the lgi codes of a format
// (0..10) and type (UNSIGNED_BYTE 0, BYTE 1, BITMAP 2, UNSIGNED_SHORT 3,
// SHORT 4, UNSIGNED_INT 5, INT 6, FLOAT 7), ~0 for none.
ULONG __glXFormatComponents(ULONG format);
ULONG __glXTypeSize(ULONG type);
ULONG __glXFormatCode(ULONG format);
ULONG __glXTypeCode(ULONG type);
// GL_BITMAP goes only with index data (GL_COLOR_INDEX, GL_STENCIL_INDEX):
// GL_INVALID_ENUM for it with any other format, else GL_NO_ERROR.
ULONG __glXCheckBitmapFormat(ULONG format, ULONG type);
// Bytes of a tightly packed image (BITMAP: ceil(width x components / 8) a
// row); 0 for a negative size. Worked out in 64 bits.
std::uint64_t __glXImageSize(LONG width, LONG height, ULONG format, ULONG type);
// The largest image the server unpacks, packs or reads back.
#define GLX_MAX_IMAGE_BYTES (std::uint64_t{1} << 26)

// Sets a pixel-store mode (UNPACK_* 0x0CF0.., PACK_* 0x0D00..): GL error.
ULONG __glXPixelStore(GLContext* gc, ULONG pname, LONG value);
// Sets a pixel-transfer value (MAP_COLOR .. DEPTH_BIAS): GL error.
ULONG __glXPixelTransfer(GLContext* gc, ULONG pname, float value);
// Sets a pixel map from size values of a kind (0 floats, 1 unsigned ints, 2
// unsigned shorts) at pjValues: GL error.
ULONG __glXSetPixelMap(GLContext* gc, ULONG map, LONG size, const BYTE* pjValues, ULONG kind);
// Copies a request's 20-byte pixel-store header over the unpack state:
// GL_NO_ERROR, or GL_OUT_OF_MEMORY when the context's pixel state cannot be
// made (the image must not be read with another layout).
ULONG __glXSetRequestUnpack(GLContext* gc, const BYTE* pjHeader);

// An image handed on: the bytes, and whether the server allocated them
// (else they are the request's own).
struct __GLXimage {
    BYTE* pj;
    std::uint64_t cj;
    BOOL bOwned;
};
// Unpacks width x height pixels of a type (components each, elementSize
// bytes an element; BITMAP: one bit) from cjData bytes at pjData by the
// unpack state: GL_NO_ERROR, GL_INVALID_VALUE when the image the state
// describes does not lie inside the data, GL_OUT_OF_MEMORY.
ULONG __glXUnpackImage(GLContext* gc, LONG width, LONG height, ULONG type, ULONG components, ULONG elementSize,
                       const BYTE* pjData, ULONG cjData, __GLXimage* pOut, BOOL bForceCopy);
// Lays tightly packed pixels out by the pack state, with the given swap
// and LSB-first flags standing in for the state's: GL error.
ULONG __glXPackImage(GLContext* gc, BYTE swapBytes, BYTE lsbFirst, LONG width, LONG height, ULONG type,
                     ULONG components, ULONG elementSize, const BYTE* pjSrc, __GLXimage* pOut, BOOL bForceCopy);
void __glXFreeImage(__GLXimage* pImage);

// A pixel state variable of the Get requests (pixel store modes, pixel map
// sizes): the count of values put at pw (integers, or booleans as 0 and 1
// when *pType says so), 0 for a pname that is not one.
ULONG __glXPixelVariable(GLContext* gc, ULONG pname, ULONG* pType, ULONG* pw);
