// DrvDitherColor: the monochrome ordered dither of a colour's luminance, and
// the colour dither's 64 palette indices.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>

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

// Any other mode gives the colour dither: 64 palette indices, row by row,
// in the 16 words, every word written.
TEST_F(DitherColorTest, ColourModeWritesThePaletteIndices) {
    struct Case {
        const char* what;
        ULONG iMode;
        ULONG rgb;
        std::array<BYTE, 8> evenRow, oddRow;
    };
    const Case cases[] = {
        {"mid grey",
         0,
         0x808080,
         {248, 248, 248, 248, 248, 248, 248, 248},
         {248, 248, 248, 248, 248, 248, 248, 248}},
        {"red",
         0,
         0x0000FF,
         {249, 249, 249, 249, 249, 249, 249, 249},
         {249, 249, 249, 249, 249, 249, 249, 249}},
        // Half dark red, half dark yellow.
        {"brown", 0, 0x004080, {1, 3, 1, 3, 1, 3, 1, 3}, {3, 1, 3, 1, 3, 1, 3, 1}},
        // Full red and yellow; any mode but monochrome is the colour mode.
        {"orange",
         1,
         0x0080FF,
         {249, 251, 249, 251, 249, 251, 249, 251},
         {251, 249, 251, 249, 251, 249, 251, 249}},
    };
    for (const Case& c : cases) {
        std::array<ULONG, 16> pattern;
        pattern.fill(0x12345678u);
        EXPECT_EQ(DrvDitherColor(nullptr, c.iMode, c.rgb, pattern.data()), ULONG{TRUE}) << c.what;
        BYTE aj[64];
        std::memcpy(aj, pattern.data(), sizeof aj);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(aj[8 * y + x], (y & 1 ? c.oddRow : c.evenRow)[x])
                    << c.what << " at " << x << "," << y;
    }
    EXPECT_EQ(vnx::debug::take(), "");
}

}  // namespace
