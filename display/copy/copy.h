// On-board copies: rectangles copied between surfaces in board memory under
// a ROP3 (screen to screen, device bitmap to screen and back, back buffer to
// front buffer).
//
// Board memory is shared among the rasterizers by 128x128-pixel tiles, and a
// rasterizer reads only the tiles it owns. A copy whose source and
// destination tiles have one owner runs on the board as 8x8-pixel blocks; a
// piece whose tiles have different owners goes through host memory (a
// download into a staging buffer and an upload from it). A copy whose source
// lies at the destination's board position (two surfaces, as in a buffer
// swap) is one rectangle primitive.
//
// Rectangles are RECTL in surface coordinates, right and bottom excluded;
// "board" coordinates add the surface's origin in its page block. Every
// function runs under the device's csEscape; none reports a failure.
#pragma once

#include "fill/fill.h"
#include "kz2queue.h"
#include "pdev.h"
#include "platform/ddi.h"
#include "rop/rop.h"

// --- words of the copy packets ---------------------------------------------------
#define COPY_BLOCK 8            // pixels of a block's side
#define COPY_BLOCK_FIXED 0x80   // ... in 28.4
#define COPY_PACKET_BLOCKS 256  // blocks of one block-copy packet
// The three set-up instructions of a block copy: the board's addressing
// instructions that fetch each pixel's source sample into register 12 (the
// second | phase << 11, in bits 11-16). Their words do not follow the
// operand fields of the 2D programs, so they are named whole. Each takes the
// clip bit (INSTR_CLIP) on split-screen boards.
#define COPY_SETUP0 0x001126DFu
#define COPY_SETUP1 0x001C0331u
#define COPY_SETUP2 0x00132F1Fu
#define COPY_PHASE_SHIFT 11
// The block copy's last instruction: into 13; under the reduced plane mask
// into 11, then 11 AND 30 into 13 (the mask constant COPY_BLOCK_PLANE_MASK).
#define COPY_LAST_BLOCK ROP_LAST_FILL
#define COPY_LAST_BLOCK_STAGED ulInstr(0, REG_TEMP11, REG_NONE, REG_NONE, INSTR_CLIP)
#define COPY_PLANE_BLOCK ulInstr(OP_AND, REG_PIXMAP, REG_TEMP11, REG_CONST1, INSTR_CLIP)
#define COPY_BLOCK_PLANE_MASK 0x7FFFu  // register 30 of a masked block copy (stored pixels)
// The copy table's load: pixmap 13 into register 8, an 8x8 square.
#define CMD2D_TABLE_BLOCK CMD2D_PATTERN_BLOCK
#define COPY_TABLE_LOAD ulInstr(OP_COPY, REG_STAGE8, REG_PIXMAP)
static_assert(COPY_LAST_BLOCK_STAGED == 0x100002C0u && COPY_PLANE_BLOCK == 0x1016F340u &&
              COPY_TABLE_LOAD == 0x001A0208u);
#define COPY_TABLE_WORDS 16
#define COPY_TABLE_SIDE 4           // a square of 4 x 4 words
#define COPY_TABLE_ROWS 4           // rows of the pattern surface the table occupies
#define COPY_CLIP_BUFFER_BYTES 804  // the copy's clip enumeration: a count and 50 rectangles
#define COPY_CLIP_BATCH 50
#define COPY_PIECE 128                // the tile walker's pieces
#define COPY_SECOND_STAGING 0x10000u  // cbOffset of the second piece of a pair

// The copy-address table, loaded into register 8 of every rasterizer before
// block copies.
extern const ULONG aulCopyTable[COPY_TABLE_WORDS];

// A pid as copy packets carry it: format 0x4000 as its slot alone, 0x8000
// as 0x6000 | slot (the stored pixels), others unchanged.
ULONG ulCopyPid(ULONG pid);
// The block copy's phase: the low three pixel bits of dx, then of dy (both
// 28.4 source-minus-destination offsets).
inline ULONG ulCopyPhase(LONG dx, LONG dy) {
    return ((((static_cast<ULONG>(dx) & 0x70u) >> 3) | (static_cast<ULONG>(dy) & 0x70u)) >> 1);
}

// --- entry (copy.cpp) ----------------------------------------------------------------

// Device-to-device copy of *prclDst of psoDst from psoSrc at *pptlSrc under
// rop3 (descriptor flInfo). iMode: 0 one eye, 1 both eyes of a stereo pair,
// 3 the second eye only. Complex clips are enumerated in the order that
// keeps overlapping copies correct.
void vCopyDevToDev(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, RECTL* prclDst, POINTL* pptlSrc,
                   ULONG rop3, ULONG flInfo, ULONG iMode);
