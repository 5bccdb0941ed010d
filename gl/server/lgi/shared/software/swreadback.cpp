// The destination read-back of the software pipes whose spans do not come
// from the polygon rasteriser (which reads its own): stage 74 fetches the
// stored colour that blending and the logic operation combine with, the
// stored alpha and stencil of every fragment, and its stored depth while
// the depth test runs ahead of the stencil operations;
// stage 76 the stored depth of a run. Host buffers are read in place,
// inside the buffer only; a board buffer through the layer's row read.
#include <algorithm>
#include <bit>
#include <cstring>

#include "3d/queue/queue.h"
#include "lgigl.h"
#include "platform/engine.h"
#include "swfrag.h"
#include "swhost.h"
#include "vornix_surface.h"
#include "../../seams.h"

namespace {

LONG Count(const N_FragSpan& sp) { return std::min<LONG>(sp.count, static_cast<LONG>(N_FRAG_MAX)); }

// The byte of a host buffer at screen position (x, y), or 0 outside it.
BYTE jHostByte(const N_BoundBuffer& b, LONG x, LONG y) {
    const BYTE* pj = _NHostPixel(b, x, y);
    return pj != nullptr ? *pj : BYTE{0};
}

bool bHost(const N_BoundBuffer& b) {
    return b.pBuffer != nullptr && b.pBuffer->memoryKind != GLBUFFER_MEMORY_DEVICE && b.pjBase != nullptr;
}

// A 16-bit board depth buffer's surface named, while the object lives, in
// the raw 16-bit pixel format (the format its depth words are written in,
// by the depth clear and by the render programs' depth tests) rather than
// the display's 16-bit colour format it carries as a surface. A transfer
// names the memory it reads in its surface's format, and the board then
// keeps reading and writing the depth space in the format last named: a
// read in the colour format would have every later depth word stored
// through the colour conversion, which drops bits of it.
struct RawDepthFormat {
    DFB* pdfb = nullptr;
    ULONG pidSaved = 0;
    SURFOBJ* psoLocked = nullptr;
    explicit RawDepthFormat(const GLBuffer* pb) {
        if (pb == nullptr || pb->memoryKind != GLBUFFER_MEMORY_DEVICE || pb->bitsPerPixel != 16 ||
            pb->pDeviceRecord == nullptr)
            return;
        SURFOBJ* pso = static_cast<const GLDeviceRecord*>(pb->pDeviceRecord)->pso;
        if (pso == nullptr) pso = psoLocked = EngLockSurface(pb->hsurf);
        auto* pds = pso != nullptr ? reinterpret_cast<DSURF*>(pso->dhsurf) : nullptr;
        if (pds == nullptr || pds->pdfb == nullptr || (pds->pdfb->pid & PID_FORMAT_MASK) != PID_FORMAT_16) return;
        pdfb = pds->pdfb;
        pidSaved = pdfb->pid;
        pdfb->pid = (pidSaved & ~PID_FORMAT_MASK) | PID_FORMAT_16_INDEXED;
    }
    ~RawDepthFormat() {
        if (pdfb != nullptr) pdfb->pid = pidSaved;
        if (psoLocked != nullptr) EngUnlockSurface(psoLocked);
    }
    RawDepthFormat(const RawDepthFormat&) = delete;
    RawDepthFormat& operator=(const RawDepthFormat&) = delete;
};

// The stored depth of every fragment at its own x and y (point and line
// spans), 24 significant bits; 0 outside the buffer.
void vReadDstDepthFrags(N_Context* pctx, N_FragSpan* sp) {
    const N_BoundBuffer& b = pctx->buffers[N_SLOT_DEPTH];
    const LONG n = Count(*sp);
    for (LONG i = 0; i < n; ++i) {
        ULONG v = 0;
        if (b.pBuffer != nullptr) _NSwReadDepthRow(b, sp->pX[i], sp->pY[i], 1, &v);
        sp->pDstDepth[i] = v;
    }
}

// The destination colour (as stored and as channels) of every fragment at
// its own x and y, and the alpha of a board alpha buffer while blending,
// for blending and the logic operation; a run of neighbours on one row is
// read at once.
void vReadDstColourFrags(N_Context* pctx, N_Pipe* pipe, N_FragSpan* sp) {
    const ULONG m = pipe->mode;
    const LONG draw = _NFirstDrawSlot(pctx);
    if (draw < 0 || pctx->buffers[draw].pBuffer == nullptr) return;
    const N_Derived& v = pctx->val;
    const LONG alphaSlot = v.cDrawBuffers > 0 ? v.alphaSlots[0] : -1;
    const bool bBoardAlpha = (m & N_MODE_FRAGMENTS) && (m & N_MODE_BLEND) && (m & KZ_EN_ALPHA_BUFFER) &&
                             !(m & KZ_EN_ALPHA_HOST) && alphaSlot >= 0 &&
                             alphaSlot < static_cast<LONG>(N_BUFFER_SLOTS) &&
                             pctx->buffers[alphaSlot].pBuffer != nullptr;
    ULONG* tmp = _NSpanReadRow();
    const LONG n = Count(*sp);
    for (LONG i = 0; i < n;) {
        LONG k = 1;
        while (i + k < n && sp->pY[i + k] == sp->pY[i] && sp->pX[i + k] == sp->pX[i] + k) ++k;
        _NSwReadRow(pctx->buffers[draw], sp->pX[i], sp->pY[i], k, tmp + i);
        if (bBoardAlpha) {
            static ULONG sAlpha[N_FRAG_MAX];
            _NSwReadRow(pctx->buffers[alphaSlot], sp->pX[i], sp->pY[i], k, sAlpha);
            for (LONG j = 0; j < k; ++j) sp->pDstAlpha[i + j] = static_cast<float>(sAlpha[j] & 0xFFu) * (1.0f / 255.0f);
        }
        i += k;
    }
    _NSwSetDstColours(pctx, *sp, tmp, n, pctx->buffers[draw]);
}

}  // namespace

