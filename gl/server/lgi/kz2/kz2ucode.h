// The micro-code generator's entry points: the render program of the
// current fragment state for one primitive class, and the fixed program of
// the hardware accumulation pass.
//
// Where the generator's inputs live:
// - Fragment state is read from the context's state block: alpha function
//   and reference (117), stencil function, reference and mask (114), stencil
//   operations (115, held as fail, depth-pass, depth-fail), depth function
//   (119), blend factors (121), dither (122), logic operation (124),
//   colour and index write masks (127, 161), colour-index mode (83), the
//   current colour's alpha (52), the draw-buffer code (163). The enable
//   word (N_Context.enableWord) is the validation's; the draw buffers and
//   their alpha buffers are chosen from the draw-buffer code and the bound
//   slots as the validation chooses them.
// - The board's words are the display driver's device record: the stereo
//   word is the active page configuration's fStereo; the blend option is
//   BCF_HW_OPTION of the board configuration; the mode word (1 keeps the
//   second unit flag set) is the board configuration's textureMode; forced
//   line antialiasing is BCF_AA_LINES. The display driver's record is read
//   through its exported field table (glpdev.h).
// - Program word 135 takes the draw surface's pid word.
// - The context has no window-clip mask yet (no clip-control word), so no
//   program carries the window-clip stage; the colour offset of 8-bit
//   surfaces is 0 until the colour conversion keeps one.
//
// Decisions where the behaviour is the implementer's:
// - Textured passes (pass 1-4, or texturing with a polygon class): a pass
//   3 or 4 (the two level mixes of a mipmapped texture) with blending on is
//   refused, as is pass 4 on a surface below 24 bits; every textured build
//   then needs the texture level's pid from the texture cache, which is not
//   built yet (_NTextureLevelPid says so), so textured builds answer 0 and
//   draw through the software path.
// - The register holding 1 for counting stencil operations is provided
//   whenever any of the fail, depth-fail and depth-pass operations counts
//   (3 or 4): the mask constant when the mask is 1, else the masked
//   reference when that is 1, else a constant 1.
// - The inverted depth test that selects the depth-fail fragments runs on a
//   condition code of its own and writes its result into the second work
//   register, so it writes no depth.
// - A depth data register's load kind goes into the header only when the
//   depth value is needed (depth or stencil test).
// - The first unit flag (image word 66) is cleared when blending runs with
//   depth testing off or always on a board without the blend option, or the
//   surface has 1 bit a pixel, or further draw buffers are written.
// - The saturate factor's scratch pixmap is given back once the factor is
//   built: the blends read it before they claim scratch pixmaps of their own.
// - Without a depth test the depth-pass stencil operation follows the
//   stencil test (every fragment that passes it passes the depth test).
// - A blend factor pair whose sequence would need two scratch values at once
//   is refused (see kzuemit.h); every other GL 1.0 pair builds, with or
//   without an alpha buffer, at 16 and 32 bits, dithered or not. A blend
//   that reads the source alpha (an alpha buffer, or no alpha buffer with
//   alpha in the colour) on a layout without alpha is refused ("PROGRAMMER
//   ERROR in blend").
#pragma once

#include "kz2/kzprog.h"

struct N_HwRecord;

// Builds the program of the current context's fragment state into the
// program slot: flags the primitive class and options (bits 0-4 and 7-8
// into the header, 0x8000 the data carry depth, 0xC000 line or polygon,
// bits 16-17 the line selector's kernel), instrBits ORed into every word,
// request the layout code asked for (1-9, 22 pixel rectangles), pass 0 or
// the texture lookup mode 1-4. Answers the program's valid word: 1 with a
// complete program (the batch counter then 400), 0 when the state has no
// hardware program (the caller takes the software path).
ULONG kz2_ConstructKzUcode(N_HwRecord* hwRecord, kzRenderProg* program, ULONG flags, ULONG instrBits,
                           ULONG request, ULONG pass);

// The lgi option word: bit 3 makes the accumulation program use no clip
// rectangle.
extern ULONG gulNOptionWord;
constexpr ULONG N_OPTION_ACCUM_NO_CLIP = 0x8u;

// The accumulation pass's program: writes one colour word (and, withAlpha,
// one alpha word) a primitive into the colour buffer (and the board alpha
// buffer), through the colour write mask when one is in force. Builds
// program words 0-131 only, no packet image. Answers the valid word.
ULONG kzConstructRenderProgAccum(N_HwRecord* hwRecord, kzRenderProg* program, ULONG withAlpha);
