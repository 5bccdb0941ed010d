// The shared primitive ring (PrimSegment) of a client context and the render
// command that hands the server a batch of its vertices
// (X_GLrop_PrimitiveZYD). Little-endian. The client creates the section, one
// per context, and writes the vertices; the server maps it, draws each batch
// straight from the ring and writes consumedIndex when it is done with it.
#pragma once

#include <cstddef>
#include <cstdint>

#define PRIM_SEGMENT_VERTICES 8000u
#define PRIM_SEGMENT_SIZE 0x94900u  // 608,512 bytes

// Per-vertex flags: the attributes a vertex carries.
#define VTX_EDGEFLAG 0x001u
#define VTX_XY 0x004u
#define VTX_XYZ 0x008u
#define VTX_XYZW 0x010u
#define VTX_RGB 0x020u
#define VTX_RGBA 0x040u
#define VTX_INDEX 0x080u
#define VTX_NORMAL 0x100u
#define VTX_TEXCOORD 0x400u
// Markers beside the attributes (bits the lgi vertex format of a batch never
// takes from here: the server leaves them out of the format it draws with;
// in a batch's orMask when a vertex has one, never in its andMask): the
// first vertex of a line loop, fan or polygon, and a later slot that repeats
// it (a loop's closing vertex, the shared corner of the triangles or quads a
// fan or polygon becomes). A repeat takes each attribute it lacks from that
// first vertex as the server completed it, in the same batch or, for a
// primitive continued, in an earlier one.
#define VTX_PRIM_FIRST 0x4000u
#define VTX_FIRST_COPY 0x8000u
#define VTX_MARKERS (VTX_PRIM_FIRST | VTX_FIRST_COPY)

// Continuation flags OR'd into the batch's GL mode: the primitive goes on
// from the previous batch / into the next one.
#define PRIM_FROM_PREVIOUS 0x100u
#define PRIM_TO_NEXT 0x200u

typedef struct PrimSegment {
    std::uint32_t consumedIndex;  // +0 server: 8000 when mapped, then first + count of each batch
    std::uint8_t reserved[504];
    std::uint32_t numStrips;                             // +508 kept by the client
    std::uint32_t stripLengths[PRIM_SEGMENT_VERTICES];   // +512 from the batch's first index on
    std::uint32_t vertexFlags[PRIM_SEGMENT_VERTICES];    // +32512 VTX_* present
    float position[PRIM_SEGMENT_VERTICES][4];            // +64512 x, y, z, w
    float color[PRIM_SEGMENT_VERTICES][4];               // +192512 r, g, b, a
    float colorIndex[PRIM_SEGMENT_VERTICES];             // +320512 one float a slot
    float normal[PRIM_SEGMENT_VERTICES][3];              // +352512
    float texCoord[PRIM_SEGMENT_VERTICES][4];            // +448512 s, t, r, q
    std::uint32_t edgeFlag[PRIM_SEGMENT_VERTICES];       // +576512
} PrimSegment;
static_assert(sizeof(PrimSegment) == PRIM_SEGMENT_SIZE);
static_assert(offsetof(PrimSegment, numStrips) == 508);
static_assert(offsetof(PrimSegment, stripLengths) == 512);
static_assert(offsetof(PrimSegment, vertexFlags) == 32512);
static_assert(offsetof(PrimSegment, position) == 64512);
static_assert(offsetof(PrimSegment, color) == 192512);
static_assert(offsetof(PrimSegment, colorIndex) == 320512);
static_assert(offsetof(PrimSegment, normal) == 352512);
static_assert(offsetof(PrimSegment, texCoord) == 448512);
static_assert(offsetof(PrimSegment, edgeFlag) == 576512);

// The header of X_GLrop_PrimitiveZYD (glrequests.h). Inline form (inSegment 0), arrays in this
// order behind it: strip lengths (numStrips u32, line strips and loops
// only); vertex flags (count u32, omitted when orMask equals andMask);
// positions (count x 16); colours (count x 16) with VTX_RGB or VTX_RGBA;
// indices (count x 4) with VTX_INDEX; normals (count x 12) with VTX_NORMAL;
// texture coordinates (count x 16) with VTX_TEXCOORD; edge flags (count x 4)
// with VTX_EDGEFLAG.
typedef struct PrimitiveZYDHeader {
    std::uint16_t length;     // +0 bytes, header and inline arrays
    std::uint16_t opcode;     // +2 X_GLrop_PrimitiveZYD
    std::uint32_t inSegment;  // +4 non-zero: the vertices lie in the PrimSegment
    std::uint16_t first;      // +8 the batch's first slot
    std::uint16_t count;      // +10 vertices
    std::uint16_t mode;       // +12 GL mode 0-9 | PRIM_FROM_PREVIOUS | PRIM_TO_NEXT
    std::uint16_t orMask;     // +14 OR of the batch's vertex flags
    std::uint16_t andMask;    // +16 AND of them
    std::uint16_t numStrips;  // +18
} PrimitiveZYDHeader;
static_assert(sizeof(PrimitiveZYDHeader) == 20);
static_assert(offsetof(PrimitiveZYDHeader, inSegment) == 4);
static_assert(offsetof(PrimitiveZYDHeader, first) == 8);
static_assert(offsetof(PrimitiveZYDHeader, count) == 10);
static_assert(offsetof(PrimitiveZYDHeader, mode) == 12);
static_assert(offsetof(PrimitiveZYDHeader, orMask) == 14);
static_assert(offsetof(PrimitiveZYDHeader, andMask) == 16);
static_assert(offsetof(PrimitiveZYDHeader, numStrips) == 18);
