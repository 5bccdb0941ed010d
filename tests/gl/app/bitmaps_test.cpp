// Bitmaps as applications draw text with them: origins, moves (a bitmap of
// no size moves the raster position and draws nothing), raster positions at
// and past the window's edges, the colour taken at glRasterPos, the unpack
// modes, and bitmaps kept in display lists. Pictures are compared with
// OSMesa, and the raster position each sequence leaves with OSMesa's.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// An 8 x 8 glyph, rows bottom to top.
const GLubyte kA[8] = {0xC3, 0xC3, 0xFF, 0xC3, 0x66, 0x3C, 0x18, 0x00};
// A 12 x 10 framed box, two bytes a row.
const GLubyte kBox[20] = {0xFF, 0xF0, 0x80, 0x10, 0xBF, 0xD0, 0xA0, 0x50, 0xAF, 0x50,
                          0xA9, 0x50, 0xA0, 0x50, 0xBF, 0xD0, 0x80, 0x10, 0xFF, 0xF0};

// Window pixels and byte-aligned glyph rows.
void Text(const Gl& gl) {
    Pixels(gl);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

// Glyphs whose origins lie inside, on and outside their bitmaps, at whole
// and fractional raster positions.
void Origins(const Gl& gl) {
    Text(gl);
    gl.Color3f(1, 1, 0);
    const float origins[][2] = {{0, 0}, {4, 4}, {8, 8}, {-3, 2}, {2.5f, -5.25f}, {12, 0}, {0.75f, 0.25f}};
    for (int k = 0; k < 7; ++k) {
        gl.RasterPos2f(20.0f + 30 * k, 150.0f);
        gl.Bitmap(8, 8, origins[k][0], origins[k][1], 0, 0, kA);
        gl.RasterPos2f(20.25f + 30 * k, 100.7f);
        gl.Bitmap(12, 10, origins[k][0], origins[k][1], 0, 0, kBox);
    }
}

// A line of text with the moves text uses: spaces as bitmaps of no size
// (no image at all), a backspace (a negative move) that overstrikes, moves
// with a vertical part, and moves by fractions that add up.
void Moves(const Gl& gl) {
    Text(gl);
    gl.Color3f(0, 1, 0.5f);
    gl.RasterPos2f(10, 160);
    gl.Bitmap(8, 8, 0, 0, 10, 0, kA);
    gl.Bitmap(0, 0, 0, 0, 14, 0, nullptr);  // a space
    gl.Bitmap(8, 8, 0, 0, 10, 0, kA);
    gl.Bitmap(0, 0, 0, 0, -6, 0, nullptr);  // a backspace
    gl.Bitmap(12, 10, 0, 0, 14, 0, kBox);   // overstrikes the glyph before
    gl.Bitmap(0, 0, 0, 0, 0, -20, nullptr);  // a line down
    gl.Bitmap(8, 8, 0, 0, 10, 5, kA);
    gl.Bitmap(8, 8, 0, 0, 10, -5, kA);
    // A bitmap of no width or of no height moves as well.
    gl.Bitmap(0, 8, 0, 0, 12, 0, kA);
    gl.Bitmap(8, 0, 0, 0, 12, 0, kA);
    gl.Bitmap(8, 8, 0, 0, 0, 0, kA);
    // Fractions: seven moves of 3.25 then whole glyphs.
    gl.RasterPos2f(10, 100);
    for (int k = 0; k < 7; ++k) {
        gl.Bitmap(8, 8, 0, 0, 3.25f, 0, kA);
        gl.Bitmap(0, 0, 0, 0, 3.25f, 0.5f, nullptr);
    }
    gl.Bitmap(12, 10, 0, 0, 0, 0, kBox);
}

// What the move-only bitmap is for: a glyph placed after a move alone lands
// where the move put it (here it would otherwise overlap the first one).
void MoveOnlyThenText(const Gl& gl) {
    Text(gl);
    gl.Color3f(1, 1, 1);
    gl.RasterPos2f(40, 90);
    gl.Bitmap(12, 10, 0, 0, 0, 0, kBox);
    gl.Bitmap(0, 0, 0, 0, 60, -30, nullptr);
    gl.Bitmap(12, 10, 0, 0, 0, 0, kBox);
    gl.Bitmap(0, 0, 0, 0, -90, 50, nullptr);
    gl.Bitmap(8, 8, 0, 0, 0, 0, kA);
}

// Raster positions at the window's edges and past them: a position outside
// the view volume is invalid, so the bitmap is discarded and does not move
// the position either; a valid position moved past the window stays valid
// and its bitmaps are clipped to the window, drawn again once moved back.
void Edges(const Gl& gl) {
    Text(gl);
    gl.Color3f(1, 0.5f, 0);
    gl.RasterPos2f(0, 0);  // the corner
    gl.Bitmap(12, 10, 4, 3, 0, 0, kBox);
    gl.RasterPos2f(kWidth - 6.0f, kHeight - 5.0f);
    gl.Bitmap(12, 10, 0, 0, 0, 0, kBox);
    gl.RasterPos2f(-1.0f, 50.0f);  // outside: invalid
    gl.Bitmap(8, 8, -30, 0, 0, 0, kA);
    gl.Bitmap(0, 0, 0, 0, 40, 0, nullptr);
    gl.Bitmap(8, 8, -30, 0, 0, 0, kA);
    gl.RasterPos2f(100.0f, kHeight + 1.0f);  // above the window: invalid
    gl.Bitmap(8, 8, 0, 12, 0, 0, kA);
    gl.RasterPos2f(kWidth - 10.0f, 60.0f);
    gl.Bitmap(12, 10, 0, 0, 14, 0, kBox);  // clipped at the right edge
    gl.Bitmap(12, 10, 0, 0, 14, 0, kBox);  // wholly outside, still moves
    gl.Bitmap(12, 10, 0, 0, -40, 0, kBox);
    gl.Bitmap(12, 10, 0, 0, 0, 0, kBox);  // back inside
    gl.RasterPos2f(30.0f, 3.0f);
    gl.Bitmap(8, 8, 0, 6, 10, 0, kA);  // below the bottom edge in part
    gl.Bitmap(8, 8, 0, 0, 0, -10, kA);
    gl.Bitmap(8, 8, 0, 0, 0, 0, kA);  // wholly below
}

// The colour is the one current at glRasterPos; later colours wait for the
// next raster position. The same with lighting: the lit colour.
void RasterColour(const Gl& gl) {
    Text(gl);
    gl.Color3f(1, 0, 0);
    gl.RasterPos2f(20, 150);
    gl.Color3f(0, 1, 0);
    gl.Bitmap(12, 10, 0, 0, 16, 0, kBox);
    gl.Bitmap(12, 10, 0, 0, 16, 0, kBox);
    gl.RasterPos2f(80, 150);
    gl.Bitmap(12, 10, 0, 0, 16, 0, kBox);
    gl.Color4f(0.2f, 0.4f, 1.0f, 0.5f);
    gl.Bitmap(12, 10, 0, 0, 16, 0, kBox);
    gl.Enable(GL_LIGHTING);
    gl.Enable(GL_LIGHT0);
    const float diffuse[] = {0.9f, 0.6f, 0.2f, 1};
    gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, diffuse);
    gl.Normal3f(0, 0, 1);
    gl.RasterPos2f(20, 100);
    gl.Disable(GL_LIGHTING);
    gl.Bitmap(12, 10, 0, 0, 16, 0, kBox);
}

