// Feedback mode: every primitive kind with every feedback type against the
// values GL 1.0's feedback rules give (computed here from the GL matrices,
// viewport and depth range), polygon modes with edge flags, line-stipple
// resets across strips and batches, overflow, the feedback callback, and
// strips that leave the clip volume going to the clipping path.
#include <cmath>
#include <cstring>
#include <vector>

#include "3d/pipes/pipes.h"
#include "lgi/seams.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "gl/server/lgi/matrix_ref.h"

namespace {

constexpr float kPoint = 1793, kLine = 1794, kPolygon = 1795, kLineReset = 1799, kPassThrough = 1792;

struct Flush {
    N_Context* pctx;
    float* pBuffer;
    ULONG count;
};
std::vector<Flush> gFlushes;
void OnFlush(N_Context* pctx, float* pBuffer, ULONG count) { gFlushes.push_back({pctx, pBuffer, count}); }

std::vector<ULONG> gClipped;  // vertex counts of the strips handed to the clipping path
void ClipPath(N_Context*, N_Pipe* pipe) { gClipped.push_back(pipe->pCommonPipeData->stripVertexCount); }

// GL window: 300 x 200 at screen (40, 30); viewport (20, 10, 160, 120);
// depth range 0.25 .. 0.75.
constexpr LONG kWinX = 40, kWinY = 30, kWinW = 300, kWinH = 200;
constexpr double kVx = 20, kVy = 10, kVw = 160, kVh = 120, kNear = 0.25, kFar = 0.75;

class FeedbackTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gFlushes.clear();
        gClipped.clear();
        buffer_.x = kWinX;
        buffer_.y = kWinY;
        buffer_.cx = kWinW;
        buffer_.cy = kWinH;
        ctx_->buffers[0].pBuffer = &buffer_;
        N_SetStateBlockAttrWord(163, 1);  // draw front left: slot 0
        const LONG vp[4] = {static_cast<LONG>(kVx), static_cast<LONG>(kWinH - kVy - kVh),
                            static_cast<LONG>(kVx + kVw - 1), static_cast<LONG>(kWinH - kVy - 1)};
        N_SetStateBlockAttr(50, vp);
        const float depth[2] = {static_cast<float>(kNear), static_cast<float>(kFar)};
        N_SetStateBlockAttr(N_ATTR_DEPTH_RANGE, depth);
        // Modelview, projection, the GL layer's viewport matrix (-1..1 onto
        // 0..1, z reversed) and a texture matrix.
        M_ = mref::Mul(mref::Translate(0.1, -0.2, -3), mref::Scale(1.2, 0.9, 1.1));
        P_ = mref::Identity();
        const double n = 1, f = 10, r = 0.8, t = 0.6;
        P_[0] = n / r; P_[5] = n / t; P_[10] = -(f + n) / (f - n); P_[11] = -2 * f * n / (f - n);
        P_[14] = -1; P_[15] = 0;
        T_ = mref::Mul(mref::Translate(0.5, 0.25, 0), mref::Scale(2, 3, 1));
        mref::M4 V = mref::Identity();
        V[0] = 0.5; V[3] = 0.5; V[5] = 0.5; V[7] = 0.5; V[10] = -0.5; V[11] = 0.5;
        LoadStack(0, M_);
        LoadStack(1, P_);
        LoadStack(2, V);
        LoadStack(3, T_);
        ctx_->xf.modelViewChanged = 1;
        ctx_->xf.projectionChanged = 1;
        _NWindowTransform(ctx_, N_BoardFacts{});
        ctx_->dirty = 0;
        vnx::debug::clear();
    }
    void LoadStack(ULONG k, const mref::M4& m) {
        ULONG* pul = pulAttr(ctx_, N_ATTR_MATRIX_STACK0 + k);
        pul[32] = 0;
        for (int i = 0; i < 16; ++i) reinterpret_cast<float*>(pul)[i] = static_cast<float>(m[i]);
    }

    // A batch of vertices: positions (x, y, z), RGBA colours or indexes, and
    // texture coordinates.
    struct Batch {
        std::vector<float> pos, colour, tex;
        std::vector<ULONG> edges;
        std::vector<ULONG> strips;
        ULONG n() const { return static_cast<ULONG>(pos.size() / 4); }
    };
    static Batch Vertices(ULONG n) {
        Batch b;
        for (ULONG i = 0; i < n; ++i) {
            const float a = 0.7f * static_cast<float>(i);
            b.pos.insert(b.pos.end(), {0.5f * std::cos(a), 0.4f * std::sin(a), 0.3f - 0.1f * i, 1});
            b.colour.insert(b.colour.end(), {0.1f * i, 0.5f, 1 - 0.1f * i, 0.25f});
            b.tex.insert(b.tex.end(), {0.2f * i, 1 - 0.05f * i, 0.5f, 1});
        }
        return b;
    }

    // Runs the batch through the feedback form of the position stage, the
    // feedback strip runner and the feedback stage.
    void Run(ULONG code, ULONG mode, Batch& b, ULONG first = 1) {
        N_Pipe* pipe = &ctx_->blocks[code & 15].front;
        CommonPipeData& c = *pipe->pCommonPipeData;
        c.code = code;
        c.format = N_VTX_POS3 | N_VTX_TEXCOORD | (b.edges.empty() ? 0u : static_cast<ULONG>(N_VTX_EDGEFLAG));
        c.position = {b.pos.data(), 16};
        c.texCoord = {b.tex.data(), 16};
        c.stripVertexCount = b.n();
        c.stripCount = b.strips.empty() ? 1 : static_cast<ULONG>(b.strips.size());
        c.pStripCounts = b.strips.empty() ? &c.stripVertexCount : b.strips.data();
        c.first = first;
        c.pDispatch = &ctx_->prim[code - N_PRIM_FIRST_DISPATCH];
        c.pDispatch->pfnPrimPath = ClipPath;
        std::memcpy(c.pColours, b.colour.data(), b.colour.size() * 4);
        for (std::size_t i = 0; i < b.edges.size(); ++i) c.pEdgeWords[i] = b.edges[i];
        pipe->mode = mode;
        pipe->next[N_STAGE_HEAD] = _NXformPos3Select;
        pipe->next[N_STAGE_POSITION] = _NFeedbackStripRunner;
        pipe->next[N_STAGE_STRIPS] = _NStageFeedback;
        pipe->next[N_STAGE_FEEDBACK] = _NEmptyStage;
        pipe->next[N_STAGE_HEAD](ctx_, pipe);
        EXPECT_EQ(c.pColours, reinterpret_cast<float*>(gNArena.apVertex16[2])) << "arrays restored";
        EXPECT_EQ(c.stripVertexCount, b.n());
    }

    // GL 1.0's vertex data of vertex i for a feedback type.
    void GLVertex(const Batch& b, ULONG i, ULONG type, bool ci, std::vector<double>* out) const {
        const mref::V4 clip = mref::Apply(mref::Mul(P_, M_), {b.pos[4 * i], b.pos[4 * i + 1], b.pos[4 * i + 2], 1});
        const double x = kVx + (clip[0] / clip[3] + 1) * kVw / 2;
        const double y = kVy + (clip[1] / clip[3] + 1) * kVh / 2;
        const double z = kNear + (clip[2] / clip[3] + 1) * (kFar - kNear) / 2;
        out->insert(out->end(), {x, y});
        if (type == 0) return;
        out->push_back(z);
        if (type == 4) out->push_back(clip[3]);
        if (type < 2) return;
        for (ULONG k = 0; k < (ci ? 1u : 4u); ++k) out->push_back(b.colour[4 * i + k]);
        if (type < 3) return;
        const mref::V4 t = mref::Apply(T_, {b.tex[4 * i], b.tex[4 * i + 1], b.tex[4 * i + 2], b.tex[4 * i + 3]});
        out->insert(out->end(), t.begin(), t.end());
    }
    // GL 1.0's feedback of a primitive of the GL mode the kind stands for.
    std::vector<double> GLFeedback(ULONG code, const Batch& b, ULONG type, bool ci = false) const {
        std::vector<double> out;
        const ULONG n = b.n();
        auto polygon = [&](std::vector<ULONG> v) {
            out.insert(out.end(), {kPolygon, static_cast<double>(v.size())});
            for (ULONG i : v) GLVertex(b, i, type, ci, &out);
        };
        auto line = [&](float token, ULONG a, ULONG z) {
            out.push_back(token);
            GLVertex(b, a, type, ci, &out);
            GLVertex(b, z, type, ci, &out);
        };
        switch (code) {
            case 63: for (ULONG i = 0; i < n; ++i) { out.push_back(kPoint); GLVertex(b, i, type, ci, &out); } break;
            case 64: for (ULONG i = 0; i + 1 < n; ++i) line(i == 0 ? kLineReset : kLine, i, i + 1); break;
            case 65: for (ULONG i = 0; i + 1 < n; i += 2) line(kLineReset, i, i + 1); break;
            case 66: { std::vector<ULONG> v; for (ULONG i = 0; i < n; ++i) v.push_back(i); polygon(v); break; }
            case 67: for (ULONG i = 0; i + 3 <= n; i += 3) polygon({i, i + 1, i + 2}); break;
            case 68: for (ULONG i = 0; i + 4 <= n; i += 4) polygon({i, i + 1, i + 2, i + 3}); break;
            case 69: for (ULONG i = 1; i + 1 < n; ++i) polygon({0, i, i + 1}); break;
            case 70: for (ULONG i = 0; i + 2 < n; ++i) polygon(i % 2 ? std::vector<ULONG>{i + 1, i, i + 2} : std::vector<ULONG>{i, i + 1, i + 2}); break;
            default: break;
        }
        return out;
    }
    static void ExpectValues(const std::vector<float>& got, const std::vector<double>& want) {
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_NEAR(got[i], want[i], 2e-3 * std::max(1.0, std::fabs(want[i]))) << "value " << i;
    }
    std::vector<float> Feed(ULONG code, ULONG mode, Batch& b, ULONG type, ULONG size = 4096) {
        std::vector<float> buf(size, -12345.0f);
        N_BeginFeedback(buf.data(), size, type);
        Run(code, mode, b);
        LONG count = 0;
        N_EndFeedback(&count);
        if (count < 0) return buf;
        buf.resize(static_cast<std::size_t>(count));
        return buf;
    }

    GLBuffer buffer_{};
    mref::M4 M_, P_, T_;
};

