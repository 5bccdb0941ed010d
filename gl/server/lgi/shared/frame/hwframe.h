// What the hardware render functions share: the board facts of a call
// (28.4 scaling, the lower image's y offset, the depth-word form), the word
// forms of a vertex (packed position, depth, alpha), the triangle record of
// a layout code written by the per-primitive word table (kzprimwords.h),
// routing a primitive to the queues whose 128 x 128 tiles it touches, the
// packet head written by a render function itself, the fill callback that
// places per-packet colour words, and the soft close of a batch.
//
// A render function runs as stage 25: it reads the batch the vertex part
// left in the pipe's CommonPipeData (window coordinates pWindow, three
// words a vertex; colour records pHwVertices, five words each, word 0 the
// packed colour and word 1 the alpha as a float; the face-run list
// pFaceRuns), writes its packets, and calls pipe->next[25].
#pragma once

#include "3d/queue/queue.h"
#include "3d/queue/renderfcn.h"
#include "kzprimwords.h"

struct kzRenderProg;

constexpr ULONG N_TILE_BITS = 0xF800F800u;  // the tile of a packed position
constexpr ULONG N_STRIP_NEW = 1;            // strip state: no tile known yet
constexpr ULONG N_TRIANGLE_CLASS = 5;       // program class of filled triangles
constexpr ULONG N_COLOUR_RECORD_WORDS = 5;

// One call's view of the board and its queues.
struct N_HwFrame {
    N_HwRecord* phw = nullptr;
    KZ2QUEUEMGT qm = nullptr;
    ULONG cQueues = 1;
    bool bSplit = false;     // a board driving two screens
    bool bPrecise = false;   // modelImprecision: window coordinates in sixteenths already
    bool bDepth16 = false;   // a depth buffer narrower than 24 bits
    ULONG yOffset = 0;       // the lower image's offset, in the coordinates' units
    ULONG stripTile = N_STRIP_NEW;
    N_PixelBound bound;      // the window's size, for counting the triangles routed
};

// The board facts of the context's device (before reserving).
void _NHwFrameBegin(N_Context* pctx, N_HwFrame* f);
// Takes the queue manager a reservation left in the hardware record;
// false when there is none (no board).
bool _NHwFrameQueues(N_HwFrame* f);

// The packed 28.4 position of a window vertex (x, y, z): the y offset is
// added in the coordinates' own units before the position is packed.
inline ULONG _NHwPosition(const N_HwFrame& f, const LONG* win) {
    const ULONG x = static_cast<ULONG>(win[0]), y = static_cast<ULONG>(win[1]) + f.yOffset;
    return f.bPrecise ? (y << 16) | (x & 0xFFFFu) : (y << 20) | ((x << 4) & 0xFFFFu);
}
// GL's values at the board's sample points. The board (and the software
// span rasteriser) sets its planes through a triangle's corners at the
// window positions they were cut to (X, Y, whole units) and samples pixel
// (i, j) at (i, j) of those units; GL interpolates from the vertices as they
// are (x, y) and samples at the pixel's centre, `half` units further along
// x and y (half a pixel in whole pixels; none in sixteenths, whose
// positions take the half pixel already). Each of the n planes (its values
// at the three vertices, linear on the screen, as s/q, t/q and 1/q are) is
// evaluated in place at (X + half, Y + half) of each corner. False, and
// nothing changed, for a triangle without area, a non-finite value, or one
// so thin that a value would move by more than its span over the triangle
// and `slack[k]` (the corner lies on no pixel GL draws from the plane).
bool _NHwAtSamplePoints(const double (&x)[3], const double (&y)[3], const LONG (&X)[3], const LONG (&Y)[3],
                        double half, double (*f)[3], const double* slack, ULONG n);
// A vertex's window coordinates before they were cut to whole units, from
// its clip position (x, y, z, w): false when w is 0 or they do not lie
// within a unit of the window vertex `win` (arrays not in step).
bool _NHwExactPosition(const float* clip, const LONG* win, double* px, double* py);

