// The capabilities Enable and Disable take, one row each: where the
// ENABLE block keeps it, the lgi attribute that mirrors it and the
// attribute group that owns it. Enable/Disable, IsEnabled and Get, the
// attribute stack's pop and the group apply all read this table.
#pragma once

#include "gl10.h"
#include "lgi/lgi.h"
#include "state/glstate.h"

// How the lgi layer learns of a capability.
enum class GLXCapMirror : unsigned char {
    NONE,     // not at all
    WORD,     // its attribute holds 1 on, 0 off (word i of a run: attribute + i)
    SPECIAL,  // by code of its own (Enable and the group apply)
};

struct GLXCapability {
    ULONG cap;      // the capability, or the first of a run
    ULONG count;    // 1, or the run's length (CLIP_PLANE0.., LIGHT0.., ...)
    ULONG flBit;    // its bit in the ENABLE block's word 0 (count 1)
    ULONG iWord;    // the ENABLE block word of the run's first (count > 1)
    ULONG attr;     // its lgi attribute (WORD)
    GLXCapMirror mirror;
    ULONG flGroup;  // the attribute group that owns it besides ENABLE
};

// In the order the group apply sets the mirrored attributes.
inline constexpr GLXCapability kGLXCapabilities[] = {
    {GL_NORMALIZE, 1, GLX_EN_NORMALIZE, 0, N_ATTR_NORMALIZE, GLXCapMirror::WORD, GL_TRANSFORM_BIT},
    {GL_CLIP_PLANE0, 6, 0, GLX_EN_CLIP_PLANES, 0, GLXCapMirror::SPECIAL, GL_TRANSFORM_BIT},
    {GL_LIGHTING, 1, GLX_EN_LIGHTING, 0, N_ATTR_LIGHTING, GLXCapMirror::WORD, GL_LIGHTING_BIT},
    {GL_COLOR_MATERIAL, 1, GLX_EN_COLOR_MATERIAL, 0, N_ATTR_COLOUR_MATERIAL, GLXCapMirror::WORD, GL_LIGHTING_BIT},
    {GL_LIGHT0, GLX_LIGHTS, 0, GLX_EN_LIGHTS, 0, GLXCapMirror::SPECIAL, GL_LIGHTING_BIT},
    {GL_ALPHA_TEST, 1, GLX_EN_ALPHA_TEST, 0, N_ATTR_ALPHA_TEST, GLXCapMirror::WORD, GL_COLOR_BUFFER_BIT},
    {GL_BLEND, 1, GLX_EN_BLEND, 0, N_ATTR_BLEND, GLXCapMirror::WORD, GL_COLOR_BUFFER_BIT},
    {GL_DITHER, 1, GLX_EN_DITHER, 0, N_ATTR_DITHER, GLXCapMirror::WORD, GL_COLOR_BUFFER_BIT},
    {GL_LOGIC_OP, 1, GLX_EN_LOGIC_OP, 0, N_ATTR_LOGIC_OP, GLXCapMirror::WORD, GL_COLOR_BUFFER_BIT},
    {GL_POLYGON_SMOOTH, 1, GLX_EN_POLYGON_SMOOTH, 0, N_ATTR_POLYGON_SMOOTH, GLXCapMirror::WORD, GL_POLYGON_BIT},
    {GL_CULL_FACE, 1, GLX_EN_CULL_FACE, 0, N_ATTR_CULL, GLXCapMirror::WORD, GL_POLYGON_BIT},
    {GL_POLYGON_STIPPLE, 1, GLX_EN_POLYGON_STIPPLE, 0, 0, GLXCapMirror::SPECIAL, GL_POLYGON_BIT},
    {GL_DEPTH_TEST, 1, GLX_EN_DEPTH_TEST, 0, N_ATTR_DEPTH_TEST, GLXCapMirror::SPECIAL, GL_DEPTH_BUFFER_BIT},
    {GL_LINE_SMOOTH, 1, GLX_EN_LINE_SMOOTH, 0, N_ATTR_LINE_SMOOTH, GLXCapMirror::WORD, GL_LINE_BIT},
    {GL_LINE_STIPPLE, 1, GLX_EN_LINE_STIPPLE, 0, 0, GLXCapMirror::SPECIAL, GL_LINE_BIT},
    {GL_FOG, 1, GLX_EN_FOG, 0, N_ATTR_FOG, GLXCapMirror::WORD, GL_FOG_BIT},
    {GL_POINT_SMOOTH, 1, GLX_EN_POINT_SMOOTH, 0, N_ATTR_POINT_SMOOTH, GLXCapMirror::WORD, GL_POINT_BIT},
    {GL_STENCIL_TEST, 1, GLX_EN_STENCIL_TEST, 0, N_ATTR_STENCIL_TEST, GLXCapMirror::SPECIAL, GL_STENCIL_BUFFER_BIT},
    {GL_TEXTURE_GEN_S, 4, 0, GLX_EN_TEXGEN, N_ATTR_TEXGEN_S, GLXCapMirror::WORD, GL_TEXTURE_BIT},
    {GL_TEXTURE_1D, 1, GLX_EN_TEXTURE_1D, 0, N_ATTR_TEXTURE, GLXCapMirror::SPECIAL, GL_TEXTURE_BIT},
    {GL_TEXTURE_2D, 1, GLX_EN_TEXTURE_2D, 0, N_ATTR_TEXTURE, GLXCapMirror::SPECIAL, GL_TEXTURE_BIT},
    {GL_AUTO_NORMAL, 1, GLX_EN_AUTO_NORMAL, 0, 0, GLXCapMirror::NONE, GL_EVAL_BIT},
    {GL_MAP1_COLOR_4, GLX_EVAL_MAPS, 0, GLX_EN_MAP1, 0, GLXCapMirror::NONE, GL_EVAL_BIT},
    {GL_MAP2_COLOR_4, GLX_EVAL_MAPS, 0, GLX_EN_MAP2, 0, GLXCapMirror::NONE, GL_EVAL_BIT},
    {GL_SCISSOR_TEST, 1, GLX_EN_SCISSOR_TEST, 0, 0, GLXCapMirror::SPECIAL, GL_SCISSOR_BIT},
};

// The row of a capability (a run's member included), or null.
inline const GLXCapability* __glXCapability(ULONG cap) {
    for (const GLXCapability& c : kGLXCapabilities)
        if (cap - c.cap < c.count) return &c;
    return nullptr;
}
