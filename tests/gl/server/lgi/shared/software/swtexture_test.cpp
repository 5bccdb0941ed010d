// Span texture samplers and environments: the wrap of a coordinate, the
// nearest and bilinear samplers at the level's edge, the blend fraction
// of the two-level filter, and the environments' arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"
#include "3d/validate/validate.h"
#include "shared/software/swtexture.h"

namespace {

using lgi_test::LgiTest;

TEST(TexWrap, RepeatAndClamp) {
    const struct {
        float s;
        bool bRepeat;
        float want;
    } rows[] = {{1.25f, true, 0.25f}, {-0.25f, true, 0.75f}, {-1.0f, true, 1.0f}, {2.0f, true, 0.0f},
                {1.0f, true, 1.0f},   {-0.3f, false, 0.0f}, {1.7f, false, 1.0f}, {0.4f, false, 0.4f}};
    for (const auto& r : rows) EXPECT_FLOAT_EQ(_NTexWrap(r.s, r.bRepeat), r.want) << r.s << " " << r.bRepeat;
    // A coordinate that is not a number takes the first texel under either
    // wrap (never an index converted from a NaN).
    EXPECT_EQ(_NTexWrap(std::nanf(""), false), 0.0f);
    EXPECT_EQ(_NTexWrap(std::nanf(""), true), 0.0f);
}

class SpanTexture : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        c_ = &ctx_->blocks[0].common;
        _NInitFragSpan(&c_->span, &c_->texLod);
        pipe_.pCommonPipeData = c_;
        ctx_->boundTex.border = 0;
        ctx_->ppTexLevels = levels_;
        // Span colours on a 32-bit buffer's scale (255 a channel).
        _NValColorMap(ctx_, 32);
    }
    void TearDown() override {
        ctx_->ppTexLevels = nullptr;
        LgiTest::TearDown();
    }
    // Level d of w x h texels whose red is the column and green the row.
    void Level(ULONG d, LONG w, LONG h, float blue = 0.0f) {
        store_[d].assign(5 * std::size_t(w) * h, 0.0f);
        for (LONG j = 0; j < h; ++j)
            for (LONG i = 0; i < w; ++i) {
                float* t = &store_[d][5 * (std::size_t(j) * w + i)];
                t[0] = float(i), t[1] = float(j), t[2] = blue, t[3] = 1.0f;
            }
        levels_[d] = store_[d].data();
    }
    void Fragments(std::initializer_list<std::pair<float, float>> st) {
        N_FragSpan& s = c_->span;
        s.count = 0;
        for (auto [ss, tt] : st) s.pS[s.count] = ss, s.pT[s.count] = tt, s.pQ[s.count] = 1.0f, ++s.count;
    }
    CommonPipeData* c_ = nullptr;
    N_Pipe pipe_{};
    float* levels_[N_TEX_LEVELS] = {};
    std::vector<float> store_[N_TEX_LEVELS];
};

// GL's texel addressing on a level of 64 columns (red = the column): s lies
// s x 64 texels in; nearest takes the texel holding it, linear weighs the
// two whose centres (i + 0.5) surround it; past the first or last centre
// GL 1.0's clamp takes the border colour (here red 0.5: 127.5) for the
// neighbour outside, repeat the texel at the other edge. (t repeats over
// the one row.)
TEST_F(SpanTexture, NearestAndLinearAtTheEdge) {
    Level(0, 64, 1);
    ctx_->boundTex.target = 1;
    ctx_->boundTex.components = 3;
    const float border[4] = {0.5f, 0.0f, 0.0f, 0.25f};
    std::memcpy(pulAttr(ctx_, N_ATTR_BORDER_COLOUR1), border, sizeof border);
    N_TexLod lod{};
    lod.width = 64, lod.height = 1;
    const struct {
        float s;
        bool bRepeat;
        float nearest, linear;
    } rows[] = {{0.995f, false, 63, 74.61f},  {1.0f, false, 63, 95.25f},     {0.0f, false, 0, 63.75f},
                {0.5f / 64, false, 0, 0},     {1.0f / 64, false, 1, 0.5f},   {0.49f, false, 31, 30.86f},
                {0.99f, false, 63, 62.86f},   {10.5f / 64, false, 10, 10},   {63.75f / 64, false, 63, 79.125f},
                {0.0f, true, 0, 31.5f},       {0.25f / 64, true, 0, 15.75f}, {63.75f / 64, true, 63, 47.25f},
                {10.5f / 64, true, 10, 10}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.s << (r.bRepeat ? " repeat" : " clamp"));
        *pulAttr(ctx_, N_ATTR_WRAP_S1) = r.bRepeat ? 0 : 1;
        *pulAttr(ctx_, N_ATTR_WRAP_T1) = 0;
        Fragments({{r.s, 0.0f}});
        _NTexFilterNearest(ctx_, &pipe_, &lod);
        EXPECT_FLOAT_EQ(c_->span.pS[0], r.nearest);
        Fragments({{r.s, 0.0f}});
        _NTexFilterLinear(ctx_, &pipe_, &lod);
        EXPECT_NEAR(c_->span.pS[0], r.linear, 1e-3);
        // A three-component texture takes the border colour with alpha 1.
        EXPECT_FLOAT_EQ(c_->span.pTexelAlpha[0], 1.0f);
    }
}