// The split-screen class 1..9 of a copy against the first screen's width.
// 1 and 2 stay on the board; 3 to 9 go through host memory.
LONG iClassifySplitCopy(const PDEV* ppdev, RECTL rclDst, POINTL ptSrc);
// Copies through an engine bitmap: download, then upload with the clip.
// Answers the upload's result (FALSE when the bitmap cannot be had).
BOOL bCopyThroughHost(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, RECTL* prclDst,
                      POINTL* pptlSrc);
// The direction of a copy's clip enumeration (CD_...).
ULONG iCopyDirection(const RECTL* prclDst, const POINTL* pptlSrc);

// --- tile walker (copy_tiled.cpp) ---------------------------------------------------

// vCopyRectTiled is declared in xfer.h (the overlay upload ends with it).

// Block copies need the copy-address table, which lives in the pattern
// surface; a board without room for that surface leaves copies to the host
// paths.
inline BOOL bBoardCopyAvailable(const PDEV* ppdev) { return ppdev->psoPattern != nullptr; }
// Copies the pieces of one 128x128 walker piece: cut where it crosses a
// destination tile boundary, each sub-piece lies in one source tile and one
// destination tile; handed to ulCopyPiece in stepping order with growing
// staging offsets. Non-zero when a sub-piece went through host memory.
ULONG ulCopyQuarters(PDEV* ppdev, SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclDst, POINTL* pptlSrc,
                     LONG xStep, LONG yStep, BOOL bDownload, ULONG cbOffset, ULONG rop3,
                     ULONG flInfo);
// One sub-piece (source rectangle *prclSrc to destination point *pptDst).
// Different owners: the download pass moves the source into the staging
// buffer, the upload pass moves it to the destination (combining with the
// destination under rop3); answers 1. One owner: the download pass copies
// it with vCopyBlocks; answers 0.
ULONG ulCopyPiece(PDEV* ppdev, SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclSrc, POINTL* pptDst,
                  BOOL bDownload, ULONG cbOffset, ULONG rop3, ULONG flInfo);

// --- block copies (copy_blocks.cpp) --------------------------------------------------

// Loads the copy-address table into register 8 of every rasterizer through
// the pattern surface, by the pattern load's rule (vLoadSquares): each
// rasterizer's copy at the lowest tile it owns, the second screen's
// rasterizers of a split board included, its 4 x 4 square loaded whole.
// (Loading one copy per tile column of the first tile row left rasterizers
// that own no tile there, and the second screen, without the table.)
void vLoadCopyTable(KZ2QUEUEMGT pqm, SURFOBJ* psoPattern);
// *prclDst of psoDst from psoSrc at *pptSrc as 8x8 blocks on the board
// (source and destination tiles of one owner). bMask: the reduced plane
// mask of a 16-bit screen with overlay contexts.
void vCopyBlocks(SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclDst, POINTL* pptSrc, ULONG rop3,
                 ULONG flInfo, BOOL bMask);

// --- same-position and masked copies (copy_samepos.cpp) ------------------------------

// The part of a staging surface that staged pixels may use: all of psoTmp;
// of the pattern surface the rows between the copy-address tables of the
// first tile row (rows 0-3) and the next tile row, whose lowest-tile
// squares hold other rasterizers' tables.
void vStagingArea(const PDEV* ppdev, const SURFOBJ* psoStage, RECTL* prcl);

// The board rectangle (x, y, cx, cy) of psoDst from the same board position
// of psoSrc, one rectangle primitive (one packet per eye). Answers
// kz2UpdatePacketPtr's result, 0 when the ROP program is empty.
ULONG ulCopyRectSamePos(SURFOBJ* psoDst, SURFOBJ* psoSrc, LONG x, LONG y, LONG cx, LONG cy,
                        ULONG rop3, BOOL bMask, BOOL bAllowMask, ULONG iMode);
// *prcl (surface coordinates of psoDst) from the same position of psoSrc
// under the plane mask ulMask.
void vCopyRectMasked(SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prcl, ULONG ulMask);
// The same for each rectangle the clip leaves; on stereo page
// configurations the second eye too.
void vCopyRectMaskedClipped(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, RECTL* prcl,
                            ULONG ulMask);
// A host bitmap drawn with a ROP onto *prclDst of a device surface through a
// device staging surface.
void vCopyHostViaStaging(SURFOBJ* psoDst, SURFOBJ* psoHost, RECTL* prclDst, POINTL* pptlSrc,
                         ULONG rop3, ULONG flInfo);
