// What the state-request files share: a group's block of the context's
// state, and the wrapper that runs a request's step over its checked body
// and answers the step's GL error.
#pragma once

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"

namespace glx_state {

// lgi polygon-mode codes: filled, and filled with the stipple.
inline constexpr ULONG kFillCode = 2, kFillStippledCode = 3;

inline unsigned uBit(ULONG flGroup) { return static_cast<unsigned>(__builtin_ctz(flGroup)); }

inline ULONG* pwBlock(GLContext* gc, ULONG flGroup) {
    return gc->pState != nullptr ? gc->pState->blocks[uBit(flGroup)] : nullptr;
}

// The stencil and depth bits of the context's visual.
inline ULONG ulStencilBits(const GLContext* gc) { return gc->pvis != nullptr ? gc->pvis->cStencilBits : 0; }
inline ULONG ulDepthBits(const GLContext* gc) { return gc->pvis != nullptr ? gc->pvis->cDepthBits : 0; }

// A request whose checked body a step turns into a GL error.
template <ULONG (*pfnStep)(GLContext*, const BYTE*)>
ULONG ulRequest(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    return __glXRenderResult(pgc, pv, pfnStep(pgc->gc, pj));
}

}  // namespace glx_state
