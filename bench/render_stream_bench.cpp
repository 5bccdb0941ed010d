// Vertices a second of lit, smooth-shaded triangle strips from the GL
// server's render stream to packet words in the board's queues: an
// application's thread hands the server a half of its request segment
// holding Begin, Color3fv, Normal3fv, Vertex3fv ... End for 16 strips of 64
// vertices, and the server decodes it, runs the lgi pipes (transform, one
// light on colour material, colour conversion) and the render functions,
// which write the packets. The board is held while the server works, so the
// figure is the server's own work (the thread's CPU time); the board model's
// consumption of the same packets is timed apart afterwards (board rate). The
// screen is 640x480 at 32 bits a pixel.
// Beside it, OSMesa's llvmpipe takes the same GL 1.0 immediate-mode calls
// on the calling thread in the same run (it also rasterizes, which here is
// the board's part).
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench_util.h"
#include "gl/server/glapp.h"
#include "mesa_rig.h"

namespace {

using litstrips::kVertices;

constexpr std::uint32_t kSmooth = 0x1D01, kProjection = 0x1701, kModelView = 0x1700;
constexpr std::uint32_t kLighting = 0x0B50, kLight0 = 0x4000, kColorMaterial = 0x0B57;

void PutDouble(glx::Bytes& b, double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    glx::Put32(b, static_cast<std::uint32_t>(u));
    glx::Put32(b, static_cast<std::uint32_t>(u >> 32));
}

void Append(glx::Bytes& to, const glx::Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

// The state the strips are drawn under, as MesaLitContext sets it (y = 0 at
// the window's top) in a 640x480 window.
glx::Bytes SetupStream() {
    glx::Bytes b = glx::Stream({glx::Render("Viewport", {0, 0, 640, 480}), glx::Render("MatrixMode", {kProjection}),
                                glx::Render("LoadIdentity")});
    glx::Bytes ortho = glx::RawRender(4 + 6 * 8, glx::RenderRow("Ortho").opcode);
    for (double d : {0.0, 640.0, 480.0, 0.0, -1.0, 1.0}) PutDouble(ortho, d);
    Append(b, ortho);
    Append(b, glx::Stream({glx::Render("MatrixMode", {kModelView}), glx::Render("LoadIdentity"),
                           glx::Render("ShadeModel", {kSmooth}), glx::Render("Enable", {kLighting}),
                           glx::Render("Enable", {kLight0}), glx::Render("Enable", {kColorMaterial})}));
    return b;
}

glx::Bytes StripStream() {
    using glx::F;
    glx::Bytes b;
    litstrips::Draw([&](std::uint32_t m) { Append(b, glx::Render("Begin", {m})); },
                    [&] { Append(b, glx::Render("End")); },
                    [&](float r, float g, float bl) { Append(b, glx::Render("Color3fv", {F(r), F(g), F(bl)})); },
                    [&](float x, float y, float z) { Append(b, glx::Render("Normal3fv", {F(x), F(y), F(z)})); },
                    [&](float x, float y, float z) { Append(b, glx::Render("Vertex3fv", {F(x), F(y), F(z)})); });
    return b;
}

#ifdef VNX_HAVE_OSMESA
// The reference's view matches: MesaLitContext's 1024x768 buffer with y
// down, the strips in its top-left 640x480.
struct MesaRig : MesaLitContext {
    MesaRig() : MesaLitContext(true) {}
    void Draw() const { DrawStrips(); }
};
#endif

void BM_GLServer_RenderStreamLitStrips(benchmark::State& state) {
    const std::unique_ptr<bench::DriverRig> pRig = bench::gl_beside_mesa_rig(state);
    if (pRig == nullptr) return;
#ifdef VNX_HAVE_OSMESA
    bench::DriverRig& rig = *pRig;
    glapp::LoadServer();
    glapp::App app(RECTL{0, 0, 640, 480});
    glapp::Thread thread(app);
    MesaRig mesa;
    if (!app.ok() || !thread.Start() || mesa.ctx == nullptr || thread.Render(SetupStream()) != 1) {
        state.SkipWithError("no GL context on the board or no OSMesa context");
        return;
    }
    const glx::Bytes strips = StripStream();
    // The first draw sets the pipes and programs up, untimed.
    thread.Render(strips);
    rig.release();

    std::int64_t own = 0, ref = 0, board = 0, draws = 0;
    bool bReferenceFirst = false;
    auto timeMesa = [&] {
        const std::int64_t t0 = bench::thread_ns();
        mesa.Draw();
        return bench::thread_ns() - t0;
    };
    for (auto _ : state) {
        if (bReferenceFirst) ref += timeMesa();
        rig.hold();
        const std::int64_t t0 = bench::thread_ns();
        const INT iResult = thread.Render(strips);
        const std::int64_t t = bench::thread_ns() - t0;
        board += rig.release();
        if (iResult != 1) {
            state.SkipWithError("the server refused the render stream");
            return;
        }
        if (!bReferenceFirst) ref += timeMesa();
        bReferenceFirst = !bReferenceFirst;
        own += t;
        ++draws;
        state.SetIterationTime(static_cast<double>(t) * 1e-9);
    }
    if (draws == 0 || own == 0 || ref == 0) return;
    const double vertices = static_cast<double>(draws) * kVertices;
    state.counters["Mvertices_per_s"] = vertices / static_cast<double>(own) * 1e3;
    state.counters["ref_Mvertices_per_s"] = vertices / static_cast<double>(ref) * 1e3;
    state.counters["ratio"] = static_cast<double>(ref) / static_cast<double>(own);
    state.counters["board_Mvertices_per_s"] = vertices / static_cast<double>(board) * 1e3;
    state.SetItemsProcessed(static_cast<std::int64_t>(vertices));
#endif
}
BENCHMARK(BM_GLServer_RenderStreamLitStrips)->ArgName("rasterizers")->Arg(1)->Arg(4)->UseManualTime()->Unit(
    benchmark::kMicrosecond);

}  // namespace
