// Pixel store, pixel transfer and pixel maps: the requests that set them,
// the Get requests that read them back, and the format and type tables the
// pixel rectangles share.
#include <cmath>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "lgi/lgi.h"
#include "pixel/pixel.h"
#include "segment/segment.h"
#include "state/objects.h"
#include "state/queries.h"

namespace {

constexpr ULONG kIntegerMaps = 2;                             // I_TO_I and S_TO_S hold integers
constexpr ULONG kIndexMaps = 6;                               // I_TO_I .. I_TO_A: powers of two

// The nearest integer, halves up (floor(value + 0.5): a negative whole
// value stays itself), held inside the integers (a NaN is 0).
LONG lRound(double d) {
    const double v = std::floor(d + 0.5);
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 0x7FFFFFFF;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<LONG>(v);
}

__GLXpixelStoreMode modeDefault() {
    __GLXpixelStoreMode m{};
    m.alignment = 4;
    return m;
}

}  // namespace

__GLXpixelState* __glXPixelState(GLContext* gc) {
    GLServerObjects* po = __glXServerObjects(gc);
    if (po == nullptr) return nullptr;
    if (po->pPixel == nullptr) {
        auto* pps = static_cast<__GLXpixelState*>(LocalAlloc(LPTR, sizeof(__GLXpixelState)));
        if (pps == nullptr) return nullptr;
        pps->unpack = modeDefault();
        pps->pack = modeDefault();
        for (__GLXpixelMap& m : pps->maps) m = __GLXpixelMap{1, {}};
        po->pPixel = pps;
    }
    return po->pPixel;
}

void __glXFreePixelState(__GLXpixelState* pps) {
    if (pps != nullptr) LocalFree(pps);
}

// A format or type that is none counts as one component of four bytes:
// the length check sizes such a request before it is refused.
ULONG __glXFormatComponents(ULONG format) {
    const ULONG c = GLXFormatComponents(format);
    return c != 0 ? c : 1;
}

ULONG __glXTypeSize(ULONG type) {
    if (type == GL_BITMAP) return 0;
    const ULONG cj = GLXTypeBytes(type);
    return cj != 0 ? cj : 4;
}

ULONG __glXFormatCode(ULONG format) { return format - GL_COLOR_INDEX <= 10 ? format - GL_COLOR_INDEX : ~0u; }

ULONG __glXTypeCode(ULONG type) {
    switch (type) {
        case GL_UNSIGNED_BYTE: return 0;
        case GL_BYTE: return 1;
        case GL_BITMAP: return 2;
        case GL_UNSIGNED_SHORT: return 3;
        case GL_SHORT: return 4;
        case GL_UNSIGNED_INT: return 5;
        case GL_INT: return 6;
        case GL_FLOAT: return 7;
        default: return ~0u;
    }
}

ULONG __glXCheckBitmapFormat(ULONG format, ULONG type) {
    return type == GL_BITMAP && format != GL_COLOR_INDEX && format != GL_STENCIL_INDEX ? GL_INVALID_ENUM
                                                                                    : GL_NO_ERROR;
}

std::uint64_t __glXImageSize(LONG width, LONG height, ULONG format, ULONG type) {
    if (width < 0 || height < 0) return 0;
    return GLXImageRowBytes(static_cast<std::uint64_t>(width), __glXFormatComponents(format), type,
                            __glXTypeSize(type)) *
           static_cast<std::uint64_t>(height);
}

ULONG __glXPixelStore(GLContext* gc, ULONG pname, LONG value) {
    const bool bUnpack = pname - GL_UNPACK_SWAP_BYTES < 6;
    if (!bUnpack && pname - GL_PACK_SWAP_BYTES >= 6) return GL_INVALID_ENUM;
    const ULONG i = pname - (bUnpack ? GL_UNPACK_SWAP_BYTES : GL_PACK_SWAP_BYTES);
    if (i >= 2 && i <= 4 && value < 0) return GL_INVALID_VALUE;
    if (i == 5 && value != 1 && value != 2 && value != 4 && value != 8) return GL_INVALID_VALUE;
    __GLXpixelState* pps = __glXPixelState(gc);
    if (pps == nullptr) return GL_OUT_OF_MEMORY;
    __GLXpixelStoreMode& m = bUnpack ? pps->unpack : pps->pack;
    switch (i) {
        case 0: m.swapBytes = value != 0; break;
        case 1: m.lsbFirst = value != 0; break;
        case 2: m.rowLength = value; break;
        case 3: m.skipRows = value; break;
        case 4: m.skipPixels = value; break;
        default: m.alignment = value; break;
    }
    return GL_NO_ERROR;
}

