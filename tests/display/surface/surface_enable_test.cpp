// DrvEnableSurface on every board model: the primary and its surface for
// the engine, the 3D buffers when the memory holds them, the tiles, the
// screen clear and the dither matrix as the board decodes them.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "display/surface/surface_fixture.h"
#include "platform/engine.h"

namespace {

using namespace vnx::test;

class SurfaceEnableTest : public SurfaceTest {};

// What a board and mode give: 3D or not, and why not.
struct Case {
    const char* name;
    int rasterizers, boards, memoryClass;
    ULONG cx, cy, bpp;
    bool b3D;
    const char* message;
    bool bPattern = true;  // room is left for the pattern surface
};

// 1, 2 and 4 rasterizers, a split board, 8/16/32 bpp, with and without
// room for the 3D buffers.
const Case kCases[] = {
    {"solo 16 bpp with 3D", 1, 1, 2, 1024, 768, 16, true, ""},
    {"solo 8 bpp with 3D", 1, 1, 1, 1024, 768, 8, true, ""},
    {"solo 32 bpp too small for 3D", 1, 1, 2, 1024, 768, 32, false,
     "KZ DrvEnableSurface - FAILED bAlloc3dBuffers()\n"},
    {"duo 32 bpp with 3D", 2, 1, 2, 640, 480, 32, true, ""},
    {"duo 32 bpp, memory just holds primary, back and depth: 3D, no pattern surface", 2, 1, 2, 1024,
     768, 32, true, "", false},
    {"quad 8 bpp with 3D", 4, 1, 2, 1280, 1024, 8, true, ""},
    {"quad 16 bpp, bytes enough but too few page slots for 3D", 4, 1, 1, 1024, 768, 16, false,
     "KZ DrvEnableSurface - FAILED bAlloc3dBuffers()\n"},
    {"split duo 16 bpp with 3D", 2, 2, 2, 1024, 768, 16, true, ""},
    {"split quad 32 bpp with 3D", 4, 2, 2, 640, 480, 32, true, ""},
};

TEST_F(SurfaceEnableTest, EveryBoardModelAndDepth) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Make(Memory(c.rasterizers, c.memoryClass, 0, 0, c.boards), Request(c.cx, c.cy, c.bpp));
        const size_t surfacesBefore = vnx::engine::live_surfaces();
        ASSERT_TRUE(device_->enable_surface()) << vnx::debug::peek();
        EXPECT_EQ(vnx::debug::take(), c.message);

