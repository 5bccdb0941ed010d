// The blend emitters word for word where the tables print them, the
// placeholder rule, the add steps with and without the maximum colour, the
// saturate factor, the masked blends, and a sweep of every factor pair of
// every table that leaves the allocator as it found it.
#include <algorithm>
#include <memory>

#include "3d/context/context.h"
#include "gl/server/lgi/kz2/kz2_fixture.h"

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
    // 1 and 2; nothing in table 3 but the placeholder rule, so that a program
    // of this blend alone still holds an instruction (a command word of no
    // instructions is no drawing packet to the board).
    Restart();
    _kzuBlend(hw_.get(), &prog_, 16, KZ_BLEND_DST_COLOR, KZ_BLEND_ONE_MINUS_SRC_COLOR, S, D, T1, T2, bits, Z, U, O,
              M);
    EXPECT_EQ(Words(), Bits({W(0x08, D, D, 0)}));
    for (ULONG depth : {8u, 16u}) {
        Restart();
        _kzuBlendSrcAlpha(hw_.get(), &prog_, depth, KZ_BLEND_DST_COLOR, KZ_BLEND_ONE_MINUS_SRC_COLOR, S, As, D, T1,
                          T2, bits, Z, U, O, M);
        EXPECT_EQ(Words(), (WordList{KZ_BLEND_PLACEHOLDER})) << depth;
        _kzuBlendSrcAlpha(hw_.get(), &prog_, depth, KZ_BLEND_DST_COLOR, KZ_BLEND_ONE_MINUS_SRC_COLOR, S, As, D, T1,
                          T2, bits, Z, U, O, M);
        EXPECT_EQ(prog_.instrCount, 1u) << "nothing into a program that holds words";
    }
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
                                       ((sf == KZ_BLEND_ONE_MINUS_DST_COLOR && df == KZ_BLEND_SRC_ALPHA) ||
                                        (sf == KZ_BLEND_ONE_MINUS_SRC_ALPHA &&
                                         (df == KZ_BLEND_ONE_MINUS_SRC_ALPHA || df == KZ_BLEND_ONE_MINUS_SRC_COLOR)));
                    EXPECT_EQ(kzAllocConflict() != 0, bTwoV) << where;
                }
            }
        }
    }
    vnx::debug::clear();
}

// --- what the colour tables compute -------------------------------------------------------
// The emitted words run over one colour channel in real numbers, as the
// program format gives the opcodes: a subtract stops at 0, the plain add at
// the maximum (1), the overflowing add sets its code where the sum passes
// the maximum, the greater-than compare sets its code where A exceeds B and
// delivers A there; NOT of the zero register is all ones. A write mask of
// all ones (the register maskReg) keeps the masked merge's AND and drops
// its AND-NOT, whose OR is then the sum of a value and 0.
struct Channel {
    double reg[64] = {};
    bool cc[3] = {true, true, true};
    bool bKnown = true;
    ULONG maskReg = 64;
    void Run(const WordList& words) {
        for (ULONG w : words) {
            const ULONG op = w & 0x3F, r = (w >> 6) & 31, b = (w >> 11) & 63, a = (w >> 17) & 63;
            bool bPred = true;
            for (int k = 0; k < 3; ++k)
                if (w >> (29 + k) & 1u) bPred = bPred && cc[k];
            const double A = reg[a], B = reg[b];
            switch (op) {
            case 0x08: if (bPred) reg[r] = A; break;
            case 0x00: if (bPred) b == maskReg ? void(reg[r] = A) : void(bKnown = false); break;
            case 0x05: if (bPred) b == maskReg ? void(reg[r] = 0) : void(bKnown = false); break;
            case 0x01: if (bPred) reg[r] = A + B; break;
            case 0x1D: if (bPred) reg[r] = A * B; break;
            case 0x0A: if (bPred) reg[r] = std::max(0.0, A - B); break;
            case 0x09: if (bPred) reg[r] = std::min(1.0, A + B); break;
            case 0x07: if (bPred) reg[r] = 1.0 - A; break;
            case 0x10: case 0x16: case 0x1C:
                if (bPred) reg[r] = A + B;
                cc[(op - 0x10) / 6] = A + B > 1.0 + 1e-12;
                break;
            case 0x0F: case 0x15: case 0x1B:
                if (bPred && A > B) reg[r] = A;
                cc[(op - 0x0F) / 6] = A > B;
                break;
            default: bKnown = false;
            }
        }
    }
};

