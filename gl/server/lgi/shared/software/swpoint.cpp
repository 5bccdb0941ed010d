// The point stages of the software path (swpoint.h says what a point
// covers): each vertex's square or disc, cut to each clip rectangle of
// the window and to the screen, row by row into the fragment span.
//
// Positions are worked in sixteenths of a pixel, screen y growing
// downwards, with pixel (i, j)'s centre at (i, j) as the window
// coordinates have it (a whole-pixel coordinate names its pixel's centre).
// GL 1.0 places points by the window's y growing upwards and pixel
// centres at halves, so its roundings turn over: with (x, y) the point,
// the pixel holding it is column floor(x + 1/2) and screen row
// ceil(y + 1/2) - 1 (floor of the window's upward y), and the pixel corner
// nearest to it lies left of column floor(x) + 1 and above row ceil(y).
#include "swpoint.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "3d/validate/validate.h"
#include "3d/pipes/vstage.h"
#include "shared/frame/hwframe.h"
#include "swfrag.h"
#include "swhost.h"
#include "../../seams.h"

namespace {

using I64 = std::int64_t;

constexpr ULONG kModeAlphaBuffer = 0x8, kModeDepth = 0x10, kModeAlphaHost = 0x200;
constexpr LONG kMaxSide = 4095;

// An inclusive rectangle of screen pixels.
struct Box {
    I64 x0, y0, x1, y1;
};

float fAttr(N_Context* pctx, ULONG id) {
    float f;
    std::memcpy(&f, pulAttr(pctx, id), sizeof f);
    return f;
}

const float* pfRecord(const CommonPipeData& c, ULONG v) {
    return reinterpret_cast<const float*>(c.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{v});
}

// What every point of one call shares.
struct PointCall {
    N_SwScreen screen{};
    // The clip rectangles: packed, relative to the draw buffer's origin
    // (ox, oy); without a clip list the one rectangle `window`.
    const ULONG* pulPacked = nullptr;
    ULONG cBoxes = 0;
    I64 ox = 0, oy = 0;
    Box window{};
    I64 cx = 0, cy = 0;  // the screen, held to the longest span
    bool bDepth = false;
    bool bTexture = false;
    bool bIndex = false;  // colour-index mode: the packed word is the fragment's index
    const N_BoundBuffer* pColourBuf = nullptr;
    const N_BoundBuffer* pDepthBuf = nullptr;
};

// Clip rectangle k of the draw buffer as screen pixels, cut to the screen
// and to the longest span; the window (or the screen) without a clip list.
// The packed rectangles are relative to the draw buffer, their maxima
// outside (unsigned 16-bit halves). Every rectangle of the list is taken,
// however many the window is cut into.
Box BoxOf(const PointCall& call, ULONG k) {
    Box b = call.window;
    if (call.pulPacked != nullptr) {
        const ULONG lo = call.pulPacked[2 * std::size_t{k}], hi = call.pulPacked[2 * std::size_t{k} + 1];
        b = Box{I64{lo & 0xFFFFu} + call.ox, I64{lo >> 16} + call.oy, I64{hi & 0xFFFFu} + call.ox - 1,
                I64{hi >> 16} + call.oy - 1};
    }
    b.x0 = std::max<I64>(b.x0, 0);
    b.y0 = std::max<I64>(b.y0, 0);
    b.x1 = std::min<I64>(b.x1, call.cx - 1);
    b.y1 = std::min<I64>(b.y1, call.cy - 1);
    return b;
}

void vClipBoxes(N_Context* pctx, PointCall* call) {
    const LONG slot = _NFirstDrawSlot(pctx);
    const GLBuffer* D = slot >= 0 ? pctx->buffers[slot].pBuffer : nullptr;
    call->cx = std::min<I64>(call->screen.cx, N_FRAG_MAX);
    call->cy = call->screen.cy;
    call->ox = D != nullptr ? D->x : 0;
    call->oy = D != nullptr ? D->y : 0;
    call->window = D != nullptr ? Box{D->x, D->y, I64{D->x} + D->cx - 1, I64{D->y} + D->cy - 1}
                                : Box{0, 0, call->cx - 1, call->cy - 1};
    const bool bList = pctx->pulPackedClip != nullptr && pctx->cClipRects != 0;
    call->pulPacked = bList ? pctx->pulPackedClip : nullptr;
    call->cBoxes = bList ? pctx->cClipRects : 1;
}

// The vertex's position in sixteenths of a pixel; false for a vertex that
// may not be drawn (an indefinite or far coordinate).
bool bPosition(const PointCall& call, const LONG* w, I64* X, I64* Y) {
    if (!_NWindowDrawable(w, call.screen.precise != 0)) return false;
    const I64 x = w[0], y = w[1];
    *X = (call.screen.precise ? x : x * 16) - I64{call.screen.xOrigin} * 16;
    *Y = call.screen.precise ? y : y * 16;
    return true;
}

// The first fragment's address in a host buffer's row (screen position
// (x, y)), null for board buffers and for positions outside the buffer.
BYTE* pHostRow(const N_BoundBuffer* b, I64 x, I64 y) { return b != nullptr ? _NHostPixel(*b, x, y) : nullptr; }

PointCall Setup(N_Context* pctx, N_Pipe* pipe) {
    PointCall call;
    call.screen = _NSwScreenOf(pctx);
    vClipBoxes(pctx, &call);
    CommonPipeData& c = *pipe->pCommonPipeData;
    call.bDepth = (pipe->mode & kModeDepth) != 0;
    call.bIndex = *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1;
    call.bTexture = (pipe->mode & N_MODE_TEXTURE) != 0 && c.pTexWork != nullptr;
    const LONG slot = _NFirstDrawSlot(pctx);
    call.pColourBuf = slot >= 0 ? &pctx->buffers[slot] : nullptr;
    call.pDepthBuf = call.bDepth ? &pctx->buffers[N_SLOT_DEPTH] : nullptr;
    if (call.bTexture && c.span.pTexLod != nullptr) {
        // Points sample level 0 with the magnification filter: a lambda
        // below every switch-over point chooses it.
        N_TexLod* lod = c.span.pTexLod;
        lod->lambda = -1.0e30f;
        _NSelectMipLevel(pctx, lod);
        lod->lambda = 0.0f;
        c.span.lodMode = N_LOD_PRIMITIVE;
    }
    return call;
}

// The vertices of the batch the stages draw.
ULONG cVertices(const CommonPipeData& c) {
    if (c.pWindow == nullptr || c.pHwVertices == nullptr) return 0;
    return std::min(c.stripVertexCount, std::min(N_BATCH_POINTS, N_COLOUR_ENTRIES));
}

// Fills fragment i of a row with the vertex's depth and texture
// coordinates.
void vCommon(const PointCall& call, N_FragSpan& sp, LONG i, ULONG z, const float* tc) {
    if (call.bIndex) sp.pPacked[i] = _NSwIndexWord(sp.pRed[i]);
    if (call.bDepth) sp.pDepth[i] = z;
    if (call.bTexture) {
        sp.pS[i] = tc[0];
        sp.pT[i] = tc[1];
        sp.pQ[i] = 1.0f;
    }
}

// The destination values of the row that blending and the logic operation
// read: the colour as stored and as channels, and the alpha of a board
// alpha buffer (a host one is stage 74's).
void vReadDestination(N_Context* pctx, N_Pipe* pipe, const PointCall& call, LONG x0, LONG y, LONG n) {
    const ULONG mode = pipe->mode;
    const bool bBlend = (mode & N_MODE_FRAGMENTS) && (mode & N_MODE_BLEND);
    if (!bBlend && !(mode & N_MODE_LOGIC_OP)) return;
    N_FragSpan& sp = pipe->pCommonPipeData->span;
    ULONG* tmp = _NSpanReadRow();
    if (call.pColourBuf != nullptr && call.pColourBuf->pBuffer != nullptr) {
        _NSwReadRow(*call.pColourBuf, x0, y, n, tmp);
        _NSwSetDstColours(pctx, sp, tmp, n, *call.pColourBuf);
    }
    const N_Derived& v = pctx->val;
    const LONG alphaSlot = v.cDrawBuffers > 0 ? v.alphaSlots[0] : -1;
    if (!bBlend || !(mode & kModeAlphaBuffer) || (mode & kModeAlphaHost) || alphaSlot < 0 ||
        alphaSlot >= static_cast<LONG>(N_BUFFER_SLOTS))
        return;
    const N_BoundBuffer& alpha = pctx->buffers[alphaSlot];
    if (alpha.pBuffer == nullptr) return;
    _NSwReadRow(alpha, x0, y, n, tmp);
    for (LONG i = 0; i < n; ++i) sp.pDstAlpha[i] = static_cast<float>(tmp[i] & 0xFFu) * (1.0f / 255.0f);
}

// Hands the row y of the point's fragments [x0, x0 + n) on.
void vRow(N_Context* pctx, N_Pipe* pipe, const PointCall& call, N_SpanPoint& prim, I64 x0, I64 y, LONG n) {
    N_FragSpan& sp = pipe->pCommonPipeData->span;
    sp.count = n;
    vReadDestination(pctx, pipe, call, static_cast<LONG>(x0), static_cast<LONG>(y), n);
    prim.row = static_cast<LONG>(y);
    prim.pColourRow = pHostRow(call.pColourBuf, x0, y);
    prim.pDepthRow = pHostRow(call.pDepthBuf, x0, y);
    pipe->next[N_STAGE_RENDER](pctx, pipe);
}

// The square of a vertex: side d; left column and top row by GL's rule.
void vSquare(N_Context* pctx, N_Pipe* pipe, const PointCall& call, N_SpanPoint& prim, LONG d, ULONG v) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_FragSpan& sp = c.span;
    const LONG* w = c.pWindow + 3 * std::size_t{v};
    I64 X, Y;
    if (!bPosition(call, w, &X, &Y)) return;
    const I64 r = d >> 1;
    const I64 left = (d & 1) ? ((X + 8) >> 4) - r : (X >> 4) + 1 - r;
    const I64 top = (d & 1) ? ((Y + 23) >> 4) - 1 - r : ((Y + 15) >> 4) - r;
    const float* col = pfRecord(c, v);
    const float* tc = call.bTexture ? c.pTexWork + 4 * std::size_t{v} : nullptr;
    const ULONG z = static_cast<ULONG>(w[2]);
    for (ULONG k = 0; k < call.cBoxes; ++k) {
        const Box b = BoxOf(call, k);
        const I64 x0 = std::max(left, b.x0), x1 = std::min(left + d - 1, b.x1);
        const I64 y0 = std::max(top, b.y0), y1 = std::min(top + d - 1, b.y1);
        if (x1 < x0 || y1 < y0) continue;
        const LONG n = static_cast<LONG>(x1 - x0 + 1);
        for (I64 y = y0; y <= y1; ++y) {
            for (LONG i = 0; i < n; ++i) {
                sp.pX[i] = static_cast<LONG>(x0 + i);
                sp.pY[i] = static_cast<LONG>(y);
                sp.pRed[i] = col[0];
                sp.pGreen[i] = col[1];
                sp.pBlue[i] = col[2];
                sp.pAlpha[i] = col[3];
                sp.pMask[i] = N_FRAG_LIVE;
                vCommon(call, sp, i, z, tc);
            }
            vRow(pctx, pipe, call, prim, x0, y, n);
        }
    }
}

