// The add macros: a saturating sum and a difference clamped at 0, each on
// a condition code of its own.
#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzuemit.h"

namespace {
constexpr char kSource[] = "kzuAdd";
}  // namespace

void _kzuAdd(ULONG x, ULONG y, ULONG w, kzRenderProg* prog, ULONG bits, ULONG out, ULONG save, ULONG zero) {
    const kzuCCDesc* c = kzAllocCC(KZ_ADD_MACRO, KZ_CC_FRESH, nullptr);
    const kzuWriter emit{prog, bits, kSource};
    const kzuWriter where{prog, bits | c->w[KZU_CC_PRED_WORD], kSource};
    emit(kzuInstr(KZU_OP_COPY, save, w, 0));
    emit(kzuInstr(c->w[KZU_CC_ADDC_WORD], w, x, y));  // c where the sum overflows
    where(kzuInstr(KZU_OP_NOT, w, zero, 0));           // all ones there
    emit(kzuInstr(KZU_OP_COPY, out, w, 0));
    emit(kzuInstr(KZU_OP_COPY, w, save, 0));
    kzReleaseCC(c, KZ_ADD_MACRO);
}

void _kzuSubtract(ULONG x, ULONG y, ULONG w, kzRenderProg* prog, ULONG bits, ULONG out, ULONG save,
                  ULONG zero) {
    const kzuCCDesc* c = kzAllocCC(KZ_ADD_MACRO, KZ_CC_FRESH, nullptr);
    const kzuWriter emit{prog, bits, kSource};
    const kzuWriter where{prog, bits | c->w[KZU_CC_PRED_WORD], kSource};
    emit(kzuInstr(KZU_OP_COPY, save, w, 0));
    emit(kzuInstr(KZU_OP_SUB, w, x, y));
    emit(kzuInstr(c->w[KZU_CC_GT_WORD], out, w, x));  // c where the difference exceeds x: it wrapped
    where(kzuInstr(KZU_OP_COPY, w, zero, 0));         // clamped to 0 there
    emit(kzuInstr(KZU_OP_COPY, out, w, 0));
    emit(kzuInstr(KZU_OP_COPY, w, save, 0));
    kzReleaseCC(c, KZ_ADD_MACRO);
}
