// The pixel maps of the pixel-transfer paths: ten maps of up to 32 values,
// made on first use.
#include <cstring>

#include "3d/context/context.h"

namespace {

// Makes the record and its ten buffers; FALSE (and nothing made) when
// storage cannot be had.
bool bMakeRecord(N_Context* pctx) {
    auto* pRecord = static_cast<N_PixelMapRecord*>(_Nalloc(sizeof(N_PixelMapRecord)));
    if (pRecord == nullptr) return false;
    std::memset(pRecord, 0, sizeof *pRecord);
    for (ULONG i = 0; i < N_PIXEL_MAPS; ++i) {
        auto* pul = static_cast<ULONG*>(_Nalloc(N_PIXEL_MAP_VALUES * sizeof(ULONG)));
        if (pul == nullptr) {
            for (ULONG k = 0; k < i; ++k) _Nfree(pRecord->maps[k].pulValues);
            _Nfree(pRecord);
            return false;
        }
        std::memset(pul, 0, N_PIXEL_MAP_VALUES * sizeof(ULONG));
        pRecord->maps[i] = N_PixelMap{i, 0, pul};
    }
    for (ULONG i = 0; i < N_PIXEL_MAPS; ++i) pctx->apPixelMaps[i] = pRecord->maps[i].pulValues;
    pctx->pPixelMapRecord = pRecord;
    return true;
}

}  // namespace

void N_SetPixelMaps(ULONG cMaps, const N_PixelMapDesc* pMaps) {
    if (!bNHaveContext() || cMaps == 0 || pMaps == nullptr) return;
    N_Context* pctx = gpNCurrent;
    if (pctx->pPixelMapRecord == nullptr && !bMakeRecord(pctx)) return;
    auto* pRecord = static_cast<N_PixelMapRecord*>(pctx->pPixelMapRecord);
    for (ULONG i = 0; i < cMaps; ++i) {
        const N_PixelMapDesc& d = pMaps[i];
        // A map the record has no place for, or more values than its buffer
        // holds, is refused whole.
        if (d.map >= N_PIXEL_MAPS || d.cValues > N_PIXEL_MAP_VALUES ||
            (d.cValues != 0 && d.pulValues == nullptr)) {
            DbgPrint("N_SetPixelMaps: map %u refused\n", static_cast<unsigned>(d.map));
            continue;
        }
        N_PixelMap& m = pRecord->maps[d.map];
        if (d.cValues != 0) std::memcpy(m.pulValues, d.pulValues, d.cValues * sizeof(ULONG));
        m.cValues = d.cValues;
    }
}
