// Bound buffers by kind, invalidation by mask, and the clear and pixel
// entries that choose between their paths.
#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <vector>

#include "gl/server/lgi/image_double.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "platform/engine.h"

namespace lgi_test {
namespace {

GLBuffer Buffer(ULONG kind, ULONG bits, ULONG memoryKind = GLBUFFER_MEMORY_DEVICE) {
    GLBuffer b{};
    b.kind = kind;
    b.bitsPerPixel = bits;
    b.memoryKind = memoryKind;
    b.cx = 100;
    b.cy = 50;
    return b;
}

void Bind(GLBuffer& b) {
    GLBuffer* ap[2] = {&b, nullptr};
    N_BindBuffers(1, ap);
}

// Slots holding a buffer.
std::vector<ULONG> Bound(const N_Context* pctx) {
    std::vector<ULONG> v;
    for (ULONG i = 0; i < N_BUFFER_SLOTS; ++i)
        if (pctx->buffers[i].pBuffer != nullptr) v.push_back(i);
    return v;
}

TEST_F(LgiTest, BuffersGoToTheSlotOfTheirKind) {
    const std::array<std::pair<ULONG, ULONG>, 12> kCases = {{
        {0x1, 0}, {0x4, 1}, {0x2, 8}, {0x8, 9}, {0x10000, 2}, {0x40000, 3}, {0x20000, 14},
        {0x80000, 15}, {256, 4}, {2304, 4}, {512, 5}, {1024, 6},
    }};
    for (auto [kind, slot] : kCases) {
        N_InvalidateBuffers(0xffffff);
        GLBuffer b = Buffer(kind, 16);
        Bind(b);
        EXPECT_EQ(Bound(ctx_), std::vector<ULONG>{slot}) << kind;
        EXPECT_EQ(ctx_->buffers[slot].pBuffer, &b);
    }
    // Other kinds bind nothing but still mark the buffers dirty.
    N_InvalidateBuffers(0xffffff);
    ctx_->dirty = 0;
    GLBuffer odd = Buffer(0x1000, 16);
    Bind(odd);
    EXPECT_TRUE(Bound(ctx_).empty());
    EXPECT_EQ(ctx_->dirty, N_DIRTY_BUFFERS);
}

TEST_F(LgiTest, BindingStopsAtTheCountOrTheNull) {
    GLBuffer a = Buffer(0x1, 32), b = Buffer(0x4, 32), c = Buffer(256, 24);
    GLBuffer* ap[4] = {&a, &b, nullptr, &c};
    N_BindBuffers(4, ap);
    EXPECT_EQ(Bound(ctx_), (std::vector<ULONG>{0, 1}));
    N_InvalidateBuffers(0xffffff);
    GLBuffer* apAll[4] = {&a, &b, &c, nullptr};
    N_BindBuffers(1, apAll);
    EXPECT_EQ(Bound(ctx_), std::vector<ULONG>{0});
}

TEST_F(LgiTest, HostBuffersAndScales) {
    struct Case {
        ULONG bits, bytes;
    };
    for (Case c : {Case{8, 1}, Case{16, 2}, Case{24, 4}, Case{32, 4}}) {
        GLBuffer b = Buffer(0x10000, c.bits, GLBUFFER_MEMORY_HOST);
        BYTE aj[4];
        b.pvPixels = aj;
        Bind(b);
        const N_BoundBuffer& s = ctx_->buffers[2];
        EXPECT_EQ(s.pjBase, aj);
        EXPECT_EQ(s.bytesPerPixel, c.bytes);
        EXPECT_EQ(s.pitch, c.bytes * 100);
        EXPECT_FLOAT_EQ(ctx_->alphaScale, static_cast<float>((1ull << c.bits) - 1));
    }
    GLBuffer d16 = Buffer(256, 16), d24 = Buffer(256, 24);
    Bind(d16);
    EXPECT_EQ(ctx_->depthScale, 65535.0f);
    EXPECT_EQ(ctx_->depthScaleInv, 1.0f / 65535.0f);
    EXPECT_EQ(ctx_->buffers[4].pjBase, nullptr) << "board buffers keep no host fields";
    Bind(d24);
    EXPECT_EQ(ctx_->depthScale, 16777215.0f);
}

// Each mask bit empties the slots of its row.
TEST_F(LgiTest, InvalidationRows) {
    const std::vector<ULONG> kRows[24] = {
        {0, 2}, {8, 3}, {1, 14}, {9, 15}, {10, 16}, {11, 17}, {12, 18}, {13, 19},
        {4},    {5},    {6},     {20},    {7},      {0},      {0},      {0},
        {2},    {3},    {14},    {15},    {16},     {17},     {18},     {19},
    };
    GLBuffer b = Buffer(0x1, 32);
    for (ULONG bit = 0; bit < 24; ++bit) {
        for (N_BoundBuffer& s : ctx_->buffers) s.pBuffer = &b;
        ctx_->dirty = 0;
        N_InvalidateBuffers(1u << bit);
        std::vector<ULONG> empty;
        for (ULONG i = 0; i < N_BUFFER_SLOTS; ++i)
            if (ctx_->buffers[i].pBuffer == nullptr) empty.push_back(i);
        std::vector<ULONG> expected = kRows[bit];
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(empty, expected) << bit;
        EXPECT_EQ(ctx_->dirty, N_DIRTY_BUFFERS);
    }
    for (N_BoundBuffer& s : ctx_->buffers) s.pBuffer = &b;
    N_InvalidateBuffers(0xff000000u);  // bits past the table empty nothing
    EXPECT_EQ(Bound(ctx_).size(), N_BUFFER_SLOTS);
    N_InvalidateBuffers(0);
}

TEST_F(LgiTest, PacketsDoneAndSyncAnswerAtOnce) {
    EXPECT_EQ(N_PacketsDone(0), 1u);
    EXPECT_EQ(N_PacketsDone(0xffffffff), 1u);
    EXPECT_EQ(N_Sync(), 1u);
}

class ClearTest : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        const ULONG aul[2] = {0, 0x00100010};
        N_BindClipList(1, aul);
        ctx_->dirty = 0;
        vnx::debug::clear();
    }
};

