// Swaps end to end: an application's window (from the window model, cut
// into several rectangles by the windows above it) gets a pixel format and
// a context through its own device context, an image goes into the
// window's back buffer with _DPutImage, SwapBuffers presents it through the
// display driver's page exchange with the vertical-blank wait, and the
// window's pixels are read back from the front buffer on the board. The
// server here is built from its sources and started on the driver's device
// the way the driver starts the library it loads.
#include "server_on_device.h"

namespace {

using namespace glsrv_device;

class SwapEndToEnd : public ServerOnDevice, public ::testing::WithParamInterface<Machine> {
  protected:
    void SetUp() override { Boot(GetParam().rasterizers, GetParam().bpp); }
};

// The image written into the back buffer shows in the front buffer after
// the swap exactly where the window is visible; elsewhere the screen keeps
// its pixels. The swap waited for a vertical retrace and the board saw no
// malformed stream.
TEST_P(SwapEndToEnd, ImageThroughBackBufferAndSwapReachesTheVisibleWindow) {
    GLBufferSet* pbs = Window();
    ASSERT_NE(pbs, nullptr) << vnx::debug::take();
    // The window model's region reached the drawable: several boxes.
    ASSERT_EQ(pdraw_->pwo->coClient.iDComplexity, DC_COMPLEX);
    EXPECT_GT(pdraw_->clip.cBoxes, 3u);

    const LONG cx = kWindow.right - kWindow.left, cy = kWindow.bottom - kWindow.top;
    const ULONG mask = GetParam().bpp == 32 ? 0xFFFFFFu : GetParam().bpp == 16 ? 0x7FFFu : 0xFFu;
    // Colours that survive the screen's depth unchanged.
    auto colour = [&](LONG x, LONG y) -> ULONG {
        const ULONG v = static_cast<ULONG>(x * 7 + y * 131) & 0xFFu;
        if (GetParam().bpp == 32) return v << 16 | (static_cast<ULONG>(y) & 0xFF) << 8 | (static_cast<ULONG>(x) & 0xFF);
        if (GetParam().bpp == 16) return (v & 0xF8) << 16 | (static_cast<ULONG>(x * 8) & 0xF8) << 8 | (v & 0xF8);
        return (v & 0xE0) << 16 | (v & 0xE0) << 8 | (v & 0xC0);
    };
    std::vector<ULONG> image(static_cast<size_t>(cx * cy));
    for (LONG y = 0; y < cy; ++y)
        for (LONG x = 0; x < cx; ++x) image[y * cx + x] = colour(x, y);
    const RECTL around = {kWindow.left - 50, kWindow.top - 40, kWindow.right + 50, kWindow.bottom + 40};
    // Both buffers hold pixels of their own around the window first, so a
    // swap past the window's visible part shows (after what the driver
    // queued before, such as the screen clear, has reached the board).
    Locked([&] {
        kz2FlushQueue(kz2GetQueueMgt(pso_->dhsurf, kz2GetBlockEnable(0, 0, 1, 1)), 0xFFFFFFFFu, nullptr,
                      nullptr);
        return 0;
    });
    ASSERT_NO_FATAL_FAILURE(Paint(pso_, around, 1));
    ASSERT_NO_FATAL_FAILURE(Paint(psoGLBack(ppdev()), around, 2));
    const std::vector<ULONG> before = Front(around);

    ASSERT_EQ(Locked([&] {
                  return _DPutImage(pbs, GLBUFFER_BACK_LEFT, kWindow.left, kWindow.top, cx, cy, image.data());
              }),
              1u);
    // The back buffer holds the image inside the visible boxes.
    const ULONG cjPixel = GetParam().bpp / 8;
    std::vector<BYTE> back(static_cast<size_t>(cx * cy) * cjPixel);
    ASSERT_EQ(Locked([&] {
                  return _DGetImage(pbs, GLBUFFER_BACK_LEFT, kWindow.left, kWindow.top, cx, cy, back.data());
              }),
              1u);
    auto pixelOf = [&](const std::vector<BYTE>& v, LONG i) {
        ULONG ul = 0;
        std::memcpy(&ul, v.data() + static_cast<size_t>(i) * cjPixel, cjPixel);
        return ul;
    };
    const std::vector<ULONG> stored = Front(kWindow);  // the front's form of each value
    (void)stored;

    board().take_ramdac_writes(0);
    {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(SwapBuffers(hdc_));
    }
    // The swap waited for the vertical blank: the retrace registers were
    // written and the toggle stored once the board answered.
    std::vector<ULONG> written;
    for (const auto& w : board().take_ramdac_writes(0)) written.push_back(w.index);
    EXPECT_EQ(written, (std::vector<ULONG>{0x33, 0x34, 0x36}));

    const std::vector<ULONG> after = Front(around);
    const LONG cxAround = around.right - around.left;
    int cShown = 0, cWrong = 0;
    for (LONG y = around.top; y < around.bottom; ++y) {
        for (LONG x = around.left; x < around.right; ++x) {
            const size_t i = static_cast<size_t>((y - around.top) * cxAround + (x - around.left));
            if (Visible(x, y)) {
                const ULONG want = pixelOf(back, (y - kWindow.top) * cx + (x - kWindow.left));
                cWrong += (after[i] & mask) != (want & mask);
                ++cShown;
            } else {
                cWrong += after[i] != before[i];
            }
        }
    }
    EXPECT_GT(cShown, 0);
    EXPECT_EQ(cWrong, 0);
    // The image went through unchanged where it shows (the back buffer's
    // read-back, then the front's through the driver).
    std::vector<BYTE> front(back.size());
    ASSERT_EQ(Locked([&] {
                  return _DGetImage(pbs, GLBUFFER_FRONT_LEFT, kWindow.left, kWindow.top, cx, cy, front.data());
              }),
              1u);
    int cImage = 0;
    for (LONG y = 0; y < cy; ++y)
        for (LONG x = 0; x < cx; ++x)
            if (Visible(kWindow.left + x, kWindow.top + y)) {
                cImage += GetParam().bpp == 32 && pixelOf(back, y * cx + x) != (image[y * cx + x] & mask);
                cImage += pixelOf(front, y * cx + x) != pixelOf(back, y * cx + x);
            }
    EXPECT_EQ(cImage, 0);
    EXPECT_TRUE(board().take_errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Rasterizers, SwapEndToEnd,
                         ::testing::Values(Machine{1, 32}, Machine{2, 32}, Machine{4, 32}, Machine{2, 16},
                                           Machine{4, 8}),
                         [](const ::testing::TestParamInfo<Machine>& i) {
                             return std::to_string(i.param.rasterizers) + "x" + std::to_string(i.param.bpp) + "bpp";
                         });


// On a 16-bit display the first overlay context turns the RAMDAC's overlay
// register on (0x60) and the last one to go turns it off (0xE0); the
// contexts between write nothing.
TEST_F(ServerTest, OverlayContextsWriteTheRamdacOverlayRegister) {
    TearDown();
    Boot(1, 16);
    board().take_ramdac_writes(0);
    const ULONG a = CreateLayerContext(app_, 1, 1);
    ASSERT_NE(a, 0u) << vnx::debug::take();
    EXPECT_EQ(OverlayRegisterWrites(), (std::vector<ULONG>{0x60}));
    const ULONG b = CreateLayerContext(app_, 1, 1);
    ASSERT_NE(b, 0u);
    const ULONG main = CreateLayerContext(app_, 1, 0);
    ASSERT_NE(main, 0u);
    EXPECT_TRUE(OverlayRegisterWrites().empty());
    EXPECT_EQ(DisplayCmd(app_, Request(GLCMD_DELETECONTEXT, 0, {a})), 1);
    EXPECT_EQ(DisplayCmd(app_, Request(GLCMD_DELETECONTEXT, 0, {main})), 1);
    EXPECT_TRUE(OverlayRegisterWrites().empty());
    EXPECT_EQ(board().ramdac_register(0, 12), 0x60u);
    // The last overlay context goes with its process.
    vnx::process::terminate(app_);
    EXPECT_EQ(OverlayRegisterWrites(), (std::vector<ULONG>{0xE0}));
    EXPECT_EQ(board().ramdac_register(0, 12), 0xE0u);
}

// A context made current on a window by one thread and then by another
// leaves the first thread's client; another process cannot name it; the
// owning process's end frees the current context and the window's drawable
// and buffers, and the server's client records hold nothing of them.
TEST_F(ServerTest, ContextsAcrossThreadsAndProcessesThroughTheWindow) {
    GLBufferSet* pbs = Window();
    ASSERT_NE(pbs, nullptr) << vnx::debug::take();
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    GLClient* pgcFirst = gc->pgc;
    ASSERT_NE(pgcFirst, nullptr);
    EXPECT_EQ(pgcFirst->gc, gc);
    std::thread([&] {
        EXPECT_EQ(Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ, {0, dhrc_})), 1);
        EXPECT_NE(gc->pgc, pgcFirst);
        EXPECT_EQ(pgcFirst->gc, nullptr) << "the first thread's client let go";
        EXPECT_EQ(Escape(Request(GLCMD_RELEASECONTEXT, 0, {dhrc_})), 1);
        EXPECT_EQ(gc->pgc, nullptr);
        EXPECT_EQ(Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ, {0, dhrc_})), 1);
        EXPECT_EQ(Escape(Request(GLCMD_THREADDETACH, 0, {})), 0);
    }).join();
    EXPECT_EQ(Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ, {0, dhrc_})), 1);
    EXPECT_EQ(gc->pgc, pgcFirst);
    // Another process: the handle is not its.
    EXPECT_EQ(DisplayCmd(other_, Request(GLCMD_DELETECONTEXT, 0, {dhrc_})), -1);
    EXPECT_EQ(DisplayCmd(other_, Request(GLCMD_RELEASECONTEXT, 0, {dhrc_})), 0);
    // The process ends with the context current on its window.
    const size_t cSurfaces = vnx::engine::live_surfaces();
    {
        vnx::process::Scope as(app_);
        ReleaseDC(hwnd_, hdc_);
        hdc_ = nullptr;
    }
    vnx::process::terminate(app_);
    EXPECT_EQ(pgcFirst->gc, nullptr);
    EXPECT_EQ(vnx::engine::live_window_objects(), 0u);
    EXPECT_EQ(_DBufferListCount(nullptr), 0u);
    EXPECT_LE(vnx::engine::live_surfaces(), cSurfaces);
}

