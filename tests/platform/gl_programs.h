// The render programs the GL server's micro-code generator emits for the
// fragment states of the reference scenes (layout 12: a colour and a depth
// word per vertex, one colour buffer, dithering on: a dithered write below
// 24 bits a pixel), written word for word
// through the instruction description (kzuinstr.h) in the generator's
// order and registers. The board model's tests draw with them; the
// generator's own tests check that kz2_ConstructKzUcode emits the same words
// for the same states.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "kzuinstr.h"
#include "platform/gl_reference.h"

namespace vnx::glref {

inline std::uint32_t alpha9(float a) { return static_cast<std::uint32_t>(std::lrint(a * 256.0f)) & 0x1FF; }

// --- the generator's program for a state ---------------------------------------------
// The registers kz2_ConstructKzUcode hands out for layout 12: the depth in
// z0, the colour in rgb0, the pattern group pr0-7, the four work registers
// pr8-11, the colour pixmap first in the pid list, code 0 for "all tests
// passed", code 1 for the stencil test, code 2 for the stencil updates'
// inverted tests.
inline constexpr std::uint32_t S = KZU_rgb0, Zr = KZU_z0, T0 = KZU_pr8, T1 = KZU_pr9;
// The generator's fourth shared register (the texture's second), where a
// depth compare without depth writes delivers.
inline constexpr std::uint32_t T3 = KZU_pr11;
inline constexpr std::uint32_t kClip = KZU_CLIP;
constexpr std::uint32_t pred(std::uint32_t cc) { return kzuCCDescs[cc].w[KZU_CC_PRED_WORD]; }
constexpr std::uint32_t cmp(std::uint32_t cc, std::uint32_t word) { return kzuCCDescs[cc].w[word]; }

struct Program {
    std::vector<std::uint16_t> pids;
    std::vector<std::uint32_t> words;
    std::vector<std::uint32_t> constants;

