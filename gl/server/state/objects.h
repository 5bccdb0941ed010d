// The server-object record of a GLState: what the requests of a context
// keep in the server beside its attribute groups. Each family of requests
// owns its member and makes it on first use; __glXFreeServerObjects frees
// them all with the GLState.
#pragma once

#include "context/context.h"

struct __GLXmatrixStacks;  // the three GL matrix stacks (matrix.h)
struct __GLXevalState;     // the evaluator maps (eval.h)
struct __GLXpixelState;    // pixel store and pixel maps (pixel.h)
struct __GLXtexObjects;    // the texture level lists (texture/texture_requests.h)

struct GLServerObjects {
    __GLXmatrixStacks* pMatrixStacks;
    __GLXevalState* pEval;
    __GLXpixelState* pPixel;
    __GLXtexObjects* pTexture;
};

// The record of the context's own GLState (the bottom of its attribute
// stack, which every pushed level shares), made when absent; null when it
// cannot be made.
GLServerObjects* __glXServerObjects(GLContext* gc);
// Frees the record and everything it holds (null: nothing).
void __glXFreeServerObjects(GLServerObjects* pObjects);
