// The fixed-function state requests through the render tables: each
// request's accepted values and what reaches the lgi layer, its GL errors
// (nothing sent on a refusal), its refusal between Begin and End, the
// current values' conversions, Enable/Disable side effects and the
// attribute stack.
#include <bit>
#include <cmath>
#include <cstring>

#include "state/caps.h"
#include "state/glstate.h"
#include "pixfmt/pixfmt.h"
#include "platform/faults.h"
#include "request_fixture.h"
#include "state/state_requests.h"
#include "pixfmt/drawable.h"
#include "texture/texture_requests.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;
using glx::Words;

using glx::F;  // a float as its bits
std::vector<std::uint8_t> Doubles(std::initializer_list<double> ds) {
    std::vector<std::uint8_t> v(ds.size() * 8);
    std::size_t i = 0;
    for (double d : ds) std::memcpy(v.data() + 8 * i++, &d, 8);
    return v;
}

class StateTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        vis_.cStencilBits = 4;
        vis_.cDepthBits = 24;
        gc_.pvis = &vis_;
        gc_.renderMode = GL_RENDER;
        gRecord.calls.clear();
    }
    void TearDown() override {
        while (gc_.pState != nullptr && gc_.pState->iDepth > 0) __glXPopAttrib(&gc_);
        RequestTest::TearDown();
    }
    ULONG Req(std::uint16_t op, const std::vector<std::uint8_t>& body, bool bBeginEnd = false) {
        return Run(bBeginEnd ? __glXRenderBeginEndTable : __glXRenderTable,
                   RenderRequest(op, static_cast<std::uint32_t>((body.size() + 3) & ~3u), body));
    }
    ULONG Req(std::uint16_t op, std::initializer_list<std::uint32_t> words) { return Req(op, Words(words)); }
    bool AnyAttrSent() const {
        for (const Call& c : gRecord.calls)
            if (c.name == "N_SetStateBlockAttr" || c.name == "N_SetStateBlockAttrWord") return true;
        return false;
    }
    ULONG* Block(ULONG flGroup) { return gc_.pState->blocks[Bit(flGroup)]; }
    ULONG Enables() { return Block(GL_ENABLE_BIT)[GLX_ENABLE_BITS]; }

    GLVisual vis_{};
};

// One row per request and value: the GL error, and on success the lgi
// attribute and the words it receives.
struct Case {
    std::uint16_t op;
    std::vector<std::uint8_t> body;
    ULONG glError;
    ULONG attr;
    std::vector<ULONG> words;
};

