// The whole-rectangle pixel operations of a context: clear, and the entries
// of draw, copy and read pixels, which take the direct paths where the board
// serves the request as it stands and the pixel primitive otherwise.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "../../seams.h"
#include "kz2/render/kzrects.h"
#include "pixelpath.h"
#include "3d/validate/validate.h"
#include "3d/queue/queue.h"

namespace {

// Colour buffers in clear order: mask bit and slot.
struct MaskSlot {
    ULONG flMask;
    ULONG iSlot;
};
constexpr MaskSlot kColourSlots[] = {{GLBUFFER_FRONT_LEFT, N_SLOT_FRONT_LEFT},
                                     {GLBUFFER_BACK_LEFT, N_SLOT_BACK_LEFT},
                                     {GLBUFFER_FRONT_RIGHT, N_SLOT_FRONT_RIGHT},
                                     {GLBUFFER_BACK_RIGHT, N_SLOT_BACK_RIGHT}};
constexpr MaskSlot kPlaneSlots[] = {{GLBUFFER_ALPHA, N_SLOT_FRONT_LEFT_ALPHA},
                                    {GLBUFFER_PLANE_20000, N_SLOT_FRONT_RIGHT_ALPHA},
                                    {GLBUFFER_PLANE_80000, N_SLOT_BACK_RIGHT_ALPHA},
                                    {GLBUFFER_PLANE_40000, N_SLOT_BACK_LEFT_ALPHA}};

// Enable-word bits that the direct draw and copy cannot honour.
constexpr ULONG kDrawNeedsPipe = KZ_EN_LOGIC_OP | KZ_EN_STIPPLED_FILL | KZ_EN_ALPHA_TEST | KZ_EN_BLEND | KZ_EN_STENCIL |
                                 KZ_EN_TEXTURE | KZ_EN_ALPHA;
constexpr ULONG kCopyNeedsPipe = kDrawNeedsPipe | KZ_EN_DEPTH;
constexpr ULONG kBitmapNeedsPipe = kCopyNeedsPipe;
// An alpha buffer the colour writes reach (alpha writes on): the direct
// copy moves the colour buffer's words alone, the pixel path the alpha too.
bool bCopiesAlpha(const N_Context* pctx) {
    return (pctx->enableWord & (KZ_EN_ALPHA_BUFFER | KZ_EN_NO_ALPHA_WRITES)) == KZ_EN_ALPHA_BUFFER;
}

// lgi pixel format and type codes.
constexpr ULONG kFormatStencil = 1;
constexpr ULONG kFormatDepth = 2;
constexpr ULONG kFormatAlpha = 6;
constexpr ULONG kFormatRGB = 7;
constexpr ULONG kFormatRGBA = 8;
constexpr ULONG kTypeUnsignedByte = 0;
constexpr ULONG kTypeByte = 1;

constexpr ULONG kTokenBitmap = 0x704;
constexpr ULONG kTokenDrawPixels = 0x705;
constexpr ULONG kTokenCopyPixels = 0x706;
constexpr ULONG kPixelPrimDraw = 57;
constexpr ULONG kPixelPrimCopy = 59;

ULONG ulMaxOfBits(ULONG bits) { return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }

// A value of the context's float attribute in the units of a buffer of the
// given bits: 0 at or below 0, the buffer's maximum at or above 1.
ULONG ulScaled(float f, ULONG bits) {
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return ulMaxOfBits(bits);
    return static_cast<ULONG>(static_cast<double>(f) * ulMaxOfBits(bits));
}

// Whether a request may draw: raster position valid and render mode; in
// feedback mode the token goes to the feedback buffer instead.
bool bPixelsDrawn(N_Context* pctx, ULONG ulToken) {
    if (*pulAttr(pctx, N_ATTR_RASTER_POS_VALID) != 1) return false;
    const ULONG ulMode = *pulAttr(pctx, N_ATTR_RENDER_MODE);
    if (ulMode == N_RENDER_MODE_SELECT) return false;
    if (ulMode == N_RENDER_MODE_FEEDBACK) {
        _NFeedbackPixelToken(pctx, ulToken);
        return false;
    }
    return true;
}

// A plane, stencil or other ancillary buffer: host buffers are cleared in
// software, board buffers by the rectangle fill. Either keeps the bits
// ulKeep names (the write mask's bits left off).
void vClearAncillary(N_BoundBuffer& slot, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue, ULONG ulKeep) {
    if (slot.pBuffer->memoryKind == GLBUFFER_MEMORY_HOST) {
        const auto x1 = static_cast<LONG>(std::min<std::int64_t>(std::int64_t{x} + cx, INT32_MAX));
        const auto y1 = static_cast<LONG>(std::min<std::int64_t>(std::int64_t{y} + cy, INT32_MAX));
        _NClearHostRectMasked(&slot, x, y, x1, y1, ulValue, ulKeep);
    } else {
        _NClearRectMasked(slot.pBuffer, x, y, cx, cy, ulValue, ulKeep);
    }
}

// Whether colours pass the pixel transfer unchanged: no colour map, every
// colour scale 1 and bias 0.
bool bPlainColourTransfer(N_Context* pctx) {
    if (*pulAttr(pctx, N_ATTR_MAP_COLOUR) != 0) return false;
    for (ULONG c = 0; c < 4; ++c)
        if (fNAttr(pctx, N_ATTR_RED_SCALE + c) != 1.0f || fNAttr(pctx, N_ATTR_RED_BIAS + c) != 0.0f) return false;
    return true;
}

// Whether colours are drawn into 3-3-2 pixels (an RGBA window at 8 bits a
// pixel).
bool bDraws332(N_Context* pctx) {
    const GLBuffer* pDraw = _NDrawBuffer(pctx);
    return pDraw != nullptr && pDraw->bitsPerPixel == 8 && *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) != 1;
}

