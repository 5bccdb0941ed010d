// Saving and applying attribute groups, for glPushAttrib/glPopAttrib and
// for copying state between contexts. One table says where each group's
// lgi attributes live in its block; the savers read them from the current
// lgi context into a block, applying sets them back. The enables that
// belong to a group follow from the ENABLE block's bits.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "dispatch/dispatch.h"
#include "lgi/lgi.h"
#include "state/glstate.h"
#include "state/caps.h"
#include "light/light.h"
#include "matrix/matrix.h"
#include "seams.h"

namespace {

// An lgi attribute kept in a group's block: its id and the block word it
// starts at (it takes the attribute's words, N_AttrWords). A block with a
// typed view gives the field's words too, which must be the attribute's.
struct __GLXattrRow {
    ULONG group;
    USHORT id;
    USHORT word;
    USHORT fieldWords = 0;  // the typed field's words; 0 for a block of plain words
};

// The word and words of a LIGHTING block field (light/light.h).
#define LW(field) static_cast<USHORT>(offsetof(__GLXlightingBlock, field) / sizeof(ULONG)), \
    static_cast<USHORT>(sizeof(static_cast<__GLXlightingBlock*>(nullptr)->field) / sizeof(ULONG))

// In the order the attributes are applied.
constexpr __GLXattrRow kAttrRows[] = {
    {GL_CURRENT_BIT, N_ATTR_RASTER_POS, 0},   {GL_CURRENT_BIT, N_ATTR_RASTER_COLOUR, 4},   {GL_CURRENT_BIT, N_ATTR_RASTER_INDEX, 8},
    {GL_CURRENT_BIT, N_ATTR_RASTER_POS_VALID, 13}, {GL_CURRENT_BIT, N_ATTR_RESERVED_103, 14}, {GL_CURRENT_BIT, N_ATTR_COLOUR, 15},
    {GL_CURRENT_BIT, N_ATTR_INDEX, 19},  {GL_CURRENT_BIT, N_ATTR_TEXCOORD, 20},  {GL_CURRENT_BIT, N_ATTR_NORMAL, 24},
    {GL_CURRENT_BIT, N_ATTR_EDGE_FLAG, 27},
    {GL_POINT_BIT, N_ATTR_POINT_SIZE, 0},
    {GL_LINE_BIT, N_ATTR_LINE_WIDTH, 0},      {GL_LINE_BIT, N_ATTR_LINE_STIPPLE, 1},      {GL_LINE_BIT, N_ATTR_LINE_STIPPLE_REPEAT, 2},
    {GL_POLYGON_BIT, N_ATTR_CULL_MODE, 2},
    {GL_POLYGON_STIPPLE_BIT, N_ATTR_POLYGON_STIPPLE, 0},
    {GL_PIXEL_MODE_BIT, N_ATTR_MAP_COLOUR, 0},  {GL_PIXEL_MODE_BIT, N_ATTR_MAP_STENCIL, 1},
    {GL_PIXEL_MODE_BIT, N_ATTR_INDEX_SHIFT, 2},  {GL_PIXEL_MODE_BIT, N_ATTR_INDEX_OFFSET, 3},
    {GL_PIXEL_MODE_BIT, N_ATTR_RED_SCALE, 4},  {GL_PIXEL_MODE_BIT, N_ATTR_GREEN_SCALE, 5},
    {GL_PIXEL_MODE_BIT, N_ATTR_BLUE_SCALE, 6},  {GL_PIXEL_MODE_BIT, N_ATTR_ALPHA_SCALE, 7},
    {GL_PIXEL_MODE_BIT, N_ATTR_DEPTH_SCALE, 8},  {GL_PIXEL_MODE_BIT, N_ATTR_RED_BIAS, 9},
    {GL_PIXEL_MODE_BIT, N_ATTR_GREEN_BIAS, 10}, {GL_PIXEL_MODE_BIT, N_ATTR_BLUE_BIAS, 11},
    {GL_PIXEL_MODE_BIT, N_ATTR_ALPHA_BIAS, 12}, {GL_PIXEL_MODE_BIT, N_ATTR_DEPTH_BIAS, 13},
    {GL_PIXEL_MODE_BIT, N_ATTR_ZOOM_X, 14}, {GL_PIXEL_MODE_BIT, N_ATTR_ZOOM_Y, 15},
    {GL_PIXEL_MODE_BIT, N_ATTR_READ_BUFFER, GLX_PIXEL_READ_BIT},  // the read buffer
    {GL_LIGHTING_BIT, N_ATTR_COLOUR_MATERIAL_CODE, LW(colourMaterialCode)},  {GL_LIGHTING_BIT, N_ATTR_SHADE, LW(shade)},
    {GL_LIGHTING_BIT, N_ATTR_SHADE_COPY, LW(shade)},  {GL_LIGHTING_BIT, N_ATTR_MODEL_AMBIENT, LW(modelAmbient)},
    {GL_LIGHTING_BIT, N_ATTR_VIEWER, LW(viewer)},  {GL_LIGHTING_BIT, N_ATTR_TWO_SIDE, LW(twoSide)},
    {GL_LIGHTING_BIT, N_ATTR_FRONT_AMBIENT, LW(front.ambient)},  {GL_LIGHTING_BIT, N_ATTR_FRONT_DIFFUSE, LW(front.diffuse)},
    {GL_LIGHTING_BIT, N_ATTR_FRONT_SPECULAR, LW(front.specular)},  {GL_LIGHTING_BIT, N_ATTR_FRONT_EMISSION, LW(front.emission)},
    {GL_LIGHTING_BIT, N_ATTR_FRONT_SHININESS, LW(front.shininess)},
    {GL_LIGHTING_BIT, N_ATTR_FRONT_AMBIENT_INDEX, LW(front.ambientIndex)},
    {GL_LIGHTING_BIT, N_ATTR_FRONT_DIFFUSE_INDEX, LW(front.diffuseIndex)},
    {GL_LIGHTING_BIT, N_ATTR_FRONT_SPECULAR_INDEX, LW(front.specularIndex)},
    {GL_LIGHTING_BIT, N_ATTR_BACK_AMBIENT, LW(back.ambient)},  {GL_LIGHTING_BIT, N_ATTR_BACK_DIFFUSE, LW(back.diffuse)},
    {GL_LIGHTING_BIT, N_ATTR_BACK_SPECULAR, LW(back.specular)},  {GL_LIGHTING_BIT, N_ATTR_BACK_EMISSION, LW(back.emission)},
    {GL_LIGHTING_BIT, N_ATTR_BACK_SHININESS, LW(back.shininess)},
    {GL_LIGHTING_BIT, N_ATTR_BACK_AMBIENT_INDEX, LW(back.ambientIndex)},
    {GL_LIGHTING_BIT, N_ATTR_BACK_DIFFUSE_INDEX, LW(back.diffuseIndex)},
    {GL_LIGHTING_BIT, N_ATTR_BACK_SPECULAR_INDEX, LW(back.specularIndex)},
    {GL_FOG_BIT, N_ATTR_FOG_MODE, 0},      {GL_FOG_BIT, N_ATTR_FOG_DENSITY, 1},      {GL_FOG_BIT, N_ATTR_FOG_START, 2},
    {GL_FOG_BIT, N_ATTR_FOG_END, 3},      {GL_FOG_BIT, N_ATTR_FOG_INDEX, 4},      {GL_FOG_BIT, N_ATTR_FOG_COLOUR, 5},
    {GL_DEPTH_BUFFER_BIT, N_ATTR_DEPTH_FUNC, 0}, {GL_DEPTH_BUFFER_BIT, N_ATTR_CLEAR_DEPTH, 1},
    {GL_DEPTH_BUFFER_BIT, N_ATTR_DEPTH_MASK, 2},
    {GL_ACCUM_BUFFER_BIT, N_ATTR_CLEAR_ACCUM, 0},
    {GL_STENCIL_BUFFER_BIT, N_ATTR_STENCIL_FUNC, 0}, {GL_STENCIL_BUFFER_BIT, N_ATTR_STENCIL_OP, 3},
    {GL_STENCIL_BUFFER_BIT, N_ATTR_CLEAR_STENCIL, 6}, {GL_STENCIL_BUFFER_BIT, N_ATTR_STENCIL_MASK, 7},
    {GL_VIEWPORT_BIT, N_ATTR_DEPTH_RANGE, GLX_VIEWPORT_NEAR},
    {GL_COLOR_BUFFER_BIT, N_ATTR_ALPHA_FUNC, 0},  {GL_COLOR_BUFFER_BIT, N_ATTR_BLEND_FUNC, 2},
    {GL_COLOR_BUFFER_BIT, N_ATTR_LOGIC_OP, 5},  {GL_COLOR_BUFFER_BIT, N_ATTR_LOGIC_OP_CODE, 4},
    {GL_COLOR_BUFFER_BIT, N_ATTR_CLEAR_COLOUR, 6},  {GL_COLOR_BUFFER_BIT, N_ATTR_CLEAR_INDEX, 10},
    {GL_COLOR_BUFFER_BIT, N_ATTR_COLOUR_MASK, 11}, {GL_COLOR_BUFFER_BIT, N_ATTR_ALPHA_MASK, 12},
    {GL_COLOR_BUFFER_BIT, N_ATTR_INDEX_MASK, 14}, {GL_COLOR_BUFFER_BIT, N_ATTR_DRAW_BUFFER, GLX_COLOR_DRAW_BITS},
    {GL_TEXTURE_BIT, N_ATTR_WRAP_S, 36}, {GL_TEXTURE_BIT, N_ATTR_WRAP_S1, 44}, {GL_TEXTURE_BIT, N_ATTR_WRAP_T1, 45},
    {GL_TEXTURE_BIT, N_ATTR_MIN_FILTER, 38}, {GL_TEXTURE_BIT, N_ATTR_MIN_FILTER1, 46}, {GL_TEXTURE_BIT, N_ATTR_MAG_FILTER, 39},
    {GL_TEXTURE_BIT, N_ATTR_MAG_FILTER1, 47}, {GL_TEXTURE_BIT, N_ATTR_BORDER_COLOUR, 40}, {GL_TEXTURE_BIT, N_ATTR_BORDER_COLOUR1, 48},
    {GL_TEXTURE_BIT, N_ATTR_ENV_MODE, 52}, {GL_TEXTURE_BIT, N_ATTR_ENV_MODE1, 52}, {GL_TEXTURE_BIT, N_ATTR_ENV_COLOUR, 53},
    {GL_TEXTURE_BIT, N_ATTR_ENV_COLOUR1, 53},
    // Texture-coordinate generation (N_ATTR_TEXGEN_PLANE_S ..
    // N_ATTR_TEXGEN_PLANE_Q) is kept by the server in the block's first 36
    // words and sent for each coordinate's mode.
};
#undef LW

// The typed fields hold their attributes' words.
constexpr bool bFieldsFit() {
    for (const __GLXattrRow& r : kAttrRows) {
        if (r.fieldWords != 0 && r.fieldWords != N_AttrWords(r.id)) return false;
    }
    return true;
}
static_assert(bFieldsFit(), "a LIGHTING block field differs from its lgi attribute");
constexpr ULONG kPolygonFill = 2;
constexpr ULONG kPolygonFillStippled = 3;

unsigned uBit(ULONG flGroup) { return static_cast<unsigned>(__builtin_ctz(flGroup)); }

// The line stipple's pattern and repeat: the lgi layer holds them only while
// stippling is on (all ones and 1 otherwise), so the LINE block's own words
// are the values to save, never the lgi layer's.
constexpr bool bKeptByServer(ULONG id) { return id == N_ATTR_LINE_STIPPLE || id == N_ATTR_LINE_STIPPLE_REPEAT; }

// Saver of group bit k: the values the server keeps (the context's own
// block, when it has one), then the group's lgi attributes from the
// current lgi context. Members of both families.
template <unsigned k>
ULONG __glXSaveGroup(GLContext* gc, ULONG* pwBlock) {
    const ULONG flGroup = 1u << k;
    const GLState* pgs = gc != nullptr ? gc->pState : nullptr;
    if (pgs != nullptr && pgs->blocks[k] != nullptr && pgs->blocks[k] != pwBlock) {
        std::memcpy(pwBlock, pgs->blocks[k], __glXGroupBlockSize[k]);
    }
    const ULONG cWords = __glXGroupBlockSize[k] / 4;
    for (const __GLXattrRow& r : kAttrRows) {
        if (r.group != flGroup || bKeptByServer(r.id)) continue;
        ULONG aw[N_ATTR_WIDEST] = {};
        N_GetStateBlockAttr(r.id, aw);
        // Never past the block, whatever the attribute's width.
        const ULONG c = std::min<ULONG>(N_AttrWords(r.id), cWords - std::min<ULONG>(r.word, cWords));
        std::memcpy(pwBlock + r.word, aw, c * sizeof(ULONG));
    }
    return 0;
}

template <unsigned... k>
constexpr std::array<__GLXsaverFn, GLX_GROUPS> aSavers(std::integer_sequence<unsigned, k...>) {
    return {__glXSaveGroup<k>...};
}

ULONG On(ULONG flEnable, ULONG flBit) { return (flEnable & flBit) != 0 ? 1u : 0u; }

}  // namespace

