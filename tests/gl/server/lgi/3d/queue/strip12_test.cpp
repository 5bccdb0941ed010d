// The layout-12 strip fill: faces of strips as nine-word triangles in their
// winding order, positions and depth words in the board's forms, packets
// forced at the batch limit, routing to the tiles' owners on every board,
// and face-run lists that do not fit their strips refused.
#include <algorithm>
#include <array>
#include <vector>

#include "3d/queue/renderfcn.h"
#include "gl/server/lgi/board_fixture.h"
#include "kzprimwords.h"

namespace {

using namespace lgi_test;

// A colour and a depth word per vertex: rgb0 and z0 load kind 3, as the
// generator sets them for layout 12.
constexpr ULONG kLayout12Loads = 0xF000;

ULONG gcNext = 0;
void CountNext(N_Context*, N_Pipe*) { ++gcNext; }

// One batch of strips as the vertex part and the face-culling stage leave it.
struct Batch {
    std::vector<ULONG> strips;            // vertex counts
    std::vector<std::array<LONG, 3>> v;   // window x, y, z
    std::vector<std::pair<ULONG, ULONG>> runs;  // (code, faces)
};

using Triangle = std::array<ULONG, 9>;

class Strip12Test : public LgiBoardTest {
  protected:
    void Prepare(const BoardModel& m, ULONG modelImprecision = 0) {
        Boot(m, modelImprecision);
        pkzProgOf(ctx_->pHw->programs[0])->image = PolygonImage(kLayout12Loads);
        gcNext = 0;
    }
    // Runs the fill over the batch; colour entry e of the run list holds
    // 0xC0000 + e.
    void Draw(const Batch& b) {
        N_PipeBlock& blk = ctx_->blocks[N_PRIM_TRI_STRIP & 15];
        N_Pipe* pipe = &blk.front;
        CommonPipeData& c = blk.common;
        pipe->pCommonPipeData = &c;
        pipe->next[N_STAGE_RENDER] = CountNext;
        c.code = N_PRIM_TRI_STRIP;
        strips_ = b.strips;
        c.stripCount = static_cast<ULONG>(strips_.size());
        c.pStripCounts = strips_.data();
        c.stripVertexCount = static_cast<ULONG>(b.v.size());
        window_.clear();
        for (const auto& v : b.v) window_.insert(window_.end(), v.begin(), v.end());
        c.pWindow = window_.data();
        runs_.clear();
        ULONG entries = 0;
        for (const auto& r : b.runs) {
            runs_.push_back(N_FACE_RUN(r.first, r.second));
            entries += r.second + 2;
        }
        runs_.push_back(N_FACE_RUN(1, 0));
        c.pFaceRuns = runs_.data();
        colours_.assign(5 * std::max<ULONG>(entries, 1), 0);
        for (ULONG e = 0; e < entries; ++e) colours_[5 * e] = 0xC0000 + e;
        c.pHwVertices = colours_.data();
        _NvpRenderXTStripListFillAttr12KZ(ctx_, pipe);
    }
    // The triangles each rasterizer received.
    std::vector<std::vector<Triangle>> Received() {
        std::vector<std::vector<Triangle>> out;
        for (const auto& packets : Drain()) {
            out.emplace_back();
            for (const auto& p : packets) {
                EXPECT_EQ(p.wordsPerPrimitive, 9u);
                for (std::size_t i = 0; i + 9 <= p.primitiveWords.size(); i += 9) {
                    Triangle t;
                    std::copy_n(p.primitiveWords.begin() + i, 9, t.begin());
                    out.back().push_back(t);
                }
            }
        }
        return out;
    }
    // The triangle of vertices (N, P, Q) whose colours come from entries
    // (cN, cP, cQ), as the layout's word table places them.
    Triangle Expect(const Batch& b, std::array<ULONG, 3> vtx, std::array<ULONG, 3> colour) const {
        const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
        Triangle t{};
        for (ULONG j = 0; j < 3; ++j) {
            const auto& v = b.v[vtx[j]];
            t[kzPrimWordAt(row, KZ_PW_COLOUR, j)] = 0xC0000 + colour[j];
            t[kzPrimWordAt(row, KZ_PW_DEPTH, j)] = static_cast<ULONG>(v[2]);
            t[kzPrimWordAt(row, KZ_PW_POSITION, j)] = (static_cast<ULONG>(v[1]) << 20) | ((static_cast<ULONG>(v[0]) << 4) & 0xFFFF);
        }
        return t;
    }
    void SetDepthBits(ULONG bits) { pGLPageConfig(Pdev())->cDepthBits = bits; }

