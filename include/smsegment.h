// The shared request segment (SMSegment) between a client thread of the GL
// client driver and the GL server, and the GLX records that travel in it:
// render commands (normal and large form), the render request the server
// builds for a half, single requests and their 32-byte reply. Little-endian;
// the GLX records follow the published GLX encoding.
//
// The segment is one pagefile-backed section of two halves. Each half opens
// with an SMSegmentHeader; render commands follow from readOffset, reply data
// of a single request goes inline at readOffset or, when it does not fit,
// into client memory at clientData.
#pragma once

#include "glrequests.h"

#include <cstddef>
#include <cstdint>

// --- the segment -------------------------------------------------------------------
#define SM_HALF_OFFSET 0x200040u                   // the second half's offset from the first
#define SM_HALF_DATA 0x200000u                     // bytes of a half behind the first one's header
#define SM_SEGMENT_SIZE (SM_HALF_DATA * 2u + 64u)  // the section the client makes
#define SM_LIMIT 63992u                            // limit the client writes: min(half, 64000) - 8
#define SM_FIRST_COMMAND 64u  // readOffset the client writes: behind the header
// The most a large render command may bring in, its inline part and its
// out-of-line data together (far above any image or array of a GL 1.0
// request): the server refuses a larger one whole, so the client sends none.
#define SM_LARGE_MAX (64u << 20)

// status words the server writes for the last large render command or reply
#define SM_STATUS_NOMEMORY 8u  // not enough memory
#define SM_STATUS_INVALID 87u  // invalid parameter

// The header of a half. The segment id in `client` is a handle of the
// server's client table, never an address; the server writes it into the
// first half when it maps the segment.
typedef struct SMSegmentHeader {
    std::uint32_t limit;                // +0 largest offset at which a command may end
    std::uint32_t readOffset;           // +4 first command; inline reply data
    std::uint32_t writeOffset;          // +8 end of the commands written so far
    std::uint32_t client;               // +12 the segment id (server-written)
    std::uint32_t status;               // +16 8 or 87 for the last large command or reply
    std::uint32_t clientData;           // +20 client address of out-of-line data / reply data
    std::uint32_t clientDataSize;       // +24 bytes of out-of-line data of a large command
    std::uint8_t reply[32];             // +28 the xGLXSingleReply of the last single request
    std::uint32_t replyInClientMemory;  // +60 1 when the last reply data went to clientData
} SMSegmentHeader;
static_assert(sizeof(SMSegmentHeader) == 64);
static_assert(offsetof(SMSegmentHeader, limit) == 0);
static_assert(offsetof(SMSegmentHeader, readOffset) == 4);
static_assert(offsetof(SMSegmentHeader, writeOffset) == 8);
static_assert(offsetof(SMSegmentHeader, client) == 12);
static_assert(offsetof(SMSegmentHeader, status) == 16);
static_assert(offsetof(SMSegmentHeader, clientData) == 20);
static_assert(offsetof(SMSegmentHeader, clientDataSize) == 24);
static_assert(offsetof(SMSegmentHeader, reply) == 28);
static_assert(offsetof(SMSegmentHeader, replyInClientMemory) == 60);

// --- GLX records ---------------------------------------------------------------------
// A render command: length in bytes, header included, a multiple of 4; a
// command of length 0 ends a stream. Arguments at +4.
typedef struct __GLXrenderHeader {
    std::uint16_t length;  // +0
    std::uint16_t opcode;  // +2
} __GLXrenderHeader;
static_assert(sizeof(__GLXrenderHeader) == 4);
static_assert(offsetof(__GLXrenderHeader, opcode) == 2);

// A render command in large form: length in bytes of the part in the
// segment, header included; arguments at +8, the rest out of line.
typedef struct __GLXrenderLargeHeader {
    std::uint32_t length;  // +0
    std::uint32_t opcode;  // +4
} __GLXrenderLargeHeader;
static_assert(sizeof(__GLXrenderLargeHeader) == 8);
static_assert(offsetof(__GLXrenderLargeHeader, opcode) == 4);

// The render request the server builds for each stream it runs. Here the
// length is in bytes (the stream from readOffset to writeOffset), not in
// 4-byte units; the context tag is the handle of the client's current
// context.
typedef struct xGLXRenderReq {
    std::uint8_t reqType;      // +0 (not read)
    std::uint8_t glxCode;      // +1 X_GLXRender
    std::uint16_t length;      // +2
    std::uint32_t contextTag;  // +4
} xGLXRenderReq;
static_assert(sizeof(xGLXRenderReq) == 8);
static_assert(offsetof(xGLXRenderReq, length) == 2);
static_assert(offsetof(xGLXRenderReq, contextTag) == 4);

// A single request: the length in 4-byte units, header included; the
// server replaces the context tag by its handle of the current context.
// Parameters from +8.
typedef struct xGLXSingleReq {
    std::uint8_t reqType;      // +0 (not read)
    std::uint8_t glxCode;      // +1 the single opcode X_GLsop_*
    std::uint16_t length;      // +2
    std::uint32_t contextTag;  // +4
} xGLXSingleReq;
static_assert(sizeof(xGLXSingleReq) == 8);
static_assert(offsetof(xGLXSingleReq, glxCode) == 1);
static_assert(offsetof(xGLXSingleReq, contextTag) == 4);

// The reply of a single request; reply data (length 4-byte units) follow it.
// Word +8 is per request as its published encoding has it (retval for most).
typedef struct xGLXSingleReply {
    std::uint8_t type;             // +0 X_Reply (1), or X_Error (0)
    std::uint8_t unused;           // +1 the error code of an X_Error
    std::uint16_t sequenceNumber;  // +2
    std::uint32_t length;          // +4 reply data in 4-byte units
    std::uint32_t retval;          // +8
    std::uint32_t size;            // +12 number of values
    std::uint32_t pad3;            // +16 request-specific words
    std::uint32_t pad4;            // +20
    std::uint32_t pad5;            // +24
    std::uint32_t pad6;            // +28
} xGLXSingleReply;
static_assert(sizeof(xGLXSingleReply) == 32);
static_assert(offsetof(xGLXSingleReply, sequenceNumber) == 2);
static_assert(offsetof(xGLXSingleReply, length) == 4);
static_assert(offsetof(xGLXSingleReply, retval) == 8);
static_assert(offsetof(xGLXSingleReply, size) == 12);
static_assert(offsetof(xGLXSingleReply, pad3) == 16);

#define X_Error 0u
#define X_Reply 1u

// GLX errors (without the extension's error base).
#define GLXBadContextTag 4u
#define GLXBadRenderRequest 6u
#define GLXBadLargeRequest 7u

// X error codes a request handler answers (0 for success).
#define GLX_SUCCESS 0u
#define GLX_BAD_VALUE 2u
#define GLX_BAD_MATCH 8u
#define GLX_BAD_ACCESS 10u
#define GLX_BAD_ALLOC 11u
#define GLX_BAD_LENGTH 16u
#define GLX_BAD_IMPLEMENTATION 17u

// The request opcodes (X_GLXRender, X_GLsop_<request>, X_GLrop_<request>):
// glrequests.h. The single requests the segment code serves itself take
// FeedbackBuffer +8 size, +12 type; SelectBuffer +8 size; RenderMode +8
// mode, its reply +16 the new mode; Finish a reply without data; Flush none.
