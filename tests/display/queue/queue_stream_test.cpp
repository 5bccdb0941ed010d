// The streams the queues hand to the board, word by word and as the board
// decodes them: the update rules (no kick under 512 bytes, kicks to whole
// lines, every word while cFlushNow counts), hand-overs, wraps with their
// render waits, the room check, the drains, the optional units, the sync
// packet and the sync wait.
#include <atomic>
#include <iterator>

#include "display/queue/queue_fixture.h"
#include "platform/process.h"

namespace vnx::test {
namespace {

using QueueStreamTest = QueueTest;

std::vector<ULONG> Words(const ULONG* p, size_t n) { return std::vector<ULONG>(p, p + n); }

const std::vector<ULONG> kEmptyPacket = {1, 0, 10, 0xFEEDBEEF, 0xCAFEF00D, 0xDEAFDEAD};

// A packet of under 512 bytes is closed but not handed over; the words wait
// for a later update or the flush thread.
TEST_F(QueueStreamTest, NoKickUnder512Bytes) {
    Boot(1);
    KZ2QUEUE* q = Q(0);
    SendFill(10);  // 188 bytes
    EXPECT_EQ(q->pStreamEnd, q->pRingStart + FillBytes(10) / 4);
    EXPECT_EQ(q->pKicked, q->pRingStart);
    EXPECT_EQ(Reg(0, VNX_REG_WRITE_PTR), q->ulRingBus);
    EXPECT_TRUE(Take(0).empty());
    // The control word holds the primitive count; the flush thread may run.
    EXPECT_EQ(q->pRingStart[0], kFillCommand);
    EXPECT_EQ(q->pRingStart[1], 10u);
    EXPECT_EQ(qm->fAutoFlush.load(), 1u);

    // Two more small packets pass 512 bytes: the board gets every whole line.
    SendFill(10);
    EXPECT_EQ(q->pKicked, q->pRingStart);
    SendFill(10);
    const ULONG cbStream = 3 * FillBytes(10);  // 564
    ASSERT_GT(cbStream, 512u);
    EXPECT_EQ(q->pStreamEnd, q->pRingStart + cbStream / 4);
    EXPECT_EQ(q->pKicked, q->pRingStart + (cbStream & ~127u) / 4);
    EXPECT_EQ(Reg(0, VNX_REG_WRITE_PTR), q->ulRingBus + (cbStream & ~127u));
    EXPECT_EQ(Words(q->pStreamEnd, 6), kEmptyPacket);
    // Only the packets wholly below the write pointer are read so far.
    const auto packets = Take(0);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 10u);
    EXPECT_EQ(packets[1].bus, q->ulRingBus + FillBytes(10));
}

// A stream end on a line start gets two NOP words first, so the board is
// told to read up to that line and no further.
TEST_F(QueueStreamTest, KickAtALineStartAddsTwoNops) {
    Boot(1);
    KZ2QUEUE* q = Q(0);
    // Five NOP words and a packet of 37 rectangles (155 words) end on the
    // line at 640 bytes.
    kz2NewPacketQueue(qm, nullptr, 40);
    for (int k = 0; k < 5; ++k) q->pPacket[k] = KZ2_CMD_NOP;  // NOPs before the packet
    q->pPacket += 5;
    q->pPacket[0] = kFillCommand;
    ULONG* p = q->pPacket + 2;
    *p++ = 0x8000;
    *p++ = 0x10360348;
    *p++ = 0;
    *p++ = (767u << 16) | 1023u;
    *p++ = 7;
    for (int k = 0; k < 37; ++k) {
        for (int v = 0; v < 4; ++v) *p++ = Vtx(k, v);
        ++q->cPrims;
    }
    q->pWrite = p;
    ASSERT_EQ(p, q->pRingStart + 160);
    ASSERT_TRUE(bLineAligned(p));
    kz2UpdatePacketPtr(qm, nullptr, p, 0);
    EXPECT_EQ(q->pStreamEnd, q->pRingStart + 162);
    EXPECT_EQ(q->pWrite, q->pRingStart + 162);
    EXPECT_EQ(q->pRingStart[160], KZ2_CMD_NOP);
    EXPECT_EQ(q->pRingStart[161], KZ2_CMD_NOP);
    EXPECT_EQ(q->pKicked, q->pRingStart + 160);
    EXPECT_EQ(Reg(0, VNX_REG_WRITE_PTR), q->ulRingBus + 640);
    ASSERT_EQ(Take(0).size(), 1u);
}

// While cFlushNow is above 0 every update hands every word to the board at
// once and counts it down.
TEST_F(QueueStreamTest, FlushNowHandsEveryWordOver) {
    Boot(4);
    ppdev->cFlushNow = 2;
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        SendFill(2, static_cast<ULONG>(k));
        for (ULONG i = 0; i < Queues(); ++i) {
            KZ2QUEUE* q = Q(i);
            const auto packets = Take(static_cast<int>(i));
            if (k < 2) {
                // NOPs to the line, 64 NOPs, then the empty packet where the
                // board stops reading.
                EXPECT_EQ(q->pStreamEnd, q->pKicked);
                EXPECT_TRUE(bLineAligned(q->pKicked));
                EXPECT_EQ(Words(q->pKicked, 6), kEmptyPacket);
                EXPECT_EQ(Reg(i, VNX_REG_WRITE_PTR), Bus(i, q->pKicked));
                for (int w = 1; w <= 64; ++w) EXPECT_EQ(q->pKicked[-w], KZ2_CMD_NOP);
                ASSERT_EQ(packets.size(), 1u);
                EXPECT_EQ(packets[0].constants, std::vector<std::uint32_t>{static_cast<ULONG>(k)});
                EXPECT_EQ(packets[0].primitives, 2u);
            } else {
                EXPECT_TRUE(packets.empty());  // back to the 512-byte rule
            }
        }
        EXPECT_EQ(ppdev->cFlushNow, std::max(0, 1 - k));
    }
}

