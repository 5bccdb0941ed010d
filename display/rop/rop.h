// Raster operations and the words of 2D packets.
//
// Every accelerated 2D operation is a packet whose body holds a short
// program of rasterizer instructions. A GDI raster operation (a ROP3 of
// destination D, source S and pattern P, or a mix of pen and destination)
// becomes that program through the ROP3 code table: up to four groups of one
// operation on two operands each, compiled onto the rasterizer's registers
// with two temporaries. The descriptor of a ROP3 tells callers which
// operands it reads, which constants it needs and how many instructions it
// makes.
//
// Instruction word: opcode bits 0-5, destination register 6-10, second
// source (B) 11-15, first source (A) 17-21; bit 25 alone writes only where
// the primitive's mask bit is set, bits 25 and 27 only where it is clear;
// bit 28: the clip rectangle is in force.
//
// Body of a 2D packet, after the command and control words: one pixmap-id
// word (a surface's pid in the low half; for a copy (destination pid << 16)
// | source pid), the instructions, the clip pair when the kind has bit 5
// (minimum and maximum, (y << 16) | x in pixels), the constants the command
// word flags (registers 27, 28, 29, 30 in that order), then the primitives:
// a rectangle is four corners ((y << 16) | (x & 0xFFF)) << 4 (28.4 fixed
// point) in the order (x0, y0), (x1, y0), (x1, y1), (x0, y1), right and
// bottom excluded, in board coordinates (surface rectangle plus the
// surface's board origin).
#pragma once

#include "platform/kernel.h"

struct PDEV;

// --- registers -------------------------------------------------------------------
#define REG_NONE 0    // "no operand" (the source of fills)
#define REG_STAGE8 8  // staging registers of the plane-masked writes
#define REG_STAGE9 9
#define REG_TEMP10 10  // temporaries of multi-instruction programs (11 first)
#define REG_TEMP11 11
#define REG_PATTERN 12    // the colour pattern register; block-copy source samples
#define REG_PIXMAP 13     // the pixmap of the pid word's low half
#define REG_PIXMAP_HI 14  // the pixmap of the pid word's high half
#define REG_COLOUR 27     // the (foreground) colour constant, or each point's colour
#define REG_BACK 28       // the background colour constant
#define REG_CONST0 29     // first optional constant: 0 when a program needs it
#define REG_CONST1 30     // second optional constant: the plane mask ("all ones")

// --- instruction word ----------------------------------------------------------------
#define INSTR_OPCODE_MASK 0x3Fu
#define INSTR_DST_SHIFT 6
#define INSTR_B_SHIFT 11
#define INSTR_A_SHIFT 17
#define INSTR_MASK_SET 0x02000000u    // bit 25: write only where the mask bit is set
#define INSTR_MASK_CLEAR 0x0A000000u  // bits 25 and 27: ... only where it is clear
#define INSTR_CLIP 0x10000000u        // bit 28: the clip rectangle is in force
#define INSTR_DST(r) (static_cast<ULONG>(r) << INSTR_DST_SHIFT)
#define INSTR_A(r) (static_cast<ULONG>(r) << INSTR_A_SHIFT)
#define INSTR_B(r) (static_cast<ULONG>(r) << INSTR_B_SHIFT)

// Opcodes of the 2D programs (result into the destination register).
#define OP_AND 0     // A AND B
#define OP_OR 1      // A OR B
#define OP_XOR 2     // A XOR B
#define OP_NOR 3     // NOT (A OR B)
#define OP_NAND 4    // NOT (A AND B)
#define OP_ANDNOT 5  // A AND NOT B
#define OP_ORNOT 6   // A OR NOT B
#define OP_NOT 7     // NOT A (B field 0)
#define OP_COPY 8    // A (B field 0)

// One instruction: op of A and B into dst; fl adds the clip and mask bits.
constexpr ULONG ulInstr(ULONG op, ULONG dst, ULONG a, ULONG b = REG_NONE, ULONG fl = 0) {
    return fl | INSTR_A(a) | INSTR_B(b) | INSTR_DST(dst) | op;
}

// The point load: each point's colour (register 27) into the pixmap, no clip.
#define INSTR_POINT_LOAD ulInstr(OP_COPY, REG_PIXMAP, REG_COLOUR)
// The pattern register's load from the pixmap (a square, no clip).
#define INSTR_PATTERN_LOAD ulInstr(OP_COPY, REG_PATTERN, REG_PIXMAP)

