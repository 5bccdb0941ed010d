// The accumulation buffer in host memory (swaccum.h): the clear, the five
// operations and the clip-box test they share.
#include "swaccum.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "3d/context/arena.h"
#include "3d/queue/queue.h"
#include "3d/validate/validate.h"
#include "lgigl.h"
#include "glpdev.h"
#include "shared/software/swfrag.h"
#include "shared/software/swhost.h"
#include "../../seams.h"

namespace {

constexpr float kOneOver255 = std::bit_cast<float>(0x3B808081u);
constexpr ULONG kOneBits = 0x3F800000u;

// The 3D area (the screen the GL server draws on, whose size the
// accumulation memory has): false without a device. *pcxScreens, when
// asked, is the width of the screens a window may lie on (a split board's
// two screens side by side).
bool bArea(N_Context* pctx, LONG* pcx, LONG* pcy, LONG* pcxScreens = nullptr) {
    N_HwRecord* phw = pctx->pHw;
    PDEV* ppdev = phw != nullptr && phw->pDevice != nullptr ? phw->pDevice->ppdev : nullptr;
    if (ppdev == nullptr) return false;
    *pcx = std::max<LONG>(plGLScreenSize(ppdev)[0], 0);
    *pcy = std::max<LONG>(plGLScreenSize(ppdev)[1], 0);
    if (pcxScreens != nullptr) *pcxScreens = _NScreensWidth(phw, *pcx);
    return true;
}

// The accumulation buffer's pixel memory, allocated on first use (the
// record and the binding's cached copy both get it); null on failure.
BYTE* pjAccumMemory(N_BoundBuffer& acc) {
    if (acc.pBuffer->pvPixels == nullptr) {
        void* pv = _DAllocAccumBuffer();
        if (pv == nullptr) return nullptr;
        acc.pBuffer->pvPixels = pv;
    }
    acc.pjBase = static_cast<BYTE*>(acc.pBuffer->pvPixels);
    return acc.pjBase;
}

// The bytes of accumulation memory: the allocation is the 3D area's size
// (8 bytes a pixel), so a window larger than the screen never reaches past it.
std::uint64_t cjAccum(LONG cxArea, LONG cyArea) { return std::uint64_t(cxArea) * std::uint64_t(cyArea) * 8u; }
ULONG ulAccumPitch(const N_BoundBuffer& acc) {
    return acc.pitch != 0 ? acc.pitch : 8u * static_cast<ULONG>(std::max<LONG>(acc.pBuffer->cx, 0));
}

ULONG ulPair0(const float* c) { return (_NAccumEncode(c[0]) << 16) | _NAccumEncode(c[1]); }
ULONG ulPair1(const float* c) { return (_NAccumEncode(c[2]) << 16) | _NAccumEncode(c[3]); }
void vDecode(const ULONG* pul, float* c) {
    c[0] = _NAccumDecode(pul[0] >> 16);
    c[1] = _NAccumDecode(pul[0]);
    c[2] = _NAccumDecode(pul[1] >> 16);
    c[3] = _NAccumDecode(pul[1]);
}
void vStore(ULONG* pul, const float* c) {
    pul[0] = ulPair0(c);
    pul[1] = ulPair1(c);
}

// The window's working area: columns c0 .. c1 - 1 and rows r0 .. r1 - 1 of
// the read buffer's window that lie on the 3D area and in the buffer.
struct Area {
    LONG x0 = 0, y0 = 0;
    LONG c0 = 0, c1 = 0, r0 = 0, r1 = 0;
    ULONG pitch = 0;
    BYTE* pjAccum = nullptr;
    bool all = false;
    bool alpha = false;
};

bool bVisible(N_Context* pctx, const Area& a, LONG x, LONG r) {
    return a.all || _NClipBoxesCover(pctx, x, r, x, r) != 0;
}
ULONG* pulAccumPixel(const Area& a, LONG x, LONG r) {
    return reinterpret_cast<ULONG*>(a.pjAccum + std::size_t(a.pitch) * std::size_t(r) + 8u * std::size_t(x));
}

// The colour row r of the read buffer, columns c0 .. c1 - 1, into pul
// (indexed by column; zero where nothing is read).
void vReadColourRow(const N_BoundBuffer& read, const Area& a, LONG r, ULONG* pul) {
    std::fill(pul, pul + a.c1, 0u);
    const GLBuffer* pb = read.pBuffer;
    if (read.pjBase == nullptr) {
        _NGetRow(pb, a.x0 + a.c0, a.y0 + r, a.c1 - a.c0, pul + a.c0);
        return;
    }
    if (read.bytesPerPixel != 4) return;
    for (LONG x = a.c0; x < a.c1; ++x) pul[x] = _NHostRead(read, std::int64_t{a.x0} + x, std::int64_t{a.y0} + r);
}

// The alpha row r (one byte a column) from the alpha binding: each window
// pixel's own alpha, from host alpha memory by the alpha buffer's origin.
void vReadAlphaRow(const N_BoundBuffer& alpha, const Area& a, LONG r, BYTE* pj) {
    std::fill(pj, pj + a.c1, BYTE{0});
    const LONG y = a.y0 + r;
    if (alpha.pjBase == nullptr) {
        auto* pulTmp = reinterpret_cast<ULONG*>(pj + ((std::size_t(a.c1) + 15) & ~std::size_t{15}));
        std::fill(pulTmp, pulTmp + a.c1, 0u);
        _NGetRow(alpha.pBuffer, a.x0 + a.c0, y, a.c1 - a.c0, pulTmp + a.c0);
        for (LONG x = a.c0; x < a.c1; ++x) pj[x] = static_cast<BYTE>(pulTmp[x]);
        return;
    }
    for (LONG x = a.c0; x < a.c1; ++x) {
        const BYTE* pjAlpha = _NHostPixel(alpha, std::int64_t{a.x0} + x, y);
        if (pjAlpha != nullptr) pj[x] = *pjAlpha;
    }
}

ULONG ulTrunc(float v) { return static_cast<ULONG>(static_cast<LONG>(v)); }

}  // namespace

