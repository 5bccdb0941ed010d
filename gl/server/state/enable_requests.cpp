// Enable and Disable: each capability's ENABLE bit or word, and what the
// lgi layer learns of it, as the capability table (caps.h) says.
#include <cstring>

#include "dispatch/dispatch.h"
#include "lgi/lgi.h"
#include "seams.h"
#include "state/caps.h"
#include "state/glstate.h"
#include "state/state_requests.h"
#include "state/state_steps.h"

namespace {

using namespace glx_state;

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

ULONG __glXDisp_Disable(GLClient* p, const void* r) { return ulRequest<ulEnable<false>>(p, r); }
ULONG __glXDisp_Enable(GLClient* p, const void* r) { return ulRequest<ulEnable<true>>(p, r); }