TEST_F(LgiTest, ClearWithoutAClipListDoesNothing) {
    GLBuffer b = Buffer(0x1, 32);
    Bind(b);
    N_Clear(0x1, 0, 0, 10, 10, 0, 5);
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(ClearTest, ColourBuffersInOrderWithShallowOnesMasked) {
    GLBuffer fl = Buffer(0x1, 16), bl = Buffer(0x4, 32), fr = Buffer(0x2, 8);
    GLBuffer* ap[4] = {&fl, &bl, &fr, nullptr};
    N_BindBuffers(3, ap);
    vnx::debug::clear();
    // Without a board the fills send nothing (the board's side is in
    // kz2/kzclear_test.cpp); back-right is not bound: skipped.
    N_Clear(0xf, 0, 0, 10, 10, 0, 0xffffffff);
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST(LgiClearValueTest, ColourAndDepthValues) {
    // Bit 23 is the overlay's at 16 bits, 3-3-2 red's top bit at 8 (a light
    // red, 0.9 of the 8-bit conversion, keeps it).
    EXPECT_EQ(ulNClearColourValue(16, 0xffffffff), 0x7fffffu);
    EXPECT_EQ(ulNClearColourValue(8, 0x00b0ca4d), 0x00b0ca4du);
    EXPECT_EQ(ulNClearColourValue(24, 0xffffffff), 0xffffffffu);
    EXPECT_EQ(ulNClearColourValue(32, 0x12345678), 0x12345678u);
    struct Case {
        float depth;
        ULONG bits, useContext, value, expected;
    };
    const Case cases[] = {
        {1.0f, 24, 0, 7, 0xffffff}, {2.0f, 16, 0, 7, 0xffff},  {0.0f, 24, 1, 7, 0},
        {-1.0f, 24, 0, 7, 0},       {0.5f, 16, 1, 7, 32767},   {0.5f, 24, 0, 7, 7},
        {0.25f, 24, 1, 7, 4194303},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ulNClearDepthValue(c.depth, c.bits, c.useContext, c.value), c.expected) << c.depth;
}

TEST_F(ClearTest, EachMaskReachesItsFill) {
    struct Case {
        ULONG kind;
        ULONG mask;
        ULONG memoryKind;
        const char* fill;
    };
    const Case cases[] = {
        // Board buffers without a board: the fills send nothing.
        {256, 0x100, GLBUFFER_MEMORY_DEVICE, ""},
        {2304, 0x800, GLBUFFER_MEMORY_DEVICE, ""},
        {512, 0x200, GLBUFFER_MEMORY_DEVICE, ""},
        {512, 0x200, GLBUFFER_MEMORY_HOST, ""},  // host buffers are cleared in software
        {0x10000, 0x10000, GLBUFFER_MEMORY_HOST, ""},
        {0x80000, 0x80000, GLBUFFER_MEMORY_DEVICE, ""},
        {1024, 0x400, GLBUFFER_MEMORY_DEVICE, ""},  // a board accumulation buffer is not worked
        {256, 0x200, GLBUFFER_MEMORY_DEVICE, ""},  // stencil not bound
    };
    for (const Case& c : cases) {
        N_InvalidateBuffers(0xffffff);
        GLBuffer b = Buffer(c.kind, 24, c.memoryKind);
        Bind(b);
        ctx_->dirty = 0;
        vnx::debug::clear();
        N_Clear(c.mask, 0, 0, 4, 4, 1, 0);
        EXPECT_EQ(vnx::debug::take(), c.fill) << c.kind << " " << c.mask;
    }
}

// Host alpha planes and a host stencil buffer under their write masks: the
// bits a mask leaves off keep their values, a mask of none writes nothing.
TEST_F(ClearTest, HostPlanesHonourTheirWriteMasks) {
    *pulAttr(ctx_, N_ATTR_SEPARATE_FACES) = 1;
    struct Case {
        ULONG kind, clearMask, writeMask, before, want;
    };
    const Case cases[] = {
        {0x10000, 0x10000, 0xFF, 0x11, 0x7F},  // alpha 0.5 of 255, truncated
        {0x10000, 0x10000, 0x00, 0x11, 0x11},
        {512, 0x200, 0xFF, 0x11, 0x0E},
        {512, 0x200, 0x0F, 0x31, 0x3E},
        {512, 0x200, 0x05, 0x31, 0x34},
        {512, 0x200, 0x00, 0x31, 0x31},
    };
    pulAttr(ctx_, N_ATTR_CLEAR_COLOUR)[3] = std::bit_cast<ULONG>(0.5f);
    *pulAttr(ctx_, N_ATTR_CLEAR_STENCIL) = 0x0E;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " mask " << c.writeMask);
        std::vector<BYTE> pixels(100 * 50, static_cast<BYTE>(c.before));
        GLBuffer b = Buffer(c.kind, 8, GLBUFFER_MEMORY_HOST);
        b.pvPixels = pixels.data();
        Bind(b);
        *pulAttr(ctx_, N_ATTR_ALPHA_MASK) = c.kind == 512 ? 0xFFu : c.writeMask;
        *pulAttr(ctx_, N_ATTR_STENCIL_MASK) = c.kind == 512 ? c.writeMask : 0xFFu;
        ctx_->dirty = 0;
        N_Clear(c.clearMask, 0, 0, 4, 4, 1, 0);
        EXPECT_EQ(pixels[0], c.want);
        EXPECT_EQ(pixels[3 * 100 + 3], c.want);
        EXPECT_EQ(pixels[4], c.before);  // outside the rectangle
    }
    *pulAttr(ctx_, N_ATTR_ALPHA_MASK) = 0xFFu;
    *pulAttr(ctx_, N_ATTR_STENCIL_MASK) = 0xFFu;
}

