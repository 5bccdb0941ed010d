// The system OpenGL library as an application uses it: a logical process
// makes a window, describes and sets a pixel format, creates contexts
// (which loads the client driver the display names), makes them current on
// its threads and calls OpenGL through GL/gl.h. The server frees what a
// process leaves behind, also when it dies with a context current.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "display_boot.h"
#include "escapes.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/gdi.h"
#include "platform/opengl32.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace {

// The lines of the debug text that entry points of the client driver wrote.
std::string TakeEntryLines() {
    std::string all = vnx::debug::take(), lines;
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\n', at);
        end = end == std::string::npos ? all.size() : end + 1;
        if (all.compare(at, 2, "gl") == 0) lines += all.substr(at, end - at);
        at = end;
    }
    return lines;
}

// The threads of the host process now.
size_t HostThreads() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// The host's thread count once it has come down to `want` (a thread that
// has ended leaves the host's list a moment later), or what it stays at.
size_t HostThreadsSettledAt(size_t want) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    size_t n = HostThreads();
    while (n != want && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        n = HostThreads();
    }
    return n;
}

class OpenGL32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(BootDisplay(&device_));
        app_ = vnx::process::create("app");
        hdc_ = Window(app_, {0, 0, 64, 64});
        ASSERT_NE(hdc_, nullptr);
        objects_ = vnx::engine::live_driver_objects();
        vnx::debug::clear();
    }
    void TearDown() override {
        {
            vnx::process::Scope as(app_);
            vnx::opengl32::unload_driver();
            if (vnx::process::is_alive(app_)) ExtEscape(hdc_, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
        }
        vnx::process::terminate(app_);
        device_.reset();
        vnx::debug::clear();
    }

    // A window of process pid with pixel format 1 on its device context.
    static HDC Window(DWORD pid, const RECTL& rcl) {
        vnx::process::Scope as(pid);
        HWND hwnd = vnx::windows::create(rcl);
        HDC hdc = hwnd != nullptr ? GetDC(hwnd) : nullptr;
        if (hdc == nullptr || DescribePixelFormat(hdc, 1, 0, nullptr) <= 0) return nullptr;
        return SetPixelFormat(hdc, 1, nullptr) ? hdc : nullptr;
    }
    // Runs fn on a thread of its own acting for the application.
    template <class Fn>
    void OnThread(Fn fn) {
        std::thread([&] {
            vnx::process::Scope as(app_);
            fn();
        }).join();
    }

    std::unique_ptr<vnx::engine::Device> device_;
    DWORD app_ = 0;
    HDC hdc_ = nullptr;
    size_t objects_ = 0;
};

// Without a current context OpenGL calls do nothing and answer 0.
TEST_F(OpenGL32Test, CallsWithoutContextDoNothing) {
    vnx::process::Scope as(app_);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(wglGetCurrentDC(), nullptr);
    glViewport(0, 0, 8, 8);
    EXPECT_EQ(glGetError(), 0u);
    EXPECT_EQ(glGetString(GL_VENDOR), nullptr);
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_EQ(vnx::opengl32::driver(), nullptr) << "nothing loads the driver but a context";
}

// The first context loads the client driver by name; made current on one
// thread, then on another, each thread's calls go to the driver's table.
TEST_F(OpenGL32Test, ContextCurrentOnTwoThreadsInTurn) {
    HGLRC h = nullptr;
    {
        vnx::process::Scope as(app_);
        h = wglCreateContext(hdc_);
        ASSERT_NE(h, nullptr);
        ASSERT_NE(vnx::opengl32::driver(), nullptr);
        EXPECT_EQ(vnx::engine::live_driver_objects(), objects_ + 1) << "the server's context";
    }
    std::atomic<int> step{0};
    std::thread first([&] {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(wglMakeCurrent(hdc_, h));
        EXPECT_EQ(wglGetCurrentContext(), h);
        EXPECT_EQ(wglGetCurrentDC(), hdc_);
        glFlush();
        step = 1;
        while (step != 2) std::this_thread::yield();
        EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
        EXPECT_EQ(wglGetCurrentContext(), nullptr);
        glFlush();  // no context: nothing
        step = 3;
    });
    std::thread second([&] {
        vnx::process::Scope as(app_);
        while (step != 1) std::this_thread::yield();
        EXPECT_FALSE(wglMakeCurrent(hdc_, h)) << "current on the first thread";
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        step = 2;
        while (step != 3) std::this_thread::yield();
        ASSERT_TRUE(wglMakeCurrent(hdc_, h));
        glFinish();
        EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
    });
    first.join();
    second.join();
    EXPECT_EQ(TakeEntryLines(), "");
    vnx::process::Scope as(app_);
    EXPECT_TRUE(wglDeleteContext(h));
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects_);
}

