// Lighting validation: the enabled lights prepared and linked for the
// lighting stages, the lighting products of lights and materials, the
// specular exponent tables, the viewer vector, and each kind's lighting
// stage. The arithmetic is GL's lighting equation: a lit colour is
// emission + ambient(model) x ambient(material) + the sum over lights of
// attenuation x spot x (ambient product + (n.L) diffuse product +
// (n.h)^shininess specular product).
#include <cmath>
#include <cstring>

#include "3d/context/context.h"

namespace {

constexpr float kPi = 3.14159265358979323846f;

const N_Light* pSourceLights(N_Context* pctx) { return static_cast<const N_Light*>(pctx->pLights); }
N_PreparedLight* pPrepared(N_Context* pctx) { return static_cast<N_PreparedLight*>(pctx->pLightWork); }

const float* pfAttr(N_Context* pctx, ULONG id) { return reinterpret_cast<const float*>(pulAttr(pctx, id)); }

void vNormalize3(float* v) {
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len == 0.0f || !std::isfinite(len)) return;
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
}

// v as a row vector times the upper 3x3 of m.
void vRowTimes3(const float* v, const float* m, float* out) {
    float r[3];
    for (ULONG c = 0; c < 3; ++c) r[c] = v[0] * m[c] + v[1] * m[4 + c] + v[2] * m[8 + c];
    std::memcpy(out, r, sizeof r);
}

// The materials of a face: emission, ambient, diffuse, specular,
// shininess, then the diffuse and specular colour indexes.
struct Face {
    ULONG material;    // emission; ambient, diffuse, specular follow
    ULONG shininess;
    ULONG diffuseIndex;
    ULONG specularIndex;
};
constexpr Face kFaces[2] = {
    {N_ATTR_FRONT_EMISSION, N_ATTR_FRONT_SHININESS, N_ATTR_FRONT_DIFFUSE_INDEX, N_ATTR_FRONT_SPECULAR_INDEX},
    {N_ATTR_BACK_EMISSION, N_ATTR_BACK_SHININESS, N_ATTR_BACK_DIFFUSE_INDEX, N_ATTR_BACK_SPECULAR_INDEX},
};

// A light's colours times the materials of both faces.
void vProducts(N_Context* pctx, N_PreparedLight& pl) {
    const float* colours[3] = {pl.light.ambient, pl.light.diffuse, pl.light.specular};
    for (ULONG f = 0; f < 2; ++f) {
        for (ULONG k = 0; k < 3; ++k) {
            const float* m = pfAttr(pctx, kFaces[f].material + 1 + k);
            for (ULONG c = 0; c < 3; ++c) pl.product[f][k][c] = colours[k][c] * m[c];
            pl.product[f][k][3] = 0.0f;
        }
        pl.indexProduct[f][0] = *pfAttr(pctx, kFaces[f].diffuseIndex) * pl.light.diffuse[0];
        pl.indexProduct[f][1] = *pfAttr(pctx, kFaces[f].specularIndex) * pl.light.diffuse[0];
    }
}

}  // namespace

