// Texture level of detail of the software path against GL 1.0's
// formulas: the scale factor of a line segment, of a triangle with affine
// coordinates and of one fragment with homogeneous ones; the level choice
// by filter; and the rasteriser's choice of one level or a level a fragment.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "3d/pipes/pipes.h"
#include "lgi/shared/software/swspan.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace {

class SwLodTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        Texture(64, 64, 0, 7);
        Filters(2, 1, 0.0f);
        pipe_ = &ctx_->blocks[0].front;
        c_ = pipe_->pCommonPipeData;
        c_->pCurPrim = &tri_;
    }
    void Texture(ULONG w, ULONG h, ULONG border, ULONG levels) {
        ctx_->boundTex.width = w;
        ctx_->boundTex.height = h;
        ctx_->boundTex.border = border;
        ctx_->texLevels = levels;
    }
    void Filters(ULONG min, ULONG mag, float c) {
        N_TexSampling& s = ctx_->val.tex;
        s.minFilter = min;
        s.magFilter = mag;
        s.minSampler = 10 + min;
        s.magSampler = 20 + mag;
        s.switchOver = c;
    }
    ULONG Select(float lambda, N_TexLod* p) {
        *p = N_TexLod{};
        p->d2 = -1;
        p->lambda = lambda;
        return _NSelectMipLevel(ctx_, p);
    }
    N_Pipe* pipe_ = nullptr;
    CommonPipeData* c_ = nullptr;
    N_SpanTri tri_{};
};

// GL 1.0's level choice for a minification filter and the last level p:
// mipmap nearest takes level 0 up to lambda 1/2, then ceil(lambda + 1/2) - 1
// up to p; mipmap linear takes floor(lambda) and the next, both p from p on.
void GLLevels(float lambda, ULONG filter, LONG p, LONG* d1, LONG* d2) {
    if (filter == 2 || filter == 4) {
        *d1 = lambda <= 0.5f ? 0 : std::min<LONG>(static_cast<LONG>(std::ceil(lambda + 0.5f)) - 1, p);
        *d2 = -1;
    } else {
        const LONG f = static_cast<LONG>(std::floor(lambda));
        *d1 = std::min(f, p);
        *d2 = f >= p ? p : f + 1;
    }
}

TEST_F(SwLodTest, LevelChoiceFollowsGL) {
    struct Tex {
        LONG size;
        ULONG levels;
    };
    for (ULONG filter = 2; filter <= 5; ++filter)
        for (const Tex tex : {Tex{64, 7}, Tex{4, 3}, Tex{1, 1}}) {
            const ULONG levels = tex.levels;
            const LONG size = tex.size;
            Texture(size, size, 0, levels);
            Filters(filter, 1, 0.0f);
            const LONG p = static_cast<LONG>(levels) - 1;
            for (int i = 1; i <= 1000; ++i) {
                const float lambda = static_cast<float>(i) * 0.01f;
                SCOPED_TRACE(testing::Message() << "filter " << filter << " levels " << levels << " lambda " << lambda);
                N_TexLod lod;
                const ULONG code = Select(lambda, &lod);
                LONG d1, d2;
                GLLevels(lambda, filter, p, &d1, &d2);
                ASSERT_EQ(lod.d, d1);
                ASSERT_EQ(lod.filter, filter);
                ASSERT_EQ(lod.width, std::max(size >> d1, LONG{1}));
                ASSERT_EQ(lod.height, std::max(size >> d1, LONG{1}));
                if (filter == 3 || filter == 5) {
                    ASSERT_EQ(lod.d2, d2);
                    ASSERT_EQ(lod.width2, std::max(size >> d2, LONG{1}));
                    ASSERT_EQ(code, d1 == p ? N_LOD_LINEAR_LAST : N_LOD_LINEAR_PAIR);
                } else {
                    ASSERT_EQ(code, d1 == 0 && lambda <= 0.5f ? N_LOD_NEAREST_BASE
                                    : lambda > p + 0.5f       ? N_LOD_NEAREST_LAST
                                                              : N_LOD_NEAREST_LEVEL);
                }
                ASSERT_EQ(ctx_->val.tex.samplerInForce, 10 + filter);
            }
        }
}

