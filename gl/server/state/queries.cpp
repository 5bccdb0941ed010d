// State queries. A state variable lives in one of four places: an lgi
// attribute (read back once the lgi layer has done the work sent before),
// an attribute-group block of the server, the visual, or a fixed limit.
// One table says where each GL 1.0 variable is and in what type; the
// value is gathered in that type and converted to the one asked for.
#include "state/queries.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "boardconfig.h"
#include "dispatch/dispatch.h"
#include "state/caps.h"
#include "state/glstate.h"
#include "lgi/lgi.h"
#include "light/light.h"
#include "matrix/matrix.h"
#include "pixfmt/pixfmt.h"
#include "seams.h"
#include "segment/segment.h"
#include "state/state_requests.h"
#include "eval/eval.h"
#include "pixel/pixel.h"
#include "texture/texture_requests.h"

namespace {

// Each thread's staging areas: the values gathered, and converted.
alignas(8) thread_local BYTE gajGathered[GLX_STAGING_BYTES];
alignas(8) thread_local BYTE gajConverted[GLX_STAGING_BYTES];

ULONG ulSize(ULONG type) {
    switch (type) {
        case GLX_TYPE_BOOLEAN: return 1;
        case GLX_TYPE_DOUBLE: return 8;
        default: return 4;
    }
}

// Where a variable is.
enum Source : BYTE {
    kLgi,         // lgi attribute `where`, words from `first`
    kEnableBit,   // ENABLE block word 0, bit `where`
    kEnableWord,  // ENABLE block word `where`
    kBlock,       // group bit `where`'s block, words from `first`
    kConst,       // the values in `values`
    kVisual,      // the visual's word `where`
    kSpecial,     // worked out by its own case
};
// How a gathered word becomes the value.
enum Decode : BYTE {
    kAsIs,
    kNonZero,     // 0 or 1
    kPlus,        // the word plus `bias` (lgi codes of enumerant runs)
    kLow16,       // the low half (the doubled line-stipple pattern)
    kBlendCode,   // an lgi blend factor code
    kStencilCode, // an lgi stencil action code
    kFogCode,     // an lgi fog mode code
    kShadeCode,   // an lgi shading code
    kCullCode,    // an lgi face code
    kByteFlags,   // a word of four byte flags
    kMaterialFace,   // the colour-material code's faces (low nibble front, high back)
    kMaterialParam,  // the colour-material code's parameter
};

struct Variable {
    ULONG pname;
    BYTE source;
    BYTE decode;
    BYTE count;
    BYTE first;
    ULONG where;
    ULONG type;
    ULONG bias;
    float values[2];
};

constexpr ULONG I = GLX_TYPE_INT, F = GLX_TYPE_FLOAT, C = GLX_TYPE_COLOR, B = GLX_TYPE_BOOLEAN;

// kVisual words.
constexpr ULONG kVisRGBA = 1, kVisRed = 2, kVisAlpha = 5, kVisAccumRed = 6, kVisAccumAlpha = 9, kVisDouble = 10,
                kVisStereo = 11, kVisColor = 12, kVisDepth = 13, kVisStencil = 14, kVisAux = 15;

constexpr Variable kVariables[] = {
    // current values
    {GL_CURRENT_COLOR, kLgi, kAsIs, 4, 0, N_ATTR_COLOUR, C, 0, {}},
    {GL_CURRENT_INDEX, kLgi, kAsIs, 1, 0, N_ATTR_INDEX, F, 0, {}},
    {GL_CURRENT_NORMAL, kLgi, kAsIs, 3, 0, N_ATTR_NORMAL, C, 0, {}},  // CURRENT_NORMAL: to integers linearly, as colours
    {GL_CURRENT_TEXTURE_COORDS, kLgi, kAsIs, 4, 0, N_ATTR_TEXCOORD, F, 0, {}},
    {GL_CURRENT_RASTER_COLOR, kLgi, kAsIs, 4, 0, N_ATTR_RASTER_COLOUR, C, 0, {}},
    {GL_CURRENT_RASTER_INDEX, kLgi, kAsIs, 1, 0, N_ATTR_RASTER_INDEX, F, 0, {}},
    {GL_CURRENT_RASTER_TEXTURE_COORDS, kLgi, kAsIs, 4, 0, N_ATTR_RASTER_TEXCOORD, F, 0, {}},
    {GL_CURRENT_RASTER_POSITION, kLgi, kAsIs, 4, 0, N_ATTR_RASTER_POS, F, 0, {}},
    {GL_CURRENT_RASTER_POSITION_VALID, kLgi, kNonZero, 1, 0, N_ATTR_RASTER_POS_VALID, B, 0, {}},
    {GL_CURRENT_RASTER_DISTANCE, kLgi, kAsIs, 1, 0, N_ATTR_RASTER_DISTANCE, F, 0, {}},
    {GL_EDGE_FLAG, kLgi, kNonZero, 1, 0, N_ATTR_EDGE_FLAG, B, 0, {}},
    // points and lines
    {GL_POINT_SIZE, kLgi, kAsIs, 1, 0, N_ATTR_POINT_SIZE, F, 0, {}},
    {GL_POINT_SIZE_RANGE, kConst, kAsIs, 2, 0, 0, F, 0, {0.0f, 256.0f}},
    {GL_POINT_SIZE_GRANULARITY, kConst, kAsIs, 1, 0, 0, F, 0, {1.0f}},
    {GL_LINE_WIDTH, kLgi, kAsIs, 1, 0, N_ATTR_LINE_WIDTH, F, 0, {}},
    {GL_LINE_WIDTH_RANGE, kConst, kAsIs, 2, 0, 0, F, 0, {0.0f, 256.0f}},
    {GL_LINE_WIDTH_GRANULARITY, kConst, kAsIs, 1, 0, 0, F, 0, {1.0f}},
    {GL_LINE_STIPPLE_PATTERN, kBlock, kLow16, 1, GLX_LINE_PATTERN, GL_LINE_BIT, I, 0, {}},
    {GL_LINE_STIPPLE_REPEAT, kBlock, kAsIs, 1, GLX_LINE_REPEAT, GL_LINE_BIT, I, 0, {}},
    // lists
    {GL_LIST_MODE, kSpecial, kAsIs, 1, 0, 0, I, 0, {}},
    {GL_MAX_LIST_NESTING, kConst, kAsIs, 1, 0, 0, I, 0, {64}},
    {GL_LIST_BASE, kBlock, kAsIs, 1, GLX_LIST_BASE, GL_LIST_BIT, I, 0, {}},
    {GL_LIST_INDEX, kSpecial, kAsIs, 1, 0, 0, I, 0, {}},
    // polygons
    {GL_POLYGON_MODE, kBlock, kPlus, 2, GLX_POLYGON_FRONT_MODE, GL_POLYGON_BIT, I, GL_POINT, {}},
    {GL_CULL_FACE_MODE, kBlock, kCullCode, 1, GLX_POLYGON_CULL, GL_POLYGON_BIT, I, 0, {}},
    {GL_FRONT_FACE, kBlock, kAsIs, 1, GLX_POLYGON_FRONT_FACE, GL_POLYGON_BIT, I, 0, {}},
    // lighting
    {GL_LIGHT_MODEL_LOCAL_VIEWER, kSpecial, kAsIs, 1, 0, N_ATTR_VIEWER, B, 0, {}},  // LIGHT_MODEL_LOCAL_VIEWER: 1 on, 2 off
    {GL_LIGHT_MODEL_TWO_SIDE, kLgi, kNonZero, 1, 0, N_ATTR_TWO_SIDE, B, 0, {}},
    {GL_LIGHT_MODEL_AMBIENT, kLgi, kAsIs, 4, 0, N_ATTR_MODEL_AMBIENT, C, 0, {}},
    {GL_SHADE_MODEL, kLgi, kShadeCode, 1, 0, N_ATTR_SHADE, I, 0, {}},
    {GL_COLOR_MATERIAL_FACE, kLgi, kMaterialFace, 1, 0, N_ATTR_COLOUR_MATERIAL_CODE, I, 0, {}},
    {GL_COLOR_MATERIAL_PARAMETER, kLgi, kMaterialParam, 1, 0, N_ATTR_COLOUR_MATERIAL_CODE, I, 0, {}},
    // fog
    {GL_FOG_INDEX, kLgi, kAsIs, 1, 0, N_ATTR_FOG_INDEX, F, 0, {}},
    {GL_FOG_DENSITY, kLgi, kAsIs, 1, 0, N_ATTR_FOG_DENSITY, F, 0, {}},
    {GL_FOG_START, kLgi, kAsIs, 1, 0, N_ATTR_FOG_START, F, 0, {}},
    {GL_FOG_END, kLgi, kAsIs, 1, 0, N_ATTR_FOG_END, F, 0, {}},
    {GL_FOG_MODE, kLgi, kFogCode, 1, 0, N_ATTR_FOG_MODE, I, 0, {}},
    {GL_FOG_COLOR, kLgi, kAsIs, 4, 0, N_ATTR_FOG_COLOUR, C, 0, {}},
    // depth, accumulation, stencil
    {GL_DEPTH_RANGE, kLgi, kAsIs, 2, 0, N_ATTR_DEPTH_RANGE, C, 0, {}},
    {GL_DEPTH_WRITEMASK, kLgi, kNonZero, 1, 0, N_ATTR_DEPTH_MASK, B, 0, {}},
    {GL_DEPTH_CLEAR_VALUE, kLgi, kAsIs, 1, 0, N_ATTR_CLEAR_DEPTH, C, 0, {}},
    {GL_DEPTH_FUNC, kLgi, kPlus, 1, 0, N_ATTR_DEPTH_FUNC, I, GL_NEVER, {}},
    {GL_ACCUM_CLEAR_VALUE, kLgi, kAsIs, 4, 0, N_ATTR_CLEAR_ACCUM, C, 0, {}},
    {GL_STENCIL_CLEAR_VALUE, kLgi, kAsIs, 1, 0, N_ATTR_CLEAR_STENCIL, I, 0, {}},
    {GL_STENCIL_FUNC, kLgi, kPlus, 1, 0, N_ATTR_STENCIL_FUNC, I, GL_NEVER, {}},
    {GL_STENCIL_VALUE_MASK, kLgi, kAsIs, 1, 2, N_ATTR_STENCIL_FUNC, I, 0, {}},
    {GL_STENCIL_FAIL, kLgi, kStencilCode, 1, 0, N_ATTR_STENCIL_OP, I, 0, {}},
    {GL_STENCIL_PASS_DEPTH_FAIL, kLgi, kStencilCode, 1, 2, N_ATTR_STENCIL_OP, I, 0, {}},
    {GL_STENCIL_PASS_DEPTH_PASS, kLgi, kStencilCode, 1, 1, N_ATTR_STENCIL_OP, I, 0, {}},
    {GL_STENCIL_REF, kLgi, kAsIs, 1, 1, N_ATTR_STENCIL_FUNC, I, 0, {}},
    {GL_STENCIL_WRITEMASK, kLgi, kAsIs, 1, 0, N_ATTR_STENCIL_MASK, I, 0, {}},
    // transform and viewport
    {GL_MATRIX_MODE, kBlock, kAsIs, 1, GLX_TRANSFORM_MATRIX_MODE, GL_TRANSFORM_BIT, I, 0, {}},
    {GL_VIEWPORT, kSpecial, kAsIs, 4, 0, 0, I, 0, {}},
    {GL_ATTRIB_STACK_DEPTH, kSpecial, kAsIs, 1, 0, 0, I, 0, {}},
    // fragments
    {GL_ALPHA_TEST_FUNC, kLgi, kPlus, 1, 0, N_ATTR_ALPHA_FUNC, I, GL_NEVER, {}},
    {GL_ALPHA_TEST_REF, kLgi, kAsIs, 1, 1, N_ATTR_ALPHA_FUNC, C, 0, {}},
    {GL_BLEND_DST, kLgi, kBlendCode, 1, 1, N_ATTR_BLEND_FUNC, I, 0, {}},
    {GL_BLEND_SRC, kLgi, kBlendCode, 1, 0, N_ATTR_BLEND_FUNC, I, 0, {}},
    {GL_LOGIC_OP_MODE, kLgi, kPlus, 1, 0, N_ATTR_LOGIC_OP_CODE, I, GL_CLEAR, {}},
    // buffers
    {GL_AUX_BUFFERS, kVisual, kAsIs, 1, 0, kVisAux, I, 0, {}},
    {GL_DRAW_BUFFER, kBlock, kAsIs, 1, GLX_COLOR_DRAW_BUFFER, GL_COLOR_BUFFER_BIT, I, 0, {}},
    {GL_READ_BUFFER, kBlock, kAsIs, 1, GLX_PIXEL_READ_BUFFER, GL_PIXEL_MODE_BIT, I, 0, {}},
    {GL_SCISSOR_BOX, kSpecial, kAsIs, 4, 0, 0, I, 0, {}},
    {GL_INDEX_CLEAR_VALUE, kLgi, kAsIs, 1, 0, N_ATTR_CLEAR_INDEX, F, 0, {}},
    {GL_INDEX_WRITEMASK, kBlock, kAsIs, 1, GLX_COLOR_INDEX_MASK, GL_COLOR_BUFFER_BIT, I, 0, {}},
    {GL_COLOR_CLEAR_VALUE, kLgi, kAsIs, 4, 0, N_ATTR_CLEAR_COLOUR, C, 0, {}},
    {GL_COLOR_WRITEMASK, kBlock, kByteFlags, 4, GLX_COLOR_WRITE_MASK, GL_COLOR_BUFFER_BIT, B, 0, {}},
    {GL_INDEX_MODE, kSpecial, kAsIs, 1, 0, 0, B, 0, {}},
    {GL_RGBA_MODE, kVisual, kNonZero, 1, 0, kVisRGBA, B, 0, {}},
    {GL_DOUBLEBUFFER, kVisual, kNonZero, 1, 0, kVisDouble, B, 0, {}},
    {GL_STEREO, kVisual, kNonZero, 1, 0, kVisStereo, B, 0, {}},
    {GL_RENDER_MODE, kSpecial, kAsIs, 1, 0, 0, I, 0, {}},
    {GL_NAME_STACK_DEPTH, kSpecial, kAsIs, 1, 0, 0, I, 0, {}},
    // hints
    {GL_PERSPECTIVE_CORRECTION_HINT, kBlock, kAsIs, 1, 0, GL_HINT_BIT, I, 0, {}},
    {GL_POINT_SMOOTH_HINT, kBlock, kAsIs, 1, 1, GL_HINT_BIT, I, 0, {}},
    {GL_LINE_SMOOTH_HINT, kBlock, kAsIs, 1, 2, GL_HINT_BIT, I, 0, {}},
    {GL_POLYGON_SMOOTH_HINT, kBlock, kAsIs, 1, 3, GL_HINT_BIT, I, 0, {}},
    {GL_FOG_HINT, kBlock, kAsIs, 1, 4, GL_HINT_BIT, I, 0, {}},
    // limits
    {GL_MAX_EVAL_ORDER, kConst, kAsIs, 1, 0, 0, I, 0, {30}},
    {GL_MAX_LIGHTS, kConst, kAsIs, 1, 0, 0, I, 0, {8}},
    {GL_MAX_CLIP_PLANES, kConst, kAsIs, 1, 0, 0, I, 0, {6}},
    {GL_MAX_TEXTURE_SIZE, kConst, kAsIs, 1, 0, 0, I, 0, {256}},
    {GL_MAX_PIXEL_MAP_TABLE, kConst, kAsIs, 1, 0, 0, I, 0, {32}},
    {GL_MAX_ATTRIB_STACK_DEPTH, kConst, kAsIs, 1, 0, 0, I, 0, {16}},
    {GL_MAX_MODELVIEW_STACK_DEPTH, kConst, kAsIs, 1, 0, 0, I, 0, {32}},
    {GL_MAX_NAME_STACK_DEPTH, kConst, kAsIs, 1, 0, 0, I, 0, {1024}},
    {GL_MAX_PROJECTION_STACK_DEPTH, kConst, kAsIs, 1, 0, 0, I, 0, {32}},
    {GL_MAX_TEXTURE_STACK_DEPTH, kConst, kAsIs, 1, 0, 0, I, 0, {32}},
    {GL_MAX_VIEWPORT_DIMS, kConst, kAsIs, 2, 0, 0, I, 0, {2048, 2048}},
    {GL_SUBPIXEL_BITS, kSpecial, kAsIs, 1, 0, 0, I, 0, {}},
    {GL_INDEX_BITS, kSpecial, kAsIs, 1, 0, 0, I, 0, {}},
    {GL_RED_BITS, kVisual, kAsIs, 1, 0, kVisRed, I, 0, {}},
    {GL_GREEN_BITS, kVisual, kAsIs, 1, 0, kVisRed + 1, I, 0, {}},
    {GL_BLUE_BITS, kVisual, kAsIs, 1, 0, kVisRed + 2, I, 0, {}},
    {GL_ALPHA_BITS, kVisual, kAsIs, 1, 0, kVisAlpha, I, 0, {}},
    {GL_DEPTH_BITS, kVisual, kAsIs, 1, 0, kVisDepth, I, 0, {}},
    {GL_STENCIL_BITS, kVisual, kAsIs, 1, 0, kVisStencil, I, 0, {}},
    {GL_ACCUM_RED_BITS, kVisual, kAsIs, 1, 0, kVisAccumRed, I, 0, {}},
    {GL_ACCUM_GREEN_BITS, kVisual, kAsIs, 1, 0, kVisAccumRed + 1, I, 0, {}},
    {GL_ACCUM_BLUE_BITS, kVisual, kAsIs, 1, 0, kVisAccumRed + 2, I, 0, {}},
    {GL_ACCUM_ALPHA_BITS, kVisual, kAsIs, 1, 0, kVisAccumAlpha, I, 0, {}},
    // pixel transfer
    {GL_MAP_COLOR, kLgi, kNonZero, 1, 0, N_ATTR_MAP_COLOUR, B, 0, {}},
    {GL_MAP_STENCIL, kLgi, kNonZero, 1, 0, N_ATTR_MAP_STENCIL, B, 0, {}},
    {GL_INDEX_SHIFT, kLgi, kAsIs, 1, 0, N_ATTR_INDEX_SHIFT, I, 0, {}},
    {GL_INDEX_OFFSET, kLgi, kAsIs, 1, 0, N_ATTR_INDEX_OFFSET, I, 0, {}},
    {GL_RED_SCALE, kLgi, kAsIs, 1, 0, N_ATTR_RED_SCALE, F, 0, {}},
    {GL_RED_BIAS, kLgi, kAsIs, 1, 0, N_ATTR_RED_BIAS, F, 0, {}},
    {GL_GREEN_SCALE, kLgi, kAsIs, 1, 0, N_ATTR_GREEN_SCALE, F, 0, {}},
    {GL_GREEN_BIAS, kLgi, kAsIs, 1, 0, N_ATTR_GREEN_BIAS, F, 0, {}},
    {GL_BLUE_SCALE, kLgi, kAsIs, 1, 0, N_ATTR_BLUE_SCALE, F, 0, {}},
    {GL_BLUE_BIAS, kLgi, kAsIs, 1, 0, N_ATTR_BLUE_BIAS, F, 0, {}},
    {GL_ALPHA_SCALE, kLgi, kAsIs, 1, 0, N_ATTR_ALPHA_SCALE, F, 0, {}},
    {GL_ALPHA_BIAS, kLgi, kAsIs, 1, 0, N_ATTR_ALPHA_BIAS, F, 0, {}},
    {GL_DEPTH_SCALE, kLgi, kAsIs, 1, 0, N_ATTR_DEPTH_SCALE, F, 0, {}},
    {GL_DEPTH_BIAS, kLgi, kAsIs, 1, 0, N_ATTR_DEPTH_BIAS, F, 0, {}},
    // evaluator grids (the two-dimensional ones are worked out)
    {GL_MAP1_GRID_DOMAIN, kBlock, kAsIs, 2, GLX_EVAL_GRID_FIRST, GL_EVAL_BIT, F, 0, {}},
    {GL_MAP1_GRID_SEGMENTS, kBlock, kAsIs, 1, GLX_EVAL_GRID_FIRST + 2, GL_EVAL_BIT, I, 0, {}},
    {GL_MAP2_GRID_DOMAIN, kSpecial, kAsIs, 4, 0, 0, F, 0, {}},
    {GL_MAP2_GRID_SEGMENTS, kSpecial, kAsIs, 2, 0, 0, I, 0, {}},
    {GL_ZOOM_X, kLgi, kAsIs, 1, 0, N_ATTR_ZOOM_X, F, 0, {}},
    {GL_ZOOM_Y, kLgi, kAsIs, 1, 0, N_ATTR_ZOOM_Y, F, 0, {}},
    // (the capabilities, kept as ENABLE bits and words: state/caps.h)
};
// Each lgi variable reads within its attribute's words.
constexpr bool bLgiReadsFit() {
    for (const Variable& v : kVariables) {
        if (v.source == kLgi && v.first + v.count > N_AttrWords(v.where)) return false;
    }
    return true;
}
static_assert(bLgiReadsFit());

const ULONG* pwBlockOf(const GLContext* gc, ULONG flGroup) {
    return gc->pState != nullptr ? gc->pState->blocks[__builtin_ctz(flGroup)] : nullptr;
}

ULONG ulVisualWord(const GLContext* gc, ULONG i) {
    if (gc->pvis == nullptr) return 0;
    const ULONG aw[] = {0,
                        gc->pvis->bRGBA,
                        gc->pvis->cRedBits,
                        gc->pvis->cGreenBits,
                        gc->pvis->cBlueBits,
                        gc->pvis->cAlphaBits,
                        gc->pvis->cAccumRedBits,
                        gc->pvis->cAccumGreenBits,
                        gc->pvis->cAccumBlueBits,
                        gc->pvis->cAccumAlphaBits,
                        gc->pvis->bDoubleBuffer,
                        gc->pvis->bStereo,
                        gc->pvis->cColorBits,
                        gc->pvis->cDepthBits,
                        gc->pvis->cStencilBits,
                        gc->pvis->cAuxBuffers};
    return i < sizeof aw / sizeof aw[0] ? aw[i] : 0;
}

ULONG ulDecode(BYTE decode, ULONG w, ULONG bias) {
    static constexpr ULONG kBlend[] = {GL_ZERO, GL_ONE, GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA,
                                       GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                                       GL_SRC_ALPHA_SATURATE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR};
    static constexpr ULONG kStencil[] = {GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT};
    static constexpr ULONG kFog[] = {GL_EXP, GL_EXP2, GL_LINEAR};
    switch (decode) {
        case kNonZero: return w != 0;
        case kPlus: return w + bias;
        case kLow16: return w & 0xFFFF;
        case kBlendCode: return w < 11 ? kBlend[w] : 0;
        case kStencilCode: return w < 6 ? kStencil[w] : 0;
        case kFogCode: return w < 3 ? kFog[w] : 0;
        case kShadeCode: return w == 1 ? GL_FLAT : GL_SMOOTH;
        case kCullCode: return w == 2 ? GL_FRONT : GL_BACK;
        case kMaterialFace:
            return (w & 0xF) != 0 && (w & 0xF0) != 0 ? GL_FRONT_AND_BACK : (w & 0xF) != 0 ? GL_FRONT : GL_BACK;
        case kMaterialParam: {
            const ULONG c = (w & 0xF) != 0 ? w & 0xF : w >> 4;  // EMISSION, AMBIENT, DIFFUSE, SPECULAR, both
            return c == 1 ? GL_EMISSION : c == 2 ? GL_AMBIENT : c == 4 ? GL_DIFFUSE : c == 8 ? GL_SPECULAR : GL_AMBIENT_AND_DIFFUSE;
        }
        default: return w;
    }
}

// The viewport or scissor box as the block holds it: binding the context to
// its first window gives both the window's size (__glXWindowBound).
void vBox(GLContext* gc, ULONG flGroup, ULONG iFirst, ULONG* aw) {
    if (const ULONG* pw = pwBlockOf(gc, flGroup)) std::memcpy(aw, pw + iFirst, 4 * sizeof(ULONG));
}

// Gathers a variable's values (in its own type) into pj: the count.
ULONG cGather(GLClient* pgc, const Variable& v, BYTE* pj) {
    GLContext* gc = pgc->gc;
    ULONG aw[16] = {};
    switch (v.source) {
        case kLgi: {
            ULONG awAttr[N_ATTR_WIDEST] = {};
            N_GetStateBlockAttr(v.where, awAttr);
            N_Sync();  // the work sent before the query is done
            std::memcpy(aw, awAttr + v.first, v.count * sizeof(ULONG));
            break;
        }
        case kEnableBit: {
            const ULONG* pw = pwBlockOf(gc, GL_ENABLE_BIT);
            aw[0] = pw != nullptr && (pw[GLX_ENABLE_BITS] & v.where) != 0;
            break;
        }
        case kBlock: {
            // The flags are bytes of one word; never read past the block.
            const ULONG cWords = v.decode == kByteFlags ? 1 : v.count;
            const ULONG cjBlock = __glXGroupBlockSize[__builtin_ctz(v.where)];
            const ULONG* pw = pwBlockOf(gc, v.where);
            if (pw != nullptr && (v.first + cWords) * sizeof(ULONG) <= cjBlock)
                std::memcpy(aw, pw + v.first, cWords * sizeof(ULONG));
            if (v.decode == kByteFlags) {
                BYTE ab[4];
                std::memcpy(ab, aw, 4);
                for (ULONG i = 0; i < 4; ++i) aw[i] = ab[i] != 0;
            }
            break;
        }
        case kConst:
            if (v.type == GLX_TYPE_FLOAT) {
                std::memcpy(aw, v.values, v.count * sizeof(float));
            } else {
                for (ULONG i = 0; i < v.count; ++i) aw[i] = static_cast<ULONG>(v.values[i]);
            }
            break;
        case kVisual: aw[0] = ulVisualWord(gc, v.where); break;
        default:
            switch (v.pname) {
                case GL_LIST_MODE: {
                    const ULONG mode = __glXListMode(gc);
                    aw[0] = (mode & GLX_LIST_COMPILING) == 0 ? 0u : (mode & GLX_LIST_EXECUTE) ? GL_COMPILE_AND_EXECUTE : GL_COMPILE;
                    break;
                }
                case GL_LIST_INDEX: aw[0] = __glXListIndex(gc); break;
                case GL_LIGHT_MODEL_LOCAL_VIEWER: {
                    ULONG awAttr[N_ATTR_WIDEST] = {};
                    N_GetStateBlockAttr(v.where, awAttr);
                    N_Sync();
                    aw[0] = awAttr[0] == 1;
                    break;
                }
                case GL_ATTRIB_STACK_DEPTH: aw[0] = gc->pState != nullptr ? gc->pState->iDepth : 0; break;
                case GL_INDEX_MODE: aw[0] = gc->pvis != nullptr && !gc->pvis->bRGBA; break;
                case GL_RENDER_MODE: aw[0] = gc->renderMode; break;
                case GL_NAME_STACK_DEPTH: aw[0] = N_GetNameStackDepth(); break;
                case GL_SUBPIXEL_BITS: {
                    // The board places geometry from window positions in 28.4
                    // when its configuration asks for precise models, else
                    // in whole pixels (read at each query: the setting may
                    // change while contexts run).
                    const BoardConfig* pbc = __glBoardConfig(gc);
                    aw[0] = pbc != nullptr && pbc->modelImprecision != 0 ? 4 : 0;
                    break;
                }
                case GL_VIEWPORT: vBox(gc, GL_VIEWPORT_BIT, GLX_VIEWPORT_X, aw); break;
                case GL_SCISSOR_BOX: vBox(gc, GL_SCISSOR_BIT, GLX_SCISSOR_X, aw); break;
                case GL_INDEX_BITS: aw[0] = gc->pvis != nullptr && !gc->pvis->bRGBA ? gc->pvis->cColorBits : 0; break;
                case GL_MAP2_GRID_DOMAIN:
                case GL_MAP2_GRID_SEGMENTS: {
                    // The u grid then the v grid: {u1, u2, n} each.
                    const ULONG* pw = pwBlockOf(gc, GL_EVAL_BIT);
                    if (pw == nullptr) break;
                    const ULONG* pg = pw + GLX_EVAL_GRID_FIRST + 3;
                    const ULONG awDomain[4] = {pg[0], pg[1], pg[3], pg[4]}, awSegments[2] = {pg[2], pg[5]};
                    if (v.pname == GL_MAP2_GRID_DOMAIN) std::memcpy(aw, awDomain, sizeof awDomain);
                    else std::memcpy(aw, awSegments, sizeof awSegments);
                    break;
                }
                default: break;
            }
            break;
    }
    for (ULONG i = 0; i < v.count; ++i) {
        const ULONG w = v.decode == kByteFlags ? aw[i] : ulDecode(v.decode, aw[i], v.bias);
        if (v.type == GLX_TYPE_BOOLEAN) {
            pj[i] = w != 0;
        } else {
            std::memcpy(pj + 4 * i, &w, 4);
        }
    }
    return v.count;
}


// Writes the reply of the values of type at pv (cj bytes).
void vReplyValues(GLClient* pgc, ULONG type, const void* pv, ULONG cj) {
    const ULONG cjValue = ulSize(type);
    __glXSendValues(pgc, pv, cjValue, cj / cjValue);
}

// A query of cParams parameter words from +8: the getter's values in the
// type asked for, after the reply or in it; bRetval: one flag at +8.
typedef ULONG (*Getter)(GLClient* pgc, const ULONG* pParams, ULONG type, const void** ppv, ULONG* pcj);
template <Getter pfnGet, ULONG cParams, ULONG type, bool bRetval = false>
ULONG ulQuery(GLClient* pgc, const void* pvRequest) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pvRequest, cParams, &pj)) return x;
    ULONG aw[cParams];
    std::memcpy(aw, pj, sizeof aw);
    const void* pv = nullptr;
    ULONG cj = 0;
    const ULONG glError = pfnGet(pgc, aw, type, &pv, &cj);
    if (glError != GL_NO_ERROR) return __glXSingleError(pgc, pvRequest, glError);
    if (bRetval) {
        xGLXSingleReply rp = __glXReplyHeader(pgc);
        rp.retval = *static_cast<const BYTE*>(pv) != 0;
        __glXSendReply(&rp, sizeof rp, nullptr, 0);
    } else {
        vReplyValues(pgc, type, pv, cj);
    }
    return GLX_SUCCESS;
}

