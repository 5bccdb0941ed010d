// Pipelines: the stage table, the pipes linked from lists of stage numbers,
// the per-primitive set-up, batch splitting, and the vertex stages of this
// layer (transform, clip test).
//
// A stage is called with (context, pipe); stage k, when done, calls
// pipe->next[k] with the same two arguments. A pipe holds its own copied
// links: no stage reads the process-wide table while it runs.
#pragma once

#include "3d/context/arena.h"

// Stage numbers: the slots of N_StageTable and of every pipe.
enum N_StageId : ULONG {
    N_STAGE_HEAD = 0,             // pipe word 0: the first stage
    N_STAGE_WRITE_BACK = 2,       // per-vertex attributes made current (format bit 28)
    N_STAGE_EDGE_GATHER = 3,      // edge flags of the strip into word 176
    N_STAGE_STEREO_HEAD = 4,      // both eyes
    N_STAGE_POSITION = 7,         // transform, window coordinates, outcodes
    N_STAGE_EYE = 8,              // eye-space positions
    N_STAGE_LIGHT = 9,
    N_STAGE_ARRAY = 10,           // texture-coordinate transform
    N_STAGE_FACING = 11,          // facing test of polygon lists
    N_STAGE_VERTEX = 14,          // per-kind vertex stage (dispatch word 8)
    N_STAGE_STRIPS = 15,          // strip runner
    N_STAGE_SELECT = 16,
    N_STAGE_FOG = 18,
    N_STAGE_FEEDBACK = 20,
    N_STAGE_STEREO_HALVES = 23,
    N_STAGE_RECTANGLES = 24,
    N_STAGE_RENDER = 25,          // the render function, or the software raster stage
    N_STAGE_STIPPLE_RESET = 27,
    N_STAGE_WIDE_LINE = 28,
    N_STAGE_FLOAT_COLOUR = 29,
    N_STAGE_COLOUR_CONVERT = 30,
    N_STAGE_WHOLE_FETCH = 32,     // alternative vertex path: positions only
    N_STAGE_CLIP_TEST = 33,
    N_STAGE_PROJECT = 34,         // alternative vertex path: window coordinates, outcodes
    N_STAGE_TEXCOORD = 35,
    N_STAGE_COLOUR_MATERIAL = 37,
    N_STAGE_SW_TEXTURE = 38,
    N_STAGE_POLYGON_RASTER = 63,
    N_STAGE_SPAN_RASTER = 65,
    N_STAGE_PIXEL_PATH = 70,
    N_STAGE_READ_ALPHA_STENCIL = 74,
    N_STAGE_READ_DEPTH = 76,      // the destination depth of a pixel rectangle's span
    N_STAGE_SPAN_COLOUR = 79,
    N_STAGE_SPAN_FILL = 86,
    N_STAGE_ALPHA_TEST = 87,
    N_STAGE_STENCIL_TEST = 88,
    N_STAGE_STENCIL_UPDATE = 89,
    N_STAGE_DEPTH_TEST = 90,
    N_STAGE_BLEND = 91,
    N_STAGE_DITHER_PACK = 94,
    N_STAGE_LOGIC_OP = 95,
    N_STAGE_WRITE_COLOUR = 97,
    N_STAGE_WRITE_STENCIL = 100,
    N_STAGE_EMPTY = 110,
    N_STAGE_END = 111,            // the empty stage that ends every chain
};

// Primitive codes (N_PrimKind) the pipes know.
enum : ULONG {
    N_PRIM_DRAW_PIXELS = 57,
    N_PRIM_COPY_PIXELS = 59,
    N_PRIM_FIRST_DISPATCH = 61,
    N_PRIM_RASTER_POS = 62,
    N_PRIM_POINTS = 63,
    N_PRIM_LINE_STRIP = 64,
    N_PRIM_LINES = 65,
    N_PRIM_POLYGON = 66,
    N_PRIM_TRIANGLES = 67,
    N_PRIM_QUADS = 68,
    N_PRIM_FAN = 69,
    N_PRIM_TRI_STRIP = 70,
    N_PRIM_QUAD_STRIP = 71,
};

