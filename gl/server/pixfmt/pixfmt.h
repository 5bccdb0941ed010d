// Pixel formats and visuals: the six format tables, the one chosen for the
// board and mode, and the visual of each format and layer that contexts and
// drawables refer to.
#pragma once

#include "glsrv.h"

// A pixel-format record: the descriptor of a main-plane format (an overlay
// record's first 32 bytes are read as a LAYERPLANEDESCRIPTOR), then what the
// buffer manager and lgi are handed as they stand.
struct GLPixelFormat {
    PIXELFORMATDESCRIPTOR pfd;
    ULONG ulRedMask;
    ULONG ulGreenMask;
    ULONG ulBlueMask;
    ULONG ulCount0;  // 16 (5 in the single-buffered 8-bit formats)
    ULONG ulCount1;  // 8 (2 in the single-buffered 8-bit formats)
    ULONG ulZero;
};
static_assert(sizeof(GLPixelFormat) == 64, "a pixel-format record is 64 bytes");

// A pixel-format table: the records of every layer, layer 0 first.
struct GLFormatTable {
    ULONG ulZero;
    ULONG cLayers;             // 1 or 2
    USHORT cFormatsPerLayer;
    USHORT cFormatsOffered;    // the count reported to the system (before stereo doubling)
    const GLPixelFormat* pFormats;  // cFormatsPerLayer x cLayers records
    const void* pBufferOps;         // the device buffer manager's operations (not built yet)
};

// The visual of one format on one layer.
struct GLVisual {
    GLPixelFormat* pFormat;  // 0 the record (the server's copy, patched to the board)
    ULONG bRGBA;             // 1 pixel type 0
    ULONG cRedBits;          // 2-4 (RGBA only)
    ULONG cGreenBits;
    ULONG cBlueBits;
    ULONG cAlphaBits;        // 5
    ULONG cAccumRedBits;     // 6-9
    ULONG cAccumGreenBits;
    ULONG cAccumBlueBits;
    ULONG cAccumAlphaBits;
    ULONG bDoubleBuffer;     // 10
    ULONG bStereo;           // 11 the record's stereo flag and the board's
    ULONG cColorBits;        // 12
    ULONG cDepthBits;        // 13 the board's depth bits when the record asks for depth
    ULONG cStencilBits;      // 14
    ULONG cAuxBuffers;       // 15
    ULONG iLayer;            // 16 0 main, 1 overlay
    ULONG iFormat;           // 17 1-based index within the layer
};

// The visuals of one layer.
struct GLVisualLayer {
    ULONG cVisuals;
    GLVisual* pVisuals;
};

// The six tables in the order they are chosen: double buffering on at 8,
// 16, 32 bits, then off at 8, 16, 32 bits.
extern const GLFormatTable gaFormatTables[6];
// The table the chooser picks for a double-buffering word and a display
// depth code (0 8-bit, 1 16-bit, else 32-bit).
const GLFormatTable* pftSelect(ULONG ulDoubleBuffer, ULONG iDepthCode);

// The chosen table (null before the first choice) and the formats offered.
extern const GLFormatTable* gpFormatTable;
extern ULONG gcFormatsOffered;

// The visual of a 1-based format on a layer; null when either does not exist.
GLVisual* pvisLookup(LONG iFormat, LONG iLayer);

// Chooses the pixel-format table for the device's board and mode (the
// double-buffering word of its board configuration and its display depth),
// doubling the formats offered on a stereo board; then the buffer manager
// is set up for the device.
void __glChooseFormatTable(PDEV* ppdev);
// Builds the visuals of the chosen table, patched to the board's alpha and
// stencil bits: 0, or 11 (GLX_BAD_ALLOC).
ULONG glInitVisualConfigs(PDEV* ppdev);
void glFreeVisualConfigs(void);
// The describe-pixel-format hook: the number of formats offered (0 while
// the server has no visuals).
LONG glDrvDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                              PIXELFORMATDESCRIPTOR* ppfd);
// Copies at most 32 bytes of a layer plane's descriptor to pjOut: TRUE, or
// FALSE for a format not offered, a layer the table lacks or no output.
BOOL __glDrvDescribeLayerPlane(LONG iPixelFormat, LONG iLayer, ULONG cj, BYTE* pjOut);
// Sets the number of pixel formats offered (below 1: none; at most the
// formats of a layer). TRUE.
BOOL __glSetFormatCount(USHORT cFormats);

// The window's overlay palette (palette.cpp): entries copied or stored, 0
// for no window, a layer other than 1, or entries outside the palette (16
// entries on a double-buffered overlay, else 256). The entries are 32-bit
// words, not necessarily aligned; layer, start and count are the client's
// words as they came.
ULONG __glGetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG cEntries,
                                 BYTE* pjEntries);
ULONG __glSetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG cEntries,
                                 const BYTE* pjEntries);
// Loads the colour registers from the window's overlay palette: 1, or 0.
ULONG __glRealizeLayerPalette(WNDOBJ* pwo, LONG iLayer, BOOL bRealize);
