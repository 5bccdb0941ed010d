// Render requests that set fixed-function state. Every handler hands the
// pending batch on, decodes its body, checks it whole and only then stores
// the values the server keeps in its attribute-group blocks and sends the
// lgi layer the translated codes.
#include "state/state_requests.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "boardconfig.h"
#include "dispatch/dispatch.h"
#include "state/caps.h"
#include "state/glstate.h"
#include "lgi/lgi.h"
#include "light/light.h"
#include "pixel/pixel.h"
#include "pixfmt/pixfmt.h"
#include "dispatch/render_args.h"
#include "seams.h"

namespace {

// GL enumerants these requests take.
constexpr ULONG kNever = 0x200;  // NEVER .. ALWAYS run 0x200..0x207
constexpr ULONG kFront = 0x404, kBack = 0x405, kFrontAndBack = 0x408;
constexpr ULONG kCW = 0x900, kCCW = 0x901;
constexpr ULONG kPoint = 0x1B00, kLine = 0x1B01, kFill = 0x1B02;
constexpr ULONG kFlat = 0x1D00, kSmooth = 0x1D01;
constexpr ULONG kDontCare = 0x1100, kNicest = 0x1102;
constexpr ULONG kClear = 0x1500;  // CLEAR .. SET run 0x1500..0x150F
constexpr ULONG kKeep = 0x1E00, kReplace = 0x1E01, kIncr = 0x1E02, kDecr = 0x1E03, kInvert = 0x150A;
constexpr ULONG kZero = 0, kOne = 1;
constexpr ULONG kSrcColor = 0x300, kOneMinusSrcColor = 0x301, kSrcAlpha = 0x302, kOneMinusSrcAlpha = 0x303,
                kDstAlpha = 0x304, kOneMinusDstAlpha = 0x305, kDstColor = 0x306, kOneMinusDstColor = 0x307,
                kSrcAlphaSaturate = 0x308;
constexpr ULONG kFogIndex = 0xB61, kFogDensity = 0xB62, kFogStart = 0xB63, kFogEnd = 0xB64, kFogMode = 0xB65,
                kFogColor = 0xB66;
constexpr ULONG kExp = 0x800, kExp2 = 0x801, kLinear = 0x2601;
constexpr ULONG kHintFirst = 0xC50;  // PERSPECTIVE_CORRECTION, POINT, LINE, POLYGON, FOG hints

// lgi codes.
constexpr ULONG kFillCode = 2, kFillStippledCode = 3;
constexpr ULONG kClipPlane0First = 0x3000;

unsigned uBit(ULONG flGroup) { return static_cast<unsigned>(__builtin_ctz(flGroup)); }

ULONG* pwBlock(GLContext* gc, ULONG flGroup) {
    return gc->pState != nullptr ? gc->pState->blocks[uBit(flGroup)] : nullptr;
}

// A request whose checked body a step turns into a GL error.
template <ULONG (*pfnStep)(GLContext*, const BYTE*)>
ULONG ulRequest(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    return __glXRenderResult(pgc, pv, pfnStep(pgc->gc, pj));
}

// Words in, one lgi attribute out.
template <ULONG id, ULONG cWords>
ULONG ulAttr(GLContext*, const BYTE* pj) {
    ULONG aw[cWords];
    std::memcpy(aw, pj, sizeof aw);
    N_SetStateBlockAttr(id, aw);
    return GL_NO_ERROR;
}

// The comparison functions NEVER .. ALWAYS as 0..7, or ~0.
ULONG ulFunc(ULONG func) { return func - kNever < 8 ? func - kNever : ~0u; }

ULONG ulStencilBits(const GLContext* gc) { return gc->pvis != nullptr ? gc->pvis->cStencilBits : 0; }
ULONG ulDepthBits(const GLContext* gc) { return gc->pvis != nullptr ? gc->pvis->cDepthBits : 0; }

// --- the steps ---------------------------------------------------------------------

ULONG ulClearDepth(GLContext*, const BYTE* pj) {
    const float f = static_cast<float>(__glXArgDouble(pj, 0));
    N_SetStateBlockAttr(N_ATTR_CLEAR_DEPTH, &f);
    return GL_NO_ERROR;
}

ULONG ulStencilMask(GLContext* gc, const BYTE* pj) {
    N_SetStateBlockAttrWord(N_ATTR_STENCIL_MASK, __glXArgWord(pj, 0) & __glXBitMask(static_cast<LONG>(ulStencilBits(gc))));
    return GL_NO_ERROR;
}

ULONG ulDepthMask(GLContext* gc, const BYTE* pj) {
    N_SetStateBlockAttrWord(N_ATTR_DEPTH_MASK, pj[0] != 0 ? __glXBitMask(static_cast<LONG>(ulDepthBits(gc))) : 0u);
    return GL_NO_ERROR;
}

ULONG ulCullFace(GLContext* gc, const BYTE* pj) {
    ULONG code;
    switch (__glXArgWord(pj, 0)) {
        case kFront: code = 2; break;
        case kBack: code = 1; break;
        default: return GL_INVALID_ENUM;  // FRONT_AND_BACK included
    }
    if (ULONG* pw = pwBlock(gc, GL_POLYGON_BIT)) pw[GLX_POLYGON_CULL] = code;
    N_SetStateBlockAttrWord(N_ATTR_CULL_MODE, code);
    return GL_NO_ERROR;
}

ULONG ulFrontFace(GLContext* gc, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    if (mode != kCW && mode != kCCW) return GL_INVALID_ENUM;
    if (ULONG* pw = pwBlock(gc, GL_POLYGON_BIT)) pw[GLX_POLYGON_FRONT_FACE] = mode;
    N_SetStateBlockAttrWord(N_ATTR_FRONT_FACE, mode == kCW ? 0u : 1u);
    return GL_NO_ERROR;
}

ULONG ulHint(GLContext* gc, const BYTE* pj) {
    const ULONG target = __glXArgWord(pj, 0), mode = __glXArgWord(pj, 1);
    if (mode - kDontCare > kNicest - kDontCare || target - kHintFirst >= GLX_HINTS) return GL_INVALID_ENUM;
    if (ULONG* pw = pwBlock(gc, GL_HINT_BIT)) pw[target - kHintFirst] = mode;
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
    if (face != kFront && face != kBack && face != kFrontAndBack) return GL_INVALID_ENUM;
    if (mode != kPoint && mode != kLine && mode != kFill) return GL_INVALID_ENUM;
    const ULONG code = mode - kPoint;
    const ULONG sent = code == kFillCode && bEnabled(gc, GLX_EN_POLYGON_STIPPLE) ? kFillStippledCode : code;
    ULONG* pw = pwBlock(gc, GL_POLYGON_BIT);
    if (face != kBack) {
        if (pw != nullptr) pw[GLX_POLYGON_FRONT_MODE] = code;
        N_SetStateBlockAttrWord(N_ATTR_POLYGON_FRONT, sent);
    }
    if (face != kFront) {
        if (pw != nullptr) pw[GLX_POLYGON_BACK_MODE] = code;
        N_SetStateBlockAttrWord(N_ATTR_POLYGON_BACK, sent);
    }
    return GL_NO_ERROR;
}

ULONG ulShadeModel(GLContext*, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    if (mode != kFlat && mode != kSmooth) return GL_INVALID_ENUM;
    const ULONG code = mode == kFlat ? 1u : 2u;
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
        case kZero: return 0;
        case kOne: return 1;
        case kDstColor: return 2;
        case kOneMinusDstColor: return 3;
        case kSrcAlpha: return 4;
        case kOneMinusSrcAlpha: return 5;
        case kDstAlpha: return 6;
        case kOneMinusDstAlpha: return 7;
        case kSrcAlphaSaturate: return 8;
        default: return ~0u;
    }
}
ULONG ulBlendDest(ULONG f) {
    switch (f) {
        case kZero: return 0;
        case kOne: return 1;
        case kSrcColor: return 9;
        case kOneMinusSrcColor: return 10;
        case kSrcAlpha: return 4;
        case kOneMinusSrcAlpha: return 5;
        case kDstAlpha: return 6;
        case kOneMinusDstAlpha: return 7;
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
    const ULONG op = __glXArgWord(pj, 0) - kClear;
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
        case kKeep: return 0;
        case kZero: return 1;
        case kReplace: return 2;
        case kIncr: return 3;
        case kDecr: return 4;
        case kInvert: return 5;
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
        case kFogIndex: N_SetStateBlockAttr(N_ATTR_FOG_INDEX, pf); return GL_NO_ERROR;
        case kFogDensity: N_SetStateBlockAttr(N_ATTR_FOG_DENSITY, pf); return GL_NO_ERROR;
        case kFogStart: N_SetStateBlockAttr(N_ATTR_FOG_START, pf); return GL_NO_ERROR;
        case kFogEnd: N_SetStateBlockAttr(N_ATTR_FOG_END, pf); return GL_NO_ERROR;
        case kFogMode: {
            // Truncated to an integer first; a value out of range is no mode.
            const double d = std::trunc(static_cast<double>(pf[0]));
            const ULONG mode = d >= 0.0 && d <= 65535.0 ? static_cast<ULONG>(d) : ~0u;
            ULONG code;
            switch (mode) {
                case kExp: code = 0; break;
                case kExp2: code = 1; break;
                case kLinear: code = 2; break;
                default: return GL_INVALID_ENUM;
            }
            N_SetStateBlockAttrWord(N_ATTR_FOG_MODE, code);
            return GL_NO_ERROR;
        }
        case kFogColor:
            if (!bVector) return GL_INVALID_ENUM;
            N_SetStateBlockAttr(N_ATTR_FOG_COLOUR, pf);
            return GL_NO_ERROR;
        default: return GL_INVALID_ENUM;
    }
}