// A 20 x 6 image with every row different, its rows padded to the
// alignment given (the padding bytes set, so that reading them shows), the
// bits past the width in each row's last byte set too.
std::vector<GLubyte> Padded(int alignment, bool lsbFirst) {
    const int rowBytes = (20 + 7) / 8, stride = (rowBytes + alignment - 1) / alignment * alignment;
    std::vector<GLubyte> out(static_cast<std::size_t>(stride * 6), 0xA5);
    for (int y = 0; y < 6; ++y) {
        GLubyte* row = &out[static_cast<std::size_t>(y * stride)];
        for (int i = 0; i < rowBytes; ++i) row[i] = 0;
        for (int x = 0; x < 20; ++x)
            if ((x * 3 + y * 5) % 7 < 3 || x == y) row[x / 8] |= static_cast<GLubyte>(1u << (lsbFirst ? x % 8 : 7 - x % 8));
        row[rowBytes - 1] |= lsbFirst ? 0xF0 : 0x0F;
    }
    return out;
}

void UnpackAlignment(const Gl& gl) {
    Pixels(gl);
    gl.Color3f(0.5f, 1, 1);
    int k = 0;
    for (const int alignment : {1, 2, 4, 8}) {
        gl.PixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        const std::vector<GLubyte> image = Padded(alignment, false);
        gl.RasterPos2f(20.0f + 50 * k++, 120.0f);
        gl.Bitmap(20, 6, 0, 0, 0, 0, image.data());
    }
}

