// The pixel store and the image commands: glPixelStore's checks; the
// unpacker and the packer for every pixel-store setting that matters
// against a reference in this file that addresses each element the way
// GL 1.0 defines it; the image, map and list commands inline and in the
// large form (read off a driver that answers nothing); and images, maps
// and stipples round-tripped through the real server.
#include <array>
#include <random>

#include "client_fixture.h"
#include "fake_driver_fixture.h"
#include "pixelstore.h"
#include "gl/glx/glx_encoder.h"

namespace {

using glclt_test::ClientTest;
using glclt_test::CurrentContextTest;
using glclt_test::FakeDriverTest;

const GLDispatchTable& Gl() { return gGLCltProcTable.glDispatchTable; }

// --- the reference -------------------------------------------------------------------
struct Store {
    LONG rowLength = 0, skipRows = 0, skipPixels = 0, alignment = 4;
    bool swap = false, lsb = false;
};

ULONG Components(GLenum format) {
    switch (format) {
        case GL_RGB: return 3;
        case GL_RGBA: return 4;
        case GL_LUMINANCE_ALPHA: return 2;
        default: return 1;
    }
}
ULONG ElementBytes(GLenum type) {
    switch (type) {
        case GL_SHORT:
        case GL_UNSIGNED_SHORT: return 2;
        case GL_INT:
        case GL_UNSIGNED_INT:
        case GL_FLOAT: return 4;
        default: return 1;
    }
}

// The byte offset of component j of pixel (x, y) in an application image
// laid out by the store (GL 1.0, section 3.6.3).
size_t ElementOffset(const Store& s, LONG width, GLenum format, GLenum type, LONG x, LONG y, ULONG j) {
    const size_t n = Components(format), b = ElementBytes(type);
    const size_t l = s.rowLength > 0 ? s.rowLength : width;
    const size_t a = s.alignment;
    const size_t k = b >= a ? n * l : a / b * ((n * b * l + a - 1) / a);  // elements a row
    return ((s.skipRows + y) * k + (s.skipPixels + x) * n + j) * b;
}
// The bit of pixel (x, y) of a bitmap: byte offset and bit mask.
std::pair<size_t, BYTE> BitOf(const Store& s, LONG width, LONG x, LONG y) {
    const size_t l = s.rowLength > 0 ? s.rowLength : width;
    const size_t a = s.alignment;
    const size_t k = a * ((l + 8 * a - 1) / (8 * a));  // bytes a row
    const size_t bit = s.skipPixels + x;
    const BYTE mask = s.lsb ? BYTE(1u << (bit % 8)) : BYTE(0x80u >> (bit % 8));
    return {(s.skipRows + y) * k + bit / 8, mask};
}

// The tight image the reference reads out of an application image.
std::vector<BYTE> RefUnpack(const Store& s, LONG w, LONG h, GLenum format, GLenum type, const BYTE* src) {
    std::vector<BYTE> out;
    if (type == GL_BITMAP) {
        const size_t row = (w + 7) / 8;
        out.assign(row * h, 0);
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                auto [off, mask] = BitOf(s, w, x, y);
                if (src[off] & mask) out[y * row + x / 8] |= BYTE(0x80u >> (x % 8));
            }
        return out;
    }
    const ULONG n = Components(format), b = ElementBytes(type);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            for (ULONG j = 0; j < n; ++j) {
                const size_t off = ElementOffset(s, w, format, type, x, y, j);
                for (ULONG q = 0; q < b; ++q) out.push_back(src[off + (s.swap ? b - 1 - q : q)]);
            }
    return out;
}

// The application image the reference writes from a server image (rows
// padded to 4 bytes) into dst.
void RefPack(const Store& s, LONG w, LONG h, GLenum format, GLenum type, const BYTE* src, BYTE* dst) {
    if (type == GL_BITMAP) {
        const size_t row = ((w + 7) / 8 + 3) & ~size_t{3};
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                auto [off, mask] = BitOf(s, w, x, y);
                if (src[y * row + x / 8] & (0x80u >> (x % 8))) dst[off] |= mask;
                else dst[off] &= BYTE(~mask);
            }
        return;
    }
    const ULONG n = Components(format), b = ElementBytes(type);
    const size_t row = (w * n * b + 3) & ~size_t{3};
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            for (ULONG j = 0; j < n; ++j)
                std::memcpy(dst + ElementOffset(s, w, format, type, x, y, j), src + y * row + (x * n + j) * b, b);
}

std::vector<BYTE> Noise(size_t cj, unsigned seed) {
    std::mt19937 g(seed);
    std::vector<BYTE> v(cj);
    for (BYTE& b : v) b = static_cast<BYTE>(g());
    return v;
}

