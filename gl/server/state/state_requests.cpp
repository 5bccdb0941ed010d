// Render requests that set fixed-function state: rasterisation, fragment
// tests and blending, fog, viewport and scissor, clip planes and the
// current values (Enable and Disable: enable_requests.cpp; the attribute
// stack: attrib_stack.cpp; buffers, masks and clears: buffer_requests.cpp). Every handler hands the pending batch
// on, decodes its body, checks it whole and only then stores the values the
// server keeps in its attribute-group blocks and sends the lgi layer the
// translated codes.
#include "state/state_requests.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "boardconfig.h"
#include "dispatch/dispatch.h"
#include "state/glstate.h"
#include "lgi/lgi.h"
#include "light/light.h"
#include "pixel/pixel.h"
#include "pixfmt/pixfmt.h"
#include "dispatch/render_args.h"
#include "glrequest_sizes.h"
#include "seams.h"
#include "state/state_steps.h"

namespace {

using namespace glx_state;

// The comparison functions NEVER .. ALWAYS as 0..7, or ~0.
ULONG ulFunc(ULONG func) { return func - GL_NEVER < 8 ? func - GL_NEVER : ~0u; }


// --- the steps ---------------------------------------------------------------------

ULONG ulCullFace(GLContext* gc, const BYTE* pj) {
    ULONG code;
    switch (__glXArgWord(pj, 0)) {
        case GL_FRONT: code = 2; break;
        case GL_BACK: code = 1; break;
        default: return GL_INVALID_ENUM;  // FRONT_AND_BACK included
    }
    if (ULONG* pw = pwBlock(gc, GL_POLYGON_BIT)) pw[GLX_POLYGON_CULL] = code;
    N_SetStateBlockAttrWord(N_ATTR_CULL_MODE, code);
    return GL_NO_ERROR;
}

ULONG ulFrontFace(GLContext* gc, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    if (mode != GL_CW && mode != GL_CCW) return GL_INVALID_ENUM;
    if (ULONG* pw = pwBlock(gc, GL_POLYGON_BIT)) pw[GLX_POLYGON_FRONT_FACE] = mode;
    N_SetStateBlockAttrWord(N_ATTR_FRONT_FACE, mode == GL_CW ? 0u : 1u);
    return GL_NO_ERROR;
}

ULONG ulHint(GLContext* gc, const BYTE* pj) {
    const ULONG target = __glXArgWord(pj, 0), mode = __glXArgWord(pj, 1);
    if (mode - GL_DONT_CARE > GL_NICEST - GL_DONT_CARE || target - GL_PERSPECTIVE_CORRECTION_HINT >= GLX_HINTS) return GL_INVALID_ENUM;
    if (ULONG* pw = pwBlock(gc, GL_HINT_BIT)) pw[target - GL_PERSPECTIVE_CORRECTION_HINT] = mode;
    return GL_NO_ERROR;
}

bool bEnabled(GLContext* gc, ULONG flBit) {
    const ULONG* pw = pwBlock(gc, GL_ENABLE_BIT);
    return pw != nullptr && (pw[GLX_ENABLE_BITS] & flBit) != 0;
}

ULONG ulLineStipple(GLContext* gc, const BYTE* pj) {
    const LONG factor = std::clamp(static_cast<LONG>(__glXArgWord(pj, 0)), 1, 255);
    USHORT us;
    std::memcpy(&us, pj + 4, 2);
    const ULONG pattern = (static_cast<ULONG>(us) << 16) | us;
    if (ULONG* pw = pwBlock(gc, GL_LINE_BIT)) {
        pw[GLX_LINE_REPEAT] = static_cast<ULONG>(factor);
        pw[GLX_LINE_PATTERN] = pattern;
    }
    if (bEnabled(gc, GLX_EN_LINE_STIPPLE)) {
        N_SetStateBlockAttrWord(N_ATTR_LINE_STIPPLE_REPEAT, static_cast<ULONG>(factor));
        N_SetStateBlockAttrWord(N_ATTR_LINE_STIPPLE, pattern);
    }
    return GL_NO_ERROR;
}

// Width and size must be above 0 (a NaN is not).
template <ULONG id>
ULONG ulPositive(GLContext*, const BYTE* pj) {
    const float f = __glXArgFloat(pj, 0);
    if (!(f > 0.0f)) return GL_INVALID_VALUE;
    N_SetStateBlockAttr(id, &f);
    return GL_NO_ERROR;
}

ULONG ulPolygonMode(GLContext* gc, const BYTE* pj) {
    const ULONG face = __glXArgWord(pj, 0), mode = __glXArgWord(pj, 1);
    if (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK) return GL_INVALID_ENUM;
    if (mode != GL_POINT && mode != GL_LINE && mode != GL_FILL) return GL_INVALID_ENUM;
    const ULONG code = mode - GL_POINT;
    const ULONG sent = code == kFillCode && bEnabled(gc, GLX_EN_POLYGON_STIPPLE) ? kFillStippledCode : code;
    ULONG* pw = pwBlock(gc, GL_POLYGON_BIT);
    if (face != GL_BACK) {
        if (pw != nullptr) pw[GLX_POLYGON_FRONT_MODE] = code;
        N_SetStateBlockAttrWord(N_ATTR_POLYGON_FRONT, sent);
    }
    if (face != GL_FRONT) {
        if (pw != nullptr) pw[GLX_POLYGON_BACK_MODE] = code;
        N_SetStateBlockAttrWord(N_ATTR_POLYGON_BACK, sent);
    }
    return GL_NO_ERROR;
}

ULONG ulShadeModel(GLContext*, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    if (mode != GL_FLAT && mode != GL_SMOOTH) return GL_INVALID_ENUM;
    const ULONG code = mode == GL_FLAT ? 1u : 2u;
    for (const ULONG id : {81u, 82u, 89u}) N_SetStateBlockAttrWord(id, code);
    return GL_NO_ERROR;
}

// Is the board split across two screens?
bool bSplitBoard(GLContext* gc) {
    const BoardConfig* pbc = __glBoardConfig(gc);
    return pbc != nullptr && (pbc->flags & BCF_DUAL_MONITOR) != 0;
}

ULONG ulViewport(GLContext* gc, const BYTE* pj) {
    const LONG x = static_cast<LONG>(__glXArgWord(pj, 0)), y = static_cast<LONG>(__glXArgWord(pj, 1));
    const LONG w = static_cast<LONG>(__glXArgWord(pj, 2)), h = static_cast<LONG>(__glXArgWord(pj, 3));
    if (w <= 0 || h <= 0) return GL_INVALID_VALUE;
    if (!bSplitBoard(gc) && (x < 0 || y < 0 || w > 1280 || h > 1024)) return GL_NO_ERROR;  // ignored
    if (ULONG* pw = pwBlock(gc, GL_VIEWPORT_BIT)) {
        pw[GLX_VIEWPORT_UNSET] = 0;
        std::memcpy(pw + GLX_VIEWPORT_X, pj, 16);
    }
    gc->dirty |= GLX_DIRTY_VIEWPORT;
    return GL_NO_ERROR;
}

ULONG ulScissor(GLContext* gc, const BYTE* pj) {
    // A box of negative size is refused, the box kept.
    if (static_cast<LONG>(__glXArgWord(pj, 2)) < 0 || static_cast<LONG>(__glXArgWord(pj, 3)) < 0)
        return GL_INVALID_VALUE;
    if (ULONG* pw = pwBlock(gc, GL_SCISSOR_BIT)) {
        pw[GLX_SCISSOR_UNSET] = 0;
        std::memcpy(pw + GLX_SCISSOR_X, pj, 16);
    }
    if (bEnabled(gc, GLX_EN_SCISSOR_TEST)) gc->dirty |= GLX_DIRTY_CLIP;
    return GL_NO_ERROR;
}

}  // namespace