TEST_F(SwLodTest, LevelChoiceCases) {
    struct Case {
        const char* what;
        ULONG min, mag, levels, border, w, h;
        float c, lambda;
        ULONG code;
        LONG d, d2, width, height, width2, height2;
        ULONG filter;
    };
    const Case cases[] = {
        {"lambda equal to c magnifies", 2, 1, 7, 0, 64, 64, 0.5f, 0.5f, 7, 0, -1, 64, 64, 0, 0, 1},
        {"magnification, border", 5, 0, 7, 1, 64, 32, 0.0f, -3.0f, 7, 0, -1, 66, 34, 0, 0, 0},
        {"nearest 0.5", 2, 1, 7, 0, 64, 64, 0.0f, 0.5f, 1, 0, -1, 64, 64, 0, 0, 2},
        {"nearest 0.51", 2, 1, 7, 0, 64, 64, 0.0f, 0.51f, 3, 1, -1, 32, 32, 0, 0, 2},
        {"nearest 1.5", 4, 1, 7, 0, 64, 64, 0.0f, 1.5f, 3, 1, -1, 32, 32, 0, 0, 4},
        {"nearest 1.51", 4, 1, 7, 0, 64, 64, 0.0f, 1.51f, 3, 2, -1, 16, 16, 0, 0, 4},
        {"nearest past the last level", 2, 1, 7, 1, 64, 64, 0.0f, 9.0f, 2, 6, -1, 3, 3, 0, 0, 2},
        {"linear 2.7 of 6 levels", 5, 1, 6, 0, 64, 64, 0.0f, 2.7f, 5, 2, 3, 16, 16, 8, 8, 5},
        {"linear 2.7 of 3 levels", 5, 1, 3, 0, 4, 4, 0.0f, 2.7f, 4, 2, 2, 1, 1, 1, 1, 5},
        {"linear below 1", 3, 1, 7, 0, 64, 64, 0.0f, 0.7f, 5, 0, 1, 64, 64, 32, 32, 3},
        {"no mipmaps", 1, 0, 7, 0, 64, 64, 0.0f, 4.0f, 6, 0, -1, 64, 64, 0, 0, 1},
        {"border on a level", 2, 1, 7, 1, 64, 64, 0.0f, 2.0f, 3, 2, -1, 18, 18, 0, 0, 2},
        // A long thin texture: its short side stays at one texel.
        {"short side at one texel", 2, 1, 7, 0, 64, 4, 0.0f, 4.0f, 3, 4, -1, 4, 1, 0, 0, 2},
        {"NaN lambda as 0", 2, 1, 7, 0, 64, 64, 0.0f, NAN, 7, 0, -1, 64, 64, 0, 0, 1},
        {"infinite lambda", 3, 1, 7, 0, 64, 64, 0.0f, INFINITY, 4, 6, 6, 1, 1, 1, 1, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Texture(k.w, k.h, k.border, k.levels);
        Filters(k.min, k.mag, k.c);
        N_TexLod lod;
        EXPECT_EQ(Select(k.lambda, &lod), k.code);
        EXPECT_EQ(lod.d, k.d);
        EXPECT_EQ(lod.d2, k.d2);
        EXPECT_EQ(lod.width, k.width);
        EXPECT_EQ(lod.height, k.height);
        EXPECT_EQ(lod.width2, k.width2);
        EXPECT_EQ(lod.height2, k.height2);
        EXPECT_EQ(lod.filter, k.filter);
        EXPECT_EQ(ctx_->val.tex.samplerInForce, k.code == 7 ? 20 + k.mag : 10 + k.min);
    }
}

// A segment of |dx| x |dy| pixels over which s and t change by ds and dt:
// GL's rho is the change in texels over the segment's length.
TEST_F(SwLodTest, LineSegmentsAgainstGL) {
    struct Case {
        LONG dx, dy;
        float ds, dt;
    };
    const Case cases[] = {{64, 0, 1.0f, 0.0f},  {0, 64, 0.0f, 1.0f},   {32, 32, 1.0f, 0.0f}, {30, 10, 0.5f, 2.0f},
                          {5, 40, -1.0f, 0.25f}, {17, 17, 0.0f, 0.0f}, {100, 3, 4.0f, 4.0f}};
    Filters(2, 1, -100.0f);
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.dx << "x" << k.dy);
        const float rx = k.dx != 0 ? 1.0f / static_cast<float>(k.dx) : 0.0f;
        const float ry = k.dy != 0 ? 1.0f / static_cast<float>(k.dy) : 0.0f;
        N_TexLod lod{};
        _NSwLineTexLod(ctx_, &lod, k.ds * rx, k.ds * ry, k.dt * rx, k.dt * ry, k.dx, k.dy);
        const double u = 64.0 * k.ds, v = 64.0 * k.dt;
        const double rho = std::sqrt(u * u + v * v) / std::sqrt(double(k.dx) * k.dx + double(k.dy) * k.dy);
        EXPECT_NEAR(lod.lambda, rho > 0 ? std::log2(rho) : 0.0, 1e-3);
    }
    // A horizontal segment of 64 pixels over which s changes by 1 on a
    // texture 64 wide: rho 1, lambda 0.
    N_TexLod lod{};
    _NSwLineTexLod(ctx_, &lod, 1.0f / 64.0f, 0.0f, 0.0f, 0.0f, 64, 0);
    EXPECT_NEAR(lod.lambda, 0.0f, 1e-5f);
}

