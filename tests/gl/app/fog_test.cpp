// Fog as applications use it: LINEAR, EXP and EXP2, the fog colour, the
// fog hint, fog over lit and over textured models. Fog may be computed at
// the vertices or the pixels, so the models are finely divided.
#include <gtest/gtest.h>

#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// A perspective down a long floor of finely divided quads with a colour
// ramp across it, and posts along it, the fog of the mode on.
void FogScene(const Gl& gl, GLenum mode, float density, const float (&colour)[4], GLenum hint) {
    Pixels(gl);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-0.8, 0.8, -0.6, 0.6, 1.0, 30.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.ClearColor(colour[0], colour[1], colour[2], colour[3]);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.Enable(GL_DEPTH_TEST);
    gl.ShadeModel(GL_SMOOTH);
    gl.Enable(GL_FOG);
    gl.Fogi(GL_FOG_MODE, static_cast<GLint>(mode));
    gl.Fogf(GL_FOG_DENSITY, density);
    gl.Fogf(GL_FOG_START, 2.0f);
    gl.Fogf(GL_FOG_END, 20.0f);
    gl.Fogfv(GL_FOG_COLOR, colour);
    gl.Hint(GL_FOG_HINT, hint);
    for (int i = 0; i < 28; ++i) {
        const float z0 = -1.0f - i, z1 = -2.0f - i;
        gl.Begin(GL_TRIANGLE_STRIP);
        for (int j = 0; j <= 8; ++j) {
            const float x = -4.0f + j;
            gl.Color3f(j / 8.0f, 0.8f, 1.0f - j / 8.0f);
            gl.Vertex3f(x, -1.0f, z0), gl.Vertex3f(x, -1.0f, z1);
        }
        gl.End();
    }
    for (int k = 0; k < 6; ++k) {
        const float z = -3.0f - 4.0f * k;
        for (const float x : {-1.5f, 1.5f}) {
            gl.Color3f(1.0f, 1.0f, 1.0f);
            gl.Begin(GL_QUADS);
            gl.Vertex3f(x - 0.2f, -1.0f, z), gl.Vertex3f(x + 0.2f, -1.0f, z);
            gl.Vertex3f(x + 0.2f, 1.5f, z), gl.Vertex3f(x - 0.2f, 1.5f, z);
            gl.End();
        }
    }
}

constexpr float kGrey[] = {0.5f, 0.5f, 0.55f, 1.0f};
constexpr float kRed[] = {0.7f, 0.1f, 0.1f, 1.0f};

void Linear(const Gl& gl) { FogScene(gl, GL_LINEAR, 1.0f, kGrey, GL_DONT_CARE); }
void Exp(const Gl& gl) { FogScene(gl, GL_EXP, 0.12f, kGrey, GL_DONT_CARE); }
void Exp2(const Gl& gl) { FogScene(gl, GL_EXP2, 0.09f, kGrey, GL_DONT_CARE); }
void Colour(const Gl& gl) { FogScene(gl, GL_EXP, 0.15f, kRed, GL_DONT_CARE); }
void HintNicest(const Gl& gl) { FogScene(gl, GL_EXP2, 0.09f, kGrey, GL_NICEST); }
void HintFastest(const Gl& gl) { FogScene(gl, GL_LINEAR, 1.0f, kRed, GL_FASTEST); }

// Fog over lighting: lit spheres in a row going away, fogged after
// lighting (the specular highlight fogs too).
void Lit(const Gl& gl) {
    FogScene(gl, GL_EXP, 0.1f, kGrey, GL_DONT_CARE);
    gl.Enable(GL_LIGHTING);
    gl.Enable(GL_LIGHT0);
    const float dir[] = {1, 1, 1, 0}, white[] = {1, 1, 1, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, dir);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, white);
    const float dif[] = {0.8f, 0.3f, 0.2f, 1}, spec[] = {0.8f, 0.8f, 0.8f, 1};
    gl.Materialfv(GL_FRONT, GL_DIFFUSE, dif);
    gl.Materialfv(GL_FRONT, GL_SPECULAR, spec);
    gl.Materialf(GL_FRONT, GL_SHININESS, 25.0f);
    for (int k = 0; k < 5; ++k) {
        // A box of quads with normals, divided 4 x 4 a face.
        gl.PushMatrix();
        gl.Translatef(0.0f, 0.0f, -3.5f - 4.0f * k);
        gl.Rotatef(30.0f + 15 * k, 1, 1, 0);
        for (int face = 0; face < 6; ++face) {
            gl.PushMatrix();
            if (face < 4) gl.Rotatef(90.0f * face, 0, 1, 0);
            else gl.Rotatef(face == 4 ? 90.0f : -90.0f, 1, 0, 0);
            gl.Normal3f(0, 0, 1);
            for (int i = 0; i < 4; ++i) {
                gl.Begin(GL_TRIANGLE_STRIP);
                for (int j = 0; j <= 4; ++j) {
                    const float x = -0.5f + j * 0.25f;
                    gl.Vertex3f(x, -0.5f + (i + 1) * 0.25f, 0.5f), gl.Vertex3f(x, -0.5f + i * 0.25f, 0.5f);
                }
                gl.End();
            }
            gl.PopMatrix();
        }
        gl.PopMatrix();
    }
}

