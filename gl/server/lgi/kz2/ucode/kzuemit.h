// The stage emitters of the micro-code generator: fragment tests (alpha,
// depth, stencil), stencil updates, logic operations and the add macros.
// Each appends instruction words to the program it is handed (_kzuEmit),
// ORs the caller's instruction bits into every word, claims only
// short-lived condition codes and gives them back before it returns. The
// driver claims and passes every other register. Register arguments are
// kzuRegister numbers; a condition-code handle is a kzuCCDesc of the
// allocator. Instructions are written opcode(R <- A, B) below.
#pragma once

#include "kz2/ucode/kzprog.h"
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

// --- blending (kzuBlend) -----------------------------------------------------------------
// Blend factor indexes, as the context keeps its source and destination
// factors.
enum : ULONG {
    KZ_BLEND_ZERO = 0, KZ_BLEND_ONE = 1, KZ_BLEND_DST_COLOR = 2, KZ_BLEND_ONE_MINUS_DST_COLOR = 3,
    KZ_BLEND_SRC_ALPHA = 4, KZ_BLEND_ONE_MINUS_SRC_ALPHA = 5, KZ_BLEND_DST_ALPHA = 6,
    KZ_BLEND_ONE_MINUS_DST_ALPHA = 7, KZ_BLEND_SRC_ALPHA_SATURATE = 8,  // source only
    KZ_BLEND_SRC_COLOR = 9, KZ_BLEND_ONE_MINUS_SRC_COLOR = 10,          // destination only
};
// Placed by a factor pair outside an emitter's table into a program that
// holds no instruction yet (copy pr8 into itself, no other bits).
constexpr ULONG KZ_BLEND_PLACEHOLDER = 0x00100208u;

// result = S x sf + D x df. Registers: S the fragment colour, As the source
// alpha, D the colour pixmap, Ad the alpha pixmap, T1 and T2 work
// registers, F the saturate factor's pixmap, Z a constant 0, U the unit
// constant 0x7000000, O the colour offset constant, M the maximum-colour
// constant (0: none, at 24 bits and more; every add step then saturates).
// Each emitter looks the pair up in its table and places the sequence;
// sums that may overflow are add steps on a condition code of their own
// ("_kzuAdd macro"). The emitters claim a work register V (V2) for the
// sequences that name one, and the blend stage's shared scratch pixmap W
// for the clamping add steps, and give both back: V after the step that
// last reads it (before it when that step is an add step, whose operands
// are read before W is written). A sequence that would hold two values in
// the shared scratch pixmap at once (V and V2 both spilled, or W while V is
// live) makes the allocator record a conflict, and the build is refused:
// those pairs draw through the software path.
//
// No source alpha and no alpha buffer: the alpha factors act as one and
// zero.
void _kzuBlend(N_HwRecord* hw, kzRenderProg* prog, ULONG depth, ULONG sf, ULONG df, ULONG S, ULONG D, ULONG T1,
               ULONG T2, ULONG bits, ULONG Z, ULONG U, ULONG O, ULONG M);
// With an alpha buffer (Ad): every factor is real; F holds min(As, 1 - Ad).
void _kzuBlendDstAlpha(N_HwRecord* hw, kzRenderProg* prog, ULONG depth, ULONG sf, ULONG df, ULONG S, ULONG As,
                       ULONG D, ULONG Ad, ULONG T1, ULONG T2, ULONG F, ULONG bits, ULONG Z, ULONG U, ULONG O,
                       ULONG M);
// Source alpha without an alpha buffer; below 16 bits a pixel S and D carry
// the colour offset O, which the sequences take off and put back. The
// hardware record's equal-channel flag (grey) picks the short clamp of
// (SRC_ALPHA, ONE).
void _kzuBlendSrcAlpha(N_HwRecord* hw, kzRenderProg* prog, ULONG depth, ULONG sf, ULONG df, ULONG S, ULONG As,
                       ULONG D, ULONG T1, ULONG T2, ULONG bits, ULONG Z, ULONG U, ULONG O, ULONG M);
