// The evaluator requests: Map1 and Map2 store a map, MapGrid1 and MapGrid2
// a grid, EvalMesh1 and EvalMesh2 evaluate the enabled maps over a grid
// range into primitive batches, and the inside-Begin/End EvalCoord and
// EvalPoint requests evaluate one point into the open batch. Every point
// reaches the batch as the vertex packets of its targets, in target order
// (the vertex last).
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "eval/eval.h"
#include "list/list.h"
#include "seams.h"
#include "state/glstate.h"
#include "state/state_requests.h"

namespace {

// The vertex packet that takes each target's value: Color4fv, Indexfv,
// Normal3fv, TexCoord1fv .. TexCoord4fv, Vertex3fv, Vertex4fv.
constexpr USHORT kEmitOpcode[GLX_EVAL_TARGETS] = {
    X_GLrop_Color4fv,    X_GLrop_Indexfv,     X_GLrop_Normal3fv,   X_GLrop_TexCoord1fv, X_GLrop_TexCoord2fv,
    X_GLrop_TexCoord3fv, X_GLrop_TexCoord4fv, X_GLrop_Vertex3fv,   X_GLrop_Vertex4fv};
constexpr ULONG kNormal = 2, kTexFirst = 3, kTexLast = 6, kVertex3 = 7, kVertex4 = 8;

// A mesh of at most this many grid points is evaluated into tables first
// (sized by it); a larger one point by point as it is emitted, up to
// kMaxStreamedPoints: a mesh past that (more than a 2048 by 2048 grid, a
// grid over the whole 32-bit range, say) is one no request can be given
// the time for, and is out of memory. The bound keeps the dearest single
// request (a filled mesh sends every point twice) to a few million
// vertices, well under a second's work. A two-dimensional mesh also sends
// a batch per row and column (lines) or row pair (fill), and a batch
// costs as much as many points: one past kMaxMeshBatches (a grid a single
// point wide and millions long) is out of memory too.
constexpr std::int64_t kMaxMeshPoints = 1 << 18;
constexpr std::int64_t kMaxStreamedPoints = std::int64_t{1} << 22;
constexpr std::int64_t kMaxMeshBatches = std::int64_t{1} << 16;

unsigned uBit(ULONG flGroup) { return static_cast<unsigned>(__builtin_ctz(flGroup)); }

ULONG* pwBlock(GLContext* gc, ULONG flGroup) {
    return gc->pState != nullptr ? gc->pState->blocks[uBit(flGroup)] : nullptr;
}

// A grid {u1, u2, n} of the EVAL block.
struct Grid {
    float a1, a2;
    LONG n;
};
Grid gridOf(GLContext* gc, ULONG iGrid) {
    const ULONG* pw = pwBlock(gc, GL_EVAL_BIT);
    if (pw == nullptr) return {0.0f, 1.0f, 1};
    const ULONG* pg = pw + GLX_EVAL_GRID_FIRST + 3 * iGrid;
    Grid g;
    std::memcpy(&g.a1, pg, 4);
    std::memcpy(&g.a2, pg + 1, 4);
    g.n = static_cast<LONG>(pg[2]);
    if (g.n < 1) g.n = 1;  // MapGrid never stores one; nothing divides by 0
    return g;
}
// Grid point i: u1 + i (u2 - u1) / n, exactly u2 at i = n.
float fGridAt(const Grid& g, LONG i) {
    if (i == g.n) return g.a2;
    return g.a1 + static_cast<float>(i) * (g.a2 - g.a1) / static_cast<float>(g.n);
}

// The maps a point evaluates: the enabled maps of one dimension.
struct Active {
    __GLXevalMap* apm[GLX_EVAL_TARGETS];
    ULONG fl;           // target bits
    ULONG iNormalFrom;  // the vertex map whose automatic normal is sent, or ~0
    bool b2D;
    Grid gu, gv;
};

// The active maps of a dimension: GL_NO_ERROR (none when the context has
// no GL state), or GL_OUT_OF_MEMORY when the evaluator record cannot be made.
ULONG ulActive(GLContext* gc, bool b2D, Active* pa) {
    *pa = Active{};
    pa->b2D = b2D;
    pa->iNormalFrom = ~0u;
    pa->gu = pa->gv = Grid{0.0f, 1.0f, 1};
    if (gc->pState == nullptr) return GL_NO_ERROR;
    __GLXevalState* pes = __glXEvalState(gc);
    if (pes == nullptr) return GL_OUT_OF_MEMORY;
    pa->gu = gridOf(gc, b2D ? GLX_EVAL_GRID2_U : GLX_EVAL_GRID1);
    pa->gv = b2D ? gridOf(gc, GLX_EVAL_GRID2_V) : Grid{0.0f, 1.0f, 1};
    const ULONG* pwEnable = pwBlock(gc, GL_ENABLE_BIT);
    if (pwEnable == nullptr) return GL_NO_ERROR;
    for (ULONG i = 0; i < GLX_EVAL_TARGETS; ++i) {
        if (pwEnable[(b2D ? GLX_EN_MAP2 : GLX_EN_MAP1) + i] == 0) continue;
        pa->apm[i] = b2D ? &pes->map2[i] : &pes->map1[i];
        pa->fl |= 1u << i;
    }
    // Only the widest enabled vertex map, and the widest texture
    // coordinate map, make a value: two vertices for one point would be
    // two points.
    if (pa->fl & (1u << kVertex4)) pa->fl &= ~(1u << kVertex3);
    for (ULONG t = kTexLast; t > kTexFirst; --t) {
        if (pa->fl & (1u << t)) {
            pa->fl &= ~(((1u << t) - 1) & ~((1u << kTexFirst) - 1));
            break;
        }
    }
    if (b2D && (pwEnable[GLX_ENABLE_BITS] & GLX_EN_AUTO_NORMAL)) {
        if (pa->fl & (1u << kVertex4)) pa->iNormalFrom = kVertex4;
        else if (pa->fl & (1u << kVertex3)) pa->iNormalFrom = kVertex3;
    }
    return GL_NO_ERROR;
}

// A point's values: four floats a target, the automatic normal.
struct Point {
    float af[GLX_EVAL_TARGETS][4];
    float afNormal[3];
    ULONG flHave;
    bool bNormal;
};

// The normal of a vertex map at (u, v): du x dv made unit length, (0, 0, 0)
// when that has no length. For four components each partial d becomes
// w d - dw p on the first three.
void vAutoNormal(const __GLXevalMap* pm, float u, float v, float* pfNormal) {
    float p[4] = {}, du[4] = {}, dv[4] = {};
    pfNormal[0] = pfNormal[1] = pfNormal[2] = 0.0f;
    if (!__glXEvalMap(pm, u, v, p, du, dv)) return;
    if (pm->components == 4) {
        for (ULONG c = 0; c < 3; ++c) {
            du[c] = p[3] * du[c] - du[3] * p[c];
            dv[c] = p[3] * dv[c] - dv[3] * p[c];
        }
    }
    const float n[3] = {du[1] * dv[2] - du[2] * dv[1], du[2] * dv[0] - du[0] * dv[2], du[0] * dv[1] - du[1] * dv[0]};
    const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(len > 0.0f)) return;
    for (ULONG c = 0; c < 3; ++c) pfNormal[c] = n[c] / len;
}