    std::uint32_t pixmap(std::uint16_t pid) {
        for (std::size_t i = 0; i < pids.size(); ++i)
            if (pids[i] == pid) return KZU_pixmap0 + static_cast<std::uint32_t>(i);
        pids.push_back(pid);
        return KZU_pixmap0 + static_cast<std::uint32_t>(pids.size() - 1);
    }
    std::uint32_t constant(std::uint32_t value) {
        constants.push_back(value);
        return KZU_constant_0 + static_cast<std::uint32_t>(constants.size() - 1);
    }
    void emit(std::uint32_t w) { words.push_back(w); }
};

inline std::uint32_t code_of(unsigned glFunc) { return glFunc - kNever; }  // 0-7 in GL order

// _kzuDepthTest / _kzuAlphaTest / _kzuStencilTest, as the emitters write them.
inline void depth_test(Program& p, std::uint32_t f, std::uint32_t A, std::uint32_t B, std::uint32_t R, std::uint32_t scratch,
                std::uint32_t bits, std::uint32_t cc, std::uint32_t zero) {
    static constexpr std::uint32_t kWord[8] = {0, KZU_CMP_LT, KZU_CMP_EQ, KZU_CMP_LE, KZU_CMP_GT, 0, KZU_CMP_GE, KZU_CMP_EQ};
    switch (f) {
    case 0: p.emit(kzuInstr(cmp(cc, KZU_CMP_GT), scratch, scratch, scratch) | bits); break;
    case 5:
        p.emit(kzuInstr(KZU_OP_XOR, scratch, A, B) | (bits & ~KZU_PREDICATE));
        p.emit(kzuInstr(cmp(cc, KZU_CMP_GT), scratch, scratch, zero) | bits);
        p.emit(kzuInstr(KZU_OP_COPY, R, A, 0) | bits);
        break;
    case 7: p.emit(kzuInstr(cmp(cc, KZU_CMP_EQ), R, A, A) | bits); break;
    default: p.emit(kzuInstr(cmp(cc, kWord[f]), R, A, B) | bits); break;
    }
}
inline void alpha_test(Program& p, std::uint32_t f, std::uint32_t A, std::uint32_t B, std::uint32_t R, std::uint32_t bits,
                std::uint32_t cc, std::uint32_t zero) {
    static constexpr std::uint32_t kWord[8] = {0, KZU_CMP_LT, KZU_CMP_EQ, KZU_CMP_LE, KZU_CMP_GT, 0, KZU_CMP_GE, 0};
    switch (f) {
    case 0: p.emit(kzuInstr(cmp(cc, KZU_CMP_GT), R, R, R) | bits); break;
    case 5:
        p.emit(kzuInstr(KZU_OP_XOR, R, A, B) | bits);
        p.emit(kzuInstr(cmp(cc, KZU_CMP_GT), R, R, zero) | bits);
        break;
    case 7: p.emit(kzuInstr(cmp(cc, KZU_CMP_EQ), R, R, R) | bits); break;
    default: p.emit(kzuInstr(cmp(cc, kWord[f]), R, A, B) | bits); break;
    }
}
inline void stencil_test(Program& p, std::uint32_t f, std::uint32_t Spx, std::uint32_t ref, std::uint32_t mask,
                  std::uint32_t R, std::uint32_t T, std::uint32_t bits, std::uint32_t cc, std::uint32_t zero) {
    bits &= ~KZU_PREDICATE;
    static constexpr std::uint32_t kWord[8] = {0, KZU_CMP_LT, KZU_CMP_EQ, KZU_CMP_LE, KZU_CMP_GT, 0, KZU_CMP_GE, 0};
    p.emit(kzuInstr(KZU_OP_AND, T, Spx, mask) | bits);
    switch (f) {
    case 0: p.emit(kzuInstr(cmp(cc, KZU_CMP_GT), R, ref, ref) | bits); break;
    case 5:
        p.emit(kzuInstr(KZU_OP_XOR, R, ref, T) | bits);
        p.emit(kzuInstr(cmp(cc, KZU_CMP_GT), T, R, zero) | bits);
        break;
    case 7: p.emit(kzuInstr(cmp(cc, KZU_CMP_EQ), R, ref, ref) | bits); break;
    default: p.emit(kzuInstr(cmp(cc, kWord[f]), R, ref, T) | bits); break;
    }
}
inline void stencil_update(Program& p, unsigned op, std::uint32_t ref, std::uint32_t Spx, std::uint32_t one,
                    std::uint32_t bits, std::uint32_t zero) {
    switch (op) {
    case kZero: p.emit(kzuInstr(KZU_OP_COPY, Spx, zero, 0) | bits); break;
    case kReplace: p.emit(kzuInstr(KZU_OP_COPY, Spx, ref, 0) | bits); break;
    case kIncr: p.emit(kzuInstr(KZU_OP_ADD, Spx, Spx, one) | bits); break;
    case kDecr: p.emit(kzuInstr(KZU_OP_SUB, Spx, Spx, one) | bits); break;
    case kInvert: p.emit(kzuInstr(KZU_OP_NOT, Spx, Spx, 0) | bits); break;
    default: break;  // keep
    }
}

// _kzuLogicOp's rows: the operation written into D (t1 a work register).
inline void logic_op(Program& p, unsigned glOp, std::uint32_t s, std::uint32_t d, std::uint32_t t1, std::uint32_t bits,
              std::uint32_t zero) {
    struct Step {
        std::uint32_t op, r, a, b;
    };
    const std::uint32_t Z = zero;
    const std::vector<Step> rows[16] = {
        {{KZU_OP_COPY, d, Z, 0}},
        {{KZU_OP_AND, d, s, d}},
        {{KZU_OP_NOT, t1, d, 0}, {KZU_OP_AND, d, s, t1}},
        {{KZU_OP_COPY, d, s, 0}},
        {{KZU_OP_NOT, t1, s, 0}, {KZU_OP_AND, d, d, t1}},
        {{KZU_OP_COPY, d, d, 0}},
        {{KZU_OP_XOR, d, s, d}},
        {{KZU_OP_OR, d, s, d}},
        {{KZU_OP_OR, t1, s, d}, {KZU_OP_NOT, d, t1, 0}},
        {{KZU_OP_XOR, t1, s, d}, {KZU_OP_NOT, d, t1, 0}},
        {{KZU_OP_NOT, d, d, 0}},
        {{KZU_OP_NOT, t1, d, 0}, {KZU_OP_OR, d, s, t1}},
        {{KZU_OP_NOT, d, s, 0}},
        {{KZU_OP_NOT, t1, s, 0}, {KZU_OP_OR, d, d, t1}},
        {{KZU_OP_AND, t1, s, d}, {KZU_OP_NOT, d, t1, 0}},
        {{KZU_OP_NOT, d, Z, 0}},
    };
    for (const Step& st : rows[glOp - kClear]) p.emit(kzuInstr(st.op, st.r, st.a, st.b) | bits);
}

// The blend table without source alpha (layout 12 carries none), for the
// factor pairs the scenes use: the generator's sequence of each, with its
// saturating add on a fresh code (code 1: code 0 is held).
inline void blend(Program& p, unsigned sf, unsigned df, std::uint32_t D, std::uint32_t bits, std::uint32_t Z) {
    const std::uint32_t cc = 1;
    auto mul = [&](std::uint32_t r, std::uint32_t a, std::uint32_t b) { p.emit(kzuInstr(KZU_OP_MUL, r, a, b) | bits); };
    auto sub = [&](std::uint32_t r, std::uint32_t a, std::uint32_t b) { p.emit(kzuInstr(KZU_OP_SUB, r, a, b) | bits); };
    auto sat = [&](std::uint32_t r, std::uint32_t a, std::uint32_t b) {
        p.emit(kzuInstr(kzuCCDescs[cc].w[KZU_CC_ADDC_WORD], r, a, b) | bits);
        p.emit(kzuInstr(KZU_OP_NOT, r, Z, 0) | bits | pred(cc));
    };
    if (sf == kOne && df == kOne) {
        sat(D, S, D);
    } else if ((sf == kDstColor && df == kZero) || (sf == kZero && df == kSrcColor)) {
        mul(D, S, D);
    } else if (sf == kOne && df == kOneMinusSrcColor) {
        mul(T0, S, D);
        sub(T0, D, T0);
        sat(D, S, T0);
    } else if (sf == kZero && df == kOneMinusSrcColor) {
        mul(T0, S, D);
        sub(D, D, T0);
    } else if (sf == kOneMinusDstColor && df == kZero) {
        mul(T0, S, D);
        sub(D, S, T0);
    } else if (sf == kDstColor && df == kOne) {
        mul(T0, S, D);
        sat(D, T0, D);
    } else {
        ADD_FAILURE() << "no sequence for blend " << sf << ", " << df;
    }
}

// The pixmaps a program names.
struct ProgramPids {
    std::uint16_t colour, depth, stencil, scratch;
};

// kz2_ConstructKzUcode's program for the state (layout 12, one colour
// buffer, dithering on), in its order: shared constants, tests, colour
// write.
inline Program program_for(const State& s, int bpp, const ProgramPids& pids) {
    Program p;
    const std::uint32_t D = p.pixmap(pids.colour);
    const bool anyTest = s.alphaTest || s.stencilTest || s.depthTest;
    std::uint32_t Z = 0;  // no stage reads a zero
    if (s.depthTest || s.alphaTest || s.stencilTest || s.blend || s.logicOp) {
        Z = p.constant(0);
        if (bpp < 24) p.constant(0x7F7F7F);
    }
    std::uint32_t P = anyTest ? pred(0) : 0;
    if (s.alphaTest) {
        const std::uint32_t ref = p.constant(alpha9(s.alphaRef));
        const std::uint32_t A = p.constant(alpha9(s.alpha));
        alpha_test(p, code_of(s.alphaFunc), A, ref, T0, P | kClip | pred(0), 0, Z);
    }
    std::uint32_t Spx = 0, refC = 0, maskC = 0, one = 0;
    if (s.stencilTest) {
        Spx = p.pixmap(pids.stencil);
        maskC = p.constant(s.stencilMask & 0xFF);
        refC = p.constant(static_cast<std::uint32_t>(s.stencilRef) & s.stencilMask);
        auto counts = [](unsigned op) { return op == kIncr || op == kDecr; };
        if (counts(s.stencilFail) || (s.depthTest && counts(s.stencilZfail)) || counts(s.stencilZpass)) {
            one = (s.stencilMask & 0xFF) == 1 ? maskC
                  : (static_cast<std::uint32_t>(s.stencilRef) & s.stencilMask) == 1 ? refC
                                                                                     : p.constant(1);
        }
        const std::uint32_t f = code_of(s.stencilFunc);
        stencil_test(p, f, Spx, refC, maskC, T0, T1, kClip, 1, Z);
        if (s.stencilFail != kKeep) {
            stencil_test(p, 7 - f, Spx, refC, maskC, T0, T1, kClip, 2, Z);
            stencil_update(p, s.stencilFail, refC, Spx, one, kClip | pred(0) | pred(2), Z);
        }
        P |= pred(1);
        if (!s.depthTest) stencil_update(p, s.stencilZpass, refC, Spx, one, kClip | pred(0) | P, Z);
    }
    if (s.depthTest) {
        std::uint32_t f = code_of(s.depthFunc);
        if (s.logicOp && f == 1) f = 3;  // the generator's less-or-equal under a logic op
        if (s.logicOp && f == 4) f = 6;
        const std::uint32_t Zpx = p.pixmap(pids.depth & 31);
        const std::uint32_t R = s.depthWrites ? Zpx : T3;
        if (s.stencilTest && s.stencilZfail != kKeep) {
            depth_test(p, 7 - f, Zr, Zpx, T1, T0, kClip | P, 2, Z);
            stencil_update(p, s.stencilZfail, refC, Spx, one, kClip | pred(0) | pred(2), Z);
        }
        depth_test(p, f, Zr, Zpx, R, T0, kClip | P, 0, Z);
        if (s.stencilTest) stencil_update(p, s.stencilZpass, refC, Spx, one, kClip | pred(0) | P, Z);
    }
    const std::uint32_t bits = P | kClip;
    // The write adds the dither pattern where the pixel keeps fewer bits a
    // channel than the colour word; 8-bit channels are copied.
    auto write = [&] {
        if (bpp < 24) p.emit(kzuInstr(KZU_OP_ADD, D, S, KZU_pattern) | bits);
        else p.emit(kzuInstr(KZU_OP_COPY, D, S, 0) | bits);
    };
    if (s.blend && !(s.srcFactor == kSrcAlpha && s.dstFactor == kOneMinusSrcAlpha)) {
        p.constant(0x7000000);  // U, the blends' one
        if (bpp <= 16) p.constant(0);
        blend(p, s.srcFactor, s.dstFactor, D, bits, Z);
    } else if (s.blend) {
        p.constant(0x7000000);
        if (bpp <= 16) p.constant(0);
        write();  // alpha 1: the source replaces the destination
    } else if (s.logicOp) {
        logic_op(p, s.logic, S, D, T0, bits, Z);
    } else {
        write();
    }
    return p;
}


}  // namespace vnx::glref
