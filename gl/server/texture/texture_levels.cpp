// The texture images: TexImage1D and TexImage2D keep every level as an
// unpacked image in the context's level list of its dimension, and the
// levels of the dimension in force are loaded into the board (N_BindAttrMap)
// as they come and whenever texturing switches between one and two
// dimensions.
//
// A level is bounded by the device's level records and its size by the
// largest texture the server reports; a level sent again replaces the
// record it had, so that repeated uploads do not pile up.
#include <cmath>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "pixel/pixel.h"
#include "pixfmt/drawable.h"
#include "seams.h"
#include "state/glstate.h"
#include "state/objects.h"
#include "state/state_requests.h"
#include "texture/texture_requests.h"

namespace {

// Components of each format code (0 where the format is not a texture's).
constexpr ULONG kFormatComponents[] = {1, 0, 0, 1, 1, 1, 1, 3, 4, 1, 2};
// The request: the 20-byte unpack header, then eight words, then the image.
constexpr ULONG kUnpackHeader = 20;
constexpr ULONG kImageOffset = 4 + GLXFixedBody(X_GLrop_TexImage2D);  // from the request's start

bool bPowerOfTwoOrZero(LONG n) { return n >= 0 && (n & (n - 1)) == 0; }

__GLXtexLevel** ppListOf(__GLXtexObjects* pTex, ULONG target) {
    return target == GL_TEXTURE_2D ? &pTex->pLevels2D : &pTex->pLevels1D;
}

// The dimension the enables ask for: 2 with TEXTURE_2D on, 1 with only
// TEXTURE_1D on, else 0.
ULONG ulWantedDimension(GLContext* gc) {
    const ULONG* pw = gc->pState != nullptr ? gc->pState->blocks[__builtin_ctz(GL_ENABLE_BIT)] : nullptr;
    const ULONG fl = pw != nullptr ? pw[GLX_ENABLE_BITS] : 0;
    return (fl & GLX_EN_TEXTURE_2D) ? 2 : (fl & GLX_EN_TEXTURE_1D) ? 1 : 0;
}

void vFreeLevel(__GLXtexLevel* p) {
    if (p->pvImage != nullptr) LocalFree(p->pvImage);
    LocalFree(p);
}

}  // namespace

ULONG __glXTexTypeSize(ULONG code) {
    static constexpr ULONG kSize[] = {1, 1, 0, 2, 2, 4, 4, 4};
    return code < 8 ? kSize[code] : 0;
}

__GLXtexObjects* __glXTexObjects(GLContext* gc) {
    GLServerObjects* pObjects = __glXServerObjects(gc);
    if (pObjects == nullptr) return nullptr;
    if (pObjects->pTexture == nullptr)
        pObjects->pTexture = static_cast<__GLXtexObjects*>(LocalAlloc(LPTR, sizeof(__GLXtexObjects)));
    return pObjects->pTexture;
}

void __glXFreeLevels(__GLXtexLevel** ppHead) {
    for (__GLXtexLevel* p = *ppHead; p != nullptr;) {
        __GLXtexLevel* pNext = p->pNext;
        vFreeLevel(p);
        p = pNext;
    }
    *ppHead = nullptr;
}

void __glXFreeTexObjects(__GLXtexObjects* pTex) {
    if (pTex == nullptr) return;
    __glXFreeLevels(&pTex->pLevels1D);
    __glXFreeLevels(&pTex->pLevels2D);
    LocalFree(pTex);
}

const __GLXtexLevel* __glXFindLevel(GLContext* gc, ULONG target, LONG level) {
    // The bottom attribute level's record, which pushed levels share.
    const GLServerObjects* pObjects = __glXServerObjects(gc);
    if (pObjects == nullptr || pObjects->pTexture == nullptr || level < 0) return nullptr;
    const __GLXtexLevel* pFound = nullptr;
    for (const __GLXtexLevel* p = *ppListOf(pObjects->pTexture, target); p != nullptr; p = p->pNext)
        if (p->level == static_cast<ULONG>(level)) pFound = p;
    return pFound;
}

