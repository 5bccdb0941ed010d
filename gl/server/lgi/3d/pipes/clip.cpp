// The primitive paths the strip runner calls once per strip: strips wholly
// inside the clip volume go on whole; the others are cut into their points,
// segments, triangles or quads, each clipped against the frustum planes it
// crosses (Sutherland-Hodgman, attributes interpolated with the crossing's
// t), projected, and handed on as one piece in the kind's own vertex order.
//
// The clipping paths do the same with the user clip planes in force as well
// (planes 6-11 of the walk below, plane k's distance taken from the
// vertex's eye position). They run in the strip runner, after lighting and
// fog, so that a vertex made by clipping takes its colour from the lit
// colours of the edge it cuts, as GL does.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "3d/queue/renderfcn.h"
#include "vstage.h"
#include "../../seams.h"

namespace {

constexpr ULONG kPieceMax = 32;  // a quad through twelve planes gains at most one vertex a plane

// Planes of the walk: 0-5 the frustum's (x min, x max, y min, y max,
// z min, z max), 6-11 user clip planes 0-5.
constexpr ULONG kUserFirst = 6;
constexpr ULONG kPlanes = kUserFirst + N_CLIP_PLANE_CAPACITY;
// A vertex lies outside a user plane when its plane value is below this.
constexpr float kUserSlack = 0.000001f;

struct CV {
    float clip[4];
    float eye[4];
    float colour[4];
    float tex[4];
    LONG win[3];
    ULONG out;
    bool bOriginal;
    // The edge from this vertex to the next of its polygon is a boundary
    // edge (drawn in polygon mode line, its start drawn in point mode).
    bool bEdge = true;
};

// The piece handed on: work arrays in place of the batch's.
struct PieceArrays {
    LONG win[3 * (N_BATCH_POINTS + 6)];
    float clip[4 * (N_BATCH_POINTS + 6)];
    float colour[4 * (N_BATCH_POINTS + 6)];
    float tex[4 * (N_BATCH_POINTS + 6)];
    ULONG out[N_BATCH_POINTS + 6];
    ULONG edges[N_BATCH_POINTS + 6];
    ULONG runs[4];
    ULONG count;
};
PieceArrays gPiece;

void vLoad(const CommonPipeData& c, ULONG i, CV* v) {
    std::memcpy(v->clip, c.pClipPos + 4 * std::size_t{i}, 16);
    std::memcpy(v->colour, c.pColours + 4 * std::size_t{i}, 16);
    std::memcpy(v->tex, c.pTexWork + 4 * std::size_t{i}, 16);
    std::memcpy(v->win, c.pWindow + 3 * std::size_t{i}, 12);
    if (c.pEyePos != nullptr) std::memcpy(v->eye, c.pEyePos + 4 * std::size_t{i}, 16);
    else std::memset(v->eye, 0, 16);
    v->out = c.pOutcodes[i];
    v->bOriginal = true;
}

// The user clip planes in force, in the space of the pipe's eye positions.
struct UserPlanes {
    float p[N_CLIP_PLANE_CAPACITY][4];
    ULONG mask = 0;  // bit k: plane k is enabled
};
UserPlanes gUser;

// Plane k's value at a vertex: positive or 0 inside.
float fUserValue(const UserPlanes& u, ULONG k, const float* eye) {
    const float* p = u.p[k];
    return p[0] * eye[0] + p[1] * eye[1] + p[2] * eye[2] + p[3] * eye[3];
}

// The user-plane outcode of a vertex, shifted above the frustum's six bits.
ULONG ulUserOut(const UserPlanes& u, const float* eye) {
    ULONG out = 0;
    for (ULONG k = 0; k < N_CLIP_PLANE_CAPACITY; ++k)
        if ((u.mask & (1u << k)) && !(fUserValue(u, k, eye) >= -kUserSlack)) out |= 1u << (kUserFirst + k);
    return out;
}

// The order planes are clipped in: the user planes first, so that the
// frustum's exact bound x w coordinates are the last ones made.
constexpr ULONG kOrder[kPlanes] = {6, 7, 8, 9, 10, 11, 0, 1, 2, 3, 4, 5};

// Whether a distance from fDistance lies inside its plane (NaN is outside).
bool bInside(float d, ULONG p) { return d <= (p >= kUserFirst ? kUserSlack : 0.0f); }

// Frustum and user outcodes of a vertex.
ULONG ulAllOut(const UserPlanes* u, const CV& v) { return u != nullptr ? v.out | ulUserOut(*u, v.eye) : v.out; }

// Window coordinates of a vertex clipping made: the rounding of the
// position stage in force (truncation for three-component render forms).
void vProject(N_Context* pctx, const CommonPipeData& c, CV* v) {
    const bool bTrunc = *pulAttr(pctx, N_ATTR_RENDER_MODE) == N_RENDER_MODE_RENDER &&
                        (c.format & N_VTX_POS3) && !(c.format & N_VTX_POS4);
    const float w = v->clip[3];
    const float s = (w == 0.0f) ? 0.0f : 1.0f / w;
    for (ULONG k = 0; k < 3; ++k) v->win[k] = bTrunc ? _NWindowTrunc(v->clip[k] * s) : _NWindowRound(v->clip[k] * s);
}

// Signed distance outside plane p (bit 1 << p): positive is outside.
float fDistance(const N_Context* pctx, const CV& v, ULONG p) {
    if (p >= kUserFirst) return -fUserValue(gUser, p - kUserFirst, v.eye);
    const float* B = pctx->xf.boundsF;
    const ULONG axis = p >> 1;
    const float bound = (p & 1) ? B[axis + 3] : B[axis];
    const float bw = bound * v.clip[3];
    return (p & 1) ? v.clip[axis] - bw : bw - v.clip[axis];
}

// The vertex where the segment from the inside end a to the outside end b
// crosses plane p: t = da / (da - db) for every pair, clamped to [0, 1]
// (0 for a degenerate or NaN crossing: the inside end); on a frustum plane
// the clipped coordinate is set exactly to bound x w.
CV Cross(N_Context* pctx, const CV& a, const CV& b, float da, float db, ULONG p, bool bCopyColour, const float* provoking) {
    float t = (da - db) != 0.0f ? da / (da - db) : 0.0f;
    if (!(t >= 0.0f)) t = 0.0f;
    if (t > 1.0f) t = 1.0f;
    CV r;
    for (ULONG k = 0; k < 4; ++k) {
        r.clip[k] = a.clip[k] + t * (b.clip[k] - a.clip[k]);
        r.eye[k] = a.eye[k] + t * (b.eye[k] - a.eye[k]);
        r.tex[k] = a.tex[k] + t * (b.tex[k] - a.tex[k]);
        r.colour[k] = bCopyColour ? provoking[k] : a.colour[k] + t * (b.colour[k] - a.colour[k]);
    }
    if (p < kUserFirst) {
        const ULONG axis = p >> 1;
        r.clip[axis] = ((p & 1) ? pctx->xf.boundsF[axis + 3] : pctx->xf.boundsF[axis]) * r.clip[3];
    }
    r.out = _NClipOutcode(pctx, r.clip);
    r.bOriginal = false;
    r.bEdge = true;
    return r;
}

// Sutherland-Hodgman over the planes in the mask (frustum and user); answers
// the vertices left (0 when fewer than three).
ULONG cClipPolygon(N_Context* pctx, CV* poly, ULONG n, ULONG mask, bool bCopyColour, const float* provoking) {
    CV tmp[kPieceMax];
    CV* in = poly;
    CV* out = tmp;
    for (ULONG o = 0; o < kPlanes && n >= 3; ++o) {
        const ULONG p = kOrder[o];
        if (!(mask & (1u << p))) continue;
        ULONG m = 0;
        for (ULONG i = 0; i < n; ++i) {
            const CV& a = in[i];
            const CV& b = in[(i + 1) % n];
            const float da = fDistance(pctx, a, p), db = fDistance(pctx, b, p);
            const bool aIn = bInside(da, p), bIn = bInside(db, p);
            if (aIn && m < kPieceMax) out[m++] = a;
            if (aIn != bIn && m < kPieceMax) {
                out[m++] = aIn ? Cross(pctx, a, b, da, db, p, bCopyColour, provoking)
                               : Cross(pctx, b, a, db, da, p, bCopyColour, provoking);
                // Going out, the new vertex starts the edge along the plane:
                // hidden on a frustum plane, a boundary on a user plane.
                // Coming back in, it starts the rest of the edge a -> b.
                out[m - 1].bEdge = aIn ? p >= kUserFirst : a.bEdge;
            }
        }
        std::swap(in, out);
        n = m;
    }
    if (in != poly) std::copy(in, in + n, poly);
    return n >= 3 ? n : 0;
}

// Hands the piece's n vertices on to the strip runner's successor with one
// face run, then puts the batch's arrays back. With edge words (a polygon
// piece), a pipe drawing outlines or points takes them as its edge flags,
// so that the edges inside the piece and those clipping made along the
// frustum are not drawn.
void vEmit(N_Context* pctx, N_Pipe* pipe, const CV* v, ULONG n, ULONG runCode, ULONG faces,
           const ULONG* edges = nullptr) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (n == 0) return;
    PieceArrays& a = gPiece;
    for (ULONG i = 0; i < n; ++i) {
        std::memcpy(a.win + 3 * std::size_t{i}, v[i].win, 12);
        std::memcpy(a.clip + 4 * std::size_t{i}, v[i].clip, 16);
        std::memcpy(a.colour + 4 * std::size_t{i}, v[i].colour, 16);
        std::memcpy(a.tex + 4 * std::size_t{i}, v[i].tex, 16);
        a.out[i] = 0;
    }
    a.count = n;
    a.runs[0] = N_FACE_RUN(runCode, faces);
    a.runs[1] = 0;
    const CommonPipeData saved = c;
    c.pWindow = a.win;
    c.pClipPos = a.clip;
    c.pColours = a.colour;
    c.pTexWork = a.tex;
    c.pOutcodes = a.out;
    c.pFaceRuns = a.runs;
    c.stripVertexCount = n;
    c.stripCount = 1;
    c.pStripCounts = &a.count;
    c.andOutcode = 0;
    c.orOutcode = 0;
    const ULONG mode = pipe->mode;
    if (edges != nullptr && (mode & (N_MODE_POLY_LINE | N_MODE_POLY_POINT)) != 0) {
        std::copy(edges, edges + n, a.edges);
        c.pEdgeWords = a.edges;
        pipe->mode = (mode & ~N_MODE_POLY_LINE) | N_MODE_POLY_LINE_PRIM;
    }
    pipe->next[N_STAGE_STRIPS](pctx, pipe);
    pipe->mode = mode;
    c = saved;
}

