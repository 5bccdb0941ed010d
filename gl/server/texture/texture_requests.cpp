// Texture parameters, the texture environment and texture-coordinate
// generation. Every handler hands the pending batch on, decodes its body
// (the integer forms convert to floats, the double forms narrow), checks the
// whole request and only then sends the lgi attributes; generation modes and
// planes are kept in the TEXTURE block, where the queries read them.
#include "texture/texture_requests.h"

#include <cmath>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "glrequest_sizes.h"
#include "light/light.h"
#include "matrix/matrix.h"
#include "state/glstate.h"

namespace {

// lgi codes of the generation modes.
constexpr ULONG kObjectCode = 0, kEyeCode = 1, kSphereCode = 2;

// A value truncated toward zero as an enumerant; ~0u when it is none.
ULONG ulEnum(float f) {
    const double d = std::trunc(static_cast<double>(f));
    return d >= 0.0 && d <= 65535.0 ? static_cast<ULONG>(d) : ~0u;
}

ULONG* pwTextureBlock(GLContext* gc) {
    return gc->pState != nullptr ? gc->pState->blocks[__builtin_ctz(GL_TEXTURE_BIT)] : nullptr;
}

// An eye plane as kept: the plane given times the inverse of the modelview
// in force now (as a row vector), so that later changes of the modelview
// leave it where it was given. A modelview without an inverse leaves the
// plane as given.
void vEyePlane(GLContext* gc, const float* pf, float* pfEye) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    float inv[16];
    if (pms == nullptr || !__glXMatInvert(pms->apStack[0][pms->aDepth[0]], inv)) {
        std::memcpy(pfEye, pf, 4 * sizeof(float));
        return;
    }
    float r[4];
    for (ULONG c = 0; c < 4; ++c) r[c] = pf[0] * inv[c] + pf[1] * inv[4 + c] + pf[2] * inv[8 + c] + pf[3] * inv[12 + c];
    std::memcpy(pfEye, r, sizeof r);
}

// Sends a coordinate's generation attribute for its mode from its record:
// the mode's code, then its plane.
void vSendTexGen(ULONG coord, const __GLXtexGenRecord& rec) {
    constexpr ULONG cjPlane = sizeof rec.eyePlane;
    ULONG aw[1 + cjPlane / sizeof(ULONG)] = {rec.mode};
    switch (rec.mode) {
        case kObjectCode: std::memcpy(aw + 1, rec.objectPlane, cjPlane); break;
        case kSphereCode: {
            // The sphere-map words the lgi context keeps for the coordinate.
            ULONG awNow[N_ATTR_WIDEST] = {};
            N_GetStateBlockAttr(N_ATTR_TEXGEN_PLANE_S + coord, awNow);
            std::memcpy(aw + 1, awNow + 1, cjPlane);
            break;
        }
        default: std::memcpy(aw + 1, rec.eyePlane, cjPlane); break;
    }
    static_assert(sizeof aw == N_AttrWords(N_ATTR_TEXGEN_PLANE_S) * sizeof(ULONG));
    N_SetStateBlockAttr(N_ATTR_TEXGEN_PLANE_S + coord, aw);
}

// --- the handlers' forms -------------------------------------------------------------

enum Form : BYTE { kFloat, kFloatV, kInt, kIntV, kDouble, kDoubleV };

bool bColor(ULONG pname) { return pname == GL_TEXTURE_BORDER_COLOR || pname == GL_TEXTURE_ENV_COLOR; }

typedef ULONG (*Routine)(GLContext*, ULONG, ULONG, const float*, BOOL);

