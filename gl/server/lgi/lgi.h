// The lgi layer as the GL layer sees it: the rendering layer beneath the GL
// state. Every GL context owns one lgi context (N_Context); exactly one lgi
// context is current in the process, and every entry point but N_Init,
// N_CreateContext and N_DestroyContext works on that one. The GL layer
// changes rendering state only through the attribute setters below; they
// store the value and mark the state groups that must be validated again
// before the next primitive. Nothing here takes a lock: all lgi work runs
// under the display driver's csEscape.
//
// This header, with lgigl.h (what the lgi layer takes of the GL layer),
// is the whole contract: the GL layer includes no other header of the lgi
// layer, and the lgi layer none of the GL layer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lgigl.h"
#include "platform/kernel.h"

struct N_Context;    // an lgi rendering context

// --- memory ------------------------------------------------------------------------
// The layer's allocation hooks, process-wide. The defaults are LocalAlloc
// (fixed, zero-filled) and LocalFree.
typedef void* (*N_AllocFunc)(std::size_t cb);
typedef void (*N_FreeFunc)(void* pv);

// Installs the hooks; a null argument selects that hook's default.
void _NSetAllocFuncs(N_AllocFunc pfnAlloc, N_FreeFunc pfnFree);
// Allocates through the hook; on failure prints "_Nalloc: failed!" and
// answers null.
void* _Nalloc(std::size_t cb);
// Frees through the hook; a null pointer prints "_Nfree: NULL ptr!" and
// frees nothing.
void _Nfree(void* pv);

// --- start-up and shut-down -----------------------------------------------------------
// Starts the layer (DriverInit, with nulls and zeros): takes the work arena,
// installs the hooks, reads __qrnGLSpeedOverMemory and builds the stage
// table. When the arena cannot be had the layer stays down. A second call
// while the layer stands changes nothing.
void N_Init(N_AllocFunc pfnAlloc, N_FreeFunc pfnFree, ULONG ulUnused0, ULONG ulUnused1);
// Gives the work arena back (the server's unload hook); prints "_NFreeData".
void _NFreeData(void);

// --- contexts ---------------------------------------------------------------------------
// A new context for a visual with the given stereo flag, or null.
N_Context* N_CreateContext(ULONG ulStereo);
// Frees the context and everything it owns. The GL layer makes another
// context current before any further call on the current context.
void N_DestroyContext(N_Context* pctx);
// Two hooks the GL layer runs before N_DestroyContext; they do nothing.
void N_DeleteHookA(void);
void N_DeleteHookB(void);
// Makes the context current (its batch counter restarts when it was not);
// reloads the board's dither matrix when the context dithers.
void N_MakeCurrent(N_Context* pctx);

// --- attributes -------------------------------------------------------------------------
// Attribute ids (N_AttrId): 0-23 operations on the four small matrix stacks
// (id = 6 x stack + operation: 0 load entry 0 and reset the depth, 1 push,
// 2 pop, 3 load the top, 4 multiply the top, 5 push a value), 24 load the
// further matrix (N_ATTR_EXTRA_MATRIX), 25-29 unused, 30-168 state-block
// attributes.
// The stacks' roles: 0 the modelview M, 1 the projection, 2 the viewport
// matrix (P = top of 2 x top of 1), 3 the texture matrix; on a stereo board
// the further matrix is the second eye's projection, which takes stack 1's
// place (second eye = top of 2 x further matrix x M).
enum : ULONG {
    N_ATTR_STACK_FIRST = 0,
    N_ATTR_STACK_LAST = 23,
    N_ATTR_EXTRA_MATRIX_OP = 24,
    N_ATTR_FIRST = 30,
    N_ATTR_LAST = 168,
    N_ATTR_COUNT = 169,
};

