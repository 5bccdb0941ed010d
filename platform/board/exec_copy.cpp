// Block copies carried out into board memory (command 0x2000C26: rectangles
// of at most 8x8 pixels, four constants per packet and per primitive). The
// packet's first three instructions are the block copy's set-up (opcodes 31
// and 49); the rest is a program of opcodes 0-8 that reads the source
// sample in register 12. The rules are in platform/board.h ("Execution",
// block copies).
#include <algorithm>

#include "exec.h"

namespace vnx::board::exec {

namespace {

constexpr std::uint32_t kClipBit = instr::kClip;
constexpr std::uint32_t kSetup0 = 0x001126DFu;
constexpr std::uint32_t kSetup1 = 0x001C0331u;  // phase in bits 11-16
constexpr std::uint32_t kPhaseBits = 0x3Fu << 11;
constexpr std::uint32_t kSetup2 = 0x00132F1Fu;
constexpr std::uint32_t kSecondScreenBits = 0x70000u;
constexpr std::int64_t kSecondScreenX = 1024;
constexpr int kBlock = 8;

// Registers the copy program may name: 0, 8-14, 27-30.
int slot_of(std::uint32_t reg) {
    if (reg == 0) return 0;
    if (reg >= 8 && reg <= 14) return 1 + static_cast<int>(reg - 8);
    if (reg >= 27 && reg <= 30) return 8 + static_cast<int>(reg - 27);
    return -1;
}
constexpr int kSlots = 12;
constexpr int kSlotSample = 5;  // register 12
constexpr int kSlotLow = 6;     // 13: the destination (low half of the pid word)
constexpr int kSlotHigh = 7;    // 14: the source (high half)

struct Op {
    std::uint8_t op, dst, a, b;
    bool clip;
};

bool compile(const std::vector<std::uint32_t>& words, std::vector<Op>* out) {
    for (std::size_t k = 3; k < words.size(); ++k) {
        const std::uint32_t w = words[k];
        Op o{};
        o.op = static_cast<std::uint8_t>(instr::opcode(w));
        const int dst = slot_of(instr::dst(w)), a = slot_of(instr::a(w));
        const int b = is_unary(o.op) ? 0 : slot_of(instr::b(w));
        if (o.op > kOpLast2D || dst < 1 || dst > kSlotHigh || a < 0 || b < 0 ||
            (w & (instr::kMaskBit | instr::kMaskClear)) != 0)
            return false;
        o.dst = static_cast<std::uint8_t>(dst);
        o.a = static_cast<std::uint8_t>(a);
        o.b = static_cast<std::uint8_t>(b);
        o.clip = (w & kClipBit) != 0;
        out->push_back(o);
    }
    return !out->empty();
}

// The instruction of the table's load: pixmap 13 into register 8.
constexpr std::uint32_t kTableLoad = 0x001A0208u;

// The source offset of a block pixel whose phase-shifted position is v
// (0-7), read from the copy-address table: words v and 8 + v hold the low
// bit (in bit 6) and the two high bits (in bits 5-6) of the offset.
std::int64_t table_offset(const std::array<std::uint32_t, 16>& t, std::int64_t v) {
    return (((t[v] >> 6) & 1u) + ((t[8 + v] >> 4) & 6u)) & 7u;
}

}  // namespace

bool is_copy_table_load(const DecodedPacket& packet) {
    return packet.instructions.size() == 1 && packet.instructions[0] == kTableLoad;
}

bool load_copy_table(Impl& board, int r, const DecodedPacket& packet) {
    Rasterizer& ras = board.rasterizers[r];
    const std::uint16_t pid = packet.pid(0);
    const std::size_t wpp = packet.wordsPerPrimitive;
    if (wpp < 4) return false;
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const PixelArea a = corner_area(packet.primitiveWords.data() + (i + 1) * wpp - 4);
        if (!owns(ras, a.x0, a.y0)) continue;
        for (int k = 0; k < 16; ++k) {
            std::uint32_t bpp = 0;
            const std::uint8_t* p = board.page_pixel(r, pid, a.x0 + k % 4, a.y0 + k / 4, &bpp);
            ras.copyTable[k] = p != nullptr ? pixel_to_register(pid >> 13, load_pixel(p, bpp)) : 0;
        }
    }
    return true;
}

