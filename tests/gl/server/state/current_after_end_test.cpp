// Values given between Begin and End through the server's own primitive
// buffer are the current values after End, read back with Get; colour
// material takes the last colour into the material it tracks.
#include "gl/server/state/gl_client.h"

namespace {

using glsrv_client::GLClientTest;
using glx::F;

constexpr ULONG kCurrentColor = 0x0B00, kCurrentNormal = 0x0B02, kCurrentTexCoords = 0x0B03, kEdgeFlag = 0x0B43;
constexpr ULONG kColorMaterial = 0x0B57, kFront = 0x404, kDiffuse = 0x1201, kAmbient = 0x1200;
constexpr ULONG kTriangles = 4, kTriangleStrip = 5;

class CurrentAfterEndTest : public GLClientTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start()); }
    // A primitive of three vertices, each with its own colour, normal,
    // texture coordinates and edge flag; the last vertex's are (k = 2).
    glx::Bytes Prim(ULONG mode) {
        std::vector<glx::Bytes> s = {glx::Render("Begin", {mode})};
        for (int k = 0; k < 3; ++k) {
            const float f = 0.25f * static_cast<float>(k + 1);
            s.push_back(glx::Render("Color4fv", {F(f), F(0.5f), F(1 - f), F(0.75f)}));
            s.push_back(glx::Render("Normal3fv", {F(0), F(k == 2 ? 0.6f : 0), F(k == 2 ? 0.8f : 1)}));
            s.push_back(glx::Render("TexCoord4fv", {F(f), F(2 * f), F(0), F(1)}));
            s.push_back(glx::Render("EdgeFlagv", {k == 2 ? 0u : 1u}));
            s.push_back(glx::Render("Vertex3fv", {F(10.0f * k), F(5), F(0)}));
        }
        s.push_back(glx::Render("End"));
        glx::Bytes out;
        for (const glx::Bytes& b : s) out.insert(out.end(), b.begin(), b.end());
        return out;
    }
};

TEST_F(CurrentAfterEndTest, LastValuesOfThePrimitiveAreCurrent) {
    for (const ULONG mode : {kTriangles, kTriangleStrip}) {
        SCOPED_TRACE(mode);
        Render(Prim(mode));
        EXPECT_EQ(Floats(kCurrentColor), (std::vector<float>{0.75f, 0.5f, 0.25f, 0.75f}));
        EXPECT_EQ(Floats(kCurrentNormal), (std::vector<float>{0, 0.6f, 0.8f}));
        EXPECT_EQ(Floats(kCurrentTexCoords), (std::vector<float>{0.75f, 1.5f, 0, 1}));
        EXPECT_EQ(Booleans(kEdgeFlag), std::vector<std::uint8_t>{0});
        // The next primitive starts from them: a colour outside it changes them again.
        Render("Color4fv", {F(0), F(0), F(0), F(1)});
        EXPECT_EQ(Floats(kCurrentColor), (std::vector<float>{0, 0, 0, 1}));
    }
    EXPECT_EQ(Error(), 0u);
}

