// Render-function selection for points, lines and polygons: each selector
// refuses the states the board cannot draw, asks the micro-code generator
// for a render program of the layout it needs, and picks the render
// function from its table of rows by the built program's layout code. The
// dispatch record's status tells the pipe set-up which path draws: 2 the
// render function, -7 the software stages.
#include <cstring>
#include <iterator>

#include "lgigl.h"
#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzprog.h"
#include "kzuinstr.h"
#include "3d/pixels/pixelpath.h"
#include "3d/queue/queue.h"
#include "3d/queue/renderfcn.h"
#include "shared/frame/hwframe.h"
#include "shared/software/swfrag.h"
#include "../../seams.h"

namespace {

// Program slots of the hardware record.
enum : ULONG { kSlotStandard = 0, kSlotBack = 1, kSlotFrontTex = 2, kSlotBackTex = 3 };

// Requests and flags of the generator.
constexpr ULONG kFlagsPlain = 0x8000, kFlagsWidePoint = 0x8006, kFlagsThin = 0xC001, kFlagsWide = 0xC002,
                kFlagsFill = 0xC005, kFlagsAAOutline = 0x3C003, kFlagsLine = 0xC000, kFlagsStipple = 0x100,
                kFlagsLineAlways = 0x10, kFlags2Stipple = 0x6000000;

constexpr ULONG kFullPattern = 0xFFFFFFFFu, kKeptPattern = 0x1C7F1C7Fu;

ULONG ulAttr(N_Context* pctx, ULONG id) { return *pulAttr(pctx, id); }
float fAttrWord(N_Context* pctx, ULONG id, ULONG i = 0) {
    float f;
    std::memcpy(&f, pulAttr(pctx, id) + i, 4);
    return f;
}
float fCurrentAlpha(N_Context* pctx) { return fAttrWord(pctx, N_ATTR_COLOUR, 3); }
bool bCI(N_Context* pctx) { return ulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1; }

// Blending with other factors than (ONE, ZERO).
bool bBlends(N_Context* pctx) {
    const ULONG* f = pulAttr(pctx, N_ATTR_BLEND_FUNC);
    return (pctx->enableWord & KZ_EN_BLEND) && !(f[0] == 1 && f[1] == 0);
}
// Blending into an alpha buffer: the blend weighs the alpha buffer by the
// fragment's alpha and writes the blended alpha back, whatever the factors
// (ONE, ZERO included), so the program reads the fragment's alpha from the
// layout even where the colour carries none (an alpha of 1).
bool bBlendsAlphaBuffer(N_Context* pctx) {
    return (pctx->enableWord & (KZ_EN_BLEND | KZ_EN_ALPHA_BUFFER)) == (KZ_EN_BLEND | KZ_EN_ALPHA_BUFFER) && !bCI(pctx);
}
// Blending into an alpha buffer at 8 bits a pixel, which the board's
// blend programs do not draw as GL does: the software stages draw it.
bool bSoftwareAlphaBlend(N_Context* pctx) {
    const GLBuffer* pb = _NDrawBuffer(pctx);
    return bBlendsAlphaBuffer(pctx) && pb != nullptr && pb->bitsPerPixel <= 8;
}
// Stencil or alpha buffers in host memory, which the board cannot reach.
bool bHostBuffers(N_Context* pctx) {
    const ULONG en = pctx->enableWord;
    return (en & (KZ_EN_STENCIL | KZ_EN_STENCIL_HOST)) == (KZ_EN_STENCIL | KZ_EN_STENCIL_HOST) ||
           (en & (KZ_EN_ALPHA_BUFFER | 0x80 | KZ_EN_ALPHA_HOST)) == (KZ_EN_ALPHA_BUFFER | 0x80 | KZ_EN_ALPHA_HOST);
}

// Writes the dispatch record's status and answers the slot's function.
N_StageFn Answer(N_Pipe* pipe, LONG status, ULONG slot = N_RF_NONE) {
    if (status == 2 && slot == N_RF_NONE) status = -7;  // a layout code no table knows
    pipe->pCommonPipeData->pDispatch->status = status;
    return status == 2 ? _NRenderFcn(slot) : nullptr;
}
N_StageFn Software(N_Pipe* pipe) { return Answer(pipe, -7); }

// Whether the bound texture clamps s or t (wrap code 1); a one-dimensional
// texture has only its s wrap.
bool bClampedTexture(N_Context* pctx) {
    if (pctx->boundTex.target == 0) return ulAttr(pctx, N_ATTR_WRAP_S) != 0;
    return ulAttr(pctx, N_ATTR_WRAP_S1) != 0 || ulAttr(pctx, N_ATTR_WRAP_T1) != 0;
}
kzRenderProg* Program(N_Context* pctx, ULONG slot) { return pkzProgOf(pctx->pHw->programs[slot]); }

// Builds into a program slot; answers the built layout code, or -1.
LONG lBuild(N_Context* pctx, ULONG slot, ULONG flags, ULONG flags2, ULONG request, ULONG pass) {
    kzRenderProg* prog = Program(pctx, slot);
    if (gpfnNBuildProgram(pctx->pHw, prog, flags, flags2, request, pass) == 0) return -1;
    return static_cast<LONG>(prog->dataAttr);
}

// Pipe word 116: the program takes one colour for the packet.
void vConstantColour(N_Context* pctx, N_Pipe* pipe, LONG d) {
    const bool bConstant = d == 8 || d == 9 || d == 10 || d == 18 || d == 19 || d == 20;
    pipe->constantColour = bConstant && pctx->secondHalf == 0 ? 1 : 0;
}

// The one colour of a constant-colour line request, converted into the
// batch's first colour record (word 0 the colour word, word 1 the alpha):
// the render functions that take the record as it stands send it once a
// packet. The current index in colour-index mode; else the current colour,
// premultiplied by its alpha (the alpha then 1.0) for an antialiased line
// blended by the source alpha: its blend takes the alpha from the
// coverage, so the colour carries the current alpha instead.
void vLoadConstantColour(N_Context* pctx, const CommonPipeData& c, bool bAA) {
    const ULONG converter = pctx->val.colour.converter;
    if (c.pHwVertices == nullptr || converter == N_CONVERT_NONE) return;
    float colour[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(colour, pulAttr(pctx, bCI(pctx) ? N_ATTR_INDEX : N_ATTR_COLOUR), (bCI(pctx) ? 1 : 4) * sizeof(float));
    if (!bCI(pctx) && bAA && (pctx->enableWord & KZ_EN_BLEND) && ulAttr(pctx, N_ATTR_BLEND_FUNC) == 4 &&
        colour[3] != 1.0f) {
        for (ULONG i = 0; i < 3; ++i) colour[i] *= colour[3];
        colour[3] = 1.0f;
    }
    c.pHwVertices[0] = _NColourToHardware(pctx, converter, colour);
    std::memcpy(&c.pHwVertices[1], &colour[3], sizeof(float));
}

template <std::size_t N>
N_StageFn Choose(N_Pipe* pipe, const N_SelectRow (&rows)[N], ULONG kind, LONG d, ULONG conditions) {
    return Answer(pipe, 2, _NSelectSlot(rows, N, kind, static_cast<ULONG>(d), conditions));
}

constexpr ULONG L(ULONG a) { return N_LAYOUT(a); }
constexpr ULONG L(ULONG a, ULONG b) { return N_LAYOUT(a) | N_LAYOUT(b); }
constexpr ULONG K(ULONG a) { return N_KIND(a); }
constexpr ULONG K(ULONG a, ULONG b) { return N_KIND(a) | N_KIND(b); }
constexpr ULONG kLines = K(N_PRIM_LINE_STRIP, N_PRIM_LINES);

// --- points ------------------------------------------------------------------------------
constexpr N_SelectRow kPointRows[] = {
    {N_ANY, N_ANY, N_SEL_WIDE, 0, N_RF_WIDE_POINT},
    {N_ANY, L(2, 5), 0, 0, N_RF_POINT_2},
    {N_ANY, L(3, 6), 0, 0, N_RF_POINT_3},
    {N_ANY, L(8), 0, 0, N_RF_POINT_8},
    {N_ANY, L(9), 0, 0, N_RF_POINT_9},
    {N_ANY, L(12, 15), 0, 0, N_RF_POINT_12},
    {N_ANY, L(13, 16), 0, 0, N_RF_POINT_13},
    {N_ANY, L(18), 0, 0, N_RF_POINT_18},
    {N_ANY, L(19), 0, 0, N_RF_POINT_19},
    {N_ANY, N_ANY, 0, 0, N_RF_NOOP},
};

// --- lines --------------------------------------------------------------------------------
constexpr ULONG kThinPlain = N_SEL_AA | N_SEL_LIST | N_SEL_HEAVY;
constexpr ULONG kAAPlain = N_SEL_ALPHA | N_SEL_WIDE | N_SEL_STIPPLE | N_SEL_LIST;
constexpr ULONG kListPlain = N_SEL_AA | N_SEL_STIPPLE | N_SEL_ALPHA;
constexpr ULONG kAAStripClear = N_SEL_STIPPLE | N_SEL_ALPHA | N_SEL_PER_VERTEX | N_SEL_SHADED | N_SEL_ENABLES;
constexpr N_SelectRow kLineRows[] = {
    // Segment by segment: antialiased.
    {kLines, L(8), N_SEL_AA, kAAPlain, N_RF_AA_LINE_8},
    {kLines, L(2), N_SEL_AA, kAAPlain, N_RF_AA_LINE_2},
    {kLines, N_ANY, N_SEL_AA, N_SEL_LIST, N_RF_AA_LINE},
    // Thin, alpha, one colour.
    {kLines, L(9), N_SEL_ALPHA, N_SEL_AA | N_SEL_LIST | N_SEL_WIDE | N_SEL_STIPPLE, N_RF_ALPHA_LINE_9},
    // Wide, stippled or alpha.
    {kLines, L(2, 3), N_SEL_HEAVY, N_SEL_AA | N_SEL_LIST, N_RF_WIDE_LINE_2},
    {kLines, L(5, 6), N_SEL_HEAVY, N_SEL_AA | N_SEL_LIST, N_RF_WIDE_LINE_5},
    {kLines, L(8, 9), N_SEL_HEAVY, N_SEL_AA | N_SEL_LIST, N_RF_WIDE_LINE_8},
    {kLines, L(12, 13), N_SEL_HEAVY, N_SEL_AA | N_SEL_LIST, N_RF_WIDE_LINE_12},
    {kLines, L(15, 16), N_SEL_HEAVY, N_SEL_AA | N_SEL_LIST, N_RF_WIDE_LINE_15},
    {kLines, L(18, 19), N_SEL_HEAVY, N_SEL_AA | N_SEL_LIST, N_RF_WIDE_LINE_18},
    {kLines, N_ANY, N_SEL_HEAVY, N_SEL_AA | N_SEL_LIST, N_RF_ERROR},
    // Thin.
    {kLines, L(2), 0, kThinPlain, N_RF_LINE_2},
    {kLines, L(5), 0, kThinPlain, N_RF_LINE_5},
    {kLines, L(8), 0, kThinPlain, N_RF_LINE_8},
    {kLines, L(12), 0, kThinPlain, N_RF_LINE_12},
    {kLines, L(15), 0, kThinPlain, N_RF_LINE_15},
    {kLines, L(18), 0, kThinPlain, N_RF_LINE_18},
    {kLines, N_ANY, 0, kThinPlain, N_RF_ERROR},
    // A line strip drawn as one list.
    {kLines, N_ANY, N_SEL_LIST | N_SEL_WIDE, 0, N_RF_POLYLINE_LIST},
    {kLines, L(0), N_SEL_LIST, kListPlain, N_RF_ERROR},
    {kLines, L(2), N_SEL_LIST, kListPlain, N_RF_STRIP_LIST_2},
    {kLines, L(5), N_SEL_LIST, kListPlain, N_RF_STRIP_LIST_5},
    {kLines, L(8), N_SEL_LIST, kListPlain, N_RF_STRIP_LIST_8},
    {kLines, L(12), N_SEL_LIST, kListPlain, N_RF_STRIP_LIST_12},
    {kLines, L(15), N_SEL_LIST, kListPlain, N_RF_STRIP_LIST_15},
    {kLines, L(18), N_SEL_LIST, kListPlain, N_RF_STRIP_LIST_18},
    {kLines, N_ANY, N_SEL_LIST, kListPlain, N_RF_POLYLINE_LIST},
    {kLines, N_ANY, N_SEL_LIST | N_SEL_AA | N_SEL_ONE_QUEUE, kAAStripClear, N_RF_AA_STRIP_ONE_QUEUE},
    {kLines, N_ANY, N_SEL_LIST | N_SEL_AA, kAAStripClear | N_SEL_ONE_QUEUE, N_RF_AA_STRIP_QUEUES},
    {kLines, L(9), N_SEL_LIST | N_SEL_ALPHA | N_SEL_ONE_QUEUE, N_SEL_STIPPLE, N_RF_ALPHA_STRIP_ONE_QUEUE},
    {kLines, L(9), N_SEL_LIST | N_SEL_ALPHA, N_SEL_STIPPLE | N_SEL_ONE_QUEUE, N_RF_ALPHA_STRIP_QUEUES},
    {kLines, N_ANY, N_SEL_LIST, 0, N_RF_POLYLINE_LIST},
};

// --- polygons -----------------------------------------------------------------------------
constexpr ULONG kStrips = K(N_PRIM_TRI_STRIP, N_PRIM_QUAD_STRIP);
constexpr N_SelectRow kPolygonRows[] = {
    {K(N_PRIM_POLYGON, N_PRIM_TRIANGLES) | K(N_PRIM_QUADS), N_ANY, N_SEL_POLY_POINT, 0, N_RF_VERTEX_POINTS},
    {K(N_PRIM_FAN) | kStrips, N_ANY, N_SEL_POLY_POINT, 0, N_RF_STRIP_VERTEX_POINTS},
    {K(N_PRIM_POLYGON), N_ANY, N_SEL_POLY_LINE, 0, N_RF_OUTLINE_FAN},
    {K(N_PRIM_TRIANGLES), N_ANY, N_SEL_POLY_LINE, 0, N_RF_OUTLINE_TRIANGLES},
    {K(N_PRIM_QUADS), N_ANY, N_SEL_POLY_LINE, 0, N_RF_OUTLINE_QUADS},
    {K(N_PRIM_FAN, N_PRIM_TRI_STRIP), N_ANY, N_SEL_POLY_LINE, 0, N_RF_OUTLINE_STRIP},
    {K(N_PRIM_QUAD_STRIP), N_ANY, N_SEL_POLY_LINE, 0, N_RF_OUTLINE_QUAD_STRIP},
    {K(N_PRIM_QUAD_STRIP), N_ANY, N_SEL_TEXTURED | N_SEL_TEX_OPT, 0, N_RF_QSTRIP_TRI_TEX_OPT},
    {K(N_PRIM_QUAD_STRIP), N_ANY, N_SEL_TEXTURED, 0, N_RF_QSTRIP_TRI_TEX},
    {N_ANY, N_ANY, N_SEL_TEXTURED | N_SEL_TEX_OPT, 0, N_RF_TRI_TEX_OPT},
    {N_ANY, N_ANY, N_SEL_TEXTURED, 0, N_RF_TRI_TEX},
    {K(N_PRIM_QUAD_STRIP), L(12), 0, 0, N_RF_QSTRIP_FILL_12},
    {K(N_PRIM_QUAD_STRIP), L(13, 15) | L(18), 0, 0, N_RF_QSTRIP_FILL_DEPTH},
    {K(N_PRIM_QUAD_STRIP), N_ANY, 0, 0, N_RF_QSTRIP_FILL},
    {kStrips, L(12), 0, 0, N_RF_STRIP_FILL_12},
    {N_ANY, L(12), 0, 0, N_RF_FILL_12},
    {K(N_PRIM_POLYGON, N_PRIM_FAN), N_ANY, 0, 0, N_RF_POLYGON_FILL},
    {K(N_PRIM_TRIANGLES), N_ANY, 0, 0, N_RF_TRIANGLE_FILL},
    {K(N_PRIM_QUADS), N_ANY, 0, 0, N_RF_QUAD_FILL},
    {kStrips, L(13, 15) | L(18), 0, 0, N_RF_STRIP_FILL_DEPTH},
    {kStrips, N_ANY, 0, 0, N_RF_STRIP_FILL},
};

// The texture pass of the standard program's second build of a textured
// polygon, by the minification filter code 0-5.
constexpr ULONG kSecondPass[6] = {1, 2, 1, 3, 2, 4};

}  // namespace

ULONG _NNeedsAlpha(N_Context* pctx, ULONG format) {
    const bool bAlphaBuffer = (pctx->enableWord & KZ_EN_ALPHA_BUFFER) != 0;
    const bool bAlphaTest = ulAttr(pctx, N_ATTR_ALPHA_TEST) == 1;
    bool b = false;
    if (format & 0xA7840u) b = bAlphaBuffer || bBlends(pctx) || bAlphaTest;
    if (!(format & 0xA7860u))
        b = b || (fCurrentAlpha(pctx) != 1.0f && (bAlphaBuffer || bBlends(pctx))) || bAlphaTest;
    if (ulAttr(pctx, N_ATTR_LIGHTING) != 0 && fAttrWord(pctx, N_ATTR_FRONT_DIFFUSE, 3) != 1.0f) b = true;
    if (bBlendsAlphaBuffer(pctx)) b = true;
    return b ? 1 : 0;
}

// The program the software colour write heads its single-pixel primitives
// with. The span stages have tested alpha and stencil (and written the
// stencil), blended, dithered and applied the logic operation before the
// write: the board must not do any of it again (a second blend against
// the colour just blended, a stencil test against the values just
// written). What is left to the board is the depth test, which no span
// stage makes, and the colour write under the write mask. The program
// loads exactly the words the write sends a fragment: an alpha word only
// where the write sends one (an alpha buffer on the board), a depth word
// only for a depth buffer on the board.
bool _NValSoftwareProgram(N_Context* pctx, N_Pipe* pipe) {
    const ULONG slot = _NHwSoftwareSlot(pipe);
    const N_SpanWriteWords words = _NSpanWriteWords(pctx->enableWord);
    const ULONG request = words.bAlpha ? 6 : 5;
    ULONG* pDither = pulAttr(pctx, N_ATTR_DITHER);
    const ULONG en = pctx->enableWord, dither = *pDither;
    pctx->enableWord &= ~(KZ_EN_BLEND | KZ_EN_ALPHA_TEST | KZ_EN_STENCIL | KZ_EN_LOGIC_OP);
    if (!words.bDepth) pctx->enableWord &= ~KZ_EN_DEPTH;
    *pDither = 0;
    const LONG d = lBuild(pctx, slot, kFlagsPlain, 0, request, 0);
    pctx->enableWord = en;
    *pDither = dither;
    return d >= 0;
}

N_StageFn _NValPointPipeRenderFcn(N_Context* pctx, N_Pipe* pipe) {
    const ULONG format = pipe->pCommonPipeData->format;
    pctx->pHw->pointWord = 0;
    if ((pctx->enableWord & KZ_EN_TEXTURE) || bHostBuffers(pctx) || bSoftwareAlphaBlend(pctx)) return Software(pipe);
    if (ulAttr(pctx, N_ATTR_POINT_SMOOTH) != 0) {
        // Antialiased points have no render function; their program serves
        // the software path.
        const ULONG request = ((format & N_VTX_RGB) || fCurrentAlpha(pctx) == 1.0f) ? 5 : 6;
        lBuild(pctx, kSlotStandard, kFlagsPlain, 0, request, 0);
        return Software(pipe);
    }
    const bool bAlpha = _NNeedsAlpha(pctx, format) != 0;
    const bool bWide = fNPointSize(pctx) > 1.5f;
    const ULONG request = (format & N_FMT_COLOURS) ? (bAlpha ? 6 : 5) : (bAlpha ? 9 : 8);
    const LONG d = lBuild(pctx, kSlotStandard, bWide ? kFlagsWidePoint : kFlagsPlain, 0, request, 0);
    if (d < 0) return Software(pipe);
    return Choose(pipe, kPointRows, N_PRIM_POINTS, d, bWide ? ULONG{N_SEL_WIDE} : 0u);
}

N_StageFn _NValPLinePipeRenderFcn(N_Context* pctx, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG format = c.format, en = pctx->enableWord;
    const bool bAA = (en & KZ_EN_AA_LINES) != 0;
    if ((en & (KZ_EN_STENCIL | KZ_EN_STENCIL_HOST)) == (KZ_EN_STENCIL | KZ_EN_STENCIL_HOST)) return Software(pipe);
    if (!bAA && (bHostBuffers(pctx) || bSoftwareAlphaBlend(pctx))) return Software(pipe);
    c.pDispatch->status = 2;
    if (ulAttr(pctx, N_ATTR_RENDER_MODE) != N_RENDER_MODE_RENDER) return nullptr;

    const ULONG pattern = ulAttr(pctx, N_ATTR_LINE_STIPPLE), repeat = ulAttr(pctx, N_ATTR_LINE_STIPPLE_REPEAT);
    const bool bStipple = pattern != kFullPattern;
    if (bStipple && !bAA && repeat > 2 && !(repeat == 3 && pattern == kKeptPattern)) return Software(pipe);
    if ((bAA && bCI(pctx)) || (en & KZ_EN_TEXTURE)) return Software(pipe);

    const float width = fNLineWidth(pctx);
    const bool bWide = width > 1.0f;
    ULONG flags;
    if (bAA) {
        const LONG kernel = _NRoundToInt(width + 1.5f);
        // The board antialiases with its two kernels alone: a program of any
        // other kernel is a wide line's (class 2), which reads the segment's
        // words as a wide line's and takes the antialiased segment's width
        // word for a command. Those widths are drawn by the software stages,
        // which antialias any width as GL does.
        if (kernel != 2 && kernel != 4) return Software(pipe);
        flags = kernel == 2 ? 0x30003 : 0x30004;
    } else {
        flags = bWide ? 2 : 1;
    }
    flags |= kFlagsLine | kFlagsLineAlways | (bStipple ? kFlagsStipple : 0);
    const ULONG flags2 = bStipple ? kFlags2Stipple : 0;

    const bool bFog = ulAttr(pctx, N_ATTR_FOG) != 0;
    const bool bColours = (format & 0xE0u) != 0 || ulAttr(pctx, N_ATTR_LIGHTING) != 0;
    const bool bFlat = ulAttr(pctx, N_ATTR_SHADE_COPY2) == 1;
    const bool bPerVertex = bFog || (!bFlat && bColours);
    const bool bShaded = !bPerVertex && bFlat && bColours;

    const bool bAlphaBuffer = (en & KZ_EN_ALPHA_BUFFER) != 0;
    const bool bAlphaTest = ulAttr(pctx, N_ATTR_ALPHA_TEST) == 1;
    bool bAlpha = false;
    if (format & N_VTX_RGBA) bAlpha = bAlphaBuffer || bBlends(pctx) || bAlphaTest;
    if (!(format & 0x61u) && !bAA)
        bAlpha = bAlpha || (fCurrentAlpha(pctx) != 1.0f && (bAlphaBuffer || bBlends(pctx))) || bAlphaTest;
    // An antialiased line's coverage is the alpha its blend reads.
    if (!bAA && bBlendsAlphaBuffer(pctx)) bAlpha = true;
    const ULONG request = bAlpha ? (bPerVertex ? 3 : (bShaded ? 6 : 9)) : (bPerVertex ? 2 : (bShaded ? 5 : 8));
    if (request == 5 || request == 6 || request == 8 || request == 9) vLoadConstantColour(pctx, c, bAA);

    const LONG d = lBuild(pctx, kSlotStandard, flags, flags2, request, 0);
    if (d < 0) return Software(pipe);
    vConstantColour(pctx, pipe, d);
    ULONG conditions = 0;
    if (bWide) conditions |= N_SEL_WIDE;
    if (bAA) conditions |= N_SEL_AA;
    if (bStipple) conditions |= N_SEL_STIPPLE;
    if (bAlpha) conditions |= N_SEL_ALPHA;
    if (bAlpha || bWide || bStipple) conditions |= N_SEL_HEAVY;
    if (c.code == N_PRIM_LINE_STRIP && pctx->oneShotList) conditions |= N_SEL_LIST;
    if (bPerVertex) conditions |= N_SEL_PER_VERTEX;
    if (bShaded) conditions |= N_SEL_SHADED;
    if (en & (KZ_EN_DEPTH | KZ_EN_STENCIL)) conditions |= N_SEL_ENABLES;
    if (pctx->queueMode == 1) conditions |= N_SEL_ONE_QUEUE;
    return Choose(pipe, kLineRows, c.code, d, conditions);
}

N_StageFn _NValTriPipeRenderFcn(N_Context* pctx, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG format = c.format, en = pipe->mode, code = c.code;
    c.pDispatch->status = 2;
    if (ulAttr(pctx, N_ATTR_RENDER_MODE) != N_RENDER_MODE_RENDER) return nullptr;
    const bool bTextured = (en & KZ_EN_TEXTURE) != 0;
    if (bTextured && ((en & (KZ_EN_POLY_POINT | N_MODE_POLY_LINE)) || ((en & KZ_EN_BLEND) && (format & N_VTX_RGBA))))
        return Software(pipe);
    // The board's texture tiles repeat across the coordinates and its
    // programs clamp nothing: a clamped texture draws through software.
    if (bTextured && bClampedTexture(pctx)) return Software(pipe);
    if (bHostBuffers(pctx) || bSoftwareAlphaBlend(pctx)) return Software(pipe);

    const bool bBack = pipe->pBack == pipe;
    const ULONG shading = ulAttr(pctx, bBack && ulAttr(pctx, N_ATTR_TWO_SIDE) ? N_ATTR_SHADE_COPY : N_ATTR_SHADE);
    // Not 1 (flat) asks for a colour per vertex.
    const bool bPerVertex = shading != 1;
    const bool bAlpha = _NNeedsAlpha(pctx, format) != 0;
    const bool bConstant = code == N_PRIM_POLYGON || !(format & 0x1E1u);
    ULONG request = bAlpha ? (bPerVertex ? 3 : (bConstant ? 9 : 6)) : (bPerVertex ? 2 : (bConstant ? 8 : 5));
    const ULONG slot = bBack ? kSlotBack : kSlotStandard;
    const bool bAAOutline = (en & KZ_EN_AA_LINES) != 0;
    const ULONG requestPlain = bAlpha ? 6 : 5;

    if (en & KZ_EN_POLY_POINT) {
        ULONG flags = kFlagsPlain;
        if (_NRoundToInt(fNPointSize(pctx) + 0.5f) > 1) {
            flags = kFlagsWidePoint;
            if (request == 3) request = 5;
            else if (request == 2) request = 6;
        }
        const LONG d = lBuild(pctx, slot, flags, 0, request, 0);
        if (d < 0) return Software(pipe);
        return Choose(pipe, kPolygonRows, code, d, N_SEL_POLY_POINT);
    }
    if (en & N_MODE_POLY_LINE) {
        if ((en & KZ_EN_LINE_STIPPLE) || (bAAOutline && bCI(pctx))) {
            lBuild(pctx, slot, kFlagsPlain, 0, requestPlain, 0);
            return Software(pipe);
        }
        // Outlines are drawn as lines: their programs carry the line flag,
        // as every line request's does.
        const ULONG flags = (bAAOutline ? kFlagsAAOutline : fNLineWidth(pctx) > 1.0f ? kFlagsWide : kFlagsThin) |
                            kFlagsLineAlways;
        const LONG d = lBuild(pctx, slot, flags, 0, request, 0);
        if (d < 0) return Software(pipe);
        return Choose(pipe, kPolygonRows, code, d, N_SEL_POLY_LINE);
    }
    if (ulAttr(pctx, N_ATTR_POLYGON_SMOOTH) != 0 && bCI(pctx)) {
        lBuild(pctx, slot, kFlagsPlain, 0, requestPlain, 0);
        return Software(pipe);
    }
    if (bTextured) {
        const ULONG f0 = pctx->texFilters[0], f1 = pctx->texFilters[1];
        LONG d;
        if ((f0 == 0 && f1 == 0) || (f0 == 1 && f1 == 1)) {
            pctx->pHw->singlePass = 1;
            d = lBuild(pctx, kSlotStandard, kFlagsFill, 0, request, f0 == 0 ? 1 : 2);
        } else {
            if (pctx->texLevelMarks == 63) return Software(pipe);
            pctx->pHw->singlePass = 0;
            d = lBuild(pctx, bBack ? kSlotBackTex : kSlotFrontTex, kFlagsFill, 0, request, f1 != 0 ? 2 : 1);
            if (d >= 0 && lBuild(pctx, kSlotStandard, kFlagsFill, 0, request, kSecondPass[f0 < 6 ? f0 : 0]) < 0) d = -1;
        }
        if (d < 0) return Software(pipe);
        vConstantColour(pctx, pipe, d);
        const bool bOpt = pctx->pHw->singlePass != 0 && pctx->queueMode == 1;
        return Choose(pipe, kPolygonRows, code, d, N_SEL_TEXTURED | (bOpt ? ULONG{N_SEL_TEX_OPT} : 0u));
    }
    const LONG d = lBuild(pctx, slot, kFlagsFill, 0, request, 0);
    if (d < 0) return Software(pipe);
    vConstantColour(pctx, pipe, d);
    return Choose(pipe, kPolygonRows, code, d, 0);
}

// --- pixel transfers ---------------------------------------------------------------------------
namespace {

// The layout a pixel transfer asks of the generator by its data format:
// stencil values as bytes, colours with alpha where the data carry it,
// every other format one colour a pixel. Depth data carry the raster
// colour with its alpha beside their depth (the depth word comes with the
// depth test): their fragments colour the pixels they pass at.
ULONG ulPixelRequest(ULONG format) {
    switch (format) {
    case N_PIXFMT_STENCIL: return 22;
    case N_PIXFMT_DEPTH: case N_PIXFMT_ALPHA: case N_PIXFMT_RGBA: case N_PIXFMT_LUMINANCE_ALPHA: return 6;
    default: return 5;
    }
}

// The pid of a bound buffer; 0 without one (the hand-written program's
// unused pixmaps).
ULONG ulPidOf(const N_BoundBuffer* pSlot) { return _NPidOf(pSlot != nullptr ? pSlot->pBuffer : nullptr, 0); }

// The pixel program written by hand into the standard slot when the
// generator has none: layout 3, pixmap 0 the destination (blended into),
// pixmap 1 the colour-buffer object, pixmap 2 the destination as read back.
// The pipe's mode bits (the enable word's) choose the words, each by a
// buffer in use and not in host memory: the depth test's buffer adds the
// read of the destination, the draw buffer the blend into it, and carried
// alpha with an alpha plane the write of the colour-buffer object.
void vHandPixelProgram(N_Context* pctx, N_Pipe* pipe) {
    kzRenderProg* prog = Program(pctx, kSlotStandard);
    const auto* ps = static_cast<const N_PixelSpan*>(pipe->pSpan);
    const ULONG mode = pipe->mode;
    const ULONG pidDest = ps != nullptr ? ulPidOf(ps->pDest) : 0;
    kzResetRegisterResources();
    kzStartProgram(prog, KZU_HDR_CLIP, 3);
    // The clip pair clips nothing: the pixel paths cut their rows themselves.
    kzSetClipPair(prog, kzClipPairOf(0, 0, 0x10000, 0x10000));
    ULONG pids[3] = {0, 0, 0};
    bool bRead = false;
    if ((mode & KZ_EN_DEPTH) && !(mode & KZ_EN_DEPTH_HOST)) {
        prog->header |= 0x8000u;
        pids[2] = pidDest;
        kzuWriter{prog, 0, "_NValPixelProgram"}(0x30387BE1u);
        bRead = true;
    }
    if ((mode & KZ_EN_DRAW) && !(mode & KZ_EN_COLOUR_HOST)) {
        prog->header |= 0x2000u;
        pids[0] = pidDest;
        kzuWriter{prog, 0, "_NValPixelProgram"}(bRead ? 0x30360348u : 0x10360348u);
    }
    if ((mode & (KZ_EN_ALPHA | KZ_EN_ALPHA_HOST | KZ_EN_ALPHA_BUFFER)) == (KZ_EN_ALPHA | KZ_EN_ALPHA_BUFFER)) {
        prog->header |= 0x20000u;
        // The alpha plane of the buffer drawn into.
        const LONG alphaSlot = _NAlphaSlotOf(_NFirstDrawSlot(pctx));
        pids[1] = ulPidOf(alphaSlot >= 0 ? &pctx->buffers[alphaSlot] : nullptr);
        kzuWriter{prog, 0, "_NValPixelProgram"}(0x1000EB9Du);
    }
    // A program without a word draws nothing: the slot is left without a
    // program (the render functions report its layout and send no packet).
    if (prog->instrCount == 0) {
        prog->dataAttr = 0;
        return;
    }
    for (ULONG i = 0; i < 3; ++i) kzPlacePid(prog, pids[i], 0);
    if (kzSerialiseProgram(prog, 1, 1) == 0) return;
    prog->valid = 1;
    pctx->pHw->batchCount = N_BATCH_PRIMS;
}

}  // namespace

void _NValPixelProgram(N_Context* pctx, N_Pipe* pipe, ULONG kind, ULONG format) {
    ULONG request = kind == N_PRIM_BITMAP ? 5 : ulPixelRequest(format);
    // Colours without alpha of their own still carry it (1) into a blend
    // with an alpha buffer.
    if (request == 5 && bBlendsAlphaBuffer(pctx)) request = 6;
    if (lBuild(pctx, kSlotStandard, kFlagsPlain, 0, request, 0) >= 0) return;
    // A refused build may leave a half-made program in the slot: the pixel
    // render functions must not draw with it.
    kzRenderProg* prog = Program(pctx, kSlotStandard);
    prog->valid = 0;
    prog->dataAttr = 0;
    if (kind == N_PRIM_DRAW_PIXELS || kind == N_PRIM_COPY_PIXELS) vHandPixelProgram(pctx, pipe);
}
