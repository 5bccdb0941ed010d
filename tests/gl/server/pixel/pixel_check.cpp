// Pixel store, transfer and maps, and the pixel rectangles through the
// dispatch tables: the unpack of every format and type under random
// pixel-store modes against an unpacker written here from GL 1.0's rules,
// the pack of read-back images likewise, the requests at and one byte past
// their lengths, and the state their requests set.
#include <bit>
#include <cmath>
#include <cstring>
#include <random>

#include "mapped_segment.h"
#include "pixel/pixel.h"
#include "pixfmt/pixfmt.h"
#include "platform/faults.h"
#include "request_fixture.h"
#include "state/glstate.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;
using Bytes = std::vector<std::uint8_t>;

using glx::F;  // a float as its bits

// --- GL 1.0's pixel-store rules, as the reference ---------------------------------------

struct Store {
    bool swap = false, lsb = false;
    int rowLength = 0, skipRows = 0, skipPixels = 0, alignment = 4;
};

// Elements a row advances (GL 1.0): n l when the element size s is at least
// the alignment a, else a / s ceil(s n l / a); for bitmaps bytes,
// a ceil(n l / 8a).
std::size_t RowElements(const Store& st, int w, int n, int s) {
    const int l = st.rowLength > 0 ? st.rowLength : w;
    const int a = st.alignment;
    if (s == 0) return static_cast<std::size_t>(a * ((n * l + 8 * a - 1) / (8 * a)));
    if (s >= a) return static_cast<std::size_t>(n * l);
    return static_cast<std::size_t>(a / s * ((s * n * l + a - 1) / a));
}

// Client layout -> tightly packed rows (bitmaps: ceil(w n / 8) bytes a row,
// first pixel in the top bit).
Bytes RefUnpack(const Store& st, int w, int h, int n, int s, const Bytes& data) {
    const std::size_t k = RowElements(st, w, n, s);
    Bytes out;
    if (s == 0) {
        const std::size_t rowOut = static_cast<std::size_t>(w * n + 7) / 8;
        out.assign(rowOut * static_cast<std::size_t>(h), 0);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w * n; ++i) {
                const std::size_t bit = static_cast<std::size_t>(st.skipPixels * n + i);
                const std::uint8_t b = data.at((st.skipRows + j) * k + bit / 8);
                const int on = st.lsb ? (b >> (bit % 8)) & 1 : (b >> (7 - bit % 8)) & 1;
                if (on) out[j * rowOut + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
            }
        return out;
    }
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            for (int c = 0; c < n; ++c) {
                const std::size_t e = (st.skipRows + j) * k + static_cast<std::size_t>((st.skipPixels + i) * n + c);
                for (int b = 0; b < s; ++b) out.push_back(data.at(e * s + (st.swap ? s - 1 - b : b)));
            }
    return out;
}

// Tightly packed rows -> the pack layout, in a buffer of `size` zero bytes.
Bytes RefPack(const Store& st, int w, int h, int n, int s, const Bytes& packed, std::size_t size) {
    const std::size_t k = RowElements(st, w, n, s);
    Bytes out(size, 0);
    if (s == 0) {
        const std::size_t rowIn = static_cast<std::size_t>(w * n + 7) / 8;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w * n; ++i) {
                if (((packed[j * rowIn + i / 8] >> (7 - i % 8)) & 1) == 0) continue;
                const std::size_t bit = static_cast<std::size_t>(st.skipPixels * n + i);
                out.at((st.skipRows + j) * k + bit / 8) |=
                    static_cast<std::uint8_t>(st.lsb ? 1 << (bit % 8) : 0x80 >> (bit % 8));
            }
        return out;
    }
    std::size_t at = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            for (int c = 0; c < n; ++c) {
                const std::size_t e = (st.skipRows + j) * k + static_cast<std::size_t>((st.skipPixels + i) * n + c);
                for (int b = 0; b < s; ++b) out.at(e * s + (st.swap ? s - 1 - b : b)) = packed[at++];
            }
    return out;
}

Bytes Header(const Store& st) {
    Bytes b = {static_cast<std::uint8_t>(st.swap), static_cast<std::uint8_t>(st.lsb), 0, 0};
    for (int v : {st.rowLength, st.skipRows, st.skipPixels, st.alignment}) glx::Put32(b, static_cast<std::uint32_t>(v));
    return b;
}

struct Format {
    ULONG format;
    int n;
    ULONG code;
};
constexpr Format kFormats[] = {
    {GL_COLOR_INDEX, 1, 0}, {GL_STENCIL_INDEX, 1, 1}, {GL_DEPTH_COMPONENT, 1, 2}, {0x1903, 1, 3},
    {0x1904, 1, 4},         {0x1905, 1, 5},           {GL_ALPHA, 1, 6},           {GL_RGB, 3, 7},
    {GL_RGBA, 4, 8},        {GL_LUMINANCE, 1, 9},     {GL_LUMINANCE_ALPHA, 2, 10},
};
struct Type {
    ULONG type;
    int s;
    ULONG code;
};
constexpr Type kTypes[] = {
    {GL_UNSIGNED_BYTE, 1, 0}, {GL_BYTE, 1, 1}, {GL_BITMAP, 0, 2}, {GL_UNSIGNED_SHORT, 2, 3},
    {GL_SHORT, 2, 4},         {GL_UNSIGNED_INT, 4, 5}, {GL_INT, 4, 6}, {GL_FLOAT, 4, 7},
};

