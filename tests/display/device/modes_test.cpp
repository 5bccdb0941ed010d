// Display modes: the mode choice, the stereo override, DrvGetModes and the
// mode set with its colour registers and register windows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/modes.h"
#include "display/fixture.h"
#include "platform/mmio.h"

namespace {

using vnx::engine::Device;
using vnx::miniport::ModeSpec;
using vnx::test::DriverTest;
using vnx::test::Machine;
using vnx::test::Pdev;
using vnx::test::Request;

VIDEO_MODE_INFORMATION Mode(ULONG index, ULONG cx, ULONG cy, ULONG bpp, ULONG hz,
                            ULONG attributes = 0, bool usable = true) {
    VIDEO_MODE_INFORMATION m{};
    m.Length = usable ? sizeof m : 0;
    m.ModeIndex = index;
    m.VisScreenWidth = cx;
    m.VisScreenHeight = cy;
    m.NumberOfPlanes = 1;
    m.BitsPerPlane = bpp;
    m.Frequency = hz;
    m.AttributeFlags = attributes;
    return m;
}

// The mode list every choice below is made from.
const VIDEO_MODE_INFORMATION kModes[] = {
    Mode(0, 640, 480, 8, 60, 0, false),  // unusable
    Mode(1, 640, 480, 8, 60),           Mode(2, 1024, 768, 8, 60),
    Mode(3, 1024, 768, 8, 72),          Mode(4, 1024, 768, 8, 70),
    Mode(5, 1024, 768, 32, 60),         Mode(6, 1024, 768, 16, 87, VIDEO_MODE_INTERLACED),
    Mode(7, 1024, 768, 16, 60),         Mode(8, 1280, 1024, 32, 75),
};

TEST(ModeChoice, Table) {
    struct Row {
        const char* what;
        DEVMODEW request;
        LONG expected;  // mode index, -1 = no match
    };
    const Row rows[] = {
        {"empty request: first usable", Request(0, 0, 0), 1},
        {"exact", Request(1024, 768, 8, 72), 3},
        {"any frequency: first of the size", Request(1024, 768, 8, 0), 2},
        {"24 bpp asks for 32", Request(1024, 768, 24, 60), 5},
        {"75 Hz accepts 72 (and after it 70)", Request(1024, 768, 8, 75), 4},
        {"78 Hz: 72 is within a tenth of 72, 70 not of 70", Request(1024, 768, 8, 78), 3},
        {"80 Hz accepts neither 72 nor 70", Request(1024, 768, 8, 80), -1},
        {"exact beats near", Request(1024, 768, 8, 60), 2},
        {"interlaced request", Request(1024, 768, 16, 87, DM_INTERLACED), 6},
        {"interlace must match", Request(1024, 768, 16, 87), -1},
        {"non-interlaced of that size", Request(1024, 768, 16, 0), 7},
        {"depth must match", Request(640, 480, 16, 60), -1},
        {"size must match", Request(800, 600, 8, 60), -1},
        {"flags alone make a request", Request(0, 0, 0, 0, DM_INTERLACED), -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const VIDEO_MODE_INFORMATION* m =
            pvmiSelectMode(&row.request, reinterpret_cast<const BYTE*>(kModes),
                           sizeof kModes / sizeof kModes[0], sizeof kModes[0]);
        EXPECT_EQ(m == nullptr ? -1 : static_cast<LONG>(m->ModeIndex), row.expected);
    }
}

// Records longer than the fields the driver reads are stepped over by the
// miniport's record size.
TEST(ModeChoice, StepsByTheMiniportsRecordSize) {
    struct Wide {
        VIDEO_MODE_INFORMATION m;
        ULONG extra[3];
    };
    Wide modes[2] = {{Mode(10, 640, 480, 8, 60), {}}, {Mode(11, 800, 600, 32, 60), {}}};
    DEVMODEW dm = Request(800, 600, 32);
    const VIDEO_MODE_INFORMATION* m =
        pvmiSelectMode(&dm, reinterpret_cast<const BYTE*>(modes), 2, sizeof(Wide));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->ModeIndex, 11u);
}

class Modes : public DriverTest {};

// The board configuration's stereo mode overrides the request; an index
// past the table forces nothing.
TEST_F(Modes, StereoModeOverridesTheRequest) {
    struct Row {
        ULONG stereoMode;
        ULONG cx, cy, bpp, hz;
    };
    const Row rows[] = {
        {15, 1024, 768, 32, 105},      {2, 768, 768, 8, 140}, {7, 768, 768, 15, 105},
        {18, 1280, 512, 32, 139},      {0, 640, 480, 8, 60},  {19, 640, 480, 8, 60},
        {0xFFFFFFFF, 640, 480, 8, 60},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stereoMode);
        auto cfg = Machine(1);
        cfg.modes.push_back(ModeSpec{1024, 768, 1, 32, 105});
        cfg.modes.push_back(ModeSpec{768, 768, 1, 8, 140});
        cfg.modes.push_back(ModeSpec{768, 768, 1, 15, 105});
        cfg.modes.push_back(ModeSpec{1280, 512, 1, 32, 139});
        cfg.boardConfig.stereoMode = row.stereoMode;
        Device device(cfg);
        ASSERT_TRUE(device.load_driver());
        DEVMODEW dm = Request(640, 480, 8, 60);
        ASSERT_TRUE(device.enable_pdev(dm));
        EXPECT_EQ(device.gdiinfo().ulHorzRes, row.cx);
        EXPECT_EQ(device.gdiinfo().ulVertRes, row.cy);
        EXPECT_EQ(device.gdiinfo().ulVRefresh, row.hz);
        EXPECT_EQ(Pdev(device)->bc.stereoMode, row.stereoMode);
        // 15 bits a pixel is a 16-bpp device.
        EXPECT_EQ(device.gdiinfo().cBitsPixel, row.bpp == 15 ? 16u : row.bpp);
    }
}