        // The engine's surface: the screen (joined on a split board at
        // 1024), every drawing call hooked.
        vnx::engine::SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(device_->hsurf(), &info));
        const bool bSplit = c.boards == 2;
        EXPECT_EQ(info.so.sizlBitmap.cx, bSplit && c.cx == 1024 ? 2047 : static_cast<LONG>(c.cx));
        EXPECT_EQ(info.so.sizlBitmap.cy, static_cast<LONG>(c.cy));
        EXPECT_EQ(info.flHooks, FL_SURFACE_HOOKS);
        EXPECT_EQ(info.so.dhsurf, reinterpret_cast<DHSURF>(ppdev->pdsurfScreen));
        EXPECT_EQ(ppdev->cxSurface, info.so.sizlBitmap.cx);
        EXPECT_EQ(ppdev->layout.bSplitScreen, bSplit ? 1u : 0u);

        // The primary at (0, 0) of page block 0, whole pages.
        const DFB* pdfb = ppdev->pdsurfScreen->pdfb;
        LONG cxPage = 0, cyPage = 0;
        vPageSize(ppdev, ppdev->iBitmapFormat, &cxPage, &cyPage);
        EXPECT_EQ(pdfb->x, 0);
        EXPECT_EQ(pdfb->y, 0);
        EXPECT_EQ(pdfb->cx % cxPage, 0);
        EXPECT_GE(pdfb->cx, ppdev->cxScreen);
        EXPECT_GE(pdfb->cy, ppdev->cyScreen);
        EXPECT_EQ(ppdev->pidScreen, pdfb->pid);
        EXPECT_EQ(PID_SLOT(ppdev->pidScreen), 0u);
        const ULONG ulFormat = c.bpp == 32   ? PID_FORMAT_32
                               : c.bpp == 16 ? PID_FORMAT_16
                                             : PID_FORMAT_8_INDEXED;
        EXPECT_EQ(ppdev->pidScreen & PID_FORMAT_MASK, ulFormat);

        // Both optional units on, on every rasterizer.
        for (int r = 0; r < board().rasterizers(); ++r)
            EXPECT_EQ(board().read_register(r, VNX_REG_CONFIG) & VNX_CONFIG_UNITS,
                      VNX_CONFIG_UNITS);

        // 3D: depth and back buffers at the primary's origin, the dither tile.
        EXPECT_EQ(ppdev->hsurfZ != nullptr, c.b3D);
        EXPECT_EQ(ppdev->hsurfDither != nullptr, c.b3D);
        EXPECT_EQ(ppdev->pPageConfig->cDepthBits, c.b3D ? 16u : 0u);
        if (c.b3D) {
            ASSERT_NE(ppdev->psoBack, nullptr);
            EXPECT_EQ(DfbOf(ppdev->psoBack)->x, 0);
            EXPECT_EQ(DfbOf(ppdev->psoBack)->y, 0);
            EXPECT_EQ(ppdev->pidBack, DfbOf(ppdev->psoBack)->pid);
            EXPECT_EQ(ppdev->pidZ, DfbOf(ppdev->psoZ)->pid);
            EXPECT_EQ(ppdev->pdsurfDither, reinterpret_cast<DSURF*>(ppdev->psoDither->dhsurf));
            EXPECT_EQ(ppdev->pidDither & (PID_TILE | PID_MARKER | PID_FORMAT_MASK),
                      PID_TILE | PID_MARKER | PID_FORMAT_32);
        }
        // The scratch tiles, and the pattern surface where room is left.
        ASSERT_NE(ppdev->psoTmp, nullptr);
        ASSERT_NE(ppdev->psoTmp24, nullptr);
        EXPECT_EQ(ppdev->psoPattern != nullptr, c.bPattern);
        EXPECT_EQ(ppdev->f3DEnable, 0u);

        // Every rasterizer rendered the clear.
        Drain();
        for (int r = 0; r < board().rasterizers(); ++r) {
            bool bCleared = false;
            for (const DecodedPacket& p : Drawn(r))
                bCleared |= p.command == kClearCommand || p.command == kClearCommand32;
            EXPECT_TRUE(bCleared) << "rasterizer " << r;
        }
        EXPECT_EQ(Errors(), "");

        device_->disable_surface();
        EXPECT_TRUE(NothingHeld());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfacesBefore);
        EXPECT_EQ(vnx::debug::take(), "");
    }
}

// The clear packet's words at each depth: one rectangle over the screen
// writing 0, at 32 bpp into the overlay plane as well.
TEST_F(SurfaceEnableTest, ScreenClearWords) {
    struct Row {
        ULONG bpp;
        ULONG command;
        ULONG pidWord;
        std::vector<ULONG> instructions;
    };
    const Row rows[] = {
        {8, kClearCommand, 0x0000, {0x10360348}},
        {16, kClearCommand, 0x6000, {0x10360348}},
        {32, kClearCommand32, 0xC000A000, {0x10360388, 0x10360348}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bpp);
        // A board without its 3D side: only the screen is cleared.
        auto cfg = Memory(1, 1);
        cfg.threeD = false;
        Boot(cfg, Request(800, 600, row.bpp), true);
        ASSERT_EQ(ppdev->hsurfBack, nullptr);
        Drain();
        std::vector<DecodedPacket> v = Drawn(0);
        ASSERT_FALSE(v.empty());
        const DecodedPacket& p = v.back();
        EXPECT_EQ(p.command, row.command);
        EXPECT_EQ(p.primitives, 1u);
        ASSERT_EQ(p.pids.size(), 1u);
        EXPECT_EQ(p.pids[0], row.pidWord);
        EXPECT_EQ(p.instructions, row.instructions);
        EXPECT_TRUE(p.hasClip);
        EXPECT_EQ(p.clipMin, 0u);
        EXPECT_EQ(p.clipMax, (600u << 16) | 800u);
        EXPECT_EQ(p.constants, std::vector<ULONG>{0});
        EXPECT_EQ(p.primitive(0),
                  (std::vector<ULONG>{Vtx(0, 0), Vtx(800, 0), Vtx(800, 600), Vtx(0, 600)}));
    }
}

