// Text: the glyph renderers and what DrvTextOut (device/entry.h) draws with
// them.
//
// A glyph is drawn on the board as a masked band: one primitive of eleven
// words carries the glyph's rows as a 1-bit mask, and the rasterizer writes
// the foreground colour where a mask bit is set and, for opaque text, the
// background colour where it is clear. Two narrow glyphs side by side share
// one primitive. Glyph packet: the destination's pid, the program
// (GLYPH_FG_WORD, and GLYPH_BG_WORD for opaque text), the clip pair of the
// clip rectangle (board coordinates, the maximum excluded), the foreground
// colour and for opaque text the background colour, then at most
// GLYPH_BATCH primitives.
//
// Glyph primitive: words 0-7 sixteen 16-bit mask rows, the row of board y
// in slot y & 15, stored at half (slot XOR 1) of the eight words (the first
// row of a pair in the high half); a row's value is the glyph's row bits
// (one byte for a glyph up to 8 pixels wide, else a little-endian 16-bit
// word), replicated into 32 bits and shifted right by ((x + 8) & 15) for
// the board x of the glyph's left edge, so that board pixel x' reads bit
// 15 - (x' & 15). Word 8: the left edge at the vertical centre in 28.4,
// ((2 yTop + h) x 8) << 16 | (x & 0xFFF) x 16; word 9 the same at the right
// edge; word 10 half the height, h x 8.
//
// Board range: a position word holds x and y in 12 bits, so a band never
// starts left of board x 0 or above board y 0 and never reaches past 4095.
// A glyph that sticks out of that range keeps the pixels inside it: its left
// edge moves to 0 (the mask keeps the phase of its true x), its right edge to
// 4095, rows outside are cut. A glyph wholly outside is skipped.
//
// Every function runs under the device's csEscape.
#pragma once

#include "platform/ddi.h"

struct PDEV;

#define GLYPH_BATCH 128                   // primitives of one glyph packet
#define GLYPH_SMALL 16                    // the small renderers' largest glyph side
#define GLYPH_PAIR_WIDTH 8                // a glyph this narrow may share a primitive
#define GLYPH_PRIM_WORDS 11               // words of one glyph primitive
#define GLYPH_BOARD_LIMIT 4096            // board x and y stay below this
#define GLYPH_FG_WORD 0x12360348u         // register 27 into 13 where the mask bit is set
#define GLYPH_BG_WORD 0x1A380348u         // register 28 into 13 where it is clear
#define CMD2D_GLYPH 0x2001332u            // glyph packets (| n << 20, | CMD2D_BACK when opaque)
#define SO_GLYPHS_COVER_BACKGROUND 0x71u  // flAccel: the glyph cells tile rclBkGround

// The four renderers. prclClip: the clip rectangle in surface coordinates;
// pgp: cGlyphs glyphs at their character origins; ulCharInc: the fixed
// pitch (vGlyphsFixedPitch) or 0; the colours are device colours. Answer the
// last kz2UpdatePacketPtr result (0 when no packet was sent).
//
// vGlyphsClipped: glyphs up to 16x16 under one rectangle of a complex clip;
// glyphs wholly outside it are skipped, rows above and below it are cut.
ULONG vGlyphsClipped(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs, ULONG ulCharInc,
                     ULONG iFgColour, ULONG iBgColour, BOOL bOpaque);
// vGlyphsProportional: glyphs up to 16x16 at their own positions; the clip
// pair clips.
ULONG vGlyphsProportional(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs,
                          ULONG ulCharInc, ULONG iFgColour, ULONG iBgColour, BOOL bOpaque);
// vGlyphsFixedPitch: as proportional, the positions stepped by ulCharInc
// from the first glyph's.
ULONG vGlyphsFixedPitch(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs,
                        ULONG ulCharInc, ULONG iFgColour, ULONG iBgColour, BOOL bOpaque);
// vGlyphsLarge: glyphs of any size, each cut to the clip rectangle and sent
// in bands of 16 rows, each band in pieces of 16 columns; no pairing.
ULONG vGlyphsLarge(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs, ULONG ulCharInc,
                   ULONG iFgColour, ULONG iBgColour, BOOL bOpaque);

typedef ULONG (*PFN_GLYPHS)(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs,
                            ULONG ulCharInc, ULONG iFgColour, ULONG iBgColour, BOOL bOpaque);
