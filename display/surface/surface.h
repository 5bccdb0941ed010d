// The surface life cycle: what DrvEnableSurface, DrvDisableSurface and
// DrvAssertMode share. The entry points themselves are in entry.h.
//
// Where the driver had to choose (the board leaves these open):
// - The primary, the back buffer and the depth buffer are placed at (0, 0)
//   of their page blocks: the swap exchanges the pages of the primary and
//   the back buffer, so both start at the same origin, and the depth buffer
//   is walked over the same pages (TrimapBitmaps).
// - Page sizes everywhere use the board's own multipliers (codes 2 and 3
//   both quadruple), also in the 3D buffer sizing; one page holds
//   PAGECONFIG's bytes times both multipliers.
// - The 3D buffer sizing also counts page slots: the primary, back and depth
//   buffers and the dither and scratch tiles must find their 32 slots (the
//   bytes alone count every rasterizer's memory, a slot maps one page of
//   all of them), else 3D is off and the 2D surface still enables. A 24-bit
//   depth buffer whose pages do not fit falls back to 16 bits.
// - The 3D buffer sizing takes the size of a 24-bit depth buffer from the
//   remaining memory when it chooses it; the 0x40000 bytes it asks for
//   beyond that stay in the remaining memory.
// - The alternate 128x128 buffer goes to the right of the screen when the
//   rounded width leaves 128 pixels there, else to the left edge; below the
//   screen when the rounded height leaves 128 rows, else to the top edge.
// - The 2D engine's pattern surface (fill.h) is made after the 3D buffers
//   (which keep their place right after the primary) and before the dither,
//   scratch and alternate buffers, so that at 32 bpp the tiles share its
//   page. When one of those finds no room, the pattern surface is deleted
//   and the buffer tried again: a board whose memory holds no more than the
//   buffers still enables, without the pattern surface (colour pattern
//   fills then decline, and their callers hand them to the engine).
#pragma once

#include "pdev.h"

// Prefix of the surface set-up's own messages.
#define SURFACE_MESSAGE_PREFIX "KZ DrvEnableSurface - "
// The environment variable that turns the 3D side off (its existence counts).
#define DISABLE_CLIENT_DRIVER_VARIABLE "__qrnGLDisableClientDriver"

// Flags of the surfaces the set-up places (DFB_FL_...).
#define FL_PRIMARY 0x6Fu    // placed, low page blocks, flag class 15
#define FL_DEPTH 0x2Fu      // placed
#define FL_TILE 0x0Fu       // scratch and dither tiles
#define FL_ALIAS_OK 0x100u  // at 32 bpp with 3D: a tile may alias the back buffer

// Both 3D buffer sizing thresholds, in bytes.
#define DEPTH24_HEADROOM 0x40000u  // a 24-bit depth buffer leaves this much besides
#define SIZING_MIN_LEFT 0x20100u   // what must be left after the depth buffer

// --- placement (surface_sizing.cpp) -----------------------------------------------

// The screen size rounded up to whole pages of the screen's format
// (multipliers included); no cap.
void vRoundedScreen(const PDEV* ppdev, LONG cy, LONG* pcxRounded, LONG* pcyRounded);
// The primary's board-memory rectangle: the screen (twice its height in
// stereo) rounded up to whole pages, a side of 2048 or more pixels that
// only the rounding made so cut back to 2047.
void vPrimaryExtent(const PDEV* ppdev, BOOL bStereo, LONG* pcx, LONG* pcy);
// The 3D buffer sizing: whether the board memory holds the primary twice
// and a depth buffer, and with what to spare, and whether the page slots
// hold them and the 3D set-up's tiles. Writes the sizing words of
// the active PAGECONFIG row (depth bits, 8, 8, 0, 0, the alternate-buffer
// word). FALSE: no 3D on this surface.
// The byte rule rounds the screen to pages of 2 to the power of the
// multiplier codes (code 3 gives 8). The page-slot check is ours: where the
// bytes fit but the 32 slots do not hold primary, back, depth and the 3D
// set-up's tiles, the tiles made after the 3D buffers would find no slot and
// the whole surface would fail (a Duo of class 0 with x code 2 at
// 1280x1024x8 is one); turning 3D off keeps the 2D surface.
BOOL bAlloc3dBuffers(PDEV* ppdev);

// --- packets (screenclear.cpp) ---------------------------------------------------

// Routes the words written since the current queue's mark (one primitive
// that starts at xyFirst and reaches xyFar) and answers where the next
// primitive's words go: with one queue the primitive is counted where it
// is; on a split board kz2CopyPrimMulScreen(xyFirst, bMulScreenRoute);
// otherwise into the one queue of its tile when it lies in one tile and the
// packet already went to every queue, else kz2CopyPrimOpt(xyFirst, xyFar,
// xyFirst).
ULONG* pRoutePrimitive(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xyFirst, ULONG xyFar,
                       BOOL bMulScreenRoute);
// Clears the screen, and the back buffer when there is one, to 0.
void vClearScreen(PDEV* ppdev);

// --- release (surface_release.cpp) -----------------------------------------------

// Unlocks and deletes a board surface the driver made (or the GL server made
// with the driver's makers), with its allocation and record, and clears the
// two fields. Nothing happens for a null handle.
void vDeleteBoardSurface(HSURF* phsurf, SURFOBJ** ppso);
// Turns 3D off: deletes the depth and back buffers, hsurfZ = 0, no depth
// bits in the active PAGECONFIG row.
void vTurn3dOff(PDEV* ppdev);
// Releases everything the surface set-up made, whatever it got to: the
// primary surface, every board surface (the GL server's included), the
// primary's record, the queues, the page table, the scratch block and the
// register windows, in an order where each release still finds what it
// needs. FALSE when the miniport refused to take the register windows back
// (everything else is released all the same).
BOOL bReleaseSurface(PDEV* ppdev);
