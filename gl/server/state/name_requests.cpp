// The name-stack requests of selection and PassThrough: each hands the
// pending batch on and calls the lgi name stack; a refusal is the GL error
// of the request. The name stack is there only while selecting: outside
// selection mode PushName, PopName and LoadName are ignored (no error, the
// stack stays empty), and PassThrough is ignored outside feedback mode.
#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "lgi/lgi.h"
#include "state/state_requests.h"

namespace {

const BYTE* pjArgs(GLClient* pgc, const void* pv, ULONG* pulRefused) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) *pulRefused = __glXRenderArgsRefused(pgc, pv);
    return pj;
}

bool bSelecting(const GLClient* pgc) { return pgc->gc != nullptr && pgc->gc->renderMode == GL_SELECT; }

}  // namespace

ULONG __glXDisp_InitNames(GLClient* pgc, const void* pv) {
    ULONG ul = 0;
    if (pjArgs(pgc, pv, &ul) == nullptr) return ul;
    N_InitNames();
    return GLX_SUCCESS;
}

ULONG __glXDisp_LoadName(GLClient* pgc, const void* pv) {
    ULONG ul = 0;
    const BYTE* pj = pjArgs(pgc, pv, &ul);
    if (pj == nullptr) return ul;
    if (!bSelecting(pgc)) return GLX_SUCCESS;
    return __glXRenderResult(pgc, pv, N_LoadName(__glXArgWord(pj, 0)) ? GL_NO_ERROR : GL_INVALID_OPERATION);
}

ULONG __glXDisp_PushName(GLClient* pgc, const void* pv) {
    ULONG ul = 0;
    const BYTE* pj = pjArgs(pgc, pv, &ul);
    if (pj == nullptr) return ul;
    if (!bSelecting(pgc)) return GLX_SUCCESS;
    return __glXRenderResult(pgc, pv, N_PushName(__glXArgWord(pj, 0)) ? GL_NO_ERROR : GL_STACK_OVERFLOW);
}

ULONG __glXDisp_PopName(GLClient* pgc, const void* pv) {
    ULONG ul = 0;
    if (pjArgs(pgc, pv, &ul) == nullptr) return ul;
    if (!bSelecting(pgc)) return GLX_SUCCESS;
    return __glXRenderResult(pgc, pv, N_PopName() ? GL_NO_ERROR : GL_STACK_UNDERFLOW);
}

ULONG __glXDisp_PassThrough(GLClient* pgc, const void* pv) {
    ULONG ul = 0;
    const BYTE* pj = pjArgs(pgc, pv, &ul);
    if (pj == nullptr) return ul;
    if (pgc->gc == nullptr || pgc->gc->renderMode != GL_FEEDBACK) return GLX_SUCCESS;
    N_PassThrough(__glXArgFloat(pj, 0));
    return GLX_SUCCESS;
}
