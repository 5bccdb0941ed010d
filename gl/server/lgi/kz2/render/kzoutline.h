// The render functions of polygons drawn as outlines (stage 25 of a polygon
// pipe in polygon mode line): the boundary edges of every face the pipe
// draws (face runs other than "skip") become line segments behind the
// pipe's program (the back program for the back pipe), routed to the
// rasterizers whose 128 x 128 tiles they touch. The interior is never
// written. Each takes (context, pipe), draws the batch in the pipe's
// CommonPipeData and calls pipe->next[25], on every path (a list of
// several strips is drawn strip by strip, each strip's run making that
// call).
//
// A segment from S to T, its words in this order, each group where the
// program's layout code has it:
//   colour of the face's provoking vertex       layouts 5, 6, 15, 16
//   9-bit alpha of the provoking vertex         layouts 6, 7, 16, 17
//   colours of S and T                          layouts 2, 3, 12, 13
//   depths of S and T, T's again when wide      layouts 11-20
//   9-bit alphas of S and T, T's again when smooth   layouts 3, 4, 13, 14
//   0xFF, 0xFF, 0 when smooth
//   packed positions of S and T (28.4, the lower image's offset on y)
//   the width word when wide: 8 x trunc(width + 0.5), + 8 when smooth
// Smooth is line smoothing (enable bit 0x10000000), for every walker; wide
// is smooth or a width above 1.0. Layouts 8, 18 (colour) and 9, 19 (colour
// and alpha) carry the first vertex's values once a packet. The provoking
// vertex is GL's: the last of a triangle, of a quad and of a strip or fan
// face, vertex 2i + 3 of quad-strip quad i; polygons take no one-colour
// layout (their one colour is the packet's: the first vertex's).
//
// A segment whose ends lie in one pixel is sent only as the first
// primitive of a packet. Per-vertex edge flags (mode bits 0x300000 read
// 0x200000) hide the edges whose flag word's low two bits are not 1: the
// word of the edge's start vertex for polygons (the closing edge takes the
// last word), the words 3k to 3k + 2 of triangle k and 4k to 4k + 3 of quad
// k in edge order. Fans, strips and quad strips draw every edge whatever
// the flags. No packet holds more than 400 segments: a batch of more is
// closed after the face (for a polygon, the edge) that fills it and the
// rest goes into new packets.
#pragma once

#include "3d/context/context.h"

// Polygons (kind 66), layouts 2, 3, 8, 9, 12, 13, 18, 19: V0 -> V1, ...,
// V(n-1) -> V0. Packets headed by the walker; hard close (batch word 400).
void _NvpRenderXPgonLineKZG(N_Context* pctx, N_Pipe* pipe);
// Separate triangles (kind 67), layouts 1-20: a -> b, b -> c, c -> a. The
// program's packet image; soft close.
void _NvpRenderXTListLineKZG(N_Context* pctx, N_Pipe* pipe);
// Separate quads (kind 68), layouts 1-20: a -> b -> c -> d -> a. Own head,
// hard close.
void _NvpRenderXQListLineKZG(N_Context* pctx, N_Pipe* pipe);
// Fans and strips (kinds 69, 70), the layouts with a colour (2, 3, 5, 6, 8,
// 9, 12, 13, 15, 16, 18, 19; any other is reported: "...: %d mode not
// supported\n", and nothing is drawn): each edge once, a shared edge by the
// face that brings it: the first face of a drawn run a -> b, then every
// face b -> c, c -> a (a fan face's a is the fan's centre). The image;
// soft close.
void _NvpRenderXTStripLineKZG(N_Context* pctx, N_Pipe* pipe);
// Quad strips (kind 71), layouts 1-20: quad i (a, b, c, d) = V2i .. V2i+3:
// a -> b, b -> d, d -> c, c -> a (the rung between two quads twice). Own
// head, hard close.
void _NvpRenderXQStripLineKZG(N_Context* pctx, N_Pipe* pipe);
