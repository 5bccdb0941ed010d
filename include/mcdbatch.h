// The batched command escape MCDFUNCS (3076): the header a client sends and
// the command words of a batch. A batch is a run of records of 32-bit
// little-endian words, each record starting with its command word; the
// driver answers 0 for a malformed batch, else 1 or the handle a command
// made.
//
// The header's pwo and pInline words would have held addresses of the
// client's. Here they hold values the driver checks before any use:
// - pwo is the 32-bit handle of the target window; the engine finds the
//   window object the driver made for it, only for a window of the calling
//   process.
// - pInline is the byte offset of the inline batch within the escape's
//   input (the batch usually follows the header: 44); the batch must lie
//   wholly inside the input.
// Addresses in a shared section (pBatch, a span transfer's data) are the
// client's addresses inside its view of the section: the driver subtracts
// the client base given at set-up and checks the result against the size
// it mapped.
#pragma once

#include <cstddef>
#include <cstdint>

struct BATCHHDR {
    std::uint32_t flags;     // BATCH_FL_...
    std::uint32_t hrc;       // context handle (0 = none)
    std::uint32_t hShMem;    // section handle holding the batch (0 = inline)
    std::uint32_t pBatch;    // client address of the batch in that section
    std::uint32_t length;    // its byte length
    std::uint32_t reserved[3];
    std::uint32_t pwo;       // handle of the target window (0 = none)
    std::uint32_t pInline;   // offset of the inline batch in the input
    std::uint32_t cjInline;  // its byte length; at least 4
};
static_assert(sizeof(BATCHHDR) == 44);
static_assert(offsetof(BATCHHDR, hrc) == 4 && offsetof(BATCHHDR, hShMem) == 8 &&
              offsetof(BATCHHDR, pBatch) == 12 && offsetof(BATCHHDR, length) == 16 &&
              offsetof(BATCHHDR, pwo) == 32 && offsetof(BATCHHDR, pInline) == 36 &&
              offsetof(BATCHHDR, cjInline) == 40);

#define BATCH_FL_CREATE_CONTEXT 0x1u  // an inline context create may come alone
#define BATCH_FL_SETUP 0x2u           // an inline process set-up may come alone

// Command words, with the byte size of each record (command word included).
// Commands 0, 1, 9, 11, 12 and 16 are refused; 2 and 10 are honoured inline
// only, each as the whole batch.
#define BATCH_CREATE_CONTEXT 2   // 12, inline only: word 1 window handle, 2 pixel format
#define BATCH_DELETE_CONTEXT 3   // 8, ends the batch: word 1 the context handle
#define BATCH_CONTEXT_OP 4       // 24: word 1 operation 1..7
#define BATCH_FLAGS 5            // 8, ends the batch: word 1 flags (0x101 allowed)
#define BATCH_BUFFER_WALK 6      // 24: word 1 buffer kind, 2-3 x, y, 5 height
#define BATCH_NOP 7              // 4
#define BATCH_QUERY 8            // 28, ends the batch: word 1 query, 2-6 parameters
#define BATCH_SETUP 10           // 32, inline only
#define BATCH_SPAN 13            // 44: span transfer
#define BATCH_STATE 14           // 12 and the state's extra words
#define BATCH_DEPTH 15           // 8
#define BATCH_SPAN_CLIPPED 17    // 44: span transfer per visible rectangle
#define BATCH_LAST_COMMAND 17

// Process set-up (BATCH_SETUP) sub-codes: 1 maps the client's section (word
// 3 the client's process id, 4 its section handle, 5 the offset, 6 the size,
// 7 its base address in the client) and answers a section handle; 2 deletes
// the section handle in word 2.
#define BATCH_SETUP_MAP 1
#define BATCH_SETUP_UNMAP 2

// Span transfer buffer kinds.
#define BATCH_BUFFER_FRONT 1
#define BATCH_BUFFER_BACK 2
#define BATCH_BUFFER_DEPTH 3

// State ids of BATCH_STATE with a meaning here.
#define BATCH_STATE_HOOK 5        // the state hook
#define BATCH_STATE_SCISSOR_ON 27 // word 2: scissor enable
#define BATCH_STATE_SCISSOR 28    // words 2-5: scissor x, y, width, height (window-relative)
#define BATCH_STATE_LAST 39
