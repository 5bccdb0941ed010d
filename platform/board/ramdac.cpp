// The RAMDAC of each board: the index/data register window, the register
// file behind it (cursor control, position, colours and image among them),
// the colour registers the miniport loads, and the vertical retrace at which
// registers 0x33 and 0x34 take their written values.
#include <algorithm>
#include <utility>

#include "board_impl.h"
#include "platform/mmio.h"

namespace vnx::board {

namespace {

constexpr std::uint32_t kCursorControl = 0x30;
constexpr std::uint32_t kCursorPosition = 0x31;  // the one 32-bit register
constexpr std::uint32_t kRetraceLow = 0x33;
constexpr std::uint32_t kRetraceHigh = 0x34;
constexpr std::uint32_t kCursorColours = 0x40;
constexpr std::uint32_t kCursorImage = 0x100;
constexpr std::uint32_t kCursorOn = 0x35;

}  // namespace

void Board::Impl::ramdac_write(int b, ULONG offset, ULONG value) {
    Ramdac& dac = ramdacs[b];
    switch (offset) {
    case VNX_REG_RAMDAC_INDEX_LO:
        dac.index = (dac.index & 0xFF00u) | (value & 0xFFu);
        return;
    case VNX_REG_RAMDAC_INDEX_HI:
        dac.index = (dac.index & 0x00FFu) | ((value & 0xFFu) << 8);
        return;
    default:  // data
        break;
    }
    const std::uint32_t i = dac.index;
    const std::uint32_t stored = i == kCursorPosition ? value : value & 0xFFu;
    if (recording) append_record(dac.writes, RamdacWrite{i, stored});
    log(BoardEvent::RamdacWrite, b, i, stored);
    if (i == kRetraceLow || i == kRetraceHigh) {
        // Taken at the next vertical retrace.
        if (!dac.pending) {
            dac.pending33 = dac.regs[kRetraceLow];
            dac.pending34 = dac.regs[kRetraceHigh];
            dac.pending = true;
        }
        (i == kRetraceLow ? dac.pending33 : dac.pending34) = value & 0xFFu;
    } else {
        dac.regs[i] = i == kCursorPosition ? value : value & 0xFFu;
    }
    dac.index = (dac.index + 1) & 0xFFFFu;
}

ULONG Board::Impl::ramdac_read(int b, ULONG offset) {
    Ramdac& dac = ramdacs[b];
    switch (offset) {
    case VNX_REG_RAMDAC_INDEX_LO:
        return dac.index & 0xFFu;
    case VNX_REG_RAMDAC_INDEX_HI:
        return dac.index >> 8;
    default:
        break;
    }
    const int perFrame = config.ramdacReadsPerFrame;
    if (perFrame > 0 && ++dac.readsSinceRetrace >= perFrame) retrace(b);
    return dac.regs[dac.index];
}

void Board::Impl::retrace(int b) {
    Ramdac& dac = ramdacs[b];
    if (dac.pending) {
        dac.regs[kRetraceLow] = dac.pending33;
        dac.regs[kRetraceHigh] = dac.pending34;
        dac.pending = false;
    }
    dac.readsSinceRetrace = 0;
    ++dac.retraces;
    log(BoardEvent::Retrace, b, 0);
}

void Board::vertical_retrace() {
    std::lock_guard lock(impl_->mutex);
    for (int b = 0; b < boards(); ++b) impl_->retrace(b);
}

std::uint64_t Board::retraces(int board) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->ramdacs.at(board).retraces;
}

ULONG Board::ramdac_register(int board, ULONG index) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->ramdacs.at(board).regs.at(index & 0xFFFFu);
}

CursorState Board::cursor(int board) const {
    std::lock_guard lock(impl_->mutex);
    const Ramdac& dac = impl_->ramdacs.at(board);
    CursorState c;
    c.on = dac.regs[kCursorControl] == kCursorOn;
    c.position = dac.regs[kCursorPosition];
    for (int i = 0; i < 9; ++i) c.colours[i] = static_cast<std::uint8_t>(dac.regs[kCursorColours + i]);
    for (int i = 0; i < 1024; ++i) c.image[i] = static_cast<std::uint8_t>(dac.regs[kCursorImage + i]);
    return c;
}

std::vector<RamdacWrite> Board::take_ramdac_writes(int board) {
    std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->ramdacs.at(board).writes, {});
}

LONG CursorState::x() const { return static_cast<std::int16_t>(position & 0xFFFFu); }
LONG CursorState::y() const { return static_cast<std::int16_t>(position >> 16); }

unsigned CursorState::code(LONG px, LONG py) const {
    if (px < 0 || py < 0 || px >= 64 || py >= 64) return 0;
    return (image[py * 16 + px / 4] >> (6 - 2 * (px & 3))) & 3u;
}

std::uint32_t CursorState::colour(unsigned c) const {
    if (c < 1 || c > 3) return 0;
    const std::uint8_t* rgb = colours + 3 * (c - 1);
    return static_cast<std::uint32_t>(rgb[0]) << 16 | static_cast<std::uint32_t>(rgb[1]) << 8 | rgb[2];
}

void CursorState::overlay(std::uint32_t* rgb, LONG cx, LONG cy, std::size_t stride) const {
    if (!on) return;
    const LONG x0 = x(), y0 = y();
    for (LONG py = std::max<LONG>(y0, 0); py < std::min<LONG>(y0 + 64, cy); ++py)
        for (LONG px = std::max<LONG>(x0, 0); px < std::min<LONG>(x0 + 64, cx); ++px)
            if (const unsigned c = code(px - x0, py - y0); c != 0)
                rgb[static_cast<std::size_t>(py) * stride + static_cast<std::size_t>(px)] = colour(c);
}

ULONG Board::color_register(int board, ULONG index) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->ramdacs.at(board).clut.at(index);
}

void Board::set_color_register(int board, ULONG index, ULONG value) {
    std::lock_guard lock(impl_->mutex);
    impl_->ramdacs.at(board).clut.at(index) = value;
}

}  // namespace vnx::board
