// The disassembler: the text of known words, and its round trip through a
// small assembler of the tests' own, over every word the emitters place and
// over arbitrary words.
#include "gl/server/lgi/kz2/kz2_fixture.h"

#include <random>

#include "kz2/ucode/kzdisasm.h"

using namespace kz2_test;

namespace {

std::string Text(ULONG w) {
    char sz[96];
    const int n = kzDisassemble(w, sz, sizeof sz);
    EXPECT_LT(n, static_cast<int>(sizeof sz));
    return sz;
}

TEST(KzDisasm, KnownWords) {
    const std::pair<ULONG, const char*> cases[] = {
        {0x00360348u, "copy px0, rgb0"},          // the dither-matrix load
        {0x10360348u, "copy px0, rgb0 clip"},
        {0x303B0221u, "lt.cc0 pr8, z1, c0 clip if cc0"},
        {W(0x16, 14, 27, 14) | 0x40000000u, "addc.cc1 px1, rgb0, px1 if cc1"},
        {W(0x1B, 8, 14, 39), "cmpgt.cc2 pr8, px1, c7"},
        {W(0x0B, 0, 0, 0), "ccop0.cc0 pr0, pr0, pr0"},
        {W(0x2F, 9, 33, 9) | 0x00800000u, "gt.cc2 pr9, c1, pr9 join"},
        {W(0x07, 12, 32, 0), "not pattern, c0"},
        {W(0x07, 12, 32, 31), "not pattern, c0, r31"},
        {W(0x08, 27, 28, 0), "copy u, z0"},
        {W(0x1F, 28, 30, 63), "addw v, z2, r63"},
        {W(0x32, 8, 15, 0) | 0x06000000u, "texel pr8, px2, pr0 stipple"},
        {W(0x04, 1, 2, 3) | 0x02000000u | 0x08000000u, "op04 pr1, pr2, pr3 bit25 bit27"},
        {W(0x3F, 31, 40, 42) | 0x01000000u | 0x04000000u | 0xE0000000u,
         "op3f r31, r40, r42 clamp bit26 if cc0 if cc1 if cc2"},
    };
    for (const auto& [w, text] : cases) EXPECT_EQ(Text(w), text) << std::hex << w;
}

TEST(KzDisasm, CutToTheBuffer) {
    char sz[8];
    EXPECT_EQ(kzDisassemble(0x303B0221u, sz, sizeof sz), 30);
    EXPECT_STREQ(sz, "lt.cc0 ");
}

// Every word a program of the emitters holds comes back from its text.
class KzDisasmRoundTrip : public Kz2Test {
  protected:
    void ExpectRoundTrip() {
        for (ULONG w : Words()) EXPECT_EQ(ulAssemble(Text(w)), w) << Text(w);
    }
};

TEST_F(KzDisasmRoundTrip, EmittedWords) {
    const kzuCCDesc* ccs[3] = {&kzuCCDescs[0], &kzuCCDescs[1], &kzuCCDescs[2]};
    for (ULONG func = 0; func < 8; ++func) {
        _kzuAlphaTest(&prog_, func, 27, 33, t1, clip | ifcc0, ccs[func % 3], zero);
        _kzuDepthTest(&prog_, func, 28, 15, 15, t1, clip | ifcc0 | 0x00800000u, ccs[(func + 1) % 3], zero);
        _kzuStencilTest(&prog_, func, 16, 33, 34, t1, t2, clip | 0x06000000u, ccs[(func + 2) % 3], zero);
    }
    ExpectRoundTrip();
    for (ULONG op = 0; op < 19; ++op) {
        Restart();
        _kzuLogicOp(&prog_, op, s, d, t1, t2, clip, zero);
        _kzuLogicOpMasked(&prog_, op, s, d, t1, t2, clip, zero, mask);
        _kzuLogicOpOneBit(&prog_, op, low, bit, s, d, t1, t2, clip, zero);
        for (ULONG st = 0; st < 6; ++st) _kzuStencilUpdate(&prog_, st, 33, 16, 35, clip | ifcc2, zero);
        ExpectRoundTrip();
    }
    vnx::debug::clear();
}

TEST(KzDisasm, ArbitraryWordsRoundTrip) {
    std::mt19937 rng(101);
    for (int i = 0; i < 20000; ++i) {
        const ULONG w = rng();
        ASSERT_EQ(ulAssemble(Text(w)), w) << Text(w);
    }
}

}  // namespace
