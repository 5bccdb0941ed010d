// Host transfers, the row level: row descriptors and transfer kinds, the
// cutting of rectangles into bands and pieces, the records each rasterizer
// receives, the direct path from the staging buffers and the bounce path
// with its chunks, and where the bounce and staging buffers lie against the
// queue rings.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "display/xfer/xfer_fixture.h"

namespace {

using vnx::board::TransferRecord;
using vnx::test::Machine;
using vnx::test::XferTest;

TEST(XferDescriptor, FieldsAndBytesMoved) {
    struct Row {
        LONG x, cx;
        ULONG iShift, ulKind;
        ULONG first, last, bytes;
    };
    const Row rows[] = {
        {100, 28, 0, 15, 100, 127, 28},  // 8 bpp: first piece of a row at x = 100
        {128, 128, 0, 15, 0, 127, 128},  // a whole piece
        {384, 16, 0, 79, 0, 15, 16},     // the last piece, upload kind
        {130, 126, 1, 15, 4, 255, 252},  // 16 bpp: 64-pixel spans
        {100, 28, 2, 7, 16, 127, 112},   // 32 bpp: 32-pixel spans
        {128, 128, 2, 72, 0, 511, 512},  // 32 bpp whole piece, overlay upload
    };
    for (const Row& r : rows) {
        const ULONG d = ulRowDescriptor(r.x, r.cx, r.iShift, r.ulKind);
        EXPECT_EQ(d & 0x7Fu, r.first) << r.x << "," << r.cx;
        EXPECT_EQ((d >> 7) & 0x3FFu, r.last) << r.x << "," << r.cx;
        EXPECT_EQ(d >> 17, r.ulKind) << r.x << "," << r.cx;
        EXPECT_EQ(cjDescriptorRow(d), r.bytes) << r.x << "," << r.cx;
    }
}

TEST(XferDescriptor, KindsByDepthFormatAndDirection) {
    EXPECT_EQ(ulTransferKind(0, 0x4000, FALSE), 15u);
    EXPECT_EQ(ulTransferKind(1, 0x8000, TRUE), 79u);
    EXPECT_EQ(ulTransferKind(2, 0xA000, FALSE), 7u);
    EXPECT_EQ(ulTransferKind(2, 0xA01F, TRUE), 71u);
    EXPECT_EQ(ulTransferKind(2, 0xC000, FALSE), 8u);
    EXPECT_EQ(ulTransferKind(2, 0xC005, TRUE), 72u);
}

TEST(XferDescriptor, ChunkRows) {
    // min(rows, 0x2000 / bytes a row, rows / 4 + 1), at most 511.
    EXPECT_EQ(cChunkRows(100, 64), 26);
    EXPECT_EQ(cChunkRows(1, 512), 1);
    EXPECT_EQ(cChunkRows(512, 512), 16);
    EXPECT_EQ(cChunkRows(3000, 1), 511);
    EXPECT_EQ(cChunkRows(8, 16), 3);
}

TEST(XferPieces, BandsOf512AndPiecesEndingOn128) {
    std::vector<RECTL> pieces;
    auto collect = [](void* pv, LONG x, LONG y, LONG cx, LONG cy) {
        static_cast<std::vector<RECTL>*>(pv)->push_back(RECTL{x, y, x + cx, y + cy});
    };
    vForEachPiece(100, 0, 400, 1200, collect, &pieces);
    std::vector<LONG> widths, heights;
    for (const RECTL& r : pieces) {
        if (r.top == 0) widths.push_back(r.right - r.left);
        if (r.left == 100) heights.push_back(r.bottom - r.top);
    }
    EXPECT_EQ(widths, (std::vector<LONG>{28, 128, 128, 16}));
    EXPECT_EQ(heights, (std::vector<LONG>{512, 512, 176}));
    EXPECT_EQ(pieces.size(), 12u);
}

class XferRows : public XferTest {
  protected:
    // A host bitmap whose bits lie at byte offset cjOffset of staging
    // buffer 0 (the direct path names such rows).
    SURFOBJ* StagingBitmap(LONG cx, LONG cy, ULONG iFormat, ULONG cjOffset = 0) {
        return HostBitmap(cx, cy, iFormat, false, pjStagingBuffer(ppdev, 0) + cjOffset);
    }
    ULONG StagingBus(const void* p) {
        return board->staging_bus(0) +
               static_cast<ULONG>(static_cast<const BYTE*>(p) - pjStagingBuffer(ppdev, 0));
    }
};

TEST_F(XferRows, UploadPiecesGoToTheTileOwners) {
    BootXfer(4, 8);
    const POINTL origin{0, 0};
    SURFOBJ* dev = DeviceBitmap(512, 16, &origin);
    SURFOBJ* host = StagingBitmap(300, 3, BMF_8BPP);
    Randomize(host, 1);
    RECTL rcl{100, 0, 400, 3};
    POINTL ptl{0, 0};
    vUploadRect(dev, host, &rcl, &ptl, FALSE, 0, nullptr);
    vFlushDevice(dev);

    // Tile columns 0 and 2 belong to rasterizer 0, columns 1 and 3 to 1.
    struct Expect {
        int r;
        LONG xSpan, xHost;
        ULONG first, bytes;
    };
    const Expect pieces[] = {
        {0, 0, 0, 100, 28}, {1, 128, 28, 0, 128}, {0, 256, 156, 0, 128}, {1, 384, 284, 0, 16}};
    std::vector<TransferRecord> got[4];
    for (int r = 0; r < 4; ++r) got[r] = Records(r);
    EXPECT_TRUE(got[2].empty());
    EXPECT_TRUE(got[3].empty());
    for (const Expect& e : pieces) {
        for (LONG y = 0; y < 3; ++y) {
            bool found = false;
            for (const TransferRecord& t : got[e.r]) {
                if (t.position != ((static_cast<ULONG>(y) << 16) | static_cast<ULONG>(e.xSpan)))
                    continue;
                found = true;
                EXPECT_EQ(t.pid, Pid(dev));
                EXPECT_EQ(t.descriptor & 0x7Fu, e.first);
                EXPECT_EQ(cjDescriptorRow(t.descriptor), e.bytes);
                EXPECT_EQ(t.descriptor >> 17, 15u | 64u);
                // The span's bus address: the first moved byte less its offset.
                EXPECT_EQ(t.bus + e.first, StagingBus(Row(host, y) + e.xHost));
            }
            EXPECT_TRUE(found) << "piece at " << e.xSpan << " row " << y;
        }
    }
    EXPECT_EQ(BoardPixels(dev, 100, 0, 300, 3), HostPixels(host, 0, 0, 300, 3));
}

TEST_F(XferRows, ADownloadOf1200RowsIsThreeBands) {
    BootXfer(1, 8);
    const POINTL origin{0, 0};
    SURFOBJ* dev = DeviceBitmap(16, 1200, &origin);
    RandomizeBoard(dev, 2);
    SURFOBJ* host = StagingBitmap(16, 1200, BMF_8BPP);
    RECTL rcl{0, 0, 16, 1200};
    POINTL ptl{0, 0};
    vDownloadRect(host, dev, &rcl, &ptl, FALSE, 0);
    vFlushDevice(dev);

    // Each band is one chunk, in packets of at most 511 records.
    std::vector<ULONG> counts;
    std::set<ULONG> rows;
    for (const auto& p : Take(0, vnx::board::ItemKind::Transfer)) {
        if ((p.transfers[0].descriptor & XFER_DESC_KIND_MASK) == 0) continue;  // close records
        counts.push_back(p.primitives);
        for (const auto& t : p.transfers) rows.insert(t.position >> 16);
    }
    EXPECT_EQ(counts, (std::vector<ULONG>{511, 1, 511, 1, 176}));
    EXPECT_EQ(rows.size(), 1200u);
    EXPECT_EQ(HostPixels(host, 0, 0, 16, 1200), BoardPixels(dev, 0, 0, 16, 1200));
}

TEST_F(XferRows, BounceChunksAlternateHalves) {
    BootXfer(1, 8);
    const POINTL origin{0, 0};
    SURFOBJ* dev = DeviceBitmap(64, 100, &origin);
    SURFOBJ* host = HostBitmap(64, 100, BMF_8BPP);
    Randomize(host, 3);
    RECTL rcl{0, 0, 64, 100};
    POINTL ptl{0, 0};
    vUploadRect(dev, host, &rcl, &ptl, TRUE, 0, nullptr);
    vFlushDevice(dev);

    // 64 bytes a row: chunks of min(100, 128, 26) rows, halves 0, 1, 0, 1.
    std::vector<ULONG> counts;
    std::vector<ULONG> firstBus;
    for (const auto& p : Take(0, vnx::board::ItemKind::Transfer)) {
        if ((p.transfers[0].descriptor & XFER_DESC_KIND_MASK) == 0) continue;
        counts.push_back(p.primitives);
        firstBus.push_back(p.transfers[0].bus + (p.transfers[0].descriptor & 0x7F));
        for (ULONG i = 1; i < p.transfers.size(); ++i)
            EXPECT_EQ(p.transfers[i].bus, p.transfers[0].bus + 64 * i);
    }
    const ULONG half = board->dma_bus();
    EXPECT_EQ(counts, (std::vector<ULONG>{26, 26, 26, 22}));
    EXPECT_EQ(firstBus, (std::vector<ULONG>{half, half + 0x2000, half, half + 0x2000}));
    EXPECT_EQ(BoardPixels(dev, 0, 0, 64, 100), HostPixels(host, 0, 0, 64, 100));
}

TEST_F(XferRows, DirectAskedForHostMemoryGoesThroughTheBounceBuffer) {
    BootXfer(2, 16);
    SURFOBJ* dev = DeviceBitmap(40, 20);
    SURFOBJ* host = HostBitmap(40, 20, BMF_16BPP);
    Randomize(host, 4);
    RECTL rcl{0, 0, 40, 20};
    POINTL ptl{0, 0};
    vUploadRect(dev, host, &rcl, &ptl, FALSE, 0, nullptr);
    vFlushDevice(dev);
    for (int r = 0; r < 2; ++r) {
        for (const TransferRecord& t : Records(r)) {
            const ULONG bus = t.bus + (t.descriptor & 0x7F);
            EXPECT_GE(bus, board->dma_bus());
            EXPECT_LT(bus, board->dma_bus() + 2 * XFER_BOUNCE_HALF_BYTES);
        }
    }
    EXPECT_EQ(BoardPixels(dev, 0, 0, 40, 20), HostPixels(host, 0, 0, 40, 20));
}

TEST_F(XferRows, BounceAndStagingLieOutsideTheRings) {
    BootXfer(4, 32);
    const ULONG dmaBus = board->dma_bus();
    const ULONG ringsBus = qm[0].ulRingBus;
    EXPECT_LE(dmaBus + XFER_BOUNCE_HALVES * XFER_BOUNCE_HALF_BYTES, ringsBus);
    EXPECT_EQ(ppdev->pStaging, board->staging_bus(0));
    for (int i = 0; i < 2; ++i) {
        const ULONG s = board->staging_bus(i);
        for (ULONG q = 0; q < Queues(); ++q) {
            const ULONG ringEnd = qm[q].ulRingBus + qm[q].cbRing;
            EXPECT_TRUE(s + XFER_STAGING_BYTES <= qm[q].ulRingBus || s >= ringEnd) << i << " " << q;
        }
        EXPECT_TRUE(s >= dmaBus + board->dma_bytes() || s + XFER_STAGING_BYTES <= dmaBus);
    }
}

TEST_F(XferRows, StagedPiecesOfACopyLeaveTheStreamsIntact) {
    // The copies stage two 128 x 128 pieces at 4 bytes a pixel (the second
    // at 0x10000) while packets wait in the rings: all of it round trips and
    // the board sees well-formed streams.
    BootXfer(4, 32);
    SURFOBJ* dev = DeviceBitmap(256, 128);
    RandomizeBoard(dev, 5);
    SURFOBJ* a = StagingBitmap(128, 128, BMF_32BPP, 0);
    SURFOBJ* b = StagingBitmap(128, 128, BMF_32BPP, 0x10000);
    SendFill(40);  // words in every ring
    RECTL rcl{0, 0, 128, 128};
    POINTL left{0, 0}, right{128, 0};
    vDownloadRect(a, dev, &rcl, &left, FALSE, 0);
    vDownloadRect(b, dev, &rcl, &right, FALSE, 0);
    vFlushDevice(dev);
    EXPECT_EQ(HostPixels(a, 0, 0, 128, 128), BoardPixels(dev, 0, 0, 128, 128));
    EXPECT_EQ(HostPixels(b, 0, 0, 128, 128), BoardPixels(dev, 128, 0, 128, 128));
    EXPECT_EQ(Errors(), "");

    // And back, swapped.
    RECTL rclLeft{0, 0, 128, 128}, rclRight{128, 0, 256, 128};
    POINTL zero{0, 0};
    std::vector<ULONG> wantLeft = HostPixels(b, 0, 0, 128, 128);
    std::vector<ULONG> wantRight = HostPixels(a, 0, 0, 128, 128);
    vUploadRect(dev, b, &rclLeft, &zero, FALSE, 0, nullptr);
    vUploadRect(dev, a, &rclRight, &zero, FALSE, 0, nullptr);
    vFlushDevice(dev);
    EXPECT_EQ(BoardPixels(dev, 0, 0, 128, 128), wantLeft);
    EXPECT_EQ(BoardPixels(dev, 128, 0, 128, 128), wantRight);
}

TEST_F(XferRows, SurfacesEveryRasterizerKeepsGoToEveryQueue) {
    // A tile carries pid bit 5: each rasterizer moves its rows.
    BootXfer(4, 32);
    HSURF h = CreateIGBETile(ppdev, 64, PID_FORMAT_32, 0);
    ASSERT_NE(h, nullptr);
    SURFOBJ* tile = EngLockSurface(h);
    devices_.push_back(tile);
    ASSERT_TRUE(Pid(tile) & PID_MARKER);
    SURFOBJ* host = HostBitmap(64, 4, BMF_32BPP);
    Randomize(host, 6);
    RECTL rcl{0, 0, 64, 4};
    POINTL ptl{0, 0};
    vUploadRect(tile, host, &rcl, &ptl, TRUE, 0, nullptr);
    vFlushDevice(tile);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(Records(r).size(), 4u) << r;
    EXPECT_EQ(BoardPixels(tile, 0, 0, 64, 4), HostPixels(host, 0, 0, 64, 4));
}

TEST_F(XferRows, TheBoardRefusesRecordsThatDoNotFit) {
    BootXfer(1, 16);
    const POINTL origin{0, 0};
    SURFOBJ* dev16 = DeviceBitmap(64, 4, &origin);
    SURFOBJ* dev32 = DeviceBitmap(64, 4, nullptr, 0, BMF_32BPP);
    const ULONG bus = board->staging_bus(0);
    std::memset(pjStagingBuffer(ppdev, 0), 0xEE, 256);
    struct Row {
        USHORT pid;
        ULONG bus, descriptor;
        const char* error;
    };
    const Row rows[] = {
        {Pid(dev32), bus, ulRowDescriptor(0, 8, 2, 15 | 64),
         "transfer kind 15 does not move the pixels"},
        {Pid(dev16), bus, ulRowDescriptor(0, 8, 1, 7 | 64),
         "transfer kind 7 does not move the pixels"},
        {Pid(dev32), bus, ulRowDescriptor(0, 8, 2, 8 | 64),
         "transfer kind 8 does not move the pixels"},
        {Pid(dev16), bus, 1u | 8u << 7 | 79u << 17, "does not fit pid"},  // odd first byte
        {Pid(dev16), bus, 9u | 8u << 7 | 79u << 17, "does not fit pid"},  // last before first
        {Pid(dev16), 0x100u, ulRowDescriptor(0, 8, 1, 79), "outside DMA memory"},
        {0xE000u, bus, ulRowDescriptor(0, 8, 0, 79), "without a pixel format"},
    };
    for (const Row& r : rows) {
        ULONG* p = kz2NewPacketQueue(qm, nullptr, 1);
        qm->pPacket[0] = XFER_CMD_TRANSFER;
        p[0] = 0;
        p[1] = r.pid;
        p[2] = r.bus;
        p[3] = r.descriptor;
        qm->pWrite = p + 4;
        qm->cPrims = 1;
        kz2SoftUpdatePacketPtr(qm, p + 4);
        kz2FlushQueue(qm, static_cast<ULONG>(-1), nullptr, nullptr);
        EXPECT_NE(Errors().find(r.error), std::string::npos) << r.error;
    }
    EXPECT_EQ(BoardPixels(dev16, 0, 0, 64, 4), std::vector<ULONG>(256, 0));
    EXPECT_EQ(BoardPixels(dev32, 0, 0, 64, 4), std::vector<ULONG>(256, 0));
}

}  // namespace
