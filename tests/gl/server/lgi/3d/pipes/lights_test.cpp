// Lights, user clip planes, their enables and the pixel maps: eye-space
// transforms against an independent reference, growth of the arrays, the
// plane-0 rotation, and the dirty bits each setter marks.
#include <cmath>
#include <cstring>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"
#include "gl/server/lgi/matrix_ref.h"

namespace lgi_test {
namespace {

using mref::M4;

constexpr ULONG kDirtyLights = 0x1000000u;
constexpr ULONG kDirtyPlanes = 0x2000000u;

void LoadModelview(const M4& m) {
    const auto a = mref::RowMajorF(m);
    N_SetStateBlockAttr(3, a.data());
}

// Sizes of the allocations made while a test's hooks are in.
std::vector<std::size_t> gSizes;
void* pvCountingAlloc(std::size_t cb) {
    gSizes.push_back(cb);
    return LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, cb);
}
void vCountingFree(void* pv) { LocalFree(pv); }

class LgiLightTest : public LgiTest {};

TEST_F(LgiLightTest, LightStorageGrowsOnlyPastCapacity) {
    std::vector<N_Light> lights(40);
    lights[33].ambient[0] = 0.5f;
    void* pBefore = ctx_->pLights;
    gSizes.clear();
    _NSetAllocFuncs(pvCountingAlloc, vCountingFree);
    N_SetLights(34, lights.data());
    EXPECT_EQ(ctx_->pLights, pBefore) << "34 lights fit the storage of a new context";
    EXPECT_TRUE(gSizes.empty());
    EXPECT_EQ(ctx_->cLights, 34u);
    EXPECT_EQ(static_cast<N_Light*>(ctx_->pLights)[33].ambient[0], 0.5f);

    ctx_->dirty = 0;
    N_SetLights(35, lights.data());
    ASSERT_EQ(gSizes.size(), 2u);
    EXPECT_EQ(gSizes[0], 36 * sizeof(N_Light)) << "one record more than the count";
    EXPECT_EQ(gSizes[1], 36 * sizeof(N_PreparedLight)) << "one prepared light each";
    EXPECT_EQ(ctx_->cLightCapacity, 35u);
    EXPECT_EQ(ctx_->dirty, kDirtyLights);

    // A failed growth keeps the present lights.
    vnx::faults::arm("LocalAlloc", 0, 1);
    N_SetLights(40, lights.data());
    EXPECT_EQ(ctx_->cLights, 35u);
    EXPECT_EQ(ctx_->cLightCapacity, 35u);
}

// Positions and spot directions reach eye space by the modelview in force:
// a point by the whole matrix, a direction (and w = 0) by its upper 3x3.
TEST_F(LgiLightTest, PositionsAndDirectionsInEyeSpace) {
    const M4 mv = mref::Mul(mref::Translate(1, 2, 3), mref::Rotate(90, 0, 0, 1));
    std::vector<N_Light> lights(2);
    N_SetLights(2, lights.data());
    LoadModelview(mv);

    struct Case {
        double p[4];
        double d[3];
    } cases[] = {
        {{0, 0, 1, 1}, {0, 0, -1}},
        {{0, 0, 1, 0}, {1, 0, 0}},
        {{1, 0, 0, 2}, {0, 1, 0}},
        {{1, 0, 0, -0.0}, {0.6, 0.8, 0}},
    };
    for (const Case& c : cases) {
        N_Light v{};
        for (int i = 0; i < 4; ++i) v.position[i] = static_cast<float>(c.p[i]);
        for (int i = 0; i < 3; ++i) v.spotDirection[i] = static_cast<float>(c.d[i]);
        v.spotExponent = 7.0f;
        ctx_->dirty = 0;
        N_SetLight(N_LIGHT_POSITION | N_LIGHT_SPOT_DIRECTION, 1, &v);
        EXPECT_EQ(ctx_->dirty, kDirtyLights);
        const bool bPoint = c.p[3] != 0.0;
        const mref::V4 pe = mref::Apply(bPoint ? mv : [&] {
            M4 m = mv;
            m[3] = m[7] = m[11] = 0;
            return m;
        }(), {c.p[0], c.p[1], c.p[2], c.p[3]});
        const mref::V4 de = mref::Apply(mv, {c.d[0], c.d[1], c.d[2], 0});
        N_Light out{};
        out.ambient[0] = 9.0f;
        N_GetLight(N_LIGHT_POSITION | N_LIGHT_SPOT_DIRECTION, 1, &out);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(out.position[i], pe[i], 1e-6);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(out.spotDirection[i], de[i], 1e-6);
        EXPECT_EQ(out.ambient[0], 9.0f) << "other fields are not returned";
        EXPECT_EQ(out.spotExponent, 0.0f);
        EXPECT_EQ(static_cast<N_Light*>(ctx_->pLights)[1].spotExponent, 0.0f) << "not in the mask";
    }
    // The GL example: translate (1, 2, 3), point (0, 0, 1, 1) -> (1, 2, 4, 1).
    LoadModelview(mref::Translate(1, 2, 3));
    N_Light v{};
    v.position[2] = 1;
    v.position[3] = 1;
    N_SetLight(N_LIGHT_POSITION, 0, &v);
    const float* p = static_cast<N_Light*>(ctx_->pLights)[0].position;
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[1], 2.0f);
    EXPECT_EQ(p[2], 4.0f);
    EXPECT_EQ(p[3], 1.0f);
}

