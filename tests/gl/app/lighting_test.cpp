// Lighting as applications use it: directional, positional and spot lights
// with attenuation, two-sided lighting, the local viewer, the colour
// material modes, NORMALIZE on scaled models, emission and shininess.
// Lighting is computed at the vertices, so the models are finely divided.
#include <gtest/gtest.h>

#include <cmath>

#include "app_gl.h"

namespace glapp_tests {
namespace {

constexpr float kPi = 3.14159265f;

// The window cleared as Pixels clears it, a perspective and the
// model-view identity, the depth test on: the eye at the origin looking
// down -z.
void Perspective(const Gl& gl) {
    Pixels(gl);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-0.8, 0.8, -0.6, 0.6, 2.0, 20.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Enable(GL_DEPTH_TEST);
    gl.ShadeModel(GL_SMOOTH);
    gl.Enable(GL_LIGHTING);
}

// A sphere of radius r at the current matrix, in triangle strips (whose
// interpolation GL defines, unlike a lit quad's diagonal) with a
// normal at each vertex (of length n: 1 for unit normals).
void Sphere(const Gl& gl, float r, int slices = 24, int stacks = 16, float n = 1.0f) {
    for (int i = 0; i < stacks; ++i) {
        const float a0 = kPi * (static_cast<float>(i) / stacks - 0.5f), a1 = kPi * (static_cast<float>(i + 1) / stacks - 0.5f);
        gl.Begin(GL_TRIANGLE_STRIP);
        for (int j = 0; j <= slices; ++j) {
            const float b = 2 * kPi * static_cast<float>(j) / slices;
            for (const float a : {a1, a0}) {
                const float x = std::cos(a) * std::cos(b), y = std::sin(a), z = std::cos(a) * std::sin(b);
                gl.Normal3f(n * x, n * y, n * z);
                gl.Vertex3f(r * x, r * y, r * z);
            }
        }
        gl.End();
    }
}

// A floor of cells x cells quads from (-s, y, -s) to (s, y, s) facing up.
void Floor(const Gl& gl, float s, float y, int cells = 24) {
    gl.Normal3f(0, 1, 0);
    for (int i = 0; i < cells; ++i) {
        const float z0 = -s + 2 * s * i / cells, z1 = -s + 2 * s * (i + 1) / cells;
        gl.Begin(GL_TRIANGLE_STRIP);
        for (int j = 0; j <= cells; ++j) {
            const float x = -s + 2 * s * j / cells;
            gl.Vertex3f(x, y, z1), gl.Vertex3f(x, y, z0);
        }
        gl.End();
    }
}

void Material(const Gl& gl, GLenum face, const float (&ambient)[4], const float (&diffuse)[4],
              const float (&specular)[4], float shininess) {
    gl.Materialfv(face, GL_AMBIENT, ambient);
    gl.Materialfv(face, GL_DIFFUSE, diffuse);
    gl.Materialfv(face, GL_SPECULAR, specular);
    gl.Materialf(face, GL_SHININESS, shininess);
}

// Directional lights of different colours from two sides, with specular
// highlights, on three spheres.
void Directional(const Gl& gl) {
    Perspective(gl);
    gl.Enable(GL_LIGHT0);
    gl.Enable(GL_LIGHT1);
    const float dir0[] = {1, 1, 1, 0}, dir1[] = {-1, -0.5f, 0.3f, 0}, warm[] = {1, 0.8f, 0.6f, 1},
                cold[] = {0.2f, 0.3f, 0.8f, 1}, white[] = {1, 1, 1, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, dir0);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, warm);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, white);
    gl.Lightfv(GL_LIGHT1, GL_POSITION, dir1);
    gl.Lightfv(GL_LIGHT1, GL_DIFFUSE, cold);
    const float amb[] = {0.1f, 0.1f, 0.1f, 1}, dif[] = {0.7f, 0.7f, 0.7f, 1}, spec[] = {0.8f, 0.8f, 0.8f, 1};
    Material(gl, GL_FRONT, amb, dif, spec, 30.0f);
    for (int k = 0; k < 3; ++k) {
        gl.PushMatrix();
        gl.Translatef(-1.6f + 1.6f * k, 0.0f, -7.0f - k);
        Sphere(gl, 0.7f);
        gl.PopMatrix();
    }
}

