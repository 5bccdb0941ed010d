// The polygon span rasteriser (stage 65 of the software polygon pipes):
// one triangle at a time into horizontal spans of fragments, each handed
// to pipe word 65 with its colour, depth and homogeneous texture
// coordinates and the destination values the later stages read.
//
// Coverage follows GL's point sampling as the board's own triangles do:
// the vertices keep their sixteenths (window coordinates in sixteenths
// place a vertex at GL's window position less half a pixel, so GL's pixel
// centres fall on the whole-pixel points), and pixel (x, y) is drawn when
// the point (x, y) lies inside the triangle, a point exactly on an edge
// only on a top or left edge: rows yTop <= y < yBottom, columns
// xLeft <= x < xRight, the crossings computed exactly in integers. Two
// triangles that share an edge draw each pixel on it once.
//
// Attributes: each is a plane over the triangle (gradients from the three
// vertices at their exact positions), and a span's first fragment takes
// the plane's value at its own pixel, whichever edge or window border the
// span starts at; the span then steps by the x gradient.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "3d/queue/queue.h"
#include "glpdev.h"
#include "swfrag.h"
#include "swhost.h"
#include "swspan.h"
#include "../../seams.h"

namespace {

constexpr ULONG kModeAlpha = 0x80;        // alpha is carried
constexpr ULONG kModeAlphaBuffer = 0x8;   // an alpha buffer is bound
constexpr ULONG kModeStencil = 0x800;
constexpr ULONG kModeTexture = 0x400;
constexpr ULONG kModeBlend = 0x2000;
constexpr ULONG kModeLogicOp = 0x40000000;

// Vertex order by the comparisons of the three rows: (top, middle, bottom).
constexpr BYTE kOrder[8][3] = {{0, 1, 2}, {0, 2, 1}, {2, 0, 1}, {2, 0, 1},
                               {1, 0, 2}, {1, 0, 2}, {1, 2, 0}, {2, 1, 0}};

// a / b rounded toward minus infinity (b > 0).
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// One interpolated attribute.
struct Plane {
    double f0;  // at the top vertex
    double dx, dy;
    double At(double x, double y) const { return f0 + dx * x + dy * y; }  // x, y from the top vertex
};

ULONG ulDepthOf(double z) {
    if (!(z > 0.0)) return 0;
    if (z >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<ULONG>(z);
}


// Reads the destination values the span's later stages need.
void vReadBack(N_Context* pctx, ULONG mode, N_FragSpan& sp, LONG left, LONG y, LONG n) {
    ULONG* tmp = _NSpanReadRow();
    const bool bColour = (mode & N_MODE_FRAGMENTS) != 0;
    const LONG draw = _NFirstDrawSlot(pctx);
    const N_BoundBuffer* pColour = draw >= 0 ? &pctx->buffers[draw] : nullptr;
    // Destination colour: blending reads its channels, the logic operation
    // the pixel as stored.
    if (pColour != nullptr && pColour->pBuffer != nullptr &&
        ((bColour && (mode & kModeBlend)) || (mode & kModeLogicOp))) {
        _NSwReadRow(*pColour, left, y, n, tmp);
        _NSwSetDstColours(pctx, sp, tmp, n, *pColour);
    }
    // The alpha buffer that goes with the draw buffer, as validation bound it.
    const N_Derived& v = pctx->val;
    const LONG alphaSlot = v.cDrawBuffers > 0 ? v.alphaSlots[0] : -1;
    const N_BoundBuffer* pAlpha = alphaSlot >= 0 && alphaSlot < static_cast<LONG>(N_BUFFER_SLOTS)
                                      ? &pctx->buffers[alphaSlot]
                                      : nullptr;
    if ((mode & kModeAlpha) && (mode & kModeAlphaBuffer) && pAlpha != nullptr && pAlpha->pBuffer != nullptr) {
        _NSwReadRow(*pAlpha, left, y, n, tmp);
        for (LONG i = 0; i < n; ++i) sp.pDstAlpha[i] = static_cast<float>(tmp[i] & 0xFFu) * 0.0039215689f;
    }
    const N_BoundBuffer& stencil = pctx->buffers[N_SLOT_STENCIL];
    if ((mode & kModeStencil) && stencil.pBuffer != nullptr) {
        _NSwReadRow(stencil, left, y, n, tmp);
        for (LONG i = 0; i < n; ++i) sp.pDstStencil[i] = static_cast<BYTE>(tmp[i]);
    }
    // The stored depth only where a span stage compares it (the depth test
    // ahead of the stencil operations); otherwise the colour write's
    // program tests depth on the board and nothing reads it.
    const N_BoundBuffer& depth = pctx->buffers[N_SLOT_DEPTH];
    if (_NSpanTestsDepth(mode) && depth.pBuffer != nullptr) {
        _NSwReadDepthRow(depth, left, y, n, tmp);
        for (LONG i = 0; i < n; ++i) sp.pDstDepth[i] = tmp[i];
    }
}

// The packed colour of the provoking vertex: the index in colour-index
// mode, else its red, green and blue as one word.
ULONG ulProvoking(N_Context* pctx, const float* pColour) {
    auto channel = [](float f) -> ULONG { return f >= 255.0f ? 255u : f > 0.0f ? static_cast<ULONG>(f) : 0u; };
    if (*pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1) {
        const float f = pColour[0];
        return f >= 4294967295.0f ? 0xFFFFFFFFu : f > 0.0f ? static_cast<ULONG>(f) : 0u;
    }
    return (channel(pColour[0]) << 16) | (channel(pColour[1]) << 8) | channel(pColour[2]);
}

}  // namespace

N_SwScreen _NSwScreenOf(N_Context* pctx) {
    N_SwScreen s{};
    GLSRVDEVICE* pDevice = pctx->pHw != nullptr ? pctx->pHw->pDevice : nullptr;
    if (pDevice == nullptr || pDevice->ppdev == nullptr) return s;
    const LONG* pl = plGLScreenSize(pDevice->ppdev);
    // A board driving two screens draws across both: the software path's
    // fragments reach the second screen as its hardware primitives do (the
    // colour write routes each to the screen it lies on).
    s.cx = pctx->pHw != nullptr ? _NScreensWidth(pctx->pHw, pl[0]) : pl[0];
    s.cy = pl[1];
    s.precise = _NModelImprecision(pDevice) != 0 ? 1 : 0;
    // The device record names no origin for a second screen: the drawing
    // area starts at x 0 on every board this server drives.
    s.xOrigin = 0;
    return s;
}

void _NSwRasterPgonSpans(N_Context* pctx, N_Pipe* pipe) { _NSwRasterTriangle(pctx, pipe, _NSwScreenOf(pctx)); }

void _NSwRasterTriangle(N_Context* pctx, N_Pipe* pipe, const N_SwScreen& screen) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    auto* tri = static_cast<N_SpanTri*>(c.pCurPrim);
    if (tri == nullptr) {
        _NProgrammerError();
        return;
    }
    N_FragSpan& sp = c.span;
    const ULONG mode = pipe->mode;

