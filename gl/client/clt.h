// The client driver's records and the functions its files share: the
// client-side context (ClientContext), the per-thread block (ThreadBlock)
// with its request segment (SegmentDesc) and flush worker (FlushWorker), and
// the module-wide state of the entry layer.
//
// These records live in the application's process and hold pointers: they
// keep their field names and order and take their natural size.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>

#include "glcmd.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "smsegment.h"

struct GLCLTPROCTABLE;

// The library entry's reasons.
#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u
#define DLL_THREAD_ATTACH 2u
#define DLL_THREAD_DETACH 3u

// The value the storage index holds while none is allocated.
#define CLT_NO_TLS_INDEX 64u

// The size of a half the client asks for, and the request segment it makes.
#define CLT_HALF_SIZE SM_HALF_DATA

// --- contexts ------------------------------------------------------------------------
// One vertex with every attribute it may carry: a slot of the small-primitive
// cache, and the saved first vertex of an open line loop, fan or polygon.
typedef struct VertexSlot {
    ULONG flags;  // VTX_... of the attributes present
    float position[4];
    float color[4];
    float colorIndex;
    float normal[3];
    float texCoord[4];
    BYTE edgeFlag;
} VertexSlot;

struct ClientContext;
// Reads an application's image with the context's unpack state and writes
// it tight at out (pixelstore.cpp); writes the request's pixel-store block
// when one is given and answers it. flags: CLT_UNPACK_...
typedef BYTE* (*PFN_UNPACKIMAGE)(ClientContext* cc, LONG width, LONG height, ULONG format, ULONG type,
                                 const void* pixels, BYTE* out, BYTE* pixelStoreBlock, ULONG flags);

// Pixel-store state, pack then unpack.
typedef struct PixelStoreState {
    UCHAR packSwapBytes;
    UCHAR packLsbFirst;
    LONG packRowLength;
    LONG packSkipRows;
    LONG packSkipPixels;
    LONG packAlignment;
    UCHAR unpackSwapBytes;
    UCHAR unpackLsbFirst;
    LONG unpackRowLength;
    LONG unpackSkipRows;
    LONG unpackSkipPixels;
    LONG unpackAlignment;
} PixelStoreState;

// One per rendering context; its address is the handle the system OpenGL
// library holds.
typedef struct ClientContext {
    ULONG dhrc;           // the server's context handle
    ULONG renderMode;     // GL_RENDER at creation
    void* feedbackBuffer;
    void* selectBuffer;
    ULONG feedbackSize;   // values of the feedback and select buffers given
    ULONG selectSize;
    PixelStoreState pixelStore;
    PFN_UNPACKIMAGE unpackImage;
    ULONG error;          // GL error recorded by the client, 0 = none
    char* strings[4];     // cached vendor, renderer, version, extensions
    ULONG largeLimit;     // longest render command that goes inline into a half
    // batching
    HANDLE primSegmentHandle;
    void* primSegment;
    ULONG primShared;
    ULONG orMask;
    ULONG andMask;
    ULONG batchMode;
    ULONG continuation;
    ULONG batchCount;
    ULONG batchFirst;
    ULONG vertexIndex;
    ULONG sinceHandOver;
    ULONG batchingSetUp;
    ULONG compiling;
    ULONG batching;
    ULONG edgeFlagsShared;
    VertexSlot loopFirst;
    // cached state
    ULONG pushedAttribMask;
    ULONG cacheValid;     // 0x08 front and 0x10 back polygon mode valid, ...
    ULONG cacheEnables;   // 0x10 shade model valid, ...
    ULONG polygonModeFront;
    ULONG polygonModeBack;
    ULONG drawBuffer;
    ULONG shadeModel;
    float clearColor[4];
    float pointSize;
    // glPushAttrib calls not yet popped: pushedAttribMask is cleared only
    // when the attribute stack is empty again, so that a pop keeps
    // invalidating what an outer push may restore.
    ULONG attribDepth;
    // The thread on which the context is current, 0 when none: a context
    // current on another thread is not released by its deletion, so that no
    // thread's block keeps a released record.
    DWORD currentThread;
} ClientContext;

#define CLT_CACHE_POLYGON_MODE_FRONT 0x08u
#define CLT_CACHE_POLYGON_MODE_BACK 0x10u
#define CLT_CACHE_ALL 0xFFu
#define CLT_ENABLE_SHADE_MODEL 0x10u
// andMask of a batch before its first vertex: every VTX_... bit.
#define CLT_AND_MASK_START 0x5FDu