// A clipped polygon in the vertex order of the kind's render function.
void vEmitPolygon(N_Context* pctx, N_Pipe* pipe, CV* poly, ULONG n, ULONG runCode) {
    if (n < 3) return;
    for (ULONG i = 0; i < n; ++i)
        if (!poly[i].bOriginal) vProject(pctx, *pipe->pCommonPipeData, &poly[i]);
    CV out[3 * kPieceMax];
    ULONG edges[3 * kPieceMax];
    ULONG m = 0;
    // Edge word of the piece's edge from polygon vertex i to vertex j: the
    // polygon's own edge (i + 1 == j, or the closing edge) keeps its flag,
    // an edge across the piece is no boundary.
    auto edge = [&](ULONG i, ULONG j) -> ULONG {
        const bool bOwn = (i + 1) % n == j;
        return bOwn && poly[i].bEdge ? 1u : 0u;
    };
    switch (pipe->pCommonPipeData->code) {
        case N_PRIM_POLYGON:
        case N_PRIM_FAN:
            for (ULONG i = 0; i < n; ++i) edges[i] = edge(i, (i + 1) % n);
            vEmit(pctx, pipe, poly, n, runCode, n - 2, edges);
            return;
        case N_PRIM_TRIANGLES:
            for (ULONG i = 1; i + 1 < n; ++i) {
                edges[m] = edge(0, i), out[m++] = poly[0];
                edges[m] = edge(i, i + 1), out[m++] = poly[i];
                edges[m] = edge(i + 1, 0), out[m++] = poly[i + 1];
            }
            vEmit(pctx, pipe, out, m, runCode, n - 2, edges);
            return;
        case N_PRIM_QUADS:
            // Quads (0, i, i + 1, i + 2), the last one folded when it is short.
            for (ULONG i = 1; i + 1 < n; i += 2) {
                const ULONG last = i + 2 < n ? i + 2 : i + 1;
                edges[m] = edge(0, i), out[m++] = poly[0];
                edges[m] = edge(i, i + 1), out[m++] = poly[i];
                edges[m] = last != i + 1 ? edge(i + 1, last) : 0u, out[m++] = poly[i + 1];
                edges[m] = edge(last, 0), out[m++] = poly[last];
            }
            vEmit(pctx, pipe, out, m, runCode, m / 4, edges);
            return;
        default: {
            // Strips: 0, 1, n - 1, 2, n - 2, ... draws the polygon's fan.
            ULONG lo = 1, hi = n - 1;
            out[m++] = poly[0];
            for (bool bLo = true; lo <= hi; bLo = !bLo) out[m++] = bLo ? poly[lo++] : poly[hi--];
            if (pipe->pCommonPipeData->code == N_PRIM_QUAD_STRIP) {
                if (m & 1) out[m] = out[m - 1], ++m;
                vEmit(pctx, pipe, out, m, runCode, (m - 2) / 2);
            } else {
                vEmit(pctx, pipe, out, m, runCode, m - 2);
            }
        }
    }
}