// A positional light with each kind of attenuation (constant, linear,
// quadratic) over a floor, a sphere under it.
template <int kKind>
void Positional(const Gl& gl) {
    Perspective(gl);
    gl.Enable(GL_LIGHT0);
    const float pos[] = {0.5f, 0.2f, -5.0f, 1}, white[] = {1, 1, 1, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, white);
    static const float kAttenuation[3][3] = {{2.0f, 0, 0}, {0.2f, 0.6f, 0}, {0.3f, 0.1f, 0.4f}};
    gl.Lightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, kAttenuation[kKind][0]);
    gl.Lightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, kAttenuation[kKind][1]);
    gl.Lightf(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, kAttenuation[kKind][2]);
    const float amb[] = {0.1f, 0.1f, 0.1f, 1}, dif[] = {0.9f, 0.8f, 0.5f, 1}, spec[] = {0.5f, 0.5f, 0.5f, 1};
    Material(gl, GL_FRONT, amb, dif, spec, 10.0f);
    Floor(gl, 3.0f, -1.0f);
    gl.PushMatrix();
    gl.Translatef(-0.8f, -0.3f, -6.0f);
    Sphere(gl, 0.6f);
    gl.PopMatrix();
}

// Spot lights on a floor: a narrow one with a high exponent and a wide one
// with none, from above at an angle.
void Spot(const Gl& gl) {
    Perspective(gl);
    gl.Enable(GL_LIGHT0);
    gl.Enable(GL_LIGHT1);
    const float pos0[] = {-1, 1.5f, -6, 1}, dir0[] = {0.3f, -1, -0.2f}, pos1[] = {1.2f, 1.0f, -5, 1},
                dir1[] = {0, -1, 0.3f}, red[] = {1, 0.3f, 0.2f, 1}, green[] = {0.3f, 1, 0.4f, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos0);
    gl.Lightfv(GL_LIGHT0, GL_SPOT_DIRECTION, dir0);
    gl.Lightf(GL_LIGHT0, GL_SPOT_CUTOFF, 25.0f);
    gl.Lightf(GL_LIGHT0, GL_SPOT_EXPONENT, 20.0f);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, red);
    gl.Lightfv(GL_LIGHT1, GL_POSITION, pos1);
    gl.Lightfv(GL_LIGHT1, GL_SPOT_DIRECTION, dir1);
    gl.Lightf(GL_LIGHT1, GL_SPOT_CUTOFF, 50.0f);
    gl.Lightfv(GL_LIGHT1, GL_DIFFUSE, green);
    const float amb[] = {0.2f, 0.2f, 0.2f, 1}, dif[] = {0.9f, 0.9f, 0.9f, 1}, spec[] = {0, 0, 0, 1};
    Material(gl, GL_FRONT, amb, dif, spec, 0.0f);
    Floor(gl, 3.0f, -1.0f, 40);
}