// --- per thread ------------------------------------------------------------------------
// The thread's request segment.
typedef struct SegmentDesc {
    ULONG cjTotal;   // total size in bytes
    BYTE* pjBase;    // the mapped base
    HANDLE hSection;
} SegmentDesc;

// The thread's flush worker: it sends the hand-over of a filled half while
// the application goes on writing the other. The flags are the handshake
// between the two threads; every read and write of them is fenced.
typedef struct FlushWorker {
    DWORD threadId;
    HANDLE hThread;
    // The GLCMD_WRAPSMREADPOINTER request it sends; its last two words are
    // also the state of the two-half ring.
    struct {
        OPENGLCMD hdr;
        ULONG ulProcessId;
        ULONG segmentId;
        ULONG toggle;      // halfOffset while the thread writes half 0, 0 while it writes half 1
        ULONG halfOffset;  // the distance between the halves
    } request;
    HDC hdc;  // the device context the request goes on
    std::atomic<ULONG> idle;
    std::atomic<ULONG> work;
    std::atomic<ULONG> keepRunning;
    // No worker thread could be started: hand-overs are sent by the
    // application thread itself.
    BOOL synchronous;
    // The worker's last store: from then on it touches nothing of the record.
    std::atomic<ULONG> ended;
} FlushWorker;
static_assert(sizeof(((FlushWorker*)nullptr)->request) == 32);

// The per-thread primitive state of glBegin/glEnd.
#define PRIM_NO_MODE 0xFFFFu
#define PRIM_CACHE_SLOTS 6u
#define PRIM_BATCH_VERTICES 168u  // at most a batch
#define PRIM_BATCH_ENDS 20u       // glEnd calls a batch is kept open for
typedef struct PrimState {
    ULONG endPending;         // glEnd taken, the primitive stays open
    ULONG smallCache;         // the vertices go into the cache slots
    ULONG convert;            // fans become triangles, polygons quads
    ULONG smallBeginPending;  // the cache has not begun its merged primitive
    ULONG mode;               // of the current glBegin, PRIM_NO_MODE when none
    ULONG vertexCount;        // of the current primitive, added ones included
    ULONG endCount;           // glEnd calls since the batch began
    ULONG firstVertexPending; // 2 at glBegin, counted down by the first vertices
    // The batch position of the current converted polygon's first vertex:
    // its quads are counted from there, so that a polygon kept open after
    // a continued batch or after earlier primitives pairs its vertices right.
    ULONG convertBase;
    VertexSlot slots[PRIM_CACHE_SLOTS];
} PrimState;

typedef struct ThreadBlock {
    SegmentDesc* segment;      // null until the first DrvSetContext
    SMSegmentHeader* half;     // the header of the half being written
    ClientContext* context;    // current on the thread, or null
    HDC hdc;                   // of the last DrvSetContext: single and large requests
    HDC displayDC;             // the thread's own: hand-overs and context management
    FlushWorker* worker;       // null until first needed
    ULONG segmentId;           // the server's identity of this thread
    PrimState* primState;
    // Memory of the platform's VirtualAlloc (below 4 GB) through which
    // out-of-line data of a large command travels: the server reads the
    // client's memory only there.
    BYTE* pjStaging;
    ULONG cjStaging;
    // The logical process the block was made for: a thread that acts for
    // another process once that one has ended gets a fresh block.
    DWORD pid;
} ThreadBlock;

// --- the entry layer (entry.cpp) -------------------------------------------------------
BOOL DllMain(HMODULE hModule, ULONG ulReason, PVOID pvReserved);
BOOL DelayedThreadAttach();
// Builds a request of the command escape: the header, the process id, the
// argument words; cj bytes in all (at least the words given).
void vBuildRequest(BYTE* pj, ULONG cj, ULONG ulSubEsc, ULONG fl, std::initializer_list<ULONG> args);

// --- threads (thread.cpp) ----------------------------------------------------------
extern DWORD gTlsIndex;
void vInitCritSec();
// At process detach: the critical section and what it guards go.
void vDeleteCritSec();
ThreadBlock* CurrentThreadBlock();
// The calling thread's block from thread-local storage, or null (also when
// no index is allocated).
ThreadBlock* pThreadBlockOfThread();
// The fast path: the cached block while one thread only uses OpenGL.
ThreadBlock* CurrentThreadBlockFast();
// Counts the calling thread as one that made a context current.
void vCountCurrentThread(ThreadBlock* ptb);
BOOL CreateThreadBlock();
void ReleaseThreadBlock(ThreadBlock* ptb);
// Forgets the cached pair when it names this block (its thread detaches).
void vForgetThreadBlock(ThreadBlock* ptb);
// The count of threads that made a context current (0, 1, 2 for more).
ULONG ulThreadCount();

