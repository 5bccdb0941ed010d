// EngBitBlt on host bitmaps, checked pixel by pixel against the bit-by-bit
// definition of the raster operations: every ROP3 in every format, ROP4s
// with mask surfaces and brush masks, brushes at their origin, clipping,
// overlapping copies, translation, and the calls it must refuse.
#include <gtest/gtest.h>

#include <functional>

#include "engine_reference.h"

namespace {

using ref::Bitmap;

const ULONG kFormats[] = {BMF_1BPP, BMF_4BPP, BMF_8BPP, BMF_16BPP, BMF_24BPP, BMF_32BPP};

// One blit and its expected outcome, computed by the reference.
struct Case {
    Bitmap* dst;
    Bitmap* src = nullptr;      // source operand, offset srcOff from the target
    POINTL srcOff{0, 0};
    Bitmap* mask = nullptr;     // mask surface, offset maskOff
    POINTL maskOff{0, 0};
    // Pattern value and brush-mask bit at a target pixel.
    std::function<ULONG(LONG, LONG)> pattern = [](LONG, LONG) { return 0u; };
    std::function<bool(LONG, LONG)> brushMask = [](LONG, LONG) { return false; };
    std::function<ULONG(ULONG)> xlate = [](ULONG v) { return v; };
    RECTL rcl{};
    std::vector<RECTL> clip{};  // empty: no clip
    ULONG rop4 = 0;

    // The target after the blit; orig is the target before it (and the
    // source when the source is the target).
    std::vector<ULONG> expected(const std::vector<ULONG>& orig,
                                const std::vector<ULONG>* origSrc = nullptr) const {
        std::vector<ULONG> out = orig;
        const ULONG m = ref::mask_of(dst->pso->iBitmapFormat);
        for (LONG y = std::max(0, rcl.top); y < std::min(dst->cy(), rcl.bottom); ++y) {
            for (LONG x = std::max(0, rcl.left); x < std::min(dst->cx(), rcl.right); ++x) {
                if (!clip.empty() && !ref::inside_any(clip, x, y)) continue;
                ULONG s = 0;
                if (src != nullptr) {
                    const LONG sx = x + srcOff.x, sy = y + srcOff.y;
                    if (sx < 0 || sy < 0 || sx >= src->cx() || sy >= src->cy()) continue;
                    s = xlate(origSrc ? (*origSrc)[size_t(sy * src->cx() + sx)] : src->get(sx, sy));
                }
                bool bit = false;
                if (mask != nullptr) {
                    const LONG mx = x + maskOff.x, my = y + maskOff.y;
                    if (mx < 0 || my < 0 || mx >= mask->cx() || my >= mask->cy()) continue;
                    bit = mask->get(mx, my) != 0;
                } else {
                    bit = brushMask(x, y);
                }
                const size_t i = size_t(y * dst->cx() + x);
                out[i] = ref::rop4(rop4, bit, pattern(x, y), s, orig[i]) & m;
            }
        }
        return out;
    }
};

// A brush with a cx x cy pattern in the target format, random values.
struct PatternBrush {
    PatternBrush(ULONG iFormat, LONG cx, LONG cy, std::uint32_t seed, Bitmap* psoMask = nullptr)
        : bits(cx, cy, iFormat, seed % 2 == 0) {
        bits.randomize(seed);
        vnx::engine::BrushDesc d;
        d.psoPattern = bits.pso;
        d.psoMask = psoMask != nullptr ? psoMask->pso : nullptr;
        brush.reset(vnx::engine::create_brush(d));
        EXPECT_NE(brush, nullptr);
    }
    ULONG at(LONG x, LONG y, POINTL org) const {
        return bits.get(ref::mod(x - org.x, bits.cx()), ref::mod(y - org.y, bits.cy()));
    }
    Bitmap bits;
    ref::Brush brush;
};

class EngineBitBlt : public ref::EngineTest {};

TEST_F(EngineBitBlt, EveryRop3InEveryFormat) {
    for (ULONG iFormat : kFormats) {
        SCOPED_TRACE(::testing::Message() << "format " << iFormat);
        Bitmap dst(23, 17, iFormat, iFormat % 2 == 0), src(23, 17, iFormat, iFormat % 2 != 0);
        dst.randomize(iFormat);
        src.randomize(100 + iFormat);
        const std::vector<ULONG> orig = dst.pixels();
        PatternBrush brush(iFormat, 5, 3, 200 + iFormat);
        POINTL org{3, -5};
        RECTL rcl{2, 1, 21, 16};
        POINTL ptlSrc{0, 1};
        Case c{&dst};
        c.src = &src;
        c.srcOff = POINTL{-2, 0};
        c.pattern = [&](LONG x, LONG y) { return brush.at(x, y, org); };
        c.rcl = rcl;
        for (ULONG rop = 0; rop < 256; ++rop) {
            dst.load(orig);
            c.rop4 = rop | rop << 8;
            ASSERT_TRUE(EngBitBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, &rcl, &ptlSrc,
                                  nullptr, brush.brush.get(), &org, c.rop4));
            ASSERT_TRUE(ref::same_pixels(c.expected(orig), dst)) << "rop3 0x" << std::hex << rop;
        }
    }
}

