// Textures and mip-maps as applications use them, on a board that holds
// mip-maps: a floor going away under each minification filter (every level
// of the texture a colour of its own, so a pixel that takes another level
// than GL's shows it), squares that each show one level, magnification,
// the wrap modes, the environments over luminance, RGB and RGBA textures,
// and generated coordinates; each compared with OSMesa. Beside them, the
// squares of 32, 16, 8 and 4 pixels under every mip-map filter checked
// against GL's own levels, pixel for pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// The colour of each level of the flat mip-maps: neighbours differ by 60
// or more in some channel, levels further apart more.
constexpr GLubyte kLevel[6][3] = {{240, 40, 40}, {190, 140, 30}, {120, 220, 60},
                                  {40, 200, 170}, {50, 100, 240}, {150, 40, 220}};

// Six other level colours: yellow, magenta, red, green, blue and white,
// the levels of a well-known mip-map selection check (which the server
// draws through its software stages).
constexpr GLubyte kCheckLevel[6][3] = {{255, 255, 0}, {255, 0, 255}, {255, 0, 0},
                                       {0, 255, 0},   {0, 0, 255},   {255, 255, 255}};

// A square texture of `size` texels with every level down to 1 x 1: level
// l flat in colours[l], or (checker) a checker of single texels in
// colours[l] and a darker shade of it.
void LevelTexture(const Gl& gl, int size, bool checker = false, const GLubyte (&colours)[6][3] = kLevel) {
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int l = 0, side = size; side >= 1; ++l, side /= 2) {
        std::vector<GLubyte> img(static_cast<std::size_t>(side * side * 3));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const bool dark = checker && (x + y) % 2 == 1;
                for (int c = 0; c < 3; ++c)
                    img[static_cast<std::size_t>((y * side + x) * 3 + c)] =
                        static_cast<GLubyte>(dark ? colours[l][c] / 3 : colours[l][c]);
            }
        gl.TexImage2D(GL_TEXTURE_2D, l, 3, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    }
}

void Filters(const Gl& gl, GLenum min, GLenum mag, GLenum wrap = GL_REPEAT) {
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(min));
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(mag));
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(wrap));
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(wrap));
}

