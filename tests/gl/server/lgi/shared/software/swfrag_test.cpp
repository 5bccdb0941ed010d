// The span stages after the rasteriser, fed with spans of fragments and
// checked per fragment against GL's results computed here: alpha and depth
// functions, stencil functions and operations with value and write masks,
// the stipples and the wide-line replay, blend factor pairs, the pack with
// dither at 8 and 16 bits, logic and arithmetic operations, and the
// destination read-back of host buffers.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "3d/pipes/pipes.h"
#include "3d/validate/validate.h"
#include "lgi/lgigl.h"
#include "lgi/shared/software/swfrag.h"
#include "lgi/shared/software/swspan.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace {

using lgi_test::F;

// One span as the stage after the chain saw it.
struct Seen {
    std::vector<float> r, g, b, a;
    std::vector<BYTE> mask, stencil;
    std::vector<ULONG> packed;
    std::vector<LONG> x, y;
    ULONG stipplePattern, stippleCount;
};
std::vector<Seen> gSeen;

void Capture(N_Context*, N_Pipe* pipe) {
    const N_FragSpan& sp = pipe->pCommonPipeData->span;
    const auto n = static_cast<std::size_t>(std::max<LONG>(sp.count, 0));
    Seen s;
    s.r.assign(sp.pRed, sp.pRed + n);
    s.g.assign(sp.pGreen, sp.pGreen + n);
    s.b.assign(sp.pBlue, sp.pBlue + n);
    s.a.assign(sp.pAlpha, sp.pAlpha + n);
    s.mask.assign(sp.pMask, sp.pMask + n);
    s.stencil.assign(sp.pNewStencil, sp.pNewStencil + n);
    s.packed.assign(sp.pPacked, sp.pPacked + n);
    s.x.assign(sp.pX, sp.pX + n);
    s.y.assign(sp.pY, sp.pY + n);
    s.stipplePattern = sp.stipplePattern;
    s.stippleCount = sp.stippleCount;
    gSeen.push_back(std::move(s));
}

// GL's comparison of code c (never ... always).
template <class T>
bool Holds(ULONG c, T a, T b) {
    switch (c) {
    case 0: return false;
    case 1: return a < b;
    case 2: return a == b;
    case 3: return a <= b;
    case 4: return a > b;
    case 5: return a != b;
    case 6: return a >= b;
    default: return true;
    }
}

// GL's stencil operation (keep, zero, replace, incr, decr, invert) on an
// 8-bit buffer, written through the write mask.
BYTE GlStencil(ULONG op, BYTE stored, BYTE ref, BYTE w) {
    ULONG v = stored;
    switch (op) {
    case 1: v = 0; break;
    case 2: v = ref; break;
    case 3: v = stored == 255 ? 255 : stored + 1; break;
    case 4: v = stored == 0 ? 0 : stored - 1; break;
    case 5: v = static_cast<BYTE>(~stored); break;
    default: break;
    }
    return static_cast<BYTE>((v & w) | (stored & ~w));
}

class SwFragTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gSeen.clear();
        pipe_ = &ctx_->blocks[0].front;
        c_ = pipe_->pCommonPipeData;
        sp_ = &c_->span;
        pipe_->mode = N_MODE_FRAGMENTS;
    }
    // A run of n live fragments from (x, y).
    void Run(LONG x, LONG y, LONG n) {
        sp_->count = n;
        sp_->pX[0] = x;
        sp_->pY[0] = y;
        std::memset(sp_->pMask, N_FRAG_LIVE, static_cast<std::size_t>(n));
    }
    // Links the stages (stage number, function) in order, the capture last,
    // and runs the first.
    void Chain(std::initializer_list<std::pair<ULONG, N_StageFn>> stages) {
        const auto* s = stages.begin();
        for (std::size_t i = 0; i < stages.size(); ++i)
            pipe_->next[s[i].first] = i + 1 < stages.size() ? s[i + 1].second : Capture;
        s[0].second(ctx_, pipe_);
    }
    N_Pipe* pipe_ = nullptr;
    CommonPipeData* c_ = nullptr;
    N_FragSpan* sp_ = nullptr;
};

// --- tests -------------------------------------------------------------------------------------
TEST_F(SwFragTest, AlphaTestsKeepTheFragmentsGLKeeps) {
    const N_StageFn fns[8] = {_NSpanAlphaTestNever, _NSpanAlphaTestLess, _NSpanAlphaTestEqual,
                              _NSpanAlphaTestLequal, _NSpanAlphaTestGreater, _NSpanAlphaTestNotequal,
                              _NSpanAlphaTestGequal, _NSpanAlphaTestAlways};
    const float alphas[] = {0.0f, 0.25f, 0.49f, 0.5f, 0.51f, 1.0f, 0.5f};
    constexpr LONG n = 7;
    const ULONG aw[2] = {1, F(0.5f)};
    std::memcpy(pulAttr(ctx_, N_ATTR_ALPHA_FUNC), aw, sizeof aw);
    for (ULONG code = 0; code < 8; ++code) {
        gSeen.clear();
        Run(0, 0, n);
        std::copy(alphas, alphas + n, sp_->pAlpha);
        sp_->pMask[6] = N_FRAG_KILLED;  // killed before: stays killed
        Chain({{N_STAGE_ALPHA_TEST, fns[code]}});
        ASSERT_EQ(gSeen.size(), 1u);
        for (LONG i = 0; i < n; ++i) {
            const bool bKeep = i != 6 && Holds(code, alphas[i], 0.5f);
            EXPECT_EQ(gSeen[0].mask[i], bKeep ? N_FRAG_LIVE : N_FRAG_KILLED) << "code " << code << " alpha " << alphas[i];
        }
    }
}

