// Raster operations on rows of pixel values.
//
// A ROP3 is a truth table: bit i of the code is the result for pattern,
// source and destination bits (P << 2 | S << 1 | D) = i. Any code is
// evaluated bitwise as a tree of selections on P, S and D between its eight
// result bits; the common codes have rows of their own, chosen from a table.
#include "drawing.h"

namespace vnx::engine {

namespace {

// a where m is set, b elsewhere.
inline ULONG select(ULONG m, ULONG a, ULONG b) { return b ^ ((a ^ b) & m); }

// Result bit i of the code as a whole word.
inline ULONG result_word(ULONG rop3, int i) { return ((rop3 >> i) & 1u) ? 0xFFFFFFFFu : 0u; }

struct Tree {
    ULONG c[8];
    explicit Tree(ULONG rop3) {
        for (int i = 0; i < 8; ++i) c[i] = result_word(rop3, i);
    }
    ULONG operator()(ULONG p, ULONG s, ULONG d) const {
        const ULONG s1 = select(s, select(d, c[7], c[6]), select(d, c[5], c[4]));
        const ULONG s0 = select(s, select(d, c[3], c[2]), select(d, c[1], c[0]));
        return select(p, s1, s0);
    }
};

template <class F>
void each(const ULONG* p, const ULONG* s, const ULONG* d, ULONG* out, LONG n, F f) {
    for (LONG i = 0; i < n; ++i) out[i] = f(p ? p[i] : 0, s ? s[i] : 0, d ? d[i] : 0);
}

using RowFn = void (*)(const ULONG*, const ULONG*, const ULONG*, ULONG*, LONG);

#define ROP_ROW(expr)                                                                   \
    [](const ULONG* pp, const ULONG* ps, const ULONG* pd, ULONG* po, LONG n) {          \
        each(pp, ps, pd, po, n, [](ULONG P, ULONG S, ULONG D) {                         \
            (void)P, (void)S, (void)D;                                                  \
            return static_cast<ULONG>(expr);                                            \
        });                                                                             \
    }

struct RopRow {
    ULONG rop3;
    RowFn fn;
};

// The codes drawing uses most, each with its expression.
const RopRow kRopRows[] = {
    {0x00, ROP_ROW(0u)},              // BLACKNESS
    {0xFF, ROP_ROW(0xFFFFFFFFu)},     // WHITENESS
    {0xCC, ROP_ROW(S)},               // SRCCOPY
    {0x33, ROP_ROW(~S)},              // NOTSRCCOPY
    {0xF0, ROP_ROW(P)},               // PATCOPY
    {0x0F, ROP_ROW(~P)},              // NOTPATCOPY
    {0x55, ROP_ROW(~D)},              // DSTINVERT
    {0x66, ROP_ROW(S ^ D)},           // SRCINVERT
    {0x88, ROP_ROW(S & D)},           // SRCAND
    {0xEE, ROP_ROW(S | D)},           // SRCPAINT
    {0x44, ROP_ROW(S & ~D)},          // SRCERASE
    {0x11, ROP_ROW(~(S | D))},        // NOTSRCERASE
    {0xBB, ROP_ROW(~S | D)},          // MERGEPAINT
    {0xC0, ROP_ROW(P & S)},           // MERGECOPY
    {0x5A, ROP_ROW(P ^ D)},           // PATINVERT
    {0xA0, ROP_ROW(P & D)},
    {0xFA, ROP_ROW(P | D)},
    {0xB8, ROP_ROW((S & D) | (P & ~S))},  // pattern where the source is 0
    {0xE2, ROP_ROW((S & P) | (D & ~S))},  // pattern where the source is 1
};

#undef ROP_ROW

}  // namespace

ULONG rop3_value(ULONG rop3, ULONG p, ULONG s, ULONG d) { return Tree(rop3 & 0xFF)(p, s, d); }

void rop3_row(ULONG rop3, const ULONG* pulP, const ULONG* pulS, const ULONG* pulD, ULONG* pulOut,
              LONG n) {
    rop3 &= 0xFF;
    if (rop3 == 0xAA) {  // the destination as it is
        for (LONG i = 0; i < n; ++i) pulOut[i] = pulD[i];
        return;
    }
    for (const RopRow& r : kRopRows) {
        if (r.rop3 == rop3) {
            r.fn(pulP, pulS, pulD, pulOut, n);
            return;
        }
    }
    const Tree tree(rop3);
    each(pulP, pulS, pulD, pulOut, n, tree);
}

}  // namespace vnx::engine
