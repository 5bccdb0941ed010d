// The 2D drawing packets carried out into board memory: rectangles and points
// under a program of raster-operation instructions (opcodes 0-8), the pattern
// register, the mask pattern and its load, and the conversions between
// stored pixels and register values. The rules are in platform/board.h
// ("Execution").
//
// A primitive is cut into spans: pixels of one row inside one 128-pixel tile,
// so a span lies inside one page of board memory and belongs to one
// rasterizer. The program runs over a whole span at once, one instruction
// after the other on arrays of register values.
#include <algorithm>
#include <iterator>
#include <cstring>

#include "exec.h"

namespace vnx::board::exec {

namespace {

constexpr int kTile = 128;  // pixels of a tile's side: the longest span

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
    if (reg >= 8 && reg <= 14) return 1 + static_cast<int>(reg - 8);       // 1..7
    if (reg >= 27 && reg <= 30) return 8 + static_cast<int>(reg - 27);     // 8..11
    return kNoSlot;
}
constexpr int kSlots = 12;
constexpr int kSlotPattern = slot_of(kRegPattern);
constexpr int kSlotLow = slot_of(kRegLow);
constexpr int kSlotHigh = slot_of(kRegHigh);

// Control-word bits of the second screen's packets on a split board, and
// where that screen starts in x.
constexpr std::uint32_t kSecondScreenBits = 0x70000u;
constexpr std::int64_t kSecondScreenX = 1024;

// Mask conditions of an instruction (bits 25 and 27).
enum class MaskCond : std::uint8_t { None, Set, Clear };

struct Instr {
    std::uint8_t op;
    std::uint8_t dst, a, b;  // register array rows
    bool clip;               // bit 28
    MaskCond mask;
};

struct Program {
    Instr ins[32];
    int n = 0;
    bool reads[kSlots] = {};
    bool writes[kSlots] = {};
    bool usesMask = false;
};

// Decodes the instruction words; false when one uses an opcode or register
// the model does not carry out.
bool compile(const std::vector<std::uint32_t>& words, Program* p) {
    if (words.size() > std::size(p->ins)) return false;
    for (std::uint32_t w : words) {
        Instr in{};
        in.op = static_cast<std::uint8_t>(instr::opcode(w));
        if (in.op > kOpLast2D) return false;
        const int dst = slot_of(instr::dst(w));
        const int a = slot_of(instr::a(w));
        const int b = is_unary(in.op) ? 0 : slot_of(instr::b(w));  // unary: B unused
        if (dst <= 0 || dst >= 8 || a == kNoSlot || b == kNoSlot) return false;
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
    return true;
}

// Mask rows of a primitive: bit at (x, y) = bit 15 - ((x - x0) & 15) of
// rows[(y - y0) & 15].
struct MaskRows {
    const std::uint16_t* rows = nullptr;
    std::int64_t x0 = 0, y0 = 0;
};

// What one primitive's spans share.
struct SpanContext {
    Impl* board;
    int r;
    const Program* program;
    std::uint16_t pid[2];          // pixmaps of registers 13 and 14
    std::uint32_t data[4];         // registers 27-30
    bool hasClip;
    std::int64_t clipX0, clipY0, clipX1, clipY1;  // maximum excluded
    MaskRows mask;
    std::int64_t xScreen;          // desktop x of the screen's x 0 (split boards)
};

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
    default: std::memcpy(out, a, sizeof(std::uint32_t) * static_cast<std::size_t>(n)); break;
    }
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
    std::uint32_t bpp[2] = {0, 0}, format[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const int s = kSlotLow + k;
        if (!prog.reads[s] && !prog.writes[s]) continue;
        const std::int64_t xMemory = x0 >= c.xScreen ? x0 - c.xScreen : x0;
        base[k] = c.board->page_pixel(c.r, c.pid[k], xMemory, y, &bpp[k]);
        format[k] = c.pid[k] >> 13;
        if (!prog.reads[s]) continue;
        for (int i = 0; i < n; ++i) {
            reg[s][i] = base[k] ? pixel_to_register(format[k], load_pixel(base[k] + i * bpp[k], bpp[k]))
                                : 0;
        }
    }
    std::fill_n(reg[0], n, 0u);
    for (int s = 1; s < kSlotPattern; ++s) {
        if (prog.reads[s]) std::fill_n(reg[s], n, 0u);  // temporaries start at 0
    }
    if (prog.reads[kSlotPattern]) {
        const std::uint32_t* row = &ras.pattern[(y & 7) * 8];
        for (int i = 0; i < n; ++i) reg[kSlotPattern][i] = row[(x0 + i) & 7];
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

    for (int s : {kSlotPattern, kSlotLow, kSlotHigh}) {
        if (prog.writes[s]) std::fill_n(written[s], n, false);
    }
    std::uint32_t result[kTile];
    for (int k = 0; k < prog.n; ++k) {
        const Instr& in = prog.ins[k];
        run_instruction(in, reg, n, result);
        const int first = in.clip ? (rowInClip ? clipFirst : n) : 0;
        const int end = in.clip ? clipEnd : n;
        std::uint32_t* dst = reg[in.dst];
        bool* wrote = written[in.dst];
        const bool track = in.dst >= kSlotPattern;
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
        for (int i = 0; i < n; ++i) {
            if (written[s][i]) {
                store_pixel(base[k] + i * bpp[k], bpp[k], format[k], register_to_pixel(format[k], reg[s][i]));
            }
        }
    }
    if (prog.writes[kSlotPattern]) {
        std::uint32_t* row = &ras.pattern[(y & 7) * 8];
        for (int i = 0; i < n; ++i) {
            if (written[kSlotPattern][i]) row[(x0 + i) & 7] = reg[kSlotPattern][i];
        }
    }
}

// Runs the program over the pixels [x0, x1) x [y0, y1) that the rasterizer
// owns.
void run_area(const SpanContext& c, std::int64_t x0, std::int64_t y0, std::int64_t x1,
              std::int64_t y1) {
    const Rasterizer& ras = c.board->rasterizers[c.r];
    for (std::int64_t y = y0; y < y1; ++y) {
        for (std::int64_t x = x0; x < x1;) {
            const std::int64_t end = std::min(x1, (x / kTile + 1) * kTile);
            if (owns(ras, x, y)) run_span(c, y, x, end);
            x = end;
        }
    }
}

// The parts of a span context every primitive of a packet shares; false for
// a program the model does not carry out.
bool packet_context(Impl& board, int r, const DecodedPacket& packet, Program* program,
                    SpanContext* c) {
    if (!compile(packet.instructions, program)) return false;
    c->board = &board;
    c->r = r;
    c->program = program;
    c->pid[0] = packet.pid(0);
    c->pid[1] = packet.pid(1);
    // A split board's second screen holds the desktop from x = 1024 on in
    // its own x, and its packets carry their clip pair in that x.
    const std::int64_t xScreen = (packet.control & kSecondScreenBits) != 0 ? kSecondScreenX : 0;
    c->xScreen = xScreen;
    c->hasClip = packet.hasClip;
    c->clipX0 = (packet.clipMin & 0xFFFF) + xScreen;
    c->clipY0 = packet.clipMin >> 16;
    c->clipX1 = (packet.clipMax & 0xFFFF) + xScreen;
    c->clipY1 = packet.clipMax >> 16;
    c->mask = MaskRows{board.rasterizers[r].maskRows.data(), 0, 0};
    return true;
}

void load_data(const DecodedPacket& packet, const Fields& f, std::size_t prim, SpanContext* c) {
    for (std::uint32_t k = 0; k < 4; ++k) {
        c->data[k] = 0;
        data_register(packet, f, k, prim, 0, &c->data[k]);
    }
}

}  // namespace

