// Light, LightModel, Material and ColorMaterial through the render table:
// range checks on the floats' bits, the integer colour rule, what reaches
// the lgi layer, and the eye-space read-back into the light records.
#include <climits>
#include <cmath>
#include <cstring>

#include "state/glstate.h"
#include "light/light.h"
#include "request_fixture.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;
using glx::Words;

using glx::F;  // a float as its bits

class LightTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        gRecord.calls.clear();
    }
    ULONG Req(std::uint16_t op, std::initializer_list<std::uint32_t> words) {
        return Run(__glXRenderTable, RenderRequest(op, static_cast<std::uint32_t>(words.size() * 4), Words(words)));
    }
    const ULONG* Light(ULONG i) const {
        return gc_.pState->blocks[Bit(GL_LIGHTING_BIT)] + GLX_LIGHT_FIRST + i * GLX_LIGHT_WORDS;
    }
};

TEST_F(LightTest, LightRangeChecks) {
    struct Case {
        ULONG light, pname;
        float value;
        ULONG x;
    } cases[] = {
        {GL_LIGHT0, GL_SPOT_CUTOFF, 180.0f, GLX_SUCCESS},    {GL_LIGHT0, GL_SPOT_CUTOFF, 90.5f, GLX_BAD_VALUE},
        {GL_LIGHT0, GL_SPOT_CUTOFF, 90.0f, GLX_SUCCESS},     {GL_LIGHT0, GL_SPOT_CUTOFF, -0.0f, GLX_SUCCESS},
        {GL_LIGHT0, GL_SPOT_CUTOFF, -1.0f, GLX_BAD_VALUE},   {GL_LIGHT0, GL_SPOT_CUTOFF, 179.0f, GLX_BAD_VALUE},
        {GL_LIGHT0, GL_SPOT_EXPONENT, 128.0f, GLX_SUCCESS},  {GL_LIGHT0, GL_SPOT_EXPONENT, 128.5f, GLX_BAD_VALUE},
        {GL_LIGHT0, GL_SPOT_EXPONENT, NAN, GLX_BAD_VALUE},   {GL_LIGHT0 + 3, GL_LINEAR_ATTENUATION, -0.5f, GLX_BAD_VALUE},
        {GL_LIGHT0 + 3, GL_QUADRATIC_ATTENUATION, 1e9f, GLX_SUCCESS}, {GL_LIGHT0 + 8, GL_SPOT_CUTOFF, 10, GLX_BAD_VALUE},
        {GL_LIGHT0, GL_AMBIENT, 1.0f, GLX_BAD_VALUE},        {GL_LIGHT0, GL_POSITION, 1.0f, GLX_BAD_VALUE},
        {GL_LIGHT0, 0x120A, 1.0f, GLX_BAD_VALUE},
    };
    for (const Case& c : cases) {
        gc_.error = GL_NO_ERROR;
        gRecord.calls.clear();
        EXPECT_EQ(Req(86, {c.light, c.pname, F(c.value)}), c.x) << c.pname << " " << c.value;
        if (c.x == GLX_SUCCESS) {
            EXPECT_EQ(gc_.error, GL_NO_ERROR);
            ASSERT_EQ(Calls("N_SetLight").size(), 1u);
        } else {
            const bool bEnum = c.light > GL_LIGHT0 + 7 || c.pname == GL_AMBIENT || c.pname == GL_POSITION ||
                               c.pname == 0x120A;
            EXPECT_EQ(gc_.error, bEnum ? GL_INVALID_ENUM : GL_INVALID_VALUE) << c.pname << " " << c.value;
            EXPECT_TRUE(Calls("N_SetLight").empty()) << "nothing sent";
        }
    }
    EXPECT_EQ(Light(0)[GLX_LIGHT_SPOT_CUTOFF], F(-0.0f)) << "the last value accepted";
}

