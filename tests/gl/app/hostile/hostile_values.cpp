// Extreme but legal values (and some that GL refuses) through the system
// OpenGL library, one fresh machine and context a case: the error GL 1.0
// gives for the calls, and afterwards a context that still works (a clear
// read back through the library, no board errors). Huge images, widths,
// zooms and counts must cost what they can change in a 256 x 192 window,
// not what they ask for: the suite's ctest timeout bounds every case.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "../app_gl.h"

namespace glapp_tests {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// cb bytes of memory the system maps on first touch, kept and grown as
// cases ask for more: zeros the library may read whatever their size, or
// pages it may write.
void* Mapped(std::size_t cb, bool bWritable) {
    static void* apv[2] = {};
    static std::size_t acb[2] = {};
    void*& pv = apv[bWritable ? 1 : 0];
    std::size_t& cbMapped = acb[bWritable ? 1 : 0];
    if (cb > cbMapped) {
        if (pv != nullptr) munmap(pv, cbMapped);
        pv = mmap(nullptr, cb, bWritable ? PROT_READ | PROT_WRITE : PROT_READ,
                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        cbMapped = pv == MAP_FAILED ? 0 : cb;
        if (pv == MAP_FAILED) pv = nullptr;
    }
    return pv;
}
const void* Zeros(std::size_t cb) { return Mapped(cb, false); }
void* Writable(std::size_t cb) { return Mapped(cb, true); }

// Window coordinates and the raster position at the window's lower left
// corner, rows of images one byte aligned (the sizes the cases give are
// exact): where the pixel cases start.
void AtCorner(const Gl& gl) {
    Pixels(gl);
    gl.RasterPos2i(0, 0);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

// The huge images' rows: 2^28 RGBA float pixels each, two rows 8 GB.
constexpr GLsizei kHugeWidth = 1 << 28;
constexpr std::size_t kHugeBytes = std::size_t{kHugeWidth} * 2 * 4 * sizeof(GLfloat);
const GLfloat kRowColour[2][4] = {{1, 0, 0, 1}, {0, 1, 0, 1}};

// Two huge rows, zero but for the 300 pixels from column `first` on:
// row 0 red, row 1 green.
const void* HugeRows(std::size_t first) {
    auto* pf = static_cast<GLfloat*>(Writable(kHugeBytes));
    if (pf == nullptr) return nullptr;
    for (std::size_t row = 0; row < 2; ++row)
        for (std::size_t i = first; i < first + 300; ++i)
            std::memcpy(pf + (row * kHugeWidth + i) * 4, kRowColour[row], sizeof kRowColour[row]);
    return pf;
}

// A black window and the raster position at the corner.
void BlackAt(const Gl& gl) {
    AtCorner(gl);
    gl.ClearColor(0, 0, 0, 0);
    gl.Clear(GL_COLOR_BUFFER_BIT);
}

// The two rows drawn from the corner, each pixel zoomX wide and zoomY
// tall: red rows, green rows, black above them; the colour reaches the
// window's right edge.
void ExpectRowColours(const Gl& gl, int zoomX, int zoomY) {
    static GLubyte rgb[kHeight][kWidth][3];
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    const int cColoured = std::min(kWidth, 300 * zoomX);
    for (int y = 0; y < 2 * zoomY + 2; ++y) {
        const int row = y / zoomY;
        for (int x : {0, 1, cColoured / 2, cColoured - 1}) {
            const GLubyte want[3] = {static_cast<GLubyte>(row == 0 ? 255 : 0), static_cast<GLubyte>(row == 1 ? 255 : 0), 0};
            EXPECT_TRUE(std::equal(want, want + 3, rgb[y][x])) << "pixel " << x << ", " << y << ": " << int{rgb[y][x][0]}
                                                              << " " << int{rgb[y][x][1]} << " " << int{rgb[y][x][2]};
        }
    }
}

// A few pixels of the read buffer, enough for the images the cases draw.
std::vector<GLubyte> gScratch(64 * 64 * 4 * sizeof(float));

struct Case {
    const char* name;
    void (*calls)(const Gl&);
    GLenum error;                // what glGetError answers after the calls
    const char* fault = nullptr;  // a known fault the case shows, reported: the case is skipped naming it
};
inline void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    // --- copy pixels: positions and sizes at the ends of the integers ----------------------
    {"copy_pixels_extreme_rectangle",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.CopyPixels(INT_MIN, INT_MIN, INT_MAX, INT_MAX, GL_COLOR);
         gl.CopyPixels(INT_MAX, INT_MAX, INT_MAX, INT_MAX, GL_COLOR);
         gl.CopyPixels(INT_MIN, INT_MAX, 1, INT_MAX, GL_COLOR);
     },
     GL_NO_ERROR},
    {"copy_pixels_extreme_zoomed",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.PixelZoom(2.0f, 3.0f);
         gl.CopyPixels(INT_MIN, 0, INT_MAX, INT_MAX, GL_COLOR);
         gl.PixelZoom(-0.5f, -1.5f);
         gl.CopyPixels(INT_MAX, INT_MIN, INT_MAX, INT_MAX, GL_COLOR);
     },
     GL_NO_ERROR},
    {"copy_pixels_extreme_depth",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.CopyPixels(INT_MIN, INT_MIN, INT_MAX, INT_MAX, GL_DEPTH);
     },
     GL_NO_ERROR},
    {"copy_pixels_extreme_transfer",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.PixelTransferf(GL_RED_SCALE, 0.5f);
         gl.CopyPixels(INT_MIN, INT_MIN, INT_MAX, INT_MAX, GL_COLOR);
         gl.PixelTransferf(GL_RED_SCALE, 1.0f);
     },
     GL_NO_ERROR},
    {"copy_pixels_negative_size",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.CopyPixels(0, 0, -1, 4, GL_COLOR);
     },
     GL_INVALID_VALUE},
    {"copy_pixels_raster_position_far_away",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.Bitmap(0, 0, 0, 0, 1e30f, -1e30f, nullptr);
         gl.CopyPixels(0, 0, 16, 16, GL_COLOR);
         gl.PixelZoom(3.0f, 0.5f);
         gl.CopyPixels(0, 0, 16, 16, GL_COLOR);
     },
     GL_NO_ERROR},

    // --- draw pixels: images far larger than the window -----------------------------------
    {"draw_pixels_luminance_tall",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.DrawPixels(4, 1 << 24, GL_LUMINANCE, GL_UNSIGNED_BYTE, Zeros(std::size_t{1} << 26));
     },
     GL_NO_ERROR},
    {"draw_pixels_luminance_46341_wide",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.DrawPixels(46341, 2048, GL_LUMINANCE, GL_UNSIGNED_BYTE, Zeros(46341u * 2048u));
     },
     GL_NO_ERROR},
    {"draw_pixels_rgba_wide_and_tall",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.DrawPixels(1 << 22, 4, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(std::size_t{1} << 26));
         gl.DrawPixels(4, 1 << 22, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(std::size_t{1} << 26));
     },
     GL_NO_ERROR},
    {"draw_pixels_zoomed_enormously",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.PixelZoom(1e9f, 1e9f);
         gl.DrawPixels(2, 2, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(16));
     },
     GL_NO_ERROR},
    {"draw_pixels_zoomed_enormously_fractional",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.PixelZoom(1e9f, 1e9f + 64.0f);
         gl.DrawPixels(2, 2, GL_RGB, GL_FLOAT, Zeros(48));
     },
     GL_NO_ERROR},
    {"draw_pixels_zoomed_enormously_mirrored_luminance",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.RasterPos2i(kWidth - 1, kHeight - 1);
         gl.PixelZoom(-1e9f, -1e9f);
         gl.DrawPixels(2, 2, GL_LUMINANCE, GL_UNSIGNED_BYTE, Zeros(4));
     },
     GL_NO_ERROR},
    {"draw_pixels_zoomed_infinitely",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.RasterPos2i(kWidth - 1, kHeight - 1);
         gl.PixelZoom(kInf, -kInf);
         gl.DrawPixels(2, 2, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(16));
     },
     GL_NO_ERROR},
    {"draw_pixels_raster_position_far_away",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.Bitmap(0, 0, 0, 0, -1e30f, 1e30f, nullptr);
         gl.DrawPixels(16, 16, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(1024));
         gl.DrawPixels(16, 16, GL_LUMINANCE, GL_UNSIGNED_BYTE, Zeros(256));
         gl.PixelZoom(2.5f, 0.5f);
         gl.DrawPixels(16, 16, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(1024));
     },
     GL_NO_ERROR},
    // Images larger than memory: only what can reach the window is taken
    // (the mapping's pages are touched only there). Rows 0 and 1 of an
    // RGBA float image 2^28 pixels wide (8 GB): the pixels the window
    // shows first get a colour of their row, the rest stays zero.
    {"draw_pixels_larger_than_memory",
     [](const Gl& gl) {
         BlackAt(gl);
         gl.DrawPixels(kHugeWidth, 2, GL_RGBA, GL_FLOAT, HugeRows(0));
         ExpectRowColours(gl, 1, 1);
     },
     GL_NO_ERROR},
    {"draw_pixels_larger_than_memory_zoomed",
     [](const Gl& gl) {
         BlackAt(gl);
         gl.PixelZoom(2.0f, 3.0f);
         gl.DrawPixels(kHugeWidth, 2, GL_RGBA, GL_FLOAT, HugeRows(0));
         ExpectRowColours(gl, 2, 3);
     },
     GL_NO_ERROR},
    {"draw_pixels_larger_than_memory_far_columns",
     [](const Gl& gl) {
         // The raster position a million pixels left of the window: the
         // window shows the image's columns from 1000000 on.
         BlackAt(gl);
         gl.Bitmap(0, 0, 0, 0, -1000000.0f, 0, nullptr);
         gl.DrawPixels(kHugeWidth, 2, GL_RGBA, GL_FLOAT, HugeRows(1000000));
         ExpectRowColours(gl, 1, 1);
     },
     GL_NO_ERROR},
    {"draw_pixels_large_squeezed_rows",
     [](const Gl& gl) {
         // 4096 rows of 4096 RGBA float pixels squeezed 64 to a window
         // row (the rows the window shows go in several pieces): image
         // rows 64 y .. 64 y + 63 red for an even window row y, green for
         // an odd one; the window's row y shows image row 64 y + 32.
         BlackAt(gl);
         constexpr std::size_t kSide = 4096;
         auto* pf = static_cast<GLfloat*>(Writable(kSide * kSide * 4 * sizeof(GLfloat)));
         ASSERT_NE(pf, nullptr);
         for (std::size_t r = 0; r < kSide; ++r)
             for (std::size_t i = 0; i < 300; ++i)
                 std::memcpy(pf + (r * kSide + i) * 4, kRowColour[r / 64 % 2], sizeof kRowColour[0]);
         gl.PixelZoom(1.0f, 1.0f / 64);
         gl.DrawPixels(kSide, kSide, GL_RGBA, GL_FLOAT, pf);
         static GLubyte rgb[kHeight][kWidth][3];
         gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
         gl.ReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb);
         for (int y = 0; y < 66; ++y) {
             const GLubyte want[3] = {static_cast<GLubyte>(y < 64 && y % 2 == 0 ? 255 : 0),
                                      static_cast<GLubyte>(y < 64 && y % 2 == 1 ? 255 : 0), 0};
             for (int x : {0, kWidth - 1})
                 EXPECT_TRUE(std::equal(want, want + 3, rgb[y][x])) << "pixel " << x << ", " << y;
         }
     },
     GL_NO_ERROR},
    {"draw_pixels_larger_than_memory_outside",
     [](const Gl& gl) {
         BlackAt(gl);
         gl.PixelZoom(-1.0f, 1.0f);
         gl.DrawPixels(kHugeWidth, 2, GL_RGBA, GL_FLOAT, HugeRows(0));
         GLubyte rgb[3] = {9, 9, 9};
         gl.ReadPixels(0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
         EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0) << "drawn left of the raster position";
     },
     GL_NO_ERROR},
    {"draw_pixels_larger_than_memory_feedback",
     [](const Gl& gl) {
         // One token for the image, whatever pieces it goes in.
         AtCorner(gl);
         static GLfloat buffer[8];
         std::fill(std::begin(buffer), std::end(buffer), -7.0f);
         gl.FeedbackBuffer(8, GL_2D, buffer);
         gl.RenderMode(GL_FEEDBACK);
         gl.DrawPixels(kHugeWidth, 2, GL_RGBA, GL_FLOAT, Zeros(kHugeBytes));
         EXPECT_EQ(gl.RenderMode(GL_RENDER), 3);
         EXPECT_EQ(buffer[0], static_cast<GLfloat>(GL_DRAW_PIXEL_TOKEN));
         EXPECT_EQ(buffer[3], -7.0f);
     },
     GL_NO_ERROR},
    {"draw_pixels_one_left_of_the_window",
     [](const Gl& gl) {
         // Column 0 of the image lies left of the window, column 1 (the
         // first red one) on the window's first column.
         BlackAt(gl);
         gl.Bitmap(0, 0, 0, 0, -1.0f, 0, nullptr);
         static GLfloat image[8][4];
         for (int i = 1; i < 8; ++i) image[i][0] = image[i][3] = 1.0f;
         gl.DrawPixels(8, 1, GL_RGBA, GL_FLOAT, image);
         GLubyte rgb[2][3] = {};
         gl.ReadPixels(0, 0, 2, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
         EXPECT_EQ(rgb[0][0], 255);
         EXPECT_EQ(rgb[1][0], 255);
     },
     GL_NO_ERROR},
    {"draw_pixels_negative_size",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.DrawPixels(4, -1, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(16));
     },
     GL_INVALID_VALUE},

    // --- bitmaps -------------------------------------------------------------------------
    {"bitmap_int_max_wide",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.Bitmap(INT_MAX, 1, 0, 0, 0, 0, static_cast<const GLubyte*>(Zeros(std::size_t{1} << 28)));
     },
     GL_OUT_OF_MEMORY},  // 256 MB: more than one request may carry
    {"bitmap_tall",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.Bitmap(8, 0x4000000, 0, 0, 0, 0, static_cast<const GLubyte*>(Zeros(0x4000000)));
     },
     GL_OUT_OF_MEMORY},  // 64 MB of image and the request's fields: past the largest request
    {"bitmap_tall_within_the_largest_request",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.Bitmap(8, 0x3F00000, 0, 0, 0, 0, static_cast<const GLubyte*>(Zeros(0x3F00000)));
     },
     GL_NO_ERROR},
    {"bitmap_origin_and_move_extreme",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.Bitmap(8, 8, -1e30f, 1e30f, 0, 0, static_cast<const GLubyte*>(Zeros(8)));
         gl.Bitmap(8, 8, kInf, -kInf, kInf, -kInf, static_cast<const GLubyte*>(Zeros(8)));
         gl.Bitmap(8, 8, 0, 0, 0, 0, static_cast<const GLubyte*>(Zeros(8)));
     },
     GL_NO_ERROR},
    {"bitmap_negative_size",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.Bitmap(-8, 8, 0, 0, 0, 0, static_cast<const GLubyte*>(Zeros(8)));
     },
     GL_INVALID_VALUE},

    // --- read pixels ---------------------------------------------------------------------
    {"read_pixels_outside_the_window",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.ReadPixels(INT_MAX - 8, INT_MAX - 8, 8, 8, GL_RGBA, GL_FLOAT, gScratch.data());
         gl.ReadPixels(INT_MIN, INT_MIN, 8, 8, GL_RGB, GL_UNSIGNED_BYTE, gScratch.data());
         gl.ReadPixels(INT_MIN, 0, 8, 8, GL_DEPTH_COMPONENT, GL_FLOAT, gScratch.data());
     },
     GL_NO_ERROR},
    {"read_pixels_long_rows_of_floats",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
         gl.ReadPixels(0, 0, 0x01000000, 2, GL_LUMINANCE, GL_FLOAT, Writable(std::size_t{0x01000000} * 2 * 4));
     },
     GL_NO_ERROR},
    {"read_pixels_many_rows",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
         gl.ReadPixels(0, 0, 4, 0x00800000, GL_RGBA, GL_UNSIGNED_BYTE, Writable(std::size_t{0x00800000} * 16));
     },
     GL_NO_ERROR},
    {"read_pixels_negative_size",
     [](const Gl& gl) {
         AtCorner(gl);
         gl.ReadPixels(0, 0, -1, 1, GL_RGBA, GL_UNSIGNED_BYTE, gScratch.data());
     },
     GL_INVALID_VALUE},

    // --- lines and points ----------------------------------------------------------------
    {"line_width_infinite_smooth",
     [](const Gl& gl) {
         Pixels(gl);
         gl.Enable(GL_LINE_SMOOTH);
         gl.Enable(GL_BLEND);
         gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
         gl.LineWidth(kInf);
         gl.Begin(GL_LINES);
         gl.Vertex2f(10, 10), gl.Vertex2f(200, 150);
         gl.End();
         gl.Disable(GL_BLEND);
     },
     GL_NO_ERROR},
    {"line_width_huge_stippled",
     [](const Gl& gl) {
         Pixels(gl);
         gl.Enable(GL_LINE_STIPPLE);
         gl.LineStipple(INT_MAX, 0xF0F0);
         gl.LineWidth(1e30f);
         gl.Begin(GL_LINE_LOOP);
         gl.Vertex2f(10, 10), gl.Vertex2f(200, 150), gl.Vertex2f(30, 170);
         gl.End();
     },
     GL_NO_ERROR},
    {"line_width_zero", [](const Gl& gl) { gl.LineWidth(0.0f); }, GL_INVALID_VALUE},
    {"line_width_negative", [](const Gl& gl) { gl.LineWidth(-kInf); }, GL_INVALID_VALUE},
    {"point_size_infinite_smooth",
     [](const Gl& gl) {
         Pixels(gl);
         gl.Enable(GL_POINT_SMOOTH);
         gl.Enable(GL_BLEND);
         gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
         gl.PointSize(kInf);
         gl.Begin(GL_POINTS);
         gl.Vertex2f(100, 100);
         gl.End();
         gl.Disable(GL_BLEND);
     },
     GL_NO_ERROR},
    {"point_size_huge",
     [](const Gl& gl) {
         Pixels(gl);
         gl.PointSize(1e30f);
         gl.Begin(GL_POINTS);
         gl.Vertex2f(100, 100), gl.Vertex2f(0.5f, 0.5f);
         gl.End();
     },
     GL_NO_ERROR},
    {"point_size_zero", [](const Gl& gl) { gl.PointSize(0.0f); }, GL_INVALID_VALUE},

    // --- vertices and transforms ---------------------------------------------------------
    {"vertices_huge_infinite_and_nan",
     [](const Gl& gl) {
         Pixels(gl);
         const float kValues[] = {1e38f, -1e38f, kInf, -kInf, kNaN, 3e9f, -3e9f};
         for (GLenum mode : {GL_TRIANGLES, GL_LINES, GL_POINTS, GL_POLYGON}) {
             gl.Begin(mode);
             for (float a : kValues)
                 for (float b : kValues) gl.Vertex2f(a, b), gl.Vertex2f(100, 100), gl.Vertex2f(b, 20);
             gl.End();
         }
     },
     GL_NO_ERROR},
    {"triangle_strip_of_four_million_thin_vertices",
     [](const Gl& gl) {
         Pixels(gl);
         gl.Begin(GL_TRIANGLE_STRIP);
         // Long triangles across the window, each a sliver of a row high.
         for (int i = 0; i < 4000000; ++i)
             gl.Vertex2f((i & 1) != 0 ? 250.0f : 5.0f, 10.0f + static_cast<float>(i / 2) * (170.0f / 2000000.0f));
         gl.End();
     },
     GL_NO_ERROR},
    {"viewport_huge",
     [](const Gl& gl) {
         Pixels(gl);
         gl.Viewport(INT_MIN / 2, INT_MIN / 2, INT_MAX, INT_MAX);
         gl.Begin(GL_TRIANGLES);
         gl.Vertex2f(10, 10), gl.Vertex2f(200, 10), gl.Vertex2f(100, 150);
         gl.End();
         gl.Viewport(INT_MAX, INT_MAX, INT_MAX, INT_MAX);
         gl.RasterPos2i(0, 0);
         gl.DrawPixels(4, 4, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(64));
     },
     GL_NO_ERROR},
    {"viewport_negative", [](const Gl& gl) { gl.Viewport(0, 0, -1, 10); }, GL_INVALID_VALUE},
    {"scissor_from_int_min",
     [](const Gl& gl) {
         Pixels(gl);
         gl.Enable(GL_SCISSOR_TEST);
         gl.Scissor(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
         gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
     },
     GL_NO_ERROR},
    {"scissor_past_the_window",
     [](const Gl& gl) {
         Pixels(gl);
         gl.Enable(GL_SCISSOR_TEST);
         gl.Scissor(INT_MAX, INT_MAX, INT_MAX, INT_MAX);
         gl.Clear(GL_COLOR_BUFFER_BIT);
         gl.Begin(GL_TRIANGLES);
         gl.Vertex2f(10, 10), gl.Vertex2f(200, 10), gl.Vertex2f(100, 150);
         gl.End();
     },
     GL_NO_ERROR},
    {"scissor_negative", [](const Gl& gl) { gl.Scissor(0, 0, 10, -1); }, GL_INVALID_VALUE},
    {"matrix_stack_overflow",
     [](const Gl& gl) {
         for (int i = 0; i < 1000; ++i) gl.PushMatrix();
     },
     GL_STACK_OVERFLOW},
    {"matrix_stack_underflow", [](const Gl& gl) { gl.PopMatrix(); }, GL_STACK_UNDERFLOW},
    {"ortho_empty", [](const Gl& gl) { gl.Ortho(1, 1, 0, 1, 0, 1); }, GL_INVALID_VALUE},
    // A near plane at 0 is accepted here (GL 1.0 refuses it); what it draws
    // must not harm the context.
    {"frustum_near_zero",
     [](const Gl& gl) {
         Pixels(gl);
         gl.MatrixMode(GL_PROJECTION);
         gl.Frustum(-1, 1, -1, 1, 0, 1);
         gl.Begin(GL_TRIANGLES);
         gl.Vertex3f(-1, -1, -0.5f), gl.Vertex3f(1, -1, -0.5f), gl.Vertex3f(0, 1, 0);
         gl.End();
     },
     GL_NO_ERROR},
    {"frustum_empty", [](const Gl& gl) { gl.Frustum(-1, 1, 2, 2, 1, 10); }, GL_INVALID_VALUE},

    // --- textures and pixel maps: sizes checked before anything is taken -----------------
    {"tex_image_2d_int_max",
     [](const Gl& gl) {
         gl.TexImage2D(GL_TEXTURE_2D, 0, 1, INT_MAX, INT_MAX, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, Zeros(4096));
     },
     GL_INVALID_VALUE},
    {"tex_image_1d_huge_with_border",
     [](const Gl& gl) {
         gl.TexImage1D(GL_TEXTURE_1D, 0, 1, (1 << 30) + 2, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE, Zeros(4096));
     },
     GL_INVALID_VALUE},
    {"tex_image_2d_above_the_largest",
     [](const Gl& gl) {
         gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 512, 512, 0, GL_RGB, GL_UNSIGNED_BYTE, Zeros(512 * 512 * 3));
     },
     GL_INVALID_VALUE},
    {"tex_image_2d_level_above_the_largest",
     [](const Gl& gl) {
         gl.TexImage2D(GL_TEXTURE_2D, 1000, 3, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, Zeros(16));
     },
     GL_INVALID_VALUE},
    {"tex_image_2d_not_a_power_of_two",
     [](const Gl& gl) {
         gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 255, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, Zeros(256 * 256 * 3));
     },
     GL_INVALID_VALUE},
    {"tex_image_2d_negative_level",
     [](const Gl& gl) {
         gl.TexImage2D(GL_TEXTURE_2D, -1, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, Zeros(64));
     },
     GL_INVALID_VALUE},
    {"get_tex_image_level_1000",
     [](const Gl& gl) { gl.GetTexImage(GL_TEXTURE_2D, 1000, GL_RGBA, GL_UNSIGNED_BYTE, gScratch.data()); },
     GL_INVALID_VALUE},
    {"get_tex_image_level_past_the_last",
     [](const Gl& gl) { gl.GetTexImage(GL_TEXTURE_1D, 11, GL_RGBA, GL_UNSIGNED_BYTE, gScratch.data()); },
     GL_INVALID_VALUE},
    {"get_tex_image_negative_level",
     [](const Gl& gl) { gl.GetTexImage(GL_TEXTURE_2D, -1, GL_RGBA, GL_UNSIGNED_BYTE, gScratch.data()); },
     GL_INVALID_VALUE},
    {"pixel_map_int_max",
     [](const Gl& gl) { gl.PixelMapfv(GL_PIXEL_MAP_R_TO_R, INT_MAX, static_cast<const GLfloat*>(Zeros(4096))); },
     GL_INVALID_VALUE},
    {"pixel_map_above_the_largest",
     [](const Gl& gl) { gl.PixelMapuiv(GL_PIXEL_MAP_I_TO_I, 64, static_cast<const GLuint*>(Zeros(4096))); },
     GL_INVALID_VALUE},
    {"pixel_map_index_not_a_power_of_two",
     [](const Gl& gl) { gl.PixelMapusv(GL_PIXEL_MAP_I_TO_R, 3, static_cast<const GLushort*>(Zeros(64))); },
     GL_INVALID_VALUE},
    {"pixel_map_negative",
     [](const Gl& gl) { gl.PixelMapfv(GL_PIXEL_MAP_A_TO_A, -1, static_cast<const GLfloat*>(Zeros(64))); },
     GL_INVALID_VALUE},

    // --- evaluators, lists, feedback and selection -----------------------------------------
    {"eval_mesh1_a_million_points",
     [](const Gl& gl) {
         Pixels(gl);
         static const GLfloat kPoints[] = {10, 10, 0, 128, 180, 0, 246, 10, 0};
         gl.Map1f(GL_MAP1_VERTEX_3, 0, 1, 3, 3, kPoints);
         gl.Enable(GL_MAP1_VERTEX_3);
         gl.MapGrid1f(1000000, 0, 1);
         gl.EvalMesh1(GL_POINT, 0, 1000000);
     },
     GL_NO_ERROR},
    {"eval_mesh2_1024_square",
     [](const Gl& gl) {
         Pixels(gl);
         static const GLfloat kPoints[] = {10, 10, 0, 246, 10, 0, 10, 180, 0, 246, 180, 0};
         gl.Map2f(GL_MAP2_VERTEX_3, 0, 1, 3, 2, 0, 1, 6, 2, kPoints);
         gl.Enable(GL_MAP2_VERTEX_3);
         gl.MapGrid2f(1024, 0, 1, 1024, 0, 1);
         gl.EvalMesh2(GL_POINT, 0, 1024, 0, 1024);
     },
     GL_NO_ERROR},
    {"call_lists_long_array",
     [](const Gl& gl) {
         const GLuint list = gl.GenLists(1);
         gl.NewList(list, GL_COMPILE);
         gl.Color3f(1, 0, 0);
         gl.EndList();
         gl.ListBase(list);
         gl.CallLists(1 << 22, GL_UNSIGNED_BYTE, Zeros(std::size_t{1} << 22));
     },
     GL_NO_ERROR},
    {"map1_order_above_the_largest",
     [](const Gl& gl) { gl.Map1f(GL_MAP1_VERTEX_3, 0, 1, 3, 1000, static_cast<const GLfloat*>(Zeros(16384))); },
     GL_INVALID_VALUE},
    {"map_grid_negative", [](const Gl& gl) { gl.MapGrid1f(-1, 0, 1); }, GL_INVALID_VALUE},
    {"gen_lists_negative", [](const Gl& gl) { gl.GenLists(-1); }, GL_INVALID_VALUE},
    {"call_lists_negative",
     [](const Gl& gl) { gl.CallLists(-1, GL_UNSIGNED_BYTE, Zeros(16)); },
     GL_INVALID_VALUE},
    {"feedback_buffer_too_small",
     [](const Gl& gl) {
         Pixels(gl);
         static GLfloat buffer[8];
         std::fill(std::begin(buffer), std::end(buffer), -7.0f);
         gl.FeedbackBuffer(2, GL_3D, buffer);
         gl.RenderMode(GL_FEEDBACK);
         gl.Begin(GL_TRIANGLES);
         gl.Vertex2f(10, 10), gl.Vertex2f(200, 10), gl.Vertex2f(100, 150);
         gl.End();
         gl.RasterPos2i(5, 5);
         gl.DrawPixels(2, 2, GL_RGBA, GL_UNSIGNED_BYTE, Zeros(16));
         EXPECT_EQ(gl.RenderMode(GL_RENDER), -1);
         for (int i = 2; i < 8; ++i) EXPECT_EQ(buffer[i], -7.0f) << "written past the end at " << i;
     },
     GL_NO_ERROR},
    {"select_buffer_too_small",
     [](const Gl& gl) {
         Pixels(gl);
         static GLuint buffer[8];
         std::fill(std::begin(buffer), std::end(buffer), 0xDEADu);
         gl.SelectBuffer(2, buffer);
         gl.RenderMode(GL_SELECT);
         gl.InitNames();
         for (GLuint name = 1; name <= 4; ++name) {
             gl.PushName(name);
             gl.Begin(GL_TRIANGLES);
             gl.Vertex2f(10, 10), gl.Vertex2f(200, 10), gl.Vertex2f(100, 150);
             gl.End();
         }
         EXPECT_EQ(gl.RenderMode(GL_RENDER), -1);
         for (int i = 2; i < 8; ++i) EXPECT_EQ(buffer[i], 0xDEADu) << "written past the end at " << i;
     },
     GL_NO_ERROR},
    {"feedback_negative_size",
     [](const Gl& gl) {
         static GLfloat buffer[4];
         gl.FeedbackBuffer(-1, GL_3D, buffer);
     },
     GL_INVALID_VALUE},
};

