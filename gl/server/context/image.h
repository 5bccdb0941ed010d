// Image transfer between host memory and a window's buffers (image.cpp).
// Rectangles are in screen pixels.
#pragma once

#include "glsrv.h"

struct GLBufferSet;

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
struct GLBuffer;
GLBufferSet* _DBufferSetOf(const GLBuffer* pb);

// The device's cached 128 x 128 32-bit staging surface (a buffer of kind
// 0x10 in off-screen memory) for transfers through the buffer's device, or
// null (said on the debugger).
struct GLBuffer;
GLBuffer* _DGetTmp32DevSurf(GLBuffer* pb);
// A 128 x 128 scratch pixmap of the same shape in the device's off-screen
// memory, or null; freed by _DFreeScratchPixmap, which clears the owner's
// pointer.
GLBuffer* _DCreateScratchPixmap(PDEV* ppdev);
void _DFreeScratchPixmap(GLBuffer** ppb);
// Frees the device's cached staging surface (its last context went; null:
// whichever device has one).
void __glReleaseStagingSurfaces(PDEV* ppdev);
