// Engine surfaces and palettes: what the services make, handle checks, and
// failure injection at every service that can fail.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/engine.h"
#include "platform/faults.h"

namespace {

using vnx::engine::PaletteInfo;
using vnx::engine::SurfaceInfo;

class EngineObjects : public ::testing::Test {
protected:
    void SetUp() override {
        surfaces_ = vnx::engine::live_surfaces();
        palettes_ = vnx::engine::live_palettes();
    }
    void TearDown() override {
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces_);
        EXPECT_EQ(vnx::engine::live_palettes(), palettes_);
    }
    vnx::faults::Scope faults_;
    size_t surfaces_ = 0, palettes_ = 0;
};

TEST_F(EngineObjects, HostBitmapRowsAndOrientation) {
    struct Row {
        const char* what;
        SIZEL sizl;
        LONG lWidth;
        ULONG iFormat;
        FLONG fl;
        LONG lDelta;       // expected
        ULONG cjBits;
        bool bottomUp;
    };
    const Row rows[] = {
        {"8 bpp rounded to words", {5, 3}, 0, BMF_8BPP, BMF_TOPDOWN, 8, 24, false},
        {"1 bpp given width", {8, 8}, 4, BMF_1BPP, BMF_TOPDOWN, 4, 32, false},
        {"32 bpp bottom-up", {10, 4}, 0, BMF_32BPP, 0, -40, 160, true},
        {"16 bpp wider rows", {3, 2}, 16, BMF_16BPP, BMF_TOPDOWN, 16, 32, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HSURF h = EngCreateBitmap(row.sizl, row.lWidth, row.iFormat, row.fl, nullptr);
        ASSERT_NE(h, nullptr);
        SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(h, &info));
        EXPECT_EQ(info.so.hsurf, h);
        EXPECT_EQ(info.so.iType, STYPE_BITMAP);
        EXPECT_EQ(info.so.iBitmapFormat, row.iFormat);
        EXPECT_EQ(info.so.lDelta, row.lDelta);
        EXPECT_EQ(info.so.cjBits, row.cjBits);
        EXPECT_EQ(info.so.fjBitmap, row.fl & BMF_TOPDOWN);
        const BYTE* bits = static_cast<const BYTE*>(info.so.pvBits);
        EXPECT_EQ(info.so.pvScan0, row.bottomUp ? bits + row.cjBits + row.lDelta : bits);
        for (ULONG i = 0; i < row.cjBits; ++i) {
            ASSERT_EQ(bits[i], 0) << "fresh bits are zero";
        }
        EXPECT_TRUE(EngDeleteSurface(h));
    }
}

TEST_F(EngineObjects, HostBitmapUsesTheCallersBits) {
    ULONG bits[8] = {0x81};
    HSURF h = EngCreateBitmap(SIZEL{8, 8}, 4, BMF_1BPP, BMF_TOPDOWN, bits);
    ASSERT_NE(h, nullptr);
    SURFOBJ* pso = EngLockSurface(h);
    ASSERT_NE(pso, nullptr);
    EXPECT_EQ(pso->pvScan0, bits);
    EngUnlockSurface(pso);
    EXPECT_TRUE(EngDeleteSurface(h));
}

TEST_F(EngineObjects, RefusesBadBitmaps) {
    EXPECT_EQ(EngCreateBitmap(SIZEL{0, 8}, 0, BMF_8BPP, 0, nullptr), nullptr);
    EXPECT_EQ(EngCreateBitmap(SIZEL{8, -1}, 0, BMF_8BPP, 0, nullptr), nullptr);
    EXPECT_EQ(EngCreateBitmap(SIZEL{8, 8}, 0, 9, 0, nullptr), nullptr);
    EXPECT_EQ(EngCreateBitmap(SIZEL{8, 8}, 7, BMF_8BPP, 0, nullptr), nullptr);  // row too short
    EXPECT_EQ(EngCreateBitmap(SIZEL{0x10000, 0x10000}, 0, BMF_32BPP, 0, nullptr), nullptr);
    EXPECT_EQ(EngCreateDeviceSurface(nullptr, SIZEL{0, 1}, BMF_8BPP), nullptr);
}