// Two contexts share their lists and copy state; another process's handles
// are refused.
TEST_F(OpenGL32Test, ShareListsAndCopyState) {
    HGLRC a = nullptr, b = nullptr;
    {
        vnx::process::Scope as(app_);
        a = wglCreateContext(hdc_);
        b = wglCreateContext(hdc_);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(wglShareLists(a, b));
        EXPECT_TRUE(wglCopyContext(a, b, GL_LINE_BIT));
    }
    const DWORD other = vnx::process::create("other");
    {
        vnx::process::Scope as(other);
        EXPECT_FALSE(wglShareLists(a, b));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(wglCopyContext(a, b, GL_LINE_BIT));
        EXPECT_FALSE(wglDeleteContext(a));
        EXPECT_FALSE(wglMakeCurrent(hdc_, a));
    }
    vnx::process::terminate(other);
    vnx::process::Scope as(app_);
    EXPECT_TRUE(wglDeleteContext(a));
    EXPECT_TRUE(wglDeleteContext(b));
    EXPECT_FALSE(wglDeleteContext(a)) << "deleted";
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects_);
}

// A context that is not current, and one that is: deleting the current one
// leaves the thread without a context, and both are gone in the server.
TEST_F(OpenGL32Test, DeleteContextsCurrentAndNot) {
    OnThread([&] {
        HGLRC idle = wglCreateContext(hdc_);
        HGLRC current = wglCreateContext(hdc_);
        ASSERT_NE(idle, nullptr);
        ASSERT_NE(current, nullptr);
        ASSERT_TRUE(wglMakeCurrent(hdc_, current));
        EXPECT_TRUE(wglDeleteContext(idle));
        EXPECT_EQ(wglGetCurrentContext(), current);
        EXPECT_TRUE(wglDeleteContext(current));
        EXPECT_EQ(wglGetCurrentContext(), nullptr);
        glFlush();
        EXPECT_EQ(TakeEntryLines(), "");
        EXPECT_EQ(vnx::engine::live_driver_objects(), objects_);
        // The thread goes on with a fresh context.
        HGLRC next = wglCreateContext(hdc_);
        ASSERT_TRUE(wglMakeCurrent(hdc_, next));
        EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
        EXPECT_TRUE(wglDeleteContext(next));
    });
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects_);
}

// An application that dies with a context current on a thread: the server
// frees its contexts (and the windows' objects go with the windows).
TEST_F(OpenGL32Test, ProcessDiesWithContextCurrent) {
    const size_t windows = vnx::engine::live_window_objects();
    {
        vnx::process::Scope as(app_);
        HGLRC a = wglCreateContext(hdc_);
        HGLRC b = wglCreateContext(hdc_);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(wglMakeCurrent(hdc_, a));
        glViewport(0, 0, 1, 1);
        EXPECT_EQ(vnx::engine::live_driver_objects(), objects_ + 2);
    }
    ASSERT_TRUE(vnx::process::terminate(app_));
    EXPECT_EQ(vnx::engine::live_driver_objects(), objects_);
    EXPECT_LT(vnx::engine::live_window_objects(), windows);
}

// The threads a process started end with it: the client driver's flush
// worker, parked while it has no hand-over, is not left behind in the
// library that is unloaded after the process has gone.
TEST_F(OpenGL32Test, ProcessEndEndsItsFlushWorker) {
    const size_t before = HostThreads();
    {
        vnx::process::Scope as(app_);
        HGLRC a = wglCreateContext(hdc_);
        ASSERT_NE(a, nullptr);
        ASSERT_TRUE(wglMakeCurrent(hdc_, a));
        glViewport(0, 0, 1, 1);
        glFinish();  // the first synchronous request starts the worker
        ASSERT_EQ(HostThreadsSettledAt(before + 1), before + 1) << "the flush worker";
    }
    ASSERT_TRUE(vnx::process::terminate(app_));
    EXPECT_EQ(HostThreadsSettledAt(before), before) << "the worker outlived its process";
    vnx::opengl32::unload_driver();
    EXPECT_EQ(HostThreadsSettledAt(before), before);
}

// A host thread that drew for a process that has ended goes on for another
// process with the driver still loaded: it starts afresh there instead of
// writing into the ended process's segment.
TEST_F(OpenGL32Test, ThreadOfAnEndedProcessDrawsForTheNext) {
    {
        vnx::process::Scope as(app_);
        HGLRC a = wglCreateContext(hdc_);
        ASSERT_NE(a, nullptr);
        ASSERT_TRUE(wglMakeCurrent(hdc_, a));
        glViewport(0, 0, 1, 1);
        glFinish();
    }
    ASSERT_TRUE(vnx::process::terminate(app_));
    app_ = vnx::process::create("next");
    hdc_ = Window(app_, {0, 0, 64, 64});
    ASSERT_NE(hdc_, nullptr);
    vnx::process::Scope as(app_);
    HGLRC b = wglCreateContext(hdc_);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(wglMakeCurrent(hdc_, b));
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    GLfloat colour[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    EXPECT_EQ(colour[2], 0.75f);
    EXPECT_EQ(glGetError(), 0u);
    EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_TRUE(wglDeleteContext(b));
}

}  // namespace
