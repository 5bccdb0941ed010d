// The fragment tests of the software path: polygon and line stipple, the
// line-stipple reset, the wide-line replay, the alpha test, the stencil
// test and its operations, and the depth test.
//
// Mask bytes: 0 killed, 1 live and not stencil-tested, 2 failed the
// stencil test, 10 passed the stencil test and failed the depth test, 15
// passed. The depth test clears bits 0 and 2 of a failing fragment's byte,
// so a killed fragment stays killed and 15 becomes 10; the stencil
// operations pick their slot by the byte shifted right by two.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "swfrag.h"
#include "3d/validate/validate.h"

namespace {

constexpr ULONG kModeLineAA = 0x10000000;  // bit 28: fragments come in threes

// The entry of the validated stencil-operation table for a mask state
// (mask >> 2): 0 failed or killed, 1 no such state, 2 passed the stencil
// test and failed the depth test, 3 passed both. The table holds the
// depth-pass operation in entry 2 and the depth-fail one in entry 3.
constexpr ULONG kEntryOfState[4] = {0, 1, 3, 2};

void Next(N_Context* pctx, N_Pipe* pipe, ULONG k) { pipe->next[k](pctx, pipe); }
N_FragSpan& SpanOf(N_Pipe* pipe) { return pipe->pCommonPipeData->span; }
LONG Count(const N_FragSpan& sp) { return std::min<LONG>(sp.count, static_cast<LONG>(N_FRAG_MAX)); }

// --- comparisons -------------------------------------------------------------------------------
// Whether a comparison of code c holds for a against b.
template <ULONG c, class T>
bool bHolds(T a, T b) {
    if constexpr (c == 0) return false;
    if constexpr (c == 1) return a < b;
    if constexpr (c == 2) return a == b;
    if constexpr (c == 3) return a <= b;
    if constexpr (c == 4) return a > b;
    if constexpr (c == 5) return a != b;
    if constexpr (c == 6) return a >= b;
    return true;
}

template <ULONG c>
void vAlphaTest(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const LONG n = Count(sp);
    if constexpr (c == 0) {
        if (n > 0) std::memset(sp.pMask, N_FRAG_KILLED, static_cast<std::size_t>(n));
    } else if constexpr (c != 7) {
        const float ref = fNAttr(pctx, N_ATTR_ALPHA_FUNC, 1);
        for (LONG i = 0; i < n; ++i)
            if (sp.pMask[i] != 0 && !bHolds<c>(sp.pAlpha[i], ref)) sp.pMask[i] = N_FRAG_KILLED;
    }
    Next(pctx, pipe, N_STAGE_ALPHA_TEST);
}

template <ULONG c>
void vDepthTest(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const LONG n = Count(sp);
    if constexpr (c != 7) {
        for (LONG i = 0; i < n; ++i)
            if (!bHolds<c>(sp.pDepth[i], sp.pDstDepth[i])) sp.pMask[i] &= 0xFA;
    }
    Next(pctx, pipe, N_STAGE_DEPTH_TEST);
}

template <ULONG c>
ULONG ulStencilFails(ULONG ref, ULONG stored, ULONG mask) {
    const ULONG r = ref & mask & 0xFFu, s = stored & mask & 0xFFu;
    return bHolds<c>(r, s) ? 0u : 1u;
}

// --- stencil operations ------------------------------------------------------------------------
// The value an operation stores: its result where the write mask has a
// bit, the stored value elsewhere.
BYTE Merge(ULONG result, BYTE stored, BYTE w) { return static_cast<BYTE>((result & w) | (stored & ~w & 0xFFu)); }
BYTE OpKeep(BYTE, BYTE stored, BYTE) { return stored; }
BYTE OpZero(BYTE, BYTE stored, BYTE w) { return Merge(0, stored, w); }
BYTE OpReplace(BYTE fresh, BYTE stored, BYTE w) { return Merge(fresh, stored, w); }
BYTE OpIncr(BYTE, BYTE stored, BYTE w) { return Merge(stored == 0xFF ? 0xFFu : stored + 1u, stored, w); }
BYTE OpDecr(BYTE, BYTE stored, BYTE w) { return Merge(stored == 0 ? 0u : stored - 1u, stored, w); }
BYTE OpInvert(BYTE, BYTE stored, BYTE w) { return Merge(~ULONG{stored}, stored, w); }

}  // namespace