// {target or coordinate, parameter, values}: the scalar forms carry one
// value, the vector forms as many as their request takes for the parameter
// (none for a name the request does not know: the routine refuses it
// unread). TexGend puts its double first.
template <Routine pfn, Form form, unsigned opcode>
ULONG ulTexRequest(GLClient* pgc, const void* pv) {
    const bool bVector = form == kFloatV || form == kIntV || form == kDoubleV;
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const ULONG offNames = form == kDouble ? 8 : 0;
    const ULONG object = __glXArgWord(pj + offNames, 0), pname = __glXArgWord(pj + offNames, 1);
    // The vector forms' values lie in the request: the length check made sure.
    const ULONG cValues = bVector ? GLXParamValues(opcode, pname) : 1;
    const BYTE* pjValues = form == kDouble ? pj : pj + 8;
    float af[4] = {};
    for (ULONG i = 0; i < cValues; ++i) {
        switch (form) {
            case kInt:
            case kIntV: {
                const LONG l = static_cast<LONG>(__glXArgWord(pjValues, i));
                af[i] = bColor(pname) ? __glXIntColor(l) : static_cast<float>(l);
                break;
            }
            case kDouble:
            case kDoubleV: af[i] = static_cast<float>(__glXArgDouble(pjValues, i)); break;
            default: af[i] = __glXArgFloat(pjValues, i); break;
        }
    }
    return __glXRenderResult(pgc, pv, pfn(pgc->gc, object, pname, af, bVector ? FALSE : TRUE));
}

}  // namespace

ULONG __glXTexParameter(GLContext*, ULONG target, ULONG pname, const float* pf, BOOL bScalar) {
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_2D) return GL_INVALID_ENUM;
    const bool b2D = target == GL_TEXTURE_2D;
    if (pname == GL_TEXTURE_BORDER_COLOR) {
        if (bScalar) return GL_INVALID_ENUM;
        N_SetStateBlockAttr(b2D ? N_ATTR_BORDER_COLOUR1 : N_ATTR_BORDER_COLOUR, pf);
        return GL_NO_ERROR;
    }
    const ULONG value = ulEnum(pf[0]);
    ULONG code = ~0u, attr = ~0u;
    switch (pname) {
        case GL_TEXTURE_MAG_FILTER:
            code = value == GL_NEAREST ? 0 : value == GL_LINEAR ? 1 : ~0u;
            attr = b2D ? N_ATTR_MAG_FILTER1 : N_ATTR_MAG_FILTER;
            break;
        case GL_TEXTURE_MIN_FILTER:
            switch (value) {
                case GL_NEAREST: code = 0; break;
                case GL_LINEAR: code = 1; break;
                case GL_NEAREST_MIPMAP_NEAREST: code = 2; break;
                case GL_NEAREST_MIPMAP_LINEAR: code = 3; break;
                case GL_LINEAR_MIPMAP_NEAREST: code = 4; break;
                case GL_LINEAR_MIPMAP_LINEAR: code = 5; break;
                default: break;
            }
            attr = b2D ? N_ATTR_MIN_FILTER1 : N_ATTR_MIN_FILTER;
            break;
        case GL_TEXTURE_WRAP_S:
        case GL_TEXTURE_WRAP_T:
            code = value == GL_REPEAT ? 0 : value == GL_CLAMP ? 1 : ~0u;
            attr = pname == GL_TEXTURE_WRAP_S ? (b2D ? N_ATTR_WRAP_S1 : N_ATTR_WRAP_S) : (b2D ? N_ATTR_WRAP_T1 : ~0u);  // WRAP_T of 1D: nothing
            break;
        default: return GL_INVALID_ENUM;
    }
    if (code == ~0u) return GL_INVALID_ENUM;
    if (attr != ~0u) N_SetStateBlockAttrWord(attr, code);
    return GL_NO_ERROR;
}

ULONG __glXTexEnv(GLContext*, ULONG target, ULONG pname, const float* pf, BOOL bScalar) {
    if (target != GL_TEXTURE_ENV) return GL_INVALID_ENUM;
    if (pname == GL_TEXTURE_ENV_COLOR) {
        if (bScalar) return GL_INVALID_ENUM;
        N_SetStateBlockAttr(N_ATTR_ENV_COLOUR, pf);
        N_SetStateBlockAttr(N_ATTR_ENV_COLOUR1, pf);
        return GL_NO_ERROR;
    }
    if (pname != GL_TEXTURE_ENV_MODE) return GL_INVALID_ENUM;
    ULONG code;
    switch (ulEnum(pf[0])) {
        case GL_MODULATE: code = 0; break;
        case GL_DECAL: code = 1; break;
        case GL_BLEND: code = 2; break;
        default: return GL_INVALID_ENUM;
    }
    N_SetStateBlockAttrWord(N_ATTR_ENV_MODE, code);
    N_SetStateBlockAttrWord(N_ATTR_ENV_MODE1, code);
    return GL_NO_ERROR;
}

