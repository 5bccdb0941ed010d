// The image transfers of the GL layer that the pixel paths and the software
// paths use on buffers in board memory: rows and rectangles of 32-bit
// words written into a colour buffer (plain or zoomed), rows read from any
// bound buffer, copies between colour buffers, and the direct read of read
// pixels. Positions arrive in screen pixels (the buffer's window origin
// already added), rows counted from the top of the screen; the GL server
// core's transfers move them through the display driver, clipped to the
// window's clip list, the right-eye buffers of a stereo page in the lower
// image.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "lgigl.h"
#include "platform/engine.h"
#include "pixelpath.h"
#include "3d/validate/validate.h"
#include "../../seams.h"

namespace {

constexpr ULONG kFlagByteImage = 0x80000000u;  // the put's 8-bit image, last row first
constexpr ULONG kLeftKinds = GLBUFFER_FRONT_LEFT | GLBUFFER_BACK_LEFT;
constexpr ULONG kRightKinds = GLBUFFER_FRONT_RIGHT | GLBUFFER_BACK_RIGHT;
constexpr ULONG kColourKinds = kLeftKinds | kRightKinds;
constexpr ULONG kZoomStart = 0x7FD3;  // the zoomed write's accumulators start here
constexpr ULONG kZoomCarry = 0xFFFF;
constexpr std::int64_t kMaxPixels = 0x10000000;  // 1 GB of words: no transfer is larger

// The buffer set of a board buffer, or null (host buffers have none).
GLBufferSet* pbsOf(const GLBuffer* pb) {
    return pb != nullptr && pb->memoryKind == GLBUFFER_MEMORY_DEVICE ? _DBufferSetOf(pb) : nullptr;
}

// Bytes a pixel of the buffer's surface as the read delivers them: 4, 2 or
// 1; 0 for a surface the read does not take.
ULONG cjSurfacePixel(const GLBuffer* pb) {
    SURFOBJ* pso = EngLockSurface(pb->hsurf);
    if (pso == nullptr) return 0;
    const ULONG iFormat = pso->iBitmapFormat;
    EngUnlockSurface(pso);
    switch (iFormat) {
        case BMF_32BPP: return 4;
        case BMF_16BPP: return 2;
        case BMF_8BPP: return 1;
        default: return 0;
    }
}

std::uint32_t ulWiden5(std::uint32_t v) { return v << 3 | v >> 2; }

// A 3-3-2 colour pixel's channels on 0..255, as the default palette shows
// them: red steps 0 and 1 are 0 and steps 2 to 6 rise by 51 (the colour
// conversion's red offset of one step), step 7 is full; green in sevenths
// and blue in thirds. Green's sevenths are rounded up, so that a channel
// read back and converted again lands on the step it was read from.
ULONG ulWiden332(ULONG p) {
    const ULONG r3 = (p >> 5) & 7u, g3 = (p >> 2) & 7u, b2 = p & 3u;
    const ULONG r = r3 <= 1 ? 0 : r3 == 7 ? 255 : 51 * (r3 - 1);
    const ULONG g = (255 * g3 + 6) / 7;
    return r << 16 | g << 8 | 85 * b2;
}

// A stored pixel as the word the render paths read: colour pixels of a
// 16-bit buffer widened from 5-5-5, and of an 8-bit one from 3-3-2, to red
// in bits 16-23, green 8-15, blue 0-7; every other pixel as stored.
ULONG ulWordOf(const BYTE* pj, ULONG cj, bool bColour) {
    ULONG v = 0;
    std::memcpy(&v, pj, cj);  // little-endian: the low bytes
    if (cj == 2 && bColour)
        return ulWiden5((v >> 10) & 31u) << 16 | ulWiden5((v >> 5) & 31u) << 8 | ulWiden5(v & 31u);
    if (cj == 1 && bColour) return ulWiden332(v);
    return v;
}

// The window z (24 bits) of a 16-bit depth buffer's stored word: the near
// part of the range is kept as z / 512, the far sixteenth (z with its top
// four bits set) in the floating form the render paths write (bit 15 set,
// in bits 12-14 the count of further leading ones, in bits 0-11 the bits
// that follow them).
ULONG ulDepthOfWord16(ULONG w) {
    if ((w & 0x8000u) == 0) return (w & 0x7FFFu) << 9;
    const ULONG n = (w >> 12) & 7u;
    const ULONG cShift = std::min<ULONG>(n, 6);
    const ULONG ulOnes = ((1u << n) - 1u) << (20 - n);
    return (0xF00000u | ulOnes | ((w & 0xFFFu) << (7 - cShift))) & 0xFFFFFFu;
}

// Outputs of one zoomed axis for cSrc sources: as the zoomed write counts
// them (the whole part each, one more whenever the fraction carries).
LONG cZoomed(LONG cSrc, ULONG ulInt, ULONG ulFrac) {
    std::int64_t c = 0;
    ULONG acc = kZoomStart;
    for (LONG i = 0; i < cSrc; ++i) {
        acc += ulFrac & kZoomCarry;
        c += ulInt;
        if (acc > kZoomCarry) {
            ++c;
            acc &= kZoomCarry;
        }
    }
    return static_cast<LONG>(std::min<std::int64_t>(c, 0x7FFF));
}

// The image rows reversed into host memory: the transfers take the top row
// first. Null when there is no memory.
ULONG* pulTopDown(const ULONG* pulBottomUp, LONG cx, LONG cy) {
    const std::size_t cRow = static_cast<std::size_t>(cx);
    auto* pul = static_cast<ULONG*>(_Nalloc(cRow * static_cast<std::size_t>(cy) * sizeof(ULONG)));
    if (pul == nullptr) return nullptr;
    for (LONG r = 0; r < cy; ++r)
        std::memcpy(pul + std::size_t(cy - 1 - r) * cRow, pulBottomUp + std::size_t(r) * cRow, cRow * sizeof(ULONG));
    return pul;
}

// Whether a rectangle is one the transfers take: not empty, not beyond the
// screen's coordinates, its words addressable.
bool bTransferable(std::int64_t x, std::int64_t y, std::int64_t cx, std::int64_t cy) {
    if (cx <= 0 || cy <= 0 || cx * cy > kMaxPixels) return false;
    const auto inRange = [](std::int64_t v) { return v >= -0x8000 && v <= 0x10000; };
    return inRange(x) && inRange(y) && inRange(x + cx) && inRange(y + cy);
}

// A depth in [0, 1] stored as one value of the type (integers rounded).
void vPutDepth(BYTE* pj, ULONG ulType, float d) {
    const auto put = [pj](auto v) { std::memcpy(pj, &v, sizeof v); };
    const auto scaled = [d](double max) { return d * max + 0.5; };
    switch (ulType) {
        case N_PIXTYPE_UBYTE: put(static_cast<std::uint8_t>(scaled(255.0))); break;
        case N_PIXTYPE_BYTE: put(static_cast<std::int8_t>(scaled(127.0))); break;
        case N_PIXTYPE_USHORT: put(static_cast<std::uint16_t>(scaled(65535.0))); break;
        case N_PIXTYPE_SHORT: put(static_cast<std::int16_t>(scaled(32767.0))); break;
        case N_PIXTYPE_UINT: put(static_cast<std::uint32_t>(scaled(4294967295.0))); break;
        case N_PIXTYPE_INT: put(static_cast<std::int32_t>(scaled(2147483647.0))); break;
        case N_PIXTYPE_FLOAT: put(d); break;
        default: break;
    }
}

}  // namespace

