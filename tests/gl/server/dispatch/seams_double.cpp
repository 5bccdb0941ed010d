// The server's parts behind seams.h stood in for, for the dispatcher's
// program: pixel formats and drawables, contexts, the buffer manager and
// primitive accumulation. Each records its call (double_note.h) and answers
// what the test set; the request layer is the server's own.
#include "seams_double.h"

#include "dispatch/dispatch.h"
#include "double_note.h"

#include <cstring>

namespace glsrv_double {

namespace {
GLDrawable* const kDrawable = reinterpret_cast<GLDrawable*>(0x4000);
// A context with a drawable and an lgi context (a token the stand-ins only
// note).
GLContext WithDrawable(std::uintptr_t lgiContext) {
    GLContext gc{};
    gc.pdraw = kDrawable;
    gc.pnc = reinterpret_cast<N_Context*>(lgiContext);
    return gc;
}
GLContext gContextA = WithDrawable(0x6000);
GLContext gContextB = WithDrawable(0x6100);
}  // namespace
GLContext* const kContextA = &gContextA;
GLContext* const kContextB = &gContextB;
N_VertexRecord* const kVertexRecord = reinterpret_cast<N_VertexRecord*>(0x5000);
WNDOBJ* const kWindow = reinterpret_cast<WNDOBJ*>(0x3000);

}  // namespace glsrv_double

using namespace glsrv_double;


void __glChooseFormatTable(PDEV*) { Note(__func__); }
ULONG glInitVisualConfigs(PDEV*) { return Note(__func__); }
void glFreeVisualConfigs(void) { Note(__func__); }
LONG glDrvDescribePixelFormat(DHPDEV, LONG iPixelFormat, ULONG cj, PIXELFORMATDESCRIPTOR*) {
    return static_cast<LONG>(Note(__func__, {static_cast<ULONG>(iPixelFormat), cj}));
}
BOOL __glDrvDescribeLayerPlane(LONG iPixelFormat, LONG iLayer, ULONG cj, BYTE* pj) {
    return Note(__func__,
                {static_cast<ULONG>(iPixelFormat), static_cast<ULONG>(iLayer), cj, U(pj)}) != 0;
}
BOOL __glSetFormatCount(USHORT c) { return Note(__func__, {c}) != 0; }
ULONG __glGetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG c, BYTE* pj) {
    return Note(__func__, {U(pwo), static_cast<ULONG>(iLayer), static_cast<ULONG>(iStart),
                           static_cast<ULONG>(c), U(pj)});
}
ULONG __glSetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG c, const BYTE* pj) {
    return Note(__func__, {U(pwo), static_cast<ULONG>(iLayer), static_cast<ULONG>(iStart),
                           static_cast<ULONG>(c), U(pj)});
}
ULONG __glRealizeLayerPalette(WNDOBJ* pwo, LONG iLayer, BOOL b) {
    return Note(__func__, {U(pwo), static_cast<ULONG>(iLayer), static_cast<ULONG>(b)});
}
BOOL glDrvSetPixelFormat(SURFOBJ*, LONG iPixelFormat, HWND) {
    return Note(__func__, {static_cast<ULONG>(iPixelFormat)}) != 0;
}
void __glFreeAllDrawables(void) { Note(__func__); }
BOOL __wglSwapBuffers(SURFOBJ*, WNDOBJ* pwo, ULONG fl) { return Note(__func__, {U(pwo), fl}) != 0; }
void _DUpdateOverlayPresent(void) { Note(__func__); }
GLContext* __glDrvCreateContext(SURFOBJ*, LONG iPixelFormat, LONG iLayer) {
    Note(__func__, {static_cast<ULONG>(iPixelFormat), static_cast<ULONG>(iLayer)});
    return gAnswers.gcCreated;
}
ULONG __glDrvDeleteContext(GLContext* gc) { return Note(__func__, {U(gc)}); }
ULONG __glDrvReleaseContext(GLContext* gc) { return Note(__func__, {U(gc)}); }
ULONG __glDrvSetContext(GLClient* pgc, GLContext* gc, SURFOBJ*, WNDOBJ* pwo, XLATEOBJ* pxo) {
    return Note(__func__, {U(pgc), U(gc), U(pwo), U(pxo)});
}
ULONG __glDrvShareLists(GLContext* a, GLContext* b) { return Note(__func__, {U(a), U(b)}); }
ULONG __glDrvCopyContext(GLContext* a, GLContext* b, ULONG fl) {
    return Note(__func__, {U(a), U(b), fl});
}
void __glContextLoseClient(GLContext* gc) { Note(__func__, {U(gc)}); }
void __glDestroyContext(GLContext* gc) { Note(__func__, {U(gc)}); }
LONG __glMapPrimSegment(GLClient* pgc, ULONG h, ULONG cj) {
    return static_cast<LONG>(Note(__func__, {U(pgc), h, cj}));
}
WNDOBJ* pwoFromEngineHandle(ULONG h) { return h == kWindowHandle ? kWindow : nullptr; }
XLATEOBJ* pxoFromEngineHandle(ULONG) { return nullptr; }

