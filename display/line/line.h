// The line engine behind DrvStrokePath: cosmetic lines given in 28.4 fixed
// point become line primitives (two packed end points each) in line packets
// of at most 512 primitives, routed to the rasterizers whose tiles they
// touch.
//
// A line whose end points fit the board's signed 16-bit coordinate words is
// sent whole and the board draws it. Every other line (outside that range,
// styled, or clipped to a complex region) is broken here into horizontal,
// vertical or diagonal strips by grid intersection quantization, each strip
// sent as a short line primitive. The quantization works in the first
// octant: the ends are swapped, y mirrored and x and y exchanged as needed
// (flags below), and the rounding bits of the octant break the ties so
// that every octant lights the same pixels the board does: ties toward the
// smaller device coordinate, along x toward the larger on lines of slope
// +1; the pixel nearest the start point is the first, the one nearest the
// end point is not drawn.
//
// Everything runs under the device's csEscape, held by DrvStrokePath.
#pragma once

#include <cstdint>

#include "kz2queue.h"
#include "pdev.h"
#include "platform/ddi.h"

// --- line flags ---------------------------------------------------------------
#define LINE_VERTICAL 0x001u     // the strips run along y (part of LINE_EXCHANGED)
#define LINE_DIAGONAL 0x002u     // the strips are diagonal
#define LINE_EXCHANGED 0x005u    // x and y exchanged (steep): bits 0 and 2
#define LINE_YMIRROR 0x008u      // y mirrored (y decreasing)
#define LINE_SLOPE_ONE 0x010u    // slope exactly one
#define LINE_CLIPRECT 0x020u     // a clip rectangle is in force
#define LINE_RUNS 0x040u         // a complex-clip line with runs
#define LINE_ROUND_MAJOR 0x080u  // in the octant, an end point's tie goes to the smaller coordinate
#define LINE_ROUND_MINOR 0x100u  // in the octant, a minor-axis tie goes to the smaller coordinate
#define LINE_SWAPPED 0x200u      // end points swapped (x decreasing)
#define LINE_STYLED 0x400u

// Primitives of one line packet.
#define LINE_BATCH 512
// Strips a strip record holds.
#define STRIP_MAX 100
// Style array entries the driver takes (more: the engine strokes the path).
#define STYLE_MAX 16

// One stroke's line state.
typedef struct LINESTATE {
    ULONG ulColour;   // device form
    ULONG ulMix;      // mix & 15 is used
    SURFOBJ* pso;     // target
    ULONG* pWrite;    // write pointer into the open line packet, null when none is open
    KZ2QUEUEMGT pqm;  // null until first needed
    ULONG cPrims;     // primitives in the open packet
    ULONG ulClipA;    // clip corners, packed board pixels (x bits 0-15, y 16-31)
    ULONG ulClipB;
    LONG xOrg;        // board origin of the target
    LONG yOrg;
    // The packet's header after the command and control words, and the
    // command word, made once per stroke.
    ULONG aulHeader[16];
    ULONG cHeader;
    ULONG ulCommand;
} LINESTATE;

// One stroke's style (positions in pixels).
typedef struct STYLESTATE {
    LONG lUnit;                       // pixels of a style unit: 1 alternate, 3 user styles
    LONG lLength;                     // pixels of the period (2 x the array's sum)
    ULONG cStyle;                     // entries of each array
    LONG alForward[2 * STYLE_MAX];    // the array twice over, entries in pixels
    LONG alReversed[2 * STYLE_MAX];   // the same backwards
    BOOL bStartGap;                   // the array starts with a gap
    LONG lPosition;                   // position of the next line's first pixel
    // The cursor while strips are drawn.
    LONG iEntry;     // current array entry
    LONG lLeft;      // pixels left in it
    BOOL bGap;       // the entry is a gap
    BOOL bReversed;  // walking the reversed array
} STYLESTATE;

// Strips handed to a strip routine.
typedef struct STRIPS {
    ULONG cStrips;
    FLONG flFlags;
    LONG x;  // start point, board pixels
    LONG y;
    LONG alStrips[STRIP_MAX];
} STRIPS;

typedef void (*PFNSTRIP)(LINESTATE* pls, STRIPS* pst, STYLESTATE* pss);
// Entries 0-3 for solid lines (flags & 3), 4-5 for styled ones (flags & 1).
extern const PFNSTRIP gapfnStrip[6];

// --- the line packet ------------------------------------------------------------------
// Makes the packet header of the stroke's colour and mix onto its target
// (pid, the mix's program, clip corners, colour and the constants the mix
// needs); ulColour, ulMix, pso and the clip corners must be set.
void vLineHeader(PDEV* ppdev, LINESTATE* pls);
// Opens a packet when none is open (the queue manager got first).
void vLineOpen(LINESTATE* pls, LONG x, LONG y);
// Closes the open packet: handed to the board when it holds a primitive,
// dropped otherwise; the flush thread is let in again either way.
void vLineClose(LINESTATE* pls);
// Writes one primitive from a to b (packed 28.4 board words,
// ((y << 16) | (x & 0xFFFF))) into the open packet and routes it; a
// primitive that does not move is dropped once the current queue holds one.
// Closes and reopens a full packet first.
void vLinePrimitive(LINESTATE* pls, ULONG ulA, ULONG ulB);

// --- drawing ------------------------------------------------------------------------
// Draws n connected lines, pptfxFirst to pptfxNext[0], pptfxNext[0] to
// pptfxNext[1], ... (28.4 surface coordinates); with LINE_RUNS one line
// pptfxFirst to pptfxNext[0] drawn only in its n runs. prclClip (board
// pixels) with LINE_CLIPRECT. Answers TRUE.
BOOL bLines(PDEV* ppdev, const POINTFIX* pptfxFirst, const POINTFIX* pptfxNext, const RUN* prun,
            ULONG n, STYLESTATE* pss, LINESTATE* pls, const RECTL* prclClip, FLONG fl);
// One line through the strips (board 28.4 coordinates); advances the style
// position by the line's pixels.
void vGeneralLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                  const RUN* prun, ULONG cRuns, STYLESTATE* pss, LINESTATE* pls,
                  const RECTL* prclClip, FLONG fl);
// The number of pixels the line from (x0, y0) to (x1, y1) (28.4) lights.
std::int64_t cLinePixels(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);
