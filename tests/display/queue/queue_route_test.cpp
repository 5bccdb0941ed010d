// Routing: primitives reach the rasterizers whose 128x128 tiles they touch,
// on one, two and four rasterizers and on a split board, as the board
// decodes each rasterizer's stream. The board's own tile owners are the
// reference.
#include <algorithm>
#include <functional>
#include <map>

#include "display/queue/queue_fixture.h"

namespace vnx::test {
namespace {

// A board model in a mode.
struct Model {
    const char* name;
    BoardModel board;
    ULONG cx, cy;
};

void PrintTo(const Model& m, std::ostream* os) { *os << m.name; }

const Model kSoloXga{"Solo", kSolo, 1024, 768};
const Model kDuoXga{"Duo", kDuo, 1024, 768};
const Model kQuadXga{"Quad", kQuad, 1024, 768};
const Model kSplitQuadXga{"SplitQuad", kSplitQuad, 1024, 768};
const Model kSplitDuoSvga{"SplitDuo800", kSplitDuo, 800, 600};
const Model kModels[] = {kSoloXga, kDuoXga, kQuadXga, kSplitQuadXga, kSplitDuoSvga};

class QueueRoute : public QueueTest {
  protected:
    void Boot(const Model& m) { QueueTest::Boot(Machine(m.board), Request(m.cx, m.cy, 16)); }

    // The rasterizer that owns pixel (x, y) of the surface.
    int Owner(LONG x, LONG y) const {
        const bool second = ppdev->layout.bSplitScreen && x >= ppdev->cxScreen;
        return board->tile_owner(second ? 1 : 0, x, y);
    }

    // Opens a polygon packet with its prefix in the current queue.
    ULONG* OpenPolygons(ULONG nPrims) {
        ULONG* p = kz2NewPacketQueue(qm, nullptr, nPrims);
        for (ULONG i = 0; i < Queues(); ++i) Q(i)->pPacket[0] = kPolygonCommand;
        *p++ = 0x8000;
        *p++ = 0x10360348;
        *p++ = 0;
        *p++ = (767u << 16) | 1023u;
        return p;
    }

    // Adds a primitive's words to what each listed queue (empty: every
    // queue) must receive.
    void Expect(std::vector<std::vector<ULONG>>& expected, const std::vector<int>& queues,
                const std::vector<ULONG>& words) const {
        for (ULONG r = 0; r < Queues(); ++r) {
            if (queues.empty() || std::count(queues.begin(), queues.end(), r) > 0)
                expected[r].insert(expected[r].end(), words.begin(), words.end());
        }
    }

    // Closes the packet, drains, and checks that each rasterizer got one
    // packet holding exactly the expected primitive words.
    void ExpectDecoded(const std::vector<std::vector<ULONG>>& expected) {
        const auto decoded = CloseAndDecode();
        for (ULONG r = 0; r < Queues(); ++r) {
            ASSERT_EQ(decoded[r].size(), 1u);
            EXPECT_EQ(decoded[r][0].primitiveWords, expected[r]) << r;
        }
    }

