// Lights, the light model, materials and colour-material tracking: the
// server keeps the eight light records in the LIGHTING block (so that
// GetLight answers and PopAttrib restores), hands each changed field to the
// lgi layer, and reads positions and spot directions back in eye space.
#pragma once

#include "context/context.h"

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