// The queue calls hold the flush thread off or let it in as their contract
// says.
TEST_F(QueueStreamTest, CallsHoldOrReleaseTheThread) {
    Boot(2);
    struct Row {
        const char* call;
        std::function<void()> run;
        ULONG autoFlush;
    };
    ULONG* pReset = nullptr;
    ULONG room = 0;
    const Row rows[] = {
        {"kz2NewPacketQueue", [&] { kz2NewPacketQueue(qm, nullptr, 1); }, 0},
        {"kz2UpdatePacketPtr", [&] { kz2UpdatePacketPtr(qm, nullptr, nullptr, 0); }, 1},
        {"kz2AllocQueue", [&] { kz2AllocQueue(qm, 0, 100, 0, 0); }, 0},
        {"kz2ConfigEnable", [&] { kz2ConfigEnable(qm); }, 1},
        {"kz2AllocFlushQueue",
         [&] { kz2AllocFlushQueue(qm, 0, 100, nullptr, nullptr, nullptr, FALSE, nullptr); }, 0},
        {"kz2FlushQueue", [&] { kz2FlushQueue(qm, ~0u, &pReset, &room); }, 1},
        {"kz2FlushPacket", [&] { kz2FlushPacket(qm); }, 0},
        {"kz2ConfigDisable", [&] { kz2ConfigDisable(qm, 0x08000000); }, 1},
        {"kz2SoftUpdatePacketPtr", [&] { kz2SoftUpdatePacketPtr(qm, nullptr); }, 0},
        {"kz2VBLANKWait", [&] { kz2VBLANKWait(qm); }, 1},
        {"KZ2WriteSyncCmd", [&] { KZ2WriteSyncCmd(qm); }, 0},
        {"kz2SyncDMA", [&] { kz2SyncDMA(qm); }, 1},
        {"vCloseAllQueuePackets", [&] { vCloseAllQueuePackets(qm); }, 0},
    };
    for (const Row& row : rows) {
        row.run();
        EXPECT_EQ(qm->fAutoFlush.load(), row.autoFlush) << row.call;
        EXPECT_EQ(qm->fIdle.load(), 1u) << row.call;
    }
    // kz2FlushQueue reopened the drained queues and reported its room.
    EXPECT_EQ(pReset, Q(0)->pRingStart);
    EXPECT_EQ(room, 1023u);
}

// Closing again without opening a packet leaves the stream as it is, also
// after the words were handed over or the ring was restarted.
TEST_F(QueueStreamTest, ClosingTwiceChangesNothing) {
    Boot(2);
    SendFill(2);
    kz2FlushPacket(qm);
    for (int k = 0; k < 2; ++k) {
        std::vector<ULONG*> ends;
        for (ULONG i = 0; i < Queues(); ++i) ends.push_back(Q(i)->pStreamEnd);
        kz2UpdatePacketPtr(qm, nullptr, qm->pWrite, 0);
        kz2SoftUpdatePacketPtr(qm, qm->pWrite);
        for (ULONG i = 0; i < Queues(); ++i) EXPECT_EQ(Q(i)->pStreamEnd, ends[i]);
        kz2FlushQueue(qm, ~0u, nullptr, nullptr);
    }
    SendFill(3);
    kz2FlushQueue(qm, ~0u, nullptr, nullptr);
    for (ULONG i = 0; i < Queues(); ++i) {
        const auto packets = Take(static_cast<int>(i));
        ASSERT_EQ(packets.size(), 2u);
        EXPECT_EQ(packets[1].primitives, 3u);
    }
}