// Runs a request of the pixel paths from its span record.
void vPixelPath(N_Context* pctx, N_PixelSpan* ps) { _NValidateAndDraw(pctx, ps, ps->kind, 0); }

// The colour slot the read buffer (N_ATTR_READ_BUFFER) names, or null.
N_BoundBuffer* pReadBuffer(N_Context* pctx) {
    const ULONG flRead = *pulAttr(pctx, N_ATTR_READ_BUFFER);
    for (const MaskSlot& ms : kColourSlots)
        if (flRead & ms.flMask) return &pctx->buffers[ms.iSlot];
    return nullptr;
}

// Of n source pixels along one axis, starting at window coordinate from and
// stepping by zoom, how many can reach a window extent pixels long: the
// rest lie past its far edge and are never walked (two more are kept for
// the pixel-centre rules). A zoom of 0 draws nothing.
ULONG cReaching(ULONG n, float from, float zoom, LONG extent) {
    if (!(zoom != 0.0f)) return 0;
    if (!(from == from)) return n;
    const double dist = zoom > 0.0f ? static_cast<double>(extent) - from : static_cast<double>(from);
    if (dist < -2.0) return 0;
    const double need = std::ceil(std::max(dist, 0.0) / std::fabs(static_cast<double>(zoom))) + 2.0;
    return need < static_cast<double>(n) ? static_cast<ULONG>(need) : n;
}

// A zoom held to what reaches just past the window's far edge from the
// raster position (from, window coordinates): a first pixel that covers
// the rest of the window covers no more of it for a larger zoom, and the
// rows and pixels it repeats past the edge are never walked.
float fHeldZoom(float zoom, float from, LONG extent) {
    if (!(zoom == zoom) || !(from == from) || std::fabs(zoom) <= 2.0f) return zoom;
    const double dist = zoom > 0.0f ? static_cast<double>(extent) - from : static_cast<double>(from);
    const double limit = std::max(2.0, dist + 2.0);
    return std::fabs(zoom) > limit ? static_cast<float>(std::copysign(limit, static_cast<double>(zoom))) : zoom;
}

// The pixel zoom held (fHeldZoom) while a request runs the pixel path, and
// given back after it.
class HeldZoom {
  public:
    HeldZoom(N_Context* pctx, const GLBuffer* pb) : pctx_(pctx) {
        if (pb == nullptr) return;
        for (ULONG i = 0; i < 2; ++i) {
            ULONG* pul = pulAttr(pctx, N_ATTR_ZOOM_X + i);
            saved_[i] = *pul;
            *pul = std::bit_cast<ULONG>(fHeldZoom(__glXWordFloat(*pul), fNAttr(pctx, N_ATTR_RASTER_POS, i),
                                                  i == 0 ? pb->cx : pb->cy));
        }
        held_ = true;
    }
    ~HeldZoom() {
        if (!held_) return;
        for (ULONG i = 0; i < 2; ++i) *pulAttr(pctx_, N_ATTR_ZOOM_X + i) = saved_[i];
    }
    HeldZoom(const HeldZoom&) = delete;
    HeldZoom& operator=(const HeldZoom&) = delete;

