// The lgi layer's own records: the context with its state block, derived
// state, pipeline blocks and hardware records, the attribute table, the
// bound-buffer slots and the layer's process-wide data. Records that hold
// pointers keep their fields in the layer's order and take their natural
// size; the state block, the attribute table and the program words keep
// their word numbering.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <iterator>

#include "lgigl.h"
#include "glpdev.h"
#include "kz2queue.h"
#include "lgi.h"
#include "3d/validate/lightval.h"
#include "shared/software/swrecords.h"
#include "3d/validate/validate.h"

// --- state block ---------------------------------------------------------------------
constexpr ULONG N_STATE_WORDS = 430;
// The raster position's window z (0 near .. 1 far) in the units of the
// vertices' window z.
constexpr float kRasterDepthUnits = 16777215.0f;
// The bits of those units: window z runs 0 .. 2^24 - 1 whatever depth
// buffer is bound.
constexpr ULONG kWindowDepthBits = 24;

struct N_StateBlock {
    ULONG w[N_STATE_WORDS];
};


// One row of the attribute table: where the attribute lies and which state
// groups it dirties.
struct N_AttrRow {
    ULONG cWords;  // 0 for ids without an attribute
    ULONG iWord;   // first state-block word
    ULONG flDirty;
};
// Rows by N_AttrId (0-168); rows 0-29 are empty.
extern const std::array<N_AttrRow, N_ATTR_COUNT> gaNAttrTable;
// The attribute-table word of an id: word count << 16 | byte offset.
inline ULONG ulAttrDescriptor(ULONG id) {
    return (gaNAttrTable[id].cWords << 16) | (gaNAttrTable[id].iWord * 4);
}
// The state block of a new context.
extern const N_StateBlock gNDefaultState;

// Attribute ids (N_ATTR_...): the contract, lgi.h.

// A float attribute word.
inline float fNAttr(N_Context* pctx, ULONG id, ULONG i = 0);

// Render modes (attribute 35).
#define N_RENDER_MODE_RENDER 0u
#define N_RENDER_MODE_SELECT 1u
#define N_RENDER_MODE_FEEDBACK 2u

// The words of a state attribute of a context.
inline ULONG* pulAttr(N_Context* pctx, ULONG id);

// --- vertex layout -------------------------------------------------------------------------
// The words of each vertex-format bit 0-28 in a packed vertex, in bit
// order (the vertex records, the command stream's inline vertices and the
// size of a draw packet all read this one table); bits 27 and 28 share one
// word, which a mask with either or both takes once.
inline constexpr ULONG N_VTX_BIT_WORDS[29] = {3, 3, 4, 4, 4, 3, 4, 1, 3, 4, 4, 4, 4, 4, 4, 1,
                                              4, 4, 4, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1};
// The state-block attribute that holds the current value of each
// vertex-format bit 5-27 (0: none); RGB and RGBA share the colour, the
// facet plane (bit 9) has the word group after the index.
inline constexpr ULONG N_VTX_BIT_ATTR[29] = {
    0, 0, 0, 0, 0,
    N_ATTR_COLOUR, N_ATTR_COLOUR, N_ATTR_INDEX, N_ATTR_NORMAL, N_ATTR_RESERVED_54, N_ATTR_TEXCOORD,
    N_ATTR_FRONT_EMISSION, N_ATTR_FRONT_AMBIENT, N_ATTR_FRONT_DIFFUSE, N_ATTR_FRONT_SPECULAR, N_ATTR_FRONT_SHININESS,
    N_ATTR_BACK_EMISSION, N_ATTR_BACK_AMBIENT, N_ATTR_BACK_DIFFUSE, N_ATTR_BACK_SPECULAR, N_ATTR_BACK_SHININESS,
    N_ATTR_FRONT_AMBIENT_INDEX, N_ATTR_FRONT_DIFFUSE_INDEX, N_ATTR_FRONT_SPECULAR_INDEX,
    N_ATTR_BACK_AMBIENT_INDEX, N_ATTR_BACK_DIFFUSE_INDEX, N_ATTR_BACK_SPECULAR_INDEX,
    N_ATTR_EDGE_FLAG, 0,
};
// Whether an inline draw of the kind carries its per-primitive words (bits
// 0 and 1) once, ahead of the vertices (line strips, polygons and
// triangles), rather than with every vertex.
inline bool _NPerPrimWordsOnce(ULONG kind) { return kind == 64 || kind == 66 || kind == 67; }

// --- feedback --------------------------------------------------------------------------------
// Told after values were appended to the feedback buffer: the context, the
// buffer and the number of values counted so far.
typedef void (*N_FeedbackCallback)(N_Context* pctx, float* pBuffer, ULONG cValues);
// Attribute 36 while feedback runs.
struct N_FeedbackRecord {
    ULONG size;             // values the buffer holds
    ULONG address;          // low half of the buffer's address
    ULONG count;            // values counted, stored or not
    ULONG lastPassThrough;  // bits of the last pass-through value
};

