// The straight-line solid fill of one rectangle (bFillSolidOne) against the
// general path (vFillSolidClipped): for every clip kind it serves, the three
// fixed programs, rectangles inside a tile, across tiles and (on split
// boards) on and across the second screen, on boards of 1, 2 and 4
// rasterizers and split boards, a run of calls leaves the same words in
// every ring, the same queue records and the same decoded packets. The cases
// it does not serve queue nothing and are left to the general path.
#include "cliprects.h"
#include "display/fill/fill_fixture.h"

namespace vnx::test {
namespace {

// What the queues hold after a run of fills: each ring's words up to the
// stream end, the positions of each queue
// (from its ring start) and the manager's routing state.
struct QueueState {
    std::vector<std::vector<ULONG>> rings;
    std::vector<std::vector<std::ptrdiff_t>> positions;
    std::vector<ULONG> counts;
    std::ptrdiff_t current = -1, currentMark = -1;
    ULONG fresh = 0;
    LONG swapLeft = 0, swapRight = 0;
    bool operator==(const QueueState&) const = default;
};

struct ClipCase {
    const char* what;
    ULONG complexity;  // ~0u: no clip object
    RECTL bounds;
};
const ClipCase kClips[] = {
    {"no clip object", ~0u, {}},
    {"trivial clip", DC_TRIVIAL, {}},
    {"rectangle clip cutting the rectangle", DC_RECT, {0, 0, 1200, 150}},
    {"rectangle clip missing it", DC_RECT, {0, 190, 10, 199}},
};

struct RopCase {
    ULONG rop3;
    ULONG flInfo;
    ULONG colour;
};
const RopCase kRops[] = {
    {0xF0, 0, 0x336699}, {0x00, ROPINFO_NEEDS_ZERO, 0}, {0xFF, ROPINFO_NEEDS_ALL_ONES, 0xFFFFFF}};

class FillFast : public FillTest, public ::testing::WithParamInterface<BoardModel> {
  protected:
    QueueState State() {
        QueueState s;
        for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
            const KZ2QUEUE* q = qm + i;
            s.rings.emplace_back(q->pRingStart, q->pStreamEnd);
            s.positions.push_back({q->pStreamEnd - q->pRingStart, q->pKicked - q->pRingStart,
                                   q->pPacket - q->pRingStart, q->pWrite - q->pRingStart});
            s.counts.push_back(q->cPrims);
        }
        s.current = qm->pqCurrent - qm;
        s.currentMark = qm->pqCurrent->pMark - qm->pqCurrent->pRingStart;
        s.fresh = qm->fFresh;
        s.swapLeft = ppdev->rclSwap.left;
        s.swapRight = ppdev->rclSwap.right;
        return s;
    }
    // The drawing packets the board decoded since the last call, per
    // rasterizer (their words; the bus addresses are the rings' own).
    std::vector<std::vector<std::vector<ULONG>>> Decoded() {
        std::vector<std::vector<std::vector<ULONG>>> out(board->rasterizers());
        for (int r = 0; r < board->rasterizers(); ++r)
            for (const DecodedPacket& p : board->take_packets(r)) {
                if (p.kind != ItemKind::Packet) continue;
                std::vector<ULONG> w = {p.command, p.control, p.clipMin, p.clipMax};
                w.insert(w.end(), p.pids.begin(), p.pids.end());
                w.insert(w.end(), p.instructions.begin(), p.instructions.end());
                w.insert(w.end(), p.constants.begin(), p.constants.end());
                w.insert(w.end(), p.primitiveWords.begin(), p.primitiveWords.end());
                out[r].push_back(w);
            }
        return out;
    }
    // Starts from drained queues with queue `current` current and the swap
    // rectangle set.
    void Start(std::ptrdiff_t current) {
        Flush();
        Decoded();
        qm->pqCurrent = qm + current;
        ppdev->rclSwap = RECTL{1, 2, 3, 4};
    }
};

TEST_P(FillFast, WritesWhatTheGeneralPathWrites) {
    Boot(Machine(GetParam().rasterizers, GetParam().boards), Request(1024, 768, 32));
    const bool bSplit = GetParam().boards == 2;
    POINTL at = {0, 0};
    SURFOBJ* pso = Target(bSplit ? 2047 : 1024, 200, &at);
    ASSERT_NE(pso, nullptr);
    // Rectangles inside one tile, across tile columns and rows, partly
    // outside the surface, and on split boards on and across the second
    // screen; enough of them that the kicks hand lines over on the way.
    std::vector<RECTL> rects = {{10, 10, 18, 18},      {120, 100, 140, 160}, {300, 20, 308, 28},
                                {900, 150, 1100, 240}, {-5, -5, 6, 6},       {500, 130, 510, 300}};
    if (bSplit) {
        rects.push_back({1030, 40, 1038, 48});
        rects.push_back({1000, 200, 1050, 210});
        rects.push_back({2040, 190, 2100, 220});
    }
    const std::ptrdiff_t current = static_cast<std::ptrdiff_t>(cQueuesOf(qm)) - 1;
    for (const ClipCase& clip : kClips) {
        for (const RopCase& rop : kRops) {
            SCOPED_TRACE(testing::Message() << clip.what << ", ROP 0x" << std::hex << rop.rop3);
            CLIPOBJ* pco = nullptr;
            if (clip.complexity != ~0u) {
                pco = vnx::engine::create_clip(&clip.bounds, 1);
                pco->iDComplexity = clip.complexity;
                if (clip.complexity == DC_TRIVIAL) pco->rclBounds = RECTL{0, 0, 4096, 4096};
                else pco->rclBounds = clip.bounds;
            }
            for (int pass = 0; pass < 3; ++pass) {
                Start(current);
                for (const RECTL& r : rects) {
                    RECTL rcl = r;
                    vFillSolidClipped(pso, pco, rop.rop3 | rop.rop3 << 8, rop.flInfo, rop.colour,
                                      &rcl);
                }
                const QueueState general = State();
                Flush();
                const auto generalPackets = Decoded();

                Start(current);
                for (const RECTL& r : rects) {
                    RECTL rcl = r;
                    EXPECT_TRUE(bFillSolidOne(pso, pco, &rcl, rop.rop3, rop.flInfo, rop.colour));
                }
                const QueueState fast = State();
                Flush();
                EXPECT_TRUE(fast == general);
                EXPECT_EQ(Decoded(), generalPackets);
                EXPECT_FALSE(generalPackets[0].empty() && clip.complexity != DC_RECT);
                if (::testing::Test::HasFailure()) break;
            }
            if (pco != nullptr) vnx::engine::delete_clip(pco);
        }
    }
    EXPECT_EQ(Errors(), "");
}

// The cases the straight line does not serve queue nothing, for the
// general path to draw.
TEST_P(FillFast, LeavesOtherCasesToTheGeneralPath) {
    Boot(Machine(GetParam().rasterizers, GetParam().boards), Request(1024, 768, 32));
    POINTL at = {0, 0};
    SURFOBJ* pso = Target(256, 256, &at);
    ASSERT_NE(pso, nullptr);
    const RECTL region[2] = {{0, 0, 10, 10}, {20, 20, 30, 30}};
    CLIPOBJ* complex = vnx::engine::create_clip(region, 2);
    ASSERT_EQ(complex->iDComplexity, static_cast<ULONG>(DC_COMPLEX));
    RECTL rcl = {2, 2, 40, 40};
    auto declines = [&](const char* what, CLIPOBJ* pco, RECTL* prcl, ULONG rop3) {
        const QueueState before = State();
        EXPECT_FALSE(bFillSolidOne(pso, pco, prcl, rop3, ulRop3Info(rop3), 0x123456)) << what;
        EXPECT_TRUE(State() == before) << what;
    };
    Start(0);
    declines("complex clip", complex, &rcl, 0xF0);
    declines("ROP 0x5A", nullptr, &rcl, 0x5A);
    declines("no rectangle", nullptr, nullptr, 0xF0);
    // Units switched off by an earlier fill that read the destination.
    kz2ConfigDisable(qm, FILL_DISABLE_UNIT);
    declines("units switched off", nullptr, &rcl, 0xF0);
    kz2ConfigEnable(qm);
    // Units waiting to be switched on again at the next render wait.
    declines("units waiting", nullptr, &rcl, 0xF0);
    Flush();
    // Queues closed for a wait.
    RECTL first = {0, 0, 8, 8};
    vFillSolid(pso, 0xF0F0, 0, 0x123456, &first, 1);
    vCloseAllQueuePackets(qm);
    declines("queues closed", nullptr, &rcl, 0xF0);
    kz2SyncDMA(qm);
    vnx::engine::delete_clip(complex);
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Boards, FillFast, ::testing::ValuesIn(kBoardModels), BoardModelName);

}  // namespace
}  // namespace vnx::test
