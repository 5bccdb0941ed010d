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

// The board's 16-bit programs keep 7 bits a channel and their add steps
// count on the 8-bit carry (platform/board/render3d.h, "Limits").
constexpr const char* kWrap16 =
    "at 16 bits a pixel the generator's channels are 7 bits wide and a blend's sum above 0x7F wraps into the "
    "dropped bit 7 where its add steps count on the 8-bit carry: the scene adds colours that reach it";
constexpr const char* kAlphaBlend16 =
    "at 16 bits a pixel the alpha buffer's update clamps per lane against the maximum colour after the add with "
    "carry, which does not keep an alpha sum at 1.0: the alpha-buffer blends compute GL's results at 32 bits only";

constexpr const char* kDepthDraw = "depth images below 32 bits a pixel (and on vnxsim's board): the raster colour the fragments carry comes out about half as bright over the whole image";
constexpr const char* kDepthCopy = "depth copies below 32 bits a pixel (and on vnxsim's board): the copied fragments' colour comes out about half as bright over the whole image";

// Machines that cannot draw a scene.
const MachineNote kCannotDraw[] = {
    {"Blend", "one", "16-bit", kWrap16},
    {"Blend", "dst_alpha", "16-bit", kWrap16},
    {"Blend", "src_alpha", "16-bit", kWrap16},
    {"Blend", "colour_mask", "16-bit", kWrap16},
    {"Blend", "stencil", "16-bit", kWrap16},
    {"Blend", "dst_colour", "16-bit", kWrap16},
    {"Textures", "modulate_rgba_blended", "16-bit", kWrap16},
    {"Textures", "blend_luminance_alpha_blended", "16-bit", kWrap16},
    {"Blend", "one_minus_src_alpha", "16-bit", kWrap16},
    {"Stencil", "blend", "16-bit", kWrap16},
    {"Blend", "one_alpha_buffer", "16-bit", kAlphaBlend16},
    {"Blend", "dst_colour_alpha_buffer", "16-bit", kAlphaBlend16},
    {"Blend", "src_alpha_alpha_buffer", "16-bit", kAlphaBlend16},
    {"Blend", "one_minus_src_alpha_alpha_buffer", "16-bit", kAlphaBlend16},
    {"Blend", "dst_alpha_alpha_buffer", "16-bit", kAlphaBlend16},
    {"Blend", "one_minus_dst_alpha_alpha_buffer", "16-bit", kAlphaBlend16},
    {"Blend", "src_alpha_saturate_alpha_buffer", "16-bit", kAlphaBlend16},
    {"Clears", "clear_alpha", "16-bit", kAlphaBlend16},
};

// What the 8-bit machines show where they fail.
constexpr const char* kAccum8 =
    "accumulation at 8 bits a pixel: the frames come back near black (load_return: reference 334efd, board 000000; "
    "clear_accum's clear value 407326 as 334900)";
constexpr const char* kBlend8 =
    "blends at 8 bits a pixel: whole bands wrong, the alpha-buffer rows' window black (reference cccb1a, board "
    "000000), the others' sums and products off by up to 255 levels";
constexpr const char* kPlanes8 =
    "with a stencil or an alpha plane at 8 bits a pixel the window comes out in other colours or black: clears "
    "under the stencil mask (stencil_mask_clears: reference ff0000, board 332400), the alpha blend over cleared "
    "alpha (clear_alpha: 336699 as 00ffff), scenes under the stencil test (func_less: 5f71f7 as 000000)";
constexpr const char* kCopy8 =
    "zoomed and overlapping colour copies and the stencil values copied then shown at 8 bits a pixel come out "
    "black (reference 193245 or 400000, board 000000)";
constexpr const char* kDraw8 =
    "images drawn at 8 bits a pixel: the darkest reds of the image a step low past the dither (reference 3780c9, "
    "board 0092ff; a few dozen pixels of each image)";
constexpr const char* kStencilShown8 =
    "stencil values drawn then shown through the stencil test at 8 bits a pixel: the shown colours wrong (reference "
    "50c040, board ff2455)";
constexpr const char* kTexture8 =
    "textured faces modulated at 8 bits a pixel: the texel's red and the colour's red each carry the palette's red "
    "offset and the product loses it, so dark texels land on the system colours (reference 000040 or 1424a0, board "
    "800000)";

