// Board memory: the tiles each rasterizer owns, the page geometry of each
// memory class and pixel format, and the resolution of a pixel of a pixmap
// id through a rasterizer's page-slot registers to the bytes of one of its
// 32 physical pages.
#include "board_impl.h"
#include "exec.h"
#include "platform/mmio.h"

namespace vnx::board {

namespace {

// Page width and height in pixels at multiplier 1, by memory class and
// pixel class (8, 16, 32 bits a pixel).
struct PageShape {
    ULONG width, height;
};
constexpr PageShape kPageShapes[3][3] = {
    {{256, 256}, {256, 128}, {128, 128}},  // class 0: 64 KB pages
    {{512, 256}, {256, 256}, {256, 128}},  // class 1: 128 KB pages
    {{512, 512}, {256, 512}, {256, 256}},  // class 2: 256 KB pages
};

// Bytes a pixel by pid pixel format (bits 13-15); 0 = no such format.
constexpr ULONG kBytesPerPixel[8] = {1, 0, 1, 2, 2, 4, 4, 0};

int multiplier(int code) { return code == 0 ? 1 : code == 1 ? 2 : 4; }

std::size_t page_bytes(const vnx::miniport::MachineConfig& cfg) {
    return (std::size_t{0x10000} << cfg.memoryClass) * multiplier(cfg.xMultiplierCode) *
           multiplier(cfg.yMultiplierCode);
}

}  // namespace

int tile_owner_local(int perBoard, int t) {
    const int column = t & 3, row = t >> 2;
    switch (perBoard) {
    case 2:
        return (column + row) & 1;
    case 4:
        return (column & 1) + 2 * (row & 1);
    default:
        return 0;
    }
}

std::uint32_t tile_owner_word(const vnx::miniport::MachineConfig& cfg, int k) {
    std::uint32_t w = 0;
    for (int t = 0; t < 16; ++t) {
        if (tile_owner_local(cfg.rasterizers, t) == k) w |= 1u << (16 + t);
    }
    w |= (cfg.stereo ? 1u : 0u) | static_cast<std::uint32_t>(cfg.xMultiplierCode) << 9 |
         static_cast<std::uint32_t>(cfg.yMultiplierCode) << 11 |
         static_cast<std::uint32_t>(cfg.memoryClass) << 13;
    return w;
}

int Board::tile_owner(int board, LONG x, LONG y) const {
    const int t = ((y >> 7) & 3) * 4 + ((x >> 7) & 3);
    return board * impl_->perBoard + tile_owner_local(impl_->perBoard, t);
}

bool Board::page_geometry(std::uint16_t pid, ULONG* width, ULONG* height,
                          ULONG* bytesPerPixel) const {
    const ULONG bpp = kBytesPerPixel[pid >> 13];
    if (bpp == 0) return false;
    const int pixelClass = bpp == 1 ? 0 : bpp == 2 ? 1 : 2;
    const auto& cfg = impl_->config;
    const PageShape shape = kPageShapes[cfg.memoryClass][pixelClass];
    *width = shape.width * multiplier(cfg.xMultiplierCode);
    *height = shape.height * multiplier(cfg.yMultiplierCode);
    *bytesPerPixel = bpp;
    return true;
}

std::uint8_t* Board::Impl::page_pixel(int r, std::uint16_t pid, std::int64_t x, std::int64_t y,
                                     std::uint32_t* bytesPerPixel) {
    *bytesPerPixel = 0;
    ULONG w = 0, h = 0, bpp = 0;
    if (!owner->page_geometry(pid, &w, &h, &bpp)) return nullptr;
    *bytesPerPixel = bpp;
    if (x < 0 || y < 0 || x >= 0x40 * 128 || y >= 0x40 * 128) return nullptr;
    const std::uint32_t space = pid & 0x1Fu;
    if (space == VNX_PAGE_SLOT_FREE) return nullptr;
    if (r < 0 || r >= static_cast<int>(rasterizers.size())) return nullptr;
    const ULONG x0 = static_cast<ULONG>(x) / w * w, y0 = static_cast<ULONG>(y) / h * h;
    const std::uint32_t key = ((y0 >> 7) & 0x3Fu) << 11 | ((x0 >> 7) & 0x3Fu) << 5 | space;
    Rasterizer& ras = rasterizers[r];
    for (ULONG s = 0; s < VNX_PAGE_SLOTS; ++s) {
        if (ras.slots[s] != key) continue;
        if (!ras.pages[s]) ras.pages[s] = std::make_unique<std::uint8_t[]>(page_bytes(config));  // zeroed
        const std::size_t offset = ((y - y0) * std::size_t{w} + (x - x0)) * bpp;
        return ras.pages[s].get() + offset;
    }
    return nullptr;
}

std::uint8_t* Board::pixel(int rasterizer, std::uint16_t pid, LONG x, LONG y) {
    std::lock_guard lock(impl_->mutex);
    std::uint32_t bpp = 0;
    return impl_->page_pixel(rasterizer, pid, x, y, &bpp);
}

std::vector<std::uint32_t> Board::read_pixels(int board, std::uint16_t pid, LONG x, LONG y,
                                              LONG cx, LONG cy) {
    std::vector<std::uint32_t> out;
    if (cx <= 0 || cy <= 0 || board < 0 || board >= boards()) return out;
    out.assign(static_cast<std::size_t>(cx) * static_cast<std::size_t>(cy), 0);
    std::lock_guard lock(impl_->mutex);
    for (LONG j = 0; j < cy; ++j) {
        for (LONG i = 0; i < cx; ++i) {
            std::uint32_t bpp = 0;
            const std::uint8_t* p =
                impl_->page_pixel(tile_owner(board, x + i, y + j), pid, x + i, y + j, &bpp);
            if (p != nullptr) out[static_cast<std::size_t>(j) * cx + i] = exec::load_pixel(p, bpp);
        }
    }
    return out;
}

std::vector<std::uint32_t> Board::read_rgb(int board, std::uint16_t pid, LONG x, LONG y, LONG cx,
                                           LONG cy) {
    std::vector<std::uint32_t> out = read_pixels(board, pid, x, y, cx, cy);
    const std::uint32_t format = pid >> 13;
    std::lock_guard lock(impl_->mutex);
    for (std::uint32_t& p : out) {
        switch (format) {
        case 0: {  // palette indices, through the RAMDAC's colour registers
            const std::uint32_t c = impl_->ramdacs[board].clut[p & 0xFF];  // red in the low byte
            p = (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF);
            break;
        }
        case 2: {  // 3-3-2
            const std::uint32_t r3 = (p >> 5) & 7, g3 = (p >> 2) & 7, b2 = p & 3;
            p = (r3 * 255 / 7) << 16 | (g3 * 255 / 7) << 8 | (b2 * 255 / 3);
            break;
        }
        case 3:
        case 4: {  // 5-5-5 (bit 15 is the overlay bit)
            const std::uint32_t r5 = (p >> 10) & 31, g5 = (p >> 5) & 31, b5 = p & 31;
            p = (r5 << 3 | r5 >> 2) << 16 | (g5 << 3 | g5 >> 2) << 8 | (b5 << 3 | b5 >> 2);
            break;
        }
        default:  // 32 bits: 0x00RRGGBB
            p &= 0xFFFFFFu;
            break;
        }
    }
    return out;
}

}  // namespace vnx::board