// Two-sided lighting: an open cylinder seen from above its rim, its inside
// lit with the back material (normals reversed) and its outside with the
// front; and the same with one-sided lighting (the inside lit as front).
template <bool kTwoSided>
void TwoSided(const Gl& gl) {
    Perspective(gl);
    gl.Enable(GL_LIGHT0);
    const float pos[] = {1, 2, 1, 0}, white[] = {1, 1, 1, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, white);
    gl.LightModeli(GL_LIGHT_MODEL_TWO_SIDE, kTwoSided ? GL_TRUE : GL_FALSE);
    const float amb[] = {0.1f, 0.1f, 0.1f, 1}, front[] = {0.2f, 0.5f, 0.9f, 1}, back[] = {0.9f, 0.5f, 0.1f, 1},
                spec[] = {0.6f, 0.6f, 0.6f, 1}, none[] = {0, 0, 0, 1};
    Material(gl, GL_FRONT, amb, front, spec, 20.0f);
    Material(gl, GL_BACK, amb, back, none, 0.0f);
    gl.Translatef(0, -0.3f, -6.0f);
    gl.Rotatef(35.0f, 1, 0, 0);
    gl.Begin(GL_TRIANGLE_STRIP);
    for (int j = 0; j <= 32; ++j) {
        const float b = 2 * kPi * j / 32;
        gl.Normal3f(std::cos(b), 0, std::sin(b));
        gl.Vertex3f(1.2f * std::cos(b), 0.8f, 1.2f * std::sin(b));
        gl.Vertex3f(1.2f * std::cos(b), -0.8f, 1.2f * std::sin(b));
    }
    gl.End();
}

// The local viewer: highlights on a floor and spheres from a directional
// light, seen from the eye's position rather than along -z.
void LocalViewer(const Gl& gl) {
    Perspective(gl);
    gl.LightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    gl.Enable(GL_LIGHT0);
    const float dir[] = {0.2f, 1, 0.5f, 0}, white[] = {1, 1, 1, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, dir);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, white);
    const float amb[] = {0.1f, 0.1f, 0.1f, 1}, dif[] = {0.3f, 0.5f, 0.3f, 1}, spec[] = {1, 1, 1, 1};
    Material(gl, GL_FRONT, amb, dif, spec, 12.0f);
    Floor(gl, 3.0f, -1.0f, 32);
    for (int k = 0; k < 3; ++k) {
        gl.PushMatrix();
        gl.Translatef(-1.6f + 1.6f * k, 0.0f, -6.0f);
        Sphere(gl, 0.5f);
        gl.PopMatrix();
    }
}

// COLOR_MATERIAL in one mode: spheres whose vertices' colours vary, the
// glColor taking the place of the mode's material parameters.
template <GLenum kMode>
void ColourMaterial(const Gl& gl) {
    Perspective(gl);
    gl.Enable(GL_LIGHT0);
    const float pos[] = {-1, 1, 2, 0}, light[] = {0.8f, 0.8f, 0.8f, 1}, ambient[] = {0.3f, 0.3f, 0.3f, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, light);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, light);
    gl.Lightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    const float amb[] = {0.2f, 0.2f, 0.2f, 1}, dif[] = {0.5f, 0.5f, 0.5f, 1}, spec[] = {0.4f, 0.4f, 0.4f, 1};
    Material(gl, GL_FRONT_AND_BACK, amb, dif, spec, 15.0f);
    gl.ColorMaterial(GL_FRONT_AND_BACK, kMode);
    gl.Enable(GL_COLOR_MATERIAL);
    for (int k = 0; k < 3; ++k) {
        gl.PushMatrix();
        gl.Translatef(-1.6f + 1.6f * k, 0.0f, -6.5f);
        static const float kColours[3][3] = {{0.9f, 0.2f, 0.1f}, {0.2f, 0.8f, 0.3f}, {0.3f, 0.3f, 1.0f}};
        gl.Color3fv(kColours[k]);
        Sphere(gl, 0.7f);
        gl.PopMatrix();
    }
    gl.Disable(GL_COLOR_MATERIAL);
    // The last colour stays in the material after COLOR_MATERIAL is off.
    gl.PushMatrix();
    gl.Translatef(0.0f, 1.4f, -7.0f);
    Sphere(gl, 0.4f);
    gl.PopMatrix();
}