const N_StencilCmpFn gaNStencilCmp[8] = {ulStencilFails<0>, ulStencilFails<1>, ulStencilFails<2>,
                                         ulStencilFails<3>, ulStencilFails<4>, ulStencilFails<5>,
                                         ulStencilFails<6>, ulStencilFails<7>};
const N_StencilOpFn gaNStencilOp[6] = {OpKeep, OpZero, OpReplace, OpIncr, OpDecr, OpInvert};

void _NSpanAlphaTestNever(N_Context* c, N_Pipe* p) { vAlphaTest<0>(c, p); }
void _NSpanAlphaTestLess(N_Context* c, N_Pipe* p) { vAlphaTest<1>(c, p); }
void _NSpanAlphaTestEqual(N_Context* c, N_Pipe* p) { vAlphaTest<2>(c, p); }
void _NSpanAlphaTestLequal(N_Context* c, N_Pipe* p) { vAlphaTest<3>(c, p); }
void _NSpanAlphaTestGreater(N_Context* c, N_Pipe* p) { vAlphaTest<4>(c, p); }
void _NSpanAlphaTestNotequal(N_Context* c, N_Pipe* p) { vAlphaTest<5>(c, p); }
void _NSpanAlphaTestGequal(N_Context* c, N_Pipe* p) { vAlphaTest<6>(c, p); }
void _NSpanAlphaTestAlways(N_Context* c, N_Pipe* p) { vAlphaTest<7>(c, p); }

void _NSpanDepthTestNever(N_Context* c, N_Pipe* p) { vDepthTest<0>(c, p); }
void _NSpanDepthTestLess(N_Context* c, N_Pipe* p) { vDepthTest<1>(c, p); }
void _NSpanDepthTestEqual(N_Context* c, N_Pipe* p) { vDepthTest<2>(c, p); }
void _NSpanDepthTestLequal(N_Context* c, N_Pipe* p) { vDepthTest<3>(c, p); }
void _NSpanDepthTestGreater(N_Context* c, N_Pipe* p) { vDepthTest<4>(c, p); }
void _NSpanDepthTestNotequal(N_Context* c, N_Pipe* p) { vDepthTest<5>(c, p); }
void _NSpanDepthTestGequal(N_Context* c, N_Pipe* p) { vDepthTest<6>(c, p); }
void _NSpanDepthTestAlways(N_Context* c, N_Pipe* p) { vDepthTest<7>(c, p); }

void _NSpanStencilTest(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const LONG n = Count(sp);
    const ULONG* f = pulAttr(pctx, N_ATTR_STENCIL_FUNC);  // code, reference, value mask
    const N_StencilCmpFn cmp = gaNStencilCmp[f[0] & 7u];
    const ULONG ref = f[1] & 0xFFu, mask = f[2];
    for (LONG i = 0; i < n; ++i) {
        if (sp.pMask[i] == 0) continue;
        sp.pNewStencil[i] = static_cast<BYTE>(ref);
        if (cmp(ref, sp.pDstStencil[i], mask) != 0)
            sp.pMask[i] = N_FRAG_STENCIL_FAILED;
        else
            sp.pMask[i] |= N_FRAG_PASSED;
    }
    Next(pctx, pipe, N_STAGE_STENCIL_TEST);
}

