// The rasterizers' render-program formats, described once: the instruction
// word `kzuInstr` (fields, opcodes, flag bits), the register numbering
// `kzuRegister`, the condition-code descriptors `kzuCCDesc`, and the packet
// command word that heads every drawing packet. The GL server's micro-code
// generator encodes with these definitions, its disassembler decodes with
// them, and the board model decodes the programs it runs with them; nothing
// here says what an opcode computes (that is the board's).
//
// Instruction word (32 bits):
//
//   bits 0-5    opcode
//   bits 6-10   R, the result register (5 bits)
//   bits 11-16  B, the second operand (6 bits)
//   bits 17-22  A, the first operand (6 bits)
//   bit  23     join: the compare is combined into the code an earlier test left
//   bit  24     clamp: the blend emitters' clamp compares (A written as reg + 0x80)
//   bits 25-26  stipple: set on every instruction of a stippled-line program
//   bit  27     0
//   bit  28     clip: the instruction runs under the clip rectangle
//   bits 29-31  run only where KZU_cc0 / KZU_cc1 / KZU_cc2 is true
//
// The operand fields are six bits wide because constants are registers
// 32-39 and stand in A and B; a result is never a constant, so R keeps five.
#pragma once

#include <cstdint>

// --- registers (kzuRegister) ------------------------------------------------------
enum : std::uint32_t {
    KZU_pr0 = 0,  // pixel work registers 0-11
    KZU_pr1, KZU_pr2, KZU_pr3, KZU_pr4, KZU_pr5, KZU_pr6, KZU_pr7, KZU_pr8, KZU_pr9, KZU_pr10,
    KZU_pr11,
    KZU_pattern = 12,     // the dither pattern register
    KZU_pixmap0 = 13,     // 13 + n: the pixmap at position n of the program's pid list
    KZU_pixmapLast = 26,  // n = 13
    KZU_rgb0 = 27,        // data register: colour of the primitive data
    KZU_u = 27,           // ... as a result: the texel address register u
    KZU_z0 = 28,          // data registers: depth and further data words
    KZU_v = 28,           // ... 28 as a result: the texel address register v
    KZU_z1 = 29,
    KZU_z2 = 30,
    KZU_constant_0 = 32,  // constant registers 32-39 (program words 120-127)
    KZU_constant_1, KZU_constant_2, KZU_constant_3, KZU_constant_4, KZU_constant_5,
    KZU_constant_6,
    KZU_constant_7 = 39,
    KZU_cc0 = 40,  // condition codes, named only when released
    KZU_cc1 = 41,
    KZU_cc2 = 42,
};
constexpr std::uint32_t KZU_PIXMAPS = 14;   // pid positions a program can name
constexpr std::uint32_t KZU_CONSTANTS = 8;

// --- instruction fields -------------------------------------------------------------
constexpr std::uint32_t KZU_OP_MASK = 0x3Fu;
constexpr std::uint32_t KZU_R_SHIFT = 6, KZU_R_MASK = 0x1Fu;
constexpr std::uint32_t KZU_B_SHIFT = 11, KZU_B_MASK = 0x3Fu;
constexpr std::uint32_t KZU_A_SHIFT = 17, KZU_A_MASK = 0x3Fu;
constexpr std::uint32_t KZU_JOIN = 0x00800000u;     // bit 23
constexpr std::uint32_t KZU_CLAMP = 0x01000000u;    // bit 24 (A + 0x80)
constexpr std::uint32_t KZU_STIPPLE = 0x06000000u;  // bits 25-26
constexpr std::uint32_t KZU_CLIP = 0x10000000u;     // bit 28
constexpr std::uint32_t KZU_IF_CC0 = 0x20000000u;   // bit 29 (also A + 0x1000)
constexpr std::uint32_t KZU_IF_CC1 = 0x40000000u;   // bit 30
constexpr std::uint32_t KZU_IF_CC2 = 0x80000000u;   // bit 31
constexpr std::uint32_t KZU_PREDICATE = 0xE0000000u;
// Bits no instruction sets.
constexpr std::uint32_t KZU_RESERVED = 0x08000000u;  // bit 27

