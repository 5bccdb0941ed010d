// The primitive transform set-up, the per-primitive set-up that the pipe
// set-up runs for a kind, and the polygon stipple's pattern and load.
#include <array>
#include <bit>
#include <cmath>

#include "3d/context/context.h"
#include "../../seams.h"

namespace {

constexpr ULONG kFormatPos4 = 0x10;
constexpr ULONG kFormatPos2 = 0x4;

// Whether the modelview's upper 3x3 is a rotation with uniform scale: P =
// M x M^T has equal diagonal and zero off-diagonal entries, within 1% of
// P00. Answers the scale (the root of P00) through pfScale.
bool bRotationUniform(const float* M, float* pfScale) {
    float P[9];
    for (ULONG r = 0; r < 3; ++r)
        for (ULONG c = 0; c < 3; ++c)
            P[3 * r + c] = M[4 * r] * M[4 * c] + M[4 * r + 1] * M[4 * c + 1] + M[4 * r + 2] * M[4 * c + 2];
    const float t = 0.01f * std::fabs(P[0]);
    auto within = [t](float f) { return f >= -t && f <= t; };
    *pfScale = std::sqrt(std::fabs(P[0]));
    return within(P[1]) && within(P[2]) && within(P[3]) && within(P[5]) && within(P[6]) && within(P[7]) &&
           within(P[0] - P[4]) && within(P[4] - P[8]);
}

// The enabled lights again for the transform mode in force, or none.
void vRelight(N_Context* pctx) {
    if (pctx->cLights != 0 && pctx->cLightsEnabled != 0) {
        _NBuildLightList(pctx);
    } else {
        pctx->lit.pHead = nullptr;
        pctx->lit.cListed = 0;
    }
}

// Sets the transform mode; a change forces every kind to re-select and
// advances the transform generation.
void vSetTransformMode(N_Context* pctx, ULONG mode) {
    if (pctx->val.transformMode == mode) return;
    pctx->val.transformMode = mode;
    ++pctx->xf.generation;
    _NForceReselect(pctx);
}

// The vertex set-up of a kind: the vertex format may rule model-space
// lighting out; then the kind's lighting stage.
void vVertexSetup(N_Context* pctx, ULONG kind, ULONG format) {
    const ULONG before = pctx->val.transformMode;
    if (format & kFormatPos4) {
        pctx->xf.combinedAffine = 0;
        vSetTransformMode(pctx, 0);
    } else if (format & kFormatPos2) {
        vSetTransformMode(pctx, 0);
    }
    if (pctx->val.transformMode != before) {
        _NValViewer(pctx);
        vRelight(pctx);
    }
    N_PrimDispatch& pd = pctx->prim[kind - 61];
    const ULONG stage = _NChooseLightStage(pctx, pd);
    pctx->val.lightStage[kind - 61] = stage;
    pd.pfnVertexStage = _NLightingStageFn(stage);
}

}  // namespace

void _NPrimTransformMode(N_Context* pctx) {
    N_Derived& v = pctx->val;
    N_Transform& xf = pctx->xf;
    _NValModelView(pctx);
    float scale = 1.0f;
    const bool bUniform = bRotationUniform(xf.modelView, &scale);
    // Model space needs the way back: a modelview without an inverse (a
    // zero scale passes the rotation test) lights in eye space.
    const ULONG mode = (xf.modelViewAffine && bUniform && xf.pModelViewInverse != nullptr) ? 1 : 0;
    vSetTransformMode(pctx, mode);
    // Attenuation is by eye-space distance; in model space distances are
    // shorter by the modelview's scale.
    pctx->lit.distanceScale = mode == 1 ? scale : 1.0f;

    const bool bNormalize = *pulAttr(pctx, N_ATTR_NORMALIZE) != 0;
    if (mode == 0) {
        v.eyeStage = xf.modelViewAffine ? N_EYE_STAGE_AFFINE : N_EYE_STAGE_GENERAL;
        v.normalStage = bNormalize ? N_NORMAL_STAGE_NORMALISE : N_NORMAL_STAGE_PLAIN;
    } else {
        v.eyeStage = N_EYE_STAGE_NONE;
        // Model space: the normals need no transform; normalising brings
        // them to unit length whichever route they came by (vertex records
        // and the client's batches both carry them as given).
        v.normalStage = bNormalize ? N_NORMAL_STAGE_RESCALE : N_NORMAL_STAGE_NONE;
    }
}

void _NPrimTransformSetup(N_Context* pctx) {
    _NPrimTransformMode(pctx);
    _NValViewer(pctx);
    vRelight(pctx);
    // Sphere mapping needs eye coordinates in either mode.
    if (*pulAttr(pctx, N_ATTR_TEXGEN_S) != 0 && *pulAttr(pctx, N_ATTR_TEXGEN_PLANE_S) == 2)
        pctx->val.eyeStage = pctx->xf.modelViewAffine ? N_EYE_STAGE_AFFINE : N_EYE_STAGE_GENERAL;
    pctx->eyePositions = pctx->val.eyeStage != N_EYE_STAGE_NONE ? 1 : 0;
}

