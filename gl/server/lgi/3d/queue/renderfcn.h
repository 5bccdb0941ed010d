// The render functions: the hardware stage 25 of a pipe that the selectors
// of points, lines and polygons install when the micro-code generator built
// a render program for the state. Each slot below is one function's place
// and its contract; a slot whose function is not built yet holds a stage
// that says so ("<name>: not available yet") and draws nothing.
//
// Every render function is called as stage 25 with (context, pipe): it draws
// the batch the vertex part prepared in the pipe's CommonPipeData (window
// coordinates, colours, outcodes, strips and face runs) with the render
// program in the current hardware record, writes its packets through the
// queue glue (queue.h), and calls pipe->next[25] when done. While the
// context's secondHalf word is set it adds the drawing area's height to the
// y of every vertex it sends. The layout code (dataAttr 0-20) of the
// program says which words each vertex carries.
//
// The selectors choose by rows (kind, layout code, conditions) -> slot, one
// table per selector (select_render.cpp); the first row that matches wins.
#pragma once

#include "3d/pipes/pipes.h"

struct kzRenderProg;

enum N_RenderSlot : ULONG {
    N_RF_NONE,   // no render function: the selector answers null
    N_RF_NOOP,   // draws nothing and calls the next stage (points of layouts without a point function)
    N_RF_ERROR,  // a layout a line table has no function for: reports a programmer error, draws nothing

    // Points (kind 63), one vertex each.
    N_RF_POINT_2,   // layouts 2 and 5: colour and position per point
    N_RF_POINT_3,   // layouts 3 and 6: with alpha
    N_RF_POINT_8,   // layout 8: one colour for the packet, positions only
    N_RF_POINT_9,   // layout 9: one colour with alpha for the packet
    N_RF_POINT_12,  // layouts 12 and 15: packed colour and depth per point
    N_RF_POINT_13,  // layouts 13 and 16: the same with alpha
    N_RF_POINT_18,  // layout 18: one colour, depth per point
    N_RF_POINT_19,  // layout 19: one colour with alpha, depth per point
    N_RF_WIDE_POINT,  // _NvpRenderWidePointKZG: points wider than 1.5 pixels, any layout

    // Line strips drawn as one list (kind 64 from arrays or the one-vertex list).
    N_RF_STRIP_LIST_2,   // layout 2
    N_RF_STRIP_LIST_5,   // layout 5
    N_RF_STRIP_LIST_8,   // layout 8
    N_RF_STRIP_LIST_12,  // layout 12
    N_RF_STRIP_LIST_15,  // layout 15
    N_RF_STRIP_LIST_18,  // layout 18
    N_RF_POLYLINE_LIST,  // _NvpRenderPLListGenKZ: any strip list the others do not take (wide ones too)
    N_RF_AA_STRIP_ONE_QUEUE,     // antialiased strip list, one constant colour, single-queue board
    N_RF_AA_STRIP_QUEUES,        // the same on a board of several queues
    N_RF_ALPHA_STRIP_ONE_QUEUE,  // layout 9 strip list with alpha, single-queue board
    N_RF_ALPHA_STRIP_QUEUES,     // the same on a board of several queues

    // Separate lines (kind 65, and kind 64 drawn segment by segment).
    N_RF_LINE_2,   // thin lines, layout 2
    N_RF_LINE_5,   // layout 5
    N_RF_LINE_8,   // layout 8
    N_RF_LINE_12,  // layout 12
    N_RF_LINE_15,  // layout 15
    N_RF_LINE_18,  // layout 18
    N_RF_WIDE_LINE_2,   // wide, stippled or alpha lines of layouts 2 and 3
    N_RF_WIDE_LINE_5,   // layouts 5 and 6
    N_RF_WIDE_LINE_8,   // layouts 8 and 9
    N_RF_WIDE_LINE_12,  // layouts 12 and 13
    N_RF_WIDE_LINE_15,  // layouts 15 and 16
    N_RF_WIDE_LINE_18,  // layouts 18 and 19
    N_RF_ALPHA_LINE_9,  // thin unstippled lines of layout 9 (one colour with alpha)
    N_RF_AA_LINE,       // antialiased lines of any layout, width and stipple
    N_RF_AA_LINE_8,     // thin unstippled antialiased lines of layout 8
    N_RF_AA_LINE_2,     // thin unstippled antialiased lines of layout 2

