// The GLX request layer's shared contract: the five handler tables and how
// they are reached, GL errors and their X codes, the default handlers, the
// request names, the render requests' body lengths, and the pending-batch
// steps every handler takes first.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "context/context.h"
#include "glrequests.h"
#include "smsegment.h"

// X error codes a handler answers (GLX_SUCCESS, GLX_BAD_...): smsegment.h.

// GL error codes and the other GL enumerants: gl10.h.

// --- the tables ----------------------------------------------------------------------
#define GLX_SINGLE_ENTRIES 272u
#define GLX_RENDER_ENTRIES 4117u  // render opcodes 0..4116; also the vertex-packet table

// Builds the request dispatch tables: TRUE, or FALSE after freeing what it
// made. Frees them at shut-down (also when not built).
BOOL glInitDispatchVectors(void);
void glFreeDispatchVectors(void);

// Built once by glInitDispatchVectors, shared by every context, freed at
// shut-down. Null while not built.
extern __GLXdispatchFn* __glXSingleTable;
extern __GLXdispatchFn* __glXRenderTable;          // outside Begin/End
extern __GLXdispatchFn* __glXRenderBeginEndTable;  // between Begin and End
extern __GLXdispatchFn* __glXRenderListTable;      // while a display list is compiled
extern __GLXvertexFn* __glXVertexTable;            // vertex packets of the primitive buffer

// Render opcodes (X_GLrop_<request>) and single opcodes (X_GLsop_<request>):
// glrequests.h, from the request description include/glrequests.def.

// --- render request lengths ----------------------------------------------------------
// A render request starts with {u16 length in bytes, header included; u16
// opcode}. The large-command path runs a request longer than a u16 holds
// with a header of length 0 and puts its length in GLClient.cjLarge while
// the handler runs.
USHORT __glXRenderOpcode(const void* pvRequest);
ULONG __glXRenderLength(const GLClient* pgc, const void* pvRequest);
// Bytes of body (after the 4-byte header) that the published encoding of a
// render opcode always carries: its fixed arguments; for requests with a
// variable part, the part before it (the description's layout). ~0u for
// opcodes that have no request.
ULONG __glXRenderFixedBody(ULONG opcode);
// Bytes of the variable part a render request's fixed arguments call for,
// by its row's rule (glrequests.def): the values its parameter takes, the
// names of a CallLists, a map's control points, a pixel map's values; none
// where the handler refuses or keeps the request before it reads a value,
// and none for images, which the unpack step reads only inside the request
// (an image running past it is GL_INVALID_VALUE). The fixed arguments must
// be in the request.
std::uint64_t __glXRenderVariableBody(const GLClient* pgc, ULONG opcode, const void* pvRequest);
// Runs a render request through the slot of its opcode in pTable, once its
// length is checked against the request description: a request shorter
// than its fixed arguments, or than the variable part they call for where
// the slot's handler reads it (outside Begin/End, and between Begin and
// End for the requests that run there), is answered __glXBadLength and
// reaches no handler; handlers read their arguments unchecked. Every
// render request is run through here (the stream, large commands, lists).
ULONG __glXDispatchRender(GLClient* pgc, const __GLXdispatchFn* pTable, const void* pvRequest);
// TRUE when the request carries at least cjBody bytes behind its header
// (~0u counts as none: only the header).
// When it does not, a handler answers __glXBadLength and reads nothing.
BOOL __glXRenderBodyFits(const GLClient* pgc, const void* pvRequest, ULONG cjBody);
// Answers GLX_BAD_LENGTH for a render request too short for what its
// handler reads; no GL error is recorded (a trace with the request name
// and "GLX_BAD_LENGTH" when the debug flag is set).
ULONG __glXBadLength(GLClient* pgc, const void* pvRequest);

// --- GL errors -----------------------------------------------------------------------
// The debug-trace flag: 0 at load; while 0 the GL-error trace is silent.
extern ULONG __glXDebugFlag;
// Records the GL error in the client's current context unless one is
// pending there (the first error stays until read); answers 0.
ULONG __glXSetError(GLClient* pgc, const char* pszRequest, ULONG glError);
// The X error code that stands for a GL error code.
ULONG __glXErrorToX(ULONG glError);
// Records glError under the render request's name and answers its X code.
ULONG __glXRenderError(GLClient* pgc, const void* pvRequest, ULONG glError);
// The u32 with the n lowest bits set (0 for n < 1).
ULONG __glXBitMask(LONG n);

// --- default handlers ------------------------------------------------------------------
ULONG __glXDisp_UnknownSingle(GLClient* pgc, const void* pvRequest);
ULONG __glXDisp_BadRender(GLClient* pgc, const void* pvRequest);
ULONG __glXVtx_Invalid(__GLXprimBuffer* ppb, const void* pvArgs);