TEST_F(SwFragTest, DepthTestsClearBitsZeroAndTwoOfFailingFragments) {
    const N_StageFn fns[8] = {_NSpanDepthTestNever, _NSpanDepthTestLess, _NSpanDepthTestEqual,
                              _NSpanDepthTestLequal, _NSpanDepthTestGreater, _NSpanDepthTestNotequal,
                              _NSpanDepthTestGequal, _NSpanDepthTestAlways};
    const ULONG z[] = {99, 100, 101, 99, 100, 101, 99, 0xFFFFFFu};
    const BYTE m[] = {15, 15, 15, 1, 1, 1, 0, 15};
    constexpr LONG n = 8;
    for (ULONG code = 0; code < 8; ++code) {
        gSeen.clear();
        Run(0, 0, n);
        for (LONG i = 0; i < n; ++i) {
            sp_->pDepth[i] = z[i];
            sp_->pDstDepth[i] = 100;
            sp_->pMask[i] = m[i];
        }
        Chain({{N_STAGE_DEPTH_TEST, fns[code]}});
        ASSERT_EQ(gSeen.size(), 1u);
        for (LONG i = 0; i < n; ++i) {
            const BYTE want = Holds(code, z[i], ULONG{100}) ? m[i] : static_cast<BYTE>(m[i] & 0xFA);
            EXPECT_EQ(gSeen[0].mask[i], want) << "code " << code << " z " << z[i];
        }
    }
    // A stencil-passed fragment failing the depth test is 10, a live one 0.
    EXPECT_EQ(BYTE{15 & 0xFA}, N_FRAG_DEPTH_FAILED);
}

// Every stencil function with value masks, every fail and pass operation
// pair with write masks: the stencil test then the operations give GL's
// stored values; fragments killed before take the fail operation's value
// but are not written (the write stage skips mask 0).
TEST_F(SwFragTest, StencilFunctionsAndOperationsMatchGL) {
    const BYTE stored[] = {0x00, 0x0F, 0x3C, 0x80, 0x8F, 0xF0, 0xFF, 0x10};
    constexpr LONG n = 8;
    ctx_->enableWord |= N_MODE_STENCIL;
    for (ULONG func = 0; func < 8; ++func)
        for (const ULONG valueMask : {0xFFu, 0x0Fu, 0xF0u})
            for (ULONG failOp = 0; failOp < 6; ++failOp)
                for (ULONG passOp = 0; passOp < 6; ++passOp)
                    for (const ULONG w : {0xFFu, 0x0Fu, 0x81u}) {
                        const BYTE ref = 0x8F;
                        const ULONG f[3] = {func, ref, valueMask};
                        std::memcpy(pulAttr(ctx_, N_ATTR_STENCIL_FUNC), f, sizeof f);
                        const ULONG ops[3] = {failOp, passOp, 4};  // fail, depth pass, depth fail
                        std::memcpy(pulAttr(ctx_, N_ATTR_STENCIL_OP), ops, sizeof ops);
                        *pulAttr(ctx_, N_ATTR_STENCIL_MASK) = w;
                        _NValStencilOps(ctx_);
                        gSeen.clear();
                        Run(0, 0, n);
                        std::copy(stored, stored + n, sp_->pDstStencil);
                        Chain({{N_STAGE_STENCIL_TEST, _NSpanStencilTest}, {N_STAGE_STENCIL_UPDATE, _NSpanStencilUpdate}});
                        ASSERT_EQ(gSeen.size(), 1u);
                        for (LONG i = 0; i < n; ++i) {
                            const bool bPass = Holds(func, ULONG{ref} & valueMask, ULONG{stored[i]} & valueMask);
                            const BYTE want = GlStencil(bPass ? passOp : failOp, stored[i], ref, static_cast<BYTE>(w));
                            ASSERT_EQ(gSeen[0].mask[i], bPass ? N_FRAG_PASSED : N_FRAG_STENCIL_FAILED);
                            ASSERT_EQ(gSeen[0].stencil[i], want)
                                << "func " << func << " vm " << valueMask << " ops " << failOp << "/" << passOp << " w "
                                << w << " stored " << int{stored[i]};
                        }
                    }
}

// The depth-fail operation reaches fragments the depth test failed (mask
// 10); a fragment killed before the stencil test takes the fail operation.
TEST_F(SwFragTest, StencilDepthFailAndKilledFragmentsTakeTheirOperations) {
    ctx_->enableWord |= N_MODE_STENCIL;
    const ULONG f[3] = {7, 5, 0xFF};  // always
    std::memcpy(pulAttr(ctx_, N_ATTR_STENCIL_FUNC), f, sizeof f);
    const ULONG ops[3] = {1, 2, 5};  // fail zero, depth pass replace, depth fail invert
    std::memcpy(pulAttr(ctx_, N_ATTR_STENCIL_OP), ops, sizeof ops);
    *pulAttr(ctx_, N_ATTR_STENCIL_MASK) = 0xFF;
    _NValStencilOps(ctx_);
    Run(0, 0, 3);
    const ULONG z[3] = {50, 150, 50};
    for (LONG i = 0; i < 3; ++i) {
        sp_->pDepth[i] = z[i];
        sp_->pDstDepth[i] = 100;
        sp_->pDstStencil[i] = 0x0F;
    }
    sp_->pMask[2] = N_FRAG_KILLED;
    sp_->pNewStencil[2] = 0x33;
    Chain({{N_STAGE_STENCIL_TEST, _NSpanStencilTest},
           {N_STAGE_DEPTH_TEST, _NSpanDepthTestLess},
           {N_STAGE_STENCIL_UPDATE, _NSpanStencilUpdate}});
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].mask[0], N_FRAG_PASSED);
    EXPECT_EQ(gSeen[0].stencil[0], 5) << "depth pass: replace";
    EXPECT_EQ(gSeen[0].mask[1], N_FRAG_DEPTH_FAILED);
    EXPECT_EQ(gSeen[0].stencil[1], 0xF0) << "depth fail: invert";
    EXPECT_EQ(gSeen[0].mask[2], N_FRAG_KILLED);
    EXPECT_EQ(gSeen[0].stencil[2], 0x00) << "killed: the fail slot";
}

