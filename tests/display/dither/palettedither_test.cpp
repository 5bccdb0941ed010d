// The colour dither of 8-bit modes: the entries of chosen colours worked out
// by hand, the layout of the pattern and its background, properties over a
// grid of the colour cube, and the pattern's colours in the driver's own
// default palette.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "display/fixture.h"
#include "dither/palettedither.h"

namespace {

using Entries = std::vector<std::pair<ULONG, ULONG>>;  // (count, vertex)
using Pattern = std::array<BYTE, DITHER_CELLS>;

ULONG Rgb(ULONG r, ULONG g, ULONG b) { return r | g << 8 | b << 16; }

Entries Compute(ULONG rgb) {
    DITHERENTRY a[DITHER_MAX_ENTRIES + 1];
    DITHERENTRY* pEnd = pComputeDitherEntries(rgb, a);
    Entries out;
    for (DITHERENTRY* pe = a; pe != pEnd; ++pe) out.emplace_back(pe->cCount, pe->ulVertex);
    return out;
}

Pattern Dither(ULONG rgb) {
    Pattern p;
    p.fill(0xEE);
    vDitherRgb(rgb, p.data());
    return p;
}

std::string Name(ULONG r, ULONG g, ULONG b) {
    char s[48];
    std::snprintf(s, sizeof s, "(%lu, %lu, %lu)", static_cast<unsigned long>(r),
                  static_cast<unsigned long>(g), static_cast<unsigned long>(b));
    return s;
}

// Worked out from the channel order, the scaling to 0..64 and the region of
// the colour cube (vertices: bit 0 red, 1 green, 2 blue, 8 full intensity).
struct EntryCase {
    ULONG r, g, b;
    Entries want;
};
const EntryCase kEntryCases[] = {
    // Greys.
    {0, 0, 0, {{64, 0}}},
    {255, 255, 255, {{64, 15}}},
    {128, 128, 128, {{64, 7}}},
    {64, 64, 64, {{32, 0}, {32, 7}}},
    {192, 192, 192, {{32, 7}, {32, 15}}},
    // Primaries and the other corners of the cube, each its own vertex.
    {255, 0, 0, {{64, 9}}},
    {0, 255, 0, {{64, 10}}},
    {0, 0, 255, {{64, 12}}},
    {255, 255, 0, {{64, 11}}},
    {0, 255, 255, {{64, 14}}},
    {255, 0, 255, {{64, 13}}},
    {128, 0, 0, {{64, 1}}},
    // Between palette entries, one case per region.
    {128, 64, 0, {{32, 1}, {32, 3}}},                     // dark
    {64, 32, 0, {{32, 0}, {16, 1}, {16, 3}}},             // dark
    {100, 60, 20, {{14, 0}, {20, 1}, {20, 3}, {10, 7}}},  // dark
    {40, 200, 30, {{8, 2}, {6, 3}, {14, 7}, {36, 10}}},   // a bright max (green)
    {255, 128, 0, {{32, 9}, {32, 11}}},                   // bright max and mid
    {200, 100, 50, {{4, 3}, {24, 7}, {25, 9}, {11, 11}}},
    {50, 100, 200, {{4, 6}, {24, 7}, {25, 12}, {11, 14}}},   // red and blue swapped
    {240, 200, 160, {{8, 7}, {10, 9}, {10, 11}, {36, 15}}},  // light
    {255, 128, 64, {{32, 9}, {16, 11}, {16, 15}}},           // light
    {0, 10, 70, {{30, 0}, {30, 4}, {4, 6}}},  // the mid channel is the min's (blue first)
};

TEST(PaletteDither, EntriesOfChosenColours) {
    for (const EntryCase& c : kEntryCases) {
        EXPECT_EQ(Compute(Rgb(c.r, c.g, c.b)), c.want) << Name(c.r, c.g, c.b);
        // The byte above the colour plays no part.
        EXPECT_EQ(Compute(0xFF000000u | Rgb(c.r, c.g, c.b)), c.want) << Name(c.r, c.g, c.b);
    }
}

// Every colour of a grid through the cube splits into one to four entries
// of positive counts summing to 64, the vertices distinct; red and blue
// swapped keep the counts and swap the vertices' red and blue bits.
TEST(PaletteDither, EntriesCoverThePatternOverTheCube) {
    auto swapRB = [](ULONG v) { return (v & ~5u) | (v & 1) << 2 | (v & 4) >> 2; };
    for (ULONG r = 0; r < 256; r += 5)
        for (ULONG g = 0; g < 256; g += 7)
            for (ULONG b = 0; b < 256; b += 5) {
                const Entries e = Compute(Rgb(r, g, b));
                ASSERT_GE(e.size(), 1u) << Name(r, g, b);
                ASSERT_LE(e.size(), 4u) << Name(r, g, b);
                ULONG sum = 0, seen = 0;
                for (auto [cCount, ulVertex] : e) {
                    ASSERT_GT(cCount, 0u) << Name(r, g, b);
                    ASSERT_LT(ulVertex, 16u) << Name(r, g, b);
                    ASSERT_EQ(seen & (1u << ulVertex), 0u) << Name(r, g, b);
                    seen |= 1u << ulVertex;
                    sum += cCount;
                }
                ASSERT_EQ(sum, 64u) << Name(r, g, b);
                const Entries swapped = Compute(Rgb(b, g, r));
                ASSERT_EQ(swapped.size(), e.size()) << Name(r, g, b);
                for (size_t i = 0; i < e.size(); ++i) {
                    ASSERT_EQ(swapped[i].first, e[i].first) << Name(r, g, b);
                    ASSERT_EQ(swapped[i].second, swapRB(e[i].second)) << Name(r, g, b);
                }
            }
}

// The entries take the positions of the ordered dither one after the other.
TEST(PaletteDither, PatternLayout) {
    // One entry: a solid pattern of its palette index.
    Pattern p = Dither(Rgb(128, 128, 128));
    EXPECT_TRUE(std::all_of(p.begin(), p.end(), [](BYTE j) { return j == 248; }));
    p = Dither(0);
    EXPECT_TRUE(std::all_of(p.begin(), p.end(), [](BYTE j) { return j == 0; }));
    // Two equal entries (dark red, dark yellow): a checkerboard, the second
    // on the last 32 positions of the order.
    p = Dither(Rgb(128, 64, 0));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(p[8 * y + x], ((x + y) & 1) ? 3 : 1) << x << "," << y;
    // Three entries (black 32, dark red 16, dark yellow 16): dark red in the
    // odd columns of even rows, dark yellow in the even columns of odd rows.
    p = Dither(Rgb(64, 32, 0));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const BYTE want = (y & 1) == 0 ? ((x & 1) ? 1 : 0) : ((x & 1) ? 0 : 3);
            EXPECT_EQ(p[8 * y + x], want) << x << "," << y;
        }
    // Four entries (dark yellow 4, grey 24, red 25, yellow 11): dark yellow
    // at the order's first four cells, yellow at its last eleven, grey and
    // red between; each index as often as its count.
    p = Dither(Rgb(200, 100, 50));
    for (int offset : {0, 36, 4, 32}) EXPECT_EQ(p[offset], 3) << offset;
    for (int offset : {62, 30, 58, 10, 46, 14, 42, 24, 60, 28, 56})
        EXPECT_EQ(p[offset], 251) << offset;
    EXPECT_EQ(p[18], 248);  // the fifth cell of the order
    EXPECT_EQ(p[1], 249);   // the 33rd
    EXPECT_EQ(std::count(p.begin(), p.end(), 248), 24);
    EXPECT_EQ(std::count(p.begin(), p.end(), 249), 25);
}

