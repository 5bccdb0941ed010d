// The line stages of the software path (stage 25 of line strips, separate
// lines and polygon outlines): every segment of the batch's strips walked
// into the fragment span with an integer midpoint walk, each fragment
// given its stipple mask byte and its values, and the span handed to pipe
// word 25 once a segment.
//
// The walk draws GL's diamond-exit pixels for segments between pixel
// centres: the start vertex's pixel is drawn, the end vertex's is not (it
// starts the next segment), and a tie between two pixels of a column goes
// to the one the segment nears on its right, of a row to the left one, so
// a segment lights the same pixels walked in either direction. A segment longer than the span is handed on in pieces.
//
// The stipple position is GL's: the count of the strip's fragments before
// this one, from the strip's first vertex on, whichever way each segment
// runs.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "3d/arena.h"
#include "hwframe.h"
#include "swprim.h"

namespace {

constexpr ULONG kModeDepth = 0x10;
constexpr ULONG kModeAlpha = 0x88;       // an alpha buffer, or alpha carried
constexpr ULONG kModeEdgeFlags = 0x200000;
constexpr std::int64_t kMaxExtent = 1 << 16;

// Which values a stage writes.
enum : ULONG { kPlain = 0, kDepth = 1, kAttr = 2 };

float fRecip(LONG n) {
    if (n >= 0 && n < static_cast<LONG>(N_RECIPROCALS) && gNArena.pReciprocal != nullptr)
        return gNArena.pReciprocal[n];
    return n == 0 ? 65536.0f : 1.0f / static_cast<float>(n);
}

const float* pfRecord(const CommonPipeData& c, ULONG v) {
    return reinterpret_cast<const float*>(c.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{v});
}

// One call's set-up.
struct LineCall {
    ULONG form = kPlain;
    bool bPrecise = false;
    bool bSmooth = false, bAlpha = false, bDepth = false, bTexture = false, bAffine = false;
    bool bEdgeFlags = false;
    ULONG period = 16;
    BYTE stipple[N_STIPPLE_MAX];
    float flat[3] = {};  // the constant colour of the plain forms
};

// The values of one vertex pair as the walk steps them.
struct Values {
    float c[4], dc[4];
    float s, t, q, ds, dt, dq;
    ULONG z;
    LONG dz;
};

// Walks segment A -> B (window coordinates in whole pixels) and hands its
// fragments on; *pStipple counts the strip's fragments so far (GL's stipple
// counter, reset at each strip's first vertex) and is moved past this
// segment's.
void vSegment(N_Context* pctx, N_Pipe* pipe, const LineCall& call, const LONG* a, const LONG* b,
              std::int64_t* pStipple, Values v) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_FragSpan& sp = c.span;
    auto* line = static_cast<N_SpanLine*>(c.pCurPrim);
    using I64 = std::int64_t;
    const I64 dx = I64{b[0]} - a[0], dy = I64{b[1]} - a[1];
    const I64 adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const I64 sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool bXMajor = adx > ady;
    const I64 major = bXMajor ? adx : ady;
    // No screen is this wide: such a segment comes of a vertex the clipper
    // could not place (NaN or overflowing coordinates) and is not drawn.
    if (major > kMaxExtent) return;
    const I64 total = major > 0 ? major : 1;
    line->majorAxis = bXMajor ? 0 : 1;
    line->dx = static_cast<float>(dx);
    line->dy = static_cast<float>(dy);

    if (call.bTexture) {
        // The level of the segment, from the whole segment's differences.
        N_TexLod* lod = sp.pTexLod;
        lod->s = v.s;
        lod->t = v.t;
        lod->q = v.q;
        const float rx = adx != 0 ? fRecip(static_cast<LONG>(adx)) : 0.0f;
        const float ry = ady != 0 ? fRecip(static_cast<LONG>(ady)) : 0.0f;
        _NSwLineTexLod(pctx, lod, v.ds * rx, v.ds * ry, v.dt * rx, v.dt * ry, static_cast<LONG>(adx),
                       static_cast<LONG>(ady));
    }
    const float r = fRecip(static_cast<LONG>(major));
    if (call.form == kAttr) {
        for (int k = 0; k < 4; ++k) v.dc[k] *= r;
        v.ds *= r;
        v.dt *= r;
        v.dq *= r;
    }
    if (call.bDepth && call.form != kPlain) v.dz = static_cast<LONG>(r * static_cast<float>(v.dz));