// The depth word of a vertex by the depth buffer's width.
inline ULONG _NHwDepth(const N_HwFrame& f, const LONG* win) {
    const ULONG z = static_cast<ULONG>(win[2]);
    return f.bDepth16 ? _NDepthWord16(z) : z;
}
// The 9-bit alpha word of a colour record's alpha float.
ULONG _NHwAlpha(const ULONG* colour);

// --- triangle records ----------------------------------------------------------------------
// What a layout code puts in a triangle and in the packet head.
struct N_TriLayout {
    const kzPrimWordsRow* row = nullptr;
    ULONG dataAttr = 0;
    ULONG words = 0;        // words of one triangle
    ULONG packetWords = 0;  // colour and alpha words once a packet (0-2)
    bool packetColour = false, packetAlpha = false;
};
// The layout of a triangle program's code, or false when the table has
// no row for it.
bool _NTriLayoutOf(ULONG dataAttr, N_TriLayout* out);
// The per-packet words of a layout from a colour record: the colour word,
// then the alpha word, those the layout takes. Answers their count.
ULONG _NPacketWords(const N_TriLayout& l, const ULONG* colour, ULONG* out);

// One vertex of a triangle: its window coordinates and colour record.
struct N_TriVertex {
    const LONG* win;
    const ULONG* colour;
};
// Whether a triangle's vertices may be drawn (_NWindowDrawable in the
// frame's units): a render function sends no triangle that is not.
inline bool _NHwDrawable(const N_HwFrame& f, const N_TriVertex (&v)[3]) {
    return _NWindowDrawable(v[0].win, f.bPrecise) && _NWindowDrawable(v[1].win, f.bPrecise) &&
           _NWindowDrawable(v[2].win, f.bPrecise);
}
// Writes the triangle (a, b, c, in the order sent) at p by the layout's row;
// provoking is the colour record whose words a one-word group takes.
// Answers the end of the words; pos[] gets the three packed positions.
ULONG* _NHwWriteTriangle(const N_HwFrame& f, const N_TriLayout& l, ULONG* p, const N_TriVertex (&v)[3],
                         const ULONG* provoking, ULONG (&pos)[3]);
// The doubled signed area of a window triangle, > 0 when it winds the way
// the board draws.
inline std::int64_t _NHwArea(const LONG* a, const LONG* b, const LONG* c) {
    return (std::int64_t{b[0]} - a[0]) * (std::int64_t{c[1]} - a[1]) -
           (std::int64_t{b[1]} - a[1]) * (std::int64_t{c[0]} - a[0]);
}

// --- routing -----------------------------------------------------------------------------
// Routes a separate three-vertex primitive whose words end at p (packed
// positions in the order written); answers where the next one goes. Both
// routings count the triangle's window pixels (_NCountTriangle; a point,
// a span or a thin line, sent with repeated positions, has none).
ULONG* _NHwRouteTriangle(N_HwFrame& f, ULONG* p, ULONG a, ULONG b, ULONG c);
// Routes a strip triangle of newest vertex n (n1, n2 the two before it) by
// the frame's strip state.
ULONG* _NHwRouteStripTriangle(N_HwFrame& f, ULONG* p, ULONG n, ULONG n1, ULONG n2);
// The batch word = the largest primitive count of the open packets, then
// the soft close.
void _NHwSoftClose(N_HwFrame& f, ULONG* p);

// --- packet heads ----------------------------------------------------------------------------
// For a reservation that opened new packets without a fill (_NNextQAddrMC):
// stores the program's header word in every queue's open packet and writes
// the head at p (pids, instructions, clip pair, per-packet constants, the
// extra word, the per-packet colour words given, trailing words). Answers
// the end of the head.
ULONG* _NHwWriteHead(const N_HwFrame& f, const kzRenderProg* prog, ULONG* p, const ULONG* extras, ULONG nExtra);
// Bytes of a program's head without its per-packet colour words.
ULONG _NHwHeadBytes(const kzRenderProg* prog);

