// The accumulation buffer over a simulated board: glAccum sequences against
// GL 1.0's definitions (the buffer's 16-bit codes read back), the clip
// boxes, and the return pass's packets.
#include <cmath>
#include <cstring>

#include "gl/server/lgi/kz2/rects_fixture.h"
#include "shared/software/swaccum.h"

namespace {
// The accumulation memory the GL server hands out on first use: the
// screen's size, 8 bytes a pixel; a test may make it fail.
std::vector<BYTE> gAccumMemory;
bool gAccumFails = false;
std::size_t gAccumBytes = 0;
}  // namespace

void* _DAllocAccumBuffer(void) {
    if (gAccumFails || gAccumBytes == 0) return nullptr;
    gAccumMemory.assign(gAccumBytes, 0xEE);
    return gAccumMemory.data();
}

namespace rects_test {
namespace {

constexpr ULONG kPid = 0x21;

// A host buffer of the given pixel size with its own memory.
struct HostBuffer {
    std::vector<BYTE> pixels;
    GLBuffer buf{};
    HostBuffer(ULONG kind, ULONG bpp, LONG x, LONG y, LONG cx, LONG cy, std::size_t cj, ULONG stride) {
        pixels.assign(cj, 0);
        buf.pvPixels = cj != 0 ? pixels.data() : nullptr;
        buf.memoryKind = GLBUFFER_MEMORY_HOST;
        buf.kind = kind;
        buf.bitsPerPixel = bpp;
        buf.bytesPerPixel = bpp == 24 ? 4 : bpp / 8;
        buf.stride = stride;
        buf.x = x;
        buf.y = y;
        buf.cx = cx;
        buf.cy = cy;
    }
};

// GL 1.0's accumulation arithmetic in doubles, per channel.
double Unit(ULONG byte) { return byte / 255.0; }

class AccumTest : public RectsTest {
  protected:
    // A window at (x, y) of cx x cy: the board front buffer drawn, a host
    // back buffer read, the accumulation buffer (memory on first use).
    void Window(const BoardModel& m, LONG x, LONG y, LONG cx, LONG cy, bool bAlpha = false) {
        Start(m);
        gAccumFails = false;
        gAccumBytes = std::size_t(cxScreen_) * std::size_t(cyScreen_) * 8;
        front_ = std::make_unique<BoardBuffer>(GLBUFFER_FRONT_LEFT, kPid, 32, x, y, cx, cy);
        back_ = std::make_unique<HostBuffer>(GLBUFFER_BACK_LEFT, 32, x, y, cx, cy, std::size_t(cx) * cy * 4, cx * 4);
        accum_ = std::make_unique<HostBuffer>(GLBUFFER_ACCUM, 64, x, y, cx, cy, 0, ULONG(cxScreen_) * 8);
        std::vector<GLBuffer*> v{&front_->buf, &back_->buf, &accum_->buf};
        if (bAlpha) {
            alpha_ = std::make_unique<HostBuffer>(GLBUFFER_ALPHA, 8, x, y, cx, cy,
                                                  std::size_t(cxScreen_) * cyScreen_, ULONG(cxScreen_));
            v.push_back(&alpha_->buf);
        }
        BindBuffers(v);
        *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 1;
        *pulAttr(ctx_, N_ATTR_READ_BUFFER) = 4;
        Clip({{std::max<LONG>(x, 0), std::max<LONG>(y, 0), x + cx, y + cy}});
        cx_ = cx;
        cy_ = cy;
    }
    void SetClearAccum(float r, float g, float b, float a) {
        ULONG* p = pulAttr(ctx_, N_ATTR_CLEAR_ACCUM);
        p[0] = F(r), p[1] = F(g), p[2] = F(b), p[3] = F(a);
    }
    // The colour buffer read: a pixel of each window position from a seed.
    void Fill(ULONG seed) {
        auto* pul = reinterpret_cast<ULONG*>(back_->pixels.data());
        for (LONG r = 0; r < cy_; ++r)
            for (LONG x = 0; x < cx_; ++x) pul[r * cx_ + x] = Colour(seed, x, r);
    }
    static ULONG Colour(ULONG seed, LONG x, LONG r) {
        const ULONG v = (seed * 2654435761u) ^ ULONG(x * 97 + r * 31);
        return ((v * 7) & 0xFF) << 16 | ((v * 13 + 5) & 0xFF) << 8 | ((v * 3 + 11) & 0xFF);
    }
    // The four channel codes of the accumulation pixel of window (x, r).
    std::array<ULONG, 4> Codes(LONG x, LONG r) const {
        const ULONG pitch = 8 * ULONG(cx_);
        ULONG w[2];
        std::memcpy(w, gAccumMemory.data() + std::size_t(pitch) * r + 8 * x, 8);
        return {w[0] >> 16, w[0] & 0xFFFF, w[1] >> 16, w[1] & 0xFFFF};
    }
    static ULONG Code(double v) { return ULONG(std::trunc(v * 65535.0 + 65535.0)) >> 1; }