template <bool bInt, bool bVector>
ULONG ulFog(GLClient* pgc, const void* pv) {
    // The vector forms carry as many values as the parameter takes: an
    // unknown parameter is refused before its values are looked for.
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const ULONG pname = __glXArgWord(pj, 0);
    if (pname - kFogIndex > kFogColor - kFogIndex) return __glXRenderResult(pgc, pv, GL_INVALID_ENUM);
    const ULONG cValues = bVector ? glParamCount(pname) : 1;
    if (bVector && (pj = __glXRenderArgs(pgc, pv, 4 + 4 * cValues)) == nullptr)
        return __glXRenderArgsRefused(pgc, pv, 4 + 4 * cValues);
    float af[4] = {};
    for (ULONG i = 0; i < cValues; ++i) {
        if (!bInt) {
            af[i] = __glXArgFloat(pj, 1 + i);
        } else {
            const LONG l = static_cast<LONG>(__glXArgWord(pj, 1 + i));
            af[i] = pname == kFogColor ? __glXIntColor(l) : static_cast<float>(l);
        }
    }
    return __glXRenderResult(pgc, pv, ulSetFog(pname, af, bVector));
}

// --- buffers and masks -----------------------------------------------------------------

constexpr ULONG kNone = 0, kFrontLeft = 0x400, kFrontRight = 0x401, kBackLeft = 0x402, kBackRight = 0x403,
                kFrontBuf = 0x404, kBackBuf = 0x405, kLeft = 0x406, kRight = 0x407, kFrontAndBackBuf = 0x408,
                kAux0 = 0x409;