// Settings that matter, each on its own and together.
const Store kStores[] = {
    {},
    {0, 0, 0, 1},
    {0, 0, 0, 2},
    {0, 0, 0, 8},
    {9, 0, 0, 4},
    {0, 2, 0, 4},
    {0, 0, 3, 4},
    {11, 1, 5, 8, true},
    {0, 0, 0, 1, true},
    {13, 3, 2, 2, false, true},
    {0, 0, 7, 1, false, true},
    {-5, 0, 0, 4},
};
struct Kind {
    GLenum format, type;
};
const Kind kKinds[] = {
    {GL_RGBA, GL_UNSIGNED_BYTE},   {GL_RGB, GL_UNSIGNED_BYTE},    {GL_LUMINANCE_ALPHA, GL_BYTE},
    {GL_RGBA, GL_UNSIGNED_SHORT},  {GL_RGB, GL_SHORT},            {GL_LUMINANCE, GL_FLOAT},
    {GL_COLOR_INDEX, GL_UNSIGNED_INT}, {GL_ALPHA, GL_INT},        {GL_COLOR_INDEX, GL_BITMAP},
};

void SetUnpack(ClientContext* cc, const Store& s) {
    PixelStoreState& p = cc->pixelStore;
    p.unpackRowLength = s.rowLength;
    p.unpackSkipRows = s.skipRows;
    p.unpackSkipPixels = s.skipPixels;
    p.unpackAlignment = s.alignment;
    p.unpackSwapBytes = s.swap;
    p.unpackLsbFirst = s.lsb;
}
void SetPack(ClientContext* cc, const Store& s) {
    PixelStoreState& p = cc->pixelStore;
    p.packRowLength = s.rowLength;
    p.packSkipRows = s.skipRows;
    p.packSkipPixels = s.skipPixels;
    p.packAlignment = s.alignment;
    p.packSwapBytes = s.swap;
    p.packLsbFirst = s.lsb;
}

TEST(ImagePacking, UnpackMatchesTheReferenceForEveryStore) {
    ClientContext cc{};
    for (const Store& s : kStores)
        for (const Kind& k : kKinds)
            for (LONG w : {1, 2, 5, 6, 13}) {
                SCOPED_TRACE(testing::Message() << "row " << s.rowLength << " skip " << s.skipRows << "," << s.skipPixels
                                                << " align " << s.alignment << " swap " << s.swap << " lsb " << s.lsb
                                                << " format " << k.format << " type " << k.type << " width " << w);
                const LONG h = 3;
                const std::vector<BYTE> src = Noise(4096, w * 7 + k.type);
                SetUnpack(&cc, s);
                const std::vector<BYTE> want = RefUnpack(s, w, h, k.format, k.type, src.data());
                std::vector<BYTE> got(want.size() + 8, 0xA5);
                BYTE block[20];
                std::memset(block, 0xFF, sizeof block);
                EXPECT_EQ(UnpackImage(&cc, w, h, k.format, k.type, src.data(), got.data(), block, 0), block);
                EXPECT_EQ(std::vector<BYTE>(got.begin(), got.begin() + want.size()), want);
                EXPECT_EQ(got[want.size()], 0xA5);  // nothing past the tight image
                const BYTE wantBlock[20] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
                EXPECT_EQ(std::memcmp(block, wantBlock, 20), 0);
            }
}

TEST(ImagePacking, PackMatchesTheReferenceAndTouchesNothingElse) {
    ClientContext cc{};
    for (const Store& s : kStores)
        for (const Kind& k : kKinds)
            for (LONG w : {1, 2, 5, 6, 13}) {
                SCOPED_TRACE(testing::Message() << "row " << s.rowLength << " skip " << s.skipRows << "," << s.skipPixels
                                                << " align " << s.alignment << " lsb " << s.lsb << " format "
                                                << k.format << " type " << k.type << " width " << w);
                const LONG h = 3;
                const std::vector<BYTE> src = Noise(1024, w + k.format);
                std::vector<BYTE> want = Noise(4096, 99), got = want;
                SetPack(&cc, s);
                RefPack(s, w, h, k.format, k.type, src.data(), want.data());
                PackImage(&cc, w, h, k.format, k.type, src.data(), got.data());
                EXPECT_EQ(got, want);
            }
}