TEST_F(SwLodTest, TrianglesAgainstGL) {
    struct Case {
        float dsdx, dsdy, dtdx, dtdy;
    };
    const Case cases[] = {{1.0f / 64, 0, 0, 1.0f / 64}, {0.1f, 0.02f, -0.03f, 0.2f}, {0, 0, 0, 0},
                          {0.001f, 0.0f, 0.0f, 0.0005f}, {-0.5f, 0.25f, 0.125f, -1.0f}};
    Texture(64, 32, 0, 7);
    Filters(2, 1, -100.0f);
    for (const Case& k : cases) {
        tri_.dsdx = k.dsdx;
        tri_.dsdy = k.dsdy;
        tri_.dtdx = k.dtdx;
        tri_.dtdy = k.dtdy;
        _NSpanTexLod(ctx_, pipe_);
        const double rho = std::max(std::hypot(64.0 * k.dsdx, 32.0 * k.dtdx), std::hypot(64.0 * k.dsdy, 32.0 * k.dtdy));
        EXPECT_NEAR(c_->span.pTexLod->lambda, rho > 0 ? std::log2(rho) : 0.0, 1e-3);
    }
}

// One fragment with homogeneous coordinates (s/q, t/q, 1/q as the
// rasteriser interpolates them): GL's rho, the longer of the texel steps
// (du/dx, dv/dx) and (du/dy, dv/dy), as the board's level choice takes it.
TEST_F(SwLodTest, FragmentsAgainstGL) {
    Texture(64, 64, 0, 7);
    Filters(5, 1, -100.0f);
    tri_.dsdx = 0.01f;
    tri_.dsdy = -0.002f;
    tri_.dtdx = 0.003f;
    tri_.dtdy = 0.02f;
    tri_.dqdx = 0.001f;
    tri_.dqdy = -0.004f;
    const float frag[4] = {0.3f, 0.6f, 0.0f, 0.8f};
    _NSpanTexLodPersp(ctx_, pipe_, frag);
    // u = s' / q'; du/dx = (ds'/dx q' - s' dq'/dx) / q'^2.
    const double q = 0.8, s = 0.3, t = 0.6;
    const double ux = (0.01 * q - s * 0.001) / (q * q) * 64, uy = (-0.002 * q - s * -0.004) / (q * q) * 64;
    const double vx = (0.003 * q - t * 0.001) / (q * q) * 64, vy = (0.02 * q - t * -0.004) / (q * q) * 64;
    const float lambda = c_->span.pTexLod->lambda;
    EXPECT_NEAR(lambda, std::log2(std::max(std::hypot(ux, vx), std::hypot(uy, vy))), 1e-3);
    EXPECT_NEAR(c_->span.pTexLod->fraction, lambda - std::trunc(lambda), 1e-6);
    // A texture four times as wide as high: u counts the width's texels,
    // v the height's.
    Texture(256, 64, 0, 9);
    _NSpanTexLodPersp(ctx_, pipe_, frag);
    EXPECT_NEAR(c_->span.pTexLod->lambda,
                std::log2(std::max(std::hypot(4 * ux, vx), std::hypot(4 * uy, vy))), 1e-3);
    Texture(64, 64, 0, 7);
    // q = 0: rho 1, lambda 0.
    const float zero[4] = {0.3f, 0.6f, 0.0f, 0.0f};
    _NSpanTexLodPersp(ctx_, pipe_, zero);
    EXPECT_EQ(c_->span.pTexLod->lambda, 0.0f);
    // Gradients all 0: lambda 0.
    tri_ = N_SpanTri{};
    _NSpanTexLodPersp(ctx_, pipe_, frag);
    EXPECT_EQ(c_->span.pTexLod->lambda, 0.0f);
    EXPECT_EQ(_NSpanInvQ(0.0f), 1048576.0f);
    EXPECT_EQ(_NSpanInvQ(-0.0f), 1048576.0f);
    EXPECT_EQ(_NSpanInvQ(4.0f), 0.25f);
}

