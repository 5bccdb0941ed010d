// Solid and pattern fills: lists of rectangles painted on a device surface
// with a solid colour, a colour pattern brush or a two-colour brush, under
// any ROP3 (a ROP4 for two-colour brushes).
//
// Each fill is a series of packets of at most 512 rectangles: the
// destination's pid, the program of the ROP (rop.h), the clip pair (the
// surface's board origin to origin + the device's drawing-area size),
// the constants, then the rectangles' corners, each routed to the queues of
// the rasterizers whose tiles it touches.
//
// The pattern register of every rasterizer is loaded from the pattern
// surface (each rasterizer's copy of the brush lies in the first 8x8 pixels
// of the lowest tile it owns) only when the brush or its board-coordinate
// origin changes; the device's iPatternUniq says what the registers hold
// (0 nothing known, 0xdeadbabe the 3D dither matrix). The monochrome pattern
// of a two-colour fill is loaded before every fill.
//
// Rectangles are RECTL in surface coordinates, right and bottom excluded.
// Every function runs under the device's csEscape; none reports a failure.
#pragma once

#include <cstdint>

#include "blt/brush.h"
#include "kz2queue.h"
#include "pdev.h"
#include "platform/ddi.h"
#include "rop/rop.h"

// iPatternUniq while the pattern registers hold the 3D dither matrix.
#define PATTERN_UNIQ_DITHER 0xdeadbabeu
// Rectangles of one fill packet.
#define FILL_BATCH 512
// The rasterizer unit a fill that reads the destination switches off.
#define FILL_DISABLE_UNIT 0x10000000u
// The clip wrappers' enumeration batch: a count and 49 rectangles.
#define FILL_CLIP_BATCH 49
#define FILL_CLIP_BUFFER_BYTES (4 + FILL_CLIP_BATCH * 16)  // 788
#define FILL_CLIP_ENUM_LIMIT 50                            // the cLimit of CLIPOBJ_cEnumStart

// --- fills ----------------------------------------------------------------------

// Fills c rectangles with a solid colour (a device colour: a palette index at
// 8 bits a pixel, 5-5-5 at 16, 0x00RRGGBB at 32). rop4's low byte is the
// ROP3; flInfo its descriptor (ulRop3Info), of which bit 15 (the ROP reads
// the destination), bit 6 (it needs 0) and bit 7 (it needs all ones) count.
void vFillSolid(SURFOBJ* pso, ROP4 rop4, ULONG flInfo, ULONG iSolidColour, RECTL* prcl, ULONG c);
// The same for the cDst rectangles at prclDst under the clip object: a list
// of up to four goes in one fill (per clip batch and rectangle under a
// complex clip).
void vFillSolidClipped(SURFOBJ* pso, CLIPOBJ* pco, ROP4 rop4, ULONG flInfo, ULONG iSolidColour,
                       RECTL* prclDst, ULONG cDst = 1);

// The straight-line form of vFillSolidClipped for the common case: one
// destination rectangle, no clip object, DC_TRIVIAL or DC_RECT, ROP 0xF0,
// 0x00 or 0xFF (no destination read), one eye, all planes, no units
// switched off, every queue with room. It writes the same packet as the
// general path (bQueueOnePrimitive, queue.h) and answers TRUE; FALSE, with
// nothing queued, when the case is another, for the general path to draw.
BOOL bFillSolidOne(SURFOBJ* pso, CLIPOBJ* pco, const RECTL* prcl, ULONG rop3, ULONG flInfo,
                   ULONG iSolidColour);

// Fills c rectangles with a colour pattern brush (REALBRUSH_MONO clear) at
// the brush origin *pptlBrushOrg (surface coordinates; null = (0, 0)).
void vFillPattern(SURFOBJ* pso, RECTL* prcl, ULONG c, REALBRUSH* prbrush, POINTL* pptlBrushOrg,
                  ULONG flInfo, ULONG rop3);
void vFillPatternClipped(SURFOBJ* pso, CLIPOBJ* pco, RECTL* prclDst, REALBRUSH* prbrush,
                         POINTL* pptlBrushOrg, ULONG flInfo, ULONG rop3);
// Whether colour pattern fills can draw on pso: a board-memory surface of a
// device that has its pattern surface. When it answers FALSE the two fills
// above queue nothing, and the caller hands the fill to the engine instead.
BOOL bPatternFillAvailable(SURFOBJ* pso);
// Loads an 8x8 colour pattern (rows of 8 pixels of 1 << iShift bytes) into
// every rasterizer's pattern register so that the pattern's pixel (0, 0)
// lies at board (xOrg, yOrg) and repeats every 8 pixels. bNative: the pixels
// go as they are (palette indices), else they are converted (fill colour).
void vLoadPattern(SURFOBJ* psoPattern, const BYTE* pjBits, ULONG iShift, BOOL bNative, LONG xOrg,
                  LONG yOrg);