// The scissor box cuts the window's visible region; dropping it gives the
// region back.
TEST_F(ServerTest, ScissorBoxCutsTheClipList) {
    GLBufferSet* pbs = Window();
    ASSERT_NE(pbs, nullptr);
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    const ULONG cWhole = pdraw_->clip.cBoxes;
    auto area = [&] {
        int n = 0, a = 0;
        const pixman_box16_t* pb = pixman_region_rectangles(&pdraw_->clip.region, &n);
        for (int i = 0; i < n; ++i) a += (pb[i].x2 - pb[i].x1) * (pb[i].y2 - pb[i].y1);
        return a;
    };
    const int aWhole = area();
    // The window's top left 70 x 60 (window coordinates from the top); the
    // window above at (150, 120) takes 20 x 20 of it.
    const __GLXbox box{0, 0, 70, 60};
    Locked([&] {
        _DSetClipRegion(gc, &box);
        return _DBindBuffers(gc, GLBUFFER_BACK_LEFT);
    });
    EXPECT_EQ(area(), 70 * 60 - 20 * 20);
    pixman_box16_t* ext = pixman_region_extents(&pdraw_->clip.region);
    EXPECT_EQ(ext->x2, 70);
    EXPECT_EQ(ext->y2, 60);
    Locked([&] {
        _DSetClipRegion(gc, nullptr);
        return _DBindBuffers(gc, GLBUFFER_BACK_LEFT);
    });
    EXPECT_EQ(pdraw_->clip.cBoxes, cWhole);
    EXPECT_EQ(area(), aWhole);
}