// State-block attributes by name (N_AttrId), in id order, one row each: the
// name (N_ATTR_<name>) and the words the attribute holds. The attribute
// table (3d/context/attrtable.cpp) gives each its state-block word, dirty groups
// and default; the GL layer sizes what it exchanges by N_AttrWords. The
// RESERVED ones the layer holds but no request of the GL layer sets.
#define N_STATE_ATTRS(X) \
    X(MATRIX_STACK0, 33)             /* tops of the four matrix stacks (matrix, inverse, type word) */ \
    X(MATRIX_STACK1, 33) \
    X(MATRIX_STACK2, 33) \
    X(MATRIX_STACK3, 33) \
    X(EXTRA_MATRIX, 16)              /* the further matrix (stack operation 24) */ \
    X(RENDER_MODE, 1) \
    X(FEEDBACK_BUFFER, 4)            /* feedback or selection buffer record */ \
    X(TEXGEN_S, 1)                   /* texture-coordinate generation enables S, T, R, Q */ \
    X(TEXGEN_T, 1) \
    X(TEXGEN_R, 1) \
    X(TEXGEN_Q, 1) \
    X(TEXGEN_PLANE_S, 5)             /* texture-coordinate generation S..Q: mode word and plane (eye planes in eye space) */ \
    X(TEXGEN_PLANE_T, 5) \
    X(TEXGEN_PLANE_R, 5) \
    X(TEXGEN_PLANE_Q, 5) \
    X(NORMALIZE, 1) \
    X(TWO_SIDE, 1) \
    X(FRONT_FACE, 1) \
    X(CULL, 1) \
    X(CULL_MODE, 1) \
    X(CLIP_BOX, 4)                   /* the viewport clipped to the screen, inclusive corners */ \
    X(DEPTH_RANGE, 2) \
    X(COLOUR, 4)                     /* current colour, index, (RESERVED_54), normal, texture coordinates, edge flag */ \
    X(INDEX, 1) \
    X(RESERVED_54, 4) \
    X(NORMAL, 3) \
    X(TEXCOORD, 4) \
    X(EDGE_FLAG, 1) \
    X(FRONT_EMISSION, 4)             /* front material: emission, ambient, diffuse, specular, shininess, colour indexes */ \
    X(FRONT_AMBIENT, 4) \
    X(FRONT_DIFFUSE, 4) \
    X(FRONT_SPECULAR, 4) \
    X(FRONT_SHININESS, 1) \
    X(FRONT_AMBIENT_INDEX, 1) \
    X(FRONT_DIFFUSE_INDEX, 1) \
    X(FRONT_SPECULAR_INDEX, 1) \
    X(RESERVED_66, 3) \
    X(BACK_EMISSION, 4)              /* back material, as the front */ \
    X(BACK_AMBIENT, 4) \
    X(BACK_DIFFUSE, 4) \
    X(BACK_SPECULAR, 4) \
    X(BACK_SHININESS, 1) \
    X(BACK_AMBIENT_INDEX, 1) \
    X(BACK_DIFFUSE_INDEX, 1) \
    X(BACK_SPECULAR_INDEX, 1) \
    X(MODEL_AMBIENT, 4) \
    X(SEPARATE_FACES, 1)             /* 1: separate triangles count as separate faces */ \
    X(COLOUR_MATERIAL, 1) \
    X(COLOUR_MATERIAL_CODE, 1)       /* colour-material faces and parameter */ \
    X(LIGHTING, 1) \
    X(VIEWER, 1) \
    X(SHADE, 1)                      /* shade model (1 flat, 2 smooth) and its copies SHADE_COPY and SHADE_COPY2 */ \
    X(SHADE_COPY, 1) \
    X(COLOUR_INDEX_MODE, 1) \
    X(RESERVED_84, 6) \
    X(POINT_SIZE, 1) \
    X(LINE_WIDTH, 1) \
    X(LINE_STIPPLE, 1) \
    X(LINE_STIPPLE_REPEAT, 1) \
    X(SHADE_COPY2, 1) \
    X(POLYGON_STIPPLE, 32) \
    X(POLYGON_FRONT, 1) \
    X(POLYGON_BACK, 1) \
    X(RESERVED_93, 4) \
    X(POINT_SMOOTH, 1) \
    X(LINE_SMOOTH, 1) \
    X(POLYGON_SMOOTH, 1) \
    X(RASTER_POS, 4)                 /* current raster position, distance, colour, index, texture coordinates, valid */ \
    X(RASTER_DISTANCE, 1) \
    X(RASTER_COLOUR, 4) \
    X(RASTER_INDEX, 1) \
    X(RASTER_TEXCOORD, 4) \
    X(RASTER_POS_VALID, 1) \
    X(RESERVED_103, 1) \
    X(PIXEL_FORMAT, 11) \
    X(FOG, 1) \
    X(FOG_MODE, 1) \
    X(FOG_DENSITY, 1) \
    X(FOG_START, 1) \
    X(FOG_END, 1) \
    X(FOG_COLOUR, 4) \
    X(FOG_INDEX, 1) \
    X(RESERVED_112, 1) \
    X(STENCIL_TEST, 1) \
    X(STENCIL_FUNC, 3) \
    X(STENCIL_OP, 3)                 /* fail, depth-pass, depth-fail: the GL layer's order (its queries read it so) */ \
    X(ALPHA_TEST, 1) \
    X(ALPHA_FUNC, 2) \
    X(DEPTH_TEST, 1)                 /* 2 on, 1 off */ \
    X(DEPTH_FUNC, 1) \
    X(BLEND, 1) \
    X(BLEND_FUNC, 2) \
    X(DITHER, 1) \
    X(LOGIC_OP, 1) \
    X(LOGIC_OP_CODE, 1) \
    X(RESERVED_125, 1) \
    X(RESERVED_126, 1) \
    X(COLOUR_MASK, 1) \
    X(ALPHA_MASK, 1) \
    X(DEPTH_MASK, 1) \
    X(STENCIL_MASK, 1) \
    X(MAP_COLOUR, 1) \
    X(MAP_STENCIL, 1) \
    X(INDEX_SHIFT, 1) \
    X(INDEX_OFFSET, 1) \
    X(RED_SCALE, 1) \
    X(GREEN_SCALE, 1) \
    X(BLUE_SCALE, 1) \
    X(ALPHA_SCALE, 1) \
    X(DEPTH_SCALE, 1) \
    X(RED_BIAS, 1) \
    X(GREEN_BIAS, 1) \
    X(BLUE_BIAS, 1) \
    X(ALPHA_BIAS, 1) \
    X(DEPTH_BIAS, 1) \
    X(ZOOM_X, 1) \
    X(ZOOM_Y, 1) \
    X(TEXTURE, 1) \
    X(WRAP_S, 1)                     /* texture set s (0: 1D, 1: 2D): wrap S of set 0; wrap S and T of set 1 */ \
    X(WRAP_S1, 1) \
    X(WRAP_T1, 1) \
    X(MIN_FILTER, 1)                 /* set s: MIN_FILTER + 2s; the magnification filter follows */ \
    X(MAG_FILTER, 1) \
    X(MIN_FILTER1, 1) \
    X(MAG_FILTER1, 1) \
    X(BORDER_COLOUR, 4)              /* set s: BORDER_COLOUR + s */ \
    X(BORDER_COLOUR1, 4) \
    X(ENV_MODE, 1)                   /* set s: ENV_MODE + s */ \
    X(ENV_MODE1, 1) \
    X(ENV_COLOUR, 4)                 /* set s: ENV_COLOUR + s */ \
    X(ENV_COLOUR1, 4) \
    X(INDEX_MASK, 1) \
    X(READ_BUFFER, 1) \
    X(DRAW_BUFFER, 1) \
    X(CLEAR_COLOUR, 4) \
    X(CLEAR_INDEX, 1) \
    X(CLEAR_DEPTH, 1) \
    X(CLEAR_STENCIL, 1) \
    X(CLEAR_ACCUM, 4)

