// Device bitmaps: the exported makers CreateDeviceBitmap, CreateIGBETile and
// DfbAssignFormat, the engine's DrvCreateDeviceBitmap and
// DrvDeleteDeviceBitmap, and bitmaps written and read back through the board
// model's page slots.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "device/entry.h"
#include "display/boardmem/boardmem_fixture.h"
#include "pdev.h"

namespace {

using vnx::test::BigPages;
using vnx::test::BoardMemTest;
using vnx::test::Machine;
using vnx::test::Request;

// The DSURF behind a device bitmap's handle.
DSURF* Dsurf(HSURF hsurf) {
    vnx::engine::SurfaceInfo info{};
    if (!vnx::engine::query_surface(hsurf, &info)) return nullptr;
    return reinterpret_cast<DSURF*>(info.so.dhsurf);
}

// Deletes a device bitmap the way the engine does.
void Delete(HSURF hsurf) {
    DSURF* pdsurf = Dsurf(hsurf);
    ASSERT_NE(pdsurf, nullptr);
    DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(pdsurf));
}

// 0, step, 2 x step, ... and the last of n.
std::vector<LONG> Samples(LONG n, LONG step) {
    std::vector<LONG> v;
    for (LONG i = 0; i < n; i += step) v.push_back(i);
    if (v.back() != n - 1) v.push_back(n - 1);
    return v;
}

class DeviceBitmap : public BoardMemTest {
  protected:
    void SetUp() override {
        BoardMemTest::SetUp();
        Boot();
        ppdev_->fFrameKind = FRAME_OFFSCREEN_BITMAPS;
    }
    void TearDown() override {
        if (ppdev_ != nullptr) {
            ppdev_->hsurfBack = nullptr;
            ppdev_->pPageConfig = nullptr;
            ppdev_->layout.bSplitScreen = 0;
        }
        BoardMemTest::TearDown();
    }
};

// A bitmap is a DSURF that points back at the device (at byte 8, as a
// SURFOBJ does), an engine device bitmap associated with the device with the
// board-memory hooks, and a DFB whose pid carries its block's slot and the
// format of its colour model.
TEST_F(DeviceBitmap, MakesTheSurfaceAndItsPid) {
    const struct {
        ULONG colourModel, iFormat;
        FLONG fl;
        ULONG pidFormat;
    } rows[] = {
        {COLOUR_MODEL_DIRECT, BMF_32BPP, 0, 0xA000},
        {COLOUR_MODEL_INDEXED, BMF_32BPP, 0x80, 0xA020},
        {COLOUR_MODEL_INDEXED, BMF_16BPP, 0, 0x6000},
        {COLOUR_MODEL_DIRECT, BMF_16BPP, 0, 0x8000},
        {COLOUR_MODEL_INDEXED, BMF_8BPP, 0x80, 0x0020},
        {COLOUR_MODEL_DIRECT, BMF_8BPP, 0, 0x4000},
    };
    const size_t surfaces = vnx::engine::live_surfaces();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pidFormat);
        ppdev_->ulColourModel = row.colourModel;
        HSURF hsurf = CreateDeviceBitmap(ppdev_, 123, 45, row.iFormat, nullptr, row.fl);
        ASSERT_NE(hsurf, nullptr);
        vnx::engine::SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(hsurf, &info));
        EXPECT_EQ(info.so.iType, STYPE_DEVBITMAP);
        EXPECT_EQ(info.so.iBitmapFormat, row.iFormat);
        EXPECT_EQ(info.so.sizlBitmap.cx, 123);
        EXPECT_EQ(info.so.sizlBitmap.cy, 45);
        EXPECT_EQ(info.so.dhpdev, reinterpret_cast<DHPDEV>(ppdev_));
        EXPECT_EQ(info.flHooks, 0x4FBu);

        DSURF* pdsurf = reinterpret_cast<DSURF*>(info.so.dhsurf);
        EXPECT_EQ(pdsurf->ulSignature, DSURF_SIGNATURE);
        EXPECT_EQ(pdsurf->jPrimary, 0);
        EXPECT_EQ(*reinterpret_cast<PDEV**>(reinterpret_cast<BYTE*>(pdsurf) + 8), ppdev_);
        EXPECT_EQ(pdsurf->cx, 123);
        EXPECT_EQ(pdsurf->cy, 45);
        EXPECT_EQ(pdsurf->pdfb2, nullptr);
        const DFB* pdfb = pdsurf->pdfb;
        ASSERT_NE(pdfb, nullptr);
        EXPECT_EQ(pdfb->pdsurf, pdsurf);
        EXPECT_EQ(pdfb->hsurf, hsurf);
        EXPECT_EQ(pdfb->pid & ~PID_SLOT_MASK, row.pidFormat);
        EXPECT_EQ(PID_SLOT(pdfb->pid), pdfb->ppb->id);
        EXPECT_EQ(pdfb->ppb->flClass, row.fl & DFB_FL_CLASS80);
        EXPECT_TRUE(Consistent());
        Delete(hsurf);
        EXPECT_TRUE(AllFree());
    }
    EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
}