TEST(ImagePacking, DrawPixelsConversionAndBitmapEdges) {
    ClientContext cc{};
    cc.pixelStore.unpackAlignment = 1;
    // 3 x 2 RGB: the second row first, each pixel blue, green, red, 0.
    const BYTE rgb[18] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    BYTE out[24];
    UnpackImage(&cc, 3, 2, GL_RGB, GL_UNSIGNED_BYTE, rgb, out, nullptr, CLT_UNPACK_DRAWPIXELS);
    const BYTE want[24] = {13, 12, 11, 0, 16, 15, 14, 0, 19, 18, 17, 0, 3, 2, 1, 0, 6, 5, 4, 0, 9, 8, 7, 0};
    EXPECT_EQ(std::memcmp(out, want, 24), 0);
    // A bitmap 10 wide with 3 pixels skipped: two bytes a row, the second
    // with its 2 bits on top and zeros below, and nothing read past the row.
    cc.pixelStore.unpackSkipPixels = 3;
    const BYTE bits[2] = {0xFF, 0xFF};
    BYTE row[3] = {0, 0, 0xA5};
    UnpackImage(&cc, 10, 1, GL_COLOR_INDEX, GL_BITMAP, bits, row, nullptr, 0);
    EXPECT_EQ(row[0], 0xFF);
    EXPECT_EQ(row[1], 0xC0);
    EXPECT_EQ(row[2], 0xA5);
    // Swap bytes: 16-bit values exchanged, bytes unchanged.
    cc.pixelStore = PixelStoreState{};
    cc.pixelStore.unpackAlignment = 1;
    cc.pixelStore.unpackSwapBytes = 1;
    const USHORT us[2] = {0x1234, 0xABCD};
    USHORT usOut[2];
    UnpackImage(&cc, 2, 1, GL_LUMINANCE, GL_UNSIGNED_SHORT, us, reinterpret_cast<BYTE*>(usOut), nullptr, 0);
    EXPECT_EQ(usOut[0], 0x3412);
    EXPECT_EQ(usOut[1], 0xCDAB);
    BYTE ub[2];
    UnpackImage(&cc, 2, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE, us, ub, nullptr, 0);
    EXPECT_EQ(std::memcmp(ub, us, 2), 0);
}

// --- glPixelStore ---------------------------------------------------------------------
class PixelStoreTest : public FakeDriverTest {
  protected:
    ClientContext* cc() const { return glclt_test::CC(h_); }
};

TEST_F(PixelStoreTest, ValuesAndErrors) {
    ClientContext* c = cc();
    Gl().PixelStorei(GL_UNPACK_ALIGNMENT, 3);
    EXPECT_EQ(c->pixelStore.unpackAlignment, 4);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_VALUE);
    Gl().PixelStoref(GL_UNPACK_ALIGNMENT, 7.6f);
    EXPECT_EQ(c->pixelStore.unpackAlignment, 8);
    c->pixelStore.packSkipRows = 3;
    Gl().PixelStoref(GL_PACK_SKIP_ROWS, -0.4f);
    EXPECT_EQ(c->pixelStore.packSkipRows, 0);
    Gl().PixelStorei(GL_PACK_SKIP_PIXELS, -1);
    EXPECT_EQ(c->pixelStore.packSkipPixels, 0);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_VALUE);
    Gl().PixelStorei(GL_UNPACK_ROW_LENGTH, -5);
    EXPECT_EQ(c->pixelStore.unpackRowLength, -5);
    Gl().PixelStoref(GL_PACK_SWAP_BYTES, -0.0f);
    EXPECT_EQ(c->pixelStore.packSwapBytes, 0);
    Gl().PixelStoref(GL_PACK_LSB_FIRST, 0.25f);
    EXPECT_EQ(c->pixelStore.packLsbFirst, 1);
    Gl().PixelStorei(GL_UNPACK_SWAP_BYTES, 7);
    EXPECT_EQ(c->pixelStore.unpackSwapBytes, 1);
    Gl().PixelStoref(GL_UNPACK_SKIP_ROWS, std::nanf(""));
    EXPECT_EQ(c->pixelStore.unpackSkipRows, 0);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_VALUE);
    Gl().PixelStorei(GL_LINE_WIDTH, 1);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_ENUM);
    Gl().Begin(GL_TRIANGLES);
    Gl().Vertex2f(0, 0);
    ASSERT_EQ(c->batching, 1u);
    Gl().PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    EXPECT_EQ(c->pixelStore.unpackAlignment, 8);
    EXPECT_EQ(c->error, static_cast<ULONG>(GL_INVALID_OPERATION));
}

