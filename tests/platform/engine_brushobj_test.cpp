// Brush objects: realization through the driver's DrvRealizeBrush (what it
// is handed, when it is called, what it may answer), the realization's
// memory, and the engine's own copy of the pattern.
#include <gtest/gtest.h>

#include "engine_fakedev.h"

namespace {

using ref::Bitmap;

class EngineBrush : public ref::FakeDeviceTest {};

TEST_F(EngineBrush, RealizedOnceThroughTheDriver) {
    Bitmap pattern(8, 8, BMF_4BPP, false), mask(8, 8, BMF_1BPP);
    pattern.randomize(1);
    mask.randomize(2);
    ULONG vector[16];
    for (ULONG i = 0; i < 16; ++i) vector[i] = 0x10 + i;
    ref::Xlate xlate(vnx::engine::create_xlate_vector(vector, 16));
    vnx::engine::BrushDesc d;
    d.psoTarget = drv_->psoScreen;
    d.psoPattern = pattern.pso;
    d.psoMask = mask.pso;
    d.pxlo = xlate.get();
    d.iHatch = 3;
    ref::Brush brush(vnx::engine::create_brush(d));
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(brush->pvRbrush, nullptr);

    void* pv = BRUSHOBJ_pvGetRbrush(brush.get());
    ASSERT_NE(pv, nullptr);
    EXPECT_EQ(static_cast<ULONG*>(pv)[0], 0xB0B0CAFEu);
    EXPECT_EQ(static_cast<ULONG*>(pv)[1], 3u);
    EXPECT_EQ(brush->pvRbrush, pv);
    ASSERT_EQ(drv_->realizations.size(), 1u);
    const FakeRealize& r = drv_->realizations[0];
    EXPECT_EQ(r.pbo, brush.get());
    EXPECT_EQ(r.psoTarget, drv_->psoScreen);
    EXPECT_EQ(r.iHatch, 3u);
    // The driver sees a copy of the pattern as it was given, with its mask
    // and translation.
    ASSERT_TRUE(r.bPattern);
    EXPECT_EQ(r.iPatternFormat, BMF_4BPP);
    EXPECT_EQ(r.sizlPattern.cx, 8);
    EXPECT_EQ(r.sizlPattern.cy, 8);
    const BYTE* first = static_cast<const BYTE*>(pattern.pso->pvScan0);
    EXPECT_EQ(r.firstRow, std::vector<BYTE>(first, first + 4));
    EXPECT_TRUE(r.bMask);
    EXPECT_EQ(r.xlate, std::vector<ULONG>(vector, vector + 16));

    // Realized once: later calls answer the same block.
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(brush.get()), pv);
    EXPECT_EQ(drv_->realizations.size(), 1u);
}

TEST_F(EngineBrush, ADitheredColourIsMadeFromTheColourAlone) {
    Bitmap own(1, 1, BMF_8BPP);  // what the engine itself would draw
    vnx::engine::BrushDesc d;
    d.psoTarget = drv_->psoScreen;
    d.psoPattern = own.pso;
    d.iHatch = RB_DITHERCOLOR | 0x123456;
    ref::Brush brush(vnx::engine::create_brush(d));
    ASSERT_NE(BRUSHOBJ_pvGetRbrush(brush.get()), nullptr);
    ASSERT_EQ(drv_->realizations.size(), 1u);
    EXPECT_EQ(drv_->realizations[0].iHatch, RB_DITHERCOLOR | 0x123456);
    EXPECT_FALSE(drv_->realizations[0].bPattern);
}