ULONG __glXPixelTransfer(GLContext*, ULONG pname, float value) {
    // MAP_COLOR .. DEPTH_BIAS (ZOOM_X and ZOOM_Y among them are not
    // transfer values): the lgi attribute of each.
    static constexpr USHORT kAttr[16] = {N_ATTR_MAP_COLOUR, N_ATTR_MAP_STENCIL, N_ATTR_INDEX_SHIFT,
                                         N_ATTR_INDEX_OFFSET, N_ATTR_RED_SCALE,  N_ATTR_RED_BIAS,
                                         0,                   0,                 N_ATTR_GREEN_SCALE,
                                         N_ATTR_GREEN_BIAS,   N_ATTR_BLUE_SCALE, N_ATTR_BLUE_BIAS,
                                         N_ATTR_ALPHA_SCALE,  N_ATTR_ALPHA_BIAS, N_ATTR_DEPTH_SCALE,
                                         N_ATTR_DEPTH_BIAS};
    const ULONG i = pname - GL_MAP_COLOR;
    if (i >= 16 || kAttr[i] == 0) return GL_INVALID_ENUM;
    const ULONG id = kAttr[i];
    if (id <= N_ATTR_MAP_STENCIL) {
        N_SetStateBlockAttrWord(id, value == 1.0f ? 1u : 0u);  // true only for exactly 1.0
    } else if (id <= N_ATTR_INDEX_OFFSET) {
        N_SetStateBlockAttrWord(id, static_cast<ULONG>(lRound(value)));
    } else {
        N_SetStateBlockAttr(id, &value);
    }
    return GL_NO_ERROR;
}

ULONG __glXSetPixelMap(GLContext* gc, ULONG map, LONG size, const BYTE* pjValues, ULONG kind) {
    const ULONG iMap = map - GL_PIXEL_MAP_I_TO_I;
    if (iMap >= GLX_PIXEL_MAPS) return GL_INVALID_ENUM;
    if (size < 0 || size > static_cast<LONG>(GLX_PIXEL_MAP_MAX)) return GL_INVALID_VALUE;
    if (iMap < kIndexMaps && (size & (size - 1)) != 0) return GL_INVALID_VALUE;
    __GLXpixelState* pps = __glXPixelState(gc);
    if (pps == nullptr) return GL_OUT_OF_MEMORY;
    __GLXpixelMap& m = pps->maps[iMap];
    m = __GLXpixelMap{size > 0 ? static_cast<ULONG>(size) : 1u, {}};
    const bool bInteger = iMap < kIntegerMaps;
    for (LONG i = 0; i < size; ++i) {
        ULONG w;
        switch (kind) {
            case 0: {
                float f;
                std::memcpy(&f, pjValues + 4 * i, 4);
                if (bInteger) w = static_cast<ULONG>(lRound(f));
                else w = __glXFloatBits(f);
                break;
            }
            case 1: {
                std::memcpy(&w, pjValues + 4 * i, 4);
                if (!bInteger) {
                    w = __glXFloatBits(static_cast<float>(w));
                }
                break;
            }
            default: {
                USHORT us;
                std::memcpy(&us, pjValues + 2 * i, 2);
                w = us;
                if (!bInteger) {
                    w = __glXFloatBits(static_cast<float>(us));
                }
                break;
            }
        }
        m.values[i] = w;
    }
    const N_PixelMapDesc desc{iMap, m.size, m.values};
    N_SetPixelMaps(1, &desc);
    return GL_NO_ERROR;
}

