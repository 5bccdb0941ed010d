// The primitive stages of the software path: the line stages (stage 25 of
// lines and of polygon outlines), the polygon stages that cut filled
// polygons, strips, fans, triangles and quads into triangles for the span
// rasteriser (stage 63), and the outline walkers of polygons drawn in line
// mode (stage 63, handing line strips to the line stage).
//
// What the stages read of CommonPipeData: window coordinates pWindow (x, y,
// z a vertex; x and y in sixteenths when the board is set to imprecise
// coordinates), texture coordinates pTexWork (s, t, r, q a vertex), colour
// entries pHwVertices (five words a vertex as the float-colour stage
// leaves them: r, g, b on the channel scale, a 0-1), edge-flag words
// pEdgeWords, the strips (stripCount, pStripCounts, stripVertexCount) and
// the face runs pFaceRuns of polygon kinds.
//
// Flat shading follows GL's provoking vertex throughout: a line segment
// takes its end vertex's colour, a polygon its first vertex's, every other
// filled or outlined face its last vertex's (a quad strip's quad: its
// fourth vertex).
#pragma once

#include "swspan.h"

// Runs pfn once a strip of the batch, as a batch of that strip alone: its
// window coordinates, texture coordinates, edge words and colour entries
// (lines one a vertex; polygon kinds those of the strip's face runs, after
// the entries of the strips before it).
void _NSwEachStrip(N_Context* pctx, N_Pipe* pipe, N_StageFn pfn);

// --- line stages (stage 25) -----------------------------------------------------------------
// One constant colour, no depth.
void _NSwRenderLine(N_Context* pctx, N_Pipe* pipe);
// One constant colour, depth stepped along each segment.
void _NSwRenderLineStrips(N_Context* pctx, N_Pipe* pipe);
// Colour (smooth or flat), alpha, depth and texture coordinates stepped.
void _NSwRenderLineAttr(N_Context* pctx, N_Pipe* pipe);
// Separate lines: the context's pfnLineStage once a vertex pair.
void _NSwRenderLinePairs(N_Context* pctx, N_Pipe* pipe);

// The expanded stipple of a pattern (bits 0-15, bit 0 first) and repeat
// factor (taken into 1-255): one byte a fragment position, 1 drawn, 0 not.
// Answers the period, 16 x factor.
constexpr ULONG N_STIPPLE_MAX = 16 * 255;
ULONG _NSwExpandStipple(ULONG pattern, LONG repeat, BYTE* pOut);

// --- polygon stages (stage 63) ---------------------------------------------------------------
// Polygons and triangle fans.
void _NSwRenderXPgon(N_Context* pctx, N_Pipe* pipe);
// Triangle strips and quad strips.
void _NSwRenderXTStrip(N_Context* pctx, N_Pipe* pipe);
// Separate triangles.
void _NSwRenderXTList(N_Context* pctx, N_Pipe* pipe);
// Separate quads.
void _NSwRenderXQList(N_Context* pctx, N_Pipe* pipe);

// --- polygon outlines (stage 63 in line mode) ------------------------------------------------
// Each vertex its own colour.
void _NSwRenderPgonLines(N_Context* pctx, N_Pipe* pipe);
// Every edge of a face in the face's provoking colour.
void _NSwRenderPgonLinesFlat(N_Context* pctx, N_Pipe* pipe);
// Fills flags[0 .. n - 1] for the call's vertices by the line mode (the
// pipe mode's bits 20-21): 2 the vertices' edge bits 0-1, 1 all 1, else 0.
void _NPgonEdgeFlags(N_Context* pctx, N_Pipe* pipe, ULONG* flags, ULONG mode);
