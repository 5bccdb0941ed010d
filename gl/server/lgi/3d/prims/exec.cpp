// Primitive execution: batches from arrays (N_ExecPrimitive), the command
// stream's inline vertices and the raster position's vertex (N_RasterPos)
// through their pipeline block, and the values a primitive leaves current.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "3d/queue/renderfcn.h"
#include "3d/pipes/vstage.h"
#include "../../seams.h"

namespace {


// Strip lengths checked against the batch, one strip of all vertices when
// none are given.
ULONG gaStrips[N_BATCH_POINTS];

ULONG ulMaskFormat(N_Context* pctx, ULONG format) {
    return format & (*pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1 ? 0xFFF18F9Fu : 0xF81FFF7Fu);
}

// Steps 2-11 shared by both entries: block, validation, set-up, counts,
// face-run head, first stage. Answers whether the batch was drawn.
bool bRun(N_Context* pctx, ULONG kind, ULONG format, ULONG n, ULONG cStrips, bool bStream) {
    N_PipeBlock* pBlock = &pctx->blocks[kind & 15];
    N_HwRecord* phw = &pctx->hw[kind & 15];
    pctx->pBlock = pBlock;
    if (pctx->pHw != phw) {
        pctx->pHw = phw;
        phw->batchCount = N_BATCH_PRIMS;
    }
    CommonPipeData& c = pBlock->common;
    const bool bChanged = c.setupCode != kind || c.setupFormat != format;
    if (pctx->dirty != 0) _NValidate(pctx, pctx->dirty);
    N_Pipe* pipe = &pBlock->front;
    if (kind >= N_PRIM_TRIANGLES) c.faceCount = _NPrimFaceCount(kind, &n);
    c.primVertexCount = n;
    c.stripVertexCount = n;
    c.stripCount = cStrips;
    c.pStripCounts = gaStrips;
    if (cStrips == 1) gaStrips[0] = n;
    c.pFaceRuns[0] = N_FACE_RUN(N_RUN_SECOND, n);
    c.pFaceRuns[1] = 0;
    N_PrimDispatch& pd = pctx->prim[kind - N_PRIM_FIRST_DISPATCH];
    const bool bByOther = bStream ? !pctx->setupByStream : pctx->setupByStream;
    if (pd.dirtyMask != 0 || bChanged || bByOther || pctx->setupStale) {
        _NValPrimPipe(pctx, pipe, kind, format);
        pctx->setupByStream = bStream ? 1 : 0;
        pctx->setupStale = 0;
    }
    // Polygons' back faces read their colours through a copy of the front
    // colour source that set-up made; a call drawn without a new set-up
    // brings its own vertices, so the copy follows them.
    if (kind >= N_PRIM_POLYGON && kind <= N_PRIM_QUAD_STRIP) c.back.colour = c.front.colour;
    c.code = kind;
    c.format = format;
    if (pipe->dither && _NDitherMarker(phw) != N_DITHER_MARKER) _NLoadDither(phw);
    if (phw->pCurrentPipe != pipe) {
        phw->batchCount = N_BATCH_PRIMS;
        phw->pCurrentPipe = pipe;
    }
    if (n < _NBasicVertices(kind)) return false;
    // Back colours belong to the batch whose lighting made them.
    _NSetBackColours(0, nullptr, nullptr);
    // A primitive longer than the pipe's batch goes in batches.
    if (n > _NBatchSize(kind)) _NRunBatches(pctx, pipe);
    else pipe->next[N_STAGE_HEAD](pctx, pipe);
    // Selecting: the primitive's pieces inside the clip volume have widened
    // the open hit; the whole primitive has run, so the hit is reported.
    if (*pulAttr(pctx, N_ATTR_RENDER_MODE) == N_RENDER_MODE_SELECT) _NSelectBatch(pctx, nullptr, 4, 0, 1);
    return true;
}

// The strip lengths of a batch: all within the batch and adding up to it.
bool bStrips(const ULONG* pLengths, ULONG cStrips, ULONG n) {
    if (cStrips == 0 || pLengths == nullptr) {
        gaStrips[0] = n;
        return true;
    }
    if (cStrips > N_BATCH_POINTS) return false;
    std::uint64_t sum = 0;
    for (ULONG s = 0; s < cStrips; ++s) {
        gaStrips[s] = pLengths[s];
        sum += pLengths[s];
    }
    return sum == n;
}

void vStore(N_Context* pctx, ULONG id, const void* pv, ULONG cWords) {
    ULONG w[4];
    std::memcpy(w, pv, cWords * 4);
    if (id == N_ATTR_COLOUR && cWords == 3) {
        w[3] = __glXFloatBits(1.0f);
        cWords = 4;
    }
    if (std::memcmp(pulAttr(pctx, id), w, cWords * 4) == 0) return;
    N_SetStateBlockAttr(id, w);
}

// The last vertex's values of the attributes a batch carried become the
// current ones, and colour material takes the colour.
void vLeaveCurrent(N_Context* pctx, const N_PrimDesc& d, ULONG format, ULONG n) {
    if (n == 0) return;
    const ULONG i = n - 1;
    auto at = [i](const void* p, ULONG stride) {
        return static_cast<const BYTE*>(p) + std::size_t{i} * stride;
    };
    if ((format & (N_VTX_RGB | N_VTX_RGBA)) && d.pColor != nullptr) vStore(pctx, N_ATTR_COLOUR, at(d.pColor, 16), 4);
    if ((format & N_VTX_INDEX) && d.pIndex != nullptr) vStore(pctx, N_ATTR_INDEX, at(d.pIndex, 4), 1);
    if ((format & N_VTX_NORMAL) && d.pNormal != nullptr) vStore(pctx, N_ATTR_NORMAL, at(d.pNormal, d.normalStride), 3);
    if ((format & N_VTX_TEXCOORD) && d.pTexCoord != nullptr)
        vStore(pctx, N_ATTR_TEXCOORD, at(d.pTexCoord, d.texCoordStride), 4);
    if ((format & N_VTX_EDGEFLAG) && d.pEdgeFlag != nullptr) {
        const ULONG e = *reinterpret_cast<const ULONG*>(at(d.pEdgeFlag, d.edgeFlagStride)) & 0xFF;
        vStore(pctx, N_ATTR_EDGE_FLAG, &e, 1);
    }
    if ((format & (N_VTX_RGB | N_VTX_RGBA)) && *pulAttr(pctx, N_ATTR_COLOUR_MATERIAL) != 0) _NApplyColorMaterial(pctx);
}

}  // namespace

