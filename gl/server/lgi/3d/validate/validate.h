// State validation: what the master validator derives from the state block
// and the bound buffers before a primitive or pixel operation runs, and the
// entry points of its steps. The derived records live in the context; this
// header needs only the context's name.
#pragma once

#include <array>

#include "lgi.h"

struct N_HwRecord;
struct N_PrimDispatch;
struct N_Pipe;

// --- the validator's steps -----------------------------------------------------------------
// One row of the master validator: the dirty bits that select it and the
// step. Rows run in table order; adding a step is adding a row.
typedef void (*N_ValidateFn)(N_Context* pctx);
struct N_ValidateRow {
    ULONG flMask;
    N_ValidateFn pfn;
    const char* pszName;
};
constexpr ULONG N_VALIDATE_STEPS = 15;
extern const std::array<N_ValidateRow, N_VALIDATE_STEPS> gaNValidateRows;

// The dirty bits that select the colour conversion step.
constexpr ULONG N_VALIDATE_COLOUR_MASK = N_DIRTY_CURRENT_COLOUR | N_DIRTY_TEXTURE | N_DIRTY_FRAGMENT |
                                         N_DIRTY_PIXEL_FORMAT | N_DIRTY_COLOUR_MODE | N_DIRTY_MATERIAL;

// The dirty bits each primitive kind's dispatch record takes from a
// validation (kinds 62-71; kind 61 takes none).
ULONG flPrimDirtyMask(ULONG kind);

// --- derived state ---------------------------------------------------------------------------
constexpr ULONG N_DRAW_BUFFERS_MAX = 4;

// The texture-coordinate generation block: the four coordinates' modes and
// planes as the vertex stages use them.
struct N_TexGen {
    ULONG mode[4];
    float plane[4][4];
    ULONG none;  // no coordinate is generated
};

// The sampling block of the bound texture.
struct N_TexSampling {
    float envColour[4];
    ULONG mipmap;         // mipmapped minification in force
    ULONG betweenLevels;  // blends between two levels (filter codes 3 and 5)
    ULONG minFilter;      // the codes in force (0-5)
    ULONG magFilter;
    ULONG minSampler;     // entries of the six-entry filter table
    ULONG magSampler;
    ULONG envFunction;    // entry of the four-entry environment table, or N_TEXENV_FOG
    ULONG envHwColour;    // the environment colour as a hardware colour word
    float switchOver;
    LONG limits[4];       // 1/16 texel: the texture's width and height, then the coordinates' offsets
    ULONG pointSample;
    ULONG samplerInForce; // the entry the software texture path samples with (the level choice sets it)
};
constexpr ULONG N_TEXENV_FOG = 4;  // the fog-aware environment function

// What a bound texture object tells the texture validation.
struct N_TextureFacts {
    ULONG attrSet;        // 0 the first texture attribute set (148-156), 1 the second
    ULONG width;          // level 0, without the border
    ULONG height;
    ULONG components;     // 1-4
    ULONG allLevelsLoaded;
    ULONG boardMipmaps;   // the board mip-maps
    ULONG format;         // the texture's format word
};

// The colour conversion: scales from float colours to pixels, the
// converter and per-run colour stage in force.
enum : ULONG {
    N_CONVERT_NONE = 0,
    N_CONVERT_RGBA = 1,    // RGBA to hardware
    N_CONVERT_INDEX8 = 2,  // colour index through the 8-bit map
    N_CONVERT_INDEX4 = 3,  // the 4-bit map
    N_CONVERT_INDEX1 = 4,  // one bit
};
struct N_ColourConversion {
    float scale[3];       // red premultiplied by 65536, green by 256
    // Added to each channel after the scale, in the channel's own units: at
    // 8 bits a pixel red 32 (one 3-bit step), because the 8-bit palette
    // shows red 0 to 255 at red steps 1 to 6 (steps 0 and 7 are the system
    // colours' black), as the texture conversion places red too.
    float offset[3];
    float reciprocal[3];
    ULONG channelMask[3];
    ULONG channelShift[3];
    ULONG converter;      // N_CONVERT_..., also the per-run colour stage's form
    ULONG hwColour;       // the current colour (or index) as the hardware colour word
    ULONG blend8;         // 8-bit blending with a factor pair the per-run stage handles
};

// Dither tables (256 bytes each) the validation selects.
enum : ULONG {
    N_DITHER_NEUTRAL = 0,
    N_DITHER_INDEX8 = 1,
    N_DITHER_RGB8 = 2,
    N_DITHER_RGB16 = 3,
};

// Entries of the stencil-operation slot table: operation codes of the
// software stencil operations (0-5), or the programmer-error report.
constexpr ULONG N_STENCIL_SLOT_ERROR = 0xFFFFFFFFu;
constexpr ULONG N_STENCIL_OP_LAST = 5;

// The eye-coordinate and normal stages the pipe builder inserts.
enum : ULONG {
    N_EYE_STAGE_NONE = 0,
    N_EYE_STAGE_AFFINE = 1,
    N_EYE_STAGE_GENERAL = 2,
};
enum : ULONG {
    N_NORMAL_STAGE_NONE = 0,
    N_NORMAL_STAGE_PLAIN = 1,      // the normal transform
    N_NORMAL_STAGE_NORMALISE = 2,  // transform and normalise
    N_NORMAL_STAGE_RESCALE = 3,    // rescale (model-space lighting from arrays)
};

