// The buffer manager over a device record of the test's own: buffer sets
// made for windows, the global list and its growth, the active buffer,
// swaps (what reaches kz2SwapBackToFrontC), binding to lgi, and image
// transfers (what reaches CopyBits) per clip box and eye.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "context/buffers.h"
#include "context/image.h"
#include "context/texture.h"
#include "context/context.h"
#include "pixfmt/drawable.h"
#include "glpdev.h"
#include "pixfmt/pixfmt.h"
#include "platform/debug.h"
#include "seams.h"
#include "platform/engine.h"
#include "vornix_surface.h"
#include "vornix_swap.h"

#include "driver_double.h"

using namespace driver_double;

namespace {

// A device surface of the test: a DSURF with an allocation carrying a pid.
struct TestSurface {
    DFB dfb{};
    DSURF dsurf{};
    SURFOBJ so{};
    explicit TestSurface(TestPdev* ppdev, ULONG pid) {
        dfb.pid = pid;
        dsurf.pdfb = &dfb;
        dsurf.ppdev = reinterpret_cast<PDEV*>(ppdev);
        so.dhsurf = reinterpret_cast<DHSURF>(&dsurf);
        so.dhpdev = reinterpret_cast<DHPDEV>(ppdev);
    }
};

class BufferManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeCriticalSection(&gcsBufferList);
        InitializeCriticalSection(&pdev_.csRamdac);
        pdev_.pPageConfig = &pc_;
        pdev_.psoBack = &back_.so;
        pdev_.psoZ = &depth_.so;
        pdev_.hsurfScreen = EngCreateBitmap(SIZEL{640, 480}, 640 * 4, BMF_32BPP, 0, nullptr);
        ASSERT_NE(pdev_.hsurfScreen, nullptr);
        screen_ = back_.so;  // the surface the window's calls name
        screen_.dhsurf = nullptr;
        vis_.bDoubleBuffer = 1;
        vis_.cColorBits = 32;
        vis_.cDepthBits = 16;
        __glInitBufferManager(reinterpret_cast<PDEV*>(&pdev_));
        gSwaps.clear();
        gBinds.clear();
        vnx::debug::clear();
    }
    void TearDown() override {
        EngDeleteSurface(pdev_.hsurfScreen);
        gpdraw = nullptr;
        DeleteCriticalSection(&pdev_.csRamdac);
        DeleteCriticalSection(&gcsBufferList);
    }
    WNDOBJ Window(LONG x, LONG y, LONG cx, LONG cy) {
        WNDOBJ wo{};
        wo.rclClient = RECTL{x, y, x + cx, y + cy};
        wo.coClient.rclBounds = wo.rclClient;
        return wo;
    }
    const GLDeviceRecord& Record(GLBufferSet* pbs, ULONG word) {
        return *static_cast<GLDeviceRecord*>(pbs->apBuffers[word]->pDeviceRecord);
    }

    TestPdev pdev_;
    PAGECONFIG pc_{};
    TestSurface back_{&pdev_, 0x0003};
    TestSurface depth_{&pdev_, 0x0004};
    SURFOBJ screen_{};
    GLVisual vis_{};
};

