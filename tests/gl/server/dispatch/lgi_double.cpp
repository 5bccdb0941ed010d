// The lgi layer's contract (lgi/lgi.h) stood in for, for the dispatcher's
// program: each entry the request layer reaches records its call and
// answers what the test set (gAnswers).
#include <algorithm>
#include <cfenv>
#include <cstring>

#include "double_note.h"

namespace glsrv_double {

Record gRecord;
Answers gAnswers;

ULONG Note(const char* pszName, std::vector<std::uintptr_t> args) {
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

}  // namespace glsrv_double

using namespace glsrv_double;

void N_Init(N_AllocFunc pfnAlloc, N_FreeFunc pfnFree, ULONG ul0, ULONG ul1) {
    Note(__func__, {U(reinterpret_cast<void*>(pfnAlloc)), U(reinterpret_cast<void*>(pfnFree)), ul0, ul1});
}
void _NFreeData(void) { Note(__func__); }
void N_MakeCurrent(N_Context* pnc) { Note(__func__, {U(pnc)}); }
namespace {
// The words of an attribute value the double keeps: matrix-stack operations
// 16, state-block attributes their words (N_AttrWords), other ids one word.
std::size_t cWordsKept(ULONG id) {
    if (id <= N_ATTR_EXTRA_MATRIX_OP) return 16;
    return std::max<std::size_t>(N_AttrWords(id), 1);
}
}  // namespace
LONG N_SetStateBlockAttr(ULONG id, const void* pv) {
    const LONG l = static_cast<LONG>(Note(__func__, {id, U(pv)}));
    if (pv != nullptr) {
        const std::size_t c = cWordsKept(id);
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
LONG N_SetStateBlockAttrWord(ULONG id, ULONG ul) { return static_cast<LONG>(Note(__func__, {id, ul})); }
LONG N_GetStateBlockAttr(ULONG id, void* pv) {
    Note(__func__, {id, U(pv)});
    auto it = gAnswers.attrs.find(id);
    if (it != gAnswers.attrs.end()) {
        std::memcpy(pv, it->second.data(), it->second.size() * sizeof(ULONG));
    }
    return -1;
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
// No triangle reaches a board here: the count the list budget reads stays 0.
std::uint64_t N_TrianglePixels(void) { return 0; }
void N_SetClipPlane(ULONG i, const float* pf) {
    Note(__func__, {i, U(pf)});
    gRecord.calls.back().words.assign(reinterpret_cast<const ULONG*>(pf), reinterpret_cast<const ULONG*>(pf) + 4);
}
void N_Clear(ULONG fl, LONG x, LONG y, LONG cx, LONG cy, ULONG bUse, ULONG ul) {
    Note(__func__, {fl, static_cast<ULONG>(x), static_cast<ULONG>(y), static_cast<ULONG>(cx), static_cast<ULONG>(cy), bUse, ul});
}
// --- pixel rectangles ----------------------------------------------------------------------
void N_DrawPixels(LONG cx, LONG cy, ULONG format, ULONG type, const void* pv) {
    Note(__func__, {static_cast<ULONG>(cx), static_cast<ULONG>(cy), format, type, U(pv)});
    const std::size_t cj = gAnswers.cjImage;
    if (pv != nullptr && cj != 0) gRecord.image.assign(static_cast<const BYTE*>(pv), static_cast<const BYTE*>(pv) + cj);
}
// The whole image reaches the window.
BOOL N_DrawPixelsReach(LONG cx, LONG cy, LONG* pl) {
    Note(__func__, {static_cast<ULONG>(cx), static_cast<ULONG>(cy)});
    pl[0] = pl[1] = 0;
    pl[2] = cx;
    pl[3] = cy;
    return cx > 0 && cy > 0;
}
void N_DrawPixelsPiece(LONG col, LONG row, LONG cx, LONG cy, ULONG format, ULONG type, const void* pv) {
    Note(__func__, {static_cast<ULONG>(col), static_cast<ULONG>(row), static_cast<ULONG>(cx), static_cast<ULONG>(cy),
                    format, type, U(pv)});
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
// --- the name stack --------------------------------------------------------------------------
ULONG N_PushName(ULONG name) { return Note(__func__, {name}); }
ULONG N_PopName(void) { return Note(__func__); }
ULONG N_GetNameStackDepth(void) { return Note(__func__); }
ULONG N_LoadName(ULONG name) { return Note(__func__, {name}); }
void N_PassThrough(float value) { Note(__func__, {F(value)}); }
// --- the raster position and the accumulation operation ----------------------------------
void N_RasterPos(const float* pf) { Note(__func__, {F(pf[0]), F(pf[1]), F(pf[2]), F(pf[3])}); }
void N_Accum(ULONG op, float value) { Note(__func__, {op, F(value)}); }
// --- textures: the texture loader -----------------------------------------------------------
LONG N_BindAttrMap(const __GLXtexLevel* p) {
    Note(__func__, {U(p), p->target, p->level});
    return 0;
}
