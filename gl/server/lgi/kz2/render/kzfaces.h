// The faces of a polygon batch as the polygon-mode render functions walk
// them: which faces the pipe draws (face runs other than "skip"), their
// vertices in the order GL draws their outline, their provoking vertex,
// and the colour record of each vertex.
//
// Colour records follow the face runs (kzfill.h): triangles and quads one
// record a vertex; a fan, strip or polygon run of k faces k + 2 records
// (the run's first vertex and the k + 1 after it), a quad-strip run 2k + 2.
// Only the records of drawn runs are filled.
#pragma once

#include <algorithm>

#include "3d/context/context.h"
#include "shared/frame/hwframe.h"

struct N_Face {
    ULONG index = 0;       // the face's number in the batch
    ULONG n = 0;           // 3 or 4 vertices
    ULONG v[4] = {};       // vertices, in outline order
    ULONG rec[4] = {};     // their colour records
    ULONG provoking = 0;   // the index in v[] of GL's provoking vertex
    bool runStart = false; // the first face drawn after a skipped run or at the start
};

class N_FaceWalk {
  public:
    // Checks the batch's runs against its vertices and work buffers; false
    // when they do not fit (nothing may be drawn).
    bool Begin(const CommonPipeData& c) {
        c_ = &c;
        kind_ = c.code;
        const LONG lv = static_cast<LONG>(c.stripVertexCount);
        n_ = lv > 0 ? std::min<ULONG>(static_cast<ULONG>(lv), N_BATCH_POLYGONS) : 0;
        if (lv > 0 && static_cast<ULONG>(lv) > N_BATCH_POINTS) return false;
        const ULONG maxFaces = _NFaceCount(kind_, n_);
        ULONG perFace = 1, perRun = 2;
        switch (kind_) {
        case N_PRIM_TRIANGLES: perFace = 3, perRun = 0; break;
        case N_PRIM_QUADS: perFace = 4, perRun = 0; break;
        case N_PRIM_QUAD_STRIP: perFace = 2; break;
        default: break;
        }
        drawn_ = 0;
        if (maxFaces == 0) return true;
        return _NFaceRunsFit(c, maxFaces, perFace, perRun, &drawn_);
    }
    ULONG Vertices() const { return n_; }
    // Faces of the drawn runs.
    ULONG Drawn() const { return drawn_; }

    // fn(const N_Face&) for every drawn face, in order.
    template <class Fn>
    void Each(Fn fn) const {
        if (drawn_ == 0) return;
        const CommonPipeData& c = *c_;
        ULONG face = 0, a = 0, r = 0;  // the run's first face, first vertex of its records, first record
        bool bStart = true;
        const bool bFirstDrawn = _NRunCode(c.pFaceRuns[0]) != N_RUN_SKIP;
        for (ULONG i = 0; i < N_FACE_RUN_WORDS; ++i) {
            const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
            if (count == 0) break;
            if (code == N_RUN_SKIP) {
                bStart = true;
            } else {
                for (ULONG k = 0; k < count; ++k) {
                    N_Face f;
                    f.index = face + k;
                    Shape(f.index, &f);
                    for (ULONG j = 0; j < f.n; ++j) {
                        const ULONG v = f.v[j];
                        // A fan's centre lies before the records of a later run.
                        f.rec[j] = v >= a ? r + (v - a) : (bFirstDrawn ? v : r);
                    }
                    f.runStart = bStart;
                    bStart = false;
                    fn(f);
                }
            }
            face += count;
            Advance(count, &a, &r);
        }
    }

    // The colour record of vertex v: from the first drawn run whose records
    // hold it, else the record of its own number.
    ULONG RecordOf(ULONG v) const {
        const CommonPipeData& c = *c_;
        ULONG a = 0, r = 0;
        for (ULONG i = 0; i < N_FACE_RUN_WORDS; ++i) {
            const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
            if (count == 0) break;
            const ULONG held = Records(count);
            if (code != N_RUN_SKIP && v >= a && v < a + held) return r + (v - a);
            Advance(count, &a, &r);
        }
        return v;
    }

  private:
    ULONG Records(ULONG count) const {
        switch (kind_) {
        case N_PRIM_TRIANGLES: return 3 * count;
        case N_PRIM_QUADS: return 4 * count;
        case N_PRIM_QUAD_STRIP: return 2 * count + 2;
        default: return count + 2;
        }
    }
    void Advance(ULONG count, ULONG* a, ULONG* r) const {
        *r += Records(count);
        switch (kind_) {
        case N_PRIM_TRIANGLES: *a += 3 * count; break;
        case N_PRIM_QUADS: *a += 4 * count; break;
        case N_PRIM_QUAD_STRIP: *a += 2 * count; break;
        default: *a += count; break;
        }
    }
    // The face's vertices in outline order (a strip's face in the strip's
    // own order) and its provoking vertex; a polygon's faces are its fan's
    // (its users take the polygon's first vertex themselves).
    void Shape(ULONG i, N_Face* f) const {
        f->n = _NFaceVertices(kind_, i, f->v, false);
        const ULONG provoking = kind_ == N_PRIM_POLYGON ? _NProvokingVertex(N_PRIM_FAN, i) : _NProvokingVertex(kind_, i);
        f->provoking = 0;
        for (ULONG j = 0; j < f->n; ++j)
            if (f->v[j] == provoking) f->provoking = j;
        f->index = i;
    }

    const CommonPipeData* c_ = nullptr;
    ULONG kind_ = 0, n_ = 0, drawn_ = 0;
};

// Whether per-vertex edge flags are in force for the pipe (mode bits
// 0x300000 read 0x200000).
inline bool _NEdgeFlagMode(const N_Pipe* pipe) { return (pipe->mode & N_MODE_POLY_LINE) == N_MODE_POLY_LINE_PRIM; }
// Whether the edge (or vertex) of flag word i is a boundary one: always
// without edge flags in force.
inline bool _NEdgeShown(const CommonPipeData& c, bool bEdgeMode, ULONG i) {
    return !bEdgeMode || c.pEdgeWords == nullptr || (c.pEdgeWords[i] & 3u) == 1u;
}