void N_ExecPrimitive(const N_PrimDesc* pDesc) {
    if (!bNHaveContext() || pDesc == nullptr) return;
    N_Context* pctx = gpNCurrent;
    const N_PrimDesc& d = *pDesc;
    const ULONG kind = d.kind;
    if (kind < N_PRIM_POINTS || kind > N_PRIM_QUAD_STRIP) {
        DbgPrint("N_ExecPrimitive: kind %d refused\n", static_cast<int>(kind));
        return;
    }
    // A batch longer than the pipe's batch would overrun the work buffers.
    if (d.count > _NBatchSize(kind) || !bStrips(d.pStripLengths, d.cStrips, d.count)) {
        DbgPrint("N_ExecPrimitive: batch of %u vertices refused\n", d.count);
        return;
    }
    if (d.count > 0 && d.pPosition == nullptr) return;
    const ULONG format = ulMaskFormat(pctx, d.format);
    pctx->fromExecPrimitive = 1;
    pctx->oneShotList = 0;
    CommonPipeData& c = pctx->blocks[kind & 15].common;
    c.position = {d.pPosition, d.positionStride};
    if (format & (N_VTX_RGB | N_VTX_RGBA)) c.front.colour = {d.pColor, 16};
    else if (format & N_VTX_INDEX) c.front.colour = {d.pIndex, 4};
    if (format & N_VTX_NORMAL) c.normal = {d.pNormal, d.normalStride};
    if (format & N_VTX_TEXCOORD) c.texCoord = {d.pTexCoord, d.texCoordStride};
    if (format & N_VTX_CHANGEMASK) c.flagWord = {d.flagStride != 0 ? static_cast<const void*>(d.pFlags) : &d.singleFlags, d.flagStride};
    else if (format & N_VTX_EDGEFLAG) c.flagWord = {d.pEdgeFlag, d.edgeFlagStride};
    // Sources the format names but the descriptor leaves out draw nothing.
    if (((format & (N_VTX_RGB | N_VTX_RGBA)) && d.pColor == nullptr) || ((format & N_VTX_INDEX) && !(format & (N_VTX_RGB | N_VTX_RGBA)) && d.pIndex == nullptr) ||
        ((format & N_VTX_NORMAL) && d.pNormal == nullptr) || ((format & N_VTX_TEXCOORD) && d.pTexCoord == nullptr) ||
        ((format & N_VTX_CHANGEMASK) && d.flagStride != 0 && d.pFlags == nullptr) ||
        ((format & N_VTX_EDGEFLAG) && !(format & N_VTX_CHANGEMASK) && d.pEdgeFlag == nullptr)) {
        DbgPrint("N_ExecPrimitive: format 0x%x without its arrays refused\n", format);
        return;
    }
    const ULONG cStrips = (d.cStrips == 0 || d.pStripLengths == nullptr) ? 1 : d.cStrips;
    bRun(pctx, kind, format, d.count, cStrips, false);
    if (!(format & N_VTX_CHANGEMASK)) vLeaveCurrent(pctx, d, format, d.count);
}