ULONG ulOr(const CommonPipeData& c) {
    ULONG o = 0;
    for (ULONG i = 0; i < c.stripVertexCount; ++i) o |= c.pOutcodes[i];
    return o;
}

// Walks the strip's faces with their run codes: fn(face, code).
template <class Fn>
void vFaces(const CommonPipeData& c, Fn fn) {
    ULONG face = 0;
    for (ULONG r = 0; r < N_FACE_RUN_WORDS; ++r) {
        const ULONG count = c.pFaceRuns[r] >> 16;
        if (count == 0) break;
        for (ULONG f = 0; f < count; ++f) fn(face++, c.pFaceRuns[r] & 0xFFFFu);
    }
}

// The batch's OR of frustum and user outcodes (u null: frustum alone).
ULONG ulOrAll(N_Context*, const CommonPipeData& c, const UserPlanes* u) {
    if (u == nullptr) return ulOr(c);
    ULONG o = 0;
    const ULONG n = c.stripVertexCount;
    for (ULONG i = 0; i < n; ++i) {
        CV v;
        vLoad(c, i, &v);
        o |= ulAllOut(u, v);
    }
    return o;
}

// The polygonal paths: the strip whole when inside, else face by face.
void vPolygonPath(N_Context* pctx, N_Pipe* pipe, const UserPlanes* u) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (ulOrAll(pctx, c, u) == 0) {
        pipe->next[N_STAGE_STRIPS](pctx, pipe);
        return;
    }
    const ULONG kind = c.code;
    const ULONG n = c.stripVertexCount;
    const bool bFlat = pipe->colourCopy != 0;
    const float* pBack = _NBackColoursOf(c.pColours);
    // Per-vertex edge flags in force: the flag word of an edge's first
    // vertex (a polygon's closing edge starts at its last vertex).
    const bool bEdgeFlags = (pipe->mode & N_MODE_POLY_LINE) == N_MODE_POLY_LINE_PRIM ||
                            ((pipe->mode & N_MODE_POLY_POINT) && (c.format & N_VTX_EDGEFLAG));
    vFaces(c, [&](ULONG f, ULONG code) {
        if (code == N_RUN_SKIP) return;
        ULONG idx[4];
        const ULONG cv = _NFaceVertices(kind, f, idx), provoking = _NProvokingVertex(kind, f);
        for (ULONG k = 0; k < cv; ++k)
            if (idx[k] >= n) return;
        CV poly[kPieceMax];
        ULONG andOut = ~0u, orOut = 0;
        // The face's edges: a polygon's fan triangle keeps the polygon's
        // own edges only; triangles and quads the flags of their vertices.
        bool bFaceEdge[4] = {true, true, true, true};
        if (kind == N_PRIM_POLYGON) bFaceEdge[0] = f == 0, bFaceEdge[2] = f + 3 == n;
        for (ULONG k = 0; k < cv; ++k) {
            vLoad(c, idx[k], &poly[k]);
            const bool bFlag = !bEdgeFlags || c.pEdgeWords == nullptr || (c.pEdgeWords[idx[k]] & 3u) == 1u;
            poly[k].bEdge = bFaceEdge[k] && bFlag;
            const ULONG out = ulAllOut(u, poly[k]);
            andOut &= out;
            orOut |= out;
        }
        if (andOut != 0) return;
        // Back faces of two-sided lighting take their back colours.
        const float* pColours = c.pColours;
        if (code == N_RUN_SECOND && pBack != nullptr) {
            pColours = pBack;
            for (ULONG k = 0; k < cv; ++k) std::memcpy(poly[k].colour, pBack + 4 * std::size_t{idx[k]}, 16);
        }
        const float* pProvoking = pColours + 4 * std::size_t{provoking};
        if (bFlat)
            for (ULONG k = 0; k < cv; ++k) std::memcpy(poly[k].colour, pProvoking, 16);
        const ULONG m = orOut == 0 ? cv : cClipPolygon(pctx, poly, cv, orOut, bFlat, pProvoking);
        vEmitPolygon(pctx, pipe, poly, m, code);
    });
}

