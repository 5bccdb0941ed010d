// The blends under a partial write mask: two terms, their saturating sum in
// T1, and the masked merge into the colour pixmap.
#include "kz2/ucode/kzuemit.h"

namespace {

constexpr char kSource[] = "kzuBlendMask";

// What a factor makes of its term: nothing, the bare operand, the operand
// times a register, or the operand times one minus a register.
enum Kind { ABSENT, BARE, TIMES, ONE_MINUS, INVALID };
struct Term {
    Kind kind;
    ULONG x;  // the operand: S for the source term, D for the destination term
    ULONG r;  // the factor register
};

// The alpha registers of a variant; 0 where the variant takes the factor
// as a constant (see kzuemit.h).
struct Alphas {
    bool bSrc, bDst;  // source alpha real; destination alpha (and saturate) real
    ULONG As, Ad, F;
};

Term termOf(ULONG f, bool bSource, ULONG x, ULONG other, const Alphas& al) {
    switch (f) {
    case KZ_BLEND_ZERO: return {ABSENT, x, 0};
    case KZ_BLEND_ONE: return {BARE, x, 0};
    case KZ_BLEND_DST_COLOR:
    case KZ_BLEND_ONE_MINUS_DST_COLOR:
        if (!bSource) return {INVALID, x, 0};
        return {f == KZ_BLEND_DST_COLOR ? TIMES : ONE_MINUS, x, other};
    case KZ_BLEND_SRC_COLOR:
    case KZ_BLEND_ONE_MINUS_SRC_COLOR:
        if (bSource) return {INVALID, x, 0};
        return {f == KZ_BLEND_SRC_COLOR ? TIMES : ONE_MINUS, x, other};
    case KZ_BLEND_SRC_ALPHA: return al.bSrc ? Term{TIMES, x, al.As} : Term{BARE, x, 0};
    case KZ_BLEND_ONE_MINUS_SRC_ALPHA: return al.bSrc ? Term{ONE_MINUS, x, al.As} : Term{ABSENT, x, 0};
    case KZ_BLEND_DST_ALPHA: return al.bDst ? Term{TIMES, x, al.Ad} : Term{BARE, x, 0};
    case KZ_BLEND_ONE_MINUS_DST_ALPHA: return al.bDst ? Term{ONE_MINUS, x, al.Ad} : Term{ABSENT, x, 0};
    case KZ_BLEND_SRC_ALPHA_SATURATE:
        if (!bSource) return {INVALID, x, 0};
        return al.bDst ? Term{TIMES, x, al.F} : Term{ABSENT, x, 0};
    default: return {INVALID, x, 0};
    }
}

bool bComputed(const Term& t) { return t.kind == TIMES || t.kind == ONE_MINUS; }

void vMasked(kzRenderProg* prog, ULONG sf, ULONG df, ULONG S, ULONG D, ULONG T1, ULONG T2, ULONG bits, ULONG Z,
             ULONG mask, const Alphas& al) {
    const kzuWriter emit{prog, bits, kSource};
    const ULONG pr11 = KZU_pr11;
    auto add = [&](ULONG x, ULONG y) { _kzuAdd(x, y, D, prog, bits, T1, T2, Z); };
    const Term src = termOf(sf, true, S, D, al);
    const Term dst = termOf(df, false, D, S, al);
    if (sf == KZ_BLEND_DST_COLOR && df == KZ_BLEND_SRC_COLOR) {
        emit(kzuInstr(KZU_OP_MUL, T1, S, D));  // S x D twice
        add(T1, T1);
    } else if (sf == KZ_BLEND_DST_COLOR && df == KZ_BLEND_ONE_MINUS_SRC_COLOR) {
        emit(kzuInstr(KZU_OP_COPY, T1, D, 0));  // reduces to D
    } else if (sf == KZ_BLEND_ONE_MINUS_DST_COLOR && df == KZ_BLEND_SRC_COLOR) {
        emit(kzuInstr(KZU_OP_COPY, T1, S, 0));  // reduces to S
    } else if (sf == KZ_BLEND_ONE_MINUS_DST_COLOR && df == KZ_BLEND_ONE_MINUS_SRC_COLOR) {
        emit(kzuInstr(KZU_OP_MUL, T1, S, D));  // both one-minus terms from one product
        emit(kzuInstr(KZU_OP_SUB, pr11, S, T1));
        emit(kzuInstr(KZU_OP_SUB, T1, D, T1));
        add(T1, pr11);
    } else if (src.kind == INVALID || dst.kind == INVALID) {
        if (prog->instrCount == 0) _kzuEmit(prog, KZ_BLEND_PLACEHOLDER, kSource, __LINE__);
    } else {
        // The source term into T1; the destination term into T1 when it is
        // the only one computed, else into pr11 (through T2 for one minus).
        if (bComputed(src)) {
            emit(kzuInstr(KZU_OP_MUL, T1, src.x, src.r));
            if (src.kind == ONE_MINUS) emit(kzuInstr(KZU_OP_SUB, T1, src.x, T1));
        }
        const ULONG dstReg = bComputed(src) ? pr11 : T1;
        if (bComputed(dst)) {
            if (dst.kind == TIMES) {
                emit(kzuInstr(KZU_OP_MUL, dstReg, dst.r, dst.x));
            } else {
                const ULONG tmp = dstReg == pr11 ? T2 : T1;
                emit(kzuInstr(KZU_OP_MUL, tmp, dst.r, dst.x));
                emit(kzuInstr(KZU_OP_SUB, dstReg, dst.x, tmp));
            }
        }
        const bool bSrcC = bComputed(src), bDstC = bComputed(dst);
        if (src.kind == ABSENT && dst.kind == ABSENT) {
            emit(kzuInstr(KZU_OP_COPY, T1, Z, 0));
        } else if (src.kind == ABSENT || dst.kind == ABSENT) {
            const Term& t = src.kind == ABSENT ? dst : src;
            if (t.kind == BARE) emit(kzuInstr(KZU_OP_COPY, T1, t.x, 0));
        } else if (!bSrcC && !bDstC) {
            add(S, D);
        } else if (bSrcC && bDstC) {
            add(T1, pr11);
        } else {
            add(T1, bSrcC ? D : S);
        }
    }
    // The merge: the result where the mask has ones, the old pixel elsewhere.
    emit(kzuInstr(KZU_OP_AND, T1, T1, mask));
    emit(kzuInstr(KZU_OP_ANDNOT, T2, D, mask));
    emit(kzuInstr(KZU_OP_OR, D, T1, T2));
}

}  // namespace

void _kzuBlendMask(kzRenderProg* prog, ULONG sf, ULONG df, ULONG S, ULONG D, ULONG T1, ULONG T2, ULONG bits,
                   ULONG Z, ULONG mask) {
    vMasked(prog, sf, df, S, D, T1, T2, bits, Z, mask, Alphas{false, false, 0, 0, 0});
}

void _kzuBlendMaskSrcAlpha(kzRenderProg* prog, ULONG sf, ULONG df, ULONG S, ULONG As, ULONG D, ULONG T1, ULONG T2,
                           ULONG bits, ULONG Z, ULONG mask) {
    vMasked(prog, sf, df, S, D, T1, T2, bits, Z, mask, Alphas{true, false, As, 0, 0});
}

void _kzuBlendMaskDstAlpha(kzRenderProg* prog, ULONG sf, ULONG df, ULONG S, ULONG As, ULONG D, ULONG Ad,
                           ULONG T1, ULONG T2, ULONG F, ULONG bits, ULONG Z, ULONG mask) {
    vMasked(prog, sf, df, S, D, T1, T2, bits, Z, mask, Alphas{true, true, As, Ad, F});
}