// Refusals, among them a placed or alias request without a position (which
// must not be followed), leave nothing behind.
TEST_F(DeviceBitmap, RefusesBadRequestsAndLeavesNothing) {
    ppdev_->hsurfBack = reinterpret_cast<HSURF>(0x40);  // a back buffer exists
    ppdev_->pidBack = 0xA005;
    const POINTL pos{0, 0};
    const struct {
        LONG cx, cy;
        ULONG iFormat;
        const POINTL* pos;
        FLONG fl;
    } rows[] = {
        {10, 10, BMF_1BPP, nullptr, 0},
        {10, 10, BMF_24BPP, nullptr, 0},
        {10, 10, 0, nullptr, 0},
        {0, 10, BMF_32BPP, nullptr, 0},
        {10, 0, BMF_32BPP, nullptr, 0},
        {-5, 10, BMF_32BPP, nullptr, 0},
        {10, 10, BMF_32BPP, nullptr, DFB_FL_PLACED},
        {10, 10, BMF_32BPP, nullptr, DFB_FL_BACK_ALIAS},
        {10, 10, BMF_32BPP, nullptr, DFB_FL_BACK_ALIAS | DFB_FL_PLACED},
        {2048, 10, BMF_32BPP, nullptr, 0},
        {2048, 10, BMF_32BPP, &pos, DFB_FL_PLACED},
    };
    const size_t surfaces = vnx::engine::live_surfaces();
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.cx << "x" << row.cy << " " << row.iFormat << " " << row.fl);
        POINTL p = row.pos ? *row.pos : POINTL{};
        EXPECT_EQ(
            CreateDeviceBitmap(ppdev_, row.cx, row.cy, row.iFormat, row.pos ? &p : nullptr, row.fl),
            nullptr);
        EXPECT_TRUE(AllFree());
    }
    EXPECT_EQ(CreateDeviceBitmap(nullptr, 10, 10, BMF_32BPP, nullptr, 0), nullptr);
    EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
}

// With a back buffer, flag 0x100 makes an alias of it at the position: the
// back buffer's slot, no board memory of its own. Without a back buffer the
// flag is ignored.
TEST_F(DeviceBitmap, AliasesTheBackBuffer) {
    POINTL pos{64, 32};
    HSURF plain = CreateDeviceBitmap(ppdev_, 16, 8, BMF_32BPP, &pos, DFB_FL_BACK_ALIAS | 0x0F);
    ASSERT_NE(plain, nullptr);
    EXPECT_NE(Dsurf(plain)->pdfb->ppb, nullptr);
    Delete(plain);

    ppdev_->hsurfBack = reinterpret_cast<HSURF>(0x40);
    ppdev_->pidBack = 0xA007;
    HSURF alias = CreateDeviceBitmap(ppdev_, 16, 8, BMF_32BPP, &pos, DFB_FL_BACK_ALIAS | 0x8F);
    ASSERT_NE(alias, nullptr);
    const DFB* pdfb = Dsurf(alias)->pdfb;
    EXPECT_EQ(pdfb->ppb, nullptr);
    EXPECT_EQ(pdfb->pid, 0xA027u);
    EXPECT_EQ(pdfb->x, 64);
    EXPECT_EQ(pdfb->y, 32);
    EXPECT_EQ(pdfb->cx, 16);
    EXPECT_EQ(pdfb->cy, 8);
    EXPECT_EQ(pdfb->fl & DFB_FL_CALLER, 0x8Fu);
    EXPECT_EQ(BlocksInUse(), 0);
    Delete(alias);
    EXPECT_TRUE(AllFree());
}

