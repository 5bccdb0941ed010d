// Display lists: names kept as sorted ranges, lists found through a hash of
// 1009 buckets, each list a chain of request chunks (with large requests in
// chunks of their own, compiled DrawPixels records, and references to the
// primitive batches its Begin/End vertices filled, pinned for the board
// through the miniport), replayed through the context's current render
// table. The list table may be shared between contexts.
#pragma once

#include <cstdint>
#include <cstring>

#include "context/context.h"
#include "dispatch/dispatch.h"
#include "glrequest_sizes.h"

#define GLX_LIST_BUCKETS 1009u
#define GLX_LIST_MAX_DEPTH 64u       // nested CallList / CallLists
// The list work one request (a half, a large command, a single request) may
// cause: each list run and each record run from a list counts one. Lists
// that call each other more than once would otherwise run 2^64 times within
// the depth, and one request holds the escape lock while it runs, so every
// other process's escape would wait. 2^20 is about a tenth of a second of
// list work. When the budget is spent the list running stops there, its
// call and every later CallList or CallLists of the same request run
// nothing and answer GL_INVALID_OPERATION (GL has no error of its own for
// it); the next request starts with the whole budget again.
#define GLX_LIST_MAX_WORK (1u << 20)
// A compiled image run from a list counts one unit more for every 16 of
// its pixels: a list that draws a large image many times would otherwise
// fill 2^20 images in one request (a 64 x 64 image 65536 times held the
// lock for half a minute). 2^20 units are then 2^24 pixels of images, a
// dozen screens. A clear, CopyPixels or Bitmap run from a list counts the
// same way the pixels of the window it may reach (the whole window, or its
// rectangle held to the window's size). So do the filled triangles the
// lists hand to the board (polygons, quads and strips as their triangles),
// each its area held to the window's size: a few window-sized triangles in
// lists that call each other would otherwise have the board fill the
// window millions of times for one request.
#define GLX_LIST_PIXELS_PER_WORK 16u
#define GLX_LIST_CHUNK_MIN 1024u     // bytes of a new ordinary chunk, at least
#define GLX_LIST_PINNED_MAX 16384u   // batches pinned at once on a device

// A list holds the client's requests and records of its own under the
// private render opcodes of glrequests.h: X_GLrop_PacketAddrZYD {u16 8,
// u16 X_GLrop_PacketAddrZYD, u32 batch}, a primitive batch of the list.

// List-mode bits of the compiling context.
#define GLX_LIST_COMPILING 0x1u
#define GLX_LIST_EXECUTE 0x2u
#define GLX_LIST_PLAIN_BEGIN 0x4u  // the current Begin/End is stored as plain requests

// A sorted, disjoint, never adjacent run of names in use.
struct __GLXnameRange {
    ULONG first;
    ULONG last;
    __GLXnameRange* pNext;
};

// A chunk of a list: requests back to back in render form {u16 length, u16
// opcode, body}, or (bLarge) one large request as {u32 length, render header
// {u16 0, u16 opcode}, body}: the body at +8 and a render header of length 0
// at +4, so that it runs as the large-request path runs it. The record has
// the large render command's layout (segment/segment.h), which becomes a
// chunk as it is.
struct __GLXlistChunk {
    ULONG cjCapacity;
    ULONG cjUsed;
    ULONG bLarge;
    ULONG ul3;
    ULONG ul4;
    BYTE* pjData;
    __GLXlistChunk* pNext;
};

// A primitive batch a list owns, and what pinning it gave back.
struct __GLXlistBatch {
    __GLXpacketBuffer* pBatch;
    ULONG bPinned;
    ULONG aulItem[3];  // the miniport's 12-byte pin item
};

struct __GLXlistHead {
    ULONG name;
    ULONG ulOne;
    __GLXlistChunk* pFirst;
    __GLXlistChunk** ppLink;  // the link the next chunk fills
    __GLXlistChunk* pLast;    // the chunk requests are stored into, or null
    __GLXlistBatch* pBatches; // the batches, in the order they were stored
    ULONG cBatches;
    ULONG cBatchCapacity;
    __GLXlistHead* pNext;     // the next list in the bucket
};

