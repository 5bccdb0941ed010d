// The passes that run a pipe more than once for a batch: one pass per clip
// rectangle with that rectangle's clip pair in every program that draws
// (and in their instruction bodies), nothing for a rectangle the batch
// cannot touch; both halves of a stereo frame buffer;
// both eyes of a stereo board. Each puts back what it changed.
#include <array>
#include <cstring>
#include <vector>

#include "3d/queue/passes.h"
#include "gl/server/lgi/board_fixture.h"
#include "lgi/lgigl.h"

namespace {

using namespace lgi_test;

// Where the pass records of the test programs keep their clip pair in the
// body: words 3 + 36 from word 138.
struct PassSpec {
    ULONG slot, record, pidWords, instructions, flag;
};
constexpr PassSpec kPasses[] = {
    {0, 0, 1, 2, 2},  // standard slot, first pass: pair at body word 3
    {0, 1, 0, 1, 0},  // second pass: no pair in its packet
    {1, 0, 2, 2, 2},  // back-pipe slot
    {2, 0, 2, 1, 2},  // front textured slot
};

ULONG* Record(N_HwRecord* phw, const PassSpec& p) { return phw->programs[p.slot] + 204 * p.record; }

// What a pass saw.
struct Seen {
    std::vector<std::array<ULONG, 4>> clips;  // per PassSpec: min, max, body min, body max
    ULONG secondHalf;
    float yMinF, yMaxF;
    LONG yMinI, yMaxI;
    float combined0;
    ULONG faceCount;
    ULONG batchCount;
};
std::vector<Seen> gSeen;
bool gbDropStereo = false;
PDEV* gppdev = nullptr;

Seen Look(N_Context* pctx, N_Pipe* pipe) {
    Seen s{};
    for (const PassSpec& p : kPasses) {
        const ULONG* r = Record(pctx->pHw, p);
        const ULONG at = 138 + p.pidWords + p.instructions;
        s.clips.push_back({r[102], r[103], r[at], r[at + 1]});
    }
    s.secondHalf = pctx->secondHalf;
    s.yMinF = pctx->xf.boundsF[1];
    s.yMaxF = pctx->xf.boundsF[4];
    s.yMinI = pctx->xf.boundsI[1];
    s.yMaxI = pctx->xf.boundsI[4];
    s.combined0 = pctx->xf.combined[0];
    s.faceCount = pipe->pCommonPipeData->faceCount;
    s.batchCount = pctx->pHw->batchCount;
    return s;
}

// A successor that records and then changes the batch state, as the stages
// after it do.
void RecordPass(N_Context* pctx, N_Pipe* pipe) {
    gSeen.push_back(Look(pctx, pipe));
    pipe->pCommonPipeData->faceCount += 100;
    pctx->pHw->batchCount = 17;
    if (gbDropStereo) pGLBoardConfig(gppdev)->flags &= ~BCF_STEREO;
}
class PassesTest : public LgiBoardTest {
  protected:
    void SetUp() override {
        LgiBoardTest::SetUp();
        Boot(kSolo);
        gppdev = Pdev();
        gSeen.clear();
        gbDropStereo = false;
        N_HwRecord* phw = ctx_->pHw;
        for (const PassSpec& p : kPasses) {
            ULONG* r = Record(phw, p);
            phw->programs[p.slot][0] = std::max(phw->programs[p.slot][0], p.record + 1);
            r[3] = p.pidWords;
            r[36] = p.instructions;
            r[101] = p.flag;
            r[102] = 0x00010002;
            r[103] = 0x01000200;
            const ULONG at = 138 + p.pidWords + p.instructions;
            if (p.flag) {
                r[at] = r[102];
                r[at + 1] = r[103];
            }
        }
        pipe_ = &ctx_->blocks[N_PRIM_TRIANGLES & 15].front;
        CommonPipeData& c = ctx_->blocks[N_PRIM_TRIANGLES & 15].common;
        pipe_->pCommonPipeData = &c;
        c.code = N_PRIM_TRIANGLES;
        for (ULONG k : {N_STAGE_STEREO_HEAD, N_STAGE_STEREO_HALVES, N_STAGE_RECTANGLES}) pipe_->next[k] = RecordPass;
        for (int i = 0; i < 6; ++i) {
            ctx_->xf.boundsF[i] = 10.0f * i;
            ctx_->xf.boundsI[i] = 10 * i;
        }
        before_ = Look(ctx_, pipe_);
    }
    void Vertices(const std::vector<std::array<LONG, 3>>& v) {
        window_.clear();
        for (const auto& w : v) window_.insert(window_.end(), w.begin(), w.end());
        CommonPipeData& c = *pipe_->pCommonPipeData;
        c.pWindow = window_.data();
        c.stripVertexCount = static_cast<ULONG>(v.size());
    }
    static ULONG Corner(LONG x, LONG y) { return (static_cast<ULONG>(y) << 16) | static_cast<ULONG>(x); }
    // The clip pairs written for a rectangle: in the flagged records and
    // their bodies; the record without a pair in its packet keeps its own.
    void ExpectClip(const Seen& s, ULONG lo, ULONG hi) {
        for (std::size_t i = 0; i < std::size(kPasses); ++i) {
            if (kPasses[i].flag == 0) {
                EXPECT_EQ(s.clips[i], before_.clips[i]) << i;
                continue;
            }
            EXPECT_EQ(s.clips[i], (std::array<ULONG, 4>{lo, hi, lo, hi})) << i;
        }
    }

