// The programs the board model's picture tests draw with (tests/platform/
// gl_programs.h) are the generator's: kz2_ConstructKzUcode, given each
// fragment state of those tests, emits the same instruction words, the same
// pid list and the same constants.
#include <bit>
#include <string>

#include "3d/context.h"
#include "context/buffers.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "glpdev.h"
#include "kz2/kz2ucode.h"
#include "kz2/kzuemit.h"
#include "platform/gl_programs.h"

namespace {

using namespace vnx::glref;

constexpr ULONG kColourPid = 0x1234, kDepthPid = 0x4425, kStencilPid = 0x5526, kScratchPid = 0x0041;

struct Surface {
    GLDeviceRecord rec{};
    GLBuffer buf{};
    Surface(ULONG pid, ULONG bpp) {
        rec.pid = pid;
        buf.pDeviceRecord = &rec;
        buf.memoryKind = GLBUFFER_MEMORY_DEVICE;
        buf.bitsPerPixel = bpp;
        buf.hsurf = reinterpret_cast<HSURF>(1);
    }
};

class Kz2BoardProgramsTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        ULONG cjMax = 0;
        for (ULONG cj : {gGLPdevFields.cjPageConfig, gGLPdevFields.cjBoardConfig, gGLPdevFields.cjScreenSize,
                         gGLPdevFields.cjSwapState})
            cjMax = std::max(cjMax, cj);
        pdev_.assign(cjMax + 1024, 0);
        *pGLPdevField<PAGECONFIG*>(ppdev(), gGLPdevFields.cjPageConfig) = &pc_;
        plGLScreenSize(ppdev())[0] = 1024;
        plGLScreenSize(ppdev())[1] = 768;
        device_.ppdev = ppdev();
        ctx_->pHw->pDevice = &device_;
        ctx_->apScratchPixmap[0] = &scratch_.buf;
        ctx_->buffers[0].pBuffer = &colour_.buf;
        ctx_->buffers[4].pBuffer = &depth_.buf;
        ctx_->buffers[5].pBuffer = &stencil_.buf;
        Attr(163) = 1;  // front left
        ctx_->cClipRects = 1;
        ctx_->pulPackedClip[0] = 0;
        ctx_->pulPackedClip[1] = (255u << 16) | 255u;
        gkzTrace = 0;
    }
    void TearDown() override {
        ctx_->apScratchPixmap[0] = nullptr;
        for (auto& slot : ctx_->buffers) slot.pBuffer = nullptr;
        gkzTrace = 0;
        LgiTest::TearDown();
    }
    PDEV* ppdev() { return reinterpret_cast<PDEV*>(pdev_.data()); }
    ULONG& Attr(ULONG id, ULONG i = 0) { return pulAttr(ctx_, id)[i]; }

    static ULONG Factor(unsigned gl) {
        switch (gl) {
        case kZero: return KZ_BLEND_ZERO;
        case kOne: return KZ_BLEND_ONE;
        case kDstColor: return KZ_BLEND_DST_COLOR;
        case kOneMinusDstColor: return KZ_BLEND_ONE_MINUS_DST_COLOR;
        case kSrcAlpha: return KZ_BLEND_SRC_ALPHA;
        case kOneMinusSrcAlpha: return KZ_BLEND_ONE_MINUS_SRC_ALPHA;
        case kSrcColor: return KZ_BLEND_SRC_COLOR;
        default: return KZ_BLEND_ONE_MINUS_SRC_COLOR;
        }
    }
    static ULONG StencilOp(unsigned gl) {
        switch (gl) {
        case kZero: return KZ_STENCIL_ZERO;
        case kReplace: return KZ_STENCIL_REPLACE;
        case kIncr: return KZ_STENCIL_INCR;
        case kDecr: return KZ_STENCIL_DECR;
        case kInvert: return KZ_STENCIL_INVERT;
        default: return KZ_STENCIL_KEEP;
        }
    }

    // The generator's program for the state, against the tests' words.
    void Check(const std::string& name, const State& s, ULONG bpp) {
        SCOPED_TRACE(name + " at " + std::to_string(bpp) + " bits");
        colour_.buf.bitsPerPixel = bpp;
        ULONG en = 0;
        if (s.depthTest) en |= 0x10 | (s.depthWrites ? 0 : 0x800000u);
        if (s.alphaTest) en |= 0x4000;
        if (s.stencilTest) en |= 0x800;
        if (s.blend) en |= 0x2000;
        if (s.logicOp) en |= 0x40000000u;
        ctx_->enableWord = en;
        Attr(119) = s.depthFunc - kNever;
        Attr(124) = s.logic - kClear;
        Attr(121, 0) = Factor(s.srcFactor);
        Attr(121, 1) = Factor(s.dstFactor);
        Attr(117, 0) = s.alphaFunc - kNever;
        Attr(117, 1) = std::bit_cast<ULONG>(s.alphaRef);
        Attr(52, 3) = std::bit_cast<ULONG>(s.alpha);
        Attr(114, 0) = s.stencilFunc - kNever;
        Attr(114, 1) = static_cast<ULONG>(s.stencilRef);
        Attr(114, 2) = s.stencilMask;
        Attr(115, 0) = StencilOp(s.stencilFail);
        Attr(115, 1) = StencilOp(s.stencilZpass);
        Attr(115, 2) = StencilOp(s.stencilZfail);
        Attr(122) = 1;  // dithering
        ctx_->pHw->batchCount = 7;
        ASSERT_EQ(kz2_ConstructKzUcode(ctx_->pHw, &prog_, 0xC005, 0, 2, 0), 1u);
        const Program expected =
            program_for(s, static_cast<int>(bpp), ProgramPids{kColourPid, kDepthPid, kStencilPid, kScratchPid});
        EXPECT_EQ(std::vector<std::uint32_t>(prog_.instr, prog_.instr + prog_.instrCount), expected.words);
        std::vector<std::uint16_t> pids;
        for (ULONG i = 0; i < 2 * prog_.pidCount; ++i) pids.push_back(static_cast<std::uint16_t>(prog_.pids[i / 2] >> (16 * (i & 1))));
        while (pids.size() > expected.pids.size() && pids.back() == 0) pids.pop_back();
        EXPECT_EQ(pids, expected.pids);
        EXPECT_EQ(std::vector<std::uint32_t>(prog_.constants, prog_.constants + expected.constants.size()), expected.constants);
        EXPECT_EQ(prog_.constantCount, expected.constants.size());
    }

    std::vector<BYTE> pdev_;
    PAGECONFIG pc_{};
    GLSRVDEVICE device_{};
    Surface colour_{kColourPid, 32};
    Surface depth_{kDepthPid, 32};
    Surface stencil_{kStencilPid, 8};
    Surface scratch_{kScratchPid, 32};
    kzRenderProg prog_{};
};

