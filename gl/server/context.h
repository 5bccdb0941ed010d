// The server's half of a rendering context, GLContext, as the request
// decoders use it, and the handler type of the request dispatch tables.
// Fields keep the record's word order; words that hold pointers take their
// natural size.
#pragma once

#include "glsrv.h"

struct GLDrawable;        // the window (drawables)
struct GLVisual;          // the pixel format and layer (pixel formats)
struct GLState;           // the GL attribute groups (dispatch tables)
struct N_Context;         // the lgi context
struct GLPrimMapping;     // the primitive segment's mapping (primitive accumulation)
struct GLPrimBuffer;      // the server primitive buffer (primitive accumulation)
struct GLListTable;       // the shared display-list table (display lists)
struct GLLargeCommand;    // below

// A request handler: takes the calling thread's client (its first word is
// the current context) and the request; answers 0 or an X error code.
typedef ULONG (*__GLXdispatchFn)(GLClient* pgc, const void* pRequest);

// The record of a large render command handed to the display-list compiler:
// seven words {total length, total length, 1, 0, 0, buffer, 0}.
struct GLLargeCommand {
    ULONG cjTotal;
    ULONG cjTotal2;
    ULONG ulOne;
    ULONG ul3;
    ULONG ul4;
    BYTE* pjBuffer;
    ULONG ul6;
};

// Render modes.
#define GL_RENDER 0x1C00u
#define GL_FEEDBACK 0x1C01u
#define GL_SELECT 0x1C02u
// Feedback types GL_2D .. GL_4D_COLOR_TEXTURE.
#define GL_2D 0x600u
#define GL_4D_COLOR_TEXTURE 0x604u
// GL errors.
#define GL_INVALID_ENUM 0x500u
#define GL_INVALID_VALUE 0x501u
#define GL_INVALID_OPERATION 0x502u
#define GL_OUT_OF_MEMORY 0x505u

struct GLContext {
    GLClient* client;                  // 0 the client it is current on, or null
    HANDLE hdo;                        // 1 the engine's driver object
    GLPrimMapping* primMapping;        // 2 the primitive segment mapping
    GLDrawable* drawable;              // 3 bound drawable
    ULONG bufferMask;                  // 4 lgi buffer mask in force
    ULONG windowChanged;               // 5 window-changed flag
    GLVisual* visual;                  // 6
    N_Context* lgiContext;             // 7
    ULONG dirty;                       // 8 dirty bits
    ULONG error;                       // 9 GL error, first wins
    ULONG renderMode;                  // 10 GL_RENDER, GL_FEEDBACK, GL_SELECT
    ULONG inBegin;                     // 11 between Begin and End
    ULONG listCompile;                 // 12 a display list is being compiled
    ULONG* selectBuffer;               // 13 server memory
    ULONG selectIndex;                 // 14 write index in words
    ULONG selectSize;                  // 15 size in words
    ULONG selectOverflow;              // 16
    ULONG selectHits;                  // 17 hit count
    float* feedbackBuffer;             // 18 server memory
    ULONG feedbackSize;                // 19 size in words
    ULONG feedbackType;                // 20 type less GL_2D
    GLState* state;                    // 21
    float viewportMatrix[16];          // 22-37
    ULONG ul38;                        // 38
    void* compileList;                 // 39 display list being compiled
    GLListTable* listTable;            // 40 shared display-list table
    GLLargeCommand* largeCommand;      // 41 large render command record
    __GLXdispatchFn* renderTable;      // 42 current render table
    __GLXdispatchFn* savedRenderTable; // 43 saved while a list is compiled
    __GLXdispatchFn* vertexTable;      // 44 vertex-packet table
    GLPrimBuffer* primBuffer;          // 45 server primitive buffer
    void* pendingPackets;              // 46 pending packet buffer
    void* packetsInFlight;             // 47 chain of packet buffers in flight
};
