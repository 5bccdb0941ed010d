// Setting and reading state-block attributes. A store compares before it
// writes, so setting a value the block already holds marks nothing dirty.
#include <algorithm>
#include <cstring>

#include "context.h"

namespace {

constexpr ULONG kMatrixWords = 16;
constexpr ULONG kStackDepthWord = 32;  // after the two 16-word entries

void vMatMul(const ULONG* pulA, const ULONG* pulB, ULONG* pulOut) {
    for (ULONG r = 0; r < 4; ++r) {
        for (ULONG c = 0; c < 4; ++c) {
            float f = 0.0f;
            for (ULONG k = 0; k < 4; ++k) f += __glXWordFloat(pulA[r * 4 + k]) * __glXWordFloat(pulB[k * 4 + c]);
            pulOut[r * 4 + c] = __glXFloatBits(f);
        }
    }
}

void vStackError(ULONG op) {
    DbgPrint("_NSetSBStackAttr: ERROR: invalid stack operation: %x\n", op);
    _NProgrammerError();
}

bool bAttrId(ULONG id) { return id >= N_ATTR_FIRST && id <= N_ATTR_LAST; }

}  // namespace

ULONG flStackDirty(ULONG op) {
    const ULONG id = op == N_ATTR_EXTRA_MATRIX_OP ? N_ATTR_EXTRA_MATRIX : N_ATTR_MATRIX_STACK0 + op / 6;
    return gaNAttrTable[id].flDirty;
}

bool bStackOpTakesValue(ULONG op) { return op == N_ATTR_EXTRA_MATRIX_OP || (op % 6 != 1 && op % 6 != 2); }

LONG _NSetSBAttr(N_Context* pctx, ULONG id, ULONG ulDescriptor, ULONG flDirty,
                 const ULONG* pulWords) {
    const ULONG cWords = ulDescriptor >> 16;
    ULONG* pul = &pctx->sb.w[(ulDescriptor & 0xFFFFu) / 4];
    // The colours whose alpha decides between lighting forms: their alpha
    // before the store.
    const bool bAlphaWatched = (id == N_ATTR_COLOUR || id == N_ATTR_FRONT_DIFFUSE || id == N_ATTR_BACK_DIFFUSE) &&
                               cWords == 4;
    const float fOldAlpha = bAlphaWatched ? __glXWordFloat(pul[3]) : 0.0f;
    if (id == N_ATTR_RENDER_MODE && pctx->pNameStack != nullptr) pctx->pNameStack->hitPending = 1;
    ULONG i = 0;
    while (i < cWords && pul[i] == pulWords[i]) ++i;
    if (i == cWords) return static_cast<LONG>(cWords);
    std::memcpy(pul + i, pulWords + i, (cWords - i) * sizeof(ULONG));
    const LONG lResult = static_cast<LONG>(cWords);

    // Culling attributes back at the values of the last culling validation
    // need no culling validation.
    N_Derived& v = pctx->val;
    if ((flDirty & N_DIRTY_CULL) && v.cullValid &&
        std::memcmp(pulAttr(pctx, N_ATTR_TWO_SIDE), v.savedCull, sizeof v.savedCull) == 0) {
        pctx->dirty = (pctx->dirty & ~N_DIRTY_CULL) | (flDirty & ~N_DIRTY_CULL);
        return lResult;
    }
    pctx->setupStale |= flDirty;

    // The polygon stipple's pixmap is made now, never while drawing.
    if (id == N_ATTR_POLYGON_STIPPLE ||
        ((id == N_ATTR_POLYGON_FRONT || id == N_ATTR_POLYGON_BACK) && pulWords[0] == 3))
        _NMakeStipplePixmap(pctx);

    const bool bAlphaCrossed = bAlphaWatched && (fOldAlpha == 1.0f) != (__glXWordFloat(pul[3]) == 1.0f);
    if (id == N_ATTR_COLOUR && bAlphaCrossed) {
        _NApplyColorMaterial(pctx);
        _NValLighting(pctx);
        pctx->dirty |= flDirty;
        return lResult;
    }
    if (flDirty & N_DIRTY_CURRENT_COLOUR) {
        _NApplyColorMaterial(pctx);
        _NValLighting(pctx);
        if ((pctx->dirty & N_VALIDATE_COLOUR_MASK) || v.colour.converter == N_CONVERT_NONE) {
            pctx->dirty |= flDirty;
            return lResult;
        }
        _NConvertCurrentColour(pctx);
        pctx->pHw->batchCount = N_BATCH_PRIMS;
    }
    if (flDirty & (N_DIRTY_CURRENT_COLOUR | N_DIRTY_COLOUR_MATERIAL | N_DIRTY_MATERIAL)) {
        _NApplyColorMaterial(pctx);
        const bool bShade = id >= N_ATTR_LIGHTING && id <= N_ATTR_SHADE_COPY;
        if (!bShade && !(id != N_ATTR_COLOUR && bAlphaCrossed)) {
            _NValLighting(pctx);
            _NPrimTransformSetup(pctx);
        }
    }
    // A new depth range takes effect at once: the window transform runs now.
    if (id == N_ATTR_DEPTH_RANGE) {
        _NValWindowTransform(pctx);
        return lResult;
    }
    pctx->dirty |= flDirty;
    return lResult;
}

