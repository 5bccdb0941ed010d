// The server's parts that are not built yet: each says so on the debugger
// and answers failure.
#include "seams.h"

namespace {

void vNotAvailable(const char* pszName) { __glXDebugPrint("%s: not available yet\n", pszName); }

}  // namespace

BOOL glInitDispatchVectors(void) {
    vNotAvailable(__func__);
    return FALSE;
}
void glFreeDispatchVectors(void) { vNotAvailable(__func__); }

void __glChooseFormatTable(PDEV*) { vNotAvailable(__func__); }
ULONG glInitVisualConfigs(PDEV*) {
    vNotAvailable(__func__);
    return 11;
}
void glFreeVisualConfigs(void) { vNotAvailable(__func__); }
LONG glDrvDescribePixelFormat(DHPDEV, LONG, ULONG, PIXELFORMATDESCRIPTOR*) {
    vNotAvailable(__func__);
    return 0;
}
BOOL __glDrvDescribeLayerPlane(LONG, LONG, ULONG, BYTE*) {
    vNotAvailable(__func__);
    return FALSE;
}
BOOL __glSetFormatCount(USHORT) {
    vNotAvailable(__func__);
    return FALSE;
}
ULONG __glGetLayerPaletteEntries(WNDOBJ*, LONG, LONG, LONG, BYTE*) {
    vNotAvailable(__func__);
    return 0;
}
ULONG __glSetLayerPaletteEntries(WNDOBJ*, LONG, LONG, LONG, const BYTE*) {
    vNotAvailable(__func__);
    return 0;
}
ULONG __glRealizeLayerPalette(WNDOBJ*, LONG, BOOL) {
    vNotAvailable(__func__);
    return 0;
}

BOOL glDrvSetPixelFormat(SURFOBJ*, LONG, HWND) {
    vNotAvailable(__func__);
    return FALSE;
}

BOOL __wglSwapBuffers(SURFOBJ*, WNDOBJ*, ULONG) {
    vNotAvailable(__func__);
    return FALSE;
}
void _DUpdateOverlayPresent(void) { vNotAvailable(__func__); }

GLContext* __glDrvCreateContext(SURFOBJ*, LONG, LONG) {
    vNotAvailable(__func__);
    return nullptr;
}
ULONG __glDrvDeleteContext(GLContext*) {
    vNotAvailable(__func__);
    return static_cast<ULONG>(-1);
}
ULONG __glDrvReleaseContext(GLContext*) {
    vNotAvailable(__func__);
    return 0;
}
ULONG __glDrvSetContext(GLClient*, GLContext*, SURFOBJ*, WNDOBJ*, XLATEOBJ*) {
    vNotAvailable(__func__);
    return 0;
}
ULONG __glDrvShareLists(GLContext*, GLContext*) {
    vNotAvailable(__func__);
    return 0;
}
ULONG __glDrvCopyContext(GLContext*, GLContext*, ULONG) {
    vNotAvailable(__func__);
    return 0;
}
void __glContextLoseClient(GLContext*) { vNotAvailable(__func__); }
void __glDestroyContext(GLContext*) { vNotAvailable(__func__); }

LONG __glMapPrimSegment(GLClient*, ULONG, ULONG) {
    vNotAvailable(__func__);
    return -1;
}

WNDOBJ* pwoFromEngineHandle(ULONG hwo) {
    if (hwo != 0) vNotAvailable(__func__);
    return nullptr;
}
XLATEOBJ* pxoFromEngineHandle(ULONG hxo) {
    if (hxo != 0) vNotAvailable(__func__);
    return nullptr;
}

__GLXdispatchFn* __glXSingleTable = nullptr;
__GLXdispatchFn* __glXRenderBeginEndTable = nullptr;
ULONG __glXDebugFlag = 0;
ULONG __glXSetError(GLClient*, const char*, ULONG) {
    vNotAvailable(__func__);
    return 0;
}
const char* __glXRenderRequestName(ULONG) { return "render request"; }
const char* __glXSingleRequestName(ULONG) { return "single request"; }
void __glXValidateOnBind(GLContext*) { vNotAvailable(__func__); }
void __glXFlushPending(GLClient*) { vNotAvailable(__func__); }
void __glXWaitPending(GLClient*) { vNotAvailable(__func__); }
N_VertexRecord* __glXVertexRecord(GLClient*) {
    vNotAvailable(__func__);
    return nullptr;
}
void __glXAfterVertex(GLClient*, ULONG) { vNotAvailable(__func__); }
ULONG __glXAppendLargeChunk(GLClient*) {
    vNotAvailable(__func__);
    return BadImplementation;
}

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
