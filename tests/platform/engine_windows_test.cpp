// The window model and window objects: windows of two processes overlapping
// on a device's surface, moved, raised and destroyed, each change told to
// the window objects through their callbacks with the region recomputed.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/process.h"
#include "platform/windows.h"

inline bool operator==(const RECTL& a, const RECTL& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace {

HDEV const kDevice = reinterpret_cast<HDEV>(0x4000);

struct Call {
    WNDOBJ* pwo;
    FLONG fl;
    RECTL rclClient;
    std::vector<RECTL> rects;  // what the enumeration gave inside the call
    DWORD caller;              // the process the callback ran for (0: none)
};
std::vector<Call> gCalls;

std::vector<RECTL> Enumerate(WNDOBJ* pwo, ULONG cBatch) {
    std::vector<RECTL> out;
    WNDOBJ_cEnumStart(pwo, CT_RECTANGLES, CD_RIGHTDOWN, 0);
    std::vector<ULONG> buf(1 + 4 * cBatch);
    BOOL bMore;
    do {
        bMore = WNDOBJ_bEnum(pwo, static_cast<ULONG>(buf.size() * 4), buf.data());
        const ENUMRECTS* per = reinterpret_cast<const ENUMRECTS*>(buf.data());
        out.insert(out.end(), per->arcl, per->arcl + per->c);
    } while (bMore);
    return out;
}

void Changed(WNDOBJ* pwo, FLONG fl) {
    Call c{pwo, fl, pwo->rclClient, {}, 0};
    if (fl != WOC_DELETE) c.rects = Enumerate(pwo, 2);
    HANDLE h = EngGetProcessHandle();
    c.caller = h != nullptr ? GetProcessId(h) : 0;
    gCalls.push_back(c);
}

using Rects = std::vector<RECTL>;

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        gCalls.clear();
        windows_ = vnx::windows::live_windows();
        objects_ = vnx::engine::live_window_objects();
        a_ = vnx::process::create("a");
        b_ = vnx::process::create("b");
        so_.iType = STYPE_DEVICE;
        so_.hdev = kDevice;
        so_.sizlBitmap = SIZEL{640, 480};
    }
    void TearDown() override {
        vnx::faults::clear();
        vnx::process::terminate(a_);
        vnx::process::terminate(b_);
        EXPECT_EQ(vnx::windows::live_windows(), windows_);
        EXPECT_EQ(vnx::engine::live_window_objects(), objects_);
    }
    HWND Window(DWORD pid, RECTL rcl) {
        vnx::process::Scope as(pid);
        return vnx::windows::create(rcl);
    }
    WNDOBJ* Track(DWORD pid, HWND hwnd, FLONG fl = WO_RGN_CLIENT_DELTA | WO_RGN_CLIENT) {
        vnx::process::Scope as(pid);
        return EngCreateWnd(&so_, hwnd, Changed, fl, 0);
    }
    std::vector<Call> Calls(WNDOBJ* pwo) {
        std::vector<Call> out;
        for (const Call& c : gCalls)
            if (c.pwo == pwo) out.push_back(c);
        return out;
    }

    SURFOBJ so_{};
    size_t windows_ = 0, objects_ = 0;
    DWORD a_ = 0, b_ = 0;
};

