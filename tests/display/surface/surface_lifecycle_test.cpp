// The surface's life: enable, disable and enable again; every enable step
// failing in turn with nothing left behind; a disable whose last request
// fails; and leaving and re-entering the mode with DrvAssertMode.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "display/surface/surface_fixture.h"
#include "platform/engine.h"
#include "xfer/xfer.h"

namespace {

using namespace vnx::test;

class SurfaceLifecycleTest : public SurfaceTest {
  protected:
    // Where the set-up placed everything, to compare two enables.
    struct Layout {
        ULONG pidScreen, pidBack, pidZ, pidDither, pidTmp, pidTmp24;
        LONG xAlt, yAlt;
        ULONG cFreeSlots;
        bool operator==(const Layout&) const = default;
    };
    Layout LayoutNow() {
        auto pid = [](const SURFOBJ* pso) { return pso != nullptr ? DfbOf(pso)->pid : 0u; };
        return Layout{ppdev->pidScreen,
                      pid(ppdev->psoBack),
                      pid(ppdev->psoZ),
                      pid(ppdev->psoDither),
                      pid(ppdev->psoTmp),
                      pid(ppdev->psoTmp24),
                      ppdev->psoAlt != nullptr ? DfbOf(ppdev->psoAlt)->x : -1,
                      ppdev->psoAlt != nullptr ? DfbOf(ppdev->psoAlt)->y : -1,
                      ppdev->cFreeSlots};
    }

