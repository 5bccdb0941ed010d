// Validation of colour and texture state: the colour scales and converter,
// the current colour as a hardware word, the dither table and the board's
// dither matrix, texture-coordinate generation planes, the texture
// sampling block, and colour material.
#include <bit>
#include <cstring>

#include "3d/context/context.h"
#include "../../seams.h"

namespace {


bool bOn(N_Context* pctx, ULONG id) { return *pulAttr(pctx, id) != 0; }
bool bIndexMode(N_Context* pctx) { return *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1; }

// The colour buffer the conversion serves: front left, else back left.
const GLBuffer* pColourBuffer(N_Context* pctx) {
    if (pctx->buffers[N_SLOT_FRONT_LEFT].pBuffer != nullptr) return pctx->buffers[N_SLOT_FRONT_LEFT].pBuffer;
    return pctx->buffers[N_SLOT_BACK_LEFT].pBuffer;
}

// Whether a blend factor pair (source, destination) makes 8-bit blending
// take the per-run stage's special form.
bool bBlend8Pair(ULONG s, ULONG d) {
    auto in = [d](std::initializer_list<ULONG> l) {
        for (ULONG x : l)
            if (x == d) return true;
        return false;
    };
    switch (s) {
        case 0:
        case 7:
        case 8: return in({9, 10});
        case 1:
        case 6: return in({10});
        case 2: return in({0, 4, 5, 7, 9});
        case 3: return in({0, 1, 4, 5, 6, 7, 10});
        case 5: return in({10});
        default: return false;
    }
}

}  // namespace

void _NValColorMap(N_Context* pctx, ULONG depth) {
    N_ColourConversion& c = pctx->val.colour;
    const bool bDither = bOn(pctx, N_ATTR_DITHER);
    float r = 255.0f, g = 255.0f, b = 255.0f, rr = 1.0f / 255.0f, rg = rr, rb = rr;
    if (depth < 24) {
        if (depth == 8) {
            r = bDither ? 160.0f : 191.0f;
            g = bDither ? 224.0f : 255.0f;
            b = bDither ? 96.0f : 127.0f;
            rr = 1.0f / 160.0f;
            rg = 1.0f / 224.0f;
            rb = 1.0f / 96.0f;
        } else if (depth == 16) {
            r = g = b = bDither ? 124.0f : 127.0f;
            rr = rg = rb = 1.0f / 248.0f;
        } else {
            DbgPrint("_NValColorMap: unsupported depth: %d\n", static_cast<int>(depth));
            return;
        }
    }
    c.scale[0] = r * 65536.0f;
    c.scale[1] = g * 256.0f;
    c.scale[2] = b;
    c.offset[0] = depth == 8 ? 32.0f : 0.0f;
    c.offset[1] = c.offset[2] = 0.0f;
    c.reciprocal[0] = rr;
    c.reciprocal[1] = rg;
    c.reciprocal[2] = rb;
    c.channelMask[0] = 0xFF0000u;
    c.channelMask[1] = 0xFF00u;
    c.channelMask[2] = 0xFFu;
    // Words 1-3 of the colour format hold the channel maxima (2^bits - 1),
    // words 4-6 each channel's place as 2^shift: the shift is its lowest set bit.
    const ULONG* pul = pulAttr(pctx, N_ATTR_PIXEL_FORMAT);
    for (ULONG i = 0; i < 3; ++i) c.channelShift[i] = pul[4 + i] != 0 ? std::countr_zero(pul[4 + i]) : 0;
}

void _NValColour(N_Context* pctx) {
    const GLBuffer* pb = pColourBuffer(pctx);
    if (pb == nullptr) return;
    N_ColourConversion& c = pctx->val.colour;
    const ULONG D = pb->bitsPerPixel;
    if (!bIndexMode(pctx)) {
        _NValColorMap(pctx, D);
        c.converter = N_CONVERT_RGBA;
    } else {
        c.scale[0] = 1.0f;
        c.offset[0] = c.offset[1] = c.offset[2] = 0.0f;
        c.converter = D == 4 ? N_CONVERT_INDEX4 : D == 1 ? N_CONVERT_INDEX1 : N_CONVERT_INDEX8;
    }
    _NConvertCurrentColour(pctx);
    const ULONG* pulBlend = pulAttr(pctx, N_ATTR_BLEND_FUNC);
    c.blend8 = (D == 8 && bOn(pctx, N_ATTR_BLEND) && !bIndexMode(pctx) && bBlend8Pair(pulBlend[0], pulBlend[1])) ? 1 : 0;
}

void _NConvertCurrentColour(N_Context* pctx) {
    N_ColourConversion& c = pctx->val.colour;
    if (c.converter == N_CONVERT_NONE) return;
    const float* pf = reinterpret_cast<const float*>(
        pulAttr(pctx, c.converter == N_CONVERT_RGBA ? N_ATTR_COLOUR : N_ATTR_INDEX));
    c.hwColour = _NColourToHardware(pctx, c.converter, pf);
}

