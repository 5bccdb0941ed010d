// Render-function selection: every row of the point, line and polygon
// tables chosen by the state that names it, the generator's flags and
// requests, the refusals that leave the primitive to the software stages,
// and a failed build. The generator is a recording double with a
// configurable result and layout code.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "3d/context/arena.h"
#include "3d/pixels/pixelpath.h"
#include "3d/queue/renderfcn.h"
#include "context/buffers.h"
#include "kz2/ucode/kz2ucode.h"
#include "kz2/ucode/kzprog.h"
#include "lgi/seams.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace {

using lgi_test::F;

struct BuildCall {
    ULONG slot, flags, flags2, request, pass;
};
std::vector<BuildCall> gBuilds;
ULONG gBuildResult = 1;
LONG gLayout = -1;  // the layout code the double builds; -1: the request's

ULONG RecordBuild(N_HwRecord* phw, kzRenderProg* prog, ULONG flags, ULONG flags2, ULONG request, ULONG pass) {
    ULONG slot = ~0u;
    for (ULONG s = 0; s < N_PROGRAM_SLOTS; ++s)
        if (reinterpret_cast<ULONG*>(prog) == phw->programs[s]) slot = s;
    gBuilds.push_back({slot, flags, flags2, request, pass});
    if (gBuildResult != 0) prog->dataAttr = gLayout >= 0 ? static_cast<ULONG>(gLayout) : request;
    return gBuildResult;
}

// A selector's answer: the status it wrote and the slot of its function.
struct Choice {
    LONG status;
    N_StageFn pfn;
};

class RenderSelectTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gBuilds.clear();
        gBuildResult = 1;
        gLayout = -1;
        gpfnNBuildProgram = RecordBuild;
        // Plain state: no lighting, solid lines, the render mode.
        Set(79, 0);
        Set(87, 0xFFFFFFFF);
        ctx_->enableWord = 0;
    }
    void TearDown() override {
        gpfnNBuildProgram = kz2_ConstructKzUcode;
        LgiTest::TearDown();
    }

  public:
    void Set(ULONG id, ULONG w) { N_SetStateBlockAttrWord(id, w); }
    void SetF(ULONG id, float f) { N_SetStateBlockAttrWord(id, F(f)); }
    void SetBlend(ULONG src, ULONG dst) {
        const ULONG w[2] = {src, dst};
        N_SetStateBlockAttr(121, w);
    }

  protected:

    // Runs the selector of the code on the front (or back) pipe of its block.
    Choice Select(ULONG code, ULONG format, bool bBack = false) {
        N_PipeBlock& b = ctx_->blocks[code & 15];
        N_Pipe* pipe = bBack ? &b.back : &b.front;
        pipe->pFront = &b.front;
        pipe->pBack = &b.back;
        CommonPipeData& c = b.common;
        pipe->pCommonPipeData = &c;
        c.code = code;
        c.format = format;
        c.pDispatch = &ctx_->prim[code - N_PRIM_FIRST_DISPATCH];
        c.pDispatch->status = 0;
        pipe->mode = ctx_->enableWord;
        N_StageFn pfn = code == N_PRIM_POINTS                            ? _NValPointPipeRenderFcn(ctx_, pipe)
                        : (code == N_PRIM_LINE_STRIP || code == N_PRIM_LINES) ? _NValPLinePipeRenderFcn(ctx_, pipe)
                                                                        : _NValTriPipeRenderFcn(ctx_, pipe);
        pipe_ = pipe;
        return {c.pDispatch->status, pfn};
    }
    N_Pipe* pipe_ = nullptr;
};

// A row case: the state that names the row, the program's layout code, and
// the slot the selector must choose.
struct RowCase {
    const char* name;
    ULONG code;
    ULONG format;
    std::function<void(RenderSelectTest*, N_Context*)> state;
    LONG layout;
    ULONG slot;
};

void ExpectRows(RenderSelectTest* t, const std::vector<RowCase>& cases, std::function<Choice(ULONG, ULONG)> select,
                std::function<void()> reset) {
    for (const RowCase& rc : cases) {
        SCOPED_TRACE(rc.name);
        reset();
        if (rc.state) rc.state(t, gpNCurrent);
        gLayout = rc.layout;
        const Choice got = select(rc.code, rc.format);
        EXPECT_EQ(got.status, 2);
        EXPECT_EQ(got.pfn, _NRenderFcn(rc.slot)) << "expected " << _NRenderFcnName(rc.slot);
    }
}

constexpr ULONG kRGB = N_VTX_POS3 | N_VTX_RGB;
constexpr ULONG kPos = N_VTX_POS3;

TEST_F(RenderSelectTest, PointRowsByLayoutAndSize) {
    auto wide = [](RenderSelectTest* t, N_Context*) { t->SetF(85, 2.0f); };
    const std::vector<RowCase> cases = {
        {"wide", 63, kPos, wide, 8, N_RF_WIDE_POINT},
        {"2", 63, kPos, nullptr, 2, N_RF_POINT_2},   {"5", 63, kPos, nullptr, 5, N_RF_POINT_2},
        {"3", 63, kPos, nullptr, 3, N_RF_POINT_3},   {"6", 63, kPos, nullptr, 6, N_RF_POINT_3},
        {"8", 63, kPos, nullptr, 8, N_RF_POINT_8},   {"9", 63, kPos, nullptr, 9, N_RF_POINT_9},
        {"12", 63, kPos, nullptr, 12, N_RF_POINT_12}, {"15", 63, kPos, nullptr, 15, N_RF_POINT_12},
        {"13", 63, kPos, nullptr, 13, N_RF_POINT_13}, {"16", 63, kPos, nullptr, 16, N_RF_POINT_13},
        {"18", 63, kPos, nullptr, 18, N_RF_POINT_18}, {"19", 63, kPos, nullptr, 19, N_RF_POINT_19},
        {"other", 63, kPos, nullptr, 7, N_RF_NOOP},
    };
    ExpectRows(this, cases, [this](ULONG c, ULONG f) { return Select(c, f); }, [this] { SetF(85, 1.0f); });
}

