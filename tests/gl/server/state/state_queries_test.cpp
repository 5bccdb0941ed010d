// State set through requests and read back as a client reads it: what the
// attribute stack restores, what the queries answer for colour material,
// the name stack, normals and the index write mask, which names IsEnabled
// takes, and what the board the server runs on changes (its name and the
// viewport limits of a board split across two screens).
#include <climits>

#include "gl/server/state/gl_client.h"

namespace {

using glsrv_client::GLClientTest;
using glx::F;

constexpr ULONG kDrawBuffer = 0x0C01, kReadBuffer = 0x0C02, kBlendSrc = 0x0BE1, kBlendDst = 0x0BE0;
constexpr ULONG kColorWritemask = 0x0C23, kLineStipplePattern = 0x0B25, kLineStippleRepeat = 0x0B26;
constexpr ULONG kShadeModel = 0x0B54, kLighting = 0x0B50, kAttribStackDepth = 0x0BB0, kViewport = 0x0BA2;
constexpr ULONG kGLFront = 0x404, kGLBack = 0x405;
constexpr ULONG kColorBufferBit = 0x4000, kLineBit = 0x4;
constexpr ULONG kStackOverflow = 0x503, kInvalidEnum = 0x500;

class StateQueryTest : public GLClientTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start()); }
};

// The draw and read buffers start at GL_BACK (0x405) on a double-buffered
// visual, and a pushed COLOR_BUFFER group gives back the draw buffer, the
// blend factors and the write mask it held, whatever was set in between.
TEST_F(StateQueryTest, ColorBufferGroupComesBackWhole) {
    EXPECT_EQ(Integers(kDrawBuffer), std::vector<std::int32_t>{static_cast<std::int32_t>(kGLBack)});
    EXPECT_EQ(Integers(kReadBuffer), std::vector<std::int32_t>{static_cast<std::int32_t>(kGLBack)});
    for (const ULONG drawn : {kGLBack, kGLFront}) {
        SCOPED_TRACE(drawn);
        Render("DrawBuffer", {drawn});
        Render(glx::Stream({glx::Render("PushAttrib", {kColorBufferBit}),
                            glx::Render("BlendFunc", {0x302, 0x303}),  // SRC_ALPHA, ONE_MINUS_SRC_ALPHA
                            glx::Render("DrawBuffer", {drawn == kGLBack ? kGLFront : kGLBack}),
                            glx::Render("ColorMask", {0x00010000u})}));  // green only
        EXPECT_EQ(Integers(kBlendSrc), std::vector<std::int32_t>{0x302});
        Render("PopAttrib");
        EXPECT_EQ(Integers(kDrawBuffer), std::vector<std::int32_t>{static_cast<std::int32_t>(drawn)});
        EXPECT_EQ(Integers(kBlendSrc), std::vector<std::int32_t>{1});  // ONE
        EXPECT_EQ(Integers(kBlendDst), std::vector<std::int32_t>{0});  // ZERO
        EXPECT_EQ(Booleans(kColorWritemask), (std::vector<std::uint8_t>{1, 1, 1, 1}));
    }
    EXPECT_EQ(Error(), 0u);
}

// The line stipple pushed comes back whether stippling is on or off (the
// lgi layer holds all ones while it is off).
TEST_F(StateQueryTest, LineGroupGivesBackThePatternPushed) {
    for (const bool bStipple : {false, true}) {
        SCOPED_TRACE(bStipple);
        Render(bStipple ? "Enable" : "Disable", {0x0B24});
        Render("LineStipple", {3, 0x0F0F});
        Render(glx::Stream({glx::Render("PushAttrib", {kLineBit}), glx::Render("LineStipple", {1, 0xAAAA})}));
        EXPECT_EQ(Integers(kLineStipplePattern), std::vector<std::int32_t>{0xAAAA});
        Render("PopAttrib");
        EXPECT_EQ(Integers(kLineStipplePattern), std::vector<std::int32_t>{0x0F0F});
        EXPECT_EQ(Integers(kLineStippleRepeat), std::vector<std::int32_t>{3});
    }
    EXPECT_EQ(Error(), 0u);
}

