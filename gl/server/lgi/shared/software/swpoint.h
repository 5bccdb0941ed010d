// The point stages of the software path (stage 25 of points, and of
// polygons drawn in point mode) and the span alpha fill of the software
// polygon pipes (stage 79).
//
// A point stage turns every vertex of the batch into rows of fragments in
// CommonPipeData's fragment span, one row at a time cut to each clip
// rectangle of the window, and calls pipe word 25 once a row. Every
// fragment carries its own x and y. While blending or a logic operation
// is on, a row carries the destination colour read back (and the alpha of
// a board alpha buffer), as the polygon rasteriser's spans do; nothing
// else reads it for points. The point's square or disc follows GL 1.0:
// - a point that is not antialiased is a square of side d, the point size
//   rounded to the nearest whole number (at least 1): with d odd, centred
//   on the pixel that holds the point; with d even, on the pixel corner
//   nearest to it. The position is taken to the sixteenth of a pixel when
//   the board is set to imprecise coordinates (28.4 window coordinates),
//   else to the pixel (a whole-pixel position names its pixel's centre);
// - an antialiased point is a disc of the point size itself as diameter,
//   centred on the point's exact position: a pixel whose centre lies
//   within (size - 1) / 2 of the centre is wholly covered, coverage falls
//   linearly to 0 over the next pixel outwards. Coverage scales the
//   fragment's alpha (RGBA) or chooses within the 16-entry ramp above the
//   index (colour-index mode); the colour itself is kept.
#pragma once

#include "swspan.h"

// --- points (stage 25) ------------------------------------------------------------------------
// Squares: points that are not antialiased.
void _NSwRenderSquarePoints(N_Context* pctx, N_Pipe* pipe);
// Antialiased points in RGBA mode.
void _NSwRenderPoints(N_Context* pctx, N_Pipe* pipe);
// Antialiased points in colour-index mode.
void _NSwRenderPointsIndex(N_Context* pctx, N_Pipe* pipe);

// The side of a square point of a size: the size rounded to the nearest
// whole number, 1 for sizes below 1.5 (NaN included), at most 4095 (the
// board's widest square).
LONG _NSwPointSide(float size);

// The record a point stage points pCurPrim at while it hands rows on: the
// point's row and, for host-memory colour and depth buffers, the address
// of the row's first fragment in each (null for board buffers).
struct N_SpanPoint {
    LONG row;
    BYTE* pColourRow;
    BYTE* pDepthRow;
};

// --- span alpha fill (stage 79) ---------------------------------------------------------------
// Every fragment's alpha the alpha of the triangle's colour entry (the
// primitive's one alpha).
void _NSpanColorFlat(N_Context* pctx, N_Pipe* pipe);
// A ramp along the span from the N_SpanTri at pCurPrim: its alpha at the
// long-edge end, stepped by its alpha step a pixel away from the long edge,
// filled from the last fragment backwards when the long edge is the right
// one.
void _NSpanColorSmooth(N_Context* pctx, N_Pipe* pipe);
