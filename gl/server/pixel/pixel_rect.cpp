// The pixel rectangles: DrawPixels and Bitmap unpack the image behind their
// own pixel-store header and draw it at the raster position, CopyPixels
// copies a rectangle of the frame buffer, ReadPixels reads one back and
// answers it packed by the pack state. Every check precedes any drawing.
#include <algorithm>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "lgi/lgi.h"
#include "pixel/pixel.h"
#include "pixfmt/pixfmt.h"
#include "seams.h"
#include "segment/segment.h"
#include "state/queries.h"

namespace {


ULONG ulVisual(const GLContext* gc, ULONG GLVisual::*pField) { return gc->pvis != nullptr ? gc->pvis->*pField : 0; }

// The buffers of the mask bound beside those the context binds.
void vBindAlso(GLContext* gc, ULONG fl) {
    if ((gc->flBufferMask & fl) == fl) return;
    gc->flBufferMask |= fl;
    _DBindBuffers(gc, gc->flBufferMask);
}

// A format and type for drawing or reading: GL error; the buffers the
// format needs are bound.
ULONG ulCheckFormat(GLContext* gc, ULONG format, ULONG type) {
    switch (format) {
        case GL_STENCIL_INDEX:
            if (ulVisual(gc, &GLVisual::cStencilBits) == 0) return GL_INVALID_OPERATION;
            break;
        case GL_DEPTH_COMPONENT:
            if (ulVisual(gc, &GLVisual::cDepthBits) == 0) return GL_INVALID_OPERATION;
            break;
        case GL_COLOR_INDEX: break;
        default:
            if (format - GL_RED > GL_LUMINANCE_ALPHA - GL_RED) return GL_INVALID_ENUM;
            if (ulVisual(gc, &GLVisual::bRGBA) == 0) return GL_INVALID_OPERATION;
            break;
    }
    if (type - GL_BYTE > GL_FLOAT - GL_BYTE && type != GL_BITMAP) return GL_INVALID_ENUM;
    if (const ULONG e = __glXCheckBitmapFormat(format, type)) return e;
    if (format == GL_STENCIL_INDEX) vBindAlso(gc, N_BUFFER_STENCIL);
    if (format == GL_DEPTH_COMPONENT) vBindAlso(gc, N_BUFFER_DEPTH | N_BUFFER_DEPTH_STENCIL);
    return GL_NO_ERROR;
}

void vValidate(GLContext* gc) {
    if (gc->dirty != 0) __glXValidateDraw(gc);
}

// DrawPixels: header, width, height, format, type, then the image; a piece
// of a larger image (bPiece) has its first column and row in the whole
// image behind the type, and the piece's pixels follow them.
template <bool bPiece>
ULONG ulDrawPixels(GLClient* pgc, const BYTE* pj, ULONG cjBody) {
    GLContext* gc = pgc->gc;
    vValidate(gc);
    if (const ULONG e = __glXSetRequestUnpack(gc, pj)) return e;
    const LONG width = static_cast<LONG>(__glXArgWord(pj, 5)), height = static_cast<LONG>(__glXArgWord(pj, 6));
    const ULONG format = __glXArgWord(pj, 7), type = __glXArgWord(pj, 8);
    const LONG col = bPiece ? static_cast<LONG>(__glXArgWord(pj, 9)) : 0;
    const LONG row = bPiece ? static_cast<LONG>(__glXArgWord(pj, 10)) : 0;
    if (width < 0 || height < 0 || col < 0 || row < 0) return GL_INVALID_VALUE;
    if (const ULONG e = ulCheckFormat(gc, format, type)) return e;
    __GLXimage image;
    // the image follows the fixed part
    constexpr ULONG cjFixed = GLXFixedBody(bPiece ? X_GLrop_DrawPixelsPieceZYD : X_GLrop_DrawPixels);
    const ULONG e = __glXUnpackImage(gc, width, height, type, __glXFormatComponents(format), __glXTypeSize(type),
                                     pj + cjFixed, cjBody - cjFixed, &image, FALSE);
    if (e != GL_NO_ERROR) return e;
    if (bPiece) N_DrawPixelsPiece(col, row, width, height, __glXFormatCode(format), __glXTypeCode(type), image.pj);
    else N_DrawPixels(width, height, __glXFormatCode(format), __glXTypeCode(type), image.pj);
    __glXFreeImage(&image);
    return GL_NO_ERROR;
}

// Bitmap: header, width, height, xorig, yorig, xmove, ymove, the bitmap.
ULONG ulBitmap(GLClient* pgc, const BYTE* pj, ULONG cjBody) {
    GLContext* gc = pgc->gc;
    vValidate(gc);
    if (const ULONG e = __glXSetRequestUnpack(gc, pj)) return e;
    const LONG width = static_cast<LONG>(__glXArgWord(pj, 5)), height = static_cast<LONG>(__glXArgWord(pj, 6));
    if (width < 0 || height < 0) return GL_INVALID_VALUE;
    if (width == 0 || height == 0 || gc->renderMode == GL_SELECT) {
        // Nothing to draw, but the raster position still moves (text spaces
        // by a bitmap of no size).
        N_DrawBitmap(static_cast<ULONG>(width), static_cast<ULONG>(height), __glXArgFloat(pj, 7),
                     __glXArgFloat(pj, 8), __glXArgFloat(pj, 9), __glXArgFloat(pj, 10), nullptr);
        return GL_NO_ERROR;
    }
    __GLXimage image;
    constexpr ULONG cjFixed = GLXFixedBody(X_GLrop_Bitmap);  // the bitmap follows
    const ULONG e = __glXUnpackImage(gc, width, height, GL_BITMAP, 1, 0, pj + cjFixed, cjBody - cjFixed, &image, FALSE);
    if (e != GL_NO_ERROR) return e;
    N_DrawBitmap(static_cast<ULONG>(width), static_cast<ULONG>(height), __glXArgFloat(pj, 7), __glXArgFloat(pj, 8),
                 __glXArgFloat(pj, 9), __glXArgFloat(pj, 10), image.pj);
    __glXFreeImage(&image);
    return GL_NO_ERROR;
}

template <ULONG (*pfnStep)(GLClient*, const BYTE*, ULONG)>
ULONG ulImageRequest(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    return __glXRenderResult(pgc, pv, pfnStep(pgc, pj, __glXRenderLength(pgc, pv) - 4));
}

ULONG ulCopyPixels(GLContext* gc, const BYTE* pj) {
    vValidate(gc);
    const LONG x = static_cast<LONG>(__glXArgWord(pj, 0)), y = static_cast<LONG>(__glXArgWord(pj, 1));
    const LONG width = static_cast<LONG>(__glXArgWord(pj, 2)), height = static_cast<LONG>(__glXArgWord(pj, 3));
    if (width < 0 || height < 0) return GL_INVALID_VALUE;
    ULONG code;
    switch (__glXArgWord(pj, 4)) {
        case GL_COLOR:
            code = 0;
            if (gc->dirty & GLX_DIRTY_BUFFERS) _DBindBuffers(gc, gc->flBufferMask);
            break;
        case GL_DEPTH:
            if (ulVisual(gc, &GLVisual::cDepthBits) == 0) return GL_INVALID_OPERATION;
            vBindAlso(gc, N_BUFFER_DEPTH | N_BUFFER_DEPTH_STENCIL);
            code = 2;
            break;
        case GL_STENCIL:
            if (ulVisual(gc, &GLVisual::cStencilBits) == 0) return GL_INVALID_OPERATION;
            vBindAlso(gc, N_BUFFER_STENCIL);
            code = 1;
            break;
        default: return GL_INVALID_ENUM;
    }
    if (gc->renderMode != GL_SELECT) N_CopyPixels(x, y, width, height, code);
    return GL_NO_ERROR;
}

ULONG ulCopyPixelsRequest(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    return __glXRenderResult(pgc, pv, ulCopyPixels(pgc->gc, pj));
}

// The alpha a frame buffer without alpha planes reads as: 1.0 through the
// alpha scale and bias, clamped, and through the A_TO_A map when colours
// are mapped.
float fReadAlpha(GLContext* gc) {
    float scale = 1.0f, bias = 0.0f;
    ULONG mapColour = 0;
    N_GetStateBlockAttr(N_ATTR_ALPHA_SCALE, &scale);
    N_GetStateBlockAttr(N_ATTR_ALPHA_BIAS, &bias);
    N_GetStateBlockAttr(N_ATTR_MAP_COLOUR, &mapColour);
    float a = std::clamp(scale + bias, 0.0f, 1.0f);
    const __GLXpixelState* pps = mapColour != 0 ? __glXPixelState(gc) : nullptr;
    if (pps != nullptr) {
        const __GLXpixelMap& m = pps->maps[GL_PIXEL_MAP_A_TO_A - GL_PIXEL_MAP_I_TO_I];
        const auto i = static_cast<ULONG>(a * static_cast<float>(m.size - 1) + 0.5f);
        std::memcpy(&a, &m.values[std::min(i, m.size - 1)], sizeof a);
    }
    return a;
}

// Sets the alpha of every pixel (the last component) to alpha a in the type
// (integers scaled by the type's largest value and truncated, as the pixel
// paths pack); a bitmap's alpha bits to 1.
void vFillAlpha(BYTE* pj, LONG width, LONG height, ULONG type, ULONG components, float a) {
    const std::uint64_t cPixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (type == GL_BITMAP) {
        const std::uint64_t cjRow = (static_cast<std::uint64_t>(width) * components + 7) / 8;
        for (std::uint64_t y = 0; y < static_cast<std::uint64_t>(height); ++y)
            for (std::uint64_t x = 0; x < static_cast<std::uint64_t>(width); ++x) {
                const std::uint64_t bit = x * components + components - 1;
                pj[y * cjRow + bit / 8] |= static_cast<BYTE>(0x80u >> (bit % 8));
            }
        return;
    }
    const ULONG cj = __glXTypeSize(type);
    BYTE ajMax[4];
    const double d = a;
    switch (type) {
        case GL_UNSIGNED_BYTE: ajMax[0] = static_cast<BYTE>(d * 255.0); break;
        case GL_BYTE: ajMax[0] = static_cast<BYTE>(d * 127.0); break;
        case GL_SHORT: { const USHORT us = static_cast<USHORT>(d * 32767.0); std::memcpy(ajMax, &us, 2); break; }
        case GL_UNSIGNED_SHORT: { const USHORT us = static_cast<USHORT>(d * 65535.0); std::memcpy(ajMax, &us, 2); break; }
        case GL_INT: { const ULONG u = static_cast<ULONG>(d * 2147483647.0); std::memcpy(ajMax, &u, 4); break; }
        case GL_UNSIGNED_INT: { const ULONG u = static_cast<ULONG>(d * 4294967295.0); std::memcpy(ajMax, &u, 4); break; }
        default: std::memcpy(ajMax, &a, 4); break;
    }
    for (std::uint64_t p = 0; p < cPixels; ++p) std::memcpy(pj + (p * components + components - 1) * cj, ajMax, cj);
}

}  // namespace

