// The server's rendering context GLContext as the request decoders use it,
// and the handler type of the request dispatch tables. GLContext keeps its
// words' order; it holds pointers, so its size follows the machine.
#pragma once

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

// A per-vertex handler of the vertex-packet table: the context's primitive
// buffer and the request's arguments. Answers 0 or a GL error code.
typedef ULONG (*__GLXvertexFn)(__GLXprimBuffer* ppb, const void* pvArgs);

// GL render modes.
#define GL_RENDER 0x1C00u
#define GL_FEEDBACK 0x1C01u
#define GL_SELECT 0x1C02u

struct GLContext {
    GLClient* pgc;                          // 0 the client it is current on, or null
    void* pdo;                              // 1 the engine's driver object owning it
    void* pPrimSegment;                     // 2 the primitive segment's mapping, or null
    GLDrawable* pdraw;                      // 3 the bound drawable
    ULONG flBufferMask;                     // 4 lgi buffer mask in force
    ULONG bWindowChanged;                   // 5 the drawable changed since the last bind
    GLVisual* pvis;                         // 6 its visual
    N_Context* pnc;                         // 7 its lgi context
    ULONG dirty;                            // 8 dirty bits
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
    ULONG* pListTable;                      // 40 shared display-list table
    void* pLarge;                           // 41 large render command record
    const __GLXdispatchFn* pRenderTable;    // 42 current render table
    const __GLXdispatchFn* pSavedTable;     // 43 render table saved while compiling
    const __GLXvertexFn* pVertexTable;      // 44 vertex-packet table
    __GLXprimBuffer* pPrimBuffer;           // 45 the server's primitive buffer
    __GLXpacketBuffer* pPending;            // 46 pending packet buffer
    __GLXpacketBuffer* pRetiring;           // 47 packet buffers handed over, oldest first
};