void vEvalPoint(const Active& a, float u, float v, Point* pp) {
    pp->flHave = 0;
    pp->bNormal = false;
    for (ULONG i = 0; i < GLX_EVAL_TARGETS; ++i) {
        if ((a.fl & (1u << i)) && __glXEvalMap(a.apm[i], u, v, pp->af[i], nullptr, nullptr)) pp->flHave |= 1u << i;
    }
    if (a.iNormalFrom != ~0u) {
        vAutoNormal(a.apm[a.iNormalFrom], u, v, pp->afNormal);
        pp->bNormal = true;
    }
}

// Sends a point's values to the vertex packets: GL_NO_ERROR or the first
// error a packet answered.
ULONG ulEmit(GLContext* gc, const Point& p) {
    if (gc->pVertexTable == nullptr) return GL_NO_ERROR;
    ULONG fl = p.flHave;
    if (p.bNormal) fl |= 1u << kNormal;
    ULONG glError = GL_NO_ERROR;
    for (ULONG i = 0; i < GLX_EVAL_TARGETS; ++i) {
        if ((fl & (1u << i)) == 0) continue;
        BYTE aj[16];
        std::memcpy(aj, i == kNormal && p.bNormal ? p.afNormal : p.af[i], 4 * __glXEvalComponents[i]);
        const ULONG e = gc->pVertexTable[kEmitOpcode[i]](gc->pPrimBuffer, aj);
        if (glError == GL_NO_ERROR) glError = e;
    }
    return glError;
}