// --- pipes -------------------------------------------------------------------------------
struct N_Pipe;
struct CommonPipeData;
struct N_PrimDispatch;
typedef void (*N_StageFn)(N_Context* pctx, N_Pipe* pipe);
// A selector answers the render function for the current state.
typedef N_StageFn (*N_SelectorFn)(N_Context* pctx, N_Pipe* pipe);

constexpr ULONG N_STAGES = 112;

// One chain of stages: slot k holds the stage that follows stage k.
struct N_Pipe {
    N_StageFn next[N_STAGES];         // 0-111 successors; 0 = the first stage
    CommonPipeData* pCommonPipeData;  // 112
    void* pFaceRecord;                // 113 this face's record in CommonPipeData
    void* pSpan;                      // 114 span record of the pixel paths
    ULONG ulReserved115;
    ULONG constantColour;             // 116 the render program takes one colour (its layout 8-10, 18-20)
    ULONG backInUse;                  // 117
    ULONG colourCopy;                 // 118
    float* pProvokingColour;          // 119
    ULONG colourMaterialMask;         // 120
    ULONG aulReserved121[4];
    ULONG mode;                       // 125 the enable word at set-up
    N_Pipe* pFront;                   // 126
    N_Pipe* pBack;                    // 127
    ULONG ulReserved128;
    ULONG dither;                     // 129
    ULONG aulReserved130[2];
};

// Where a face's colour and material values come from: a per-vertex array
// (step in bytes) or the context's current value (step 0).
struct N_Source {
    const void* p;
    ULONG step;
};

// A face's record inside CommonPipeData (front: words 123-145, back:
// 146-168): the sources of its colour and of its material properties. In
// colour-index mode ambient, diffuse and specular name the material's
// colour indexes.
struct N_FaceRecord {
    N_Source colour;     // 124 / 133
    N_Source emission;   // 127 / 135
    N_Source shininess;  // 128 / 136
    N_Source ambient;    // 129 / 137
    N_Source diffuse;    // 130 / 138
    N_Source specular;   // 131 / 139
};

// The batch of vertices as the transform stages leave it. No pipe runs on
// more than N_BATCH_POINTS vertices: that is checked where a batch enters
// (N_ExecPrimitive refuses a longer one, the stream's longer draws are split
// into batches of the kind's size, and the position stages, first of every
// vertex pipe, refuse what is longer still); the stages after them, and the
// pieces clipping makes (a polygon batch with a vertex more for each clip
// plane), take the strip's count as it is.
constexpr ULONG N_BATCH_POINTS = 1020;  // points and lines
constexpr ULONG N_BATCH_POLYGONS = 1008;
static_assert(N_BATCH_POLYGONS + 6 + 6 <= N_BATCH_POINTS, "a clipped polygon batch fits a batch");
constexpr ULONG N_ATTR_LIST_ITEMS = 13;  // words 27-53

// The data all stages of a block share. Word numbers are those of the
// pipeline's own numbering; pointer words take their natural size.
struct CommonPipeData {
    ULONG code;                   // 0 primitive code of the set-up
    ULONG format;                 // 1 vertex-format mask of the set-up
    ULONG primVertexCount;        // 2 vertices of the whole primitive
    ULONG stripCount;             // 3
    ULONG inlineBase;             // 4 inline layout: 0
    ULONG vertexWords;            // 5 inline layout: words a vertex
    ULONG stripVertexCount;       // 6 vertices of the current strip (the batch)
    ULONG faceCount;              // 7
    ULONG ulReserved8;
    ULONG nextVertex;             // 9 vertices from face to face
    ULONG ulReserved10;
    ULONG setupCode;              // 11
    ULONG setupFormat;            // 12
    ULONG carried;                // 13 vertices repeated by the next batch
    ULONG basicVertices;          // 14 vertices of one basic primitive
    ULONG batchSize;              // 15
    const ULONG* pStripCounts;    // 16
    N_Source position;            // 17 / 22
    N_Source normal;              // 18 / 23
    N_Source texCoord;            // 19 / 24
    N_Source flagWord;            // 20 / 25 per-vertex flag word (bits 27, 28)
    N_Source edgeFlag;            // 21 / 26
    N_Source attrList[N_ATTR_LIST_ITEMS];  // 27-53
    ULONG attrListWords;          // 54
    N_FaceRecord front;           // 123-145
    N_FaceRecord back;            // 146-168
    N_PrimDispatch* pDispatch;    // 169
    float* pClipPos;              // 171 clip-space positions (x, y, z, w)
    LONG* pWindow;                // 172 window coordinates (x, y, z)
    float* pEyePos;               // 173 eye-space positions
    ULONG* pOutcodes;             // 174
    float* pTexWork;              // 175 texture coordinates
    ULONG* pEdgeWords;            // 176 edge-flag words of the strip
    float* pColours;              // 177 four floats a vertex
    ULONG* pHwVertices;           // 178 five-word hardware vertex records
    ULONG* pFaceRuns;             // 180 (code, count) 16-bit pairs, count 0 ends
    ULONG* apSpan[8];             // 182-208 span arrays
    ULONG andOutcode;             // the batch's outcodes ANDed (63 when empty)
    ULONG orOutcode;              // and ORed
    ULONG first;                  // 217: 1, 0 while the later batches of a split primitive run
    ULONG splitting;              // 218
    ULONG stage14LeftOut;         // 219
    LONG modeCopies[4];           // 224-227 attributes 79-82 at the last set-up
    // The software path (shared/software/swspan.h): the record the primitive stage
    // hands on (N_SpanLine or N_SpanTri), the fragment span right behind
    // it, and the texture level record the span names.
    void* pCurPrim;
    N_FragSpan span;
    N_TexLod texLod;
};