TEST_F(EngineObjects, LockCountsAndStaleHandles) {
    HSURF h = EngCreateDeviceBitmap(reinterpret_cast<DHSURF>(0x1234), SIZEL{64, 32}, BMF_16BPP);
    ASSERT_NE(h, nullptr);
    SURFOBJ* a = EngLockSurface(h);
    SURFOBJ* b = EngLockSurface(h);
    ASSERT_EQ(a, b);
    EXPECT_EQ(a->iType, STYPE_DEVBITMAP);
    EXPECT_EQ(a->dhsurf, reinterpret_cast<DHSURF>(0x1234));
    EXPECT_EQ(a->pvBits, nullptr);
    SurfaceInfo info{};
    ASSERT_TRUE(vnx::engine::query_surface(h, &info));
    EXPECT_EQ(info.cLocks, 2);
    EngUnlockSurface(a);
    EngUnlockSurface(b);
    EngUnlockSurface(b);  // one too many: ignored
    ASSERT_TRUE(vnx::engine::query_surface(h, &info));
    EXPECT_EQ(info.cLocks, 0);
    EXPECT_TRUE(EngDeleteSurface(h));
    // The handle is gone: every service refuses it.
    EXPECT_FALSE(EngDeleteSurface(h));
    EXPECT_EQ(EngLockSurface(h), nullptr);
    EXPECT_FALSE(vnx::engine::query_surface(h, nullptr));
    EXPECT_FALSE(EngDeleteSurface(reinterpret_cast<HSURF>(0x77)));
}

TEST_F(EngineObjects, AssociateNeedsALiveDevice) {
    HSURF h = EngCreateDeviceSurface(nullptr, SIZEL{16, 16}, BMF_32BPP);
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(EngAssociateSurface(h, reinterpret_cast<HDEV>(0x1000000), HOOK_BITBLT));
    EXPECT_FALSE(EngAssociateSurface(reinterpret_cast<HSURF>(0x5), nullptr, 0));
    EXPECT_TRUE(EngDeleteSurface(h));
}

TEST_F(EngineObjects, IndexedPalettes) {
    ULONG colors[4] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    HPALETTE hpal = EngCreatePalette(PAL_INDEXED, 4, colors, 0, 0, 0);
    ASSERT_NE(hpal, nullptr);
    PALOBJ* ppalo = vnx::engine::palette_object(hpal);
    ASSERT_NE(ppalo, nullptr);

    ULONG out[4] = {};
    EXPECT_EQ(PALOBJ_cGetColors(ppalo, 0, 4, out), 4u);
    EXPECT_EQ(std::vector<ULONG>(out, out + 4), std::vector<ULONG>(colors, colors + 4));
    // Past the end: only what the palette has.
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(PALOBJ_cGetColors(ppalo, 2, 4, out), 2u);
    EXPECT_EQ(out[0], 0x00FF00u);
    EXPECT_EQ(out[2], 0xEEEEEEEEu);
    EXPECT_EQ(PALOBJ_cGetColors(ppalo, 4, 1, out), 0u);

    const ULONG update[2] = {0x123456, 0x654321};
    EXPECT_EQ(vnx::engine::set_palette_colors(hpal, 3, 2, update), 1u);
    PaletteInfo info{};
    ASSERT_TRUE(vnx::engine::query_palette(hpal, &info));
    EXPECT_EQ(info.iMode, PAL_INDEXED);
    EXPECT_EQ(info.colors[3], 0x123456u);

    EXPECT_TRUE(EngDeletePalette(hpal));
    EXPECT_FALSE(EngDeletePalette(hpal));
    // A PALOBJ of a deleted palette is refused, not followed.
    EXPECT_EQ(PALOBJ_cGetColors(ppalo, 0, 1, out), 0u);
    EXPECT_EQ(vnx::engine::palette_object(hpal), nullptr);
}