// --- the tables of a mesh ------------------------------------------------------------

bool bSameGrid(const __GLXevalMap* pm, const Active& a) {
    const float af[6] = {a.gu.a1, a.gu.a2, static_cast<float>(a.gu.n), a.gv.a1, a.gv.a2, static_cast<float>(a.gv.n)};
    return std::memcmp(pm->grid, af, sizeof af) == 0;
}

void vDropTable(__GLXevalMap* pm) {
    if (pm->pTable != nullptr) LocalFree(pm->pTable);
    if (pm->pNormals != nullptr) LocalFree(pm->pNormals);
    pm->pTable = pm->pNormals = nullptr;
}

// Evaluates the active maps at grid points i1..i2 x j1..j2 into a table
// each, or leaves them without tables (the points are then evaluated as
// they are emitted): GL_NO_ERROR; GL_OUT_OF_MEMORY past
// kMaxStreamedPoints, or for a two-dimensional mesh (b2D) past
// kMaxMeshBatches rows and columns.
ULONG ulEvalMeshPoints(GLContext* gc, const Active& a, bool b2D, LONG i1, LONG i2, LONG j1, LONG j2) {
    const std::int64_t cCols = std::int64_t{i2} - i1 + 1, cRows = std::int64_t{j2} - j1 + 1;
    const std::int64_t cPoints = cCols * cRows;
    const std::int64_t cBatches = b2D ? cCols + cRows : 1;
    // A mesh larger than the tables may hold, or one whose tables cannot be
    // had, is evaluated point by point as it is emitted (vGridPoint): its
    // size costs time, never an error.
    const auto vNoTables = [&a] {
        for (ULONG k = 0; k < GLX_EVAL_TARGETS; ++k)
            if (a.fl & (1u << k)) vDropTable(a.apm[k]);
    };
    if (cPoints > kMaxStreamedPoints || cBatches > kMaxMeshBatches) {
        vNoTables();
        return GL_OUT_OF_MEMORY;
    }
    if (cPoints > kMaxMeshPoints) {
        vNoTables();
        return GL_NO_ERROR;
    }
    for (ULONG t = 0; t < GLX_EVAL_TARGETS; ++t) {
        if ((a.fl & (1u << t)) == 0) continue;
        __GLXevalMap* pm = a.apm[t];
        vDropTable(pm);
        pm->pTable = static_cast<float*>(LocalAlloc(LPTR, static_cast<std::size_t>(cPoints) * pm->components * sizeof(float)));
        if (t == a.iNormalFrom)
            pm->pNormals = static_cast<float*>(LocalAlloc(LPTR, static_cast<std::size_t>(cPoints) * 3 * sizeof(float)));
        if (pm->pTable == nullptr || (t == a.iNormalFrom && pm->pNormals == nullptr)) {
            vNoTables();
            return GL_NO_ERROR;
        }
        pm->i1 = i1;
        pm->i2 = i2;
        pm->j1 = j1;
        pm->j2 = j2;
        const float af[6] = {a.gu.a1, a.gu.a2, static_cast<float>(a.gu.n), a.gv.a1, a.gv.a2, static_cast<float>(a.gv.n)};
        std::memcpy(pm->grid, af, sizeof af);
        for (std::int64_t r = 0; r < cRows; ++r) {
            const float v = fGridAt(a.gv, static_cast<LONG>(j1 + r));
            for (std::int64_t c = 0; c < cCols; ++c) {
                const float u = fGridAt(a.gu, static_cast<LONG>(i1 + c));
                const std::int64_t k = r * cCols + c;
                if (!__glXEvalMap(pm, u, v, pm->pTable + k * pm->components, nullptr, nullptr))
                    std::memset(pm->pTable + k * pm->components, 0, pm->components * sizeof(float));
                if (pm->pNormals != nullptr) vAutoNormal(pm, u, v, pm->pNormals + 3 * k);
            }
        }
    }
    if (__GLXevalState* pes = __glXEvalState(gc)) pes->cEvaluated = static_cast<ULONG>(cPoints);
    return GL_NO_ERROR;
}

