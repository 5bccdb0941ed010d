// The GL layer's image transfers of the lgi layer: screen rows and
// rectangles of the pixel paths mapped onto the GL server core's transfers
// (rows turned top row first, zoomed sizes, byte images, stereo copies),
// row reads widened to words, rectangles that the transfers cannot take
// refused, and the direct read of read pixels in GL window rows.
#include <algorithm>
#include <cstring>

#include "3d/queue/queue.h"
#include "3d/pixels/pixelpath.h"
#include "context/image.h"
#include "gl/server/lgi/image_double.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "platform/engine.h"
#include "lgi/seams.h"

namespace lgi_test {
namespace {

GLBufferSet* const kSet = reinterpret_cast<GLBufferSet*>(0x5e7);
ULONG (*gpfnPixel)(ULONG, LONG, LONG) = nullptr;
ULONG gcjPixel = 4;

}  // namespace

std::vector<ImageCall>& ImageCalls() {
    static std::vector<ImageCall> v;
    return v;
}
void ServeReads(ULONG (*pixel)(ULONG, LONG, LONG), ULONG cjPixel) {
    gpfnPixel = pixel;
    gcjPixel = cjPixel;
}

}  // namespace lgi_test

using lgi_test::ImageCall;
using lgi_test::ImageCalls;

GLBufferSet* _DBufferSetOf(const GLBuffer* pb) {
    return pb != nullptr && pb->memoryKind == GLBUFFER_MEMORY_DEVICE ? lgi_test::kSet : nullptr;
}
ULONG _DGetImage(GLBufferSet* pbs, ULONG kind, LONG x, LONG y, LONG cx, LONG cy, void* pvDest) {
    ImageCall c{"get", kind, 0, x, y, cx, cy};
    ImageCalls().push_back(c);
    if (pbs != lgi_test::kSet || lgi_test::gpfnPixel == nullptr) return 0;
    auto* pj = static_cast<BYTE*>(pvDest);
    for (LONG r = 0; r < cy; ++r)
        for (LONG i = 0; i < cx; ++i) {
            const ULONG v = lgi_test::gpfnPixel(kind, x + i, y + r);
            std::memcpy(pj + (std::size_t(r) * cx + i) * lgi_test::gcjPixel, &v, lgi_test::gcjPixel);
        }
    return 1;
}
ULONG _DPutImage(GLBufferSet*, ULONG kind, LONG x, LONG y, LONG cx, LONG cy, void* pvSource) {
    ImageCall c{"put", kind, 0, x, y, cx, cy};
    const std::size_t n = std::size_t(cx) * std::size_t(cy);
    if (kind & 0x80000000u) {
        const auto* pj = static_cast<const BYTE*>(pvSource);
        c.words.assign(pj, pj + n);
    } else {
        const auto* pul = static_cast<const ULONG*>(pvSource);
        c.words.assign(pul, pul + n);
    }
    ImageCalls().push_back(c);
    return 1;
}
ULONG _DPutImageZoom(GLBufferSet*, ULONG kind, LONG x, LONG y, LONG cxSource, LONG cySource, LONG cxDest,
                     LONG cyDest, const ULONG aulZoom[4], void* pvSource) {
    ImageCall c{"zoom", kind, 0, x, y, cxSource, cySource};
    c.cxDest = cxDest;
    c.cyDest = cyDest;
    const auto* pul = static_cast<const ULONG*>(pvSource);
    c.words.assign(pul, pul + std::size_t(cxSource) * std::size_t(cySource));
    c.words.insert(c.words.end(), aulZoom, aulZoom + 4);
    ImageCalls().push_back(c);
    return 1;
}
ULONG _DCopyImage(GLBufferSet*, ULONG kindSource, ULONG kindDest, LONG x, LONG y, LONG cx, LONG cy, LONG xSource,
                  LONG ySource) {
    ImageCall c{"copy", kindDest, kindSource, x, y, cx, cy, xSource, ySource};
    ImageCalls().push_back(c);
    return 1;
}

