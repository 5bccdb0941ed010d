// The texel lookup of the textured passes: one texel, the four-texel
// filter, and the two mixes of two levels. Coordinates are 28.4 texels, so
// the step to the next texel is 16.
#include "kz2/ucode/kzuemit.h"

namespace {

constexpr char kSource[] = "kz2Lookup";

constexpr ULONG pr0 = KZU_pr0, pr1 = KZU_pr1, pr2 = KZU_pr2, pr3 = KZU_pr3, pr4 = KZU_pr4, pr5 = KZU_pr5,
                pr6 = KZU_pr6, pr7 = KZU_pr7;

struct Lookup {
    const kzLookupRegs& r;
    kzuWriter emit;   // the words without the predicate
    kzuWriter where;  // ... with it

    // A texel of pixmap x into R, through the two scratch pixmaps when the
    // surface is shallower than the texels.
    void Fetch(ULONG x, ULONG R, const kzuWriter& w) const {
        if (r.viaScratch) {
            w(kzuInstr(KZU_OP_TEXEL, r.scratchIn, x, 0));
            w(kzuInstr(KZU_OP_COPY, R, r.scratchOut, 0));
        } else {
            w(kzuInstr(KZU_OP_TEXEL, R, x, 0));
        }
    }
    // An address register from a coordinate: a copy, or the coordinate
    // wrapped by its mask.
    void Address(ULONG reg, ULONG coord, ULONG mask, const kzuWriter& w) const {
        w(r.unwrapped ? kzuInstr(KZU_OP_COPY, reg, coord, 0) : kzuInstr(KZU_OP_AND, reg, coord, mask));
    }
    // An address register from coord + b, through tmp when it is wrapped.
    void AddressSum(ULONG reg, ULONG coord, ULONG b, ULONG mask, ULONG tmp, const kzuWriter& w) const {
        if (r.unwrapped) {
            w(kzuInstr(KZU_OP_ADDW, reg, coord, b));
        } else {
            w(kzuInstr(KZU_OP_ADDW, tmp, coord, b));
            w(kzuInstr(KZU_OP_AND, reg, tmp, mask));
        }
    }
};

}  // namespace