// A normal given between Begin and End is current after End as given (GL
// normalises only for lighting, under GL_NORMALIZE), whatever its length,
// zero too; outside a primitive likewise.
TEST_F(CurrentAfterEndTest, NormalsOfThePrimitiveAreCurrentAsGiven) {
    struct Case {
        float given[3];
        std::vector<float> current;
    } const cases[] = {
        {{0, 3, 4}, {0, 3, 4}},
        {{-2, 0, 0}, {-2, 0, 0}},
        {{0, 0, 0.5f}, {0, 0, 0.5f}},
        {{0, 0, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.given[0] << " " << c.given[1] << " " << c.given[2]);
        Render(glx::Stream({glx::Render("Normal3fv", {F(1), F(0), F(0)}), glx::Render("Begin", {kTriangles}),
                            glx::Render("Normal3fv", {F(0), F(1), F(0)}), glx::Render("Vertex3fv", {F(0), F(0), F(0)}),
                            glx::Render("Normal3fv", {F(c.given[0]), F(c.given[1]), F(c.given[2])}),
                            glx::Render("Vertex3fv", {F(1), F(0), F(0)}), glx::Render("Vertex3fv", {F(0), F(1), F(0)}),
                            glx::Render("End")}));
        EXPECT_EQ(Floats(kCurrentNormal), c.current);
    }
    Render("Normal3fv", {F(0), F(3), F(4)});
    EXPECT_EQ(Floats(kCurrentNormal), (std::vector<float>{0, 3, 4}));
    EXPECT_EQ(Error(), 0u);
}

// An attribute first given after some vertices of the primitive (the
// record's vertex layout widens there, which wraps it) is current after End
// as given, whether the primitive also filled a buffer before it.
TEST_F(CurrentAfterEndTest, AttributeFirstGivenAfterAVertexIsCurrentAfterEnd) {
    struct Attr {
        const char* name;
        glx::Bytes before, inside;
        ULONG pname;
        std::vector<float> want;
    } const attrs[] = {
        {"colour", glx::Render("Color4fv", {F(1), F(0), F(0), F(1)}),
         glx::Render("Color4fv", {F(0), F(1), F(0), F(0.5f)}), kCurrentColor, {0, 1, 0, 0.5f}},
        {"normal", glx::Render("Normal3fv", {F(1), F(0), F(0)}), glx::Render("Normal3fv", {F(0), F(0.6f), F(0.8f)}),
         kCurrentNormal, {0, 0.6f, 0.8f}},
        {"texcoord", glx::Render("TexCoord4fv", {F(1), F(2), F(3), F(1)}),
         glx::Render("TexCoord4fv", {F(0.5f), F(0.25f), F(0), F(1)}), kCurrentTexCoords, {0.5f, 0.25f, 0, 1}},
        {"edge flag", glx::Render("EdgeFlagv", {1}), glx::Render("EdgeFlagv", {0}), kEdgeFlag, {0}},
    };
    constexpr ULONG kLineStrip = 3;
    for (const Attr& a : attrs) {
        for (const ULONG mode : {kLineStrip, kTriangleStrip, kTriangles}) {
            for (const int cBefore : {1, 2, 400}) {  // 400: the buffer is handed on before the attribute
                SCOPED_TRACE(testing::Message() << a.name << " mode " << mode << " after " << cBefore);
                std::vector<glx::Bytes> s = {a.before, glx::Render("Begin", {mode})};
                for (int k = 0; k < cBefore; ++k)
                    s.push_back(glx::Render("Vertex3fv", {F(static_cast<float>(k)), F(static_cast<float>(k % 2)), F(0)}));
                s.push_back(a.inside);
                for (int k = 0; k < 4; ++k) s.push_back(glx::Render("Vertex3fv", {F(-1), F(static_cast<float>(k)), F(0)}));
                s.push_back(glx::Render("End"));
                glx::Bytes out;
                for (const glx::Bytes& b : s) out.insert(out.end(), b.begin(), b.end());
                Render(out);
                if (a.pname == kEdgeFlag) EXPECT_EQ(Booleans(a.pname), std::vector<std::uint8_t>{0});
                else EXPECT_EQ(Floats(a.pname), a.want);
            }
        }
    }
    EXPECT_EQ(Error(), 0u);
}

TEST_F(CurrentAfterEndTest, ColorMaterialTakesTheLastColour) {
    Render(glx::Stream({glx::Render("ColorMaterial", {kFront, kDiffuse}), glx::Render("Enable", {kColorMaterial})}));
    const std::vector<float> ambientBefore = Single("GetMaterialfv", {kFront, kAmbient}).Values<float>();
    Render(Prim(kTriangles));
    EXPECT_EQ(Single("GetMaterialfv", {kFront, kDiffuse}).Values<float>(),
              (std::vector<float>{0.75f, 0.5f, 0.25f, 0.75f}));
    // Only the tracked material follows the colour.
    EXPECT_EQ(Single("GetMaterialfv", {kFront, kAmbient}).Values<float>(), ambientBefore);
    EXPECT_EQ(Error(), 0u);
}

}  // namespace
