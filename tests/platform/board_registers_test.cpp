// The register windows of the board model: tile ownership by machine shape,
// read-back registers, access through the window addresses, the RAMDAC
// index/data window with its cursor registers, and the vertical-retrace latch
// the vertical-blank wait relies on, and the event log that orders register
// writes among retraces and stream items.
#include <tuple>

#include "board_stream_util.h"
#include "platform/debug.h"

namespace vnx::board::test {
namespace {

using miniport::MachineConfig;

// A long run keeps the newest RAMDAC stores only, not every one.
TEST_F(BoardTest, RamdacStoreRecordsAreBounded) {
    make(MachineConfig{});
    board->take_ramdac_writes(0);
    for (ULONG i = 0; i < 300000; ++i) {
        board->write_register(0, VNX_REG_RAMDAC_INDEX_LO, 0x31);
        board->write_register(0, VNX_REG_RAMDAC_INDEX_HI, 0);
        board->write_register(0, VNX_REG_RAMDAC_DATA, i);
    }
    const auto w = board->take_ramdac_writes(0);
    EXPECT_LE(w.size(), std::size_t{1} << 17);
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w.back().index, 0x31u);
    EXPECT_EQ(w.back().value, 299999u);
}

TEST_F(BoardTest, TileOwnershipWordsByMachineShape) {
    struct Row {
        int rasterizers, boards, memoryClass, xCode, yCode;
        bool stereo;
        std::vector<std::uint32_t> words;  // one per rasterizer of all boards
    };
    const Row rows[] = {
        {1, 1, 1, 0, 0, false, {0xFFFF2000}},
        {1, 1, 2, 3, 1, true, {0xFFFF4000 | 3u << 9 | 1u << 11 | 1}},
        {2, 1, 0, 0, 0, false, {0xA5A50000, 0x5A5A0000}},
        {4, 1, 0, 1, 0, false, {0x05050200, 0x0A0A0200, 0x50500200, 0xA0A00200}},
        {2, 2, 1, 0, 0, false, {0xA5A52000, 0x5A5A2000, 0xA5A52000, 0x5A5A2000}},
    };
    for (const Row& row : rows) {
        MachineConfig cfg;
        cfg.rasterizers = row.rasterizers;
        cfg.boards = row.boards;
        cfg.memoryClass = row.memoryClass;
        cfg.xMultiplierCode = row.xCode;
        cfg.yMultiplierCode = row.yCode;
        cfg.stereo = row.stereo;
        make(cfg);
        ASSERT_EQ(board->rasterizers(), static_cast<int>(row.words.size()));
        for (int r = 0; r < board->rasterizers(); ++r) {
            EXPECT_EQ(board->read_register(r, VNX_REG_TILE_OWNER), row.words[r])
                << row.rasterizers << "x" << row.boards << " rasterizer " << r;
        }
    }
}

// The dither and pattern loads copy a pixel to +128 in x (two rasterizers)
// and to +128 in y (four) so that every rasterizer gets one: the tiles must
// be owned that way.
TEST_F(BoardTest, NeighbourTilesBelongToEachRasterizer) {
    for (int n : {1, 2, 4}) {
        MachineConfig cfg;
        cfg.rasterizers = n;
        cfg.boards = 2;
        make(cfg);
        for (int b = 0; b < 2; ++b) {
            std::vector<int> owners = {board->tile_owner(b, 0, 0), board->tile_owner(b, 128, 0),
                                       board->tile_owner(b, 0, 128), board->tile_owner(b, 128, 128)};
            for (int k = 0; k < n; ++k) EXPECT_EQ(owners[k], b * n + k) << n;
        }
        EXPECT_EQ(board->tile_owner(0, 512 + 5, 512 + 7), board->tile_owner(0, 5, 7));
    }
}

TEST_F(BoardTest, RegistersReadBackAndRefuseStrayAccess) {
    make();
    board->write_register(0, VNX_REG_PAGE_SLOT0 + 4 * 31, 0x1234);
    EXPECT_EQ(board->read_register(0, VNX_REG_PAGE_SLOT0 + 4 * 31), 0x1234u);
    EXPECT_EQ(board->read_register(0, VNX_REG_PAGE_SLOT0), VNX_PAGE_SLOT_FREE);
    board->write_register(0, VNX_REG_CONFIG, VNX_CONFIG_UNITS | VNX_CONFIG_BUSY);
    EXPECT_EQ(board->read_register(0, VNX_REG_CONFIG), VNX_CONFIG_UNITS)
        << "the busy bit is the board's, not writable";
    EXPECT_EQ(error_text(), "");

    const std::uint32_t owner = board->read_register(0, VNX_REG_TILE_OWNER);
    board->write_register(0, VNX_REG_TILE_OWNER, 0);
    EXPECT_EQ(board->read_register(0, VNX_REG_TILE_OWNER), owner);
    EXPECT_NE(error_text().find("write of the read-only tile ownership at register offset 0x10"),
              std::string::npos);
    EXPECT_EQ(board->read_register(0, 0x20), 0u);
    EXPECT_NE(error_text().find("read of no register at register offset 0x20"), std::string::npos);
    board->write_register(0, 0x401, 1);
    EXPECT_NE(error_text().find("write of no register at register offset 0x401"), std::string::npos);
}

TEST_F(BoardTest, WindowAddressesReachTheRegisters) {
    MachineConfig cfg;
    cfg.rasterizers = 2;
    make(cfg);
    vnx::debug::clear();
    void* w1 = board->window(1);
    VnxRegWrite(w1, VNX_REG_PAGE_SLOT0 + 8, 0x55);
    EXPECT_EQ(board->read_register(1, VNX_REG_PAGE_SLOT0 + 8), 0x55u);
    EXPECT_EQ(board->read_register(0, VNX_REG_PAGE_SLOT0 + 8), VNX_PAGE_SLOT_FREE);
    EXPECT_EQ(VnxRegRead(w1, VNX_REG_TILE_OWNER), board->read_register(1, VNX_REG_TILE_OWNER));
    EXPECT_EQ(board->window(2), nullptr);
    EXPECT_EQ(vnx::debug::take(), "");

    board->set_windows_mapped(false);
    EXPECT_EQ(VnxRegRead(w1, VNX_REG_TILE_OWNER), 0xFFFFFFFFu);
    VnxRegWrite(w1, VNX_REG_PAGE_SLOT0 + 8, 0x66);
    EXPECT_EQ(board->read_register(1, VNX_REG_PAGE_SLOT0 + 8), 0x55u);
    const std::string text = vnx::debug::take();
    EXPECT_NE(text.find("VnxRegRead32: no mapped register window at"), std::string::npos) << text;
    EXPECT_NE(text.find("VnxRegWrite32: no mapped register window at"), std::string::npos) << text;

    board.reset();  // a destroyed board's windows answer nothing either
    EXPECT_EQ(VnxRegRead32(w1), 0xFFFFFFFFu);
    EXPECT_NE(vnx::debug::take().find("no mapped register window"), std::string::npos);
}

TEST_F(BoardTest, RamdacIndexStepsOnDataStoresAndHoldsTheCursor) {
    MachineConfig cfg;
    cfg.rasterizers = 2;
    cfg.boards = 2;
    make(cfg);
    auto ramdac = [&](int r, ULONG off, ULONG v) { board->write_register(r, off, v); };
    // Cursor on, position, colours: as the pointer code writes them.
    ramdac(0, VNX_REG_RAMDAC_INDEX_LO, 0x30);
    ramdac(0, VNX_REG_RAMDAC_INDEX_HI, 0);
    ramdac(0, VNX_REG_RAMDAC_DATA, 0x35);
    ramdac(0, VNX_REG_RAMDAC_DATA, (20u << 16) | 10);  // 0x31 keeps 32 bits
    ramdac(1, VNX_REG_RAMDAC_INDEX_LO, 0x40);           // any window of the board
    for (ULONG i = 0; i < 9; ++i) ramdac(1, VNX_REG_RAMDAC_DATA, 0x100 + i);  // bytes kept
    ramdac(0, VNX_REG_RAMDAC_INDEX_LO, 0x00);
    ramdac(0, VNX_REG_RAMDAC_INDEX_HI, 0x01);
    for (ULONG i = 0; i < 1024; ++i) ramdac(0, VNX_REG_RAMDAC_DATA, i & 0xFF);

    const CursorState c = board->cursor(0);
    EXPECT_TRUE(c.on);
    EXPECT_EQ(c.position, (20u << 16) | 10);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(c.colours[i], i);
    EXPECT_EQ(c.image[0], 0);
    EXPECT_EQ(c.image[1023], 0xFF);
    EXPECT_EQ(board->read_register(0, VNX_REG_RAMDAC_INDEX_LO), 0x00u);
    EXPECT_EQ(board->read_register(0, VNX_REG_RAMDAC_INDEX_HI), 0x05u);
    EXPECT_FALSE(board->cursor(1).on) << "the second board has its own RAMDAC";

    ramdac(2, VNX_REG_RAMDAC_INDEX_LO, 0x0C);
    ramdac(2, VNX_REG_RAMDAC_INDEX_HI, 0);
    ramdac(2, VNX_REG_RAMDAC_DATA, 0x7);
    ramdac(2, VNX_REG_RAMDAC_INDEX_LO, 0x0C);
    EXPECT_EQ(board->read_register(2, VNX_REG_RAMDAC_DATA), 0x7u);
    EXPECT_EQ(board->read_register(2, VNX_REG_RAMDAC_INDEX_LO), 0x0Cu) << "reads do not step";
    EXPECT_EQ(board->ramdac_register(1, 0x0C), 0x7u);
    EXPECT_EQ(board->ramdac_register(0, 0x0C), 0x0u);
}

// The cursor over a picture of the screen: at its position (two signed
// 16-bit halves), cut off at every edge, transparent pixels and a cursor
// that is off leaving the picture alone. Data stores are kept in order.
TEST_F(BoardTest, CursorShowsOverThePictureAtItsPosition) {
    make(MachineConfig{});
    auto store = [&](ULONG index, std::vector<ULONG> values) {
        board->write_register(0, VNX_REG_RAMDAC_INDEX_LO, index & 0xFF);
        board->write_register(0, VNX_REG_RAMDAC_INDEX_HI, index >> 8);
        for (ULONG v : values) board->write_register(0, VNX_REG_RAMDAC_DATA, v);
    };
    store(0x40, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99});
    // Row 0: codes 1 2 3 0; row 63, last byte: code 3 at pixel 63.
    store(0x100, {0x6C});
    store(0x100 + 63 * 16 + 15, {0x03});
    const LONG cx = 100, cy = 80;
    struct Seen {
        LONG x, y;
        std::uint32_t rgb;  // 7: the picture's own
    };
    struct Row {
        LONG x, y;
        bool on;
        std::vector<Seen> seen;
    };
    const Row rows[] = {
        {10, 20, true, {{10, 20, 0x112233}, {11, 20, 0x445566}, {12, 20, 0x778899}, {13, 20, 7}}},
        // Only the image's last row shows, at the top.
        {-1, -63, true, {{62, 0, 0x778899}, {0, 0, 7}}},
        {98, 79, true, {{98, 79, 0x112233}, {99, 79, 0x445566}}},
        {10, 20, false, {{10, 20, 7}}},
    };
    board->take_ramdac_writes(0);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.x) + ", " + std::to_string(row.y));
        store(0x30, {row.on ? 0x35u : 0x14u});
        store(0x31, {(static_cast<ULONG>(row.y) << 16) | (static_cast<ULONG>(row.x) & 0xFFFF)});
        const auto w = board->take_ramdac_writes(0);
        ASSERT_EQ(w.size(), 2u);
        EXPECT_EQ(w[1].index, 0x31u);
        EXPECT_EQ(w[1].value, (static_cast<ULONG>(row.y) << 16) | (static_cast<ULONG>(row.x) & 0xFFFF));
        std::vector<std::uint32_t> picture(static_cast<size_t>(cx) * cy, 7);
        board->cursor(0).overlay(picture.data(), cx, cy, static_cast<size_t>(cx));
        for (const Seen& p : row.seen)
            EXPECT_EQ(picture[static_cast<size_t>(p.y) * cx + p.x], p.rgb) << p.x << ", " << p.y;
        size_t changed = 0;
        for (std::uint32_t v : picture) changed += v != 7;
        EXPECT_LE(changed, 4u);
    }
}

