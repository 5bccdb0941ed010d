// The window's clip list: the packed rectangles as the GL layer hands them
// over, and the same rectangles unpacked into four words each. The arrays
// grow only; a shorter list reuses them.
#include <cstring>

#include "context.h"

namespace {

// Clip lists longer than this are refused like a failed allocation.
constexpr ULONG kMaxClipRects = 0x10000;

void vBindBuiltin(N_Context* pctx, ULONG cRects) {
    if (pctx->pulPackedClip != pctx->builtinPacked) _Nfree(pctx->pulPackedClip);
    if (pctx->pulDecodedClip != pctx->builtinDecoded) _Nfree(pctx->pulDecodedClip);
    pctx->pulPackedClip = pctx->builtinPacked;
    pctx->pulDecodedClip = pctx->builtinDecoded;
    std::memset(pctx->builtinPacked, 0, sizeof pctx->builtinPacked);
    std::memset(pctx->builtinDecoded, 0, sizeof pctx->builtinDecoded);
    pctx->cClipRects = cRects;
}

// Each two-word rectangle becomes xmin, ymin, xmax, ymax.
LONG lUnpackClipRects(const ULONG* pulPacked, ULONG* pulOut, LONG cRects) {
    for (LONG i = 0; i < cRects; ++i) {
        const ULONG ulMin = pulPacked[2 * i];
        const ULONG ulMax = pulPacked[2 * i + 1];
        pulOut[4 * i + 0] = ulMin & 0xFFFFu;
        pulOut[4 * i + 1] = ulMin >> 16;
        pulOut[4 * i + 2] = ulMax & 0xFFFFu;
        pulOut[4 * i + 3] = ulMax >> 16;
    }
    return cRects > 0 ? cRects : 0;
}

}  // namespace

LONG N_BindClipList(LONG cRects, const ULONG* pulRects) {
    if (!bNHaveContext()) return 0;
    N_Context* pctx = gpNCurrent;
    pctx->dirty |= N_DIRTY_CLIP_LIST;
    if (pulRects == nullptr || cRects < 1) {
        vBindBuiltin(pctx, 1);
        return 1;
    }
    const auto c = static_cast<ULONG>(cRects);
    // The built-in rectangle stands for no list (an empty one included):
    // a list of rectangles always gets arrays of its own.
    if (c > pctx->cClipRects || pctx->pulPackedClip == pctx->builtinPacked) {
        if (pctx->pulPackedClip != pctx->builtinPacked) _Nfree(pctx->pulPackedClip);
        pctx->pulPackedClip = pctx->builtinPacked;
        ULONG* pulPacked = c <= kMaxClipRects ? static_cast<ULONG*>(_Nalloc(std::size_t{c} * 8)) : nullptr;
        if (pulPacked != nullptr) pctx->pulPackedClip = pulPacked;
        if (pctx->pulDecodedClip != pctx->builtinDecoded) _Nfree(pctx->pulDecodedClip);
        pctx->pulDecodedClip = pctx->builtinDecoded;
        ULONG* pulDecoded = pulPacked != nullptr ? static_cast<ULONG*>(_Nalloc(std::size_t{c} * 16)) : nullptr;
        if (pulDecoded == nullptr) {
            DbgPrint("N_BindClipList: alloc failed\n");
            vBindBuiltin(pctx, 1);
            return 1;
        }
        pctx->pulDecodedClip = pulDecoded;
    }
    std::memcpy(pctx->pulPackedClip, pulRects, std::size_t{c} * 8);
    pctx->cClipRects = c;
    return lUnpackClipRects(pctx->pulPackedClip, pctx->pulDecodedClip, cRects);
}

bool _NClipListEmpty(const N_Context* pctx) {
    // The unpacked rectangles keep the list as bound (the packed ones are
    // rewritten in the draw buffer's coordinates by the validation); their
    // far corners lie past them.
    for (ULONG i = 0; i < pctx->cClipRects; ++i) {
        const ULONG* r = pctx->pulDecodedClip + 4 * std::size_t{i};
        if (r[2] > r[0] && r[3] > r[1]) return false;
    }
    return true;
}

void N_ResetClipList(void) {
    if (!bNHaveContext()) return;
    vBindBuiltin(gpNCurrent, 0);
}
