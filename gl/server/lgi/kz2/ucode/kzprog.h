// The render program record `kzRenderProg`: the program a build leaves in a
// program slot of the hardware record, words 0-135, followed by its packet
// image `kzProgPacket`, which the render functions copy as the head of every
// drawing packet they open. The instruction and header formats are those of
// kzuinstr.h. Program slots are word arrays of the hardware record; the
// record is a typed view over one.
#pragma once

#include <cstddef>

#include "kzuinstr.h"
#include "platform/kernel.h"

// Image words (counted from program word 136).
enum : ULONG {
    KZ_IMG_HEADER = 0,     // the packet command word
    KZ_IMG_CONTROL = 1,    // left for the queue code (written when the packet closes)
    KZ_IMG_BODY = 2,       // pids, instructions, clip, constants, placeholders, trailing words
    KZ_IMG_LAST_BODY = 63,
    KZ_IMG_WORDS = 64,     // image words a packet takes
    KZ_IMG_PRIM_WORDS = 65,  // where the render function's words go
    KZ_IMG_UNIT28 = 66,    // 0 lets the reservation switch off configuration bit 28
    KZ_IMG_UNIT27 = 67,    // 0 lets it switch off bit 27
    KZ_IMG_SIZE = 68,
};

struct kzProgPacket {
    ULONG w[KZ_IMG_SIZE];
};

constexpr ULONG KZ_MAX_INSTRUCTIONS = 31;  // a complete program
constexpr ULONG KZ_MAX_PIDS = 14;
constexpr ULONG KZ_INSTR_ROOM = 64;        // program words 37-100
constexpr ULONG KZ_PID_ROOM = 64;          // program words 4-35, two a word
constexpr ULONG KZ_TRAILING_ROOM = 12;
constexpr ULONG KZ_UNPLACED = 0xDEEEEEEDu;  // constants and spare words at the start of a build

struct kzRenderProg {
    ULONG valid;          // 0: 1 when complete; what the generator answers
    ULONG dataAttr;       // 1: vertex-data layout code
    ULONG header;         // 2: the packet command word
    ULONG pidCount;       // 3: pids placed; when complete, the words they fill
    ULONG pids[32];       // 4-35: 16-bit pids, two a word, the first in the low half
    ULONG instrCount;     // 36
    ULONG instr[KZ_INSTR_ROOM];  // 37-100: a complete program holds at most 31
    ULONG clipCount;      // 101: 0, or 2 with the clip words
    ULONG clipMin;        // 102: (y << 16) | x of the top-left pixel
    ULONG clipMax;        // 103: (y << 16) | x of the bottom-right pixel, inclusive
    ULONG extraFlag;      // 104: word 105 goes into the packet (set by no emitter)
    ULONG extraWord;      // 105
    ULONG trailingCount;  // 106: raised by no emitter
    ULONG trailing[KZ_TRAILING_ROOM];  // 107-118
    ULONG constantCount;  // 119: constants placed
    ULONG constants[KZU_CONSTANTS];  // 120-127: KZU_constant_0 .. 7
    ULONG spare[4];       // 128-131
    ULONG aulUnused[3];   // 132-134
    ULONG surface;        // 135: word 1 of the draw surface record
    kzProgPacket image;   // 136-
};
static_assert(offsetof(kzRenderProg, dataAttr) == 1 * 4);
static_assert(offsetof(kzRenderProg, pidCount) == 3 * 4);
static_assert(offsetof(kzRenderProg, pids) == 4 * 4);
static_assert(offsetof(kzRenderProg, instrCount) == 36 * 4);
static_assert(offsetof(kzRenderProg, instr) == 37 * 4);
static_assert(offsetof(kzRenderProg, clipCount) == 101 * 4);
static_assert(offsetof(kzRenderProg, clipMin) == 102 * 4);
static_assert(offsetof(kzRenderProg, extraFlag) == 104 * 4);
static_assert(offsetof(kzRenderProg, trailingCount) == 106 * 4);
static_assert(offsetof(kzRenderProg, trailing) == 107 * 4);
static_assert(offsetof(kzRenderProg, constantCount) == 119 * 4);
static_assert(offsetof(kzRenderProg, constants) == 120 * 4);
static_assert(offsetof(kzRenderProg, spare) == 128 * 4);
static_assert(offsetof(kzRenderProg, surface) == 135 * 4);
static_assert(offsetof(kzRenderProg, image) == 136 * 4);
static_assert(sizeof(kzRenderProg) == (136 + KZ_IMG_SIZE) * 4);