    std::unique_ptr<BoardBuffer> front_;
    std::unique_ptr<HostBuffer> back_, accum_, alpha_;
    LONG cx_ = 0, cy_ = 0;
};

TEST(AccumCodes, EncodeAndDecodeFollowTheSixteenBitCode) {
    struct Case {
        float v;
        ULONG code;
    } const cases[] = {{-1.0f, 0}, {0.0f, 32767}, {1.0f, 65535}, {0.75f, 57343}, {1.25f, (147453u >> 1) & 0xFFFF}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.v);
        EXPECT_EQ(_NAccumEncode(c.v), c.code);
    }
    EXPECT_FLOAT_EQ(_NAccumDecode(32767), -1.0f / 65535.0f);
    EXPECT_FLOAT_EQ(_NAccumDecode(65535), 1.0f);
    EXPECT_FLOAT_EQ(_NAccumDecode(0), -1.0f);
}

TEST_F(AccumTest, ClearFillsTheWholeBufferWithTheClearColour) {
    Window(kSolo, 40, 30, 20, 10);
    SetClearAccum(0.0f, 0.0f, 0.0f, 0.0f);
    N_Clear(0x400, 0, 0, 0, 0, 1, 0);
    ASSERT_FALSE(gAccumMemory.empty());
    EXPECT_EQ(accum_->buf.pvPixels, gAccumMemory.data());
    for (LONG r = 0; r < cy_; ++r)
        for (LONG x = 0; x < cx_; ++x) ASSERT_EQ(Codes(x, r), (std::array<ULONG, 4>{32767, 32767, 32767, 32767}));
    SetClearAccum(1.0f, -1.0f, 0.5f, 0.0f);
    N_ClearAccum(0);
    EXPECT_EQ(Codes(cx_ - 1, cy_ - 1), (std::array<ULONG, 4>{65535, 0, Code(0.5), 32767}));
}

TEST_F(AccumTest, MotionBlurSequenceMatchesGlArithmetic) {
    // glAccum(LOAD, 0.5) of frame 1, (ACCUM, 0.25) of frame 2, (MULT, 1.5),
    // (ADD, -0.1): each channel within a few codes (a few 1/32768) of GL's
    // value.
    Window(kSolo, 40, 30, 24, 6);
    Fill(1);
    N_Accum(N_ACCUM_LOAD, 0.5f);
    Fill(2);
    N_Accum(N_ACCUM_ACCUM, 0.25f);
    N_Accum(N_ACCUM_MULT, 1.5f);
    N_Accum(N_ACCUM_ADD, -0.1f);
    for (LONG r = 0; r < cy_; ++r)
        for (LONG x = 0; x < cx_; ++x) {
            const ULONG a = Colour(1, x, r), b = Colour(2, x, r);
            const std::array<ULONG, 4> got = Codes(x, r);
            for (int c = 0; c < 3; ++c) {
                const int sh = 16 - 8 * c;
                double v = 0.5 * Unit((a >> sh) & 0xFF) + 0.25 * Unit((b >> sh) & 0xFF);
                v = std::clamp(v * 1.5, -1.0, 1.0) - 0.1;
                ASSERT_NEAR(double(got[c]), double(Code(v)), 3.0) << x << "," << r << " channel " << c;
            }
            ASSERT_NEAR(double(got[3]), double(Code(-0.1)), 3.0);  // no alpha buffer: alpha loads 0
        }
}

TEST_F(AccumTest, EdgeValuesClampOrWrapAsDefined) {
    Window(kSolo, 40, 30, 4, 1);
    auto* pul = reinterpret_cast<ULONG*>(back_->pixels.data());
    std::fill(pul, pul + 4, 0xFFFFFFu);
    N_Accum(N_ACCUM_LOAD, 1.0f);
    EXPECT_EQ(Codes(0, 0)[0], 65535u);  // white loads 1.0
    N_Accum(N_ACCUM_LOAD, 0.75f);
    N_Accum(N_ACCUM_MULT, 2.0f);
    EXPECT_EQ(Codes(1, 0)[1], 65535u);  // 1.5 clamped to 1.0
    N_Accum(N_ACCUM_LOAD, 0.75f);
    N_Accum(N_ACCUM_ADD, 0.5f);
    EXPECT_EQ(Codes(2, 0)[2], _NAccumEncode(1.25f));  // no clamp: the code keeps its low 16 bits
}

TEST_F(AccumTest, HiddenPixelsAndSelectModeLeaveTheBufferAlone) {
    Window(kSolo, 40, 30, 10, 4);
    SetClearAccum(0.0f, 0.0f, 0.0f, 0.0f);
    N_ClearAccum(0);
    // Only the window's left half shows.
    Clip({{40, 30, 45, 34}});
    N_Accum(N_ACCUM_ADD, 0.5f);
    const ULONG added = _NAccumEncode(_NAccumDecode(32767) + 0.5f);
    for (LONG x = 0; x < 10; ++x) EXPECT_EQ(Codes(x, 2)[0], x < 5 ? added : 32767u) << x;
    *pulAttr(ctx_, N_ATTR_RENDER_MODE) = 1;
    N_Accum(N_ACCUM_ADD, 0.25f);
    EXPECT_EQ(Codes(0, 0)[0], added);
}

TEST_F(AccumTest, NoMemoryLeavesEverythingUnchanged) {
    Window(kSolo, 40, 30, 10, 4);
    gAccumFails = true;
    gAccumMemory.clear();
    N_Accum(N_ACCUM_LOAD, 1.0f);
    N_ClearAccum(0);
    EXPECT_EQ(accum_->buf.pvPixels, nullptr);
    EXPECT_TRUE(Packets()[0].empty());
}

// The returned pixels of the packets: position -> colour word.
std::map<Pixel, ULONG> Returned(const std::vector<std::vector<DecodedPacket>>& q, std::vector<std::uint32_t>* counts = nullptr) {
    std::map<Pixel, ULONG> m;
    for (const auto& packets : q)
        for (const DecodedPacket& p : packets) {
            if (counts != nullptr) counts->push_back(p.primitives);
            for (std::size_t k = 0; k < p.primitives; ++k) {
                const auto w = p.primitive(k);
                m[PixelOf(w.back())] = w.front();
            }
        }
    return m;
}

TEST_F(AccumTest, ReturnDrawsEachVisiblePixelWithItsScaledColour) {
    for (const BoardModel& m : {kSolo, kQuad}) {
        SCOPED_TRACE(m.name);
        Window(m, 40, 30, 12, 3);
        Fill(7);
        N_Accum(N_ACCUM_LOAD, 0.5f);
        Drain();
        N_Accum(N_ACCUM_RETURN, 2.0f);
        const auto got = Returned(Packets());
        ASSERT_EQ(got.size(), std::size_t(12 * 3));
        for (LONG r = 0; r < 3; ++r)
            for (LONG x = 0; x < 12; ++x) {
                const ULONG c = Colour(7, x, r), w = got.at({40 + x, 30 + r});
                for (int k = 0; k < 3; ++k) {
                    const int sh = 16 - 8 * k;
                    const double v = std::clamp(2.0 * (0.5 * Unit((c >> sh) & 0xFF)), 0.0, 1.0) * 255.0;
                    EXPECT_NEAR(double((w >> sh) & 0xFF), std::trunc(v), 1.0);
                }
            }
    }
}

TEST_F(AccumTest, ReturnOfTwiceThreeQuartersGivesTheChannelMaximum) {
    Window(kSolo, 40, 30, 2, 1);
    SetClearAccum(0.75f, 0.75f, 0.75f, 0.75f);
    N_ClearAccum(0);
    N_Accum(N_ACCUM_RETURN, 2.0f);
    const auto got = Returned(Packets());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got.begin()->second, 0xFFFFFFu);
}