TEST_F(EngineObjects, BitFieldAndBadPalettes) {
    HPALETTE hpal = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0x7C00, 0x03E0, 0x001F);
    ASSERT_NE(hpal, nullptr);
    PaletteInfo info{};
    ASSERT_TRUE(vnx::engine::query_palette(hpal, &info));
    EXPECT_EQ(info.flRed, 0x7C00u);
    EXPECT_EQ(info.flBlue, 0x001Fu);
    ULONG out = 0;
    EXPECT_EQ(PALOBJ_cGetColors(vnx::engine::palette_object(hpal), 0, 1, &out), 0u);
    EXPECT_TRUE(EngDeletePalette(hpal));

    EXPECT_EQ(EngCreatePalette(PAL_INDEXED, 0, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(EngCreatePalette(PAL_INDEXED, 257, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(EngCreatePalette(0x40, 0, nullptr, 0, 0, 0), nullptr);
}

// Every service that can fail answers its failure value when its point is
// armed, and counts the call.
TEST_F(EngineObjects, EveryServiceCanBeFailed) {
    HSURF hBitmap = EngCreateBitmap(SIZEL{4, 4}, 0, BMF_8BPP, 0, nullptr);
    HPALETTE hpal = EngCreatePalette(PAL_INDEXED, 2, nullptr, 0, 0, 0);
    ASSERT_NE(hBitmap, nullptr);
    ASSERT_NE(hpal, nullptr);
    PALOBJ* ppalo = vnx::engine::palette_object(hpal);
    ULONG out[2];

    struct Row {
        const char* point;
        bool (*call)(HSURF, PALOBJ*, ULONG*);
    };
    const Row rows[] = {
        {"EngCreateBitmap",
         [](HSURF, PALOBJ*, ULONG*) {
             return EngCreateBitmap(SIZEL{4, 4}, 0, BMF_8BPP, 0, nullptr) != nullptr;
         }},
        {"EngCreateDeviceSurface",
         [](HSURF, PALOBJ*, ULONG*) {
             return EngCreateDeviceSurface(nullptr, SIZEL{4, 4}, BMF_8BPP) != nullptr;
         }},
        {"EngCreateDeviceBitmap",
         [](HSURF, PALOBJ*, ULONG*) {
             return EngCreateDeviceBitmap(nullptr, SIZEL{4, 4}, BMF_8BPP) != nullptr;
         }},
        {"EngCreatePalette",
         [](HSURF, PALOBJ*, ULONG*) {
             return EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 1, 2, 4) != nullptr;
         }},
        {"EngLockSurface", [](HSURF h, PALOBJ*, ULONG*) { return EngLockSurface(h) != nullptr; }},
        {"EngAssociateSurface",
         [](HSURF h, PALOBJ*, ULONG*) { return EngAssociateSurface(h, nullptr, 0) != FALSE; }},
        {"PALOBJ_cGetColors",
         [](HSURF, PALOBJ* p, ULONG* o) { return PALOBJ_cGetColors(p, 0, 2, o) != 0; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.point);
        vnx::faults::clear();
        vnx::faults::arm(row.point);
        const size_t surfaces = vnx::engine::live_surfaces();
        const size_t palettes = vnx::engine::live_palettes();
        EXPECT_FALSE(row.call(hBitmap, ppalo, out));
        EXPECT_EQ(vnx::faults::calls(row.point), 1);
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
        EXPECT_EQ(vnx::engine::live_palettes(), palettes);
    }
    vnx::faults::clear();
    SurfaceInfo info{};
    ASSERT_TRUE(vnx::engine::query_surface(hBitmap, &info));
    EXPECT_EQ(info.cLocks, 0);
    EXPECT_TRUE(EngDeleteSurface(hBitmap));
    EXPECT_TRUE(EngDeletePalette(hpal));
}

}  // namespace
