// The stage emitters of the micro-code generator: fragment tests (alpha,
// depth, stencil), stencil updates, logic operations and the add macros.
// Each appends instruction words to the program it is handed (_kzuEmit),
// ORs the caller's instruction bits into every word, claims only
// short-lived condition codes and gives them back before it returns. The
// driver claims and passes every other register. Register arguments are
// kzuRegister numbers; a condition-code handle is a kzuCCDesc of the
// allocator. Instructions are written opcode(R <- A, B) below.
#pragma once

#include "kz2/kzprog.h"
#include "kzuinstr.h"

struct N_HwRecord;

// Comparison codes (GL order).
enum : ULONG {
    KZ_NEVER = 0, KZ_LESS, KZ_EQUAL, KZ_LEQUAL, KZ_GREATER, KZ_NOTEQUAL, KZ_GEQUAL, KZ_ALWAYS,
};
// Stencil operations.
enum : ULONG {
    KZ_STENCIL_KEEP = 0, KZ_STENCIL_ZERO, KZ_STENCIL_REPLACE, KZ_STENCIL_INCR, KZ_STENCIL_DECR,
    KZ_STENCIL_INVERT,
};
// Logic operations: 0-15 GL's in GL order, then the arithmetic ones.
enum : ULONG {
    KZ_LOGIC_CLEAR = 0, KZ_LOGIC_AND, KZ_LOGIC_AND_REVERSE, KZ_LOGIC_COPY, KZ_LOGIC_AND_INVERTED,
    KZ_LOGIC_NOOP, KZ_LOGIC_XOR, KZ_LOGIC_OR, KZ_LOGIC_NOR, KZ_LOGIC_EQUIV, KZ_LOGIC_INVERT,
    KZ_LOGIC_OR_REVERSE, KZ_LOGIC_COPY_INVERTED, KZ_LOGIC_OR_INVERTED, KZ_LOGIC_NAND, KZ_LOGIC_SET,
    N_ALUSum = 16,              // s + d, saturated at all ones
    N_ALUDifference = 17,       // s - d, clamped at 0
    N_ALUReverseDifference = 18,  // (NOT s) - d, clamped at 0
};

// --- fragment tests (kzuAlphaTest, kzuDepth, kzuStencil) --------------------------------
// A compare sets the handle's code from A op B and delivers A to R where it
// holds. Codes above 7 place nothing.
//
// Alpha test: fragment alpha A against the reference constant B; R takes
// the discarded compare result; never and always compare R with itself; not
// equal is XOR then greater than zero.
void _kzuAlphaTest(kzRenderProg* prog, ULONG func, ULONG A, ULONG B, ULONG R, ULONG bits,
                   const kzuCCDesc* cc, ULONG zero);
// Depth test: fragment depth A against the stored depth B. R is the depth
// pixmap when depth writes are on (the compare writes the new depth), a
// work register otherwise. scratch serves the never and not-equal forms.
void _kzuDepthTest(kzRenderProg* prog, ULONG func, ULONG A, ULONG B, ULONG R, ULONG scratch, ULONG bits,
                   const kzuCCDesc* cc, ULONG zero);
// The depth test of the inverted code (c becomes 7 - c).
void _kzuDepthNotTest(kzRenderProg* prog, ULONG func, ULONG A, ULONG B, ULONG R, ULONG scratch,
                      ULONG bits, const kzuCCDesc* cc, ULONG zero);
// A depth test on its own: resets the allocator, claims a work register, a
// fresh code and a constant 0 (placed in the program), and emits the test
// with them. Nothing in the system calls it.
void _kzuDepthTestOnly(kzRenderProg* prog, N_HwRecord* hwRecord, ULONG func, ULONG A, ULONG B, ULONG R,
                       ULONG bits);
// Stencil test: 0x00(T <- S, mask), then (ref & mask) op (stencil & mask)
// with ref and T. Every word drops the predicate bits 29-31 of bits.
void _kzuStencilTest(kzRenderProg* prog, ULONG func, ULONG S, ULONG ref, ULONG mask, ULONG R, ULONG T,
                     ULONG bits, const kzuCCDesc* cc, ULONG zero);
// The stencil test of the inverted code.
void _kzuStencilNotTest(kzRenderProg* prog, ULONG func, ULONG S, ULONG ref, ULONG mask, ULONG R, ULONG T,
                        ULONG bits, const kzuCCDesc* cc, ULONG zero);
// One stencil operation on the stencil pixmap S (none for keep); one holds
// 1 for increment and decrement.
void _kzuStencilUpdate(kzRenderProg* prog, ULONG op, ULONG ref, ULONG S, ULONG one, ULONG bits, ULONG zero);

// --- logic operations (kzuLogicOp) ----------------------------------------------------------
// s the fragment colour, d the colour pixmap, t1 and t2 work registers,
// zero a register holding 0.
//
// The operation written into d; t2 is not used.
void _kzuLogicOp(kzRenderProg* prog, ULONG op, ULONG s, ULONG d, ULONG t1, ULONG t2, ULONG bits, ULONG zero);
// The operation into t1, then merged into d under the write mask constant:
// 0x00(t1 <- t1, mask); 0x05(t2 <- d, mask); 0x01(d <- t1, t2).
void _kzuLogicOpMasked(kzRenderProg* prog, ULONG op, ULONG s, ULONG d, ULONG t1, ULONG t2, ULONG bits,
                       ULONG zero, ULONG mask);
// The operation on a one-bit buffer held in bit 23 of the pixel, keeping
// its low 23 bits; low holds 0x7FFFFF, bit 0x800000, s the fragment's bit
// in bit 23 with low bits 0.
void _kzuLogicOpOneBit(kzRenderProg* prog, ULONG op, ULONG low, ULONG bit, ULONG s, ULONG d, ULONG t1,
                       ULONG t2, ULONG bits, ULONG zero);

// --- add macros (kzuAdd) ----------------------------------------------------------------------
// out = x + y saturated at all ones (five words); w keeps its value (saved
// in save and restored). The macro's own condition code is claimed fresh
// and given back.
void _kzuAdd(ULONG x, ULONG y, ULONG w, kzRenderProg* prog, ULONG bits, ULONG out, ULONG save, ULONG zero);
// out = x - y clamped at 0 (six words), with the same conventions.
void _kzuSubtract(ULONG x, ULONG y, ULONG w, kzRenderProg* prog, ULONG bits, ULONG out, ULONG save,
                  ULONG zero);