TEST_F(RenderSelectTest, PointFlagsAndRequests) {
    struct Case {
        float size;
        ULONG format;
        ULONG flags, request;
    };
    // 1.5 is not wide; the request follows the colours the format carries.
    const Case cases[] = {{1.5f, kPos, 0x8000, 8}, {1.6f, kPos, 0x8006, 8}, {1.0f, kRGB, 0x8000, 5}};
    for (const Case& c : cases) {
        gBuilds.clear();
        SetF(85, c.size);
        const Choice got = Select(63, c.format);
        ASSERT_EQ(gBuilds.size(), 1u);
        EXPECT_EQ(gBuilds[0].flags, c.flags) << c.size;
        EXPECT_EQ(gBuilds[0].request, c.request);
        EXPECT_EQ(gBuilds[0].slot, 0u);
        EXPECT_EQ(got.pfn == _NRenderFcn(N_RF_WIDE_POINT), c.size > 1.5f);
    }
    // Alpha needed: a translucent current colour with blending.
    SetBlend(4, 5);
    ctx_->enableWord = 0x2000;
    const float colour[4] = {1, 1, 1, 0.5f};
    N_SetStateBlockAttr(52, colour);
    gBuilds.clear();
    Select(63, kPos);
    EXPECT_EQ(gBuilds.at(0).request, 9u);
    EXPECT_EQ(ctx_->pHw->pointWord, 0u);
    // An opaque colour blended into an alpha buffer (whatever the factors):
    // the blend writes the fragment's alpha into it, so the layout carries
    // the alpha, 1.
    const float opaque[4] = {1, 1, 1, 1};
    N_SetStateBlockAttr(52, opaque);
    SetBlend(1, 0);
    for (const auto& [format, request] : {std::pair{kPos, 9u}, std::pair{kRGB, 6u}}) {
        ctx_->enableWord = 0x2008;
        gBuilds.clear();
        Select(63, format);
        EXPECT_EQ(gBuilds.at(0).request, request) << format;
        // Without blending the alpha buffer takes the colour's alpha as it is.
        ctx_->enableWord = 0x8;
        gBuilds.clear();
        Select(63, format);
        EXPECT_EQ(gBuilds.at(0).request, request - 1) << format;
    }
}

TEST_F(RenderSelectTest, PointRefusalsAndSmoothPoints) {
    // Texturing, and stencil or alpha buffers in host memory: no build.
    for (ULONG en : {0x400u, 0x1800u, 0x288u}) {
        gBuilds.clear();
        ctx_->enableWord = en;
        const Choice got = Select(63, kPos);
        EXPECT_EQ(got.status, -7) << en;
        EXPECT_EQ(got.pfn, nullptr);
        EXPECT_TRUE(gBuilds.empty());
    }
    // Antialiased points build their program and go to software.
    ctx_->enableWord = 0;
    Set(94, 1);
    const Choice got = Select(63, kPos);
    EXPECT_EQ(got.status, -7);
    ASSERT_EQ(gBuilds.size(), 1u);
    EXPECT_EQ(gBuilds[0].flags, 0x8000u);
    EXPECT_EQ(gBuilds[0].request, 5u);
}

TEST_F(RenderSelectTest, LineRowsOfSeparateLines) {
    auto aa = [](RenderSelectTest*, N_Context* c) { c->enableWord |= 0x10000000; };
    auto wide = [](RenderSelectTest* t, N_Context*) { t->SetF(86, 2.0f); };
    auto alpha = [](RenderSelectTest* t, N_Context*) { t->Set(116, 1); };
    auto stipple = [](RenderSelectTest* t, N_Context*) { t->Set(87, 0x0F0F0F0F); };
    auto aaWide = [&](RenderSelectTest* t, N_Context* c) {
        aa(t, c);
        wide(t, c);
    };
    const std::vector<RowCase> cases = {
        {"aa 8", 65, kPos, aa, 8, N_RF_AA_LINE_8},
        {"aa 2", 65, kPos, aa, 2, N_RF_AA_LINE_2},
        {"aa wide", 65, kPos, aaWide, 8, N_RF_AA_LINE},
        {"alpha 9", 65, kPos, alpha, 9, N_RF_ALPHA_LINE_9},
        {"wide 2", 65, kPos, wide, 2, N_RF_WIDE_LINE_2},   {"wide 3", 65, kPos, wide, 3, N_RF_WIDE_LINE_2},
        {"wide 5", 65, kPos, wide, 5, N_RF_WIDE_LINE_5},   {"wide 6", 65, kPos, wide, 6, N_RF_WIDE_LINE_5},
        {"alpha 8", 65, kPos, alpha, 8, N_RF_WIDE_LINE_8}, {"stipple 9", 65, kPos, stipple, 9, N_RF_WIDE_LINE_8},
        {"wide 12", 65, kPos, wide, 12, N_RF_WIDE_LINE_12}, {"wide 16", 65, kPos, wide, 16, N_RF_WIDE_LINE_15},
        {"wide 19", 65, kPos, wide, 19, N_RF_WIDE_LINE_18}, {"wide 7", 65, kPos, wide, 7, N_RF_ERROR},
        {"2", 65, kPos, nullptr, 2, N_RF_LINE_2},   {"5", 65, kPos, nullptr, 5, N_RF_LINE_5},
        {"8", 65, kPos, nullptr, 8, N_RF_LINE_8},   {"12", 65, kPos, nullptr, 12, N_RF_LINE_12},
        {"15", 65, kPos, nullptr, 15, N_RF_LINE_15}, {"18", 65, kPos, nullptr, 18, N_RF_LINE_18},
        {"3", 65, kPos, nullptr, 3, N_RF_ERROR},
        // A line strip set up by the command stream is drawn segment by segment.
        {"strip 8", 64, kPos, nullptr, 8, N_RF_LINE_8},
    };
    ExpectRows(this, cases, [this](ULONG c, ULONG f) { return Select(c, f); }, [this] {
        ctx_->enableWord = 0;
        ctx_->oneShotList = 0;
        SetF(86, 1.0f);
        Set(87, 0xFFFFFFFF);
        Set(116, 0);
    });
}

