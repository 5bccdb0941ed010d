// Texture images: each level the GL layer hands over is converted into the
// 32-bit pixel form of the drawing surface's depth, loaded into the board
// through the GL layer's texture loader, and kept as float texels in the
// layer's software texture cache for the software texture stages. Both
// stores are keyed by a checksum of the level-0 image, so that a texture
// sent again is found instead of converted again; a fingerprint of the
// whole level guards each hit, so that two different images with the same
// checksum never stand for each other.
//
// The conversion works in the arena's image work areas; allocation happens
// only when a new texture enters the cache.
#include <algorithm>
#include <cstring>

#include "3d/context/arena.h"
#include "boardconfig.h"
#include "lgigl.h"
#include "glpdev.h"
#include "3d/pipes/pipes.h"
#include "texcache.h"
#include "../../seams.h"

namespace {

constexpr ULONG kTexEntries = 32;
constexpr ULONG kTexCacheDropBytes = 10000001;
constexpr ULONG kMaxSide = 256;  // the largest texture the system reports
constexpr ULONG kUnloaded = 0xFFFFFFFFu;

constexpr ULONG kTypeUByte = 0, kTypeByte = 1, kTypeUShort = 3, kTypeShort = 4, kTypeFloat = 7;
constexpr ULONG kFmtRed = 3, kFmtRGB = 7, kFmtRGBA = 8, kFmtLum = 9, kFmtLumAlpha = 10;

// One texel of a cache level: red, green, blue 0-255, alpha 0-1, and a word
// the load leaves alone.
struct Texel {
    float r, g, b, a, spare;
};
static_assert(sizeof(Texel) == 20);

struct N_TexCacheEntry {
    ULONG cbImages;
    ULONG ids[N_TEX_LEVELS];                 // the texture's checksum once the level is loaded
    std::uint64_t fingerprints[N_TEX_LEVELS];  // of each loaded level's source image
    ULONG cLevels;
    Texel* apAlloc[N_TEX_LEVELS];
    float* apLevels[N_TEX_LEVELS];           // first interior texel of each level
};

struct N_TexCache {
    ULONG iCurrent;
    ULONG cEntries;
    ULONG cbTotal;
    N_TexCacheEntry entries[kTexEntries];
};

N_TexCache* pCacheOf(N_Context* pctx) { return static_cast<N_TexCache*>(pctx->pTexCache); }

ULONG ulComponents(ULONG format) {
    switch (format) {
        case kFmtRed: case kFmtLum: return 1;
        case kFmtLumAlpha: return 2;
        case kFmtRGB: return 3;
        case kFmtRGBA: return 4;
        default: return 0;
    }
}
ULONG ulTypeBytes(ULONG type) {
    switch (type) {
        case kTypeUByte: case kTypeByte: return 1;
        case kTypeUShort: case kTypeShort: return 2;
        case kTypeFloat: return 4;
        default: return 0;
    }
}

// The checksum of a level-0 image: in rows 0, 4, 8, ... the words at bytes
// 0, 16, 32, ... of the row, n = (((R + 1) / 4) + 3) / 4 of them, summed
// with wrap-around. A word that reaches past the image counts its bytes
// inside it only.
ULONG ulChecksum(const BYTE* pj, std::size_t cbRow, ULONG h) {
    const std::size_t cbImage = cbRow * h;
    const std::size_t n = (((cbRow + 1) / 4) + 3) / 4;
    ULONG sum = 0;
    for (ULONG y = 0; y < h; y += 4)
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t at = std::size_t{y} * cbRow + 16 * k;
            ULONG w = 0;
            std::memcpy(&w, pj + at, std::min<std::size_t>(4, cbImage - at));
            sum += w;
        }
    return sum;
}

// FNV-1a over the whole level.
std::uint64_t ullFingerprint(const BYTE* pj, std::size_t cb) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < cb; ++i) h = (h ^ pj[i]) * 0x100000001b3ull;
    return h;
}

