// GL errors and the handlers that stand in the tables' empty slots. A GL
// error is kept in the context until the client reads it, and only the
// first one: later errors are lost. Handlers answer X error codes, which
// the render stream does not act on.
#include <cstring>

#include "dispatch/dispatch.h"

ULONG __glXDebugFlag = 0;

ULONG __glXSetError(GLClient* pgc, const char* pszRequest, ULONG glError) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (gc != nullptr && gc->error == GL_NO_ERROR) gc->error = glError;
    if (__glXDebugFlag) __glXDebugPrint("GL error: %s : %s\n", pszRequest, "errorid");
    return 0;
}

ULONG __glXErrorToX(ULONG glError) {
    switch (glError) {
        case GL_NO_ERROR: return GLX_SUCCESS;
        case GL_INVALID_ENUM:
        case GL_INVALID_VALUE: return GLX_BAD_VALUE;
        case GL_INVALID_OPERATION:
        case GL_STACK_OVERFLOW:
        case GL_STACK_UNDERFLOW: return GLX_BAD_ACCESS;
        case GL_OUT_OF_MEMORY: return GLX_BAD_ALLOC;
        default: return GLX_BAD_MATCH;
    }
}

ULONG __glXRenderError(GLClient* pgc, const void* pvRequest, ULONG glError) {
    __glXSetError(pgc, __glXRenderRequestName(__glXRenderOpcode(pvRequest)), glError);
    return __glXErrorToX(glError);
}

ULONG __glXBitMask(LONG n) {
    if (n < 1) return 0;
    if (n >= 32) return 0xFFFFFFFFu;
    return (1u << n) - 1u;
}

ULONG __glXBadLength(GLClient*, const void* pvRequest) {
    if (__glXDebugFlag) {
        __glXDebugPrint("GL error: %s : %s\n", __glXRenderRequestName(__glXRenderOpcode(pvRequest)),
                        "GLX_BAD_LENGTH");
    }
    return GLX_BAD_LENGTH;
}

// --- default handlers ----------------------------------------------------------------

ULONG __glXDisp_UnknownSingle(GLClient* pgc, const void*) {
    __glXSetError(pgc, "Unknown Request", GL_INVALID_OPERATION);
    return GLX_BAD_ACCESS;
}

ULONG __glXDisp_BadRender(GLClient* pgc, const void* pvRequest) {
    return __glXRenderError(pgc, pvRequest, GL_INVALID_OPERATION);
}

ULONG __glXVtx_Invalid(__GLXprimBuffer*, const void*) {
    __glXDebugPrint("invalid packet cmd");
    return GLX_BAD_IMPLEMENTATION;
}
