// Textured pictures through the software paths: triangles, quads, a
// polygon, a strip and a fan, and a floor seen in perspective, with every
// filter (nearest, linear and the four mipmap filters), every texture
// environment (modulate, decal, blend, and decal of a four-component
// texture), repeat and clamp, sent with the debug switch that draws every
// primitive through the software stages (span rasteriser, texture stage,
// colour write as single-pixel packets) and compared with OSMesa on 1, 2
// and 4 rasterizers.
//
// A scene whose path through the server still reaches a seam is skipped,
// naming the seam.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "lgi/3d/pipes/pipes.h"
#include "pictures_fixture.h"

namespace {

using namespace pictures;

enum : std::uint32_t {
    kTexture2d = 0x0DE1,
    kMagFilter = 0x2800, kMinFilter, kWrapS, kWrapT, kNearest = 0x2600, kLinear = 0x2601,
    kNearestMipmapNearest = 0x2700, kLinearMipmapNearest, kNearestMipmapLinear, kLinearMipmapLinear,
    kClamp = 0x2900, kRepeat = 0x2901, kTextureEnv = 0x2300, kTextureEnvMode = 0x2200, kTextureEnvColour,
    kModulate = 0x2100, kDecal = 0x2101, kBlendEnv = 0x0BE2, kBorderColour = 0x1004,
    kFront = 0x0404, kBack = 0x0405, kLine = 0x1B01, kFill = 0x1B02,
};

Call Floats(const char* request, std::initializer_list<std::uint32_t> head, std::initializer_list<float> values) {
    Call c = C(request, head);
    for (float v : values) c.words.push_back(glx::F(v));
    return c;
}

// The texture: 16 x 16 texels, red a ramp to the right, blue a ramp
// downwards, green a checker of 2-texel squares (and, with four
// components, alpha falling to the right); each smaller level the 2 x 2
// mean of the one above, so a level drawn too fine shows the checker where
// the reference shows its grey, and one level more or less differs little.
constexpr std::uint32_t kSize = 16;
std::vector<std::vector<std::uint8_t>> Levels(std::uint32_t n) {
    std::vector<std::vector<std::uint8_t>> levels(1, std::vector<std::uint8_t>(kSize * kSize * n));
    for (std::uint32_t y = 0; y < kSize; ++y)
        for (std::uint32_t x = 0; x < kSize; ++x) {
            std::uint8_t* p = &levels[0][(y * kSize + x) * n];
            p[0] = static_cast<std::uint8_t>(x * 16 + 8);
            p[1] = static_cast<std::uint8_t>((x / 2 + y / 2) % 2 == 1 ? 40 : 220);
            p[2] = static_cast<std::uint8_t>(255 - y * 16);
            if (n == 4) p[3] = static_cast<std::uint8_t>(255 - x * 12);
        }
    for (std::uint32_t size = kSize / 2; size >= 1; size /= 2) {
        const std::vector<std::uint8_t>& up = levels.back();
        std::vector<std::uint8_t> l(size * size * n);
        for (std::uint32_t y = 0; y < size; ++y)
            for (std::uint32_t x = 0; x < size; ++x)
                for (std::uint32_t k = 0; k < n; ++k) {
                    auto at = [&](std::uint32_t i, std::uint32_t j) { return up[(j * 2 * size + i) * n + k]; };
                    l[(y * size + x) * n + k] = static_cast<std::uint8_t>(
                        (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1) + 2) / 4);
                }
        levels.push_back(std::move(l));
    }
    return levels;
}

// The texture state of a row and the texture itself (every level for a
// mipmap filter, the first alone otherwise).
Calls TextureState(std::uint32_t minFilter, std::uint32_t magFilter, std::uint32_t wrap, std::uint32_t env,
                   std::uint32_t n) {
    Calls c{Floats("TexParameterfv", {kTexture2d, kMinFilter}, {static_cast<float>(minFilter)}),
            Floats("TexParameterfv", {kTexture2d, kMagFilter}, {static_cast<float>(magFilter)}),
            Floats("TexParameterfv", {kTexture2d, kWrapS}, {static_cast<float>(wrap)}),
            Floats("TexParameterfv", {kTexture2d, kWrapT}, {static_cast<float>(wrap)}),
            Floats("TexEnvfv", {kTextureEnv, kTextureEnvMode}, {static_cast<float>(env)}),
            Floats("TexEnvfv", {kTextureEnv, kTextureEnvColour}, {0.9f, 0.3f, 0.6f, 1}),
            C("ShadeModel", {kSmooth})};
    const bool mipmaps = minFilter != kNearest && minFilter != kLinear;
    const std::uint32_t format = n == 4 ? kRgba : kRgb;
    std::uint32_t level = 0;
    for (std::vector<std::uint8_t>& image : Levels(n)) {
        const std::uint32_t size = kSize >> level;
        c.push_back(Call{"TexImage2D", {kTexture2d, level, n, size, size, 0, format, kUnsignedByte}, std::move(image)});
        if (!mipmaps) break;
        ++level;
    }
    c.push_back(C("Enable", {kTexture2d}));
    return c;
}

