// What the application's scene tables do not draw on some machines, or
// draw there with more tolerance than the machine's pixel format gives,
// and why: three tables of notes, each naming the family, the scenes and the
// machines (glmachines::MachineNote: "16-bit", "8-bit" name the machines of
// that depth, vnxsim's among the 16-bit ones).
#include <cstdlib>

#include "app_gl.h"

namespace glapp_tests {

namespace {

using glmachines::MachineNote;

// The board vnxsim boots is configured without mip-maps: the driver takes
// no level but the base one (a level above 0 is ignored as it is loaded),
// and a mip-mapped minification filter draws that level, filtered
// linearly. GL's smaller levels exist nowhere to be drawn, by the board or
// the software stages.
constexpr const char* kNoMipmaps =
    "a board configured without mip-maps: only the base level is kept, and mip-mapped minification draws it "
    "filtered linearly wherever GL would take smaller levels";
const MachineNote kCannotDrawNotes[] = {
    {"Textures", "floor_checker_*", "whole-pixel", kNoMipmaps},
    {"Textures", "floor_linear_mipmap_*", "whole-pixel", kNoMipmaps},
    {"Textures", "floor_nearest_mipmap_*", "whole-pixel", kNoMipmaps},
    {"Textures", "floor_mixed_filters", "whole-pixel", kNoMipmaps},
    {"Textures", "floor_software_*", "whole-pixel", kNoMipmaps},
    {"Textures", "squares_*", "whole-pixel", kNoMipmaps},
};
constexpr std::span<const MachineNote> kCannotDraw{kCannotDrawNotes};

// What the 8-bit machines show where they fail.
constexpr const char* kBlend8 =
    "blends at 8 bits a pixel: whole bands wrong, the alpha-buffer rows' window black (reference cccb1a, board "
    "000000), the others' sums and products off by up to 255 levels";

// Known faults a scene shows on a machine: the test skips naming them.
const MachineNote kMachineFaults[] = {
    {"Textures", "*_blended", "8-bit",
     "textured fragments blended by the software stages at 8 bits a pixel: parts of the blended quads land on "
     "dark levels (reference 372c59, board 002400)"},
    // 16 bits.
    // 8 bits.
    {"Blend", "", "8-bit", kBlend8},
    {"Stencil", "blend", "8-bit", kBlend8},
    {"Stencil", "blend_dst_alpha", "8-bit", kBlend8},
    {"LinesPoints", "software_blended_lines*", "8-bit",
     "lines the software stages blend at 8 bits a pixel: parts of the blended lines land on dark green and blue "
     "levels (reference 995927, board 992400)"},
};

// DST_COLOR against a destination factor that keeps the destination.
constexpr const char* kDstColour16 =
    "DST_COLOR with ONE or SRC_ALPHA: D x (S + f), the backdrop's stored step grown by up to twice, the result "
    "stored again";

// More tolerance than one step of the format.
const MachineNote kTolerances[] = {
    {"Textures", "modulate_*", "16-bit", "texel products rounded to the 16-bit format apart on both sides", 2},
    {"Textures", "squares_nearest_mipmap_*", "16-bit", "level colours rounded to the 16-bit format apart on both sides", 2},
    {"Accum", "", "16-bit",
     "the frame is stored at the format's depth, read into the accumulation buffer and returned into it: a step "
     "off each time",
     2},
    {"Accum", "", "8-bit", "as at 16 bits", 2},
    {"CopyPixels", "ColourScaleBias", "8-bit",
     "the copied colours are read back a palette step off and stored again, a blue scale of -1 turning the step "
     "the other way",
     2},
    {"Blend", "", "16-bit", "a blend over a drawn backdrop: the backdrop stored a step off, the result stored again", 2},
    {"Textures", "*_blended", "16-bit",
     "a blend over a drawn backdrop (through the software fragment stages): the backdrop stored a step off, the "
     "result stored again",
     2},
    {"Stencil", "blend_dst_alpha", "16-bit",
     "a blend over a drawn backdrop: the backdrop stored a step off, the result stored again", 2},
    {"CopyPixels", "Colour*DepthTested", "16-bit",
     "the copied colours are read from the stored five bits a channel and stored again through the fragments' "
     "dither: up to two steps",
     2},
    {"BlendPairs", "", "16-bit", "a blend over a drawn backdrop: the backdrop stored a step off, the result stored again",
     2},
    {"Blend", "dst_colour*", "16-bit", kDstColour16, 3},
    {"Blend", "stencil", "16-bit", kDstColour16, 3},
    {"BlendPairs", "dst_colour*", "16-bit", kDstColour16, 3},
    {"Stencil", "blend", "16-bit", "a blend over a drawn backdrop: the backdrop stored a step off, the result stored again",
     2},
    {"LinesPoints", "smooth_*lines", "whole-pixel",
     "antialiased lines from whole-pixel positions: each line's coverage moves with its snapped ends (up to the "
     "full coverage at its edges)",
     0, 3600},
    {"Accum", "", "whole-pixel", "triangle edges of each frame up to a pixel from the reference's", 0, 600},
    {"ListsEval", "nested", "whole-pixel", "the fans' edges up to a pixel from the reference's", 0, 300},
    {"CopyPixels", "DepthZoom3", "whole-pixel",
     "the backdrop's depth ramp from whole-pixel positions: an edge between two depth levels up to a source pixel "
     "from the reference's, three window pixels under the zoom",
     0, 40},
};

}  // namespace

std::string MachineSkip(const Scene& scene, const Machine& machine) {
    return glmachines::SkipOf(kCannotDraw, kMachineFaults, scene.name, machine);
}

glmachines::Extra ToleranceOf(const Scene& scene, const Machine& machine) {
    return glmachines::ExtraOf(kTolerances, scene.name, machine);
}

}  // namespace glapp_tests