enum : ULONG {
    N_ATTR_BEFORE_FIRST = N_ATTR_FIRST - 1,  // the rows number on from N_ATTR_FIRST
#define N_ATTR_ID(name, words) N_ATTR_##name,
    N_STATE_ATTRS(N_ATTR_ID)
#undef N_ATTR_ID
};
// The words of each state-block attribute, by id less N_ATTR_FIRST.
inline constexpr ULONG N_ATTR_WORDS[] = {
#define N_ATTR_WIDTH(name, words) words,
    N_STATE_ATTRS(N_ATTR_WIDTH)
#undef N_ATTR_WIDTH
};
static_assert(sizeof N_ATTR_WORDS / sizeof N_ATTR_WORDS[0] == N_ATTR_LAST - N_ATTR_FIRST + 1,
              "one row per state-block attribute");
// The words of state-block attribute id (what N_SetStateBlockAttr reads and
// N_GetStateBlockAttr writes); 0 for an id outside 30-168.
constexpr ULONG N_AttrWords(ULONG id) {
    return id >= N_ATTR_FIRST && id <= N_ATTR_LAST ? N_ATTR_WORDS[id - N_ATTR_FIRST] : 0;
}
// The widest state-block attribute: a buffer of this many words takes any.
constexpr ULONG N_ATTR_WIDEST = [] {
    ULONG c = 0;
    for (ULONG w : N_ATTR_WORDS) c = w > c ? w : c;
    return c;
}();
// The matrix-stack operations (ids 0-23): 6 x stack + operation, the
// stacks 0 modelview, 1 projection, 2 viewport matrix, 3 texture.
enum : ULONG {
    N_STACK_LOAD_RESET = 0,  // load entry 0 and reset the depth
    N_STACK_PUSH = 1,
    N_STACK_POP = 2,
    N_STACK_LOAD = 3,        // load the top
    N_STACK_MULT = 4,        // multiply the top
    N_STACK_PUSH_VALUE = 5,
};
constexpr ULONG N_AttrStackOp(ULONG stack, ULONG op) { return 6 * stack + op; }
static_assert(ULONG{N_ATTR_MATRIX_STACK0} == ULONG{N_ATTR_FIRST} && ULONG{N_ATTR_CLEAR_ACCUM} == ULONG{N_ATTR_LAST});