  private:
    N_Context* pctx_;
    ULONG saved_[2] = {};
    bool held_ = false;
};

// The window of the buffers a pixel request draws into.
const GLBuffer* pbDrawWindow(N_Context* pctx) {
    const LONG iSlot = _NFirstDrawSlot(pctx);
    if (iSlot >= 0 && pctx->buffers[iSlot].pBuffer != nullptr) return pctx->buffers[iSlot].pBuffer;
    for (ULONG i : {N_SLOT_DEPTH, N_SLOT_STENCIL})
        if (pctx->buffers[i].pBuffer != nullptr) return pctx->buffers[i].pBuffer;
    return nullptr;
}

}  // namespace

// Below 24 bits a pixel bit 23 of the colour word is the overlay plane's
// bit, which a clear of the main plane keeps; at 8 bits it is red's top bit
// (3-3-2 red in bits 21-23), which the clear colour needs.
ULONG ulNClearColourValue(ULONG bits, ULONG ulValue) { return bits < 24 && bits != 8 ? ulValue & 0x7fffff : ulValue; }

ULONG ulNClearDepthValue(float fDepth, ULONG bits, ULONG bUseContext, ULONG ulValue) {
    bits = std::min<ULONG>(bits, 32);
    if (!(fDepth > 0.0f) || fDepth >= 1.0f || bUseContext == 1) return ulScaled(fDepth, bits);
    return ulValue;
}

void N_Accum(ULONG op, float value) {
    if (bNHaveContext()) _NAccum(op, value);
}

void N_ClearAccum(ULONG ulValue) {
    if (bNHaveContext()) _NClearAccum(ulValue);
}