// The disc of a vertex: diameter size, centred on its exact position.
// bIndex: the colour-index form (the index plus the coverage ramp).
void vDisc(N_Context* pctx, N_Pipe* pipe, const PointCall& call, N_SpanPoint& prim, float size, ULONG v,
           bool bIndex) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_FragSpan& sp = c.span;
    const LONG* w = c.pWindow + 3 * std::size_t{v};
    I64 X, Y;
    if (!bPosition(call, w, &X, &Y)) return;
    const float radius = size * 0.5f;
    const float inner = radius - 0.5f;  // wholly covered within this distance
    const double xc = static_cast<double>(X) / 16.0, yc = static_cast<double>(Y) / 16.0;
    // Pixels whose centre lies within radius + 1/2 of the centre.
    const double reach = static_cast<double>(radius) + 0.5;
    const I64 left = static_cast<I64>(std::floor(xc - reach)), right = static_cast<I64>(std::floor(xc + reach));
    const I64 top = static_cast<I64>(std::floor(yc - reach)), bottom = static_cast<I64>(std::floor(yc + reach));
    const float* col = pfRecord(c, v);
    const float* tc = call.bTexture ? c.pTexWork + 4 * std::size_t{v} : nullptr;
    const ULONG z = static_cast<ULONG>(w[2]);
    for (ULONG k = 0; k < call.cBoxes; ++k) {
        const Box b = BoxOf(call, k);
        const I64 x0 = std::max(left, b.x0), x1 = std::min(right, b.x1);
        const I64 y0 = std::max(top, b.y0), y1 = std::min(bottom, b.y1);
        if (x1 < x0 || y1 < y0) continue;
        const LONG n = static_cast<LONG>(x1 - x0 + 1);
        for (I64 y = y0; y <= y1; ++y) {
            const float dy = static_cast<float>(static_cast<double>(y) - yc);
            for (LONG i = 0; i < n; ++i) {
                const float dx = static_cast<float>(static_cast<double>(x0 + i) - xc);
                const float d2 = dx * dx + dy * dy;
                const float dist = d2 > 0.0f ? d2 * _NInvSqrt(d2) : 0.0f;
                const float cover = dist <= inner ? 1.0f : 1.0f - (dist - inner);
                sp.pX[i] = static_cast<LONG>(x0 + i);
                sp.pY[i] = static_cast<LONG>(y);
                sp.pMask[i] = cover > 0.0f ? N_FRAG_LIVE : N_FRAG_KILLED;
                const float f = std::clamp(cover, 0.0f, 1.0f);
                if (bIndex) {
                    sp.pRed[i] = col[0] + 15.0f * f;
                } else {
                    sp.pRed[i] = col[0];
                    sp.pGreen[i] = col[1];
                    sp.pBlue[i] = col[2];
                    sp.pAlpha[i] = col[3] * f;
                }
                vCommon(call, sp, i, z, tc);
            }
            vRow(pctx, pipe, call, prim, x0, y, n);
        }
    }
}

