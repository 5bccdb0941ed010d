// Taking the primitive open in a display list's batch back out as plain
// requests. A list runs its batches and then the requests taken out (and
// those stored after them); at the lgi layer's draw packets this must give
// the faces that the same requests give when run at once: the same
// vertices, in the same order, with the same attributes.
#include <cmath>

#include "prim_fixture.h"

namespace prim_test {
namespace {

using prim_double::gDraws;

constexpr USHORT kSpill = 0xFFFF;  // where a request that a batch cannot carry arrives

struct Req {
    USHORT op;
    std::vector<ULONG> args;
};

// A vertex at a draw packet, attribute by attribute: the bit, then its
// words (a colour always as RGBA, the edge flag as its byte, a normal
// rounded to five places).
using Vertex = std::vector<long long>;
using Face = std::vector<Vertex>;

Vertex Canonical(ULONG format, const ULONG* pul) {
    Vertex v;
    for (ULONG b = 2; b < 28; ++b) {
        const ULONG bit = 1u << b;
        ULONG cb = 0;
        const ULONG* pa = N_GetAttrPtr(bit, format, pul, &cb);
        if (pa == nullptr || bit == N_VTX_FACET) continue;
        const bool bPos = bit & (N_VTX_POS2 | N_VTX_POS3 | N_VTX_POS4);
        const bool bColor = bit & (N_VTX_RGB | N_VTX_RGBA);
        v.push_back(bPos ? N_VTX_POS4 : bColor ? N_VTX_RGBA : bit);
        if (bit == N_VTX_EDGEFLAG) {
            v.push_back(pa[0] & 0xFF);
            continue;
        }
        for (ULONG w = 0; w < cb / 4; ++w) {
            if (bit == N_VTX_NORMAL) v.push_back(std::lround(std::bit_cast<float>(pa[w]) * 1e5f));
            else v.push_back(pa[w]);
        }
        if (bit == N_VTX_RGB) v.push_back(F(1.0f));
    }
    return v;
}

// The faces of the draw packets, in order; a strip's odd faces turned, so
// that a face reads the same whichever record it was drawn from.
std::vector<Face> Faces() {
    std::vector<Face> faces;
    for (const auto& d : gDraws) {
        // The draw's primitive kind, as the GL mode that has it.
        static const ULONG kModeOfKind[] = {kPoints, kLineStrip, kLines, kPolygon, kTriangles,
                                            kQuads, kTriFan, kTriStrip, kQuadStrip};
        const ULONG mode = d.kind >= 63 && d.kind <= 71 ? kModeOfKind[d.kind - 63] : kPoints;
        const ULONG cWords = _NAttrMaskWords(d.format);
        std::vector<Vertex> v;
        for (ULONG i = 0; i < d.count; ++i) v.push_back(Canonical(d.format, d.words.data() + i * cWords));
        const int n = static_cast<int>(v.size());
        switch (mode) {
            case kPoints: for (int i = 0; i < n; ++i) faces.push_back({v[i]}); break;
            case kLines: for (int i = 0; i + 1 < n; i += 2) faces.push_back({v[i], v[i + 1]}); break;
            case kLineStrip:
            case kLineLoop: for (int i = 0; i + 1 < n; ++i) faces.push_back({v[i], v[i + 1]}); break;
            case kTriangles: for (int i = 0; i + 2 < n; i += 3) faces.push_back({v[i], v[i + 1], v[i + 2]}); break;
            case kQuads:
                for (int i = 0; i + 3 < n; i += 4) faces.push_back({v[i], v[i + 1], v[i + 2], v[i + 3]});
                break;
            case kTriStrip:
                for (int i = 0; i + 2 < n; ++i)
                    faces.push_back(i % 2 ? Face{v[i + 1], v[i], v[i + 2]} : Face{v[i], v[i + 1], v[i + 2]});
                break;
            case kQuadStrip:
                for (int i = 0; i + 3 < n; i += 2) faces.push_back({v[i], v[i + 1], v[i + 3], v[i + 2]});
                break;
            default: for (int i = 1; i + 1 < n; ++i) faces.push_back({v[0], v[i], v[i + 1]}); break;
        }
    }
    return faces;
}

class TakeBackTest : public PrimBufferFixture {
  protected:
    void TearDown() override {
        prim_double::Clear();  // batches the list kept
        PrimBufferFixture::TearDown();
    }
    // A request as the immediate and Begin/End tables run it.
    void RunNow(USHORT op, const ULONG* pulArgs) {
        if (op == X_GLrop_Begin) {
            EXPECT_EQ(Begin(pulArgs[0]), 0u);
        } else if (op == X_GLrop_End) {
            End();
        } else {
            EXPECT_EQ(table_[op](gc_.pPrimBuffer, pulArgs), 0u) << op;
        }
    }
    // The requests run at once, then everything pending handed over.
    std::vector<Face> Immediate(const std::vector<Req>& reqs) {
        gDraws.clear();
        for (const Req& r : reqs)
            if (r.op != kSpill) RunNow(r.op, r.args.data());
        HandOver();
        return Faces();
    }
    // The requests compiled: Begin opens a list batch, the per-vertex
    // requests fill it; at the spill the open primitive is taken back, the
    // batch goes into the list and the rest is stored as it comes. Then the
    // list runs: its batches in order, the requests taken out, the rest.
    std::vector<Face> Compiled(const std::vector<Req>& reqs, std::vector<BYTE>* pTaken = nullptr) {
        gDraws.clear();
        prim_double::gbListKeeps = true;
        std::vector<BYTE> plain;
        bool bPlain = false;
        for (const Req& r : reqs) {
            if (r.op == kSpill) {
                BYTE* pj = nullptr;
                ULONG cj = 0;
                if (bRefuseFirst_) RefusedTakeBack();
                EXPECT_TRUE(__glTakeBackPrimitive(&client_, &pj, &cj));
                plain.assign(pj, pj + cj);
                if (pTaken != nullptr) *pTaken = plain;
                LocalFree(pj);
                if (gc_.pPending != nullptr) {
                    EXPECT_EQ(__glXStoreBatchInList(&client_, gc_.pPending), 0u);
                }
                gc_.pPending = nullptr;
                bPlain = true;
            } else if (bPlain) {
                const auto cj = static_cast<USHORT>(4 + 4 * r.args.size());
                const BYTE* pjHdr = reinterpret_cast<const BYTE*>(&cj);
                plain.insert(plain.end(), pjHdr, pjHdr + 2);
                pjHdr = reinterpret_cast<const BYTE*>(&r.op);
                plain.insert(plain.end(), pjHdr, pjHdr + 2);
                const BYTE* pjArgs = reinterpret_cast<const BYTE*>(r.args.data());
                plain.insert(plain.end(), pjArgs, pjArgs + 4 * r.args.size());
            } else if (r.op == X_GLrop_Begin) {
                EXPECT_EQ(__glOpenPrimitive(&client_, &gc_.pPrimBuffer, &gc_.pPending, GLX_PACKETS_LIST, r.args[0], 0),
                          0u);
                gc_.bInBegin = 1;
            } else {
                RunNow(r.op, r.args.data());
            }
        }
        // The list runs.
        prim_double::gbListKeeps = false;
        cListBatches_ = prim_double::gListKept.size();
        for (__GLXpacketBuffer* p : prim_double::gListKept) {
            p->target = GLX_PACKETS_IMMEDIATE;
            if (__glXDispatchPending(&client_, p) == 0xFFFFFFFFu) __glXFreePending(&client_, p);
            else __glXQueuePending(&client_, p);
        }
        prim_double::gListKept.clear();
        for (std::size_t off = 0; off + 4 <= plain.size();) {
            USHORT hdr[2];
            std::memcpy(hdr, plain.data() + off, 4);
            EXPECT_GE(hdr[0], 4u);
            if (hdr[0] < 4) break;
            std::vector<ULONG> args((hdr[0] - 4) / 4);
            if (!args.empty()) std::memcpy(args.data(), plain.data() + off + 4, args.size() * 4);
            RunNow(hdr[1], args.data());
            off += hdr[0];
        }
        HandOver();
        return Faces();
    }
    // A take-back without memory: FALSE, and nothing changed.
    void RefusedTakeBack() {
        const __GLXprimBuffer* pb = gc_.pPrimBuffer;
        const N_VertexRecord* pvr = pb->pvr;
        const N_VertexRecord before = *pvr;
        const BYTE* pjWrite = pb->pjWrite;
        const __GLXpacketBuffer* pPending = gc_.pPending;
        const ULONG cjUsed = pPending->cjUsed;
        vnx::faults::arm("LocalAlloc", 0, 1);
        BYTE* pj = reinterpret_cast<BYTE*>(&pj);
        ULONG cj = 7;
        EXPECT_FALSE(__glTakeBackPrimitive(&client_, &pj, &cj));
        vnx::faults::clear();
        EXPECT_EQ(pj, nullptr);
        EXPECT_EQ(cj, 0u);
        EXPECT_EQ(pb->pvr, pvr);
        EXPECT_EQ(std::memcmp(&before, pvr, sizeof before), 0);
        EXPECT_EQ(pb->pjWrite, pjWrite);
        EXPECT_EQ(gc_.pPending, pPending);
        EXPECT_EQ(pPending->cjUsed, cjUsed);
    }
    bool bRefuseFirst_ = false;
    std::size_t cListBatches_ = 0;  // batches the last compiled run put into the list
};

Req BeginReq(ULONG mode) { return {X_GLrop_Begin, {mode}}; }
Req EndReq() { return {X_GLrop_End, {}}; }
Req Spill() { return {kSpill, {}}; }
Req Vertex3(float x, float y, float z) { return {70, {F(x), F(y), F(z)}}; }
Req Color4(float r, float g, float b, float a) { return {16, {F(r), F(g), F(b), F(a)}}; }

// A primitive of n vertices, each with its own colour, spilled after the
// vertex `at`, behind a short primitive of the same mode.
std::vector<Req> Primitive(ULONG mode, int n, int at) {
    std::vector<Req> reqs = {BeginReq(mode)};
    for (int i = 0; i < 4; ++i) reqs.push_back(Vertex3(static_cast<float>(-1 - i), 0, 0));
    reqs.push_back(EndReq());
    reqs.push_back(BeginReq(mode));
    for (int i = 0; i < n; ++i) {
        if (i == at) reqs.push_back(Spill());
        reqs.push_back(Color4(static_cast<float>(i) / 512, 0.25f, 0.5f, 1.0f));
        reqs.push_back(Vertex3(static_cast<float>(i), static_cast<float>(i % 7), 0));
    }
    if (at >= n) reqs.push_back(Spill());
    reqs.push_back(EndReq());
    return reqs;
}

// Every mode, spilled before its first vertex, in its first primitive and
// far behind several wraps of the batch (a 4 KB buffer holds about a
// hundred of these vertices): every face is drawn once and as at once, a
// line loop's closing segment too when its first vertex went into the list
// by a wrap.
TEST_F(TakeBackTest, ListDrawsWhatImmediateDraws) {
    for (ULONG mode = kPoints; mode <= kPolygon; ++mode) {
        for (const auto& [n, at] : std::vector<std::pair<int, int>>{{9, 0}, {9, 5}, {10, 10}, {400, 333}, {400, 97}}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " n " << n << " at " << at);
            const std::vector<Req> reqs = Primitive(mode, n, at);
            std::vector<Face> want = Immediate(reqs);
            const std::vector<Face> got = Compiled(reqs);
            ASSERT_FALSE(want.empty());
            if (at > 200) {
                EXPECT_GT(cListBatches_, 2u);  // wraps handed batches to the list before the spill
            }
            EXPECT_EQ(got, want);
        }
    }
}

// A line loop resumed after wraps, whose first vertex alone brought a
// normal and texture coordinates: its closing segment ends at that vertex
// with its values, and the vertices after the spill keep theirs.
TEST_F(TakeBackTest, ResumedLoopClosesOnItsFirstVertex) {
    for (int at : {150, 333}) {
        SCOPED_TRACE(at);
        std::vector<Req> reqs = {BeginReq(kLineLoop), {30, {F(0), F(1), F(0)}}, {54, {F(0.5f), F(2)}},
                                 Color4(1, 0, 0, 1), Vertex3(0, 0, 0)};
        for (int i = 1; i < 400; ++i) {
            if (i == at) reqs.push_back(Spill());
            if (i % 3 == 0) reqs.push_back(Color4(static_cast<float>(i) / 512, 0.25f, 0.5f, 1.0f));
            reqs.push_back(Vertex3(static_cast<float>(i), static_cast<float>(i % 7), 0));
        }
        reqs.push_back(EndReq());
        const std::vector<Face> want = Immediate(reqs);
        ASSERT_EQ(want.size(), 400u);
        EXPECT_EQ(Compiled(reqs), want);
        EXPECT_GT(cListBatches_, 1u);
    }
}

// The requests taken out: Begin with the mode, per vertex its attributes
// and its Vertex, then what was set since the last vertex; the batch keeps
// the earlier primitive only.
TEST_F(TakeBackTest, RequestsTakenOut) {
    const std::vector<Req> reqs = {BeginReq(kTriangles), Vertex3(9, 9, 9), Vertex3(9, 8, 9), Vertex3(9, 7, 9), EndReq(),
                                   BeginReq(kLineStrip), Color4(1, 0, 0, 1), Vertex3(1, 2, 3), {66, {F(4), F(5)}},
                                   Color4(0, 1, 0, 1), Spill(), Vertex3(7, 8, 9), EndReq()};
    std::vector<BYTE> taken;
    const std::vector<Face> got = Compiled(reqs, &taken);
    auto req = [](USHORT op, std::vector<ULONG> args) {
        std::vector<BYTE> b(4 + 4 * args.size());
        const USHORT hdr[2] = {static_cast<USHORT>(b.size()), op};
        std::memcpy(b.data(), hdr, 4);
        std::memcpy(b.data() + 4, args.data(), 4 * args.size());
        return b;
    };
    std::vector<BYTE> want;
    for (const auto& b : {req(4, {kLineStrip}), req(16, {F(1), F(0), F(0), F(1)}), req(70, {F(1), F(2), F(3)}),
                          req(16, {F(1), F(0), F(0), F(1)}), req(70, {F(4), F(5), F(0)}),
                          req(16, {F(0), F(1), F(0), F(1)})})
        want.insert(want.end(), b.begin(), b.end());
    EXPECT_EQ(taken, want);
    // The earlier triangle from the batch, then the strip's two segments.
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].size(), 3u);
    EXPECT_EQ(got, Immediate(reqs));
}

