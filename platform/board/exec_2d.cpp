// The 2D drawing packets carried out into board memory: rectangles and points
// under a program of raster-operation instructions (opcodes 0-8), the pattern
// register, the mask pattern and its load. The rules are in platform/board.h
// ("Execution"); the pixel formats' conversions are in formats.cpp.
//
// A primitive is cut into spans (exec.h), the program run over a whole span
// at once.
#include <algorithm>
#include <iterator>
#include <cstring>

#include "exec.h"

namespace vnx::board::exec {

namespace {

// Register numbers of the instruction word's fields.
constexpr std::uint32_t kRegZero = 0;
constexpr std::uint32_t kRegPattern = 12;
constexpr std::uint32_t kRegLow = 13;   // pixmap of the low half of the pid word
constexpr std::uint32_t kRegHigh = 14;  // pixmap of the high half
constexpr std::uint32_t kRegData = 27;  // 27-30: the packet's data registers

// Register number -> row of the span's register arrays; -1 = not a register
// the 2D programs use.
constexpr int kNoSlot = -1;
constexpr int slot_of(std::uint32_t reg) {
    if (reg == kRegZero) return 0;
    if (reg >= 8 && reg <= kRegHigh) return 1 + static_cast<int>(reg - 8);         // 1..7
    if (reg >= kRegData && reg <= 30) return 8 + static_cast<int>(reg - kRegData);  // 8..11
    return kNoSlot;
}
static_assert(slot_of(30) + 1 == kSlots);
constexpr int kSlotPattern = slot_of(kRegPattern);
constexpr int kSlotLow = slot_of(kRegLow);
constexpr int kSlotHigh = slot_of(kRegHigh);

// Control-word bits of the second screen's packets on a split board, and
// where that screen starts in x.
constexpr std::uint32_t kSecondScreenBits = 0x70000u;
constexpr std::int64_t kSecondScreenX = 1024;

void run_instruction(const Instr& in, std::uint32_t (*reg)[kTile], int n, std::uint32_t* out) {
    const std::uint32_t* a = reg[in.a];
    const std::uint32_t* b = reg[in.b];
    switch (in.op) {
    case kOpAnd: for (int i = 0; i < n; ++i) out[i] = a[i] & b[i]; break;
    case kOpOr: for (int i = 0; i < n; ++i) out[i] = a[i] | b[i]; break;
    case kOpXor: for (int i = 0; i < n; ++i) out[i] = a[i] ^ b[i]; break;
    case kOpNor: for (int i = 0; i < n; ++i) out[i] = ~(a[i] | b[i]); break;
    case kOpNand: for (int i = 0; i < n; ++i) out[i] = ~(a[i] & b[i]); break;
    case kOpAndNot: for (int i = 0; i < n; ++i) out[i] = a[i] & ~b[i]; break;
    case kOpOrNot: for (int i = 0; i < n; ++i) out[i] = a[i] | ~b[i]; break;
    case kOpNot: for (int i = 0; i < n; ++i) out[i] = ~a[i]; break;
    default: std::memmove(out, a, sizeof(std::uint32_t) * static_cast<std::size_t>(n)); break;  // kOpMove
    }
}

// A uniform program (fills) gives the same value to every pixel on the
// same side of the clip: it reads only the data registers, so it is run
// once an area for the pixels every instruction writes and once for those
// the clipped instructions leave, and what it left in register 13 is
// stored a run at a time.
struct UniformResult {
    std::uint32_t value[2] = {};
    bool wrote[2] = {};
};

UniformResult uniform_result(const SpanContext& c) {
    const Program& prog = *c.program;
    UniformResult u;
    if (prog.n == 1 && prog.ins[0].op == kOpMove && prog.ins[0].dst == kSlotLow) {
        // One move into register 13 (solid fills, point loads): the value
        // moved, written outside the clip too unless the move is clipped.
        // Registers other than the data registers read 0 here.
        const Instr& in = prog.ins[0];
        const std::uint32_t value = in.a >= 8 ? c.data[in.a - 8] : 0u;
        u.value[1] = value;
        u.wrote[1] = true;
        u.value[0] = in.clip ? 0u : value;
        u.wrote[0] = !in.clip;
        return u;
    }
    for (int inside = 0; inside < 2; ++inside) {
        std::uint32_t reg[kSlots] = {};
        for (int k = 0; k < 4; ++k) reg[8 + k] = c.data[k];
        for (int k = 0; k < prog.n; ++k) {
            const Instr& in = prog.ins[k];
            if (in.clip && inside == 0) continue;
            reg[in.dst] = alu(in.op, reg[in.a], reg[in.b]);
            u.wrote[inside] |= in.dst == kSlotLow;
        }
        u.value[inside] = reg[kSlotLow];
    }
    return u;
}

// The page rows of the last uniform span: the rows [yFirst, yEnd) of the
// page holding pixel xMemory lie pitch bytes apart from base (row yFirst),
// so the spans of one area below each other find their page once.
struct PageRows {
    std::int64_t xMemory = -1, yFirst = 0, yEnd = 0;
    std::uint8_t* base = nullptr;
    std::size_t pitch = 0;
    std::uint32_t bpp = 0;
    const PixelFormat* format = nullptr;
};

void run_uniform_span(const SpanContext& c, const UniformResult& u, PageRows& rows, std::int64_t y,
                      std::int64_t x0, int n) {
    const std::int64_t xMemory = x0 >= c.xScreen ? x0 - c.xScreen : x0;
    std::uint8_t* base;
    if (rows.xMemory == xMemory && y >= rows.yFirst && y < rows.yEnd) {
        base = rows.base + static_cast<std::size_t>(y - rows.yFirst) * rows.pitch;
    } else {
        std::uint32_t bpp = 0;
        base = c.board->page_pixel(c.r, c.pid[0], xMemory, y, &bpp);
        if (base == nullptr) {
            rows.xMemory = -1;
            return;
        }
        const std::int64_t h = c.board->pageHeight[bpp];  // a power of two
        rows = PageRows{xMemory, y, (y & ~(h - 1)) + h, base, std::size_t{c.board->pageWidth[bpp]} * bpp, bpp,
                        &pixel_format_of_pid(c.pid[0])};
    }
    const std::uint32_t bpp = rows.bpp;
    const std::uint32_t* value = u.value;
    const bool* wrote = u.wrote;
    const bool rowInClip = !c.hasClip || (y >= c.clipY0 && y < c.clipY1);
    int first = !c.hasClip ? 0 : static_cast<int>(std::clamp<std::int64_t>(c.clipX0 - x0, 0, n));
    const int end = !c.hasClip ? n : static_cast<int>(std::clamp<std::int64_t>(c.clipX1 - x0, 0, n));
    if (!rowInClip) first = n;
    const PixelFormat& f = *rows.format;
    auto fill = [&](int from, int to, int inside) {
        if (from < to && wrote[inside]) f.fill(base + static_cast<std::size_t>(from) * bpp, to - from, value[inside]);
    };
    if (first >= end) {
        fill(0, n, 0);
        return;
    }
    fill(0, first, 0);
    fill(first, end, 1);
    fill(end, n, 0);
}

// Runs the program over the pixels [x0, x1) of row y (one tile, owned by
// the rasterizer).
void run_span(const SpanContext& c, std::int64_t y, std::int64_t x0, std::int64_t x1) {
    const Program& prog = *c.program;
    Rasterizer& ras = c.board->rasterizers[c.r];
    const int n = static_cast<int>(x1 - x0);
    std::uint32_t reg[kSlots][kTile];
    bool written[kSlots][kTile];

    // The pixmaps: one page holds the whole span.
    std::uint8_t* base[2] = {nullptr, nullptr};
    const PixelFormat* format[2] = {nullptr, nullptr};
    for (int k = 0; k < 2; ++k) {
        const int s = kSlotLow + k;
        if (!prog.reads[s] && !prog.writes[s]) continue;
        const std::int64_t xMemory = x0 >= c.xScreen ? x0 - c.xScreen : x0;
        std::uint32_t bpp = 0;
        base[k] = c.board->page_pixel(c.r, c.pid[k], xMemory, y, &bpp, nullptr, prog.writes[s]);
        format[k] = &pixel_format_of_pid(c.pid[k]);
        if (!prog.reads[s]) continue;
        if (base[k] != nullptr)
            format[k]->load(base[k], n, reg[s]);
        else
            std::fill_n(reg[s], n, 0u);
    }
    std::fill_n(reg[0], n, 0u);
    for (int s = 1; s < kSlotPattern; ++s) {
        if (prog.reads[s]) std::fill_n(reg[s], n, 0u);  // temporaries start at 0
    }
    if (prog.reads[kSlotPattern]) {
        if (c.sample != nullptr) {
            const std::uint32_t* row = c.sample->values[y - c.sample->y0];
            for (int i = 0; i < n; ++i) reg[kSlotPattern][i] = row[x0 - c.sample->x0 + i];
        } else {
            const std::uint32_t* row = &ras.pattern[(y & 7) * 8];
            for (int i = 0; i < n; ++i) reg[kSlotPattern][i] = row[(x0 + i) & 7];
        }
    }
    for (int k = 0; k < 4; ++k) {
        if (prog.reads[8 + k]) std::fill_n(reg[8 + k], n, c.data[k]);
    }

    // Which pixels pass the clip and which have their mask bit set.
    const bool rowInClip = !c.hasClip || (y >= c.clipY0 && y < c.clipY1);
    const int clipFirst = !c.hasClip ? 0 : static_cast<int>(std::clamp<std::int64_t>(c.clipX0 - x0, 0, n));
    const int clipEnd = !c.hasClip ? n : static_cast<int>(std::clamp<std::int64_t>(c.clipX1 - x0, 0, n));
    bool maskBit[kTile];
    if (prog.usesMask) {
        const std::uint16_t row = c.mask.rows[(y - c.mask.y0) & 15];
        for (int i = 0; i < n; ++i) maskBit[i] = (row >> (15 - ((x0 + i - c.mask.x0) & 15))) & 1u;
    }

    // Pixels a register kept are tracked only while some write is held
    // back; a register every write of which covered the span is written back
    // whole.
    bool whole[kSlots] = {};
    bool tracked[kSlots] = {};  // written[s] holds the pixels written so far
    std::uint32_t result[kTile];
    for (int k = 0; k < prog.n; ++k) {
        const Instr& in = prog.ins[k];
        const int first = in.clip ? (rowInClip ? clipFirst : n) : 0;
        const int end = in.clip ? clipEnd : n;
        std::uint32_t* dst = reg[in.dst];
        const bool track = in.dst >= kSlotPattern;
        if (in.mask == MaskCond::None && first == 0 && end == n) {
            run_instruction(in, reg, n, dst);  // every operand row is read before it is written
            if (track) whole[in.dst] = true;
            continue;
        }
        run_instruction(in, reg, n, result);
        bool* wrote = written[in.dst];
        if (track && !tracked[in.dst]) {
            std::fill_n(wrote, n, false);
            tracked[in.dst] = true;
        }
        for (int i = first; i < end; ++i) {
            if (in.mask != MaskCond::None && maskBit[i] != (in.mask == MaskCond::Set)) continue;
            dst[i] = result[i];
            if (track) wrote[i] = true;
        }
    }

    // Write back what the program wrote.
    for (int k = 0; k < 2; ++k) {
        const int s = kSlotLow + k;
        if (!prog.writes[s] || base[k] == nullptr) continue;
        if (c.sample != nullptr && s != kSlotLow) continue;  // a block copy writes 13 only
        if (whole[s] || tracked[s]) format[k]->store(base[k], n, reg[s], whole[s] ? nullptr : written[s]);
    }
    if (prog.writes[kSlotPattern] && c.sample == nullptr && (whole[kSlotPattern] || tracked[kSlotPattern])) {
        std::uint32_t* row = &ras.pattern[(y & 7) * 8];
        for (int i = 0; i < n; ++i) {
            if (whole[kSlotPattern] || written[kSlotPattern][i]) row[(x0 + i) & 7] = reg[kSlotPattern][i];
        }
    }
}

}  // namespace

bool compile(const std::uint32_t* words, std::size_t count, Program* p) {
    if (count > std::size(p->ins)) return false;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t w = words[k];
        Instr in{};
        in.op = static_cast<std::uint8_t>(instr::opcode(w));
        if (in.op >= kOpCount) return false;
        const int dst = slot_of(instr::dst(w));
        const int a = slot_of(instr::a(w));
        const int b = unary(in.op) ? 0 : slot_of(instr::b(w));  // unary: B unused
        if (dst <= 0 || dst > kSlotHigh || a == kNoSlot || b == kNoSlot) return false;
        in.dst = static_cast<std::uint8_t>(dst);
        in.a = static_cast<std::uint8_t>(a);
        in.b = static_cast<std::uint8_t>(b);
        in.clip = (w & instr::kClip) != 0;
        in.mask = !(w & instr::kMaskBit) ? MaskCond::None
                  : (w & instr::kMaskClear) ? MaskCond::Clear
                                            : MaskCond::Set;
        // Every register read is set up before the program runs: a write
        // that the clip or the mask holds back leaves the old value there.
        p->reads[a] = true;
        p->reads[b] = true;
        p->writes[dst] = true;
        p->usesMask |= in.mask != MaskCond::None;
        p->ins[p->n++] = in;
    }
    p->uniform = !p->usesMask && !p->reads[kSlotPattern] && !p->reads[kSlotLow] && !p->reads[kSlotHigh] &&
                 !p->writes[kSlotPattern] && !p->writes[kSlotHigh];
    return true;
}

