// The server's primitive buffer: Begin, the per-vertex handlers and End fill
// lgi vertex records whose packets reach the command stream's draw packets
// when the buffer is handed on; primitives longer than a buffer wrap into
// records (and buffers) of their own without losing or repeating a face.
#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <utility>

#include "prim_fixture.h"

namespace prim_test {
namespace {

using prim_double::gDraws;

class PrimBufferTest : public PrimBufferFixture {
  protected:
    // A per-vertex request's handler with its argument words.
    ULONG Vtx(ULONG op, std::vector<ULONG> args) { return table_[op](gc_.pPrimBuffer, args.data()); }
    void Vertex3(float x, float y, float z) { Vtx(70, {F(x), F(y), F(z)}); }
    void Color4(float r, float g, float b, float a) { Vtx(16, {F(r), F(g), F(b), F(a)}); }
    // The primitives the draw packets hold, each as its vertices' x (the
    // vertex number), sorted, faces of strips and fans split into triangles.
    static std::multiset<std::vector<int>> Faces(ULONG mode) {
        std::multiset<std::vector<int>> faces;
        for (const auto& d : gDraws) {
            const ULONG cWords = _NAttrMaskWords(d.format);
            std::vector<int> v;
            for (ULONG i = 0; i < d.count; ++i) v.push_back(static_cast<int>(std::bit_cast<float>(d.words[i * cWords])));
            auto add = [&faces](std::vector<int> f) {
                std::sort(f.begin(), f.end());
                faces.insert(f);
            };
            const int n = static_cast<int>(v.size());
            switch (mode) {
                case kPoints: for (int i = 0; i < n; ++i) add({v[i]}); break;
                case kLines: for (int i = 0; i + 1 < n; i += 2) add({v[i], v[i + 1]}); break;
                case kLineStrip:
                case kLineLoop: for (int i = 0; i + 1 < n; ++i) add({v[i], v[i + 1]}); break;
                case kTriangles: for (int i = 0; i + 2 < n; i += 3) add({v[i], v[i + 1], v[i + 2]}); break;
                case kQuads: for (int i = 0; i + 3 < n; i += 4) add({v[i], v[i + 1], v[i + 2], v[i + 3]}); break;
                case kTriStrip:
                case kQuadStrip: for (int i = 0; i + 2 < n; ++i) add({v[i], v[i + 1], v[i + 2]}); break;
                default: for (int i = 1; i + 1 < n; ++i) add({v[0], v[i], v[i + 1]}); break;
            }
        }
        return faces;
    }
    // A drawn vertex's colour: its own, else the one current when it was drawn.
    static std::array<float, 4> ColourOf(const prim_double::DrawPacket& d, const ULONG* pulVertex) {
        std::array<float, 4> c = d.color;
        ULONG cb = 0;
        if (const ULONG* pul = N_GetAttrPtr(N_VTX_RGBA, d.format, pulVertex, &cb)) {
            std::memcpy(c.data(), pul, 16);
        } else if ((pul = N_GetAttrPtr(N_VTX_RGB, d.format, pulVertex, &cb)) != nullptr) {
            std::memcpy(c.data(), pul, 12);
            c[3] = 1.0f;
        }
        return c;
    }
    static std::multiset<std::vector<int>> Expected(ULONG mode, int n) {
        std::multiset<std::vector<int>> faces;
        auto add = [&faces](std::vector<int> f) {
            std::sort(f.begin(), f.end());
            faces.insert(f);
        };
        switch (mode) {
            case kPoints: for (int i = 0; i < n; ++i) add({i}); break;
            case kLines: for (int i = 0; i + 1 < n; i += 2) add({i, i + 1}); break;
            case kLineStrip: for (int i = 0; i + 1 < n; ++i) add({i, i + 1}); break;
            case kLineLoop: for (int i = 0; i + 1 < n; ++i) add({i, i + 1}); add({n - 1, 0}); break;
            case kTriangles: for (int i = 0; i + 2 < n; i += 3) add({i, i + 1, i + 2}); break;
            case kQuads: for (int i = 0; i + 3 < n; i += 4) add({i, i + 1, i + 2, i + 3}); break;
            case kTriStrip: for (int i = 0; i + 2 < n; ++i) add({i, i + 1, i + 2}); break;
            // whole quads only: an unpaired last vertex draws nothing
            case kQuadStrip: for (int i = 0; i + 2 < (n & ~1); ++i) add({i, i + 1, i + 2}); break;
            default: for (int i = 1; i + 1 < n; ++i) add({0, i, i + 1}); break;
        }
        return faces;
    }
};

TEST_F(PrimBufferTest, TrianglesReachTheDrawPackets) {
    ASSERT_EQ(Begin(kTriangles), 0u);
    EXPECT_EQ(gc_.bInBegin, 1u);
    Color4(1, 0, 0, 1);
    Vertex3(0, 0, 0);
    Vertex3(1, 0, 0);
    Color4(0, 1, 0, 1);
    Vertex3(1, 1, 0);
    Vertex3(5, 5, 5);  // a vertex short of a triangle: the lgi layer's face count drops it
    EXPECT_EQ(End(), 0u) << "room left: the buffer stays open";
    EXPECT_TRUE(gDraws.empty());
    HandOver();
    ASSERT_EQ(gDraws.size(), 1u);
    const auto& d = gDraws[0];
    EXPECT_EQ(d.kind, 67u);
    EXPECT_EQ(d.format, 0x8u | 0x40u);
    ASSERT_EQ(d.count, 4u);
    EXPECT_EQ(std::bit_cast<float>(d.words[8]), 1.0f);    // vertex 1's x
    EXPECT_EQ(std::bit_cast<float>(d.words[12]), 1.0f);   // its colour, from vertex 0
    EXPECT_EQ(std::bit_cast<float>(d.words[16 + 5]), 1.0f);  // vertex 2: green

    // A colour after the last vertex is the current colour once the buffer ran.
    ASSERT_EQ(Begin(kPoints), 0u);
    Vertex3(0, 0, 0);
    Color4(0.25f, 0.5f, 0.75f, 1);
    End();
    HandOver();
    float current[4] = {};
    N_GetStateBlockAttr(N_ATTR_COLOUR, current);
    EXPECT_EQ(current[0], 0.25f);
    EXPECT_EQ(current[2], 0.75f);
}

// A colour first given after the first vertex (the record's layout widens
// and the record wraps): the first vertex keeps the colour current before
// Begin, the later ones take the new one.
TEST_F(PrimBufferTest, ColourGivenAfterTheFirstVertexLeavesTheFirstAlone) {
    const float before[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    for (ULONG mode : {kLineStrip, kTriStrip, kTriangles}) {
        SCOPED_TRACE(mode);
        // (the primitive before left its last colour current)
        N_SetStateBlockAttr(N_ATTR_COLOUR, before);
        gDraws.clear();
        ASSERT_EQ(Begin(mode), 0u);
        Vertex3(0, 0, 0);
        Color4(0, 1, 0, 1);
        Vertex3(1, 0, 0);
        Vertex3(2, 0, 0);
        End();
        HandOver();
        int seen = 0;
        for (const auto& d : gDraws) {
            const ULONG cWords = _NAttrMaskWords(d.format);
            for (ULONG i = 0; i < d.count; ++i) {
                const ULONG* pul = d.words.data() + i * cWords;
                const std::array<float, 4> c = ColourOf(d, pul);
                const int x = static_cast<int>(std::bit_cast<float>(pul[0]));
                ++seen;
                EXPECT_EQ(c[0], x == 0 ? 0.25f : 0.0f) << "vertex " << x;
                EXPECT_EQ(c[1], x == 0 ? 0.5f : 1.0f) << "vertex " << x;
            }
        }
        EXPECT_GE(seen, 3);
    }
}

// Two primitives in one open buffer follow each other; a line loop of three
// vertices draws three segments.
TEST_F(PrimBufferTest, PrimitivesShareTheBufferAndLoopsClose) {
    ASSERT_EQ(Begin(kLineLoop), 0u);
    Vertex3(0, 0, 0);
    Vertex3(1, 0, 0);
    Vertex3(2, 0, 0);
    EXPECT_EQ(End(), 0u);
    ASSERT_EQ(Begin(kPoints), 0u);
    Vertex3(7, 0, 0);
    EXPECT_EQ(End(), 0u);
    HandOver();
    ASSERT_EQ(gDraws.size(), 2u);
    EXPECT_EQ(gDraws[0].kind, 64u);
    EXPECT_EQ(gDraws[0].count, 4u);
    EXPECT_EQ(std::bit_cast<float>(gDraws[0].words[12]), 0.0f);
    EXPECT_EQ(gDraws[1].kind, 63u);
    // With the every-primitive switch each End hands the buffer on.
    gDraws.clear();
    ASSERT_EQ(Begin(kLines), 0u);
    Vertex3(0, 0, 0);
    Vertex3(1, 0, 0);
    End(true);
    EXPECT_EQ(gDraws.size(), 1u);
    EXPECT_EQ(gc_.pPending, nullptr);
}

// Primitives of many vertices wrap at the buffer's end: each mode's faces
// come out once each, whatever records and buffers they were split into;
// attributes set once stay with the later vertices.
TEST_F(PrimBufferTest, LongPrimitivesWrapWithoutLosingFaces) {
    for (ULONG mode = 0; mode < 10; ++mode) {
        for (int n : {5, 137, 400}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " n " << n);
            gDraws.clear();
            ASSERT_EQ(Begin(mode), 0u);
            Color4(0.5f, 0.5f, 0.5f, 1);
            for (int i = 0; i < n; ++i) {
                if (i == 50) Vtx(30, {F(0), F(0), F(1)});  // a normal from here on
                Vertex3(static_cast<float>(i), 0, 0);
            }
            const std::size_t cBeforeEnd = gDraws.size();
            End();
            HandOver();
            if (n == 400) EXPECT_GT(cBeforeEnd, 0u) << "full buffers went on before End";
            EXPECT_EQ(Faces(mode == kQuadStrip ? kTriStrip : mode), Expected(mode, n));
            for (const auto& d : gDraws) {
                const ULONG cWords = _NAttrMaskWords(d.format);
                ASSERT_EQ(d.words.size(), d.count * cWords);
                for (ULONG i = 0; i < d.count; ++i) EXPECT_EQ(ColourOf(d, d.words.data() + i * cWords)[0], 0.5f);
            }
        }
    }
}

// Each vertex drawn carries the colour, normal and texture coordinates
// current when it was given, across every wrap of a long primitive; a line
// loop's closing segment ends at its first vertex with that vertex's
// values; after End the values given last are current, also those given
// after the last vertex.
TEST_F(PrimBufferTest, VerticesKeepTheirValuesAcrossWrapsAndAfterEnd) {
    using Value = std::array<float, 4>;
    struct Current {
        Value color, normal, tex;
    };
    const Current before{{0.25f, 0.5f, 0.75f, 1}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (ULONG mode = 0; mode < 10; ++mode) {
        for (int n : {3, 5, 136, 137, 138, 139, 335, 400}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " n " << n);
            N_SetStateBlockAttr(N_ATTR_COLOUR, before.color.data());
            N_SetStateBlockAttr(N_ATTR_NORMAL, before.normal.data());
            N_SetStateBlockAttr(N_ATTR_TEXCOORD, before.tex.data());
            gDraws.clear();
            Current cur = before;
            std::vector<Current> given;
            auto color = [&](int k) {  // RGB and RGBA in turn
                cur.color = {k / 512.0f, 1 - k / 512.0f, 0.5f, k % 2 ? 1.0f : 0.5f};
                if (k % 2) Vtx(8, {F(cur.color[0]), F(cur.color[1]), F(cur.color[2])});
                else Color4(cur.color[0], cur.color[1], cur.color[2], cur.color[3]);
            };
            auto normal = [&](int k) {  // unit normals, exact in floats
                cur.normal = k % 2 ? Value{0.6f, 0.8f, 0, 0} : Value{0, -0.8f, 0.6f, 0};
                Vtx(30, {F(cur.normal[0]), F(cur.normal[1]), F(cur.normal[2])});
            };
            auto tex = [&](int k) {
                cur.tex = {k / 4.0f, 2, 0, 1};
                Vtx(54, {F(cur.tex[0]), F(cur.tex[1])});
            };
            ASSERT_EQ(Begin(mode), 0u);
            for (int i = 0; i < n; ++i) {
                if (i % 3 == 1) color(i);
                if (i % 5 == 2) normal(i);
                if (i % 7 == 3) tex(i);
                given.push_back(cur);
                Vertex3(static_cast<float>(i), 0, 0);
            }
            color(n);
            normal(n);
            End();
            HandOver();
            int cClosing = 0;
            for (const auto& d : gDraws) {
                const ULONG cWords = _NAttrMaskWords(d.format);
                for (ULONG i = 0; i < d.count; ++i) {
                    const ULONG* pul = d.words.data() + i * cWords;
                    const int x = static_cast<int>(std::bit_cast<float>(pul[0]));
                    ASSERT_TRUE(x >= 0 && x < n);
                    if (mode == kLineLoop && x == 0 && (&d != &gDraws.front() || i != 0)) ++cClosing;
                    // A vertex without an attribute of its own draws with the
                    // value current when its packet runs.
                    auto expect = [&](ULONG bit, const Value& want, const Value& other, ULONG cValues,
                                      const char* what) {
                        ULONG cb = 0;
                        Value v = bit == N_VTX_RGBA ? ColourOf(d, pul) : other;
                        if (const ULONG* pv = N_GetAttrPtr(bit, d.format, pul, &cb)) std::memcpy(v.data(), pv, cValues * 4);
                        for (ULONG c = 0; c < cValues; ++c) {
                            ASSERT_EQ(v[c], want[c]) << what << " of vertex " << x << " in draw " << (&d - gDraws.data());
                        }
                    };
                    expect(N_VTX_RGBA, given[x].color, d.color, 4, "colour");
                    expect(N_VTX_NORMAL, given[x].normal, d.normal, 3, "normal");
                    expect(N_VTX_TEXCOORD, given[x].tex, d.texCoord, 4, "texture coordinates");
                }
            }
            if (mode == kLineLoop) {
                EXPECT_EQ(cClosing, 1) << "the loop closes once at its first vertex";
                EXPECT_EQ(Faces(kLineLoop), Expected(kLineLoop, n));
            }
            Value got{};
            N_GetStateBlockAttr(N_ATTR_COLOUR, got.data());
            EXPECT_EQ(got, cur.color) << "current colour";
            got = {};
            N_GetStateBlockAttr(N_ATTR_NORMAL, got.data());
            EXPECT_EQ((Value{got[0], got[1], got[2], 0}), cur.normal) << "current normal";
            got = {};
            N_GetStateBlockAttr(N_ATTR_TEXCOORD, got.data());
            EXPECT_EQ(got, cur.tex) << "current texture coordinates";
        }
    }
}

// A polygon longer than a record is cut into records that go on as fans
// from its first vertex. Outlined, the records draw the polygon's boundary
// edges each once and no edge a cut made (from the first vertex to a
// record's first and last vertices); the flags glEdgeFlag gave survive the
// cuts, and the last one given is current after End.
TEST_F(PrimBufferTest, CutPolygonsOutlineOnlyTheirBoundary) {
    using Edge = std::pair<int, int>;
    struct Case {
        const char* what;
        int n;
        ULONG before;                // the edge flag current before Begin
        int off;                     // vertices i with i % 7 == off are given flag 0, the next 1 (-1: none)
        bool colours;                // a colour a vertex: a wider vertex
    };
    const Case cases[] = {
        {"no flag given", 400, 1, -1, false},
        {"no flag given, coloured, over several buffers", 1000, 1, -1, true},
        {"every seventh edge not a boundary", 400, 1, 3, false},
        {"every seventh, from the first vertex", 600, 1, 0, true},
        {"flag 0 before Begin: no boundary", 400, 0, -1, false},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    // Ending on each vertex about the first cut: the last record may draw
    // nothing.
    for (int n = 170; n < 186; ++n) all.push_back({"ending about the cut", n, 1, -1, false});
    for (int n = 92; n < 108; ++n) all.push_back({"ending about the cut, coloured", n, 1, -1, true});
    for (const Case& c : all) {
        SCOPED_TRACE(testing::Message() << c.what << ", " << c.n << " vertices");
        const ULONG before[4] = {c.before, 0, 0, 0};
        N_SetStateBlockAttr(N_ATTR_EDGE_FLAG, before);
        gDraws.clear();
        std::vector<bool> boundary;
        bool flag = c.before != 0;
        ASSERT_EQ(Begin(kPolygon), 0u);
        for (int i = 0; i < c.n; ++i) {
            if (c.off >= 0 && i % 7 == c.off) Vtx(22, {0}), flag = false;
            if (c.off >= 0 && i % 7 == (c.off + 1) % 7 && i > 0) Vtx(22, {1}), flag = true;
            if (c.colours) Color4(i / 1024.0f, 0.5f, 0.25f, 1);
            boundary.push_back(flag);
            Vertex3(static_cast<float>(i), 0, 0);
        }
        End();
        HandOver();
        if (c.n >= 400) ASSERT_GE(gDraws.size(), 2u) << "the polygon was cut";
        std::multiset<Edge> drawn, expected;
        for (int i = 0; i < c.n; ++i)
            if (boundary[i]) expected.insert(std::minmax(i, (i + 1) % c.n));
        for (const auto& d : gDraws) {
            ASSERT_EQ(d.kind, 66u);
            if (d.count < 3) continue;
            const ULONG cWords = _NAttrMaskWords(d.format);
            for (ULONG i = 0; i < d.count; ++i) {
                const ULONG* pul = d.words.data() + i * cWords;
                const ULONG* pulNext = d.words.data() + (i + 1) % d.count * cWords;
                ULONG cb = 0;
                const ULONG* pulFlag = N_GetAttrPtr(N_VTX_EDGEFLAG, d.format, pul, &cb);
                if (pulFlag != nullptr && (*pulFlag & 3u) != 1u) continue;
                drawn.insert(std::minmax(static_cast<int>(std::bit_cast<float>(pul[0])),
                                         static_cast<int>(std::bit_cast<float>(pulNext[0]))));
            }
        }
        EXPECT_EQ(drawn, expected);
        ULONG current[4] = {};
        N_GetStateBlockAttr(N_ATTR_EDGE_FLAG, current);
        EXPECT_EQ(current[0] & 0xFFu, flag ? 1u : 0u) << "the edge flag current after End";
    }
}

// End sends an attribute packet only for a value the lgi context would not
// hold after the record's draw packet: none when the primitive gives the
// values already current (the last kept vertex's too); a value given anew
// beside a skipped one still arrives; so does a value back at its old one
// while the last vertex drawn (a dropped vertex follows it) carries another.
TEST_F(PrimBufferTest, EndSendsOnlyTheValuesNotAlreadyCurrent) {
    using Value = std::array<float, 4>;
    const Value red{1, 0, 0, 1}, green{0, 1, 0, 1}, up{0, 0, 1, 0}, side{0.6f, 0.8f, 0, 0};
    // A step between Begin and End: a colour, a normal, or a number of
    // vertices.
    struct Step {
        char what;
        Value value;
        int n;
    };
    auto colour = [](const Value& v) { return Step{'c', v, 0}; };
    auto normal = [](const Value& v) { return Step{'n', v, 0}; };
    auto vertices = [](int n) { return Step{'v', {}, n}; };
    struct Case {
        const char* what;
        ULONG mode;
        std::vector<Step> steps;
        std::vector<ULONG> packets;  // the attribute ids End sends, in order
        Value colour, normal;        // current after the buffer ran
    };
    const Case cases[] = {
        {"nothing new", kTriangles, {colour(red), normal(up), vertices(3)}, {}, red, up},
        {"no attribute at all", kTriangles, {vertices(3)}, {}, red, up},
        {"a normal anew beside the colour already current", kTriangles, {colour(red), normal(side), vertices(3)},
         {55}, red, side},
        {"the colour anew after the last vertex, the normal current", kTriangles,
         {colour(red), normal(up), vertices(3), colour(green)}, {52}, green, up},
        {"a colour between, the old one again at the last vertex", kTriangles,
         {colour(green), vertices(2), colour(red), vertices(1)}, {}, red, up},
        // (the unpaired last vertex of a quad strip is not drawn)
        {"the old colour again on a dropped vertex", kQuadStrip,
         {colour(green), vertices(4), colour(red), vertices(1)}, {52}, red, up},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        N_SetStateBlockAttr(N_ATTR_COLOUR, red.data());
        N_SetStateBlockAttr(N_ATTR_NORMAL, up.data());
        gDraws.clear();
        ASSERT_EQ(Begin(c.mode), 0u);
        const __GLXprimBuffer* pb = gc_.pPrimBuffer;
        const ULONG* pulRecord = pb->pvr->pulBuffer;
        for (const Step& st : c.steps) {
            if (st.what == 'c') Color4(st.value[0], st.value[1], st.value[2], st.value[3]);
            else if (st.what == 'n') Vtx(30, {F(st.value[0]), F(st.value[1]), F(st.value[2])});
            else
                for (int i = 0; i < st.n; ++i) Vertex3(static_cast<float>(i), 0, 0);
        }
        End();
        // The draw packet, then End's attribute packets up to the write point.
        const auto* pulEnd = reinterpret_cast<const ULONG*>(pb->pjWrite);
        const ULONG* pul = pulRecord + 3 + std::size_t{pulRecord[2]} * _NAttrMaskWords(pulRecord[1]);
        std::vector<ULONG> ids;
        while (pul + 4 <= pulEnd && pul[0] == N_PKT_SET_ATTR) {
            ids.push_back(pul[1]);
            pul += 4 + (pul[2] >> 16);
        }
        EXPECT_EQ(pul, pulEnd) << "only attribute packets follow the draw";
        EXPECT_EQ(ids, c.packets);
        HandOver();
        EXPECT_EQ(gDraws.size(), 1u);
        Value got{};
        N_GetStateBlockAttr(N_ATTR_COLOUR, got.data());
        EXPECT_EQ(got, c.colour);
        got = {};
        N_GetStateBlockAttr(N_ATTR_NORMAL, got.data());
        EXPECT_EQ((Value{got[0], got[1], got[2], 0}), c.normal);
    }
}

// Close answers that the buffer must go when 272 words of room or fewer
// are left.
TEST_F(PrimBufferTest, CloseAsksForTheHandOverAtTheLimit) {
    ULONG cAsked = 0;
    for (int prim = 0; prim < 40 && cAsked == 0; ++prim) {
        ASSERT_EQ(Begin(kTriangles), 0u);
        for (int i = 0; i < 6; ++i) Vertex3(1, 2, 3);
        __GLXprimBuffer* pb = gc_.pPrimBuffer;
        const ULONG ul = End();
        const auto room = static_cast<ULONG>(pb->pjEnd - pb->pjWrite);
        EXPECT_EQ(ul != 0, room <= 272 * 4) << room;
        if (ul != 0) ++cAsked;
    }
    EXPECT_EQ(cAsked, 1u);
    HandOver();
    EXPECT_GT(gDraws.size(), 10u);
}

// A wrap that cannot get a new buffer drops the primitive's further
// vertices; End reports GL_OUT_OF_MEMORY and the next primitive works.
TEST_F(PrimBufferTest, WrapWithoutMemory) {
    ASSERT_EQ(Begin(kTriStrip), 0u);
    vnx::faults::arm("LocalAlloc", 0, 1000);
    for (int i = 0; i < 400; ++i) Vertex3(static_cast<float>(i), 0, 0);
    vnx::faults::clear();
    EXPECT_EQ(End(), GL_OUT_OF_MEMORY);
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    HandOver();
    gDraws.clear();
    ASSERT_EQ(Begin(kTriangles), 0u);
    for (int i = 0; i < 3; ++i) Vertex3(static_cast<float>(i), 0, 0);
    End();
    HandOver();
    EXPECT_EQ(gDraws.size(), 1u);
    // Begin itself without memory.
    __glFreePrimState(&gc_);
    vnx::faults::arm("LocalAlloc", 0, 10);
    EXPECT_EQ(Begin(kTriangles), GLX_BAD_ALLOC);
    vnx::faults::clear();
    EXPECT_EQ(Begin(11), GLX_BAD_VALUE);
}

// A buffer filled for a display list whose compile was given up (the
// context made current again) goes to the list compiler before an
// immediate primitive opens, and is freed when no list takes it; one still
// pending when the context goes is freed with it (the leak check sees both).
TEST_F(PrimBufferTest, ListBuffersLeftOpenAreNotLost) {
    ASSERT_EQ(__glOpenPrimitive(&client_, &gc_.pPrimBuffer, &gc_.pPending, GLX_PACKETS_LIST, kTriangles, 0), 0u);
    for (int i = 0; i < 3; ++i) Vertex3(static_cast<float>(i), 0, 0);
    ASSERT_EQ(End(), 0u);
    ASSERT_NE(gc_.pPending, nullptr);
    prim_double::gbListRefuses = true;
    ASSERT_EQ(Begin(kTriangles), 0u);
    EXPECT_EQ(prim_double::gcListBatches, 1u);
    ASSERT_NE(gc_.pPending, nullptr);
    EXPECT_EQ(gc_.pPending->target, static_cast<ULONG>(GLX_PACKETS_IMMEDIATE));
    for (int i = 0; i < 3; ++i) Vertex3(static_cast<float>(i + 10), 0, 0);
    End();
    HandOver();
    ASSERT_EQ(gDraws.size(), 1u) << "only the immediate triangle is drawn";
    EXPECT_EQ(Faces(kTriangles), (std::multiset<std::vector<int>>{{10, 11, 12}}));

    // Left pending at the end: the context's clean-up frees it.
    ASSERT_EQ(__glOpenPrimitive(&client_, &gc_.pPrimBuffer, &gc_.pPending, GLX_PACKETS_LIST, kPoints, 0), 0u);
    Vertex3(1, 2, 3);
    ASSERT_EQ(End(), 0u);
    EXPECT_EQ(gc_.pPending->target, static_cast<ULONG>(GLX_PACKETS_LIST));
}

// Materials between Begin and End: the faces, the parameters the scalar
// forms refuse, and shininess outside 0..128 (NaN included).
TEST_F(PrimBufferTest, Materials) {
    ASSERT_EQ(Begin(kPoints), 0u);
    const float nan = std::nanf("");
    struct Case {
        ULONG op;
        ULONG face, pname;
        ULONG value;
        ULONG error;
    };
    const Case cases[] = {
        {96, 0x404, 0x1601, F(129.0f), GL_INVALID_VALUE}, {96, 0x404, 0x1601, F(-1.0f), GL_INVALID_VALUE},
        {96, 0x405, 0x1601, F(nan), GL_INVALID_VALUE},    {97, 0x408, 0x1601, F(nan), GL_INVALID_VALUE},
        {96, 0x404, 0x1601, F(128.0f), GL_NO_ERROR},      {96, 0x408, 0x1601, F(0.0f), GL_NO_ERROR},
        {98, 0x404, 0x1601, 129, GL_INVALID_VALUE},       {99, 0x404, 0x1601, 64, GL_NO_ERROR},
        {96, 0x404, 0x1200, F(1), GL_INVALID_ENUM},       {98, 0x404, 0x1603, 1, GL_INVALID_ENUM},
        {97, 0x406, 0x1601, F(1), GL_INVALID_ENUM},       {97, 0x404, 0x1700, F(1), GL_INVALID_ENUM},
        {97, 0x404, 0x1602, F(0.5f), GL_NO_ERROR},        {99, 0x405, 0x1603, 3, GL_NO_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.op << " " << std::hex << c.face << " " << c.pname);
        EXPECT_EQ(Vtx(c.op, {c.face, c.pname, c.value, c.value, c.value, c.value}), c.error);
    }
    Vertex3(0, 0, 0);
    End();
    HandOver();
    ASSERT_EQ(gDraws.size(), 1u);
    EXPECT_EQ(gDraws[0].format & (0x8000 | 0x100000 | 0x1000 | 0x2000), 0x8000u | 0x100000u | 0x1000u | 0x2000u);
}

}  // namespace
}  // namespace prim_test
