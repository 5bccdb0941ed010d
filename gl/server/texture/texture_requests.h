// Texture requests: texture parameters, the texture environment, texture
// coordinate generation, and the 1D and 2D texture images, kept level by
// level in per-context lists and loaded into the board when the texture's
// dimension is the one in force.
#pragma once

#include "context/context.h"
#include "context/texture.h"
#include "lgi/lgi.h"

// The texture objects of a context (in its server-object record).
struct __GLXtexObjects {
    ULONG dimension;               // the dimension loaded into the board: 0 none, 1, 2
    __GLXtexLevel* pLevels1D;      // the 1D level list, in the order the levels came
    __GLXtexLevel* pLevels2D;      // the 2D level list
};

// The most levels a texture has (the device's level records) and the
// widest image a level takes, border excluded (the size the server reports).
#define GLX_TEX_LEVELS GLTEX_LEVELS
#define GLX_TEX_MAX_SIZE 256u

// Format codes of a level record (a GL format enumerant less GL_COLOR_INDEX); the
// element-type codes.
#define GLX_TEX_FORMAT_FIRST GL_COLOR_INDEX
ULONG __glXTexTypeSize(ULONG code);  // bytes of an element (0 for BITMAP)

// The state routines: GL_NO_ERROR or the GL error; nothing changes on an
// error. Values are floats (the integer forms convert first); bScalar: the
// scalar forms, which refuse the vector-only parameters.
ULONG __glXTexParameter(GLContext* gc, ULONG target, ULONG pname, const float* pfValues, BOOL bScalar);
ULONG __glXTexEnv(GLContext* gc, ULONG target, ULONG pname, const float* pfValues, BOOL bScalar);
ULONG __glXTexGen(GLContext* gc, ULONG coord, ULONG pname, const float* pfValues, BOOL bScalar);
// Sends the four coordinates' generation attributes for their modes from
// a TEXTURE block (the attribute restore).
void __glXApplyTexGen(GLContext* gc, const ULONG* pwTexture);
// Defines a level of the 1D (dimensions 1) or 2D texture from cjPixels
// bytes of client image at pvPixels.
ULONG __glXTexImage(GLClient* pgc, ULONG dimensions, ULONG target, LONG level, LONG components, LONG width,
                    LONG height, LONG border, ULONG format, ULONG type, const void* pvPixels, ULONG cjPixels);
// Loads the level list of the enabled dimension into the board when the
// enabled dimension changed (Enable/Disable, attribute restore).
void __glXValidateTexture(GLContext* gc);
// Frees a level list (images, then records) and clears its head.
void __glXFreeLevels(__GLXtexLevel** ppHead);
// The context's texture objects, made when absent; null when they cannot
// be made. Frees them with every level (the server-object record goes).
__GLXtexObjects* __glXTexObjects(GLContext* gc);
void __glXFreeTexObjects(__GLXtexObjects* pTex);
// Components of a format code (0 for a code that is no texture format).
ULONG __glXTexFormatComponents(ULONG formatCode);
// A level's image tightly packed in the format and type codes asked for:
// GL_NO_ERROR with *ppv (the level's own image when they are its own, else
// a LocalAlloc buffer the caller frees) and *pcj, GL_INVALID_OPERATION when
// colour indices or bitmaps would have to be converted, or
// GL_OUT_OF_MEMORY.
ULONG __glXLevelImage(const __GLXtexLevel* pLevel, ULONG formatCode, ULONG typeCode, void** ppv, ULONG* pcj);
// The last level record of the target (TEXTURE_1D or TEXTURE_2D) with that
// level, or null.
const __GLXtexLevel* __glXFindLevel(GLContext* gc, ULONG target, LONG level);
