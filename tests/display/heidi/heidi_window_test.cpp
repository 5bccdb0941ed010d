// The escape's windows and textures: binding a window and its section,
// handles checked on every code, the window callback's clip list, and the
// texture table of a device shared by windows that each own their slots.
#include <gtest/gtest.h>

#include "display/heidi/heidi_fixture.h"

namespace {

using vnx::test::HeidiTest;

TEST_F(HeidiTest, InitBindsTheWindowAndDescribesTheDevice) {
    HWND hwnd = Window(app_, {100, 100, 300, 250});
    const ULONG h = Init(hwnd);
    ASSERT_NE(h, 0u);
    const HEIDIVIEW* pv = reinterpret_cast<const HEIDIVIEW*>(view_);
    EXPECT_EQ(pv->ulFormat, static_cast<ULONG>(BMF_16BPP));
    EXPECT_EQ(pv->ulPixelKind, 1u);
    EXPECT_TRUE(pv->ulDepthBits == 16 || pv->ulDepthBits == 24 || pv->ulDepthBits == 32);
    EXPECT_EQ(pv->ulRoomLimit, (kSectionSize - 40) / 4 - 10);
    EXPECT_EQ(Init(hwnd), 0u) << "a window is bound once";
    EXPECT_EQ(vnx::debug::take(), "");

    // Failures answer 0 and leave nothing behind.
    const size_t objects = vnx::engine::live_driver_objects();
    const size_t windows = vnx::engine::live_window_objects();
    EXPECT_EQ(Init(Window(other_, {0, 0, 10, 10})), 0u) << "another process's window";
    EXPECT_EQ(Init(Window(app_, {0, 0, 10, 10}), kSectionSize + 1), 0u) << "larger than the section";
    EXPECT_EQ(Init(Window(app_, {0, 0, 10, 10}), 79), 0u) << "no room after the header";
    vnx::faults::arm("MapViewOfFile");
    EXPECT_EQ(Init(Window(app_, {0, 0, 10, 10})), 0u);
    vnx::faults::arm("EngCreateDriverObj");
    EXPECT_EQ(Init(Window(app_, {0, 0, 10, 10})), 0u);
    HEIDICMD c = Cmd(HEIDI_INIT, Handle(Window(app_, {0, 0, 10, 10})));
    ULONG ul = 0;
    EXPECT_EQ(Send(c, &ul, HEIDI_CJ_INIT - 1), 1u);
    EXPECT_EQ(ul, 0u) << "a short record";
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects);
    EXPECT_EQ(vnx::engine::live_window_objects(), windows);

    // Without a back buffer nothing is bound, and the client sees it.
    HSURF hsurfBack = ppdev_->hsurfBack;
    ppdev_->hsurfBack = nullptr;
    EXPECT_EQ(Init(Window(app_, {0, 0, 10, 10})), 0u);
    ppdev_->hsurfBack = hsurfBack;
    EXPECT_EQ(vnx::debug::take(), "qrn_heidi(): failed to init, no back and/or Z buf\n");
}

TEST_F(HeidiTest, UnknownCodesAndSubCommandsAreReported) {
    const ULONG h = Bound({0, 0, 50, 50});
    ASSERT_NE(h, 0u);
    for (ULONG code : {0u, 89u, 93u, 99u, 118u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Send(Cmd(code, h)), 1u);
        EXPECT_EQ(vnx::debug::take(), "qrn_heidi(): unknown code " + std::to_string(static_cast<int>(code)) + "\n");
    }
    for (ULONG code : {100u, 112u, 113u}) EXPECT_EQ(Send(Cmd(code, h)), 1u);
    HEIDICMD c = Cmd(HEIDI_SET_BUFFER, h);
    SetWord(&c, 12, 8);
    EXPECT_EQ(Send(c), 1u);
    EXPECT_EQ(vnx::debug::take(), "set_buffer:unknown sub_command\n");
}