// Dirty bits: the state groups an attribute store, a setter or a binding
// marks for validation (the attribute table gives each attribute's groups).
// Validation turns them into derived state before the next primitive.
enum : ULONG {
    N_DIRTY_MATRIX = 0x1u,              // matrix stacks and the further matrix (MATRIX_STACK0 .. EXTRA_MATRIX)
    N_DIRTY_RENDER_MODE = 0x2u,         // render mode
    N_DIRTY_SHADE = 0x4u,               // lighting on, viewer, shade model (LIGHTING .. SHADE_COPY)
    N_DIRTY_TEXGEN = 0x8u,              // coordinate generation (TEXGEN_S .. TEXGEN_PLANE_Q), texture words WRAP_S .. ENV_COLOUR1
    N_DIRTY_CULL = 0x10u,               // two-side, front face, cull enable and mode
    N_DIRTY_VIEWPORT = 0x20u,           // clip box, depth range
    N_DIRTY_EDGE_FLAG = 0x40u,          // edge flag
    N_DIRTY_MATERIAL = 0x80u,           // materials, colour indexes, light-model ambient (FRONT_EMISSION .. SEPARATE_FACES)
    N_DIRTY_COLOUR_MATERIAL = 0x100u,   // colour material and its code
    N_DIRTY_FEEDBACK_BUFFER = 0x200u,   // feedback or selection buffer
    N_DIRTY_COLOUR_MODE = 0x400u,       // colour-index mode (COLOUR_INDEX_MODE, RESERVED_84)
    N_DIRTY_POINT_SIZE = 0x800u,        // point size
    N_DIRTY_NORMALIZE = 0x1000u,        // normal normalising
    N_DIRTY_LINE = 0x2000u,             // line width and stipple (LINE_WIDTH .. SHADE_COPY2)
    N_DIRTY_POLYGON = 0x4000u,          // polygon stipple and modes
    N_DIRTY_SMOOTH = 0x8000u,           // point, line and polygon smooth (RESERVED_93 .. POLYGON_SMOOTH)
    N_DIRTY_RASTER_POS = 0x10000u,      // raster position and its attributes (RASTER_POS .. RESERVED_103)
    N_DIRTY_PIXEL_FORMAT = 0x20000u,    // N_ATTR_PIXEL_FORMAT
    N_DIRTY_FOG = 0x40000u,             // fog (FOG .. RESERVED_112)
    N_DIRTY_FRAGMENT = 0x80000u,        // stencil, alpha, depth, blend, dither, logic op (STENCIL_TEST .. RESERVED_126)
    N_DIRTY_WRITE_MASKS = 0x100000u,    // write masks and the index mask
    N_DIRTY_PIXEL_TRANSFER = 0x200000u, // pixel transfer and zoom (MAP_COLOUR .. ZOOM_Y)
    N_DIRTY_TEXTURE = 0x400000u,        // texture enable, minification filters, environment modes
    N_DIRTY_BUFFER_CODES = 0x800000u,   // read and draw buffer, clear values (READ_BUFFER .. CLEAR_ACCUM)
    N_DIRTY_LIGHTS = 0x1000000u,        // light records and their enables
    N_DIRTY_CLIP_PLANES = 0x2000000u,   // user clip planes
    N_DIRTY_TEXTURE_IMAGE = 0x4000000u, // a texture image loaded
    N_DIRTY_BUFFERS = 0x8000000u,       // buffer bindings
    N_DIRTY_CURRENT_COLOUR = 0x20000000u,  // current colour and index
    N_DIRTY_CLIP_LIST = 0x40000000u,    // the window's clip-rectangle list
    N_DIRTY_ALL = 0xFFFFFFFFu,
};

// Stores an attribute of the current context from pvValue (16 floats for the
// matrix operations that take one; nothing is read for push and pop). A value
// equal to the stored one marks nothing dirty. Answers the words stored (16
// or 0 for matrix operations, the attribute's word count otherwise), or 0 for
// an id outside the numbering ("N_SetStateBlockAttr: unknown opcode").
LONG N_SetStateBlockAttr(ULONG id, const void* pvValue);
// The same for a one-word attribute given by value; an attribute of more
// words is refused like an unknown id.
LONG N_SetStateBlockAttrWord(ULONG id, ULONG ulWord);
// Copies attribute id (30-168) of the current context to pvDest; other ids
// copy nothing. Answers -1.
LONG N_GetStateBlockAttr(ULONG id, void* pvDest);

// --- window clip list ---------------------------------------------------------------------
// Binds the window's clip rectangles: two words a rectangle, (ymin << 16) |
// xmin then (ymax << 16) | xmax, unsigned 16-bit halves, screen
// coordinates. No list or a count below 1 binds one all-zero rectangle.
// Answers the number of rectangles unpacked.
LONG N_BindClipList(LONG cRects, const ULONG* pulRects);
// Forgets the clip list: the built-in rectangle with a count of 0.
void N_ResetClipList(void);
// The clip rectangles are validated again before the next primitive.
void N_InvalidateClipRects(void);

// --- command stream -------------------------------------------------------------------------
// Runs cWords words of lgi commands (opcode word, then its argument words)
// against the current context. Commands that carry an address (16, 17, 22,
// 24) take it as two words, low half first. A command whose arguments the
// attribute table does not vouch for, or that runs past cWords, is refused
// and ends the stream. Answers 0, the completion token of the buffer.
ULONG N_DispatchPackets(const ULONG* pulWords, LONG cWords);
// Whether the work of a token is finished, and waiting for all work: both
// answer 1 (work is finished when the call that produced it returns).
ULONG N_PacketsDone(ULONG ulToken);
ULONG N_Sync(void);
// The window pixels of the filled triangles (polygons, quads and strips as
// their triangles) handed to the board since the layer started: each
// triangle's area, at most its bounding box held to the window's size.
std::uint64_t N_TrianglePixels(void);

