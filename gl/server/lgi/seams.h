// What the lgi layer's context, command stream and pixel entry points call
// of the layer's other parts: validation, pipeline set-up, the vertex
// stages, primitive execution, the render paths' fills and accumulation,
// feedback, the texture cache, the board side of validation and the board
// fields of the display driver's device record. Each declaration names the
// file that defines it.
#pragma once

#include "3d/context/context.h"

// --- validation ------------------------------------------------------------------------
// The clear colour (N_ATTR_CLEAR_COLOUR) packed by the RGBA converter for a
// colour buffer of its depth (3d/validate/validate_colour.cpp).
ULONG _NPackedClearColour(N_Context* pctx, const GLBuffer* pBuffer);
// The colour converters of the vertex stages: a colour (four floats) or an
// index (one float) as the hardware colour word, by converter
// (N_CONVERT_...) (3d/pipes/vstage.cpp).
ULONG _NColourToHardware(N_Context* pctx, ULONG converter, const float* pfSource);
// The bound texture's facts for the sampling validation: 1, or 0 when no
// texture is bound (3d/textures/texcache.cpp).
ULONG _NBoundTextureFacts(N_Context* pctx, N_TextureFacts* pFacts);
// Whether drawing into a buffer needs one pass per clip rectangle whatever
// the buffer: 1 for a buffer in board memory, whose surface holds every
// window's buffer of its kind (3d/validate/validate.cpp).
ULONG _NSurfaceNeedsRects(const GLBuffer* pBuffer);
// The board side of the dither load: the display driver loads the matrix
// into its tile and the tile's rectangle (_NDitherLoadWords) goes to every
// rasterizer; the dither marker then says so (3d/context/board.cpp).
void _NBoardLoadDither(N_HwRecord* phw);
// One pass of the polygon stipple load into the scratch pixmap: the 16 rows
// from rowBase, the cell of columns from cell, as eight pattern words
// replicated over the pixmap. 1 when it was loaded (3d/queue/stipple.cpp).
ULONG _NBoardStipplePass(N_HwRecord* phw, void* pvPixmap, ULONG rowBase, ULONG cell, const ULONG* pulWords);
// The pid of the stipple tile inside a stipple pixmap: pidForm (the
// pixmap's pid as the render programs give it) as a tile pid naming a
// 32 x 32 square of the pixmap on its space's 32-pixel grid, whose pixel
// at a fragment's position is the pattern's bit there; 0xFFFF without a
// pixmap (3d/queue/stipple.cpp).
ULONG _NStippleTilePid(const void* pvPixmap, ULONG pidForm);
// A 128 x 128 scratch pixmap of the context's device, or null
// (3d/queue/stipple.cpp).
void* _NCreateScratchPixmap(N_Context* pctx);

// --- per-primitive set-up ----------------------------------------------------------------
// The lighting stage function of a lighting stage code (N_LIGHT_STAGE_...).
N_StageFn _NLightingStageFn(ULONG stage);

// The dither marker of the board the hardware record draws on (the
// display driver's iPatternUniq): N_DITHER_MARKER while the dither matrix
// is loaded; 0 without a board (3d/context/board.cpp).
constexpr ULONG N_DITHER_MARKER = 0xdeadbabeu;
ULONG _NDitherMarker(N_HwRecord* phw);

// --- pipelines --------------------------------------------------------------------------
// Sets up the context's pipeline blocks and its per-kind dispatch records.
void _NInitPipeBlocks(N_Context* pctx);
void _NInitPrimPipes(N_Context* pctx);
// Validate-then-draw entry of the pixel, bitmap and raster paths (57-62).
void _NValidateAndDraw(N_Context* pctx, void* pvSpan, ULONG code, ULONG format);

