// What reaches the lgi layer's two primitive entries while the client
// driver's tests run against the GL server built into their program: each
// batch of N_ExecPrimitive (the shared or inline vertex ring) and each draw
// packet of the command stream (the server's own Begin/End accumulation),
// with every vertex's position and the colour, normal and texture
// coordinates it is drawn with. The entries are wrapped at link time: they
// record, then draw as ever.
#pragma once

#include <array>
#include <vector>

#include "platform/kernel.h"

namespace prim_record {

struct Vertex {
    std::array<float, 4> position{};
    std::array<float, 4> color{};
    std::array<float, 3> normal{};
    std::array<float, 4> texCoord{};
    bool operator==(const Vertex&) const = default;
    auto operator<=>(const Vertex&) const = default;
};

// One call of an entry: the lgi primitive kind (63 points, 64 line strip,
// 65 lines, 66 polygon, 67 triangles, 68 quads, 69 fan, 70 triangle strip),
// the strip lengths (empty: one strip of all vertices), the vertices.
struct Entry {
    ULONG kind = 0;
    bool fromArrays = false;  // N_ExecPrimitive (else a draw packet)
    std::vector<ULONG> strips;
    std::vector<Vertex> v;
};

// The calls since the last Clear (recorded only while gbRecording).
extern std::vector<Entry> gEntries;
extern bool gbRecording;
void Clear();

}  // namespace prim_record
