// Board-memory surfaces of the display driver, as the GL server sees them:
// the pixmap id (`pid`) that names a surface in packets, the device-surface
// record `DSURF` and the board-memory allocation record `DFB`, and the
// exported surface makers the GL server calls to put its own buffers,
// textures and tiles into board memory.
//
// Board memory is reached through 32 page slots per rasterizer. A surface
// lives in one of 31 two-dimensional address spaces (page blocks, ids
// 0..30); the low five bits of its pid name that space, and the board maps
// each page of the space that holds pixels to a physical page through the
// slot registers.
//
// DSURF and DFB live in one process and hold pointers: they keep their field
// names and order, and are wider than the original 32-bit records. The
// device pointer of a DSURF sits at byte 8, where a SURFOBJ keeps it too, so
// that kz2GetQueueMgt finds the device from either record.
#pragma once

#include <cstddef>

#include "platform/ddi.h"
#include "platform/export.h"
#include "platform/kernel.h"

struct PDEV;
struct PAGEBLOCK;  // a page block of the driver's allocator (opaque here)

// --- pid: 16-bit pixmap id ---------------------------------------------------
#define PID_SLOT_MASK 0x001Fu    // bits 0-4: page block (address space) of the surface
#define PID_MARKER 0x0020u       // bit 5: tiles and bitmaps of flag class 0x80
#define PID_TILE 0x0040u         // bit 6: a square tile made by CreateIGBETile
#define PID_TILE_SIZE_SHIFT 7    // bits 7-8: 0 = 32, 1 = 64, 2 = 128, 3 = 256 pixels
#define PID_TILE_COLUMN_SHIFT 9  // bits 9-10: (tile x / size) & 3
#define PID_TILE_ROW_SHIFT 11    // bits 11-12: (tile y / size) & 3
#define PID_FORMAT_MASK 0xE000u  // bits 13-15: pixel format
#define PID_FORMAT_SHIFT 13

// Pixel formats (bits 13-15, shown in place).
#define PID_FORMAT_8_INDEXED 0x0000u   // 8 bpp, colour model 1
#define PID_FORMAT_8 0x4000u           // 8 bpp
#define PID_FORMAT_16_INDEXED 0x6000u  // 16 bpp, colour model 1
#define PID_FORMAT_16 0x8000u          // 16 bpp
#define PID_FORMAT_32 0xA000u          // 32 bpp
#define PID_FORMAT_OVERLAY 0xC000u     // the overlay plane of a 32-bpp surface

#define PID_SLOT(pid) ((pid) & PID_SLOT_MASK)
#define PID_FORMAT(pid) (((pid) & PID_FORMAT_MASK) >> PID_FORMAT_SHIFT)
#define PID_TILE_SIZE_CODE(pid) (((pid) >> PID_TILE_SIZE_SHIFT) & 3u)
#define PID_TILE_COLUMN(pid) (((pid) >> PID_TILE_COLUMN_SHIFT) & 3u)
#define PID_TILE_ROW(pid) (((pid) >> PID_TILE_ROW_SHIFT) & 3u)

// --- allocation flags (`fl` of the makers) -------------------------------------
#define DFB_FL_PLACED 0x0020u      // place at *pptlPos
#define DFB_FL_LOW_BLOCKS 0x0040u  // a new page block is searched from block 0 (else from 4)
#define DFB_FL_CLASS80 0x0080u     // flag class 0x80: own page blocks, pid bit 5
#define DFB_FL_BACK_ALIAS 0x0100u  // an alias inside the back buffer
#define DFB_FL_TILE 0x00AFu        // what the tile allocator adds
#define DFB_FL_CLASS_MASK 0x000Fu  // the flag class a page slot records

// --- DFB.fl: low byte the caller's flags, second byte the allocator's state ---
#define DFB_FL_CALLER 0x00FFu
#define DFB_STATE_SPLIT 0x0100u      // a split node of the free-space tree
#define DFB_STATE_ALLOCATED 0x0200u  // an allocation (a leaf in use)

