// Calls larger than a queue ring: on a board whose DMA buffer is the
// smallest the miniport hands out (64 KB: four rings of 12 KB on a Quad) one
// batch of a few hundred faces needs more room than a ring holds. The
// render functions cut such a batch into pieces that fit; a reservation no
// ring can take is refused with the queues left as they were.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "gl/server/lgi/kz2/fill_fixture.h"
#include "platform/debug.h"

using namespace fill_test;

namespace {

constexpr ULONG kSmallDma = 0x10000;

class RingPieces : public FillTest {
  protected:
    void Prepare(const BoardModel& m, ULONG d) {
        dmaBytes_ = kSmallDma;
        FillTest::Prepare(m, d);
    }
    // No queue's words reach past its ring's limit (the next ring, or the
    // end of the buffer, lies a little after it).
    void ExpectWithinRings() {
        for (ULONG i = 0; i < Queues(); ++i) {
            const KZ2QUEUE& q = qm_[i];
            EXPECT_LE(q.pStreamEnd, q.pRingLimit) << "queue " << i;
            EXPECT_LE(q.pWrite, q.pRingLimit) << "queue " << i;
        }
    }
    // Every triangle reached the rasterizer that owns the tile of the
    // vertex it is sent with first (the routing always gives it that one),
    // sent as given or with its last two vertices swapped (a face of no
    // area winds either way).
    void ExpectDrawnByOwners(const std::vector<Prim>& want, ULONG d) {
        const auto got = Received();
        std::vector<std::set<Prim>> sets;
        for (const auto& prims : got) sets.emplace_back(prims.begin(), prims.end());
        int missing = 0;
        for (const Prim& t : want) {
            const ULONG owner = qm_->abTileQueue[KZ2_TILE_OF(t.at(PositionAt(d)))];
            if (sets.at(owner).count(t) == 0 && sets.at(owner).count(Swapped(d, t)) == 0 && missing++ < 3)
                ADD_FAILURE() << "a triangle is missing on rasterizer " << owner;
        }
        EXPECT_EQ(missing, 0) << "of " << want.size() << " triangles";
    }
    // The first position word of a layout's triangle.
    static ULONG PositionAt(ULONG d) {
        ULONG at = 0;
        for (const kzPrimWordGroup& g : kzPrimWordsOf(5, d)->groups) {
            if (g.kind == KZ_PW_POSITION && g.count == 3) return at;
            at += g.count;
        }
        return 0;
    }
    // The triangle with its second and third vertices' words swapped.
    static Prim Swapped(ULONG d, Prim t) {
        ULONG at = 0;
        for (const kzPrimWordGroup& g : kzPrimWordsOf(5, d)->groups) {
            if (g.count == 3) std::swap(t.at(at + 1), t.at(at + 2));
            at += g.count;
        }
        return t;
    }
};

// n vertices of a circle of radius 200 around (256, 256): a polygon over
// tiles of every rasterizer, each vertex its own depth.
Batch Circle(ULONG kind, ULONG n) {
    Batch b;
    b.kind = kind;
    for (ULONG k = 0; k < n; ++k) {
        const double a = 2 * 3.14159265358979 * k / n;
        b.v.push_back({static_cast<LONG>(std::lround(256 + 200 * std::cos(a))),
                       static_cast<LONG>(std::lround(256 + 200 * std::sin(a))), static_cast<LONG>(k + 1)});
    }
    b.runs = {{N_RUN_FIRST, n - 2}};
    return b;
}

struct Case {
    const char* name;
    BoardModel model;
    ULONG layout;
};
const Case kCases[] = {
    {"quad_layout5", kQuad, 5},
    {"quad_layout13", kQuad, 13},
    {"split_layout5", kSplitDuo, 5},
    {"quad_layout12", kQuad, 12},
};

TEST_F(RingPieces, APolygonOf600VerticesIsDrawnInPieces) {
    for (const Case& k : kCases) {
        SCOPED_TRACE(k.name);
        Prepare(k.model, k.layout);
        const Batch b = Circle(N_PRIM_POLYGON, 600);
        Draw(k.layout == 12 ? _NvpRenderXListFillAttr12KZG : _NvpRenderXPgonFillKZG, b);
        EXPECT_EQ(gcNext, 1u);
        ExpectWithinRings();
        std::vector<Prim> want;
        // A polygon's one-colour faces take its first vertex's colour.
        for (ULONG i = 0; i < 598; ++i) want.push_back(Expect(k.layout, b, {0, i + 1, i + 2}, {0, i + 1, i + 2}, 0));
        ExpectDrawnByOwners(want, k.layout);
    }
}

// A strip of 1000 vertices zig-zagging across the tiles.
Batch ZigZag() {
    Batch strip;
    strip.kind = N_PRIM_TRI_STRIP;
    for (ULONG v = 0; v < 1000; ++v)
        strip.v.push_back({static_cast<LONG>(20 + (v / 2) * 470 / 499), (v & 1) != 0 ? 480 : 30, static_cast<LONG>(v + 1)});
    strip.runs = {{N_RUN_FIRST, 998}};
    return strip;
}

TEST_F(RingPieces, SeparateTrianglesAndStripsAreDrawnInPieces) {
    for (const Case& k : kCases) {
        if (k.layout == 12) continue;
        SCOPED_TRACE(k.name);
        // 330 separate triangles: the circle's fan written out.
        Prepare(k.model, k.layout);
        const Batch circle = Circle(N_PRIM_POLYGON, 331);
        Batch list;
        list.kind = N_PRIM_TRIANGLES;
        for (ULONG i = 0; i < 329; ++i) {
            list.v.push_back(circle.v[0]);
            list.v.push_back(circle.v[i + 1]);
            list.v.push_back(circle.v[i + 2]);
        }
        list.runs = {{N_RUN_FIRST, 329}};
        Draw(_NvpRenderXTListFillKZG, list);
        ExpectWithinRings();
        std::vector<Prim> want;
        for (ULONG i = 0; i < 329; ++i)
            want.push_back(Expect(k.layout, list, {3 * i, 3 * i + 1, 3 * i + 2}, {3 * i, 3 * i + 1, 3 * i + 2}, 3 * i + 2));
        ExpectDrawnByOwners(want, k.layout);

        Prepare(k.model, k.layout);
        const Batch strip = ZigZag();
        Draw(_NvpRenderXTStripListFillDepthKZ, strip);
        ExpectWithinRings();
        want.clear();
        for (ULONG f = 0; f < 998; ++f) {
            const ULONG n = f + 2;
            const bool keep = (f & 1) == 0;
            const std::array<ULONG, 3> vtx{n, keep ? n - 2 : n - 1, keep ? n - 1 : n - 2};
            want.push_back(Expect(k.layout, strip, vtx, vtx, n));
        }
        ExpectDrawnByOwners(want, k.layout);
    }
}

TEST_F(RingPieces, QuadsAndLayout12StripsAreDrawnInPieces) {
    for (const Case& k : kCases) {
        SCOPED_TRACE(k.name);
        Prepare(k.model, k.layout);
        if (k.layout == 12) {
            const Batch strip = ZigZag();
            Draw(_NvpRenderXTStripListFillAttr12KZ, strip);
            ExpectWithinRings();
            std::vector<Prim> want;
            for (ULONG f = 0; f < 998; ++f) {
                const ULONG n = f + 2;
                const bool keep = (f & 1) == 0;
                const std::array<ULONG, 3> vtx{n, keep ? n - 2 : n - 1, keep ? n - 1 : n - 2};
                want.push_back(Expect(12, strip, vtx, vtx, n));
            }
            ExpectDrawnByOwners(want, 12);
            continue;
        }
        // 240 squares of 300 pixels, each over tiles of every rasterizer
        // (so every queue takes all of them): one run.
        Batch quads;
        quads.kind = N_PRIM_QUADS;
        for (ULONG q = 0; q < 240; ++q) {
            const LONG x = 60 + static_cast<LONG>(q % 20), y = 60 + static_cast<LONG>(q / 20);
            const LONG z = static_cast<LONG>(q + 1);
            quads.v.push_back({x, y, z});
            quads.v.push_back({x + 300, y, z});
            quads.v.push_back({x + 300, y + 300, z});
            quads.v.push_back({x, y + 300, z});
        }
        quads.runs = {{N_RUN_FIRST, 240}};
        Draw(_NvpRenderXQListFillKZG, quads);
        ExpectWithinRings();
        std::vector<Prim> want;
        for (ULONG q = 0; q < 240; ++q) {
            const ULONG a = 4 * q;
            want.push_back(Expect(k.layout, quads, {a, a + 1, a + 2}, {a, a + 1, a + 2}, a + 3));
            want.push_back(Expect(k.layout, quads, {a, a + 2, a + 3}, {a, a + 2, a + 3}, a + 3));
        }
        ExpectDrawnByOwners(want, k.layout);
    }
}

// The glue and the driver refuse a reservation no ring can take: null,
// reported, nothing written and the queues as they were; one byte less is
// granted.
TEST_F(RingPieces, AReservationLargerThanARingIsRefused) {
    Prepare(kQuad, 5);
    N_HwRecord* phw = ctx_->pHw;
    const ULONG limit = _NQueueRoomLimit(phw);
    ASSERT_EQ(limit, kz2MaxRoom(qm_));
    // Four rings of (64 KB - the 16 KB transfer area) / 4, less the reserve
    // at each ring's end and the slack of every request.
    EXPECT_EQ(limit, (kSmallDma - 16384) / 4 - 600 - KZ2_PACKET_SLACK);
    std::vector<ULONG*> ends;
    for (ULONG i = 0; i < Queues(); ++i) ends.push_back(qm_[i].pStreamEnd);
    vnx::debug::clear();
    EXPECT_EQ(_NNextQAddrMC(phw, 0, &phw->batchCount, limit + 4), nullptr);
    const kzProgPacket img = PolygonImage(0xF000);
    EXPECT_EQ(_NNextQAddrFlushMC(phw, &img, limit + 1, phw, const_cast<kzProgPacket*>(&img), &phw->batchCount, 1,
                                 _NCopyPktHeader),
              nullptr);
    EXPECT_EQ(kz2AllocQueue(qm_, ~0u, limit + 1, 0, 0), nullptr);
    EXPECT_EQ(kz2AllocFlushQueue(qm_, ~0u, limit + 1, nullptr, nullptr, nullptr, 1, nullptr), nullptr);
    EXPECT_EQ(gNPendingUpdate, 0u);
    const std::string said = vnx::debug::take();
    EXPECT_NE(said.find("do not fit a queue ring"), std::string::npos) << said;
    for (ULONG i = 0; i < Queues(); ++i) EXPECT_EQ(qm_[i].pStreamEnd, ends[i]) << "queue " << i;

    ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, limit);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(vnx::debug::take().find(N_PENDING_UPDATE_TEXT), std::string::npos);
    _NUpdateQAddr(phw);
}

}  // namespace
