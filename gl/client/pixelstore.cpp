// The pixel-store entry points and the image packer and unpacker. The
// server always sees one simple layout: images go out tight (alignment 1,
// no skips, no swapping) and come back with rows padded to 4 bytes; the
// application's layout is applied here.
#include "pixelstore.h"

#include <cmath>
#include <cstring>

#include "pixelwalk.h"

namespace {

using u64 = std::uint64_t;


// The current context of the calling thread, with a kept-open primitive
// closed; null when the thread has none.
ClientContext* pccPixelStore() {
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr || ptb->context == nullptr) return nullptr;
    if (ptb->primState != nullptr && ptb->primState->endPending != 0) EndPendingPrimitive(ptb);
    return ptb->context;
}

bool bBooleanName(GLenum pname) {
    return pname == GL_PACK_SWAP_BYTES || pname == GL_PACK_LSB_FIRST || pname == GL_UNPACK_SWAP_BYTES ||
           pname == GL_UNPACK_LSB_FIRST;
}

// Stores a value of a name that is not a boolean, after its checks.
void vStore(ClientContext* cc, GLenum pname, LONG v) {
    PixelStoreState& ps = cc->pixelStore;
    LONG* pl = nullptr;
    enum { ROW, SKIP, ALIGN } kind = ROW;
    switch (pname) {
        case GL_PACK_ROW_LENGTH: pl = &ps.packRowLength; break;
        case GL_PACK_SKIP_ROWS: pl = &ps.packSkipRows; kind = SKIP; break;
        case GL_PACK_SKIP_PIXELS: pl = &ps.packSkipPixels; kind = SKIP; break;
        case GL_PACK_ALIGNMENT: pl = &ps.packAlignment; kind = ALIGN; break;
        case GL_UNPACK_ROW_LENGTH: pl = &ps.unpackRowLength; break;
        case GL_UNPACK_SKIP_ROWS: pl = &ps.unpackSkipRows; kind = SKIP; break;
        case GL_UNPACK_SKIP_PIXELS: pl = &ps.unpackSkipPixels; kind = SKIP; break;
        case GL_UNPACK_ALIGNMENT: pl = &ps.unpackAlignment; kind = ALIGN; break;
        default: vSetClientError(cc, GL_INVALID_ENUM); return;
    }
    if ((kind == SKIP && v < 0) || (kind == ALIGN && v != 1 && v != 2 && v != 4 && v != 8)) {
        vSetClientError(cc, GL_INVALID_VALUE);
        return;
    }
    *pl = v;
}

void vStoreBoolean(ClientContext* cc, GLenum pname, bool b) {
    PixelStoreState& ps = cc->pixelStore;
    const UCHAR v = b ? 1 : 0;
    switch (pname) {
        case GL_PACK_SWAP_BYTES: ps.packSwapBytes = v; break;
        case GL_PACK_LSB_FIRST: ps.packLsbFirst = v; break;
        case GL_UNPACK_SWAP_BYTES: ps.unpackSwapBytes = v; break;
        case GL_UNPACK_LSB_FIRST: ps.unpackLsbFirst = v; break;
        default: break;
    }
}

void vWriteBlock(BYTE* pjBlock) {
    if (pjBlock == nullptr) return;
    GLXPixelStoreBlock b{};
    b.alignment = 1;
    std::memcpy(pjBlock, &b, sizeof b);
}

}  // namespace

void CltPixelStorei(GLenum pname, GLint param) {
    ClientContext* cc = pccPixelStore();
    if (cc == nullptr) return;
    if (cc->batching != 0) {
        vSetClientError(cc, GL_INVALID_OPERATION);
        return;
    }
    if (bBooleanName(pname)) vStoreBoolean(cc, pname, param != 0);
    else vStore(cc, pname, param);
}

void CltPixelStoref(GLenum pname, GLfloat param) {
    ClientContext* cc = pccPixelStore();
    if (cc == nullptr) return;
    if (cc->batching != 0) {
        vSetClientError(cc, GL_INVALID_OPERATION);
        return;
    }
    if (bBooleanName(pname)) {
        vStoreBoolean(cc, pname, param != 0.0f);
        return;
    }
    // Rounded to the nearest integer, halves away from zero for positive
    // values; a value no integer holds (NaN, beyond the range) is refused
    // as the checks would refuse it.
    const double d = std::trunc(static_cast<double>(param) + 0.5);
    if (!(d >= -2147483648.0 && d <= 2147483647.0)) {
        if (pname == GL_PACK_ROW_LENGTH || pname == GL_UNPACK_ROW_LENGTH || pname == GL_PACK_SKIP_ROWS ||
            pname == GL_PACK_SKIP_PIXELS || pname == GL_PACK_ALIGNMENT || pname == GL_UNPACK_SKIP_ROWS ||
            pname == GL_UNPACK_SKIP_PIXELS || pname == GL_UNPACK_ALIGNMENT)
            vSetClientError(cc, GL_INVALID_VALUE);
        else
            vSetClientError(cc, GL_INVALID_ENUM);
        return;
    }
    vStore(cc, pname, static_cast<LONG>(d));
}

