// The work arena: one allocation taken at start-up, cut into the fixed
// buffers the pipes work in (one batch of vertices or one span of pixels
// each), so that nothing is allocated while drawing; and the stage table.
#pragma once

#include "context.h"

struct N_Arena {
    ULONG* pVertexWork;     // 1,020 vertices of 24 bytes
    ULONG* pVertexFlags;    // 1,020 words
    ULONG* apVertex16[4];   // 1,020 vertices of 16 bytes
    ULONG* pVertex12;       // 1,020 vertices of 12 bytes
    ULONG* apClip[6];       // clip buffers: 1,026 vertices of 16 bytes
    ULONG* apClipWords[2];  // 1,026 words
    ULONG* apClip16[2];
    ULONG* apClip12[2];
    ULONG* apClip16b[2];
    ULONG* pClipWords;
    ULONG* pClip16;
    ULONG* pClip20;         // 1,026 entries of 20 bytes
    ULONG* pClipWordsB;
    ULONG* apFace[2];       // one small record a face
    BYTE* apImage[2];       // image work areas of 5,242,880 bytes
    N_StageFn* pStageTable;     // N_StageTable: 112 stages
    N_StageFn* pStencilOps;     // the stencil-operation slots: 4 stages
    float* pReciprocal;     // 65536.0, then 1/n for n = 1 to 2,309
    ULONG* pWords1026;
    ULONG* pByteReplicate;  // entry i = byte i in all four bytes
    ULONG* apBuf16[2];
    ULONG* pBuf12;
    ULONG* apSpan[5];       // 2,308 entries
    ULONG* apSpan16[2];     // 2,308 entries of 16 bytes
    ULONG* pStrip24;        // 1,008 entries of 24 bytes
    ULONG* pStrip40;
    ULONG* pStrip32;
    ULONG* pStripWords;
};

// The arena's buffers, set by _NAllocData; all null while the layer is down.
extern N_Arena gNArena;

constexpr ULONG N_RECIPROCALS = 2310;
constexpr ULONG N_SPAN = 2308;
constexpr ULONG N_IMAGE_WORDS = 1310720;  // 32-bit words of each image work area

// Takes the arena and fills its tables: 1, or 0 ("lgi: can't alloc").
ULONG _NAllocData(void);
// The arena's size on this machine: every buffer of its table, pointer
// tables at the size of a pointer, each buffer aligned for its contents.
std::size_t cbNArena(void);
// The same table counted in 32-bit words, pointers as one word each.
std::size_t cNArenaWords32(void);
// Fills N_StageTable: the empty stage everywhere, then the fixed stages.
void _NInitStageTable(void);
// The stage that does nothing.
void _NEmptyStage(N_Context* pctx, N_Pipe* pipe);
