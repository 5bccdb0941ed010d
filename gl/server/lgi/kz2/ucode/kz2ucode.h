// The micro-code generator's entry points: the render program of the
// current fragment state for one primitive class, and the fixed program of
// the hardware accumulation pass.
//
// Where the generator's inputs live:
// - Fragment state is read from the context's state block (N_ATTR_*):
//   alpha function and reference (ALPHA_FUNC), stencil function, reference
//   and mask (STENCIL_FUNC), stencil operations (STENCIL_OP, held as fail,
//   depth-pass, depth-fail), the stencil write mask (STENCIL_MASK), depth
//   function (DEPTH_FUNC), blend factors (BLEND_FUNC), dither (DITHER),
//   logic operation (LOGIC_OP_CODE), colour and index write masks
//   (COLOUR_MASK, INDEX_MASK), colour-index mode (COLOUR_INDEX_MODE), the
//   current colour's alpha (COLOUR), the draw-buffer code (DRAW_BUFFER). The enable
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
// - The window clip runs in the programs of filled polygons (class 5)
//   while the context's clipControl word is set: the context's scratch
//   pixmap holds the mask, the polygon stipple, read through its stipple
//   tile (_NStippleTilePid: the pattern's bit at every fragment's
//   position) and compared with the constant 0 into condition code 0
//   before every other test. A stippled fill (either face's polygon mode
//   3) without clipControl, its pattern not on the board, has no program.
// - Where board memory has no room for the context's scratch pixmap, the
//   build's default pid is 0xFFFF, which no pixmap has: a program that
//   places it (the window clip's mask, a scratch pixmap while the temporary
//   32-bit surface is missing too, a bogus pid's replacement) is refused at
//   its finish, so its primitives take the software paths; every other
//   program is built as usual.
// - The colour offset constant of 8-bit surfaces is 0: the layer keeps no
//   colour offset for RGBA drawing (its index offset belongs to
//   colour-index mode, which does not blend).
//
// Decisions where the behaviour is the implementer's:
// - Textured passes (pass 1-4, or texturing with a polygon class): the
//   texel of the bound texture's level 0 (its pid is the board address the
//   texture cache found or loaded the level at) is looked up with the pass
//   as the lookup mode and combined by the environment: modulate writes
//   texel x colour, decal the texel (straight from the lookup in passes 1
//   and 3, through the first work register after a filter), blend
//   colour x (1 - texel) + environment colour x texel. The coordinates take
//   the first two data registers (z0, z1, a word a vertex each), so the
//   depth of a polygon class lies in z2 and an alpha layout finds no data
//   register left (refused). Surfaces below 24 bits whose textures are not
//   kept in the board's 16-bit form fetch every texel through the scratch
//   pair. Refused (software path): any textured pass with blending on (so
//   the texture-alpha flag is always 0), a partial write mask, a logic
//   operation or colour-index drawing (the environment writes the colour
//   pixmap itself); pass 4 on a surface below 24 bits
//   or a side above 256; a texture with alpha (2 or 4 components) under an
//   alpha test or decal, or while the alpha buffer is written, since the
//   texel's alpha is not fetched; an
//   environment other than modulate, decal and blend; a level that is not
//   on the board. Long combinations (the blend environment after pass 4's
//   filtered level mix; the four-texel filter through the scratch pair with
//   wrap masks and the blend environment; a texture pass under several
//   tests) can pass the 31 words a program holds and are refused by that
//   limit. The texture
//   mix of the environment has no context word
//   and is off. For a mipmapped texture built into the standard slot the
//   context keeps the level's pid position (texPidIndex) and, with two
//   levels, the first weight's place counted from image word 2
//   (texWeightIndex).
// - A textured program writes the fragment's alpha into the alpha buffer
//   as an untextured one does (a texel without alpha leaves it as it is).
// - A layout with alpha words (3, 6, 9 and their depth forms) names its
//   alpha register in the header whether or not a stage reads it: the
//   header's load kinds describe every word the render functions write.
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

#include "kz2/ucode/kzprog.h"

struct N_HwRecord;

// The enable word's bits (KZ_EN_...) are named with the context
// (3d/context/context.h).

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