// MAX_ATTRIB_STACK_DEPTH (16) pushes fit and the next overflows; every bit
// set (GL_ALL_ATTRIB_BITS as applications' headers have it) pushes every
// group, so each pop gives back what was set after its push.
TEST_F(StateQueryTest, SixteenPushesOfEverything) {
    ASSERT_EQ(Integers(0x0D35), std::vector<std::int32_t>{16});
    for (int i = 0; i < 16; ++i) {
        Render("PushAttrib", {0xFFFFFFFFu});
        ASSERT_EQ(Error(), 0u) << i;
        Render(glx::Stream({glx::Render("ShadeModel", {i % 2 == 0 ? 0x1D00u : 0x1D01u}),
                            glx::Render(i % 2 == 0 ? "Enable" : "Disable", {kLighting})}));
    }
    EXPECT_EQ(Integers(kAttribStackDepth), std::vector<std::int32_t>{16});
    Render("PushAttrib", {0xFFFFFFFFu});
    EXPECT_EQ(Error(), kStackOverflow);
    EXPECT_EQ(Integers(kAttribStackDepth), std::vector<std::int32_t>{16});
    for (int i = 15; i >= 0; --i) {
        Render("PopAttrib");
        ASSERT_EQ(Error(), 0u) << i;
        // What level i held before its push: level i - 1's values.
        const bool bFlat = i > 0 && (i - 1) % 2 == 0;
        EXPECT_EQ(Integers(kShadeModel), std::vector<std::int32_t>{bFlat ? 0x1D00 : 0x1D01}) << i;
        EXPECT_EQ(Booleans(kLighting), std::vector<std::uint8_t>{static_cast<std::uint8_t>(bFlat)}) << i;
    }
    EXPECT_EQ(Integers(kAttribStackDepth), std::vector<std::int32_t>{0});
}

// Colour-material tracking reads back as set; the name stack's depth is
// answered; IsEnabled takes capabilities only.
TEST_F(StateQueryTest, ColorMaterialNameStackAndCapabilities) {
    const struct {
        ULONG face, mode;
    } cases[] = {{0x404, 0x1600}, {0x405, 0x1202}, {0x408, 0x1201}, {0x404, 0x1200}, {0x408, 0x1602}};
    for (const auto& c : cases) {
        Render("ColorMaterial", {c.face, c.mode});
        EXPECT_EQ(Integers(0x0B55), std::vector<std::int32_t>{static_cast<std::int32_t>(c.face)});
        EXPECT_EQ(Integers(0x0B56), std::vector<std::int32_t>{static_cast<std::int32_t>(c.mode)});
    }
    EXPECT_EQ(Error(), 0u);

    EXPECT_EQ(Integers(0x0D70), std::vector<std::int32_t>{0});
    Single("SelectBuffer", {64});
    Single("RenderMode", {0x1C02});  // SELECT
    ASSERT_EQ(Integers(0x0C40), std::vector<std::int32_t>{0x1C02});
    Render(glx::Stream({glx::Render("InitNames"), glx::Render("PushName", {7}), glx::Render("PushName", {8})}));
    EXPECT_EQ(Integers(0x0D70), std::vector<std::int32_t>{2});
    Render("PopName");
    EXPECT_EQ(Integers(0x0D70), std::vector<std::int32_t>{1});
    Single("RenderMode", {0x1C00});
    EXPECT_EQ(Error(), 0u);
    // Outside selection the name stack is empty and left alone, without errors.
    EXPECT_EQ(Integers(0x0D70), std::vector<std::int32_t>{0});
    Render(glx::Stream({glx::Render("PushName", {9}), glx::Render("LoadName", {3})}));
    EXPECT_EQ(Integers(0x0D70), std::vector<std::int32_t>{0});
    Render("PopName");
    EXPECT_EQ(Integers(0x0D70), std::vector<std::int32_t>{0});
    EXPECT_EQ(Error(), 0u);

    // A state variable or an unknown name is no capability.
    for (const ULONG pname : {0x0B00u, 0x0B21u, 0x0C01u, 0x1234u}) {
        const glsrv_client::Answer a = Single("IsEnabled", {pname});
        EXPECT_FALSE(a.replied && a.reply.retval != 0) << pname;
        EXPECT_EQ(Error(), kInvalidEnum) << pname;
    }
    Render("Enable", {0x0B44});  // CULL_FACE
    EXPECT_EQ(Single("IsEnabled", {0x0B44}).reply.retval, 1u);
    EXPECT_EQ(Single("IsEnabled", {0x4000}).reply.retval, 0u);  // LIGHT0
}