// Registers 0x33 and 0x34 show a new value only after a vertical retrace:
// reading 0x33 back until it answers the written byte is the wait.
TEST_F(BoardTest, RetraceLatchTakesValuesAtTheRetrace) {
    MachineConfig cfg;
    cfg.ramdacReadsPerFrame = 0;  // retraces only on demand
    make(cfg);
    auto write = [&](ULONG index, ULONG v) {
        board->write_register(0, VNX_REG_RAMDAC_INDEX_LO, index);
        board->write_register(0, VNX_REG_RAMDAC_INDEX_HI, 0);
        board->write_register(0, VNX_REG_RAMDAC_DATA, v);
    };
    auto read = [&](ULONG index) {
        board->write_register(0, VNX_REG_RAMDAC_INDEX_LO, index);
        board->write_register(0, VNX_REG_RAMDAC_INDEX_HI, 0);
        return board->read_register(0, VNX_REG_RAMDAC_DATA);
    };
    write(0x33, 0x12);
    write(0x34, 0x01);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(read(0x33), 0u);
    EXPECT_EQ(board->retraces(0), 0u);
    board->vertical_retrace();
    EXPECT_EQ(read(0x33), 0x12u);
    EXPECT_EQ(read(0x34), 0x01u);
    EXPECT_EQ(board->retraces(0), 1u);
    write(0x36, 1);
    EXPECT_EQ(read(0x36), 1u) << "other registers take values at once";

    cfg.ramdacReadsPerFrame = 4;  // retraces by themselves while the driver polls
    make(cfg);
    write(0x33, 0x21);
    int polls = 0;
    while (read(0x33) != 0x21u && polls < 100) ++polls;
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(board->retraces(0), 1u);
}

