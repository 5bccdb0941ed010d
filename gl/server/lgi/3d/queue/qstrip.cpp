// Filled quad strips (kind 71) drawn by the triangle-strip fills
// (renderfcn.h): the quad runs become the triangle runs they hold, and with
// flat shading each quad's first triangle takes the quad's last vertex's
// colour record, as GL colours a flat quad.
#include <cstring>

#include "kz2/render/kzfill.h"
#include "kz2/render/kztritex.h"
#include "renderfcn.h"
#include "shared/frame/hwframe.h"

namespace {

ULONG gaTriangleRuns[N_FACE_RUN_WORDS];  // no allocation while drawing

template <N_StageFn pfnStrip>
void vQuadStrips(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.code != N_PRIM_QUAD_STRIP || c.pFaceRuns == nullptr) return pfnStrip(pctx, pipe);
    const bool bFlat = pipe->colourCopy != 0 && c.pHwVertices != nullptr;
    ULONG i = 0, rec = 0;  // the run, its first colour record
    for (; i + 1 < N_FACE_RUN_WORDS; ++i) {
        const ULONG w = c.pFaceRuns[i], code = w & 0xFFFFu, quads = w >> 16;
        if (quads == 0) break;
        gaTriangleRuns[i] = N_FACE_RUN(code, 2 * quads);
        // Only drawn runs have their records filled.
        for (ULONG q = 0; bFlat && code != N_RUN_SKIP && q < quads; ++q) {
            const ULONG to = rec + 2 * q + 2, from = to + 1;
            if (from >= N_COLOUR_ENTRIES) break;
            std::memcpy(c.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{to},
                        c.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{from}, N_COLOUR_RECORD_WORDS * sizeof(ULONG));
        }
        rec += 2 * quads + 2;
    }
    gaTriangleRuns[i] = 0;
    ULONG* pQuadRuns = c.pFaceRuns;
    c.pFaceRuns = gaTriangleRuns;
    c.code = N_PRIM_TRI_STRIP;
    pfnStrip(pctx, pipe);
    c.code = N_PRIM_QUAD_STRIP;
    c.pFaceRuns = pQuadRuns;
}

}  // namespace

void _NvpRenderQStripFillAttr12KZ(N_Context* pctx, N_Pipe* pipe) {
    vQuadStrips<_NvpRenderXTStripListFillAttr12KZ>(pctx, pipe);
}
void _NvpRenderQStripFillDepthKZ(N_Context* pctx, N_Pipe* pipe) {
    vQuadStrips<_NvpRenderXTStripListFillDepthKZ>(pctx, pipe);
}
void _NvpRenderQStripFillKZ(N_Context* pctx, N_Pipe* pipe) { vQuadStrips<_NvpRenderXTStripListFillKZ>(pctx, pipe); }
void _NvpRenderQStripTriTex(N_Context* pctx, N_Pipe* pipe) { vQuadStrips<_NvpRenderTriTex>(pctx, pipe); }
void _NvpRenderQStripTriTexOpt(N_Context* pctx, N_Pipe* pipe) { vQuadStrips<_NvpRenderTriTexOpt>(pctx, pipe); }