ULONG __glXTexImage(GLClient* pgc, ULONG dimensions, ULONG target, LONG level, LONG components, LONG width,
                    LONG height, LONG border, ULONG format, ULONG type, const void* pvPixels, ULONG cjPixels) {
    GLContext* gc = pgc->gc;
    if (!(target == GL_TEXTURE_1D && dimensions == 1) && !(target == GL_TEXTURE_2D && dimensions == 2))
        return GL_INVALID_ENUM;
    if (level < 0 || static_cast<ULONG>(level) >= GLX_TEX_LEVELS || (border != 0 && border != 1))
        return GL_INVALID_VALUE;
    // Interior sizes: powers of two (0 passes) no wider than the server
    // reports; the 1D image is one row (its height stands for nothing).
    const LONG w = width - 2 * border, h = dimensions == 1 ? 0 : height - 2 * border;
    if (!bPowerOfTwoOrZero(w) || !bPowerOfTwoOrZero(h) || w > static_cast<LONG>(GLX_TEX_MAX_SIZE) ||
        h > static_cast<LONG>(GLX_TEX_MAX_SIZE))
        return GL_INVALID_VALUE;
    const ULONG formatCode = format - GLX_TEX_FORMAT_FIRST;
    if (formatCode >= sizeof kFormatComponents / sizeof kFormatComponents[0] || kFormatComponents[formatCode] == 0)
        return GL_INVALID_ENUM;
    if (components < 1 || components > 4 || static_cast<ULONG>(components) > kFormatComponents[formatCode])
        return GL_INVALID_VALUE;
    const ULONG typeCode = __glXTypeCode(type);
    if (typeCode == ~0u || __glXCheckBitmapFormat(format, type) != GL_NO_ERROR) return GL_INVALID_ENUM;
    const LONG rows = dimensions == 1 ? 1 : height;

    __GLXtexObjects* pTex = __glXTexObjects(gc);
    auto* pNew = pTex != nullptr ? static_cast<__GLXtexLevel*>(LocalAlloc(LPTR, sizeof(__GLXtexLevel))) : nullptr;
    if (pNew == nullptr) return GL_OUT_OF_MEMORY;
    // The level keeps a copy of its own (none for an empty image).
    __GLXimage image{};
    const ULONG glError = __glXUnpackImage(gc, width, rows, type, kFormatComponents[formatCode],
                                           __glXTexTypeSize(typeCode), static_cast<const BYTE*>(pvPixels),
                                           cjPixels, &image, TRUE);
    if (glError != GL_NO_ERROR) {
        __glXFreeImage(&image);
        LocalFree(pNew);
        return glError;
    }
    void* pvImage = image.bOwned ? image.pj : nullptr;
    *pNew = __GLXtexLevel{pvImage, 0, dimensions - 1, static_cast<ULONG>(width), static_cast<ULONG>(rows),
                          typeCode, formatCode, static_cast<ULONG>(level), static_cast<ULONG>(border),
                          static_cast<ULONG>(components), 0, nullptr};

    // Level 0 starts the list again; another level replaces its earlier
    // record. The new record goes last.
    __GLXtexLevel** ppHead = ppListOf(pTex, target);
    if (level == 0) __glXFreeLevels(ppHead);
    __GLXtexLevel** pp = ppHead;
    while (*pp != nullptr) {
        if ((*pp)->level == static_cast<ULONG>(level)) {
            __GLXtexLevel* pOld = *pp;
            *pp = pOld->pNext;
            vFreeLevel(pOld);
        } else {
            pp = &(*pp)->pNext;
        }
    }
    *pp = pNew;

    const ULONG wanted = ulWantedDimension(gc);
    if (wanted == dimensions) N_BindAttrMap(pNew);
    return GL_NO_ERROR;
}

void __glXValidateTexture(GLContext* gc) {
    if (gc->pdraw == nullptr || gc->pdraw->pBufferSet == nullptr) return;
    __GLXtexObjects* pTex = __glXTexObjects(gc);
    if (pTex == nullptr) return;
    const ULONG wanted = ulWantedDimension(gc);
    if (wanted == pTex->dimension) return;
    pTex->dimension = 0;
    if (wanted == 0) return;
    if (gc->dirty & GLX_DIRTY_BUFFERS) __glXValidateDraw(gc);
    for (const __GLXtexLevel* p = *ppListOf(pTex, wanted == 2 ? GL_TEXTURE_2D : GL_TEXTURE_1D); p != nullptr; p = p->pNext)
        N_BindAttrMap(p);
    pTex->dimension = wanted;
}

namespace {

template <ULONG dimensions>
ULONG ulTexImage(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    // The request's own unpack header goes over the context's unpack state
    // before the image is read.
    if (const ULONG e = __glXSetRequestUnpack(pgc->gc, pj)) return __glXRenderResult(pgc, pv, e);
    const BYTE* pjArgs = pj + kUnpackHeader;
    auto l = [pjArgs](ULONG i) { return static_cast<LONG>(__glXArgWord(pjArgs, i)); };
    const ULONG cjImage = __glXRenderLength(pgc, pv) - kImageOffset;
    const ULONG glError = __glXTexImage(pgc, dimensions, static_cast<ULONG>(l(0)), l(1), l(2), l(3),
                                        dimensions == 1 ? 1 : l(4), l(5), static_cast<ULONG>(l(6)),
                                        static_cast<ULONG>(l(7)), pj + kImageOffset - 4, cjImage);
    return __glXRenderResult(pgc, pv, glError);
}

}  // namespace

ULONG __glXDisp_TexImage1D(GLClient* p, const void* r) { return ulTexImage<1>(p, r); }
ULONG __glXDisp_TexImage2D(GLClient* p, const void* r) { return ulTexImage<2>(p, r); }