// A textured vertex: texture coordinates, window (or eye) position, colour.
struct TV {
    float s, t, x, y, z, r, g, b;
};
Calls TexPrimitive(std::uint32_t mode, std::initializer_list<TV> vs) {
    Calls c{C("Begin", {mode})};
    for (const TV& v : vs) {
        c.push_back(Colour(v.r, v.g, v.b));
        c.push_back(C("TexCoord2fv", {glx::F(v.s), glx::F(v.t)}));
        c.push_back(Vertex(v.x, v.y, v.z));
    }
    c.push_back(C("End"));
    return c;
}

// The perspective view of the floor scenes: the eye at the origin looking
// down -z, the near plane 1 and the far 30 units away.
Calls FloorView() {
    return {C("MatrixMode", {kProjection}), C("LoadIdentity"), Double("Frustum", {-1, 1, -0.75, 0.75, 1, 30}),
            C("MatrixMode", {kModelview}), C("LoadIdentity")};
}

// The shapes, in window coordinates. Each magnifies the texture in one
// place (coordinates beyond 0..1 there, so the wrap shows) and shrinks it
// in another.
enum Shape { kTris, kQuadShape, kPolygonShape, kStripFan, kFloor, kFloorLines };

Calls ShapeCalls(Shape shape) {
    switch (shape) {
    case kTris:
        // Magnified (about 100 pixels a repeat), then minified (4 and 5
        // repeats over some 80 pixels).
        return With(TexPrimitive(kTriangles, {{-0.25f, -0.25f, 10, 12, 0, 1, 1, 1},
                                              {1.25f, -0.2f, 150, 22, 0, 1, 0.5f, 0.5f},
                                              {0.3f, 1.3f, 62, 182, 0, 0.5f, 1, 0.5f},
                                              {0, 0, 160, 10, 0, 1, 1, 1},
                                              {4, 0.5f, 250, 34, 0, 0.8f, 0.9f, 1},
                                              {1, 5, 196, 120, 0, 1, 0.9f, 0.7f}}),
                    TexPrimitive(kTriangles, {{0.1f, 0.2f, 150, 182, 0, 0.7f, 0.7f, 1},
                                              {3.1f, 0.4f, 240, 150, 0, 1, 1, 1},
                                              {2.5f, 2.9f, 236, 186, 0, 1, 0.8f, 0.8f}}));
    case kQuadShape:
        // Magnified: 1.5 repeats over 150 x 150 pixels (no texel edge on a
        // pixel centre); minified: 3 repeats over 60 x 60 pixels and 6 over
        // 48 x 48 (2 texels a pixel), their corners on the sixteenths the
        // board's positions hold, a third of a pixel off the pixel grid.
        return TexPrimitive(kQuads, {{-0.247f, -0.247f, 10, 20, 0, 1, 1, 1},
                                     {1.253f, -0.247f, 160, 20, 0, 1, 0.5f, 0.5f},
                                     {1.253f, 1.253f, 160, 170, 0, 0.5f, 1, 0.5f},
                                     {-0.247f, 1.253f, 10, 170, 0, 0.5f, 0.5f, 1},
                                     {0, 0, 180.3125f, 20.3125f, 0, 1, 1, 1},
                                     {3, 0, 240.3125f, 20.3125f, 0, 1, 1, 1},
                                     {3, 3, 240.3125f, 80.3125f, 0, 1, 1, 1},
                                     {0, 3, 180.3125f, 80.3125f, 0, 1, 1, 1},
                                     {0, 0, 190.3125f, 110.3125f, 0, 0.8f, 0.9f, 1},
                                     {6, 0, 238.3125f, 110.3125f, 0, 0.8f, 0.9f, 1},
                                     {6, 6, 238.3125f, 158.3125f, 0, 0.8f, 0.9f, 1},
                                     {0, 6, 190.3125f, 158.3125f, 0, 0.8f, 0.9f, 1}});
    case kPolygonShape:
        return TexPrimitive(kPolygon, {{0.5f, -0.3f, 128, 10, 0, 1, 1, 1},
                                       {1.6f, 0.4f, 236, 70, 0, 1, 0.6f, 0.4f},
                                       {1.2f, 1.5f, 200, 180, 0, 0.6f, 1, 0.4f},
                                       {-0.2f, 1.5f, 50, 180, 0, 0.4f, 0.6f, 1},
                                       {-0.5f, 0.4f, 16, 70, 0, 1, 1, 0.5f}});
    case kStripFan:
        return With(TexPrimitive(kTriangleStrip, {{0, 0, 10, 20, 0, 1, 1, 1},
                                                  {0, 1, 10, 100, 0, 1, 0.5f, 0.5f},
                                                  {1, 0, 60, 30, 0, 0.5f, 1, 0.5f},
                                                  {1, 1, 70, 110, 0, 0.5f, 0.5f, 1},
                                                  {2, 0, 110, 20, 0, 1, 1, 0.5f},
                                                  {2.5f, 1, 130, 100, 0, 1, 1, 1}}),
                    TexPrimitive(kTriangleFan, {{0.5f, 0.5f, 190, 130, 0, 1, 1, 1},
                                                {-1, -1, 150, 60, 0, 1, 0.4f, 0.4f},
                                                {2, -1, 240, 70, 0, 0.4f, 1, 0.4f},
                                                {2, 2, 246, 186, 0, 0.4f, 0.4f, 1},
                                                {-1, 2, 140, 180, 0, 1, 1, 0.4f}}));
    case kFloor:
        // A floor under a perspective projection, from 1.5 to 6 units in
        // front of the eye: its texture a half unit a repeat, so the near
        // end magnifies and the far end shrinks. White: the reference
        // interpolates colours perspective-correctly too, the span
        // rasteriser along the screen (both GL's), which would show here.
        return With(FloorView(),
                    TexPrimitive(kQuads, {{-0.6f, 0, -1.2f, -1, -1.5f, 1, 1, 1},
                                          {0.6f, 0, 1.2f, -1, -1.5f, 1, 1, 1},
                                          {2.4f, 2.25f, 4.8f, -1, -6, 1, 1, 1},
                                          {-2.4f, 2.25f, -4.8f, -1, -6, 1, 1, 1}}));
    case kFloorLines:
        // Lines running away from the eye along the floor above, the
        // texture's t along them: the texel edges fall along each line
        // where the perspective puts them (closer together far away).
        return With(FloorView(),
                    TexPrimitive(kLines, {{0.1f, 0.05f, -1.0f, -1, -1.5f, 1, 1, 1},
                                          {0.1f, 2.3f, -4.0f, -1, -6, 1, 1, 1},
                                          {0.35f, 0.05f, -0.35f, -1, -1.5f, 1, 1, 1},
                                          {0.35f, 2.3f, -1.4f, -1, -6, 1, 1, 1},
                                          {0.6f, 0.05f, 0.3f, -1, -1.5f, 1, 1, 1},
                                          {0.6f, 2.3f, 1.2f, -1, -6, 1, 1, 1},
                                          {0.85f, 0.05f, 0.95f, -1, -1.5f, 1, 1, 1},
                                          {0.85f, 2.3f, 3.8f, -1, -6, 1, 1, 1}}));
    }
    return {};
}

