// The interpreter's objects: sections mapped and deleted, contexts made for
// windows and freed when the window goes or the process ends, and the
// visible list under the scissor, with windows of two processes overlapping.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "display/batch/batch_fixture.h"

namespace {

using vnx::test::BatchTest;
using vnx::test::Words;
using Rects = std::vector<RECTL>;

// A section is mapped for its own process only, used by that process only,
// and deleted once; a batch through a deleted section fails.
TEST_F(BatchTest, SectionSetUpAndDelete) {
    const size_t before = vnx::engine::live_driver_objects();
    EXPECT_EQ(MapSection(kSectionSize, other_), 0u) << "another process's section handle";
    EXPECT_EQ(Inline(BATCH_FL_SETUP, {BATCH_SETUP, BATCH_SETUP_MAP, 0, other_,
                                      Handle(reinterpret_cast<HWND>(hSection_)), 0, kSectionSize,
                                      kClientBase}),
              0u)
        << "naming another process";
    EXPECT_EQ(MapSection(0), 0u) << "no size";
    EXPECT_EQ(MapSection(kSectionSize + 1), 0u) << "larger than the section";
    EXPECT_EQ(Inline(BATCH_FL_SETUP, {BATCH_SETUP, 3, 0, 0, 0, 0, 0, 0}), 0u) << "sub-code 3";
    EXPECT_EQ(Inline(BATCH_FL_SETUP, {BATCH_SETUP, BATCH_SETUP_MAP, 0, app_, 0, 0, kSectionSize,
                                      kClientBase, 0}),
              0u)
        << "not ending the batch";
    vnx::faults::arm("MapViewOfFile");
    EXPECT_EQ(MapSection(), 0u);
    vnx::faults::arm("EngCreateDriverObj");
    EXPECT_EQ(MapSection(), 0u);
    EXPECT_EQ(vnx::engine::live_driver_objects(), before) << "failures undo what they did";

    hShMem_ = MapSection();
    ASSERT_NE(hShMem_, 0u);
    std::vector<BYTE> out(212);
    EXPECT_EQ(Run({BATCH_QUERY, 1, 0, 0, 0, 0, 0}, 212, out.data()), 1u);
    // The driver reads what the client wrote into its view.
    EXPECT_EQ(Run({BATCH_QUERY, 9, 0, 0, 0, 0, 0}, 212, out.data()), 0u);

    BATCHHDR hdr{0, 0, hShMem_, kClientBase + 0x100, 28, {}, 0, 0, 0};
    EXPECT_EQ(Send(Input(hdr), 212, out.data(), other_), 0u) << "another process's handle";
    EXPECT_EQ(Inline(BATCH_FL_SETUP, {BATCH_SETUP, BATCH_SETUP_UNMAP, hShMem_, 0, 0, 0, 0, 0}, other_), 0u);

    Target();  // a second section, a window and a context
    EXPECT_EQ(Inline(BATCH_FL_SETUP, {BATCH_SETUP, BATCH_SETUP_UNMAP, hrc_, 0, 0, 0, 0, 0}), 0u)
        << "a context is no section";
    EXPECT_EQ(Inline(BATCH_FL_SETUP, {BATCH_SETUP, BATCH_SETUP_UNMAP, hShMem_, 0, 0, 0, 0, 0}), 1u);
    EXPECT_EQ(Inline(BATCH_FL_SETUP, {BATCH_SETUP, BATCH_SETUP_UNMAP, hShMem_, 0, 0, 0, 0, 0}), 0u);
    EXPECT_EQ(Run({7}), 0u) << "through the deleted section";
}

// Contexts: made per window (the window object once), named by the
// header, deleted by command 3; the window's end frees its contexts, so
// that later batches naming them fail; a process's end frees what it held.
TEST_F(BatchTest, ContextsGoWithTheirWindowAndProcess) {
    Target();
    const ULONG hrc2 = CreateContext(hwnd_, 2);
    ASSERT_NE(hrc2, 0u);
    EXPECT_NE(hrc2, hrc_);
    HWND hwndB = Window(app_, {500, 500, 600, 600});
    const ULONG hrcB = CreateContext(hwndB);
    ASSERT_NE(hrcB, 0u);
    EXPECT_EQ(CreateContext(Window(other_, {0, 0, 5, 5})), 0u) << "another process's window";
    EXPECT_EQ(CreateContext(reinterpret_cast<HWND>(0x99999)), 0u) << "no window";
    vnx::faults::arm("EngCreateWnd");
    EXPECT_EQ(CreateContext(Window(app_, {0, 0, 5, 5})), 0u);
    EXPECT_EQ(vnx::engine::live_window_objects(), windowObjects_ + 2);

    const WNDTRACK* pwt = Track(hwnd_);
    ASSERT_NE(pwt, nullptr);
    ASSERT_NE(pwt->prcnodeHead, nullptr);
    EXPECT_EQ(pwt->prcnodeHead->hrc, hrc2) << "the newest first";
    EXPECT_EQ(pwt->prcnodeHead->prc->iPixelFormat, 2u);

    EXPECT_EQ(Run({7}), 1u);
    hrc_ = hrcB;  // a context of another window
    EXPECT_EQ(Run({7}), 0u);
    hrc_ = hShMem_;  // a section
    EXPECT_EQ(Run({7}), 0u);
    hrc_ = hrc2;
    EXPECT_EQ(Run({BATCH_DELETE_CONTEXT, hrc2}), 1u);
    EXPECT_EQ(Run({7}), 0u) << "deleted";
    EXPECT_EQ(pwt->prcnodeHead->hrc, pwt->prcnodeHead->hobj);

    // The window goes: its context with it, the other window's stays.
    const size_t objects = vnx::engine::live_driver_objects();
    {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(vnx::windows::destroy(hwnd_));
    }
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects - 1);
    EXPECT_EQ(vnx::engine::live_window_objects(), windowObjects_ + 1);
    hrc_ = hrc2 - 1;
    EXPECT_EQ(Run({7}), 0u);
    hrc_ = hrcB;
    pwo_ = Handle(hwndB);
    EXPECT_EQ(Run({7}), 1u);