// --- the commands, inline and large ---------------------------------------------------------
class LargeCommandTest : public FakeDriverTest {
  protected:
    // An empty half.
    void Fresh() {
        FlushSMSegment(ptb_);
        mark_ = ptb_->half->writeOffset;
        std::memset(reinterpret_cast<BYTE*>(ptb_->half) + mark_, 0xCC, 70000);
    }
    // The commands of the current half since Fresh.
    std::vector<glx::Bytes> Commands() const {
        std::vector<glx::Bytes> v;
        const BYTE* pj = reinterpret_cast<const BYTE*>(ptb_->half);
        for (ULONG off = mark_; off + 4 <= ptb_->half->writeOffset;) {
            std::uint16_t h[2];
            std::memcpy(h, pj + off, 4);
            if (h[0] < 4) break;
            v.emplace_back(pj + off, pj + off + h[0]);
            off += h[0];
        }
        return v;
    }
    ULONG Escapes(ULONG sub) const {
        ULONG c = 0;
        for (const FakeClientCall& call : drv_->clientCalls)
            if (call.what == "DrvEscape" && call.iEsc == OPENGL_CMD && !call.in.empty() && call.in[0] == sub) ++c;
        return c;
    }
    // The large command's inline part, at the half's first request, and
    // its out-of-line data.
    glx::Bytes LargeInline(ULONG cj) const {
        const BYTE* pj = reinterpret_cast<const BYTE*>(ptb_->half) + ptb_->half->readOffset;
        return glx::Bytes(pj, pj + cj);
    }
    glx::Bytes LargeData() const {
        const SMSegmentHeader* ph = ptb_->half;
        const BYTE* pj = reinterpret_cast<const BYTE*>(static_cast<std::uintptr_t>(ph->clientData));
        return pj != nullptr ? glx::Bytes(pj, pj + ph->clientDataSize) : glx::Bytes{};
    }
    ClientContext* cc() const { return glclt_test::CC(h_); }
    ULONG mark_ = 0;
};

