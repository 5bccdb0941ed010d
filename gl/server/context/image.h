// Image transfer between host memory and a window's buffers (image.cpp).
// Rectangles are in screen pixels.
#pragma once

#include "glsrv.h"

struct GLBufferSet;

// Reads the rectangle of the set's buffer of the kind into host memory
// (rows of cx pixels of the buffer's size, first row first): 1, or 0.
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