TEST_F(RenderSelectTest, LineRowsOfStripLists) {
    auto list = [](RenderSelectTest*, N_Context* c) { c->oneShotList = 1; };
    auto with = [list](std::function<void(RenderSelectTest*, N_Context*)> f) {
        return [list, f](RenderSelectTest* t, N_Context* c) {
            list(t, c);
            f(t, c);
        };
    };
    auto aa = [](RenderSelectTest*, N_Context* c) { c->enableWord |= 0x10000000; };
    auto aaOneQueue = [aa](RenderSelectTest* t, N_Context* c) {
        aa(t, c);
        c->queueMode = 1;
    };
    auto aaDepth = [aa](RenderSelectTest* t, N_Context* c) {
        aa(t, c);
        c->enableWord |= 0x10;
    };
    auto alpha = [](RenderSelectTest* t, N_Context*) { t->Set(116, 1); };
    auto alphaOneQueue = [alpha](RenderSelectTest* t, N_Context* c) {
        alpha(t, c);
        c->queueMode = 1;
    };
    auto wide = [](RenderSelectTest* t, N_Context*) { t->SetF(86, 2.0f); };
    const std::vector<RowCase> cases = {
        {"wide", 64, kPos, with(wide), 2, N_RF_POLYLINE_LIST},
        {"0", 64, kPos, list, 0, N_RF_ERROR},
        {"2", 64, kPos, list, 2, N_RF_STRIP_LIST_2},   {"5", 64, kPos, list, 5, N_RF_STRIP_LIST_5},
        {"8", 64, kPos, list, 8, N_RF_STRIP_LIST_8},   {"12", 64, kPos, list, 12, N_RF_STRIP_LIST_12},
        {"15", 64, kPos, list, 15, N_RF_STRIP_LIST_15}, {"18", 64, kPos, list, 18, N_RF_STRIP_LIST_18},
        {"3", 64, kPos, list, 3, N_RF_POLYLINE_LIST},
        {"aa one queue", 64, kPos, with(aaOneQueue), 8, N_RF_AA_STRIP_ONE_QUEUE},
        {"aa queues", 64, kPos, with(aa), 8, N_RF_AA_STRIP_QUEUES},
        {"aa depth test", 64, kPos, with(aaDepth), 8, N_RF_POLYLINE_LIST},
        {"alpha one queue", 64, kPos, with(alphaOneQueue), 9, N_RF_ALPHA_STRIP_ONE_QUEUE},
        {"alpha queues", 64, kPos, with(alpha), 9, N_RF_ALPHA_STRIP_QUEUES},
        {"alpha 8", 64, kPos, with(alpha), 8, N_RF_POLYLINE_LIST},
    };
    ExpectRows(this, cases, [this](ULONG c, ULONG f) { return Select(c, f); }, [this] {
        ctx_->enableWord = 0;
        ctx_->oneShotList = 0;
        ctx_->queueMode = 0;
        SetF(86, 1.0f);
        Set(116, 0);
    });
}