// Hands a getter's values over in the type asked for: converted when the
// getter gathered another type.
// Values too many for the staging areas: a larger pair for this thread,
// kept until the next query that needs one.
thread_local std::vector<BYTE> gvjGathered, gvjConverted;

ULONG ulStaged(ULONG srcType, ULONG c, ULONG type, const void** ppv, ULONG* pcj,
               const BYTE* pjGathered = gajGathered, BYTE* pjConverted = gajConverted) {
    const BYTE* pjOut = pjGathered;
    if (srcType != type) {
        __glXConvertValues(srcType, pjGathered, c, type, pjConverted);
        pjOut = pjConverted;
    }
    *ppv = pjOut;
    *pcj = c * ulSize(type);
    std::memset(const_cast<BYTE*>(pjOut) + *pcj, 0, ((*pcj + 3) & ~3u) - *pcj);
    return GL_NO_ERROR;
}

// The getters' parameters as the query forms pass them.
ULONG ulStateGetter(GLClient* pgc, const ULONG* pw, ULONG type, const void** ppv, ULONG* pcj);
typedef ULONG (*ObjectGetter)(GLClient*, ULONG, ULONG, ULONG, const void**, ULONG*);
template <ObjectGetter pfnGet>
ULONG ulObjectGetter(GLClient* pgc, const ULONG* pw, ULONG type, const void** ppv, ULONG* pcj) {
    return pfnGet(pgc, pw[0], pw[1], type, ppv, pcj);
}