// --- render-function selection ---------------------------------------------------------------
// The selectors of the dispatch records: each writes the record's status (2
// hardware, -7 software) and answers the render function, or null.
N_StageFn _NValPointPipeRenderFcn(N_Context* pctx, N_Pipe* pipe);
N_StageFn _NValPLinePipeRenderFcn(N_Context* pctx, N_Pipe* pipe);
N_StageFn _NValTriPipeRenderFcn(N_Context* pctx, N_Pipe* pipe);
// The raster position's fixed render function (shared/software/swrasterpos.cpp).
N_StageFn _NRasterPosRenderFcn(N_Context* pctx, N_Pipe* pipe);
void _NRenderRasterPos(N_Context* pctx, N_Pipe* pipe);
// The software raster stage of a code (stage 25 without a render function).
N_StageFn _NSwRasterStage(N_Context* pctx, N_Pipe* pipe, ULONG code);
// Installs the polygon software stages (63, 65, 79, 86) of a code.
void _NValPgonSwStages(N_Context* pctx, N_Pipe* pipe, ULONG code);
// The fragment stage choice (with a dispatch record: stages 11 and 14 too).
// (These three are in 3d/prims/select_sw.cpp.)
void _NValPixelOps(N_Context* pctx, N_PrimDispatch* pd);
// Builds and links the pipe of the pixel and bitmap paths (3d/pixels/pixsetup.cpp).
void _NValPixelPipe(N_Context* pctx, N_Pipe* pipe, ULONG code);
// The render program of a pixel transfer (kind 57-60, lgi format code) in
// the standard slot (3d/prims/select_render.cpp); the pipe's mode word and span
// give the hand-written program of draw and copy when the generator has none.
void _NValPixelProgram(N_Context* pctx, N_Pipe* pipe, ULONG kind, ULONG format);
// Stage 102 of the pixel paths is a render function of kz2/render/kzrects.h.

// --- primitive paths, clippers and facing tests (stages of the dispatch records) ------------------
// (Facing tests in 3d/prims/prims.cpp, primitive paths and the user-plane
// clipping paths in 3d/pipes/clip.cpp.)
void _NvpFaceCullCompoundPrim(N_Context* pctx, N_Pipe* pipe);
void _NvpFaceCullQuad(N_Context* pctx, N_Pipe* pipe);
void _NPointPath(N_Context* pctx, N_Pipe* pipe);
void _NLineStripPath(N_Context* pctx, N_Pipe* pipe);
void _NLinesPath(N_Context* pctx, N_Pipe* pipe);
void _NFanPath(N_Context* pctx, N_Pipe* pipe);
void _NTriListPath(N_Context* pctx, N_Pipe* pipe);
void _NQuadListPath(N_Context* pctx, N_Pipe* pipe);
void _NStripPath(N_Context* pctx, N_Pipe* pipe);
void _NQuadStripPath(N_Context* pctx, N_Pipe* pipe);
void _NPointClip(N_Context* pctx, N_Pipe* pipe);
void _NLineClip(N_Context* pctx, N_Pipe* pipe);
void _NPolygonClip(N_Context* pctx, N_Pipe* pipe);
void _NTriangleClip(N_Context* pctx, N_Pipe* pipe);
void _NQuadClip(N_Context* pctx, N_Pipe* pipe);
void _NFanClip(N_Context* pctx, N_Pipe* pipe);
void _NQuadStripClip(N_Context* pctx, N_Pipe* pipe);

// --- primitives -------------------------------------------------------------------------
// N_ExecPrimitive (lgi.h) draws a batch from arrays (3d/prims/prims.cpp).
// Draws an inline primitive of the command stream: kind 63-71, its format
// mask, n vertices at pulData (already checked to lie in the stream).
void _NExecInlinePrim(N_Context* pctx, ULONG kind, ULONG format, ULONG n, const ULONG* pulData);

// --- render paths -------------------------------------------------------------------------
void _NAccum(ULONG op, float value);
void _NClearAccum(ULONG ulValue);
// Fill a rectangle of a bound board-memory buffer, or of the depth buffer
// (kz2/render/kzclear.cpp).
void _NClearRectSplit(const GLBuffer* pBuffer, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue);
// The same fill keeping the bits ulKeep names in every pixel (a colour or
// index write mask that leaves some bits alone); ulKeep 0 is the plain fill.
void _NClearRectMasked(const GLBuffer* pBuffer, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue, ULONG ulKeep);
void _NClearRect(N_BoundBuffer* pSlot, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue,
                 ULONG ulExtra);