// The fill callback of the per-packet colour forms: pvPair names an
// N_HwImagePair, pvExtras the words, pvCount a ULONG with their number
// (0-2). Copies the image's head and puts the words at the image's place
// for them; answers the bytes written.
struct N_HwImagePair {
    N_HwRecord* phw;
    const kzProgPacket* pImage;
};
ULONG _NCopyPktHeaderExtra(PVOID pvPair, ULONG* pPacket, PVOID pvExtras, PVOID pvCount);
// Whether the open packet of the hardware record's queues was headed by
// this image with these per-packet words, so primitives that need them may
// go on in it (false when in doubt: new packets are then opened).
bool _NHwPacketCarries(N_HwRecord* phw, const kzProgPacket* pImage, const ULONG* extras, ULONG nExtra);

// --- batches of strips --------------------------------------------------------------------------
// Runs pfn once per strip of a list of separate triangles, as a batch of
// that strip alone (its vertices, colour records and face runs, counted in
// triangles), and puts the batch back. A strip whose faces the run list
// does not hold is reported ("_NBreakUpListOfStrips: bogus nVerts (%d)???\n")
// and the rest of the list is not drawn. (The lgi layer's own strip runner
// serves the vertex stages; this one serves the triangle fill.)
void _NHwEachStrip(N_Context* pctx, N_Pipe* pipe, N_StageFn pfn);

// A face run (code, count) of the list.
inline ULONG _NRunCode(ULONG w) { return w & 0xFFFFu; }
inline ULONG _NRunFaces(ULONG w) { return w >> 16; }

// --- checking a batch before it is drawn -----------------------------------------------------
// Whether the face runs of a batch of separate faces (triangles, quads,
// fans and polygons) end within the run list's room, name at most
// cMaxFaces faces and at most the colour records the work buffers hold
// (recordsPerFace for each face and recordsPerRun more for each run); the
// faces of the drawn runs go to *pDrawn.
bool _NFaceRunsFit(const CommonPipeData& c, ULONG cMaxFaces, ULONG recordsPerFace, ULONG recordsPerRun,
                   ULONG* pDrawn);
// The same for a list of strips: every run within its strip, the strips
// within the batch, count + 2 colour records a run.
bool _NStripRunsFit(const CommonPipeData& c);
// The faces of a strip of n vertices.
inline ULONG _NStripFaces(ULONG n) { return _NFaceCount(N_PRIM_TRI_STRIP, n); }

// Reserves cbRoom bytes for nPrims primitives of the program behind the
// program's image (new packets when the batch word says so, or when the
// open packet carries other per-packet words than extras).
ULONG* _NHwReserve(N_HwFrame& f, const kzRenderProg* prog, ULONG cbRoom, ULONG nPrims, const ULONG* extras,
                   ULONG nExtra);
// The head bytes _NHwReserve adds to a reservation (the packet image and
// the per-packet words).
ULONG _NHwReserveHeadBytes(const kzRenderProg* prog, ULONG nExtra);
// How many of n primitives of cbPrim bytes one reservation takes behind
// cbHead bytes of head: all n when they fit a queue ring (and without a
// board), else as many as fit, at least 1 (a primitive larger than a ring
// is then refused by the reservation). A call of more is cut into pieces:
// the open piece closed (_NHwSoftClose), the next reserved, its head
// written again where the caller writes it; separate triangles need
// nothing else, a polygon being a fan of them.
ULONG _NHwPiecePrims(N_HwRecord* phw, ULONG cbHead, ULONG cbPrim, ULONG n);

// The program slot a polygon pipe's selector built into: the back slot for
// the back pipe, else the standard one.
kzRenderProg* _NHwPipeProgram(N_Context* pctx, N_Pipe* pipe);
// The program slot of a pipe's software colour write (the program that
// heads its single-pixel packets): the back slot for the back pipe; for the
// front pipe the front textured slot, which its textured passes leave free
// while it draws through software. Not the standard slot: the back pipe's
// textured passes build into it too, after the front pipe is set up.
ULONG _NHwSoftwareSlot(const N_Pipe* pipe);
kzRenderProg* _NHwSoftwareProgram(N_Context* pctx, const N_Pipe* pipe);