TEST_F(RenderSelectTest, LineFlagsRequestsAndRefusals) {
    struct Case {
        const char* name;
        float width;
        bool aa;
        ULONG pattern, repeat;
        LONG status;
        ULONG flags, flags2;
    };
    const Case cases[] = {
        {"aa 0.5", 0.5f, true, 0xFFFFFFFF, 1, 2, 0x30003 | 0xC010, 0},
        {"aa 2.5", 2.5f, true, 0xFFFFFFFF, 1, 2, 0x30004 | 0xC010, 0},
        // Widths whose kernel the board does not antialias with (a wide
        // line's program, which reads the antialiased segment's words
        // wrongly) go to the software stages.
        {"aa 1.5", 1.5f, true, 0xFFFFFFFF, 1, -7, 0, 0},
        {"aa 4", 4.0f, true, 0xFFFFFFFF, 1, -7, 0, 0},
        {"thin", 1.0f, false, 0xFFFFFFFF, 1, 2, 0xC011, 0},
        {"wide", 1.5f, false, 0xFFFFFFFF, 1, 2, 0xC012, 0},
        {"kept stipple", 1.0f, false, 0x1C7F1C7F, 3, 2, 0xC111, 0x6000000},
        {"stipple factor 3", 1.0f, false, 0xF0F0F0F0, 3, -7, 0, 0},
        {"stipple factor 2", 1.0f, false, 0xF0F0F0F0, 2, 2, 0xC111, 0x6000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gBuilds.clear();
        SetF(86, c.width);
        ctx_->enableWord = c.aa ? 0x10000000 : 0;
        Set(87, c.pattern);
        Set(88, c.repeat);
        const Choice got = Select(65, kPos);
        EXPECT_EQ(got.status, c.status);
        if (c.status == -7) {
            EXPECT_TRUE(gBuilds.empty());
            continue;
        }
        ASSERT_EQ(gBuilds.size(), 1u);
        EXPECT_EQ(gBuilds[0].flags, c.flags);
        EXPECT_EQ(gBuilds[0].flags2, c.flags2);
    }

    // Requests: per-vertex colour with fog, the shaded choice with lighting
    // under flat lines, and alpha with a per-vertex alpha and blending.
    Set(87, 0xFFFFFFFF);
    SetF(86, 1.0f);
    ctx_->enableWord = 0;
    struct Req {
        const char* name;
        std::function<void()> state;
        ULONG format;
        ULONG request;
    };
    const Req reqs[] = {
        {"constant", [] {}, kPos, 8},
        {"fog", [this] { Set(105, 1); }, kPos, 2},
        {"smooth colours", [this] { Set(89, 2); }, kRGB, 2},
        {"flat lit", [this] { Set(79, 1); }, kPos, 5},
        {"alpha", [this] { ctx_->enableWord = 0x2000; SetBlend(4, 5); }, N_VTX_POS3 | N_VTX_RGBA, 6},
        {"alpha smooth", [this] { ctx_->enableWord = 0x2000; SetBlend(4, 5); Set(89, 2); }, N_VTX_POS3 | N_VTX_RGBA, 3},
        // Blended into an alpha buffer, an opaque colour carries its alpha too.
        {"alpha buffer", [this] { ctx_->enableWord = 0x2008; SetBlend(7, 6); }, kPos, 9},
        {"alpha buffer smooth", [this] { ctx_->enableWord = 0x2008; SetBlend(1, 0); Set(89, 2); }, kRGB, 3},
        {"alpha buffer unblended", [this] { ctx_->enableWord = 0x8; Set(89, 2); }, kRGB, 2},
    };
    for (const Req& r : reqs) {
        SCOPED_TRACE(r.name);
        Set(105, 0);
        Set(89, 1);
        Set(79, 0);
        ctx_->enableWord = 0;
        r.state();
        gBuilds.clear();
        Select(65, r.format);
        ASSERT_EQ(gBuilds.size(), 1u);
        EXPECT_EQ(gBuilds[0].request, r.request);
    }
    // A constant-colour program sets pipe word 116, but not during a
    // second-half pass.
    ctx_->enableWord = 0;
    Set(105, 0);
    gLayout = 8;
    Select(65, kPos);
    EXPECT_EQ(pipe_->constantColour, 1u);
    ctx_->secondHalf = 1;
    Select(65, kPos);
    EXPECT_EQ(pipe_->constantColour, 0u);
    ctx_->secondHalf = 0;

    // Antialiased lines in colour-index mode, textured lines, host stencil.
    for (auto state : std::vector<std::function<void()>>{
             [this] { ctx_->enableWord = 0x10000000; Set(83, 1); },
             [this] { ctx_->enableWord = 0x400; },
             [this] { ctx_->enableWord = 0x1800; }}) {
        Set(83, 0);
        state();
        gBuilds.clear();
        EXPECT_EQ(Select(65, kPos).status, -7);
        EXPECT_TRUE(gBuilds.empty());
    }
    // Select mode: the hardware status, no function, no build.
    ctx_->enableWord = 0;
    Set(83, 0);
    Set(35, 1);
    gBuilds.clear();
    const Choice sel = Select(65, kPos);
    EXPECT_EQ(sel.status, 2);
    EXPECT_EQ(sel.pfn, nullptr);
    EXPECT_TRUE(gBuilds.empty());
}

// A constant-colour line request loads its one colour into the batch's
// first colour record before the build: the current colour as converted,
// premultiplied by its alpha for an antialiased line blended by the source
// alpha; the current index in colour-index mode; per-vertex requests leave
// the record alone.
TEST_F(RenderSelectTest, LineConstantColourLoadsTheFirstColourRecord) {
    ULONG records[10] = {};
    ULONG*& pRecords = ctx_->blocks[N_PRIM_LINES & 15].common.pHwVertices;
    ULONG* const pKept = pRecords;
    pRecords = records;
    const N_ColourConversion keptConversion = ctx_->val.colour;
    ctx_->val.colour.converter = N_CONVERT_RGBA;
    ctx_->val.colour.scale[0] = 255.0f * 65536.0f;
    ctx_->val.colour.scale[1] = 255.0f * 256.0f;
    ctx_->val.colour.scale[2] = 255.0f;
    ctx_->val.colour.channelMask[0] = 0xFF0000;
    ctx_->val.colour.channelMask[1] = 0xFF00;
    ctx_->val.colour.channelMask[2] = 0xFF;
    ctx_->val.colour.channelShift[2] = 0;
    const float colour[4] = {1.0f, 0.5f, 0.25f, 0.5f};
    const float premultiplied[4] = {0.5f, 0.25f, 0.125f, 1.0f};
    const ULONG plain = _NColourToHardware(ctx_, N_CONVERT_RGBA, colour);
    const ULONG pre = _NColourToHardware(ctx_, N_CONVERT_RGBA, premultiplied);
    ASSERT_NE(plain, pre);
    const ULONG words[4] = {F(colour[0]), F(colour[1]), F(colour[2]), F(colour[3])};
    N_SetStateBlockAttr(N_ATTR_COLOUR, words);
    struct Case {
        const char* name;
        ULONG enable;
        ULONG sf;
        ULONG format;
        ULONG colourWord;
        float alpha;
    };
    const Case cases[] = {
        {"constant colour", 0, 1, kPos, plain, 0.5f},
        {"antialiased, blended by source alpha", 0x10002000, 4, kPos, pre, 1.0f},
        {"antialiased, other blend", 0x10002000, 1, kPos, plain, 0.5f},
        {"antialiased, blend off", 0x10000000, 4, kPos, plain, 0.5f},
        {"blended by source alpha, not antialiased", 0x2000, 4, kPos, plain, 0.5f},
        {"per-vertex colour: untouched", 0, 1, kRGB, 0xDEAD, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Set(89, c.format == kRGB ? 2 : 1);
        ctx_->enableWord = c.enable;
        SetBlend(c.sf, 5);
        records[0] = 0xDEAD;
        records[1] = 0;
        gBuilds.clear();
        Select(65, c.format);
        ASSERT_EQ(gBuilds.size(), 1u);
        EXPECT_EQ(records[0], c.colourWord);
        EXPECT_EQ(records[1], F(c.alpha));
    }
    // Colour-index mode: the current index through the index converter.
    Set(89, 1);
    ctx_->enableWord = 0;
    ctx_->val.colour.converter = N_CONVERT_INDEX1;
    N_SetStateBlockAttrWord(N_ATTR_INDEX, F(3.0f));
    Set(83, 1);
    records[0] = 0xDEAD;
    Select(65, kPos);
    EXPECT_EQ(records[0], 0x800000u) << "index 3 on a one-bit buffer";
    EXPECT_EQ(records[1], F(1.0f));
    Set(83, 0);
    ctx_->val.colour = keptConversion;
    pRecords = pKept;
}

// The pixel transfers' programs: the layout each data format asks for (draw
// and copy; depth data with the raster colour and its alpha), one colour a
// pixel for bitmaps, all into the standard slot
// with flags 0x8000. When the generator has no program for a draw or copy,
// a program written by hand takes its place: a read of the destination, a
// blend without a constant and the colour-buffer object each add a word and
// the pixmap they name.
TEST_F(RenderSelectTest, PixelTransferPrograms) {
    N_Pipe pipe{};
    N_PixelSpan ps{};
    pipe.pSpan = &ps;
    const ULONG requests[N_PIXFMT_COUNT] = {5, 22, 6, 5, 5, 5, 6, 5, 6, 5, 6};
    for (ULONG kind : {ULONG{N_PRIM_DRAW_PIXELS}, ULONG{N_PRIM_COPY_PIXELS}, ULONG{N_PRIM_BITMAP}}) {
        for (ULONG format = 0; format < N_PIXFMT_COUNT; ++format) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " format " << format);
            gBuilds.clear();
            _NValPixelProgram(ctx_, &pipe, kind, format);
            ASSERT_EQ(gBuilds.size(), 1u);
            EXPECT_EQ(gBuilds[0].slot, 0u);
            EXPECT_EQ(gBuilds[0].flags, 0x8000u);
            EXPECT_EQ(gBuilds[0].pass, 0u);
            EXPECT_EQ(gBuilds[0].request, kind == N_PRIM_BITMAP ? 5u : requests[format]);
            // Blended into an alpha buffer every colour carries its alpha.
            ctx_->enableWord = 0x2008;
            gBuilds.clear();
            _NValPixelProgram(ctx_, &pipe, kind, format);
            ctx_->enableWord = 0;
            ASSERT_EQ(gBuilds.size(), 1u);
            const ULONG plain = kind == N_PRIM_BITMAP ? 5u : requests[format];
            EXPECT_EQ(gBuilds[0].request, plain == 5u ? 6u : plain);
        }
    }

    // The generator refuses: the hand-written program.
    GLDeviceRecord destRec{}, objectRec{};
    destRec.pid = 0x1234;
    objectRec.pid = 0x0777;
    GLBuffer dest{}, object{};
    dest.pDeviceRecord = &destRec;
    object.pDeviceRecord = &objectRec;
    N_BoundBuffer destSlot{&dest, nullptr, 0, 0};
    ps.pDest = &destSlot;
    // Drawn into the front buffer (slot 0), whose alpha plane (slot 2) is
    // the object.
    const N_BoundBuffer keptFront = ctx_->buffers[0];
    ctx_->buffers[0] = destSlot;
    Set(N_ATTR_DRAW_BUFFER, 1);
    GLBuffer* const keptObject = ctx_->buffers[2].pBuffer;
    ctx_->buffers[2].pBuffer = &object;
    gBuildResult = 0;
    const kzRenderProg* prog = pkzProgOf(ctx_->pHw->programs[0]);
    struct Case {
        const char* name;
        ULONG mode;
        ULONG header;  // before the instruction count
        std::vector<ULONG> words;
        ULONG pids[2];
    };
    const Case cases[] = {
        {"plain", 0, 0x4000020, {}, {0, 0}},
        {"destination read", 0x10, 0x4008020, {0x30387BE1}, {0, 0x1234}},
        {"read with the object's alpha", 0x50, 0x4000020, {}, {0, 0}},
        {"blend", 0x1, 0x4002020, {0x10360348}, {0x1234, 0}},
        {"blend with a constant", 0x5, 0x4000020, {}, {0, 0}},
        {"read and blend", 0x11, 0x400A020, {0x30387BE1, 0x30360348}, {0x1234, 0x1234}},
        {"colour-buffer object", 0x88, 0x4020020, {0x1000EB9D}, {0x07770000, 0}},
        {"object on the host side", 0x288, 0x4000020, {}, {0, 0}},
        {"all three", 0x99, 0x402A020, {0x30387BE1, 0x30360348, 0x1000EB9D}, {0x07771234, 0x1234}},
    };
    for (ULONG kind : {ULONG{N_PRIM_DRAW_PIXELS}, ULONG{N_PRIM_COPY_PIXELS}}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << " kind " << kind);
            pipe.mode = c.mode;
            _NValPixelProgram(ctx_, &pipe, kind, N_PIXFMT_RGBA);
            if (c.words.empty()) {
                // Nothing to write: no program in the slot.
                EXPECT_EQ(prog->valid, 0u);
                EXPECT_EQ(prog->dataAttr, 0u);
                continue;
            }
            ASSERT_EQ(prog->valid, 1u);
            EXPECT_EQ(prog->dataAttr, 3u);
            EXPECT_EQ(prog->header, c.header | static_cast<ULONG>(c.words.size()) << 20);
            EXPECT_EQ(std::vector<ULONG>(prog->instr, prog->instr + prog->instrCount), c.words);
            EXPECT_EQ(prog->pidCount, 2u);
            EXPECT_EQ(prog->pids[0], c.pids[0]);
            EXPECT_EQ(prog->pids[1], c.pids[1]);
            // The image is the packet head the render functions copy.
            EXPECT_EQ(prog->image.w[0], prog->header);
            EXPECT_EQ(prog->image.w[2], c.pids[0]);
        }
    }
    // A bitmap has no hand-written program: a refused build leaves no
    // layout for the render function to draw by (the double, like the
    // generator, may have left one).
    pkzProgOf(ctx_->pHw->programs[0])->dataAttr = 5;
    _NValPixelProgram(ctx_, &pipe, N_PRIM_BITMAP, N_PIXFMT_RGBA);
    EXPECT_EQ(prog->valid, 0u);
    EXPECT_EQ(prog->dataAttr, 0u);
    ctx_->buffers[2].pBuffer = keptObject;
    ctx_->buffers[0] = keptFront;
}

