// Stand-ins for the server's parts that are not built yet, for the
// dispatcher's own tests: each records its call (name, arguments, and the
// x87 control word and exception masks it ran under) and answers what the
// test set.
#include "seams_double.h"

#include "dispatch/dispatch.h"

#include <cfenv>
#include <cstring>

namespace glsrv_double {

Record gRecord;
Answers gAnswers;
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

namespace {

ULONG Note(const char* pszName, std::vector<std::uintptr_t> args = {}) {
    Call c;
    c.name = pszName;
    c.args = std::move(args);
#if defined(__x86_64__) || defined(__i386__)
    __asm__ volatile("fnstcw %0" : "=m"(c.controlWord));
#endif
    c.exceptionsEnabled = fegetexcept();
    gRecord.calls.push_back(c);
    return gAnswers.ul;
}

std::uintptr_t U(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
std::uintptr_t F(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace
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
void N_Init(N_AllocFunc pfnAlloc, N_FreeFunc pfnFree, ULONG ul0, ULONG ul1) {
    Note(__func__, {U(reinterpret_cast<void*>(pfnAlloc)), U(reinterpret_cast<void*>(pfnFree)), ul0, ul1});
}
void _NFreeData(void) { Note(__func__); }
WNDOBJ* pwoFromEngineHandle(ULONG h) { return h == kWindowHandle ? kWindow : nullptr; }
XLATEOBJ* pxoFromEngineHandle(ULONG) { return nullptr; }

void N_MakeCurrent(N_Context* pnc) { Note(__func__, {U(pnc)}); }
LONG N_SetStateBlockAttr(ULONG id, const void* pv) {
    const LONG l = static_cast<LONG>(Note(__func__, {id, U(pv)}));
    if (pv != nullptr) {
        // Matrices (ids 0-24) are 16 words, colours (materials, light-model
        // ambient) 4; of other attributes the first word is kept.
        const bool bColour = (id >= 58 && id <= 61) || (id >= 67 && id <= 70) || id == 75;
        // Fixed-function state: colours and vectors, triples and pairs.
        const bool bStipple = id == 90;  // 32 words
        const bool bFour = id == 52 || id == 56 || id == 110 || id == 164 || id == 168;
        const bool bThree = id == 55 || id == 114 || id == 115;
        const bool bTwo = id == 51 || id == 117 || id == 121;
        // Textures: border and environment colours, generation {mode, plane}.
        const bool bTexFour = id == 155 || id == 156 || id == 159 || id == 160;
        const bool bTexGen = id >= 41 && id <= 44;
        const std::size_t c = bStipple ? 32 : id <= 24 ? 16 : bTexGen ? 5 : (bColour || bFour || bTexFour) ? 4
                            : bThree ? 3 : bTwo ? 2 : 1;
        gRecord.calls.back().words.resize(c);
        std::memcpy(gRecord.calls.back().words.data(), pv, c * sizeof(ULONG));
    }
    return l;
}
ULONG N_DispatchPackets(const ULONG* pw, LONG c) {
    return Note(__func__, {U(pw), static_cast<ULONG>(c)});
}
ULONG N_PacketsDone(ULONG id) {
    Note(__func__, {id});
    return gAnswers.notDone.count(id) == 0;
}
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
LONG N_SetStateBlockAttrWord(ULONG id, ULONG ul) { return static_cast<LONG>(Note(__func__, {id, ul})); }
LONG N_GetStateBlockAttr(ULONG id, void* pv) {
    Note(__func__, {id, U(pv)});
    auto it = gAnswers.attrs.find(id);
    if (it != gAnswers.attrs.end()) {
        std::memcpy(pv, it->second.data(), it->second.size() * sizeof(ULONG));
    }
    return -1;
}
BoardConfig* __glBoardConfig(GLContext* gc) {
    Note(__func__, {U(gc)});
    return gAnswers.board;
}
void N_SetLights(ULONG c, const N_Light* p) { Note(__func__, {c, U(p)}); }
// The enable words handed over, one argument each after the count.
void N_SetLightEnables(ULONG c, const ULONG* p) {
    std::vector<std::uintptr_t> args{c};
    for (ULONG i = 0; i < c; ++i) args.push_back(p[i]);
    Note(__func__, std::move(args));
}
void N_SetClipPlaneEnables(ULONG c, const ULONG* p) {
    std::vector<std::uintptr_t> args{c};
    for (ULONG i = 0; i < c; ++i) args.push_back(p[i]);
    Note(__func__, std::move(args));
}
void N_SetLight(ULONG fl, ULONG i, const N_Light* p) { Note(__func__, {fl, i, U(p)}); }
void N_GetLight(ULONG fl, ULONG i, N_Light* p) {
    Note(__func__, {fl, i, U(p)});
    if (fl & N_LIGHT_SPOT_DIRECTION) std::memcpy(p->spotDirection, gAnswers.eyeLight.spotDirection, 12);
    if (fl & N_LIGHT_POSITION) std::memcpy(p->position, gAnswers.eyeLight.position, 16);
}
N_VertexRecord* __glXVertexRecord(GLClient*) { return kVertexRecord; }
void __glXAfterVertex(GLClient* pgc, ULONG fFull) { Note(__func__, {U(pgc), fFull}); }
void N_SetVertexColor3(N_VertexRecord* p, float r, float g, float b) {
    Note(__func__, {U(p), F(r), F(g), F(b)});
}
void N_SetVertexColor4(N_VertexRecord* p, float r, float g, float b, float a) {
    Note(__func__, {U(p), F(r), F(g), F(b), F(a)});
}
void N_SetVertexIndex(N_VertexRecord* p, float i) { Note(__func__, {U(p), F(i)}); }
void N_SetVertexNormal(N_VertexRecord* p, float x, float y, float z) {
    Note(__func__, {U(p), F(x), F(y), F(z)});
}
void N_SetVertexTexCoord(N_VertexRecord* p, float s, float t, float r, float q) {
    Note(__func__, {U(p), F(s), F(t), F(r), F(q)});
}
ULONG N_SetVertexPos2(N_VertexRecord* p, float x, float y) {
    Note(__func__, {U(p), F(x), F(y)});
    return gAnswers.ulFull;
}
ULONG N_SetVertexPos3(N_VertexRecord* p, float x, float y, float z) {
    Note(__func__, {U(p), F(x), F(y), F(z)});
    return gAnswers.ulFull;
}
ULONG N_SetVertexPos4(N_VertexRecord* p, float x, float y, float z, float w) {
    Note(__func__, {U(p), F(x), F(y), F(z), F(w)});
    return gAnswers.ulFull;
}
void N_Flush(void) { Note(__func__); }
void N_Finish(void) { Note(__func__); }
void N_BeginFeedback(float* p, ULONG c, ULONG t) { Note(__func__, {U(p), c, t}); }
void N_EndFeedback(LONG* pc) {
    Note(__func__);
    *pc = gAnswers.lFeedback;
}
void N_InitNames(void) { Note(__func__); }
void N_SetSelectCallback(N_SelectCallback pfn, void* pv) {
    Note(__func__, {reinterpret_cast<std::uintptr_t>(pfn), U(pv)});
}
ULONG N_Sync(void) { return Note(__func__); }
BOOL __glDrawableSize(GLContext* gc, LONG* pcx, LONG* pcy) {
    *pcx = 640;
    *pcy = 480;
    return Note(__func__, {U(gc)}) != 0;
}
void N_SetClipPlane(ULONG i, const float* pf) {
    Note(__func__, {i, U(pf)});
    gRecord.calls.back().words.assign(reinterpret_cast<const ULONG*>(pf), reinterpret_cast<const ULONG*>(pf) + 4);
}
void N_Clear(ULONG fl, LONG x, LONG y, LONG cx, LONG cy, ULONG bUse, ULONG ul) {
    Note(__func__, {fl, static_cast<ULONG>(x), static_cast<ULONG>(y), static_cast<ULONG>(cx), static_cast<ULONG>(cy), bUse, ul});
}

// --- evaluators and pixel rectangles ---------------------------------------------------
// A primitive batch of a display list is a packet buffer with its header
// only, made when the context holds none.
ULONG __glOpenPrimitive(GLClient* pgc, __GLXprimBuffer**, __GLXpacketBuffer** ppPacket, ULONG target,
                        ULONG mode, ULONG option) {
    Note(__func__, {U(pgc), target, mode, option});
    if (gAnswers.ulOpen != 0) return gAnswers.ulOpen;
    if (target == GLX_PACKETS_LIST && *ppPacket == nullptr) {
        auto* p = static_cast<__GLXpacketBuffer*>(LocalAlloc(LPTR, 64));
        if (p == nullptr) return 0x505;
        *p = __GLXpacketBuffer{1039, static_cast<USHORT>(GLX_PACKET_HEADER), GLX_PACKET_HEADER + 4 * 4, target, 0, nullptr};
        *ppPacket = p;
    }
    return 0;
}
void N_DrawPixels(LONG cx, LONG cy, ULONG format, ULONG type, const void* pv) {
    Note(__func__, {static_cast<ULONG>(cx), static_cast<ULONG>(cy), format, type, U(pv)});
    const std::size_t cj = gAnswers.cjImage;
    if (pv != nullptr && cj != 0) gRecord.image.assign(static_cast<const BYTE*>(pv), static_cast<const BYTE*>(pv) + cj);
}
void N_DrawBitmap(ULONG cx, ULONG cy, float xo, float yo, float xm, float ym, const BYTE* pj) {
    Note(__func__, {cx, cy, F(xo), F(yo), F(xm), F(ym), U(pj)});
    const std::size_t cj = gAnswers.cjImage;
    if (pj != nullptr && cj != 0) gRecord.image.assign(pj, pj + cj);
}
LONG N_ReadPixels(LONG x, LONG y, LONG cx, LONG cy, ULONG format, ULONG type, void* pv) {
    Note(__func__, {static_cast<ULONG>(x), static_cast<ULONG>(y), static_cast<ULONG>(cx), static_cast<ULONG>(cy),
                    format, type, U(pv)});
    if (!gAnswers.readBack.empty()) std::memcpy(pv, gAnswers.readBack.data(), gAnswers.readBack.size());
    return -1;
}
void N_CopyPixels(LONG x, LONG y, LONG cx, LONG cy, ULONG source) {
    Note(__func__, {static_cast<ULONG>(x), static_cast<ULONG>(y), static_cast<ULONG>(cx), static_cast<ULONG>(cy),
                    source});
}
// The map's values, one argument each after map and count.
void N_SetPixelMaps(ULONG c, const N_PixelMapDesc* p) {
    std::vector<std::uintptr_t> args{c};
    for (ULONG i = 0; i < c; ++i) {
        args.push_back(p[i].map);
        args.push_back(p[i].cValues);
        for (ULONG k = 0; k < p[i].cValues; ++k) args.push_back(p[i].pulValues[k]);
    }
    Note(__func__, std::move(args));
}
// --- primitive accumulation and the name stack -----------------------------------------------
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
void __glXFillVertexTable(__GLXvertexFn* pTable) {
    const ULONG runs[][2] = {{6, 22}, {24, 32}, {49, 76}, {96, 99}};
    for (const auto& r : runs)
        for (ULONG i = r[0]; i <= r[1]; ++i) pTable[i] = VertexPacket;
}
ULONG N_PushName(ULONG name) { return Note(__func__, {name}); }
ULONG N_PopName(void) { return Note(__func__); }
ULONG N_GetNameStackDepth(void) { return Note(__func__); }
ULONG N_LoadName(ULONG name) { return Note(__func__, {name}); }
void N_PassThrough(float value) { Note(__func__, {F(value)}); }
// --- the raster position and the accumulation operation ----------------------------------
void N_RasterPos(const float* pf) { Note(__func__, {F(pf[0]), F(pf[1]), F(pf[2]), F(pf[3])}); }
void N_Accum(ULONG op, float value) { Note(__func__, {op, F(value)}); }
// --- display lists and textures: what a compiled Begin/End gives back, and
// the texture loader -----------------------------------------------------------
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
LONG N_BindAttrMap(const __GLXtexLevel* p) {
    Note(__func__, {U(p), p->target, p->level});
    return 0;
}
