// The board's DMA ring consumer and stream decoder against hand-built
// streams: well-formed packets of every layout, queue close records with
// their sync words, the wrap and restart, packets exposed in parts, the busy
// bit, and each kind of malformed stream.
#include <cstdio>
#include <functional>

#include "board_stream_util.h"

namespace vnx::board::test {
namespace {

using miniport::MachineConfig;

class BoardStreamTest : public BoardTest {
  protected:
    void SetUp() override { make(); }
};

std::string hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

TEST_F(BoardStreamTest, DecodesClearAndPointLoadPackets) {
    start(0);
    StreamWriter w = writer(0);
    const std::uint32_t clear = w.bus();
    w.put({0x02101026, 1, 0x0000, 0x10360348, 0, (768u << 16) | 1024, 0, vtx(0, 0), vtx(1024, 0),
           vtx(1024, 768), vtx(0, 768)});
    const std::uint32_t dither = w.bus();
    w.put({0x02102000, 3, 0xA05F, 0x00360348, 0x11, vtx(0, 0), 0x22, vtx(1, 0), 0x33, vtx(2, 0)});
    expose(0, w.hand_over());

    const auto items = board->packets(0);
    ASSERT_EQ(items.size(), 2u);
    const DecodedPacket& c = items[0];
    EXPECT_EQ(c.kind, ItemKind::Packet);
    EXPECT_EQ(c.bus, clear);
    EXPECT_EQ(c.command, 0x02101026u);
    EXPECT_EQ(c.primitives, 1u);
    EXPECT_EQ(c.pids, std::vector<std::uint32_t>{0});
    EXPECT_EQ(c.instructions, std::vector<std::uint32_t>{0x10360348});
    EXPECT_TRUE(c.hasClip);
    EXPECT_EQ(c.clipMin, 0u);
    EXPECT_EQ(c.clipMax, (768u << 16) | 1024);
    EXPECT_EQ(c.constants, std::vector<std::uint32_t>{0});
    EXPECT_EQ(c.wordsPerPrimitive, 4u);
    EXPECT_EQ(c.vertex(0, 2), vtx(1024, 768));

    const DecodedPacket& d = items[1];
    EXPECT_EQ(d.bus, dither);
    EXPECT_FALSE(d.hasClip);
    EXPECT_EQ(d.pid(0), 0xA05F);
    EXPECT_EQ(d.primitives, 3u);
    EXPECT_EQ(d.wordsPerPrimitive, 2u);
    EXPECT_EQ(d.primitive(1), (std::vector<std::uint32_t>{0x22, vtx(1, 0)}));
    EXPECT_EQ(d.vertex(2, 0), vtx(2, 0));

    EXPECT_EQ(error_text(), "");
    EXPECT_EQ(board->read_register(0, VNX_REG_READ_PTR),
              board->read_register(0, VNX_REG_WRITE_PTR));
    EXPECT_FALSE(busy(0));
    EXPECT_FALSE(board->engine_stopped(0));
    const StreamSummary s = board->summary(0);
    EXPECT_EQ(s.packets, 2u);
    EXPECT_EQ(s.primitives, 4u);
    EXPECT_GE(s.nops, 64u);
}

// Words each layout puts per packet and per primitive, checked by decoding a
// packet of two primitives whose words count up from 1000.
TEST_F(BoardStreamTest, PacketLayoutsByCommandWord) {
    struct Row {
        const char* name;
        std::uint32_t command;
        std::uint32_t pidWords, instructions, clipWords, packetWords, perPrimitive, vertices;
        // What the executor says of the made-up words, if anything.
        const char* error = "";
    };
    const Row rows[] = {
        {"solid fill", 0x02101026, 1, 1, 2, 1, 4, 4},
        {"fill with constants 29 and 30", 0x02151026, 1, 1, 2, 3, 4, 4},
        {"same-position copy", 0x02150026, 1, 1, 2, 2, 4, 4},
        {"32-bit clear", 0x02201026, 1, 2, 2, 1, 4, 4},
        {"point load", 0x02102000, 1, 1, 0, 0, 2, 1},
        {"pattern block", 0x02100006, 1, 1, 0, 0, 4, 4},
        {"block copy", 0x02400C26, 1, 4, 2, 4, 8, 4},
        {"block copy with masks", 0x02450C26, 1, 4, 2, 6, 8, 4},
        {"glyphs", 0x02101332, 1, 1, 2, 1, 11, 2},
        {"opaque glyphs", 0x02205332, 1, 2, 2, 2, 11, 2},
        {"mono expansion", 0x02205326, 1, 2, 2, 2, 12, 4},
        {"two-colour fill", 0x02205226, 1, 2, 2, 2, 4, 4},
        {"mono pattern load", 0x00100280, 0, 1, 0, 8, 1, 1,
         "monochrome pattern load: instruction not known\n"},
        // Every class numbers load kinds as the generator does: 3 a word
        // per vertex, 2 a word per primitive.
        {"triangles, colour and depth per primitive", 0x0210A025, 1, 1, 2, 0, 5, 3},
        {"triangles, generator layout 15", 0x0210E025, 1, 1, 2, 0, 7, 3},
        // Layout 16 names its alpha register z1: colour, alpha, three
        // depths, three positions.
        {"triangles, generator layout 16", 0x0212E025, 1, 1, 2, 0, 8, 3},
        // Layout 18: the colour in the packet, depths and positions.
        {"triangles, generator layout 18", 0x0210D025, 1, 1, 2, 1, 6, 3},
        {"triangles, colour per vertex, depth per primitive", 0x0210B025, 1, 1, 2, 0, 7, 3},
        // The generator's layout 12 (rgb0 and z0 load kind 3): read by the
        // render functions' data-word table, three colours, three depths,
        // three positions.
        {"triangles, generator layout 12", 0x0210F025, 1, 1, 2, 0, 9, 3},
        {"triangles, layout 12 with 8 constants per packet", 0x0210F425, 1, 1, 2, 8, 9, 3},
        // Without the clip pair the same load kinds follow the generic rule,
        // which reads them the same way: a colour and a depth word per vertex.
        {"triangles without clip pair, generic loads", 0x0210F005, 1, 1, 0, 0, 9, 3},
        {"triangles, 8 constants per packet", 0x02100425, 1, 1, 2, 8, 3, 3},
        {"triangles, 8 constants per primitive", 0x02100825, 1, 1, 2, 0, 11, 3},
        {"thin lines", 0x02100031, 1, 1, 2, 0, 2, 2},
        {"thin lines, colour per vertex", 0x02103031, 1, 1, 2, 0, 4, 2},
        {"thin lines, colour per segment, depth per vertex", 0x0210E031, 1, 1, 2, 0, 5, 2},
        // A wide line sends its second depth word twice, then its width.
        {"wide lines, colour and depth per vertex", 0x0210F032, 1, 1, 2, 0, 8, 2},
        // A stippled line leads each segment with its 8-word stipple block.
        {"stippled thin lines, colour per vertex", 0x02103131, 1, 1, 2, 0, 12, 2},
        // An antialiased line (kernel classes 3 and 4) sends three words for
        // each register but rgb0 loaded once a vertex: the coverage's 0xFF,
        // 0xFF, 0 (z0 here), then a depth's two ends and its second again.
        {"antialiased lines, coverage per vertex", 0x0210C033, 1, 1, 2, 0, 6, 2},
        {"antialiased lines, colour, depth and coverage per vertex", 0x0213F034, 1, 1, 2, 0, 11, 2},
        {"rectangles, colour per primitive", 0x02102026, 1, 1, 2, 0, 5, 4},
        {"rectangles, colour per corner", 0x02103026, 1, 1, 2, 0, 8, 4},
    };
    std::uint32_t at = ring(0);
    board->write_register(0, VNX_REG_WRITE_PTR, at);
    board->write_register(0, VNX_REG_READ_PTR, at);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StreamWriter w(*board, at);
        const std::uint32_t head =
            2 + row.pidWords + row.instructions + row.clipWords + row.packetWords;
        w.put({row.command, 2});
        std::uint32_t n = 1000;
        for (std::uint32_t i = 2; i < head + 2 * row.perPrimitive; ++i) w.put({n++});
        at = w.hand_over();
        expose(0, at);
        const auto items = board->take_packets(0);
        ASSERT_EQ(items.size(), 1u);
        const DecodedPacket& p = items[0];
        EXPECT_EQ(p.pids.size(), row.pidWords);
        EXPECT_EQ(p.instructions.size(), row.instructions);
        EXPECT_EQ(p.hasClip, row.clipWords == 2);
        EXPECT_EQ(p.constants.size(), row.packetWords);
        EXPECT_EQ(p.wordsPerPrimitive, row.perPrimitive);
        EXPECT_EQ(p.verticesPerPrimitive, row.vertices);
        ASSERT_EQ(p.primitiveWords.size(), 2 * row.perPrimitive);
        EXPECT_EQ(p.primitiveWords.front(), 1000 + head - 2);
        EXPECT_EQ(p.primitiveWords.back(), n - 1);
        EXPECT_EQ(error_text(), row.error);
    }
}

TEST_F(BoardStreamTest, CloseRecordClearsSyncWordStopsAndRestarts) {
    start(0);
    StreamWriter w = writer(0);
    w.put({0x02101026, 1, 0x0000, 0x10360348, 0, 0x01000100, 7, vtx(0, 0), vtx(8, 0), vtx(8, 8),
           vtx(0, 8)});
    std::uint32_t sync = 0;
    const std::uint32_t wp = w.close((0u << 16) | 0, 0x4000, &sync);
    EXPECT_EQ(w.get(sync), 1u);
    expose(0, wp);

    EXPECT_EQ(w.get(sync), 0u) << "the close record's transfer clears its sync word";
    EXPECT_TRUE(board->engine_stopped(0));
    EXPECT_EQ(board->read_register(0, VNX_REG_READ_PTR), wp);
    EXPECT_FALSE(busy(0));
    const auto items = board->take_packets(0);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].kind, ItemKind::Packet);
    EXPECT_EQ(items[1].kind, ItemKind::Empty);
    ASSERT_EQ(items[2].kind, ItemKind::Transfer);
    ASSERT_EQ(items[2].transfers.size(), 1u);
    EXPECT_EQ(items[2].transfers[0].bus, sync);
    EXPECT_EQ(items[2].transfers[0].descriptor, 384u);
    EXPECT_EQ(items[2].control, 1u) << "recorded as read, before the clear";
    EXPECT_EQ(items[3].kind, ItemKind::End);
    EXPECT_EQ(error_text(), "");

    // While stopped, write-pointer writes do nothing; the driver's restart
    // (write then read pointer at the ring start) runs the engine again.
    start(0);
    EXPECT_FALSE(board->engine_stopped(0));
    StreamWriter again = writer(0);
    again.put({kWordEmpty, 0, kWordSync});
    expose(0, again.hand_over());
    const auto after = board->take_packets(0);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].kind, ItemKind::Empty);
    EXPECT_EQ(after[0].bus, ring(0));
    EXPECT_EQ(after[1].kind, ItemKind::Sync);
    EXPECT_EQ(error_text(), "");
}