TEST_F(StateTest, RequestsTable) {
    const ULONG kOneF = F(1.0f), kZeroF = F(0.0f);
    const Case cases[] = {
        {128, Words({F(.1f), F(.2f), F(.3f), F(.4f)}), GL_NO_ERROR, 168, {F(.1f), F(.2f), F(.3f), F(.4f)}},
        {129, Words({F(7.5f)}), GL_NO_ERROR, 165, {F(7.5f)}},
        {130, Words({F(1), F(0), F(.5f), F(1)}), GL_NO_ERROR, 164, {kOneF, kZeroF, F(.5f), kOneF}},
        {131, Words({5}), GL_NO_ERROR, 167, {5}},
        {132, Doubles({0.25}), GL_NO_ERROR, 166, {F(.25f)}},
        {133, Words({0xFFFF}), GL_NO_ERROR, 130, {0xF}},  // 4 stencil bits
        {135, {1}, GL_NO_ERROR, 129, {0xFFFFFF}},
        {135, {0}, GL_NO_ERROR, 129, {0}},
        {79, Words({0x404}), GL_NO_ERROR, 49, {2}},
        {79, Words({0x405}), GL_NO_ERROR, 49, {1}},
        {79, Words({0x408}), GL_INVALID_ENUM, 0, {}},  // FRONT_AND_BACK refused
        {84, Words({0x900}), GL_NO_ERROR, 47, {0}},
        {84, Words({0x901}), GL_NO_ERROR, 47, {1}},
        {84, Words({0x902}), GL_INVALID_ENUM, 0, {}},
        {85, Words({0xC50, 0x1102}), GL_NO_ERROR, 0, {}},
        {85, Words({0xC54, 0x1101}), GL_NO_ERROR, 0, {}},
        {85, Words({0xC50, 0x1103}), GL_INVALID_ENUM, 0, {}},
        {85, Words({0xC55, 0x1100}), GL_INVALID_ENUM, 0, {}},
        {94, Words({0, 0xABCD}), GL_NO_ERROR, 0, {}},  // stipple off: nothing sent
        {95, Words({F(2.0f)}), GL_NO_ERROR, 86, {F(2.0f)}},
        {95, Words({F(0.0f)}), GL_INVALID_VALUE, 0, {}},
        {95, Words({F(NAN)}), GL_INVALID_VALUE, 0, {}},
        {100, Words({F(3.0f)}), GL_NO_ERROR, 85, {F(3.0f)}},
        {100, Words({F(-1.0f)}), GL_INVALID_VALUE, 0, {}},
        {101, Words({0x404, 0x1B01}), GL_NO_ERROR, 91, {1}},
        {101, Words({0x405, 0x1B00}), GL_NO_ERROR, 92, {0}},
        {101, Words({0x408, 0x1B02}), GL_NO_ERROR, 92, {2}},
        {101, Words({0x406, 0x1B02}), GL_INVALID_ENUM, 0, {}},
        {101, Words({0x404, 0x1B03}), GL_INVALID_ENUM, 0, {}},
        {104, Words({0x1D00}), GL_NO_ERROR, 89, {1}},
        {104, Words({0x1D01}), GL_NO_ERROR, 81, {2}},
        {104, Words({0x1D02}), GL_INVALID_ENUM, 0, {}},
        {103, Words({1, 2, static_cast<ULONG>(-3), 4}), GL_INVALID_VALUE, 0, {}},  // negative size refused
        {191, Words({0, 0, 0, 10}), GL_INVALID_VALUE, 0, {}},
        {191, Words({0, 0, 10, static_cast<ULONG>(-1)}), GL_INVALID_VALUE, 0, {}},
        {159, Words({0x203, F(2.0f)}), GL_NO_ERROR, 117, {3, kOneF}},
        {159, Words({0x207, F(-1.0f)}), GL_NO_ERROR, 117, {7, kZeroF}},
        {159, Words({0x208, F(0.5f)}), GL_INVALID_ENUM, 0, {}},
        {160, Words({0x308, 0x301}), GL_NO_ERROR, 121, {8, 10}},
        {160, Words({0x306, 0x300}), GL_NO_ERROR, 121, {2, 9}},
        {160, Words({0x300, 0x306}), GL_INVALID_ENUM, 0, {}},  // SRC_COLOR is no source factor
        {160, Words({0x1, 0x308}), GL_INVALID_ENUM, 0, {}},
        {161, Words({0x1500}), GL_NO_ERROR, 124, {0}},
        {161, Words({0x150F}), GL_NO_ERROR, 124, {15}},
        {161, Words({0x1510}), GL_INVALID_ENUM, 0, {}},
        {162, Words({0x202, 9, 0xFF}), GL_NO_ERROR, 114, {2, 9, 0xF}},
        {162, Words({0x202, 100, 3}), GL_NO_ERROR, 114, {2, 15, 3}},
        {162, Words({0x202, static_cast<ULONG>(-1), 3}), GL_NO_ERROR, 114, {2, 15, 3}},  // compared unsigned
        {162, Words({0x1E00, 0, 0}), GL_INVALID_ENUM, 0, {}},
        {163, Words({0x1E00, 0x1E02, 0x150A}), GL_NO_ERROR, 115, {0, 5, 3}},  // zpass before zfail
        {163, Words({0, 0x1E01, 0x1E03}), GL_NO_ERROR, 115, {1, 4, 2}},
        {163, Words({0x1E00, 0x1E00, 0x1E04}), GL_INVALID_ENUM, 0, {}},
        {164, Words({0x201}), GL_NO_ERROR, 119, {1}},
        {164, Words({0x1FF}), GL_INVALID_ENUM, 0, {}},
        {174, Doubles({-1.0, 2.0}), GL_NO_ERROR, 51, {kZeroF, kOneF}},
        {174, Doubles({0.25, 0.75}), GL_NO_ERROR, 51, {F(.25f), F(.75f)}},
        {165, Words({F(2.0f), F(-1.0f)}), GL_NO_ERROR, 146, {F(-1.0f)}},
        {80, Words({0xB62, F(-3.0f)}), GL_INVALID_VALUE, 0, {}},  // a negative density refused
        {80, Words({0xB62, F(0.0f)}), GL_NO_ERROR, 107, {F(0.0f)}},
        {80, Words({0xB65, F(2049.7f)}), GL_NO_ERROR, 106, {1}},        // EXP2, truncated
        {80, Words({0xB65, F(1.0f)}), GL_INVALID_ENUM, 0, {}},
        {80, Words({0xB66, F(1.0f)}), GL_INVALID_ENUM, 0, {}},  // colour: vectors only
        {82, Words({0xB65, 0x2601}), GL_NO_ERROR, 106, {2}},
        {82, Words({0xB63, static_cast<ULONG>(-5)}), GL_NO_ERROR, 108, {F(-5.0f)}},
        {81, Words({0xB66, F(.1f), F(.2f), F(.3f), F(.4f)}), GL_NO_ERROR, 110, {F(.1f), F(.2f), F(.3f), F(.4f)}},
        {83, Words({0xB66, 0x7FFFFFFF, 0x80000000u, 0, 0}), GL_NO_ERROR, 110,
         {kOneF, F(-1.0f), F(static_cast<float>(1.0 / 4294967295.0)), F(static_cast<float>(1.0 / 4294967295.0))}},
        {83, Words({0xB67, 0}), GL_INVALID_ENUM, 0, {}},
        {139, Words({0x0B44}), GL_NO_ERROR, 48, {1}},
        {138, Words({0x0B50}), GL_NO_ERROR, 79, {0}},
        {139, Words({0x0C62}), GL_NO_ERROR, 39, {1}},
        {139, Words({0x0B71}), GL_NO_ERROR, 118, {2}},
        {138, Words({0x0B71}), GL_NO_ERROR, 118, {1}},
        {139, Words({0x0C10}), GL_INVALID_ENUM, 0, {}},
        {139, Words({0x3006}), GL_INVALID_ENUM, 0, {}},
        {139, Words({0x4008}), GL_INVALID_ENUM, 0, {}},
        {141, {}, GL_STACK_UNDERFLOW, 0, {}},
        {142, Words({0xFFF00000u}), GL_NO_ERROR, 0, {}},  // bits of no group are ignored
    };
    for (const Case& c : cases) {
        gc_.error = GL_NO_ERROR;
        gRecord.calls.clear();
        const ULONG x = Req(c.op, c.body);
        EXPECT_EQ(gc_.error, c.glError) << "op " << c.op;
        EXPECT_EQ(x, c.glError == GL_NO_ERROR ? GLX_SUCCESS : __glXErrorToX(c.glError)) << "op " << c.op;
        if (c.glError != GL_NO_ERROR) {
            EXPECT_FALSE(AnyAttrSent()) << "op " << c.op << ": a refused request sends nothing";
        } else if (c.attr != 0) {
            EXPECT_EQ(Attr(c.attr), c.words) << "op " << c.op;
        }
        // Between Begin and End every one is refused and changes nothing.
        if (c.glError == GL_NO_ERROR) {
            gc_.error = GL_NO_ERROR;
            gRecord.calls.clear();
            EXPECT_EQ(Req(c.op, c.body, true), GLX_BAD_ACCESS) << "op " << c.op;
            EXPECT_EQ(gc_.error, GL_INVALID_OPERATION) << "op " << c.op;
            EXPECT_FALSE(AnyAttrSent()) << "op " << c.op;
        }
    }
}

