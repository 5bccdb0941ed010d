// The span stages after the rasteriser: the fragment tests (stipples, alpha,
// stencil and depth tests, stencil operations), the wide-line replay, the
// blend, the colour pack with dither, the logic and arithmetic operations,
// the destination read-back of the line and point pipes, and the two write
// stages that send the surviving fragments to the board (colour) or to the
// stencil buffer (board or host memory).
//
// Every stage works on the fragment span of the pipe's CommonPipeData
// (swrecords.h) and calls its own stage's pipe word once when done, also
// for an empty span. A test only changes mask bytes (and the stencil
// arrays); later stages skip the fragments it killed.
#pragma once

#include "swspan.h"

// --- fragment tests (swtests.cpp) ------------------------------------------------------------
// Stage 86 of polygons: the 32 x 32 polygon stipple by the span's row and columns.
void _NSpanPolygonStipple(N_Context* pctx, N_Pipe* pipe);
// Stage 86 of points and lines: the line stipple (span words 32-35), in
// groups of three fragments while lines are antialiased (mode bit 28).
void _NSpanLineStipple(N_Context* pctx, N_Pipe* pipe);
// Stage 27: the first call after a reset only arms it; later calls reload
// the pattern and repeat factor from the context.
void _NLineStippleReset(N_Context* pctx, N_Pipe* pipe);
void _NLineStippleLoad(N_Context* pctx, N_FragSpan* pSpan);
// Stage 28: the line span replayed once for each pixel of the line width,
// moved one pixel across the line each time.
void _NSpanWideLine(N_Context* pctx, N_Pipe* pipe);

// Stage 87 by the alpha function code (0 never ... 7 always).
void _NSpanAlphaTestNever(N_Context* pctx, N_Pipe* pipe);
void _NSpanAlphaTestLess(N_Context* pctx, N_Pipe* pipe);
void _NSpanAlphaTestEqual(N_Context* pctx, N_Pipe* pipe);
void _NSpanAlphaTestLequal(N_Context* pctx, N_Pipe* pipe);
void _NSpanAlphaTestGreater(N_Context* pctx, N_Pipe* pipe);
void _NSpanAlphaTestNotequal(N_Context* pctx, N_Pipe* pipe);
void _NSpanAlphaTestGequal(N_Context* pctx, N_Pipe* pipe);
void _NSpanAlphaTestAlways(N_Context* pctx, N_Pipe* pipe);
// Stage 90 by the depth function code.
void _NSpanDepthTestNever(N_Context* pctx, N_Pipe* pipe);
void _NSpanDepthTestLess(N_Context* pctx, N_Pipe* pipe);
void _NSpanDepthTestEqual(N_Context* pctx, N_Pipe* pipe);
void _NSpanDepthTestLequal(N_Context* pctx, N_Pipe* pipe);
void _NSpanDepthTestGreater(N_Context* pctx, N_Pipe* pipe);
void _NSpanDepthTestNotequal(N_Context* pctx, N_Pipe* pipe);
void _NSpanDepthTestGequal(N_Context* pctx, N_Pipe* pipe);
void _NSpanDepthTestAlways(N_Context* pctx, N_Pipe* pipe);

// Stencil comparisons by code (0-7): nonzero when the test FAILS for the
// reference and the stored value, both masked with the value mask.
typedef ULONG (*N_StencilCmpFn)(ULONG ref, ULONG stored, ULONG mask);
extern const N_StencilCmpFn gaNStencilCmp[8];
// Stencil operations by code (0 keep, 1 zero, 2 replace, 3 increment, 4
// decrement, 5 invert): the new value from the value the test left
// (the reference) and the stored one, the write mask applied. Bits outside
// the write mask keep their stored value.
typedef BYTE (*N_StencilOpFn)(BYTE fresh, BYTE stored, BYTE writeMask);
extern const N_StencilOpFn gaNStencilOp[6];
// Stage 88: the stencil test; stage 89: the stencil operations by the
// validated slot table (fail, -, depth fail, depth pass).
void _NSpanStencilTest(N_Context* pctx, N_Pipe* pipe);
void _NSpanStencilUpdate(N_Context* pctx, N_Pipe* pipe);

