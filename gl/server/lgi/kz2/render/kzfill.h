// The render functions of filled polygons (stage 25 of a polygon pipe in
// polygon mode fill, texturing off): every face becomes an independent
// triangle record of the program's layout code (kzprimwords.h, class 5),
// written behind the program's packet head and routed to the rasterizers
// whose 128 x 128 tiles it touches. Each takes (context, pipe), draws the
// batch in the pipe's CommonPipeData and calls pipe->next[25], except where
// said.
//
// Colour records: one five-word record a vertex of each face run, the runs
// one after the other (triangles 3 a face, quads 4 a face). Strips, fans
// and polygons have count + 2 records a run: a strip run's own vertices
// (the two it shares with the run before it appear again), a fan or
// polygon run's first vertex followed by the count + 1 outer vertices of
// its faces. A batch whose runs name more faces or records than it holds
// is not drawn.
#pragma once

#include "3d/context/context.h"

// Separate triangles (kind 67): winding by the window area of each
// triangle, the third vertex's colour for a one-colour face; one
// reservation a call, packets carried on while the batch word allows. A
// list of several strips is drawn strip by strip.
void _NvpRenderXTListFillKZG(N_Context* pctx, N_Pipe* pipe);
// Separate quads (kind 68): a packet of its own for every drawn run, the
// winding by the run's facing, each quad cut along P0-P2, the fourth
// vertex's colour for both triangles of a one-colour quad.
void _NvpRenderXQListFillKZG(N_Context* pctx, N_Pipe* pipe);
// Polygons and fans (kinds 66, 69): one packet a call, face i = (P0,
// P(i+1), P(i+2)) wound by its area; a one-colour face takes the polygon's
// first vertex, a fan face i its vertex i + 2.
void _NvpRenderXPgonFillKZG(N_Context* pctx, N_Pipe* pipe);
// Layout 12 (a colour and a depth word a vertex) for kinds 66-69: nine-word
// triangles, the winding by each run's facing, one reservation a drawn run.
void _NvpRenderXListFillAttr12KZG(N_Context* pctx, N_Pipe* pipe);

// Strips (kinds 70, 71) of every layout code but 13; code 13 or an unknown
// code is reported and nothing is drawn, nor is the next stage called.
void _NvpRenderXTStripListFillKZ(N_Context* pctx, N_Pipe* pipe);
// The strip fills of layouts 13, 15 and 18 (they do not read the code).
void _NvpRenderXTStripListFillAttr13KZ(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderXTStripListFillAttr15KZ(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderXTStripListFillAttr18KZ(N_Context* pctx, N_Pipe* pipe);
// The strip slot of layouts 13, 15 and 18: the member of the standard
// program's code.
void _NvpRenderXTStripListFillDepthKZ(N_Context* pctx, N_Pipe* pipe);