Store RandomStore(std::mt19937& rng, int w) {
    Store st;
    st.swap = rng() % 2;
    st.lsb = rng() % 2;
    st.skipRows = static_cast<int>(rng() % 3);
    st.skipPixels = static_cast<int>(rng() % 4);
    st.rowLength = rng() % 2 ? 0 : w + st.skipPixels + static_cast<int>(rng() % 3);
    st.alignment = 1 << (rng() % 4);
    return st;
}

class PixelTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        vis_.bRGBA = 1;
        vis_.cAlphaBits = 8;
        vis_.cDepthBits = 24;
        vis_.cStencilBits = 8;
        gc_.pvis = &vis_;
        gc_.pdraw = &draw_;  // single requests run only on a context with a drawable
        gc_.renderMode = GL_RENDER;
        header_ = MapRequestSegment(pgc_);
        gRecord = Record{};
    }

    ULONG Render(std::uint16_t op, const Bytes& body, std::uint32_t cjLess = 0) {
        return Run(__glXRenderTable, RenderRequest(op, static_cast<std::uint32_t>(body.size()) - cjLess, body));
    }
    static Bytes Body(std::initializer_list<std::uint32_t> words, const Bytes& tail = {}) {
        Bytes b;
        for (std::uint32_t w : words) glx::Put32(b, w);
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    }
    static Bytes DrawPixelsBody(const Store& st, int w, int h, ULONG format, ULONG type, const Bytes& data) {
        Bytes b = Header(st);
        const Bytes rest = Body({static_cast<ULONG>(w), static_cast<ULONG>(h), format, type}, data);
        b.insert(b.end(), rest.begin(), rest.end());
        return b;
    }

    // A single request; the reply's header and data (length words) are
    // read back.
    ULONG Single(const char* name, std::initializer_list<std::uint32_t> words) {
        return RunSingle(glx::Single(name, words));
    }
    ULONG RunSingle(const Bytes& req) {
        const BYTE op = req[1];
        std::memset(header_->reply, 0, sizeof header_->reply);
        const ULONG x = __glXSingleTable[op](pgc_, req.data());
        std::memcpy(&reply_, header_->reply, sizeof reply_);
        data_.clear();
        if (reply_.type == X_Reply && reply_.length * 4u <= SM_LIMIT) {
            const BYTE* pj = pgc_->pHeader + SM_FIRST_COMMAND;
            data_.assign(pj, pj + reply_.length * 4u);
        }
        return x;
    }
    LONG GetInteger(ULONG pname) {
        EXPECT_EQ(Single("GetIntegerv", {pname}), 0u);
        return static_cast<LONG>(reply_.pad3);
    }

    GLVisual vis_{};
    SMSegmentHeader* header_ = nullptr;
    xGLXSingleReply reply_{};
    Bytes data_;
};

// Every format and type, under random pixel-store modes, unpacks as GL 1.0
// lays the image out; the lgi layer gets the format's and type's codes.
TEST_F(PixelTest, DrawPixelsUnpacksEveryFormatAndType) {
    std::mt19937 rng(1234);
    for (const Format& f : kFormats) {
        for (const Type& t : kTypes) {
            if (t.s == 0 && f.format != GL_COLOR_INDEX && f.format != GL_STENCIL_INDEX) continue;
            for (int round = 0; round < 8; ++round) {
                const int w = 1 + static_cast<int>(rng() % 9), h = 1 + static_cast<int>(rng() % 4);
                const Store st = RandomStore(rng, w);
                SCOPED_TRACE(testing::Message() << std::hex << f.format << " " << t.type << std::dec << " w " << w
                                                << " h " << h << " swap " << st.swap << " lsb " << st.lsb
                                                << " row " << st.rowLength << " skip " << st.skipRows << ","
                                                << st.skipPixels << " align " << st.alignment);
                const std::size_t k = RowElements(st, w, f.n, t.s);
                const std::size_t cjRow = t.s == 0 ? k : k * t.s;
                Bytes data((st.skipRows + h) * cjRow + static_cast<std::size_t>(st.skipPixels * f.n * 4) + 16);
                for (auto& b : data) b = static_cast<std::uint8_t>(rng());
                const Bytes want = RefUnpack(st, w, h, f.n, t.s, data);
                gRecord = Record{};
                gAnswers.cjImage = want.size();
                gc_.error = 0;
                ASSERT_EQ(Render(173, DrawPixelsBody(st, w, h, f.format, t.type, data)), 0u);
                ASSERT_EQ(Calls("N_DrawPixels").size(), 1u);
                const Call& c = *Calls("N_DrawPixels")[0];
                EXPECT_EQ(c.args[0], static_cast<ULONG>(w));
                EXPECT_EQ(c.args[2], f.code);
                EXPECT_EQ(c.args[3], t.code);
                EXPECT_EQ(gRecord.image, want);
            }
        }
    }
}