void N_Clear(ULONG flMask, LONG x, LONG y, LONG cx, LONG cy, ULONG bUseContext, ULONG ulValue) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    if (pctx->pulPackedClip == pctx->builtinPacked) return;  // no window clip list yet
    const ULONG flClip = pctx->dirty & (N_DIRTY_CLIP_LIST | N_DIRTY_VIEWPORT);
    if (flClip != 0) _NValidate(pctx, flClip);

    const bool bIndexMode = *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1;
    // The write masks apply to a clear as to any drawing: the colour (or
    // index) bits the mask leaves alone keep their values, a depth buffer
    // whose mask is off is not cleared.
    _NValDrawBuffer(pctx);
    _NValWriteMasks(pctx);
    const ULONG ulKeep = bUseContext == 1 ? pctx->val.colourMaskNot : 0u;
    const bool bColourWritten = bUseContext != 1 || pctx->val.colourMask != 0;
    for (const MaskSlot& ms : kColourSlots) {
        GLBuffer* pBuffer = pctx->buffers[ms.iSlot].pBuffer;
        if (!(flMask & ms.flMask) || pBuffer == nullptr || !bColourWritten) continue;
        ULONG ul = ulValue;
        if (bUseContext == 1)
            ul = bIndexMode ? static_cast<ULONG>(__glXWordFloat(*pulAttr(pctx, N_ATTR_CLEAR_INDEX)))
                            : _NPackedClearColour(pctx, pBuffer);
        _NClearRectMasked(pBuffer, x, y, cx, cy, ulNClearColourValue(pBuffer->bitsPerPixel, ul), ulKeep);
    }

    N_BoundBuffer& depth = pctx->buffers[N_SLOT_DEPTH];
    const bool bDepthWritten = bUseContext != 1 || *pulAttr(pctx, N_ATTR_DEPTH_MASK) != 0;
    if ((flMask & 0x900u) && depth.pBuffer != nullptr && bDepthWritten) {
        const float fDepth = __glXWordFloat(*pulAttr(pctx, N_ATTR_CLEAR_DEPTH));
        ULONG ulDepth = ulNClearDepthValue(fDepth, depth.pBuffer->bitsPerPixel, bUseContext, ulValue);
        // A depth buffer narrower than 24 bits holds the render functions'
        // 16-bit depth form (_NDepthWord16), which the depth tests compare:
        // the cleared value takes the same form.
        if (bUseContext == 1 && depth.pBuffer->bitsPerPixel < 24)
            ulDepth = _NDepthWord16(ulNClearDepthValue(fDepth, 24, 1, 0));
        _NClearRect(&depth, x, y, cx, cy, ulDepth, 0);
    }

    // The alpha planes under the alpha write mask: the bits it leaves off
    // keep their values, a mask of none clears nothing.
    const float fClearAlpha = __glXWordFloat(pulAttr(pctx, N_ATTR_CLEAR_COLOUR)[3]);
    for (const MaskSlot& ms : kPlaneSlots) {
        N_BoundBuffer& slot = pctx->buffers[ms.iSlot];
        if (!(flMask & ms.flMask) || slot.pBuffer == nullptr) continue;
        const ULONG bits = std::min<ULONG>(slot.pBuffer->bitsPerPixel, 32);
        const ULONG ul = bUseContext == 1 ? ulScaled(fClearAlpha, bits) : ulValue;
        const ULONG ulAlphaKeep = bUseContext == 1 ? ~pctx->val.alphaMask & ulMaxOfBits(bits) : 0u;
        if (ulAlphaKeep != 0 && ulAlphaKeep == ulMaxOfBits(bits)) continue;
        vClearAncillary(slot, x, y, cx, cy, ul, ulAlphaKeep);
    }

    if ((flMask & 0x400u) && pctx->buffers[N_SLOT_ACCUM].pBuffer != nullptr) _NClearAccum(ulValue);

    // The stencil write mask: the bits it leaves off keep their values; a
    // mask of none clears nothing.
    N_BoundBuffer& stencil = pctx->buffers[N_SLOT_STENCIL];
    const ULONG ulStencilKeep = bUseContext == 1 ? ~*pulAttr(pctx, N_ATTR_STENCIL_MASK) & 0xFFu : 0u;
    if ((flMask & 0x200u) && stencil.pBuffer != nullptr && ulStencilKeep != 0xFFu)
        vClearAncillary(stencil, x, y, cx, cy,
                        bUseContext == 1 ? *pulAttr(pctx, N_ATTR_CLEAR_STENCIL) : ulValue, ulStencilKeep);
}

void N_DrawPixels(LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, const void* pvPixels) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    if (!bPixelsDrawn(pctx, kTokenDrawPixels)) return;
    if (pctx->dirty != 0) _NValidate(pctx, pctx->dirty);
    // The direct draw writes RGB and RGBA images as they come: every other
    // format (luminance, single channels, indices, depth, stencil), the
    // pixel transfer and the fragment operations it cannot honour take the
    // pixel primitive.
    // At 8 bits a pixel the board's own upload would pack the words as the
    // display does, without the colour conversion's red offset: the pixel
    // primitive converts them as every other colour is.
    const bool bColourForm = (ulFormat == kFormatRGB || ulFormat == kFormatRGBA) && !bDraws332(pctx);
    if (!bColourForm || !bPlainColourTransfer(pctx) || (pctx->enableWord & kDrawNeedsPipe)) {
        if (cx <= 0 || cy <= 0 || pvPixels == nullptr) return;
        N_PixelSpan span{};
        span.kind = kPixelPrimDraw;
        span.format = ulFormat;
        span.type = ulType;
        span.pjSource = static_cast<const BYTE*>(pvPixels);
        span.cjSourceRow = _NPixRowBytes(ulFormat, ulType, static_cast<ULONG>(cx));
        span.width = static_cast<ULONG>(cx);
        span.rows = static_cast<ULONG>(cy);
        // Columns and rows past the window's far edges are left out: the
        // rows from the raster position up (or down), the columns right
        // (or left) by the zoom.
        if (const GLBuffer* pb = pbDrawWindow(pctx)) {
            span.width = cReaching(span.width, fNAttr(pctx, N_ATTR_RASTER_POS, 0), fNAttr(pctx, N_ATTR_ZOOM_X), pb->cx);
            span.rows = cReaching(span.rows, fNAttr(pctx, N_ATTR_RASTER_POS, 1), fNAttr(pctx, N_ATTR_ZOOM_Y), pb->cy);
            if (span.width == 0 || span.rows == 0) return;
        }
        const HeldZoom zoom(pctx, pbDrawWindow(pctx));
        vPixelPath(pctx, &span);
        return;
    }
    _NDirectDrawPixels(pctx, cx, cy, ulFormat, ulType, pvPixels);
}