// Reads an lgi attribute's first c words once the work before is done.
void vReadAttr(ULONG id, ULONG* pw, ULONG c) {
    ULONG aw[N_ATTR_WIDEST] = {};
    N_GetStateBlockAttr(id, aw);
    N_Sync();
    std::memcpy(pw, aw, c * sizeof(ULONG));
}

}  // namespace

ULONG __glXGetLight(GLClient* pgc, ULONG light, ULONG pname, ULONG type, const void** ppv, ULONG* pcj) {
    const ULONG c = __glXLightParamCount(pname);
    if (light - GL_LIGHT0 >= GLX_LIGHTS || c == 0) return GL_INVALID_ENUM;
    const ULONG* pwBlock = pwBlockOf(pgc->gc, GL_LIGHTING_BIT);
    if (pwBlock == nullptr) return GL_INVALID_VALUE;
    N_Light rec = __glXLightRecord(pwBlock, light - GL_LIGHT0);
    if (pname == GL_POSITION || pname == GL_SPOT_DIRECTION) {
        // Kept by the lgi layer in eye coordinates.
        N_GetLight(__glXLightParamBit(pname), light - GL_LIGHT0, &rec);
    }
    std::memcpy(gajGathered, __glXLightParam(&rec, pname), c * sizeof(float));
    const bool bColor = pname == GL_AMBIENT || pname == GL_DIFFUSE || pname == GL_SPECULAR;
    return ulStaged(bColor ? GLX_TYPE_COLOR : GLX_TYPE_FLOAT, c, type, ppv, pcj);
}