// Two processes' windows overlapping; b's on top is moved, then a's raised,
// then b's destroyed, then a's process ends. Each window object hears what
// changed for its window, with the region (cut to the surface) and the
// newly visible part, in a call made for the window's process.
TEST_F(WindowsTest, TwoProcessesWindowsOverlapMoveAndGo) {
    HWND wa = Window(a_, {0, 0, 300, 200});
    HWND wb = Window(b_, {100, 100, 700, 300});  // on top, past the surface's right edge
    ASSERT_NE(wa, nullptr);
    ASSERT_NE(wb, nullptr);
    EXPECT_EQ(vnx::windows::owner(wa), a_);
    WNDOBJ* pa = Track(a_, wa);
    WNDOBJ* pb = Track(b_, wb);
    ASSERT_NE(pa, nullptr);
    ASSERT_NE(pb, nullptr);
    EXPECT_TRUE(gCalls.empty()) << "made describing the window as it is";
    EXPECT_EQ(pa->rclClient, (RECTL{0, 0, 300, 200}));
    EXPECT_EQ(pa->coClient.iDComplexity, DC_COMPLEX);
    EXPECT_EQ(Enumerate(pa, 1), (Rects{{0, 0, 300, 100}, {0, 100, 100, 200}}));
    EXPECT_EQ(pb->coClient.iDComplexity, DC_RECT);
    EXPECT_EQ(pb->coClient.rclBounds, (RECTL{100, 100, 640, 300}));

    // b moves down: a sees the strip it left, then its whole rectangle; b
    // its new place.
    {
        vnx::process::Scope as(b_);
        ASSERT_TRUE(vnx::windows::move(wb, {100, 150, 400, 350}));
    }
    auto ca = Calls(pa);
    ASSERT_EQ(ca.size(), 2u);
    EXPECT_EQ(ca[0].fl, WOC_RGN_CLIENT_DELTA);
    EXPECT_EQ(ca[0].rects, (Rects{{100, 100, 300, 150}}));
    EXPECT_EQ(ca[1].fl, WOC_RGN_CLIENT);
    EXPECT_EQ(ca[1].rects, (Rects{{0, 0, 300, 150}, {0, 150, 100, 200}}));
    EXPECT_EQ(ca[1].caller, a_);
    auto cb = Calls(pb);
    ASSERT_EQ(cb.size(), 2u);
    EXPECT_EQ(cb[0].rects, (Rects{{100, 300, 400, 350}})) << "newly visible";
    EXPECT_EQ(cb[1].rclClient, (RECTL{100, 150, 400, 350}));
    EXPECT_EQ(cb[1].caller, b_);

    // a is raised: b loses what a covers; a shows all of itself.
    gCalls.clear();
    {
        vnx::process::Scope as(b_);
        EXPECT_FALSE(vnx::windows::raise(wa)) << "only the owner";
    }
    {
        vnx::process::Scope as(a_);
        ASSERT_TRUE(vnx::windows::raise(wa));
    }
    ca = Calls(pa);
    ASSERT_EQ(ca.size(), 2u);
    EXPECT_EQ(ca[0].rects, (Rects{{100, 150, 300, 200}}));
    EXPECT_EQ(ca[1].rects, (Rects{{0, 0, 300, 200}}));
    cb = Calls(pb);
    ASSERT_EQ(cb.size(), 1u) << "b shows nothing new: the region alone";
    EXPECT_EQ(cb[0].fl, WOC_RGN_CLIENT);
    EXPECT_EQ(cb[0].rects, (Rects{{300, 150, 400, 200}, {100, 200, 400, 350}}));

    // b destroyed: its window object hears WOC_DELETE and is gone; a shows
    // no more than before, so it hears nothing.
    gCalls.clear();
    {
        vnx::process::Scope as(a_);
        EXPECT_FALSE(vnx::windows::destroy(wb)) << "only the owner";
    }
    {
        vnx::process::Scope as(b_);
        ASSERT_TRUE(vnx::windows::destroy(wb));
    }
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].pwo, pb);
    EXPECT_EQ(gCalls[0].fl, WOC_DELETE);

    // a's process ends: its window goes and its window object hears it.
    gCalls.clear();
    vnx::process::terminate(a_);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].pwo, pa);
    EXPECT_EQ(gCalls[0].fl, WOC_DELETE);
    EXPECT_EQ(gCalls[0].caller, 0u) << "the process is gone: no handle of it";
    EXPECT_EQ(vnx::windows::owner(wa), 0u);
}

// Window objects are made only for the caller's own live windows, one per
// window and device; the window's handle finds it again for its process
// only; a deleted one hears nothing more.
TEST_F(WindowsTest, WindowObjectsOfOwnWindowsOnly) {
    HWND wa = Window(a_, {10, 10, 50, 50});
    EXPECT_EQ(Track(b_, wa), nullptr) << "another process's window";
    EXPECT_EQ(Track(a_, reinterpret_cast<HWND>(0x123)), nullptr);
    EXPECT_EQ(Track(a_, wa, 0x100), nullptr) << "unknown flags";
    vnx::faults::arm("EngCreateWnd");
    EXPECT_EQ(Track(a_, wa), nullptr);
    WNDOBJ* pa = Track(a_, wa, WO_RGN_CLIENT | WO_RGN_CLIENT_DELTA | WO_RGN_SURFACE_DELTA);
    ASSERT_NE(pa, nullptr);
    EXPECT_EQ(Track(a_, wa), reinterpret_cast<WNDOBJ*>(-1));
    const ULONG h = static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(wa));
    {
        vnx::process::Scope as(a_);
        EXPECT_EQ(vnx::engine::window_object(&so_, h), pa);
        EXPECT_EQ(vnx::engine::window_object(&so_, h + 4), nullptr);
        EngDeleteWnd(pa);
        EXPECT_EQ(vnx::engine::window_object(&so_, h), nullptr);
        ASSERT_TRUE(vnx::windows::move(wa, {20, 20, 60, 60}));
    }
    {
        vnx::process::Scope as(b_);
        EXPECT_EQ(vnx::engine::window_object(&so_, h), nullptr);
        EXPECT_FALSE(vnx::windows::move(wa, {0, 0, 1, 1}));
    }
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(Window(a_, {5, 5, 1, 1}), nullptr) << "not well ordered";
}

}  // namespace
