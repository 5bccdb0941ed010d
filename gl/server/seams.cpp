// The server's parts that are not built yet: each says so on the debugger
// and answers failure.
#include "seams.h"

namespace {

void vNotAvailable(const char* pszName) { __glXDebugPrint("%s: not available yet\n", pszName); }

}  // namespace



void __glWriteOverlayRamdac(PDEV*, ULONG) { vNotAvailable(__func__); }
void __glFreeContextBuffers(GLContext*) { vNotAvailable(__func__); }

LONG __glMapSMSegment(GLClient*, ULONG, ULONG) {
    vNotAvailable(__func__);
    return -1;
}
BOOL __glRunHalf(GLClient*) {
    vNotAvailable(__func__);
    return FALSE;
}
BOOL __glRenderLarge(GLClient*) {
    vNotAvailable(__func__);
    return FALSE;
}
BOOL __glSingleRequest(GLClient*) {
    vNotAvailable(__func__);
    return FALSE;
}

LONG __glMapPrimSegment(GLClient*, ULONG, ULONG) {
    vNotAvailable(__func__);
    return -1;
}

void _DSetClipRegion(GLContext*, const __GLXbox*) { vNotAvailable(__func__); }
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

ULONG __glClosePrimitive(GLClient*) {
    vNotAvailable(__func__);
    return 0x505;  // GL_OUT_OF_MEMORY: send what there is
}
void __glSendPrimitive(GLClient*) { vNotAvailable(__func__); }

WNDOBJ* pwoFromEngineHandle(ULONG hwo) {
    if (hwo != 0) vNotAvailable(__func__);
    return nullptr;
}
XLATEOBJ* pxoFromEngineHandle(ULONG hxo) {
    if (hxo != 0) vNotAvailable(__func__);
    return nullptr;
}