// The colour-buffer object the hand-written pixel program writes is the
// alpha plane of the buffer drawn into: pixels drawn into the back buffer
// take the back buffer's alpha plane, not the front one's.
TEST_F(RenderSelectTest, HandPixelProgramWritesTheDrawBuffersAlphaPlane) {
    N_Pipe pipe{};
    N_PixelSpan ps{};
    pipe.pSpan = &ps;
    // Slots 0-3: the front and back colour buffers, then their alpha planes.
    const ULONG pids[4] = {0x0101, 0x0202, 0x0303, 0x0404};
    GLDeviceRecord rec[4]{};
    GLBuffer buf[4]{};
    N_BoundBuffer kept[4];
    for (ULONG i = 0; i < 4; ++i) {
        rec[i].pid = pids[i];
        buf[i].pDeviceRecord = &rec[i];
        kept[i] = ctx_->buffers[i];
        ctx_->buffers[i] = N_BoundBuffer{&buf[i], nullptr, 0, 0};
    }
    gBuildResult = 0;
    pipe.mode = 0x88;  // a board alpha buffer in use
    const kzRenderProg* prog = pkzProgOf(ctx_->pHw->programs[0]);
    struct Case {
        const char* name;
        ULONG drawBuffer;  // the GL layer's draw-buffer code
        ULONG colour;      // slot drawn into
        ULONG alphaPid;
    };
    const Case cases[] = {
        {"front", 1, 0, 0x0303},
        {"back", 4, 1, 0x0404},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Set(N_ATTR_DRAW_BUFFER, c.drawBuffer);
        ps.pDest = &ctx_->buffers[c.colour];
        _NValPixelProgram(ctx_, &pipe, N_PRIM_DRAW_PIXELS, N_PIXFMT_RGBA);
        ASSERT_EQ(prog->valid, 1u);
        EXPECT_EQ(std::vector<ULONG>(prog->instr, prog->instr + prog->instrCount), std::vector<ULONG>{0x1000EB9D});
        EXPECT_EQ(prog->pids[0], c.alphaPid << 16);
    }
    for (ULONG i = 0; i < 4; ++i) ctx_->buffers[i] = kept[i];
}