ULONG __glXGetMaterial(GLClient*, ULONG face, ULONG pname, ULONG type, const void** ppv, ULONG* pcj) {
    if (face != GL_FRONT && face != GL_BACK) return GL_INVALID_ENUM;  // FRONT_AND_BACK included
    const ULONG attr = __glXMaterialAttr(face == GL_FRONT, pname);
    if (attr == ~0u) return GL_INVALID_ENUM;
    const ULONG c = __glXMaterialParamCount(pname);
    ULONG aw[4] = {};
    if (pname == GL_COLOR_INDEXES) {
        for (ULONG i = 0; i < c; ++i) vReadAttr(attr + i, aw + i, 1);  // one attribute a value
    } else {
        vReadAttr(attr, aw, c);
    }
    const ULONG srcType = pname == GL_SHININESS || pname == GL_COLOR_INDEXES ? GLX_TYPE_FLOAT : GLX_TYPE_COLOR;
    std::memcpy(gajGathered, aw, c * sizeof(ULONG));
    return ulStaged(srcType, c, type, ppv, pcj);
}

ULONG __glXGetTexEnv(GLClient*, ULONG target, ULONG pname, ULONG type, const void** ppv, ULONG* pcj) {
    if (target != GL_TEXTURE_ENV) return GL_INVALID_ENUM;
    ULONG aw[4] = {};
    if (pname == GL_TEXTURE_ENV_MODE) {
        vReadAttr(N_ATTR_ENV_MODE, aw, 1);
        static constexpr ULONG kModes[] = {GL_MODULATE, GL_DECAL, GL_BLEND};
        const LONG mode = aw[0] < 3 ? static_cast<LONG>(kModes[aw[0]]) : 0;
        std::memcpy(gajGathered, &mode, 4);
        return ulStaged(GLX_TYPE_INT, 1, type, ppv, pcj);
    }
    if (pname != GL_TEXTURE_ENV_COLOR) return GL_INVALID_ENUM;
    constexpr ULONG c = glParamCount(GL_TEXTURE_ENV_COLOR);
    vReadAttr(N_ATTR_ENV_COLOUR, aw, c);
    std::memcpy(gajGathered, aw, c * sizeof(ULONG));
    return ulStaged(GLX_TYPE_COLOR, c, type, ppv, pcj);
}

