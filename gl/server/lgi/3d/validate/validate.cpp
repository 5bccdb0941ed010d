// The master validator: the dirty word becomes derived state, step by step
// in a fixed order, each step only when one of its dirty bits is set; then
// every primitive kind's dispatch record learns what changed, so that a
// kind re-selects its pipe and render function only when something it
// depends on changed. Also the buffer, enable-flag, write-mask, culling,
// clip-rectangle and stencil steps.
#include <bit>
#include <cstring>

#include "3d/context/context.h"
#include "../../seams.h"

namespace {

constexpr ULONG kSlotFrontLeft = N_SLOT_FRONT_LEFT, kSlotBackLeft = N_SLOT_BACK_LEFT;
constexpr ULONG kSlotDepth = N_SLOT_DEPTH, kSlotStencil = N_SLOT_STENCIL;
constexpr ULONG kSlotFrontRight = N_SLOT_FRONT_RIGHT, kSlotBackRight = N_SLOT_BACK_RIGHT;

bool bPresent(N_Context* pctx, LONG slot) {
    return slot >= 0 && slot < static_cast<LONG>(N_BUFFER_SLOTS) && pctx->buffers[slot].pBuffer != nullptr;
}
GLBuffer* pSlot(N_Context* pctx, LONG slot) { return bPresent(pctx, slot) ? pctx->buffers[slot].pBuffer : nullptr; }
bool bHost(const GLBuffer* pb) { return pb != nullptr && pb->memoryKind == GLBUFFER_MEMORY_HOST; }
bool bOn(N_Context* pctx, ULONG id) { return *pulAttr(pctx, id) != 0; }
bool bIndexMode(N_Context* pctx) { return *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1; }

// The window transform with the matrices (the viewport, depth range and
// matrices changed).
void vValMatrices(N_Context* pctx) { _NValWindowTransform(pctx); }

// Dirty bits by step, by name.
constexpr ULONG kBuffers = N_DIRTY_BUFFERS | N_DIRTY_BUFFER_CODES;
constexpr ULONG kEnables = N_DIRTY_BUFFERS | N_DIRTY_TEXTURE_IMAGE | N_DIRTY_BUFFER_CODES | N_DIRTY_TEXTURE |
                           N_DIRTY_WRITE_MASKS | N_DIRTY_FRAGMENT | N_DIRTY_FOG | N_DIRTY_SMOOTH |
                           N_DIRTY_POLYGON | N_DIRTY_LINE | N_DIRTY_COLOUR_MODE | N_DIRTY_MATERIAL |
                           N_DIRTY_TEXGEN | N_DIRTY_SHADE | N_DIRTY_RENDER_MODE;
constexpr ULONG kMatrices = N_DIRTY_BUFFERS | N_DIRTY_TEXTURE_IMAGE | N_DIRTY_CLIP_PLANES | N_DIRTY_BUFFER_CODES |
                            N_DIRTY_TEXTURE | N_DIRTY_FOG | N_DIRTY_VIEWPORT | N_DIRTY_TEXGEN | N_DIRTY_MATRIX;
// The transform set-up also chooses the normal stage (normalising) and the
// eye positions that sphere mapping needs (coordinate generation).
constexpr ULONG kTransform = N_DIRTY_LIGHTS | N_DIRTY_FOG | N_DIRTY_LINE | N_DIRTY_COLOUR_MATERIAL |
                             N_DIRTY_MATERIAL | N_DIRTY_CULL | N_DIRTY_SHADE | N_DIRTY_MATRIX | N_DIRTY_NORMALIZE |
                             N_DIRTY_TEXGEN;
constexpr ULONG kClipRectsBase = N_DIRTY_CLIP_LIST | N_DIRTY_TEXTURE | N_DIRTY_VIEWPORT;
// The rectangles' stereo offset and the one-pass-per-rectangle flag follow
// the draw buffers too: a new draw buffer validates them again.
constexpr ULONG kClipRects = kClipRectsBase | N_DIRTY_BUFFERS | N_DIRTY_BUFFER_CODES;
constexpr ULONG kWriteMasks = N_DIRTY_BUFFERS | N_DIRTY_BUFFER_CODES | N_DIRTY_WRITE_MASKS;
constexpr ULONG kColour = N_VALIDATE_COLOUR_MASK;
constexpr ULONG kTexture = N_DIRTY_TEXTURE_IMAGE | N_DIRTY_TEXTURE | N_DIRTY_TEXGEN;
// The sampling block's environment follows fog (the fogged environment)
// and the colour conversion its colour goes through (dithering, the
// colour format and mode), besides the texture itself.
constexpr ULONG kTextureSampling = kTexture | N_DIRTY_FOG |
                                   (kColour & ~(N_DIRTY_CURRENT_COLOUR | N_DIRTY_MATERIAL));
constexpr ULONG kCulling = N_DIRTY_POLYGON | N_DIRTY_CULL;
// Texturing turns dithering off.
constexpr ULONG kDither = N_DIRTY_TEXTURE_IMAGE | N_DIRTY_FRAGMENT | N_DIRTY_COLOUR_MODE | N_DIRTY_TEXTURE;
constexpr ULONG kLighting = N_DIRTY_CURRENT_COLOUR | N_DIRTY_LIGHTS | N_DIRTY_COLOUR_MATERIAL | N_DIRTY_MATERIAL;
static_assert(kBuffers == 0x8800000u && kEnables == 0x0CDCE48Eu && kMatrices == 0x0EC40029u &&
              kTransform == 0x0104319Du && kClipRectsBase == 0x40400020u && kWriteMasks == 0x8900000u &&
              kColour == 0x204A0480u && kTexture == 0x4400008u && kTextureSampling == 0x44E0408u &&
              kCulling == 0x4010u && kDither == 0x4480400u && kLighting == 0x21000180u);

}  // namespace