struct N_Derived {
    // Steps run by the last validation: bit k for row k of gaNValidateRows.
    ULONG stepsRun;
    // Attributes 80-82 at the last validation (the first comparison fails).
    ULONG savedShade[3];

    // Buffers: draw colour buffers and their alpha buffers (slots, -1 none),
    // the read buffer.
    ULONG cDrawBuffers;
    LONG drawSlots[N_DRAW_BUFFERS_MAX];
    LONG alphaSlots[N_DRAW_BUFFERS_MAX];
    LONG readSlot;

    // The back faces' enable-flag word (the front one is N_Context.enableWord).
    ULONG enableBack;

    // Write masks and their complements.
    ULONG colourMask, colourMaskNot;
    ULONG alphaMask, alphaMaskNot;
    ULONG depthMask, depthMaskNot;
    ULONG stencilMask, stencilMaskNot;

    // Culling: two-sided, the two cull flags, the winding flag, and the four
    // attributes (46-49) they came from.
    ULONG twoSided;
    ULONG cullFront, cullBack;
    ULONG windingCw;
    ULONG savedCull[4];
    ULONG cullValid;  // savedCull holds a validation's values

    N_ColourConversion colour;
    N_TexGen texGen;
    N_TexSampling tex;
    ULONG stencilSlots[4];
    ULONG ditherTable;

    // Linear fog: start and end in the fog factor's depth measure.
    float fogStart;
    float fogEnd;

    ULONG spanMask;    // 15 with polygon smooth

    // Primitive transform set-up.
    ULONG transformMode;  // 1: rotation with uniform scale, lighting in model space
    ULONG eyeStage;       // N_EYE_STAGE_...
    ULONG normalStage;    // N_NORMAL_STAGE_...

    // Per-primitive set-up.
    ULONG lineState[3];
    ULONG vertexStep;         // also the common data's vertices from face to face
    ULONG firstVertexOffset;  // in vertices (the strip stages multiply by the vertex size)
    ULONG lightStage[11];     // the lighting stage chosen for each kind 61-71 (N_LIGHT_STAGE_...)

    // Polygon stipple: the pattern as the board takes it (rows last first,
    // bits reversed), and whether the scratch pixmap holds it.
    ULONG stipple[32];
    ULONG stippleReady;
    // The window alignment the pixmap holds it at: xa | ya << 8.
    ULONG stippleAlign;
};

// --- steps and helpers ---------------------------------------------------------------------
// The master validator: the steps the dirty bits select, in table order,
// then the dispatch records, the polygon stipple, the span mask and the
// depth shift. Clears the bits it validated from the context's dirty word.
void _NValidate(N_Context* pctx, ULONG flDirty);

void _NValDrawBuffer(N_Context* pctx);
void _NValReadBuffer(N_Context* pctx);

void _NValEnableFlags(N_Context* pctx);
void _NValWriteMasks(N_Context* pctx);
void _NValClipRects(N_Context* pctx);
void _NValCulling(N_Context* pctx);
void _NValStencilOps(N_Context* pctx);
void _NValTexGen(N_Context* pctx);
void _NValTexture(N_Context* pctx);
void _NValColour(N_Context* pctx);
void _NValColorMap(N_Context* pctx, ULONG depth);
void _NValDither(N_Context* pctx);
void _NValFogLinear(N_Context* pctx);
// The primitive transform set-up (transform mode, stage words, viewer
// vector, enabled lights); advances N_Transform.generation when the mode
// changes.
void _NPrimTransformSetup(N_Context* pctx);
// Its first part, which the matrix validator runs: the transform mode and
// the stage words.
void _NPrimTransformMode(N_Context* pctx);
// The per-primitive set-up of the kind a pipe is set up for (its common
// data's code, 62-71), run by the pipe set-up.
void _NValPrimCB(N_Context* pctx, N_Pipe* pipe);
// Copies the current colour into the materials colour material names.
void _NApplyColorMaterial(N_Context* pctx);
// Converts the current colour (index) into the hardware colour word with
// the converter in force.
void _NConvertCurrentColour(N_Context* pctx);

// Loads the board's dither matrix for a hardware record's context.
void _NLoadDither(N_HwRecord* phw);
// The dither tile's rectangle batch: the command body for a tile at board
// (x, y) in every rasterizer's copy. Answers the words written (at most
// N_DITHER_LOAD_WORDS).
constexpr ULONG N_DITHER_LOAD_WORDS = 2 + 4 * 4;
ULONG _NDitherLoadWords(ULONG pid, LONG x, LONG y, ULONG cRasterizers, ULONG* pulOut);

// Polygon stipple: the pattern prepared from N_ATTR_POLYGON_STIPPLE, the eight
// pattern words of one of the four passes (rows base 0 or 16), and the load.
void _NPrepareStipple(const ULONG* pulRows, ULONG* pulOut);
void _NStipplePassWords(const ULONG* pulPattern, ULONG rowBase, ULONG xa, ULONG ya, ULONG* pulOut);
void _NLoadPolygonStipple(N_Context* pctx);
// Loads the polygon stipple again when the draw buffer's place moved it
// off the window alignment the pixmap holds.
void _NRealignPolygonStipple(N_Context* pctx);
// Makes the context's stipple pixmap when it has none (the stipple was set).
void _NMakeStipplePixmap(N_Context* pctx);

// Sets up a new context's derived state.
void _NInitDerived(N_Context* pctx);
// The first draw colour buffer's bound record, or null.
GLBuffer* _NDrawBuffer(N_Context* pctx);
