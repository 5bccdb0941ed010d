// Texture loading: conversion of every accepted format and type at each
// display depth, the board and cache look-ups, checksum collisions, cache
// eviction, level checks with and without mip-mapping, level marks.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "3d/textures/texcache.h"
#include "gl/server/lgi/board_fixture.h"
#include "context/texture.h"
#include "lgi/seams.h"

namespace {

using lgi_test::LgiBoardTest;
using lgi_test::LgiTest;

// The GL layer's texture loader, recorded: levels are found by (level,
// identifier) once loaded.
struct Load {
    ULONG id, level;
    LONG cx, cy;
    std::vector<ULONG> texels;
    BOOL second;
    const void* pvSecond;
    const void* pvTexels;
};
std::vector<Load> gLoads;
std::map<std::pair<ULONG, ULONG>, ULONG> gBoard;

}  // namespace

ULONG _DFindTexture(PDEV*, ULONG level, ULONG id, ULONG*) {
    const auto it = gBoard.find({level, id});
    return it != gBoard.end() ? it->second : 0;
}

ULONG _DLoadTexture(PDEV*, ULONG id, ULONG level, LONG cx, LONG cy, const void* pvTexels, BOOL bSecond,
                    const void* pvSecond) {
    const auto* pul = static_cast<const ULONG*>(pvTexels);
    gLoads.push_back({id, level, cx, cy, {pul, pul + std::size_t(cx) * cy}, bSecond, pvSecond, pvTexels});
    if (id == 0) return 0;
    const ULONG addr = 0x1000 + static_cast<ULONG>(gBoard.size());
    gBoard[{level, id}] = addr;
    return 1;  // as the server's: loaded or not; the address is the table's
}

namespace {

enum : ULONG { kRed = 3, kRGB = 7, kRGBA = 8, kLum = 9, kLumAlpha = 10 };
enum : ULONG { kUByte = 0, kByte = 1, kUShort = 3, kShort = 4, kFloat = 7 };

struct Image {
    std::vector<BYTE> bytes;
    __GLXtexLevel rec{};
    Image(ULONG w, ULONG h, ULONG type, ULONG format, std::vector<BYTE> b, ULONG level = 0) : bytes(std::move(b)) {
        rec.pvImage = bytes.data();
        rec.target = h > 1 ? 1 : 0;
        rec.width = w;
        rec.height = h;
        rec.type = type;
        rec.format = format;
        rec.level = level;
        rec.components = format == kRGBA ? 4 : format == kRGB ? 3 : format == kLumAlpha ? 2 : 1;
    }
};
template <typename T>
std::vector<BYTE> Raw(std::initializer_list<T> v) {
    std::vector<BYTE> b(v.size() * sizeof(T));
    std::memcpy(b.data(), std::data(v), b.size());
    return b;
}
// An RGB byte image of w x h whose texel i is (i, i * 3, seed).
Image Pattern(ULONG w, ULONG h, BYTE seed, ULONG level = 0) {
    std::vector<BYTE> b(std::size_t(w) * h * 3);
    for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
        b[3 * i] = static_cast<BYTE>(i);
        b[3 * i + 1] = static_cast<BYTE>(i * 3);
        b[3 * i + 2] = seed;
    }
    return Image(w, h, kUByte, kRGB, std::move(b), level);
}

template <typename Base>
class TexFixture : public Base {
  protected:
    void Target(ULONG bits) {
        buffer_ = GLBuffer{};
        buffer_.kind = GLBUFFER_FRONT_LEFT;
        buffer_.bitsPerPixel = bits;
        buffer_.cx = buffer_.cy = 64;
        GLBuffer* ap[2] = {&buffer_, nullptr};
        N_BindBuffers(1, ap);
        _NDropTexCache(this->ctx_);
        gLoads.clear();
        gBoard.clear();
    }
    void TearDown() override {
        gLoads.clear();
        gBoard.clear();
        Base::TearDown();
    }
    // The cache's texel i of level l of the current entry (r, g, b, a).
    std::vector<float> Cached(ULONG l, std::size_t i) {
        const float* pf = this->ctx_->ppTexLevels[l] + 5 * i;
        return {pf[0], pf[1], pf[2], pf[3]};
    }
    GLBuffer buffer_{};
};
using TexTest = TexFixture<LgiTest>;