TEST_F(BoardStreamTest, PacketExposedInPartsWaitsAndIsBusy) {
    start(0);
    StreamWriter w = writer(0);
    w.nops(30);  // the packet starts 8 bytes before a line boundary
    const std::uint32_t packet = w.bus();
    w.put({0x02101026, 1, 0x0000, 0x10360348, 0, 0x01000100, 5, vtx(0, 0), vtx(8, 0), vtx(8, 8),
           vtx(0, 8)});
    expose(0, ring(0) + 128);  // only the command and control words
    EXPECT_TRUE(board->packets(0).empty());
    EXPECT_EQ(board->decode_position(0), packet);
    EXPECT_EQ(board->read_register(0, VNX_REG_READ_PTR), ring(0) + 128);
    EXPECT_TRUE(busy(0)) << "an incomplete packet keeps the rasterizer busy";

    // The driver continues the open packet: one more rectangle and a new
    // control word, written after the header was exposed.
    w.put({vtx(16, 0), vtx(24, 0), vtx(24, 8), vtx(16, 8)});
    w.set(packet + 4, 2);
    expose(0, w.hand_over());
    const auto items = board->packets(0);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].primitives, 2u);
    EXPECT_EQ(items[0].vertex(1, 0), vtx(16, 0));
    EXPECT_FALSE(busy(0));
    EXPECT_EQ(error_text(), "");
}

