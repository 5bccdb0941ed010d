// The logic-operation emitters: the plain form on the colour pixmap, the
// form under a write mask, and the form for one-bit buffers. The bitwise
// operations are rows of steps over the emitter's registers; the arithmetic
// operations (16-18) claim a condition code of their own.
#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzuemit.h"

namespace {

constexpr char kSource[] = "kzuLogicOp";

// The registers a step names: the operands of the emitter, or the 0 field.
enum Sym : unsigned char { S, D, T1, T2, Z, LOW, BIT, NONE };
struct Step {
    unsigned char op;
    Sym r, a, b;
};
struct Row {
    unsigned char cSteps;
    Step steps[5];
};

constexpr ULONG AND = KZU_OP_AND, OR = KZU_OP_OR, XOR = KZU_OP_XOR, NOR = KZU_OP_NOR, NOT = KZU_OP_NOT,
                COPY = KZU_OP_COPY;

// The operation written into d (ops 0-15).
constexpr Row kPlain[16] = {
    {1, {{COPY, D, Z, NONE}}},                     // clear
    {1, {{AND, D, S, D}}},                         // and
    {2, {{NOT, T1, D, NONE}, {AND, D, S, T1}}},    // and-reverse
    {1, {{COPY, D, S, NONE}}},                     // copy
    {2, {{NOT, T1, S, NONE}, {AND, D, D, T1}}},    // and-inverted
    {1, {{COPY, D, D, NONE}}},                     // no-op
    {1, {{XOR, D, S, D}}},                         // xor
    {1, {{OR, D, S, D}}},                          // or
    {2, {{OR, T1, S, D}, {NOT, D, T1, NONE}}},     // nor
    {2, {{XOR, T1, S, D}, {NOT, D, T1, NONE}}},    // equiv
    {1, {{NOT, D, D, NONE}}},                      // invert
    {2, {{NOT, T1, D, NONE}, {OR, D, S, T1}}},     // or-reverse
    {1, {{NOT, D, S, NONE}}},                      // copy-inverted
    {2, {{NOT, T1, S, NONE}, {OR, D, D, T1}}},     // or-inverted
    {2, {{AND, T1, S, D}, {NOT, D, T1, NONE}}},    // nand
    {1, {{NOT, D, Z, NONE}}},                      // set
};

// The operation written into t1 (ops 0-15), before the masked merge.
constexpr Row kMasked[16] = {
    {1, {{COPY, T1, Z, NONE}}},
    {1, {{AND, T1, S, D}}},
    {2, {{NOT, T1, D, NONE}, {AND, T1, S, T1}}},
    {1, {{COPY, T1, S, NONE}}},
    {2, {{NOT, T1, S, NONE}, {AND, T1, D, T1}}},
    {1, {{COPY, T1, D, NONE}}},
    {1, {{XOR, T1, S, D}}},
    {1, {{OR, T1, S, D}}},
    {1, {{NOR, T1, S, D}}},
    {2, {{XOR, T1, S, D}, {NOT, T1, T1, NONE}}},
    {1, {{NOT, T1, D, NONE}}},
    {2, {{NOT, T1, D, NONE}, {OR, T1, S, T1}}},
    {1, {{NOT, T1, S, NONE}}},
    {2, {{NOT, T1, S, NONE}, {OR, T1, D, T1}}},
    {2, {{AND, T1, S, D}, {NOT, T1, T1, NONE}}},
    {1, {{NOT, T1, Z, NONE}}},
};

// The operation on bit 23 of d, its low 23 bits kept (ops 0-15); s holds
// the fragment's bit in bit 23 and 0 below. Each row follows from the op's
// truth table on bit 23: the low bits are carried through an AND with low
// (or an XOR with bit, which leaves them), and s contributes nothing below
// bit 23.
constexpr Row kOneBit[16] = {
    {1, {{AND, D, LOW, D}}},                                                  // clear
    {4, {{COPY, T1, D, NONE}, {AND, T2, LOW, T1}, {AND, T1, S, T1}, {OR, D, T1, T2}}},  // and
    {4, {{XOR, T1, D, BIT}, {AND, T2, S, T1}, {AND, T1, LOW, D}, {OR, D, T1, T2}}},     // and-reverse
    {2, {{AND, T1, LOW, D}, {OR, D, S, T1}}},                                 // copy
    {2, {{NOT, T1, S, NONE}, {AND, D, T1, D}}},                               // and-inverted
    {1, {{COPY, D, D, NONE}}},                                                // no-op
    {1, {{XOR, D, S, D}}},                                                    // xor
    {1, {{OR, D, S, D}}},                                                     // or
    {2, {{OR, T1, S, D}, {XOR, D, T1, BIT}}},                                 // nor
    {2, {{XOR, T1, S, D}, {XOR, D, T1, BIT}}},                                // equiv
    {1, {{XOR, D, D, BIT}}},                                                  // invert
    {2, {{XOR, T1, D, BIT}, {OR, D, S, T1}}},                                 // or-reverse
    {3, {{AND, T1, LOW, D}, {XOR, T2, S, BIT}, {OR, D, T1, T2}}},             // copy-inverted
    {3, {{NOT, T1, S, NONE}, {AND, T1, T1, BIT}, {OR, D, D, T1}}},            // or-inverted
    {5, {{COPY, T1, D, NONE}, {AND, T2, T1, LOW}, {AND, T1, S, T1}, {XOR, T1, T1, BIT}, {OR, D, T1, T2}}},  // nand
    {1, {{OR, D, BIT, D}}},                                                   // set
};

struct Regs {
    ULONG s, d, t1, t2, zero, low, bit;
    ULONG operator[](Sym sym) const {
        switch (sym) {
        case S: return s;
        case D: return d;
        case T1: return t1;
        case T2: return t2;
        case Z: return zero;
        case LOW: return low;
        case BIT: return bit;
        default: return 0;
        }
    }
};

void vEmitRow(const kzuWriter& emit, const Row& row, const Regs& regs) {
    for (unsigned i = 0; i < row.cSteps; ++i) {
        const Step& st = row.steps[i];
        emit(kzuInstr(st.op, regs[st.r], regs[st.a], regs[st.b]));
    }
}

// The arithmetic operations into d, each step on a condition code of its
// own. The compare that detects a wrapped difference delivers its discarded
// result into t1, which nothing reads afterwards.
void vEmitALU(kzRenderProg* prog, ULONG op, ULONG s, ULONG d, ULONG t1, ULONG bits, ULONG zero) {
    const kzuWriter emit{prog, bits, kSource};
    ULONG minuend = s;
    if (op == N_ALUReverseDifference) {
        emit(kzuInstr(KZU_OP_NOT, t1, s, 0));
        minuend = t1;
    }
    const kzuCCDesc* c = kzAllocCC(KZ_ADD_MACRO, KZ_CC_FRESH, nullptr);
    const kzuWriter where{prog, bits | c->w[KZU_CC_PRED_WORD], kSource};
    if (op == N_ALUSum) {
        emit(kzuInstr(c->w[KZU_CC_ADDC_WORD], d, s, d));
        where(kzuInstr(KZU_OP_NOT, d, zero, 0));
    } else {
        emit(kzuInstr(KZU_OP_SUB, d, minuend, d));
        emit(kzuInstr(c->w[KZU_CC_GT_WORD], t1, d, minuend));
        where(kzuInstr(KZU_OP_COPY, d, zero, 0));
    }
    kzReleaseCC(c, KZ_ADD_MACRO);
}

}  // namespace