// Opcodes of the command stream that the GL layer writes.
enum : ULONG {
    N_PKT_NOP = 14,
    N_PKT_SAVE_STATE = 16,      // address (2 words): the 430 state words are copied there
    N_PKT_GET_ATTR = 17,        // id, address (2 words)
    N_PKT_RESTORE_STATE = 22,   // address (2 words): 430 words copied in, all state dirty
    N_PKT_SET_ATTR = 23,        // id, table word, dirty bits, the attribute's words
    N_PKT_SET_ATTR_INDIRECT = 24,  // id, address (2 words); marks nothing dirty
    N_PKT_SET_STACK_ATTR = 25,  // id 0-24, unused word, dirty bits, 16 or 0 words
    N_PKT_RASTER_POS = 62,      // x, y, z, w
    N_PKT_DRAW_FIRST = 63,      // 63-71: format mask, vertex count, vertex data
    N_PKT_DRAW_LAST = 71,
    N_PKT_ACCUM = 78,           // operation, value
    N_PKT_CLEAR_ACCUM = 79,     // value
    N_PKT_OPCODES = 85,
};

// --- bound buffers and pixel operations -------------------------------------------------------
// Binds up to cBuffers descriptors of a null-terminated list to their slots
// by kind (colour, alpha, further planes, depth, stencil, accumulation);
// other kinds are ignored.
void N_BindBuffers(ULONG cBuffers, GLBuffer* const* ppBuffers);
// Empties the slots that each set bit (0-23) of the mask names.
void N_InvalidateBuffers(ULONG flMask);
// Clears the rectangle of every bound buffer the mask names (0x1, 0x2, 0x4,
// 0x8 colour, 0x100 depth, 0x200 stencil, 0x400 accumulation, 0x800 depth
// with stencil, 0x10000-0x80000 further planes). With bUseContext the value
// comes from the context's clear attributes, else ulValue.
void N_Clear(ULONG flMask, LONG x, LONG y, LONG cx, LONG cy, ULONG bUseContext, ULONG ulValue);
// The ancillary buffers' bits of those masks (and of the buffers a context
// asks to have bound).
enum : ULONG {
    N_BUFFER_DEPTH = 0x100u,
    N_BUFFER_STENCIL = 0x200u,
    N_BUFFER_ACCUM = 0x400u,
    N_BUFFER_DEPTH_STENCIL = 0x800u,
};
// Sets the raster position from one vertex (x, y, z, w).
void N_RasterPos(const float* pfVertex);
// The accumulation operation (0 ACCUM, 1 LOAD, 2 RETURN, 3 MULT, 4 ADD)
// with its value, and the accumulation buffer's clear, on the current
// context.
void N_Accum(ULONG op, float value);
void N_ClearAccum(ULONG ulValue);
// Draws a width x height image at the current raster position.
void N_DrawPixels(LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, const void* pvPixels);
// The columns [0] .. [2] - 1 and rows [1] .. [3] - 1 of a cx x cy image
// whose zoomed pixels can reach the window from the raster position: FALSE
// and all four 0 when none can (raster position invalid, not drawing, a
// zoom of 0, the image wholly outside).
BOOL N_DrawPixelsReach(LONG cx, LONG cy, LONG* plReach);
// Draws a cx x cy piece of a larger image whose first pixel is the image's
// column col and row row, as that part of the whole image drawn at the
// raster position; the piece at 0, 0 is drawn as N_DrawPixels draws.
void N_DrawPixelsPiece(LONG col, LONG row, LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, const void* pvPixels);
// Reads what the direct paths serve into pvDest; answers -1 (the GL layer
// reads the rest).
LONG N_ReadPixels(LONG x, LONG y, LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, void* pvDest);
// Copies a rectangle (source 0 colour, 1 stencil, 2 depth) to the raster
// position.
void N_CopyPixels(LONG x, LONG y, LONG cx, LONG cy, ULONG ulSource);
// Draws a width x height bitmap (rows of ceil(width / 8) bytes, first pixel
// in the top bit, rows tightly packed) at the raster position less the
// origin, then moves the raster position by (xmove, ymove). The GL layer
// calls it with a width and height above 0 outside selection mode.
void N_DrawBitmap(ULONG width, ULONG height, float xorig, float yorig, float xmove, float ymove,
                  const BYTE* pjBitmap);