void run_area(const SpanContext& c, std::int64_t x0, std::int64_t y0, std::int64_t x1,
              std::int64_t y1) {
    const Rasterizer& ras = c.board->rasterizers[c.r];
    const bool uniform = c.program->uniform && c.sample == nullptr && c.board->fastPaths;
    const UniformResult u = uniform ? uniform_result(c) : UniformResult{};
    PageRows rows;
    // Pixels at negative coordinates (a GL point's square across the
    // screen's left or top edge) are not drawn: no page holds them.
    x0 = std::max<std::int64_t>(x0, 0);
    y0 = std::max<std::int64_t>(y0, 0);
    for (std::int64_t y = y0; y < y1; ++y) {
        for (std::int64_t x = x0; x < x1;) {
            const std::int64_t end = std::min(x1, (x / kTile + 1) * kTile);
            if (c.anyTile || owns(ras, x, y)) {
                if (uniform) run_uniform_span(c, u, rows, y, x, static_cast<int>(end - x));
                else run_span(c, y, x, end);
            }
            x = end;
        }
    }
}

bool packet_context(Impl& board, int r, const DecodedPacket& packet, std::size_t firstInstruction,
                    Program* program, SpanContext* c) {
    const auto& words = packet.instructions;
    if (firstInstruction > words.size() ||
        !compile(words.data() + firstInstruction, words.size() - firstInstruction, program))
        return false;
    span_context(board, r, packet, program, c);
    return true;
}