TEST_F(TexTest, ConversionOfEveryFormatAndTypeByDisplayDepth) {
    struct Case {
        ULONG depth, type, format;
        std::vector<BYTE> texel;
        ULONG want;
        // The software copy: the 24-bit form at every depth (0: want).
        ULONG cached = 0;
    };
    const Case cases[] = {
        {16, kUByte, kRGB, {255, 128, 1}, 0xFF7F4000, 0xFFFF8001},
        {8, kUByte, kRGB, {255, 128, 1}, 0xFFDE8000, 0xFFFF8001},
        {24, kFloat, kRGB, Raw<float>({1.0f, 0.5f, 0.0f}), 0xFFFF7F00},
        {16, kFloat, kRGB, Raw<float>({1.0f, 0.5f, 0.0f}), 0xFF7C3E00, 0xFFFF7F00},
        {8, kFloat, kRGB, Raw<float>({1.0f, 0.5f, 0.0f}), 0xFFC07000, 0xFFFF7F00},
        {32, kUByte, kRGBA, {1, 2, 3, 4}, 0x04010203},
        {24, kUByte, kRed, {200}, 0xFFC80000},
        {24, kUByte, kLum, {9}, 0xFF090909},
        {24, kUByte, kLumAlpha, {9, 7}, 0x07090909},
        {8, kUByte, kLumAlpha, {9, 7}, 0xFF260904, 0x07090909},  // alpha 255 below 16 bits
        // Signed types by GL 1.0's rule: (2c + 1) / (2^n - 1), negatives 0.
        {24, kByte, kRGB, {127, 0xFF, 0}, 0xFFFF0001},
        {24, kShort, kRGB, Raw<SHORT>({32767, -1, 100}), 0xFFFF0000},
        {24, kUShort, kRGBA, Raw<USHORT>({0x8000, 0xFFFF, 0x01FF, 0x7F00}), 0x7F80FF01},
        {16, kUShort, kRGB, Raw<USHORT>({0xFFFF, 0x8000, 0x0200}), 0xFF7F4001, 0xFFFF8002},
        {8, kUShort, kRGB, Raw<USHORT>({0xFFFF, 0x8000, 0x0200}), 0xFFDE8001, 0xFFFF8002},
    };
    for (const Case& c : cases) {
        Target(c.depth);
        Image img(1, 1, c.type, c.format, c.texel);
        EXPECT_EQ(N_BindAttrMap(&img.rec), 0);
        ASSERT_EQ(gLoads.size(), 1u) << c.depth << " " << c.type << " " << c.format;
        EXPECT_EQ(gLoads[0].texels[0], c.want) << std::hex << c.depth << " " << c.type << " " << c.format;
        EXPECT_EQ(gLoads[0].second, c.format == kRGBA ? TRUE : FALSE);
        const auto cached = Cached(0, 0);
        const ULONG soft = c.cached != 0 ? c.cached : c.want;
        EXPECT_EQ(cached[0], float((soft >> 16) & 0xFF));
        EXPECT_EQ(cached[1], float((soft >> 8) & 0xFF));
        EXPECT_EQ(cached[2], float(soft & 0xFF));
        EXPECT_FLOAT_EQ(cached[3], float(soft >> 24) * 0.003921569f);
    }
    // RGBA below 24 bits hands the alpha plane to the board; at 24 bits the
    // converted image itself.
    Target(16);
    Image rgba(2, 1, kUByte, kRGBA, {1, 2, 3, 40, 5, 6, 7, 80});
    N_BindAttrMap(&rgba.rec);
    ASSERT_EQ(gLoads.size(), 1u);
    const auto* pjAlpha = static_cast<const BYTE*>(gLoads[0].pvSecond);
    EXPECT_EQ(pjAlpha[0], 40);
    EXPECT_EQ(pjAlpha[1], 80);
    Target(24);
    N_BindAttrMap(&rgba.rec);
    EXPECT_EQ(gLoads[0].pvSecond, gLoads[0].pvTexels);
}

