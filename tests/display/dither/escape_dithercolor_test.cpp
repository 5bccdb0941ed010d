// DrvDitherColor: the monochrome ordered dither of a colour's luminance, and
// the colour dither that is not built yet.
#include <gtest/gtest.h>

#include <array>
#include <bit>

#include "device/entry.h"
#include "display/fixture.h"
#include "dither/dithercolor.h"

namespace {

using Rows = std::array<ULONG, 8>;

class DitherColorTest : public vnx::test::DriverTest {
  protected:
    // The pattern for rgb; rows start as garbage, which must not survive.
    Rows Mono(ULONG rgb) {
        Rows rows;
        rows.fill(0xDEADBEEFu);
        EXPECT_EQ(DrvDitherColor(nullptr, DM_MONOCHROME, rgb, rows.data()), ULONG{TRUE});
        return rows;
    }
    static int Bits(const Rows& rows) {
        int c = 0;
        for (ULONG row : rows) c += std::popcount(row);
        return c;
    }
};

TEST_F(DitherColorTest, BlackWhiteAndMidGrey) {
    EXPECT_EQ(Mono(0x000000), (Rows{0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Mono(0xFFFFFF), (Rows{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    // Luminance 128: the first 32 bits of the order make a checkerboard.
    EXPECT_EQ(Mono(0x808080), (Rows{0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55}));
    // Luminance 3: (3 + 1) / 4 = 1 bit, the first of the order.
    EXPECT_EQ(Mono(0x030303), (Rows{0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(vnx::debug::take(), "");
}

// Each grey level sets (level + 1) / 4 bits, every darker level's bits among
// them: the order never takes a bit twice.
TEST_F(DitherColorTest, GreyLevelsGrowOneOrderedPattern) {
    Rows previous{};
    for (ULONG level = 0; level < 256; ++level) {
        const Rows rows = Mono(level * 0x010101u);
        ASSERT_EQ(Bits(rows), static_cast<int>((level + 1) >> 2)) << level;
        for (int i = 0; i < 8; ++i) {
            ASSERT_EQ(rows[i] & previous[i], previous[i]) << level;
            ASSERT_EQ(rows[i] & ~0xFFu, 0u) << level;
        }
        previous = rows;
    }
}

// Luminance weighs red 77, green 151, blue 28 (of 256); red is the low byte.
TEST_F(DitherColorTest, ChannelsAreWeighedByLuminance) {
    EXPECT_EQ(Bits(Mono(0x0000FF)), ((77 * 255 >> 8) + 1) >> 2);   // red: 19
    EXPECT_EQ(Bits(Mono(0x00FF00)), ((151 * 255 >> 8) + 1) >> 2);  // green: 37
    EXPECT_EQ(Bits(Mono(0xFF0000)), ((28 * 255 >> 8) + 1) >> 2);   // blue: 7
    // Bits above the colour are ignored.
    EXPECT_EQ(Mono(0xFF0000FFu), Mono(0x0000FF));
}

// The colour dither comes later: the engine is told the brush was not made
// and the buffer is left alone.
TEST_F(DitherColorTest, ColourModeIsNotBuiltYet) {
    std::array<ULONG, 16> pattern;
    pattern.fill(0x12345678u);
    EXPECT_EQ(DrvDitherColor(nullptr, 0, 0x00336699, pattern.data()), ULONG{FALSE});
    EXPECT_EQ(vnx::debug::take(), "bColorDitherBrush: not built yet\n");
    for (ULONG word : pattern) EXPECT_EQ(word, 0x12345678u);
}

}  // namespace
