// Drawables on a device the engine enabled: the set-pixel-format hook, the
// window callback as the window model drives it, and the clip list that
// reaches lgi when windows overlap, move, resize and go.
#include <gtest/gtest.h>

#include <memory>

#include "pixfmt/drawable.h"
#include "glpdev.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "seams_double.h"

namespace {

using pixfmt_double::gRecord;
using pixfmt_double::Names;

GLContext* const kContextA = reinterpret_cast<GLContext*>(0x1000);
GLContext* const kContextB = reinterpret_cast<GLContext*>(0x2000);

// A packed clip box in screen coordinates.
std::vector<ULONG> Box(ULONG x1, ULONG y1, ULONG x2, ULONG y2) {
    return {y1 << 16 | x1, y2 << 16 | x2};
}

class DrawableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vnx::faults::clear();
        device_ = std::make_unique<vnx::engine::Device>();
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev());
        ASSERT_TRUE(device_->enable_surface());
        pso_ = EngLockSurface(device_->hsurf());
        ASSERT_NE(pso_, nullptr);
        app_ = vnx::process::create("app");
        vnx::debug::clear();
        gRecord = {};
    }
    void TearDown() override {
        vnx::process::terminate(app_);
        EngUnlockSurface(pso_);
        device_.reset();
        vnx::debug::clear();
        vnx::faults::clear();
    }
    PDEV* ppdev() { return reinterpret_cast<PDEV*>(device_->dhpdev()); }

    // A window of the application with an OpenGL pixel format; its drawable.
    GLDrawable* MakeDrawable(const RECTL& rcl, HWND* phwnd = nullptr) {
        vnx::process::Scope as(app_);
        HWND hwnd = vnx::windows::create(rcl);
        if (phwnd != nullptr) *phwnd = hwnd;
        if (!glDrvSetPixelFormat(pso_, 3, hwnd)) return nullptr;
        WNDOBJ* pwo = vnx::engine::window_object(pso_, static_cast<ULONG>(reinterpret_cast<uintptr_t>(hwnd)));
        return pwo != nullptr ? pdrawFromWindow(pwo) : nullptr;
    }
    HWND Window(const RECTL& rcl) {
        vnx::process::Scope as(app_);
        return vnx::windows::create(rcl);
    }
    void Move(HWND hwnd, const RECTL& rcl) {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(vnx::windows::move(hwnd, rcl));
    }
    void Destroy(HWND hwnd) {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(vnx::windows::destroy(hwnd));
    }

    std::unique_ptr<vnx::engine::Device> device_;
    SURFOBJ* pso_ = nullptr;
    DWORD app_ = 0;
};