ULONG __glXGetMap(GLClient* pgc, ULONG target, ULONG query, ULONG type, const void** ppv, ULONG* pcj) {
    const __GLXevalMap* pm = __glXEvalMapOf(pgc->gc, target);
    if (pm == nullptr) return GL_INVALID_ENUM;
    const bool b2D = target >= GL_MAP2_COLOR_4;
    const ULONG cOrders = b2D ? 2 : 1;
    if (query == GL_ORDER) {
        const ULONG aw[2] = {pm->uorder, pm->vorder};
        std::memcpy(gajGathered, aw, cOrders * sizeof(ULONG));
        return ulStaged(GLX_TYPE_INT, cOrders, type, ppv, pcj);
    }
    if (query == GL_DOMAIN) {
        const float af[4] = {pm->u1, pm->u2, pm->v1, pm->v2};
        std::memcpy(gajGathered, af, 2 * cOrders * sizeof(float));
        return ulStaged(GLX_TYPE_FLOAT, 2 * cOrders, type, ppv, pcj);
    }
    if (query != GL_COEFF) return GL_INVALID_ENUM;
    // Orders are 1 to 30 and components at most 4: at most 3600 values.
    const ULONG c = pm->components * pm->uorder * pm->vorder;
    const float* pf = pm->pPoints != nullptr ? pm->pPoints : pm->afDefault;
    if (c * 8 <= GLX_STAGING_BYTES) {
        std::memcpy(gajGathered, pf, c * sizeof(float));
        return ulStaged(GLX_TYPE_FLOAT, c, type, ppv, pcj);
    }
    try {
        gvjGathered.assign(c * sizeof(float), 0);
        gvjConverted.assign(c * 8 + 4, 0);
    } catch (const std::bad_alloc&) {
        return GL_OUT_OF_MEMORY;
    }
    std::memcpy(gvjGathered.data(), pf, c * sizeof(float));
    return ulStaged(GLX_TYPE_FLOAT, c, type, ppv, pcj, gvjGathered.data(), gvjConverted.data());
}