    BOOL AssertMode(BOOL bEnable) {
        auto pfn = reinterpret_cast<PFN_DrvAssertMode>(device_->function(INDEX_DrvAssertMode));
        return pfn(device_->dhpdev(), bEnable);
    }
};

// The machines the life-cycle tests run on: 3D on one rasterizer, the
// tight 32-bpp board whose tiles and alternate buffer share the back
// buffer, and a split board.
struct Board {
    const char* name;
    vnx::miniport::MachineConfig cfg;
    DEVMODEW mode;
};
std::vector<Board> Boards() {
    return {
        {"solo 16 bpp with 3D", Memory(1, 2), Request(1024, 768, 16)},
        {"solo 32 bpp, alternate buffer", Memory(1, 2), Request(800, 600, 32)},
        {"solo 32 bpp, tiles in the back buffer", Memory(1, 1), Request(640, 480, 32)},
        {"split duo 8 bpp", Memory(2, 2, 0, 0, 2), Request(1024, 768, 8)},
    };
}

// Enable, disable, enable again: the second enable places everything where
// the first did, so the disable gave all of it back (the alternate buffer
// included), and the board saw well-formed streams throughout.
TEST_F(SurfaceLifecycleTest, EnableDisableEnableAgain) {
    for (const Board& b : Boards()) {
        SCOPED_TRACE(b.name);
        Make(b.cfg, b.mode);
        const size_t surfaces = vnx::engine::live_surfaces();
        ASSERT_TRUE(device_->enable_surface());
        const Layout first = LayoutNow();
        device_->disable_surface();
        EXPECT_TRUE(NothingHeld());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
        ASSERT_TRUE(device_->enable_surface());
        EXPECT_TRUE(LayoutNow() == first);
        Drain();
        EXPECT_EQ(Errors(), "");
        device_->disable_surface();
        EXPECT_TRUE(NothingHeld());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    }
}

// Every call of one enable that the platform can fail, failing in turn: the
// enable either fails having released everything it made (queues, register
// windows, board surfaces, engine surfaces; driver memory is checked by the
// leak checker at exit), or goes on without what it could spare. Either
// way a clean enable afterwards places everything as before.
TEST_F(SurfaceLifecycleTest, EachStepFailingInTurnLeavesNothing) {
    for (const Board& b : Boards()) {
        SCOPED_TRACE(b.name);
        Make(b.cfg, b.mode);
        const size_t surfaces = vnx::engine::live_surfaces();
        vnx::faults::clear();
        ASSERT_TRUE(device_->enable_surface());
        const int calls = vnx::faults::calls("*");
        const Layout reference = LayoutNow();
        device_->disable_surface();
        ASSERT_GT(calls, 20);

        int failures = 0;
        for (int n = 0; n < calls; ++n) {
            SCOPED_TRACE(n);
            vnx::faults::clear();
            vnx::faults::arm("*", n, 1);
            if (device_->enable_surface()) {
                vnx::faults::clear();
                device_->disable_surface();
            } else {
                ++failures;
                vnx::faults::clear();
                EXPECT_TRUE(NothingHeld());
            }
            EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
            EXPECT_EQ(Errors(), "");
        }
        EXPECT_GT(failures, 10);
        vnx::faults::clear();
        vnx::debug::clear();
        ASSERT_TRUE(device_->enable_surface());
        EXPECT_TRUE(LayoutNow() == reference);
        device_->disable_surface();
    }
}

// The named steps of the 3D side and of the tiles: what each failure says
// and whether the surface survives it.
TEST_F(SurfaceLifecycleTest, NamedStepFailures) {
    struct Row {
        const char* point;
        int skip;
        bool enabled;
        bool b3D;
        const char* message;
        bool bPattern = true;  // an enabled surface has its pattern surface
        int count = 1;         // calls that fail from the skipped ones on
    };
    // The board surfaces are made in this order: depth buffer, back buffer,
    // pattern surface, dither tile, the two scratch tiles. A tile that
    // fails is tried once more without the pattern surface.
    const Row rows[] = {
        {"IOCTL_VNX_READ_BOARDCONFIG", 0, false, false, ""},
        {"IOCTL_VNX_READ_BOARDCONFIG", 1, true, true, ""},  // the second read is not checked
        {"VirtualAlloc", 0, false, false, ""},
        {"IOCTL_VIDEO_SET_CURRENT_MODE", 0, false, false, ""},
        {"IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES", 0, false, false, ""},
        {"IOCTL_VNX_QUEUE_SETUP", 0, false, false, ""},
        {"EngCreateDeviceBitmap", 0, true, false,
         "KZ DrvEnableSurface - Failed to create Z buffer\n"},
        {"EngLockSurface", 0, true, false, "KZ DrvEnableSurface - Failed to create Z buffer\n"},
        {"EngCreateDeviceBitmap", 1, true, false,
         "KZ DrvEnableSurface - Failed to create backbuf.\n"},
        {"EngLockSurface", 1, true, false, "KZ DrvEnableSurface - Failed to create backbuf.\n"},
        // Without its pattern surface the surface still enables, 3D and all.
        {"EngCreateDeviceBitmap", 2, true, true, "", false},
        {"EngLockSurface", 2, true, true, "", false},
        // The dither tile takes the pattern surface's place.
        {"EngCreateDeviceBitmap", 3, true, true, "", false},
        {"EngCreateDeviceBitmap", 3, false, false,
         "KZ DrvEnableSurface - Failed to create dither matrix\n", true, 2},
        {"EngLockSurface", 3, false, false, "KZ DrvEnableSurface - Failed to lock dither surf\n"},
        {"EngCreateDeviceBitmap", 4, false, false,
         "KZ DrvEnableSurface - Failed DrvCreateDeviceBitmap\n"
         "failed to create the screen-depth tmp pid\n",
         true, 2},
        {"EngLockSurface", 5, false, false,
         "KZ DrvEnableSurface - Failed DrvCreateDeviceBitmap\n"
         "failed to create the 24-bit tmp pid\n"},
        {"EngCreateDeviceSurface", 0, false, false, ""},
        {"EngAssociateSurface", 6, false, false, ""},  // the primary's, after the six above
        {"IOCTL_VIDEO_SET_COLOR_REGISTERS", 1, false, false, ""},  // the 8-bpp palette
    };
    Make(Memory(1, 2), Request(1024, 768, 8));
    const size_t surfaces = vnx::engine::live_surfaces();
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.point) + " " + std::to_string(row.skip));
        vnx::faults::clear();
        vnx::debug::clear();
        vnx::faults::arm(row.point, row.skip, row.count);
        EXPECT_EQ(device_->enable_surface(), row.enabled);
        vnx::faults::clear();
        EXPECT_EQ(vnx::debug::take(), row.message);
        if (row.enabled) {
            EXPECT_EQ(ppdev->hsurfZ != nullptr, row.b3D);
            EXPECT_EQ(ppdev->pPageConfig->cDepthBits != 0, row.b3D);
            EXPECT_EQ(ppdev->psoPattern != nullptr, row.bPattern);
            device_->disable_surface();
        }
        EXPECT_TRUE(NothingHeld());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    }
}