// --- the request segment (segment.cpp) -------------------------------------------------
BOOL CreateSMSegment(ThreadBlock* ptb, HDC hdc, ULONG cjHalf);
void FreeSMSegment(ThreadBlock* ptb);
BYTE* HandOverHalf(ThreadBlock* ptb, ULONG offset);
ULONG FlushSMSegment(ThreadBlock* ptb);
// Room for a render command of cj bytes in the current half (the append
// rule): the address to write it at, or null when the thread has no segment.
BYTE* pjAppendRender(ThreadBlock* ptb, ULONG cj);
void SendSingle(ThreadBlock* ptb);
void SendRenderLarge(ThreadBlock* ptb);
void RenderLargeFromClient(ThreadBlock* ptb, const void* pvData, ULONG cj);

// --- the flush worker (worker.cpp) -------------------------------------------------
FlushWorker* WaitFlushWorker(ThreadBlock* ptb);
// Gives the worker the hand-over the request now describes and waits until
// it has taken it (or sends it at once when there is no worker thread).
void vStartHandOver(ThreadBlock* ptb, FlushWorker* pfw);
void StopFlushWorker(ThreadBlock* ptb);

// --- Begin/End and batching (batch.cpp) ----------------------------------------------
void EndPendingPrimitive(ThreadBlock* ptb);
void BeginPrimitive(ThreadBlock* ptb, ULONG mode);
void GiveUpSmallCache(ThreadBlock* ptb);
void EmitSmallPrimitive(ThreadBlock* ptb);
// The ring slot from which the vertex just stored at vertexIndex goes on.
ULONG ExpandConvertedVertex(ThreadBlock* ptb, ClientContext* cc, ULONG flags);
// The polygon state allows a polygon to become quads in the ring.
bool bQuadConversionAllowed(const ClientContext* cc);

// --- the vertex ring (primsend.cpp) -------------------------------------------------
void SetupPrimitiveBuffer(ThreadBlock* ptb, ClientContext* cc);
ULONG CreatePrimSegment(ThreadBlock* ptb, ClientContext* cc);
void FreePrimitiveBuffer(ClientContext* cc);
void primsend(ThreadBlock* ptb, ClientContext* cc);
void __zyd_glXPrimitiveWaitSpace(ThreadBlock* ptb, ClientContext* cc);
void ContinueBatch(ThreadBlock* ptb, ClientContext* cc);
// Opens the batch that takes a primitive on from the one just sent: it
// starts at the next slot and holds nothing yet.
void vOpenContinuation(ClientContext* cc);
void ReEmitBatch(ThreadBlock* ptb, ClientContext* cc);
// A ring slot as one record, and back.
void vLoadSlot(const ClientContext* cc, ULONG i, VertexSlot* pvs);
// Gives a vertex record the attributes of `families` (VTX_... bits) it
// lacks, with the values the server fills in at ring slot `slot`: those of
// the nearest slot before it in the open batch that carries them. A copy of
// a vertex placed elsewhere in the ring so keeps the vertex's values.
void vCompleteFromBefore(const ClientContext* cc, ULONG slot, ULONG families, VertexSlot* pvs);
// vLoadSlot, completed with the attributes the batch's vertices carry.
void vLoadSlotComplete(const ClientContext* cc, ULONG i, VertexSlot* pvs);
void vStoreSlot(ClientContext* cc, ULONG i, const VertexSlot& vs);

// --- pixel store (pixelstore.cpp) -----------------------------------------------------
BYTE* UnpackImage(ClientContext* cc, LONG width, LONG height, ULONG format, ULONG type, const void* pixels,
                  BYTE* out, BYTE* pixelStoreBlock, ULONG flags);

// Records a GL error the client finds in the context, unless one is
// recorded: the first error sticks until glGetError reads it.
inline void vSetClientError(ClientContext* cc, ULONG error) {
    if (cc->error == 0) cc->error = error;
}

// --- the table of entry points (proctable.cpp) -------------------------------------
extern const GLCLTPROCTABLE gGLCltProcTable;

// The trace routine: takes a level, a format and values, prints nothing.
inline void vTrace(ULONG, const char*, ...) {}
