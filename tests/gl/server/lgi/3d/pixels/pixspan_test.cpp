// The pixel span stages: zoom replication in x and y, the per-pixel
// conversions with their maps, and requests run through the pixel paths
// from host-memory buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "3d/pixels/pixelpath.h"
#include "3d/queue/renderfcn.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "lgi/seams.h"

namespace {

using lgi_test::F;
using lgi_test::LgiTest;

// A span of count pixels whose packed words are 1, 2, 3, ...
N_PixelSpan Row(ULONG count, LONG x = 100) {
    N_PixelSpan s{};
    _NPixSpanArrays(&s);
    s.count = count;
    s.x = x;
    for (ULONG i = 0; i < count; ++i) {
        s.pulPacked[i] = i + 1;
        for (ULONG c = 0; c < 4; ++c) s.apChannel[c][i] = static_cast<float>(i + 1);
    }
    return s;
}

std::vector<ULONG> Zoomed(ULONG n) { return {gNArena.apSpan[4], gNArena.apSpan[4] + n}; }

TEST_F(LgiTest, ZoomInXReplicatesByTheRunningSum) {
    struct Case {
        float zoom;
        ULONG count;
        std::vector<ULONG> want;
        LONG x;
    };
    const Case cases[] = {
        {1.5f, 4, {1, 2, 2, 3, 4, 4}, 100},     // sums 32768, 65536, 98304, 131072
        {-2.0f, 3, {3, 3, 2, 2, 1, 1}, 94},     // backward, start x - 6
        {0.5f, 4, {2, 4}, 100},
        {-1.5f, 2, {2, 2, 1}, 97},
        {-0.0f, 3, {}, 100},
    };
    for (const Case& c : cases) {
        N_PixelSpan s = Row(c.count);
        LONG x = 0;
        const ULONG n = _NZoomReplicateX(&s, c.zoom, &x);
        ASSERT_EQ(n, c.want.size()) << c.zoom;
        EXPECT_EQ(Zoomed(n), c.want) << c.zoom;
        EXPECT_EQ(x, c.x) << c.zoom;
        if (!c.want.empty()) {
            EXPECT_EQ(reinterpret_cast<float*>(gNArena.apSpan[0])[0], float(c.want[0])) << c.zoom;
        }
    }
}

TEST_F(LgiTest, ZoomedCountNeverPassesWhatWasWritten) {
    // 2,000 pixels at 1.3: 2,600 by the zoom, cut at the 2,308 written.
    N_PixelSpan s = Row(2000);
    gNArena.apSpan[4][N_SPAN - 1] = 0;
    LONG x = 0;
    EXPECT_EQ(_NZoomReplicateX(&s, 1.3f, &x), N_SPAN);
    EXPECT_NE(gNArena.apSpan[4][N_SPAN - 1], 0u);
    // The sum starts half a pixel in: ten pixels at 1.3 cover the 13 window
    // pixels whose centres lie within 13.0, all written and handed on.
    s = Row(10);
    const ULONG n = _NZoomReplicateX(&s, 1.3f, &x);
    EXPECT_EQ(n, 13u);
    s = Row(10);
    EXPECT_EQ(_NZoomReplicateX(&s, -1.3f, &x), 13u);
    EXPECT_EQ(x, 100 - 13);
    EXPECT_EQ(gNArena.apSpan[4][0], 10u);
    EXPECT_EQ(gNArena.apSpan[4][12], 1u);
}

TEST_F(LgiTest, ZoomInYRepeatsRowsAsTheAccumulatorCarries) {
    struct Case {
        float zoom;
        std::vector<ULONG> want;
    };
    const Case cases[] = {{0.5f, {0, 1, 0, 1}}, {2.25f, {2, 2, 2, 3}}, {-1.5f, {1, 2, 1, 2}}, {3.0f, {3, 3, 3, 3}}};
    for (const Case& c : cases) {
        N_PixelSpan s{};
        s.zoomYFrac = static_cast<ULONG>(std::fabs(c.zoom - std::trunc(c.zoom)) * 65536.0f);
        std::vector<ULONG> got;
        for (int r = 0; r < 4; ++r) got.push_back(_NZoomRepeatsY(&s, c.zoom));
        EXPECT_EQ(got, c.want) << c.zoom;
    }
    // Over many rows the rows given add up to the zoomed height: n source
    // rows give n x zoom rows (in 65,536ths of a row), the fraction carried
    // from row to row, never dropped.
    for (float zoom : {0.75f, 1.3f, 0.3f, 2.6f}) {
        N_PixelSpan s{};
        const std::uint64_t whole = static_cast<std::uint64_t>(std::trunc(zoom));
        s.zoomYFrac = static_cast<ULONG>(std::fabs(zoom - std::trunc(zoom)) * 65536.0f);
        std::uint64_t total = 0;
        for (std::uint64_t n = 1; n <= 40; ++n) {
            total += _NZoomRepeatsY(&s, zoom);
            ASSERT_EQ(total, n * whole + ((n * s.zoomYFrac) >> 16)) << zoom << " after " << n << " rows";
        }
    }
}

// The zoom stages hand on each row as GL zooms it: x 2 and y 3 give three
// rows of each pixel twice; y alone repeats the row as it is; x alone
// widens one row.
struct ZoomedRow {
    LONG y;
    std::vector<ULONG> words;
    bool operator==(const ZoomedRow&) const = default;
};
std::vector<ZoomedRow> gZoomed;
void RecordZoomed(N_Context*, N_Pipe* pipe) {
    const auto* ps = static_cast<const N_PixelSpan*>(pipe->pSpan);
    gZoomed.push_back({ps->outY, std::vector<ULONG>(ps->pulPacked, ps->pulPacked + ps->outCount)});
}

TEST_F(LgiTest, ZoomStagesRepeatPixelsAndRows) {
    struct Case {
        float zx, zy;
        N_StageFn stage;
        std::vector<ZoomedRow> want;
    } const cases[] = {
        {2.0f, 3.0f, _NStageZoomXY, {{10, {1, 1, 2, 2, 3, 3}}, {9, {1, 1, 2, 2, 3, 3}}, {8, {1, 1, 2, 2, 3, 3}}}},
        {1.0f, 3.0f, _NStageZoomY, {{10, {1, 2, 3}}, {9, {1, 2, 3}}, {8, {1, 2, 3}}}},
        {2.0f, 1.0f, _NStageZoomX, {{10, {1, 1, 2, 2, 3, 3}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zx * 10 + c.zy);
        N_PixelSpan s = Row(3);
        s.y = 10;
        s.rowStep = -1;
        s.zoomYFrac = 0;
        s.zoomYAcc = 0x7FFF;
        *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(c.zx);
        *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(c.zy);
        N_Pipe pipe{};
        pipe.pSpan = &s;
        pipe.next[N_STAGE_ZOOM] = RecordZoomed;
        gZoomed.clear();
        c.stage(ctx_, &pipe);
        EXPECT_EQ(gZoomed, c.want);
    }
    *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(1.0f);
    *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(1.0f);
}

TEST_F(LgiTest, IndexConversionsShiftOffsetAndMap) {
    N_PixelSpan s = Row(1);
    s.dstMask = 0xFF;
    struct Case {
        LONG shift, offset;
        ULONG index, want;
    };
    const Case cases[] = {{-2, 1, 9, 3}, {2, 0, 9, 36}, {2, 1, 9, 37}, {0, 0, 0x1FF, 0xFF}, {-40, 0, 0x7FFFFFFF, 0}};
    for (const Case& c : cases) {
        *pulAttr(ctx_, 133) = static_cast<ULONG>(c.shift);
        *pulAttr(ctx_, 134) = static_cast<ULONG>(c.offset);
        _NStoreIndex(ctx_, &s, c.index, 0);
        EXPECT_EQ(s.apChannel[0][0], float(c.want)) << c.shift << " " << c.index;
        EXPECT_EQ(s.pulPacked[0], c.want * 0x01010101u) << c.shift;
    }
    // Through the index map of 4 entries: entry (shift(i) + offset) & 3.
    const ULONG map[4] = {10, 11, 12, 13};
    const N_PixelMapDesc d{0, 4, map};
    N_SetPixelMaps(1, &d);
    *pulAttr(ctx_, 133) = 0;
    *pulAttr(ctx_, 134) = 1;
    _NStoreIndexMapped(ctx_, &s, 6, 0);
    EXPECT_EQ(s.pulPacked[0], 0x0D0D0D0Du);  // (6 + 1) & 3 = 3
}

TEST_F(LgiTest, ColourStoresScaleClampAndMap) {
    N_PixelSpan s = Row(1);
    for (ULONG c = 0; c < 4; ++c) s.storeScale[c] = 255.0f;
    const float in[4] = {1.2f, 0.5f, -0.1f, 1.0f};
    _NStoreRGBA(ctx_, &s, in, 0);
    EXPECT_EQ(s.pulPacked[0], 0xFFFF7F00u);
    EXPECT_EQ(s.apChannel[0][0], 255.0f);
    EXPECT_EQ(s.apChannel[3][0], 1.0f);  // alpha not multiplied by its scale
    // Transfer scale and bias apply before the clamp.
    *pulAttr(ctx_, 136) = F(2.0f);
    *pulAttr(ctx_, 142) = F(0.25f);
    _NStoreRGBA(ctx_, &s, in, 0);
    EXPECT_EQ(s.pulPacked[0], 0xFFFFFF26u);  // blue 0.15 x 255
    *pulAttr(ctx_, 136) = F(1.0f);
    *pulAttr(ctx_, 142) = F(0.0f);
    // The colour-map form: each channel through its map; an alpha far past
    // 1.0 stays inside the alpha map.
    const ULONG half = F(0.5f), one = F(1.0f), zero = F(0.0f);
    const ULONG red[2] = {zero, half}, alpha[4] = {zero, zero, zero, one};
    const N_PixelMapDesc maps[2] = {{6, 2, red}, {9, 4, alpha}};
    N_SetPixelMaps(2, maps);
    const float hot[4] = {1.0f, 0.0f, 0.0f, 300.0f};
    _NStoreRGBAMapped(ctx_, &s, hot, 0);
    EXPECT_EQ(s.apChannel[0][0], 127.5f);
    EXPECT_EQ(s.apChannel[3][0], 1.0f);
    EXPECT_EQ(s.pulPacked[0] >> 24, 255u);
    // Index to RGBA through the index-to-colour maps.
    const ULONG i2r[2] = {zero, one};
    const N_PixelMapDesc m2{2, 2, i2r};
    N_SetPixelMaps(1, &m2);
    _NStoreIndexToRGBA(ctx_, &s, 3, 0);
    EXPECT_EQ(s.apChannel[0][0], 255.0f);
}

// A depth store makes a fragment: its depth as window z (24 bits, what
// the render functions take whatever the depth buffer's bits), its colour
// the raster colour's word; the fetch reads the buffer's own units.
TEST_F(LgiTest, DepthStoreClampsAndFetchScales) {
    N_PixelSpan s = Row(1);
    ctx_->depthScale = 65535.0f;
    ctx_->depthScaleInv = 1.0f / 65535.0f;
    s.rasterWord = 0xFFCC9933u;
    _NStoreDepth(ctx_, &s, 1.5f, 0);
    EXPECT_EQ(s.pulDepth[0], 0xFFFFFFu);
    EXPECT_EQ(s.pulPacked[0], 0xFFCC9933u);
    _NStoreDepth(ctx_, &s, -0.25f, 0);
    EXPECT_EQ(s.pulDepth[0], 0u);
    _NStoreDepth(ctx_, &s, 0.5f, 0);
    EXPECT_EQ(s.pulDepth[0], 0x7FFFFFu);
    s.pulPacked[0] = 65535;
    *pulAttr(ctx_, 139) = F(0.5f);
    *pulAttr(ctx_, 144) = F(0.25f);
    float f[4];
    _NFetchDepth(ctx_, &s, 0, f);
    EXPECT_FLOAT_EQ(f[0], 0.75f);
}

// A bitmap's colour under fog: GL's C = f Cr + (1 - f) Cf, f of the raster
// position's distance (linear fog from 0 to 10 at distance 2.5: f = 0.75),
// in the store scale.
TEST_F(LgiTest, BitmapColourUnderFogWeighsTheRasterColourByTheFactor) {
    N_PixelSpan s = Row(1);
    for (ULONG c = 0; c < 3; ++c) s.storeScale[c] = 255.0f, s.storeOffset[c] = 0.0f;
    s.storeScale[3] = 255.0f;
    const float raster[4] = {1.0f, 0.0f, 0.4f, 1.0f}, fog[4] = {0.0f, 0.0f, 0.8f, 1.0f};
    N_SetStateBlockAttr(N_ATTR_RASTER_COLOUR, raster);
    N_SetStateBlockAttr(N_ATTR_FOG_COLOUR, fog);
    *pulAttr(ctx_, N_ATTR_FOG) = 1;
    *pulAttr(ctx_, N_ATTR_FOG_MODE) = 2;  // linear
    *pulAttr(ctx_, N_ATTR_FOG_START) = F(0.0f);
    *pulAttr(ctx_, N_ATTR_FOG_END) = F(10.0f);
    *pulAttr(ctx_, N_ATTR_RASTER_DISTANCE) = F(2.5f);
    _NBitmapColour(ctx_, &s);
    EXPECT_NEAR(s.bitmapColour[0], 0.75f * 255.0f, 0.01f);
    EXPECT_NEAR(s.bitmapColour[1], 0.0f, 0.01f);
    EXPECT_NEAR(s.bitmapColour[2], (0.75f * 0.4f + 0.25f * 0.8f) * 255.0f, 0.01f);
    *pulAttr(ctx_, N_ATTR_FOG) = 0;
}

TEST_F(LgiTest, WindowRowOfTheRasterPosition) {
    EXPECT_EQ(_NPixWindowRow(100, 90.0f), 9);
    EXPECT_EQ(_NPixWindowRow(100, 89.5f), 10);
    EXPECT_EQ(_NPixWindowRow(0, 3e9f), INT32_MIN);  // held to the range
    EXPECT_EQ(_NPixAdd(INT32_MAX, 5), INT32_MAX);
}

// --- requests through the pixel paths -------------------------------------------------------------
struct HostPlane {
    HostPlane(ULONG kind, ULONG bits, LONG cx, LONG cy) : mem(std::size_t(cx) * cy * ((bits + 7) / 8)) {
        desc.kind = kind;
        desc.memoryKind = GLBUFFER_MEMORY_HOST;
        desc.bitsPerPixel = bits;
        desc.cx = cx;
        desc.cy = cy;
        desc.pvPixels = mem.data();
        GLBuffer* ap[2] = {&desc, nullptr};
        N_BindBuffers(1, ap);
    }
    GLBuffer desc{};
    std::vector<BYTE> mem;
};

TEST_F(LgiTest, ReadPixelsOfAHostStencilBufferRunsThePixelPath) {
    const ULONG rect[2] = {0, (8u << 16) | 8u};
    N_BindClipList(1, rect);
    HostPlane st(GLBUFFER_STENCIL, 8, 8, 8);
    // Window row r holds 16 r + x.
    for (ULONG y = 0; y < 8; ++y)
        for (ULONG x = 0; x < 8; ++x) st.mem[y * 8 + x] = static_cast<BYTE>(16 * y + x);
    // GL rows count up from the bottom: row 0 is window row 7.
    BYTE out[3 * 2] = {};
    EXPECT_EQ(N_ReadPixels(2, 0, 3, 2, N_PIXFMT_STENCIL, N_PIXTYPE_UBYTE, out), -1);
    EXPECT_EQ(std::vector<BYTE>(out, out + 6), (std::vector<BYTE>{0x72, 0x73, 0x74, 0x62, 0x63, 0x64}));
    // A bitmap read writes the values' low bits, rows of whole bytes.
    BYTE bits[2] = {};
    N_ReadPixels(0, 0, 8, 2, N_PIXFMT_STENCIL, N_PIXTYPE_BITMAP, bits);
    EXPECT_EQ(bits[0], 0x55);
    EXPECT_EQ(bits[1], 0x55);
    // A rectangle reaching past the buffer reads 0 there.
    BYTE edge[4] = {9, 9, 9, 9};
    N_ReadPixels(6, 7, 4, 1, N_PIXFMT_STENCIL, N_PIXTYPE_UBYTE, edge);
    EXPECT_EQ(std::vector<BYTE>(edge, edge + 4), (std::vector<BYTE>{6, 7, 0, 0}));
    // Rectangles at the ends of the coordinate range read nothing but zeros.
    for (const LONG at : {INT32_MIN, INT32_MAX, INT32_MIN + 1}) {
        BYTE far[6] = {9, 9, 9, 9, 9, 9};
        N_ReadPixels(at, at, 3, 2, N_PIXFMT_STENCIL, N_PIXTYPE_UBYTE, far);
        EXPECT_EQ(std::vector<BYTE>(far, far + 6), std::vector<BYTE>(6, 0)) << at;
    }
}

TEST_F(LgiTest, DrawPixelsThroughThePathEndsAtThePixelRectangleRender) {
    HostPlane colour(GLBUFFER_FRONT_LEFT, 32, 16, 16);
    *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 1;
    *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID) = 1;
    *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = 1;
    const BYTE px[4] = {1, 2, 3, 4};
    vnx::debug::clear();
    N_DrawPixels(2, 2, N_PIXFMT_LUMINANCE, N_PIXTYPE_UBYTE, px);
    EXPECT_TRUE(Printed("_NvpRenderPixelRectKZG: unsupported dataAttr 0")) << vnx::debug::peek();
    const BYTE bm[2] = {0x80, 0x80};
    const ULONG clip[2] = {0, 0x00100010};  // a bitmap draws only within a clip list
    N_BindClipList(1, clip);
    ctx_->dirty = 0;
    vnx::debug::clear();
    N_DrawBitmap(1, 2, 0.0f, 0.0f, 3.0f, 0.0f, bm);
    EXPECT_TRUE(Printed("_NvpRenderBitmapRectKZG: unsupported dataAttr 0")) << vnx::debug::peek();
    EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_POS, 0), 3.0f);
    // A stencil copy reads every source row, then hands each to the render
    // (which, without a program, says so once a row).
    HostPlane st(GLBUFFER_STENCIL, 8, 16, 16);
    const N_BuildProgramFn pfnKept = gpfnNBuildProgram;
    gpfnNBuildProgram = [](N_HwRecord*, kzRenderProg*, ULONG, ULONG, ULONG, ULONG) -> ULONG { return 0; };
    vnx::debug::clear();
    N_CopyPixels(0, 0, 2, 3, 1);
    gpfnNBuildProgram = pfnKept;
    const std::string got = vnx::debug::take();
    std::size_t n = 0;
    for (std::size_t at = 0; (at = got.find("_NvpRenderPixelRectKZG", at)) != std::string::npos; ++at) ++n;
    EXPECT_EQ(n, 3u) << got;
}