TEST_F(BoardStreamTest, BusyForConfiguredReadsAfterNewWords) {
    MachineConfig cfg;
    cfg.busyReads = 2;
    make(cfg);
    start(0);
    EXPECT_FALSE(busy(0)) << "starting the engine exposes nothing";
    StreamWriter w = writer(0);
    w.put({kWordEmpty, 0, kWordSync});
    const std::uint32_t wp = w.hand_over();
    expose(0, wp);
    EXPECT_TRUE(busy(0));
    EXPECT_TRUE(busy(0));
    EXPECT_FALSE(busy(0));
    expose(0, wp);  // nothing new
    EXPECT_FALSE(busy(0));
}

TEST_F(BoardStreamTest, EngineStoppedAtPowerOnUntilReadPointerWritten) {
    StreamWriter w = writer(0);
    w.put({kWordEmpty, 0});
    expose(0, w.hand_over());
    EXPECT_TRUE(board->engine_stopped(0));
    EXPECT_TRUE(board->packets(0).empty());
    EXPECT_EQ(error_text(), "");
}

TEST_F(BoardStreamTest, RasterizersConsumeTheirOwnRings) {
    MachineConfig cfg;
    cfg.rasterizers = 2;
    make(cfg);
    start(0);
    start(1);
    StreamWriter w0 = writer(0), w1 = writer(1);
    w0.put({0x02102000, 1, 0, 0x00360348, 0x1, vtx(0, 0)});
    w1.put({0x02102000, 2, 0, 0x00360348, 0x2, vtx(128, 0), 0x3, vtx(129, 0)});
    expose(1, w1.hand_over());
    EXPECT_TRUE(board->packets(0).empty());
    ASSERT_EQ(board->packets(1).size(), 1u);
    expose(0, w0.hand_over());
    ASSERT_EQ(board->packets(0).size(), 1u);
    EXPECT_EQ(board->packets(0)[0].primitives, 1u);
    EXPECT_EQ(board->packets(1)[0].primitives, 2u);
}