// The board-memory allocation of one surface (LocalAlloc). Allocations are
// the leaves of their page block's free-space tree: free space is kept in
// the same records, split in two (the child links) around each allocation
// and merged back when both halves are free again.
typedef struct DFB {
    FLONG fl;               // DFB_FL_CALLER | DFB_STATE_...
    struct PAGEBLOCK* ppb;  // the page block; null for an alias (no allocation)
    ULONG pid;              // the surface's 16-bit pid (slot bits from the page block)
    LONG x;                 // origin in the page block's space, pixels
    LONG y;
    LONG cx;                // the size asked for (the surface's size)
    LONG cy;
    struct DFB* pdfbChild1;  // halves of a split node: left or top
    struct DFB* pdfbChild2;  //                         right or bottom
    struct DSURF* pdsurf;    // owning device surface
    HSURF hsurf;             // the surface's engine handle
    // The allocator's own: the tree node behind the record.
    struct DFB* pdfbParent;  // null for a page block's root
    LONG cxNode;             // the node's size: cx, cy plus at most 8 pixels right
    LONG cyNode;             // and below that were too small to split off
} DFB;

#define DSURF_SIGNATURE 0x46525344u  // "DSRF"
#define DSURF_PRIMARY 0xFFu          // jPrimary of the primary surface

// The driver's record of a surface in board memory: the `dhsurf` the engine
// holds for a device bitmap, and the primary's record (LocalAlloc).
typedef struct DSURF {
    ULONG ulSignature;   // DSURF_SIGNATURE
    BYTE jPrimary;       // DSURF_PRIMARY for the primary, else 0
    BYTE ajReserved[3];  // 0
    struct PDEV* ppdev;  // the owning device (byte 8, as SURFOBJ.dhpdev)
    LONG cx;
    LONG cy;
    BYTE* pjRegs;        // register window (primary only)
    DFB* pdfb;           // the board-memory allocation
    DFB* pdfb2;          // a second allocation record (null)
} DSURF;
static_assert(offsetof(DSURF, ppdev) == 8, "the device pointer sits at byte 8");
static_assert(offsetof(DSURF, ppdev) == offsetof(SURFOBJ, dhpdev),
              "DSURF and SURFOBJ keep the device pointer at one place");

extern "C" {

// A surface of cx x cy pixels in board memory. iFormat: BMF_8BPP, BMF_16BPP
// or BMF_32BPP. fl: DFB_FL_... (DFB_FL_PLACED and an alias need pptlPos).
// Answers the surface's handle (its dhsurf the DSURF), or 0 after undoing
// what it made.
VNX_EXPORT HSURF CreateDeviceBitmap(struct PDEV* ppdev, LONG cx, LONG cy, ULONG iFormat,
                                    POINTL* pptlPos, FLONG fl);
// A size x size square tile (32, 64, 128 or 256 carry the tile fields in
// their pid) of the pixel format pidFormat (PID_FORMAT_...). Answers the
// surface's handle or 0.
VNX_EXPORT HSURF CreateIGBETile(struct PDEV* ppdev, LONG size, ULONG pidFormat, FLONG fl);
// Replaces everything but the slot bits of the surface's pid.
VNX_EXPORT void DfbAssignFormat(DSURF* pdsurf, ULONG pidFormat);
// Deletes a surface CreateDeviceBitmap or CreateIGBETile made: the engine's
// surface, its board memory and the driver's record (EngDeleteSurface alone
// would leave the last two taken). A surface the driver did not make is only
// deleted. The caller has unlocked it. Takes the device's csEscape
// (re-entrant).
VNX_EXPORT void DeleteDeviceBitmap(HSURF hsurf);
// Writes the 8x8 dither matrix of the 3D side into the device's dither tile
// (a copy for every rasterizer). Nothing happens while the device has no
// dither tile.
VNX_EXPORT void LoadDitherMat(struct PDEV* ppdev);

// Copies *prclDst of psoDst from psoSrc at *pptlSrc, each value through
// pxlo, under the clip: uploads from host bitmaps (1-bit ones expanded with
// the translation's two colours), downloads into host bitmaps, copies on the
// board. iMode 0 one plain transfer, 1 both halves of a stereo buffer set
// (uploads and downloads also through the stereo image cache), 3 the second
// half only. Takes the device's csEscape (re-entrant). FALSE when a copy the
// hardware cannot make directly fails through the engine.
VNX_EXPORT BOOL CopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                         RECTL* prclDst, POINTL* pptlSrc, ULONG iMode);
// CopyBits with iMode 1 when the device's page configuration is stereo, else
// 0; the device is the source's when it lies in board memory, else the
// destination's. Also entry 19 of the driver-function table.
VNX_EXPORT BOOL DrvCopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            RECTL* prclDst, POINTL* pptlSrc);

}  // extern "C"
