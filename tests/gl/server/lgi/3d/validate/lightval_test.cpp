// Lighting validation: the enabled-light list, the prepared light records,
// the products and scene colours against GL 1.0's lighting equation
// evaluated here, the specular exponent tables, and the lighting stage each
// kind takes.
#include <cmath>
#include <random>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"
#include "gl/server/lgi/matrix_ref.h"

namespace lgi_test {
namespace {

using V3 = std::array<double, 3>;

void Set(ULONG id, ULONG word) { N_SetStateBlockAttr(id, &word); }
void SetF(ULONG id, std::initializer_list<float> f) {
    std::vector<float> v(f);
    N_SetStateBlockAttr(id, v.data());
}

double Dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 Sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 Add(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 Unit(const V3& a) {
    const double l = std::sqrt(Dot(a, a));
    return l == 0 ? a : V3{a[0] / l, a[1] / l, a[2] / l};
}
V3 Xyz(const float* f) { return {f[0], f[1], f[2]}; }

N_Light Light(float x, float y, float z, float w) {
    N_Light l{};
    l.control = 5;  // what the GL layer stores: a lit light, both vectors carried
    l.position[0] = x;
    l.position[1] = y;
    l.position[2] = z;
    l.position[3] = w;
    l.spotDirection[2] = -1;
    l.spotCutoff = 180;
    l.constantAttenuation = 1;
    return l;
}

class LightValTest : public LgiTest {
  protected:
    void Validate() { _NValidate(ctx_, ctx_->dirty); }
    // The listed lights by their ambient red, which the tests set to the
    // light's number.
    std::vector<int> Listed() {
        std::vector<int> v;
        for (const N_PreparedLight* p = ctx_->lit.pHead; p != nullptr && v.size() < 64; p = p->next)
            v.push_back(static_cast<int>(p->light.ambient[0]));
        return v;
    }
};

TEST_F(LightValTest, EnabledLightsListedInLightOrder) {
    std::vector<N_Light> lights(8, Light(0, 0, 1, 0));
    for (int i = 0; i < 8; ++i) lights[i].ambient[0] = static_cast<float>(i);
    N_SetLights(8, lights.data());
    std::mt19937 rng(42);
    for (int round = 0; round < 60; ++round) {
        // On and off in any order: a random subset, and sometimes fewer
        // enable words than lights.
        const ULONG cWords = round % 5 == 4 ? 1 + rng() % 8 : 8;
        std::vector<ULONG> en(cWords);
        std::vector<int> want;
        for (ULONG i = 0; i < cWords; ++i) {
            en[i] = rng() % 2;
            if (en[i]) want.push_back(static_cast<int>(i));
        }
        N_SetLightEnables(cWords, en.data());
        Validate();
        EXPECT_EQ(Listed(), want) << "round " << round;
        EXPECT_EQ(ctx_->lit.cListed, want.size());
    }
    // A light of type 1 is prepared but not listed; none enabled, none listed.
    lights[2].control = N_LIGHT_TYPE_UNLISTED;
    N_SetLights(8, lights.data());
    const std::vector<ULONG> all(8, 1);
    N_SetLightEnables(8, all.data());
    Validate();
    EXPECT_EQ(Listed(), (std::vector<int>{0, 1, 3, 4, 5, 6, 7}));
    N_SetLightEnables(0, nullptr);
    Validate();
    EXPECT_EQ(ctx_->lit.pHead, nullptr);
}

TEST_F(LightValTest, PreparedRecords) {
    std::vector<N_Light> l = {Light(0, 3, 4, 0), Light(1, 2, 3, 1), Light(1, 2, 3, 1), Light(0, 0, 0, 1)};
    l[0].spotCutoff = 180;
    l[1].spotCutoff = 90;
    l[1].spotDirection[0] = 0;
    l[1].spotDirection[1] = 2;
    l[1].spotDirection[2] = 0;
    l[1].linearAttenuation = 0.5f;
    l[2].spotCutoff = 30;
    l[2].quadraticAttenuation = 0.25f;
    N_SetLights(4, l.data());
    const ULONG en[4] = {1, 1, 1, 0};
    N_SetLightEnables(4, en);
    // Eye-space lighting: a modelview that is not a rotation.
    N_SetStateBlockAttr(3, mref::RowMajorF(mref::Scale(1, 2, 3)).data());
    Validate();
    ASSERT_EQ(ctx_->val.transformMode, 0u);
    const N_PreparedLight* p = ctx_->lit.pHead;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->light.spotCutoff, -1.0f);
    EXPECT_EQ(p->attenuation, -1.0f) << "attenuation exactly (1, 0, 0)";
    EXPECT_FLOAT_EQ(p->light.position[1], 0.6f);
    EXPECT_FLOAT_EQ(p->light.position[2], 0.8f);
    EXPECT_EQ(p->light.spotDirection[2], 1.0f) << "negated";
    p = p->next;
    EXPECT_EQ(p->light.spotCutoff, std::cos(90.0f * (3.14159265358979323846f / 180.0f)));
    EXPECT_EQ(p->attenuation, 1.0f);
    EXPECT_EQ(p->light.spotDirection[1], -1.0f) << "negated and normalised";
    EXPECT_EQ(p->light.position[0], 1.0f) << "a positional light keeps its position";
    EXPECT_EQ(p->light.linearAttenuation, 0.5f) << "eye space: distance scale 1";
    p = p->next;
    EXPECT_FLOAT_EQ(p->light.spotCutoff, std::cos(30.0f * 3.14159265f / 180.0f));
    EXPECT_EQ(p->next, nullptr);
    EXPECT_EQ(ctx_->lit.allSimple, 0u);

    // Only directional lights without spots are simple.
    N_SetLightEnables(1, en);
    Validate();
    EXPECT_EQ(ctx_->lit.allSimple, 1u);
}

// In model space a positional light whose w comes out other than 0 or 1 is
// divided through, and said once per list.
TEST_F(LightValTest, ModelSpacePositionWDividedAndReported) {
    std::vector<N_Light> l = {Light(2, 4, 6, 2), Light(2, 4, 6, 2)};
    N_SetLights(2, l.data());
    const ULONG en[2] = {1, 1};
    N_SetLightEnables(2, en);
    N_SetStateBlockAttr(3, mref::RowMajorF(mref::Translate(1, 0, 0)).data());
    vnx::debug::clear();
    Validate();
    ASSERT_EQ(ctx_->val.transformMode, 1u);
    const std::string text = vnx::debug::peek();
    const std::string msg = "model space light pos.w not equal to 1.0f\n";
    ASSERT_NE(text.find(msg), std::string::npos);
    EXPECT_EQ(text.find(msg, text.find(msg) + 1), std::string::npos) << "once";
    const N_PreparedLight* p = ctx_->lit.pHead;
    EXPECT_FLOAT_EQ(p->light.position[0], 0.0f);  // (2, 4, 6, 2) less (1, 0, 0) in w units, over w
    EXPECT_FLOAT_EQ(p->light.position[1], 2.0f);
    EXPECT_EQ(p->light.position[3], 1.0f);
}

TEST_F(LightValTest, SpecularExponentIndex) {
    const std::pair<float, ULONG> cases[] = {{100, 32}, {10, 5}, {3, 1}, {0.9f, 0}, {128, 32}, {0, 0}};
    for (auto [s, want] : cases) {
        SetF(62, {s});
        SetF(71, {s});
        Validate();
        EXPECT_EQ(ctx_->lit.specIndex[0], want) << s;
        EXPECT_EQ(ctx_->lit.specIndex[1], want) << s;
    }
}

// The exponent table gives (n.h)^s for every shininess of GL's range, odd
// and fractional ones too, within the stated tolerance.
TEST_F(LightValTest, ExponentTableMatchesGLsSpecularTerm) {
    double worst = 0;
    for (int q = 0; q <= 4 * 128; ++q) {
        const float s = static_cast<float>(q) / 4.0f;
        SetF(62, {s});
        Validate();
        const N_SpecTable& t = ctx_->lit.spec[0];
        for (int i = 0; i <= 2000; ++i) {
            const double x = i / 2000.0;
            worst = std::max(worst, std::fabs(_NSpecularTerm(t, static_cast<float>(x)) - std::pow(x, s)));
        }
        EXPECT_EQ(_NSpecularTerm(t, -0.5f), s == 0 ? 1.0f : 0.0f);
        EXPECT_EQ(_NSpecularTerm(t, 1.5f), 1.0f);
    }
    EXPECT_LE(worst, N_SPEC_TOLERANCE);
}

// Products and scene colours by GL 1.0's equation: the lit colour of a
// vertex from the prepared records equals the equation on the GL state, in
// eye space and in model space, with local and infinite viewers.
TEST_F(LightValTest, LitColourFollowsGLsLightingEquation) {
    std::vector<N_Light> l = {Light(0.3f, 0.5f, 1.0f, 0), Light(2, 1, 3, 1), Light(-1, 2, 2, 1)};
    auto colours = [](N_Light& x, float a, float d, float s) {
        for (int c = 0; c < 3; ++c) {
            x.ambient[c] = a * (1 + 0.1f * c);
            x.diffuse[c] = d * (1 - 0.2f * c);
            x.specular[c] = s;
        }
    };
    colours(l[0], 0.1f, 0.8f, 0.6f);
    colours(l[1], 0.2f, 0.7f, 0.9f);
    colours(l[2], 0.05f, 0.9f, 0.5f);
    l[1].constantAttenuation = 0.8f;
    l[1].linearAttenuation = 0.3f;
    l[1].quadraticAttenuation = 0.05f;
    l[2].spotCutoff = 60;
    l[2].spotExponent = 3;
    l[2].spotDirection[0] = 1;
    l[2].spotDirection[1] = -2;
    l[2].spotDirection[2] = -2;
    N_SetLights(3, l.data());
    const ULONG en[3] = {1, 1, 1};
    N_SetLightEnables(3, en);
    SetF(58, {0.05f, 0.02f, 0.0f, 1});
    SetF(59, {0.3f, 0.4f, 0.5f, 1});
    SetF(60, {0.7f, 0.6f, 0.2f, 0.5f});
    SetF(61, {0.9f, 0.8f, 0.7f, 1});
    SetF(62, {37.5f});
    SetF(75, {0.2f, 0.25f, 0.3f, 1});

    struct Space {
        mref::M4 m;
        ULONG mode;
    } spaces[] = {
        {mref::Mul(mref::Translate(0.5, -1, -4), mref::Mul(mref::Rotate(35, 0.6, 0, 0.8), mref::Scale(2, 2, 2))), 1},
        {mref::Mul(mref::Translate(0.5, -1, -4), mref::Scale(1, 1.5, 0.5)), 0},
    };
    for (const Space& sp : spaces) {
        for (ULONG viewer : {1u, 2u}) {
            SCOPED_TRACE(testing::Message() << "mode " << sp.mode << " viewer " << viewer);
            N_SetStateBlockAttr(3, mref::RowMajorF(sp.m).data());
            Set(80, viewer);
            Validate();
            ASSERT_EQ(ctx_->val.transformMode, sp.mode);
            const N_Lighting& lit = ctx_->lit;
            for (const V3& vModel : {V3{0.1, 0.2, 0.3}, V3{-0.5, 0.4, 1.0}, V3{0.3, -0.6, -0.2}}) {
                // The vertex in eye space, and its normal there.
                const mref::V4 pe = mref::Apply(sp.m, {vModel[0], vModel[1], vModel[2], 1});
                const V3 P = {pe[0], pe[1], pe[2]};
                const V3 nEye = Unit({0.2, 0.3, 1.0});
                // The pipeline's space: the model-space normal by M's
                // transpose (M is k R).
                V3 v = P, n = nEye;
                if (sp.mode == 1) {
                    v = vModel;
                    V3 t{};
                    for (int c = 0; c < 3; ++c)
                        for (int r = 0; r < 3; ++r) t[c] += nEye[r] * sp.m[4 * r + c];
                    n = Unit(t);
                }

                // GL 1.0 in eye space, from the lights as set.
                double ref[3];
                for (int c = 0; c < 3; ++c)
                    ref[c] = __glXWordFloat(pulAttr(ctx_, 58)[c]) +
                             __glXWordFloat(pulAttr(ctx_, 75)[c]) * __glXWordFloat(pulAttr(ctx_, 59)[c]);
                for (const N_Light& L : l) {
                    V3 VP;
                    double att = 1;
                    if (L.position[3] == 0) {
                        VP = Unit(Xyz(L.position));
                    } else {
                        const V3 d = Sub(Xyz(L.position), P);
                        const double dist = std::sqrt(Dot(d, d));
                        VP = Unit(d);
                        att = 1 / (L.constantAttenuation + L.linearAttenuation * dist +
                                   L.quadraticAttenuation * dist * dist);
                    }
                    double spot = 1;
                    if (L.spotCutoff != 180) {
                        const double dd = Dot(Unit(Sub(P, Xyz(L.position))), Unit(Xyz(L.spotDirection)));
                        spot = dd >= std::cos(L.spotCutoff * M_PI / 180) ? std::pow(dd, L.spotExponent) : 0;
                    }
                    const double nl = Dot(nEye, VP);
                    const V3 h = Add(VP, viewer == 1 ? Unit(Sub({0, 0, 0}, P)) : V3{0, 0, 1});
                    const double nh = std::max(0.0, Dot(nEye, Unit(h)));
                    for (int c = 0; c < 3; ++c) {
                        double t = L.ambient[c] * __glXWordFloat(pulAttr(ctx_, 59)[c]);
                        if (nl > 0)
                            t += nl * L.diffuse[c] * __glXWordFloat(pulAttr(ctx_, 60)[c]) +
                                 std::pow(nh, 37.5) * L.specular[c] * __glXWordFloat(pulAttr(ctx_, 61)[c]);
                        ref[c] += att * spot * t;
                    }
                }

                // The same from the prepared records, as a lighting stage
                // reads them.
                double got[3] = {lit.scene[0][0], lit.scene[0][1], lit.scene[0][2]};
                for (const N_PreparedLight* p = lit.pHead; p != nullptr; p = p->next) {
                    const N_Light& L = p->light;
                    V3 Ld;
                    double att = 1;
                    if (L.position[3] == 0) {
                        Ld = Xyz(L.position);
                    } else {
                        const V3 d = Sub(Xyz(L.position), v);
                        const double dist = std::sqrt(Dot(d, d));
                        Ld = Unit(d);
                        if (p->attenuation != -1.0f)
                            att = 1 / (L.constantAttenuation + L.linearAttenuation * dist +
                                       L.quadraticAttenuation * dist * dist);
                    }
                    double spot = 1;
                    if (L.spotCutoff != -1.0f) {
                        const double dd = Dot(Ld, Xyz(L.spotDirection));
                        spot = dd >= L.spotCutoff ? std::pow(dd, L.spotExponent) : 0;
                    }
                    const double nl = Dot(n, Ld);
                    const V3 eye = lit.localViewer ? Unit(Sub(Xyz(lit.viewer), v)) : Xyz(lit.viewer);
                    const double nh = Dot(n, Unit(Add(Ld, eye)));
                    for (int c = 0; c < 3; ++c) {
                        double t = p->product[0][0][c];
                        if (nl > 0)
                            t += nl * p->product[0][1][c] +
                                 _NSpecularTerm(lit.spec[0], static_cast<float>(nh)) * p->product[0][2][c];
                        got[c] += att * spot * t;
                    }
                }
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], ref[c], 3e-3) << c;
            }
        }
    }
    // A lit colour's alpha is the diffuse material's.
    EXPECT_EQ(ctx_->lit.scene[0][3], 0.5f);
}