    std::vector<ULONG> strips_, runs_, colours_;
    std::vector<LONG> window_;
};

// Five vertices of a strip in one tile, with 24-bit depths below the
// floating range.
Batch Strip5(std::vector<std::pair<ULONG, ULONG>> runs) {
    Batch b;
    b.strips = {5};
    for (LONG i = 0; i < 5; ++i) b.v.push_back({10 + 3 * i, 20 + (i % 2) * 5, 0x1000 * (i + 1)});
    b.runs = std::move(runs);
    return b;
}

TEST_F(Strip12Test, FacesInWindingOrder) {
    Prepare(kSolo);
    SetDepthBits(24);
    struct Case {
        const char* name;
        std::vector<std::pair<ULONG, ULONG>> runs;
        ULONG parity, winding;
        // (N, P, Q) and their colour entries, face by face.
        std::vector<std::pair<std::array<ULONG, 3>, std::array<ULONG, 3>>> faces;
    };
    const Case cases[] = {
        {"code 1", {{1, 3}}, 0, 0, {{{2, 0, 1}, {2, 0, 1}}, {{3, 2, 1}, {3, 2, 1}}, {{4, 2, 3}, {4, 2, 3}}}},
        {"winding", {{1, 3}}, 0, 1, {{{2, 1, 0}, {2, 1, 0}}, {{3, 1, 2}, {3, 1, 2}}, {{4, 3, 2}, {4, 3, 2}}}},
        {"code 2", {{2, 3}}, 0, 0, {{{2, 1, 0}, {2, 1, 0}}, {{3, 1, 2}, {3, 1, 2}}, {{4, 3, 2}, {4, 3, 2}}}},
        {"odd parity", {{1, 3}}, 1, 0, {{{2, 1, 0}, {2, 1, 0}}, {{3, 1, 2}, {3, 1, 2}}, {{4, 3, 2}, {4, 3, 2}}}},
        // The second run starts at vertices 1 and 2 with its own colour
        // entries (3 to 6) and the strip's face count 1 as parity.
        {"two runs", {{1, 1}, {2, 2}}, 0, 0, {{{2, 0, 1}, {2, 0, 1}}, {{3, 1, 2}, {5, 3, 4}}, {{4, 3, 2}, {6, 5, 4}}}},
        // Skipped faces write nothing but count for the parity.
        {"skip", {{4, 1}, {1, 2}}, 0, 0, {{{3, 2, 1}, {5, 4, 3}}, {{4, 2, 3}, {6, 4, 5}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Batch b = Strip5(c.runs);
        ctx_->stripParity = c.parity;
        ctx_->winding = c.winding;
        gcNext = 0;
        Draw(b);
        EXPECT_EQ(gcNext, 1u);
        EXPECT_EQ(ctx_->stripParity, c.parity) << "put back";
        std::vector<Triangle> expected;
        for (const auto& f : c.faces) expected.push_back(Expect(b, f.first, f.second));
        EXPECT_EQ(Received()[0], expected);
    }
}

TEST_F(Strip12Test, StripsOneAfterAnother) {
    Prepare(kSolo);
    SetDepthBits(24);
    Batch b;
    b.strips = {4, 3};
    for (LONG i = 0; i < 7; ++i) b.v.push_back({5 + 4 * i, 30 + (i % 2) * 6, 0x100 * i});
    b.runs = {{1, 2}, {2, 1}};
    Draw(b);
    // The second strip starts at vertex 4, parity 0 again: code 2 takes order B.
    const std::vector<Triangle> expected = {Expect(b, {2, 0, 1}, {2, 0, 1}), Expect(b, {3, 2, 1}, {3, 2, 1}),
                                            Expect(b, {6, 5, 4}, {6, 5, 4})};
    EXPECT_EQ(Received()[0], expected);
}

TEST_F(Strip12Test, PositionAndDepthForms) {
    Prepare(kSolo);
    const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
    const ULONG pos = kzPrimWordAt(row, KZ_PW_POSITION, 0), depth = kzPrimWordAt(row, KZ_PW_DEPTH, 0);
    Batch b;
    b.strips = {3};
    b.v = {{0, 0, 0}, {1, 0, 0xF00000}, {10, 20, 0xEFFFFF}};
    b.runs = {{1, 1}};
    struct Case {
        ULONG bits;
        ULONG secondHalf;
        ULONG pos, depthN, depthP;
    };
    const LONG cy = lGLSurfaceHeight(Pdev());
    const Case cases[] = {
        {16, 0, 0x014000A0, 0x77FF, 0x0000},
        {24, 0, 0x014000A0, 0xEFFFFF, 0},
        {16, 1, ((20u + static_cast<ULONG>(cy)) << 20) | 0xA0, 0x77FF, 0x0000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        SetDepthBits(c.bits);
        ctx_->secondHalf = c.secondHalf;
        Draw(b);
        const auto got = Received()[0];
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0][pos], c.pos);
        EXPECT_EQ(got[0][depth], c.depthN);      // N = vertex 2
        EXPECT_EQ(got[0][depth + 1], c.depthP);  // P = vertex 0
        EXPECT_EQ(got[0][depth + 2], c.bits == 16 ? 0x8000u : 0xF00000u);  // Q = vertex 1
    }
    ctx_->secondHalf = 0;
}

TEST_F(Strip12Test, PrecisePositionsTakeTheOffsetInSixteenths) {
    Prepare(kSolo, 1);
    SetDepthBits(24);
    const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
    const ULONG pos = kzPrimWordAt(row, KZ_PW_POSITION, 0);
    Batch b;
    b.strips = {3};
    b.v = {{0, 0, 0}, {16, 0, 0}, {160, 320, 0}};
    b.runs = {{1, 1}};
    Draw(b);
    EXPECT_EQ(Received()[0].at(0)[pos], (320u << 16) | 160u);
    const ULONG cy = static_cast<ULONG>(lGLSurfaceHeight(Pdev()));
    ctx_->rightEye = 1;
    Draw(b);
    ctx_->rightEye = 0;
    EXPECT_EQ(Received()[0].at(0)[pos], ((320u + 16 * cy) << 16) | 160u);
}

TEST_F(Strip12Test, BatchWordForcesNewPackets) {
    Prepare(kSolo);
    const Batch b = Strip5({{1, 3}});
    ctx_->pHw->batchCount = 0;
    Draw(b);
    EXPECT_EQ(ctx_->pHw->batchCount, 3u) << "the open packet's count";
    Draw(b);  // 3 + 5 vertices stay within the batch: the packet goes on
    EXPECT_EQ(ctx_->pHw->batchCount, 6u);
    ctx_->pHw->batchCount = 398;  // 398 + 5 exceed it: a new packet
    Draw(b);
    const auto packets = Drain()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 6u);
    EXPECT_EQ(packets[1].primitives, 3u);
    EXPECT_EQ(packets[1].command, PolygonImage(kLayout12Loads).w[0]);
}

TEST_F(Strip12Test, RunListsThatDoNotFitAreRefused) {
    Prepare(kSolo);
    struct Case {
        const char* name;
        std::vector<ULONG> strips;
        std::vector<std::pair<ULONG, ULONG>> runs;
        ULONG vertices;
    };
    const Case cases[] = {
        {"more faces than the strip", {5}, {{1, 4}}, 5},
        {"runs past the last strip", {5}, {{1, 3}, {1, 1}}, 5},
        {"strips past the batch", {5, 4}, {{1, 3}, {1, 2}}, 6},
        {"a strip of two vertices", {2}, {{1, 1}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Batch b;
        b.strips = c.strips;
        for (ULONG i = 0; i < c.vertices; ++i) b.v.push_back({LONG(i), 0, 0});
        b.runs = c.runs;
        gcNext = 0;
        vnx::debug::clear();
        Draw(b);
        EXPECT_EQ(gcNext, 1u);
        EXPECT_TRUE(Printed("face runs do not fit the strips"));
        for (const auto& q : Drain()) EXPECT_TRUE(q.empty());
    }
    // An empty batch calls only the successor.
    Batch empty;
    gcNext = 0;
    Draw(empty);
    EXPECT_EQ(gcNext, 1u);
    for (const auto& q : Drain()) EXPECT_TRUE(q.empty());
}

class Strip12Routing : public Strip12Test, public ::testing::WithParamInterface<BoardModel> {};

TEST_P(Strip12Routing, EachFaceReachesTheOwnersOfItsTiles) {
    Prepare(GetParam());
    SetDepthBits(24);
    const bool bSplit = qm_->pLayout->bSplitScreen != 0;
    const LONG cx = plGLScreenSize(Pdev())[0];
    const LONG width = bSplit ? 2 * cx : cx;
    // A zig-zag strip across the screen, then one inside a single tile.
    Batch b;
    const LONG n = 40;
    for (LONG i = 0; i < n; ++i) b.v.push_back({(width - 8) * i / (n - 1), 100 + (i % 2) * 60, i});
    for (LONG i = 0; i < 8; ++i) b.v.push_back({300 + 2 * i, 300 + (i % 2) * 3, i});
    b.strips = {ULONG(n), 8};
    b.runs = {{1, ULONG(n - 2)}, {1, 6}};
    Draw(b);
    const auto got = Received();

    auto owner = [&](ULONG pos) {
        const LONG x = static_cast<LONG>((pos & 0xFFFF) >> 4), y = static_cast<LONG>(pos >> 20);
        return board_->tile_owner(bSplit && x >= cx ? 1 : 0, x, y);
    };
    const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
    const ULONG p0 = kzPrimWordAt(row, KZ_PW_POSITION, 0);
    // The batch's triangles in order (colour entry i is vertex i's here),
    // each at the rasterizers owning its vertices, each queue keeping the order.
    std::vector<Triangle> all;
    for (ULONG first : {0u, ULONG(n)}) {
        const ULONG faces = first == 0 ? ULONG(n - 2) : 6u;
        for (ULONG f = 0; f < faces; ++f) {
            const ULONG k = first + f;
            const std::array<ULONG, 3> v = f % 2 == 0 ? std::array<ULONG, 3>{k + 2, k, k + 1}
                                                     : std::array<ULONG, 3>{k + 2, k + 1, k};
            all.push_back(Expect(b, v, v));
        }
    }
    for (const Triangle& t : all) {
        for (ULONG j = 0; j < 3; ++j) {
            const auto& q = got[owner(t[p0 + j])];
            EXPECT_NE(std::find(q.begin(), q.end(), t), q.end()) << "rasterizer " << owner(t[p0 + j]);
        }
    }
    for (const auto& q : got) {
        std::size_t last = 0;
        for (const Triangle& t : q) {
            const auto it = std::find(all.begin() + static_cast<std::ptrdiff_t>(last), all.end(), t);
            ASSERT_NE(it, all.end()) << "a triangle out of the batch's order, or not of the batch";
            last = static_cast<std::size_t>(it - all.begin()) + 1;
        }
    }
    // The batch word: the open packet's largest count of any queue (each
    // queue's triangles went into one packet here).
    std::size_t most = 0;
    for (const auto& q : got) most = std::max(most, q.size());
    EXPECT_EQ(ctx_->pHw->batchCount, most);
    // The strip inside one tile goes to that tile's queue alone (a split
    // board draws it on both screens).
    if (!bSplit) {
        const int only = board_->tile_owner(0, 300, 300);
        for (ULONG r = 0; r < Queues(); ++r) {
            if (static_cast<int>(r) == only) continue;
            for (auto it = all.end() - 6; it != all.end(); ++it)
                EXPECT_EQ(std::find(got[r].begin(), got[r].end(), *it), got[r].end()) << r;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, Strip12Routing, ::testing::ValuesIn(kModels), BoardModelName);

// A face with a vertex the fill may not draw (a NaN or infinite
// coordinate, the indefinite value, or one far beyond every view volume)
// is left out; the strip's other faces are drawn.
TEST_F(Strip12Test, FacesWithAnUndrawableVertexAreLeftOut) {
    Prepare(kSolo);
    SetDepthBits(24);
    constexpr LONG kIndefinite = static_cast<LONG>(0x80000000u);
    const std::array<LONG, 3> bads[] = {{kIndefinite, 20, 0x1000}, {10, kIndefinite, 0x1000}, {10, 20, kIndefinite},
                                        {LONG{1} << 25, 20, 0x1000}};
    for (const auto& bad : bads) {
        Batch b = Strip5({{1, 3}});
        b.v[0] = bad;
        Draw(b);
        EXPECT_EQ(Received()[0], (std::vector<Triangle>{Expect(b, {3, 2, 1}, {3, 2, 1}), Expect(b, {4, 2, 3}, {4, 2, 3})}))
            << bad[0] << ", " << bad[1] << ", " << bad[2];
    }
}

}  // namespace
