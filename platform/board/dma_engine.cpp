// The DMA engine and command decoder of each rasterizer: the read- and
// write-pointer registers, the walk over the stream words the driver exposes,
// the decoding and checking of every stream item (the rules are in
// platform/board.h), the clearing of sync words by transfer records, and the
// busy bit.
#include <cstdio>
#include <cstring>

#include "board_impl.h"
#include "exec.h"
#include "render3d.h"

namespace vnx::board {

namespace {

using Impl = Board::Impl;

// Vertices of a primitive and whether a width word follows them, by
// primitive class (command bits 0-3).
struct ClassRow {
    std::uint32_t vertices;
    std::uint32_t widthWords;
};
constexpr std::uint32_t kWideLineClass = 2;
constexpr std::uint32_t kSmallKernelClass = 3, kLargeKernelClass = 4;
constexpr ClassRow kClasses[] = {
    {1, 0},  // 0 points
    {2, 0},  // 1 thin lines
    {2, 1},  // 2 wide lines, smallest antialiasing kernel
    {2, 1},  // 3 larger antialiasing kernel
    {2, 1},  // 4 larger antialiasing kernel
    {3, 0},  // 5 polygons
    {4, 0},  // 6 rectangles
    {0, 0},  // 7-11: no layout
    {0, 0},
    {0, 0},
    {0, 0},
    {0, 0},
    {2, 0},  // 12 the 2D engine's lines (with the line flag: command 0x03C)
};

// Mask words by the mask-data bits (command bits 7-9).
struct MaskRow {
    std::uint32_t bits;
    std::uint32_t perPacket;
    std::uint32_t perPrimitive;
};
constexpr MaskRow kMasks[] = {
    {0x000, 0, 0},  // no mask data
    {0x280, 8, 0},  // monochrome pattern load: sixteen 16-bit rows once
    {0x200, 0, 0},  // two-colour fills
    {0x300, 0, 8},  // glyphs and 1-bit expansion: sixteen rows per primitive
    {0x100, 0, 8},  // stippled lines: a 256-bit stipple block per primitive
    {0x080, 8, 0},  // stipple cell load: sixteen 16-bit rows once (rectangles)
};

// Constant words per packet and per primitive by the constants format
// (command bits 10-11).
constexpr std::uint32_t kConstants[4][2] = {{0, 0}, {8, 0}, {0, 8}, {4, 4}};

using Layout = PacketLayout;

// The layout of a drawing packet's command word; false when the word is no
// drawing command (*known false) or has no layout yet (*known true).
bool layout_of(std::uint32_t cmd, Layout* out, bool* known) {
    *known = false;
    const std::uint32_t cls = cmd & 0xF;
    const std::uint32_t instructions = (cmd >> 20) & 0x1F;
    if ((cmd & 0xF0000040u) != 0 || cls >= std::size(kClasses) || kClasses[cls].vertices == 0 ||
        instructions == 0 ||
        cmd == kWordEmpty) {
        return false;
    }
    *known = true;
    const MaskRow* mask = nullptr;
    for (const MaskRow& row : kMasks) {
        if ((cmd & 0x380u) == row.bits) mask = &row;
    }
    // Stipple blocks come only with lines (the line flag, classes 1-4).
    if (mask != nullptr && mask->bits == 0x100u && ((cmd & KZU_HDR_LINE) == 0 || cls < 1 || cls > 4)) mask = nullptr;
    // Stipple cell rows come only with rectangles (class 6, no line flag).
    if (mask != nullptr && mask->bits == 0x080u && ((cmd & KZU_HDR_LINE) != 0 || cls != 6)) mask = nullptr;
    if (mask == nullptr) return false;

    Layout l;
    l.pidWords = (cmd >> 25) & 7;
    l.instructionWords = instructions;
    l.clipWords = (cmd & 0x20u) ? 2 : 0;
    const std::uint32_t* constants = kConstants[(cmd >> 10) & 3];
    std::uint32_t dataPerPacket = 0, dataPerVertex = 0, dataPerPrimitive = 0;
    for (int reg = 0; reg < 4; ++reg) {
        const std::uint32_t kind = exec::load_of(cmd, reg);
        if (kind == KZU_LOAD_PACKET) ++dataPerPacket;
        if (kind == KZU_LOAD_VERTEX) ++dataPerVertex;
        if (kind == KZU_LOAD_PRIMITIVE) ++dataPerPrimitive;
    }
    l.packetWords = constants[0] + dataPerPacket + mask->perPacket;
    l.vertices = kClasses[cls].vertices;
    l.perPrimitive = constants[1] + mask->perPrimitive + dataPerPrimitive + dataPerVertex * l.vertices + l.vertices +
                     kClasses[cls].widthWords;
    // A wide line with a depth word a vertex sends its second end's depth
    // word once more (render3d.h, "Lines").
    if (cls == kWideLineClass && (cmd & KZU_HDR_LINE) != 0 && exec::load_of(cmd, 1) == KZU_LOAD_VERTEX) ++l.perPrimitive;
    // An antialiased line (classes 3 and 4) sends three words for each
    // register but rgb0 loaded once a vertex (render3d.h, "Antialiased
    // lines").
    if ((cls == kSmallKernelClass || cls == kLargeKernelClass) && (cmd & KZU_HDR_LINE) != 0) {
        for (int reg = 1; reg < 4; ++reg)
            if (exec::load_of(cmd, reg) == KZU_LOAD_VERTEX) ++l.perPrimitive;
    }
    // The GL generator's polygon layouts are read by the render functions'
    // data-word table (render3d.h).
    if (const kzPrimWordsRow* row = exec::gl_layout_of(cmd)) {
        l.vertices = row->vertices;
        l.perPrimitive = constants[1] + mask->perPrimitive + kzPrimWordCount(*row);
    }
    *out = l;
    return true;
}

bool starts_item(std::uint32_t w) {
    if (w == kWordEmpty || w == kWordTransfer || w == kWordSync || w == kWordEnd ||
        w == kWordNop) {
        return true;
    }
    Layout l;
    bool known = false;
    return layout_of(w, &l, &known);
}

// layout_of through the board's memo of recent command words: the memo's
// entry for the word.
const CommandMemo::Layout& layout_of(CommandMemo& memo, std::uint32_t cmd) {
    CommandMemo::Layout& m = memo.layouts[CommandMemo::index(cmd)];
    if (!m.valid || m.command != cmd) {
        m.command = cmd;
        m.ok = layout_of(cmd, &m.layout, &m.known);
        m.valid = true;
    }
    return m;
}

std::string hex_text(const char* format, std::uint32_t a, std::uint32_t b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

enum class Step { Consumed, Wait, Failed };

// Decodes the item at the decoder's position of rasterizer r.
class Decoder {
public:
    Decoder(Impl& board, int r) : b_(board), r_(r), ras_(board.rasterizers[r]),
                                  pos_(ras_.decodePos), limit_(ras_.readPtr) {}

    Step step() {
        const std::uint32_t w = b_.word(pos_);
        switch (w) {
        case kWordNop:
            ++ras_.summary.nops;
            return consumed(1);
        case kWordEnd:
            return end();
        case kWordSync: {
            DecodedPacket item;
            item.kind = ItemKind::Sync;
            item.bus = pos_;
            item.command = w;
            ++ras_.summary.syncs;
            record(std::move(item));
            return consumed(1);
        }
        case kWordTransfer:
            return transfer();
        case kWordEmpty:
            return empty();
        default:
            return packet(w);
        }
    }

private:
    bool exposed(std::uint32_t words) const { return pos_ + 4 * words <= limit_; }
    std::uint32_t at(std::uint32_t index) const { return b_.word(pos_ + 4 * index); }

    Step consumed(std::uint32_t words) {
        ras_.decodePos = pos_ + 4 * words;
        ras_.summary.words += words;
        return Step::Consumed;
    }

    Step fail(std::string message) {
        b_.error(r_, pos_, std::move(message));
        ras_.decodePos = pos_ + 4;
        ras_.summary.words += 1;
        ras_.resync = true;
        return Step::Failed;
    }

    void record(DecodedPacket item) {
        b_.log(BoardEvent::Item, r_, item.command, static_cast<std::uint32_t>(item.kind));
        if (b_.recording) append_record(ras_.records, std::move(item));
    }

    // Carries a drawing or transfer packet out into board memory, shows it
    // to the observer a test installed, then records it.
    void execute_and_record(DecodedPacket& item) {
        if (b_.executing) exec::execute(b_, r_, item);
        if (b_.executor) b_.executor(*b_.owner, r_, item);
        b_.log(BoardEvent::Item, r_, item.command, static_cast<std::uint32_t>(item.kind));
        if (b_.recording) append_record(ras_.records, item);
    }

    // The rasterizer's item record, emptied for an item at the position.
    DecodedPacket& fresh_item(ItemKind kind, std::uint32_t command) {
        DecodedPacket& item = ras_.item;
        item.kind = kind;
        item.bus = pos_;
        item.command = command;
        item.control = 0;
        item.primitives = 0;
        item.pids.clear();
        item.instructions.clear();
        item.hasClip = false;
        item.clipMin = item.clipMax = 0;
        item.constants.clear();
        item.wordsPerPrimitive = 0;
        item.verticesPerPrimitive = 0;
        item.primitiveWords.clear();
        item.transfers.clear();
        return item;
    }

    // Words first .. first + n - 1 of the item (exposed and inside DMA
    // memory) into *out.
    void words(std::uint32_t first, std::uint32_t n, std::vector<std::uint32_t>* out) const {
        // One copy into the list's room (a resize would zero it first).
        const auto* w = reinterpret_cast<const std::uint32_t*>(b_.dma + (pos_ + 4 * first - kDmaBusBase));
        out->assign(w, w + n);
    }

    // A packet of `words` words whose end may lie past the write pointer.
    bool fits(std::uint32_t words, Step* outcome) {
        if (!b_.bus_ok(pos_, 4 * words) || pos_ + 4ull * words > kDmaBusBase + b_.config.dmaBytes) {
            *outcome = fail(hex_text("packet at 0x%08x runs past the end of the DMA buffer", pos_));
            return false;
        }
        if (!exposed(words)) {
            *outcome = Step::Wait;
            return false;
        }
        return true;
    }

    bool marks_at(std::uint32_t index) const {
        return exposed(index + 3) && at(index) == kFillMarks[0] && at(index + 1) == kFillMarks[1] &&
               at(index + 2) == kFillMarks[2];
    }

    Step end() {
        // The fill marks follow at once, or after an empty packet whose own
        // END carries them (the wrap's {10, 1, 0, 10, marks}).
        const bool marked = marks_at(1) || (exposed(4) && at(1) == kWordEmpty && at(2) == 0 &&
                                            at(3) == kWordEnd && marks_at(4));
        if (!marked) b_.error(r_, pos_, hex_text("END at 0x%08x without its three fill words", pos_));
        DecodedPacket item;
        item.kind = ItemKind::End;
        item.bus = pos_;
        item.command = kWordEnd;
        ++ras_.summary.ends;
        record(std::move(item));
        consumed(1);
        // The engine stops; the words after the END are dropped.
        ras_.stopped = true;
        ras_.decodePos = ras_.readPtr;
        return Step::Consumed;
    }

    Step empty() {
        if (!exposed(2)) return Step::Wait;
        const std::uint32_t control = at(1);
        if (control != 0) {
            return fail(hex_text("empty packet at 0x%08x with control word 0x%x", pos_, control));
        }
        DecodedPacket item;
        item.kind = ItemKind::Empty;
        item.bus = pos_;
        item.command = kWordEmpty;
        ++ras_.summary.empty;
        record(std::move(item));
        return consumed(2);
    }

    Step transfer() {
        if (!exposed(2)) return Step::Wait;
        const std::uint32_t control = at(1);
        const std::uint32_t n = control & 0xFFFF;
        if ((control & 0xFFF80000u) != 0 || n == 0) {
            return fail(hex_text("transfer packet at 0x%08x with control word 0x%x", pos_, control));
        }
        Step outcome;
        if (!fits(2 + 4 * n, &outcome)) return outcome;
        DecodedPacket& item = fresh_item(ItemKind::Transfer, kWordTransfer);
        item.control = control;
        item.primitives = n;
        for (std::uint32_t i = 0; i < n; ++i) {
            item.transfers.push_back(
                TransferRecord{at(2 + 4 * i), at(3 + 4 * i), at(4 + 4 * i), at(5 + 4 * i)});
        }
        // A queue close record (one record clearing its own control word)
        // follows NOP padding to a line.
        const TransferRecord& first = item.transfers[0];
        if (n == 1 && (first.descriptor & 0xFE0000u) == 0 && first.bus == pos_ + 4 && pos_ % 128 != 0) {
            b_.error(r_, pos_, hex_text("queue close record at 0x%08x not on a 128-byte line", pos_));
        }
        ++ras_.summary.transfers;
        consumed(2 + 4 * n);
        for (const TransferRecord& t : item.transfers) clear_bytes(t);
        execute_and_record(item);
        return Step::Consumed;
    }

    // Transfer kind 0: writes the record's byte count of zeros to its bus
    // address (how a queue close record clears its sync word).
    void clear_bytes(const TransferRecord& t) {
        if ((t.descriptor & 0xFE0000u) != 0) return;  // another kind, or an upload
        const std::int64_t bytes = static_cast<std::int64_t>((t.descriptor & 0x1FF80u) >> 7) -
                                   (t.descriptor & 0x7Fu) + 1;
        if (bytes <= 0) return;
        if (!b_.bus_ok(t.bus, static_cast<std::uint32_t>(bytes))) {
            b_.error(r_, pos_, hex_text("transfer to bus address 0x%08x outside DMA memory", t.bus));
            return;
        }
        std::memset(b_.dma + (t.bus - kDmaBusBase), 0, static_cast<std::size_t>(bytes));
    }

    Step packet(std::uint32_t cmd) {
        const CommandMemo::Layout& m = layout_of(b_.memo, cmd);
        if (!m.ok) {
            return fail(hex_text(m.known ? "packet layout not known for command word 0x%08x at 0x%08x"
                                       : "bad command word 0x%08x at 0x%08x",
                                 cmd, pos_));
        }
        if (!exposed(2)) return Step::Wait;
        const std::uint32_t control = at(1);
        if ((control & 0xFFF80000u) != 0) {
            return fail(hex_text("bad control word 0x%08x of the packet at 0x%08x", control, pos_));
        }
        const std::uint32_t prims = control & 0xFFFF;
        const Layout& l = m.layout;
        const std::uint64_t total = l.head() + std::uint64_t{prims} * l.perPrimitive;
        if (total > b_.config.dmaBytes / 4) {
            return fail(hex_text("packet at 0x%08x runs past the end of the DMA buffer", pos_));
        }
        Step outcome;
        if (!fits(static_cast<std::uint32_t>(total), &outcome)) return outcome;

        // Built in the rasterizer's own record, whose lists keep their room
        // from packet to packet.
        DecodedPacket& item = fresh_item(ItemKind::Packet, cmd);
        item.control = control;
        item.primitives = prims;
        std::uint32_t i = 2;
        words(i, l.pidWords, &item.pids);
        i += l.pidWords;
        words(i, l.instructionWords, &item.instructions);
        i += l.instructionWords;
        if (l.clipWords != 0) {
            item.hasClip = true;
            item.clipMin = at(i++);
            item.clipMax = at(i++);
        }
        words(i, l.packetWords, &item.constants);
        i += l.packetWords;
        item.wordsPerPrimitive = l.perPrimitive;
        item.verticesPerPrimitive = l.vertices;
        words(i, static_cast<std::uint32_t>(std::uint64_t{prims} * l.perPrimitive), &item.primitiveWords);
        ++ras_.summary.packets;
        ras_.summary.primitives += prims;
        consumed(static_cast<std::uint32_t>(total));
        execute_and_record(item);
        return Step::Consumed;
    }

    Impl& b_;
    int r_;
    Rasterizer& ras_;
    std::uint32_t pos_;
    std::uint32_t limit_;
};

}  // namespace

bool Board::Impl::bus_ok(std::uint32_t bus, std::uint32_t bytes) const {
    const std::uint64_t used = config.dmaBytes + 2ull * VNX_STAGING_BUFFER_BYTES;
    return bus >= kDmaBusBase && std::uint64_t{bus} - kDmaBusBase + bytes <= used;
}

std::uint32_t Board::Impl::word(std::uint32_t bus) const {
    std::uint32_t w;
    std::memcpy(&w, dma + (bus - kDmaBusBase), sizeof w);
    return w;
}

bool Board::Impl::busy(int r) {
    Rasterizer& ras = rasterizers[r];
    if (ras.hung) return true;
    if (ras.busyReads > 0) {
        --ras.busyReads;
        return true;
    }
    return !ras.stopped && !ras.resync && ras.decodePos < ras.readPtr;
}

namespace {

bool pointer_ok(const Impl& b, std::uint32_t v) {
    return v % 4 == 0 && v >= kDmaBusBase && v - kDmaBusBase <= b.config.dmaBytes;
}

}  // namespace

void Board::Impl::set_write_pointer(int r, std::uint32_t value) {
    Rasterizer& ras = rasterizers[r];
    ras.writePtr = value;
    if (!pointer_ok(*this, value)) {
        error(r, value, hex_text("write pointer 0x%08x outside the DMA buffer", value));
        return;
    }
    if (value % 128 != 0) {
        // The driver hands the board whole lines only; the engine still
        // takes the words.
        error(r, value, hex_text("write pointer 0x%08x not on a 128-byte line", value));
    }
    if (ras.stopped || ras.hung) return;
    if (value < ras.readPtr) {
        error(r, value,
              hex_text("write pointer 0x%08x behind the read pointer 0x%08x", value, ras.readPtr));
        return;
    }
    if (value > ras.readPtr) ras.busyReads = config.busyReads;
    ras.readPtr = value;  // every exposed word is fetched
    run(r);
}

void Board::Impl::set_read_pointer(int r, std::uint32_t value) {
    Rasterizer& ras = rasterizers[r];
    if (!pointer_ok(*this, value)) {
        ras.readPtr = value;
        error(r, value, hex_text("read pointer 0x%08x outside the DMA buffer", value));
        return;
    }
    if (!ras.stopped && !ras.resync && ras.decodePos < ras.readPtr) {
        error(r, ras.decodePos,
              hex_text("packet cut off at 0x%08x: its words from 0x%08x on were never exposed",
                       ras.decodePos, ras.readPtr));
    }
    ras.readPtr = value;
    ras.decodePos = value;
    ras.stopped = false;
    ras.resync = false;
}

void Board::Impl::run(int r) {
    Rasterizer& ras = rasterizers[r];
    while (!ras.stopped && ras.decodePos < ras.readPtr) {
        if (ras.resync) {
            // Skip to a NOP or END, or to a line that starts a valid item.
            std::uint32_t p = ras.decodePos;
            for (; p < ras.readPtr; p += 4) {
                const std::uint32_t w = word(p);
                if (w == kWordNop || w == kWordEnd || (p % 128 == 0 && starts_item(w))) break;
            }
            ras.summary.words += (p - ras.decodePos) / 4;
            ras.decodePos = p;
            if (p == ras.readPtr) return;
            ras.resync = false;
            continue;
        }
        if (Decoder(*this, r).step() == Step::Wait) return;
    }
}

}  // namespace vnx::board