void _NPutRect(const GLBuffer* pBuffer, LONG x, LONG yBottom, LONG cx, LONG cy, const ULONG* pulPixels,
               ULONG flConvert) {
    GLBufferSet* pbs = pbsOf(pBuffer);
    const std::int64_t yTop64 = std::int64_t{yBottom} - cy + 1;
    if (pbs == nullptr || pulPixels == nullptr || (pBuffer->kind & kColourKinds) == 0 ||
        !bTransferable(x, yTop64, cx, cy))
        return;
    const LONG yTop = static_cast<LONG>(yTop64);
    if (flConvert != 0) {
        // One byte a pixel from the top of each word, last row first as the
        // rows come.
        auto* pj = static_cast<BYTE*>(_Nalloc(std::size_t(cx) * std::size_t(cy)));
        if (pj == nullptr) return;
        for (std::size_t i = 0; i < std::size_t(cx) * std::size_t(cy); ++i)
            pj[i] = static_cast<BYTE>(pulPixels[i] >> 28);
        _DPutImage(pbs, pBuffer->kind | kFlagByteImage, x, yTop, cx, cy, pj);
        _Nfree(pj);
        return;
    }
    if (cy == 1) {
        _DPutImage(pbs, pBuffer->kind, x, yTop, cx, 1, const_cast<ULONG*>(pulPixels));
        return;
    }
    ULONG* pul = pulTopDown(pulPixels, cx, cy);
    if (pul != nullptr) {
        _DPutImage(pbs, pBuffer->kind, x, yTop, cx, cy, pul);
        _Nfree(pul);
        return;
    }
    // Without memory for the turned image: row by row.
    for (LONG r = 0; r < cy; ++r)
        _DPutImage(pbs, pBuffer->kind, x, yBottom - r, cx, 1, const_cast<ULONG*>(pulPixels + std::size_t(r) * cx));
}

