// Batches of the primitive ring and inline batches: every GL mode reaches
// N_ExecPrimitive as its primitive kind with the batch's arrays; attributes
// not every vertex carries are filled; primitives continued across batches
// get their saved vertices back; consumedIndex follows each batch; batches
// that do not fit their ring, their command or the lgi pipe are refused
// without a write outside them.
#include "prim_fixture.h"

namespace prim_test {
namespace {

using prim_double::gBatches;

constexpr ULONG kKinds[10] = {63, 65, 64, 64, 67, 70, 69, 68, 71, 66};
constexpr ULONG kFull = VTX_XYZW | VTX_RGBA;

V Vtx(ULONG flags, float x, float c = 0) { return V{flags, {x, x + 1, x + 2, 1}, {c, c, c, 1}}; }

TEST_F(PrimTest, EveryModeThroughTheRingAndInline) {
    for (ULONG mode = 0; mode < 10; ++mode) {
        SCOPED_TRACE(mode);
        std::vector<V> vs;
        for (int i = 0; i < 6; ++i) vs.push_back(Vtx(kFull, 10.0f * i, 0.1f * i));
        Store(100, vs);
        gBatches.clear();
        ASSERT_EQ(Ring(100, 6, mode, kFull, kFull), 0u);
        EXPECT_EQ(ring_->consumedIndex, 106u);
        std::vector<BYTE> cmd = Inline(mode, vs);
        ASSERT_EQ(glExecPrimitiveZYD(&client_, cmd.data()), 0u);
        EXPECT_EQ(vnx::debug::take(), "going thru NON shared mem clause in server\n");
        ASSERT_EQ(gBatches.size(), 2u);
        for (const auto& b : gBatches) {
            EXPECT_EQ(b.desc.kind, kKinds[mode]);
            EXPECT_EQ(b.desc.count, 6u);
            EXPECT_EQ(b.desc.format, kFull);
            EXPECT_EQ(b.desc.positionStride, 16u);
            EXPECT_EQ(b.desc.normalStride, 12u);
            for (int i = 0; i < 6; ++i) {
                EXPECT_EQ(b.position[i][0], 10.0f * i);
                EXPECT_EQ(b.color[i][1], 0.1f * i);
                EXPECT_EQ(b.flags[i], kFull);
            }
        }
        EXPECT_EQ(gBatches[0].desc.flagStride, 4u);
        EXPECT_EQ(gBatches[1].desc.flagStride, 0u) << "inline with one flag word";
        EXPECT_EQ(gBatches[1].desc.singleFlags, kFull);
    }
}

// Only vertex 3 carries a colour: 0..2 take the current colour, 4 on copy
// vertex 3. The same for the other attributes; positions keep the widest
// bit, the edge flag becomes the lgi bit.
TEST_F(PrimTest, AttributeFill) {
    const float current[4] = {0.5f, 0.25f, 0.125f, 1};
    N_SetStateBlockAttr(N_ATTR_COLOUR, current);
    const float normal[3] = {0, 1, 0};
    N_SetStateBlockAttr(N_ATTR_NORMAL, normal);
    N_SetStateBlockAttrWord(N_ATTR_EDGE_FLAG, 1);
    std::vector<V> vs;
    for (int i = 0; i < 6; ++i) vs.push_back(Vtx(i % 2 ? VTX_XYZ : VTX_XY, 1.0f * i));
    vs[3].flags |= VTX_RGBA | VTX_NORMAL | VTX_EDGEFLAG;
    vs[3].color[0] = 0.75f;
    vs[3].normal[2] = 1;
    vs[3].edge = 0;
    Store(0, vs);
    const ULONG orMask = VTX_XY | VTX_XYZ | VTX_RGBA | VTX_NORMAL | VTX_EDGEFLAG;
    ASSERT_EQ(Ring(0, 6, 4, orMask, VTX_XY & VTX_XYZ), 0u);
    ASSERT_EQ(gBatches.size(), 1u);
    const auto& b = gBatches[0];
    EXPECT_EQ(b.desc.format, VTX_XYZ | VTX_RGBA | VTX_NORMAL | 0x8000000u);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(b.color[i][0], i < 3 ? 0.5f : 0.75f);
        EXPECT_EQ(b.normal[i][i < 3 ? 1 : 2], 1.0f);
        EXPECT_EQ(b.edgeFlag[i], i < 3 ? 1u : 0u);
    }
    // All alike: nothing filled.
    gBatches.clear();
    Store(10, {Vtx(kFull, 1, 0.9f), Vtx(kFull, 2, 0.8f)});
    ASSERT_EQ(Ring(10, 2, 1, kFull, kFull), 0u);
    EXPECT_EQ(gBatches[0].color[0][0], 0.9f);
    EXPECT_EQ(gBatches[0].color[1][0], 0.8f);
}

// A fan continued across batches: the next batch's first two slots get the
// primitive's first vertex and the previous batch's last; a line loop's
// closing slot gets its first vertex.
TEST_F(PrimTest, ContinuedPrimitives) {
    for (ULONG mode : {6u, 9u}) {  // GL_TRIANGLE_FAN, GL_POLYGON
        SCOPED_TRACE(mode);
        gBatches.clear();
        std::vector<V> first;
        for (int i = 0; i < 5; ++i) first.push_back(Vtx(kFull, 10.0f * i, 0.1f * i));
        Store(0, first);
        ASSERT_EQ(Ring(0, 5, mode | PRIM_TO_NEXT, kFull, kFull), 0u);
        Store(5, {Vtx(kFull, -1), Vtx(kFull, -1), Vtx(kFull, 70)});
        ASSERT_EQ(Ring(5, 3, mode | PRIM_FROM_PREVIOUS, kFull, kFull), 0u);
        ASSERT_EQ(gBatches.size(), 2u);
        EXPECT_EQ(gBatches[1].position[0][0], 0.0f);
        EXPECT_EQ(gBatches[1].position[1][0], 40.0f);
        EXPECT_EQ(gBatches[1].color[1][0], 0.4f);
        EXPECT_EQ(gBatches[1].position[2][0], 70.0f);
    }
    // Strips continue as the client sends them: nothing is put back.
    gBatches.clear();
    Store(20, {Vtx(kFull, 1), Vtx(kFull, 2), Vtx(kFull, 3)});
    ASSERT_EQ(Ring(20, 3, 5 | PRIM_FROM_PREVIOUS | PRIM_TO_NEXT, kFull, kFull), 0u);
    EXPECT_EQ(gBatches[0].position[0][0], 1.0f);

    // A loop whose first vertex lacks a colour: its closing copy in the last
    // slot gets the first vertex as filled, and nothing past the batch moves.
    const float current[4] = {0.5f, 0.5f, 0.5f, 1};
    N_SetStateBlockAttr(N_ATTR_COLOUR, current);
    gBatches.clear();
    Store(30, {Vtx(VTX_XYZW, 1), Vtx(kFull, 2, 0.9f), Vtx(kFull, 3, 0.8f), Vtx(VTX_XYZW, 1)});
    Store(34, {Vtx(kFull, 99, 0.3f)});
    ASSERT_EQ(Ring(30, 4, 2, kFull, VTX_XYZW), 0u);
    EXPECT_EQ(gBatches[0].color[3][0], 0.5f);
    EXPECT_EQ(gBatches[0].position[3][0], 1.0f);
    EXPECT_EQ(ring_->position[34][0], 99.0f);
    EXPECT_EQ(ring_->color[34][0], 0.3f);
    // Continued from there, alone: the saved first vertex closes the loop.
    gBatches.clear();
    Store(40, {Vtx(kFull, 5), Vtx(kFull, -7)});
    ASSERT_EQ(Ring(40, 2, 2 | PRIM_FROM_PREVIOUS, kFull, kFull), 0u);
    EXPECT_EQ(gBatches[0].position[1][0], 1.0f);
    // An empty continued batch writes no slot before it.
    Store(49, {Vtx(kFull, 42)});
    ASSERT_EQ(Ring(50, 0, 2 | PRIM_FROM_PREVIOUS, kFull, kFull), 0u);
    EXPECT_EQ(ring_->position[49][0], 42.0f);
    // A loop going on into the next batch is reported, and still drawn.
    gBatches.clear();
    ASSERT_EQ(Ring(40, 2, 2 | PRIM_TO_NEXT, kFull, kFull), 0u);
    EXPECT_NE(vnx::debug::take().find("glExecPrimitiveZYD: GL_LINE_LOOP!!\n"), std::string::npos);
    EXPECT_EQ(gBatches.size(), 1u);
}

// Repeats of a primitive's first vertex take each attribute they lack from
// that vertex as filled (here the current value), not from the vertex
// before them; in a batch continuing the primitive, from the first vertex
// saved with the batch before, whatever is current by then. A batch that
// does not go on forgets it: a repeat without its first vertex is filled
// as any other vertex. The markers stay out of the format drawn with.
TEST_F(PrimTest, RepeatsOfTheFirstVertexTakeItsValues) {
    struct Attribute {
        const char* name;
        ULONG bit;
        void (*set)(V*, float);         // the vertex's value
        void (*current)(float);         // the value current at the server
        float (*drawn)(const prim_double::Batch&, int);
    };
    const Attribute kAttributes[] = {
        {"colour", VTX_RGBA, [](V* v, float f) { v->color[1] = f; },
         [](float f) { const float c[4] = {0, f, 0, 1}; N_SetStateBlockAttr(N_ATTR_COLOUR, c); },
         [](const prim_double::Batch& b, int i) { return b.color[i][1]; }},
        {"index", VTX_INDEX, [](V* v, float f) { v->index = f; },
         [](float f) { N_SetStateBlockAttr(N_ATTR_INDEX, &f); },
         [](const prim_double::Batch& b, int i) { return b.index[i]; }},
        {"normal", VTX_NORMAL, [](V* v, float f) { v->normal[2] = f; },
         [](float f) { const float n[3] = {0, 0, f}; N_SetStateBlockAttr(N_ATTR_NORMAL, n); },
         [](const prim_double::Batch& b, int i) { return b.normal[i][2]; }},
        {"texture coordinates", VTX_TEXCOORD, [](V* v, float f) { v->tex[0] = f; },
         [](float f) { const float t[4] = {f, 0, 0, 1}; N_SetStateBlockAttr(N_ATTR_TEXCOORD, t); },
         [](const prim_double::Batch& b, int i) { return b.texCoord[i][0]; }},
        {"edge flag", VTX_EDGEFLAG, [](V* v, float f) { v->edge = static_cast<ULONG>(f); },
         [](float f) { N_SetStateBlockAttrWord(N_ATTR_EDGE_FLAG, f != 0 ? 1u : 0u); },
         [](const prim_double::Batch& b, int i) { return float(b.edgeFlag[i]); }},
    };
    constexpr ULONG kFirst = VTX_XYZW | VTX_PRIM_FIRST, kCopy = VTX_XYZW | VTX_FIRST_COPY;
    for (const Attribute& at : kAttributes) {
        SCOPED_TRACE(at.name);
        const ULONG orMask = VTX_XYZW | at.bit | VTX_MARKERS;
        // A vertex with the attribute (value 0) or without.
        auto vtx = [&](ULONG flags, float x, bool bHas = false) {
            V v = Vtx(flags, x);
            at.set(&v, 7);  // what a slot without the attribute holds
            if (bHas) {
                v.flags |= at.bit;
                at.set(&v, 0);
            }
            return v;
        };
        at.current(1);
        gBatches.clear();
        // A fan made triangles: F V1 V2, F' V2' V3, going on.
        Store(0, {vtx(kFirst, 0), vtx(VTX_XYZW, 1, true), vtx(VTX_XYZW, 2), vtx(kCopy, 0), vtx(VTX_XYZW, 2, true),
                  vtx(VTX_XYZW, 3)});
        ASSERT_EQ(Ring(0, 6, kTriangles | PRIM_TO_NEXT, orMask, VTX_XYZW), 0u);
        // The first vertex's value is no longer current when the next comes.
        at.current(0);
        Store(6, {vtx(kCopy, 0), vtx(VTX_XYZW, 3), vtx(VTX_XYZW, 4), vtx(kCopy, 0)});
        ASSERT_EQ(Ring(6, 4, kTriangles | PRIM_FROM_PREVIOUS, orMask, VTX_XYZW), 0u);
        // Not continued: the repeat is an ordinary vertex.
        Store(10, {vtx(VTX_XYZW, 5), vtx(kCopy, 0)});
        ASSERT_EQ(Ring(10, 2, kLineStrip, orMask, VTX_XYZW), 0u);
        ASSERT_EQ(gBatches.size(), 3u);
        struct Want {
            int batch, slot;
            float value;
        };
        for (const Want& w : {Want{0, 0, 1}, Want{0, 2, 0}, Want{0, 3, 1}, Want{0, 5, 0}, Want{1, 0, 1},
                              Want{1, 1, 1}, Want{1, 3, 1}, Want{2, 0, 0}, Want{2, 1, 0}}) {
            SCOPED_TRACE(testing::Message() << "batch " << w.batch << " slot " << w.slot);
            EXPECT_EQ(at.drawn(gBatches[w.batch], w.slot), w.value);
        }
        for (const auto& b : gBatches) EXPECT_EQ(b.desc.format & VTX_MARKERS, 0u);
    }
}

// Line strips carry their strip lengths; strips that add up to more than
// the batch are refused.
TEST_F(PrimTest, StripLengths) {
    Store(0, {Vtx(kFull, 0), Vtx(kFull, 1), Vtx(kFull, 2), Vtx(kFull, 3), Vtx(kFull, 4)});
    ring_->stripLengths[0] = 2;
    ring_->stripLengths[1] = 3;
    ASSERT_EQ(Ring(0, 5, 3, kFull, kFull, 2), 0u);
    ASSERT_EQ(gBatches.size(), 1u);
    EXPECT_EQ(gBatches[0].strips, (std::vector<ULONG>{2, 3}));
    ring_->stripLengths[1] = 4;
    EXPECT_EQ(Ring(0, 5, 3, kFull, kFull, 2), GLX_BAD_VALUE);
    std::vector<BYTE> cmd = Inline(2, {Vtx(kFull, 0), Vtx(kFull, 1), Vtx(kFull, 2)}, {1, 2});
    ASSERT_EQ(glExecPrimitiveZYD(&client_, cmd.data()), 0u);
    EXPECT_EQ(gBatches.back().strips, (std::vector<ULONG>{1, 2}));
    EXPECT_EQ(gBatches.back().desc.kind, 64u);
}

// Batches that do not fit: refused with an error, nothing drawn, nothing
// outside them touched; a batch of the ring is still consumed.
TEST_F(PrimTest, RefusedBatches) {
    struct Case {
        const char* what;
        ULONG first, count, mode, strips;
        ULONG result;
        ULONG consumed;  // ~0: untouched
    };
    const Case cases[] = {
        {"past slot 7999", 7990, 11, 4, 0, GLX_BAD_VALUE, 8001},
        {"longer than the pipe's batch", 0, 1009, 4, 0, GLX_BAD_VALUE, 1009},
        {"more strips than vertices", 0, 3, 3, 4, GLX_BAD_VALUE, 3},
        {"mode 10", 5, 3, 10, 0, 6, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gc_.error = 0;
        ring_->consumedIndex = 12345;
        EXPECT_EQ(Ring(c.first, c.count, c.mode, kFull, kFull, c.strips), c.result);
        EXPECT_EQ(ring_->consumedIndex, c.consumed);
        EXPECT_TRUE(gBatches.empty());
    }
    // The last slot fits.
    EXPECT_EQ(Ring(7990, 10, 0, kFull, kFull), 0u);
    EXPECT_EQ(ring_->consumedIndex, 8000u);

    // An inline batch whose arrays run past the command, and commands
    // shorter than their header.
    gBatches.clear();
    std::vector<BYTE> cmd = Inline(4, {Vtx(kFull, 0), Vtx(kFull | VTX_NORMAL, 1), Vtx(kFull, 2)});
    for (std::size_t cj = 20; cj < cmd.size(); cj += 4) {
        std::vector<BYTE> cut(cmd.begin(), cmd.begin() + static_cast<long>(cj));
        const auto len = static_cast<USHORT>(cj);
        std::memcpy(cut.data(), &len, 2);
        EXPECT_EQ(glExecPrimitiveZYD(&client_, cut.data()), GLX_BAD_LENGTH) << cj;
    }
    std::vector<BYTE> shortHeader(16, 0);
    const USHORT len16 = 16;
    std::memcpy(shortHeader.data(), &len16, 2);
    EXPECT_EQ(glExecPrimitiveZYD(&client_, shortHeader.data()), GLX_BAD_LENGTH);
    EXPECT_TRUE(gBatches.empty());

    // A batch of the ring without a ring.
    auto* ps = static_cast<__GLXprimSegment*>(gc_.pPrimSegment);
    ps->pView = nullptr;
    EXPECT_EQ(Ring(0, 3, 4, kFull, kFull), GLX_BAD_ACCESS);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    EXPECT_TRUE(gBatches.empty());
}

// Dirty state is validated and a pending packet buffer goes first.
TEST_F(PrimTest, ValidatesFirst) {
    gc_.dirty = GLX_DIRTY_VIEWPORT;
    Store(0, {Vtx(kFull, 0)});
    ASSERT_EQ(Ring(0, 1, 0, kFull, kFull), 0u);
    EXPECT_EQ(prim_double::gcValidations, 1u);
    EXPECT_EQ(gc_.dirty, 0u);
}

TEST(PrimBufferSize, FromTheVariable) {
    EXPECT_EQ(__glPrimitiveBufferSizeOf(nullptr), 4096u);
    EXPECT_EQ(__glPrimitiveBufferSizeOf("0"), 1024u);
    EXPECT_EQ(__glPrimitiveBufferSizeOf("1"), 1024u);
    EXPECT_EQ(__glPrimitiveBufferSizeOf("2"), 2048u);
    EXPECT_EQ(__glPrimitiveBufferSizeOf("199"), 199u * 1024);
    EXPECT_EQ(__glPrimitiveBufferSizeOf("500"), 200u * 1024);
    EXPECT_EQ(__glPrimitiveBufferSizeOf("-7"), 1024u);
    EXPECT_EQ(__glPrimitiveBufferSizeOf("junk"), 1024u);
}

}  // namespace
}  // namespace prim_test

namespace prim_test {
namespace {

// A ring of another size, or without a client process to take it from, is
// not mapped and leaves the context's ring as it was.
TEST_F(PrimTest, MappingRefusals) {
    EXPECT_EQ(__glMapPrimSegment(&client_, 4, PRIM_SEGMENT_SIZE - 4), -1);
    EXPECT_EQ(vnx::debug::take(), "__glMapPrimSegment: section of 608508 bytes\n");
    EXPECT_EQ(__glMapPrimSegment(&client_, 4, PRIM_SEGMENT_SIZE), -1);  // no client process
    EXPECT_EQ(static_cast<__GLXprimSegment*>(gc_.pPrimSegment)->pView, ring_.get());
    GLClient none{};
    EXPECT_EQ(__glMapPrimSegment(&none, 4, PRIM_SEGMENT_SIZE), -1);
}

}  // namespace
}  // namespace prim_test
