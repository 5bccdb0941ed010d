// Render requests that set fixed-function state outside Begin/End: clear
// values, write masks, rasterisation, fragment tests and blending, fog,
// viewport and scissor, Enable/Disable, the current values and the
// attribute stack. Each checks everything before it changes anything.
#pragma once

#include "context/context.h"

// The ENABLE block's bits (word 0).
#define GLX_EN_NORMALIZE 0x1u
#define GLX_EN_LIGHTING 0x2u
#define GLX_EN_COLOR_MATERIAL 0x4u
#define GLX_EN_AUTO_NORMAL 0x8u
#define GLX_EN_TEXTURE_1D 0x10u
#define GLX_EN_TEXTURE_2D 0x20u
#define GLX_EN_ALPHA_TEST 0x40u
#define GLX_EN_BLEND 0x80u
#define GLX_EN_DITHER 0x100u
#define GLX_EN_LOGIC_OP 0x200u
#define GLX_EN_POLYGON_SMOOTH 0x400u
#define GLX_EN_POLYGON_STIPPLE 0x800u
#define GLX_EN_CULL_FACE 0x1000u
#define GLX_EN_LINE_SMOOTH 0x4000u
#define GLX_EN_LINE_STIPPLE 0x8000u
#define GLX_EN_FOG 0x10000u
#define GLX_EN_POINT_SMOOTH 0x20000u
// ENABLE words of the clip planes, lights, maps and texture generation.
#define GLX_EN_CLIP_PLANES 1u
#define GLX_EN_LIGHTS 7u
#define GLX_EN_MAP1 15u
#define GLX_EN_MAP2 24u
#define GLX_EN_TEXGEN 33u

// The lgi index write mask (attribute 161) of an IndexMask: the mask cut to
// the visual's index bits, in the upper half of a byte for a 4-bit format
// (0 on an RGBA visual); and the mask a client reads back from it.
ULONG __glXIndexWriteMask(const GLContext* gc, ULONG mask);
ULONG __glXIndexMaskOf(const GLContext* gc, ULONG ulLgiMask);

// The deepest the attribute stack goes (the context's own record is 0):
// MAX_ATTRIB_STACK_DEPTH pushes fit, the next one overflows.
#define GLX_ATTRIB_DEPTH_MAX 16u
// The attribute group bits; PushAttrib ignores the others, so that
// GL_ALL_ATTRIB_BITS as applications define it (all 32 bits) pushes them all.
#define GLX_ATTRIB_GROUP_BITS 0xFFFFFu

// A context bound to a window for the first time: a viewport and scissor
// box never set become the window's size (x, y 0).
void __glXWindowBound(GLContext* gc, LONG cx, LONG cy);

// Pushes the groups of flMask (GL_..._BIT): GL_NO_ERROR or the GL error;
// a push refused or failing part-way leaves the stack as it was.
ULONG __glXPushAttrib(GLContext* gc, ULONG flMask);
// Pops the top level: GL_NO_ERROR or GL_STACK_UNDERFLOW.
ULONG __glXPopAttrib(GLContext* gc);
// Enables (bOn) or disables a capability: GL_NO_ERROR or GL_INVALID_ENUM.
ULONG __glXSetEnable(GLContext* gc, ULONG cap, BOOL bOn);

