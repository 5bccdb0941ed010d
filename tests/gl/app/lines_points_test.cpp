// Lines and points as applications draw them: widths 1 to 8, stipple
// patterns and repeat factors in strips and loops, antialiased lines and
// points blended, point sizes, lines along and across the window's edges.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

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

// Stippled strips of long segments (183, 150 and 176 pixels; then
// diagonals): the pattern runs on across each vertex, GL resetting it only
// where a strip starts.
void StippleLongStrips(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_LINE_STIPPLE);
    gl.LineStipple(1, 0x0F33);
    gl.Color3f(1, 0.8f, 0.3f);
    gl.Begin(GL_LINE_STRIP);
    gl.Vertex2f(10.5f, 10.5f), gl.Vertex2f(193.5f, 10.5f), gl.Vertex2f(193.5f, 160.5f), gl.Vertex2f(17.5f, 160.5f);
    gl.End();
    gl.LineStipple(3, 0x3C5B);
    gl.Color3f(0.3f, 0.9f, 1);
    gl.Begin(GL_LINE_STRIP);
    gl.Vertex2f(20.5f, 30.5f), gl.Vertex2f(230.5f, 140.5f), gl.Vertex2f(40.5f, 150.5f), gl.Vertex2f(200.5f, 40.5f);
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

// Antialiased lines of widths the board's two kernels do not draw (1.5,
// 4 and 9 pixels) blended over a background.
void SmoothWideLines(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_LINE_SMOOTH);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float widths[] = {1.5f, 4.0f, 9.0f};
    for (int i = 0; i < 3; ++i) {
        gl.LineWidth(widths[i]);
        gl.Begin(GL_LINES);
        for (int k = 0; k < 3; ++k) {
            const float y = 15.0f + 60.0f * i + 17.0f * k;
            gl.Color4f(1, 0.8f, 0.3f, 1), gl.Vertex2f(12.3f, y);
            gl.Color4f(0.3f, 0.9f, 1, 1), gl.Vertex2f(240.7f, y + 9.0f * k + 2.3f);
        }
        gl.End();
    }
    gl.Disable(GL_BLEND);
    gl.Disable(GL_LINE_SMOOTH);
}

// Antialiased lines in one colour, flat-shaded and not blended, of widths
// the board's kernels do not draw: every pixel the line's rectangle reaches
// is written in the line's colour.
void SmoothFlatLines(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_FLAT);
    gl.Enable(GL_LINE_SMOOTH);
    gl.Color3f(0.9f, 0.7f, 0.2f);
    const float widths[] = {1.5f, 4.0f, 9.0f};
    for (int i = 0; i < 3; ++i) {
        gl.LineWidth(widths[i]);
        gl.Begin(GL_LINES);
        for (int k = 0; k < 3; ++k) {
            const float y = 15.0f + 60.0f * i + 17.0f * k;
            gl.Vertex2f(12.3f, y), gl.Vertex2f(240.7f, y + 9.0f * k + 2.3f);
        }
        gl.End();
    }
    gl.Disable(GL_LINE_SMOOTH);
    gl.ShadeModel(GL_SMOOTH);
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