ULONG _NPackedClearColour(N_Context* pctx, const GLBuffer* pBuffer) {
    // The clear colour goes through the RGBA converter with the colour map
    // of the buffer's own depth; the context's conversion stays as the
    // validation left it.
    const N_ColourConversion saved = pctx->val.colour;
    _NValColorMap(pctx, pBuffer->bitsPerPixel);
    ULONG ul = _NColourToHardware(pctx, N_CONVERT_RGBA,
                                  reinterpret_cast<const float*>(pulAttr(pctx, N_ATTR_CLEAR_COLOUR)));
    // At 8 bits a pixel the dithered scale leaves the dither's 32 steps of
    // each level to the dither matrix, which a clear does not add: the
    // cleared colour takes the middle entry, so that the pixel keeps the
    // level nearest the colour rather than the one below it.
    if (pBuffer->bitsPerPixel == 8 && bOn(pctx, N_ATTR_DITHER)) ul += 0x101010u;
    pctx->val.colour = saved;
    return ul;
}

void _NValDither(N_Context* pctx) {
    N_Derived& v = pctx->val;
    const GLBuffer* pb = _NDrawBuffer(pctx);
    const ULONG depth = pb != nullptr ? pb->bitsPerPixel : 0;
    if (!bOn(pctx, N_ATTR_DITHER) || bOn(pctx, N_ATTR_TEXTURE) || depth == 24 || depth == 32) {
        v.ditherTable = N_DITHER_NEUTRAL;
        return;
    }
    if (bIndexMode(pctx)) {
        if (depth == 8)
            v.ditherTable = N_DITHER_INDEX8;
        else if (depth > 4)
            DbgPrint("_NValDither: unsupported depth\n");
    } else if (depth == 8 || depth == 16) {
        v.ditherTable = depth == 8 ? N_DITHER_RGB8 : N_DITHER_RGB16;
    } else {
        DbgPrint("_NValDither: unsupported depth\n");
    }
    _NLoadDither(pctx->pHw);
}

void _NLoadDither(N_HwRecord* phw) {
    if (phw == nullptr) return;
    N_Context* pctx = bNHaveContext() ? gpNCurrent : nullptr;
    const GLBuffer* pb = pctx != nullptr ? _NDrawBuffer(pctx) : nullptr;
    const ULONG depth = pb != nullptr ? pb->bitsPerPixel : 16;
    if (pctx != nullptr && bOn(pctx, N_ATTR_TEXTURE)) return;
    if (depth == 24 || depth == 32) return;
    if (_NDitherMarker(phw) == N_DITHER_MARKER) return;  // the pattern registers hold it
    _NBoardLoadDither(phw);
}

ULONG _NDitherLoadWords(ULONG pid, LONG x, LONG y, ULONG cRasterizers, ULONG* pulOut) {
    auto corner = [](LONG cx, LONG cy) {
        return ((static_cast<ULONG>(cy) << 16) | (static_cast<ULONG>(cx) & 0xFFFu)) << 4;
    };
    // One copy of the tile's rectangle for each rasterizer's tile.
    static constexpr LONG kCopies[4][2] = {{0, 0}, {128, 0}, {0, 128}, {128, 128}};
    const ULONG cCopies = cRasterizers > 2 ? 4 : cRasterizers > 1 ? 2 : 1;
    ULONG n = 0;
    pulOut[n++] = pid;
    pulOut[n++] = 0x001A0308u;
    for (ULONG k = 0; k < cCopies; ++k) {
        const LONG x0 = x + kCopies[k][0], y0 = y + kCopies[k][1];
        pulOut[n++] = corner(x0, y0);
        pulOut[n++] = corner(x0 + 8, y0);
        pulOut[n++] = corner(x0 + 8, y0 + 8);
        pulOut[n++] = corner(x0, y0 + 8);
    }
    return n;
}

void _NValTexGen(N_Context* pctx) {
    N_TexGen& tg = pctx->val.texGen;
    tg.none = 1;
    for (ULONG i = 0; i < 4; ++i) {
        if (bOn(pctx, N_ATTR_TEXGEN_S + i)) tg.none = 0;
        // Object planes apply to object positions, eye planes to eye
        // positions: an eye plane arrives already in eye space (the GL
        // layer took it through the inverse of the modelview in force when
        // it was given), so the modelview in force now does not move it.
        const ULONG* pul = pulAttr(pctx, N_ATTR_TEXGEN_PLANE_S + i);
        tg.mode[i] = pul[0];
        std::memcpy(tg.plane[i], pul + 1, sizeof tg.plane[i]);
    }
}

