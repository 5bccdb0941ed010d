// The logic-operation emitters and the add macros: every operation's words
// in the plain, masked and one-bit forms, the bitwise operations checked
// against GL's truth tables, and the condition codes the arithmetic steps
// claim and give back, also when nested in the masked form.
#include "gl/server/lgi/kz2/kz2_fixture.h"

#include <random>

using namespace kz2_test;

namespace {

using WordList = std::vector<ULONG>;

class KzLogicOpTest : public Kz2Test {
  protected:
    // The driver holds cc0 for the colour update, as it does in a build.
    void SetUp() override {
        Kz2Test::SetUp();
        kzAllocCC(KZ_RGBA_UPDATE, KZ_CC_FRESH, nullptr);
    }
    void ExpectOnlyDriverCode() {
        EXPECT_EQ(kzRegisterUseCount(KZU_cc0), 1);
        EXPECT_EQ(kzRegisterUseCount(KZU_cc1), 0);
        EXPECT_EQ(kzRegisterUseCount(KZU_cc2), 0);
    }
};

constexpr ULONG bits = clip;
WordList Or(WordList w, ULONG b = bits) {
    for (ULONG& x : w) x |= b;
    return w;
}

// The words of the plain form, by operation (the arithmetic ones on cc1).
const WordList kPlainWords[20] = {
    {W(0x08, d, zero, 0)},                   // clear: the zero register, never s
    {W(0x00, d, s, d)},                      // and
    {W(0x07, t1, d, 0), W(0x00, d, s, t1)},  // and-reverse
    {W(0x08, d, s, 0)},                      // copy: one word
    {W(0x07, t1, s, 0), W(0x00, d, d, t1)},  // and-inverted
    {W(0x08, d, d, 0)},                      // no-op
    {W(0x02, d, s, d)},                      // xor
    {W(0x01, d, s, d)},                      // or
    {W(0x01, t1, s, d), W(0x07, d, t1, 0)},  // nor
    {W(0x02, t1, s, d), W(0x07, d, t1, 0)},  // equiv
    {W(0x07, d, d, 0)},                      // invert
    {W(0x07, t1, d, 0), W(0x01, d, s, t1)},  // or-reverse
    {W(0x07, d, s, 0)},                      // copy-inverted
    {W(0x07, t1, s, 0), W(0x01, d, d, t1)},  // or-inverted
    {W(0x00, t1, s, d), W(0x07, d, t1, 0)},  // nand
    {W(0x07, d, zero, 0)},                   // set: NOT zero
    // sum: add setting cc1 where it overflows, all ones there
    {W(0x16, d, s, d), W(0x07, d, zero, 0) | ifcc1},
    // difference: cc1 where the difference exceeds s, 0 there
    {W(0x0A, d, s, d), W(0x15, t1, d, s), W(0x08, d, zero, 0) | ifcc1},
    // reverse difference: the same from NOT s
    {W(0x07, t1, s, 0), W(0x0A, d, t1, d), W(0x15, t1, d, t1), W(0x08, d, zero, 0) | ifcc1},
    {},  // no such operation
};

// The masked form: the operation into t1, then the merge.
const WordList kMaskedOps[20] = {
    {W(0x08, t1, zero, 0)},
    {W(0x00, t1, s, d)},
    {W(0x07, t1, d, 0), W(0x00, t1, s, t1)},
    {W(0x08, t1, s, 0)},
    {W(0x07, t1, s, 0), W(0x00, t1, d, t1)},
    {W(0x08, t1, d, 0)},
    {W(0x02, t1, s, d)},
    {W(0x01, t1, s, d)},
    {W(0x03, t1, s, d)},
    {W(0x02, t1, s, d), W(0x07, t1, t1, 0)},
    {W(0x07, t1, d, 0)},
    {W(0x07, t1, d, 0), W(0x01, t1, s, t1)},
    {W(0x07, t1, s, 0)},
    {W(0x07, t1, s, 0), W(0x01, t1, d, t1)},
    {W(0x00, t1, s, d), W(0x07, t1, t1, 0)},
    {W(0x07, t1, zero, 0)},
    // _kzuAdd(s, d, w = d, out = t1, save = t2)
    {W(0x08, t2, d, 0), W(0x16, d, s, d), W(0x07, d, zero, 0) | ifcc1, W(0x08, t1, d, 0), W(0x08, d, t2, 0)},
    // _kzuSubtract(s, d, w = d, out = t1, save = t2)
    {W(0x08, t2, d, 0), W(0x0A, d, s, d), W(0x15, t1, d, s), W(0x08, d, zero, 0) | ifcc1, W(0x08, t1, d, 0),
     W(0x08, d, t2, 0)},
    // NOT s into t1, then _kzuSubtract(t1, d, ...)
    {W(0x07, t1, s, 0), W(0x08, t2, d, 0), W(0x0A, d, t1, d), W(0x15, t1, d, t1), W(0x08, d, zero, 0) | ifcc1,
     W(0x08, t1, d, 0), W(0x08, d, t2, 0)},
    {},
};
const WordList kMerge = {W(0x00, t1, t1, mask), W(0x05, t2, d, mask), W(0x01, d, t1, t2)};

// The one-bit form: bit 23 changes, the low 23 bits stay.
const WordList kOneBitOps[16] = {
    {W(0x00, d, low, d)},
    {W(0x08, t1, d, 0), W(0x00, t2, low, t1), W(0x00, t1, s, t1), W(0x01, d, t1, t2)},
    {W(0x02, t1, d, bit), W(0x00, t2, s, t1), W(0x00, t1, low, d), W(0x01, d, t1, t2)},
    {W(0x00, t1, low, d), W(0x01, d, s, t1)},
    {W(0x07, t1, s, 0), W(0x00, d, t1, d)},
    {W(0x08, d, d, 0)},
    {W(0x02, d, s, d)},
    {W(0x01, d, s, d)},
    {W(0x01, t1, s, d), W(0x02, d, t1, bit)},
    {W(0x02, t1, s, d), W(0x02, d, t1, bit)},
    {W(0x02, d, d, bit)},
    {W(0x02, t1, d, bit), W(0x01, d, s, t1)},
    {W(0x00, t1, low, d), W(0x02, t2, s, bit), W(0x01, d, t1, t2)},
    {W(0x07, t1, s, 0), W(0x00, t1, t1, bit), W(0x01, d, d, t1)},
    {W(0x08, t1, d, 0), W(0x00, t2, t1, low), W(0x00, t1, s, t1), W(0x02, t1, t1, bit), W(0x01, d, t1, t2)},
    {W(0x01, d, bit, d)},
};

TEST_F(KzLogicOpTest, PlainFormByOperation) {
    for (ULONG op = 0; op < 20; ++op) {
        Restart();
        _kzuLogicOp(&prog_, op, s, d, t1, t2, bits, zero);
        EXPECT_EQ(Words(), Or(kPlainWords[op])) << "operation " << op;
        ExpectOnlyDriverCode();
    }
    EXPECT_EQ(kzAllocConflict(), 0u);
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(KzLogicOpTest, MaskedFormByOperation) {
    for (ULONG op = 0; op < 19; ++op) {
        Restart();
        _kzuLogicOpMasked(&prog_, op, s, d, t1, t2, bits, zero, mask);
        WordList want = kMaskedOps[op];
        want.insert(want.end(), kMerge.begin(), kMerge.end());
        EXPECT_EQ(Words(), Or(want)) << "operation " << op;
        ExpectOnlyDriverCode();
    }
    // No operation, nothing to merge: the pixel is left alone.
    Restart();
    _kzuLogicOpMasked(&prog_, 19, s, d, t1, t2, bits, zero, mask);
    EXPECT_EQ(Words(), WordList{});
}

TEST_F(KzLogicOpTest, OneBitFormByOperation) {
    for (ULONG op = 0; op < 16; ++op) {
        Restart();
        _kzuLogicOpOneBit(&prog_, op, low, bit, s, d, t1, t2, bits, zero);
        EXPECT_EQ(Words(), Or(kOneBitOps[op])) << "operation " << op;
    }
    EXPECT_EQ(vnx::debug::take(), "");
    // The arithmetic operations are their one-bit equivalents, and say so.
    const struct {
        ULONG op, as;
        const char* message;
    } arithmetic[] = {{16, 7, "N_ALUSum: kzuLogicOp "},
                      {17, 2, "N_ALUDifference: kzuLogicOp "},
                      {18, 8, "N_ALUReverseDifference: kzuLogicOp "},
                      {19, 5, "INVALID LOGICOP: kzuLogicOp "},
                      {1000, 5, "INVALID LOGICOP: kzuLogicOp "}};
    for (const auto& a : arithmetic) {
        Restart();
        _kzuLogicOpOneBit(&prog_, a.op, low, bit, s, d, t1, t2, bits, zero);
        EXPECT_EQ(Words(), Or(kOneBitOps[a.as])) << "operation " << a.op;
        const std::string text = vnx::debug::take();
        EXPECT_EQ(text.rfind(a.message, 0), 0u) << text;
        EXPECT_EQ(text.back(), '\n');
    }
}

// Register file of the evaluator: the emitter's registers with their values.
std::array<ULONG, 64> Regs(ULONG sv, ULONG dv, ULONG maskv = 0) {
    std::array<ULONG, 64> r{};
    r.fill(0xDEADBEEFu);  // what work registers hold is of no account
    r[s] = sv;
    r[d] = dv;
    r[zero] = 0;
    r[mask] = maskv;
    r[low] = 0x7FFFFFu;
    r[bit] = 0x800000u;
    return r;
}

TEST_F(KzLogicOpTest, BitwiseOperationsFollowTheirTruthTables) {
    std::mt19937 rng(45);
    for (ULONG op = 0; op < 16; ++op) {
        for (int round = 0; round < 8; ++round) {
            const ULONG sv = rng(), dv = rng(), maskv = rng();
            Restart();
            _kzuLogicOp(&prog_, op, s, d, t1, t2, 0, zero);
            auto r = Regs(sv, dv);
            ASSERT_TRUE(bRunBitwise(Words(), r)) << op;
            EXPECT_EQ(r[d], ulGLLogic(op, sv, dv)) << "plain, operation " << op;
            Restart();
            _kzuLogicOpMasked(&prog_, op, s, d, t1, t2, 0, zero, mask);
            r = Regs(sv, dv, maskv);
            ASSERT_TRUE(bRunBitwise(Words(), r)) << op;
            EXPECT_EQ(r[d], (ulGLLogic(op, sv, dv) & maskv) | (dv & ~maskv)) << "masked, operation " << op;
        }
    }
}

// All sixteen one-bit operations, and the three arithmetic ones, on every
// pair of bits: bit 23 takes the result, the low 23 bits stay.
TEST_F(KzLogicOpTest, OneBitOperationsFollowTheirTruthTables) {
    auto arithmetic = [](ULONG op, ULONG sb, ULONG db) -> ULONG {
        if (op == 16) return std::min<ULONG>(sb + db, 1);
        if (op == 17) return sb > db ? sb - db : 0;
        return (1 - sb) > db ? (1 - sb) - db : 0;
    };
    for (ULONG op = 0; op < 19; ++op) {
        Restart();
        _kzuLogicOpOneBit(&prog_, op, low, bit, s, d, t1, t2, 0, zero);
        const WordList words = Words();
        for (ULONG sb : {0u, 1u})
            for (ULONG db : {0u, 1u})
                for (ULONG lowBits : {0u, 0x7FFFFFu, 0x2A5A5Au}) {
                    auto r = Regs(sb << 23, (db << 23) | lowBits);
                    ASSERT_TRUE(bRunBitwise(words, r)) << op;
                    const ULONG want = op < 16 ? (ulGLLogic(op, sb, db) & 1u) : arithmetic(op, sb, db);
                    EXPECT_EQ(r[d], (want << 23) | lowBits)
                        << "operation " << op << " s " << sb << " d " << db << " low " << lowBits;
                }
    }
    vnx::debug::clear();
}

TEST_F(KzLogicOpTest, AddMacros) {
    constexpr ULONG x = 27, y = 14, w = 14, out = t1, save = t2;
    _kzuAdd(x, y, w, &prog_, bits, out, save, zero);
    EXPECT_EQ(Words(), Or({W(0x08, save, w, 0), W(0x16, w, x, y), W(0x07, w, zero, 0) | ifcc1, W(0x08, out, w, 0),
                           W(0x08, w, save, 0)}));
    ExpectOnlyDriverCode();
    Restart();
    _kzuSubtract(x, y, w, &prog_, bits, out, save, zero);
    EXPECT_EQ(Words(), Or({W(0x08, save, w, 0), W(0x0A, w, x, y), W(0x15, out, w, x), W(0x08, w, zero, 0) | ifcc1,
                           W(0x08, out, w, 0), W(0x08, w, save, 0)}));
    ExpectOnlyDriverCode();
    EXPECT_EQ(kzRegisterClaimant(KZU_cc1, 0), ULONG{KZ_ADD_MACRO});
}

// The trace names the emitter that placed each word, the macro's inside the
// masked form's.
TEST_F(KzLogicOpTest, TraceOfNestedEmitters) {
    gkzTrace = 1;
    _kzuLogicOpMasked(&prog_, N_ALUSum, s, d, t1, t2, bits, zero, mask);
    std::string text = vnx::debug::take();
    std::string sources;
    for (size_t at = 0; (at = text.find(" at ", at)) != std::string::npos; at += 4)
        sources += text.substr(at + 4, text.find(' ', at + 4) - at - 4) + ";";
    EXPECT_EQ(sources, "kzuAdd;kzuAdd;kzuAdd;kzuAdd;kzuAdd;kzuLogicOp;kzuLogicOp;kzuLogicOp;");
    EXPECT_EQ(text.rfind("adding instruction 101c0248 at kzuAdd ", 0), 0u) << text;
}

// With two codes held the macro works on the third; with all three held it
// has none of its own, and the program is refused.
TEST_F(KzLogicOpTest, MacroCodesFollowWhatIsHeld) {
    const kzuCCDesc* stencil = kzAllocCC(KZ_STENCIL_UPDATE, KZ_CC_FRESH, nullptr);
    _kzuLogicOpMasked(&prog_, N_ALUSum, s, d, t1, t2, bits, zero, mask);
    EXPECT_EQ(prog_.instr[1], W(0x1C, d, s, d) | bits);
    EXPECT_EQ(prog_.instr[2], W(0x07, d, zero, 0) | bits | ifcc2);
    EXPECT_EQ(kzRegisterUseCount(KZU_cc2), 0);
    EXPECT_EQ(kzAllocConflict(), 0u);
    EXPECT_EQ(kzSerialiseProgram(&prog_, 1, 1), 1u);

    Restart();
    kzAllocCC(KZ_STENCIL_UPDATE, KZ_CC_FRESH, nullptr);
    _kzuLogicOp(&prog_, N_ALUDifference, s, d, t1, t2, bits, zero);
    EXPECT_EQ(kzAllocConflict(), 1u);
    EXPECT_EQ(kzSerialiseProgram(&prog_, 1, 1), 0u);
    kzReleaseCC(stencil, KZ_STENCIL_UPDATE);
}

}  // namespace