const std::array<N_ValidateRow, N_VALIDATE_STEPS> gaNValidateRows = {{
    {kBuffers, _NValDrawBuffer, "draw buffer"},
    {kEnables, _NValEnableFlags, "enable flags"},
    {kMatrices, vValMatrices, "matrices and viewport"},
    {kTransform, _NPrimTransformSetup, "primitive transform set-up"},
    {kBuffers, _NValReadBuffer, "read buffer"},
    {kClipRects, _NValClipRects, "clip rectangles"},
    {kWriteMasks, _NValWriteMasks, "write masks"},
    {kColour, _NValColour, "colour conversion"},
    {kTexture, _NValTexGen, "texture-coordinate generation"},
    {kTextureSampling, _NValTexture, "texture sampling"},
    {kCulling, _NValCulling, "culling"},
    {N_DIRTY_FRAGMENT, _NValStencilOps, "stencil operations"},
    {kDither, _NValDither, "dither"},
    {kMatrices, _NValFogLinear, "linear fog"},
    {kLighting, _NValLighting, "lighting"},
}};

ULONG flPrimDirtyMask(ULONG kind) {
    if (kind == 64 || kind == 65) return 0x6FDCA59Eu;
    if (kind >= 66 && kind <= 71) return 0x6FDCED9Eu;
    if (kind == 63) return 0x6DDCED9Fu;
    if (kind == 62) return 0x20000003u;
    return 0;
}

