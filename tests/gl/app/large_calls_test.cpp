// Large calls on machines whose DMA buffer is the smallest the miniport
// hands out: each of four rings holds about 12 KB. A polygon of 600
// vertices, strips and fans of hundreds, a thousand points, long line
// strips, a window-sized bitmap and image, drawn directly and from a
// display list; every rasterizer draws its tiles of them (the window spans
// tiles of all four) and the board finds no word it cannot read. (The
// client and the list hand the server these in batches that fit a ring;
// the render functions' own pieces for a batch larger than a ring are
// tested with the lgi layer, tests/gl/server/lgi/kz2/render.)
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

constexpr float kPi = 3.14159265f;

// A colour that is an affine function of the position: the picture does
// not hang on how the shapes are cut into triangles.
void Vertex(const Gl& gl, float x, float y) {
    gl.Color3f(0.2f + x / 320.0f, 0.1f + y / 240.0f, 0.9f - x / 512.0f - y / 384.0f);
    gl.Vertex2f(x, y);
}

// n vertices of the circle around the window's centre, radius r.
void Circle(const Gl& gl, int n, float r) {
    for (int k = 0; k < n; ++k) {
        const float a = 2 * kPi * static_cast<float>(k) / static_cast<float>(n);
        Vertex(gl, 128.0f + r * std::cos(a), 96.0f + r * 0.95f * std::sin(a));
    }
}

template <GLenum kShade>
void Polygon600(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(kShade);
    gl.Begin(GL_POLYGON);
    Circle(gl, 600, 92);
    gl.End();
}

// With the depth test: the layout with a depth word a vertex.
void Polygon600Depth(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_POLYGON);
    Circle(gl, 600, 92);
    gl.End();
    gl.Disable(GL_DEPTH_TEST);
}

// The polygon's outline and its vertices.
template <GLenum kMode>
void Polygon600Mode(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.PolygonMode(GL_FRONT_AND_BACK, kMode);
    gl.Begin(GL_POLYGON);
    Circle(gl, 600, 92);
    gl.End();
    gl.PolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void Fan600(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_TRIANGLE_FAN);
    Vertex(gl, 128, 96);
    Circle(gl, 599, 92);
    gl.End();
}

// A strip of n vertices across the window, bottom and top alternating.
void Band(const Gl& gl, int n) {
    for (int k = 0; k < n; ++k) {
        const float x = 6.0f + 244.0f * static_cast<float>(k / 2) / static_cast<float>(n / 2 - 1);
        Vertex(gl, x, (k & 1) != 0 ? 184.0f : 8.0f);
    }
}

template <GLenum kKind>
void LongStrip(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(kKind);
    Band(gl, 1000);
    gl.End();
}

// Separate triangles and quads on a grid: 330 triangles, 240 quads (each
// quad's top edge on a row of pixel centres).
void ManyTriangles(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_TRIANGLES);
    for (int k = 0; k < 330; ++k) {
        const float x = 4.0f + 8.0f * static_cast<float>(k % 30), y = 8.0f + 16.0f * static_cast<float>(k / 30);
        Vertex(gl, x, y), Vertex(gl, x + 7.5f, y), Vertex(gl, x + 3.5f, y + 14.5f);
    }
    gl.End();
}

void ManyQuads(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_QUADS);
    for (int k = 0; k < 240; ++k) {
        const float x = 4.2f + 12.5f * static_cast<float>(k % 20), y = 6.2f + 15.0f * static_cast<float>(k / 20);
        Vertex(gl, x, y), Vertex(gl, x + 10.3f, y), Vertex(gl, x + 10.3f, y + 12.3f), Vertex(gl, x, y + 12.3f);
    }
    gl.End();
}

// Columns of quads stacked one on another, added onto the background: the
// edges between them lie on rows of pixel centres (y = 18.5 + 15k), the
// outer ones between rows. Each pixel of a column is drawn once whichever
// of the two quads takes a shared edge's row (a row drawn by both would
// show twice the colour, one by neither the background).
void StackedQuads(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_ONE, GL_ONE);
    gl.Color3f(0.3f, 0.2f, 0.1f);
    gl.Begin(GL_QUADS);
    for (int column = 0; column < 20; ++column) {
        const float x = 4.2f + 12.5f * static_cast<float>(column);
        for (int k = 0; k < 13; ++k) {
            const float y0 = k == 0 ? 6.2f : 3.5f + 15.0f * static_cast<float>(k);
            const float y1 = k == 12 ? 186.2f : 18.5f + 15.0f * static_cast<float>(k);
            gl.Vertex2f(x, y0), gl.Vertex2f(x + 10.3f, y0), gl.Vertex2f(x + 10.3f, y1), gl.Vertex2f(x, y1);
        }
    }
    gl.End();
    gl.Disable(GL_BLEND);
}

