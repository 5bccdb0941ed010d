// The server's parts that are not built yet: each says so on the debugger
// and answers failure.
#include "seams.h"

namespace {

void vNotAvailable(const char* pszName) { __glXDebugPrint("%s: not available yet\n", pszName); }

}  // namespace



void __glWriteOverlayRamdac(PDEV*, ULONG) { vNotAvailable(__func__); }
void __glFreeContextBuffers(GLContext*) { vNotAvailable(__func__); }

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

N_VertexRecord* __glXVertexRecord(GLClient*) {
    vNotAvailable(__func__);
    return nullptr;
}
void __glXAfterVertex(GLClient*, ULONG) { vNotAvailable(__func__); }

void N_SetVertexColor3(N_VertexRecord*, float, float, float) { vNotAvailable(__func__); }
void N_SetVertexColor4(N_VertexRecord*, float, float, float, float) { vNotAvailable(__func__); }
void N_SetVertexIndex(N_VertexRecord*, float) { vNotAvailable(__func__); }
void N_SetVertexNormal(N_VertexRecord*, float, float, float) { vNotAvailable(__func__); }
void N_SetVertexTexCoord(N_VertexRecord*, float, float, float, float) { vNotAvailable(__func__); }
ULONG N_SetVertexPos2(N_VertexRecord*, float, float) {
    vNotAvailable(__func__);
    return 0;
}
ULONG N_SetVertexPos3(N_VertexRecord*, float, float, float) {
    vNotAvailable(__func__);
    return 0;
}
ULONG N_SetVertexPos4(N_VertexRecord*, float, float, float, float) {
    vNotAvailable(__func__);
    return 0;
}
void N_Flush(void) { vNotAvailable(__func__); }
void N_Finish(void) { vNotAvailable(__func__); }
void N_BeginFeedback(float*, ULONG, ULONG) { vNotAvailable(__func__); }
void N_EndFeedback(LONG* pcValues) {
    vNotAvailable(__func__);
    *pcValues = 0;
}
void N_InitNames(void) { vNotAvailable(__func__); }
void N_SetSelectCallback(N_SelectCallback, void*) { vNotAvailable(__func__); }
BOOL __glDrawableSize(GLContext*, LONG*, LONG*) {
    vNotAvailable(__func__);
    return FALSE;
}

void __glXSetRequestUnpack(GLClient*, const void*) { vNotAvailable(__func__); }
ULONG __glXUnpackImage(GLClient*, LONG, LONG, ULONG, ULONG, ULONG, const void*, ULONG, void** ppvImage, BOOL) {
    vNotAvailable(__func__);
    *ppvImage = nullptr;
    return 0x505;  // GL_OUT_OF_MEMORY: no image
}
ULONG __glXPackImage(GLClient*, LONG, LONG, ULONG, ULONG, ULONG, const void*, BOOL, BOOL, void** ppvOut,
                     ULONG* pcjOut) {
    vNotAvailable(__func__);
    *ppvOut = nullptr;
    *pcjOut = 0;
    return 0x505;
}
ULONG __glOpenPrimitive(GLClient*, __GLXprimBuffer**, __GLXpacketBuffer**, ULONG, ULONG, ULONG) {
    vNotAvailable(__func__);
    return 0x505;
}
BOOL __glTakeBackPrimitive(GLClient*, BYTE**, ULONG*) {
    vNotAvailable(__func__);
    return FALSE;
}