ULONG _NClipBoxesCover(N_Context* pctx, LONG xa, LONG ya, LONG xb, LONG yb) {
    // The boxes are kept in screen pixels; the window's origin is the read
    // buffer's.
    const LONG slot = pctx->val.readSlot;
    const GLBuffer* pb = slot >= 0 && slot < LONG(N_BUFFER_SLOTS) ? pctx->buffers[slot].pBuffer : nullptr;
    const std::int64_t ox = pb != nullptr ? pb->x : 0, oy = pb != nullptr ? pb->y : 0;
    for (ULONG i = 0; i < pctx->cClipRects; ++i) {
        const ULONG* c = pctx->pulDecodedClip + 4 * std::size_t{i};
        const std::int64_t x0 = std::int64_t(c[0]) - ox, y0 = std::int64_t(c[1]) - oy;
        const std::int64_t x1 = std::int64_t(c[2]) - ox, y1 = std::int64_t(c[3]) - oy;
        if (x0 <= xa && x1 > xb && y0 <= ya && y1 > yb) return 1;
    }
    return 0;
}

void _NAccum(ULONG op, float value) {
    N_Context* pctx = gpNCurrent;
    const GLBuffer* pb = pctx->buffers[N_SLOT_ACCUM].pBuffer;
    if (pb == nullptr) return;
    if (pb->memoryKind == GLBUFFER_MEMORY_HOST)
        _NAccumSw(pctx, op, value);
    else
        _NAccumBoard(pctx, op, value);
}

void _NClearAccum(ULONG) {
    N_Context* pctx = gpNCurrent;
    const GLBuffer* pb = pctx->buffers[N_SLOT_ACCUM].pBuffer;
    if (pb == nullptr) return;
    if (pb->memoryKind == GLBUFFER_MEMORY_HOST)
        _NClearAccumSw(pctx);
    else
        _NClearAccumBoard(pctx);
}

void _NAccumBoard(N_Context*, ULONG, float) {}
void _NClearAccumBoard(N_Context*) {}