enum class Form { Square, Disc, DiscIndex };

void vPoints(N_Context* pctx, N_Pipe* pipe, Form form) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = cVertices(c);
    if (n == 0) return;
    const PointCall call = Setup(pctx, pipe);
    N_SpanPoint prim{};
    void* saved = c.pCurPrim;
    c.pCurPrim = &prim;
    const float size = fNPointSize(pctx);
    if (form == Form::Square) {
        const LONG d = _NSwPointSide(size);
        for (ULONG v = 0; v < n; ++v) vSquare(pctx, pipe, call, prim, d, v);
    } else {
        // The disc's diameter held to the widest square.
        const float diameter = size > 0.0f ? std::min(size, static_cast<float>(kMaxSide)) : 1.0f;
        for (ULONG v = 0; v < n; ++v) vDisc(pctx, pipe, call, prim, diameter, v, form == Form::DiscIndex);
    }
    c.pCurPrim = saved;
}

}  // namespace

LONG _NSwPointSide(float size) {
    const float s = size + 0.5f;
    if (!(s >= 1.0f)) return 1;
    if (s >= static_cast<float>(kMaxSide)) return kMaxSide;
    return static_cast<LONG>(s);
}

void _NSwRenderSquarePoints(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, Form::Square); }
void _NSwRenderPoints(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, Form::Disc); }
void _NSwRenderPointsIndex(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, Form::DiscIndex); }