TEST_F(BufferManagerTest, SetHasFrontAndBackOverTheWindow) {
    WNDOBJ wo = Window(10, 20, 100, 50);
    GLBufferSet* pbs = __glCreateBufferSet(&screen_, &wo, &vis_);
    ASSERT_NE(pbs, nullptr);
    const ULONG desc[6] = {1, 0, 1, 1, 1, 1};
    EXPECT_EQ(std::memcmp(pbs->aulDescriptor, desc, sizeof desc), 0);
    for (ULONG w : {GLBS_FRONT_LEFT, GLBS_BACK_LEFT}) {
        const GLBuffer* pb = pbs->apBuffers[w];
        ASSERT_NE(pb, nullptr);
        EXPECT_EQ(pb->x, 10);
        EXPECT_EQ(pb->y, 20);
        EXPECT_EQ(pb->cx, 100);
        EXPECT_EQ(pb->cy, 50);
        EXPECT_EQ(pb->bitsPerPixel, 32u);
        EXPECT_EQ(pb->bytesPerPixel, 4u);
        EXPECT_EQ(pb->memoryKind, GLBUFFER_MEMORY_DEVICE);
    }
    EXPECT_EQ(Record(pbs, GLBS_BACK_LEFT).pid, 0xA003u);  // 32 bits on page block 3
    EXPECT_EQ(pbs->apBuffers[GLBS_FRONT_RIGHT], nullptr);  // no stereo
    EXPECT_EQ(pbs->apBuffers[GLBS_DEPTH], nullptr);
    EXPECT_EQ(_DBufferListCount(nullptr), 1u);
    _DFreeBufferSet(nullptr, pbs);
    EXPECT_EQ(_DBufferListCount(nullptr), 0u);
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(BufferManagerTest, SixtyFifthSetGrowsTheListTo128) {
    WNDOBJ wo = Window(0, 0, 8, 8);
    std::vector<GLBufferSet*> sets;
    ULONG cCapacity = 0;
    for (int i = 0; i < 65; ++i) {
        sets.push_back(__glCreateBufferSet(&screen_, &wo, &vis_));
        ASSERT_NE(sets.back(), nullptr);
        _DBufferListCount(&cCapacity);
        EXPECT_EQ(cCapacity, i < 64 ? 64u : 128u);
    }
    EXPECT_EQ(_DBufferListCount(nullptr), 65u);
    // Freed entries are found again.
    _DFreeBufferSet(nullptr, sets[3]);
    sets[3] = __glCreateBufferSet(&screen_, &wo, &vis_);
    EXPECT_EQ(_DBufferListCount(&cCapacity), 65u);
    EXPECT_EQ(cCapacity, 128u);
    for (GLBufferSet* pbs : sets) _DFreeBufferSet(nullptr, pbs);
    EXPECT_EQ(_DBufferListCount(nullptr), 0u);
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(BufferManagerTest, DepthBufferIsTheActiveBufferFirst) {
    WNDOBJ wo = Window(5, 5, 30, 30);
    GLBufferSet* pbs = __glCreateBufferSet(&screen_, &wo, &vis_);
    ASSERT_NE(pbs, nullptr);
    EXPECT_EQ(_DGetActiveBuffer(pbs), pbs->apBuffers[GLBS_FRONT_LEFT]);
    _DCreateMissingBuffers(pbs, GLBUFFER_DEPTH);
    ASSERT_NE(pbs->apBuffers[GLBS_DEPTH], nullptr);
    EXPECT_EQ(Record(pbs, GLBS_DEPTH).pid, 0x6004u);  // a 16-bit depth kind
    EXPECT_EQ(_DGetActiveBuffer(pbs), pbs->apBuffers[GLBS_DEPTH]);
    // Only the depth buffer left: still the active one; none at all is said.
    GLBufferSet bare{};
    bare.apBuffers[GLBS_DEPTH] = pbs->apBuffers[GLBS_DEPTH];
    EXPECT_EQ(_DGetActiveBuffer(&bare), pbs->apBuffers[GLBS_DEPTH]);
    bare.apBuffers[GLBS_DEPTH] = nullptr;
    EXPECT_EQ(_DGetActiveBuffer(&bare), nullptr);
    EXPECT_EQ(vnx::debug::take(), "_DGetActiveBuffer: XXXXXX BROKEN: NO ACTIVE BUFFER???\n");
    _DFreeBufferSet(nullptr, pbs);
}

struct SwapCase {
    const char* name;
    ULONG bDouble;
    ULONG bMainDouble;  // the format's main layer (for an overlay visual)
    ULONG iLayer;       // the visual's layer (1: the set's overlay flag)
    LONG swapState[3];
    ULONG flPlanes;
    int cSwaps;         // calls of kz2SwapBackToFrontC
    ULONG fPlanes;      // the plane selector passed
};
const SwapCase kSwapCases[] = {
    {"single-buffered: nothing", 0, 0, 0, {0, -1, 0}, 3, 0, 0},
    {"both planes", 1, 1, 0, {0, -1, 0}, 3, 1, 1},
    {"both planes with overlay", 1, 1, 1, {0, -1, 0}, 3, 1, 3},
    {"main planes", 1, 1, 0, {0, -1, 0}, 1, 1, 1},
    {"main planes, both at once", 1, 1, 0, {0, 5, 5}, 1, 1, 3},
    {"overlay alone", 1, 1, 1, {0, -1, 0}, 2, 1, 2},
    {"overlay alone in overlay swap mode", 1, 1, 1, {1, -1, 0}, 2, 0, 0},
    {"overlay alone without overlay visual", 1, 1, 0, {0, -1, 0}, 2, 0, 0},
    {"overlay alone, main layer single-buffered", 1, 0, 1, {0, -1, 0}, 2, 0, 0},
};

TEST_F(BufferManagerTest, SwapsReachTheDisplayDriverByPlanes) {
    for (const SwapCase& c : kSwapCases) {
        SCOPED_TRACE(c.name);
        gSwaps.clear();
        vis_.bDoubleBuffer = c.bDouble;
        vis_.iLayer = c.iLayer;
        GLVisual visMain{};
        visMain.bDoubleBuffer = c.bMainDouble;
        gpvisMain = &visMain;
        std::memcpy(pdev_.alSwapState, c.swapState, sizeof c.swapState);
        WNDOBJ wo = Window(40, 30, 64, 32);
        GLDrawable draw{};
        draw.pBufferSet = __glCreateBufferSet(&screen_, &wo, &vis_);
        ASSERT_NE(draw.pBufferSet, nullptr);
        gpdraw = &draw;
        EXPECT_TRUE(__wglSwapBuffers(&screen_, &wo, c.flPlanes));
        ASSERT_EQ(static_cast<int>(gSwaps.size()), c.cSwaps);
        if (c.cSwaps != 0) {
            const SwapCall& s = gSwaps[0];
            EXPECT_EQ(s.psoBack, &back_.so);
            EXPECT_EQ(s.pco, &wo.coClient);
            EXPECT_EQ(s.rcl.left, 40);
            EXPECT_EQ(s.rcl.top, 30);
            EXPECT_EQ(s.rcl.right, 104);
            EXPECT_EQ(s.rcl.bottom, 62);
            EXPECT_EQ(s.fPlanes, c.fPlanes);
            EXPECT_EQ(s.ulPageMask, c.fPlanes);
        }
        _DFreeBufferSet(nullptr, draw.pBufferSet);
        gpdraw = nullptr;
        gpvisMain = nullptr;
    }
    // A window without a drawable.
    WNDOBJ wo = Window(0, 0, 1, 1);
    EXPECT_FALSE(__wglSwapBuffers(&screen_, &wo, 3));
    EXPECT_EQ(vnx::debug::take(), "__wglSwapBuffers: invalid window\n");
}

TEST_F(BufferManagerTest, ClientRegionChangeWidensTheSwapRectangle) {
    WNDOBJ wo = Window(100, 100, 50, 50);
    GLBufferSet* pbs = __glCreateBufferSet(&screen_, &wo, &vis_);
    ASSERT_NE(pbs, nullptr);
    wo = Window(80, 120, 50, 50);
    _DClientRegionChanged(pbs, &wo);
    const RECTL& r = Record(pbs, GLBS_BACK_LEFT).rclSwap;
    EXPECT_EQ(r.left, 80);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 150);
    EXPECT_EQ(r.bottom, 170);
    EXPECT_EQ(pbs->apBuffers[GLBS_FRONT_LEFT]->x, 80);
    EXPECT_EQ(pbs->apBuffers[GLBS_FRONT_LEFT]->y, 120);
    EXPECT_EQ(vnx::debug::take(), "");
    // The main-plane swap takes the widened rectangle; the swap of both
    // planes the window's own.
    GLDrawable draw{};
    draw.pBufferSet = pbs;
    gpdraw = &draw;
    gpvisMain = &vis_;
    for (ULONG flPlanes : {1u, 3u}) {
        SCOPED_TRACE(flPlanes);
        gSwaps.clear();
        EXPECT_TRUE(__wglSwapBuffers(&screen_, &wo, flPlanes));
        ASSERT_EQ(gSwaps.size(), 1u);
        const RECTL want = flPlanes == 1 ? r : RECTL{80, 120, 130, 170};
        EXPECT_EQ(gSwaps[0].rcl.left, want.left);
        EXPECT_EQ(gSwaps[0].rcl.top, want.top);
        EXPECT_EQ(gSwaps[0].rcl.right, want.right);
        EXPECT_EQ(gSwaps[0].rcl.bottom, want.bottom);
    }
    gpdraw = nullptr;
    gpvisMain = nullptr;
    _DFreeBufferSet(nullptr, pbs);
}

TEST_F(BufferManagerTest, OverlayPresentFollowsTheListedSets) {
    // The window-move redraw runs only with an overlay set listed on 32 bpp:
    // one packet clearing the overlay plane of the client rectangle, cut to
    // the screen.
    TestSurface screen(&pdev_, 0x0001);
    HSURF hsurfHost = pdev_.hsurfScreen;
    pdev_.hsurfScreen = EngCreateDeviceBitmap(reinterpret_cast<DHSURF>(&screen.dsurf), SIZEL{640, 480}, BMF_32BPP);
    ASSERT_NE(pdev_.hsurfScreen, nullptr);
    gPackets.clear();
    WNDOBJ wo = Window(-4, 470, 16, 16);
    GLBufferSet* pbsMain = __glCreateBufferSet(&screen_, &wo, &vis_);
    _DSurfaceMoved(reinterpret_cast<PDEV*>(&pdev_), pbsMain, &wo);
    EXPECT_TRUE(gPackets.empty());
    vis_.iLayer = 1;
    GLBufferSet* pbsOverlay = __glCreateBufferSet(&screen_, &wo, &vis_);
    _DSurfaceMoved(reinterpret_cast<PDEV*>(&pdev_), pbsMain, &wo);
    auto v = [](ULONG x, ULONG y) { return ((y << 16) | x) << 4; };
    ASSERT_EQ(gPackets.size(), 1u);
    EXPECT_EQ(gPackets[0], (std::vector<ULONG>{0x02101026, 1, 0xC000, 0x00360348, 0, 480u << 16 | 640, 0,
                                               v(0, 470), v(12, 470), v(12, 480), v(0, 480)}));
    // Not at 16 bits a pixel.
    pdev_.iBitmapFormat = BMF_16BPP;
    _DSurfaceMoved(reinterpret_cast<PDEV*>(&pdev_), pbsMain, &wo);
    pdev_.iBitmapFormat = BMF_32BPP;
    EXPECT_EQ(gPackets.size(), 1u);
    // The overlay set goes: the flag follows at once.
    _DFreeBufferSet(nullptr, pbsOverlay);
    _DSurfaceMoved(reinterpret_cast<PDEV*>(&pdev_), pbsMain, &wo);
    EXPECT_EQ(gPackets.size(), 1u);
    EXPECT_EQ(vnx::debug::take(), "");
    _DFreeBufferSet(nullptr, pbsMain);
    EngDeleteSurface(pdev_.hsurfScreen);
    pdev_.hsurfScreen = hsurfHost;
}

// Drawing into the front buffer is told to the display driver (its next
// swap cannot take the front's pixels as unchanged); drawing into the back
// buffer is not.
TEST_F(BufferManagerTest, FrontBufferDrawingIsToldToTheDriver) {
    TestSurface screen(&pdev_, 0x0001);
    HSURF hsurfHost = pdev_.hsurfScreen;
    pdev_.hsurfScreen = EngCreateDeviceBitmap(reinterpret_cast<DHSURF>(&screen.dsurf), SIZEL{640, 480}, BMF_32BPP);
    WNDOBJ wo = Window(0, 0, 16, 16);
    GLDrawable draw{};
    pixman_region_init(&draw.clip.region);
    draw.clip.bWhole = TRUE;
    draw.pwo = &wo;
    gpdraw = &draw;
    draw.pBufferSet = __glCreateBufferSet(&screen_, &wo, &vis_);
    ASSERT_NE(draw.pBufferSet, nullptr);
    GLContext gc{};
    gc.pdraw = &draw;
    std::vector<ULONG> image(16 * 16);
    struct Row {
        const char* what;
        std::function<void()> draw;
        int cTold;
    };
    const Row rows[] = {
        {"image into the back", [&] { _DPutImage(draw.pBufferSet, GLBUFFER_BACK_LEFT, 0, 0, 4, 4, image.data()); }, 0},
        {"image into the front", [&] { _DPutImage(draw.pBufferSet, GLBUFFER_FRONT_LEFT, 0, 0, 4, 4, image.data()); }, 1},
        {"copy into the front", [&] { _DCopyImage(draw.pBufferSet, GLBUFFER_BACK_LEFT, GLBUFFER_FRONT_LEFT, 0, 0, 4, 4, 0, 0); }, 1},
        {"back bound for drawing", [&] { _DBindBuffers(&gc, GLBUFFER_BACK_LEFT); }, 0},
        {"front bound for drawing", [&] { _DBindBuffers(&gc, GLBUFFER_FRONT_LEFT | GLBUFFER_BACK_LEFT); }, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        gcFrontDrawn = 0;
        r.draw();
        EXPECT_EQ(gcFrontDrawn, r.cTold);
    }
    _DFreeBufferSet(nullptr, draw.pBufferSet);
    pixman_region_fini(&draw.clip.region);
    EngDeleteSurface(pdev_.hsurfScreen);
    pdev_.hsurfScreen = hsurfHost;
}

TEST_F(BufferManagerTest, BindingHandsTheAskedForBuffersToLgi) {
    WNDOBJ wo = Window(0, 0, 16, 16);
    GLDrawable draw{};
    draw.pBufferSet = __glCreateBufferSet(&screen_, &wo, &vis_);
    GLContext gc{};
    gc.pdraw = &draw;
    EXPECT_TRUE(_DBindBuffers(&gc, GLBUFFER_BACK_LEFT | GLBUFFER_DEPTH));
    ASSERT_EQ(gBinds.size(), 1u);
    EXPECT_EQ(gBinds[0], (std::vector<ULONG>{GLBUFFER_BACK_LEFT, GLBUFFER_DEPTH}));
    EXPECT_EQ(gc.flBufferMask, GLBUFFER_BACK_LEFT | GLBUFFER_DEPTH);
    // A set with none of the kinds refuses instead of binding nothing.
    EXPECT_FALSE(_DBindBuffers(&gc, GLBUFFER_FRONT_RIGHT));
    EXPECT_EQ(gBinds.size(), 1u);
    _DFreeBufferSet(nullptr, draw.pBufferSet);
}

// An RGBA visual with alpha bits draws with destination alpha: each colour
// buffer bound brings its alpha plane (made on first need, here in host
// memory: the board has no alpha bits), and the mask the context keeps
// names the plane, so a colour clear clears it too. Without alpha bits, or
// in colour-index mode, no plane is made.
TEST_F(BufferManagerTest, ColourBuffersOfAnAlphaVisualBringTheirAlphaPlanes) {
    struct Row {
        const char* what;
        ULONG bRGBA, cAlphaBits, flMask;
        std::vector<ULONG> kinds;
    };
    const Row rows[] = {
        {"back with depth", 1, 8, GLBUFFER_BACK_LEFT | GLBUFFER_DEPTH,
         {GLBUFFER_BACK_LEFT, GLBUFFER_PLANE_40000, GLBUFFER_DEPTH}},
        {"front and back", 1, 8, GLBUFFER_FRONT_LEFT | GLBUFFER_BACK_LEFT,
         {GLBUFFER_FRONT_LEFT, GLBUFFER_BACK_LEFT, GLBUFFER_ALPHA, GLBUFFER_PLANE_40000}},
        {"no alpha bits", 1, 0, GLBUFFER_FRONT_LEFT, {GLBUFFER_FRONT_LEFT}},
        {"colour index", 0, 8, GLBUFFER_FRONT_LEFT, {GLBUFFER_FRONT_LEFT}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        vis_.bRGBA = r.bRGBA;
        vis_.cAlphaBits = r.cAlphaBits;
        WNDOBJ wo = Window(0, 0, 16, 16);
        GLDrawable draw{};
        draw.pBufferSet = __glCreateBufferSet(&screen_, &wo, &vis_);
        ASSERT_NE(draw.pBufferSet, nullptr);
        GLContext gc{};
        gc.pdraw = &draw;
        gBinds.clear();
        EXPECT_TRUE(_DBindBuffers(&gc, r.flMask));
        ASSERT_EQ(gBinds.size(), 1u);
        EXPECT_EQ(gBinds[0], r.kinds);
        ULONG flKinds = 0;
        for (ULONG k : r.kinds) flKinds |= k;
        EXPECT_EQ(gc.flBufferMask, flKinds);
        for (ULONG i : {GLBS_ALPHA0, GLBS_ALPHA1}) {
            const GLBuffer* pb = draw.pBufferSet->apBuffers[i];
            if (pb == nullptr) continue;
            EXPECT_EQ(pb->memoryKind, GLBUFFER_MEMORY_HOST);
            EXPECT_EQ(pb->bitsPerPixel, 8u);
        }
        _DFreeBufferSet(nullptr, draw.pBufferSet);
    }
}

// A 32-bit image written into the back buffer of a window cut into three
// boxes: one CopyBits per box with the matching source point, twice on a
// stereo board for both eyes.
TEST_F(BufferManagerTest, PutImageWritesPerClipBoxAndEye) {
    WNDOBJ wo = Window(100, 50, 40, 30);
    GLDrawable draw{};
    pixman_region_init(&draw.clip.region);
    // Boxes relative to the client rectangle.
    const pixman_box16_t boxes[] = {{0, 0, 40, 10}, {0, 10, 15, 30}, {25, 10, 40, 30}};
    pixman_region_init_rects(&draw.clip.region, boxes, 3);
    draw.pwo = &wo;
    gpdraw = &draw;
    draw.pBufferSet = __glCreateBufferSet(&screen_, &wo, &vis_);
    ASSERT_NE(draw.pBufferSet, nullptr);
    std::vector<ULONG> image(40 * 30);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<ULONG>(i);
    struct Row {
        ULONG fStereo;
        ULONG kind;
        std::vector<ULONG> modes;
    };
    for (const Row& r : {Row{0, GLBUFFER_BACK_LEFT, {0}}, Row{1, GLBUFFER_BACK_LEFT | GLBUFFER_BACK_RIGHT, {0, 3}},
                         Row{1, GLBUFFER_BACK_RIGHT, {3}}}) {
        SCOPED_TRACE(r.kind);
        pc_.fStereo = r.fStereo;
        gCopies.clear();
        // The image starts 5 pixels left of the window: the first column is cut.
        EXPECT_EQ(_DPutImage(draw.pBufferSet, r.kind, 95, 50, 40, 30, image.data()), 1u);
        ASSERT_EQ(gCopies.size(), 3 * r.modes.size());
        for (size_t m = 0; m < r.modes.size(); ++m) {
            const CopyCall* c = &gCopies[3 * m];
            for (int i = 0; i < 3; ++i) EXPECT_EQ(c[i].psoDst, &back_.so);
            for (int i = 0; i < 3; ++i) EXPECT_EQ(c[i].iMode, r.modes[m]);
            EXPECT_EQ(c[0].rcl.left, 100);
            EXPECT_EQ(c[0].rcl.right, 135);
            EXPECT_EQ(c[0].rcl.bottom, 60);
            EXPECT_EQ(c[0].ptl.x, 5);
            EXPECT_EQ(c[0].ulFirstSource, 5u);
            EXPECT_EQ(c[1].rcl.top, 60);
            EXPECT_EQ(c[1].rcl.right, 115);
            EXPECT_EQ(c[1].ptl.y, 10);
            EXPECT_EQ(c[1].ulFirstSource, 10u * 40 + 5);
            EXPECT_EQ(c[2].rcl.left, 125);
            EXPECT_EQ(c[2].rcl.right, 135);
            EXPECT_EQ(c[2].ptl.x, 30);
            EXPECT_EQ(c[2].ulFirstSource, 10u * 40 + 30);
        }
    }
    pc_.fStereo = 0;
    // A zoomed write: one kz2WriteRectZoom a box, clipped to it.
    gZooms.clear();
    const ULONG zoom[4] = {2, 2, 0x8000, 0x8000};
    EXPECT_EQ(_DPutImageZoom(draw.pBufferSet, GLBUFFER_BACK_LEFT, 100, 50, 8, 8, 20, 20, zoom, image.data()), 1u);
    ASSERT_EQ(gZooms.size(), 3u);
    EXPECT_EQ(gZooms[0].psoDst, &back_.so);
    EXPECT_EQ(gZooms[0].rcl.right, 120);
    EXPECT_EQ(gZooms[0].rcl.bottom, 70);
    EXPECT_EQ(gZooms[0].z[2], 0x8000u);
    EXPECT_EQ(gZooms[1].clip.left, 100);
    EXPECT_EQ(gZooms[1].clip.top, 60);
    EXPECT_EQ(gZooms[1].clip.right, 115);
    EXPECT_EQ(gZooms[1].clip.bottom, 80);
    // An image wholly outside the window writes nothing.
    gCopies.clear();
    EXPECT_EQ(_DPutImage(draw.pBufferSet, GLBUFFER_BACK_LEFT, 300, 300, 4, 4, image.data()), 1u);
    EXPECT_TRUE(gCopies.empty());
    _DFreeBufferSet(nullptr, draw.pBufferSet);
    pixman_region_fini(&draw.clip.region);
}

TEST_F(BufferManagerTest, GetImageReadsByTheBuffersFormat) {
    WNDOBJ wo = Window(0, 0, 16, 16);
    GLBufferSet* pbs = __glCreateBufferSet(&screen_, &wo, &vis_);
    ASSERT_NE(pbs, nullptr);
    std::vector<ULONG> out(8 * 4);
    back_.so.iBitmapFormat = BMF_32BPP;
    gCopies.clear();
    EXPECT_EQ(_DGetImage(pbs, GLBUFFER_BACK_LEFT, 3, 4, 8, 4, out.data()), 1u);
    ASSERT_EQ(gCopies.size(), 1u);
    EXPECT_EQ(gCopies[0].psoSrc, &back_.so);
    EXPECT_EQ(gCopies[0].pvDstBits, out.data());
    EXPECT_EQ(gCopies[0].ptl.x, 3);
    EXPECT_EQ(gCopies[0].ptl.y, 4);
    EXPECT_EQ(gCopies[0].rcl.right, 8);
    back_.so.iBitmapFormat = BMF_24BPP;
    EXPECT_EQ(_DGetImage(pbs, GLBUFFER_BACK_LEFT, 0, 0, 8, 4, out.data()), 0u);
    EXPECT_EQ(vnx::debug::take(), "_DGetImage: iBitmapFormat 5 is UNSUPPORTED\n");
    // Copies go between the front and back only.
    gCopies.clear();
    EXPECT_EQ(_DCopyImage(pbs, GLBUFFER_FRONT_LEFT, GLBUFFER_BACK_LEFT, 1, 2, 3, 4, 5, 6), 1u);
    ASSERT_EQ(gCopies.size(), 1u);
    EXPECT_EQ(gCopies[0].psoDst, &back_.so);
    EXPECT_EQ(gCopies[0].ptl.x, 5);
    EXPECT_EQ(_DCopyImage(pbs, GLBUFFER_DEPTH, GLBUFFER_BACK_LEFT, 1, 2, 3, 4, 5, 6), 0u);
    _DFreeBufferSet(nullptr, pbs);
}

// On a stereo page a right-eye buffer is read from the lower image (the
// second-half selector), the left one as it is; a board buffer finds its
// set through its window's drawable.
TEST_F(BufferManagerTest, GetImageOfTheRightEyeReadsTheLowerImage) {
    WNDOBJ wo = Window(0, 0, 16, 16);
    GLDrawable draw{};
    gpdraw = &draw;
    pc_.fStereo = 1;
    vis_.bStereo = 1;
    draw.pBufferSet = __glCreateBufferSet(&screen_, &wo, &vis_);
    GLBufferSet* pbs = draw.pBufferSet;
    ASSERT_NE(pbs, nullptr);
    ASSERT_NE(pbs->apBuffers[GLBS_BACK_RIGHT], nullptr);
    EXPECT_EQ(_DBufferSetOf(pbs->apBuffers[GLBS_BACK_RIGHT]), pbs);
    EXPECT_EQ(_DBufferSetOf(nullptr), nullptr);
    back_.so.iBitmapFormat = BMF_32BPP;
    std::vector<ULONG> out(8);
    for (auto [kind, mode] : {std::pair{GLBUFFER_BACK_RIGHT, 3u}, std::pair{GLBUFFER_BACK_LEFT, 0u}}) {
        gCopies.clear();
        EXPECT_EQ(_DGetImage(pbs, kind, 0, 0, 8, 1, out.data()), 1u);
        ASSERT_EQ(gCopies.size(), 1u);
        EXPECT_EQ(gCopies[0].iMode, mode) << kind;
    }
    pc_.fStereo = 0;
    vis_.bStereo = 0;
    _DFreeBufferSet(nullptr, pbs);
    gpdraw = nullptr;
}

// A level's tile is filled with copies of the image, column by column; a
// large level is a device bitmap with one copy.
TEST_F(BufferManagerTest, TextureLevelsFillTheirTiles) {
    std::vector<ULONG> texels(512 * 32, 0x11223344u);
    struct Row {
        LONG cx, cy;
        LONG cxSurface, cySurface;
        std::vector<std::pair<LONG, LONG>> at;  // copies, in order
    };
    const Row rows[] = {
        {16, 32, 64, 64, {{0, 0}, {0, 32}, {16, 0}, {16, 32}, {32, 0}, {32, 32}, {48, 0}, {48, 32}}},
        {64, 16, 64, 64, {{0, 0}, {0, 16}, {0, 32}, {0, 48}}},
        {512, 32, 512, 32, {{0, 0}}},
    };
    ULONG id = 7;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.cx);
        gDrvCopies.clear();
        gMade.clear();
        ASSERT_EQ(_DLoadTexture(reinterpret_cast<PDEV*>(&pdev_), id, 0, r.cx, r.cy, texels.data(), FALSE,
                                nullptr), 1u);
        ASSERT_EQ(gMade.size(), 1u);
        EXPECT_EQ(gMade[0].cx, r.cxSurface);
        EXPECT_EQ(gMade[0].cy, r.cySurface);
        ASSERT_EQ(gDrvCopies.size(), r.at.size());
        for (size_t i = 0; i < r.at.size(); ++i) {
            EXPECT_EQ(gDrvCopies[i].rcl.left, r.at[i].first);
            EXPECT_EQ(gDrvCopies[i].rcl.top, r.at[i].second);
            EXPECT_EQ(gDrvCopies[i].rcl.right - gDrvCopies[i].rcl.left, r.cx);
        }
        ULONG pitch = 0;
        EXPECT_EQ(_DFindTexture(reinterpret_cast<PDEV*>(&pdev_), 0, id, &pitch), gMade[0].dfb.pid);
        EXPECT_EQ(pitch, static_cast<ULONG>(r.cxSurface));
        ++id;
    }
    // With stereo, the copies are single plain transfers through CopyBits.
    pc_.fStereo = 1;
    gDrvCopies.clear();
    gCopies.clear();
    ASSERT_EQ(_DLoadTexture(reinterpret_cast<PDEV*>(&pdev_), 20, 0, 64, 64, texels.data(), FALSE, nullptr), 1u);
    EXPECT_TRUE(gDrvCopies.empty());
    ASSERT_EQ(gCopies.size(), 1u);
    EXPECT_EQ(gCopies[0].iMode, 0u);
    pc_.fStereo = 0;
    __glReleaseDeviceTextures(reinterpret_cast<PDEV*>(&pdev_));
    EXPECT_EQ(__glTextureTable(reinterpret_cast<PDEV*>(&pdev_)), nullptr);
    vnx::debug::take();
}

// The board fetches a tile's texels by its space, size, column and row,
// which repeat every four tiles: a level whose tile shares them with a
// loaded level's (or the dither tile's) is made again until it does not;
// when no place apart is found the level is not loaded.
TEST_F(BufferManagerTest, TextureTilesTheBoardTellsApart) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(&pdev_);
    std::vector<ULONG> texels(64 * 64, 0x11223344u);
    // Level 0 at column 0, row 3 of the 64-pixel tiles of space 5.
    gTilePids = {0xB8E5u};
    ASSERT_EQ(_DLoadTexture(ppdev, 9, 0, 64, 64, texels.data(), FALSE, nullptr), 1u);
    // Level 4 is first placed four tiles away (the same fields, another
    // format word), then at column 1.
    gTilePids = {0x78E5u, 0xBAE5u};
    std::size_t cMade = gMade.size();
    ASSERT_EQ(_DLoadTexture(ppdev, 9, 4, 4, 4, texels.data(), FALSE, nullptr), 1u);
    EXPECT_EQ(gMade.size() - cMade, 2u);
    EXPECT_EQ(_DFindTexture(ppdev, 4, 9, nullptr), 0xBAE5u);
    EXPECT_EQ(_DFindTexture(ppdev, 0, 9, nullptr), 0xB8E5u);
    // Another size, or another space, is apart already.
    gTilePids = {0xB965u};
    ASSERT_EQ(_DLoadTexture(ppdev, 9, 5, 2, 2, texels.data(), FALSE, nullptr), 1u);
    EXPECT_EQ(_DFindTexture(ppdev, 5, 9, nullptr), 0xB965u);
    // The dither tile's fields are taken too.
    pdev_.pidDither = 0xA8E6u;
    pdev_.pdsurfDither = reinterpret_cast<const DSURF*>(&pdev_);
    gTilePids = {0xA8E6u, 0xAAE6u};
    ASSERT_EQ(_DLoadTexture(ppdev, 9, 6, 1, 1, texels.data(), FALSE, nullptr), 1u);
    EXPECT_EQ(_DFindTexture(ppdev, 6, 9, nullptr), 0xAAE6u);
    // Nowhere apart: the level is not loaded, and every tile made goes.
    gTilePids.assign(40, 0xB8E5u);
    cMade = gMade.size();
    EXPECT_EQ(_DLoadTexture(ppdev, 9, 2, 16, 16, texels.data(), FALSE, nullptr), 0u);
    EXPECT_EQ(_DFindTexture(ppdev, 2, 9, nullptr), 0u);
    EXPECT_GT(gMade.size() - cMade, 2u);
    gTilePids.clear();
    pdev_.pdsurfDither = nullptr;
    pdev_.pidDither = 0;
    __glReleaseDeviceTextures(ppdev);
    vnx::debug::take();
}