TEST_F(EngineBitBlt, SolidBrushesAndConstantsInEveryFormatAndLayout) {
    // The fills a driver punts most: one value over the rectangle, in
    // bitmaps of both orientations and rows that are not whole words.
    struct Layout {
        bool bTopDown;
        LONG cbExtra;  // bytes past the narrowest row; -1: rows rounded to words
    };
    const Layout layouts[] = {{true, -1}, {false, -1}, {true, 3}, {false, 1}};
    const ULONG rops[] = {0xF0F0, 0x0000, 0xFFFF, 0x0F0F, 0x5A5A, 0x5555};
    for (ULONG iFormat : kFormats) {
        for (const Layout& l : layouts) {
            SCOPED_TRACE(::testing::Message() << "format " << iFormat << " top-down " << l.bTopDown
                                              << " extra " << l.cbExtra);
            const LONG cbRow = LONG(24 * ref::bits_of(iFormat) + 7) / 8;
            Bitmap dst(24, 9, iFormat, l.bTopDown, l.cbExtra < 0 ? 0 : cbRow + l.cbExtra);
            dst.randomize(7);
            const std::vector<ULONG> orig = dst.pixels();
            BRUSHOBJ solid{0x89ABCDEF & ref::mask_of(iFormat), nullptr};
            RECTL rcl{3, 2, 22, 9};
            Case c{&dst};
            c.pattern = [&](LONG, LONG) { return solid.iSolidColor; };
            c.rcl = rcl;
            for (ULONG rop4 : rops) {
                dst.load(orig);
                c.rop4 = rop4;
                ASSERT_TRUE(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr,
                                      nullptr, &solid, nullptr, rop4));
                ASSERT_TRUE(ref::same_pixels(c.expected(orig), dst)) << "rop4 " << std::hex << rop4;
            }
        }
    }
}

TEST_F(EngineBitBlt, SourceCopiesInEveryFormatAndLayout) {
    // Equal formats copy rows as they are: both orientations mixed, rows
    // that are not whole words, sources cut by their surface.
    for (ULONG iFormat : kFormats) {
        // Layout bits: 1 target top-down, 2 source top-down, 4 target rows
        // not whole words, 8 source rows not whole words.
        for (int layout = 0; layout < 16; ++layout) {
            SCOPED_TRACE(::testing::Message() << "format " << iFormat << " layout " << layout);
            const LONG cbDst = LONG(30 * ref::bits_of(iFormat) + 7) / 8 + 1;
            const LONG cbSrc = LONG(20 * ref::bits_of(iFormat) + 7) / 8 + 2;
            Bitmap dst(30, 12, iFormat, layout & 1, layout & 4 ? cbDst : 0);
            Bitmap src(20, 10, iFormat, layout & 2, layout & 8 ? cbSrc : 0);
            dst.randomize(1);
            src.randomize(2);
            const std::vector<ULONG> orig = dst.pixels();
            RECTL rcl{1, 0, 28, 9};
            POINTL ptlSrc{3, -1};  // the first row and the right part lie outside the source
            Case c{&dst};
            c.src = &src;
            c.srcOff = POINTL{2, -1};
            c.rcl = rcl;
            c.rop4 = 0xCCCC;
            ASSERT_TRUE(EngBitBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, &rcl, &ptlSrc,
                                  nullptr, nullptr, nullptr, 0xCCCC));
            EXPECT_TRUE(ref::same_pixels(c.expected(orig), dst));
        }
    }
}

