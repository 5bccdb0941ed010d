// Lines and points as applications draw them: widths 1 to 8, stipple
// patterns and repeat factors in strips and loops, antialiased lines and
// points blended, point sizes, lines along and across the window's edges.
#include <gtest/gtest.h>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// Lines of one width at several slopes (x-major and y-major, both
// directions), smooth-shaded, ends on pixel centres.
template <int kWidthPx>
void Widths(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.LineWidth(static_cast<float>(kWidthPx));
    gl.Begin(GL_LINES);
    static const float kEnds[][4] = {{20, 20, 236, 40},  {236, 60, 20, 100}, {30, 120, 90, 180},
                                     {120, 180, 100, 110}, {150, 110, 240, 170}, {200, 10, 200, 50}, {130, 90, 230, 90}};
    for (const auto& e : kEnds) {
        gl.Color3f(1, 0.3f, 0.1f), gl.Vertex2f(e[0] + 0.5f, e[1] + 0.5f);
        gl.Color3f(0.2f, 0.6f, 1), gl.Vertex2f(e[2] + 0.5f, e[3] + 0.5f);
    }
    gl.End();
}

// Stipple patterns and factors: strips (the pattern carried on across the
// segments), loops (on into the closing segment), separate lines (started
// again at each), one pattern and factor a shape.
void Stipple(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_LINE_STIPPLE);
    static const struct {
        GLint factor;
        GLushort pattern;
        GLenum mode;
    } kRows[] = {{1, 0xAAAA, GL_LINE_STRIP}, {1, 0x0F0F, GL_LINE_LOOP}, {2, 0x33FF, GL_LINE_STRIP},
                 {3, 0x1C47, GL_LINE_LOOP},  {4, 0x00FF, GL_LINES},     {1, 0x8001, GL_LINES},
                 {7, 0xF0F0, GL_LINE_STRIP}, {256, 0xFF00, GL_LINE_STRIP}};
    for (int k = 0; k < 8; ++k) {
        gl.LineStipple(kRows[k].factor, kRows[k].pattern);
        const float x = 6.5f + 31.0f * k;
        gl.Color3f(1.0f - k / 8.0f, 0.5f + k / 16.0f, k / 8.0f);
        gl.Begin(kRows[k].mode);
        gl.Vertex2f(x, 10.5f), gl.Vertex2f(x + 24, 60.5f), gl.Vertex2f(x + 4, 120.5f), gl.Vertex2f(x + 26, 180.5f);
        gl.End();
    }
    // A wide stippled line: every column of a dash drawn.
    gl.LineWidth(3.0f);
    gl.LineStipple(2, 0x0F3F);
    gl.Color3f(1, 1, 1);
    gl.Begin(GL_LINES);
    gl.Vertex2f(10.5f, 186.5f), gl.Vertex2f(246.5f, 186.5f);
    gl.End();
}

// Antialiased lines blended over a background, of widths 1, 2 and 3.
void SmoothLines(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_LINE_SMOOTH);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int w = 1; w <= 3; ++w) {
        gl.LineWidth(static_cast<float>(w));
        gl.Begin(GL_LINES);
        for (int k = 0; k < 5; ++k) {
            const float y = 10.0f + 60.0f * (w - 1) + 11.0f * k;
            gl.Color4f(1, 1, 0.6f, 1), gl.Vertex2f(10.3f, y);
            gl.Color4f(0.4f, 1, 1, 1), gl.Vertex2f(246.7f, y + 7.0f * k + 3.3f);
        }
        gl.End();
    }
    gl.Disable(GL_BLEND);
    gl.Disable(GL_LINE_SMOOTH);
}

// Antialiased points blended over a background, sizes 1 to 6 at centres
// across a pixel.
void SmoothPoints(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_POINT_SMOOTH);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int size = 1; size <= 6; ++size) {
        gl.PointSize(static_cast<float>(size));
        gl.Begin(GL_POINTS);
        for (int k = 0; k < 8; ++k) {
            gl.Color4f(1, size / 6.0f, k / 8.0f, 1);
            gl.Vertex2f(20.0f + 28 * k + 0.25f * (k % 4), 15.0f + 30 * (size - 1) + 0.25f * (k / 4));
        }
        gl.End();
    }
    gl.Disable(GL_BLEND);
    gl.Disable(GL_POINT_SMOOTH);
}