TEST_F(LgiLightTest, IndexesBeyondTheCountAreIgnored) {
    N_Light v{};
    v.ambient[0] = 1;
    N_SetLights(0, nullptr);
    ctx_->dirty = 0;
    N_SetLight(N_LIGHT_AMBIENT, 0, &v);
    N_GetLight(N_LIGHT_POSITION, 5, &v);
    EXPECT_EQ(ctx_->dirty, 0u);
}

TEST_F(LgiLightTest, LightEnablesGrowAndDrop) {
    std::vector<ULONG> on(40, 1);
    ctx_->dirty = 0;
    N_SetLightEnables(40, on.data());
    EXPECT_EQ(ctx_->cLightsEnabled, 40u);
    EXPECT_EQ(ctx_->cLightEnableCapacity, 40u);
    EXPECT_EQ(ctx_->dirty, kDirtyLights);
    ctx_->dirty = 0;
    N_SetLightEnables(40, on.data());
    EXPECT_EQ(ctx_->dirty, 0u) << "the same enables again";
    N_SetLightEnables(3, nullptr);
    EXPECT_EQ(ctx_->cLightsEnabled, 0u);
    EXPECT_NE(ctx_->pulLightEnable, nullptr) << "the storage stays";
}

// Planes go to eye space as p . M^-1: with M = translate (0, 0, -5) the
// plane z = 0 becomes z = -5 in eye space.
TEST_F(LgiLightTest, ClipPlanesByInverseTranspose) {
    const M4 mv = mref::Mul(mref::Translate(0, 0, -5), mref::Rotate(30, 0, 1, 0));
    LoadModelview(mref::Translate(0, 0, -5));
    const float planes[8] = {0, 0, 1, 0, 1, 0, 0, -2};
    ctx_->dirty = 0;
    N_SetClipPlanes(2, planes);
    EXPECT_EQ(ctx_->dirty, kDirtyPlanes);
    const float want0[4] = {0, 0, 1, 5};
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(ctx_->pClipPlanes[i], want0[i]);

    // A rotated modelview: a point on the object-space plane lies on the
    // eye-space plane.
    LoadModelview(mv);
    N_SetClipPlane(1, planes + 4);
    const float* pe = ctx_->pClipPlanes + 4;
    for (const mref::V4& x : {mref::V4{2, 0, 0, 1}, mref::V4{2, 5, -3, 1}}) {
        const mref::V4 e = mref::Apply(mv, x);
        EXPECT_NEAR(pe[0] * e[0] + pe[1] * e[1] + pe[2] * e[2] + pe[3] * e[3], 0.0, 1e-5);
    }
    // An index beyond the count is ignored.
    const float junk[4] = {9, 9, 9, 9};
    N_SetClipPlane(2, junk);
    EXPECT_EQ(ctx_->cClipPlanes, 2u);

    // Without an inverse the plane is kept as given, never NaN.
    LoadModelview(mref::Scale(0, 1, 1));
    N_SetClipPlane(0, planes + 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ctx_->pClipPlanes[i], planes[4 + i]);

    // More planes than the storage holds.
    std::vector<float> many(4 * 8, 1.0f);
    N_SetClipPlanes(8, many.data());
    EXPECT_EQ(ctx_->cClipPlaneCapacity, 8u);
}

