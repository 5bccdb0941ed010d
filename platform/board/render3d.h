// The board model's 3D rasterizer: how a rasterizer runs a render program
// per pixel over the polygons of a drawing packet (primitive class 5). The
// comments of this header are the model's definition; exec_3d.cpp carries it
// out. The instruction word is decoded with the GL server's own description
// of its fields (include/kzuinstr.h) and a primitive's words are read by the
// render functions' data-word table (include/kzprimwords.h); what an opcode
// computes, how data registers are loaded and which pixels a triangle covers
// are the board's, chosen here so that the programs the micro-code
// generator emits compute GL 1.0's per-fragment results. Nothing in the
// drivers depends on these choices.
//
// Number formats
// - Colour word: three 8-bit channels, red bits 16-23, green 8-15, blue 0-7,
//   and a fourth 8-bit lane in bits 24-31 that the per-lane operations carry
//   along. Lane k is bits 8k .. 8k + 7. At 32 bits a pixel (pid format 5)
//   the colour word is the stored pixel. At 16 bits a pixel (pid format 4)
//   a channel is 7 bits wide (0..0x7F, the generator's maximum colour
//   0x7F7F7F), of which the pixel keeps bits 2-6 (formats.h), and the
//   write keeps the 1-bit overlay bit 23.
// - Alpha word: 9 bits, 0..256, 256 = 1.0 (the alpha reference and the
//   current alpha constants the generator places). Compared as a word.
// - Depth word: what the render functions send (24-bit z, or the 16-bit
//   floating form for shallow depth buffers), compared as an unsigned word
//   with the depth pixmap's stored value.
// - Stencil: the stored pixel of the stencil pixmap, compared as a word
//   after the program's own mask AND.
//
// Registers of one fragment (32 bits each)
// - 0-11 (pr0-pr11): work registers, 0 at the start of every fragment.
// - 12 (pattern): the rasterizer's pattern register entry [y & 7][x & 7]
//   (shared with the 2D packets, loaded by the display driver's dither and
//   pattern loads); a write sets that entry.
// - 13 + n: the pixel at the fragment's position of the pixmap whose pid is
//   entry n of the packet's pid list (pid word k holds entries 2k in its low
//   and 2k + 1 in its high half), in its register form (formats.h). A pid
//   with bits 5-15 clear names a bare space: the depth buffer as the
//   generator names it (pid & 31); it is read and written as the 32-bit
//   words of that space (format 5 pages). (An 8-bit pixmap of format 0 is
//   therefore not reachable by a bare pid; a stencil buffer is named with
//   its format, e.g. format 3, whose 16-bit words registers hold as stored.) A write is seen by every later
//   read of the same fragment and stored when the fragment's program ends,
//   in the pid's format. A pixel no page slot maps reads 0 and keeps no
//   write.
// - 27-30 (rgb0, z0, z1, z2): the data registers, loaded from the packet
//   (below). 27 and 28 are also the texel address registers u and v.
// - 31: reads 0.
// - 32-39: the packet's constants: the per-packet constant words (format
//   0x400: eight; format 0xC00: constants 32-35 from the packet, 36-39 from
//   each primitive's first four words; format 0x800: all eight from each
//   primitive).
//
// Opcodes (A and B are the registers of the A and B fields, R the result)
// - 0x00-0x07: bitwise on 32 bits: A AND B, OR, XOR, NOR, NAND (0x04), A
//   AND NOT B, A OR NOT B (0x06), NOT A. 0x08: copy A.
// - 0x09 add: per lane, saturating at 0xFF (stencil increment clamps at the
//   top, a dither offset never wraps a channel).
// - 0x0A subtract: per lane, saturating at 0 (stencil decrement clamps at
//   0; the generator's clamp-at-zero macro gives the same).
// - 0x1D multiply: per lane, (a x b + 127) / 255, rounded (one is 0xFF).
// - 0x1F whole-word add: 32 bits, wrapping.
// - Condition-code operations (descriptor words 0-5 of code c):
//   word 0 minimum: per lane R = min(A, B), the code set where A < B;
//   word 4 greater: per lane, the code set where A > B, A delivered to R
//   there; word 5 add with carry: per lane R = A + B wrapping, the code set
//   in the lanes that carried out. Words 1-3 are not carried out (the
//   packet is counted unexecuted).
// - Compares 0x21-0x2F (less, less-or-equal, equal, greater-or-equal,
//   greater into code 0, 1 or 2): A against B as unsigned 32-bit words,
//   every lane of the code set to the result, A delivered to R where it
//   holds. With the clamp bit (24) the compare is per lane instead (the
//   blend emitters' clamps against the maximum colour).
// - 0x32 texel fetch, 0x33 filtered texel fetch, 0x34 fraction: the texel
//   address registers u and v in 1/16 texel (the generator's coordinate
//   form) address the pixmap of A; nearest fetch reads texel (u >> 4,
//   v >> 4), filtered fetch weighs the four texels around (u - 8, v - 8)
//   per lane by the sixteenths of the fraction, fraction gives A & 15 per
//   coordinate. No render function sends textured polygons yet (the
//   generator refuses textured builds until the texture cache gives level
//   pids), so the model does not carry these out yet: such a packet is
//   counted unexecuted.
//
// Condition codes, predication, the join bit and the clip
// - Three codes, each four lanes of one bit (one per 8-bit lane). At the
//   start of every fragment every lane of every code is true.
// - Bits 29-31 name codes 0-2: the instruction acts on lane k only where
//   every named code is true in lane k (several bits: AND). A compare or
//   condition-code operation under a predicate sets its code false in the
//   lanes where the predicate is false (so a test under the earlier tests'
//   predicate leaves "all tests passed" in its code).
// - The join bit (23) ANDs a compare's or condition-code operation's lanes
//   into its code instead of replacing them.
// - The clip bit (28): the instruction acts only on fragments inside the
//   packet's clip pair, (y << 16) | x, minimum and maximum INCLUDED (the
//   render program's clip words). Without a clip pair it clips nothing.
// - Stipple bits (25-26) are line programs' and do not occur in class 5.
//
// Load kinds and which primitive word feeds which data register
// - A polygon packet whose command word carries the clip bit and the load
//   kinds of one of the generator's layouts (kGlLayouts below) is read by
//   that layout's row of kzPrimWordRows, when the render functions' table
//   has one: its colour words feed rgb0, its depth words z0, its alpha
//   words z1, its positions
//   are the triangle's vertices; a group of one word per vertex is
//   interpolated, a group of one word is the primitive's; a register of
//   load kind 1 takes its word from the packet. (For these layouts the load
//   kinds mean 3 per vertex, 2 per primitive, 1 per packet: the
//   generator's colour forms 0, 1, 2.)
// - Any other polygon packet (the display driver's immediate-mode packets
//   among them) is read by the decoder's generic rule (platform/board.h),
//   with the same numbering of load kinds: 1 one word per packet, 3 one
//   word per vertex, interpolated, 2 one word per primitive, in register
//   order. A polygon's load kind has one meaning whoever sends it, so the
//   table rows of the layouts above hold the words the generic rule would
//   find, except where a row's own order says otherwise.
// - Interpolation is linear in screen space at the pixel centre, from the
//   vertices' 28.4 positions: per lane for rgb0 (each channel of the colour
//   word), as a whole word for z0-z2; rounded to nearest, clamped to the
//   range of the vertices' values.
//
// Coverage
// - Vertices are 28.4 positions, x in bits 0-15 and y in bits 16-31
//   (unsigned). A triangle covers the pixels whose centres (x + 0.5,
//   y + 0.5) lie inside it, either winding; a centre exactly on an edge is
//   covered only on a top edge (horizontal, the others below it) or a left
//   edge (the interior to its right): two triangles that share an edge
//   cover each pixel on it once. A triangle of zero area covers nothing.
// - A rasterizer runs only the fragments of the tiles it owns (platform/
//   board.h, "Machine layout"), whether the primitive was broadcast or
//   routed to it.
// - Split boards: a packet whose control word carries the second screen's
//   bits draws at desktop x - 1024 of the board's memory, its clip pair in
//   that screen's x (as the 2D packets).
//
// Dither and pattern: the generator's dithered write adds register 12 to the
// colour per lane (saturating); the pattern register holds whatever the
// display driver's dither load left (0 until loaded: no dither).
//
// Limits of the generator's programs under this model (where they do not
// compute GL's results):
// - The blend sequences that take the constant 0x07000000 as one (one minus
//   a colour or alpha in the source-alpha and alpha-buffer tables) and those
//   that multiply a colour by a 9-bit alpha word have no per-channel
//   meaning here; the blends without source alpha (layout 12 and the other
//   layouts without an alpha word) compute GL's results.
// - At 16 bits a pixel the multiply scales by 255, not by the 7-bit maximum,
//   and sums above 0x7F wrap into the dropped bit 7 where the generator's
//   add steps rely on the 8-bit carry.
// - A stencil test without a depth test raises the layout code to 12 while
//   the command word names no depth load: the packet carries words its
//   header does not describe, and the model reads it by the generic rule.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exec.h"
#include "kzprimwords.h"
#include "kzuinstr.h"

