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
//
// Antialiased lines (enable bit KZ_EN_AA_LINES) are GL's rectangles: a
// segment of any width w covers the rectangle of width w centred on it,
// from its start to its end vertex, and every pixel the rectangle reaches
// becomes a fragment whose coverage is the area of the pixel inside the
// rectangle. Coverage scales the fragment's alpha (RGBA) or picks within
// the 16-entry ramp above its index (colour-index mode), as the
// antialiased point stages do. Such a segment is not widened again by the
// wide-line stage. Its values are those of the point of the segment
// nearest the pixel's centre; the stipple divides the rectangle into
// pieces one pixel long, counted from the strip's first vertex.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "3d/context/arena.h"
#include "shared/frame/hwframe.h"
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
    bool bAA = false;     // antialiased: coverage of the rectangle of the line's width
    float width = 1.0f;   // the antialiased rectangle's width
    LONG cx = 0, cy = 0;  // the screen: antialiased fragments beyond it are dropped (0: unknown)
    bool bSmooth = false, bAlpha = false, bDepth = false, bTexture = false, bAffine = false;
    bool bEdgeFlags = false;
    bool bIndex = false;  // colour-index mode: the packed word is the fragment's index
    ULONG period = 16;
    BYTE stipple[N_STIPPLE_MAX];
    float flat[3] = {};  // the constant colour of the plain forms
};

// The values of one vertex pair as the walk steps them.
struct Values {
    float c[4], dc[4];
    float s, t, q, ds, dt, dq;
    float lodDs, lodDt;  // the change of the texture coordinates themselves over the segment
    ULONG z;
    LONG dz;
};

// The level of a segment of extents adx, ady in whole pixels, from the
// whole segment's differences of the coordinates (s/q, t/q), not of the
// values weighed by the perspective that the walk steps.
void vLevel(N_Context* pctx, N_FragSpan& sp, const Values& v, std::int64_t adx, std::int64_t ady) {
    N_TexLod* lod = sp.pTexLod;
    lod->s = v.s;
    lod->t = v.t;
    lod->q = v.q;
    const float rx = adx != 0 ? fRecip(static_cast<LONG>(adx)) : 0.0f;
    const float ry = ady != 0 ? fRecip(static_cast<LONG>(ady)) : 0.0f;
    _NSwLineTexLod(pctx, lod, v.lodDs * rx, v.lodDs * ry, v.lodDt * rx, v.lodDt * ry, static_cast<LONG>(adx),
                   static_cast<LONG>(ady));
}

// Walks segment A -> B (window coordinates in whole pixels) and hands its
// fragments on; *pStipple counts the strip's fragments so far (GL's stipple
// counter, reset at each strip's first vertex) and is moved past this
// segment's. With the exact ends ea, eb (sixteenths of a pixel, or null)
// each fragment's pixel across the line is the one nearest the exact
// segment where it crosses the fragment's column or row, as GL's rule
// draws it, not the one nearest the line between the end pixels.
void vSegment(N_Context* pctx, N_Pipe* pipe, const LineCall& call, const LONG* a, const LONG* b,
              std::int64_t* pStipple, Values v, const LONG* ea = nullptr, const LONG* eb = nullptr) {
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

    if (call.bTexture) vLevel(pctx, sp, v, adx, ady);
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
    // The exact segment across the major axis: at major coordinate m (a
    // pixel's centre) it lies at num(m) / den pixels, den > 0.
    const int ma = bXMajor ? 0 : 1, mi = 1 - ma;
    const I64 eMajor = ea != nullptr ? I64{eb[ma]} - ea[ma] : 0, eMinor = ea != nullptr ? I64{eb[mi]} - ea[mi] : 0;
    const bool bExact = ea != nullptr && eMajor != 0;
    const I64 den = 16 * (eMajor < 0 ? -eMajor : eMajor), sgn = eMajor < 0 ? -1 : 1;
    auto num = [&](I64 m) { return sgn * (I64{ea[mi]} * eMajor + (16 * m - ea[ma]) * eMinor); };
    auto floorDiv = [](I64 p, I64 q) { return p >= 0 ? p / q : -((-p + q - 1) / q); };
    // The nearest pixel; half-way, the same pixel as the walk's ties.
    const bool bRising = (eMajor > 0) == (eMinor > 0);
    auto exactMinor = [&](I64 m) {
        const I64 p = num(m);
        return bXMajor && bRising ? floorDiv(p + den / 2, den) : -floorDiv(-p + den / 2, den);
    };
    auto place = [&](I64& px, I64& py) {
        if (!bExact) return;
        if (bXMajor)
            py = exactMinor(px);
        else
            px = exactMinor(py);
    };
    const LONG cap = static_cast<LONG>(N_FRAG_MAX) - 1;
    LONG n = 0;
    for (I64 i = 0; i < total; ++i) {
        place(x, y);
        if (n == 0 && bExact) {
            const I64 m = bXMajor ? x : y, pix = bXMajor ? y : x;
            line->minorAt0 = static_cast<LONG>(floorDiv((num(m) - pix * den) * major + den / 2, den));
        } else if (n == 0) {
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
        if (call.bIndex) sp.pPacked[n] = _NSwIndexWord(sp.pRed[n]);
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
            place(x, y);
            sp.pX[n] = static_cast<LONG>(x);
            sp.pY[n] = static_cast<LONG>(y);
            sp.count = n;
            pipe->next[N_STAGE_RENDER](pctx, pipe);
            n = 0;
        }
    }
    if (major > 0) *pStipple += major;
}