void _NPutRectZoom(const GLBuffer* pBuffer, LONG x, LONG yBottom, LONG cx, LONG cy, const ULONG* pulPixels,
                   ULONG ulZoomXInt, ULONG ulZoomXFrac, ULONG ulZoomYInt, ULONG ulZoomYFrac) {
    GLBufferSet* pbs = pbsOf(pBuffer);
    if (pbs == nullptr || pulPixels == nullptr || (pBuffer->kind & kColourKinds) == 0 || cx <= 0 || cy <= 0)
        return;
    // The zoomed image grows up from the bottom row and right from x.
    const LONG cxDest = cZoomed(cx, ulZoomXInt, ulZoomXFrac);
    const LONG cyDest = cZoomed(cy, ulZoomYInt, ulZoomYFrac);
    const std::int64_t yTop64 = std::int64_t{yBottom} - cyDest + 1;
    if (!bTransferable(x, yTop64, cxDest, cyDest) || !bTransferable(x, yTop64, cx, cy)) return;
    const LONG yTop = static_cast<LONG>(yTop64);
    ULONG* pul = pulTopDown(pulPixels, cx, cy);
    if (pul == nullptr) return;
    const ULONG aulZoom[4] = {ulZoomXInt, ulZoomYInt, ulZoomXFrac, ulZoomYFrac};
    _DPutImageZoom(pbs, pBuffer->kind, x, yTop, cx, cy, cxDest, cyDest, aulZoom, pul);
    _Nfree(pul);
}

void _NGetRow(const GLBuffer* pBuffer, LONG x, LONG y, LONG cx, ULONG* pulPixels) {
    if (pulPixels == nullptr || cx <= 0) return;
    std::fill(pulPixels, pulPixels + cx, 0u);
    GLBufferSet* pbs = pbsOf(pBuffer);
    if (pbs == nullptr || !bTransferable(x, y, cx, 1)) return;
    const ULONG cj = cjSurfacePixel(pBuffer);
    if (cj == 0) return;
    // The row lands in the words' own memory, packed at their start, and is
    // widened in place from the last pixel down.
    auto* pj = reinterpret_cast<BYTE*>(pulPixels);
    if (_DGetImage(pbs, pBuffer->kind, x, y, cx, 1, pj) == 0) {
        std::fill(pulPixels, pulPixels + cx, 0u);
        return;
    }
    const bool bDepth = (pBuffer->kind & GLBUFFER_DEPTH) != 0;
    if (cj == 4 && !bDepth) return;
    // The colour buffers of an index window hold their indices as stored
    // (the 8-bit format, or on a 16-bit display the 16-bit one): not widened
    // as colours, and delivered in the upper half of the word, where the
    // read transfer of index data takes them from.
    const auto* pdr = static_cast<const GLDeviceRecord*>(pBuffer->pDeviceRecord);
    const ULONG fmt = pdr != nullptr ? pdr->pid & 0xE000u : 0xE000u;
    const bool bIndex = (pBuffer->kind & kColourKinds) != 0 && (fmt == 0x6000u || fmt == 0x0000u);
    const bool bColour = (pBuffer->kind & kColourKinds) != 0 && !bIndex;
    const bool bDepth16 = bDepth && pBuffer->bitsPerPixel == 16;
    for (LONG i = cx - 1; i >= 0; --i) {
        const ULONG w = ulWordOf(pj + std::size_t(i) * cj, cj, bColour);
        // Depth as window z: 24 significant bits.
        pulPixels[i] = bIndex ? w << 16 : !bDepth ? w : bDepth16 ? ulDepthOfWord16(w & 0xFFFFu) : w & 0xFFFFFFu;
    }
}

void _NCopyRect(const GLBuffer* pSrc, LONG xSrc, LONG ySrc, const GLBuffer* pDst, LONG x, LONG y, LONG cx,
                LONG cy, ULONG ulMode) {
    GLBufferSet* pbs = pbsOf(pDst);
    if (pbs == nullptr || pSrc == nullptr || pbsOf(pSrc) != pbs || !bTransferable(x, y, cx, cy) ||
        !bTransferable(xSrc, ySrc, cx, cy))
        return;
    ULONG kindDst = pDst->kind & kColourKinds;
    if ((pSrc->kind & kColourKinds) == 0 || kindDst == 0) return;
    // The stereo copy writes both halves of the frame: the destination names
    // both eyes of its buffer.
    if (ulMode == 1) kindDst |= (kindDst & kLeftKinds) << 1 | (kindDst & kRightKinds) >> 1;
    _DCopyImage(pbs, pSrc->kind & kColourKinds, kindDst, x, y, cx, cy, xSrc, ySrc);
}

