// Host transfers carried out into board memory: the DMA engine's row
// transfers between DMA memory and a pixmap (transfer packets, command 7),
// and the cells of the 1-bit expansion (rectangles carrying their own mask
// rows). The rules are in platform/board.h ("Execution").
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "exec.h"

namespace vnx::board::exec {

namespace {

// Row descriptor fields.
constexpr std::uint32_t kFirstMask = 0x7Fu;         // bits 0-6: first byte within the span
constexpr std::uint32_t kLastShift = 7;             // bits 7-16: last byte within the span
constexpr std::uint32_t kLastMask = 0x3FFu;
constexpr std::uint32_t kKindShift = 17;            // bits 17-22: transfer kind
constexpr std::uint32_t kKindMask = 0x3Fu;
constexpr std::uint32_t kUpload = 1u << 23;         // kind + 64: host to board
constexpr std::uint32_t kKindAndDirection = 0xFE0000u;

// Transfer kinds by the pixel they move.
constexpr std::uint32_t kKind8And16 = 15;
constexpr std::uint32_t kKind32 = 7;
constexpr std::uint32_t kKindOverlay = 8;  // 32-bit pixels of pid format 6

constexpr std::uint32_t kOverlayFormat = 6;

std::string text(const char* format, std::uint32_t a, std::uint32_t b = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

// Whether a transfer kind moves pixels of this size and format.
bool kind_suits(std::uint32_t kind, std::uint32_t bytesPerPixel, std::uint32_t format) {
    switch (kind) {
    case kKind8And16:
        return bytesPerPixel == 1 || bytesPerPixel == 2;
    case kKind32:
        return bytesPerPixel == 4 && format != kOverlayFormat;
    case kKindOverlay:
        return bytesPerPixel == 4 && format == kOverlayFormat;
    default:
        return false;
    }
}

// Carries out one record; false (with a board error) for a record the engine
// cannot carry out.
bool transfer_row(Impl& board, int r, std::uint32_t bus, const TransferRecord& t) {
    const std::uint32_t d = t.descriptor;
    const std::uint32_t kind = (d >> kKindShift) & kKindMask;
    const bool upload = (d & kUpload) != 0;
    const auto pid = static_cast<std::uint16_t>(t.pid);
    const std::uint32_t format = pid >> 13;
    ULONG w = 0, h = 0, bytesPerPixel = 0;
    if (!board.owner->page_geometry(pid, &w, &h, &bytesPerPixel)) {
        board.error(r, bus, text("transfer record at 0x%08x for pid 0x%x without a pixel format", bus, pid));
        return false;
    }
    if (!kind_suits(kind, bytesPerPixel, format)) {
        board.error(r, bus, text("transfer kind %u does not move the pixels of pid 0x%x", kind, pid));
        return false;
    }
    const std::uint32_t first = d & kFirstMask;
    const std::uint32_t last = (d >> kLastShift) & kLastMask;
    if (last < first || first % bytesPerPixel != 0 || (last + 1) % bytesPerPixel != 0) {
        board.error(r, bus, text("row descriptor 0x%08x does not fit pid 0x%x", d, pid));
        return false;
    }
    const std::uint32_t bytes = last - first + 1;
    if (!board.bus_ok(t.bus + first, bytes)) {
        board.error(r, bus, text("transfer row at bus 0x%08x (0x%x bytes) outside DMA memory", t.bus + first, bytes));
        return false;
    }

    // The row lies in one tile: the rasterizer that owns it moves it. A
    // row written into a tile pid (bit 6: the texture tiles every
    // rasterizer fetches texels from) is stored by every rasterizer.
    const std::int64_t x = (t.position & 0xFFFFu) + first / bytesPerPixel;
    const std::int64_t y = t.position >> 16;
    if (!owns(board.rasterizers[r], x, y) && !(upload && (pid & 0x40u) != 0)) return true;
    std::uint8_t* host = board.dma + (t.bus + first - kDmaBusBase);
    const std::int64_t pixels = bytes / bytesPerPixel;
    // A page at a time: the row may run on into the next page.
    for (std::int64_t i = 0; i < pixels;) {
        std::uint32_t size = 0;
        std::int64_t run = 0;
        std::uint8_t* p = board.page_pixel(r, pid, x + i, y, &size, &run, upload);
        run = std::min(run, pixels - i);
        std::uint8_t* q = host + i * bytesPerPixel;
        const std::size_t cb = static_cast<std::size_t>(run) * bytesPerPixel;
        if (upload) {
            if (p != nullptr) move_pixels(p, q, static_cast<std::size_t>(run), pixel_format(format));
        } else if (p != nullptr) {
            std::memcpy(q, p, cb);
        } else {
            std::memset(q, 0, cb);
        }
        i += run;
    }
    return true;
}

}  // namespace

bool expand_cells(Impl& board, int r, const DecodedPacket& packet) {
    // Words 8-11 of a cell are its four corners.
    if (packet.wordsPerPrimitive != 12) return false;
    return draw_cells(board, r, packet, [](const std::uint32_t* w, std::uint32_t* corner) {
        std::copy(w + 8, w + 12, corner);
    });
}

bool transfer_rows(Impl& board, int r, const DecodedPacket& packet) {
    bool all = true;
    for (std::size_t i = 0; i < packet.transfers.size(); ++i) {
        const TransferRecord& t = packet.transfers[i];
        // Kind 0 (queue close records): the DMA engine itself wrote the zeros.
        if ((t.descriptor & kKindAndDirection) == 0) continue;
        const auto bus = static_cast<std::uint32_t>(packet.bus + 8 + 16 * i);
        all = transfer_row(board, r, bus, t) && all;
    }
    return all;
}

}  // namespace vnx::board::exec
