// The render-function slots: one row per slot with its function's name and
// the function, null while the render path is not built (the slot then
// holds a stage that says so and draws nothing).
#include "renderfcn.h"

#include <array>
#include <utility>

#include "3d/context/arena.h"
#include "kz2/ucode/kz2ucode.h"
#include "kz2/render/kzfill.h"
#include "kz2/render/kzline.h"
#include "kz2/render/kzoutline.h"
#include "kz2/render/kzpoint.h"
#include "kz2/render/kztritex.h"
#include "shared/software/swfrag.h"
#include "shared/software/swpoint.h"
#include "shared/software/swprim.h"
#include "shared/software/swspan.h"
#include "../../seams.h"

N_BuildProgramFn gpfnNBuildProgram = kz2_ConstructKzUcode;

namespace {

// The entry of a line table without a function for the layout.
void vRenderError(N_Context*, N_Pipe*) {
    DbgPrint("_NValPLinePipeRenderFcn: PROGRAMMER ERROR!\n");
    _NProgrammerError();
}

struct SlotRow {
    ULONG slot;
    const char* name;
    N_StageFn pfn;  // null: not built yet
};

constexpr SlotRow kSlots[] = {
    {N_RF_NONE, "none", nullptr},
    {N_RF_NOOP, "_NvpRenderPointEmptyKZG", _NvpRenderPointEmptyKZG},
    {N_RF_ERROR, "_NvpRenderError", vRenderError},
    {N_RF_POINT_2, "_NvpRenderPointAttr2_5KZG", _NvpRenderPointAttr2_5KZG},
    {N_RF_POINT_3, "_NvpRenderPointAttr3_6KZG", _NvpRenderPointAttr3_6KZG},
    {N_RF_POINT_8, "_NvpRenderPointAttr8KZG", _NvpRenderPointAttr8KZG},
    {N_RF_POINT_9, "_NvpRenderPointAttr9KZG", _NvpRenderPointAttr9KZG},
    {N_RF_POINT_12, "_NvpRenderPointAttr12_15KZG", _NvpRenderPointAttr12_15KZG},
    {N_RF_POINT_13, "_NvpRenderPointAttr13_16KZG", _NvpRenderPointAttr13_16KZG},
    {N_RF_POINT_18, "_NvpRenderPointAttr18KZG", _NvpRenderPointAttr18KZG},
    {N_RF_POINT_19, "_NvpRenderPointAttr19KZG", _NvpRenderPointAttr19KZG},
    {N_RF_WIDE_POINT, "_NvpRenderWidePointKZG", _NvpRenderWidePointKZG},
    {N_RF_STRIP_LIST_2, "_NvpRenderPLListAttr2KZG", _NvpRenderPLListAttr2KZG},
    {N_RF_STRIP_LIST_5, "_NvpRenderPLListAttr5KZG", _NvpRenderPLListAttr5KZG},
    {N_RF_STRIP_LIST_8, "_NvpRenderPLListAttr8KZG", _NvpRenderPLListAttr8KZG},
    {N_RF_STRIP_LIST_12, "_NvpRenderPLListAttr12KZG", _NvpRenderPLListAttr12KZG},
    {N_RF_STRIP_LIST_15, "_NvpRenderPLListAttr15KZG", _NvpRenderPLListAttr15KZG},
    {N_RF_STRIP_LIST_18, "_NvpRenderPLListAttr18KZG", _NvpRenderPLListAttr18KZG},
    {N_RF_POLYLINE_LIST, "_NvpRenderPLListGenKZ", _NvpRenderPLListGenKZ},
    {N_RF_AA_STRIP_ONE_QUEUE, "_NvpRenderAAPLListChooseKZG", _NvpRenderAAPLListChooseKZG},
    {N_RF_AA_STRIP_QUEUES, "_NvpRenderAAPLListChooseKZG", _NvpRenderAAPLListChooseKZG},
    {N_RF_ALPHA_STRIP_ONE_QUEUE, "_NvpRenderPLListAttr9ChooseKZG", _NvpRenderPLListAttr9ChooseKZG},
    {N_RF_ALPHA_STRIP_QUEUES, "_NvpRenderPLListAttr9ChooseKZG", _NvpRenderPLListAttr9ChooseKZG},
    {N_RF_LINE_2, "_NvpRenderLineAttr2KZG", _NvpRenderLineAttr2KZG},
    {N_RF_LINE_5, "_NvpRenderLineAttr5KZG", _NvpRenderLineAttr5KZG},
    {N_RF_LINE_8, "_NvpRenderLineAttr8KZG", _NvpRenderLineAttr8KZG},
    {N_RF_LINE_12, "_NvpRenderLineAttr12KZG", _NvpRenderLineAttr12KZG},
    {N_RF_LINE_15, "_NvpRenderLineAttr15KZG", _NvpRenderLineAttr15KZG},
    {N_RF_LINE_18, "_NvpRenderLineAttr18KZG", _NvpRenderLineAttr18KZG},
    {N_RF_WIDE_LINE_2, "_NvpRenderPLineAttr2_3KZG", _NvpRenderPLineAttr2_3KZG},
    {N_RF_WIDE_LINE_5, "_NvpRenderPLineAttr5_6KZG", _NvpRenderPLineAttr5_6KZG},
    {N_RF_WIDE_LINE_8, "_NvpRenderPLineGenKZG", _NvpRenderPLineGenKZG},
    {N_RF_WIDE_LINE_12, "_NvpRenderPLineAttr12_13KZG", _NvpRenderPLineAttr12_13KZG},
    {N_RF_WIDE_LINE_15, "_NvpRenderPLineAttr15_16KZG", _NvpRenderPLineAttr15_16KZG},
    {N_RF_WIDE_LINE_18, "_NvpRenderPLineAttr18_19KZG", _NvpRenderPLineAttr18_19KZG},
    {N_RF_ALPHA_LINE_9, "_NvpRenderPLineAttr9KZG", _NvpRenderPLineAttr9KZG},
    {N_RF_AA_LINE, "_NvpRenderAALineGenKZG", _NvpRenderAALineGenKZG},
    {N_RF_AA_LINE_8, "_NvpRenderAALineAttr8KZG", _NvpRenderAALineAttr8KZG},
    {N_RF_AA_LINE_2, "_NvpRenderAALineAttr2KZG", _NvpRenderAALineAttr2KZG},
    {N_RF_OUTLINE_FAN, "_NvpRenderXPgonLineKZG", _NvpRenderXPgonLineKZG},
    {N_RF_OUTLINE_TRIANGLES, "_NvpRenderXTListLineKZG", _NvpRenderXTListLineKZG},
    {N_RF_OUTLINE_QUADS, "_NvpRenderXQListLineKZG", _NvpRenderXQListLineKZG},
    {N_RF_OUTLINE_STRIP, "_NvpRenderXTStripLineKZG", _NvpRenderXTStripLineKZG},
    {N_RF_OUTLINE_QUAD_STRIP, "_NvpRenderXQStripLineKZG", _NvpRenderXQStripLineKZG},
    {N_RF_VERTEX_POINTS, "_NvpRenderXPGonPointKZG", _NvpRenderXPGonPointKZG},
    {N_RF_STRIP_VERTEX_POINTS, "_NvpRenderXStripPointKZG", _NvpRenderXStripPointKZG},
    {N_RF_TRI_TEX, "_NvpRenderTriTex", _NvpRenderTriTex},
    {N_RF_TRI_TEX_OPT, "_NvpRenderTriTexOpt", _NvpRenderTriTexOpt},
    {N_RF_FILL_12, "_NvpRenderXListFillAttr12KZG", _NvpRenderXListFillAttr12KZG},
    {N_RF_STRIP_FILL_12, "_NvpRenderXTStripListFillAttr12KZ", _NvpRenderXTStripListFillAttr12KZ},
    {N_RF_POLYGON_FILL, "_NvpRenderXPgonFillKZG", _NvpRenderXPgonFillKZG},
    {N_RF_TRIANGLE_FILL, "_NvpRenderXTListFillKZG", _NvpRenderXTListFillKZG},
    {N_RF_QUAD_FILL, "_NvpRenderXQListFillKZG", _NvpRenderXQListFillKZG},
    {N_RF_STRIP_FILL_DEPTH, "_NvpRenderXTStripListFillDepthKZ", _NvpRenderXTStripListFillDepthKZ},
    {N_RF_STRIP_FILL, "_NvpRenderXTStripListFillKZ", _NvpRenderXTStripListFillKZ},
    {N_RF_QSTRIP_FILL_12, "_NvpRenderQStripFillAttr12KZ", _NvpRenderQStripFillAttr12KZ},
    {N_RF_QSTRIP_FILL_DEPTH, "_NvpRenderQStripFillDepthKZ", _NvpRenderQStripFillDepthKZ},
    {N_RF_QSTRIP_FILL, "_NvpRenderQStripFillKZ", _NvpRenderQStripFillKZ},
    {N_RF_QSTRIP_TRI_TEX, "_NvpRenderQStripTriTex", _NvpRenderQStripTriTex},
    {N_RF_QSTRIP_TRI_TEX_OPT, "_NvpRenderQStripTriTexOpt", _NvpRenderQStripTriTexOpt},
    {N_SW_EMPTY, "_NEmptyStage", _NEmptyStage},
    {N_SW_POINT, "_NSwRenderSquarePoints", _NSwRenderSquarePoints},
    {N_SW_POINT_AA_INDEX, "_NSwRenderPointsIndex", _NSwRenderPointsIndex},
    {N_SW_POINT_AA_RGBA, "_NSwRenderPoints", _NSwRenderPoints},
    {N_SW_LINE, "_NSwRenderLine", _NSwRenderLine},
    {N_SW_LINE_DEPTH_STEPPED, "_NSwRenderLineStrips", _NSwRenderLineStrips},
    {N_SW_LINE_ATTR, "_NSwRenderLineAttr", _NSwRenderLineAttr},
    {N_SW_LINE_PAIRS, "_NSwRenderLinePairs", _NSwRenderLinePairs},
    {N_SW_PGON_LINE_PRIM, "_NSwRenderPgonLines", _NSwRenderPgonLines},
    {N_SW_PGON_LINE_VERTEX, "_NSwRenderPgonLinesFlat", _NSwRenderPgonLinesFlat},
    {N_SW_PGON_STRIP, "_NSwRenderXTStrip", _NSwRenderXTStrip},
    {N_SW_PGON_TRIANGLES, "_NSwRenderXTList", _NSwRenderXTList},
    {N_SW_PGON_QUADS, "_NSwRenderXQList", _NSwRenderXQList},
    {N_SW_PGON_FAN, "_NSwRenderXPgon", _NSwRenderXPgon},
    {N_SW_PGON_SPANS, "_NSwRasterPgonSpans", _NSwRasterPgonSpans},
    {N_SPAN_POLY_STIPPLE, "_NSpanPolygonStipple", _NSpanPolygonStipple},
    {N_SPAN_LINE_STIPPLE, "_NSpanLineStipple", _NSpanLineStipple},
    {N_SPAN_COLOUR_FLAT, "_NSpanColorFlat", _NSpanColorFlat},
    {N_SPAN_COLOUR_SMOOTH, "_NSpanColorSmooth", _NSpanColorSmooth},
    {N_SPAN_PIXEL, "_NSpanPixel", nullptr},
    {N_SPAN_DITHER_PACK, "_NSpanDitherPack", _NSpanDitherPack},
    {N_SPAN_FOG_INDEX, "_NSpanFogCI", nullptr},
    {N_SPAN_FOG_RGBA, "_NSpanFogRGBA", _NStageFogRGBA},
    {N_SPAN_ALPHA_TEST + 0, "_NSpanAlphaTestNever", _NSpanAlphaTestNever},
    {N_SPAN_ALPHA_TEST + 1, "_NSpanAlphaTestLess", _NSpanAlphaTestLess},
    {N_SPAN_ALPHA_TEST + 2, "_NSpanAlphaTestEqual", _NSpanAlphaTestEqual},
    {N_SPAN_ALPHA_TEST + 3, "_NSpanAlphaTestLequal", _NSpanAlphaTestLequal},
    {N_SPAN_ALPHA_TEST + 4, "_NSpanAlphaTestGreater", _NSpanAlphaTestGreater},
    {N_SPAN_ALPHA_TEST + 5, "_NSpanAlphaTestNotequal", _NSpanAlphaTestNotequal},
    {N_SPAN_ALPHA_TEST + 6, "_NSpanAlphaTestGequal", _NSpanAlphaTestGequal},
    {N_SPAN_ALPHA_TEST + 7, "_NSpanAlphaTestAlways", _NSpanAlphaTestAlways},
    {N_SPAN_DEPTH_TEST + 0, "_NSpanDepthTestNever", _NSpanDepthTestNever},
    {N_SPAN_DEPTH_TEST + 1, "_NSpanDepthTestLess", _NSpanDepthTestLess},
    {N_SPAN_DEPTH_TEST + 2, "_NSpanDepthTestEqual", _NSpanDepthTestEqual},
    {N_SPAN_DEPTH_TEST + 3, "_NSpanDepthTestLequal", _NSpanDepthTestLequal},
    {N_SPAN_DEPTH_TEST + 4, "_NSpanDepthTestGreater", _NSpanDepthTestGreater},
    {N_SPAN_DEPTH_TEST + 5, "_NSpanDepthTestNotequal", _NSpanDepthTestNotequal},
    {N_SPAN_DEPTH_TEST + 6, "_NSpanDepthTestGequal", _NSpanDepthTestGequal},
    {N_SPAN_DEPTH_TEST + 7, "_NSpanDepthTestAlways", _NSpanDepthTestAlways},
    {N_SPAN_LOGIC_OP + 0, "_NSpanLogicOpClear", _NSpanLogicOp<0>},
    {N_SPAN_LOGIC_OP + 1, "_NSpanLogicOpAnd", _NSpanLogicOp<1>},
    {N_SPAN_LOGIC_OP + 2, "_NSpanLogicOpAndReverse", _NSpanLogicOp<2>},
    {N_SPAN_LOGIC_OP + 3, "_NSpanLogicOpCopy", _NSpanLogicOp<3>},
    {N_SPAN_LOGIC_OP + 4, "_NSpanLogicOpAndInverted", _NSpanLogicOp<4>},
    {N_SPAN_LOGIC_OP + 5, "_NSpanLogicOpNoop", _NSpanLogicOp<5>},
    {N_SPAN_LOGIC_OP + 6, "_NSpanLogicOpXor", _NSpanLogicOp<6>},
    {N_SPAN_LOGIC_OP + 7, "_NSpanLogicOpOr", _NSpanLogicOp<7>},
    {N_SPAN_LOGIC_OP + 8, "_NSpanLogicOpNor", _NSpanLogicOp<8>},
    {N_SPAN_LOGIC_OP + 9, "_NSpanLogicOpEquiv", _NSpanLogicOp<9>},
    {N_SPAN_LOGIC_OP + 10, "_NSpanLogicOpInvert", _NSpanLogicOp<10>},
    {N_SPAN_LOGIC_OP + 11, "_NSpanLogicOpOrReverse", _NSpanLogicOp<11>},
    {N_SPAN_LOGIC_OP + 12, "_NSpanLogicOpCopyInverted", _NSpanLogicOp<12>},
    {N_SPAN_LOGIC_OP + 13, "_NSpanLogicOpOrInverted", _NSpanLogicOp<13>},
    {N_SPAN_LOGIC_OP + 14, "_NSpanLogicOpNand", _NSpanLogicOp<14>},
    {N_SPAN_LOGIC_OP + 15, "_NSpanLogicOpSet", _NSpanLogicOp<15>},
    {N_SPAN_LOGIC_OP + 16, "_NSpanALUSum", _NSpanLogicOp<16>},
    {N_SPAN_LOGIC_OP + 17, "_NSpanALUDifference", _NSpanLogicOp<17>},
    {N_SPAN_LOGIC_OP + 18, "_NSpanALUReverseDifference", _NSpanLogicOp<18>},
};
static_assert(std::size(kSlots) == N_RF_COUNT, "one row per slot");

constexpr bool bSlotsInOrder() {
    for (ULONG i = 0; i < N_RF_COUNT; ++i)
        if (kSlots[i].slot != i) return false;
    return true;
}
static_assert(bSlotsInOrder(), "rows in slot order");

template <ULONG k>
void vMissing(N_Context*, N_Pipe*) {
    DbgPrint("%s: not available yet\n", kSlots[k].name);
}

template <std::size_t... K>
constexpr std::array<N_StageFn, N_RF_COUNT> MissingTable(std::index_sequence<K...>) {
    return {vMissing<static_cast<ULONG>(K)>...};
}
constexpr std::array<N_StageFn, N_RF_COUNT> kMissing = MissingTable(std::make_index_sequence<N_RF_COUNT>{});

}  // namespace

N_StageFn _NRenderFcn(ULONG slot) {
    if (slot == N_RF_NONE || slot >= N_RF_COUNT) return nullptr;
    return kSlots[slot].pfn != nullptr ? kSlots[slot].pfn : kMissing[slot];
}

const char* _NRenderFcnName(ULONG slot) { return slot < N_RF_COUNT ? kSlots[slot].name : "unknown"; }

ULONG _NSelectSlot(const N_SelectRow* rows, std::size_t cRows, ULONG kind, ULONG layout, ULONG conditions) {
    const ULONG kindBit = (kind >= N_PRIM_FIRST_DISPATCH && kind < N_PRIM_FIRST_DISPATCH + 32) ? N_KIND(kind) : 0;
    const ULONG layoutBit = layout < 32 ? N_LAYOUT(layout) : 0;
    for (std::size_t i = 0; i < cRows; ++i) {
        const N_SelectRow& r = rows[i];
        if ((r.kinds & kindBit) && (r.layouts & layoutBit) && (conditions & r.set) == r.set &&
            (conditions & r.clear) == 0)
            return r.slot;
    }
    return N_RF_NONE;
}
