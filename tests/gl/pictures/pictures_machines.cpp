// What the server-level picture tables do not draw on some machines, or
// draw there with more tolerance than the machine's pixel format gives,
// and why: three tables of notes, each naming the family (the test suite,
// or the suite and its test where the suite's tests differ), the scenes and
// the machines (glmachines::MachineNote: "16-bit", "8-bit" name the machines
// of that depth, vnxsim's among the 16-bit ones; "whole-pixel" the machine
// with the board configuration the miniport starts with; "split" the split
// boards).
#include <cstdlib>

#include "pictures_fixture.h"

namespace pictures {

namespace {

using glmachines::MachineNote;

// The stage pictures hold the 32-bit tolerance.
constexpr const char* kBlends16 =
    "at 16 bits a pixel the stage pictures' blends lie beyond the 32-bit tolerance the family keeps: over a drawn "
    "backdrop two steps off (blend_one_one worst 15, blend_src_alpha_one 22), and SRC_ALPHA_SATURATE, ONE with an "
    "alpha buffer up to 56 levels (2,055 pixels)";
constexpr const char* kReadWholePixel =
    "the read compares each value at its pixel, and a board with whole-pixel positions interpolates at the "
    "pixel's corner, half a pixel from GL's centre: the values of the read rectangle lie a gradient's half step "
    "off";

// The board vnxsim boots is configured without mip-maps: only the base
// level is kept, and mip-mapped minification draws it filtered linearly.
constexpr const char* kNoMipmaps =
    "a board configured without mip-maps: only the base level is kept, and mip-mapped minification draws it "
    "filtered linearly wherever GL would take smaller levels";

// Machines that cannot draw a scene, or whose picture the reference cannot
// stand for.
const MachineNote kCannotDraw[] = {
    {"Mipmaps", "", "whole-pixel", kNoMipmaps},
    {"Mipmaps32", "", "whole-pixel", kNoMipmaps},
    {"Stages32", "", "16-bit", kBlends16},
    {"Scenes/ReadPixelsPictureTest", "read_rgb*", "whole-pixel", kReadWholePixel},
    {"Scenes/ReadPixelsPictureTest", "read_depth", "whole-pixel", kReadWholePixel},
};

// What the failing pairs show.
constexpr const char* kSoftware8 =
    "the software fragment stages at 8 bits a pixel: logic operations combine the low bytes of the fragment's "
    "packed colour and of the pixel read back as the palette's colour, not the stored 3-3-2 bytes; "
    "blends over the drawn backdrop land a level or more below the reference "
    "(blend_src_alpha_one_minus_src_alpha: reference 9d7062, board 664955)";
constexpr const char* kWholePixelTexture =
    "textures on a board with whole-pixel positions: each corner takes GL's coordinates at the pixel centre its "
    "sample point stands for, in whole sixteenths of a texel (the board's coordinate format), so texel edges move "
    "by up to 1/32 of a texel (0.2 of a pixel over the magnified quad, whose texel edges keep 0.1 of a pixel from "
    "the centres: texture_nearest_decal reference c028cf, board c6debd); the software stages' rows also draw "
    "edge pixels of the snapped vertices (reference 000000)";
constexpr const char* kBlend8 =
    "blends and logic operations at 8 bits a pixel: sums, products and bit operations on the stored 3-3-2 fields "
    "off by up to 255 levels (blend_src_alpha_one_minus_src_alpha: reference 9dbf75, board 66b655)";
constexpr const char* kSmooth8 =
    "antialiased lines at 8 bits a pixel: their blended edges on the system colours' reds (reference 44412a, "
    "board 002400)";

// Known faults a scene shows on a machine: the test skips naming them.
const MachineNote kMachineFaults[] = {
    // The software stages at 8 bits.
    {"FragmentOperations/SoftwarePictureTest", "blend_*", "8-bit", kSoftware8},
    {"FragmentOperations/SoftwarePictureTest", "logic_*", "8-bit", kSoftware8},
    {"Scenes/SoftwarePointsTest", "points_blend", "8-bit", kSoftware8},
    {"TwoPaths", "tex_front_outlines_back_filled", "16-bit",
     "front faces outlined through the software stages over textured back faces at 16 bits a pixel: the "
     "outlines' colours off by up to 173 levels (reference 08dc3f, board 08d631 along 3,601 pixels)"},
    // Split boards.
    // Whole-pixel positions.
    {"Textures", "", "whole-pixel", kWholePixelTexture},
    {"Projective", "", "whole-pixel", kWholePixelTexture},
    {"Stipple", "stippled_texture_*", "whole-pixel", kWholePixelTexture},
    // 8 bits.
    {"AlphaBuffer", "", "8-bit", kBlend8},
    {"Stages32", "", "8-bit", kBlend8},
    {"Stages", "blend_src_alpha_one_minus_src_alpha", "8-bit", kBlend8},
    {"Stages", "blend_one_minus_src_alpha_src_alpha", "8-bit", kBlend8},
    {"Stages", "logic_and_*", "8-bit", kBlend8},
    {"Stages", "logic_equiv", "8-bit", kBlend8},
    {"Stages", "logic_nand", "8-bit", kBlend8},
    {"Stages", "logic_nor", "8-bit", kBlend8},
    {"Stages", "logic_or*", "8-bit", kBlend8},
    {"Stages", "logic_xor", "8-bit", kBlend8},
    {"Scenes/PointsLinesTest", "smooth_lines_*_add", "8-bit", kSmooth8},
    {"Scenes/PointsLinesTest", "smooth_outlines", "8-bit", kSmooth8},
};

// More tolerance than one step of the format.
constexpr const char* kWholePixelEdges =
    "whole-pixel positions: antialiased and stippled edges and the fragments on a test's threshold move with the "
    "snapped vertices";

constexpr const char* kBlendTwice16 =
    "a blend over a drawn backdrop: the backdrop stored a step off, the result stored again";

const MachineNote kTolerances[] = {
    {"Accum", "", "8-bit",
     "the frames are stored at the format's depth, read into the accumulation buffer and returned into it: a step "
     "off each time",
     2},
    {"AlphaBuffer", "", "16-bit", kBlendTwice16, 2},
    {"FragmentOperations/SoftwarePictureTest", "blend_*", "16-bit", kBlendTwice16, 2},
    {"Scenes/SoftwarePointsTest", "points_blend", "16-bit", kBlendTwice16, 2},
    {"FragmentOperations/SoftwarePictureTest", "logic_*", "16-bit",
     "the source dithered to the stored five bits before the operation, which the reference combines at eight", 2},
    {"Stipple", "stippled_texture_*", "16-bit",
     "the textured colour takes the dithered colour scale, a step below the undithered one, and the pixel keeps "
     "the top 5 bits of it: two steps",
     2},
    {"Scenes/PointsLinesTest", "smooth_*", "whole-pixel", kWholePixelEdges, 0, 600},
    {"Stipple", "stippled_flat_*", "whole-pixel", kWholePixelEdges, 0, 16},
    {"Stipple", "stippled_smooth_*", "whole-pixel", kWholePixelEdges, 0, 16},
    {"FragmentOperations/SoftwarePictureTest", "alpha_test_*", "whole-pixel", kWholePixelEdges, 0, 8},
    {"FragmentOperations/SoftwarePictureTest", "blend_*", "whole-pixel", kWholePixelEdges, 0, 4},
    {"FragmentOperations/SoftwarePictureTest", "logic_*", "whole-pixel", kWholePixelEdges, 0, 4},
    {"FragmentOperations/SoftwarePictureTest", "stencil_depth_*", "whole-pixel", kWholePixelEdges, 0, 4},
    {"Scenes/SoftwarePictureTest", "depth_*", "whole-pixel", kWholePixelEdges, 0, 4},
};

}  // namespace

std::string MachineSkip(const Scene& scene, const Machine& machine) {
    return glmachines::SkipOf(kCannotDraw, kMachineFaults, scene.name, machine);
}

glmachines::Extra ToleranceOf(const Scene& scene, const Machine& machine) {
    return glmachines::ExtraOf(kTolerances, scene.name, machine);
}

}  // namespace pictures