// Segments: a list of vertices drawn as a strip (kind 64) or as pairs
// (kind 65); a break flushes the list.
struct LineList {
    CV v[N_BATCH_POINTS + 6];
    ULONG n = 0;
};
LineList gLines;

void vFlushLines(N_Context* pctx, N_Pipe* pipe) {
    if (gLines.n >= 2) vEmit(pctx, pipe, gLines.v, gLines.n, N_RUN_SECOND, gLines.n);
    gLines.n = 0;
}

// Clips segment a-b against every plane in the mask; false when nothing is left.
bool bClipSegment(N_Context* pctx, CV* a, CV* b, ULONG mask, bool bCopy, const float* provoking) {
    for (ULONG p : kOrder) {
        if (!(mask & (1u << p))) continue;
        const float da = fDistance(pctx, *a, p), db = fDistance(pctx, *b, p);
        const bool aIn = bInside(da, p), bIn = bInside(db, p);
        if (!aIn && !bIn) return false;
        if (aIn && bIn) continue;
        if (aIn) *b = Cross(pctx, *a, *b, da, db, p, bCopy, provoking);
        else *a = Cross(pctx, *b, *a, db, da, p, bCopy, provoking);
    }
    return a->out == 0 && b->out == 0;
}

void vLinePath(N_Context* pctx, N_Pipe* pipe, bool bPairs, const UserPlanes* u) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (ulOrAll(pctx, c, u) == 0) {
        pipe->next[N_STAGE_STRIPS](pctx, pipe);
        return;
    }
    const ULONG n = c.stripVertexCount;
    const bool bCopy = pipe->colourCopy != 0;
    gLines.n = 0;
    for (ULONG i = 0; i + 1 < n; i += bPairs ? 2 : 1) {
        CV a, b;
        vLoad(c, i, &a);
        vLoad(c, i + 1, &b);
        const float* provoking = c.pColours + 4 * std::size_t{i + 1};
        if (bCopy) {
            std::memcpy(a.colour, provoking, 16);
            std::memcpy(b.colour, provoking, 16);
        }
        const ULONG outA = ulAllOut(u, a), outB = ulAllOut(u, b);
        if (outA == 0 && outB == 0 && !bPairs) {
            if (gLines.n == 0) gLines.v[gLines.n++] = a;
            gLines.v[gLines.n++] = b;
            continue;
        }
        if (!bPairs) vFlushLines(pctx, pipe);
        if ((outA & outB) != 0) continue;
        if (!bClipSegment(pctx, &a, &b, outA | outB, bCopy, provoking)) continue;
        if (!a.bOriginal) vProject(pctx, c, &a);
        if (!b.bOriginal) vProject(pctx, c, &b);
        gLines.v[gLines.n++] = a;
        gLines.v[gLines.n++] = b;
        // A clipped segment of a strip is a piece of its own.
        if (!bPairs) vFlushLines(pctx, pipe);
    }
    vFlushLines(pctx, pipe);
}

