// Board memory: the page table (32 page slots per screen and their
// registers), the page blocks with their free-space trees, the allocators
// that place surfaces in them, and the mapping of the primary, back and
// depth buffers onto pages.
//
// The choices this driver makes where the board leaves them open are all
// here, next to each other:
// - The general and tile allocators put a surface where it needs the fewest
//   pages that hold no slot yet (then by the smallest margin), trying the
//   pages already mapped before a leaf's corner: tiles fill a page along its
//   rows as well as down its columns before another page is taken.
// - A DFB's cx and cy hold the size asked for; the node behind it may be up
//   to 8 pixels wider and taller (cxNode, cyNode). Page slots are given to
//   the pages the asked-for rectangle covers.
// - TrimapBitmaps starts with the toggle bit clear (TRIMAP_TOGGLE_START); its
//   depth search starts at the slot of the wanted parity and steps by 2; its
//   primary search starts at the slot of the wanted parity and steps by 4,
//   then goes on from two slots further, again by 4, so that every slot of
//   that parity is looked at.
// - When all 32 slots are taken, an allocation fails cleanly: it is released
//   and the slots it was given are freed again. TrimapBitmaps never leaves a
//   page without a slot while a free slot exists.
#pragma once

#include <atomic>

#include "platform/ddi.h"
#include "platform/kernel.h"
#include "vornix_surface.h"

struct PDEV;

#define PAGE_SLOTS 32           // physical pages (slots) per rasterizer
#define PAGE_BLOCKS 31          // address spaces 0..30; space 31 means "no space"
#define PAGE_TABLES 2           // one slot table per screen (two on a split board)
#define BLOCK_EXTENT 2047       // a page block's space: 2047 x 2047 pixels (at most 16 x 16 pages)
#define BLOCK_FIRST_GENERAL 4   // new blocks of allocations without DFB_FL_LOW_BLOCKS start here
#define SPLIT_SLACK 8           // margins right and below up to this stay in the allocation
#define SLOT_BANKS 3            // slots are searched in three interleaved banks
#define TRIMAP_TOGGLE_START 0u  // TrimapBitmaps' toggle bit at its start

// The hooks of every board-memory surface: BitBlt, StretchBlt, TextOut,
// Paint, StrokePath, FillPath, StrokeAndFillPath and CopyBits.
#define FL_SURFACE_HOOKS                                                                           \
    (HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_PAINT | HOOK_STROKEPATH | HOOK_FILLPATH | \
     HOOK_STROKEANDFILLPATH | HOOK_COPYBITS)
static_assert(FL_SURFACE_HOOKS == 0x4FB, "board-memory surfaces hook 0x4FB");

// One page slot (one physical page of every rasterizer of a screen).
typedef struct PAGESLOT {
    ULONG flClass;          // highest flag class (fl & 0xF) of the allocations on the page
    ULONG cPixels;          // pixel area of the allocations on the page
    struct PAGEBLOCK* ppb;  // the page block whose page it holds; null = free
    LONG x;                 // origin of that page in the block's space, pixels
    LONG y;
} PAGESLOT;

// One address space: one pixel format and one flag class.
typedef struct PAGEBLOCK {
    ULONG id;       // 0..30: the slot bits of the pids of its surfaces
    ULONG fInUse;   // the block holds allocations
    ULONG iFormat;  // BMF_8BPP, BMF_16BPP or BMF_32BPP
    FLONG flClass;  // DFB_FL_CLASS80 or 0
    DFB* pdfbRoot;  // the free-space tree over the whole space
} PAGEBLOCK;

// The process-wide start bank of the slot search (0, 1, 2), shared by every
// device.
extern std::atomic<ULONG> gulSlotBank;

// --- page table (pagetable.cpp) -------------------------------------------------

