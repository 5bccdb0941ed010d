// The evaluator maps of a context and their evaluation: the record of the
// nine maps a dimension, the cached Bernstein basis, one map at a point
// (with its partial derivatives for automatic normals).
#include "eval/eval.h"

#include <cstring>

#include "state/objects.h"

namespace {

// Each target's point before any Map.
constexpr float kDefaultPoint[GLX_EVAL_TARGETS][4] = {
    {1, 1, 1, 1}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 0, 0, 1},
    {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1},
};

void vDefaultMap(__GLXevalMap* pm, ULONG iTarget) {
    *pm = __GLXevalMap{};
    pm->components = __glXEvalComponents[iTarget];
    pm->uorder = 1;
    pm->vorder = 1;
    pm->u2 = 1.0f;
    pm->v2 = 1.0f;
    std::memcpy(pm->afDefault, kDefaultPoint[iTarget], sizeof pm->afDefault);
}

void vFreeMap(__GLXevalMap* pm) {
    if (pm->pPoints != nullptr) LocalFree(pm->pPoints);
    if (pm->pTable != nullptr) LocalFree(pm->pTable);
    if (pm->pNormals != nullptr) LocalFree(pm->pNormals);
    pm->pPoints = pm->pTable = pm->pNormals = nullptr;
}

// The last basis computed, one a direction: order, t, values, derivative.
struct BasisCache {
    ULONG order = 0;
    float t = 0.0f;
    bool bDerivative = false;
    float afB[GLX_EVAL_MAX_ORDER];
    float afdB[GLX_EVAL_MAX_ORDER];
};
thread_local BasisCache gaBasis[2];

}  // namespace

__GLXevalState* __glXEvalState(GLContext* gc) {
    GLServerObjects* po = __glXServerObjects(gc);
    if (po == nullptr) return nullptr;
    if (po->pEval == nullptr) {
        auto* pes = static_cast<__GLXevalState*>(LocalAlloc(LPTR, sizeof(__GLXevalState)));
        if (pes == nullptr) return nullptr;
        for (ULONG i = 0; i < GLX_EVAL_TARGETS; ++i) {
            vDefaultMap(&pes->map1[i], i);
            vDefaultMap(&pes->map2[i], i);
        }
        pes->cEvaluated = 0;
        po->pEval = pes;
    }
    return po->pEval;
}

void __glXFreeEvalState(__GLXevalState* pes) {
    if (pes == nullptr) return;
    for (ULONG i = 0; i < GLX_EVAL_TARGETS; ++i) {
        vFreeMap(&pes->map1[i]);
        vFreeMap(&pes->map2[i]);
    }
    LocalFree(pes);
}

const __GLXevalMap* __glXEvalMapOf(GLContext* gc, ULONG target) {
    const bool b2D = target - GL_MAP2_COLOR_4 < GLX_EVAL_TARGETS;
    if (!b2D && target - GL_MAP1_COLOR_4 >= GLX_EVAL_TARGETS) return nullptr;
    const ULONG i = target - (b2D ? GL_MAP2_COLOR_4 : GL_MAP1_COLOR_4);
    if (__GLXevalState* pes = __glXEvalState(gc)) return b2D ? &pes->map2[i] : &pes->map1[i];
    thread_local __GLXevalMap mDefault;
    vDefaultMap(&mDefault, i);
    return &mDefault;
}

void __glXBernsteinBasis(ULONG order, float t, float* pB, float* pdB, ULONG iCache) {
    if (order < 1) order = 1;
    if (order > GLX_EVAL_MAX_ORDER) order = GLX_EVAL_MAX_ORDER;
    BasisCache& c = gaBasis[iCache & 1];
    const bool bWantDerivative = pdB != nullptr;
    if (c.order != order || std::memcmp(&c.t, &t, sizeof t) != 0 || (bWantDerivative && !c.bDerivative)) {
        // Built up degree by degree from {1 - t, t}; the derivative of
        // degree n comes from the basis of degree n - 1:
        // B'(i) = n (B(i - 1) - B(i)).
        const float s = 1.0f - t;
        float af[GLX_EVAL_MAX_ORDER] = {1.0f};
        c.afdB[0] = 0.0f;
        for (ULONG n = 1; n < order; ++n) {
            if (n == order - 1) {
                for (ULONG i = 0; i <= n; ++i) {
                    const float prev = i > 0 ? af[i - 1] : 0.0f;
                    const float here = i < n ? af[i] : 0.0f;
                    c.afdB[i] = static_cast<float>(n) * (prev - here);
                }
            }
            float carry = 0.0f;
            for (ULONG i = 0; i < n; ++i) {
                const float v = af[i];
                af[i] = carry + s * v;
                carry = t * v;
            }
            af[n] = carry;
        }
        std::memcpy(c.afB, af, sizeof af);
        c.order = order;
        c.t = t;
        c.bDerivative = true;
    }
    std::memcpy(pB, c.afB, order * sizeof(float));
    if (pdB != nullptr) std::memcpy(pdB, c.afdB, order * sizeof(float));
}

BOOL __glXEvalMap(const __GLXevalMap* pm, float u, float v, float* pf, float* pfdu, float* pfdv) {
    const ULONG k = pm->components;
    const bool b2D = pm->vorder > 1 || pfdv != nullptr;
    if (pm->u1 == pm->u2 || (b2D && pm->v1 == pm->v2)) return FALSE;
    for (ULONG c = 0; c < k; ++c) {
        pf[c] = 0.0f;
        if (pfdu != nullptr) pfdu[c] = 0.0f;
        if (pfdv != nullptr) pfdv[c] = 0.0f;
    }
    if (pm->pPoints == nullptr) {
        // The default map: one point, the same everywhere.
        std::memcpy(pf, pm->afDefault, k * sizeof(float));
        return TRUE;
    }
    const float du = 1.0f / (pm->u2 - pm->u1);
    const float dv = b2D ? 1.0f / (pm->v2 - pm->v1) : 0.0f;
    float afBu[GLX_EVAL_MAX_ORDER], afdBu[GLX_EVAL_MAX_ORDER];
    float afBv[GLX_EVAL_MAX_ORDER] = {1.0f}, afdBv[GLX_EVAL_MAX_ORDER] = {0.0f};
    const bool bDerivatives = pfdu != nullptr || pfdv != nullptr;
    __glXBernsteinBasis(pm->uorder, (u - pm->u1) * du, afBu, bDerivatives ? afdBu : nullptr, 0);
    if (b2D) __glXBernsteinBasis(pm->vorder, (v - pm->v1) * dv, afBv, bDerivatives ? afdBv : nullptr, 1);
    for (ULONG i = 0; i < pm->uorder; ++i) {
        for (ULONG j = 0; j < pm->vorder; ++j) {
            const float* pP = pm->pPoints + (i * pm->vorder + j) * k;
            const float b = afBu[i] * afBv[j];
            for (ULONG c = 0; c < k; ++c) {
                pf[c] += pP[c] * b;
                if (pfdu != nullptr) pfdu[c] += pP[c] * afdBu[i] * afBv[j] * du;
                if (pfdv != nullptr) pfdv[c] += pP[c] * afBu[i] * afdBv[j] * dv;
            }
        }
    }
    return TRUE;
}
