// The write stages of the software path: stage 97 sends the live fragments
// of a span to the board as single-pixel primitives of the pipe's render
// program, through the same queues as the hardware-drawn primitives (so
// the order of drawing is kept); stage 100 stores the new stencil values,
// as single-pixel primitives of a fixed one-instruction program for a board
// stencil buffer, or directly into a host stencil buffer.
//
// Both have a run form (spans of adjacent pixels on one row: fragment i at
// x[0] + i) and a fragment-list form (an x and a y a fragment). A packet
// carries at most 400 live fragments; each is opened and closed within the
// span. The clip pair of these single-pixel packets is a program's: its
// maximum the last pixel inside (kzClipPairOf).
#include <algorithm>
#include <cstring>

#include "lgigl.h"
#include "hwframe.h"
#include "kz2/kzprog.h"
#include "swfrag.h"
#include "swhost.h"

namespace {

constexpr ULONG kStencilSlot = 5;
constexpr ULONG kModeColourHost = 0x4, kModeAlphaBuffer = 0x8, kModeDepth = 0x10, kModeDepthHost = 0x40;
constexpr ULONG kModeAlpha = 0x80, kModeAlphaHost = 0x200;

LONG Count(const N_FragSpan& sp) { return std::min<LONG>(sp.count, static_cast<LONG>(N_FRAG_MAX)); }

// A rectangle in screen pixels, maxima outside it.
struct Rect {
    LONG x0, y0, x1, y1;
};

// The clip pair of a rectangle: on a board of two screens as it stands,
// else cut to the 3D area (W x H); false when nothing of it is left.
bool bClipWords(const Rect& r, bool bSplit, LONG W, LONG H, ULONG* pMin, ULONG* pMax) {
    const kzClipPair c = bSplit ? kzClipPairOf(r.x0, r.y0, r.x1, r.y1)
                                : kzClipPairOf(r.x0, r.y0, std::min<LONG>(r.x1, W), std::min<LONG>(r.y1, H));
    if (c.empty()) return false;
    *pMin = c.min;
    *pMax = c.max;
    return true;
}

const GLBuffer* pDrawBuffer(N_Context* pctx) {
    const LONG slot = _NFirstDrawSlot(pctx);
    return slot >= 0 ? pctx->buffers[slot].pBuffer : nullptr;
}

// The window rectangle of the draw buffer (the 3D area without one).
Rect WindowRect(N_Context* pctx, const N_SwScreen& s) {
    const GLBuffer* D = pDrawBuffer(pctx);
    if (D == nullptr) return Rect{0, 0, s.cx, s.cy};
    return Rect{D->x, D->y, D->x + D->cx, D->y + D->cy};
}

// The passes of a colour write: one a packed clip box (moved by the
// window origin) when the boxes are drawn one pass each or when there is
// exactly one box, else the window.
ULONG ulColourPasses(N_Context* pctx, const N_SwScreen& s, Rect* out, ULONG cMax) {
    const ULONG c = pctx->cClipRects;
    const GLBuffer* D = pDrawBuffer(pctx);
    if (D == nullptr || pctx->pulPackedClip == nullptr || c == 0 || (c > 1 && pctx->multiRect != 1)) {
        out[0] = WindowRect(pctx, s);
        return 1;
    }
    auto half = [](ULONG w, int k) { return static_cast<LONG>(static_cast<SHORT>((w >> (16 * k)) & 0xFFFFu)); };
    ULONG n = 0;
    for (ULONG i = 0; i < c && n < cMax; ++i) {
        const ULONG lo = pctx->pulPackedClip[2 * i], hi = pctx->pulPackedClip[2 * i + 1];
        out[n++] = Rect{half(lo, 0) + D->x, half(lo, 1) + D->y, half(hi, 0) + D->x, half(hi, 1) + D->y};
    }
    return n;
}

// The raw clip rectangles of a stencil write; without any, the window.
ULONG ulStencilPasses(N_Context* pctx, const N_SwScreen& s, Rect* out, ULONG cMax) {
    const ULONG c = pctx->cClipRects;
    if (c == 0 || pctx->pulDecodedClip == nullptr) {
        out[0] = WindowRect(pctx, s);
        return 1;
    }
    ULONG n = 0;
    for (ULONG i = 0; i < c && n < cMax; ++i) {
        const auto* r = reinterpret_cast<const LONG*>(pctx->pulDecodedClip + 4 * i);
        out[n++] = Rect{r[0], r[1], r[2], r[3]};
    }
    return n;
}

constexpr ULONG kMaxPasses = 64;

ULONG ulPidOf(const GLBuffer* pb) {
    const auto* pdr = pb != nullptr ? static_cast<const GLDeviceRecord*>(pb->pDeviceRecord) : nullptr;
    return pdr != nullptr ? pdr->pid & 0xFFFFu : 0xFFFFu;
}

// The closing of a packet: the batch word is the largest primitive count.
void vClose(N_HwFrame& f, ULONG* p) { _NHwSoftClose(f, p); }

}  // namespace