TEST_F(BoardStreamTest, ExecutorSeesDrawingAndTransferPackets) {
    std::vector<ItemKind> seen;
    board->set_executor([&](Board&, int r, const DecodedPacket& p) {
        EXPECT_EQ(r, 0);
        seen.push_back(p.kind);
    });
    start(0);
    StreamWriter w = writer(0);
    w.put({0x02102000, 1, 0, 0x00360348, 0x1, vtx(0, 0)});
    std::uint32_t sync = 0;
    expose(0, w.close(0, 0, &sync));
    EXPECT_EQ(seen, (std::vector<ItemKind>{ItemKind::Packet, ItemKind::Transfer}));
}

TEST_F(BoardStreamTest, RecordingOffKeepsOnlyTheSummary) {
    board->set_recording(false);
    start(0);
    StreamWriter w = writer(0);
    w.put({0x02102000, 1, 0, 0x00360348, 0x1, vtx(0, 0)});
    expose(0, w.hand_over());
    EXPECT_TRUE(board->packets(0).empty());
    EXPECT_EQ(board->summary(0).packets, 1u);
}

// Each malformed stream is reported; after it the decoder finds its way to
// the queue close record, so a driver waiting for the sync word goes on.
TEST_F(BoardStreamTest, MalformedStreamsAreReported) {
    const std::vector<std::uint32_t> rect = {0x02101026, 1,          0x0000,   0x10360348,
                                             0,          0x01000100, 9,        vtx(0, 0),
                                             vtx(8, 0),  vtx(8, 8),  vtx(0, 8)};
    struct Row {
        const char* name;
        std::function<void(StreamWriter&)> build;
        const char* error;
        bool reachesClose;
    };
    const Row rows[] = {
        {"bad command word",
         [](StreamWriter& w) {
             w.put({0x12345678, 0});
         },
         "bad command word 0x12345678", true},
        {"layout not known",
         [](StreamWriter& w) {
             w.put({0x02100126, 0, 0, 0});
         },
         "packet layout not known for command word 0x02100126", true},
        {"count too high",
         [&](StreamWriter& w) {
             std::vector<std::uint32_t> first = rect;
             first[1] = 2;
             w.put(first).put(rect);
         },
         "bad command word 0x00000000", true},
        {"count too low",
         [&](StreamWriter& w) {
             w.put(rect).put({vtx(16, 16), vtx(24, 16), vtx(24, 24), vtx(16, 24)});
         },
         "packet layout not known for command word 0x01000100", true},
        {"bad control word",
         [](StreamWriter& w) {
             w.put({0x02101026, 0x00100001});
         },
         "bad control word 0x00100001", true},
        {"empty packet with a count",
         [](StreamWriter& w) {
             w.put({kWordEmpty, 5});
         },
         "empty packet at", true},
        {"transfer without records",
         [](StreamWriter& w) {
             w.put({kWordTransfer, 0});
         },
         "transfer packet at", true},
        {"transfer outside DMA memory",
         [](StreamWriter& w) {
             w.put({kWordTransfer, 1, 0, 0, 0x100, 384});
         },
         "transfer to bus address 0x00000100 outside DMA memory", true},
        {"packet past the end of the DMA buffer",
         [](StreamWriter& w) {
             w.put({0x02101026, 0xFFFF});
         },
         "runs past the end of the DMA buffer", true},
        {"END without fill words",
         [](StreamWriter& w) {
             w.put({kWordEnd, 0, 0, 0});
         },
         "without its three fill words", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        make();
        start(0);
        StreamWriter w = writer(0);
        row.build(w);
        std::uint32_t sync = 0;
        const std::uint32_t wp = w.close(0, 0, &sync);
        expose(0, wp);
        const std::string errors = error_text();
        EXPECT_NE(errors.find(row.error), std::string::npos) << errors;
        EXPECT_EQ(w.get(sync) == 0, row.reachesClose);
        EXPECT_TRUE(board->engine_stopped(0));
        EXPECT_EQ(board->read_register(0, VNX_REG_READ_PTR), wp);
    }
}

TEST_F(BoardStreamTest, PacketCutOffByRestartIsReported) {
    start(0);
    StreamWriter w = writer(0);
    w.nops(30);
    w.put({0x02101026, 1, 0x0000, 0x10360348});
    expose(0, ring(0) + 128);
    // Restart at the ring start while the packet's end was never exposed.
    board->write_register(0, VNX_REG_READ_PTR, ring(0));
    const std::string errors = error_text();
    EXPECT_NE(errors.find("packet cut off at 0x"), std::string::npos) << errors;
    EXPECT_EQ(board->decode_position(0), ring(0));
}

TEST_F(BoardStreamTest, BadPointerWritesAreReported) {
    start(0);
    expose(0, board->dma_bus() + board->dma_bytes() + 4);
    EXPECT_NE(error_text().find("outside the DMA buffer"), std::string::npos);
    start(0);
    expose(0, ring(0) + 2);
    EXPECT_NE(error_text().find("outside the DMA buffer"), std::string::npos);
    start(0);
    StreamWriter w = writer(0);
    w.put({kWordEmpty, 0});
    expose(0, w.hand_over());
    expose(0, ring(0));
    EXPECT_NE(error_text().find("behind the read pointer"), std::string::npos);
    board->write_register(0, VNX_REG_READ_PTR, 0x100);
    EXPECT_NE(error_text().find("read pointer 0x00000100 outside the DMA buffer"),
              std::string::npos);
}

TEST_F(BoardStreamTest, EndMarksMustFollowTheEnd) {
    start(0);
    StreamWriter w = writer(0);
    w.put({kWordEnd, kFillMarks[0], kFillMarks[1], kFillMarks[2]});
    expose(0, ring(0) + 128);
    EXPECT_EQ(error_text(), "");
    EXPECT_TRUE(board->engine_stopped(0));

    start(0);
    StreamWriter v = writer(0);
    v.nops(31).put({kWordEnd, kFillMarks[0], kFillMarks[1], kFillMarks[2]});
    expose(0, ring(0) + 128);  // the END ends the line, its marks are not exposed
    EXPECT_EQ(error_text(), "END at 0x" + hex(ring(0) + 124) + " without its three fill words\n");
}

TEST_F(BoardStreamTest, NopPaddingToLinesIsChecked) {
    start(0);
    StreamWriter w = writer(0);
    w.put({kWordEmpty, 0});  // no NOPs: the close record starts mid-line
    const std::uint32_t record = w.bus();
    w.put({kWordTransfer, 1, 0, 0, record + 4, 384, kWordEnd});
    w.put({kFillMarks[0], kFillMarks[1], kFillMarks[2]});
    expose(0, ring(0) + 128);
    EXPECT_EQ(error_text(), "queue close record at 0x" + hex(record) + " not on a 128-byte line\n");
    EXPECT_EQ(w.get(record + 4), 0u) << "the record is still carried out";

    start(0);
    StreamWriter v = writer(0);
    v.put({kWordEmpty, 0, kWordSync});
    expose(0, ring(0) + 12);
    EXPECT_EQ(error_text(), "write pointer 0x" + hex(ring(0) + 12) + " not on a 128-byte line\n");
    EXPECT_EQ(board->packets(0).back().kind, ItemKind::Sync) << "the words are still taken";
}

}  // namespace
}  // namespace vnx::board::test