void span_context(Impl& board, int r, const DecodedPacket& packet, const Program* program, SpanContext* c) {
    // Every member is set here: the executors leave their contexts
    // uninitialised (zeroing one was a measurable part of a small packet).
    c->board = &board;
    c->r = r;
    std::fill(std::begin(c->data), std::end(c->data), 0u);
    c->program = program;
    c->pid[0] = pid_of(packet, 0);
    c->pid[1] = pid_of(packet, 1);
    // A split board's second screen holds the desktop from x = 1024 on in
    // its own x, and its packets carry their clip pair in that x.
    const std::int64_t xScreen = (packet.control & kSecondScreenBits) != 0 ? kSecondScreenX : 0;
    c->xScreen = xScreen;
    c->hasClip = packet.hasClip;
    c->anyTile = false;
    c->clipX0 = (packet.clipMin & 0xFFFF) + xScreen;
    c->clipY0 = packet.clipMin >> 16;
    // A render program's clip pair ends at the last pixel inside; the
    // other 2D kinds' past it.
    const std::int64_t past = kzuClipMaxIncluded(packet.command) ? 1 : 0;
    c->clipX1 = (packet.clipMax & 0xFFFF) + xScreen + past;
    c->clipY1 = (packet.clipMax >> 16) + past;
    c->mask = MaskRows{board.rasterizers[r].maskRows.data(), 0, 0};
    c->sample = nullptr;
}