// Copies of more rows than the image work area holds (2,308-pixel rows:
// 567 of them fit), over one buffer: every row arrives, each where GL puts
// it (the zoomed rows of source row k cover the rows whose centres lie in
// [y + k zoom, y + (k + 1) zoom)), and every source row is read before a
// row over it is written, whichever way the copy goes.
std::vector<BYTE>* gpPlane = nullptr;
LONG gPlaneCy = 0;
void WriteRow(N_Context*, N_Pipe* pipe) {
    const auto* ps = static_cast<const N_PixelSpan*>(pipe->pSpan);
    if (ps->outY < 0 || ps->outY >= gPlaneCy) return;
    for (ULONG i = 0; i < ps->outCount; ++i)
        (*gpPlane)[std::size_t(ps->outY) * N_SPAN + ps->outX + i] = static_cast<BYTE>(ps->pulPacked[i]);
}

TEST_F(LgiTest, CopyOfMoreRowsThanTheWorkAreaHoldsInOverlapSafeOrder) {
    constexpr LONG kCy = 1400;
    HostPlane st(GLBUFFER_STENCIL, 8, N_SPAN, kCy);
    struct Case {
        LONG y, rows, toY;
        float zoom;
    } const kCases[] = {
        {0, 1300, 60, 1.0f},    {60, 1300, 0, 1.0f},    {100, 1200, 101, 1.0f}, {101, 1200, 100, 1.0f},
        {0, 900, 40, 1.5f},     {300, 900, 200, 1.5f},  {0, 1300, 80, 0.75f},   {80, 1300, 10, 0.75f},
        {0, 700, 1399, -1.0f},
    };
    for (const Case& c : kCases) {
        // Row r (from the top) holds r * 7 + x in every pixel.
        for (LONG r = 0; r < kCy; ++r)
            for (ULONG x = 0; x < N_SPAN; ++x) st.mem[std::size_t(r) * N_SPAN + x] = static_cast<BYTE>(r * 7 + x);
        const std::vector<BYTE> before = st.mem;
        std::vector<BYTE> want = before;
        // GL row g is row kCy - 1 - g from the top.
        for (LONG g = 0; g < kCy; ++g) {
            const double centre = g + 0.5;
            const double k = std::floor(c.zoom > 0 ? (centre - c.toY) / c.zoom : (c.toY - centre) / -c.zoom);
            if (k < 0 || k >= c.rows) continue;
            const LONG from = kCy - 1 - (c.y + static_cast<LONG>(k));
            std::memcpy(&want[std::size_t(kCy - 1 - g) * N_SPAN], &before[std::size_t(from) * N_SPAN], N_SPAN);
        }
        N_PixelSpan ps{};
        _NPixSpanArrays(&ps);
        ps.pSource = ps.pDest = &ctx_->buffers[5];
        ps.width = N_SPAN;
        ps.rows = static_cast<ULONG>(c.rows);
        ps.rowStep = -1;
        ps.srcY = kCy - 1 - c.y;
        // The first row drawn: the one at the raster position, or the one
        // below it when the image goes down.
        ps.dstRow = kCy - 1 - (c.zoom < 0 ? c.toY - 1 : c.toY);
        ps.zoomYFrac = static_cast<ULONG>(std::fabs(c.zoom - std::trunc(c.zoom)) * 65536.0f);
        ps.zoomYAcc = 0x7FFF;
        *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(c.zoom);
        N_Pipe pipe{};
        pipe.pSpan = &ps;
        pipe.next[N_STAGE_SPAN_READ] = c.zoom == 1.0f ? _NStageZoomNone : _NStageZoomY;
        pipe.next[N_STAGE_ZOOM] = WriteRow;
        gpPlane = &st.mem;
        gPlaneCy = kCy;
        _NStageCopySpans(ctx_, &pipe);
        int wrong = 0;
        for (LONG r = 0; r < kCy; ++r)
            if (std::memcmp(&st.mem[std::size_t(r) * N_SPAN], &want[std::size_t(r) * N_SPAN], N_SPAN) != 0 &&
                wrong++ < 3)
                ADD_FAILURE() << "row " << r << " from the top of the copy of " << c.rows << " rows from " << c.y
                              << " to " << c.toY << " at zoom " << c.zoom;
        EXPECT_EQ(wrong, 0) << c.y << " to " << c.toY << " at zoom " << c.zoom;
    }
    *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(1.0f);
}