ULONG __glXSetRequestUnpack(GLContext* gc, const BYTE* pjHeader) {
    __GLXpixelState* pps = __glXPixelState(gc);
    if (pps == nullptr) return GL_OUT_OF_MEMORY;
    std::memcpy(&pps->unpack, pjHeader, sizeof pps->unpack);
    return GL_NO_ERROR;
}

ULONG __glXPixelVariable(GLContext* gc, ULONG pname, ULONG* pType, ULONG* pw) {
    const bool bUnpack = pname - GL_UNPACK_SWAP_BYTES < 6, bPack = pname - GL_PACK_SWAP_BYTES < 6;
    const bool bMapSize = pname - GL_PIXEL_MAP_I_TO_I_SIZE < GLX_PIXEL_MAPS;
    if (!bUnpack && !bPack && !bMapSize) return 0;
    const __GLXpixelState* pps = __glXPixelState(gc);
    __GLXpixelState defaults{};
    if (pps == nullptr) {
        defaults.unpack = defaults.pack = modeDefault();
        for (__GLXpixelMap& m : defaults.maps) m.size = 1;
        pps = &defaults;
    }
    *pType = 5124;  // integers
    if (bMapSize) {
        pw[0] = pps->maps[pname - GL_PIXEL_MAP_I_TO_I_SIZE].size;
        return 1;
    }
    const __GLXpixelStoreMode& m = bUnpack ? pps->unpack : pps->pack;
    switch (pname - (bUnpack ? GL_UNPACK_SWAP_BYTES : GL_PACK_SWAP_BYTES)) {
        case 0: pw[0] = m.swapBytes != 0; *pType = 5120; break;
        case 1: pw[0] = m.lsbFirst != 0; *pType = 5120; break;
        case 2: pw[0] = static_cast<ULONG>(m.rowLength); break;
        case 3: pw[0] = static_cast<ULONG>(m.skipRows); break;
        case 4: pw[0] = static_cast<ULONG>(m.skipPixels); break;
        default: pw[0] = static_cast<ULONG>(m.alignment); break;
    }
    return 1;
}

// --- the requests -------------------------------------------------------------------------

namespace {

template <bool bInt>
ULONG ulPixelTransfer(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const float f = bInt ? static_cast<float>(static_cast<LONG>(__glXArgWord(pj, 1))) : __glXArgFloat(pj, 1);
    return __glXRenderResult(pgc, pv, __glXPixelTransfer(pgc->gc, __glXArgWord(pj, 0), f));
}

// PixelMap: map, size, then size values of the kind (4, 4 or 2 bytes),
// inside the request: the length check made sure.
template <ULONG kind>
ULONG ulPixelMap(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const ULONG map = __glXArgWord(pj, 0);
    const LONG size = static_cast<LONG>(__glXArgWord(pj, 1));
    return __glXRenderResult(pgc, pv, __glXSetPixelMap(pgc->gc, map, size, pj + 8, kind));
}

template <bool bFloat>
ULONG ulPixelStore(GLClient* pgc, const void* pv) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pv, 2, &pj)) return x;
    const LONG value = bFloat ? lRound(__glXArgFloat(pj, 1)) : static_cast<LONG>(__glXArgWord(pj, 1));
    const ULONG glError = __glXPixelStore(pgc->gc, __glXArgWord(pj, 0), value);
    return glError == GL_NO_ERROR ? GLX_SUCCESS : __glXSingleError(pgc, pv, glError);
}

