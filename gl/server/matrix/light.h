// Lights, the light model, materials and colour-material tracking: the
// server keeps the eight light records in the LIGHTING block (so that
// GetLight answers and PopAttrib restores), hands each changed field to the
// lgi layer, and reads positions and spot directions back in eye space.
#pragma once

#include "context/context.h"

#define GL_LIGHT0 0x4000u
#define GL_AMBIENT 0x1200u
#define GL_DIFFUSE 0x1201u
#define GL_SPECULAR 0x1202u
#define GL_POSITION 0x1203u
#define GL_SPOT_DIRECTION 0x1204u
#define GL_SPOT_EXPONENT 0x1205u
#define GL_SPOT_CUTOFF 0x1206u
#define GL_CONSTANT_ATTENUATION 0x1207u
#define GL_LINEAR_ATTENUATION 0x1208u
#define GL_QUADRATIC_ATTENUATION 0x1209u
#define GL_EMISSION 0x1600u
#define GL_SHININESS 0x1601u
#define GL_AMBIENT_AND_DIFFUSE 0x1602u
#define GL_COLOR_INDEXES 0x1603u
#define GL_FRONT 0x404u
#define GL_BACK 0x405u
#define GL_FRONT_AND_BACK 0x408u
#define GL_LIGHT_MODEL_LOCAL_VIEWER 0x0B51u
#define GL_LIGHT_MODEL_TWO_SIDE 0x0B52u
#define GL_LIGHT_MODEL_AMBIENT 0x0B53u

// The values a light or material parameter takes (0 for an unknown one).
ULONG __glXLightParamCount(ULONG pname);
ULONG __glXMaterialParamCount(ULONG pname);
// A signed 32-bit colour component as a float: (2c + 1) / (2^32 - 1).
float __glXIntColor(LONG c);

// Sets a light parameter from its float values (bScalar: the one-value
// request): GL_NO_ERROR or the GL error; on error nothing changes.
ULONG __glXSetLight(GLContext* gc, ULONG light, ULONG pname, const float* pf, BOOL bScalar);
// Sets a material parameter of one or both faces.
ULONG __glXSetMaterial(GLContext* gc, ULONG face, ULONG pname, const float* pf, BOOL bScalar);
// Hands the lgi layer the eight light records (kept in eye coordinates):
// TRUE when done.
BOOL __glXPushLights(GLContext* gc);