// A drawing code or a texture code with a handle that is not the caller's
// own bound window does nothing.
TEST_F(HeidiTest, HandlesNameOnlyTheCallersOwnWindows) {
    const ULONG h = Bound({10, 10, 200, 200});
    ASSERT_NE(h, 0u);
    Flush();
    Take();
    struct Case {
        const char* what;
        ULONG h;
        DWORD pid;
        ULONG cjIn;
    };
    const Case cases[] = {
        {"another process", h, other_, sizeof(HEIDICMD)},
        {"no handle", 0, app_, sizeof(HEIDICMD)},
        {"a handle of nothing", h + 0x1000, app_, sizeof(HEIDICMD)},
        {"a short record", h, app_, 11},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        for (ULONG code : {101u, 102u, 103u, 105u, 108u, 110u, 111u, 114u, 115u}) {
            HEIDICMD c = Cmd(code, k.h);
            c.cx = 4;
            c.cy = 4;
            c.cVertices = 4;
            c.cjRow = 64;
            EXPECT_EQ(Send(c, nullptr, k.cjIn, k.pid), 1u);
        }
        HEIDICMD t = Cmd(HEIDI_LOAD_TEXTURE, k.h, HEIDI_ANY_SLOT);
        t.cx = t.cy = 8;
        t.y = 8;
        t.cjRow = 32;
        ULONG slot = 0;
        EXPECT_EQ(Send(t, &slot, k.cjIn == 11 ? 59 : k.cjIn, k.pid), 1u);
        EXPECT_EQ(slot, HEIDI_NO_SLOT);
        Flush();
        for (const auto& q : Take()) EXPECT_TRUE(Drawing(q).empty());
    }
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_EQ(cHeidiTextures(ppdev_, nullptr), 0u);
}

TEST_F(HeidiTest, TheCallbackKeepsAtMost64ClipRectangles) {
    HWND hwnd;
    const ULONG h = Bound({0, 0, 700, 100}, &hwnd);
    ASSERT_NE(h, 0u);
    // 70 small windows of the other process over it cut its region into
    // more than 64 rectangles.
    for (LONG i = 0; i < 70; ++i) Window(other_, {i * 10, 40, i * 10 + 5, 45});
    EXPECT_NE(vnx::debug::take().find("!bqrn_heidi_callback(): clip_limit exceeded\n"), std::string::npos);
    vnx::process::Scope as(app_);
    WNDOBJ* pwo = vnx::engine::window_object(
        reinterpret_cast<SURFOBJ*>(EngLockSurface(device_->hsurf())), Handle(hwnd));
    ASSERT_NE(pwo, nullptr);
    const HEIDIWND* phw = static_cast<const HEIDIWND*>(pwo->pvConsumer);
    EXPECT_EQ(phw->cClip, HEIDI_MAX_CLIP);
    EngUnlockSurface(reinterpret_cast<SURFOBJ*>(pwo->psoOwner));
}

// --- textures ---------------------------------------------------------------------------

struct TexCase {
    USHORT cx, cy;
    bool bTile;      // the pid carries the tile bit
};

class HeidiTextureTest : public HeidiTest {
  protected:
    ULONG Load(ULONG h, ULONG slot, USHORT cx, USHORT cy, USHORT r0 = 0xFFFF, USHORT r1 = 0,
               ULONG cjRow = 0, DWORD pid = 0) {
        HEIDICMD c = Cmd(HEIDI_LOAD_TEXTURE, h, static_cast<BYTE>(slot));
        c.cx = cx;
        c.cy = cy;
        c.y = r0 == 0xFFFF ? cy : r0;
        c.usRowBound = r1;
        c.cjRow = cjRow != 0 ? cjRow : cx * 4u;
        ULONG out = 0;
        EXPECT_EQ(Send(c, &out, sizeof c, pid), 1u);
        return out;
    }
    void Free(ULONG h, ULONG slot) { Send(Cmd(HEIDI_FREE_TEXTURE, h, static_cast<BYTE>(slot)), nullptr, HEIDI_CJ_HANDLE); }
};

TEST_F(HeidiTextureTest, SlotsBelongToTheWindowThatLoadedThem) {
    HWND hwndA, hwndB;
    const ULONG a = Bound({0, 0, 100, 100}, &hwndA);
    const ULONG b = Bound({200, 0, 300, 100}, &hwndB);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_EQ(Load(a, HEIDI_ANY_SLOT, 64, 64), 0u);
    EXPECT_EQ(Load(a, HEIDI_ANY_SLOT, 64, 64), 1u);
    EXPECT_EQ(Load(b, HEIDI_ANY_SLOT, 32, 32), 2u);
    EXPECT_EQ(Load(b, 0, 64, 64), HEIDI_NO_SLOT) << "window A's slot";
    Free(b, 0);  // not B's: stays
    EXPECT_EQ(cHeidiTextures(ppdev_, nullptr), 3u);
    // Reloading with the same size keeps the surface; another size makes a
    // new one.
    const size_t surfaces = vnx::engine::live_surfaces();
    EXPECT_EQ(Load(a, 0, 64, 64), 0u);
    EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    EXPECT_EQ(Load(a, 5, 128, 128, 1, 0), 5u);
    EXPECT_EQ(vnx::engine::live_surfaces(), surfaces + 1);
    EXPECT_EQ(Load(a, 150, 8, 8), HEIDI_NO_SLOT);
    // A second init does not drop anyone's textures.
    EXPECT_NE(Bound({400, 0, 450, 50}), 0u);
    EXPECT_EQ(cHeidiTextures(ppdev_, nullptr), 4u);
    // Window A's end frees its own textures only.
    {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(vnx::windows::destroy(hwndA));
    }
    EXPECT_EQ(cHeidiTextures(ppdev_, nullptr), 1u);
    EXPECT_NE(ulHeidiTexturePid(ppdev_, 2), 0u);
    EXPECT_EQ(Load(a, HEIDI_ANY_SLOT, 8, 8), HEIDI_NO_SLOT) << "the handle died with its window";
    Free(b, 2);
    EXPECT_EQ(cHeidiTextures(ppdev_, nullptr), 0u);
    Free(b, 100);  // ignored
}

