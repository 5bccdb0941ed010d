// The records of the software primitive and fragment path that
// CommonPipeData carries (swspan.h says how the stages use them). These
// records live in one process and hold pointers: they keep their fields in
// order but take their natural size.
#pragma once

#include "platform/kernel.h"

// --- records of the primitive stages ---------------------------------------------------------
// A line segment being rasterised; the line stages zero words 4-6 when they start.
struct N_SpanLine {
    ULONG majorAxis;  // 0 x-major, 1 y-major
    float dx;         // end x - start x
    float dy;         // end y - start y
    LONG minorAt0;    // (exact minor - pixel minor) x major extent at the span's first fragment
    ULONG aulZero[3];
};

// One vertex of a triangle as the polygon stages hand it on.
struct N_SpanTriVertex {
    const LONG* pWindow;  // the vertex's window coordinates x, y, z (z unsigned)
    ULONG ulReserved1;
    const float* pColour; // its colour entry: r, g, b (channel scale), a (0-1), one word more;
                          // in colour-index mode word 0 is the index
    float sq;             // s / q
    float tq;             // t / q
    float r;              // r unchanged
    float invQ;           // 1 / q, 1048576.0 for q = +0 or -0
    ULONG aulReserved7[2];
};

// A triangle. The header belongs to the span rasteriser; the gradients
// are of the homogeneous texture coordinates in window space, which the
// level-of-detail choice reads.
struct N_SpanTri {
    LONG count;            // fragments of the span being handed on
    ULONG aulHeader1[3];
    ULONG longEdgeRight;   // 1 when the long edge (top to bottom) is the right one
    ULONG aulHeader5[7];
    N_SpanTriVertex v[3];
    float dAlphaAway;      // alpha change a pixel away from the long edge
    float dsdx, dsdy;      // of s / q
    float dtdx, dtdy;      // of t / q
    float dqdx, dqdy;      // of 1 / q
    float alphaLongEdge;   // alpha at the long-edge end of the current span
};

// --- texture level of detail -----------------------------------------------------------------
// The pipe's texture level record.
struct N_TexLod {
    float s, t, q;     // of the first fragment of the current piece (line stages)
    LONG d;            // level
    LONG d2;           // second level (filters blending two levels)
    LONG width, height;    // of level d, border included
    LONG width2, height2;  // of level d2, border included
    ULONG filter;      // filter code in force (0-5 minification, 0-1 magnification)
    float lambda;
    float fraction;    // lambda less lambda truncated toward zero (per-fragment choice only)
};

// --- the fragment span -----------------------------------------------------------------------
// Mask byte states.
enum : BYTE {
    N_FRAG_KILLED = 0,
    N_FRAG_LIVE = 1,
    N_FRAG_STENCIL_FAILED = 2,
    N_FRAG_DEPTH_FAILED = 10,  // passed the stencil test
    N_FRAG_PASSED = 15,
};
// Level-of-detail modes of a triangle.
enum : LONG {
    N_LOD_PRIMITIVE = 0,  // one level for the primitive, chosen before the span stages run
    N_LOD_FRAGMENT = 1,   // a level a fragment
    N_LOD_TRIANGLE = 2,   // one level for the triangle, taken at a vertex
};

// The span: parallel arrays of one element a fragment (at most one screen
// row), in the layer's fixed span storage.
//
// The logic operation works on packed pixels only: its source is the
// fragment's packed colour (pPacked, as the pack stage leaves it), its
// destination the packed pixel read back (pDstPacked), and it leaves its
// result in pPacked, which the colour write sends. The destination colour
// channels (pDstRed, ...) are only ever floats for blending.
struct N_FragSpan {
    float* pRed;           // 0 fragment colour, 0 to the channel maximum
    float* pGreen;         // 1
    float* pBlue;          // 2
    float* pAlpha;         // 3 0.0 to 1.0
    ULONG* pDepth;         // 4 in the depth buffer's units
    float* pS;             // 5 texture s, t, q; texel r, g, b after sampling
    float* pT;             // 6
    float* pQ;             // 7
    BYTE* pNewStencil;     // 8
    float* pDstRed;        // 9 destination colour read back, on the fragments' scale
    float* pDstGreen;      // 10
    float* pDstBlue;       // 11
    float* pDstAlpha;      // 12 0.0 to 1.0
    ULONG* pDstDepth;      // 13 24 bits
    BYTE* pDstStencil;     // 14
    ULONG* pDstPacked;     // 15 destination pixel as stored (index or packed colour), logic operation
    LONG* pX;              // 16 element 0: the span's first x (point stages: one a fragment)
    LONG* pY;              // 17 element 0: the span's row
    LONG count;            // 18
    BYTE* pMask;           // 19 room for four bytes beyond the longest span
    ULONG* pPacked;        // 20 packed colour or index; the logic operation's result
    N_TexLod* pTexLod;     // 21
    void* pTarget;         // 22 buffer of the current write
    ULONG aulReserved23[3];
    float* pTexelAlpha;    // 26
    ULONG aulReserved27[4];
    LONG lodMode;          // 31 N_LOD_...
    ULONG stippleCount;    // 32 line stipple: position in the repeat count
    ULONG stippleRepeat;   // 33 repeat factor
    ULONG stipplePattern;  // 34 current pattern, rotated
    ULONG stippleReset;    // 35
};

// The longest span: the widest row of the drawing area, two screens side
// by side included (two of 1280 pixels make 2560), up to the 4096 columns
// the position word of a written fragment addresses.
constexpr ULONG N_FRAG_MAX = 4096;

// The polygon-line scratch of the outline walkers: the four vertices of
// the piece being walked (window coordinates, colour entries, texture
// coordinates) and one flag word a vertex of the batch.
constexpr ULONG N_PGON_LINE_FLAGS = 1008;
struct N_PgonLineScratch {
    LONG window[4][3];
    float colour[4][5];
    float texCoord[4][4];
    ULONG flags[N_PGON_LINE_FLAGS];
};
