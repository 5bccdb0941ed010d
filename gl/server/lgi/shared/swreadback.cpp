// The destination read-back of the software pipes whose spans do not come
// from the polygon rasteriser (which reads its own): stage 74 fetches the
// stored alpha (host alpha buffer) and stencil of every fragment, stage 76
// the stored depth of a run. Host buffers are read in place, inside the
// buffer only; a board buffer through the layer's row read.
#include <algorithm>
#include <bit>
#include <cstring>

#include "context/glbuffer.h"
#include "swfrag.h"
#include "../seams.h"

namespace {

constexpr ULONG kDepthSlot = 4, kStencilSlot = 5;
constexpr ULONG kModeAlphaBuffer = 0x8, kModeAlpha = 0x80, kModeAlphaHost = 0x200;

LONG Count(const N_FragSpan& sp) { return std::min<LONG>(sp.count, static_cast<LONG>(N_FRAG_MAX)); }

// The byte at (x, y) of a host buffer, or 0 outside it.
BYTE jHostByte(const N_BoundBuffer& b, LONG x, LONG y) {
    const GLBuffer* pb = b.pBuffer;
    if (pb == nullptr || b.pjBase == nullptr || x < 0 || y < 0 || x >= pb->cx || y >= pb->cy ||
        static_cast<std::size_t>(x) >= b.pitch)
        return 0;
    return b.pjBase[static_cast<std::size_t>(y) * b.pitch + static_cast<std::size_t>(x)];
}

bool bHost(const N_BoundBuffer& b) {
    return b.pBuffer != nullptr && b.pBuffer->memoryKind != GLBUFFER_MEMORY_DEVICE && b.pjBase != nullptr;
}

}  // namespace

void _NReadDstDepthRun(N_FragSpan* sp) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    const N_BoundBuffer& b = pctx->buffers[kDepthSlot];
    const LONG n = Count(*sp);
    ULONG* tmp = _NSpanReadRow();
    std::fill(tmp, tmp + n, 0u);
    if (b.pBuffer == nullptr || n <= 0) return;
    const LONG x0 = sp->pX[0], y = sp->pY[0];
    if (!bHost(b)) {
        _NGetRow(b.pBuffer, x0, y, n, tmp);
    } else if (y >= 0 && y < b.pBuffer->cy && b.bytesPerPixel >= 1 && b.bytesPerPixel <= 4) {
        const std::size_t cb = b.bytesPerPixel;
        const BYTE* row = b.pjBase + static_cast<std::size_t>(y) * b.pitch;
        for (LONG i = 0; i < n; ++i) {
            const LONG x = x0 + i;
            if (x < 0 || x >= b.pBuffer->cx || (static_cast<std::size_t>(x) + 1) * cb > b.pitch) continue;
            ULONG v = 0;
            std::memcpy(&v, row + static_cast<std::size_t>(x) * cb, cb);
            tmp[i] = v;
        }
    }
    for (LONG i = 0; i < n; ++i) sp->pDstDepth[i] = tmp[i] & 0xFFFFFFu;
}

void _NReadDstAlpha(N_FragSpan* sp) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    const N_Derived& v = pctx->val;
    const LONG slot = v.cDrawBuffers > 0 ? v.alphaSlots[0] : -1;
    if (slot < 0 || slot >= static_cast<LONG>(N_BUFFER_SLOTS)) return;
    const N_BoundBuffer& b = pctx->buffers[slot];
    const float kInv255 = std::bit_cast<float>(0x3B808081u);
    const LONG n = Count(*sp);
    for (LONG i = 0; i < n; ++i) sp->pDstAlpha[i] = static_cast<float>(jHostByte(b, sp->pX[i], sp->pY[i])) * kInv255;
}

void _NReadDstStencil(N_FragSpan* sp) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    const N_BoundBuffer& b = pctx->buffers[kStencilSlot];
    const LONG n = Count(*sp);
    for (LONG i = 0; i < n; ++i) {
        if (b.pBuffer != nullptr && b.pBuffer->memoryKind == GLBUFFER_MEMORY_DEVICE) {
            ULONG v = 0;
            _NGetRow(b.pBuffer, sp->pX[i], sp->pY[i], 1, &v);
            sp->pDstStencil[i] = static_cast<BYTE>(v);
        } else {
            sp->pDstStencil[i] = jHostByte(b, sp->pX[i], sp->pY[i]);
        }
    }
}

void _NSpanFetchDstAlphaStencil(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = pipe->pCommonPipeData->span;
    if (sp.count > 0) {
        const ULONG m = pipe->mode;
        const ULONG alpha = kModeAlphaBuffer | kModeAlpha | kModeAlphaHost;
        if ((m & alpha) == alpha) _NReadDstAlpha(&sp);
        if ((m & N_MODE_STENCIL) && pctx->buffers[kStencilSlot].pBuffer != nullptr) _NReadDstStencil(&sp);
    }
    pipe->next[N_STAGE_READ_ALPHA_STENCIL](pctx, pipe);
}

void _NSpanFetchDstDepth(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = pipe->pCommonPipeData->span;
    if (sp.count > 0) _NReadDstDepthRun(&sp);
    pipe->next[N_STAGE_READ_COLOUR](pctx, pipe);
}
