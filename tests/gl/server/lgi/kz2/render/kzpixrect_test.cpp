// The pixel-rectangle render functions: a span row as points under the main
// slot's program, in batches of at most 400, with the words of the
// program's layout code; zoomed rows through the draw-pixels path.
#include <string>
#include <vector>

#include "3d/pixels/pixelpath.h"
#include "kz2/ucode/kzuemit.h"
#include "gl/server/lgi/kz2/rects_fixture.h"

namespace rects_test {
namespace {

ULONG gcNext = 0;
void CountNext(N_Context*, N_Pipe*) { ++gcNext; }

class PixRectTest : public RectsTest {
  protected:
    // A point program of layout d into the main slot: per-vertex loads for
    // its data words (load kind 2), a pid, one instruction, the clip pair.
    void SetProgram(ULONG d, ULONG cData) {
        ULONG loads = 0;
        for (ULONG r = 0; r < cData; ++r) loads |= 2u << (12 + 2 * r);
        BuildProgram(ctx_, 0, 0x20 | loads, d, {0x21});
    }
    // A row of n pixels at window (x, y): colour i = 0xC0000000 | i, depth
    // 0x100 + i, mask byte per the pattern.
    void Row(LONG x, LONG y, ULONG n, const std::vector<BYTE>& mask = {}) {
        colours_.resize(n);
        depths_.resize(n);
        mask_.assign(n, 1);
        for (ULONG i = 0; i < n; ++i) {
            colours_[i] = 0xC0000000u | i;
            depths_[i] = 0x100 + i;
            if (!mask.empty()) mask_[i] = mask[i % mask.size()];
        }
        span_ = N_PixelSpan{};
        span_.pDest = &ctx_->buffers[0];
        span_.outX = x;
        span_.outY = y;
        span_.outCount = n;
        span_.pulPacked = colours_.data();
        span_.pulDepth = depths_.data();
        span_.pjMask = mask_.data();
        pipe_.pSpan = &span_;
        pipe_.next[N_STAGE_RENDER] = CountNext;
    }

