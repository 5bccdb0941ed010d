// Light, LightModel, Material (outside Begin/End) and ColorMaterial. Every
// check comes before any change: a refused request stores and sends
// nothing. Range checks look at a float's bits, so a negative zero passes
// and a NaN above the limit is refused.
#include "light/light.h"

#include <cstring>

#include "state/glstate.h"
#include "lgi/lgi.h"
#include "dispatch/render_args.h"
#include "glrequest_sizes.h"

namespace {

constexpr ULONG kSign = 0x80000000u;
constexpr ULONG kF90 = 0x42B40000u;   // 90.0
constexpr ULONG kF128 = 0x43000000u;  // 128.0
constexpr ULONG kF180 = 0x43340000u;  // 180.0


// Below zero (a negative zero is not).
bool bNegative(ULONG u) { return (u & kSign) != 0 && u != kSign; }
// Above the limit given as bits (a positive NaN is).
bool bAbove(ULONG u, ULONG limit) { return (u & kSign) == 0 && u > limit; }

// Where a light parameter lies in the light record, and its field bit; its
// width is the parameter's value count (glParamCount).
struct LightField {
    ULONG pname;
    size_t offset;
    ULONG flMask;
};
constexpr LightField kLightFields[] = {
    {GL_AMBIENT, offsetof(N_Light, ambient), N_LIGHT_AMBIENT},
    {GL_DIFFUSE, offsetof(N_Light, diffuse), N_LIGHT_DIFFUSE},
    {GL_SPECULAR, offsetof(N_Light, specular), N_LIGHT_SPECULAR},
    {GL_POSITION, offsetof(N_Light, position), N_LIGHT_POSITION},
    {GL_SPOT_DIRECTION, offsetof(N_Light, spotDirection), N_LIGHT_SPOT_DIRECTION},
    {GL_SPOT_EXPONENT, offsetof(N_Light, spotExponent), N_LIGHT_SPOT_EXPONENT},
    {GL_SPOT_CUTOFF, offsetof(N_Light, spotCutoff), N_LIGHT_SPOT_CUTOFF},
    {GL_CONSTANT_ATTENUATION, offsetof(N_Light, constantAttenuation), N_LIGHT_CONSTANT_ATTENUATION},
    {GL_LINEAR_ATTENUATION, offsetof(N_Light, linearAttenuation), N_LIGHT_LINEAR_ATTENUATION},
    {GL_QUADRATIC_ATTENUATION, offsetof(N_Light, quadraticAttenuation), N_LIGHT_QUADRATIC_ATTENUATION},
};

const LightField* pField(ULONG pname) {
    for (const LightField& f : kLightFields)
        if (f.pname == pname) return &f;
    return nullptr;
}

ULONG* pwLighting(GLContext* gc) {
    return gc->pState != nullptr ? gc->pState->blocks[__builtin_ctz(GL_LIGHTING_BIT)] : nullptr;
}

// Colour parameters convert from integers by the colour rule; the others
// as they are.
bool bLightColor(ULONG pname) { return pname == GL_AMBIENT || pname == GL_DIFFUSE || pname == GL_SPECULAR; }
bool bMaterialColor(ULONG pname) {
    return bLightColor(pname) || pname == GL_EMISSION || pname == GL_AMBIENT_AND_DIFFUSE;
}
bool bModelColor(ULONG pname) { return pname == GL_LIGHT_MODEL_AMBIENT; }

ULONG ulModelParamCount(ULONG pname) { return GLXParamValues(X_GLrop_LightModelfv, pname); }

ULONG ulSetLightModel(GLContext*, ULONG, ULONG pname, const float* pf, BOOL bScalar) {
    // A value counts as non-zero whatever its sign.
    const bool bOn = (__glXFloatBits(pf[0]) & ~kSign) != 0;
    switch (pname) {
        case GL_LIGHT_MODEL_LOCAL_VIEWER: N_SetStateBlockAttrWord(N_ATTR_VIEWER, bOn ? 1 : 2); return GL_NO_ERROR;
        case GL_LIGHT_MODEL_TWO_SIDE: N_SetStateBlockAttrWord(N_ATTR_TWO_SIDE, bOn ? 1 : 0); return GL_NO_ERROR;
        case GL_LIGHT_MODEL_AMBIENT:
            if (bScalar) return GL_INVALID_ENUM;
            N_SetStateBlockAttr(N_ATTR_MODEL_AMBIENT, pf);
            return GL_NO_ERROR;
        default: return GL_INVALID_ENUM;
    }
}

// A light, material or light-model request: (target, pname, values), the
// values floats or integers, one (bScalar) or as many as pname takes.
typedef ULONG (*SetFn)(GLContext* gc, ULONG target, ULONG pname, const float* pf, BOOL bScalar);

template <SetFn pfnSet, ULONG (*pfnCount)(ULONG), bool (*pfnColor)(ULONG), bool bInt, bool bScalar,
          bool bTarget = true>
ULONG ulParam(GLClient* pgc, const void* pvRequest) {
    constexpr ULONG cjHead = bTarget ? 8 : 4;
    const BYTE* pj = __glXRenderArgs(pgc, pvRequest);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pvRequest);
    const ULONG target = bTarget ? __glXArgWord(pj, 0) : 0;
    const ULONG pname = __glXArgWord(pj, bTarget ? 1 : 0);
    // The vector forms' values lie in the request: the length check made sure.
    const ULONG cValues = bScalar ? 1 : pfnCount(pname);
    float af[4] = {};
    for (ULONG i = 0; i < cValues && i < 4; ++i) {
        const ULONG iArg = cjHead / 4 + i;
        if (bInt) {
            const LONG l = static_cast<LONG>(__glXArgWord(pj, iArg));
            af[i] = pfnColor(pname) ? __glXIntColor(l) : static_cast<float>(l);
        } else {
            af[i] = __glXArgFloat(pj, iArg);
        }
    }
    if (cValues == 0) return __glXRenderResult(pgc, pvRequest, GL_INVALID_ENUM);
    return __glXRenderResult(pgc, pvRequest, pfnSet(pgc->gc, target, pname, af, bScalar));
}

}  // namespace

