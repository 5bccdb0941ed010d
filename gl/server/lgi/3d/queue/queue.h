// The packet-queue glue: how the lgi layer and the render paths reach the
// display driver's packet queues (kz2queue.h). A batch is reserved, written
// at the returned pointer (routing each primitive with the driver's copy
// operations), and closed; a finish waits until the board has drawn
// everything. The reservations keep the hardware record's queue manager
// fresh, so a context follows the device surface it draws to, and switch off
// the two optional rasterizer units for a batch whose programs do not need
// them; the closing operations switch them on again.
//
// Also the two numeric leaves every render function uses per vertex: the
// board's 16-bit depth word and the float-to-integer rounding.
#pragma once

#include <cstdint>

#include "3d/context/context.h"

struct kzProgPacket;

// The configuration bits of the optional units a reservation may switch off.
constexpr ULONG N_UNIT_A_BIT = 0x10000000u;  // unit flag A (image word 66) clear
constexpr ULONG N_UNIT_B_BIT = 0x08000000u;  // unit flag B (image word 67) clear

// The message of a reservation that follows another without an update.
#define N_PENDING_UPDATE_TEXT "_NNextQAddrFlushMC called without first updating pPkt\n"

// The queue manager of the hardware record's board, fetched afresh and
// stored in the record (null without a board).
KZ2QUEUEMGT _NRefreshQueueMgt(N_HwRecord* phw);
// The width the device's screens span: on a split board its screens side
// by side (each cxScreen wide), else the one screen. The clears and
// bitmaps hold their rectangles to it; the queues route each piece to the
// screen it lies on.
LONG _NScreensWidth(N_HwRecord* phw, LONG cxScreen);

// The most bytes one reservation may ask for (kz2MaxRoom of the board's
// queues; 0 without a board). A reservation for more is refused: it answers
// null, reports it, and leaves the queues as they are. A call with more to
// write is cut into pieces that fit, each reserved and closed on its own.
ULONG _NQueueRoomLimit(N_HwRecord* phw);

// Reserves cbRoom bytes in the current queue and answers where to write;
// new packets (bForce, or when the driver cannot go on with the open ones)
// get their prefix from pfnFill(a, packet, b, c). The units whose flag the
// program's image leaves clear are switched off until the next update.
ULONG* _NNextQAddrFlushMC(N_HwRecord* phw, const kzProgPacket* pImage, ULONG cbRoom, PVOID a, PVOID b,
                          PVOID c, ULONG bForce, PFN_KZ2FILL pfnFill);
// Reserves cbRoom bytes in a fresh packet whose prefix the caller writes;
// the units are switched off unless both programs of slots 0 and 1 need
// them. Stores 400 in *pBatch (the batch word). a goes to the driver, which
// ignores it.
ULONG* _NNextQAddrMC(N_HwRecord* phw, ULONG a, ULONG* pBatch, ULONG cbRoom);
// Closes the batch and lets the driver hand it to the board.
void _NUpdateQAddr(N_HwRecord* phw);
// Closes the batch without handing it over (the two further arguments of
// some callers are ignored).
void _NSoftUpdateQAddr(N_HwRecord* phw, ULONG ulUnused = 0, ULONG* pUnused = nullptr);
// Flushes the queues and waits until the board has drawn them (the layer's
// finish); *ppReset gets the stream end and *pRoom the room word (either
// may be null).
void _NFlushQ(N_HwRecord* phw, ULONG** ppReset, ULONG* pRoom);
// Whether n more primitives force new packets: the batch word (0 read as
// 400, and stored so) plus n exceeds the 400-primitive batch.
ULONG _NBatchForce(ULONG* pBatch, ULONG n);

// The process-wide pending-update flag: set by each reservation, cleared by
// each update.
extern ULONG gNPendingUpdate;

// --- the window pixels of the triangles handed to the queues -----------------------------
// Every filled triangle the render functions route counts the pixels the
// board may fill for it: its area, at most its bounding box held to the
// window's size, in whole pixels (polygons, quads and strips count their
// triangles). gNTrianglePixels counts them since the layer started (the
// GL layer charges a display list's to its request's list work, through
// N_TrianglePixels); gNQueuedPixels since the queues were last handed to
// the board. Render functions close their batches without handing them
// over, so the board would draw what one request queued at someone's later
// flush, for as long as a ring of window-sized triangles takes: a soft
// close with N_QUEUED_PIXELS_MAX or more of them queued hands the whole
// stream to the board (kz2FlushPacket), open packets ended.
extern std::uint64_t gNTrianglePixels;
extern std::uint64_t gNQueuedPixels;
constexpr std::uint64_t N_QUEUED_PIXELS_MAX = std::uint64_t{1} << 20;
// The window's size in sixteenths of a pixel (the bounding box of the
// bound clip list; the whole 12.4 range without a rectangle).
struct N_PixelBound {
    std::uint64_t cx16 = 0x10000;
    std::uint64_t cy16 = 0x10000;
};
N_PixelBound _NWindowBound(const N_Context* pctx);
// Counts a triangle of packed positions a, b, c (y in the high half, x in
// the low half, both in sixteenths).
void _NCountTriangle(const N_PixelBound& bound, ULONG a, ULONG b, ULONG c);

// The fill callback of the vertex render functions: copies the packet image
// pvImage (a kzProgPacket) to the packet start and answers the prefix size
// in bytes. pvHw and pvBatch are the caller's hardware record and batch
// word, unused here.
ULONG _NCopyPktHeader(PVOID pvHw, ULONG* pPacket, PVOID pvImage, PVOID pvBatch);

// --- numbers in the board's forms ----------------------------------------------------------
// The 16-bit floating form of a depth value's bits 0-19: bit 15 set, bits
// 12-14 the count of leading one bits from bit 19 down (at most 7), bits
// 0-11 the mantissa that follows them.
ULONG _NPackHwFloat16(ULONG v);
// The board's 16-bit depth word of a 24-bit depth: z >> 9 below 0xF00000,
// else the floating form; it rises with z.
inline ULONG _NDepthWord16(ULONG z) { return (z & 0xF00000u) == 0xF00000u ? _NPackHwFloat16(z) : (z >> 9); }
// Rounds to the nearest integer, halves to even, whatever the floating-point
// unit's mode; NaN and values outside the 32-bit range give 0x80000000.
LONG _NRoundToInt(float x);