TEST_F(RenderSelectTest, PolygonRows) {
    auto point = [](RenderSelectTest*, N_Context* c) { c->enableWord |= 0x10000; };
    auto line = [](RenderSelectTest*, N_Context* c) { c->enableWord |= 0x100000; };
    auto tex = [](RenderSelectTest*, N_Context* c) { c->enableWord |= 0x400; };
    auto texOpt = [](RenderSelectTest*, N_Context* c) {
        c->enableWord |= 0x400;
        c->queueMode = 1;
    };
    const std::vector<RowCase> cases = {
        {"point polygon", 66, kPos, point, 8, N_RF_VERTEX_POINTS},
        {"point quads", 68, kPos, point, 8, N_RF_VERTEX_POINTS},
        {"point fan", 69, kPos, point, 8, N_RF_STRIP_VERTEX_POINTS},
        {"point quad strip", 71, kPos, point, 8, N_RF_STRIP_VERTEX_POINTS},
        {"line polygon", 66, kPos, line, 8, N_RF_OUTLINE_FAN},
        {"line triangles", 67, kPos, line, 8, N_RF_OUTLINE_TRIANGLES},
        {"line quads", 68, kPos, line, 8, N_RF_OUTLINE_QUADS},
        {"line fan", 69, kPos, line, 8, N_RF_OUTLINE_STRIP},
        {"line strip", 70, kPos, line, 8, N_RF_OUTLINE_STRIP},
        {"line quad strip", 71, kPos, line, 8, N_RF_OUTLINE_QUAD_STRIP},
        {"textured one pass", 67, kPos, texOpt, 8, N_RF_TRI_TEX_OPT},
        {"textured", 67, kPos, tex, 8, N_RF_TRI_TEX},
        {"12 strip", 70, kPos, nullptr, 12, N_RF_STRIP_FILL_12},
        {"12 quad strip", 71, kPos, nullptr, 12, N_RF_QSTRIP_FILL_12},
        {"12 triangles", 67, kPos, nullptr, 12, N_RF_FILL_12},
        {"12 fan", 69, kPos, nullptr, 12, N_RF_FILL_12},
        {"polygon", 66, kPos, nullptr, 8, N_RF_POLYGON_FILL},
        {"fan", 69, kPos, nullptr, 2, N_RF_POLYGON_FILL},
        {"triangles", 67, kPos, nullptr, 8, N_RF_TRIANGLE_FILL},
        {"quads", 68, kPos, nullptr, 8, N_RF_QUAD_FILL},
        {"strip 13", 70, kPos, nullptr, 13, N_RF_STRIP_FILL_DEPTH},
        {"strip 15", 70, kPos, nullptr, 15, N_RF_STRIP_FILL_DEPTH},
        {"quad strip 15", 71, kPos, nullptr, 15, N_RF_QSTRIP_FILL_DEPTH},
        {"quad strip 8", 71, kPos, nullptr, 8, N_RF_QSTRIP_FILL},
        {"textured quad strip one pass", 71, kPos, texOpt, 8, N_RF_QSTRIP_TRI_TEX_OPT},
        {"textured quad strip", 71, kPos, tex, 8, N_RF_QSTRIP_TRI_TEX},
        {"strip 18", 70, kPos, nullptr, 18, N_RF_STRIP_FILL_DEPTH},
        {"strip 8", 70, kPos, nullptr, 8, N_RF_STRIP_FILL},
    };
    ExpectRows(this, cases, [this](ULONG c, ULONG f) { return Select(c, f); }, [this] {
        ctx_->enableWord = 0;
        ctx_->queueMode = 0;
    });
}