// The program record in a program slot of the hardware record.
inline kzRenderProg* pkzProgOf(ULONG* pulSlot) { return reinterpret_cast<kzRenderProg*>(pulSlot); }

// The clip pair of every pass that clips to a rectangle: the screen pixels
// x0 .. x1 - 1 and y0 .. y1 - 1 (x1 and y1 the first column and row past
// it) as (y << 16) | x of its top-left pixel and of its bottom-right pixel,
// the last one inside: the board's clip takes both ends in. Minima below 0
// are 0; a rectangle without pixels gets a pair no pixel lies in.
struct kzClipPair {
    ULONG min = 0x00010001u;
    ULONG max = 0;
    bool empty() const { return max == 0 && min == 0x00010001u; }
};
inline kzClipPair kzClipPairOf(LONG x0, LONG y0, LONG x1, LONG y1) {
    x0 = x0 < 0 ? 0 : x0;
    y0 = y0 < 0 ? 0 : y0;
    x1 = x1 > 0x10000 ? 0x10000 : x1;
    y1 = y1 > 0x10000 ? 0x10000 : y1;
    kzClipPair c;
    if (x1 <= x0 || y1 <= y0) return c;
    c.min = (static_cast<ULONG>(y0) << 16) | static_cast<ULONG>(x0);
    c.max = (static_cast<ULONG>(y1 - 1) << 16) | static_cast<ULONG>(x1 - 1);
    return c;
}
// The same pair from packed corners: the top-left pixel and the far corner
// (the first column and row past the rectangle, as the context's packed
// clip rectangles hold it), both (y << 16) | x.
inline kzClipPair kzClipPairOfPacked(ULONG min, ULONG end) {
    return kzClipPairOf(static_cast<LONG>(min & 0xFFFFu), static_cast<LONG>(min >> 16),
                        static_cast<LONG>(end & 0xFFFFu), static_cast<LONG>(end >> 16));
}
// Writes a program's clip pair (and marks it present).
inline void kzSetClipPair(kzRenderProg* prog, const kzClipPair& c) {
    prog->clipCount = 2;
    prog->clipMin = c.min;
    prog->clipMax = c.max;
}

// --- building ---------------------------------------------------------------------------
// Clears the record for a new build: every count 0, the constants and spare
// words KZ_UNPLACED, the header and dataAttr as given.
void kzStartProgram(kzRenderProg* prog, ULONG header, ULONG dataAttr);

// Places a pid at the end of the pid list and answers its position. A pid
// above 0xFFFE is reported ("fixing up bogus pid %xh, line %d!?!\n", with the
// caller's line) and replaced by pidDefault. Beyond the list's room nothing
// is written but the count still grows, so the program is refused when it is
// finished.
ULONG kzPlacePid(kzRenderProg* prog, ULONG pid, ULONG pidDefault, int line = __builtin_LINE());
// The pid at position n of a program being built or finished (a finished
// program with an odd count answers 0 for the half word after its last).
ULONG kzPidAt(const kzRenderProg* prog, ULONG n);

// Stores the value of a constant register (KZU_constant_0 .. 7) and counts it.
void kzPlaceConstant(kzRenderProg* prog, ULONG reg, ULONG value);

// Appends one instruction word; the trace switch prints it as "adding
// instruction %x at %s %d\n" with the source and line given. Beyond the
// record's room nothing is written but the count still grows, so the
// program is refused when it is finished.
void _kzuEmit(kzRenderProg* prog, ULONG word, const char* source, int line);

// An emitter's writer: appends words ORed with the caller's bits, traced
// with the emitter's source name and the line that placed them.
struct kzuWriter {
    kzRenderProg* prog;
    ULONG bits;
    const char* source;
    void operator()(ULONG word, int line = __builtin_LINE()) const { _kzuEmit(prog, word | bits, source, line); }
};

// Finishes a built program: refuses it (valid 0, answer 0) when it holds
// more than 31 instructions or 14 pids, when its image would not fit, or
// when the register allocator had to give one register to two live values
// (kzAllocConflict); otherwise puts the instruction and pid-word counts
// into the header, turns the pid count into the words they fill, writes the
// packet image with the two unit flags, and answers 1. The valid word is the
// caller's to set.
ULONG kzSerialiseProgram(kzRenderProg* prog, ULONG flag66, ULONG flag67);

// --- the generator trace ------------------------------------------------------------------
// The process-wide trace switch: off at start; a successful build switches
// it off.
extern ULONG gkzTrace;
// Prints a finished program (kzSerialiseProgram) on the debugger: its dataAttr, constants
// format, header, pids, instructions (each with its disassembly), clip
// words, constants and trailing words.
void kzTraceProgram(const kzRenderProg* prog);