namespace {

// The first and past-the-last of n columns (or rows) whose zoomed pixels,
// from the raster position `from` (window coordinates), can cover a
// fragment centre in 0 .. extent: pixel i covers from + zoom * i to
// from + zoom * (i + 1). One more on each side keeps the rounding of the
// fragments' centres inside. Empty for a zoom of 0 and for a position or
// zoom that is not a number.
void vReach(LONG n, float from, float zoom, LONG extent, LONG* plFirst, LONG* plPast) {
    *plFirst = *plPast = 0;
    const double z = zoom, f = from;
    if (n <= 0 || !(z != 0.0) || !(z == z) || !(f == f)) return;
    const double t0 = (0.0 - f) / z, t1 = (static_cast<double>(extent) - f) / z;
    if (!(t0 == t0) || !(t1 == t1)) return;
    const double lo = std::clamp(std::floor(std::min(t0, t1)) - 1.0, 0.0, static_cast<double>(n));
    const double hi = std::clamp(std::ceil(std::max(t0, t1)) + 1.0, 0.0, static_cast<double>(n));
    if (!(lo < hi)) return;
    *plFirst = static_cast<LONG>(lo);
    *plPast = static_cast<LONG>(hi);
}

}  // namespace

BOOL N_DrawPixelsReach(LONG cx, LONG cy, LONG* plReach) {
    plReach[0] = plReach[1] = plReach[2] = plReach[3] = 0;
    if (!bNHaveContext()) return FALSE;
    N_Context* pctx = gpNCurrent;
    if (*pulAttr(pctx, N_ATTR_RASTER_POS_VALID) != 1 || *pulAttr(pctx, N_ATTR_RENDER_MODE) != N_RENDER_MODE_RENDER)
        return FALSE;
    if (pctx->dirty != 0) _NValidate(pctx, pctx->dirty);
    const GLBuffer* pb = pbDrawWindow(pctx);
    if (pb == nullptr) return FALSE;
    vReach(cx, fNAttr(pctx, N_ATTR_RASTER_POS, 0), fNAttr(pctx, N_ATTR_ZOOM_X), pb->cx, &plReach[0], &plReach[2]);
    vReach(cy, fNAttr(pctx, N_ATTR_RASTER_POS, 1), fNAttr(pctx, N_ATTR_ZOOM_Y), pb->cy, &plReach[1], &plReach[3]);
    if (plReach[0] == plReach[2] || plReach[1] == plReach[3]) {
        plReach[0] = plReach[1] = plReach[2] = plReach[3] = 0;
        return FALSE;
    }
    return TRUE;
}

void N_DrawPixelsPiece(LONG col, LONG row, LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, const void* pvPixels) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    if (col == 0 && row == 0) {
        N_DrawPixels(cx, cy, ulFormat, ulType, pvPixels);
        return;
    }
    // Only drawing shows a piece past the first: feedback has had the
    // image's one token from the first piece.
    if (*pulAttr(pctx, N_ATTR_RASTER_POS_VALID) != 1 || *pulAttr(pctx, N_ATTR_RENDER_MODE) != N_RENDER_MODE_RENDER)
        return;
    // The piece is drawn from where its first pixel lies in the whole
    // image: the raster position moved by the zoomed offset while it
    // draws, and given back after it.
    ULONG* pulPos = pulAttr(pctx, N_ATTR_RASTER_POS);
    const ULONG saved[2] = {pulPos[0], pulPos[1]};
    const double x = static_cast<double>(__glXWordFloat(saved[0])) +
                     static_cast<double>(fNAttr(pctx, N_ATTR_ZOOM_X)) * static_cast<double>(col);
    const double y = static_cast<double>(__glXWordFloat(saved[1])) +
                     static_cast<double>(fNAttr(pctx, N_ATTR_ZOOM_Y)) * static_cast<double>(row);
    pulPos[0] = std::bit_cast<ULONG>(static_cast<float>(x));
    pulPos[1] = std::bit_cast<ULONG>(static_cast<float>(y));
    N_DrawPixels(cx, cy, ulFormat, ulType, pvPixels);
    pulPos = pulAttr(pctx, N_ATTR_RASTER_POS);
    pulPos[0] = saved[0];
    pulPos[1] = saved[1];
}

