// Dithering, which GL starts with on: a dithered colour is one of the two
// levels of the pixel's format nearest the colour, so a pixel drawn with
// dithering lies at most one level of its format from the same pixel drawn
// without. At 32 bits a pixel a channel keeps the 8 bits the colour has:
// dithering shows nothing there. Each scene is drawn twice on the same
// machine, with dithering as GL starts and with it off, by the render
// programs and by the software stages, and the two pictures compared level
// by level of the display's format (3-3-2 at 8 bits, 5-5-5 at 16, 8-8-8 at
// 32). The 32-bit machines also compare the dithered picture with OSMesa.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

#include "lgi/3d/pipes/pipes.h"
#include "pictures_fixture.h"
#include "platform/debug.h"
#include "../../platform/gl_reference.h"

namespace {

using namespace pictures;

enum : std::uint32_t {
    kDitherCap = 0x0BD0, kLighting = 0x0B50, kLight0 = 0x4000, kDiffuse = 0x1201, kSpecular, kPosition,
    kFront = 0x0404, kShininess = 0x1601, kBlend = 0x0BE2, kSrcAlpha = 0x0302, kOneMinusSrcAlpha,
};

Call Floats(const char* request, std::initializer_list<std::uint32_t> head, std::initializer_list<float> values) {
    Call c = C(request, head);
    for (float v : values) c.words.push_back(glx::F(v));
    return c;
}

// A lit sphere of radius 90 in the middle of the window, its front half as
// rings of smooth quads, with a diffuse and a specular term: colours that
// change slowly across many pixels, where a dither pattern would show.
Calls LitSphere() {
    Calls c = With(Start(), {C("Enable", {kLighting}), C("Enable", {kLight0}), C("ShadeModel", {kSmooth}),
                             Floats("Lightfv", {kLight0, kPosition}, {-0.4f, 0.5f, 1, 0}),
                             Floats("Lightfv", {kLight0, kDiffuse}, {1, 0.85f, 0.6f, 1}),
                             Floats("Lightfv", {kLight0, kSpecular}, {1, 1, 1, 1}),
                             Floats("Materialfv", {kFront, kSpecular}, {0.7f, 0.7f, 0.7f, 1}),
                             Floats("Materialfv", {kFront, kShininess}, {16})});
    constexpr int kRings = 12, kSegments = 24;
    constexpr float kPi = 3.14159265f, cx = kWidth / 2.0f, cy = kHeight / 2.0f, r = 90;
    auto point = [&](int ring, int segment) {
        const float phi = kPi / 2 * static_cast<float>(ring) / kRings;
        const float theta = 2 * kPi * static_cast<float>(segment) / kSegments;
        const float nx = std::sin(phi) * std::cos(theta), ny = std::sin(phi) * std::sin(theta), nz = std::cos(phi);
        c.push_back(C("Normal3fv", {glx::F(nx), glx::F(ny), glx::F(nz)}));
        c.push_back(Vertex(cx + r * nx, cy + r * ny, 0.5f * nz));
    };
    c.push_back(C("Begin", {kQuads}));
    for (int i = 0; i < kRings; ++i)
        for (int j = 0; j < kSegments; ++j) {
            point(i, j);
            point(i + 1, j);
            point(i + 1, j + 1);
            point(i, j + 1);
        }
    c.push_back(C("End"));
    return c;
}

// A smooth overlay blended by its alpha over flat quads of colours every
// format holds exactly (a dithered backdrop would already be a level off
// before the blend).
Calls BlendedOverlay() {
    Calls c = With(Start(), {C("ShadeModel", {kFlat}), C("Begin", {kQuads})});
    const float corners[3][3] = {{1, 0, 1}, {0, 1, 1}, {1, 1, 0}};
    for (int i = 0; i < 3; ++i) {
        const float x0 = 10 + 80 * static_cast<float>(i);
        c.push_back(Colour(corners[i][0], corners[i][1], corners[i][2]));
        for (const auto& [x, y] : {std::pair{x0, 10.0f}, {x0 + 80, 10.0f}, {x0 + 80, 180.0f}, {x0, 180.0f}})
            c.push_back(Vertex(x, y));
    }
    c.push_back(C("End"));
    c = With(c, {C("ShadeModel", {kSmooth}), C("Enable", {kBlend}), C("BlendFunc", {kSrcAlpha, kOneMinusSrcAlpha})});
    c.push_back(C("Begin", {kTriangles}));
    const float v[3][7] = {{20, 170, 0, 0.9f, 0.1f, 0.7f, 0.3f},
                           {240, 150, 0, 0.2f, 0.8f, 0.4f, 0.9f},
                           {120, 10, 0, 1, 1, 0.2f, 0.6f}};
    for (const auto& p : v) {
        c.push_back(C("Color4fv", {glx::F(p[3]), glx::F(p[4]), glx::F(p[5]), glx::F(p[6])}));
        c.push_back(Vertex(p[0], p[1], p[2]));
    }
    c.push_back(C("End"));
    return c;
}

// Smooth lines and flat points: primitives whose render programs are not
// the polygons'.
Calls LinesAndPoints() {
    Calls c = Lines(1, false, kSmooth);
    c.push_back(C("Begin", {kPoints}));
    for (int i = 0; i < 40; ++i) {
        c.push_back(Colour(0.3f + 0.017f * static_cast<float>(i), 0.6f, 0.45f));
        c.push_back(Vertex(10.5f + 6 * static_cast<float>(i), 180.5f));
    }
    c.push_back(C("End"));
    return c;
}

// Tolerances against OSMesa (32 bits): the rows' scenes as the smooth and
// lit scenes of the other tables.
const Scene kScenes[] = {
    {"lit_sphere", LitSphere, 3, 40, "interpolation of lit vertex colours; the rim's edge pixels"},
    {"smooth_triangles", [] { return Triangles(kSmooth); }, 3, 24, "edge pixels"},
    {"blended_overlay", BlendedOverlay, 3, 48, "products rounded once; edge pixels"},
    {"lines_and_points", LinesAndPoints, 3, 12, "interpolation at column centres; line ends"},
};

// A stored pixel's level of red, green or blue: 3-3-2 at 8 bits (its
// colour conversion's red reaches 5 of 7), 5-5-5 at 16 (bit 15 the
// overlay's), 8-8-8 at 32.
int Level(std::uint32_t pixel, int channel, ULONG bpp) {
    if (bpp == 8) return static_cast<int>(channel == 0 ? pixel >> 5 & 7 : channel == 1 ? pixel >> 2 & 7 : pixel & 3);
    if (bpp == 16) return static_cast<int>(pixel >> (10 - 5 * channel) & 31);
    return static_cast<int>(pixel >> (16 - 8 * channel) & 255);
}

// The machines: kPictureMachines, of 8, 16 and 32 bits a pixel.

class DitherTest : public PictureFixture {
  protected:
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        PictureFixture::TearDown();
    }
    // The window's pixels as stored, rows top to bottom (at 8 bits the
    // palette's colours would hide the levels).
    std::vector<std::uint32_t> Stored(const Machine& machine) {
        std::vector<std::uint32_t> out;
        const DFB* pdfb = Primary();
        for (LONG y = Area().top; y < Area().bottom; ++y)
            for (LONG x = Area().left; x < Area().right; ++x) {
                const glmachines::BoardPixel at = glmachines::Locate(machine, x);
                const LONG bx = pdfb->x + at.x, by = pdfb->y + y;
                const BYTE* p =
                    board().pixel(board().tile_owner(at.board, bx, by), static_cast<std::uint16_t>(pdfb->pid), bx, by);
                if (p == nullptr) return {};
                std::uint32_t v = 0;
                std::memcpy(&v, p, machine.bpp() / 8);
                out.push_back(v);
            }
        return out;
    }
    // The scene drawn once with dithering as GL starts and once with it
    // off: both pictures, with the window blackened before each.
    void Draw(const Calls& calls, const Machine& machine, bool software, std::vector<std::uint32_t>* dithered,
              std::vector<std::uint32_t>* plain, std::vector<std::uint32_t>* picture) {
        gNForceSoftwarePaths = software ? 1 : 0;
        Send(calls);
        *dithered = Stored(machine);
        *picture = Picture();
        Blacken();
        Send(With({C("Disable", {kDitherCap})}, calls));
        *plain = Stored(machine);
        gNForceSoftwarePaths = 0;
    }
    void Compare(const char* path) {
        const auto& [scene, machine] = GetParam();
        const Calls calls = scene.calls();
        if (!Prepare(calls, scene, machine)) return;
        std::vector<std::uint32_t> dithered, plain, picture;
        Draw(calls, machine, path[0] == 's', &dithered, &plain, &picture);
        if (HasFatalFailure()) return;
        const std::set<std::string> seams = SeamsIn(vnx::debug::take());
        if (!seams.empty()) GTEST_SKIP() << scene.name << " reaches the server's seam " << *seams.begin();
        ASSERT_EQ(dithered.size(), plain.size());
        ASSERT_FALSE(dithered.empty());
        int moved = 0, worst = 0;
        std::ostringstream first;
        for (std::size_t i = 0; i < dithered.size(); ++i)
            for (int ch = 0; ch < 3; ++ch) {
                const int d = std::abs(Level(dithered[i], ch, machine.bpp()) - Level(plain[i], ch, machine.bpp()));
                worst = std::max(worst, d);
                // At 8 bits a channel nothing may move; below, one level.
                if (d > (machine.bpp() >= 24 ? 0 : 1) && moved++ == 0)
                    first << " first at (" << i % kWidth << ", " << i / kWidth << ") channel " << ch << ": "
                          << std::hex << dithered[i] << " dithered, " << plain[i] << " not";
            }
        EXPECT_EQ(moved, 0) << path << ": dithering moved " << moved << " channels by more than it may, by up to "
                            << worst << " levels of the format;" << first.str();
        {
            // The dithered picture as OSMesa draws the scene (which does not
            // dither 8-bit channels), within the machine's steps.
            std::string error;
            const std::vector<std::uint32_t> reference = Reference(calls, kWidth, kHeight, &error, false);
            ASSERT_FALSE(reference.empty()) << error;
            const glmachines::Extra more = ToleranceOf(scene, machine);
            EXPECT_TRUE(vnx::glref::same_picture(std::string("dither-") + path + "-" + scene.name + "-" + machine.name,
                                                 reference, picture, kWidth, kHeight,
                                                 glmachines::Allowed(machine, scene.tolerance, more.steps),
                                                 scene.outliers + more.outliers))
                << scene.why << (more.why.empty() ? "" : "; " + more.why);
        }
        std::string errors;
        for (const vnx::board::BoardError& e : board().take_errors()) errors += e.message + "\n";
        EXPECT_EQ(errors, "");
    }
};

TEST_P(DitherTest, RenderProgramsMoveAPixelAtMostOneLevel) { Compare("programs"); }
TEST_P(DitherTest, SoftwareStagesMoveAPixelAtMostOneLevel) { Compare("software"); }

INSTANTIATE_TEST_SUITE_P(Scenes, DitherTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

}  // namespace