N_SpanWriteWords _NSpanWriteWords(ULONG m) {
    return N_SpanWriteWords{(m & N_MODE_FRAGMENTS) != 0 && !(m & kModeColourHost),
                            (m & kModeAlphaBuffer) && (m & kModeAlpha) && !(m & kModeAlphaHost),
                            (m & kModeDepth) && !(m & kModeDepthHost)};
}

namespace {

void vWriteColour(N_Pipe* pipe, N_FragSpan* sp, bool bRun) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    N_HwRecord* phw = pctx->pHw;
    const LONG n = Count(*sp);
    ULONG live = 0;
    for (LONG i = 0; i < n; ++i) live += sp->pMask[i] & 1u;
    if (live == 0 || phw == nullptr) return;
    const auto [bColour, bAlpha, bDepth] = _NSpanWriteWords(pctx->enableWord);
    const ULONG words = 1 + (bColour ? 1 : 0) + (bAlpha ? 1 : 0) + (bDepth ? 1 : 0);
    kzRenderProg* prog = _NHwSoftwareProgram(pctx, pipe);
    // Without a program (its build refused) there is no command word to
    // head a packet: the fragments are not sent, as a packet headed by 0
    // would break the board's stream.
    if (prog->valid == 0 || prog->header == 0) return;
    const N_SwScreen screen = _NSwScreenOf(pctx);
    static Rect passes[kMaxPasses];
    const ULONG cPasses = ulColourPasses(pctx, screen, passes, kMaxPasses);
    KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    const bool bSplit = qm != nullptr && qm->pLayout != nullptr && qm->pLayout->bSplitScreen != 0;
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    for (ULONG k = 0; k < cPasses; ++k) {
        // A pass with nothing of it on the screen sends nothing.
        ULONG clipMin = 0, clipMax = 0;
        if (!bClipWords(passes[k], bSplit, screen.cx, screen.cy, &clipMin, &clipMax)) continue;
        LONG i = 0;
        for (ULONG left = live; left > 0;) {
            const ULONG chunk = std::min(left, N_SPAN_WRITE_CHUNK);
            left -= chunk;
            const ULONG cbRoom = chunk * words * 4 + _NHwHeadBytes(prog) + 8;
            phw->batchCount = N_SPAN_WRITE_CHUNK;
            ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, cbRoom);
            phw->batchCount = 0;
            if (p == nullptr || !_NHwFrameQueues(&f)) {
                _NSoftUpdateQAddr(phw);
                return;
            }
            prog->clipMin = clipMin;
            prog->clipMax = clipMax;
            p = _NHwWriteHead(f, prog, p, nullptr, 0);
            for (ULONG c = 0; c < chunk && i < n; ++i) {
                if ((sp->pMask[i] & 1u) == 0) continue;
                if (bColour) *p++ = sp->pPacked[i];
                if (bAlpha) {
                    const float fa = sp->pAlpha[i] * 255.0f;
                    const ULONG a = fa >= 255.0f ? 255u : fa > 0.0f ? static_cast<ULONG>(fa) : 0u;
                    *p++ = a | (a << 8) | (a << 16);
                }
                if (bDepth) *p++ = f.bDepth16 ? _NDepthWord16(sp->pDepth[i]) : sp->pDepth[i];
                const LONG x = bRun ? sp->pX[0] + i : sp->pX[i];
                const LONG y = bRun ? sp->pY[0] : sp->pY[i];
                const ULONG pos = _NSpanPosition(x, y);
                *p++ = pos;
                p = _NHwRouteTriangle(f, p, pos, pos, pos);
                ++c;
            }
            vClose(f, p);
        }
    }
}