TEST_F(SwFragTest, StencilOperationEdgeValues) {
    // Increment clamps at the top, decrement at 0, invert flips the masked bits.
    EXPECT_EQ(gaNStencilOp[3](0, 255, 0xFF), 255);
    EXPECT_EQ(gaNStencilOp[4](0, 0, 0xFF), 0);
    EXPECT_EQ(gaNStencilOp[5](0, 0x0F, 0xFF), 0xF0);
    // Bits outside the write mask keep the stored value, replace included.
    EXPECT_EQ(gaNStencilOp[2](0xAA, 0x55, 0x0F), 0x5A);
    EXPECT_EQ(gaNStencilOp[1](0, 0xFF, 0x0F), 0xF0);
    EXPECT_EQ(gaNStencilOp[3](0, 0x1F, 0x0F), 0x10);
    EXPECT_EQ(gaNStencilOp[5](0, 0x0F, 0x3C), 0x33);
}

// The polygon stipple as GL aligns it: the pattern's row is the fragment's
// window y and its column the window x, both modulo 32, from the window's
// bottom left corner, whatever the window's place on the screen; the span
// holds board positions, rows counted down from the screen's top.
TEST_F(SwFragTest, PolygonStippleIsAlignedToTheWindowsBottomLeftCorner) {
    static ULONG pixels[4];
    GLBuffer colour{};
    lgi_test::BindHostBuffer(colour, pixels, GLBUFFER_BACK_LEFT, 32, 200, 70);
    ctx_->val.cDrawBuffers = 1;
    ctx_->val.drawSlots[0] = 1;
    ULONG* pattern = pulAttr(ctx_, N_ATTR_POLYGON_STIPPLE);
    struct Case {
        LONG x, y;    // the window's top left corner on the board
        LONG row;     // a board row
        ULONG glRow;  // its window y modulo 32: the row of the pattern
        LONG column;  // the board column of window x 8
    } const cases[] = {
        {0, 0, 69, 0, 8},        // the bottom row, at the screen's corner
        {0, 0, 37, 0, 8},        // window y 32: row 0 again
        {100, 40, 109, 0, 108},  // bottom row 109; x 100 is not a multiple of 32
        {100, 40, 98, 11, 108},
        {7, 3, 3, 5, 15},      // the window's top row, window y 69
    };
    for (const Case& c : cases) {
        colour.x = c.x;
        colour.y = c.y;
        const ULONG glRow = static_cast<ULONG>(c.y + 69 - c.row) & 31u;
        ASSERT_EQ(glRow, c.glRow) << "the case's own arithmetic";
        // Every row all ones but the fragment's row: only byte 1's bit 7
        // (window column 8, and 40) set there.
        for (ULONG r = 0; r < 32; ++r) pattern[r] = r == glRow ? 0x80u << 8 : 0xFFFFFFFFu;
        gSeen.clear();
        Run(c.column - 8, c.row, 64);
        sp_->pMask[40] = N_FRAG_STENCIL_FAILED;
        Chain({{N_STAGE_SPAN_FILL, _NSpanPolygonStipple}});
        ASSERT_EQ(gSeen.size(), 1u);
        for (LONG i = 0; i < 64; ++i) {
            // A fragment killed before stays as it was.
            const BYTE want = (i == 8) ? N_FRAG_LIVE : (i == 40 ? N_FRAG_STENCIL_FAILED : N_FRAG_KILLED);
            EXPECT_EQ(gSeen[0].mask[i], want) << "window at " << c.x << ", " << c.y << ", board row " << c.row
                                              << ", fragment " << i;
        }
    }
    // An all-ones pattern keeps every fragment.
    for (ULONG r = 0; r < 32; ++r) pattern[r] = 0xFFFFFFFFu;
    gSeen.clear();
    Run(3, 37, 40);
    Chain({{N_STAGE_SPAN_FILL, _NSpanPolygonStipple}});
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_TRUE(std::all_of(gSeen[0].mask.begin(), gSeen[0].mask.end(), [](BYTE m) { return m == N_FRAG_LIVE; }));
}

TEST_F(SwFragTest, LineStippleContinuesAcrossSpansAndTakesThreesWhenAntialiased) {
    *pulAttr(ctx_, N_ATTR_LINE_STIPPLE) = 0x00F3;
    *pulAttr(ctx_, N_ATTR_LINE_STIPPLE_REPEAT) = 2;
    sp_->stippleReset = 1;
    Run(0, 0, 0);
    Chain({{N_STAGE_STIPPLE_RESET, _NLineStippleReset}});  // reloads
    auto bit = [](ULONG k) { return (0x00F3u >> ((k / 2) % 16)) & 1u; };
    ULONG k = 0;
    for (LONG part : {7, 30}) {
        gSeen.clear();
        Run(0, 0, part);
        Chain({{N_STAGE_SPAN_FILL, _NSpanLineStipple}});
        for (LONG i = 0; i < part; ++i, ++k) EXPECT_EQ(gSeen[0].mask[i], bit(k)) << "fragment " << k;
    }
    // Antialiased: one pattern bit a group of three.
    pipe_->mode |= 0x10000000;
    sp_->stippleReset = 1;
    Run(0, 0, 0);
    Chain({{N_STAGE_STIPPLE_RESET, _NLineStippleReset}});
    gSeen.clear();
    Run(0, 0, 13);
    Chain({{N_STAGE_SPAN_FILL, _NSpanLineStipple}});
    for (LONG i = 0; i < 13; ++i) EXPECT_EQ(gSeen[0].mask[i], bit(static_cast<ULONG>(i / 3))) << i;
    // The reset word 0 only arms the reset.
    sp_->stippleReset = 0;
    sp_->stippleCount = 1;
    Chain({{N_STAGE_STIPPLE_RESET, _NLineStippleReset}});
    EXPECT_EQ(sp_->stippleReset, 1u);
    EXPECT_EQ(gSeen.back().stippleCount, 1u);
}