    N_PixelSpan span_{};
    N_Pipe pipe_{};
    std::vector<ULONG> colours_, depths_;
    std::vector<BYTE> mask_;
};

TEST_F(PixRectTest, ALongRowGoesInBatchesOf400WithTheWordsOfItsLayout) {
    for (const BoardModel& m : kModels) {
        SCOPED_TRACE(m.name);
        Start(m);
        BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 10, 20, 1200, 100);
        BindBuffers({&front.buf});
        SetProgram(16, 3);  // colour, alpha, depth, position
        Row(0, 5, 1000);
        gcNext = 0;
        _NvpRenderPixelRectKZG(ctx_, &pipe_);
        EXPECT_EQ(gcNext, 0u);  // the last stage
        const auto q = Packets();
        std::map<LONG, std::vector<std::uint32_t>> got;  // by x: the words
        std::vector<std::uint32_t> perPacket;
        for (const auto& packets : q)
            for (const DecodedPacket& p : packets) {
                if (&packets == &q[0]) perPacket.push_back(p.primitives);
                for (std::size_t k = 0; k < p.primitives; ++k) {
                    const auto w = p.primitive(k);
                    ASSERT_EQ(w.size(), 4u);
                    got[PixelOf(w[3]).first] = w;
                    EXPECT_EQ(PixelOf(w[3]).second, 25);
                }
            }
        if (m.rasterizers == 1) EXPECT_EQ(perPacket, (std::vector<std::uint32_t>{400, 400, 200}));
        ASSERT_EQ(got.size(), 1000u);
        for (ULONG i = 0; i < 1000; i += 111) {
            const auto& w = got[10 + static_cast<LONG>(i)];
            EXPECT_EQ(w[0], 0xC0000000u | i);
            EXPECT_EQ(w[1], 0xC1u);  // the colour's top byte as a 9-bit alpha (256 is 1.0)
            EXPECT_EQ(w[2], 0x100u + i);
        }
    }
}

// The words of one pixel by layout code, before its position: the colour
// word (C) with the one-colour codes 5, 6, 15, 16; the alpha word (A) with
// 6, 7, 16, 17; the depth word (Z) with 11, 15, 16, 17; the stencil byte
// (B) with 22; no word with the other codes.
TEST_F(PixRectTest, EachLayoutCodeSendsItsPixelWords) {
    const struct {
        ULONG d;
        const char* words;
    } cases[] = {{1, ""},    {2, ""},     {3, ""},    {5, "C"},   {6, "CA"},   {7, "A"},   {8, ""},
                 {11, "Z"},  {12, ""},    {13, ""},   {15, "CZ"}, {16, "CAZ"}, {17, "AZ"}, {18, ""},
                 {22, "B"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.d);
        Start(kSolo);
        BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, 0, 64, 64);
        BindBuffers({&front.buf});
        const std::string words = c.words;
        SetProgram(c.d, static_cast<ULONG>(words.size()));
        Row(4, 6, 3);
        colours_ = {0xC0000011u, 0x80000022u, 0x00000033u};
        span_.pulPacked = colours_.data();
        _NvpRenderPixelRectKZG(ctx_, &pipe_);
        std::vector<std::vector<std::uint32_t>> got;
        for (const auto& packets : Packets())
            for (const DecodedPacket& p : packets)
                for (std::size_t k = 0; k < p.primitives; ++k) got.push_back(p.primitive(k));
        std::vector<std::vector<std::uint32_t>> want;
        for (ULONG i = 0; i < 3; ++i) {
            std::vector<std::uint32_t> w;
            const ULONG a = colours_[i] >> 24;
            for (char k : words) {
                switch (k) {
                case 'C': w.push_back(colours_[i]); break;
                case 'A': w.push_back(a + (a >> 7)); break;  // 9 bits, 256 is 1.0
                case 'Z': w.push_back(0x100 + i); break;
                default: w.push_back(colours_[i] & 0xFFu); break;
                }
            }
            w.push_back(((6u << 16) | (4u + i)) << 4);
            want.push_back(w);
        }
        EXPECT_EQ(got, want);
    }
}

TEST_F(PixRectTest, DepthWordsOfANarrowDepthBufferTakeTheSixteenBitForm) {
    Start(kSolo);
    pGLPageConfig(Pdev())->cDepthBits = 16;
    BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, 0, 64, 64);
    BindBuffers({&front.buf});
    SetProgram(11, 1);  // depth, position
    Row(0, 0, 2);
    depths_ = {0xEFFFFF, 0xF80000};
    span_.pulDepth = depths_.data();
    _NvpRenderPixelRectKZG(ctx_, &pipe_);
    const auto q = Packets();
    ASSERT_EQ(q[0].size(), 1u);
    EXPECT_EQ(q[0][0].primitive(0)[0], 0x77FFu);
    EXPECT_EQ(q[0][0].primitive(1)[0], 0x9000u);
    pGLPageConfig(Pdev())->cDepthBits = 24;
}