// Loads a register of every rasterizer from the pattern surface: the words
// pfnWord(pv, i, j) (row i, column j, both below cSide) go as points into
// the first cSide x cSide pixels of the lowest tile each rasterizer of a
// screen owns (on a split board the second screen's rasterizers take the
// same points), then each rasterizer's square goes into the register
// through the instruction ulLoad.
void vLoadSquares(SURFOBJ* psoPattern, LONG cSide, ULONG (*pfnWord)(const void*, LONG, LONG),
                  const void* pv, ULONG ulLoad);

// Fills c rectangles with a two-colour brush (REALBRUSH_MONO): where the
// pattern bit is 1 the foreground ROP3 (rop4 & 0xFF) with ulForeColor, where
// it is 0 the background ROP3 (rop4 >> 8) with ulBackColor.
void vFillTwoColour(SURFOBJ* pso, RECTL* prcl, ULONG c, REALBRUSH* prbrush, POINTL* pptlBrushOrg,
                    ULONG flInfo, ROP4 rop4);
void vFillTwoColourClipped(SURFOBJ* pso, CLIPOBJ* pco, RECTL* prclDst, REALBRUSH* prbrush,
                           POINTL* pptlBrushOrg, ULONG flInfo, ROP4 rop4);
// Loads a monochrome pattern (eight 16-bit rows) into every rasterizer, its
// pixel (0, 0) at board (xOrg, yOrg).
void vLoadMonoPattern(KZ2QUEUEMGT pqm, const USHORT* pusRows, LONG xOrg, LONG yOrg);

// The two-colour program: the foreground ROP3 (D 13, P 27) written where
// the mask bit is set, then the background ROP3 (P 28) where it is clear;
// under the reduced plane mask each goes through a staging register and a
// masked AND with register 30 (the TWO_COLOUR_ words of rop.h). Answers the
// number of words (at most 10; 0 when both ROPs draw nothing).
ULONG cTwoColourProgram(ULONG* pw, ULONG rop3Fg, ULONG rop3Bg, ULONG ulPlaneMask);

// How a program's last instruction writes its result: ulLast straight into
// the destination (all planes); under a reduced plane mask ulStaged into a
// staging register, then ulPlane ANDs that with register 30 into the
// destination.
struct ROPTAIL {
    ULONG ulLast;
    ULONG ulStaged;
    ULONG ulPlane;
};
inline constexpr ROPTAIL kTailFill{ROP_LAST_FILL, ROP_LAST_STAGED, ROP_PLANE_FILL};
inline constexpr ROPTAIL kTailCopy{ROP_LAST_COPY, ROP_LAST_STAGED, ROP_PLANE_COPY};
// The program of rop3 (cRop3Instructions with regD, regS and regP) ending
// as tail says, bMasked: under the reduced plane mask. Answers its number of
// words (0 for a ROP that draws nothing, masked or not).
ULONG cRop3Program(ULONG* pw, ULONG rop3, ULONG regD, ULONG regS, ULONG regP, const ROPTAIL& tail,
                   bool bMasked);

// --- the pattern surface (surface enable and disable) --------------------------------

// Makes the device's pattern surface (psoPattern): a device bitmap in the
// screen's format placed at the origin of a page block of its own, large
// enough for an 8x8 copy at the lowest tile of every rasterizer of a screen.
// The queues and the page table must be set up. FALSE when it cannot be
// made (psoPattern stays null and colour pattern fills decline, see
// bPatternFillAvailable).
// It is made after the 3D buffers and takes one page slot of its own. It
// exists in every mode the boards offer except the 32-bpp modes with 3D
// whose primary, back and depth buffers take all 32 slots (800x600 and
// 1024x768 at 32 bpp with 8 MB a rasterizer among them): there no placement
// exists that leaves 3D whole. Every mapped page belongs to those buffers;
// the only unused pixels are the 16-bit depth buffer's padding, whose format
// cannot hold 24-bit pattern colours; and aliasing the back buffer, as the
// 3D set-up's tiles do, would let every 2D pattern load write into pixels
// the GL server draws and the next swap shows. In those modes colour pattern
// fills go to the engine and on-board copies through host memory.
BOOL bCreatePatternSurface(PDEV* ppdev);
// Deletes it (nothing when there is none) and forgets the loaded pattern.
void vDeletePatternSurface(PDEV* ppdev);

// --- the fill packet writer (fill_packet.cpp), shared with copies and transfers ----