// --- antialiased segments ----------------------------------------------------------------------
// Positions in pixels, pixel (i, j)'s centre at (i, j).
struct Pt {
    double x, y;
};

// The part of the convex polygon p (n corners) where a x + b y <= c, into
// out (room for n + 1 corners); answers its corner count.
int nClipHalf(const Pt* p, int n, double a, double b, double c, Pt* out) {
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const Pt& P = p[i];
        const Pt& Q = p[(i + 1) % n];
        const double fp = a * P.x + b * P.y - c, fq = a * Q.x + b * Q.y - c;
        if (fp <= 0.0) out[m++] = P;
        if ((fp < 0.0 && fq > 0.0) || (fp > 0.0 && fq < 0.0)) {
            const double t = fp / (fp - fq);
            out[m++] = {P.x + t * (Q.x - P.x), P.y + t * (Q.y - P.y)};
        }
    }
    return m;
}

double fArea(const Pt* p, int n) {
    double twice = 0.0;
    for (int i = 0; i < n; ++i) twice += p[i].x * p[(i + 1) % n].y - p[(i + 1) % n].x * p[i].y;
    return std::fabs(twice) * 0.5;
}

// The rectangle of an antialiased segment as four half-planes
// a x + b y <= c: its start and end edges and its two sides.
struct Rectangle {
    Pt corner[4];
    double a[4], b[4], c[4];
    double ux, uy;  // unit vector along the segment
    double length, half;
    Pt A;
};

Rectangle RectangleOf(Pt A, Pt B, double width) {
    Rectangle r;
    r.A = A;
    const double dx = B.x - A.x, dy = B.y - A.y;
    r.length = std::sqrt(dx * dx + dy * dy);
    r.ux = dx / r.length;
    r.uy = dy / r.length;
    r.half = width * 0.5;
    const double nx = -r.uy * r.half, ny = r.ux * r.half;
    r.corner[0] = {A.x + nx, A.y + ny};
    r.corner[1] = {B.x + nx, B.y + ny};
    r.corner[2] = {B.x - nx, B.y - ny};
    r.corner[3] = {A.x - nx, A.y - ny};
    const double along = r.ux * A.x + r.uy * A.y, across = -r.uy * A.x + r.ux * A.y;
    const double a[4] = {-r.ux, r.ux, -r.uy, r.uy}, b[4] = {-r.uy, r.uy, r.ux, -r.ux};
    const double c[4] = {-along, along + r.length, across + r.half, -across + r.half};
    for (int k = 0; k < 4; ++k) r.a[k] = a[k], r.b[k] = b[k], r.c[k] = c[k];
    return r;
}

// The area of pixel (i, j) inside the rectangle.
double fCoverage(const Rectangle& r, double i, double j) {
    // Every point of the pixel lies within 0.7072 of its centre.
    constexpr double kReach = 0.7072;
    const double u = r.ux * (i - r.A.x) + r.uy * (j - r.A.y), v = -r.uy * (i - r.A.x) + r.ux * (j - r.A.y);
    if (u < -kReach || u > r.length + kReach || std::fabs(v) > r.half + kReach) return 0.0;
    if (u >= kReach && u <= r.length - kReach && std::fabs(v) <= r.half - kReach) return 1.0;
    Pt p[12] = {{i - 0.5, j - 0.5}, {i + 0.5, j - 0.5}, {i + 0.5, j + 0.5}, {i - 0.5, j + 0.5}}, q[12];
    int n = 4;
    for (int k = 0; k < 4 && n > 0; ++k) {
        n = nClipHalf(p, n, r.a[k], r.b[k], r.c[k], q);
        std::copy(q, q + n, p);
    }
    return n >= 3 ? std::min(fArea(p, n), 1.0) : 0.0;
}

