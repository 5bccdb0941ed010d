// The board model's life: making the rasterizers, RAMDACs, register windows
// and DMA memory of a machine, the registry that maps register-window
// addresses to their board for VnxRegRead32/VnxRegWrite32, and the public
// members of Board that only read or reset state.
#include <sys/mman.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <shared_mutex>
#include <stdexcept>
#include <utility>

#include "board_impl.h"
#include "platform/debug.h"
#include "platform/mmio.h"

namespace vnx::board {

namespace {

// Register windows of every live board, by start address.
struct WindowRegistry {
    std::shared_mutex mutex;
    std::map<std::uintptr_t, Board::Impl*> boards;
};

WindowRegistry& registry() {
    static WindowRegistry* r = new WindowRegistry;  // outlives every board
    return *r;
}

std::size_t round_to_pages(std::size_t bytes) {
    const std::size_t page = 4096;
    return (bytes + page - 1) / page * page;
}

// Finds the board and rasterizer whose window holds address p, with the
// registry held shared for the caller's access.
template <typename Fn>
bool with_window(const void* p, Fn fn) {
    auto& reg = registry();
    std::shared_lock lock(reg.mutex);
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    auto it = reg.boards.upper_bound(a);
    if (it == reg.boards.begin()) return false;
    --it;
    Board::Impl* impl = it->second;
    const std::uintptr_t off = a - it->first;
    if (off >= impl->rasterizers.size() * VNX_REG_WINDOW_BYTES) return false;
    std::lock_guard guard(impl->mutex);
    if (!impl->mapped) return false;
    fn(impl, static_cast<int>(off / VNX_REG_WINDOW_BYTES),
       static_cast<ULONG>(off % VNX_REG_WINDOW_BYTES));
    return true;
}

void stray(const char* what, const void* p) {
    char text[128];
    std::snprintf(text, sizeof text, "%s: no mapped register window at %p\n", what, p);
    vnx::debug::write(text);
}

}  // namespace

void Board::Impl::error(int r, std::uint32_t bus, std::string message) {
    errors.push_back(BoardError{r, bus, std::move(message)});
}

Board::Board(const vnx::miniport::MachineConfig& config)
    : impl_(std::make_unique<Impl>(config)) {
    const std::string fault = vnx::miniport::check_config(config);
    if (!fault.empty()) throw std::invalid_argument(fault);
    Impl& m = *impl_;
    m.owner = this;
    m.perBoard = config.rasterizers;
    const int total = config.rasterizers * config.boards;
    m.rasterizers.resize(total);
    m.ramdacs.resize(config.boards);
    m.setup_pages();
    for (int r = 0; r < total; ++r) {
        Rasterizer& ras = m.rasterizers[r];
        ras.board = r / m.perBoard;
        ras.tileOwner = tile_owner_word(config, r % m.perBoard);
        ras.slots.fill(VNX_PAGE_SLOT_FREE);
    }

    m.windowBytes = round_to_pages(total * VNX_REG_WINDOW_BYTES);
    void* w = mmap(nullptr, m.windowBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
    m.dmaTotal = round_to_pages(config.dmaBytes + 2 * VNX_STAGING_BUFFER_BYTES);
    void* d = mmap(nullptr, m.dmaTotal, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (w == MAP_FAILED || d == MAP_FAILED) {
        if (w != MAP_FAILED) munmap(w, m.windowBytes);
        if (d != MAP_FAILED) munmap(d, m.dmaTotal);
        throw std::bad_alloc();
    }
    m.windows = static_cast<std::uint8_t*>(w);
    m.dma = static_cast<std::uint8_t*>(d);

    auto& reg = registry();
    std::unique_lock lock(reg.mutex);
    reg.boards[reinterpret_cast<std::uintptr_t>(m.windows)] = &m;
}

Board::~Board() {
    {
        auto& reg = registry();
        std::unique_lock lock(reg.mutex);
        reg.boards.erase(reinterpret_cast<std::uintptr_t>(impl_->windows));
    }
    munmap(impl_->windows, impl_->windowBytes);
    munmap(impl_->dma, impl_->dmaTotal);
}

int Board::rasterizers() const { return static_cast<int>(impl_->rasterizers.size()); }
int Board::rasterizers_per_board() const { return impl_->perBoard; }
int Board::boards() const { return static_cast<int>(impl_->ramdacs.size()); }
int Board::board_of(int rasterizer) const { return rasterizer / impl_->perBoard; }

void* Board::window(int rasterizer) const {
    if (rasterizer < 0 || rasterizer >= rasterizers()) return nullptr;
    return impl_->windows + rasterizer * VNX_REG_WINDOW_BYTES;
}

ULONG Board::read_register(int rasterizer, ULONG offset) {
    std::lock_guard lock(impl_->mutex);
    return impl_->read(rasterizer, offset);
}

void Board::write_register(int rasterizer, ULONG offset, ULONG value) {
    std::lock_guard lock(impl_->mutex);
    impl_->write(rasterizer, offset, value);
}

void Board::set_windows_mapped(bool mapped) {
    std::lock_guard lock(impl_->mutex);
    impl_->mapped = mapped;
}

void* Board::dma_base() const { return impl_->dma; }
std::uint32_t Board::dma_bus() const { return kDmaBusBase; }
std::uint32_t Board::dma_bytes() const { return impl_->config.dmaBytes; }

std::uint32_t Board::staging_bus(int i) const {
    return kDmaBusBase + impl_->config.dmaBytes + (i == 0 ? 0 : VNX_STAGING_BUFFER_BYTES);
}

void* Board::bus_to_cpu(std::uint32_t bus, std::uint32_t bytes) const {
    if (!impl_->bus_ok(bus, bytes)) return nullptr;
    return impl_->dma + (bus - kDmaBusBase);
}

std::uint32_t Board::cpu_to_bus(const void* p) const {
    const auto* b = static_cast<const std::uint8_t*>(p);
    const std::size_t used = impl_->config.dmaBytes + 2 * VNX_STAGING_BUFFER_BYTES;
    if (b < impl_->dma || b >= impl_->dma + used) return 0;
    return kDmaBusBase + static_cast<std::uint32_t>(b - impl_->dma);
}

std::vector<DecodedPacket> Board::packets(int rasterizer) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->rasterizers.at(rasterizer).records;
}

std::vector<DecodedPacket> Board::take_packets(int rasterizer) {
    std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->rasterizers.at(rasterizer).records, {});
}

StreamSummary Board::summary(int rasterizer) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->rasterizers.at(rasterizer).summary;
}