// GetPixelMap: the map's entries as floats (0), unsigned ints (1) or
// unsigned shorts (2); one value in the reply at +16, more after it.
template <ULONG kind>
ULONG ulGetPixelMap(GLClient* pgc, const void* pv) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pv, 1, &pj)) return x;
    const ULONG iMap = __glXArgWord(pj, 0) - GL_PIXEL_MAP_I_TO_I;
    if (iMap >= GLX_PIXEL_MAPS) return __glXSingleError(pgc, pv, GL_INVALID_ENUM);
    __GLXpixelState* pps = __glXPixelState(pgc->gc);
    if (pps == nullptr) return __glXSingleError(pgc, pv, GL_OUT_OF_MEMORY);
    const __GLXpixelMap& m = pps->maps[iMap];
    const bool bInteger = iMap < kIntegerMaps;
    BYTE aj[GLX_PIXEL_MAP_MAX * 4] = {};
    const ULONG cjValue = kind == 2 ? 2 : 4;
    for (ULONG i = 0; i < m.size; ++i) {
        double d;
        if (bInteger) {
            d = static_cast<LONG>(m.values[i]);
        } else {
            d = __glXWordFloat(m.values[i]);
        }
        if (kind == 0) {
            const float f = static_cast<float>(d);
            std::memcpy(aj + 4 * i, &f, 4);
            continue;
        }
        // Unsigned: negative values and NaN are 0, large ones the largest.
        const double dMax = kind == 1 ? 4294967295.0 : 65535.0;
        const double v = d > 0.0 ? (d < dMax ? std::trunc(d) : dMax) : 0.0;
        const ULONG w = static_cast<ULONG>(v);
        std::memcpy(aj + cjValue * i, &w, cjValue);
    }
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    rp.size = m.size;
    if (m.size == 1) {
        std::memcpy(&rp.pad3, aj, cjValue);
        __glXSendReply(&rp, sizeof rp, nullptr, 0);
    } else {
        rp.length = (m.size * cjValue + 3) / 4;
        __glXSendReply(&rp, sizeof rp, aj, rp.length * 4);
    }
    return GLX_SUCCESS;
}

}  // namespace

// The stipple as a 32 x 32 bitmap, laid out by the pack state with the
// request's LSB-first flag.
ULONG __glXDisp_GetPolygonStipple(GLClient* pgc, const void* pv) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pv, 1, &pj)) return x;
    ULONG aw[N_AttrWords(N_ATTR_POLYGON_STIPPLE)] = {};
    N_GetStateBlockAttr(N_ATTR_POLYGON_STIPPLE, aw);
    N_Sync();
    __GLXimage image;
    const ULONG glError = __glXPackImage(pgc->gc, 0, pj[0], 32, 32, GL_BITMAP, 1, 0,
                                         reinterpret_cast<const BYTE*>(aw), &image, FALSE);
    if (glError != GL_NO_ERROR) return __glXSingleError(pgc, pv, glError);
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    rp.length = static_cast<ULONG>((image.cj + 3) / 4);
    BYTE* pjPadded = static_cast<BYTE*>(LocalAlloc(LPTR, rp.length * 4u));
    if (pjPadded == nullptr) {
        __glXFreeImage(&image);
        return __glXSingleError(pgc, pv, GL_OUT_OF_MEMORY);
    }
    std::memcpy(pjPadded, image.pj, static_cast<std::size_t>(image.cj));
    __glXSendReply(&rp, sizeof rp, pjPadded, rp.length * 4);
    LocalFree(pjPadded);
    __glXFreeImage(&image);
    return GLX_SUCCESS;
}

ULONG __glXDisp_PixelTransferf(GLClient* p, const void* r) { return ulPixelTransfer<false>(p, r); }
ULONG __glXDisp_PixelTransferi(GLClient* p, const void* r) { return ulPixelTransfer<true>(p, r); }
ULONG __glXDisp_PixelMapfv(GLClient* p, const void* r) { return ulPixelMap<0>(p, r); }
ULONG __glXDisp_PixelMapuiv(GLClient* p, const void* r) { return ulPixelMap<1>(p, r); }
ULONG __glXDisp_PixelMapusv(GLClient* p, const void* r) { return ulPixelMap<2>(p, r); }
ULONG __glXDisp_PixelStoref(GLClient* p, const void* r) { return ulPixelStore<true>(p, r); }
ULONG __glXDisp_PixelStorei(GLClient* p, const void* r) { return ulPixelStore<false>(p, r); }
ULONG __glXDisp_GetPixelMapfv(GLClient* p, const void* r) { return ulGetPixelMap<0>(p, r); }
ULONG __glXDisp_GetPixelMapuiv(GLClient* p, const void* r) { return ulGetPixelMap<1>(p, r); }
ULONG __glXDisp_GetPixelMapusv(GLClient* p, const void* r) { return ulGetPixelMap<2>(p, r); }