// The values of grid point (i, j): from each map's table when the point is
// inside a table made on the current grid, else evaluated.
void vGridPoint(const Active& a, LONG i, LONG j, Point* pp) {
    pp->flHave = 0;
    pp->bNormal = false;
    const float u = fGridAt(a.gu, i), v = fGridAt(a.gv, j);
    for (ULONG t = 0; t < GLX_EVAL_TARGETS; ++t) {
        if ((a.fl & (1u << t)) == 0) continue;
        const __GLXevalMap* pm = a.apm[t];
        const bool bInTable = pm->pTable != nullptr && i >= pm->i1 && i <= pm->i2 && j >= pm->j1 && j <= pm->j2 &&
                              bSameGrid(pm, a);
        if (bInTable) {
            const std::int64_t k = (std::int64_t{j} - pm->j1) * (std::int64_t{pm->i2} - pm->i1 + 1) + (i - pm->i1);
            std::memcpy(pp->af[t], pm->pTable + k * pm->components, pm->components * sizeof(float));
            pp->flHave |= 1u << t;
            if (t == a.iNormalFrom) {
                if (pm->pNormals != nullptr) std::memcpy(pp->afNormal, pm->pNormals + 3 * k, sizeof pp->afNormal);
                else vAutoNormal(pm, u, v, pp->afNormal);
                pp->bNormal = true;
            }
            continue;
        }
        if (__glXEvalMap(pm, u, v, pp->af[t], nullptr, nullptr)) pp->flHave |= 1u << t;
        if (t == a.iNormalFrom) {
            vAutoNormal(pm, u, v, pp->afNormal);
            pp->bNormal = true;
        }
    }
}

// A batch of the mode over a run of grid points.
struct Run {
    LONG i0, j0;   // first point
    LONG di, dj;   // step a point
    LONG cPoints;
    LONG dj2;      // a second point each step at (i, j + dj2) (quad strips), or 0
};

ULONG ulEmitBatch(GLClient* pgc, const Active& a, ULONG mode, const Run& run) {
    GLContext* gc = pgc->gc;
    if (__glOpenPrimitive(pgc, &gc->pPrimBuffer, &gc->pPending, GLX_PACKETS_IMMEDIATE, mode, 0) != GL_NO_ERROR) return GL_OUT_OF_MEMORY;
    ULONG glError = GL_NO_ERROR;
    Point p;
    for (LONG k = 0; k < run.cPoints; ++k) {
        const LONG i = run.i0 + k * run.di, j = run.j0 + k * run.dj;
        vGridPoint(a, i, j, &p);
        ULONG e = ulEmit(gc, p);
        if (run.dj2 != 0) {
            vGridPoint(a, i, j + run.dj2, &p);
            const ULONG e2 = ulEmit(gc, p);
            if (e == GL_NO_ERROR) e = e2;
        }
        if (glError == GL_NO_ERROR) glError = e;
    }
    if (__glClosePrimitive(pgc) != 0) __glSendPrimitive(pgc);
    return glError;
}

// --- the requests ----------------------------------------------------------------------

