// EngStretchBlt: nearest-pixel stretching and shrinking, mirroring,
// clipping, masks, sources cut by their surface, and refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "engine_reference.h"

namespace {

using ref::Bitmap;

class EngineStretchBlt : public ref::EngineTest {};

// Destination index i of n takes the source index whose pixel lies under
// the centre of i: floor((i + 1/2) * m / n) of m.
LONG nearest(LONG i, LONG n, LONG m) { return LONG(std::floor((i + 0.5) * double(m) / double(n))); }

TEST_F(EngineStretchBlt, EachPixelTakesTheSourcePixelUnderItsCentre) {
    struct Row {
        const char* what;
        RECTL dst, src;  // dst may be reversed (mirror)
    };
    const Row rows[] = {
        {"identity", {3, 2, 14, 9}, {1, 1, 12, 8}},
        {"enlarge", {0, 0, 23, 19}, {2, 3, 9, 8}},
        {"shrink", {5, 4, 10, 8}, {0, 0, 17, 13}},
        {"mirror across", {20, 1, 2, 15}, {0, 0, 13, 11}},
        {"mirror upside down", {1, 18, 22, 3}, {4, 2, 15, 12}},
        {"both, uneven", {24, 19, 0, 0}, {1, 1, 16, 12}},
    };
    const std::vector<RECTL> region = {{0, 0, 24, 7}, {4, 7, 16, 20}};
    ref::Clip clip(vnx::engine::create_clip(region.data(), 2));
    std::vector<ULONG> vector(256);
    for (ULONG i = 0; i < 256; ++i) vector[i] = 0x00010101u * i + 0x01000000u;
    ref::Xlate xlate(vnx::engine::create_xlate_vector(vector.data(), 256));
    for (const Row& row : rows) {
        for (bool bClip : {false, true}) {
            SCOPED_TRACE(::testing::Message() << row.what << (bClip ? " clipped" : ""));
            Bitmap src(17, 13, BMF_8BPP, false), dst(24, 20, BMF_32BPP);
            src.randomize(1);
            dst.randomize(2);
            const std::vector<ULONG> orig = dst.pixels();
            RECTL rclDst = row.dst, rclSrc = row.src;
            ASSERT_TRUE(EngStretchBlt(dst.pso, src.pso, nullptr, bClip ? clip.get() : nullptr,
                                      xlate.get(), nullptr, nullptr, &rclDst, &rclSrc, nullptr,
                                      COLORONCOLOR));
            const bool mx = row.dst.left > row.dst.right, my = row.dst.top > row.dst.bottom;
            const RECTL d{std::min(row.dst.left, row.dst.right), std::min(row.dst.top, row.dst.bottom),
                          std::max(row.dst.left, row.dst.right), std::max(row.dst.top, row.dst.bottom)};
            const LONG wd = d.right - d.left, hd = d.bottom - d.top;
            const LONG ws = row.src.right - row.src.left, hs = row.src.bottom - row.src.top;
            std::vector<ULONG> want = orig;
            for (LONG y = d.top; y < d.bottom; ++y) {
                for (LONG x = d.left; x < d.right; ++x) {
                    if (bClip && !ref::inside_any(region, x, y)) continue;
                    const LONG i = mx ? wd - 1 - (x - d.left) : x - d.left;
                    const LONG j = my ? hd - 1 - (y - d.top) : y - d.top;
                    const ULONG v = src.get(row.src.left + nearest(i, wd, ws), row.src.top + nearest(j, hd, hs));
                    want[size_t(y * 24 + x)] = vector[v];
                }
            }
            ASSERT_TRUE(ref::same_pixels(want, dst));
        }
    }
}

TEST_F(EngineStretchBlt, MaskAndSourcesOutsideTheirSurface) {
    Bitmap src(6, 4, BMF_1BPP), dst(12, 8, BMF_8BPP), mask(6, 4, BMF_1BPP);
    src.randomize(3);
    mask.randomize(4);
    RECTL rclDst{0, 0, 12, 8}, rclSrc{0, 0, 6, 4};
    POINTL ptlMask{0, 0};
    const ULONG two[2] = {0x40, 0x80};
    ref::Xlate xlate(vnx::engine::create_xlate_vector(two, 2));
    ASSERT_TRUE(EngStretchBlt(dst.pso, src.pso, mask.pso, nullptr, xlate.get(), nullptr, nullptr,
                              &rclDst, &rclSrc, &ptlMask, HALFTONE));
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 12; ++x)
            ASSERT_EQ(dst.get(x, y), mask.get(x / 2, y / 2) ? two[src.get(x / 2, y / 2)] : 0u) << x << "," << y;

