// Making, freeing and switching lgi contexts.
#include <cstring>
#include <limits>

#include "boardconfig.h"
#include "../../seams.h"

namespace {

// Zero-filled storage of the layer's hooks, or null.
void* pvAllocZero(std::size_t cb) {
    void* pv = _Nalloc(cb);
    if (pv != nullptr) std::memset(pv, 0, cb);
    return pv;
}

void vFreeIf(void* pv) {
    if (pv != nullptr) _Nfree(pv);
}

// Frees what a context owns besides its record and the clip list.
void vFreeOwned(N_Context* pctx) {
    vFreeIf(pctx->pClipPlanes);
    vFreeIf(pctx->pulClipPlaneEnable);
    vFreeIf(pctx->pLights);
    vFreeIf(pctx->pLightWork);
    vFreeIf(pctx->pulLightEnable);
    vFreeIf(pctx->pNameStack);
    for (void*& pv : pctx->apPixelMaps) {
        vFreeIf(pv);
        pv = nullptr;
    }
    vFreeIf(pctx->pPixelMapRecord);
}

}  // namespace

N_Context* N_CreateContext(ULONG ulStereo) {
    auto* pctx = static_cast<N_Context*>(_Nalloc(sizeof(N_Context)));
    if (pctx == nullptr) return nullptr;
    std::memset(static_cast<void*>(pctx), 0, sizeof(N_Context));

    GLSRVDEVICE* pDevice = __glDeviceRecord();
    pctx->pHw = &pctx->hw[0];
    for (ULONG k = 0; k < N_HW_RECORDS; ++k) {
        N_HwRecord& hw = pctx->hw[k];
        hw.board = pDevice != nullptr ? pDevice->ulBoard : 0;
        hw.pDevice = pDevice;
        hw.pContext = pctx;
        hw.stereo = ulStereo;
    }
    pctx->pBlock = &pctx->blocks[0];

    pctx->sb = gNDefaultState;
    pctx->dirty = N_DIRTY_ALL;
    for (LONG& l : pctx->viewportCache) l = -1;
    pctx->selectMinStart = pctx->selectMin = std::numeric_limits<float>::max();
    pctx->selectMaxStart = pctx->selectMax = std::numeric_limits<float>::lowest();
    // Hits report depths on the full 32-bit range; window z has fewer bits.
    pctx->selectDepthShift = 32 - kWindowDepthBits;

    // The name stack, the clip planes and the lights; a context that cannot
    // have them all is not made.
    pctx->pNameStack = static_cast<N_NameStack*>(pvAllocZero(sizeof(N_NameStack)));
    pctx->pClipPlanes = static_cast<float*>(pvAllocZero(N_CLIP_PLANE_CAPACITY * N_CLIP_PLANE_BYTES));
    pctx->pulClipPlaneEnable = static_cast<ULONG*>(pvAllocZero(N_CLIP_PLANE_CAPACITY * sizeof(ULONG)));
    pctx->pLights = pvAllocZero(N_LIGHT_RECORDS_BYTES);
    pctx->pLightWork = pvAllocZero(N_LIGHT_WORK_BYTES);
    pctx->pulLightEnable = static_cast<ULONG*>(pvAllocZero(N_LIGHT_CAPACITY * sizeof(ULONG)));
    if (pctx->pNameStack == nullptr || pctx->pClipPlanes == nullptr ||
        pctx->pulClipPlaneEnable == nullptr || pctx->pLights == nullptr ||
        pctx->pLightWork == nullptr || pctx->pulLightEnable == nullptr) {
        vFreeOwned(pctx);
        _Nfree(pctx);
        return nullptr;
    }

    _NInitPrimPipes(pctx);

    pctx->aaLines = (pDevice != nullptr && (_NBoardFlags(pDevice) & BCF_AA_LINES)) ? 1 : 0;
    pctx->aulOnes[0] = 1;
    pctx->aulOnes[1] = 1;

    pctx->cClipPlaneCapacity = N_CLIP_PLANE_CAPACITY;
    pctx->cClipPlaneEnableCapacity = N_CLIP_PLANE_CAPACITY;
    pctx->pulPackedClip = pctx->builtinPacked;
    pctx->pulDecodedClip = pctx->builtinDecoded;
    pctx->cLightCapacity = N_LIGHT_CAPACITY;
    pctx->cLightEnableCapacity = N_LIGHT_CAPACITY;

    _NInitTransform(pctx);
    _NInitDerived(pctx);
    _NInitPipeBlocks(pctx);
    return pctx;
}

void N_DeleteHookA(void) {}
void N_DeleteHookB(void) {}

void N_DestroyContext(N_Context* pctx) {
    if (pctx == nullptr) return;
    for (void*& pv : pctx->apScratchPixmap) {
        if (pv != nullptr) _NReleaseScratchPixmap(pv);
        pv = nullptr;
    }
    vFreeOwned(pctx);
    if (pctx->pTexCache != nullptr) _NDropTexCache(pctx);
    if (pctx->pulPackedClip != pctx->builtinPacked) _Nfree(pctx->pulPackedClip);
    if (pctx->pulDecodedClip != pctx->builtinDecoded) _Nfree(pctx->pulDecodedClip);
    // No call may reach a freed context, nor may a new one at the same
    // address pass for the current one.
    if (gpNCurrent == pctx) gpNCurrent = pNNoContext();
    _Nfree(pctx);
}

void N_MakeCurrent(N_Context* pctx) {
    if (pctx == nullptr) return;
    if (pctx != gpNCurrent) {
        gpNCurrent = pctx;
        pctx->pHw->batchCount = N_BATCH_PRIMS;
    }
    // The dither matrix is a board resource another context may have changed.
    if (*pulAttr(pctx, N_ATTR_DITHER) == 1) _NLoadDither(pctx->pHw);
}
