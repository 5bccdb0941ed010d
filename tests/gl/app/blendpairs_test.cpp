// Every blend factor pair under the states that share a render program with
// the blend: the stencil test, an alpha buffer, a partial colour mask and a
// textured backdrop, each alone and together, at 32 and 16 bits a pixel.
// A row is one source factor under one set of states: the eight
// destination factors as bands over a backdrop, then the stored alpha shown
// in a column at the right (a DST_ALPHA blend of white), so that what the
// blends wrote into an alpha buffer reaches the picture too.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app_gl.h"
#include "app_scenes.h"

namespace glapp_tests {
namespace {


// The states a row combines.
enum : unsigned { kStencil = 1, kAlpha = 2, kMask = 4, kTexture = 8, kStates = 16 };

// A textured part of the backdrop, drawn without blending: an RGB texture
// modulated by one colour of alpha 1 over the left half, whose fragments'
// alpha (the colour's: an RGB texel has none) goes into the alpha buffer.
void TexturedBackdrop(const Gl& gl) {
    std::vector<GLubyte> rgb(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const GLubyte v[3] = {static_cast<GLubyte>(30 * x + 20), static_cast<GLubyte>(250 - 30 * y),
                                  static_cast<GLubyte>((x + y) % 2 == 0 ? 230 : 40)};
            for (int c = 0; c < 3; ++c) rgb[static_cast<std::size_t>((y * 8 + x) * 3 + c)] = v[c];
        }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.Enable(GL_TEXTURE_2D);
    // Coordinates the board takes exactly (sixteenths of a texel), past the
    // texel edges by a fraction of a pixel: no pixel centre lies on one.
    const float e = 1.0f / 128;
    auto quad = [&](float x0, float y0, float x1, float y1) {
        gl.Begin(GL_QUADS);
        gl.TexCoord2f(e, e), gl.Vertex2f(x0, y0);
        gl.TexCoord2f(1 + e, e), gl.Vertex2f(x1, y0);
        gl.TexCoord2f(1 + e, 1 + e), gl.Vertex2f(x1, y1);
        gl.TexCoord2f(e, 1 + e), gl.Vertex2f(x0, y1);
        gl.End();
    };
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    gl.Color4f(0.9f, 0.8f, 1.0f, 1.0f);
    quad(0, 8, 128, 184);
    gl.Disable(GL_TEXTURE_2D);
}

// One source factor against each destination factor, a band each, bottom
// to top in the order of kDestinations, under the row's states; then the
// alpha column.
template <int kSource, unsigned kState>
void Pairs(const Gl& gl) {
    Pixels(gl);
    if (kState & kStencil) StencilStripes(gl, {0, 1, 2, 3});
    BlendBackdrop(gl);
    if (kState & kTexture) TexturedBackdrop(gl);
    if (kState & kStencil) {
        // Three stripes of four pass, and count up where they do: the
        // program writes the stencil buffer beside the colour (and the
        // alpha buffer).
        gl.Enable(GL_STENCIL_TEST);
        gl.StencilFunc(GL_NOTEQUAL, 2, 0x3);
        gl.StencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    }
    if (kState & kMask) gl.ColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE);
    gl.Enable(GL_BLEND);
    for (int d = 0; d < 8; ++d) {
        gl.BlendFunc(kSources[kSource], kDestinations[d]);
        BlendSource(gl, 2.0f + 24.0f * d, 22.0f + 24.0f * d);
    }
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    gl.Disable(GL_STENCIL_TEST);
    // The alpha the blends left, as grey levels (white without an alpha
    // buffer, whose alpha reads 1).
    gl.BlendFunc(GL_DST_ALPHA, GL_ZERO);
    gl.Color4f(1.0f, 1.0f, 1.0f, 1.0f);
    gl.Rectf(208, 0, 256, 192);
    gl.Disable(GL_BLEND);
}

std::string StateName(unsigned state) {
    std::string n;
    if (state & kStencil) n += "_stencil";
    if (state & kAlpha) n += "_alpha_buffer";
    if (state & kMask) n += "_mask";
    if (state & kTexture) n += "_texture";
    return n.empty() ? "_plain" : n;
}

template <std::size_t... kRow>
std::vector<Scene> Rows(std::index_sequence<kRow...>) {
    static const char* const kWhy =
        "colour and alpha interpolated along spans (a level either way), then two products each rounded and summed; "
        "the alpha column a blended alpha rounded once more; the texels' edges";
    static std::vector<std::string> names;
    names.clear();
    constexpr std::size_t kPerSource = kStates;
    for (std::size_t r = 0; r < sizeof...(kRow); ++r)
        names.push_back(kSourceNames[r / kPerSource] + StateName(static_cast<unsigned>(r % kPerSource)));
    const std::pair<std::size_t, void (*)(const Gl&)> draws[] = {
        {kRow, Pairs<static_cast<int>(kRow / kPerSource), static_cast<unsigned>(kRow % kPerSource)>}...};
    std::vector<Scene> rows;
    for (const auto& [r, draw] : draws) {
        const unsigned state = static_cast<unsigned>(r % kPerSource);
        rows.push_back({.name = names[r].c_str(),
                        .draw = draw,
                        .tolerance = (state & kAlpha) ? 6 : 4,
                        .outliers = (state & kTexture) ? 40 : 0,
                        .why = kWhy,
                        .buffers = ((state & kAlpha) ? kAlphaBuffer : 0u) | ((state & kStencil) ? kStencilBuffer : 0u)});
    }
    return rows;
}

const std::vector<Scene> kPairs = Rows(std::make_index_sequence<std::size(kSources) * kStates>());

// At 32 and at 16 bits a pixel.
const glmachines::Machine kDepths[] = {glmachines::kSolo32, glmachines::kSolo16};

VNX_APP_SCENES_ON(BlendPairs, kPairs, kDepths);

}  // namespace
}  // namespace glapp_tests