TEST_F(BufferManagerTest, TextureTableAtItsLimits) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(&pdev_);
    std::vector<ULONG> texels(64 * 64);
    for (ULONG id = 1; id <= 32; ++id)
        ASSERT_EQ(_DLoadTexture(ppdev, id, 0, 8, 8, texels.data(), FALSE, nullptr), 1u);
    // A 33rd texture is refused; the loaded ones stay.
    EXPECT_EQ(_DLoadTexture(ppdev, 33, 0, 8, 8, texels.data(), FALSE, nullptr), 0u);
    for (ULONG id = 1; id <= 32; ++id) EXPECT_NE(_DFindTexture(ppdev, 0, id, nullptr), 0u);
    // Reloading a loaded texture keeps its slot.
    EXPECT_EQ(_DLoadTexture(ppdev, 5, 0, 8, 8, texels.data(), FALSE, nullptr), 1u);
    // Levels: of the current texture only, never past the level records.
    EXPECT_EQ(_DLoadTexture(ppdev, 5, 10, 1, 1, texels.data(), FALSE, nullptr), 1u);
    EXPECT_EQ(_DLoadTexture(ppdev, 5, 11, 1, 1, texels.data(), FALSE, nullptr), 0u);
    EXPECT_EQ(_DLoadTexture(ppdev, 6, 1, 4, 4, texels.data(), FALSE, nullptr), 0u);
    ULONG pitch = 0;
    EXPECT_NE(_DFindTexture(ppdev, 10, 5, &pitch), 0u);
    EXPECT_EQ(pitch, 64u);
    EXPECT_EQ(_DFindTexture(ppdev, 11, 5, &pitch), 0u);
    EXPECT_EQ(_DFindTexture(ppdev, 10, 6, &pitch), 0u);
    // A level-0 tile that cannot be made releases every loaded texture and
    // is tried once more; a level above 0 fails at once.
    gcTileFailures = 1;
    EXPECT_EQ(_DLoadTexture(ppdev, 5, 2, 8, 8, texels.data(), FALSE, nullptr), 0u);
    EXPECT_NE(_DFindTexture(ppdev, 0, 6, nullptr), 0u) << "nothing released for a level";
    gcTileFailures = 1;
    EXPECT_EQ(_DLoadTexture(ppdev, 39, 0, 8, 8, texels.data(), FALSE, nullptr), 0u) << "the table is full";
    EXPECT_EQ(gcTileFailures, 1);
    EXPECT_EQ(_DLoadTexture(ppdev, 5, 0, 8, 8, texels.data(), FALSE, nullptr), 1u);
    EXPECT_EQ(gcTileFailures, 0);
    EXPECT_EQ(__glTextureTable(ppdev)->cLoaded, 1u);
    EXPECT_NE(_DFindTexture(ppdev, 0, 5, nullptr), 0u);
    EXPECT_EQ(_DFindTexture(ppdev, 0, 6, nullptr), 0u) << "the others were released";
    // Failing twice fails the load and frees the slot.
    gcTileFailures = 2;
    EXPECT_EQ(_DReleaseTextures(ppdev, 5), 1u);  // only identifier 5 is loaded
    EXPECT_EQ(_DLoadTexture(ppdev, 40, 0, 8, 8, texels.data(), FALSE, nullptr), 0u);
    EXPECT_EQ(__glTextureTable(ppdev)->cLoaded, 0u);
    EXPECT_EQ(_DFindTexture(ppdev, 0, 40, nullptr), 0u);
    // Without texture hardware nothing is loaded.
    pdev_.bc.textureMode = TEXMODE_NOHARDWARE;
    EXPECT_EQ(_DLoadTexture(ppdev, 41, 0, 8, 8, texels.data(), FALSE, nullptr), 0u);
    pdev_.bc.textureMode = 0;
    __glReleaseDeviceTextures(ppdev);
    gMade.clear();
    vnx::debug::take();
}

