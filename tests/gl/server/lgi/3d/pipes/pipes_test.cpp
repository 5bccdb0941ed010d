// Pipelines: the stage lists linked for each kind and state, batch splitting
// with strips and fans continued across batches, the transform stages
// against GL 1.0's equations, current values and colour material, the clip
// test, and no allocation while drawing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <sys/mman.h>

#include "3d/pipes/pipes.h"
#include "lgi/seams.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "gl/server/lgi/matrix_ref.h"

namespace {

using lgi_test::F;

// What the render function at the end of a pipe received, batch by batch.
struct Received {
    ULONG count;
    std::vector<LONG> window;
    std::vector<ULONG> outcodes;
    std::vector<float> positions;
    ULONG andOut, orOut;
    const void* edges = nullptr;  // the edge-flag source the batch reads
};
std::vector<Received> gReceived;

void RecordRender(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    Received r;
    r.count = c.stripVertexCount;
    r.window.assign(c.pWindow, c.pWindow + 3 * c.stripVertexCount);
    r.outcodes.assign(c.pOutcodes, c.pOutcodes + c.stripVertexCount);
    r.andOut = c.andOutcode;
    r.orOut = c.orOutcode;
    gReceived.push_back(r);
}

// Records the batch positions as the head of a pipe sees them (splitting).
void RecordSource(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    Received r;
    r.count = c.stripVertexCount;
    for (ULONG i = 0; i < c.stripVertexCount; ++i) {
        const auto* p = reinterpret_cast<const float*>(static_cast<const BYTE*>(c.position.p) + i * c.position.step);
        r.positions.push_back(p[0]);
    }
    if (c.flagWord.p != nullptr && (c.format & (N_VTX_EDGEFLAG | N_VTX_CHANGEMASK)))
        for (ULONG i = 0; i < c.stripVertexCount; ++i)
            r.outcodes.push_back(static_cast<const ULONG*>(c.flagWord.p)[i * c.flagWord.step / 4] & 0xFF);
    r.edges = c.edgeFlag.p;
    gReceived.push_back(r);
}

class PipesTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gReceived.clear();
        HardwareWindow(lgi_test::HardwareSelectorTo<RecordRender>);
    }
    void Set(ULONG id, ULONG w) { N_SetStateBlockAttrWord(id, w); }
    void SetF(ULONG id, float f) { N_SetStateBlockAttrWord(id, F(f)); }
    std::vector<ULONG> List(ULONG code, ULONG format) {
        N_Pipe* pipe = &ctx_->blocks[code & 15].front;
        pipe->pCommonPipeData->pDispatch = &ctx_->prim[code - 61];
        pipe->mode = ctx_->enableWord;
        N_StageList l;
        _NBuildStageList(ctx_, pipe, code, format, &l);
        return {l.stages, l.stages + l.c};
    }
};

