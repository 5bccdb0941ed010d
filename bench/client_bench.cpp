// The client driver's vertex path: lit, smooth-shaded triangle strips given
// with glColor3f, glNormal3f and glVertex3f, from the application's calls
// to the bytes in the request segment and the vertex ring (the entry points
// of the table the driver hands the system OpenGL library), beside OSMesa's
// llvmpipe taking the same calls in the same run. The server runs the
// handed-over halves on the flush worker's thread, which the figure (the
// calling thread's time) leaves out; between timed batches the client
// waits, untimed, until the server has run them. Both contexts draw under
// the same state (the reference's view, smooth shading, one light on colour
// material). Each run has a host thread of its own, which acts for the
// benchmark's application process and draws the reference too: a host thread
// that drew GL for one logical process never draws for another.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "glcltexports.h"
#include "mesa_rig.h"
#include "clt.h"
#include "glentries.h"
#include "glicd.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"

#ifdef VNX_HAVE_OSMESA
#include <GL/osmesa.h>
#endif


namespace {

using litstrips::kVertices;

constexpr GLenum kProjection = 0x1701, kModelView = 0x1700, kSmooth = 0x1D01, kLighting = 0x0B50,
                 kLight0 = 0x4000, kColorMaterial = 0x0B57;

struct ClientRig {
    std::unique_ptr<vnx::engine::Device> device;
    DWORD app = 0;
    HDC hdc = nullptr;
    DHGLRC h = 0;
    const GLDispatchTable* gl = nullptr;
    ClientRig() {
        device = std::make_unique<vnx::engine::Device>();
        if (!device->load_driver() || !device->enable_pdev() || !device->enable_surface()) return;
        app = vnx::process::create("bench");
        vnx::process::Scope as(app);
        HWND hwnd = vnx::windows::create({0, 0, 1024, 768});
        hdc = hwnd != nullptr ? GetDC(hwnd) : nullptr;
        if (hdc == nullptr || DescribePixelFormat(hdc, 1, 0, nullptr) <= 0 || !SetPixelFormat(hdc, 1, nullptr)) return;
        if (!GLCltDllInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr)) return;
        h = DrvCreateContext(hdc);
        const GLCLTPROCTABLE* pt = h != 0 ? DrvSetContext(hdc, h, nullptr) : nullptr;
        if (pt == nullptr) return;
        gl = &pt->glDispatchTable;
        // The reference's state: its view of 1024 x 768 units, smooth
        // shading, the first light on colour material.
        const GLDispatchTable& t = *gl;
        t.Viewport(0, 0, 1024, 768);
        t.MatrixMode(kProjection);
        t.LoadIdentity();
        t.Ortho(0, 1024, 0, 768, -1, 1);
        t.MatrixMode(kModelView);
        t.LoadIdentity();
        t.ShadeModel(kSmooth);
        for (GLenum cap : {kLighting, kLight0, kColorMaterial}) t.Enable(cap);
        t.Finish();
    }
    ~ClientRig() {
        if (app == 0) return;
        {
            vnx::process::Scope as(app);
            if (h != 0) DrvDeleteContext(h);
            GLCltDllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
        }
        vnx::process::terminate(app);
    }
    void Draw() {
        const GLDispatchTable& t = *gl;
        litstrips::Draw([&](GLenum m) { t.Begin(m); }, [&] { t.End(); },
                   [&](float r, float g, float b) { t.Color3f(r, g, b); },
                   [&](float x, float y, float z) { t.Normal3f(x, y, z); },
                   [&](float x, float y, float z) { t.Vertex3f(x, y, z); });
    }
};

#ifdef VNX_HAVE_OSMESA
struct MesaRig : MesaLitContext {
    void Draw() const { DrawStrips(); }
};
#endif

void LitStrips(benchmark::State& state) {
#ifndef VNX_HAVE_OSMESA
    state.SkipWithError("OSMesa is not installed: no reference");
    return;
#else
    ClientRig client;
    MesaRig mesa;
    if (client.gl == nullptr || mesa.ctx == nullptr) {
        state.SkipWithError("no client context or no OSMesa context");
        return;
    }
    vnx::process::Scope as(client.app);
    ThreadBlock* ptb = CurrentThreadBlock();
    bench::Beside how;
    how.batch = 1;
    how.itemsPerCall = kVertices;
    bench::run_beside(
        state, how, [&](std::int64_t) { client.Draw(); }, [&](std::int64_t) { mesa.Draw(); },
        [&](std::int64_t) {
            // The server runs what was handed over, untimed: a timed batch
            // hands over at most once and never waits for the server.
            FlushSMSegment(ptb);
            WaitFlushWorker(ptb);
        });
#endif
}

void BM_GLClient_LitStrips(benchmark::State& state) {
    std::thread([&] { LitStrips(state); }).join();
}

BENCHMARK(BM_GLClient_LitStrips)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
