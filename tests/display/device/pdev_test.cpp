// The device record's life cycle through the engine: DrvEnablePDEV,
// DrvCompletePDEV and DrvDisablePDEV on every board model, the reported
// capabilities, and clean failure at every step.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "device/hatch.h"
#include "device/palette.h"
#include "display/fixture.h"

namespace {

using vnx::engine::Device;
using vnx::test::BoardModel;
using vnx::test::BoardModelName;
using vnx::test::DriverTest;
using vnx::test::kBoardModels;
using vnx::test::Machine;
using vnx::test::Pdev;
using vnx::test::Request;
using vnx::test::ScopedEnv;

class PdevTest : public DriverTest {};

class PdevOnBoard : public DriverTest, public ::testing::WithParamInterface<BoardModel> {};

// The engine loads the driver by name, enables a device on each board model
// and disables it again, leaving nothing behind.
TEST_P(PdevOnBoard, EnablesAndDisablesCleanly) {
    const BoardModel& model = GetParam();
    const size_t surfaces = vnx::engine::live_surfaces();
    const size_t palettes = vnx::engine::live_palettes();
    {
        Device device(Machine(model));
        ASSERT_TRUE(device.load_driver("vornix.dll"));
        ASSERT_TRUE(device.enable_pdev(Request(1024, 768, 16)));
        PDEV* ppdev = Pdev(device);
        EXPECT_EQ(ppdev->hdevEng, device.hdev());
        EXPECT_EQ(ppdev->hDriver, device.hDriver());
        EXPECT_EQ(ppdev->cxScreen, 1024);
        EXPECT_EQ(ppdev->cyScreen, 768);
        EXPECT_EQ(ppdev->iBitmapFormat, BMF_16BPP);
        EXPECT_EQ(device.patterns().size(), size_t{HS_DDI_MAX});
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces + HS_DDI_MAX);
        EXPECT_EQ(vnx::engine::live_palettes(), palettes + 1);
        device.disable_pdev();
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
        EXPECT_EQ(vnx::engine::live_palettes(), palettes);
        // The device can be enabled again after a disable.
        ASSERT_TRUE(device.enable_pdev(Request(640, 480, 8)));
        device.unload_driver();
    }
    EXPECT_EQ(vnx::debug::take(), "");
}

INSTANTIATE_TEST_SUITE_P(Models, PdevOnBoard, ::testing::ValuesIn(kBoardModels), BoardModelName);

