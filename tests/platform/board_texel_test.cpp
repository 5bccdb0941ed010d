// The board's texel fetches under a hand-built render program: the address
// registers set from interpolated coordinates (and starting as them), the
// nearest texel, the four-texel filter, the fraction, the fragment colour
// a texel is weighed by, and the 16- and 8-bit surfaces' scratch pairs.
#include <cmath>

#include "board_stream_util.h"
#include "kzuinstr.h"

namespace vnx::board::test {
namespace {

constexpr std::uint16_t kColourPid = 0xA000;   // 32 bits a pixel, space 0
constexpr std::uint16_t kTexturePid = 0xA002;  // the texture, space 2
constexpr int kSide = 32;

// Pixel position (x, y) in 28.4 as the render functions send it: half a
// pixel less, so that the pixel centres fall on the sample points.
std::uint32_t pos(int x, int y) { return std::uint32_t(y * 16 - 8) << 16 | std::uint32_t(x * 16 - 8); }
std::uint32_t texture_at(int x, int y) { return std::uint32_t(x * 8) << 16 | std::uint32_t(y * 8) << 8 | 0x40; }

class BoardTexelTest : public BoardTest {
protected:
    void boot(int rasterizers) {
        miniport::MachineConfig cfg;
        cfg.rasterizers = rasterizers;
        make(cfg);
        writers.clear();
        for (int r = 0; r < board->rasterizers(); ++r) {
            start(r);
            writers.push_back(writer(r));
            board->write_register(r, VNX_REG_PAGE_SLOT0, 0);      // space 0, page (0, 0)
            board->write_register(r, VNX_REG_PAGE_SLOT0 + 4, 2);  // space 2, page (0, 0)
            // Each rasterizer holds its own copy of the texture.
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x) {
                    std::uint8_t* p = board->pixel(r, kTexturePid, x, y);
                    ASSERT_NE(p, nullptr);
                    const std::uint32_t v = texture_at(x, y);
                    std::memcpy(p, &v, 4);
                }
        }
    }
    // One triangle over the picture's top-left, coordinates u = x and v =
    // y in 1/16 texel plus `offset`, through the program given (z0 and z1
    // carry u and v, a word a vertex).
    // `colour`: a colour word for rgb0 at every vertex (0: none loaded);
    // `pids`: the pid list (the colour pixmap and the texture by default).
    void draw(const std::vector<std::uint32_t>& program, int offset, std::uint16_t texturePid = kTexturePid,
              std::uint32_t colour = 0, std::vector<std::uint16_t> pids = {}) {
        if (pids.empty()) pids = {kColourPid, texturePid};
        if (pids.size() % 2 != 0) pids.push_back(0);
        const std::uint32_t cmd = 5u | kzuHdrLoadKind(KZU_z0, KZU_LOAD_VERTEX) | kzuHdrLoadKind(KZU_z1, KZU_LOAD_VERTEX) |
                                  (colour != 0 ? kzuHdrLoadKind(KZU_rgb0, KZU_LOAD_VERTEX) : 0u) |
                                  std::uint32_t(program.size()) << KZU_HDR_INSTR_SHIFT |
                                  std::uint32_t(pids.size() / 2) << KZU_HDR_PIDW_SHIFT;
        std::vector<std::uint32_t> w = {cmd, 1};
        for (std::size_t k = 0; k < pids.size(); k += 2) w.push_back(std::uint32_t(pids[k + 1]) << 16 | pids[k]);
        w.insert(w.end(), program.begin(), program.end());
        if (colour != 0)
            for (int v = 0; v < 3; ++v) w.push_back(colour);
        // Vertices at pixel positions 1 and 2 x kSide + 1, their coordinates
        // one texel further per pixel, texel 0 at the position 0.
        const int xs[3] = {1, 2 * kSide + 1, 1}, ys[3] = {1, 1, 2 * kSide + 1};
        for (int v = 0; v < 3; ++v) w.push_back(std::uint32_t(xs[v] * 16 + offset));
        for (int v = 0; v < 3; ++v) w.push_back(std::uint32_t(ys[v] * 16 + offset));
        for (int v = 0; v < 3; ++v) w.push_back(pos(xs[v], ys[v]));
        for (int r = 0; r < board->rasterizers(); ++r) {
            writers[size_t(r)].put(w);
            expose(r, writers[size_t(r)].hand_over());
        }
    }
    std::vector<StreamWriter> writers;
    std::uint32_t at(int x, int y, std::uint16_t pid = kColourPid) { return board->read_pixels(0, pid, x, y, 1, 1)[0]; }
    void TearDown() override {
        if (board) {
            EXPECT_EQ(error_text(), "");
            for (int r = 0; r < board->rasterizers(); ++r) EXPECT_EQ(board->summary(r).unexecuted, 0u);
        }
    }
};

constexpr std::uint32_t kToU = kzuInstr(KZU_OP_COPY, KZU_u, KZU_z0, 0);
constexpr std::uint32_t kToV = kzuInstr(KZU_OP_COPY, KZU_v, KZU_z1, 0);

TEST_F(BoardTexelTest, NearestFetchReadsTheTexelUnderThePixelCentre) {
    for (int r : {1, 4}) {
        boot(r);
        draw({kToU, kToV, kzuInstr(KZU_OP_TEXEL, KZU_pixmap0, KZU_pixmap0 + 1, 0)}, 0);
        for (int y = 1; y < kSide - 1; y += 5)
            for (int x = 1; x < kSide - 1; x += 3) EXPECT_EQ(at(x, y), texture_at(x, y)) << x << "," << y << " on " << r;
    }
}

TEST_F(BoardTexelTest, FilteredFetchWeighsTheFourTexelsAroundTheCoordinate) {
    boot(1);
    // The coordinates come half a texel lower (GL's u - 1/2, placed by the
    // generator): on a whole texel the filter gives the texel itself; half
    // a texel on, the mean of four. The address registers start as the
    // coordinates, so the fetch needs no copies.
    draw({kzuInstr(KZU_OP_TEXF, KZU_pixmap0, KZU_pixmap0 + 1, 0)}, -8);
    EXPECT_EQ(at(5, 7), texture_at(5, 7));
    draw({kzuInstr(KZU_OP_TEXF, KZU_pixmap0, KZU_pixmap0 + 1, 0)}, 0);
    for (int y = 2; y < 20; y += 7)
        for (int x = 1; x < 20; x += 6) {
            // Red and green grow by 8 a texel: the mean lies 4 above this
            // texel's.
            EXPECT_EQ(at(x, y), texture_at(x, y) + 0x040400u) << x << "," << y;
        }
}

// A tile pid (bit 6) names a square of its size whose column and row (its
// origin / size, & 3) the pid carries; the writes that reach the tile
// through its pid (the texture loads) place it, and a fetch reads the
// tile's texel (u mod size, v mod size) from there, so a texture repeated
// over its tile repeats across the coordinates.
TEST_F(BoardTexelTest, TilePidsFetchFromTheirTileAndRepeatIt) {
    // A 64-pixel tile (size code 1) at (64, 64) of space 2: column 1, row 1.
    constexpr int kTile = 64, kX = 64, kY = 64;
    constexpr std::uint16_t kTilePid = 0xA000 | 0x60 | ((1 * 4 + 1) * 4 + 1) << 7 | 2;
    constexpr std::uint16_t kOtherTile = 0xA000 | 0x60 | ((1 * 4 + 2) * 4 + 1) << 7 | 2;
    auto tile_at = [](int i, int j) { return std::uint32_t(i * 4) << 16 | std::uint32_t(j * 4) << 8 | 0x80; };
    for (int r : {1, 2}) {
        boot(r);
        for (int k = 0; k < r; ++k)
            for (int j = 0; j < kTile; ++j)
                for (int i = 0; i < kTile; ++i) {
                    std::uint8_t* p = board->pixel(k, kTilePid, kX + i, kY + j);
                    ASSERT_NE(p, nullptr);
                    const std::uint32_t v = tile_at(i, j);
                    std::memcpy(p, &v, 4);
                }
        // Coordinates 60 texels on: from pixel 4 the fetch wraps to the
        // tile's first texels.
        draw({kToU, kToV, kzuInstr(KZU_OP_TEXEL, KZU_pixmap0, KZU_pixmap0 + 1, 0)}, 60 * 16, kTilePid);
        for (int y = 1; y < kSide; y += 5)
            for (int x = 1; x < kSide; x += 3)
                EXPECT_EQ(at(x, y) & 0xFFFFFFu, tile_at((x + 60) % kTile, (y + 60) % kTile)) << x << "," << y << " on " << r;
        // A tile no packet reached has no texels yet.
        draw({kToU, kToV, kzuInstr(KZU_OP_TEXEL, KZU_pixmap0, KZU_pixmap0 + 1, 0)}, 0, kOtherTile);
        EXPECT_EQ(at(5, 5), 0u);
    }
}

// The texture loads' rows into a tile pid are stored by every rasterizer
// (each fetches texels wherever its fragments lie); a row of any other pid
// only by the rasterizer that owns its screen tile.
TEST_F(BoardTexelTest, TransfersIntoATileReachEveryRasterizer) {
    constexpr std::uint16_t kTilePid = 0xA000 | 0x60 | ((1 * 4 + 1) * 4 + 1) << 7 | 2;
    boot(2);
    const std::uint32_t bus = board->dma_bus() + 0x100;
    const std::uint32_t texels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::memcpy(board->bus_to_cpu(bus, sizeof texels), texels, sizeof texels);
    const std::uint32_t descriptor = 31u << 7 | 7u << 17 | 1u << 23;  // 8 pixels of format 5, to the board
    for (std::uint16_t pid : {kTilePid, kTexturePid}) {
        // The same space: the plain pid's row one below the tile's.
        const std::uint32_t y = pid == kTilePid ? 64 : 65;
        for (int r = 0; r < 2; ++r) {
            writers[size_t(r)].put({kWordTransfer, 1, y << 16 | 64u, pid, bus, descriptor});
            expose(r, writers[size_t(r)].hand_over());
        }
        for (int r = 0; r < 2; ++r) {
            const std::uint8_t* p = board->pixel(r, pid, 64 + 7, static_cast<LONG>(y));
            ASSERT_NE(p, nullptr);
            std::uint32_t v = 0;
            std::memcpy(&v, p, 4);
            const bool owner = board->tile_owner(0, 64, 64) == r;
            EXPECT_EQ(v, pid == kTilePid || owner ? 8u : 0u) << "pid " << pid << " on " << r;
        }
    }
}

TEST_F(BoardTexelTest, FractionGivesSixteenthsAsALaneWeight) {
    boot(1);
    draw({kzuInstr(KZU_OP_FRAC, KZU_pixmap0, KZU_z0, 0)}, 5);
    // u = 16 (x + 0.5) + 5 at the centre: fraction 13, the weight
    // round(13 x 255 / 16) against the one (0xFF).
    EXPECT_EQ(at(3, 3) & 0xFFFFFFu, 207u * 0x010101u);
    // The one less the weight is its complement: the spelt-out filter's
    // two weights sum to the one, so a texel weighed by both comes back.
    constexpr std::uint32_t kOne = KZU_constant_0;
    std::vector<std::uint32_t> prog = {kzuInstr(KZU_OP_FRAC, KZU_pr0 + 4, KZU_z0, 0),
                                       kzuInstr(KZU_OP_SUB, KZU_pr0 + 2, kOne, KZU_pr0 + 4),
                                       kToU, kToV,
                                       kzuInstr(KZU_OP_TEXEL, KZU_pr0, KZU_pixmap0 + 1, 0),
                                       kzuInstr(KZU_OP_MUL, KZU_pr0 + 3, KZU_pr0, KZU_pr0 + 2),
                                       kzuInstr(KZU_OP_MUL, KZU_pr0 + 5, KZU_pr0, KZU_pr0 + 4),
                                       kzuInstr(KZU_OP_ADD, KZU_pixmap0, KZU_pr0 + 5, KZU_pr0 + 3)};
    const std::uint32_t cmd = 5u | kzuHdrLoadKind(KZU_z0, KZU_LOAD_VERTEX) | kzuHdrLoadKind(KZU_z1, KZU_LOAD_VERTEX) |
                              std::uint32_t(prog.size()) << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT |
                              KZU_CONSTANTS_8_PER_PKT;
    std::vector<std::uint32_t> w = {cmd, 1, std::uint32_t(kTexturePid) << 16 | kColourPid};
    w.insert(w.end(), prog.begin(), prog.end());
    w.push_back(0x07000000u);
    for (int k = 1; k < 8; ++k) w.push_back(0);
    const int xs[3] = {1, 2 * kSide + 1, 1}, ys[3] = {1, 1, 2 * kSide + 1};
    for (int v = 0; v < 3; ++v) w.push_back(std::uint32_t(xs[v] * 16 + 5));
    for (int v = 0; v < 3; ++v) w.push_back(std::uint32_t(ys[v] * 16 + 5));
    for (int v = 0; v < 3; ++v) w.push_back(pos(xs[v], ys[v]));
    writers[0].put(w);
    expose(0, writers[0].hand_over());
    for (int x = 2; x < 20; x += 5) {
        const std::uint32_t t = texture_at(x, 4), got = at(x, 4);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(double((got >> (8 * k)) & 0xFF), double((t >> (8 * k)) & 0xFF), 1.0) << x << " lane " << k;
    }
}

// A texel copied to the address registers from z0 and z1 leaves rgb0 the
// fragment's colour: modulate weighs the texel by it, lane by lane.
TEST_F(BoardTexelTest, TheTexelIsWeighedByTheFragmentColour) {
    boot(1);
    draw({kToU, kToV, kzuInstr(KZU_OP_TEXEL, KZU_pr0 + 8, KZU_pixmap0 + 1, 0),
          kzuInstr(KZU_OP_MUL, KZU_pixmap0, KZU_pr0 + 8, KZU_rgb0)},
         0, kTexturePid, 0x0080FF40u);
    for (int x = 2; x < 20; x += 7) {
        const std::uint32_t t = texture_at(x, 3);
        const std::uint32_t want = ((((t >> 16) & 0xFF) * 0x80 + 127) / 255) << 16 | (((t >> 8) & 0xFF) * 0xFF + 127) / 255 << 8 |
                                   ((t & 0xFF) * 0x40 + 127) / 255;
        EXPECT_EQ(at(x, 3) & 0xFFFFFFu, want) << x;
    }
}

// A 16-bit surface reads its texels through a scratch pair: the fetch into
// the 5-5-5 pid as stored packs the texture's 7-bit channels as the 16-bit
// pixel, read back in colour form through the format-4 pid of the same
// space (no page needed); in such a packet the colour's multiply scales by
// the 7-bit maximum, so a texel weighed by full colour stays as it is.
TEST_F(BoardTexelTest, SixteenBitSurfacesReadTexelsThroughTheScratchPair) {
    constexpr std::uint16_t kColour16 = 0x8000, kScratchIn = 0x6007, kScratchOut = 0x8007;
    boot(1);
    // The texture in 7-bit channels, as the texture loads convert it for a
    // 16-bit surface.
    auto seven = [](int x, int y) { return std::uint32_t(x * 2) << 16 | std::uint32_t(y * 4) << 8 | 0x7C; };
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const std::uint32_t v = seven(x, y);
            std::memcpy(board->pixel(0, kTexturePid, x, y), &v, 4);
        }
    auto pixel16 = [&](int x, int y) {
        const std::uint32_t t = seven(x, y);
        return ((t >> 18) & 31) << 10 | ((t >> 10) & 31) << 5 | ((t >> 2) & 31);
    };
    const std::vector<std::uint16_t> pids = {kScratchIn, kScratchOut, kColour16, kTexturePid};
    const std::uint32_t fetch = kzuInstr(KZU_OP_TEXEL, KZU_pixmap0, KZU_pixmap0 + 3, 0);
    // Two fetches in one program: the second read sees the second texel
    // (u doubled: texel 2x + 1).
    draw({kToU, kToV, fetch, kzuInstr(KZU_OP_COPY, KZU_pr0 + 1, KZU_pixmap0 + 1, 0),
          kzuInstr(KZU_OP_ADDW, KZU_u, KZU_z0, KZU_z0), fetch,
          kzuInstr(KZU_OP_COPY, KZU_pixmap0 + 2, KZU_pixmap0 + 1, 0)},
         0, kTexturePid, 0, pids);
    for (int x : {2, 9, 14}) EXPECT_EQ(at(x, 5, kColour16) & 0x7FFF, pixel16(2 * x + 1, 5)) << x;
    draw({kToU, kToV, fetch, kzuInstr(KZU_OP_MUL, KZU_pixmap0 + 2, KZU_pixmap0 + 1, KZU_rgb0)}, 0, kTexturePid,
         0x007F7F7Fu, pids);
    for (int x : {2, 9, 14}) EXPECT_EQ(at(x, 5, kColour16) & 0x7FFF, pixel16(x, 5)) << x;
}