// A floor under a perspective projection from just in front of the eye to
// 25 units away, `half` units to either side, a repeat of the texture a
// unit (s along x, t away from the eye), in quads 4 units deep and `width`
// units wide: the near rows magnify the texture, the far ones take its
// smallest levels.
constexpr double kFloorLeft = -0.8, kFloorBottom = -0.6, kFloorNear = 1.0;
void Floor(const Gl& gl, int half = 16, int width = 32) {
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(kFloorLeft, -kFloorLeft, kFloorBottom, -kFloorBottom, kFloorNear, 30.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Color3f(1, 1, 1);
    gl.Begin(GL_QUADS);
    for (int z = 1; z < 25; z += 4)
        for (int x = -half; x < half; x += width) {
            const float x0 = static_cast<float>(x), x1 = x0 + static_cast<float>(width);
            const float z0 = -static_cast<float>(z), z1 = z0 - 4;
            gl.TexCoord2f(x0, -z0), gl.Vertex3f(x0, -1.0f, z0);
            gl.TexCoord2f(x1, -z0), gl.Vertex3f(x1, -1.0f, z0);
            gl.TexCoord2f(x1, -z1), gl.Vertex3f(x1, -1.0f, z1);
            gl.TexCoord2f(x0, -z1), gl.Vertex3f(x0, -1.0f, z1);
        }
    gl.End();
}

// GL's lambda at the centre of window pixel (x, y) (y up) of the floor
// with a texture of `size` texels, from the floor's own mapping: the
// point seen there lies d = 1 / (-0.6 y_ndc) units away, at 0.8 x_ndc d
// across, so u = size 0.8 x_ndc d and v = size d; rho is the longer of
// (du/dx, dv/dx) and (du/dy, dv/dy). A pixel above the horizon gives NaN.
double FloorLambda(double x, double y, int size) {
    const double nx = (x + 0.5) / (kWidth / 2.0) - 1.0, ny = (y + 0.5) / (kHeight / 2.0) - 1.0;
    const double sx = -kFloorLeft / kFloorNear, sy = -kFloorBottom / kFloorNear;
    if (ny >= 0.0) return std::nan("");
    const double d = -1.0 / (sy * ny);
    const double dd = 1.0 / (sy * ny * ny) / (kHeight / 2.0);  // d's change a pixel up
    const double dudx = size * sx * d / (kWidth / 2.0), dvdx = 0.0;
    const double dudy = size * sx * nx * dd, dvdy = size * dd;
    return std::log2(std::max(std::hypot(dudx, dvdx), std::hypot(dudy, dvdy)));
}

template <GLenum Min, GLenum Mag, int Half = 16, int Width = 32, bool kCheck = false>
void FloorLevels(const Gl& gl) {
    Pixels(gl);
    LevelTexture(gl, 32, false, kCheck ? kCheckLevel : kLevel);
    Filters(gl, Min, Mag);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.Enable(GL_TEXTURE_2D);
    Floor(gl, Half, Width);
}

// A floor of one quad under a user clip plane (given in eye space:
// x + 0.2 z >= -3), which cuts its left side, with a checker of 4 x 4
// texels repeated along it: the texture stays in perspective where the
// pipe clips against user planes too.
void FloorClipPlane(const Gl& gl) {
    Pixels(gl);
    GLubyte img[4 * 4 * 3];
    for (int i = 0; i < 16; ++i) {
        const bool dark = ((i % 4) + (i / 4)) % 2 == 1;
        img[3 * i] = dark ? 30 : 240, img[3 * i + 1] = dark ? 60 : 200, img[3 * i + 2] = dark ? 150 : 40;
    }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, img);
    Filters(gl, GL_NEAREST, GL_NEAREST);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.Enable(GL_TEXTURE_2D);
    const double plane[] = {1, 0, 0.2, 3};
    gl.ClipPlane(GL_CLIP_PLANE0, plane);
    gl.Enable(GL_CLIP_PLANE0);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(kFloorLeft, -kFloorLeft, kFloorBottom, -kFloorBottom, kFloorNear, 30.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Color3f(1, 1, 1);
    gl.Begin(GL_QUADS);
    gl.TexCoord2f(0, 0), gl.Vertex3f(-4, -1, -1.5f);
    gl.TexCoord2f(2, 0), gl.Vertex3f(4, -1, -1.5f);
    gl.TexCoord2f(2, 5), gl.Vertex3f(4, -1, -20);
    gl.TexCoord2f(0, 5), gl.Vertex3f(-4, -1, -20);
    gl.End();
    gl.Disable(GL_CLIP_PLANE0);
}

// The floor alone, untextured: white quads on the background.
template <int Half, int Width>
void FloorPlain(const Gl& gl) {
    Pixels(gl);
    Floor(gl, Half, Width);
}

// The floor with a texture that has a picture: a checker of 4-texel
// squares over a ramp, its levels the checker seen from further away.
template <GLenum Min, GLenum Mag>
void FloorChecker(const Gl& gl) {
    Pixels(gl);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int l = 0, side = 32; side >= 1; ++l, side /= 2) {
        std::vector<GLubyte> img(static_cast<std::size_t>(side * side * 3));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                GLubyte* p = &img[static_cast<std::size_t>((y * side + x) * 3)];
                const int sq = 4 >> std::min(l, 2);  // squares of 4 texels of level 0
                const bool dark = side >= 8 && ((x / sq) + (y / sq)) % 2 == 1;
                p[0] = static_cast<GLubyte>(dark ? 40 : 230);
                p[1] = static_cast<GLubyte>(dark ? 60 : 120 + 3 * (x << l));
                p[2] = static_cast<GLubyte>(dark ? 140 : 60);
                if (side < 8) p[0] = 135, p[1] = 90 + 3 * (x << l) / 2, p[2] = 100;
            }
        gl.TexImage2D(GL_TEXTURE_2D, l, 3, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    }
    Filters(gl, Min, Mag);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.Enable(GL_TEXTURE_2D);
    Floor(gl);
}

// Squares of 32, 16, 8 and 4 pixels each showing the whole 32 x 32
// texture once: levels 0 (magnification's edge), 1, 2 and 3.
constexpr int kSquareSide[4] = {32, 16, 8, 4};
constexpr int kSquareX[4] = {20, 80, 120, 150}, kSquareY = 60;

void Squares(const Gl& gl) {
    gl.Color3f(1, 1, 1);
    gl.Begin(GL_QUADS);
    for (int k = 0; k < 4; ++k) {
        const float x0 = static_cast<float>(kSquareX[k]), y0 = kSquareY, n = static_cast<float>(kSquareSide[k]);
        gl.TexCoord2f(0, 0), gl.Vertex2f(x0, y0);
        gl.TexCoord2f(1, 0), gl.Vertex2f(x0 + n, y0);
        gl.TexCoord2f(1, 1), gl.Vertex2f(x0 + n, y0 + n);
        gl.TexCoord2f(0, 1), gl.Vertex2f(x0, y0 + n);
    }
    gl.End();
}

template <GLenum Min, GLenum Mag, bool kChecker>
void SquareLevels(const Gl& gl) {
    Pixels(gl);
    LevelTexture(gl, 32, kChecker);
    Filters(gl, Min, Mag);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.Enable(GL_TEXTURE_2D);
    Squares(gl);
}