// Points inside every plane in force go on; the others are dropped.
void vPointPath(N_Context* pctx, N_Pipe* pipe, const UserPlanes* u) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (ulOrAll(pctx, c, u) == 0) {
        pipe->next[N_STAGE_STRIPS](pctx, pipe);
        return;
    }
    const ULONG n = c.stripVertexCount;
    gLines.n = 0;
    for (ULONG i = 0; i < n; ++i) {
        vLoad(c, i, &gLines.v[gLines.n]);
        if (ulAllOut(u, gLines.v[gLines.n]) == 0) ++gLines.n;
    }
    if (gLines.n != 0) vEmit(pctx, pipe, gLines.v, gLines.n, N_RUN_SECOND, gLines.n);
    gLines.n = 0;
}

// The user planes in force for the clipping paths.
const UserPlanes* pUserPlanes(N_Context* pctx) {
    _NUserPlanes(pctx, gUser.p, &gUser.mask);
    return &gUser;
}

}  // namespace

bool _NEyeRotated(const N_Context* pctx) {
    return pctx->clipPlane0Only &&
           std::memcmp(pctx->xf.pipeModelView, pctx->xf.modelView, sizeof pctx->xf.modelView) != 0;
}

void _NUserPlanes(N_Context* pctx, float (*pPlanes)[4], ULONG* pMask) {
    *pMask = 0;
    const ULONG cPlanes = std::min({pctx->cClipPlanes, pctx->cClipPlanesEnabled, N_CLIP_PLANE_CAPACITY});
    if (pctx->pClipPlanes == nullptr || pctx->pulClipPlaneEnable == nullptr) return;
    // With plane 0 alone the pipe's eye positions are rotated by the plane-0
    // pair (e' = F e): the plane is taken back through B (p' = p B).
    const bool bRotated = _NEyeRotated(pctx);
    const float* B = pctx->plane0.backward;
    for (ULONG k = 0; k < cPlanes; ++k) {
        if (pctx->pulClipPlaneEnable[k] != 1) continue;
        const float* p = pctx->pClipPlanes + 4 * k;
        for (ULONG j = 0; j < 4; ++j)
            pPlanes[k][j] = bRotated ? p[0] * B[j] + p[1] * B[4 + j] + p[2] * B[8 + j] + p[3] * B[12 + j] : p[j];
        *pMask |= 1u << k;
    }
}