template <const __GLXmapLayout& L>
ULONG ulMap(GLClient* pgc, const void* pv) {
    // A map neither hands on the pending batch nor records an error for a
    // target of the other dimension or none.
    if (pgc == nullptr || pgc->gc == nullptr) return GLX_BAD_ACCESS;
    const BYTE* pj = static_cast<const BYTE*>(pv) + 4;
    __GLXmapArgs a;
    switch (__glXReadMapArgs(L, pj, &a)) {
        case GLX_MAP_OTHER_TARGET: return GLX_SUCCESS;
        case GLX_MAP_INVALID: return __glXRenderError(pgc, pv, GL_INVALID_VALUE);
        default: break;
    }
    // The control points lie inside the request: the length check made sure.
    const ULONG cValues = a.cValues;
    const ULONG cjValue = L.bDouble ? 8 : 4;
    __GLXevalState* pes = __glXEvalState(pgc->gc);
    auto* pf = static_cast<float*>(LocalAlloc(LPTR, cValues * sizeof(float)));
    if (pes == nullptr || pf == nullptr) {
        if (pf != nullptr) LocalFree(pf);
        return __glXRenderError(pgc, pv, GL_OUT_OF_MEMORY);
    }
    for (ULONG i = 0; i < cValues; ++i) pf[i] = __glXMapArg(pj + L.cjFixed, i * cjValue, L.bDouble);
    __GLXevalMap* pm = L.b2D ? &pes->map2[a.iTarget] : &pes->map1[a.iTarget];
    if (pm->pPoints != nullptr) LocalFree(pm->pPoints);
    vDropTable(pm);
    pm->pPoints = pf;
    pm->uorder = a.uorder;
    pm->vorder = a.vorder;
    pm->u1 = a.u1;
    pm->u2 = a.u2;
    pm->v1 = a.v1;
    pm->v2 = a.v2;
    return GLX_SUCCESS;
}

// A MapGrid request: where n, u1, u2 (and vn, v1, v2) are.
struct GridLayout {
    bool b2D;
    bool bDouble;
    ULONG offUN, offU1, offU2, offVN, offV1, offV2;
};
constexpr GridLayout kGrid1d{false, true, 16, 0, 8, 0, 0, 0};
constexpr GridLayout kGrid1f{false, false, 0, 4, 8, 0, 0, 0};
constexpr GridLayout kGrid2d{true, true, 32, 0, 8, 36, 16, 24};
constexpr GridLayout kGrid2f{true, false, 0, 4, 8, 12, 16, 20};

void vSetGrid(ULONG* pwEval, ULONG iGrid, float a1, float a2, LONG n) {
    ULONG* pg = pwEval + GLX_EVAL_GRID_FIRST + 3 * iGrid;
    std::memcpy(pg, &a1, 4);
    std::memcpy(pg + 1, &a2, 4);
    pg[2] = static_cast<ULONG>(n);
}

template <const GridLayout& L>
ULONG ulMapGrid(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const LONG un = static_cast<LONG>(__glXArgWord(pj + L.offUN, 0));
    const LONG vn = L.b2D ? static_cast<LONG>(__glXArgWord(pj + L.offVN, 0)) : 1;
    // A grid of no divisions divides nothing.
    if (un < 1 || vn < 1) return __glXRenderError(pgc, pv, GL_INVALID_VALUE);
    GLContext* gc = pgc->gc;
    ULONG* pw = pwBlock(gc, GL_EVAL_BIT);
    if (pw == nullptr) return GLX_SUCCESS;
    if (L.b2D) {
        vSetGrid(pw, GLX_EVAL_GRID2_U, __glXMapArg(pj, L.offU1, L.bDouble), __glXMapArg(pj, L.offU2, L.bDouble), un);
        vSetGrid(pw, GLX_EVAL_GRID2_V, __glXMapArg(pj, L.offV1, L.bDouble), __glXMapArg(pj, L.offV2, L.bDouble), vn);
    } else {
        vSetGrid(pw, GLX_EVAL_GRID1, __glXMapArg(pj, L.offU1, L.bDouble), __glXMapArg(pj, L.offU2, L.bDouble), un);
    }
    if (__GLXevalState* pes = __glXEvalState(gc)) {
        for (ULONG i = 0; i < GLX_EVAL_TARGETS; ++i) vDropTable(L.b2D ? &pes->map2[i] : &pes->map1[i]);
    }
    return GLX_SUCCESS;
}