// Fog over a texture: upright squares textured with a checker (nearest
// texels, modulated), fogged after texturing. Tinted: a colour not white
// under the texture, and blending on (opaque source over the destination),
// as an application drawing translucent models draws its opaque ones.
template <bool kTinted>
void Textured(const Gl& gl) {
    std::vector<GLubyte> img(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            GLubyte* p = &img[static_cast<std::size_t>((y * 8 + x) * 3)];
            const bool dark = (x + y) % 2 == 1;
            p[0] = static_cast<GLubyte>(dark ? 30 : 240), p[1] = static_cast<GLubyte>(dark ? 60 : 220);
            p[2] = static_cast<GLubyte>(dark ? 120 : 90);
        }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    Pixels(gl);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-0.8, 0.8, -0.6, 0.6, 1.0, 30.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.ClearColor(kGrey[0], kGrey[1], kGrey[2], kGrey[3]);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.Enable(GL_DEPTH_TEST);
    gl.Enable(GL_FOG);
    gl.Fogi(GL_FOG_MODE, GL_LINEAR);
    gl.Fogf(GL_FOG_START, 2.0f);
    gl.Fogf(GL_FOG_END, 16.0f);
    gl.Fogfv(GL_FOG_COLOR, kGrey);
    gl.Enable(GL_TEXTURE_2D);
    gl.Color3f(1, 1, 1);
    if (kTinted) {
        gl.Color4f(1.0f, 0.8f, 0.6f, 1.0f);
        gl.Enable(GL_BLEND);
        gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    // Upright squares, a texel per eighth of a unit, a little off the texel
    // edges so no pixel centre lies on one.
    for (int k = 0; k < 5; ++k) {
        const float z = -3.0f - 3.5f * k, x = k % 2 == 0 ? -1.2f : 0.2f;
        gl.Begin(GL_QUADS);
        gl.TexCoord2f(0.01f, 0.01f), gl.Vertex3f(x, -1.0f, z);
        gl.TexCoord2f(1.01f, 0.01f), gl.Vertex3f(x + 1.0f, -1.0f, z);
        gl.TexCoord2f(1.01f, 1.01f), gl.Vertex3f(x + 1.0f, 0.0f, z);
        gl.TexCoord2f(0.01f, 1.01f), gl.Vertex3f(x, 0.0f, z);
        gl.End();
    }
    gl.Disable(GL_TEXTURE_2D);
}

constexpr const char* kWhy = "fog and colour interpolated across the divided floor; edge pixels of posts and floor";
const Scene kFog[] = {
    {"linear", Linear, 3, 150, kWhy},
    {"exp", Exp, 3, 150, kWhy},
    {"exp2", Exp2, 3, 150, kWhy},
    {"colour", Colour, 3, 150, kWhy},
    {"hint_nicest", HintNicest, 3, 150, kWhy},
    {"hint_fastest", HintFastest, 3, 150, kWhy},
    {"lit", Lit, 4, 200, "lighting in single precision, then fog; edge pixels of the boxes"},
    {"textured_tinted", Textured<true>, 4, 200,
     "texel edges in perspective within a pixel of the reference's; square edges"},
    {"textured", Textured<false>, 4, 200, "texel edges in perspective within a pixel of the reference's; square edges",
     "texel addresses, not fog: the board takes a corner's texture coordinates in whole sixteenths of a texel (its "
     "coordinate format), so 0.01 of this texture (1.28 sixteenths) reaches it as 1 and pixel centres 0.03 of a "
     "pixel past a texel edge (columns 83 and 103, rows 55, 75 and 95) take the texel before it (281 pixels at 32 "
     "bits, fogged or not); at 16 bits the nearest square's dark texels also come back up to 16 levels darker "
     "(reference 254179, board 183173; 2,320 pixels)"},
};

VNX_APP_SCENES(Fog, kFog);

}  // namespace
}  // namespace glapp_tests