TEST_F(DrawableTest, SetPixelFormatMakesTheWindowsDrawable) {
    GLDrawable* pdraw = MakeDrawable({100, 50, 300, 250});
    ASSERT_NE(pdraw, nullptr);
    EXPECT_EQ(pdraw->iPixelFormat, 3);
    EXPECT_EQ(pdraw->iLayer, 0u);
    EXPECT_EQ(pdraw->ppdev, ppdev());
    EXPECT_EQ(pdraw->pBufferSet, nullptr);
    EXPECT_EQ(pdraw->pContexts, nullptr);
    EXPECT_EQ(pdraw->pwo->pvConsumer, pdraw);
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(DrawableTest, RefusedWindowObjectFreesTheDrawable) {
    vnx::faults::arm("EngCreateWnd");
    HWND hwnd = nullptr;
    EXPECT_EQ(MakeDrawable({0, 0, 64, 64}, &hwnd), nullptr);
    EXPECT_EQ(vnx::engine::live_window_objects(), 0u);
    // A second format for a window that has one: refused, the first stays.
    GLDrawable* pdraw = MakeDrawable({0, 0, 64, 64}, &hwnd);
    ASSERT_NE(pdraw, nullptr);
    vnx::process::Scope as(app_);
    EXPECT_FALSE(glDrvSetPixelFormat(pso_, 1, hwnd));
    EXPECT_EQ(vnx::engine::live_window_objects(), 1u);
}

TEST_F(DrawableTest, BindHandsTheClipListToLgiInScreenCoordinates) {
    GLDrawable* pdraw = MakeDrawable({100, 50, 300, 250});
    ASSERT_NE(pdraw, nullptr);
    EXPECT_EQ(__glBindDrawable(pdraw, kContextA), 0);
    EXPECT_EQ(gRecord.cClipRects, 1);
    EXPECT_EQ(gRecord.clipRects, Box(100, 50, 300, 250));
    // The window's own list: relative to the client rectangle.
    int n = 0;
    const pixman_box16_t* pb = pixman_region_rectangles(&pdraw->clip.region, &n);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(pb[0].x1, 0);
    EXPECT_EQ(pb[0].y2, 200);
    EXPECT_GE(pdraw->clip.cCapacity, 10u);
    // Contexts stack newest first; unbinding takes the node out.
    EXPECT_EQ(__glBindDrawable(pdraw, kContextB), 0);
    EXPECT_EQ(pdraw->pContexts->gc, kContextB);
    EXPECT_EQ(pdraw->pContexts->pNext->gc, kContextA);
    __glUnbindDrawable(pdraw, kContextB);
    EXPECT_EQ(pdraw->pContexts->gc, kContextA);
    EXPECT_EQ(pdraw->pContexts->pNext, nullptr);
}

TEST_F(DrawableTest, OverlapMoveResizeAndDestroyReachTheClipListAndLgi) {
    HWND hwnd = nullptr;
    GLDrawable* pdraw = MakeDrawable({100, 100, 300, 300}, &hwnd);
    ASSERT_NE(pdraw, nullptr);
    ASSERT_EQ(__glBindDrawable(pdraw, kContextA), 0);
    gRecord = {};
    gRecord.ppdevLocked = ppdev();

    // Another window covers the right half of the lower part.
    HWND hwndTop = Window({200, 200, 400, 400});
    EXPECT_EQ(gRecord.cClipRects, 2);
    EXPECT_EQ(gRecord.clipRects, (std::vector<ULONG>{100u << 16 | 100, 200u << 16 | 300,
                                                     200u << 16 | 100, 300u << 16 | 200}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"__glContextWindowChanged", "__glMakeLgiCurrent",
                                                 "N_BindClipList"}));
    for (const auto& c : gRecord.calls) EXPECT_TRUE(c.bEscapeLockHeld) << c.name;

    // Moving the top window away shows more of ours: the newly visible part
    // goes to the buffer manager first.
    gRecord.calls.clear();
    Move(hwndTop, {500, 500, 600, 600});
    EXPECT_EQ(gRecord.cClipRects, 1);
    EXPECT_EQ(gRecord.clipRects, Box(100, 100, 300, 300));
    EXPECT_EQ(Names(), (std::vector<std::string>{"_DClientRegionChanged", "__glContextWindowChanged",
                                                 "__glMakeLgiCurrent", "N_BindClipList"}));

    // Moving and resizing our window.
    Move(hwnd, {10, 20, 60, 40});
    EXPECT_EQ(gRecord.clipRects, Box(10, 20, 60, 40));
    int n = 0;
    const pixman_box16_t* pb = pixman_region_rectangles(&pdraw->clip.region, &n);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(pb[0].x2, 50);
    EXPECT_EQ(pb[0].y2, 20);

    // Destroyed: the bound context lets go, the drawable goes.
    gRecord.calls.clear();
    Destroy(hwnd);
    EXPECT_EQ(Names(), (std::vector<std::string>{"__glContextDrawableGone"}));
    EXPECT_EQ(gRecord.calls[0].args[0], reinterpret_cast<uintptr_t>(kContextA));
    EXPECT_TRUE(gRecord.calls[0].bEscapeLockHeld);
    EXPECT_EQ(vnx::engine::live_window_objects(), 0u);
}

