// Textured polygons drawn by the board: the two render functions (kinds
// 66-71 with texturing on), the recursive subdivision that keeps the
// board's affine texture walk close to the perspective-correct one (and,
// with two programs, cuts where GL's level choice changes), the per-piece
// mip-level choice, and the packet emitter.
//
// The renderers read the batch the vertex part left in CommonPipeData:
// window coordinates (pWindow, x y z a vertex, whole pixels or sixteenths
// under modelImprecision), texture coordinates (pTexWork, s t r q a vertex:
// s and t as the texture is addressed, q the perspective weight of the
// vertex), the five-word colour records (pHwVertices) and the face runs
// (pFaceRuns), laid out as the filled-polygon functions read them
// (kzfill.h). Every triangle becomes three TriTexVertex corner records,
// goes through the subdivider and ends in the emitter, which owns the batch
// of up to 127 triangles a reservation.
//
// The packet words of one triangle: the colour words (three, one, or none
// when the colour rides in the packet head), s of the three corners, t of
// the three corners (1/16 texel, rounded; with two programs, at the texel
// of the level drawn where the program in use reads it: the nearest
// texel's at u, the neighbour filters' at u - 1/2), three depth words for
// the depth layouts, then the three
// packed positions. The board's data registers take them in that order
// (colour, z0 and z1 for the coordinates, z2 for the depth).
#pragma once

#include <cstddef>

#include "3d/context/context.h"

// One corner of a textured triangle: eleven 32-bit words.
struct TriTexVertex {
    LONG x;          // 0 window x (whole pixels, or sixteenths under modelImprecision)
    LONG y;          // 1
    LONG z;          // 2 the depth word as the vertex array holds it
    ULONG colour;    // 3 packed colour
    ULONG alpha;     // 4 the alpha byte in all four bytes
    LONG edgeLen;    // 5 max(|dx|, |dy|) of the edge to the next corner
    float s16;       // 6 s in sixteenths of a texel
    float t16;       // 7
    float q;         // 8
    float qMeasure;  // 9 relative change of q along the edge to the next corner
    float rq;        // 10 1/q
};
static_assert(sizeof(TriTexVertex) == 44);
static_assert(offsetof(TriTexVertex, colour) == 12);
static_assert(offsetof(TriTexVertex, edgeLen) == 20);
static_assert(offsetof(TriTexVertex, s16) == 24);
static_assert(offsetof(TriTexVertex, qMeasure) == 36);
static_assert(offsetof(TriTexVertex, rq) == 40);

// The work area of the level choice: the corners of the triangle being
// emitted (entries 0-2) and their centre (entry N_TRITEX_CENTRE), and the
// gradients of the renderer triangle holding it.
struct TriTexPlanes {
    float Q[4], S[4], T[4];
    float dSdx, dSdy, dTdx, dTdy, dQdx, dQdy;
};
extern TriTexPlanes gNTriTexPlanes;
constexpr int N_TRITEX_CENTRE = 3;

// 1/q as the corner records keep it: 10000 for a q of +0 or -0.
float _NTriTexRecipQ(float q);

// The texture coordinates of a triangle's corners (1/q, and s and t in
// sixteenths) as GL takes them where the board samples. The board sets its
// planes through the corners at the positions sent (x, y: the window
// coordinates cut to whole units) and samples pixel (i, j) at (i, j) of
// those units; GL interpolates from the vertices as they are and samples
// at the pixel's centre, `half` units further along x and y (half a pixel
// in whole pixels, none in sixteenths, whose positions take the half pixel
// already). x and y hold the corners' window coordinates before the cut.
// The corners take the values of GL's planes (s/q, t/q and 1/q are linear
// on the screen) at their own position plus `half`. Nothing changes (false)
// for a triangle without area, a q of 0 or of either sign, or one so thin
// that a corner's value would move by more than the triangle's span of it
// and a texel.
bool _NTriTexAtSamplePoints(TriTexVertex* const (&v)[3], const double (&x)[3], const double (&y)[3], double half);