// In place when the data already is the packed image; copied otherwise.
TEST_F(PixelTest, UnpackInPlaceOrCopied) {
    Bytes data(2 * 16, 0x5A);
    Store st;
    st.alignment = 4;  // RGBA bytes, width 3: a row is 12 bytes either way
    auto body = DrawPixelsBody(st, 3, 2, GL_RGBA, GL_UNSIGNED_BYTE, data);
    auto req = RenderRequest(173, static_cast<std::uint32_t>(body.size()), body);
    ASSERT_EQ(Run(__glXRenderTable, req), 0u);
    EXPECT_EQ(Calls("N_DrawPixels").back()->args[4], reinterpret_cast<std::uintptr_t>(req.data() + 40));
    st.alignment = 8;  // 16 bytes a row: copied into rows of 12
    body = DrawPixelsBody(st, 3, 2, GL_RGBA, GL_UNSIGNED_BYTE, data);
    req = RenderRequest(173, static_cast<std::uint32_t>(body.size()), body);
    ASSERT_EQ(Run(__glXRenderTable, req), 0u);
    EXPECT_NE(Calls("N_DrawPixels").back()->args[4], reinterpret_cast<std::uintptr_t>(req.data() + 40));

    // A bitmap of width 10 with no skips is used in place, the six low bits
    // of each row's second byte cleared; nothing past the rows is touched.
    st.alignment = 1;
    Bytes bits = {0xFF, 0xFF, 0xFF, 0xFF, 0xAB};
    body = Header(st);
    const Bytes rest = Body({10, 2, F(1), F(2), F(3), F(4)}, bits);
    body.insert(body.end(), rest.begin(), rest.end());
    req = RenderRequest(5, static_cast<std::uint32_t>(body.size()), body);
    ASSERT_EQ(Run(__glXRenderTable, req), 0u);
    const Call& c = *Calls("N_DrawBitmap").back();
    EXPECT_EQ(c.args[6], reinterpret_cast<std::uintptr_t>(req.data() + 48));
    EXPECT_EQ(Bytes(req.begin() + 48, req.end()), (Bytes{0xFF, 0xC0, 0xFF, 0xC0, 0xAB}));
    EXPECT_EQ(c.args[2], F(1));
    EXPECT_EQ(c.args[5], F(4));
}