namespace lgi_test {
namespace {

// A board buffer of the kind whose surface has the format.
struct BoardBuffer {
    GLBuffer b{};
    HSURF hsurf = nullptr;
    BoardBuffer(ULONG kind, ULONG iFormat) {
        hsurf = EngCreateBitmap(SIZEL{1, 1}, 4, iFormat, 0, nullptr);
        b.kind = kind;
        b.memoryKind = GLBUFFER_MEMORY_DEVICE;
        b.hsurf = hsurf;
        b.x = 100;
        b.y = 80;
        b.cx = 256;
        b.cy = 192;
    }
    ~BoardBuffer() { EngDeleteSurface(hsurf); }
};

class ImageXferTest : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        ImageCalls().clear();
        ServeReads(nullptr, 4);
    }
};

// Rows come bottom row first from screen row yBottom; the transfer takes
// the top row first from the top row. Rectangles the transfers cannot
// take (empty, beyond the coordinates) write nothing.
TEST_F(ImageXferTest, PutTurnsRowsAndPlacesTheTop) {
    BoardBuffer front(GLBUFFER_FRONT_LEFT, BMF_32BPP);
    const ULONG aul[6] = {1, 2, 3, 4, 5, 6};  // three rows of two, bottom first
    _NPutRect(&front.b, 110, 200, 2, 3, aul, 0);
    ASSERT_EQ(ImageCalls().size(), 1u);
    const ImageCall& c = ImageCalls()[0];
    EXPECT_EQ(c.fn, "put");
    EXPECT_EQ(c.kind, GLBUFFER_FRONT_LEFT);
    EXPECT_EQ(std::vector<LONG>({c.x, c.y, c.cx, c.cy}), std::vector<LONG>({110, 198, 2, 3}));
    EXPECT_EQ(c.words, (std::vector<ULONG>{5, 6, 3, 4, 1, 2}));

    struct Refused {
        LONG x, yBottom, cx, cy;
        const char* why;
    };
    const Refused refused[] = {
        {10, 10, 0, 3, "no columns"},
        {10, 10, 2, 0, "no rows"},
        {10, 10, -4, 3, "negative width"},
        {0x7FFFFFF0, 10, 64, 1, "past the coordinates"},
        {10, INT32_MIN + 1, 1, 4, "top row below the range"},
    };
    for (const Refused& r : refused) {
        ImageCalls().clear();
        _NPutRect(&front.b, r.x, r.yBottom, r.cx, r.cy, aul, 0);
        EXPECT_TRUE(ImageCalls().empty()) << r.why;
    }
    // A host buffer or an ancillary buffer takes no colour writes.
    ImageCalls().clear();
    GLBuffer host = front.b;
    host.memoryKind = GLBUFFER_MEMORY_HOST;
    _NPutRect(&host, 0, 0, 1, 1, aul, 0);
    BoardBuffer depth(GLBUFFER_DEPTH, BMF_32BPP);
    _NPutRect(&depth.b, 0, 0, 1, 1, aul, 0);
    EXPECT_TRUE(ImageCalls().empty());
}

// Byte images: the top four bits of each word as the byte, rows as they
// come (the transfer's byte image is last row first).
TEST_F(ImageXferTest, ConvertedPutWritesBytesBottomFirst) {
    BoardBuffer back(GLBUFFER_BACK_LEFT, BMF_32BPP);
    const ULONG aul[4] = {1u << 28, 2u << 28, 15u << 28, 0x0FFFFFFFu};
    _NPutRect(&back.b, 5, 9, 2, 2, aul, 1);
    ASSERT_EQ(ImageCalls().size(), 1u);
    const ImageCall& c = ImageCalls()[0];
    EXPECT_EQ(c.kind, GLBUFFER_BACK_LEFT | 0x80000000u);
    EXPECT_EQ(std::vector<LONG>({c.x, c.y, c.cx, c.cy}), std::vector<LONG>({5, 8, 2, 2}));
    EXPECT_EQ(c.words, (std::vector<ULONG>{1, 2, 15, 0}));
}