ULONG ulEvalMesh1(GLClient* pgc, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    const LONG i1 = static_cast<LONG>(__glXArgWord(pj, 1)), i2 = static_cast<LONG>(__glXArgWord(pj, 2));
    ULONG glMode;
    switch (mode) {
        case GL_POINT: glMode = GL_POINTS; break;
        case GL_LINE: glMode = GL_LINE_STRIP; break;
        default: return GL_INVALID_ENUM;
    }
    Active a;
    if (i1 > i2) return GL_NO_ERROR;
    if (const ULONG e = ulActive(pgc->gc, false, &a)) return e;
    if (const ULONG e = ulEvalMeshPoints(pgc->gc, a, false, i1, i2, 0, 0)) return e;
    return ulEmitBatch(pgc, a, glMode, Run{i1, 0, 1, 0, i2 - i1 + 1, 0});
}

ULONG ulEvalMesh2(GLClient* pgc, const BYTE* pj) {
    const ULONG mode = __glXArgWord(pj, 0);
    const LONG i1 = static_cast<LONG>(__glXArgWord(pj, 1)), i2 = static_cast<LONG>(__glXArgWord(pj, 2));
    const LONG j1 = static_cast<LONG>(__glXArgWord(pj, 3)), j2 = static_cast<LONG>(__glXArgWord(pj, 4));
    if (mode != GL_POINT && mode != GL_LINE && mode != GL_FILL) return GL_INVALID_ENUM;
    Active a;
    if (i1 > i2 || j1 > j2) return GL_NO_ERROR;
    if (const ULONG e = ulActive(pgc->gc, true, &a)) return e;
    if (const ULONG e = ulEvalMeshPoints(pgc->gc, a, true, i1, i2, j1, j2)) return e;
    const LONG cCols = i2 - i1 + 1, cRows = j2 - j1 + 1;
    ULONG glError = GL_NO_ERROR;
    auto note = [&glError](ULONG e) {
        if (glError == GL_NO_ERROR) glError = e;
        return e != GL_OUT_OF_MEMORY;
    };
    switch (mode) {
        case GL_POINT:
            // One batch of every point, row by row.
            if (__glOpenPrimitive(pgc, &pgc->gc->pPrimBuffer, &pgc->gc->pPending, GLX_PACKETS_IMMEDIATE, GL_POINTS,
                                  0) != GL_NO_ERROR)
                return GL_OUT_OF_MEMORY;
            for (LONG j = j1; j <= j2; ++j) {
                Point p;
                for (LONG i = i1; i <= i2; ++i) {
                    vGridPoint(a, i, j, &p);
                    note(ulEmit(pgc->gc, p));
                }
            }
            if (__glClosePrimitive(pgc) != 0) __glSendPrimitive(pgc);
            break;
        case GL_LINE:
            // A strip along each row, then along each column.
            for (LONG j = j1; j <= j2; ++j)
                if (!note(ulEmitBatch(pgc, a, GL_LINE_STRIP, Run{i1, j, 1, 0, cCols, 0}))) return glError;
            for (LONG i = i1; i <= i2; ++i)
                if (!note(ulEmitBatch(pgc, a, GL_LINE_STRIP, Run{i, j1, 0, 1, cRows, 0}))) return glError;
            break;
        default:
            // A quad strip between each pair of neighbouring rows.
            for (LONG j = j1; j < j2; ++j)
                if (!note(ulEmitBatch(pgc, a, GL_QUAD_STRIP, Run{i1, j, 1, 0, cCols, 1}))) return glError;
            break;
    }
    return glError;
}

template <ULONG (*pfnStep)(GLClient*, const BYTE*)>
ULONG ulMesh(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    return __glXRenderResult(pgc, pv, pfnStep(pgc, pj));
}

// One point of the enabled maps of a dimension, its values filled by fill
// (a coordinate evaluated, or a grid point), emitted.
template <class Fill>
ULONG ulOnePoint(GLClient* pgc, bool b2D, Fill fill) {
    Active a;
    if (const ULONG e = ulActive(pgc->gc, b2D, &a)) return e;
    Point p;
    fill(a, &p);
    return ulEmit(pgc->gc, p);
}

}  // namespace