struct N_PipeBlock {
    N_Pipe front;
    N_Pipe back;
    CommonPipeData common;
};

// One per primitive code 61-71.
struct N_PrimDispatch {
    ULONG dirtyMask;            // 0
    LONG status;                // 1: 2 hardware path, -7 none
    N_SelectorFn pfnSelector;   // 2
    N_StageFn pfnFacingTest;    // 3
    N_StageFn pfnPrimPath;      // 4
    N_StageFn pfnClipPath;      // 5
    ULONG materialFromCurrent;  // 6
    ULONG colourFromCurrent;    // 7
    N_StageFn pfnVertexStage;   // 8
};

// --- hardware records -----------------------------------------------------------------------
constexpr ULONG N_PROGRAM_SLOT_WORDS = 612;
constexpr ULONG N_PROGRAM_SLOTS = 4;  // standard, back-pipe, front textured, back textured
constexpr ULONG N_BATCH_PRIMS = 400;

struct N_HwRecord {
    ULONG board;                // the board word of the device record
    N_Context* pContext;        // the owner
    GLSRVDEVICE* pDevice;       // the GL server's device record
    ULONG batchCount;           // primitives left in the batch
    ULONG programs[N_PROGRAM_SLOTS][N_PROGRAM_SLOT_WORDS];
    KZ2QUEUEMGT qm;             // the queue manager
    ULONG* pStreamReset;        // where a finish leaves the queues' stream end
    ULONG pointWord;            // the point render functions' word, 0 after each point set-up
    ULONG singlePass;           // textured polygons take one pass of the standard program
    ULONG stereo;               // the visual's stereo flag
    ULONG grey;                 // the colours of the primitive are grey
    N_Pipe* pCurrentPipe;       // the pipe drawn last
};

// --- bound buffers ------------------------------------------------------------------------
constexpr ULONG N_BUFFER_SLOTS = 21;

// The bound-buffer slots (N_Context.buffers) the layer reads by name: each
// buffer kind binds to its own slot (3d/context/buffers.cpp). The left
// colour buffers lie in slots 0 and 1, the right ones (the second half of
// a stereo page) in 8 and 9; each colour buffer has its alpha plane in a
// slot of its own.
enum : ULONG {
    N_SLOT_FRONT_LEFT = 0,
    N_SLOT_BACK_LEFT = 1,
    N_SLOT_FRONT_LEFT_ALPHA = 2,
    N_SLOT_BACK_LEFT_ALPHA = 3,
    N_SLOT_DEPTH = 4,             // depth, or depth with stencil
    N_SLOT_STENCIL = 5,
    N_SLOT_ACCUM = 6,
    N_SLOT_FRONT_RIGHT = 8,
    N_SLOT_BACK_RIGHT = 9,
    N_SLOT_FRONT_RIGHT_ALPHA = 14,
    N_SLOT_BACK_RIGHT_ALPHA = 15,
};
// The colour buffers' slots, each with its alpha plane's: the one table
// every reader and writer of an alpha plane goes through (_NAlphaSlotOf).
struct N_ColourSlot {
    ULONG colour;
    ULONG alpha;
};
inline constexpr N_ColourSlot N_COLOUR_SLOTS[] = {
    {N_SLOT_FRONT_LEFT, N_SLOT_FRONT_LEFT_ALPHA},
    {N_SLOT_BACK_LEFT, N_SLOT_BACK_LEFT_ALPHA},
    {N_SLOT_FRONT_RIGHT, N_SLOT_FRONT_RIGHT_ALPHA},
    {N_SLOT_BACK_RIGHT, N_SLOT_BACK_RIGHT_ALPHA},
};
// The alpha plane's slot of a colour buffer's slot, -1 for any other slot:
// reads take the read buffer's alpha, writes the draw buffer's.
constexpr LONG _NAlphaSlotOf(LONG colourSlot) {
    for (const N_ColourSlot& s : N_COLOUR_SLOTS)
        if (colourSlot == static_cast<LONG>(s.colour)) return static_cast<LONG>(s.alpha);
    return -1;
}
// What an alpha plane holds of a fragment's alpha (0.0 .. 1.0): the byte
// 255 x alpha, truncated; 0 below 0.0 (and for NaN), 255 from 1.0 up.
inline ULONG _NAlphaByte(float alpha) {
    const float f = alpha * 255.0f;
    return f >= 255.0f ? 255u : f > 0.0f ? static_cast<ULONG>(f) : 0u;
}
// The alpha word a packet carries to a board alpha plane: the byte in each
// of the three colour lanes.
constexpr ULONG _NAlphaWord(ULONG alphaByte) { return alphaByte | alphaByte << 8 | alphaByte << 16; }
// The colour buffers a draw-buffer code (N_ATTR_DRAW_BUFFER) draws into, in
// drawing order, -1 after the last; none for a code without a row.
struct N_DrawCodeRow {
    ULONG code;
    LONG colour[4];
};
inline constexpr N_DrawCodeRow N_DRAW_CODE_ROWS[] = {
    {1, {N_SLOT_FRONT_LEFT, -1, -1, -1}},
    {2, {N_SLOT_FRONT_RIGHT, -1, -1, -1}},
    {4, {N_SLOT_BACK_LEFT, -1, -1, -1}},
    {8, {N_SLOT_BACK_RIGHT, -1, -1, -1}},
    {3, {N_SLOT_FRONT_LEFT, N_SLOT_FRONT_RIGHT, -1, -1}},
    {12, {N_SLOT_BACK_LEFT, N_SLOT_BACK_RIGHT, -1, -1}},
    {5, {N_SLOT_FRONT_LEFT, N_SLOT_BACK_LEFT, -1, -1}},
    {10, {N_SLOT_FRONT_RIGHT, N_SLOT_BACK_RIGHT, -1, -1}},
    {255, {N_SLOT_FRONT_LEFT, N_SLOT_FRONT_RIGHT, N_SLOT_BACK_LEFT, N_SLOT_BACK_RIGHT}},
    {0, {-1, -1, -1, -1}},  // any other code
};
constexpr const LONG* _NDrawCodeSlots(ULONG code) {
    for (const N_DrawCodeRow& row : N_DRAW_CODE_ROWS)
        if (row.code == code) return row.colour;
    return std::end(N_DRAW_CODE_ROWS)[-1].colour;
}