TEST_F(EngineBitBlt, Rop4ChoosesByTheMask) {
    std::mt19937 rng(42);
    std::vector<ULONG> rops = {0xAACC, 0xCCAA, 0x5A66, 0xF0CC, 0x00FF, 0xFF00, 0xB8E2, 0x6655};
    for (int i = 0; i < 24; ++i) rops.push_back(rng() & 0xFFFF);
    for (ULONG iFormat : {BMF_1BPP, BMF_8BPP, BMF_24BPP}) {
        SCOPED_TRACE(::testing::Message() << "format " << iFormat);
        Bitmap dst(19, 14, iFormat), src(19, 14, iFormat, false), mask(30, 30, BMF_1BPP, false);
        dst.randomize(3);
        src.randomize(4);
        mask.randomize(5);
        const std::vector<ULONG> orig = dst.pixels();
        PatternBrush brush(iFormat, 8, 8, 6);
        POINTL org{1, 2};
        RECTL rcl{0, 0, 19, 14};
        POINTL ptlSrc{0, 0}, ptlMask{4, 7};
        Case c{&dst};
        c.src = &src;
        c.mask = &mask;
        c.maskOff = POINTL{4, 7};
        c.pattern = [&](LONG x, LONG y) { return brush.at(x, y, org); };
        c.rcl = rcl;
        for (ULONG rop4 : rops) {
            dst.load(orig);
            c.rop4 = rop4;
            ASSERT_TRUE(EngBitBlt(dst.pso, src.pso, mask.pso, nullptr, nullptr, &rcl, &ptlSrc,
                                  &ptlMask, brush.brush.get(), &org, rop4));
            ASSERT_TRUE(ref::same_pixels(c.expected(orig), dst)) << "rop4 " << std::hex << rop4;
        }
    }
}

TEST_F(EngineBitBlt, WithoutAMaskSurfaceTheBrushGivesTheMask) {
    Bitmap dst(21, 11, BMF_16BPP), src(21, 11, BMF_16BPP);
    dst.randomize(8);
    src.randomize(9);
    const std::vector<ULONG> orig = dst.pixels();
    POINTL org{-3, 5};
    RECTL rcl{2, 1, 20, 11};
    POINTL ptlSrc{2, 1};
    const ULONG rop4 = 0xAACC;  // the source where the mask is 1, the target elsewhere

    // A two-colour pattern: its own bits are the mask, its colours come
    // through the translation.
    Bitmap mono(8, 8, BMF_1BPP);
    mono.randomize(10);
    const ULONG colours[2] = {0x1234, 0x7C00};
    ref::Xlate xlate(vnx::engine::create_xlate_vector(colours, 2));
    vnx::engine::BrushDesc d;
    d.psoPattern = mono.pso;
    d.pxlo = xlate.get();
    ref::Brush two(vnx::engine::create_brush(d));
    ASSERT_NE(two, nullptr);
    Case c{&dst};
    c.src = &src;
    c.rcl = rcl;
    c.rop4 = rop4;
    c.brushMask = [&](LONG x, LONG y) { return mono.get(ref::mod(x - org.x, 8), ref::mod(y - org.y, 8)) != 0; };
    ASSERT_TRUE(EngBitBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, &rcl, &ptlSrc, nullptr,
                          two.get(), &org, rop4));
    EXPECT_TRUE(ref::same_pixels(c.expected(orig), dst));

    // A colour pattern with a mask of its own; the pattern is drawn where
    // the mask is 0 (ROP4 0xF0AA).
    dst.load(orig);
    Bitmap own(4, 2, BMF_1BPP);
    own.randomize(11);
    PatternBrush colour(BMF_16BPP, 4, 2, 12, &own);
    c.rop4 = 0xF0AA;
    c.src = nullptr;
    c.pattern = [&](LONG x, LONG y) { return colour.at(x, y, org); };
    c.brushMask = [&](LONG x, LONG y) { return own.get(ref::mod(x - org.x, 4), ref::mod(y - org.y, 2)) != 0; };
    ASSERT_TRUE(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr,
                          colour.brush.get(), &org, 0xF0AA));
    EXPECT_TRUE(ref::same_pixels(c.expected(orig), dst));
}