void __glXWindowBound(GLContext* gc, LONG cx, LONG cy) {
    const LONG box[4] = {0, 0, cx > 0 ? cx : 0, cy > 0 ? cy : 0};
    ULONG* pwv = pwBlock(gc, GL_VIEWPORT_BIT);
    if (pwv != nullptr && pwv[GLX_VIEWPORT_UNSET] != 0) {
        pwv[GLX_VIEWPORT_UNSET] = 0;
        std::memcpy(pwv + GLX_VIEWPORT_X, box, sizeof box);
        gc->dirty |= GLX_DIRTY_VIEWPORT;
    }
    ULONG* pws = pwBlock(gc, GL_SCISSOR_BIT);
    if (pws != nullptr && pws[GLX_SCISSOR_UNSET] != 0) {
        pws[GLX_SCISSOR_UNSET] = 0;
        std::memcpy(pws + GLX_SCISSOR_X, box, sizeof box);
        gc->dirty |= GLX_DIRTY_CLIP;
    }
}

namespace {

ULONG ulAlphaFunc(GLContext*, const BYTE* pj) {
    const ULONG func = ulFunc(__glXArgWord(pj, 0));
    if (func == ~0u) return GL_INVALID_ENUM;
    const float ref = __glXArgFloat(pj, 1);
    const float clamped = ref > 1.0f ? 1.0f : (ref >= 0.0f ? ref : 0.0f);  // a NaN becomes 0
    const ULONG aw[2] = {func, __glXFloatBits(clamped)};
    N_SetStateBlockAttr(N_ATTR_ALPHA_FUNC, aw);
    return GL_NO_ERROR;
}

ULONG ulBlendSource(ULONG f) {
    switch (f) {
        case GL_ZERO: return 0;
        case GL_ONE: return 1;
        case GL_DST_COLOR: return 2;
        case GL_ONE_MINUS_DST_COLOR: return 3;
        case GL_SRC_ALPHA: return 4;
        case GL_ONE_MINUS_SRC_ALPHA: return 5;
        case GL_DST_ALPHA: return 6;
        case GL_ONE_MINUS_DST_ALPHA: return 7;
        case GL_SRC_ALPHA_SATURATE: return 8;
        default: return ~0u;
    }
}
ULONG ulBlendDest(ULONG f) {
    switch (f) {
        case GL_ZERO: return 0;
        case GL_ONE: return 1;
        case GL_SRC_COLOR: return 9;
        case GL_ONE_MINUS_SRC_COLOR: return 10;
        case GL_SRC_ALPHA: return 4;
        case GL_ONE_MINUS_SRC_ALPHA: return 5;
        case GL_DST_ALPHA: return 6;
        case GL_ONE_MINUS_DST_ALPHA: return 7;
        default: return ~0u;
    }
}

ULONG ulBlendFunc(GLContext*, const BYTE* pj) {
    const ULONG aw[2] = {ulBlendSource(__glXArgWord(pj, 0)), ulBlendDest(__glXArgWord(pj, 1))};
    if (aw[0] == ~0u || aw[1] == ~0u) return GL_INVALID_ENUM;
    N_SetStateBlockAttr(N_ATTR_BLEND_FUNC, aw);
    return GL_NO_ERROR;
}

ULONG ulLogicOp(GLContext*, const BYTE* pj) {
    const ULONG op = __glXArgWord(pj, 0) - GL_CLEAR;
    if (op >= 16) return GL_INVALID_ENUM;
    N_SetStateBlockAttrWord(N_ATTR_LOGIC_OP_CODE, op);
    return GL_NO_ERROR;
}

ULONG ulStencilFunc(GLContext* gc, const BYTE* pj) {
    const ULONG func = ulFunc(__glXArgWord(pj, 0));
    if (func == ~0u) return GL_INVALID_ENUM;
    const ULONG max = __glXBitMask(static_cast<LONG>(ulStencilBits(gc)));
    const ULONG aw[3] = {func, std::min(__glXArgWord(pj, 1), max), __glXArgWord(pj, 2) & max};
    N_SetStateBlockAttr(N_ATTR_STENCIL_FUNC, aw);
    return GL_NO_ERROR;
}

ULONG ulStencilAction(ULONG op) {
    switch (op) {
        case GL_KEEP: return 0;
        case GL_ZERO: return 1;
        case GL_REPLACE: return 2;
        case GL_INCR: return 3;
        case GL_DECR: return 4;
        case GL_INVERT: return 5;
        default: return ~0u;
    }
}

ULONG ulStencilOp(GLContext*, const BYTE* pj) {
    const ULONG fail = ulStencilAction(__glXArgWord(pj, 0));
    const ULONG zfail = ulStencilAction(__glXArgWord(pj, 1));
    const ULONG zpass = ulStencilAction(__glXArgWord(pj, 2));
    if (fail == ~0u || zfail == ~0u || zpass == ~0u) return GL_INVALID_ENUM;
    const ULONG aw[3] = {fail, zpass, zfail};
    N_SetStateBlockAttr(N_ATTR_STENCIL_OP, aw);
    return GL_NO_ERROR;
}

ULONG ulDepthFunc(GLContext*, const BYTE* pj) {
    const ULONG func = ulFunc(__glXArgWord(pj, 0));
    if (func == ~0u) return GL_INVALID_ENUM;
    N_SetStateBlockAttrWord(N_ATTR_DEPTH_FUNC, func);
    return GL_NO_ERROR;
}

float fUnit(double d) { return static_cast<float>(d > 1.0 ? 1.0 : (d >= 0.0 ? d : 0.0)); }

ULONG ulDepthRange(GLContext* gc, const BYTE* pj) {
    const float af[2] = {fUnit(__glXArgDouble(pj, 0)), fUnit(__glXArgDouble(pj, 1))};
    if (ULONG* pw = pwBlock(gc, GL_VIEWPORT_BIT)) std::memcpy(pw + GLX_VIEWPORT_NEAR, af, sizeof af);
    N_SetStateBlockAttr(N_ATTR_DEPTH_RANGE, af);
    return GL_NO_ERROR;
}

ULONG ulPixelZoom(GLContext*, const BYTE* pj) {
    const float x = __glXArgFloat(pj, 0), y = __glXArgFloat(pj, 1);
    N_SetStateBlockAttr(N_ATTR_ZOOM_X, &x);
    N_SetStateBlockAttr(N_ATTR_ZOOM_Y, &y);
    return GL_NO_ERROR;
}

// Fog: a parameter and its values as floats (the colour converted from
// integers already); bVector: the vector forms.
ULONG ulSetFog(ULONG pname, const float* pf, bool bVector) {
    switch (pname) {
        case GL_FOG_INDEX: N_SetStateBlockAttr(N_ATTR_FOG_INDEX, pf); return GL_NO_ERROR;
        case GL_FOG_DENSITY:
            // A negative density is refused, the density kept.
            if (!(pf[0] >= 0.0f)) return GL_INVALID_VALUE;
            N_SetStateBlockAttr(N_ATTR_FOG_DENSITY, pf);
            return GL_NO_ERROR;
        case GL_FOG_START: N_SetStateBlockAttr(N_ATTR_FOG_START, pf); return GL_NO_ERROR;
        case GL_FOG_END: N_SetStateBlockAttr(N_ATTR_FOG_END, pf); return GL_NO_ERROR;
        case GL_FOG_MODE: {
            // Truncated to an integer first; a value out of range is no mode.
            const double d = std::trunc(static_cast<double>(pf[0]));
            const ULONG mode = d >= 0.0 && d <= 65535.0 ? static_cast<ULONG>(d) : ~0u;
            ULONG code;
            switch (mode) {
                case GL_EXP: code = 0; break;
                case GL_EXP2: code = 1; break;
                case GL_LINEAR: code = 2; break;
                default: return GL_INVALID_ENUM;
            }
            N_SetStateBlockAttrWord(N_ATTR_FOG_MODE, code);
            return GL_NO_ERROR;
        }
        case GL_FOG_COLOR:
            if (!bVector) return GL_INVALID_ENUM;
            N_SetStateBlockAttr(N_ATTR_FOG_COLOUR, pf);
            return GL_NO_ERROR;
        default: return GL_INVALID_ENUM;
    }
}

template <bool bInt, bool bVector>
ULONG ulFog(GLClient* pgc, const void* pv) {
    // The vector forms carry as many values as the parameter takes (the
    // length check made sure); an unknown parameter is refused unread.
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const ULONG pname = __glXArgWord(pj, 0);
    const ULONG cValues = bVector ? GLXParamValues(X_GLrop_Fogfv, pname) : 1;
    if (cValues == 0 || pname - GL_FOG_INDEX > GL_FOG_COLOR - GL_FOG_INDEX)
        return __glXRenderResult(pgc, pv, GL_INVALID_ENUM);
    float af[4] = {};
    for (ULONG i = 0; i < cValues; ++i) {
        if (!bInt) {
            af[i] = __glXArgFloat(pj, 1 + i);
        } else {
            const LONG l = static_cast<LONG>(__glXArgWord(pj, 1 + i));
            af[i] = pname == GL_FOG_COLOR ? __glXIntColor(l) : static_cast<float>(l);
        }
    }
    return __glXRenderResult(pgc, pv, ulSetFog(pname, af, bVector));
}

// --- clip planes -------------------------------------------------------------------------

ULONG ulClipPlane(GLContext* gc, const BYTE* pj) {
    const ULONG plane = __glXArgWord(pj, 8) - GL_CLIP_PLANE0;
    if (plane >= 6) return GL_INVALID_ENUM;
    float af[4];
    for (ULONG i = 0; i < 4; ++i) af[i] = static_cast<float>(__glXArgDouble(pj, i));
    if (ULONG* pw = pwBlock(gc, GL_TRANSFORM_BIT)) std::memcpy(pw + GLX_TRANSFORM_PLANES + 4 * plane, af, sizeof af);
    if ((gc->dirty & GLX_DIRTY_CLIP_PLANES) && __glXPushClipPlanes(gc)) gc->dirty &= ~GLX_DIRTY_CLIP_PLANES;
    N_SetClipPlane(plane, af);
    return GL_NO_ERROR;
}

// --- the current values --------------------------------------------------------------

enum Kind : BYTE { kB, kUB, kS, kUS, kI, kUI, kF, kD };
constexpr BYTE kSize[] = {1, 1, 2, 2, 4, 4, 4, 8};

struct CurrentRequest {
    BYTE kind;
    BYTE count;
    BYTE attr;
    bool bColorRule;  // integers convert by the colour rule
};

// By opcode: the runs of Color, EdgeFlag, Index, Normal and TexCoord
// requests, each in the description's order of types.
constexpr CurrentRequest kCurrent(ULONG op) {
    constexpr BYTE kColorKinds[] = {kB, kD, kF, kI, kS, kUB, kUI, kUS};
    constexpr BYTE kDFIS[] = {kD, kF, kI, kS};
    constexpr BYTE kNormalKinds[] = {kB, kD, kF, kI, kS};
    if (op >= X_GLrop_Color3bv && op <= X_GLrop_Color4usv)
        return {kColorKinds[(op - X_GLrop_Color3bv) % 8], static_cast<BYTE>(op < X_GLrop_Color4bv ? 3 : 4),
                N_ATTR_COLOUR, true};
    if (op == X_GLrop_EdgeFlagv) return {kUB, 1, N_ATTR_EDGE_FLAG, false};
    if (op >= X_GLrop_Indexdv && op <= X_GLrop_Indexsv) return {kDFIS[op - X_GLrop_Indexdv], 1, N_ATTR_INDEX, false};
    if (op >= X_GLrop_Normal3bv && op <= X_GLrop_Normal3sv)
        return {kNormalKinds[op - X_GLrop_Normal3bv], 3, N_ATTR_NORMAL, true};
    return {kDFIS[(op - X_GLrop_TexCoord1dv) % 4], static_cast<BYTE>(1 + (op - X_GLrop_TexCoord1dv) / 4),
            N_ATTR_TEXCOORD, false};
}

float fComponent(const BYTE* pj, BYTE kind, ULONG i, bool bColorRule) {
    const BYTE* p = pj + i * kSize[kind];
    switch (kind) {
        case kB: {
            const signed char c = static_cast<signed char>(*p);
            return bColorRule ? static_cast<float>((2.0 * c + 1.0) / 255.0) : c;
        }
        case kUB: return bColorRule ? static_cast<float>(*p / 255.0) : *p;
        case kS: {
            SHORT s;
            std::memcpy(&s, p, 2);
            return bColorRule ? static_cast<float>((2.0 * s + 1.0) / 65535.0) : s;
        }
        case kUS: {
            USHORT s;
            std::memcpy(&s, p, 2);
            return bColorRule ? static_cast<float>(s / 65535.0) : s;
        }
        case kI: {
            LONG l;
            std::memcpy(&l, p, 4);
            return bColorRule ? __glXIntColor(l) : static_cast<float>(l);
        }
        case kUI: {
            ULONG u;
            std::memcpy(&u, p, 4);
            return bColorRule ? static_cast<float>(u / 4294967295.0) : static_cast<float>(u);
        }
        case kF: {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        default: {
            double d;
            std::memcpy(&d, p, 8);
            return static_cast<float>(d);
        }
    }
}

}  // namespace

ULONG __glXIndexWriteMask(const GLContext* gc, ULONG mask) {
    // An index format has no channel masks: its index bits are the colour
    // bits (none on an RGBA visual).
    const GLVisual* pvis = gc->pvis;
    if (pvis == nullptr || pvis->bRGBA) return 0;
    const ULONG flIndex = __glXBitMask(static_cast<LONG>(pvis->cColorBits));
    return pvis->cColorBits == 4 ? (mask & flIndex) << 4 : mask & flIndex;
}

ULONG __glXVertexFloats(ULONG op, const BYTE* pj, float* pf) {
    constexpr BYTE kDFIS[] = {kD, kF, kI, kS};
    const CurrentRequest r =
        op >= X_GLrop_Vertex2dv && op <= X_GLrop_Vertex4sv
            ? CurrentRequest{kDFIS[(op - X_GLrop_Vertex2dv) % 4], static_cast<BYTE>(2 + (op - X_GLrop_Vertex2dv) / 4), 0,
                             false}
            : kCurrent(op);
    pf[0] = pf[1] = pf[2] = 0.0f;
    pf[3] = 1.0f;
    if (op == X_GLrop_EdgeFlagv) {
        pf[0] = pj[0];
        return 1;
    }
    for (ULONG i = 0; i < r.count; ++i) pf[i] = fComponent(pj, r.kind, i, r.bColorRule);
    return r.count;
}

namespace {

template <ULONG op>
ULONG ulCurrentValue(GLClient* pgc, const void* pv) {
    constexpr CurrentRequest r = kCurrent(op);
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    if (op == X_GLrop_EdgeFlagv) {
        N_SetStateBlockAttrWord(r.attr, pj[0]);
        return GLX_SUCCESS;
    }
    // Missing components: alpha 1; t and r 0, q 1.
    float af[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (ULONG i = 0; i < r.count; ++i) af[i] = fComponent(pj, r.kind, i, r.bColorRule);
    N_SetStateBlockAttr(r.attr, af);
    return GLX_SUCCESS;
}

}  // namespace

ULONG __glXDisp_ClipPlane(GLClient* p, const void* r) { return ulRequest<ulClipPlane>(p, r); }

// The stipple: a 32 x 32 bitmap behind the request's own pixel-store
// header, unpacked by it into 32 rows of four bytes (leftmost pixel in the
// top bit); the header becomes the unpack state.
ULONG __glXDisp_PolygonStipple(GLClient* pgc, const void* pv) {
    constexpr ULONG cjHeader = 20;
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const ULONG cjData = __glXRenderLength(pgc, pv) - 4 - cjHeader;
    if (const ULONG e = __glXSetRequestUnpack(pgc->gc, pj)) return __glXRenderResult(pgc, pv, e);
    __GLXimage image;
    const ULONG glError = __glXUnpackImage(pgc->gc, 32, 32, GL_BITMAP, 1, 0, pj + cjHeader, cjData, &image, FALSE);
    if (glError == GL_NO_ERROR) {
        ULONG awMask[32];
        std::memcpy(awMask, image.pj, sizeof awMask);
        N_SetStateBlockAttr(N_ATTR_POLYGON_STIPPLE, awMask);
    }
    __glXFreeImage(&image);
    return __glXRenderResult(pgc, pv, glError);
}
ULONG __glXDisp_CullFace(GLClient* p, const void* r) { return ulRequest<ulCullFace>(p, r); }
ULONG __glXDisp_Fogf(GLClient* p, const void* r) { return ulFog<false, false>(p, r); }
ULONG __glXDisp_Fogfv(GLClient* p, const void* r) { return ulFog<false, true>(p, r); }
ULONG __glXDisp_Fogi(GLClient* p, const void* r) { return ulFog<true, false>(p, r); }
ULONG __glXDisp_Fogiv(GLClient* p, const void* r) { return ulFog<true, true>(p, r); }
ULONG __glXDisp_FrontFace(GLClient* p, const void* r) { return ulRequest<ulFrontFace>(p, r); }
ULONG __glXDisp_Hint(GLClient* p, const void* r) { return ulRequest<ulHint>(p, r); }
ULONG __glXDisp_LineStipple(GLClient* p, const void* r) { return ulRequest<ulLineStipple>(p, r); }
ULONG __glXDisp_LineWidth(GLClient* p, const void* r) { return ulRequest<ulPositive<N_ATTR_LINE_WIDTH>>(p, r); }
ULONG __glXDisp_PointSize(GLClient* p, const void* r) { return ulRequest<ulPositive<N_ATTR_POINT_SIZE>>(p, r); }
ULONG __glXDisp_PolygonMode(GLClient* p, const void* r) { return ulRequest<ulPolygonMode>(p, r); }
ULONG __glXDisp_Scissor(GLClient* p, const void* r) { return ulRequest<ulScissor>(p, r); }
ULONG __glXDisp_ShadeModel(GLClient* p, const void* r) { return ulRequest<ulShadeModel>(p, r); }
ULONG __glXDisp_AlphaFunc(GLClient* p, const void* r) { return ulRequest<ulAlphaFunc>(p, r); }
ULONG __glXDisp_BlendFunc(GLClient* p, const void* r) { return ulRequest<ulBlendFunc>(p, r); }
ULONG __glXDisp_LogicOp(GLClient* p, const void* r) { return ulRequest<ulLogicOp>(p, r); }
ULONG __glXDisp_StencilFunc(GLClient* p, const void* r) { return ulRequest<ulStencilFunc>(p, r); }
ULONG __glXDisp_StencilOp(GLClient* p, const void* r) { return ulRequest<ulStencilOp>(p, r); }
ULONG __glXDisp_DepthFunc(GLClient* p, const void* r) { return ulRequest<ulDepthFunc>(p, r); }
ULONG __glXDisp_PixelZoom(GLClient* p, const void* r) { return ulRequest<ulPixelZoom>(p, r); }
ULONG __glXDisp_DepthRange(GLClient* p, const void* r) { return ulRequest<ulDepthRange>(p, r); }
ULONG __glXDisp_Viewport(GLClient* p, const void* r) { return ulRequest<ulViewport>(p, r); }

#define GLX_DEFINE_CURRENT(name) \
    ULONG __glXDisp_##name(GLClient* p, const void* r) { return ulCurrentValue<X_GLrop_##name>(p, r); }
GLX_CURRENT_VALUE_REQUESTS(GLX_DEFINE_CURRENT)
#undef GLX_DEFINE_CURRENT