    // Polygons drawn as outlines (polygon mode line), by kind.
    N_RF_OUTLINE_FAN,         // 66 polygon (kz2/render/kzoutline.h)
    N_RF_OUTLINE_TRIANGLES,   // 67
    N_RF_OUTLINE_QUADS,       // 68
    N_RF_OUTLINE_STRIP,       // 69 fan and 70 triangle strip
    N_RF_OUTLINE_QUAD_STRIP,  // 71
    // Polygons drawn as their vertices (polygon mode point).
    N_RF_VERTEX_POINTS,        // 66-68 (kz2/render/kzpoint.h)
    N_RF_STRIP_VERTEX_POINTS,  // 69-71

    // Filled polygons.
    N_RF_TRI_TEX,        // _NvpRenderTriTex: textured polygons, two passes or several rasterizers
    N_RF_TRI_TEX_OPT,    // _NvpRenderTriTexOpt: textured polygons in one pass on one rasterizer
    N_RF_FILL_12,        // _NvpRenderXListFillAttr12KZG: layout 12 polygons, triangles, quads and fans (66-69), kz2/render/kzfill.cpp
    N_RF_STRIP_FILL_12,  // _NvpRenderXTStripListFillAttr12KZ: layout 12 strips (70, 71), strip12.cpp
    N_RF_POLYGON_FILL,   // _NvpRenderXPgonFillKZG: polygons and fans (66, 69)
    N_RF_TRIANGLE_FILL,  // _NvpRenderXTListFillKZG: separate triangles (67)
    N_RF_QUAD_FILL,      // _NvpRenderXQListFillKZG: separate quads (68)
    N_RF_STRIP_FILL_DEPTH,  // strips (70, 71) of layouts 13, 15 and 18 (the Attr13/15/18 members, kz2/render/kzstrip.cpp)
    N_RF_STRIP_FILL,     // _NvpRenderXTStripListFillKZ: strips of every other layout
    // Filled quad strips (71) drawn by the strip fills above (qstrip.cpp).
    N_RF_QSTRIP_FILL_12,       // by _NvpRenderXTStripListFillAttr12KZ
    N_RF_QSTRIP_FILL_DEPTH,    // by _NvpRenderXTStripListFillDepthKZ
    N_RF_QSTRIP_FILL,          // by _NvpRenderXTStripListFillKZ
    N_RF_QSTRIP_TRI_TEX,       // by _NvpRenderTriTex
    N_RF_QSTRIP_TRI_TEX_OPT,   // by _NvpRenderTriTexOpt