N_Light __glXLightRecord(const ULONG* pwLighting, ULONG i) {
    N_Light rec;
    std::memcpy(&rec, reinterpret_cast<const BYTE*>(pwLighting) + offsetof(__GLXlightingBlock, lights) + i * sizeof rec,
                sizeof rec);
    return rec;
}

void __glXStoreLightRecord(ULONG* pwLighting, ULONG i, const N_Light& rec) {
    std::memcpy(reinterpret_cast<BYTE*>(pwLighting) + offsetof(__GLXlightingBlock, lights) + i * sizeof rec, &rec,
                sizeof rec);
}

float* __glXLightParam(N_Light* prec, ULONG pname) {
    const LightField* pf = pField(pname);
    return pf != nullptr ? reinterpret_cast<float*>(reinterpret_cast<BYTE*>(prec) + pf->offset) : nullptr;
}

ULONG __glXLightParamBit(ULONG pname) {
    const LightField* pf = pField(pname);
    return pf != nullptr ? pf->flMask : 0;
}

ULONG __glXLightParamCount(ULONG pname) { return GLXParamValues(X_GLrop_Lightfv, pname); }

ULONG __glXMaterialParamCount(ULONG pname) { return GLXParamValues(X_GLrop_Materialfv, pname); }

float __glXIntColor(LONG c) { return static_cast<float>((2.0 * c + 1.0) / 4294967295.0); }

