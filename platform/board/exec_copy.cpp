// Block copies carried out into board memory (command 0x2000C26: rectangles
// of at most 8x8 pixels, four constants per packet and per primitive). The
// packet's first three instructions are the block copy's set-up (opcodes 31
// and 49); the rest is a program of opcodes 0-8 that reads the source
// sample in register 12, run by the span engine row by row. Each block
// pixel's source offset comes from the copy-address table, which a packet of
// its own loads into the rasterizer. The rules are in platform/board.h
// ("Execution", block copies).
#include <algorithm>
#include <cstring>

#include "exec.h"

namespace vnx::board::exec {

namespace {

constexpr std::uint32_t kClipBit = instr::kClip;
constexpr std::uint32_t kMaskBits = instr::kMaskBit | instr::kMaskClear;  // no mask conditions here
constexpr std::uint32_t kSetup0 = 0x001126DFu;
constexpr std::uint32_t kSetup1 = 0x001C0331u;  // phase in bits 11-16
constexpr std::uint32_t kPhaseBits = 0x3Fu << 11;
constexpr std::uint32_t kSetup2 = 0x00132F1Fu;
constexpr std::size_t kSetupWords = 3;
constexpr int kBlock = 8;
constexpr int kCopySlotSample = 5;  // register 12's row of the span's arrays
constexpr int kCopySlotDst = 6;     // register 13's

bool setup_ok(const std::vector<std::uint32_t>& in) {
    return in.size() > kSetupWords && (in[0] & ~kClipBit) == kSetup0 &&
           (in[1] & ~(kClipBit | kPhaseBits)) == kSetup1 && (in[2] & ~kClipBit) == kSetup2 &&
           std::none_of(in.begin() + kSetupWords, in.end(),
                        [](std::uint32_t w) { return (w & kMaskBits) != 0; });
}

// The instruction of the table's load: pixmap 13 into register 8.
constexpr std::uint32_t kTableLoad = 0x001A0208u;

// The source offset of a block pixel whose phase-shifted position is v
// (0-7), read from the copy-address table: words v and 8 + v hold the low
// bit (in bit 6) and the two high bits (in bits 5-6) of the offset.
std::int64_t table_offset(const std::array<std::uint32_t, 16>& t, std::int64_t v) {
    return (((t[v] >> 6) & 1u) + ((t[8 + v] >> 4) & 6u)) & 7u;
}

// A block row's source pixels in block order: pixel x of the block takes
// the source row's pixel off[(x + phase) & 7].
template <std::size_t kBytes>
void gather(std::uint8_t* out, const std::uint8_t* row, std::int64_t x0, std::int64_t x1, std::int64_t phX,
            const std::int64_t* off) {
    for (std::int64_t x = x0; x < x1; ++x)
        std::memcpy(out + (x - x0) * kBytes, row + off[(x + phX) & 7] * kBytes, kBytes);
}

// Whether the program only moves the sample into the destination (an
// unconditional or clipped MOVE 12 -> 13) between pixmaps of one format
// whose stores keep the whole pixel: then every written pixel is the source
// pixel as stored (the format's conversions to and from registers undo each
// other), and the block is moved as bytes.
bool plain_copy(const Program& program, std::uint16_t pidDst, std::uint16_t pidSrc) {
    if (program.n != 1 || (pidDst >> 13) != (pidSrc >> 13) || pixel_format_of_pid(pidDst).topByteOnly)
        return false;
    const Instr& in = program.ins[0];
    return in.op == kOpMove && in.a == kCopySlotSample && in.dst == kCopySlotDst;
}

// The block [a.x0, a.x1) x [a.y0, a.y1) of a plain copy: raw holds each
// row's eight source pixels as stored, in block order from x0's sample on.
void move_block(const SpanContext& c, PageCursor& dst, const PixelArea& a, const std::uint8_t (*raw)[kBlock * 4],
                std::uint32_t bpp, bool clip) {
    const Rasterizer& ras = c.board->rasterizers[c.r];
    for (std::int64_t y = a.y0; y < a.y1; ++y) {
        if (clip && c.hasClip && (y < c.clipY0 || y >= c.clipY1)) continue;
        for (std::int64_t x = a.x0; x < a.x1;) {
            const std::int64_t tileEnd = std::min(a.x1, (x / kTile + 1) * kTile);
            std::int64_t from = x, to = tileEnd;
            x = tileEnd;
            if (!owns(ras, from, y)) continue;
            if (clip && c.hasClip) {
                from = std::max(from, c.clipX0);
                to = std::min(to, c.clipX1);
            }
            if (from >= to) continue;
            // The run lies in one tile, so in one page.
            const std::int64_t xMemory = from >= c.xScreen ? from - c.xScreen : from;
            std::uint32_t size = 0;
            std::int64_t run = 0;
            std::uint8_t* d = dst.pixel(xMemory, y, &size, &run);
            if (d == nullptr) continue;
            std::memcpy(d, raw[y - a.y0] + (from - a.x0) * bpp,
                        static_cast<std::size_t>(std::min(run, to - from)) * bpp);
        }
    }
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
    const PixelFormat& format = pixel_format_of_pid(pid);
    PageCursor cursor(board, r, pid);
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const PixelArea a = corner_area(packet.primitiveWords.data() + (i + 1) * wpp - 4);
        if (!owns(ras, a.x0, a.y0)) continue;
        for (int k = 0; k < 16; ++k) {
            std::uint32_t bpp = 0;
            const std::uint8_t* p = cursor.pixel(a.x0 + k % 4, a.y0 + k / 4, &bpp);
            ras.copyTable[k] = 0;
            if (p != nullptr) format.load(p, 1, &ras.copyTable[k]);
        }
    }
    return true;
}

bool copy_blocks(Impl& board, int r, const DecodedPacket& packet) {
    const auto& in = packet.instructions;
    if (!setup_ok(in)) return false;
    Program program;
    SpanContext c{};
    if (!packet_context(board, r, packet, kSetupWords, &program, &c)) return false;
    const std::uint32_t phase = (in[1] & kPhaseBits) >> 11;
    const std::int64_t phX = phase & 7, phY = phase >> 3;
    const std::uint16_t pidSrc = packet.pid(1);
    const PixelFormat& fmtSrc = pixel_format_of_pid(pidSrc);
    const Fields f = fields_of(packet.command);
    const std::size_t wpp = packet.wordsPerPrimitive;
    if (wpp < 8) return false;
    // Each block pixel's source offset (0-7) from its phase-shifted
    // position, as the rasterizer's copy-address table gives it.
    std::int64_t off[kBlock];
    for (int v = 0; v < kBlock; ++v) off[v] = table_offset(board.rasterizers[r].copyTable, v);

    std::uint32_t sample[kBlock][kBlock];
    const bool plain = plain_copy(program, packet.pid(0), pidSrc);
    const bool plainClip = plain && program.ins[0].clip;
    std::uint8_t raw[kBlock][kBlock * 4];
    PageCursor src(board, r, pidSrc), dst(board, r, packet.pid(0));
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const std::uint32_t* w = &packet.primitiveWords[i * wpp];
        const PixelArea a = corner_area(w + wpp - 4);
        if (a.x1 - a.x0 > kBlock || a.y1 - a.y0 > kBlock) return false;  // not a block
        // The source words carry the phase's low bits below the source's
        // 8-pixel grid: x bits 4-5, y bit 4, nothing else.
        if ((w[0] & 0x3Fu) != static_cast<std::uint32_t>((phX & 3) << 4) ||
            (w[1] & 0x1Fu) != static_cast<std::uint32_t>((phY & 1) << 4)) {
            board.error(r, packet.bus, "block copy source words do not match the phase");
            return false;
        }
        // The source block: eight pixels from an x on an 8-pixel boundary,
        // so each of its rows lies in one page.
        const std::int64_t sx0 = static_cast<std::int64_t>(w[0] & ~0x7Fu) >> 4;
        const std::int64_t sy0 = static_cast<std::int64_t>(w[1] & ~0x7Fu) >> 4;
        load_data(packet, f, i, &c);

        // The whole block's source samples are read before any pixel of it
        // is written. On the second screen the source x is already that
        // screen's own x.
        if (plain) {
            const std::uint32_t bpp = fmtSrc.bytesPerPixel;
            // The source block's rows lie in one page (sy0 is on an 8-row
            // boundary, the offsets are below 8).
            std::uint32_t size = 0;
            const std::uint8_t* p0 = src.pixel(sx0, sy0, &size);
            const std::size_t pitch = std::size_t{board.pageWidth[bpp]} * bpp;
            // The rows lie far apart in memory: every one is asked for
            // before the first is read, so their fetches overlap.
            if (p0 != nullptr) {
                for (int k = 0; k < kBlock; ++k) __builtin_prefetch(p0 + static_cast<std::size_t>(k) * pitch);
            }
            for (std::int64_t y = a.y0; y < a.y1; ++y) {
                const std::uint8_t* p = p0 != nullptr ? p0 + static_cast<std::size_t>(off[(y + phY) & 7]) * pitch : nullptr;
                std::uint8_t* out = raw[y - a.y0];
                if (p == nullptr) {
                    std::memset(out, 0, sizeof raw[0]);
                    continue;
                }
                switch (bpp) {
                case 1: gather<1>(out, p, a.x0, a.x1, phX, off); break;
                case 2: gather<2>(out, p, a.x0, a.x1, phX, off); break;
                default: gather<4>(out, p, a.x0, a.x1, phX, off); break;
                }
            }
            move_block(c, dst, a, raw, bpp, plainClip);
            continue;
        }
        for (std::int64_t y = a.y0; y < a.y1; ++y) {
            std::uint32_t row[kBlock] = {};
            std::uint32_t bpp = 0;
            if (const std::uint8_t* p = board.page_pixel(r, pidSrc, sx0, sy0 + off[(y + phY) & 7], &bpp))
                fmtSrc.load(p, kBlock, row);
            for (std::int64_t x = a.x0; x < a.x1; ++x) sample[y - a.y0][x - a.x0] = row[off[(x + phX) & 7]];
        }
        const BlockSample blockSample{sample, a.x0, a.y0};
        c.sample = &blockSample;
        run_area(c, a.x0, a.y0, a.x1, a.y1);
    }
    return true;
}

}  // namespace vnx::board::exec