ULONG __glXGetTexGen(GLClient* pgc, ULONG coord, ULONG pname, ULONG type, const void** ppv, ULONG* pcj) {
    const ULONG c = coord - GL_S;
    if (c >= 4 || pname - GL_TEXTURE_GEN_MODE > GL_EYE_PLANE - GL_TEXTURE_GEN_MODE) return GL_INVALID_ENUM;
    const ULONG* pwBlock = pwBlockOf(pgc->gc, GL_TEXTURE_BIT);
    if (pwBlock == nullptr) return GL_INVALID_VALUE;
    const __GLXtexGenRecord rec = __glXTexGenRecord(pwBlock, c);
    if (pname == GL_TEXTURE_GEN_MODE) {
        static constexpr LONG kModes[] = {GL_OBJECT_LINEAR, GL_EYE_LINEAR, GL_SPHERE_MAP};  // by lgi code
        const LONG mode = rec.mode < 3 ? kModes[rec.mode] : 0;
        std::memcpy(gajGathered, &mode, 4);
        return ulStaged(GLX_TYPE_INT, 1, type, ppv, pcj);
    }
    const ULONG cPlane = glParamCount(pname);
    static_assert(sizeof rec.objectPlane == glParamCount(GL_OBJECT_PLANE) * sizeof(float));
    std::memcpy(gajGathered, pname == GL_OBJECT_PLANE ? rec.objectPlane : rec.eyePlane, cPlane * sizeof(float));
    return ulStaged(GLX_TYPE_FLOAT, cPlane, type, ppv, pcj);
}

ULONG __glXGetTexParameter(GLClient*, ULONG target, ULONG pname, ULONG type, const void** ppv, ULONG* pcj) {
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_2D) return GL_INVALID_ENUM;
    const bool b2D = target == GL_TEXTURE_2D;
    ULONG aw[4] = {};
    LONG value;
    switch (pname) {
        case GL_TEXTURE_MAG_FILTER:
        case GL_TEXTURE_MIN_FILTER: {
            static constexpr LONG kFilters[] = {GL_NEAREST, GL_LINEAR, GL_NEAREST_MIPMAP_NEAREST,
                                                GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR_MIPMAP_NEAREST,
                                                GL_LINEAR_MIPMAP_LINEAR};
            vReadAttr(pname == GL_TEXTURE_MIN_FILTER ? (b2D ? N_ATTR_MIN_FILTER1 : N_ATTR_MIN_FILTER) : (b2D ? N_ATTR_MAG_FILTER1 : N_ATTR_MAG_FILTER), aw, 1);
            value = aw[0] < 6 ? kFilters[aw[0]] : 0;
            break;
        }
        case GL_TEXTURE_WRAP_S:
        case GL_TEXTURE_WRAP_T:
            vReadAttr(pname == GL_TEXTURE_WRAP_T ? N_ATTR_WRAP_T1 : (b2D ? N_ATTR_WRAP_S1 : N_ATTR_WRAP_S), aw, 1);
            value = aw[0] != 0 ? GL_CLAMP : GL_REPEAT;
            break;
        case GL_TEXTURE_BORDER_COLOR:
            vReadAttr(b2D ? N_ATTR_BORDER_COLOUR1 : N_ATTR_BORDER_COLOUR, aw, 4);
            std::memcpy(gajGathered, aw, sizeof aw);
            return ulStaged(GLX_TYPE_COLOR, 4, type, ppv, pcj);
        default: return GL_INVALID_ENUM;
    }
    std::memcpy(gajGathered, &value, 4);
    return ulStaged(GLX_TYPE_INT, 1, type, ppv, pcj);
}

ULONG __glXGetTexLevelParameter(GLClient* pgc, ULONG target, LONG level, ULONG pname, ULONG type,
                                const void** ppv, ULONG* pcj) {
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_2D) return GL_INVALID_ENUM;
    ULONG i;
    switch (pname) {
        case GL_TEXTURE_WIDTH: i = 0; break;
        case GL_TEXTURE_HEIGHT: i = 1; break;
        case GL_TEXTURE_COMPONENTS: i = 2; break;
        case GL_TEXTURE_BORDER: i = 3; break;
        default: return GL_INVALID_ENUM;
    }
    if (level < 0) return GL_INVALID_VALUE;
    const __GLXtexLevel* p = __glXFindLevel(pgc->gc, target, level);
    const ULONG aw[4] = {p != nullptr ? p->width : 0, p != nullptr ? p->height : 0, p != nullptr ? p->components : 1,
                         p != nullptr ? p->border : 0};
    std::memcpy(gajGathered, aw + i, 4);
    return ulStaged(GLX_TYPE_INT, 1, type, ppv, pcj);
}

// The four stored coefficients as doubles.
ULONG __glXDisp_GetClipPlane(GLClient* pgc, const void* pvRequest) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pvRequest, 1, &pj)) return x;
    ULONG plane;
    std::memcpy(&plane, pj, 4);
    plane -= GL_CLIP_PLANE0;
    if (plane >= 6) return __glXSingleError(pgc, pvRequest, GL_INVALID_ENUM);
    const ULONG* pw = pwBlockOf(pgc->gc, GL_TRANSFORM_BIT);
    float af[4] = {};
    if (pw != nullptr) std::memcpy(af, pw + GLX_TRANSFORM_PLANES + 4 * plane, sizeof af);
    double ad[4];
    for (ULONG i = 0; i < 4; ++i) ad[i] = af[i];
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    rp.length = 8;
    rp.size = 4;
    __glXSendReply(&rp, sizeof rp, ad, sizeof ad);
    return GLX_SUCCESS;
}

#define GLX_OBJECT_QUERY(name, getter, type) \
    ULONG __glXDisp_##name(GLClient* p, const void* r) { return ulQuery<ulObjectGetter<getter>, 2, type>(p, r); }
