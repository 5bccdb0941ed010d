// The feedback stage (stage 20) and the strip runner of feedback mode.
//
// In feedback mode nothing is drawn: each point, line segment and polygon
// that reaches the stage is written to the feedback buffer as a token and
// its vertices, in GL window coordinates, while the buffer has room; every
// value is counted, so that a count above the size reports the overflow.
//
// Tokens: 1793.0 a point (also each vertex of a polygon drawn as points),
// 1794.0 a line segment, 1799.0 the first segment after the line stipple
// restarts (a new line strip, each separate line, the first edge drawn of a
// polygon drawn as lines), 1795.0 a polygon followed by its vertex count.
// A raster position writes nothing.
//
// Vertex data by the feedback type (0-4): x, y; x, y, z; x, y, z and the
// colour (four values in RGBA mode, the index in colour-index mode); the
// same and the texture coordinate (s, t, r, q); x, y, z, w, the colour and
// the texture coordinate.
#include <algorithm>

#include "3d/pipes/pipes.h"
#include "3d/queue/renderfcn.h"

namespace {

constexpr float kPointToken = 1793.0f;      // 0x701
constexpr float kLineToken = 1794.0f;       // 0x702
constexpr float kPolygonToken = 1795.0f;    // 0x703
constexpr float kLineResetToken = 1799.0f;  // 0x707
constexpr float kDepthUnits = 16777215.0f;  // window z of the far plane at depth 1

enum : ULONG { kType2D, kType3D, kType3DColour, kType3DColourTexture, kType4DColourTexture };

// How the pipeline's window coordinates (board units, y growing downward
// from the top of the screen) turn back into GL window coordinates: the
// inverse of the window transform's units and half-pixel offsets, then the
// window's origin.
struct WindowMap {
    float scale;    // 16 when the board works in 28.4 units, else 1
    float xAdd;     // undoes the offset the window transform subtracted
    float yAdd;
    float xOrigin;  // the window's left edge on the screen
    float yBottom;  // the window's bottom edge on the screen
};

WindowMap MapOf(N_Context* pctx) {
    const N_BoardFacts board = _NBoardFactsOf(pctx);
    WindowMap m{};
    m.scale = board.modelImprecision != 0 ? 16.0f : 1.0f;
    m.xAdd = board.modelImprecision != 0 ? 8.0f : 0.0f;
    m.yAdd = board.modelImprecision != 0 ? 8.0f : 0.0f;
    const LONG slot = _NFirstDrawSlot(pctx);
    if (slot >= 0) {
        const GLBuffer* pBuffer = pctx->buffers[slot].pBuffer;
        LONG yBottom = pBuffer->y + pBuffer->cy;
        if (board.stereoPages && (slot == 8 || slot == 9)) yBottom += board.cyRightEye;
        m.xOrigin = static_cast<float>(pBuffer->x);
        m.yBottom = static_cast<float>(yBottom);
    } else {
        // No window to measure against: y counts up from the viewport's
        // bottom edge.
        const LONG* pvp = reinterpret_cast<const LONG*>(pulAttr(pctx, N_ATTR_CLIP_BOX));
        m.yBottom = static_cast<float>(pvp[3] + 1);
    }
    return m;
}

// Writes tokens and vertices of the batch in the pipe's work arrays.
class Writer {
  public:
    Writer(N_Context* pctx, N_Pipe* pipe)
        : pctx_(pctx), c_(*pipe->pCommonPipeData), r_(_NFeedbackRecordOf(pctx)), map_(MapOf(pctx)),
          type_(pctx->feedbackType), ci_(*pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1),
          texSource_((c_.format & N_VTX_TEXCOORD) && c_.texCoord.p != nullptr ? c_.texCoord
                                                                            : N_Source{pulAttr(pctx, N_ATTR_TEXCOORD), 0}),
          texMatrix_(_NMatrixStackTop(pctx, 3)) {}
    ~Writer() { _NFeedbackDone(pctx_, r_); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void Put(float f) { _NFeedbackPut(pctx_, &r_, f); }

    void Vertex(ULONG i) {
        const float* o = c_.pClipPos + 4 * std::size_t{i};
        const float w = o[3];
        const float s = w == 0.0f ? 0.0f : 1.0f / w;
        Put((o[0] * s + map_.xAdd) / map_.scale - map_.xOrigin);
        Put(map_.yBottom - (o[1] * s + map_.yAdd) / map_.scale);
        if (type_ == kType2D) return;
        Put(o[2] * s / kDepthUnits);
        if (type_ == kType4DColourTexture) Put(w);
        if (type_ < kType3DColour) return;
        const float* colour = c_.pColours + 4 * std::size_t{i};
        for (ULONG k = 0; k < (ci_ ? 1u : 4u); ++k) Put(colour[k]);
        if (type_ < kType3DColourTexture) return;
        const auto* t = reinterpret_cast<const float*>(static_cast<const BYTE*>(texSource_.p) +
                                                       std::size_t{i} * texSource_.step);
        float tex[4];
        _NTransformVec4(t, tex, texMatrix_);
        for (float f : tex) Put(f);
    }

  private:
    N_Context* pctx_;
    CommonPipeData& c_;
    N_FeedbackRecord r_;
    WindowMap map_;
    ULONG type_;
    bool ci_;
    N_Source texSource_;
    const float* texMatrix_;
};

// A polygon of n vertices (indexes into the batch) by the pipe's polygon
// mode; bEdgeFlags: edge k, from vertex k to the next, is drawn as a line
// only when the flag word of vertex k says it is a boundary edge.
void vPolygon(Writer& w, const CommonPipeData& c, ULONG mode, const ULONG* v, ULONG n, bool bEdgeFlags) {
    if (mode & N_MODE_POLY_POINT) {
        for (ULONG k = 0; k < n; ++k) {
            w.Put(kPointToken);
            w.Vertex(v[k]);
        }
    } else if (mode & N_MODE_POLY_LINE) {
        bool bFirst = true;
        for (ULONG k = 0; k < n; ++k) {
            if (bEdgeFlags && (c.pEdgeWords[v[k]] & 0xFF) != 1) continue;
            w.Put(bFirst ? kLineResetToken : kLineToken);
            w.Vertex(v[k]);
            w.Vertex(v[(k + 1) % n]);
            bFirst = false;
        }
    } else {
        w.Put(kPolygonToken);
        w.Put(static_cast<float>(n));
        for (ULONG k = 0; k < n; ++k) w.Vertex(v[k]);
    }
}

// The per-strip arrays the feedback stage reads, advanced past a strip.
struct StripArrays {
    float* pClipPos;
    LONG* pWindow;
    ULONG* pOutcodes;
    float* pColours;
    ULONG* pEdgeWords;
    N_Source texCoord;

