// Render requests that choose and clear buffers: the draw and read buffer,
// the write masks, the clear values and Clear. Every handler hands the
// pending batch on, decodes its body, checks it whole and only then stores
// what the server keeps in its attribute-group blocks and sends the lgi
// layer the translated codes.
#include <cstring>

#include "context/buffers.h"
#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "lgi/lgi.h"
#include "pixfmt/pixfmt.h"
#include "seams.h"
#include "state/glstate.h"
#include "state/state_requests.h"
#include "state/state_steps.h"

namespace {

using namespace glx_state;

// Words in, one lgi attribute out.
template <ULONG id, ULONG cWords>
ULONG ulAttr(GLContext*, const BYTE* pj) {
    ULONG aw[cWords];
    std::memcpy(aw, pj, sizeof aw);
    N_SetStateBlockAttr(id, aw);
    return GL_NO_ERROR;
}

// --- masks and clear values -----------------------------------------------------------

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

// --- buffer choices ---------------------------------------------------------------------

bool bStereo(const GLContext* gc) { return gc->pvis != nullptr && gc->pvis->bStereo != 0; }
bool bDouble(const GLContext* gc) { return gc->pvis != nullptr && gc->pvis->bDoubleBuffer != 0; }
ULONG ulAux(const GLContext* gc) { return gc->pvis != nullptr ? gc->pvis->cAuxBuffers : 0; }

// The draw buffer's lgi code, or ~0 when the visual has no such buffer.
ULONG ulDrawCode(const GLContext* gc, ULONG mode) {
    const bool s = bStereo(gc), d = bDouble(gc);
    switch (mode) {
        case GL_NONE: return 0;
        case GL_FRONT_LEFT: return 1;
        case GL_FRONT_RIGHT: return s ? 2 : ~0u;
        case GL_BACK_LEFT: return d ? 4 : ~0u;
        case GL_BACK_RIGHT: return s && d ? 8 : ~0u;
        case GL_FRONT: return s ? 3 : 1;
        case GL_BACK: return !d ? ~0u : s ? 12 : 4;
        case GL_LEFT: return d ? 5 : 1;
        case GL_RIGHT: return !s ? ~0u : d ? 10 : 2;
        case GL_FRONT_AND_BACK: return (d ? 5u : 1u) * (s ? 3u : 1u);
        default: return mode - GL_AUX0 < 4 && mode - GL_AUX0 < ulAux(gc) ? 16u << (mode - GL_AUX0) : ~0u;
    }
}

// The read buffer's lgi code, or ~0.
ULONG ulReadCode(const GLContext* gc, ULONG mode) {
    const bool s = bStereo(gc), d = bDouble(gc);
    switch (mode) {
        case GL_FRONT_LEFT:
        case GL_FRONT:
        case GL_LEFT: return 1;
        case GL_FRONT_RIGHT:
        case GL_RIGHT: return s ? 2 : ~0u;
        case GL_BACK_LEFT:
        case GL_BACK: return 4;  // not checked against the visual
        case GL_BACK_RIGHT: return s && d ? 8 : ~0u;
        default: return mode - GL_AUX0 < 4 && mode - GL_AUX0 < ulAux(gc) ? 16u << (mode - GL_AUX0) : ~0u;
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
    vSetBufferChoice(gc, GL_COLOR_BUFFER_BIT, GLX_COLOR_DRAW_BITS, GLX_COLOR_DRAW_BUFFER, N_ATTR_DRAW_BUFFER, code, mode);
    return GL_NO_ERROR;
}

ULONG ulReadBuffer(GLContext* gc, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    const ULONG code = ulReadCode(gc, mode);
    if (code == ~0u) return GL_INVALID_OPERATION;
    vSetBufferChoice(gc, GL_PIXEL_MODE_BIT, GLX_PIXEL_READ_BIT, GLX_PIXEL_READ_BUFFER, N_ATTR_READ_BUFFER, code, mode);
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
    if (ULONG* pw = pwBlock(gc, GL_COLOR_BUFFER_BIT)) pw[GLX_COLOR_INDEX_MASK] = __glXArgWord(pj, 0);
    N_SetStateBlockAttrWord(N_ATTR_INDEX_MASK, __glXIndexWriteMask(gc, __glXArgWord(pj, 0)));
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
        {GL_ACCUM_BUFFER_BIT, N_BUFFER_ACCUM, N_BUFFER_ACCUM},
        {GL_STENCIL_BUFFER_BIT, N_BUFFER_STENCIL, N_BUFFER_STENCIL},
        {GL_DEPTH_BUFFER_BIT, N_BUFFER_DEPTH, N_BUFFER_DEPTH | N_BUFFER_DEPTH_STENCIL},
    };
    ULONG flBind = 0;
    for (const auto& a : kAncillary) {
        if ((flGL & a.flGL) == 0) continue;
        fl |= a.fl;
        if ((gc->flBufferMask & a.flBound) == 0) gc->dirty |= GLX_DIRTY_BUFFERS;
        flBind |= a.flBound;
    }
    __glXValidateDraw(gc);
    // The validation binds the buffers the enabled tests use; a buffer the
    // clear names is cleared all the same (a depth buffer before its test
    // is enabled), so it is bound for the clear too.
    if ((gc->flBufferMask & flBind) != flBind) _DBindBuffers(gc, gc->flBufferMask | flBind);
    // Each colour buffer cleared takes its own alpha plane along (bound when
    // the visual has alpha); the other buffers' alpha planes keep theirs.
    if (flGL & GL_COLOR_BUFFER_BIT) fl |= flAlphaPlanesOf(fl) & gc->flBufferMask;
    LONG cx = 0, cy = 0;
    if (__glDrawableSize(gc, &cx, &cy)) N_Clear(fl, 0, 0, cx, cy, 1, 0);
    return GL_NO_ERROR;
}

}  // namespace

ULONG __glXDisp_DrawBuffer(GLClient* p, const void* r) { return ulRequest<ulDrawBuffer>(p, r); }
ULONG __glXDisp_Clear(GLClient* p, const void* r) { return ulRequest<ulClear>(p, r); }
ULONG __glXDisp_ColorMask(GLClient* p, const void* r) { return ulRequest<ulColorMask>(p, r); }
ULONG __glXDisp_IndexMask(GLClient* p, const void* r) { return ulRequest<ulIndexMask>(p, r); }
ULONG __glXDisp_ReadBuffer(GLClient* p, const void* r) { return ulRequest<ulReadBuffer>(p, r); }
ULONG __glXDisp_ClearAccum(GLClient* p, const void* r) { return ulRequest<ulAttr<N_ATTR_CLEAR_ACCUM, 4>>(p, r); }
ULONG __glXDisp_ClearIndex(GLClient* p, const void* r) { return ulRequest<ulAttr<N_ATTR_CLEAR_INDEX, 1>>(p, r); }
ULONG __glXDisp_ClearColor(GLClient* p, const void* r) { return ulRequest<ulAttr<N_ATTR_CLEAR_COLOUR, 4>>(p, r); }
ULONG __glXDisp_ClearStencil(GLClient* p, const void* r) { return ulRequest<ulAttr<N_ATTR_CLEAR_STENCIL, 1>>(p, r); }
ULONG __glXDisp_ClearDepth(GLClient* p, const void* r) { return ulRequest<ulClearDepth>(p, r); }
ULONG __glXDisp_StencilMask(GLClient* p, const void* r) { return ulRequest<ulStencilMask>(p, r); }
ULONG __glXDisp_DepthMask(GLClient* p, const void* r) { return ulRequest<ulDepthMask>(p, r); }
