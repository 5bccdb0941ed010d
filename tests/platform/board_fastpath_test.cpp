// The board's shortcuts against its span engine: block copies whose program
// only moves the source (bytes moved a block at a time), one-value fills and
// point loads write the same pixels as every program run pixel by pixel over
// its registers (Board::set_fast_paths(false)). Two boards take the same
// stream over the same memory, one with the shortcuts and one without, and
// their memory is compared page by page; plain copies are also checked
// against the copy itself, worked out on the host.
#include <algorithm>
#include <cstdio>
#include <functional>

#include "board_stream_util.h"

namespace vnx::board::test {
namespace {

using miniport::MachineConfig;

constexpr std::uint16_t kPid32 = 0xA000;       // 32 bits a pixel, space 0
constexpr std::uint16_t kPid16 = 0x6001;       // 16 bits a pixel (5-5-5 as stored), space 1
constexpr std::uint16_t kPid8 = 0x4002;        // 8 bits a pixel (3-3-2), space 2
constexpr std::uint16_t kPidOverlay = 0xC000;  // the top byte of space 0's words

constexpr std::uint32_t instr(std::uint32_t op, std::uint32_t dst, std::uint32_t a,
                              std::uint32_t b = 0) {
    return op | dst << 6 | b << 11 | a << 17;
}
constexpr std::uint32_t kClip = 0x10000000;
constexpr std::uint32_t kMove = 8, kXor = 2, kAnd = 0;
std::uint32_t clip_word(int x, int y) {
    return static_cast<std::uint32_t>(y) << 16 | static_cast<std::uint32_t>(x);
}
std::uint32_t bytes_of(std::uint16_t pid) { return pid >= 0xA000 ? 4 : pid >= 0x6000 ? 2 : 1; }

// Block copies: the copy-address table's load and the block-copy packet, as
// the display driver lays them out.
constexpr std::uint32_t kPointLoad = 0x02102000;  // points, register 27 a point
constexpr std::uint32_t kTableLoadCmd = 0x02100006;
constexpr std::uint32_t kTableLoad = 0x001A0208;  // pixmap 13 into register 8
constexpr std::uint32_t kBlockCopy = 0x02000C26;  // + instructions << 20
constexpr std::uint32_t kSetup[3] = {0x001126DF, 0x001C0331, 0x00132F1F};
// The driver's table (every offset its own position) and one that reads
// each block row backwards.
constexpr std::uint32_t kIdentityTable[16] = {0, 0x40, 0,    0x40, 0,    0x40, 0,    0x40,
                                              0, 0,    0x20, 0x20, 0x40, 0x40, 0x60, 0x60};
std::array<std::uint32_t, 16> reversed_table() {
    std::array<std::uint32_t, 16> t{};
    for (std::uint32_t v = 0; v < 8; ++v) {
        t[v] = ((7 - v) & 1u) << 6;
        t[8 + v] = ((7 - v) & 6u) << 4;
    }
    return t;
}

// The point load that writes `table` as 4 x 4 points at (x, y) of pid.
std::vector<std::uint32_t> table_points(std::uint16_t pid, int x, int y, const std::uint32_t* table) {
    std::vector<std::uint32_t> w = {kPointLoad, 16, pid, instr(kMove, 13, 27)};
    for (int k = 0; k < 16; ++k) {
        w.push_back(table[k]);
        w.push_back(
            vtx(static_cast<std::uint32_t>(x + k % 4), static_cast<std::uint32_t>(y + k / 4)));
    }
    return w;
}
// The copy-address table's load from the 4 x 4 pixels at (x, y) of pid.
std::vector<std::uint32_t> table_read(std::uint16_t pid, int x, int y) {
    const std::uint32_t x0 = static_cast<std::uint32_t>(x), y0 = static_cast<std::uint32_t>(y);
    return {kTableLoadCmd, 1, pid, kTableLoad, vtx(x0, y0), vtx(x0 + 4, y0), vtx(x0 + 4, y0 + 4), vtx(x0, y0 + 4)};
}
// The words that load `table` into the copy-address table (its 4 x 4 points
// at (x, y) of pid), as the driver sends them before every copy.
std::vector<std::uint32_t> table_load(std::uint16_t pid, int x, int y, const std::uint32_t* table) {
    std::vector<std::uint32_t> w = table_points(pid, x, y, table);
    const std::vector<std::uint32_t> read = table_read(pid, x, y);
    w.insert(w.end(), read.begin(), read.end());
    return w;
}

// A block copy of [l, r) x [t, b) from (l + dx, t + dy) within one pid's
// space (or from another's), under `program` with the clip pair (cl, ct)
// (cr, cb): 8x8 blocks on the source's grid, stepping away from the side
// the source lies on.
struct CopyWords {
    std::uint16_t dst, src;
    int l, t, r, b, dx, dy;
    std::vector<std::uint32_t> program;
    int cl = 0, ct = 0, cr = 4096, cb = 4096;
};
std::vector<std::uint32_t> block_copy(const CopyWords& c) {
    const std::uint32_t phase = static_cast<std::uint32_t>((c.dx & 7) | (c.dy & 7) << 3);
    std::vector<std::uint32_t> w = {kBlockCopy | static_cast<std::uint32_t>(3 + c.program.size())
                                                     << 20,
                                    0,
                                    static_cast<std::uint32_t>(c.src) << 16 | c.dst,
                                    kSetup[0],
                                    kSetup[1] | phase << 11,
                                    kSetup[2]};
    w.insert(w.end(), c.program.begin(), c.program.end());
    w.insert(w.end(), {clip_word(c.cl, c.ct), clip_word(c.cr, c.cb), 0, 0, 0, 0});
    const int xStep = c.dx < 0 ? -8 : 8, yStep = c.dy < 0 ? -8 : 8;
    auto blockOf = [](int v, int d) { return v - ((v + d) & 7); };
    const int bx0 = xStep > 0 ? blockOf(c.l, c.dx) : blockOf(c.r - 1, c.dx);
    const int by0 = yStep > 0 ? blockOf(c.t, c.dy) : blockOf(c.b - 1, c.dy);
    std::uint32_t blocks = 0;
    for (int by = by0; by + 8 > c.t && by < c.b; by += yStep) {
        for (int bx = bx0; bx + 8 > c.l && bx < c.r; bx += xStep) {
            const auto xs = static_cast<std::uint32_t>((bx + c.dx) * 16),
                       ys = static_cast<std::uint32_t>((by + c.dy) * 16);
            const auto x0 = static_cast<std::uint32_t>(std::max(bx, c.l)),
                       y0 = static_cast<std::uint32_t>(std::max(by, c.t));
            const auto x1 = static_cast<std::uint32_t>(std::min(bx + 8, c.r)),
                       y1 = static_cast<std::uint32_t>(std::min(by + 8, c.b));
            w.insert(w.end(), {(xs & ~0x3Fu) | (static_cast<std::uint32_t>(c.dx * 16) & 0x30u),
                               (ys & ~0x1Fu) | (static_cast<std::uint32_t>(c.dy * 16) & 0x10u), 0,
                               0, vtx(x0, y0), vtx(x1, y0), vtx(x1, y1), vtx(x0, y1)});
            ++blocks;
        }
    }
    w[1] = blocks;
    return w;
}

// Two boards of one configuration whose memory starts the same: spaces 0,
// 1 and 2 each map their first 2 x 2 pages (x from 0, y from 0 and 128 or
// 256); the rest of each space is not mapped (reads 0, takes no writes).
class BoardFastPathTest : public ::testing::Test {
  protected:
    void boot(int rasterizers) {
        MachineConfig cfg;
        cfg.rasterizers = rasterizers;
        for (int k = 0; k < 2; ++k) {
            writers[k].clear();
            boards[k] = std::make_unique<Board>(cfg);
            Board& b = *boards[k];
            b.set_fast_paths(k == 0);
            for (int r = 0; r < b.rasterizers(); ++r) {
                const std::uint32_t ring =
                    b.dma_bus() + 16384 + static_cast<std::uint32_t>(r) * 0x10000;
                b.write_register(r, VNX_REG_WRITE_PTR, ring);
                b.write_register(r, VNX_REG_READ_PTR, ring);
                writers[k].emplace_back(b, ring);
                ULONG slot = 0;
                for (std::uint16_t pid : {kPid32, kPid16, kPid8}) {
                    ULONG w = 0, h = 0, bpp = 0;
                    ASSERT_TRUE(b.page_geometry(pid, &w, &h, &bpp));
                    for (ULONG py = 0; py < 2; ++py) {
                        for (ULONG px = 0; px < 2; ++px) {
                            const ULONG key =
                                ((py * h) >> 7) << 11 | ((px * w) >> 7) << 5 | (pid & 0x1Fu);
                            b.write_register(r, VNX_REG_PAGE_SLOT0 + 4 * slot++, key);
                            // Noise in the page, the same on both boards.
                            std::uint8_t* p = b.pixel(r, pid, static_cast<LONG>(px * w),
                                                      static_cast<LONG>(py * h));
                            ASSERT_NE(p, nullptr);
                            for (ULONG i = 0; i < w * h * bpp; ++i)
                                p[i] = static_cast<std::uint8_t>(
                                    (i * 2654435761u + slot * 40503u + r * 977u) >> 13);
                        }
                    }
                }
            }
        }
    }
    // The words to every rasterizer of both boards.
    void send(const std::vector<std::uint32_t>& words) {
        for (int k = 0; k < 2; ++k) {
            for (int r = 0; r < boards[k]->rasterizers(); ++r) {
                writers[k][r].put(words);
                boards[k]->write_register(r, VNX_REG_WRITE_PTR, writers[k][r].hand_over());
            }
        }
    }
    // Every mapped page of both boards compared; answers the first pixel
    // that differs as "rasterizer r, pid, (x, y)", or "".
    std::string first_difference() {
        for (int r = 0; r < boards[0]->rasterizers(); ++r) {
            for (std::uint16_t pid : {kPid32, kPid16, kPid8}) {
                ULONG w = 0, h = 0, bpp = 0;
                boards[0]->page_geometry(pid, &w, &h, &bpp);
                for (LONG y = 0; y < static_cast<LONG>(2 * h); ++y) {
                    const std::uint8_t* a = boards[0]->pixel(r, pid, 0, y);
                    const std::uint8_t* b = boards[1]->pixel(r, pid, 0, y);
                    const std::uint8_t* a2 = boards[0]->pixel(r, pid, static_cast<LONG>(w), y);
                    const std::uint8_t* b2 = boards[1]->pixel(r, pid, static_cast<LONG>(w), y);
                    for (ULONG i = 0; i < w * bpp; ++i) {
                        if (a[i] != b[i] || a2[i] != b2[i]) {
                            char text[96];
                            std::snprintf(
                                text, sizeof text, "rasterizer %d, pid 0x%04x, (%lu, %ld)", r, pid,
                                static_cast<unsigned long>(i / bpp + (a[i] != b[i] ? 0 : w)),
                                static_cast<long>(y));
                            return text;
                        }
                    }
                }
            }
        }
        return "";
    }
    // Pixel (x, y) of pid as stored, on board k (0 where not mapped).
    std::uint32_t at(int k, std::uint16_t pid, int x, int y) {
        const int r = boards[k]->rasterizers() == 1 ? 0 : boards[k]->tile_owner(0, x, y);
        const std::uint8_t* p = boards[k]->pixel(r, pid, x, y);
        std::uint32_t v = 0;
        if (p != nullptr) std::memcpy(&v, p, bytes_of(pid));
        return v;
    }
    void TearDown() override {
        for (auto& b : boards) {
            if (!b) continue;
            std::string all;
            for (const BoardError& e : b->take_errors()) all += e.message + "\n";
            EXPECT_EQ(all, "");
            EXPECT_EQ(b->summary(0).unexecuted, 0u);
        }
    }

