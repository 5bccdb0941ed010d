// Logical operations as a colour-index application uses them (in GL 1.0
// they apply to colour indices only). The reference renderer has no
// colour-index mode, so the indices read back are checked against each
// operation's definition on the source and destination indices.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// A colour-index window on a 16-bit display (where the board offers
// colour-index formats).
class AppLogicOp : public AppTest {
  protected:
    Wants Wanted() const override { return {glmachines::kSolo16, 0, true}; }
};

struct LogicOpRow {
    GLenum op;
    const char* name;
    std::uint8_t (*value)(std::uint8_t s, std::uint8_t d);
};

using U8 = std::uint8_t;
constexpr U8 B(int v) { return static_cast<U8>(v); }
const LogicOpRow kOps[] = {
    {GL_CLEAR, "CLEAR", [](U8, U8) { return B(0); }},
    {GL_AND, "AND", [](U8 s, U8 d) { return B(s & d); }},
    {GL_AND_REVERSE, "AND_REVERSE", [](U8 s, U8 d) { return B(s & ~d); }},
    {GL_COPY, "COPY", [](U8 s, U8) { return s; }},
    {GL_AND_INVERTED, "AND_INVERTED", [](U8 s, U8 d) { return B(~s & d); }},
    {GL_NOOP, "NOOP", [](U8, U8 d) { return d; }},
    {GL_XOR, "XOR", [](U8 s, U8 d) { return B(s ^ d); }},
    {GL_OR, "OR", [](U8 s, U8 d) { return B(s | d); }},
    {GL_NOR, "NOR", [](U8 s, U8 d) { return B(~(s | d)); }},
    {GL_EQUIV, "EQUIV", [](U8 s, U8 d) { return B(~(s ^ d)); }},
    {GL_INVERT, "INVERT", [](U8, U8 d) { return B(~d); }},
    {GL_OR_REVERSE, "OR_REVERSE", [](U8 s, U8 d) { return B(s | ~d); }},
    {GL_COPY_INVERTED, "COPY_INVERTED", [](U8 s, U8) { return B(~s); }},
    {GL_OR_INVERTED, "OR_INVERTED", [](U8 s, U8 d) { return B(~s | d); }},
    {GL_NAND, "NAND", [](U8 s, U8 d) { return B(~(s & d)); }},
    {GL_SET, "SET", [](U8, U8) { return B(0xFF); }},
};

// Each operation draws the source index 0x5C (every pairing of source and
// destination bits against 0x3A) in a 16 x 16 square of its own, as a
// rectangle, a triangle pair and a point-sized square of points; the whole
// window read back as indices.
TEST_F(AppLogicOp, SixteenOperationsOnIndices) {
    const Gl& gl = gl_;
    WindowCoordinates(gl);
    constexpr U8 kDst = 0x3A, kSrc = 0x5C;
    gl.ClearIndex(kDst);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Enable(GL_LOGIC_OP);
    gl.Indexi(kSrc);
    for (int k = 0; k < 16; ++k) {
        gl.LogicOp(kOps[k].op);
        const float x = 16.0f * k;
        gl.Rectf(x, 0, x + 16, 16);
        gl.Begin(GL_TRIANGLES);
        gl.Vertex2f(x, 20), gl.Vertex2f(x + 16, 20), gl.Vertex2f(x + 16, 36);
        gl.Vertex2f(x, 20), gl.Vertex2f(x + 16, 36), gl.Vertex2f(x, 36);
        gl.End();
        gl.PointSize(1.0f);
        gl.Begin(GL_POINTS);
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j) gl.Vertex2f(x + i + 0.5f, 40.0f + j + 0.5f);
        gl.End();
    }
    gl.Disable(GL_LOGIC_OP);
    std::vector<GLubyte> got(static_cast<std::size_t>(kWidth) * 60);
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, kWidth, 60, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, got.data());
    EXPECT_EQ(gl.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    for (int k = 0; k < 16; ++k) {
        const U8 want = kOps[k].value(kSrc, kDst);
        int wrong = 0;
        U8 seen = want;
        for (int y = 0; y < 56; ++y) {
            if ((y >= 16 && y < 20) || (y >= 36 && y < 40)) continue;  // between the shapes: the destination
            for (int x = 16 * k; x < 16 * k + 16; ++x) {
                const U8 v = got[static_cast<std::size_t>(y * kWidth + x)];
                if (v != want) ++wrong, seen = v;
            }
        }
        EXPECT_EQ(wrong, 0) << kOps[k].name << ": " << wrong << " pixels differ from 0x" << std::hex << int{want}
                            << ", e.g. 0x" << int{seen};
    }
    // Between the shapes and above them the destination is untouched.
    for (int x = 0; x < kWidth; ++x) {
        EXPECT_EQ(got[static_cast<std::size_t>(17 * kWidth + x)], kDst) << "x " << x;
        EXPECT_EQ(got[static_cast<std::size_t>(58 * kWidth + x)], kDst) << "x " << x;
    }
    EXPECT_EQ(BoardErrors(), "");
}

// The software stages in colour-index mode send each fragment's own index:
// an antialiased point (its covered pixels the index plus 15) and a line
// with a stipple repeat of 3 (which the board's line programs leave to
// them), over a cleared window.
TEST_F(AppLogicOp, SoftwarePointsAndLinesWriteTheirIndices) {
    const Gl& gl = gl_;
    gl.Viewport(0, 0, kWidth, kHeight);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(0, kWidth, 0, kHeight, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.ClearIndex(3);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Enable(GL_POINT_SMOOTH);
    gl.PointSize(3.0f);
    gl.Indexi(32);
    gl.Begin(GL_POINTS);
    gl.Vertex2f(100.5f, 100.5f);
    gl.End();
    gl.Disable(GL_POINT_SMOOTH);
    gl.Enable(GL_LINE_STIPPLE);
    gl.LineStipple(3, 0x7FFF);
    gl.Indexi(20);
    gl.Begin(GL_LINES);
    gl.Vertex2f(10.5f, 50.5f), gl.Vertex2f(40.5f, 50.5f);
    gl.End();
    gl.Disable(GL_LINE_STIPPLE);
    std::vector<GLubyte> got(kWidth * kHeight);
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, kWidth, kHeight, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, got.data());
    EXPECT_EQ(gl.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    auto at = [&](int x, int y) { return int{got[static_cast<std::size_t>(y * kWidth + x)]}; };
    // The point's centre and the four pixels a pixel from it are covered
    // wholly; the corners at 1.41 partly (coverage 0.59: 32 + 8.8).
    for (const auto& [x, y] : {std::pair{100, 100}, {99, 100}, {101, 100}, {100, 99}, {100, 101}})
        EXPECT_EQ(at(x, y), 47) << x << "," << y;
    EXPECT_EQ(at(99, 99), 40);
    EXPECT_EQ(at(98, 100), 3) << "outside the disc";
    // The line's 30 pixels (all within the pattern's first 45), nothing past them.
    for (int x = 10; x < 40; ++x) EXPECT_EQ(at(x, 50), 20) << x;
    EXPECT_EQ(at(9, 50), 3);
    EXPECT_EQ(at(40, 50), 3);
    EXPECT_EQ(BoardErrors(), "");
}

}  // namespace
}  // namespace glapp_tests