// A wide line replays the span once a pixel of width across the line, each
// pass from the same colours and masks.
TEST_F(SwFragTest, WideLineReplaysTheSpanAcrossTheLine) {
    *pulAttr(ctx_, N_ATTR_LINE_WIDTH) = F(3.7f);
    N_SpanLine line{};
    line.majorAxis = 0;  // x-major: y moves
    c_->pCurPrim = &line;
    Run(0, 0, 4);
    for (LONG i = 0; i < 4; ++i) {
        sp_->pX[i] = 10 + i;
        sp_->pY[i] = 20;
        sp_->pRed[i] = 100.0f + static_cast<float>(i);
    }
    // A later stage that changes colours and kills a fragment.
    static N_StageFn sCapture = Capture;
    pipe_->next[N_STAGE_WIDE_LINE] = [](N_Context* pctx, N_Pipe* pipe) {
        sCapture(pctx, pipe);
        N_FragSpan& sp = pipe->pCommonPipeData->span;
        sp.pRed[0] = 0.0f;
        sp.pMask[1] = 0;
    };
    _NSpanWideLine(ctx_, pipe_);
    ASSERT_EQ(gSeen.size(), 3u);
    const LONG rows[3] = {21, 20, 19};
    for (std::size_t p = 0; p < 3; ++p)
        for (LONG i = 0; i < 4; ++i) {
            EXPECT_EQ(gSeen[p].y[i], rows[p]) << p;
            EXPECT_EQ(gSeen[p].x[i], 10 + i);
            EXPECT_EQ(gSeen[p].r[i], 100.0f + static_cast<float>(i)) << "pass " << p;
            EXPECT_EQ(gSeen[p].mask[i], 1) << "pass " << p;
        }
    // Narrower than 2: one pass.
    gSeen.clear();
    *pulAttr(ctx_, N_ATTR_LINE_WIDTH) = F(1.9f);
    _NSpanWideLine(ctx_, pipe_);
    EXPECT_EQ(gSeen.size(), 1u);
}

// Even widths: the two pixels whose centres lie nearest the segment; where
// it passes through a centre, the smaller side when the minor coordinate
// grows along the segment, the larger when it falls; a horizontal segment
// the pixel below, a vertical one the pixel left of it.
TEST_F(SwFragTest, WideLineOfEvenWidthTakesTheNearestPixels) {
    struct Case {
        const char* what;
        ULONG majorAxis;
        float dx, dy;
        LONG along[5], across[5];  // the walk's pixels
        LONG first[5], second[5];  // across the line, pass by pass
    };
    const Case cases[] = {
        {"(10, 20) -> (18, 22)", 0, 8, 2, {10, 11, 12, 13, 14}, {20, 20, 21, 21, 21},
         {20, 21, 21, 21, 21}, {19, 20, 20, 20, 20}},
        {"(18, 22) -> (10, 20)", 0, -8, -2, {18, 17, 16, 15, 14}, {22, 22, 22, 21, 21},
         {23, 22, 22, 22, 22}, {22, 21, 21, 21, 21}},
        {"horizontal", 0, -5, 0, {9, 8, 7, 6, 5}, {4, 4, 4, 4, 4}, {5, 5, 5, 5, 5}, {4, 4, 4, 4, 4}},
        {"vertical", 1, 0, 5, {3, 4, 5, 6, 7}, {9, 9, 9, 9, 9}, {9, 9, 9, 9, 9}, {8, 8, 8, 8, 8}},
    };
    *pulAttr(ctx_, N_ATTR_LINE_WIDTH) = F(2.0f);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        N_SpanLine line{};
        line.majorAxis = k.majorAxis;
        line.dx = k.dx;
        line.dy = k.dy;
        c_->pCurPrim = &line;
        Run(0, 0, 5);
        LONG* along = k.majorAxis == 0 ? sp_->pX : sp_->pY;
        LONG* across = k.majorAxis == 0 ? sp_->pY : sp_->pX;
        for (LONG i = 0; i < 5; ++i) along[i] = k.along[i], across[i] = k.across[i];
        gSeen.clear();
        pipe_->next[N_STAGE_WIDE_LINE] = Capture;
        _NSpanWideLine(ctx_, pipe_);
        ASSERT_EQ(gSeen.size(), 2u);
        for (LONG i = 0; i < 5; ++i) {
            const LONG got0 = k.majorAxis == 0 ? gSeen[0].y[i] : gSeen[0].x[i];
            const LONG got1 = k.majorAxis == 0 ? gSeen[1].y[i] : gSeen[1].x[i];
            EXPECT_EQ(got0, k.first[i]) << "fragment " << i;
            EXPECT_EQ(got1, k.second[i]) << "fragment " << i;
        }
    }
}

