// The packet queues of the display driver and the queue API that the GL
// server links against.
//
// One queue (`KZ2QUEUE`) per rasterizer holds a ring in the DMA buffer; the
// board's DMA engine reads each ring up to the write-pointer register. Record
// 0 of the queue array doubles as the queue manager (`KZ2QUEUEMGT`), the first
// argument of every call. The render paths of the GL server read and write the
// fields of these records directly between calls (write pointer, mark,
// primitive count, tile map), so the fields keep their names, order and
// meaning; pointers are 64 bits wide here, so offsets differ from the
// original 32-bit record, whose offsets are noted per field.
//
// Concurrency: the queues have no lock. Every caller is already serialised
// (escapes, GL work and 2D entry points run under the device's csEscape). The
// driver's flush thread is kept out by a handshake on `fIdle`/`fAutoFlush` of
// record 0: a call that holds the thread stores 0 in `fAutoFlush` and waits
// for `fIdle`; a releasing call stores 1 again.
//
// Waits for the board (sync words, busy bit, read pointer, vertical retrace)
// are bounded: a board that does not answer in time is reported on the
// debugger ("<function>: the board did not answer (<wait>)") and the queue is
// restarted at its ring start, so it stays usable.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/ddi.h"
#include "platform/export.h"
#include "platform/kernel.h"

struct PDEV;

// Stream words outside packets.
#define KZ2_CMD_EMPTY 1u      // command word of an empty packet
#define KZ2_CMD_CLOSE 7u      // queue close record (a transfer that clears the sync word)
#define KZ2_CMD_SYNC 8u
#define KZ2_CMD_END 10u
#define KZ2_CMD_NOP 11u
// The three words written after every END (never executed).
#define KZ2_FILL_MARK0 0xFEEDBEEFu
#define KZ2_FILL_MARK1 0xCAFEF00Du
#define KZ2_FILL_MARK2 0xDEAFDEADu

// Command-word fields of a packet (a render program's header word).
#define KZ2_PKT_CLIP 0x00000020u              // bit 5: a clip pair follows the instructions
#define KZ2_PKT_INSTR_COUNT(cmd) (((cmd) >> 20) & 0x1Fu)
#define KZ2_PKT_PID_COUNT(cmd) (((cmd) >> 25) & 0x7u)

// Rasterizer units that kz2ConfigDisable may switch off.
#define KZ2_CONFIG_UNITS 0x18000000u

// Control word bits of the second screen's queues on a split board.
#define KZ2_SCREEN_BITS_SECOND 0x70000u

// Packed vertex words: (y << 16) | x, both in 28.4 fixed point.
#define KZ2_TILE_MASK 0x07FF07FFu             // bits inside one 128x128 tile
#define KZ2_TILE_OF(w) ((((w) & 0x18000000u) >> 25) | (((w) & 0x1800u) >> 11))

// How a device's queues are laid out; one per device, shared by every queue.
typedef struct QUEUELAYOUT {
    struct PDEV* ppdevSelf;
    ULONG cRasterizers;      // rasterizers of the miniport's queue set-up reply
    ULONG cQueues;           // one queue per rasterizer
    ULONG bSplitScreen;      // two boards drive two screens side by side
    ULONG cScreens;          // 1 or 2
    ULONG cQueuesPerScreen;
} QUEUELAYOUT;