// The software clear of a host-memory buffer (3d/pixels/hostclear.cpp).
void _NClearHostRect(N_BoundBuffer* pSlot, LONG x0, LONG y0, LONG x1, LONG y1, ULONG ulValue);
// The same clear keeping the bits ulKeep names in every pixel (a write mask
// that leaves some bits alone); ulKeep 0 is the plain clear.
void _NClearHostRectMasked(N_BoundBuffer* pSlot, LONG x0, LONG y0, LONG x1, LONG y1, ULONG ulValue, ULONG ulKeep);
// --- image transfers of the GL layer (3d/pixels/imagexfer.cpp) ---------------------------------------
// Positions are screen pixels (the buffer's window origin added), rows
// counted from the top; board buffers only (a host buffer is left alone,
// its reads give 0).
// Writes cx x cy 32-bit pixels (rows of cx words, the first row at screen
// row yBottom, later rows above it) into a colour buffer from column x;
// flConvert set: the words carry their value in their top four bits.
void _NPutRect(const GLBuffer* pBuffer, LONG x, LONG yBottom, LONG cx, LONG cy, const ULONG* pulPixels,
               ULONG flConvert);
// The zoomed write: the source image stretched by the integer and 16-bit
// fractional parts of both zooms, growing up from row yBottom.
void _NPutRectZoom(const GLBuffer* pBuffer, LONG x, LONG yBottom, LONG cx, LONG cy, const ULONG* pulPixels,
                   ULONG ulZoomXInt, ULONG ulZoomXFrac, ULONG ulZoomYInt, ULONG ulZoomYFrac);
// Reads a row of cx pixels of a buffer at (x, y) as 32-bit words (colour:
// red in bits 16-23, green 8-15, blue 0-7; depth, stencil and alpha as
// stored); 0 where nothing is read.
void _NGetRow(const GLBuffer* pBuffer, LONG x, LONG y, LONG cx, ULONG* pulPixels);
// Copies a rectangle (top-left corners) from one colour buffer to another
// of the same window; ulMode 1 copies both halves of a stereo frame buffer.
void _NCopyRect(const GLBuffer* pSrc, LONG xSrc, LONG ySrc, const GLBuffer* pDst, LONG x, LONG y,
                LONG cx, LONG cy, ULONG ulMode);
// Reads a read-pixels request (GL window coordinates, rows bottom-up) from
// a bound board buffer: colour bytes straight from the board, everything
// else through the pixel path.
void _NDirectReadPixels(N_Context* pctx, const N_BoundBuffer* pSlot, LONG x, LONG y, LONG cx,
                        LONG cy, ULONG ulFormat, ULONG ulType, void* pvDest);
// Whether the active page configuration runs stereo (3d/context/board.cpp).
ULONG _NStereoPages(N_Context* pctx);

// --- bitmaps ------------------------------------------------------------------------------
// N_DrawBitmap (lgi.h) runs the bitmap pixel path (3d/pixels/pixels.cpp).

// --- selection and feedback ---------------------------------------------------------------
// Appends a pixel token (0x704 bitmap, 0x705 draw, 0x706 copy) and the
// raster vertex to the feedback buffer (3d/pixels/pixsetup.cpp).
void _NFeedbackPixelToken(N_Context* pctx, ULONG ulToken);

// --- textures (3d/textures/texcache.cpp) -------------------------------------------------------------
// Drops the context's texture cache with all its entries.
void _NDropTexCache(N_Context* pctx);
// Whether a texture is bound for the context's texturing.
ULONG _NTextureBound(N_Context* pctx);

// --- the GL layer and the display driver ---------------------------------------------------
// (The board's fields are read in 3d/context/board.cpp.)
// Releases a scratch pixmap record of the context.
void _NReleaseScratchPixmap(void* pvPixmap);
// The flags of the board configuration of a device (BCF_...).
ULONG _NBoardFlags(GLSRVDEVICE* pDevice);
// The board configuration's modelImprecision word of a device.
ULONG _NModelImprecision(GLSRVDEVICE* pDevice);
// The height of the device's drawing area (cySurface): where the right
// eye's image starts on a stereo board.
LONG _NSurfaceHeight(GLSRVDEVICE* pDevice);
// The depth-buffer bits of the device's active page configuration (0, 16, 24).
ULONG _NDepthBits(GLSRVDEVICE* pDevice);
