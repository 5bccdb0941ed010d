// Vertex records: the packet a primitive's vertices are packed into, the
// attributes filled from the previous vertex, the form changes of the
// current-attribute area, finishing with attribute-set packets, facet
// planes and the record ring.
#include <cmath>
#include <cstring>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"

namespace lgi_test {
namespace {

// Words of each attribute bit, as the record's layout gives them.
constexpr ULONG kWords[29] = {3, 3, 4, 4, 4, 3, 4, 1, 3, 4, 4, 4, 4, 4, 4, 1,
                              4, 4, 4, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1};

// Offset of a bit in a packed vertex of the mask: the words of the bits
// below it, bits 27 and 28 sharing one word.
ULONG Offset(ULONG mask, ULONG bit) {
    ULONG off = 0;
    for (ULONG b = 0; b < bit && b < 27; ++b)
        if (mask & (1u << b)) off += kWords[b];
    return off;
}

std::vector<int> gFlushes;
void OnFlush(void* pv) { gFlushes.push_back(*static_cast<int*>(pv)); }

class VertexRecordTest : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gFlushes.clear();
        glNSpeedOverMemory = 0;
    }
    void TearDown() override {
        glNSpeedOverMemory = 0;
        _NFreeVertexRing(ring_);
        LgiTest::TearDown();
    }
    // A record of the kind over a buffer of cWords words (a canary beyond).
    N_VertexRecord* Record(ULONG kind, ULONG cWords = 1024, N_VertexFlushFn pfn = nullptr) {
        buffer_.assign(cWords + 1, 0xCDCDCDCDu);
        return _NAllocVertexRing(kind, buffer_.data(), cWords * 4, pfn, &arg_, &ring_);
    }
    const ULONG* Vertex(ULONG i, ULONG mask) { return buffer_.data() + 3 + i * _NAttrMaskWords(mask); }
    float At(const ULONG* p, ULONG k) { return __glXWordFloat(p[k]); }

    std::vector<ULONG> buffer_;
    N_VertexRing* ring_ = nullptr;
    int arg_ = 7;
};

TEST_F(VertexRecordTest, MaskWords) {
    EXPECT_EQ(_NAttrMaskWords(0x18000000), 1u);
    EXPECT_EQ(_NAttrMaskWords(0x4), 4u);
    EXPECT_EQ(_NAttrMaskWords(0x1FFFFFFF), 78u);
    EXPECT_EQ(_NAttrMaskWords(0x8000000), 1u);
    EXPECT_EQ(_NAttrMaskWords(0x10 | 0x40 | 0x100), 11u);
}

// Buffers of 576 bytes or less get no record and call the callback once; a
// record of 577 bytes has 144 words and calls it after its first vertex.
TEST_F(VertexRecordTest, SmallBuffersAndTheRing) {
    std::vector<ULONG> small(145);
    EXPECT_EQ(_NAllocVertexRing(67, small.data(), 576, OnFlush, &arg_, &ring_), nullptr);
    EXPECT_EQ(gFlushes, std::vector<int>{7});
    gFlushes.clear();
    N_VertexRecord* pvr = _NAllocVertexRing(67, small.data(), 577, OnFlush, &arg_, &ring_);
    ASSERT_NE(pvr, nullptr);
    EXPECT_EQ(pvr->capacity, 144u);
    EXPECT_EQ(small[0], 67u);
    EXPECT_EQ(N_SetVertexPos3(pvr, 1, 2, 3), 0u);
    EXPECT_EQ(gFlushes, std::vector<int>{7});

    // Records go round robin: the 65th is the first again.
    N_VertexRecord* first = Record(63);
    for (int i = 0; i < 63; ++i) EXPECT_NE(Record(63), first);
    EXPECT_EQ(Record(63), first);
}

