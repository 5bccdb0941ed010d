// The server-object record of a GLState.
#include "state/objects.h"

#include "eval/eval.h"
#include "matrix/matrix.h"
#include "pixel/pixel.h"
#include "texture/texture_requests.h"

GLServerObjects* __glXServerObjects(GLContext* gc) {
    GLState* pgs = gc->pState;
    if (pgs == nullptr) return nullptr;
    // Pushed levels copy the pointer of the level below: the record is the
    // bottom level's, so that it outlives every pop.
    while (pgs->iDepth != 0 && pgs->pNext != nullptr) pgs = pgs->pNext;
    if (pgs->pObjects == nullptr) pgs->pObjects = static_cast<GLServerObjects*>(LocalAlloc(LPTR, sizeof(GLServerObjects)));
    return pgs->pObjects;
}

void __glXFreeServerObjects(GLServerObjects* pObjects) {
    if (pObjects == nullptr) return;
    __glXFreeMatrixStacks(pObjects->pMatrixStacks);
    __glXFreeEvalState(pObjects->pEval);
    __glXFreePixelState(pObjects->pPixel);
    __glXFreeTexObjects(pObjects->pTexture);
    LocalFree(pObjects);
}
