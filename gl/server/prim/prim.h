// Primitive accumulation: the shared primitive ring of a context
// (PrimSegment) with the X_GLrop_PrimitiveZYD batches drawn from it, and the
// server's own primitive buffer that Begin, the per-vertex requests and End
// fill with lgi vertex records when the client sends no ring.
#pragma once

#include "context/context.h"
#include "lgi/lgi.h"
#include "primsegment.h"

// --- the primitive ring ---------------------------------------------------------------
// A vertex saved across batches of one primitive (17 words): position,
// colour, index, normal, texture coordinates, edge flag.
struct __GLXcontinuation {
    float position[4];
    float color[4];
    float index;
    float normal[3];
    float texCoord[4];
    ULONG edgeFlag;
};
static_assert(sizeof(__GLXcontinuation) == 17 * 4, "a saved vertex is 17 words");

// What a context keeps of the ring (GLContext word 2): the mapping, and the
// first and previous vertices saved for primitives continued across batches.
struct __GLXprimSegment {
    HANDLE hSection;       // the server's handle of the section, or null
    PrimSegment* pView;    // the server's view, or null
    __GLXcontinuation first;
    __GLXcontinuation previous;
    // The first vertex of the line loop, fan or polygon that a batch sent on
    // into the next one, as drawn: the repeats of it in later batches take
    // the attributes they lack from it. Valid while bPrimFirst is non-zero.
    __GLXcontinuation primFirst;
    ULONG bPrimFirst;
};

// Maps the ring of the client's current context (GLCMD_CREATEPRIMSEGMENT): 1,
// or -1 for a section of another size or one that cannot be mapped. A new
// ring replaces the context's old one.
LONG __glMapPrimSegment(GLClient* pgc, ULONG hSection, ULONG cjSection);
// Frees what the context keeps of primitives: the ring's mapping, the
// primitive buffer with its lgi record ring, the pending packet buffer and
// those handed over (context deletion).
void __glFreePrimState(GLContext* gc);

// X_GLrop_PrimitiveZYD: draws a batch from the ring or from the
// command's own arrays. Answers 0; 6 for a GL mode above 9; an X error for a
// batch it refuses (bad length, slots outside the ring, more vertices than
// the lgi pipe's batch, strips that do not add up).
ULONG glExecPrimitiveZYD(GLClient* pgc, const void* pvRequest);
// The most vertices a batch may hold: the lgi pipe's smaller batch.
#define GLX_PRIM_BATCH_MAX 1008u

// The GL modes of Begin and of a batch.
enum : ULONG {
    GLX_POINTS, GLX_LINES, GLX_LINE_LOOP, GLX_LINE_STRIP, GLX_TRIANGLES, GLX_TRIANGLE_STRIP, GLX_TRIANGLE_FAN,
    GLX_QUADS, GLX_QUAD_STRIP, GLX_POLYGON
};
// The Begin mode of a line loop taken back out of a display list's batch
// after its first vertex went into the batch: the vertex after Begin is
// the loop's first, not drawn again but closing the loop at End; the
// vertices after it go on from where the batch stopped.
#define GLX_LINE_LOOP_RESUMED 0x102u
// The GL mode's lgi primitive kind (modes 0-9), 0 for another mode.
ULONG __glPrimKind(ULONG mode);

// --- the server's primitive buffer ------------------------------------------------------
// A vertex copied out of a vertex record (carried across a wrap, or a line
// loop's first vertex): its mask (twice), size in bytes, words, and the
// link of a carry-over list.
#define GLX_SAVED_VERTEX_WORDS 84u  // the widest vertex with the per-primitive words
struct __GLXsavedVertex {
    ULONG mask;
    ULONG mask2;
    ULONG cb;
    ULONG words[GLX_SAVED_VERTEX_WORDS];
    __GLXsavedVertex* pNext;
};

// The current colour, index, normal, texture coordinates and edge flag as
// the primitive buffer follows them across a primitive.
struct __GLXcurrentValues {
    float color[4];
    float index;
    float normal[3];
    float texCoord[4];
    ULONG edgeFlag;
};