// GL 1.0's factor of a blend factor index, with the alphas the table's
// drawable has.
double Factor(ULONG f, double s, double d, double as, double ad) {
    switch (f) {
    case KZ_BLEND_ZERO: return 0;
    case KZ_BLEND_ONE: return 1;
    case KZ_BLEND_DST_COLOR: return d;
    case KZ_BLEND_ONE_MINUS_DST_COLOR: return 1 - d;
    case KZ_BLEND_SRC_ALPHA: return as;
    case KZ_BLEND_ONE_MINUS_SRC_ALPHA: return 1 - as;
    case KZ_BLEND_DST_ALPHA: return ad;
    case KZ_BLEND_ONE_MINUS_DST_ALPHA: return 1 - ad;
    case KZ_BLEND_SRC_ALPHA_SATURATE: return std::min(as, 1 - ad);
    case KZ_BLEND_SRC_COLOR: return s;
    default: return 1 - s;  // ONE_MINUS_SRC_COLOR
    }
}

// Every factor pair of the three colour tables, at a depth with the
// maximum colour and one without, gives GL's S x sf + D x df clamped to 1
// for colours and alphas across the range: no step may lose a term below 0
// on the way (a difference of two products formed before a sum).
TEST_F(KzBlendTest, ColourTablesComputeTheBlendEquation) {
    const ULONG srcs[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const ULONG dsts[] = {0, 1, 4, 5, 6, 7, 9, 10};
    const double colours[] = {0.1, 0.55, 0.9};
    const double alphas[] = {0.2, 0.75};
    for (ULONG table = 0; table < 3; ++table) {
        for (ULONG depth : {8u, 32u}) {
            for (ULONG sf : srcs) {
                for (ULONG df : dsts) {
                    // The driver's claims: the pattern with pr0-pr7 and the
                    // blend stage's two work registers, so that the
                    // emitters' own work registers are pr10 and pr11.
                    kzResetRegisterResources();
                    kzSetBuildPids(0x41, 0x2003);
                    Restart();
                    kzAllocRegisterResource(hw_.get(), &prog_, KZ_RES_PATTERN, KZ_RGBA_UPDATE);
                    for (int i = 0; i < 2; ++i) kzAllocRegisterResource(hw_.get(), &prog_, KZ_RES_WORK, KZ_BLEND);
                    const ULONG Mv = depth >= 24 ? 0 : M;
                    switch (table) {
                    case 0: _kzuBlend(hw_.get(), &prog_, depth, sf, df, S, D, T1, T2, clip, Z, U, O, Mv); break;
                    case 1:
                        _kzuBlendDstAlpha(hw_.get(), &prog_, depth, sf, df, S, As, D, Ad, T1, T2, F, clip, Z, U, O, Mv);
                        break;
                    default: _kzuBlendSrcAlpha(hw_.get(), &prog_, depth, sf, df, S, As, D, T1, T2, clip, Z, U, O, Mv);
                    }
                    const std::string where = "table " + std::to_string(table + 1) + " depth " +
                                              std::to_string(depth) + " pair " + std::to_string(sf) + "," +
                                              std::to_string(df);
                    ASSERT_FALSE(kzAllocConflict()) << where;
                    for (double sv : colours) {
                        for (double dv : colours) {
                            for (double as : alphas) {
                                for (double ad : alphas) {
                                    // Without source alpha it is 1, without an alpha buffer
                                    // the destination's alpha is 1.
                                    const double asv = table == 0 ? 1.0 : as, adv = table == 1 ? ad : 1.0;
                                    Channel ch;
                                    ch.reg[S] = sv;
                                    ch.reg[D] = dv;
                                    ch.reg[As] = asv;
                                    ch.reg[Ad] = adv;
                                    ch.reg[F] = std::min(asv, 1 - adv);
                                    ch.reg[U] = ch.reg[M] = 1.0;
                                    ch.Run(Words());
                                    ASSERT_TRUE(ch.bKnown) << where;
                                    const double want = std::min(1.0, sv * Factor(sf, sv, dv, asv, adv) +
                                                                          dv * Factor(df, sv, dv, asv, adv));
                                    EXPECT_NEAR(ch.reg[D], want, 1e-9)
                                        << where << " S " << sv << " D " << dv << " As " << asv << " Ad " << adv;
                                }
                            }
                        }
                    }
                }
            }
        }
    }
    vnx::debug::clear();
}

// The masked blends under a mask of all ones give GL's S x sf + D x df
// clamped to 1 for every pair of GL's sets, in each of the three variants
// (no alpha; source alpha; source and destination alpha with the saturate
// factor): every term of a one-minus factor kept.
TEST_F(KzBlendTest, MaskedBlendsComputeTheBlendEquation) {
    const ULONG srcs[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const ULONG dsts[] = {0, 1, 4, 5, 6, 7, 9, 10};
    const double colours[] = {0.1, 0.55, 0.9};
    const double alphas[] = {0.2, 0.75};
    constexpr ULONG K = 36;  // the mask constant
    for (ULONG variant = 0; variant < 3; ++variant) {
        for (ULONG sf : srcs) {
            for (ULONG df : dsts) {
                kzResetRegisterResources();
                kzSetBuildPids(0x41, 0x2003);
                Restart();
                switch (variant) {
                case 0: _kzuBlendMask(&prog_, sf, df, S, D, T1, T2, clip, Z, K); break;
                case 1: _kzuBlendMaskSrcAlpha(&prog_, sf, df, S, As, D, T1, T2, clip, Z, K); break;
                default: _kzuBlendMaskDstAlpha(&prog_, sf, df, S, As, D, Ad, T1, T2, F, clip, Z, K);
                }
                const std::string where = "variant " + std::to_string(variant) + " pair " + std::to_string(sf) + "," +
                                          std::to_string(df);
                for (double sv : colours) {
                    for (double dv : colours) {
                        for (double as : alphas) {
                            for (double ad : alphas) {
                                const double asv = variant == 0 ? 1.0 : as, adv = variant == 2 ? ad : 1.0;
                                Channel ch;
                                ch.maskReg = K;
                                ch.reg[S] = sv;
                                ch.reg[D] = dv;
                                ch.reg[As] = asv;
                                ch.reg[Ad] = adv;
                                ch.reg[F] = std::min(asv, 1 - adv);
                                ch.Run(Words());
                                ASSERT_TRUE(ch.bKnown) << where;
                                const double want = std::min(1.0, sv * Factor(sf, sv, dv, asv, adv) +
                                                                      dv * Factor(df, sv, dv, asv, adv));
                                EXPECT_NEAR(ch.reg[D], want, 1e-9)
                                    << where << " S " << sv << " D " << dv << " As " << asv << " Ad " << adv;
                            }
                        }
                    }
                }
            }
        }
    }
    vnx::debug::clear();
}

// The two ONE_MINUS_DST_COLOR entries below 16 bits take the colour offset
// off S and D and put it back on once.
TEST_F(KzBlendTest, OneMinusDestinationColourKeepsTheOffset) {
    for (ULONG df : {KZ_BLEND_ONE_MINUS_SRC_ALPHA, KZ_BLEND_ONE_MINUS_SRC_COLOR}) {
        kzResetRegisterResources();
        kzSetBuildPids(0x41, 0x2003);
        Restart();
        kzAllocRegisterResource(hw_.get(), &prog_, KZ_RES_PATTERN, KZ_RGBA_UPDATE);
        for (int i = 0; i < 2; ++i) kzAllocRegisterResource(hw_.get(), &prog_, KZ_RES_WORK, KZ_BLEND);
        _kzuBlendSrcAlpha(hw_.get(), &prog_, 8, KZ_BLEND_ONE_MINUS_DST_COLOR, df, S, As, D, T1, T2, clip, Z, U, O, M);
        constexpr double o = 0.0625, sv = 0.3, dv = 0.8, as = 0.4;
        Channel ch;
        ch.reg[S] = sv + o;
        ch.reg[D] = dv + o;
        ch.reg[As] = as;
        ch.reg[U] = ch.reg[M] = 1.0;
        ch.reg[O] = o;
        ch.Run(Words());
        const double dfv = df == KZ_BLEND_ONE_MINUS_SRC_ALPHA ? 1 - as : 1 - sv;
        EXPECT_NEAR(ch.reg[D], sv * (1 - dv) + dv * dfv + o, 1e-9) << df;
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