void _kzuLogicOp(kzRenderProg* prog, ULONG op, ULONG s, ULONG d, ULONG t1, ULONG t2, ULONG bits, ULONG zero) {
    if (op <= KZ_LOGIC_SET) vEmitRow(kzuWriter{prog, bits, kSource}, kPlain[op], Regs{s, d, t1, t2, zero, 0, 0});
    else if (op <= N_ALUReverseDifference) vEmitALU(prog, op, s, d, t1, bits, zero);
}

void _kzuLogicOpMasked(kzRenderProg* prog, ULONG op, ULONG s, ULONG d, ULONG t1, ULONG t2, ULONG bits,
                       ULONG zero, ULONG mask) {
    const kzuWriter emit{prog, bits, kSource};
    if (op <= KZ_LOGIC_SET) {
        vEmitRow(emit, kMasked[op], Regs{s, d, t1, t2, zero, 0, 0});
    } else if (op == N_ALUSum) {
        _kzuAdd(s, d, d, prog, bits, t1, t2, zero);
    } else if (op == N_ALUDifference) {
        _kzuSubtract(s, d, d, prog, bits, t1, t2, zero);
    } else if (op == N_ALUReverseDifference) {
        emit(kzuInstr(KZU_OP_NOT, t1, s, 0));
        _kzuSubtract(t1, d, d, prog, bits, t1, t2, zero);
    } else {
        return;  // no result in t1 to merge: the pixel stays as it is
    }
    emit(kzuInstr(KZU_OP_AND, t1, t1, mask));
    emit(kzuInstr(KZU_OP_ANDNOT, t2, d, mask));
    emit(kzuInstr(KZU_OP_OR, d, t1, t2));
}

void _kzuLogicOpOneBit(kzRenderProg* prog, ULONG op, ULONG low, ULONG bit, ULONG s, ULONG d, ULONG t1,
                       ULONG t2, ULONG bits, ULONG zero) {
    // On one bit the arithmetic operations are bitwise: a saturated sum is
    // or, a difference clamped at 0 is and-reverse, the reverse difference nor.
    switch (op) {
    case N_ALUSum:
        DbgPrint("N_ALUSum: %s %d\n", kSource, __LINE__);
        op = KZ_LOGIC_OR;
        break;
    case N_ALUDifference:
        DbgPrint("N_ALUDifference: %s %d\n", kSource, __LINE__);
        op = KZ_LOGIC_AND_REVERSE;
        break;
    case N_ALUReverseDifference:
        DbgPrint("N_ALUReverseDifference: %s %d\n", kSource, __LINE__);
        op = KZ_LOGIC_NOR;
        break;
    default:
        if (op > KZ_LOGIC_SET) {
            DbgPrint("INVALID LOGICOP: %s %d\n", kSource, __LINE__);
            op = KZ_LOGIC_NOOP;
        }
        break;
    }
    vEmitRow(kzuWriter{prog, bits, kSource}, kOneBit[op], Regs{s, d, t1, t2, zero, low, bit});
}
