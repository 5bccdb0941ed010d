// Blending as applications use it: every GL 1.0 source factor against
// every destination factor, with and without an alpha buffer (without one
// the destination's alpha reads 1), and blends with colour masks and the
// stencil test.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app_gl.h"
#include "app_scenes.h"

namespace glapp_tests {
namespace {


// The destination every blend lands on: colours varying over the window,
// alpha from 0 on the left to 1 on the right (kept where there is an
// alpha buffer).
void Destination(const Gl& gl) {
    Pixels(gl);
    BlendBackdrop(gl);
}

// One source factor against each destination factor, a band each, bottom
// to top in the order of kDestinations.
template <int kSource>
void Factors(const Gl& gl) {
    Destination(gl);
    gl.Enable(GL_BLEND);
    for (int d = 0; d < 8; ++d) {
        gl.BlendFunc(kSources[kSource], kDestinations[d]);
        BlendSource(gl, 2.0f + 24.0f * d, 22.0f + 24.0f * d);
    }
    gl.Disable(GL_BLEND);
}

// Blends under colour masks: red and blue, then green and alpha (the
// stored alpha then read back by a destination-alpha blend).
void BlendColourMask(const Gl& gl) {
    Destination(gl);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.ColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_FALSE);
    BlendSource(gl, 10, 90);
    gl.ColorMask(GL_FALSE, GL_TRUE, GL_FALSE, GL_TRUE);
    gl.BlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    BlendSource(gl, 60, 130);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.BlendFunc(GL_DST_ALPHA, GL_ZERO);
    BlendSource(gl, 110, 184);
    gl.Disable(GL_BLEND);
}

// Blends under the stencil test: stripes of stencil values, a modulating
// blend where the value is 1 or 2 and an additive one where it is 3.
void BlendStencil(const Gl& gl) {
    Destination(gl);
    StencilStripes(gl, {0, 1, 2, 3});
    gl.Enable(GL_STENCIL_TEST);
    gl.Enable(GL_BLEND);
    gl.StencilFunc(GL_LESS, 0, 0x3);  // 0 < value
    gl.BlendFunc(GL_DST_COLOR, GL_SRC_ALPHA);
    BlendSource(gl, 10, 100);
    gl.StencilFunc(GL_EQUAL, 3, 0x3);
    gl.BlendFunc(GL_ONE, GL_ONE);
    BlendSource(gl, 90, 184);
    gl.Disable(GL_BLEND);
    gl.Disable(GL_STENCIL_TEST);
}

// Blends of colours without an alpha of their own (alpha 1) into an alpha
// buffer: the destination-alpha factors read the alpha the backdrop left,
// the others write 1 or a blend of it back. Each primitive as applications
// send it: rectangles of the current colour (GL's smooth shading), a
// flat-shaded triangle, a quad of RGB vertex colours, lines, points and an
// RGB image; then the stored alpha as grey levels in a column at the right.
void FlatColours(const Gl& gl) {
    Destination(gl);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA);
    gl.Color4f(0.9f, 0.7f, 0.2f, 1.0f);
    gl.Rectf(8, 4, 200, 24);
    gl.BlendFunc(GL_ONE_MINUS_DST_ALPHA, GL_DST_ALPHA);
    gl.Color3f(0.2f, 0.6f, 0.9f);
    gl.Rectf(8, 28, 200, 48);
    gl.BlendFunc(GL_ONE, GL_ONE_MINUS_DST_ALPHA);
    gl.ShadeModel(GL_FLAT);
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(0.1f, 0.9f, 0.4f), gl.Vertex2f(8, 52);
    gl.Color3f(0.8f, 0.2f, 0.6f), gl.Vertex2f(200, 52);
    gl.Color3f(0.7f, 0.8f, 0.1f), gl.Vertex2f(104, 84);
    gl.End();
    gl.ShadeModel(GL_SMOOTH);
    gl.BlendFunc(GL_DST_ALPHA, GL_SRC_COLOR);
    gl.Begin(GL_QUADS);
    gl.Color3f(0.9f, 0.1f, 0.1f), gl.Vertex2f(8, 88);
    gl.Color3f(0.1f, 0.9f, 0.1f), gl.Vertex2f(200, 88);
    gl.Color3f(0.1f, 0.1f, 0.9f), gl.Vertex2f(200, 112);
    gl.Color3f(0.9f, 0.9f, 0.1f), gl.Vertex2f(8, 112);
    gl.End();
    gl.BlendFunc(GL_ONE_MINUS_DST_ALPHA, GL_ONE);
    gl.Color3f(0.3f, 0.8f, 0.8f);
    gl.Begin(GL_LINES);
    for (int k = 0; k < 4; ++k) gl.Vertex2f(8, 116.5f + 2 * k), gl.Vertex2f(200, 116.5f + 2 * k);
    gl.End();
    gl.BlendFunc(GL_DST_ALPHA, GL_ZERO);
    gl.Color3f(1.0f, 0.5f, 0.2f);
    gl.Begin(GL_POINTS);
    for (int x = 8; x < 200; x += 2) gl.Vertex2f(x + 0.5f, 126.5f), gl.Vertex2f(x + 1.5f, 128.5f);
    gl.End();
    // An RGB image (its alpha 1) under a destination-alpha blend.
    constexpr int w = 192, h = 24;
    std::vector<GLubyte> rgb(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            GLubyte* p = &rgb[static_cast<std::size_t>((y * w + x) * 3)];
            p[0] = static_cast<GLubyte>(x), p[1] = static_cast<GLubyte>(10 * y), p[2] = 200;
        }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.BlendFunc(GL_ONE_MINUS_DST_ALPHA, GL_DST_ALPHA);
    gl.RasterPos2i(8, 134);
    gl.DrawPixels(w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    // A bitmap in the raster colour (alpha 1) under the same blend.
    std::vector<GLubyte> bits(static_cast<std::size_t>(24) * 4);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = (i / 24) % 2 == 0 ? 0xF0 : 0x3C;
    gl.Color3f(0.9f, 0.9f, 0.3f);
    gl.RasterPos2i(8, 158);
    gl.Bitmap(192, 4, 0, 0, 0, 0, bits.data());
    // Source alpha 1 into the alpha buffer: the alpha becomes 1 there.
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.Color3f(0.5f, 0.3f, 0.7f);
    gl.Rectf(8, 162, 100, 186);
    gl.BlendFunc(GL_ZERO, GL_SRC_ALPHA);
    gl.Rectf(100, 162, 200, 186);
    // The alpha the blends left, as grey levels.
    gl.BlendFunc(GL_DST_ALPHA, GL_ZERO);
    gl.Color3f(1.0f, 1.0f, 1.0f);
    gl.Rectf(208, 0, 256, 192);
    gl.Disable(GL_BLEND);
}

// The rows: each source factor with and without an alpha buffer, then the
// masks and the stencil test.
template <std::size_t... kSource>
std::vector<Scene> Rows(std::index_sequence<kSource...>) {
    static const char* const kWhy =
        "colour and alpha interpolated along spans (a level either way), then two products each rounded and summed";
    static std::vector<std::string> names;
    names.clear();
    for (const char* n : kSourceNames) names.push_back(std::string(n) + "_alpha_buffer");
    for (const char* n : kSourceNames) names.push_back(n);
    std::vector<Scene> rows;
    const std::pair<int, void (*)(const Gl&)> sources[] = {{static_cast<int>(kSource), Factors<kSource>}...};
    for (const auto& [s, draw] : sources)
        rows.push_back({.name = names[static_cast<std::size_t>(s)].c_str(),
                        .draw = draw,
                        .tolerance = 4,
                        .outliers = 0,
                        .why = kWhy,
                        .buffers = kAlphaBuffer});
    for (const auto& [s, draw] : sources)
        rows.push_back({.name = names[static_cast<std::size_t>(s) + sizeof...(kSource)].c_str(),
                        .draw = draw,
                        .tolerance = 4,
                        .outliers = 0,
                        .why = kWhy});
    rows.push_back({.name = "colour_mask", .draw = BlendColourMask, .tolerance = 4, .outliers = 0, .why = kWhy,
                    .buffers = kAlphaBuffer});
    rows.push_back({.name = "flat_colours_alpha_buffer", .draw = FlatColours, .tolerance = 4, .outliers = 0,
                    .why = "the backdrop's colour and alpha interpolated along spans, then two products each rounded "
                           "and summed",
                    .buffers = kAlphaBuffer});
    rows.push_back({.name = "stencil", .draw = BlendStencil, .tolerance = 4, .outliers = 0, .why = kWhy,
                    .buffers = kStencilBuffer});
    return rows;
}

const std::vector<Scene> kBlend = Rows(std::make_index_sequence<std::size(kSources)>());

VNX_APP_SCENES(Blend, kBlend);

}  // namespace
}  // namespace glapp_tests
