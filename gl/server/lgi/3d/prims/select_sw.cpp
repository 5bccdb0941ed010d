// The software stages of the set-up: the raster stage of points and lines,
// the polygon, stipple, colour and pixel span stages, and the fragment
// stages by the state's alpha, depth and logic-operation codes. The
// choices are rows (kind, conditions) -> slot, as for the render functions.
#include <cstring>

#include "3d/context/arena.h"
#include "3d/queue/renderfcn.h"
#include "shared/software/swfrag.h"
#include "../../seams.h"

namespace {

enum : ULONG {
    kModePolyLine = 0x300000,
    kModeSmoothPoint = 0x8000000,    // bit 27
    kModeAttrLine = 0x8A | 0x400,    // blend inputs, wide or per-vertex lines, texture
};
constexpr ULONG kLogicOpCopy = 3;

constexpr ULONG K(ULONG a) { return N_KIND(a); }
constexpr ULONG K(ULONG a, ULONG b) { return N_KIND(a) | N_KIND(b); }
constexpr ULONG kLines = K(N_PRIM_LINE_STRIP, N_PRIM_LINES);
constexpr ULONG kPolygons = K(N_PRIM_POLYGON, N_PRIM_TRIANGLES) | K(N_PRIM_QUADS, N_PRIM_FAN) |
                            K(N_PRIM_TRI_STRIP, N_PRIM_QUAD_STRIP);

// Stage 25 of points and lines.
constexpr N_SelectRow kRasterRows[] = {
    {K(N_PRIM_POINTS), N_ANY, 0, N_SEL_SMOOTH_POINT, N_SW_POINT},
    {K(N_PRIM_POINTS), N_ANY, N_SEL_SMOOTH_POINT | N_SEL_INDEX, 0, N_SW_POINT_AA_INDEX},
    {K(N_PRIM_POINTS), N_ANY, N_SEL_SMOOTH_POINT, 0, N_SW_POINT_AA_RGBA},
    // Antialiased lines give every fragment its own coverage in its alpha.
    {kLines, N_ANY, N_SEL_AA_LINE, 0, N_SW_LINE_ATTR},
    {kLines, N_ANY, N_SEL_ATTR_LINE, 0, N_SW_LINE_ATTR},
    {kLines, N_ANY, N_SEL_DEPTH_LINE, 0, N_SW_LINE_DEPTH_STEPPED},
    {kLines, N_ANY, 0, 0, N_SW_LINE},
};

// Stage 63 of polygons.
constexpr N_SelectRow kPolygonRows[] = {
    {kPolygons, N_ANY, N_SEL_POLY_LINE | N_SEL_VERTEX_FORM, 0, N_SW_PGON_LINE_VERTEX},
    {kPolygons, N_ANY, N_SEL_POLY_LINE, 0, N_SW_PGON_LINE_PRIM},
    {K(N_PRIM_TRI_STRIP, N_PRIM_QUAD_STRIP), N_ANY, 0, 0, N_SW_PGON_STRIP},
    {K(N_PRIM_TRIANGLES), N_ANY, 0, 0, N_SW_PGON_TRIANGLES},
    {K(N_PRIM_QUADS), N_ANY, 0, 0, N_SW_PGON_QUADS},
    {K(N_PRIM_POLYGON, N_PRIM_FAN), N_ANY, 0, 0, N_SW_PGON_FAN},
};

void vStage(ULONG stage, N_StageFn pfn) { gNArena.pStageTable[stage] = pfn != nullptr ? pfn : _NStageMissing(stage); }
void vStageSlot(ULONG stage, ULONG slot) { vStage(stage, _NRenderFcn(slot)); }

template <std::size_t N>
ULONG ulChoose(const N_SelectRow (&rows)[N], ULONG code, ULONG conditions) {
    return _NSelectSlot(rows, N, code, 0, conditions);
}

// A function code of a family of n entries; another is reported and taken
// as 0.
ULONG ulFamilyCode(ULONG code, ULONG n, const char* pszFormat) {
    if (code < n) return code;
    DbgPrint(pszFormat, code);
    return 0;
}

}  // namespace