// Hands on the fragments of the antialiased segment A -> B (pixels, not
// rounded) with the values v of its ends (not yet stepped); *pStippleAt is
// the strip's length so far, which the stipple's pieces count, moved past
// this segment.
void vSegmentAA(N_Context* pctx, N_Pipe* pipe, const LineCall& call, Pt A, Pt B, double* pStippleAt,
                const Values& v) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_FragSpan& sp = c.span;
    auto* line = static_cast<N_SpanLine*>(c.pCurPrim);
    using I64 = std::int64_t;
    const double dx = B.x - A.x, dy = B.y - A.y;
    // A segment of no length has no area; one longer than any screen comes
    // of a vertex the clipper could not place.
    if (!(dx * dx + dy * dy > 0.0) || std::fabs(dx) > kMaxExtent || std::fabs(dy) > kMaxExtent) return;
    const Rectangle r = RectangleOf(A, B, call.width);
    line->majorAxis = std::fabs(dx) > std::fabs(dy) ? 0 : 1;
    line->dx = static_cast<float>(dx);
    line->dy = static_cast<float>(dy);
    line->minorAt0 = 0;
    if (call.bTexture) {
        const I64 adx = std::llabs(std::llround(B.x) - std::llround(A.x));
        const I64 ady = std::llabs(std::llround(B.y) - std::llround(A.y));
        vLevel(pctx, sp, v, adx, ady);
    }
    double top = r.corner[0].y, bottom = top;
    for (const Pt& p : r.corner) top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    I64 j0 = static_cast<I64>(std::floor(top + 0.5)), j1 = static_cast<I64>(std::ceil(bottom - 0.5));
    if (call.cy > 0) j0 = std::max<I64>(j0, 0), j1 = std::min<I64>(j1, call.cy - 1);
    const double lastPiece = std::max(r.length - 1.0e-6, 0.0);
    const LONG cap = static_cast<LONG>(N_FRAG_MAX) - 1;
    LONG n = 0;
    auto flush = [&] {
        if (n == 0) return;
        sp.count = n;
        pipe->next[N_STAGE_RENDER](pctx, pipe);
        n = 0;
    };
    for (I64 j = j0; j <= j1; ++j) {
        // The columns the rectangle reaches on this row.
        Pt p[8], q[8];
        std::copy(r.corner, r.corner + 4, p);
        int m = nClipHalf(p, 4, 0.0, -1.0, -(static_cast<double>(j) - 0.5), q);
        m = nClipHalf(q, m, 0.0, 1.0, static_cast<double>(j) + 0.5, p);
        if (m == 0) continue;
        double left = p[0].x, right = left;
        for (int k = 1; k < m; ++k) left = std::min(left, p[k].x), right = std::max(right, p[k].x);
        I64 i0 = static_cast<I64>(std::floor(left + 0.5)), i1 = static_cast<I64>(std::ceil(right - 0.5));
        if (call.cx > 0) i0 = std::max<I64>(i0, 0), i1 = std::min<I64>(i1, call.cx - 1);
        for (I64 i = i0; i <= i1; ++i) {
            const double x = static_cast<double>(i), y = static_cast<double>(j);
            const double cover = fCoverage(r, x, y);
            if (!(cover > 1.0e-6)) continue;
            // The point of the segment nearest the pixel's centre.
            const double along = std::clamp(r.ux * (x - A.x) + r.uy * (y - A.y), 0.0, r.length);
            const float t = static_cast<float>(along / r.length), f = static_cast<float>(cover);
            sp.pX[n] = static_cast<LONG>(i);
            sp.pY[n] = static_cast<LONG>(j);
            const auto piece = static_cast<I64>(std::floor(*pStippleAt + std::min(along, lastPiece)));
            sp.pMask[n] = call.stipple[piece % static_cast<I64>(call.period)];
            sp.pRed[n] = v.c[0] + t * v.dc[0];
            sp.pGreen[n] = v.c[1] + t * v.dc[1];
            sp.pBlue[n] = v.c[2] + t * v.dc[2];
            sp.pAlpha[n] = (v.c[3] + t * v.dc[3]) * f;
            if (call.bIndex) {
                sp.pRed[n] += 15.0f * f;
                sp.pPacked[n] = _NSwIndexWord(sp.pRed[n]);
            }
            if (call.bTexture) {
                sp.pS[n] = v.s + t * v.ds;
                sp.pT[n] = v.t + t * v.dt;
                sp.pQ[n] = v.q + t * v.dq;
            }
            if (call.bDepth) {
                const double z = static_cast<double>(v.z) + static_cast<double>(t) * static_cast<double>(v.dz);
                sp.pDepth[n] = static_cast<ULONG>(std::clamp(std::llround(z), 0LL, 0xFFFFFFFFLL));
            }
            if (++n == cap) flush();
        }
    }
    flush();
    *pStippleAt += r.length;
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
    const N_SwScreen screen = _NSwScreenOf(pctx);
    call.bAA = (mode & KZ_EN_AA_LINES) != 0;
    // An antialiased fragment carries its own colour, alpha and coverage.
    if (call.bAA) form = kAttr;
    call.form = form;
    call.bPrecise = screen.precise != 0;
    if (call.bAA) {
        const float width = fNLineWidth(pctx);
        call.width = width > 0.0f ? std::min(width, 4096.0f) : 1.0f;
        call.cx = std::min<LONG>(screen.cx, static_cast<LONG>(N_FRAG_MAX));
        call.cy = screen.cy;
    }
    call.bSmooth = pipe->colourCopy == 0;
    call.bAlpha = (mode & kModeAlpha) != 0;
    call.bDepth = (mode & kModeDepth) != 0 || form == kDepth;
    call.bTexture = form == kAttr && (mode & N_MODE_TEXTURE) != 0 && c.pTexWork != nullptr;
    call.bAffine = pctx->xf.projectionAffine != 0;
    call.bIndex = *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1;
    call.bEdgeFlags = (mode & N_MODE_POLY_LINE) == kModeEdgeFlags && c.pEdgeWords != nullptr;
    call.period = _NSwExpandStipple(*pulAttr(pctx, N_ATTR_LINE_STIPPLE),
                                    static_cast<LONG>(*pulAttr(pctx, N_ATTR_LINE_STIPPLE_REPEAT)), call.stipple);
    const float* first = pfRecord(c, 0);
    for (int k = 0; k < 3; ++k) call.flat[k] = first[k];
    // A line span samples the one level its segment chooses: the mode a
    // triangle of this pipe block may have left (a level a fragment, from
    // the triangle record's gradients) does not apply to a line record.
    if (call.bTexture) c.span.lodMode = N_LOD_PRIMITIVE;

    N_SpanLine line{};
    void* savedPrim = c.pCurPrim;
    c.pCurPrim = &line;
    // Sixteenths to the pixel whose sample point is nearest. A coordinate
    // half-way between two pixels' (a vertex on a pixel edge or corner) goes
    // to the pixel the segment i -> i + 1 moves towards on that axis, at
    // either end: GL's diamond rule draws the first pixel the segment
    // enters beyond its start and the last it passes before its end.
    auto win = [&](LONG i, LONG* out, LONG seg) {
        const LONG* w = c.pWindow + 3 * std::size_t(i);
        const LONG* from = c.pWindow + 3 * std::size_t(seg);
        const LONG* to = from + 3;
        for (int k = 0; k < 2; ++k)
            out[k] = !call.bPrecise ? w[k] : (w[k] + (to[k] < from[k] ? 7 : 8)) >> 4;
        out[2] = w[2];
    };
    LONG base = 0;
    for (LONG s = 0; s < cStrips; ++s) {
        const LONG n = static_cast<LONG>(c.pStripCounts[s]);
        if (n <= 0) continue;
        if (base + n > cVerts) break;  // a strip past the batch: nothing more is drawn
        std::int64_t stippleCount = 0;
        double stippleAt = 0.0;
        for (LONG i = base; i + 1 < base + n; ++i) {
            if (call.bEdgeFlags && (c.pEdgeWords[i] & 3u) != 1u) continue;
            // A segment with an end that may not be drawn is left out.
            if (!_NWindowDrawable(c.pWindow + 3 * std::size_t(i), call.bPrecise) ||
                !_NWindowDrawable(c.pWindow + 3 * std::size_t(i + 1), call.bPrecise))
                continue;
            LONG a[3], b[3];
            win(i, a, i);
            win(i + 1, b, i);
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
                const int channels = call.bAlpha || call.bAA ? 4 : 3;
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
                    v.lodDs = tb[0] - ta[0];
                    v.lodDt = tb[1] - ta[1];
                    v.q = call.bAffine ? 0.0f : bWeigh ? ka : ta[3];
                    v.dq = call.bAffine ? 0.0f : bWeigh ? kb - ka : tb[3] - ta[3];
                }
            }
            if (call.bAA) {
                const LONG* wa = c.pWindow + 3 * std::size_t(i);
                const LONG* wb = wa + 3;
                const double scale = call.bPrecise ? 1.0 / 16.0 : 1.0;
                vSegmentAA(pctx, pipe, call, {wa[0] * scale, wa[1] * scale}, {wb[0] * scale, wb[1] * scale},
                           &stippleAt, v);
            } else {
                const LONG* wa = c.pWindow + 3 * std::size_t(i);
                if (call.bPrecise)
                    vSegment(pctx, pipe, call, a, b, &stippleCount, v, wa, wa + 3);
                else
                    vSegment(pctx, pipe, call, a, b, &stippleCount, v);
            }
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