// The pid a packet or program names a board buffer by: the 16-bit pixmap
// id of its device record's format word (the surface's page block and
// pixel format); pidNone for a buffer without a device record (none bound,
// or one in host memory). The program builders replace an 0xFFFF pid by
// their default (kzPlacePid).
constexpr ULONG N_PID_NONE = 0xFFFFu;
inline ULONG _NPidOf(const GLBuffer* pb, ULONG pidNone = N_PID_NONE) {
    const auto* pdr = pb != nullptr ? static_cast<const GLDeviceRecord*>(pb->pDeviceRecord) : nullptr;
    return pdr != nullptr ? pdr->pid & 0xFFFFu : pidNone;
}

struct N_BoundBuffer {
    GLBuffer* pBuffer;     // the descriptor, or null
    BYTE* pjBase;          // host buffers: the pixels
    ULONG bytesPerPixel;   // host buffers: (bits + 7) / 8, 3 counted as 4
    ULONG pitch;           // host buffers: bytes a row
};

// --- name stack ---------------------------------------------------------------------------
constexpr ULONG N_NAMES = N_NAME_STACK_DEPTH;

struct N_NameStack {
    ULONG aulReserved[2];
    ULONG names[N_NAMES];
    ULONG hitPending;  // set when the names or the render mode change
    ULONG depth;
    N_SelectCallback pfnCallback;
    void* pvCallbackArg;
};

// --- matrices ------------------------------------------------------------------------------
// Matrices are 16 floats, row-major: element (r, c) is word 4r + c.
constexpr ULONG N_MATRIX_WORDS = 16;

// What the matrix validator and the window transform derive from the
// matrix stacks, the viewport, the depth range and the board.
struct N_Transform {
    ULONG modelViewChanged;   // stack 0 changed since the last validation
    ULONG projectionChanged;  // stacks 1-3 or the extra matrix changed
    float modelView[N_MATRIX_WORDS];         // M: the top of stack 0
    float modelViewInverseM[N_MATRIX_WORDS]; // its inverse; the identity when M has none
    const float* pModelViewInverse;          // the inverse, or null when M has none
    ULONG modelViewAffine;
    float projection[N_MATRIX_WORDS];        // P: top of stack 2 x top of stack 1
    float projectionInverseM[N_MATRIX_WORDS];
    const float* pProjectionInverse;
    ULONG projectionAffine;
    float combined[N_MATRIX_WORDS];          // K: P x M, then W x K (object to window)
    ULONG combinedAffine;
    float extraCombined[N_MATRIX_WORDS];     // the second eye: top of stack 2 x attribute 34 x M, then W' x that
    float cofactors[4];                      // of K's bottom row: det K = sum K[3][j] x cofactor j
    float pipeModelView[N_MATRIX_WORDS];     // the modelview the pipeline's eye stages use
    float window[N_MATRIX_WORDS];            // W
    float boundsF[6];                        // x min, y min, z min, x max, y max, z max
    LONG boundsI[6];                         // the same, truncated toward zero
    float fogInverse[N_MATRIX_WORDS];        // (W x P) inverse, fog on
    float fogLinear[4];                      // (W x P) (2,2), (2,3), (3,2), (3,3), linear fog
    ULONG generation;                        // written by the primitive transform set-up
};

