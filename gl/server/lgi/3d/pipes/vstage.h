// The vertex stages of the pipes between the transform and the render
// function: normals (stage 9), lighting and the unlit colour copies (stage
// 14), colour material (stage 37), the colour conversions (stages 29 and
// 30), the strip runner (stage 15), the primitive paths and clippers, and
// the numeric routines they share.
#pragma once

#include "pipes.h"

// x^n by repeated squaring; 1.0 for n < 1.
float _NPowInt(float x, LONG n);
// 1 / sqrt(x).
float _NInvSqrt(float x);

// Stage 9: the batch's normals as the lighting stages read them (by the
// transform mode's normal stage: plain, transformed, normalised, rescaled).
void _NStageNormals(N_Context* pctx, N_Pipe* pipe);
// The normals stage 9 left for the batch (three floats a vertex).
const float* _NNormalWork();

// The stage-30 form of the context's colour conversion.
N_StageFn _NColourStageFn(N_Context* pctx);
// The grey and alpha-only stage-30 forms of textured polygons.
void _NStageColourGrey(N_Context* pctx, N_Pipe* pipe);
void _NStageColourAlphaOnly(N_Context* pctx, N_Pipe* pipe);
// Stage 29: float colours into the hardware records.
void _NStageFloatColour(N_Context* pctx, N_Pipe* pipe);
// Stage 37: the colour-material stage.
void _NStageColourMaterial(N_Context* pctx, N_Pipe* pipe);

// Vertices of a face run: its face count by the common data's face step.
ULONG _NRunVertices(const CommonPipeData& c, ULONG faces);
// Vertices the colour array advances past a run.
ULONG _NRunAdvance(const CommonPipeData& c, ULONG faces);

// Stage 15: the dispatch record's primitive path once per strip.
void _NRunStripList(N_Context* pctx, N_Pipe* pipe);
// Runs pfn once per strip of the batch with the work arrays advanced past
// the strips before it; everything is restored afterwards.
void _NBreakUpListOfStrips(N_Context* pctx, N_Pipe* pipe, N_StageFn pfn);

// Whether the pipe's eye positions are rotated by the plane-0 pair (plane 0
// alone enabled: e' = F e; plane0.backward takes them back).
bool _NEyeRotated(const N_Context* pctx);
// The user clip planes in force in the space of the pipe's eye positions:
// plane k (four floats) at pPlanes[k], bit k of *pMask set when it is enabled.
void _NUserPlanes(N_Context* pctx, float (*pPlanes)[4], ULONG* pMask);

// Stage 35: the batch's texture coordinates (per vertex or current) with
// the enabled coordinates generated (object linear, eye linear, sphere map).
void _NStageTexCoords(N_Context* pctx, N_Pipe* pipe);
// Stage 10: the batch's texture coordinates through the texture matrix.
void _NStageTexMatrix(N_Context* pctx, N_Pipe* pipe);
// The texture coordinates of the batch as the render paths interpolate
// them in perspective: (s/q, t/q, r/q, w/q) for the clip w the position
// stages left (run once both are there).
void _NTexturePerspective(CommonPipeData& c);

// Back colours of two-sided lighting: pBack (four floats a vertex) holds the
// back-face colours of the colour array pFront; null forgets them. Slot 0
// is the lit colours' (setting it forgets slot 1), slot 1 a fogged copy's.
void _NSetBackColours(ULONG slot, const float* pFront, float* pBack);
// The back colours beside a colour array (or a pointer into one), or null.
float* _NBackColoursOf(const float* pColours);
