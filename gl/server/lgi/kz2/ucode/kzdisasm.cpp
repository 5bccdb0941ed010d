// The render-program disassembler (kzdisasm.h).
#include "kz2/ucode/kzdisasm.h"

#include <cstdio>

#include "kzuinstr.h"

const char* kzRegisterName(ULONG n, ULONG bResult, char* psz, std::size_t cb) {
    if (n <= KZU_pr11) std::snprintf(psz, cb, "pr%u", n);
    else if (n == KZU_pattern) std::snprintf(psz, cb, "pattern");
    else if (n <= KZU_pixmapLast) std::snprintf(psz, cb, "px%u", n - KZU_pixmap0);
    else if (n == KZU_rgb0) std::snprintf(psz, cb, "%s", bResult ? "u" : "rgb0");
    else if (n == KZU_z0) std::snprintf(psz, cb, "%s", bResult ? "v" : "z0");
    else if (n == KZU_z1 || n == KZU_z2) std::snprintf(psz, cb, "z%u", n - KZU_z0);
    else if (n >= KZU_constant_0 && n <= KZU_constant_7) std::snprintf(psz, cb, "c%u", n - KZU_constant_0);
    else std::snprintf(psz, cb, "r%u", n);
    return psz;
}

int kzDisassemble(ULONG word, char* psz, std::size_t cb) {
    char op[16], r[16], a[16], b[16];
    const kzuOpInfo info = kzuDecodeOp(kzuOpcode(word));
    if (info.kind == KZU_KIND_UNKNOWN) std::snprintf(op, sizeof op, "op%02x", kzuOpcode(word));
    else if (info.kind == KZU_KIND_PLAIN) std::snprintf(op, sizeof op, "%s", info.name);
    else std::snprintf(op, sizeof op, "%s.cc%u", info.name, info.cc);
    kzRegisterName(kzuR(word), 1, r, sizeof r);
    kzRegisterName(kzuA(word), 0, a, sizeof a);
    const bool bUnary = kzuOpcode(word) == KZU_OP_COPY || kzuOpcode(word) == KZU_OP_NOT;
    if (bUnary && kzuB(word) == 0) b[0] = '\0';
    else {
        b[0] = ',';
        b[1] = ' ';
        kzRegisterName(kzuB(word), 0, b + 2, sizeof b - 2);
    }
    const ULONG stipple = word & KZU_STIPPLE;
    return std::snprintf(psz, cb, "%s %s, %s%s%s%s%s%s%s%s%s%s", op, r, a, b,
                         (word & KZU_JOIN) ? " join" : "", (word & KZU_CLAMP) ? " clamp" : "",
                         stipple == KZU_STIPPLE ? " stipple" : stipple == 0x02000000u ? " bit25"
                                                             : stipple ? " bit26" : "",
                         (word & KZU_RESERVED) ? " bit27" : "", (word & KZU_CLIP) ? " clip" : "",
                         (word & KZU_IF_CC0) ? " if cc0" : "", (word & KZU_IF_CC1) ? " if cc1" : "",
                         (word & KZU_IF_CC2) ? " if cc2" : "");
}
