// What the board's render functions (kzfill, kzline, kzoutline, kzpoint)
// read of the batch in a pipe and how each hands it on: a vertex's
// five-word colour record, its window coordinates (x, y, z), and the call
// of the stage after rendering.
#pragma once

#include <cstddef>

#include "3d/context/context.h"
#include "3d/pipes/pipes.h"
#include "shared/frame/hwframe.h"

namespace kzpipe {

inline const ULONG* Record(const CommonPipeData& c, ULONG i) {
    return c.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{i};
}
inline const LONG* Window(const CommonPipeData& c, ULONG i) { return c.pWindow + 3 * std::size_t{i}; }
inline void Next(N_Context* pctx, N_Pipe* pipe) { pipe->next[N_STAGE_RENDER](pctx, pipe); }

}  // namespace kzpipe