// The background is the entry with the most positions; with three or four
// entries it is marked, ties going as stated per number of entries. The
// pattern does not depend on the choice.
TEST(PaletteDither, BackgroundChoice) {
    struct Case {
        const char* what;
        ULONG rgb;
        int iBackground;  // -1: none marked (one or two entries)
    };
    const Case cases[] = {
        {"two, the second larger", Rgb(0, 0, 70), -1},
        {"three, entry 0 largest", Rgb(64, 32, 0), 0},
        {"three, entry 0 tied with entry 1", Rgb(0, 10, 70), 1},
        {"three, entries 1 and 2 tied", Rgb(0, 45, 90), 1},
        {"three, entry 2 largest", Rgb(0, 5, 195), 2},
        {"four, entries 2 and 3 tied", Rgb(5, 130, 215), 2},
        {"four, entries 1 and 2 tied", Rgb(5, 55, 110), 2},
        {"four, entry 0 tied with entry 1", Rgb(5, 10, 70), 1},
        {"four, entry 0 largest", Rgb(5, 10, 15), 0},
        {"four, entry 3 largest", Rgb(240, 200, 160), 3},
    };
    for (const Case& c : cases) {
        DITHERENTRY a[DITHER_MAX_ENTRIES];
        DITHERENTRY* pEnd = pComputeDitherEntries(c.rgb, a);
        const ULONG cEntries = static_cast<ULONG>(pEnd - a);
        DITHERENTRY before[DITHER_MAX_ENTRIES];
        std::copy(a, pEnd, before);
        Pattern p;
        vDitherColor(p.data(), a, pEnd, cEntries);
        for (ULONG i = 0; i < cEntries; ++i) {
            const bool bMarked = static_cast<int>(i) == c.iBackground;
            EXPECT_EQ(a[i].ulVertex, bMarked ? DITHER_VERTEX_BACKGROUND : before[i].ulVertex)
                << c.what << ", entry " << i;
            EXPECT_EQ(a[i].cCount, before[i].cCount) << c.what;
            // Every entry's colour fills as many cells as its count.
            EXPECT_EQ(std::count(p.begin(), p.end(), jDitherPaletteIndex(before[i].ulVertex)),
                      static_cast<long>(before[i].cCount))
                << c.what << ", entry " << i;
        }
    }
}

