// Evaluators: the GL one- and two-dimensional maps, their grids and
// meshes. The server evaluates the maps itself with a cached Bernstein
// basis and hands every evaluated point to the context's vertex-packet
// table, as a client's per-vertex requests would arrive, so that meshes,
// EvalCoord and EvalPoint end in the same primitive batch.
//
// The maps (order, domain, control points, and the points the last mesh
// evaluated) live in the server-object record: they belong to no attribute
// group, so PushAttrib never copies them. The EVAL block keeps the grids
// and the ENABLE block the map enables, as the attribute groups have them.
#pragma once

#include <cstring>

#include "context/context.h"
#include "gl10.h"
#include "glrequest_sizes.h"
#include "glrequests.h"

// Nine targets a dimension, by index: COLOR_4, INDEX, NORMAL,
// TEXTURE_COORD_1 .. TEXTURE_COORD_4, VERTEX_3, VERTEX_4.
#define GLX_EVAL_TARGETS 9u
#define GLX_EVAL_MAX_ORDER 30u  // reported as MAX_EVAL_ORDER
// Values a point of each target.
inline constexpr const std::uint32_t (&__glXEvalComponents)[GLX_EVAL_TARGETS] = kGLXMapComponents;

// A Map request as the published encoding lays it out: where each field is
// in the body. The control points follow the fixed arguments.
struct __GLXmapLayout {
    bool b2D;
    bool bDouble;
    ULONG cjFixed;
    ULONG offTarget, offUOrder, offVOrder;
    ULONG offU1, offU2, offV1, offV2;
};
inline constexpr __GLXmapLayout __glXMap1d{false, true, GLXFixedBody(X_GLrop_Map1d), 16, 20, 0, 0, 8, 0, 0};
inline constexpr __GLXmapLayout __glXMap1f{false, false, GLXFixedBody(X_GLrop_Map1f), 0, 12, 0, 4, 8, 0, 0};
inline constexpr __GLXmapLayout __glXMap2d{true, true, GLXFixedBody(X_GLrop_Map2d), 32, 36, 40, 0, 8, 16, 24};
inline constexpr __GLXmapLayout __glXMap2f{true, false, GLXFixedBody(X_GLrop_Map2f), 0, 12, 24, 4, 8, 16, 20};

// A float or double of a Map or MapGrid request at byte off, as a float.
inline float __glXMapArg(const BYTE* pj, ULONG off, bool bDouble) {
    if (bDouble) {
        double d;
        std::memcpy(&d, pj + off, 8);
        return static_cast<float>(d);
    }
    float f;
    std::memcpy(&f, pj + off, 4);
    return f;
}

// The fixed arguments of a Map request, read and judged.
struct __GLXmapArgs {
    ULONG iTarget;
    ULONG uorder, vorder;  // vorder 1 for a one-dimensional map
    float u1, u2, v1, v2;  // v1, v2: 0 and 1 for a one-dimensional map
    ULONG cValues;         // control-point values the request carries
};
#define GLX_MAP_ACCEPTED 0u
#define GLX_MAP_OTHER_TARGET 1u  // a target of the other dimension or none: ignored
#define GLX_MAP_INVALID 2u       // an order out of 1 .. GLX_EVAL_MAX_ORDER or an empty domain
inline ULONG __glXReadMapArgs(const __GLXmapLayout& L, const BYTE* pj, __GLXmapArgs* pa) {
    ULONG target;
    std::memcpy(&target, pj + L.offTarget, 4);
    const ULONG first = L.b2D ? GL_MAP2_COLOR_4 : GL_MAP1_COLOR_4;
    if (target - first >= GLX_EVAL_TARGETS) return GLX_MAP_OTHER_TARGET;
    pa->iTarget = target - first;
    std::memcpy(&pa->uorder, pj + L.offUOrder, 4);
    pa->vorder = 1;
    if (L.b2D) std::memcpy(&pa->vorder, pj + L.offVOrder, 4);
    pa->u1 = __glXMapArg(pj, L.offU1, L.bDouble);
    pa->u2 = __glXMapArg(pj, L.offU2, L.bDouble);
    pa->v1 = L.b2D ? __glXMapArg(pj, L.offV1, L.bDouble) : 0.0f;
    pa->v2 = L.b2D ? __glXMapArg(pj, L.offV2, L.bDouble) : 1.0f;
    // Orders of 1 to the reported maximum, and a domain that is not empty.
    if (pa->uorder - 1 >= GLX_EVAL_MAX_ORDER || pa->vorder - 1 >= GLX_EVAL_MAX_ORDER || pa->u1 == pa->u2 ||
        pa->v1 == pa->v2)
        return GLX_MAP_INVALID;
    pa->cValues = __glXEvalComponents[pa->iTarget] * pa->uorder * pa->vorder;  // at most 3600
    return GLX_MAP_ACCEPTED;
}

