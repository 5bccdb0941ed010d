// The server's rendering context GLContext and the GL attribute-group record
// GLState it owns. GLContext keeps its words' order; it holds pointers, so
// its size follows the machine. Words the contexts' own code fills (driver
// object, drawable, visual, display lists, selection and feedback) are
// here with their places so that every part reads the same record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gl10.h"  // the GL enumerants, GL errors and attribute-group bits
#include "glsrv.h"

struct GLDrawable;  // the window with a pixel format (drawables)
struct GLVisual;    // the visual of a pixel format (pixel formats)
struct N_Context;   // the lgi layer's context

// A request handler: the calling thread's GLClient and the request (a
// render request from its 4-byte render header, a single request from its
// header). Answers 0 or an X error code.
typedef ULONG (*__GLXdispatchFn)(GLClient* pgc, const void* pvRequest);

struct GLState;
struct __GLXprimBuffer;  // the server's primitive buffer (primitive accumulation)
struct __GLXpacketBuffer;
struct __GLXlistTable;   // the display-list table, shared between contexts (display lists)

// A per-vertex handler of the vertex-packet table: the context's primitive
// buffer and the request's arguments. Answers 0 or a GL error code.
typedef ULONG (*__GLXvertexFn)(__GLXprimBuffer* ppb, const void* pvArgs);

// Dirty bits of GLContext.dirty: what must be worked out again before the
// next drawing or query.
#define GLX_DIRTY_BUFFERS 0x01u
#define GLX_DIRTY_VIEWPORT 0x04u
#define GLX_DIRTY_CLIP 0x08u
#define GLX_DIRTY_COLOR_FORMAT 0x10u
#define GLX_DIRTY_CLIP_PLANES 0x20u
#define GLX_DIRTY_LIGHTS 0x40u

struct GLContext {
    GLClient* pgc;                          // 0 the client it is current on, or null
    void* pdo;                              // 1 the engine's driver object owning it
    void* pPrimSegment;                     // 2 the primitive ring: mapping and continued vertices (prim.h), or null
    GLDrawable* pdraw;                      // 3 the bound drawable
    ULONG flBufferMask;                     // 4 lgi buffer mask in force
    ULONG bWindowChanged;                   // 5 the drawable changed since the last bind
    GLVisual* pvis;                         // 6 its visual
    N_Context* pnc;                         // 7 its lgi context
    ULONG dirty;                            // 8 GLX_DIRTY_... bits
    ULONG error;                            // 9 the first GL error not yet read, or 0
    ULONG renderMode;                       // 10 GL_RENDER, GL_FEEDBACK or GL_SELECT
    ULONG bInBegin;                         // 11 between Begin and End
    ULONG bCompiling;                       // 12 a display list is being compiled
    ULONG* pSelectBuffer;                   // 13 selection: buffer,
    ULONG iSelectWrite;                     // 14   write index in words,
    ULONG cSelectBuffer;                    // 15   size in words,
    ULONG bSelectOverflow;                  // 16   overflow flag,
    ULONG cHits;                            // 17   hit count
    ULONG* pFeedbackBuffer;                 // 18 feedback: buffer,
    ULONG cFeedbackBuffer;                  // 19   size in words,
    ULONG iFeedbackType;                    // 20   type less 0x600
    GLState* pState;                        // 21 its own GL attribute groups
    float viewportMatrix[16];               // 22-37 the viewport matrix, by rows
    ULONG ulReserved38;                     // 38
    void* pListCompiled;                    // 39 the display list being compiled
    __GLXlistTable* pListTable;             // 40 shared display-list table
    void* pLarge;                           // 41 large render command record
    const __GLXdispatchFn* pRenderTable;    // 42 current render table
    const __GLXdispatchFn* pSavedTable;     // 43 render table saved while compiling
    const __GLXvertexFn* pVertexTable;      // 44 vertex-packet table
    __GLXprimBuffer* pPrimBuffer;           // 45 the server's primitive buffer
    __GLXpacketBuffer* pPending;            // 46 pending packet buffer
    __GLXpacketBuffer* pRetiring;           // 47 packet buffers handed over, oldest first
    // After the record's words:
    float deviceMatrix[16];                 // premultiplies the projection, by rows; identity
    ULONG listMode;                         // display lists: compiling, executing too, plain Begin/End
    ULONG callDepth;                        // lists being called, one inside the other
    ULONG listRuns;                         // list work of the current request so far (GLX_LIST_MAX_WORK)
    std::uint64_t listPixelsSeen;           // N_TrianglePixels when the running lists' triangles were last charged
    PDEV* ppdev;                            // the display driver's device it was made on
};