TEST_F(LightValTest, LightingStageChoice) {
    N_PrimDispatch& pd = ctx_->prim[68 - 61];
    N_SetLights(1, std::vector<N_Light>{Light(0, 0, 1, 0)}.data());
    struct Case {
        ULONG lighting, index, constant, enabled;
        bool spot, colourMaterialFront;
        ULONG want;
    } cases[] = {
        {0, 1, 1, 1, false, false, N_LIGHT_STAGE_UNLIT_INDEX},
        {0, 0, 1, 1, false, false, N_LIGHT_STAGE_UNLIT_RGBA},
        {1, 1, 1, 1, false, false, N_LIGHT_STAGE_INDEX},
        {1, 0, 1, 1, true, false, N_LIGHT_STAGE_GENERAL_CONSTANT},
        {1, 0, 0, 1, true, false, N_LIGHT_STAGE_GENERAL_VERTEX},
        {1, 0, 0, 1, false, false, N_LIGHT_STAGE_SIMPLE_VERTEX},
        {1, 0, 1, 1, false, false, N_LIGHT_STAGE_GREY},
        {1, 0, 1, 0, false, false, N_LIGHT_STAGE_SIMPLE_CONSTANT},   // no light listed
        {1, 0, 1, 1, false, true, N_LIGHT_STAGE_SIMPLE_CONSTANT},    // a coloured material
    };
    for (const Case& c : cases) {
        N_Light light = Light(0, 0, 1, 0);
        if (c.spot) light.spotCutoff = 45;
        N_SetLights(1, &light);
        N_SetLightEnables(1, &c.enabled);
        Set(79, c.lighting);
        Set(83, c.index);
        SetF(59, c.colourMaterialFront ? std::initializer_list<float>{0.1f, 0.2f, 0.3f, 1}
                                       : std::initializer_list<float>{0.4f, 0.4f, 0.4f, 1});
        Validate();
        pd.colourFromCurrent = pd.materialFromCurrent = c.constant;
        EXPECT_EQ(_NChooseLightStage(ctx_, pd), c.want) << c.want;
    }
    // The back face must match the front for the grey light: each back
    // material grey with the front's value, the same shininess.
    struct Back {
        const char* what;
        ULONG id;
        std::initializer_list<float> value;
        ULONG want;
    } const backs[] = {
        {"as the front", N_ATTR_BACK_DIFFUSE, {0.4f, 0.4f, 0.4f, 1}, N_LIGHT_STAGE_GREY},
        {"another grey", N_ATTR_BACK_DIFFUSE, {0.5f, 0.5f, 0.5f, 1}, N_LIGHT_STAGE_SIMPLE_CONSTANT},
        {"the front's red, other greens", N_ATTR_BACK_DIFFUSE, {0.4f, 0.9f, 0.9f, 1}, N_LIGHT_STAGE_SIMPLE_CONSTANT},
        {"another emission red", N_ATTR_BACK_EMISSION, {0.3f, 0.0f, 0.0f, 1}, N_LIGHT_STAGE_SIMPLE_CONSTANT},
        {"another shininess", N_ATTR_BACK_SHININESS, {20.0f}, N_LIGHT_STAGE_SIMPLE_CONSTANT},
    };
    for (const Back& b : backs) {
        SCOPED_TRACE(b.what);
        for (ULONG k = 0; k < 4; ++k) {
            const float v = k == 0 ? 0.0f : 0.4f;
            SetF(N_ATTR_FRONT_EMISSION + k, {v, v, v, 1});
            SetF(N_ATTR_BACK_EMISSION + k, {v, v, v, 1});
        }
        SetF(N_ATTR_FRONT_SHININESS, {0.0f});
        SetF(N_ATTR_BACK_SHININESS, {0.0f});
        SetF(b.id, b.value);
        Validate();
        EXPECT_EQ(_NChooseLightStage(ctx_, pd), b.want);
    }
}

