// Vertices a second of lit, smooth-shaded triangle strips through
// N_ExecPrimitive to the render stage: each strip arrives as the server's
// primitive batches hand it over (position, RGBA colour and normal arrays),
// and runs its pipe (validation check, attribute fetch, transform with
// outcodes, lighting by one directional light, colour conversion, facing
// runs) up to a render stage that only counts the vertices. Beside it,
// OSMesa's llvmpipe runs the same strips as GL 1.0 immediate-mode calls
// (Begin, Color, Normal, Vertex, End; lit through colour material) into a
// 1024x768 buffer, single-threaded, so the thread's CPU time is all of its
// work. The first reference includes rasterization, which the render stage
// here leaves to the board; the second culls every polygon
// (CullFace(FRONT_AND_BACK)), so llvmpipe does the calls, transform and
// lighting and draws nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "3d/context/context.h"
#include "3d/pipes/pipes.h"
#include "bench_util.h"
#include "mesa_rig.h"

#ifdef VNX_HAVE_OSMESA
#include <GL/osmesa.h>
#endif

namespace {

constexpr ULONG kStripVertices = 48;
constexpr ULONG kStrips = 21;  // 1,008 vertices a draw
constexpr ULONG kVertices = kStripVertices * kStrips;

// Strip s runs along y = 20 + 36 s, its vertices alternating 24 pixels
// apart in y and 20 apart in x; colours vary along the strip.
void Vertex(ULONG i, float* pos, float* rgba) {
    const ULONG s = i / kStripVertices, k = i % kStripVertices;
    pos[0] = static_cast<float>(20 + 20 * (k / 2));
    pos[1] = static_cast<float>(20 + 36 * s + 24 * (k % 2));
    pos[2] = 0.0f;
    pos[3] = 1.0f;
    rgba[0] = 0.5f;
    rgba[1] = 0.25f;
    rgba[2] = 0.125f + static_cast<float>(k) / 512.0f;
    rgba[3] = 1.0f;
}
constexpr float kNormal[3] = {0.0f, 0.6f, 0.8f};

ULONG gRendered = 0;
void CountRender(N_Context*, N_Pipe* pipe) { gRendered += pipe->pCommonPipeData->stripVertexCount; }
N_StageFn CountingSelector(N_Context*, N_Pipe* pipe) {
    pipe->pCommonPipeData->pDispatch->status = 2;
    return CountRender;
}

struct ExecRig {
    N_Context* pctx = nullptr;
    std::vector<float> pos, rgba, normal;
    ExecRig() {
        N_Init(nullptr, nullptr, 0, 0);
        pctx = N_CreateContext(0);
        if (pctx == nullptr) return;
        N_MakeCurrent(pctx);
        const ULONG rect[2] = {0, (767u << 16) | 1023u};
        N_BindClipList(1, rect);
        N_SetStateBlockAttrWord(N_ATTR_SHADE, 2);  // smooth
        N_SetStateBlockAttrWord(N_ATTR_LIGHTING, 1);
        N_Light light{};
        light.control = 0;
        light.diffuse[0] = light.diffuse[1] = light.diffuse[2] = light.diffuse[3] = 1.0f;
        light.ambient[3] = light.specular[3] = 1.0f;
        light.position[2] = 1.0f;  // directional, along +z
        light.spotCutoff = 180.0f;
        light.constantAttenuation = 1.0f;
        N_SetLights(1, &light);
        const ULONG on = 1;
        N_SetLightEnables(1, &on);
        // The colour tracks the ambient and diffuse materials.
        N_SetStateBlockAttrWord(N_ATTR_COLOUR_MATERIAL, 1);
        for (N_PrimDispatch& pd : pctx->prim) pd.pfnSelector = CountingSelector;
        _NValidate(pctx, pctx->dirty);
        // Object coordinates are window pixels (y down from 768), z at the
        // depth range's middle.
        const float K[16] = {1, 0, 0,          0,          0, -1, 0, 767.5f,
                             0, 0, 8388607.0f, 8388607.0f, 0, 0,  0, 1};
        std::memcpy(pctx->xf.combined, K, sizeof K);
        pctx->xf.combinedAffine = 0;
        const float b[6] = {0, 0, 0, 1023, 767, 16777215};
        std::memcpy(pctx->xf.boundsF, b, sizeof b);
        for (int i = 0; i < 6; ++i) pctx->xf.boundsI[i] = static_cast<LONG>(b[i]);
        N_ColourConversion& cv = pctx->val.colour;
        cv.scale[0] = 255.0f * 65536.0f;
        cv.scale[1] = 255.0f * 256.0f;
        cv.scale[2] = 255.0f;
        cv.channelMask[0] = 0xFF0000u;
        cv.channelMask[1] = 0xFF00u;
        cv.channelMask[2] = 0xFFu;
        cv.channelShift[2] = 0;
        cv.converter = N_CONVERT_RGBA;
        pctx->dirty = 0;
        pos.resize(4 * std::size_t{kVertices});
        rgba.resize(4 * std::size_t{kVertices});
        normal.resize(3 * std::size_t{kVertices});
        for (ULONG i = 0; i < kVertices; ++i) {
            Vertex(i, &pos[4 * std::size_t{i}], &rgba[4 * std::size_t{i}]);
            std::memcpy(&normal[3 * std::size_t{i}], kNormal, sizeof kNormal);
        }
    }
    ~ExecRig() {
        if (pctx != nullptr) N_DestroyContext(pctx);
    }
    void Draw() {
        for (ULONG s = 0; s < kStrips; ++s) {
            const std::size_t first = std::size_t{s} * kStripVertices;
            N_PrimDesc d{};
            d.kind = N_PRIM_TRI_STRIP;
            d.count = kStripVertices;
            d.format = N_VTX_POS4 | N_VTX_RGBA | N_VTX_NORMAL;
            d.andMask = d.format;
            d.pPosition = &pos[4 * first];
            d.positionStride = 16;
            d.pColor = &rgba[4 * first];
            d.colorStride = 16;
            d.pNormal = &normal[3 * first];
            d.normalStride = 12;
            N_ExecPrimitive(&d);
        }
    }
};

#ifdef VNX_HAVE_OSMESA
struct MesaRig : MesaLitContext {
    std::vector<float> pos = std::vector<float>(4 * std::size_t{kVertices}),
                       rgba = std::vector<float>(4 * std::size_t{kVertices});
    explicit MesaRig(bool bCullAll) : MesaLitContext(true) {
        if (ctx == nullptr) return;
        if (bCullAll) {
            glEnable(GL_CULL_FACE);
            glCullFace(GL_FRONT_AND_BACK);
        }
        for (ULONG i = 0; i < kVertices; ++i)
            Vertex(i, &pos[4 * std::size_t{i}], &rgba[4 * std::size_t{i}]);
    }
    void Draw() {
        for (ULONG s = 0; s < kStrips; ++s) {
            glBegin(GL_TRIANGLE_STRIP);
            for (ULONG k = 0; k < kStripVertices; ++k) {
                const std::size_t i = std::size_t{s} * kStripVertices + k;
                glColor4fv(&rgba[4 * i]);
                glNormal3fv(kNormal);
                glVertex3fv(&pos[4 * i]);
            }
            glEnd();
        }
        glFinish();
    }
};
#endif

void BM_ExecPrimitive_LitStrips(benchmark::State& state) {
#ifndef VNX_HAVE_OSMESA
    state.SkipWithError("OSMesa is not installed: no reference");
    return;
#else
    ExecRig exec;
    MesaRig mesa(state.range(0) != 0);
    if (exec.pctx == nullptr || mesa.ctx == nullptr) {
        state.SkipWithError("no lgi context or no OSMesa context");
        return;
    }
    gRendered = 0;
    exec.Draw();
    if (gRendered != kVertices) {
        state.SkipWithError("the strips did not reach the render stage whole");
        return;
    }
    bench::Beside how;
    how.batch = 8;
    how.itemsPerCall = kVertices;
    bench::run_beside(
        state, how, [&](std::int64_t) { exec.Draw(); }, [&](std::int64_t) { mesa.Draw(); });
#endif
}

// cull_ref 0: llvmpipe draws the strips; 1: it culls them all.
BENCHMARK(BM_ExecPrimitive_LitStrips)
    ->ArgName("cull_ref")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