    // The software path (status -7): raster stages (stage 25, 63, 65) that
    // fill CommonPipeData's span arrays and call pipe word 25, 63 or 65, and
    // span stages that end by calling their own stage's word; a span stage
    // marks the fragments it rejects in the span's mask bytes.
    N_SW_EMPTY,               // draws nothing
    N_SW_POINT,               // points, not antialiased
    N_SW_POINT_AA_INDEX,      // antialiased points in colour-index mode
    N_SW_POINT_AA_RGBA,       // antialiased points in RGBA mode
    N_SW_LINE,                // plain lines
    N_SW_LINE_DEPTH_STEPPED,  // plain lines with depth stepped
    N_SW_LINE_ATTR,           // lines with per-vertex attributes (textured, blended, coloured)
    N_SW_LINE_PAIRS,          // separate lines: feeds vertex pairs to the context's pfnLineStage
    N_SW_PGON_LINE_PRIM,      // stage 63: polygon-mode line outlines, each vertex its colour
    N_SW_PGON_LINE_VERTEX,    // flat shading: each face in its provoking vertex's colour
    N_SW_PGON_STRIP,          // stage 63: triangle and quad strips into spans
    N_SW_PGON_TRIANGLES,
    N_SW_PGON_QUADS,
    N_SW_PGON_FAN,            // polygons and fans
    N_SW_PGON_SPANS,          // stage 65: _NSwRasterPgonSpans, the polygon span rasteriser
    N_SPAN_POLY_STIPPLE,      // stage 86 of polygons
    N_SPAN_LINE_STIPPLE,      // stage 86 of points and lines
    N_SPAN_COLOUR_FLAT,       // stage 79: one colour for the span
    N_SPAN_COLOUR_SMOOTH,     // colours interpolated along the span
    N_SPAN_PIXEL,             // stage 70 of the pixel paths
    N_SPAN_DITHER_PACK,       // stage 94
    N_SPAN_FOG_INDEX,         // stage 18 in colour-index mode
    N_SPAN_FOG_RGBA,          // stage 18 in RGBA mode: the per-vertex fog blend
    N_SPAN_ALPHA_TEST,        // stage 87, + the alpha function code 0-7 (never, less, equal, lequal,
    N_SPAN_ALPHA_TEST_LAST = N_SPAN_ALPHA_TEST + 7,  //   greater, notequal, gequal, always)
    N_SPAN_DEPTH_TEST,        // stage 90, + the depth function code 0-7 in the same order
    N_SPAN_DEPTH_TEST_LAST = N_SPAN_DEPTH_TEST + 7,
    N_SPAN_LOGIC_OP,          // stage 95, + the logic-operation code 0-18
    N_SPAN_LOGIC_OP_LAST = N_SPAN_LOGIC_OP + 18,

    N_RF_COUNT
};

// The render function of a slot (never null but for N_RF_NONE).
N_StageFn _NRenderFcn(ULONG slot);
// The slot's function name, for reports.
const char* _NRenderFcnName(ULONG slot);

// The software stages (select_sw.cpp): the raster stage of a code (stage
// 25 without a render function), the polygon, stipple, colour and pixel
// span stages of a code, and the fragment stages of the state.
N_StageFn _NSwRasterStage(N_Context* pctx, N_Pipe* pipe, ULONG code);
void _NValPgonSwStages(N_Context* pctx, N_Pipe* pipe, ULONG code);
void _NValLineSpanStages(N_Context* pctx, N_Pipe* pipe);
void _NValPixelSpanStages(N_Context* pctx, N_Pipe* pipe);
void _NValPixelOps(N_Context* pctx, N_PrimDispatch* pd);

// The RGBA fog stage (slot N_SPAN_FOG_RGBA, fog.cpp): the batch's colours
// fogged by each vertex's eye distance (from its window coordinates and
// clip w through the inverse of W x P), alpha included, for the stages
// after it; the batch's colours are put back when they return.
void _NStageFogRGBA(N_Context* pctx, N_Pipe* pipe);
// The fog stage of textured primitives whose environment is not blend (the
// vertex colour stage is left out of their pipes): each vertex's colour is
// its fog factor f in red, green and blue, with the vertex's alpha; the
// texture environment then makes f x its colour + (1 - f) x the fog colour.
void _NStageFogTextured(N_Context* pctx, N_Pipe* pipe);
// The fog factor of an eye distance by the context's fog mode (2 linear:
// (end - |d|) / (end - start), 1 when they are equal; 0 e^(-density |d|);
// 1 e^(-(density d)^2)).
float _NFogFactorOf(N_Context* pctx, float d);

// Whether the program must carry alpha for the format (points and polygons).
ULONG _NNeedsAlpha(N_Context* pctx, ULONG format);

// Builds the plain single-pixel program (colour, alpha when the format
// needs it) into the pipe's program slot: the program the software colour
// write heads its packets with. The pipe set-up calls it whenever a
// selected pipe draws through the software stages. Answers whether the
// program was built.
bool _NValSoftwareProgram(N_Context* pctx, N_Pipe* pipe);

// The layout-12 strip fill (slot N_RF_STRIP_FILL_12, strip12.cpp): every
// face of the batch's strips becomes a triangle of nine words behind the
// standard program's packet prefix, routed to the queues whose tiles it
// touches; the batch is closed without a kick. A face-run list that names
// more faces than its strips have (or runs past the work buffers) is
// refused whole: nothing is written.
void _NvpRenderXTStripListFillAttr12KZ(N_Context* pctx, N_Pipe* pipe);