LONG _NSetSBStackAttr(N_Context* pctx, ULONG op, ULONG flDirty, const ULONG* pulData) {
    if (op == N_ATTR_EXTRA_MATRIX_OP) {
        std::memcpy(pulAttr(pctx, N_ATTR_EXTRA_MATRIX), pulData, kMatrixWords * sizeof(ULONG));
        pctx->xf.projectionChanged = 1;
        pctx->dirty |= flDirty;
        return kMatrixWords;
    }
    if (op > N_ATTR_STACK_LAST) {
        vStackError(op);
        return -1;
    }
    ULONG* pulStack = pulAttr(pctx, N_ATTR_MATRIX_STACK0 + op / 6);
    ULONG& depth = pulStack[kStackDepthWord];
    const ULONG k = op % 6;
    // The stack holds two entries: a push at depth 1, a pop at depth 0, or a
    // depth word that names no entry would reach past them.
    if (depth > 1 || (depth == 1 && (k == 1 || k == 5)) || (depth == 0 && k == 2)) {
        vStackError(op);
        return -1;
    }
    ULONG* pulTop = pulStack + depth * kMatrixWords;
    ULONG cUsed = kMatrixWords;
    switch (k) {
        case 0:
            std::memcpy(pulStack, pulData, kMatrixWords * sizeof(ULONG));
            depth = 0;
            break;
        case 1:
            std::memcpy(pulTop + kMatrixWords, pulTop, kMatrixWords * sizeof(ULONG));
            depth = 1;
            cUsed = 0;
            break;
        case 2:
            depth = 0;
            cUsed = 0;
            break;
        case 3: std::memcpy(pulTop, pulData, kMatrixWords * sizeof(ULONG)); break;
        case 4: {
            ULONG aul[kMatrixWords];
            vMatMul(pulTop, pulData, aul);
            std::memcpy(pulTop, aul, sizeof aul);
            break;
        }
        case 5:
            std::memcpy(pulTop + kMatrixWords, pulData, kMatrixWords * sizeof(ULONG));
            depth = 1;
            break;
    }
    // Stack 0 is the modelview; the others make up the projection.
    if (op / 6 == 0)
        pctx->xf.modelViewChanged = 1;
    else
        pctx->xf.projectionChanged = 1;
    pctx->dirty |= flDirty;
    return static_cast<LONG>(cUsed);
}

LONG N_SetStateBlockAttr(ULONG id, const void* pvValue) {
    if (!bNHaveContext()) return 0;
    N_Context* pctx = gpNCurrent;
    if (id <= N_ATTR_EXTRA_MATRIX_OP) {
        ULONG aul[kMatrixWords] = {};
        if (bStackOpTakesValue(id)) std::memcpy(aul, pvValue, sizeof aul);
        return std::max<LONG>(_NSetSBStackAttr(pctx, id, flStackDirty(id), aul), 0);
    }
    if (!bAttrId(id)) {
        DbgPrint("N_SetStateBlockAttr: unknown opcode\n");
        return 0;
    }
    const N_AttrRow& row = gaNAttrTable[id];
    ULONG aul[N_STATE_WORDS];
    std::memcpy(aul, pvValue, row.cWords * sizeof(ULONG));
    return _NSetSBAttr(pctx, id, ulAttrDescriptor(id), row.flDirty, aul);
}

LONG N_SetStateBlockAttrWord(ULONG id, ULONG ulWord) {
    if (!bAttrId(id) || gaNAttrTable[id].cWords != 1) {
        DbgPrint("N_SetStateBlockAttr: unknown opcode\n");
        return 0;
    }
    return N_SetStateBlockAttr(id, &ulWord);
}

LONG N_GetStateBlockAttr(ULONG id, void* pvDest) {
    if (bNHaveContext() && bAttrId(id))
        std::memcpy(pvDest, pulAttr(gpNCurrent, id), gaNAttrTable[id].cWords * sizeof(ULONG));
    return -1;
}
