// Board memory: the tiles each rasterizer owns, the page geometry of each
// memory class and pixel format, and the resolution of a pixel of a pixmap
// id through a rasterizer's page-slot registers to the bytes of one of its
// 32 physical pages.
#include "board_impl.h"
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

std::uint8_t* Board::pixel(int rasterizer, std::uint16_t pid, LONG x, LONG y) {
    ULONG w = 0, h = 0, bpp = 0;
    if (!page_geometry(pid, &w, &h, &bpp)) return nullptr;
    if (x < 0 || y < 0 || x >= 0x40 * 128 || y >= 0x40 * 128) return nullptr;
    const std::uint32_t space = pid & 0x1Fu;
    if (space == VNX_PAGE_SLOT_FREE) return nullptr;
    const ULONG x0 = static_cast<ULONG>(x) / w * w, y0 = static_cast<ULONG>(y) / h * h;
    const std::uint32_t key = ((y0 >> 7) & 0x3Fu) << 11 | ((x0 >> 7) & 0x3Fu) << 5 | space;

    std::lock_guard lock(impl_->mutex);
    if (rasterizer < 0 || rasterizer >= rasterizers()) return nullptr;
    Rasterizer& ras = impl_->rasterizers[rasterizer];
    for (ULONG s = 0; s < VNX_PAGE_SLOTS; ++s) {
        if (ras.slots[s] != key) continue;
        const std::size_t bytes = page_bytes(impl_->config);
        if (!ras.pages[s]) ras.pages[s] = std::make_unique<std::uint8_t[]>(bytes);  // zeroed
        const std::size_t offset = ((y - y0) * std::size_t{w} + (x - x0)) * bpp;
        return ras.pages[s].get() + offset;
    }
    return nullptr;
}

}  // namespace vnx::board
