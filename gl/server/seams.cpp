// The server's parts that are not built yet: each says so on the debugger
// and answers failure.
#include "seams.h"

namespace {

void vNotAvailable(const char* pszName) { __glXDebugPrint("%s: not available yet\n", pszName); }

}  // namespace

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

BOOL __glDrawableSize(GLContext*, LONG*, LONG*) {
    vNotAvailable(__func__);
    return FALSE;
}