GLX_OBJECT_QUERY(GetLightfv, __glXGetLight, GLX_TYPE_FLOAT)
GLX_OBJECT_QUERY(GetLightiv, __glXGetLight, GLX_TYPE_INT)
GLX_OBJECT_QUERY(GetMaterialfv, __glXGetMaterial, GLX_TYPE_FLOAT)
GLX_OBJECT_QUERY(GetMaterialiv, __glXGetMaterial, GLX_TYPE_INT)
GLX_OBJECT_QUERY(GetTexEnvfv, __glXGetTexEnv, GLX_TYPE_FLOAT)
GLX_OBJECT_QUERY(GetTexEnviv, __glXGetTexEnv, GLX_TYPE_INT)
GLX_OBJECT_QUERY(GetMapdv, __glXGetMap, GLX_TYPE_DOUBLE)
GLX_OBJECT_QUERY(GetMapfv, __glXGetMap, GLX_TYPE_FLOAT)
GLX_OBJECT_QUERY(GetMapiv, __glXGetMap, GLX_TYPE_INT)
GLX_OBJECT_QUERY(GetTexGendv, __glXGetTexGen, GLX_TYPE_DOUBLE)
GLX_OBJECT_QUERY(GetTexGenfv, __glXGetTexGen, GLX_TYPE_FLOAT)
GLX_OBJECT_QUERY(GetTexGeniv, __glXGetTexGen, GLX_TYPE_INT)
GLX_OBJECT_QUERY(GetTexParameterfv, __glXGetTexParameter, GLX_TYPE_FLOAT)
GLX_OBJECT_QUERY(GetTexParameteriv, __glXGetTexParameter, GLX_TYPE_INT)
#undef GLX_OBJECT_QUERY

void __glXConvertValues(ULONG srcType, const void* pvSrc, ULONG c, ULONG dstType, void* pvDst) {
    const auto* pj = static_cast<const BYTE*>(pvSrc);
    auto* pd = static_cast<BYTE*>(pvDst);
    for (ULONG i = 0; i < c; ++i) {
        // Every source as a double (exact for all of them) and as an integer.
        double d;
        switch (srcType) {
            case GLX_TYPE_BOOLEAN: d = pj[i] != 0; break;
            case GLX_TYPE_INT: {
                LONG l;
                std::memcpy(&l, pj + 4 * i, 4);
                d = l;
                break;
            }
            case GLX_TYPE_DOUBLE: std::memcpy(&d, pj + 8 * i, 8); break;
            default: {
                float f;
                std::memcpy(&f, pj + 4 * i, 4);
                d = f;
                break;
            }
        }
        switch (dstType) {
            case GLX_TYPE_BOOLEAN: pd[i] = d != 0.0 || std::isnan(d); break;
            case GLX_TYPE_INT: {
                // Other floats round to the nearest integer (halves away
                // from zero); a colour maps [-1, 1] linearly onto
                // [-(2^31 - 1), 2^31 - 1]. Either way the result saturates,
                // and a NaN is 0.
                const double v = srcType == GLX_TYPE_COLOR ? std::round(d * 2147483647.0) : std::round(d);
                const LONG l = std::isnan(v) ? 0 : v >= 2147483647.0 ? 0x7FFFFFFF : v <= -2147483648.0 ? INT32_MIN
                                                                                       : static_cast<LONG>(v);
                std::memcpy(pd + 4 * i, &l, 4);
                break;
            }
            case GLX_TYPE_DOUBLE: std::memcpy(pd + 8 * i, &d, 8); break;
            default: {
                const float f = static_cast<float>(d);
                std::memcpy(pd + 4 * i, &f, 4);
                break;
            }
        }
    }
}

namespace {

// The matrix-stack variables: the stack depths (counting the top) and the
// top matrices, answered column-major as GL lays matrices out (the stacks
// keep them row-major). 0 when pname is not one of them, ~0u when the
// stacks cannot be had.
ULONG cMatrixVariable(GLContext* gc, ULONG pname, ULONG* pSrcType, BYTE* pjOut) {
    constexpr ULONG kStackDepth = GL_MODELVIEW_STACK_DEPTH, kMatrix = GL_MODELVIEW_MATRIX;
    const bool bDepth = pname - kStackDepth < 3, bMatrix = pname - kMatrix < 3;
    if (!bDepth && !bMatrix) return 0;
    const __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    if (pms == nullptr) return ~0u;
    if (bDepth) {
        const ULONG depth = pms->aDepth[pname - kStackDepth] + 1;
        std::memcpy(pjOut, &depth, 4);
        *pSrcType = GLX_TYPE_INT;
        return 1;
    }
    const ULONG k = pname - kMatrix;
    const float* m = pms->apStack[k][pms->aDepth[k]];
    float column[16];
    for (ULONG r = 0; r < 4; ++r)
        for (ULONG c = 0; c < 4; ++c) column[4 * c + r] = m[4 * r + c];
    std::memcpy(pjOut, column, sizeof column);
    *pSrcType = GLX_TYPE_FLOAT;
    return 16;
}

}  // namespace

ULONG __glXGetState(GLClient* pgc, ULONG pname, ULONG type, const void** ppv, ULONG* pcj) {
    Variable v{};
    bool bFound = false;
    for (const Variable& k : kVariables) {
        if (k.pname == pname) {
            v = k;
            bFound = true;
            break;
        }
    }
    if (const GLXCapability* pc = __glXCapability(pname)) {
        v = pc->count == 1 ? Variable{pname, kEnableBit, kAsIs, 1, 0, pc->flBit, B, 0, {}}
                           : Variable{pname, kEnableWord, kNonZero, 1, 0, pc->iWord + pname - pc->cap, B, 0, {}};
        bFound = true;
    }
    if (!bFound) {
        ULONG srcType = GLX_TYPE_INT;
        const ULONG cMatrix = cMatrixVariable(pgc->gc, pname, &srcType, gajGathered);
        if (cMatrix == ~0u) return GL_OUT_OF_MEMORY;
        if (cMatrix != 0) return ulStaged(srcType, cMatrix, type, ppv, pcj);
    }
    if (!bFound) {
        // The pixel store modes and the pixel map sizes.
        ULONG aw[4] = {}, srcType = GLX_TYPE_INT;
        const ULONG c = __glXPixelVariable(pgc->gc, pname, &srcType, aw);
        if (c == 0) return GL_INVALID_ENUM;
        for (ULONG i = 0; i < c; ++i) {
            if (srcType == GLX_TYPE_BOOLEAN) gajGathered[i] = aw[i] != 0;
            else std::memcpy(gajGathered + 4 * i, &aw[i], 4);
        }
        return ulStaged(srcType, c, type, ppv, pcj);
    }
    ULONG c;
    if (v.source == kEnableWord) {
        const ULONG* pw = pwBlockOf(pgc->gc, GL_ENABLE_BIT);
        gajGathered[0] = pw != nullptr && pw[v.where] != 0;
        c = 1;
    } else {
        c = cGather(pgc, v, gajGathered);
    }
    return ulStaged(v.type, c, type, ppv, pcj);
}

namespace {
ULONG ulStateGetter(GLClient* pgc, const ULONG* pw, ULONG type, const void** ppv, ULONG* pcj) {
    return __glXGetState(pgc, pw[0], type, ppv, pcj);
}
ULONG ulLevelGetter(GLClient* pgc, const ULONG* pw, ULONG type, const void** ppv, ULONG* pcj) {
    return __glXGetTexLevelParameter(pgc, pw[0], static_cast<LONG>(pw[1]), pw[2], type, ppv, pcj);
}
}  // namespace