// Each mix of attributes packs every vertex with exactly its attributes in
// bit order; a vertex that does not set one takes it from its predecessor.
TEST_F(VertexRecordTest, AttributeMixes) {
    struct Mix {
        const char* name;
        ULONG mask;  // without the position
        ULONG posBit;
    };
    const Mix mixes[] = {
        {"position 2", 0, 0x4},
        {"rgba", 0x40, 0x10},
        {"rgb normal", 0x20 | 0x100, 0x8},
        {"index texture", 0x80 | 0x400, 0x8},
        {"all colours and normal texture", 0x40 | 0x100 | 0x400, 0x10},
        {"edge flag", 0x8000000, 0x8},
        {"materials", 0x800 | 0x1000 | 0x8000 | 0x10000 | 0x100000 | 0x200000 | 0x4000000, 0x8},
        {"edge flag and change mask", 0x8000000 | 0x10000000, 0x8},
    };
    for (const Mix& m : mixes) {
        SCOPED_TRACE(m.name);
        N_VertexRecord* pvr = Record(67);
        for (ULONG v = 0; v < 3; ++v) {
            const float base = 10.0f * (v + 1);
            // Vertex 1 sets nothing: it takes everything from vertex 0.
            if (v != 1) {
                for (ULONG b = 5; b < 29; ++b) {
                    if (!(m.mask & (1u << b))) continue;
                    const float f = base + b;
                    switch (b) {
                        case 5: N_SetVertexColor3(pvr, f, f + 1, f + 2); break;
                        case 6: N_SetVertexColor4(pvr, f, f + 1, f + 2, f + 3); break;
                        case 7: N_SetVertexIndex(pvr, f); break;
                        case 8: N_SetVertexNormal(pvr, 0, 0, f); break;
                        case 10: N_SetVertexTexCoord(pvr, f, f + 1, f + 2, f + 3); break;
                        case 11: N_SetVertexFrontEmission(pvr, f, f, f, f); break;
                        case 12: N_SetVertexFrontAmbient(pvr, f, f, f, f); break;
                        case 15: N_SetVertexFrontShininess(pvr, f); break;
                        case 16: N_SetVertexBackEmission(pvr, f, f, f, f); break;
                        case 20: N_SetVertexBackShininess(pvr, f); break;
                        case 21: N_SetVertexFrontAmbientIndex(pvr, f); break;
                        case 26: N_SetVertexBackSpecularIndex(pvr, f); break;
                        case 27: N_SetVertexEdgeFlag(pvr, v + 1); break;
                        case 28: N_SetVertexChangeMask(pvr, 0x100u); break;
                        default: break;
                    }
                }
            }
            const ULONG full = m.posBit == 0x4    ? N_SetVertexPos2(pvr, base, base + 1)
                               : m.posBit == 0x8 ? N_SetVertexPos3(pvr, base, base + 1, base + 2)
                                                  : N_SetVertexPos4(pvr, base, base + 1, base + 2, 2);
            EXPECT_EQ(full, 0u);
        }
        const ULONG mask = m.mask | m.posBit;
        ULONG* pEnd = N_FinishVertexRecord(pvr, 0, 0, 0);
        EXPECT_EQ(buffer_[0], 67u);
        EXPECT_EQ(buffer_[1], mask);
        EXPECT_EQ(buffer_[2], 3u);
        EXPECT_EQ(pEnd, buffer_.data() + 3 + 3 * _NAttrMaskWords(mask));
        for (ULONG v = 0; v < 3; ++v) {
            const ULONG* p = Vertex(v, mask);
            const float base = 10.0f * (v + 1);
            const float src = v == 1 ? 10.0f : base;  // the attributes of vertex 1 are vertex 0's
            EXPECT_EQ(At(p, 0), base);
            EXPECT_EQ(At(p, 1), base + 1);
            EXPECT_EQ(At(p, 2), m.posBit == 0x4 ? 0.0f : base + 2);
            EXPECT_EQ(At(p, 3), m.posBit == 0x10 ? 2.0f : 1.0f);
            for (ULONG b = 5; b < 27; ++b) {
                if (!(mask & (1u << b))) continue;
                const float f = src + b;  // the normal too, as given
                EXPECT_EQ(At(p, Offset(mask, b) + (b == 8 ? 2 : 0)), f) << "bit " << b << " vertex " << v;
            }
            if (mask & 0x8000000) EXPECT_EQ(p[Offset(mask, 27)] & 0xFF, v == 1 ? 1u : v + 1);
            if (mask & 0x10000000) EXPECT_EQ(p[Offset(mask, 28)] & 0xFFFFFF00u, 0x100u);
        }
        EXPECT_EQ(buffer_.back(), 0xCDCDCDCDu);
    }
}

// A colour given as RGB after the first vertex of an RGBA primitive is
// stored as RGBA with alpha 1; an attribute new after the first vertex
// makes that vertex's layout differ.
TEST_F(VertexRecordTest, LateAttributes) {
    N_VertexRecord* pvr = Record(70);
    N_SetVertexColor4(pvr, 0.1f, 0.2f, 0.3f, 0.4f);
    N_SetVertexPos3(pvr, 0, 0, 0);
    N_SetVertexColor3(pvr, 0.5f, 0.6f, 0.7f);
    EXPECT_EQ(N_SetVertexPos3(pvr, 1, 0, 0), 0u);
    const ULONG mask = 0x8 | 0x40;
    const ULONG* p = Vertex(1, mask);
    EXPECT_EQ(At(p, 4), 0.5f);
    EXPECT_EQ(At(p, 7), 1.0f);
    N_SetVertexNormal(pvr, 3, 0, 4);
    EXPECT_EQ(N_SetVertexPos3(pvr, 2, 0, 0), 1u);
    EXPECT_EQ(pvr->lastLayout, mask | 0x100);
    ULONG gotMask = 0, cb = 0;
    const ULONG* pv = N_GetVertex(pvr, 3, &gotMask, &cb);
    ASSERT_NE(pv, nullptr);
    EXPECT_EQ(gotMask, mask | 0x100);
    EXPECT_EQ(cb, 4 * _NAttrMaskWords(mask | 0x100));
    const ULONG* pn = N_GetAttrPtr(0x100, gotMask, pv, &cb);
    ASSERT_NE(pn, nullptr);
    // The normal as given: normalising is the normal stage's, under
    // GL_NORMALIZE.
    EXPECT_FLOAT_EQ(__glXWordFloat(pn[0]), 3.0f);
    EXPECT_FLOAT_EQ(__glXWordFloat(pn[2]), 4.0f);
    EXPECT_EQ(N_GetVertex(pvr, 4, &gotMask, &cb), nullptr);
    EXPECT_EQ(gotMask, 0u);
    EXPECT_EQ(N_GetAttrPtr(0x400, mask, pv, &cb), nullptr);
    EXPECT_EQ(cb, 0u);
}