// With a back buffer the same packet goes to it too, through its page
// block; on a split board the screen's rectangle spans both screens.
TEST_F(SurfaceEnableTest, BackBufferAndSplitBoardClears) {
    Boot(Memory(1, 2), Request(1024, 768, 16), true);
    ASSERT_NE(ppdev->hsurfBack, nullptr);
    Drain();
    std::vector<ULONG> pidWords;
    for (const DecodedPacket& p : Drawn(0))
        if (p.command == kClearCommand) pidWords.push_back(p.pids[0]);
    EXPECT_EQ(pidWords, (std::vector<ULONG>{0x6000, 0x6000 | PID_SLOT(ppdev->pidBack)}));
    EXPECT_NE(PID_SLOT(ppdev->pidBack), 0u);

    Boot(Memory(2, 1, 0, 0, 2), Request(1024, 768, 8), true);
    Drain();
    for (int r = 0; r < board().rasterizers(); ++r) {
        SCOPED_TRACE(r);
        int cScreenClears = 0;
        for (const DecodedPacket& p : Drawn(r)) {
            if (p.command != kClearCommand || p.pids[0] != 0) continue;
            ++cScreenClears;
            EXPECT_EQ(p.primitive(0)[2], Vtx(2047, 768));
            // The second screen's queues carry its screen bits.
            EXPECT_EQ(p.control & 0x70000u, r >= 2 ? 0x70000u : 0u);
        }
        EXPECT_EQ(cScreenClears, 1);
    }
}

// The dither matrix: 64 points of the tile, each with a copy in the tiles
// that the other rasterizers own, with the value of the depth's table in
// all three colour bytes.
TEST_F(SurfaceEnableTest, DitherMatrixPoints) {
    // Rows of the two tables: 16 bpp, and 8 and 32 bpp.
    const ULONG table16[2][8] = {{0, 2, 0, 2, 2, 0, 2, 0}, {2, 0, 2, 0, 0, 2, 1, 2}};
    const ULONG table[2][8] = {{0, 16, 4, 20, 1, 17, 5, 21}, {1, 17, 5, 21, 0, 16, 4, 20}};
    struct Row {
        int rasterizers;
        ULONG bpp;
        int copies;
    };
    const Row rows[] = {{1, 16, 1}, {2, 8, 2}, {4, 32, 4}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rasterizers);
        Boot(Memory(row.rasterizers, 2), Request(640, 480, row.bpp), true);
        ASSERT_NE(ppdev->pdsurfDither, nullptr);
        const DFB* pdfb = ppdev->pdsurfDither->pdfb;
        Drain();

        // Every point each rasterizer received: (x, y) -> value.
        std::set<std::tuple<int, LONG, LONG, ULONG>> points;
        for (int r = 0; r < row.rasterizers; ++r) {
            for (const DecodedPacket& p : Drawn(r)) {
                if (p.command != kDitherCommand) continue;
                EXPECT_EQ(p.pids[0], ppdev->pidDither);
                EXPECT_EQ(p.instructions, std::vector<ULONG>{0x00360348});
                for (std::size_t i = 0; i < p.primitives; ++i) {
                    const std::vector<ULONG> w = p.primitive(i);
                    const LONG x = static_cast<LONG>((w[1] >> 4) & 0xFFF);
                    const LONG y = static_cast<LONG>(w[1] >> 20);
                    points.insert({r, x - pdfb->x, y - pdfb->y, w[0]});
                }
            }
        }
        const std::pair<LONG, LONG> copies[] = {{0, 0}, {128, 0}, {0, 128}, {128, 128}};
        for (int k = 0; k < row.copies; ++k) {
            for (int r : {0, 4}) {
                for (int col = 0; col < 8; ++col) {
                    const ULONG v = row.bpp == 16 ? table16[r / 4][col] : table[r / 4][col];
                    const LONG x = pdfb->x + col + copies[k].first;
                    const LONG y = pdfb->y + r + copies[k].second;
                    const int owner = board().tile_owner(0, x, y);
                    EXPECT_TRUE(points.count(
                        {owner, col + copies[k].first, r + copies[k].second, v | v << 8 | v << 16}))
                        << "copy " << k << " row " << r << " column " << col;
                }
            }
        }
    }
}