TEST_F(Modes, StereoModeWithoutSuchAModeFails) {
    auto cfg = Machine(1);
    cfg.boardConfig.stereoMode = 15;  // 1024x768x32 at 105 Hz: not in the list
    Device device(cfg);
    ASSERT_TRUE(device.load_driver());
    EXPECT_FALSE(device.enable_pdev(Request(1024, 768, 32, 60)));
}

TEST_F(Modes, NoMatchingModeFailsTheEnable) {
    Device device;
    ASSERT_TRUE(device.load_driver());
    EXPECT_FALSE(device.enable_pdev(Request(1600, 1200, 8)));
    EXPECT_FALSE(device.pdev_enabled());
}

TEST_F(Modes, GetModesWritesWholeRecordsOfUsableModes) {
    auto cfg = Machine(1);
    cfg.modes = {
        ModeSpec{640, 480, 1, 8, 60}, ModeSpec{800, 600, 1, 8, 60, 0, 320, 240, false},  // unusable
        ModeSpec{1024, 768, 1, 16, 87, VIDEO_MODE_INTERLACED}, ModeSpec{1280, 1024, 4, 8, 75}};
    Device device(cfg);
    ASSERT_TRUE(device.load_driver());

    // Without a buffer: room for every mode the miniport reports.
    EXPECT_EQ(device.get_modes(0, nullptr), 4u * 188);

    std::vector<DEVMODEW> dm(4);
    for (auto& d : dm) std::memset(&d, 0x5A, sizeof d);
    EXPECT_EQ(device.get_modes(sizeof(DEVMODEW) * 4, dm.data()), 3u * 188);
    EXPECT_EQ(std::u16string(dm[0].dmDeviceName), u"kz*");
    EXPECT_EQ(dm[0].dmSpecVersion, 0x320);
    EXPECT_EQ(dm[0].dmDriverVersion, 0x320);
    EXPECT_EQ(dm[0].dmSize, 188);
    EXPECT_EQ(dm[0].dmDriverExtra, 0);
    EXPECT_EQ(dm[0].dmFields, 0u);
    EXPECT_EQ(dm[0].dmPelsWidth, 640u);
    EXPECT_EQ(dm[0].dmBitsPerPel, 8u);
    EXPECT_EQ(dm[0].dmDisplayFlags, 0u);
    EXPECT_EQ(dm[1].dmPelsWidth, 1024u);
    EXPECT_EQ(dm[1].dmBitsPerPel, 16u);
    EXPECT_EQ(dm[1].dmDisplayFrequency, 87u);
    EXPECT_EQ(dm[1].dmDisplayFlags, DM_INTERLACED);
    EXPECT_EQ(dm[2].dmPelsHeight, 1024u);
    EXPECT_EQ(dm[2].dmBitsPerPel, 32u);  // planes x bits per plane
    EXPECT_EQ(dm[3].dmSize, 0x5A5A);     // untouched

    // Room for one whole record and a bit: one record.
    std::vector<BYTE> small(200, 0x5A);
    EXPECT_EQ(device.get_modes(200, reinterpret_cast<DEVMODEW*>(small.data())), 188u);
    for (size_t i = 188; i < small.size(); ++i) EXPECT_EQ(small[i], 0x5A);
    EXPECT_EQ(device.get_modes(187, reinterpret_cast<DEVMODEW*>(small.data())), 0u);
}