// The word that supplies the last instruction's destination and clip bit.
#define ROP_LAST_FILL ulInstr(0, REG_PIXMAP, REG_NONE, REG_NONE, INSTR_CLIP)     // fills, lines
#define ROP_LAST_COPY ulInstr(0, REG_PIXMAP_HI, REG_NONE, REG_NONE, INSTR_CLIP)  // copies
// Under a plane mask the result goes into 9, then 9 AND 30 into 13 (fills and
// lines) or 14 (copies).
#define ROP_LAST_STAGED ulInstr(0, REG_STAGE9, REG_NONE, REG_NONE, INSTR_CLIP)
#define ROP_PLANE_FILL ulInstr(OP_AND, REG_PIXMAP, REG_STAGE9, REG_CONST1, INSTR_CLIP)
#define ROP_PLANE_COPY ulInstr(OP_AND, REG_PIXMAP_HI, REG_STAGE9, REG_CONST1, INSTR_CLIP)
static_assert(ROP_LAST_FILL == 0x10000340u && ROP_LAST_COPY == 0x10000380u &&
              ROP_LAST_STAGED == 0x10000240u && ROP_PLANE_FILL == 0x1012F340u &&
              ROP_PLANE_COPY == 0x1012F380u);
static_assert(INSTR_POINT_LOAD == 0x00360348u && INSTR_PATTERN_LOAD == 0x001A0308u);

// The two-colour programs (fills and 1-bit expansion): the foreground's last
// word writes 13 where the mask bit is set, the background's where it is
// clear; under the reduced plane mask each goes into 8 (9) first, then
// 8 (9) AND 30 into 13 under the same mask condition.
#define TWO_COLOUR_LAST_FG ulInstr(0, REG_PIXMAP, REG_NONE, REG_NONE, INSTR_CLIP | INSTR_MASK_SET)
#define TWO_COLOUR_LAST_BG ulInstr(0, REG_PIXMAP, REG_NONE, REG_NONE, INSTR_CLIP | INSTR_MASK_CLEAR)
#define TWO_COLOUR_STAGED_FG ulInstr(0, REG_STAGE8, REG_NONE, REG_NONE, INSTR_CLIP)
#define TWO_COLOUR_STAGED_BG ROP_LAST_STAGED
#define TWO_COLOUR_PLANE_FG \
    ulInstr(OP_AND, REG_PIXMAP, REG_STAGE8, REG_CONST1, INSTR_CLIP | INSTR_MASK_SET)
#define TWO_COLOUR_PLANE_BG \
    ulInstr(OP_AND, REG_PIXMAP, REG_STAGE9, REG_CONST1, INSTR_CLIP | INSTR_MASK_CLEAR)
static_assert(TWO_COLOUR_LAST_FG == 0x12000340u && TWO_COLOUR_LAST_BG == 0x1A000340u &&
              TWO_COLOUR_STAGED_FG == 0x10000200u && TWO_COLOUR_STAGED_BG == 0x10000240u &&
              TWO_COLOUR_PLANE_FG == 0x1210F340u && TWO_COLOUR_PLANE_BG == 0x1A12F340u);

// Plane masks: all planes, or all but the overlay bit of a 16-bit screen
// that overlay GL contexts draw on.
#define PLANE_MASK_ALL 0xFFFFFFu
#define PLANE_MASK_NO_OVERLAY 0x7FFFFFu
// The constants of registers 29 and 30 of an on-board copy that keeps the
// overlay bit.
#define COPY_OVERLAY_CONST0 0x000000u
#define COPY_OVERLAY_CONST1 0x7C7C7Cu