// The GL server loads the matrix again through the driver's export: one
// more point packet; without a dither tile nothing is sent.
TEST_F(SurfaceEnableTest, LoadDitherMatExport) {
    Boot(Memory(2, 2), Request(640, 480, 16));
    HMODULE hmod = LoadLibraryA("vornix.dll");
    auto pfn = reinterpret_cast<void (*)(PDEV*)>(GetProcAddress(hmod, "LoadDitherMat"));
    ASSERT_NE(pfn, nullptr);
    auto Loads = [&] {
        Drain();
        int c = 0;
        for (int r = 0; r < board().rasterizers(); ++r)
            for (const DecodedPacket& p : Drawn(r)) c += p.command == kDitherCommand;
        return c;
    };
    EnterCriticalSection(&ppdev->csEscape);
    pfn(ppdev);
    LeaveCriticalSection(&ppdev->csEscape);
    EXPECT_EQ(Loads(), 2);  // one packet in each rasterizer's queue

    DSURF* pdsurf = ppdev->pdsurfDither;
    ppdev->pdsurfDither = nullptr;
    EnterCriticalSection(&ppdev->csEscape);
    pfn(ppdev);
    LeaveCriticalSection(&ppdev->csEscape);
    ppdev->pdsurfDither = pdsurf;
    EXPECT_EQ(Loads(), 0);
    FreeLibrary(hmod);
}

// Page multiplier code 3 quadruples the pages like code 2, for the
// primary's placement and the 3D sizing alike.
TEST_F(SurfaceEnableTest, PageMultiplierCode3Quadruples) {
    Boot(Memory(1, 1, 3, 0), Request(1024, 768, 32));
    EXPECT_EQ(ppdev->cxPageMul, 4);
    // 32-bpp pages of 1024 x 128: the primary is exactly the screen.
    EXPECT_EQ(ppdev->pdsurfScreen->pdfb->cx, 1024);
    EXPECT_EQ(ppdev->pdsurfScreen->pdfb->cy, 768);
    // 16 MB hold the 3 MB primary twice and the depth buffer.
    EXPECT_NE(ppdev->hsurfZ, nullptr);
}

// Reasons for no 3D: each says so once and leaves a surface without depth
// buffer, on which OpenGL is not offered.
TEST_F(SurfaceEnableTest, WhatTurns3DOff) {
    struct Row {
        const char* name;
        ULONG installState;
        const char* env;  // null: not set
        int memoryClass;
        bool threeD;  // the board's 3D side
        const char* message;
    };
    const Row rows[] = {
        {"not installed", 2, nullptr, 2, true,
         "KZ DrvEnableSurface - 3D driver not yet installed\n"},
        {"switch set empty", 0, "", 2, true,
         "KZ DrvEnableSurface - __qrnGLDisableClientDriver set\n"},
        {"switch set", 0, "1", 2, true, "KZ DrvEnableSurface - __qrnGLDisableClientDriver set\n"},
        {"too little memory", 0, nullptr, 0, true,
         "KZ DrvEnableSurface - FAILED bAlloc3dBuffers()\n"},
        {"no 3D side", 0, nullptr, 2, false, ""},
    };
    ScopedEnv disable(DISABLE_CLIENT_DRIVER_VARIABLE, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        disable.Set(row.env);
        auto cfg = Memory(1, row.memoryClass);
        cfg.boardConfig.installState = row.installState;
        cfg.threeD = row.threeD;
        Make(cfg, Request(800, 600, 16));
        ASSERT_TRUE(device_->enable_surface());
        EXPECT_EQ(vnx::debug::take(), row.message);
        EXPECT_EQ(ppdev->hsurfZ, nullptr);
        EXPECT_EQ(ppdev->hsurfBack, nullptr);
        EXPECT_EQ(ppdev->hsurfDither, nullptr);
        EXPECT_EQ(ppdev->pPageConfig->cDepthBits, 0u);
        // OpenGL is not offered: no pixel format, and no GL server loaded.
        EXPECT_EQ(DrvDescribePixelFormat(device_->dhpdev(), 1, 0, nullptr), 0);
        EXPECT_EQ(ppdev->hGLServer, nullptr);
        device_->disable_surface();
    }
    disable.Set(nullptr);

    // Without any of them the same board offers 3D: the describe call goes
    // to its hook.
    Boot(Memory(1, 2), Request(800, 600, 16));
    ASSERT_NE(ppdev->hsurfZ, nullptr);
    static int cCalls;
    cCalls = 0;
    ppdev->pfnDescribePixelFormat = [](DHPDEV, LONG, ULONG, PIXELFORMATDESCRIPTOR*) -> LONG {
        ++cCalls;
        return 7;
    };
    EXPECT_EQ(DrvDescribePixelFormat(device_->dhpdev(), 1, 0, nullptr), 7);
    EXPECT_EQ(cCalls, 1);
}