void _NValidate(N_Context* pctx, ULONG flDirty) {
    N_Derived& v = pctx->val;
    ULONG flWork = flDirty;
    // Lighting on, viewer and shade model stored again with their old values
    // need nothing done.
    if (flWork & N_DIRTY_SHADE) {
        ULONG aul[3];
        for (ULONG i = 0; i < 3; ++i) aul[i] = *pulAttr(pctx, N_ATTR_VIEWER + i);
        if (std::memcmp(aul, v.savedShade, sizeof aul) == 0)
            flWork &= ~N_DIRTY_SHADE;
        else
            std::memcpy(v.savedShade, aul, sizeof aul);
    }

    const ULONG generation = pctx->xf.generation;
    v.stepsRun = 0;
    for (ULONG k = 0; k < N_VALIDATE_STEPS; ++k) {
        if (!(flWork & gaNValidateRows[k].flMask)) continue;
        v.stepsRun |= 1u << k;
        gaNValidateRows[k].pfn(pctx);
    }
    const ULONG changed = generation != pctx->xf.generation ? 1 : 0;

    for (ULONG i = 0; i < N_PRIM_DISPATCH; ++i)
        pctx->prim[i].dirtyMask |= (flDirty & flPrimDirtyMask(61 + i)) | (flPrimDirtyMask(61 + i) ? changed : 0);

    // A moved or resized window (or another draw buffer) moves the
    // pattern's alignment: the load follows it.
    if (flDirty & N_DIRTY_POLYGON) _NLoadPolygonStipple(pctx);
    else if (flDirty & (N_DIRTY_CLIP_LIST | N_DIRTY_BUFFERS | N_DIRTY_BUFFER_CODES)) _NRealignPolygonStipple(pctx);

    // Only what was validated is clean: bits set meanwhile, or left out by
    // the caller, stay for the next validation.
    pctx->dirty &= ~flDirty;

    v.spanMask = bOn(pctx, N_ATTR_POLYGON_SMOOTH) ? 15 : 0;
}

void N_InvalidateClipRects(void) {
    if (bNHaveContext()) gpNCurrent->dirty |= N_DIRTY_CLIP_LIST;
}

GLBuffer* _NDrawBuffer(N_Context* pctx) {
    return pctx->val.cDrawBuffers > 0 ? pSlot(pctx, pctx->val.drawSlots[0]) : nullptr;
}

void _NValDrawBuffer(N_Context* pctx) {
    N_Derived& v = pctx->val;
    v.cDrawBuffers = 0;
    for (ULONG i = 0; i < N_DRAW_BUFFERS_MAX; ++i) v.drawSlots[i] = v.alphaSlots[i] = -1;
    auto alphaOf = [&](LONG colour) {
        const LONG alpha = _NAlphaSlotOf(colour);
        return bPresent(pctx, alpha) ? alpha : -1;
    };
    const LONG* colour = _NDrawCodeSlots(*pulAttr(pctx, N_ATTR_DRAW_BUFFER));
    for (ULONG i = 0; i < 4 && colour[i] >= 0; ++i) {
        // The alpha buffer goes in at the colour buffer's position first.
        v.alphaSlots[v.cDrawBuffers] = alphaOf(colour[i]);
        if (!bPresent(pctx, colour[i])) continue;
        v.drawSlots[v.cDrawBuffers++] = colour[i];
    }
    if (v.cDrawBuffers < N_DRAW_BUFFERS_MAX) v.alphaSlots[v.cDrawBuffers] = -1;
    if (v.cDrawBuffers == 0) {
        v.drawSlots[0] = bPresent(pctx, kSlotBackLeft) ? kSlotBackLeft : -1;
        v.alphaSlots[0] = alphaOf(kSlotBackLeft);
    }
}

void _NValReadBuffer(N_Context* pctx) {
    LONG slot;
    switch (*pulAttr(pctx, N_ATTR_READ_BUFFER)) {
        case 4:
        case 12: slot = kSlotBackLeft; break;
        case 2:
        case 10: slot = kSlotFrontRight; break;
        case 8: slot = kSlotBackRight; break;
        default: slot = kSlotFrontLeft; break;
    }
    pctx->val.readSlot = bPresent(pctx, slot) ? slot : -1;
}

namespace {

// The colour bits of a buffer of the depth that a write mask must hold to
// write every bit.
ULONG ulFullColourMask(N_Context* pctx, ULONG depth) {
    if (bIndexMode(pctx)) {
        ULONG full = depth >= 24 ? 0xFFFFFFu : (1u << depth) - 1;
        if (depth == 4) full <<= 4;
        if (depth == 1) full <<= 7;
        return full;
    }
    if (depth >= 24) return 0xFFFFFFu;
    if (depth == 16) return 0x7F7F7Fu;
    if (depth == 8) return 0xFFFF7Fu;
    if (depth == 4) return 15;
    return 1;
}

// The polygon-mode bits of an enable-flag word for a polygon mode.
ULONG flPolygonMode(ULONG mode) {
    switch (mode) {
        case 5: return KZ_EN_POLY_MODE5;
        case 0: return KZ_EN_POLY_POINT;
        case 3: return KZ_EN_STIPPLED_FILL;
        case 1: return KZ_EN_POLY_LINE;
        default: return 0;
    }
}

}  // namespace

