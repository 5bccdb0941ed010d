// The client's size rules: how many values a parameter name of a vector
// state call carries, the bytes of a glCallLists name array, the values per
// control point of an evaluator map target, and the bytes of an image as
// the client sends it and as the server answers it. Pure functions of their
// arguments; each answers 0 for anything it does not know, which callers
// take as a name they do not know or as nothing to send.
//
// The counts come from the request description (include/glrequest_sizes.h,
// include/gl10.h); which names each call takes is the call's own.
#pragma once

#include <cstdint>

#include "gl10.h"
#include "glrequest_sizes.h"

// --- parameter counts of the vector state calls ---------------------------------
constexpr std::uint32_t FogParamCount(std::uint32_t pname) {
    return GLXParamValues(X_GLrop_Fogfv, pname);
}
constexpr std::uint32_t LightParamCount(std::uint32_t pname) {
    return GLXParamValues(X_GLrop_Lightfv, pname);
}
constexpr std::uint32_t LightModelParamCount(std::uint32_t pname) {
    return GLXParamValues(X_GLrop_LightModelfv, pname);
}
constexpr std::uint32_t MaterialParamCount(std::uint32_t pname) {
    return GLXParamValues(X_GLrop_Materialfv, pname);
}
// The texture calls each take their own names only (the server's length
// check accepts any texture name for any of them).
constexpr std::uint32_t TexEnvParamCount(std::uint32_t pname) {
    return pname == GL_TEXTURE_ENV_MODE || pname == GL_TEXTURE_ENV_COLOR ? glParamCount(pname) : 0;
}
constexpr std::uint32_t TexGenParamCount(std::uint32_t pname) {
    return pname == GL_TEXTURE_GEN_MODE || pname == GL_OBJECT_PLANE || pname == GL_EYE_PLANE
               ? glParamCount(pname)
               : 0;
}
constexpr std::uint32_t TexParameterCount(std::uint32_t pname) {
    return (pname >= GL_TEXTURE_MAG_FILTER && pname <= GL_TEXTURE_WRAP_T) ||
                   pname == GL_TEXTURE_BORDER_COLOR
               ? glParamCount(pname)
               : 0;
}

// --- evaluator maps ------------------------------------------------------------------
// Values per control point of a GL_MAP1_... or GL_MAP2_... target (COLOR_4,
// INDEX, NORMAL, TEXTURE_COORD_1 .. 4, VERTEX_3, VERTEX_4 in enumerant order).
constexpr std::uint32_t MapTargetComponents(std::uint32_t target) {
    constexpr std::uint32_t kComponents[] = {4, 1, 3, 1, 2, 3, 4, 3, 4};
    std::uint32_t i = ~0u;
    if (target >= GL_MAP1_COLOR_4 && target <= GL_MAP1_VERTEX_4) i = target - GL_MAP1_COLOR_4;
    if (target >= GL_MAP2_COLOR_4 && target <= GL_MAP2_VERTEX_4) i = target - GL_MAP2_COLOR_4;
    return i < 9 ? kComponents[i] : 0;
}

// --- list names ---------------------------------------------------------------------
// Bytes of n list names of a glCallLists type; a negative n, a type that is
// none, or a count past 32 bits answers 0.
constexpr std::uint32_t CallListsByteCount(std::int32_t n, std::uint32_t type) {
    if (n < 0) return 0;
    const std::uint64_t cj = static_cast<std::uint64_t>(n) * GLXListNameBytes(type);
    return cj <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(cj) : 0;
}

// --- images -------------------------------------------------------------------------
// Components of one pixel of a format.
constexpr std::uint32_t FormatComponents(std::uint32_t format) {
    switch (format) {
        case GL_COLOR_INDEX:
        case GL_STENCIL_INDEX:
        case GL_DEPTH_COMPONENT:
        case GL_RED:
        case GL_GREEN:
        case GL_BLUE:
        case GL_ALPHA:
        case GL_LUMINANCE: return 1;
        case GL_RGB: return 3;
        case GL_RGBA: return 4;
        case GL_LUMINANCE_ALPHA: return 2;
        default: return 0;
    }
}

// Bytes of one component of a type (GL_BITMAP has none).
constexpr std::uint32_t TypeBytes(std::uint32_t type) {
    switch (type) {
        case GL_BYTE:
        case GL_UNSIGNED_BYTE: return 1;
        case GL_SHORT:
        case GL_UNSIGNED_SHORT: return 2;
        case GL_INT:
        case GL_UNSIGNED_INT:
        case GL_FLOAT: return 4;
        default: return 0;
    }
}

namespace sizerules_detail {
constexpr std::uint64_t RoundUp(std::uint64_t v, std::uint64_t to) {
    return to <= 1 ? v : (v + to - 1) / to * to;
}
// A size past 32 bits is none the client can send or take.
constexpr std::uint32_t Fit(std::uint64_t cj) {
    return cj <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(cj) : 0;
}
}  // namespace sizerules_detail

// Bytes the client reserves for an image it sends, its rows padded to the
// unpack alignment. RGB of one byte a component counts as RGBA: the
// unpacker widens such pixels to four bytes.
constexpr std::uint32_t ImageSendSize(std::uint32_t alignment, std::int32_t width,
                                      std::int32_t height, std::uint32_t format,
                                      std::uint32_t type) {
    using namespace sizerules_detail;
    if (width <= 0 || height <= 0) return 0;
    const std::uint64_t w = static_cast<std::uint64_t>(width);
    std::uint64_t row = 0;
    if (type == GL_BITMAP) {
        row = ((w + 7) >> 3) * FormatComponents(format);
    } else {
        const std::uint32_t counted = format == GL_RGB && TypeBytes(type) == 1 ? GL_RGBA : format;
        row = w * TypeBytes(type) * FormatComponents(counted);
    }
    return Fit(static_cast<std::uint64_t>(height) * RoundUp(row, alignment));
}

// Bytes of an image the server answers, its rows padded to 4 bytes.
// Negative sizes answer 0.
constexpr std::uint32_t ImageReplySize(std::uint32_t format, std::uint32_t type, std::int32_t width,
                                       std::int32_t height) {
    using namespace sizerules_detail;
    if (format < GL_COLOR_INDEX || format > GL_LUMINANCE_ALPHA || width < 0 || height < 0) return 0;
    const std::uint64_t w = static_cast<std::uint64_t>(width),
                        h = static_cast<std::uint64_t>(height);
    if (type == GL_BITMAP) {
        if (format != GL_COLOR_INDEX && format != GL_STENCIL_INDEX) return 0;
        return Fit(h * RoundUp((w + 7) / 8, 4));
    }
    const std::uint32_t cjComponent = TypeBytes(type);
    if (cjComponent == 0) return 0;
    return Fit(h * RoundUp(w * cjComponent * FormatComponents(format), 4));
}