TEST_F(HeidiTextureTest, SurfacesAndPidsBySize) {
    const ULONG h = Bound({0, 0, 100, 100});
    const TexCase cases[] = {
        {100, 100, false},  // a square of 100: no tile size, not marked as a tile
        {40, 40, true},     // into a tile of 64
        {256, 256, true},
        {64, 32, false},    // not square: a device bitmap
        {300, 300, false},  // a device bitmap
    };
    for (const TexCase& k : cases) {
        SCOPED_TRACE(testing::Message() << k.cx << "x" << k.cy);
        const ULONG slot = Load(h, HEIDI_ANY_SLOT, k.cx, k.cy, 1, 0);
        ASSERT_NE(slot, HEIDI_NO_SLOT);
        EXPECT_EQ((ulHeidiTexturePid(ppdev_, slot) & PID_TILE) != 0, k.bTile);
    }
}

TEST_F(HeidiTextureTest, ImagesAndRowRangesStayInsideTheView) {
    const ULONG h = Bound({0, 0, 100, 100});
    // Rows 8 - r0 .. 8 - r1 of an 8x8 texture.
    EXPECT_EQ(Load(h, 0, 8, 8, 2, 5), HEIDI_NO_SLOT) << "an inverted range";
    EXPECT_EQ(Load(h, 0, 8, 8, 9, 0), HEIDI_NO_SLOT) << "past the texture";
    EXPECT_EQ(Load(h, 0, 8, 8, 8, 0, 28), HEIDI_NO_SLOT) << "rows shorter than the width";
    EXPECT_EQ(Load(h, 0, 200, 200, 200, 0), HEIDI_NO_SLOT) << "an image past the view";
    EXPECT_EQ(Load(h, 0, 0, 8), HEIDI_NO_SLOT) << "no width";
    EXPECT_EQ(Load(h, 0, 8, 8, 5, 5), 0u) << "no rows to copy";
    EXPECT_EQ(vnx::debug::take(), "");
    // An output of fewer than four bytes: reported, loaded all the same.
    HEIDICMD c = Cmd(HEIDI_LOAD_TEXTURE, h, 3);
    c.cx = c.cy = 8;
    c.y = 8;
    c.cjRow = 32;
    Send(c, nullptr, sizeof c, 0, 2);
    EXPECT_EQ(vnx::debug::take(), "qrn_heidi(): load_texture problem  cjOut<4! cjOut=2\n");
    EXPECT_NE(ulHeidiTexturePid(ppdev_, 3), 0u);
}

}  // namespace

namespace {

// Disabling the device releases the views, window objects and textures the
// escape holds; the records themselves go with their clients, and their
// handles serve nothing on the enabled device.
TEST_F(HeidiTextureTest, DisableReleasesWhatClientsHold) {
    const ULONG h = Bound({0, 0, 100, 100});
    ASSERT_NE(h, 0u);
    ASSERT_NE(Load(h, HEIDI_ANY_SLOT, 16, 16), HEIDI_NO_SLOT);
    device_->disable_surface();
    EXPECT_EQ(vnx::engine::live_window_objects(), windowObjects_);
    EXPECT_EQ(ppdev_->pHeidiTextures, nullptr);
    ASSERT_TRUE(device_->enable_surface());
    EXPECT_EQ(Load(h, HEIDI_ANY_SLOT, 16, 16), HEIDI_NO_SLOT);
    EXPECT_EQ(cHeidiTextures(ppdev_, nullptr), 0u);
}

}  // namespace