TEST_F(PixRectTest, BitmapRowsDrawTheMaskedPixels) {
    for (const BoardModel& m : {kSolo, kQuad}) {
        SCOPED_TRACE(m.name);
        Start(m);
        BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 100, 0, 300, 64);
        BindBuffers({&front.buf});
        SetProgram(15, 2);  // colour, depth, position
        Row(30, 7, 3, {1, 0, 1});
        gcNext = 0;
        _NvpRenderBitmapRectKZG(ctx_, &pipe_);
        EXPECT_EQ(gcNext, 0u);
        auto q = Packets();
        std::map<Pixel, std::vector<std::uint32_t>> got;
        for (const auto& packets : q)
            for (const DecodedPacket& p : packets) {
                EXPECT_EQ(p.pids, std::vector<std::uint32_t>{0x21});
                for (std::size_t k = 0; k < p.primitives; ++k) got[PixelOf(p.primitive(k)[2])] = p.primitive(k);
            }
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[Pixel(130, 7)], (std::vector<std::uint32_t>{0xC0000000u, 0x100, got[Pixel(130, 7)][2]}));
        EXPECT_EQ(got[Pixel(132, 7)], (std::vector<std::uint32_t>{0xC0000002u, 0x101, got[Pixel(132, 7)][2]}));

        // A row without a set mask byte reserves nothing.
        Row(30, 7, 5, {0});
        _NvpRenderBitmapRectKZG(ctx_, &pipe_);
        q = Packets();
        for (const auto& packets : q) EXPECT_TRUE(packets.empty());
    }
}

TEST_F(PixRectTest, ZoomedDrawPixelsSendEveryZoomedPixel) {
    Start(kDuo);
    BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 60, 40, 100, 100);
    BindBuffers({&front.buf});
    Clip({{60, 40, 160, 140}});
    // The draw-pixels pipe draws with the hardware record of its kind.
    N_HwRecord* phw = &ctx_->hw[N_PRIM_DRAW_PIXELS & 15];
    phw->pDevice = ctx_->pHw->pDevice;
    // The pipe's set-up has the generator build the transfer's program
    // (luminance: layout 5, colour and position) into that record's
    // standard slot; the generator needs the context's scratch pixmap.
    BoardBuffer scratch(GLBUFFER_FRONT_LEFT, 0x41, 32, 0, 0, 128, 128);
    ctx_->apScratchPixmap[0] = &scratch.buf;
    *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 1;
    *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID) = 1;
    *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = 1;
    *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(2.0f);
    *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(3.0f);
    ctx_->dirty = 0;
    const BYTE px[6] = {10, 20, 30, 40, 50, 60};  // 3 x 2 luminance
    N_DrawPixels(3, 2, N_PIXFMT_LUMINANCE, N_PIXTYPE_UBYTE, px);
    std::set<Pixel> got;
    for (const auto& packets : Packets())
        for (const DecodedPacket& p : packets)
            for (std::size_t k = 0; k < p.primitives; ++k) got.insert(PixelOf(p.vertex(k, 0)));
    // 6 x 6 pixels from the raster position (0, 0): window rows 0-5 from
    // the bottom.
    std::set<Pixel> want;
    for (LONG y = 0; y < 6; ++y)
        for (LONG x = 0; x < 6; ++x) want.insert({60 + x, 40 + 99 - y});
    EXPECT_EQ(got, want) << vnx::debug::peek();
    EXPECT_EQ(pkzProgOf(phw->programs[0])->dataAttr, 5u);
    ctx_->apScratchPixmap[0] = nullptr;
    phw->pDevice = nullptr;
}

TEST_F(PixRectTest, PixelsLeftOfTheScreenAreNotWrappedToItsRightEdge) {
    Start(kSolo);
    BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, 0, 64, 64);
    BindBuffers({&front.buf});
    SetProgram(5, 1);  // colour, position
    Row(-5, 3, 10);
    _NvpRenderPixelRectKZG(ctx_, &pipe_);
    const auto q = Packets();
    std::vector<std::pair<Pixel, std::uint32_t>> got;
    for (const DecodedPacket& p : q[0])
        for (std::size_t k = 0; k < p.primitives; ++k) got.push_back({PixelOf(p.primitive(k)[1]), p.primitive(k)[0]});
    ASSERT_EQ(got.size(), 5u);
    for (ULONG i = 0; i < 5; ++i) {
        EXPECT_EQ(got[i].first, Pixel(static_cast<LONG>(i), 3));
        EXPECT_EQ(got[i].second, 0xC0000000u | (i + 5));
    }
}

}  // namespace
}  // namespace rects_test