// One component's value: 8-bit types give c (0-255), 16-bit types S
// (0-65535). Signed types convert by GL 1.0's rule, (2c + 1) / (2^n - 1),
// negative values clamped to 0.
ULONG ulComponentValue(const BYTE* pj, ULONG type) {
    switch (type) {
        case kTypeUByte: return pj[0];
        case kTypeByte: {
            const auto c = static_cast<signed char>(pj[0]);
            return c < 0 ? 0 : 2u * static_cast<ULONG>(c) + 1;
        }
        case kTypeUShort: { USHORT v; std::memcpy(&v, pj, 2); return v; }
        default: {
            SHORT v;
            std::memcpy(&v, pj, 2);
            return v < 0 ? 0 : 2u * static_cast<ULONG>(v) + 1;
        }
    }
}

// The depth mapping of one colour channel (0 red, 1 green, 2 blue) of a
// component value: c of the byte types, S of the short types.
ULONG ulMapChannel(ULONG v, bool bShort, ULONG channel, ULONG depth) {
    const ULONG c = bShort ? v >> 8 : v;
    if (depth >= 24) return c;
    if (depth >= 16) return bShort ? v >> 9 : c >> 1;
    if (channel == 0) return bShort ? ((191 * v) >> 16) + 32 : ((191 * c) >> 8) + 32;
    return channel == 1 ? c : (bShort ? v >> 9 : c >> 1);
}

// The same for a float component f (clamped to 0.0-1.0).
ULONG ulMapFloat(float f, ULONG channel, ULONG depth) {
    f = std::clamp(f, 0.0f, 1.0f);
    static constexpr float kLow[3][2] = {{160.0f, 32.0f}, {224.0f, 0.0f}, {96.0f, 0.0f}};
    if (depth >= 24) return static_cast<ULONG>(255.0f * f);
    if (depth >= 16) return static_cast<ULONG>(124.0f * f);
    return static_cast<ULONG>(kLow[channel][0] * f + kLow[channel][1]);
}

// Converts w x h texels of an image into pulOut at a display depth, and
// (with pulSecond) a second image at depth 16 for the board's 16-bit form;
// the alpha bytes of RGBA images into pjAlpha where it is given.
void vConvert(const N_BoundTexture& t, const BYTE* pjImage, std::size_t cbRow, ULONG depth, ULONG* pulOut,
              ULONG* pulSecond, BYTE* pjAlpha) {
    const ULONG nc = ulComponents(t.format);
    const ULONG cb = ulTypeBytes(t.type);
    const ULONG depthOut = pulSecond != nullptr ? 24 : depth;
    for (ULONG y = 0; y < t.height; ++y) {
        const BYTE* pjRow = pjImage + std::size_t{y} * cbRow;
        for (ULONG x = 0; x < t.width; ++x) {
            const BYTE* pj = pjRow + std::size_t{x} * nc * cb;
            ULONG rgb[2][3];  // the converted image's channels, then the second image's
            ULONG alpha = 255;
            const bool bAlpha = t.format == kFmtRGBA || t.format == kFmtLumAlpha;
            if (t.type == kTypeFloat) {
                float af[4] = {0, 0, 0, 1};
                for (ULONG c = 0; c < nc; ++c) std::memcpy(&af[c], pj + 4 * c, 4);
                const float fa = bAlpha ? af[nc - 1] : 1.0f;
                if (t.format == kFmtLum || t.format == kFmtLumAlpha) af[1] = af[2] = af[0];
                if (t.format == kFmtRed) af[1] = af[2] = 0.0f;
                for (ULONG c = 0; c < 3; ++c) {
                    const ULONG v = ulMapFloat(af[c], c, pulSecond != nullptr ? 16 : depth);
                    rgb[0][c] = pulSecond != nullptr ? 2 * v : v;
                    rgb[1][c] = v;
                }
                if (bAlpha) alpha = static_cast<ULONG>(255.0f * std::clamp(fa, 0.0f, 1.0f));
            } else {
                const bool bShort = cb == 2;
                ULONG S[4] = {0, 0, 0, bShort ? 0xFFFFu : 0xFFu};
                for (ULONG c = 0; c < nc; ++c) S[c] = ulComponentValue(pj + std::size_t{c} * cb, t.type);
                if (bAlpha) S[3] = S[nc - 1];
                if (t.format == kFmtLum || t.format == kFmtLumAlpha) S[1] = S[2] = S[0];
                if (t.format == kFmtRed) S[1] = S[2] = 0;
                for (ULONG c = 0; c < 3; ++c) {
                    rgb[0][c] = ulMapChannel(S[c], bShort, c, depthOut);
                    rgb[1][c] = ulMapChannel(S[c], bShort, c, 16);
                }
                alpha = bShort ? S[3] >> 8 : S[3];
                if (t.format == kFmtLumAlpha && depth < 16) alpha = 255;
            }
            const std::size_t i = std::size_t{y} * t.width + x;
            auto word = [&](const ULONG* c) { return (alpha << 24) | ((c[0] & 0xFF) << 16) | ((c[1] & 0xFF) << 8) | (c[2] & 0xFF); };
            pulOut[i] = word(rgb[0]);
            if (pulSecond != nullptr) pulSecond[i] = word(rgb[1]);
            if (pjAlpha != nullptr) pjAlpha[i] = static_cast<BYTE>(alpha);
        }
    }
}