void _NValEnableFlags(N_Context* pctx) {
    N_Derived& v = pctx->val;
    const GLBuffer* D = _NDrawBuffer(pctx);
    const GLBuffer* A = pctx->val.cDrawBuffers > 0 ? pSlot(pctx, v.alphaSlots[0]) : nullptr;
    const GLBuffer* Z = pSlot(pctx, kSlotDepth);
    const GLBuffer* S = pSlot(pctx, kSlotStencil);
    const bool bRender = *pulAttr(pctx, N_ATTR_RENDER_MODE) == N_RENDER_MODE_RENDER;
    const bool bIndex = bIndexMode(pctx);
    const bool bBlend = bOn(pctx, N_ATTR_BLEND), bAlphaTest = bOn(pctx, N_ATTR_ALPHA_TEST);
    const bool bNarrow = D != nullptr && (D->bitsPerPixel == 1 || D->bitsPerPixel == 4);
    ULONG fl = 0;
    if (D != nullptr && bRender) fl |= KZ_EN_DRAW;
    if ((fl & KZ_EN_DRAW) && bOn(pctx, N_ATTR_FOG)) fl |= KZ_EN_FOG;
    if (bHost(D)) fl |= KZ_EN_COLOUR_HOST;
    if (A != nullptr) fl |= KZ_EN_ALPHA_BUFFER;
    if (Z != nullptr && *pulAttr(pctx, N_ATTR_DEPTH_TEST) == 2) fl |= KZ_EN_DEPTH;
    if (bHost(Z)) fl |= KZ_EN_DEPTH_HOST;
    // Alpha is carried for blending and the alpha test, and always into an
    // alpha buffer in host memory: only the software path reaches one, and
    // its colour write stores each fragment's alpha there.
    if (bRender && (bBlend || bAlphaTest || bHost(A))) fl |= KZ_EN_ALPHA;
    if (bHost(A)) fl |= KZ_EN_ALPHA_HOST;
    if (bOn(pctx, N_ATTR_TEXTURE) && !bIndex && _NTextureBound(pctx)) fl |= KZ_EN_TEXTURE;
    if (S != nullptr && bOn(pctx, N_ATTR_STENCIL_TEST)) fl |= KZ_EN_STENCIL;
    if (bHost(S)) fl |= KZ_EN_STENCIL_HOST;
    if (bBlend && !bIndex) fl |= KZ_EN_BLEND;
    if (bAlphaTest) fl |= KZ_EN_ALPHA_TEST;
    if (fl & KZ_EN_DRAW) {
        const ULONG full = ulFullColourMask(pctx, D->bitsPerPixel);
        const ULONG mask = *pulAttr(pctx, bIndex ? N_ATTR_INDEX_MASK : N_ATTR_COLOUR_MASK);
        if ((mask & full) != full) fl |= KZ_EN_MASKED;
    }
    if (*pulAttr(pctx, N_ATTR_DEPTH_MASK) == 0 && (fl & KZ_EN_DEPTH)) fl |= KZ_EN_NO_DEPTH_WRITES;
    if (*pulAttr(pctx, N_ATTR_ALPHA_MASK) == 0 && (fl & KZ_EN_ALPHA_BUFFER)) fl |= KZ_EN_NO_ALPHA_WRITES;
    if (*pulAttr(pctx, N_ATTR_STENCIL_MASK) == 0 && (fl & KZ_EN_STENCIL)) fl |= KZ_EN_NO_STENCIL_WRITES;
    if (*pulAttr(pctx, N_ATTR_LINE_STIPPLE) != 0xFFFFFFFFu) fl |= KZ_EN_LINE_STIPPLE;
    if (bOn(pctx, N_ATTR_POINT_SMOOTH) && !bNarrow) fl |= KZ_EN_POINT_SMOOTH;
    if ((bOn(pctx, N_ATTR_LINE_SMOOTH) || pctx->aaLines) && !bNarrow) fl |= KZ_EN_AA_LINES;
    if (bOn(pctx, N_ATTR_LOGIC_OP) && *pulAttr(pctx, N_ATTR_LOGIC_OP_CODE) != 3) fl |= KZ_EN_LOGIC_OP;
    pctx->enableWord = fl | flPolygonMode(*pulAttr(pctx, N_ATTR_POLYGON_FRONT));
    v.enableBack = fl | flPolygonMode(*pulAttr(pctx, N_ATTR_POLYGON_BACK));
    static_assert((KZ_EN_POLY_MODES & KZ_EN_MASKED) == 0);
}