// An 8 x 8 checker of 2-texel squares over a ramp (with its levels, for
// the mip-map filters), magnified 24 times over a quad a little turned.
template <GLenum Min, GLenum Mag>
void Magnified(const Gl& gl) {
    Pixels(gl);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int l = 0, side = 8; side >= 1; ++l, side /= 2) {
        std::vector<GLubyte> img(static_cast<std::size_t>(side * side * 3));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                GLubyte* p = &img[static_cast<std::size_t>((y * side + x) * 3)];
                const bool dark = side > 1 && ((x << l) / 2 + (y << l) / 2) % 2 == 1;
                p[0] = static_cast<GLubyte>(dark ? 30 : 250 - 25 * l);
                p[1] = static_cast<GLubyte>(dark ? 50 : 60 + 20 * x);
                p[2] = static_cast<GLubyte>(dark ? 160 : 40 * l);
            }
        gl.TexImage2D(GL_TEXTURE_2D, l, 3, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    }
    Filters(gl, Min, Mag);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.Enable(GL_TEXTURE_2D);
    gl.Color3f(1, 1, 1);
    // A little past the texel edges (sixteenths of a texel, which the board
    // takes exactly), so no pixel centre lies on one.
    const float e = 1.0f / 64;
    gl.Begin(GL_QUADS);
    gl.TexCoord2f(e, e), gl.Vertex2f(40, 12);
    gl.TexCoord2f(1 + e, e), gl.Vertex2f(226, 30);
    gl.TexCoord2f(1 + e, 1 + e), gl.Vertex2f(210, 182);
    gl.TexCoord2f(e, 1 + e), gl.Vertex2f(24, 170);
    gl.End();
}

// A 16 x 16 picture (a ramp under a checker of 4-texel squares) over
// texture coordinates from -0.75 to 1.75, magnified on the left and
// shrunk on the right: the wrap mode shows past the edges.
template <GLenum Min, GLenum Mag, GLenum Wrap>
void Wrapped(const Gl& gl) {
    Pixels(gl);
    std::vector<GLubyte> img(16 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            GLubyte* p = &img[static_cast<std::size_t>((y * 16 + x) * 3)];
            const bool dark = (x / 4 + y / 4) % 2 == 1;
            p[0] = static_cast<GLubyte>(x * 16);
            p[1] = static_cast<GLubyte>(dark ? 40 : 220);
            p[2] = static_cast<GLubyte>(255 - y * 16);
        }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 16, 16, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    Filters(gl, Min, Mag, Wrap);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    gl.Enable(GL_TEXTURE_2D);
    // Coordinates the board takes exactly (sixteenths of a texel), past
    // the texel edges by a quarter of a pixel: no pixel centre lies on one.
    const float d = 1.0f / 256, a = -0.75f + d, b = 1.75f + d;
    gl.Begin(GL_QUADS);
    gl.TexCoord2f(a, a), gl.Vertex2f(8, 16);
    gl.TexCoord2f(b, a), gl.Vertex2f(168, 16);
    gl.TexCoord2f(b, b), gl.Vertex2f(168, 176);
    gl.TexCoord2f(a, b), gl.Vertex2f(8, 176);
    gl.TexCoord2f(a, a), gl.Vertex2f(184, 40);
    gl.TexCoord2f(b, a), gl.Vertex2f(244, 40);
    gl.TexCoord2f(b, b), gl.Vertex2f(244, 100);
    gl.TexCoord2f(a, b), gl.Vertex2f(184, 100);
    gl.End();
}

