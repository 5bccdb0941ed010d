// The fragment test emitters and the stencil updates, word for word: every
// comparison code of the alpha, depth and stencil tests and their inverted
// forms, and every stencil operation.
#include "gl/server/lgi/kz2/kz2_fixture.h"

using namespace kz2_test;

namespace {

using WordList = std::vector<ULONG>;
constexpr ULONG join = 0x00800000u;

class KzTestsTest : public Kz2Test {};

// Alpha: fragment alpha in rgb0, the reference in c1, results into pr8,
// on cc0, under the clip and cc0.
TEST_F(KzTestsTest, AlphaTestByFunction) {
    constexpr ULONG A = 27, B = 33, R = t1, bits = clip | ifcc0;
    const WordList expected[9] = {
        {W(0x25, R, R, R)},                          // never: R > R
        {W(0x21, R, A, B)},                          // less
        {W(0x23, R, A, B)},                          // equal
        {W(0x22, R, A, B)},                          // less-or-equal
        {W(0x25, R, A, B)},                          // greater
        {W(0x02, R, A, B), W(0x25, R, R, zero)},     // not-equal: xor, then greater than 0
        {W(0x24, R, A, B)},                          // greater-or-equal
        {W(0x23, R, R, R)},                          // always: R == R
        {},                                          // no such function
    };
    for (ULONG func = 0; func < 9; ++func) {
        Restart();
        _kzuAlphaTest(&prog_, func, A, B, R, bits, &kzuCCDescs[0], zero);
        WordList want = expected[func];
        for (ULONG& w : want) w |= bits;
        EXPECT_EQ(Words(), want) << "function " << func;
    }
    EXPECT_EQ(vnx::debug::take(), "") << "an unknown function is not reported";
}

// The alpha test with a constant in its B field: the operand takes bit 16.
TEST_F(KzTestsTest, AlphaAgainstAConstant) {
    _kzuAlphaTest(&prog_, KZ_LESS, KZU_z1, KZU_constant_0, KZU_pr8, clip | ifcc0, &kzuCCDescs[0], zero);
    EXPECT_EQ(prog_.instr[0], 0x303B0221u);
}

// Depth on cc1, fragment depth z0 against the depth pixmap px2, which also
// takes the result (writes on); scratch pr8.
constexpr ULONG dA = 28, dB = 15, dR = 15, dS = t1, dBits = clip | ifcc0 | join;
WordList DepthWords(ULONG func, ULONG R = dR) {
    const WordList table[9] = {
        {W(0x2A, dS, dS, dS) | dBits},  // never: scratch > scratch
        {W(0x26, R, dA, dB) | dBits},
        {W(0x28, R, dA, dB) | dBits},
        {W(0x27, R, dA, dB) | dBits},
        {W(0x2A, R, dA, dB) | dBits},
        {W(0x02, dS, dA, dB) | (dBits & ~ifcc0), W(0x2A, dS, dS, zero) | dBits, W(0x08, R, dA, 0) | dBits},
        {W(0x29, R, dA, dB) | dBits},
        {W(0x28, R, dA, dA) | dBits},  // always: the depth equals itself, so it is written
        {},
    };
    return table[func];
}

TEST_F(KzTestsTest, DepthTestByFunction) {
    for (ULONG func = 0; func < 9; ++func) {
        Restart();
        _kzuDepthTest(&prog_, func, dA, dB, dR, dS, dBits, &kzuCCDescs[1], zero);
        EXPECT_EQ(Words(), DepthWords(func)) << "function " << func;
    }
    // Writes off: the result field names a work register, never the pixmap.
    Restart();
    _kzuDepthTest(&prog_, KZ_LESS, dA, dB, KZU_pr10, dS, dBits, &kzuCCDescs[1], zero);
    EXPECT_EQ(Words(), DepthWords(KZ_LESS, KZU_pr10));
}

TEST_F(KzTestsTest, InvertedDepthTestIsTheMirroredCode) {
    for (ULONG func = 0; func < 9; ++func) {
        Restart();
        _kzuDepthNotTest(&prog_, func, dA, dB, dR, dS, dBits, &kzuCCDescs[1], zero);
        EXPECT_EQ(Words(), DepthWords(func < 8 ? 7 - func : func))
            << "function " << func;
    }
}

TEST_F(KzTestsTest, DepthTestOnItsOwn) {
    kzAllocRegisterResource(nullptr, &prog_, KZ_RES_WORK, KZ_BLEND);  // reset away
    _kzuDepthTestOnly(&prog_, nullptr, KZ_LESS, dA, dB, dR, clip);
    EXPECT_EQ(prog_.constantCount, 1u);
    EXPECT_EQ(prog_.constants[0], 0u);
    EXPECT_EQ(Words(), (WordList{W(0x21, dR, dA, dB) | clip}));
    EXPECT_EQ(kzRegisterUseCount(KZU_pr0), 1) << "its work register, after the reset";
    EXPECT_EQ(kzRegisterClaimant(KZU_cc0, 0), ULONG{KZ_RGBA_UPDATE});
    EXPECT_EQ(kzRegisterClaimant(KZU_constant_0, 0), ULONG{KZ_STIPPLE_TEST});
    Restart();
    _kzuDepthTestOnly(&prog_, nullptr, KZ_NEVER, dA, dB, dR, clip);
    EXPECT_EQ(prog_.instr[0], W(0x25, KZU_pr0, KZU_pr0, KZU_pr0) | clip);
}

// Stencil on cc2: the stencil pixmap px3, ref & mask in c1, the mask in c2,
// results into pr8 and the masked stencil into pr9. The predicate bits the
// caller passes are dropped; join and clip stay.
constexpr ULONG sS = 16, sRef = 33, sMask = 34, sR = t1, sT = t2, sBits = clip | join | ifcc1;
constexpr ULONG sKept = clip | join;
WordList StencilWords(ULONG func) {
    const WordList table[9] = {
        {W(0x2F, sR, sRef, sRef)},
        {W(0x2B, sR, sRef, sT)},
        {W(0x2D, sR, sRef, sT)},
        {W(0x2C, sR, sRef, sT)},
        {W(0x2F, sR, sRef, sT)},
        {W(0x02, sR, sRef, sT), W(0x2F, sT, sR, zero)},
        {W(0x2E, sR, sRef, sT)},
        {W(0x2D, sR, sRef, sRef)},
        {},
    };
    WordList w{W(0x00, sT, sS, sMask)};  // the masked stencil first, always
    w.insert(w.end(), table[func].begin(), table[func].end());
    for (ULONG& x : w) x |= sKept;
    return w;
}

TEST_F(KzTestsTest, StencilTestByFunction) {
    for (ULONG func = 0; func < 8; ++func) {
        Restart();
        _kzuStencilTest(&prog_, func, sS, sRef, sMask, sR, sT, sBits, &kzuCCDescs[2], zero);
        EXPECT_EQ(Words(), StencilWords(func)) << "function " << func;
        Restart();
        _kzuStencilNotTest(&prog_, func, sS, sRef, sMask, sR, sT, sBits, &kzuCCDescs[2], zero);
        EXPECT_EQ(Words(), StencilWords(7 - func))
            << "inverted " << func;
    }
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(KzTestsTest, InvalidStencilFunctionKeepsTheMaskingStep) {
    _kzuStencilTest(&prog_, 8, sS, sRef, sMask, sR, sT, sBits, &kzuCCDescs[2], zero);
    EXPECT_EQ(Words(), StencilWords(8));
    EXPECT_EQ(vnx::debug::take(),
              "_kzuStencilTest: XXXX***********************\n"
              "INVALID STENCIL COMPARISON SYMBOLIC CONSTANT\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n");
    Restart();
    _kzuStencilNotTest(&prog_, 9, sS, sRef, sMask, sR, sT, sBits, &kzuCCDescs[2], zero);
    EXPECT_EQ(Words(), StencilWords(8));
    EXPECT_EQ(vnx::debug::take(),
              "_kzuStencilNotTest: XXXX***********************\n"
              "INVALID STENCIL COMPARISON SYMBOLIC CONSTANT\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n"
              "_kzuStencilTest: XXXX***********************\n"
              "INVALID STENCIL COMPARISON SYMBOLIC CONSTANT\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n");
}

TEST_F(KzTestsTest, StencilUpdateByOperation) {
    constexpr ULONG S = 16, ref = 33, one = 35, bits = clip | ifcc0 | ifcc2;  // the caller's predicate stays
    const WordList expected[7] = {
        {},                        // keep
        {W(0x08, S, zero, 0)},     // zero
        {W(0x08, S, ref, 0)},      // replace
        {W(0x09, S, S, one)},      // increment
        {W(0x0A, S, S, one)},      // decrement
        {W(0x07, S, S, 0)},        // invert
        {},                        // no such operation
    };
    for (ULONG op = 0; op < 7; ++op) {
        Restart();
        _kzuStencilUpdate(&prog_, op, ref, S, one, bits, zero);
        WordList want = expected[op];
        for (ULONG& w : want) w |= bits;
        EXPECT_EQ(Words(), want) << "operation " << op;
    }
    EXPECT_EQ(vnx::debug::take(),
              "_kzuStencilUpdate: XXXX***********************\n"
              "INVALID STENCIL UPDATE SYMBOLIC CONSTANT\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n");
}

}  // namespace
