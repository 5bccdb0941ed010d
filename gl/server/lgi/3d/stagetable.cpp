// The stage table: one row per stage slot, saying what the slot is for and,
// for the stages installed once for the life of the layer, which function
// fills it. The per-primitive set-up rewrites the other slots before it
// links a pipe; a slot whose function is not built yet holds a stage that
// reports so and calls nothing.
#include <array>
#include <utility>

#include "passes.h"
#include "pipes.h"
#include "vstage.h"
#include "../seams.h"
#include "shared/swfrag.h"

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
    {N_STAGE_SW_TEXTURE, "software texture", nullptr, true},
    {N_STAGE_OUTPUT_ADVANCE, "output advance", _NStageOutputAdvance, true},
    {40, "attribute 5", nullptr, false},
    {41, "attribute 6", nullptr, false},
    {42, "attribute 7", nullptr, false},
    {43, "attribute 8", nullptr, false},
    {44, "attribute 9", nullptr, true},
    {45, "attribute 10", nullptr, false},
    {46, "attribute 11", nullptr, true},
    {47, "attribute 12", nullptr, true},
    {48, "attribute 13", nullptr, true},
    {49, "attribute 14", nullptr, true},
    {50, "attribute 15", nullptr, true},
    {51, "attribute 16", nullptr, true},
    {52, "attribute 17", nullptr, true},
    {53, "attribute 18", nullptr, true},
    {54, "attribute 19", nullptr, true},
    {55, "attribute 20", nullptr, true},
    {56, "attribute 21", nullptr, true},
    {57, "attribute 22", nullptr, true},
    {58, "attribute 23", nullptr, true},
    {59, "attribute 24", nullptr, true},
    {60, "attribute 25", nullptr, true},
    {61, "attribute 26", nullptr, true},
    {N_STAGE_POLYGON_RASTER, "polygon rasteriser", nullptr, false},
    {N_STAGE_SPAN_RASTER, "span rasteriser", nullptr, false},
    {N_STAGE_PIXEL_PATH, "pixel path", nullptr, false},
    {N_STAGE_READ_ALPHA_STENCIL, "read alpha and stencil", _NSpanFetchDstAlphaStencil, true},
    {N_STAGE_READ_COLOUR, "read depth", _NSpanFetchDstDepth, true},
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
    for (ULONG bit = 11; bit <= 26; ++bit) pTable[35 + bit] = _NAttrStage(bit, 0);
    pTable[N_STAGE_ATTR_SKIP16] = _NAttrStage(9, 0);
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
