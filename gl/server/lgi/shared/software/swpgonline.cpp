// The outline walkers of the software path (stage 63 of polygons drawn in
// line mode): the edges of each drawn face as line strips for the line
// stage that pipe word 63 names (chosen as for line strips).
//
// Polygons, triangles and quads honour the edge flags (line mode with edge
// flags): the edge from a vertex to the next is drawn when the vertex's
// flag is 1, consecutive drawn edges go on as one strip, the closing edge
// from the last vertex back to the first with the run that reaches the
// last vertex (on its own when that edge starts no run). Fans,
// triangle strips and quad strips carry no edge flags: every edge of every
// face is drawn, inner edges included. Faces of skipped runs (culled) draw
// nothing.
//
// Each strip is copied into the walker's own strip buffer (window
// coordinates, texture coordinates, colour entries and an edge word of 1 a
// vertex, so the line stage's own edge test passes the edges the walker
// chose) and handed on as the call's only strip; the batch's fields are
// put back afterwards.
#include <algorithm>
#include <cstring>

#include "kz2/render/kzfaces.h"
#include "swprim.h"

namespace {

constexpr ULONG kMaxStrip = N_BATCH_POLYGONS + 1;

struct StripBuffer {
    LONG window[kMaxStrip][3];
    float texCoord[kMaxStrip][4];
    ULONG colour[kMaxStrip][N_COLOUR_RECORD_WORDS];
    ULONG edges[kMaxStrip];
};
// One walk at a time, as every render path of the layer.
StripBuffer gStrip;

// One outline vertex: its vertex in the batch and its colour record.
struct Corner {
    ULONG v, rec;
};

class Walker {
  public:
    Walker(N_Context* pctx, N_Pipe* pipe, bool bFlat) : pctx_(pctx), pipe_(pipe), c_(*pipe->pCommonPipeData),
                                                         saved_(c_), bFlat_(bFlat) {}
    ~Walker() {
        c_.pWindow = saved_.pWindow;
        c_.pTexWork = saved_.pTexWork;
        c_.pHwVertices = saved_.pHwVertices;
        c_.pEdgeWords = saved_.pEdgeWords;
        c_.stripCount = saved_.stripCount;
        c_.pStripCounts = saved_.pStripCounts;
        c_.stripVertexCount = saved_.stripVertexCount;
    }

    // The outline o[0 .. n - 1] of one face: flags[j] says whether the edge
    // from o[j] to o[j + 1] (o[n - 1] to o[0] for the last) is drawn;
    // provoking is the colour record of a flat face.
    void Outline(const Corner* o, const ULONG* flags, ULONG n, ULONG provoking) {
        if (n < 2) return;
        ULONG start = 0;
        for (ULONG j = 0; j + 1 < n; ++j) {
            if (flags[j] == 1) continue;
            if (j > start) Strip(o + start, j - start + 1, provoking);
            start = j + 1;
        }
        const bool bClosing = flags[n - 1] == 1;
        if (n - 1 > start && bClosing && n <= N_BATCH_POLYGONS) {
            // The last run goes on round the closing edge as one strip, so
            // the line stipple counts on across it as GL counts it along a
            // face's outline.
            static Corner loop[N_BATCH_POLYGONS + 1];
            std::copy(o + start, o + n, loop);
            loop[n - start] = o[0];
            Strip(loop, n - start + 1, provoking);
            return;
        }
        if (n - 1 > start) Strip(o + start, n - start, provoking);
        if (bClosing) {
            const Corner closing[2] = {o[n - 1], o[0]};
            Strip(closing, 2, provoking);
        }
    }