void UnpackLsbFirst(const Gl& gl) {
    Pixels(gl);
    gl.Color3f(1, 0.5f, 1);
    gl.PixelStorei(GL_UNPACK_LSB_FIRST, GL_TRUE);
    int k = 0;
    for (const int alignment : {1, 4}) {
        gl.PixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        const std::vector<GLubyte> image = Padded(alignment, true);
        gl.RasterPos2f(20.0f + 50 * k++, 120.0f);
        gl.Bitmap(20, 6, 0, 0, 0, 0, image.data());
    }
    // The same bytes read most significant bit first: a different picture.
    gl.PixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    const std::vector<GLubyte> image = Padded(1, true);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.RasterPos2f(140.0f, 120.0f);
    gl.Bitmap(20, 6, 0, 0, 0, 0, image.data());
}

// A 64 x 16 sheet of bits; windows of it chosen by the row length and the
// skips, at bit offsets that do not fall on bytes.
std::vector<GLubyte> Sheet() {
    std::vector<GLubyte> out(8 * 16);
    for (int y = 0; y < 16; ++y)
        for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(y * 8 + i)] = static_cast<GLubyte>((y * 37 + i * 91) ^ 0x5A);
    return out;
}

void UnpackRowLengthAndSkips(const Gl& gl) {
    Pixels(gl);
    gl.Color3f(1, 1, 0.3f);
    const std::vector<GLubyte> sheet = Sheet();
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.RasterPos2f(10, 150);
    gl.Bitmap(64, 16, 0, 0, 0, 0, sheet.data());  // the whole sheet
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 64);
    const int windows[][4] = {{0, 0, 13, 7}, {5, 0, 20, 9}, {3, 2, 17, 11}, {11, 5, 30, 6}, {33, 9, 31, 7}};
    int k = 0;
    for (const auto& w : windows) {
        gl.PixelStorei(GL_UNPACK_SKIP_PIXELS, w[0]);
        gl.PixelStorei(GL_UNPACK_SKIP_ROWS, w[1]);
        gl.RasterPos2f(10.0f + 48 * k++, 100.0f);
        gl.Bitmap(w[2], w[3], 0, 0, 0, 0, sheet.data());
    }
    // A row length of 40 pixels with alignment 2: rows of 6 bytes.
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 40);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 2);
    gl.PixelStorei(GL_UNPACK_SKIP_PIXELS, 3);
    gl.PixelStorei(GL_UNPACK_SKIP_ROWS, 1);
    gl.RasterPos2f(10, 50);
    gl.Bitmap(30, 12, 0, 0, 0, 0, sheet.data());
}

// Bitmaps kept in display lists: a word of glyphs and moves (a move-only
// bitmap among them) called at several positions, the image taken with the
// unpack modes of compile time (changed before the call), a list run as it
// is compiled, and a list of moves alone. The move-only bitmaps here point
// at an image they do not use: the reference cannot compile one without
// (RasterPositionAsReference checks that case against GL's answer).
void InLists(const Gl& gl) {
    Text(gl);
    const GLuint base = gl.GenLists(3);
    gl.PixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    gl.NewList(base, GL_COMPILE);
    gl.Bitmap(8, 8, 0, 0, 10, 0, kA);
    gl.Bitmap(0, 0, 0, 0, 8, 0, kA);
    gl.Bitmap(12, 10, 1, 1, 14, 0, kBox);
    gl.Bitmap(0, 0, 0, 0, -4, -3, kA);
    gl.Bitmap(8, 8, 0, 0, 10, 3, kA);
    gl.EndList();
    gl.NewList(base + 1, GL_COMPILE);
    gl.Bitmap(0, 0, 0, 0, 25, -12, kA);
    gl.EndList();
    gl.PixelStorei(GL_UNPACK_LSB_FIRST, GL_TRUE);  // not for the list's images
    gl.Color3f(1, 1, 0);
    gl.RasterPos2f(10, 160);
    gl.CallList(base);
    gl.CallList(base + 1);
    gl.CallList(base);
    gl.Color3f(0, 1, 1);
    gl.RasterPos2f(120, 120);
    gl.CallList(base + 1);
    gl.CallList(base + 1);
    gl.CallList(base);
    gl.PixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    gl.Color3f(1, 0, 1);
    gl.RasterPos2f(20, 40);
    gl.NewList(base + 2, GL_COMPILE_AND_EXECUTE);
    gl.Bitmap(12, 10, 0, 0, 16, 0, kBox);
    gl.Bitmap(0, 0, 0, 0, 16, 0, kA);
    gl.EndList();
    gl.CallList(base + 2);
    gl.CallList(base + 2);
    gl.DeleteLists(base, 3);
}