// --- user clip planes -------------------------------------------------------------------------
// The pair that turns clip plane 0 onto a coordinate plane and back.
struct N_PlaneRotation {
    float forward[N_MATRIX_WORDS];
    float backward[N_MATRIX_WORDS];
};

// --- the context ------------------------------------------------------------------------------
constexpr ULONG N_PRIM_DISPATCH = 11;  // codes 61-71
constexpr ULONG N_PIPE_BLOCKS = 16;
constexpr ULONG N_HW_RECORDS = 16;
constexpr ULONG N_PIXEL_MAPS = 10;
constexpr ULONG N_LIGHT_CAPACITY = 34;
constexpr ULONG N_CLIP_PLANE_CAPACITY = 6;
constexpr std::size_t N_LIGHT_RECORDS_BYTES = 3500;
// One prepared record for each light the storage holds, and one more.
constexpr std::size_t N_LIGHT_WORK_BYTES = (N_LIGHT_CAPACITY + 1) * sizeof(N_PreparedLight);
constexpr std::size_t N_CLIP_PLANE_BYTES = 16;

// --- pixel maps -------------------------------------------------------------------------------
struct N_PixelMap {
    ULONG map;      // 0-9
    ULONG cValues;  // at most N_PIXEL_MAP_VALUES
    ULONG* pulValues;  // N_PIXEL_MAP_VALUES words (the context's apPixelMaps[map])
};
struct N_PixelMapRecord {
    N_PixelMap maps[N_PIXEL_MAPS];
};


// --- textures (texcache.cpp) ------------------------------------------------------------------
constexpr ULONG N_TEX_LEVELS = 12;
// The bound texture: the level-0 record's words with the interior sizes,
// and the board address of each level (0 when its load failed).
struct N_BoundTexture {
    const void* pvImage;
    ULONG target;      // 0 one-dimensional, 1 two-dimensional
    ULONG width;       // without the border
    ULONG height;
    ULONG type;
    ULONG format;
    ULONG level;
    ULONG border;
    ULONG components;
    ULONG boardAddress[N_TEX_LEVELS];
};

// --- the enable word ----------------------------------------------------------------
// The bits of the context's enable word (N_Context.enableWord, built by
// _NValEnableFlags; N_Derived.enableBack is the back faces' word): what the
// render paths, the generator and the pipes read of the fragment state.
// "Host" bits say the buffer lies in host memory, where only the software
// stages reach it. A pipe's mode word starts as a copy (N_MODE_..., pipes.h).
enum : ULONG {
    KZ_EN_DRAW = 0x1,                 // rendering (not selecting or feeding back) into a draw buffer
    KZ_EN_FOG = 0x2,                  // fog, while drawing
    KZ_EN_COLOUR_HOST = 0x4,          // the draw buffer in host memory
    KZ_EN_ALPHA_BUFFER = 0x8,         // the draw buffer has an alpha plane
    KZ_EN_DEPTH = 0x10,               // the depth test, with a depth buffer
    KZ_EN_DEPTH_HOST = 0x40,          // the depth buffer in host memory
    KZ_EN_ALPHA = 0x80,               // fragments carry alpha (blend, alpha test, a host alpha plane)
    KZ_EN_ALPHA_HOST = 0x200,         // the alpha plane in host memory
    KZ_EN_TEXTURE = 0x400,            // texturing, with a texture bound (RGBA)
    KZ_EN_STENCIL = 0x800,            // the stencil test, with a stencil buffer
    KZ_EN_STENCIL_HOST = 0x1000,      // the stencil buffer in host memory
    KZ_EN_BLEND = 0x2000,             // blending (RGBA)
    KZ_EN_ALPHA_TEST = 0x4000,
    KZ_EN_POLY_MODE5 = 0x8000,        // the face's polygon mode 5
    KZ_EN_POLY_POINT = 0x10000,       // the face's polygon mode 0 (points)
    KZ_EN_STIPPLED_FILL = 0x20000,    // the face's polygon mode 3 (stippled fill)
    KZ_EN_POLY_LINE = 0x100000,       // the face's polygon mode 1 (lines)
    KZ_EN_MASKED = 0x400000,          // a colour or index write mask short of the buffer's bits
    KZ_EN_NO_DEPTH_WRITES = 0x800000,
    KZ_EN_NO_ALPHA_WRITES = 0x1000000,
    KZ_EN_NO_STENCIL_WRITES = 0x2000000,
    KZ_EN_LINE_STIPPLE = 0x4000000,   // a line stipple other than solid
    KZ_EN_POINT_SMOOTH = 0x8000000,
    KZ_EN_AA_LINES = 0x10000000,      // antialiased lines (line smooth, or the board's own setting)
    KZ_EN_LOGIC_OP = 0x40000000,      // a logic operation other than copy
};
// The polygon-mode bits, one of which each face's word carries.
constexpr ULONG KZ_EN_POLY_MODES = KZ_EN_POLY_MODE5 | KZ_EN_POLY_POINT | KZ_EN_STIPPLED_FILL | KZ_EN_POLY_LINE;