// A texture with a border: the clamped linear filter takes the border
// texels around the interior instead of the border colour; the border
// colour's values are clamped to [0, 1] and a four-component texture
// takes its alpha.
TEST_F(SpanTexture, ClampTakesTheBorderTexelsOrTheBorderColour) {
    // 4 x 1 texels inside a one-texel border (6 x 3 stored): red the
    // column, 100 + the column on the border, green the row.
    std::vector<float> store(5 * 6 * 3, 0.0f);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 6; ++i) {
            float* t = &store[5 * std::size_t(j * 6 + i)];
            const bool bBorder = i == 0 || i == 5 || j != 1;
            t[0] = bBorder ? 100.0f + float(i) : float(i - 1), t[1] = float(j), t[3] = 1.0f;
        }
    levels_[0] = &store[5 * 7];
    ctx_->boundTex.target = 1;
    ctx_->boundTex.border = 1;
    *pulAttr(ctx_, N_ATTR_WRAP_S1) = 1;
    *pulAttr(ctx_, N_ATTR_WRAP_T1) = 1;
    N_TexLod lod{};
    lod.width = 6, lod.height = 3;
    // s = 0: half the left border texel (100) and half texel 0; s = 1:
    // half texel 3, half the right border texel (105); t = 0.5 is the row.
    Fragments({{0.0f, 0.5f}, {1.0f, 0.5f}, {0.5f, 0.0f}});
    _NTexFilterLinear(ctx_, &pipe_, &lod);
    EXPECT_FLOAT_EQ(c_->span.pS[0], 50.0f);
    EXPECT_FLOAT_EQ(c_->span.pS[1], 54.0f);
    // t = 0: half the border row above (green 0), half the row (green 1).
    EXPECT_FLOAT_EQ(c_->span.pT[2], 0.5f);

    // Without a border: the border colour, its values clamped.
    Level(0, 4, 1);
    ctx_->boundTex.border = 0;
    ctx_->boundTex.components = 4;
    const float border[4] = {2.0f, -1.0f, 0.2f, 0.5f};
    std::memcpy(pulAttr(ctx_, N_ATTR_BORDER_COLOUR1), border, sizeof border);
    lod.width = 4, lod.height = 1;
    *pulAttr(ctx_, N_ATTR_WRAP_T1) = 0;
    Fragments({{0.0f, 0.0f}});
    _NTexFilterLinear(ctx_, &pipe_, &lod);
    EXPECT_FLOAT_EQ(c_->span.pS[0], 127.5f);  // half of 255, half of texel 0's 0
    EXPECT_FLOAT_EQ(c_->span.pT[0], 0.0f);
    EXPECT_FLOAT_EQ(c_->span.pQ[0], 25.5f);
    EXPECT_FLOAT_EQ(c_->span.pTexelAlpha[0], 0.75f);
}

TEST_F(SpanTexture, LinearMipLinearBlendsByItsOwnLambda) {
    Level(0, 8, 8, 0.0f);
    Level(1, 4, 4, 100.0f);
    N_TexLod lod{};
    lod.d = 0, lod.d2 = 1, lod.width = lod.height = 8, lod.width2 = lod.height2 = 4;
    lod.lambda = 0.25f;
    lod.fraction = 0.9f;  // left over from another span
    Fragments({{0.0f, 0.0f}});
    _NTexFilterLinearMipLinear(ctx_, &pipe_, &lod);
    EXPECT_FLOAT_EQ(c_->span.pQ[0], 25.0f);  // blue 0 and 100 mixed a quarter
    lod.lambda = 1.75f;
    Fragments({{0.0f, 0.0f}});
    _NTexFilterNearestMipLinear(ctx_, &pipe_, &lod);
    EXPECT_FLOAT_EQ(c_->span.pQ[0], 75.0f);
    EXPECT_EQ(_NTexFilterOf(5), &_NTexFilterLinearMipLinear);
    EXPECT_EQ(_NTexFilterOf(4), &_NTexFilterLinear);
    EXPECT_EQ(_NTexFilterOf(2), &_NTexFilterNearest);
}