// kz2AllocFlushQueue opens new packets through the fill callback when asked
// to (fresh manager, force, queues handed over), else continues the last
// packet with its count.
TEST_F(QueueStreamTest, AllocFlushQueueOpensOrContinuesPackets) {
    Boot(1);
    KZ2QUEUE* q = Q(0);
    struct FillArgs {
        int calls = 0;
        ULONG* pLast = nullptr;
    } fill;
    const PFN_KZ2FILL pfnFill = [](PVOID a, ULONG* p, PVOID, PVOID) -> ULONG {
        auto* f = static_cast<FillArgs*>(a);
        ++f->calls;
        f->pLast = p;
        p[0] = kPolygonCommand;
        p[1] = 0;
        p[2] = 0x8000;
        p[3] = 0x10360348;
        p[4] = 0;
        p[5] = (767u << 16) | 1023u;
        return 24 + 3;  // the low two bits are dropped
    };
    auto polygon = [&](ULONG* p, ULONG k) {
        *p++ = Vtx(k, 0);
        *p++ = Vtx(k + 1, 0);
        *p++ = Vtx(k, 1);
        ++q->cPrims;
        q->pWrite = p;
        return p;
    };

    // Fresh after set-up: a new packet with the prefix.
    ULONG* p = kz2AllocFlushQueue(qm, ~0u, 100, &fill, nullptr, nullptr, FALSE, pfnFill);
    EXPECT_EQ(fill.calls, 1);
    EXPECT_EQ(fill.pLast, q->pRingStart);
    EXPECT_EQ(q->cbPrefix, 27u);
    EXPECT_EQ(p, q->pRingStart + 6);
    EXPECT_EQ(q->pMark, p);
    EXPECT_EQ(qm->fFresh, 0u);
    p = polygon(p, 0);
    kz2SoftUpdatePacketPtr(qm, p);
    ULONG* pPacket = q->pPacket;

    // Not fresh, nothing handed over: the packet goes on and keeps its count.
    p = kz2AllocFlushQueue(qm, ~0u, 100, &fill, nullptr, nullptr, FALSE, pfnFill);
    EXPECT_EQ(fill.calls, 1);
    EXPECT_EQ(p, q->pStreamEnd);
    EXPECT_EQ(q->pPacket, pPacket);
    EXPECT_EQ(q->cPrims, 1u);
    p = polygon(p, 1);
    kz2SoftUpdatePacketPtr(qm, p);
    EXPECT_EQ(pPacket[1], 2u);

    // Forced: a new packet.
    p = kz2AllocFlushQueue(qm, ~0u, 100, &fill, nullptr, nullptr, TRUE, pfnFill);
    EXPECT_EQ(fill.calls, 2);
    EXPECT_EQ(q->pPacket, fill.pLast);
    EXPECT_EQ(q->cPrims, 0u);
    p = polygon(p, 2);
    kz2UpdatePacketPtr(qm, nullptr, p, 0);

    // After a hand-over (stream end = kicked): a new packet.
    kz2FlushPacket(qm);
    p = kz2AllocFlushQueue(qm, ~0u, 100, &fill, nullptr, nullptr, FALSE, pfnFill);
    EXPECT_EQ(fill.calls, 3);
    p = polygon(p, 3);
    // The GL server sets the fresh flag itself to start new packets.
    kz2SoftUpdatePacketPtr(qm, p);
    qm->fFresh = 1;
    p = kz2AllocFlushQueue(qm, ~0u, 100, &fill, nullptr, nullptr, FALSE, pfnFill);
    EXPECT_EQ(fill.calls, 4);
    p = polygon(p, 4);
    kz2UpdatePacketPtr(qm, nullptr, p, 0);
    kz2FlushQueue(qm, ~0u, nullptr, nullptr);

    std::vector<ULONG> counts;
    for (const auto& packet : Take(0)) counts.push_back(packet.primitives);
    EXPECT_EQ(counts, (std::vector<ULONG>{2, 1, 1, 1}));
}

