// EngCopyBits between host bitmaps: every pair of formats with
// translation, translations between palettes (and XLATEOBJ_piVector),
// run-length encoded sources with their gaps, hostile run streams, and
// in-place translation.
#include <gtest/gtest.h>

#include "engine_reference.h"

namespace {

using ref::Bitmap;

const ULONG kFormats[] = {BMF_1BPP, BMF_4BPP, BMF_8BPP, BMF_16BPP, BMF_24BPP, BMF_32BPP};

class EngineCopyBits : public ref::EngineTest {};

TEST_F(EngineCopyBits, EveryPairOfFormatsThroughTheTranslation) {
    const std::vector<RECTL> region = {{0, 0, 9, 3}, {3, 3, 14, 7}};
    ref::Clip clip(vnx::engine::create_clip(region.data(), ULONG(region.size())));
    std::mt19937 rng(1);
    for (ULONG fSrc : kFormats) {
        for (ULONG fDst : kFormats) {
            SCOPED_TRACE(::testing::Message() << "from " << fSrc << " to " << fDst);
            Bitmap src(12, 6, fSrc, false), dst(15, 8, fDst);
            src.randomize(rng());
            dst.randomize(rng());
            const std::vector<ULONG> orig = dst.pixels();
            // Indexed sources go through a vector; wider ones keep their
            // values, cut to the target's bits.
            std::vector<ULONG> vector;
            ref::Xlate xlate;
            if (ref::bits_of(fSrc) <= 8) {
                for (ULONG i = 0; i < (1u << ref::bits_of(fSrc)); ++i) vector.push_back(rng());
                xlate.reset(vnx::engine::create_xlate_vector(vector.data(), ULONG(vector.size())));
            }
            RECTL rcl{2, 1, 15, 8};
            POINTL ptl{0, 1};
            ASSERT_TRUE(EngCopyBits(dst.pso, src.pso, clip.get(), xlate.get(), &rcl, &ptl));
            std::vector<ULONG> want = orig;
            for (LONG y = 1; y < 6; ++y) {       // source rows 1..5
                for (LONG x = 2; x < 14; ++x) {  // source columns 0..11
                    if (!ref::inside_any(region, x, y)) continue;
                    const ULONG v = src.get(x - 2, y);
                    want[size_t(y * 15 + x)] = (vector.empty() ? v : vector[v]) & ref::mask_of(fDst);
                }
            }
            ASSERT_TRUE(ref::same_pixels(want, dst));
        }
    }
}

// Plain copies as the driver and the graphics engine ask for them (a
// trivial clip object, a trivial translation of the engine's or of the
// caller's own) move the pixels unchanged, at every row length the row
// moves handle; a table translation is still applied.
TEST_F(EngineCopyBits, PlainCopiesUnderTrivialObjects) {
    const HPALETTE p888 = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0xFF0000, 0x00FF00, 0x0000FF);
    ref::Xlate engineTrivial(vnx::engine::create_xlate(p888, p888));
    ASSERT_EQ(engineTrivial->flXlate, static_cast<FLONG>(XO_TRIVIAL));
    XLATEOBJ ownTrivial{};
    ownTrivial.flXlate = XO_TRIVIAL;
    std::vector<ULONG> vector(256);
    for (ULONG i = 0; i < 256; ++i) vector[i] = 255 - i;
    ref::Xlate table(vnx::engine::create_xlate_vector(vector.data(), 256));
    ref::Clip trivial(vnx::engine::create_trivial_clip(RECTL{0, 0, 200, 40}));
    struct Row {
        ULONG iFormat;
        LONG cx, cy;
    };
    // Rows of 1 to 200 pixels: below 8 bytes, up to 16, 32, 64, 128 and past.
    const Row rows[] = {{BMF_8BPP, 1, 1},    {BMF_8BPP, 8, 8},   {BMF_16BPP, 8, 8},
                        {BMF_16BPP, 24, 5},  {BMF_16BPP, 40, 3}, {BMF_16BPP, 64, 20},
                        {BMF_32BPP, 8, 8},   {BMF_32BPP, 30, 4}, {BMF_32BPP, 33, 2},
                        {BMF_32BPP, 64, 30}, {BMF_32BPP, 190, 2}};
    std::mt19937 rng(5);
    for (const Row& row : rows) {
        for (XLATEOBJ* pxlo :
             {static_cast<XLATEOBJ*>(nullptr), engineTrivial.get(), &ownTrivial, table.get()}) {
            if (pxlo == table.get() && row.iFormat != BMF_8BPP) continue;
            SCOPED_TRACE(::testing::Message()
                         << "format " << row.iFormat << ", " << row.cx << "x" << row.cy
                         << ", translation " << (pxlo == nullptr ? 0 : pxlo->flXlate));
            Bitmap src(200, 40, row.iFormat), dst(200, 40, row.iFormat);
            src.randomize(rng());
            dst.randomize(rng());
            std::vector<ULONG> want = dst.pixels();
            RECTL rcl{5, 3, 5 + row.cx, 3 + row.cy};
            POINTL ptl{7, 1};
            ASSERT_TRUE(EngCopyBits(dst.pso, src.pso, trivial.get(), pxlo, &rcl, &ptl));
            for (LONG y = 0; y < row.cy; ++y)
                for (LONG x = 0; x < row.cx; ++x) {
                    const ULONG v = src.get(7 + x, 1 + y);
                    want[size_t((3 + y) * 200 + 5 + x)] = pxlo == table.get() ? vector[v] : v;
                }
            ASSERT_TRUE(ref::same_pixels(want, dst));
        }
    }
    EngDeletePalette(p888);
}

