// The polygon stages of the software path (stage 63 of filled polygons):
// each drawn face of the batch as triangles for the span rasteriser.
//
// The faces are those of the layer's face runs (kz2/render/kzfaces.h): face k of
// a polygon or fan is (V0, Vk+1, Vk+2), of a triangle strip (Vk, Vk+1,
// Vk+2), of a triangle list the k-th three vertices, of a quad list the
// k-th four, of a quad strip (V2k, V2k+1, V2k+3, V2k+2) in outline order.
// Every face is numbered in the one vertex array of its strip, so
// consecutive runs of a strip share vertices exactly as the kind does
// (fans their centre and one edge vertex, strips two vertices); skipped
// runs (culled faces) draw nothing but keep the numbering.
#include "swprim.h"

#include <algorithm>
#include <cmath>

#include "shared/frame/hwframe.h"

#include "kz2/render/kzfaces.h"

namespace {

// One vertex descriptor of the triangle record.
void vDescriptor(const CommonPipeData& c, bool bTexture, ULONG v, const float* pColour, N_SpanTriVertex* d) {
    *d = N_SpanTriVertex{};
    d->pWindow = c.pWindow + 3 * std::size_t{v};
    d->pColour = pColour;
    if (!bTexture) {
        d->invQ = 1.0f;
        return;
    }
    const float* tc = c.pTexWork + 4 * std::size_t{v};
    const float invQ = _NSpanInvQ(tc[3]);
    d->sq = tc[0] * invQ;
    d->tq = tc[1] * invQ;
    d->r = tc[2];
    d->invQ = invQ;
}

const float* pfRecord(const CommonPipeData& c, ULONG rec) {
    return reinterpret_cast<const float*>(c.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{rec});
}

// The texture coordinates of the triangle's corners as GL takes them at the
// rasteriser's sample points (_NHwAtSamplePoints) when the window positions
// are whole pixels: the spans take s/q, t/q and 1/q from the corners'
// positions cut to the pixel's corner, half a pixel from GL's centre. In
// sixteenths the corners lie within a sixteenth of their vertices and are
// taken as they are.
void vTexAtSamplePoints(N_Context* pctx, const CommonPipeData& c, const N_Face& f, const int (&idx)[3],
                        N_SpanTri& tri) {
    if (c.pClipPos == nullptr || _NSwScreenOf(pctx).precise != 0) return;
    double x[3], y[3], v[3][3];
    LONG X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        const ULONG vtx = f.v[static_cast<ULONG>(idx[i])];
        const LONG* win = c.pWindow + 3 * std::size_t{vtx};
        if (!_NHwExactPosition(c.pClipPos + 4 * std::size_t{vtx}, win, &x[i], &y[i])) return;
        X[i] = win[0], Y[i] = win[1];
        const N_SpanTriVertex& d = tri.v[i];
        v[0][i] = d.sq, v[1][i] = d.tq, v[2][i] = d.invQ;
    }
    // A texel of slack in s and t at the largest 1/q; 1/q of one sign.
    const double big = std::max({std::fabs(v[2][0]), std::fabs(v[2][1]), std::fabs(v[2][2])});
    const double texel[2] = {1.0 / std::max<LONG>(pctx->boundTex.width, 1), 1.0 / std::max<LONG>(pctx->boundTex.height, 1)};
    const double slack[3] = {texel[0] * big, texel[1] * big, 0.0};
    const bool bPositive = v[2][0] > 0.0;
    for (int i = 0; i < 3; ++i)
        if (v[2][i] == 0.0 || (v[2][i] > 0.0) != bPositive) return;
    if (!_NHwAtSamplePoints(x, y, X, Y, 0.5, v, slack, 3)) return;
    for (int i = 0; i < 3; ++i)
        if (v[2][i] == 0.0 || (v[2][i] > 0.0) != bPositive) return;
    for (int i = 0; i < 3; ++i) {
        N_SpanTriVertex& d = tri.v[i];
        d.sq = static_cast<float>(v[0][i]), d.tq = static_cast<float>(v[1][i]), d.invQ = static_cast<float>(v[2][i]);
    }
}

// Hands the triangle (a, b, c) of face f (indexes into f.v) to pipe word 63.
void vTriangle(N_Context* pctx, N_Pipe* pipe, const N_Face& f, bool bFlat, ULONG provoking, int a, int b, int cc) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const bool bTexture = (pipe->mode & N_MODE_TEXTURE) != 0 && c.pTexWork != nullptr;
    N_SpanTri tri{};
    const int idx[3] = {a, b, cc};
    for (int i = 0; i < 3; ++i) {
        const ULONG k = static_cast<ULONG>(idx[i]);
        const float* pColour = pfRecord(c, bFlat ? f.rec[provoking] : f.rec[k]);
        vDescriptor(c, bTexture, f.v[k], pColour, &tri.v[i]);
    }
    if (bTexture) vTexAtSamplePoints(pctx, c, f, idx, tri);
    void* saved = c.pCurPrim;
    c.pCurPrim = &tri;
    pipe->next[N_STAGE_POLYGON_RASTER](pctx, pipe);
    c.pCurPrim = saved;
}

// The colour entries of a face run of count faces.
ULONG cRecords(ULONG kind, ULONG count) {
    switch (kind) {
    case N_PRIM_TRIANGLES: return 3 * count;
    case N_PRIM_QUADS: return 4 * count;
    case N_PRIM_QUAD_STRIP: return 2 * count + 2;
    default: return kind < N_PRIM_POLYGON ? count : count + 2;
    }
}

