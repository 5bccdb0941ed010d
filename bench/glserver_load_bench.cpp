// The GL server's long load run: applications (glapp.h) with two drawing
// threads each send rounds whose display lists call each other, swap, and
// have their windows moved, while processes end mid-request and new ones take
// their place; meanwhile another process times ESC_PING, the escape every
// request holds up. The figure is the ping's wall time under that load
// (ns), beside the same ping on the idle server measured in the same run
// (ref_ns); ratio = ref_ns / ns. Its largest value (max_ms) shows whether
// one request held the escape lock too long. Built with -DVNX_TSAN=ON this
// is also the load the ThreadSanitizer run uses.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "gl/server/glapp.h"
#include "platform/board.h"
#include "platform/engine.h"

namespace {

std::int64_t wall_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

RECTL WindowAt(int i) {
    const LONG x = 30 + 110 * (i % 7), y = 30 + 90 * (i / 7 % 6);
    return RECTL{x, y, x + 140, y + 100};
}

glx::Bytes Round() {
    return glx::Stream({glx::Render("Color3fv", {glx::F(1), glx::F(0.5f), glx::F(0)}),
                        glx::Render("CallList", {1}), glx::Render("CallList", {1}),
                        glx::Render("Begin", {4}), glx::Render("Vertex2fv", {glx::F(0), glx::F(0)}),
                        glx::Render("Vertex2fv", {glx::F(1), glx::F(0)}),
                        glx::Render("Vertex2fv", {glx::F(0), glx::F(1)}), glx::Render("End")});
}

// A pinging process: the wall time of one ESC_PING.
class Pinger {
  public:
    Pinger() : pid_(vnx::process::create("pinger")) {
        vnx::process::Scope as(pid_);
        hdc_ = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    }
    ~Pinger() { vnx::process::terminate(pid_); }
    std::int64_t Ping() const {
        vnx::process::Scope as(pid_);
        const std::int64_t t0 = wall_ns();
        ExtEscape(hdc_, ESC_PING, 0, nullptr, 0, nullptr);
        return wall_ns() - t0;
    }
    // The server goes before its device does.
    void UnloadServer() const {
        vnx::process::Scope as(pid_);
        ExtEscape(hdc_, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
    }

  private:
    DWORD pid_;
    HDC hdc_ = nullptr;
};

// One application's life: a process, two threads that each compile a list
// chain (3^8 lists a call) and draw rounds until told to stop or the
// process ends.
void AppLife(int slot, const std::atomic<bool>& bStop, std::atomic<std::int64_t>& cRounds,
             int cLifeRounds) {
    glapp::App app(WindowAt(slot));
    if (!app.ok()) return;
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k) {
        threads.emplace_back([&] {
            glapp::Thread t(app);
            if (!t.Start()) return;
            glapp::CompileChain(t, 1, 9, 3);
            for (int r = 0; !bStop.load() && r < cLifeRounds; ++r) {
                if (t.Render(Round()) != 1) return;
                app.Swap();
                ++cRounds;
            }
        });
    }
    // The process ends while its threads still draw (they stop at their
    // next refused escape); a window move now and then.
    for (int r = 0; r < 8 && !bStop.load(); ++r) {
        app.Move(WindowAt(slot + r));
        Sleep(2);
    }
    app.End();
    for (auto& t : threads) t.join();
}

// A device with the GL server loaded (by the first describe), or null.
std::unique_ptr<vnx::engine::Device> ServerDevice() {
    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = 2;
    auto device = std::make_unique<vnx::engine::Device>(cfg);
    if (!device->load_driver() || !device->enable_pdev() || !device->enable_surface())
        return nullptr;
    device->machine().board().set_recording(false);
    glapp::LoadServer();
    return device;
}

void BM_GLServer_LoadPing(benchmark::State& state) {
    const int cApps = static_cast<int>(state.range(0));
    auto device = ServerDevice();
    if (device == nullptr) {
        state.SkipWithError("no device");
        return;
    }
    Pinger pinger;
    std::int64_t loaded = 0, idle = 0, pings = 0, maxLoaded = 0;
    std::atomic<std::int64_t> cRounds{0};
    for (auto _ : state) {
        std::atomic<bool> bStop{false};
        std::vector<std::thread> lives;
        for (int i = 0; i < cApps; ++i)
            lives.emplace_back([&, i] {
                for (int gen = 0; gen < 3 && !bStop.load(); ++gen)
                    AppLife(i + gen * cApps, bStop, cRounds, 400);
            });
        std::int64_t own = 0;
        for (int p = 0; p < 200; ++p) {
            const std::int64_t t = pinger.Ping();
            own += t;
            maxLoaded = std::max(maxLoaded, t);
            Sleep(1);
        }
        bStop = true;
        for (auto& l : lives) l.join();
        std::int64_t ref = 0;
        for (int p = 0; p < 200; ++p) ref += pinger.Ping();
        state.SetIterationTime(static_cast<double>(own) * 1e-9);
        loaded += own;
        idle += ref;
        pings += 200;
    }
    pinger.UnloadServer();
    if (pings == 0 || loaded == 0) return;
    state.counters["ns"] = static_cast<double>(loaded) / static_cast<double>(pings);
    state.counters["ref_ns"] = static_cast<double>(idle) / static_cast<double>(pings);
    state.counters["ratio"] = static_cast<double>(idle) / static_cast<double>(loaded);
    state.counters["max_ms"] = static_cast<double>(maxLoaded) * 1e-6;
    state.counters["rounds"] = static_cast<double>(cRounds.load());
}
BENCHMARK(BM_GLServer_LoadPing)->ArgNames({"apps"})->Arg(4)->Iterations(2)->UseManualTime();

// Times request `call` (ns) beside a request of one LineWidth (ref_ns),
// each iteration sending both from the application's thread. With
// bFinish a Finish follows the call (finish_ns): it draws what the call
// left queued and holds the lock as well; max_ms is the longer hold seen.
void TimeBesideLineWidth(benchmark::State& state, glapp::Thread& t, const glx::Bytes& call, bool bFinish) {
    const glx::Bytes little = glx::Render("LineWidth", {glx::F(2)});
    std::int64_t own = 0, finish = 0, ref = 0, maxHold = 0, n = 0;
    for (auto _ : state) {
        const std::int64_t t0 = wall_ns();
        t.Render(call);
        const std::int64_t t1 = wall_ns();
        if (bFinish) t.Single(glx::Single("Finish"));
        const std::int64_t t2 = wall_ns();
        t.Render(little);
        const std::int64_t t3 = wall_ns();
        state.SetIterationTime(static_cast<double>(t1 - t0) * 1e-9);
        own += t1 - t0;
        finish += t2 - t1;
        ref += t3 - t2;
        maxHold = std::max({maxHold, t1 - t0, t2 - t1});
        ++n;
    }
    if (n != 0 && own != 0) {
        state.counters["ns"] = static_cast<double>(own) / static_cast<double>(n);
        state.counters["ref_ns"] = static_cast<double>(ref) / static_cast<double>(n);
        state.counters["ratio"] = static_cast<double>(ref) / static_cast<double>(own);
        if (bFinish) {
            state.counters["finish_ns"] = static_cast<double>(finish) / static_cast<double>(n);
            state.counters["max_ms"] = static_cast<double>(maxHold) * 1e-6;
        }
    }
}

// One application on a device the server runs: `compile` makes its lists,
// then the request `call` is timed beside one LineWidth (and a Finish after
// it with bFinish).
template <class Compile>
void TimeListRequest(benchmark::State& state, Compile compile, const glx::Bytes& call,
                     const RECTL& rclWindow = WindowAt(0), bool bFinish = false) {
    auto device = ServerDevice();
    if (device == nullptr) {
        state.SkipWithError("no device");
        return;
    }
    {
        glapp::App app(rclWindow);
        glapp::Thread t(app);
        if (!app.ok() || !t.Start()) {
            state.SkipWithError("no application");
            return;
        }
        compile(t);
        TimeBesideLineWidth(state, t, call, bFinish);
        app.End();
    }
    Pinger().UnloadServer();
}

// List 1 holds `drawing`; lists 2 to `last` each call the one before four
// times.
void CompileDrawingChain(glapp::Thread& t, const glx::Bytes& drawing, ULONG last) {
    t.Single(glapp::SingleRequest(glapp::kNewList, {1, glapp::kCompile}));
    t.Render(drawing);
    t.Single(glapp::SingleRequest(glapp::kEndList));
    glapp::CompileCallChain(t, last);
}

// The longest a request can hold the escape lock with display lists: one
// CallList of lists that call each other three times, 3^12 lists deep,
// runs until the request's list work budget is spent (ns), beside a
// request of one LineWidth (ref_ns).
void BM_GLServer_ListBudgetRequest(benchmark::State& state) {
    TimeListRequest(
        state, [](glapp::Thread& t) { glapp::CompileChain(t, 1, 13, 3); },
        glx::Render("CallList", {1}));
}
BENCHMARK(BM_GLServer_ListBudgetRequest)->Iterations(5)->UseManualTime();

// The longest a request can hold the escape lock with images in display
// lists: one CallList of lists that call each other four times, 4^8 calls
// of a list drawing a 64 x 64 RGBA image, runs until the request's list
// work budget (the images count their pixels) is spent (ns), beside a
// request of one LineWidth (ref_ns).
void BM_GLServer_ImageListRequest(benchmark::State& state) {
    const auto compile = [](glapp::Thread& t) {
        glx::Bytes image =
            glx::RawRender(40 + 64 * 64 * 4, 173, {0, 0, 0, 0, 1, 64, 64, 0x1908, 0x1401});
        image.resize(image.size() + 64 * 64 * 4, 0x7f);
        CompileDrawingChain(t, image, 9);
    };
    const glx::Bytes call =
        glx::Stream({glx::Render("RasterPos2iv", {0, 0}), glx::Render("CallList", {9})});
    TimeListRequest(state, compile, call);
}
BENCHMARK(BM_GLServer_ImageListRequest)->Iterations(3)->UseManualTime();

// The longest a request can hold the escape lock with window drawings in
// display lists: in a 640 x 480 window, one CallList of lists that call
// each other four times, 4^10 calls of a list that clears the window (0),
// copies it (1) or draws a 640 x 480 bitmap (2), runs until the request's
// list work budget (the drawings count the window's pixels they may reach)
// is spent (ns), beside a request of one LineWidth (ref_ns).
void BM_GLServer_DrawListRequest(benchmark::State& state) {
    glx::Bytes drawing;
    switch (state.range(0)) {
        case 0: drawing = glx::Render("Clear", {0x4000}); break;
        case 1: drawing = glx::Render("CopyPixels", {0, 0, 640, 480, 0x1800}); break;
        default:
            drawing = glx::RawRender(48 + 80 * 480, 5, {0, 0, 0, 0, 1, 640, 480, 0, 0, 0, 0});
            drawing.resize(drawing.size() + 80 * 480, 0xa5);
            break;
    }
    const auto compile = [&](glapp::Thread& t) { CompileDrawingChain(t, drawing, 11); };
    const glx::Bytes call =
        glx::Stream({glx::Render("RasterPos2iv", {0, 0}), glx::Render("CallList", {11})});
    TimeListRequest(state, compile, call, RECTL{0, 0, 640, 480});
}
BENCHMARK(BM_GLServer_DrawListRequest)->ArgNames({"kind"})->DenseRange(0, 2)->Iterations(3)->UseManualTime();

}  // namespace

