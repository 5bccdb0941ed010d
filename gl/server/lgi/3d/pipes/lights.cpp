// The context's lights: records kept in eye coordinates, carried there by
// the modelview in force when they are set, and their enable words. The
// arrays only grow: a longer list replaces them, a shorter one reuses them.
#include <cstring>

#include "3d/context/context.h"

namespace {

constexpr std::size_t kLightWorkBytes = sizeof(N_PreparedLight);  // one prepared light

N_Light* pLights(N_Context* pctx) { return static_cast<N_Light*>(pctx->pLights); }

// Makes room for cLights records (and as many work areas), one more than
// asked; the old records are not kept. FALSE when storage cannot be had:
// the old arrays then stay.
bool bGrowLights(N_Context* pctx, ULONG cLights) {
    if (cLights <= pctx->cLightCapacity) return true;
    const std::size_t cRecords = std::size_t{cLights} + 1;
    void* pNew = _Nalloc(cRecords * sizeof(N_Light));
    void* pWork = pNew != nullptr ? _Nalloc(cRecords * kLightWorkBytes) : nullptr;
    if (pWork == nullptr) {
        if (pNew != nullptr) _Nfree(pNew);
        return false;
    }
    std::memset(pNew, 0, cRecords * sizeof(N_Light));
    std::memset(pWork, 0, cRecords * kLightWorkBytes);
    if (pctx->pLights != nullptr) _Nfree(pctx->pLights);
    if (pctx->pLightWork != nullptr) _Nfree(pctx->pLightWork);
    pctx->pLights = pNew;
    pctx->pLightWork = pWork;
    // The enabled-light list lay in the old records: none until it is
    // built again.
    pctx->lit.pHead = nullptr;
    pctx->lit.cListed = 0;
    pctx->cLightCapacity = cLights;
    return true;
}

void vCopy(float* pfDest, const float* pfSrc, ULONG c) { std::memcpy(pfDest, pfSrc, c * sizeof(float)); }

}  // namespace

ULONG _NGrowArray(void** ppv, ULONG* pcCapacity, ULONG c, std::size_t cbEach) {
    if (c <= *pcCapacity) return 1;
    void* pv = _Nalloc(std::size_t{c} * cbEach);
    if (pv == nullptr) return 0;
    if (*ppv != nullptr) _Nfree(*ppv);
    *ppv = pv;
    *pcCapacity = c;
    return 2;
}

void N_SetLights(ULONG cLights, const N_Light* pValues) {
    if (!bNHaveContext() || (cLights != 0 && pValues == nullptr)) return;
    N_Context* pctx = gpNCurrent;
    if (!bGrowLights(pctx, cLights)) return;
    if (cLights != 0) std::memcpy(pLights(pctx), pValues, cLights * sizeof(N_Light));
    pctx->cLights = cLights;
    pctx->dirty |= N_DIRTY_LIGHTS;
}

void N_SetLight(ULONG flMask, ULONG iLight, const N_Light* pValues) {
    if (!bNHaveContext() || pValues == nullptr) return;
    N_Context* pctx = gpNCurrent;
    if (iLight >= pctx->cLights) return;
    N_Light& l = pLights(pctx)[iLight];
    if (flMask & N_LIGHT_CONTROL) l.control = pValues->control;
    if (flMask & N_LIGHT_AMBIENT) vCopy(l.ambient, pValues->ambient, 4);
    if (flMask & N_LIGHT_DIFFUSE) vCopy(l.diffuse, pValues->diffuse, 4);
    if (flMask & N_LIGHT_SPECULAR) vCopy(l.specular, pValues->specular, 4);
    if (flMask & (N_LIGHT_SPOT_DIRECTION | N_LIGHT_POSITION)) {
        _NValModelView(pctx);
        const float* M = pctx->xf.modelView;
        if (flMask & N_LIGHT_SPOT_DIRECTION) _NTransformDir3(pValues->spotDirection, l.spotDirection, M);
        if (flMask & N_LIGHT_POSITION) {
            // A position with w = 0 (either sign) is a direction.
            if (pValues->position[3] == 0.0f) {
                _NTransformDir3(pValues->position, l.position, M);
                l.position[3] = pValues->position[3];
            } else {
                _NTransformVec4(pValues->position, l.position, M);
            }
        }
    }
    if (flMask & N_LIGHT_SPOT_EXPONENT) l.spotExponent = pValues->spotExponent;
    if (flMask & N_LIGHT_SPOT_CUTOFF) l.spotCutoff = pValues->spotCutoff;
    if (flMask & N_LIGHT_CONSTANT_ATTENUATION) l.constantAttenuation = pValues->constantAttenuation;
    if (flMask & N_LIGHT_LINEAR_ATTENUATION) l.linearAttenuation = pValues->linearAttenuation;
    if (flMask & N_LIGHT_QUADRATIC_ATTENUATION) l.quadraticAttenuation = pValues->quadraticAttenuation;
    pctx->dirty |= N_DIRTY_LIGHTS;
}

void N_GetLight(ULONG flMask, ULONG iLight, N_Light* pOut) {
    if (!bNHaveContext() || pOut == nullptr) return;
    N_Context* pctx = gpNCurrent;
    if (iLight >= pctx->cLights) return;
    const N_Light& l = pLights(pctx)[iLight];
    if (flMask & N_LIGHT_SPOT_DIRECTION) vCopy(pOut->spotDirection, l.spotDirection, 3);
    if (flMask & N_LIGHT_POSITION) vCopy(pOut->position, l.position, 4);
}

void N_SetLightEnables(ULONG cEnables, const ULONG* pulEnables) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    // No words: no light is enabled (the storage stays for the next list).
    if (cEnables == 0 || pulEnables == nullptr) {
        if (pctx->cLightsEnabled != 0) pctx->dirty |= N_DIRTY_LIGHTS;
        pctx->cLightsEnabled = 0;
        return;
    }
    const ULONG grown = _NGrowArray(reinterpret_cast<void**>(&pctx->pulLightEnable),
                                    &pctx->cLightEnableCapacity, cEnables, sizeof(ULONG));
    if (grown == 0) return;
    if (grown == 2) pctx->cLightsEnabled = 0;
    // A change of the enables changes the list of lights the lighting uses.
    if (cEnables != pctx->cLightsEnabled ||
        std::memcmp(pctx->pulLightEnable, pulEnables, cEnables * sizeof(ULONG)) != 0)
        pctx->dirty |= N_DIRTY_LIGHTS;
    std::memcpy(pctx->pulLightEnable, pulEnables, cEnables * sizeof(ULONG));
    pctx->cLightsEnabled = cEnables;
}