ULONG __glXSetLight(GLContext* gc, ULONG light, ULONG pname, const float* pf, BOOL bScalar) {
    const LightField* pField_ = pField(pname);
    if (light - GL_LIGHT0 >= GLX_LIGHTS || pField_ == nullptr) return GL_INVALID_ENUM;
    const ULONG cWords = glParamCount(pname);
    if (bScalar && cWords > 1) return GL_INVALID_ENUM;
    const ULONG u = __glXFloatBits(pf[0]);
    switch (pname) {
        case GL_SPOT_EXPONENT:
            if (bNegative(u) || bAbove(u, kF128)) return GL_INVALID_VALUE;
            break;
        case GL_SPOT_CUTOFF:
            if (bNegative(u) || (bAbove(u, kF90) && u != kF180)) return GL_INVALID_VALUE;
            break;
        case GL_CONSTANT_ATTENUATION:
        case GL_LINEAR_ATTENUATION:
        case GL_QUADRATIC_ATTENUATION:
            if (bNegative(u)) return GL_INVALID_VALUE;
            break;
        default: break;
    }
    ULONG* pwBlock = pwLighting(gc);
    if (pwBlock == nullptr) return GL_INVALID_OPERATION;
    const ULONG i = light - GL_LIGHT0;
    N_Light rec = __glXLightRecord(pwBlock, i);
    std::memcpy(__glXLightParam(&rec, pname), pf, cWords * sizeof(float));
    __glXStoreLightRecord(pwBlock, i, rec);

    if ((gc->dirty & GLX_DIRTY_LIGHTS) && __glXPushLights(gc)) gc->dirty &= ~GLX_DIRTY_LIGHTS;
    N_SetLight(pField_->flMask, i, &rec);
    const ULONG flEye = pField_->flMask & (N_LIGHT_SPOT_DIRECTION | N_LIGHT_POSITION);
    if (flEye != 0) {
        N_GetLight(flEye, i, &rec);
        __glXStoreLightRecord(pwBlock, i, rec);
    }
    return GL_NO_ERROR;
}

ULONG __glXSetMaterial(GLContext*, ULONG face, ULONG pname, const float* pf, BOOL bScalar) {
    if (bScalar && pname != GL_SHININESS) return GL_INVALID_ENUM;
    if (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK) return GL_INVALID_ENUM;
    if (__glXMaterialParamCount(pname) == 0) return GL_INVALID_ENUM;
    if (pname == GL_SHININESS) {
        const ULONG u = __glXFloatBits(pf[0]);
        if (bNegative(u) || bAbove(u, kF128)) return GL_INVALID_VALUE;
    }
    for (const bool bFront : {true, false}) {
        if (face != GL_FRONT_AND_BACK && (face == GL_FRONT) != bFront) continue;
        if (pname == GL_AMBIENT_AND_DIFFUSE) {
            N_SetStateBlockAttr(__glXMaterialAttr(bFront, GL_AMBIENT), pf);
            N_SetStateBlockAttr(__glXMaterialAttr(bFront, GL_DIFFUSE), pf);
        } else if (pname == GL_COLOR_INDEXES) {
            // One attribute a value.
            for (ULONG k = 0; k < __glXMaterialParamCount(pname); ++k)
                N_SetStateBlockAttr(__glXMaterialAttr(bFront, pname) + k, pf + k);
        } else {
            N_SetStateBlockAttr(__glXMaterialAttr(bFront, pname), pf);
        }
    }
    return GL_NO_ERROR;
}

ULONG __glXMaterialAttr(bool bFront, ULONG pname) {
    static_assert(N_ATTR_FRONT_DIFFUSE_INDEX == N_ATTR_FRONT_AMBIENT_INDEX + 1 &&
                  N_ATTR_FRONT_SPECULAR_INDEX == N_ATTR_FRONT_AMBIENT_INDEX + 2 &&
                  N_ATTR_BACK_DIFFUSE_INDEX == N_ATTR_BACK_AMBIENT_INDEX + 1 &&
                  N_ATTR_BACK_SPECULAR_INDEX == N_ATTR_BACK_AMBIENT_INDEX + 2);
    switch (pname) {
        case GL_EMISSION: return bFront ? N_ATTR_FRONT_EMISSION : N_ATTR_BACK_EMISSION;
        case GL_AMBIENT: return bFront ? N_ATTR_FRONT_AMBIENT : N_ATTR_BACK_AMBIENT;
        case GL_DIFFUSE: return bFront ? N_ATTR_FRONT_DIFFUSE : N_ATTR_BACK_DIFFUSE;
        case GL_SPECULAR: return bFront ? N_ATTR_FRONT_SPECULAR : N_ATTR_BACK_SPECULAR;
        case GL_SHININESS: return bFront ? N_ATTR_FRONT_SHININESS : N_ATTR_BACK_SHININESS;
        case GL_COLOR_INDEXES: return bFront ? N_ATTR_FRONT_AMBIENT_INDEX : N_ATTR_BACK_AMBIENT_INDEX;
        default: return ~0u;
    }
}