TEST_F(EngineCopyBits, TranslationsBetweenPalettes) {
    ULONG four[4] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};  // black, red, green, blue
    const HPALETTE idx = EngCreatePalette(PAL_INDEXED, 4, four, 0, 0, 0);
    const HPALETTE p555 = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0x7C00, 0x03E0, 0x001F);
    const HPALETTE p565 = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0xF800, 0x07E0, 0x001F);
    const HPALETTE p888 = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0xFF0000, 0x00FF00, 0x0000FF);
    const HPALETTE bgr = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
    const HPALETTE rgb = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    struct Row {
        HPALETTE from, to;
        ULONG fSrc, fDst;
        ULONG value, expected;
    };
    const Row rows[] = {
        {p555, bgr, BMF_16BPP, BMF_32BPP, 0x7FFF, 0xFFFFFF},
        {p555, bgr, BMF_16BPP, BMF_32BPP, 0x7C00, 0xFF0000},
        {p555, bgr, BMF_16BPP, BMF_32BPP, 0x001F, 0x0000FF},
        {p555, bgr, BMF_16BPP, BMF_32BPP, 0x4210, 0x848484},
        {bgr, p555, BMF_32BPP, BMF_16BPP, 0xFF8040, 0x7E08},
        {bgr, rgb, BMF_32BPP, BMF_24BPP, 0x112233, 0x332211},
        {p565, p555, BMF_16BPP, BMF_16BPP, 0xF800, 0x7C00},
        {p565, p555, BMF_16BPP, BMF_16BPP, 0x07E0, 0x03E0},
        {bgr, idx, BMF_32BPP, BMF_8BPP, 0xF00000, 1},
        {bgr, idx, BMF_32BPP, BMF_8BPP, 0x000010, 0},
        {bgr, idx, BMF_32BPP, BMF_8BPP, 0x00F000, 2},
        {idx, bgr, BMF_4BPP, BMF_32BPP, 1, 0xFF0000},
        {idx, bgr, BMF_4BPP, BMF_32BPP, 3, 0x0000FF},
        {idx, bgr, BMF_4BPP, BMF_32BPP, 9, 0},  // past the palette
        {bgr, p888, BMF_32BPP, BMF_32BPP, 0x123456, 0x123456},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << std::hex << row.value);
        Bitmap src(1, 1, row.fSrc), dst(1, 1, row.fDst);
        src.set(0, 0, row.value);
        ref::Xlate x(vnx::engine::create_xlate(row.from, row.to));
        ASSERT_NE(x, nullptr);
        RECTL rcl{0, 0, 1, 1};
        POINTL ptl{0, 0};
        ASSERT_TRUE(EngCopyBits(dst.pso, src.pso, nullptr, x.get(), &rcl, &ptl));
        EXPECT_EQ(dst.get(0, 0), row.expected);
    }

    // The objects as a driver reads them.
    ref::Xlate table(vnx::engine::create_xlate(idx, bgr));
    EXPECT_EQ(table->flXlate, XO_TABLE);
    EXPECT_EQ(table->iSrcType, PAL_INDEXED);
    EXPECT_EQ(table->iDstType, PAL_BGR);
    EXPECT_EQ(table->cEntries, 4u);
    EXPECT_EQ(table->pulXlate, nullptr);  // made on request
    ULONG* pul = XLATEOBJ_piVector(table.get());
    ASSERT_NE(pul, nullptr);
    EXPECT_EQ(std::vector<ULONG>(pul, pul + 4), (std::vector<ULONG>{0, 0xFF0000, 0x00FF00, 0x0000FF}));
    EXPECT_EQ(table->pulXlate, pul);
    ref::Xlate convert(vnx::engine::create_xlate(bgr, p555));
    EXPECT_EQ(convert->flXlate, 0u);
    EXPECT_EQ(XLATEOBJ_piVector(convert.get()), nullptr);
    ref::Xlate same(vnx::engine::create_xlate(p888, p888));
    EXPECT_EQ(same->flXlate, XO_TRIVIAL);
    EXPECT_EQ(XLATEOBJ_piVector(same.get()), nullptr);
    EXPECT_EQ(XLATEOBJ_piVector(nullptr), nullptr);
    vnx::faults::clear();
    vnx::faults::arm("XLATEOBJ_piVector");
    EXPECT_EQ(XLATEOBJ_piVector(table.get()), nullptr);
    EXPECT_EQ(vnx::faults::calls("XLATEOBJ_piVector"), 1);
    EXPECT_EQ(vnx::engine::create_xlate(idx, reinterpret_cast<HPALETTE>(0x3)), nullptr);
    EXPECT_EQ(vnx::engine::create_xlate_vector(nullptr, 4), nullptr);
    EXPECT_EQ(vnx::engine::create_xlate_vector(four, 0), nullptr);

    for (HPALETTE h : {idx, p555, p565, p888, bgr, rgb}) EXPECT_TRUE(EngDeletePalette(h));
}