TEST_F(FeedbackTest, EveryKindAndTypeAsGLFeedsBack) {
    for (ULONG code : {63u, 64u, 65u, 66u, 67u, 68u, 69u, 70u}) {
        for (ULONG type = 0; type <= 4; ++type) {
            SCOPED_TRACE(testing::Message() << "kind " << code << " type " << type);
            Batch b = Vertices(code == 68 ? 9 : 7);  // separate kinds leave their odd vertices out
            ExpectValues(Feed(code, 0, b, type), GLFeedback(code, b, type));
        }
    }
}

TEST_F(FeedbackTest, ColourIndexModeWritesOneColourValue) {
    N_SetStateBlockAttrWord(N_ATTR_COLOUR_INDEX_MODE, 1);
    Batch b = Vertices(3);
    ExpectValues(Feed(67, 0, b, 3), GLFeedback(67, b, 3, true));
    ExpectValues(Feed(63, 0, b, 2), GLFeedback(63, b, 2, true));
}

TEST_F(FeedbackTest, PolygonModesPointsAndLinesWithEdgeFlags) {
    Batch b = Vertices(4);
    // Drawn as points: one point token a vertex.
    std::vector<double> want;
    for (ULONG i = 0; i < 4; ++i) {
        want.push_back(kPoint);
        GLVertex(b, i, 1, false, &want);
    }
    ExpectValues(Feed(66, N_MODE_POLY_POINT, b, 1), want);
    // Drawn as lines: boundary edges only, the first restarting the stipple.
    b.edges = {1, 0, 1, 1};  // the edge from vertex 1 to 2 is internal
    want.clear();
    for (ULONG e : {0u, 2u, 3u}) {
        want.push_back(e == 0 ? kLineReset : kLine);
        GLVertex(b, e, 1, false, &want);
        GLVertex(b, (e + 1) % 4, 1, false, &want);
    }
    ExpectValues(Feed(66, N_MODE_POLY_LINE_PRIM, b, 1), want);
    // An internal first edge leaves the reset to the first edge drawn.
    b.edges = {0, 1, 2, 0};  // 2: an edge a batch split made internal
    want.clear();
    want.push_back(kLineReset);
    GLVertex(b, 1, 1, false, &want);
    GLVertex(b, 2, 1, false, &want);
    ExpectValues(Feed(66, N_MODE_POLY_LINE_PRIM, b, 1), want);
}