// --- stage lists ----------------------------------------------------------------------------
TEST_F(PipesTest, StageListsByKindFormatAndMode) {
    struct Case {
        const char* what;
        ULONG code, format, lighting, renderMode, fog, eye;
        std::vector<ULONG> stages;
    };
    const Case cases[] = {
        {"points", 63, N_VTX_POS3, 0, 0, 0, 0, {0, 7, 14, 15, 30, 25, 111}},
        {"lit line strip", 64, N_VTX_POS3 | N_VTX_NORMAL, 1, 0, 0, 1, {0, 7, 8, 9, 14, 15, 30, 25, 111}},
        {"triangles", 67, N_VTX_POS3, 0, 0, 0, 0, {0, 7, 11, 14, 15, 30, 25, 111}},
        {"fogged strip", 70, N_VTX_POS4 | N_VTX_RGBA, 0, 0, 1, 0, {0, 7, 11, 14, 18, 15, 30, 25, 111}},
        {"select", 66, N_VTX_POS3, 0, 1, 0, 0, {0, 7, 11, 14, 15, 16, 111}},
        {"feedback", 65, N_VTX_POS2, 0, 2, 0, 0, {0, 7, 14, 15, 20, 111}},
        {"write-back", 63, N_VTX_POS3 | N_VTX_CHANGEMASK, 0, 0, 0, 0, {0, 2, 7, 14, 15, 30, 25, 111}},
        // The raster position works its texture coordinates out (stages 35
        // and 10) with texturing off as well.
        {"raster position", 62, N_VTX_POS4, 0, 0, 0, 0, {0, 7, 8, 35, 10, 14, 15, 30, 25, 111}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Set(79, k.lighting);
        Set(N_ATTR_RENDER_MODE, k.renderMode);
        Set(105, k.fog);
        ctx_->eyePositions = k.eye;
        EXPECT_EQ(List(k.code, k.format), k.stages);
    }
}

TEST_F(PipesTest, NoVertexStagesWhenDrawingIsOffOrTheClipListIsEmpty) {
    ctx_->drawingOff = 1;
    EXPECT_EQ(List(67, N_VTX_POS3), (std::vector<ULONG>{0, 111}));
    ctx_->drawingOff = 0;
    N_ResetClipList();
    EXPECT_EQ(List(67, N_VTX_POS3), (std::vector<ULONG>{0, 111}));
    // Feedback still sees the primitives without a clip list.
    Set(N_ATTR_RENDER_MODE, 2);
    EXPECT_EQ(List(67, N_VTX_POS3), (std::vector<ULONG>{0, 7, 11, 14, 15, 20, 111}));
    // A set-up with drawing off leaves pipe word 0 the empty stage.
    ctx_->drawingOff = 1;
    N_Pipe* pipe = &ctx_->blocks[67 & 15].front;
    _NValPrimPipe(ctx_, pipe, 67, N_VTX_POS3);
    EXPECT_EQ(pipe->next[0], _NEmptyStage);
}

TEST_F(PipesTest, SoftwarePath) {
    for (N_PrimDispatch& pd : ctx_->prim) pd.pfnSelector = _NValTriPipeRenderFcn;  // reports -7
    EXPECT_EQ(List(67, N_VTX_POS3), (std::vector<ULONG>{0, 7, 11, 14, 15, 30, 29, 63, 65, 111}));
    EXPECT_EQ(ctx_->prim[67 - 61].status, -7);
}

TEST_F(PipesTest, LinkingCopiesTheTableIntoThePipe) {
    N_Pipe* pipe = &ctx_->blocks[3].front;
    _NValPrimPipe(ctx_, pipe, 67, N_VTX_POS3);
    EXPECT_EQ(pipe->next[0], _NXformPos3Render);
    EXPECT_EQ(pipe->next[15], _NStageMissing(30));  // the colour conversion is not chosen yet
    EXPECT_EQ(pipe->next[30], RecordRender);
    // The table changes with the next set-up; the linked pipe does not.
    N_Pipe* other = &ctx_->blocks[5].front;
    Set(N_ATTR_RENDER_MODE, 1);
    _NValPrimPipe(ctx_, other, 69, N_VTX_POS4);
    EXPECT_EQ(pipe->next[0], _NXformPos3Render);
    EXPECT_EQ(other->next[0], _NXformPos4);
    EXPECT_EQ(_NLinkPipe(ctx_, pipe, 0, 1, std::vector<ULONG>{0}.data()), 0u);
}

// --- transform ------------------------------------------------------------------------------
class TransformTest : public PipesTest {
  protected:
    // A perspective frustum, a modelview and a 640x480 viewport with depth
    // range [0, 1] mapped to [0, 65535], as GL 1.0 computes them.
    void SetUp() override {
        PipesTest::SetUp();
        const mref::M4 P = Frustum(-1, 1, -0.75, 0.75, 1, 10);
        const mref::M4 M = mref::Mul(mref::Translate(0.5, -0.25, -4), mref::Scale(1.5, 1.5, 1.5));
        W_ = mref::Identity();
        W_[0] = 320; W_[3] = 320; W_[5] = 240; W_[7] = 240; W_[10] = 32767.5; W_[11] = 32767.5;
        K_ = mref::Mul(W_, mref::Mul(P, M));
        for (int i = 0; i < 16; ++i) ctx_->xf.combined[i] = static_cast<float>(K_[i]);
        ctx_->xf.combinedAffine = 0;
        const float b[6] = {0, 0, 0, 639, 479, 65535};
        std::memcpy(ctx_->xf.boundsF, b, sizeof b);
        for (int i = 0; i < 6; ++i) ctx_->xf.boundsI[i] = static_cast<LONG>(b[i]);
    }
    static mref::M4 Frustum(double l, double r, double b, double t, double n, double f) {
        mref::M4 m{};
        m[0] = 2 * n / (r - l); m[2] = (r + l) / (r - l);
        m[5] = 2 * n / (t - b); m[6] = (t + b) / (t - b);
        m[10] = -(f + n) / (f - n); m[11] = -2 * f * n / (f - n);
        m[14] = -1;
        return m;
    }
    // Runs stage 7's form over the vertices into the recording render stage.
    void Run(N_StageFn form, const std::vector<float>& v4) {
        N_Pipe* pipe = &ctx_->blocks[3].front;
        CommonPipeData& c = *pipe->pCommonPipeData;
        c.position = {v4.data(), 16};
        c.stripVertexCount = static_cast<ULONG>(v4.size() / 4);
        c.format = N_VTX_POS4;
        pipe->next[N_STAGE_POSITION] = RecordRender;
        pipe->next[N_STAGE_PROJECT] = RecordRender;
        form(ctx_, pipe);
    }
    mref::V4 Window(const std::vector<float>& v, int i) {
        const mref::V4 w = mref::Apply(K_, {v[4 * i], v[4 * i + 1], v[4 * i + 2], v[4 * i + 3]});
        return {w[0] / w[3], w[1] / w[3], w[2] / w[3], w[3]};
    }
    mref::M4 K_, W_;
};

TEST_F(TransformTest, AllFormsAgainstTheGLEquations) {
    const std::vector<float> v = {0.1f, 0.2f, 0.3f, 1, -0.4f, 0.35f, -0.2f, 1, 0.25f, -0.3f, 0.5f, 1};
    struct Form {
        N_StageFn fn;
        bool truncate;
    };
    for (const Form& f : {Form{_NXformPos3Render, true}, Form{_NXformPos3Select, false}, Form{_NXformPos4, false},
                          Form{_NStageProject, true}}) {
        gReceived.clear();
        Run(f.fn, v);
        ASSERT_EQ(gReceived.size(), 1u);
        const Received& r = gReceived[0];
        ASSERT_EQ(r.count, 3u);
        for (int i = 0; i < 3; ++i) {
            const mref::V4 w = Window(v, i);
            for (int k = 0; k < 3; ++k) {
                const double want = f.truncate ? std::trunc(w[k]) : std::nearbyint(w[k]);
                EXPECT_NEAR(r.window[3 * i + k], want, k == 2 ? 2 : 1) << "vertex " << i << " component " << k;
            }
        }
        EXPECT_EQ(r.andOut, 0u);
        EXPECT_EQ(r.orOut, 0u);
    }
}

TEST_F(TransformTest, OutsideVerticesWZeroAndEmptyBatch) {
    // One vertex far left falls back to outcodes; a w = 0 vertex gets 63
    // and window (0, 0, 0) on every form.
    const std::vector<float> v = {0, 0, 0, 1, -50, 0, 0, 1, 0, 0, 0, 0};
    std::memcpy(ctx_->xf.combined, std::vector<float>{320, 0, 0, 320, 0, 240, 0, 240, 0, 0, 1, 0, 0, 0, 0, 1}.data(), 64);
    for (N_StageFn form : {_NXformPos3Render, _NXformPos3Select, _NXformPos4}) {
        gReceived.clear();
        Run(form, v);
        const Received& r = gReceived.at(0);
        EXPECT_EQ(r.outcodes[0], 0u);
        EXPECT_EQ(r.outcodes[1], 1u);  // left of x min
        EXPECT_EQ(r.window[3], -15680);
        if (form == _NXformPos4) {
            EXPECT_EQ(r.outcodes[2], 63u);
            EXPECT_EQ(r.window[6], 0);
        }
        EXPECT_EQ(r.andOut, 0u);
        EXPECT_EQ(r.orOut, form == _NXformPos4 ? 63u : 1u);
    }
    gReceived.clear();
    Run(_NXformPos3Render, {});
    EXPECT_EQ(gReceived.at(0).andOut, 63u);
    EXPECT_EQ(gReceived.at(0).orOut, 0u);
}

TEST_F(TransformTest, RenderFormTruncatesSelectFormRounds) {
    std::memcpy(ctx_->xf.combined, std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}.data(), 64);
    const std::vector<float> v = {10.7f, -0.5f, 2.5f, 1};
    Run(_NXformPos3Render, v);
    Run(_NXformPos3Select, v);
    ASSERT_EQ(gReceived.size(), 2u);
    EXPECT_EQ(gReceived[0].window, (std::vector<LONG>{10, 0, 2}));
    EXPECT_EQ(gReceived[1].window, (std::vector<LONG>{11, 0, 2}));  // nearest, ties to even
    EXPECT_EQ(_NWindowTrunc(NAN), static_cast<LONG>(0x80000000u));
    EXPECT_EQ(_NWindowRound(3e9f), static_cast<LONG>(0x80000000u));
    EXPECT_EQ(_NWindowTrunc(-2147483520.0f), -2147483520);
}