TEST_F(AccumTest, ReturnPacketsHoldAtMost255PixelsAndSkipHiddenRows) {
    Window(kSolo, 10, 20, 300, 2);
    SetClearAccum(0.5f, 0.5f, 0.5f, 0.5f);
    N_ClearAccum(0);
    Clip({{10, 20, 310, 21}});  // row 1 hidden
    std::vector<std::uint32_t> counts;
    const auto got = Returned(Packets(), &counts);
    N_Accum(N_ACCUM_RETURN, 1.0f);
    const auto q = Packets();
    counts.clear();
    const auto ret = Returned(q, &counts);
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{255, 45}));
    EXPECT_EQ(ret.size(), 300u);
    for (const auto& p : q[0]) EXPECT_EQ(p.pids, std::vector<std::uint32_t>{kPid});
}

TEST_F(AccumTest, ReturnIncludesScreenColumnZeroAndRowZero) {
    Window(kSolo, 0, 0, 3, 2);
    SetClearAccum(1.0f, 0.0f, 0.0f, 0.0f);
    N_ClearAccum(0);
    N_Accum(N_ACCUM_RETURN, 1.0f);
    const auto got = Returned(Packets());
    EXPECT_EQ(got.size(), 6u);
    EXPECT_EQ(got.count({0, 0}), 1u);
    EXPECT_EQ(got.at({0, 0}), 0xFF0000u);
}