template <std::uint32_t Min, std::uint32_t Mag, std::uint32_t Wrap, std::uint32_t Env, Shape S, std::uint32_t N = 3>
Calls Tex() {
    return With(Start(), With(TextureState(Min, Mag, Wrap, Env, N), ShapeCalls(S)));
}

// The same with a border colour of the texture's own: a green that no
// texel has, to show where the linear filter under clamp takes it.
template <std::uint32_t Min, std::uint32_t Mag, std::uint32_t Env, Shape S>
Calls TexBorder() {
    return With(Start(), With(With(TextureState(Min, Mag, kClamp, Env, 3),
                                   {Floats("TexParameterfv", {kTexture2d, kBorderColour}, {0.1f, 0.9f, 0.3f, 1})}),
                              ShapeCalls(S)));
}

// Tolerances. The span rasteriser covers exactly the reference's pixels
// (as the untextured software rows) and both sample textures as GL does,
// at the pixel centres, from coordinates interpolated perspective-
// correctly; the scenes keep texel edges off pixel centres. What remains:
// single pixels where a texel edge passes within the board's sixteenth of
// a pixel of a pixel centre (the reference keeps its vertices in floating
// point: a few pixels of the nearest filters);
// neighbours weighed by fractions that differ in their last bits (linear
// filters: a few levels); the fragment colour and the product rounded once
// on each side; where several texels fall in one pixel (the far rows of
// the floor) the texel or the weights a pixel takes depend on the last
// bits of s/q, so single pixels there differ by the texture's contrast.
// Mipmaps: the minified quads take the level the reference takes; on the
// floor the level of detail is computed a fragment here (the larger x
// and y changes of u plus those of v) and by the reference with its own
// measure of the footprint, so in the far rows, where the level changes
// every few rows, the picture shows the neighbouring level (levels are
// 2 x 2 means of the one above: those pixels differ by the contrast
// between two levels, the checker's at most).
const Scene kFilterScenes[] = {
    {"tex_nearest_modulate_tris", Tex<kNearest, kNearest, kRepeat, kModulate, kTris>, 2, 8, "texel edges"},
    {"tex_linear_modulate_tris", Tex<kLinear, kLinear, kRepeat, kModulate, kTris>, 4, 0, "filter weights"},
    {"tex_nearest_decal_quads", Tex<kNearest, kNearest, kRepeat, kDecal, kQuadShape>, 2, 0, "texel edges"},
    {"tex_linear_decal_quads", Tex<kLinear, kLinear, kRepeat, kDecal, kQuadShape>, 4, 0, "filter weights"},
    {"tex_nearest_blend_quads", Tex<kNearest, kNearest, kRepeat, kBlendEnv, kQuadShape>, 2, 0, "texel edges"},
    {"tex_linear_blend_quads", Tex<kLinear, kLinear, kRepeat, kBlendEnv, kQuadShape>, 4, 0, "filter weights"},
    {"tex_linear_modulate_quads", Tex<kLinear, kLinear, kRepeat, kModulate, kQuadShape>, 4, 0, "filter weights"},
    {"tex_linear_decal_rgba_quads", Tex<kLinear, kLinear, kRepeat, kDecal, kQuadShape, 4>, 4, 0,
     "the texel over the fragment by the texel's alpha"},
    {"tex_nearest_clamp_quads", Tex<kNearest, kNearest, kClamp, kModulate, kQuadShape>, 2, 0, "texel edges"},
    // Linear under clamp: the neighbours past the edge are the border
    // colour, blended in along the texture's edge and over the clamped
    // area.
    {"tex_linear_clamp_quads", Tex<kLinear, kLinear, kClamp, kModulate, kQuadShape>, 4, 0, "filter weights"},
    {"tex_linear_clamp_strip_fan", Tex<kLinear, kLinear, kClamp, kBlendEnv, kStripFan>, 4, 0, "clamped edges"},
    {"tex_linear_clamp_border_colour_quads", TexBorder<kLinear, kLinear, kDecal, kQuadShape>, 4, 0, "filter weights"},
    {"tex_nearest_clamp_border_colour_quads", TexBorder<kNearest, kNearest, kModulate, kQuadShape>, 2, 0,
     "texel edges (the nearest filter never takes the border)"},
    {"tex_linear_modulate_polygon", Tex<kLinear, kLinear, kRepeat, kModulate, kPolygonShape>, 4, 0, "fan triangles"},
    {"tex_nearest_decal_polygon", Tex<kNearest, kNearest, kRepeat, kDecal, kPolygonShape>, 2, 8, "texel edges"},
    {"tex_linear_modulate_strip_fan", Tex<kLinear, kLinear, kRepeat, kModulate, kStripFan>, 4, 0, "shared edges"},
    {"tex_nearest_modulate_floor", Tex<kNearest, kNearest, kRepeat, kModulate, kFloor>, 2, 400,
     "the far rows, several texels a pixel"},
    {"tex_linear_modulate_floor", Tex<kLinear, kLinear, kRepeat, kModulate, kFloor>, 4, 1000,
     "the far rows, several texels a pixel"},
    {"tex_nearest_modulate_floor_lines", Tex<kNearest, kNearest, kRepeat, kModulate, kFloorLines>, 2, 16,
     "texel edges along the lines"},
};
// Mipmapped textures, on a board that mip-maps (without one the texture
// validation draws them LINEAR): the minified quads and the floor.
const Scene kMipmapScenes[] = {
    {"tex_mipmap_nearest_nearest_quads", Tex<kNearestMipmapNearest, kNearest, kRepeat, kModulate, kQuadShape>, 2, 0,
     "the level where it changes", kMipmaps},
    {"tex_mipmap_linear_nearest_quads", Tex<kLinearMipmapNearest, kLinear, kRepeat, kModulate, kQuadShape>, 4, 0,
     "the level where it changes", kMipmaps},
    {"tex_mipmap_nearest_linear_quads", Tex<kNearestMipmapLinear, kNearest, kRepeat, kModulate, kQuadShape>, 8, 0,
     "the blend of two levels", kMipmaps},
    {"tex_mipmap_linear_linear_quads", Tex<kLinearMipmapLinear, kLinear, kRepeat, kModulate, kQuadShape>, 8, 0,
     "the blend of two levels", kMipmaps},
    {"tex_mipmap_nearest_mag_linear_quads", Tex<kNearestMipmapNearest, kLinear, kRepeat, kModulate, kQuadShape>, 4,
     0, "magnification up to a level of detail of 0.5", kMipmaps},
    {"tex_mipmap_nearest_nearest_floor", Tex<kNearestMipmapNearest, kNearest, kRepeat, kModulate, kFloor>, 2, 2000,
     "the level where it changes", kMipmaps},
    {"tex_mipmap_linear_linear_floor", Tex<kLinearMipmapLinear, kLinear, kRepeat, kModulate, kFloor>, 8, 2000,
     "the blend of two levels", kMipmaps},
    {"tex_mipmap_linear_nearest_floor_decal", Tex<kLinearMipmapNearest, kLinear, kRepeat, kDecal, kFloor>, 4, 2000,
     "the level where it changes", kMipmaps},
};


