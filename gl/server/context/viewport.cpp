// What a context tells the lgi layer of its drawable, its visual and the
// screen: the viewport clipped to the screen with the matrix that keeps
// its mapping, the visual's colour format, and the six user clip planes
// with their enables. Each answers TRUE when the work is done, so that the
// caller clears the context's dirty bit.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "boardconfig.h"
#include "context/context.h"
#include "glpdev.h"
#include "lgi/lgi.h"
#include "matrix/matrix.h"
#include "pixfmt/drawable.h"
#include "pixfmt/pixfmt.h"
#include "seams.h"
#include "state/glstate.h"
#include "state/state_steps.h"

namespace {

// The viewport matrix of a context whose viewport lies wholly on the
// screen: x, y and z of -1 to 1 onto 0 to 1 across the viewport, z reversed.
constexpr float kDefaultViewportMatrix[16] = {0.5f, 0, 0, 0.5f, 0, 0.5f, 0, 0.5f, 0, 0, -0.5f, 0.5f, 0, 0, 0, 1.0f};

// Inclusive corners in window pixels, y counted from the top.
struct Rect64 {
    int64_t x0, y0, x1, y1;
};

// The client rectangle of the bound drawable's window, or null.
const RECTL* prclClient(GLContext* gc) {
    if (gc->pdraw == nullptr || gc->pdraw->pwo == nullptr) return nullptr;
    return &gc->pdraw->pwo->rclClient;
}

// The viewport matrix that maps through the clipped rectangle (inclusive
// corners, window pixels) the points the unclipped one would.
void vClippedViewportMatrix(const LONG* plUnclipped, const LONG* plClipped, float* pfMatrix) {
    std::memcpy(pfMatrix, kDefaultViewportMatrix, sizeof kDefaultViewportMatrix);
    // The lgi layer maps 0..1 onto the clipped rectangle; the row's scale and
    // offset make that the unclipped rectangle's 0..1. In x the window runs
    // from x0; in y it runs up from the bottom edge (y1 + 1).
    const double uw = static_cast<double>(plUnclipped[2]) - plUnclipped[0] + 1.0;
    const double uh = static_cast<double>(plUnclipped[3]) - plUnclipped[1] + 1.0;
    const double cw = static_cast<double>(plClipped[2]) - plClipped[0] + 1.0;
    const double ch = static_cast<double>(plClipped[3]) - plClipped[1] + 1.0;
    pfMatrix[0] = static_cast<float>(0.5 * uw / cw);
    pfMatrix[3] = static_cast<float>((0.5 * uw + plUnclipped[0] - plClipped[0]) / cw);
    pfMatrix[5] = static_cast<float>(0.5 * uh / ch);
    pfMatrix[7] = static_cast<float>((0.5 * uh + static_cast<double>(plClipped[3]) - plUnclipped[3]) / ch);
}

}  // namespace