// An 8 x 8 texture of 1, 2, 3 or 4 components (luminance, luminance and
// alpha, RGB, RGBA) under an environment, over a smooth-shaded quad; the
// environment colour an orange of alpha 0.75. With blending on, the
// fragment's alpha shows too (over a grey the quad half covers).
template <int Components, GLenum Env, bool kBlend>
void Environment(const Gl& gl) {
    Pixels(gl);
    if (kBlend) {
        gl.Color3f(0.5f, 0.5f, 0.5f);
        gl.Rectf(0, 0, 128, 192);
    }
    static const GLenum kFormat[4] = {GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    std::vector<GLubyte> img(8 * 8 * 4);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const GLubyte v[4] = {static_cast<GLubyte>(30 * x + 20), static_cast<GLubyte>(250 - 30 * y),
                                  static_cast<GLubyte>((x + y) % 2 == 0 ? 230 : 40), static_cast<GLubyte>(35 * y)};
            GLubyte* p = &img[static_cast<std::size_t>((y * 8 + x) * Components)];
            if (Components == 1) p[0] = v[0];
            if (Components == 2) p[0] = v[0], p[1] = v[3];
            for (int c = 0; c < (Components >= 3 ? Components : 0); ++c) p[c] = v[c];
        }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.TexImage2D(GL_TEXTURE_2D, 0, Components, 8, 8, 0, kFormat[Components - 1], GL_UNSIGNED_BYTE, img.data());
    Filters(gl, GL_NEAREST, GL_NEAREST);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLint>(Env));
    const float envColour[4] = {1.0f, 0.6f, 0.1f, 0.75f};
    gl.TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, envColour);
    if (kBlend) {
        gl.Enable(GL_BLEND);
        gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    gl.Enable(GL_TEXTURE_2D);
    gl.ShadeModel(GL_SMOOTH);
    // Coordinates the board takes exactly (sixteenths of a texel), past
    // the texel edges by 1 1/4 pixels: no pixel centre lies on one.
    const float e = 1.0f / 128;
    gl.Begin(GL_QUADS);
    gl.Color4f(1.0f, 1.0f, 1.0f, 1.0f), gl.TexCoord2f(e, e), gl.Vertex2f(48, 16);
    gl.Color4f(0.2f, 0.9f, 0.6f, 0.8f), gl.TexCoord2f(1 + e, e), gl.Vertex2f(208, 16);
    gl.Color4f(0.9f, 0.3f, 0.8f, 0.5f), gl.TexCoord2f(1 + e, 1 + e), gl.Vertex2f(208, 176);
    gl.Color4f(0.6f, 0.6f, 0.2f, 0.9f), gl.TexCoord2f(e, 1 + e), gl.Vertex2f(48, 176);
    gl.End();
}

// Coordinates generated from the vertices: object-linear planes over a
// turned quad, or eye-linear planes under a perspective, of a 16 x 16
// ramp under a checker.
template <GLenum Mode>
void Generated(const Gl& gl) {
    Pixels(gl);
    std::vector<GLubyte> img(16 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            GLubyte* p = &img[static_cast<std::size_t>((y * 16 + x) * 3)];
            const bool dark = (x / 4 + y / 4) % 2 == 1;
            p[0] = static_cast<GLubyte>(x * 16), p[1] = static_cast<GLubyte>(dark ? 40 : 220);
            p[2] = static_cast<GLubyte>(255 - y * 16);
        }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 16, 16, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    Filters(gl, GL_NEAREST, GL_NEAREST);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-0.8, 0.8, -0.6, 0.6, 1.0, 10.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    const float sPlane[4] = {0.31f, 0.05f, 0.0f, 0.503f}, tPlane[4] = {-0.04f, 0.29f, 0.07f, 0.507f};
    gl.TexGeni(GL_S, GL_TEXTURE_GEN_MODE, static_cast<GLint>(Mode));
    gl.TexGeni(GL_T, GL_TEXTURE_GEN_MODE, static_cast<GLint>(Mode));
    gl.TexGenfv(GL_S, Mode == GL_OBJECT_LINEAR ? GL_OBJECT_PLANE : GL_EYE_PLANE, sPlane);
    gl.TexGenfv(GL_T, Mode == GL_OBJECT_LINEAR ? GL_OBJECT_PLANE : GL_EYE_PLANE, tPlane);
    gl.Enable(GL_TEXTURE_GEN_S);
    gl.Enable(GL_TEXTURE_GEN_T);
    gl.Enable(GL_TEXTURE_2D);
    gl.Translatef(0.0f, 0.0f, -4.0f);
    gl.Rotatef(30.0f, 1.0f, 0.2f, 0.0f);
    gl.Begin(GL_QUADS);
    gl.Vertex3f(-2.2f, -1.6f, 0.0f), gl.Vertex3f(2.2f, -1.6f, 0.0f);
    gl.Vertex3f(2.2f, 1.6f, 0.0f), gl.Vertex3f(-2.2f, 1.6f, 0.0f);
    gl.End();
}