void _NSpanStencilUpdate(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const LONG n = Count(sp);
    const ULONG* slots = pctx->val.stencilSlots;
    const BYTE w = static_cast<BYTE>(*pulAttr(pctx, N_ATTR_STENCIL_MASK));
    for (LONG i = 0; i < n; ++i) {
        const BYTE m = sp.pMask[i];
        if (m >= 128) continue;
        const ULONG op = slots[kEntryOfState[m >> 2]];
        if (op > N_STENCIL_OP_LAST) {
            _NProgrammerError();
            continue;
        }
        sp.pNewStencil[i] = gaNStencilOp[op](sp.pNewStencil[i], sp.pDstStencil[i], w);
    }
    Next(pctx, pipe, N_STAGE_STENCIL_UPDATE);
}

// --- stipples ----------------------------------------------------------------------------------
void _NSpanPolygonStipple(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const LONG n = Count(sp);
    if (n > 0) {
        // GL's alignment: the pattern's row is the fragment's window y, its
        // column the window x, both modulo 32, counted from the window's
        // bottom left corner; the span holds board positions, rows counted
        // down from the top of the screen.
        const GLBuffer* D = _NDrawBuffer(pctx);
        const LONG left = D != nullptr ? D->x : 0;
        const LONG bottom = D != nullptr ? D->y + D->cy - 1 : 0;
        const ULONG wy = static_cast<ULONG>(bottom - sp.pY[0]);
        // Rows of four bytes, the first byte leftmost, its bit 7 first.
        const ULONG row = pulAttr(pctx, N_ATTR_POLYGON_STIPPLE)[wy & 31u];
        const ULONG x0 = static_cast<ULONG>(sp.pX[0] - left);
        for (LONG i = 0; i < n; ++i) {
            const ULONG c = x0 + static_cast<ULONG>(i);
            const ULONG byte = (row >> (8 * ((c & 31u) >> 3))) & 0xFFu;
            if (sp.pMask[i] != 0 && ((byte >> (7 - (c & 7u))) & 1u) == 0) sp.pMask[i] = N_FRAG_KILLED;
        }
    }
    Next(pctx, pipe, N_STAGE_SPAN_FILL);
}

void _NSpanLineStipple(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const LONG n = Count(sp);
    const ULONG group = (pipe->mode & kModeLineAA) ? 3u : 1u;
    ULONG pos = sp.stippleCount, repeat = std::max<ULONG>(sp.stippleRepeat, 1), pattern = sp.stipplePattern & 0xFFFFu;
    for (LONG i = 0; i < n; i += static_cast<LONG>(group)) {
        if ((pattern & 1u) == 0)
            for (LONG k = i; k < std::min<LONG>(i + static_cast<LONG>(group), n); ++k) sp.pMask[k] = N_FRAG_KILLED;
        if (++pos >= repeat) {
            pattern = (pattern >> 1) | ((pattern & 1u) << 15);
            pos = 0;
        }
    }
    sp.stippleCount = pos;
    sp.stipplePattern = pattern;
    Next(pctx, pipe, N_STAGE_SPAN_FILL);
}

void _NLineStippleLoad(N_Context* pctx, N_FragSpan* sp) {
    sp->stipplePattern = *pulAttr(pctx, N_ATTR_LINE_STIPPLE) & 0xFFFFu;
    sp->stippleRepeat = std::max<ULONG>(*pulAttr(pctx, N_ATTR_LINE_STIPPLE_REPEAT), 1);
}

void _NLineStippleReset(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    if (sp.stippleReset == 0) {
        sp.stippleReset = 1;
    } else {
        sp.stippleCount = 0;
        _NLineStippleLoad(pctx, &sp);
    }
    Next(pctx, pipe, N_STAGE_STIPPLE_RESET);
}

