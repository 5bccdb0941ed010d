// What the files of the hardware cursor share: the RAMDAC's cursor
// registers and their sequences, the cursor image and its conversion from
// pointer masks, and the colour reduction of colour pointers.
#pragma once

#include "pdev.h"

// --- the RAMDAC (ramdac.cpp) -------------------------------------------------
//
// Reached through the index-low, index-high and data registers of a
// rasterizer's window; the index steps by one after each data store. Every
// sequence runs under csRamdac (the caller holds it).

#define RAMDAC_CURSOR_CONTROL 0x030u   // CURSOR_ON or CURSOR_OFF
#define RAMDAC_CURSOR_POSITION 0x031u  // one 32-bit store: (y << 16) | (x & 0xFFFF)
#define RAMDAC_CURSOR_COLOURS 0x040u   // colours 1, 2, 3, each red, green, blue
#define RAMDAC_CURSOR_IMAGE 0x100u     // CURSOR_IMAGE_BYTES byte stores

#define CURSOR_ON 0x35u
#define CURSOR_OFF 0x14u

#define CURSOR_SIZE 64       // pixels across and down
#define CURSOR_ROW_BYTES 16  // four 2-bit pixels a byte
#define CURSOR_IMAGE_BYTES (CURSOR_SIZE * CURSOR_ROW_BYTES)

// Cursor pixel codes: (NOT AND) << 1 | XOR of a Windows pointer mask.
#define CURSOR_TRANSPARENT 0u
#define CURSOR_COLOUR1 1u
#define CURSOR_COLOUR2 2u
#define CURSOR_COLOUR3 3u

// The three cursor colours, 0x00RRGGBB each, for codes 1, 2, 3.
typedef struct CURSORCOLOURS {
    ULONG aul[3];
} CURSORCOLOURS;

// Control register: CURSOR_ON or CURSOR_OFF.
void vRamdacCursorControl(BYTE* pjRegs, ULONG ulControl);
// Position register, one 32-bit store of the packed position.
void vRamdacCursorPosition(BYTE* pjRegs, ULONG ulPosition);
// The cursor colours and the whole image.
void vRamdacCursorShape(BYTE* pjRegs, const CURSORCOLOURS& colours,
                        const BYTE ajImage[CURSOR_IMAGE_BYTES]);

// --- the cursor image (image.cpp) --------------------------------------------

// The cursor image of a pointer given as Windows AND and XOR planes (1 bit a
// pixel, leftmost pixel in bit 7, rows lDelta bytes apart) of cx x cy pixels
// (at most CURSOR_SIZE each): the upper-left cx x cy of the image from the
// planes, every other pixel transparent.
void vCursorImageFromPlanes(const BYTE* pjAnd, const BYTE* pjXor, LONG lDelta, ULONG cx, ULONG cy,
                            BYTE ajImage[CURSOR_IMAGE_BYTES]);
// Sets pixel (x, y) of a cursor image to a pixel code.
void vCursorImageSet(BYTE ajImage[CURSOR_IMAGE_BYTES], ULONG x, ULONG y, ULONG ulCode);

// --- colour pointers (colour.cpp) -------------------------------------------

// Reduces a colour pointer (psoColor, with its AND plane: the first cy rows
// of the mask at pjAnd, lDelta bytes apart) to the cursor's three colours
// and image. FALSE for a colour bitmap the cursor does not serve (not a host
// bitmap of 8, 16 or 32 bits a pixel, smaller than the pointer or larger
// than the cursor, or a translation that is not trivial).
BOOL bReduceColourPointer(const PDEV* ppdev, SURFOBJ* psoColor, XLATEOBJ* pxlo, const BYTE* pjAnd,
                          LONG lDelta, ULONG cx, ULONG cy, CURSORCOLOURS* pcolours,
                          BYTE ajImage[CURSOR_IMAGE_BYTES]);