TEST_F(FeedbackTest, LineStripsResetPerStripAndContinueAcrossBatches) {
    // Two strips in one batch (a line loop arrives as a strip whose last
    // vertex repeats its first): each strip starts with a reset token.
    Batch b = Vertices(7);
    b.pos.insert(b.pos.end(), b.pos.begin(), b.pos.begin() + 4);  // close the second strip
    b.colour.insert(b.colour.end(), b.colour.begin(), b.colour.begin() + 4);
    b.tex.insert(b.tex.end(), b.tex.begin(), b.tex.begin() + 4);
    b.strips = {3, 5};
    const std::vector<float> got = Feed(64, 0, b, 0);
    std::vector<float> tokens;
    for (std::size_t i = 0; i < got.size(); i += 5) tokens.push_back(got[i]);
    EXPECT_EQ(tokens, (std::vector<float>{kLineReset, kLine, kLineReset, kLine, kLine, kLine}));
    // The last segment of the second strip ends where the first strip began.
    EXPECT_NEAR(got.back(), got[2], 1e-3);

    // A later batch of a split strip continues it: no reset.
    std::vector<float> buf(64);
    N_BeginFeedback(buf.data(), 64, 0);
    Batch c = Vertices(3);
    Run(64, 0, c, /*first=*/0);
    LONG count = 0;
    N_EndFeedback(&count);
    ASSERT_EQ(count, 10);
    EXPECT_EQ(buf[0], kLine);
    EXPECT_EQ(buf[5], kLine);
}

