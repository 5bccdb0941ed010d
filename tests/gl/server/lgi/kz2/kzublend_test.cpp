// The blend emitters word for word where the tables print them, the
// placeholder rule, the add steps with and without the maximum colour, the
// saturate factor, the masked blends, and a sweep of every factor pair of
// every table that leaves the allocator as it found it.
#include <memory>

#include "3d/context.h"
#include "kz2_fixture.h"

using namespace kz2_test;

namespace {

using WordList = std::vector<ULONG>;
// Registers: S rgb0, As z1, D px1, Ad px2, F px3, T1 pr8, T2 pr9, Z c0, U c1, O c2, M c3.
constexpr ULONG S = 27, As = 29, D = 14, Ad = 15, F = 16, T1 = 8, T2 = 9, Z = 32, U = 33, O = 34, M = 35;
constexpr ULONG bits = clip | ifcc0;
constexpr ULONG clampBit = 0x01000000u;
// Words of the add steps on cc0 (the first free code).
constexpr ULONG addc0 = 0x10, cmpgt0 = 0x0F;

class KzBlendTest : public Kz2Test {
  protected:
    void SetUp() override {
        Kz2Test::SetUp();
        hw_ = std::make_unique<N_HwRecord>();
        // The driver's claims: pattern with pr0-pr7, four work registers
        // pr8-pr11, so the emitters' own work spills to the scratch pixmap.
        kzAllocRegisterResource(hw_.get(), &prog_, KZ_RES_PATTERN, KZ_RGBA_UPDATE);
        for (int i = 0; i < 4; ++i) kzAllocRegisterResource(hw_.get(), &prog_, KZ_RES_WORK, KZ_BLEND);
    }
    // Use counts of every register the emitters may claim.
    std::vector<LONG> Counts() const {
        std::vector<LONG> v;
        for (ULONG r = 0; r < 43; ++r) v.push_back(kzRegisterUseCount(r));
        return v;
    }
    static WordList Bits(WordList w, ULONG b = bits) {
        for (ULONG& x : w) x |= b;
        return w;
    }
    std::unique_ptr<N_HwRecord> hw_;
};

// sat(A + B) into R on cc0.
WordList Sat(ULONG R, ULONG A, ULONG B) { return {W(addc0, R, A, B), W(0x07, R, Z, 0) | ifcc0}; }

TEST_F(KzBlendTest, AddStepsByMaximumColour) {
    // Table 1: ONE, ONE saturates in two words whatever M is.
    _kzuBlend(hw_.get(), &prog_, 16, KZ_BLEND_ONE, KZ_BLEND_ONE, S, D, T1, T2, bits, Z, U, O, M);
    EXPECT_EQ(Words(), Bits(Sat(D, S, D)));
    // SRC_ALPHA, ONE clamps through the blend stage's scratch pixmap when M
    // is there, placing its pid once.
    Restart();
    const ULONG pids = prog_.pidCount;
    _kzuBlend(hw_.get(), &prog_, 16, KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE, S, D, T1, T2, bits, Z, U, O, M);
    const ULONG W0 = 13 + pids;  // the shared scratch pixmap
    EXPECT_EQ(Words(), Bits({W(addc0, T2, S, D), W(cmpgt0, T2, T2, M) | clampBit | ifcc0, W(0x08, W0, T2, 0),
                             W(0x08, W0, M, 0) | ifcc0, W(0x08, D, W0, 0)}));
    EXPECT_EQ(prog_.pidCount, pids + 1);
    _kzuBlend(hw_.get(), &prog_, 16, KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE, S, D, T1, T2, bits, Z, U, O, M);
    EXPECT_EQ(prog_.pidCount, pids + 1) << "the scratch pixmap is placed once a program";
    // Without M (24 bits and more) the same pair saturates.
    Restart();
    _kzuBlend(hw_.get(), &prog_, 32, KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE, S, D, T1, T2, bits, Z, U, O, 0);
    EXPECT_EQ(Words(), Bits(Sat(D, S, D)));
}

TEST_F(KzBlendTest, PlaceholderAndNothing) {
    _kzuBlend(hw_.get(), &prog_, 16, KZ_BLEND_ZERO, KZ_BLEND_ONE, S, D, T1, T2, bits, Z, U, O, M);
    EXPECT_EQ(Words(), (WordList{KZ_BLEND_PLACEHOLDER})) << "no bits on the placeholder";
    _kzuBlend(hw_.get(), &prog_, 16, KZ_BLEND_ZERO, KZ_BLEND_ONE, S, D, T1, T2, bits, Z, U, O, M);
    EXPECT_EQ(prog_.instrCount, 1u) << "nothing into a program that holds words";
    // A destination factor of DST_COLOR is in no table.
    Restart();
    _kzuBlendDstAlpha(hw_.get(), &prog_, 16, KZ_BLEND_ONE, KZ_BLEND_DST_COLOR, S, As, D, Ad, T1, T2, F, bits, Z, U,
                      O, M);
    EXPECT_EQ(Words(), (WordList{KZ_BLEND_PLACEHOLDER}));
    // DST_COLOR, ONE_MINUS_SRC_COLOR leaves D as it is: a self copy in tables
    // 1 and 2, nothing at all in table 3.
    Restart();
    _kzuBlend(hw_.get(), &prog_, 16, KZ_BLEND_DST_COLOR, KZ_BLEND_ONE_MINUS_SRC_COLOR, S, D, T1, T2, bits, Z, U, O,
              M);
    EXPECT_EQ(Words(), Bits({W(0x08, D, D, 0)}));
    Restart();
    _kzuBlendSrcAlpha(hw_.get(), &prog_, 16, KZ_BLEND_DST_COLOR, KZ_BLEND_ONE_MINUS_SRC_COLOR, S, As, D, T1, T2,
                      bits, Z, U, O, M);
    EXPECT_EQ(prog_.instrCount, 0u);
    // ONE_MINUS_DST_COLOR, SRC_COLOR is D = S in every colour table.
    for (ULONG depth : {8u, 16u}) {
        Restart();
        _kzuBlendSrcAlpha(hw_.get(), &prog_, depth, KZ_BLEND_ONE_MINUS_DST_COLOR, KZ_BLEND_SRC_COLOR, S, As, D, T1,
                          T2, bits, Z, U, O, M);
        EXPECT_EQ(Words(), Bits({W(0x08, D, S, 0)}));
    }
}

TEST_F(KzBlendTest, SourceAlphaForms) {
    // SRC_ALPHA, ONE_MINUS_SRC_ALPHA at 16 bits: four words, a plain add last.
    _kzuBlendSrcAlpha(hw_.get(), &prog_, 16, KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE_MINUS_SRC_ALPHA, S, As, D, T1, T2,
                      bits, Z, U, O, M);
    EXPECT_EQ(Words(), Bits({W(0x0A, T1, U, As), W(0x1D, T2, T1, D), W(0x1D, T1, S, As), W(0x09, D, T1, T2)}));
    // Below 16 bits the offset comes off S and D and goes back on in addK.
    Restart();
    _kzuBlendSrcAlpha(hw_.get(), &prog_, 8, KZ_BLEND_ONE, KZ_BLEND_ONE, S, As, D, T1, T2, bits, Z, U, O, M);
    const ULONG W0 = 13 + prog_.pidCount - 1;
    EXPECT_EQ(Words(), Bits({W(0x0A, T1, S, O), W(0x0A, T2, D, O), W(addc0, W0, T1, T2),
                             W(cmpgt0, D, W0, M) | clampBit | ifcc0, W(0x08, W0, M, 0) | ifcc0, W(0x09, D, W0, O)}));
    // SRC_ALPHA, ONE at 16 bits: the short form with equal channels.
    Restart();
    hw_->grey = 1;
    _kzuBlendSrcAlpha(hw_.get(), &prog_, 16, KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE, S, As, D, T1, T2, bits, Z, U, O, M);
    EXPECT_EQ(Words(), Bits({W(0x1D, T1, S, As), W(addc0, T2, T1, D), W(cmpgt0, D, T2, M) | clampBit,
                             W(0x08, D, M, 0) | ifcc0}));
    hw_->grey = 0;
    Restart();
    _kzuBlendSrcAlpha(hw_.get(), &prog_, 16, KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE, S, As, D, T1, T2, bits, Z, U, O, M);
    EXPECT_EQ(prog_.instrCount, 6u) << "the temporary form without equal channels";
}

TEST_F(KzBlendTest, SaturateFactorAndAlphaBuffer) {
    _kzuBlendSaturateFactor(&prog_, As, Ad, F, T1, clip, U);
    EXPECT_EQ(Words(), Bits({W(0x08, T1, Ad, 0), W(0x0A, Ad, U, Ad), W(0x0B, Ad, As, Ad) | ifcc0, W(0x08, F, Ad, 0),
                             W(0x08, Ad, T1, 0)},
                            clip));
    EXPECT_EQ(kzRegisterUseCount(KZU_cc0), 0);
    Restart();
    _kzuBlendDstAlpha(hw_.get(), &prog_, 16, KZ_BLEND_SRC_ALPHA_SATURATE, KZ_BLEND_ZERO, S, As, D, Ad, T1, T2, F,
                      bits, Z, U, O, M);
    EXPECT_EQ(Words(), Bits({W(0x1D, D, S, F)}));
    Restart();
    _kzuBlendAlphaBuffer(hw_.get(), &prog_, 16, KZ_BLEND_ONE_MINUS_DST_ALPHA, KZ_BLEND_ONE_MINUS_SRC_COLOR, As, Ad,
                         T1, T2, bits, Z, U, O, M);
    WordList want = {W(0x1D, T1, As, Ad), W(0x0A, T2, As, T1), W(0x0A, T1, Ad, T1)};
    for (ULONG w : Sat(Ad, T1, T2)) want.push_back(w);
    EXPECT_EQ(Words(), Bits(want));
}

// Every pair of every table at every depth gives back what it claims; the
// pairs that would hold two scratch values at once are the ones that name
// both V1 and V2, below 16 bits.
TEST_F(KzBlendTest, EveryPairLeavesTheAllocator) {
    const auto before = Counts();
    for (ULONG table = 0; table < 4; ++table) {
        for (ULONG depth : {8u, 16u, 32u}) {
            for (ULONG sf = 0; sf <= 10; ++sf) {
                for (ULONG df = 0; df <= 10; ++df) {
                    kzResetRegisterResources();
                    kzSetBuildPids(0x41, 0x2003);
                    Restart();
                    kzAllocRegisterResource(hw_.get(), &prog_, KZ_RES_PATTERN, KZ_RGBA_UPDATE);
                    for (int i = 0; i < 4; ++i) kzAllocRegisterResource(hw_.get(), &prog_, KZ_RES_WORK, KZ_BLEND);
                    const ULONG Mv = depth >= 24 ? 0 : M;
                    switch (table) {
                    case 0: _kzuBlend(hw_.get(), &prog_, depth, sf, df, S, D, T1, T2, bits, Z, U, O, Mv); break;
                    case 1:
                        _kzuBlendDstAlpha(hw_.get(), &prog_, depth, sf, df, S, As, D, Ad, T1, T2, F, bits, Z, U, O, Mv);
                        break;
                    case 2: _kzuBlendSrcAlpha(hw_.get(), &prog_, depth, sf, df, S, As, D, T1, T2, bits, Z, U, O, Mv); break;
                    default: _kzuBlendAlphaBuffer(hw_.get(), &prog_, depth, sf, df, As, Ad, T1, T2, bits, Z, U, O, Mv);
                    }
                    const std::string where = "table " + std::to_string(table) + " depth " +
                                              std::to_string(depth) + " pair " + std::to_string(sf) + "," +
                                              std::to_string(df);
                    EXPECT_EQ(Counts(), before) << where;
                    EXPECT_LE(prog_.instrCount, 10u) << where;
                    const bool bTwoV = table == 2 && depth < 16 &&
                                       ((sf == KZ_BLEND_ONE_MINUS_DST_COLOR &&
                                         (df == KZ_BLEND_SRC_ALPHA || df == KZ_BLEND_ONE_MINUS_SRC_ALPHA ||
                                          df == KZ_BLEND_ONE_MINUS_SRC_COLOR)) ||
                                        (sf == KZ_BLEND_ONE_MINUS_SRC_ALPHA &&
                                         (df == KZ_BLEND_ONE_MINUS_SRC_ALPHA || df == KZ_BLEND_ONE_MINUS_SRC_COLOR)));
                    EXPECT_EQ(kzAllocConflict() != 0, bTwoV) << where;
                }
            }
        }
    }
    vnx::debug::clear();
}

// --- masked blends --------------------------------------------------------------------------
constexpr ULONG pr11 = 11;
WordList Merge() { return {W(0x00, T1, T1, mask), W(0x05, T2, D, mask), W(0x01, D, T1, T2)}; }
// _kzuAdd(x, y) into T1 with D saved in T2, on cc0.
WordList Add(ULONG x, ULONG y) {
    return {W(0x08, T2, D, 0), W(addc0, D, x, y), W(0x07, D, Z, 0) | ifcc0, W(0x08, T1, D, 0), W(0x08, D, T2, 0)};
}
WordList Cat(std::initializer_list<WordList> parts) {
    WordList out;
    for (const WordList& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(KzBlendTest, MaskedBlends) {
    struct Case {
        int variant;  // 0 no alpha, 1 source alpha, 2 alpha buffer
        ULONG sf, df;
        WordList words;
    };
    const Case cases[] = {
        {2, KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE_MINUS_SRC_ALPHA,
         Cat({{W(0x1D, T1, S, As), W(0x1D, T2, As, D), W(0x0A, pr11, D, T2)}, Add(T1, pr11), Merge()})},
        {0, KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE_MINUS_SRC_ALPHA, Cat({{W(0x08, T1, S, 0)}, Merge()})},
        {0, KZ_BLEND_ONE, KZ_BLEND_ZERO, Cat({{W(0x08, T1, S, 0)}, Merge()})},
        {1, KZ_BLEND_ZERO, KZ_BLEND_ONE, Cat({{W(0x08, T1, D, 0)}, Merge()})},
        {0, KZ_BLEND_ZERO, KZ_BLEND_ZERO, Cat({{W(0x08, T1, Z, 0)}, Merge()})},
        {0, KZ_BLEND_ONE, KZ_BLEND_ONE, Cat({Add(S, D), Merge()})},
        {1, KZ_BLEND_SRC_ALPHA_SATURATE, KZ_BLEND_ONE, Cat({{W(0x08, T1, D, 0)}, Merge()})},
        {2, KZ_BLEND_SRC_ALPHA_SATURATE, KZ_BLEND_ONE, Cat({{W(0x1D, T1, S, F)}, Add(T1, D), Merge()})},
        {1, KZ_BLEND_ONE, KZ_BLEND_ONE_MINUS_SRC_ALPHA,
         Cat({{W(0x1D, T1, As, D), W(0x0A, T1, D, T1)}, Add(T1, S), Merge()})},
        {0, KZ_BLEND_DST_COLOR, KZ_BLEND_SRC_COLOR, Cat({{W(0x1D, T1, S, D)}, Add(T1, T1), Merge()})},
        {0, KZ_BLEND_DST_COLOR, KZ_BLEND_ONE_MINUS_SRC_COLOR, Cat({{W(0x08, T1, D, 0)}, Merge()})},
        {1, KZ_BLEND_ONE_MINUS_DST_COLOR, KZ_BLEND_SRC_COLOR, Cat({{W(0x08, T1, S, 0)}, Merge()})},
        {2, KZ_BLEND_ONE_MINUS_DST_COLOR, KZ_BLEND_ONE_MINUS_SRC_COLOR,
         Cat({{W(0x1D, T1, S, D), W(0x0A, pr11, S, T1), W(0x0A, T1, D, T1)}, Add(T1, pr11), Merge()})},
        {0, KZ_BLEND_ONE, KZ_BLEND_DST_COLOR, Cat({{KZ_BLEND_PLACEHOLDER & ~bits}, Merge()})},
    };
    for (const Case& c : cases) {
        Restart();
        switch (c.variant) {
        case 0: _kzuBlendMask(&prog_, c.sf, c.df, S, D, T1, T2, bits, Z, mask); break;
        case 1: _kzuBlendMaskSrcAlpha(&prog_, c.sf, c.df, S, As, D, T1, T2, bits, Z, mask); break;
        default: _kzuBlendMaskDstAlpha(&prog_, c.sf, c.df, S, As, D, Ad, T1, T2, F, bits, Z, mask);
        }
        WordList want = Bits(c.words);
        if (c.df == KZ_BLEND_DST_COLOR) want[0] = KZ_BLEND_PLACEHOLDER;
        EXPECT_EQ(Words(), want) << "variant " << c.variant << " pair " << c.sf << "," << c.df;
        EXPECT_EQ(kzRegisterUseCount(KZU_cc0), 0);
    }
}

}  // namespace