// GL: the first window a context is bound to gives its viewport and
// scissor box (0, 0, width, height); a later bind keeps what was set.
TEST_F(ServerTest, FirstWindowSetsViewportAndScissor) {
    ASSERT_NE(Window(), nullptr);
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    const ULONG* pwv = gc->pState->blocks[__builtin_ctz(GL_VIEWPORT_BIT)];
    const ULONG* pws = gc->pState->blocks[__builtin_ctz(GL_SCISSOR_BIT)];
    const LONG cx = kWindow.right - kWindow.left, cy = kWindow.bottom - kWindow.top;
    EXPECT_EQ(pwv[GLX_VIEWPORT_UNSET], 0u);
    EXPECT_EQ(pws[GLX_SCISSOR_UNSET], 0u);
    const LONG want[4] = {0, 0, cx, cy};
    for (ULONG i = 0; i < 4; ++i) {
        EXPECT_EQ(static_cast<LONG>(pwv[GLX_VIEWPORT_X + i]), want[i]) << i;
        EXPECT_EQ(static_cast<LONG>(pws[GLX_SCISSOR_X + i]), want[i]) << i;
    }
    // Set once, the box is the application's: another window's bind leaves it.
    __glXWindowBound(gc, 10, 10);
    EXPECT_EQ(static_cast<LONG>(pwv[GLX_VIEWPORT_WIDTH]), cx);
    EXPECT_EQ(static_cast<LONG>(pws[GLX_SCISSOR_WIDTH]), cx);
}