BOOL _DBindBuffers(GLContext* gc, ULONG fl) { return Note(__func__, {U(gc), fl}) != 0; }
void _DSetClipRegion(GLContext* gc, const __GLXbox* pbox) { Note(__func__, {U(gc), U(pbox)}); }
LONG __glDrawableHeight(GLContext* gc) { return static_cast<LONG>(Note(__func__, {U(gc)})); }
BOOL __glVisualDoubleBuffered(GLContext* gc) { return Note(__func__, {U(gc)}) != 0; }
BOOL __glVisualStereo(GLContext* gc) { return Note(__func__, {U(gc)}) != 0; }
BOOL __glXPushClipPlanes(GLContext* gc) { return Note(__func__, {U(gc)}) != 0; }
BOOL __glXPushColorFormat(GLContext* gc) { return Note(__func__, {U(gc)}) != 0; }
BOOL __glXValidateViewport(GLContext* gc) { return Note(__func__, {U(gc)}) != 0; }
ULONG __glClosePrimitive(GLClient* pgc) { return Note(__func__, {U(pgc)}); }
void __glSendPrimitive(GLClient* pgc) { Note(__func__, {U(pgc)}); }
BoardConfig* __glBoardConfig(GLContext* gc) {
    Note(__func__, {U(gc)});
    return gAnswers.board;
}
N_VertexRecord* __glXVertexRecord(GLClient*) { return kVertexRecord; }
void __glXAfterVertex(GLClient* pgc, ULONG fFull) { Note(__func__, {U(pgc), fFull}); }
BOOL __glDrawableSize(GLContext* gc, LONG* pcx, LONG* pcy) {
    *pcx = 640;
    *pcy = 480;
    return Note(__func__, {U(gc)}) != 0;
}
// --- the primitive buffer, for evaluators and display lists ------------------------------
// A primitive batch of a display list is a packet buffer with its header
// only, made when the context holds none.
ULONG __glOpenPrimitive(GLClient* pgc, __GLXprimBuffer**, __GLXpacketBuffer** ppPacket, ULONG target,
                        ULONG mode, ULONG option) {
    Note(__func__, {U(pgc), target, mode, option});
    if (gAnswers.ulOpen != 0) return gAnswers.ulOpen;
    if (target == GLX_PACKETS_LIST && *ppPacket == nullptr) {
        auto* p = static_cast<__GLXpacketBuffer*>(LocalAlloc(LPTR, 64));
        if (p == nullptr) return 0x505;
        *p = __GLXpacketBuffer{X_GLrop_DispatchPacketsZYD, static_cast<USHORT>(GLX_PACKET_HEADER), GLX_PACKET_HEADER + 4 * 4, target, 0, nullptr};
        *ppPacket = p;
    }
    return 0;
}
// --- primitive accumulation ------------------------------------------------------------------
// Begin and the ring's batches refuse a short body as their handlers do.
ULONG glExecPrimitiveZYD(GLClient* pgc, const void* pv) {
    if (!__glXRenderBodyFits(pgc, pv, 16)) return __glXBadLength(pgc, pv);
    Note(__func__, {U(pgc), U(pv)});
    return GLX_SUCCESS;
}
ULONG __glXDisp_Begin(GLClient* pgc, const void* pv) {
    if (!__glXRenderBodyFits(pgc, pv, 4)) return __glXBadLength(pgc, pv);
    Note(__func__, {U(pgc), U(pv)});
    return GLX_SUCCESS;
}
namespace {
ULONG VertexPacket(__GLXprimBuffer* pb, const void* pv) {
    Note("__glXVtx", {U(pb), U(pv)});
    return GL_NO_ERROR;
}
}  // namespace
// The description's vertex packets, each noted as "__glXVtx".
void __glXFillVertexTable(__GLXvertexFn* pTable) {
    for (const GLXRenderRow& r : kGLXRenderRows)
        if (r.vertex == GLXVertex::PACKET) pTable[r.opcode] = VertexPacket;
}
// --- display lists: what a compiled Begin/End gives back -------------------------------
BOOL __glTakeBackPrimitive(GLClient* pgc, BYTE** ppj, ULONG* pcj) {
    Note(__func__, {U(pgc)});
    *ppj = nullptr;
    *pcj = 0;
    if (gAnswers.takenBack.empty()) return gAnswers.ul != 0;
    *ppj = static_cast<BYTE*>(LocalAlloc(LPTR, gAnswers.takenBack.size()));
    std::memcpy(*ppj, gAnswers.takenBack.data(), gAnswers.takenBack.size());
    *pcj = static_cast<ULONG>(gAnswers.takenBack.size());
    return TRUE;
}