TEST_F(TransformTest, EyePositionsAndOversizedBatch) {
    float M[16] = {2, 0, 0, 1, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2};
    std::memcpy(ctx_->xf.pipeModelView, M, sizeof M);
    N_Pipe* pipe = &ctx_->blocks[3].front;
    CommonPipeData& c = *pipe->pCommonPipeData;
    const float v[8] = {1, 2, 3, 1, 1, 1, 1, 0.5f};
    c.position = {v, 16};
    c.stripVertexCount = 2;
    pipe->next[N_STAGE_EYE] = _NEmptyStage;
    _NEyePos3(ctx_, pipe);
    EXPECT_FLOAT_EQ(c.pEyePos[0], 1.5f);  // (2 + 1) / 2
    EXPECT_FLOAT_EQ(c.pEyePos[3], 1.0f);
    _NEyePos4(ctx_, pipe);
    EXPECT_FLOAT_EQ(c.pEyePos[4], 2.5f);  // written as it comes
    EXPECT_FLOAT_EQ(c.pEyePos[7], 1.0f);
    // More vertices than a work buffer holds: refused, nothing written.
    vnx::debug::clear();
    c.stripVertexCount = N_BATCH_POINTS + 1;
    c.pEyePos[0] = -7;
    _NEyePos3(ctx_, pipe);
    EXPECT_EQ(c.pEyePos[0], -7);
    EXPECT_TRUE(Printed("PROGRAMMER ERROR"));
}