constexpr unsigned kMip = kMipmaps;
// The reference takes one lambda for each 2 x 2 pixels (from the
// differences across them): where the level changes, its choice runs up to
// a row from GL's, which the board follows to the pixel (FloorLevelsExact,
// below). It also switches to minification at lambda 0 for every filter,
// where GL switches at 0.5 for a LINEAR magnification over the
// NEAREST_MIPMAP_* filters: the floor under NEAREST_MIPMAP_LINEAR with a
// LINEAR magnification is checked against GL alone.
constexpr const char* kLevelRows = "the reference's level a 2 x 2 pixels: a row along each change of level";
const Scene kTextures[] = {
    {"floor_nearest", FloorLevels<GL_NEAREST, GL_NEAREST>, 3, 10, "the floor's far corners", nullptr, kMip},
    {"floor_wide_nearest", FloorLevels<GL_NEAREST, GL_NEAREST, 24, 4>, 3, 10, "the floor's far corners", nullptr,
     kMip},
    {"floor_wide_untextured", FloorPlain<24, 4>, 3, 10, "the floor's far corners", nullptr, kMip},
    {"floor_linear", FloorLevels<GL_LINEAR, GL_LINEAR>, 3, 10, "the floor's far corners", nullptr, kMip},
    {"floor_clip_plane", FloorClipPlane, 3, 800,
     "texel edges in perspective and the plane's cut up to a pixel from the reference's (as floor_checker_nearest_mipmap_nearest)"},
    {"floor_nearest_mipmap_nearest", FloorLevels<GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST>, 3, 800, kLevelRows,
     nullptr, kMip},
    {"floor_linear_mipmap_nearest", FloorLevels<GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR>, 3, 800, kLevelRows, nullptr,
     kMip},
    {"floor_nearest_mipmap_linear", FloorLevels<GL_NEAREST_MIPMAP_LINEAR, GL_NEAREST>, 10, 800,
     "the blend's weights in 1/255; the reference's blend a 2 x 2 pixels, in steps where lambda changes fast", nullptr,
     kMip},
    {"floor_linear_mipmap_linear", FloorLevels<GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR>, 10, 800,
     "as floor_nearest_mipmap_linear", nullptr, kMip},
    {"floor_mixed_filters", FloorLevels<GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR>, 3, 800, kLevelRows, nullptr, kMip},
    {"floor_software_nearest_mipmap_nearest", FloorLevels<GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, 16, 32, true>, 3, 800,
     "drawn by the software stages (the levels of kCheckLevel); as floor_nearest_mipmap_nearest", nullptr, kMip},
    {"floor_software_linear_mipmap_linear", FloorLevels<GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 16, 32, true>, 32, 100,
     "drawn by the software stages; neighbouring levels of kCheckLevel differ by a whole channel, whose blend the "
     "reference's lambda a 2 x 2 pixels moves by up to an eighth; the floor's far corners",
     nullptr, kMip},
    {"floor_checker_linear_mipmap_linear", FloorChecker<GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR>, 16, 3000,
     "in perspective the board walks the texture linearly across each cut piece: texel edges up to a pixel from the "
     "reference's; filter weights in 1/16; the reference's blend a 2 x 2 pixels",
     nullptr, kMip},
    {"floor_checker_nearest_mipmap_nearest", FloorChecker<GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST>, 16, 800,
     "texel edges in perspective up to a pixel from the reference's; the reference's level a 2 x 2 pixels", nullptr,
     kMip},
    {"squares_nearest_mipmap_nearest", SquareLevels<GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, true>, 3, 0,
     "single texels of each level exact", nullptr, kMip},
    {"squares_linear_mipmap_nearest", SquareLevels<GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, true>, 16, 0,
     "each pixel on a texel's centre: the filter weights in 1/16", nullptr, kMip},
    {"squares_nearest_mipmap_linear", SquareLevels<GL_NEAREST_MIPMAP_LINEAR, GL_NEAREST, true>, 3, 0,
     "single texels of each level exact", nullptr, kMip},
    {"squares_linear_mipmap_linear", SquareLevels<GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, true>, 16, 0,
     "as squares_linear_mipmap_nearest", nullptr, kMip},
    {"magnified_nearest", Magnified<GL_LINEAR_MIPMAP_LINEAR, GL_NEAREST>, 3, 20, "the quad's edges", nullptr, kMip},
    {"magnified_linear", Magnified<GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR>, 16, 150,
     "filter weights and coordinates in 1/16 of a texel, over 24 pixels a texel", nullptr, kMip},
    {"wrap_repeat_nearest", Wrapped<GL_NEAREST, GL_NEAREST, GL_REPEAT>, 3, 10, "the quads' edges", nullptr, kMip},
    {"wrap_repeat_linear", Wrapped<GL_LINEAR, GL_LINEAR, GL_REPEAT>, 16, 10, "filter weights in 1/16", nullptr,
     kMip},
    {"wrap_clamp_nearest", Wrapped<GL_NEAREST, GL_NEAREST, GL_CLAMP>, 3, 10, "the quads' edges", nullptr, kMip},
    {"wrap_clamp_linear", Wrapped<GL_LINEAR, GL_LINEAR, GL_CLAMP>, 16, 10, "filter weights; the border colour",
     nullptr, kMip},
    {"modulate_luminance", Environment<1, GL_MODULATE, false>, 3, 10, "the quad's edges", nullptr, kMip},
    {"modulate_rgb", Environment<3, GL_MODULATE, false>, 3, 10, "the quad's edges", nullptr, kMip},
    {"modulate_rgba_blended", Environment<4, GL_MODULATE, true>, 3, 10, "the quad's edges", nullptr, kMip},
    {"decal_rgb", Environment<3, GL_DECAL, false>, 3, 10, "the quad's edges", nullptr, kMip},
    {"decal_rgba", Environment<4, GL_DECAL, false>, 3, 10, "the quad's edges", nullptr, kMip},
    {"blend_luminance", Environment<1, GL_BLEND, false>, 3, 10, "the quad's edges", nullptr, kMip},
    {"blend_luminance_alpha_blended", Environment<2, GL_BLEND, true>, 3, 10, "the quad's edges", nullptr, kMip},
    {"blend_rgb", Environment<3, GL_BLEND, false>, 3, 10, "the quad's edges", nullptr, kMip},
    {"texgen_object_linear", Generated<GL_OBJECT_LINEAR>, 3, 1600,
     "in perspective the board walks the texture linearly across each cut piece: texel edges up to a pixel from the "
     "reference's",
     nullptr, kMip},
    {"texgen_eye_linear", Generated<GL_EYE_LINEAR>, 3, 1600, "as texgen_object_linear", nullptr, kMip},
};