    I64 x = a[0], y = a[1];
    // The minor axis steps where the segment passes beyond the half-way
    // point between two pixels. Exactly half-way, GL's rasterisers take the
    // pixel the segment nears just right of the column's centre on an
    // x-major segment, and the left pixel of the row on a y-major one:
    // either way the same pixel whichever end the walk starts from.
    I64 err = bXMajor ? 2 * ady - adx - (dx < 0 ? 1 : 0) : 2 * adx - ady - (dx > 0 ? 1 : 0);
    const LONG cap = static_cast<LONG>(N_FRAG_MAX) - 1;
    LONG n = 0;
    for (I64 i = 0; i < total; ++i) {
        if (n == 0) {
            // Where the segment passes the piece's first pixel across the
            // major axis, in 1 / major of a pixel (the wide-line stage
            // places the pixels of even widths by it).
            const I64 across = bXMajor ? y - a[1] : x - a[0];
            line->minorAt0 = static_cast<LONG>(i * (bXMajor ? dy : dx) - across * major);
        }
        sp.pX[n] = static_cast<LONG>(x);
        sp.pY[n] = static_cast<LONG>(y);
        const I64 idx = (*pStipple + i) % static_cast<I64>(call.period);
        sp.pMask[n] = major == 0 ? 1 : call.stipple[idx];
        if (call.form == kAttr) {
            sp.pRed[n] = v.c[0];
            sp.pGreen[n] = v.c[1];
            sp.pBlue[n] = v.c[2];
            if (call.bAlpha) sp.pAlpha[n] = v.c[3];
            if (call.bTexture) {
                sp.pS[n] = v.s;
                sp.pT[n] = v.t;
                sp.pQ[n] = v.q;
            }
            for (int m = 0; m < 4; ++m) v.c[m] += v.dc[m];
            v.s += v.ds;
            v.t += v.dt;
            v.q += v.dq;
        } else {
            sp.pRed[n] = call.flat[0];
            sp.pGreen[n] = call.flat[1];
            sp.pBlue[n] = call.flat[2];
        }
        if (call.bDepth && call.form != kPlain) {
            sp.pDepth[n] = v.z;
            v.z += static_cast<ULONG>(v.dz);
        }
        ++n;
        // The next pixel along the major axis.
        if (bXMajor) {
            x += sx;
            if (err >= 0) {
                y += sy;
                err -= 2 * adx;
            }
            err += 2 * ady;
        } else {
            y += sy;
            if (err >= 0) {
                x += sx;
                err -= 2 * ady;
            }
            err += 2 * adx;
        }
        if (n == cap || i + 1 == total) {
            // The entry past the run holds the next pixel of the walk (the
            // end vertex's after the last piece), which the count leaves out.
            sp.pX[n] = static_cast<LONG>(x);
            sp.pY[n] = static_cast<LONG>(y);
            sp.count = n;
            pipe->next[N_STAGE_RENDER](pctx, pipe);
            n = 0;
        }
    }
    if (major > 0) *pStipple += major;
}

