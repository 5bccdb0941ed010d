// The pixel paths of the layer: draw pixels, read pixels, copy pixels and
// bitmaps. A request fills one span record (the pixel pipe data), the set-up
// chooses buffers and per-pixel conversions and links the pixel stages, and
// the stages move one row at a time through fixed span arrays: nothing is
// allocated while pixels move.
#pragma once

#include "3d/pipes/pipes.h"

// lgi pixel format codes (the GL order of formats).
enum : ULONG {
    N_PIXFMT_INDEX = 0,
    N_PIXFMT_STENCIL = 1,
    N_PIXFMT_DEPTH = 2,
    N_PIXFMT_RED = 3,
    N_PIXFMT_GREEN = 4,
    N_PIXFMT_BLUE = 5,
    N_PIXFMT_ALPHA = 6,
    N_PIXFMT_RGB = 7,
    N_PIXFMT_RGBA = 8,
    N_PIXFMT_LUMINANCE = 9,
    N_PIXFMT_LUMINANCE_ALPHA = 10,
    N_PIXFMT_COUNT = 11,
};
// lgi pixel type codes.
enum : ULONG {
    N_PIXTYPE_UBYTE = 0,
    N_PIXTYPE_BYTE = 1,
    N_PIXTYPE_BITMAP = 2,
    N_PIXTYPE_USHORT = 3,
    N_PIXTYPE_SHORT = 4,
    N_PIXTYPE_UINT = 5,
    N_PIXTYPE_INT = 6,
    N_PIXTYPE_FLOAT = 7,
    N_PIXTYPE_COUNT = 8,
};
// The pixel request kinds besides those of pipes.h.
enum : ULONG { N_PRIM_READ_PIXELS = 58, N_PRIM_BITMAP = 60 };
// Buffer classes of the set-ups.
enum : ULONG { N_PIXCLASS_DEPTH = 1, N_PIXCLASS_STENCIL = 2, N_PIXCLASS_COLOUR = 3 };

// Pixel stages (slots of the stage table).
enum : ULONG {
    N_STAGE_SPAN_READ = 101,
    N_STAGE_PIXEL_RENDER = 102,
    N_STAGE_INDEX_MASK = 103,
    N_STAGE_READ_TRANSFER = 104,
    N_STAGE_DRAW_TRANSFER = 105,
    N_STAGE_PACK = 106,
    N_STAGE_CLIENT_FETCH = 107,
    N_STAGE_ZOOM = 108,
};

struct N_PixelSpan;
// Per-pixel conversions. Colour stores take a float pixel (four floats) and
// write element i of the channel arrays and the packed span; index stores an
// index; depth stores a depth value. Fetches turn the board word of element
// i into a float pixel (colour, depth in [0]).
typedef void (*N_PixColourStore)(N_Context* pctx, N_PixelSpan* ps, const float* pfIn, ULONG i);
typedef void (*N_PixIndexStore)(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i);
typedef void (*N_PixDepthStore)(N_Context* pctx, N_PixelSpan* ps, float fDepth, ULONG i);
typedef void (*N_PixFetch)(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut);
// An index conversion (shift and offset, or through the index map), with a
// bit mask.
typedef ULONG (*N_PixIndexConv)(N_Context* pctx, ULONG ulIndex, ULONG ulMask);
// A client row: unpack into the span, or pack out of it.
typedef void (*N_PixRowFn)(N_Context* pctx, N_PixelSpan* ps);