// Reads the memory class and page multipliers from rasterizer 0, clears the
// page blocks, frees all 32 slots (each with a drain of the queues and a
// register write) and empties the allocation lists. Answers TRUE.
BOOL bInitPageTable(PDEV* ppdev);
// Writes every slot register again from the tables (after a mode switch),
// without draining.
void vRestorePageTable(PDEV* ppdev);
// Frees the allocation lists (surface disable). Allocations that device
// surfaces still hold lose their board memory and become aliases, which
// their surfaces free when deleted.
void vFreePageTable(PDEV* ppdev);
// Points slot s at the page of ppb at (x, y), or frees it (ppb null): both
// tables, the free count, a drain of the queues, then the slot register of
// every rasterizer.
void vSetSlot(PDEV* ppdev, ULONG iSlot, PAGEBLOCK* ppb, LONG x, LONG y);
// The slot register value of a table entry.
ULONG ulSlotRegister(const PAGESLOT* pslot);
// Page width and height in pixels of a format's pages, multipliers included.
void vPageSize(const PDEV* ppdev, ULONG iFormat, LONG* pcx, LONG* pcy);
// The slot holding page (x, y) of ppb, or -1.
LONG iFindSlot(const PDEV* ppdev, const PAGEBLOCK* ppb, LONG x, LONG y);
// Pages of ppb covered by the rectangle (x, y, cx, cy) that hold no slot.
ULONG cPagesWithoutSlot(const PDEV* ppdev, const PAGEBLOCK* ppb, LONG x, LONG y, LONG cx, LONG cy);
// A free slot by the bank search, or -1.
LONG iFindFreeSlot(PDEV* ppdev);
// Gives a slot to every page the allocation covers (reclaiming slots without
// allocations when too few are free). FALSE when the slots ran out; the
// caller then releases the allocation.
BOOL bPagesForAllocation(PDEV* ppdev, DFB* pdfb);
// Recomputes every slot's flag class and used area from the allocations.
void vRecountSlots(PDEV* ppdev);
// Frees every assigned slot that holds no allocation.
void vFreeUnusedSlots(PDEV* ppdev);

// --- allocators (heap.cpp) --------------------------------------------------------

// cx x cy pixels exactly at *pptl; null when it does not fit or no slot is
// left.
DFB* pdfbAllocPlaced(PDEV* ppdev, LONG cx, LONG cy, ULONG iFormat, const POINTL* pptl, FLONG fl);
// cx x cy pixels anywhere.
DFB* pdfbAllocGeneral(PDEV* ppdev, LONG cx, LONG cy, ULONG iFormat, FLONG fl);
// A size x size square at a multiple of size.
DFB* pdfbAllocTile(PDEV* ppdev, LONG size, ULONG iFormat, FLONG fl);
// An alias record of the back buffer at (x, y), cx x cy; no board memory.
DFB* pdfbAllocAlias(PDEV* ppdev, LONG x, LONG y, LONG cx, LONG cy, FLONG fl);
// Releases an allocation (an alias record is just freed): its node is free
// again and merged with free neighbours; an empty page block is released and
// then every slot without allocations is freed.
void vReleaseDfb(PDEV* ppdev, DFB* pdfb);
// Calls fn for every allocation of a page block.
void vForEachAllocation(PAGEBLOCK* ppb, void (*fn)(DFB* pdfb, void* pv), void* pv);

// --- device bitmaps (devbitmap.cpp) ----------------------------------------------

// Deletes a surface made by CreateDeviceBitmap or CreateIGBETile: the engine
// surface, the allocation, the DSURF. The caller holds csEscape or is the
// surface life cycle.
void vDeleteDeviceBitmap(DSURF* pdsurf);

// --- primary, back and depth buffers (trimap.cpp) ---------------------------------

// Maps the pages of the primary, back and depth buffers so that the swap can
// exchange front and back pages. Answers FALSE (with a message) when the
// back buffer does not match the primary or a page was left without a slot.
BOOL TrimapBitmaps(PDEV* ppdev, DSURF* pdsurfPrimary, DSURF* pdsurfBack, DSURF* pdsurfDepth);
