// An application's lit, smooth-shaded triangle strips (glColor3f,
// glNormal3f, glVertex3f; 16 strips of 64 vertices) from its calls to packet
// words in the board's queues: the calls go through the table of entry
// points the client driver hands the system OpenGL library (what GL/gl.h's
// functions jump through), the client's thread fills the request segment
// and the vertex ring, its flush worker hands the halves to the GL server,
// which runs the lgi pipes and writes the packets. Those two threads form a
// pipeline, so the figure is the elapsed time from the first call until the
// flush worker is idle again with every packet queued; the board is held
// meanwhile, and its execution of the same packets is timed apart
// afterwards. The screen is 640x480 at 32 bits a pixel (where the server's
// 3D buffers fit).
// Beside it, OSMesa's llvmpipe runs the same program on the calling thread
// in the same run (it also rasterizes, which here is the board's part);
// both sides' batches alternate. Counters:
//   Mvertices_per_s      ours, elapsed, board held
//   ref_Mvertices_per_s  llvmpipe, elapsed
//   ratio                ref / ours (the goal: at least 2)
//   cpu_ratio            llvmpipe's thread CPU time / the CPU time of our
//                        whole process (both threads of the pipeline) for
//                        the same work (on a busy machine the elapsed
//                        figures include waits for a processor)
//   board_Mvertices_per_s  the board model executing the packets
//   ratio_with_board     llvmpipe / (ours + the board's execution)
#include <benchmark/benchmark.h>
#include <time.h>

#include <memory>

#include "bench_util.h"
#include "glcltexports.h"
#include "clt.h"
#include "glentries.h"
#include "glicd.h"
#include "mesa_rig.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"


