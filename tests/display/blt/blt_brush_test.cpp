// DrvRealizeBrush: device-format, 1-bpp and 4-bpp patterns, translations,
// row order, the realization numbers and the refusals.
#include "display/blt/blt_fixture.h"

namespace vnx::test {
namespace {

class BltBrush : public BltTest {
  protected:
    // Realizes a brush of the pattern through the engine's entry point.
    REALBRUSH* Realize(SURFOBJ* pat, XLATEOBJ* pxlo = nullptr) {
        vnx::engine::BrushDesc d;
        d.psoTarget = screen_;
        d.psoPattern = pat;
        d.pxlo = pxlo;
        BRUSHOBJ* pbo = Brush(d);
        return pbo != nullptr ? static_cast<REALBRUSH*>(BRUSHOBJ_pvGetRbrush(pbo)) : nullptr;
    }
};

TEST_F(BltBrush, DevicePatternsKeepTheirRowsTopFirst) {
    BootBlt(1, 16);
    for (bool bottomUp : {false, true}) {
        SURFOBJ* pat = Host(8, 8, BMF_16BPP, bottomUp);
        RandomHost(pat, 3);
        REALBRUSH* prb = Realize(pat);
        ASSERT_NE(prb, nullptr);
        EXPECT_EQ(prb->fl, REALBRUSH_PIXELS);
        for (LONG y = 0; y < 8; ++y)
            EXPECT_EQ(0, std::memcmp(prb->ajPattern + 16 * y, Row(pat, y), 16)) << y;
    }
}

TEST_F(BltBrush, MonoPatternsTakeTheirColoursFromTheTranslation) {
    BootBlt(1, 32);
    SURFOBJ* pat = Host(8, 8, BMF_1BPP);
    for (LONG y = 0; y < 8; ++y) Row(pat, y)[0] = static_cast<BYTE>(0x11 * y + 1);
    REALBRUSH* prb = Realize(pat, Vector({0xABCDEF, 0x123456}));
    ASSERT_NE(prb, nullptr);
    EXPECT_EQ(prb->fl, REALBRUSH_MONO);
    EXPECT_EQ(prb->ulForeColor, 0x123456u);
    EXPECT_EQ(prb->ulBackColor, 0xABCDEFu);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(prb->ajPattern[2 * y], 0x11 * y + 1);
        EXPECT_EQ(prb->ajPattern[2 * y + 1], 0x11 * y + 1);
    }
    // Without a translation the values 1 and 0 pass unchanged.
    prb = Realize(pat);
    ASSERT_NE(prb, nullptr);
    EXPECT_EQ(prb->ulForeColor, 1u);
    EXPECT_EQ(prb->ulBackColor, 0u);
}

TEST_F(BltBrush, FourBitPatternsOnlyOnEightBitDevices) {
    BootBlt(1, 8);
    SURFOBJ* pat = Host(8, 8, BMF_4BPP);
    for (LONG y = 0; y < 8; ++y)
        for (int i = 0; i < 4; ++i) Row(pat, y)[i] = static_cast<BYTE>((y + i) << 4 | (15 - i));
    std::vector<ULONG> v(16);
    for (ULONG i = 0; i < 16; ++i) v[i] = 0x100 | (i * 16 + 3);  // only the low byte counts
    REALBRUSH* prb = Realize(pat, Vector(v));
    ASSERT_NE(prb, nullptr);
    for (int y = 0; y < 8; ++y)
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(prb->ajPattern[8 * y + 2 * i], ((y + i) & 15) * 16 + 3);
            EXPECT_EQ(prb->ajPattern[8 * y + 2 * i + 1], (15 - i) * 16 + 3);
        }
    // A short vector translates what lies past it to 0.
    prb = Realize(pat, Vector({5, 6}));
    ASSERT_NE(prb, nullptr);
    EXPECT_EQ(prb->ajPattern[1], 0);
    // An 8-bit pattern through a table on an 8-bit device.
    SURFOBJ* pat8 = Host(8, 8, BMF_8BPP);
    RandomHost(pat8, 9);
    std::vector<ULONG> table(256);
    for (ULONG i = 0; i < 256; ++i) table[i] = 255 - i;
    prb = Realize(pat8, Vector(table));
    ASSERT_NE(prb, nullptr);
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x) EXPECT_EQ(prb->ajPattern[8 * y + x], 255 - Row(pat8, y)[x]);
}

TEST_F(BltBrush, RefusalsAndNumbers) {
    BootBlt(1, 16);
    SURFOBJ* pat4 = Host(8, 8, BMF_4BPP);
    SURFOBJ* pat16 = Host(8, 8, BMF_16BPP);
    SURFOBJ* big = Host(16, 8, BMF_16BPP);
    SURFOBJ* pat32 = Host(8, 8, BMF_32BPP);
    EXPECT_EQ(Realize(pat4, Vector(std::vector<ULONG>(16, 1))), nullptr);  // 4 bpp on 16 bpp
    EXPECT_EQ(Realize(big), nullptr);                                      // not 8 x 8
    EXPECT_EQ(Realize(pat32, Vector(std::vector<ULONG>(1, 1))), nullptr);  // another depth
    // A translated device-format pattern on a device deeper than 8 bits.
    EXPECT_EQ(Realize(pat16, Vector(std::vector<ULONG>(256, 1))), nullptr);
    {
        vnx::faults::Scope scope;
        vnx::faults::arm("BRUSHOBJ_pvAllocRbrush", 0, 1);
        EXPECT_EQ(Realize(pat16), nullptr);
    }
    REALBRUSH* a = Realize(pat16);
    REALBRUSH* b = Realize(pat16);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->iUniq, 0u);
    EXPECT_NE(a->iUniq, b->iUniq);
}

}  // namespace
}  // namespace vnx::test