TEST_F(DrawableTest, SurfaceMoveBeforeAnyClientRegionChangeUsesTheDrawablesDevice) {
    GLDrawable* pdraw = MakeDrawable({0, 0, 64, 64});
    ASSERT_NE(pdraw, nullptr);
    glWindowCallback(pdraw->pwo, 0x04);
    ASSERT_EQ(Names(), (std::vector<std::string>{"_DSurfaceMoved"}));
    EXPECT_EQ(gRecord.calls[0].args[0], reinterpret_cast<uintptr_t>(ppdev()));
    // Events nobody asked for change nothing.
    gRecord.calls.clear();
    glWindowCallback(pdraw->pwo, 0x08);
    glWindowCallback(pdraw->pwo, 0x10);
    EXPECT_TRUE(gRecord.calls.empty());
}

TEST_F(DrawableTest, WindowCutIntoMoreThanTwoHundredRectanglesKeepsTwoHundred) {
    GLDrawable* pdraw = MakeDrawable({0, 0, 400, 200});
    ASSERT_NE(pdraw, nullptr);
    ASSERT_EQ(__glBindDrawable(pdraw, kContextA), 0);
    // Ten rows of 24 small windows: each row of holes cuts its band into 25
    // rectangles, and 11 whole bands lie between: 261 rectangles.
    for (LONG row = 0; row < 10; ++row)
        for (LONG col = 0; col < 24; ++col)
            Window({10 + 16 * col, 10 + 16 * row, 14 + 16 * col, 14 + 16 * row});
    vnx::debug::clear();
    gRecord = {};
    // One more change and the list is rebuilt from the window.
    Window({390, 190, 400, 200});
    EXPECT_NE(vnx::debug::take().find("clip_limit exceeded\n"), std::string::npos);
    EXPECT_EQ(gRecord.cClipRects, 200);
    EXPECT_EQ(pdraw->clip.cBoxes, 200u);
    EXPECT_GE(pdraw->clip.cCapacity, 200u);
    for (LONG i = 0; i < gRecord.cClipRects; ++i) {
        const ULONG ul0 = gRecord.clipRects[2 * i], ul1 = gRecord.clipRects[2 * i + 1];
        EXPECT_LT(ul0 & 0xFFFF, ul1 & 0xFFFF);
        EXPECT_LE(ul1 & 0xFFFF, 400u);
        EXPECT_LE(ul1 >> 16, 200u);
    }
}

TEST_F(DrawableTest, FailedClipUpdateKeepsThePreviousList) {
    GLDrawable* pdraw = MakeDrawable({0, 0, 100, 100});
    ASSERT_NE(pdraw, nullptr);
    ASSERT_EQ(__glBindDrawable(pdraw, kContextA), 0);
    Window({50, 50, 150, 150});
    ASSERT_EQ(pdraw->clip.cBoxes, 2u);
    vnx::faults::arm("LocalAlloc");
    Window({0, 0, 10, 10});
    EXPECT_EQ(vnx::debug::take(), "Can't allocate space for reading GDI clip list\n");
    EXPECT_EQ(pdraw->clip.cBoxes, 2u);
}

// At shut-down the window objects go with the drawables: no later window
// change calls into a server that is gone.
TEST_F(DrawableTest, ShutDownDeletesEveryWindowObject) {
    HWND hwnd = nullptr;
    GLDrawable* pdraw = MakeDrawable({0, 0, 100, 100}, &hwnd);
    ASSERT_NE(pdraw, nullptr);
    ASSERT_NE(MakeDrawable({200, 0, 300, 100}), nullptr);
    ASSERT_EQ(__glBindDrawable(pdraw, kContextA), 0);
    gRecord.calls.clear();
    __glFreeAllDrawables();
    EXPECT_EQ(Names(), (std::vector<std::string>{"__glContextDrawableGone"}));
    EXPECT_EQ(vnx::engine::live_window_objects(), 0u);
    gRecord.calls.clear();
    Move(hwnd, {10, 10, 50, 50});
    Destroy(hwnd);
    EXPECT_TRUE(gRecord.calls.empty());
}

}  // namespace