TEST_F(TexTest, ABorderedImageKeepsItsBorderInTheCacheAndTheInteriorOnTheBoard) {
    // 2 x 2 texels inside a one-texel border: 4 x 4 in the image, texel
    // (x, y) red 10x + y, green 7, blue 200 on the border and 50 inside.
    std::vector<BYTE> bytes(4 * 4 * 3);
    auto border = [](int x, int y) { return x == 0 || y == 0 || x == 3 || y == 3; };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            BYTE* p = &bytes[std::size_t(y * 4 + x) * 3];
            p[0] = static_cast<BYTE>(10 * x + y);
            p[1] = 7;
            p[2] = border(x, y) ? 200 : 50;
        }
    for (ULONG depth : {24u, 16u}) {
        Target(depth);
        Image img(4, 4, kUByte, kRGB, bytes);
        img.rec.border = 1;
        EXPECT_EQ(N_BindAttrMap(&img.rec), 0);
        ASSERT_EQ(gLoads.size(), 1u);
        EXPECT_EQ(gLoads[0].cx, 2);
        EXPECT_EQ(gLoads[0].cy, 2);
        if (depth == 24)
            EXPECT_EQ(gLoads[0].texels, (std::vector<ULONG>{0xFF0B0732, 0xFF150732, 0xFF0C0732, 0xFF160732}));
        // The cache: rows of four from the border on, the level pointer at
        // the first interior texel; full 8-bit values at either depth.
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const float* pf = ctx_->ppTexLevels[0] + 5 * (std::ptrdiff_t(y - 1) * 4 + (x - 1));
                EXPECT_EQ(pf[0], float(10 * x + y)) << depth << ": " << x << ", " << y;
                EXPECT_EQ(pf[2], border(x, y) ? 200.0f : 50.0f) << depth << ": " << x << ", " << y;
            }
    }
}

TEST_F(TexTest, ATextureSentAgainIsFoundNotConverted) {
    Target(24);
    Image a = Pattern(64, 64, 5);
    EXPECT_EQ(N_BindAttrMap(&a.rec), 0);
    // The load answers 1; the level's address is the one the table keeps.
    EXPECT_EQ(ctx_->boundTex.boardAddress[0], 0x1000u);
    EXPECT_EQ(N_BindAttrMap(&a.rec), 0);
    ASSERT_EQ(gLoads.size(), 1u);
    EXPECT_NE(gLoads[0].id, 0u);
    EXPECT_EQ(_NCurrentTexChecksum(ctx_), gLoads[0].id);
    EXPECT_EQ(ctx_->boundTex.boardAddress[0], 0x1000u);
    EXPECT_TRUE(_NTextureBound(ctx_));
    EXPECT_TRUE(_NAllTexLevelsLoaded(ctx_));
    // A 1 x 1 luminance byte texture sums to 0: loaded at every bind.
    Image l(1, 1, kUByte, kLum, {7});
    N_BindAttrMap(&l.rec);
    N_BindAttrMap(&l.rec);
    EXPECT_EQ(gLoads.size(), 3u);
    EXPECT_EQ(gLoads[2].id, 0u);
    // A one-texel RGB row: its word counts the three bytes of the image
    // only (the image is exactly three bytes long).
    Image one(1, 1, kUByte, kRGB, {0xFF, 0x80, 0x01});
    N_BindAttrMap(&one.rec);
    EXPECT_EQ(gLoads.back().id, 0x000180FFu);
}

TEST_F(TexTest, AChecksumCollisionNeverDrawsTheOtherImage) {
    // Two 8 x 8 images that differ in row 1 only, which the checksum does
    // not sample: the same identifier, different texels.
    Target(24);
    Image a = Pattern(8, 8, 5);
    Image b = Pattern(8, 8, 5);
    b.bytes[3 * 8 + 1] ^= 0x55;
    N_BindAttrMap(&a.rec);
    N_BindAttrMap(&b.rec);
    ASSERT_EQ(gLoads.size(), 2u);
    EXPECT_EQ(gLoads[0].id, gLoads[1].id);
    EXPECT_NE(gLoads[0].texels, gLoads[1].texels);
    EXPECT_EQ(Cached(0, 8)[1], float(b.bytes[3 * 8 + 1]));
    // Back to the first: loaded again, and the cache holds its texels.
    N_BindAttrMap(&a.rec);
    ASSERT_EQ(gLoads.size(), 3u);
    EXPECT_EQ(gLoads[2].texels, gLoads[0].texels);
    EXPECT_EQ(Cached(0, 8)[1], float(a.bytes[3 * 8 + 1]));
}

