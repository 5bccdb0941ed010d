// The client's size rules: how many values a parameter name of a vector
// state call carries, the bytes of a glCallLists name array, the values per
// control point of an evaluator map target, and the bytes of an image as
// the client sends it and as the server answers it. Pure functions of their
// arguments; each answers 0 for anything it does not know, which callers
// take as a name they do not know or as nothing to send.
//
// The counts come from the request description (include/glrequest_sizes.h,
// include/gl10.h), which also says which names each call takes.
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
constexpr std::uint32_t TexEnvParamCount(std::uint32_t pname) {
    return GLXParamValues(X_GLrop_TexEnvfv, pname);
}
constexpr std::uint32_t TexGenParamCount(std::uint32_t pname) {
    return GLXParamValues(X_GLrop_TexGenfv, pname);
}
constexpr std::uint32_t TexParameterCount(std::uint32_t pname) {
    return GLXParamValues(X_GLrop_TexParameterfv, pname);
}

// --- evaluator maps ------------------------------------------------------------------
// Values per control point of a GL_MAP1_... or GL_MAP2_... target.
constexpr std::uint32_t MapTargetComponents(std::uint32_t target) {
    return GLXMapComponents(target);
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
    return GLXFormatComponents(format);
}

// Bytes of one component of a type (GL_BITMAP has none).
constexpr std::uint32_t TypeBytes(std::uint32_t type) { return GLXTypeBytes(type); }

// v rounded up to a multiple of to (to 0 or 1 leaves it).
constexpr std::uint64_t RoundUpTo(std::uint64_t v, std::uint64_t to) {
    return to <= 1 ? v : (v + to - 1) / to * to;
}

namespace sizerules_detail {
// A size past 32 bits is none the client can send or take.
constexpr std::uint32_t Fit(std::uint64_t cj) {
    return cj <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(cj) : 0;
}
// Bytes of height rows of an image, each padded to the alignment.
constexpr std::uint64_t Rows(std::int32_t width, std::int32_t height, std::uint32_t format,
                             std::uint32_t type, std::uint32_t alignment) {
    if (width <= 0 || height <= 0) return 0;
    const std::uint64_t row = GLXImageRowBytes(static_cast<std::uint64_t>(width),
                                               FormatComponents(format), type, TypeBytes(type));
    return static_cast<std::uint64_t>(height) * RoundUpTo(row, alignment);
}
}  // namespace sizerules_detail

// Bytes of an image as the unpacker writes it into a command: tight rows
// in the image's own format and type. 0 for nothing to send.
constexpr std::uint64_t UnpackedImageSize(std::int32_t width, std::int32_t height,
                                          std::uint32_t format, std::uint32_t type) {
    return sizerules_detail::Rows(width, height, format, type, 1);
}

// Bytes the client reserves for an image it sends, its rows padded to the
// unpack alignment. RGB of one byte a component counts as RGBA: the
// unpacker widens such pixels to four bytes when it converts them for
// glDrawPixels. A size past 32 bits answers 0.
constexpr std::uint32_t ImageSendSize(std::uint32_t alignment, std::int32_t width,
                                      std::int32_t height, std::uint32_t format,
                                      std::uint32_t type) {
    const std::uint32_t counted = format == GL_RGB && TypeBytes(type) == 1 ? GL_RGBA : format;
    return sizerules_detail::Fit(sizerules_detail::Rows(width, height, counted, type, alignment));
}

// Bytes of an image the server answers, its rows padded to 4 bytes; 0 for
// a format or type that is none, GL_BITMAP with a format other than
// GL_COLOR_INDEX or GL_STENCIL_INDEX, or negative sizes.
constexpr std::uint64_t ImageReplyBytes(std::uint32_t format, std::uint32_t type,
                                        std::int32_t width, std::int32_t height) {
    if (width < 0 || height < 0 || FormatComponents(format) == 0) return 0;
    if (type == GL_BITMAP ? format != GL_COLOR_INDEX && format != GL_STENCIL_INDEX
                          : TypeBytes(type) == 0)
        return 0;
    const std::uint64_t row = GLXImageRowBytes(static_cast<std::uint64_t>(width),
                                               FormatComponents(format), type, TypeBytes(type));
    return static_cast<std::uint64_t>(height) * RoundUpTo(row, 4);
}

// ImageReplyBytes as a 32-bit count: a size past 32 bits answers 0.
constexpr std::uint32_t ImageReplySize(std::uint32_t format, std::uint32_t type, std::int32_t width,
                                       std::int32_t height) {
    return sizerules_detail::Fit(ImageReplyBytes(format, type, width, height));
}