TEST_F(StateTest, ShortBodiesAreBadLength) {
    for (std::uint16_t op : {79, 85, 103, 128, 132, 162, 174, 191, 81}) {
        gRecord.calls.clear();
        EXPECT_EQ(Run(__glXRenderTable, RenderRequest(op, 0)), GLX_BAD_LENGTH) << op;
        EXPECT_FALSE(AnyAttrSent()) << op;
    }
    // Fogfv with the colour needs its four values.
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(81, 8, Words({0xB66, 0}))), GLX_BAD_LENGTH);
}

TEST_F(StateTest, ServerBlocksKeepWhatQueriesAndPopsNeed) {
    Req(84, {0x900});
    EXPECT_EQ(Block(GL_POLYGON_BIT)[GLX_POLYGON_FRONT_FACE], 0x900u);
    Req(85, {0xC53, 0x1101});
    EXPECT_EQ(Block(GL_HINT_BIT)[3], 0x1101u);
    Req(103, {1, 2, 3, 4});
    EXPECT_EQ(Block(GL_SCISSOR_BIT)[GLX_SCISSOR_UNSET], 0u);
    EXPECT_EQ(Block(GL_SCISSOR_BIT)[GLX_SCISSOR_HEIGHT], 4u);
    Req(94, {1000, 0x00F0});  // factor clamped to 255, pattern doubled
    EXPECT_EQ(Block(GL_LINE_BIT)[GLX_LINE_REPEAT], 255u);
    EXPECT_EQ(Block(GL_LINE_BIT)[GLX_LINE_PATTERN], 0x00F000F0u);
    Req(94, {static_cast<ULONG>(-4), 0x1});
    EXPECT_EQ(Block(GL_LINE_BIT)[GLX_LINE_REPEAT], 1u);

    gc_.dirty = 0;
    EXPECT_EQ(Req(191, {5, 6, 640, 480}), GLX_SUCCESS);
    const ULONG* pw = Block(GL_VIEWPORT_BIT);
    EXPECT_EQ(pw[GLX_VIEWPORT_UNSET], 0u);
    EXPECT_EQ(pw[GLX_VIEWPORT_X], 5u);
    EXPECT_EQ(pw[GLX_VIEWPORT_HEIGHT], 480u);
    EXPECT_EQ(gc_.dirty & GLX_DIRTY_VIEWPORT, GLX_DIRTY_VIEWPORT);
}

TEST_F(StateTest, ViewportLimitsOnAnUnsplitBoard) {
    // Out of the single screen's range: ignored, no error (as the board does).
    for (auto v : {std::vector<ULONG>{0, 0, 2000, 10}, {static_cast<ULONG>(-1), 0, 10, 10}, {0, 0, 10, 1025}}) {
        gc_.dirty = 0;
        gc_.error = GL_NO_ERROR;
        EXPECT_EQ(Req(191, {v[0], v[1], v[2], v[3]}), GLX_SUCCESS);
        EXPECT_EQ(gc_.error, GL_NO_ERROR);
        EXPECT_EQ(gc_.dirty, 0u);
        EXPECT_EQ(Block(GL_VIEWPORT_BIT)[GLX_VIEWPORT_UNSET], 1u);
    }
    // A board split across two screens takes them.
    BoardConfig bc{};
    bc.flags = BCF_DUAL_MONITOR;
    gAnswers.board = &bc;
    EXPECT_EQ(Req(191, {0, 0, 2000, 10}), GLX_SUCCESS);
    EXPECT_EQ(Block(GL_VIEWPORT_BIT)[GLX_VIEWPORT_WIDTH], 2000u);
    gAnswers.board = nullptr;
}