// A window that moves where nothing of it becomes newly visible is told
// only of its new region; its buffers follow it at the next bind.
TEST_F(ServerTest, BuffersFollowTheWindowAtTheNextBind) {
    GLBufferSet* pbs = Window();
    ASSERT_NE(pbs, nullptr);
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(vnx::windows::move(hwnd_, RECTL{120, 90, 300, 200}));
    }
    EXPECT_EQ(pbs->apBuffers[GLBS_BACK_LEFT]->x, kWindow.left) << "no newly visible part: not told";
    EXPECT_TRUE(Locked([&] { return _DBindBuffers(gc, GLBUFFER_BACK_LEFT); }));
    for (ULONG w : {GLBS_FRONT_LEFT, GLBS_BACK_LEFT}) {
        const GLBuffer* pb = pbs->apBuffers[w];
        EXPECT_EQ(pb->x, 120);
        EXPECT_EQ(pb->y, 90);
        EXPECT_EQ(pb->cx, 180);
        EXPECT_EQ(pb->cy, 110);
    }
}

// Alpha and stencil buffers lie in one device surface each, shared by every
// window's set and deleted with the last buffer in them; the accumulation
// buffer is host memory of the screen's size given on first use.
TEST_F(ServerTest, AncillaryBuffersOnTheBoardAndInHostMemory) {
    // At 16 bits a pixel board memory is left beside the 3D buffers.
    TearDown();
    Boot(1, 16);
    GLBufferSet* pbs = Window();
    ASSERT_NE(pbs, nullptr);
    const size_t cSurfaces = vnx::engine::live_surfaces();
    const ULONG fl = GLBUFFER_STENCIL | GLBUFFER_ALPHA | GLBUFFER_PLANE_20000 | GLBUFFER_ACCUM;
    Locked([&] { return _DCreateMissingBuffers(pbs, fl); });
    GLBuffer* pbStencil = pbs->apBuffers[GLBS_STENCIL];
    GLBuffer* pbAlpha = pbs->apBuffers[GLBS_ALPHA0];
    GLBuffer* pbAlpha2 = pbs->apBuffers[GLBS_ALPHA2];
    GLBuffer* pbAccum = pbs->apBuffers[GLBS_ACCUM];
    ASSERT_TRUE(pbStencil && pbAlpha && pbAlpha2 && pbAccum);
    EXPECT_EQ(pbStencil->memoryKind, GLBUFFER_MEMORY_DEVICE);
    EXPECT_EQ(pbAlpha->memoryKind, GLBUFFER_MEMORY_DEVICE);
    EXPECT_EQ(pbAlpha->hsurf, pbAlpha2->hsurf) << "one alpha surface";
    EXPECT_NE(pbStencil->hsurf, pbAlpha->hsurf) << "8 stencil bits: a surface of its own";
    EXPECT_EQ(vnx::engine::live_surfaces(), cSurfaces + 2);
    EXPECT_EQ(pbAccum->memoryKind, GLBUFFER_MEMORY_HOST);
    EXPECT_EQ(pbAccum->pvPixels, nullptr);
    EXPECT_EQ(pbAccum->bitsPerPixel, 64u);
    EXPECT_EQ(pbAccum->stride, 640u * 8);
    void* pv = _DAllocAccumBuffer();
    ASSERT_NE(pv, nullptr);
    static_cast<BYTE*>(pv)[640 * 480 * 8 - 1] = 1;  // the whole screen's size
    LocalFree(pv);
    // The stencil buffer binds with the colour buffer; the window's pixels
    // of the depth buffer's kind come on request.
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    EXPECT_TRUE(Locked([&] { return _DBindBuffers(gc, GLBUFFER_BACK_LEFT | GLBUFFER_STENCIL | GLBUFFER_DEPTH); }));
    EXPECT_NE(pbs->apBuffers[GLBS_DEPTH], nullptr);
    // The drawable goes with its window: the shared surfaces go with it.
    {
        vnx::process::Scope as(app_);
        ReleaseDC(hwnd_, hdc_);
        hdc_ = nullptr;
        ASSERT_TRUE(vnx::windows::destroy(hwnd_));
    }
    EXPECT_EQ(vnx::engine::live_surfaces(), cSurfaces);
}

