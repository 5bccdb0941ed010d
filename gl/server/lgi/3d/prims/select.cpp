// The name stack and the select stage: one hit is reported per primitive
// drawn after the names or the render mode changed.
#include <cmath>

#include "3d/context/context.h"

namespace {

N_NameStack* pNames() { return bNHaveContext() ? gpNCurrent->pNameStack : nullptr; }

// A window depth as the hit reports it: truncated toward zero and held
// inside the unsigned 32-bit range (NaN as 0), then shifted; a depth the
// shift would carry past 32 bits is the largest.
ULONG ulHitDepth(float z, ULONG shift) {
    ULONG ul = 0;
    if (z >= 4294967295.0f) ul = 0xFFFFFFFFu;
    else if (z > 0.0f) ul = static_cast<ULONG>(z);
    if (shift >= 32) return ul != 0 ? 0xFFFFFFFFu : 0;
    return ul > (0xFFFFFFFFu >> shift) ? 0xFFFFFFFFu : ul << shift;
}

}  // namespace

void N_InitNames(void) {
    N_NameStack* p = pNames();
    if (p == nullptr) return;
    p->depth = 0;
    p->hitPending = 1;
}

ULONG N_PushName(ULONG name) {
    N_NameStack* p = pNames();
    if (p == nullptr || p->depth >= N_NAMES) return 0;
    p->names[p->depth++] = name;
    p->hitPending = 1;
    return 1;
}

ULONG N_PopName(void) {
    N_NameStack* p = pNames();
    if (p == nullptr || p->depth == 0) return 0;
    p->depth -= 1;
    p->hitPending = 1;
    return 1;
}

ULONG N_LoadName(ULONG name) {
    N_NameStack* p = pNames();
    if (p == nullptr || p->depth == 0) return 0;
    p->names[p->depth - 1] = name;
    p->hitPending = 1;
    return 1;
}

ULONG N_GetNameStackDepth(void) {
    N_NameStack* p = pNames();
    return p != nullptr ? p->depth : 0;
}

void N_SetSelectCallback(N_SelectCallback pfn, void* pvArg) {
    N_NameStack* p = pNames();
    if (p == nullptr) {
        _NProgrammerError();
        return;
    }
    p->pfnCallback = pfn;
    p->pvCallbackArg = pvArg;
}

void _NSelectBatch(N_Context* pctx, const float* pfVertices, ULONG cStride, ULONG n, ULONG bWholePrim) {
    N_NameStack* p = pctx->pNameStack;
    if (p == nullptr || !p->hitPending) return;
    for (ULONG i = 0; i < n; ++i) {
        const float* v = pfVertices + std::size_t{i} * cStride;
        const float z = v[2] / v[3];
        if (!pctx->hitOpen) {
            pctx->selectMin = pctx->selectMinStart;
            pctx->selectMax = pctx->selectMaxStart;
        }
        if (z < pctx->selectMin) pctx->selectMin = z;
        if (z > pctx->selectMax) pctx->selectMax = z;
        pctx->hitOpen = 1;
    }
    if (!bWholePrim || !pctx->hitOpen) return;
    const ULONG zMin = ulHitDepth(pctx->selectMin, pctx->selectDepthShift);
    const ULONG zMax = ulHitDepth(pctx->selectMax, pctx->selectDepthShift);
    if (p->pfnCallback != nullptr) p->pfnCallback(p->pvCallbackArg, p->names, p->depth, zMin, zMax);
    p->hitPending = 0;
    pctx->hitOpen = 0;
    pctx->selectMin = pctx->selectMinStart;
    pctx->selectMax = pctx->selectMaxStart;
}