void Board::set_recording(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->recording = on;
}

std::vector<BoardError> Board::errors() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->errors;
}

std::vector<BoardError> Board::take_errors() {
    std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->errors, {});
}

bool Board::engine_stopped(int rasterizer) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->rasterizers.at(rasterizer).stopped;
}

std::uint32_t Board::decode_position(int rasterizer) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->rasterizers.at(rasterizer).decodePos;
}

void Board::set_hung(int rasterizer, bool hung) {
    std::lock_guard lock(impl_->mutex);
    impl_->rasterizers.at(rasterizer).hung = hung;
}

void Board::set_event_log(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->eventLog = on;
    impl_->events.clear();
}

std::vector<BoardEvent> Board::take_events() {
    std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->events, {});
}

void Board::set_execution(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->executing = on;
}

void Board::set_fast_paths(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->fastPaths = on;
}

void Board::set_executor(Executor executor) {
    std::lock_guard lock(impl_->mutex);
    impl_->executor = std::move(executor);
}

std::uint16_t DecodedPacket::pid(std::size_t i) const {
    if (i / 2 >= pids.size()) return 0;
    const std::uint32_t w = pids[i / 2];
    return static_cast<std::uint16_t>(i % 2 == 0 ? w & 0xFFFF : w >> 16);
}

std::vector<std::uint32_t> DecodedPacket::primitive(std::size_t i) const {
    if (wordsPerPrimitive == 0 || (i + 1) * wordsPerPrimitive > primitiveWords.size()) return {};
    auto first = primitiveWords.begin() + static_cast<std::ptrdiff_t>(i * wordsPerPrimitive);
    return {first, first + wordsPerPrimitive};
}

std::uint32_t DecodedPacket::vertex(std::size_t i, std::size_t v) const {
    const std::vector<std::uint32_t> words = primitive(i);
    if (words.empty() || v >= verticesPerPrimitive) return 0;
    // The positions are the last words of a primitive, before a line's width.
    const bool width = (command & 0xF) >= 2 && (command & 0xF) <= 4;
    const std::size_t first = words.size() - verticesPerPrimitive - (width ? 1 : 0);
    return words[first + v];
}

}  // namespace vnx::board

extern "C" {

ULONG VnxRegRead32(const void* pAddress) {
    ULONG value = 0xFFFFFFFFu;
    if (!vnx::board::with_window(pAddress, [&](vnx::board::Board::Impl* b, int r, ULONG off) {
            value = b->read(r, off);
        })) {
        vnx::board::stray("VnxRegRead32", pAddress);
    }
    return value;
}

void VnxRegWrite32(void* pAddress, ULONG ulValue) {
    if (!vnx::board::with_window(pAddress, [&](vnx::board::Board::Impl* b, int r, ULONG off) {
            b->write(r, off, ulValue);
        })) {
        vnx::board::stray("VnxRegWrite32", pAddress);
    }
}

}  // extern "C"
