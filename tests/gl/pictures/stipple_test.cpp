// GL pictures of polygon stipple: filled polygons drawn with a 32 x 32
// stipple on, against OSMesa, on 1, 2 and 4 rasterizers at 16 and 32 bits
// a pixel. The window's origin is not a multiple of 32 in x (100) nor is
// its bottom edge in y, so the pattern's alignment to the window shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "lgi/3d/pipes.h"
#include "pictures_fixture.h"

namespace {

using namespace pictures;

constexpr std::uint32_t kPolygonStipple = 0x0B42;

// A pattern that no flip or shift maps onto itself: row r, byte b holds
// bits that move by row and by byte, with the first row and the first
// column told apart from the others.
std::vector<std::uint8_t> Pattern() {
    std::vector<std::uint8_t> bytes(128);
    for (int r = 0; r < 32; ++r)
        for (int b = 0; b < 4; ++b)
            bytes[4 * r + b] = static_cast<std::uint8_t>((0xC5u >> (r % 5)) ^ (0x3Au << (b + r % 3)) ^ (r == 0 ? 0xF0 : 0));
    bytes[0] = 0x80;  // row 0: only its leftmost column in the first byte
    return bytes;
}

// The scene with the stipple set and enabled before its first primitive.
Calls Stippled(Calls scene) {
    Calls style{Call{"PolygonStipple", {}, Pattern()}, C("Enable", {kPolygonStipple})};
    const auto at = std::find_if(scene.begin(), scene.end(), [](const Call& c) { return c.request == "Begin"; });
    scene.insert(at, style.begin(), style.end());
    return scene;
}

// Coverage and colours as the unstippled scenes'; the stipple removes
// whole pixels, exactly as GL's does. Smooth colours are drawn on
// triangles, strips and fans only: inside a smooth quad they depend on the
// diagonal it is cut along, which GL leaves open (the stippled reference
// cuts it along the other one).
const Scene kScenes[] = {
    {"stippled_flat_triangles", [] { return Stippled(Triangles(kFlat)); }, 0, 0, "flat colour; the stipple is exact"},
    {"stippled_smooth_triangles", [] { return Stippled(Triangles(kSmooth)); }, 3, 0, "interpolated colours"},
    {"stippled_flat_quads", [] { return Stippled(Quads(kFlat)); }, 0, 0, "flat colour; the stipple is exact"},
    {"stippled_smooth_strip_and_fan", [] { return Stippled(StripAndFan(kSmooth)); }, 3, 0, "interpolated colours"},
    {"stippled_flat_polygon", [] { return Stippled(Polygon(kFlat)); }, 0, 0, "flat colour; the stipple is exact"},
};

// Split boards (at 32 bits on pages twice as wide, as the pictures of
// every fill) and wide pages on one board place the scratch pixmap and its
// tile elsewhere in board memory.
const Machine kMachines[] = {{1, 32, 0}, {2, 32, 0}, {4, 32, 0},       {1, 16, 7},      {2, 16, 7},
                             {4, 16, 7}, {2, 32, 0, 2, 1}, {2, 16, 7, 2}, {4, 32, 0, 1, 1}};

class StipplePictureTest : public PictureFixture {
  protected:
    // The switch is process-wide: no later test may inherit it.
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        PictureFixture::TearDown();
    }
};

// The server's own choice of path.
TEST_P(StipplePictureTest, MatchesTheReference) {
    MatchesReference("stipple-", [this](const Calls& calls) { Send(calls); });
}

// Every primitive through the software stages (the span rasteriser and the
// polygon stipple span stage).
TEST_P(StipplePictureTest, MatchesTheReferenceInSoftware) {
    MatchesReference("stipple-sw-", [this](const Calls& calls) {
        gNForceSoftwarePaths = 1;
        Send(calls);
        gNForceSoftwarePaths = 0;
    });
}

INSTANTIATE_TEST_SUITE_P(Stipple, StipplePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kMachines)), RowName);

}  // namespace