// Textures in the board's 16-bit form (fTexture16) are made in the
// screen's format: tiles with its format word, large textures as device
// bitmaps of its format, whose packets name the indexed format of 8- and
// 16-bit screens (keeping the page block and the class bit 0x20).
TEST_F(BufferManagerTest, TexturesInTheBoards16BitForm) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(&pdev_);
    std::vector<ULONG> texels(512 * 8);
    struct Row {
        ULONG fTexture16, iScreen;
        LONG cx;
        ULONG iFormatMade, pidFormatMade;  // of the surface made
        ULONG fmtNamed;                    // the format bits the level names
    } const rows[] = {
        {0, BMF_16BPP, 8, BMF_32BPP, 0xA000, 0xA000},    {1, BMF_32BPP, 8, BMF_32BPP, 0xA000, 0xA000},
        {1, BMF_16BPP, 8, BMF_32BPP, 0x6000, 0x6000},    {1, BMF_8BPP, 8, BMF_32BPP, 0x4000, 0x4000},
        {0, BMF_16BPP, 512, BMF_32BPP, 0xA000, 0xA000},  {1, BMF_16BPP, 512, BMF_16BPP, 0x8000, 0x6000},
        {1, BMF_8BPP, 512, BMF_8BPP, 0x0000, 0x0000},    {1, BMF_32BPP, 512, BMF_32BPP, 0xA000, 0xA000},
    };
    ULONG id = 1;
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.fTexture16 << " " << r.iScreen << " " << r.cx);
        pdev_.fTexture16 = r.fTexture16;
        pdev_.iBitmapFormat = r.iScreen;
        gMade.clear();
        ASSERT_EQ(_DLoadTexture(ppdev, id, 0, r.cx, 8, texels.data(), FALSE, nullptr), 1u);
        ASSERT_EQ(gMade.size(), 1u);
        EXPECT_EQ(gMade[0].iFormat, r.iFormatMade);
        EXPECT_EQ(gMade[0].dfb.pid & 0xE000u, r.pidFormatMade);
        const ULONG pidMade = gMade[0].dfb.pid;
        const ULONG pidNamed = _DFindTexture(ppdev, 0, id, nullptr);
        EXPECT_EQ(pidNamed & 0xE000u, r.fmtNamed);
        EXPECT_EQ(pidNamed & 0x3Fu, pidMade & 0x3Fu) << "page block and class bit";
        ++id;
    }
    pdev_.fTexture16 = 0;
    pdev_.iBitmapFormat = BMF_32BPP;
    __glReleaseDeviceTextures(ppdev);
    gMade.clear();
    vnx::debug::take();
}

