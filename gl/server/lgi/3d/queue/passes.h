// The stages that run the rest of a pipe more than once for one batch
// (stereo.cpp): stage k calls pipe->next[k] once per pass.
#pragma once

#include "3d/pipes/pipes.h"
#include "queue.h"

// Stage 4: both eyes of a stereo board. The first pass draws the batch as
// it is; while the board runs stereo, the second pass draws it again from
// the same batch state with the second eye's transform, the clip volume and
// the programs' clip pairs moved down by the drawing area's height.
void _NStageMonoToStereo(N_Context* pctx, N_Pipe* pipe);
// Stage 23: both halves of a stereo frame buffer: the second pass with the
// context's secondHalf word set (the render functions add the drawing
// area's height to every y) and the clip volume and clip pairs moved down.
void _NStageStereoHalves(N_Context* pctx, N_Pipe* pipe);
// Stage 24: one pass per rectangle of the clip list, with every program's
// clip pair set to the rectangle (moved by the draw buffer's origin, and cut
// to the viewport for wide points and lines); a rectangle the batch cannot
// touch is passed over.
void _NStageClipRects(N_Context* pctx, N_Pipe* pipe);
// Whether the current strip's window positions may touch the rectangle
// (inclusive corners, grown by half the width of wide lines or points): 0
// when all lie beyond one of its sides, or there are none.
ULONG _NRectTouchesBatch(N_Context* pctx, const CommonPipeData* c, LONG x0, LONG y0, LONG x1, LONG y1);