TEST_F(FeedbackTest, OverflowStoresWhatFitsAndEndsWithMinusOne) {
    Batch b = Vertices(3);
    const std::vector<float> all = Feed(63, 0, b, 1);  // 3 x (token + 3)
    ASSERT_EQ(all.size(), 12u);
    struct Case {
        ULONG size;
        LONG result;
    };
    for (const Case& k : {Case{12, 12}, Case{11, -1}, Case{5, -1}, Case{0, -1}}) {
        SCOPED_TRACE(k.size);
        std::vector<float> buf(16, -1.0f);
        N_BeginFeedback(buf.data(), k.size, 1);
        Run(63, 0, b);
        LONG count = 0;
        N_EndFeedback(&count);
        EXPECT_EQ(count, k.result);
        for (ULONG i = 0; i < 16; ++i) EXPECT_EQ(buf[i], i < k.size ? all[i] : -1.0f) << "value " << i;
        EXPECT_EQ(*pulAttr(ctx_, N_ATTR_RENDER_MODE), N_RENDER_MODE_RENDER);
    }
}

TEST_F(FeedbackTest, CallbackAfterEachBatchAndPassThrough) {
    ctx_->pfnFeedbackFlush = OnFlush;
    std::vector<float> buf(64);
    N_BeginFeedback(buf.data(), 64, 0);
    Batch b = Vertices(2);
    Run(63, 0, b);
    N_PassThrough(5.5f);
    Run(65, 0, b);
    LONG count = 0;
    N_EndFeedback(&count);
    ASSERT_EQ(gFlushes.size(), 3u);
    EXPECT_EQ(gFlushes[0].pctx, ctx_);
    EXPECT_EQ(gFlushes[0].pBuffer, buf.data());
    EXPECT_EQ(gFlushes[0].count, 6u);
    EXPECT_EQ(gFlushes[1].count, 8u);
    EXPECT_EQ(gFlushes[2].count, 13u);
    EXPECT_EQ(count, 13);
    EXPECT_EQ(buf[6], kPassThrough);
    EXPECT_EQ(buf[7], 5.5f);
    EXPECT_EQ(buf[8], kLineReset);
}

TEST_F(FeedbackTest, StripsLeavingTheClipVolumeGoToTheClippingPath) {
    Batch b = Vertices(6);
    b.pos[4 * 4] = 50.0f;  // vertex 4 far right of the viewport
    b.strips = {2, 4};
    const std::vector<float> got = Feed(63, 0, b, 0);
    // The first strip is fed back; the second is the clipping path's.
    EXPECT_EQ(got.size(), 6u);
    EXPECT_EQ(gClipped, std::vector<ULONG>{4});
}

TEST_F(FeedbackTest, RasterPositionWritesNothing) {
    Batch b = Vertices(1);
    EXPECT_TRUE(Feed(62, 0, b, 4).empty());
}

TEST_F(FeedbackTest, StageTableAndFeedbackPipe) {
    EXPECT_EQ(gNArena.pStageTable[N_STAGE_FEEDBACK], _NStageFeedback);
    N_SetStateBlockAttrWord(N_ATTR_RENDER_MODE, N_RENDER_MODE_FEEDBACK);
    const ULONG rect[2] = {0, (479u << 16) | 639u};
    N_BindClipList(1, rect);
    N_Pipe* pipe = &ctx_->blocks[63 & 15].front;
    pipe->pCommonPipeData->pDispatch = &ctx_->prim[63 - 61];
    N_StageList l;
    _NBuildStageList(ctx_, pipe, 63, N_VTX_POS3, &l);
    _NLinkPipe(ctx_, pipe, 0, l.c, l.stages);
    EXPECT_EQ(pipe->next[N_STAGE_VERTEX], _NFeedbackStripRunner);
    EXPECT_EQ(pipe->next[N_STAGE_STRIPS], _NStageFeedback);
}

}  // namespace