// 1000 points on a grid over the whole window.
template <int kSize>
void ManyPoints(const Gl& gl) {
    Pixels(gl);
    gl.PointSize(static_cast<float>(kSize));
    gl.Begin(GL_POINTS);
    for (int k = 0; k < 1000; ++k)
        Vertex(gl, 3.5f + 6.0f * static_cast<float>(k % 42), 4.5f + 8.0f * static_cast<float>(k / 42));
    gl.End();
    gl.PointSize(1);
}

// A line strip of 1000 vertices zig-zagging over the window, and 500
// separate lines.
template <int kWidth>
void LongLineStrip(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.LineWidth(static_cast<float>(kWidth));
    gl.Begin(GL_LINE_STRIP);
    for (int k = 0; k < 1000; ++k) {
        const float x = 4.5f + 247.0f * static_cast<float>(k) / 999.0f;
        Vertex(gl, x, (k & 1) != 0 ? 180.5f : 10.5f);
    }
    gl.End();
    gl.LineWidth(1);
}

void ManyLines(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_LINES);
    for (int k = 0; k < 500; ++k) {
        const float x = 4.5f + 0.5f * static_cast<float>(k);
        Vertex(gl, x, 6.5f), Vertex(gl, x + 3.0f, 186.5f);
    }
    gl.End();
}

// A textured polygon of 600 vertices (a checker of 8 x 8 texels). Every
// texel edge lies on a pixel boundary (texels of 23 x 22 pixels), half a
// pixel from the nearest pixel centres, so that the texel a centre samples
// does not hang on the rounding of its coordinates.
void CheckerImage(const Gl& gl) {
    std::vector<GLubyte> texels(8 * 8 * 3);
    for (int i = 0; i < 64; ++i) {
        const bool on = ((i % 8) + (i / 8)) % 2 != 0;
        texels[3 * i] = on ? 230 : 40, texels[3 * i + 1] = on ? 200 : 60, texels[3 * i + 2] = on ? 40 : 180;
    }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
}

void TexturedPolygon(const Gl& gl) {
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    gl.Enable(GL_TEXTURE_2D);
    gl.Begin(GL_POLYGON);
    for (int k = 0; k < 600; ++k) {
        const float a = 2 * kPi * static_cast<float>(k) / 600.0f;
        const float c = std::cos(a), s = std::sin(a);
        gl.TexCoord2f(0.5f + 0.5f * c, 0.5f + 0.5f * s);
        gl.Vertex2f(128.0f + 92.0f * c, 96.0f + 88.0f * s);
    }
    gl.End();
    gl.Disable(GL_TEXTURE_2D);
}

void TexturedPolygon600(const Gl& gl) {
    Pixels(gl);
    CheckerImage(gl);
    TexturedPolygon(gl);
}

// A bitmap and an image as large as the window.
void WindowBitmap(const Gl& gl) {
    Pixels(gl);
    std::vector<GLubyte> bits(kWidth / 8 * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int b = 0; b < kWidth / 8; ++b) bits[y * (kWidth / 8) + b] = static_cast<GLubyte>(0x5A ^ (y * 7 + b * 13));
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.Color3f(0.9f, 0.8f, 0.1f);
    gl.RasterPos2i(0, 0);
    gl.Bitmap(kWidth, kHeight, 0, 0, 0, 0, bits.data());
}