void N_CopyPixels(LONG x, LONG y, LONG cx, LONG cy, ULONG ulSource) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    if (!bPixelsDrawn(pctx, kTokenCopyPixels)) return;
    if (pctx->dirty != 0) _NValidate(pctx, pctx->dirty);
    // The direct copy moves the board's words as they are: the colour
    // transfer (scales, biases, maps) takes the pixel primitive too, and so
    // does a zoomed copy into 3-3-2 pixels, whose rows the direct copy would
    // write back through the board's upload (as images are drawn there).
    const bool bZoomed = fNAttr(pctx, N_ATTR_ZOOM_X) != 1.0f || fNAttr(pctx, N_ATTR_ZOOM_Y) != 1.0f;
    if (!bPlainColourTransfer(pctx) || ulSource != 0 || (pctx->enableWord & kCopyNeedsPipe) ||
        (bZoomed && bDraws332(pctx)) || bCopiesAlpha(pctx)) {
        if (cx <= 0 || cy <= 0) return;
        N_PixelSpan span{};
        span.kind = kPixelPrimCopy;
        span.format = ulSource == 1 ? N_PIXFMT_STENCIL : ulSource == 2 ? N_PIXFMT_DEPTH : N_PIXFMT_RGBA;
        span.srcX = x;
        span.srcY = y;
        span.width = static_cast<ULONG>(cx);
        span.rows = static_cast<ULONG>(cy);
        const HeldZoom zoom(pctx, pbDrawWindow(pctx));
        vPixelPath(pctx, &span);
        return;
    }
    _NDirectCopyPixels(pctx, x, y, cx, cy, ulSource);
}

LONG N_ReadPixels(LONG x, LONG y, LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, void* pvDest) {
    if (!bNHaveContext()) return -1;
    N_Context* pctx = gpNCurrent;
    // The clip list is left for the next primitive.
    const ULONG flDirty = pctx->dirty & ~N_DIRTY_CLIP_LIST;
    if (flDirty != 0) {
        const ULONG flClip = pctx->dirty & N_DIRTY_CLIP_LIST;
        _NValidate(pctx, flDirty);
        pctx->dirty |= flClip;
    }
    if (cx <= 0 || cy <= 0 || pvDest == nullptr) return -1;
    // The pixel path reads what the board's direct read cannot: colours
    // through the colour maps, and buffers in host memory.
    N_PixelSpan span = _NReadPixelsSpan(x, y, cx, cy, ulFormat, ulType, pvDest);
    if (*pulAttr(pctx, N_ATTR_MAP_COLOUR) != 0) {
        vPixelPath(pctx, &span);
        return -1;
    }

    const N_BoundBuffer* pSlot = nullptr;
    switch (ulFormat) {
        case 0: case 3: case 4: case 5: case kFormatRGB: case kFormatRGBA: case 9: case 10:
            pSlot = pReadBuffer(pctx);
            break;
        case kFormatStencil: pSlot = &pctx->buffers[N_SLOT_STENCIL]; break;
        case kFormatDepth: pSlot = &pctx->buffers[N_SLOT_DEPTH]; break;
        case kFormatAlpha: {
            // The read buffer's own alpha buffer.
            const LONG alphaSlot = _NAlphaSlotOf(pctx->val.readSlot);
            pSlot = alphaSlot >= 0 ? &pctx->buffers[alphaSlot] : nullptr;
            if (pSlot == nullptr || pSlot->pBuffer == nullptr) {
                // No alpha buffer: every value reads as opaque.
                if (ulType == kTypeUnsignedByte || ulType == kTypeByte)
                    std::memset(pvDest, ulType == kTypeByte ? 127 : 255,
                                static_cast<std::size_t>(cx) * static_cast<std::size_t>(cy));
                return -1;
            }
            break;
        }
        default:
            DbgPrint("XXX unknown fast path format in read pixels\n");
            _NProgrammerError();
            return -1;
    }
    if (pSlot != nullptr && pSlot->pBuffer != nullptr && pSlot->pBuffer->memoryKind == GLBUFFER_MEMORY_HOST) {
        vPixelPath(pctx, &span);
        return -1;
    }
    if (pSlot != nullptr && pSlot->pBuffer != nullptr)
        _NDirectReadPixels(pctx, pSlot, x, y, cx, cy, ulFormat, ulType, pvDest);
    return -1;
}