// The bytes of control points a Map request carries behind its fixed
// arguments: none when its arguments are refused before a point is read.
inline ULONG __glXMapPointBytes(ULONG opcode, const BYTE* pj) {
    const __GLXmapLayout* pL = opcode == X_GLrop_Map1d   ? &__glXMap1d
                               : opcode == X_GLrop_Map1f ? &__glXMap1f
                               : opcode == X_GLrop_Map2d ? &__glXMap2d
                               : opcode == X_GLrop_Map2f ? &__glXMap2f
                                                         : nullptr;
    __GLXmapArgs a;
    if (pL == nullptr || __glXReadMapArgs(*pL, pj, &a) != GLX_MAP_ACCEPTED) return 0;
    return a.cValues * (pL->bDouble ? 8 : 4);
}

// EVAL block: the grids sit after the maps' words (glstate.h), three of
// {u1, u2, n}: the one-dimensional grid, then the two-dimensional grid's u
// and v.
#define GLX_EVAL_GRID1 0u
#define GLX_EVAL_GRID2_U 1u
#define GLX_EVAL_GRID2_V 2u

// One map of one target.
struct __GLXevalMap {
    ULONG components;  // k: values a point
    ULONG uorder;      // 1 .. 30
    ULONG vorder;      // 1 for a one-dimensional map
    float u1, u2, v1, v2;
    float* pPoints;    // k x uorder x vorder floats, u major; null: the default point
    float afDefault[4];  // the map's point before any Map request
    // The points the last mesh evaluated: k floats each (and a normal of
    // three for an auto-normal vertex map), rows j1..j2 of columns i1..i2,
    // made on the grid recorded with them.
    float* pTable;
    float* pNormals;
    LONG i1, i2, j1, j2;
    float grid[6];     // u1, u2, n, v1, v2, vn of the grid the table was made on
};

// The evaluator record of a context: nine maps a dimension.
struct __GLXevalState {
    __GLXevalMap map1[GLX_EVAL_TARGETS];
    __GLXevalMap map2[GLX_EVAL_TARGETS];
    ULONG cEvaluated;  // points the last mesh evaluated
};

// The context's evaluator record, made with the default maps when absent;
// null when it cannot be made.
__GLXevalState* __glXEvalState(GLContext* gc);
void __glXFreeEvalState(__GLXevalState* pes);
// The map of a MAP1_* or MAP2_* target (its defaults when no record could
// be made); null for another target.
const __GLXevalMap* __glXEvalMapOf(GLContext* gc, ULONG target);

// The Bernstein basis B(0..order-1) of degree order - 1 at t, and (pdB
// non-null) its derivative in t; recomputed only when (order, t) differs
// from the last call's (one cache a direction: 0 u, 1 v).
void __glXBernsteinBasis(ULONG order, float t, float* pB, float* pdB, ULONG iCache);
// Evaluates a map at (u, v) (v ignored for one dimension): FALSE when its
// domain is empty (u1 = u2 or v1 = v2). With pfdu/pfdv the partial
// derivatives in u and v are made too.
BOOL __glXEvalMap(const __GLXevalMap* pm, float u, float v, float* pf, float* pfdu, float* pfdv);

// The entry points of the inside-Begin/End evaluator requests: the enabled
// maps evaluated at a coordinate or grid point, emitted as vertex packets.
// GL_NO_ERROR or the first GL error of the vertex packets.
ULONG __glXEvalCoord1(GLClient* pgc, float u);
ULONG __glXEvalCoord2(GLClient* pgc, float u, float v);
ULONG __glXEvalPoint1(GLClient* pgc, LONG i);
ULONG __glXEvalPoint2(GLClient* pgc, LONG i, LONG j);

// The requests' handlers (__glXDisp_<request>): dispatch/dispatch.h.
// Between Begin and End: EvalCoord1dv .. EvalCoord2fv (151-154), EvalPoint1
// (156), EvalPoint2 (158); while a list is compiled they are stored.
ULONG __glXBeginEnd_EvalCoord(GLClient*, const void*);