TEST_F(TexTest, RefusedLevelsChangeNothing) {
    Target(24);
    Image good = Pattern(4, 4, 1);
    N_BindAttrMap(&good.rec);
    ASSERT_EQ(gLoads.size(), 1u);
    const ULONG marks = ctx_->texLevelMarks;
    struct Case {
        ULONG w, h, type, format, mapColour;
        LONG want;
        bool message;
    };
    const Case cases[] = {
        {4, 4, kUByte, 0, 0, 0, true},        // colour index
        {4, 4, 5, kRGB, 0, 0, true},          // unsigned int
        {4, 4, kUByte, kRGB, 1, 0, true},     // pixel map colour on
        {257, 4, kUByte, kRGB, 0, -1, false}, // past the largest texture
        {4, 300, kUByte, kRGB, 0, -1, false},
        {0, 4, kUByte, kRGB, 0, -1, false},
    };
    for (const Case& c : cases) {
        *pulAttr(ctx_, 131) = c.mapColour;
        Image img(c.w, c.h, c.type, c.format, std::vector<BYTE>(std::size_t(c.w) * c.h * 4, 0x11));
        ctx_->dirty = 0;
        vnx::debug::clear();
        EXPECT_EQ(N_BindAttrMap(&img.rec), c.want) << c.w << " " << c.type << " " << c.format;
        EXPECT_EQ(Printed("N_BindAttrMap: cannot handle formats"), c.message);
        EXPECT_EQ(ctx_->dirty, 0u);
        EXPECT_EQ(gLoads.size(), 1u);
        EXPECT_EQ(ctx_->boundTex.width, 4u);
        EXPECT_EQ(ctx_->boundTex.format, kRGB);
        EXPECT_EQ(ctx_->texLevelMarks, marks);
    }
    // Without mip-mapping a later level is ignored.
    *pulAttr(ctx_, 131) = 0;
    Image l1 = Pattern(2, 2, 1, 1);
    EXPECT_EQ(N_BindAttrMap(&l1.rec), 0);
    EXPECT_EQ(gLoads.size(), 1u);
}

TEST_F(TexTest, AFullCacheIsDroppedForTheNextTexture) {
    Target(24);
    std::vector<Image> images;
    for (int i = 0; i < 33; ++i) images.push_back(Pattern(4, 4, static_cast<BYTE>(i + 1)));
    for (auto& img : images) N_BindAttrMap(&img.rec);
    EXPECT_EQ(gLoads.size(), 33u);
    // The 33rd entered an empty cache: it is found, the first is not.
    N_BindAttrMap(&images[32].rec);
    EXPECT_EQ(gLoads.size(), 33u);
    N_BindAttrMap(&images[0].rec);
    EXPECT_EQ(gLoads.size(), 34u);
    N_BindAttrMap(&images[31].rec);
    EXPECT_EQ(gLoads.size(), 35u);
}

// Allocation hooks: counted, or failing.
std::size_t gAllocs = 0;
bool gFail = false;
void* pvHook(std::size_t cb) {
    ++gAllocs;
    return gFail ? nullptr : LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, cb);
}
void vHookFree(void* pv) { LocalFree(pv); }

TEST_F(TexTest, OnlyANewTextureAllocates) {
    Target(24);
    Image a = Pattern(16, 16, 3), b = Pattern(16, 16, 4);
    N_BindAttrMap(&a.rec);  // the cache record itself
    gAllocs = 0;
    gFail = false;
    _NSetAllocFuncs(pvHook, vHookFree);
    N_BindAttrMap(&a.rec);
    EXPECT_EQ(gAllocs, 0u) << "found again";
    N_BindAttrMap(&b.rec);
    EXPECT_EQ(gAllocs, 1u) << "one level image of the new texture";
    _NSetAllocFuncs(nullptr, nullptr);
}

TEST_F(TexTest, ACacheThatCannotGrowStillLoadsTheBoard) {
    Target(24);
    gFail = true;
    _NSetAllocFuncs(pvHook, vHookFree);
    Image a = Pattern(8, 8, 3);
    EXPECT_EQ(N_BindAttrMap(&a.rec), 0);
    ASSERT_EQ(gLoads.size(), 1u);
    EXPECT_NE(ctx_->boundTex.boardAddress[0], 0u);
    EXPECT_EQ(_NCurrentTexChecksum(ctx_), 0u);
    EXPECT_FALSE(_NAllTexLevelsLoaded(ctx_));
    // Storage back: the texture enters the cache at its next bind.
    gFail = false;
    _NSetAllocFuncs(nullptr, nullptr);
    N_BindAttrMap(&a.rec);
    EXPECT_EQ(gLoads.size(), 2u);
    EXPECT_EQ(_NCurrentTexChecksum(ctx_), gLoads[0].id);
}

