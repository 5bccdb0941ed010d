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
#include "platform/board.h"

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

namespace {

// A DrawPixels command of a w x h RGBA image of one byte a component.
glx::Bytes DrawPixels(std::uint32_t w, std::uint32_t h) {
    glx::Bytes b = glx::RawRender(static_cast<std::uint16_t>(40 + w * h * 4), 173,
                                  {0, 0, 0, 0, 1, w, h, 0x1908 /* GL_RGBA */, 0x1401 /* GL_UNSIGNED_BYTE */});
    b.resize(b.size() + w * h * 4, 0x7f);
    return b;
}

// The work one request does while it holds the lock, counted: a list that
// draws a 64 x 64 image, called four times by each of the next lists, 4^8
// images for one CallList of the last. In feedback mode each image drawn
// writes its token (three values in GL_2D), so the feedback count is the
// number of images the request drew. One request draws at most what its
// list work budget allows (2^24 pixels of images, 4096 of these), is cut
// there with GL_INVALID_OPERATION, and the next request has the whole
// budget again; another application's requests are served meanwhile.
TEST_F(LoadTest, OneRequestDrawsABoundedNumberOfImages) {
    App app(WindowAt(1)), other(WindowAt(3));
    ASSERT_TRUE(app.ok() && other.ok());
    Thread t(app);
    ASSERT_TRUE(t.Start());
    t.Single(glapp::SingleRequest(glapp::kNewList, {1, glapp::kCompile}));
    ASSERT_EQ(t.Render(DrawPixels(64, 64)), 1);
    t.Single(glapp::SingleRequest(glapp::kEndList));
    glapp::CompileCallChain(t, 9);
    EXPECT_EQ(t.Single(glx::Single("GetError")).retval, 0u);

    std::atomic<bool> bDrawing{true};
    std::atomic<int> cOtherRounds{0}, cOtherFailed{0};
    std::thread drawer([&] {
        Thread o(other);
        if (!o.Start()) {
            ++cOtherFailed;
            return;
        }
        glapp::CompileChain(o, 1, 2, 1);
        while (bDrawing.load() || cOtherRounds.load() == 0) {
            if (o.Render(Round(1)) != 1) ++cOtherFailed;
            ++cOtherRounds;
        }
    });

    constexpr std::uint32_t kGL2D = 0x0600, kFeedback = 0x1C01, kRender = 0x1C00, kValues = 3 * 65536 + 16;
    const auto imagesOfOneRequest = [&](ULONG list) {
        t.Single(glx::Single("FeedbackBuffer", {kValues, kGL2D}));
        t.Single(glx::Single("RenderMode", {kFeedback}));
        t.Render(glx::Stream({glx::Render("RasterPos2iv", {0, 0}), glx::Render("CallList", {list})}));
        return static_cast<std::int32_t>(t.Single(glx::Single("RenderMode", {kRender})).retval) / 3;
    };
    const std::int32_t cCut = imagesOfOneRequest(9);
    EXPECT_GT(cCut, 0);
    EXPECT_LE(cCut, (1 << 24) / (64 * 64)) << "images one request drew";
    EXPECT_EQ(t.Single(glx::Single("GetError")).retval, 0x0502u) << "the cut request's error";
    // The next request draws its 4^3 images whole.
    EXPECT_EQ(imagesOfOneRequest(4), 64);
    EXPECT_EQ(t.Single(glx::Single("GetError")).retval, 0u);

    bDrawing = false;
    drawer.join();
    EXPECT_GT(cOtherRounds.load(), 0);
    EXPECT_EQ(cOtherFailed.load(), 0);
}

}  // namespace

