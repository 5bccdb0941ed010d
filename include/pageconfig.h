// A board-memory configuration of the display driver: one row per memory
// class and pixel class (row = memory class x 3 + pixel class), twelve
// words. The device record points at the active row; the GL server reads
// the depth, alpha and stencil bits and the stereo flag there.
#pragma once

#include "platform/kernel.h"

typedef struct PAGECONFIG {
    ULONG cBitsPerPixel;   // 0: 8, 16 or 32
    ULONG cPagePixels;     // 1: pixels in one board-memory page
    ULONG cxPage;          // 2: page width in pixels
    ULONG cyPage;          // 3: page height in pixels
    ULONG cDepthBits;      // 4: depth-buffer bits of this mode (0 = no 3D, 16, 24)
    ULONG aulGLSizing[4];  // 5-8: 8, 8, 0, 0 after 3D sizing; read by the GL server:
                           // the board's alpha bits, its stencil bits, then two masks
    ULONG fAltBuffer;      // 9: the alternate 128x128 buffer is to be placed
    ULONG ulReserved;      // 10
    ULONG fStereo;         // 11: depth and back buffers twice the screen height
} PAGECONFIG;
static_assert(sizeof(PAGECONFIG) == 12 * 4, "PAGECONFIG is twelve words");

// The words of aulGLSizing.
#define PAGECONFIG_GL_ALPHA_BITS 0
#define PAGECONFIG_GL_STENCIL_BITS 1