bool bStereo(const GLContext* gc) { return gc->pvis != nullptr && gc->pvis->bStereo != 0; }
bool bDouble(const GLContext* gc) { return gc->pvis != nullptr && gc->pvis->bDoubleBuffer != 0; }
ULONG ulAux(const GLContext* gc) { return gc->pvis != nullptr ? gc->pvis->cAuxBuffers : 0; }

// The draw buffer's lgi code, or ~0 when the visual has no such buffer.
ULONG ulDrawCode(const GLContext* gc, ULONG mode) {
    const bool s = bStereo(gc), d = bDouble(gc);
    switch (mode) {
        case kNone: return 0;
        case kFrontLeft: return 1;
        case kFrontRight: return s ? 2 : ~0u;
        case kBackLeft: return d ? 4 : ~0u;
        case kBackRight: return s && d ? 8 : ~0u;
        case kFrontBuf: return s ? 3 : 1;
        case kBackBuf: return !d ? ~0u : s ? 12 : 4;
        case kLeft: return d ? 5 : 1;
        case kRight: return !s ? ~0u : d ? 10 : 2;
        case kFrontAndBackBuf: return (d ? 5u : 1u) * (s ? 3u : 1u);
        default: return mode - kAux0 < 4 && mode - kAux0 < ulAux(gc) ? 16u << (mode - kAux0) : ~0u;
    }
}

// The read buffer's lgi code, or ~0.
ULONG ulReadCode(const GLContext* gc, ULONG mode) {
    const bool s = bStereo(gc), d = bDouble(gc);
    switch (mode) {
        case kFrontLeft:
        case kFrontBuf:
        case kLeft: return 1;
        case kFrontRight:
        case kRight: return s ? 2 : ~0u;
        case kBackLeft:
        case kBackBuf: return 4;  // not checked against the visual
        case kBackRight: return s && d ? 8 : ~0u;
        default: return mode - kAux0 < 4 && mode - kAux0 < ulAux(gc) ? 16u << (mode - kAux0) : ~0u;
    }
}