// Buffers that cannot be made for want of memory: a depth or accumulation
// buffer asked for at a bind is the context's GL_OUT_OF_MEMORY (the buffers
// there still bind), and a swap of a double-buffered window without its
// back buffer answers FALSE: nothing was presented.
TEST_F(ServerTest, BuffersWithoutMemoryAreErrors) {
    GLBufferSet* pbs = Window();
    ASSERT_NE(pbs, nullptr);
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    for (ULONG fl : {GLBUFFER_DEPTH, GLBUFFER_ACCUM}) {
        SCOPED_TRACE(fl);
        gc->error = GL_NO_ERROR;
        vnx::faults::arm("LocalAlloc", 0, -1);
        EXPECT_TRUE(Locked([&] { return _DBindBuffers(gc, GLBUFFER_BACK_LEFT | fl); }));
        vnx::faults::clear();
        EXPECT_EQ(gc->error, GL_OUT_OF_MEMORY);
        EXPECT_EQ(pbs->apBuffers[fl == GLBUFFER_DEPTH ? GLBS_DEPTH : GLBS_ACCUM], nullptr);
        // With memory the same bind makes it and leaves no error.
        gc->error = GL_NO_ERROR;
        EXPECT_TRUE(Locked([&] { return _DBindBuffers(gc, GLBUFFER_BACK_LEFT | fl); }));
        EXPECT_EQ(gc->error, GL_NO_ERROR);
    }
    ASSERT_TRUE(pbs->pvis->bDoubleBuffer);
    {
        vnx::process::Scope as(app_);
        EXPECT_TRUE(SwapBuffers(hdc_));
    }
    GLBuffer* pbBack = std::exchange(pbs->apBuffers[GLBS_BACK_LEFT], nullptr);
    {
        vnx::process::Scope as(app_);
        EXPECT_FALSE(SwapBuffers(hdc_));
    }
    pbs->apBuffers[GLBS_BACK_LEFT] = pbBack;
}