// Aliased points of sizes 1 to 8 and between (1.4, 2.6: rounded), at pixel
// centres and across.
void PointSizes(const Gl& gl) {
    Pixels(gl);
    static const float kSizes[] = {1, 1.4f, 2, 2.6f, 3, 5, 7, 8};
    for (int s = 0; s < 8; ++s) {
        gl.PointSize(kSizes[s]);
        gl.Begin(GL_POINTS);
        for (int k = 0; k < 6; ++k) {
            gl.Color3f(0.3f + s / 12.0f, 1 - k / 6.0f, k / 6.0f);
            gl.Vertex2f(16.5f + 30 * s + 0.25f * (k % 3), 16.5f + 30 * k + 0.25f * (k / 3));
        }
        gl.End();
    }
}

// Lines at the window's edges: along the first and last rows and columns,
// leaving the window across each edge (clipped), wide lines half outside,
// points on the edges.
void WindowEdges(const Gl& gl) {
    Pixels(gl);
    gl.Begin(GL_LINE_LOOP);
    gl.Color3f(1, 0, 0), gl.Vertex2f(0.5f, 0.5f);
    gl.Color3f(0, 1, 0), gl.Vertex2f(255.5f, 0.5f);
    gl.Color3f(0, 0, 1), gl.Vertex2f(255.5f, 191.5f);
    gl.Color3f(1, 1, 0), gl.Vertex2f(0.5f, 191.5f);
    gl.End();
    gl.Begin(GL_LINES);
    gl.Color3f(1, 1, 1), gl.Vertex2f(-40.5f, 30.5f), gl.Vertex2f(60.5f, 90.5f);
    gl.Color3f(1, 0, 1), gl.Vertex2f(200.5f, 150.5f), gl.Vertex2f(300.5f, 230.5f);
    gl.Color3f(0, 1, 1), gl.Vertex2f(120.5f, -30.5f), gl.Vertex2f(150.5f, 230.5f);
    gl.End();
    gl.LineWidth(5.0f);
    gl.Begin(GL_LINES);
    gl.Color3f(1, 0.5f, 0), gl.Vertex2f(1.0f, 40.5f), gl.Vertex2f(1.0f, 150.5f);
    gl.Color3f(0.5f, 1, 0), gl.Vertex2f(30.5f, 191.0f), gl.Vertex2f(220.5f, 191.0f);
    gl.End();
    gl.PointSize(6.0f);
    gl.Begin(GL_POINTS);
    gl.Color3f(1, 1, 0.5f), gl.Vertex2f(256, 100), gl.Vertex2f(100, 0), gl.Vertex2f(0, 0);
    gl.End();
}

const Scene kLinesPoints[] = {
    {"width_1", Widths<1>, 3, 40, "interpolation along the lines; pixels at the lines' ends"},
    {"width_2", Widths<2>, 3, 60, "interpolation along the lines; pixels at the lines' ends"},
    {"width_3", Widths<3>, 3, 60, "interpolation along the lines; pixels at the lines' ends"},
    {"width_4", Widths<4>, 3, 80, "interpolation along the lines; pixels at the lines' ends"},
    {"width_5", Widths<5>, 3, 80, "interpolation along the lines; pixels at the lines' ends"},
    {"width_6", Widths<6>, 3, 100, "interpolation along the lines; pixels at the lines' ends"},
    {"width_7", Widths<7>, 3, 100, "interpolation along the lines; pixels at the lines' ends"},
    {"width_8", Widths<8>, 3, 120, "interpolation along the lines; pixels at the lines' ends"},
    {"stipple", Stipple, 0, 60,
     "the lines' end pixels; on long segments drawn downwards (loops' closing segments) the reference leaves out "
     "the first pixel and its dashes sit a pixel off GL's count for a stretch"},
    {"smooth_lines", SmoothLines, 24, 300,
     "antialiased coverage: GL leaves its computation open, implementations differ by a few levels at the edges"},
    {"smooth_points", SmoothPoints, 24, 120,
     "antialiased coverage: GL leaves its computation open, implementations differ at the discs' rims",
     "the reference's, not ours: OSMesa draws antialiased points without coverage, as the whole pixels whose centres "
     "lie inside the disc; ours cover each pixel by the part of it inside the disc, as GL 1.0 does (within 24 levels "
     "of the exact area but for 16 rim pixels of size 1), so every rim differs (424 pixels beyond 24 levels)"},
    {"point_sizes", PointSizes, 0, 0, "aliased points: exact"},
    {"window_edges", WindowEdges, 3, 40, "interpolation along the lines; the clipped lines' end pixels"},
    {.name = "window_edges_covered",
     .draw = WindowEdges,
     .tolerance = 3,
     .outliers = 40,
     .why = "interpolation along the lines; the clipped lines' end pixels",
     .covered = true},
};

VNX_APP_SCENES(LinesPoints, kLinesPoints);

}  // namespace
}  // namespace glapp_tests