TEST_F(SpanTexture, Environments) {
    N_FragSpan& s = c_->span;
    auto set = [&] {
        s.count = 1;
        s.pRed[0] = 200.0f, s.pGreen[0] = 100.0f, s.pBlue[0] = 0.0f, s.pAlpha[0] = 0.5f;
        s.pS[0] = 255.0f, s.pT[0] = 51.0f, s.pQ[0] = 0.0f, s.pTexelAlpha[0] = 0.5f;
    };
    set();
    _NTexEnvModulate(ctx_, &pipe_);
    EXPECT_FLOAT_EQ(s.pRed[0], 200.0f);
    EXPECT_FLOAT_EQ(s.pGreen[0], 20.0f);
    EXPECT_FLOAT_EQ(s.pAlpha[0], 0.25f);
    set();
    _NTexEnvDecal(ctx_, &pipe_);
    EXPECT_FLOAT_EQ(s.pRed[0], 255.0f);
    EXPECT_FLOAT_EQ(s.pAlpha[0], 0.5f);
    set();
    _NTexEnvDecalRGBA(ctx_, &pipe_);
    EXPECT_FLOAT_EQ(s.pRed[0], 227.5f);
    EXPECT_FLOAT_EQ(s.pAlpha[0], 0.5f);
    // A fragment alpha apart from the texel's: the four-component decal
    // takes the texel's alpha, the plain decal keeps the fragment's.
    set();
    s.pAlpha[0] = 0.8f, s.pTexelAlpha[0] = 0.25f;
    _NTexEnvDecalRGBA(ctx_, &pipe_);
    EXPECT_FLOAT_EQ(s.pRed[0], 200.0f + (255.0f - 200.0f) * 0.25f);
    EXPECT_FLOAT_EQ(s.pAlpha[0], 0.25f);
    set();
    s.pAlpha[0] = 0.8f, s.pTexelAlpha[0] = 0.25f;
    _NTexEnvDecal(ctx_, &pipe_);
    EXPECT_FLOAT_EQ(s.pAlpha[0], 0.8f);
    set();
    ctx_->val.tex.envColour[0] = 0.0f;
    _NTexEnvBlend(ctx_, &pipe_);
    EXPECT_NEAR(s.pRed[0], 0.0f, 1e-3);  // a full texel takes the environment colour
    EXPECT_FLOAT_EQ(s.pAlpha[0], 0.25f);

    // On a 16-bit buffer the span's channels run to 127: a texel that
    // replaces a channel, and the environment colour, enter on that scale
    // (modulate is the same on any scale).
    _NValColorMap(ctx_, 16);
    ctx_->val.tex.envColour[0] = 1.0f;
    const struct {
        const char* what;
        void (*env)(N_Context*, N_Pipe*);
        float red, green;
    } rows[] = {
        {"modulate", _NTexEnvModulate, 200.0f, 20.0f},
        {"decal", _NTexEnvDecal, 127.0f, 51.0f * 127.0f / 255.0f},
        {"decal of four components", _NTexEnvDecalRGBA, 200.0f + (127.0f - 200.0f) * 0.5f,
         100.0f + (51.0f * 127.0f / 255.0f - 100.0f) * 0.5f},
        {"blend, a full texel", _NTexEnvBlend, 127.0f, 100.0f - 100.0f * 0.2f},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        set();
        r.env(ctx_, &pipe_);
        EXPECT_NEAR(s.pRed[0], r.red, 1e-3f);
        EXPECT_NEAR(s.pGreen[0], r.green, 1e-3f);
    }
}

}  // namespace