    vnx::faults::Scope faults;
    std::unique_ptr<Board> boards[2];  // [0] with the shortcuts, [1] without
    std::vector<StreamWriter> writers[2];
};

struct CopyCase {
    const char* name;
    int rasterizers;
    std::uint16_t dst, src;
    int l, t, w, h, dx, dy;
    std::vector<std::uint32_t> program;
    int cl, ct, cr, cb;  // clip pair
    int table;           // 0 the driver's, 1 reversed rows, 2 none loaded
};

void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::uint32_t> kPlain = {instr(kMove, 13, 12)};
const std::vector<std::uint32_t> kPlainClipped = {kClip | instr(kMove, 13, 12)};
const std::vector<std::uint32_t> kXorRop = {kClip | instr(kXor, 13, 12, 13)};
const std::vector<std::uint32_t> kPlainWithB = {instr(kMove, 13, 12, 9)};  // a move reads A only
const std::vector<std::uint32_t> kAndThenMove = {instr(kAnd, 9, 12, 13),
                                                 kClip | instr(kMove, 13, 9)};

class BlockCopies : public BoardFastPathTest, public ::testing::WithParamInterface<CopyCase> {};

// Overlapping copies in each direction, blocks across tile and page edges,
// clipped and unclipped moves, each pixel size, tables other than the
// driver's, sources on pages no slot maps, and boards of four rasterizers
// (each carries out only its own tiles).
TEST_P(BlockCopies, ShortcutWritesWhatTheSpanEngineWrites) {
    const CopyCase& c = GetParam();
    boot(c.rasterizers);
    const auto reversed = reversed_table();
    // Each rasterizer loads the table from a tile of its own.
    for (auto [x, y] :
         {std::array{0, 0}, std::array{200, 0}, std::array{0, 248}, std::array{128, 248}}) {
        if (c.table == 0) send(table_load(kPid32, x, y, kIdentityTable));
        if (c.table == 1) send(table_load(kPid32, x, y, reversed.data()));
    }
    // What the source held, for the plain copies' own check.
    std::vector<std::uint32_t> before;
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            before.push_back(at(0, c.src, c.l + c.dx + x, c.t + c.dy + y));
    send(block_copy(CopyWords{c.dst, c.src, c.l, c.t, c.l + c.w, c.t + c.h, c.dx, c.dy, c.program,
                              c.cl, c.ct, c.cr, c.cb}));
    EXPECT_EQ(first_difference(), "");
    if (c.table == 0 && c.program == kPlain && c.dst == c.src && c.rasterizers == 1) {
        const std::uint32_t kept =
            c.dst == kPidOverlay ? 0xFF000000u : ~0u;  // the overlay's byte alone
        for (int y = 0; y < c.h; ++y) {
            for (int x = 0; x < c.w; ++x) {
                ASSERT_EQ(at(0, c.dst, c.l + x, c.t + y) & kept,
                          before[static_cast<std::size_t>(y * c.w + x)] & kept)
                    << "(" << c.l + x << ", " << c.t + y << ")";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BlockCopies,
    ::testing::Values(
        CopyCase{"right_down", 1, kPid32, kPid32, 10, 20, 37, 29, 4, 2, kPlain, 0, 0, 4096, 4096,
                 0},
        CopyCase{"left_up", 1, kPid32, kPid32, 30, 40, 37, 29, -5, -3, kPlain, 0, 0, 4096, 4096, 0},
        CopyCase{"right_up", 1, kPid32, kPid32, 30, 40, 21, 19, 3, -11, kPlain, 0, 0, 4096, 4096,
                 0},
        CopyCase{"left_down", 1, kPid32, kPid32, 30, 40, 21, 19, -9, 1, kPlain, 0, 0, 4096, 4096,
                 0},
        CopyCase{"aligned", 1, kPid32, kPid32, 16, 8, 16, 16, 8, 16, kPlain, 0, 0, 4096, 4096, 0},
        CopyCase{"across_tile_and_page_edges", 1, kPid32, kPid32, 118, 120, 20, 20, 5, -6, kPlain,
                 0, 0, 4096, 4096, 0},
        CopyCase{"source_not_mapped", 1, kPid32, kPid32, 230, 30, 20, 10, 30, 0, kPlain, 0, 0, 4096,
                 4096, 0},
        CopyCase{"clipped_move", 1, kPid32, kPid32, 10, 20, 37, 29, 4, 2, kPlainClipped, 15, 23, 40,
                 41, 0},
        CopyCase{"clip_pair_unclipped_move", 1, kPid32, kPid32, 10, 20, 37, 29, 4, 2, kPlain, 15,
                 23, 40, 41, 0},
        CopyCase{"16_bits", 1, kPid16, kPid16, 250, 120, 19, 13, -7, 5, kPlain, 0, 0, 4096, 4096,
                 0},
        CopyCase{"8_bits", 1, kPid8, kPid8, 250, 250, 13, 17, 6, -3, kPlainClipped, 0, 0, 260, 262,
                 0},
        CopyCase{"overlay_byte", 1, kPidOverlay, kPidOverlay, 10, 20, 17, 9, 4, 2, kPlain, 0, 0,
                 4096, 4096, 0},
        CopyCase{"between_formats", 1, kPid16, kPid32, 10, 20, 17, 9, 4, 2, kPlain, 0, 0, 4096,
                 4096, 0},
        CopyCase{"reversed_table", 1, kPid32, kPid32, 10, 20, 37, 29, 4, 2, kPlain, 0, 0, 4096,
                 4096, 1},
        CopyCase{"no_table", 1, kPid16, kPid16, 10, 20, 17, 9, -4, 3, kPlain, 0, 0, 4096, 4096, 2},
        CopyCase{"rop", 1, kPid32, kPid32, 10, 20, 37, 29, 4, 2, kXorRop, 12, 0, 30, 4096, 0},
        CopyCase{"two_instructions", 1, kPid8, kPid8, 10, 20, 37, 29, -4, 2, kAndThenMove, 0, 0,
                 4096, 4096, 0},
        CopyCase{"move_with_b_field", 1, kPid32, kPid32, 10, 20, 21, 13, 4, 2, kPlainWithB, 0, 0, 4096, 4096, 0},
        CopyCase{"small_moves", 1, kPid32, kPid32, 37, 53, 8, 8, 4, 2, kPlain, 0, 0, 4096, 4096, 0},
        CopyCase{"small_moves_clipped", 1, kPid16, kPid16, 123, 125, 8, 8, -4, -2, kPlainClipped, 0, 0, 126,
                 4096, 0},
        CopyCase{"four_rasterizers", 4, kPid32, kPid32, 100, 110, 60, 40, 3, 5, kPlain, 0, 0, 4096,
                 4096, 0},
        CopyCase{"four_rasterizers_clipped", 4, kPid16, kPid16, 250, 100, 30, 60, -6, -2,
                 kPlainClipped, 0, 0, 263, 140, 0}),
    [](const ::testing::TestParamInfo<CopyCase>& info) { return std::string(info.param.name); });

// The driver loads the copy-address table before every copy: a point load
// of its sixteen words, then the table's load from those pixels. A repeat
// that would change nothing is not carried out again; every change in
// between must still reach the table: the squares written by another
// packet or by the host, the table's load alone from changed pixels, and
// the page slots remapped under the same coordinates. Each step copies
// under the table it leaves, on both boards.
struct TableStep {
    const char* what;
    std::function<void()> change;
};

class TableLoads : public BoardFastPathTest {
  protected:
    // A host write of `table` into the squares at (0, 0) of kPid32 on every
    // rasterizer of both boards.
    void host_writes(const std::uint32_t* table) {
        for (auto& b : boards) {
            for (int r = 0; r < b->rasterizers(); ++r) {
                for (int k = 0; k < 16; ++k) {
                    std::uint8_t* p = b->pixel(r, kPid32, k % 4, k / 4);
                    ASSERT_NE(p, nullptr);
                    std::memcpy(p, &table[k], 4);
                }
            }
        }
    }
    void copy(int round) {
        // Copies that show the table: the source rows read through it.
        send(block_copy(CopyWords{kPid32, kPid32, 40 + round % 3, 60 + 8 * round, 40 + round % 3 + 19,
                                  60 + 8 * round + 7, 3, -2, kPlain}));
    }
};

TEST_F(TableLoads, EveryChangeOfTheTableIsLoaded) {
    const auto reversed = reversed_table();
    std::array<std::uint32_t, 16> shifted{};  // every offset one on
    for (std::uint32_t v = 0; v < 8; ++v) {
        shifted[v] = ((v + 1) & 1u) << 6;
        shifted[8 + v] = ((v + 1) & 6u) << 4;
    }
    const std::vector<TableStep> steps = {
        {"the same load again", [this] { send(table_load(kPid32, 0, 0, kIdentityTable)); }},
        {"another table's points and load",
         [&] { send(table_load(kPid32, 0, 0, reversed.data())); }},
        {"the first table again", [this] { send(table_load(kPid32, 0, 0, kIdentityTable)); }},
        {"the squares filled by another packet, then the load alone",
         [this] {
             send({0x02101006u, 1, kPid32, instr(kMove, 13, 27), 0x40u, vtx(0, 0), vtx(4, 0), vtx(4, 4),
                     vtx(0, 4)});
             send(table_read(kPid32, 0, 0));
         }},
        {"the driver's table after the fill", [this] {
             send(table_load(kPid32, 0, 0, kIdentityTable));
         }},
        {"a host write to the squares, then the load alone",
         [&] {
             host_writes(shifted.data());
             send(table_read(kPid32, 0, 0));
         }},
        {"a host write to the squares, then points and load",
         [&] {
             host_writes(reversed.data());
             send(table_load(kPid32, 0, 0, kIdentityTable));
         }},
        {"the page slot remapped, then the load alone",
         [this] {
             // Space 0's first two pages change places: another page's
             // noise under the same coordinates.
             for (auto& b : boards) {
                 for (int r = 0; r < b->rasterizers(); ++r) {
                     const ULONG first = b->read_register(r, VNX_REG_PAGE_SLOT0);
                     b->write_register(r, VNX_REG_PAGE_SLOT0, b->read_register(r, VNX_REG_PAGE_SLOT0 + 4));
                     b->write_register(r, VNX_REG_PAGE_SLOT0 + 4, first);
                 }
             }
             send(table_read(kPid32, 0, 0));
         }},
        {"the points and load on the remapped page",
         [this] { send(table_load(kPid32, 0, 0, kIdentityTable)); }},
    };
    for (int rasterizers : {1, 4}) {
        SCOPED_TRACE(rasterizers);
        boot(rasterizers);
        send(table_load(kPid32, 0, 0, kIdentityTable));
        copy(0);
        ASSERT_EQ(first_difference(), "");
        int round = 1;
        for (const TableStep& step : steps) {
            SCOPED_TRACE(step.what);
            step.change();
            copy(round++);
            ASSERT_EQ(first_difference(), "");
        }
    }
}

// One-value fills of rectangles and point loads: clipped and unclipped
// moves, a program of two data registers, rectangles across tile edges and
// outside the clip, on one and four rasterizers, at each pixel size.
TEST_F(BoardFastPathTest, FillsAndPointsWriteWhatTheSpanEngineWrites) {
    std::uint32_t round = 0;
    for (int rasterizers : {1, 4}) {
        SCOPED_TRACE(rasterizers);
        boot(rasterizers);
        for (std::uint16_t pid : {kPid32, kPid16, kPid8, kPidOverlay}) {
            SCOPED_TRACE(pid);
            for (std::uint32_t program : {instr(kMove, 13, 27), kClip | instr(kMove, 13, 27),
                                          kClip | instr(kXor, 13, 27, 28)}) {
                // Rectangles: one data word a packet (27), or two (27, 28).
                const bool two = instr(kXor, 13, 27, 28) == (program & ~kClip);
                std::vector<std::uint32_t> fill = {two ? 0x02105026u : 0x02101026u,
                                                   3,
                                                   pid,
                                                   program,
                                                   clip_word(5, 7),
                                                   clip_word(200, 140)};
                // Colours new in every round, so a pixel one round should
                // leave keeps the last round's.
                ++round;
                fill.push_back(0x12345678u * round);
                if (two) fill.push_back(0x0F0F0F0F);
                for (auto [x0, y0, x1, y1] :
                     {std::array{0, 0, 9, 9}, std::array{120, 100, 140, 150},
                      std::array{190, 130, 230, 200}}) {
                    const auto v = [](int a, int b) {
                        return vtx(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b));
                    };
                    fill.insert(fill.end(), {v(x0, y0), v(x1, y0), v(x1, y1), v(x0, y1)});
                }
                send(fill);
                // Points with a clip pair: a colour a point (27), and one more
                // word a point (28) for the two-register program.
                std::vector<std::uint32_t> points = {two ? 0x0210A020u : 0x02102020u,
                                                     4,
                                                     pid,
                                                     program,
                                                     clip_word(5, 7),
                                                     clip_word(200, 140)};
                int k = 0;
                for (auto [x, y] : {std::array{3, 3}, std::array{6, 8}, std::array{127, 128},
                                    std::array{201, 20}}) {
                    points.push_back(0xA5A5A5A5u * round ^ static_cast<std::uint32_t>(k++));
                    if (two) points.push_back(0x00FF00FFu);
                    points.push_back(
                        vtx(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)));
                }
                send(points);
                EXPECT_EQ(first_difference(), "");
                if (pid == kPid32) {
                    // The points inside the clip hold their own colour (or
                    // it XOR their second word).
                    for (std::uint32_t j : {1u, 2u}) {
                        const int x = j == 1 ? 6 : 127, y = j == 1 ? 8 : 128;
                        EXPECT_EQ(at(0, pid, x, y),
                                  (0xA5A5A5A5u * round ^ j) ^ (two ? 0x00FF00FFu : 0u));
                    }
                }
            }
        }
        EXPECT_EQ(boards[0]->summary(0).unexecuted, 0u);
    }
}

}  // namespace
}  // namespace vnx::board::test
