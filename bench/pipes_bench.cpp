// Vertices a second through the lgi pipeline's transform stages: a batch of
// 1,008 lit vertices (position, RGBA colour, normal, inline) runs the
// transform stages (window coordinates with outcodes, eye positions for
// lighting), beside the same work written as one plain loop. The ratio shows
// what the stage protocol (a call per stage) costs.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "3d/pipes/pipes.h"
#include "bench_util.h"
#include "context/image.h"
#include "context/texture.h"

// The lgi layer asks the GL layer for its device record; the benchmark has none.
GLSRVDEVICE* __glDeviceRecord(void) { return nullptr; }
// The GL layer's texture loader: nothing on the board.
ULONG _DFindTexture(PDEV*, ULONG, ULONG, ULONG*) { return 0; }
ULONG _DLoadTexture(PDEV*, ULONG, ULONG, LONG, LONG, const void*, BOOL, const void*) { return 0; }
// The GL layer's accumulation memory: none, so the accumulation operations do nothing.
void* _DAllocAccumBuffer(void) { return nullptr; }
// The GL server core's image transfers: no board buffers here.
GLBufferSet* _DBufferSetOf(const GLBuffer*) { return nullptr; }
ULONG _DGetImage(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, void*) { return 0; }
ULONG _DPutImage(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, void*) { return 0; }
ULONG _DPutImageZoom(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, LONG, LONG, const ULONG*, void*) { return 0; }
ULONG _DCopyImage(GLBufferSet*, ULONG, ULONG, LONG, LONG, LONG, LONG, LONG, LONG) { return 0; }

namespace {

constexpr ULONG kVertices = N_BATCH_POLYGONS;
constexpr ULONG kWords = 11;  // position 4, RGBA 4, normal 3
constexpr ULONG kFormat = N_VTX_POS3 | N_VTX_RGBA | N_VTX_NORMAL;

struct Rig {
    N_Context* pctx = nullptr;
    N_Pipe* pipe = nullptr;
    std::vector<float> data;
    Rig() {
        N_Init(nullptr, nullptr, 0, 0);
        pctx = N_CreateContext(0);
        if (pctx == nullptr) return;
        N_MakeCurrent(pctx);
        const ULONG rect[2] = {0, (767u << 16) | 1023u};
        N_BindClipList(1, rect);
        const float K[16] = {300, 10, 0, 512, -5, 280, 0, 384, 0, 0, 30000, 32768, 0, 0, -0.1f, 1};
        const float M[16] = {1, 0, 0, 0, 0, 0.8f, -0.6f, 0, 0, 0.6f, 0.8f, -3, 0, 0, 0, 1};
        std::memcpy(pctx->xf.combined, K, sizeof K);
        std::memcpy(pctx->xf.pipeModelView, M, sizeof M);
        const float b[6] = {0, 0, 0, 1023, 767, 65535};
        std::memcpy(pctx->xf.boundsF, b, sizeof b);
        for (int i = 0; i < 6; ++i) pctx->xf.boundsI[i] = static_cast<LONG>(b[i]);
        data.resize(std::size_t{kVertices} * kWords);
        for (ULONG i = 0; i < kVertices; ++i) {
            float* v = &data[std::size_t{i} * kWords];
            const float t = static_cast<float>(i) / kVertices;
            const float vals[kWords] = {t - 0.5f, 0.5f - t * t, 0.1f * t, 1, t, 1 - t, 0.5f, 1, 0, 0.6f, 0.8f};
            std::memcpy(v, vals, sizeof vals);
        }
        pipe = &pctx->blocks[N_PRIM_TRIANGLES & 15].front;
        _NValPrimPipe(pctx, pipe, N_PRIM_TRIANGLES, kFormat);
        // Transform only: position, eye position, then the end.
        pipe->next[N_STAGE_HEAD] = _NXformPos3Render;
        pipe->next[N_STAGE_POSITION] = _NEyePos3;
        pipe->next[N_STAGE_EYE] = _NEmptyStage;
        CommonPipeData& c = *pipe->pCommonPipeData;
        c.position = {data.data(), kWords * 4};
        c.stripVertexCount = kVertices;
    }
    ~Rig() {
        if (pctx != nullptr) N_DestroyContext(pctx);
    }
};

// The same work as one loop: each vertex transformed by K with truncated
// window coordinates and outcodes, and by M into eye space.
void PlainLoop(Rig& r) {
    N_Context* pctx = r.pctx;
    CommonPipeData& c = *r.pipe->pCommonPipeData;
    const float* K = pctx->xf.combined;
    const float* M = pctx->xf.pipeModelView;
    ULONG andOut = 63, orOut = 0;
    for (ULONG i = 0; i < kVertices; ++i) {
        const float* v = &r.data[std::size_t{i} * kWords];
        float* o = c.pClipPos + 4 * i;
        for (int k = 0; k < 4; ++k) o[k] = K[4 * k] * v[0] + K[4 * k + 1] * v[1] + K[4 * k + 2] * v[2] + K[4 * k + 3];
        const float s = o[3] == 0.0f ? 0.0f : 1.0f / o[3];
        for (int k = 0; k < 3; ++k) c.pWindow[3 * i + k] = _NWindowTrunc(o[k] * s);
        const ULONG out = _NClipOutcode(pctx, o);
        c.pOutcodes[i] = out;
        andOut &= out;
        orOut |= out;
        float* e = c.pEyePos + 4 * i;
        for (int k = 0; k < 4; ++k) e[k] = M[4 * k] * v[0] + M[4 * k + 1] * v[1] + M[4 * k + 2] * v[2] + M[4 * k + 3];
        const float ew = e[3] == 0.0f ? 0.0f : 1.0f / e[3];
        e[0] *= ew;
        e[1] *= ew;
        e[2] *= ew;
        e[3] = 1.0f;
    }
    c.andOutcode = andOut;
    c.orOutcode = orOut;
}

void BM_Transform(benchmark::State& state) {
    Rig r;
    if (r.pctx == nullptr) {
        state.SkipWithError("no lgi context");
        return;
    }
    bench::Beside how;
    how.batch = 16;
    how.itemsPerCall = kVertices;
    bench::run_beside(
        state, how,
        [&](std::int64_t) {
            r.pipe->next[N_STAGE_HEAD](r.pctx, r.pipe);
            benchmark::ClobberMemory();
        },
        [&](std::int64_t) {
            PlainLoop(r);
            benchmark::ClobberMemory();
        });
}
BENCHMARK(BM_Transform)->UseManualTime();

}  // namespace