// A packet the board was told to read (part of it, or all of it followed by
// the kick's two NOPs when it ended on a line) does not go on: the next
// kz2AllocFlushQueue opens new packets. A packet that starts after the
// kicked line still goes on.
TEST_F(QueueStreamTest, AllocFlushQueueDoesNotContinueAKickedPacket) {
    struct Row {
        const char* what;
        ULONG polygons;  // in the first packet: 6 + 3 x polygons words
        bool endsOnALine;
    };
    const Row rows[] = {
        {"ends on a line, padded with two NOPs", 62, true},  // 192 words
        {"kicked past its header", 50, false},               // 156 words
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Boot(1);
        KZ2QUEUE* q = Q(0);
        int calls = 0;
        const PFN_KZ2FILL pfnFill = [](PVOID a, ULONG* p, PVOID, PVOID) -> ULONG {
            ++*static_cast<int*>(a);
            p[0] = kPolygonCommand;
            p[1] = 0;
            p[2] = 0x8000;
            p[3] = 0x10360348;
            p[4] = 0;
            p[5] = (767u << 16) | 1023u;
            return 24;
        };
        auto polygons = [&](ULONG* p, ULONG n) {
            for (ULONG k = 0; k < n; ++k) {
                *p++ = Vtx(k, 0);
                *p++ = Vtx(k + 1, 0);
                *p++ = Vtx(k, 1);
                ++q->cPrims;
            }
            q->pWrite = p;
            return p;
        };

        ULONG* p = kz2AllocFlushQueue(qm, ~0u, 2000, &calls, nullptr, nullptr, FALSE, pfnFill);
        p = polygons(p, row.polygons);
        ASSERT_EQ(bLineAligned(p), row.endsOnALine);
        kz2UpdatePacketPtr(qm, nullptr, p, 0);
        ASSERT_GT(q->pKicked, q->pRingStart);  // the board reads the packet's start

        p = kz2AllocFlushQueue(qm, ~0u, 100, &calls, nullptr, nullptr, FALSE, pfnFill);
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(q->pPacket, q->pStreamEnd);
        EXPECT_EQ(q->cPrims, 0u);
        EXPECT_EQ(p, q->pStreamEnd + 6);
        ULONG* pSecond = q->pPacket;
        p = polygons(p, 1);
        kz2SoftUpdatePacketPtr(qm, p);

        // The new packet lies after the kicked line: it goes on.
        ASSERT_LE(q->pKicked, pSecond);
        p = kz2AllocFlushQueue(qm, ~0u, 100, &calls, nullptr, nullptr, FALSE, pfnFill);
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(q->pPacket, pSecond);
        p = polygons(p, 1);
        kz2UpdatePacketPtr(qm, nullptr, p, 0);
        kz2FlushQueue(qm, ~0u, nullptr, nullptr);

        std::vector<ULONG> counts;
        for (const auto& packet : Take(0)) counts.push_back(packet.primitives);
        EXPECT_EQ(counts, (std::vector<ULONG>{row.polygons, 2}));
        Shutdown();  // checks that the board saw no malformed stream
    }
}

// A queue that got no word after a packet opened with a two-word prefix (no
// fill callback) keeps its packet open at the stream end; the next
// kz2AllocFlushQueue opens new packets instead of writing over that header.
TEST_F(QueueStreamTest, AllocFlushQueueDoesNotContinueAnUnclosedPacket) {
    Boot(2);
    constexpr ULONG kCommand = kPolygonCommand & ~KZ2_PKT_CLIP;
    const PFN_KZ2FILL pfnFill = [](PVOID, ULONG* p, PVOID, PVOID) -> ULONG {
        p[0] = kCommand;
        p[1] = 0;
        return 8;
    };
    // A whole polygon packet (pid, instruction, three vertices) broadcast.
    auto broadcast = [&](ULONG* p, ULONG x) {
        *p++ = 0x8000;
        *p++ = 0x10360348;
        *p++ = Vtx(x, 0);
        *p++ = Vtx(x + 1, 0);
        *p++ = Vtx(x, 1);
        return kz2CopyPrim(qm, p)->pWrite;
    };
    ULONG* p = kz2AllocFlushQueue(qm, ~0u, 100, nullptr, nullptr, nullptr, FALSE, pfnFill);
    kz2SoftUpdatePacketPtr(qm, broadcast(p, 0));

    // Forced new packets; only the current queue gets a polygon.
    p = kz2AllocFlushQueue(qm, ~0u, 100, nullptr, nullptr, nullptr, TRUE, pfnFill);
    KZ2QUEUE* cur = qm->pqCurrent;
    KZ2QUEUE* other = cur == Q(0) ? Q(1) : Q(0);
    *p++ = 0x8000;
    *p++ = 0x10360348;
    *p++ = Vtx(5, 0);
    *p++ = Vtx(6, 0);
    *p++ = Vtx(5, 1);
    cur->pWrite = cur->pMark = p;
    ++cur->cPrims;
    kz2SoftUpdatePacketPtr(qm, p);
    ASSERT_EQ(other->pPacket, other->pStreamEnd);  // never closed

    p = kz2AllocFlushQueue(qm, ~0u, 100, nullptr, nullptr, nullptr, FALSE, pfnFill);
    for (ULONG i = 0; i < Queues(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Q(i)->pPacket, Q(i)->pStreamEnd);
        EXPECT_EQ(Q(i)->pWrite, Q(i)->pPacket + 2);
        EXPECT_EQ(Q(i)->pPacket[0], kCommand);
    }
    kz2UpdatePacketPtr(qm, nullptr, broadcast(p, 10), 0);
    kz2FlushQueue(qm, ~0u, nullptr, nullptr);
    EXPECT_EQ(Take(static_cast<int>(cur - qm)).size(), 3u);
    EXPECT_EQ(Take(static_cast<int>(other - qm)).size(), 2u);
}

