// The GL attribute groups of a context (GLState): made with the context in
// a fixed order, each group's block set to its defaults; and the work a
// context's state asks for before anything is drawn or read: which
// buffers it needs, the scissor region, and what the lgi layer must be
// told again.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "dispatch/dispatch.h"
#include "glrequest_sizes.h"
#include "lgi/lgi.h"
#include "state/glstate.h"
#include "light/light.h"
#include "state/objects.h"
#include "state/state_requests.h"
#include "pixfmt/pixfmt.h"
#include "seams.h"

const ULONG __glXGroupBlockSize[GLX_GROUPS] = {
    112,   // CURRENT
    4,     // POINT
    12,    // LINE
    16,    // POLYGON
    128,   // POLYGON_STIPPLE
    72,    // PIXEL_MODE
    992,   // LIGHTING
    36,    // FOG
    12,    // DEPTH_BUFFER
    16,    // ACCUM_BUFFER
    32,    // STENCIL_BUFFER
    28,    // VIEWPORT
    100,   // TRANSFORM
    148,   // ENABLE
    72,    // COLOR_BUFFER (with the index write mask as given, word 17)
    20,    // HINT
    1128,  // EVAL
    4,     // LIST
    228,   // TEXTURE
    20,    // SCISSOR
};

namespace {

constexpr ULONG kPolygonFill = 2;       // lgi polygon mode: filled
constexpr ULONG kAuxEvalGroup = ~0u;    // the auxiliary evaluator record's step
constexpr ULONG kCullBackCode = 1;      // lgi face code of GL_BACK

// The lgi attributes whose image value is not GL's initial value, in lgi
// codes: {id, words, values}. Set once the lgi context holds its image.
struct __GLXattrDefault {
    USHORT id;
    USHORT words;
    float af[4];   // float attributes
    ULONG aul[4];  // word attributes (used when af is all zero and bWords)
    bool bWords;
};
const __GLXattrDefault kGLDefaults[] = {
    {N_ATTR_NORMALIZE, 1, {}, {0}, true},                   // normalize off
    {N_ATTR_FRONT_FACE, 1, {}, {1}, true},                   // front face CCW
    {N_ATTR_CULL_MODE, 1, {}, {kCullBackCode}, true},       // cull back faces
    {N_ATTR_EDGE_FLAG, 1, {}, {1}, true},                   // edge flag TRUE
    {N_ATTR_FRONT_AMBIENT, 4, {0.2f, 0.2f, 0.2f, 1.0f}, {}, false},  // front ambient
    {N_ATTR_FRONT_DIFFUSE, 4, {0.8f, 0.8f, 0.8f, 1.0f}, {}, false},  // front diffuse
    {N_ATTR_FRONT_SPECULAR, 4, {0.0f, 0.0f, 0.0f, 1.0f}, {}, false},  // front specular
    {N_ATTR_FRONT_SHININESS, 1, {0.0f}, {}, false},                    // front shininess
    {N_ATTR_BACK_AMBIENT, 4, {0.2f, 0.2f, 0.2f, 1.0f}, {}, false},  // back ambient
    {N_ATTR_BACK_DIFFUSE, 4, {0.8f, 0.8f, 0.8f, 1.0f}, {}, false},  // back diffuse
    {N_ATTR_BACK_SPECULAR, 4, {0.0f, 0.0f, 0.0f, 1.0f}, {}, false},  // back specular
    {N_ATTR_BACK_SHININESS, 1, {0.0f}, {}, false},                    // back shininess
    {N_ATTR_MODEL_AMBIENT, 4, {0.2f, 0.2f, 0.2f, 1.0f}, {}, false},  // light model ambient
    {N_ATTR_LIGHTING, 1, {}, {0}, true},                   // lighting off
    {N_ATTR_SHADE, 1, {}, {2}, true},                   // smooth shading (and its two copies)
    {N_ATTR_SHADE_COPY, 1, {}, {2}, true},
    {N_ATTR_SHADE_COPY2, 1, {}, {2}, true},
    {N_ATTR_LINE_STIPPLE, 1, {}, {0xFFFFFFFFu}, true},         // no stipple while line stipple is off
    {N_ATTR_ALPHA_FUNC, 2, {}, {7, 0}, true},               // alpha test ALWAYS, reference 0
    {N_ATTR_DEPTH_FUNC, 1, {}, {1}, true},                  // depth test LESS
    {N_ATTR_DITHER, 1, {}, {1}, true},                  // dithering on
    {N_ATTR_CLEAR_DEPTH, 1, {1.0f}, {}, false},              // depth clear value 1.0
};

// GL's initial values for what the lgi image holds otherwise, and the
// masks as the mask requests would set them for "all ones": the colour
// channels and alpha of the format, the stencil and index bits the visual
// has; the draw and read buffers' codes.
void vSetGLDefaults(GLContext* gc, GLState* pgs) {
    for (const __GLXattrDefault& d : kGLDefaults) {
        if (d.bWords) N_SetStateBlockAttr(d.id, d.aul);
        else N_SetStateBlockAttr(d.id, d.af);
    }
    pgs->blocks[__builtin_ctz(GL_ENABLE_BIT)][GLX_ENABLE_BITS] |= GLX_EN_DITHER;
    const GLVisual* pvis = gc->pvis;
    const GLPixelFormat* ppf = pvis != nullptr ? pvis->pFormat : nullptr;
    const ULONG flStencil = __glXBitMask(pvis != nullptr ? static_cast<LONG>(pvis->cStencilBits) : 0);
    const ULONG awStencil[3] = {7, 0, flStencil};  // ALWAYS, reference 0, every stencil bit
    N_SetStateBlockAttr(N_ATTR_STENCIL_FUNC, awStencil);
    N_SetStateBlockAttrWord(N_ATTR_COLOUR_MASK, ppf != nullptr ? ppf->ulRedMask | ppf->ulGreenMask | ppf->ulBlueMask : 0u);
    N_SetStateBlockAttrWord(N_ATTR_ALPHA_MASK, __glXBitMask(pvis != nullptr ? static_cast<LONG>(pvis->cAlphaBits) : 0));
    N_SetStateBlockAttrWord(N_ATTR_STENCIL_MASK, flStencil);
    N_SetStateBlockAttrWord(N_ATTR_INDEX_MASK, __glXIndexWriteMask(gc, 0xFFFFFFFFu));
    // The colour mode of the layer: a colour-index visual draws, clears and
    // masks indices, not colours.
    N_SetStateBlockAttrWord(N_ATTR_COLOUR_INDEX_MODE, pvis != nullptr && pvis->bRGBA == 0 ? 1u : 0u);
    N_SetStateBlockAttrWord(N_ATTR_READ_BUFFER, pgs->blocks[__builtin_ctz(GL_PIXEL_MODE_BIT)][GLX_PIXEL_READ_BIT]);
    N_SetStateBlockAttrWord(N_ATTR_DRAW_BUFFER, pgs->blocks[__builtin_ctz(GL_COLOR_BUFFER_BIT)][GLX_COLOR_DRAW_BITS]);
}

unsigned uBit(ULONG flGroup) { return static_cast<unsigned>(__builtin_ctz(flGroup)); }

void vSetLine(ULONG* pw) {
    pw[GLX_LINE_WIDTH] = __glXFloatBits(1.0f);
    pw[GLX_LINE_PATTERN] = 0xFFFFFFFFu;
    pw[GLX_LINE_REPEAT] = 1;
}

void vSetPolygon(ULONG* pw) {
    pw[GLX_POLYGON_FRONT_MODE] = kPolygonFill;
    pw[GLX_POLYGON_BACK_MODE] = kPolygonFill;
    pw[GLX_POLYGON_CULL] = kCullBackCode;
    pw[GLX_POLYGON_FRONT_FACE] = GL_CCW;
}

void vSetBuffer(ULONG* pwBits, ULONG* pwName, BOOL bDoubleBuffered) {
    *pwBits = bDoubleBuffered ? GLX_BUFFER_BACK_LEFT : GLX_BUFFER_FRONT_LEFT;
    *pwName = bDoubleBuffered ? GLX_DRAW_BACK : GLX_DRAW_FRONT;
}

void vSetVector(ULONG* pw, float a, float b, float c, float d) {
    pw[0] = __glXFloatBits(a);
    pw[1] = __glXFloatBits(b);
    pw[2] = __glXFloatBits(c);
    pw[3] = __glXFloatBits(d);
}

void vSetLighting(ULONG* pw) {
    for (ULONG i = 0; i < GLX_LIGHTS; ++i) {
        const float fOn = i == 0 ? 1.0f : 0.0f;  // light 0 is white
        N_Light rec{};
        rec.control = 5;
        rec.ambient[3] = 1.0f;
        rec.diffuse[0] = rec.diffuse[1] = rec.diffuse[2] = fOn;
        rec.diffuse[3] = 1.0f;
        rec.spotDirection[2] = -1.0f;
        rec.position[2] = 1.0f;  // (0, 0, 1, 0): along +z, at infinity
        rec.spotCutoff = 180.0f;
        rec.constantAttenuation = 1.0f;
        rec.specular[0] = rec.specular[1] = rec.specular[2] = fOn;
        rec.specular[3] = 1.0f;
        __glXStoreLightRecord(pw, i, rec);
    }
}

void vSetViewport(GLContext* gc, ULONG* pw) {
    pw[GLX_VIEWPORT_NEAR] = __glXFloatBits(0.0f);
    pw[GLX_VIEWPORT_FAR] = __glXFloatBits(1.0f);
    pw[GLX_VIEWPORT_UNSET] = 1;
    N_SetStateBlockAttr(N_ATTR_DEPTH_RANGE, pw);
    gc->dirty |= GLX_DIRTY_VIEWPORT;
}

void vSetTexture(ULONG* pw) {
    // Every coordinate generated in the same first mode; object and eye
    // planes s (1, 0, 0, 0), t (0, 1, 0, 0), r and q zero.
    for (ULONG c = 0; c < 4; ++c) {
        __GLXtexGenRecord rec{1, {}, {}};
        if (c < 2) rec.objectPlane[c] = rec.eyePlane[c] = 1.0f;
        __glXStoreTexGenRecord(pw, c, rec);
    }
}

void vSetEval(ULONG* pw) {
    // Component counts and control points of the nine maps, in target order:
    // colour, index, normal, texture coordinates 1..4, vertex 3 and 4.
    static_assert(std::size(kGLXMapComponents) == GLX_EVAL_MAPS);
    static const float kPoint[GLX_EVAL_MAPS][4] = {
        {1, 1, 1, 1}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
        {0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 1},
    };
    for (ULONG m = 0; m < GLX_EVAL_MAPS; ++m) {
        ULONG* p1 = pw + m * GLX_EVAL_MAP1_WORDS;
        p1[0] = kGLXMapComponents[m];
        p1[1] = 1;
        p1[2] = __glXFloatBits(0.0f);
        p1[3] = __glXFloatBits(1.0f);
        vSetVector(p1 + 4, kPoint[m][0], kPoint[m][1], kPoint[m][2], kPoint[m][3]);
        ULONG* p2 = pw + GLX_EVAL_MAP2_FIRST + m * GLX_EVAL_MAP2_WORDS;
        p2[0] = kGLXMapComponents[m];
        p2[1] = 1;
        p2[2] = 1;
        p2[3] = __glXFloatBits(0.0f);
        p2[4] = __glXFloatBits(1.0f);
        p2[5] = __glXFloatBits(0.0f);
        p2[6] = __glXFloatBits(1.0f);
        vSetVector(p2 + 7, kPoint[m][0], kPoint[m][1], kPoint[m][2], kPoint[m][3]);
    }
    for (ULONG g = 0; g < GLX_EVAL_GRIDS; ++g) {
        ULONG* pg = pw + GLX_EVAL_GRID_FIRST + 3 * g;
        pg[0] = __glXFloatBits(0.0f);
        pg[1] = __glXFloatBits(1.0f);
        pg[2] = 1;
    }
}

// The blocks made with a context, in the order they are made.
const ULONG kCreationOrder[] = {
    GL_ENABLE_BIT,  GL_LINE_BIT,   GL_POLYGON_BIT,  GL_PIXEL_MODE_BIT, GL_LIGHTING_BIT,
    GL_VIEWPORT_BIT, GL_TRANSFORM_BIT, GL_COLOR_BUFFER_BIT, GL_LIST_BIT, GL_HINT_BIT,
    GL_TEXTURE_BIT, GL_SCISSOR_BIT, kAuxEvalGroup, GL_EVAL_BIT,
};

void vSetDefaults(GLContext* gc, ULONG flGroup, ULONG* pw, BOOL bDoubleBuffered) {
    switch (flGroup) {
        case GL_LINE_BIT: vSetLine(pw); break;
        case GL_POLYGON_BIT: vSetPolygon(pw); break;
        case GL_PIXEL_MODE_BIT:
            vSetBuffer(&pw[GLX_PIXEL_READ_BIT], &pw[GLX_PIXEL_READ_BUFFER], bDoubleBuffered);
            break;
        case GL_LIGHTING_BIT: vSetLighting(pw); break;
        case GL_VIEWPORT_BIT: vSetViewport(gc, pw); break;
        case GL_TRANSFORM_BIT: pw[GLX_TRANSFORM_MATRIX_MODE] = GL_MODELVIEW; break;
        case GL_COLOR_BUFFER_BIT: {
            vSetBuffer(&pw[GLX_COLOR_DRAW_BITS], &pw[GLX_COLOR_DRAW_BUFFER], bDoubleBuffered);
            const BYTE ab[4] = {1, 1, 1, 1};
            std::memcpy(&pw[GLX_COLOR_WRITE_MASK], ab, sizeof ab);
            pw[GLX_COLOR_INDEX_MASK] = 0xFFFFFFFFu;
            break;
        }
        case GL_HINT_BIT:
            for (ULONG i = 0; i < GLX_HINTS; ++i) pw[i] = GL_DONT_CARE;
            break;
        case GL_TEXTURE_BIT: vSetTexture(pw); break;
        case GL_SCISSOR_BIT: pw[GLX_SCISSOR_UNSET] = 1; break;
        case GL_EVAL_BIT: vSetEval(pw); break;
        default: break;  // ENABLE and LIST: all zero
    }
}

}  // namespace