// The masked on-board copy: with a mask m other than all planes, 13 AND 29
// into 9, 14 AND 30 into 8, 9 OR 8 into 14 (constants m and NOT m); with all
// planes the copy of 13 into 14.
#define MASKED_COPY_WORD0 ulInstr(OP_AND, REG_STAGE9, REG_PIXMAP, REG_CONST0, INSTR_CLIP)
#define MASKED_COPY_WORD1 ulInstr(OP_AND, REG_STAGE8, REG_PIXMAP_HI, REG_CONST1, INSTR_CLIP)
#define MASKED_COPY_WORD2 ulInstr(OP_OR, REG_PIXMAP_HI, REG_STAGE8, REG_STAGE9, INSTR_CLIP)
#define MASKED_COPY_PLAIN ulInstr(OP_COPY, REG_PIXMAP_HI, REG_PIXMAP, REG_NONE, INSTR_CLIP)
static_assert(MASKED_COPY_WORD0 == 0x101AEA40u && MASKED_COPY_WORD1 == 0x101CF200u &&
              MASKED_COPY_WORD2 == 0x10104B81u && MASKED_COPY_PLAIN == 0x101A0388u);

// --- command word --------------------------------------------------------------------
#define CMD2D_CLASS_POINTS 0x0u          // bits 0-3 primitive class: points, one vertex
#define CMD2D_CLASS_RECTANGLES 0x6u      // ... rectangles, four corners
#define CMD2D_CLIP 0x0020u               // bit 5: the clip pair follows the instructions
#define CMD2D_MASK_PATTERN 0x0200u       // bits 7-9: the mask from the mask pattern
#define CMD2D_MASK_PER_PACKET 0x0280u    // ... eight mask words per packet
#define CMD2D_MASK_PER_PRIM 0x0300u      // ... eight mask words per primitive
#define CMD2D_CONSTANTS_4_4 0x0C00u      // bits 10-11: four constants a packet and a primitive
#define CMD2D_COLOUR 0x1000u             // bit 12: colour constant (register 27)
#define CMD2D_COLOUR_PER_VERTEX 0x2000u  // bits 12-13 = 2: register 27 from each vertex
#define CMD2D_BACK 0x4000u               // bit 14: second colour (register 28)
#define CMD2D_CONST0 0x10000u            // bit 16: constant of register 29
#define CMD2D_CONST1 0x40000u            // bit 18: constant of register 30
#define CMD2D_INSTR_SHIFT 20             // bits 20-24: instruction words
#define CMD2D_INSTR(n) (static_cast<ULONG>(n) << CMD2D_INSTR_SHIFT)
#define CMD2D_ONE_PID 0x2000000u  // bits 25-27: one pixmap-id word

// The command words (| instruction count and constants where the drawing
// function adds them).
#define CMD2D_FILL (CMD2D_ONE_PID | CMD2D_COLOUR | CMD2D_CLIP | CMD2D_CLASS_RECTANGLES)
#define CMD2D_PATTERN_FILL (CMD2D_ONE_PID | CMD2D_CLIP | CMD2D_CLASS_RECTANGLES)
#define CMD2D_TWO_COLOUR                                                           \
    (CMD2D_ONE_PID | CMD2D_BACK | CMD2D_COLOUR | CMD2D_MASK_PATTERN | CMD2D_CLIP | \
     CMD2D_CLASS_RECTANGLES)
#define CMD2D_COPY \
    (CMD2D_ONE_PID | CMD2D_CONST1 | CMD2D_CONST0 | CMD2D_CLIP | CMD2D_CLASS_RECTANGLES)
// Points with a colour each, one instruction.
#define CMD2D_POINT_LOAD \
    (CMD2D_ONE_PID | CMD2D_INSTR(1) | CMD2D_COLOUR_PER_VERTEX | CMD2D_CLASS_POINTS)
// A register load from an 8x8 square of the pixmap: one instruction, no clip.
#define CMD2D_PATTERN_BLOCK (CMD2D_ONE_PID | CMD2D_INSTR(1) | CMD2D_CLASS_RECTANGLES)
// The monochrome pattern load: no pid word, one instruction.
#define CMD2D_MONO_LOAD (CMD2D_INSTR(1) | CMD2D_MASK_PER_PACKET | CMD2D_CLASS_POINTS)
// Block copies (| (n + 3) << 20, | constants).
#define CMD2D_BLOCK_COPY (CMD2D_ONE_PID | CMD2D_CONSTANTS_4_4 | CMD2D_CLIP | CMD2D_CLASS_RECTANGLES)
// The 1-bit expansion: two colours, mask rows per cell.
#define CMD2D_MONO_EXPAND                                                           \
    (CMD2D_ONE_PID | CMD2D_BACK | CMD2D_COLOUR | CMD2D_MASK_PER_PRIM | CMD2D_CLIP | \
     CMD2D_CLASS_RECTANGLES)
