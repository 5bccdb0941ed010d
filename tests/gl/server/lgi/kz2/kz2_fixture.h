// Helpers of the micro-code generator's tests: a fixture with a fresh
// program and allocator, the instruction layout written out on its own (so
// the expected words do not come from the encoder under test), a small
// assembler for the disassembler's text, and a bitwise evaluator of the
// logic opcodes, whose meaning the program format itself states.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzprog.h"
#include "kz2/ucode/kzuemit.h"
#include "platform/debug.h"

namespace kz2_test {

// opcode | R << 6 | B << 11 | A << 17, operands six bits wide.
constexpr ULONG W(ULONG op, ULONG r, ULONG a, ULONG b) { return op | r << 6 | b << 11 | a << 17; }

// Registers the tests hand the emitters.
constexpr ULONG s = 27;        // rgb0
constexpr ULONG d = 14;        // the pixmap at pid position 1
constexpr ULONG t1 = 8, t2 = 9;  // pr8, pr9
constexpr ULONG zero = 32, mask = 33, low = 34, bit = 35;  // c0-c3
constexpr ULONG clip = 0x10000000u, ifcc0 = 0x20000000u, ifcc1 = 0x40000000u, ifcc2 = 0x80000000u;

class Kz2Test : public ::testing::Test {
  protected:
    void SetUp() override {
        kzResetRegisterResources();
        kzSetBuildPids(0x0041u, 0x2003u);
        kzStartProgram(&prog_, 0, 2);
        gkzTrace = 0;
        vnx::debug::clear();
    }
    void TearDown() override {
        gkzTrace = 0;
        vnx::debug::clear();
    }
    std::vector<ULONG> Words() const {
        return std::vector<ULONG>(prog_.instr, prog_.instr + std::min<ULONG>(prog_.instrCount, KZ_INSTR_ROOM));
    }
    void Restart() { kzStartProgram(&prog_, 0, 2); }

    kzRenderProg prog_{};
};

// --- the disassembler's text back to a word ---------------------------------------------
inline ULONG ulRegister(const std::string& t) {
    static const std::map<std::string, ULONG> named = {
        {"pattern", 12}, {"rgb0", 27}, {"u", 27}, {"z0", 28}, {"v", 28}, {"z1", 29}, {"z2", 30}};
    if (auto it = named.find(t); it != named.end()) return it->second;
    if (t.rfind("pr", 0) == 0) return std::stoul(t.substr(2));
    if (t.rfind("px", 0) == 0) return 13 + std::stoul(t.substr(2));
    if (t.rfind("c", 0) == 0) return 32 + std::stoul(t.substr(1));
    if (t.rfind("r", 0) == 0) return std::stoul(t.substr(1));
    ADD_FAILURE() << "no register " << t;
    return 0;
}

inline ULONG ulOpcode(const std::string& m) {
    static const std::map<std::string, ULONG> plain = {
        {"and", 0x00}, {"or", 0x01}, {"xor", 0x02}, {"nor", 0x03}, {"andnot", 0x05}, {"not", 0x07},
        {"copy", 0x08}, {"add", 0x09}, {"sub", 0x0A}, {"mul", 0x1D}, {"addw", 0x1F}, {"texel", 0x32},
        {"texf", 0x33}, {"frac", 0x34}};
    if (auto it = plain.find(m); it != plain.end()) return it->second;
    if (m.rfind("op", 0) == 0) return std::stoul(m.substr(2), nullptr, 16);
    const auto dot = m.find(".cc");
    if (dot == std::string::npos) {
        ADD_FAILURE() << "no opcode " << m;
        return 0;
    }
    const std::string base = m.substr(0, dot);
    const ULONG cc = std::stoul(m.substr(dot + 3));
    static const std::vector<std::string> ccOps = {"ccop0", "ccop1", "ccop2", "ccop3", "cmpgt", "addc"};
    static const std::vector<std::string> cmps = {"lt", "le", "eq", "ge", "gt"};
    for (ULONG i = 0; i < ccOps.size(); ++i)
        if (ccOps[i] == base) return 0x0B + 6 * cc + i;
    for (ULONG i = 0; i < cmps.size(); ++i)
        if (cmps[i] == base) return 0x21 + 5 * cc + i;
    ADD_FAILURE() << "no opcode " << m;
    return 0;
}

inline ULONG ulAssemble(const std::string& text) {
    std::istringstream in(text);
    std::string op, tok;
    in >> op;
    std::vector<std::string> regs;
    ULONG flags = 0;
    while (in >> tok) {
        if (tok.back() == ',') tok.pop_back();
        if (tok == "join") flags |= 1u << 23;
        else if (tok == "clamp") flags |= 1u << 24;
        else if (tok == "stipple") flags |= 3u << 25;
        else if (tok == "bit25") flags |= 1u << 25;
        else if (tok == "bit26") flags |= 1u << 26;
        else if (tok == "bit27") flags |= 1u << 27;
        else if (tok == "clip") flags |= 1u << 28;
        else if (tok == "if") {
            in >> tok;
            flags |= 1u << (29 + (tok.back() - '0'));
        } else regs.push_back(tok);
    }
    EXPECT_GE(regs.size(), 2u) << text;
    if (regs.size() < 2) return 0;
    const ULONG b = regs.size() > 2 ? ulRegister(regs[2]) : 0;
    return W(ulOpcode(op), ulRegister(regs[0]), ulRegister(regs[1]), b) | flags;
}

// --- bitwise evaluation of a program of logic opcodes -------------------------------------
// Runs the words over a register file; answers false on an opcode that is
// not one of the bitwise ones or on a predicated word.
inline bool bRunBitwise(const std::vector<ULONG>& words, std::array<ULONG, 64>& reg) {
    for (ULONG w : words) {
        if (w & 0xE0000000u) return false;
        const ULONG a = reg[(w >> 17) & 63], b = reg[(w >> 11) & 63];
        ULONG& r = reg[(w >> 6) & 31];
        switch (w & 63) {
        case 0x00: r = a & b; break;
        case 0x01: r = a | b; break;
        case 0x02: r = a ^ b; break;
        case 0x03: r = ~(a | b); break;
        case 0x05: r = a & ~b; break;
        case 0x07: r = ~a; break;
        case 0x08: r = a; break;
        default: return false;
        }
    }
    return true;
}

// GL's logic operation op (0-15) on s and d.
inline ULONG ulGLLogic(ULONG op, ULONG sv, ULONG dv) {
    // Each op's truth table: bit (s << 1 | d) holds the result for that s and d.
    static constexpr ULONG kTable[16] = {0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE,
                                         0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF};
    ULONG out = 0;
    for (int i = 0; i < 32; ++i) {
        const ULONG sb = (sv >> i) & 1, db = (dv >> i) & 1;
        const ULONG index = (sb << 1 | db);  // 3: s1 d1, 2: s1 d0, 1: s0 d1, 0: s0 d0
        out |= ((kTable[op] >> index) & 1u) << i;
    }
    return out;
}

}  // namespace kz2_test