// --- lights, user clip planes and pixel maps ---------------------------------------------------
// A light record: the layout of the context's lights and of the values the
// GL layer passes in (25 words). Spot direction and position are kept in
// eye coordinates.
struct N_Light {
    ULONG control;          // 0x1
    float ambient[4];       // 0x2
    float diffuse[4];       // 0x4
    float spotDirection[3]; // 0x10
    float position[4];      // 0x20
    float spotExponent;     // 0x40
    float spotCutoff;       // 0x80
    float constantAttenuation;   // 0x100
    float linearAttenuation;     // 0x200
    float quadraticAttenuation;  // 0x400
    float specular[4];      // 0x8
};
static_assert(sizeof(N_Light) == 100, "a light record is 25 words");

// Field bits of N_SetLight and N_GetLight.
enum : ULONG {
    N_LIGHT_CONTROL = 0x1,
    N_LIGHT_AMBIENT = 0x2,
    N_LIGHT_DIFFUSE = 0x4,
    N_LIGHT_SPECULAR = 0x8,
    N_LIGHT_SPOT_DIRECTION = 0x10,
    N_LIGHT_POSITION = 0x20,
    N_LIGHT_SPOT_EXPONENT = 0x40,
    N_LIGHT_SPOT_CUTOFF = 0x80,
    N_LIGHT_CONSTANT_ATTENUATION = 0x100,
    N_LIGHT_LINEAR_ATTENUATION = 0x200,
    N_LIGHT_QUADRATIC_ATTENUATION = 0x400,
};

// Copies cLights records (as given, no transform) and makes that the light
// count; the arrays grow when the count exceeds their capacity.
void N_SetLights(ULONG cLights, const N_Light* pLights);
// Updates the fields of light iLight (below the light count; other indexes
// are ignored) that flMask names. The spot direction and a position with
// w = 0 are carried to eye space by the upper 3x3 of the current modelview,
// a position with w != 0 by the whole modelview.
void N_SetLight(ULONG flMask, ULONG iLight, const N_Light* pValues);
// Copies the eye-space spot direction (0x10) and position (0x20) of light
// iLight into the same fields of *pOut; nothing else is written.
void N_GetLight(ULONG flMask, ULONG iLight, N_Light* pOut);
// The lights' enable words; a count of 0 or no words drops the array.
void N_SetLightEnables(ULONG cEnables, const ULONG* pulEnables);
// Stores cPlanes planes (four floats each), carried to eye space by the
// transpose of the inverse modelview.
void N_SetClipPlanes(ULONG cPlanes, const float* pfPlanes);
// Replaces plane iPlane (below the plane count) the same way.
void N_SetClipPlane(ULONG iPlane, const float* pfPlane);
// The planes' enable words (1 = enabled).
void N_SetClipPlaneEnables(ULONG cEnables, const ULONG* pulEnables);
// A pixel map as the GL layer hands it: map number 0-9, value count (at most
// N_PIXEL_MAP_VALUES), the values.
struct N_PixelMapDesc {
    ULONG map;
    ULONG cValues;
    const ULONG* pulValues;
};
constexpr ULONG N_PIXEL_MAP_VALUES = 32;
// Stores cMaps pixel maps; a map number above 9 or a count above 32 is
// refused (that map only).
void N_SetPixelMaps(ULONG cMaps, const N_PixelMapDesc* pMaps);

// --- texture images -----------------------------------------------------------------------
// The GL layer's record of one level of the 1D or 2D texture image, kept in
// its per-context level lists and read here when the level is loaded.
struct __GLXtexLevel {
    void* pvImage;          // 0 the unpacked image: width x height texels, rows back to back
    ULONG ulReserved;       // 1
    ULONG target;           // 2 0 one-dimensional, 1 two-dimensional
    ULONG width;            // 3 with the border
    ULONG height;           // 4 with the border (1 for 1D)
    ULONG type;             // 5 type code (0 UNSIGNED_BYTE .. 7 FLOAT)
    ULONG format;           // 6 format code (0 COLOR_INDEX, 3 RED .. 10 LUMINANCE_ALPHA)
    ULONG level;            // 7
    ULONG border;           // 8 0 or 1
    ULONG components;       // 9 1 to 4
    ULONG ulLoader;         // 10 the board loader's word
    __GLXtexLevel* pNext;   // 11 the next level of the list
};
// Loads a level into the board and the software texture cache of the
// current context: 0 when it was loaded, found or ignored, -1 when its
// sizes are refused.
LONG N_BindAttrMap(const __GLXtexLevel* pLevel);

// --- debug ---------------------------------------------------------------------------------
// Reports a state that should not arise; processing goes on.
void _NProgrammerError(void);