// With fewer than 3 stencil bits the stencil shares the device's alpha
// surface once there is one (said once), and the shared surface lives as
// long as a buffer in it.
TEST_F(BufferManagerTest, StencilSharesTheAlphaSurfaceWithFewStencilBits) {
    pc_.aulGLSizing[PAGECONFIG_GL_ALPHA_BITS] = 8;
    pc_.aulGLSizing[PAGECONFIG_GL_STENCIL_BITS] = 2;
    __glInitBufferManager(reinterpret_cast<PDEV*>(&pdev_));
    gflBitmaps = DFB_FL_PLACED;
    gMade.clear();
    WNDOBJ wo = Window(0, 0, 16, 16);
    GLBufferSet* pbs = __glCreateBufferSet(&screen_, &wo, &vis_);
    ASSERT_NE(pbs, nullptr);
    _DCreateMissingBuffers(pbs, GLBUFFER_STENCIL);
    ASSERT_NE(pbs->apBuffers[GLBS_STENCIL], nullptr);
    EXPECT_EQ(vnx::debug::take(), "") << "no alpha surface yet: a stencil surface of its own";
    GLBufferSet* pbs2 = __glCreateBufferSet(&screen_, &wo, &vis_);
    _DCreateMissingBuffers(pbs2, GLBUFFER_ALPHA);
    _DFreeBufferSet(nullptr, pbs);  // the stencil surface goes
    _DCreateMissingBuffers(pbs2, GLBUFFER_STENCIL);
    ASSERT_NE(pbs2->apBuffers[GLBS_STENCIL], nullptr);
    EXPECT_EQ(pbs2->apBuffers[GLBS_STENCIL]->hsurf, pbs2->apBuffers[GLBS_ALPHA0]->hsurf);
    EXPECT_EQ(vnx::debug::take(), "combined alpha/stencil buffer\n");
    EXPECT_EQ(gMade.size(), 2u);
    ULONG cAlpha = 0, cStencil = 0, aulMasks[2] = {};
    _DGetAncillaryBits(&cAlpha, &cStencil, aulMasks);
    EXPECT_EQ(cAlpha, 6u);
    EXPECT_EQ(cStencil, 2u);
    EXPECT_EQ(aulMasks[0], 0x0Fu);
    EXPECT_EQ(aulMasks[1], 0xF0u);
    _DFreeBufferSet(nullptr, pbs2);
    gflBitmaps = 0xAF;
    pc_.aulGLSizing[PAGECONFIG_GL_ALPHA_BITS] = 0;
    pc_.aulGLSizing[PAGECONFIG_GL_STENCIL_BITS] = 0;
    gMade.clear();
}