glx::Bytes Cat(std::initializer_list<glx::Bytes> parts) {
    glx::Bytes b;
    for (const glx::Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}
glx::Bytes F32(std::initializer_list<float> v) {
    glx::Bytes b;
    for (float f : v) glx::Put32(b, glx::F(f));
    return b;
}
glx::Bytes F64(std::initializer_list<double> v) {
    glx::Bytes b(8 * v.size());
    std::memcpy(b.data(), std::data(v), b.size());
    return b;
}
const glx::Bytes kBlock = glx::Words({0, 0, 0, 0, 1});

TEST_F(LargeCommandTest, InlineCommandsByteForByte) {
    Fresh();
    const GLubyte names[3] = {7, 8, 9};
    Gl().CallLists(3, GL_UNSIGNED_BYTE, names);
    const float pts[20] = {1, 2, 3, -1, -1, 4, 5, 6, -1, -1, 7, 8, 9, -1, -1, 10, 11, 12, -1, -1};
    Gl().Map1f(GL_MAP1_VERTEX_3, 0.0f, 2.0f, 5, 4, pts);
    const double dpts[6] = {1, 2, 3, 4, 5, 6};
    Gl().Map2d(GL_MAP2_TEXTURE_COORD_1, 0, 1, 3, 2, 2, 3, 1, 3, dpts);
    const GLushort us[3] = {1, 2, 3};
    Gl().PixelMapusv(GL_PIXEL_MAP_I_TO_R, 3, us);
    const GLfloat fv[2] = {0.5f, 0.25f};
    Gl().PixelMapfv(GL_PIXEL_MAP_I_TO_G, 2, fv);
    Gl().Bitmap(0, 0, 0, 0, 5.0f, 0, nullptr);
    const GLubyte bm[2] = {0xAA, 0x55};
    Gl().PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    Gl().Bitmap(8, 2, 1.0f, 2.0f, 3.0f, 4.0f, bm);
    const GLubyte rgba[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Gl().DrawPixels(2, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    const std::vector<glx::Bytes> c = Commands();
    ASSERT_EQ(c.size(), 8u);
    // CallLists: 16 bytes; the byte after the names is not written.
    EXPECT_EQ(c[0], Cat({glx::RawRender(16, X_GLrop_CallLists, {3, GL_UNSIGNED_BYTE}), {7, 8, 9, 0xCC}}));
    EXPECT_EQ(c[1], Cat({glx::RawRender(68, X_GLrop_Map1f, {GL_MAP1_VERTEX_3, glx::F(0), glx::F(2), 4}),
                         F32({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})}));
    EXPECT_EQ(c[2], Cat({glx::RawRender(96, X_GLrop_Map2d), F64({0, 1, 2, 3}),
                         glx::Words({GL_MAP2_TEXTURE_COORD_1, 2, 3}), F64({1, 2, 3, 4, 5, 6})}));
    EXPECT_EQ(c[3], Cat({glx::RawRender(20, X_GLrop_PixelMapusv, {GL_PIXEL_MAP_I_TO_R, 3}), {1, 0, 2, 0, 3, 0, 0xCC, 0xCC}}));
    EXPECT_EQ(c[4], Cat({glx::RawRender(20, X_GLrop_PixelMapfv, {GL_PIXEL_MAP_I_TO_G, 2}), F32({0.5f, 0.25f})}));
    EXPECT_EQ(c[5], Cat({glx::RawRender(48, X_GLrop_Bitmap), kBlock, glx::Words({0, 0}), F32({0, 0, 5, 0})}));
    EXPECT_EQ(c[6], Cat({glx::RawRender(52, X_GLrop_Bitmap), kBlock, glx::Words({8, 2}), F32({1, 2, 3, 4}),
                         {0xAA, 0x55, 0xCC, 0xCC}}));
    EXPECT_EQ(c[7], Cat({glx::RawRender(48, X_GLrop_DrawPixels), kBlock,
                         glx::Words({2, 1, GL_RGBA, GL_UNSIGNED_BYTE}), {1, 2, 3, 4, 5, 6, 7, 8}}));
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), 0u);
}

TEST_F(LargeCommandTest, TexturesAndLongCommandsTakeTheLargeForm) {
    // A texture image of any size: the half handed over first, the 60-byte
    // inline part at the start of the fresh one, the image out of line.
    Fresh();
    Gl().Flush();  // something sent: the half's first request
    glclt_test::Render(ptb_, X_GLrop_LineWidth, {2.0f});
    const ULONG cHandOvers = Escapes(GLCMD_WRAPSMREADPOINTER);
    const GLubyte texel[4] = {9, 8, 7, 6};
    Gl().TexImage2D(GL_TEXTURE_2D, 0, 4, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    EXPECT_EQ(Escapes(GLCMD_WRAPSMREADPOINTER), cHandOvers + 1);
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), 1u);
    EXPECT_EQ(LargeInline(60), Cat({glx::RenderLarge(X_GLrop_TexImage2D, {}, 60), kBlock,
                                   glx::Words({GL_TEXTURE_2D, 0, 4, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE})}));
    EXPECT_EQ(LargeData(), (glx::Bytes{9, 8, 7, 6}));
    EXPECT_EQ(ptb_->half->writeOffset, ptb_->half->readOffset);
    // An empty half is not handed over.
    Gl().TexImage1D(GL_TEXTURE_1D, 1, 3, 2, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, texel);
    EXPECT_EQ(Escapes(GLCMD_WRAPSMREADPOINTER), cHandOvers + 1);
    EXPECT_EQ(LargeInline(60), Cat({glx::RenderLarge(X_GLrop_TexImage1D, {}, 60), kBlock,
                                   glx::Words({GL_TEXTURE_1D, 1, 3, 2, 1, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE})}));
    EXPECT_EQ(LargeData(), (glx::Bytes{9, 8, 0, 0}));

    // 128 x 128 RGBA bytes: 65,576 bytes inline would not fit the 16-bit length.
    std::vector<GLubyte> image = Noise(128 * 128 * 4, 3);
    Gl().DrawPixels(128, 128, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), 3u);
    EXPECT_EQ(LargeInline(44), Cat({glx::RenderLarge(X_GLrop_DrawPixels, {}, 44), kBlock,
                                   glx::Words({128, 128, GL_RGBA, GL_UNSIGNED_BYTE})}));
    EXPECT_EQ(LargeData(), image);
    // One row less fits inline.
    Fresh();
    Gl().DrawPixels(128, 127, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), 3u);
    ASSERT_EQ(Commands().size(), 1u);
    EXPECT_EQ(Commands()[0].size(), 40u + 128 * 127 * 4);

    // A long name array, a long map with a stride, a long pixel map.
    std::vector<GLuint> names(20000);
    for (size_t i = 0; i < names.size(); ++i) names[i] = static_cast<GLuint>(i);
    Gl().CallLists(20000, GL_UNSIGNED_INT, names.data());
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), 4u);
    EXPECT_EQ(LargeInline(16), glx::RenderLarge(X_GLrop_CallLists, {20000, GL_UNSIGNED_INT}));
    EXPECT_EQ(LargeData().size(), 80000u);
    EXPECT_EQ(std::memcmp(LargeData().data(), names.data(), 80000), 0);

    std::vector<double> pts(4 * 3000);
    for (size_t i = 0; i < pts.size(); ++i) pts[i] = static_cast<double>(i);
    Gl().Map1d(GL_MAP1_VERTEX_3, 0, 1, 4, 3000, pts.data());
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), 5u);
    glx::Bytes fixed = glx::RenderLarge(X_GLrop_Map1d, {}, 32);
    const glx::Bytes dom = F64({0, 1});
    fixed.insert(fixed.end(), dom.begin(), dom.end());
    glx::Put32(fixed, GL_MAP1_VERTEX_3);
    glx::Put32(fixed, 3000);
    EXPECT_EQ(LargeInline(32), fixed);
    const glx::Bytes data = LargeData();
    ASSERT_EQ(data.size(), 3000u * 3 * 8);
    std::vector<double> got(3000 * 3);
    std::memcpy(got.data(), data.data(), data.size());
    EXPECT_EQ(got[3], 4.0);  // the second point, compacted
    EXPECT_EQ(got[8998], 4 * 2999 + 1.0);

    // A pixel map longer than the server's largest is GL's invalid value,
    // refused before its values are taken: no command goes.
    std::vector<GLuint> map(17000, 5);
    Gl().PixelMapuiv(GL_PIXEL_MAP_I_TO_I, 17000, map.data());
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), 5u);
    EXPECT_EQ(Gl().GetError(), static_cast<GLenum>(GL_INVALID_VALUE));
}