namespace {

// A Bitmap command of a w x h bitmap of set bits (rows of whole bytes).
glx::Bytes Bitmap(std::uint32_t w, std::uint32_t h) {
    const std::uint32_t cj = (w + 7) / 8 * h, cjPadded = (cj + 3) & ~3u;
    glx::Bytes b = glx::RawRender(static_cast<std::uint16_t>(48 + cjPadded), 5 /* Bitmap */,
                                  {0, 0, 0, 0, 1, w, h, 0, 0, 0, 0});
    b.resize(b.size() + cjPadded, 0xff);
    return b;
}

// A request's list drawing into the window many times is cut by the pixels
// of the window each drawing may reach, as the images are: list 1 draws
// once and writes a pass-through token, each of lists 2 to 9 calls the one
// before four times, 4^8 drawings for one CallList of list 9. Feedback
// counts the drawings one request made (a clear writes no token of its
// own; a bitmap and a copy write theirs, three values in GL_2D). The
// 120 x 90 window holds 10800 pixels: at most 2^24 / 10800 drawings go in
// one request, and the 256 x 256 rectangles are held to the window's size
// (counted whole, fewer than 2^24 / 65536 would go).
TEST_F(LoadTest, OneRequestDrawsIntoTheWindowABoundedNumberOfTimes) {
    struct Case {
        const char* name;
        glx::Bytes drawing;
        int valuesPerDrawing;
    };
    const Case kCases[] = {
        {"Clear", glx::Render("Clear", {0x4000 /* COLOR_BUFFER_BIT */}), 2},
        {"CopyPixels", glx::Render("CopyPixels", {0, 0, 256, 256, 0x1800 /* COLOR */}), 5},
        {"Bitmap", Bitmap(256, 256), 5},
    };
    constexpr std::int32_t kWindowPixels = 120 * 90;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        App app(WindowAt(1));
        ASSERT_TRUE(app.ok());
        Thread t(app);
        ASSERT_TRUE(t.Start());
        t.Single(glapp::SingleRequest(glapp::kNewList, {1, glapp::kCompile}));
        ASSERT_EQ(t.Render(glx::Stream({c.drawing, glx::Render("PassThrough", {glx::F(1)})})), 1);
        t.Single(glapp::SingleRequest(glapp::kEndList));
        glapp::CompileCallChain(t, 9);
        ASSERT_EQ(t.Single(glx::Single("GetError")).retval, 0u);
        constexpr std::uint32_t kGL2D = 0x0600, kFeedback = 0x1C01, kRender = 0x1C00;
        const std::uint32_t cValues = static_cast<std::uint32_t>(c.valuesPerDrawing) * 65536 + 16;
        const auto drawingsOfOneRequest = [&](ULONG list) {
            t.Single(glx::Single("FeedbackBuffer", {cValues, kGL2D}));
            t.Single(glx::Single("RenderMode", {kFeedback}));
            t.Render(glx::Stream({glx::Render("RasterPos2iv", {0, 0}), glx::Render("CallList", {list})}));
            return static_cast<std::int32_t>(t.Single(glx::Single("RenderMode", {kRender})).retval) /
                   c.valuesPerDrawing;
        };
        const std::int32_t cCut = drawingsOfOneRequest(9);
        EXPECT_LE(cCut, (1 << 24) / kWindowPixels) << "drawings one request made";
        EXPECT_GT(cCut, (1 << 24) / kWindowPixels / 2) << "drawings one request made";
        EXPECT_EQ(t.Single(glx::Single("GetError")).retval, 0x0502u) << "the cut request's error";
        // The next request makes its 4^3 drawings whole.
        EXPECT_EQ(drawingsOfOneRequest(4), 64);
        EXPECT_EQ(t.Single(glx::Single("GetError")).retval, 0u);
    }
}

}  // namespace