BOOL __glXPushLights(GLContext* gc) {
    const ULONG* pwBlock = pwLighting(gc);
    if (pwBlock == nullptr) return FALSE;
    N_Light lights[GLX_LIGHTS];
    std::memcpy(lights, reinterpret_cast<const BYTE*>(pwBlock) + offsetof(__GLXlightingBlock, lights), sizeof lights);
    N_SetLights(GLX_LIGHTS, lights);
    return TRUE;
}

ULONG __glXDisp_ColorMaterial(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    ULONG code;
    switch (__glXArgWord(pj, 1)) {
        case GL_EMISSION: code = 1; break;
        case GL_AMBIENT: code = 2; break;
        case GL_DIFFUSE: code = 4; break;
        case GL_SPECULAR: code = 8; break;
        case GL_AMBIENT_AND_DIFFUSE: code = 6; break;
        default: return __glXRenderResult(pgc, pv, GL_INVALID_ENUM);
    }
    switch (__glXArgWord(pj, 0)) {
        case GL_FRONT: break;
        case GL_BACK: code <<= 4; break;
        case GL_FRONT_AND_BACK: code |= code << 4; break;
        default: return __glXRenderResult(pgc, pv, GL_INVALID_ENUM);
    }
    N_SetStateBlockAttrWord(N_ATTR_COLOUR_MATERIAL_CODE, code);
    return GLX_SUCCESS;
}

ULONG __glXDisp_Lightf(GLClient* pgc, const void* pv) {
    return ulParam<__glXSetLight, __glXLightParamCount, bLightColor, false, true>(pgc, pv);
}
ULONG __glXDisp_Lightfv(GLClient* pgc, const void* pv) {
    return ulParam<__glXSetLight, __glXLightParamCount, bLightColor, false, false>(pgc, pv);
}
ULONG __glXDisp_Lighti(GLClient* pgc, const void* pv) {
    return ulParam<__glXSetLight, __glXLightParamCount, bLightColor, true, true>(pgc, pv);
}
ULONG __glXDisp_Lightiv(GLClient* pgc, const void* pv) {
    return ulParam<__glXSetLight, __glXLightParamCount, bLightColor, true, false>(pgc, pv);
}
ULONG __glXDisp_Materialf(GLClient* pgc, const void* pv) {
    return ulParam<__glXSetMaterial, __glXMaterialParamCount, bMaterialColor, false, true>(pgc, pv);
}
ULONG __glXDisp_Materialfv(GLClient* pgc, const void* pv) {
    return ulParam<__glXSetMaterial, __glXMaterialParamCount, bMaterialColor, false, false>(pgc, pv);
}
ULONG __glXDisp_Materiali(GLClient* pgc, const void* pv) {
    return ulParam<__glXSetMaterial, __glXMaterialParamCount, bMaterialColor, true, true>(pgc, pv);
}
ULONG __glXDisp_Materialiv(GLClient* pgc, const void* pv) {
    return ulParam<__glXSetMaterial, __glXMaterialParamCount, bMaterialColor, true, false>(pgc, pv);
}
ULONG __glXDisp_LightModelf(GLClient* pgc, const void* pv) {
    return ulParam<ulSetLightModel, ulModelParamCount, bModelColor, false, true, false>(pgc, pv);
}
ULONG __glXDisp_LightModelfv(GLClient* pgc, const void* pv) {
    return ulParam<ulSetLightModel, ulModelParamCount, bModelColor, false, false, false>(pgc, pv);
}
ULONG __glXDisp_LightModeli(GLClient* pgc, const void* pv) {
    return ulParam<ulSetLightModel, ulModelParamCount, bModelColor, true, true, false>(pgc, pv);
}
ULONG __glXDisp_LightModeliv(GLClient* pgc, const void* pv) {
    return ulParam<ulSetLightModel, ulModelParamCount, bModelColor, true, false, false>(pgc, pv);
}