void _NSwDepthInBufferSteps(N_Context* pctx, N_FragSpan& sp) {
    GLSRVDEVICE* pDevice = pctx->pHw != nullptr ? pctx->pHw->pDevice : nullptr;
    if (pDevice == nullptr || _NDepthBits(pDevice) >= 24) return;
    const LONG n = Count(sp);
    for (LONG i = 0; i < n; ++i) {
        // A word stands for an aligned run of depths: clear the most low
        // bits that keep the word.
        const ULONG z = sp.pDepth[i] & 0xFFFFFFu, w = _NDepthWord16(z);
        ULONG q = z;
        for (ULONG k = 9; k > 0; --k) {
            const ULONG c = z & ~((1u << k) - 1u);
            if (_NDepthWord16(c) == w) {
                q = c;
                break;
            }
        }
        sp.pDepth[i] = q;
    }
}

void _NSwReadDepthRow(const N_BoundBuffer& slot, LONG x, LONG y, LONG n, ULONG* out) {
    const RawDepthFormat raw(slot.pBuffer);
    _NSwReadRow(slot, x, y, n, out);
    for (LONG i = 0; i < n; ++i) out[i] &= 0xFFFFFFu;
}

void _NReadDstDepthRun(N_FragSpan* sp) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    const N_BoundBuffer& b = pctx->buffers[N_SLOT_DEPTH];
    const LONG n = Count(*sp);
    ULONG* tmp = _NSpanReadRow();
    std::fill(tmp, tmp + n, 0u);
    if (b.pBuffer == nullptr || n <= 0) return;
    const LONG x0 = sp->pX[0], y = sp->pY[0];
    if (!bHost(b)) {
        const RawDepthFormat raw(b.pBuffer);
        _NGetRow(b.pBuffer, x0, y, n, tmp);
    } else {
        for (LONG i = 0; i < n; ++i) tmp[i] = _NHostRead(b, std::int64_t{x0} + i, y);
    }
    for (LONG i = 0; i < n; ++i) sp->pDstDepth[i] = tmp[i] & 0xFFFFFFu;
    _NSwDepthInBufferSteps(pctx, *sp);
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
    const N_BoundBuffer& b = pctx->buffers[N_SLOT_STENCIL];
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
        const ULONG alpha = KZ_EN_ALPHA_BUFFER | KZ_EN_ALPHA | KZ_EN_ALPHA_HOST;
        if ((m & N_MODE_FRAGMENTS) && (m & N_MODE_BLEND)) vReadDstColourFrags(pctx, pipe, &sp);
        else if (m & N_MODE_LOGIC_OP) vReadDstColourFrags(pctx, pipe, &sp);
        if ((m & alpha) == alpha) _NReadDstAlpha(&sp);
        if ((m & N_MODE_STENCIL) && pctx->buffers[N_SLOT_STENCIL].pBuffer != nullptr) _NReadDstStencil(&sp);
        if (_NSpanTestsDepth(m)) {
            vReadDstDepthFrags(pctx, &sp);
            _NSwDepthInBufferSteps(pctx, sp);
        }
    }
    pipe->next[N_STAGE_READ_ALPHA_STENCIL](pctx, pipe);
}

void _NSpanFetchDstDepth(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = pipe->pCommonPipeData->span;
    if (sp.count > 0) _NReadDstDepthRun(&sp);
    pipe->next[N_STAGE_READ_DEPTH](pctx, pipe);
}