// The longest inline command is 65,532 bytes, the most the 16-bit length
// holds in whole words: 4 bytes more take the large form (inline its length
// would wrap to 0, the end of the stream).
TEST_F(LargeCommandTest, InlineLengthEndsAt65532Bytes) {
    std::vector<GLubyte> names(65524, 3);
    Fresh();
    const ULONG cLarge = Escapes(GLCMD_RENDERLARGE);
    Gl().CallLists(65520, GL_UNSIGNED_BYTE, names.data());  // 12 + 65,520 bytes
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), cLarge);
    const std::vector<glx::Bytes> c = Commands();
    ASSERT_EQ(c.size(), 1u);
    ASSERT_EQ(c[0].size(), 65532u);
    EXPECT_EQ(c[0][0] | (c[0][1] << 8), 65532);
    for (GLsizei n : {65521, 65524}) {
        SCOPED_TRACE(n);
        Fresh();
        Gl().CallLists(n, GL_UNSIGNED_BYTE, names.data());
        EXPECT_TRUE(Commands().empty()) << "nothing inline";
        EXPECT_EQ(LargeInline(16), glx::RenderLarge(X_GLrop_CallLists, {static_cast<ULONG>(n), GL_UNSIGNED_BYTE}));
        EXPECT_EQ(LargeData().size(), static_cast<size_t>(n));
    }
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), cLarge + 2);
}

// A command the server would refuse for its size (more than SM_LARGE_MAX
// with its inline part) is GL_OUT_OF_MEMORY at the client and is not sent;
// one that fits exactly goes. A glBitmap's inline part is 8 + 44 bytes, its
// image a byte for 8 columns of a row.
TEST_F(LargeCommandTest, CommandsBeyondTheServersLargestAreOutOfMemory) {
    struct Case {
        GLsizei width, height;
        GLenum error;
    };
    const Case kCases[] = {
        {8, static_cast<GLsizei>(SM_LARGE_MAX - 52), GL_NO_ERROR},
        {8, static_cast<GLsizei>(SM_LARGE_MAX - 52 + 4), GL_OUT_OF_MEMORY},
        {0x7FFFFFF8, 2, GL_OUT_OF_MEMORY},  // 512 MB
    };
    const std::vector<GLubyte> bits(SM_LARGE_MAX, 0x5A);
    Gl().PixelStorei(GL_UNPACK_ALIGNMENT, 1);  // the application's rows of one byte
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        Fresh();
        const ULONG cLarge = Escapes(GLCMD_RENDERLARGE);
        Gl().Bitmap(c.width, c.height, 0, 0, 1.0f, 0, bits.data());
        EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), cLarge + (c.error == GL_NO_ERROR ? 1u : 0u));
        if (c.error == GL_NO_ERROR) EXPECT_EQ(LargeData().size(), static_cast<size_t>(c.height));
        EXPECT_TRUE(Commands().empty()) << "nothing inline";
        EXPECT_EQ(Gl().GetError(), c.error);
    }
}

TEST_F(LargeCommandTest, ChecksAndTheOpenBatch) {
    Fresh();
    const float pts[8] = {};
    Gl().Map1f(GL_MAP1_VERTEX_3, 0, 1, 2, 2, pts);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_VALUE);
    Gl().Map1f(GL_MAP1_GRID_DOMAIN, 0, 1, 3, 2, pts);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_ENUM);
    Gl().Map2f(GL_MAP2_INDEX, 0, 1, 1, 0, 0, 1, 1, 2, pts);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_VALUE);
    Gl().PixelMapfv(GL_PIXEL_MAP_I_TO_R, -1, nullptr);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_VALUE);
    Fresh();
    Gl().Begin(GL_TRIANGLES);
    Gl().Vertex2f(0, 0);
    ASSERT_EQ(cc()->batching, 1u);
    const GLubyte stipple[128] = {};
    const ULONG cLarge = Escapes(GLCMD_RENDERLARGE);
    Gl().PolygonStipple(stipple);
    Gl().Bitmap(1, 1, 0, 0, 0, 0, stipple);
    Gl().DrawPixels(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, stipple);
    Gl().TexImage2D(GL_TEXTURE_2D, 0, 4, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, stipple);
    Gl().PixelMapfv(GL_PIXEL_MAP_I_TO_R, 1, nullptr);
    Gl().Map1f(GL_MAP1_VERTEX_3, 0, 1, 3, 2, pts);
    EXPECT_EQ(cc()->error, static_cast<ULONG>(GL_INVALID_OPERATION));
    EXPECT_EQ(Escapes(GLCMD_RENDERLARGE), cLarge);
    // glCallLists is sent, after the vertices before it.
    const GLubyte names[1] = {4};
    Gl().CallLists(1, GL_UNSIGNED_BYTE, names);
    const std::vector<glx::Bytes> c = Commands();
    ASSERT_GE(c.size(), 3u);
    EXPECT_EQ(c.front(), glx::Render("Begin", {GL_TRIANGLES}));
    EXPECT_EQ(c.back(), Cat({glx::RawRender(16, X_GLrop_CallLists, {1, GL_UNSIGNED_BYTE}), {4, 0xCC, 0xCC, 0xCC}}));
    for (const glx::Bytes& b : c) {
        std::uint16_t op;
        std::memcpy(&op, b.data() + 2, 2);
        EXPECT_TRUE(op != X_GLrop_PolygonStipple && op != X_GLrop_Bitmap && op != X_GLrop_DrawPixels);
    }
}