// Mode-word bits of a pipe (word 125): it starts as a copy of the context's
// enable word (KZ_EN_..., 3d/context/context.h), whose bits keep their
// meaning here, and the pipe builder gives bits 0x2, 0x10, 0x100 and
// 0x200000 the pipe's own.
enum : ULONG {
    N_MODE_FRAGMENTS = KZ_EN_DRAW,
    N_MODE_WIDE_LINES = 0x2,
    N_MODE_PIXEL_PATH = 0x100,
    N_MODE_DEPTH_TEST = KZ_EN_DEPTH,  // the depth test is on, over a depth buffer
    N_MODE_TEXTURE = KZ_EN_TEXTURE,
    N_MODE_STENCIL = KZ_EN_STENCIL,
    N_MODE_BLEND = KZ_EN_BLEND,
    N_MODE_ALPHA_TEST = KZ_EN_ALPHA_TEST,
    N_MODE_POLY_POINT = KZ_EN_POLY_POINT,
    N_MODE_SPAN_FILL = KZ_EN_STIPPLED_FILL,
    N_MODE_POLY_LINE_VERTEX = KZ_EN_POLY_LINE,
    N_MODE_POLY_LINE_PRIM = 0x200000,
    N_MODE_POLY_LINE = N_MODE_POLY_LINE_VERTEX | N_MODE_POLY_LINE_PRIM,
    N_MODE_STIPPLE = KZ_EN_LINE_STIPPLE,
    N_MODE_LOGIC_OP = KZ_EN_LOGIC_OP,
};

// Vertex-format bits the pipes read besides those of lgi.h.
enum : ULONG {
    N_FMT_PER_PRIM = 0x3,
    N_FMT_COLOURS = 0x60,
    N_FMT_FRONT_EMISSION = 0x800,
    N_FMT_FRONT_AMBIENT = 0x1000,
    N_FMT_FRONT_DIFFUSE = 0x2000,
    N_FMT_FRONT_SPECULAR = 0x4000,
    N_FMT_FRONT_SHININESS = 0x8000,
    N_FMT_BACK_EMISSION = 0x10000,
    N_FMT_BACK_SHININESS = 0x100000,
    N_FMT_MATERIALS = 0x07FFF800,
};

// --- the stage table (stagetable.cpp) ----------------------------------------------------
// The name of a stage slot, for reports ("position", "render", ...).
const char* _NStageName(ULONG stage);
// The stage of a slot whose function is not built yet: it says so
// ("lgi stage <n> (<name>): not available yet") and calls nothing, so
// nothing is drawn from a half-built pipe.
N_StageFn _NStageMissing(ULONG stage);
// For each position i from first to count - 2: pipe->next[list[i]] =
// N_StageTable[list[i + 1]]. Answers the last stage number linked
// (count - 1 when nothing is linked).
ULONG _NLinkPipe(N_Context* pctx, N_Pipe* pipe, ULONG first, ULONG count, const ULONG* list);

// --- set-up (pipes.cpp) ---------------------------------------------------------------------
constexpr ULONG N_STAGE_LIST_MAX = 64;
// A list of stage numbers, first entry 0 (pipe word 0).
struct N_StageList {
    ULONG c = 0;
    ULONG stages[N_STAGE_LIST_MAX];
    void Add(ULONG k) {
        if (c < N_STAGE_LIST_MAX) stages[c++] = k;
    }
};
// The stage list of a pipe for the context's state, the code and format
// (the pipe's mode word already adjusted); installs the per-primitive
// stages it lists in N_StageTable.
void _NBuildStageList(N_Context* pctx, N_Pipe* pipe, ULONG code, ULONG format, N_StageList* pList);
// Per-primitive set-up: sources, face records, mode words and both pipes'
// links for the code and format.
void _NValPrimPipe(N_Context* pctx, N_Pipe* pipe, ULONG code, ULONG format);
// Runs a primitive of more vertices than its batch size in batches, each
// later batch repeating the vertices its kind carries over.
void _NRunBatches(N_Context* pctx, N_Pipe* pipe);
// Per-primitive values of a code: batch size, vertices of one basic
// primitive, vertices carried over.
ULONG _NBatchSize(ULONG code);
ULONG _NBasicVertices(ULONG code);
ULONG _NCarriedVertices(ULONG code);
// The face count of a polygonal kind for *pn vertices, *pn cut to whole
// faces where the kind needs it.
ULONG _NPrimFaceCount(ULONG kind, ULONG* pn);

// Fixed stages of the pipes.
void _NStageWriteBack(N_Context* pctx, N_Pipe* pipe);     // 2
void _NStageEdgeGather(N_Context* pctx, N_Pipe* pipe);    // 3
void _NStageSelect(N_Context* pctx, N_Pipe* pipe);        // 16
void _NStageClipTest(N_Context* pctx, N_Pipe* pipe);      // 33

// --- feedback mode (feedbackstage.cpp) ----------------------------------------------------
// Stage 20: the batch's points, line segments or polygons (by the code of
// the set-up and the pipe's polygon mode) as tokens and vertices into the
// feedback buffer; then the feedback callback.
void _NStageFeedback(N_Context* pctx, N_Pipe* pipe);
// Stage 15 in feedback mode: each strip wholly inside the clip volume goes
// on to the feedback stage; a strip that leaves it goes to the kind's
// primitive path, which clips it.
void _NFeedbackStripRunner(N_Context* pctx, N_Pipe* pipe);