TEST_F(EngineBitBlt, DrawsOnlyInsideTheClip) {
    const std::vector<RECTL> region = {{0, 0, 10, 6}, {5, 3, 25, 9}, {2, 12, 8, 30}, {20, 14, 40, 16}};
    ref::Clip complex(vnx::engine::create_clip(region.data(), ULONG(region.size())));
    ref::Clip single(vnx::engine::create_clip(&region[1], 1));
    ref::Clip trivial(vnx::engine::create_trivial_clip(RECTL{0, 0, 1, 1}));
    // The driver's own rectangle clip, as it makes one for a line.
    CLIPOBJ driverRect{};
    driverRect.iDComplexity = DC_RECT;
    driverRect.rclBounds = RECTL{4, 4, 12, 20};
    struct Row {
        const char* what;
        CLIPOBJ* pco;
        std::vector<RECTL> clip;
    };
    const Row rows[] = {
        {"complex", complex.get(), region},
        {"one rectangle", single.get(), {region[1]}},
        {"trivial", trivial.get(), {}},
        {"the driver's", &driverRect, {driverRect.rclBounds}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Bitmap dst(32, 24, BMF_8BPP, false), src(32, 24, BMF_8BPP);
        dst.randomize(20);
        src.randomize(21);
        const std::vector<ULONG> orig = dst.pixels();
        RECTL rcl{1, 1, 31, 22};
        POINTL ptlSrc{0, 2};
        Case c{&dst};
        c.src = &src;
        c.srcOff = POINTL{-1, 1};
        c.rcl = rcl;
        c.clip = row.clip;
        c.rop4 = 0x6666;
        ASSERT_TRUE(EngBitBlt(dst.pso, src.pso, nullptr, row.pco, nullptr, &rcl, &ptlSrc, nullptr,
                              nullptr, nullptr, 0x6666));
        EXPECT_TRUE(ref::same_pixels(c.expected(orig), dst));
    }
}

TEST_F(EngineBitBlt, OverlappingCopiesWithinOneBitmap) {
    const POINTL shifts[] = {{3, 2}, {-3, 2}, {3, -2}, {-3, -2}, {5, 0}, {-5, 0}, {0, 4}, {0, -4}};
    // Two rectangles of one band closer than the shifts: their order matters.
    const std::vector<RECTL> region = {{0, 0, 40, 9}, {0, 9, 12, 20}, {14, 9, 40, 20}, {5, 20, 35, 30}};
    ref::Clip clip(vnx::engine::create_clip(region.data(), ULONG(region.size())));
    for (ULONG iFormat : {BMF_4BPP, BMF_8BPP, BMF_24BPP, BMF_32BPP}) {
        for (bool bTopDown : {true, false}) {
            for (ULONG rop4 : {0xCCCCu, 0x6666u}) {
                for (const POINTL& d : shifts) {
                    SCOPED_TRACE(::testing::Message()
                                 << "format " << iFormat << " top-down " << bTopDown << " rop "
                                 << std::hex << rop4 << std::dec << " shift " << d.x << "," << d.y);
                    Bitmap bmp(40, 30, iFormat, bTopDown);
                    bmp.randomize(30);
                    const std::vector<ULONG> orig = bmp.pixels();
                    // Destination moved by d from its source.
                    RECTL rcl{4 + d.x, 4 + d.y, 34 + d.x, 25 + d.y};
                    POINTL ptlSrc{4, 4};
                    Case c{&bmp};
                    c.src = &bmp;
                    c.srcOff = POINTL{-d.x, -d.y};
                    c.rcl = rcl;
                    c.clip = region;
                    c.rop4 = rop4;
                    const std::vector<ULONG> want = c.expected(orig, &orig);
                    ASSERT_TRUE(EngBitBlt(bmp.pso, bmp.pso, nullptr, clip.get(), nullptr, &rcl,
                                          &ptlSrc, nullptr, nullptr, nullptr, rop4));
                    ASSERT_TRUE(ref::same_pixels(want, bmp));
                }
            }
        }
    }
}

// Plain copies between two bitmaps under no clip or a rectangle clip (the
// copies small drawings make most) must leave what the general path leaves
// for the same copy, reached here through a complex clip of the same area
// (its second rectangle lies far off the target). Widths step over every
// size the rows are moved in (8, 16, 32, 64 and 128 bytes) and over the
// rows asked for ahead line by line (2048 bytes); heights over the rows
// asked for ahead of the first move; target and source each either way up.
TEST_F(EngineBitBlt, PlainCopiesDrawWhatTheGeneralPathDraws) {
    const LONG widths[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 512, 513};
    const LONG heights[] = {1, 3, 4, 5, 9, 70};
    const RECTL kFar{5000, 5000, 5001, 5001};
    enum ClipKind { kNone, kTrivial, kInside, kEmpty };
    int n = 0;
    for (ULONG iFormat : {BMF_8BPP, BMF_16BPP, BMF_32BPP}) {
        for (LONG cx : widths) {
            for (LONG cy : heights) {
                for (ClipKind kind : {kNone, kTrivial, kInside, kEmpty}) {
                    ++n;
                    const bool bCopyBits = n % 2 == 0;
                    const bool bDstDown = n % 3 != 0, bSrcDown = n % 5 != 0;
                    SCOPED_TRACE(::testing::Message()
                                 << "format " << iFormat << " " << cx << "x" << cy << " clip "
                                 << kind << (bCopyBits ? " EngCopyBits" : " EngBitBlt")
                                 << " target down " << bDstDown << " source down " << bSrcDown);
                    Bitmap straight(cx + 6, cy + 4, iFormat, bDstDown),
                        general(cx + 6, cy + 4, iFormat, bDstDown);
                    Bitmap src(cx + 5, cy + 3, iFormat, bSrcDown);
                    straight.randomize(n);
                    general.randomize(n);
                    src.randomize(n + 1000);
                    const std::vector<ULONG> orig = straight.pixels();
                    RECTL rcl{2, 1, 2 + cx, 1 + cy};
                    POINTL ptlSrc{4, 2};  // the last column and row lie outside the source
                    // What the clip lets the copy draw, and that area as a
                    // complex clip for the general path.
                    RECTL allowed{0, 0, cx + 6, cy + 4};
                    CLIPOBJ rectClip{};
                    rectClip.iDComplexity = DC_RECT;
                    ref::Clip trivial(vnx::engine::create_trivial_clip(allowed));
                    CLIPOBJ* pco = nullptr;
                    if (kind == kTrivial) pco = trivial.get();
                    if (kind == kInside) allowed = RECTL{3, 2, 3 + (cx + 1) / 2, 2 + (cy + 1) / 2};
                    if (kind == kEmpty) allowed = RECTL{0, 0, 2, cy + 4};  // beside the target
                    if (kind == kInside || kind == kEmpty) {
                        rectClip.rclBounds = allowed;
                        pco = &rectClip;
                    }
                    const RECTL parts[] = {allowed, kFar};
                    ref::Clip complex(vnx::engine::create_clip(parts, 2));
                    ASSERT_EQ(complex->iDComplexity, DC_COMPLEX);
                    XLATEOBJ trivialXlate{};
                    trivialXlate.flXlate = XO_TRIVIAL;
                    auto copy = [&](Bitmap& dst, CLIPOBJ* clip) {
                        RECTL r = rcl;
                        POINTL p = ptlSrc;
                        return bCopyBits
                                   ? EngCopyBits(dst.pso, src.pso, clip, &trivialXlate, &r, &p)
                                   : EngBitBlt(dst.pso, src.pso, nullptr, clip, nullptr, &r, &p,
                                               nullptr, nullptr, nullptr, 0xCCCC);
                    };
                    ASSERT_TRUE(copy(straight, pco));
                    ASSERT_TRUE(copy(general, complex.get()));
                    ASSERT_TRUE(ref::same_pixels(general.pixels(), straight));
                    Case c{&straight};
                    c.src = &src;
                    c.srcOff = POINTL{2, 1};
                    c.rcl = rcl;
                    c.clip = {allowed};
                    c.rop4 = 0xCCCC;
                    ASSERT_TRUE(ref::same_pixels(c.expected(orig), straight));
                }
            }
        }
    }
}

// Copies whose source and target share memory are drawn in the order the
// overlap needs whatever the clip: within one bitmap, moved in each of the
// four directions (and along each axis), and between two bitmaps that see
// one block of memory from different first rows (equal layout, different
// bits), where only the bytes tell that the areas overlap.
TEST_F(EngineBitBlt, OverlappingPlainCopiesUnderASimpleClip) {
    const POINTL shifts[] = {{3, 2}, {-3, 2}, {3, -2}, {-3, -2}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    const SIZEL sizes[] = {{8, 8}, {64, 5}, {3, 1}};
    for (ULONG iFormat : {BMF_8BPP, BMF_16BPP, BMF_32BPP}) {
        for (bool bTopDown : {true, false}) {
            for (const SIZEL& size : sizes) {
                for (bool bRectClip : {false, true}) {
                    for (const POINTL& d : shifts) {
                        SCOPED_TRACE(::testing::Message()
                                     << "format " << iFormat << " top-down " << bTopDown << " "
                                     << size.cx << "x" << size.cy << " rectangle clip " << bRectClip
                                     << " shift " << d.x << "," << d.y);
                        Bitmap bmp(size.cx + 8, size.cy + 6, iFormat, bTopDown);
                        bmp.randomize(60);
                        const std::vector<ULONG> orig = bmp.pixels();
                        RECTL rcl{4 + d.x, 3 + d.y, 4 + size.cx + d.x, 3 + size.cy + d.y};
                        POINTL ptlSrc{4, 3};
                        CLIPOBJ rectClip{};
                        rectClip.iDComplexity = DC_RECT;
                        rectClip.rclBounds = RECTL{0, 0, size.cx + 8, size.cy + 6};
                        Case c{&bmp};
                        c.src = &bmp;
                        c.srcOff = POINTL{-d.x, -d.y};
                        c.rcl = rcl;
                        c.rop4 = 0xCCCC;
                        const std::vector<ULONG> want = c.expected(orig, &orig);
                        ASSERT_TRUE(EngBitBlt(bmp.pso, bmp.pso, nullptr,
                                              bRectClip ? &rectClip : nullptr, nullptr, &rcl,
                                              &ptlSrc, nullptr, nullptr, nullptr, 0xCCCC));
                        ASSERT_TRUE(ref::same_pixels(want, bmp));
                    }
                }
            }
        }
    }

    // Two views of one block of rows: `whole` from row 0, `lower` from row
    // 3 on (the same bytes a row, so a pixel of `lower` at y is one of
    // `whole` at y + 3).
    for (ULONG iFormat : {BMF_16BPP, BMF_32BPP}) {
        for (LONG dy : {-2, 2, 0}) {
            SCOPED_TRACE(::testing::Message() << "format " << iFormat << " rows apart " << dy);
            const LONG cx = 16, cy = 20, cbRow = cx * LONG(ref::bits_of(iFormat)) / 8;
            std::vector<BYTE> bits(size_t(cbRow) * cy);
            Bitmap whole(cx, cy, iFormat, true, cbRow, bits.data());
            Bitmap lower(cx, cy - 3, iFormat, true, cbRow, bits.data() + 3 * cbRow);
            whole.randomize(61);
            const std::vector<ULONG> orig = whole.pixels();
            // From `lower` at (1, 2) to `whole` at (1 + 1, 2 + 3 + dy): the
            // target lies dy rows (and one pixel) away from the source.
            RECTL rcl{2, 5 + dy, 10, 13 + dy};
            POINTL ptlSrc{1, 2};
            ASSERT_TRUE(EngBitBlt(whole.pso, lower.pso, nullptr, nullptr, nullptr, &rcl, &ptlSrc,
                                  nullptr, nullptr, nullptr, 0xCCCC));
            std::vector<ULONG> want = orig;
            for (LONG y = rcl.top; y < rcl.bottom; ++y)
                for (LONG x = rcl.left; x < rcl.right; ++x)
                    want[size_t(y * cx + x)] =
                        orig[size_t((y - rcl.top + 2 + 3) * cx + (x - rcl.left + 1))];
            ASSERT_TRUE(ref::same_pixels(want, whole));
        }
    }
}

TEST_F(EngineBitBlt, SurfacesSharingBitsLaidOutDifferently) {
    // One block of memory seen as a top-down and as a bottom-up bitmap: the
    // copy reads every source pixel before it is overwritten.
    std::vector<ULONG> bits(16 * 16);
    Bitmap down(16, 16, BMF_32BPP, true, 0, bits.data());
    Bitmap up(16, 16, BMF_32BPP, false, 0, bits.data());
    down.randomize(40);
    const std::vector<ULONG> orig = down.pixels();
    RECTL rcl{0, 0, 16, 16};
    POINTL ptl{0, 0};
    for (ULONG rop4 : {0xCCCCu, 0x3333u}) {
        down.load(orig);
        ASSERT_TRUE(EngBitBlt(down.pso, up.pso, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr,
                              nullptr, nullptr, rop4));
        // Row y of the result is row 15 - y of the original.
        for (LONG y = 0; y < 16; ++y)
            for (LONG x = 0; x < 16; ++x)
                ASSERT_EQ(down.get(x, y), ref::rop3(rop4 & 0xFF, 0, orig[size_t((15 - y) * 16 + x)], 0))
                    << x << "," << y;
    }
}

TEST_F(EngineBitBlt, SourcesTranslatedIntoTheTarget) {
    Bitmap dst(13, 7, BMF_32BPP), src(13, 7, BMF_4BPP);
    dst.randomize(50);
    src.randomize(51);
    const std::vector<ULONG> orig = dst.pixels();
    std::vector<ULONG> vector;
    for (ULONG i = 0; i < 16; ++i) vector.push_back(0x01010101u * (i * 17) ^ 0x00A5005Au);
    ref::Xlate xlate(vnx::engine::create_xlate_vector(vector.data(), 16));
    RECTL rcl{0, 0, 13, 7};
    POINTL ptl{0, 0};
    Case c{&dst};
    c.src = &src;
    c.rcl = rcl;
    c.xlate = [&](ULONG v) { return vector[v]; };
    for (ULONG rop4 : {0xCCCCu, 0x6666u, 0x8888u}) {
        dst.load(orig);
        c.rop4 = rop4;
        ASSERT_TRUE(EngBitBlt(dst.pso, src.pso, nullptr, nullptr, xlate.get(), &rcl, &ptl, nullptr,
                              nullptr, nullptr, rop4));
        EXPECT_TRUE(ref::same_pixels(c.expected(orig), dst));
    }

    // A translation object the driver filled in itself is read by its
    // fields; values past its vector become 0.
    ULONG three[3] = {0xAAAAAAAA, 0xBBBBBBBB, 0xCCCCCCCC};
    XLATEOBJ own{};
    own.flXlate = XO_TABLE;
    own.cEntries = 3;
    own.pulXlate = three;
    dst.load(orig);
    c.rop4 = 0xCCCC;
    c.xlate = [&](ULONG v) { return v < 3 ? three[v] : 0u; };
    ASSERT_TRUE(EngBitBlt(dst.pso, src.pso, nullptr, nullptr, &own, &rcl, &ptl, nullptr, nullptr,
                          nullptr, 0xCCCC));
    EXPECT_TRUE(ref::same_pixels(c.expected(orig), dst));

    // A translation never made (no vector) is refused, not followed.
    own.pulXlate = nullptr;
    EXPECT_FALSE(EngBitBlt(dst.pso, src.pso, nullptr, nullptr, &own, &rcl, &ptl, nullptr, nullptr,
                           nullptr, 0xCCCC));
    // A ROP that reads no source never looks at the translation.
    BRUSHOBJ solid{7, nullptr};
    EXPECT_TRUE(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, &own, &rcl, nullptr, nullptr, &solid,
                          nullptr, 0xF0F0));
}

TEST_F(EngineBitBlt, RefusesWhatItCannotRead) {
    Bitmap dst(8, 8, BMF_8BPP), src(8, 8, BMF_8BPP), mask8(8, 8, BMF_8BPP);
    RECTL rcl{0, 0, 8, 8};
    POINTL ptl{0, 0};
    BRUSHOBJ solid{1, nullptr};
    BRUSHOBJ foreign{0xFFFFFFFF, nullptr};  // a pattern brush the engine never made
    vnx::engine::BrushDesc d;  // a dithered brush with no pattern for the engine
    d.iHatch = RB_DITHERCOLOR | 0x123456;
    ref::Brush patternless(vnx::engine::create_brush(d));
    ASSERT_NE(patternless, nullptr);
    CLIPOBJ foreignRegion{};
    foreignRegion.iDComplexity = DC_COMPLEX;
    CLIPOBJ oddComplexity{};
    oddComplexity.iDComplexity = 2;
    struct Row {
        const char* what;
        std::function<BOOL()> call;
    };
    const Row rows[] = {
        {"no target", [&] { return EngBitBlt(nullptr, src.pso, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr, nullptr, nullptr, 0xCCCC); }},
        {"no rectangle", [&] { return EngBitBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, &ptl, nullptr, nullptr, nullptr, 0xCCCC); }},
        {"no source", [&] { return EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr, nullptr, nullptr, 0x6666); }},
        {"no source point", [&] { return EngBitBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr, nullptr, nullptr, 0xCCCC); }},
        {"no brush", [&] { return EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr, nullptr, nullptr, 0xF0F0); }},
        {"foreign pattern brush", [&] { return EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr, &foreign, nullptr, 0x5A5A); }},
        {"brush without a pattern", [&] { return EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr, patternless.get(), nullptr, 0xF0F0); }},
        {"ROP4 without any mask", [&] { return EngBitBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr, &solid, nullptr, 0xAACC); }},
        {"mask without its point", [&] { return EngBitBlt(dst.pso, src.pso, mask8.pso, nullptr, nullptr, &rcl, &ptl, nullptr, nullptr, nullptr, 0xAACC); }},
        {"mask not 1 bpp", [&] { return EngBitBlt(dst.pso, src.pso, mask8.pso, nullptr, nullptr, &rcl, &ptl, &ptl, nullptr, nullptr, 0xAACC); }},
        {"region the engine did not make", [&] { return EngBitBlt(dst.pso, src.pso, nullptr, &foreignRegion, nullptr, &rcl, &ptl, nullptr, nullptr, nullptr, 0xCCCC); }},
        {"unknown complexity", [&] { return EngBitBlt(dst.pso, src.pso, nullptr, &oddComplexity, nullptr, &rcl, &ptl, nullptr, nullptr, nullptr, 0xCCCC); }},
    };
    dst.randomize(60);
    src.randomize(61);
    const std::vector<ULONG> orig = dst.pixels();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_FALSE(row.call());
        EXPECT_TRUE(ref::same_pixels(orig, dst));
    }
    // Formats the blit does not know, on either side.
    SURFOBJ odd = *src.pso;
    odd.iBitmapFormat = 12;
    EXPECT_FALSE(EngBitBlt(dst.pso, &odd, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr, nullptr,
                           nullptr, 0x6666));
    EXPECT_FALSE(EngBitBlt(&odd, src.pso, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr, nullptr,
                           nullptr, 0x6666));
    EXPECT_TRUE(ref::same_pixels(orig, dst));
}

