// The default palette and DrvSetPalette at 8 bpp (and its no-op at the
// direct-colour depths), seen in the colour registers the miniport keeps.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/modes.h"
#include "device/palette.h"
#include "display/fixture.h"

namespace {

using vnx::engine::Device;
using vnx::test::DriverTest;
using vnx::test::Pdev;
using vnx::test::Request;
using vnx::test::ScopedValue;

// The system colours, 0x00BBGGRR, at entries 0-9 and 246-255.
const ULONG kSystem[20] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000,
    0xC0C0C0, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF,
    0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

ULONG SystemAt(ULONG i) { return i < 10 ? kSystem[i] : kSystem[i - 236]; }

class Palette8 : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        device_ = std::make_unique<Device>();
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(Request(640, 480, 8)));
        hpal_ = device_->devinfo().hpalDefault;
        vnx::engine::PaletteInfo info{};
        ASSERT_TRUE(vnx::engine::query_palette(hpal_, &info));
        defaults_ = info.colors;
        ASSERT_EQ(defaults_.size(), 256u);
        // Mark every register, so a test sees which ones a call loaded.
        for (ULONG i = 0; i < 256; ++i) marked_[i] = 0x00ABCD00 | i;
        LoadRegisters(marked_.data());
    }
    void TearDown() override {
        device_.reset();
        DriverTest::TearDown();
    }

    // Loads all 256 registers from the test through the driver's own path.
    void LoadRegisters(const ULONG* colours) {
        PDEV* ppdev = Pdev(*device_);
        std::vector<PALETTEENTRY> load(256);
        std::memcpy(load.data(), colours, 256 * 4);
        ScopedValue<PALETTEENTRY*> palette(ppdev->pPal, load.data());
        ASSERT_TRUE(bLoadPalette(ppdev));
    }

    ULONG Register(ULONG i) { return device_->machine().color_register(i); }
    ULONG Loads() { return device_->machine().state().colorRegisterLoads; }

    std::unique_ptr<Device> device_;
    HPALETTE hpal_ = nullptr;
    std::vector<ULONG> defaults_;
    std::array<ULONG, 256> marked_{};
};

TEST_F(Palette8, DefaultPaletteRampAndSystemColours) {
    for (ULONG i = 0; i < 10; ++i) EXPECT_EQ(defaults_[i], kSystem[i]) << i;
    for (ULONG i = 246; i < 256; ++i) EXPECT_EQ(defaults_[i], kSystem[i - 236]) << i;
    // Blue fastest in four steps, green in eight, red by groups of 32.
    EXPECT_EQ(defaults_[10], 0xAA4900u);   // blue 170, green 73, red 0
    EXPECT_EQ(defaults_[31], 0xFFFF00u);   // blue 255, green 255, red 0
    EXPECT_EQ(defaults_[32], 0x000000u);   // the second group of 32 has no red
    EXPECT_EQ(defaults_[64], 0x000033u);   // red 51
    EXPECT_EQ(defaults_[101], 0x552466u);  // red 102, green 36, blue 85
    EXPECT_EQ(defaults_[223], 0xFFFFFFu);  // red 255, green 255, blue 255
    EXPECT_EQ(defaults_[245], 0x55B6FFu);  // the last group is full red too
    // The driver's array holds the same colours.
    PDEV* ppdev = Pdev(*device_);
    for (ULONG i = 0; i < 256; ++i) {
        const PALETTEENTRY& pe = ppdev->pPal[i];
        EXPECT_EQ(pe.peRed | (ULONG(pe.peGreen) << 8) | (ULONG(pe.peBlue) << 16), defaults_[i]);
        EXPECT_EQ(pe.peFlags, 0);
    }
}

// Read as 3-3-2 (as the 32-bit conversions write indices), every value's
// entry lies within one step of its colour: saturated reds keep their red,
// and the values the system colours hold are shown by their twins.
TEST_F(Palette8, EveryThreeThreeTwoValueShowsItsColour) {
    for (ULONG j = 0; j < 256; ++j) {
        const ULONG i = ulPaletteIndex332(j);
        ASSERT_LT(i, 256u);
        EXPECT_TRUE(i >= 10 && i < 246) << "value " << j << " lands on system colour " << i;
        const ULONG want[3] = {((j >> 5) & 7) * 255 / 7, ((j >> 2) & 7) * 255 / 7, (j & 3) * 85};
        for (int c = 0; c < 3; ++c) {
            const int got = static_cast<int>((defaults_[i] >> (8 * c)) & 0xFF);
            EXPECT_LE(std::abs(got - static_cast<int>(want[c])), 37)  // 255 / 7 rounded up
                << "value " << j << " channel " << c;
        }
    }
    EXPECT_EQ(ulPaletteIndex332(0xFC), 0xDCu);  // yellow: not the system blue at 252
    EXPECT_EQ(defaults_[0xDC], 0x00FFFFu);
    EXPECT_EQ(ulPaletteIndex332(0x03), 0x23u);  // blue: not the system dark yellow at 3
    EXPECT_EQ(ulPaletteIndex332(0xF1), 0xF1u);
}

