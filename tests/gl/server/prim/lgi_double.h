// What reaches the lgi layer's primitive entries in the primitive tests:
// each batch of N_ExecPrimitive (its descriptor and copies of its arrays),
// each draw packet of the command stream, and the packet buffers handed to
// the list compiler.
#pragma once

#include <array>
#include <vector>

#include "context/context.h"
#include "lgi/lgi.h"

namespace prim_double {

struct Batch {
    N_PrimDesc desc;
    std::vector<ULONG> strips;
    std::vector<ULONG> flags;
    std::vector<std::array<float, 4>> position, color, texCoord;
    std::vector<float> index;
    std::vector<std::array<float, 3>> normal;
    std::vector<ULONG> edgeFlag;
};
struct DrawPacket {
    ULONG kind;
    ULONG format;
    ULONG count;
    std::vector<ULONG> words;  // the vertices
    // The lgi context's current values when the packet ran: what a vertex
    // without its own draws with.
    std::array<float, 4> color, normal, texCoord;
};

extern std::vector<Batch> gBatches;
extern std::vector<DrawPacket> gDraws;
extern ULONG gcListBatches;  // packet buffers handed to the list compiler
extern bool gbListRefuses;   // it refuses them (no list being compiled)
// With gbListKeeps the list keeps them here, in order (the test frees them).
extern bool gbListKeeps;
extern std::vector<__GLXpacketBuffer*> gListKept;
extern ULONG gcValidations;  // draws validated

void Clear();

}  // namespace prim_double