// The alpha buffer Ad = As x sf + Ad x df with the alpha parts of the factors.
void _kzuBlendAlphaBuffer(N_HwRecord* hw, kzRenderProg* prog, ULONG depth, ULONG sf, ULONG df, ULONG As,
                          ULONG Ad, ULONG T1, ULONG T2, ULONG bits, ULONG Z, ULONG U, ULONG O, ULONG M);
// F = min(As, 1 - Ad), Ad left as it was (five words, one condition code
// of the blend stage).
void _kzuBlendSaturateFactor(kzRenderProg* prog, ULONG As, ULONG Ad, ULONG F, ULONG T1, ULONG bits, ULONG U);

// --- masked blending (kzuBlendMask) ---------------------------------------------------------
// The blend under a partial write mask: the source term S x sf and the
// destination term D x df are built (the first into T1, the second into
// pr11 when both are computed), summed with _kzuAdd into T1, and merged
// into D under the mask constant: 0x00(T1 <- T1, mask); 0x05(T2 <- D,
// mask); 0x01(D <- T1, T2). T1, T2 and pr11 are clobbered. The three
// variants value the alpha factors as their situation has them: without
// source alpha or alpha buffer the source-alpha factors are one and zero,
// with source alpha they are As, and only with an alpha buffer are the
// destination-alpha factors Ad and the saturate factor F (else one, zero,
// zero). A pair outside GL's sets places no blend words (the placeholder
// word into an empty program); the merge follows every pair.
void _kzuBlendMask(kzRenderProg* prog, ULONG sf, ULONG df, ULONG S, ULONG D, ULONG T1, ULONG T2, ULONG bits,
                   ULONG Z, ULONG mask);
void _kzuBlendMaskSrcAlpha(kzRenderProg* prog, ULONG sf, ULONG df, ULONG S, ULONG As, ULONG D, ULONG T1, ULONG T2,
                           ULONG bits, ULONG Z, ULONG mask);
void _kzuBlendMaskDstAlpha(kzRenderProg* prog, ULONG sf, ULONG df, ULONG S, ULONG As, ULONG D, ULONG Ad,
                           ULONG T1, ULONG T2, ULONG F, ULONG bits, ULONG Z, ULONG mask);

// --- texture lookup (kz2Lookup) ------------------------------------------------------------
// The registers of a texel lookup (all claimed by the driver; the lookup
// claims nothing and overwrites pr0-pr7).
struct kzLookupRegs {
    ULONG maskU, maskV;      // constants: the wrap masks (width x 16 - 1, height x 16 - 1)
    ULONG one, step;         // constants 0x7000000 and 16 (modes 2 and 4)
    ULONG weightA, weightB;  // constants: the two level weights (modes 3 and 4)
    ULONG U, V;              // data registers: the interpolated coordinates (28.4 texels)
    ULONG tex0, tex1;        // the texture pixmap, placed first and second
    ULONG dst;               // the result
    ULONG t0, t1;            // work registers (mode 4)
    ULONG scratchIn, scratchOut;  // two scratch pixmaps on one memory in two formats
    ULONG viaScratch;        // every texel goes through scratchIn / scratchOut (surfaces below 24 bits)
    ULONG unwrapped;         // the coordinates need no wrap masks (sides up to 256)
};
// Appends the fetch and filter of lookup mode 1 (one texel), 2 (a
// four-texel filter), 3 (two levels, one texel each, mixed by the weights)
// or 4 (a four-texel filter of tex0 at twice the coordinates mixed with a
// filtered fetch of tex1); bits go into every word, pred into the words
// that write dst (every word in mode 3). Any other mode appends nothing.
void kz2Lookup(ULONG mode, kzRenderProg* prog, ULONG bits, ULONG pred, const kzLookupRegs& r);