void _NValWriteMasks(N_Context* pctx) {
    N_Derived& v = pctx->val;
    const GLBuffer* D = _NDrawBuffer(pctx);
    // The full mask in the colour word of the buffer's depth (at 16 bits
    // 0x7F7F7F, not the pixel's 16 bits).
    const ULONG full = D == nullptr ? 0xFFFFFFu : ulFullColourMask(pctx, D->bitsPerPixel);
    v.colourMask = *pulAttr(pctx, bIndexMode(pctx) ? N_ATTR_INDEX_MASK : N_ATTR_COLOUR_MASK) & full;
    v.colourMaskNot = ~v.colourMask & full;
    v.alphaMask = *pulAttr(pctx, N_ATTR_ALPHA_MASK);
    v.alphaMaskNot = ~v.alphaMask & 255;
    v.depthMask = *pulAttr(pctx, N_ATTR_DEPTH_MASK);
    v.depthMaskNot = ~v.depthMask;
    v.stencilMask = *pulAttr(pctx, N_ATTR_STENCIL_MASK);
    v.stencilMaskNot = ~v.stencilMask & 255;
}

void _NValCulling(N_Context* pctx) {
    N_Derived& v = pctx->val;
    const ULONG* pul = pulAttr(pctx, N_ATTR_TWO_SIDE);  // 46-49 lie back to back
    v.twoSided = (pul[0] != 0 || *pulAttr(pctx, N_ATTR_POLYGON_FRONT) != *pulAttr(pctx, N_ATTR_POLYGON_BACK)) ? 1 : 0;
    // The GL layer stores cull mode 1 for GL_BACK and 2 for GL_FRONT; the
    // first facing of the face-culling stage is the front one, so code 1
    // removes the second facing and code 2 the first.
    const ULONG mode = pul[2] != 0 ? pul[3] : 0;
    v.cullFront = (mode == 2 || mode == 3) ? 1 : 0;
    v.cullBack = (mode == 1 || mode == 3) ? 1 : 0;
    v.windingCw = pul[1] == 0 ? 1 : 0;
    std::memcpy(v.savedCull, pul, sizeof v.savedCull);
    v.cullValid = 1;
}

// Whether drawing into the buffer takes one pass per clip rectangle even
// as a window's only back buffer: a buffer in board memory lies in a
// screen-sized surface that holds every window's buffer of its kind at the
// window's place, so where other windows cover this one the pixels belong
// to their buffers (a window above swaps them to the screen). A buffer in
// host memory is the window's own.
ULONG _NSurfaceNeedsRects(const GLBuffer* pBuffer) {
    return pBuffer != nullptr && pBuffer->memoryKind == GLBUFFER_MEMORY_DEVICE ? 1 : 0;
}