void _NExecInlinePrim(N_Context* pctx, ULONG kind, ULONG format, ULONG n, const ULONG* pulData) {
    if (kind < N_PRIM_POINTS || kind > N_PRIM_QUAD_STRIP) return;
    pctx->fromExecPrimitive = 0;
    const ULONG masked = ulMaskFormat(pctx, format);
    // The per-primitive words lead; then the vertices, each with its
    // attributes in format-bit order (bits 27 and 28 share one word).
    const ULONG cPerPrim = _NAttrMaskWords(format & N_FMT_PER_PRIM);
    const bool bOnce = _NPerPrimWordsOnce(kind);
    const ULONG cb = 4 * _NAttrMaskWords(format & ~N_FMT_PER_PRIM);
    const ULONG stride = cb + (bOnce ? 0 : 4 * cPerPrim);
    const BYTE* pj = reinterpret_cast<const BYTE*>(pulData + (bOnce ? cPerPrim : 0)) + (bOnce ? 0 : 4 * cPerPrim);
    CommonPipeData& c = pctx->blocks[kind & 15].common;
    c.inlineBase = 0;
    c.vertexWords = stride / 4;
    ULONG off = 0;
    for (ULONG bit = 2; bit <= 26; ++bit) {
        if (!(format & (1u << bit))) continue;
        if ((masked & (1u << bit)) != 0) {
            if (N_Source* s = _NSourceOfFormatBit(c, bit)) *s = {pj + off, stride};
        }
        off += 4 * N_VTX_BIT_WORDS[bit];
    }
    if (format & 0x18000000u) c.flagWord = {pj + off, stride};
    gaStrips[0] = n;
    if (!bRun(pctx, kind, masked, n, 1, true) || n == 0 || (masked & N_VTX_CHANGEMASK)) return;
    // The last vertex's values stay current.
    const BYTE* pLast = pj + std::size_t{n - 1} * stride;
    off = 0;
    for (ULONG bit = 2; bit <= 26; ++bit) {
        if (!(format & (1u << bit))) continue;
        const ULONG attr = _NAttrOfBit(bit);
        if ((masked & (1u << bit)) && attr != 0) vStore(pctx, attr, pLast + off, N_VTX_BIT_WORDS[bit]);
        off += 4 * N_VTX_BIT_WORDS[bit];
    }
    if ((masked & 0x8000000u) && !(format & 0x10000000u)) {
        const ULONG e = *reinterpret_cast<const ULONG*>(pLast + off) & 0xFF;
        vStore(pctx, N_ATTR_EDGE_FLAG, &e, 1);
    }
    if ((masked & (N_VTX_RGB | N_VTX_RGBA)) && *pulAttr(pctx, N_ATTR_COLOUR_MATERIAL) != 0) _NApplyColorMaterial(pctx);
}

void N_RasterPos(const float* pfVertex) {
    if (!bNHaveContext() || pfVertex == nullptr) return;
    N_Context* pctx = gpNCurrent;
    // The one-vertex list of kind 62: the position, every other value the
    // current one. The block keeps its source after return, so it points at
    // the layer's own copy rather than at the caller's array.
    static float afVertex[4];
    std::memcpy(afVertex, pfVertex, sizeof afVertex);
    pctx->fromExecPrimitive = 1;
    pctx->oneShotList = 1;
    CommonPipeData& c = pctx->blocks[N_PRIM_RASTER_POS & 15].common;
    c.position = {afVertex, 0};
    // The render function marks the position valid when the vertex reaches
    // it; one the clip paths drop never does, so it starts out invalid.
    *pulAttr(pctx, N_ATTR_RASTER_POS_VALID) = 0;
    bRun(pctx, N_PRIM_RASTER_POS, N_VTX_POS4, 1, 1, false);
}