// The 32-bit staging surface is made once per device and reused; it goes
// with the device's last context.
TEST_F(ServerTest, StagingSurfaceCachedUntilTheLastContextGoes) {
    TearDown();
    Boot(1, 16);
    GLBufferSet* pbs = Window();
    ASSERT_NE(pbs, nullptr);
    vnx::debug::take();  // the lgi layer's own words
    const size_t cSurfaces = vnx::engine::live_surfaces();
    GLBuffer* pb = _DGetTmp32DevSurf(pbs->apBuffers[GLBS_FRONT_LEFT]);
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->kind, 0x10u);
    EXPECT_EQ(pb->cx, 128);
    EXPECT_EQ(pb->bitsPerPixel, 24u);
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_EQ(_DGetTmp32DevSurf(pbs->apBuffers[GLBS_BACK_LEFT]), pb);
    EXPECT_EQ(vnx::debug::take(), "This is the CACHED psoTmp32DevSurf\n");
    GLBuffer* pbScratch = _DCreateScratchPixmap(ppdev());
    ASSERT_NE(pbScratch, nullptr);
    const POINTL ptlScratch{pbScratch->x, pbScratch->y};
    EXPECT_EQ(vnx::engine::live_surfaces(), cSurfaces + 2);
    _DFreeScratchPixmap(&pbScratch);
    EXPECT_EQ(pbScratch, nullptr);
    // Its board memory was given back: the next one takes the same place.
    pbScratch = _DCreateScratchPixmap(ppdev());
    ASSERT_NE(pbScratch, nullptr);
    EXPECT_EQ(pbScratch->x, ptlScratch.x);
    EXPECT_EQ(pbScratch->y, ptlScratch.y);
    _DFreeScratchPixmap(&pbScratch);
    EXPECT_EQ(Escape(Request(GLCMD_DELETECONTEXT, 0, {dhrc_})), 1);
    EXPECT_EQ(vnx::engine::live_surfaces(), cSurfaces);
    GLBuffer host{};
    EXPECT_EQ(_DGetTmp32DevSurf(&host), nullptr);
    // (Deleting the context makes its lgi context current, and dithering,
    // on from the start, reloads the dither matrix quietly.)
    EXPECT_EQ(vnx::debug::take(), "ppdev == NULL pso=(nil)\n");
}

// On a 32-bit display with an overlay set listed, a window whose client
// region changes has its client rectangle (cut to the screen) redrawn by one
// packet on the board that clears the overlay plane.
TEST_F(ServerTest, OverlayWindowMoveRedrawsOnTheBoard) {
    for (int rasterizers : {1, 4}) {
        SCOPED_TRACE(rasterizers);
        if (rasterizers != 1) {
            TearDown();
            Boot(rasterizers, 32);
        }
        GLBufferSet* pbs = Window(1, 1);
        ASSERT_NE(pbs, nullptr) << vnx::debug::take();
        EXPECT_EQ(pbs->bOverlay, 1u);
        for (int r = 0; r < board().rasterizers(); ++r) board().take_packets(r);
        {
            vnx::process::Scope as(app_);
            // Partly onto screen that it did not cover: a newly visible part.
            ASSERT_TRUE(vnx::windows::move(hwnd_, RECTL{440, 300, 700, 420}));
        }
        Locked([&] {
            kz2FlushQueue(kz2GetQueueMgt(pso_->dhsurf, kz2GetBlockEnable(0, 0, 1, 1)), 0xFFFFFFFFu, nullptr,
                          nullptr);
            return 0;
        });
        // Every rasterizer owning a tile of the rectangle (cut to the
        // screen) draws its part.
        int cRasterizers = 0;
        for (int r = 0; r < board().rasterizers(); ++r) {
            int cRedraws = 0;
            for (const auto& p : board().take_packets(r))
                if (p.kind == vnx::board::ItemKind::Packet && p.command == 0x02101026u && !p.pids.empty() &&
                    p.pid(0) == 0xC000u && p.primitives != 0)
                    ++cRedraws;
            cRasterizers += cRedraws != 0;
        }
        EXPECT_EQ(cRasterizers, rasterizers);
        EXPECT_TRUE(board().take_errors().empty());
    }
}