// Every pair of blend factors on fragments and destinations of several
// colours and alphas, against GL's blend equation on the 0-255 scale.
TEST_F(SwFragTest, BlendFactorPairsMatchGL) {
    struct Frag {
        float r, g, b, a, dr, dg, db, da;
    };
    const Frag frags[] = {{200, 10, 255, 0.25f, 100, 250, 0, 0.5f},
                          {0, 128, 64, 1.0f, 255, 255, 255, 1.0f},
                          {255, 255, 255, 0.0f, 30, 60, 90, 0.0f},
                          {77, 33, 199, 0.8f, 12, 240, 100, 0.3f}};
    constexpr LONG n = 5;  // the last one killed
    auto factor = [](ULONG code, const Frag& f, int ch) -> double {
        const double src[4] = {f.r / 255.0, f.g / 255.0, f.b / 255.0, f.a};
        const double dst[4] = {f.dr / 255.0, f.dg / 255.0, f.db / 255.0, f.da};
        switch (code) {
        case 0: return 0;
        case 1: return 1;
        case 2: return dst[ch];
        case 3: return 1 - dst[ch];
        case 4: return f.a;
        case 5: return 1 - f.a;
        case 6: return f.da;
        case 7: return 1 - f.da;
        case 8: return ch == 3 ? 1.0 : std::min<double>(f.a, 1 - f.da);
        case 9: return src[ch];
        default: return 1 - src[ch];
        }
    };
    for (ULONG s = 0; s < 11; ++s)
        for (ULONG d = 0; d < 11; ++d) {
            const ULONG codes[2] = {s, d};
            std::memcpy(pulAttr(ctx_, N_ATTR_BLEND_FUNC), codes, sizeof codes);
            gSeen.clear();
            Run(0, 0, n);
            for (LONG i = 0; i < n; ++i) {
                const Frag& f = frags[i % 4];
                sp_->pRed[i] = f.r, sp_->pGreen[i] = f.g, sp_->pBlue[i] = f.b, sp_->pAlpha[i] = f.a;
                sp_->pDstRed[i] = f.dr, sp_->pDstGreen[i] = f.dg, sp_->pDstBlue[i] = f.db, sp_->pDstAlpha[i] = f.da;
            }
            sp_->pMask[4] = N_FRAG_KILLED;
            Chain({{N_STAGE_BLEND, _NSpanBlend}});
            ASSERT_EQ(gSeen.size(), 1u);
            for (LONG i = 0; i < 4; ++i) {
                const Frag& f = frags[i];
                const double cs[4] = {f.r, f.g, f.b, f.a}, cd[4] = {f.dr, f.dg, f.db, f.da};
                const float got[4] = {gSeen[0].r[i], gSeen[0].g[i], gSeen[0].b[i], gSeen[0].a[i]};
                for (int ch = 0; ch < 4; ++ch) {
                    const double top = ch == 3 ? 1.0 : 255.0;
                    const double want = std::clamp(cs[ch] * factor(s, f, ch) + cd[ch] * factor(d, f, ch), 0.0, top);
                    EXPECT_NEAR(got[ch], want, ch == 3 ? 1e-5 : 1e-3) << "factors " << s << "," << d << " frag " << i
                                                                      << " channel " << ch;
                }
            }
            EXPECT_EQ(gSeen[0].r[4], frags[0].r) << "a killed fragment keeps its colour";
        }
    // The worked case: 200 x 0.25 + 100 x 0.75 = 125.
    EXPECT_FLOAT_EQ(200.0f * 0.25f + 100.0f * 0.75f, 125.0f);
}

