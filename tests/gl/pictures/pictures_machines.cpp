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

// The board's 16-bit programs keep 7 bits a channel and their add steps
// count on the 8-bit carry (platform/board/render3d.h, "Limits").
constexpr const char* kWrap16 =
    "at 16 bits a pixel the generator's channels are 7 bits wide and its saturating adds carry at 8 bits: the "
    "blends that add or multiply 8-bit channels compute GL's results at 32 bits only";
constexpr const char* kReadWholePixel =
    "the read compares each value at its pixel, and a board with whole-pixel positions interpolates at the "
    "pixel's corner, half a pixel from GL's centre: the values of the read rectangle lie a gradient's half step "
    "off";

// Machines that cannot draw a scene, or whose picture the reference cannot
// stand for.
const MachineNote kCannotDraw[] = {
    {"Stages32", "", "16-bit", kWrap16},
    {"Scenes/ReadPixelsPictureTest", "read_rgb*", "whole-pixel", kReadWholePixel},
    {"Scenes/ReadPixelsPictureTest", "read_depth", "whole-pixel", kReadWholePixel},
};

// What the failing pairs show.
constexpr const char* kSoftware16 =
    "the software fragment stages below 32 bits a pixel: blends and logic operations saturate or set whole "
    "channels (blend_src_alpha_one_minus_src_alpha: reference edfa1b, board ffff21; logic_and: 000000 as ffff18)";
constexpr const char* kSplitStencil =
    "the software stencil stages on a split board: the stencil values of the second screen's part of the window "
    "come out as values never written (stencil_less: reference 3399ff, board 006600 from column 229)";
constexpr const char* kWholePixelTexture =
    "textures on a board with whole-pixel positions: nearest texels drawn as a blend of their neighbours and the "
    "texel grid out of place (tex_mipmap_nearest_nearest_quads: 20,358 pixels; texture_nearest_decal: reference "
    "c028cf, board c6debd)";
constexpr const char* kAccum8 =
    "accumulation at 8 bits a pixel: the returned frames near black (reference 3b2604, board 000000)";
constexpr const char* kBlend8 =
    "blends and logic operations at 8 bits a pixel: sums, products and bit operations on the stored 3-3-2 fields "
    "off by up to 255 levels (blend_src_alpha_one_minus_src_alpha: reference 9dbf75, board 66b655)";
constexpr const char* kStencil8 =
    "the stencil test at 8 bits a pixel with a stencil plane: the marks' colours where the test passes wrong "
    "(stencil_less: reference 3399ff, board 006d00)";
constexpr const char* kTexture8 =
    "textures at 8 bits a pixel: the texel's and the colour's reds each carry the palette's red offset, the "
    "products and blends lose it, and dark texels land on the system colours (reference 0889b6, board 006d55)";
constexpr const char* kPixels8 =
    "images drawn, copied and read at 8 bits a pixel: the darkest reds a step low past the dither, copies with "
    "zoom black (reference 1ec087, board 000000), reads of 3-3-2 pixels without the red offset";
constexpr const char* kSmooth8 =
    "antialiased lines at 8 bits a pixel: their blended edges on the system colours' reds (reference 44412a, "
    "board 002400)";