class SoftwareTexturePictureTest : public PictureFixture {
  protected:
    // The switch is process-wide: no later test may inherit it.
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        PictureFixture::TearDown();
    }
};

TEST_P(SoftwareTexturePictureTest, MatchesTheReference) {
    MatchesReference("sw-", [this](const Calls& calls) {
        gNForceSoftwarePaths = 1;
        Send(calls);
        gNForceSoftwarePaths = 0;
    });
}

INSTANTIATE_TEST_SUITE_P(Textures, SoftwareTexturePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kFilterScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);
INSTANTIATE_TEST_SUITE_P(Mipmaps, SoftwareTexturePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kMipmapScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

// Projective texture coordinates (glTexCoord4 with q other than 1): GL
// textures with (s/q, t/q), s, t and q interpolated perspective-correctly.
// The calls carry (s q, t q, 0, q) for the (s, t) shown. Orthographic: a
// quad whose right-hand corners carry q = 2 (along the screen the texture
// no longer runs linearly) and one with q = 2 at every corner; perspective:
// a floor whose far corners carry q = 2.
struct TQ {
    float s, t, q, x, y, z;
};
Calls ProjectivePrimitive(std::initializer_list<TQ> vs) {
    Calls c{C("Begin", {kQuads})};
    for (const TQ& v : vs) {
        c.push_back(Colour(1, 1, 1));
        c.push_back(C("TexCoord4fv", {glx::F(v.s * v.q), glx::F(v.t * v.q), glx::F(0), glx::F(v.q)}));
        c.push_back(Vertex(v.x, v.y, v.z));
    }
    c.push_back(C("End"));
    return c;
}
template <std::uint32_t Min, bool Perspective>
Calls Projective() {
    Calls c = With(Start(), TextureState(Min, Min, kRepeat, kModulate, 3));
    if (!Perspective)
        return With(c, ProjectivePrimitive({{-0.247f, -0.247f, 1, 10, 20, 0},
                                            {1.753f, -0.247f, 2, 170, 20, 0},
                                            {1.753f, 1.753f, 2, 170, 180, 0},
                                            {-0.247f, 1.753f, 1, 10, 180, 0},
                                            {0.003f, 0.003f, 2, 180.3125f, 40.3125f, 0},
                                            {1.503f, 0.003f, 2, 244.3125f, 40.3125f, 0},
                                            {1.503f, 1.503f, 2, 244.3125f, 136.3125f, 0},
                                            {0.003f, 1.503f, 2, 180.3125f, 136.3125f, 0}}));
    return With(With(c, FloorView()),
                ProjectivePrimitive({{-0.6f, 0, 1, -1.2f, -1, -1.5f},
                                     {0.6f, 0, 1, 1.2f, -1, -1.5f},
                                     {1.2f, 1.5f, 2, 1.8f, -1, -3.5f},
                                     {-1.2f, 1.5f, 2, -1.8f, -1, -3.5f}}));
}

// Tolerances as the quads and the floor above; the magnified floor's
// nearest texel edges pass close to more pixel centres (single pixels).
const Scene kProjectiveScenes[] = {
    {"tex_projective_nearest_ortho", Projective<kNearest, false>, 2, 8, "texel edges"},
    {"tex_projective_linear_ortho", Projective<kLinear, false>, 4, 0, "filter weights"},
    {"tex_projective_nearest_perspective", Projective<kNearest, true>, 2, 400, "texel edges"},
    {"tex_projective_linear_perspective", Projective<kLinear, true>, 4, 100, "filter weights"},
};

INSTANTIATE_TEST_SUITE_P(Projective, SoftwareTexturePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kProjectiveScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

// Textured faces whose two sides take different paths in one primitive:
// front faces outlined (textured outlines draw through the software
// stages, their colour write heading its single-pixel packets with a
// program of its own), back faces filled by the board's textured program,
// which is built after the front pipe is set up. Back-facing quads on the
// left and at the bottom right, a front-facing one beside them (the two
// pipes draw a batch's faces one pipe after the other, so the faces do
// not overlap); all magnified, 5 or 6 pixels a texel, with every texel
// edge at least a sixth of a pixel from the pixel centres and the
// outlines where the outline rows have them.
Calls FrontOutlinesBackFilled() {
    return With(With(Start(), TextureState(kNearest, kNearest, kRepeat, kModulate, 3)),
                With({C("ShadeModel", {kFlat}), C("PolygonMode", {kFront, kLine}), C("PolygonMode", {kBack, kFill})},
                     TexPrimitive(kQuads, {{0, 0, 10.8125f, 20.6875f, 0, 1, 1, 1},
                                           {0, 1.875f, 10.8125f, 170.6875f, 0, 1, 1, 1},
                                           {1.5f, 1.875f, 130.8125f, 170.6875f, 0, 1, 1, 1},
                                           {1.5f, 0, 130.8125f, 20.6875f, 0, 1, 1, 1},
                                           {0.01f, 0.01f, 140.8125f, 20.6875f, 0, 1, 0.8f, 0.6f},
                                           {1.01f, 0.01f, 236.8125f, 20.6875f, 0, 1, 0.8f, 0.6f},
                                           {1.01f, 1.01f, 236.8125f, 116.6875f, 0, 1, 0.8f, 0.6f},
                                           {0.01f, 1.01f, 140.8125f, 116.6875f, 0, 1, 0.8f, 0.6f},
                                           {0, 0, 140.8125f, 130.6875f, 0, 0.8f, 0.9f, 1},
                                           {0, 0.625f, 140.8125f, 180.6875f, 0, 0.8f, 0.9f, 1},
                                           {1.25f, 0.625f, 240.8125f, 180.6875f, 0, 0.8f, 0.9f, 1},
                                           {1.25f, 0, 240.8125f, 130.6875f, 0, 0.8f, 0.9f, 1}})));
}

// Tolerances: the filled quads as the textured rows (texels exact); the
// outlines' ends and the texel edges along them (single pixels).
const Scene kTwoPathScenes[] = {
    {"tex_front_outlines_back_filled", FrontOutlinesBackFilled, 3, 40, "outline ends; texel edges along them"},
};

class TwoPathTexturePictureTest : public PictureFixture {};

TEST_P(TwoPathTexturePictureTest, MatchesTheReference) {
    MatchesReference("", [this](const Calls& calls) { Send(calls); });
}

INSTANTIATE_TEST_SUITE_P(TwoPaths, TwoPathTexturePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kTwoPathScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

}  // namespace