// DeleteDeviceBitmap, which other modules free the makers' surfaces with,
// gives back the board memory and the record as well as the engine's
// surface; a surface the driver did not make is only deleted.
TEST_F(DeviceBitmap, DeleteDeviceBitmapFreesAllTheMakersMade) {
    const size_t surfaces = vnx::engine::live_surfaces();
    POINTL ptl{256, 128};
    const struct {
        const char* name;
        HSURF (*make)(PDEV*, POINTL*);
    } makers[] = {
        {"general", [](PDEV* p, POINTL*) { return CreateDeviceBitmap(p, 300, 200, BMF_32BPP, nullptr, 0); }},
        {"placed",
         [](PDEV* p, POINTL* pptl) { return CreateDeviceBitmap(p, 128, 128, BMF_8BPP, pptl, DFB_FL_PLACED); }},
        {"tile", [](PDEV* p, POINTL*) { return CreateIGBETile(p, 64, PID_FORMAT_16, 0); }},
    };
    for (const auto& maker : makers) {
        SCOPED_TRACE(maker.name);
        HSURF hsurf = maker.make(ppdev_, &ptl);
        ASSERT_NE(hsurf, nullptr);
        EXPECT_EQ(BlocksInUse(), 1);
        DeleteDeviceBitmap(hsurf);
        EXPECT_TRUE(AllFree());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    }
    HSURF hsurfHost = EngCreateBitmap(SIZEL{16, 16}, 64, BMF_32BPP, 0, nullptr);
    ASSERT_NE(hsurfHost, nullptr);
    DeleteDeviceBitmap(hsurfHost);
    EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    DeleteDeviceBitmap(nullptr);
}

// Every engine or memory failure while making a bitmap undoes all of it.
TEST_F(DeviceBitmap, FailuresUndoEverything) {
    const size_t surfaces = vnx::engine::live_surfaces();
    for (const char* point : {"EngCreateDeviceBitmap", "EngAssociateSurface"}) {
        SCOPED_TRACE(point);
        vnx::faults::arm(point, 0, -1);
        EXPECT_EQ(CreateDeviceBitmap(ppdev_, 300, 300, BMF_32BPP, nullptr, 0), nullptr);
        EXPECT_EQ(CreateIGBETile(ppdev_, 64, PID_FORMAT_16, 0), nullptr);
        vnx::faults::clear();
        EXPECT_TRUE(AllFree());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    }
    // Each memory allocation in turn.
    for (int skip = 0; skip < 8; ++skip) {
        SCOPED_TRACE(skip);
        vnx::faults::arm("LocalAlloc", skip);
        HSURF hsurf = CreateDeviceBitmap(ppdev_, 300, 300, BMF_32BPP, nullptr, 0);
        vnx::faults::clear();
        EXPECT_TRUE(Consistent());
        if (hsurf != nullptr) Delete(hsurf);
        EXPECT_TRUE(AllFree());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    }
}