// --- math -------------------------------------------------------------------------------------
TEST(LgiMath, SqrtCosLowestBitAndVectors) {
    EXPECT_EQ(_NSqrt(4.0f), 2.0f);
    for (float x : {1e-6f, 0.3f, 1.0f, 2.0f, 123456.0f, 3e30f}) EXPECT_NEAR(_NSqrt(x), std::sqrt(x), std::sqrt(x) * 3e-7f);
    EXPECT_EQ(_NCos(0.0f), 1.0f);
    EXPECT_EQ(_NCos(1e-9f), 1.0f);
    for (float x = -20.0f; x <= 20.0f; x += 0.37f) EXPECT_NEAR(_NCos(x), std::cos(x), 4e-6f) << x;
    EXPECT_EQ(_NLowestBit(0), 0u);
    EXPECT_EQ(_NLowestBit(1), 1u);
    EXPECT_EQ(_NLowestBit(8), 4u);
    const float m[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, 0, 1};
    const float v[3] = {1, -1, 2};
    float out[3];
    _NTransformVec3T(v, out, m);
    EXPECT_EQ(out[0], 1 - 5 + 18.0f);
    EXPECT_EQ(out[2], 3 - 7 + 22.0f);
    _NTransformVec3(m, v, out);
    EXPECT_EQ(out[0], 1 - 2 + 6 + 4.0f);
    float n[3] = {3, 0, 4};
    _NVec3Normalize(n);
    EXPECT_FLOAT_EQ(n[2], 0.8f);
    float z[3] = {0, 0, 0};
    _NVec3Normalize(z);
    EXPECT_EQ(z[0], 0.0f);
    float s[16] = {};
    _NMatMulSelf3x3(m, s);
    EXPECT_EQ(s[1], 1 * 5 + 2 * 6 + 3 * 7.0f);
    EXPECT_EQ(s[3], 0.0f);  // the fourth column is left alone
}