void kz2Lookup(ULONG mode, kzRenderProg* prog, ULONG bits, ULONG pred, const kzLookupRegs& r) {
    const Lookup l{r, kzuWriter{prog, bits, kSource}, kzuWriter{prog, bits | pred, kSource}};
    const kzuWriter& emit = l.emit;
    const kzuWriter& where = l.where;
    switch (mode) {
    case 1:
        l.Fetch(r.tex0, r.dst, where);
        break;
    case 2:
        if (r.unwrapped && !r.viaScratch) {
            where(kzuInstr(KZU_OP_TEXF, r.dst, r.tex0, 0));
            break;
        }
        l.Address(KZU_u, r.U, r.maskU, emit);
        l.AddressSum(KZU_v, r.V, r.step, r.maskV, pr0, emit);
        emit(kzuInstr(KZU_OP_FRAC, pr4, r.U, 0));
        emit(kzuInstr(KZU_OP_SUB, pr2, r.one, pr4));
        l.Fetch(r.tex0, pr0, emit);
        emit(kzuInstr(KZU_OP_MUL, pr3, pr0, pr2));
        l.AddressSum(KZU_u, r.U, r.step, r.maskU, pr0, emit);
        l.Fetch(r.tex0, pr0, emit);
        emit(kzuInstr(KZU_OP_MUL, pr5, pr0, pr4));
        emit(kzuInstr(KZU_OP_ADD, pr0, pr5, pr3));
        emit(kzuInstr(KZU_OP_FRAC, pr1, r.V, 0));
        emit(kzuInstr(KZU_OP_MUL, pr3, pr0, pr1));
        emit(kzuInstr(KZU_OP_SUB, pr5, r.one, pr1));
        l.Address(KZU_v, r.V, r.maskV, emit);
        l.Fetch(r.tex0, pr0, emit);
        emit(kzuInstr(KZU_OP_MUL, pr6, pr0, pr4));
        l.Address(KZU_u, r.U, r.maskU, emit);
        l.Fetch(r.tex0, pr0, emit);
        emit(kzuInstr(KZU_OP_MUL, pr1, pr0, pr2));
        emit(kzuInstr(KZU_OP_ADD, pr0, pr1, pr6));
        emit(kzuInstr(KZU_OP_MUL, pr1, pr0, pr5));
        where(kzuInstr(KZU_OP_ADD, r.dst, pr1, pr3));
        break;
    case 3:
        l.Address(KZU_u, r.U, r.maskU, where);
        l.Address(KZU_v, r.V, r.maskV, where);
        l.Fetch(r.tex1, pr0, where);
        l.AddressSum(KZU_u, r.U, r.U, r.maskU, pr1, where);
        l.AddressSum(KZU_v, r.V, r.V, r.maskV, pr1, where);
        l.Fetch(r.tex0, pr1, where);
        where(kzuInstr(KZU_OP_MUL, pr2, r.weightA, pr0));
        where(kzuInstr(KZU_OP_MUL, pr3, r.weightB, pr1));
        where(kzuInstr(KZU_OP_ADD, r.dst, pr2, pr3));
        break;
    case 4:
        // The driver keeps this mode to 24-bit surfaces and sides up to 256:
        // no scratch pixmaps, no masks.
        emit(kzuInstr(KZU_OP_TEXF, pr7, r.tex1, 0));
        emit(kzuInstr(KZU_OP_ADDW, r.t0, r.U, r.U));
        emit(kzuInstr(KZU_OP_ADDW, r.t1, r.V, r.V));
        emit(kzuInstr(KZU_OP_COPY, KZU_u, r.t0, 0));
        emit(kzuInstr(KZU_OP_ADDW, KZU_v, r.t1, r.step));
        emit(kzuInstr(KZU_OP_FRAC, pr4, r.t0, 0));
        emit(kzuInstr(KZU_OP_SUB, pr2, r.one, pr4));
        emit(kzuInstr(KZU_OP_TEXEL, pr0, r.tex0, 0));
        emit(kzuInstr(KZU_OP_MUL, pr3, pr0, pr2));
        emit(kzuInstr(KZU_OP_ADDW, KZU_u, r.t0, r.step));
        emit(kzuInstr(KZU_OP_TEXEL, pr0, r.tex0, 0));
        emit(kzuInstr(KZU_OP_MUL, pr5, pr0, pr4));
        emit(kzuInstr(KZU_OP_ADD, pr0, pr5, pr3));
        emit(kzuInstr(KZU_OP_FRAC, pr1, r.t1, 0));
        emit(kzuInstr(KZU_OP_MUL, pr3, pr0, pr1));
        emit(kzuInstr(KZU_OP_SUB, pr5, r.one, pr1));
        emit(kzuInstr(KZU_OP_COPY, KZU_v, r.t1, 0));
        emit(kzuInstr(KZU_OP_TEXEL, pr0, r.tex0, 0));
        emit(kzuInstr(KZU_OP_MUL, pr6, pr0, pr4));
        emit(kzuInstr(KZU_OP_COPY, KZU_u, r.t0, 0));
        emit(kzuInstr(KZU_OP_TEXEL, pr0, r.tex0, 0));
        emit(kzuInstr(KZU_OP_MUL, pr1, pr0, pr2));
        emit(kzuInstr(KZU_OP_ADD, pr0, pr1, pr6));
        emit(kzuInstr(KZU_OP_MUL, pr1, pr0, pr5));
        where(kzuInstr(KZU_OP_ADD, pr0, pr1, pr3));
        emit(kzuInstr(KZU_OP_MUL, pr1, r.weightA, pr7));
        emit(kzuInstr(KZU_OP_MUL, pr2, r.weightB, pr0));
        where(kzuInstr(KZU_OP_ADD, r.dst, pr1, pr2));
        break;
    default: break;
    }
}