    // A source rectangle reaching past the bitmap: the destination pixels
    // that map outside stay as they were.
    Bitmap dst2(8, 8, BMF_8BPP);
    RECTL rclFar{-2, -2, 6, 6};
    ASSERT_TRUE(EngStretchBlt(dst2.pso, src.pso, nullptr, nullptr, xlate.get(), nullptr, nullptr,
                              &rclDst, &rclFar, nullptr, BLACKONWHITE));
    for (LONG y = 0; y < 8; ++y) {
        for (LONG x = 0; x < 8; ++x) {
            const LONG sx = -2 + nearest(x, 12, 8), sy = -2 + nearest(y, 8, 8);
            const bool bIn = sx >= 0 && sx < 6 && sy >= 0 && sy < 4;
            ASSERT_EQ(dst2.get(x, y), bIn ? two[src.get(sx, sy)] : 0u) << x << "," << y;
        }
    }
}

TEST_F(EngineStretchBlt, RunLengthSourcesDrawOnlyTheirRuns) {
    // 3 x 1: a run of two nibbles 0xA, 0xB, then nothing.
    const BYTE runs[] = {2, 0xAB, 0, 1};
    HSURF hrle = vnx::engine::create_rle_bitmap(SIZEL{3, 1}, BMF_4RLE, runs, sizeof runs);
    SURFOBJ* rle = EngLockSurface(hrle);
    Bitmap dst(6, 2, BMF_8BPP);
    dst.randomize(7);
    const std::vector<ULONG> orig = dst.pixels();
    RECTL rclDst{0, 0, 6, 2}, rclSrc{0, 0, 3, 1};
    ASSERT_TRUE(EngStretchBlt(dst.pso, rle, nullptr, nullptr, nullptr, nullptr, nullptr, &rclDst,
                              &rclSrc, nullptr, COLORONCOLOR));
    for (LONG y = 0; y < 2; ++y) {
        EXPECT_EQ(dst.get(0, y), 0xAu);
        EXPECT_EQ(dst.get(1, y), 0xAu);
        EXPECT_EQ(dst.get(2, y), 0xBu);
        EXPECT_EQ(dst.get(3, y), 0xBu);
        EXPECT_EQ(dst.get(4, y), orig[size_t(y * 6 + 4)]);
        EXPECT_EQ(dst.get(5, y), orig[size_t(y * 6 + 5)]);
    }
    EngUnlockSurface(rle);
    EngDeleteSurface(hrle);
}

TEST_F(EngineStretchBlt, StretchWithinOneBitmap) {
    // Enlarging a corner of a bitmap over itself reads the original pixels.
    Bitmap bmp(16, 16, BMF_16BPP);
    bmp.randomize(5);
    const std::vector<ULONG> orig = bmp.pixels();
    RECTL rclDst{0, 0, 16, 16}, rclSrc{2, 2, 10, 10};
    ASSERT_TRUE(EngStretchBlt(bmp.pso, bmp.pso, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &rclDst, &rclSrc, nullptr, COLORONCOLOR));
    for (LONG y = 0; y < 16; ++y)
        for (LONG x = 0; x < 16; ++x)
            ASSERT_EQ(bmp.get(x, y), orig[size_t((2 + y / 2) * 16 + 2 + x / 2)]) << x << "," << y;
}

TEST_F(EngineStretchBlt, Refusals) {
    Bitmap src(4, 4, BMF_8BPP), dst(4, 4, BMF_8BPP), mask8(4, 4, BMF_8BPP);
    src.randomize(6);
    RECTL r{0, 0, 4, 4}, empty{2, 2, 2, 4};
    RECTL huge{0, 0, 0x7FFFFFFF, 4};
    POINTL ptl{0, 0};
    EXPECT_FALSE(EngStretchBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &r, &r, nullptr, 0));
    EXPECT_FALSE(EngStretchBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &r, &r, nullptr, 5));
    EXPECT_FALSE(EngStretchBlt(nullptr, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &r, &r, nullptr, 3));
    EXPECT_FALSE(EngStretchBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &r, nullptr, 3));
    EXPECT_FALSE(EngStretchBlt(dst.pso, src.pso, mask8.pso, nullptr, nullptr, nullptr, nullptr, &r, &r, &ptl, 3));
    EXPECT_FALSE(EngStretchBlt(dst.pso, src.pso, src.pso, nullptr, nullptr, nullptr, nullptr, &r, &r, nullptr, 3));
    EXPECT_FALSE(EngStretchBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &huge, &r, nullptr, 3));
    EXPECT_EQ(dst.pixels(), std::vector<ULONG>(16, 0));
    // Empty rectangles draw nothing and succeed.
    EXPECT_TRUE(EngStretchBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &empty, &r, nullptr, 3));
    EXPECT_TRUE(EngStretchBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &r, &empty, nullptr, 3));
    EXPECT_EQ(dst.pixels(), std::vector<ULONG>(16, 0));
    vnx::faults::arm("EngStretchBlt");
    EXPECT_FALSE(EngStretchBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &r, &r, nullptr, 3));
    EXPECT_EQ(dst.pixels(), std::vector<ULONG>(16, 0));
    EXPECT_TRUE(EngStretchBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &r, &r, nullptr, 3));
    EXPECT_EQ(dst.pixels(), src.pixels());
}

}  // namespace