void _NValPrimCB(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG kind = c.code;
    if (kind < 62 || kind > 71) {
        DbgPrint("_NValPrimCB: unsupported primitives %d\n", static_cast<int>(kind));
        return;
    }
    N_Derived& v = pctx->val;
    pctx->prim[kind - 61].dirtyMask = 0;
    const bool bPolygonLines = ((pctx->enableWord | v.enableBack) & KZ_EN_POLY_LINE) != 0;
    auto lines = [&v] {
        v.lineState[0] = 1;
        v.lineState[1] = 0;
        v.lineState[2] = 1;
    };
    if (kind == 64 || kind == 65) lines();
    if (kind >= 66) {
        if (bPolygonLines) {
            lines();
            N_PrimDispatch& line = pctx->prim[64 - 61];
            v.lightStage[64 - 61] = _NChooseLightStage(pctx, line);
            line.pfnVertexStage = _NLightingStageFn(v.lightStage[64 - 61]);
        }
        // Vertex step and the first vertex, in vertices.
        static constexpr ULONG kStep[6][2] = {{1, 0}, {3, 3}, {4, 4}, {1, 0}, {1, 1}, {2, 2}};
        v.vertexStep = kStep[kind - 66][0];
        v.firstVertexOffset = kStep[kind - 66][1];
        c.nextVertex = v.vertexStep;
    }
    vVertexSetup(pctx, kind, c.format);
}

// --- polygon stipple ---------------------------------------------------------------------------
namespace {

// Every byte with its bits in reverse order.
constexpr std::array<BYTE, 256> kBitReversed = [] {
    std::array<BYTE, 256> a{};
    for (ULONG i = 0; i < 256; ++i) {
        ULONG r = 0;
        for (ULONG b = 0; b < 8; ++b)
            if (i & (1u << b)) r |= 0x80u >> b;
        a[i] = static_cast<BYTE>(r);
    }
    return a;
}();

}  // namespace

void _NPrepareStipple(const ULONG* pulRows, ULONG* pulOut) {
    for (ULONG r = 0; r < 32; ++r) {
        ULONG row = pulRows[31 - r];
        ULONG out = 0;
        for (ULONG b = 0; b < 4; ++b) {
            out |= ULONG{kBitReversed[(row >> (8 * b)) & 0xFF]} << (8 * b);
        }
        pulOut[r] = out;
    }
}

void _NStipplePassWords(const ULONG* pulPattern, ULONG rowBase, ULONG xa, ULONG ya, ULONG* pulOut) {
    for (ULONG w = 0; w < 8; ++w) {
        ULONG word = 0;
        for (ULONG h = 0; h < 2; ++h) {
            const ULONG i = 2 * w + h;
            const ULONG row = pulPattern[(rowBase + i - ya) & 31];
            word |= (std::rotl(row, static_cast<int>(xa & 31)) & 0xFFFFu) << (16 * h);
        }
        pulOut[w] = word;
    }
}

void _NMakeStipplePixmap(N_Context* pctx) {
    if (pctx->apScratchPixmap[0] != nullptr) return;
    pctx->apScratchPixmap[0] = _NCreateScratchPixmap(pctx);
    if (pctx->apScratchPixmap[0] == nullptr) pctx->val.stippleReady = 0;
}

void _NLoadPolygonStipple(N_Context* pctx) {
    N_Derived& v = pctx->val;
    const GLBuffer* D = _NDrawBuffer(pctx);
    // The render programs test the pattern in the scratch pixmap (the
    // window-clip mask) only while it is loaded for a stippled fill.
    pctx->clipControl = 0;
    if (!((pctx->enableWord | v.enableBack) & KZ_EN_STIPPLED_FILL) || D == nullptr) return;
    _NPrepareStipple(pulAttr(pctx, N_ATTR_POLYGON_STIPPLE), v.stipple);
    // The pixmap is made when the stipple is set, never while drawing.
    if (pctx->apScratchPixmap[0] == nullptr) {
        v.stippleReady = 0;
        return;
    }
    const ULONG xa = static_cast<ULONG>(D->x) & 31;
    const ULONG ya = static_cast<ULONG>(D->y + D->cy) & 31;
    v.stippleAlign = xa | ya << 8;
    // Each 16 x 16 cell of the 32 x 32 pattern: the rows of a half, rotated
    // so that the cell's columns come first.
    bool bLoaded = true;
    for (ULONG rowBase : {0u, 16u}) {
        for (ULONG cell : {0u, 16u}) {
            ULONG aul[8];
            _NStipplePassWords(v.stipple, rowBase, (xa + 32 - cell) & 31, ya, aul);
            bLoaded = _NBoardStipplePass(pctx->pHw, pctx->apScratchPixmap[0], rowBase, cell, aul) && bLoaded;
        }
    }
    v.stippleReady = bLoaded ? 1 : 0;
    pctx->clipControl = v.stippleReady;
}

void _NRealignPolygonStipple(N_Context* pctx) {
    const N_Derived& v = pctx->val;
    const GLBuffer* D = _NDrawBuffer(pctx);
    if (v.stippleReady == 0 || D == nullptr) return;
    const ULONG align = (static_cast<ULONG>(D->x) & 31) | (static_cast<ULONG>(D->y + D->cy) & 31) << 8;
    if (align != v.stippleAlign) _NLoadPolygonStipple(pctx);
}
