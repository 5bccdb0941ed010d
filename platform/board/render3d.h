// The board model's 3D rasterizer: how a rasterizer runs a render program
// per pixel over the polygons (primitive class 5), lines (classes 1 and 2),
// antialiased lines (classes 3 and 4) and points (classes 0 and 6) of a
// drawing packet. The comments of this header are the model's
// definition; exec_3d.cpp (the program and polygons), exec_3d_line.cpp
// (lines), exec_3d_aaline.cpp (antialiased lines) and exec_3d_point.cpp
// (points) carry it out through the fragment runner of run3d.h. The instruction word is decoded with the GL server's own description
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
// - An alpha: a register that holds one 9-bit alpha word rather than
//   colour lanes. The data registers z0-z2 are alphas wherever a multiply
//   or a subtract reads them (the layouts' alpha words and the antialiased
//   lines' coverage lie there; depth words and texture coordinates, the
//   other words they carry, are only compared, copied and masked), and so
//   is every result the rules below mark as one; any other result is not.
// - The one: the generator's constant 0x07000000 (a constant register
//   holding that word) stands for 1.0: 256 against an alpha, 0xFF in each
//   colour lane against a colour.
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
//   generator names it (pid & 31); it is read and written in the pixel
//   format that space was last reached with by a pid naming its format
//   (the depth clear's: 16-bit words for a 16-bit depth buffer), and
//   before any as the 8-bit pixels format 0 names (the pid as written:
//   the server names its 8-bit stencil and alpha buffers so, and only such
//   pids reach them). A tile pid (bit 6, Tiles below) names the tile's
//   pixel (x mod size, y mod size) from its latched origin, the texel a
//   fetch at (x, y) reads: the tile repeats across the fragments'
//   positions (the GL server's polygon stipple is such a tile, a 0 pixel
//   where the pattern's bit is clear); a tile no packet has reached reads
//   0 and keeps no write. Registers hold 8-bit pixels as stored (a byte b),
//   so stencil values compare and count as plain numbers; where a multiply,
//   a subtract, a minimum or an add with carry takes such a register (or a
//   copy of one) as an alpha, the byte is the alpha b + (b >> 7) (255 is
//   256, 1.0), and an alpha result stored into an 8-bit pixel is the byte
//   (a x 255 + 128) >> 8 (GL's alpha buffer of 8 bits; any other word
//   stores its low byte). A write is seen by every later
//   read of the same fragment and stored when the fragment's program ends,
//   in the pid's format. Pids of one space and pixel size name one pixel:
//   a write through one is what a later read through another reads (its
//   stored form taken in the reader's format), whether or not a page slot
//   maps the position, and it replaces the others' earlier writes. A pixel no page slot maps reads 0 and keeps no
//   write.
// - 27-30 (rgb0, z0, z1, z2): the data registers, loaded from the packet
//   (below). A result written to 27 or 28 sets the texel address
//   register u or v instead (texel fetch, below).
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
//   0; the generator's clamp-at-zero macro gives the same). The one less
//   an alpha: the alpha 256 - a; the one less a colour: the lane maximum
//   (0xFF, or the other maxima of the multiply) less each of lanes 0-2 (lane 3 0); an alpha less an alpha: the alpha a - b, at
//   least 0.
// - 0x1D multiply: per lane, (a x b + m / 2) / m, rounded, m the lane's
//   maximum (the colour's one: 0xFF, or 0x7F in a packet whose pid list
//   names a 16-bit colour pixmap, format 4, whose channels are 7 bits, or
//   red 0xDF, green 0xFF, blue 0x7F in a packet whose pid list names an
//   8-bit 3-3-2 colour pixmap, format 2, not a tile: the generator's
//   maximum colour 0xDFFF7F of such surfaces).
//   A colour times an alpha a: each lane (lane x a + 128) >> 8 (GL's
//   factor a / 256); an alpha times an alpha: the alpha (a x b + 128) >> 8.
//   A copy of an alpha is an alpha.
// - 0x1F whole-word add: 32 bits, wrapping.
// - Condition-code operations (descriptor words 0-5 of code c):
//   word 0 minimum: per lane R = min(A, B), the code set where A < B;
//   word 4 greater: per lane, the code set where A > B, A delivered to R
//   there; word 5 add with carry: per lane R = A + B, at most 0xFF, the
//   code set in the lanes whose sum passes the lane's maximum (as for the
//   multiply: 0x7F in a packet of 7-bit channels), so that the add steps
//   clamp a channel's sum where the stored channel ends. Words 1-3 are not carried out (the
//   packet is counted unexecuted).
// - Compares 0x21-0x2F (less, less-or-equal, equal, greater-or-equal,
//   greater into code 0, 1 or 2): A against B as unsigned 32-bit words,
//   every lane of the code set to the result, A delivered to R where it
//   holds. With the clamp bit (24) the compare is per lane instead (the
//   blend emitters' clamps against the maximum colour).
// - 0x32 texel fetch, 0x33 filtered texel fetch, 0x34 fraction. Texel
//   addresses are the address registers u and v: a result written to
//   register 27 or 28 sets u or v (the data registers keep their words);
//   Each is a signed 32-bit coordinate in 1/16 texel (the generator's
//   28.4 texel coordinates); at the start of a fragment they hold z0 and
//   z1, where the generator places the interpolated coordinates. Fetch: R = texel (u >> 4, v >> 4) of the
//   pixmap of A (A must be a pixmap register, 13-26; the fetch does not
//   read A's pixel at the fragment's position), read from the
//   rasterizer's own copy of that pixmap (any position, owned tile or
//   not) in its register form; a texel no page slot maps reads 0. The
//   texel of a tile pid is the tile's (Tiles, below).
//   Filtered fetch: the texel at (x0, y0) = (u >> 4, v >> 4) and its
//   right, lower and lower-right neighbours, weighed per lane by
//   (16 - fx)(16 - fy), fx(16 - fy), (16 - fx)fy and fx fy with
//   fx = u & 15, fy = v & 15, summed, + 128, >> 8: GL's linear filter,
//   whose coordinates the generator already places half a texel lower
//   (u - 1/2), as the spelt-out four-texel filter reads them. Fraction:
//   R = round(f x m / 16) in each lane, f = A & 15 the sixteenths of a
//   coordinate and m the lane maximum (as for the multiply): a weight
//   against the one, so that the one less it is its complement and the
//   spelt-out filter's weights sum to the one.
// - A fetch delivers the texel in its result's form: into a pixmap
//   register of 5-5-5 as stored (format 3) from a 32-bit texture (format
//   5), which then holds a 16-bit surface's 7-bit channels, the texel is
//   packed as the 16-bit colour pixel (format 4's store): the scratch pair
//   through which a 16-bit program reads its texels back (scratchIn,
//   scratchOut) converts so. Likewise into a pixmap register of 8-bit
//   pixels as stored (format 0) from a 32-bit texture, which then holds an
//   8-bit surface's channels, the texel is packed as the 3-3-2 colour pixel
//   (format 2's store), which an 8-bit program reads back in colour form.
//
// - Alphas in the condition-code operations: a minimum of two alphas is
//   the smaller alpha (an alpha), the code set in every lane where A is
//   the smaller; an add with carry of two alphas is their sum (an alpha),
//   the code set in every lane where it passes 256 (the saturating add's
//   all-ones then stores 1.0 into an 8-bit alpha pixel).
//
// Tiles (the display driver's texture and scratch squares)
// - A pid with bit 6 names a tile: a square of 32 << (bits 7-8) pixels of
//   its space whose column and row, (origin / size) & 3, are bits 9-10 and
//   11-12. Packets reach a tile through its pid at the space's own
//   positions (the texture loads, the dither load), like any pid; such an
//   access at a position inside a square whose column and row are the
//   pid's latches that square's origin in the rasterizer, per space and
//   tile fields (bits 7-12), until another access moves it.
// - A texel fetch from a tile pid reads texel (u >> 4, v >> 4) at the
//   tile's pixel ((u >> 4) mod size, (v >> 4) mod size) from the latched
//   origin: the tile repeats across the coordinates, as the texture loads
//   repeat a smaller level over its tile, so a repeating texture needs no
//   wrap masks (the generator places them only above 256 texels). A tile
//   no packet has reached reads 0.
// - Two tiles of one space and size whose origins differ by a multiple of
//   four sizes share their fields: the one reached last is fetched.
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
// - Stipple bits (25-26): the instruction acts only on fragments where the
//   line's stipple bit is set (Lines, below). Polygons have no stipple:
//   their fragments all count as set.
//
// Load kinds and which primitive word feeds which data register
// - A polygon packet whose command word carries the clip bit and the load
//   kinds of one of the generator's layouts (kGlLayouts below) is read by
//   that layout's row of kzPrimWordRows, when the render functions' table
//   has one: its colour words feed rgb0, its depth words z0, its alpha
//   words z1, its positions
//   are the triangle's vertices; a group of one word per vertex is
//   interpolated, a group of one word is the primitive's; a register of
//   load kind 1 takes its word from the packet.
// - Load kinds are the generator's numbering (kzuinstr.h) in every class:
//   1 one word per packet, 2 one word per primitive, 3 one word per vertex,
//   interpolated (its colour forms 2, 1 and 0).
// - Any other polygon packet (the display driver's immediate-mode packets
//   among them) is read by the decoder's generic rule (platform/board.h):
//   its per-primitive and per-vertex words in register order. A load kind
//   has one meaning whoever sends it, so the table rows of the layouts
//   above hold the words the generic rule would find, except where a row's
//   own order says otherwise.
// - Interpolation is linear in screen space at the pixel's sample point
//   (below), from the vertices' 28.4 positions: per lane for rgb0 (each
//   channel of the colour word), rounded to nearest; as a whole word for
//   z0-z2, rounded down (a texture coordinate's texel is the floor of the
//   coordinate, as GL chooses it); clamped to the range of the vertices'
//   values. A layout row's depth words, where the packet's depth pixmap
//   holds the 16-bit form (a bare space of pixel format 3), are depths:
//   each vertex's word is taken as the 24-bit depth it stands for, the
//   depth interpolated (rounded down) and put back in the 16-bit form, so
//   that a triangle whose vertices lie on both sides of the form's floating
//   part (z at or above 0xF00000) gets GL's depths.
//
// Coverage
// - Vertices are 28.4 positions, x in bits 0-15 and y in bits 16-31,
//   each a signed 16-bit coordinate (-2048 to 2047 15/16 pixels), as the
//   rasterizer's coordinate words are for the 2D line engine too: a window
//   whose left edge (or top) is the screen's has GL's window edge half a
//   pixel before the screen's first column, at -8, and a primitive clipped
//   there, or a wide point across it, has vertices at negative
//   coordinates. Pixels at negative coordinates lie outside every clip
//   pair and are not drawn. Pixel (x, y) is sampled at the position (16x, 16y), its
//   whole-pixel corner: the render functions place a vertex at GL's window
//   position less half a pixel (28.4 positions), or as whole pixels whose
//   y carries that half pixel (the window transform's offsets), so GL's
//   pixel centres fall on these points. A triangle covers the pixels whose
//   sample points lie inside it, either winding; a point exactly on an
//   edge is covered only on a top edge (horizontal, the others below it)
//   or a left edge (the interior to its right): two triangles that share
//   an edge cover each pixel on it once. A triangle of zero area covers
//   nothing.
// - Lines (classes 1 thin and 2 wide, with the line flag): a segment's
//   words are read by the generic rule (its data words in register order,
//   the two positions, a wide line's width word last); a wide line whose z0
//   is loaded once a vertex carries its second depth word twice (the line
//   render functions' order), which nothing reads. The major axis is x
//   when |dx| >= |dy|. The segment covers, for every pixel column (row on
//   a y-major segment) whose sample point lies from the first end up to
//   but not including the second, the pixel whose sample point is nearest
//   the segment there, halfway between two the one on the first end's
//   side (on a horizontal segment the lower, larger y; on a vertical one
//   the left): GL's diamond rule for thin lines, the second end's own pixel
//   excluded so that strips draw shared ends once. A wide segment (width
//   word w x 8, w >= 1) covers w pixels across the major axis in each
//   column, the first of them chosen so for the point (w - 1) / 2 before
//   the segment on the minor axis. For w >= 2 these are the pixels whose
//   sample points lie within w / 2 of the segment on the minor axis, a
//   sample point exactly w / 2 away counting on the band's left edge (the
//   interior to its right): the smaller x across a y-major segment; across
//   an x-major one the smaller y where y falls as x grows, else (a
//   horizontal segment too) the larger y. A wide diagonal (|dx| = |dy|)
//   covers the same pixels by rows as by columns: it steps along y (its
//   stipple phase still taken from x). Data registers loaded once a vertex
//   are interpolated along the major axis at the column's sample point (per
//   lane for rgb0, rounded to nearest), the whole column sharing them; the
//   others hold their one word. A register z0-z2 that an instruction of the
//   program takes together with a depth pixmap of the 16-bit form (a bare
//   space of pixel format 3: compared with it, or written into it) holds
//   depth words of that form: they are interpolated as the depths they
//   stand for (Interpolation, above), rounded to nearest, and put back in
//   the form.
// - Antialiased lines (classes 3 and 4 with the line flag, the generator's
//   antialiasing kernels K = 2 and K = 4): a segment's words are its data
//   words in register order, a register loaded once a vertex taking the
//   first end's, the second end's and a third word (rgb0 two words only),
//   then the two positions and the width word K x 8. The line is GL 1.0's
//   antialiased line: the rectangle of width K - 1 pixels (GL's width for
//   whole widths; the width word carries no fraction) centred on the
//   segment from end to end. A pixel's coverage is the part of its square
//   (side 16, centred on its sample point) inside the rectangle, counted
//   on a 16 x 16 grid of points spread evenly over the square (within
//   1/16 of the exact area along each edge the rectangle crosses). Every
//   pixel of coverage c > 0 runs the program (its stipple bit as for thin
//   lines, the steps counted on the major axis from the first end's
//   pixel); data registers are interpolated along the segment at the
//   projection of the pixel's sample point (t clamped to 0..1), rgb0 per
//   lane, the others as whole words; the last register but rgb0 loaded
//   once a vertex is the coverage register (the generator names it after
//   the depth and the render functions send its words, 0xFF, 0xFF, 0, after
//   the others): with v its value along the segment and e its third word
//   (8-bit levels, 0xFF full), it holds the alpha word (an alpha, above)
//   round(256 x (e + (v - e) x c) / 255), the level clamped to 0..255: the
//   source alpha of the antialiased line's blend. The other registers' third words (a
//   depth's second end again) are read by nothing. Against OSMesa, whose
//   coverage falls off over a pixel from the rectangle's edge outward, a
//   channel of a blended line differs by up to 17 levels along the edges,
//   and without blending about one pixel in eight along a line (those
//   OSMesa's coverage barely reaches) takes the colour there only.
// - A class 2 antialiased program (kernels 1 and 3: widths below 0.5 and
//   from 1.5 to 2.5) is not told from a wide line: it draws as a wide line
//   of width K without coverage, its coverage register read as any other
//   data register (0xFF in the low lane only, so a blend weighs the low
//   channel alone): such lines do not compute GL's picture here.
// - Points (class 0, one position a primitive) and squares (class 6, four
//   corners) whose command word carries the clip bit: a point of the
//   generator's layouts 13 and 16 (kGlLayouts rows of class 0) is read by
//   the layout's row of kzPrimWordRows, colour words feeding rgb0, depth words
//   z0, alpha words z1 (z0 in a row without depth); any other point and
//   every square by the generic rule (its first corner's words). Every data
//   register holds its one word over the whole point (a load kind 1
//   register its packet word). A point covers the one
//   pixel whose sample point is nearest its position, (x + 8) >> 4 and
//   (y + 7) >> 4: a tie goes left and up, so that the pixel is the one
//   holding GL's window position (GL's y runs up the screen). A square covers the
//   pixels whose sample points lie inside the box of its corners, its left
//   and top edges in and its right and bottom edges out: a square of side
//   16s placed as the point render functions place it (whole pixels from
//   the point's pixel, half - 1 or half of them to its left and half above)
//   covers the s x s pixels GL 1.0 gives an aliased point of size s, s
//   being the size rounded as GL rounds it (the render functions' side).
//   Clipped, owned and split as the polygons are. Those of them whose
//   program the 2D rows run (no constants block, opcodes 0-8 only) are the
//   same packets the display driver sends: the 2D rows carry them out
//   (platform/board.h), with the same pixel for a point and the same pixels
//   for a square whose corners lie on whole pixels (the render functions'),
//   and the same clip: the 2D rows too take the maximum of the clip pair in
//   for single pixels and for squares and plain rectangles (no mask data,
//   no constants block), the packets a render program may head; the
//   display driver's plain fills and copies lie inside their clip pair
//   either way. The other 2D kinds (mask fills, expansions, glyphs, lines,
//   block copies) end their clip pair past its maximum, as the display
//   driver writes it.
// - Line stipple: a line packet whose command word carries the stipple
//   option (0x100, KZU_HDR_STIPPLE) carries each segment's 256-bit stipple
//   block as the eight words after its constants (the first word bits
//   0-31). The fragment k steps along the major axis (GL's: x on a tie)
//   from the pixel holding the first end takes bit (k + p) mod 256, p being
//   the low five bits of that pixel's major coordinate (the phase the
//   render functions rotate the block by); the first pixel drawn is one
//   step on when the first end lies before its sample point. Without the
//   option every fragment's stipple bit is set.
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
// - Texture coordinates reach the board in sixteenths of a texel: a linear
//   filter's weights are sixteenths (OSMesa's are exact), and the mip-map
//   level (with the blend of two) is the render functions' choice once a
//   packet of pieces, which they cut where the choice changes: GL's choice
//   to within about a pixel, and the blend's fraction to 1/16 of a level.
// - The two-level linear filter reads its first level at twice the second
//   level's coordinates: one of the two levels (the one weighing less) is
//   read a quarter of the second level's texel off.
// - The alpha-buffer blends compute GL's results at 32 bits a pixel. At 16
//   bits the add steps of the alpha buffer's update clamp per lane against
//   the maximum colour after the add with carry, which does not keep an
//   alpha sum above 1.0 at 1.0.
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
    // Points (class 0) whose words are not in register order: alpha before
    // depth (the point programs load a depth once a point, kind 2, beside
    // a one-colour form). The other point layouts hold the words the
    // generic rule finds. (Squares, class 6, always do and need no row.)
    {0, kzuHdrLoadKind(KZU_rgb0, 3) | kzuHdrLoadKind(KZU_z0, 3) | kzuHdrLoadKind(KZU_z1, 3), 13},
    {0, kzuHdrLoadKind(KZU_rgb0, 2) | kzuHdrLoadKind(KZU_z0, 2) | kzuHdrLoadKind(KZU_z1, 2), 16},
};

