// The depth test emitters.
#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzuemit.h"

void _kzuDepthTest(kzRenderProg* prog, ULONG func, ULONG A, ULONG B, ULONG R, ULONG scratch, ULONG bits,
                   const kzuCCDesc* cc, ULONG zero) {
    const kzuWriter emit{prog, bits, "kzuDepth"};
    const ULONG* cmp = cc->w;
    switch (func) {
    // The scratch register greater than itself: never true, whatever it
    // holds, and no depth is written.
    case KZ_NEVER: emit(kzuInstr(cmp[KZU_CMP_GT], scratch, scratch, scratch)); break;
    case KZ_LESS: emit(kzuInstr(cmp[KZU_CMP_LT], R, A, B)); break;
    case KZ_EQUAL: emit(kzuInstr(cmp[KZU_CMP_EQ], R, A, B)); break;
    case KZ_LEQUAL: emit(kzuInstr(cmp[KZU_CMP_LE], R, A, B)); break;
    case KZ_GREATER: emit(kzuInstr(cmp[KZU_CMP_GT], R, A, B)); break;
    case KZ_NOTEQUAL: {
        // The difference is found unpredicated; the compare's own delivery
        // goes to the scratch register, so the depth is written explicitly.
        const kzuWriter unpredicated{prog, bits & ~KZU_PREDICATE, "kzuDepth"};
        unpredicated(kzuInstr(KZU_OP_XOR, scratch, A, B));
        emit(kzuInstr(cmp[KZU_CMP_GT], scratch, scratch, zero));
        emit(kzuInstr(KZU_OP_COPY, R, A, 0));
        break;
    }
    case KZ_GEQUAL: emit(kzuInstr(cmp[KZU_CMP_GE], R, A, B)); break;
    case KZ_ALWAYS: emit(kzuInstr(cmp[KZU_CMP_EQ], R, A, A)); break;  // the depth equals itself
    default: break;
    }
}

void _kzuDepthNotTest(kzRenderProg* prog, ULONG func, ULONG A, ULONG B, ULONG R, ULONG scratch,
                      ULONG bits, const kzuCCDesc* cc, ULONG zero) {
    _kzuDepthTest(prog, func <= KZ_ALWAYS ? KZ_ALWAYS - func : func, A, B, R, scratch, bits, cc, zero);
}

void _kzuDepthTestOnly(kzRenderProg* prog, N_HwRecord* hwRecord, ULONG func, ULONG A, ULONG B, ULONG R,
                       ULONG bits) {
    kzResetRegisterResources();
    const ULONG scratch = kzAllocRegisterResource(hwRecord, prog, KZ_RES_WORK, KZ_BLEND);
    const kzuCCDesc* cc = kzAllocCC(KZ_RGBA_UPDATE, KZ_CC_FRESH, nullptr);
    const ULONG zero = kzAllocRegisterResource(hwRecord, prog, KZ_RES_DATA | KZ_RES_CONSTANT, KZ_STIPPLE_TEST);
    kzPlaceConstant(prog, zero, 0);
    _kzuDepthTest(prog, func, A, B, R, scratch, bits, cc, zero);
}