TEST_F(StateTest, CurrentValueConversions) {
    const float kI0 = static_cast<float>(1.0 / 4294967295.0);
    struct CV {
        std::uint16_t op;
        std::vector<std::uint8_t> body;
        ULONG attr;
        std::vector<float> want;
    } cases[] = {
        {6, {127, 0, 0x80}, 52, {1.0f, 1.0f / 255, -1.0f, 1.0f}},
        {11, {255, 0, 51}, 52, {1.0f, 0.0f, 0.2f, 1.0f}},
        {13, {0xFF, 0xFF, 0, 0, 0, 0}, 52, {1.0f, 0.0f, 0.0f, 1.0f}},
        {17, Words({0x7FFFFFFF, 0x80000000u, 0, 0}), 52, {1.0f, -1.0f, kI0, kI0}},  // 0 is 1/(2^32-1)
        {20, Words({0xFFFFFFFFu, 0, 0, 0}), 52, {1.0f, 0.0f, 0.0f, 0.0f}},
        {15, Doubles({0.5, 0.25, 2.0, -1.0}), 52, {0.5f, 0.25f, 2.0f, -1.0f}},
        {18, {0xFF, 0x7F, 0, 0x80, 0, 0, 0, 0}, 52, {1.0f, -1.0f, 1.0f / 65535, 1.0f / 65535}},
        {26, Words({static_cast<ULONG>(-7)}), 53, {-7.0f}},
        {24, Doubles({3.5}), 53, {3.5f}},
        {28, {127, 0x80, 0}, 55, {1.0f, -1.0f, 1.0f / 255}},
        {31, Words({0, 0, 0x7FFFFFFF}), 55, {kI0, kI0, 1.0f}},
        {55, Words({3, static_cast<ULONG>(-1)}), 56, {3.0f, -1.0f, 0.0f, 1.0f}},
        {52, {0xFE, 0xFF}, 56, {-2.0f, 0.0f, 0.0f, 1.0f}},
        {61, Doubles({1, 2, 3, 4}), 56, {1.0f, 2.0f, 3.0f, 4.0f}},
        {58, Words({F(1), F(2), F(3)}), 56, {1.0f, 2.0f, 3.0f, 1.0f}},
    };
    for (const CV& c : cases) {
        gRecord.calls.clear();
        EXPECT_EQ(Req(c.op, c.body), GLX_SUCCESS) << c.op;
        const std::vector<ULONG> w = Attr(c.attr);
        ASSERT_GE(w.size(), c.want.size()) << c.op;
        for (std::size_t i = 0; i < c.want.size(); ++i)
            EXPECT_FLOAT_EQ(std::bit_cast<float>(w[i]), c.want[i]) << c.op << " component " << i;
    }
    gRecord.calls.clear();
    EXPECT_EQ(Req(22, std::vector<std::uint8_t>{1}), GLX_SUCCESS);
    EXPECT_EQ(Attr(N_ATTR_EDGE_FLAG), std::vector<ULONG>{1});
    // Each needs its whole body.
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(15, 24)), GLX_BAD_LENGTH);
}

TEST_F(StateTest, EnableSideEffects) {
    // Line stipple: the LINE block's values while on, solid lines when off.
    Req(94, {3, 0x0F0F});
    EXPECT_TRUE(Attr(N_ATTR_LINE_STIPPLE_REPEAT).empty());
    gRecord.calls.clear();
    Req(139, {0x0B24});
    EXPECT_EQ(Attr(N_ATTR_LINE_STIPPLE_REPEAT), std::vector<ULONG>{3});
    EXPECT_EQ(Attr(N_ATTR_LINE_STIPPLE), std::vector<ULONG>{0x0F0F0F0Fu});
    EXPECT_NE(Enables() & GLX_EN_LINE_STIPPLE, 0u);
    gRecord.calls.clear();
    Req(94, {4, 0x1});
    EXPECT_EQ(Attr(N_ATTR_LINE_STIPPLE_REPEAT), std::vector<ULONG>{4}) << "stipple on: sent at once";
    gRecord.calls.clear();
    Req(138, {0x0B24});
    EXPECT_EQ(Attr(N_ATTR_LINE_STIPPLE_REPEAT), std::vector<ULONG>{1});
    EXPECT_EQ(Attr(N_ATTR_LINE_STIPPLE), std::vector<ULONG>{0xFFFFFFFFu});

    // Polygon stipple: filled faces are drawn stippled.
    Req(101, {0x405, 0x1B01});  // back face as lines
    gRecord.calls.clear();
    Req(139, {0x0B42});
    EXPECT_EQ(Attr(N_ATTR_POLYGON_FRONT), std::vector<ULONG>{3});
    EXPECT_TRUE(Attr(N_ATTR_POLYGON_BACK).empty());
    gRecord.calls.clear();
    Req(101, {0x408, 0x1B02});
    EXPECT_EQ(Attr(N_ATTR_POLYGON_FRONT), std::vector<ULONG>{3});
    EXPECT_EQ(Attr(N_ATTR_POLYGON_BACK), std::vector<ULONG>{3});
    gRecord.calls.clear();
    Req(138, {0x0B42});
    EXPECT_EQ(Attr(N_ATTR_POLYGON_FRONT), std::vector<ULONG>{2});
    EXPECT_EQ(Attr(N_ATTR_POLYGON_BACK), std::vector<ULONG>{2});

    // Depth and stencil tests bind their buffers when they are not bound.
    gc_.dirty = 0;
    gc_.flBufferMask = 0x100;
    Req(139, {0x0B71});
    EXPECT_EQ(gc_.dirty & GLX_DIRTY_BUFFERS, 0u);
    Req(139, {0x0B90});
    EXPECT_EQ(gc_.dirty & GLX_DIRTY_BUFFERS, GLX_DIRTY_BUFFERS);
    EXPECT_EQ(Attr(N_ATTR_STENCIL_TEST), std::vector<ULONG>{1});

    // Scissor: the clip is worked out again only once a box was set.
    gc_.dirty = 0;
    Req(139, {0x0C11});
    EXPECT_EQ(gc_.dirty & GLX_DIRTY_CLIP, 0u);
    Req(138, {0x0C11});
    Req(103, {0, 0, 8, 8});
    Req(139, {0x0C11});
    EXPECT_EQ(gc_.dirty & GLX_DIRTY_CLIP, GLX_DIRTY_CLIP);
    gc_.dirty = 0;
    Req(103, {0, 0, 9, 9});
    EXPECT_EQ(gc_.dirty & GLX_DIRTY_CLIP, GLX_DIRTY_CLIP) << "box changed while the test is on";

    // Textures: validation (the board takes the 2D texture) and attribute
    // 147 on a change only.
    GLDrawable draw{};
    draw.pBufferSet = reinterpret_cast<GLBufferSet*>(0x7000);
    gc_.pdraw = &draw;
    gRecord.calls.clear();
    Req(139, {0x0DE1});
    EXPECT_EQ(__glXTexObjects(&gc_)->dimension, 2u);
    EXPECT_EQ(Attr(N_ATTR_TEXTURE), std::vector<ULONG>{1});
    gRecord.calls.clear();
    __glXTexObjects(&gc_)->dimension = 0;
    Req(139, {0x0DE1});
    EXPECT_EQ(__glXTexObjects(&gc_)->dimension, 0u) << "no change, no validation";
    gc_.pdraw = nullptr;

    // Clip planes and lights: the six or eight enable words on a change.
    gRecord.calls.clear();
    Req(139, {0x3004});
    auto planes = Calls("N_SetClipPlaneEnables");
    ASSERT_EQ(planes.size(), 1u);
    EXPECT_EQ(planes[0]->args, (std::vector<std::uintptr_t>{6, 0, 0, 0, 0, 1, 0}));
    Req(139, {0x3004});
    EXPECT_EQ(Calls("N_SetClipPlaneEnables").size(), 1u);
    Req(139, {0x4007});
    auto lights = Calls("N_SetLightEnables");
    ASSERT_EQ(lights.size(), 1u);
    EXPECT_EQ(lights[0]->args[0], 8u);
    EXPECT_EQ(lights[0]->args[8], 1u);

    // Maps and auto-normal: the ENABLE block only.
    gRecord.calls.clear();
    Req(139, {0x0D98});
    Req(139, {0x0DB0});
    Req(139, {0x0D80});
    EXPECT_FALSE(AnyAttrSent());
    EXPECT_EQ(Block(GL_ENABLE_BIT)[GLX_EN_MAP1 + 8], 1u);
    EXPECT_EQ(Block(GL_ENABLE_BIT)[GLX_EN_MAP2], 1u);
    EXPECT_NE(Enables() & GLX_EN_AUTO_NORMAL, 0u);
}