std::size_t gAllocs = 0;
void* pvCounting(std::size_t cb) {
    ++gAllocs;
    return LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, cb);
}
void vFree(void* pv) { LocalFree(pv); }

TEST_F(LgiTest, PixelPathsAllocateNothing) {
    HostPlane st(GLBUFFER_STENCIL, 8, 64, 64);
    HostPlane colour(GLBUFFER_FRONT_LEFT, 32, 64, 64);
    *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 1;
    *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID) = 1;
    *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = 1;
    *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(1.5f);
    *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(-2.0f);
    std::vector<BYTE> image(32 * 32 * 4, 7);
    auto run = [&] {
        N_ReadPixels(0, 0, 32, 32, N_PIXFMT_STENCIL, N_PIXTYPE_USHORT, image.data());
        N_DrawPixels(32, 32, N_PIXFMT_LUMINANCE, N_PIXTYPE_FLOAT, image.data());
        N_CopyPixels(0, 0, 32, 32, 1);
    };
    run();  // whatever the first request sets up
    gAllocs = 0;
    _NSetAllocFuncs(pvCounting, vFree);
    run();
    _NSetAllocFuncs(nullptr, nullptr);
    EXPECT_EQ(gAllocs, 0u);
}

TEST_F(LgiTest, ReadPixelsMergesAlphaFromTheAlphaBuffer) {
    HostPlane colour(GLBUFFER_FRONT_LEFT, 32, 4, 4);
    HostPlane alpha(GLBUFFER_ALPHA, 8, 4, 4);
    *pulAttr(ctx_, N_ATTR_READ_BUFFER) = 1;
    *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = 1;  // the direct read does not serve maps
    for (ULONG i = 0; i < 16; ++i) {
        const ULONG w = 0xEE102030u + i;  // a top byte that is no alpha
        std::memcpy(colour.mem.data() + 4 * i, &w, 4);
        alpha.mem[i] = static_cast<BYTE>(0x80 + i);
    }
    BYTE out[8] = {};
    N_ReadPixels(0, 3, 2, 1, N_PIXFMT_RGBA, N_PIXTYPE_UBYTE, out);  // window row 0
    EXPECT_EQ(std::vector<BYTE>(out, out + 8), (std::vector<BYTE>{0x10, 0x20, 0x30, 0x80, 0x10, 0x20, 0x31, 0x81}));
}