// Known faults a scene shows on a machine: the test skips naming them.
const MachineNote kMachineFaults[] = {
    // Found when the pixel rows were mended at 32 bits; not mended at the other depths yet.
    {"DrawPixels", "Depth_*", "16-bit", kDepthDraw},
    {"DrawPixels", "Depth_*", "8-bit", kDepthDraw},
    {"DrawPixels", "Skips_Depth", "16-bit", kDepthDraw},
    {"DrawPixels", "Skips_Depth", "8-bit", kDepthDraw},
    {"DrawPixels", "Swap_DepthUnsignedInt", "16-bit", kDepthDraw},
    {"DrawPixels", "Swap_DepthUnsignedInt", "8-bit", kDepthDraw},
    {"DrawPixels", "DepthScaleBias", "16-bit", kDepthDraw},
    {"DrawPixels", "DepthScaleBias", "8-bit", kDepthDraw},
    {"DrawPixels", "Zoom2_Depth", "16-bit", kDepthDraw},
    {"DrawPixels", "Zoom2_Depth", "8-bit", kDepthDraw},
    {"DrawPixelsTypes", "Depth_*", "16-bit", kDepthDraw},
    {"DrawPixelsTypes", "Depth_*", "8-bit", kDepthDraw},
    {"CopyPixels", "Depth*", "16-bit", kDepthCopy},
    {"CopyPixels", "Depth*", "8-bit", kDepthCopy},
    {"DrawPixels", "Zoom*_Rgb", "8-bit", "zoomed RGB images at 8 bits: pixels along the zoomed blocks' edges a palette step off (191 pixels)"},
    {"DrawPixels", "MapStencil", "8-bit", "mapped stencil values at 8 bits: the stencil-tested colour lands on another palette entry (490 pixels)"},
    {"Stencil", "blend_dst_alpha", "16-bit",
     "a DST_ALPHA blend under the stencil test at 16 bits: the passing stripes come out white (the alpha sum wraps)"},
    {"Stencil", "blend_dst_alpha", "split32",
     "a DST_ALPHA blend under the stencil test across the seam: the second screen's part blends with another alpha "
     "(21,120 pixels)"},
    {"Textures", "floor_nearest_mipmap_linear", "16-bit",
     "NEAREST_MIPMAP_LINEAR at 16 bits a pixel: pixels beyond the floor's far edge come out in level colours "
     "(12,553 pixels)"},
    {"Textures", "", "8-bit",
     "textures at 8 bits a pixel: modulated, blended and filtered texels land on the palette's system colours and "
     "lose the red offset"},
    {"Textures", "", "whole-pixel",
     "whole-pixel positions: the texel grid and the level boundaries move with the snapped vertices"},
    // Split boards: the window across the seam.
    {"Clears", "clear_alpha", "split32",
     "the alpha clears inside scissor boxes reach the first board's alpha plane only: the DST_ALPHA blend over the "
     "second screen's part of the window leaves the backdrop (reference 668cb3, board 336699; 20,672 pixels)"},
    {"CopyPixels", "StencilOverlap", "split32",
     "an overlapping stencil copy across the seam leaves a band of 20 columns beside the seam unshown (reference "
     "600000, board 000000; 1,600 pixels)"},
    // 16 bits.
    {"CopyPixels", "Colour*DepthTested", "16-bit",
     "depth-tested colour copies at 16 bits a pixel double the copied colours (reference 11244a, board 214294)"},
    // 8 bits.
    {"Accum", "", "8-bit", kAccum8},
    {"Blend", "", "8-bit", kBlend8},
    {"Stencil", "blend", "8-bit", kBlend8},
    {"Clears", "clear_alpha", "8-bit", kPlanes8},
    {"Clears", "stencil_mask_clears", "8-bit", kPlanes8},
    {"CopyPixels", "ColourOverlap*", "8-bit", kCopy8},
    {"CopyPixels", "ColourZoom3Large", "8-bit", kCopy8},
    {"CopyPixels", "ColourZoomShrink", "8-bit", kCopy8},
    {"CopyPixels", "Stencil*", "8-bit", kCopy8},
    {"DrawPixels", "Rgb*", "8-bit", kDraw8},
    {"DrawPixels", "Align*_Rgb", "8-bit", kDraw8},
    {"DrawPixels", "RowLength_Rgb", "8-bit", kDraw8},
    {"DrawPixels", "Skips_RgbaFloat", "8-bit", kDraw8},
    {"DrawPixels", "Swap_Rgb*", "8-bit", kDraw8},
    {"DrawPixels", "Zoom1x3_Rgb", "8-bit", kDraw8},
    {"DrawPixels", "Zoom3_Rgba", "8-bit", kDraw8},
    {"DrawPixels", "ZoomNegative*", "8-bit", kDraw8},
    {"DrawPixels", "ZoomShrink_Rgb", "8-bit", kDraw8},
    {"DrawPixelsTypes", "Rgb*", "8-bit", kDraw8},
    {"DrawPixels", "Stencil*", "8-bit", kStencilShown8},
    {"DrawPixels", "Skips_Stencil", "8-bit", kStencilShown8},
    {"DrawPixels", "Swap_StencilShort", "8-bit", kStencilShown8},
    {"DrawPixelsTypes", "Stencil*", "8-bit", kStencilShown8},
    {"Stencil", "", "8-bit", kPlanes8},
    {"Fog", "textured_tinted", "8-bit", kTexture8},
    {"Scenes", "textured_box", "8-bit", kTexture8},
    {"Textured", "modulated_box", "8-bit", kTexture8},
    {"LinesPoints", "smooth_lines", "8-bit",
     "antialiased wide lines at 8 bits a pixel: their blended edges on the system colours' reds (reference 35516f, "
     "board 334900)"},
};

// More tolerance than one step of the format.
const MachineNote kTolerances[] = {
    {"Textures", "modulate_*", "16-bit", "texel products rounded to the 16-bit format apart on both sides", 2},
    {"Textures", "squares_nearest_mipmap_*", "16-bit", "level colours rounded to the 16-bit format apart on both sides", 2},
    {"Accum", "", "16-bit",
     "the frame is stored at the format's depth, read into the accumulation buffer and returned into it: a step "
     "off each time",
     2},
    {"Blend", "", "16-bit", "a blend over a drawn backdrop: the backdrop stored a step off, the result stored again", 2},
    {"LinesPoints", "smooth_lines", "whole-pixel",
     "antialiased lines from whole-pixel positions: each line's coverage moves with its snapped ends (up to the "
     "full coverage at its edges)",
     0, 3600},
    {"Accum", "", "whole-pixel", "triangle edges of each frame up to a pixel from the reference's", 0, 600},
    {"ListsEval", "nested", "whole-pixel", "the fans' edges up to a pixel from the reference's", 0, 300},
};

}  // namespace

std::string MachineSkip(const Scene& scene, const Machine& machine) {
    return glmachines::SkipOf(kCannotDraw, kMachineFaults, scene.name, machine);
}

glmachines::Extra ToleranceOf(const Scene& scene, const Machine& machine) {
    return glmachines::ExtraOf(kTolerances, scene.name, machine);
}

}  // namespace glapp_tests