ULONG __glXCreateGLState(GLContext* gc, BOOL bDoubleBuffered) {
    auto* pgs = static_cast<GLState*>(LocalAlloc(LPTR, sizeof(GLState)));
    if (pgs == nullptr) return GLX_BAD_ALLOC;
    // Separate triangles count as separate faces.
    N_SetStateBlockAttrWord(N_ATTR_SEPARATE_FACES, 1);
    *pgs = GLState{};
    gc->pState = pgs;
    for (const ULONG flGroup : kCreationOrder) {
        if (flGroup == kAuxEvalGroup) {
            pgs->pAuxEval = static_cast<BYTE*>(LocalAlloc(LPTR, GLX_AUX_EVAL_SIZE));
            if (pgs->pAuxEval == nullptr) break;
            std::memset(pgs->pAuxEval, 0, GLX_AUX_EVAL_SIZE);
            continue;
        }
        const unsigned k = uBit(flGroup);
        auto* pw = static_cast<ULONG*>(LocalAlloc(LPTR, __glXGroupBlockSize[k]));
        if (pw == nullptr) break;
        std::memset(pw, 0, __glXGroupBlockSize[k]);
        pgs->blocks[k] = pw;
        pgs->flPresent |= flGroup;
        vSetDefaults(gc, flGroup, pw, bDoubleBuffered);
    }
    if (pgs->blocks[uBit(GL_EVAL_BIT)] == nullptr) {
        __glXFreeGLState(pgs, pgs->flPresent);
        gc->pState = nullptr;
        return GLX_BAD_ALLOC;
    }
    vSetGLDefaults(gc, pgs);
    return GLX_SUCCESS;
}