    // Positions in sixteenths of a pixel on this screen (the vertex arrays
    // are left as they are); window coordinates in whole pixels are taken
    // as whole sixteenths of them.
    std::int64_t vx[3], vy[3];
    double vz[3];
    for (ULONG i = 0; i < 3; ++i) {
        const LONG* w = tri->v[i].pWindow;
        if (w == nullptr) {
            _NProgrammerError();
            return;
        }
        // A vertex with an indefinite coordinate, or one no view volume
        // produces, draws nothing.
        if (!_NWindowDrawable(w, screen.precise != 0)) return;
        const std::int64_t scale = screen.precise ? 1 : 16;
        vx[i] = (std::int64_t{w[0]} - std::int64_t{screen.xOrigin} * 16 / scale) * scale;
        vy[i] = std::int64_t{w[1]} * scale;
        vz[i] = static_cast<double>(static_cast<ULONG>(w[2]));
    }
    const ULONG k = (vy[1] < vy[2] ? 0 : 1) + (vy[0] < vy[2] ? 0 : 2) + (vy[0] < vy[1] ? 0 : 4);
    const ULONG iT = kOrder[k][0], iM = kOrder[k][1], iB = kOrder[k][2];
    const std::int64_t xT = vx[iT], yT = vy[iT], xM = vx[iM], yM = vy[iM], xB = vx[iB], yB = vy[iB];