// A disable whose release of the register windows fails still releases
// everything before it, says so, and leaves the lock free; the next enable
// works.
TEST_F(SurfaceLifecycleTest, DisableGoesOnWhenTheWindowsStayMapped) {
    Make(Memory(1, 2), Request(1024, 768, 16));
    const size_t surfaces = vnx::engine::live_surfaces();
    ASSERT_TRUE(device_->enable_surface());
    vnx::faults::arm("IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES");
    device_->disable_surface();
    vnx::faults::clear();
    EXPECT_EQ(vnx::debug::take(),
              "DrvDisableSurface: IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES failed\n");
    EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    EXPECT_FALSE(State().queuesSetUp);
    EXPECT_EQ(ppdev->pqm, nullptr);
    EXPECT_EQ(ppdev->hsurfDither, nullptr);
    EXPECT_EQ(ppdev->hsurfZ, nullptr);

    // Another thread can take the device lock: the disable left it.
    bool bTaken = false;
    std::thread([&] {
        bTaken = TryEnterCriticalSection(&ppdev->csEscape);
        if (bTaken) LeaveCriticalSection(&ppdev->csEscape);
    }).join();
    EXPECT_TRUE(bTaken);

    ASSERT_TRUE(device_->enable_surface());
    EXPECT_NE(ppdev->hsurfZ, nullptr);
}

// Leaving the mode: the screen is cleared, everything queued is rendered,
// then the board is reset. Coming back: the mode is set again, the queues
// use the register windows of that mode set, the slot registers and the
// palette are written again, the pattern registers count as unknown, the
// dither matrix is loaded again and the screen cleared; drawing goes on.
TEST_F(SurfaceLifecycleTest, AssertModeOffAndOn) {
    for (int rasterizers : {1, 2}) {
        SCOPED_TRACE(rasterizers);
        Boot(Memory(rasterizers, 2), Request(1024, 768, 8));
        ASSERT_NE(ppdev->pdsurfDither, nullptr);
        // The colour registers as the enable loaded them from the palette.
        std::vector<ULONG> colours;
        for (ULONG i = 0; i < 256; ++i) colours.push_back(board().color_register(0, i));
        const ULONG resets = State().resets;

        EXPECT_TRUE(AssertMode(FALSE));
        EXPECT_EQ(State().resets, resets + 1);
        EXPECT_EQ(State().currentMode, -1);
        // The clear reached every rasterizer before the reset: nothing is
        // left queued.
        for (int r = 0; r < rasterizers; ++r) {
            bool bCleared = false;
            for (const DecodedPacket& p : Drawn(r)) bCleared |= p.command == kClearCommand;
            EXPECT_TRUE(bCleared);
            EXPECT_EQ(ppdev->pqm[r].pStreamEnd, ppdev->pqm[r].pRingStart);
        }

        // What a board reset may lose.
        for (int r = 0; r < rasterizers; ++r) {
            for (ULONG s = 0; s < PAGE_SLOTS; ++s)
                board().write_register(r, VNX_REG_PAGE_SLOT0 + 4 * s, VNX_PAGE_SLOT_FREE);
            ppdev->pqm[r].pRegs = nullptr;
        }
        for (ULONG i = 0; i < 256; ++i) board().set_color_register(0, i, 0);
        ppdev->iPatternUniq = 0x1234;
        ppdev->ptr.lastX = 5;

        EXPECT_TRUE(AssertMode(TRUE));
        EXPECT_EQ(State().currentMode, static_cast<LONG>(ppdev->ulMode));
        for (int r = 0; r < rasterizers; ++r) {
            EXPECT_EQ(ppdev->pqm[r].pRegs, ppdev->apRegs[r]);
            for (ULONG s = 0; s < PAGE_SLOTS; ++s)
                EXPECT_EQ(board().read_register(r, VNX_REG_PAGE_SLOT0 + 4 * s),
                          ulSlotRegister(&ppdev->aaSlot[0][s]));
        }
        for (ULONG i = 0; i < 256; ++i) EXPECT_EQ(board().color_register(0, i), colours[i]) << i;
        EXPECT_EQ(board().color_register(0, 255), 0x00FFFFFFu);
        EXPECT_EQ(ppdev->iPatternUniq, 0u);
        EXPECT_EQ(ppdev->ptr.lastX, -1);

        // Drawing afterwards: a device bitmap (slot changes drain the
        // queues) and a fill packet through the queue API reach the board.
        Drain();
        int cDither = 0, cClear = 0;
        for (const DecodedPacket& p : Drawn(0)) {
            cDither += p.command == kDitherCommand;
            cClear += p.command == kClearCommand;
        }
        EXPECT_EQ(cDither, 1);
        EXPECT_EQ(cClear, 2);  // the screen and the back buffer

        HSURF hsurf = DrvCreateDeviceBitmap(device_->dhpdev(), SIZEL{400, 100}, BMF_8BPP);
        ASSERT_NE(hsurf, nullptr);
        vnx::engine::SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(hsurf, &info));
        EnterCriticalSection(&ppdev->csEscape);
        KZ2QUEUEMGT qm = ppdev->pqm;
        ULONG* p = kz2NewPacketQueue(qm, nullptr, 1);
        for (ULONG i = 0; i < cQueuesOf(qm); ++i) qm[i].pPacket[0] = kClearCommand;
        const ULONG words[] = {ppdev->pidScreen,     0x10360348,  0,
                               (768u << 16) | 1024u, 7,           Vtx(0, 0),
                               Vtx(10, 0),           Vtx(10, 10), Vtx(0, 10)};
        for (ULONG w : words) *p++ = w;
        p = pRoutePrimitive(qm, p, Vtx(0, 0), Vtx(10, 10), FALSE);
        kz2UpdatePacketPtr(qm, nullptr, p, 0);
        kz2FlushQueue(qm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
        bool bFilled = false;
        for (const DecodedPacket& d : Drawn(0)) bFilled |= d.constants == std::vector<ULONG>{7};
        EXPECT_TRUE(bFilled);
        DrvDeleteDeviceBitmap(info.so.dhsurf);
        EXPECT_EQ(Errors(), "");
    }
}