bool copy_blocks(Impl& board, int r, const DecodedPacket& packet) {
    const auto& in = packet.instructions;
    if (in.size() < 4 || (in[0] & ~kClipBit) != kSetup0 || (in[1] & ~(kClipBit | kPhaseBits)) != kSetup1 ||
        (in[2] & ~kClipBit) != kSetup2)
        return false;
    std::vector<Op> ops;
    if (!compile(in, &ops)) return false;
    const std::uint32_t phase = (in[1] & kPhaseBits) >> 11;
    const std::int64_t phX = phase & 7, phY = phase >> 3;
    const std::uint16_t pidDst = packet.pid(0), pidSrc = packet.pid(1);
    const std::uint32_t fmtDst = pidDst >> 13, fmtSrc = pidSrc >> 13;
    const std::int64_t xScreen = (packet.control & kSecondScreenBits) != 0 ? kSecondScreenX : 0;
    const std::int64_t cx0 = (packet.clipMin & 0xFFFF) + xScreen, cy0 = packet.clipMin >> 16;
    const std::int64_t cx1 = (packet.clipMax & 0xFFFF) + xScreen, cy1 = packet.clipMax >> 16;
    const Fields f = fields_of(packet.command);
    const Rasterizer& ras = board.rasterizers[r];
    const std::size_t wpp = packet.wordsPerPrimitive;
    if (wpp < 8) return false;

    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const std::uint32_t* w = &packet.primitiveWords[i * wpp];
        const PixelArea a = corner_area(w + wpp - 4);
        const std::int64_t x0 = a.x0, y0 = a.y0, x1 = a.x1, y1 = a.y1;
        if (x1 - x0 > kBlock || y1 - y0 > kBlock) return false;  // not a block
        // The source words carry the phase's low bits below the source's
        // 8-pixel grid: x bits 4-5, y bit 4, nothing else.
        if ((w[0] & 0x3Fu) != static_cast<std::uint32_t>((phX & 3) << 4) ||
            (w[1] & 0x1Fu) != static_cast<std::uint32_t>((phY & 1) << 4)) {
            board.error(r, packet.bus, "block copy source words do not match the phase");
            return false;
        }
        const std::int64_t sx0 = static_cast<std::int64_t>(w[0] & ~0x7Fu) >> 4;
        const std::int64_t sy0 = static_cast<std::int64_t>(w[1] & ~0x7Fu) >> 4;
        std::uint32_t data[4] = {};
        for (std::uint32_t k = 0; k < 4; ++k) data_register(packet, f, k, i, 0, &data[k]);

        // The whole block's source samples are read before any pixel of it
        // is written.
        std::uint32_t sample[kBlock][kBlock] = {};
        for (std::int64_t y = y0; y < y1; ++y) {
            for (std::int64_t x = x0; x < x1; ++x) {
                const std::int64_t sx = sx0 + table_offset(ras.copyTable, (x + phX) & 7);
                const std::int64_t sy = sy0 + table_offset(ras.copyTable, (y + phY) & 7);
                std::uint32_t bpp = 0;
                // On the second screen the source x is already that
                // screen's own x.
                const std::uint8_t* p = board.page_pixel(r, pidSrc, sx, sy, &bpp);
                sample[y - y0][x - x0] = p != nullptr ? pixel_to_register(fmtSrc, load_pixel(p, bpp)) : 0;
            }
        }
        for (std::int64_t y = y0; y < y1; ++y) {
            for (std::int64_t x = x0; x < x1; ++x) {
                if (!owns(ras, x, y)) continue;
                const bool inClip = !packet.hasClip || (x >= cx0 && x < cx1 && y >= cy0 && y < cy1);
                const std::int64_t xMemory = x >= xScreen ? x - xScreen : x;
                std::uint32_t bppD = 0, bppS = 0;
                std::uint8_t* pD = board.page_pixel(r, pidDst, xMemory, y, &bppD);
                const std::uint8_t* pS = board.page_pixel(r, pidSrc, xMemory, y, &bppS);
                std::uint32_t reg[kSlots] = {};
                reg[kSlotSample] = sample[y - y0][x - x0];
                reg[kSlotLow] = pD != nullptr ? pixel_to_register(fmtDst, load_pixel(pD, bppD)) : 0;
                reg[kSlotHigh] = pS != nullptr ? pixel_to_register(fmtSrc, load_pixel(pS, bppS)) : 0;
                for (int k = 0; k < 4; ++k) reg[8 + k] = data[k];
                bool wrote = false;
                for (const Op& o : ops) {
                    if (o.clip && !inClip) continue;
                    reg[o.dst] = apply_op(o.op, reg[o.a], reg[o.b]);
                    wrote |= o.dst == kSlotLow;
                }
                if (wrote && pD != nullptr)
                    store_pixel(pD, bppD, fmtDst, register_to_pixel(fmtDst, reg[kSlotLow]));
            }
        }
    }
    return true;
}

}  // namespace vnx::board::exec