// --- span alpha fill ----------------------------------------------------------------------------

void _NSpanColorFlat(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_FragSpan& sp = c.span;
    const auto* tri = static_cast<const N_SpanTri*>(c.pCurPrim);
    const LONG n = std::min<LONG>(sp.count, static_cast<LONG>(N_FRAG_MAX));
    if (n > 0 && tri != nullptr && tri->v[0].pColour != nullptr) {
        const float a = tri->v[0].pColour[3];
        std::fill_n(sp.pAlpha, n, a);
    }
    pipe->next[N_STAGE_SPAN_COLOUR](pctx, pipe);
}

void _NSpanColorSmooth(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_FragSpan& sp = c.span;
    const auto* tri = static_cast<const N_SpanTri*>(c.pCurPrim);
    if (tri != nullptr) {
        const LONG n = std::min<LONG>(tri->count, static_cast<LONG>(N_FRAG_MAX));
        float v = tri->alphaLongEdge;
        const float step = tri->dAlphaAway;
        if (tri->longEdgeRight != 0) {
            for (LONG i = n - 1; i >= 0; --i, v += step) sp.pAlpha[i] = v;
        } else {
            for (LONG i = 0; i < n; ++i, v += step) sp.pAlpha[i] = v;
        }
    }
    pipe->next[N_STAGE_SPAN_COLOUR](pctx, pipe);
}