// Requests at their lengths run; one byte short of what they describe is
// refused before anything is drawn (a short fixed part: BadLength; an image
// the pixel-store modes put past the data: GL_INVALID_VALUE).
TEST_F(PixelTest, RequestsAtAndPastTheirLength) {
    Store st;
    st.skipRows = 1;
    st.skipPixels = 2;
    st.rowLength = 5;
    st.alignment = 2;
    const int w = 3, h = 2;
    // Rows of 5 RGB shorts (30 bytes); the image ends at row 2, pixel 5.
    const std::size_t cj = 2 * 30 + 5 * 6;
    // A bitmap: rows of 2 bytes, 13 bits from bit 3; the last row's bits
    // end inside its last byte.
    Store bs;
    bs.alignment = 1;
    bs.skipPixels = 3;
    Bytes bm = Header(bs);
    const Bytes rest = Body({10, 2, 0, 0, 0, 0}, Bytes(4, 0xFF));
    bm.insert(bm.end(), rest.begin(), rest.end());
    const struct {
        std::uint16_t op;
        Bytes body;
        std::uint32_t cjFixed;
        const char* draw;
    } cases[] = {
        {173, DrawPixelsBody(st, w, h, GL_RGB, GL_SHORT, Bytes(cj, 1)), 36, "N_DrawPixels"},
        {5, bm, 44, "N_DrawBitmap"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        gc_.error = 0;
        EXPECT_EQ(Render(c.op, c.body), 0u);
        EXPECT_EQ(Render(c.op, c.body, 1), 2u);
        EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
        EXPECT_EQ(Calls(c.draw).size(), 1u);
        EXPECT_EQ(Render(c.op, Bytes(c.cjFixed, 0), 1), GLX_BAD_LENGTH);
    }

    // Row lengths and skips at the top of their range stay refused.
    st.rowLength = 0x7FFFFFFF;
    st.skipRows = 0x7FFFFFFF;
    gc_.error = 0;
    EXPECT_EQ(Render(173, DrawPixelsBody(st, w, h, GL_RGBA, GL_FLOAT, Bytes(64, 0))), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    st.rowLength = -1;
    EXPECT_EQ(Render(173, DrawPixelsBody(st, w, h, GL_RGBA, GL_FLOAT, Bytes(64, 0))), 2u);
    // A pixel map reads only the entries it carries.
    EXPECT_EQ(Render(168, Body({0x0C76, 3, F(1), F(2), F(3)})), 0u);
    EXPECT_EQ(Render(168, Body({0x0C76, 3, F(1), F(2), F(3)}), 1), GLX_BAD_LENGTH);
    EXPECT_EQ(Render(170, Body({0x0C76, 3, 0x00020001}, Bytes{3, 0})), 0u);
    EXPECT_EQ(Render(170, Body({0x0C76, 3, 0x00020001}, Bytes{3, 0}), 1), GLX_BAD_LENGTH);
    EXPECT_EQ(Render(172, Bytes(20, 0), 1), GLX_BAD_LENGTH);
    EXPECT_EQ(Render(166, Bytes(8, 0), 1), GLX_BAD_LENGTH);
}

// Format and type checks of DrawPixels, and the buffers the formats bind.
TEST_F(PixelTest, DrawPixelsChecks) {
    struct {
        int w;
        ULONG format, type;
        ULONG stencil, depth, rgba;
        ULONG gl;
    } cases[] = {
        {1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, 0, 24, 1, GL_INVALID_OPERATION},
        {1, GL_DEPTH_COMPONENT, GL_UNSIGNED_BYTE, 8, 0, 1, GL_INVALID_OPERATION},
        {1, GL_RGBA, GL_UNSIGNED_BYTE, 8, 24, 0, GL_INVALID_OPERATION},
        {1, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, 8, 24, 0, 0},
        {1, 0x190B, GL_UNSIGNED_BYTE, 8, 24, 1, GL_INVALID_ENUM},
        {1, GL_RGB, 0x1407, 8, 24, 1, GL_INVALID_ENUM},
        {-1, GL_RGB, GL_UNSIGNED_BYTE, 8, 24, 1, GL_INVALID_VALUE},
        {1, GL_STENCIL_INDEX, GL_BITMAP, 8, 24, 1, 0},
        {1, GL_COLOR_INDEX, GL_BITMAP, 8, 24, 0, 0},
        // A bitmap holds index data only.
        {1, GL_RGBA, GL_BITMAP, 8, 24, 1, GL_INVALID_ENUM},
        {1, GL_LUMINANCE, GL_BITMAP, 8, 24, 1, GL_INVALID_ENUM},
        {1, GL_DEPTH_COMPONENT, GL_BITMAP, 8, 24, 1, GL_INVALID_ENUM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format << " " << c.type);
        vis_.cStencilBits = c.stencil;
        vis_.cDepthBits = c.depth;
        vis_.bRGBA = c.rgba;
        gc_.error = 0;
        gc_.flBufferMask = 0x405;
        gRecord = Record{};
        Render(173, DrawPixelsBody(Store{}, c.w, 1, c.format, c.type, Bytes(16, 0)));
        EXPECT_EQ(gc_.error, c.gl);
        EXPECT_EQ(Calls("N_DrawPixels").size(), c.gl == 0 ? 1u : 0u);
    }
    gc_.flBufferMask = 0x405;
    Render(173, DrawPixelsBody(Store{}, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, Bytes(4, 0)));
    EXPECT_EQ(Calls("_DBindBuffers").back()->args[1], 0xD05u);
}

// A piece of a DrawPixels image: checked as DrawPixels is, its pixels
// unpacked by the request's header and drawn with its first column and row
// in the whole image; a negative column or row is GL's invalid value. The
// reach request answers the lgi layer's four integers.
TEST_F(PixelTest, DrawPixelsPiecesAndTheirReach) {
    const Bytes image = {1, 2, 3, 4, 5, 6, 7, 8};
    gAnswers.cjImage = image.size();
    auto piece = [&](ULONG col, ULONG row, ULONG format) {
        Bytes b = Header(Store{});
        const Bytes rest = Body({2, 1, format, GL_UNSIGNED_BYTE, col, row}, image);
        b.insert(b.end(), rest.begin(), rest.end());
        gc_.error = 0;
        gRecord = Record{};
        Render(X_GLrop_DrawPixelsPieceZYD, b);
        return gc_.error;
    };
    EXPECT_EQ(piece(300, 7, GL_RGBA), 0u);
    ASSERT_EQ(Calls("N_DrawPixelsPiece").size(), 1u);
    const auto& args = Calls("N_DrawPixelsPiece")[0]->args;
    EXPECT_EQ((std::vector<std::uintptr_t>(args.begin(), args.begin() + 6)),
              (std::vector<std::uintptr_t>{300, 7, 2, 1, __glXFormatCode(GL_RGBA), __glXTypeCode(GL_UNSIGNED_BYTE)}));
    EXPECT_EQ(gRecord.image, image);
    EXPECT_EQ(piece(static_cast<ULONG>(-1), 0, GL_RGBA), static_cast<ULONG>(GL_INVALID_VALUE));
    EXPECT_EQ(piece(0, static_cast<ULONG>(-8), GL_RGBA), static_cast<ULONG>(GL_INVALID_VALUE));
    EXPECT_EQ(piece(0, 0, GL_RGBA + 100), static_cast<ULONG>(GL_INVALID_ENUM));
    EXPECT_TRUE(Calls("N_DrawPixelsPiece").empty());

    EXPECT_EQ(Single("DrawPixelsReachZYD", {1u << 28, 2}), 0u);
    ASSERT_EQ(reply_.size, 4u);
    ASSERT_EQ(data_.size(), 16u);
    LONG reach[4];
    std::memcpy(reach, data_.data(), sizeof reach);
    EXPECT_EQ((std::vector<LONG>(reach, reach + 4)), (std::vector<LONG>{0, 0, 1 << 28, 2}));
}

// The context's pixel state cannot be made for the request's own unpack
// header: GL_OUT_OF_MEMORY, and the image is not read with another layout.
TEST_F(PixelTest, UnpackHeaderWithoutMemory) {
    Store st;
    st.skipPixels = 1;
    vnx::faults::arm("LocalAlloc");
    Render(173, DrawPixelsBody(st, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, Bytes(16, 0)));
    vnx::faults::clear();
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    EXPECT_TRUE(Calls("N_DrawPixels").empty());
    // With memory the same request draws.
    gc_.error = 0;
    Render(173, DrawPixelsBody(st, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, Bytes(16, 0)));
    EXPECT_EQ(gc_.error, 0u);
    EXPECT_EQ(Calls("N_DrawPixels").size(), 1u);
}

// PixelStore: the values and their checks; the float form rounds; a
// request's own header replaces the unpack state.
TEST_F(PixelTest, PixelStoreState) {
    struct {
        const char* op;
        ULONG pname, value;
        ULONG x, gl;
        ULONG read, want;
    } cases[] = {
        {"PixelStorei", 0x0CF5, 3, 2, GL_INVALID_VALUE, 0x0CF5, 4},
        {"PixelStoref", 0x0CF5, F(3.7f), 0, 0, 0x0CF5, 4},
        {"PixelStorei", 0x0D05, 8, 0, 0, 0x0D05, 8},
        {"PixelStorei", 0x0D02, 17, 0, 0, 0x0D02, 17},
        {"PixelStorei", 0x0CF3, static_cast<ULONG>(-1), 2, GL_INVALID_VALUE, 0x0CF3, 0},
        {"PixelStorei", 0x0CF4, 6, 0, 0, 0x0CF4, 6},
        {"PixelStoref", 0x0D04, F(2.4f), 0, 0, 0x0D04, 2},
        {"PixelStorei", 0x0CF0, 7, 0, 0, 0x0CF0, 1},
        {"PixelStorei", 0x0D01, 1, 0, 0, 0x0D01, 1},
        {"PixelStorei", 0x0CF6, 1, 2, GL_INVALID_ENUM, 0x0CF6, ~0u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.pname);
        gc_.error = 0;
        EXPECT_EQ(Single(c.op, {c.pname, c.value}), c.x);
        EXPECT_EQ(gc_.error, c.gl);
        if (c.want != ~0u) EXPECT_EQ(static_cast<ULONG>(GetInteger(c.read)), c.want);
    }
    EXPECT_EQ(GetInteger(0x0CB3), 1);  // PIXEL_MAP_I_TO_G_SIZE
    // Inside Begin/End a pixel store is an invalid operation.
    gc_.bInBegin = 1;
    gc_.error = 0;
    EXPECT_EQ(Single("PixelStorei", {0x0CF5, 1}), 10u);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    gc_.bInBegin = 0;

    Store st;
    st.rowLength = 9;
    st.skipPixels = 1;
    st.alignment = 1;
    ASSERT_EQ(Render(173, DrawPixelsBody(st, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, Bytes(16, 0))), 0u);
    EXPECT_EQ(GetInteger(0x0CF2), 9);
    EXPECT_EQ(GetInteger(0x0CF5), 1);
    EXPECT_EQ(GetInteger(0x0CF4), 1);
    // An alignment no mode has becomes 1 when the image is unpacked.
    st.alignment = 3;
    ASSERT_EQ(Render(173, DrawPixelsBody(st, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, Bytes(16, 0))), 0u);
    EXPECT_EQ(GetInteger(0x0CF5), 1);
}

// Pixel store belongs to no attribute group: a value set while a level is
// pushed outlives the pop, and freeing every level of a stack (as a context
// going away does) frees the server's records once.
TEST_F(PixelTest, PixelStoreOutlivesTheAttributeStack) {
    ASSERT_EQ(Render(142, Body({GL_PIXEL_MODE_BIT})), 0u);  // PushAttrib
    ASSERT_EQ(Single("PixelStorei", {0x0CF5, 2}), 0u);
    ASSERT_EQ(Render(141, {}), 0u);  // PopAttrib
    EXPECT_EQ(GetInteger(0x0CF5), 2);
    ASSERT_EQ(Render(142, Body({GL_PIXEL_MODE_BIT})), 0u);
    ASSERT_EQ(Single("PixelStorei", {0x0D05, 8}), 0u);
    EXPECT_EQ(GetInteger(0x0D05), 8);
    for (GLState* pgs = gc_.pState; pgs != nullptr;) {
        GLState* pNext = pgs->pNext;
        __glXFreeGLState(pgs, pgs->flPresent);
        pgs = pNext;
    }
    gc_.pState = nullptr;
}

// PixelTransfer: MAP_COLOR true only for exactly 1.0; the index values
// rounded; scales and biases as floats.
TEST_F(PixelTest, PixelTransferState) {
    struct {
        std::uint16_t op;
        ULONG pname, value;
        ULONG gl;
        ULONG attr, want;
    } cases[] = {
        {166, 0x0D10, F(2.0f), 0, 131, 0},
        {166, 0x0D10, F(1.0f), 0, 131, 1},
        {167, 0x0D11, 1, 0, 132, 1},
        {166, 0x0D12, F(2.6f), 0, 133, 3},
        {167, 0x0D13, static_cast<ULONG>(-4), 0, 134, static_cast<ULONG>(-4)},  // a whole value stays
        {166, 0x0D14, F(0.5f), 0, 135, F(0.5f)},
        {166, 0x0D1B, F(-0.25f), 0, 142, F(-0.25f)},
        {167, 0x0D1F, 2, 0, 144, F(2.0f)},
        {166, 0x0D16, F(1.0f), GL_INVALID_ENUM, 0, 0},
        {166, 0x0D20, F(1.0f), GL_INVALID_ENUM, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.pname);
        gc_.error = 0;
        gRecord = Record{};
        Render(c.op, Body({c.pname, c.value}));
        EXPECT_EQ(gc_.error, c.gl);
        if (c.gl == 0) EXPECT_EQ(Attr(c.attr), std::vector<ULONG>{c.want});
    }
}

// PixelMap: the checks, the conversions into integer and float maps, and
// GetPixelMap's three forms reading them back.
TEST_F(PixelTest, PixelMaps) {
    struct {
        std::uint16_t op;
        ULONG map;
        std::vector<std::uint32_t> values;
        LONG size;
        ULONG gl;
        std::vector<ULONG> want;  // the values stored
    } cases[] = {
        {168, 0x0C72, {F(1), F(2), F(3)}, 3, GL_INVALID_VALUE, {}},       // I_TO_R: not a power of two
        {168, 0x0C76, {F(1), F(2), F(3)}, 3, 0, {F(1), F(2), F(3)}},   // R_TO_R
        {168, 0x0C70, {F(2.6f), F(-1.2f)}, 2, 0, {3, 0xFFFFFFFF}},         // I_TO_I: to the nearest
        {169, 0x0C79, {7, 0xFFFFFFFF}, 2, 0, {F(7.0f), F(4294967296.0f)}}, // A_TO_A: unchanged
        {169, 0x0C71, {9}, 1, 0, {9}},
        {170, 0x0C70, {0xFFFF0002}, 2, 0, {2, 0xFFFF}},
        {168, 0x0C76, {}, 0, 0, {0}},                                        // kept as 1
        {168, 0x0C76, {}, 33, GL_INVALID_VALUE, {}},
        {168, 0x0C7A, {F(1)}, 1, GL_INVALID_ENUM, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.map << " " << std::dec << c.size);
        gc_.error = 0;
        gRecord = Record{};
        std::vector<std::uint32_t> w = {c.map, static_cast<ULONG>(c.size)};
        w.insert(w.end(), c.values.begin(), c.values.end());
        Bytes body;
        for (auto x : w) glx::Put32(body, x);
        Render(c.op, body);
        EXPECT_EQ(gc_.error, c.gl);
        const auto calls = Calls("N_SetPixelMaps");
        ASSERT_EQ(calls.size(), c.gl == 0 ? 1u : 0u);
        if (c.gl != 0) continue;
        std::vector<ULONG> got(calls[0]->args.begin() + 3, calls[0]->args.end());
        EXPECT_EQ(calls[0]->args[1], c.map - 0x0C70);
        EXPECT_EQ(got, c.want);
    }
    // Read back: the float map R_TO_R (1 entry after the last set), the
    // integer map I_TO_I in every form.
    ASSERT_EQ(Render(168, Body({0x0C70, 2, F(5), F(70000)})), 0u);
    ASSERT_EQ(Single("GetPixelMapfv", {0x0C70}), 0u);
    EXPECT_EQ(reply_.size, 2u);
    ASSERT_EQ(data_.size(), 8u);
    float f;
    std::memcpy(&f, data_.data(), 4);
    EXPECT_EQ(f, 5.0f);
    ASSERT_EQ(Single("GetPixelMapusv", {0x0C70}), 0u);
    EXPECT_EQ(data_, (Bytes{5, 0, 0xFF, 0xFF}));
    ASSERT_EQ(Single("GetPixelMapuiv", {0x0C76}), 0u);
    EXPECT_EQ(reply_.size, 1u);
    EXPECT_EQ(reply_.pad3, 0u);
    gc_.error = 0;
    EXPECT_EQ(Single("GetPixelMapfv", {0x0C6F}), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
}

// CopyPixels: the checks, the buffers each kind binds, nothing drawn while
// selecting.
TEST_F(PixelTest, CopyPixels) {
    struct {
        ULONG type;
        LONG w;
        ULONG depth, stencil;
        ULONG gl;
        ULONG code;
    } cases[] = {
        {0x1800, 4, 24, 8, 0, 0}, {0x1801, 4, 24, 8, 0, 2}, {0x1802, 4, 24, 8, 0, 1},
        {0x1801, 4, 0, 8, GL_INVALID_OPERATION, 0}, {0x1802, 4, 24, 0, GL_INVALID_OPERATION, 0},
        {0x1803, 4, 24, 8, GL_INVALID_ENUM, 0}, {0x1800, -4, 24, 8, GL_INVALID_VALUE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.type);
        vis_.cDepthBits = c.depth;
        vis_.cStencilBits = c.stencil;
        gc_.error = 0;
        gRecord = Record{};
        Render(172, Body({1, 2, static_cast<ULONG>(c.w), 3, c.type}));
        EXPECT_EQ(gc_.error, c.gl);
        const auto calls = Calls("N_CopyPixels");
        ASSERT_EQ(calls.size(), c.gl == 0 ? 1u : 0u);
        if (c.gl == 0) EXPECT_EQ(calls[0]->args[4], c.code);
    }
    gc_.renderMode = GL_SELECT;
    gc_.flBufferMask = 0x405;
    gRecord = Record{};
    ASSERT_EQ(Render(172, Body({1, 2, 3, 4, 0x1802})), 0u);
    EXPECT_EQ(Calls("N_CopyPixels").size(), 0u);
    EXPECT_EQ(Calls("_DBindBuffers").back()->args[1], 0x605u);
    // A bitmap while selecting, and one of no size, hand the lgi layer no
    // image, but their moves still reach it: the raster position moves.
    const struct {
        const char* what;
        ULONG mode, width, height;
    } moves[] = {
        {"selecting", GL_SELECT, 1, 1},
        {"no width", GL_RENDER, 0, 8},
        {"no height", GL_RENDER, 8, 0},
        {"no size", GL_RENDER, 0, 0},
    };
    for (const auto& m : moves) {
        SCOPED_TRACE(m.what);
        gc_.renderMode = m.mode;
        gc_.error = 0;
        gRecord = Record{};
        const Bytes bits(m.width != 0 && m.height != 0 ? 4 : 0, 0);
        ASSERT_EQ(Render(5, Body({0, 0, 0, 0, 1, m.width, m.height, 0, 0, F(7.5f), F(-3.0f)}, bits)), 0u);
        EXPECT_EQ(gc_.error, 0u);
        const auto calls = Calls("N_DrawBitmap");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0]->args[4], F(7.5f));
        EXPECT_EQ(calls[0]->args[5], F(-3.0f));
        EXPECT_EQ(calls[0]->args[6], 0u);
    }
}

// ReadPixels: the image packed by the pack state (random modes, every
// format and type) against the reference; the request's swap and LSB flags
// stand in for the state's.
TEST_F(PixelTest, ReadPixelsPacks) {
    std::mt19937 rng(77);
    for (const Format& f : kFormats) {
        for (const Type& t : kTypes) {
            if (t.s == 0 && f.format != GL_COLOR_INDEX && f.format != GL_STENCIL_INDEX) continue;
            const int w = 1 + static_cast<int>(rng() % 6), h = 1 + static_cast<int>(rng() % 3);
            Store st = RandomStore(rng, w);
            SCOPED_TRACE(testing::Message() << std::hex << f.format << " " << t.type << std::dec << " w " << w
                                            << " h " << h << " row " << st.rowLength << " skip " << st.skipRows
                                            << "," << st.skipPixels << " align " << st.alignment);
            ASSERT_EQ(Single("PixelStorei", {0x0D02, static_cast<ULONG>(st.rowLength)}), 0u);
            ASSERT_EQ(Single("PixelStorei", {0x0D03, static_cast<ULONG>(st.skipRows)}), 0u);
            ASSERT_EQ(Single("PixelStorei", {0x0D04, static_cast<ULONG>(st.skipPixels)}), 0u);
            ASSERT_EQ(Single("PixelStorei", {0x0D05, static_cast<ULONG>(st.alignment)}), 0u);
            const std::size_t cjPacked =
                t.s == 0 ? static_cast<std::size_t>((w * f.n + 7) / 8 * h) : static_cast<std::size_t>(w * h * f.n * t.s);
            gAnswers.readBack.resize(cjPacked);
            for (auto& b : gAnswers.readBack) b = static_cast<std::uint8_t>(rng());
            if (t.s == 0 && (w * f.n) % 8 != 0)  // the bits past each row are 0, as the reader leaves them
                for (int j = 0; j < h; ++j) gAnswers.readBack[(j + 1) * ((w * f.n + 7) / 8) - 1] &= static_cast<std::uint8_t>(0xFF00 >> ((w * f.n) % 8));
            const ULONG flags = ULONG{st.swap} | ULONG{st.lsb} << 8;
            if (f.format == GL_COLOR_INDEX) {
                // The RGBA visual holds no colour indices to read.
                EXPECT_EQ(Single("ReadPixels", {1, 2, static_cast<ULONG>(w), static_cast<ULONG>(h), f.format, t.type, flags}),
                          __glXErrorToX(GL_INVALID_OPERATION));
                continue;
            }
            ASSERT_EQ(Single("ReadPixels", {1, 2, static_cast<ULONG>(w), static_cast<ULONG>(h), f.format, t.type, flags}), 0u);
            const std::size_t k = RowElements(st, w, f.n, t.s);
            const std::size_t cjRow = t.s == 0 ? k : k * t.s;
            const bool bTight = st.skipRows == 0 && st.skipPixels == 0 && !(st.swap && t.s > 1) && !(t.s == 0 && st.lsb) &&
                                cjRow == (t.s == 0 ? static_cast<std::size_t>((w * f.n + 7) / 8) : static_cast<std::size_t>(w * f.n * t.s));
            // The reply covers the skipped rows and the image's, and the
            // image's last byte when a short row length puts it further.
            const std::size_t cjEnd = t.s == 0 ? ((st.skipRows + h - 1) * cjRow * 8 + st.skipPixels * f.n + w * f.n + 7) / 8
                                               : (st.skipRows + h - 1) * cjRow + (st.skipPixels + w) * f.n * t.s;
            const std::size_t cjWant = bTight ? cjPacked : std::max((st.skipRows + h) * cjRow, cjEnd);
            Store eff = st;
            eff.swap = st.swap && t.s > 1;
            const Bytes want = bTight ? gAnswers.readBack : RefPack(eff, w, h, f.n, t.s, gAnswers.readBack, cjWant);
            ASSERT_EQ(reply_.length, (cjWant + 3) / 4);
            ASSERT_GE(data_.size(), cjWant);
            EXPECT_EQ(Bytes(data_.begin(), data_.begin() + static_cast<long>(cjWant)), want);
            const auto read = Calls("N_ReadPixels");
            ASSERT_FALSE(read.empty());
            EXPECT_EQ(read.back()->args[4], f.code);
            EXPECT_EQ(read.back()->args[5], t.code);
        }
    }
}

// A visual without alpha bits reads alpha as the type's largest value.
TEST_F(PixelTest, ReadPixelsFillsAlpha) {
    vis_.cAlphaBits = 0;
    struct {
        ULONG type;
        Bytes alpha;  // the alpha element as the reply has it
    } cases[] = {
        {GL_UNSIGNED_BYTE, {255}}, {GL_BYTE, {127}}, {GL_SHORT, {0xFF, 0x7F}}, {GL_UNSIGNED_SHORT, {0xFF, 0xFF}},
        {GL_INT, {0xFF, 0xFF, 0xFF, 0x7F}}, {GL_UNSIGNED_INT, {0xFF, 0xFF, 0xFF, 0xFF}}, {GL_FLOAT, {0, 0, 0x80, 0x3F}},
    };
    ASSERT_EQ(Single("PixelStorei", {0x0D05, 1}), 0u);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.type);
        gAnswers.readBack.assign(2 * 2 * c.alpha.size(), 0);
        ASSERT_EQ(Single("ReadPixels", {0, 0, 2, 1, GL_LUMINANCE_ALPHA, c.type, 0}), 0u);
        const std::size_t s = c.alpha.size();
        ASSERT_GE(data_.size(), 4 * s);
        EXPECT_EQ(Bytes(data_.begin() + static_cast<long>(s), data_.begin() + static_cast<long>(2 * s)), c.alpha);
        EXPECT_EQ(Bytes(data_.begin() + static_cast<long>(3 * s), data_.begin() + static_cast<long>(4 * s)), c.alpha);
        EXPECT_EQ(data_[0], 0);
    }
    // Errors answer no image.
    gc_.error = 0;
    EXPECT_EQ(Single("ReadPixels", {0, 0, static_cast<ULONG>(-1), 1, GL_RGBA, GL_UNSIGNED_BYTE, 0}), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    vis_.cStencilBits = 0;
    gc_.error = 0;
    EXPECT_EQ(Single("ReadPixels", {0, 0, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, 0}), 10u);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    Bytes shortRead = glx::Single("ReadPixels", {0, 0, 1, 1, GL_RGBA, 0, 0});
    shortRead[2] = 2 + 5;  // five parameter words
    shortRead.resize(8 + 20);
    EXPECT_EQ(RunSingle(shortRead), GLX_BAD_LENGTH);
    // An image larger than the server reads back is out of memory.
    gc_.error = 0;
    EXPECT_EQ(Single("ReadPixels", {0, 0, 0x10000, 0x10000, GL_RGBA, GL_FLOAT, 0}), 11u);
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
}