// The instruction opcode(R <- A, B); fields wider than their room are cut
// to it.
constexpr std::uint32_t kzuInstr(std::uint32_t op, std::uint32_t r, std::uint32_t a, std::uint32_t b) {
    return (op & KZU_OP_MASK) | ((r & KZU_R_MASK) << KZU_R_SHIFT) | ((b & KZU_B_MASK) << KZU_B_SHIFT) |
           ((a & KZU_A_MASK) << KZU_A_SHIFT);
}
constexpr std::uint32_t kzuOpcode(std::uint32_t w) { return w & KZU_OP_MASK; }
constexpr std::uint32_t kzuR(std::uint32_t w) { return (w >> KZU_R_SHIFT) & KZU_R_MASK; }
constexpr std::uint32_t kzuB(std::uint32_t w) { return (w >> KZU_B_SHIFT) & KZU_B_MASK; }
constexpr std::uint32_t kzuA(std::uint32_t w) { return (w >> KZU_A_SHIFT) & KZU_A_MASK; }
// The bits outside the opcode and register fields.
constexpr std::uint32_t kzuFlags(std::uint32_t w) { return w & 0xFF800000u; }

// --- opcodes ------------------------------------------------------------------------
enum : std::uint32_t {
    KZU_OP_AND = 0x00,     // R = A AND B
    KZU_OP_OR = 0x01,      // R = A OR B
    KZU_OP_XOR = 0x02,     // R = A XOR B
    KZU_OP_NOR = 0x03,     // R = NOT (A OR B)
    KZU_OP_ANDNOT = 0x05,  // R = A AND NOT B
    KZU_OP_NOT = 0x07,     // R = NOT A
    KZU_OP_COPY = 0x08,    // R = A
    KZU_OP_ADD = 0x09,     // R = A + B per colour channel
    KZU_OP_SUB = 0x0A,     // R = A - B
    KZU_OP_CC0 = 0x0B,     // 0x0B-0x10: descriptor words 0-5 of KZU_cc0
    KZU_OP_CC1 = 0x11,     // 0x11-0x16: ... of KZU_cc1
    KZU_OP_CC2 = 0x17,     // 0x17-0x1C: ... of KZU_cc2
    KZU_OP_MUL = 0x1D,     // R = A x B per colour channel
    KZU_OP_ADDW = 0x1F,    // R = A + B as a whole word
    KZU_OP_CMP0 = 0x21,    // 0x21-0x25: lt, le, eq, ge, gt into KZU_cc0
    KZU_OP_CMP1 = 0x26,    // 0x26-0x2A: ... into KZU_cc1
    KZU_OP_CMP2 = 0x2B,    // 0x2B-0x2F: ... into KZU_cc2
    KZU_OP_TEXEL = 0x32,   // R = texel of pixmap A at (KZU_u, KZU_v)
    KZU_OP_TEXF = 0x33,    // R = filtered texel of pixmap A
    KZU_OP_FRAC = 0x34,    // R = fraction of coordinate A
};
// Condition-code operations per code: descriptor words 0-5. Word 4 sets the
// code where A exceeds B (delivering A to R there); word 5 adds A and B into
// R and sets the code where the sum overflows.
constexpr std::uint32_t KZU_CC_OPS = 6;
constexpr std::uint32_t KZU_CC_GT_WORD = 4;
constexpr std::uint32_t KZU_CC_ADDC_WORD = 5;
// Compares per code: descriptor words 6-10 (less, less-or-equal, equal,
// greater-or-equal, greater). Where the compare holds, A is delivered to R.
constexpr std::uint32_t KZU_CMPS = 5;
constexpr std::uint32_t KZU_CMP_LT = 6, KZU_CMP_LE = 7, KZU_CMP_EQ = 8, KZU_CMP_GE = 9, KZU_CMP_GT = 10;
constexpr std::uint32_t KZU_CC_PRED_WORD = 11;

// The descriptor of a condition code: its six operations, its five compares
// and its predicate bit. A condition-code handle points at one of these.
struct kzuCCDesc {
    std::uint32_t w[12];
};
inline constexpr kzuCCDesc kzuCCDescs[3] = {
    {{0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x21, 0x22, 0x23, 0x24, 0x25, KZU_IF_CC0}},
    {{0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x26, 0x27, 0x28, 0x29, 0x2A, KZU_IF_CC1}},
    {{0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, KZU_IF_CC2}},
};