TEST_F(AccumTest, WindowLeftOfAndAboveTheScreenIsCut) {
    // Only the part on the screen is read, kept and returned; nothing
    // outside the accumulation memory is touched.
    Window(kSolo, -5, -3, 8, 5);
    SetClearAccum(0.0f, 0.0f, 0.0f, 0.0f);
    N_ClearAccum(0);
    Fill(3);
    N_Accum(N_ACCUM_LOAD, 1.0f);
    EXPECT_EQ(Codes(0, 0)[0], 32767u);  // off the screen: untouched
    EXPECT_EQ(Codes(5, 3)[0], Code(Unit((Colour(3, 5, 3) >> 16) & 0xFF)));
    N_Accum(N_ACCUM_RETURN, 1.0f);
    const auto got = Returned(Packets());
    EXPECT_EQ(got.size(), std::size_t(3 * 2));
    const ULONG want = Colour(3, 5, 3), w = got.at({0, 0});
    for (int sh : {0, 8, 16}) EXPECT_NEAR(double((w >> sh) & 0xFF), double((want >> sh) & 0xFF), 1.0);
}

TEST_F(AccumTest, HostAlphaIsLoadedAndReturnedInPlace) {
    // The host alpha memory holds the window's rows from its own corner:
    // screen pixel (42, 31) is the window's (2, 1).
    Window(kSolo, 40, 30, 4, 2, true);
    // The alpha buffer is the front buffer's: read from and drawn to it.
    *pulAttr(ctx_, N_ATTR_READ_BUFFER) = 1;
    const std::size_t at = 1 * 4 + 2;
    alpha_->pixels[at] = 200;
    N_Accum(N_ACCUM_LOAD, 0.5f);
    EXPECT_NEAR(double(Codes(2, 1)[3]), double(Code(0.5 * 200 / 255.0)), 1.0);
    alpha_->pixels[at] = 0;
    N_Accum(N_ACCUM_RETURN, 2.0f);
    EXPECT_NEAR(alpha_->pixels[at], 200, 1);
    for (std::size_t i = 0; i < alpha_->pixels.size(); ++i)
        if (i != at) ASSERT_EQ(alpha_->pixels[i], 0) << "byte " << i;
    const auto q = Packets();
    for (const auto& p : q[0])
        for (std::size_t k = 0; k < p.primitives; ++k) EXPECT_EQ(p.primitive(k).size(), 2u);
}

TEST_F(AccumTest, LoadReadsTheReadBuffersAlphaAndReturnWritesTheDrawBuffers) {
    // The front and the back buffer each with an alpha buffer of its own;
    // the back buffer is read, the front buffer drawn.
    Window(kSolo, 40, 30, 4, 2, true);
    HostBuffer backAlpha(GLBUFFER_PLANE_40000, 8, 40, 30, 4, 2, std::size_t(cxScreen_) * cyScreen_,
                         ULONG(cxScreen_));
    BindBuffers({&backAlpha.buf});
    const std::size_t at = 1 * 4 + 2;
    alpha_->pixels[at] = 200;
    backAlpha.pixels[at] = 120;
    N_Accum(N_ACCUM_LOAD, 1.0f);
    EXPECT_NEAR(double(Codes(2, 1)[3]), double(Code(120 / 255.0)), 1.0) << "the back buffer's alpha loaded";
    N_Accum(N_ACCUM_RETURN, 0.5f);
    EXPECT_NEAR(alpha_->pixels[at], 60, 1) << "the front buffer's alpha returned to";
    EXPECT_EQ(backAlpha.pixels[at], 120) << "the back buffer's alpha kept";
}

}  // namespace
}  // namespace rects_test