// Filled quad strips (kind 71, qstrip.cpp) through a triangle-strip fill:
// the face-culling stage counts a quad strip's faces in quads, and a run of
// k quads holds the vertices and colour records of a triangle-strip run of
// 2k faces. Each function hands the named fill the batch as a triangle
// strip (kind 70, the run counts doubled; kind and runs restored after),
// quad q of a run being the strip's faces 2q and 2q + 1. With flat shading
// GL colours the whole quad by its last vertex (2q + 3) where the strip
// fills colour face f by its newest vertex (f + 2): the colour record of
// vertex 2q + 2 takes that of vertex 2q + 3 first (a record only a face
// of its own quad reads as provoking).
void _NvpRenderQStripFillAttr12KZ(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderQStripFillDepthKZ(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderQStripFillKZ(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderQStripTriTex(N_Context* pctx, N_Pipe* pipe);
void _NvpRenderQStripTriTexOpt(N_Context* pctx, N_Pipe* pipe);

// A word of the face-run list (CommonPipeData pFaceRuns) as the face-culling
// stage writes it: the 16-bit pair (code, face count), code in the low half.
// Codes: 1 first facing, 2 second facing, 4 faces to skip; a count of 0 ends
// the list.
constexpr ULONG N_FACE_RUN(ULONG code, ULONG count) { return (code & 0xFFFFu) | (count << 16); }
constexpr ULONG N_RUN_FIRST = 1, N_RUN_SECOND = 2, N_RUN_SKIP = 4;
// Room of the work buffers the strip fill reads: face-run words and 20-byte
// colour entries.
constexpr ULONG N_FACE_RUN_WORDS = 1026;

// Reads a face-run list face by face, in the order the culling stage wrote
// it; faces past the list's end count as drawn (first facing).
class N_FaceRunReader {
  public:
    explicit N_FaceRunReader(const ULONG* pRuns) : p_(pRuns), left_(pRuns != nullptr ? pRuns[0] >> 16 : 0) {}
    ULONG Next() {
        while (left_ == 0) {
            if (p_ == nullptr || (p_[r_] >> 16) == 0 || r_ + 1 >= N_FACE_RUN_WORDS) return N_RUN_FIRST;
            left_ = p_[++r_] >> 16;
        }
        --left_;
        return p_[r_] & 0xFFFFu;
    }

  private:
    const ULONG* p_;
    ULONG r_ = 0;
    ULONG left_;
};

// The faces n vertices of a polygonal kind make (a polygon: its fan's
// triangles), and the vertices of face f in drawing order, each keeping the
// primitive's winding (odd strip triangles have their first two swapped)
// unless bWinding is false (a strip's faces then in the strip's own order,
// as the outline and fill walks take them); answers the face's vertex count.
inline ULONG _NFaceCount(ULONG code, ULONG n) {
    switch (code) {
        case N_PRIM_TRIANGLES: return n / 3;
        case N_PRIM_QUADS: return n / 4;
        case N_PRIM_QUAD_STRIP: return n >= 4 ? (n - 2) / 2 : 0;
        default: return n > 2 ? n - 2 : 0;  // polygon, fan, triangle strip
    }
}
inline ULONG _NFaceVertices(ULONG code, ULONG f, ULONG* v, bool bWinding = true) {
    switch (code) {
        case N_PRIM_TRIANGLES: v[0] = 3 * f, v[1] = 3 * f + 1, v[2] = 3 * f + 2; return 3;
        case N_PRIM_QUADS: v[0] = 4 * f, v[1] = 4 * f + 1, v[2] = 4 * f + 2, v[3] = 4 * f + 3; return 4;
        case N_PRIM_QUAD_STRIP: v[0] = 2 * f, v[1] = 2 * f + 1, v[2] = 2 * f + 3, v[3] = 2 * f + 2; return 4;
        case N_PRIM_TRI_STRIP:
            v[0] = (f & 1) && bWinding ? f + 1 : f, v[1] = (f & 1) && bWinding ? f : f + 1, v[2] = f + 2;
            return 3;
        default: v[0] = 0, v[1] = f + 1, v[2] = f + 2; return 3;  // polygon, fan
    }
}
// The vertex whose colour face f of a flat-shaded primitive takes: the
// polygon's first, else the face's last in GL's order.
inline ULONG _NProvokingVertex(ULONG code, ULONG f) {
    switch (code) {
        case N_PRIM_POLYGON: return 0;
        case N_PRIM_TRIANGLES: return 3 * f + 2;
        case N_PRIM_QUADS: return 4 * f + 3;
        case N_PRIM_QUAD_STRIP: return 2 * f + 3;
        default: return f + 2;  // fan, triangle strip
    }
}
constexpr ULONG N_COLOUR_ENTRIES = 1026;

// --- selection rows -----------------------------------------------------------------------
// What a selector knows of the state when it chooses, as bits a row asks
// to be set or clear.
enum : ULONG {
    N_SEL_WIDE = 0x1,         // wider than the thin form (points 1.5, lines 1.0)
    N_SEL_AA = 0x2,           // antialiased lines
    N_SEL_STIPPLE = 0x4,      // stippled lines
    N_SEL_ALPHA = 0x8,        // the program carries alpha
    N_SEL_HEAVY = 0x10,       // alpha, wide or stippled
    N_SEL_LIST = 0x20,        // a line strip drawn as one list
    N_SEL_PER_VERTEX = 0x40,  // a colour per vertex
    N_SEL_SHADED = 0x80,      // the shaded constant-colour request
    N_SEL_ENABLES = 0x100,    // the enable word has 0x10 or 0x800 (depth or stencil work)
    N_SEL_ONE_QUEUE = 0x200,  // the board draws through one queue
    N_SEL_POLY_POINT = 0x400, // polygon mode point
    N_SEL_POLY_LINE = 0x800,  // polygon mode line
    N_SEL_TEXTURED = 0x1000,  // texturing
    N_SEL_TEX_OPT = 0x2000,   // one textured pass on a board of one rasterizer
    // The software path's conditions.
    N_SEL_SMOOTH_POINT = 0x4000,   // mode bit 27: antialiased points
    N_SEL_INDEX = 0x8000,          // colour-index mode
    N_SEL_ATTR_LINE = 0x10000,     // lines with texture, mode bits 0x8A or a colour per vertex
    N_SEL_AA_LINE = 0x20000,       // mode bit 28: antialiased lines
    N_SEL_DEPTH_LINE = 0x40000,    // mode bit 4 (depth test): lines whose fragments need depth (the depth-stepping stage)
    N_SEL_VERTEX_FORM = 0x80000,   // pipe word 118: outlines walked per vertex
};

// Kinds and layouts a row serves, as bit masks.
constexpr ULONG N_KIND(ULONG kind) { return 1u << (kind - N_PRIM_FIRST_DISPATCH); }
constexpr ULONG N_LAYOUT(ULONG d) { return 1u << d; }
constexpr ULONG N_ANY = 0xFFFFFFFFu;

struct N_SelectRow {
    ULONG kinds;    // N_KIND bits
    ULONG layouts;  // N_LAYOUT bits of the program's dataAttr
    ULONG set;      // N_SEL_ bits that must be set
    ULONG clear;    // and that must be clear
    ULONG slot;     // N_RenderSlot
};

// The slot of the first row that serves the kind, layout and conditions, or
// N_RF_NONE.
ULONG _NSelectSlot(const N_SelectRow* rows, std::size_t cRows, ULONG kind, ULONG layout, ULONG conditions);

// --- the render micro-code generator ----------------------------------------------------
// Builds the render program for the current fragment state into a program
// slot: flags, second flags, the requested layout and the texture pass
// (0-4). Answers non-zero on success; the slot's dataAttr is then valid.
typedef ULONG (*N_BuildProgramFn)(N_HwRecord* phw, kzRenderProg* prog, ULONG flags, ULONG flags2, ULONG request,
                                  ULONG pass);
// What the selectors call: kz2_ConstructKzUcode.
extern N_BuildProgramFn gpfnNBuildProgram;