static_assert(CMD2D_FILL == 0x2001026u && CMD2D_PATTERN_FILL == 0x2000026u &&
              CMD2D_TWO_COLOUR == 0x2005226u && CMD2D_COPY == 0x2050026u &&
              CMD2D_POINT_LOAD == 0x2102000u && CMD2D_PATTERN_BLOCK == 0x2100006u &&
              CMD2D_MONO_LOAD == 0x100280u && CMD2D_BLOCK_COPY == 0x2000C26u &&
              CMD2D_MONO_EXPAND == 0x2005326u);

// Descriptor bits (ulRop3Info).
#define ROPINFO_READS_D 0x8000u
#define ROPINFO_READS_S 0x2000u
#define ROPINFO_READS_P 0x0800u
#define ROPINFO_NEEDS_ALL_ONES 0x0080u  // register 30 must hold the plane mask
#define ROPINFO_NEEDS_ZERO 0x0040u      // register 29 must hold 0
#define ROPINFO_COUNT_MASK 0x0007u      // instruction words

// The constant flags of a command word for a descriptor.
inline ULONG flCommandConstants(ULONG flInfo) {
    return ((flInfo & ROPINFO_NEEDS_ZERO) ? CMD2D_CONST0 : 0u) |
           ((flInfo & ROPINFO_NEEDS_ALL_ONES) ? CMD2D_CONST1 : 0u);
}

// A packed 28.4 vertex of pixel (x, y) of board memory.
inline ULONG ulPackVertex(LONG x, LONG y) {
    return ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFu)) << 4;
}
// A clip word of pixel (x, y).
inline ULONG ulClipWord(LONG x, LONG y) {
    return (static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFFu);
}
// The signed 16-bit halves of a packed word (a clip word or a 28.4 vertex).
inline LONG xOf(ULONG ul) { return static_cast<SHORT>(ul & 0xFFFF); }
inline LONG yOf(ULONG ul) { return static_cast<SHORT>(ul >> 16); }
// Whether two 28.4 points lie in one 128-pixel tile (bits 11-15 of x and of
// y equal).
inline bool bSameTile28_4(LONG x0, LONG y0, LONG x1, LONG y1) {
    return ((x0 ^ x1) & 0xF800) == 0 && ((y0 ^ y1) & 0xF800) == 0;
}

// The ROP3 code table: up to four 7-bit groups in bits 0-23 (operation bits
// 0-2, operand F1 bits 3-4, operand F2 bits 5-6; operands 0 = an earlier
// result, 1 = S, 2 = P, 3 = D) and the usage byte in bits 24-31.
extern const ULONG aulRop3Code[256];

// The 16-bit descriptor of a ROP3 (only the low 8 bits of rop3 count).
ULONG ulRop3Info(ULONG rop3);
// The ROP3 of a mix R2_BLACK (1) .. R2_WHITE (16): the pen is the pattern.
ULONG ulRop2ToRop3(ULONG mix);
// The descriptor of a mix's ROP3.
ULONG ulRop2Info(ULONG mix);
// Writes the instructions of rop3 at pwOut with regD, regS and regP standing
// for D, S and P; ulLast supplies the last instruction's destination, the
// clip bit of every instruction and any further bits of the last one.
// Answers the number of words written (0 only for 0xAA).
ULONG cRop3Instructions(ULONG* pwOut, ULONG rop3, ULONG regD, ULONG regS, ULONG regP, ULONG ulLast);
// The same for a mix mode. Waits for the line path (display/line/), whose
// pens draw with mixes; no other path draws with one.
ULONG cRop2Instructions(ULONG* pwOut, ULONG mix, ULONG regD, ULONG regS, ULONG regP, ULONG ulLast);
// The masked on-board copy program for the plane mask m (constants m and
// NOT m): answers its words' count (3, or 1 for all planes).
ULONG cMaskedCopyInstructions(ULONG* pwOut, ULONG m);

// The plane mask of 2D drawing onto pid: PLANE_MASK_NO_OVERLAY while the
// device counts overlay GL contexts on a 16-bit screen and pid's format bits
// (bits 8-15 & 0xE0) are 0x80, else PLANE_MASK_ALL.
ULONG ulPlaneMask(const PDEV* ppdev, ULONG pid);