VNX_APP_SCENES(Textures, kTextures);

// The squares under each mip-map filter against GL's own levels: every
// pixel of the square of side 32 >> l shows level l's colour exactly (the
// 32-pixel square lies at lambda 0, magnification's edge, which takes
// level 0 as well). Drawn by the board with the colours of kLevel, by the
// software stages with those of kCheckLevel.
struct Filtering {
    GLenum min, mag;
    const char* name;
};
class SquareLevelsExact : public AppTest, public ::testing::WithParamInterface<std::tuple<Filtering, bool>> {
  protected:
    Wants Wanted() const override {
        Wants w;
        w.buffers = kMipmaps;
        return w;
    }
    // Draws `draw` with the 32-texel six-level texture of `colours` under
    // the filters, modulated, and reads the window's picture.
    void DrawLevelled(GLenum min, GLenum mag, const GLubyte (&colours)[6][3], void (*draw)(const Gl&),
                      std::vector<std::uint32_t>* picture) {
        Pixels(gl_);
        LevelTexture(gl_, 32, false, colours);
        Filters(gl_, min, mag);
        gl_.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        gl_.Enable(GL_TEXTURE_2D);
        draw(gl_);
        gl_.Finish();
        ASSERT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
        *picture = Picture();
    }
};

TEST_P(SquareLevelsExact, EachSquareShowsItsLevel) {
    const auto& [filtering, check] = GetParam();
    const GLubyte(&colours)[6][3] = check ? kCheckLevel : kLevel;
    std::vector<std::uint32_t> picture;
    ASSERT_NO_FATAL_FAILURE(DrawLevelled(filtering.min, filtering.mag, colours, Squares, &picture));
    EXPECT_EQ(BoardErrors(), "");
    ASSERT_EQ(picture.size(), static_cast<std::size_t>(kWidth) * kHeight);
    for (int k = 0; k < 4; ++k) {
        const std::uint32_t want = static_cast<std::uint32_t>(colours[k][0]) << 16 |
                                   static_cast<std::uint32_t>(colours[k][1]) << 8 | colours[k][2];
        int wrong = 0;
        std::uint32_t firstWrong = 0;
        for (int y = kSquareY; y < kSquareY + kSquareSide[k]; ++y)
            for (int x = kSquareX[k]; x < kSquareX[k] + kSquareSide[k]; ++x) {
                // Rows top to bottom, GL's y up.
                const std::uint32_t got = picture[static_cast<std::size_t>((kHeight - 1 - y) * kWidth + x)];
                if (got != want && wrong++ == 0) firstWrong = got;
            }
        EXPECT_EQ(wrong, 0) << "square of " << kSquareSide[k] << " pixels: level " << k << " is " << std::hex
                            << want << ", first other colour " << firstWrong;
    }
}

const Filtering kFilterings[] = {
    {GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, "nearest_mipmap_nearest"},
    {GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST, "linear_mipmap_nearest"},
    {GL_NEAREST_MIPMAP_LINEAR, GL_NEAREST, "nearest_mipmap_linear"},
    {GL_LINEAR_MIPMAP_LINEAR, GL_NEAREST, "linear_mipmap_linear"},
    {GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR, "nearest_mipmap_nearest_mag_linear"},
    {GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, "linear_mipmap_nearest_mag_linear"},
    {GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR, "nearest_mipmap_linear_mag_linear"},
    {GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, "linear_mipmap_linear_mag_linear"},
};
INSTANTIATE_TEST_SUITE_P(Textures, SquareLevelsExact,
                         ::testing::Combine(::testing::ValuesIn(kFilterings), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Filtering, bool>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_software" : "_board");
                         });