// Under ReadBuffer(GL_BACK) the reads take alpha from the back buffer's own
// alpha buffer, not the front buffer's: GL_RGBA through the pixel path (the
// colour maps), GL_ALPHA from a host alpha buffer.
TEST_F(LgiTest, ReadPixelsTakeTheReadBuffersAlpha) {
    HostPlane front(GLBUFFER_FRONT_LEFT, 32, 4, 4);
    HostPlane back(GLBUFFER_BACK_LEFT, 32, 4, 4);
    HostPlane frontAlpha(GLBUFFER_ALPHA, 8, 4, 4);
    HostPlane backAlpha(GLBUFFER_PLANE_40000, 8, 4, 4);
    for (ULONG i = 0; i < 16; ++i) {
        const ULONG f = 0x00102030u, b = 0x00405060u;
        std::memcpy(front.mem.data() + 4 * i, &f, 4);
        std::memcpy(back.mem.data() + 4 * i, &b, 4);
        frontAlpha.mem[i] = 0x11;
        backAlpha.mem[i] = static_cast<BYTE>(0xC0 + i);
    }
    *pulAttr(ctx_, N_ATTR_READ_BUFFER) = 4;  // back left
    ctx_->dirty |= N_DIRTY_BUFFER_CODES;
    *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = 1;
    BYTE rgba[8] = {};
    N_ReadPixels(0, 3, 2, 1, N_PIXFMT_RGBA, N_PIXTYPE_UBYTE, rgba);  // window row 0
    EXPECT_EQ(std::vector<BYTE>(rgba, rgba + 8), (std::vector<BYTE>{0x40, 0x50, 0x60, 0xC0, 0x40, 0x50, 0x60, 0xC1}));
    *pulAttr(ctx_, N_ATTR_MAP_COLOUR) = 0;
    BYTE a[2] = {};
    N_ReadPixels(0, 3, 2, 1, N_PIXFMT_ALPHA, N_PIXTYPE_UBYTE, a);
    EXPECT_EQ(std::vector<BYTE>(a, a + 2), (std::vector<BYTE>{0xC0, 0xC1}));
}