// The rasteriser's level mode: one level for a triangle of affine
// coordinates or without mipmaps; for mipmaps under a perspective, one
// level for a triangle whose corners choose the same single level, else a
// level a fragment (a small triangle too, and a blend of two levels, whose
// fraction follows lambda).
TEST_F(SwLodTest, RasteriserChoosesTheLevelMode) {
    pipe_->next[N_STAGE_SPAN_RASTER] = [](N_Context*, N_Pipe*) {};
    pipe_->mode = N_MODE_FRAGMENTS | N_MODE_TEXTURE;
    c_->code = N_PRIM_TRIANGLES;
    LONG win[3][3] = {{0, 0, 0}, {200, 10, 0}, {20, 150, 0}};
    const float colour[5] = {0, 0, 0, 1, 0};
    auto draw = [&](float q1, float q2) {
        const float s[3] = {0.0f, 1.0f, 0.0f}, t[3] = {0.0f, 0.0f, 1.0f}, q[3] = {1.0f, q1, q2};
        for (ULONG i = 0; i < 3; ++i) {
            tri_.v[i] = N_SpanTriVertex{};
            tri_.v[i].pWindow = win[i];
            tri_.v[i].pColour = colour;
            tri_.v[i].sq = s[i] / q[i];
            tri_.v[i].tq = t[i] / q[i];
            tri_.v[i].invQ = _NSpanInvQ(q[i]);
        }
        c_->span.lodMode = -1;
        _NSwRasterTriangle(ctx_, pipe_, N_SwScreen{300, 300, 0, 0});
        return c_->span.lodMode;
    };
    Texture(256, 256, 0, 9);
    Filters(2, 1, 0.0f);
    EXPECT_EQ(draw(8.0f, 8.0f), N_LOD_FRAGMENT) << "corners far apart in q choose differently";
    EXPECT_EQ(draw(1.0f, 1.0f), N_LOD_TRIANGLE) << "corners choose alike";
    // Every corner the nearest of the levels between, but not the same
    // level (lambda 1.10 and 1.07 take level 1, 2.59 level 3).
    EXPECT_EQ(draw(1.0f, 2.0f), N_LOD_FRAGMENT) << "corners on different levels of one filter";
    ctx_->xf.projectionAffine = 1;
    EXPECT_EQ(draw(8.0f, 8.0f), N_LOD_PRIMITIVE);
    // The affine choice is the triangle's, from the gradients it leaves.
    const double rho = std::max(std::hypot(256.0 * tri_.dsdx, 256.0 * tri_.dtdx),
                                std::hypot(256.0 * tri_.dsdy, 256.0 * tri_.dtdy));
    EXPECT_NE(tri_.dsdx, 0.0f);
    EXPECT_NEAR(c_->span.pTexLod->lambda, std::log2(rho), 1e-3);
    ctx_->xf.projectionAffine = 0;
    Filters(1, 1, 0.0f);
    EXPECT_EQ(draw(8.0f, 8.0f), N_LOD_PRIMITIVE);
    Filters(2, 1, 0.0f);
    c_->code = N_PRIM_LINE_STRIP;
    EXPECT_EQ(draw(8.0f, 8.0f), N_LOD_PRIMITIVE);
    c_->code = N_PRIM_TRIANGLES;
    // A triangle within ten pixels each way whose corners choose apart.
    LONG small[3][3] = {{0, 0, 0}, {10, 3, 0}, {2, 10, 0}};
    std::memcpy(win, small, sizeof win);
    EXPECT_EQ(draw(8.0f, 8.0f), N_LOD_FRAGMENT);
    // Corners alike, but blending two levels: the fraction a fragment.
    std::memcpy(win, small, sizeof win);
    Filters(5, 1, 0.0f);
    EXPECT_EQ(draw(1.0f, 1.0f), N_LOD_FRAGMENT);
}

}  // namespace