BYTE* UnpackImage(ClientContext* cc, LONG width, LONG height, ULONG format, ULONG type, const void* pixels,
                  BYTE* out, BYTE* pixelStoreBlock, ULONG flags) {
    if (type == GL_BITMAP) {
        UnpackBitmap(cc, width, height, format, pixels, out);
        vWriteBlock(pixelStoreBlock);
        return pixelStoreBlock;
    }
    const PixelStoreState& ps = cc->pixelStore;
    const u64 c = FormatComponents(format), b = TypeBytes(type), cjPixel = c * b;
    if (width > 0 && height > 0 && cjPixel != 0 && pixels != nullptr) {
        const u64 w = static_cast<u64>(width), h = static_cast<u64>(height);
        const PixelWalk walk = PixelWalkOf(ps.unpackRowLength, ps.unpackSkipRows, ps.unpackSkipPixels,
                                           ps.unpackAlignment, width, height, c, b, false);
        const u64 stride = walk.stride;
        const BYTE* pjSrc = static_cast<const BYTE*>(pixels) + walk.startBit / 8;
        const u64 cjRow = w * cjPixel;
        const bool bSwap = ps.unpackSwapBytes != 0 && b > 1;
        if (b == 1 && (flags & CLT_UNPACK_DRAWPIXELS) != 0 && (format == GL_RGB || format == GL_RGBA)) {
            for (u64 y = h; y-- > 0;) {
                const BYTE* pj = pjSrc + y * stride;
                for (u64 x = 0; x < w; ++x, pj += c) {
                    *out++ = pj[2];
                    *out++ = pj[1];
                    *out++ = pj[0];
                    *out++ = c == 4 ? pj[3] : 0;
                }
            }
        } else if (!bSwap && stride == cjRow) {
            std::memcpy(out, pjSrc, static_cast<std::size_t>(cjRow * h));
        } else {
            for (u64 y = 0; y < h; ++y, pjSrc += stride, out += cjRow) PixelWalkCopyRow(out, pjSrc, w * c, b, bSwap);
        }
    }
    vWriteBlock(pixelStoreBlock);
    return pixelStoreBlock;
}

BYTE* UnpackBitmap(ClientContext* cc, LONG width, LONG height, ULONG format, const void* source, BYTE* destination) {
    const PixelStoreState& ps = cc->pixelStore;
    const u64 c = FormatComponents(format);
    if (width <= 0 || height <= 0 || c == 0 || source == nullptr) return destination;
    const PixelWalk walk = PixelWalkOf(ps.unpackRowLength, ps.unpackSkipRows, ps.unpackSkipPixels,
                                       ps.unpackAlignment, width, height, c, 0, true);
    const BYTE* pjRow = static_cast<const BYTE*>(source) + walk.startBit / 8;
    const u64 cjOut = (walk.rowBits + 7) >> 3;
    BYTE* out = destination;
    for (LONG y = 0; y < height; ++y, pjRow += walk.stride, out += cjOut)
        PixelWalkReadBitmapRow(out, pjRow, static_cast<unsigned>(walk.startBit % 8), walk.rowBits,
                               ps.unpackLsbFirst != 0);
    return out;
}

u64 PackRowStride(ClientContext* cc, LONG width, ULONG format, ULONG type) {
    const PixelStoreState& ps = cc->pixelStore;
    const bool bBitmap = type == GL_BITMAP;
    return PixelWalkOf(ps.packRowLength, ps.packSkipRows, ps.packSkipPixels, ps.packAlignment, width, 1,
                       FormatComponents(format), bBitmap ? 0 : TypeBytes(type), bBitmap)
        .stride;
}

void PackImage(ClientContext* cc, LONG width, LONG height, ULONG format, ULONG type, const BYTE* source,
               void* destination) {
    if (type == GL_BITMAP) {
        PackBitmap(cc, width, height, format, source, destination);
        return;
    }
    const PixelStoreState& ps = cc->pixelStore;
    const u64 cjPixel = u64{FormatComponents(format)} * TypeBytes(type);
    if (width <= 0 || height <= 0 || cjPixel == 0 || destination == nullptr) return;
    const u64 cjRow = static_cast<u64>(width) * cjPixel;
    const PixelWalk walk = PixelWalkOf(ps.packRowLength, ps.packSkipRows, ps.packSkipPixels, ps.packAlignment, width,
                                       height, FormatComponents(format), TypeBytes(type), false);
    const u64 strideDst = walk.stride;
    const u64 strideSrc = RoundUpTo(cjRow, 4);
    BYTE* pjDst = static_cast<BYTE*>(destination) + walk.startBit / 8;
    if (strideDst == strideSrc && cjRow % 4 == 0) {
        std::memcpy(pjDst, source, static_cast<std::size_t>(cjRow * static_cast<u64>(height)));
        return;
    }
    for (LONG y = 0; y < height; ++y, pjDst += strideDst, source += strideSrc)
        std::memcpy(pjDst, source, static_cast<std::size_t>(cjRow));
}

void PackBitmap(ClientContext* cc, LONG width, LONG height, ULONG format, const BYTE* source, void* destination) {
    const PixelStoreState& ps = cc->pixelStore;
    const u64 c = FormatComponents(format);
    if (width <= 0 || height <= 0 || c == 0 || destination == nullptr) return;
    const PixelWalk walk =
        PixelWalkOf(ps.packRowLength, ps.packSkipRows, ps.packSkipPixels, ps.packAlignment, width, height, c, 0, true);
    const u64 bits = walk.rowBits;
    const u64 strideSrc = RoundUpTo((bits + 7) >> 3, 4);
    BYTE* pj = static_cast<BYTE*>(destination);
    const bool bLsb = ps.packLsbFirst != 0;
    for (LONG y = 0; y < height; ++y, source += strideSrc) {
        // Only the bits the image covers change: each is merged into its
        // destination byte, the byte's own bit order as the state says.
        const u64 rowBit = walk.startBit + static_cast<u64>(y) * walk.stride * 8;
        for (u64 i = 0; i < bits; ++i) {
            const unsigned bit = (source[i >> 3] >> (7 - (i & 7))) & 1u;
            const u64 pos = rowBit + i;
            const BYTE mask = PixelWalkBitMask(pos, bLsb);
            BYTE& d = pj[pos >> 3];
            d = static_cast<BYTE>(bit != 0 ? d | mask : d & ~mask);
        }
    }
}