// The data-word row of a drawing packet's command word, or null when the
// packet is not one of the generator's recognised layouts.
const kzPrimWordsRow* gl_layout_of(std::uint32_t command);

// --- rows of exec_3d.cpp: polygons ----------------------------------------------
// Triangles (class 5): the render program run per covered pixel.
bool draw_triangles(Impl& board, int r, const DecodedPacket& packet);

// --- rows of exec_3d_point.cpp: points ---------------------------------------------
// Whether a point or square packet (class 0 or 6 with the clip bit) is one
// the 2D rows do not carry out (a constants block, or opcodes beyond 0-8).
bool is_gl_point_packet(const DecodedPacket& packet);
// Single pixels (class 0) and squares (class 6): the render program run on
// each covered pixel.
bool draw_points3d(Impl& board, int r, const DecodedPacket& packet);

// --- rows of exec_3d_aaline.cpp: antialiased lines ------------------------------------
// Antialiased lines (classes 3 and 4 with the line flag): the render program
// run on every pixel the line covers, its coverage register weighed by the
// pixel's coverage.
bool draw_aalines3d(Impl& board, int r, const DecodedPacket& packet);

// --- rows of exec_3d_line.cpp: lines ----------------------------------------------
// Thin and wide lines (classes 1 and 2 with the line flag): the render
// program run on each fragment of each segment.
bool draw_lines3d(Impl& board, int r, const DecodedPacket& packet);

}  // namespace vnx::board::exec