namespace {

// Begin(mode), the vertices (x, y pairs), End: one primitive of a list.
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

// The longest a request can hold the escape lock with large triangles in
// display lists: in a 640 x 480 window, one CallList of lists that call
// each other four times, 4^10 calls of a list that covers the window with
// two triangles (0), one quad (1) or one polygon (2), runs until the
// request's list work budget is spent (ns), beside a request of one
// LineWidth (ref_ns). The board draws queued triangles when they are
// handed to it; what the request left queued is drawn by the Finish after
// it (finish_ns), which holds the lock as well.
void BM_GLServer_TriangleListRequest(benchmark::State& state) {
    glx::Bytes drawing;
    switch (state.range(0)) {
        case 0: drawing = Primitive(4, {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1}); break;
        case 1: drawing = Primitive(7, {-1, -1, 1, -1, 1, 1, -1, 1}); break;
        default: drawing = Primitive(9, {-1, -1, 0, -1.2f, 1, -1, 1, 1, -1, 1}); break;
    }
    const auto depth = static_cast<ULONG>(state.range(1));
    const auto compile = [&](glapp::Thread& t) {
        CompileDrawingChain(t, drawing, depth);
        t.Single(glx::Single("Finish"));
    };
    TimeListRequest(state, compile, glx::Render("CallList", {depth}), RECTL{0, 0, 640, 480}, true);
}
BENCHMARK(BM_GLServer_TriangleListRequest)
    ->ArgNames({"kind", "depth"})
    ->ArgsProduct({{0, 1, 2}, {11}})
    ->Iterations(3)
    ->UseManualTime();

}  // namespace