TEST_F(LgiTest, FeedbackPixelTokensCarryTheRasterVertex) {
    const float pos[4] = {10.7f, 20.2f, 0.5f, 2.0f}, colour[4] = {0.1f, 0.2f, 0.3f, 0.4f}, tex[4] = {1, 2, 3, 4};
    std::memcpy(pulAttr(ctx_, N_ATTR_RASTER_POS), pos, 16);
    std::memcpy(pulAttr(ctx_, 99), colour, 16);
    std::memcpy(pulAttr(ctx_, 101), tex, 16);
    *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID) = 1;
    struct Case {
        ULONG type;
        std::vector<float> want;
    };
    const Case cases[] = {
        // The window coordinates as kept, fractions and all.
        {0, {1796, 10.7f, 20.2f}},
        {1, {1796, 10.7f, 20.2f, 0.5f}},
        {2, {1796, 10.7f, 20.2f, 0.5f, 0.1f, 0.2f, 0.3f, 0.4f}},
        {4, {1796, 10.7f, 20.2f, 0.5f, 2.0f, 0.1f, 0.2f, 0.3f, 0.4f, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        float buf[16] = {};
        N_BeginFeedback(buf, 16, c.type);
        const BYTE bm[1] = {0x80};
        N_DrawBitmap(1, 1, 0, 0, 0, 0, bm);
        LONG n = 0;
        N_EndFeedback(&n);
        ASSERT_EQ(n, static_cast<LONG>(c.want.size())) << c.type;
        EXPECT_EQ(std::vector<float>(buf, buf + n), c.want) << c.type;
    }
    // A buffer too small keeps what fits and reports the overflow.
    float small[2] = {};
    N_BeginFeedback(small, 2, 2);
    N_DrawBitmap(1, 1, 0, 0, 0, 0, reinterpret_cast<const BYTE*>("\x80"));
    LONG n = 0;
    N_EndFeedback(&n);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(small[1], 10.7f);
    // A bitmap in feedback mode moves the raster position all the same.
    N_BeginFeedback(small, 2, 0);
    N_DrawBitmap(1, 1, 0, 0, 2.0f, -1.0f, reinterpret_cast<const BYTE*>("\x80"));
    N_EndFeedback(&n);
    EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_POS, 0), 12.7f);
    EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_POS, 1), 19.2f);
}

}  // namespace