// The sixteen vertices and the driver's default 8-bit palette, read from a
// device the engine enabled.
class PaletteDitherDevice : public vnx::test::DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        device_ = std::make_unique<vnx::engine::Device>();
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(vnx::test::Request(640, 480, 8)));
        vnx::engine::PaletteInfo info{};
        ASSERT_TRUE(vnx::engine::query_palette(device_->devinfo().hpalDefault, &info));
        ASSERT_EQ(info.colors.size(), 256u);
        palette_ = info.colors;
    }
    void TearDown() override {
        device_.reset();
        DriverTest::TearDown();
    }
    ULONG Channel(BYTE index, int shift) const { return (palette_[index] >> shift) & 0xFF; }

    std::unique_ptr<vnx::engine::Device> device_;
    std::vector<ULONG> palette_;  // 0x00BBGGRR
};

// Each vertex names the palette entry of its corner of the cube: half
// intensity 128, full 255, vertex 8 the light grey.
TEST_F(PaletteDitherDevice, VerticesAreCornersOfTheDefaultPalette) {
    for (ULONG v = 0; v < DITHER_VERTICES; ++v) {
        const ULONG level = v == 8 ? 192 : (v & 8) ? 255 : 128;
        const ULONG bits = v == 8 ? 7 : v & 7;
        ULONG want = 0;
        for (int c = 0; c < 3; ++c)
            if (bits & (1u << c)) want |= level << (8 * c);
        EXPECT_EQ(palette_[jDitherPaletteIndex(v)], want) << "vertex " << v;
    }
}

// Over a grid of the cube, each channel's average over the 64 cells, in the
// palette's colours, lies within the dither's precision of the colour: the
// channels are taken at 64 levels (up to 3 below, 1 above).
TEST_F(PaletteDitherDevice, CellAverageIsTheColour) {
    for (ULONG r = 0; r < 256; r += 15)
        for (ULONG g = 0; g < 256; g += 15)
            for (ULONG b = 0; b < 256; b += 15) {
                const Pattern p = Dither(Rgb(r, g, b));
                const ULONG want[3] = {r, g, b};
                for (int c = 0; c < 3; ++c) {
                    ULONG sum = 0;
                    for (BYTE j : p) sum += Channel(j, 8 * c);
                    const double error = sum / 64.0 - want[c];
                    ASSERT_GE(error, -3.0) << Name(r, g, b) << " channel " << c;
                    ASSERT_LE(error, 1.0) << Name(r, g, b) << " channel " << c;
                }
            }
}

}  // namespace
namespace {

// Each cell's place in the dither order (0 taken first, 63 last).
constexpr std::array<BYTE, DITHER_CELLS> kOrderRank = {
     0, 32,  8, 40,  2, 34, 10, 42,
    48, 16, 56, 24, 50, 18, 58, 26,
    12, 44,  4, 36, 14, 46,  6, 38,
    60, 28, 52, 20, 62, 30, 54, 22,
     3, 35, 11, 43,  1, 33,  9, 41,
    51, 19, 59, 27, 49, 17, 57, 25,
    15, 47,  7, 39, 13, 45,  5, 37,
    63, 31, 55, 23, 61, 29, 53, 21,
};

// A colour of two entries fills the first entry's count of cells of the
// order with one index and the rest with the other. Ramps of green, and of
// red over full green, give every count from 1 to 63, so every cell's place
// in the order is seen.
TEST(PaletteDither, EveryCellKeepsItsPlaceInTheOrder) {
    std::set<ULONG> counts;
    for (ULONG v = 0; v < 256; ++v) {
        for (ULONG rgb : {Rgb(0, v, 0), Rgb(v, 255, 0)}) {
            const Entries e = Compute(rgb);
            if (e.size() != 2) continue;
            const ULONG c0 = e[0].first;
            counts.insert(c0);
            const Pattern p = Dither(rgb);
            const BYTE first = p[std::find(kOrderRank.begin(), kOrderRank.end(), 0) - kOrderRank.begin()];
            const BYTE last = p[std::find(kOrderRank.begin(), kOrderRank.end(), 63) - kOrderRank.begin()];
            ASSERT_NE(first, last) << std::hex << rgb;
            for (ULONG cell = 0; cell < DITHER_CELLS; ++cell)
                ASSERT_EQ(p[cell], kOrderRank[cell] < c0 ? first : last)
                    << std::hex << rgb << std::dec << ": cell " << cell << ", first count " << c0;
        }
    }
    for (ULONG c = 1; c < DITHER_CELLS; ++c) EXPECT_EQ(counts.count(c), 1u) << c;
}

}  // namespace
