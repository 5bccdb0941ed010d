// Board memory: the tiles each rasterizer owns, the page geometry of each
// memory class and pixel format, and the resolution of a pixel of a pixmap
// id through a rasterizer's page-slot registers to the bytes of one of its
// 32 physical pages.
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "board_impl.h"
#include "formats.h"
#include "platform/mmio.h"

namespace vnx::board {

namespace {

// The pages boards of the process gave back, by size, up to kPoolLimit
// bytes in all (more are freed). The pool lives as long as the process:
// a board may go after the statics of another library.
constexpr std::size_t kPoolLimit = std::size_t{512} << 20;
struct PagePool {
    std::mutex mutex;
    std::unordered_map<std::size_t, std::vector<std::uint8_t*>> free;
    std::size_t held = 0;
};
PagePool& page_pool() {
    static PagePool* pool = new PagePool;
    return *pool;
}

}  // namespace

void PageDeleter::operator()(std::uint8_t* p) const noexcept {
    if (p == nullptr) return;
    PagePool& pool = page_pool();
    {
        std::lock_guard lock(pool.mutex);
        if (pool.held + bytes <= kPoolLimit) {
            try {
                pool.free[bytes].push_back(p);
                pool.held += bytes;
                return;
            } catch (...) {
            }
        }
    }
    delete[] p;
}

PagePtr new_page(std::size_t bytes) {
    std::uint8_t* p = nullptr;
    {
        PagePool& pool = page_pool();
        std::lock_guard lock(pool.mutex);
        if (auto it = pool.free.find(bytes); it != pool.free.end() && !it->second.empty()) {
            p = it->second.back();
            it->second.pop_back();
            pool.held -= bytes;
        }
    }
    if (p != nullptr)
        std::memset(p, 0, bytes);
    else
        p = new std::uint8_t[bytes]();
    return PagePtr(p, PageDeleter{bytes});
}

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

// Tile pids (bit 6): the size code in bits 7-8 (32 << code pixels), the
// tile's column and row (its origin / size, & 3) in bits 9-10 and 11-12.
constexpr std::uint16_t kPidTile = 0x40;
std::int64_t tile_size(std::uint16_t pid) { return std::int64_t{32} << ((pid >> 7) & 3u); }
std::size_t tile_key(std::uint16_t pid) { return (pid & 0x1Fu) << 6 | ((pid >> 7) & 0x3Fu); }

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

namespace {

// Page width and height in pixels for pixels of bpp bytes (1, 2 or 4).
void page_shape(const vnx::miniport::MachineConfig& cfg, ULONG bpp, ULONG* width, ULONG* height) {
    const int pixelClass = bpp == 1 ? 0 : bpp == 2 ? 1 : 2;
    const PageShape shape = kPageShapes[cfg.memoryClass][pixelClass];
    *width = shape.width * multiplier(cfg.xMultiplierCode);
    *height = shape.height * multiplier(cfg.yMultiplierCode);
}

}  // namespace

bool Board::page_geometry(std::uint16_t pid, ULONG* width, ULONG* height,
                          ULONG* bytesPerPixel) const {
    const ULONG bpp = pixel_format_of_pid(pid).bytesPerPixel;
    if (bpp == 0) return false;
    page_shape(impl_->config, bpp, width, height);
    *bytesPerPixel = bpp;
    return true;
}

int Rasterizer::slot_of(std::uint32_t key) {
    // Keys of one pid's neighbouring pages and of the two pids of a packet
    // fall in different entries.
    PageHit& hit = pageCache[(key ^ (key >> 5) ^ (key >> 11)) & (pageCache.size() - 1)];
    if (hit.key != key) {
        hit.key = key;
        hit.slot = -1;
        for (int s = 0; s < static_cast<int>(VNX_PAGE_SLOTS); ++s) {
            if (slots[s] == key) {
                hit.slot = s;
                break;
            }
        }
    }
    return hit.slot;
}

void Rasterizer::set_slot(ULONG s, std::uint32_t value) {
    slots[s] = value;
    pageCache.fill(PageHit{});
    ++slotGeneration;
}

void Board::Impl::setup_pages() {
    for (ULONG bpp : {1u, 2u, 4u}) page_shape(config, bpp, &pageWidth[bpp], &pageHeight[bpp]);
    pageBytes = page_bytes(config);
}

std::uint8_t* Board::Impl::page_pixel(int r, std::uint16_t pid, std::int64_t x, std::int64_t y,
                                     std::uint32_t* bytesPerPixel, std::int64_t* run, bool bWrite) {
    const ULONG bpp = pixel_format_of_pid(pid).bytesPerPixel;
    *bytesPerPixel = bpp;
    if (run != nullptr) *run = 1;
    if (bpp == 0) return nullptr;
    if (x < 0 || y < 0 || x >= 0x40 * 128 || y >= 0x40 * 128) return nullptr;
    const std::uint32_t space = pid & 0x1Fu;
    if (space == VNX_PAGE_SLOT_FREE) return nullptr;
    if (bWrite && (pid & 0xFFE0u) != 0) spaceFormat[space] = static_cast<std::uint16_t>((pid & 0xE000u) | 1u);
    if (r < 0 || r >= static_cast<int>(rasterizers.size())) return nullptr;
    const ULONG w = pageWidth[bpp], h = pageHeight[bpp];  // powers of two
    const ULONG x0 = static_cast<ULONG>(x) & ~(w - 1), y0 = static_cast<ULONG>(y) & ~(h - 1);
    if (run != nullptr) *run = x0 + w - x;
    const std::uint32_t key = ((y0 >> 7) & 0x3Fu) << 11 | ((x0 >> 7) & 0x3Fu) << 5 | space;
    Rasterizer& ras = rasterizers[r];
    if ((pid & kPidTile) != 0) {
        // A packet that reaches a tile through its pid, at a position
        // inside the square its fields name, latches the tile's origin.
        const std::int64_t size = tile_size(pid);
        if (((x / size) & 3) == ((pid >> 9) & 3u) && ((y / size) & 3) == ((pid >> 11) & 3u))
            ras.tileOrigin[tile_key(pid)] =
                (static_cast<std::uint32_t>(y - y % size) << 16 | static_cast<std::uint32_t>(x - x % size)) + 1;
    }
    const int s = ras.slot_of(key);
    if (s < 0) return nullptr;
    if (!ras.pages[s]) ras.pages[s] = new_page(pageBytes);  // zeroed
    const std::size_t offset = ((y - y0) * std::size_t{w} + (x - x0)) * bpp;
    return ras.pages[s].get() + offset;
}

const std::uint8_t* Board::Impl::peek_pixel(int r, std::uint16_t pid, std::int64_t x, std::int64_t y) {
    const ULONG bpp = pixel_format_of_pid(pid).bytesPerPixel;
    const std::uint32_t space = pid & 0x1Fu;
    if (bpp == 0 || x < 0 || y < 0 || x >= 0x40 * 128 || y >= 0x40 * 128 || space == VNX_PAGE_SLOT_FREE ||
        r < 0 || r >= static_cast<int>(rasterizers.size()))
        return nullptr;
    const ULONG w = pageWidth[bpp], h = pageHeight[bpp];
    const ULONG x0 = static_cast<ULONG>(x) & ~(w - 1), y0 = static_cast<ULONG>(y) & ~(h - 1);
    const std::uint32_t key = ((y0 >> 7) & 0x3Fu) << 11 | ((x0 >> 7) & 0x3Fu) << 5 | space;
    Rasterizer& ras = rasterizers[r];
    const int s = ras.slot_of(key);
    if (s < 0 || !ras.pages[s]) return nullptr;
    return ras.pages[s].get() + ((y - y0) * std::size_t{w} + (x - x0)) * bpp;
}

std::uint8_t* Board::Impl::tile_texel(int r, std::uint16_t pid, std::int64_t tx, std::int64_t ty,
                                     std::uint32_t* bytesPerPixel) {
    if ((pid & kPidTile) == 0) return page_pixel(r, pid, tx, ty, bytesPerPixel, nullptr, false);
    *bytesPerPixel = pixel_format_of_pid(pid).bytesPerPixel;
    if (r < 0 || r >= static_cast<int>(rasterizers.size())) return nullptr;
    const std::uint32_t origin = rasterizers[r].tileOrigin[tile_key(pid)];
    if (origin == 0) return nullptr;
    const std::int64_t size = tile_size(pid);
    const std::int64_t x0 = (origin - 1) & 0xFFFFu, y0 = (origin - 1) >> 16;
    return page_pixel(r, pid, x0 + (tx & (size - 1)), y0 + (ty & (size - 1)), bytesPerPixel, nullptr, false);
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
            if (p != nullptr) out[static_cast<std::size_t>(j) * cx + i] = load_pixel(p, bpp);
        }
    }
    return out;
}

std::vector<std::uint32_t> Board::read_rgb(int board, std::uint16_t pid, LONG x, LONG y, LONG cx,
                                           LONG cy) {
    std::vector<std::uint32_t> out = read_pixels(board, pid, x, y, cx, cy);
    const PixelFormat& f = pixel_format_of_pid(pid);
    if (f.to_rgb == nullptr) return out;  // no such format: every pixel reads 0
    std::lock_guard lock(impl_->mutex);
    const std::uint32_t* clut = impl_->ramdacs[board].clut.data();
    for (std::uint32_t& p : out) p = f.to_rgb(p, clut);
    return out;
}

}  // namespace vnx::board