TEST_F(RenderSelectTest, PolygonRequestsSlotsAndPasses) {
    struct Case {
        const char* name;
        std::function<void()> state;
        ULONG code, format;
        bool back;
        std::vector<BuildCall> builds;
    };
    const ULONG kColours = N_VTX_POS3 | N_VTX_RGB;
    const ULONG kRGBA = N_VTX_POS3 | N_VTX_RGBA;
    const Case cases[] = {
        // Shade model flat (1) with colours per vertex: request 5; polygons
        // and formats without colours take one colour (8); smooth: 2.
        {"flat colours", [] {}, 67, kColours, false, {{0, 0xC005, 0, 5, 0}}},
        {"flat polygon", [] {}, 66, kColours, false, {{0, 0xC005, 0, 8, 0}}},
        {"smooth", [this] { Set(81, 2); }, 67, kColours, false, {{0, 0xC005, 0, 2, 0}}},
        // Blended into an alpha buffer (whatever the factors) the layout
        // carries the alpha of colours that have none of their own.
        {"alpha buffer smooth", [this] { ctx_->enableWord = 0x2008; Set(81, 2); }, 67, kColours, false,
         {{0, 0xC005, 0, 3, 0}}},
        {"alpha buffer flat polygon", [this] { ctx_->enableWord = 0x2008; }, 66, N_VTX_POS3, false,
         {{0, 0xC005, 0, 9, 0}}},
        {"alpha buffer unblended", [this] { ctx_->enableWord = 0x8; Set(81, 2); }, 67, kColours, false,
         {{0, 0xC005, 0, 2, 0}}},
        // With alpha (here RGBA colours under the alpha test) each request
        // carries it: flat colours per vertex 6, one colour for the batch 9,
        // smooth 3.
        {"flat colours alpha", [this] { Set(N_ATTR_ALPHA_TEST, 1); }, 67, kRGBA, false, {{0, 0xC005, 0, 6, 0}}},
        {"flat polygon alpha", [this] { Set(N_ATTR_ALPHA_TEST, 1); }, 66, kRGBA, false, {{0, 0xC005, 0, 9, 0}}},
        {"flat no colours alpha", [this] { Set(N_ATTR_ALPHA_TEST, 1); }, 70, N_VTX_POS3, false,
         {{0, 0xC005, 0, 9, 0}}},
        {"smooth alpha", [this] { Set(N_ATTR_ALPHA_TEST, 1); Set(81, 2); }, 67, kRGBA, false, {{0, 0xC005, 0, 3, 0}}},
        // The back pipe builds into the back slot, with the back shading
        // under two-sided lighting.
        {"back two-sided", [this] { Set(46, 1); Set(82, 2); }, 67, kColours, true, {{1, 0xC005, 0, 2, 0}}},
        {"back one-sided", [this] { Set(82, 2); }, 67, kColours, true, {{1, 0xC005, 0, 5, 0}}},
        // Polygon mode point: 0.9 stays at 0x8000, 1.6 widens and turns 2 into 6.
        {"point 0.9", [this] { ctx_->enableWord = 0x10000; SetF(85, 0.9f); Set(81, 2); }, 67, kColours, false,
         {{0, 0x8000, 0, 2, 0}}},
        {"point 1.6", [this] { ctx_->enableWord = 0x10000; SetF(85, 1.6f); Set(81, 2); }, 67, kColours, false,
         {{0, 0x8006, 0, 6, 0}}},
        // Outlines are line requests: the line flag 0x10 with every one.
        {"outline thin", [this] { ctx_->enableWord = 0x100000; }, 67, kColours, false, {{0, 0xC011, 0, 5, 0}}},
        {"outline wide", [this] { ctx_->enableWord = 0x100000; SetF(86, 2.0f); }, 67, kColours, false,
         {{0, 0xC012, 0, 5, 0}}},
        {"outline aa", [this] { ctx_->enableWord = 0x10100000; }, 67, kColours, false, {{0, 0x3C013, 0, 5, 0}}},
        // Textures: both filters 0 or both 1 take one pass of the standard
        // slot; otherwise the textured slot, then the standard slot's pass.
        {"tex nearest", [this] { ctx_->enableWord = 0x400; }, 67, kColours, false, {{0, 0xC005, 0, 5, 1}}},
        {"tex linear", [this] { ctx_->enableWord = 0x400; ctx_->texFilters[0] = ctx_->texFilters[1] = 1; }, 67,
         kColours, false, {{0, 0xC005, 0, 5, 2}}},
        {"tex mipmap", [this] { ctx_->enableWord = 0x400; ctx_->texFilters[0] = 3; ctx_->texFilters[1] = 1; }, 67,
         kColours, false, {{2, 0xC005, 0, 5, 2}, {0, 0xC005, 0, 5, 3}}},
        {"tex mipmap back", [this] { ctx_->enableWord = 0x400; ctx_->texFilters[0] = 5; }, 67, kColours, true,
         {{3, 0xC005, 0, 5, 1}, {0, 0xC005, 0, 5, 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctx_->enableWord = 0;
        ctx_->texFilters[0] = ctx_->texFilters[1] = 0;
        Set(46, 0);
        Set(N_ATTR_ALPHA_TEST, 0);
        Set(81, 1);
        Set(82, 1);
        SetF(85, 1.0f);
        SetF(86, 1.0f);
        c.state();
        gBuilds.clear();
        const Choice got = Select(c.code, c.format, c.back);
        EXPECT_EQ(got.status, 2);
        ASSERT_EQ(gBuilds.size(), c.builds.size());
        for (std::size_t i = 0; i < c.builds.size(); ++i) {
            EXPECT_EQ(gBuilds[i].slot, c.builds[i].slot) << i;
            EXPECT_EQ(gBuilds[i].flags, c.builds[i].flags) << i;
            EXPECT_EQ(gBuilds[i].request, c.builds[i].request) << i;
            EXPECT_EQ(gBuilds[i].pass, c.builds[i].pass) << i;
        }
    }
}

TEST_F(RenderSelectTest, PolygonRefusalsToSoftware) {
    struct Case {
        const char* name;
        std::function<void()> state;
        ULONG format;
        size_t builds;
    };
    const Case cases[] = {
        {"textured points", [this] { ctx_->enableWord = 0x10400; }, kPos, 0},
        {"textured blended alpha", [this] { ctx_->enableWord = 0x2400; }, N_VTX_POS3 | N_VTX_RGBA, 0},
        {"host stencil", [this] { ctx_->enableWord = 0x1800; }, kPos, 0},
        {"host alpha", [this] { ctx_->enableWord = 0x288; }, kPos, 0},
        {"six-level test texture", [this] { ctx_->enableWord = 0x400; ctx_->texFilters[0] = 2; ctx_->texLevelMarks = 63; },
         kPos, 0},
        // The board's texture tiles repeat: a clamped texture draws in software.
        {"2D texture clamped in t", [this] { ctx_->enableWord = 0x400; ctx_->boundTex.target = 1; Set(N_ATTR_WRAP_T1, 1); },
         kPos, 0},
        {"1D texture clamped", [this] { ctx_->enableWord = 0x400; ctx_->boundTex.target = 0; Set(N_ATTR_WRAP_S, 1); },
         kPos, 0},
        // Stippled outlines and smooth colour-index polygons build, then refuse.
        {"stippled outline", [this] { ctx_->enableWord = 0x4100000; }, kPos, 1},
        {"smooth index", [this] { Set(96, 1); Set(83, 1); }, kPos, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctx_->enableWord = 0;
        ctx_->texLevelMarks = 0;
        Set(96, 0);
        Set(83, 0);
        Set(N_ATTR_WRAP_S, 0);
        Set(N_ATTR_WRAP_S1, 0);
        Set(N_ATTR_WRAP_T1, 0);
        c.state();
        gBuilds.clear();
        const Choice got = Select(67, c.format);
        EXPECT_EQ(got.status, -7);
        EXPECT_EQ(got.pfn, nullptr);
        EXPECT_EQ(gBuilds.size(), c.builds);
    }
}

TEST_F(RenderSelectTest, FailedBuildsGoToSoftware) {
    gBuildResult = 0;
    for (ULONG code : {63u, 65u, 67u, 70u}) {
        const Choice got = Select(code, kPos);
        EXPECT_EQ(got.status, -7) << code;
        EXPECT_EQ(got.pfn, nullptr);
    }
    // A layout code no table knows is no hardware path either.
    gBuildResult = 1;
    gLayout = 40;
    EXPECT_EQ(Select(67, kPos).status, -7);
}

// The real generator builds nothing without a colour buffer to draw into:
// every selector then takes the software path, silently.
TEST_F(RenderSelectTest, WithoutADrawBufferEverySelectorFallsBackToSoftware) {
    gpfnNBuildProgram = kz2_ConstructKzUcode;
    for (ULONG code : {63u, 64u, 65u, 66u, 67u, 68u, 69u, 70u, 71u}) {
        const Choice got = Select(code, kPos);
        EXPECT_EQ(got.status, -7) << code;
        EXPECT_EQ(got.pfn, nullptr);
    }
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(RenderSelectTest, TableEntriesWithoutFunctions) {
    // The line tables' error entry reports the programmer error; a slot
    // whose render path is not built says so; the no-op draws nothing.
    _NRenderFcn(N_RF_ERROR)(ctx_, nullptr);
    EXPECT_TRUE(Printed("_NValPLinePipeRenderFcn: PROGRAMMER ERROR!\n"));
    EXPECT_TRUE(Printed("PROGRAMMER ERROR\n"));
    _NRenderFcn(N_SPAN_FOG_INDEX)(ctx_, nullptr);
    EXPECT_TRUE(Printed("_NSpanFogCI: not available yet\n"));
    vnx::debug::clear();
    // The empty point function draws nothing and still hands on.
    static ULONG s_cNext;
    s_cNext = 0;
    N_Pipe pipe{};
    pipe.next[N_STAGE_RENDER] = [](N_Context*, N_Pipe*) { ++s_cNext; };
    _NRenderFcn(N_RF_NOOP)(ctx_, &pipe);
    EXPECT_EQ(vnx::debug::peek(), "");
    EXPECT_EQ(s_cNext, 1u);
    EXPECT_EQ(_NRenderFcn(N_RF_NONE), nullptr);
    EXPECT_EQ(_NRenderFcn(N_RF_STRIP_FILL_12), _NvpRenderXTStripListFillAttr12KZ);
}

}  // namespace

namespace {

class SoftwareStagesTest : public lgi_test::LgiTest {
  protected:
    N_Pipe* Pipe(ULONG code, ULONG format, ULONG mode) {
        N_PipeBlock& b = ctx_->blocks[code & 15];
        b.front.pCommonPipeData = &b.common;
        b.common.format = format;
        b.front.mode = mode;
        b.front.colourCopy = 0;
        return &b.front;
    }
    static N_StageFn Stage(ULONG k) { return gNArena.pStageTable[k]; }
};

TEST_F(SoftwareStagesTest, RasterStagesOfPointsAndLines) {
    struct Case {
        const char* name;
        ULONG code, mode, format, ci, slot;
    };
    const Case cases[] = {
        {"point", 63, 0, 0, 0, N_SW_POINT},
        {"smooth point index", 63, 0x8000000, 0, 1, N_SW_POINT_AA_INDEX},
        {"smooth point rgba", 63, 0x8000000, 0, 0, N_SW_POINT_AA_RGBA},
        {"textured line", 64, 0x400, 0, 0, N_SW_LINE_ATTR},
        {"blended line", 64, 0x80, 0, 0, N_SW_LINE_ATTR},
        {"coloured line", 64, 0, N_VTX_RGB, 0, N_SW_LINE_ATTR},
        {"antialiased line", 64, 0x10000000, 0, 0, N_SW_LINE_ATTR},
        {"line with depth values", 64, 0x10, 0, 0, N_SW_LINE_DEPTH_STEPPED},
        {"polygon-point bit alone", 64, 0x10000, 0, 0, N_SW_LINE},
        {"line", 64, 0, 0, 0, N_SW_LINE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        N_SetStateBlockAttrWord(83, c.ci);
        EXPECT_EQ(_NSwRasterStage(ctx_, Pipe(c.code, c.format, c.mode), c.code), _NRenderFcn(c.slot));
    }
    // Separate lines: the pair stage, feeding the choice kept in the context.
    N_SetStateBlockAttrWord(83, 0);
    EXPECT_EQ(_NSwRasterStage(ctx_, Pipe(65, 0, 0x10), 65), _NRenderFcn(N_SW_LINE_PAIRS));
    EXPECT_EQ(ctx_->pfnLineStage, _NRenderFcn(N_SW_LINE_DEPTH_STEPPED));
    // Other codes are a programmer error with a stage that does nothing.
    EXPECT_EQ(_NSwRasterStage(ctx_, Pipe(67, 0, 0), 67), _NEmptyStage);
    EXPECT_TRUE(Printed("PROGRAMMER ERROR"));
}

TEST_F(SoftwareStagesTest, PolygonAndSpanStages) {
    struct Case {
        const char* name;
        ULONG code, mode, vertexForm, slot63;
    };
    const Case cases[] = {
        {"outline per vertex", 67, 0x100000, 1, N_SW_PGON_LINE_VERTEX},
        {"outline per primitive", 70, 0x200000, 0, N_SW_PGON_LINE_PRIM},
        {"strip", 70, 0, 0, N_SW_PGON_STRIP},     {"quad strip", 71, 0, 0, N_SW_PGON_STRIP},
        {"triangles", 67, 0, 0, N_SW_PGON_TRIANGLES}, {"quads", 68, 0, 0, N_SW_PGON_QUADS},
        {"polygon", 66, 0, 0, N_SW_PGON_FAN},     {"fan", 69, 0, 0, N_SW_PGON_FAN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        N_Pipe* pipe = Pipe(c.code, N_VTX_POS3 | (c.code == 68 ? N_VTX_RGBA : 0), c.mode);
        pipe->colourCopy = c.vertexForm;
        _NValPgonSwStages(ctx_, pipe, c.code);
        EXPECT_EQ(Stage(63), _NRenderFcn(c.slot63));
        EXPECT_EQ(Stage(65), _NRenderFcn(N_SW_PGON_SPANS));
        EXPECT_EQ(Stage(86), _NRenderFcn(N_SPAN_POLY_STIPPLE));
        EXPECT_EQ(Stage(79), _NRenderFcn(c.code == 68 ? N_SPAN_COLOUR_SMOOTH : N_SPAN_COLOUR_FLAT));
    }
    _NValPgonSwStages(ctx_, Pipe(65, 0, 0), 65);
    EXPECT_EQ(Stage(86), _NRenderFcn(N_SPAN_LINE_STIPPLE));
    _NValPgonSwStages(ctx_, Pipe(57, 0, 0x100), 57);
    EXPECT_EQ(Stage(70), _NRenderFcn(N_SPAN_PIXEL));
}

TEST_F(SoftwareStagesTest, FragmentStagesByTheirCodes) {
    for (ULONG code = 0; code < 8; ++code) {
        const ULONG alpha[2] = {code, 0};
        N_SetStateBlockAttr(117, alpha);
        N_SetStateBlockAttrWord(119, 7 - code);
        _NValPixelOps(ctx_, nullptr);
        EXPECT_EQ(Stage(87), _NRenderFcn(N_SPAN_ALPHA_TEST + code));
        EXPECT_EQ(Stage(90), _NRenderFcn(N_SPAN_DEPTH_TEST + 7 - code));
    }
    // Logic operations only while on; the copy otherwise.
    N_SetStateBlockAttrWord(124, 18);
    _NValPixelOps(ctx_, nullptr);
    EXPECT_EQ(Stage(95), _NRenderFcn(N_SPAN_LOGIC_OP + 3));
    N_SetStateBlockAttrWord(123, 1);
    _NValPixelOps(ctx_, nullptr);
    EXPECT_EQ(Stage(95), _NRenderFcn(N_SPAN_LOGIC_OP + 18));
    EXPECT_EQ(Stage(94), _NRenderFcn(N_SPAN_DITHER_PACK));
    EXPECT_EQ(Stage(18), _NRenderFcn(N_SPAN_FOG_RGBA));
    N_SetStateBlockAttrWord(83, 1);
    _NValPixelOps(ctx_, nullptr);
    EXPECT_EQ(Stage(18), _NRenderFcn(N_SPAN_FOG_INDEX));

    // Codes out of their families are reported and take the first entry.
    vnx::debug::clear();
    const ULONG alpha[2] = {9, 0};
    N_SetStateBlockAttr(117, alpha);
    N_SetStateBlockAttrWord(119, 8);
    N_SetStateBlockAttrWord(124, 19);
    _NValPixelOps(ctx_, nullptr);
    EXPECT_EQ(vnx::debug::take(),
              "alpha test mode 0x9 is not supported\ndepth test mode 0x8 is not supported\n"
              "alu function 0x13 is not supported\n");
    EXPECT_EQ(Stage(87), _NRenderFcn(N_SPAN_ALPHA_TEST));
    EXPECT_EQ(Stage(90), _NRenderFcn(N_SPAN_DEPTH_TEST));
    EXPECT_EQ(Stage(95), _NRenderFcn(N_SPAN_LOGIC_OP));

    // A dispatch record gives the vertex stage and the facing test.
    N_PrimDispatch& pd = ctx_->prim[N_PRIM_TRIANGLES - N_PRIM_FIRST_DISPATCH];
    _NValPixelOps(ctx_, &pd);
    EXPECT_EQ(Stage(11), pd.pfnFacingTest);
}

}  // namespace