// ReadPixels: x, y, width, height, format, type, swap bytes, LSB first; the
// reply carries the image packed by the pack state.
ULONG __glXDisp_ReadPixels(GLClient* pgc, const void* pv) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pv, 7, &pj)) return x;
    GLContext* gc = pgc->gc;
    vValidate(gc);
    const LONG x = static_cast<LONG>(__glXArgWord(pj, 0)), y = static_cast<LONG>(__glXArgWord(pj, 1));
    const LONG width = static_cast<LONG>(__glXArgWord(pj, 2)), height = static_cast<LONG>(__glXArgWord(pj, 3));
    const ULONG format = __glXArgWord(pj, 4), type = __glXArgWord(pj, 5);
    const BYTE swapBytes = pj[24], lsbFirst = pj[25];
    if (width < 0 || height < 0) return __glXSingleError(pgc, pv, GL_INVALID_VALUE);
    if (const ULONG e = ulCheckFormat(gc, format, type)) return __glXSingleError(pgc, pv, e);
    // An RGBA frame buffer holds no colour indices to read.
    if (format == GL_COLOR_INDEX && ulVisual(gc, &GLVisual::bRGBA) != 0)
        return __glXSingleError(pgc, pv, GL_INVALID_OPERATION);
    const ULONG components = __glXFormatComponents(format), cjElement = __glXTypeSize(type);
    const std::uint64_t cj = __glXImageSize(width, height, format, type);
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    if (cj == 0) {
        __glXSendReply(&rp, sizeof rp, nullptr, 0);
        return GLX_SUCCESS;
    }
    BYTE* pjPixels = cj <= GLX_MAX_IMAGE_BYTES ? static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<std::size_t>(cj))) : nullptr;
    if (pjPixels == nullptr) return __glXSingleError(pgc, pv, GL_OUT_OF_MEMORY);
    N_ReadPixels(x, y, width, height, __glXFormatCode(format), __glXTypeCode(type), pjPixels);
    N_Sync();
    const bool bAlpha = format == GL_ALPHA || format == GL_RGBA || format == GL_LUMINANCE_ALPHA;
    if (bAlpha && ulVisual(gc, &GLVisual::cAlphaBits) == 0)
        vFillAlpha(pjPixels, width, height, type, components, fReadAlpha(gc));
    __GLXimage image;
    const ULONG e = __glXPackImage(gc, swapBytes, lsbFirst, width, height, type, components, cjElement, pjPixels,
                                   &image, FALSE);
    if (e != GL_NO_ERROR) {
        // The error is recorded and the image answered empty.
        __glXSetError(pgc, __glXSingleRequestName(X_GLsop_ReadPixels), e);
        __glXSendReply(&rp, sizeof rp, nullptr, 0);
        LocalFree(pjPixels);
        return GLX_SUCCESS;
    }
    // Whole words: the image padded with zeros.
    const std::uint64_t cjPadded = (image.cj + 3) & ~std::uint64_t{3};
    BYTE* pjReply = image.pj;
    BYTE* pjPadded = nullptr;
    if (cjPadded != image.cj) {
        pjPadded = static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<std::size_t>(cjPadded)));
        if (pjPadded == nullptr) {
            __glXFreeImage(&image);
            LocalFree(pjPixels);
            return __glXSingleError(pgc, pv, GL_OUT_OF_MEMORY);
        }
        std::memcpy(pjPadded, image.pj, static_cast<std::size_t>(image.cj));
        pjReply = pjPadded;
    }
    rp.length = static_cast<ULONG>(cjPadded / 4);
    __glXSendReply(&rp, sizeof rp, pjReply, static_cast<ULONG>(cjPadded));
    if (pjPadded != nullptr) LocalFree(pjPadded);
    __glXFreeImage(&image);
    LocalFree(pjPixels);
    return GLX_SUCCESS;
}

ULONG __glXDisp_DrawPixels(GLClient* p, const void* r) { return ulImageRequest<ulDrawPixels<false>>(p, r); }
ULONG __glXDisp_DrawPixelsPieceZYD(GLClient* p, const void* r) { return ulImageRequest<ulDrawPixels<true>>(p, r); }

ULONG __glXDisp_DrawPixelsReachZYD(GLClient* pgc, const void* pv) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pv, 2, &pj)) return x;
    vValidate(pgc->gc);
    LONG al[4] = {};
    const LONG width = static_cast<LONG>(__glXArgWord(pj, 0)), height = static_cast<LONG>(__glXArgWord(pj, 1));
    if (width > 0 && height > 0) N_DrawPixelsReach(width, height, al);
    __glXSendValues(pgc, al, sizeof al[0], 4);
    return GLX_SUCCESS;
}
ULONG __glXDisp_Bitmap(GLClient* p, const void* r) { return ulImageRequest<ulBitmap>(p, r); }
ULONG __glXDisp_CopyPixels(GLClient* p, const void* r) { return ulCopyPixelsRequest(p, r); }
