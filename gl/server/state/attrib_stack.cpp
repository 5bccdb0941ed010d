// The attribute stack: PushAttrib saves the groups of its mask as a new
// level; PopAttrib puts them back, the enables of the groups not pushed
// staying as they are.
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

ULONG __glXDisp_PopAttrib(GLClient* p, const void* r) { return ulRequest<ulPopAttrib>(p, r); }
ULONG __glXDisp_PushAttrib(GLClient* p, const void* r) { return ulRequest<ulPushAttrib>(p, r); }