struct N_Context {
    ULONG aulReserved0[2];
    N_StateBlock sb;
    ULONG aulReserved1[2];

    // Derived state (zero at creation but where said).
    ULONG dirty;  // all ones at creation
    ULONG aulOnes[2];
    N_PrimDispatch prim[N_PRIM_DISPATCH];
    ULONG cClipRects;
    ULONG* pulPackedClip;  // two words a rectangle
    ULONG* pulLightEnable;
    void* pLights;
    void* pLightWork;
    ULONG cLights;
    ULONG cLightsEnabled;
    ULONG cLightCapacity;
    ULONG cLightEnableCapacity;
    float* pClipPlanes;      // four floats a plane
    ULONG* pulClipPlaneEnable;
    ULONG cClipPlanesEnabled;
    ULONG cClipPlanes;
    ULONG cClipPlaneCapacity;
    ULONG cClipPlaneEnableCapacity;
    ULONG anyClipPlane;
    ULONG clipPlane0Only;
    ULONG feedbackType;
    N_BoundBuffer buffers[N_BUFFER_SLOTS];
    void* pPixelMapRecord;
    void* apPixelMaps[N_PIXEL_MAPS];
    N_NameStack* pNameStack;
    ULONG oneShotList;
    ULONG fromExecPrimitive;  // the last primitive came through N_ExecPrimitive
    ULONG enableWord;
    ULONG aaLines;            // BCF_AA_LINES of the board at creation
    ULONG* pulDecodedClip;    // four words a rectangle: xmin, ymin, xmax, ymax
    ULONG builtinDecoded[4];
    ULONG builtinPacked[2];
    float depthScale;         // depth value to buffer units, and back
    float depthScaleInv;
    float alphaScale;         // alpha to the alpha buffer's units, and back
    float alphaScaleInv;
    void* apScratchPixmap[2];
    ULONG scratchRefused;     // the render programs' scratch pixmap could not be made (said once)
    void* pTexCache;          // the texture cache, once a texture is loaded

    N_HwRecord* pHw;  // the current hardware record
    N_PipeBlock blocks[N_PIPE_BLOCKS];
    N_PipeBlock* pBlock;  // the current pipeline block
    LONG viewportCache[8];  // -1 at creation: the first comparison fails
    N_HwRecord hw[N_HW_RECORDS];

    // Matrices, and the plane-0 rotation pair (identity until plane 0 is set).
    N_Transform xf;
    N_PlaneRotation plane0;

    // Selection: the running window-depth range of the open hit, the shift
    // applied to reported depths, and the values the range restarts from
    // after each report.
    float selectMin;
    float selectMax;
    ULONG hitOpen;
    ULONG selectDepthShift;
    float selectMinStart;  // the largest float at creation
    float selectMaxStart;  // the lowest float at creation
    // Feedback: the buffer attribute 36 describes (its address word holds
    // only the low half of the address on this machine), and the function
    // told each time values have been appended, or null.
    float* pFeedbackBuffer;
    N_FeedbackCallback pfnFeedbackFlush;

    // Choices of validation that the per-primitive set-up copies into the
    // pipes (validation writes them; zero at creation).
    ULONG drawingOff;           // nothing is drawn: no vertex stages are linked
    ULONG eyePositions;         // eye-space positions are needed (stage 8 runs)
    ULONG altVertexPath;        // the alternative vertex path (stages 32, 34)
    ULONG backMaterial;         // the back pipe takes the colour-material mask's back half
    ULONG multiRect;            // the clip list's rectangles are drawn one pass each
    ULONG texEnv;               // the texture environment word of the bound texture
    ULONG texFormat;            // the bound texture's format word
    ULONG rasterColour;         // the raster colour stands in for the current colour
    float rasterColourValue[4];
    N_StageFn pfnLightStage;    // stage 9
    N_StageFn pfnColourStage;   // stage 30: the colour conversion
    ULONG setupByStream;        // the last set-up was made for the command stream
    ULONG setupStale;           // the next primitive sets its pipe up again
    ULONG winding;              // front face (attribute 47) is 0: strips start their faces turned
    ULONG queueMode;            // 1 while the board draws through one queue
    ULONG texFilters[2];        // the bound texture's minification and magnification filter codes
    ULONG texLevelMarks;        // the bound texture's level marks (63: six coloured levels)
    N_BoundTexture boundTex;    // valid while texBound is set
    ULONG texBound;             // a level 0 was loaded
    ULONG texLevels;            // levels of the bound texture
    float* const* ppTexLevels;  // the current cache entry's level images (first interior texel each)
    // The window-clip mask: while clipControl is set the render programs of
    // filled polygons draw only where the context's scratch pixmap holds a
    // non-zero mask: the polygon stipple, which the validation loads and
    // then sets clipControl (clipType 2 names a clip kind the programs
    // cannot test; nothing sets it). Zero at creation.
    ULONG clipControl;
    ULONG clipType;
    // What the micro-code generator leaves for the textured render functions.
    ULONG texAlpha;             // layout 13 sends alpha words for colour words (always 0: see kz2ucode.h)
    ULONG texPidIndex;          // pid position of the texture level in the standard program
    ULONG texWeightIndex;       // first level-weight constant, in words from image word 2