TEST(LgiMath, FloatTextAndMatrixDump) {
    char ach[32];
    struct Case {
        float v;
        LONG digits;
        const char* text;
    };
    for (const Case& k : {Case{NAN, 8, "nan"}, Case{INFINITY, 8, "inf"}, Case{1e-40f, 8, "den"},
                          Case{-2.5f, 4, "-2.500"}, Case{3e10f, 8, "bignum"}, Case{12.25f, 5, "12.250"},
                          Case{0.5f, 3, ".500"}, Case{7.0f, 0, ""}}) {
        _NFloatToText(k.v, ach, k.digits);
        EXPECT_STREQ(ach, k.text) << k.v;
    }
    vnx::debug::clear();
    const float m[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    _NDumpMatrix("M", m, 3);
    const std::string out = vnx::debug::peek();
    EXPECT_NE(out.find("         M = |  1.00  .000  .000  .000 |\n"), std::string::npos) << out;
    EXPECT_NE(out.find(std::string(13, ' ') + "|  .000 -1.00  .000  .000 |\n"), std::string::npos) << out;
    ULONG w[37];
    std::fill(std::begin(w), std::end(w), 5u);
    _NZeroWords(w, 36);
    EXPECT_EQ(std::count(w, w + 36, 0u), 36);
    EXPECT_EQ(w[36], 5u);
}

// --- current values -------------------------------------------------------------------------
// Two inline points through the command stream: position, then the
// attribute words of the format in bit order. Answers whether the stream
// took the whole command.
bool DrawInlinePoints(ULONG format, const std::vector<float>& attrs0, const std::vector<float>& attrs1) {
    std::vector<ULONG> w = {N_PRIM_POINTS, N_VTX_POS3 | format, 2};
    for (const std::vector<float>* a : {&attrs0, &attrs1}) {
        for (float f : {10.0f, 10.0f, 0.0f, 1.0f}) w.push_back(F(f));
        for (float f : *a) w.push_back(F(f));
    }
    vnx::debug::clear();
    N_DispatchPackets(w.data(), static_cast<LONG>(w.size()));
    return vnx::debug::take().find("refused") == std::string::npos;
}

TEST_F(PipesTest, InlineVerticesLeaveTheLastOnesValuesCurrent) {
    struct Case {
        const char* what;
        ULONG ci;      // colour-index mode
        ULONG format;  // besides the position
        std::vector<float> last;
        ULONG attr;
        std::vector<float> want;
    };
    const Case cases[] = {
        {"RGB takes alpha 1", 0, N_VTX_RGB, {0.25f, 0.5f, 0.75f}, N_ATTR_COLOUR, {0.25f, 0.5f, 0.75f, 1.0f}},
        {"RGBA", 0, N_VTX_RGBA, {0.25f, 0.5f, 0.75f, 0.125f}, N_ATTR_COLOUR, {0.25f, 0.5f, 0.75f, 0.125f}},
        {"normal", 0, N_VTX_NORMAL, {0.0f, 2.0f, 3.0f}, N_ATTR_NORMAL, {0.0f, 2.0f, 3.0f}},
        {"texture after a facet plane", 0, N_VTX_FACET | N_VTX_TEXCOORD, {9, 9, 9, 9, 0.5f, 0.25f, 0.0f, 1.0f},
         N_ATTR_TEXCOORD, {0.5f, 0.25f, 0.0f, 1.0f}},
        {"front shininess after the diffuse", 0, N_VTX_FRONT_DIFFUSE | N_VTX_FRONT_SHININESS,
         {0.1f, 0.2f, 0.3f, 0.4f, 12.0f}, N_ATTR_FRONT_SHININESS, {12.0f}},
        {"back specular", 0, N_VTX_BACK_SPECULAR, {0.4f, 0.3f, 0.2f, 0.1f}, N_ATTR_BACK_SPECULAR,
         {0.4f, 0.3f, 0.2f, 0.1f}},
        {"index", 1, N_VTX_INDEX, {7.0f}, N_ATTR_INDEX, {7.0f}},
        {"back specular index after the front ones", 1, 0x7u * N_VTX_FRONT_COLOUR_INDEXES | 0x4u * N_VTX_BACK_COLOUR_INDEXES,
         {1, 2, 3, 6}, N_ATTR_BACK_SPECULAR_INDEX, {6.0f}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Set(N_ATTR_COLOUR_INDEX_MODE, k.ci);
        const std::vector<float> first(k.last.size(), 0.75f);
        ASSERT_TRUE(DrawInlinePoints(k.format, first, k.last));
        std::vector<float> got(k.want.size());
        std::memcpy(got.data(), pulAttr(ctx_, k.attr), 4 * got.size());
        EXPECT_EQ(got, k.want);
    }
}

TEST_F(PipesTest, InlineColoursGoIntoTheMaterialsColourMaterialNames) {
    struct Mode {
        ULONG mask;
        std::vector<ULONG> written;
    };
    const ULONG materials[8] = {58, 59, 60, 61, 67, 68, 69, 70};
    const float zero[4] = {0, 0, 0, 0};
    auto clear = [&](ULONG mask) {
        // Off while the materials are cleared: a material store applies
        // colour material at once.
        Set(77, 0);
        for (ULONG id : materials) N_SetStateBlockAttr(id, zero);
        Set(78, mask);
        Set(77, 1);
    };
    for (const Mode& m : {Mode{0x5, {58, 60}}, Mode{0x2, {59}}, Mode{0x6, {59, 60}}, Mode{0x8, {61}},
                          Mode{0x66, {59, 60, 68, 69}}, Mode{0xF0, {67, 68, 69, 70}}}) {
        clear(m.mask);
        ASSERT_TRUE(DrawInlinePoints(N_VTX_RGBA, {0, 0, 0, 0}, {0.25f, 0.5f, 0.75f, 0.125f}));
        for (ULONG id : materials) {
            float got[4];
            N_GetStateBlockAttr(id, got);
            const bool want = std::find(m.written.begin(), m.written.end(), id) != m.written.end();
            EXPECT_EQ(got[1], want ? 0.5f : 0.0f) << "mask " << m.mask << " material " << id;
        }
    }
    // Colour-index mode: every mask bit set, no material written.
    Set(N_ATTR_COLOUR_INDEX_MODE, 1);
    clear(0xFF);
    ASSERT_TRUE(DrawInlinePoints(N_VTX_INDEX, {1}, {2}));
    for (ULONG id : materials) {
        float got[4];
        N_GetStateBlockAttr(id, got);
        EXPECT_EQ(got[1], 0.0f) << "material " << id;
    }
}

// --- batches ------------------------------------------------------------------------------------------
class BatchTest : public PipesTest {
  protected:
    // Runs a primitive of n vertices (x = index) through the splitter with
    // the head stage recording each batch.
    void Split(ULONG code, ULONG n, ULONG format = N_VTX_POS3, const void* pvStale = nullptr) {
        xs_.resize(4 * std::size_t{n});
        for (ULONG i = 0; i < n; ++i) xs_[4 * i] = static_cast<float>(i);
        N_Pipe* pipe = &ctx_->blocks[code & 15].front;
        _NValPrimPipe(ctx_, pipe, code, format);
        CommonPipeData& c = *pipe->pCommonPipeData;
        // Sources an earlier call left behind, which this format does not name.
        if (pvStale != nullptr) c.normal = c.texCoord = c.flagWord = {pvStale, 16};
        c.position = {xs_.data(), 16};
        c.primVertexCount = n;
        pipe->next[0] = RecordSource;
        gReceived.clear();
        _NRunBatches(ctx_, pipe);
        EXPECT_EQ(c.position.p, xs_.data()) << "sources restored";
        EXPECT_EQ(c.splitting, 0u);
        EXPECT_EQ(c.format, format);
    }
    std::vector<float> xs_;
};

TEST_F(BatchTest, StripsContinueAcrossBatches) {
    struct Case {
        ULONG code, n;
        std::vector<ULONG> counts;
        std::vector<float> firstX;
    };
    const Case cases[] = {
        {64, 2500, {1020, 1020, 462}, {0, 1019, 2038}},  // line strip repeats one vertex
        {65, 1020, {1020}, {0}},                          // exactly one batch
        {65, 1021, {1020}, {0}},                          // the odd vertex is no line
        {63, 2041, {1020, 1020, 1}, {0, 1020, 2040}},
        {70, 2100, {1008, 1008, 88}, {0, 1006, 2012}},    // strips repeat two
        {67, 1010, {1008}, {0}},                          // a lone vertex after the batch draws nothing
        {67, 1011, {1008, 3}, {0, 1008}},
        {68, 2017, {1008, 1008}, {0, 1008}},
        {71, 1012, {1008, 6}, {0, 1006}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "code " << k.code << " n " << k.n);
        Split(k.code, k.n);
        ASSERT_EQ(gReceived.size(), k.counts.size());
        for (std::size_t b = 0; b < k.counts.size(); ++b) {
            EXPECT_EQ(gReceived[b].count, k.counts[b]);
            EXPECT_EQ(gReceived[b].positions.at(0), k.firstX[b]);
            EXPECT_EQ(gReceived[b].positions.back(), k.firstX[b] + k.counts[b] - 1);
        }
    }
}

TEST_F(BatchTest, FansKeepTheirCentreAndMarkInternalEdges) {
    Split(69, 2100);
    ASSERT_EQ(gReceived.size(), 3u);
    EXPECT_EQ(gReceived[0].count, 1008u);
    // Later batches: the centre, then the last vertex of the batch before.
    EXPECT_EQ(gReceived[1].positions[0], 0.0f);
    EXPECT_EQ(gReceived[1].positions[1], 1007.0f);
    EXPECT_EQ(gReceived[1].positions.back(), 2013.0f);
    EXPECT_EQ(gReceived[2].positions[1], 2013.0f);
    EXPECT_EQ(gReceived[2].positions.back(), 2099.0f);
    EXPECT_EQ(gReceived[2].count, 88u);

    // Outlined polygon: edge flags, the closing edges of batches internal.
    Set(91, 1);
    Set(92, 1);
    Split(66, 1500);
    ASSERT_EQ(gReceived.size(), 2u);
    const auto& f0 = gReceived[0].outcodes;  // the flags the batch carried
    ASSERT_EQ(f0.size(), 1008u);
    EXPECT_EQ(f0[0], 1u);
    EXPECT_EQ(f0[500], 1u);
    EXPECT_EQ(f0.back(), 2u);
    const auto& f1 = gReceived[1].outcodes;
    EXPECT_EQ(f1[0], 2u);       // the centre's edge inside the polygon
    EXPECT_EQ(f1.back(), 1u);   // the polygon's own closing edge
    EXPECT_EQ(gReceived[1].positions[1], 1007.0f);
}

// A primitive longer than a batch gathers or advances only the sources its
// format names: the normal, texture-coordinate and flag sources of an
// earlier call point into a buffer that is gone (here a page that cannot be
// read), and without facet words every batch reads the one batch of edge
// flags set-up points at.
TEST_F(BatchTest, LongPrimitivesMoveOnlyTheSourcesTheirFormatNames) {
    void* pv = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pv, MAP_FAILED);
    for (ULONG code : {N_PRIM_FAN, N_PRIM_TRI_STRIP, N_PRIM_TRIANGLES}) {
        SCOPED_TRACE(code);
        Split(code, 3000, N_VTX_POS3, pv);
        ASSERT_EQ(gReceived.size(), 3u);
        for (const Received& r : gReceived) EXPECT_EQ(r.edges, gNArena.apClip16b[1]);
    }
    munmap(pv, 4096);
}

// --- clip test --------------------------------------------------------------------------------------
int gClipCalls = 0;
void CountClip(N_Context*, N_Pipe*) { ++gClipCalls; }

// The clip test drops batches wholly outside a plane and passes the rest
// on; pieces crossing a plane are clipped later, by the strip runner.
TEST_F(PipesTest, ClipTestDropsOrPasses) {
    const float plane[4] = {1, 0, 0, 0};  // keeps x >= 0
    N_SetClipPlanes(1, plane);
    const ULONG on = 1;
    N_SetClipPlaneEnables(1, &on);
    N_Pipe* pipe = &ctx_->blocks[3].front;
    _NValPrimPipe(ctx_, pipe, 67, N_VTX_POS3);
    CommonPipeData& c = *pipe->pCommonPipeData;
    c.pDispatch->pfnClipPath = CountClip;
    pipe->next[N_STAGE_CLIP_TEST] = RecordRender;
    struct Case {
        std::vector<float> xs;
        ULONG strips;
        size_t rendered;
        int clips;
    };
    const ULONG twoStrips[2] = {2, 2};
    for (const Case& k : {Case{{1, 2, 3}, 1, 1, 0}, Case{{-1, -2, -3}, 1, 0, 0}, Case{{1, -2, 3}, 1, 1, 0},
                          Case{{1, -2, 3, 4}, 2, 1, 0}}) {
        gReceived.clear();
        gClipCalls = 0;
        for (std::size_t i = 0; i < k.xs.size(); ++i) {
            const float v[4] = {k.xs[i], 0, 0, 1};
            std::memcpy(c.pEyePos + 4 * i, v, 16);
        }
        c.stripVertexCount = static_cast<ULONG>(k.xs.size());
        c.stripCount = k.strips;
        c.pStripCounts = k.strips > 1 ? twoStrips : &c.stripVertexCount;
        float* const eye = c.pEyePos;
        _NStageClipTest(ctx_, pipe);
        EXPECT_EQ(gReceived.size(), k.rendered);
        EXPECT_EQ(gClipCalls, k.clips);
        EXPECT_EQ(c.pEyePos, eye);
    }
}

// --- no allocation while drawing ------------------------------------------------------------------
int gAllocs = 0;
void* CountingAlloc(std::size_t cb) {
    ++gAllocs;
    return LocalAlloc(LPTR, cb);
}

TEST_F(PipesTest, NothingAllocatesWhileDrawing) {
    std::vector<float> v(4 * 2500);
    for (std::size_t i = 0; i < 2500; ++i) {
        v[4 * i] = static_cast<float>(i % 7);
        v[4 * i + 3] = 1;
    }
    std::vector<N_Pipe*> pipes;
    for (ULONG code = 62; code <= 71; ++code) {
        N_Pipe* pipe = &ctx_->blocks[code & 15].front;
        _NValPrimPipe(ctx_, pipe, code, N_VTX_POS3 | N_VTX_RGBA);
        pipe->next[N_STAGE_POSITION] = RecordRender;  // the stages after it are not built yet
        pipes.push_back(pipe);
    }
    _NSetAllocFuncs(CountingAlloc, nullptr);
    gAllocs = 0;
    for (N_Pipe* pipe : pipes) {
        CommonPipeData& c = *pipe->pCommonPipeData;
        c.position = {v.data(), 16};
        c.primVertexCount = 2500;
        _NRunBatches(ctx_, pipe);
    }
    EXPECT_EQ(gAllocs, 0);
    EXPECT_GT(gReceived.size(), 20u);
}

}  // namespace