TEST_F(LgiTest, DrawAndCopyPixelsNeedAValidRasterPosition) {
    for (ULONG mode : {0u, 1u, 2u}) {
        *pulAttr(ctx_, N_ATTR_RENDER_MODE) = mode;
        *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID) = 0;
        vnx::debug::clear();
        N_DrawPixels(4, 4, 8, 0, nullptr);
        N_CopyPixels(0, 0, 4, 4, 0);
        EXPECT_EQ(vnx::debug::take(), "") << mode;
    }
    *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID) = 1;
    *pulAttr(ctx_, N_ATTR_RENDER_MODE) = 1;  // select: nothing
    N_DrawPixels(4, 4, 8, 0, nullptr);
    N_CopyPixels(0, 0, 4, 4, 0);
    EXPECT_EQ(vnx::debug::take(), "");
    *pulAttr(ctx_, N_ATTR_RENDER_MODE) = 2;  // feedback: the token only
    float afFeedback[8] = {};
    N_BeginFeedback(afFeedback, 8, 0);
    N_DrawPixels(4, 4, 8, 0, nullptr);
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_EQ(afFeedback[0], float(0x705));
    LONG cValues = 0;
    N_EndFeedback(&cValues);
}

TEST_F(LgiTest, PixelRequestsChooseTheirPath) {
    struct Case {
        bool bCopy;
        ULONG format;  // draw: format; copy: source kind
        ULONG mapColour;
        ULONG enable;
        const char* path;
    };
    const Case cases[] = {
        {false, 8, 0, 0, "put"},
        {false, 0, 0, 0, "pipe"},  // only RGB and RGBA images are put directly
        {false, 0, 1, 0, "pipe"},
        {false, 7, 1, 0, "pipe"},  // the colour map takes colour forms too
        {false, 2, 0, 0x80, "pipe"},
        {true, 0, 0, 0, "copy"},
        {true, 1, 0, 0, "pipe"},
        {true, 0, 1, 0, "pipe"},
        {true, 0, 0, 0x10, "pipe"},
    };
    GLBuffer front = Buffer(0x1, 32), back = Buffer(0x4, 32);
    GLBuffer* ap[3] = {&front, &back, nullptr};
    N_BindBuffers(2, ap);
    *pulAttr(ctx_, 163) = 0x1;  // draw into the front, read from the back
    const ULONG aulPixel[1] = {0};
    for (const Case& c : cases) {
        *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = c.mapColour;
        ctx_->enableWord = c.enable;
        ctx_->dirty = 0;
        vnx::debug::clear();
        if (c.bCopy)
            N_CopyPixels(0, 0, 4, 4, c.format);
        else
            N_DrawPixels(1, 1, c.format, 0, aulPixel);
        // The pipeline path runs the pixel stages (up to the render
        // functions, not built yet) and never the direct transfers.
        std::string got;
        for (const ImageCall& call : ImageCalls()) got += call.fn + " ";
        ImageCalls().clear();
        if (std::string(c.path) == "pipe") {
            EXPECT_EQ(got, "") << c.bCopy << " " << c.format;
        } else {
            EXPECT_EQ(got, std::string(c.path) + " ") << c.bCopy << " " << c.format;
        }
    }
}