void N_DrawBitmap(ULONG width, ULONG height, float xorig, float yorig, float xmove, float ymove,
                  const BYTE* pjBitmap) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    // An invalid raster position neither draws nor moves.
    if (*pulAttr(pctx, N_ATTR_RASTER_POS_VALID) != 1) return;
    bool bMove = true;
    if (bPixelsDrawn(pctx, kTokenBitmap) && width != 0 && height != 0 && pjBitmap != nullptr) {
        if (pctx->dirty != 0) _NValidate(pctx, pctx->dirty);
        const LONG iSlot = _NFirstDrawSlot(pctx);
        const GLBuffer* pDraw = iSlot >= 0 ? pctx->buffers[iSlot].pBuffer : nullptr;
        const bool bGeneral = pDraw != nullptr && pctx->cClipRects != 0 &&
                              (*pulAttr(pctx, N_ATTR_MAP_COLOUR) != 0 || (pctx->enableWord & kBitmapNeedsPipe) ||
                               _NTruncToLong(fNAttr(pctx, N_ATTR_ZOOM_X, 0)) != 1 ||
                               _NTruncToLong(fNAttr(pctx, N_ATTR_ZOOM_Y, 0)) != 1 ||
                               pDraw->memoryKind != GLBUFFER_MEMORY_DEVICE);
        if (bGeneral) {
            // The bitmap pipe moves the raster position itself.
            N_PixelSpan span{};
            span.kind = N_PRIM_BITMAP;
            span.format = N_PIXFMT_INDEX;
            span.type = N_PIXTYPE_BITMAP;
            span.pjBitmap = pjBitmap;
            span.cjSourceRow = (std::size_t{width} + 7) / 8;
            // Columns right of the window and rows above it are left out
            // (one of each is kept: the pipe moves the raster position).
            span.width = std::max<ULONG>(1, cReaching(width, fNAttr(pctx, N_ATTR_RASTER_POS, 0) - xorig, 1.0f, pDraw->cx));
            span.rows = std::max<ULONG>(1, cReaching(height, fNAttr(pctx, N_ATTR_RASTER_POS, 1) - yorig, 1.0f, pDraw->cy));
            span.bitmapOrigin[0] = xorig;
            span.bitmapOrigin[1] = yorig;
            span.bitmapMove[0] = xmove;
            span.bitmapMove[1] = ymove;
            vPixelPath(pctx, &span);
            return;
        }
        bMove = _NDrawBitmapKZ(pctx, width, height, xorig, yorig, pjBitmap);
    }
    // The raster position moves on whether anything was drawn or not, in
    // feedback and selection mode too.
    if (bMove) {
        ULONG* pulPos = pulAttr(pctx, N_ATTR_RASTER_POS);
        pulPos[0] = std::bit_cast<ULONG>(__glXWordFloat(pulPos[0]) + xmove);
        pulPos[1] = std::bit_cast<ULONG>(__glXWordFloat(pulPos[1]) + ymove);
    }
}

N_PixelSpan _NReadPixelsSpan(LONG x, LONG y, LONG cx, LONG cy, ULONG format, ULONG type, void* pvDest) {
    N_PixelSpan span{};
    span.kind = N_PRIM_READ_PIXELS;
    span.format = format;
    span.type = type;
    span.pjDest = static_cast<BYTE*>(pvDest);
    span.cjDestRow = _NPixRowBytes(format, type, static_cast<ULONG>(cx));
    span.srcX = x;
    span.srcY = y;
    span.width = static_cast<ULONG>(cx);
    span.rows = static_cast<ULONG>(cy);
    return span;
}