// Every group pushes and pops: the server's values come back, the lgi
// layer gets the saved values, and the stack shrinks to where it was.
TEST_F(StateTest, PushAndPopEveryGroup) {
    for (unsigned k = 0; k < GLX_GROUPS; ++k) {
        const ULONG fl = 1u << k;
        SCOPED_TRACE(fl);
        GLState* pBefore = gc_.pState;
        const ULONG flPresent = pBefore->flPresent;
        // The lgi layer answers 0x55 for every attribute it is asked.
        for (ULONG id = 0; id < 170; ++id) gAnswers.attrs[id] = std::vector<ULONG>(4, 0x55);
        gRecord.calls.clear();
        ASSERT_EQ(Req(142, {fl}), GLX_SUCCESS);
        ASSERT_NE(gc_.pState, pBefore);
        EXPECT_EQ(gc_.pState->iDepth, 1u);
        EXPECT_EQ(pBefore->flPushed, fl);
        EXPECT_NE(gc_.pState->blocks[Bit(GL_ENABLE_BIT)], pBefore->blocks[Bit(GL_ENABLE_BIT)]);
        if (flPresent & fl) {
            EXPECT_NE(gc_.pState->blocks[k], pBefore->blocks[k]) << "a fresh copy on top";
        } else {
            EXPECT_EQ(gc_.pState->blocks[k], nullptr);
            EXPECT_NE(pBefore->blocks[k], nullptr) << "the saved values below";
        }
        gAnswers.attrs.clear();
        gRecord.calls.clear();
        ASSERT_EQ(Req(141, {}), GLX_SUCCESS);
        EXPECT_EQ(gc_.pState, pBefore);
        EXPECT_EQ(pBefore->flPushed, 0u);
        EXPECT_EQ(pBefore->flPresent, flPresent);
        EXPECT_EQ(pBefore->blocks[k] != nullptr, (flPresent & fl) != 0) << "saved-only block freed";
    }
}

TEST_F(StateTest, PopRestoresPushedStateAndKeepsTheRest) {
    Req(84, {0x901});
    Req(94, {2, 0x00FF});
    Req(139, {0x0B44});  // cull face: POLYGON
    Req(139, {0x0B60});  // fog: FOG
    Req(139, {0x3000});  // clip plane 0: TRANSFORM
    gc_.dirty = 0;
    ASSERT_EQ(Req(142, {GL_POLYGON_BIT | GL_LIGHTING_BIT}), GLX_SUCCESS);
    EXPECT_EQ(gc_.dirty & (GLX_DIRTY_LIGHTS | GLX_DIRTY_CLIP_PLANES), GLX_DIRTY_LIGHTS);
    Req(84, {0x900});
    Req(94, {9, 0x1});   // LINE not pushed: kept
    Req(138, {0x0B44});  // pushed group's enable: restored
    Req(138, {0x0B60});  // not pushed: kept
    Req(138, {0x3000});  // not pushed: kept
    gRecord.calls.clear();
    ASSERT_EQ(Req(141, {}), GLX_SUCCESS);
    EXPECT_EQ(Block(GL_POLYGON_BIT)[GLX_POLYGON_FRONT_FACE], 0x901u);
    EXPECT_EQ(Attr(N_ATTR_FRONT_FACE), std::vector<ULONG>{1});
    EXPECT_EQ(Block(GL_LINE_BIT)[GLX_LINE_REPEAT], 9u);
    EXPECT_NE(Enables() & GLX_EN_CULL_FACE, 0u);
    EXPECT_EQ(Attr(N_ATTR_CULL), std::vector<ULONG>{1});
    EXPECT_EQ(Enables() & GLX_EN_FOG, 0u);
    EXPECT_EQ(Block(GL_ENABLE_BIT)[GLX_EN_CLIP_PLANES], 0u);

    // With ENABLE pushed every enable comes back.
    ASSERT_EQ(Req(142, {GL_ENABLE_BIT}), GLX_SUCCESS);
    Req(139, {0x0B60});
    Req(139, {0x3001});
    ASSERT_EQ(Req(141, {}), GLX_SUCCESS);
    EXPECT_EQ(Enables() & GLX_EN_FOG, 0u);
    EXPECT_EQ(Block(GL_ENABLE_BIT)[GLX_EN_CLIP_PLANES + 1], 0u);
}