// The colours of the first texels of the six-level test texture.
constexpr BYTE kMarkColours[6][3] = {{255, 255, 0}, {255, 0, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

void vFreeEntry(N_TexCacheEntry& e) {
    for (ULONG l = 0; l < N_TEX_LEVELS; ++l)
        if (e.apAlloc[l] != nullptr) _Nfree(e.apAlloc[l]);
    e = N_TexCacheEntry{};
}

// Whether the board mip-maps, and the device record of the context.
PDEV* ppdevOf(N_Context* pctx) {
    GLSRVDEVICE* pDevice = pctx->pHw != nullptr ? pctx->pHw->pDevice : nullptr;
    return pDevice != nullptr ? pDevice->ppdev : nullptr;
}
bool bMipmap(N_Context* pctx) {
    return pctx->pHw != nullptr && (_NBoardFlags(pctx->pHw->pDevice) & BCF_MIPMAP) != 0;
}
bool bTexture16(PDEV* ppdev) { return ppdev != nullptr && *pGLPdevField<ULONG>(ppdev, gGLPdevFields.cjTexture16) != 0; }

bool bSupported(N_Context* pctx, ULONG type, ULONG format) {
    return *pulAttr(pctx, N_ATTR_MAP_COLOUR) == 0 && ulComponents(format) != 0 && ulTypeBytes(type) != 0;
}

}  // namespace

void _NDropTexCache(N_Context* pctx) {
    N_TexCache* pc = pCacheOf(pctx);
    if (pc == nullptr) return;
    for (N_TexCacheEntry& e : pc->entries) vFreeEntry(e);
    _Nfree(pc);
    pctx->pTexCache = nullptr;
    pctx->ppTexLevels = nullptr;
}

ULONG _NCurrentTexChecksum(N_Context* pctx) {
    const N_TexCache* pc = pCacheOf(pctx);
    return pc != nullptr && pc->cEntries > 0 ? pc->entries[pc->iCurrent].ids[0] : 0;
}

ULONG _NFindTexCache(N_Context* pctx, ULONG level, ULONG id, std::uint64_t fingerprint) {
    N_TexCache* pc = pCacheOf(pctx);
    if (pc == nullptr || pc->cEntries == 0 || level >= N_TEX_LEVELS) return 0;
    if (level == 0) {
        if (id == 0) return 0;
        for (ULONG e = 0; e < pc->cEntries; ++e) {
            N_TexCacheEntry& entry = pc->entries[e];
            if (entry.ids[0] != id || entry.fingerprints[0] != fingerprint) continue;
            pc->iCurrent = e;
            pctx->ppTexLevels = entry.apLevels;
            return 1;
        }
        return 0;
    }
    const N_TexCacheEntry& cur = pc->entries[pc->iCurrent];
    return cur.ids[level] == id && cur.fingerprints[level] == fingerprint ? 1 : 0;
}

ULONG _NNewTexCacheEntry(N_Context* pctx, ULONG b, ULONG w, ULONG h) {
    N_TexCache* pc = pCacheOf(pctx);
    if (pc != nullptr && (pc->cEntries >= kTexEntries || pc->cbTotal >= kTexCacheDropBytes)) {
        _NDropTexCache(pctx);
        pc = nullptr;
    }
    if (pc == nullptr) {
        pc = static_cast<N_TexCache*>(_Nalloc(sizeof(N_TexCache)));
        if (pc == nullptr) return 0;
        *pc = N_TexCache{};
        pctx->pTexCache = pc;
    }
    N_TexCacheEntry& e = pc->entries[pc->cEntries];
    e = N_TexCacheEntry{};
    e.cLevels = std::min(pctx->texLevels, N_TEX_LEVELS);
    for (ULONG l = 0; l < e.cLevels; ++l) {
        const std::size_t cTexels = std::size_t{w + 2 * b} * (h + 2 * b);
        e.apAlloc[l] = static_cast<Texel*>(_Nalloc(cTexels * sizeof(Texel)));
        if (e.apAlloc[l] == nullptr) {
            vFreeEntry(e);
            return 0;
        }
        std::memset(static_cast<void*>(e.apAlloc[l]), 0, cTexels * sizeof(Texel));
        e.ids[l] = kUnloaded;
        e.cbImages += static_cast<ULONG>(cTexels * sizeof(Texel));
        e.apLevels[l] = &e.apAlloc[l][std::size_t{w + 2 * b + 1} * b].r;
        if (w > 1) w >>= 1;
        if (h > 1) h >>= 1;
    }
    pc->iCurrent = pc->cEntries++;
    pc->cbTotal += e.cbImages;
    pctx->ppTexLevels = e.apLevels;
    return 1;
}

void _NLoadTexCacheLevel(N_Context* pctx, ULONG id, std::uint64_t fingerprint, ULONG w, ULONG h, ULONG b,
                         ULONG level, const ULONG* pulPixels) {
    if (level == 0) {
        // An older entry under the same checksum holds another image: it is
        // found no more.
        if (N_TexCache* pc = pCacheOf(pctx))
            for (ULONG e = 0; e < pc->cEntries; ++e)
                if (pc->entries[e].ids[0] == id) pc->entries[e].ids[0] = 0;
        if (!_NNewTexCacheEntry(pctx, b, w, h)) {
            // Without an entry of its own the texture's later levels must
            // not land in another texture's entry.
            _NDropTexCache(pctx);
            return;
        }
    }
    N_TexCache* pc = pCacheOf(pctx);
    if (pc == nullptr || pc->cEntries == 0) return;
    N_TexCacheEntry& e = pc->entries[pc->iCurrent];
    if (level >= e.cLevels) return;
    e.ids[level] = id;
    e.fingerprints[level] = fingerprint;
    // The level's rows from the border's first texel on (the level pointer
    // is at the first interior texel).
    const std::size_t stored = std::size_t{w} + 2 * b;
    auto* pt = reinterpret_cast<Texel*>(e.apLevels[level]) - (stored + 1) * b;
    for (std::size_t i = 0; i < stored * (std::size_t{h} + 2 * b); ++i) {
        const ULONG p = pulPixels[i];
        pt[i].r = static_cast<float>((p >> 16) & 0xFF);
        pt[i].g = static_cast<float>((p >> 8) & 0xFF);
        pt[i].b = static_cast<float>(p & 0xFF);
        pt[i].a = static_cast<float>(p >> 24) * 0.003921569f;
    }
}

ULONG _NAllTexLevelsLoaded(N_Context* pctx) {
    const N_TexCache* pc = pCacheOf(pctx);
    if (pc == nullptr) return 0;
    if (pc->cEntries == 0) return 0;
    const N_TexCacheEntry& e = pc->entries[pc->iCurrent];
    for (ULONG l = 0; l < e.cLevels; ++l)
        if (e.ids[l] == kUnloaded) return 0;
    return 1;
}

ULONG _NTextureBound(N_Context* pctx) { return pctx->texBound; }

ULONG _NBoundTextureFacts(N_Context* pctx, N_TextureFacts* pFacts) {
    if (!pctx->texBound) return 0;
    const N_BoundTexture& t = pctx->boundTex;
    *pFacts = N_TextureFacts{};
    pFacts->attrSet = t.target != 0 ? 1 : 0;
    pFacts->width = t.width;
    pFacts->height = t.height;
    pFacts->components = t.components;
    pFacts->allLevelsLoaded = _NAllTexLevelsLoaded(pctx);
    pFacts->boardMipmaps = bMipmap(pctx) ? 1 : 0;
    pFacts->format = t.format;
    return 1;
}

LONG N_BindAttrMap(const __GLXtexLevel* pLevel) {
    if (!bNHaveContext() || pLevel == nullptr) return 0;
    N_Context* pctx = gpNCurrent;
    const ULONG level = pLevel->level;
    // 1. Without mip-mapping only level 0 counts.
    const bool bMip = bMipmap(pctx);
    if (!bMip && level != 0) return 0;
    // 2. The drawing surface gives the display depth.
    const N_BoundBuffer* pTarget = pctx->buffers[N_SLOT_FRONT_LEFT].pBuffer != nullptr ? &pctx->buffers[N_SLOT_FRONT_LEFT]
                                   : pctx->buffers[N_SLOT_BACK_LEFT].pBuffer != nullptr ? &pctx->buffers[N_SLOT_BACK_LEFT] : nullptr;
    if (pTarget == nullptr) return 0;
    const ULONG depth = pTarget->pBuffer->bitsPerPixel;
    // 3. Interior sizes, refused past the largest texture before any work
    // area is touched.
    const std::int64_t w = std::int64_t{pLevel->width} - 2 * std::int64_t{pLevel->border};
    const std::int64_t h = std::int64_t{pLevel->height} - 2 * std::int64_t{pLevel->border};
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || pLevel->border > 1 || level >= N_TEX_LEVELS ||
        pLevel->pvImage == nullptr)
        return -1;
    // 4. A later level fits the bound texture.
    N_BoundTexture& t = pctx->boundTex;
    if (level != 0) {
        const bool bFits = pctx->texBound && level < pctx->texLevels &&
                           w == std::max<std::int64_t>(1, t.width >> level) &&
                           h == std::max<std::int64_t>(1, t.height >> level) && pLevel->type == t.type &&
                           pLevel->format == t.format && pLevel->components == t.components;
        if (!bFits) return -1;
    }
    // 7. A format, type or map the conversion cannot take fails before
    // anything is recorded: the bound texture never names an image that was
    // not loaded.
    if (!bSupported(pctx, pLevel->type, pLevel->format)) {
        DbgPrint("N_BindAttrMap: cannot handle formats other than N_PixFormatRGB,\n");
        DbgPrint("N_PixFormatRGBA and N_PixFormatRed, N_PixFormatLuminance, \n");
        DbgPrint("N_PixFormatLuminanceAlpha, or types other than N_PixTypeByte,\n");
        DbgPrint("N_PixTypeUByte and N_PixTypeFloat\n");
        return 0;
    }
    // 5. Level 0: the bound texture record.
    if (level == 0) {
        const auto side = static_cast<ULONG>(std::max(w, h));
        pctx->texLevels = bMip ? _NLowestBit(side) : 1;
        t = N_BoundTexture{};
        t.pvImage = pLevel->pvImage;
        t.target = pLevel->target;
        t.width = static_cast<ULONG>(w);
        t.height = static_cast<ULONG>(h);
        t.type = pLevel->type;
        t.format = pLevel->format;
        t.border = pLevel->border;
        t.components = pLevel->components;
        pctx->texBound = 1;
    }
    // 6.
    pctx->dirty |= N_DIRTY_TEXTURE_IMAGE;
    // 8-10. Identifier, then the two stores; a hit counts only when the
    // level's whole image is the one kept.
    // The image holds the border too (one texel round the interior): its
    // rows are the full width, the interior starts one row and one texel
    // in.
    const auto* pjImage = static_cast<const BYTE*>(pLevel->pvImage);
    N_BoundTexture img{t};
    img.width = static_cast<ULONG>(w);
    img.height = static_cast<ULONG>(h);
    const ULONG b = pLevel->border;
    const std::size_t cbTexel = std::size_t{ulComponents(t.format)} * ulTypeBytes(t.type);
    const std::size_t cbRow = (std::size_t{img.width} + 2 * b) * cbTexel;
    const std::size_t cRows = std::size_t{img.height} + 2 * b;
    const BYTE* pjInterior = pjImage + b * cbRow + b * cbTexel;
    const ULONG id = level == 0 ? ulChecksum(pjImage, cbRow, static_cast<ULONG>(cRows)) : _NCurrentTexChecksum(pctx);
    const std::uint64_t fp = ullFingerprint(pjImage, cbRow * cRows);
    // 11. Level marks of the six-coloured test texture, for a texture found
    // as well as one converted: the marks always describe the texture in
    // force.
    const ULONG k = pLevel->level;
    if (k == 0) pctx->texLevelMarks = 0;
    if (t.type == kTypeUByte && t.format == kFmtRGB && k < 6 && std::equal(pjImage, pjImage + 3, kMarkColours[k]))
        pctx->texLevelMarks |= 1u << k;
    const ULONG bCacheHit = _NFindTexCache(pctx, k, id, fp);
    PDEV* ppdev = ppdevOf(pctx);
    if (bCacheHit) {
        const ULONG addr = _DFindTexture(ppdev, k, id, nullptr);
        if (addr != 0) {
            t.boardAddress[k] = addr;
            return 0;
        }
    }
    // 12. Conversion in the image work areas.
    auto* pulConverted = reinterpret_cast<ULONG*>(gNArena.apImage[0]);
    const bool bTwo = depth >= 16 && depth < 24 && bTexture16(ppdev);
    ULONG* pulSecond = bTwo ? reinterpret_cast<ULONG*>(gNArena.apImage[1]) : nullptr;
    BYTE* pjAlpha = depth < 24 && t.format == kFmtRGBA ? gNArena.apImage[0] + std::size_t{img.width} * cbTexel * img.height * 4 : nullptr;
    vConvert(img, pjInterior, cbRow, depth, pulConverted, pulSecond, pjAlpha);
    // 13. The board's copy, loaded again unless it was found with the cache's.
    const bool bCompanion = t.format == kFmtRGBA;
    const void* pvAlpha = bCompanion ? (depth < 24 ? static_cast<const void*>(pjAlpha) : pulConverted) : nullptr;
    // The load answers whether it placed the level; the level's board
    // address (the pid its packets name) is then the table's.
    const ULONG bLoaded = _DLoadTexture(ppdev, id, k, static_cast<LONG>(w), static_cast<LONG>(h), pulConverted,
                                        bCompanion ? TRUE : FALSE, pvAlpha);
    t.boardAddress[k] = bLoaded != 0 ? _DFindTexture(ppdev, k, id, nullptr) : 0;
    // 14. The software copy, border included (the board's copy is the
    // interior alone). The software texture stage takes texels on the full
    // 8-bit scale and leaves the display's narrower channels to the colour
    // packing, so below 24 bits a pixel, or with a border, the software
    // copy is converted once more at 24 bits (the second work area is free
    // again once the board has its copy).
    if (!bCacheHit) {
        const ULONG* pulSoft = pulConverted;
        if (depth < 24 || b != 0) {
            auto* pulFull = reinterpret_cast<ULONG*>(gNArena.apImage[1]);
            N_BoundTexture whole{img};
            whole.width = img.width + 2 * b;
            whole.height = img.height + 2 * b;
            vConvert(whole, pjImage, cbRow, 24, pulFull, nullptr, nullptr);
            pulSoft = pulFull;
        }
        _NLoadTexCacheLevel(pctx, id, fp, img.width, img.height, b, k, pulSoft);
    }
    return 0;
}
