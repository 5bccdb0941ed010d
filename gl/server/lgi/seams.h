// What the lgi layer's context, command stream and pixel entry points call
// of the layer's parts that are not built yet: validation, pipeline set-up,
// primitive execution, the render paths' fills and accumulation, feedback,
// the texture cache, and the board fields of the display driver's device
// record. Until a part is built its functions here say so on the debugger
// ("<name>: not available yet") and answer failure or do nothing; each part
// replaces its own.
#pragma once

#include "3d/context.h"

// --- validation ------------------------------------------------------------------------
// Runs the sub-validators the dirty bits select and clears them.
void _NValidate(N_Context* pctx, ULONG flDirty);
// Loads the board's dither matrix for the context's hardware record.
void _NLoadDither(N_HwRecord* phw);
// The clear colour (attribute 164) or index (165) packed for a colour buffer.
ULONG _NPackedClearColour(N_Context* pctx, const GLBuffer* pBuffer);

// The primitive transform set-up (transform mode, eye and normal stages,
// viewer vector, enabled lights); it advances the context's transform
// generation word (N_Transform.generation) when the transform mode changes.
void _NPrimTransformSetup(N_Context* pctx);

// The per-primitive callback set-up of validation, run by each pipe set-up.
void _NValPrimCB(N_Context* pctx, N_Pipe* pipe);
// The dither marker of the board the hardware record draws on (the
// display driver's iPatternUniq): 0xdeadbabe while the dither matrix is loaded.
ULONG _NDitherMarker(N_HwRecord* phw);

// --- pipelines --------------------------------------------------------------------------
// Sets up the context's pipeline blocks and its per-kind dispatch records.
void _NInitPipeBlocks(N_Context* pctx);
void _NInitPrimPipes(N_Context* pctx);
// Validate-then-draw entry of the pixel, bitmap and raster paths (57-62).
void _NValidateAndDraw(N_Context* pctx, void* pvSpan, ULONG code, ULONG format);

// --- the render micro-code generator ----------------------------------------------------------
struct kzRenderProg;
// Builds the render program for the current fragment state into a program
// slot of the hardware record (flags, second flags, the requested layout
// code, the texture pass 0-4): non-zero on success, 0 when the state has no
// hardware program.
ULONG kz2_ConstructKzUcode(N_HwRecord* phw, kzRenderProg* prog, ULONG flags, ULONG flags2, ULONG request,
                           ULONG pass);

// --- render-function selection ---------------------------------------------------------------
// The selectors of the dispatch records: each writes the record's status (2
// hardware, -7 software) and answers the render function, or null.
N_StageFn _NValPointPipeRenderFcn(N_Context* pctx, N_Pipe* pipe);
N_StageFn _NValPLinePipeRenderFcn(N_Context* pctx, N_Pipe* pipe);
N_StageFn _NValTriPipeRenderFcn(N_Context* pctx, N_Pipe* pipe);
// The raster position's fixed render function.
N_StageFn _NRasterPosRenderFcn(N_Context* pctx, N_Pipe* pipe);
// The software raster stage of a code (stage 25 without a render function).
N_StageFn _NSwRasterStage(N_Context* pctx, N_Pipe* pipe, ULONG code);
// Installs the polygon software stages (63, 65, 79, 86) of a code.
void _NValPgonSwStages(N_Context* pctx, N_Pipe* pipe, ULONG code);
// The fragment stage choice (with a dispatch record: stages 11 and 14 too).
// (These three are in 3d/select_sw.cpp.)
void _NValPixelOps(N_Context* pctx, N_PrimDispatch* pd);
// Builds and links the pipe of the pixel, bitmap and raster paths.
void _NValPixelPipe(N_Context* pctx, N_Pipe* pipe, ULONG code);

// --- primitive paths, clippers and facing tests (stages of the dispatch records) ------------------
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
// N_ExecPrimitive (lgi.h) draws a batch from arrays; here until primitive
// execution stands.
// Draws an inline primitive of the command stream: kind 63-71, its format
// mask, n vertices at pulData (already checked to lie in the stream).
void _NExecInlinePrim(N_Context* pctx, ULONG kind, ULONG format, ULONG n, const ULONG* pulData);
// N_RasterPos (lgi.h) sets the raster position; here until primitive
// execution stands.

// --- render paths -------------------------------------------------------------------------
void _NAccum(ULONG op, float value);
void _NClearAccum(ULONG ulValue);
// Fill a rectangle of a bound board-memory buffer, or of the depth buffer.
void _NClearRectSplit(const GLBuffer* pBuffer, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue);
void _NClearRect(N_BoundBuffer* pSlot, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue,
                 ULONG ulExtra);
// The software clear of a host-memory buffer.
void _NClearHostRect(N_BoundBuffer* pSlot, LONG x0, LONG y0, LONG x1, LONG y1, ULONG ulValue);
// --- image transfers of the GL layer -------------------------------------------------------
// Writes cx x cy 32-bit pixels (rows of cx words, the first row at window
// row yBottom, later rows above it) into a buffer from window column x;
// flConvert set: the words carry one-byte values in their top four bits.
void _NPutRect(const GLBuffer* pBuffer, LONG x, LONG yBottom, LONG cx, LONG cy, const ULONG* pulPixels,
               ULONG flConvert);
// The zoomed write: the source image stretched by the integer and 16-bit
// fractional parts of both zooms.
void _NPutRectZoom(const GLBuffer* pBuffer, LONG x, LONG yBottom, LONG cx, LONG cy, const ULONG* pulPixels,
                   ULONG ulZoomXInt, ULONG ulZoomXFrac, ULONG ulZoomYInt, ULONG ulZoomYFrac);
// Reads a row of cx 32-bit pixels of a buffer at window position (x, y).
void _NGetRow(const GLBuffer* pBuffer, LONG x, LONG y, LONG cx, ULONG* pulPixels);
// Copies a rectangle (window coordinates, top row first) from one buffer to
// another; ulMode 1 copies both halves of a stereo frame buffer.
void _NCopyRect(const GLBuffer* pSrc, LONG xSrc, LONG ySrc, const GLBuffer* pDst, LONG x, LONG y,
                LONG cx, LONG cy, ULONG ulMode);
// Reads what the board serves of a read-pixels request from a bound buffer.
void _NDirectReadPixels(N_Context* pctx, const N_BoundBuffer* pSlot, LONG x, LONG y, LONG cx,
                        LONG cy, ULONG ulFormat, ULONG ulType, void* pvDest);
// Whether the active page configuration runs stereo.
ULONG _NStereoPages(N_Context* pctx);

// --- bitmaps ------------------------------------------------------------------------------
// N_DrawBitmap (lgi.h) is the render paths' bitmap path; until it is built
// its entry here says so and draws nothing.

// --- selection and feedback ---------------------------------------------------------------
// Appends a pixel token (0x705 draw, 0x706 copy) to the feedback buffer.
void _NFeedbackPixelToken(N_Context* pctx, ULONG ulToken);

// --- textures -----------------------------------------------------------------------------
// Drops the context's texture cache with all its entries.
void _NDropTexCache(N_Context* pctx);
// Whether a texture is bound for the context's texturing.
ULONG _NTextureBound(N_Context* pctx);

// --- the GL layer and the display driver ---------------------------------------------------
// (The board's fields are read in 3d/board.cpp.)
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