// When all 32 slots are taken a bitmap cannot be made: the maker answers 0
// and every bitmap made before keeps every page mapped.
TEST_F(DeviceBitmap, NoBitmapWithoutPages) {
    std::vector<HSURF> made;
    for (int i = 0; i < 40; ++i) {
        HSURF h = CreateDeviceBitmap(ppdev_, 256, 128, BMF_32BPP, nullptr, 0);
        if (h == nullptr) break;
        made.push_back(h);
    }
    EXPECT_EQ(made.size(), 32u);
    const size_t surfaces = vnx::engine::live_surfaces();
    EXPECT_EQ(CreateDeviceBitmap(ppdev_, 20, 20, BMF_8BPP, nullptr, 0), nullptr);
    EXPECT_EQ(CreateIGBETile(ppdev_, 32, PID_FORMAT_32, 0x0F), nullptr);
    EXPECT_EQ(DrvCreateDeviceBitmap(reinterpret_cast<DHPDEV>(ppdev_), SIZEL{100, 100}, BMF_32BPP),
              nullptr);
    EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
    EXPECT_TRUE(Consistent());
    EXPECT_EQ(BlocksInUse(), 1);

    // The tile falls back on the back buffer when asked to.
    ppdev_->hsurfBack = reinterpret_cast<HSURF>(0x40);
    ppdev_->pidBack = 0xA003;
    HSURF tile = CreateIGBETile(ppdev_, 128, PID_FORMAT_32, 0x100 | 0x0F);
    ASSERT_NE(tile, nullptr);
    const DFB* pdfb = Dsurf(tile)->pdfb;
    EXPECT_EQ(pdfb->ppb, nullptr);
    EXPECT_EQ(pdfb->x, 0);
    EXPECT_EQ(pdfb->y, 0);
    EXPECT_EQ(pdfb->pid, 0xA000u | 2u << 7 | 0x40 | 0x20 | 3u);
    Delete(tile);

    for (HSURF h : made) Delete(h);
    EXPECT_TRUE(AllFree());
}

// Tiles carry their size code, column and row; a 128 tile at (256, 128)
// has column 2, row 1, size code 2 and bits 5 and 6 set. Any other size is
// named like a plain bitmap of class 0x80.
TEST_F(BoardMemTest, TilesCarryTheirPlaceInTheirPid) {
    Boot(BigPages(), Request(1024, 768, 32));
    std::vector<HSURF> tiles;
    bool seen = false;
    for (int i = 0; i < 256 && !seen; ++i) {
        HSURF h = CreateIGBETile(ppdev_, 128, PID_FORMAT_32, 0x0F);
        ASSERT_NE(h, nullptr) << i;
        tiles.push_back(h);
        vnx::engine::SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(h, &info));
        const DFB* pdfb = reinterpret_cast<DSURF*>(info.so.dhsurf)->pdfb;
        const ULONG tx = static_cast<ULONG>(pdfb->x / 128), ty = static_cast<ULONG>(pdfb->y / 128);
        EXPECT_EQ(pdfb->pid,
                  PID_FORMAT_32 | (((ty & 3) * 4 + (tx & 3)) * 4 + 2) << 7 | 0x60 | pdfb->ppb->id);
        if (pdfb->x == 256 && pdfb->y == 128) {
            seen = true;
            EXPECT_EQ(PID_TILE_COLUMN(pdfb->pid), 2u);
            EXPECT_EQ(PID_TILE_ROW(pdfb->pid), 1u);
            EXPECT_EQ(PID_TILE_SIZE_CODE(pdfb->pid), 2u);
            EXPECT_EQ(pdfb->pid & 0x60u, 0x60u);
        }
    }
    EXPECT_TRUE(seen);

    const struct {
        LONG size;
        ULONG pidFormat, iFormat, sizeCode;
        bool tile;
    } rows[] = {
        {32, PID_FORMAT_8_INDEXED, BMF_8BPP, 0, true},    {64, PID_FORMAT_8, BMF_8BPP, 1, true},
        {128, PID_FORMAT_16_INDEXED, BMF_16BPP, 2, true}, {256, PID_FORMAT_16, BMF_16BPP, 3, true},
        {32, PID_FORMAT_OVERLAY, BMF_32BPP, 0, true},     {100, PID_FORMAT_32, BMF_32BPP, 0, false},
        {16, PID_FORMAT_16, BMF_16BPP, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.size << " " << row.pidFormat);
        HSURF h = CreateIGBETile(ppdev_, row.size, row.pidFormat, 0x0F);
        ASSERT_NE(h, nullptr);
        tiles.push_back(h);
        vnx::engine::SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(h, &info));
        EXPECT_EQ(info.so.iBitmapFormat, row.iFormat);
        EXPECT_EQ(info.so.sizlBitmap.cx, row.size);
        const DFB* pdfb = reinterpret_cast<DSURF*>(info.so.dhsurf)->pdfb;
        EXPECT_EQ(pdfb->ppb->iFormat, row.iFormat);
        EXPECT_EQ(pdfb->ppb->flClass, DFB_FL_CLASS80);
        EXPECT_EQ(pdfb->fl & DFB_FL_CALLER, 0xAFu);
        EXPECT_EQ(pdfb->pid & PID_FORMAT_MASK, row.pidFormat);
        EXPECT_EQ(pdfb->pid & PID_MARKER, PID_MARKER);
        EXPECT_EQ((pdfb->pid & PID_TILE) != 0, row.tile);
        if (row.tile) {
            EXPECT_EQ(PID_TILE_SIZE_CODE(pdfb->pid), row.sizeCode);
            EXPECT_EQ(PID_TILE_COLUMN(pdfb->pid), static_cast<ULONG>(pdfb->x / row.size) & 3);
            EXPECT_EQ(PID_TILE_ROW(pdfb->pid), static_cast<ULONG>(pdfb->y / row.size) & 3);
        } else {
            EXPECT_EQ(pdfb->pid & 0x1FC0u, 0u);
        }
    }
    EXPECT_EQ(CreateIGBETile(ppdev_, 0, PID_FORMAT_32, 0), nullptr);
    EXPECT_EQ(CreateIGBETile(ppdev_, 4096, PID_FORMAT_32, 0), nullptr);
    EXPECT_TRUE(Consistent());
    for (HSURF h : tiles) Delete(h);
    EXPECT_TRUE(AllFree());
}