// The floor of flat levels under each mip-map filter, on the board (the
// colours of kLevel) and through the software stages (kCheckLevel),
// against GL's own result at every pixel of it: the level (or the two
// levels and their blend) GL takes at lambda = log2 rho, rho from the
// floor's mapping (FloorLambda), magnification at lambda <= c (c = 0.5 for
// a LINEAR magnification with the NEAREST_MIPMAP_* filters, else 0). A
// pixel may differ from it by what lambda's change over a pixel and a
// sixteenth of a level (the board takes the choice once a piece) make of
// it, and 3 for the blend's weights in 1/255.
class FloorLevelsExact : public SquareLevelsExact {};

// GL's colour of the flat levels at lambda.
struct Rgb {
    double c[3];
};
Rgb FlatLevelsAt(double lambda, GLenum min, GLenum mag, const GLubyte (&colours)[6][3]) {
    const bool bNearestMip = min == GL_NEAREST_MIPMAP_NEAREST || min == GL_NEAREST_MIPMAP_LINEAR;
    const double c = mag == GL_LINEAR && bNearestMip ? 0.5 : 0.0;
    auto level = [&](int l) { return Rgb{{double(colours[l][0]), double(colours[l][1]), double(colours[l][2])}}; };
    if (lambda <= c) return level(0);
    if (min == GL_NEAREST_MIPMAP_NEAREST || min == GL_LINEAR_MIPMAP_NEAREST)
        return level(lambda <= 0.5 ? 0 : std::min(static_cast<int>(std::ceil(lambda + 0.5)) - 1, 5));
    if (lambda >= 5.0) return level(5);
    const int d = static_cast<int>(std::floor(lambda));
    const double f = lambda - d;
    const Rgb a = level(d), b = level(d + 1);
    return Rgb{{(1 - f) * a.c[0] + f * b.c[0], (1 - f) * a.c[1] + f * b.c[1], (1 - f) * a.c[2] + f * b.c[2]}};
}

TEST_P(FloorLevelsExact, EveryPixelTakesGlsLevels) {
    const auto& [filtering, check] = GetParam();
    const GLubyte(&colours)[6][3] = check ? kCheckLevel : kLevel;
    std::vector<std::uint32_t> picture;
    ASSERT_NO_FATAL_FAILURE(DrawLevelled(filtering.min, filtering.mag, colours, [](const Gl& gl) { Floor(gl); }, &picture));
    EXPECT_EQ(BoardErrors(), "");
    ASSERT_EQ(picture.size(), static_cast<std::size_t>(kWidth) * kHeight);
    int checked = 0, wrong = 0;
    std::string first;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double lambda = FloorLambda(x, y, 32);
            if (!std::isfinite(lambda)) continue;
            // Inside the floor, off its far and side edges.
            const double ny = (y + 0.5) / (kHeight / 2.0) - 1.0, nx = (x + 0.5) / (kWidth / 2.0) - 1.0;
            const double d = -1.0 / (-kFloorBottom * ny), across = -kFloorLeft * nx * d;
            if (d > 24.8 || std::fabs(across) > 15.8) continue;
            double step = 0.0;
            for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}})
                step = std::max(step, std::fabs(FloorLambda(x + dx, y + dy, 32) - lambda));
            const double e = 1.0 / 16 + 0.75 * step;
            const Rgb want = FlatLevelsAt(lambda, filtering.min, filtering.mag, colours);
            const std::uint32_t got = picture[static_cast<std::size_t>((kHeight - 1 - y) * kWidth + x)];
            bool bad = false;
            for (int k = 0; k < 3; ++k) {
                double allowed = 3.0;
                for (double l : {lambda - e, lambda + e})
                    allowed = std::max(allowed, 3.0 + std::fabs(FlatLevelsAt(l, filtering.min, filtering.mag, colours).c[k] -
                                                                 want.c[k]));
                const double g = static_cast<double>(got >> (16 - 8 * k) & 0xFF);
                bad = bad || std::fabs(g - want.c[k]) > allowed;
            }
            ++checked;
            if (bad && wrong++ < 5) {
                char line[160];
                std::snprintf(line, sizeof line, "  (%d, %d) lambda %.3f: GL %.0f %.0f %.0f, board %06x\n", x, y,
                              lambda, want.c[0], want.c[1], want.c[2], got);
                first += line;
            }
        }
    EXPECT_GT(checked, 15000);
    EXPECT_EQ(wrong, 0) << "of " << checked << " pixels of the floor; the first:\n" << first;
}