// Points of size 1 stepped by a tenth of a pixel across the columns and
// rows where the window (at 100, 80 on the screen) crosses from one 128 x
// 128 screen tile into the next: each is drawn by the rasterizer that owns
// the pixel it covers.
void PointsAcrossTileEdges(const Gl& gl) {
    Pixels(gl);
    gl.Begin(GL_POINTS);
    for (int i = 0; i < 16; ++i) {
        gl.Color3f(1, 0.5f + i / 32.0f, 0.2f);
        for (float x : {27.3f, 155.3f})
            for (int j = 0; j < 3; ++j) gl.Vertex2f(x + 0.1f * i, 20.5f + 3 * i + 55 * j);
        gl.Color3f(0.2f, 0.5f + i / 32.0f, 1);
        for (float y : {15.3f, 143.3f})
            for (int j = 0; j < 4; ++j) gl.Vertex2f(40.5f + 3 * i + 50 * j, y + 0.1f * i);
    }
    gl.End();
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

// Batches with colours of their own that miss one of the rectangles a
// partly covered window is cut into (the other application's window covers
// its lower right): lines, a strip and points wholly below and left of the
// cover, others wholly above it, and a triangle in the upper band.
void CoveredBatches(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    for (float width : {1.0f, 3.0f}) {
        gl.LineWidth(width);
        const float dy = width == 1.0f ? 0.0f : 40.0f;
        gl.Begin(GL_LINES);
        // Ends off the pixel centres' rows, so that no pixel centre lies
        // half way between two rows of a line.
        gl.Color3f(1, 0.2f, 0.2f), gl.Vertex2f(10.5f, 10.3f + dy);
        gl.Color3f(0.2f, 1, 0.2f), gl.Vertex2f(130.5f, 31.1f + dy);
        gl.Color3f(0.2f, 0.2f, 1), gl.Vertex2f(20.5f, 40.3f + dy);
        gl.Color3f(1, 1, 0.2f), gl.Vertex2f(120.5f, 21.1f + dy);
        gl.End();
        gl.Begin(GL_LINE_STRIP);
        gl.Color3f(1, 0.5f, 0), gl.Vertex2f(20.5f, 120.3f + dy / 2);
        gl.Color3f(0, 0.5f, 1), gl.Vertex2f(120.5f, 141.1f + dy / 2);
        gl.Color3f(0.5f, 1, 0.5f), gl.Vertex2f(240.5f, 125.3f + dy / 2);
        gl.End();
    }
    gl.PointSize(3.0f);
    gl.Begin(GL_POINTS);
    for (int k = 0; k < 6; ++k) gl.Color3f(1, k / 6.0f, 0.5f), gl.Vertex2f(15.5f + 20 * k, 90.5f);
    gl.End();
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(1, 0, 0), gl.Vertex2f(150, 110);
    gl.Color3f(0, 1, 0), gl.Vertex2f(250, 130);
    gl.Color3f(0, 0, 1), gl.Vertex2f(190, 185);
    gl.End();
}

// Lines the software path draws (stippled with a repeat factor of 3),
// colour a vertex, blended (ONE, ONE) over grey: separate lines and a
// strip across the whole window, so that in a covered window they cross
// the seams between its clip rectangles; each pixel is written once, over
// what the window held.
void SoftwareBlendedLines(const Gl& gl) {
    Pixels(gl);
    gl.Disable(GL_DITHER);
    gl.ClearColor(0.2f, 0.1f, 0.15f, 0);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_ONE, GL_ONE);
    gl.Enable(GL_LINE_STIPPLE);
    gl.LineStipple(3, 0x7FFF);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_LINES);
    for (int k = 0; k < 6; ++k) {
        const float x = 20.5f + 40.0f * k;
        gl.Color3f(0.25f, 0.1f * k, 0.4f), gl.Vertex2f(x, 3.5f);
        gl.Color3f(0.4f, 0.25f, 0.1f * k), gl.Vertex2f(x + 11.0f, 188.5f);
    }
    gl.End();
    gl.Begin(GL_LINE_STRIP);
    gl.Color3f(0.3f, 0.2f, 0.1f), gl.Vertex2f(2.5f, 110.5f);
    gl.Color3f(0.1f, 0.3f, 0.2f), gl.Vertex2f(253.5f, 95.5f);
    gl.Color3f(0.2f, 0.1f, 0.3f), gl.Vertex2f(4.5f, 60.5f);
    gl.End();
    gl.Disable(GL_LINE_STIPPLE);
    gl.Disable(GL_BLEND);
}