    static StripArrays Of(const CommonPipeData& c) {
        return {c.pClipPos, c.pWindow, c.pOutcodes, c.pColours, c.pEdgeWords, c.texCoord};
    }
    void To(CommonPipeData& c) const {
        c.pClipPos = pClipPos;
        c.pWindow = pWindow;
        c.pOutcodes = pOutcodes;
        c.pColours = pColours;
        c.pEdgeWords = pEdgeWords;
        c.texCoord = texCoord;
    }
    void Advance(ULONG n) {
        pClipPos += 4 * std::size_t{n};
        pWindow += 3 * std::size_t{n};
        pOutcodes += n;
        pColours += 4 * std::size_t{n};
        pEdgeWords += n;
        texCoord.p = static_cast<const BYTE*>(texCoord.p) + std::size_t{n} * texCoord.step;
    }
};

}  // namespace

void _NStageFeedback(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    const ULONG code = c.code;
    if (code != N_PRIM_RASTER_POS && n != 0) {
        Writer w(pctx, pipe);
        const bool bEdgeFlags = (c.format & N_VTX_EDGEFLAG) != 0;
        ULONG v[4];
        switch (code) {
            case N_PRIM_POINTS:
                for (ULONG i = 0; i < n; ++i) {
                    w.Put(kPointToken);
                    w.Vertex(i);
                }
                break;
            case N_PRIM_LINE_STRIP:
            case N_PRIM_LINES: {
                // A strip restarts the stipple only at its first segment;
                // a later batch of a split strip continues it.
                const ULONG step = code == N_PRIM_LINES ? 2 : 1;
                for (ULONG i = 0; i + 1 < n; i += step) {
                    const bool bReset = code == N_PRIM_LINES || (i == 0 && c.first != 0);
                    w.Put(bReset ? kLineResetToken : kLineToken);
                    w.Vertex(i);
                    w.Vertex(i + 1);
                }
                break;
            }
            case N_PRIM_POLYGON: {
                // The polygon's vertices are the batch's, in order; culled,
                // none of its triangles is drawn.
                N_FaceRunReader runs(c.pFaceRuns);
                bool bDrawn = false;
                for (ULONG f = 0; f < _NFaceCount(code, n); ++f) bDrawn = (runs.Next() != N_RUN_SKIP) || bDrawn;
                if (!bDrawn) break;
                ULONG order[N_BATCH_POINTS];
                for (ULONG i = 0; i < n; ++i) order[i] = i;
                vPolygon(w, c, pipe->mode, order, n, bEdgeFlags);
                break;
            }
            case N_PRIM_TRIANGLES:
            case N_PRIM_QUADS:
            case N_PRIM_FAN:
            case N_PRIM_TRI_STRIP:
            case N_PRIM_QUAD_STRIP: {
                // Faces that culling dropped write nothing. Edge flags are
                // the separate triangles' and quads' own.
                const bool bFlags = bEdgeFlags && (code == N_PRIM_TRIANGLES || code == N_PRIM_QUADS);
                N_FaceRunReader runs(c.pFaceRuns);
                for (ULONG f = 0; f < _NFaceCount(code, n); ++f) {
                    const ULONG cv = _NFaceVertices(code, f, v);
                    if (runs.Next() != N_RUN_SKIP) vPolygon(w, c, pipe->mode, v, cv, bFlags);
                }
                break;
            }
            default:
                break;
        }
    }
    pipe->next[N_STAGE_FEEDBACK](pctx, pipe);
}

void _NFeedbackStripRunner(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    const ULONG cStrips = std::max(c.stripCount, 1u);
    const ULONG* pCounts = c.stripCount > 1 && c.pStripCounts != nullptr ? c.pStripCounts : &c.stripVertexCount;
    const ULONG total = c.stripVertexCount;
    const ULONG savedStrips = c.stripCount;
    const StripArrays saved = StripArrays::Of(c);
    StripArrays at = saved;
    ULONG done = 0;
    c.stripCount = 1;
    // Each strip of a polygonal kind takes its own faces' runs.
    ULONG* const pSavedRuns = c.pFaceRuns;
    static ULONG stripRuns[N_FACE_RUN_WORDS];  // no allocation while drawing
    N_FaceRunReader runs(pSavedRuns);
    const bool bSlice = cStrips > 1 && c.code >= N_PRIM_POLYGON && c.code <= N_PRIM_QUAD_STRIP;
    // The user planes' outcodes are the clipping paths' own (the pipe's
    // outcodes are the frustum's), as in the strip runner of drawing.
    const bool bUser = pctx->altVertexPath && pctx->anyClipPlane;
    for (ULONG s = 0; s < cStrips && done < n; ++s) {
        const ULONG len = std::min(pCounts[s], n - done);
        at.To(c);
        c.stripVertexCount = len;
        if (bSlice) {
            const ULONG faces = std::min(_NFaceCount(c.code, len), N_FACE_RUN_WORDS - 1);
            for (ULONG f = 0; f < faces; ++f) stripRuns[f] = N_FACE_RUN(runs.Next(), 1);
            stripRuns[faces] = 0;
            c.pFaceRuns = stripRuns;
        }
        ULONG orOut = 0;
        for (ULONG i = 0; i < len; ++i) orOut |= at.pOutcodes[i];
        if (bUser && c.pDispatch != nullptr && c.pDispatch->pfnClipPath != nullptr) {
            // With user clip planes in force the kind's clipping path
            // weighs the strip against them and the frustum, and clips it.
            c.pDispatch->pfnClipPath(pctx, pipe);
        } else if (orOut == 0) {
            pipe->next[N_STAGE_STRIPS](pctx, pipe);
        } else if (c.pDispatch != nullptr && c.pDispatch->pfnPrimPath != nullptr) {
            // A strip that leaves the clip volume goes to the kind's
            // primitive path, which clips it.
            c.pDispatch->pfnPrimPath(pctx, pipe);
        }
        at.Advance(len);
        done += len;
    }
    saved.To(c);
    c.pFaceRuns = pSavedRuns;
    c.stripCount = savedStrips;
    c.stripVertexCount = total;
}