// An index image of type GL_BITMAP holds one bit a pixel: the direct path
// reads its rows of whole bytes and nothing past them (the image here is
// exactly that long, so a read of a byte a pixel is an overflow).
TEST_F(LgiTest, BitmapIndexImageReadsItsBitsOnly) {
    GLBuffer front = Buffer(0x1, 32), back = Buffer(0x4, 32);
    GLBuffer* ap[3] = {&front, &back, nullptr};
    N_BindBuffers(2, ap);
    *pulAttr(ctx_, 163) = 0x1;
    *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = 0;
    ctx_->enableWord = 0;
    ctx_->dirty = 0;
    for (ULONG format : {0u, 1u}) {  // colour index, stencil index
        std::vector<BYTE> bits(3 * 2, 0xA5);  // 17 pixels a row: 3 bytes
        ImageCalls().clear();
        // Index images take the pixel path, which unpacks bits a row.
        N_DrawPixels(17, 2, format, 2, bits.data());
        EXPECT_TRUE(ImageCalls().empty()) << format;
        ImageCalls().clear();
    }
}

TEST(LgiZoomTest, RepeatCountsAndRows) {
    N_ZoomStep one(1.0f);
    N_ZoomStep half(0.5f);
    N_ZoomStep threeHalves(1.5f);
    ULONG cHalf = 0, cThreeHalves = 0;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(one.Next(), 1u);
        const ULONG h = half.Next();
        EXPECT_LE(h, 1u);
        cHalf += h;
        cThreeHalves += threeHalves.Next();
    }
    EXPECT_NEAR(cHalf, 500, 1);
    EXPECT_NEAR(cThreeHalves, 1500, 1);

    const ULONG aulSrc[3] = {0xff000001, 2, 3};
    ULONG aulOut[8] = {};
    EXPECT_EQ(_NZoomRow(aulSrc, 3, 2.0f, aulOut, 8), 6u);
    EXPECT_EQ(std::vector<ULONG>(aulOut, aulOut + 6), (std::vector<ULONG>{1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(_NZoomRow(aulSrc, 3, -1.0f, aulOut, 8), 3u);  // mirrored
    EXPECT_EQ(std::vector<ULONG>(aulOut, aulOut + 3), (std::vector<ULONG>{3, 2, 1}));
    EXPECT_EQ(_NZoomRow(aulSrc, 3, 4.0f, aulOut, 8), 8u);   // never past the row
    // Half a pixel in: three pixels at 0.5 span 1.5 pixels, two centres.
    EXPECT_EQ(_NZoomRow(aulSrc, 3, 0.5f, aulOut, 8), 2u);
}

// A zoom of (1.5, -1) writes row by row: each source row once, downward
// (from a raster position ten rows up, so that the rows land in the
// window); a second draw buffer gets a copy of the changed rectangle.
TEST_F(LgiTest, DirectDrawRowByRowWithZoom) {
    GLBuffer front = Buffer(0x1, 32), back = Buffer(0x4, 32);
    GLBuffer* ap[3] = {&front, &back, nullptr};
    N_BindBuffers(2, ap);
    *pulAttr(ctx_, 163) = 0x5;
    pulAttr(ctx_, N_ATTR_RASTER_POS)[1] = F(10.0f);
    *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(1.5f);
    *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(-1.0f);
    const ULONG aulImage[6] = {};
    ctx_->dirty = 0;
    vnx::debug::clear();
    ImageCalls().clear();
    const auto calls = [] {
        std::string s;
        for (const ImageCall& call : ImageCalls()) s += call.fn + " ";
        ImageCalls().clear();
        return s;
    };
    N_DrawPixels(2, 3, 8, 0, aulImage);
    EXPECT_EQ(calls(), "put put put copy ");
    *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(2.0f);
    *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(2.0f);  // both above one: the zoomed write
    N_DrawPixels(2, 3, 8, 0, aulImage);
    EXPECT_EQ(calls(), "zoom copy ");
}

// The direct draw and copy write only inside the window (100 x 50 at the
// screen's corner), whatever the sizes, zooms and positions: no row or
// column past its edges is put, and a copy reads only the window's pixels.
TEST_F(LgiTest, DirectPixelsStayInsideTheWindow) {
    GLBuffer front = Buffer(0x1, 32);
    Bind(front);
    *pulAttr(ctx_, 163) = 0x1;
    *pulAttr(ctx_, N_ATTR_READ_BUFFER) = 0x1;
    const std::vector<ULONG> image(1000 * 1000, 0x00808080u);
    const struct {
        const char* name;
        float rx, ry, zx, zy;
        bool bCopy;
        LONG x, y, cx, cy;
        bool bWrites;  // some of it lands in the window
    } cases[] = {
        {"image past every edge", 0, 0, 1, 1, false, 0, 0, 1000, 1000, true},
        {"image from the middle", 50, 25, 1, 1, false, 0, 0, 1000, 1000, true},
        {"zoomed past every edge", 50, 25, 1e9f, 1e9f + 64.0f, false, 0, 0, 4, 4, true},
        {"zoomed by whole rows", 10, 10, 3.0f, 2.0f, false, 0, 0, 1000, 1000, true},
        {"mirrored and downward", 99, 49, -3.5f, -2.0f, false, 0, 0, 300, 300, true},
        {"shrunk", 0, 0, 0.25f, 0.5f, false, 0, 0, 1000, 1000, true},
        {"copy of everything", 0, 0, 1, 1, true, 0, 0, INT_MAX, INT_MAX, true},
        {"copy from below and left of the window", 0, 0, 1, 1, true, INT_MIN, INT_MIN, INT_MAX, INT_MAX, false},
        {"copy from past the far corner", 0, 0, 1, 1, true, INT_MAX, INT_MAX, INT_MAX, INT_MAX, false},
        {"copy zoomed", 10, 40, 2.5f, -1.5f, true, 0, 0, INT_MAX, INT_MAX, true},
        {"copy mirrored", 90, 40, -1e9f, 1e9f, true, 0, 0, INT_MAX, INT_MAX, true},
    };
    const auto inside = [](LONG x, LONG y, LONG cx, LONG cy) {
        return x >= 0 && y >= 0 && cx >= 0 && cy >= 0 && std::int64_t{x} + cx <= 100 && std::int64_t{y} + cy <= 50;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pulAttr(ctx_, N_ATTR_RASTER_POS)[0] = F(c.rx);
        pulAttr(ctx_, N_ATTR_RASTER_POS)[1] = F(c.ry);
        *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(c.zx);
        *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(c.zy);
        ctx_->dirty = 0;
        ImageCalls().clear();
        if (c.bCopy) N_CopyPixels(c.x, c.y, c.cx, c.cy, 0);
        else N_DrawPixels(c.cx, c.cy, 8, 0, image.data());
        EXPECT_EQ(!ImageCalls().empty(), c.bWrites);
        for (const ImageCall& call : ImageCalls()) {
            if (call.fn == "zoom") {
                EXPECT_TRUE(inside(call.x, call.y, 1, 1)) << "zoomed write from " << call.x << ", " << call.y;
                EXPECT_LE(call.cy, 50) << "rows of the zoomed write";
                continue;
            }
            EXPECT_TRUE(inside(call.x, call.y, call.cx, call.cy))
                << call.fn << " " << call.x << ", " << call.y << " " << call.cx << " x " << call.cy;
            if (call.fn == "copy" || call.fn == "get")
                EXPECT_TRUE(inside(call.xSource, call.ySource, call.cx, call.cy) || call.fn == "get")
                    << "source " << call.xSource << ", " << call.ySource;
        }
    }
    *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(1.0f);
    *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(1.0f);
}

TEST_F(LgiTest, ReadPixelsSources) {
    // No alpha buffer: opaque values of the byte types.
    ctx_->dirty = 0;
    BYTE aj[6] = {};
    EXPECT_EQ(N_ReadPixels(0, 0, 3, 2, 6, 0, aj), -1);
    for (BYTE j : aj) EXPECT_EQ(j, 255);
    EXPECT_EQ(N_ReadPixels(0, 0, 3, 2, 6, 1, aj), -1);
    for (BYTE j : aj) EXPECT_EQ(j, 127);
    vnx::debug::clear();
    // Luminance-alpha reads the read buffer like luminance.
    EXPECT_EQ(N_ReadPixels(0, 0, 1, 1, 10, 0, aj), -1);
    EXPECT_EQ(vnx::debug::take(), "");
    // The read buffer (back left by default) when bound.
    GLBuffer b = Buffer(0x4, 32);
    Bind(b);
    ctx_->dirty = N_DIRTY_CLIP_LIST | N_DIRTY_BUFFERS;
    b.hsurf = EngCreateBitmap(SIZEL{1, 1}, 4, BMF_32BPP, 0, nullptr);
    ImageCalls().clear();
    N_ReadPixels(0, 0, 1, 1, 8, 0, aj);
    ASSERT_EQ(ImageCalls().size(), 1u);
    EXPECT_EQ(ImageCalls()[0].fn, "get");
    EXPECT_EQ(ImageCalls()[0].kind, 0x4u);
    ImageCalls().clear();
    EngDeleteSurface(b.hsurf);
    EXPECT_TRUE(ctx_->dirty & N_DIRTY_CLIP_LIST) << "left for the next primitive";
}

}  // namespace
}  // namespace lgi_test
