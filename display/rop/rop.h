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
#define INSTR_MASK_SET 0x02000000u    // write only where the mask bit is set
#define INSTR_MASK_CLEAR 0x0A000000u  // ... only where it is clear
#define INSTR_CLIP 0x10000000u        // the clip rectangle is in force
#define INSTR_DST(r) (static_cast<ULONG>(r) << INSTR_DST_SHIFT)

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

// The word that supplies the last instruction's destination and clip bit.
#define ROP_LAST_FILL 0x10000340u    // fills and lines: into 13
#define ROP_LAST_COPY 0x10000380u    // on-board copies: into 14
#define ROP_LAST_STAGED 0x10000240u  // under a plane mask: into 9, then ...
#define ROP_PLANE_FILL 0x1012F340u   // ... 9 AND 30 into 13 (fills and lines)
#define ROP_PLANE_COPY 0x1012F380u   // ... 9 AND 30 into 14 (copies)

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
#define MASKED_COPY_WORD0 0x101AEA40u
#define MASKED_COPY_WORD1 0x101CF200u
#define MASKED_COPY_WORD2 0x10104B81u
#define MASKED_COPY_PLAIN 0x101A0388u

// --- command word --------------------------------------------------------------------
#define CMD2D_CLIP 0x0020u              // kind bit 5: the clip pair follows the instructions
#define CMD2D_COLOUR 0x1000u            // bit 12: colour constant (register 27)
#define CMD2D_BACK 0x4000u              // bit 14: second colour (register 28)
#define CMD2D_CONST0 0x10000u           // bit 16: constant of register 29
#define CMD2D_CONST1 0x40000u           // bit 18: constant of register 30
#define CMD2D_INSTR_SHIFT 20            // bits 20-24: instruction words
#define CMD2D_ONE_PID 0x2000000u        // bits 25-27: one pixmap-id word
#define CMD2D_FILL 0x2001026u           // solid fills (| n << 20, | constants)
#define CMD2D_PATTERN_FILL 0x2000026u   // colour pattern fills
#define CMD2D_TWO_COLOUR 0x2005226u     // two-colour fills
#define CMD2D_COPY 0x2050026u           // on-board copies
#define CMD2D_POINT_LOAD 0x2102000u     // points with a colour each, one instruction
#define CMD2D_PATTERN_BLOCK 0x2100006u  // pattern-register load: a square, no clip
#define CMD2D_MONO_LOAD 0x100280u       // monochrome pattern load: no pid word

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
// The same for a mix mode.
ULONG cRop2Instructions(ULONG* pwOut, ULONG mix, ULONG regD, ULONG regS, ULONG regP, ULONG ulLast);
// The masked on-board copy program for the plane mask m (constants m and
// NOT m): answers its words' count (3, or 1 for all planes).
ULONG cMaskedCopyInstructions(ULONG* pwOut, ULONG m);

// The plane mask of 2D drawing onto pid: PLANE_MASK_NO_OVERLAY while the
// device counts overlay GL contexts on a 16-bit screen and pid's format bits
// (bits 8-15 & 0xE0) are 0x80, else PLANE_MASK_ALL.
ULONG ulPlaneMask(const PDEV* ppdev, ULONG pid);