// --- vertex records ------------------------------------------------------------------------
// Between Begin and End the GL layer fills a vertex record: a descriptor over
// a command-stream packet (kind, mask, count, then the vertices, each with
// exactly the attributes of the record's mask in bit order). Attribute
// setters set current values; a position setter appends a vertex and fills
// every attribute not set since the previous vertex from it.
//
// Attribute bits of a record's mask (word counts in brackets): 0x1, 0x2
// per-primitive words [3 each]; 0x4, 0x8, 0x10 position [4]; 0x20 RGB [3];
// 0x40 RGBA [4]; 0x80 index [1]; 0x100 normal [3]; 0x200 facet plane [4];
// 0x400 texture coordinates [4]; 0x800-0x4000 front emission, ambient,
// diffuse, specular [4]; 0x8000 front shininess [1]; 0x10000-0x80000 back
// emission .. specular [4]; 0x100000 back shininess [1]; 0x200000-0x4000000
// front and back ambient, diffuse, specular colour indexes [1]; 0x8000000
// edge flag and 0x10000000 change mask, sharing one word (low 8 bits, upper
// 24 bits).
enum : ULONG {
    N_VTX_POS2 = 0x4,
    N_VTX_POS3 = 0x8,
    N_VTX_POS4 = 0x10,
    N_VTX_RGB = 0x20,
    N_VTX_RGBA = 0x40,
    N_VTX_INDEX = 0x80,
    N_VTX_NORMAL = 0x100,
    N_VTX_FACET = 0x200,
    N_VTX_TEXCOORD = 0x400,
    N_VTX_FRONT_EMISSION = 0x800,
    N_VTX_FRONT_AMBIENT = 0x1000,
    N_VTX_FRONT_DIFFUSE = 0x2000,
    N_VTX_FRONT_SPECULAR = 0x4000,
    N_VTX_FRONT_SHININESS = 0x8000,
    N_VTX_BACK_EMISSION = 0x10000,
    N_VTX_BACK_AMBIENT = 0x20000,
    N_VTX_BACK_DIFFUSE = 0x40000,
    N_VTX_BACK_SPECULAR = 0x80000,
    N_VTX_BACK_SHININESS = 0x100000,
    N_VTX_FRONT_COLOUR_INDEXES = 0x200000,  // ambient; diffuse and specular the next two bits
    N_VTX_BACK_COLOUR_INDEXES = 0x1000000,   // likewise
    N_VTX_EDGEFLAG = 0x8000000,
    N_VTX_CHANGEMASK = 0x10000000,
    N_VTX_ALL = 0x1FFFFFFF,
};

// Called when the record's buffer runs short (fewer than 144 words left
// after a vertex), with the argument given at allocation.
typedef void (*N_VertexFlushFn)(void* pvArg);

// The record (the GL layer reads vertexCount, perVertexMask and lastLayout).
struct N_VertexRecord {
    ULONG writeOffset;      // word index of the current-attribute area
    ULONG capacity;         // buffer size in words
    ULONG dataStart;        // 3: the first word after the packet header
    ULONG vertexCount;      // vertices appended so far
    ULONG perPrimMask;      // bits 0-1 present in this primitive
    ULONG perVertexMask;    // bits 2-28 present in every vertex
    ULONG changeMaskValue;  // the last change-mask word, shifted right by 5
    ULONG lastLayout;       // the mask of the vertex appended last
    ULONG changed;          // attributes set since the last vertex
    ULONG packed;           // the current-attribute area's form: 0 full, 1 packed
    float historyA[3];      // the older remembered position (facet planes)
    ULONG ulReserved0;
    float historyB[3];      // the newer one
    ULONG ulReserved1;
    ULONG facetGiven;       // cleared by every position setter
    ULONG perPrimGiven;
    N_VertexFlushFn pfnFlush;
    void* pvFlushArg;
    ULONG* pulBuffer;       // the packet being filled
    ULONG areaLayout;       // packed form: the mask the area is packed for
};

// A context's ring of 64 records, handed out round robin.
struct N_VertexRing;

// Takes the next record of the ring (*ppRing, allocated on first use) over
// a buffer of cjBuffer bytes for a primitive of the kind (63-71). Buffers
// of 576 bytes or less get no record: the callback (when given) is called
// once and null answered; null also when the ring cannot be had.
N_VertexRecord* _NAllocVertexRing(ULONG kind, ULONG* pulBuffer, ULONG cjBuffer, N_VertexFlushFn pfnFlush,
                                  void* pvFlushArg, N_VertexRing** ppRing);
void _NFreeVertexRing(N_VertexRing* pRing);