typedef struct KZ2QUEUE {
    std::atomic<ULONG> fIdle;       // +0x00 mgr: 1 while the flush thread is outside its flush step
    std::atomic<ULONG> fAutoFlush;  // +0x04 mgr: 1 = the flush thread may flush
    ULONG* pStreamEnd;     // +0x08 end of the completed words = header of the open packet
    ULONG* pKicked;        // +0x0c the board was told to read up to here (128-byte aligned)
    ULONG fHwEnabled;      // +0x10 kicks write the write-pointer register only when set
    ULONG ulRestart;       // +0x14 restart word: 1 from a queue close record to the restart
    ULONG aulReserved18[2];
    struct KZ2QUEUE* pSelf;  // +0x20
    ULONG ulReserved24;
    ULONG cbRing;          // +0x28 bytes of this queue's ring
    ULONG* pRingLimit;     // +0x2c ring start + cbRing - 600
    ULONG* pRingStart;     // +0x30 CPU address of the ring
    ULONG ulRingBus;       // +0x34 bus address of the ring start
    QUEUELAYOUT* pLayout;  // +0x38 the device's queue layout
    HANDLE hDriver;        // +0x3c miniport handle
    BYTE* pRegs;           // +0x40 register window of this rasterizer (platform/mmio.h)
    ULONG fFresh;          // +0x44 mgr: the next kz2AllocFlushQueue opens new packets
    ULONG* pWrite;         // +0x48 write pointer into the open packet
    ULONG* pPacket;        // +0x4c header of the open packet; after a queue close record the
                           //       stream end (not the record: a close there would write its
                           //       count over the record's sync word)
    ULONG cbPrefix;        // +0x50 bytes the fill callback wrote at the packet start
    ULONG cPrims;          // +0x54 primitives routed into the open packet
    UCHAR abTileQueue[16];   // +0x58 mgr: queue owning tile t = ((y>>7)&3)*4 + ((x>>7)&3)
    ULONG axTileOrigin[16];  // +0x68 mgr: per queue, x origin of its lowest tile
    ULONG ayTileOrigin[16];  // +0xa8 mgr: per queue, y origin of its lowest tile
    ULONG* pMark;          // +0xe8 start of the words written since the last routing step
    struct KZ2QUEUE* pqCurrent;  // +0xec mgr: the queue the caller writes into
    ULONG ulScreenBits;    // +0xf0 0, or KZ2_SCREEN_BITS_SECOND for second-screen queues
    ULONG ulExtraBits;     // +0xf4 ORed into the control word with ulScreenBits
    ULONG aulReservedF8[2];
    ULONG* pSyncWord;      // +0x100 word the board clears at a sync; 0 when none is pending
    ULONG fDisabled;       // +0x104 mgr: unit bits switched off by kz2ConfigDisable
    ULONG fReenable;       // +0x108 mgr: unit bits to switch on at the next render wait
    ULONG flRestart;       // +0x10c bit 0: wrapped by the room check, to be render-waited
} KZ2QUEUE;

typedef KZ2QUEUE* KZ2QUEUEMGT;

// Bytes every room request is raised by (the room check asks for them on
// top of what the caller will write).
#define KZ2_PACKET_SLACK 128u

// The most bytes one reservation (kz2AllocQueue, kz2AllocFlushQueue) can be
// granted: a ring's room before its limit (all rings are the same size),
// less the slack. A request for more could only be met by writing past the
// ring's end into the next rasterizer's ring; it is refused. A caller with
// more to write cuts it into pieces of at most this many bytes, each
// reserved and closed on its own.
inline ULONG kz2MaxRoom(const KZ2QUEUE* qm) {
    if (qm == nullptr || qm->pRingLimit == nullptr || qm->pRingStart == nullptr) return 0;
    const std::ptrdiff_t cb =
        reinterpret_cast<const BYTE*>(qm->pRingLimit) - reinterpret_cast<const BYTE*>(qm->pRingStart);
    return cb > static_cast<std::ptrdiff_t>(KZ2_PACKET_SLACK) ? static_cast<ULONG>(cb - KZ2_PACKET_SLACK) : 0;
}

// Writes the prefix of a packet opened by kz2AllocFlushQueue at pPacket and
// answers its size in bytes.
typedef ULONG (*PFN_KZ2FILL)(PVOID pvArg1, ULONG* pPacket, PVOID pvArg2, PVOID pvArg3);

