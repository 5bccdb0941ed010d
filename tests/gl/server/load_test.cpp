// The server under load, process death and faults, driven as applications
// drive it (glapp.h): processes that end while their threads' requests run,
// threads that end without detaching, several processes and threads drawing
// while their windows move, and each platform fault point failing during
// each GL step in turn. What these probe is the sanitizers' business (a use
// after free, a double free, a leak) and the server's own records: nothing
// of an ended process stays, and the server keeps serving.
#include <atomic>
#include <thread>

#include "gl/server/glapp.h"
#include "gl/server/server_fixture.h"

namespace {

using glapp::App;
using glapp::Thread;
using glsrv_test::GLServerTest;

RECTL WindowAt(int i) {
    const LONG x = 20 + 90 * (i % 6), y = 20 + 70 * (i / 6 % 5);
    return RECTL{x, y, x + 120, y + 90};
}

// What a drawing thread sends each round: state, a call of a list chain, a
// little drawing of its own, a GL error read back.
glx::Bytes Round(ULONG firstList) {
    return glx::Stream({glx::Render("Color3fv", {glx::F(1), glx::F(0.5f), glx::F(0)}),
                        glx::Render("CallList", {firstList}), glx::Render("Begin", {1}),
                        glx::Render("Vertex2fv", {glx::F(0), glx::F(0)}),
                        glx::Render("Vertex2fv", {glx::F(1), glx::F(1)}), glx::Render("End")});
}

class LoadTest : public GLServerTest {
  protected:
    void TearDown() override {
        vnx::debug::clear();
        GLServerTest::TearDown();
    }
    // ESC_PING from a process of its own: another process's escape gets
    // through while the load runs.
    INT Ping() {
        const DWORD pid = vnx::process::create("pinger");
        const HDC hdc = MakeDC(pid);
        INT r;
        {
            vnx::process::Scope as(pid);
            r = ExtEscape(hdc, ESC_PING, 0, nullptr, 0, nullptr);
            DeleteDC(hdc);
        }
        vnx::process::terminate(pid);
        return r;
    }
};

// Processes end while their threads run requests whose lists call each
// other (each CallList runs up to the request's list budget): the contexts'
// clean-up waits for the request in progress, the threads' later escapes
// are refused, and nothing of the processes stays.
TEST_F(LoadTest, ProcessesEndWhileTheirRequestsRun) {
    const size_t cObjects = vnx::engine::live_driver_objects();
    const size_t cWindows = vnx::engine::live_window_objects();
    constexpr int kApps = 3, kThreads = 2;
    std::vector<std::unique_ptr<App>> apps;
    for (int i = 0; i < kApps; ++i) {
        apps.push_back(std::make_unique<App>(WindowAt(i)));
        ASSERT_TRUE(apps.back()->ok());
    }
    std::atomic<int> cStarted{0}, cRounds{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kApps * kThreads; ++i) {
        threads.emplace_back([&, i] {
            Thread t(*apps[static_cast<size_t>(i / kThreads)]);
            const bool bStarted = t.Start();
            if (bStarted) glapp::CompileChain(t, 1, 10, 3);
            ++cStarted;
            if (!bStarted) return;
            // Until the process is gone (its escapes are then refused).
            for (int r = 0; r < 2000 && t.Render(Round(1)) == 1; ++r) ++cRounds;
        });
    }
    while (cStarted.load() < kApps * kThreads) Sleep(1);
    EXPECT_EQ(Ping(), 1);
    for (auto& app : apps) {
        Sleep(20);
        app->End();
        EXPECT_EQ(Ping(), 1);
    }
    for (auto& t : threads) t.join();
    EXPECT_GT(cRounds.load(), 0);
    EXPECT_EQ(vnx::engine::live_driver_objects(), cObjects);
    EXPECT_EQ(vnx::engine::live_window_objects(), cWindows);
    apps.clear();
    // The server serves a new process as before.
    App fresh(WindowAt(7));
    ASSERT_TRUE(fresh.ok());
    Thread t(fresh);
    ASSERT_TRUE(t.Start());
    EXPECT_EQ(t.Render(Round(1)), 1);
    EXPECT_EQ(t.Detach(), 0);
}

// Several processes, two threads each, draw and swap while their windows
// move (each move is a window callback under the escape lock); threads end
// without detaching, and their processes end last.
TEST_F(LoadTest, ThreadsDrawWhileWindowsMove) {
    constexpr int kApps = 3, kThreads = 2, kRounds = 150;
    std::vector<std::unique_ptr<App>> apps;
    for (int i = 0; i < kApps; ++i) {
        apps.push_back(std::make_unique<App>(WindowAt(i)));
        ASSERT_TRUE(apps.back()->ok());
    }
    std::atomic<bool> bDrawing{true};
    std::atomic<int> cFailed{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kApps * kThreads; ++i) {
        threads.emplace_back([&, i] {
            const App& app = *apps[static_cast<size_t>(i / kThreads)];
            Thread t(app);
            if (!t.Start()) {
                ++cFailed;
                return;
            }
            glapp::CompileChain(t, 1, 4, 2);
            for (int r = 0; r < kRounds; ++r) {
                if (t.Render(Round(1)) != 1) ++cFailed;
                app.Swap();
            }
        });
    }
    std::thread mover([&] {
        for (int r = 0; bDrawing.load(); ++r) {
            for (int i = 0; i < kApps; ++i) {
                RECTL rcl = WindowAt(i + r % 5);
                apps[static_cast<size_t>(i)]->Move(rcl);
            }
            Sleep(1);
        }
    });
    for (auto& t : threads) t.join();
    bDrawing = false;
    mover.join();
    EXPECT_EQ(cFailed.load(), 0);
    apps.clear();
}

// Each fault point of the platform fails during each GL step of an
// application's life in turn (every call of it for the step's length): the
// step fails or succeeds, later steps fail cleanly where they depend on it,
// and the process's end leaves nothing behind.
TEST_F(LoadTest, EachStepFailingInTurn) {
    const char* const kPoints[] = {"LocalAlloc", "MapViewOfFile", "OpenProcess", "EngCreateDriverObj",
                                   "EngCreateWnd", "EngLockSurface", "EngCreateDeviceBitmap",
                                   "CreateFileMappingA", "ReadProcessMemory"};
    struct Life {
        std::unique_ptr<App> app;
        std::unique_ptr<Thread> t;
    };
    using Step = void (*)(Life&);
    const Step kSteps[] = {
        [](Life& l) { l.app = std::make_unique<App>(WindowAt(1)); },
        [](Life& l) { l.t = std::make_unique<Thread>(*l.app); l.t->Start(); },
        [](Life& l) { l.t->Single(glapp::SingleRequest(glapp::kGenLists, {4})); },
        [](Life& l) { l.t->Single(glapp::SingleRequest(glapp::kNewList, {1, glapp::kCompile})); },
        [](Life& l) { l.t->Render(Round(2)); },
        [](Life& l) { l.t->Single(glapp::SingleRequest(glapp::kEndList)); },
        [](Life& l) { l.t->Render(glx::Render("CallList", {1})); },
        [](Life& l) { l.t->Render(Round(1)); },
        [](Life& l) { l.t->Single(glx::Single("Finish")); },
        [](Life& l) { l.app->Swap(); },
        [](Life& l) { l.app->Move(WindowAt(2)); },
        [](Life& l) { l.t->Single(glx::Single("GetError")); },
        [](Life& l) { l.app->Cmd(GLCMD_RELEASECONTEXT, {l.t->dhrc()}); },
        [](Life& l) { l.app->Cmd(GLCMD_DELETECONTEXT, {l.t->dhrc()}); },
    };
    const size_t cObjects = vnx::engine::live_driver_objects();
    const size_t cWindows = vnx::engine::live_window_objects();
    for (const char* point : kPoints) {
        for (size_t failing = 0; failing < std::size(kSteps); ++failing) {
            SCOPED_TRACE(std::string(point) + " in step " + std::to_string(failing));
            Life life;
            for (size_t s = 0; s < std::size(kSteps); ++s) {
                if (s == failing) vnx::faults::arm(point, 0, -1);
                kSteps[s](life);
                vnx::faults::clear();
            }
            life.t.reset();
            life.app.reset();
            EXPECT_EQ(vnx::engine::live_driver_objects(), cObjects);
            EXPECT_EQ(vnx::engine::live_window_objects(), cWindows);
            vnx::debug::clear();
        }
    }
    // The server serves as before.
    Life life;
    for (const Step& step : kSteps) step(life);
    ASSERT_NE(life.t, nullptr);
    EXPECT_EQ(life.t->Detach(), 0);
}

}  // namespace