ULONG __glXEvalCoord1(GLClient* pgc, float u) {
    return ulOnePoint(pgc, false, [u](const Active& a, Point* p) { vEvalPoint(a, u, 0.0f, p); });
}
ULONG __glXEvalCoord2(GLClient* pgc, float u, float v) {
    return ulOnePoint(pgc, true, [u, v](const Active& a, Point* p) { vEvalPoint(a, u, v, p); });
}
ULONG __glXEvalPoint1(GLClient* pgc, LONG i) {
    return ulOnePoint(pgc, false, [i](const Active& a, Point* p) { vGridPoint(a, i, 0, p); });
}
ULONG __glXEvalPoint2(GLClient* pgc, LONG i, LONG j) {
    return ulOnePoint(pgc, true, [i, j](const Active& a, Point* p) { vGridPoint(a, i, j, p); });
}

ULONG __glXBeginEnd_EvalCoord(GLClient* pgc, const void* pv) {
    if (pgc == nullptr || pgc->gc == nullptr) return GLX_BAD_ACCESS;
    const ULONG opcode = __glXRenderOpcode(pv);
    // Sent between a compiled Begin and End, the point cannot go into the
    // list's batch: the list compiler spills the primitive. (Run from the
    // list table while compiling and executing, it evaluates.)
    if (pgc->gc->bCompiling && pgc->gc->pRenderTable == __glXRenderBeginEndTable) return __glXListSpill(pgc, pv);
    const BYTE* pj = static_cast<const BYTE*>(pv) + 4;
    ULONG glError;
    switch (opcode) {
        case X_GLrop_EvalCoord1dv: glError = __glXEvalCoord1(pgc, static_cast<float>(__glXArgDouble(pj, 0))); break;
        case X_GLrop_EvalCoord1fv: glError = __glXEvalCoord1(pgc, __glXArgFloat(pj, 0)); break;
        case X_GLrop_EvalCoord2dv:
            glError = __glXEvalCoord2(pgc, static_cast<float>(__glXArgDouble(pj, 0)),
                                      static_cast<float>(__glXArgDouble(pj, 1)));
            break;
        case X_GLrop_EvalCoord2fv: glError = __glXEvalCoord2(pgc, __glXArgFloat(pj, 0), __glXArgFloat(pj, 1)); break;
        case X_GLrop_EvalPoint1: glError = __glXEvalPoint1(pgc, static_cast<LONG>(__glXArgWord(pj, 0))); break;
        case X_GLrop_EvalPoint2:
            glError = __glXEvalPoint2(pgc, static_cast<LONG>(__glXArgWord(pj, 0)),
                                      static_cast<LONG>(__glXArgWord(pj, 1)));
            break;
        default: return __glXDisp_BadRender(pgc, pv);
    }
    return __glXRenderResult(pgc, pv, glError);
}

ULONG __glXDisp_Map1d(GLClient* p, const void* r) { return ulMap<__glXMap1d>(p, r); }
ULONG __glXDisp_Map1f(GLClient* p, const void* r) { return ulMap<__glXMap1f>(p, r); }
ULONG __glXDisp_Map2d(GLClient* p, const void* r) { return ulMap<__glXMap2d>(p, r); }
ULONG __glXDisp_Map2f(GLClient* p, const void* r) { return ulMap<__glXMap2f>(p, r); }
ULONG __glXDisp_MapGrid1d(GLClient* p, const void* r) { return ulMapGrid<kGrid1d>(p, r); }
ULONG __glXDisp_MapGrid1f(GLClient* p, const void* r) { return ulMapGrid<kGrid1f>(p, r); }
ULONG __glXDisp_MapGrid2d(GLClient* p, const void* r) { return ulMapGrid<kGrid2d>(p, r); }
ULONG __glXDisp_MapGrid2f(GLClient* p, const void* r) { return ulMapGrid<kGrid2f>(p, r); }
ULONG __glXDisp_EvalMesh1(GLClient* p, const void* r) { return ulMesh<ulEvalMesh1>(p, r); }
ULONG __glXDisp_EvalMesh2(GLClient* p, const void* r) { return ulMesh<ulEvalMesh2>(p, r); }
