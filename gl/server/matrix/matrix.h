// The GL matrix stacks of a context and what sends their top matrices to
// the lgi layer. Matrices are kept row-major (element (r, c) at 4r + c); the
// column-major arrays of the requests are transposed on arrival.
//
// Where the top matrices go in the lgi layer: the modelview to the top of
// lgi stack 0 (attribute id 3); the projection, premultiplied by the
// context's device matrix, to the top of lgi stack 1 (id 9), since the top
// of lgi stack 2 (id 15) holds the viewport matrix the viewport validation
// sets there; the texture matrix to the top of lgi stack 3 (id 21); on a
// stereo board the second eye's projection to the extra matrix (id 24).
#pragma once

#include "context/context.h"
#include "lgi/lgi.h"
#include "lgi/matmul.h"  // __glXMatMul: out = a x b

#define GLX_MATRIX_DEPTH 32u  // matrices of a stack

// lgi attribute ids the matrices are sent with.
#define GLX_LGI_MODELVIEW N_AttrStackOp(0, N_STACK_LOAD)
#define GLX_LGI_PROJECTION N_AttrStackOp(1, N_STACK_LOAD)
#define GLX_LGI_VIEWPORT N_AttrStackOp(2, N_STACK_LOAD)
#define GLX_LGI_TEXTURE N_AttrStackOp(3, N_STACK_LOAD)
#define GLX_LGI_SECOND_EYE N_ATTR_EXTRA_MATRIX_OP

typedef float __GLXmatrix[16];

// The matrix-stack record (in the server-object record of the GLState).
// The current mode is kept in one place, word 0 of the GLState's TRANSFORM
// block: MatrixMode writes it there, the attribute stack saves and restores
// it with the group and queries read it; the matrix code reads it back with
// __glXMatrixMode, and pCurrent follows it each time a mode is selected.
struct __GLXmatrixStacks {
    __GLXmatrix* apStack[3];      // modelview, projection, texture; 32 each, made on first use
    ULONG aDepth[3];              // 0 = bottom
    float* pCurrent;              // the top of the current mode's stack
    // The stereo values the context's projections were last derived with:
    // the board's flag that they changed is one for the whole device, so a
    // context also derives again when they differ from these.
    ULONG stereoDerived;          // 1 once derived
    float stereoSeen[3];          // stereoAdjust, stereoOffset, stereoTranslate
    ULONG stereoOnSeen;           // BCF_STEREO as it was
};

// The rotation of angle degrees about (x, y, z) (normalised; a zero-length
// or NaN axis gives diag(c, c, c, 1)).
void __glXRotationMatrix(float angle, float x, float y, float z, float* out);
// Frustum and ortho of the six values, computed in double precision: FALSE
// (and nothing written) when r - l, t - b or f - n is 0.
BOOL __glXFrustumMatrix(const double v[6], float* out);
BOOL __glXOrthoMatrix(const double v[6], float* out);

// The context's matrix-stack record, made when absent; null when it cannot
// be made.
__GLXmatrixStacks* __glXMatrixStacks(GLContext* gc);
void __glXFreeMatrixStacks(__GLXmatrixStacks* pms);
// The current matrix mode: the TRANSFORM block's word 0 (GL_MODELVIEW
// while the context has no GL state).
ULONG __glXMatrixMode(const GLContext* gc);
// Selects the stack of a mode (and writes it to the TRANSFORM block):
// GL_NO_ERROR, or GL_INVALID_ENUM for another value.
ULONG __glXSelectMatrixMode(GLContext* gc, ULONG mode);
// Selects the mode as glMatrixMode does; also run when a TRANSFORM group is
// applied.
void __glXSetMatrixMode(GLContext* gc, ULONG mode);
// Fills the mode's stack with identities, depth 0, and sends the top.
void __glXResetStack(GLContext* gc, ULONG mode);
// Resets projection, texture and modelview, leaving the mode at MODELVIEW;
// run once when the context is made, which also makes its device matrix
// the identity.
void __glXResetStacks(GLContext* gc);
// Sends a mode's matrix to the lgi layer.
void __glXSendMatrix(GLContext* gc, ULONG mode, const float* m);
// Sends the current mode's top matrix.
void __glXSendTop(GLContext* gc);
// top = top x m; sent.
void __glXMultTop(GLContext* gc, const float* m);
// GL_NO_ERROR, GL_STACK_OVERFLOW or GL_STACK_UNDERFLOW.
ULONG __glXPushMatrix(GLContext* gc);
ULONG __glXPopMatrix(GLContext* gc);

// The two eyes' projections from a symmetric perspective projection p, the
// frustum shift a, eye offset b and depth translation c, each premultiplied
// by the device matrix d. FALSE when p is not such a projection (an
// orthographic or off-centre one) or its frustum is empty: nothing written.
BOOL __glXStereoMatrices(const float* p, const float* d, float a, float b, float c, float* pEye1,
                         float* pEye2);
// Derives and sends both eyes' projections of the context's projection;
// clears the board's changed flag.
void __glXStereoProjections(GLContext* gc);