DataWords data_words(const DecodedPacket& packet, const Fields& f) {
    DataWords d;
    std::size_t words = 0;  // per-primitive words before register k's
    for (std::uint32_t k = 0; k < 4; ++k) {
        const std::uint32_t kind = f.loadKind[k];
        if (kind == KZU_LOAD_PRIMITIVE || kind == KZU_LOAD_VERTEX) {
            // The first vertex's word; a packet of no vertices loads none.
            d.perPrimitive[k] = packet.verticesPerPrimitive != 0;
            d.at[k] = f.primConstants + f.primMask + words;
            words += kind == KZU_LOAD_VERTEX ? packet.verticesPerPrimitive : 1;
        } else {
            data_register(packet, f, k, 0, 0, &d.value[k]);  // a per-packet word, or none
        }
    }
    return d;
}

void load_data(const DecodedPacket& packet, const DataWords& d, std::size_t prim, SpanContext* c) {
    for (int k = 0; k < 4; ++k) c->data[k] = d.read(packet, k, prim);
}

// --- packet fields -----------------------------------------------------------------

Fields fields_of(std::uint32_t command) {
    static constexpr std::uint32_t kConstantWords[4][2] = {{0, 0}, {8, 0}, {0, 8}, {4, 4}};
    Fields f;
    f.packetConstants = kConstantWords[(command >> 10) & 3][0];
    f.primConstants = kConstantWords[(command >> 10) & 3][1];
    const std::uint32_t maskData = command & 0x380u;
    f.packetMask = maskData == 0x280u ? 8 : 0;
    f.primMask = maskData == 0x300u || maskData == 0x100u ? 8 : 0;  // mask rows, or a line's stipple block
    for (int k = 0; k < 4; ++k) f.loadKind[k] = load_of(command, k);
    return f;
}