// At 8 bits a pixel the fragments' channels run from 0 to each channel's
// maximum, red's with the colour conversion's offset on top, while a board
// buffer's pixels read back as the palette's colours, 0-255 a channel. Read
// back through the board buffer's path, every stored 3-3-2 byte blends as
// GL's equation on its colour, the result on the fragments' scale, both
// dithered and not; and a blend that keeps the destination packs back into
// the level it was read from at every dither entry (a green level the
// palette shows half a unit above its lowest value would otherwise climb
// into the next at the largest entries).
TEST_F(SwFragTest, BlendAtEightBitsTakesThePixelReadBackOntoTheFragmentsScale) {
    GLBuffer board{};
    board.memoryKind = GLBUFFER_MEMORY_DEVICE;
    board.kind = GLBUFFER_BACK_LEFT;
    board.bitsPerPixel = 8;
    board.bytesPerPixel = 1;
    const N_BoundBuffer slot{&board, nullptr, 0, 0};
    // A stored byte as the board buffer's row read delivers it: the
    // palette's colour (red levels 0 and 1 both black, 6 and 7 both full).
    auto widened = [](ULONG p) -> ULONG {
        const ULONG r3 = (p >> 5) & 7u, g3 = (p >> 2) & 7u, b2 = p & 3u;
        const ULONG r = r3 <= 1 ? 0 : r3 == 7 ? 255 : 51 * (r3 - 1);
        return r << 16 | ((255 * g3 + 6) / 7) << 8 | 85 * b2;
    };
    // Factor codes (0 ZERO, 1 ONE, 2 DST_COLOR, 4 SRC_ALPHA, 5 ONE_MINUS_SRC_ALPHA)
    // and the source colour, 0..1.
    const struct {
        ULONG s, d;
        float rgba[4];
    } pairs[] = {
        {0, 1, {1.0f, 1.0f, 1.0f, 1.0f}},   // the destination kept
        {4, 5, {1.0f, 0.5f, 0.0f, 0.25f}},  // a quarter over it
        {1, 1, {0.0f, 0.25f, 1.0f, 1.0f}},  // sums, saturating
        {2, 0, {1.0f, 1.0f, 0.5f, 1.0f}},   // products
        {1, 0, {1.0f, 1.0f, 1.0f, 1.0f}},   // the source at full: red at the offset plus its maximum
    };
    constexpr LONG n = 256;  // one fragment a stored byte
    std::vector<ULONG> stored(n);
    for (LONG p = 0; p < n; ++p) stored[p] = widened(static_cast<ULONG>(p));
    for (const ULONG dither : {1u, 0u}) {
        *pulAttr(ctx_, N_ATTR_DITHER) = dither;
        _NValColorMap(ctx_, 8);
        ctx_->val.ditherTable = dither != 0 ? N_DITHER_RGB8 : N_DITHER_NEUTRAL;
        float m[3];
        _NChannelMax(ctx_, m);
        const float* offset = ctx_->val.colour.offset;
        ASSERT_GT(offset[0], 0.0f);
        for (const auto& pair : pairs) {
            const ULONG codes[2] = {pair.s, pair.d};
            std::memcpy(pulAttr(ctx_, N_ATTR_BLEND_FUNC), codes, sizeof codes);
            for (LONG y = 0; y < 8; ++y) {
                gSeen.clear();
                Run(0, y, n);
                for (LONG i = 0; i < n; ++i) {
                    sp_->pRed[i] = offset[0] + pair.rgba[0] * m[0];
                    sp_->pGreen[i] = offset[1] + pair.rgba[1] * m[1];
                    sp_->pBlue[i] = offset[2] + pair.rgba[2] * m[2];
                    sp_->pAlpha[i] = pair.rgba[3];
                    sp_->pDstAlpha[i] = 0.0f;
                }
                _NSwSetDstColours(ctx_, *sp_, stored.data(), n, slot);
                Chain({{N_STAGE_BLEND, _NSpanBlend}, {N_STAGE_DITHER_PACK, _NSpanDitherPack}});
                ASSERT_EQ(gSeen.size(), 1u);
                const Seen& seen = gSeen[0];
                for (LONG p = 0; p < n; ++p) {
                    SCOPED_TRACE(::testing::Message() << "dither " << dither << " factors " << pair.s << ","
                                                      << pair.d << " row " << y << " byte " << p);
                    const float got[3] = {seen.r[p], seen.g[p], seen.b[p]};
                    for (int c = 0; c < 3; ++c) {
                        const double d = static_cast<double>((stored[p] >> (16 - 8 * c)) & 0xFFu) / 255.0;
                        const double s = pair.rgba[c];
                        const double fs = pair.s == 0 ? 0 : pair.s == 1 ? 1 : pair.s == 2 ? d : pair.rgba[3];
                        const double fd = pair.d == 0 ? 0 : pair.d == 1 ? 1 : 1 - pair.rgba[3];
                        const double want = offset[c] + m[c] * std::clamp(s * fs + d * fd, 0.0, 1.0);
                        // Within a unit: the stored level read back as its
                        // lowest value on the fragments' scale.
                        EXPECT_NEAR(got[c], want, 1.0) << "channel " << c;
                    }
                    if (pair.s != 0 || pair.d != 1) continue;
                    // Kept: the same level of each field (red's twins 0 and
                    // 1, 6 and 7 as the one the palette shows for both).
                    const ULONG k = seen.packed[p];
                    const ULONG r3 = std::clamp<ULONG>((static_cast<ULONG>(p) >> 5) & 7u, 1u, 6u);
                    EXPECT_EQ((k >> 21) & 7u, r3) << "red";
                    EXPECT_EQ((k >> 13) & 7u, (static_cast<ULONG>(p) >> 2) & 7u) << "green";
                    EXPECT_EQ((k >> 5) & 3u, static_cast<ULONG>(p) & 3u) << "blue";
                }
            }
        }
    }
}

// The pack: channels rounded to nearest, halves to even (GL's conversion to
// the buffer's fixed point), the dither entry of (y & 7, x & 7) added to
// each channel without reaching the next, the column advancing over killed
// fragments too; the matrices of 8 and 16 bits a pixel.
TEST_F(SwFragTest, PackAddsTheDitherEntryPerChannelAt8And16Bits) {
    // 24 bits: no dither.
    ctx_->val.ditherTable = N_DITHER_NEUTRAL;
    Run(5, 3, 4);
    const float in[4][3] = {{12.9f, 0.4f, 255.0f}, {12.5f, 0.5f, 254.4f}, {-3.0f, 254.6f, 300.0f}, {127.49f, 127.5f, 0.0f}};
    for (int i = 0; i < 4; ++i) sp_->pRed[i] = in[i][0], sp_->pGreen[i] = in[i][1], sp_->pBlue[i] = in[i][2];
    Chain({{N_STAGE_DITHER_PACK, _NSpanDitherPack}});
    EXPECT_EQ(gSeen[0].packed[0], 0x0D00FFu);
    EXPECT_EQ(gSeen[0].packed[1], 0x0C00FEu) << "halves to even";
    EXPECT_EQ(gSeen[0].packed[2], 0x00FFFFu) << "clamped at both ends";
    EXPECT_EQ(gSeen[0].packed[3], 0x7F8000u);

    const BYTE m8[8][8] = {
        {0, 16, 4, 20, 1, 17, 5, 21}, {24, 8, 28, 12, 25, 9, 29, 13}, {6, 22, 2, 18, 7, 23, 3, 19},
        {30, 14, 26, 10, 31, 15, 27, 11}, {1, 17, 5, 21, 0, 16, 4, 20}, {25, 9, 29, 13, 24, 8, 28, 12},
        {7, 23, 3, 19, 6, 22, 2, 18}, {31, 15, 27, 11, 30, 14, 26, 10},
    };
    const BYTE m16[8][8] = {
        {0, 2, 0, 2, 2, 0, 2, 0}, {3, 1, 3, 1, 1, 3, 1, 3}, {0, 2, 0, 2, 2, 0, 2, 0}, {3, 1, 3, 1, 1, 3, 1, 3},
        {2, 0, 2, 0, 0, 2, 1, 2}, {1, 3, 1, 3, 3, 1, 3, 1}, {2, 0, 2, 0, 0, 2, 0, 2}, {1, 3, 1, 3, 3, 1, 3, 1},
    };
    for (const ULONG table : {ULONG{N_DITHER_RGB8}, ULONG{N_DITHER_RGB16}}) {
        ctx_->val.ditherTable = table;
        for (LONG y = 0; y < 8; ++y) {
            gSeen.clear();
            constexpr LONG n = 20;
            Run(3, 16 + y, n);
            for (LONG i = 0; i < n; ++i) {
                sp_->pRed[i] = 10.0f * static_cast<float>(i) + 0.7f;
                sp_->pGreen[i] = 250.0f;  // plus dither: clamps at 255, never into red
                sp_->pBlue[i] = 255.0f;
            }
            sp_->pMask[4] = N_FRAG_KILLED;
            sp_->pPacked[4] = 0xDEAD;
            Chain({{N_STAGE_DITHER_PACK, _NSpanDitherPack}});
            for (LONG i = 0; i < n; ++i) {
                if (i == 4) {
                    EXPECT_EQ(gSeen[0].packed[i], 0xDEADu) << "killed: not packed";
                    continue;
                }
                const ULONG d = table == N_DITHER_RGB8 ? m8[y][(3 + i) & 7] : m16[y][(3 + i) & 7];
                const ULONG r = std::min<ULONG>(static_cast<ULONG>(10 * i + 1) + d, 255);
                const ULONG g = std::min<ULONG>(250 + d, 255);
                const ULONG want = (r << 16) | (g << 8) | 255u;
                EXPECT_EQ(gSeen[0].packed[i], want) << "table " << table << " row " << y << " fragment " << i;
            }
        }
    }
    // Colour-index mode: the packed word is the index and stays.
    *pulAttr(ctx_, N_ATTR_COLOUR_INDEX_MODE) = 1;
    gSeen.clear();
    Run(0, 0, 1);
    sp_->pPacked[0] = 42;
    Chain({{N_STAGE_DITHER_PACK, _NSpanDitherPack}});
    EXPECT_EQ(gSeen[0].packed[0], 42u);
}