// A queue near its ring limit is wrapped when handed over: the stream ends
// with a close record (its sync word cleared by the board), the END form of
// the wrap and the fill marks; the driver waits for the board and starts the
// ring again.
TEST_F(QueueStreamTest, WrapEndsTheStreamWaitsAndRestarts) {
    auto cfg = Machine(1);
    cfg.dmaBytes = 0x10000;
    Boot(cfg);
    KZ2QUEUE* q = Q(0);
    PadTo(0, 700);
    kz2UpdatePacketPtr(qm, nullptr, WriteFill(13, 0x1234, 0), 0);  // 236 bytes: 464 left
    ULONG* pEnd = q->pStreamEnd;
    ASSERT_LT(cbBetween(pEnd, q->pRingLimit), 512);
    kz2FlushPacket(qm);

    // The wrap's words.
    ULONG* p = pEnd;
    EXPECT_EQ(Words(p, 2), (std::vector<ULONG>{1, 0}));
    p += 2;
    while (!bLineAligned(p)) EXPECT_EQ(*p++, KZ2_CMD_NOP);
    const ULONG busRecord = Bus(0, p);
    EXPECT_EQ(Words(p, 6),
              (std::vector<ULONG>{7, 0, (qm->ayTileOrigin[0] << 16) | qm->axTileOrigin[0], 0x8000,
                                  busRecord + 4, 384}));
    EXPECT_EQ(Words(p + 6, 7),
              (std::vector<ULONG>{10, 1, 0, 10, 0xFEEDBEEF, 0xCAFEF00D, 0xDEAFDEAD}));

    // The board read it all, the ring starts again.
    const auto items = board->take_packets(0);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].primitives, 13u);
    EXPECT_EQ(items[1].kind, ItemKind::Empty);
    const auto& close = items[2];
    EXPECT_EQ(close.kind, ItemKind::Transfer);
    EXPECT_EQ(close.bus, busRecord);
    ASSERT_EQ(close.transfers.size(), 1u);
    EXPECT_EQ(close.transfers[0].bus, busRecord + 4);
    EXPECT_EQ(close.transfers[0].descriptor, 384u);
    EXPECT_EQ(items[3].kind, ItemKind::End);

    EXPECT_EQ(q->pStreamEnd, q->pRingStart);
    EXPECT_EQ(q->pKicked, q->pRingStart);
    EXPECT_EQ(q->pSyncWord, nullptr);
    EXPECT_EQ(q->ulRestart, 0u);
    EXPECT_EQ(Words(q->pRingStart, 6), kEmptyPacket);
    EXPECT_EQ(Reg(0, VNX_REG_WRITE_PTR), q->ulRingBus);
    EXPECT_EQ(Reg(0, VNX_REG_READ_PTR), q->ulRingBus);

    // Packets go on from the ring start.
    SendFill(40);
    kz2FlushPacket(qm);
    const auto after = Take(0);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].bus, q->ulRingBus);
    EXPECT_EQ(vnx::debug::take(), "");
}

// The room check asks for at least 384 bytes; a queue without the room is
// wrapped (and flagged for the render wait) when it is within 512 bytes of
// the limit after the request, else handed over; 0 when all had room.
TEST_F(QueueStreamTest, RoomCheck) {
    struct Row {
        ULONG cb;
        ULONG cbLeft;
        ULONG result;
        bool wrapped;
    };
    const Row rows[] = {
        {100, 400, 0, false},  // 100 is asked as 384
        {100, 300, 1, true},   // 384 does not fit: within 512 of the limit, wrapped
        {0, 380, 1, true},      {500, 1200, 0, false}, {500, 400, 1, true},
        {1000, 1000, 0, false}, {1000, 996, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.cb << " with " << row.cbLeft << " left");
        auto cfg = Machine(2);
        cfg.dmaBytes = 0x20000;
        Boot(cfg);
        for (ULONG i = 0; i < Queues(); ++i) PadTo(i, i == 0 ? row.cbLeft : 40000);
        EXPECT_EQ(kz2FlushStreamRenderWaitRoom(qm, row.cb), row.result);
        if (row.result == 1) {
            EXPECT_EQ(Q(0)->flRestart & 1u, row.wrapped ? 1u : 0u);
            EXPECT_EQ(Q(0)->pStreamEnd, Q(0)->pRingStart);
            // The queue with room is handed over, not waited for.
            EXPECT_EQ(Q(1)->flRestart & 1u, 0u);
            EXPECT_EQ(Q(1)->pStreamEnd, Q(1)->pKicked);
            EXPECT_NE(Q(1)->pStreamEnd, Q(1)->pRingStart);
        }
        Shutdown();
    }
}