// Every capability of the capability table (a run's first and last
// member) is on after Enable as IsEnabled reads it; a pop puts it back when
// its own group was pushed and keeps it when another group was.
TEST_F(StateTest, EveryCapabilityBelongsToItsGroup) {
    for (const GLXCapability& c : kGLXCapabilities) {
        for (const ULONG cap : {c.cap, c.cap + c.count - 1}) {
            SCOPED_TRACE(testing::Message() << std::hex << cap);
            auto bOn = [&] {
                const ULONG* pw = Block(GL_ENABLE_BIT);
                return c.count == 1 ? (pw[GLX_ENABLE_BITS] & c.flBit) != 0 : pw[c.iWord + cap - c.cap] != 0;
            };
            const ULONG flOther = c.flGroup == GL_CURRENT_BIT ? GL_LIST_BIT : GL_CURRENT_BIT;
            ASSERT_EQ(Req(142, {flOther}), GLX_SUCCESS);
            ASSERT_EQ(Req(139, {cap}), GLX_SUCCESS);
            EXPECT_TRUE(bOn());
            ASSERT_EQ(Req(141, {}), GLX_SUCCESS);
            EXPECT_TRUE(bOn()) << "another group's pop keeps it";
            ASSERT_EQ(Req(142, {c.flGroup}), GLX_SUCCESS);
            ASSERT_EQ(Req(138, {cap}), GLX_SUCCESS);
            EXPECT_FALSE(bOn());
            ASSERT_EQ(Req(141, {}), GLX_SUCCESS);
            EXPECT_TRUE(bOn()) << "its own group's pop restores it";
            ASSERT_EQ(Req(138, {cap}), GLX_SUCCESS);
        }
    }
}

TEST_F(StateTest, StackDepthLimits) {
    for (int i = 0; i < 16; ++i) ASSERT_EQ(Req(142, {0xFFFFFu}), GLX_SUCCESS) << i;
    gc_.error = GL_NO_ERROR;
    GLState* pTop = gc_.pState;
    EXPECT_EQ(Req(142, {GL_LINE_BIT}), __glXErrorToX(GL_STACK_OVERFLOW));
    EXPECT_EQ(gc_.error, GL_STACK_OVERFLOW);
    EXPECT_EQ(gc_.pState, pTop);
    for (int i = 0; i < 16; ++i) ASSERT_EQ(Req(141, {}), GLX_SUCCESS) << i;
    gc_.error = GL_NO_ERROR;
    EXPECT_EQ(Req(141, {}), __glXErrorToX(GL_STACK_UNDERFLOW));
    EXPECT_EQ(gc_.error, GL_STACK_UNDERFLOW);
}

// Draw and read buffers by the visual's stereo (s) and double-buffer (d)
// flags: the lgi code, or GL_INVALID_OPERATION.
TEST_F(StateTest, DrawAndReadBufferCodes) {
    constexpr ULONG kBad = ~0u;
    struct {
        ULONG mode;
        ULONG draw[4];  // (s, d) = 00, 01, 10, 11
        ULONG read[4];
    } cases[] = {
        {0x000, {0, 0, 0, 0}, {kBad, kBad, kBad, kBad}},      // NONE
        {0x400, {1, 1, 1, 1}, {1, 1, 1, 1}},                  // FRONT_LEFT
        {0x401, {kBad, kBad, 2, 2}, {kBad, kBad, 2, 2}},      // FRONT_RIGHT
        {0x402, {kBad, 4, kBad, 4}, {4, 4, 4, 4}},            // BACK_LEFT: read not checked
        {0x403, {kBad, kBad, kBad, 8}, {kBad, kBad, kBad, 8}},  // BACK_RIGHT
        {0x404, {1, 1, 3, 3}, {1, 1, 1, 1}},                  // FRONT
        {0x405, {kBad, 4, kBad, 12}, {4, 4, 4, 4}},           // BACK
        {0x406, {1, 5, 1, 5}, {1, 1, 1, 1}},                  // LEFT
        {0x407, {kBad, kBad, 2, 10}, {kBad, kBad, 2, 2}},     // RIGHT
        {0x408, {1, 5, 3, 15}, {kBad, kBad, kBad, kBad}},     // FRONT_AND_BACK
        {0x409, {16, 16, 16, 16}, {16, 16, 16, 16}},          // AUX0 (one aux buffer)
        {0x40A, {kBad, kBad, kBad, kBad}, {kBad, kBad, kBad, kBad}},  // AUX1: missing
        {0x40D, {kBad, kBad, kBad, kBad}, {kBad, kBad, kBad, kBad}},
    };
    vis_.cAuxBuffers = 1;
    for (const auto& c : cases) {
        for (int sd = 0; sd < 4; ++sd) {
            vis_.bStereo = sd >> 1;
            vis_.bDoubleBuffer = sd & 1;
            for (int r = 0; r < 2; ++r) {
                SCOPED_TRACE(testing::Message() << std::hex << c.mode << " sd " << sd << (r ? " read" : " draw"));
                const ULONG want = r ? c.read[sd] : c.draw[sd];
                gc_.error = GL_NO_ERROR;
                gRecord.calls.clear();
                Req(r ? 171 : 126, {c.mode});
                if (want == kBad) {
                    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
                    EXPECT_FALSE(AnyAttrSent());
                } else {
                    EXPECT_EQ(gc_.error, GL_NO_ERROR);
                    EXPECT_EQ(Attr(r ? 162 : 163), std::vector<ULONG>{want});
                    const ULONG* pw = Block(r ? GL_PIXEL_MODE_BIT : GL_COLOR_BUFFER_BIT);
                    EXPECT_EQ(pw[r ? GLX_PIXEL_READ_BIT : GLX_COLOR_DRAW_BITS], want);
                    EXPECT_EQ(pw[r ? GLX_PIXEL_READ_BUFFER : GLX_COLOR_DRAW_BUFFER], c.mode);
                }
            }
        }
    }
    // A changed code has the buffers bound and the clip worked out again.
    vis_.bStereo = 0;
    vis_.bDoubleBuffer = 1;
    Req(126, {0x405});
    gc_.dirty = 0;
    Req(126, {0x405});
    EXPECT_EQ(gc_.dirty, 0u);
    Req(126, {0x404});
    EXPECT_EQ(gc_.dirty, GLX_DIRTY_BUFFERS | GLX_DIRTY_CLIP);
}