BOOL __glXValidateViewport(GLContext* gc) {
    const RECTL* prcl = prclClient(gc);
    const ULONG* pw = glx_state::pwBlock(gc, GL_VIEWPORT_BIT);
    if (prcl == nullptr || pw == nullptr) return FALSE;
    const int64_t cxWindow = static_cast<int64_t>(prcl->right) - prcl->left;
    const int64_t cyWindow = static_cast<int64_t>(prcl->bottom) - prcl->top;

    // The viewport in window pixels, y flipped against the window's height.
    Rect64 u;
    if (pw[GLX_VIEWPORT_UNSET] != 0) {
        u = {0, 0, cxWindow - 1, cyWindow - 1};
    } else {
        const int64_t x = static_cast<LONG>(pw[GLX_VIEWPORT_X]), y = static_cast<LONG>(pw[GLX_VIEWPORT_Y]);
        const int64_t w = static_cast<LONG>(pw[GLX_VIEWPORT_WIDTH]), h = static_cast<LONG>(pw[GLX_VIEWPORT_HEIGHT]);
        u = {x, cyWindow - (y + h), x + w - 1, cyWindow - y - 1};
    }

    // Clipped to the screen: the window's origin at the near edges, the
    // screen's last column and row at the far ones (the box's corners are
    // both inside it). A board split across two screens shows them side by
    // side.
    Rect64 c = u;
    if (gc->ppdev != nullptr) {
        const LONG* plScreen = plGLScreenSize(gc->ppdev);
        const BoardConfig* pbc = __glBoardConfig(gc);
        const int64_t cxScreen = static_cast<int64_t>(plScreen[0]) * (pbc != nullptr && (pbc->flags & BCF_DUAL_MONITOR) ? 2 : 1);
        const int64_t cyScreen = plScreen[1];
        c.x0 = std::max<int64_t>(c.x0, -static_cast<int64_t>(prcl->left));
        c.y0 = std::max<int64_t>(c.y0, -static_cast<int64_t>(prcl->top));
        c.x1 = std::min<int64_t>(c.x1, cxScreen - 1 - prcl->left);
        c.y1 = std::min<int64_t>(c.y1, cyScreen - 1 - prcl->top);
    }
    if (c.x0 > c.x1 || c.y0 > c.y1) return TRUE;  // nothing of it on the screen

    // Both rectangles now fit 32-bit words: the clipped one lies on the
    // screen, and the matrix needs the unclipped one only as differences.
    const LONG alClip[4] = {static_cast<LONG>(c.x0), static_cast<LONG>(c.y0), static_cast<LONG>(c.x1),
                            static_cast<LONG>(c.y1)};
    if (c.x0 != u.x0 || c.y0 != u.y0 || c.x1 != u.x1 || c.y1 != u.y1) {
        const auto l32 = [](int64_t v) {
            return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
        };
        const LONG alView[4] = {l32(u.x0), l32(u.y0), l32(u.x1), l32(u.y1)};
        vClippedViewportMatrix(alView, alClip, gc->viewportMatrix);
    } else {
        std::memcpy(gc->viewportMatrix, kDefaultViewportMatrix, sizeof kDefaultViewportMatrix);
    }
    const ULONG ulMode = gc->renderMode == GL_FEEDBACK ? 2u : gc->renderMode == GL_SELECT ? 1u : 0u;
    N_SetStateBlockAttrWord(N_ATTR_RENDER_MODE, ulMode);
    N_SetStateBlockAttr(N_ATTR_CLIP_BOX, alClip);
    // The depth range is the lgi layer's own (N_ATTR_DEPTH_RANGE, set by
    // DepthRange and PopAttrib): its window transform scales z by it.
    N_SetStateBlockAttr(GLX_LGI_VIEWPORT, gc->viewportMatrix);
    return TRUE;
}

BOOL __glXPushColorFormat(GLContext* gc) {
    const GLVisual* pvis = gc->pvis;
    if (pvis == nullptr || pvis->pFormat == nullptr) return FALSE;
    const auto ulMax = [](ULONG cBits) { return cBits >= 32 ? 0xFFFFFFFFu : (1u << cBits) - 1; };
    const auto ulShift = [](ULONG c) { return c >= 32 ? 0u : 1u << c; };
    const float one = 1.0f;
    ULONG aul[11] = {1,
                     ulMax(pvis->cRedBits),
                     ulMax(pvis->cGreenBits),
                     ulMax(pvis->cBlueBits),
                     ulShift(pvis->pFormat->ulCount0),
                     ulShift(pvis->pFormat->ulCount1),
                     ulShift(pvis->pFormat->ulZero),
                     0,
                     0,
                     0,
                     0};
    for (ULONG i = 7; i < 10; ++i) std::memcpy(&aul[i], &one, 4);
    N_SetStateBlockAttr(N_ATTR_PIXEL_FORMAT, aul);
    return TRUE;
}

BOOL __glXPushClipPlanes(GLContext* gc) {
    const ULONG* pwTransform = glx_state::pwBlock(gc, GL_TRANSFORM_BIT);
    const ULONG* pwEnable = glx_state::pwBlock(gc, GL_ENABLE_BIT);
    if (pwTransform == nullptr || pwEnable == nullptr) return FALSE;
    float af[6 * 4];
    std::memcpy(af, pwTransform + GLX_TRANSFORM_PLANES, sizeof af);
    N_SetClipPlanes(6, af);
    N_SetClipPlaneEnables(6, pwEnable + GLX_EN_CLIP_PLANES);
    return TRUE;
}