// Sets a buffer choice: its code and name in a block, attribute id; a
// changed code has the buffers bound and the clip worked out again.
void vSetBufferChoice(GLContext* gc, ULONG flGroup, ULONG iCode, ULONG iName, ULONG id, ULONG code, ULONG mode) {
    if (ULONG* pw = pwBlock(gc, flGroup)) {
        if (pw[iCode] != code) gc->dirty |= GLX_DIRTY_BUFFERS | GLX_DIRTY_CLIP;
        pw[iCode] = code;
        pw[iName] = mode;
    }
    N_SetStateBlockAttrWord(id, code);
}

ULONG ulDrawBuffer(GLContext* gc, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    const ULONG code = ulDrawCode(gc, mode);
    if (code == ~0u) return GL_INVALID_OPERATION;
    vSetBufferChoice(gc, GL_COLOR_BUFFER_BIT, GLX_COLOR_DRAW_BITS, GLX_COLOR_DRAW_BUFFER, 163, code, mode);
    return GL_NO_ERROR;
}

ULONG ulReadBuffer(GLContext* gc, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    const ULONG code = ulReadCode(gc, mode);
    if (code == ~0u) return GL_INVALID_OPERATION;
    vSetBufferChoice(gc, GL_PIXEL_MODE_BIT, GLX_PIXEL_READ_BIT, GLX_PIXEL_READ_BUFFER, 162, code, mode);
    return GL_NO_ERROR;
}

ULONG ulColorMask(GLContext* gc, const BYTE* pj) {
    if (ULONG* pw = pwBlock(gc, GL_COLOR_BUFFER_BIT)) {
        BYTE ab[4];
        for (ULONG i = 0; i < 4; ++i) ab[i] = pj[i] != 0;
        std::memcpy(pw + GLX_COLOR_WRITE_MASK, ab, 4);
    }
    const GLPixelFormat* ppf = gc->pvis != nullptr ? gc->pvis->pFormat : nullptr;
    ULONG fl = 0;
    if (ppf != nullptr) {
        if (pj[0]) fl |= ppf->ulRedMask;
        if (pj[1]) fl |= ppf->ulGreenMask;
        if (pj[2]) fl |= ppf->ulBlueMask;
    }
    N_SetStateBlockAttrWord(N_ATTR_COLOUR_MASK, fl);
    const LONG cAlpha = gc->pvis != nullptr ? static_cast<LONG>(gc->pvis->cAlphaBits) : 0;
    N_SetStateBlockAttrWord(N_ATTR_ALPHA_MASK, pj[3] ? __glXBitMask(cAlpha) : 0u);
    return GL_NO_ERROR;
}

ULONG ulIndexMask(GLContext* gc, const BYTE* pj) {
    N_SetStateBlockAttrWord(N_ATTR_INDEX_MASK, __glXIndexWriteMask(gc, __glXArgWord(pj, 0)));
    return GL_NO_ERROR;
}

ULONG ulClipPlane(GLContext* gc, const BYTE* pj) {
    const ULONG plane = __glXArgWord(pj, 8) - kClipPlane0First;
    if (plane >= 6) return GL_INVALID_ENUM;
    float af[4];
    for (ULONG i = 0; i < 4; ++i) af[i] = static_cast<float>(__glXArgDouble(pj, i));
    if (ULONG* pw = pwBlock(gc, GL_TRANSFORM_BIT)) std::memcpy(pw + GLX_TRANSFORM_PLANES + 4 * plane, af, sizeof af);
    if ((gc->dirty & GLX_DIRTY_CLIP_PLANES) && __glXPushClipPlanes(gc)) gc->dirty &= ~GLX_DIRTY_CLIP_PLANES;
    N_SetClipPlane(plane, af);
    return GL_NO_ERROR;
}