TEST_F(StateTest, WriteMasksFollowTheFormat) {
    GLPixelFormat pf{};
    pf.ulRedMask = 0xF800;
    pf.ulGreenMask = 0x07E0;
    pf.ulBlueMask = 0x001F;
    vis_.pFormat = &pf;
    vis_.cAlphaBits = 8;
    Req(134, {0x01000001u});  // bytes r g b a = 1 0 0 1
    EXPECT_EQ(Attr(N_ATTR_COLOUR_MASK), std::vector<ULONG>{0xF800});  // red only
    EXPECT_EQ(Attr(N_ATTR_ALPHA_MASK), std::vector<ULONG>{0xFF});    // alpha
    const BYTE* pb = reinterpret_cast<const BYTE*>(Block(GL_COLOR_BUFFER_BIT) + GLX_COLOR_WRITE_MASK);
    EXPECT_EQ(pb[0], 1);
    EXPECT_EQ(pb[1], 0);
    EXPECT_EQ(pb[3], 1);
    Req(134, {0x00010100u});
    EXPECT_EQ(Attr(N_ATTR_COLOUR_MASK), std::vector<ULONG>{0x07E0 | 0x001F});
    EXPECT_EQ(Attr(N_ATTR_ALPHA_MASK), std::vector<ULONG>{0});
    // Index mask: cut to the index bits of an index visual, a 4-bit
    // format's moved to the upper half of the byte; none on an RGBA visual.
    vis_.bRGBA = 1;
    Req(136, {0xFF});
    EXPECT_EQ(Attr(N_ATTR_INDEX_MASK), std::vector<ULONG>{0});
    vis_.bRGBA = 0;
    vis_.cColorBits = 8;
    Req(136, {0x1F3});
    EXPECT_EQ(Attr(N_ATTR_INDEX_MASK), std::vector<ULONG>{0xF3});
    vis_.cColorBits = 4;
    Req(136, {0x3});
    EXPECT_EQ(Attr(N_ATTR_INDEX_MASK), std::vector<ULONG>{0x30});
    Req(136, {0xFF});
    EXPECT_EQ(Attr(N_ATTR_INDEX_MASK), std::vector<ULONG>{0xF0});
}

TEST_F(StateTest, ClipPlaneAndClear) {
    std::vector<std::uint8_t> body(36);
    const double eq[4] = {1, -2, 0.5, 4};
    std::memcpy(body.data(), eq, 32);
    const ULONG plane = 0x3003;
    std::memcpy(body.data() + 32, &plane, 4);
    gc_.dirty = GLX_DIRTY_CLIP_PLANES;
    ASSERT_EQ(Req(77, body), GLX_SUCCESS);
    EXPECT_EQ(Calls("__glXPushClipPlanes").size(), 1u);
    auto set = Calls("N_SetClipPlane");
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0]->args[0], 3u);
    EXPECT_EQ(set[0]->words, (std::vector<ULONG>{F(1), F(-2), F(.5f), F(4)}));
    const float* pf = reinterpret_cast<const float*>(Block(GL_TRANSFORM_BIT) + GLX_TRANSFORM_PLANES + 12);
    EXPECT_EQ(pf[1], -2.0f);
    const ULONG bad = 0x3006;
    std::memcpy(body.data() + 32, &bad, 4);
    gc_.error = 0;
    EXPECT_EQ(Req(77, body), GLX_BAD_VALUE);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);

    // Clear: the draw buffer's code, its alpha plane and the ancillary
    // buffers, cleared over the drawable's size; unknown bits refuse (an
    // invalid operation). Front and back are bound with their alpha planes;
    // drawing the back leaves the front buffer's alpha alone.
    gc_.flBufferMask = 0x00050105u;
    Block(GL_COLOR_BUFFER_BIT)[GLX_COLOR_DRAW_BITS] = 4;
    gc_.dirty = 0;
    gRecord.calls.clear();
    ASSERT_EQ(Req(127, {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT}), GLX_SUCCESS);
    auto clear = Calls("N_Clear");
    ASSERT_EQ(clear.size(), 1u);
    EXPECT_EQ(clear[0]->args[0], 4u | 0x40000u | 0x100u | 0x200u);
    EXPECT_EQ(clear[0]->args[3], 640u);
    EXPECT_EQ(clear[0]->args[4], 480u);
    // The validation binds (stencil was not bound); the buffers the clear
    // names are bound for it whatever the tests enabled.
    const auto binds = Calls("_DBindBuffers");
    ASSERT_EQ(binds.size(), 2u);
    EXPECT_EQ(binds[1]->args[1] & 0xB00u, 0xB00u);
    gc_.error = 0;
    gRecord.calls.clear();
    EXPECT_EQ(Req(127, {GL_COLOR_BUFFER_BIT | 0x1}), GLX_BAD_ACCESS);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    EXPECT_TRUE(Calls("N_Clear").empty());
    // In selection or feedback mode it does nothing, and succeeds.
    gc_.renderMode = GL_SELECT;
    EXPECT_EQ(Req(127, {GL_COLOR_BUFFER_BIT}), GLX_SUCCESS);
    gc_.renderMode = GL_FEEDBACK;
    EXPECT_EQ(Req(127, {0xFFFFFFFFu}), GLX_SUCCESS);
    EXPECT_TRUE(Calls("N_Clear").empty());
}