// Lines the software path draws (stippled with a repeat factor of 3) in
// one current colour, depth-tested against a quad: behind it they are
// hidden, in front of it and where they pass its side drawn; a strip runs
// from behind the quad to in front of it.
void SoftwareDepthLines(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.Color3f(0.2f, 0.5f, 0.9f);
    gl.Begin(GL_QUADS);
    gl.Vertex3f(60, 40, 0), gl.Vertex3f(200, 40, 0), gl.Vertex3f(200, 150, 0), gl.Vertex3f(60, 150, 0);
    gl.End();
    gl.Enable(GL_LINE_STIPPLE);
    gl.LineStipple(3, 0x3FFF);
    gl.Color3f(1.0f, 0.8f, 0.2f);
    gl.Begin(GL_LINES);
    for (int k = 0; k < 5; ++k) {
        const float y = 30.5f + 30.0f * k;
        const float z = k % 2 == 0 ? -0.5f : 0.5f;  // behind, then in front
        gl.Vertex3f(20.5f, y, z), gl.Vertex3f(236.5f, y + 9.0f, z);
    }
    gl.End();
    gl.Color3f(0.9f, 0.3f, 0.6f);
    gl.Begin(GL_LINE_STRIP);
    gl.Vertex3f(40.5f, 170.5f, -0.9f), gl.Vertex3f(130.5f, 20.5f, 0.1f), gl.Vertex3f(230.5f, 170.5f, 0.9f);
    gl.End();
    gl.Disable(GL_LINE_STIPPLE);
    gl.Disable(GL_DEPTH_TEST);
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
    {"stipple_long_strips", StippleLongStrips, 0, 24,
     "the lines' end pixels; on the machine of whole-pixel coordinates the vertices round to whole pixels, which "
     "moves the dashes after them by a pixel"},
    {"smooth_lines", SmoothLines, 24, 300,
     "antialiased coverage: GL leaves its computation open, implementations differ by a few levels at the edges"},
    {"smooth_wide_lines", SmoothWideLines, 24, 300,
     "antialiased coverage: GL leaves its computation open, implementations differ by a few levels at the edges"},
    {"smooth_flat_lines", SmoothFlatLines, 3, 200,
     "which pixels at a line's rectangle's rim a sliver of coverage reaches: implementations differ there"},
    {"smooth_points", SmoothPoints, 24, 120,
     "antialiased coverage: GL leaves its computation open, implementations differ at the discs' rims",
     "the reference's, not ours: OSMesa draws antialiased points without coverage, as the whole pixels whose centres "
     "lie inside the disc; ours cover each pixel by the part of it inside the disc, as GL 1.0 does (within 24 levels "
     "of the exact area but for 16 rim pixels of size 1), so every rim differs (424 pixels beyond 24 levels)"},
    {"point_sizes", PointSizes, 0, 0, "aliased points: exact"},
    {"points_across_tile_edges", PointsAcrossTileEdges, 0, 0, "aliased points: exact"},
    {"window_edges", WindowEdges, 3, 40, "interpolation along the lines; the clipped lines' end pixels"},
    {.name = "window_edges_covered",
     .draw = WindowEdges,
     .tolerance = 3,
     .outliers = 40,
     .why = "interpolation along the lines; the clipped lines' end pixels",
     .covered = true},
    {.name = "batches_covered",
     .draw = CoveredBatches,
     .tolerance = 3,
     .outliers = 40,
     .why = "interpolation along the lines and across the triangle; the lines' end pixels",
     .covered = true},
    {"software_depth_lines", SoftwareDepthLines, 3, 40, "the lines' end pixels"},
    {"software_blended_lines", SoftwareBlendedLines, 3, 40, "interpolation along the lines; the lines' end pixels"},
    {.name = "software_blended_lines_covered",
     .draw = SoftwareBlendedLines,
     .tolerance = 3,
     .outliers = 40,
     .why = "interpolation along the lines; the lines' end pixels",
     .covered = true},
};

VNX_APP_SCENES(LinesPoints, kLinesPoints);

}  // namespace
}  // namespace glapp_tests