ULONG __glXDisp_GetTexLevelParameterfv(GLClient* p, const void* r) {
    return ulQuery<ulLevelGetter, 3, GLX_TYPE_FLOAT>(p, r);
}
ULONG __glXDisp_GetTexLevelParameteriv(GLClient* p, const void* r) {
    return ulQuery<ulLevelGetter, 3, GLX_TYPE_INT>(p, r);
}

// The level's image in the format and type asked for, laid out by the pack
// state, the request's swap flag standing in for the state's; a level never
// loaded answers no image.
ULONG __glXDisp_GetTexImage(GLClient* pgc, const void* pvRequest) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pvRequest, 5, &pj)) return x;
    ULONG aw[5];
    std::memcpy(aw, pj, sizeof aw);
    const ULONG target = aw[0], format = aw[2], type = aw[3];
    const LONG level = static_cast<LONG>(aw[1]);
    const ULONG formatCode = format - GLX_TEX_FORMAT_FIRST, typeCode = __glXTypeCode(type);
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_2D) return __glXSingleError(pgc, pvRequest, GL_INVALID_ENUM);
    if (formatCode < 3 || formatCode > 10 || typeCode == ~0u || typeCode == 2)
        return __glXSingleError(pgc, pvRequest, GL_INVALID_ENUM);
    // A level past the last a texture image may be loaded at is GL's
    // invalid value, as for the image itself.
    if (level < 0 || static_cast<ULONG>(level) >= GLX_TEX_LEVELS)
        return __glXSingleError(pgc, pvRequest, GL_INVALID_VALUE);
    const __GLXtexLevel* p = __glXFindLevel(pgc->gc, target, level);
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    if (p == nullptr || p->pvImage == nullptr) {
        __glXSendReply(&rp, sizeof rp, nullptr, 0);
        return GLX_SUCCESS;
    }
    void* pvImage = nullptr;
    ULONG cjImage = 0;
    ULONG glError = __glXLevelImage(p, formatCode, typeCode, &pvImage, &cjImage);
    if (glError != GL_NO_ERROR) return __glXSingleError(pgc, pvRequest, glError);
    __GLXimage out{};
    glError = __glXPackImage(pgc->gc, static_cast<BYTE>((aw[4] & 0xFF) != 0), 0, static_cast<LONG>(p->width),
                             static_cast<LONG>(p->height), type, __glXTexFormatComponents(formatCode),
                             __glXTexTypeSize(typeCode), static_cast<const BYTE*>(pvImage), &out, FALSE);
    auto vFree = [&] {
        __glXFreeImage(&out);
        if (pvImage != p->pvImage) LocalFree(pvImage);
    };
    if (glError != GL_NO_ERROR) {
        vFree();
        return __glXSingleError(pgc, pvRequest, glError);
    }
    const ULONG cjOut = static_cast<ULONG>(out.cj);  // held to GLX_MAX_IMAGE_BYTES
    const void* pvOut = out.pj;
    rp.length = (cjOut + 3) / 4;
    rp.pad3 = p->width;
    rp.pad4 = p->height;
    rp.pad5 = 1;
    // Whole words go out: the image padded with zeros.
    std::vector<BYTE> vj;
    try {
        vj.assign(rp.length * 4, 0);
    } catch (const std::bad_alloc&) {
        vFree();
        return __glXSingleError(pgc, pvRequest, GL_OUT_OF_MEMORY);
    }
    if (cjOut != 0) std::memcpy(vj.data(), pvOut, cjOut);
    vFree();
    __glXSendReply(&rp, sizeof rp, vj.data(), rp.length * 4);
    return GLX_SUCCESS;
}

ULONG __glXDisp_GetBooleanv(GLClient* p, const void* r) { return ulQuery<ulStateGetter, 1, GLX_TYPE_BOOLEAN>(p, r); }
ULONG __glXDisp_GetIntegerv(GLClient* p, const void* r) { return ulQuery<ulStateGetter, 1, GLX_TYPE_INT>(p, r); }
ULONG __glXDisp_GetFloatv(GLClient* p, const void* r) { return ulQuery<ulStateGetter, 1, GLX_TYPE_FLOAT>(p, r); }
ULONG __glXDisp_GetDoublev(GLClient* p, const void* r) { return ulQuery<ulStateGetter, 1, GLX_TYPE_DOUBLE>(p, r); }

namespace {
// IsEnabled answers capabilities only (what Enable and Disable take); any
// other name, a state variable of Get included, is no capability.
bool bCapability(ULONG pname) { return __glXCapability(pname) != nullptr; }
ULONG ulCapabilityGetter(GLClient* pgc, const ULONG* pw, ULONG type, const void** ppv, ULONG* pcj) {
    if (!bCapability(pw[0])) return GL_INVALID_ENUM;
    return __glXGetState(pgc, pw[0], type, ppv, pcj);
}
}  // namespace

// The answer is the reply's +8 word, as the published encoding has it.
ULONG __glXDisp_IsEnabled(GLClient* p, const void* r) {
    return ulQuery<ulCapabilityGetter, 1, GLX_TYPE_BOOLEAN, true>(p, r);
}

ULONG __glXDisp_GetError(GLClient* pgc, const void* pvRequest) {
    // Inside Begin/End it answers 0 and the misplaced query becomes the
    // pending error, so the start's Begin/End refusal is not used here.
    if (const ULONG x = __glXSingleAttach(pgc, pvRequest)) return x;
    GLContext* gc = pgc->gc;
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    ULONG error = 0;
    if (gc->bInBegin) {
        __glXSingleError(pgc, pvRequest, GL_INVALID_OPERATION);
    } else {
        __glXFlushPending(pgc);
        error = gc->error;
        gc->error = GL_NO_ERROR;
    }
    rp.retval = error;  // at +8, as the published encoding has it
    __glXSendReply(&rp, sizeof rp, nullptr, 0);
    return GLX_SUCCESS;
}

ULONG __glXDisp_GetString(GLClient* pgc, const void* pvRequest) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pvRequest, 1, &pj)) return x;
    ULONG name;
    std::memcpy(&name, pj, 4);
    static const char kVendor[24] = "Trelwick Inc.";
    const char* psz;
    switch (name) {
        case GL_VENDOR: psz = kVendor; break;
        case GL_RENDERER: {
            const BoardConfig* pbc = __glBoardConfig(pgc->gc);
            const ULONG c = pbc != nullptr ? pbc->rasterizers : 0;
            psz = c == 2 ? "Vornix Duo" : c == 4 ? "Vornix Quad" : "Vornix Solo";
            break;
        }
        case GL_VERSION: psz = "1.0 2.94"; break;
        case GL_EXTENSIONS: psz = ""; break;
        default: return __glXSingleError(pgc, pvRequest, GL_INVALID_ENUM);
    }
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    rp.size = static_cast<ULONG>(std::strlen(psz)) + 1;
    rp.length = (rp.size + 3) / 4;
    // The string padded to whole words with zeros.
    BYTE aj[28] = {};
    std::memcpy(aj, psz, rp.size);
    __glXSendReply(&rp, sizeof rp, aj, rp.length * 4);
    return GLX_SUCCESS;
}