// The render functions (slots N_RF_TRI_TEX, N_RF_TRI_TEX_OPT).
void _NvpRenderTriTex(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderTriTexOpt(N_Context* pctx, N_Pipe* pipe);

// --- subdivision ------------------------------------------------------------------------------
// The edge words of corner a for the edge a -> b.
void _NTriTexEdge(TriTexVertex* a, const TriTexVertex* b);
// The perspective-correct corner at the screen midpoint of a and b. Corners
// whose 1/q values sum to zero or differ in sign (q = 0 or a corner behind
// the eye) are joined by the plain screen-space mean instead, so no
// coordinate grows without bound.
void _NTriTexMidpoint(const TriTexVertex* a, const TriTexVertex* b, TriTexVertex* m);
// The deepest nesting of subdivider calls: past it a piece is drawn whole,
// whatever its edges (a bound on the three-edge and quadrilateral splits,
// which the halving alone bounds only by the coordinates' size).
constexpr LONG N_TRITEX_DEPTH_CAP = 16;
// The subdividers: each splits long edges and hands the pieces to its own
// emitter; the edge words of the given corners are restored on return.
void _NTriTexSubdivTri(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, LONG depth);
void _NTriTexSubdivQuad(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, TriTexVertex* D,
                        LONG depth);
void _NTriTexSubdivTriOpt(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, LONG depth);
void _NTriTexSubdivQuadOpt(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, TriTexVertex* D,
                           LONG depth);

// --- level set-up -------------------------------------------------------------------------------
// Gradients of s/q, t/q and 1/q over the renderer triangle.
void _NTriTexPlaneSetup(N_Context* pctx, const TriTexVertex* a, const TriTexVertex* b, const TriTexVertex* c);
// Q, S and T of the three level corners (a q of 0 gives 0 for all three)
// and of their centre: s/q, t/q and 1/q are linear across the screen, so
// the centre's are the means of the corners'.
void _NTriTexPerspSetup(const TriTexVertex* v0, const TriTexVertex* v1, const TriTexVertex* v2);
// lambda (GL's log2 of the scale factor rho), the second level and the
// blend fraction at corner i (0-2) or at the centre (N_TRITEX_CENTRE);
// answers the first level.
int _NTriTexVertexLod(N_Context* pctx, float* pLambda, int* pLevel2, float* pFrac, int i);
// Whether the edge a-b must be cut for the level choice: its ends take
// different programs (minification or magnification) or levels, or,
// blending two levels, lambdas further apart than N_TRITEX_LAMBDA_SPAN;
// and the edge runs more than a pixel across lambda's change (an edge
// along the line where the choice changes gains nothing from a cut). Read
// with the gradients of the renderer triangle holding the edge. The
// subdivider cuts such edges as it cuts long ones, so that every piece the
// board draws takes GL's choice where its pixels lie; decided by the edge
// alone, the cut is the same from the pieces on either side of it.
bool _NTriTexEdgeNeedsCut(N_Context* pctx, const TriTexVertex* a, const TriTexVertex* b);
constexpr float N_TRITEX_LAMBDA_SPAN = 0.125f;

// --- emitters -------------------------------------------------------------------------------------
void _NEmitTriTexPrim(N_Context* pctx, const TriTexVertex* A, const TriTexVertex* B, const TriTexVertex* C,
                      float lambda, int level, int level2, float frac);
void _NEmitTriTexPrimOpt(N_Context* pctx, const TriTexVertex* A, const TriTexVertex* B, const TriTexVertex* C);
// The emitters the subdividers call (the two above; tests put recorders here).
using N_TriTexEmitFn = void (*)(N_Context*, const TriTexVertex*, const TriTexVertex*, const TriTexVertex*, float,
                                int, int, float);
using N_TriTexEmitOptFn = void (*)(N_Context*, const TriTexVertex*, const TriTexVertex*, const TriTexVertex*);
extern N_TriTexEmitFn gpfnNTriTexEmit;
extern N_TriTexEmitOptFn gpfnNTriTexEmitOpt;
