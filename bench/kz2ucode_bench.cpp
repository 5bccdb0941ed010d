// Render programs built a second for a state mix that changes on every
// build (depth function, blend factors, stencil, alpha test, write mask,
// dither, layout code), beside the derivation of the same state's enable
// flags from the state block written as a plain function: the part of the
// state validation every such change runs (the validation itself is not in
// this tree, so its enable-flag step stands as the reference). A program is
// built only when kind, format or state change; the ratio says how many
// such derivations one build costs.
#include <benchmark/benchmark.h>

#include <bit>
#include <vector>

#include "3d/context/context.h"
#include "bench_util.h"
#include "context/buffers.h"
#include "context/image.h"
#include "glpdev.h"
#include "kz2/ucode/kz2ucode.h"

namespace {

struct Surface {
    GLDeviceRecord rec{};
    GLBuffer buf{};
    explicit Surface(ULONG pid, ULONG bpp = 32) {
        rec.pid = pid;
        buf.pDeviceRecord = &rec;
        buf.memoryKind = GLBUFFER_MEMORY_DEVICE;
        buf.bitsPerPixel = bpp;
        buf.hsurf = reinterpret_cast<HSURF>(1);
    }
};

Surface gTmp32(0x2003);

}  // namespace

// The GL server core's scratch surfaces: the benchmark hands the context its
// scratch pixmap and answers the temporary surface itself.
GLBuffer* _DCreateScratchPixmap(PDEV*) { return nullptr; }
GLBuffer* _DGetTmp32DevSurf(GLBuffer*) { return &gTmp32.buf; }
void _DFreeScratchPixmap(GLBuffer** ppb) { *ppb = nullptr; }

namespace {

struct Rig {
    N_Context* pctx = nullptr;
    std::vector<BYTE> pdev;
    PAGECONFIG pc{};
    GLSRVDEVICE device{};
    Surface colour{0x1234, 16}, alpha{0x2222, 8}, depth{0x4425}, stencil{0x5526, 8}, scratch{0x41};
    kzRenderProg prog{};
    Rig() {
        N_Init(nullptr, nullptr, 0, 0);
        pctx = N_CreateContext(0);
        if (pctx == nullptr) return;
        N_MakeCurrent(pctx);
        ULONG cjMax = 0;
        for (ULONG cj : {gGLPdevFields.cjPageConfig, gGLPdevFields.cjBoardConfig, gGLPdevFields.cjScreenSize,
                         gGLPdevFields.cjSwapState})
            cjMax = cj > cjMax ? cj : cjMax;
        pdev.assign(cjMax + 1024, 0);
        auto* ppdev = reinterpret_cast<PDEV*>(pdev.data());
        *pGLPdevField<PAGECONFIG*>(ppdev, gGLPdevFields.cjPageConfig) = &pc;
        device.ppdev = ppdev;
        pctx->pHw->pDevice = &device;
        pctx->apScratchPixmap[0] = &scratch.buf;
        pctx->buffers[0].pBuffer = &colour.buf;
        pctx->buffers[2].pBuffer = &alpha.buf;
        pctx->buffers[4].pBuffer = &depth.buf;
        pctx->buffers[5].pBuffer = &stencil.buf;
        pulAttr(pctx, 163)[0] = 1;
        const ULONG rect[2] = {0, (767u << 16) | 1023u};
        N_BindClipList(1, rect);
    }
    ~Rig() {
        if (pctx == nullptr) return;
        pctx->apScratchPixmap[0] = nullptr;
        for (auto& slot : pctx->buffers) slot.pBuffer = nullptr;
        N_DestroyContext(pctx);
    }
    // State number i of the mix.
    void Set(std::int64_t i) {
        const auto k = static_cast<ULONG>(i);
        ULONG en = 0x10;  // depth test
        if (k & 1) en |= 0x2000;      // blend
        if (k & 2) en |= 0x800;       // stencil
        if (k & 4) en |= 0x4000;      // alpha test
        if ((k & 24) == 8) en |= 0x400000;  // write mask
        if ((k & 24) == 16) en |= 0x8;      // alpha buffer
        pctx->enableWord = en;
        ULONG* a = pulAttr(pctx, 119);
        a[0] = (k >> 5) & 7;  // depth function
        pulAttr(pctx, 121)[0] = (k >> 3) % 9;
        pulAttr(pctx, 121)[1] = (k >> 2) % 8 < 2 ? (k >> 2) % 8 : (k >> 2) % 8 + 2;
        pulAttr(pctx, 122)[0] = (k >> 4) & 1;
        pulAttr(pctx, 114)[0] = (k >> 1) & 7;
        pulAttr(pctx, 114)[2] = 0xFF;
        pulAttr(pctx, 115)[0] = (k >> 6) % 6;
        pulAttr(pctx, 117)[0] = (k >> 2) & 7;
        pulAttr(pctx, 127)[0] = 0x7F007F;
    }
};

// The enable-flag word of the state block's fragment attributes, as the
// validation derives it: the reference.
ULONG ulEnableFlags(N_Context* pctx) {
    auto at = [&](ULONG id, ULONG i = 0) { return pulAttr(pctx, id)[i]; };
    const GLBuffer* D = pctx->buffers[0].pBuffer;
    const GLBuffer* A = pctx->buffers[2].pBuffer;
    const GLBuffer* Z = pctx->buffers[4].pBuffer;
    const GLBuffer* S = pctx->buffers[5].pBuffer;
    const bool ci = at(83) == 1;
    ULONG fl = 0;
    if (D != nullptr && at(35) == 0) fl |= 0x1;
    if ((fl & 1) && at(105)) fl |= 0x2;
    if (D != nullptr && D->memoryKind == 1) fl |= 0x4;
    if (A != nullptr) fl |= 0x8;
    if (Z != nullptr && at(118) == 2) fl |= 0x10;
    if (at(35) == 0 && (at(120) || at(116))) fl |= 0x80;
    if (S != nullptr && at(113)) fl |= 0x800;
    if (at(120) && !ci) fl |= 0x2000;
    if (at(116)) fl |= 0x4000;
    const ULONG full = D == nullptr ? 0xFFFFFF : D->bitsPerPixel >= 24 ? 0xFFFFFF : D->bitsPerPixel == 16 ? 0x7F7F7F : 0xFFFF7F;
    if ((fl & 1) && (at(127) & full) != full) fl |= 0x400000;
    if (at(129) == 0 && (fl & 0x10)) fl |= 0x800000;
    if (at(128) == 0 && (fl & 0x8)) fl |= 0x1000000;
    if (at(130) == 0 && (fl & 0x800)) fl |= 0x2000000;
    if (at(87) != 0xFFFFFFFF) fl |= 0x4000000;
    if (at(123) && at(124) != 3) fl |= 0x40000000;
    return fl;
}

void BM_BuildRenderProgram(benchmark::State& state) {
    Rig rig;
    if (rig.pctx == nullptr) {
        state.SkipWithError("no context");
        return;
    }
    ULONG sink = 0;
    bench::run_beside(
        state, bench::Beside{},
        [&](std::int64_t i) {
            rig.Set(i);
            sink += kz2_ConstructKzUcode(rig.pctx->pHw, &rig.prog, 0xC005, 0, (i & 1) ? 3 : 2, 0);
        },
        [&](std::int64_t i) {
            rig.Set(i);
            sink += ulEnableFlags(rig.pctx);
        });
    benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_BuildRenderProgram)->UseManualTime();

}  // namespace