TEST_F(LightTest, IntegerColoursAndEyeSpaceReadBack) {
    EXPECT_EQ(Req(89, {GL_LIGHT0 + 1, GL_DIFFUSE, 0x7FFFFFFFu, 0, 0x80000000u, 1}), GLX_SUCCESS);
    const float* pf = reinterpret_cast<const float*>(Light(1) + GLX_LIGHT_DIFFUSE);
    EXPECT_EQ(pf[0], 1.0f);
    EXPECT_FLOAT_EQ(pf[1], 1.0f / 4294967295.0f);
    EXPECT_EQ(pf[2], -1.0f);
    auto set = Calls("N_SetLight");
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0]->args[0], N_LIGHT_DIFFUSE);
    EXPECT_EQ(set[0]->args[1], 1u);
    EXPECT_TRUE(Calls("N_GetLight").empty());

    // Integer positions convert unchanged; the eye-space values come back.
    gAnswers.eyeLight.position[0] = 7;
    gAnswers.eyeLight.position[3] = 1;
    gRecord.calls.clear();
    EXPECT_EQ(Req(89, {GL_LIGHT0 + 2, GL_POSITION, 3, 4, 5, 1}), GLX_SUCCESS);
    auto get = Calls("N_GetLight");
    ASSERT_EQ(get.size(), 1u);
    EXPECT_EQ(get[0]->args[0], N_LIGHT_POSITION);
    EXPECT_EQ(get[0]->args[1], 2u);
    const float* pos = reinterpret_cast<const float*>(Light(2) + 12);
    EXPECT_EQ(pos[0], 7.0f);
    EXPECT_EQ(pos[3], 1.0f);

    // Lights marked for the lgi layer go there whole before the change.
    gc_.dirty = GLX_DIRTY_LIGHTS;
    gRecord.calls.clear();
    Req(87, {GL_LIGHT0, GL_SPOT_DIRECTION, F(0), F(1), F(0)});
    ASSERT_GE(gRecord.calls.size(), 2u);
    EXPECT_EQ(Calls("N_SetLights").size(), 1u);
    EXPECT_EQ(Calls("N_SetLights")[0]->args[0], 8u);
    EXPECT_EQ(gc_.dirty & GLX_DIRTY_LIGHTS, 0u);
    EXPECT_EQ(Calls("N_GetLight")[0]->args[0], N_LIGHT_SPOT_DIRECTION);
}

TEST_F(LightTest, MaterialChecksAndTargets) {
    struct Case {
        std::uint16_t op;
        std::vector<std::uint32_t> words;
        ULONG glError;
    } cases[] = {
        {96, {GL_FRONT, GL_SHININESS, F(-0.0f)}, GL_NO_ERROR},
        {96, {GL_FRONT, GL_SHININESS, F(-1.0f)}, GL_INVALID_VALUE},
        {96, {GL_FRONT, GL_SHININESS, F(128.0f)}, GL_NO_ERROR},
        {96, {GL_FRONT, GL_SHININESS, F(NAN)}, GL_INVALID_VALUE},
        {96, {GL_FRONT, GL_AMBIENT, F(1.0f)}, GL_INVALID_ENUM},
        {96, {0x406, GL_SHININESS, F(1.0f)}, GL_INVALID_ENUM},
        {97, {GL_BACK, 0x1604}, GL_INVALID_ENUM},
        {98, {GL_BACK, GL_SHININESS, 129}, GL_INVALID_VALUE},
    };
    for (const Case& c : cases) {
        gc_.error = GL_NO_ERROR;
        gRecord.calls.clear();
        std::vector<std::uint8_t> body(c.words.size() * 4);
        std::memcpy(body.data(), c.words.data(), body.size());
        Run(__glXRenderTable, RenderRequest(c.op, static_cast<std::uint32_t>(body.size()), body));
        EXPECT_EQ(gc_.error, c.glError) << c.op << " " << c.words[1];
        if (c.glError != GL_NO_ERROR) {
            EXPECT_TRUE(Attr(N_ATTR_FRONT_SHININESS).empty() && Attr(N_ATTR_BACK_SHININESS).empty());
        }
    }

    gRecord.calls.clear();
    EXPECT_EQ(Req(97, {GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, F(0.1f), F(0.2f), F(0.3f), F(0.4f)}),
              GLX_SUCCESS);
    for (ULONG id : {59u, 60u, 68u, 69u}) EXPECT_EQ(Attr(id), (std::vector<ULONG>{F(0.1f), F(0.2f), F(0.3f), F(0.4f)})) << id;
    EXPECT_TRUE(Attr(N_ATTR_FRONT_EMISSION).empty() && Attr(N_ATTR_FRONT_SPECULAR).empty());

    gRecord.calls.clear();
    Req(97, {GL_BACK, GL_COLOR_INDEXES, F(1), F(2), F(3)});
    EXPECT_EQ(Attr(N_ATTR_BACK_AMBIENT_INDEX), (std::vector<ULONG>{F(1)}));
    EXPECT_EQ(Attr(N_ATTR_BACK_DIFFUSE_INDEX), (std::vector<ULONG>{F(2)}));
    EXPECT_EQ(Attr(N_ATTR_BACK_SPECULAR_INDEX), (std::vector<ULONG>{F(3)}));
    EXPECT_TRUE(Attr(N_ATTR_FRONT_AMBIENT_INDEX).empty());

    gRecord.calls.clear();
    Req(99, {GL_FRONT, GL_EMISSION, 0x7FFFFFFFu, 0, 0, 0x7FFFFFFFu});
    EXPECT_EQ(Attr(N_ATTR_FRONT_EMISSION)[0], F(1.0f));
}