namespace {

ULONG gcTextureNext = 0;

TEST_F(SpanTexture, StageDividesWrapsSamplesAndHandsOn) {
    Level(0, 8, 8);
    ctx_->boundTex.target = 1;
    ctx_->boundTex.width = ctx_->boundTex.height = 8;
    ctx_->xf.projectionAffine = 0;
    ctx_->val.tex.samplerInForce = 0;  // nearest
    ctx_->val.tex.envFunction = 1;     // decal
    *pulAttr(ctx_, N_ATTR_WRAP_S1) = 0;  // repeat
    *pulAttr(ctx_, N_ATTR_WRAP_T1) = 1;  // clamp
    N_TexLod& lod = c_->texLod;
    lod = N_TexLod{};
    lod.width = lod.height = 8;
    N_FragSpan& s = c_->span;
    s.lodMode = N_LOD_PRIMITIVE;
    s.count = 3;
    // (0.5, 0.5) / 2; q = 0 gives (1, 1); s = 2.5 / 2 repeats to 0.25, t clamps to 1.
    const float st[3][3] = {{0.5f, 0.5f, 2.0f}, {0.3f, 0.3f, 0.0f}, {2.5f, 3.0f, 2.0f}};
    for (int k = 0; k < 3; ++k) s.pS[k] = st[k][0], s.pT[k] = st[k][1], s.pQ[k] = st[k][2];
    gcTextureNext = 0;
    pipe_.next[N_STAGE_SW_TEXTURE] = [](N_Context*, N_Pipe*) { ++gcTextureNext; };
    _NSpanTexture(ctx_, &pipe_);
    EXPECT_EQ(gcTextureNext, 1u);
    EXPECT_FLOAT_EQ(s.pRed[0], 2.0f);    // trunc(0.25 x 7 + 0.5)
    EXPECT_FLOAT_EQ(s.pGreen[0], 2.0f);
    EXPECT_FLOAT_EQ(s.pRed[1], 7.0f);
    EXPECT_FLOAT_EQ(s.pGreen[1], 7.0f);
    EXPECT_FLOAT_EQ(s.pRed[2], 2.0f);
    EXPECT_FLOAT_EQ(s.pGreen[2], 7.0f);
    // An empty span still hands on.
    s.count = 0;
    _NSpanTexture(ctx_, &pipe_);
    EXPECT_EQ(gcTextureNext, 2u);
}

}  // namespace

namespace {

// At 8 bits a pixel the span's red carries the colour conversion's offset
// (red step 1 shows red 0): the stage's environments act on the value above
// it and put it back, so a black texel modulated or copied leaves red at the
// offset, not below it, and a full texel keeps the colour's red.
TEST_F(SpanTexture, StageKeepsTheRedOffsetAtEightBits) {
    _NValColorMap(ctx_, 8);
    const float O = ctx_->val.colour.offset[0], M = ctx_->val.colour.scale[0] / 65536.0f;
    ASSERT_GT(O, 0.0f);
    Level(0, 2, 1);
    store_[0][0] = 0.0f;    // texel 0: red 0
    store_[0][5] = 255.0f;  // texel 1: red full
    ctx_->boundTex.target = 1;
    ctx_->boundTex.width = 2;
    ctx_->boundTex.height = 1;
    ctx_->xf.projectionAffine = 1;
    ctx_->val.tex.samplerInForce = 0;
    *pulAttr(ctx_, N_ATTR_WRAP_S1) = 0;
    *pulAttr(ctx_, N_ATTR_WRAP_T1) = 0;
    c_->texLod = N_TexLod{};
    c_->texLod.width = 2;
    c_->texLod.height = 1;
    pipe_.next[N_STAGE_SW_TEXTURE] = [](N_Context*, N_Pipe*) {};
    const struct {
        const char* what;
        ULONG env;
        float texelS, colourRed, red;
    } rows[] = {
        {"modulate, a black texel", 0, 0.25f, O + M, O},
        {"modulate, a full texel", 0, 0.75f, O + M / 2, O + M / 2},
        {"decal, a black texel", 1, 0.25f, O + M, O},
        {"decal, a full texel", 1, 0.75f, O, O + M},
    };
    N_FragSpan& s = c_->span;
    s.lodMode = N_LOD_PRIMITIVE;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ctx_->val.tex.envFunction = r.env;
        s.count = 1;
        s.pS[0] = r.texelS, s.pT[0] = 0.5f, s.pQ[0] = 1.0f;
        s.pRed[0] = r.colourRed, s.pGreen[0] = 0.0f, s.pBlue[0] = 0.0f, s.pAlpha[0] = 1.0f;
        _NSpanTexture(ctx_, &pipe_);
        EXPECT_NEAR(s.pRed[0], r.red, 1e-3f);
    }
}