// The pixel pipe data of one request.
struct N_PixelSpan {
    ULONG kind;                // 57 draw, 58 read, 59 copy, 60 bitmap
    ULONG format;
    ULONG type;
    // Client side: the current row's pixels, their row length in bytes.
    const BYTE* pjSource;
    BYTE* pjDest;
    std::size_t cjSourceRow;
    std::size_t cjDestRow;
    ULONG width;               // pixels of the rectangle's rows (at most N_SPAN)
    ULONG rows;                // rows left to run
    ULONG count;               // pixels of the current span
    // Window side: the first pixel of the current row, the row step.
    LONG x, y;
    LONG rowStep;
    LONG srcX, srcY;           // read and copy: the source rectangle
    LONG dstRow;               // copy: the destination row
    // What the zoom stage hands on.
    LONG outX, outY;
    ULONG outCount;
    ULONG zoomYFrac, zoomYAcc; // 16-bit fractions, 65536 = one row
    LONG outRowStep;           // row step of a y-zoomed output
    // Span arrays: red, green, blue, alpha floats, the packed words, the
    // bitmap mask bytes, the depth words.
    float* apChannel[4];
    ULONG* pulPacked;
    BYTE* pjMask;
    ULONG* pulDepth;
    // Conversions.
    N_PixColourStore pfnStoreColour;
    N_PixIndexStore pfnStoreIndex;
    N_PixDepthStore pfnStoreDepth;
    N_PixFetch pfnFetch;
    N_PixIndexConv pfnIndexConv;
    N_PixRowFn pfnUnpack;
    N_PixRowFn pfnPack;
    ULONG srcMask, dstMask;    // 2^bits - 1 of the source and destination
    float storeScale[4];       // red, green, blue, alpha store scales
    float storeOffset[3];      // added to red, green, blue after the scale (the colour conversion's offset)
    const ULONG* pulDither;    // 8 x 8 dither words added to unpacked bytes, or null
    // Buffers.
    ULONG bufferClass;
    const N_BoundBuffer* pSource;
    const N_BoundBuffer* pSourceAlpha;
    const N_BoundBuffer* pDest;
    const N_BoundBuffer* pDestAlpha;
    // Bitmaps: the bits, the colour of the set bits and the raster depth.
    const BYTE* pjBitmap;
    float bitmapOrigin[2];     // x and y origin
    float bitmapMove[2];       // how far the raster position moves
    float bitmapColour[4];
    ULONG rasterDepth;
    // Depth data: the packed colour its fragments carry (the raster colour,
    // as a bitmap's set bits are drawn).
    ULONG rasterWord;
};

// The span of a read-pixels request: cx x cy pixels from window (x, y) into
// client rows at pvDest (3d/pixels/pixels.cpp).
N_PixelSpan _NReadPixelsSpan(LONG x, LONG y, LONG cx, LONG cy, ULONG format, ULONG type, void* pvDest);

// --- unpack and pack (pixpack.cpp) ------------------------------------------------------------
// Bytes of one component of a type (bitmap: 0).
ULONG _NPixTypeBytes(ULONG type);
// Bytes of one client row of a format and type (a bitmap row: whole bytes).
std::size_t _NPixRowBytes(ULONG format, ULONG type, ULONG width);
// The unpack scale of a type (float: 1.0), and its pack scale.
float _NUnpackScale(ULONG type);
double _NPackScale(ULONG type);
// clamp(v): a negative value (not -0.0) 0.0, above 1.0 1.0, else v; -0.0
// comes back as 0.0.
float _NPixClamp(float v);
// The client-row functions by format (type handled inside); null for a
// pair the tables do not take (bitmap other than index and stencil).
N_PixRowFn _NUnpackFn(ULONG format, ULONG type);
N_PixRowFn _NPackFn(ULONG format, ULONG type);
// The index shift-and-map of stencil and colour-index data, and the
// stencil mask form.
ULONG _NIndexShiftMap(N_Context* pctx, ULONG ulIndex, ULONG ulMask);
ULONG _NIndexShiftOffset(N_Context* pctx, ULONG ulIndex, ULONG ulMask);
ULONG _NStencilShiftMap(N_Context* pctx, ULONG ulIndex, ULONG ulMask);
ULONG _NStencilMaskOnly(N_Context* pctx, ULONG ulIndex, ULONG ulMask);
// shift(i) + offset of the context's index shift (133) and offset (134).
LONG _NIndexShifted(N_Context* pctx, ULONG ulIndex);
// Board-pixel conversion stages (103-107).
void _NStageIndexMask(N_Context* pctx, N_Pipe* pipe);
void _NStageShift16(N_Context* pctx, N_Pipe* pipe);
void _NStageShift4(N_Context* pctx, N_Pipe* pipe);
void _NStageUnpack332(N_Context* pctx, N_Pipe* pipe);
void _NStagePack332(N_Context* pctx, N_Pipe* pipe);
void _NStageDrawShift16(N_Context* pctx, N_Pipe* pipe);  // colour-index data of depth 8
void _NStageDrawShift4(N_Context* pctx, N_Pipe* pipe);   // and of depth 4
void _NStagePackDispatch(N_Context* pctx, N_Pipe* pipe);
void _NStageRowLoop(N_Context* pctx, N_Pipe* pipe);
void _NStageBitmapFetch(N_Context* pctx, N_Pipe* pipe);
// A 3-3-2 word to 8 bits a channel and back (top byte kept).
ULONG _NUnpack332(ULONG w);
ULONG _NPack332(ULONG w);
// The pixel map of a number (0 index, 1 stencil, 2-5 index to red, green,
// blue, alpha, 6-9 red, green, blue, alpha): its values and count (0 none).
const ULONG* _NPixelMapOf(N_Context* pctx, ULONG map, ULONG* pcValues);

