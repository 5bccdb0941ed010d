// The software primitive and fragment path: the records the primitive
// stages build for the span rasteriser (N_SpanLine, N_SpanTri), the
// fragment span every span stage works on (N_FragSpan), the texture level
// record (N_TexLod), the order in which the span stages follow the
// rasteriser, the polygon span rasteriser and the level-of-detail choice.
//
// The software path runs as one chain per primitive. A primitive stage
// (stage 25 of points and lines, stage 63 of polygons) cuts the batch into
// line segments or triangles, points CommonPipeData's pCurPrim at the
// record it built on its own stack and calls its pipe word; the span
// rasteriser (stage 65) fills one span of fragments at a time into
// CommonPipeData's fragment span and calls pipe word 65 once per non-empty
// span; each span stage k then works on the whole span and calls pipe word
// k, also for an empty span. A stage returns nothing to its caller.
#pragma once

#include "3d/pipes/pipes.h"

#include "swrecords.h"

// 1 / q of a vertex as the triangle record holds it.
float _NSpanInvQ(float q);

// --- texture level of detail -----------------------------------------------------------------
// Case codes of the level choice.
enum : ULONG {
    N_LOD_NEAREST_BASE = 1,   // mipmap-nearest filter, level 0
    N_LOD_NEAREST_LAST = 2,   // mipmap-nearest filter, the last level
    N_LOD_NEAREST_LEVEL = 3,  // mipmap-nearest filter, a level between
    N_LOD_LINEAR_LAST = 4,    // mipmap-linear filter, the last level twice
    N_LOD_LINEAR_PAIR = 5,    // mipmap-linear filter, levels d and d + 1
    N_LOD_NO_MIPMAP = 6,      // minification without mipmaps: level 0
    N_LOD_MAGNIFY = 7,
};

// Fills levels, sizes and filter code of the record from its lambda and
// the bound texture, makes the matching sampler the one in force, and
// answers the case code.
ULONG _NSelectMipLevel(N_Context* pctx, N_TexLod* pLod);
// The level of a line segment: a1 = ds / |dx|, a2 = ds / |dy|, a3 = dt / |dx|,
// a4 = dt / |dy| (0 for a zero extent), ex = |dx|, ey = |dy|.
ULONG _NSwLineTexLod(N_Context* pctx, N_TexLod* pLod, float a1, float a2, float a3, float a4, LONG ex,
                     LONG ey);
// The level of a triangle with affine texture coordinates, from the
// gradients of the N_SpanTri at pCurPrim.
ULONG _NSpanTexLod(N_Context* pctx, N_Pipe* pipe);
// The level at one fragment from its homogeneous texture words s, t, r, q.
ULONG _NSpanTexLodPersp(N_Context* pctx, N_Pipe* pipe, const float* pfFragment);
// log2(x) taken in extended precision.
float _NLog2(float x);
// GL's scale factor rho of a fragment from its texel steps along x (du/dx,
// dv/dx) and y (du/dy, dv/dy): the longer of the two.
float _NTexRho(float dudx, float dvdx, float dudy, float dvdy);

// --- the fragment span -----------------------------------------------------------------------
// Points the span's arrays and level record at the layer's span storage.
void _NInitFragSpan(N_FragSpan* pSpan, N_TexLod* pLod);
// The row the rasteriser reads destination pixels into (N_FRAG_MAX words),
// and the polygon-line scratch: fixed storage of the layer, one user at a
// time.
ULONG* _NSpanReadRow(void);
N_PgonLineScratch* _NPgonLineScratch(void);
// A row of n pixels of a bound buffer from (x, y) as stored (one to four
// bytes each), zero where the buffer has none: host buffers read in place,
// board buffers through the layer's row read.
void _NSwReadRow(const N_BoundBuffer& slot, LONG x, LONG y, LONG n, ULONG* out);
// A row of n stored depths of the bound depth buffer from (x, y), 24
// significant bits, as _NSwReadRow reads them; a 16-bit board buffer is
// read in the raw pixel format its depth words are written in.
void _NSwReadDepthRow(const N_BoundBuffer& slot, LONG x, LONG y, LONG n, ULONG* out);
// With 16-bit depth words on the board, each fragment depth of the span
// becomes the least depth of its word, which is what a read of the stored
// word gives back: the depth test's comparison of 24-bit depths then
// decides as the board's comparison of the words, and the word the colour
// write sends for the fragment is the same. Other depth buffers keep the
// span's depths.
void _NSwDepthInBufferSteps(N_Context* pctx, N_FragSpan& sp);
// The destination colours of n fragments from their pixels as read from
// the colour buffer of the slot (blue in bits 0-7, green 8-15, red 16-23;
// a board buffer's colour indices in bits 16 and up): the packed words and
// each channel, in the form the fragments' own colours and indices take at
// the buffer's depth (at 16 bits a pixel each channel's five stored bits
// two places up in its 7-bit lane, 0..124, as the colour pack writes them
// and the board's programs read such a pixel; at 8 bits the palette's
// colour taken onto the fragments' scale, red's offset included, at the
// lowest value of its level; an index as the number).
void _NSwSetDstColours(N_Context* pctx, N_FragSpan& sp, const ULONG* pul, LONG n, const N_BoundBuffer& slot);
// The colour word of a colour-index fragment: its index (a float, the
// coverage ramp included) with the fraction dropped, 0 below 0. The point
// and line stages fill the packed word with it, as the polygon rasteriser
// does with the provoking index; the pack stage leaves index spans alone.
inline ULONG _NSwIndexWord(float f) {
    return f >= 4294967295.0f ? 0xFFFFFFFFu : f > 0.0f ? static_cast<ULONG>(f) : 0u;
}

// --- stage order -----------------------------------------------------------------------------
// Appends the span stages that follow the rasteriser for a code (kind
// 57-71) and a pipe mode word: 76 (draw and copy pixels, depth), 38
// (texture), 86 (polygon stipple), 87 (alpha test), 88, 89, 100 (stencil;
// with the depth test on as well 88, 90, 89, 100), then with colour written
// 91 (blending on) and 94, 95 (a logic operation other than copy), 97
// (colour written).
void _NSpanStageList(ULONG code, ULONG mode, N_StageList* pList);
// Whether a span stage compares fragment depth with the stored depth:
// only while the stencil test is on as well. GL takes the stencil test,
// then the depth test, and the stencil operation of a fragment that passed
// the stencil test depends on the depth result (depth-fail or depth-pass),
// so the stencil stages need it before the stencil is written. Without
// the stencil test the colour write's program tests depth on the board,
// and no span stage reads the stored depth.
inline bool _NSpanTestsDepth(ULONG mode) { return (mode & N_MODE_STENCIL) && (mode & KZ_EN_DEPTH); }

// --- the polygon span rasteriser -------------------------------------------------------------
// What the rasteriser needs of the screen.
struct N_SwScreen {
    LONG cx, cy;   // the 3D area in pixels
    LONG xOrigin;  // a split-screen board: the x of this screen's bitmap, taken off the vertices
    ULONG precise; // window x and y in sixteenths of a pixel
};
N_SwScreen _NSwScreenOf(N_Context* pctx);

// Stage 65: the triangle at pCurPrim into spans for pipe word 65.
void _NSwRasterPgonSpans(N_Context* pctx, N_Pipe* pipe);
// The same on a given screen.
void _NSwRasterTriangle(N_Context* pctx, N_Pipe* pipe, const N_SwScreen& screen);