// What a fill needs of its destination.
typedef struct FILLTARGET {
    PDEV* ppdev;
    KZ2QUEUEMGT pqm;
    ULONG pid;  // the surface's pid
    LONG xOrg;  // its board origin
    LONG yOrg;
    LONG cx;  // its size: the clip pair of its fills
    LONG cy;
} FILLTARGET;
// FALSE when pso is not a board-memory surface of a device with queues.
BOOL bFillTarget(SURFOBJ* pso, FILLTARGET* pft);
// The board-coordinate brush origin: the brush's origin plus the surface's
// board origin. A sum past the LONG range (an origin near the 32-bit limits)
// takes the brush origin modulo 8 instead: the brush repeats every 8
// pixels, so the pattern's phase is the same.
inline LONG lBrushOrigin(LONG lBrush, LONG lSurface) {
    const std::int64_t sum = std::int64_t{lBrush} + lSurface;
    return sum >= INT32_MIN && sum <= INT32_MAX ? static_cast<LONG>(sum) : (lBrush & 7) + lSurface;
}
// A solid or brush colour in the board's 24-bit form (unchanged in the
// indexed colour model and at 32 bits a pixel).
ULONG ulFillColour(const PDEV* ppdev, ULONG iColour);
// Stores the command word into the open packet of every queue.
void vSetCommand(KZ2QUEUEMGT pqm, ULONG ulCommand);
// Writes the clip pair of a fill at p: the target's origin (y plus yEye) and
// origin + the target's size. Answers the word after them.
ULONG* pWriteFillClip(ULONG* p, const FILLTARGET* pft, LONG yEye);
// Whether two board pixels lie in one 128-pixel tile (bits 7-11 of x and of
// y equal).
inline bool bSameTile(LONG x0, LONG y0, LONG x1, LONG y1) {
    return ((x0 ^ x1) & 0xF80) == 0 && ((y0 ^ y1) & 0xF80) == 0;
}
// The queue calls the routing makes: the driver's own exported functions.
// A program that loaded the driver as a module passes a record of the same
// three members holding that module's functions, so that the routing below
// runs against the loaded driver's queues (a benchmark does).
struct DIRECTQUEUECALLS {
    static void copyN(KZ2QUEUEMGT pqm, ULONG* pEnd, KZ2QUEUE* q) { kz2CopyPrimN(pqm, pEnd, q); }
    static ULONG* routeSplit(KZ2QUEUEMGT pqm, ULONG* pEnd, ULONG xy, BOOL bRoute) {
        return kz2CopyPrimMulScreen(pqm, pEnd, xy, bRoute);
    }
    static ULONG* routeMany(KZ2QUEUEMGT pqm, ULONG* pEnd, ULONG xy0, ULONG xy1, ULONG xy2) {
        return kz2CopyPrimOpt(pqm, pEnd, xy0, xy1, xy2);
    }
};
// Counts one primitive in q and makes it the current queue with its write
// pointer and mark at the end of the primitive's words (which q must
// already hold, or receive now). Answers q's write pointer.
template <typename Calls = DIRECTQUEUECALLS>
inline ULONG* pInline(KZ2QUEUEMGT pqm, ULONG* pEnd, KZ2QUEUE* q, const Calls& calls = Calls{}) {
    ++q->cPrims;
    if (q != pqm->pqCurrent) {
        calls.copyN(pqm, pEnd, q);
        pqm->pqCurrent = q;
    } else {
        q->pWrite = pEnd;
    }
    q->pMark = q->pWrite;
    return q->pWrite;
}
// Routes a primitive (its words end at pEnd) that lies within the box of
// the packed vertices vFirst (its position) and vLast; bOneTile: the box
// lies in one 128-pixel tile. With one rasterizer it is counted in the
// current queue; on a split board it goes through kz2CopyPrimMulScreen
// (vFirst, bOneTile); a one-tile primitive, once something was broadcast in
// the packet, goes inline into the queue owning vFirst's tile; anything
// else through kz2CopyPrimOpt(vFirst, vLast, vFirst). The routing of fills,
// glyph bands and the 3D escape's rectangles. Answers where the next
// primitive goes.
template <typename Calls = DIRECTQUEUECALLS>
inline ULONG* pRoutePrimitive(KZ2QUEUEMGT pqm, ULONG* pEnd, ULONG vFirst, ULONG vLast,
                              bool bOneTile, const Calls& calls = Calls{}) {
    const QUEUELAYOUT* pLayout = pqm->pLayout;
    if (pLayout->cQueues == 1) return pInline(pqm, pEnd, pqm->pqCurrent, calls);
    if (pLayout->bSplitScreen) return calls.routeSplit(pqm, pEnd, vFirst, bOneTile);
    if (!bOneTile || pqm->cPrims == 0) return calls.routeMany(pqm, pEnd, vFirst, vLast, vFirst);
    return pInline(pqm, pEnd, pqm + pqm->abTileQueue[KZ2_TILE_OF(vFirst)], calls);
}
// Writes the four corner words of the board rectangle [x0, x1) x [y0, y1) at
// p and routes them (pRoutePrimitive by its corners (x0, y0) and (x1, y1));
// answers where the next primitive goes.
ULONG* pRouteRect(KZ2QUEUEMGT pqm, ULONG* p, LONG x0, LONG y0, LONG x1, LONG y1);
// Routes a one-vertex primitive (its words end at pEnd) positioned at the
// packed vertex xy: counted in the current queue with one rasterizer, across
// both screens on a split board, broadcast while nothing was broadcast in the
// packet, else into the queue owning xy's tile. Answers where the next
// primitive goes.
inline ULONG* pRoutePoint(KZ2QUEUEMGT pqm, ULONG* pEnd, ULONG xy) {
    return pRoutePrimitive(pqm, pEnd, xy, xy, true);
}