void _NClearAccumSw(N_Context* pctx) {
    N_BoundBuffer& acc = pctx->buffers[N_SLOT_ACCUM];
    LONG cxArea, cyArea;
    if (!bArea(pctx, &cxArea, &cyArea)) return;
    BYTE* pj = pjAccumMemory(acc);
    if (pj == nullptr) return;
    float c[4];
    for (ULONG i = 0; i < 4; ++i) c[i] = fNAttr(pctx, N_ATTR_CLEAR_ACCUM, i);
    const ULONG w0 = ulPair0(c), w1 = ulPair1(c);
    // The whole buffer, not only what the clip boxes show; never past the
    // memory (a window larger than the screen).
    const std::uint64_t cjBuffer = std::uint64_t(ulAccumPitch(acc)) * std::uint64_t(std::max<LONG>(acc.pBuffer->cy, 0));
    const std::uint64_t cPairs = std::min(cjBuffer, cjAccum(cxArea, cyArea)) / 8;
    auto* pul = reinterpret_cast<ULONG*>(pj);
    for (std::uint64_t i = 0; i < cPairs; ++i) {
        pul[2 * i] = w0;
        pul[2 * i + 1] = w1;
    }
}

void _NAccumSw(N_Context* pctx, ULONG op, float value) {
    if (*pulAttr(pctx, N_ATTR_RENDER_MODE) == 1) return;
    _NValReadBuffer(pctx);
    _NValDrawBuffer(pctx);
    _NValEnableFlags(pctx);
    _NValWriteMasks(pctx);
    if (pctx->pBlock != nullptr) pctx->pBlock->front.mode = pctx->pBlock->back.mode = pctx->enableWord;

    N_BoundBuffer& acc = pctx->buffers[N_SLOT_ACCUM];
    const LONG readSlot = pctx->val.readSlot;
    if (acc.pBuffer == nullptr || readSlot < 0 || readSlot >= LONG(N_BUFFER_SLOTS)) return;
    const N_BoundBuffer& read = pctx->buffers[readSlot];
    if (read.pBuffer == nullptr) return;
    LONG cxArea, cyArea, cxScreens;
    if (!bArea(pctx, &cxArea, &cyArea, &cxScreens)) return;
    if (pjAccumMemory(acc) == nullptr) return;

    // The area: the read buffer's window cut at the edges of the screens it
    // may lie on, all four of them (a window partly left of or above the
    // screen has no pixels there), and to the rows and columns the memory
    // holds.
    Area a;
    a.x0 = read.pBuffer->x;
    a.y0 = read.pBuffer->y;
    a.pitch = ulAccumPitch(acc);
    a.pjAccum = acc.pjBase;
    if (a.pitch < 8) return;
    LONG w = read.pBuffer->cx, h = read.pBuffer->cy;
    if (std::int64_t{a.x0} + w >= cxScreens) w = cxScreens - a.x0;
    if (std::int64_t{a.y0} + h >= cyArea) h = cyArea - a.y0;
    const std::uint64_t rowsHeld = cjAccum(cxArea, cyArea) / a.pitch;
    a.c0 = std::max<LONG>(0, -a.x0);
    a.r0 = std::max<LONG>(0, -a.y0);
    a.c1 = static_cast<LONG>(std::min<std::int64_t>({w, a.pitch / 8, N_ACCUM_MAX_ROW}));
    a.r1 = static_cast<LONG>(std::min<std::uint64_t>(std::max<LONG>(h, 0), rowsHeld));
    if (a.c1 <= a.c0 || a.r1 <= a.r0) return;
    a.all = _NClipBoxesCover(pctx, 0, 0, w - 1, h - 1) != 0;
    // LOAD and ACCUM read the read buffer's alpha; RETURN writes the draw
    // buffer's.
    const LONG alphaSlot = _NAlphaSlotOf(op == N_ACCUM_RETURN ? _NFirstDrawSlot(pctx) : readSlot);
    static const N_BoundBuffer kNoAlpha{};
    const N_BoundBuffer& alpha = alphaSlot >= 0 ? pctx->buffers[alphaSlot] : kNoAlpha;
    a.alpha = alpha.pBuffer != nullptr;

    auto* pulRow = reinterpret_cast<ULONG*>(gNArena.apImage[0]);
    ULONG* pulFlags = pulRow + std::max<LONG>(N_ACCUM_FLAGS_BYTE / 4, a.c1);
    BYTE* pjAlpha = gNArena.apImage[1];

    switch (op) {
        case N_ACCUM_ACCUM:
        case N_ACCUM_LOAD:
            for (LONG r = a.r0; r < a.r1; ++r) {
                vReadColourRow(read, a, r, pulRow);
                if (a.alpha) vReadAlphaRow(alpha, a, r, pjAlpha);
                for (LONG x = a.c0; x < a.c1; ++x) {
                    if (!bVisible(pctx, a, x, r)) continue;
                    const ULONG px = pulRow[x];
                    float p[4] = {static_cast<float>((px >> 16) & 0xFFu) * kOneOver255 * value,
                                  static_cast<float>((px >> 8) & 0xFFu) * kOneOver255 * value,
                                  static_cast<float>(px & 0xFFu) * kOneOver255 * value,
                                  a.alpha ? static_cast<float>(pjAlpha[x]) * kOneOver255 * value : 0.0f};
                    ULONG* pul = pulAccumPixel(a, x, r);
                    if (op == N_ACCUM_ACCUM) {
                        float c[4];
                        vDecode(pul, c);
                        for (ULONG i = 0; i < 4; ++i) p[i] = c[i] + p[i];
                    }
                    vStore(pul, p);
                }
            }
            break;
        case N_ACCUM_MULT:
        case N_ACCUM_ADD:
            for (LONG r = a.r0; r < a.r1; ++r)
                for (LONG x = a.c0; x < a.c1; ++x) {
                    if (!bVisible(pctx, a, x, r)) continue;
                    ULONG* pul = pulAccumPixel(a, x, r);
                    float c[4];
                    vDecode(pul, c);
                    for (float& v : c) v = op == N_ACCUM_MULT ? std::clamp(v * value, -1.0f, 1.0f) : v + value;
                    vStore(pul, c);
                }
            break;
        case N_ACCUM_RETURN: {
            float m[3];
            _NChannelMax(pctx, m);
            const LONG drawSlot = _NFirstDrawSlot(pctx);
            const GLBuffer* pDraw = drawSlot >= 0 ? pctx->buffers[drawSlot].pBuffer : nullptr;
            const ULONG offset = pDraw != nullptr && pDraw->bitsPerPixel == 8 ? 0x200000u : 0u;
            const bool bScale = std::bit_cast<ULONG>(value) != kOneBits;
            for (LONG r = a.r0; r < a.r1; ++r) {
                std::fill(pulRow, pulRow + a.c1, 0u);
                if (a.alpha) std::fill(pjAlpha, pjAlpha + a.c1, BYTE{0});
                LONG cVisible = 0;
                for (LONG x = 0; x < a.c1; ++x) {
                    if (x < a.c0 || !bVisible(pctx, a, x, r)) {
                        pulFlags[x] = 0;
                        continue;
                    }
                    float c[4];
                    vDecode(pulAccumPixel(a, x, r), c);
                    for (float& v : c) v = std::clamp(bScale ? v * value : v, 0.0f, 1.0f);
                    const ULONG R = ulTrunc(c[0] * m[0]), G = ulTrunc(c[1] * m[1]), B = ulTrunc(c[2] * m[2]);
                    if (a.alpha) pjAlpha[x] = static_cast<BYTE>(_NAlphaByte(c[3]));
                    pulRow[cVisible++] = (((R << 8) + G) << 8) + offset + B;
                    pulFlags[x] = 1;
                }
                _NAccumReturnRowKZ(pctx, cVisible, r, pulRow, a.alpha ? pjAlpha : nullptr, pulFlags,
                                   static_cast<ULONG>(a.c1));
            }
            break;
        }
        default:
            break;
    }
}