    // The process ends: its section, context and window object go.
    vnx::process::terminate(app_);
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects_);
    EXPECT_EQ(vnx::engine::live_window_objects(), windowObjects_);
}

// A process ending on another thread while a batch runs (the device's
// csEscape held) waits: its contexts are freed only once the batch is done.
TEST_F(BatchTest, ProcessEndWaitsForARunningBatch) {
    Target();
    const WNDTRACK* pwt = Track(hwnd_);
    ASSERT_NE(pwt, nullptr);
    PDEV* ppdev = reinterpret_cast<PDEV*>(device_->dhpdev());
    std::atomic<bool> bEnded{false};
    EnterCriticalSection(&ppdev->csEscape);
    std::thread ender([&] {
        vnx::process::terminate(app_);
        bEnded = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(bEnded);
    EXPECT_NE(pwt->prcnodeHead, nullptr) << "freed under a running batch";
    EXPECT_EQ(pwt->prcnodeHead->prc->hwnd, Handle(hwnd_));
    LeaveCriticalSection(&ppdev->csEscape);
    ender.join();
    EXPECT_TRUE(bEnded);
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects_);
}

// The device's disable releases what clients still hold; their later end
// finds nothing left.
TEST_F(BatchTest, DisableReleasesWhatClientsHold) {
    Target();
    device_->disable_surface();
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects_);
    EXPECT_EQ(vnx::engine::live_window_objects(), windowObjects_);
    ASSERT_TRUE(device_->enable_surface());
    EXPECT_EQ(Run({7}), 0u);
}

// Windows of two processes overlap: the clip list is the window's visible
// region; the visible list is the clip list under the scissor (offset by
// the client origin), stopping at the first rectangle at or below the
// scissor's bottom. Moves reach the lists through the window object.
TEST_F(BatchTest, VisibleListsFollowTheScissor) {
    Target({100, 100, 400, 300});
    HWND over = Window(other_, {200, 150, 300, 200});
    ASSERT_NE(over, nullptr);
    const WNDTRACK* pwt = Track(hwnd_);
    ASSERT_NE(pwt, nullptr);
    const Rects clip = {{100, 100, 400, 150}, {100, 150, 200, 200}, {300, 150, 400, 200}, {100, 200, 400, 300}};
    EXPECT_EQ(List(pwt->prlClip), clip);
    EXPECT_EQ(List(pwt->prlVisible), clip);
    EXPECT_EQ(pwt->rclClient, (RECTL{100, 100, 400, 300}));

    struct Case {
        const char* name;
        Words words;
        Rects visible;
    };
    const Case cases[] = {
        {"scissor set, not on", {14, 28, 50, 40, 200, 100}, clip},
        {"scissor on", {14, 27, 1},
         {{150, 140, 350, 150}, {150, 150, 200, 200}, {300, 150, 350, 200}, {150, 200, 350, 240}}},
        {"scissor above the second band", {14, 28, 0, 0, 300, 50}, {{100, 100, 400, 150}}},
        {"scissor outside", {14, 28, 1000, 1000, 10, 10}, {}},
        {"far-off scissor", {14, 28, 0x7FFFFFF0, 0x7FFFFFF0, 0x7FFFFFF0, 0x7FFFFFF0}, {}},
        {"scissor off", {14, 27, 0}, clip},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Run(c.words), 1u);
        EXPECT_EQ(List(pwt->prlVisible), c.visible);
    }

    // The covering window moves away: one rectangle, in the built-in list.
    {
        vnx::process::Scope as(other_);
        ASSERT_TRUE(vnx::windows::move(over, {0, 0, 50, 50}));
    }
    EXPECT_EQ(List(pwt->prlClip), (Rects{{100, 100, 400, 300}}));
    EXPECT_EQ(reinterpret_cast<const BYTE*>(pwt->prlClip), pwt->ajBuiltIn);

    // Many small windows over it: more rectangles than the built-in room.
    std::vector<HWND> covers;
    for (LONG i = 0; i < 12; ++i) covers.push_back(Window(other_, {110 + 24 * i, 110 + 14 * i, 120 + 24 * i, 115 + 14 * i}));
    const Rects expected = vnx::windows::visible_region(hwnd_);
    ASSERT_GT(expected.size(), static_cast<size_t>(BUILTIN_RECTS));
    EXPECT_EQ(List(pwt->prlClip), expected);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(pwt->prlClip), pwt->pjHeap);
    EXPECT_GE(pwt->cjHeap, 2 * CJ_RECTLIST(expected.size()));
    EXPECT_EQ(Run({14, 28, 0, 0, 300, 200}), 1u);
    EXPECT_EQ(Run({14, 27, 1}), 1u);
    EXPECT_EQ(List(pwt->prlVisible), expected) << "a scissor over the whole window";
    // A context's batch sees the lists computed with its own scissor.
    EXPECT_EQ(Run({7}), 1u);
    EXPECT_EQ(List(pwt->prlVisible), expected);
}

}  // namespace