class SwLogicTest : public SwFragTest {
  protected:
    void Pixels(ULONG bits) {
        buffer_ = GLBuffer{};
        buffer_.pvPixels = pixels_;
        buffer_.memoryKind = GLBUFFER_MEMORY_HOST;
        buffer_.kind = GLBUFFER_BACK_LEFT;
        buffer_.bitsPerPixel = bits;
        buffer_.cx = 4;
        buffer_.cy = 4;
        buffer_.bytesPerPixel = bits == 24 ? 4 : bits / 8;
        buffer_.stride = 4 * buffer_.bytesPerPixel;
        GLBuffer* p = &buffer_;
        N_BindBuffers(1, &p);
        N_SetStateBlockAttrWord(N_ATTR_DRAW_BUFFER, 4);
    }
    ULONG pixels_[16] = {};
    GLBuffer buffer_{};
};

TEST_F(SwLogicTest, LogicAndArithmeticOperationsOnFourAndOneBytePixels) {
    auto gl = [](ULONG op, ULONG s, ULONG d, ULONG set) -> ULONG {
        switch (op) {
        case 0: return 0;
        case 1: return s & d;
        case 2: return s & ~d;
        case 4: return ~s & d;
        case 5: return d;
        case 6: return s ^ d;
        case 7: return s | d;
        case 8: return ~(s | d);
        case 9: return ~(s ^ d);
        case 10: return ~d;
        case 11: return s | ~d;
        case 12: return ~s;
        case 13: return ~s | d;
        case 14: return ~(s & d);
        case 15: return set;
        case 16: return s + d;
        case 17: return s - d;
        default: return d - s;
        }
    };
    const ULONG src[] = {0xF0F0F0F0u, 0x00123456u, 0x000000FFu, 0x12345678u, 0xAB};
    const ULONG dst[] = {0x0FF00FF0u, 0x00FEDCBAu, 0x00000001u, 0x87654321u, 0xCD};
    for (const ULONG bits : {32u, 8u}) {
        Pixels(bits);
        ASSERT_GE(_NFirstDrawSlot(ctx_), 0);
        const ULONG width = bits == 8 ? 0xFFu : 0xFFFFFFFFu;
        for (ULONG op = 0; op < 19; ++op) {
            if (op == 3) continue;
            gSeen.clear();
            Run(0, 0, 5);
            for (LONG i = 0; i < 5; ++i) {
                sp_->pPacked[i] = src[i];
                sp_->pDstPacked[i] = dst[i];
            }
            sp_->pMask[4] = N_FRAG_KILLED;
            Chain({{N_STAGE_LOGIC_OP, _NSpanLogicOpFn(op)}});
            ASSERT_EQ(gSeen.size(), 1u);
            for (LONG i = 0; i < 4; ++i) {
                const ULONG want = gl(op, src[i] & width, dst[i] & width, bits == 8 ? 0xFFu : 0x00FFFFFFu) & width;
                EXPECT_EQ(gSeen[0].packed[i], want) << "op " << op << " bits " << bits << " fragment " << i;
            }
            EXPECT_EQ(gSeen[0].packed[4], 0xABu) << "killed: unchanged";
        }
    }
    // Copy reaching the stage is a programmer error: the chain ends there.
    gSeen.clear();
    Run(0, 0, 1);
    Chain({{N_STAGE_LOGIC_OP, _NSpanLogicOpFn(3)}});
    EXPECT_TRUE(gSeen.empty());
    // 16-bit pixels: their words (channels in 7-bit lanes) combine as the
    // 32-bit words do.
    Pixels(16);
    gSeen.clear();
    Run(0, 0, 1);
    sp_->pPacked[0] = 0x7C1234;
    sp_->pDstPacked[0] = 0x40FFFF;
    Chain({{N_STAGE_LOGIC_OP, _NSpanLogicOpFn(6)}});
    EXPECT_EQ(gSeen[0].packed[0], 0x3CEDCBu);
}

