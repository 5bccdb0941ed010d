// The matrix validator and the window transform: from the small matrix
// stacks of the state block, the viewport, the depth range and the board,
// the modelview M with its inverse, the projection P, the combined
// transform K that takes object coordinates straight to window coordinates,
// their affine flags, the clip volume's bounds and the forms the fog and
// clip-plane stages use.
#include <cstring>

#include "boardconfig.h"
#include "../../seams.h"

namespace {

constexpr ULONG kStackDepthWord = 32;
constexpr float kDepthUnits = 16777215.0f;  // window z of the far plane at depth 1
constexpr ULONG kFogLinear = 2;
constexpr ULONG kDepthRange = N_ATTR_DEPTH_RANGE;

// The top entry of matrix stack k (N_ATTR_MATRIX_STACK0 + k); a depth word that
// names no entry counts as the upper one.
const float* pfStackTop(N_Context* pctx, ULONG k) {
    const ULONG* pul = pulAttr(pctx, N_ATTR_MATRIX_STACK0 + k);
    const ULONG depth = pul[kStackDepthWord] != 0 ? 1 : 0;
    return reinterpret_cast<const float*>(pul + depth * N_MATRIX_WORDS);
}

// Cofactors of the bottom row of m.
void vCofactors(const float* m, float* out) {
    for (ULONG j = 0; j < 4; ++j) {
        // The 3x3 minor of rows 0-2 without column j.
        float s[3][3];
        for (ULONG r = 0; r < 3; ++r)
            for (ULONG c = 0, k = 0; c < 4; ++c)
                if (c != j) s[r][k++] = m[4 * r + c];
        const float det = s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) -
                          s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0]) +
                          s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
        out[j] = ((3 + j) % 2 == 0) ? det : -det;
    }
}

void vValMatrices(N_Context* pctx, const N_BoardFacts& board) {
    N_Transform& xf = pctx->xf;
    _NValModelView(pctx);
    if (xf.projectionChanged) {
        _NMatMul4(pfStackTop(pctx, 2), pfStackTop(pctx, 1), xf.projection);
        xf.projectionAffine = _NMatAffine(xf.projection);
        xf.pProjectionInverse =
            _NMatInvert4(xf.projection, xf.projectionInverseM) ? xf.projectionInverseM : nullptr;
    }
    _NMatMul4(xf.projection, xf.modelView, xf.combined);
    if (board.flags & BCF_STEREO) {
        // The second eye's projection stands where stack 1's top stands in
        // P: behind the viewport matrix of stack 2.
        _NMatMul4(reinterpret_cast<const float*>(pulAttr(pctx, N_ATTR_EXTRA_MATRIX)), xf.modelView,
                  xf.extraCombined);
        _NMatMul4(pfStackTop(pctx, 2), xf.extraCombined, xf.extraCombined);
    }
    const ULONG affine = _NMatAffine(xf.combined);
    if (affine != xf.combinedAffine) {
        xf.combinedAffine = affine;
        _NForceReselect(pctx);
    }
    xf.modelViewChanged = 0;
    xf.projectionChanged = 0;
    vCofactors(xf.combined, xf.cofactors);
    const ULONG generation = xf.generation;
    _NPrimTransformMode(pctx);
    if (generation != xf.generation) _NForceReselect(pctx);
}

}  // namespace

void _NInitTransform(N_Context* pctx) {
    N_Transform& xf = pctx->xf;
    xf.modelViewChanged = 1;
    xf.projectionChanged = 1;
    for (float* pf : {xf.modelView, xf.modelViewInverseM, xf.projection, xf.projectionInverseM,
                      xf.combined, xf.extraCombined, xf.pipeModelView, xf.window, xf.fogInverse})
        _NMatIdentity(pf);
    _NMatIdentity(pctx->plane0.forward);
    _NMatIdentity(pctx->plane0.backward);
}

void _NValModelView(N_Context* pctx) {
    N_Transform& xf = pctx->xf;
    if (!xf.modelViewChanged) return;
    std::memcpy(xf.modelView, pfStackTop(pctx, 0), sizeof xf.modelView);
    xf.modelViewAffine = _NMatAffine(xf.modelView);
    xf.pModelViewInverse =
        _NMatInvert4(xf.modelView, xf.modelViewInverseM) ? xf.modelViewInverseM : nullptr;
    xf.modelViewChanged = 0;
}

const float* _NMatrixStackTop(N_Context* pctx, ULONG k) { return pfStackTop(pctx, k); }

void _NValMatrices(N_Context* pctx) { vValMatrices(pctx, _NBoardFactsOf(pctx)); }

N_BoardFacts _NBoardFactsOf(N_Context* pctx) {
    GLSRVDEVICE* pDevice = pctx->pHw->pDevice;
    N_BoardFacts board{};
    if (pDevice == nullptr) return board;
    board.flags = _NBoardFlags(pDevice);
    board.modelImprecision = _NModelImprecision(pDevice);
    board.stereoPages = _NStereoPages(pctx);
    board.cyRightEye = _NSurfaceHeight(pDevice);
    return board;
}