    // Which side the long edge (top to bottom) lies on, from the middle
    // vertex's side of it; a triangle of no area draws nothing.
    const std::int64_t cross = (xB - xT) * (yM - yT) - (yB - yT) * (xM - xT);
    if (cross == 0) return;
    const bool bRight = cross > 0;

    // Twice the signed area in pixels, for the planes.
    const double fxT = static_cast<double>(xT) / 16.0, fyT = static_cast<double>(yT) / 16.0;
    const double fxM = static_cast<double>(xM) / 16.0, fyM = static_cast<double>(yM) / 16.0;
    const double fxB = static_cast<double>(xB) / 16.0, fyB = static_cast<double>(yB) / 16.0;
    const double area = fxT * fyM - fxM * fyT + fxM * fyB - fxB * fyM + fxB * fyT - fxT * fyB;
    const double invD = 1.0 / area;
    auto plane = [&](double fT, double fM, double fB) {
        Plane p;
        p.f0 = fT;
        p.dx = (fT * (fyM - fyB) + fM * (fyB - fyT) + fB * (fyT - fyM)) * invD;
        p.dy = (fT * (fxB - fxM) + fM * (fxT - fxB) + fB * (fxM - fxT)) * invD;
        return p;
    };
    const float* cT = tri->v[iT].pColour;
    const float* cM = tri->v[iM].pColour;
    const float* cB = tri->v[iB].pColour;
    if (cT == nullptr || cM == nullptr || cB == nullptr) {
        _NProgrammerError();
        return;
    }
    const Plane pz = plane(vz[iT], vz[iM], vz[iB]);
    const Plane pr = plane(cT[0], cM[0], cB[0]);
    const Plane pg = plane(cT[1], cM[1], cB[1]);
    const Plane pb = plane(cT[2], cM[2], cB[2]);
    const Plane none{0.0, 0.0, 0.0};
    const Plane pa = (mode & kModeAlpha) ? plane(cT[3], cM[3], cB[3]) : none;
    const bool bTex = (mode & kModeTexture) != 0;
    const N_SpanTriVertex &tT = tri->v[iT], &tM = tri->v[iM], &tB = tri->v[iB];
    const Plane ps = bTex ? plane(tT.sq, tM.sq, tB.sq) : none;
    const Plane pt = bTex ? plane(tT.tq, tM.tq, tB.tq) : none;
    Plane pq = bTex ? plane(tT.invQ, tM.invQ, tB.invQ) : none;
    // Under an affine projection every w is 1 and s and t go along the
    // screen as they are, unless a coordinate's own q is not 1: then q goes
    // along with them and each fragment takes s/q and t/q here.
    const bool bAffine = pctx->xf.projectionAffine != 0;
    const bool bDivide = bAffine && bTex && !(tT.invQ == 1.0f && tM.invQ == 1.0f && tB.invQ == 1.0f);
    if (bAffine && !bDivide) pq = none;
    tri->dsdx = static_cast<float>(ps.dx);
    tri->dsdy = static_cast<float>(ps.dy);
    tri->dtdx = static_cast<float>(pt.dx);
    tri->dtdy = static_cast<float>(pt.dy);
    tri->dqdx = bAffine ? 0.0f : static_cast<float>(pq.dx);
    tri->dqdy = bAffine ? 0.0f : static_cast<float>(pq.dy);

    tri->longEdgeRight = bRight ? 1 : 0;
    tri->dAlphaAway = static_cast<float>(bRight ? -pa.dx : pa.dx);

