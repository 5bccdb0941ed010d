// What the server's entry and command escape call of the server's other
// parts: pixel formats and visuals, drawables, contexts, device buffers,
// request segments and their decoders, primitive segments, dispatch tables,
// and the engine's window and translation objects. Until a part is built its
// functions here say so on the debugger ("<name>: not available yet") and
// answer failure; each part replaces its own.
#pragma once

#include "context.h"
#include "segment.h"

// --- dispatch tables --------------------------------------------------------------------
// Builds the request dispatch tables: TRUE, or FALSE after freeing what it made.
BOOL glInitDispatchVectors(void);
void glFreeDispatchVectors(void);

// --- pixel formats and visuals ----------------------------------------------------------
// Chooses the pixel-format table for the device's board and mode.
void __glChooseFormatTable(PDEV* ppdev);
// Builds the visual records: 0, or 11 (BadAlloc).
ULONG glInitVisualConfigs(PDEV* ppdev);
void glFreeVisualConfigs(void);
// The describe-pixel-format hook: the number of formats offered.
LONG glDrvDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                              PIXELFORMATDESCRIPTOR* ppfd);
// Copies cj bytes of a layer plane's descriptor to pjOut: TRUE, or FALSE.
BOOL __glDrvDescribeLayerPlane(LONG iPixelFormat, LONG iLayer, ULONG cj, BYTE* pjOut);
// Sets the number of pixel formats offered: TRUE when it took effect.
BOOL __glSetFormatCount(USHORT cFormats);
// The window's layer palette: entries copied or stored, 0 on failure.
// The entries are 32-bit words, not necessarily aligned; the layer, start
// and count are the client's words as they came.
ULONG __glGetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG cEntries,
                                 BYTE* pjEntries);
ULONG __glSetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG cEntries,
                                 const BYTE* pjEntries);
ULONG __glRealizeLayerPalette(WNDOBJ* pwo, LONG iLayer, BOOL bRealize);

// --- drawables ----------------------------------------------------------------------------
// The set-pixel-format hook: makes the window's drawable; TRUE, or FALSE.
BOOL glDrvSetPixelFormat(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd);

// --- device buffers -------------------------------------------------------------------------
// Swaps the planes of flPlanes of the window: TRUE, or FALSE.
BOOL __wglSwapBuffers(SURFOBJ* pso, WNDOBJ* pwo, ULONG flPlanes);
// Works out again whether an overlay plane is in use.
void _DUpdateOverlayPresent(void);

// --- contexts -------------------------------------------------------------------------------
// A new context on a layer of a pixel format, or null.
GLContext* __glDrvCreateContext(SURFOBJ* pso, LONG iPixelFormat, LONG iLayer);
// Deletes the context's driver object without its callback and frees the
// context: its result, or -1 when the engine refuses.
ULONG __glDrvDeleteContext(GLContext* gc);
ULONG __glDrvReleaseContext(GLContext* gc);
// Makes the context current for the client with its window: 1, or 0.
ULONG __glDrvSetContext(GLClient* pgc, GLContext* gc, SURFOBJ* pso, WNDOBJ* pwo, XLATEOBJ* pxo);
ULONG __glDrvShareLists(GLContext* gcSource, GLContext* gcTarget);
ULONG __glDrvCopyContext(GLContext* gcSource, GLContext* gcTarget, ULONG flMask);
// The context's client word is cleared (its client is going away).
void __glContextLoseClient(GLContext* gc);
// Frees a context and its driver object, without the driver object's
// callback, at shut-down.
void __glDestroyContext(GLContext* gc);

// --- primitive segments ---------------------------------------------------------------------
// Maps the primitive segment of the client's current context: 1, or -1.
LONG __glMapPrimSegment(GLClient* pgc, ULONG hSection, ULONG cjSection);

// --- engine objects named in the command header -----------------------------------------------
// The window and translation objects of the call that the engine named by
// its handles; null for 0 or when the engine knows no such object.
WNDOBJ* pwoFromEngineHandle(ULONG hwo);
XLATEOBJ* pxoFromEngineHandle(ULONG hxo);

// --- what the request decoders of the segment use -------------------------------------------
// The dispatch tables: the single table (GLX_SINGLE_TABLE_SIZE entries) and
// the inside-Begin/End render table (GLX_RENDER_TABLE_SIZE entries); null
// until the tables are built.
extern __GLXdispatchFn* __glXSingleTable;
extern __GLXdispatchFn* __glXRenderBeginEndTable;
// The debug-trace flag: GL and stream errors are printed while it is set.
extern ULONG __glXDebugFlag;
// Records a GL error in the client's current context (first error wins); 0.
ULONG __glXSetError(GLClient* pgc, const char* pszRequest, ULONG glError);
// The names of requests, for messages.
const char* __glXRenderRequestName(ULONG opcode);
const char* __glXSingleRequestName(ULONG opcode);
// Validation of a context that a request binds.
void __glXValidateOnBind(GLContext* gc);
// Hands the context's pending primitive batch to the lgi layer; waits until
// every batch handed over is done.
void __glXFlushPending(GLClient* pgc);
void __glXWaitPending(GLClient* pgc);
// The lgi vertex record the context's primitive buffer fills (null when it
// has none), and the step after each vertex stored there: the record-full
// word the position setter answered (wrap when full, the first vertex of a
// line loop kept).
struct N_VertexRecord;
N_VertexRecord* __glXVertexRecord(GLClient* pgc);
void __glXAfterVertex(GLClient* pgc, ULONG fFull);
// Hands the context's large render command record to the display list
// being compiled: 0 when the list took it, else an X error (the record is
// then still the caller's).
ULONG __glXAppendLargeChunk(GLClient* pgc);

// --- the lgi layer: vertex setters, queues, selection and feedback ------------------------
void N_SetVertexColor3(N_VertexRecord* pvr, float r, float g, float b);
void N_SetVertexColor4(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexIndex(N_VertexRecord* pvr, float index);
void N_SetVertexNormal(N_VertexRecord* pvr, float x, float y, float z);
void N_SetVertexTexCoord(N_VertexRecord* pvr, float s, float t, float r, float q);
// Position setters answer the record-full word.
ULONG N_SetVertexPos2(N_VertexRecord* pvr, float x, float y);
ULONG N_SetVertexPos3(N_VertexRecord* pvr, float x, float y, float z);
ULONG N_SetVertexPos4(N_VertexRecord* pvr, float x, float y, float z, float w);
// Kicks the board queues; drains them.
void N_Flush(void);
void N_Finish(void);
// Feedback into a buffer of cWords words of the type (less GL_2D); its end
// stores the count of values written, -1 after an overflow.
void N_BeginFeedback(float* pBuffer, ULONG cWords, ULONG iType);
void N_EndFeedback(LONG* pcValues);
// Selection: the name stack is cleared; each hit calls the callback with its
// argument, the names, their count and the hit's depth range.
typedef void (*N_SelectCallback)(void* pvArg, const ULONG* pNames, ULONG cNames, float zMin,
                                 float zMax);
void N_InitNames(void);
void N_SetSelectCallback(N_SelectCallback pfn, void* pvArg);