// A new device record: the words DrvEnablePDEV sets, the default hooks, and
// the locks ready for use.
TEST_F(PdevTest, NewRecordHoldsItsInitialWords) {
    Device device;
    ASSERT_TRUE(device.load_driver());
    ASSERT_TRUE(device.enable_pdev());
    PDEV* ppdev = Pdev(device);
    EXPECT_EQ(ppdev->ulSignature, PDEV_SIGNATURE);
    EXPECT_EQ(ppdev->alSwapState[0], 0);
    EXPECT_EQ(ppdev->alSwapState[1], -1);
    EXPECT_EQ(ppdev->alSwapState[2], 0);
    EXPECT_EQ(ppdev->lHookResult, -1);
    EXPECT_EQ(ppdev->f3DEnable, 0u);
    EXPECT_EQ(ppdev->hGLServer, nullptr);
    EXPECT_EQ(ppdev->pEscapeModules, nullptr);
    EXPECT_EQ(ppdev->pfnGLServerUnload, nullptr);
    ASSERT_NE(ppdev->pfnOpenGLCmd, nullptr);
    EXPECT_EQ(ppdev->pfnOpenGLCmd(nullptr, 0, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(ppdev->pfnOpenGLGetInfo(nullptr, 0, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(ppdev->pfnSwapBuffers(nullptr, nullptr), 0);
    EXPECT_EQ(ppdev->pfnSetPixelFormat(nullptr, 1, nullptr), 0);
    // The describe hook is the GL server's loader: with no server to load it
    // describes nothing and loads nothing.
    {
        ScopedEnv server("KZGLSRVNAME", "vnxnosuchserver.dll");
        EXPECT_EQ(ppdev->pfnDescribePixelFormat(device.dhpdev(), 1, 0, nullptr), 0);
    }
    EXPECT_EQ(ppdev->hGLServer, nullptr);
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_TRUE(TryEnterCriticalSection(&ppdev->csEscape));
    EXPECT_TRUE(TryEnterCriticalSection(&ppdev->csEscape));  // re-entrant
    LeaveCriticalSection(&ppdev->csEscape);
    LeaveCriticalSection(&ppdev->csEscape);
    EnterCriticalSection(&ppdev->csPixelFormat);
    LeaveCriticalSection(&ppdev->csPixelFormat);
    EnterCriticalSection(&ppdev->csRamdac);
    LeaveCriticalSection(&ppdev->csRamdac);
    EXPECT_EQ(ppdev->hsurfTmp32, nullptr);
}

// The 3D buffer block keeps its fields in the record's order: the buffer
// triples, the GL overlay count, the scratch tiles, the dither tile, the
// texture options and the pattern surface.
TEST(PdevLayout, ThreeDBufferBlockKeepsItsOrder) {
    const size_t offsets[] = {
        offsetof(PDEV, hsurfBack),   offsetof(PDEV, psoBack),      offsetof(PDEV, pidBack),
        offsetof(PDEV, hsurfZ),      offsetof(PDEV, psoZ),         offsetof(PDEV, pidZ),
        offsetof(PDEV, hsurfStencil), offsetof(PDEV, pidAlpha),
        offsetof(PDEV, cGLOverlayContexts),
        offsetof(PDEV, hsurfTmp),    offsetof(PDEV, psoTmp),       offsetof(PDEV, hsurfTmp24),
        offsetof(PDEV, psoTmp24),    offsetof(PDEV, hsurfAlt),     offsetof(PDEV, psoAlt),
        offsetof(PDEV, hsurfDither), offsetof(PDEV, pdsurfDither), offsetof(PDEV, psoDither),
        offsetof(PDEV, pidDither),   offsetof(PDEV, fFrameKind),   offsetof(PDEV, ulTextureMode),
        offsetof(PDEV, fTexture16),  offsetof(PDEV, fMipmap),      offsetof(PDEV, psoPattern),
    };
    for (size_t i = 1; i < std::size(offsets); ++i) EXPECT_LT(offsets[i - 1], offsets[i]) << i;
}

// The device gets its surface and loses it again, staying enabled (the
// surface itself is tested in surface_*_test.cpp).
TEST_F(PdevTest, SurfaceComesAndGoesWithTheDeviceEnabled) {
    Device device;
    ASSERT_TRUE(device.load_driver());
    ASSERT_TRUE(device.enable_pdev());
    EXPECT_TRUE(device.enable_surface());
    EXPECT_TRUE(device.surface_enabled());
    device.disable_surface();
    EXPECT_FALSE(device.surface_enabled());
    EXPECT_TRUE(device.pdev_enabled());
    EXPECT_EQ(vnx::debug::take(), "");
}

// What the engine is told for each depth.
TEST_F(PdevTest, CapabilitiesFollowTheDepth) {
    struct Row {
        ULONG bpp;
        ULONG cBitsPixel, ulNumColors, ulHTOutputFormat, ulNumPalReg;
        bool palManaged;
        ULONG iPalMode;
        ULONG iPixelClass, ulColourModel;
    };
    const Row rows[] = {
        {8, 8, 20, 4, 256, true, PAL_INDEXED, 0, 1},
        {16, 16, 0xFFFFFFFF, 5, 0, false, PAL_BITFIELDS, 1, 8},
        {32, 32, 0xFFFFFFFF, 7, 0, false, PAL_BITFIELDS, 2, 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bpp);
        Device device;
        ASSERT_TRUE(device.load_driver());
        ASSERT_TRUE(device.enable_pdev(Request(800, 600, row.bpp)));
        const GDIINFO& gdi = device.gdiinfo();
        EXPECT_EQ(gdi.ulVersion, 0x3502u);
        EXPECT_EQ(gdi.ulTechnology, DT_RASDISPLAY);
        EXPECT_EQ(gdi.cPlanes, 1u);
        EXPECT_EQ(gdi.flTextCaps, TC_RA_ABLE);
        EXPECT_EQ(gdi.ulHorzRes, 800u);
        EXPECT_EQ(gdi.ulVertRes, 600u);
        EXPECT_EQ(gdi.ulDesktopHorzRes, 800u);
        EXPECT_EQ(gdi.ulDesktopVertRes, 600u);
        EXPECT_EQ(gdi.ulHorzSize, 320u);
        EXPECT_EQ(gdi.ulVertSize, 240u);
        EXPECT_EQ(gdi.ulDevicePelsDPI, 800u * 254 / 2400);
        EXPECT_EQ(gdi.ulVRefresh, 60u);
        EXPECT_EQ(gdi.ulLogPixelsX, 96u);
        EXPECT_EQ(gdi.ulLogPixelsY, 96u);
        EXPECT_EQ(gdi.ulAspectXY, 51u);
        EXPECT_EQ(gdi.denStyleStep, 3);
        EXPECT_EQ(gdi.ciDevice.RedGamma, 20000);
        EXPECT_EQ(gdi.ulBltAlignment, 16u);
        EXPECT_EQ(gdi.cBitsPixel, row.cBitsPixel);
        EXPECT_EQ(gdi.ulNumColors, row.ulNumColors);
        EXPECT_EQ(gdi.ulHTOutputFormat, row.ulHTOutputFormat);
        EXPECT_EQ(gdi.ulNumPalReg, row.ulNumPalReg);

        const DEVINFO& di = device.devinfo();
        EXPECT_EQ((di.flGraphicsCaps & GCAPS_PALMANAGED) != 0, row.palManaged);
        EXPECT_EQ((di.flGraphicsCaps & GCAPS_COLOR_DITHER) != 0, row.palManaged);
        EXPECT_NE(di.flGraphicsCaps & GCAPS_OPAQUERECT, 0u);
        EXPECT_NE(di.flGraphicsCaps & GCAPS_DITHERONREALIZE, 0u);
        EXPECT_EQ(std::u16string(di.lfDefaultFont.lfFaceName), u"System");
        EXPECT_EQ(std::u16string(di.lfAnsiVarFont.lfFaceName), u"MS Sans Serif");
        EXPECT_EQ(std::u16string(di.lfAnsiFixFont.lfFaceName), u"Courier");
        EXPECT_EQ(di.cxDither, 8);
        EXPECT_EQ(di.cyDither, 8);
        EXPECT_EQ(di.iDitherFormat, Pdev(device)->iBitmapFormat);
        vnx::engine::PaletteInfo pal{};
        ASSERT_TRUE(vnx::engine::query_palette(di.hpalDefault, &pal));
        EXPECT_EQ(pal.iMode, row.iPalMode);
        EXPECT_EQ(Pdev(device)->iPixelClass, row.iPixelClass);
        EXPECT_EQ(Pdev(device)->ulColourModel, row.ulColourModel);
    }
}

TEST_F(PdevTest, BitFieldPalettesOfTheDirectColourModes) {
    struct Row {
        ULONG bpp;
        FLONG r, g, b;
    };
    for (const Row& row : {Row{16, 0x7C00, 0x03E0, 0x001F}, Row{32, 0xFF0000, 0xFF00, 0xFF}}) {
        Device device;
        ASSERT_TRUE(device.load_driver());
        ASSERT_TRUE(device.enable_pdev(Request(640, 480, row.bpp)));
        vnx::engine::PaletteInfo pal{};
        ASSERT_TRUE(vnx::engine::query_palette(device.devinfo().hpalDefault, &pal));
        EXPECT_EQ(pal.flRed, row.r);
        EXPECT_EQ(pal.flGreen, row.g);
        EXPECT_EQ(pal.flBlue, row.b);
    }
}

// Two boards side by side at 1024 pixels: the desktop joins both screens.
TEST_F(PdevTest, TwoBoardsJoinTheirScreensAt1024) {
    struct Row {
        int boards;
        ULONG cx, cy;
        ULONG desktop, mm;
    };
    for (const Row& row :
         {Row{2, 1024, 768, 2047, 640}, Row{2, 800, 600, 800, 320}, Row{1, 1024, 768, 1024, 320}}) {
        SCOPED_TRACE(row.boards * 10000 + row.cx);
        Device device(Machine(2, row.boards));
        ASSERT_TRUE(device.load_driver());
        ASSERT_TRUE(device.enable_pdev(Request(row.cx, row.cy, 8)));
        EXPECT_EQ(device.gdiinfo().ulHorzRes, row.cx);
        EXPECT_EQ(device.gdiinfo().ulDesktopHorzRes, row.desktop);
        EXPECT_EQ(device.gdiinfo().ulDesktopVertRes, row.cy);
        EXPECT_EQ(device.gdiinfo().ulHorzSize, row.mm);
    }
}

TEST_F(PdevTest, OffscreenCapabilityFollowsTheMode) {
    auto cfg = Machine(1);
    cfg.modes = {vnx::miniport::ModeSpec{640, 480, 1, 8, 60, VIDEO_MODE_NO_OFFSCREEN},
                 vnx::miniport::ModeSpec{800, 600, 1, 8, 60, 0}};
    Device device(cfg);
    ASSERT_TRUE(device.load_driver());
    ASSERT_TRUE(device.enable_pdev(Request(640, 480, 8)));
    EXPECT_EQ(Pdev(device)->flCaps & CAPS_OFFSCREEN, 0u);
    device.disable_pdev();
    ASSERT_TRUE(device.enable_pdev(Request(800, 600, 8)));
    EXPECT_EQ(Pdev(device)->flCaps & CAPS_OFFSCREEN, CAPS_OFFSCREEN);
    EXPECT_EQ(Pdev(device)->ulMode, 1u);
}

// More hatch brushes asked for than exist: six are made, the rest of the
// caller's array is left alone.
TEST_F(PdevTest, AtMostSixHatchBrushes) {
    Device device;
    ASSERT_TRUE(device.load_driver());
    DEVMODEW dm = Request(0, 0, 0);
    ASSERT_TRUE(device.enable_pdev(dm, 8));
    const auto& patterns = device.patterns();
    ASSERT_EQ(patterns.size(), 8u);
    for (int i = 0; i < 6; ++i) {
        vnx::engine::SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(patterns[i], &info)) << i;
        EXPECT_EQ(info.so.iBitmapFormat, BMF_1BPP);
        EXPECT_EQ(info.so.sizlBitmap.cx, 8);
        EXPECT_EQ(info.so.sizlBitmap.cy, 8);
        EXPECT_EQ(info.so.lDelta, 4);
        // Row 3 of the horizontal hatch is the full line; the diagonals step.
        const BYTE* bits = static_cast<const BYTE*>(info.so.pvScan0);
        for (int row = 0; row < 8; ++row)
            EXPECT_EQ(bits[row * 4], gaaulHatch[i][row]) << "hatch " << i << " row " << row;
    }
    EXPECT_EQ(patterns[6], nullptr);
    EXPECT_EQ(patterns[7], nullptr);
    EXPECT_EQ(Pdev(device)->cPatterns, 6u);

    device.disable_pdev();
    ASSERT_TRUE(device.enable_pdev(dm, 2));
    EXPECT_EQ(Pdev(device)->cPatterns, 2u);
}

// The engine's sizes bound what the driver writes: GDIINFO and DEVINFO are
// cut at cjCaps and cjDevInfo.
TEST_F(PdevTest, CopiesNoMoreThanTheCallerHasRoomFor) {
    Device device;
    ASSERT_TRUE(device.load_driver());
    auto enable = reinterpret_cast<PFN_DrvEnablePDEV>(device.function(INDEX_DrvEnablePDEV));
    auto disable = reinterpret_cast<PFN_DrvDisablePDEV>(device.function(INDEX_DrvDisablePDEV));
    struct Row {
        ULONG cjCaps, cjDevInfo;
    };
    for (const Row& row : {Row{0, 0}, Row{16, 4}, Row{100, sizeof(DEVINFO) - 8},
                           Row{sizeof(GDIINFO), sizeof(DEVINFO)}}) {
        SCOPED_TRACE(row.cjCaps);
        // Room for more than a whole record, filled with a pattern that
        // shows every byte the driver wrote.
        std::vector<BYTE> caps(sizeof(GDIINFO) + 64, 0xA5);
        std::vector<BYTE> devinfo(sizeof(DEVINFO) + 64, 0xA5);
        DEVMODEW dm = Request(640, 480, 8);
        HSURF hsurfs[HS_DDI_MAX]{};
        DHPDEV dhpdev = enable(&dm, nullptr, HS_DDI_MAX, hsurfs, row.cjCaps,
                               reinterpret_cast<ULONG*>(caps.data()), row.cjDevInfo,
                               reinterpret_cast<DEVINFO*>(devinfo.data()), device.hdev(), nullptr,
                               device.hDriver());
        ASSERT_NE(dhpdev, nullptr);
        for (size_t i = row.cjCaps; i < caps.size(); ++i) {
            ASSERT_EQ(caps[i], 0xA5) << i;
        }
        for (size_t i = row.cjDevInfo; i < devinfo.size(); ++i) {
            ASSERT_EQ(devinfo[i], 0xA5) << i;
        }
        if (row.cjCaps >= 4) {
            EXPECT_EQ(caps[0], 0x02);  // ulVersion 0x3502, low byte
        }
        disable(dhpdev);
    }
}

// Every failure inside DrvEnablePDEV, one at a time: the enable either
// fails having freed what it made, or (for the requests whose failure the
// driver tolerates) succeeds; nothing is left behind either way. Leaks of
// driver memory are caught by the leak checker at exit.
TEST_F(PdevTest, EachStepFailingInTurnLeavesNothing) {
    Device device;
    ASSERT_TRUE(device.load_driver());
    // Count every failable call of one whole enable.
    vnx::faults::clear();
    ASSERT_TRUE(device.enable_pdev(Request(640, 480, 8)));
    const int calls = vnx::faults::calls("*");
    device.disable_pdev();
    ASSERT_GT(calls, 10);

    int failures = 0;
    for (int n = 0; n < calls; ++n) {
        SCOPED_TRACE(n);
        vnx::faults::clear();
        vnx::faults::arm("*", n, 1);
        const size_t surfaces = vnx::engine::live_surfaces();
        const size_t palettes = vnx::engine::live_palettes();
        if (device.enable_pdev(Request(640, 480, 8))) {
            device.disable_pdev();
        } else {
            ++failures;
            EXPECT_FALSE(device.pdev_enabled());
        }
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
        EXPECT_EQ(vnx::engine::live_palettes(), palettes);
    }
    vnx::faults::clear();
    EXPECT_GT(failures, 8);
    vnx::debug::clear();
}

// The named steps and what each failure means.
TEST_F(PdevTest, NamedStepFailures) {
    struct Row {
        const char* point;
        int skip;
        bool enabled;
        const char* message;
    };
    const Row rows[] = {
        {"LocalAlloc", 0, false, ""},                 // the record
        {"IOCTL_VNX_READ_BOARDCONFIG", 0, true, ""},  // result not checked
        {"IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES", 0, false, ""},
        {"IOCTL_VIDEO_QUERY_AVAIL_MODES", 0, false, ""},
        {"LocalAlloc", 1, false, ""},            // the mode list
        {"IOCTL_VNX_BOARD_COUNT", 0, true, ""},  // one board then
        {"LocalAlloc", 2, false, "bInitializePalette FAILED XXXXXXXXXXXXXXXXXXXXXXXXX\n"},
        {"EngCreatePalette", 0, false, "bInitializePalette FAILED XXXXXXXXXXXXXXXXXXXXXXXXX\n"},
        {"EngCreateBitmap", 0, false, ""},  // first hatch
        {"EngCreateBitmap", 5, false, ""},  // last hatch
    };
    Device device;
    ASSERT_TRUE(device.load_driver());
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.point) + " " + std::to_string(row.skip));
        vnx::faults::clear();
        vnx::debug::clear();
        vnx::faults::arm(row.point, row.skip, 1);
        EXPECT_EQ(device.enable_pdev(Request(640, 480, 8)), row.enabled);
        EXPECT_EQ(vnx::debug::take(), row.message);
        device.disable_pdev();
    }
}

}  // namespace