namespace {

using litstrips::kVertices;
constexpr int kDraws = 4;  // draws a timed batch

std::int64_t clock_ns(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// The application: the state it draws under (one light on colour material,
// smooth shading, pixel coordinates with y = 0 at the top of a 640x480
// window) and the strips, both through a table of GL entry points.
struct Calls {
    void (*Begin)(GLenum);
    void (*End)();
    void (*Color3f)(GLfloat, GLfloat, GLfloat);
    void (*Normal3f)(GLfloat, GLfloat, GLfloat);
    void (*Vertex3f)(GLfloat, GLfloat, GLfloat);
};
void Strips(const Calls& gl) { litstrips::Draw(gl.Begin, gl.End, gl.Color3f, gl.Normal3f, gl.Vertex3f); }

// The application on the board: a process with a 640x480 window in a pixel
// format with a depth buffer, a context current, the state set.
struct AppRig {
    DWORD app = 0;
    HDC hdc = nullptr;
    DHGLRC h = 0;
    const GLDispatchTable* gl = nullptr;
    ThreadBlock* ptb = nullptr;
    AppRig() {
        app = vnx::process::create("bench-app");
        vnx::process::Scope as(app);
        HWND hwnd = vnx::windows::create({0, 0, 640, 480});
        hdc = hwnd != nullptr ? GetDC(hwnd) : nullptr;
        const int count = hdc != nullptr ? DescribePixelFormat(hdc, 1, 0, nullptr) : 0;
        int format = 0;
        for (int i = 1; i <= count && format == 0; ++i) {
            PIXELFORMATDESCRIPTOR pfd{};
            if (DescribePixelFormat(hdc, i, sizeof pfd, &pfd) > 0 && pfd.iPixelType == PFD_TYPE_RGBA && pfd.cDepthBits > 0)
                format = i;
        }
        if (format == 0 || !SetPixelFormat(hdc, format, nullptr)) return;
        if (!GLCltDllInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr)) return;
        h = DrvCreateContext(hdc);
        const GLCLTPROCTABLE* pt = h != 0 ? DrvSetContext(hdc, h, nullptr) : nullptr;
        if (pt == nullptr) return;
        const GLDispatchTable& t = pt->glDispatchTable;
        t.Viewport(0, 0, 640, 480);
        t.MatrixMode(0x1701);  // GL_PROJECTION
        t.LoadIdentity();
        t.Ortho(0, 640, 480, 0, -1, 1);
        t.MatrixMode(0x1700);  // GL_MODELVIEW
        t.LoadIdentity();
        t.ShadeModel(0x1D01);  // GL_SMOOTH
        t.Enable(0x0B50);      // GL_LIGHTING
        t.Enable(0x4000);      // GL_LIGHT0
        t.Enable(0x0B57);      // GL_COLOR_MATERIAL
        t.Finish();
        ptb = CurrentThreadBlock();
        gl = &t;
    }
    ~AppRig() {
        if (app == 0) return;
        {
            vnx::process::Scope as(app);
            if (h != 0) DrvDeleteContext(h);
            GLCltDllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
        }
        vnx::process::terminate(app);
    }
    Calls calls() const { return {gl->Begin, gl->End, gl->Color3f, gl->Normal3f, gl->Vertex3f}; }
    // Every call handed over and run by the server: the packets are queued.
    void Drain() {
        FlushSMSegment(ptb);
        WaitFlushWorker(ptb);
    }
};

void BM_GLApp_LitStripsToQueues(benchmark::State& state) {
    const std::unique_ptr<bench::DriverRig> pRig = bench::gl_beside_mesa_rig(state);
    if (pRig == nullptr) return;
#ifdef VNX_HAVE_OSMESA
    bench::DriverRig& rig = *pRig;
    AppRig app;
    MesaLitContext mesa(true);
    if (app.gl == nullptr || mesa.ctx == nullptr) {
        state.SkipWithError("no GL context on the board or no OSMesa context");
        return;
    }
    vnx::process::Scope as(app.app);
    const Calls ours = app.calls();
    const Calls reference = {[](GLenum m) { glBegin(m); }, [] { glEnd(); },
                             [](GLfloat r, GLfloat g, GLfloat b) { glColor3f(r, g, b); },
                             [](GLfloat x, GLfloat y, GLfloat z) { glNormal3f(x, y, z); },
                             [](GLfloat x, GLfloat y, GLfloat z) { glVertex3f(x, y, z); }};
    // The first draw sets the pipes and programs up, untimed.
    Strips(ours);
    app.Drain();
    rig.release();

    std::int64_t own = 0, ownCpu = 0, ref = 0, refCpu = 0, board = 0, draws = 0;
    bool bReferenceFirst = false;
    auto timeMesa = [&] {
        const std::int64_t t0 = clock_ns(CLOCK_MONOTONIC), c0 = bench::thread_ns();
        for (int d = 0; d < kDraws; ++d) Strips(reference);
        glFinish();
        refCpu += bench::thread_ns() - c0;
        return clock_ns(CLOCK_MONOTONIC) - t0;
    };
    for (auto _ : state) {
        if (bReferenceFirst) ref += timeMesa();
        rig.hold();
        const std::int64_t c0 = clock_ns(CLOCK_PROCESS_CPUTIME_ID), t0 = clock_ns(CLOCK_MONOTONIC);
        for (int d = 0; d < kDraws; ++d) Strips(ours);
        app.Drain();
        const std::int64_t t = clock_ns(CLOCK_MONOTONIC) - t0;
        ownCpu += clock_ns(CLOCK_PROCESS_CPUTIME_ID) - c0;
        board += rig.release();
        if (!bReferenceFirst) ref += timeMesa();
        bReferenceFirst = !bReferenceFirst;
        own += t;
        draws += kDraws;
        state.SetIterationTime(static_cast<double>(t) * 1e-9);
    }
    if (draws == 0 || own == 0 || ref == 0 || board == 0) return;
    const double vertices = static_cast<double>(draws) * kVertices;
    state.counters["Mvertices_per_s"] = vertices / static_cast<double>(own) * 1e3;
    state.counters["ref_Mvertices_per_s"] = vertices / static_cast<double>(ref) * 1e3;
    state.counters["ratio"] = static_cast<double>(ref) / static_cast<double>(own);
    state.counters["cpu_ratio"] = static_cast<double>(refCpu) / static_cast<double>(ownCpu);
    state.counters["board_Mvertices_per_s"] = vertices / static_cast<double>(board) * 1e3;
    state.counters["ratio_with_board"] = static_cast<double>(ref) / static_cast<double>(own + board);
    state.SetItemsProcessed(static_cast<std::int64_t>(vertices));
#endif
}
BENCHMARK(BM_GLApp_LitStripsToQueues)->ArgName("rasterizers")->Arg(1)->Arg(4)->UseManualTime()->Unit(
    benchmark::kMicrosecond);

}  // namespace