void _NValTexture(N_Context* pctx) {
    N_TextureFacts t{};
    if (!_NBoundTextureFacts(pctx, &t)) return;
    N_TexSampling& s = pctx->val.tex;
    const ULONG set = t.attrSet != 0 ? 1 : 0;
    std::memcpy(s.envColour, pulAttr(pctx, N_ATTR_ENV_COLOUR + set), sizeof s.envColour);
    s.mipmap = 0;
    s.betweenLevels = 0;
    ULONG minF = *pulAttr(pctx, N_ATTR_MIN_FILTER + 2 * set);
    ULONG magF = *pulAttr(pctx, N_ATTR_MIN_FILTER + 2 * set + 1);
    if (minF > 5) minF = 1;
    if (magF > 1) magF = 1;
    if (minF >= 2) {
        if (t.boardMipmaps && t.allLevelsLoaded) {
            s.mipmap = 1;
            s.betweenLevels = (minF == 3 || minF == 5) ? 1 : 0;
        } else {
            // Level 0 alone, filtered: the board draws no other level. A
            // magnified texture keeps its own filter (nearest stays sharp),
            // as GL chooses it wherever lambda is at most the switch-over.
            minF = 1;
        }
    }
    s.minFilter = minF;
    s.magFilter = magF;
    // The filters in force, as the polygon selector chooses the textured
    // programs by them.
    pctx->texFilters[0] = minF;
    pctx->texFilters[1] = magF;
    s.minSampler = minF;
    s.magSampler = magF;
    const ULONG mode = *pulAttr(pctx, N_ATTR_ENV_MODE + set);
    pctx->texEnv = mode;
    pctx->texFormat = t.format;
    s.envFunction = (mode == 1 && t.components == 4) ? 3 : (mode < 4 ? mode : 0);
    if (bOn(pctx, N_ATTR_FOG) && mode != 2) s.envFunction = N_TEXENV_FOG;
    // The environment colour as the board's blend takes it: GL blends each
    // channel towards the colour's own channel, for a luminance texture as
    // for any other (C = Cf (1 - Lt) + Cc Lt).
    s.envHwColour = pctx->val.colour.converter != N_CONVERT_NONE
                        ? _NColourToHardware(pctx, pctx->val.colour.converter, s.envColour)
                        : 0;
    // GL's switch from magnification to minification: at lambda 0.5 when a
    // LINEAR magnification meets a minification that takes the nearest
    // texels of its levels (NEAREST_MIPMAP_NEAREST, NEAREST_MIPMAP_LINEAR),
    // so that a minified texture looks no sharper than a magnified one.
    // LINEAR_MIPMAP_NEAREST takes the bilinear level 0 below 0.5 either way.
    s.switchOver = (magF == 1 && (minF == 2 || minF == 3 || minF == 4)) ? 0.5f : 0.0f;
    // The textured renderers place a coordinate s at (s + shift) x size +
    // offset + 1 sixteenths of a texel. The size is the whole texture
    // (16 x width): a size short of it (16 x width - 2) moves the texel
    // edges by 2/16 of a texel for every repeat of the texture, a whole
    // texel six repeats on. The offset takes the renderers' 1/16 back, so a
    // texel is chosen at s x width as GL chooses it; the neighbour filters
    // start half a texel lower (GL's u - 1/2), one repeat up so the words
    // stay positive.
    const LONG w16 = static_cast<LONG>(t.width) * 16, h16 = static_cast<LONG>(t.height) * 16;
    s.limits[0] = w16;
    s.limits[1] = h16;
    const bool bNeighbours = magF != 0 || (minF != 0 && minF != 2 && minF != 3);
    s.limits[2] = bNeighbours ? w16 - 8 - 1 : -1;
    s.limits[3] = bNeighbours ? h16 - 8 - 1 : -1;
    s.pointSample = bNeighbours ? 0 : 1;
}

void _NApplyColorMaterial(N_Context* pctx) {
    if (*pulAttr(pctx, N_ATTR_COLOUR_MATERIAL) != 1 || bIndexMode(pctx)) return;
    static constexpr ULONG kTargets[8] = {N_ATTR_FRONT_EMISSION, N_ATTR_FRONT_AMBIENT, N_ATTR_FRONT_DIFFUSE,
                                          N_ATTR_FRONT_SPECULAR, N_ATTR_BACK_EMISSION,  N_ATTR_BACK_AMBIENT,
                                          N_ATTR_BACK_DIFFUSE,   N_ATTR_BACK_SPECULAR};
    const ULONG code = *pulAttr(pctx, N_ATTR_COLOUR_MATERIAL_CODE);
    const ULONG* pulColour = pulAttr(pctx, N_ATTR_COLOUR);
    for (ULONG i = 0; i < 8; ++i)
        if (code & (1u << i)) std::memcpy(pulAttr(pctx, kTargets[i]), pulColour, 4 * sizeof(ULONG));
}