// Every stage passes an empty span on and touches nothing.
TEST_F(SwFragTest, EmptySpansPassEveryStage) {
    const std::pair<ULONG, N_StageFn> stages[] = {
        {N_STAGE_SPAN_FILL, _NSpanPolygonStipple}, {N_STAGE_SPAN_FILL, _NSpanLineStipple},
        {N_STAGE_ALPHA_TEST, _NSpanAlphaTestNever}, {N_STAGE_STENCIL_TEST, _NSpanStencilTest},
        {N_STAGE_STENCIL_UPDATE, _NSpanStencilUpdate}, {N_STAGE_DEPTH_TEST, _NSpanDepthTestNever},
        {N_STAGE_BLEND, _NSpanBlend}, {N_STAGE_DITHER_PACK, _NSpanDitherPack},
        {N_STAGE_LOGIC_OP, _NSpanLogicOpFn(6)}, {N_STAGE_READ_ALPHA_STENCIL, _NSpanFetchDstAlphaStencil},
        {N_STAGE_READ_DEPTH, _NSpanFetchDstDepth}, {N_STAGE_WIDE_LINE, _NSpanWideLine},
        {N_STAGE_WRITE_COLOUR, _NSpanWriteColor}, {N_STAGE_WRITE_STENCIL, _NSpanWriteStencil},
        {N_STAGE_WRITE_COLOUR, _NSpanWriteColorAlt}, {N_STAGE_WRITE_STENCIL, _NSpanWriteStencilAlt},
    };
    for (const auto& s : stages) {
        gSeen.clear();
        Run(0, 0, 0);
        sp_->pMask[0] = 7;
        Chain({s});
        EXPECT_EQ(gSeen.size(), 1u) << "stage " << s.first;
        EXPECT_EQ(sp_->pMask[0], 7);
    }
}

// Read-back of host buffers by the line and point pipes.
class SwReadTest : public SwFragTest {
  protected:
    void SetUp() override {
        SwFragTest::SetUp();
        for (LONG i = 0; i < 16 * 8; ++i) {
            depth_[i] = 0xAB000000u | static_cast<ULONG>(i * 1000);
            stencil_[i] = static_cast<BYTE>(i * 3);
            alpha_[i] = static_cast<BYTE>(i * 2);
        }
        alpha_[0] = 255;
        Host(depthBuf_, depth_, GLBUFFER_DEPTH, 32);
        Host(stencilBuf_, stencil_, GLBUFFER_STENCIL, 8);
        Host(alphaBuf_, alpha_, GLBUFFER_ALPHA, 8);
        ctx_->val.cDrawBuffers = 1;
        ctx_->val.alphaSlots[0] = 2;
    }
    void Host(GLBuffer& b, void* pv, ULONG kind, ULONG bits) { lgi_test::BindHostBuffer(b, pv, kind, bits, 16, 8); }
    ULONG depth_[16 * 8];
    BYTE stencil_[16 * 8], alpha_[16 * 8];
    GLBuffer depthBuf_{}, stencilBuf_{}, alphaBuf_{};
};

TEST_F(SwReadTest, DepthRunAlphaAndStencilFragmentsFromHostBuffers) {
    Run(2, 3, 20);  // runs past the buffer's right edge
    Chain({{N_STAGE_READ_DEPTH, _NSpanFetchDstDepth}});
    for (LONG i = 0; i < 20; ++i) {
        const ULONG want = 2 + i < 16 ? depth_[3 * 16 + 2 + i] & 0xFFFFFFu : 0u;
        EXPECT_EQ(sp_->pDstDepth[i], want) << i;
    }
    // Fragment lists: alpha with the alpha buffer in host memory, stencil
    // with the stencil test.
    Run(0, 0, 4);
    const LONG xs[4] = {0, 5, 15, 40}, ys[4] = {0, 7, 2, 1};
    for (LONG i = 0; i < 4; ++i) sp_->pX[i] = xs[i], sp_->pY[i] = ys[i];
    pipe_->mode = N_MODE_FRAGMENTS | 0x8 | 0x80 | 0x200 | N_MODE_STENCIL;
    Chain({{N_STAGE_READ_ALPHA_STENCIL, _NSpanFetchDstAlphaStencil}});
    EXPECT_EQ(sp_->pDstAlpha[0], 255.0f * std::bit_cast<float>(0x3B808081u));
    for (LONG i = 1; i < 3; ++i) {
        EXPECT_EQ(sp_->pDstAlpha[i], alpha_[ys[i] * 16 + xs[i]] * std::bit_cast<float>(0x3B808081u));
        EXPECT_EQ(sp_->pDstStencil[i], stencil_[ys[i] * 16 + xs[i]]);
    }
    EXPECT_EQ(sp_->pDstAlpha[3], 0.0f) << "outside the buffer";
    EXPECT_EQ(sp_->pDstStencil[3], 0);
    // A board alpha buffer (0x200 clear) is not read here.
    sp_->pDstAlpha[1] = -1.0f;
    pipe_->mode = N_MODE_FRAGMENTS | 0x8 | 0x80;
    Chain({{N_STAGE_READ_ALPHA_STENCIL, _NSpanFetchDstAlphaStencil}});
    EXPECT_EQ(sp_->pDstAlpha[1], -1.0f);
}

}  // namespace
