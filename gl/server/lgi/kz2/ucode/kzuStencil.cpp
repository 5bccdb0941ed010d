// The stencil test and stencil update emitters.
#include "kz2/ucode/kzuemit.h"
#include "lgi.h"

namespace {
constexpr char kSource[] = "kzuStencil";

void vInvalid(const char* function, const char* what) {
    DbgPrint("%s: XXXX***********************\n", function);
    DbgPrint("INVALID STENCIL %s SYMBOLIC CONSTANT\n", what);
    _NProgrammerError();
}
}  // namespace

void _kzuStencilTest(kzRenderProg* prog, ULONG func, ULONG S, ULONG ref, ULONG mask, ULONG R, ULONG T,
                     ULONG bits, const kzuCCDesc* cc, ULONG zero) {
    // The stencil test never runs under a predicate.
    const kzuWriter emit{prog, bits & ~KZU_PREDICATE, kSource};
    const ULONG* cmp = cc->w;
    emit(kzuInstr(KZU_OP_AND, T, S, mask));  // the masked stencil value
    switch (func) {
    case KZ_NEVER: emit(kzuInstr(cmp[KZU_CMP_GT], R, ref, ref)); break;
    case KZ_LESS: emit(kzuInstr(cmp[KZU_CMP_LT], R, ref, T)); break;
    case KZ_EQUAL: emit(kzuInstr(cmp[KZU_CMP_EQ], R, ref, T)); break;
    case KZ_LEQUAL: emit(kzuInstr(cmp[KZU_CMP_LE], R, ref, T)); break;
    case KZ_GREATER: emit(kzuInstr(cmp[KZU_CMP_GT], R, ref, T)); break;
    case KZ_NOTEQUAL:
        emit(kzuInstr(KZU_OP_XOR, R, ref, T));
        emit(kzuInstr(cmp[KZU_CMP_GT], T, R, zero));
        break;
    case KZ_GEQUAL: emit(kzuInstr(cmp[KZU_CMP_GE], R, ref, T)); break;
    case KZ_ALWAYS: emit(kzuInstr(cmp[KZU_CMP_EQ], R, ref, ref)); break;
    default: vInvalid("_kzuStencilTest", "COMPARISON"); break;
    }
}

void _kzuStencilNotTest(kzRenderProg* prog, ULONG func, ULONG S, ULONG ref, ULONG mask, ULONG R, ULONG T,
                        ULONG bits, const kzuCCDesc* cc, ULONG zero) {
    if (func > KZ_ALWAYS) vInvalid("_kzuStencilNotTest", "COMPARISON");
    else func = KZ_ALWAYS - func;
    _kzuStencilTest(prog, func, S, ref, mask, R, T, bits, cc, zero);
}

void _kzuStencilUpdate(kzRenderProg* prog, ULONG op, ULONG ref, ULONG S, ULONG one, ULONG bits, ULONG zero) {
    const kzuWriter emit{prog, bits, kSource};
    switch (op) {
    case KZ_STENCIL_KEEP: break;
    case KZ_STENCIL_ZERO: emit(kzuInstr(KZU_OP_COPY, S, zero, 0)); break;
    case KZ_STENCIL_REPLACE: emit(kzuInstr(KZU_OP_COPY, S, ref, 0)); break;
    case KZ_STENCIL_INCR: emit(kzuInstr(KZU_OP_ADD, S, S, one)); break;
    case KZ_STENCIL_DECR: emit(kzuInstr(KZU_OP_SUB, S, S, one)); break;
    case KZ_STENCIL_INVERT: emit(kzuInstr(KZU_OP_NOT, S, S, 0)); break;
    default: vInvalid("_kzuStencilUpdate", "UPDATE"); break;
    }
}