const std::array<__GLXsaverFn, GLX_GROUPS> __glXPushSavers =
    aSavers(std::make_integer_sequence<unsigned, GLX_GROUPS>{});
const std::array<__GLXsaverFn, GLX_GROUPS> __glXCopySavers = __glXPushSavers;

void __glXApplyGroups(GLContext* gc, GLState* pgs, ULONG flMask, N_Context* pncTarget) {
    N_MakeCurrent(pncTarget != nullptr ? pncTarget : gc->pnc);
    ULONG flApplied = 0;
    for (unsigned k = 0; k < GLX_GROUPS; ++k) {
        const ULONG flGroup = 1u << k;
        const ULONG* pw = pgs->blocks[k];
        if ((flMask & flGroup) == 0 || pw == nullptr) continue;
        flApplied |= flGroup;
        for (const __GLXattrRow& r : kAttrRows) {
            if (r.group == flGroup) N_SetStateBlockAttr(r.id, pw + r.word);
        }
        if (flGroup == GL_POLYGON_BIT) {
            N_SetStateBlockAttrWord(N_ATTR_FRONT_FACE, pw[GLX_POLYGON_FRONT_FACE] == GL_CW ? 0u : 1u);
        }
        if (flGroup == GL_VIEWPORT_BIT) gc->dirty |= GLX_DIRTY_VIEWPORT;
        if (flGroup == GL_TEXTURE_BIT) __glXApplyTexGen(gc, pw);
    }

    // The enables that belong to the groups applied.
    const ULONG* pwEnable = pgs->blocks[uBit(GL_ENABLE_BIT)];
    if (pwEnable != nullptr) {
        const ULONG fl = pwEnable[GLX_ENABLE_BITS];
        auto with = [&](ULONG flGroup) { return (flApplied & (flGroup | GL_ENABLE_BIT)) != 0; };
        // The group's capabilities that the lgi layer mirrors as on/off words.
        auto vMirror = [&](ULONG flGroup) {
            for (const GLXCapability& c : kGLXCapabilities) {
                if (c.flGroup != flGroup || c.mirror != GLXCapMirror::WORD) continue;
                for (ULONG i = 0; i < c.count; ++i)
                    N_SetStateBlockAttrWord(c.attr + i, c.count == 1 ? On(fl, c.flBit) : On(pwEnable[c.iWord + i], ~0u));
            }
        };
        // A group's own words: from the record when it holds the group,
        // else from the context's own record.
        auto block = [&](ULONG flGroup) -> const ULONG* {
            const unsigned k = uBit(flGroup);
            if (pgs->blocks[k] != nullptr) return pgs->blocks[k];
            return gc->pState != nullptr ? gc->pState->blocks[k] : nullptr;
        };
        if (with(GL_TRANSFORM_BIT)) {
            if (const ULONG* pw = block(GL_TRANSFORM_BIT)) {
                __glXSetMatrixMode(gc, pw[GLX_TRANSFORM_MATRIX_MODE]);
            }
            vMirror(GL_TRANSFORM_BIT);
            gc->dirty |= GLX_DIRTY_CLIP_PLANES;
        }
        if (with(GL_LIGHTING_BIT)) {
            vMirror(GL_LIGHTING_BIT);
            gc->dirty |= GLX_DIRTY_LIGHTS;
        }
        if (with(GL_COLOR_BUFFER_BIT)) {
            vMirror(GL_COLOR_BUFFER_BIT);
            gc->dirty |= GLX_DIRTY_BUFFERS;
        }
        if (with(GL_POLYGON_BIT)) {
            vMirror(GL_POLYGON_BIT);
            // A filled face is drawn stippled while polygon stippling is on;
            // a face drawn otherwise keeps its mode.
            const ULONG* pw = block(GL_POLYGON_BIT);
            const ULONG modes[2] = {pw != nullptr ? pw[GLX_POLYGON_FRONT_MODE] : kPolygonFill,
                                    pw != nullptr ? pw[GLX_POLYGON_BACK_MODE] : kPolygonFill};
            for (ULONG f = 0; f < 2; ++f) {
                const ULONG mode = modes[f] == kPolygonFill && (fl & GLX_EN_POLYGON_STIPPLE) != 0 ? kPolygonFillStippled
                                                                                 : modes[f];
                N_SetStateBlockAttrWord(N_ATTR_POLYGON_FRONT + f, mode);
            }
        }
        if (with(GL_DEPTH_BUFFER_BIT)) {
            N_SetStateBlockAttrWord(N_ATTR_DEPTH_TEST, (fl & GLX_EN_DEPTH_TEST) != 0 ? 2u : 1u);
            gc->dirty |= GLX_DIRTY_BUFFERS;
        }
        if (with(GL_LINE_BIT)) {
            vMirror(GL_LINE_BIT);
            const ULONG* pw = block(GL_LINE_BIT);
            const BOOL bStipple = (fl & GLX_EN_LINE_STIPPLE) != 0 && pw != nullptr;
            N_SetStateBlockAttrWord(N_ATTR_LINE_STIPPLE_REPEAT, bStipple ? pw[GLX_LINE_REPEAT] : 1u);
            N_SetStateBlockAttrWord(N_ATTR_LINE_STIPPLE, bStipple ? pw[GLX_LINE_PATTERN] : 0xFFFFFFFFu);
        }
        if (with(GL_FOG_BIT)) vMirror(GL_FOG_BIT);
        if (with(GL_POINT_BIT)) vMirror(GL_POINT_BIT);
        if (with(GL_STENCIL_BUFFER_BIT)) {
            N_SetStateBlockAttrWord(N_ATTR_STENCIL_TEST, On(fl, GLX_EN_STENCIL_TEST));
            gc->dirty |= GLX_DIRTY_BUFFERS;
        }
        if (with(GL_TEXTURE_BIT)) {
            vMirror(GL_TEXTURE_BIT);
            N_SetStateBlockAttrWord(N_ATTR_TEXTURE, On(fl, GLX_EN_TEXTURE_1D | GLX_EN_TEXTURE_2D));
            __glXValidateTexture(gc);
        }
        if (with(GL_SCISSOR_BIT)) gc->dirty |= GLX_DIRTY_CLIP;
    }
    if (pncTarget != nullptr) N_MakeCurrent(gc->pnc);
}
