// The stage table: one row per stage slot, saying what the slot is for and,
// for the stages installed once for the life of the layer, which function
// fills it. The per-primitive set-up rewrites the other slots before it
// links a pipe; a slot whose function is not built yet holds a stage that
// reports so and calls nothing.
#include <array>
#include <utility>

#include "3d/queue/passes.h"
#include "shared/software/swtexture.h"
#include "pipes.h"
#include "vstage.h"
#include "../../seams.h"
#include "shared/software/swfrag.h"

namespace {

struct StageRow {
    ULONG stage;
    const char* name;
    N_StageFn pfnFixed;  // installed at start-up; null: per primitive, or not built
    bool fixed;
};

// Every slot the pipes use. Fixed rows without a function are stages of the
// render paths that are not built yet.
constexpr StageRow kRows[] = {
    {N_STAGE_WRITE_BACK, "write-back", _NStageWriteBack, true},
    {N_STAGE_EDGE_GATHER, "edge-flag gather", _NStageEdgeGather, true},
    {N_STAGE_STEREO_HEAD, "stereo head", _NStageMonoToStereo, true},
    {N_STAGE_POSITION, "position", nullptr, false},
    {N_STAGE_EYE, "eye position", nullptr, false},
    {N_STAGE_LIGHT, "lighting", nullptr, false},
    {N_STAGE_ARRAY, "texture-coordinate transform", _NStageTexMatrix, true},
    {N_STAGE_FACING, "facing test", nullptr, false},
    {N_STAGE_VERTEX, "per-kind vertex stage", nullptr, false},
    {N_STAGE_STRIPS, "strip runner", nullptr, false},
    {N_STAGE_SELECT, "select", _NStageSelect, true},
    {N_STAGE_FOG, "fog", nullptr, false},
    {N_STAGE_FEEDBACK, "feedback", _NStageFeedback, true},
    {N_STAGE_STEREO_HALVES, "stereo halves", _NStageStereoHalves, true},
    {N_STAGE_RECTANGLES, "clip rectangles", _NStageClipRects, true},
    {N_STAGE_RENDER, "render", nullptr, false},
    {N_STAGE_STIPPLE_RESET, "line-stipple reset", _NLineStippleReset, true},
    {N_STAGE_WIDE_LINE, "wide-line spans", _NSpanWideLine, true},
    {N_STAGE_FLOAT_COLOUR, "float colour", nullptr, false},
    {N_STAGE_COLOUR_CONVERT, "colour conversion", nullptr, false},
    {N_STAGE_WHOLE_FETCH, "whole-primitive fetch", nullptr, false},
    {N_STAGE_CLIP_TEST, "clip test", _NStageClipTest, true},
    {N_STAGE_PROJECT, "projection", _NStageProject, true},
    {N_STAGE_TEXCOORD, "texture coordinates", _NStageTexCoords, true},
    {N_STAGE_COLOUR_MATERIAL, "colour material", nullptr, false},
    {N_STAGE_SW_TEXTURE, "software texture", _NSpanTexture, true},
    {N_STAGE_POLYGON_RASTER, "polygon rasteriser", nullptr, false},
    {N_STAGE_SPAN_RASTER, "span rasteriser", nullptr, false},
    {N_STAGE_PIXEL_PATH, "pixel path", nullptr, false},
    {N_STAGE_READ_ALPHA_STENCIL, "read alpha and stencil", _NSpanFetchDstAlphaStencil, true},
    {N_STAGE_READ_DEPTH, "read destination depth", _NSpanFetchDstDepth, true},
    {N_STAGE_SPAN_COLOUR, "span colour", nullptr, false},
    {N_STAGE_SPAN_FILL, "span fill", nullptr, false},
    {N_STAGE_ALPHA_TEST, "alpha test", nullptr, false},
    {N_STAGE_STENCIL_TEST, "stencil test", _NSpanStencilTest, true},
    {N_STAGE_STENCIL_UPDATE, "stencil update", _NSpanStencilUpdate, true},
    {N_STAGE_DEPTH_TEST, "depth test", nullptr, false},
    {N_STAGE_BLEND, "blend", _NSpanBlend, true},
    {N_STAGE_DITHER_PACK, "dither and pack", nullptr, false},
    {N_STAGE_LOGIC_OP, "logic operation", nullptr, false},
    {N_STAGE_WRITE_COLOUR, "write colour", nullptr, false},
    {N_STAGE_WRITE_STENCIL, "write stencil", nullptr, false},
    {N_STAGE_EMPTY, "empty", _NEmptyStage, true},
    {N_STAGE_END, "end", _NEmptyStage, true},
};

const StageRow* pRow(ULONG stage) {
    for (const StageRow& r : kRows)
        if (r.stage == stage) return &r;
    return nullptr;
}

template <ULONG k>
void vMissing(N_Context*, N_Pipe*) {
    DbgPrint("lgi stage %u (%s): not available yet\n", k, _NStageName(k));
}

template <std::size_t... K>
constexpr std::array<N_StageFn, N_STAGES> MissingTable(std::index_sequence<K...>) {
    return {vMissing<static_cast<ULONG>(K)>...};
}

constexpr std::array<N_StageFn, N_STAGES> kMissing = MissingTable(std::make_index_sequence<N_STAGES>{});

}  // namespace

const char* _NStageName(ULONG stage) {
    const StageRow* r = pRow(stage);
    return r != nullptr ? r->name : "unused";
}

N_StageFn _NStageMissing(ULONG stage) { return stage < N_STAGES ? kMissing[stage] : _NEmptyStage; }

void _NInitStageTable(void) {
    N_StageFn* pTable = gNArena.pStageTable;
    for (ULONG i = 0; i < N_STAGES; ++i) pTable[i] = _NEmptyStage;
    for (const StageRow& r : kRows) {
        if (r.pfnFixed != nullptr) pTable[r.stage] = r.pfnFixed;
        else pTable[r.stage] = _NStageMissing(r.stage);
    }
    // The edge buffer of primitives without per-vertex edge flags: every
    // edge is a boundary edge (flag 1), one 16-byte entry a vertex.
    ULONG* pEdge = gNArena.apClip16b[1];
    for (ULONG i = 0; i < 1026; ++i) pEdge[4 * i] = 1;
}

ULONG _NLinkPipe(N_Context*, N_Pipe* pipe, ULONG first, ULONG count, const ULONG* list) {
    if (count < 2) return count - 1;
    const N_StageFn* pTable = gNArena.pStageTable;
    for (ULONG i = first; i + 1 < count; ++i) pipe->next[list[i]] = pTable[list[i + 1]];
    return list[count - 1];
}