void vLines(N_Context* pctx, N_Pipe* pipe, ULONG form) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const LONG cStrips = static_cast<LONG>(c.stripCount);
    const LONG cVerts = static_cast<LONG>(std::min(c.stripVertexCount, N_BATCH_POINTS + 1));
    if (cStrips < 1 || cVerts - cStrips < 1 || c.pStripCounts == nullptr || c.pWindow == nullptr ||
        c.pHwVertices == nullptr)
        return;
    const ULONG mode = pipe->mode;
    LineCall call;
    call.form = form;
    call.bPrecise = _NSwScreenOf(pctx).precise != 0;
    call.bSmooth = pipe->colourCopy == 0;
    call.bAlpha = (mode & kModeAlpha) != 0;
    call.bDepth = (mode & kModeDepth) != 0 || form == kDepth;
    call.bTexture = form == kAttr && (mode & N_MODE_TEXTURE) != 0 && c.pTexWork != nullptr;
    call.bAffine = pctx->xf.projectionAffine != 0;
    call.bEdgeFlags = (mode & N_MODE_POLY_LINE) == kModeEdgeFlags && c.pEdgeWords != nullptr;
    call.period = _NSwExpandStipple(*pulAttr(pctx, N_ATTR_LINE_STIPPLE),
                                    static_cast<LONG>(*pulAttr(pctx, N_ATTR_LINE_STIPPLE_REPEAT)), call.stipple);
    const float* first = pfRecord(c, 0);
    for (int k = 0; k < 3; ++k) call.flat[k] = first[k];

    N_SpanLine line{};
    void* savedPrim = c.pCurPrim;
    c.pCurPrim = &line;
    auto win = [&](LONG i, LONG* out) {
        const LONG* w = c.pWindow + 3 * std::size_t(i);
        // Sixteenths to the pixel whose sample point is nearest.
        out[0] = call.bPrecise ? (w[0] + 8) >> 4 : w[0];
        out[1] = call.bPrecise ? (w[1] + 8) >> 4 : w[1];
        out[2] = w[2];
    };
    LONG base = 0;
    for (LONG s = 0; s < cStrips; ++s) {
        const LONG n = static_cast<LONG>(c.pStripCounts[s]);
        if (n <= 0) continue;
        if (base + n > cVerts) break;  // a strip past the batch: nothing more is drawn
        std::int64_t stippleCount = 0;
        for (LONG i = base; i + 1 < base + n; ++i) {
            if (call.bEdgeFlags && (c.pEdgeWords[i] & 3u) != 1u) continue;
            LONG a[3], b[3];
            win(i, a);
            win(i + 1, b);
            Values v{};
            if (call.bDepth) {
                v.z = static_cast<ULONG>(a[2]);
                v.dz = static_cast<LONG>(static_cast<ULONG>(b[2]) - static_cast<ULONG>(a[2]));
            }
            if (form == kAttr) {
                // Flat: the segment's end vertex gives its colour; texture
                // coordinates always follow the segment's own vertices.
                const float* ca = pfRecord(c, static_cast<ULONG>(call.bSmooth ? i : i + 1));
                const float* cb = pfRecord(c, static_cast<ULONG>(i + 1));
                const int channels = call.bAlpha ? 4 : 3;
                for (int k = 0; k < channels; ++k) {
                    v.c[k] = ca[k];
                    v.dc[k] = call.bSmooth ? cb[k] - ca[k] : 0.0f;
                }
                if (call.bTexture) {
                    const float* ta = c.pTexWork + 4 * std::size_t(i);
                    const float* tb = ta + 4;
                    // A coordinate's fourth word is its clip w over its q:
                    // in perspective the walk steps s and t weighed by its
                    // inverse, and that weight as q, so that the texture
                    // stage's division gives GL's s/q along the line.
                    const bool bWeigh = !call.bAffine && ta[3] != 0.0f && tb[3] != 0.0f;
                    const float ka = bWeigh ? 1.0f / ta[3] : 1.0f, kb = bWeigh ? 1.0f / tb[3] : 1.0f;
                    v.s = ta[0] * ka;
                    v.t = ta[1] * ka;
                    v.ds = tb[0] * kb - v.s;
                    v.dt = tb[1] * kb - v.t;
                    v.q = call.bAffine ? 0.0f : bWeigh ? ka : ta[3];
                    v.dq = call.bAffine ? 0.0f : bWeigh ? kb - ka : tb[3] - ta[3];
                }
            }
            vSegment(pctx, pipe, call, a, b, &stippleCount, v);
        }
        base += n;
    }
    c.pCurPrim = savedPrim;
}

}  // namespace

ULONG _NSwExpandStipple(ULONG pattern, LONG repeat, BYTE* pOut) {
    const LONG factor = std::clamp<LONG>(repeat, 1, 255);
    const ULONG period = 16 * static_cast<ULONG>(factor);
    for (ULONG k = 0; k < period; ++k) pOut[k] = static_cast<BYTE>((pattern >> (k / static_cast<ULONG>(factor))) & 1u);
    return period;
}

void _NSwRenderLine(N_Context* pctx, N_Pipe* pipe) { vLines(pctx, pipe, kPlain); }

void _NSwRenderLineStrips(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.stripCount > 1) return _NSwEachStrip(pctx, pipe, _NSwRenderLineStrips);
    vLines(pctx, pipe, kDepth);
}

void _NSwRenderLineAttr(N_Context* pctx, N_Pipe* pipe) { vLines(pctx, pipe, kAttr); }

void _NSwRenderLinePairs(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const N_StageFn pfn = pctx->pfnLineStage;
    const ULONG pairs = std::min(c.stripVertexCount, N_BATCH_POINTS) / 2;
    if (pairs == 0 || pfn == nullptr || c.pWindow == nullptr || c.pHwVertices == nullptr) return;
    const CommonPipeData saved = c;
    const ULONG two = 2;
    c.stripCount = 1;
    c.pStripCounts = &two;
    c.stripVertexCount = 2;
    for (ULONG p = 0; p < pairs; ++p) {
        c.pWindow = saved.pWindow + 6 * std::size_t{p};
        c.pHwVertices = saved.pHwVertices + 2 * N_COLOUR_RECORD_WORDS * std::size_t{p};
        if (saved.pTexWork != nullptr) c.pTexWork = saved.pTexWork + 8 * std::size_t{p};
        if (saved.pEdgeWords != nullptr) c.pEdgeWords = saved.pEdgeWords + 2 * std::size_t{p};
        pfn(pctx, pipe);
    }
    c.stripCount = saved.stripCount;
    c.pStripCounts = saved.pStripCounts;
    c.stripVertexCount = saved.stripVertexCount;
    c.pWindow = saved.pWindow;
    c.pHwVertices = saved.pHwVertices;
    c.pTexWork = saved.pTexWork;
    c.pEdgeWords = saved.pEdgeWords;
}
