// The shared request segment as the server sees it: mapping, access to the
// client's memory, the half a client views, the render-stream decoder, the
// large render command, single requests and their replies, and the single
// requests the segment code serves itself (Flush, Finish, RenderMode,
// FeedbackBuffer, SelectBuffer with the selection hit records).
//
// Everything in the segment and in client memory is the client's and
// hostile: each value is read once, offsets and lengths are bounded by the
// half and the mapping, and nothing outside them is read or written.
#pragma once

#include "gl10.h"
#include "glsrv.h"
#include "smsegment.h"

struct GLContext;

// The record of a large render command handed to the display list being
// compiled: seven words {total length, total length, 1, 0, 0, buffer, 0}.
struct GLLargeCommand {
    ULONG cjTotal;
    ULONG cjTotal2;
    ULONG ulOne;
    ULONG ul3;
    ULONG ul4;
    BYTE* pjBuffer;
    ULONG ul6;
};

// --- mapping (segment.cpp) ---------------------------------------------------------------
// Maps the section the client announced (its handle in the client process,
// its size) and points the client's view at the first half, whose `client`
// word gets the segment id: 1, or -1 with nothing left behind.
LONG __glMapSMSegment(GLClient* pgc, ULONG cjSection, ULONG hSection);

// Copies between server memory and the memory of the client process of the
// calling thread's GLClient: TRUE, or FALSE. A count of 0 succeeds at once;
// a null server buffer fails.
BOOL __glReadClientMemory(void* pvDst, ULONG ulClientAddress, ULONG cj);
BOOL __glWriteClientMemory(ULONG ulClientAddress, const void* pvSrc, ULONG cj);

// The half a client views: its header and its size in bytes (header
// included), as far as the half and the mapping both reach.
struct SMHalf {
    SMSegmentHeader* pHeader;
    BYTE* pjBase;  // the header's first byte; offsets count from here
    ULONG cjHalf;
};
// FALSE when the client has no segment, or its view lies at an offset that
// is not a multiple of 4.
BOOL bHalfOf(GLClient* pgc, SMHalf* pHalf);

// A 32-bit word of the segment, read once. The address must be 4-aligned.
inline ULONG ulShared(const void* pv) {
    return __atomic_load_n(static_cast<const ULONG*>(pv), __ATOMIC_RELAXED);
}
inline void vSetShared(void* pv, ULONG ul) {
    __atomic_store_n(static_cast<ULONG*>(pv), ul, __ATOMIC_RELAXED);
}

// --- render streams and large commands (decode.cpp) ------------------------------------
// Runs the render commands of the client's current half. TRUE when the
// client has a segment.
BOOL __glRunHalf(GLClient* pgc);
// The render-stream decoder over cjStream bytes of commands from pjFirst:
// 0, GLXBadRenderRequest, GLX_BAD_LENGTH, or the context check's refusal.
ULONG __glXRenderStream(GLClient* pgc, const xGLXRenderReq* pReq, const BYTE* pjFirst,
                        ULONG cjStream);
// Runs one large render command at the half's read offset; the outcome goes
// to the header's status. TRUE when the client has a segment.
BOOL __glRenderLarge(GLClient* pgc);
// The context check of every request: 0 and the context bound and
// validated, or -1 when there is no context or it has no drawable.
LONG __glXCheckContext(GLClient* pgc, const char* pszRequest, GLContext* gc);

// --- single requests and replies (single.cpp, reply.cpp, select.cpp) --------------------
// Runs one single request at the half's read offset. TRUE when the client
// has a segment.
BOOL __glSingleRequest(GLClient* pgc);
// Writes a reply (at most 32 bytes) and its data into the calling thread's
// half: the data inline at the read offset when it fits under the limit and
// inside the half, else into client memory at clientData. Answers 1.
ULONG __glXSendReply(const void* pvReply, ULONG cjReply, const void* pvData, ULONG cjData);
// The reply of cValues values of cjValue bytes each at pvValues, laid out as
// published GLX has it: one value of up to 8 bytes (a double included) in
// the reply at byte 16 with no data, more values as the reply's data; the
// count at byte 12. The data the caller gives must be padded to whole words.
void __glXSendValues(const GLClient* pgc, const void* pvValues, ULONG cjValue, ULONG cValues);
// Replies written so far, counted by __glXSendReply.
ULONG __glXRepliesSent(void);
// Whether a single request has a reply in published GLX (GenLists,
// RenderMode, Finish, ReadPixels, the queries, IsEnabled, IsList). Such a
// request is always answered: one that fails (a GL error, or sent between
// Begin and End) gets a reply with no values, retval 0.
BOOL __glXSingleHasReply(ULONG opcode);

// The steps every single request handler shares (single.cpp).
// The start, in this order: the client's current context attached by the
// context check (its refusal, -1, answered as it is; GLX_BAD_ACCESS when the
// client has no current context at all); the request's length
// (4-byte units) carrying cParams parameter words from +8, else
// GLX_BAD_LENGTH, before anything is changed; not inside Begin/End, else
// GL_INVALID_OPERATION recorded and its X code; then, with bHandOver, the
// pending primitive batch handed over. GLX_SUCCESS with *ppjParams at +8.
// FeedbackBuffer and SelectBuffer pass bHandOver false: they hand the batch
// over only once their own arguments have passed.
ULONG __glXSingleStart(GLClient* pgc, const void* pvRequest, ULONG cParams, const BYTE** ppjParams,
                       bool bHandOver = true);
// The context check alone, under the request's name (GetError, which
// answers inside Begin/End too).
ULONG __glXSingleAttach(GLClient* pgc, const void* pvRequest);
// The request's parameter words from +8 when its length carries cParams of
// them, else null.
const BYTE* __glXSingleParams(const void* pvRequest, ULONG cParams);
// A GL error recorded under the request's name, answering its X code.
ULONG __glXSingleError(GLClient* pgc, const void* pvRequest, ULONG glError);
// A reply that carries no data and only the client's sequence number.
xGLXSingleReply __glXReplyHeader(const GLClient* pgc);

// The selection hit-record writer the lgi layer calls for each hit, with the
// context as its argument and the hit's depth range as the board's integer depths.
void __glXSelectHit(void* pvContext, const ULONG* pNames, ULONG cNames, ULONG zMin, ULONG zMax);