// GetPolygonStipple: the stipple the lgi layer holds, packed by the pack
// state with the request's bit order.
TEST_F(PixelTest, GetPolygonStipple) {
    std::vector<ULONG> words(32);
    for (ULONG i = 0; i < 32; ++i) words[i] = 0x01020380u + i;
    gAnswers.attrs[N_ATTR_POLYGON_STIPPLE] = words;
    Bytes mask(128);
    std::memcpy(mask.data(), words.data(), 128);
    ASSERT_EQ(Single("GetPolygonStipple", {0}), 0u);
    EXPECT_EQ(reply_.length, 32u);
    EXPECT_EQ(data_, mask);
    ASSERT_EQ(Single("GetPolygonStipple", {1}), 0u);  // LSB first
    ASSERT_EQ(data_.size(), 128u);
    EXPECT_EQ(data_[0], 0x01);  // 0x80 reversed
    EXPECT_EQ(data_[1], 0xC0);  // 0x03 reversed
    // With skips the reply covers them.
    ASSERT_EQ(Single("PixelStorei", {0x0D03, 2}), 0u);
    ASSERT_EQ(Single("GetPolygonStipple", {0}), 0u);
    ASSERT_EQ(data_.size(), 136u);
    EXPECT_EQ(Bytes(data_.begin() + 8, data_.end()), mask);
}

}  // namespace
}  // namespace glsrv_double