void _NBuildLightList(N_Context* pctx) {
    N_Lighting& lit = pctx->lit;
    std::memcpy(lit.modelAmbient, pfAttr(pctx, N_ATTR_MODEL_AMBIENT), sizeof lit.modelAmbient);
    lit.pHead = nullptr;
    lit.cListed = 0;
    lit.allSimple = 1;
    const ULONG n = std::min(pctx->cLights, pctx->cLightsEnabled);
    if (pctx->pLights == nullptr || pctx->pLightWork == nullptr || pctx->pulLightEnable == nullptr) return;
    const float s = lit.distanceScale;
    N_PreparedLight** ppTail = &lit.pHead;
    N_PreparedLight* pNext = pPrepared(pctx);
    for (ULONG i = 0; i < n; ++i) {
        if (pctx->pulLightEnable[i] == 0) continue;
        N_PreparedLight& pl = *pNext++;
        pl.light = pSourceLights(pctx)[i];
        pl.next = nullptr;
        N_Light& l = pl.light;
        const bool bUnitAttenuation =
            l.constantAttenuation == 1.0f && l.linearAttenuation == 0.0f && l.quadraticAttenuation == 0.0f;
        pl.attenuation = bUnitAttenuation ? -1.0f : l.constantAttenuation;
        // The spot: the direction from the light, and the cut-off's cosine.
        for (float& f : l.spotDirection) f = -f;
        vNormalize3(l.spotDirection);
        if (l.spotCutoff == 180.0f) {
            l.spotCutoff = -1.0f;
        } else {
            l.spotCutoff = std::cos(l.spotCutoff * (kPi / 180.0f));
            lit.allSimple = 0;
        }
        if (l.position[3] == 0.0f)
            vNormalize3(l.position);
        else
            lit.allSimple = 0;
        if (l.control == N_LIGHT_TYPE_UNLISTED) continue;
        l.linearAttenuation *= s;
        l.quadraticAttenuation *= s * s;
        vProducts(pctx, pl);
        *ppTail = &pl;
        ppTail = &pl.next;
        ++lit.cListed;
    }
    if (pctx->val.transformMode != 1) return;

    // Lighting in model space: the modelview takes the vectors back.
    const float* M = pctx->xf.modelView;
    const float* Minv = pctx->xf.pModelViewInverse != nullptr ? pctx->xf.pModelViewInverse
                                                              : pctx->xf.modelViewInverseM;
    bool bReported = false;
    for (N_PreparedLight* p = lit.pHead; p != nullptr; p = p->next) {
        N_Light& l = p->light;
        if (l.control != N_LIGHT_TYPE_EYE_SPOT) {
            vRowTimes3(l.spotDirection, M, l.spotDirection);
            vNormalize3(l.spotDirection);
        }
        if (l.control == N_LIGHT_TYPE_EYE_POSITION) continue;
        if (l.position[3] == 0.0f) {
            vRowTimes3(l.position, M, l.position);
            vNormalize3(l.position);
            continue;
        }
        float q[4];
        _NTransformVec4(l.position, q, Minv);
        if (q[3] != 0.0f && q[3] != 1.0f) {
            for (ULONG c = 0; c < 3; ++c) q[c] /= q[3];
            q[3] = 1.0f;
            if (!bReported) DbgPrint("model space light pos.w not equal to 1.0f\n");
            bReported = true;
        }
        std::memcpy(l.position, q, sizeof q);
    }
}

void _NValLighting(N_Context* pctx) {
    N_Lighting& lit = pctx->lit;
    const float* ambientModel = pfAttr(pctx, N_ATTR_MODEL_AMBIENT);
    for (ULONG f = 0; f < 2; ++f) {
        const Face& face = kFaces[f];
        const float shininess = *pfAttr(pctx, face.shininess);
        const float half = shininess * 0.5f;
        lit.specIndex[f] = half >= 32.0f ? 32 : half >= 1.0f ? static_cast<ULONG>(half) : 0;
        const float* emission = pfAttr(pctx, face.material);
        const float* ambient = pfAttr(pctx, face.material + 1);
        for (ULONG c = 0; c < 3; ++c) lit.scene[f][c] = ambientModel[c] * ambient[c] + emission[c];
        // A lit colour's alpha is the diffuse material's.
        lit.scene[f][3] = pfAttr(pctx, face.material + 2)[3];
        const ULONG bits = __glXFloatBits(shininess);
        if (!lit.spec[f].built || lit.spec[f].shininessBits != bits) _NBuildSpecTable(lit.spec[f], shininess);
    }
    for (N_PreparedLight* p = lit.pHead; p != nullptr; p = p->next) vProducts(pctx, *p);
}

void _NBuildSpecTable(N_SpecTable& table, float shininess) {
    const double e = std::isfinite(shininess) && shininess > 0.0f ? shininess : 0.0;
    for (ULONG i = 0; i <= N_SPEC_STEPS; ++i)
        table.value[i] = static_cast<float>(std::pow(static_cast<double>(i) / N_SPEC_STEPS, e));
    table.shininessBits = __glXFloatBits(shininess);
    table.built = 1;
}