// Normals reach integers linearly: 1.0 the largest integer, -1.0 its
// negative, as colours do.
TEST_F(StateQueryTest, NormalsToIntegersLinearly) {
    Render("Normal3fv", {F(0.5f), F(-1.0f), F(1.0f)});
    EXPECT_EQ(Integers(0x0B02), (std::vector<std::int32_t>{0x40000000, -INT32_MAX, INT32_MAX}));
    EXPECT_EQ(Floats(0x0B02), (std::vector<float>{0.5f, -1.0f, 1.0f}));
}

// On a colour-index visual the index write mask starts with every bit set
// and reads back as IndexMask sets it: the mask as given, not cut to the
// index bits the format has (those are what the board writes under).
class IndexVisualTest : public GLClientTest {};

TEST_F(IndexVisualTest, IndexWriteMaskFollowsIndexMask) {
    ASSERT_NO_FATAL_FAILURE(Boot(vnx::miniport::MachineConfig(), 8));
    // The index formats follow the four offered at first: all twelve offered.
    Cmd(GLCMD_SETFORMATCOUNT, 0, {12});
    cFormats_ = 12;
    PIXELFORMATDESCRIPTOR pfd{};
    const ULONG iFormat = FindFormat([&](const PIXELFORMATDESCRIPTOR& p) {
        if (p.iPixelType != PFD_TYPE_COLORINDEX || p.cColorBits < 8) return false;
        pfd = p;
        return true;
    });
    ASSERT_NE(iFormat, 0u) << "an 8-bit display has an index format";
    ASSERT_NO_FATAL_FAILURE(MakeCurrent(iFormat));
    EXPECT_EQ(Booleans(0x0C30), std::vector<std::uint8_t>{1});  // INDEX_MODE
    EXPECT_EQ(Integers(0x0C21), std::vector<std::int32_t>{-1});
    Render("IndexMask", {0xF15A});
    EXPECT_EQ(Integers(0x0C21), std::vector<std::int32_t>{0xF15A});
    EXPECT_EQ(Error(), 0u);
}

// The board the server runs on: GetString(RENDERER) names it, and only a
// board split across two screens takes a viewport beyond one screen's
// limits or starting left of or below the window.
struct Board {
    const char* name;
    int rasterizers;
    int boards;
    bool bSplit;
};

class BoardTest : public GLClientTest, public ::testing::WithParamInterface<Board> {
  protected:
    void SetUp() override {
        vnx::miniport::MachineConfig cfg;
        cfg.rasterizers = GetParam().rasterizers;
        cfg.boards = GetParam().boards;
        if (GetParam().bSplit) cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
        ASSERT_NO_FATAL_FAILURE(Start(cfg));
    }
};

TEST_P(BoardTest, RendererAndViewportLimitsFollowTheBoard) {
    EXPECT_EQ(String(0x1F01), GetParam().name);
    const glsrv_client::Answer a = Single("GetString", {0x1F01});
    EXPECT_EQ(a.reply.size, std::string(GetParam().name).size() + 1);
    EXPECT_EQ(String(0x1F00), "Trelwick Inc.");

    Render("Viewport", {10, 20, 300, 200});
    EXPECT_EQ(Integers(kViewport), (std::vector<std::int32_t>{10, 20, 300, 200}));
    const struct {
        std::int32_t x, y, w, h;
    } beyond[] = {{0, 0, 2000, 10}, {0, 0, 10, 1100}, {-5, 0, 100, 100}, {0, -5, 100, 100}};
    std::vector<std::int32_t> want = {10, 20, 300, 200};
    for (const auto& v : beyond) {
        Render("Viewport", {static_cast<ULONG>(v.x), static_cast<ULONG>(v.y), static_cast<ULONG>(v.w),
                            static_cast<ULONG>(v.h)});
        if (GetParam().bSplit) want = {v.x, v.y, v.w, v.h};
        EXPECT_EQ(Integers(kViewport), want) << v.x << " " << v.y << " " << v.w << " " << v.h;
        EXPECT_EQ(Error(), 0u);
    }
}

void PrintTo(const Board& b, std::ostream* os) { *os << b.name << " x" << b.boards; }

INSTANTIATE_TEST_SUITE_P(Boards, BoardTest,
                         ::testing::Values(Board{"Vornix Solo", 1, 1, false}, Board{"Vornix Duo", 2, 1, false},
                                           Board{"Vornix Quad", 4, 1, false}, Board{"Vornix Duo", 2, 2, true}),
                         [](const ::testing::TestParamInfo<Board>& i) {
                             return std::to_string(i.param.rasterizers) + "x" + std::to_string(i.param.boards) +
                                    (i.param.bSplit ? "_split" : "");
                         });

}  // namespace