extern "C" {

// The queue manager of the device a surface object or device surface belongs
// to (both keep their device pointer at byte 8).
VNX_EXPORT KZ2QUEUEMGT kz2GetQueueMgt(const void* psoOrDsurf, ULONG ulBlockMask);
// Mask of all rasterizers (0xFFFF).
VNX_EXPORT ULONG kz2GetBlockEnable(ULONG a, ULONG b, ULONG c, ULONG d);

// Open a packet in every queue with room for nPrims primitives; holds the
// flush thread off. Answers the current queue's write pointer.
VNX_EXPORT ULONG* kz2NewPacketQueue(KZ2QUEUEMGT qm, PVOID pvOwner, ULONG nPrims);
// A request for more than kz2MaxRoom answers null with nothing written
// (kz2AllocQueue and kz2AllocFlushQueue alike).
VNX_EXPORT ULONG* kz2AllocQueue(KZ2QUEUEMGT qm, ULONG ulMask, ULONG cbRoom, ULONG ulArg4,
                                ULONG ulArg5);
// Opens new packets (pfnFill writes each prefix) when the room check
// flushed the queues, when bForce, when fFresh, or when any queue cannot go
// on with its last packet; otherwise every queue continues its last packet
// (pWrite = pStreamEnd, its count kept). A queue cannot go on when nothing
// was written since its last kick (pStreamEnd = pKicked), and also, beyond
// that rule, when the kick reached into the packet (pPacket below pKicked:
// the board may have read its count, so more primitives would be lost) or
// when no packet is open (pPacket at the stream end: after a close record,
// a restart or the kick's padding). Clears fFresh.
VNX_EXPORT ULONG* kz2AllocFlushQueue(KZ2QUEUEMGT qm, ULONG ulMask, ULONG cbRoom, PVOID pvArg1,
                                     PVOID pvArg2, PVOID pvArg3, BOOL bForce,
                                     PFN_KZ2FILL pfnFill);
// Close the open packets; the soft form does not hand them to the board.
VNX_EXPORT ULONG kz2SoftUpdatePacketPtr(KZ2QUEUEMGT qm, ULONG* pEnd);
VNX_EXPORT ULONG kz2UpdatePacketPtr(KZ2QUEUEMGT qm, PVOID pvOwner, ULONG* pEnd, ULONG ulArg4);
VNX_EXPORT void kz2FlushPacket(KZ2QUEUEMGT qm);
VNX_EXPORT void kz2FlushQueue(KZ2QUEUEMGT qm, ULONG ulMask, ULONG** ppReset, ULONG* pRoom);
VNX_EXPORT void kz2ConfigDisable(KZ2QUEUEMGT qm, ULONG flBits);
VNX_EXPORT void kz2ConfigEnable(KZ2QUEUEMGT qm);

// Routing of the words written since the current queue's mark.
VNX_EXPORT void kz2CopyPrimN(KZ2QUEUEMGT qm, ULONG* pEnd, KZ2QUEUE* pqDst);
VNX_EXPORT KZ2QUEUE* kz2CopyPrim(KZ2QUEUEMGT qm, ULONG* pEnd);
VNX_EXPORT ULONG* kz2CopyPrimAndUpdate(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xy);
VNX_EXPORT ULONG* kz2CopyPrimMulScreen(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xy, BOOL bRoute);
VNX_EXPORT ULONG* kz2CopyPrimOpt(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xy0, ULONG xy1, ULONG xy2);
VNX_EXPORT ULONG* kz2CopyPrimStripOpt(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xy0, ULONG xy1,
                                      ULONG xy2, ULONG* pState, BOOL bFlag);
VNX_EXPORT void kz2WriteRectNoPrimData(KZ2QUEUEMGT qm, ULONG* pEnd, LONG x0, LONG y0, LONG x1,
                                       LONG y1);

// Hand-over to the board and waits.
VNX_EXPORT void kz2FlushStreamNoWait(KZ2QUEUEMGT qm, ULONG* pEnd);
VNX_EXPORT void kz2FlushStreamNoWaitReally(KZ2QUEUE* q, ULONG* pEnd);
VNX_EXPORT void kz2FlushStreamRenderWait(KZ2QUEUEMGT qm, ULONG* pEnd);
VNX_EXPORT void kz2FlushStreamRenderWaitReally(KZ2QUEUE* q, ULONG* pEnd);
// Makes cb bytes (at least 384) of room in every queue; 1 when queues were
// handed over or restarted, 0 when all had room.
VNX_EXPORT ULONG kz2FlushStreamRenderWaitRoom(KZ2QUEUEMGT qm, ULONG cb);
// Poll n (from 0) of a busy wait named by pszTag: yields now and then once
// the wait has lasted 50 ms. Always 1.
VNX_EXPORT ULONG kz2PollWait(KZ2QUEUE* q, ULONG n, const char* pszTag);
VNX_EXPORT void kz2VBLANKWait(KZ2QUEUEMGT qm);

// Writes the host image psoSrc from *pptlSrc zoomed into *prclDst of the
// device surface psoDst, only inside the clip box [xClipMin, xClipMax) x
// [yClipMin, yClipMax) (surface coordinates): each source pixel is written
// z0 times (z1 for rows) plus once whenever a 16.16 accumulator growing by
// z2 (z3) carries; 32-bit sources are converted to the surface's depth.
// Flushes the queues; answers 1, or 0 when the surfaces or rectangle cannot
// be used (nothing is written then).
VNX_EXPORT ULONG kz2WriteRectZoom(SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclDst,
                                  POINTL* pptlSrc, ULONG z0, ULONG z1, ULONG z2, ULONG z3,
                                  LONG xClipMin, LONG yClipMin, LONG xClipMax, LONG yClipMax);

}  // extern "C"