ULONG __glXDisp_ClipPlane(GLClient*, const void*);      // 77
ULONG __glXDisp_CullFace(GLClient*, const void*);       // 79
ULONG __glXDisp_Fogf(GLClient*, const void*);           // 80
ULONG __glXDisp_Fogfv(GLClient*, const void*);          // 81
ULONG __glXDisp_Fogi(GLClient*, const void*);           // 82
ULONG __glXDisp_Fogiv(GLClient*, const void*);          // 83
ULONG __glXDisp_FrontFace(GLClient*, const void*);      // 84
ULONG __glXDisp_Hint(GLClient*, const void*);           // 85
ULONG __glXDisp_LineStipple(GLClient*, const void*);    // 94
ULONG __glXDisp_LineWidth(GLClient*, const void*);      // 95
ULONG __glXDisp_PointSize(GLClient*, const void*);      // 100
ULONG __glXDisp_PolygonMode(GLClient*, const void*);    // 101
ULONG __glXDisp_PolygonStipple(GLClient*, const void*); // 102
ULONG __glXDisp_Scissor(GLClient*, const void*);        // 103
ULONG __glXDisp_ShadeModel(GLClient*, const void*);     // 104
ULONG __glXDisp_DrawBuffer(GLClient*, const void*);     // 126
ULONG __glXDisp_Clear(GLClient*, const void*);          // 127
ULONG __glXDisp_ColorMask(GLClient*, const void*);      // 134
ULONG __glXDisp_IndexMask(GLClient*, const void*);      // 136
ULONG __glXDisp_ReadBuffer(GLClient*, const void*);     // 171
ULONG __glXDisp_ClearAccum(GLClient*, const void*);     // 128
ULONG __glXDisp_ClearIndex(GLClient*, const void*);     // 129
ULONG __glXDisp_ClearColor(GLClient*, const void*);     // 130
ULONG __glXDisp_ClearStencil(GLClient*, const void*);   // 131
ULONG __glXDisp_ClearDepth(GLClient*, const void*);     // 132
ULONG __glXDisp_StencilMask(GLClient*, const void*);    // 133
ULONG __glXDisp_DepthMask(GLClient*, const void*);      // 135
ULONG __glXDisp_Disable(GLClient*, const void*);        // 138
ULONG __glXDisp_Enable(GLClient*, const void*);         // 139
ULONG __glXDisp_PopAttrib(GLClient*, const void*);      // 141
ULONG __glXDisp_PushAttrib(GLClient*, const void*);     // 142
ULONG __glXDisp_AlphaFunc(GLClient*, const void*);      // 159
ULONG __glXDisp_BlendFunc(GLClient*, const void*);      // 160
ULONG __glXDisp_LogicOp(GLClient*, const void*);        // 161
ULONG __glXDisp_StencilFunc(GLClient*, const void*);    // 162
ULONG __glXDisp_StencilOp(GLClient*, const void*);      // 163
ULONG __glXDisp_DepthFunc(GLClient*, const void*);      // 164
ULONG __glXDisp_PixelZoom(GLClient*, const void*);      // 165
ULONG __glXDisp_DepthRange(GLClient*, const void*);     // 174
ULONG __glXDisp_Viewport(GLClient*, const void*);       // 191
// The current values: colours 6-21, edge flag 22, indices 24-27, normals
// 28-32, texture coordinates 49-64.
#define GLX_CURRENT_VALUE_REQUESTS(X)                                                              \
    X(Color3bv, 6) X(Color3dv, 7) X(Color3fv, 8) X(Color3iv, 9) X(Color3sv, 10) X(Color3ubv, 11)   \
    X(Color3uiv, 12) X(Color3usv, 13) X(Color4bv, 14) X(Color4dv, 15) X(Color4fv, 16)              \
    X(Color4iv, 17) X(Color4sv, 18) X(Color4ubv, 19) X(Color4uiv, 20) X(Color4usv, 21)             \
    X(EdgeFlagv, 22) X(Indexdv, 24) X(Indexfv, 25) X(Indexiv, 26) X(Indexsv, 27)                   \
    X(Normal3bv, 28) X(Normal3dv, 29) X(Normal3fv, 30) X(Normal3iv, 31) X(Normal3sv, 32)           \
    X(TexCoord1dv, 49) X(TexCoord1fv, 50) X(TexCoord1iv, 51) X(TexCoord1sv, 52)                    \
    X(TexCoord2dv, 53) X(TexCoord2fv, 54) X(TexCoord2iv, 55) X(TexCoord2sv, 56)                    \
    X(TexCoord3dv, 57) X(TexCoord3fv, 58) X(TexCoord3iv, 59) X(TexCoord3sv, 60)                    \
    X(TexCoord4dv, 61) X(TexCoord4fv, 62) X(TexCoord4iv, 63) X(TexCoord4sv, 64)
#define GLX_DECLARE_CURRENT(name, op) ULONG __glXDisp_##name(GLClient*, const void*);
GLX_CURRENT_VALUE_REQUESTS(GLX_DECLARE_CURRENT)
#undef GLX_DECLARE_CURRENT

// The values of a per-vertex request (colours 6-21, edge flag 22, indices
// 24-27, normals 28-32, texture coordinates 49-64, vertices 65-76) whose
// body is known to be whole, as floats by the request's conversion rule;
// missing components 0, the fourth 1.0. Answers the values the request
// carries (the edge flag's byte as one value).
ULONG __glXVertexFloats(ULONG op, const BYTE* pj, float* pf);

// The raster position (33-44), rectangles (45-48) and the accumulation
// operation (137) (raster_requests.cpp).
#define GLX_RASTER_POS_REQUESTS(X)                                                                 \
    X(RasterPos2dv, 33) X(RasterPos2fv, 34) X(RasterPos2iv, 35) X(RasterPos2sv, 36)                \
    X(RasterPos3dv, 37) X(RasterPos3fv, 38) X(RasterPos3iv, 39) X(RasterPos3sv, 40)                \
    X(RasterPos4dv, 41) X(RasterPos4fv, 42) X(RasterPos4iv, 43) X(RasterPos4sv, 44)
#define GLX_DECLARE_RASTER_POS(name, op) ULONG __glXDisp_##name(GLClient*, const void*);
GLX_RASTER_POS_REQUESTS(GLX_DECLARE_RASTER_POS)
#undef GLX_DECLARE_RASTER_POS
ULONG __glXDisp_Rectdv(GLClient*, const void*);  // 45
ULONG __glXDisp_Rectfv(GLClient*, const void*);  // 46
ULONG __glXDisp_Rectiv(GLClient*, const void*);  // 47
ULONG __glXDisp_Rectsv(GLClient*, const void*);  // 48
ULONG __glXDisp_Accum(GLClient*, const void*);   // 137

// The name stack and PassThrough (name_requests.cpp).
ULONG __glXDisp_InitNames(GLClient*, const void*);    // 121
ULONG __glXDisp_LoadName(GLClient*, const void*);     // 122
ULONG __glXDisp_PassThrough(GLClient*, const void*);  // 123
ULONG __glXDisp_PopName(GLClient*, const void*);      // 124
ULONG __glXDisp_PushName(GLClient*, const void*);     // 125