    // Level of detail, once for the triangle.
    if (bTex) {
        sp.lodMode = N_LOD_PRIMITIVE;
        if (pctx->xf.projectionAffine == 0 && pctx->val.tex.minFilter >= 2 && c.code >= N_PRIM_POLYGON) {
            // Under a perspective lambda changes across the triangle: a
            // level a fragment, as GL chooses it. One choice serves the
            // whole triangle only where its three corners make the same
            // one (program and level) and no blend between two levels
            // follows lambda's fraction; the record then holds it.
            sp.lodMode = N_LOD_FRAGMENT;
            N_TexLod& lod = sp.pTexLod != nullptr ? *sp.pTexLod : c.texLod;
            auto at = [&](const N_SpanTriVertex& v) {
                const float f[4] = {v.sq, v.tq, v.r, pctx->xf.projectionAffine != 0 ? 0.0f : v.invQ};
                const ULONG code = _NSpanTexLodPersp(pctx, pipe, f);
                return std::array<LONG, 3>{static_cast<LONG>(code), lod.d, static_cast<LONG>(lod.filter)};
            };
            const auto choiceT = at(tT);
            const ULONG code = static_cast<ULONG>(choiceT[0]);
            const bool bOneLevel = code != N_LOD_LINEAR_PAIR;
            if (bOneLevel && at(tM) == choiceT && at(tB) == choiceT) sp.lodMode = N_LOD_TRIANGLE;
        } else {
            _NSpanTexLod(pctx, pipe);
        }
    }

    const LONG cx = static_cast<LONG>(std::min<LONG>(screen.cx, static_cast<LONG>(N_FRAG_MAX)));
    const LONG cy = screen.cy;
    const ULONG packed = ulProvoking(pctx, tri->v[0].pColour);
    // An edge's crossing of the row at y (sixteenths), as the first pixel
    // whose sample point lies at or right of it: the crossing is exact, so
    // a sample point on a left edge is drawn and one on a right edge is not.
    auto firstAtOrRight = [&](std::int64_t xa, std::int64_t ya, std::int64_t xb, std::int64_t yb, std::int64_t y) {
        const std::int64_t den = (yb - ya) * 16;  // > 0: edges run downwards
        const std::int64_t num = xa * (yb - ya) + (y - ya) * (xb - xa);
        return FloorDiv(num + den - 1, den);
    };
    // Rows whose sample points lie from the top vertex (in) to the bottom
    // one (out), inside the window only.
    const std::int64_t yFirst = std::max<std::int64_t>(FloorDiv(yT + 15, 16), 0);
    const std::int64_t yEnd = std::min<std::int64_t>(FloorDiv(yB + 15, 16), cy);
    for (std::int64_t y = yFirst; y < yEnd; ++y) {
        const std::int64_t ys = y * 16;
        const std::int64_t xLong = firstAtOrRight(xT, yT, xB, yB, ys);
        const std::int64_t xShort =
            ys < yM ? firstAtOrRight(xT, yT, xM, yM, ys) : firstAtOrRight(xM, yM, xB, yB, ys);
        std::int64_t left, right;
        if (bRight) {
            right = std::min<std::int64_t>(xLong - 1, cx - 1);
            left = std::max<std::int64_t>(xShort, 0);
        } else {
            left = std::max<std::int64_t>(xLong, 0);
            right = std::min<std::int64_t>(xShort - 1, cx - 1);
        }
        const std::int64_t n64 = right - left + 1;
        if (n64 <= 0) continue;
        const LONG n = static_cast<LONG>(n64);
        const LONG l = static_cast<LONG>(left);
        const double ox = static_cast<double>(left) - fxT, oy = static_cast<double>(y) - fyT;

        sp.count = n;
        sp.pX[0] = l;
        sp.pY[0] = static_cast<LONG>(y);
        tri->count = n;
        std::memset(sp.pMask, N_FRAG_LIVE, static_cast<std::size_t>(n));
        vReadBack(pctx, mode, sp, l, static_cast<LONG>(y), n);
        double r = pr.At(ox, oy), g = pg.At(ox, oy), b = pb.At(ox, oy), z = pz.At(ox, oy);
        double s = ps.At(ox, oy), t = pt.At(ox, oy), q = pq.At(ox, oy);
        for (LONG i = 0; i < n; ++i) {
            sp.pRed[i] = static_cast<float>(r);
            sp.pGreen[i] = static_cast<float>(g);
            sp.pBlue[i] = static_cast<float>(b);
            sp.pDepth[i] = ulDepthOf(z);
            if (bDivide) {
                // A q of 0 has no quotient: the texture stage's answer to
                // one, the coordinate 1.
                sp.pS[i] = q != 0.0 ? static_cast<float>(s / q) : 1.0f;
                sp.pT[i] = q != 0.0 ? static_cast<float>(t / q) : 1.0f;
                sp.pQ[i] = 0.0f;
            } else {
                sp.pS[i] = static_cast<float>(s);
                sp.pT[i] = static_cast<float>(t);
                sp.pQ[i] = static_cast<float>(q);
            }
            sp.pPacked[i] = packed;
            r += pr.dx;
            g += pg.dx;
            b += pb.dx;
            z += pz.dx;
            s += ps.dx;
            t += pt.dx;
            q += pq.dx;
        }
        if (_NSpanTestsDepth(mode)) _NSwDepthInBufferSteps(pctx, sp);
        // The alpha ramp starts at the long-edge end of the span.
        const double xEdge = static_cast<double>(bRight ? right : left) - fxT;
        tri->alphaLongEdge = static_cast<float>(pa.At(xEdge, oy));
        pipe->next[N_STAGE_SPAN_RASTER](pctx, pipe);
    }
}