// The zoomed write: the destination grows up from the bottom row by the
// zoomed sizes the board counts; the image goes top row first.
TEST_F(ImageXferTest, ZoomedPutSizesAndTop) {
    BoardBuffer front(GLBUFFER_FRONT_LEFT, BMF_32BPP);
    const ULONG aul[6] = {1, 2, 3, 4, 5, 6};
    struct Case {
        ULONG xi, xf, yi, yf;
        LONG cxDest, cyDest;
    };
    const Case cases[] = {
        {2, 0, 2, 0, 4, 6},
        {3, 0, 1, 0, 6, 3},
        {1, 0x8000, 2, 0, 3, 6},  // 1.5: one of the two columns doubled
    };
    for (const Case& k : cases) {
        ImageCalls().clear();
        _NPutRectZoom(&front.b, 40, 100, 2, 3, aul, k.xi, k.xf, k.yi, k.yf);
        ASSERT_EQ(ImageCalls().size(), 1u);
        const ImageCall& c = ImageCalls()[0];
        EXPECT_EQ(c.fn, "zoom");
        EXPECT_EQ(std::vector<LONG>({c.x, c.y, c.cx, c.cy, c.cxDest, c.cyDest}),
                  std::vector<LONG>({40, 100 - k.cyDest + 1, 2, 3, k.cxDest, k.cyDest}));
        EXPECT_EQ(c.words, (std::vector<ULONG>{5, 6, 3, 4, 1, 2, k.xi, k.yi, k.xf, k.yf}));
    }
    ImageCalls().clear();
    _NPutRectZoom(&front.b, 40, 100, 0, 3, aul, 2, 0, 2, 0);
    EXPECT_TRUE(ImageCalls().empty());
}

// Row reads: words as stored for 32-bit surfaces, 5-5-5 colour widened,
// 3-3-2 colour as the default palette shows it (red steps 0 and 1 black,
// then 51 a step; green in sevenths, rounded up; blue in thirds), 16-bit
// depth and 8-bit stencil as their values; nothing read leaves 0.
TEST_F(ImageXferTest, RowReadsWidenToWords) {
    struct Case {
        ULONG kind, iFormat, cj, stored;
        ULONG want;
    };
    const Case cases[] = {
        {GLBUFFER_FRONT_LEFT, BMF_32BPP, 4, 0x00123456u, 0x00123456u},
        {GLBUFFER_BACK_LEFT, BMF_16BPP, 2, (31u << 10) | (16u << 5) | 1u, 0x00FF8408u},
        {GLBUFFER_DEPTH, BMF_32BPP, 4, 0xAB123456u, 0x123456u},  // 24 bits of a 32-bit word
        {GLBUFFER_STENCIL, BMF_8BPP, 1, 0xA5u, 0xA5u},
        {GLBUFFER_FRONT_LEFT, BMF_8BPP, 1, 0xB6u, 0x00CCB7AAu},  // red 5, green 5, blue 2
        {GLBUFFER_BACK_LEFT, BMF_8BPP, 1, 0x24u, 0x00002500u},   // red 1, green 1, blue 0
        {GLBUFFER_FRONT_LEFT, BMF_8BPP, 1, 0xFFu, 0x00FFFFFFu},
    };
    static ULONG sStored = 0;
    for (const Case& k : cases) {
        BoardBuffer buf(k.kind, k.iFormat);
        sStored = k.stored;
        ServeReads([](ULONG, LONG, LONG) { return sStored; }, k.cj);
        ImageCalls().clear();
        std::vector<ULONG> row(5, 0xDEAD);
        _NGetRow(&buf.b, 7, 11, 5, row.data());
        ASSERT_EQ(ImageCalls().size(), 1u);
        const ImageCall& c = ImageCalls()[0];
        EXPECT_EQ(std::vector<LONG>({c.x, c.y, c.cx, c.cy}), std::vector<LONG>({7, 11, 5, 1}));
        EXPECT_EQ(c.kind, k.kind);
        EXPECT_EQ(row, std::vector<ULONG>(5, k.want)) << k.kind;
    }
    // A read the core refuses, a host buffer, a row past the coordinates.
    BoardBuffer front(GLBUFFER_FRONT_LEFT, BMF_32BPP);
    ServeReads(nullptr, 4);
    std::vector<ULONG> row(3, 0xDEAD);
    _NGetRow(&front.b, 0, 0, 3, row.data());
    EXPECT_EQ(row, std::vector<ULONG>(3, 0u));
    GLBuffer host = front.b;
    host.memoryKind = GLBUFFER_MEMORY_HOST;
    row.assign(3, 0xDEAD);
    ImageCalls().clear();
    _NGetRow(&host, 0, 0, 3, row.data());
    _NGetRow(&front.b, 0, 0x7FFFFFFF, 3, row.data());
    EXPECT_TRUE(ImageCalls().empty());
    EXPECT_EQ(row, std::vector<ULONG>(3, 0u));
}

