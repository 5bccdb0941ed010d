// Render requests that set fixed-function state outside Begin/End: clear
// values, write masks, rasterisation, fragment tests and blending, fog,
// viewport and scissor, Enable/Disable, the current values and the
// attribute stack. Each checks everything before it changes anything.
#pragma once

#include "context/context.h"
#include "state/glstate.h"  // the ENABLE block's bits (GLX_EN_...)

// The lgi index write mask (N_ATTR_INDEX_MASK) of an IndexMask: the mask cut to
// the visual's index bits, in the upper half of a byte for a 4-bit format
// (0 on an RGBA visual). glGet answers the mask as given, which the
// COLOR_BUFFER block keeps (GLX_COLOR_INDEX_MASK).
ULONG __glXIndexWriteMask(const GLContext* gc, ULONG mask);

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

// The current-value requests (handlers in state_requests.cpp): colours,
// the edge flag, indices, normals and texture coordinates.
#define GLX_CURRENT_VALUE_REQUESTS(X)                                                      \
    X(Color3bv) X(Color3dv) X(Color3fv) X(Color3iv) X(Color3sv) X(Color3ubv) X(Color3uiv)  \
    X(Color3usv) X(Color4bv) X(Color4dv) X(Color4fv) X(Color4iv) X(Color4sv) X(Color4ubv)  \
    X(Color4uiv) X(Color4usv) X(EdgeFlagv) X(Indexdv) X(Indexfv) X(Indexiv) X(Indexsv)     \
    X(Normal3bv) X(Normal3dv) X(Normal3fv) X(Normal3iv) X(Normal3sv) X(TexCoord1dv)        \
    X(TexCoord1fv) X(TexCoord1iv) X(TexCoord1sv) X(TexCoord2dv) X(TexCoord2fv)             \
    X(TexCoord2iv) X(TexCoord2sv) X(TexCoord3dv) X(TexCoord3fv) X(TexCoord3iv)             \
    X(TexCoord3sv) X(TexCoord4dv) X(TexCoord4fv) X(TexCoord4iv) X(TexCoord4sv)

// The values of a per-vertex request (X_GLrop_Color3bv .. X_GLrop_Color4usv,
// X_GLrop_EdgeFlagv, the indices, normals, texture coordinates and vertices
// up to X_GLrop_Vertex4sv) whose body is known to be whole, as floats by the
// request's conversion rule; missing components 0, the fourth 1.0. Answers
// the values the request carries (the edge flag's byte as one value).
ULONG __glXVertexFloats(ULONG op, const BYTE* pj, float* pf);

// The raster-position requests (handlers in raster_requests.cpp, with the
// rectangles and the accumulation operation; the name stack and
// PassThrough are in name_requests.cpp).
#define GLX_RASTER_POS_REQUESTS(X)                                                      \
    X(RasterPos2dv) X(RasterPos2fv) X(RasterPos2iv) X(RasterPos2sv) X(RasterPos3dv)     \
    X(RasterPos3fv) X(RasterPos3iv) X(RasterPos3sv) X(RasterPos4dv) X(RasterPos4fv)     \
    X(RasterPos4iv) X(RasterPos4sv)