ULONG __glXTexGen(GLContext* gc, ULONG coord, ULONG pname, const float* pf, BOOL bScalar) {
    const ULONG c = coord - GL_S;
    if (c >= 4) return GL_INVALID_ENUM;
    ULONG* pwBlock = pwTextureBlock(gc);
    __GLXtexGenRecord rec{kEyeCode, {}, {}};
    if (pwBlock != nullptr) rec = __glXTexGenRecord(pwBlock, c);
    switch (pname) {
        case GL_TEXTURE_GEN_MODE: {
            const ULONG mode = ulEnum(pf[0]);
            ULONG code;
            if (mode == GL_EYE_LINEAR) code = kEyeCode;
            else if (mode == GL_OBJECT_LINEAR) code = kObjectCode;
            else if (mode == GL_SPHERE_MAP && c < 2) code = kSphereCode;
            else return GL_INVALID_ENUM;
            rec.mode = code;
            break;
        }
        case GL_OBJECT_PLANE:
            if (bScalar) return GL_INVALID_ENUM;
            std::memcpy(rec.objectPlane, pf, sizeof rec.objectPlane);
            break;
        case GL_EYE_PLANE:
            if (bScalar) return GL_INVALID_ENUM;
            vEyePlane(gc, pf, rec.eyePlane);
            break;
        default: return GL_INVALID_ENUM;
    }
    if (pwBlock != nullptr) __glXStoreTexGenRecord(pwBlock, c, rec);
    vSendTexGen(c, rec);
    return GL_NO_ERROR;
}

void __glXApplyTexGen(GLContext*, const ULONG* pwTexture) {
    for (ULONG c = 0; c < 4; ++c) vSendTexGen(c, __glXTexGenRecord(pwTexture, c));
}

ULONG __glXDisp_TexParameterf(GLClient* p, const void* r) { return ulTexRequest<__glXTexParameter, kFloat, X_GLrop_TexParameterf>(p, r); }
ULONG __glXDisp_TexParameterfv(GLClient* p, const void* r) { return ulTexRequest<__glXTexParameter, kFloatV, X_GLrop_TexParameterfv>(p, r); }
ULONG __glXDisp_TexParameteri(GLClient* p, const void* r) { return ulTexRequest<__glXTexParameter, kInt, X_GLrop_TexParameteri>(p, r); }
ULONG __glXDisp_TexParameteriv(GLClient* p, const void* r) { return ulTexRequest<__glXTexParameter, kIntV, X_GLrop_TexParameteriv>(p, r); }
ULONG __glXDisp_TexEnvf(GLClient* p, const void* r) { return ulTexRequest<__glXTexEnv, kFloat, X_GLrop_TexEnvf>(p, r); }
ULONG __glXDisp_TexEnvfv(GLClient* p, const void* r) { return ulTexRequest<__glXTexEnv, kFloatV, X_GLrop_TexEnvfv>(p, r); }
ULONG __glXDisp_TexEnvi(GLClient* p, const void* r) { return ulTexRequest<__glXTexEnv, kInt, X_GLrop_TexEnvi>(p, r); }
ULONG __glXDisp_TexEnviv(GLClient* p, const void* r) { return ulTexRequest<__glXTexEnv, kIntV, X_GLrop_TexEnviv>(p, r); }
ULONG __glXDisp_TexGend(GLClient* p, const void* r) { return ulTexRequest<__glXTexGen, kDouble, X_GLrop_TexGend>(p, r); }
ULONG __glXDisp_TexGendv(GLClient* p, const void* r) { return ulTexRequest<__glXTexGen, kDoubleV, X_GLrop_TexGendv>(p, r); }
ULONG __glXDisp_TexGenf(GLClient* p, const void* r) { return ulTexRequest<__glXTexGen, kFloat, X_GLrop_TexGenf>(p, r); }
ULONG __glXDisp_TexGenfv(GLClient* p, const void* r) { return ulTexRequest<__glXTexGen, kFloatV, X_GLrop_TexGenfv>(p, r); }
ULONG __glXDisp_TexGeni(GLClient* p, const void* r) { return ulTexRequest<__glXTexGen, kInt, X_GLrop_TexGeni>(p, r); }
ULONG __glXDisp_TexGeniv(GLClient* p, const void* r) { return ulTexRequest<__glXTexGen, kIntV, X_GLrop_TexGeniv>(p, r); }