float _NSpecularTerm(const N_SpecTable& table, float nDotH) {
    if (!(nDotH > 0.0f)) return table.value[0];
    if (nDotH >= 1.0f) return table.value[N_SPEC_STEPS];
    const float x = nDotH * static_cast<float>(N_SPEC_STEPS);
    const auto i = static_cast<ULONG>(x);
    const float t = x - static_cast<float>(i);
    return table.value[i] + t * (table.value[i + 1] - table.value[i]);
}

void _NValViewer(N_Context* pctx) {
    N_Lighting& lit = pctx->lit;
    const bool bLocal = *pulAttr(pctx, N_ATTR_VIEWER) == 1;
    float V[4] = {0.0f, 0.0f, bLocal ? 0.0f : 1.0f, bLocal ? 1.0f : 0.0f};
    lit.localViewer = bLocal ? 1 : 0;
    if (pctx->val.transformMode == 1) {
        const float* M = pctx->xf.modelView;
        if (!bLocal) {
            for (ULONG c = 0; c < 3; ++c) V[c] = M[8 + c];
            vNormalize3(V);
        } else if (pctx->xf.pModelViewInverse != nullptr) {
            // The eye's position in model space.
            const float* Minv = pctx->xf.pModelViewInverse;
            for (ULONG r = 0; r < 3; ++r) V[r] = Minv[4 * r + 3];
        }
    }
    std::memcpy(lit.viewer, V, sizeof V);
    for (ULONG c = 0; c < 3; ++c) lit.half[c] = 0.5f * V[c];
}

ULONG _NChooseLightStage(N_Context* pctx, const N_PrimDispatch& pd) {
    const bool bIndex = *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1;
    if (*pulAttr(pctx, N_ATTR_LIGHTING) == 0) return bIndex ? N_LIGHT_STAGE_UNLIT_INDEX : N_LIGHT_STAGE_UNLIT_RGBA;
    if (bIndex) return N_LIGHT_STAGE_INDEX;
    const N_Lighting& lit = pctx->lit;
    const bool bConstant = pd.colourFromCurrent != 0 && pd.materialFromCurrent != 0;
    if (!lit.allSimple) return bConstant ? N_LIGHT_STAGE_GENERAL_CONSTANT : N_LIGHT_STAGE_GENERAL_VERTEX;
    if (!bConstant) return N_LIGHT_STAGE_SIMPLE_VERTEX;
    if (lit.cListed != 1 || lit.pHead == nullptr) return N_LIGHT_STAGE_SIMPLE_CONSTANT;
    // The grey test: one light and the materials with r = g = b, the back
    // face's as the front's (grey as well: a back material whose red alone
    // matches would be lit as the front's grey).
    auto grey = [](const float* c) { return c[0] == c[1] && c[1] == c[2]; };
    const N_Light& l = lit.pHead->light;
    bool bGrey = grey(l.ambient) && grey(l.diffuse) && grey(l.specular);
    for (ULONG k = 0; k < 4 && bGrey; ++k) {
        const float* front = pfAttr(pctx, N_ATTR_FRONT_EMISSION + k);
        const float* back = pfAttr(pctx, N_ATTR_BACK_EMISSION + k);
        bGrey = grey(front) && grey(back) && back[0] == front[0];
    }
    bGrey = bGrey && pfAttr(pctx, N_ATTR_BACK_DIFFUSE)[3] == pfAttr(pctx, N_ATTR_FRONT_DIFFUSE)[3] &&
            *pfAttr(pctx, N_ATTR_BACK_SHININESS) == *pfAttr(pctx, N_ATTR_FRONT_SHININESS);
    return bGrey ? N_LIGHT_STAGE_GREY : N_LIGHT_STAGE_SIMPLE_CONSTANT;
}