// --- blend, pack, logic operations (swblend.cpp) ---------------------------------------------
// Blend factor functions by code (0 ZERO ... 10 ONE_MINUS_SRC_COLOR): four
// floats (r, g, b, a) a fragment into pfOut for all n fragments.
typedef void (*N_BlendFactorFn)(N_Context* pctx, const N_FragSpan& span, float* pfOut);
extern const N_BlendFactorFn gaNBlendFactor[11];
// The channel maxima of the context's colour conversion (255.0 at 24 bits).
void _NChannelMax(N_Context* pctx, float (&m)[3]);
// Stage 91.
void _NSpanBlend(N_Context* pctx, N_Pipe* pipe);
// The 8 x 8 dither matrix (64 words, row by row) of the validated dither
// table: each value in the three colour bytes.
const ULONG* _NSpanDitherMatrix(N_Context* pctx);
// Stage 94.
void _NSpanDitherPack(N_Context* pctx, N_Pipe* pipe);
// Stage 95 by the logic-operation code (0-15 GL order, 16 sum, 17
// difference, 18 reverse difference); code 3 (copy) is a programmer error.
template <ULONG op>
void _NSpanLogicOp(N_Context* pctx, N_Pipe* pipe);
N_StageFn _NSpanLogicOpFn(ULONG code);

// --- destination read-back (swreadback.cpp) --------------------------------------------------
// Stage 74: destination alpha (host alpha buffer) and stencil of every fragment.
void _NSpanFetchDstAlphaStencil(N_Context* pctx, N_Pipe* pipe);
// Stage 76: destination depth of the run.
void _NSpanFetchDstDepth(N_Context* pctx, N_Pipe* pipe);
void _NReadDstDepthRun(N_FragSpan* pSpan);
void _NReadDstAlpha(N_FragSpan* pSpan);
void _NReadDstStencil(N_FragSpan* pSpan);

// --- writes (swwrite.cpp) --------------------------------------------------------------------
// Stage 97: the live fragments (mask bit 0) as single-pixel primitives of
// the pipe's render program; the run form for spans of adjacent pixels,
// the fragment-list form for spans with an x and y a fragment.
void _NSpanWriteColor(N_Context* pctx, N_Pipe* pipe);
void _NSpanWriteColorAlt(N_Context* pctx, N_Pipe* pipe);
void _NWriteColorRunKZ(N_Pipe* pipe, N_FragSpan* pSpan);
void _NWriteColorFragsKZ(N_Pipe* pipe, N_FragSpan* pSpan);
// The optional words of each fragment the colour write sends, by the
// context's enable word; the program it carries must load exactly these.
struct N_SpanWriteWords {
    bool bColour, bAlpha, bDepth;
};
N_SpanWriteWords _NSpanWriteWords(ULONG enableWord);
// The alpha of every written fragment (mask bit 0) into a host alpha buffer
// bound with the draw buffer, inside the clip list and under the alpha
// write mask; nothing for a board alpha buffer (its words go with the
// colour). The run form (bRun) counts x from the first fragment.
void _NWriteAlphaHost(N_Context* pctx, N_FragSpan* pSpan, ULONG bRun);
// Stage 100: the new stencil value of every fragment not killed (mask not
// 0) into the stencil buffer: single-pixel primitives of a one-instruction
// program on the board, direct stores into a host buffer.
void _NSpanWriteStencil(N_Context* pctx, N_Pipe* pipe);
void _NSpanWriteStencilAlt(N_Context* pctx, N_Pipe* pipe);
void _NWriteStencilRunKZ(N_Pipe* pipe, N_FragSpan* pSpan);
void _NWriteStencilFragsKZ(N_Pipe* pipe, N_FragSpan* pSpan);
void _NWriteStencilHost(N_Pipe* pipe, N_FragSpan* pSpan, ULONG bRun);

// The words of the board stencil write.
constexpr ULONG N_STENCIL_CMD_RUN = 0x02102020u;
constexpr ULONG N_STENCIL_CMD_FRAGS = 0x02102000u;
constexpr ULONG N_STENCIL_INSTR_RUN = 0x10360348u;
constexpr ULONG N_STENCIL_INSTR_FRAGS = 0x00360348u;
// Live fragments a write packet carries at most.
constexpr ULONG N_SPAN_WRITE_CHUNK = 400;
// The position word of a single-pixel primitive.
constexpr ULONG _NSpanPosition(LONG x, LONG y) {
    return ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFu)) << 4;
}