TEST_F(Modes, GetModesAnswersZeroWhenTheListCannotBeRead) {
    Device device;
    ASSERT_TRUE(device.load_driver());
    std::vector<DEVMODEW> dm(40);
    for (const char* point :
         {"IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES", "IOCTL_VIDEO_QUERY_AVAIL_MODES", "LocalAlloc"}) {
        SCOPED_TRACE(point);
        vnx::faults::clear();
        vnx::faults::arm(point);
        EXPECT_EQ(device.get_modes(sizeof(DEVMODEW) * 40, dm.data()), 0u);
    }
    vnx::faults::clear();
    vnx::faults::arm("IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES");
    EXPECT_EQ(device.get_modes(0, nullptr), 0u);
}

// The mode set: the mode, the 16 default colour registers, the register
// windows of every rasterizer and the 3D word of the first.
TEST_F(Modes, SetModeLoadsRegistersAndMapsWindows) {
    struct Row {
        int rasterizers, boards;
        bool threeD;
    };
    for (const Row& row : {Row{1, 1, true}, Row{2, 1, false}, Row{4, 1, true}, Row{4, 2, true}}) {
        SCOPED_TRACE(row.rasterizers * 10 + row.boards);
        auto cfg = Machine(row.rasterizers, row.boards);
        cfg.threeD = row.threeD;
        Device device(cfg);
        ASSERT_TRUE(device.load_driver());
        ASSERT_TRUE(device.enable_pdev(Request(1024, 768, 8, 75)));
        PDEV* ppdev = Pdev(device);
        EXPECT_EQ(ppdev->ulMode, 4u);  // 640, 800, 1024@60, @72, @75 at 8 bpp
        ASSERT_TRUE(bSetMode(ppdev));

        const auto state = device.machine().state();
        EXPECT_EQ(state.currentMode, 4);
        EXPECT_TRUE(state.rangesMapped);
        EXPECT_EQ(state.colorRegisterLoads, 1u);
        EXPECT_EQ(device.machine().color_register(0), 0x000000u);
        EXPECT_EQ(device.machine().color_register(1), 0x15002Au);
        EXPECT_EQ(device.machine().color_register(8), 0x323130u);
        EXPECT_EQ(device.machine().color_register(15), 0x3F3F3Fu);

        const int cRasterizers = row.rasterizers * row.boards;
        for (int i = 0; i < MAX_RASTERIZERS; ++i)
            EXPECT_EQ(ppdev->apRegs[i] != nullptr, i < cRasterizers) << i;
        EXPECT_EQ(ppdev->pjRegs, ppdev->apRegs[0]);
        EXPECT_EQ(ppdev->f3DEnable != 0, row.threeD);
        // Rasterizer 0 of a one-rasterizer board owns every tile.
        if (row.rasterizers == 1) {
            EXPECT_EQ(VnxRegRead(ppdev->pjRegs, VNX_REG_TILE_OWNER) & 0xFFFF0000u, 0xFFFF0000u);
        }
    }
}

TEST_F(Modes, SetModeFailsWithAnyOfItsRequests) {
    Device device;
    ASSERT_TRUE(device.load_driver());
    ASSERT_TRUE(device.enable_pdev());
    for (const char* point : {"IOCTL_VIDEO_SET_CURRENT_MODE", "IOCTL_VIDEO_SET_COLOR_REGISTERS",
                              "IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES"}) {
        SCOPED_TRACE(point);
        vnx::faults::clear();
        vnx::faults::arm(point);
        EXPECT_FALSE(bSetMode(Pdev(device)));
    }
}

}  // namespace