    N_Pipe* pipe_ = nullptr;
    std::vector<LONG> window_;
    Seen before_{};
};

TEST_F(PassesTest, OnePassPerClipRectangleTheBatchTouches) {
    // The draw buffer lies at (5, 7) on its surface.
    GLBuffer buffer{};
    buffer.x = 5;
    buffer.y = 7;
    ctx_->buffers[0].pBuffer = &buffer;
    N_SetStateBlockAttrWord(163, 1);
    const ULONG rects[] = {Corner(0, 0), Corner(99, 99), Corner(200, 0), Corner(299, 99), Corner(0, 200),
                           Corner(99, 299)};
    N_BindClipList(3, rects);
    // Left of the second rectangle, inside the first and the third.
    Vertices({{10, 10, 0}, {50, 250, 0}, {60, 30, 0}});
    _NStageClipRects(ctx_, pipe_);
    ASSERT_EQ(gSeen.size(), 2u);
    // The packed far corners lie past their rectangles: each clip maximum
    // is the rectangle's last pixel.
    ExpectClip(gSeen[0], Corner(5, 7), Corner(103, 105));
    ExpectClip(gSeen[1], Corner(5, 207), Corner(103, 305));
    EXPECT_EQ(gSeen[1].batchCount, 400u) << "each pass starts a batch";
    EXPECT_EQ(ctx_->pHw->batchCount, 400u);
    ctx_->buffers[0].pBuffer = nullptr;

    // An empty clip list draws nothing.
    gSeen.clear();
    ctx_->cClipRects = 0;
    _NStageClipRects(ctx_, pipe_);
    EXPECT_TRUE(gSeen.empty());
}

TEST_F(PassesTest, WideLinesAndPointsGrowTheRectangleAndKeepToTheViewport) {
    const ULONG rects[] = {Corner(200, 0), Corner(299, 99)};
    N_BindClipList(1, rects);
    const LONG viewport[4] = {0, 0, 249, 49};
    N_SetStateBlockAttr(50, viewport);
    struct Case {
        const char* name;
        ULONG code;
        float width, size;
        ULONG polygonMode;
        LONG x;
        bool drawn;
    };
    // A 4-pixel line reaches 2 pixels beyond the rectangle, a thin one none.
    const Case cases[] = {
        {"wide line inside", 65, 4.0f, 1.0f, 2, 198, true},  {"wide line beyond", 65, 4.0f, 1.0f, 2, 197, false},
        {"thin line", 65, 1.0f, 1.0f, 2, 199, false},         {"wide point", 63, 1.0f, 4.0f, 2, 198, true},
        {"outline", 67, 4.0f, 1.0f, 1, 198, true},            {"filled", 67, 4.0f, 1.0f, 2, 198, false},
        {"point polygon", 67, 1.0f, 4.0f, 0, 198, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gSeen.clear();
        pipe_->pCommonPipeData->code = c.code;
        N_SetStateBlockAttrWord(86, lgi_test::F(c.width));
        N_SetStateBlockAttrWord(85, lgi_test::F(c.size));
        N_SetStateBlockAttrWord(91, c.polygonMode);
        Vertices({{c.x, 10, 0}, {c.x - 50, 40, 0}});
        _NStageClipRects(ctx_, pipe_);
        EXPECT_EQ(gSeen.size(), c.drawn ? 1u : 0u);
        // Wide ones keep to the viewport.
        if (c.drawn) ExpectClip(gSeen[0], Corner(200, 0), Corner(249, 49));
    }
}

TEST_F(PassesTest, SixteenthsWithModelImprecision) {
    pGLBoardConfig(Pdev())->modelImprecision = 1;
    CommonPipeData& c = *pipe_->pCommonPipeData;
    struct Case {
        LONG x;
        ULONG touches;
    };
    const Case cases[] = {{160, 1}, {320, 1}, {159, 0}, {321, 0}};
    for (const Case& k : cases) {
        Vertices({{k.x, 100, 0}});
        EXPECT_EQ(_NRectTouchesBatch(ctx_, &c, 10, 0, 20, 10), k.touches) << k.x;
    }
    Vertices({});
    EXPECT_EQ(_NRectTouchesBatch(ctx_, &c, 10, 0, 20, 10), 0u) << "no vertex";
    pGLBoardConfig(Pdev())->modelImprecision = 0;
}

// A batch touches a rectangle unless all its vertices lie beyond one of the
// rectangle's sides: each side alone, the edges themselves (inside), and
// batches whose vertices lie beyond different sides.
TEST_F(PassesTest, BatchesBeyondEachSideOfTheRectangle) {
    CommonPipeData& c = *pipe_->pCommonPipeData;
    struct Case {
        const char* what;
        std::vector<std::array<LONG, 3>> v;
        ULONG touches;
    };
    const Case cases[] = {
        {"left", {{5, 30, 0}}, 0},         {"right", {{35, 30, 0}}, 0},
        {"above", {{20, 15, 0}}, 0},       {"below", {{20, 45, 0}}, 0},
        {"left edge", {{10, 30, 0}}, 1},   {"right edge", {{30, 30, 0}}, 1},
        {"top edge", {{20, 20, 0}}, 1},    {"bottom edge", {{20, 40, 0}}, 1},
        {"above, left and right", {{5, 15, 0}, {35, 15, 0}}, 0},
        {"below, left and right", {{5, 45, 0}, {35, 45, 0}}, 0},
        {"above and below", {{20, 15, 0}, {20, 45, 0}}, 1},
        {"left and right", {{5, 30, 0}, {35, 30, 0}}, 1},
        {"corner to corner", {{5, 15, 0}, {35, 45, 0}}, 1},
    };
    for (const Case& k : cases) {
        Vertices(k.v);
        EXPECT_EQ(_NRectTouchesBatch(ctx_, &c, 10, 20, 30, 40), k.touches) << k.what;
    }
}

TEST_F(PassesTest, BothHalvesOfAStereoFrameBuffer) {
    const LONG cy = lGLSurfaceHeight(Pdev());
    ASSERT_GT(cy, 0);
    const ULONG dy = static_cast<ULONG>(cy) << 16;
    _NStageStereoHalves(ctx_, pipe_);
    ASSERT_EQ(gSeen.size(), 2u);
    EXPECT_EQ(gSeen[0].secondHalf, 0u);
    EXPECT_EQ(gSeen[0].clips, before_.clips);
    EXPECT_EQ(gSeen[0].batchCount, 400u);
    EXPECT_EQ(gSeen[1].secondHalf, 1u);
    EXPECT_EQ(gSeen[1].batchCount, 400u);
    EXPECT_EQ(gSeen[1].yMinF, before_.yMinF + static_cast<float>(cy));
    EXPECT_EQ(gSeen[1].yMaxF, before_.yMaxF + static_cast<float>(cy));
    EXPECT_EQ(gSeen[1].yMinI, before_.yMinI + cy);
    EXPECT_EQ(gSeen[1].yMaxI, before_.yMaxI + cy);
    for (std::size_t i = 0; i < std::size(kPasses); ++i) {
        const auto& b = before_.clips[i];
        const auto& s = gSeen[1].clips[i];
        EXPECT_EQ(s[0], b[0] + dy) << i;
        EXPECT_EQ(s[1], b[1] + dy) << i;
        if (kPasses[i].flag) EXPECT_EQ((std::array<ULONG, 2>{s[2], s[3]}), (std::array<ULONG, 2>{s[0], s[1]})) << i;
    }
    // Everything as before, the flag clear.
    const Seen after = Look(ctx_, pipe_);
    EXPECT_EQ(after.clips, before_.clips);
    EXPECT_EQ(after.secondHalf, 0u);
    EXPECT_EQ(after.yMinF, before_.yMinF);
    EXPECT_EQ(after.yMaxI, before_.yMaxI);
}

TEST_F(PassesTest, BothEyesOfAStereoBoard) {
    pGLBoardConfig(Pdev())->flags |= BCF_STEREO;
    for (int i = 0; i < 16; ++i) {
        ctx_->xf.combined[i] = 1.0f;
        ctx_->xf.extraCombined[i] = 2.0f;
    }
    before_ = Look(ctx_, pipe_);
    const LONG cy = lGLSurfaceHeight(Pdev());
    pipe_->pCommonPipeData->faceCount = 3;
    _NStageMonoToStereo(ctx_, pipe_);
    ASSERT_EQ(gSeen.size(), 2u);
    EXPECT_EQ(gSeen[0].combined0, 1.0f);
    EXPECT_EQ(gSeen[1].combined0, 2.0f) << "the second eye's transform";
    EXPECT_EQ(gSeen[1].faceCount, 3u) << "the same batch state";
    EXPECT_EQ(gSeen[1].batchCount, 400u);
    EXPECT_EQ(gSeen[1].secondHalf, 0u);
    EXPECT_EQ(gSeen[1].yMinI, before_.yMinI + cy);
    EXPECT_EQ(gSeen[1].clips[0][0], before_.clips[0][0] + (static_cast<ULONG>(cy) << 16));
    const Seen after = Look(ctx_, pipe_);
    EXPECT_EQ(after.combined0, 1.0f);
    EXPECT_EQ(after.clips, before_.clips);
    EXPECT_EQ(after.yMinI, before_.yMinI);
    EXPECT_EQ(after.faceCount, 3u);

    // Stereo switched off while the first eye is drawn: no second eye.
    gSeen.clear();
    gbDropStereo = true;
    _NStageMonoToStereo(ctx_, pipe_);
    EXPECT_EQ(gSeen.size(), 1u);
}

}  // namespace

namespace {

TEST_F(PassesTest, ClipPairsStayInsideTheirRecords) {
    // A pass record whose counts point past its body keeps its body (and
    // every word after it) as it is; its clip pair words still change.
    N_HwRecord* phw = ctx_->pHw;
    ULONG* r = Record(phw, kPasses[0]);
    r[3] = 40;
    r[36] = 30;
    const std::vector<ULONG> after(r + 138, r + 204 * 2);
    const ULONG rects[] = {Corner(0, 0), Corner(99, 99)};
    N_BindClipList(1, rects);
    Vertices({{10, 10, 0}});
    _NStageClipRects(ctx_, pipe_);
    EXPECT_EQ(r[102], Corner(0, 0));
    EXPECT_EQ(r[103], Corner(98, 98));
    EXPECT_EQ(std::vector<ULONG>(r + 138, r + 204 * 2), after);
}

}  // namespace