// DfbAssignFormat replaces everything but the slot bits; with no DFB it only
// reports.
TEST_F(DeviceBitmap, AssignFormatKeepsTheSlot) {
    HSURF h = CreateDeviceBitmap(ppdev_, 50, 50, BMF_16BPP, nullptr, 0);
    ASSERT_NE(h, nullptr);
    DSURF* pdsurf = Dsurf(h);
    const ULONG slot = PID_SLOT(pdsurf->pdfb->pid);
    for (ULONG pidFormat : {0x0000u, 0xFFFFu, 0x001Fu, 0xA01Eu, 0x1FC0u, 0x7FFFE000u}) {
        DfbAssignFormat(pdsurf, pidFormat);
        EXPECT_EQ(pdsurf->pdfb->pid, slot | (pidFormat & 0xFFE0u)) << pidFormat;
    }
    EXPECT_EQ(vnx::debug::take(), "");

    DSURF bare{};
    DfbAssignFormat(&bare, 0xA000);
    DfbAssignFormat(nullptr, 0xA000);
    EXPECT_EQ(vnx::debug::take(),
              "????????????  null dfb ???????????: DfbAssignFormat\n"
              "????????????  null dfb ???????????: DfbAssignFormat\n");
    Delete(h);
}

// The engine's entry point leaves small and odd bitmaps to the engine unless
// a side is 400 or 90, and refuses on a split board, in stereo, without
// off-screen bitmaps and in another format.
TEST_F(DeviceBitmap, EngineRequestsAreFiltered) {
    const struct {
        LONG cx, cy;
        bool made;
    } sizes[] = {
        {64, 64, false},  {400, 10, true},  {10, 90, true},  {400, 1, true},   {184, 170, false},
        {185, 170, true}, {1, 100, false},  {100, 1, false}, {65, 2, true},    {2, 64, false},
        {64, 65, true},   {300, 200, true}, {0, 90, false},  {400, -3, false},
    };
    DHPDEV dhpdev = reinterpret_cast<DHPDEV>(ppdev_);
    for (const auto& row : sizes) {
        SCOPED_TRACE(testing::Message() << row.cx << "x" << row.cy);
        HSURF h = DrvCreateDeviceBitmap(dhpdev, SIZEL{row.cx, row.cy}, BMF_32BPP);
        EXPECT_EQ(h != nullptr, row.made);
        if (h != nullptr) Delete(h);
    }
    EXPECT_EQ(DrvCreateDeviceBitmap(dhpdev, SIZEL{300, 200}, BMF_16BPP), nullptr);

    ppdev_->fFrameKind = 0;
    EXPECT_EQ(DrvCreateDeviceBitmap(dhpdev, SIZEL{300, 200}, BMF_32BPP), nullptr);
    HSURF h = DrvCreateDeviceBitmap(dhpdev, SIZEL{400, 10}, BMF_32BPP);
    EXPECT_NE(h, nullptr);
    Delete(h);
    ppdev_->fFrameKind = FRAME_OFFSCREEN_BITMAPS;

    ppdev_->layout.bSplitScreen = 1;
    EXPECT_EQ(DrvCreateDeviceBitmap(dhpdev, SIZEL{400, 90}, BMF_32BPP), nullptr);
    ppdev_->layout.bSplitScreen = 0;

    PAGECONFIG stereo = gaPageConfig[5];
    stereo.fStereo = 1;
    ppdev_->pPageConfig = &stereo;
    EXPECT_EQ(DrvCreateDeviceBitmap(dhpdev, SIZEL{400, 90}, BMF_32BPP), nullptr);
    stereo.fStereo = 0;
    h = DrvCreateDeviceBitmap(dhpdev, SIZEL{400, 90}, BMF_32BPP);
    EXPECT_NE(h, nullptr);
    Delete(h);
    EXPECT_TRUE(AllFree());
}

