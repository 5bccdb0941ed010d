// Lights, the light model, materials and colour-material tracking: the
// server keeps the eight light records in the LIGHTING block (so that
// GetLight answers and PopAttrib restores), hands each changed field to the
// lgi layer, and reads positions and spot directions back in eye space.
#pragma once

#include <cstddef>

#include "context/context.h"
#include "lgi/lgi.h"
#include "state/glstate.h"

// The LIGHTING block keeps each light as the lgi layer's light record
// (N_Light), word for word: control, ambient, diffuse, spot direction,
// position, spot exponent and cutoff, the three attenuations, specular.
static_assert(sizeof(N_Light) == GLX_LIGHT_WORDS * sizeof(ULONG));
static_assert(offsetof(N_Light, ambient) == GLX_LIGHT_AMBIENT * 4 && offsetof(N_Light, diffuse) == GLX_LIGHT_DIFFUSE * 4 &&
              offsetof(N_Light, spotDirection) == GLX_LIGHT_SPOT_DIRECTION * 4 && offsetof(N_Light, position) == 12 * 4 &&
              offsetof(N_Light, spotExponent) == 16 * 4 && offsetof(N_Light, spotCutoff) == GLX_LIGHT_SPOT_CUTOFF * 4 &&
              offsetof(N_Light, constantAttenuation) == 18 * 4 && offsetof(N_Light, linearAttenuation) == 19 * 4 &&
              offsetof(N_Light, quadraticAttenuation) == 20 * 4 && offsetof(N_Light, specular) == GLX_LIGHT_SPECULAR * 4);
// One face's material in the LIGHTING block, as the lgi layer holds it
// (N_ATTR_FRONT_AMBIENT .. N_ATTR_FRONT_SPECULAR_INDEX, and the back's).
struct __GLXmaterialWords {
    ULONG ambient[4];
    ULONG diffuse[4];
    ULONG specular[4];
    ULONG emission[4];
    ULONG shininess;
    ULONG ambientIndex;
    ULONG diffuseIndex;
    ULONG specularIndex;
};
static_assert(sizeof(__GLXmaterialWords) == 20 * sizeof(ULONG));
// The LIGHTING block as stored: the colour-material code, shading, the light
// model, the two faces' materials, then the eight light records. Read and
// written through memcpy at these offsets (the block is a run of words).
struct __GLXlightingBlock {
    ULONG colourMaterialCode;  // N_ATTR_COLOUR_MATERIAL_CODE
    ULONG shade;               // N_ATTR_SHADE
    ULONG modelAmbient[4];     // N_ATTR_MODEL_AMBIENT
    ULONG viewer;              // N_ATTR_VIEWER
    ULONG twoSide;             // N_ATTR_TWO_SIDE
    __GLXmaterialWords front;
    __GLXmaterialWords back;
    N_Light lights[GLX_LIGHTS];
};
static_assert(offsetof(__GLXlightingBlock, front) == 8 * sizeof(ULONG) &&
              offsetof(__GLXlightingBlock, back) == 28 * sizeof(ULONG));
static_assert(offsetof(__GLXlightingBlock, lights) == GLX_LIGHT_FIRST * sizeof(ULONG));
static_assert(sizeof(__GLXlightingBlock) == (GLX_LIGHT_FIRST + GLX_LIGHTS * GLX_LIGHT_WORDS) * sizeof(ULONG));
// Light i's record in a LIGHTING block, and storing one there.
N_Light __glXLightRecord(const ULONG* pwLighting, ULONG i);
void __glXStoreLightRecord(ULONG* pwLighting, ULONG i, const N_Light& rec);
// The values of a light parameter in a record (null for a name that is no
// light parameter), and the parameter's field bit (N_LIGHT_...).
float* __glXLightParam(N_Light* prec, ULONG pname);
ULONG __glXLightParamBit(ULONG pname);

// The values a light or material parameter takes (0 for an unknown one).
ULONG __glXLightParamCount(ULONG pname);
ULONG __glXMaterialParamCount(ULONG pname);
// The lgi attribute of a material parameter of one face (bFront: GL_FRONT,
// else GL_BACK): for GL_COLOR_INDEXES the first of its three (ambient,
// diffuse, specular index); ~0u for a parameter that has none of its own
// (AMBIENT_AND_DIFFUSE sets two) or no material parameter.
ULONG __glXMaterialAttr(bool bFront, ULONG pname);
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