// The header that opens every packet buffer of the server's primitive
// buffer; the lgi packet words follow it. The link to the next buffer
// handed over is a pointer of the machine's size, so the header takes 24
// bytes and the first packet word lies behind the link, never under it.
struct __GLXpacketBuffer {
    USHORT opcode;          // +0 X_GLrop_DispatchPacketsZYD
    USHORT length;          // +2
    ULONG cjUsed;           // +4 bytes used, header included (GLX_PACKET_HEADER when empty)
    ULONG target;           // +8 GLX_PACKETS_IMMEDIATE or GLX_PACKETS_LIST
    ULONG token;            // +12 completion token, 0 until handed over
    __GLXpacketBuffer* pNext;  // +16 next buffer handed over (a link, not data)
};
#define GLX_PACKETS_IMMEDIATE 1u
#define GLX_PACKETS_LIST 2u
#define GLX_PACKET_HEADER static_cast<ULONG>(sizeof(__GLXpacketBuffer))
static_assert(offsetof(__GLXpacketBuffer, token) == 12 && offsetof(__GLXpacketBuffer, pNext) == 16,
              "the packet buffer header's words");
static_assert(sizeof(__GLXpacketBuffer) == 16 + sizeof(void*) && sizeof(__GLXpacketBuffer) % 4 == 0,
              "packet words follow the whole link");

// --- GL attribute groups --------------------------------------------------------------
// The group bits of glPushAttrib; group bit k keeps its block at blocks[k].
#define GLX_GROUPS 20u

// Byte size of each group's block, by group bit number.
extern const ULONG __glXGroupBlockSize[GLX_GROUPS];
// The auxiliary evaluator record: a 32-byte grid sub-record, ten 16-byte
// name blocks, eighteen 16-byte current-map records.
#define GLX_AUX_EVAL_SIZE (32u + 10u * 16u + 18u * 16u)

// Everything the attribute groups' requests keep in the server beside the
// groups (texture objects, matrix stacks, evaluator control points, pixel
// store): the parts that own them fill it in.
struct GLServerObjects;

struct GLState {
    ULONG flPresent;            // 0 groups present (GL_..._BIT)
    ULONG flPushed;             // 1 groups pushed into this record
    ULONG iDepth;               // 2 attribute stack depth (0: the context's own)
    GLState* pNext;             // 3 the record below on the attribute stack
    BYTE* pAuxEval;             // 4 the auxiliary evaluator record
    ULONG* blocks[GLX_GROUPS];  // 5.. group bit k at blocks[k]
    GLServerObjects* pObjects;  // the server-object record (one per GLState)
};

// --- the contexts' operations (context.cpp) ------------------------------------------
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
// The context's window moved: its next bind marks buffer mask and viewport.
void __glContextWindowChanged(GLContext* gc);
// The drawable the context is bound to goes: the context's lgi context is
// made current, it finishes and leaves its client when current on one,
// releases its lgi buffer binding and forgets the drawable.
void __glContextDrawableGone(GLContext* gc);
// Writes the RAMDAC's overlay register (indirect register 12) of the
// device, under its csRamdac: 0x60 when the first overlay context of a
// 16-bpp display is made, 0xE0 when the last overlay context goes.
void __glWriteOverlayRamdac(PDEV* ppdev, ULONG ulValue);
// Frees what the context holds of other parts: the large render command
// record, the primitive buffer, the packet buffers and the primitive
// segment's mapping (its display lists go first, __glXFreeContextLists).
void __glFreeContextBuffers(GLContext* gc);
// Makes the context's lgi context current: TRUE, or FALSE when it has none.
BOOL __glMakeLgiCurrent(GLContext* gc);
// Frees a context and its driver object, without the driver object's
// callback, at shut-down.
void __glDestroyContext(GLContext* gc);
