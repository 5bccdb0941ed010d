// Saving and applying attribute groups, for glPushAttrib/glPopAttrib and
// for copying state between contexts. One table says where each group's
// lgi attributes live in its block; the savers read them from the current
// lgi context into a block, applying sets them back. The enables that
// belong to a group follow from the ENABLE block's bits.
#include <algorithm>
#include <cstring>
#include <utility>

#include "dispatch/dispatch.h"
#include "lgi/lgi.h"
#include "state/glstate.h"
#include "matrix/matrix.h"
#include "seams.h"

namespace {

// An lgi attribute kept in a group's block: its id, the block word it
// starts at and its width in words.
struct __GLXattrRow {
    ULONG group;
    USHORT id;
    USHORT word;
    USHORT words;
};

// In the order the attributes are applied.
const __GLXattrRow kAttrRows[] = {
    {GL_CURRENT_BIT, 97, 0, 4},   {GL_CURRENT_BIT, 99, 4, 4},   {GL_CURRENT_BIT, 100, 8, 1},
    {GL_CURRENT_BIT, 102, 13, 1}, {GL_CURRENT_BIT, 103, 14, 1}, {GL_CURRENT_BIT, 52, 15, 4},
    {GL_CURRENT_BIT, 53, 19, 1},  {GL_CURRENT_BIT, 56, 20, 4},  {GL_CURRENT_BIT, 55, 24, 3},
    {GL_CURRENT_BIT, 57, 27, 1},
    {GL_POINT_BIT, 85, 0, 1},
    {GL_LINE_BIT, 86, 0, 1},      {GL_LINE_BIT, 87, 1, 1},      {GL_LINE_BIT, 88, 2, 1},
    {GL_POLYGON_BIT, 49, 2, 1},
    {GL_POLYGON_STIPPLE_BIT, 90, 0, 32},
    {GL_PIXEL_MODE_BIT, 131, 0, 1},  {GL_PIXEL_MODE_BIT, 132, 1, 1},
    {GL_PIXEL_MODE_BIT, 133, 2, 1},  {GL_PIXEL_MODE_BIT, 134, 3, 1},
    {GL_PIXEL_MODE_BIT, 135, 4, 1},  {GL_PIXEL_MODE_BIT, 136, 5, 1},
    {GL_PIXEL_MODE_BIT, 137, 6, 1},  {GL_PIXEL_MODE_BIT, 138, 7, 1},
    {GL_PIXEL_MODE_BIT, 139, 8, 1},  {GL_PIXEL_MODE_BIT, 140, 9, 1},
    {GL_PIXEL_MODE_BIT, 141, 10, 1}, {GL_PIXEL_MODE_BIT, 142, 11, 1},
    {GL_PIXEL_MODE_BIT, 143, 12, 1}, {GL_PIXEL_MODE_BIT, 144, 13, 1},
    {GL_PIXEL_MODE_BIT, 145, 14, 1}, {GL_PIXEL_MODE_BIT, 146, 15, 1},
    {GL_PIXEL_MODE_BIT, 162, GLX_PIXEL_READ_BIT, 1},  // the read buffer
    {GL_LIGHTING_BIT, 78, 0, 1},  {GL_LIGHTING_BIT, 81, 1, 1},  {GL_LIGHTING_BIT, 82, 1, 1},
    {GL_LIGHTING_BIT, 75, 2, 4},  {GL_LIGHTING_BIT, 80, 6, 1},  {GL_LIGHTING_BIT, 46, 7, 1},
    {GL_LIGHTING_BIT, 59, 8, 4},  {GL_LIGHTING_BIT, 60, 12, 4}, {GL_LIGHTING_BIT, 61, 16, 4},
    {GL_LIGHTING_BIT, 58, 20, 4}, {GL_LIGHTING_BIT, 62, 24, 1}, {GL_LIGHTING_BIT, 63, 25, 1},
    {GL_LIGHTING_BIT, 64, 26, 1}, {GL_LIGHTING_BIT, 65, 27, 1},
    {GL_LIGHTING_BIT, 68, 28, 4}, {GL_LIGHTING_BIT, 69, 32, 4}, {GL_LIGHTING_BIT, 70, 36, 4},
    {GL_LIGHTING_BIT, 67, 40, 4}, {GL_LIGHTING_BIT, 71, 44, 1}, {GL_LIGHTING_BIT, 72, 45, 1},
    {GL_LIGHTING_BIT, 73, 46, 1}, {GL_LIGHTING_BIT, 74, 47, 1},
    {GL_FOG_BIT, 106, 0, 1},      {GL_FOG_BIT, 107, 1, 1},      {GL_FOG_BIT, 108, 2, 1},
    {GL_FOG_BIT, 109, 3, 1},      {GL_FOG_BIT, 111, 4, 1},      {GL_FOG_BIT, 110, 5, 4},
    {GL_DEPTH_BUFFER_BIT, 119, 0, 1}, {GL_DEPTH_BUFFER_BIT, 166, 1, 1},
    {GL_DEPTH_BUFFER_BIT, 129, 2, 1},
    {GL_ACCUM_BUFFER_BIT, 168, 0, 4},
    {GL_STENCIL_BUFFER_BIT, 114, 0, 3}, {GL_STENCIL_BUFFER_BIT, 115, 3, 3},
    {GL_STENCIL_BUFFER_BIT, 167, 6, 1}, {GL_STENCIL_BUFFER_BIT, 130, 7, 1},
    {GL_VIEWPORT_BIT, 51, GLX_VIEWPORT_NEAR, 2},
    {GL_COLOR_BUFFER_BIT, 117, 0, 2},  {GL_COLOR_BUFFER_BIT, 121, 2, 2},
    {GL_COLOR_BUFFER_BIT, 123, 5, 1},  {GL_COLOR_BUFFER_BIT, 124, 4, 1},
    {GL_COLOR_BUFFER_BIT, 164, 6, 4},  {GL_COLOR_BUFFER_BIT, 165, 10, 1},
    {GL_COLOR_BUFFER_BIT, 127, 11, 1}, {GL_COLOR_BUFFER_BIT, 128, 12, 1},
    {GL_COLOR_BUFFER_BIT, 161, 14, 1}, {GL_COLOR_BUFFER_BIT, 163, GLX_COLOR_DRAW_BITS, 1},
    {GL_TEXTURE_BIT, 148, 36, 1}, {GL_TEXTURE_BIT, 149, 44, 1}, {GL_TEXTURE_BIT, 150, 45, 1},
    {GL_TEXTURE_BIT, 151, 38, 1}, {GL_TEXTURE_BIT, 153, 46, 1}, {GL_TEXTURE_BIT, 152, 39, 1},
    {GL_TEXTURE_BIT, 154, 47, 1}, {GL_TEXTURE_BIT, 155, 40, 4}, {GL_TEXTURE_BIT, 156, 48, 4},
    {GL_TEXTURE_BIT, 157, 52, 1}, {GL_TEXTURE_BIT, 158, 52, 1}, {GL_TEXTURE_BIT, 159, 53, 4},
    {GL_TEXTURE_BIT, 160, 53, 4},
    // Texture-coordinate generation (41-44) is kept by the server in the
    // block's first 36 words and sent for each coordinate's mode.
};

constexpr ULONG kWidestAttr = 33;  // the widest lgi attribute (a matrix-stack top)
constexpr ULONG kGLCW = 0x900;     // GL_CW
constexpr ULONG kPolygonFill = 2;
constexpr ULONG kPolygonFillStippled = 3;

unsigned uBit(ULONG flGroup) { return static_cast<unsigned>(__builtin_ctz(flGroup)); }

// The line stipple's pattern and repeat: the lgi layer holds them only while
// stippling is on (all ones and 1 otherwise), so the LINE block's own words
// are the values to save, never the lgi layer's.
constexpr bool bKeptByServer(ULONG id) { return id == 87 || id == 88; }

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
        ULONG aw[kWidestAttr] = {};
        N_GetStateBlockAttr(r.id, aw);
        // Never past the block, whatever the attribute's width.
        const ULONG c = std::min<ULONG>(r.words, cWords - std::min<ULONG>(r.word, cWords));
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
            N_SetStateBlockAttrWord(47, pw[GLX_POLYGON_FRONT_FACE] == kGLCW ? 0u : 1u);
        }
        if (flGroup == GL_VIEWPORT_BIT) gc->dirty |= GLX_DIRTY_VIEWPORT;
        if (flGroup == GL_TEXTURE_BIT) __glXApplyTexGen(gc, pw);
    }

    // The enables that belong to the groups applied.
    const ULONG* pwEnable = pgs->blocks[uBit(GL_ENABLE_BIT)];
    if (pwEnable != nullptr) {
        const ULONG fl = pwEnable[GLX_ENABLE_BITS];
        auto with = [&](ULONG flGroup) { return (flApplied & (flGroup | GL_ENABLE_BIT)) != 0; };
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
            N_SetStateBlockAttrWord(45, On(fl, 0x1));
            gc->dirty |= GLX_DIRTY_CLIP_PLANES;
        }
        if (with(GL_LIGHTING_BIT)) {
            N_SetStateBlockAttrWord(79, On(fl, 0x2));
            N_SetStateBlockAttrWord(77, On(fl, 0x4));
            gc->dirty |= GLX_DIRTY_LIGHTS;
        }
        if (with(GL_COLOR_BUFFER_BIT)) {
            N_SetStateBlockAttrWord(116, On(fl, 0x40));
            N_SetStateBlockAttrWord(120, On(fl, 0x80));
            N_SetStateBlockAttrWord(122, On(fl, 0x100));
            N_SetStateBlockAttrWord(123, On(fl, 0x200));
            gc->dirty |= GLX_DIRTY_BUFFERS;
        }
        if (with(GL_POLYGON_BIT)) {
            N_SetStateBlockAttrWord(96, On(fl, 0x400));
            N_SetStateBlockAttrWord(48, On(fl, 0x1000));
            // A filled face is drawn stippled while polygon stippling is on;
            // a face drawn otherwise keeps its mode.
            const ULONG* pw = block(GL_POLYGON_BIT);
            const ULONG modes[2] = {pw != nullptr ? pw[GLX_POLYGON_FRONT_MODE] : kPolygonFill,
                                    pw != nullptr ? pw[GLX_POLYGON_BACK_MODE] : kPolygonFill};
            for (ULONG f = 0; f < 2; ++f) {
                const ULONG mode = modes[f] == kPolygonFill && (fl & 0x800) != 0 ? kPolygonFillStippled
                                                                                 : modes[f];
                N_SetStateBlockAttrWord(91 + f, mode);
            }
        }
        if (with(GL_DEPTH_BUFFER_BIT)) {
            N_SetStateBlockAttrWord(118, (fl & GLX_ENABLE_DEPTH_TEST) != 0 ? 2u : 1u);
            gc->dirty |= GLX_DIRTY_BUFFERS;
        }
        if (with(GL_LINE_BIT)) {
            N_SetStateBlockAttrWord(95, On(fl, 0x4000));
            const ULONG* pw = block(GL_LINE_BIT);
            const BOOL bStipple = (fl & 0x8000) != 0 && pw != nullptr;
            N_SetStateBlockAttrWord(88, bStipple ? pw[GLX_LINE_REPEAT] : 1u);
            N_SetStateBlockAttrWord(87, bStipple ? pw[GLX_LINE_PATTERN] : 0xFFFFFFFFu);
        }
        if (with(GL_FOG_BIT)) N_SetStateBlockAttrWord(105, On(fl, 0x10000));
        if (with(GL_POINT_BIT)) N_SetStateBlockAttrWord(94, On(fl, 0x20000));
        if (with(GL_STENCIL_BUFFER_BIT)) {
            N_SetStateBlockAttrWord(113, On(fl, GLX_ENABLE_STENCIL_TEST));
            gc->dirty |= GLX_DIRTY_BUFFERS;
        }
        if (with(GL_TEXTURE_BIT)) {
            for (ULONG c = 0; c < 4; ++c) N_SetStateBlockAttrWord(37 + c, pwEnable[33 + c] != 0 ? 1u : 0u);
            N_SetStateBlockAttrWord(147, On(fl, 0x30));
            __glXValidateTexture(gc);
        }
        if (with(GL_SCISSOR_BIT)) gc->dirty |= GLX_DIRTY_CLIP;
    }
    if (pncTarget != nullptr) N_MakeCurrent(gc->pnc);
}