// Storage grown for more lights drops the list that lay in the old records
// before anything walks it.
TEST_F(LightValTest, GrownLightStorageDropsTheOldList) {
    std::vector<N_Light> lights(40, Light(0, 0, 1, 0));
    N_SetLights(2, lights.data());
    const std::vector<ULONG> en(40, 1);
    N_SetLightEnables(2, en.data());
    Validate();
    ASSERT_EQ(ctx_->lit.cListed, 2u);
    N_SetLights(40, lights.data());
    EXPECT_EQ(ctx_->lit.pHead, nullptr);
    SetF(60, {0.3f, 0.3f, 0.3f, 1});  // runs the lighting validation at once
    N_SetLightEnables(40, en.data());
    Validate();
    EXPECT_EQ(ctx_->lit.cListed, 40u);
}

// A new colour or material store brings the products up to date at once.
TEST_F(LightValTest, MaterialStoresUpdateProductsAtOnce) {
    N_Light light = Light(0, 0, 1, 0);
    light.diffuse[0] = 0.5f;
    N_SetLights(1, &light);
    const ULONG en = 1;
    N_SetLightEnables(1, &en);
    Validate();
    SetF(60, {0.8f, 0.5f, 0.5f, 1});
    EXPECT_FLOAT_EQ(ctx_->lit.pHead->product[0][1][0], 0.4f);
    // Colour material on the back diffuse follows the current colour.
    Set(77, 1);
    Set(78, 0x40);
    SetF(52, {0.6f, 0.2f, 0.2f, 1});
    EXPECT_FLOAT_EQ(ctx_->lit.pHead->product[1][1][0], 0.3f);
}

}  // namespace
}  // namespace lgi_test