void __glXFreeGLState(GLState* pgs, ULONG flMask) {
    if (pgs == nullptr) return;
    // A pushed level shares with the level below it every block it did not
    // push, the auxiliary evaluator record and the server-object record:
    // those are the lower level's to free (levels go top first).
    const GLState* pBelow = pgs->iDepth != 0 ? pgs->pNext : nullptr;
    for (unsigned k = 0; k < GLX_GROUPS; ++k) {
        if ((flMask & (1u << k)) != 0 && pgs->blocks[k] != nullptr &&
            (pBelow == nullptr || pgs->blocks[k] != pBelow->blocks[k])) {
            LocalFree(pgs->blocks[k]);
        }
        pgs->blocks[k] = nullptr;
    }
    if (pgs->pAuxEval != nullptr && (pBelow == nullptr || pgs->pAuxEval != pBelow->pAuxEval)) LocalFree(pgs->pAuxEval);
    if (pgs->iDepth == 0) __glXFreeServerObjects(pgs->pObjects);
    LocalFree(pgs);
}

// --- what the state asks for before drawing -------------------------------------------

// The buffers the context needs: the accumulation buffer always; depth and
// stencil while their tests are on; the colour buffers its draw and read
// buffers name. A right buffer exists only on a stereo visual, and a back
// buffer only on a double-buffered one; when neither buffer names a colour
// buffer the visual has, the visual's own (back, or front when single
// buffered) is taken.
ULONG __glXBufferMask(const GLState* pgs, BOOL bDoubleBuffered, BOOL bStereo) {
    ULONG fl = N_BUFFER_ACCUM;
    const ULONG* pwEnable = pgs->blocks[uBit(GL_ENABLE_BIT)];
    const ULONG flEnable = pwEnable != nullptr ? pwEnable[GLX_ENABLE_BITS] : 0;
    if (flEnable & GLX_EN_DEPTH_TEST) fl |= N_BUFFER_DEPTH | N_BUFFER_DEPTH_STENCIL;
    if (flEnable & GLX_EN_STENCIL_TEST) fl |= N_BUFFER_STENCIL;

    const ULONG* pwColor = pgs->blocks[uBit(GL_COLOR_BUFFER_BIT)];
    const ULONG* pwPixel = pgs->blocks[uBit(GL_PIXEL_MODE_BIT)];
    const ULONG flNamed = (pwColor != nullptr ? pwColor[GLX_COLOR_DRAW_BITS] : 0) |
                          (pwPixel != nullptr ? pwPixel[GLX_PIXEL_READ_BIT] : 0);
    const ULONG flFront = bStereo ? 0x10001u | 0x20000u : 0x1u;
    const ULONG flBack = bStereo ? 0x40004u | 0x80000u : 0x4u;
    BOOL bColor = FALSE;
    if (flNamed & (GLX_BUFFER_FRONT_LEFT | GLX_BUFFER_FRONT_RIGHT)) {
        fl |= flFront;
        bColor = TRUE;
    }
    if ((flNamed & (GLX_BUFFER_BACK_LEFT | GLX_BUFFER_BACK_RIGHT)) && bDoubleBuffered) {
        fl |= flBack;
        bColor = TRUE;
    }
    if (!bColor) fl |= bDoubleBuffered ? flBack : flFront;
    return fl;
}