// A mode that cannot be set again is reported, not passed over.
TEST_F(SurfaceLifecycleTest, AssertModeReportsAFailedModeSet) {
    Boot(Memory(1, 2), Request(800, 600, 16));
    EXPECT_TRUE(AssertMode(FALSE));
    vnx::faults::arm("IOCTL_VIDEO_SET_CURRENT_MODE");
    EXPECT_FALSE(AssertMode(TRUE));
    vnx::faults::clear();
    EXPECT_EQ(vnx::debug::take(), "DrvAssertMode: the mode could not be set\n");
    EXPECT_TRUE(AssertMode(TRUE));
    EXPECT_EQ(State().currentMode, static_cast<LONG>(ppdev->ulMode));
}

// The GL server's stencil and alpha surfaces go with the surface, once
// each, also when the stencil shares the alpha surface.
TEST_F(SurfaceLifecycleTest, DisableReleasesTheGLServerSurfaces) {
    for (bool bShared : {false, true}) {
        SCOPED_TRACE(bShared);
        Make(Memory(1, 2), Request(640, 480, 16));
        const size_t surfaces = vnx::engine::live_surfaces();
        ASSERT_TRUE(device_->enable_surface());
        const ULONG cFree = ppdev->cFreeSlots;
        EnterCriticalSection(&ppdev->csEscape);
        POINTL ptl{0, 0};
        ppdev->hsurfAlpha = CreateDeviceBitmap(ppdev, 640, 480, BMF_8BPP, &ptl, 0);
        ppdev->psoAlpha = EngLockSurface(ppdev->hsurfAlpha);
        if (bShared) {
            ppdev->hsurfStencil = ppdev->hsurfAlpha;
            ppdev->psoStencil = EngLockSurface(ppdev->hsurfStencil);
        } else {
            ppdev->hsurfStencil = CreateDeviceBitmap(ppdev, 640, 480, BMF_8BPP, nullptr, 0);
            ppdev->psoStencil = EngLockSurface(ppdev->hsurfStencil);
        }
        LeaveCriticalSection(&ppdev->csEscape);
        ASSERT_NE(ppdev->psoAlpha, nullptr);
        ASSERT_NE(ppdev->psoStencil, nullptr);
        EXPECT_LT(ppdev->cFreeSlots, cFree);
        device_->disable_surface();
        EXPECT_TRUE(NothingHeld());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    }
}

// Second eyes kept by the stereo image cache go with the surface (the next
// enable starts the cache empty); the leak checker sees the rest.
TEST_F(SurfaceLifecycleTest, DisableEmptiesTheStereoCache) {
    Boot(Memory(1, 2), Request(640, 480, 16));
    STEREOENTRY* peOld = pStereoCacheNew(256);
    STEREOENTRY* peNew = pStereoCacheNew(512);
    ASSERT_NE(peOld, nullptr);
    ASSERT_NE(peNew, nullptr);
    peNew->pNext = peOld;
    peOld->pPrev = peNew;
    ppdev->StereoCache.pHead = peNew;
    device_->disable_surface();
    EXPECT_EQ(ppdev->StereoCache.pHead, nullptr);
}

}  // namespace