// kz2FlushQueue drains: every queue holding words ends with a close record
// and is waited for; a queue still at its ring start is neither closed nor
// waited for.
TEST_F(QueueStreamTest, FlushQueueDrainsOnlyQueuesThatHoldWords) {
    Boot(4);
    kz2FlushQueue(qm, ~0u, nullptr, nullptr);
    for (ULONG i = 0; i < Queues(); ++i)
        EXPECT_TRUE(board->take_packets(static_cast<int>(i)).empty());

    // Every queue gets the packet; queue 2 is then started again at its ring
    // start before the board read it, so it holds nothing.
    SendFill(3);
    kz2FlushStreamRenderWaitReally(Q(2), nullptr);
    TakeAll();
    ULONG* pReset = nullptr;
    kz2FlushQueue(qm, ~0u, &pReset, nullptr);
    for (ULONG i = 0; i < Queues(); ++i) {
        SCOPED_TRACE(i);
        const auto items = board->take_packets(static_cast<int>(i));
        if (i == 2) {
            EXPECT_TRUE(items.empty());
        } else {
            ASSERT_GE(items.size(), 3u);
            EXPECT_EQ(items[0].primitives, 3u);
            EXPECT_EQ(items[items.size() - 2].kind, ItemKind::Transfer);
            EXPECT_EQ(items.back().kind, ItemKind::End);
        }
        EXPECT_EQ(Q(i)->pStreamEnd, Q(i)->pRingStart);
        EXPECT_EQ(Q(i)->pPacket, Q(i)->pRingStart);
        EXPECT_EQ(Q(i)->pWrite, Q(i)->pRingStart + 2);
    }
    EXPECT_EQ(pReset, Q(0)->pRingStart);
    EXPECT_EQ(vnx::debug::take(), "");
}

// A render wait on a queue without a pending sync word (never closed) does
// not read through a null pointer: it waits for the busy bit and the read
// pointer and restarts the queue.
TEST_F(QueueStreamTest, RenderWaitWithoutSyncWord) {
    Boot(1);
    ASSERT_EQ(Q(0)->pSyncWord, nullptr);
    kz2FlushStreamRenderWaitReally(Q(0), nullptr);
    EXPECT_EQ(Q(0)->pStreamEnd, Q(0)->pRingStart);
    EXPECT_EQ(Reg(0, VNX_REG_READ_PTR), Q(0)->ulRingBus);
    EXPECT_EQ(vnx::debug::take(), "");
}

// Units switched off by kz2ConfigDisable (after a drain) come back only at
// the render wait after kz2ConfigEnable.
TEST_F(QueueStreamTest, OptionalUnitsSwitchOffAndOnAgain) {
    Boot(2);
    for (ULONG i = 0; i < Queues(); ++i) VnxRegWrite(Q(i)->pRegs, VNX_REG_CONFIG, 0x18000000);
    SendFill(1);
    kz2ConfigDisable(qm, 0xFFFFFFFF);  // only the unit bits count
    EXPECT_EQ(qm->fDisabled, 0x18000000u);
    for (ULONG i = 0; i < Queues(); ++i) {
        EXPECT_EQ(Reg(i, VNX_REG_CONFIG), 0u);
        EXPECT_EQ(Take(static_cast<int>(i), ItemKind::Transfer).size(), 1u);  // drained first
    }
    // Switching off what is off already does not drain.
    SendFill(1);
    kz2ConfigDisable(qm, 0x10000000);
    EXPECT_EQ(Take(0, ItemKind::Transfer).size(), 0u);

    kz2ConfigEnable(qm);
    EXPECT_EQ(qm->fReenable, 0x18000000u);
    EXPECT_EQ(Reg(0, VNX_REG_CONFIG), 0u);
    // Disabling a unit again takes it out of the pending enable.
    kz2ConfigDisable(qm, 0x08000000);
    EXPECT_EQ(qm->fReenable, 0x10000000u);
    kz2FlushQueue(qm, ~0u, nullptr, nullptr);
    for (ULONG i = 0; i < Queues(); ++i) EXPECT_EQ(Reg(i, VNX_REG_CONFIG), 0x10000000u);
    EXPECT_EQ(qm->fDisabled, 0x08000000u);
    EXPECT_EQ(qm->fReenable, 0u);
}

// While units wait to come back, a board with wide pages drains a queue that
// passes 20480 bytes from its ring start.
TEST_F(QueueStreamTest, PendingUnitsDrainEarlyOnWidePages) {
    for (int xCode : {0, 1}) {
        SCOPED_TRACE(xCode);
        auto cfg = Machine(1);
        cfg.xMultiplierCode = xCode;
        Boot(cfg);
        kz2ConfigDisable(qm, 0x10000000);
        kz2ConfigEnable(qm);
        PadTo(0, static_cast<ULONG>(cbBetween(Q(0)->pRingStart, Q(0)->pRingLimit)) - 20480 + 100);
        EXPECT_EQ(kz2FlushStreamRenderWaitRoom(qm, 0), xCode != 0 ? 1u : 0u);
        EXPECT_EQ(qm->fReenable, xCode != 0 ? 0u : 0x10000000u);
        Shutdown();
    }
}