// The colour buffers of an index window keep their indices as stored: a
// row read hands each on unwidened in the upper half of its word, where the
// read transfer of index data (a shift by 16) takes it from; a colour
// buffer in the 16-bit colour format is widened as before.
TEST_F(ImageXferTest, IndexRowsComeInTheUpperHalf) {
    struct Case {
        ULONG iFormat, cj, pidFormat, stored, want;
    };
    const Case cases[] = {
        {BMF_16BPP, 2, 0x6000, 0x00A5u, 0x00A50000u},  // an index window on a 16-bit display
        {BMF_8BPP, 1, 0x0000, 0xA5u, 0x00A50000u},     // on an 8-bit display
        {BMF_16BPP, 2, 0x8000, (31u << 10) | (16u << 5) | 1u, 0x00FF8408u},
    };
    static ULONG sStored = 0;
    for (const Case& k : cases) {
        BoardBuffer buf(GLBUFFER_FRONT_LEFT, k.iFormat);
        GLDeviceRecord record{};
        record.pid = k.pidFormat | 3u;
        buf.b.pDeviceRecord = &record;
        sStored = k.stored;
        ServeReads([](ULONG, LONG, LONG) { return sStored; }, k.cj);
        std::vector<ULONG> row(4, 0xDEAD);
        _NGetRow(&buf.b, 7, 11, 4, row.data());
        EXPECT_EQ(row, std::vector<ULONG>(4, k.want)) << std::hex << k.pidFormat;
    }
}

// A 16-bit depth buffer holds the words the render paths write (z / 512
// near, a floating form in the far sixteenth); a row read gives window z
// back, at most the dropped low bits below it, in the same order.
TEST_F(ImageXferTest, DepthWordsOfSixteenBitsReadAsWindowZ) {
    BoardBuffer depth(GLBUFFER_DEPTH, BMF_16BPP);
    depth.b.bitsPerPixel = 16;
    static ULONG sWord = 0;
    ServeReads([](ULONG, LONG, LONG) { return sWord; }, 2);
    ULONG zPrevious = 0;
    const ULONG kZ[] = {0, 0x200, 0x123456, 0x7FFFFF, 0xEFFFFF, 0xF00000, 0xF7FFFF, 0xF80000, 0xFC1234,
                        0xFE0000, 0xFFC000, 0xFFE000, 0xFFFFFF};
    for (ULONG z : kZ) {
        sWord = _NDepthWord16(z);
        ULONG got = 0;
        _NGetRow(&depth.b, 0, 0, 1, &got);
        EXPECT_LE(got, z) << std::hex << z;
        EXPECT_LT(z - got, 0x200u) << std::hex << z << " read " << got;
        EXPECT_GE(got, zPrevious) << std::hex << z;
        zPrevious = got;
    }
    sWord = 0xFFFF;  // the clear of depth 1.0
    ULONG got = 0;
    _NGetRow(&depth.b, 0, 0, 1, &got);
    EXPECT_GE(got, 0xFFFFF0u);
}