// Attribute setters; a null record is ignored.
void N_SetVertexColor3(N_VertexRecord* pvr, float r, float g, float b);
void N_SetVertexColor4(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexIndex(N_VertexRecord* pvr, float index);
void N_SetVertexNormal(N_VertexRecord* pvr, float x, float y, float z);
void N_SetVertexTexCoord(N_VertexRecord* pvr, float s, float t, float r, float q);
void N_SetVertexFrontEmission(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexFrontAmbient(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexFrontDiffuse(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexFrontSpecular(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexFrontShininess(N_VertexRecord* pvr, float shininess);
void N_SetVertexBackEmission(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexBackAmbient(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexBackDiffuse(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexBackSpecular(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexBackShininess(N_VertexRecord* pvr, float shininess);
void N_SetVertexFrontAmbientIndex(N_VertexRecord* pvr, float index);
void N_SetVertexFrontDiffuseIndex(N_VertexRecord* pvr, float index);
void N_SetVertexFrontSpecularIndex(N_VertexRecord* pvr, float index);
void N_SetVertexBackAmbientIndex(N_VertexRecord* pvr, float index);
void N_SetVertexBackDiffuseIndex(N_VertexRecord* pvr, float index);
void N_SetVertexBackSpecularIndex(N_VertexRecord* pvr, float index);
void N_SetVertexEdgeFlag(N_VertexRecord* pvr, ULONG flag);
void N_SetVertexChangeMask(N_VertexRecord* pvr, ULONG word);
// Position setters append a vertex: 1 when its layout differs from the
// record's per-vertex mask, else 0 (null record: 0).
ULONG N_SetVertexPos2(N_VertexRecord* pvr, float x, float y);
ULONG N_SetVertexPos3(N_VertexRecord* pvr, float x, float y, float z);
ULONG N_SetVertexPos4(N_VertexRecord* pvr, float x, float y, float z, float w);
// Appends a vertex copied from a packed source vertex of srcMask, as a
// vertex of mask (positions and RGB promoted); answers as the position
// setters.
ULONG N_AddVertices(N_VertexRecord* pvr, const ULONG* pulSource, ULONG srcMask, ULONG mask);
// Finishes the record dropping the last nDrop vertices: writes the packet
// header and, with emit, attribute-set packets for what is still current.
// Answers the word after what was written (null record: null).
ULONG* N_FinishVertexRecord(N_VertexRecord* pvr, ULONG nDrop, ULONG emit, ULONG release);
// The attributes set since the last vertex, packed: pointer, mask and size
// in bytes; null with size 0 when nothing changed.
const ULONG* N_GetCurrentAttrs(N_VertexRecord* pvr, ULONG* pMask, ULONG* pcb);
// Vertex i (1..count): pointer, mask and size in bytes; vertex 1 comes with
// the per-primitive words; outside 1..count null, 0, 0.
const ULONG* N_GetVertex(N_VertexRecord* pvr, ULONG i, ULONG* pMask, ULONG* pcb);
// The attribute (one bit) inside a packed vertex of the mask, or null with
// size 0 when the mask lacks it.
const ULONG* N_GetAttrPtr(ULONG bit, ULONG mask, const ULONG* pulVertex, ULONG* pcb);
// The words of a vertex of the mask (bits 27 and 28 share one word).
ULONG _NAttrMaskWords(ULONG mask);

// --- primitives from arrays -------------------------------------------------------------------
// A batch of vertices in arrays (the shared primitive segment), as the GL
// layer hands it to N_ExecPrimitive. Strides in bytes.
struct N_PrimDesc {
    ULONG kind;               // N_PrimKind 63-71
    ULONG count;              // vertices
    ULONG cStrips;            // 0: one strip of all vertices
    ULONG format;             // vertex-format mask
    ULONG andMask;
    const ULONG* pStripLengths;
    const ULONG* pFlags;
    const float* pPosition;
    const float* pColor;      // four floats a vertex
    const float* pIndex;      // one float a vertex
    const float* pNormal;
    const float* pTexCoord;
    ULONG flagStride;         // 4; 0 with one flag word for every vertex
    ULONG positionStride;     // 16
    ULONG colorStride;        // 16
    ULONG indexStride;        // 4
    ULONG normalStride;       // 12
    ULONG texCoordStride;     // 16
    const ULONG* pEdgeFlag;
    ULONG edgeFlagStride;     // 4
    ULONG singleFlags;        // the flag word when flagStride is 0
};
// Draws one batch from arrays.
void N_ExecPrimitive(const N_PrimDesc* pDesc);

// --- name stack, selection and feedback -------------------------------------------------------
constexpr ULONG N_NAME_STACK_DEPTH = 1024;
// A hit of selection: the callback's argument, the names on the stack, their
// count, and the hit's depth range (window depth, shifted by the context's
// depth shift).
typedef void (*N_SelectCallback)(void* pvArg, const ULONG* pNames, ULONG cNames, ULONG zMin, ULONG zMax);
// Empties the name stack; the next primitive reports a hit.
void N_InitNames(void);
// 1, or 0 when the stack is full (push) or empty (pop, load).
ULONG N_PushName(ULONG name);
ULONG N_PopName(void);
ULONG N_LoadName(ULONG name);
ULONG N_GetNameStackDepth(void);
void N_SetSelectCallback(N_SelectCallback pfn, void* pvArg);
// Feedback into a buffer of cWords values of the type (less GL_2D); its end
// stores the count of values written, -1 after an overflow, and returns to
// render mode.
void N_BeginFeedback(float* pBuffer, ULONG cWords, ULONG iType);
void N_EndFeedback(LONG* pcValues);
// Appends the pass-through token and the value to the feedback buffer while
// there is room, counting each.
void N_PassThrough(float value);
// Kicks the board queues; drains them.
void N_Flush(void);
void N_Finish(void);