// Clear: in render mode only; the buffers named must be bound, the clip
// and viewport up to date, then the drawable's buffers are cleared.
ULONG ulClear(GLContext* gc, const BYTE* pj) {
    if (gc->renderMode != GL_RENDER) return GL_NO_ERROR;
    const ULONG flGL = __glXArgWord(pj, 0);
    if (flGL & ~(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_ACCUM_BUFFER_BIT))
        return GL_INVALID_OPERATION;
    ULONG fl = 0;
    if (flGL & GL_COLOR_BUFFER_BIT) {
        const ULONG* pw = pwBlock(gc, GL_COLOR_BUFFER_BIT);
        fl |= pw != nullptr ? pw[GLX_COLOR_DRAW_BITS] : 0u;
    }
    const struct {
        ULONG flGL, fl, flBound;
    } kAncillary[] = {
        {GL_ACCUM_BUFFER_BIT, 0x400, 0x400},
        {GL_STENCIL_BUFFER_BIT, 0x200, 0x200},
        {GL_DEPTH_BUFFER_BIT, 0x100, 0x900},
    };
    for (const auto& a : kAncillary) {
        if ((flGL & a.flGL) == 0) continue;
        fl |= a.fl;
        if ((gc->flBufferMask & a.flBound) == 0) gc->dirty |= GLX_DIRTY_BUFFERS;
    }
    __glXValidateDraw(gc);
    if (flGL & GL_COLOR_BUFFER_BIT) fl |= gc->flBufferMask & 0x00FF0000u;
    LONG cx = 0, cy = 0;
    if (__glDrawableSize(gc, &cx, &cy)) N_Clear(fl, 0, 0, cx, cy, 1, 0);
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

// By opcode: colours 6-21, edge flag 22, indices 24-27, normals 28-32,
// texture coordinates 49-64.
constexpr CurrentRequest kCurrent(ULONG op) {
    constexpr BYTE kColorKinds[] = {kB, kD, kF, kI, kS, kUB, kUI, kUS};
    constexpr BYTE kDFIS[] = {kD, kF, kI, kS};
    constexpr BYTE kNormalKinds[] = {kB, kD, kF, kI, kS};
    if (op >= 6 && op <= 21) return {kColorKinds[(op - 6) % 8], static_cast<BYTE>(op < 14 ? 3 : 4), N_ATTR_COLOUR, true};
    if (op == 22) return {kUB, 1, N_ATTR_EDGE_FLAG, false};
    if (op >= 24 && op <= 27) return {kDFIS[op - 24], 1, N_ATTR_INDEX, false};
    if (op >= 28 && op <= 32) return {kNormalKinds[op - 28], 3, N_ATTR_NORMAL, true};
    return {kDFIS[(op - 49) % 4], static_cast<BYTE>(1 + (op - 49) / 4), N_ATTR_TEXCOORD, false};
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

ULONG __glXIndexMaskOf(const GLContext* gc, ULONG ulLgiMask) {
    return gc->pvis != nullptr && gc->pvis->cColorBits == 4 ? ulLgiMask >> 4 : ulLgiMask;
}

ULONG __glXVertexFloats(ULONG op, const BYTE* pj, float* pf) {
    constexpr BYTE kDFIS[] = {kD, kF, kI, kS};
    const CurrentRequest r = op >= 65 && op <= 76
                                 ? CurrentRequest{kDFIS[(op - 65) % 4], static_cast<BYTE>(2 + (op - 65) / 4), 0, false}
                                 : kCurrent(op);
    pf[0] = pf[1] = pf[2] = 0.0f;
    pf[3] = 1.0f;
    if (op == 22) {
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
    if (op == 22) {
        N_SetStateBlockAttrWord(r.attr, pj[0]);
        return GLX_SUCCESS;
    }
    // Missing components: alpha 1; t and r 0, q 1.
    float af[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (ULONG i = 0; i < r.count; ++i) af[i] = fComponent(pj, r.kind, i, r.bColorRule);
    N_SetStateBlockAttr(r.attr, af);
    return GLX_SUCCESS;
}

// --- Enable and Disable --------------------------------------------------------------

// Sets a word of the ENABLE block: TRUE when it changed.
BOOL bSetWord(ULONG* pw, ULONG i, ULONG v) {
    const BOOL bChanged = pw[i] != v;
    pw[i] = v;
    return bChanged;
}
BOOL bSetBit(ULONG* pw, ULONG flBit, BOOL bOn) {
    return bSetWord(pw, GLX_ENABLE_BITS, bOn ? pw[GLX_ENABLE_BITS] | flBit : pw[GLX_ENABLE_BITS] & ~flBit);
}

template <bool bOn>
ULONG ulEnable(GLContext* gc, const BYTE* pj) {
    return __glXSetEnable(gc, __glXArgWord(pj, 0), bOn);
}

// --- the attribute stack -------------------------------------------------------------

ULONG* pwAlloc(unsigned k) {
    auto* pw = static_cast<ULONG*>(LocalAlloc(LPTR, __glXGroupBlockSize[k]));
    if (pw != nullptr) std::memset(pw, 0, __glXGroupBlockSize[k]);
    return pw;
}

// Frees a pushed record: its own blocks of flMask (the others it shares
// with the level below, as it does the evaluator and object records).
void vFreeLevel(GLState* pgs, ULONG flMask) {
    for (unsigned k = 0; k < GLX_GROUPS; ++k) {
        if ((flMask & (1u << k)) != 0 && pgs->blocks[k] != nullptr) LocalFree(pgs->blocks[k]);
    }
    LocalFree(pgs);
}

ULONG ulPushAttrib(GLContext* gc, const BYTE* pj) { return __glXPushAttrib(gc, __glXArgWord(pj, 0)); }
ULONG ulPopAttrib(GLContext* gc, const BYTE*) { return __glXPopAttrib(gc); }

}  // namespace

ULONG __glXSetEnable(GLContext* gc, ULONG cap, BOOL bOn) {
    const GLXCapability* pc = __glXCapability(cap);
    if (pc == nullptr) return GL_INVALID_ENUM;
    ULONG* pw = pwBlock(gc, GL_ENABLE_BIT);
    const ULONG v = bOn ? 1u : 0u;
    const ULONG i = cap - pc->cap;
    if (pc->mirror != GLXCapMirror::SPECIAL) {
        if (pw != nullptr) {
            if (pc->count == 1) bSetBit(pw, pc->flBit, bOn);
            else pw[pc->iWord + i] = v;
        }
        if (pc->mirror == GLXCapMirror::WORD) N_SetStateBlockAttrWord(pc->attr + i, v);
        return GL_NO_ERROR;
    }
    if (pc->cap == GL_CLIP_PLANE0) {
        if (pw != nullptr && bSetWord(pw, pc->iWord + i, v)) N_SetClipPlaneEnables(pc->count, pw + pc->iWord);
        return GL_NO_ERROR;
    }
    if (pc->cap == GL_LIGHT0) {
        if (pw != nullptr && bSetWord(pw, pc->iWord + i, v)) N_SetLightEnables(pc->count, pw + pc->iWord);
        return GL_NO_ERROR;
    }
    if (pw == nullptr) return GL_NO_ERROR;
    switch (cap) {
        case GL_LINE_STIPPLE:
            if (bSetBit(pw, GLX_EN_LINE_STIPPLE, bOn)) {
                const ULONG* pwLine = pwBlock(gc, GL_LINE_BIT);
                const bool bUse = bOn && pwLine != nullptr;
                N_SetStateBlockAttrWord(N_ATTR_LINE_STIPPLE_REPEAT, bUse ? pwLine[GLX_LINE_REPEAT] : 1u);
                N_SetStateBlockAttrWord(N_ATTR_LINE_STIPPLE, bUse ? pwLine[GLX_LINE_PATTERN] : 0xFFFFFFFFu);
            }
            break;
        case GL_POLYGON_STIPPLE:
            if (bSetBit(pw, GLX_EN_POLYGON_STIPPLE, bOn)) {
                if (const ULONG* pwPoly = pwBlock(gc, GL_POLYGON_BIT)) {
                    for (ULONG f = 0; f < 2; ++f) {
                        if (pwPoly[GLX_POLYGON_FRONT_MODE + f] == kFillCode)
                            N_SetStateBlockAttrWord(N_ATTR_POLYGON_FRONT + f, bOn ? kFillStippledCode : kFillCode);
                    }
                }
            }
            break;
        case GL_DEPTH_TEST:
            bSetBit(pw, GLX_EN_DEPTH_TEST, bOn);
            N_SetStateBlockAttrWord(N_ATTR_DEPTH_TEST, bOn ? 2u : 1u);
            if (bOn && (gc->flBufferMask & 0x900u) == 0) gc->dirty |= GLX_DIRTY_BUFFERS;
            break;
        case GL_STENCIL_TEST:
            bSetBit(pw, GLX_EN_STENCIL_TEST, bOn);
            N_SetStateBlockAttrWord(N_ATTR_STENCIL_TEST, v);
            if (bOn && (gc->flBufferMask & 0x200u) == 0) gc->dirty |= GLX_DIRTY_BUFFERS;
            break;
        case GL_SCISSOR_TEST:
            if (bSetBit(pw, GLX_EN_SCISSOR_TEST, bOn)) {
                const ULONG* pwScissor = pwBlock(gc, GL_SCISSOR_BIT);
                if (pwScissor != nullptr && pwScissor[GLX_SCISSOR_UNSET] == 0) gc->dirty |= GLX_DIRTY_CLIP;
            }
            break;
        default:  // the two texture targets
            if (bSetBit(pw, cap == GL_TEXTURE_1D ? GLX_EN_TEXTURE_1D : GLX_EN_TEXTURE_2D, bOn)) {
                __glXValidateTexture(gc);
                N_SetStateBlockAttrWord(N_ATTR_TEXTURE, (pw[GLX_ENABLE_BITS] & (GLX_EN_TEXTURE_1D | GLX_EN_TEXTURE_2D)) != 0);
            }
            break;
    }
    return GL_NO_ERROR;
}

ULONG __glXPushAttrib(GLContext* gc, ULONG flMask) {
    GLState* pCur = gc->pState;
    if (pCur == nullptr) return GL_INVALID_OPERATION;
    if (pCur->iDepth >= GLX_ATTRIB_DEPTH_MAX) return GL_STACK_OVERFLOW;
    flMask &= GLX_ATTRIB_GROUP_BITS;

    // Every allocation first, so that a failure leaves the stack as it was:
    // the new level, a fresh block for each pushed group the current level
    // holds (and ENABLE always), and a block the current level lacks for
    // each pushed group it does not hold.
    auto* pNew = static_cast<GLState*>(LocalAlloc(LPTR, sizeof(GLState)));
    ULONG* apwNew[GLX_GROUPS] = {};
    ULONG* apwSaved[GLX_GROUPS] = {};
    bool bFailed = pNew == nullptr;
    const ULONG flSave = flMask | GL_ENABLE_BIT;
    for (unsigned k = 0; k < GLX_GROUPS && !bFailed; ++k) {
        if ((flSave & (1u << k)) == 0) continue;
        ULONG*& pw = pCur->blocks[k] != nullptr ? apwNew[k] : apwSaved[k];
        pw = pwAlloc(k);
        bFailed = pw == nullptr;
    }
    if (bFailed) {
        for (unsigned k = 0; k < GLX_GROUPS; ++k) {
            if (apwNew[k] != nullptr) LocalFree(apwNew[k]);
            if (apwSaved[k] != nullptr) LocalFree(apwSaved[k]);
        }
        if (pNew != nullptr) LocalFree(pNew);
        return GL_OUT_OF_MEMORY;
    }

    *pNew = *pCur;
    pNew->flPushed = 0;
    pNew->iDepth = pCur->iDepth + 1;
    pNew->pNext = pCur;
    for (unsigned k = 0; k < GLX_GROUPS; ++k) {
        if ((flSave & (1u << k)) == 0) continue;
        if (apwNew[k] != nullptr) {
            __glXPushSavers[k](gc, pCur->blocks[k]);
            std::memcpy(apwNew[k], pCur->blocks[k], __glXGroupBlockSize[k]);
            pNew->blocks[k] = apwNew[k];
        } else {
            __glXPushSavers[k](gc, apwSaved[k]);
            pCur->blocks[k] = apwSaved[k];
            pCur->flPresent |= 1u << k;
        }
    }
    pCur->flPushed = flMask;
    gc->pState = pNew;
    if (flMask & GL_LIGHTING_BIT) gc->dirty |= GLX_DIRTY_LIGHTS;
    if (flMask & GL_TRANSFORM_BIT) gc->dirty |= GLX_DIRTY_CLIP_PLANES;
    return GL_NO_ERROR;
}

ULONG __glXPopAttrib(GLContext* gc) {
    GLState* pCur = gc->pState;
    if (pCur == nullptr || pCur->iDepth == 0 || pCur->pNext == nullptr) return GL_STACK_UNDERFLOW;
    GLState* pSaved = pCur->pNext;
    const ULONG flMask = pSaved->flPushed;
    const unsigned kEnable = uBit(GL_ENABLE_BIT);
    ULONG* pwCurEnable = pCur->blocks[kEnable];
    ULONG* pwSavedEnable = pSaved->blocks[kEnable];
    if ((flMask & GL_ENABLE_BIT) == 0 && pwCurEnable != nullptr && pwSavedEnable != nullptr) {
        // The enables of the groups not pushed stay as they are now.
        for (const GLXCapability& c : kGLXCapabilities) {
            if (flMask & c.flGroup) continue;
            if (c.count == 1) {
                pwSavedEnable[GLX_ENABLE_BITS] =
                    (pwSavedEnable[GLX_ENABLE_BITS] & ~c.flBit) | (pwCurEnable[GLX_ENABLE_BITS] & c.flBit);
            } else {
                std::memcpy(pwSavedEnable + c.iWord, pwCurEnable + c.iWord, c.count * sizeof(ULONG));
            }
        }
    }
    // The pushed groups the level below had no block of before the push:
    // the level above holds none of them.
    ULONG flAdded = 0;
    for (unsigned k = 0; k < GLX_GROUPS; ++k) {
        const ULONG fl = 1u << k;
        if ((flMask & fl) != 0 && fl != GL_ENABLE_BIT && pCur->blocks[k] == nullptr) flAdded |= fl;
    }
    // The level above owns its blocks of the pushed groups and its ENABLE
    // block; the rest it shares.
    ULONG flOwned = GL_ENABLE_BIT;
    for (unsigned k = 0; k < GLX_GROUPS; ++k) {
        if ((flMask & (1u << k)) != 0 && pCur->blocks[k] != nullptr && pCur->blocks[k] != pSaved->blocks[k])
            flOwned |= 1u << k;
    }
    vFreeLevel(pCur, flOwned);
    gc->pState = pSaved;
    pSaved->flPushed = 0;
    __glXApplyGroups(gc, pSaved, flMask, nullptr);
    for (unsigned k = 0; k < GLX_GROUPS; ++k) {
        if ((flAdded & (1u << k)) != 0 && pSaved->blocks[k] != nullptr) {
            LocalFree(pSaved->blocks[k]);
            pSaved->blocks[k] = nullptr;
            pSaved->flPresent &= ~(1u << k);
        }
    }
    return GL_NO_ERROR;
}

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
ULONG __glXDisp_DrawBuffer(GLClient* p, const void* r) { return ulRequest<ulDrawBuffer>(p, r); }
ULONG __glXDisp_Clear(GLClient* p, const void* r) { return ulRequest<ulClear>(p, r); }
ULONG __glXDisp_ColorMask(GLClient* p, const void* r) { return ulRequest<ulColorMask>(p, r); }
ULONG __glXDisp_IndexMask(GLClient* p, const void* r) { return ulRequest<ulIndexMask>(p, r); }
ULONG __glXDisp_ReadBuffer(GLClient* p, const void* r) { return ulRequest<ulReadBuffer>(p, r); }
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
ULONG __glXDisp_ClearAccum(GLClient* p, const void* r) { return ulRequest<ulAttr<N_ATTR_CLEAR_ACCUM, 4>>(p, r); }
ULONG __glXDisp_ClearIndex(GLClient* p, const void* r) { return ulRequest<ulAttr<N_ATTR_CLEAR_INDEX, 1>>(p, r); }
ULONG __glXDisp_ClearColor(GLClient* p, const void* r) { return ulRequest<ulAttr<N_ATTR_CLEAR_COLOUR, 4>>(p, r); }
ULONG __glXDisp_ClearStencil(GLClient* p, const void* r) { return ulRequest<ulAttr<N_ATTR_CLEAR_STENCIL, 1>>(p, r); }
ULONG __glXDisp_ClearDepth(GLClient* p, const void* r) { return ulRequest<ulClearDepth>(p, r); }
ULONG __glXDisp_StencilMask(GLClient* p, const void* r) { return ulRequest<ulStencilMask>(p, r); }
ULONG __glXDisp_DepthMask(GLClient* p, const void* r) { return ulRequest<ulDepthMask>(p, r); }
ULONG __glXDisp_Disable(GLClient* p, const void* r) { return ulRequest<ulEnable<false>>(p, r); }
ULONG __glXDisp_Enable(GLClient* p, const void* r) { return ulRequest<ulEnable<true>>(p, r); }
ULONG __glXDisp_PopAttrib(GLClient* p, const void* r) { return ulRequest<ulPopAttrib>(p, r); }
ULONG __glXDisp_PushAttrib(GLClient* p, const void* r) { return ulRequest<ulPushAttrib>(p, r); }
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