void _NSwReadRow(const N_BoundBuffer& slot, LONG x, LONG y, LONG n, ULONG* out) {
    std::fill(out, out + n, 0u);
    const GLBuffer* pb = slot.pBuffer;
    if (pb == nullptr) return;
    if (slot.pjBase == nullptr) {
        _NGetRow(pb, x, y, n, out);
        return;
    }
    for (LONG i = 0; i < n; ++i) out[i] = _NHostRead(slot, std::int64_t{x} + i, y);
}

void _NSwSetDstColours(N_Context* pctx, N_FragSpan& sp, const ULONG* pul, LONG n, const N_BoundBuffer& slot) {
    const bool bBoard = slot.pBuffer != nullptr && slot.pjBase == nullptr;
    const bool bIndex = *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1;
    // A 16-bit board buffer's colours read back widened to 8 bits a channel.
    const bool bLanes7 = bBoard && !bIndex && slot.pBuffer->bitsPerPixel == 16;
    for (LONG i = 0; i < n; ++i) {
        const ULONG v = bIndex && bBoard ? pul[i] >> 16 : bLanes7 ? ((pul[i] >> 3) & 0x1F1F1Fu) << 2 : pul[i];
        sp.pDstPacked[i] = v;
        sp.pDstBlue[i] = static_cast<float>(v & 0xFFu);
        sp.pDstGreen[i] = static_cast<float>((v >> 8) & 0xFFu);
        sp.pDstRed[i] = static_cast<float>((v >> 16) & 0xFFu);
    }
    // An 8-bit board buffer's pixels read back as the palette's colours,
    // 0..255 a channel: the channels go onto the fragments' scale (each
    // channel's maximum, red's offset above which the palette's red levels
    // start), on the lowest value of the stored level there, which the pack
    // and the store keep at that level whatever the dither entry adds.
    if (bBoard && !bIndex && slot.pBuffer->bitsPerPixel == 8) {
        float m[3];
        _NChannelMax(pctx, m);
        const float* offset = pctx->val.colour.offset;
        float* const channels[3] = {sp.pDstRed, sp.pDstGreen, sp.pDstBlue};
        for (int c = 0; c < 3; ++c)
            for (LONG i = 0; i < n; ++i) channels[c][i] = std::floor(channels[c][i] * m[c] / 255.0f) + offset[c];
    }
}