// --- through the server ---------------------------------------------------------------------
class PixelsTest : public CurrentContextTest {
  protected:
    void RasterPos(float x, float y) {
        glclt_test::Render(ptb_, X_GLrop_RasterPos2fv, {x, y});
    }
};

// The server's own answer to a ReadPixels request written by the tests'
// encoder: the image with rows padded to 4 bytes.
std::vector<BYTE> ServerImage(ThreadBlock* ptb, LONG w, LONG h, GLenum format, GLenum type) {
    FlushSMSegment(ptb);
    const glx::Bytes req = glx::Single("ReadPixels", {0, 0, static_cast<ULONG>(w), static_cast<ULONG>(h), format, type, 0});
    BYTE* pj = pjAppendRender(ptb, static_cast<ULONG>(req.size()));
    if (pj == nullptr) return {};
    std::memcpy(pj, req.data(), req.size());
    SendSingle(ptb);
    const glx::Reply r = glx::ReadReply(ptb->half->reply);
    const BYTE* data = reinterpret_cast<const BYTE*>(ptb->half) + ptb->half->readOffset;
    if (r.type != 1 || ptb->half->replyInClientMemory != 0) return {};
    return std::vector<BYTE>(data, data + 4 * r.length);
}

TEST_F(PixelsTest, ReadPixelsStoresTheServersAnswerWithEveryStore) {
    const LONG w = 7, h = 5;
    const Kind kinds[] = {{GL_RGBA, GL_UNSIGNED_BYTE}, {GL_RGB, GL_UNSIGNED_BYTE}, {GL_RGBA, GL_FLOAT},
                          {GL_LUMINANCE_ALPHA, GL_UNSIGNED_SHORT}, {GL_ALPHA, GL_UNSIGNED_BYTE}};
    for (const Kind& k : kinds)
        for (const Store& s : kStores) {
            SCOPED_TRACE(testing::Message() << "row " << s.rowLength << " skip " << s.skipRows << "," << s.skipPixels
                                            << " align " << s.alignment << " format " << k.format << " type " << k.type);
            Store plain = s;
            plain.swap = false;
            const std::vector<BYTE> answer = ServerImage(ptb_, w, h, k.format, k.type);
            ASSERT_EQ(answer.size(), h * ((w * Components(k.format) * ElementBytes(k.type) + 3) & ~3u));
            std::vector<BYTE> want(8192, 0x5A), got(8192, 0x5A);
            RefPack(plain, w, h, k.format, k.type, answer.data(), want.data());
            SetPack(cc_, plain);
            Gl().ReadPixels(0, 0, w, h, k.format, k.type, got.data());
            EXPECT_EQ(got, want);
            // The same image drawn with the same store for unpacking is
            // taken whole.
            SetUnpack(cc_, plain);
            RasterPos(-1.0f, -1.0f);
            Gl().DrawPixels(w, h, k.format, k.type, got.data());
            EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
        }
    // A read of nothing writes nothing.
    std::vector<BYTE> none(64, 0x5A);
    Gl().ReadPixels(0, 0, 0, h, GL_RGBA, GL_UNSIGNED_BYTE, none.data());
    EXPECT_EQ(none, std::vector<BYTE>(64, 0x5A));
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
    // A negative size is the server's GL_INVALID_VALUE, and nothing is written.
    const LONG sizes[][2] = {{-1, h}, {w, -1}, {-7, -5}, {static_cast<LONG>(0x80000000u), 1}};
    for (const auto& wh : sizes) {
        SCOPED_TRACE(testing::Message() << wh[0] << " x " << wh[1]);
        Gl().ReadPixels(0, 0, wh[0], wh[1], GL_RGBA, GL_UNSIGNED_BYTE, none.data());
        EXPECT_EQ(none, std::vector<BYTE>(64, 0x5A));
        EXPECT_EQ(Gl().GetError(), GL_INVALID_VALUE);
        EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
    }
}