// The rotation pair: forward x backward = I, and forward takes a point's
// signed distance from the plane to its x.
TEST_F(LgiLightTest, PlaneZeroRotationPair) {
    const float planes[][4] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 2}, {1, 2, 2, -3}, {-3, 0, 4, 1}};
    for (const auto& pl : planes) {
        N_PlaneRotation rot{};
        _NBuildPlaneRotation(pl, &rot);
        float prod[16];
        _NMatMul4(rot.forward, rot.backward, prod);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(prod[i], i % 5 == 0 ? 1.0 : 0.0, 1e-6);
        const double len = std::sqrt(pl[0] * pl[0] + pl[1] * pl[1] + pl[2] * pl[2]);
        for (const mref::V4& x : {mref::V4{0, 0, 0, 1}, mref::V4{1, -2, 3, 1}}) {
            const double dist = (pl[0] * x[0] + pl[1] * x[1] + pl[2] * x[2] + pl[3]) / len;
            const float* F = rot.forward;
            EXPECT_NEAR(F[0] * x[0] + F[1] * x[1] + F[2] * x[2] + F[3], dist, 1e-5);
        }
    }
    // Setting another plane keeps plane 0's pair.
    const float two[8] = {1, 2, 2, -3, 0, 0, 1, 0};
    N_SetClipPlanes(2, two);
    N_PlaneRotation want{};
    _NBuildPlaneRotation(two, &want);
    N_SetClipPlane(1, two + 4);
    EXPECT_EQ(std::memcmp(ctx_->plane0.forward, want.forward, sizeof want.forward), 0);
}

TEST_F(LgiLightTest, ClipPlaneEnableFlags) {
    struct Case {
        std::vector<ULONG> enables;
        ULONG any, only0;
    } cases[] = {
        {{1, 0, 0}, 1, 1}, {{1, 1}, 1, 0}, {{0, 1}, 1, 0}, {{0, 0, 0, 0, 0, 0}, 0, 0}, {{2, 0}, 0, 0}, {{}, 0, 0},
    };
    for (const Case& c : cases) {
        N_SetClipPlaneEnables(static_cast<ULONG>(c.enables.size()), c.enables.data());
        EXPECT_EQ(ctx_->anyClipPlane, c.any);
        EXPECT_EQ(ctx_->clipPlane0Only, c.only0);
        EXPECT_EQ(ctx_->cClipPlanesEnabled, c.enables.size());
    }
    const ULONG a[2] = {1, 0}, b[2] = {0, 1};
    N_SetClipPlaneEnables(2, a);
    ctx_->dirty = 0;
    N_SetClipPlaneEnables(2, a);
    EXPECT_EQ(ctx_->dirty, 0u) << "the same pattern again";
    N_SetClipPlaneEnables(2, b);
    EXPECT_EQ(ctx_->dirty, kDirtyPlanes) << "another plane on, the any-enabled flag unchanged";
}

TEST_F(LgiLightTest, PixelMapsAtTheirSizeLimits) {
    EXPECT_EQ(ctx_->pPixelMapRecord, nullptr) << "made on first use";
    std::vector<ULONG> values(33);
    for (ULONG i = 0; i < 33; ++i) values[i] = 100 + i;
    const N_PixelMapDesc maps[] = {
        {9, 32, values.data()},  // the longest map
        {0, 1, values.data()},
        {3, 33, values.data()},  // too long: refused
        {10, 1, values.data()},  // no such map
    };
    N_SetPixelMaps(4, maps);
    auto* rec = static_cast<N_PixelMapRecord*>(ctx_->pPixelMapRecord);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->maps[9].cValues, 32u);
    EXPECT_EQ(rec->maps[9].pulValues[31], 131u);
    EXPECT_EQ(rec->maps[0].cValues, 1u);
    EXPECT_EQ(rec->maps[3].cValues, 0u);
    EXPECT_TRUE(Printed("N_SetPixelMaps: map 3 refused\n"));
    EXPECT_TRUE(Printed("N_SetPixelMaps: map 10 refused\n"));
    for (ULONG i = 0; i < N_PIXEL_MAPS; ++i) EXPECT_EQ(rec->maps[i].map, i);

    // A record that cannot be made leaves none.
    N_Context* p = Another();
    N_MakeCurrent(p);
    vnx::faults::arm("LocalAlloc", 3, 1);
    N_SetPixelMaps(1, maps);
    EXPECT_EQ(p->pPixelMapRecord, nullptr);
    vnx::faults::clear();
    N_SetPixelMaps(1, maps);
    EXPECT_NE(p->pPixelMapRecord, nullptr);
    N_MakeCurrent(ctx_);
}

}  // namespace
}  // namespace lgi_test