// Known faults a scene shows on a machine: the test skips naming them.
const MachineNote kMachineFaults[] = {
    // The software stages below 32 bits.
    {"FragmentOperations/SoftwarePictureTest", "blend_*", "16-bit 8-bit", kSoftware16},
    {"FragmentOperations/SoftwarePictureTest", "logic_*", "16-bit 8-bit", kSoftware16},
    {"Scenes/SoftwarePointsTest", "points_blend", "16-bit 8-bit", kSoftware16},
    {"Scenes/DitherTest.SoftwareStagesMoveAPixelAtMostOneLevel", "blended_overlay", "16-bit 8-bit", kSoftware16},
    {"TwoPaths", "tex_front_outlines_back_filled", "16-bit 8-bit",
     "front faces outlined through the software stages over textured back faces below 32 bits a pixel: the "
     "outlines' colours off by up to 173 levels (reference 08dc3f, board 08d631 along 3,601 pixels)"},
    // Split boards.
    {"FragmentOperations/SoftwarePictureTest", "stencil_*", "split", kSplitStencil},
    {"Scenes/SoftwarePointsTest", "points_stencil_depth", "split", kSplitStencil},
    // Whole-pixel positions.
    {"Textures", "", "whole-pixel", kWholePixelTexture},
    {"Clamped", "", "whole-pixel", kWholePixelTexture},
    {"Mipmaps", "", "whole-pixel", kWholePixelTexture},
    {"Mipmaps32", "", "whole-pixel", kWholePixelTexture},
    {"Projective", "", "whole-pixel", kWholePixelTexture},
    {"Stipple", "stippled_texture_*", "whole-pixel", kWholePixelTexture},
    // 8 bits.
    {"Accum", "", "8-bit", kAccum8},
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
    {"Stages", "stencil_*equal", "8-bit", kStencil8},
    {"Stages", "stencil_less", "8-bit", kStencil8},
    {"Stages", "stencil_greater", "8-bit", kStencil8},
    {"Stages", "stencil_incr_invert_decr", "8-bit", kStencil8},
    {"Stages", "stencil_zero_replace_keep", "8-bit", kStencil8},
    {"Stages", "stencil_masks", "8-bit", kStencil8},
    {"FragmentOperations/SoftwarePictureTest", "stencil_*", "8-bit", kStencil8},
    {"Scenes/SoftwarePointsTest", "points_stencil_depth", "8-bit", kStencil8},
    {"Textures/PictureTest", "texture_*modulate", "8-bit", kTexture8},
    {"Textures/PictureTest", "texture_linear_modulate_floor", "8-bit", kTexture8},
    {"Textures/PictureTest", "texture_nearest_blend", "8-bit", kTexture8},
    {"Textures/SoftwareTexturePictureTest", "", "8-bit", kTexture8},
    {"Clamped", "", "8-bit", kTexture8},
    {"Mipmaps", "", "8-bit", kTexture8},
    {"Mipmaps32", "", "8-bit", kTexture8},
    {"Projective", "", "8-bit", kTexture8},
    {"Stipple", "stippled_texture_*", "8-bit", kTexture8},
    {"Scenes/PictureTest", "draw_pixels_*", "8-bit", kPixels8},
    {"Scenes/PixelPictureTest", "draw_*", "8-bit", kPixels8},
    {"Scenes/PixelPictureTest", "copy_*", "8-bit", kPixels8},
    {"Scenes/ReadPixelsPictureTest", "read_drawn_image", "8-bit", kPixels8},
    {"Scenes/ReadPixelsPictureTest", "read_rgb*", "8-bit", kPixels8},
    {"Scenes/PointsLinesTest", "smooth_*lines_1", "8-bit", kSmooth8},
    {"Scenes/PointsLinesTest", "smooth_*lines_3", "8-bit", kSmooth8},
    {"Scenes/PointsLinesTest", "smooth_lines_*_add", "8-bit", kSmooth8},
    {"Scenes/PointsLinesTest", "smooth_outlines", "8-bit", kSmooth8},
};

// More tolerance than one step of the format.
constexpr const char* kWholePixelEdges =
    "whole-pixel positions: antialiased and stippled edges and the fragments on a test's threshold move with the "
    "snapped vertices";

const MachineNote kTolerances[] = {
    {"AlphaBuffer", "", "16-bit",
     "a blend over a drawn backdrop by its alpha: the backdrop stored a step off, the result stored again", 2},
    {"Stipple", "stippled_texture_*", "16-bit",
     "the textured colour takes the dithered colour scale, a step below the undithered one, and the pixel keeps "
     "the top 5 bits of it: two steps",
     2},
    {"Scenes/PointsLinesTest", "smooth_*", "whole-pixel", kWholePixelEdges, 0, 600},
    {"Stipple", "stippled_flat_*", "whole-pixel", kWholePixelEdges, 0, 16},
    {"Stipple", "stippled_smooth_*", "whole-pixel", kWholePixelEdges, 0, 16},
    {"FragmentOperations/SoftwarePictureTest", "alpha_test_*", "whole-pixel", kWholePixelEdges, 0, 8},
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
