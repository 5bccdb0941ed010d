// Lighting validation: the enabled lights as prepared records linked in
// light order, the materials folded into per-light products and scene
// colours, the specular exponent tables, the viewer vector, and the choice
// of each primitive kind's lighting stage.
#pragma once

#include "lgi.h"

struct N_PrimDispatch;

// A light prepared for the lighting stages. The copy of the source record
// differs from it: the spot direction is negated and normalised, the
// cut-off is its cosine (-1.0 for no spot), a directional light's position
// is its unit direction, the linear and quadratic attenuation are scaled by
// the context's distance scale (s and s squared). With model-space lighting
// the vectors are carried into model space.
struct N_PreparedLight {
    float work[17];        // per-vertex working values of the lighting stages
    float attenuation;     // the constant attenuation, -1.0 when it is exactly (1, 0, 0)
    N_Light light;
    N_PreparedLight* next; // the next enabled light, or null
    // Products of the light's colours with the materials, front [0] and
    // back [1]: ambient, diffuse, specular (r, g, b, 0).
    float product[2][3][4];
    // Colour-index mode: the diffuse and specular index materials times the
    // light's first diffuse component, front [0] and back [1].
    float indexProduct[2][2];
};

// Light type codes of a light record's control word: type 1 is prepared
// but not listed; spot directions of types 1 and 3 and positions of types 1
// and 2 stay in eye space. The GL layer's lights carry another code: lit,
// with both vectors carried.
enum : ULONG {
    N_LIGHT_TYPE_UNLISTED = 1,
    N_LIGHT_TYPE_EYE_POSITION = 2,
    N_LIGHT_TYPE_EYE_SPOT = 3,
};

// The specular term (n.h)^shininess by table: GL's value for every
// shininess 0-128 within N_SPEC_TOLERANCE for n.h in [0, 1] (below 0 as 0,
// above 1 as 1).
constexpr ULONG N_SPEC_STEPS = 2048;
constexpr float N_SPEC_TOLERANCE = 1.0f / 1024.0f;
struct N_SpecTable {
    ULONG shininessBits;  // the shininess the table was built for (its float bits)
    ULONG built;
    float value[N_SPEC_STEPS + 1];
};
float _NSpecularTerm(const N_SpecTable& table, float nDotH);
void _NBuildSpecTable(N_SpecTable& table, float shininess);

// The lighting stages of the vertex pipeline a kind may take.
enum : ULONG {
    N_LIGHT_STAGE_UNLIT_INDEX = 1,
    N_LIGHT_STAGE_UNLIT_RGBA = 2,
    N_LIGHT_STAGE_INDEX = 3,
    N_LIGHT_STAGE_GENERAL_CONSTANT = 4,
    N_LIGHT_STAGE_GENERAL_VERTEX = 5,
    N_LIGHT_STAGE_SIMPLE_VERTEX = 6,
    N_LIGHT_STAGE_GREY = 7,
    N_LIGHT_STAGE_SIMPLE_CONSTANT = 8,
};

struct N_Lighting {
    N_PreparedLight* pHead;   // the enabled-light list
    ULONG cListed;
    ULONG allSimple;          // no spot light and no positional light
    float modelAmbient[4];    // N_ATTR_MODEL_AMBIENT at the last list build
    float viewer[4];          // V: eye or model space
    float half[3];            // H = V / 2
    ULONG localViewer;
    float distanceScale;      // s of the attenuation (the modelview's scale in model space)
    // Per face (front [0], back [1]).
    ULONG specIndex[2];       // shininess / 2, truncated, at most 32
    float scene[2][4];        // emission + light-model ambient x material ambient
    N_SpecTable spec[2];
};

// The enabled-light list: rebuilt from the context's lights, their enables
// and the transform mode.
void _NBuildLightList(N_Context* pctx);
// The products, scene colours, exponent indexes and tables.
void _NValLighting(N_Context* pctx);
// The viewer vector and its half for the transform mode in force.
void _NValViewer(N_Context* pctx);
// The lighting stage of a kind's dispatch record.
ULONG _NChooseLightStage(N_Context* pctx, const N_PrimDispatch& pd);