// --- wide lines --------------------------------------------------------------------------------
void _NSpanWideLine(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const auto* line = static_cast<const N_SpanLine*>(pipe->pCommonPipeData->pCurPrim);
    const float width = fNLineWidth(pctx);
    const LONG w = width >= 1.0f ? static_cast<LONG>(std::min(width, 4096.0f)) : 1;
    const LONG n = Count(sp);
    if (w < 2 || n <= 0 || line == nullptr) return Next(pctx, pipe, N_STAGE_WIDE_LINE);
    // The w pixels across the line whose centres lie nearest the segment:
    // as many on each side of the line's own pixel for an odd width; for an
    // even one the extra pixel on the side the segment passes its pixel.
    // Where it passes through the centre, as the board's wide lines place
    // it: the smaller side when the minor coordinate grows along the
    // segment, the larger when it falls; a horizontal segment takes the
    // pixel below (larger y), a vertical one the pixel left of it.
    const bool bXMajor = line->majorAxis == 0;
    const std::int64_t dMajor = std::llround(bXMajor ? line->dx : line->dy);
    const std::int64_t dMinor = std::llround(bXMajor ? line->dy : line->dx);
    const std::int64_t major = dMajor < 0 ? -dMajor : dMajor;
    const bool bSmaller = dMinor != 0 ? dMinor > 0 : !bXMajor;
    LONG* along = bXMajor ? sp.pX : sp.pY;
    LONG* across = bXMajor ? sp.pY : sp.pX;
    const LONG major0 = along[0], minor0 = across[0];
    auto high = [&](LONG i) -> LONG {
        if (w % 2 != 0) return w / 2;
        const std::int64_t t = along[i] > major0 ? along[i] - major0 : major0 - along[i];
        const std::int64_t off = line->minorAt0 + t * dMinor - std::int64_t{across[i] - minor0} * major;
        const bool bExtraSmaller = off != 0 ? off < 0 : bSmaller;
        return bExtraSmaller ? w / 2 - 1 : w / 2;
    };
    // The later stages change colours, alpha, the packed word and the masks
    // in place: every pass starts from what the first one was given.
    static float sRed[N_FRAG_MAX], sGreen[N_FRAG_MAX], sBlue[N_FRAG_MAX], sAlpha[N_FRAG_MAX];
    static ULONG sPacked[N_FRAG_MAX];
    static BYTE sMask[N_FRAG_MAX];
    const auto cb = static_cast<std::size_t>(n);
    std::memcpy(sRed, sp.pRed, cb * sizeof(float));
    std::memcpy(sGreen, sp.pGreen, cb * sizeof(float));
    std::memcpy(sBlue, sp.pBlue, cb * sizeof(float));
    std::memcpy(sAlpha, sp.pAlpha, cb * sizeof(float));
    std::memcpy(sPacked, sp.pPacked, cb * sizeof(ULONG));
    std::memcpy(sMask, sp.pMask, cb);
    const ULONG stippleCount = sp.stippleCount, stipplePattern = sp.stipplePattern;
    // Line spans carry an x and a y for every fragment.
    for (LONG i = 0; i < n; ++i) across[i] += high(i);
    Next(pctx, pipe, N_STAGE_WIDE_LINE);
    for (LONG pass = 1; pass < w; ++pass) {
        sp.count = n;
        std::memcpy(sp.pRed, sRed, cb * sizeof(float));
        std::memcpy(sp.pGreen, sGreen, cb * sizeof(float));
        std::memcpy(sp.pBlue, sBlue, cb * sizeof(float));
        std::memcpy(sp.pAlpha, sAlpha, cb * sizeof(float));
        std::memcpy(sp.pPacked, sPacked, cb * sizeof(ULONG));
        sp.stippleCount = stippleCount;
        sp.stipplePattern = stipplePattern;
        // The line stages' own stipple kills stay; every other test runs again.
        if (pipe->mode & N_MODE_STIPPLE)
            std::memcpy(sp.pMask, sMask, cb);
        else
            std::memset(sp.pMask, N_FRAG_LIVE, cb);
        for (LONG i = 0; i < n; ++i) across[i] -= 1;
        Next(pctx, pipe, N_STAGE_WIDE_LINE);
    }
}
