// What the lgi layer takes of the GL layer: the records both layers read
// (the device record, the buffer records, the word form of floats) and the
// GL-layer functions the lgi layer calls (image transfer, the accumulation
// buffer, the device's textures). Part of the lgi contract with lgi.h, which
// includes it: the lgi layer includes no header of the GL layer, and the GL
// layer's own headers take these from here.
#pragma once

#include <bit>

#include "platform/ddi.h"
#include "platform/kernel.h"

struct PDEV;  // the display driver's device record

// A float's bits as a word and back: state blocks, lgi attributes and
// requests keep floats in arrays of words.
constexpr ULONG __glXFloatBits(float f) { return std::bit_cast<ULONG>(f); }
constexpr float __glXWordFloat(ULONG ul) { return std::bit_cast<float>(ul); }

// The server's record of a display device, made by DrvEnableEscape; one per
// device that loaded the server.
struct GLSRVDEVICE {
    ULONG ulBoard;       // 0 the board word
    GLSRVDEVICE* pNext;  // 1 the next device record
    PDEV* ppdev;         // 2 the display driver's device record
};

// --- buffers ---------------------------------------------------------------------------
// The record of one colour, depth, stencil or accumulation buffer of the GL
// server: a buffer in host memory, or a device surface in board memory. The
// lgi layer binds these by their kind word.
#define GLBUFFER_MEMORY_HOST 1u    // memoryKind: pixels in host memory at pvPixels
#define GLBUFFER_MEMORY_DEVICE 5u  // memoryKind: a device surface (hsurf)

// Kinds (one bit each), also the bits of the lgi layer's clear masks.
#define GLBUFFER_FRONT_LEFT 0x1u
#define GLBUFFER_FRONT_RIGHT 0x2u
#define GLBUFFER_BACK_LEFT 0x4u
#define GLBUFFER_BACK_RIGHT 0x8u
#define GLBUFFER_DEPTH 0x100u
#define GLBUFFER_STENCIL 0x200u
#define GLBUFFER_ACCUM 0x400u
#define GLBUFFER_DEPTH_STENCIL 0x900u  // depth with stencil (2304)
#define GLBUFFER_ALPHA 0x10000u
#define GLBUFFER_PLANE_20000 0x20000u
#define GLBUFFER_PLANE_40000 0x40000u
#define GLBUFFER_PLANE_80000 0x80000u

// Holds pointers: the fields keep their order, the record its natural size.
struct GLBuffer {
    void* pvPixels;       // pixel address (host memory), or null
    void* pDeviceRecord;  // the buffer's device record (board address words, swap rectangle, window)
    ULONG memoryKind;     // GLBUFFER_MEMORY_...
    ULONG kind;           // GLBUFFER_... (one bit)
    ULONG bitsPerPixel;
    LONG x;               // position and size in screen pixels
    LONG y;
    LONG cx;
    LONG cy;
    ULONG bytesPerPixel;  // bits / 8, 3 taken as 4
    ULONG stride;         // row stride in bytes (host buffers: cx x bytesPerPixel)
    HSURF hsurf;          // the surface (device kind)
};

// The display driver's device record of a device surface (null for none).
inline PDEV* ppdevOf(SURFOBJ* pso) { return pso != nullptr ? reinterpret_cast<PDEV*>(pso->dhpdev) : nullptr; }

struct GLWindowRecord;  // the buffer manager's record of a window
// The device record of a buffer in board memory: its surface, the format
// word its transfers use, and the rectangle a swap covers.
struct GLDeviceRecord {
    ULONG pid;              // format word: the surface's page block with the pixel format
    ULONG ulLimit;          // 0xFFFF
    RECTL rclSwap;          // the swap rectangle (screen pixels, right and bottom excluded)
    GLWindowRecord* pWindow;
    SURFOBJ* pso;           // the surface
};

// Host memory of the accumulation buffer's recorded size (screen width x
// height x 8 bytes), or null.
void* _DAllocAccumBuffer(void);

// --- image transfer (the GL layer's image.cpp) -------------------------------------------------
// Rectangles are in screen pixels.
struct GLBufferSet;  // a drawable's buffer set
// Reads the rectangle of the set's buffer of the kind into host memory
// (rows of cx pixels of the buffer's size, first row first): 1, or 0. A
// right-eye buffer on a stereo page configuration is read from the lower
// image.
ULONG _DGetImage(GLBufferSet* pbs, ULONG kind, LONG x, LONG y, LONG cx, LONG cy, void* pvDest);
// Writes 32-bit host pixels (first row first) into the back or front buffer
// per box of the window's GL clip list; with 0x80000000 in the kind, an
// 8-bit (or overlay 32-bit) image, last row first, through the window's
// clip: 1, or 0.
ULONG _DPutImage(GLBufferSet* pbs, ULONG kind, LONG x, LONG y, LONG cx, LONG cy, void* pvSource);
// Writes cxSource x cySource host pixels (as _DPutImage) zoomed into the
// destination rectangle of cxDest x cyDest, per box of the window's GL clip
// list, with the four zoom parameters of kz2WriteRectZoom: 1, or 0.
ULONG _DPutImageZoom(GLBufferSet* pbs, ULONG kind, LONG x, LONG y, LONG cxSource, LONG cySource,
                     LONG cxDest, LONG cyDest, const ULONG aulZoom[4], void* pvSource);
// Copies a rectangle between the front and back buffers: 1, or 0.
ULONG _DCopyImage(GLBufferSet* pbs, ULONG kindSource, ULONG kindDest, LONG x, LONG y, LONG cx,
                  LONG cy, LONG xSource, LONG ySource);
// The buffer set a buffer in board memory belongs to (through its window's
// drawable), or null.
GLBufferSet* _DBufferSetOf(const GLBuffer* pb);
// The device's cached 128 x 128 32-bit staging surface (a buffer of kind
// 0x10 in off-screen memory) for transfers through the buffer's device, or
// null (said on the debugger).
GLBuffer* _DGetTmp32DevSurf(GLBuffer* pb);
// A 128 x 128 scratch pixmap of the same shape in the device's off-screen
// memory, or null; freed by _DFreeScratchPixmap, which clears the owner's
// pointer.
GLBuffer* _DCreateScratchPixmap(PDEV* ppdev);
void _DFreeScratchPixmap(GLBuffer** ppb);

// --- the device's textures (the GL layer's texture.cpp) ---------------------------------------
// The board address of a level of a loaded texture (level 0: the texture
// is searched by identifier; otherwise the current texture's level when its
// identifier matches), its pitch written to *pPitch; the texture found
// becomes current. 0 when there is none, or the level is past the records.
ULONG _DFindTexture(PDEV* ppdev, ULONG level, ULONG id, ULONG* pPitch);
// Loads a level of the texture id from 32-bit texels (and, with bSecond,
// a second image: 8 bits a texel of pvSecond into the companion, or on a
// 32-bpp screen 32-bit texels into the image's overlay plane): 1, or 0
// when nothing was loaded.
ULONG _DLoadTexture(PDEV* ppdev, ULONG id, ULONG level, LONG cx, LONG cy, const void* pvTexels,
                    BOOL bSecond, const void* pvSecond);

// The server's device record that new contexts' hardware records name.
GLSRVDEVICE* __glDeviceRecord(void);