// An 8-bit surface reads its texels through a scratch pair too: the fetch
// into the 8-bit pid as stored packs the texel as the 3-3-2 pixel, read back
// in colour form through the 3-3-2 pid of the same space; in such a packet
// the multiply scales red by 0xDF, green by 0xFF and blue by 0x7F, the
// surface's maximum colour, so a texel weighed by it stays as it is (the
// texture loads keep an 8-bit surface's red below 0xDF).
TEST_F(BoardTexelTest, EightBitSurfacesReadTexelsThroughTheScratchPair) {
    constexpr std::uint16_t kColour8 = 0x4000, kScratchIn = 0x0047, kScratchOut = 0x4047;
    boot(1);
    auto pixel8 = [](int x, int y) {
        const std::uint32_t t = texture_at(x, y);
        return ((t >> 21) & 7) << 5 | ((t >> 13) & 7) << 2 | ((t >> 5) & 3);
    };
    const std::vector<std::uint16_t> pids = {kScratchIn, kScratchOut, kColour8, kTexturePid};
    const std::uint32_t fetch = kzuInstr(KZU_OP_TEXEL, KZU_pixmap0, KZU_pixmap0 + 3, 0);
    draw({kToU, kToV, fetch, kzuInstr(KZU_OP_COPY, KZU_pixmap0 + 2, KZU_pixmap0 + 1, 0)}, 0, kTexturePid, 0, pids);
    for (int x : {2, 9, 14, 27}) EXPECT_EQ(at(x, 20, kColour8), pixel8(x, 20)) << x;
    draw({kToU, kToV, fetch, kzuInstr(KZU_OP_MUL, KZU_pixmap0 + 2, KZU_pixmap0 + 1, KZU_rgb0)}, 0, kTexturePid,
         0x00DFFF7Fu, pids);
    for (int x : {2, 9, 14, 27}) EXPECT_EQ(at(x, 20, kColour8), pixel8(x, 20)) << x;
}

}  // namespace
}  // namespace vnx::board::test