namespace vnx::board::exec {

// The generator's polygon layouts the model recognises by their command
// word's load kinds (bits 12-19), and the data-word table row each is read
// by. A row is added here when the render functions' table gains the
// layout.
struct GlLayout {
    std::uint32_t programClass;
    std::uint32_t loads;     // command bits 12-19 as the generator sets them
    std::uint32_t dataAttr;  // the layout code: the row of kzPrimWordRows
};
// The generator's colour forms set rgb0's load kind (form 0: 3, form 1: 2,
// form 2: 1); a depth test loads z0 once a vertex (kind 3) in every polygon
// program; its programs always carry the clip pair. The layouts with an
// alpha word (3, 6, 9, 13, 16, 19) name the alpha register only when a stage
// reads it, so their command words do not tell them from the layouts
// without; with a depth register the alpha lies in z1, and layouts 13 and 16
// are recognised when they name it (their row's alpha words feed z1).
inline constexpr GlLayout kGlLayouts[] = {
    {5, kzuHdrLoadKind(KZU_rgb0, 3), 2},
    {5, kzuHdrLoadKind(KZU_rgb0, 2), 5},
    {5, kzuHdrLoadKind(KZU_rgb0, 1), 8},
    {5, kzuHdrLoadKind(KZU_z0, 3), 11},
    {5, kzuHdrLoadKind(KZU_rgb0, 3) | kzuHdrLoadKind(KZU_z0, 3), 12},
    {5, kzuHdrLoadKind(KZU_rgb0, 3) | kzuHdrLoadKind(KZU_z0, 3) | kzuHdrLoadKind(KZU_z1, 3), 13},
    {5, kzuHdrLoadKind(KZU_rgb0, 2) | kzuHdrLoadKind(KZU_z0, 3), 15},
    {5, kzuHdrLoadKind(KZU_rgb0, 2) | kzuHdrLoadKind(KZU_z0, 3) | kzuHdrLoadKind(KZU_z1, 2), 16},
    {5, kzuHdrLoadKind(KZU_rgb0, 1) | kzuHdrLoadKind(KZU_z0, 3), 18},
};

// The data-word row of a drawing packet's command word, or null when the
// packet is not one of the generator's recognised layouts.
const kzPrimWordsRow* gl_layout_of(std::uint32_t command);

// --- rows of exec_3d.cpp: polygons ----------------------------------------------
// Triangles (class 5): the render program run per covered pixel.
bool draw_triangles(Impl& board, int r, const DecodedPacket& packet);

}  // namespace vnx::board::exec
