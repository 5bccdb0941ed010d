// The server-object record of a GLState.
#include "state/objects.h"

#include "matrix/matrix.h"
#include "texture/texture_requests.h"

GLServerObjects* __glXServerObjects(GLContext* gc) {
    GLState* pgs = gc->pState;
    if (pgs == nullptr) return nullptr;
    if (pgs->pObjects == nullptr) pgs->pObjects = static_cast<GLServerObjects*>(LocalAlloc(LPTR, sizeof(GLServerObjects)));
    return pgs->pObjects;
}

void __glXFreeServerObjects(GLServerObjects* pObjects) {
    if (pObjects == nullptr) return;
    __glXFreeMatrixStacks(pObjects->pMatrixStacks);
    __glXFreeTexObjects(pObjects->pTexture);
    LocalFree(pObjects);
}