TEST_F(PixelsTest, TextureImagesComeBackWithThePackStore) {
    const LONG w = 4, h = 4;
    const std::vector<BYTE> tex = Noise(w * h * 4, 11);
    // Unpacked from an image with skips and a row length, packed into one
    // with others.
    Store in{6, 1, 2, 8};
    std::vector<BYTE> app(4096, 0);
    RefPack(in, w, h, GL_RGBA, GL_UNSIGNED_BYTE, tex.data(), app.data());
    SetUnpack(cc_, in);
    Gl().TexImage2D(GL_TEXTURE_2D, 0, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, app.data());
    Store out{9, 2, 1, 2};
    SetPack(cc_, out);
    std::vector<BYTE> back(4096, 0x77), want(4096, 0x77);
    Gl().GetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back.data());
    RefPack(out, w, h, GL_RGBA, GL_UNSIGNED_BYTE, tex.data(), want.data());
    EXPECT_EQ(back, want);
    GLint iw = 0;
    Gl().GetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &iw);
    EXPECT_EQ(iw, w);
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
}

TEST_F(PixelsTest, StippleMapsAndPixelMapsRoundTrip) {
    // The stipple, LSB first and skipped on the way in, MSB first back.
    std::array<BYTE, 128> mask{};
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<BYTE>(i * 29 + 1);
    Store in{0, 0, 0, 4, false, true};
    std::vector<BYTE> app(512, 0);
    RefPack(in, 32, 32, GL_COLOR_INDEX, GL_BITMAP, mask.data(), app.data());
    SetUnpack(cc_, in);
    Gl().PolygonStipple(app.data());
    std::array<BYTE, 128> back{};
    Gl().GetPolygonStipple(back.data());
    EXPECT_EQ(back, mask);
    // With LSB first and skipped pixels for packing, bits outside stay.
    Store out{40, 1, 3, 1, false, true};
    SetPack(cc_, out);
    std::vector<BYTE> got(512, 0x5A), want(512, 0x5A);
    Gl().GetPolygonStipple(got.data());
    RefPack(out, 32, 32, GL_COLOR_INDEX, GL_BITMAP, mask.data(), want.data());
    EXPECT_EQ(got, want);

    // An evaluator map with a stride, compacted on the way.
    const float pts[10] = {1, 2, 3, 0, 0, 4, 5, 6, 0, 0};
    Gl().Map1f(GL_MAP1_VERTEX_3, 0.5f, 2.0f, 5, 2, pts);
    GLfloat coeff[6] = {};
    Gl().GetMapfv(GL_MAP1_VERTEX_3, GL_COEFF, coeff);
    EXPECT_EQ(std::vector<float>(coeff, coeff + 6), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    GLdouble dom[2] = {};
    Gl().GetMapdv(GL_MAP1_VERTEX_3, GL_DOMAIN, dom);
    EXPECT_EQ(dom[0], 0.5);
    EXPECT_EQ(dom[1], 2.0);
    GLint order = 0;
    Gl().GetMapiv(GL_MAP1_VERTEX_3, GL_ORDER, &order);
    EXPECT_EQ(order, 2);
    const double pts2[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Gl().Map2d(GL_MAP2_TEXTURE_COORD_2, 0, 1, 6, 2, 0, 1, 2, 3, pts2);
    GLdouble c2[12] = {};
    Gl().GetMapdv(GL_MAP2_TEXTURE_COORD_2, GL_COEFF, c2);
    EXPECT_EQ(std::vector<double>(c2, c2 + 12), std::vector<double>(pts2, pts2 + 12));

    const GLfloat fmap[3] = {0.0f, 0.5f, 1.0f};
    Gl().PixelMapfv(GL_PIXEL_MAP_R_TO_R, 3, fmap);
    GLfloat fback[3] = {};
    Gl().GetPixelMapfv(GL_PIXEL_MAP_R_TO_R, fback);
    EXPECT_EQ(std::vector<float>(fback, fback + 3), std::vector<float>(fmap, fmap + 3));
    const GLushort usmap[4] = {3, 1, 4, 1};
    Gl().PixelMapusv(GL_PIXEL_MAP_I_TO_I, 4, usmap);
    GLushort usback[4] = {};
    Gl().GetPixelMapusv(GL_PIXEL_MAP_I_TO_I, usback);
    EXPECT_EQ(std::vector<GLushort>(usback, usback + 4), std::vector<GLushort>(usmap, usmap + 4));
    GLuint uiback[4] = {};
    Gl().GetPixelMapuiv(GL_PIXEL_MAP_I_TO_I, uiback);
    EXPECT_EQ(uiback[2], 4u);
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
}

}  // namespace
