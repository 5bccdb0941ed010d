// The server's parts that are not built yet: each says so on the debugger
// and answers failure.
#include "seams.h"

namespace {

void vNotAvailable(const char* pszName) { __glXDebugPrint("%s: not available yet\n", pszName); }

}  // namespace

void __glFreeCompiledList(GLContext*) { vNotAvailable(__func__); }

BOOL __glXPushClipPlanes(GLContext*) {
    vNotAvailable(__func__);
    return FALSE;
}
BOOL __glXPushColorFormat(GLContext*) {
    vNotAvailable(__func__);
    return FALSE;
}
BOOL __glXValidateViewport(GLContext*) {
    vNotAvailable(__func__);
    return FALSE;
}

BoardConfig* __glBoardConfig(GLContext*) {
    vNotAvailable(__func__);
    return nullptr;
}
void __glXValidateTexture(GLContext*) { vNotAvailable(__func__); }

ULONG __glXStoreBatchInList(GLClient*, __GLXpacketBuffer*) {
    vNotAvailable(__func__);
    return GLX_BAD_IMPLEMENTATION;
}

ULONG __glXAppendLargeChunk(GLClient*) {
    vNotAvailable(__func__);
    return GLX_BAD_IMPLEMENTATION;
}

BOOL __glDrawableSize(GLContext*, LONG*, LONG*) {
    vNotAvailable(__func__);
    return FALSE;
}