// The sync packet {1, 0, SYNC} goes to every queue and to the board at once.
TEST_F(QueueStreamTest, SyncPacket) {
    Boot(4);
    KZ2WriteSyncCmd(qm);
    EXPECT_EQ(qm->fAutoFlush.load(), 0u);
    for (ULONG i = 0; i < Queues(); ++i) {
        SCOPED_TRACE(i);
        KZ2QUEUE* q = Q(i);
        EXPECT_EQ(Words(q->pRingStart, 3), (std::vector<ULONG>{1, 0, 8}));
        const auto items = board->take_packets(static_cast<int>(i));
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0].kind, ItemKind::Empty);
        EXPECT_EQ(items[1].kind, ItemKind::Sync);
        EXPECT_EQ(Reg(i, VNX_REG_WRITE_PTR), Bus(i, q->pKicked));
        EXPECT_EQ(q->pStreamEnd, q->pKicked);
    }
}

// The close-all step ends every stream with a close record the board
// clears; the sync wait then waits for the board and restarts every ring,
// without ending the streams a second time.
TEST_F(QueueStreamTest, CloseAllThenSyncWait) {
    Boot(2);
    SendFill(2);
    vCloseAllQueuePackets(qm);
    for (ULONG i = 0; i < Queues(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(Q(i)->pSyncWord, nullptr);
        EXPECT_EQ(*Q(i)->pSyncWord, 0u);  // cleared by the board
        EXPECT_EQ(Take(static_cast<int>(i), ItemKind::Transfer).size(), 1u);
        EXPECT_TRUE(board->engine_stopped(static_cast<int>(i)));
    }
    kz2SyncDMA(qm);
    for (ULONG i = 0; i < Queues(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Q(i)->pSyncWord, nullptr);
        EXPECT_EQ(Q(i)->pStreamEnd, Q(i)->pRingStart);
        EXPECT_TRUE(Take(static_cast<int>(i), ItemKind::Transfer).empty());
        EXPECT_FALSE(board->engine_stopped(static_cast<int>(i)));
    }
    // A closed stream is started again before new packets go in.
    SendFill(1);
    vCloseAllQueuePackets(qm);
    TakeAll();
    SendFill(1);
    kz2FlushPacket(qm);
    const auto packets = Take(0);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].bus, Q(0)->ulRingBus);
    EXPECT_EQ(vnx::debug::take(), "");
}