TEST_F(Kz2BoardProgramsTest, TheBoardTestsDrawWithTheGeneratorsPrograms) {
    std::vector<std::pair<std::string, State>> states;
    states.push_back({"default", State{}});
    for (unsigned f = kNever; f <= kAlways; ++f) {
        State s;
        s.depthTest = true;
        s.depthFunc = f;
        states.push_back({"depth " + std::to_string(f - kNever), s});
        s.depthWrites = false;
        states.push_back({"depth, writes off, " + std::to_string(f - kNever), s});
        State a;
        a.alphaTest = true;
        a.alphaFunc = f;
        a.alphaRef = 0.3f;
        a.alpha = 0.5f;
        states.push_back({"alpha test " + std::to_string(f - kNever), a});
    }
    for (unsigned op = kClear; op <= kSet; ++op) {
        State s;
        s.logicOp = true;
        s.logic = op;
        states.push_back({"logic op " + std::to_string(op - kClear), s});
        s.depthTest = true;
        s.depthFunc = kLess;
        states.push_back({"logic op with depth less " + std::to_string(op - kClear), s});
    }
    const std::pair<unsigned, unsigned> pairs[] = {{kOne, kOne},
                                                   {kDstColor, kZero},
                                                   {kZero, kSrcColor},
                                                   {kOne, kOneMinusSrcColor},
                                                   {kZero, kOneMinusSrcColor},
                                                   {kOneMinusDstColor, kZero},
                                                   {kDstColor, kOne},
                                                   {kSrcAlpha, kOneMinusSrcAlpha}};
    for (const auto& [sf, df] : pairs) {
        State s;
        s.blend = true;
        s.srcFactor = sf;
        s.dstFactor = df;
        states.push_back({"blend " + std::to_string(sf) + ", " + std::to_string(df), s});
    }
    {
        State s;
        s.stencilTest = true;
        s.stencilFunc = kAlways;
        s.stencilRef = 1;
        s.stencilZpass = kReplace;
        states.push_back({"stencil replace", s});
        s.stencilFunc = kEqual;
        s.stencilZpass = kKeep;
        states.push_back({"stencil equal", s});
        State c;
        c.depthTest = true;
        c.stencilTest = true;
        c.stencilFunc = kAlways;
        c.stencilZpass = kIncr;
        c.stencilZfail = kInvert;
        states.push_back({"stencil counting with depth", c});
        c.depthFunc = kAlways;
        c.stencilFunc = kNotequal;
        c.stencilZpass = kDecr;
        c.stencilZfail = kKeep;
        states.push_back({"stencil decrement with depth", c});
        State m;
        m.stencilTest = true;
        m.stencilFunc = kLess;
        m.stencilRef = 3;
        m.stencilMask = 0x06;
        m.stencilFail = kZero;
        states.push_back({"stencil masked less, fail zero", m});
    }
    for (ULONG bpp : {32u, 16u}) {
        for (const auto& [name, s] : states) Check(name, s, bpp);
    }
}

}  // namespace