// The shared primitive ring of the application's current context: the
// application makes a section of the ring's size with its own kernel calls
// and names it in GLCMD_CREATEPRIMSEGMENT while its context is current on
// its window.
class PrimRingTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_NE(Window(), nullptr) << vnx::debug::take();
    }
    INT MapRing(const Section& s, ULONG cj = PRIM_SEGMENT_SIZE) {
        return Escape(Request(GLCMD_CREATEPRIMSEGMENT, 0, {s.Handle(), cj}));
    }
    __GLXprimSegment* Kept() {
        GLContext* gc = Context();
        return gc != nullptr ? static_cast<__GLXprimSegment*>(gc->pPrimSegment) : nullptr;
    }
    // Whether the server process still holds `h`: closing it again fails
    // once the server has closed it.
    static bool ServerHolds(HANDLE h) {
        vnx::process::Scope as(vnx::process::server_id());
        return CloseHandle(h) != FALSE;
    }
    // Whether the server process still has the view at `pv`.
    static bool ServerViews(const void* pv) {
        vnx::process::Scope as(vnx::process::server_id());
        return UnmapViewOfFile(pv) != FALSE;
    }
};

std::vector<BYTE> RingBatch(std::uint16_t first, std::uint16_t count, std::uint16_t mode, std::uint16_t orMask,
                            std::uint16_t andMask) {
    const PrimitiveZYDHeader h{sizeof(PrimitiveZYDHeader), 1025, 1, first, count, mode, orMask, andMask, 0};
    std::vector<BYTE> v(sizeof h);
    std::memcpy(v.data(), &h, sizeof h);
    return v;
}

// The mapping answers 1 and marks the ring free (8000); both views are the
// one section; a batch of the ring sent through the render stream is drawn
// from the ring's slots (the vertices without a colour take the first one's,
// written back in place) and consumedIndex in the application's view moves
// to the batch's end.
TEST_F(PrimRingTest, MappedRingIsSharedAndBatchesAreConsumedFromIt) {
    const Section s = MakeSection(PRIM_SEGMENT_SIZE);
    ASSERT_NE(s.pj, nullptr);
    ASSERT_EQ(MapRing(s), 1) << vnx::debug::take();
    __GLXprimSegment* ps = Kept();
    ASSERT_NE(ps, nullptr);
    ASSERT_NE(ps->pView, nullptr);
    EXPECT_EQ(s.Ring()->consumedIndex, PRIM_SEGMENT_VERTICES);
    s.Ring()->position[7999][3] = 2.5f;
    s.Ring()->edgeFlag[7999] = 0xA5A5A5A5u;
    EXPECT_EQ(ps->pView->position[7999][3], 2.5f);
    EXPECT_EQ(ps->pView->edgeFlag[7999], 0xA5A5A5A5u);

    PrimSegment* r = s.Ring();
    const float xy[3][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {-0.5f, 0.5f}};
    for (int i = 0; i < 3; ++i) {
        r->vertexFlags[100 + i] = VTX_XYZW | (i == 0 ? VTX_RGBA : 0u);
        const float pos[4] = {xy[i][0], xy[i][1], 0, 1};
        std::memcpy(r->position[100 + i], pos, sizeof pos);
        const float none[4] = {-1, -1, -1, -1};
        std::memcpy(r->color[100 + i], none, sizeof none);
    }
    const float red[4] = {1, 0, 0, 1};
    std::memcpy(r->color[100], red, sizeof red);
    vnx::debug::clear();
    ASSERT_EQ(RunStream(RingBatch(100, 3, 4 /* GL_TRIANGLES */, VTX_XYZW | VTX_RGBA, VTX_XYZW)), 1);
    EXPECT_EQ(r->consumedIndex, 103u);
    for (int i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::memcmp(r->color[100 + i], red, sizeof red), 0);
    }
    EXPECT_EQ(r->color[103][0], 0.0f) << "nothing written past the batch";
    // The batch went on to the lgi layer's primitive entry, which drew it.
    EXPECT_EQ(vnx::debug::take().find("N_ExecPrimitive"), std::string::npos);
    EXPECT_TRUE(board().take_errors().empty());
}