// Bitmap fragments pass the fragment tests: the scissor box cuts a line of
// text, and the depth test compares the raster position's depth.
void FragmentTests(const Gl& gl) {
    Text(gl);
    gl.Color3f(0.3f, 0.3f, 1);
    gl.Rectf(0, 0, kWidth, kHeight);  // depth 0.5 everywhere
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.Color3f(1, 1, 1);
    gl.RasterPos3f(20, 150, 0.5f);  // in front: drawn
    for (int k = 0; k < 6; ++k) gl.Bitmap(12, 10, 0, 0, 14, 0, kBox);
    gl.RasterPos3f(20, 120, -0.5f);  // behind: hidden
    for (int k = 0; k < 6; ++k) gl.Bitmap(12, 10, 0, 0, 14, 0, kBox);
    gl.Disable(GL_DEPTH_TEST);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(50, 60, 60, 30);
    gl.Color3f(1, 1, 0);
    gl.RasterPos2f(20, 70);
    for (int k = 0; k < 10; ++k) gl.Bitmap(12, 10, 0, 0, 10, 2, kBox);
}

// Text in the darkest colours applications draw it in (black, dark blues,
// greys and reds) over a light backdrop: at 8 bits a pixel the palette's
// darkest entries lie beside the system colours.
void DarkColours(const Gl& gl) {
    Text(gl);
    gl.ClearColor(0.9f, 0.9f, 0.8f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    const float colours[][3] = {{0, 0, 0}, {0, 0, 0.3f}, {0.1f, 0.1f, 0.1f}, {0, 0.15f, 0.35f}, {0.2f, 0, 0}};
    for (int k = 0; k < 5; ++k) {
        gl.Color3fv(colours[k]);
        for (int row = 0; row < 4; ++row) {
            gl.RasterPos2f(20.0f + 45 * k, 40.0f + 30 * row);
            gl.Bitmap(12, 10, 0, 0, 14, 0, kBox);
            gl.Bitmap(8, 8, 0, 0, 10, 0, kA);
        }
    }
}

const Scene kBitmaps[] = {
    {"dark_colours", DarkColours, 1, 0, "the blue 0.3 and 0.35 lie half-way between two 8-bit values"},
    {"origins", Origins, 0, 0, "none: bitmaps are exact"},
    {"moves", Moves, 0, 0, "none: bitmaps are exact"},
    {"move_only_then_text", MoveOnlyThenText, 0, 0, "none: bitmaps are exact"},
    {"edges", Edges, 0, 0, "none: bitmaps are exact"},
    {"raster_colour", RasterColour, 1, 0, "the lit colour rounded"},
    {"unpack_alignment", UnpackAlignment, 0, 0, "none: bitmaps are exact"},
    {"unpack_lsb_first", UnpackLsbFirst, 0, 0, "none: bitmaps are exact"},
    {"unpack_row_length_and_skips", UnpackRowLengthAndSkips, 1, 0, "the colour's blue 0.3 lies half-way between two 8-bit values"},
    {"in_lists", InLists, 0, 0, "none: bitmaps are exact"},
    {"fragment_tests", FragmentTests, 0, 0, "none: bitmaps are exact"},
};

VNX_APP_SCENES(Bitmaps, kBitmaps);

// The raster position and its validity a sequence of calls leaves, compared
// with OSMesa's.
struct Moved {
    const char* name;
    std::function<void(const Gl&)> calls;
    const char* apart = nullptr;  // why the reference is not asked: GL's answer instead
    const char* answer = nullptr;
};

const std::vector<Moved>& MovedCases() {
    static const std::vector<Moved> cases = {
        {"move-only bitmap", [](const Gl& gl) {
             gl.RasterPos2f(20, 30);
             gl.Bitmap(0, 0, 0, 0, 12.5f, -7.25f, nullptr);
         }},
        {"moves of glyphs and of nothing add up", [](const Gl& gl) {
             gl.RasterPos2f(20, 30);
             gl.Bitmap(8, 8, 0, 0, 10, 1, kA);
             gl.Bitmap(0, 0, 0, 0, -3, 2, nullptr);
         }},
        {"bitmaps of no width or no height move", [](const Gl& gl) {
             gl.RasterPos2f(20, 30);
             gl.Bitmap(0, 5, 0, 0, 4, 0, kA);
             gl.Bitmap(5, 0, 0, 0, 0, 6, kA);
         }},
        {"moved past the window, still valid", [](const Gl& gl) {
             gl.RasterPos2f(250, 180);
             gl.Bitmap(0, 0, 0, 0, 100, 40, nullptr);
         }},
        {"an invalid position does not move", [](const Gl& gl) {
             gl.RasterPos2f(-5, 30);
             gl.Bitmap(0, 0, 0, 0, 50, 0, nullptr);
             gl.Bitmap(8, 8, 0, 0, 50, 0, kA);
         }},
        {"a move-only bitmap in a list", [](const Gl& gl) {
             const GLuint list = gl.GenLists(1);
             gl.NewList(list, GL_COMPILE);
             gl.Bitmap(0, 0, 0, 0, 7, 3, nullptr);
             gl.EndList();
             gl.RasterPos2f(20, 30);
             gl.CallList(list);
             gl.CallList(list);
             gl.DeleteLists(list, 1);
         },
         "the reference cannot compile a bitmap without an image (GL_OUT_OF_MEMORY)",
         "valid at 34, 36, 0.5, 1, error 0"},
        {"while selecting", [](const Gl& gl) {
             GLuint buffer[16] = {};
             gl.SelectBuffer(16, buffer);
             gl.RenderMode(GL_SELECT);
             gl.RasterPos2f(20, 30);
             gl.Bitmap(8, 8, 0, 0, 10, 2, kA);
             gl.Bitmap(0, 0, 0, 0, 5, 1, nullptr);
             gl.RenderMode(GL_RENDER);
         }},
        {"in feedback mode", [](const Gl& gl) {
             GLfloat buffer[32] = {};
             gl.FeedbackBuffer(32, GL_2D, buffer);
             gl.RenderMode(GL_FEEDBACK);
             gl.RasterPos2f(20, 30);
             gl.Bitmap(8, 8, 0, 0, 10, 2, kA);
             gl.Bitmap(0, 0, 0, 0, 5, 1, nullptr);
             gl.RenderMode(GL_RENDER);
         }},
    };
    return cases;
}

std::string RasterState(const Gl& gl) {
    GLfloat pos[4] = {};
    GLboolean valid = GL_FALSE;
    gl.GetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    gl.GetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    std::ostringstream os;
    os << (valid ? "valid" : "invalid");
    // An invalid position's coordinates are left open by GL.
    if (valid) os << " at " << pos[0] << ", " << pos[1] << ", " << pos[2] << ", " << pos[3];
    os << ", error " << gl.GetError();
    return os.str();
}

class BitmapMoves : public AppTest {};

TEST_F(BitmapMoves, RasterPositionAsReference) {
    Reference mesa;
    ASSERT_TRUE(mesa.ok()) << mesa.error();
    // Byte-aligned glyph rows: kA holds one byte a row.
    Text(gl_);
    Text(mesa.gl());
    for (const Moved& c : MovedCases()) {
        c.calls(gl_);
        if (c.apart != nullptr) {
            EXPECT_EQ(RasterState(gl_), c.answer) << c.name;
            continue;
        }
        c.calls(mesa.gl());
        EXPECT_EQ(RasterState(gl_), RasterState(mesa.gl())) << c.name;
    }
    mesa.gl().Finish();  // the reference's cached bitmaps drawn before it goes
}

}  // namespace
}  // namespace glapp_tests