// The event log keeps, in the order the board saw them, the page-slot
// writes of every rasterizer, RAMDAC data stores, retraces and decoded
// stream items; it is off until asked for and starts empty when switched.
TEST_F(BoardTest, EventLogOrdersSlotWritesAmongRetracesAndItems) {
    MachineConfig cfg;
    cfg.rasterizers = 2;
    cfg.boards = 2;
    cfg.ramdacReadsPerFrame = 0;
    make(cfg);
    board->write_register(0, VNX_REG_PAGE_SLOT0, 0x21);
    board->set_event_log(true);
    EXPECT_TRUE(board->take_events().empty()) << "nothing kept while off";

    board->write_register(3, VNX_REG_PAGE_SLOT0 + 4 * 7, 0x0842);
    board->write_register(2, VNX_REG_RAMDAC_INDEX_LO, 0x36);
    board->write_register(2, VNX_REG_RAMDAC_INDEX_HI, 0);
    board->write_register(2, VNX_REG_RAMDAC_DATA, 0x101);
    board->vertical_retrace();
    start(1);
    {
        StreamWriter w = writer(1);
        w.put({kWordSync});
        expose(1, w.hand_over());
    }
    board->write_register(1, VNX_REG_PAGE_SLOT0 + 4 * 31, 0x1F);

    using E = BoardEvent;
    const std::vector<std::tuple<E::Kind, int, std::uint32_t, std::uint32_t>> want = {
        {E::SlotWrite, 3, 7, 0x0842},
        {E::RamdacWrite, 1, 0x36, 0x01},
        {E::Retrace, 0, 0, 0},
        {E::Retrace, 1, 0, 0},
        {E::Item, 1, kWordSync, static_cast<std::uint32_t>(ItemKind::Sync)},
        {E::SlotWrite, 1, 31, 0x1F},
    };
    std::vector<std::tuple<E::Kind, int, std::uint32_t, std::uint32_t>> got;
    for (const E& e : board->take_events()) got.emplace_back(e.kind, e.unit, e.index, e.value);
    EXPECT_EQ(got, want);
    EXPECT_TRUE(board->take_events().empty());

    board->set_event_log(false);
    board->write_register(0, VNX_REG_PAGE_SLOT0, 0x1F);
    board->set_event_log(true);
    EXPECT_TRUE(board->take_events().empty());
}

}  // namespace
}  // namespace vnx::board::test