// Read pixels of a 16-bit board depth buffer: the direct read and the
// pixel path (taken while colour mapping is on) give the same depths.
TEST_F(ImageXferTest, DepthReadsAgreeOnBothPaths) {
    BoardBuffer depth(GLBUFFER_DEPTH, BMF_16BPP);
    depth.b.bitsPerPixel = 16;
    GLBuffer* ap[2] = {&depth.b, nullptr};
    N_BindBuffers(1, ap);
    ctx_->dirty = 0;
    ServeReads([](ULONG, LONG x, LONG) { return _NDepthWord16(x == 105 ? 0x800000u : 0xFC0000u); }, 2);
    for (ULONG mapColour : {0u, 1u}) {
        *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = mapColour;
        std::uint16_t aus[2] = {};
        N_ReadPixels(5, 7, 2, 1, N_PIXFMT_DEPTH, N_PIXTYPE_USHORT, aus);
        EXPECT_NEAR(aus[0], 0x8000, 2) << mapColour;
        EXPECT_NEAR(aus[1], 0xFC00, 2) << mapColour;
    }
    *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = 0;
}

// Copies go between the colour buffers of one set; the stereo mode names
// both eyes of the destination.
TEST_F(ImageXferTest, CopiesNameTheirKinds) {
    BoardBuffer front(GLBUFFER_FRONT_LEFT, BMF_32BPP), backRight(GLBUFFER_BACK_RIGHT, BMF_32BPP),
        depth(GLBUFFER_DEPTH, BMF_32BPP);
    _NCopyRect(&front.b, 10, 20, &backRight.b, 30, 40, 5, 6, 0);
    _NCopyRect(&front.b, 10, 20, &backRight.b, 30, 40, 5, 6, 1);
    _NCopyRect(&backRight.b, 1, 2, &front.b, 3, 4, 5, 6, 1);
    _NCopyRect(&depth.b, 1, 2, &front.b, 3, 4, 5, 6, 0);  // not a colour buffer
    _NCopyRect(&front.b, 1, 2, &front.b, 3, 4, 0, 6, 0);  // empty
    ASSERT_EQ(ImageCalls().size(), 3u);
    const ImageCall& a = ImageCalls()[0];
    EXPECT_EQ(std::vector<LONG>({a.x, a.y, a.cx, a.cy, a.xSource, a.ySource}),
              std::vector<LONG>({30, 40, 5, 6, 10, 20}));
    EXPECT_EQ(a.kindSource, GLBUFFER_FRONT_LEFT);
    EXPECT_EQ(a.kind, GLBUFFER_BACK_RIGHT);
    EXPECT_EQ(ImageCalls()[1].kind, GLBUFFER_BACK_RIGHT | GLBUFFER_BACK_LEFT);
    EXPECT_EQ(ImageCalls()[2].kind, GLBUFFER_FRONT_LEFT | GLBUFFER_FRONT_RIGHT);
}

// Read pixels in GL window rows: image row r is window row y + r from the
// bottom, that is screen row (origin + height - 1 - y - r); bytes red,
// green, blue (and opaque alpha) from the words.
TEST_F(ImageXferTest, DirectReadPixelsGoesUpTheWindow) {
    BoardBuffer back(GLBUFFER_BACK_LEFT, BMF_32BPP);
    GLBuffer* ap[2] = {&back.b, nullptr};
    N_BindBuffers(1, ap);
    ctx_->dirty = 0;
    ServeReads([](ULONG, LONG x, LONG y) { return (ULONG(x) & 0xFFu) << 16 | (ULONG(y) & 0xFFu) << 8 | 0x33u; }, 4);
    std::vector<BYTE> aj(2 * 3 * 4);
    N_ReadPixels(5, 7, 2, 3, 8, 0, aj.data());
    ASSERT_EQ(ImageCalls().size(), 3u);
    for (LONG r = 0; r < 3; ++r) {
        const ImageCall& c = ImageCalls()[r];
        EXPECT_EQ(std::vector<LONG>({c.x, c.y, c.cx, c.cy}), std::vector<LONG>({105, 80 + 191 - 7 - r, 2, 1}));
        for (LONG i = 0; i < 2; ++i) {
            const BYTE* p = &aj[(r * 2 + i) * 4];
            EXPECT_EQ(std::vector<BYTE>(p, p + 4),
                      (std::vector<BYTE>{BYTE(105 + i), BYTE(80 + 191 - 7 - r), 0x33, 255}));
        }
    }
}

}  // namespace
}  // namespace lgi_test