namespace {

// A component of the element type as a float: unsigned types over [0, 1],
// signed ones over [-1, 1] by (2c + 1) / (2^bits - 1).
float fComponent(const BYTE* pj, ULONG typeCode) {
    switch (typeCode) {
        case 0: return static_cast<float>(pj[0] / 255.0);
        case 1: return static_cast<float>((2.0 * static_cast<signed char>(pj[0]) + 1.0) / 255.0);
        case 3: {
            USHORT us;
            std::memcpy(&us, pj, 2);
            return static_cast<float>(us / 65535.0);
        }
        case 4: {
            short s;
            std::memcpy(&s, pj, 2);
            return static_cast<float>((2.0 * s + 1.0) / 65535.0);
        }
        case 5: {
            ULONG u;
            std::memcpy(&u, pj, 4);
            return static_cast<float>(u / 4294967295.0);
        }
        case 6: {
            LONG l;
            std::memcpy(&l, pj, 4);
            return static_cast<float>((2.0 * l + 1.0) / 4294967295.0);
        }
        default: {
            float f;
            std::memcpy(&f, pj, 4);
            return f;
        }
    }
}

// A float written as the element type: clamped to the type's range, then
// scaled and rounded (a signed type by ((2^bits - 1) c - 1) / 2).
void vPutComponent(BYTE* pj, ULONG typeCode, float f) {
    const double c = std::isnan(f) ? 0.0 : static_cast<double>(f);
    const double u = c < 0.0 ? 0.0 : c > 1.0 ? 1.0 : c;
    const double sgn = c < -1.0 ? -1.0 : c > 1.0 ? 1.0 : c;
    auto round = [](double x) { return std::floor(x + 0.5); };
    switch (typeCode) {
        case 0: pj[0] = static_cast<BYTE>(round(255.0 * u)); return;
        case 1: pj[0] = static_cast<BYTE>(static_cast<signed char>(round((255.0 * sgn - 1.0) / 2.0))); return;
        case 3: {
            const auto us = static_cast<USHORT>(round(65535.0 * u));
            std::memcpy(pj, &us, 2);
            return;
        }
        case 4: {
            const auto s = static_cast<short>(round((65535.0 * sgn - 1.0) / 2.0));
            std::memcpy(pj, &s, 2);
            return;
        }
        case 5: {
            const auto ul = static_cast<ULONG>(round(4294967295.0 * u));
            std::memcpy(pj, &ul, 4);
            return;
        }
        case 6: {
            const auto l = static_cast<LONG>(round((4294967295.0 * sgn - 1.0) / 2.0));
            std::memcpy(pj, &l, 4);
            return;
        }
        default: {
            const float ff = static_cast<float>(c);
            std::memcpy(pj, &ff, 4);
            return;
        }
    }
}

}  // namespace

ULONG __glXTexFormatComponents(ULONG formatCode) {
    return formatCode < sizeof kFormatComponents / sizeof kFormatComponents[0] ? kFormatComponents[formatCode] : 0;
}

ULONG __glXLevelImage(const __GLXtexLevel* p, ULONG formatCode, ULONG typeCode, void** ppv, ULONG* pcj) {
    const ULONG cTexels = p->width * p->height;  // at most 258 x 258
    const ULONG cOut = __glXTexFormatComponents(formatCode), cjOut = __glXTexTypeSize(typeCode);
    if (p->format == formatCode && p->type == typeCode) {
        *ppv = p->pvImage;
        *pcj = cTexels * cOut * cjOut;
        return GL_NO_ERROR;
    }
    // Colour indices and bitmaps have no colour to convert.
    if (p->format == 0 || p->type == 2 || formatCode == 0 || typeCode == 2) return GL_INVALID_OPERATION;
    auto* pjOut = static_cast<BYTE*>(LocalAlloc(LPTR, cTexels * cOut * cjOut + 1));
    if (pjOut == nullptr) return GL_OUT_OF_MEMORY;
    const ULONG cIn = kFormatComponents[p->format], cjIn = __glXTexTypeSize(p->type);
    const auto* pjIn = static_cast<const BYTE*>(p->pvImage);
    for (ULONG t = 0; t < cTexels; ++t) {
        float in[4];
        for (ULONG i = 0; i < cIn; ++i) in[i] = fComponent(pjIn + (t * cIn + i) * cjIn, p->type);
        // As red, green, blue, alpha.
        float rgba[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        switch (p->format) {
            case 3: case 4: case 5: rgba[p->format - 3] = in[0]; break;  // RED, GREEN, BLUE
            case 6: rgba[3] = in[0]; break;                                 // ALPHA
            case 7: case 8: std::memcpy(rgba, in, cIn * sizeof(float)); break;  // RGB, RGBA
            default:                                                        // LUMINANCE (ALPHA)
                rgba[0] = rgba[1] = rgba[2] = in[0];
                if (p->format == 10) rgba[3] = in[1];
                break;
        }
        // In the format asked for; luminance is the red.
        float out[4];
        switch (formatCode) {
            case 3: case 4: case 5: case 6: out[0] = rgba[formatCode - 3]; break;
            case 7: case 8: std::memcpy(out, rgba, cOut * sizeof(float)); break;
            case 9: out[0] = rgba[0]; break;
            default: out[0] = rgba[0]; out[1] = rgba[3]; break;
        }
        for (ULONG i = 0; i < cOut; ++i) vPutComponent(pjOut + (t * cOut + i) * cjOut, typeCode, out[i]);
    }
    *ppv = pjOut;
    *pcj = cTexels * cOut * cjOut;
    return GL_NO_ERROR;
}