bool data_register(const DecodedPacket& packet, const Fields& f, std::uint32_t i,
                   std::size_t prim, std::size_t v, std::uint32_t* value) {
    if (i >= 4 || f.loadKind[i] == 0) return false;
    if (f.loadKind[i] == KZU_LOAD_PACKET) {
        std::uint32_t before = 0;  // per-packet registers before register i
        for (std::uint32_t k = 0; k < i; ++k) before += f.loadKind[k] == KZU_LOAD_PACKET ? 1 : 0;
        const std::size_t at = f.packetConstants + before;
        if (at >= packet.constants.size()) return false;
        *value = packet.constants[at];
        return true;
    }
    // Per-primitive registers take one word, per-vertex ones a word for
    // each vertex, in register order.
    std::size_t words = 0;
    for (std::uint32_t k = 0; k < i; ++k) {
        if (f.loadKind[k] == KZU_LOAD_VERTEX) words += packet.verticesPerPrimitive;
        if (f.loadKind[k] == KZU_LOAD_PRIMITIVE) words += 1;
    }
    const std::size_t at = prim * packet.wordsPerPrimitive + f.primConstants + f.primMask + words +
                           (f.loadKind[i] == KZU_LOAD_PRIMITIVE ? 0 : v);
    if (v >= packet.verticesPerPrimitive || at >= packet.primitiveWords.size()) return false;
    *value = packet.primitiveWords[at];
    return true;
}

// --- the rows of the executor table ----------------------------------------------------

// Runs the packet's program over one area per primitive: area(end) gives it
// from the primitive's words, end pointing just past its last word. Each
// primitive's data registers are loaded before its area runs.
template <typename AreaOf>
bool run_primitives(Impl& board, int r, const DecodedPacket& packet, AreaOf area) {
    Program program;
    SpanContext c;  // set by packet_context
    if (!packet_context(board, r, packet, 0, &program, &c)) return false;
    const DataWords d = data_words(packet, fields_of(packet.command));
    const std::size_t wpp = packet.wordsPerPrimitive;
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const PixelArea a = area(packet.primitiveWords.data() + (i + 1) * wpp);
        load_data(packet, d, i, &c);
        run_area(c, a.x0, a.y0, a.x1, a.y1);
    }
    return true;
}

bool run_primitive_spans(Impl& board, int r, const DecodedPacket& packet,
                         const std::function<void(std::size_t, const SpanEmit&)>& spans) {
    Program program;
    SpanContext c;  // set by packet_context
    if (!packet_context(board, r, packet, 0, &program, &c)) return false;
    const DataWords d = data_words(packet, fields_of(packet.command));
    const SpanEmit emit = [&c](std::int64_t x0, std::int64_t y, std::int64_t x1) {
        run_area(c, x0, y, x1, y + 1);
    };
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        load_data(packet, d, i, &c);
        spans(i, emit);
    }
    return true;
}

bool draw_rectangles(Impl& board, int r, const DecodedPacket& packet) {
    // The pixels inside the bounding box of the last four words (the corners).
    return run_primitives(board, r, packet,
                          [](const std::uint32_t* end) { return corner_area(end - 4); });
}