N_StageFn _NSwRasterStage(N_Context* pctx, N_Pipe* pipe, ULONG code) {
    if (code != N_PRIM_POINTS && code != N_PRIM_LINE_STRIP && code != N_PRIM_LINES) {
        _NProgrammerError();
        return _NEmptyStage;
    }
    const ULONG m = pipe->mode;
    ULONG conditions = 0;
    if (m & kModeSmoothPoint) conditions |= N_SEL_SMOOTH_POINT;
    if (*pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1) conditions |= N_SEL_INDEX;
    if ((m & kModeAttrLine) || (pipe->pCommonPipeData->format & 0xE0u)) conditions |= N_SEL_ATTR_LINE;
    if (m & KZ_EN_AA_LINES) conditions |= N_SEL_AA_LINE;
    if (m & N_MODE_DEPTH_TEST) conditions |= N_SEL_DEPTH_LINE;
    const N_StageFn pfn = _NRenderFcn(ulChoose(kRasterRows, code, conditions));
    if (code != N_PRIM_LINES) return pfn;
    // Separate lines go through the pair stage, which feeds the chosen one.
    pctx->pfnLineStage = pfn;
    return _NRenderFcn(N_SW_LINE_PAIRS);
}

void _NValLineSpanStages(N_Context*, N_Pipe*) {
    vStageSlot(N_STAGE_SPAN_FILL, N_SPAN_LINE_STIPPLE);
    // Point and line spans carry an x and a y a fragment.
    vStage(N_STAGE_WRITE_COLOUR, _NSpanWriteColorAlt);
    vStage(N_STAGE_WRITE_STENCIL, _NSpanWriteStencilAlt);
}

void _NValPixelSpanStages(N_Context*, N_Pipe* pipe) {
    if (pipe->mode & N_MODE_PIXEL_PATH) vStageSlot(N_STAGE_PIXEL_PATH, N_SPAN_PIXEL);
}

void _NValPgonSwStages(N_Context* pctx, N_Pipe* pipe, ULONG code) {
    if (code < N_PRIM_FIRST_DISPATCH) return _NValPixelSpanStages(pctx, pipe);
    if (code < N_PRIM_POLYGON) return _NValLineSpanStages(pctx, pipe);
    vStageSlot(N_STAGE_SPAN_FILL, N_SPAN_POLY_STIPPLE);
    vStageSlot(N_STAGE_SPAN_RASTER, N_SW_PGON_SPANS);
    // The rasteriser's spans are runs of adjacent pixels on one row; the
    // outlines of line mode go to the line stages, whose spans carry an x
    // and a y a fragment.
    const bool bLineMode = (pipe->mode & kModePolyLine) != 0;
    vStage(N_STAGE_WRITE_COLOUR, bLineMode ? _NSpanWriteColorAlt : _NSpanWriteColor);
    vStage(N_STAGE_WRITE_STENCIL, bLineMode ? _NSpanWriteStencilAlt : _NSpanWriteStencil);
    ULONG conditions = 0;
    if (bLineMode) conditions |= N_SEL_POLY_LINE;
    if (pipe->colourCopy != 0) conditions |= N_SEL_VERTEX_FORM;
    vStageSlot(N_STAGE_POLYGON_RASTER, ulChoose(kPolygonRows, code, conditions));
    vStageSlot(N_STAGE_SPAN_COLOUR, (pipe->pCommonPipeData->format & N_VTX_RGBA) ? N_SPAN_COLOUR_SMOOTH
                                                                                  : N_SPAN_COLOUR_FLAT);
}

void _NValPixelOps(N_Context* pctx, N_PrimDispatch* pd) {
    // Stages 8 and 9 (eye positions and lighting) are the pipes' own, set
    // from the context when they are linked.
    if (pd != nullptr) {
        vStage(N_STAGE_VERTEX, pd->pfnVertexStage);
        vStage(N_STAGE_FACING, pd->pfnFacingTest);
    }
    vStageSlot(N_STAGE_DITHER_PACK, N_SPAN_DITHER_PACK);
    vStageSlot(N_STAGE_FOG, *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1 ? N_SPAN_FOG_INDEX : N_SPAN_FOG_RGBA);
    const ULONG alpha = ulFamilyCode(pulAttr(pctx, N_ATTR_ALPHA_FUNC)[0], 8, "alpha test mode 0x%x is not supported\n");
    vStageSlot(N_STAGE_ALPHA_TEST, N_SPAN_ALPHA_TEST + alpha);
    const ULONG depth = ulFamilyCode(*pulAttr(pctx, N_ATTR_DEPTH_FUNC), 8, "depth test mode 0x%x is not supported\n");
    vStageSlot(N_STAGE_DEPTH_TEST, N_SPAN_DEPTH_TEST + depth);
    const ULONG op = *pulAttr(pctx, N_ATTR_LOGIC_OP) != 0 ? *pulAttr(pctx, N_ATTR_LOGIC_OP_CODE) : kLogicOpCopy;
    vStageSlot(N_STAGE_LOGIC_OP, N_SPAN_LOGIC_OP + ulFamilyCode(op, 19, "alu function 0x%x is not supported\n"));
}
