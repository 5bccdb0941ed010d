// The single requests that read state back: GetError, the four Get forms
// and IsEnabled, GetString. Values are gathered in their own type and
// converted to the type asked for.
#pragma once

#include "context/context.h"
#include "smsegment.h"

// Value types of the conversion step.
#define GLX_TYPE_BOOLEAN 5120u
#define GLX_TYPE_INT 5124u
#define GLX_TYPE_FLOAT 5126u
#define GLX_TYPE_DOUBLE 10252u
#define GLX_TYPE_COLOR 6144u  // floats that become integers by the colour rule

// Room for the widest value a query gathers, in bytes.
#define GLX_STAGING_BYTES 256u

// Converts c values of type srcType at pvSrc to dstType at pvDst.
void __glXConvertValues(ULONG srcType, const void* pvSrc, ULONG c, ULONG dstType, void* pvDst);
// Gathers state variable pname as type: GL_NO_ERROR with *ppv and *pcj
// the values and their byte size (in a staging area the next query
// overwrites), or GL_INVALID_ENUM for an unknown pname.
ULONG __glXGetState(GLClient* pgc, ULONG pname, ULONG type, const void** ppv, ULONG* pcj);

// Per-object getters: (client, object, pname, type, out values, out byte
// size) -> GL error; GL_INVALID_ENUM for an object or pname out of range.
ULONG __glXGetLight(GLClient* pgc, ULONG light, ULONG pname, ULONG type, const void** ppv, ULONG* pcj);
ULONG __glXGetMaterial(GLClient* pgc, ULONG face, ULONG pname, ULONG type, const void** ppv, ULONG* pcj);
ULONG __glXGetMap(GLClient* pgc, ULONG target, ULONG query, ULONG type, const void** ppv, ULONG* pcj);
ULONG __glXGetTexEnv(GLClient* pgc, ULONG target, ULONG pname, ULONG type, const void** ppv, ULONG* pcj);

// Texture getters: generation (coordinate, pname), parameters (target,
// pname), a level's parameters (target, level, pname) from the last record
// of that level (a level never loaded answers 0, 0, 1 and 0).
ULONG __glXGetTexGen(GLClient* pgc, ULONG coord, ULONG pname, ULONG type, const void** ppv, ULONG* pcj);
ULONG __glXGetTexParameter(GLClient* pgc, ULONG target, ULONG pname, ULONG type, const void** ppv, ULONG* pcj);
ULONG __glXGetTexLevelParameter(GLClient* pgc, ULONG target, LONG level, ULONG pname, ULONG type,
                                const void** ppv, ULONG* pcj);