namespace glapp_tests {
namespace {

// The software paths in a window another application's window covers, its
// clip list cut into rectangles: every fragment is written once, whichever
// rectangles its primitive touches. Drawn blended by (ONE, ONE) over black,
// a fragment written twice shows twice its colour.
class CoveredSoftware : public AppTest {
  protected:
    Wants Wanted() const override { return {glmachines::kSolo32, 0, false, true}; }
    void Black() {
        Pixels(gl_);
        gl_.Disable(GL_DITHER);
        gl_.ClearColor(0, 0, 0, 0);
        gl_.Clear(GL_COLOR_BUFFER_BIT);
        gl_.Enable(GL_BLEND);
        gl_.BlendFunc(GL_ONE, GL_ONE);
    }
    // The pixels of the window (rows top to bottom) around (x, y) that
    // differ from black, as (column - x, row - y) -> colour; covered pixels
    // left out.
    std::map<std::pair<int, int>, std::uint32_t> Around(const std::vector<std::uint32_t>& pic,
                                                        const std::vector<bool>& shown, int x, int y, int reach) {
        std::map<std::pair<int, int>, std::uint32_t> out;
        for (int j = y - reach; j <= y + reach; ++j)
            for (int i = x - reach; i <= x + reach; ++i) {
                const std::size_t at = static_cast<std::size_t>(j) * kWidth + static_cast<std::size_t>(i);
                if (shown[at] && pic[at] != 0) out[{i - x, j - y}] = pic[at];
            }
        return out;
    }
};

// An antialiased point blended (ONE, ONE) at grey 0.25 takes 0.25 in every
// pixel it covers: the point straddling the rectangles' seams shows the
// same pixels, with the same colours, as the one that lies in one
// rectangle.
TEST_F(CoveredSoftware, AntialiasedPointsOverSeveralClipRectanglesAreWrittenOnce) {
    Black();
    gl_.Enable(GL_POINT_SMOOTH);
    gl_.PointSize(8.0f);
    gl_.Color4f(0.25f, 0.25f, 0.25f, 1.0f);
    // Window rows top to bottom: the other window covers columns 150 on,
    // rows 90 on; (148, 88) lies next to both its edges.
    const int at[2][2] = {{40, 30}, {148, 88}};
    gl_.Begin(GL_POINTS);
    for (const auto& p : at) gl_.Vertex2f(p[0] + 0.3f, static_cast<float>(kHeight - p[1]) - 0.6f);
    gl_.End();
    gl_.Disable(GL_POINT_SMOOTH);
    gl_.Finish();
    EXPECT_EQ(BoardErrors(), "");
    const std::vector<bool> shown = Shown();
    const std::vector<std::uint32_t> pic = Picture();
    ASSERT_EQ(pic.size(), shown.size());
    const auto single = Around(pic, shown, at[0][0], at[0][1], 8);
    const auto seams = Around(pic, shown, at[1][0], at[1][1], 8);
    ASSERT_GT(single.size(), 30u);
    for (const auto& [d, c] : single) EXPECT_LE(c & 0xFF, 0x40u) << "at " << d.first << "," << d.second;
    int compared = 0;
    for (const auto& [d, c] : seams) {
        ++compared;
        const auto it = single.find(d);
        ASSERT_NE(it, single.end()) << "at " << d.first << "," << d.second;
        EXPECT_EQ(c, it->second) << "at " << d.first << "," << d.second;
    }
    EXPECT_GT(compared, 20) << "the point's shown part";
    // Every shown pixel of the single point's footprint is drawn at the seams.
    for (const auto& [d, c] : single) {
        const std::size_t p = static_cast<std::size_t>(at[1][1] + d.second) * kWidth + (at[1][0] + d.first);
        if (shown[p]) EXPECT_EQ(seams.count(d), 1u) << "at " << d.first << "," << d.second;
    }
}

}  // namespace
}  // namespace glapp_tests