    // Words of the pass stages and the render paths.
    ULONG secondHalf;   // 1 during the second pass of the stereo-halves stage: y + cySurface
    ULONG rightEye;     // non-zero while a stereo batch is drawn for the right eye
    ULONG stripParity;  // bit 0: the batch's first strip goes on at an odd face
    N_StageFn pfnLineStage;  // the software line stage the pair stage of separate lines feeds
    ULONG lineStippleCount;  // GL's stipple counter where the last batch of line segments left it

    // What validation derives (state validation, lighting validation).
    N_Derived val;
    N_Lighting lit;
};

inline ULONG* pulAttr(N_Context* pctx, ULONG id) { return &pctx->sb.w[gaNAttrTable[id].iWord]; }
inline float fNAttr(N_Context* pctx, ULONG id, ULONG i) { return __glXWordFloat(pulAttr(pctx, id)[i]); }
// Every kind re-selects its pipe and render function.
inline void _NForceReselect(N_Context* pctx) {
    for (N_PrimDispatch& pd : pctx->prim) pd.dirtyMask = N_DIRTY_ALL;
}
// The line width and point size the rasterizers draw with: as the
// application set them, held to the largest the server answers
// (GL_LINE_WIDTH_RANGE, GL_POINT_SIZE_RANGE), so that no width costs more
// than the widest the range allows.
constexpr float kNLargestWidth = 256.0f;
inline float fNLineWidth(N_Context* pctx) {
    const float f = fNAttr(pctx, N_ATTR_LINE_WIDTH);
    return f < kNLargestWidth ? f : kNLargestWidth;
}
inline float fNPointSize(N_Context* pctx) {
    const float f = fNAttr(pctx, N_ATTR_POINT_SIZE);
    return f < kNLargestWidth ? f : kNLargestWidth;
}

// --- process-wide -----------------------------------------------------------------------------
// The current context; never null: before the first N_MakeCurrent it names
// a marker no context equals.
extern N_Context* gpNCurrent;
N_Context* pNNoContext();
inline bool bNHaveContext() { return gpNCurrent != pNNoContext(); }

// The speed-over-memory switch (facet normals while vertices are appended).
extern LONG glNSpeedOverMemory;

// The store behind N_SetStateBlockAttr and command-stream opcode 23: compares
// before storing, ORs the dirty bits on a change. Answers the word count.
LONG _NSetSBAttr(N_Context* pctx, ULONG id, ULONG ulDescriptor, ULONG flDirty,
                 const ULONG* pulWords);
// A matrix-stack operation (ids 0-24) with the caller's dirty bits; answers
// the data words it consumed (0, 16), or -1 when it refused the operation.
LONG _NSetSBStackAttr(N_Context* pctx, ULONG op, ULONG flDirty, const ULONG* pulData);
// The dirty bits of a matrix-stack operation id (0-24).
ULONG flStackDirty(ULONG op);
// Whether an operation reads a 16-word value.
bool bStackOpTakesValue(ULONG op);

// --- matrices (matrix.cpp, matrixval.cpp) ------------------------------------------------------
// out = a x b (row i of a times the columns of b); out may be a or b.
void _NMatMul4(const float* a, const float* b, float* out);
// Inverts m into out by Gauss-Jordan elimination with partial pivoting: 1,
// or 0 when m has no inverse (a zero pivot, or values that are not finite);
// out is then the identity.
ULONG _NMatInvert4(const float* m, float* out);
// Words 12-14 are zero (either sign) and word 15 is 1.0.
ULONG _NMatAffine(const float* m);
void _NMatIdentity(float* out);
// f truncated toward zero; beyond the range of LONG the nearest end, NaN 0.
LONG _NTruncToLong(float f);
// out_r = row r of m . v (four components).
void _NTransformVec4(const float* v, float* out, const float* m);
// The upper 3x3 of m times v: out_r = row r of m . (x, y, z).
void _NTransformDir3(const float* v, float* out, const float* m);

// Sets up a new context's derived matrices: both changed flags set.
void _NInitTransform(N_Context* pctx);
// Step 1 of the matrix validator: M, its affine flag and inverse, when the
// modelview changed.
void _NValModelView(N_Context* pctx);
// The matrix validator (M, P, K, the extra combined matrix, the flags and
// the cofactors).
void _NValMatrices(N_Context* pctx);
// The window transform: W from the viewport, the draw buffer's origin, the
// stereo eye, the board's precision and the depth range; then the matrix
// validator, the fog and clip-plane forms, K = W x K.
void _NValWindowTransform(N_Context* pctx);