  private:
    void Strip(const Corner* o, ULONG n, ULONG provoking) {
        for (ULONG i = 0; i < n; ++i) {
            std::memcpy(gStrip.window[i], saved_.pWindow + 3 * std::size_t{o[i].v}, sizeof gStrip.window[i]);
            if (saved_.pTexWork != nullptr)
                std::memcpy(gStrip.texCoord[i], saved_.pTexWork + 4 * std::size_t{o[i].v}, sizeof gStrip.texCoord[i]);
            const ULONG rec = bFlat_ ? provoking : o[i].rec;
            std::memcpy(gStrip.colour[i], saved_.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{rec},
                        sizeof gStrip.colour[i]);
            gStrip.edges[i] = 1;
        }
        count_ = n;
        c_.pWindow = &gStrip.window[0][0];
        c_.pTexWork = saved_.pTexWork != nullptr ? &gStrip.texCoord[0][0] : nullptr;
        c_.pHwVertices = &gStrip.colour[0][0];
        c_.pEdgeWords = gStrip.edges;
        c_.stripCount = 1;
        c_.pStripCounts = &count_;
        c_.stripVertexCount = n;
        pipe_->next[N_STAGE_POLYGON_RASTER](pctx_, pipe_);
    }

    N_Context* pctx_;
    N_Pipe* pipe_;
    CommonPipeData& c_;
    const CommonPipeData saved_;
    bool bFlat_;
    ULONG count_ = 0;
};

void vOutlines(N_Context* pctx, N_Pipe* pipe, bool bFlat, N_StageFn self) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.stripCount > 1) return _NSwEachStrip(pctx, pipe, self);
    if (c.stripCount < 1 || c.pWindow == nullptr || c.pHwVertices == nullptr || c.pFaceRuns == nullptr) return;
    N_FaceWalk walk;
    if (!walk.Begin(c) || walk.Drawn() == 0) return;
    const ULONG n = walk.Vertices();
    ULONG* flags = _NPgonLineScratch()->flags;
    _NPgonEdgeFlags(pctx, pipe, flags, (pipe->mode & N_MODE_POLY_LINE) >> 20);
    const bool bAll = (pipe->mode & N_MODE_POLY_LINE) == 0;  // no line-mode bit: every edge
    auto flag = [&](ULONG v) { return bAll ? 1u : flags[v]; };
    Walker w(pctx, pipe, bFlat);
    const ULONG kind = c.code;
    if (kind == N_PRIM_POLYGON) {
        // The batch is one polygon: its outline once, in its first vertex's colour.
        static Corner o[N_BATCH_POLYGONS];
        static ULONG f[N_BATCH_POLYGONS];
        for (ULONG v = 0; v < n; ++v) {
            o[v] = {v, walk.RecordOf(v)};
            f[v] = flag(v);
        }
        w.Outline(o, f, n, o[0].rec);
        return;
    }
    const bool bEdgeFlags = kind == N_PRIM_TRIANGLES || kind == N_PRIM_QUADS;
    walk.Each([&](const N_Face& face) {
        Corner o[4];
        ULONG f[4];
        for (ULONG j = 0; j < face.n; ++j) {
            o[j] = {face.v[j], face.rec[j]};
            f[j] = bEdgeFlags ? flag(face.v[j]) : 1u;
        }
        w.Outline(o, f, face.n, face.rec[face.provoking]);
    });
}

}  // namespace

void _NPgonEdgeFlags(N_Context*, N_Pipe* pipe, ULONG* flags, ULONG mode) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = std::min(c.stripVertexCount, N_PGON_LINE_FLAGS);
    for (ULONG i = 0; i < n; ++i) {
        if (mode == 2) flags[i] = c.pEdgeWords != nullptr ? (c.pEdgeWords[i] & 3u) : 1u;
        else flags[i] = mode == 1 ? 1u : 0u;
    }
}

void _NSwRenderPgonLines(N_Context* pctx, N_Pipe* pipe) { vOutlines(pctx, pipe, false, _NSwRenderPgonLines); }
void _NSwRenderPgonLinesFlat(N_Context* pctx, N_Pipe* pipe) { vOutlines(pctx, pipe, true, _NSwRenderPgonLinesFlat); }