TEST_F(EngineBrush, NoRealizationWhenNoneIsMade) {
    Bitmap pattern(8, 8, BMF_1BPP), host(8, 8, BMF_8BPP);
    vnx::engine::BrushDesc d;
    d.psoTarget = drv_->psoScreen;
    d.psoPattern = pattern.pso;
    struct Row {
        const char* what;
        void (*setup)(FakeDrv&);
        const char* fault;
        size_t cRealizations;
    };
    const Row rows[] = {
        {"the driver refuses", [](FakeDrv& s) { s.failRealizeBrush = true; }, nullptr, 1},
        {"the driver allocates nothing", [](FakeDrv& s) { s.realizeWithoutMemory = true; }, nullptr, 1},
        {"no memory for it", [](FakeDrv&) {}, "BRUSHOBJ_pvAllocRbrush", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        drv_->realizations.clear();
        drv_->failRealizeBrush = drv_->realizeWithoutMemory = false;
        row.setup(*drv_);
        vnx::faults::clear();
        if (row.fault) vnx::faults::arm(row.fault);
        ref::Brush brush(vnx::engine::create_brush(d));
        EXPECT_EQ(BRUSHOBJ_pvGetRbrush(brush.get()), nullptr);
        EXPECT_EQ(brush->pvRbrush, nullptr);
        EXPECT_EQ(drv_->realizations.size(), row.cRealizations);
        // The next call asks the driver again.
        drv_->failRealizeBrush = drv_->realizeWithoutMemory = false;
        EXPECT_NE(BRUSHOBJ_pvGetRbrush(brush.get()), nullptr);
        EXPECT_EQ(drv_->realizations.size(), row.cRealizations + 1);
    }

    // Nothing to realize, or nobody to ask: the driver is not called.
    drv_->realizations.clear();
    vnx::engine::BrushDesc solid;
    solid.iSolidColor = 5;
    solid.psoTarget = drv_->psoScreen;
    vnx::engine::BrushDesc hostTarget = d;
    hostTarget.psoTarget = host.pso;
    vnx::engine::BrushDesc noTarget = d;
    noTarget.psoTarget = nullptr;
    for (const auto& desc : {solid, hostTarget, noTarget}) {
        ref::Brush brush(vnx::engine::create_brush(desc));
        ASSERT_NE(brush, nullptr);
        EXPECT_EQ(BRUSHOBJ_pvGetRbrush(brush.get()), nullptr);
    }
    EXPECT_TRUE(drv_->realizations.empty());
    BRUSHOBJ foreign{0xFFFFFFFF, nullptr};
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(&foreign), nullptr);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(nullptr), nullptr);
}

TEST_F(EngineBrush, RealizationMemory) {
    vnx::engine::BrushDesc d;
    d.iSolidColor = 1;
    ref::Brush brush(vnx::engine::create_brush(d));
    BYTE* pv = static_cast<BYTE*>(BRUSHOBJ_pvAllocRbrush(brush.get(), 276));
    ASSERT_NE(pv, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pv) % 8, 0u);
    for (int i = 0; i < 276; ++i) ASSERT_EQ(pv[i], 0) << i;
    std::memset(pv, 0xFF, 276);  // the memory is the brush's, whole
    EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(brush.get(), 0), nullptr);
    EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(brush.get(), 0x80000000u), nullptr);
    BRUSHOBJ foreign{0, nullptr};
    EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(&foreign, 16), nullptr);
    // A deleted brush is refused, not followed.
    BRUSHOBJ* stale = brush.get();
    brush.reset();
    EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(stale, 16), nullptr);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(stale), nullptr);
}

TEST_F(EngineBrush, TheEngineDrawsWithItsOwnCopy) {
    Bitmap pattern(2, 2, BMF_8BPP), dst(4, 2, BMF_8BPP);
    pattern.set(0, 0, 1);
    pattern.set(1, 0, 2);
    pattern.set(0, 1, 3);
    pattern.set(1, 1, 4);
    vnx::engine::BrushDesc d;
    d.psoPattern = pattern.pso;
    ref::Brush brush(vnx::engine::create_brush(d));
    pattern.set(0, 0, 99);  // later changes to the caller's bitmap do not count
    RECTL rcl{0, 0, 4, 2};
    POINTL org{1, 0};
    ASSERT_TRUE(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr,
                          brush.get(), &org, 0xF0F0));
    EXPECT_EQ(dst.pixels(), (std::vector<ULONG>{2, 1, 2, 1, 4, 3, 4, 3}));
}

TEST_F(EngineBrush, RefusesPatternsItCannotRead) {
    Bitmap pattern(8, 8, BMF_8BPP), mask4(8, 4, BMF_1BPP), mask8(8, 8, BMF_8BPP);
    XLATEOBJ unreadable{};
    unreadable.flXlate = XO_TABLE;  // and no vector
    struct Row {
        const char* what;
        SURFOBJ* psoPattern;
        SURFOBJ* psoMask;
        XLATEOBJ* pxlo;
    };
    const Row rows[] = {
        {"pattern on the device", drv_->psoScreen, nullptr, nullptr},
        {"mask of another size", pattern.pso, mask4.pso, nullptr},
        {"mask not 1 bpp", pattern.pso, mask8.pso, nullptr},
        {"unreadable translation", pattern.pso, nullptr, &unreadable},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        vnx::engine::BrushDesc d;
        d.psoPattern = row.psoPattern;
        d.psoMask = row.psoMask;
        d.pxlo = row.pxlo;
        EXPECT_EQ(vnx::engine::create_brush(d), nullptr);
    }
}

}  // namespace