void _NDirectReadPixels(N_Context* pctx, const N_BoundBuffer* pSlot, LONG x, LONG y, LONG cx, LONG cy,
                        ULONG ulFormat, ULONG ulType, void* pvDest) {
    if (pctx == nullptr || pSlot == nullptr || pSlot->pBuffer == nullptr || pvDest == nullptr || cx <= 0 ||
        cy <= 0)
        return;
    const GLBuffer* pb = pSlot->pBuffer;
    // The board serves colour as bytes when no transfer changes them: the
    // rows are read straight and the bytes taken from the words.
    bool bIdentity = true;
    for (ULONG c = 0; c < 4; ++c)
        bIdentity = bIdentity && __glXWordFloat(*pulAttr(pctx, N_ATTR_RED_SCALE + c)) == 1.0f &&
                    __glXWordFloat(*pulAttr(pctx, N_ATTR_RED_BIAS + c)) == 0.0f;
    // Alpha comes from an alpha buffer when one is bound: the pixel path
    // merges it.
    const bool bColour = (pb->kind & kColourKinds) != 0 && (ulFormat == 7 || ulFormat == 8) &&
                         (_NAlphaSlotOf(pctx->val.readSlot) < 0 ||
                          pctx->buffers[_NAlphaSlotOf(pctx->val.readSlot)].pBuffer == nullptr);
    if (bIdentity && bColour && ulType == N_PIXTYPE_UBYTE && cx <= static_cast<LONG>(N_SPAN)) {
        ULONG* pulRow = _NPixPacked();
        auto* pj = static_cast<BYTE*>(pvDest);
        const std::size_t cjPixel = ulFormat == 8 ? 4 : 3;
        // GL rows go up from the window's bottom edge: row r of the image is
        // screen row (height - 1 - y - r) of the window.
        const LONG xScreen = static_cast<LONG>(std::int64_t{x} + pb->x);
        for (LONG r = 0; r < cy; ++r) {
            const std::int64_t yScreen = std::int64_t{pb->y} + pb->cy - 1 - y - r;
            if (yScreen < INT32_MIN || yScreen > INT32_MAX) continue;
            _NGetRow(pb, xScreen, static_cast<LONG>(yScreen), cx, pulRow);
            BYTE* pjRow = pj + std::size_t(r) * std::size_t(cx) * cjPixel;
            for (LONG i = 0; i < cx; ++i) {
                const ULONG w = pulRow[i];
                BYTE* p = pjRow + std::size_t(i) * cjPixel;
                p[0] = static_cast<BYTE>(w >> 16);
                p[1] = static_cast<BYTE>(w >> 8);
                p[2] = static_cast<BYTE>(w);
                if (cjPixel == 4) p[3] = 255;
            }
        }
        return;
    }
    // Depth: the rows' window z as values of the type, after the depth
    // scale and bias.
    if ((pb->kind & GLBUFFER_DEPTH) != 0 && ulFormat == N_PIXFMT_DEPTH && cx <= static_cast<LONG>(N_SPAN)) {
        const ULONG cj = _NPixTypeBytes(ulType);
        if (cj == 0) return;
        ULONG* pulRow = _NPixPacked();
        auto* pj = static_cast<BYTE*>(pvDest);
        const float fScale = __glXWordFloat(*pulAttr(pctx, N_ATTR_DEPTH_SCALE));
        const float fBias = __glXWordFloat(*pulAttr(pctx, N_ATTR_DEPTH_BIAS));
        const LONG xScreen = static_cast<LONG>(std::int64_t{x} + pb->x);
        for (LONG r = 0; r < cy; ++r) {
            const std::int64_t yScreen = std::int64_t{pb->y} + pb->cy - 1 - y - r;
            if (yScreen < INT32_MIN || yScreen > INT32_MAX) continue;
            _NGetRow(pb, xScreen, static_cast<LONG>(yScreen), cx, pulRow);
            BYTE* pjRow = pj + std::size_t(r) * std::size_t(cx) * cj;
            for (LONG i = 0; i < cx; ++i)
                vPutDepth(pjRow + std::size_t(i) * cj, ulType,
                          _NPixClamp(static_cast<float>(pulRow[i] / 16777215.0) * fScale + fBias));
        }
        return;
    }
    // Everything else goes through the pixel path, which reads the board's
    // rows the same way.
    N_PixelSpan span = _NReadPixelsSpan(x, y, cx, cy, ulFormat, ulType, pvDest);
    _NValidateAndDraw(pctx, &span, span.kind, 0);
}