// --- span stages (pixspan.cpp) ----------------------------------------------------------------
// The span arrays the conversions write into, and the zoom buffers.
float* _NPixChannel(ULONG c);
ULONG* _NPixPacked(void);
BYTE* _NPixMask(void);
ULONG* _NPixDepth(void);
// Points the span at the fixed span arrays.
void _NPixSpanArrays(N_PixelSpan* ps);
// Per-pixel conversions.
void _NStoreRGBA(N_Context* pctx, N_PixelSpan* ps, const float* pfIn, ULONG i);
void _NStoreRGBAMapped(N_Context* pctx, N_PixelSpan* ps, const float* pfIn, ULONG i);
void _NStoreIndexToRGBA(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i);
void _NStoreIndex(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i);
void _NStoreIndexMapped(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i);
void _NStoreStencil(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i);
void _NStoreStencilMapped(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i);
void _NStoreDepth(N_Context* pctx, N_PixelSpan* ps, float fDepth, ULONG i);
void _NFetchDepth(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut);
// Read fetches of colour pixels (blue byte 0 .. alpha byte 3): plain,
// through the colour maps, and in colour-index mode through the
// index-to-colour maps.
void _NFetchColour(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut);
void _NFetchColourMapped(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut);
void _NFetchColourIndexMode(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut);
// Zoom: the x replication into the zoom buffers (answers the pixels
// written, at most N_SPAN), and the y repetition of a row.
ULONG _NZoomReplicateX(N_PixelSpan* ps, float zx, LONG* pxStart);
ULONG _NZoomRepeatsY(N_PixelSpan* ps, float zy);
// Zoom stages (108).
void _NStageZoomNone(N_Context* pctx, N_Pipe* pipe);
void _NStageZoomX(N_Context* pctx, N_Pipe* pipe);
void _NStageZoomY(N_Context* pctx, N_Pipe* pipe);
void _NStageZoomXY(N_Context* pctx, N_Pipe* pipe);
// Span readers (101).
void _NStageReadSpans(N_Context* pctx, N_Pipe* pipe);
void _NStageCopySpans(N_Context* pctx, N_Pipe* pipe);
// The colour of a bitmap's set bits into ps->bitmapColour.
void _NBitmapColour(N_Context* pctx, N_PixelSpan* ps);
// ps->bitmapColour as the board's packed word: each channel rounded to the
// nearest level, alpha over the alpha store scale in the top byte.
ULONG _NBitmapColourWord(const N_PixelSpan* ps);

// The row transfers of copy pixels by buffer class.
void _NCopyRowColour(N_Context* pctx, N_PixelSpan* ps);
void _NCopyRowDepth(N_Context* pctx, N_PixelSpan* ps);
void _NCopyRowStencil(N_Context* pctx, N_PixelSpan* ps);

// --- set-up (pixsetup.cpp) --------------------------------------------------------------------
// The set-up of a pixel request (kind 57-60): buffers, conversions and the
// stage list; 0 when the request has no buffer to work on.
ULONG _NPixelSetup(N_Context* pctx, N_Pipe* pipe, N_PixelSpan* ps, N_StageList* pList);
// a + b held to the range of LONG: rows and columns of hostile requests
// step without overflow.
LONG _NPixAdd(std::int64_t a, std::int64_t b);
// The window row of a raster y: trunc(height - y), one less when exact.
LONG _NPixWindowRow(LONG height, float y);