TEST_F(Palette8, LoadPaletteSendsAll256Entries) {
    const ULONG before = Loads();
    ASSERT_TRUE(bLoadPalette(Pdev(*device_)));
    EXPECT_EQ(Loads(), before + 1);
    for (ULONG i = 0; i < 256; ++i) EXPECT_EQ(Register(i), defaults_[i]) << i;
    vnx::faults::arm("IOCTL_VIDEO_SET_COLOR_REGISTERS");
    EXPECT_FALSE(bLoadPalette(Pdev(*device_)));
}

// A whole palette that keeps the system colours is loaded as given, with the
// flag bytes cleared.
TEST_F(Palette8, FullUpdateKeepingSystemColours) {
    std::vector<ULONG> colours(256);
    for (ULONG i = 0; i < 256; ++i) {
        const ULONG flags = 0x01000000u * (i & 3);  // the flag byte is not loaded
        colours[i] = flags | ((i < 10 || i >= 246) ? SystemAt(i) : i * 0x010101u);
    }
    ASSERT_TRUE(device_->set_palette(0, 256, colours.data()));
    for (ULONG i = 0; i < 256; ++i) EXPECT_EQ(Register(i), colours[i] & 0xFFFFFFu) << i;
}

// A whole palette that moves a system colour is replaced by the default.
TEST_F(Palette8, FullUpdateMovingASystemColourLoadsTheDefault) {
    std::vector<ULONG> colours(256, 0x123456);
    for (ULONG i = 0; i < 10; ++i) colours[i] = SystemAt(i);
    for (ULONG i = 246; i < 256; ++i) colours[i] = SystemAt(i);
    colours[250] = 0x010203;
    ASSERT_TRUE(device_->set_palette(0, 256, colours.data()));
    for (ULONG i = 0; i < 256; ++i) EXPECT_EQ(Register(i), defaults_[i]) << i;
}

// Partial updates: only the system entries inside the update are checked,
// only the updated registers are loaded, and the application's colours
// survive an update that does not touch the system entries.
TEST_F(Palette8, PartialUpdates) {
    struct Row {
        const char* what;
        ULONG iStart, cColors;
        LONG badAt;  // entry given a wrong colour, -1 for none
        bool expectDefault;
    };
    const Row rows[] = {
        {"application colours only", 10, 5, -1, false},
        {"one entry", 128, 1, -1, false},
        {"low system entries kept", 0, 12, -1, false},
        {"low system entry moved", 0, 12, 3, true},
        {"high system entries kept", 240, 16, -1, false},
        {"high system entry moved", 240, 16, 255, true},
        {"moved entry outside the system ones", 240, 16, 241, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LoadRegisters(marked_.data());
        std::vector<ULONG> colours(row.cColors);
        for (ULONG k = 0; k < row.cColors; ++k) {
            const ULONG i = row.iStart + k;
            colours[k] =
                (i < 10 || i >= 246) ? SystemAt(i) : (0x80000000u | (i * 0x0A0B0Cu & 0xFFFFFF));
            if (static_cast<LONG>(i) == row.badAt) colours[k] = 0x00FEFEFE;
        }
        const ULONG before = Loads();
        ASSERT_TRUE(device_->set_palette(row.iStart, row.cColors, colours.data()));
        EXPECT_EQ(Loads(), before + 1);
        for (ULONG i = 0; i < 256; ++i) {
            if (i < row.iStart || i >= row.iStart + row.cColors) {
                EXPECT_EQ(Register(i), marked_[i]) << "register outside the update: " << i;
            } else if (row.expectDefault) {
                EXPECT_EQ(Register(i), defaults_[i]) << i;
            } else {
                EXPECT_EQ(Register(i), colours[i - row.iStart] & 0xFFFFFFu) << i;
            }
        }
    }
}

TEST_F(Palette8, RefusedUpdates) {
    struct Row {
        const char* what;
        ULONG iStart, cColors;
        const char* fault;
    };
    const Row rows[] = {
        {"past the last register", 250, 10, nullptr},
        {"start past the end", 256, 1, nullptr},
        {"huge count", 1, 0xFFFFFFFFu, nullptr},
        {"short fetch", 0, 16, "PALOBJ_cGetColors"},
        {"miniport refuses", 0, 16, "IOCTL_VIDEO_SET_COLOR_REGISTERS"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        vnx::faults::clear();
        if (row.fault) vnx::faults::arm(row.fault);
        EXPECT_FALSE(device_->set_palette(row.iStart, row.cColors, nullptr));
    }
    vnx::faults::clear();
    for (ULONG i = 0; i < 256; ++i) {
        ASSERT_EQ(Register(i), marked_[i]) << i;
    }
    // Nothing to load is no failure.
    EXPECT_TRUE(device_->set_palette(17, 0, nullptr));
}

// The direct-colour depths have no palette to load.
TEST_F(DriverTest, SetPaletteAtDirectColourDoesNothing) {
    for (ULONG bpp : {16u, 32u}) {
        Device device;
        ASSERT_TRUE(device.load_driver());
        ASSERT_TRUE(device.enable_pdev(Request(640, 480, bpp)));
        auto set = reinterpret_cast<PFN_DrvSetPalette>(device.function(INDEX_DrvSetPalette));
        EXPECT_TRUE(set(device.dhpdev(), nullptr, 0, 0, 256));
        EXPECT_EQ(device.machine().state().colorRegisterLoads, 0u);
    }
}

}  // namespace