// What an opcode is, for decoders.
enum kzuOpKind : std::uint32_t {
    KZU_KIND_UNKNOWN,
    KZU_KIND_PLAIN,    // a bitwise, copy, arithmetic or texture operation
    KZU_KIND_CC_OP,    // condition-code operation: cc() and word() tell which
    KZU_KIND_COMPARE,  // compare: cc() and word() (6-10) tell which
};
struct kzuOpInfo {
    kzuOpKind kind;
    std::uint32_t cc;    // 0-2 for condition-code operations and compares
    std::uint32_t word;  // the descriptor word (0-5, 6-10)
    const char* name;    // mnemonic; the code is appended for cc operations and compares
};
constexpr kzuOpInfo kzuDecodeOp(std::uint32_t op) {
    switch (op) {
    case KZU_OP_AND: return {KZU_KIND_PLAIN, 0, 0, "and"};
    case KZU_OP_OR: return {KZU_KIND_PLAIN, 0, 0, "or"};
    case KZU_OP_XOR: return {KZU_KIND_PLAIN, 0, 0, "xor"};
    case KZU_OP_NOR: return {KZU_KIND_PLAIN, 0, 0, "nor"};
    case KZU_OP_ANDNOT: return {KZU_KIND_PLAIN, 0, 0, "andnot"};
    case KZU_OP_NOT: return {KZU_KIND_PLAIN, 0, 0, "not"};
    case KZU_OP_COPY: return {KZU_KIND_PLAIN, 0, 0, "copy"};
    case KZU_OP_ADD: return {KZU_KIND_PLAIN, 0, 0, "add"};
    case KZU_OP_SUB: return {KZU_KIND_PLAIN, 0, 0, "sub"};
    case KZU_OP_MUL: return {KZU_KIND_PLAIN, 0, 0, "mul"};
    case KZU_OP_ADDW: return {KZU_KIND_PLAIN, 0, 0, "addw"};
    case KZU_OP_TEXEL: return {KZU_KIND_PLAIN, 0, 0, "texel"};
    case KZU_OP_TEXF: return {KZU_KIND_PLAIN, 0, 0, "texf"};
    case KZU_OP_FRAC: return {KZU_KIND_PLAIN, 0, 0, "frac"};
    default: break;
    }
    constexpr const char* kCcNames[KZU_CC_OPS] = {"ccop0", "ccop1", "ccop2", "ccop3", "cmpgt", "addc"};
    constexpr const char* kCmpNames[KZU_CMPS] = {"lt", "le", "eq", "ge", "gt"};
    if (op >= KZU_OP_CC0 && op < KZU_OP_CC0 + 3 * KZU_CC_OPS) {
        const std::uint32_t k = op - KZU_OP_CC0;
        return {KZU_KIND_CC_OP, k / KZU_CC_OPS, k % KZU_CC_OPS, kCcNames[k % KZU_CC_OPS]};
    }
    if (op >= KZU_OP_CMP0 && op < KZU_OP_CMP0 + 3 * KZU_CMPS) {
        const std::uint32_t k = op - KZU_OP_CMP0;
        return {KZU_KIND_COMPARE, k / KZU_CMPS, KZU_CMP_LT + k % KZU_CMPS, kCmpNames[k % KZU_CMPS]};
    }
    return {KZU_KIND_UNKNOWN, 0, 0, nullptr};
}

// --- packet command word (program header) -------------------------------------------------
constexpr std::uint32_t KZU_HDR_CLASS_MASK = 0x1Fu;   // bits 0-4 primitive class
constexpr std::uint32_t KZU_HDR_LINE = 0x10u;         // bit 4: every line program
constexpr std::uint32_t KZU_HDR_CLIP = 0x20u;         // the two clip words follow the instructions
constexpr std::uint32_t KZU_HDR_OPTIONS = 0x180u;     // bits 7-8 from the selector's flags
constexpr std::uint32_t KZU_HDR_STIPPLE = 0x100u;     // a stippled line
constexpr std::uint32_t KZU_HDR_FROM_FLAGS = 0x19Fu;  // what a build takes from its flags
constexpr std::uint32_t KZU_HDR_CONSTANTS_MASK = 0xC00u;  // KZU_constants_fmt
constexpr std::uint32_t KZU_CONSTANTS_NONE = 0x000u;
constexpr std::uint32_t KZU_CONSTANTS_8_PER_PKT = 0x400u;
constexpr std::uint32_t KZU_CONSTANTS_8_PER_PRIM = 0x800u;
constexpr std::uint32_t KZU_CONSTANTS_4_AND_4 = 0xC00u;  // 4 per packet and 4 per primitive
constexpr std::uint32_t KZU_HDR_INSTR_SHIFT = 20, KZU_HDR_INSTR_MASK = 0x1Fu;  // bits 20-24
constexpr std::uint32_t KZU_HDR_PIDW_SHIFT = 25, KZU_HDR_PIDW_MASK = 0x7u;     // bits 25-27
constexpr std::uint32_t KZU_HDR_RESERVED = 0xF0000240u;  // bits 6, 9, 28-31