struct __GLXprimBuffer {
    GLClient* pgc;                     // owner
    N_VertexRecord* pvr;               // the record filling the packet buffer, or null
    __GLXprimBuffer** ppHolder;        // the context's holder of this record
    __GLXpacketBuffer** ppPacket;      // the context's holder of the packet buffer
    __GLXpacketBuffer* pPacket;        // the packet buffer (opened by its header)
    BYTE* pjWrite;                     // where the next packet goes
    BYTE* pjEnd;
    ULONG mode;                        // GL mode 0-9
    ULONG option;                      // given at opening, passed on at a wrap
    ULONG fFull;                       // the record-full word of the last position
    __GLXsavedVertex loopFirst;        // GL_LINE_LOOP: its first vertex,
    ULONG bLoopSaved;                  //   once saved
    N_VertexRing* pRing;               // the lgi record ring
    ULONG target;                      // GLX_PACKETS_IMMEDIATE or GLX_PACKETS_LIST
    ULONG bWrapped;                    // a wrap ran during the current vertex
    ULONG bInWrap;
    ULONG bDropping;                   // no packet buffer after a wrap: vertices dropped until End
    ULONG cWraps;                      // wraps since the primitive was opened
    __GLXcurrentValues atBegin;        // the values current before Begin
    __GLXcurrentValues recordStart;    // the values current when the open record began
    __GLXcurrentValues current;        // after the last vertex of the records finished (after End)
    ULONG bCurrentKnown;               // `current` holds what the buffer's packets leave current
    ULONG touched;                     // the value bits the primitive's records carried
    ULONG bLoopResumed;                // GLX_LINE_LOOP_RESUMED: the next vertex is the loop's first
    ULONG bLoopElsewhere;              // the loop's first vertex is not in the open record
    ULONG bCutGoesOn;                  // GLX_POLYGON: the open record goes on from a cut
};

// The packet buffer's size in bytes (header not counted):
// __zydGLPrimitiveBufferSize in KB, held to 1..200, read once; 4096 without.
ULONG __glPrimitiveBufferSize(void);
// The size a value of the variable gives (null: the variable is not set).
ULONG __glPrimitiveBufferSizeOf(const char* pszValue);
// Opens a primitive at Begin: the buffer record and packet buffer are made
// when missing (a packet buffer still open keeps its packets and the new
// primitive follows them) and a vertex record of the mode's kind is started
// over it. 0, or GL_OUT_OF_MEMORY.
ULONG __glOpenPrimitive(GLClient* pgc, __GLXprimBuffer** ppHolder, __GLXpacketBuffer** ppPacket,
                        ULONG target, ULONG mode, ULONG option);
// Closes the primitive at End: 0 when the buffer may stay open,
// GL_OUT_OF_MEMORY when it must be sent (272 words of room or fewer left,
// or vertices were dropped).
ULONG __glClosePrimitive(GLClient* pgc);
// Sends the packet buffer by its target: to the display list being
// compiled, or to the lgi layer.
void __glSendPrimitive(GLClient* pgc);
// The record the context's buffer fills (null when none), and the step
// after each vertex stored there with the record-full word the position
// setter answered.
N_VertexRecord* __glXVertexRecord(GLClient* pgc);
void __glXAfterVertex(GLClient* pgc, ULONG fFull);
// Fills the per-vertex rows of the vertex-packet table (__glXVtx_<request>).
void __glXFillVertexTable(__GLXvertexFn* pTable);

// Takes the per-vertex requests of the primitive open in a display list's
// batch back out as render requests one after another (Begin with the
// primitive's mode, per vertex its attribute requests and its Vertex
// request, then the attributes set since the last vertex; a LocalAlloc
// buffer the caller frees) and closes the primitive without them, so that
// the batch holds what was finished before only: TRUE with *ppj and *pcj,
// or FALSE (nothing changed) when the memory cannot be had. After a wrap
// the finished records keep their faces and the requests begin with the
// vertices the wrap carried (prim/primtakeback.cpp).
BOOL __glTakeBackPrimitive(GLClient* pgc, BYTE** ppj, ULONG* pcj);

// What the list compiler (list/) takes of the primitive buffer: a packet
// buffer filled for the list being compiled. 0 when the list took it (the
// caller forgets it), else an X error: no list is being compiled, the
// buffer is not a list's, or the list had no room (the caller keeps it).
ULONG __glXStoreBatchInList(GLClient* pgc, __GLXpacketBuffer* pBatch);