void _NValClipRects(N_Context* pctx) {
    N_Derived& v = pctx->val;
    const LONG* box = reinterpret_cast<const LONG*>(pulAttr(pctx, N_ATTR_CLIP_BOX));
    const GLBuffer* D = _NDrawBuffer(pctx);
    const LONG first = pctx->val.cDrawBuffers > 0 ? v.drawSlots[0] : -1;
    LONG yEye = 0;
    if ((first == static_cast<LONG>(kSlotFrontRight) || first == static_cast<LONG>(kSlotBackRight)) &&
        pctx->pHw->pDevice != nullptr && _NStereoPages(pctx))
        yEye = _NSurfaceHeight(pctx->pHw->pDevice);
    // The clip list is in screen coordinates, the box and the packed
    // rectangles in the draw buffer's (its origin is added back where the
    // rectangles are used).
    const LONG xOrg = D != nullptr ? D->x : 0, yOrg = D != nullptr ? D->y : 0;
    const ULONG c = pctx->cClipRects;
    for (ULONG i = 0; i < c; ++i) {
        const ULONG* r = pctx->pulDecodedClip + 4 * i;
        // Clamped in wide signed arithmetic (the box may hold any value);
        // the packed halves are unsigned 16 bits.
        using W = long long;
        const W x0 = std::max<W>(W{r[0]} - xOrg, box[0]);
        const W y0 = std::max<W>(W{r[1]} - yOrg, box[1]) + yEye;
        const W x1 = std::min<W>(W{r[2]} - xOrg, W{box[2]} + 1);
        const W y1 = std::min<W>(W{r[3]} - yOrg, W{box[3]} + 1) + yEye;
        pctx->pulPackedClip[2 * i] = (static_cast<ULONG>(y0 & 0xFFFF) << 16) | static_cast<ULONG>(x0 & 0xFFFF);
        pctx->pulPackedClip[2 * i + 1] = (static_cast<ULONG>(y1 & 0xFFFF) << 16) | static_cast<ULONG>(x1 & 0xFFFF);
    }
    const bool bPlainBuffer = first == static_cast<LONG>(kSlotBackLeft) || first == static_cast<LONG>(kSlotBackRight);
    pctx->multiRect = (c > 1 && (v.cDrawBuffers > 1 || !bPlainBuffer || (D != nullptr && _NSurfaceNeedsRects(D)))) ? 1 : 0;
}

void _NValStencilOps(N_Context* pctx) {
    if (!(pctx->enableWord & KZ_EN_STENCIL)) return;
    const ULONG* op = pulAttr(pctx, N_ATTR_STENCIL_OP);  // fail, depth-pass, depth-fail
    ULONG* slot = pctx->val.stencilSlots;
    // An operation the software table does not hold reports as entry 1 does.
    auto code = [](ULONG ul) { return ul <= N_STENCIL_OP_LAST ? ul : N_STENCIL_SLOT_ERROR; };
    slot[0] = code(op[0]);
    slot[1] = N_STENCIL_SLOT_ERROR;
    slot[2] = code(op[1]);
    slot[3] = code(op[2]);
}

void _NValFogLinear(N_Context* pctx) {
    if (!bOn(pctx, N_ATTR_FOG) || *pulAttr(pctx, N_ATTR_FOG_MODE) != 2) return;
    const float* f = pctx->xf.fogLinear;  // (W x P) (2,2), (2,3), (3,2), (3,3)
    const float A = f[0], B = f[1], C = f[2], D = f[3];
    auto measure = [&](float d) {
        const float num = B - d * A;
        const float den = D - d * C;
        return den == 0.0f ? num : num / den;
    };
    pctx->val.fogStart = measure(fNAttr(pctx, N_ATTR_FOG_START));
    pctx->val.fogEnd = measure(fNAttr(pctx, N_ATTR_FOG_END));
}

void _NInitDerived(N_Context* pctx) {
    N_Derived& v = pctx->val;
    for (ULONG& ul : v.savedShade) ul = 0xFFFFFFFFu;
    v.readSlot = -1;
    for (ULONG i = 0; i < N_DRAW_BUFFERS_MAX; ++i) v.drawSlots[i] = v.alphaSlots[i] = -1;
    v.stippleReady = 0;
    pctx->lit.distanceScale = 1.0f;
}