// Finishing: nothing at all writes nothing; a colour after the last vertex
// becomes an attribute-set packet behind the vertices; dropping every
// vertex sends the last one's attributes from the buffer's start.
TEST_F(VertexRecordTest, Finishing) {
    N_VertexRecord* pvr = Record(63);
    EXPECT_EQ(N_FinishVertexRecord(pvr, 0, 1, 1), buffer_.data());
    EXPECT_EQ(buffer_[1], 0u);
    EXPECT_EQ(N_FinishVertexRecord(nullptr, 0, 1, 1), nullptr);

    pvr = Record(63);
    N_SetVertexPos2(pvr, 1, 2);
    N_SetVertexColor3(pvr, 0.25f, 0.5f, 0.75f);
    ULONG* pEnd = N_FinishVertexRecord(pvr, 0, 1, 1);
    const ULONG* pPacket = buffer_.data() + 3 + 4;
    ASSERT_EQ(pEnd, pPacket + 8);
    EXPECT_EQ(pPacket[0], 23u);
    EXPECT_EQ(pPacket[1], 52u);
    EXPECT_EQ(pPacket[2], ulAttrDescriptor(52));
    EXPECT_EQ(pPacket[3], gaNAttrTable[52].flDirty);
    EXPECT_EQ(__glXWordFloat(pPacket[4]), 0.25f);
    EXPECT_EQ(__glXWordFloat(pPacket[7]), 1.0f);

    pvr = Record(67);
    N_SetVertexNormal(pvr, 0, 2, 0);
    N_SetVertexEdgeFlag(pvr, 0x1FF);
    N_SetVertexPos3(pvr, 1, 2, 3);
    N_SetVertexPos3(pvr, 4, 5, 6);
    pEnd = N_FinishVertexRecord(pvr, 2, 1, 0);  // the incomplete triangle goes
    ASSERT_EQ(pEnd, buffer_.data() + 7 + 5);
    EXPECT_EQ(buffer_[0], 23u);
    EXPECT_EQ(buffer_[1], 55u);
    EXPECT_EQ(__glXWordFloat(buffer_[5]), 2.0f);
    EXPECT_EQ(buffer_[7], 23u);
    EXPECT_EQ(buffer_[8], 57u);
    EXPECT_EQ(buffer_[11], 0xFFu) << "the edge flag keeps its low 8 bits";
}

// With the speed-over-memory switch, a triangle strip of five vertices has
// planes in the facet slots of vertices 0, 1 and 2.
TEST_F(VertexRecordTest, FacetPlanes) {
    glNSpeedOverMemory = 1;
    N_VertexRecord* pvr = Record(70);
    const float p[5][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}, {0, 2, 1}};
    for (const auto& v : p) N_SetVertexPos3(pvr, v[0], v[1], v[2]);
    const ULONG mask = 0x8 | 0x200;
    EXPECT_EQ(pvr->perVertexMask, mask);
    auto cross = [](const float* u, const float* v, float* o) {
        o[0] = u[1] * v[2] - u[2] * v[1];
        o[1] = u[2] * v[0] - u[0] * v[2];
        o[2] = u[0] * v[1] - u[1] * v[0];
    };
    for (ULONG face = 0; face < 3; ++face) {
        const ULONG count = face + 2;  // the vertex whose arrival writes the plane
        const float* A = p[count - 2];
        const float* B = p[count - 1];
        const float* P = p[count];
        float u[3], v[3], n[3];
        for (int k = 0; k < 3; ++k) {
            u[k] = count % 2 ? A[k] - B[k] : B[k] - A[k];
            v[k] = count % 2 ? P[k] - A[k] : P[k] - B[k];
        }
        cross(u, v, n);
        const ULONG* plane = Vertex(face, mask) + Offset(mask, 9);
        SCOPED_TRACE(face);
        EXPECT_EQ(__glXWordFloat(plane[0]), n[0]);
        EXPECT_EQ(__glXWordFloat(plane[1]), n[1]);
        EXPECT_EQ(__glXWordFloat(plane[2]), n[2]);
        EXPECT_EQ(__glXWordFloat(plane[3]), n[0] * A[0] + n[1] * A[1] + n[2] * A[2]);
    }
}

