// The render functions of points (stage 25 of the points pipe) and of
// polygons drawn in point mode (stage 25 of a polygon pipe): every point
// becomes one point primitive (program class 0: one position) or, wider
// than one pixel, one square (class 6: four corners), its words in the
// order the word table declares for the class and the program's layout
// code (kzprimwords.h): colour, alpha, depth, then the position or the
// corners. Layouts 8, 9, 18 and 19 carry the colour (and 9-bit alpha) of
// the first point once a packet; a packet that carries another colour is
// not continued. Each function takes (context, pipe), draws the batch in
// the pipe's CommonPipeData and calls pipe->next[25], on every path.
//
// A point's words:
//   position  ((y + yOffset) << 20) | ((x << 4) & 0xFFFF) for whole-pixel
//             coordinates, (y + yOffset) << 16 | (x & 0xFFFF) for
//             coordinates in sixteenths (modelImprecision): always 28.4;
//             yOffset is the lower image's offset while the second image
//             of a stereo pair is drawn.
//   colour    word 0 of the point's colour record.
//   alpha     round(alpha x 256) & 0x1FF (1.0 gives 256).
//   depth     z with a depth buffer of 24 bits or more; else the 16-bit
//             float form when bits 20-23 of z are set, z >> 9 otherwise.
// A square of side s pixels (s = trunc(size + 0.5)) around the point
// (X, Y) in 28.4: x0 = X - 16 xlo, y0 = Y - 16 half, x1 = x0 + 16 s,
// y1 = y0 + 16 s, half = s / 2, xlo = half for an odd side and half - 1
// for an even one: the pixels GL's rule gives a point of that width on a
// screen whose rows run downward. Squares carry the lower image's offset
// too, as single pixels do.
//
// No packet ever holds more than 400 primitives: a batch of more points is
// drawn in pieces of at most 400.
#pragma once

#include "3d/context/context.h"

// --- points (kind 63), sizes up to 1.5 ---------------------------------------------------------
// One per row of the point table by the program's layout code; one
// reservation a piece of the batch with the standard program's packet
// image, routed by tile, soft close.
void _NvpRenderPointAttr2_5KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPointAttr3_6KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPointAttr8KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPointAttr12_15KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPointAttr13_16KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPointAttr18KZG(N_Context* pctx, N_Pipe* pipe);
// Layouts 9 and 19: the first point's colour and alpha in the head.
// (These two and the wide-point function below are the emitters every
// layout shares; the six above are their twins for the other layouts and
// follow them: one position word a point, the stereo offset on y, the
// 400-primitive limit, first point of a packet broadcast.)
void _NvpRenderPointAttr9KZG(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderPointAttr19KZG(N_Context* pctx, N_Pipe* pipe);
// Points wider than 1.5 pixels, every layout the point selector asks for:
// one square a point (class 6).
void _NvpRenderWidePointKZG(N_Context* pctx, N_Pipe* pipe);
// Layouts without a point form: draws nothing and hands on to the next
// stage, as every render function does.
void _NvpRenderPointEmptyKZG(N_Context* pctx, N_Pipe* pipe);

// --- polygons in point mode ----------------------------------------------------------------------
// The vertices of the faces the pipe draws (face runs other than "skip")
// as points: squares of side trunc(point size + 0.5) (at least 1) when
// the program draws squares (class 6), else single pixels; each vertex
// once, in vertex order, where a GL point at it would be drawn (the
// position and square of the point functions above; layouts 13 and 16
// send alpha before depth, as points do). Packets of their own, headed by
// the pipe's program (the back program for the back pipe); hard close
// (the batch word is left at 400). With flat shading (pipe word 118) a
// vertex takes the colour of the provoking vertex of the last drawn face
// that holds it (GL's order of drawing: face by face): the first vertex of
// a polygon, the last of a triangle or quad, vertex i + 2 of strip or fan
// face i, vertex 2i + 3 of quad-strip quad i.
// Polygons, triangles and quads (kinds 66-68): with per-vertex edge flags
// in force (mode bits 0x300000 read 0x200000, or a vertex format carrying
// edge flags: point mode clears the outline bits) a vertex whose flag
// word's low two bits are not 1 is not drawn, as GL draws only the
// vertices that start a boundary edge. A layout outside the point table is
// reported ("_NvpRenderXPGonPointKZG: unsupported type\n") and nothing is
// drawn.
void _NvpRenderXPGonPointKZG(N_Context* pctx, N_Pipe* pipe);
// Fans, strips and quad strips (kinds 69-71): edge flags do not apply to
// them; a layout outside the table draws nothing, silently.
void _NvpRenderXStripPointKZG(N_Context* pctx, N_Pipe* pipe);

// The side in pixels of the square of a point size (trunc(size + 0.5), at
// least 1, at most 4095); 1 is a single pixel.
ULONG _NPointSide(float size);