    // Closes the packet and drains; answers each rasterizer's drawing packets.
    std::vector<std::vector<DecodedPacket>> CloseAndDecode() {
        kz2UpdatePacketPtr(qm, nullptr, qm->pWrite, 0);
        kz2FlushQueue(qm, ~0u, nullptr, nullptr);
        std::vector<std::vector<DecodedPacket>> out;
        for (ULONG r = 0; r < Queues(); ++r) out.push_back(Take(static_cast<int>(r)));
        return out;
    }
};

class QueueRouteOnModel : public QueueRoute, public ::testing::WithParamInterface<Model> {};

// A rectangle is cut at every multiple of 128 and each piece goes, as one
// primitive of four corners, to the rasterizer owning its tile; the prefix
// goes to every rasterizer. On a split board second-screen packets carry the
// screen bits and their clip moves left by the screen width.
TEST_P(QueueRouteOnModel, RectanglePiecesGoToTheirTiles) {
    const Model& m = GetParam();
    Boot(m);
    const bool split = m.board.boards == 2;
    // Across the screens' border on a split board.
    const LONG x0 = split ? static_cast<LONG>(m.cx) - 100 : 100;
    const LONG x1 = x0 + (split ? 300 : 200);
    const LONG y0 = 100, y1 = 300;
    const ULONG clipMax = ((m.cy - 1) << 16) | (split ? 2 * m.cx - 1 : m.cx - 1);

    ULONG* p = kz2NewPacketQueue(qm, nullptr, 20);
    for (ULONG i = 0; i < Queues(); ++i) Q(i)->pPacket[0] = kRectCommand;
    const std::vector<ULONG> prefix = {0x8000, 0x10360348, 0, clipMax, 0x11, 0x22};
    for (ULONG w : prefix) *p++ = w;
    kz2WriteRectNoPrimData(qm, p, x0, y0, x1, y1);
    EXPECT_EQ(qm->pqCurrent->pMark, qm->pqCurrent->pWrite);

    // The pieces each rasterizer should get, in order.
    std::map<int, std::vector<ULONG>> expected;
    int cPieces = 0;
    for (LONG y = y0; y < y1; y = std::min<LONG>((y & ~127) + 128, y1)) {
        const LONG yn = std::min<LONG>((y & ~127) + 128, y1);
        for (LONG x = x0; x < x1; x = std::min<LONG>((x & ~127) + 128, x1)) {
            const LONG xn = std::min<LONG>((x & ~127) + 128, x1);
            auto& words = expected[Owner(x, y)];
            for (ULONG w : {Vtx(x, y), Vtx(xn, y), Vtx(xn, yn), Vtx(x, yn)}) words.push_back(w);
            ++cPieces;
        }
    }
    // 100 to 300 is cut at 128 and 256 into three pieces in each band.
    if (!split) {
        EXPECT_EQ(cPieces, 9);
    }

    const auto decoded = CloseAndDecode();
    for (ULONG r = 0; r < Queues(); ++r) {
        SCOPED_TRACE(r);
        ASSERT_EQ(decoded[r].size(), 1u);
        const DecodedPacket& packet = decoded[r][0];
        EXPECT_EQ(packet.primitiveWords, expected[static_cast<int>(r)]);
        EXPECT_EQ(packet.primitives, expected[static_cast<int>(r)].size() / 4);
        EXPECT_EQ(packet.pids, std::vector<std::uint32_t>{0x8000});
        EXPECT_EQ(packet.constants, (std::vector<std::uint32_t>{0x11, 0x22}));
        const bool second = split && r >= Queues() / 2;
        EXPECT_EQ(packet.control >> 16, second ? 7u : 0u);
        if (split) {
            const ULONG xMax = clipMax & 0xFFFF;
            EXPECT_EQ(packet.clipMin, 0u);
            // A plain rectangle's maximum is the last pixel inside: the
            // first screen's ends at its last column.
            EXPECT_EQ(packet.clipMax & 0xFFFF, second ? xMax - m.cx : m.cx - 1);
            EXPECT_EQ(packet.clipMax >> 16, m.cy - 1);
        } else {
            EXPECT_EQ(packet.clipMax, clipMax);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, QueueRouteOnModel, ::testing::ValuesIn(kModels),
                         [](const auto& info) { return std::string(info.param.name); });

// kz2CopyPrimOpt sends a primitive to two queues only when its vertices lie
// in exactly two edge-adjacent screen tiles; otherwise (one tile, three
// tiles, diagonal tiles, or the packet's first primitive) to all.
TEST_F(QueueRoute, TwoTileRouting) {
    struct Row {
        const char* what;
        POINTL a, b, c;
        bool two;  // routed to the queues of two tiles
    };
    const Row rows[] = {
        {"one tile", {10, 10}, {20, 10}, {10, 20}, false},
        {"a and b, c right of them", {10, 10}, {20, 20}, {130, 10}, true},
        {"a and c, b below them", {10, 10}, {10, 130}, {10, 20}, true},
        {"b and c, left of a", {130, 10}, {10, 10}, {20, 20}, true},
        {"diagonal", {10, 10}, {130, 130}, {10, 20}, false},
        {"three tiles", {10, 10}, {130, 10}, {10, 130}, false},
        {"tile columns 1 and 2", {200, 10}, {210, 10}, {300, 10}, true},
        {"tile columns 3 and 4", {500, 10}, {510, 20}, {520, 10}, true},
        {"tile columns 0 and 4", {10, 10}, {20, 10}, {522, 10}, false},
    };
    for (const Model& m : {kSoloXga, kDuoXga, kQuadXga}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << m.name << ": " << row.what);
            Boot(m);
            ULONG* p = OpenPolygons(2);
            // The first primitive goes to every queue with the prefix.
            const std::vector<ULONG> first = {Vtx(0, 0), Vtx(1, 0), Vtx(0, 1)};
            for (ULONG w : first) *p++ = w;
            EXPECT_EQ(qm->cPrims, 0u);
            p = kz2CopyPrimOpt(qm, p, first[0], first[1], first[2]);
            const std::vector<ULONG> second = {Vtx(row.a.x, row.a.y), Vtx(row.b.x, row.b.y),
                                               Vtx(row.c.x, row.c.y)};
            for (ULONG w : second) *p++ = w;
            p = kz2CopyPrimOpt(qm, p, second[0], second[1], second[2]);
            EXPECT_EQ(qm->pqCurrent, Q(static_cast<ULONG>(Owner(row.a.x, row.a.y))));
            EXPECT_EQ(p, qm->pqCurrent->pWrite);
            EXPECT_EQ(qm->pqCurrent->pMark, p);

            std::vector<int> targets;
            if (row.two) {
                // The other tile is b's when b's differs from a's, else c's.
                const bool bDiffers = (second[1] & ~KZ2_TILE_MASK) != (second[0] & ~KZ2_TILE_MASK);
                const POINTL other = bDiffers ? row.b : row.c;
                targets = {Owner(row.a.x, row.a.y), Owner(other.x, other.y)};
            }
            const auto decoded = CloseAndDecode();
            for (ULONG r = 0; r < Queues(); ++r) {
                SCOPED_TRACE(r);
                const bool gets = !row.two || std::count(targets.begin(), targets.end(), r) > 0;
                ASSERT_EQ(decoded[r].size(), 1u);
                const DecodedPacket& packet = decoded[r][0];
                ASSERT_EQ(packet.primitives, gets ? 2u : 1u);
                EXPECT_EQ(packet.primitive(0), first);
                if (gets) {
                    EXPECT_EQ(packet.primitive(1), second);
                }
            }
            Shutdown();
        }
    }
}

// Strips: with *pState 1 a primitive in one tile goes to that tile's queue
// only; the two-tile rule applies only while the current queue is b's; the
// state becomes a's tile bits, or 2 for a new edge when asked.
TEST_F(QueueRoute, StripRouting) {
    Boot(kQuadXga);
    ULONG* p = OpenPolygons(8);
    struct Step {
        POINTL a, b, c;
        ULONG stateIn;  // ~0: keep what the last step left
        BOOL bFlag;
        std::vector<int> queues;  // empty: every queue
        ULONG stateOut;
    };
    const ULONG tile1 = Vtx(130, 0) & ~KZ2_TILE_MASK, tile4 = Vtx(0, 130) & ~KZ2_TILE_MASK;
    const Step steps[] = {
        // The first primitive goes to all; one tile, but the state is not 1.
        {{10, 10}, {20, 10}, {10, 20}, 0, FALSE, {}, 0},
        // State 1, one tile: only its queue.
        {{130, 10}, {140, 10}, {130, 20}, 1, FALSE, {1}, tile1},
        // Two adjacent tiles and the current queue is b's: two queues.
        {{130, 20}, {140, 20}, {20, 20}, ~0u, FALSE, {1, 0}, tile1},
        // a in tile 0, b and c in tile 1 (current queue 1 is b's); a new edge.
        {{20, 30}, {140, 30}, {150, 40}, ~0u, TRUE, {0, 1}, 2},
        // The current queue (0) is not b's (3): every queue.
        {{10, 130}, {130, 130}, {20, 140}, ~0u, FALSE, {}, tile4},
    };
    ULONG state = 0;
    std::vector<std::vector<ULONG>> expected(Queues());
    for (const Step& s : steps) {
        if (s.stateIn != ~0u) state = s.stateIn;
        const std::vector<ULONG> words = {Vtx(s.a.x, s.a.y), Vtx(s.b.x, s.b.y), Vtx(s.c.x, s.c.y)};
        for (ULONG w : words) *p++ = w;
        p = kz2CopyPrimStripOpt(qm, p, words[0], words[1], words[2], &state, s.bFlag);
        EXPECT_EQ(state, s.stateOut);
        EXPECT_EQ(qm->pqCurrent, Q(static_cast<ULONG>(Owner(s.a.x, s.a.y))));
        Expect(expected, s.queues, words);
    }
    ExpectDecoded(expected);
}

// On a split board kz2CopyPrimMulScreen routes a primitive to its tile's
// queue on the screen under it and to the same rasterizer of the other
// screen; the current queue is counted and keeps its words like any other.
TEST_F(QueueRoute, SplitBoardRouting) {
    Boot(kSplitQuadXga);
    ULONG* p = OpenPolygons(4);
    struct Step {
        POINTL a;
        BOOL bRoute;
        std::vector<int> queues;  // empty: every queue
        int current;
    };
    const Step steps[] = {
        {{10, 10}, TRUE, {}, 0},        // nothing broadcast yet: every queue
        {{1100, 10}, TRUE, {4, 0}, 4},  // second screen; its mirror 0 is current
        {{200, 10}, TRUE, {1, 5}, 1},   // first screen tile 1 and its mirror
        {{1300, 140}, FALSE, {}, 6},    // not routed: every queue
    };
    std::vector<std::vector<ULONG>> expected(Queues());
    for (const Step& s : steps) {
        const std::vector<ULONG> words = {Vtx(s.a.x, s.a.y), Vtx(s.a.x + 1, s.a.y),
                                          Vtx(s.a.x, s.a.y + 1)};
        for (ULONG w : words) *p++ = w;
        p = kz2CopyPrimMulScreen(qm, p, words[0], s.bRoute);
        EXPECT_EQ(qm->pqCurrent, Q(static_cast<ULONG>(s.current)));
        EXPECT_EQ(p, Q(static_cast<ULONG>(s.current))->pWrite);
        Expect(expected, s.queues, words);
    }
    ExpectDecoded(expected);
}

// A rectangle with more pieces than its packet reserved room for: when the
// queue has no room left before its ring limit, the open packet moves to
// the start of the drained ring, so nothing is written past the limit.
TEST_F(QueueRoute, RectangleWithoutRoomMovesItsPacket) {
    auto cfg = Machine(1);
    cfg.dmaBytes = 0x10000;
    QueueTest::Boot(cfg, Request(1280, 1024, 16));
    KZ2QUEUE* q = Q(0);
    PadTo(0, 1000);
    ULONG* p = kz2NewPacketQueue(qm, nullptr, 1);  // room for one primitive only
    ASSERT_NE(q->pPacket, q->pRingStart);
    q->pPacket[0] = kRectCommand;
    for (ULONG w : {0x8000u, 0x10360348u, 0u, (1023u << 16) | 1279u, 1u, 2u}) *p++ = w;
    kz2WriteRectNoPrimData(qm, p, 0, 0, 1280, 1024);  // 80 pieces, 1280 bytes
    EXPECT_EQ(q->pPacket, q->pRingStart);
    EXPECT_LE(q->pWrite, q->pRingLimit);
    EXPECT_EQ(q->pMark, q->pWrite);
    EXPECT_EQ(vnx::debug::take(), "");

    const auto decoded = CloseAndDecode();
    ASSERT_EQ(decoded[0].size(), 1u);
    EXPECT_EQ(decoded[0][0].bus, q->ulRingBus);
    EXPECT_EQ(decoded[0][0].primitives, 80u);
    EXPECT_EQ(decoded[0][0].constants, (std::vector<std::uint32_t>{1, 2}));
}

// When the packet cannot move (no memory for the copy) the pieces that do
// not fit are left out and the debugger is told; nothing passes the limit.
TEST_F(QueueRoute, RectangleWithoutRoomAndNoMemoryIsLeftOut) {
    auto cfg = Machine(1);
    cfg.dmaBytes = 0x10000;
    QueueTest::Boot(cfg, Request(1280, 1024, 16));
    KZ2QUEUE* q = Q(0);
    PadTo(0, 1000);
    ULONG* p = kz2NewPacketQueue(qm, nullptr, 1);
    q->pPacket[0] = kRectCommand;
    for (ULONG w : {0x8000u, 0x10360348u, 0u, (1023u << 16) | 1279u, 1u, 2u}) *p++ = w;
    vnx::faults::arm("LocalAlloc");
    kz2WriteRectNoPrimData(qm, p, 0, 0, 1280, 1024);
    vnx::faults::clear();
    EXPECT_EQ(vnx::debug::take(), "kz2WriteRectNoPrimData: no room in queue 0\n");
    EXPECT_LE(q->pWrite, q->pRingLimit);
    const auto decoded = CloseAndDecode();
    ASSERT_EQ(decoded[0].size(), 1u);
    EXPECT_EQ(decoded[0][0].primitives, 0u);
}

// On one rasterizer every routing call only counts in queue 0.
TEST_F(QueueRoute, OneRasterizerOnlyCounts) {
    Boot(kSoloXga);
    ULONG* p = OpenPolygons(4);
    ULONG state = 1;
    const std::vector<std::function<ULONG*(ULONG*)>> calls = {
        [&](ULONG* e) { return kz2CopyPrimOpt(qm, e, Vtx(10, 10), Vtx(200, 10), Vtx(10, 200)); },
        [&](ULONG* e) { return kz2CopyPrimOpt(qm, e, Vtx(10, 10), Vtx(20, 10), Vtx(130, 10)); },
        [&](ULONG* e) {
            return kz2CopyPrimStripOpt(qm, e, Vtx(1, 1), Vtx(2, 1), Vtx(1, 2), &state, 0);
        },
        [&](ULONG* e) { return kz2CopyPrimAndUpdate(qm, e, Vtx(300, 300)); },
    };
    ULONG k = 0;
    for (const auto& call : calls) {
        for (int v = 0; v < 3; ++v) *p++ = Vtx(k, v);
        p = call(p);
        ++k;
        EXPECT_EQ(qm->pqCurrent, qm);
        EXPECT_EQ(qm->cPrims, k);
        EXPECT_EQ(qm->pWrite, p);
    }
    const auto decoded = CloseAndDecode();
    ASSERT_EQ(decoded[0].size(), 1u);
    EXPECT_EQ(decoded[0][0].primitives, 4u);
}

}  // namespace
}  // namespace vnx::test
