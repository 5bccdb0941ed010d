// The alpha test emitter.
#include "kz2/ucode/kzuemit.h"

void _kzuAlphaTest(kzRenderProg* prog, ULONG func, ULONG A, ULONG B, ULONG R, ULONG bits,
                   const kzuCCDesc* cc, ULONG zero) {
    const kzuWriter emit{prog, bits, "kzuAlphaTest"};
    const ULONG* cmp = cc->w;
    switch (func) {
    case KZ_NEVER: emit(kzuInstr(cmp[KZU_CMP_GT], R, R, R)); break;  // R > R: never true
    case KZ_LESS: emit(kzuInstr(cmp[KZU_CMP_LT], R, A, B)); break;
    case KZ_EQUAL: emit(kzuInstr(cmp[KZU_CMP_EQ], R, A, B)); break;
    case KZ_LEQUAL: emit(kzuInstr(cmp[KZU_CMP_LE], R, A, B)); break;
    case KZ_GREATER: emit(kzuInstr(cmp[KZU_CMP_GT], R, A, B)); break;
    case KZ_NOTEQUAL:
        // The exclusive-or of the two is non-zero exactly where they differ.
        emit(kzuInstr(KZU_OP_XOR, R, A, B));
        emit(kzuInstr(cmp[KZU_CMP_GT], R, R, zero));
        break;
    case KZ_GEQUAL: emit(kzuInstr(cmp[KZU_CMP_GE], R, A, B)); break;
    case KZ_ALWAYS: emit(kzuInstr(cmp[KZU_CMP_EQ], R, R, R)); break;  // R == R: always true
    default: break;
    }
}