TEST_F(LightTest, LightModel) {
    struct Case {
        std::uint16_t op;
        std::vector<std::uint32_t> words;
        ULONG attr, value;
    } cases[] = {
        {92, {GL_LIGHT_MODEL_LOCAL_VIEWER, 0}, 80, 2},          {92, {GL_LIGHT_MODEL_LOCAL_VIEWER, 5}, 80, 1},
        {90, {GL_LIGHT_MODEL_LOCAL_VIEWER, F(-0.0f)}, 80, 2},   {90, {GL_LIGHT_MODEL_LOCAL_VIEWER, F(-2)}, 80, 1},
        {90, {GL_LIGHT_MODEL_TWO_SIDE, F(0.5f)}, 46, 1},        {93, {GL_LIGHT_MODEL_TWO_SIDE, 0}, 46, 0},
    };
    for (const Case& c : cases) {
        gRecord.calls.clear();
        std::vector<std::uint8_t> body(c.words.size() * 4);
        std::memcpy(body.data(), c.words.data(), body.size());
        EXPECT_EQ(Run(__glXRenderTable, RenderRequest(c.op, static_cast<std::uint32_t>(body.size()), body)),
                  GLX_SUCCESS);
        EXPECT_EQ(Attr(c.attr), (std::vector<ULONG>{c.value})) << c.op;
    }
    gRecord.calls.clear();
    EXPECT_EQ(Req(90, {GL_LIGHT_MODEL_AMBIENT, F(1)}), GLX_BAD_VALUE);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    EXPECT_EQ(Req(93, {GL_LIGHT_MODEL_AMBIENT, 0x7FFFFFFFu, 0, 0, 0x7FFFFFFFu}), GLX_SUCCESS);
    EXPECT_EQ(Attr(N_ATTR_MODEL_AMBIENT), (std::vector<ULONG>{F(1), F(1.0f / 4294967295.0f), F(1.0f / 4294967295.0f), F(1)}));
    gc_.error = GL_NO_ERROR;
    EXPECT_EQ(Req(91, {0x0B54}), GLX_BAD_VALUE);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    // The vector form reads as many values as the parameter takes.
    EXPECT_EQ(Req(91, {GL_LIGHT_MODEL_AMBIENT, F(1), F(1)}), GLX_BAD_LENGTH);
}

TEST_F(LightTest, ColorMaterialCodes) {
    struct Case {
        ULONG face, mode, code;
    } cases[] = {
        {GL_FRONT, GL_EMISSION, 1},          {GL_FRONT, GL_AMBIENT, 2},    {GL_FRONT, GL_DIFFUSE, 4},
        {GL_FRONT, GL_SPECULAR, 8},          {GL_FRONT, GL_AMBIENT_AND_DIFFUSE, 6},
        {GL_BACK, GL_EMISSION, 16},          {GL_BACK, GL_AMBIENT_AND_DIFFUSE, 96},
        {GL_FRONT_AND_BACK, GL_EMISSION, 17}, {GL_FRONT_AND_BACK, GL_AMBIENT, 34},
        {GL_FRONT_AND_BACK, GL_DIFFUSE, 68}, {GL_FRONT_AND_BACK, GL_SPECULAR, 136},
        {GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, 102},
    };
    for (const Case& c : cases) {
        gRecord.calls.clear();
        EXPECT_EQ(Req(78, {c.face, c.mode}), GLX_SUCCESS);
        EXPECT_EQ(Attr(N_ATTR_COLOUR_MATERIAL_CODE), (std::vector<ULONG>{c.code})) << c.face << " " << c.mode;
    }
    gRecord.calls.clear();
    EXPECT_EQ(Req(78, {GL_FRONT, GL_SHININESS}), GLX_BAD_VALUE);
    EXPECT_EQ(Req(78, {0x406, GL_DIFFUSE}), GLX_BAD_VALUE);
    EXPECT_TRUE(Attr(N_ATTR_COLOUR_MATERIAL_CODE).empty());
}

}  // namespace
}  // namespace glsrv_double
