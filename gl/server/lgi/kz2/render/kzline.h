// The render functions of lines (stage 25 of a line pipe): every segment of
// the batch becomes a line primitive behind the standard program's packet
// head, routed to the rasterizers whose 128 x 128 tiles it touches. Each
// takes (context, pipe), draws the batch in the pipe's CommonPipeData and
// calls pipe->next[25].
//
// A segment's words, in order, each group only where it applies: the
// stipple block (8 words), the colour words (both endpoints, or the
// segment's one colour: its second vertex's), alpha words, depth words,
// the antialiasing constants 0xFF, 0xFF, 0, the two packed endpoints, and
// the width word of a wide line. Colour codes 8, 9, 18 and 19 carry their
// colour (and alpha) once a packet, in the head.
//
// A batch of more than 400 segments is drawn in pieces of at most 400, so
// no packet ever holds more primitives than the board takes.
#pragma once

#include "3d/context/context.h"

// --- thin separate lines and single strips --------------------------------------------
// Separate lines (kind 65: count / 2 segments, an odd last vertex ignored)
// or one strip (any other kind: count - 1 segments), thin, opaque,
// unstippled; one function per layout code; soft close.
void _NvpRenderLineAttr2KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderLineAttr5KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderLineAttr8KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderLineAttr12KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderLineAttr15KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderLineAttr18KZG(N_Context* pctx, N_Pipe* pipe);

// --- lists of line strips (kind 64 with a strip count) ---------------------------------
// Thin opaque unstippled strips, one function per layout code; soft close.
void _NvpRenderPLListAttr2KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLListAttr5KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLListAttr8KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLListAttr12KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLListAttr15KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLListAttr18KZG(N_Context* pctx, N_Pipe* pipe);
// Every other strip list: wide, stippled, antialiased, any colour form,
// alpha and depth. Its order puts depth before the per-vertex alpha words,
// and a wide segment repeats both its second depth and its second alpha
// word. Hard close.
void _NvpRenderPLListGenKZ(N_Context* pctx, N_Pipe* pipe);

// --- wide, stippled and blended separate lines and strips ---------------------------------
// Order: colours, alpha words, depth words (the second again when wide).
// Codes (2, 3), (5, 6), (12, 13), (15, 16): soft close.
void _NvpRenderPLineAttr2_3KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLineAttr5_6KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLineAttr12_13KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLineAttr15_16KZG(N_Context* pctx, N_Pipe* pipe);
// Codes 8, 9: the first colour record's colour and the current alpha in
// the head; hard close. Any other code is reported
// ("_NvpRenderPLineGenKZG: no color specified\n") and nothing is drawn.
void _NvpRenderPLineGenKZG(N_Context* pctx, N_Pipe* pipe);
// Codes 18, 19: new packets headed by the function itself with the first
// colour record's colour and alpha; hard close.
void _NvpRenderPLineAttr18_19KZG(N_Context* pctx, N_Pipe* pipe);
// Code 9, thin and unstippled: colour and current alpha in the head; soft
// close.
void _NvpRenderPLineAttr9KZG(N_Context* pctx, N_Pipe* pipe);

// --- antialiased lines ------------------------------------------------------------------------
// Thin, opaque, unstippled antialiased separate lines and single strips:
// six words a segment (0xFF, 0xFF, 0, A, B, width word), the first colour
// record's colour in the head; a zero-length segment is never sent. Soft
// close.
void _NvpRenderAALineAttr8KZG(N_Context* pctx, N_Pipe* pipe);
// The same with both endpoints' colours first (eight words); a zero-length
// segment is sent as a packet's first primitive.
void _NvpRenderAALineAttr2KZG(N_Context* pctx, N_Pipe* pipe);
// Every other antialiased separate line or single strip, of any layout
// code: stipple block, colours, three alpha words (the second vertex's
// again), the segment's colour and alpha, three depth words, the constants
// (every code but 1), A, B, width word. New packets with the function's
// own head; hard close. A one-colour segment takes its second vertex's
// colour and alpha (the flat-shading vertex of a line), not its first's;
// the head's alpha word follows its colour word at the image's place for
// them (not after the trailing words), as every other head of the program
// has it.
void _NvpRenderAALineGenKZG(N_Context* pctx, N_Pipe* pipe);

// --- strip lists of one colour a packet -----------------------------------------------------------
// Antialiased, thin, unstippled, opaque, layout 8: 0xFF, 0xFF, 0, A, B,
// width word; the first colour record's colour in the head. Soft close.
void _NvpRenderAAPLListAttr8KZG(N_Context* pctx, N_Pipe* pipe);
// The same with each strip thinned: a vertex within 3 coordinate units (on
// both axes) of the last vertex kept is passed over unless it ends its
// strip.
void _NvpRenderAAPLListAttr8ThinKZG(N_Context* pctx, N_Pipe* pipe);
// Thin unstippled strips of layout 9: A, B a segment; the converted current
// colour and the current alpha in the head. Soft close.
void _NvpRenderPLListAttr9KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLListAttr9ThinKZG(N_Context* pctx, N_Pipe* pipe);
// What the antialiased and the alpha strip-list slots hold: the whole-
// primitive word (set while N_ExecPrimitive runs a descriptor) decides at
// draw time between the function that keeps every vertex and its thinning
// twin, so a pipe set up once serves both kinds of run.
void _NvpRenderAAPLListChooseKZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPLListAttr9ChooseKZG(N_Context* pctx, N_Pipe* pipe);

// --- the stipple block ----------------------------------------------------------------------
// The 256-bit stipple pattern of a call, word 0 holding bits 0-31: bit j
// is pattern bit (j / repeat) mod 16 of the 16-bit pattern in the low half
// of the stipple word, for every repeat factor 1-255 (a factor below 1
// counts as 1). The pattern 0x1C7F1C7F with factor 3 has the board's own
// block.
void _NLineStippleBlock(ULONG pattern, LONG repeat, ULONG (&block)[8]);
// The block rotated left by `bits` (taken mod 256) as one 256-bit value.
void _NLineStippleRotate(const ULONG (&block)[8], ULONG bits, ULONG (&out)[8]);
// The width word of a line: trunc(width + 0.5) * 8, or trunc(width + 1.5)
// * 8 for an antialiased one; widths beyond the board's range are held to
// 4095 pixels.
ULONG _NLineWidthWord(float width, bool bAntialiased);
