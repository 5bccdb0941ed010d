// The size rules of the requests' variable parts that take GL enumerants
// (include/glrequests.def names each request's rule): how many values a
// parameter request carries for its parameter, the bytes of a list name
// of each CallLists type, the bytes of a pixel map's values, the pixels of
// an image and the control points of an evaluator map. Shared by the GL
// server's one length check and the client side that encodes the same
// requests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gl10.h"
#include "glrequests.h"

// --- variable parts ----------------------------------------------------------------------
// PNAME: the parameter is the last word of the fixed arguments, and the
// request carries as many values as the request takes for it: its count
// (glParamCount) when the request knows the parameter, none when it does
// not (a server refuses such a parameter before it reads a value). Each
// request takes its own names: a texture environment name sent with
// TexParameter is one TexParameter does not know.
constexpr std::uint32_t GLXParamValues(unsigned opcode, std::uint32_t pname) {
    bool bTakes = false;
    switch (opcode) {
        case X_GLrop_Lightfv:
        case X_GLrop_Lightiv:
            bTakes = pname == GL_AMBIENT || pname == GL_DIFFUSE || pname == GL_SPECULAR || pname == GL_POSITION ||
                     pname == GL_SPOT_DIRECTION || pname == GL_SPOT_EXPONENT || pname == GL_SPOT_CUTOFF ||
                     pname == GL_CONSTANT_ATTENUATION || pname == GL_LINEAR_ATTENUATION ||
                     pname == GL_QUADRATIC_ATTENUATION;
            break;
        case X_GLrop_Materialfv:
        case X_GLrop_Materialiv:
            bTakes = pname == GL_AMBIENT || pname == GL_DIFFUSE || pname == GL_SPECULAR || pname == GL_EMISSION ||
                     pname == GL_AMBIENT_AND_DIFFUSE || pname == GL_SHININESS || pname == GL_COLOR_INDEXES;
            break;
        case X_GLrop_LightModelfv:
        case X_GLrop_LightModeliv:
            bTakes = pname == GL_LIGHT_MODEL_AMBIENT || pname == GL_LIGHT_MODEL_LOCAL_VIEWER ||
                     pname == GL_LIGHT_MODEL_TWO_SIDE;
            break;
        case X_GLrop_Fogfv:
        case X_GLrop_Fogiv: bTakes = pname >= GL_FOG_INDEX && pname <= GL_FOG_COLOR; break;
        case X_GLrop_TexParameterfv:
        case X_GLrop_TexParameteriv:
            bTakes = pname == GL_TEXTURE_MAG_FILTER || pname == GL_TEXTURE_MIN_FILTER || pname == GL_TEXTURE_WRAP_S ||
                     pname == GL_TEXTURE_WRAP_T || pname == GL_TEXTURE_BORDER_COLOR;
            break;
        case X_GLrop_TexEnvfv:
        case X_GLrop_TexEnviv: bTakes = pname == GL_TEXTURE_ENV_MODE || pname == GL_TEXTURE_ENV_COLOR; break;
        case X_GLrop_TexGendv:
        case X_GLrop_TexGenfv:
        case X_GLrop_TexGeniv:
            bTakes = pname == GL_TEXTURE_GEN_MODE || pname == GL_OBJECT_PLANE || pname == GL_EYE_PLANE;
            break;
        default: break;
    }
    return bTakes ? glParamCount(pname) : 0;
}

// Bytes of one value of a PNAME request: 8 for the double forms (the name
// ends in "dv"), else 4.
constexpr std::uint32_t GLXParamValueBytes(const GLXRenderRow& r) {
    std::size_t n = 0;
    while (r.name[n] != '\0') ++n;
    return n >= 2 && r.name[n - 2] == 'd' && r.name[n - 1] == 'v' ? 8 : 4;
}

// LIST: bytes of one name of a CallLists type, 0 for a type that is none.
constexpr std::uint32_t GLXListNameBytes(std::uint32_t type) {
    switch (type) {
        case GL_BYTE:
        case GL_UNSIGNED_BYTE: return 1;
        case GL_SHORT:
        case GL_UNSIGNED_SHORT:
        case GL_2_BYTES: return 2;
        case GL_3_BYTES: return 3;
        case GL_INT:
        case GL_UNSIGNED_INT:
        case GL_FLOAT:
        case GL_4_BYTES: return 4;
        default: return 0;
    }
}

// MAPSIZE: bytes of one value of a pixel map request.
constexpr std::uint32_t GLXPixelMapValueBytes(unsigned opcode) { return opcode == X_GLrop_PixelMapusv ? 2 : 4; }

// IMAGE: components of one pixel of a format, 0 for a format that is none.
constexpr std::uint32_t GLXFormatComponents(std::uint32_t format) {
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

// IMAGE: bytes of one component of a type; GL_BITMAP (a bit a component)
// and a type that is none answer 0.
constexpr std::uint32_t GLXTypeBytes(std::uint32_t type) {
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

// IMAGE: bytes of one tight row of width pixels of the given components of
// cjComponent bytes each; a GL_BITMAP row holds a bit a component, padded
// to whole bytes.
constexpr std::uint64_t GLXImageRowBytes(std::uint64_t width, std::uint32_t components, std::uint32_t type,
                                         std::uint32_t cjComponent) {
    return type == GL_BITMAP ? (width * components + 7) >> 3 : width * components * cjComponent;
}

// Evaluator maps: values a control point of each of the nine targets of a
// dimension, in enumerant order (COLOR_4, INDEX, NORMAL, TEXTURE_COORD_1 ..
// TEXTURE_COORD_4, VERTEX_3, VERTEX_4).
inline constexpr std::uint32_t kGLXMapComponents[9] = {4, 1, 3, 1, 2, 3, 4, 3, 4};

// Values a control point of a GL_MAP1_... or GL_MAP2_... target, 0 for any
// other target.
constexpr std::uint32_t GLXMapComponents(std::uint32_t target) {
    if (target >= GL_MAP1_COLOR_4 && target <= GL_MAP1_VERTEX_4) return kGLXMapComponents[target - GL_MAP1_COLOR_4];
    if (target >= GL_MAP2_COLOR_4 && target <= GL_MAP2_VERTEX_4) return kGLXMapComponents[target - GL_MAP2_COLOR_4];
    return 0;
}