// A vertex copied in from a narrower source is promoted: positions get z 0
// and w 1, RGB gets alpha 1.
TEST_F(VertexRecordTest, AddVerticesPromotes) {
    N_VertexRecord* pvr = Record(64);
    N_SetVertexColor4(pvr, 1, 2, 3, 4);
    N_SetVertexPos4(pvr, 1, 2, 3, 4);
    const float src[7] = {5, 6, 0, 0, 0.5f, 0.25f, 0.125f};  // position 2, RGB
    ULONG words[7];
    std::memcpy(words, src, sizeof words);
    EXPECT_EQ(N_AddVertices(pvr, words, 0x4 | 0x20, 0x10 | 0x40), 0u);
    const ULONG* v = Vertex(1, 0x10 | 0x40);
    EXPECT_EQ(__glXWordFloat(v[0]), 5.0f);
    EXPECT_EQ(__glXWordFloat(v[2]), 0.0f);
    EXPECT_EQ(__glXWordFloat(v[3]), 1.0f);
    EXPECT_EQ(__glXWordFloat(v[4]), 0.5f);
    EXPECT_EQ(__glXWordFloat(v[7]), 1.0f);
}

// A record whose callback makes no room never writes past its buffer, and a
// null record is ignored everywhere.
TEST_F(VertexRecordTest, StaysInsideItsBuffer) {
    N_VertexRecord* pvr = Record(67, 150);
    for (int i = 0; i < 200; ++i) {
        N_SetVertexColor4(pvr, 1, 1, 1, 1);
        N_SetVertexFrontEmission(pvr, 1, 1, 1, 1);
        N_SetVertexBackSpecular(pvr, 1, 1, 1, 1);
        N_SetVertexNormal(pvr, 1, 0, 0);
        N_SetVertexPos4(pvr, 1, 2, 3, 4);
    }
    N_SetVertexTexCoord(pvr, 1, 1, 1, 1);
    N_FinishVertexRecord(pvr, 0, 1, 1);
    EXPECT_EQ(buffer_.back(), 0xCDCDCDCDu);

    // Every attribute twice over (the dropped vertex's and those set after
    // it) is more packets than the buffer holds: what fits is written.
    pvr = Record(63, 160);
    auto all = [](N_VertexRecord* p) {
        N_SetVertexColor4(p, 1, 1, 1, 1);
        N_SetVertexIndex(p, 1);
        N_SetVertexNormal(p, 1, 0, 0);
        N_SetVertexTexCoord(p, 1, 1, 1, 1);
        for (auto fn : {N_SetVertexFrontEmission, N_SetVertexFrontAmbient, N_SetVertexFrontDiffuse,
                        N_SetVertexFrontSpecular, N_SetVertexBackEmission, N_SetVertexBackAmbient,
                        N_SetVertexBackDiffuse, N_SetVertexBackSpecular})
            fn(p, 1, 1, 1, 1);
        for (auto fn : {N_SetVertexFrontShininess, N_SetVertexBackShininess, N_SetVertexFrontAmbientIndex,
                        N_SetVertexFrontDiffuseIndex, N_SetVertexFrontSpecularIndex, N_SetVertexBackAmbientIndex,
                        N_SetVertexBackDiffuseIndex, N_SetVertexBackSpecularIndex})
            fn(p, 1);
        N_SetVertexEdgeFlag(p, 1);
    };
    all(pvr);
    N_SetVertexPos3(pvr, 1, 2, 3);
    all(pvr);
    const ULONG* pEnd = N_FinishVertexRecord(pvr, 1, 1, 1);
    EXPECT_LE(pEnd, buffer_.data() + 160);
    EXPECT_GT(pEnd, buffer_.data() + 100);
    EXPECT_EQ(buffer_.back(), 0xCDCDCDCDu);
    N_SetVertexColor3(nullptr, 1, 1, 1);
    EXPECT_EQ(N_SetVertexPos2(nullptr, 1, 1), 0u);
    EXPECT_EQ(N_AddVertices(nullptr, nullptr, 0, 0), 0u);
    ULONG mask = 1, cb = 1;
    EXPECT_EQ(N_GetCurrentAttrs(nullptr, &mask, &cb), nullptr);
    EXPECT_EQ(cb, 0u);
}

}  // namespace
}  // namespace lgi_test