void vWriteStencilBoard(N_Pipe*, N_FragSpan* sp, bool bRun) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    N_HwRecord* phw = pctx->pHw;
    const LONG n = Count(*sp);
    ULONG live = 0;
    for (LONG i = 0; i < n; ++i) live += sp->pMask[i] != 0 ? 1u : 0u;
    if (live == 0 || phw == nullptr) return;
    const ULONG pid = ulPidOf(pctx->buffers[kStencilSlot].pBuffer);
    const N_SwScreen screen = _NSwScreenOf(pctx);
    static Rect rects[kMaxPasses];
    const ULONG cRects = bRun ? ulStencilPasses(pctx, screen, rects, kMaxPasses) : 1;
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    LONG first = 0;
    for (ULONG left = live; left > 0;) {
        const ULONG chunk = std::min(left, N_SPAN_WRITE_CHUNK);
        left -= chunk;
        LONG next = first;
        for (ULONG k = 0; k < cRects; ++k) {
            ULONG clipMin = 0, clipMax = 0;
            if (bRun && !bClipWords(rects[k], false, screen.cx, screen.cy, &clipMin, &clipMax)) continue;
            const ULONG cbRoom = chunk * 8 + (bRun ? 24 : 16);
            phw->batchCount = N_SPAN_WRITE_CHUNK;
            ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, cbRoom);
            if (p == nullptr || !_NHwFrameQueues(&f)) {
                _NSoftUpdateQAddr(phw);
                return;
            }
            for (ULONG q = 0; q < f.cQueues; ++q) f.qm[q].pPacket[0] = bRun ? N_STENCIL_CMD_RUN : N_STENCIL_CMD_FRAGS;
            *p++ = pid;
            *p++ = bRun ? N_STENCIL_INSTR_RUN : N_STENCIL_INSTR_FRAGS;
            if (bRun) {
                *p++ = clipMin;
                *p++ = clipMax;
            }
            LONG i = first;
            for (ULONG c = 0; c < chunk && i < n; ++i) {
                if (sp->pMask[i] == 0) continue;
                const LONG x = bRun ? sp->pX[0] + i : sp->pX[i];
                const LONG y = bRun ? sp->pY[0] : sp->pY[i];
                const ULONG pos = _NSpanPosition(x, y);
                *p++ = sp->pNewStencil[i];
                *p++ = pos;
                p = _NHwRouteTriangle(f, p, pos, pos, pos);
                ++c;
            }
            next = i;
            vClose(f, p);
        }
        // The next packet goes on after this one's last fragment.
        LONG i = first;
        for (ULONG c = 0; c < chunk && i < n; ++i) c += sp->pMask[i] != 0 ? 1u : 0u;
        first = std::max(next, i);
    }
}

// Stages 97 and 100 of both forms.
void vColourStage(N_Context* pctx, N_Pipe* pipe, bool bRun) {
    N_FragSpan& sp = pipe->pCommonPipeData->span;
    if (sp.count > 0) {
        sp.pTarget = const_cast<GLBuffer*>(pDrawBuffer(pctx));
        if (bRun)
            _NWriteColorRunKZ(pipe, &sp);
        else
            _NWriteColorFragsKZ(pipe, &sp);
        _NWriteAlphaHost(pctx, &sp, bRun ? 1 : 0);
    }
    pipe->next[N_STAGE_WRITE_COLOUR](pctx, pipe);
}

void vStencilStage(N_Context* pctx, N_Pipe* pipe, bool bRun) {
    N_FragSpan& sp = pipe->pCommonPipeData->span;
    if (sp.count > 0) {
        const N_BoundBuffer& b = pctx->buffers[kStencilSlot];
        sp.pTarget = b.pBuffer;
        if (b.pBuffer != nullptr && b.pBuffer->memoryKind == GLBUFFER_MEMORY_DEVICE) {
            if (bRun)
                _NWriteStencilRunKZ(pipe, &sp);
            else
                _NWriteStencilFragsKZ(pipe, &sp);
        } else if (b.pBuffer != nullptr && b.pBuffer->memoryKind == GLBUFFER_MEMORY_HOST && b.pjBase != nullptr) {
            _NWriteStencilHost(pipe, &sp, bRun ? 1 : 0);
        }
        // Any other stencil buffer keeps its values; the colour stages
        // still run.
    }
    pipe->next[N_STAGE_WRITE_STENCIL](pctx, pipe);
}

}  // namespace