// Attributes of every kind the vertex records hold: colours of three and
// four components, index, normal, texture coordinates of every width, edge
// flag and materials (colours, shininess, colour indexes, both faces), some
// set only after the first vertex (the record changes layout and wraps),
// some after the last vertex before the spill.
TEST_F(TakeBackTest, AttributesOfEveryKind) {
    const std::vector<Req> attrs = {
        {8, {F(0.1f), F(0.2f), F(0.3f)}},                          // Color3fv
        {25, {F(7)}},                                              // Indexfv
        {30, {F(0), F(3), F(4)}},                                  // Normal3fv
        {50, {F(0.5f)}},                                           // TexCoord1fv
        {22, {1}},                                                 // EdgeFlagv
        {97, {0x404, 0x1600, F(0.1f), F(0.2f), F(0.3f), F(0.4f)}},  // front emission
        {97, {0x405, 0x1201, F(0.5f), F(0.6f), F(0.7f), F(0.8f)}},  // back diffuse
        {96, {0x408, 0x1601, F(64)}},                              // shininess, both faces
        {97, {0x404, 0x1603, F(1), F(2), F(3)}},                    // front colour indexes
    };
    const std::vector<Req> later = {
        {16, {F(0.9f), F(0.8f), F(0.7f), F(0.6f)}},                 // Color4fv
        {58, {F(1), F(2), F(3)}},                                  // TexCoord3fv
        {22, {0}},                                                 // EdgeFlagv
        {99, {0x405, 0x1202, 0x7FFFFFFF, 0, 0x7FFFFFFF, 0}},       // back specular, integers
        {97, {0x405, 0x1603, F(4), F(5), F(6)}},                    // back colour indexes
        {28, {0x7F, 0x80, 0}},                                     // Normal3bv
    };
    for (ULONG mode : {kTriangles, kPolygon, kTriStrip}) {
        for (int at : {1, 2, 3, 5}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " at " << at);
            std::vector<Req> reqs = {BeginReq(mode)};
            for (int i = 0; i < 6; ++i) {
                if (i == at) reqs.push_back(Spill());
                if (i == 0) reqs.insert(reqs.end(), attrs.begin(), attrs.end());
                if (i == 2) reqs.insert(reqs.end(), later.begin(), later.end());
                if (i == 3) reqs.push_back({62, {F(1), F(2), F(3), F(4)}});  // TexCoord4fv
                reqs.push_back({74, {F(static_cast<float>(i)), F(1), F(2), F(1)}});  // Vertex4fv
                if (i == at - 1) reqs.push_back({8, {F(0.4f), F(0.5f), F(0.6f)}});
            }
            reqs.push_back(EndReq());
            const std::vector<Face> want = Immediate(reqs);
            ASSERT_FALSE(want.empty());
            EXPECT_EQ(Compiled(reqs), want);
        }
    }
}

// Without memory for the requests nothing changes: the record, its vertices
// and the batch stay as they were, and a later take-back gives the list what
// a first one would have.
TEST_F(TakeBackTest, WithoutMemoryNothingChanges) {
    for (const auto& [n, at] : std::vector<std::pair<int, int>>{{12, 0}, {12, 5}, {400, 333}}) {
        SCOPED_TRACE(testing::Message() << "n " << n << " at " << at);
        const std::vector<Req> reqs = Primitive(kTriStrip, n, at);
        const std::vector<Face> want = Immediate(reqs);
        bRefuseFirst_ = true;
        EXPECT_EQ(Compiled(reqs), want);
        bRefuseFirst_ = false;
    }
}

}  // namespace
}  // namespace prim_test