TEST_F(EngineBitBlt, RunLengthSourcesUnderAnyRop) {
    // 5 x 2, bottom row: three pixels, a gap of one, one pixel; top row: two
    // literal pixels, then nothing.
    const BYTE runs[] = {3, 0x0F, 0, 2, 1, 0, 1, 0xF0, 0, 0, 0, 3, 0x33, 0x44, 0x55, 0, 0, 1};
    HSURF hrle = vnx::engine::create_rle_bitmap(SIZEL{5, 2}, BMF_8RLE, runs, sizeof runs);
    SURFOBJ* rle = EngLockSurface(hrle);
    const int have[2][5] = {{0x33, 0x44, 0x55, -1, -1}, {0x0F, 0x0F, 0x0F, -1, 0xF0}};
    ULONG vector[256];
    for (ULONG i = 0; i < 256; ++i) vector[i] = i ^ 0x5A;
    ref::Xlate xlate(vnx::engine::create_xlate_vector(vector, 256));
    for (ULONG rop4 : {0x6666u, 0x8888u, 0x3333u}) {
        Bitmap dst(5, 2, BMF_8BPP);
        dst.randomize(rop4);
        const std::vector<ULONG> orig = dst.pixels();
        RECTL rcl{0, 0, 5, 2};
        POINTL ptl{0, 0};
        ASSERT_TRUE(EngBitBlt(dst.pso, rle, nullptr, nullptr, xlate.get(), &rcl, &ptl, nullptr,
                              nullptr, nullptr, rop4));
        for (LONG y = 0; y < 2; ++y) {
            for (LONG x = 0; x < 5; ++x) {
                const int v = have[y][x];
                const ULONG d = orig[size_t(y * 5 + x)];
                EXPECT_EQ(dst.get(x, y), v < 0 ? d : ref::rop3(rop4 & 0xFF, 0, vector[v], d) & 0xFF)
                    << x << "," << y << " rop " << std::hex << rop4;
            }
        }
    }
    EngUnlockSurface(rle);
    EngDeleteSurface(hrle);
}