// With the stencil bits of its own the stencil gets a surface beside the
// alpha surface. A render program reaches every pixmap it names at the
// fragment's screen position, so each surface is asked for at the origin of
// its space (a placed bitmap): two screen-sized surfaces then never share
// one, and a stencil write cannot land on the alpha of the same pixel.
TEST_F(BufferManagerTest, AlphaAndStencilSurfacesLieAtTheirSpacesOrigin) {
    pc_.aulGLSizing[PAGECONFIG_GL_ALPHA_BITS] = 8;
    pc_.aulGLSizing[PAGECONFIG_GL_STENCIL_BITS] = 8;
    __glInitBufferManager(reinterpret_cast<PDEV*>(&pdev_));
    gflBitmaps = DFB_FL_PLACED;
    gMade.clear();
    WNDOBJ wo = Window(20, 10, 16, 16);
    GLBufferSet* pbs = __glCreateBufferSet(&screen_, &wo, &vis_);
    ASSERT_NE(pbs, nullptr);
    _DCreateMissingBuffers(pbs, GLBUFFER_ALPHA | GLBUFFER_STENCIL);
    ASSERT_NE(pbs->apBuffers[GLBS_ALPHA0], nullptr);
    ASSERT_NE(pbs->apBuffers[GLBS_STENCIL], nullptr);
    EXPECT_NE(pbs->apBuffers[GLBS_STENCIL]->hsurf, pbs->apBuffers[GLBS_ALPHA0]->hsurf);
    ASSERT_EQ(gMade.size(), 2u);
    for (const MadeSurface& m : gMade) {
        EXPECT_EQ(m.iFormat, static_cast<ULONG>(BMF_8BPP));
        EXPECT_EQ(m.at.x, 0);
        EXPECT_EQ(m.at.y, 0);
    }
    _DFreeBufferSet(nullptr, pbs);
    vnx::debug::take();
    gflBitmaps = 0xAF;
    pc_.aulGLSizing[PAGECONFIG_GL_ALPHA_BITS] = 0;
    pc_.aulGLSizing[PAGECONFIG_GL_STENCIL_BITS] = 0;
    gMade.clear();
}

}  // namespace