// A run-length bitmap the test owns.
struct Runs {
    Runs(LONG cx, LONG cy, ULONG iFormat, std::vector<BYTE> bytes) {
        h = vnx::engine::create_rle_bitmap(SIZEL{cx, cy}, iFormat, bytes.data(), ULONG(bytes.size()));
        EXPECT_NE(h, nullptr);
        pso = EngLockSurface(h);
    }
    ~Runs() {
        EngUnlockSurface(pso);
        EngDeleteSurface(h);
    }
    HSURF h;
    SURFOBJ* pso;
};

TEST_F(EngineCopyBits, RunLengthSourcesLeaveTheirGaps) {
    // 6 x 4, rows from the bottom: a run; a padded literal and a run; a
    // move into the top row past row 1; one pixel; the end.
    Runs rle8(6, 4, BMF_8RLE,
              {3, 0x11, 0, 0,                           // row 3
               0, 3, 0x21, 0x22, 0x23, 0, 2, 0x24, 0, 0,  // row 2
               0, 2, 2, 1,                              // move to (2, 0)
               1, 0x31, 0, 1});
    // 7 x 2: five pixels of alternating nibbles; three literal nibbles and a run.
    Runs rle4(7, 2, BMF_4RLE, {5, 0xAB, 0, 0, 0, 3, 0x12, 0x30, 2, 0xCD, 0, 1});
    struct Row {
        const char* what;
        SURFOBJ* pso;
        std::vector<std::vector<int>> pixels;  // -1: the destination's own
    };
    const Row rows[] = {
        {"8 bpp", rle8.pso,
         {{-1, -1, 0x31, -1, -1, -1}, {-1, -1, -1, -1, -1, -1},
          {0x21, 0x22, 0x23, 0x24, 0x24, -1}, {0x11, 0x11, 0x11, -1, -1, -1}}},
        {"4 bpp", rle4.pso,
         {{1, 2, 3, 0xC, 0xD, -1, -1}, {0xA, 0xB, 0xA, 0xB, 0xA, -1, -1}}},
    };
    std::vector<ULONG> vector(256);
    for (ULONG i = 0; i < 256; ++i) vector[i] = i * 3 + 1;
    ref::Xlate xlate(vnx::engine::create_xlate_vector(vector.data(), 256));
    for (const Row& row : rows) {
        for (bool bTopDown : {true, false}) {
            SCOPED_TRACE(::testing::Message() << row.what << " top-down " << bTopDown);
            const LONG cx = row.pso->sizlBitmap.cx, cy = row.pso->sizlBitmap.cy;
            Bitmap dst(cx + 4, cy + 3, BMF_16BPP, bTopDown);
            dst.randomize(5);
            const std::vector<ULONG> orig = dst.pixels();
            RECTL rcl{2, 3, 2 + cx, 3 + cy};
            POINTL ptl{0, 0};
            ASSERT_TRUE(EngCopyBits(dst.pso, row.pso, nullptr, xlate.get(), &rcl, &ptl));
            std::vector<ULONG> want = orig;
            for (LONG y = 0; y < cy; ++y)
                for (LONG x = 0; x < cx; ++x)
                    if (row.pixels[size_t(y)][size_t(x)] >= 0)
                        want[size_t((y + 3) * (cx + 4) + x + 2)] = vector[size_t(row.pixels[size_t(y)][size_t(x)])];
            EXPECT_TRUE(ref::same_pixels(want, dst));
        }
    }

    // A source point inside the bitmap and a clip.
    Bitmap dst(8, 8, BMF_8BPP);
    const RECTL keep{0, 0, 8, 2};
    ref::Clip clip(vnx::engine::create_clip(&keep, 1));
    RECTL rcl{0, 0, 5, 3};
    POINTL ptl{1, 1};
    ASSERT_TRUE(EngCopyBits(dst.pso, rle8.pso, clip.get(), nullptr, &rcl, &ptl));
    EXPECT_EQ(dst.pixels(), (std::vector<ULONG>{0, 0, 0, 0, 0, 0, 0, 0,        //
                                                0x22, 0x23, 0x24, 0x24, 0, 0, 0, 0,  //
                                                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(EngineCopyBits, HostileRunStreamsStayInsideTheBitmap) {
    struct Row {
        const char* what;
        ULONG iFormat;
        std::vector<BYTE> bytes;
        std::vector<ULONG> bottom;  // the bottom row after the copy (4 pixels); rest untouched
    };
    const Row rows[] = {
        {"odd byte at the end", BMF_8RLE, {2, 7, 3}, {7, 7, 0, 0}},
        {"run past the row", BMF_8RLE, {200, 5, 0, 1}, {5, 5, 5, 5}},
        {"literal cut by the end", BMF_8RLE, {0, 5, 1, 2}, {1, 2, 0, 0}},
        {"4-bpp literal cut by the end", BMF_4RLE, {0, 7, 0x12}, {1, 2, 0, 0}},
        {"move cut by the end", BMF_8RLE, {1, 9, 0, 2, 1}, {9, 0, 0, 0}},
        {"move past the top", BMF_8RLE, {0, 2, 0, 200, 4, 6}, {0, 0, 0, 0}},
        {"moves far right", BMF_8RLE, {0, 2, 255, 0, 0, 2, 255, 0, 3, 8}, {0, 0, 0, 0}},
        {"rows past the top", BMF_8RLE, {0, 0, 0, 0, 0, 0, 0, 0, 4, 4}, {0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Runs rle(4, 2, row.iFormat, row.bytes);
        Bitmap dst(4, 2, BMF_8BPP);
        RECTL rcl{0, 0, 4, 2};
        POINTL ptl{0, 0};
        ASSERT_TRUE(EngCopyBits(dst.pso, rle.pso, nullptr, nullptr, &rcl, &ptl));
        std::vector<ULONG> want{0, 0, 0, 0};
        want.insert(want.end(), row.bottom.begin(), row.bottom.end());
        EXPECT_TRUE(ref::same_pixels(want, dst));
    }
    // Run bitmaps need bits and a run format.
    const BYTE end[2] = {0, 1};
    EXPECT_EQ(vnx::engine::create_rle_bitmap(SIZEL{4, 4}, BMF_8BPP, end, 2), nullptr);
    EXPECT_EQ(vnx::engine::create_rle_bitmap(SIZEL{4, 4}, BMF_8RLE, nullptr, 2), nullptr);
    EXPECT_EQ(vnx::engine::create_rle_bitmap(SIZEL{0, 4}, BMF_4RLE, end, 2), nullptr);
    // ... and are no target.
    Runs rle(4, 2, BMF_8RLE, {0, 1});
    Bitmap src(4, 2, BMF_8BPP);
    RECTL rcl{0, 0, 4, 2};
    POINTL ptl{0, 0};
    EXPECT_FALSE(EngCopyBits(rle.pso, src.pso, nullptr, nullptr, &rcl, &ptl));
}

TEST_F(EngineCopyBits, TranslatesInPlace) {
    Bitmap bmp(9, 6, BMF_8BPP, false);
    bmp.randomize(9);
    const std::vector<ULONG> orig = bmp.pixels();
    std::vector<ULONG> vector(256);
    for (ULONG i = 0; i < 256; ++i) vector[i] = 255 - i;
    ref::Xlate xlate(vnx::engine::create_xlate_vector(vector.data(), 256));
    RECTL rcl{1, 2, 8, 5};
    POINTL ptl{1, 2};
    ASSERT_TRUE(EngCopyBits(bmp.pso, bmp.pso, nullptr, xlate.get(), &rcl, &ptl));
    std::vector<ULONG> want = orig;
    for (LONG y = 2; y < 5; ++y)
        for (LONG x = 1; x < 8; ++x) want[size_t(y * 9 + x)] = 255 - orig[size_t(y * 9 + x)];
    EXPECT_TRUE(ref::same_pixels(want, bmp));
}

TEST_F(EngineCopyBits, RefusalsAndItsFaultPoint) {
    Bitmap dst(4, 4, BMF_8BPP), src(4, 4, BMF_8BPP);
    RECTL rcl{0, 0, 4, 4};
    POINTL ptl{0, 0};
    EXPECT_FALSE(EngCopyBits(nullptr, src.pso, nullptr, nullptr, &rcl, &ptl));
    EXPECT_FALSE(EngCopyBits(dst.pso, nullptr, nullptr, nullptr, &rcl, &ptl));
    EXPECT_FALSE(EngCopyBits(dst.pso, src.pso, nullptr, nullptr, nullptr, &ptl));
    EXPECT_FALSE(EngCopyBits(dst.pso, src.pso, nullptr, nullptr, &rcl, nullptr));
    src.set(1, 1, 9);
    vnx::faults::arm("EngCopyBits");
    EXPECT_FALSE(EngCopyBits(dst.pso, src.pso, nullptr, nullptr, &rcl, &ptl));
    EXPECT_EQ(dst.get(1, 1), 0u);
    EXPECT_TRUE(EngCopyBits(dst.pso, src.pso, nullptr, nullptr, &rcl, &ptl));
    EXPECT_EQ(dst.get(1, 1), 9u);
}

}  // namespace