namespace {

// Two lists of words alike (the short ones compared here, without a call).
bool same_words(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    if (n > 4) return std::memcmp(a.data(), b.data(), n * sizeof a[0]) == 0;
    for (std::size_t k = 0; k < n; ++k)
        if (a[k] != b[k]) return false;
    return true;
}

}  // namespace

bool repeats_load(const Impl& board, const Rasterizer& ras, const LoadMemo& m, const DecodedPacket& packet) {
    if (!m.valid || m.slotGeneration != ras.slotGeneration || m.tileOwner != ras.tileOwner ||
        m.command != packet.command || m.control != packet.control || m.primitives != packet.primitives ||
        m.hasClip != packet.hasClip || m.clipMin != packet.clipMin || m.clipMax != packet.clipMax ||
        board.spaceFormat[m.space] != m.spaceFormat || !same_words(m.primitiveWords, packet.primitiveWords) ||
        !same_words(m.pids, packet.pids) || !same_words(m.instructions, packet.instructions) ||
        !same_words(m.constants, packet.constants))
        return false;
    // Each pixel as stored (the few sizes a pixel has, each a fixed move).
    auto same = [&m]<std::size_t kBytes>() {
        for (std::size_t k = 0; k < m.count; ++k) {
            std::uint32_t v = 0;
            std::memcpy(&v, m.pixel[k], kBytes);
            if (v != m.stored[k]) return false;
        }
        return true;
    };
    switch (m.bytesPerPixel) {
    case 1: return same.template operator()<1>();
    case 2: return same.template operator()<2>();
    case 4: return same.template operator()<4>();
    default: return false;
    }
}

void keep_load(const Impl& board, const Rasterizer& ras, LoadMemo* m, const DecodedPacket& packet, std::uint16_t pid) {
    m->bytesPerPixel = pixel_format_of_pid(pid).bytesPerPixel;
    for (std::size_t k = 0; k < m->count; ++k) {
        m->stored[k] = 0;
        std::memcpy(&m->stored[k], m->pixel[k], m->bytesPerPixel);
    }
    m->slotGeneration = ras.slotGeneration;
    m->tileOwner = ras.tileOwner;
    m->command = packet.command;
    m->control = packet.control;
    m->primitives = packet.primitives;
    m->hasClip = packet.hasClip;
    m->clipMin = packet.clipMin;
    m->clipMax = packet.clipMax;
    m->pids = packet.pids;
    m->instructions = packet.instructions;
    m->constants = packet.constants;
    m->primitiveWords = packet.primitiveWords;
    m->space = pid & 0x1Fu;
    m->spaceFormat = board.spaceFormat[m->space];
    m->valid = true;
}

