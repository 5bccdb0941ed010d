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
#include "shared/frame/hwframe.h"
#include "kz2/ucode/kzprog.h"
#include "swfrag.h"
#include "swhost.h"

namespace {

LONG Count(const N_FragSpan& sp) { return std::min<LONG>(sp.count, static_cast<LONG>(N_FRAG_MAX)); }

// A rectangle in screen pixels, maxima outside it.
struct Rect {
    LONG x0, y0, x1, y1;
};

// The clip pair of a rectangle: on a board of two screens as it stands,
// else cut to the 3D area (W x H); empty when nothing of it is left.
kzClipPair ClipPairOf(const Rect& r, bool bSplit, LONG W, LONG H) {
    return bSplit ? kzClipPairOf(r.x0, r.y0, r.x1, r.y1)
                  : kzClipPairOf(r.x0, r.y0, std::min<LONG>(r.x1, W), std::min<LONG>(r.y1, H));
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
// exactly one box, else the window. Every box of the list is a pass,
// however many the window is cut into.
struct ColourPasses {
    const ULONG* pulPacked = nullptr;  // null: the one pass `window`
    ULONG count = 1;
    LONG ox = 0, oy = 0;
    Rect window{};
    Rect At(ULONG k) const {
        if (pulPacked == nullptr) return window;
        auto half = [](ULONG w, int h) { return static_cast<LONG>(static_cast<SHORT>((w >> (16 * h)) & 0xFFFFu)); };
        const ULONG lo = pulPacked[2 * std::size_t{k}], hi = pulPacked[2 * std::size_t{k} + 1];
        return Rect{half(lo, 0) + ox, half(lo, 1) + oy, half(hi, 0) + ox, half(hi, 1) + oy};
    }
};
ColourPasses ColourPassesOf(N_Context* pctx, const N_SwScreen& s) {
    ColourPasses p;
    const ULONG c = pctx->cClipRects;
    const GLBuffer* D = pDrawBuffer(pctx);
    p.window = WindowRect(pctx, s);
    if (D == nullptr || pctx->pulPackedClip == nullptr || c == 0 || (c > 1 && pctx->multiRect != 1)) return p;
    p.pulPacked = pctx->pulPackedClip;
    p.count = c;
    p.ox = D->x;
    p.oy = D->y;
    return p;
}

// The raw clip rectangles of a stencil write, every one of them; without
// any, the window.
struct StencilPasses {
    const ULONG* pulDecoded = nullptr;  // null: the one pass `window`
    ULONG count = 1;
    Rect window{};
    Rect At(ULONG k) const {
        if (pulDecoded == nullptr) return window;
        const auto* r = reinterpret_cast<const LONG*>(pulDecoded + 4 * std::size_t{k});
        return Rect{r[0], r[1], r[2], r[3]};
    }
};
StencilPasses StencilPassesOf(N_Context* pctx, const N_SwScreen& s) {
    StencilPasses p;
    p.window = WindowRect(pctx, s);
    if (pctx->cClipRects == 0 || pctx->pulDecodedClip == nullptr) return p;
    p.pulDecoded = pctx->pulDecodedClip;
    p.count = pctx->cClipRects;
    return p;
}

// The closing of a packet: the batch word is the largest primitive count.
void vClose(N_HwFrame& f, ULONG* p) { _NHwSoftClose(f, p); }

}  // namespace

N_SpanWriteWords _NSpanWriteWords(ULONG m) {
    return N_SpanWriteWords{(m & N_MODE_FRAGMENTS) != 0 && !(m & KZ_EN_COLOUR_HOST),
                            (m & KZ_EN_ALPHA_BUFFER) && (m & KZ_EN_ALPHA) && !(m & KZ_EN_ALPHA_HOST),
                            (m & KZ_EN_DEPTH) && !(m & KZ_EN_DEPTH_HOST)};
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
    const ColourPasses passes = ColourPassesOf(pctx, screen);
    const ULONG cPasses = passes.count;
    KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    const bool bSplit = qm != nullptr && qm->pLayout != nullptr && qm->pLayout->bSplitScreen != 0;
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    for (ULONG k = 0; k < cPasses; ++k) {
        // A pass with nothing of it on the screen sends nothing.
        const kzClipPair clip = ClipPairOf(passes.At(k), bSplit, screen.cx, screen.cy);
        if (clip.empty()) continue;
        LONG i = 0;
        // Fewer a packet where a whole chunk does not fit a queue ring.
        const ULONG perPacket = _NHwPiecePrims(phw, _NHwHeadBytes(prog) + 8, words * 4, N_SPAN_WRITE_CHUNK);
        for (ULONG left = live; left > 0;) {
            const ULONG chunk = std::min(left, perPacket);
            left -= chunk;
            const ULONG cbRoom = chunk * words * 4 + _NHwHeadBytes(prog) + 8;
            phw->batchCount = N_SPAN_WRITE_CHUNK;
            ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, cbRoom);
            phw->batchCount = 0;
            if (p == nullptr || !_NHwFrameQueues(&f)) {
                _NSoftUpdateQAddr(phw);
                return;
            }
            kzSetClipPair(prog, clip);
            p = _NHwWriteHead(f, prog, p, nullptr, 0);
            for (ULONG c = 0; c < chunk && i < n; ++i) {
                if ((sp->pMask[i] & 1u) == 0) continue;
                if (bColour) *p++ = sp->pPacked[i];
                if (bAlpha) *p++ = _NAlphaWord(_NAlphaByte(sp->pAlpha[i]));
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
    const ULONG pid = _NPidOf(pctx->buffers[N_SLOT_STENCIL].pBuffer);
    const N_SwScreen screen = _NSwScreenOf(pctx);
    const StencilPasses rects = StencilPassesOf(pctx, screen);
    const ULONG cRects = bRun ? rects.count : 1;
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    LONG first = 0;
    for (ULONG left = live; left > 0;) {
        const ULONG chunk = std::min(left, N_SPAN_WRITE_CHUNK);
        left -= chunk;
        LONG next = first;
        for (ULONG k = 0; k < cRects; ++k) {
            const kzClipPair clip = bRun ? ClipPairOf(rects.At(k), false, screen.cx, screen.cy) : kzClipPair{};
            if (bRun && clip.empty()) continue;
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
                *p++ = clip.min;
                *p++ = clip.max;
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
        const N_BoundBuffer& b = pctx->buffers[N_SLOT_STENCIL];
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
    const ULONG want = KZ_EN_ALPHA_BUFFER | KZ_EN_ALPHA | KZ_EN_ALPHA_HOST;
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
        *pj = static_cast<BYTE>((*pj & keep) | (_NAlphaByte(sp->pAlpha[i]) & ~keep));
    }
}

void _NWriteStencilHost(N_Pipe*, N_FragSpan* sp, ULONG bRun) {
    if (!bNHaveContext()) return;
    const N_BoundBuffer& b = gpNCurrent->buffers[N_SLOT_STENCIL];
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
