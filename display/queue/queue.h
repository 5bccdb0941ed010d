// The packet queues inside the driver: set-up and release for the surface
// life cycle, the sync packet, the sync wait and the close-all step for the
// 2D engine, the flush thread, and the pieces the queue files share.
//
// Stream layout of one queue (a ring in the DMA buffer): completed packets
// from the ring start to pStreamEnd, then the open packet (while an operation
// holds the flush thread), then an empty packet {1, 0, END, fill marks} that
// ends what the board may read. The board reads up to pKicked, always the
// start of a 128-byte line. A render wait ends the stream with a queue close
// record whose sync word the board clears, waits for the board, and starts
// the ring again from its start.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "kz2queue.h"
#include "pdev.h"
#include "platform/mmio.h"

// --- layout constants --------------------------------------------------------
#define KZ2_STAGING_BYTES \
    16384u  // start of the DMA buffer, before the rings: the host transfers' bounce buffer
#define KZ2_RING_RESERVE 600u       // bytes kept free at the end of a ring (pRingLimit)
#define KZ2_LINE_BYTES 128u         // the board reads whole lines
#define KZ2_KICK_BYTES 512u         // a kick waits for more than this many new bytes
#define KZ2_HANDOVER_NOPS 64u       // NOP words before the empty packet of a hand-over
#define KZ2_MIN_ROOM 384u           // the least room a room check asks for
#define KZ2_NEAR_ROOM_BYTES 20480u  // room limit while units wait to be switched on again
#define KZ2_CLOSE_DESCRIPTOR 384u   // row descriptor of a close record: clear 4 bytes
#define KZ2_FLUSH_PERIOD_MS 99u     // the flush thread's pause between passes
#define KZ2_PACKET_ROOM 64u         // bytes a primitive of kz2NewPacketQueue may take
#define KZ2_RESET_ROOM 1023u        // room kz2FlushQueue reports
#define KZ2_ALL_BLOCKS 0xFFFFu      // kz2GetBlockEnable: every rasterizer
#define KZ2_WAIT_LIMIT_MS 2000u     // how long a wait polls a board that does not answer

// --- set-up and release (surface enable and disable) -------------------------

// Builds one queue per rasterizer from the miniport's DMA description (the
// register windows must be mapped: bSetMode), sets pqm and the layout, and
// has the flush thread follow the device. FALSE (and nothing kept) when the
// miniport refuses, its description cannot hold the queues, or memory or the
// thread cannot be had.
BOOL bInitQueues(PDEV* ppdev);
// Bytes of each queue's ring in the miniport's DMA buffer: an equal share of
// what follows the staging area, rounded down to whole 128-byte lines so
// that every ring starts on a line. 0 when the description cannot hold the
// queues (no or too many rasterizers, a buffer whose CPU or bus address is
// off a line, rings below the smallest useful size).
ULONG cbQueueRing(const VNX_DMA_DESCRIPTION& d);
// Drains the queues, stops the flush thread following the device (the thread
// ends with the last device), hands the DMA buffer back and frees the
// records; pqm = 0. Nothing happens when the device has no queues.
void vReleaseQueues(PDEV* ppdev);

// --- for the 2D engine ----------------------------------------------------------

// Opens a packet in every queue and puts a sync packet {1, 0, SYNC} there,
// handed to the board at once. Leaves the flush thread held.
void KZ2WriteSyncCmd(KZ2QUEUEMGT qm);
// The sync wait: waits for every pending sync word, ends every stream with a
// close record, waits until the board has rendered everything and starts
// every ring again.
void kz2SyncDMA(KZ2QUEUEMGT qm);
// The close-all step: ends every queue that holds words with a close record
// and hands it to the board, without waiting. Holds the flush thread off and
// leaves it held (like the other calls that close streams) until the next
// releasing call, e.g. kz2SyncDMA.
void vCloseAllQueuePackets(KZ2QUEUEMGT qm);

// The one-primitive packet of the 2D fast paths, in two steps around the
// caller's writing of the same cWords words (the packet's body: pid words,
// instructions, clip pair, constants, then the primitive) at
// qm[i].pStreamEnd + 2 of every queue i. Together they leave the queues as
// kz2NewPacketQueue(qm, owner, 1), those words written and routed as a
// fill's first rectangle at vFirst (pRoutePrimitive), the command word
// stored and kz2UpdatePacketPtr would.
// bOpenOnePrimitive holds the flush thread off and answers FALSE, with
// nothing written, when the room check would have work to do (units wait
// to be switched on again, a queue is closed for a wait or short of room)
// or the body is longer than a primitive's room: the caller takes its
// general path then (the flush thread stays held, as the general path
// holds it anyway).
BOOL bOpenOnePrimitive(KZ2QUEUEMGT qm, ULONG cWords);
void vCloseOnePrimitive(KZ2QUEUEMGT qm, ULONG ulCommand, ULONG cWords, ULONG vFirst);
template <typename Write>
inline BOOL bQueueOnePrimitive(KZ2QUEUEMGT qm, ULONG ulCommand, ULONG cWords, ULONG vFirst,
                               Write write) {
    if (!bOpenOnePrimitive(qm, cWords)) return FALSE;
    const ULONG cQueues = qm->pLayout->cQueues;
    for (ULONG i = 0; i < cQueues; ++i) write(qm[i].pStreamEnd + 2);
    vCloseOnePrimitive(qm, ulCommand, cWords, vFirst);
    return TRUE;
}

// --- the flush thread (queue_thread.cpp) -------------------------------------------

// Has the flush thread follow the device's current queue manager; starts the
// thread when it is not running. FALSE when the thread cannot be started.
BOOL bFollowDevice(PDEV* ppdev);
// The thread no longer touches the device's queues when this returns; the
// thread ends when no device is left (the call waits for that, whichever
// process it acts for).
void vForgetDevice(PDEV* ppdev);
// Whether the thread runs (started and not yet out of its loop), how many
// flush threads are inside their loop (never more than one), and how many
// passes over the devices they have made since the process started (tests
// and tools).
BOOL bFlushThreadRunning(void);
ULONG cFlushThreadLoops(void);
std::uint64_t cFlushThreadPasses(void);
// The pause between two passes (KZ2_FLUSH_PERIOD_MS unless a test shortens
// it to drive the hold-off handshake hard).
void vSetFlushThreadPeriod(DWORD dwMilliseconds);

// The number of queues of the array that holds q, and the device they serve.
inline ULONG cQueuesOf(const KZ2QUEUE* q) { return q->pLayout->cQueues; }
inline PDEV* ppdevOf(const KZ2QUEUE* q) { return q->pLayout->ppdevSelf; }