TEST_F(SpanTexture, PerFragmentLevelsKeepTheLastForAZeroScale) {
    for (ULONG d = 0; d < 4; ++d) Level(d, 8 >> d, 8 >> d, 10.0f * float(d));
    ctx_->boundTex.width = ctx_->boundTex.height = 8;
    ctx_->texLevels = 4;
    ctx_->val.tex.minFilter = 2;  // the nearest level
    ctx_->val.tex.switchOver = 0.0f;
    N_TexLod lod{};
    N_FragSpan& s = c_->span;
    s.lodMode = N_LOD_FRAGMENT;
    s.count = 3;
    const float scale[3] = {4.0f, 0.0f, 1.0f};  // level 2, the same again, then magnified
    for (int k = 0; k < 3; ++k) s.pS[k] = s.pT[k] = 0.0f, s.pQ[k] = scale[k];
    _NSpanTexCore(ctx_, &pipe_, &lod);
    EXPECT_FLOAT_EQ(s.pQ[0], 20.0f);
    EXPECT_FLOAT_EQ(s.pQ[1], 20.0f);
    EXPECT_FLOAT_EQ(s.pQ[2], 0.0f);
    // An infinite footprint blending two levels takes the last level
    // whole (no fraction of an infinite lambda).
    ctx_->val.tex.minFilter = 5;
    s.count = 1;
    s.pS[0] = s.pT[0] = 0.0f, s.pQ[0] = std::numeric_limits<float>::infinity();
    _NSpanTexCore(ctx_, &pipe_, &lod);
    EXPECT_FLOAT_EQ(s.pQ[0], 30.0f);
    EXPECT_EQ(lod.fraction, 0.0f);
}

}  // namespace

namespace {

// A span whose levels are chosen a fragment: each fragment's s and t are
// divided by q and its q becomes the footprint the core takes its level
// from (the sum of the larger x and y changes of u and of v); a fragment
// with q = 0 gets s = t = 1 and a footprint of 1. With the affine flag the
// coordinates are used as interpolated and the filter in force samples
// them.
TEST_F(SpanTexture, StageFootprintsAndTheAffineProjection) {
    for (ULONG d = 0; d < 4; ++d) Level(d, 8 >> d, 8 >> d, 10.0f * float(d));
    ctx_->boundTex.target = 1;
    ctx_->boundTex.width = ctx_->boundTex.height = 8;
    ctx_->texLevels = 4;
    ctx_->val.tex.minFilter = 2;  // the nearest level
    ctx_->val.tex.magFilter = 0;
    ctx_->val.tex.switchOver = 0.0f;
    ctx_->val.tex.samplerInForce = 0;
    ctx_->val.tex.envFunction = 1;  // decal: the texel itself
    *pulAttr(ctx_, N_ATTR_WRAP_S1) = 1;
    *pulAttr(ctx_, N_ATTR_WRAP_T1) = 1;
    N_SpanTri tri{};
    // s/q grows by a half texture a pixel in x: with q = 1, du/dx is 4
    // texels, a footprint of 4 (level 2); with q = 2 it is 2 (level 1).
    tri.dsdx = 0.5f;
    c_->pCurPrim = &tri;
    N_FragSpan& s = c_->span;
    s.pTexLod = &c_->texLod;
    c_->texLod = N_TexLod{};
    s.lodMode = N_LOD_FRAGMENT;
    s.count = 3;
    const float stq[3][3] = {{0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 2.0f}, {0.3f, 0.6f, 0.0f}};
    for (int k = 0; k < 3; ++k) s.pS[k] = stq[k][0], s.pT[k] = stq[k][1], s.pQ[k] = stq[k][2];
    ctx_->xf.projectionAffine = 0;
    pipe_.next[N_STAGE_SW_TEXTURE] = [](N_Context*, N_Pipe*) {};
    _NSpanTexture(ctx_, &pipe_);
    EXPECT_FLOAT_EQ(s.pBlue[0], 20.0f);  // level 2
    EXPECT_FLOAT_EQ(s.pBlue[1], 10.0f);  // level 1
    // q = 0: (1, 1) at a footprint of 1, the base level's last texel.
    EXPECT_FLOAT_EQ(s.pBlue[2], 0.0f);
    EXPECT_FLOAT_EQ(s.pRed[2], 7.0f);
    EXPECT_FLOAT_EQ(s.pGreen[2], 7.0f);

    // The affine projection: no division (q = 0 included), the filter in
    // force on the record's level.
    ctx_->xf.projectionAffine = 1;
    ctx_->val.tex.samplerInForce = 0;
    c_->texLod = N_TexLod{};
    c_->texLod.width = c_->texLod.height = 8;
    for (int k = 0; k < 3; ++k) s.pS[k] = 0.5f, s.pT[k] = 0.25f, s.pQ[k] = stq[k][2];
    _NSpanTexture(ctx_, &pipe_);
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(s.pRed[k], 4.0f) << k;
        EXPECT_FLOAT_EQ(s.pGreen[k], 2.0f) << k;
        EXPECT_FLOAT_EQ(s.pBlue[k], 0.0f) << k;
    }
    c_->pCurPrim = nullptr;
}

}  // namespace