void _NPointPath(N_Context* pctx, N_Pipe* pipe) { vPointPath(pctx, pipe, nullptr); }
void _NLineStripPath(N_Context* pctx, N_Pipe* pipe) { vLinePath(pctx, pipe, false, nullptr); }
void _NLinesPath(N_Context* pctx, N_Pipe* pipe) { vLinePath(pctx, pipe, true, nullptr); }
void _NFanPath(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, nullptr); }
void _NTriListPath(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, nullptr); }
void _NQuadListPath(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, nullptr); }
void _NStripPath(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, nullptr); }
void _NQuadStripPath(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, nullptr); }

// The clipping paths: the same pieces clipped against the user planes too.
void _NPointClip(N_Context* pctx, N_Pipe* pipe) { vPointPath(pctx, pipe, pUserPlanes(pctx)); }
void _NLineClip(N_Context* pctx, N_Pipe* pipe) {
    vLinePath(pctx, pipe, pipe->pCommonPipeData->code == N_PRIM_LINES, pUserPlanes(pctx));
}
void _NPolygonClip(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, pUserPlanes(pctx)); }
void _NTriangleClip(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, pUserPlanes(pctx)); }
void _NQuadClip(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, pUserPlanes(pctx)); }
void _NFanClip(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, pUserPlanes(pctx)); }
void _NQuadStripClip(N_Context* pctx, N_Pipe* pipe) { vPolygonPath(pctx, pipe, pUserPlanes(pctx)); }
