// The single requests that read state back: GetError, the four Get forms
// and IsEnabled, GetString. Values are gathered in their own type and
// converted to the type asked for.
#pragma once

#include "context.h"

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

ULONG __glXDisp_GetBooleanv(GLClient*, const void*);  // 112
ULONG __glXDisp_GetDoublev(GLClient*, const void*);   // 114
ULONG __glXDisp_GetError(GLClient*, const void*);     // 115
ULONG __glXDisp_GetFloatv(GLClient*, const void*);    // 116
ULONG __glXDisp_GetIntegerv(GLClient*, const void*);  // 117
ULONG __glXDisp_GetString(GLClient*, const void*);    // 129
ULONG __glXDisp_IsEnabled(GLClient*, const void*);    // 140