// --- transform stages (xform.cpp) -----------------------------------------------------------
// Stage 7 forms.
void _NXformPos2(N_Context* pctx, N_Pipe* pipe);
void _NXformPos3Render(N_Context* pctx, N_Pipe* pipe);
void _NXformPos3RenderAffine(N_Context* pctx, N_Pipe* pipe);
void _NXformPos3Select(N_Context* pctx, N_Pipe* pipe);
void _NXformPos3SelectAffine(N_Context* pctx, N_Pipe* pipe);
void _NXformPos4(N_Context* pctx, N_Pipe* pipe);
// Stage 8 forms (eye-space positions by the pipeline's modelview).
void _NEyePos2(N_Context* pctx, N_Pipe* pipe);
void _NEyePos3(N_Context* pctx, N_Pipe* pipe);
void _NEyePos4(N_Context* pctx, N_Pipe* pipe);
// Stage 32 forms and stage 34 (the alternative vertex path).
void _NWholeFetch2(N_Context* pctx, N_Pipe* pipe);
void _NWholeFetch3(N_Context* pctx, N_Pipe* pipe);
void _NWholeFetch4(N_Context* pctx, N_Pipe* pipe);
void _NStageProject(N_Context* pctx, N_Pipe* pipe);
// The stage-7 form for a format and the context's mode and affine flag.
N_StageFn _NPositionStage(N_Context* pctx, ULONG format);
N_StageFn _NEyeStage(N_Context* pctx, ULONG format);
N_StageFn _NWholeFetchStage(ULONG format);

// Window coordinate of a projected value: truncated toward zero (render
// forms) or rounded to nearest (the others); NaN and values outside the
// 32-bit range give the integer-indefinite 0x80000000.
LONG _NWindowTrunc(float f);
LONG _NWindowRound(float f);
constexpr LONG N_WINDOW_INDEFINITE = static_cast<LONG>(0x80000000u);
// Window x and y no view volume produces: beyond 2^24 pixels of the origin.
// Their 28.4 form (sixteenths, 2^28 at most) and the sums, differences and
// products of two differences the render functions and the span
// rasteriser take of them all fit their integer words.
constexpr LONG N_WINDOW_FAR_PIXELS = LONG{1} << 24;
// Whether a vertex's window coordinates (x, y, z; x and y in sixteenths
// when bSixteenths) may be drawn: none is the indefinite value (a NaN or
// infinite coordinate) and x and y lie within N_WINDOW_FAR_PIXELS. Every
// render function and software stage asks it of each vertex before its
// coordinates become 28.4 or fixed-point words, and draws no primitive
// with a vertex that fails; the batch's other primitives are drawn.
inline bool _NWindowDrawable(const LONG* win, bool bSixteenths) {
    const LONG lim = bSixteenths ? N_WINDOW_FAR_PIXELS * 16 : N_WINDOW_FAR_PIXELS;
    return win[0] >= -lim && win[0] <= lim && win[1] >= -lim && win[1] <= lim && win[2] != N_WINDOW_INDEFINITE;
}
// The outcode of a homogeneous vertex against the context's bounds (63 for
// w = 0), and of a vertex already divided by w.
ULONG _NClipOutcode(const N_Context* pctx, const float* v);
ULONG _NClipOutcodeW1(const N_Context* pctx, const float* v);

// --- math (xform.cpp) -------------------------------------------------------------------------
void _NMatMulSelf3x3(const float* a, float* out);
void _NTransformPoints(const float* in, float* out, ULONG count, const float* m, ULONG stride);
void _NTransformVec3(const float* m, const float* v, float* out);
void _NTransformVec3T(const float* v, float* out, const float* m);
void _NVec3Scale(float s, const float* v, float* out);
void _NVec3Normalize(float* v);
float _NSqrt(float x);
float _NCos(float x);
ULONG _NLowestBit(ULONG x);

// --- format bits (fetch.cpp) ---------------------------------------------------------------------
// The state-block attribute a format bit (5-26) leaves current, 0 for none.
ULONG _NAttrOfBit(ULONG bit);
// Where the batch keeps the values of a vertex-format bit (2-26), or null.
N_Source* _NSourceOfFormatBit(CommonPipeData& c, ULONG bit);

// --- debug (comutil) ----------------------------------------------------------------------------
// Non-zero: every primitive kind (points to quad strips) is drawn through
// the software stages, as if no render function served it (for tests that
// compare the two paths).
extern ULONG gNForceSoftwarePaths;
void _NFloatToText(float value, char* buffer, LONG digits);
void _NDumpMatrix(const char* label, const float* m, LONG digits);
void _NZeroWords(ULONG* words, ULONG count);