// What the window transform reads of the board (the display driver's
// device record and its board configuration).
struct N_BoardFacts {
    ULONG flags;             // BCF_... of the board configuration
    ULONG modelImprecision;  // non-zero: window coordinates in 28.4 units
    ULONG stereoPages;       // the page configuration runs stereo
    LONG cyRightEye;         // y offset of the right eye's image (the surface height)
};
// The board facts of the context's device.
N_BoardFacts _NBoardFactsOf(N_Context* pctx);
// The window transform with the board facts given.
void _NWindowTransform(N_Context* pctx, const N_BoardFacts& board);
// The first draw colour buffer's slot by the draw-buffer code (attribute
// 163) and the bound slots, or -1.
LONG _NFirstDrawSlot(N_Context* pctx);
// The bound colour slots the draw-buffer code draws into, in order; their count.
ULONG _NDrawSlots(N_Context* pctx, LONG (&slots)[4]);
// Makes an array of the context hold c elements of cbEach bytes: 1 when it
// already does, 2 when new storage replaced it (the old contents are gone),
// 0 when storage cannot be had (the old array stays).
ULONG _NGrowArray(void** ppv, ULONG* pcCapacity, ULONG c, std::size_t cbEach);
// Rebuilds the plane-0 rotation pair from an eye-space plane.
void _NBuildPlaneRotation(const float* pfPlane, N_PlaneRotation* pRot);

// --- clip list (cliplist.cpp) ----------------------------------------------------------------
// Whether the bound clip list shows no pixel: no rectangle, or only empty
// ones (a window that shows nothing is bound as one all-zero rectangle).
bool _NClipListEmpty(const N_Context* pctx);

// --- selection (select.cpp) ----------------------------------------------------------------
// The select stage's work on one batch of n vertices (x, y, z, w, stride in
// floats): with a hit pending, the window depths z / w widen the open hit;
// when the batch ends the whole primitive an open hit is reported and
// closed (n 0 with bWholePrim: close what the primitive's batches opened).
void _NSelectBatch(N_Context* pctx, const float* pfVertices, ULONG cStride, ULONG n, ULONG bWholePrim);


// --- feedback (feedback.cpp) ----------------------------------------------------------------
N_FeedbackRecord _NFeedbackRecordOf(N_Context* pctx);
// Appends one value to the feedback buffer: stored while the buffer has
// room, counted always, so that a count above the size marks the overflow.
void _NFeedbackPut(N_Context* pctx, N_FeedbackRecord* pr, float value);
// Keeps the count of the record in attribute 36 without marking state dirty
// (the pipeline counts as it runs) and tells the feedback callback.
void _NFeedbackDone(N_Context* pctx, const N_FeedbackRecord& r);

// The top entry of matrix stack k (0 modelview, 1 projection, 2 viewport,
// 3 texture).
const float* _NMatrixStackTop(N_Context* pctx, ULONG k);

// --- command stream -----------------------------------------------------------------------
// The words of an inline draw command of the given kind (opcode word not
// counted): format mask, count, the vertices and the per-primitive words.
std::uint64_t _NPacketDrawWords(ULONG kind, ULONG format, ULONG n);

// --- clear values ---------------------------------------------------------------------------
// The value a colour buffer of the given bits is filled with: below 24 bits
// masked to 0x7fffff.
ULONG ulNClearColourValue(ULONG bits, ULONG ulValue);
// The value the depth buffer is filled with: 0 for a clear depth not above
// 0, the buffer's largest value from 1.0 on, else the depth scaled to the
// buffer with bUseContext, or ulValue.
ULONG ulNClearDepthValue(float fDepth, ULONG bits, ULONG bUseContext, ULONG ulValue);

// --- pixel zoom -----------------------------------------------------------------------------
// How many times each of a run of pixels or rows is repeated for a zoom
// (its absolute value): the integer part, and one more each time the 16-bit
// fraction (65535 = one pixel) carries.
struct N_ZoomStep {
    explicit N_ZoomStep(float zoom);
    ULONG Next();
    ULONG ulInt;
    ULONG ulFrac;
    ULONG ulAcc = 65535 / 2;  // pixel centres: half a step in
};
// One row of cSrc pixels zoomed by zx into pulOut (at most cMax pixels, each
// masked to 24 bits, mirrored for a negative zoom); answers the pixels
// written.
ULONG _NZoomRow(const ULONG* pulSrc, ULONG cSrc, float zx, ULONG* pulOut, ULONG cMax);
// The direct paths of draw and copy pixels.
void _NDirectDrawPixels(N_Context* pctx, LONG cx, LONG cy, ULONG ulFormat, ULONG ulType,
                        const void* pvPixels);
void _NDirectCopyPixels(N_Context* pctx, LONG x, LONG y, LONG cx, LONG cy, ULONG ulSource);