// A close after the close-all step finds nothing open: it does not take the
// close record for a packet and write a count over the sync word the board
// cleared, so the sync wait that follows finds the word cleared.
TEST_F(QueueStreamTest, UpdateAfterCloseAllKeepsTheSyncWord) {
    struct Row {
        const char* call;
        std::function<void(KZ2QUEUEMGT)> run;
    };
    const Row rows[] = {
        {"kz2SoftUpdatePacketPtr", [](KZ2QUEUEMGT q) { kz2SoftUpdatePacketPtr(q, nullptr); }},
        {"kz2UpdatePacketPtr", [](KZ2QUEUEMGT q) { kz2UpdatePacketPtr(q, nullptr, nullptr, 0); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.call);
        Boot(2);
        SendFill(2);
        vCloseAllQueuePackets(qm);
        std::vector<ULONG*> ends;
        for (ULONG i = 0; i < Queues(); ++i) {
            ASSERT_NE(Q(i)->pSyncWord, nullptr);
            ASSERT_EQ(*Q(i)->pSyncWord, 0u);
            ends.push_back(Q(i)->pStreamEnd);
        }
        row.run(qm);
        for (ULONG i = 0; i < Queues(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(*Q(i)->pSyncWord, 0u);
            EXPECT_EQ(Q(i)->pStreamEnd, ends[i]);
        }
        kz2SyncDMA(qm);
        EXPECT_EQ(vnx::debug::take(), "");
        for (ULONG i = 0; i < Queues(); ++i) EXPECT_EQ(Q(i)->pStreamEnd, Q(i)->pRingStart);
        Shutdown();
    }
}

// The sync wait on streams that hold packets: the board renders them all.
TEST_F(QueueStreamTest, SyncWaitRendersEverything) {
    Boot(4);
    SendFill(5);
    kz2SyncDMA(qm);
    for (ULONG i = 0; i < Queues(); ++i) {
        const auto items = board->take_packets(static_cast<int>(i));
        ASSERT_EQ(items.size(), 4u);
        EXPECT_EQ(items[0].primitives, 5u);
        EXPECT_EQ(items[1].kind, ItemKind::Empty);
        EXPECT_EQ(items[2].kind, ItemKind::Transfer);
        EXPECT_EQ(items[3].kind, ItemKind::End);
        EXPECT_EQ(Q(i)->pStreamEnd, Q(i)->pRingStart);
    }
}

// A board that stops answering does not hang the driver: each wait gives up
// after the wait limit, says so on the debugger and restarts the queue; once
// the board answers again the queue works.
TEST_F(QueueStreamTest, WaitsGiveUpOnABoardThatDoesNotAnswer) {
    struct Row {
        const char* what;
        int busyReads;  // 0: the rasterizer hangs instead
        const char* message;
    };
    const Row rows[] = {
        {"hung", 0, "kz2FlushStreamRenderWaitReally: the board did not answer (kz2SyncDMA)\n"},
        {"busy", 1 << 30,
         "kz2FlushStreamRenderWaitReally: the board did not answer (RenderWait2)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto cfg = Machine(1);
        cfg.busyReads = row.busyReads;
        Boot(cfg);
        vSetQueueWaitLimit(20);
        if (row.busyReads == 0) board->set_hung(0, true);
        SendFill(2);
        kz2FlushQueue(qm, ~0u, nullptr, nullptr);
        EXPECT_EQ(vnx::debug::take(), row.message);
        EXPECT_EQ(Q(0)->pStreamEnd, Q(0)->pRingStart);
        EXPECT_EQ(Q(0)->pSyncWord, nullptr);
        EXPECT_EQ(Q(0)->ulRestart, 0u);
        if (row.busyReads == 0) {
            board->set_hung(0, false);
            board->take_packets(0);
            SendFill(3);
            kz2FlushQueue(qm, ~0u, nullptr, nullptr);
            const auto packets = Take(0);
            ASSERT_EQ(packets.size(), 1u);
            EXPECT_EQ(packets[0].primitives, 3u);
            EXPECT_EQ(vnx::debug::take(), "");
        }
        Shutdown();
        EXPECT_EQ(vnx::debug::take(), "");
    }
}

// kz2PollWait tells every caller to go on polling, whatever the count (the
// bounded waits decide when to give up); from the 1000th poll on it lets
// other threads run now and then.
TEST_F(QueueStreamTest, PollWaitAlwaysGoesOn) {
    Boot(1);
    for (ULONG n : {0u, 1u, 999u, 1000u, 1001u, 2000u, 5000u, 123456u, 0xFFFFFFFFu})
        EXPECT_EQ(kz2PollWait(Q(0), n, "test"), 1u) << n;
    EXPECT_EQ(Errors(), "");
}

// From the 1000th poll of a wait on, kz2PollWait notes the tick count; at
// each later thousandth poll it lets other threads run (Sleep(0)) once 50 ms
// or more have passed since the note, also across the tick count's wrap,
// and never between thousandths. The polling thread runs suspended: it stops
// exactly in the polls that call Sleep.
TEST_F(QueueStreamTest, PollWaitYieldsOnceFiftyMillisecondsPassed) {
    Boot(1);
    struct Step {
        ULONG n;      // the poll's count
        DWORD ticks;  // the tick count during it
        bool sleeps;
    };
    constexpr DWORD kT0 = 0xFFFFFFE0u;  // 50 ms later the count has wrapped
    static const Step kSteps[] = {
        {999, kT0, false},        {1000, kT0, false},       {2000, kT0 + 49, false},
        {2500, kT0 + 50, false},  {3000, kT0 + 50, true},   {7000, kT0 + 400, true},
        {1000, kT0 + 400, false}, {2000, kT0 + 420, false}, {3000, kT0 + 450, true},
    };
    struct Shared {
        KZ2QUEUE* q;
        std::atomic<bool> started{false};
        std::atomic<int> allowed{0};
        std::atomic<int> done{0};
    } shared{Q(0)};
    vnx::ticks::set_manual(true);
    struct Restore {
        ~Restore() { vnx::ticks::set_manual(false); }
    } restore;
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID pv) -> DWORD {
            auto* sh = static_cast<Shared*>(pv);
            sh->started.store(true);
            for (int i = 0; i < static_cast<int>(std::size(kSteps)); ++i) {
                while (sh->allowed.load() <= i) std::this_thread::yield();
                vnx::ticks::set(kSteps[i].ticks);
                kz2PollWait(sh->q, kSteps[i].n, "test");
                sh->done.store(i + 1);
            }
            return 0;
        },
        &shared, 0, nullptr);
    ASSERT_NE(h, nullptr);
    // (A thread suspended before it ran stops at its start.)
    ASSERT_TRUE(WaitFor([&] { return shared.started.load(); }));
    for (int i = 0; i < static_cast<int>(std::size(kSteps)); ++i) {
        SCOPED_TRACE(kSteps[i].n);
        ASSERT_EQ(SuspendThread(h), 0u);
        shared.allowed.store(i + 1);
        if (kSteps[i].sleeps) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_EQ(shared.done.load(), i) << "went on without Sleep";
        } else {
            EXPECT_TRUE(WaitFor([&] { return shared.done.load() == i + 1; }))
                << "stopped in a Sleep";
        }
        ASSERT_EQ(ResumeThread(h), 1u);
        ASSERT_TRUE(WaitFor([&] { return shared.done.load() == i + 1; }));
    }
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    CloseHandle(h);
}

}  // namespace
}  // namespace vnx::test
