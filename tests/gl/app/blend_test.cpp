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

constexpr GLenum kSources[] = {GL_ZERO,      GL_ONE,       GL_DST_COLOR,           GL_ONE_MINUS_DST_COLOR,
                               GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                               GL_SRC_ALPHA_SATURATE};
constexpr const char* kSourceNames[] = {"zero",      "one",           "dst_colour", "one_minus_dst_colour",
                                        "src_alpha", "one_minus_src_alpha", "dst_alpha", "one_minus_dst_alpha",
                                        "src_alpha_saturate"};
constexpr GLenum kDestinations[] = {GL_ZERO,      GL_ONE,       GL_SRC_COLOR,           GL_ONE_MINUS_SRC_COLOR,
                                    GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA};

// The destination every blend lands on: colours varying over the window,
// alpha from 0 on the left to 1 on the right (kept where there is an
// alpha buffer).
void Destination(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_QUADS);
    gl.Color4f(0.9f, 0.1f, 0.2f, 0.0f), gl.Vertex2f(0, 0);
    gl.Color4f(0.1f, 0.8f, 0.3f, 1.0f), gl.Vertex2f(256, 0);
    gl.Color4f(0.2f, 0.3f, 0.9f, 1.0f), gl.Vertex2f(256, 192);
    gl.Color4f(0.8f, 0.8f, 0.1f, 0.0f), gl.Vertex2f(0, 192);
    gl.End();
}

// A source quad in a band: alpha from 1 on the left to 0 on the right, the
// colour varying in both directions.
void Source(const Gl& gl, float y0, float y1) {
    gl.Begin(GL_QUADS);
    gl.Color4f(0.2f, 0.9f, 0.9f, 1.0f), gl.Vertex2f(8, y0);
    gl.Color4f(1.0f, 0.4f, 0.1f, 0.0f), gl.Vertex2f(248, y0);
    gl.Color4f(0.6f, 0.1f, 1.0f, 0.2f), gl.Vertex2f(248, y1);
    gl.Color4f(1.0f, 1.0f, 1.0f, 0.7f), gl.Vertex2f(8, y1);
    gl.End();
}

// One source factor against each destination factor, a band each, bottom
// to top in the order of kDestinations.
template <int kSource>
void Factors(const Gl& gl) {
    Destination(gl);
    gl.Enable(GL_BLEND);
    for (int d = 0; d < 8; ++d) {
        gl.BlendFunc(kSources[kSource], kDestinations[d]);
        Source(gl, 2.0f + 24.0f * d, 22.0f + 24.0f * d);
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
    Source(gl, 10, 90);
    gl.ColorMask(GL_FALSE, GL_TRUE, GL_FALSE, GL_TRUE);
    gl.BlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    Source(gl, 60, 130);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.BlendFunc(GL_DST_ALPHA, GL_ZERO);
    Source(gl, 110, 184);
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
    Source(gl, 10, 100);
    gl.StencilFunc(GL_EQUAL, 3, 0x3);
    gl.BlendFunc(GL_ONE, GL_ONE);
    Source(gl, 90, 184);
    gl.Disable(GL_BLEND);
    gl.Disable(GL_STENCIL_TEST);
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
    rows.push_back({.name = "stencil", .draw = BlendStencil, .tolerance = 4, .outliers = 0, .why = kWhy,
                    .buffers = kStencilBuffer});
    return rows;
}

const std::vector<Scene> kBlend = Rows(std::make_index_sequence<std::size(kSources)>());

VNX_APP_SCENES(Blend, kBlend);

}  // namespace
}  // namespace glapp_tests