class TexBoardTest : public TexFixture<LgiBoardTest> {
  protected:
    void SetUp() override {
        TexFixture<LgiBoardTest>::SetUp();
        Boot(lgi_test::kSolo);
        pGLBoardConfig(Pdev())->flags |= BCF_MIPMAP;
    }
};

TEST_F(TexBoardTest, LevelsMustFitTheBoundTexture) {
    Target(24);
    Image l0 = Pattern(4, 2, 1);
    EXPECT_EQ(N_BindAttrMap(&l0.rec), 0);
    EXPECT_EQ(ctx_->texLevels, 3u);
    EXPECT_FALSE(_NAllTexLevelsLoaded(ctx_));
    Image l1 = Pattern(2, 1, 1, 1), l2 = Pattern(1, 1, 1, 2);
    Image bad1 = Pattern(2, 2, 1, 1), bad3 = Pattern(1, 1, 1, 3);
    EXPECT_EQ(N_BindAttrMap(&bad1.rec), -1);
    EXPECT_EQ(N_BindAttrMap(&bad3.rec), -1);
    EXPECT_EQ(N_BindAttrMap(&l2.rec), 0);
    EXPECT_FALSE(_NAllTexLevelsLoaded(ctx_));
    EXPECT_EQ(N_BindAttrMap(&l1.rec), 0);
    EXPECT_TRUE(_NAllTexLevelsLoaded(ctx_));
    ASSERT_EQ(gLoads.size(), 3u);
    EXPECT_EQ(gLoads[1].level, 2u);
    EXPECT_EQ(gLoads[1].id, gLoads[0].id);
    N_TextureFacts f{};
    ASSERT_TRUE(_NBoundTextureFacts(ctx_, &f));
    EXPECT_EQ(f.width, 4u);
    EXPECT_EQ(f.height, 2u);
    EXPECT_EQ(f.boardMipmaps, 1u);
    EXPECT_EQ(f.allLevelsLoaded, 1u);
}

TEST_F(TexBoardTest, SixColouredLevelsSetEveryMark) {
    Target(24);
    const BYTE colours[6][3] = {{255, 255, 0}, {255, 0, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (ULONG l = 0; l < 6; ++l) {
        const ULONG side = 32u >> l;
        std::vector<BYTE> b(std::size_t(side) * side * 3);
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = colours[l][i % 3];
        Image img(side, side, kUByte, kRGB, std::move(b), l);
        EXPECT_EQ(N_BindAttrMap(&img.rec), 0) << l;
    }
    EXPECT_EQ(ctx_->texLevelMarks, 63u);
    // Another texture clears them; the pyramid found again sets them again.
    Image plain = Pattern(4, 4, 9);
    N_BindAttrMap(&plain.rec);
    EXPECT_EQ(ctx_->texLevelMarks, 0u);
    const std::size_t cLoads = gLoads.size();
    std::vector<BYTE> b(32 * 32 * 3);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = colours[0][i % 3];
    Image again(32, 32, kUByte, kRGB, std::move(b), 0);
    N_BindAttrMap(&again.rec);
    EXPECT_EQ(gLoads.size(), cLoads) << "found on the board and in the cache";
    EXPECT_EQ(ctx_->texLevelMarks, 1u);
}

TEST_F(TexBoardTest, SixteenBitFormKeepsTwoImages) {
    // With the board's 16-bit texture form at 16 bits the board gets the
    // 24-bit mapping; the cache keeps the full 8-bit values the software
    // texture stage reads.
    *pGLPdevField<ULONG>(Pdev(), gGLPdevFields.cjTexture16) = 1;
    Target(16);
    Image img(1, 1, kUByte, kRGB, {255, 128, 2});
    N_BindAttrMap(&img.rec);
    ASSERT_EQ(gLoads.size(), 1u);
    EXPECT_EQ(gLoads[0].texels[0], 0xFFFF8002u);
    const auto cached = Cached(0, 0);
    EXPECT_EQ(std::vector<float>(cached.begin(), cached.begin() + 3), (std::vector<float>{255, 128, 2}));
    EXPECT_FLOAT_EQ(cached[3], 1.0f);
    Image f(1, 1, kFloat, kRGB, Raw<float>({1.0f, 0.5f, 0.0f}));
    N_BindAttrMap(&f.rec);
    EXPECT_EQ(gLoads.back().texels[0], 0xFFF87C00u);  // twice 124, twice 62
    *pGLPdevField<ULONG>(Pdev(), gGLPdevFields.cjTexture16) = 0;
}

}  // namespace