struct __GLXlistTable {
    ULONG cRef;
    __GLXnameRange* pRanges;
    __GLXlistHead* apBuckets[GLX_LIST_BUCKETS];
};

// A new table with one reference, or null.
__GLXlistTable* __glXNewListTable(void);
// What a context lets go of when it is freed: the list it compiles, and its
// reference of the list table (the last reference frees the table).
void __glXFreeContextLists(GLContext* gc);

// Name management on the context's table.
ULONG __glXIsListName(GLContext* gc, ULONG name);
ULONG __glXGenListNames(GLContext* gc, LONG n);  // the first name, or 0
// FALSE when a range record cannot be had (nothing changed).
BOOL __glXMarkListName(__GLXlistTable* pTable, ULONG name);
BOOL __glXDeleteListRange(GLContext* gc, ULONG first, LONG n);
void __glXDeleteList(GLContext* gc, ULONG name);
void __glXFreeList(GLClient* pgc, __GLXlistHead* pHead);
void __glXFreeListTable(GLClient* pgc, __GLXlistTable* pTable);

// Runs a list's requests through the context's current render table:
// FALSE when the outermost call has run as many lists as it may (the list
// is not run).
BOOL __glXExecuteList(GLClient* pgc, ULONG name);
// A request of the client starts: its context's list work budget is whole
// again (GLX_LIST_MAX_WORK).
void __glXStartRequest(GLClient* pgc);

// The list-compile table's handlers and the Begin/End spill.
ULONG __glXListStore(GLClient* pgc, const void* pvRequest);
ULONG __glXListBegin(GLClient* pgc, const void* pvRequest);
ULONG __glXListEnd(GLClient* pgc, const void* pvRequest);
ULONG __glXListSpill(GLClient* pgc, const void* pvRequest);
// __glXStoreBatchInList (prim/prim.h): a primitive batch filled for the
// list being compiled goes into it (pinned, and run with
// compile-and-execute); the list's own requests move the context's pending
// batch there before they are stored.
// Hands the context's large render command record to the display list
// being compiled: 0 when the list took it, else an X error (the record is
// then still the caller's).
ULONG __glXAppendLargeChunk(GLClient* pgc);
// Pins a batch of a list: TRUE when the miniport took it.
BOOL __glXPinBatch(__GLXlistBatch* pb);
// Releases the pinned batches of one list.
void __glXReleasePinned(GLClient* pgc, __GLXlistHead* pHead);
// Batches pinned on the device now.
ULONG __glXPinnedCount(void);

// A compiled DrawPixels record: the first 40 bytes of the request, then the
// image's byte count (a multiple of 4), the lgi format and type codes, then
// the unpacked image.
#define GLX_LIST_PIXELS_HEADER 52u
// Builds the record of a DrawPixels request: GL_NO_ERROR with *ppj (a
// LocalAlloc buffer) and *pcj, or the GL error.
ULONG __glXCompileDrawPixels(GLClient* pgc, const void* pvRequest, BYTE** ppj, ULONG* pcj);

// The list mode of the context (GLX_LIST_...), and the name of the list it
// compiles (0 when none): for the queries.
ULONG __glXListMode(const GLContext* gc);
ULONG __glXListIndex(const GLContext* gc);

// Between a compiled Begin and End a list call goes into the list being
// compiled, unread.
inline bool __glXInCompiledBegin(const GLContext* gc) {
    return gc != nullptr && gc->bCompiling && gc->bInBegin && gc->pRenderTable == __glXRenderBeginEndTable;
}

// The bytes of list names a CallLists request {n, type, names} carries
// behind its fixed arguments: none when the call is kept or refused before
// a name is read (between a compiled Begin and End, past the depth limit,
// a type that is none, a negative count).
inline std::uint64_t __glXCallListsNameBytes(const GLContext* gc, const BYTE* pj) {
    LONG n;
    ULONG type;
    std::memcpy(&n, pj, 4);
    std::memcpy(&type, pj + 4, 4);
    if (__glXInCompiledBegin(gc) || gc->callDepth >= GLX_LIST_MAX_DEPTH || n < 0) return 0;
    return static_cast<std::uint64_t>(n) * GLXListNameBytes(type);
}