void _NWriteColorRunKZ(N_Pipe* pipe, N_FragSpan* sp) { vWriteColour(pipe, sp, true); }
void _NWriteColorFragsKZ(N_Pipe* pipe, N_FragSpan* sp) { vWriteColour(pipe, sp, false); }
void _NSpanWriteColor(N_Context* pctx, N_Pipe* pipe) { vColourStage(pctx, pipe, true); }
void _NSpanWriteColorAlt(N_Context* pctx, N_Pipe* pipe) { vColourStage(pctx, pipe, false); }

void _NWriteStencilRunKZ(N_Pipe* pipe, N_FragSpan* sp) { vWriteStencilBoard(pipe, sp, true); }
void _NWriteStencilFragsKZ(N_Pipe* pipe, N_FragSpan* sp) { vWriteStencilBoard(pipe, sp, false); }
void _NSpanWriteStencil(N_Context* pctx, N_Pipe* pipe) { vStencilStage(pctx, pipe, true); }
void _NSpanWriteStencilAlt(N_Context* pctx, N_Pipe* pipe) { vStencilStage(pctx, pipe, false); }

void _NWriteAlphaHost(N_Context* pctx, N_FragSpan* sp, ULONG bRun) {
    // The alpha words go to the board only for a board alpha buffer; a host
    // one takes the written fragments' alpha here, or drawing would never
    // reach it.
    const ULONG m = pctx->enableWord;
    const ULONG want = kModeAlphaBuffer | kModeAlpha | kModeAlphaHost;
    if ((m & want) != want || (m & N_MODE_FRAGMENTS) == 0 || pctx->val.cDrawBuffers == 0) return;
    const LONG slot = pctx->val.alphaSlots[0];
    if (slot < 0 || slot >= static_cast<LONG>(N_BUFFER_SLOTS)) return;
    const N_BoundBuffer& b = pctx->buffers[slot];
    const ULONG keep = ~pctx->val.alphaMask & 0xFFu;
    if (keep == 0xFFu) return;
    const ULONG cRects = pctx->pulDecodedClip != nullptr ? pctx->cClipRects : 0;
    const LONG n = Count(*sp);
    for (LONG i = 0; i < n; ++i) {
        if ((sp->pMask[i] & 1u) == 0) continue;
        const std::int64_t x = bRun ? std::int64_t{sp->pX[0]} + i : sp->pX[i];
        const std::int64_t y = bRun ? sp->pY[0] : sp->pY[i];
        // Only where the window shows, as the colour write's passes.
        bool bShown = cRects == 0;
        for (ULONG k = 0; k < cRects && !bShown; ++k) {
            const auto* r = reinterpret_cast<const LONG*>(pctx->pulDecodedClip + 4 * std::size_t{k});
            bShown = x >= r[0] && x < r[2] && y >= r[1] && y < r[3];
        }
        BYTE* pj = bShown ? _NHostPixel(b, x, y) : nullptr;
        if (pj == nullptr) continue;
        const float fa = sp->pAlpha[i] * 255.0f;
        const ULONG a = fa >= 255.0f ? 255u : fa > 0.0f ? static_cast<ULONG>(fa) : 0u;
        *pj = static_cast<BYTE>((*pj & keep) | (a & ~keep));
    }
}

void _NWriteStencilHost(N_Pipe*, N_FragSpan* sp, ULONG bRun) {
    if (!bNHaveContext()) return;
    const N_BoundBuffer& b = gpNCurrent->buffers[kStencilSlot];
    const GLBuffer* pb = b.pBuffer;
    if (pb == nullptr || b.pjBase == nullptr) return;
    const LONG n = Count(*sp);
    // Each value at its own pixel, the screen position taken to the
    // buffer's rows by its origin; a value outside the buffer is dropped.
    for (LONG i = 0; i < n; ++i) {
        if (sp->pMask[i] == 0) continue;
        const std::int64_t x = bRun ? std::int64_t{sp->pX[0]} + i : sp->pX[i];
        const LONG y = bRun ? sp->pY[0] : sp->pY[i];
        BYTE* pj = _NHostPixel(b, x, y);
        if (pj != nullptr) *pj = sp->pNewStencil[i];
    }
}
