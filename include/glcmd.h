// The OpenGL command escape OPENGL_CMD (4352) as the client driver writes it
// and the GL server reads it: the sub-codes, the request (the OPENGLCMD
// header of escapes.h, the process id, then the sub-code's arguments) and
// the reply. Little-endian 32-bit words throughout.
//
// Context handles (dhrc) and segment ids are 32-bit handles of the server's
// own tables, never addresses: the server looks each one up and refuses one
// that does not exist or belongs to another process. They are never 0 and
// are not reused while their object lives. pwo and pxo are written by the
// graphics engine (engine handles, valid for the one call), not by the
// client.
#pragma once

#include <cstddef>
#include <cstdint>

#include "escapes.h"

// --- sub-codes (OPENGLCMD.ulSubEsc) ---------------------------------------------------
#define GLCMD_SETCONTEXT 1u               // +20 hdc (not read), +24 dhrc
#define GLCMD_PROCESSSMREQUESTS 2u        // run the render commands of the current half
#define GLCMD_CREATECONTEXT 3u            // +20 hdc (not read), +24 pixel format; out: dhrc
#define GLCMD_DELETECONTEXT 4u            // +20 dhrc
#define GLCMD_RELEASECONTEXT 5u           // +20 dhrc
#define GLCMD_CREATESMSEGMENT 6u          // +20 section size, +24 section handle
#define GLCMD_RENDERLARGE 7u              // one large render command at the read offset
#define GLCMD_SINGLE 8u                   // one single request at the read offset
#define GLCMD_CREATEPRIMSEGMENT 9u        // +20 section handle, +24 section size
#define GLCMD_SETFORMATCOUNT 10u          // +20 u16 count
#define GLCMD_SHARELISTS 11u              // +20 dhrc1, +24 dhrc2
#define GLCMD_WRAPSMREADPOINTER 12u       // +20 segment id, +24 toggle, +28 half offset
#define GLCMD_COPYCONTEXT 13u             // +20 source dhrc, +24 destination dhrc, +28 mask
#define GLCMD_CREATELAYERCONTEXT 14u      // +20 hdc (not read), +24 pixel format, +28 layer
#define GLCMD_DESCRIBELAYERPLANE 15u      // +20 pixel format, +24 layer, +28 byte count
#define GLCMD_GETLAYERPALETTEENTRIES 16u  // +20 layer, +24 start, +28 count
#define GLCMD_REALIZELAYERPALETTE 17u     // +20 layer, +24 realize flag
#define GLCMD_SETLAYERPALETTEENTRIES 18u  // +20 layer, +24 start, +28 count, +32 entries
#define GLCMD_SWAPLAYERBUFFERS 19u        // +20 plane mask
#define GLCMD_THREADDETACH 20u            // no arguments
#define GLCMD_PROCESSDETACH 21u           // no arguments
#define GLCMD_FIRST GLCMD_SETCONTEXT
#define GLCMD_LAST GLCMD_PROCESSDETACH

// Entries of a layer palette (GLCMD_GET/SETLAYERPALETTEENTRIES).
#define GLCMD_LAYER_PALETTE_ENTRIES 256u

// --- the request ----------------------------------------------------------------------
// The fixed part of every OPENGL_CMD input; the arguments follow at
// GLCMD_ARGS, one 32-bit word each (GLCMD_ARG(n) is the byte offset of the
// n-th).
typedef struct GLCmdRequest {
    OPENGLCMD hdr;              // +0 sub-code, flags, pwo, pxo
    std::uint32_t ulProcessId;  // +16 the client's process id (not read by the server)
} GLCmdRequest;
static_assert(sizeof(GLCmdRequest) == 20);
static_assert(offsetof(GLCmdRequest, hdr) == 0);
static_assert(offsetof(GLCmdRequest, ulProcessId) == 16);
#define GLCMD_ARGS 20u
#define GLCMD_ARG(n) (GLCMD_ARGS + 4u * (n))

// --- the reply ------------------------------------------------------------------------
// GLCMD_CREATECONTEXT and GLCMD_CREATELAYERCONTEXT: the new context's handle,
// 0 on failure.
typedef struct GLCmdReply {
    std::uint32_t dhrc;  // +0
} GLCmdReply;
static_assert(sizeof(GLCmdReply) == 4);
// GLCMD_DESCRIBELAYERPLANE and GLCMD_GETLAYERPALETTEENTRIES leave the first
// GLCMD_REPLY_PAYLOAD bytes of the output untouched and write from there.
#define GLCMD_REPLY_PAYLOAD 20u