// Short of memory at 32 bpp on one rasterizer: the 3D sizing asks for the
// alternate buffer, which goes into the padding right of and below the
// screen (here the primary, back and depth buffers take every page slot:
// the tiles alias the back buffer, and 3D stays).
TEST_F(SurfaceEnableTest, TightMemoryPlacesTheAlternateBuffer) {
    Make(Memory(1, 2), Request(800, 600, 32));
    ASSERT_TRUE(device_->enable_surface());
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_NE(ppdev->hsurfZ, nullptr);
    EXPECT_NE(ppdev->hsurfBack, nullptr);
    EXPECT_EQ(ppdev->pPageConfig->fAltBuffer, 1u);
    ASSERT_NE(ppdev->psoAlt, nullptr);
    const DFB* pdfbAlt = DfbOf(ppdev->psoAlt);
    EXPECT_EQ(pdfbAlt->x, 800);
    EXPECT_EQ(pdfbAlt->y, 600);
    EXPECT_EQ(pdfbAlt->cx, 128);
    EXPECT_EQ(pdfbAlt->cy, 128);
    EXPECT_EQ(ppdev->pidScreen & PID_FORMAT_MASK, pdfbAlt->pid & PID_FORMAT_MASK);
}

// A stereo board: the primary and the depth buffer hold both eyes.
TEST_F(SurfaceEnableTest, StereoDoublesTheBuffers) {
    auto cfg = Memory(2, 2);
    cfg.stereo = true;
    Boot(cfg, Request(640, 480, 16));
    EXPECT_EQ(ppdev->pPageConfig->fStereo, 1u);
    EXPECT_GE(ppdev->pdsurfScreen->pdfb->cy, 960);
    ASSERT_NE(ppdev->psoZ, nullptr);
    EXPECT_EQ(DfbOf(ppdev->psoZ)->cy, 960);

    cfg.stereo = false;
    cfg.boardConfig.flags |= BCF_STEREO;
    Boot(cfg, Request(640, 480, 16));
    EXPECT_EQ(ppdev->pPageConfig->fStereo, 0u);
    EXPECT_EQ(ppdev->bc.flags & BCF_STEREO, 0u);
}

// The texture options follow the board configuration.
TEST_F(SurfaceEnableTest, TextureOptions) {
    struct Row {
        ULONG textureMode, flags, bpp;
        ULONG fTexture16, fMipmap;
    };
    const Row rows[] = {
        {TEXMODE_MEMORY, 0, 16, 1, 0},
        {TEXMODE_MEMORY, BCF_MIPMAP, 16, 0, 1},
        {TEXMODE_MEMORY, 0, 8, 0, 0},
        {TEXMODE_PERFORMANCE, 0, 16, 0, 0},
    };
    for (const Row& row : rows) {
        auto cfg = Memory(1, 1);
        cfg.boardConfig.textureMode = row.textureMode;
        cfg.boardConfig.flags |= row.flags;
        cfg.boardConfig.alphaBuffer = 1;
        cfg.boardConfig.stencilBuffer = 0;
        Boot(cfg, Request(640, 480, row.bpp));
        EXPECT_EQ(ppdev->fTexture16, row.fTexture16);
        EXPECT_EQ(ppdev->fMipmap, row.fMipmap);
        EXPECT_EQ(ppdev->ulTextureMode, row.textureMode);
        EXPECT_EQ(ppdev->fFrameKind, FRAME_OFFSCREEN_BITMAPS | FRAME_ALPHA | FRAME_DOUBLE_BUFFER);
    }
}

}  // namespace