INSTANTIATE_TEST_SUITE_P(Textures, FloorLevelsExact,
                         ::testing::Combine(::testing::ValuesIn(kFilterings), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Filtering, bool>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_software" : "_board");
                         });

// GL's switch-over from magnification to minification lies at lambda
// c = 0.5 for a LINEAR magnification over NEAREST_MIPMAP_NEAREST or
// NEAREST_MIPMAP_LINEAR, else at 0. A 32-texel texture whose levels are
// checkers of single texels, on a 26-pixel square (lambda = log2(32 / 26),
// about 0.3, between the two points): under those filters every pixel
// takes the bilinear blend of level 0's four nearest texels (the
// magnification filter); under LINEAR_MIPMAP_NEAREST the minification's
// level 0 is filtered the same way; a NEAREST magnification leaves the
// nearest texel of level 0. The flat levels of the floor above cannot tell
// a nearest texel from a blend.
class SwitchOverExact : public SquareLevelsExact {};

TEST_P(SwitchOverExact, BetweenTheTwoPointsGlsFilterIsTaken) {
    const auto& [filtering, check] = GetParam();
    const GLubyte(&colours)[6][3] = check ? kCheckLevel : kLevel;
    constexpr int kSize = 32, kSide = 26, kX0 = 40, kY0 = 30;
    Pixels(gl_);
    LevelTexture(gl_, kSize, true, colours);
    Filters(gl_, filtering.min, filtering.mag);
    gl_.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl_.Enable(GL_TEXTURE_2D);
    gl_.Begin(GL_QUADS);
    gl_.TexCoord2f(0, 0), gl_.Vertex2f(kX0, kY0);
    gl_.TexCoord2f(1, 0), gl_.Vertex2f(kX0 + kSide, kY0);
    gl_.TexCoord2f(1, 1), gl_.Vertex2f(kX0 + kSide, kY0 + kSide);
    gl_.TexCoord2f(0, 1), gl_.Vertex2f(kX0, kY0 + kSide);
    gl_.End();
    gl_.Finish();
    ASSERT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    const std::vector<std::uint32_t> picture = Picture();
    EXPECT_EQ(BoardErrors(), "");
    ASSERT_EQ(picture.size(), static_cast<std::size_t>(kWidth) * kHeight);
    // Level 0's texel (i, j), repeated.
    auto texel = [&](int i, int j, int c) {
        const bool dark = (((i % kSize) + kSize) % kSize + ((j % kSize) + kSize) % kSize) % 2 == 1;
        return dark ? colours[0][c] / 3 : colours[0][c];
    };
    const bool bBlend = filtering.mag == GL_LINEAR;
    int wrong = 0;
    std::string first;
    // Off the square's edges by a pixel.
    for (int y = kY0 + 1; y < kY0 + kSide - 1; ++y)
        for (int x = kX0 + 1; x < kX0 + kSide - 1; ++x) {
            const double u = (x + 0.5 - kX0) * kSize / kSide, v = (y + 0.5 - kY0) * kSize / kSide;
            const int i = static_cast<int>(std::floor(u - 0.5)), j = static_cast<int>(std::floor(v - 0.5));
            const double a = u - 0.5 - i, b = v - 0.5 - j;
            const std::uint32_t got = picture[static_cast<std::size_t>((kHeight - 1 - y) * kWidth + x)];
            bool bad = false;
            for (int c = 0; c < 3; ++c) {
                const double want =
                    bBlend ? (1 - a) * (1 - b) * texel(i, j, c) + a * (1 - b) * texel(i + 1, j, c) +
                                 (1 - a) * b * texel(i, j + 1, c) + a * b * texel(i + 1, j + 1, c)
                           : texel(static_cast<int>(std::floor(u)), static_cast<int>(std::floor(v)), c);
                // The board's texel coordinates and filter weights are sixteenths.
                bad = bad || std::fabs(static_cast<double>(got >> (16 - 8 * c) & 0xFF) - want) > 16.0;
            }
            if (bad && wrong++ < 5) {
                char line[96];
                std::snprintf(line, sizeof line, "  (%d, %d): got %06x\n", x, y, got);
                first += line;
            }
        }
    EXPECT_EQ(wrong, 0) << "the first:\n" << first;
}

const Filtering kSwitchOvers[] = {
    {GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR, "nearest_mipmap_nearest_mag_linear"},
    {GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR, "nearest_mipmap_linear_mag_linear"},
    {GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, "linear_mipmap_nearest_mag_linear"},
    {GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, "nearest_mipmap_nearest"},
};
INSTANTIATE_TEST_SUITE_P(Textures, SwitchOverExact,
                         ::testing::Combine(::testing::ValuesIn(kSwitchOvers), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Filtering, bool>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_software" : "_board");
                         });

}  // namespace
}  // namespace glapp_tests