// The picture suites' parameterised test comes with the fixture; this
// program runs none of its tables.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(AppPictures);

// The application's calls, then glGetError, then a clear of the whole
// window read back through the library.
class HostileValues : public AppTest, public ::testing::WithParamInterface<Case> {};

TEST_P(HostileValues, ErrorThenTheContextStillDraws) {
    const Case& c = GetParam();
    if (c.fault != nullptr) GTEST_SKIP() << c.name << ": known fault: " << c.fault;
    ASSERT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    c.calls(gl_);
    EXPECT_EQ(gl_.GetError(), c.error) << c.name;
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR)) << c.name << ": a second error";

    // The context still draws: a clear of the whole window, read back.
    gl_.Disable(GL_SCISSOR_TEST);
    gl_.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl_.ClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    gl_.Clear(GL_COLOR_BUFFER_BIT);
    gl_.PixelStorei(GL_PACK_ALIGNMENT, 1);
    std::vector<GLubyte> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3, 0);
    gl_.ReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR)) << c.name << ": after the clear";
    int wrong = 0;
    const int kWant[3] = {64, 128, 191};
    for (std::size_t i = 0; i < rgb.size(); ++i) wrong += std::abs(rgb[i] - kWant[i % 3]) > 1;
    EXPECT_EQ(wrong, 0) << c.name << ": the clear read back wrong";
    EXPECT_EQ(BoardErrors(), "");
}

INSTANTIATE_TEST_SUITE_P(Calls, HostileValues, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace glapp_tests