TEST_F(EngineBitBlt, EmptyAndFarOffRectanglesDrawNothing) {
    Bitmap dst(8, 8, BMF_16BPP), src(8, 8, BMF_16BPP);
    dst.randomize(70);
    src.randomize(71);
    const std::vector<ULONG> orig = dst.pixels();
    BRUSHOBJ solid{5, nullptr};
    const ULONG uniq = dst.pso->iUniq;
    const RECTL rects[] = {{4, 4, 4, 8}, {6, 2, 2, 6}, {8, 0, 20, 8}, {-10, -10, 0, 0},
                           {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}};
    for (RECTL r : rects) {
        // A source point so far off that the source lies outside its surface.
        POINTL farOff{INT32_MAX, INT32_MIN};
        EXPECT_TRUE(EngBitBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, &r, &farOff, nullptr,
                              &solid, nullptr, 0xCCCC));
        if (r.left >= r.right || r.left >= 8 || r.right <= 0) {
            EXPECT_TRUE(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr,
                                  &solid, nullptr, 0xF0F0));
        }
    }
    EXPECT_TRUE(ref::same_pixels(orig, dst));
    EXPECT_EQ(dst.pso->iUniq, uniq);
    // Drawing changes the surface's uniqueness number.
    RECTL all{0, 0, 8, 8};
    ASSERT_TRUE(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &all, nullptr, nullptr,
                          &solid, nullptr, 0xF0F0));
    EXPECT_NE(dst.pso->iUniq, uniq);
}

TEST_F(EngineBitBlt, FailsWhenItsFaultPointIsArmed) {
    Bitmap dst(4, 4, BMF_8BPP);
    BRUSHOBJ solid{5, nullptr};
    RECTL rcl{0, 0, 4, 4};
    vnx::faults::arm("EngBitBlt");
    EXPECT_FALSE(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr,
                           &solid, nullptr, 0xF0F0));
    EXPECT_EQ(dst.get(0, 0), 0u);
    EXPECT_TRUE(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr,
                          &solid, nullptr, 0xF0F0));
    EXPECT_EQ(dst.get(3, 3), 5u);
}

}  // namespace