// --- request names -------------------------------------------------------------------
// The GLX protocol name of a render opcode / GLX or single opcode; "Key
// Unknown <n>" for one not in the table (valid until the calling thread's
// next unknown key).
const char* __glXRenderRequestName(ULONG opcode);
const char* __glXSingleRequestName(ULONG opcode);
// Sorts both name tables; run by glInitDispatchVectors, and safe to call
// from any thread any number of times.
void __glXSortNameTables(void);

// --- the request handlers, one per request of the description ---------------------------
// __glXDisp_<request> for every render request run outside Begin/End and
// every single request.
#define GLX_PROTO_HANDLER(name) ULONG __glXDisp_##name(GLClient* pgc, const void* pvRequest);
#define GLX_PROTO_IGNORE(name)
#define GLX_PROTO_REFUSED(name)
#define GLX_RENDER_REQUEST(name, opcode, layout, variable, outside, ...) GLX_PROTO_##outside(name)
#define GLX_SINGLE_REQUEST(name, opcode) GLX_PROTO_HANDLER(name)
#include "glrequests.def"
#undef GLX_PROTO_HANDLER
#undef GLX_PROTO_IGNORE
#undef GLX_PROTO_REFUSED

// --- special render handlers -----------------------------------------------------------
ULONG __glXBeginEnd_End(GLClient* pgc, const void* pvRequest);
// Inside Begin/End: the per-vertex requests go to the context's
// vertex-packet table with the primitive buffer and the arguments.
ULONG __glXBeginEnd_Vertex(GLClient* pgc, const void* pvRequest);
// Outside Begin/End: vertex and evaluator-point requests do nothing.
ULONG __glXDisp_Ignore(GLClient* pgc, const void* pvRequest);
// Outside Begin/End: a piece of a DrawPixels image too large for one
// request, drawn where it lies in the whole image.
ULONG __glXDisp_DrawPixelsPieceZYD(GLClient* pgc, const void* pvRequest);

// --- pending primitive batches -----------------------------------------------------------
void __glXFlushPending(GLClient* pgc);
ULONG __glXDispatchPending(GLClient* pgc, __GLXpacketBuffer* pBatch);
void __glXQueuePending(GLClient* pgc, __GLXpacketBuffer* pBatch);
void __glXReapPending(GLClient* pgc);
void __glXWaitPending(GLClient* pgc);
void __glXFreePending(GLClient* pgc, __GLXpacketBuffer* pBatch);
// The dispatch id of the last batch handed to the lgi layer.
extern std::atomic<ULONG> __glXLastDispatchId;

// --- context GL state ---------------------------------------------------------------
// Creates the context's GLState with its defaults: 0, or GLX_BAD_ALLOC after
// freeing the blocks made. bDoubleBuffered chooses the draw and read buffer.
// The context's new lgi context is the current one; it learns the state's
// first values (and that separate triangles are separate faces).
ULONG __glXCreateGLState(GLContext* gc, BOOL bDoubleBuffered);
// Frees the blocks the mask names, then the record (and its auxiliary
// evaluator record when it has one).
void __glXFreeGLState(GLState* pgs, ULONG flMask);

// The lgi buffer mask the context's state asks for (see glstate.cpp).
ULONG __glXBufferMask(const GLState* pgs, BOOL bDoubleBuffered, BOOL bStereo);
// The scissor region's box in window coordinates counted from the top,
// clamped to what a 16-bit box holds; FALSE when it is empty.
struct __GLXbox {
    LONG xLeft, yTop, xRight, yBottom;
};
BOOL __glXScissorBox(LONG x, LONG y, LONG width, LONG height, LONG windowHeight, __GLXbox* pbox);
// Validation every request runs when it binds its context.
void __glXValidateOnBind(GLContext* gc);
// Validation before anything is drawn or read: the clip (scissor), the
// buffers, the viewport, as the dirty bits ask.
void __glXValidateDraw(GLContext* gc);

// --- saving and applying attribute groups ----------------------------------------------
// A saver fills a group's block with the group's current values (the
// server's own and the current lgi context's): 0.
typedef ULONG (*__GLXsaverFn)(GLContext* gc, ULONG* pwBlock);
// By group bit number: for glPushAttrib, and for copying between contexts.
extern const std::array<__GLXsaverFn, GLX_GROUPS> __glXPushSavers;
extern const std::array<__GLXsaverFn, GLX_GROUPS> __glXCopySavers;
// Sets the lgi attributes of every group of the mask that pgs holds, and
// the enables that belong to them, in the target lgi context (the
// context's own when null, which is made current again afterwards); the
// context's dirty bits say what must be worked out again.
void __glXApplyGroups(GLContext* gc, GLState* pgs, ULONG flMask, N_Context* pncTarget);