// NORMALIZE: spheres scaled unevenly and given normals of length 3, with
// and without normalization (unnormalized normals brighten and saturate).
void Normalize(const Gl& gl) {
    Perspective(gl);
    gl.Enable(GL_LIGHT0);
    const float pos[] = {1, 1, 1, 0}, white[] = {1, 1, 1, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, white);
    const float amb[] = {0.1f, 0.1f, 0.1f, 1}, dif[] = {0.25f, 0.25f, 0.3f, 1}, spec[] = {0.3f, 0.3f, 0.3f, 1};
    Material(gl, GL_FRONT, amb, dif, spec, 20.0f);
    for (int k = 0; k < 2; ++k) {
        if (k == 1) gl.Enable(GL_NORMALIZE);
        gl.PushMatrix();
        gl.Translatef(-1.3f + 2.6f * k, 0.0f, -7.0f);
        gl.Scalef(1.5f, 0.6f, 1.0f);
        Sphere(gl, 1.0f, 24, 16, 3.0f);
        gl.PopMatrix();
    }
}

// Emission and shininess: spheres that glow without light, and highlights
// from shininess 0 (as bright as the diffuse spread) to 128.
void EmissionShininess(const Gl& gl) {
    Perspective(gl);
    gl.Enable(GL_LIGHT0);
    const float pos[] = {0.5f, 1, 1, 0}, white[] = {1, 1, 1, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, white);
    const float amb[] = {0.1f, 0.1f, 0.1f, 1}, dif[] = {0.2f, 0.2f, 0.6f, 1}, spec[] = {0.7f, 0.7f, 0.7f, 1};
    static const float kShininess[4] = {0.0f, 5.0f, 40.0f, 128.0f};
    for (int k = 0; k < 4; ++k) {
        Material(gl, GL_FRONT, amb, dif, spec, kShininess[k]);
        gl.PushMatrix();
        gl.Translatef(-2.1f + 1.4f * k, -0.8f, -7.0f);
        Sphere(gl, 0.6f);
        gl.PopMatrix();
    }
    const float glow[] = {0.5f, 0.3f, 0.0f, 1}, none[] = {0, 0, 0, 1};
    gl.Materialfv(GL_FRONT, GL_EMISSION, glow);
    gl.Disable(GL_LIGHT0);
    gl.PushMatrix();
    gl.Translatef(-0.8f, 0.9f, -7.0f);
    Sphere(gl, 0.6f);
    gl.PopMatrix();
    gl.Enable(GL_LIGHT0);
    gl.PushMatrix();
    gl.Translatef(0.8f, 0.9f, -7.0f);
    Sphere(gl, 0.6f);
    gl.PopMatrix();
    gl.Materialfv(GL_FRONT, GL_EMISSION, none);
}

constexpr const char* kWhy = "lighting in single precision on both sides, interpolated across the divided model; "
                             "its edge pixels";
const Scene kLighting[] = {
    {"directional", Directional, 3, 150, kWhy},
    {"positional_constant", Positional<0>, 3, 150, kWhy},
    {"positional_linear", Positional<1>, 3, 150, kWhy},
    {"positional_quadratic", Positional<2>, 3, 150, kWhy},
    {"spot", Spot, 3, 150, kWhy},
    {"two_sided", TwoSided<true>, 3, 150, kWhy},
    {"one_sided", TwoSided<false>, 3, 150, kWhy},
    {"local_viewer", LocalViewer, 3, 150, kWhy},
    {"colour_material_ambient", ColourMaterial<GL_AMBIENT>, 3, 150, kWhy},
    {"colour_material_diffuse", ColourMaterial<GL_DIFFUSE>, 3, 150, kWhy},
    {"colour_material_specular", ColourMaterial<GL_SPECULAR>, 3, 150, kWhy},
    {"colour_material_emission", ColourMaterial<GL_EMISSION>, 3, 150, kWhy},
    {"colour_material_ambient_and_diffuse", ColourMaterial<GL_AMBIENT_AND_DIFFUSE>, 3, 150, kWhy},
    {"normalize", Normalize, 3, 150, kWhy},
    {"emission_shininess", EmissionShininess, 3, 150, kWhy},
};

VNX_APP_SCENES(Lighting, kLighting);

}  // namespace
}  // namespace glapp_tests