// Creating and deleting device bitmaps change slots and drain the queues:
// both wait while another thread holds csEscape.
TEST_F(DeviceBitmap, EngineEntryPointsTakeTheEscapeLock) {
    DHPDEV dhpdev = reinterpret_cast<DHPDEV>(ppdev_);
    std::atomic<HSURF> made{nullptr};
    std::atomic<bool> done{false};

    EnterCriticalSection(&ppdev_->csEscape);
    std::thread creator([&] {
        made = DrvCreateDeviceBitmap(dhpdev, SIZEL{300, 200}, BMF_32BPP);
        done = true;
    });
    for (int i = 0; i < 20 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_FALSE(done);
    EXPECT_EQ(BlocksInUse(), 0);
    LeaveCriticalSection(&ppdev_->csEscape);
    creator.join();
    ASSERT_NE(made.load(), nullptr);

    DSURF* pdsurf = Dsurf(made);
    done = false;
    EnterCriticalSection(&ppdev_->csEscape);
    std::thread deleter([&] {
        DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(pdsurf));
        done = true;
    });
    for (int i = 0; i < 20 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_FALSE(done);
    EXPECT_EQ(BlocksInUse(), 1);
    LeaveCriticalSection(&ppdev_->csEscape);
    deleter.join();
    EXPECT_TRUE(AllFree());
}

// Pixels written into device bitmaps through the board (their pid and the
// slot registers of every rasterizer) read back unchanged, however many
// bitmaps of whichever formats share the board, and after others were
// deleted and made again.
TEST_F(BoardMemTest, BitmapsReadBackThroughTheBoard) {
    Boot(Machine(4), Request(1024, 768, 32));
    struct Made {
        HSURF hsurf;
        DFB* pdfb;
        ULONG bytes;
        int seed;
    };
    std::vector<Made> made;
    int seed = 1;
    auto make = [&](HSURF h, ULONG bytes) {
        ASSERT_NE(h, nullptr);
        vnx::engine::SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(h, &info));
        made.push_back({h, reinterpret_cast<DSURF*>(info.so.dhsurf)->pdfb, bytes, seed++});
    };
    auto value = [](const Made& m, LONG x, LONG y) {
        return static_cast<std::uint32_t>(m.seed * 0x9E3779B1u ^ (x * 7919u + y * 104729u));
    };
    // Visits a sample of each bitmap's pixels (every edge pixel included).
    auto each = [&](const Made& m, auto fn) {
        for (LONG y : Samples(m.pdfb->cy, 3))
            for (LONG x : Samples(m.pdfb->cx, 5)) fn(m.pdfb->x + x, m.pdfb->y + y);
    };
    auto write = [&](const Made& m) {
        each(m, [&](LONG x, LONG y) {
            for (int r = 0; r < 4; ++r) {
                std::uint8_t* p = board().pixel(r, static_cast<std::uint16_t>(m.pdfb->pid), x, y);
                ASSERT_NE(p, nullptr) << x << "," << y;
                const std::uint32_t v = value(m, x, y) + r;
                std::memcpy(p, &v, m.bytes);
            }
        });
    };
    auto check = [&](const Made& m) {
        each(m, [&](LONG x, LONG y) {
            for (int r = 0; r < 4; ++r) {
                const std::uint8_t* p =
                    board().pixel(r, static_cast<std::uint16_t>(m.pdfb->pid), x, y);
                ASSERT_NE(p, nullptr);
                std::uint32_t v = 0, want = value(m, x, y) + r;
                std::memcpy(&v, p, m.bytes);
                EXPECT_EQ(std::memcmp(&v, &want, m.bytes), 0) << x << "," << y << " of " << m.seed;
            }
        });
    };

    POINTL pos{700, 300};
    make(CreateDeviceBitmap(ppdev_, 300, 200, BMF_32BPP, nullptr, 0), 4);
    make(CreateDeviceBitmap(ppdev_, 260, 140, BMF_32BPP, nullptr, 0), 4);
    make(CreateDeviceBitmap(ppdev_, 500, 40, BMF_8BPP, nullptr, 0), 1);
    make(CreateDeviceBitmap(ppdev_, 77, 333, BMF_16BPP, nullptr, 0x80), 2);
    make(CreateDeviceBitmap(ppdev_, 130, 130, BMF_32BPP, &pos, DFB_FL_PLACED), 4);
    make(CreateIGBETile(ppdev_, 128, PID_FORMAT_32, 0x0F), 4);
    make(CreateIGBETile(ppdev_, 64, PID_FORMAT_16, 0x0F), 2);
    for (const Made& m : made) write(m);
    for (const Made& m : made) check(m);

    // Delete two, make two more in their room, write them: the rest keep
    // their pixels.
    DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(made[1].pdfb->pdsurf));
    DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(made[5].pdfb->pdsurf));
    made.erase(made.begin() + 5);
    made.erase(made.begin() + 1);
    make(CreateDeviceBitmap(ppdev_, 200, 100, BMF_32BPP, nullptr, 0), 4);
    make(CreateIGBETile(ppdev_, 256, PID_FORMAT_32, 0x0F), 4);
    write(made[made.size() - 2]);
    write(made.back());
    for (const Made& m : made) check(m);
    EXPECT_TRUE(Consistent());

    for (const Made& m : made) DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(m.pdfb->pdsurf));
    EXPECT_TRUE(AllFree());
}

// Freeing the page table while a bitmap lives leaves that bitmap without
// board memory, and deleting it afterwards is safe.
TEST_F(DeviceBitmap, BitmapOutlivingThePageTable) {
    HSURF h = CreateDeviceBitmap(ppdev_, 80, 80, BMF_32BPP, nullptr, 0);
    ASSERT_NE(h, nullptr);
    DSURF* pdsurf = Dsurf(h);
    vFreePageTable(ppdev_);
    EXPECT_EQ(pdsurf->pdfb->ppb, nullptr);
    EXPECT_EQ(CreateDeviceBitmap(ppdev_, 80, 80, BMF_32BPP, nullptr, 0), nullptr);
    DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(pdsurf));
    ASSERT_TRUE(bInitPageTable(ppdev_));
    EXPECT_TRUE(AllFree());
}

}  // namespace
