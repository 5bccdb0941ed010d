// Textured polygons drawn as an application draws them and compared with
// OSMesa, on every machine: on a display of 8 bits a pixel (RGBA 3-3-2) too,
// where the board draws them or the software paths do, but they are drawn.
#include <gtest/gtest.h>

#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// An 8 x 8 checker of 2 x 2 texel squares, a ramp from yellow to red
// against dark blue.
void CheckerTexture(const Gl& gl) {
    std::vector<GLubyte> img(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            GLubyte* p = &img[static_cast<std::size_t>((y * 8 + x) * 3)];
            const bool dark = (x / 2 + y / 2) % 2 == 1;
            p[0] = static_cast<GLubyte>(dark ? 20 : 250);
            p[1] = static_cast<GLubyte>(dark ? 40 : 250 - 24 * x);
            p[2] = static_cast<GLubyte>(dark ? 200 : 0);
        }
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

// A quad in window coordinates showing the texture twice across, the texel
// as it is (decal).
void DecalQuad(const Gl& gl) {
    Pixels(gl);
    CheckerTexture(gl);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    gl.Enable(GL_TEXTURE_2D);
    gl.Begin(GL_QUADS);
    // A little past the texel edges, so no pixel centre lies on one.
    const float e = 1.0f / 64;
    gl.TexCoord2f(e, e), gl.Vertex2f(32, 24);
    gl.TexCoord2f(2 + e, e), gl.Vertex2f(224, 24);
    gl.TexCoord2f(2 + e, 2 + e), gl.Vertex2f(224, 168);
    gl.TexCoord2f(e, 2 + e), gl.Vertex2f(32, 168);
    gl.End();
}

// A depth-tested box in perspective, the texel modulated by a constant
// colour, nearest texels repeated twice over each face.
void ModulatedBox(const Gl& gl) {
    Pixels(gl);
    CheckerTexture(gl);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-0.48, 0.48, -0.36, 0.36, 1.2, 20.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Enable(GL_DEPTH_TEST);
    gl.Translatef(0.0f, 0.0f, -5.0f);
    gl.Rotatef(25.0f, 1.0f, 0.0f, 0.0f);
    gl.Rotatef(35.0f, 0.0f, 1.0f, 0.0f);
    gl.Enable(GL_TEXTURE_2D);
    gl.Color3f(1.0f, 0.9f, 0.8f);
    static const float kFaces[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    static const float kCorners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    const float s = 0.9f, e = 1.0f / 64;
    gl.Begin(GL_QUADS);
    for (const auto& n : kFaces) {
        const float u[3] = {n[1] + n[2] != 0 ? 1.0f : 0.0f, n[0] != 0 ? 1.0f : 0.0f, 0.0f};
        const float v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
        for (const auto& [a, b] : kCorners) {
            gl.TexCoord2f(a + 1.0f + e, b + 1.0f + e);
            gl.Vertex3f(s * (n[0] + a * u[0] + b * v[0]), s * (n[1] + a * u[1] + b * v[1]),
                        s * (n[2] + a * u[2] + b * v[2]));
        }
    }
    gl.End();
}

// The same with dithering off: what the board draws apart from its dither.
void ModulatedBoxUndithered(const Gl& gl) {
    gl.Disable(GL_DITHER);
    ModulatedBox(gl);
}

// Nearest texels are exact where the scene keeps texel edges off the pixel
// centres; in perspective the texel edges move (1,051 pixels of the box).
const Scene kScenes[] = {
    {"decal_quad", DecalQuad, 3, 0, "nearest texels as they are"},
    {"modulated_box", ModulatedBox, 3, 1100,
     "in perspective the board maps the texture linearly across each cut piece, so texel edges lie up to a pixel "
     "from the reference's"},
    {"modulated_box_undithered", ModulatedBoxUndithered, 3, 1100,
     "as modulated_box; dithering off, to keep the textured path checked where the dithered row shows a fault"},
};

VNX_APP_SCENES(Textured, kScenes);

}  // namespace
}  // namespace glapp_tests