bool draw_points(Impl& board, int r, const DecodedPacket& packet) {
    // The one pixel at the last word: the pixel holding the position (a
    // whole-pixel position's own; render3d.h, "Points").
    auto pixelOf = [](const std::uint32_t* end) {
        const std::int64_t x = (fixed_x(end[-1]) + 8) >> 4, y = (fixed_y(end[-1]) + 7) >> 4;
        return PixelArea{x, y, x + 1, y + 1};
    };
    // A repeat of the last point load (kept below: a load of one move) that
    // would store nothing new.
    if (board.fastPaths && repeats_load(board, board.rasterizers[r], board.rasterizers[r].pointLoad, packet))
        return true;
    Program program;
    SpanContext c;  // set by packet_context
    if (!packet_context(board, r, packet, 0, &program, &c)) return false;
    if (!program.uniform || !board.fastPaths) return run_primitives(board, r, packet, pixelOf);
    // A uniform program (the pattern and dither loads): what run_area does
    // for a one-pixel area, a point at a time, the packet's pages found once.
    // One move into register 13 stores the register it reads (0 unless a
    // data register: the program reads no pixmap, pattern or mask), and
    // only that register is read from each point's words.
    const DataWords d = data_words(packet, fields_of(packet.command));
    const std::size_t wpp = packet.wordsPerPrimitive;
    const Rasterizer& ras = board.rasterizers[r];
    const PixelFormat& format = pixel_format_of_pid(c.pid[0]);
    const Instr& move = program.ins[0];
    const bool oneMove = program.n == 1 && move.op == kOpMove && move.dst == kSlotLow;
    const int moved = oneMove && move.a >= 8 ? move.a - 8 : -1;  // data register read, if any
    PageCursor cursor(board, r, c.pid[0]);
    const std::uint32_t* words = packet.primitiveWords.data();
    if (oneMove && wpp != 0 && packet.primitiveWords.size() / wpp >= packet.primitives &&
        (moved < 0 || !d.perPrimitive[moved] || d.at[moved] < wpp)) {
        // The pattern and dither loads: every point's words lie in the
        // list, the value moved at the same place in each (or one value
        // for all).
        const bool perPoint = moved >= 0 && d.perPrimitive[moved];
        const std::size_t at = perPoint ? d.at[moved] : 0;
        const std::uint32_t shared = moved >= 0 && !perPoint ? d.value[moved] : 0u;
        const bool clipped = move.clip && c.hasClip;
        // A load of a few points into a pixmap (no tile) is kept, to know
        // a repeat of it.
        Rasterizer& mut = board.rasterizers[r];
        LoadMemo& memo = mut.pointLoad;
        const bool keep = packet.primitives <= LoadMemo::kPixels && (c.pid[0] & 0x40u) == 0;
        memo.valid = false;
        memo.count = 0;
        std::uint32_t bpp = 0;
        for (std::size_t i = 0; i < packet.primitives; ++i, words += wpp) {
            const PixelArea a = pixelOf(words + wpp);
            if (!owns(ras, a.x0, a.y0)) continue;
            if (clipped && !(a.y0 >= c.clipY0 && a.y0 < c.clipY1 && a.x0 >= c.clipX0 && a.x0 < c.clipX1)) continue;
            std::uint8_t* p = cursor.pixel(a.x0 >= c.xScreen ? a.x0 - c.xScreen : a.x0, a.y0, &bpp);
            if (p == nullptr) continue;
            format.fill(p, 1, perPoint ? words[at] : shared);
            if (keep) memo.pixel[memo.count++] = p;
        }
        if (keep) keep_load(board, mut, &memo, packet, c.pid[0]);
        return true;
    }
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const PixelArea a = pixelOf(packet.primitiveWords.data() + (i + 1) * wpp);
        if (!owns(ras, a.x0, a.y0)) continue;
        const bool inside =
            !c.hasClip || (a.y0 >= c.clipY0 && a.y0 < c.clipY1 && a.x0 >= c.clipX0 && a.x0 < c.clipX1);
        std::uint32_t value;
        if (oneMove) {
            if (move.clip && !inside) continue;
            value = moved >= 0 ? d.read(packet, moved, i) : 0u;
        } else {
            load_data(packet, d, i, &c);
            const UniformResult u = uniform_result(c);
            if (!u.wrote[inside]) continue;
            value = u.value[inside];
        }
        std::uint32_t bpp = 0;
        std::uint8_t* p = cursor.pixel(a.x0 >= c.xScreen ? a.x0 - c.xScreen : a.x0, a.y0, &bpp);
        if (p != nullptr) format.fill(p, 1, value);
    }
    return true;
}

bool load_mask_pattern(Impl& board, int r, const DecodedPacket& packet) {
    // Its one instruction moves the rows (register 10) into the mask
    // (register 11), and its points lie at x 0, 8, 16 or 32 of row 0.
    constexpr std::uint32_t kMaskLoad = 0x001402C8u;
    constexpr std::uint32_t kPositions[] = {0x0u, 0x80u, 0x100u, 0x200u};
    if (packet.instructions.size() != 1 || packet.instructions[0] != kMaskLoad) {
        board.error(r, packet.bus, "monochrome pattern load: instruction not known");
        return false;
    }
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const std::uint32_t xy = packet.vertex(i, 0);
        if (std::find(std::begin(kPositions), std::end(kPositions), xy) == std::end(kPositions)) {
            board.error(r, packet.bus, "monochrome pattern load: position not known");
            return false;
        }
    }
    const Fields f = fields_of(packet.command);
    std::size_t first = f.packetConstants;
    for (std::uint32_t k : f.loadKind) first += k == KZU_LOAD_PACKET ? 1 : 0;
    if (packet.primitives == 0 || first + 8 > packet.constants.size()) return true;
    auto& rows = board.rasterizers[r].maskRows;
    for (std::size_t k = 0; k < 8; ++k) {
        const std::uint32_t w = packet.constants[first + k];
        rows[2 * k] = static_cast<std::uint16_t>(w >> 16);
        rows[2 * k + 1] = static_cast<std::uint16_t>(w & 0xFFFF);
    }
    return true;
}

}  // namespace vnx::board::exec
