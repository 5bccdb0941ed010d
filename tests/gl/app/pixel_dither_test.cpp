// Dithering of pixel rectangles: at 8 and 16 bits a pixel, with dithering
// on (as GL starts), an RGBA image of one colour between two levels of the
// format that the pixel path draws (under the alpha test) comes out spread
// over the same levels as a rectangle of that colour: dithered once, by
// the board's program.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

class PixelDitherTest : public AppTest, public ::testing::WithParamInterface<Machine> {
  protected:
    Wants Wanted() const override { return {GetParam()}; }
    // The colours of the window's rectangle x0..x0+w, GL rows y0..y0+h.
    std::set<std::uint32_t> ColoursIn(const std::vector<std::uint32_t>& picture, int x0, int y0, int w, int h) {
        std::set<std::uint32_t> s;
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) s.insert(picture[static_cast<std::size_t>((kHeight - 1 - y) * kWidth + x)]);
        return s;
    }
};

TEST_P(PixelDitherTest, ImagesAreDitheredAsRectanglesAre) {
    const Gl& gl = gl_;
    Pixels(gl);
    // Grey 0.5: between two levels at 8 and at 16 bits a pixel.
    constexpr int w = 32, h = 16;
    std::vector<GLubyte> image(static_cast<std::size_t>(w) * h * 4, 128);
    gl.Color4ub(128, 128, 128, 255);
    gl.Rectf(10, 10, 10 + w, 10 + h);
    gl.Enable(GL_ALPHA_TEST);
    gl.AlphaFunc(GL_ALWAYS, 0);
    gl.RasterPos2i(110, 10);
    gl.DrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
    gl.Disable(GL_ALPHA_TEST);
    gl.Finish();
    EXPECT_EQ(gl.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    const std::vector<std::uint32_t> picture = Picture();
    ASSERT_EQ(picture.size(), static_cast<std::size_t>(kWidth) * kHeight);
    const std::set<std::uint32_t> rect = ColoursIn(picture, 10, 10, w, h);
    EXPECT_GT(rect.size(), 1u) << "the rectangle is dithered";
    EXPECT_EQ(ColoursIn(picture, 110, 10, w, h), rect) << "the image drawn by the pixel path";
}

const Machine kDithered[] = {glmachines::kSolo16, glmachines::kQuad16, glmachines::kSolo8};
INSTANTIATE_TEST_SUITE_P(Depths, PixelDitherTest, ::testing::ValuesIn(kDithered),
                         [](const ::testing::TestParamInfo<Machine>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace glapp_tests