// A second ring replaces the first: the server's handle and view of the
// first section go, the new ring is marked free, and batches use the new
// one.
TEST_F(PrimRingTest, SecondRingReplacesTheFirst) {
    const Section a = MakeSection(PRIM_SEGMENT_SIZE), b = MakeSection(PRIM_SEGMENT_SIZE);
    ASSERT_NE(a.pj, nullptr);
    ASSERT_NE(b.pj, nullptr);
    ASSERT_EQ(MapRing(a), 1);
    __GLXprimSegment* ps = Kept();
    ASSERT_NE(ps, nullptr);
    HANDLE hFirst = ps->hSection;
    const PrimSegment* pFirstView = ps->pView;
    a.Ring()->consumedIndex = 0;
    ASSERT_EQ(MapRing(b), 1);
    ASSERT_EQ(Kept(), ps);
    EXPECT_NE(ps->hSection, hFirst);
    EXPECT_FALSE(ServerHolds(hFirst)) << "the first section's handle was closed";
    EXPECT_FALSE(ServerViews(pFirstView)) << "and its view unmapped";
    EXPECT_EQ(b.Ring()->consumedIndex, PRIM_SEGMENT_VERTICES);
    ASSERT_EQ(RunStream(RingBatch(0, 1, 0, VTX_XYZW, VTX_XYZW)), 1);
    EXPECT_EQ(b.Ring()->consumedIndex, 1u);
    EXPECT_EQ(a.Ring()->consumedIndex, 0u);
}

// A mapped ring goes with its context, whether the application deletes the
// context or ends with it current: the server's handle and view of the
// section go with it.
TEST_F(PrimRingTest, RingGoesWithTheContextOrTheProcess) {
    for (bool bTerminate : {false, true}) {
        SCOPED_TRACE(bTerminate ? "process ends" : "context deleted");
        if (bTerminate) {
            TearDown();
            hdc_ = nullptr;
            SetUp();
        }
        const Section s = MakeSection(PRIM_SEGMENT_SIZE);
        ASSERT_NE(s.pj, nullptr);
        ASSERT_EQ(MapRing(s), 1);
        ASSERT_NE(Kept(), nullptr);
        HANDLE hServer = Kept()->hSection;
        const PrimSegment* pServerView = Kept()->pView;
        if (bTerminate) {
            {
                vnx::process::Scope as(app_);
                ReleaseDC(hwnd_, hdc_);
                hdc_ = nullptr;
            }
            vnx::process::terminate(app_);
        } else {
            EXPECT_EQ(Escape(Request(GLCMD_DELETECONTEXT, 0, {dhrc_})), 1);
        }
        EXPECT_FALSE(ServerHolds(hServer));
        EXPECT_FALSE(ServerViews(pServerView));
    }
}

// The announced size must be the ring's (a larger one is refused too), and
// the section must hold it: a client naming a smaller section with the
// ring's size gets no view past its end. Nothing is kept either way.
TEST_F(PrimRingTest, SectionsOfAnotherSizeAreRefused) {
    struct Case {
        ULONG cjSection, cjAnnounced;
    } const cases[] = {
        {PRIM_SEGMENT_SIZE + 4096, PRIM_SEGMENT_SIZE + 4096},
        {PRIM_SEGMENT_SIZE / 2, PRIM_SEGMENT_SIZE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cjSection);
        const Section s = MakeSection(c.cjSection);
        ASSERT_NE(s.pj, nullptr);
        EXPECT_EQ(MapRing(s, c.cjAnnounced), -1);
        const __GLXprimSegment* ps = Kept();
        EXPECT_TRUE(ps == nullptr || (ps->pView == nullptr && ps->hSection == nullptr));
        EXPECT_EQ(reinterpret_cast<PrimSegment*>(s.pj)->consumedIndex, 0u);
    }
    vnx::debug::clear();
}

}  // namespace