BOOL __glXScissorBox(LONG x, LONG y, LONG width, LONG height, LONG windowHeight, __GLXbox* pbox) {
    // Worked out in 64 bits and clamped to what a 16-bit box holds, so
    // that no coordinate wraps round.
    auto clamp16 = [](int64_t v) {
        return static_cast<LONG>(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
    };
    const int64_t xLeft = x;
    const int64_t yTop = static_cast<int64_t>(windowHeight) - y - height;
    const int64_t xRight = xLeft + width;
    const int64_t yBottom = yTop + height;
    pbox->xLeft = clamp16(xLeft);
    pbox->yTop = clamp16(yTop);
    pbox->xRight = clamp16(xRight);
    pbox->yBottom = clamp16(yBottom);
    if (width <= 0 || height <= 0 || pbox->xLeft >= pbox->xRight || pbox->yTop >= pbox->yBottom) {
        *pbox = __GLXbox{0, 0, 0, 0};
        return FALSE;
    }
    return TRUE;
}

void __glXValidateOnBind(GLContext* gc) {
    N_MakeCurrent(gc->pnc);
    if (gc->bWindowChanged) {
        gc->bWindowChanged = 0;
        gc->dirty |= GLX_DIRTY_BUFFERS | GLX_DIRTY_VIEWPORT;
    }
    _DBindBuffers(gc, gc->flBufferMask);
    if ((gc->dirty & GLX_DIRTY_LIGHTS) && __glXPushLights(gc)) gc->dirty &= ~GLX_DIRTY_LIGHTS;
    if ((gc->dirty & GLX_DIRTY_CLIP_PLANES) && __glXPushClipPlanes(gc)) {
        gc->dirty &= ~GLX_DIRTY_CLIP_PLANES;
    }
    if ((gc->dirty & GLX_DIRTY_COLOR_FORMAT) && __glXPushColorFormat(gc)) {
        gc->dirty &= ~GLX_DIRTY_COLOR_FORMAT;
    }
}

void __glXValidateDraw(GLContext* gc) {
    GLState* pgs = gc->pState;
    if (pgs == nullptr) return;
    if (gc->dirty & GLX_DIRTY_CLIP) {
        const ULONG* pwEnable = pgs->blocks[uBit(GL_ENABLE_BIT)];
        const ULONG* pws = pgs->blocks[uBit(GL_SCISSOR_BIT)];
        const BOOL bScissor = pwEnable != nullptr && pws != nullptr &&
                              (pwEnable[GLX_ENABLE_BITS] & GLX_EN_SCISSOR_TEST) != 0 &&
                              pws[GLX_SCISSOR_UNSET] == 0;
        if (!bScissor) {
            _DSetClipRegion(gc, nullptr);
        } else {
            __GLXbox box;
            __glXScissorBox(static_cast<LONG>(pws[GLX_SCISSOR_X]), static_cast<LONG>(pws[GLX_SCISSOR_Y]),
                            static_cast<LONG>(pws[GLX_SCISSOR_WIDTH]),
                            static_cast<LONG>(pws[GLX_SCISSOR_HEIGHT]), __glDrawableHeight(gc), &box);
            _DSetClipRegion(gc, &box);
        }
        gc->dirty = (gc->dirty | GLX_DIRTY_BUFFERS) & ~GLX_DIRTY_CLIP;
    }
    if (gc->dirty & GLX_DIRTY_BUFFERS) {
        const BOOL bDoubleBuffered = __glVisualDoubleBuffered(gc);
        const BOOL bStereo = __glVisualStereo(gc);
        gc->flBufferMask = __glXBufferMask(pgs, bDoubleBuffered, bStereo);
        if (_DBindBuffers(gc, gc->flBufferMask)) gc->dirty &= ~GLX_DIRTY_BUFFERS;
    }
    if ((gc->dirty & GLX_DIRTY_VIEWPORT) && __glXValidateViewport(gc)) {
        gc->dirty &= ~GLX_DIRTY_VIEWPORT;
    }
}