// The stipple unpacks with the request's own pixel-store header; whatever
// its skips say, nothing is read outside the bitmap the request carries.
TEST_F(StateTest, PolygonStippleStaysInsideItsRequest) {
    auto request = [](std::uint32_t rowLength, std::uint32_t skipRows, std::uint32_t skipPixels,
                      std::uint32_t alignment, bool bLsb, const std::vector<std::uint8_t>& bits) {
        std::vector<std::uint8_t> body(20);
        body[1] = bLsb ? 1 : 0;
        const std::uint32_t w[4] = {rowLength, skipRows, skipPixels, alignment};
        std::memcpy(body.data() + 4, w, 16);
        body.insert(body.end(), bits.begin(), bits.end());
        return body;
    };
    std::vector<std::uint8_t> bits(128);
    for (int i = 0; i < 128; ++i) bits[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(Req(102, request(0, 0, 0, 4, false, bits)), GLX_SUCCESS);
    std::vector<ULONG> want(32);
    std::memcpy(want.data(), bits.data(), 128);
    EXPECT_EQ(Attr(N_ATTR_POLYGON_STIPPLE), want);

    // One skipped row and eight skipped pixels of a 40-pixel row (5 bytes,
    // aligned to 8), least significant bit first.
    std::vector<std::uint8_t> wide(8 * 33, 0);
    for (int y = 0; y < 32; ++y) wide[8 * (y + 1) + 1] = static_cast<std::uint8_t>(0x01 << (y % 8));
    gRecord.calls.clear();
    ASSERT_EQ(Req(102, request(40, 1, 8, 8, true, wide)), GLX_SUCCESS);
    const std::vector<ULONG> got = Attr(N_ATTR_POLYGON_STIPPLE);
    ASSERT_EQ(got.size(), 32u);
    for (int y = 0; y < 32; ++y) {
        std::uint8_t row[4];
        std::memcpy(row, &got[y], 4);
        EXPECT_EQ(row[0], 0x80u >> (y % 8)) << y;
        EXPECT_EQ(row[1] | row[2] | row[3], 0) << y;
    }

    // An alignment no mode has unpacks as 1.
    gRecord.calls.clear();
    ASSERT_EQ(Req(102, request(0, 0, 0, 3, false, bits)), GLX_SUCCESS);
    EXPECT_EQ(Attr(N_ATTR_POLYGON_STIPPLE), want);

    // Skips or row lengths that reach past the bitmap.
    for (const auto& body : {request(0, 1, 0, 4, false, bits), request(0, 0, 1, 4, false, bits),
                             request(0, 0xFFFFFFFFu, 0xFFFFFFFFu, 4, false, bits),
                             request(0x7FFFFFFF, 0, 0, 8, false, bits)}) {
        gc_.error = GL_NO_ERROR;
        gRecord.calls.clear();
        EXPECT_EQ(Req(102, body), GLX_BAD_VALUE);
        EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
        EXPECT_FALSE(AnyAttrSent());
    }
}

// A push whose allocation fails at any point answers OUT_OF_MEMORY and
// leaves the stack and every level's blocks as they were (nothing leaks).
TEST_F(StateTest, PushFailingPartWayChangesNothing) {
    const ULONG flMask = GL_LINE_BIT | GL_FOG_BIT;  // LINE held, FOG kept in the lgi layer only
    GLState* pBefore = gc_.pState;
    const GLState copy = *pBefore;
    for (int step = 0; step < 4; ++step) {
        SCOPED_TRACE(step);
        vnx::faults::Scope faults;
        vnx::faults::arm("LocalAlloc", step);
        gc_.error = GL_NO_ERROR;
        EXPECT_EQ(Req(142, {flMask}), GLX_BAD_ALLOC);
        EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
        EXPECT_EQ(gc_.pState, pBefore);
        EXPECT_EQ(std::memcmp(pBefore, &copy, sizeof copy), 0);
    }
    vnx::faults::Scope faults;
    EXPECT_EQ(Req(142, {flMask}), GLX_SUCCESS);
    EXPECT_EQ(vnx::faults::calls("LocalAlloc"), 4);
    EXPECT_EQ(Req(141, {}), GLX_SUCCESS);
    EXPECT_EQ(pBefore->blocks[Bit(GL_FOG_BIT)], nullptr);
}

}  // namespace
}  // namespace glsrv_double
