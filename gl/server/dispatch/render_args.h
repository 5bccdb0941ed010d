// Reading the arguments of a render request: the body after the 4-byte
// render header, once it is known to be long enough, as 32-bit words,
// floats and doubles (copied out: doubles need not be aligned).
#pragma once

#include <cstring>

#include "dispatch/dispatch.h"

// The request's body when the client has a context, after the context's
// pending batch is handed on; else null. The body holds the request's
// fixed arguments and the variable part they call for: __glXDispatchRender
// checked it against the request description before the handler ran.
inline const BYTE* __glXRenderArgs(GLClient* pgc, const void* pvRequest) {
    if (pgc == nullptr || pgc->gc == nullptr) return nullptr;
    __glXFlushPending(pgc);
    return static_cast<const BYTE*>(pvRequest) + 4;
}
// Answers a request __glXRenderArgs refused: GLX_BAD_ACCESS (no context).
inline ULONG __glXRenderArgsRefused(GLClient*, const void*) { return GLX_BAD_ACCESS; }
inline ULONG __glXArgWord(const BYTE* pj, ULONG i) {
    ULONG u;
    std::memcpy(&u, pj + 4 * i, 4);
    return u;
}
inline float __glXArgFloat(const BYTE* pj, ULONG i) {
    float f;
    std::memcpy(&f, pj + 4 * i, 4);
    return f;
}
inline double __glXArgDouble(const BYTE* pj, ULONG i) {
    double d;
    std::memcpy(&d, pj + 8 * i, 8);
    return d;
}
// Answers the X code of a GL error (recorded first), or success.
inline ULONG __glXRenderResult(GLClient* pgc, const void* pvRequest, ULONG glError) {
    return glError == GL_NO_ERROR ? GLX_SUCCESS : __glXRenderError(pgc, pvRequest, glError);
}