// --- pixel formats --------------------------------------------------------------

std::uint32_t pixel_to_register(std::uint32_t format, std::uint32_t p) {
    switch (format) {
    case 2:
        return (p & 0xE0u) << 16 | (p & 0x1Cu) << 11 | (p & 0x3u) << 5;
    case 4:
        return (p & 0x8000u) << 8 | (p & 0x7C00u) << 8 | (p & 0x3E0u) << 5 | (p & 0x1Fu) << 2;
    case 6:
        return p >> 24;
    default:
        return p;
    }
}

std::uint32_t register_to_pixel(std::uint32_t format, std::uint32_t v) {
    switch (format) {
    case 0:
        return v & 0xFFu;
    case 2:
        return ((v >> 21) & 7u) << 5 | ((v >> 13) & 7u) << 2 | ((v >> 5) & 3u);
    case 3:
        return v & 0xFFFFu;
    case 4:
        return ((v >> 23) & 1u) << 15 | ((v >> 18) & 0x1Fu) << 10 | ((v >> 10) & 0x1Fu) << 5 |
               ((v >> 2) & 0x1Fu);
    case 6:
        return (v & 0xFFu) << 24;
    default:
        return v;
    }
}

std::uint32_t load_pixel(const std::uint8_t* p, std::uint32_t bytesPerPixel) {
    switch (bytesPerPixel) {
    case 1:
        return *p;
    case 2: {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    default: {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

void store_pixel(std::uint8_t* p, std::uint32_t bytesPerPixel, std::uint32_t format,
                 std::uint32_t pixel) {
    switch (bytesPerPixel) {
    case 1:
        *p = static_cast<std::uint8_t>(pixel);
        break;
    case 2: {
        const auto v = static_cast<std::uint16_t>(pixel);
        std::memcpy(p, &v, 2);
        break;
    }
    default:
        if (format == 6) {
            p[3] = static_cast<std::uint8_t>(pixel >> 24);  // the overlay plane: the top byte
        } else {
            std::memcpy(p, &pixel, 4);
        }
        break;
    }
}

// --- packet fields -----------------------------------------------------------------

Fields fields_of(std::uint32_t command) {
    static constexpr std::uint32_t kConstantWords[4][2] = {{0, 0}, {8, 0}, {0, 8}, {4, 4}};
    Fields f;
    f.packetConstants = kConstantWords[(command >> 10) & 3][0];
    f.primConstants = kConstantWords[(command >> 10) & 3][1];
    const std::uint32_t maskData = command & 0x380u;
    f.packetMask = maskData == 0x280u ? 8 : 0;
    f.primMask = maskData == 0x300u ? 8 : 0;
    for (int k = 0; k < 4; ++k) f.loadKind[k] = (command >> (12 + 2 * k)) & 3;
    return f;
}

bool data_register(const DecodedPacket& packet, const Fields& f, std::uint32_t i,
                   std::size_t prim, std::size_t v, std::uint32_t* value) {
    if (i >= 4 || f.loadKind[i] == 0) return false;
    std::uint32_t before = 0;  // registers of the same load kind before register i
    for (std::uint32_t k = 0; k < i; ++k) {
        if ((f.loadKind[k] == 1) == (f.loadKind[i] == 1) && f.loadKind[k] != 0) ++before;
    }
    if (f.loadKind[i] == 1) {
        const std::size_t at = f.packetConstants + before;
        if (at >= packet.constants.size()) return false;
        *value = packet.constants[at];
        return true;
    }
    const std::size_t at = prim * packet.wordsPerPrimitive + f.primConstants + f.primMask +
                           before * packet.verticesPerPrimitive + v;
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
    SpanContext c{};
    if (!packet_context(board, r, packet, &program, &c)) return false;
    const Fields f = fields_of(packet.command);
    const std::size_t wpp = packet.wordsPerPrimitive;
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const PixelArea a = area(packet.primitiveWords.data() + (i + 1) * wpp);
        load_data(packet, f, i, &c);
        run_area(c, a.x0, a.y0, a.x1, a.y1);
    }
    return true;
}

bool draw_rectangles(Impl& board, int r, const DecodedPacket& packet) {
    // The pixels inside the bounding box of the last four words (the corners).
    return run_primitives(board, r, packet,
                          [](const std::uint32_t* end) { return corner_area(end - 4); });
}

bool draw_points(Impl& board, int r, const DecodedPacket& packet) {
    // The one pixel at the last word.
    return run_primitives(board, r, packet, [](const std::uint32_t* end) {
        const std::int64_t x = fixed_x(end[-1]) >> 4, y = fixed_y(end[-1]) >> 4;
        return PixelArea{x, y, x + 1, y + 1};
    });
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
    for (std::uint32_t k : f.loadKind) first += k == 1 ? 1 : 0;
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