void WindowImage(const Gl& gl) {
    Pixels(gl);
    std::vector<GLubyte> rgba(4 * kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            GLubyte* p = &rgba[4 * (y * kWidth + x)];
            p[0] = static_cast<GLubyte>(x), p[1] = static_cast<GLubyte>(y), p[2] = static_cast<GLubyte>(x ^ y), p[3] = 255;
        }
    gl.RasterPos2i(0, 0);
    gl.DrawPixels(kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

// The scene compiled into a display list and called: the server gets each
// primitive of the list whole.
template <void (*kDraw)(const Gl&)>
void InList(const Gl& gl) {
    const GLuint list = gl.GenLists(1);
    gl.NewList(list, GL_COMPILE);
    kDraw(gl);
    gl.EndList();
    gl.CallList(list);
    gl.DeleteLists(list, 1);
}

// The textured polygon from a list, its image loaded before: the server
// keeps no texture image in a list (compiled, TexImage2D only runs when the
// list is also executed), so the list holds the rest.
void ListTexturedPolygon600(const Gl& gl) {
    Pixels(gl);
    CheckerImage(gl);
    InList<TexturedPolygon>(gl);
}

// What these scenes show on every machine, whatever its DMA buffer (Solo and
// Quad of 1 MB alike): differences GL allows, not faults of the queue rings.
// GL holds window positions to GL_SUBPIXEL_BITS (4 here) and puts a point's
// fragment at their truncation: a vertex within 1/32 pixel below a pixel
// edge is held, to the nearest sixteenth, as the edge itself and lands in
// the next pixel; the reference truncates its unrounded position.
constexpr const char* kVertexSixteenths =
    "the vertices' colours rounded; 47 pixels where vertices within 1/32 pixel below a pixel edge, held in "
    "sixteenths (4 sub-pixel bits, as GL allows), are truncated into the next pixel";
constexpr int kVertexSixteenthsPixels = 47;
// GL asks of a pixel centre on an edge only that exactly one of the two
// polygons sharing the edge draw it. The board's top-left rule counts the
// edge on top in its rows, which run down the screen: a polygon's top
// edge in GL's y, where the reference counts the bottom one.
constexpr const char* kTopEdgeRows =
    "span interpolation; each quad's top edge lies on a row of pixel centres (y = 18.5 + 15k), which GL leaves "
    "to either polygon that could share the edge: the board draws it, the reference does not (10 pixels a quad, "
    "2400)";
constexpr int kTopEdgePixels = 2400;

constexpr const char* kEdges = "span interpolation; edge pixels where the coverage rules round apart";
constexpr const char* kLineEnds = "interpolation along the lines; pixels at the lines' ends";
constexpr const char* kTexelEdges =
    "texture coordinates interpolated along the fan's slivers: pixels beside a texel edge; edge pixels";
const Scene kLargeCalls[] = {
    {"polygon_600", Polygon600<GL_SMOOTH>, 3, 160, kEdges},
    {"polygon_600_flat", Polygon600<GL_FLAT>, 3, 160, kEdges},
    {"polygon_600_depth", Polygon600Depth, 3, 160, kEdges},
    {"polygon_600_outline", Polygon600Mode<GL_LINE>, 3, 200, kLineEnds},
    {"polygon_600_vertices", Polygon600Mode<GL_POINT>, 3, kVertexSixteenthsPixels, kVertexSixteenths},
    {"fan_600", Fan600, 3, 160, kEdges},
    {"triangle_strip_1000", LongStrip<GL_TRIANGLE_STRIP>, 3, 200, kEdges},
    {"quad_strip_1000", LongStrip<GL_QUAD_STRIP>, 3, 200, kEdges},
    {"triangles_330", ManyTriangles, 3, 400, kEdges},
    {"quads_240", ManyQuads, 3, kTopEdgePixels, kTopEdgeRows},
    {"stacked_quads_260", StackedQuads, 3, 0, "none: each pixel drawn once by one quad"},
    {"points_1000", ManyPoints<1>, 3, 20, "the points' colours rounded"},
    {"wide_points_1000", ManyPoints<3>, 3, 40, "the points' colours rounded"},
    {"line_strip_1000", LongLineStrip<1>, 3, 300, kLineEnds},
    {"wide_line_strip_1000", LongLineStrip<3>, 3, 600, kLineEnds},
    {"lines_500", ManyLines, 3, 300, kLineEnds},
    {"textured_polygon_600", TexturedPolygon600, 3, 300, kTexelEdges},
    {"window_bitmap", WindowBitmap, 0, 0, "none: bitmaps are exact"},
    {"window_image", WindowImage, 0, 0, "none: images are exact"},
    {"list_polygon_600", InList<Polygon600<GL_SMOOTH>>, 3, 160, kEdges},
    {"list_polygon_600_flat", InList<Polygon600<GL_FLAT>>, 3, 160, kEdges},
    {"list_polygon_600_depth", InList<Polygon600Depth>, 3, 160, kEdges},
    {"list_polygon_600_outline", InList<Polygon600Mode<GL_LINE>>, 3, 200, kLineEnds},
    {"list_polygon_600_vertices", InList<Polygon600Mode<GL_POINT>>, 3, kVertexSixteenthsPixels, kVertexSixteenths},
    {"list_fan_600", InList<Fan600>, 3, 160, kEdges},
    {"list_triangle_strip_1000", InList<LongStrip<GL_TRIANGLE_STRIP>>, 3, 200, kEdges},
    {"list_quad_strip_1000", InList<LongStrip<GL_QUAD_STRIP>>, 3, 200, kEdges},
    {"list_triangles_330", InList<ManyTriangles>, 3, 400, kEdges},
    {"list_quads_240", InList<ManyQuads>, 3, kTopEdgePixels, kTopEdgeRows},
    {"list_stacked_quads_260", InList<StackedQuads>, 3, 0, "none: each pixel drawn once by one quad"},
    {"list_points_1000", InList<ManyPoints<1>>, 3, 20, "the points' colours rounded"},
    {"list_wide_points_1000", InList<ManyPoints<3>>, 3, 40, "the points' colours rounded"},
    {"list_line_strip_1000", InList<LongLineStrip<1>>, 3, 300, kLineEnds},
    {"list_wide_line_strip_1000", InList<LongLineStrip<3>>, 3, 600, kLineEnds},
    {"list_lines_500", InList<ManyLines>, 3, 300, kLineEnds},
    {"list_textured_polygon_600", ListTexturedPolygon600, 3, 300, kTexelEdges},
};

const Machine kSmallDmaMachines[] = {glmachines::kQuad32SmallDma, glmachines::kSplit32SmallDma};

}  // namespace

VNX_APP_SCENES_ON(LargeCalls, kLargeCalls, kSmallDmaMachines);

}  // namespace glapp_tests