namespace {

// Begin(mode), the vertices (x, y pairs), End.
glx::Bytes Primitive(std::uint32_t mode, std::initializer_list<float> xy) {
    glx::Bytes b = glx::Render("Begin", {mode});
    for (auto p = xy.begin(); p + 1 < xy.end(); p += 2) {
        const glx::Bytes v = glx::Render("Vertex2fv", {glx::F(p[0]), glx::F(p[1])});
        b.insert(b.end(), v.begin(), v.end());
    }
    const glx::Bytes end = glx::Render("End");
    b.insert(b.end(), end.begin(), end.end());
    return b;
}

// A request's list drawing large triangles many times is cut by the window
// pixels they cover, as a list's clears are: list 1 covers the 120 x 90
// window once (two triangles, a quad, a polygon that the window clips, or
// a strip of two triangles),
// each of lists 2 to 7 calls the one before four times, 4^6 coverings for
// one CallList of list 7. The board model's primitive count says how many
// coverings were drawn (the primitives of one covering taken from a
// request drawing 4^3 of them whole): at most 2^24 / 10800 of them go in
// one request, the rest of the request is cut with GL_INVALID_OPERATION.
// What the request leaves queued for the board to draw at a later flush is
// capped too (2^20 window pixels, fewer than 100 coverings): the board has
// drawn the rest when the request returns.
TEST_F(LoadTest, OneRequestDrawsABoundedAreaOfTriangles) {
    struct Case {
        const char* name;
        glx::Bytes covering;
    };
    const Case kCases[] = {
        {"Triangles", Primitive(4 /* TRIANGLES */, {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1})},
        {"Quad", Primitive(7 /* QUADS */, {-1, -1, 1, -1, 1, 1, -1, 1})},
        {"Polygon", Primitive(9 /* POLYGON */, {-1, -1, 0, -1.5f, 1, -1, 1, 1, -1, 1})},
        {"TriangleStrip", Primitive(5 /* TRIANGLE_STRIP */, {-1, -1, 1, -1, -1, 1, 1, 1})},
    };
    constexpr std::int32_t kWindowPixels = 120 * 90;
    auto& board = device_->machine().board();
    const auto drawn = [&] { return static_cast<std::int64_t>(board.summary(0).primitives); };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        App app(WindowAt(1));
        ASSERT_TRUE(app.ok());
        Thread t(app);
        ASSERT_TRUE(t.Start());
        t.Single(glapp::SingleRequest(glapp::kNewList, {1, glapp::kCompile}));
        ASSERT_EQ(t.Render(c.covering), 1);
        t.Single(glapp::SingleRequest(glapp::kEndList));
        glapp::CompileCallChain(t, 7);
        t.Single(glx::Single("Finish"));
        ASSERT_EQ(t.Single(glx::Single("GetError")).retval, 0u);

        // Primitives of one covering, from 4^3 of them drawn whole.
        std::int64_t before = drawn();
        ASSERT_EQ(t.Render(glx::Render("CallList", {4})), 1);
        t.Single(glx::Single("Finish"));
        ASSERT_EQ(t.Single(glx::Single("GetError")).retval, 0u);
        const std::int64_t cPerCovering = (drawn() - before) / 64;
        ASSERT_GT(cPerCovering, 0);
        ASSERT_EQ(drawn() - before, 64 * cPerCovering);

        before = drawn();
        t.Render(glx::Render("CallList", {7}));
        const std::int64_t cDrawnByRequest = drawn() - before;
        t.Single(glx::Single("Finish"));
        const std::int64_t cCut = (drawn() - before) / cPerCovering;
        EXPECT_LE(cCut, (1 << 24) / kWindowPixels) << "coverings one request drew";
        EXPECT_GT(cCut, (1 << 24) / kWindowPixels / 2) << "coverings one request drew";
        EXPECT_LE(cCut - cDrawnByRequest / cPerCovering, (1 << 20) / kWindowPixels + 1)
            << "coverings left queued for a later flush";
        EXPECT_EQ(t.Single(glx::Single("GetError")).retval, 0x0502u) << "the cut request's error";
        // The next request draws its 4^3 coverings whole.
        before = drawn();
        t.Render(glx::Render("CallList", {4}));
        t.Single(glx::Single("Finish"));
        EXPECT_EQ(drawn() - before, 64 * cPerCovering);
        EXPECT_EQ(t.Single(glx::Single("GetError")).retval, 0u);
    }
}

}  // namespace