ULONG _NDrawSlots(N_Context* pctx, LONG (&slots)[4]) {
    const LONG* colour = _NDrawCodeSlots(*pulAttr(pctx, N_ATTR_DRAW_BUFFER));
    ULONG n = 0;
    for (ULONG i = 0; i < 4 && colour[i] >= 0; ++i)
        if (pctx->buffers[colour[i]].pBuffer != nullptr) slots[n++] = colour[i];
    return n;
}

LONG _NFirstDrawSlot(N_Context* pctx) {
    LONG slots[4];
    return _NDrawSlots(pctx, slots) != 0 ? slots[0] : -1;
}

void _NWindowTransform(N_Context* pctx, const N_BoardFacts& board) {
    N_Transform& xf = pctx->xf;
    const LONG* pvp = reinterpret_cast<const LONG*>(pulAttr(pctx, N_ATTR_CLIP_BOX));
    const float* pfDepth = reinterpret_cast<const float*>(pulAttr(pctx, kDepthRange));
    const LONG width = pvp[2] - pvp[0] + 1;
    const LONG height = pvp[3] - pvp[1] + 1;
    LONG x0 = pvp[0];
    LONG y0 = pvp[1];

    // The viewport is relative to the draw buffer; the right eye's image
    // lies below the left one's.
    const LONG slot = _NFirstDrawSlot(pctx);
    if (slot >= 0) {
        const GLBuffer* pBuffer = pctx->buffers[slot].pBuffer;
        x0 += pBuffer->x;
        y0 += pBuffer->y;
        if (board.stereoPages && (slot == 8 || slot == 9)) y0 += board.cyRightEye;
    }

    const float s = board.modelImprecision != 0 ? 16.0f : 1.0f;
    const float xScale = static_cast<float>(width) * s;
    const float yScale = -static_cast<float>(height) * s;
    float xOffset = static_cast<float>(x0) * s;
    float yOffset = static_cast<float>(y0 + height) * s;
    // In 28.4 the board's sample points lie on whole sixteenths, half a
    // pixel before GL's pixel centres: both offsets take that half pixel.
    // In whole pixels the coordinates are truncated to the pixel's corner,
    // where the board samples that pixel, in y as in x: a half pixel taken
    // off y there would move every edge that lies on a pixel boundary up a
    // row (a window-filling quad would leave the window's bottom row).
    if (s == 16.0f) {
        xOffset -= 8.0f;
        yOffset -= 8.0f;
    }
    const float zScale = (pfDepth[0] - pfDepth[1]) * kDepthUnits;
    const float zOffset = pfDepth[1] * kDepthUnits;

    float* W = xf.window;
    _NMatIdentity(W);
    W[0] = xScale;
    W[3] = xOffset;
    W[5] = yScale;
    W[7] = yOffset;
    W[10] = zScale;
    W[11] = zOffset;

    float* b = xf.boundsF;
    b[0] = xOffset;
    b[3] = xOffset + xScale;
    b[1] = yOffset + yScale;
    b[4] = yOffset;
    b[2] = zScale < 0.0f ? zOffset + zScale : zOffset;
    b[5] = zScale < 0.0f ? zOffset : zOffset + zScale;
    for (ULONG i = 0; i < 6; ++i) xf.boundsI[i] = _NTruncToLong(b[i]);

    vValMatrices(pctx, board);

    float WP[N_MATRIX_WORDS];
    _NMatMul4(W, xf.projection, WP);
    if (*pulAttr(pctx, N_ATTR_FOG) != 0) {
        _NMatInvert4(WP, xf.fogInverse);
        if (*pulAttr(pctx, N_ATTR_FOG_MODE) == kFogLinear) {
            xf.fogLinear[0] = WP[10];
            xf.fogLinear[1] = WP[11];
            xf.fogLinear[2] = WP[14];
            xf.fogLinear[3] = WP[15];
        }
    }

    const bool bPlanes = pctx->anyClipPlane && xf.pModelViewInverse != nullptr;
    // User clip planes take the alternative vertex path: eye positions of
    // every vertex for the planes, window coordinates through K.
    pctx->altVertexPath = bPlanes ? 1 : 0;
    const bool bTexture = *pulAttr(pctx, N_ATTR_TEXTURE) != 0 && _NTextureBound(pctx);
    if (bPlanes || bTexture) {
        if (pctx->clipPlane0Only) {
            _NMatMul4(WP, pctx->plane0.backward, xf.projection);
            _NMatMul4(pctx->plane0.forward, xf.modelView, xf.pipeModelView);
        } else {
            std::memcpy(xf.projection, WP, sizeof WP);
            std::memcpy(xf.pipeModelView, xf.modelView, sizeof xf.modelView);
        }
        // P no longer is the stacks' product: form it again next time.
        xf.projectionChanged = 1;
    } else {
        std::memcpy(xf.pipeModelView, xf.modelView, sizeof xf.modelView);
    }

    _NMatMul4(W, xf.combined, xf.combined);

    if (board.flags & BCF_STEREO) {
        float right[N_MATRIX_WORDS];
        std::memcpy(right, W, sizeof right);
        right[7] += static_cast<float>(board.cyRightEye);
        _NMatMul4(right, xf.extraCombined, xf.extraCombined);
    }
}

void _NValWindowTransform(N_Context* pctx) { _NWindowTransform(pctx, _NBoardFactsOf(pctx)); }