// Load kinds of the data registers (bits 12-19, two per register 27-30), as
// the generator numbers them (its colour forms 2, 1 and 0 load rgb0 with
// kinds 1, 2 and 3; depth in line and polygon programs is kind 3). A kind
// means the same in every primitive class, whoever sends the packet.
enum : std::uint32_t {
    KZU_LOAD_NONE = 0,       // the register is not loaded
    KZU_LOAD_PACKET = 1,     // one word a packet, in the packet head
    KZU_LOAD_PRIMITIVE = 2,  // one word a primitive (a face's or a segment's)
    KZU_LOAD_VERTEX = 3,     // one word a vertex, interpolated over the primitive
};
constexpr std::uint32_t kzuHdrLoadShift(std::uint32_t reg) { return 12 + 2 * (reg - KZU_rgb0); }
constexpr std::uint32_t kzuHdrLoadKind(std::uint32_t reg, std::uint32_t kind) {
    return (kind & 3u) << kzuHdrLoadShift(reg);
}
constexpr std::uint32_t kzuHdrLoadKindOf(std::uint32_t header, std::uint32_t reg) {
    return (header >> kzuHdrLoadShift(reg)) & 3u;
}
constexpr std::uint32_t kzuHdrInstructions(std::uint32_t header) {
    return (header >> KZU_HDR_INSTR_SHIFT) & KZU_HDR_INSTR_MASK;
}
constexpr std::uint32_t kzuHdrPidWords(std::uint32_t header) {
    return (header >> KZU_HDR_PIDW_SHIFT) & KZU_HDR_PIDW_MASK;
}
// Whether a packet's clip maximum is the last pixel inside (true) or the
// first column and row past it. Single pixels (class 0) and squares and
// plain rectangles (class 6 without mask data or a constants block) end
// their clip pair at the last pixel inside, as every render program's does;
// the other 2D kinds (mask fills, expansions, glyphs, lines, block copies)
// end it past the maximum. The board and every writer of a clip pair that
// moves its maximum (the split-screen clamp) take it from here.
constexpr bool kzuClipMaxIncluded(std::uint32_t header) {
    const std::uint32_t cls = header & KZU_HDR_CLASS_MASK;
    if (cls == 0) return true;
    return cls == 6 && (header & (0x380u | KZU_HDR_CONSTANTS_MASK)) == 0;
}
// Constant words that travel in the packet, and the room the packet keeps
// for them ahead of the render function's words, by constants format.
constexpr std::uint32_t kzuConstantsInPacket(std::uint32_t fmt) {
    return fmt == KZU_CONSTANTS_8_PER_PKT ? 8u : fmt == KZU_CONSTANTS_4_AND_4 ? 4u : 0u;
}
constexpr std::uint32_t kzuConstantsRoom(std::uint32_t fmt) {
    return fmt == KZU_CONSTANTS_NONE ? 0u : fmt == KZU_CONSTANTS_4_AND_4 ? 4u : 8u;
}

static_assert(kzuInstr(KZU_OP_COPY, KZU_pixmap0, KZU_rgb0, 0) == 0x00360348u,
              "copy rgb0 into the first pixmap");
static_assert(kzuA(kzuInstr(0, 0, KZU_constant_7, 0)) == KZU_constant_7 &&
                  kzuB(kzuInstr(0, 0, 0, KZU_constant_7)) == KZU_constant_7,
              "constants fit the operand fields");
static_assert(((KZU_A_MASK << KZU_A_SHIFT) & (KZU_JOIN | KZU_CLAMP | KZU_PREDICATE)) == 0,
              "operand fields end below the flag bits");
static_assert((KZU_HDR_FROM_FLAGS | KZU_HDR_CLIP | KZU_HDR_CONSTANTS_MASK | (0xFFu << 12) |
               (KZU_HDR_INSTR_MASK << KZU_HDR_INSTR_SHIFT) | (KZU_HDR_PIDW_MASK << KZU_HDR_PIDW_SHIFT)) ==
                  ~KZU_HDR_RESERVED,
              "header fields cover every bit but the reserved ones");