// Every drawn face of the batch's one strip, cut into triangles.
void vFaces(N_Context* pctx, N_Pipe* pipe, N_StageFn self) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.stripCount > 1) return _NSwEachStrip(pctx, pipe, self);
    if (c.stripCount < 1 || c.pWindow == nullptr || c.pHwVertices == nullptr || c.pFaceRuns == nullptr) return;
    N_FaceWalk walk;
    if (!walk.Begin(c)) return;
    const bool bFlat = pipe->colourCopy != 0;
    const ULONG kind = c.code;
    walk.Each([&](const N_Face& f) {
        // GL's provoking vertex: a polygon's first vertex, else the face's.
        const ULONG provoking = kind == N_PRIM_POLYGON ? 0 : f.provoking;
        if (f.n == 3) {
            vTriangle(pctx, pipe, f, bFlat, provoking, 0, 1, 2);
        } else if (kind == N_PRIM_QUAD_STRIP) {
            // Outline a, b, d, c: the strip's triangles (a, b, c) and (b, c, d).
            vTriangle(pctx, pipe, f, bFlat, provoking, 0, 1, 3);
            vTriangle(pctx, pipe, f, bFlat, provoking, 1, 3, 2);
        } else {
            vTriangle(pctx, pipe, f, bFlat, provoking, 0, 1, 2);
            vTriangle(pctx, pipe, f, bFlat, provoking, 0, 2, 3);
        }
    });
}

}  // namespace

void _NSwEachStrip(N_Context* pctx, N_Pipe* pipe, N_StageFn pfn) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.stripCount <= 1) return pfn(pctx, pipe);
    if (c.pStripCounts == nullptr || c.pWindow == nullptr || c.pHwVertices == nullptr || c.pFaceRuns == nullptr)
        return;
    const CommonPipeData saved = c;
    const bool bPolygon = c.code >= N_PRIM_POLYGON;
    // The strip's own face runs: its faces taken from the batch's runs in
    // order, a run that goes on into the next strip cut at the strip's end.
    static ULONG runs[N_FACE_RUN_WORDS];
    ULONG run = 0, left = _NRunFaces(saved.pFaceRuns[0]);
    ULONG vertex = 0, record = 0;
    for (ULONG s = 0; s < saved.stripCount; ++s) {
        const ULONG len = saved.pStripCounts[s];
        if (len > saved.stripVertexCount - vertex) {
            DbgPrint("_NBreakUpListOfStrips: bogus nVerts (%d)???\n", static_cast<int>(len));
            break;
        }
        ULONG cRuns = 0, records = 0;
        if (!bPolygon) {
            runs[cRuns++] = N_FACE_RUN(N_RUN_SECOND, len);
            records = len;
        } else {
            ULONG faces = _NFaceCount(saved.code, len);
            while (faces > 0 && left > 0 && cRuns + 1 < N_FACE_RUN_WORDS) {
                const ULONG take = std::min(faces, left);
                runs[cRuns++] = N_FACE_RUN(_NRunCode(saved.pFaceRuns[run]), take);
                records += cRecords(saved.code, take);
                faces -= take;
                left -= take;
                if (left == 0 && run + 1 < N_FACE_RUN_WORDS) left = _NRunFaces(saved.pFaceRuns[++run]);
            }
        }
        runs[cRuns] = 0;
        const ULONG first = bPolygon ? record : vertex;
        // A strip whose entries the work buffer does not hold is not drawn.
        if (first + records > N_COLOUR_ENTRIES) break;
        c.stripCount = 1;
        c.stripVertexCount = len;
        c.pStripCounts = &saved.pStripCounts[s];
        c.pFaceRuns = runs;
        c.pWindow = saved.pWindow + 3 * std::size_t{vertex};
        c.pHwVertices = saved.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{first};
        c.pTexWork = saved.pTexWork != nullptr ? saved.pTexWork + 4 * std::size_t{vertex} : nullptr;
        c.pClipPos = saved.pClipPos != nullptr ? saved.pClipPos + 4 * std::size_t{vertex} : nullptr;
        c.pEdgeWords = saved.pEdgeWords != nullptr ? saved.pEdgeWords + vertex : nullptr;
        pfn(pctx, pipe);
        vertex += len;
        record += records;
    }
    c.stripCount = saved.stripCount;
    c.stripVertexCount = saved.stripVertexCount;
    c.pStripCounts = saved.pStripCounts;
    c.pFaceRuns = saved.pFaceRuns;
    c.pWindow = saved.pWindow;
    c.pHwVertices = saved.pHwVertices;
    c.pTexWork = saved.pTexWork;
    c.pClipPos = saved.pClipPos;
    c.pEdgeWords = saved.pEdgeWords;
}

void _NSwRenderXPgon(N_Context* pctx, N_Pipe* pipe) { vFaces(pctx, pipe, _NSwRenderXPgon); }
void _NSwRenderXTStrip(N_Context* pctx, N_Pipe* pipe) { vFaces(pctx, pipe, _NSwRenderXTStrip); }
void _NSwRenderXTList(N_Context* pctx, N_Pipe* pipe) { vFaces(pctx, pipe, _NSwRenderXTList); }
void _NSwRenderXQList(N_Context* pctx, N_Pipe* pipe) { vFaces(pctx, pipe, _NSwRenderXQList); }
