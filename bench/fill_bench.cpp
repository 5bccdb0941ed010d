// Vertices a second of smooth-shaded triangle strips through the strip fill
// render function into the queues (packet words only: the board decodes them
// between the timed batches and draws nothing),
// beside OSMesa's llvmpipe drawing the same strips, lit and smooth-shaded,
// as GL 1.0 immediate-mode calls into a 1024x768 buffer (single-threaded,
// so the thread's CPU time is all of its work).
//
// The render function gets the batch as the vertex stages leave it (window
// coordinates and packed colours): the lgi layer's vertex stages are not
// part of this figure, llvmpipe's transform, lighting and rasterization are.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "3d/context/arena.h"
#include "bench_util.h"
#include "mesa_rig.h"
#include "glsrv.h"
#include "kz2/render/kzfill.h"
#include "kz2/ucode/kzprog.h"
#include "shared/frame/hwframe.h"

#ifdef VNX_HAVE_OSMESA
#include <GL/osmesa.h>
#endif

namespace {

constexpr ULONG kStripVertices = 48;
constexpr ULONG kStrips = 21;  // 1,008 vertices: one batch
constexpr ULONG kVertices = kStripVertices * kStrips;

// Strip s runs along y = 20 + 36 s, its vertices alternating 24 pixels
// apart in y and 20 apart in x.
void Vertex(ULONG i, LONG* x, LONG* y) {
    const ULONG s = i / kStripVertices, k = i % kStripVertices;
    *x = static_cast<LONG>(20 + 20 * (k / 2));
    *y = static_cast<LONG>(20 + 36 * s + 24 * (k % 2));
}

struct FillRig {
    bench::DriverRig rig{4};
    GLSRVDEVICE dev{};
    N_Context* pctx = nullptr;
    N_Pipe* pipe = nullptr;
    std::vector<LONG> window;
    std::vector<ULONG> records, runs, strips;
    FillRig() {
        if (!rig.ok()) return;
        N_Init(nullptr, nullptr, 0, 0);
        pctx = N_CreateContext(0);
        if (pctx == nullptr) return;
        N_MakeCurrent(pctx);
        dev = GLSRVDEVICE{0, nullptr, rig.ppdev()};
        pctx->pHw->pDevice = &dev;
        // A smooth-shaded program without depth: a packed colour a vertex.
        kzRenderProg* prog = pkzProgOf(pctx->pHw->programs[0]);
        kzStartProgram(prog, 0x25 | 0x2000, 2);
        kzPlacePid(prog, 0x1000, 0x1000);
        _kzuEmit(prog, 0x10360348, "bench", __LINE__);
        prog->clipCount = 2;
        prog->clipMax = (767u << 16) | 1023u;
        kzSerialiseProgram(prog, 1, 1);
        prog->valid = 1;
        pctx->pHw->batchCount = N_BATCH_PRIMS;

        for (ULONG i = 0; i < kVertices; ++i) {
            LONG x, y;
            Vertex(i, &x, &y);
            window.insert(window.end(), {x, y, 0});
        }
        for (ULONG s = 0; s < kStrips; ++s) {
            strips.push_back(kStripVertices);
            runs.push_back(N_FACE_RUN(N_RUN_FIRST, kStripVertices - 2));
            for (ULONG k = 0; k < kStripVertices; ++k) records.insert(records.end(), {0x00804020u + k, 0, 0, 0, 0});
        }
        runs.push_back(N_FACE_RUN(N_RUN_FIRST, 0));
        N_PipeBlock& blk = pctx->blocks[N_PRIM_TRI_STRIP & 15];
        pipe = &blk.front;
        pipe->pCommonPipeData = &blk.common;
        pipe->next[N_STAGE_RENDER] = _NEmptyStage;
        CommonPipeData& c = blk.common;
        c.code = N_PRIM_TRI_STRIP;
        c.stripCount = kStrips;
        c.pStripCounts = strips.data();
        c.stripVertexCount = kVertices;
        c.pWindow = window.data();
        c.pFaceRuns = runs.data();
        c.pHwVertices = records.data();
        rig.board().set_execution(false);
    }
    ~FillRig() {
        if (pctx != nullptr) {
            pctx->pHw->pDevice = nullptr;
            N_DestroyContext(pctx);
        }
    }
    void Draw() {
        EnterCriticalSection(&rig.ppdev()->csEscape);
        _NvpRenderXTStripListFillKZ(pctx, pipe);
        LeaveCriticalSection(&rig.ppdev()->csEscape);
    }
};

#ifdef VNX_HAVE_OSMESA
struct MesaRig : MesaLitContext {
    void Draw() {
        for (ULONG s = 0; s < kStrips; ++s) {
            glBegin(GL_TRIANGLE_STRIP);
            for (ULONG k = 0; k < kStripVertices; ++k) {
                LONG x, y;
                Vertex(s * kStripVertices + k, &x, &y);
                glColor3f(0.5f, 0.25f, 0.125f + static_cast<float>(k) / 512.0f);
                glNormal3f(0.0f, 0.6f, 0.8f);
                glVertex2i(x, y);
            }
            glEnd();
        }
        glFinish();
    }
};
#endif

void BM_GLFill_Strips(benchmark::State& state) {
#ifndef VNX_HAVE_OSMESA
    state.SkipWithError("OSMesa is not installed: no reference");
    return;
#else
    FillRig fill;
    MesaRig mesa;
    if (fill.pctx == nullptr || mesa.ctx == nullptr) {
        state.SkipWithError("no device or no OSMesa context");
        return;
    }
    bench::Beside how;
    how.batch = 4;
    how.itemsPerCall = kVertices;
    bench::run_beside(
        state, how, [&](std::int64_t) { fill.Draw(); }, [&](std::int64_t) { mesa.Draw(); },
        [&](std::int64_t) {
            // The board takes the words, untimed.
            _NFlushQ(fill.pctx->pHw, nullptr, nullptr);
        });
#endif
}

BENCHMARK(BM_GLFill_Strips)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
