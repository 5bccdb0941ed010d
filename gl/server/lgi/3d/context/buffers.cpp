// The buffers bound to a context: each descriptor goes to the slot of its
// kind; a mask bit empties the slots of its row.
#include <algorithm>

#include "context.h"

namespace {

// Kind of a descriptor -> its slot.
struct KindSlot {
    ULONG kind;
    ULONG iSlot;
};
constexpr KindSlot kKindSlots[] = {
    {GLBUFFER_FRONT_LEFT, N_SLOT_FRONT_LEFT},
    {GLBUFFER_BACK_LEFT, N_SLOT_BACK_LEFT},
    {GLBUFFER_FRONT_RIGHT, N_SLOT_FRONT_RIGHT},
    {GLBUFFER_BACK_RIGHT, N_SLOT_BACK_RIGHT},
    {GLBUFFER_ALPHA, N_SLOT_FRONT_LEFT_ALPHA},
    {GLBUFFER_PLANE_40000, N_SLOT_BACK_LEFT_ALPHA},
    {GLBUFFER_PLANE_20000, N_SLOT_FRONT_RIGHT_ALPHA},
    {GLBUFFER_PLANE_80000, N_SLOT_BACK_RIGHT_ALPHA},
    {GLBUFFER_DEPTH, N_SLOT_DEPTH},
    {GLBUFFER_DEPTH_STENCIL, N_SLOT_DEPTH},
    {GLBUFFER_STENCIL, N_SLOT_STENCIL},
    {GLBUFFER_ACCUM, N_SLOT_ACCUM},
};

// Mask bit -> the slots it empties (a second slot of -1: none).
constexpr LONG kInvalidateRows[24][2] = {
    {0, 2},  {8, 3},  {1, 14}, {9, 15}, {10, 16}, {11, 17}, {12, 18}, {13, 19},
    {4, -1}, {5, -1}, {6, -1}, {20, -1}, {7, -1},  {0, -1},  {0, -1},  {0, -1},
    {2, -1}, {3, -1}, {14, -1}, {15, -1}, {16, -1}, {17, -1}, {18, -1}, {19, -1},
};

// Scale of a buffer with the given bits: 2^bits - 1, and its inverse.
void vScale(ULONG bits, float& fScale, float& fInverse) {
    fScale = static_cast<float>((bits >= 32 ? 4294967296.0 : static_cast<double>(1ull << bits)) - 1.0);
    fInverse = fScale != 0.0f ? 1.0f / fScale : 0.0f;
}

// A host buffer's memory holds the screen's pixel count (the accumulation
// buffer clamps to it on its own): a window of more pixels than that would
// reach past it through the window's rows, so its memory is not reached at
// all. True when the window fits, or when no device says the screen's size.
bool bHostWindowFits(N_Context* pctx, const GLBuffer* pBuffer) {
    if (pBuffer->kind == GLBUFFER_ACCUM) return true;
    const GLSRVDEVICE* pDevice = pctx->pHw != nullptr ? pctx->pHw->pDevice : nullptr;
    if (pDevice == nullptr || pDevice->ppdev == nullptr) return true;
    const LONG* pl = plGLScreenSize(pDevice->ppdev);
    const auto area = [](LONG cx, LONG cy) { return std::int64_t{std::max<LONG>(cx, 0)} * std::max<LONG>(cy, 0); };
    return area(pBuffer->cx, pBuffer->cy) <= area(pl[0], pl[1]);
}

void vBind(N_Context* pctx, GLBuffer* pBuffer) {
    for (const KindSlot& ks : kKindSlots) {
        if (ks.kind != pBuffer->kind) continue;
        N_BoundBuffer& slot = pctx->buffers[ks.iSlot];
        slot = N_BoundBuffer{};
        slot.pBuffer = pBuffer;
        if (pBuffer->memoryKind == GLBUFFER_MEMORY_HOST) {
            ULONG cb = (pBuffer->bitsPerPixel + 7) / 8;
            if (cb == 3) cb = 4;
            slot.pjBase = bHostWindowFits(pctx, pBuffer) ? static_cast<BYTE*>(pBuffer->pvPixels) : nullptr;
            slot.bytesPerPixel = cb;
            slot.pitch = cb * static_cast<ULONG>(pBuffer->cx > 0 ? pBuffer->cx : 0);
        }
        if (ks.kind == GLBUFFER_ALPHA) vScale(pBuffer->bitsPerPixel, pctx->alphaScale, pctx->alphaScaleInv);
        if (ks.iSlot == N_SLOT_DEPTH) {
            const bool b16 = pBuffer->bitsPerPixel <= 16;
            pctx->depthScale = b16 ? 65535.0f : 16777215.0f;
            pctx->depthScaleInv = 1.0f / pctx->depthScale;
        }
        return;
    }
}

}  // namespace

void N_BindBuffers(ULONG cBuffers, GLBuffer* const* ppBuffers) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    for (ULONG i = 0; i < cBuffers && ppBuffers != nullptr && ppBuffers[i] != nullptr; ++i)
        vBind(pctx, ppBuffers[i]);
    pctx->dirty |= N_DIRTY_BUFFERS;
}

void N_InvalidateBuffers(ULONG flMask) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    for (ULONG bit = 0; bit < 24; ++bit) {
        if (!(flMask & (1u << bit))) continue;
        for (LONG iSlot : kInvalidateRows[bit])
            if (iSlot >= 0) pctx->buffers[iSlot] = N_BoundBuffer{};
    }
    pctx->dirty |= N_DIRTY_BUFFERS;
}

ULONG N_PacketsDone(ULONG) { return 1; }
ULONG N_Sync(void) { return 1; }
