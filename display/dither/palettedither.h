// Colour dithering for 8-bit modes: a colour the palette cannot show is
// drawn as an 8x8 pattern of the sixteen fixed colours of the default
// palette, the corners of the colour cube at full and at half intensity.
// The colour is first split into at most four (count, vertex) entries whose
// counts sum to 64, then the entries are laid out in a fixed ordered-dither
// sequence.
#pragma once

#include "platform/kernel.h"

#define DITHER_CELLS 64               // pattern bytes: 8 rows of 8 palette indices
#define DITHER_MAX_ENTRIES 4          // entries one colour splits into at most
#define DITHER_VERTICES 16            // vertex numbers 0..15
#define DITHER_VERTEX_BACKGROUND 255  // an entry's vertex once it is the background

// Vertex numbers: bit 0 red, bit 1 green, bit 2 blue at half intensity
// (vertex 7 the mid grey); with bit 3 the same corners at full intensity
// (vertex 15 white). Vertex 8 is the light grey.
typedef struct DITHERENTRY {
    ULONG cCount;    // pattern positions the vertex takes
    ULONG ulVertex;  // 0..15, or DITHER_VERTEX_BACKGROUND
} DITHERENTRY;

// Splits rgb (0x00BBGGRR; bits above are ignored) into entries written from
// pEntries (room for DITHER_MAX_ENTRIES); answers the end of those written.
DITHERENTRY* pComputeDitherEntries(ULONG rgb, DITHERENTRY* pEntries);

// Writes the DITHER_CELLS palette indices of the cEntries entries from
// pEntries to pEnd into pjPattern. The background entry (the one with the
// most positions) fills the pattern first; with three or four entries its
// vertex becomes DITHER_VERTEX_BACKGROUND.
void vDitherColor(BYTE* pjPattern, DITHERENTRY* pEntries, DITHERENTRY* pEnd, ULONG cEntries);

// Both steps: the dither pattern of rgb.
void vDitherRgb(ULONG rgb, BYTE* pjPattern);

// The default palette's index of a vertex (0..15).
BYTE jDitherPaletteIndex(ULONG ulVertex);
