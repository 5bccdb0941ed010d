// Inside of the board model: the state behind vnx::board::Board, shared by
// the files of platform/board/ (one per concern: registers and windows, the
// DMA engine and stream decoder, the RAMDAC, board memory).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/board.h"
#include "platform/mmio.h"

namespace vnx::board {

// The records a long run would otherwise grow without bound (decoded items
// per rasterizer, RAMDAC stores, the event log) keep their newest entries:
// at kRecordLimit the oldest half goes.
inline constexpr std::size_t kRecordLimit = std::size_t{1} << 17;
template <class T>
void append_record(std::vector<T>& v, T item) {
    if (v.size() >= kRecordLimit) v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(kRecordLimit / 2));
    v.push_back(std::move(item));
}

// A page of board memory, zeroed when made. Pages go back to a pool the
// process keeps (memory.cpp) when their board goes, so that the next board
// of the process finds them mapped already and only clears them: tests boot
// a machine each, and mapping fresh memory page by page is most of a boot.
struct PageDeleter {
    std::size_t bytes = 0;
    void operator()(std::uint8_t* p) const noexcept;
};
using PagePtr = std::unique_ptr<std::uint8_t[], PageDeleter>;
PagePtr new_page(std::size_t bytes);

// A page-slot lookup the model made: the slot holding a key, -1 for none.
struct PageHit {
    std::uint32_t key = ~0u;  // no key: keys have 17 bits
    int slot = -1;
};

// The word layout of a drawing packet, by its command word (the decoder's
// rules, dma_engine.cpp).
struct PacketLayout {
    std::uint32_t pidWords = 0;
    std::uint32_t instructionWords = 0;
    std::uint32_t clipWords = 0;
    std::uint32_t packetWords = 0;  // constants, data-register words, mask words
    std::uint32_t perPrimitive = 0;
    std::uint32_t vertices = 0;
    std::uint32_t head() const { return 2 + pidWords + instructionWords + clipWords + packetWords; }
};

// Answers a decoder and an executor worked out from a command word alone,
// kept for the command words seen last: a stream repeats a few of them, and
// working one out again costs more than the look-up.
struct CommandMemo {
    struct Layout {
        std::uint32_t command = 0;
        bool valid = false;  // an entry holds an answer
        bool ok = false, known = false;
        PacketLayout layout;
    };
    struct Row {
        std::uint32_t command = 0;
        std::uint8_t kind = 0xFF;  // ItemKind; 0xFF: empty entry
        std::uint32_t rows = 0;    // the executor rows matching kind and command bits, bit i row i
    };
    static constexpr std::size_t kEntries = 8;
    static std::size_t index(std::uint32_t command) {
        return (command ^ (command >> 7) ^ (command >> 20)) & (kEntries - 1);
    }
    std::array<Layout, kEntries> layouts{};
    std::array<Row, kEntries> rows{};
};

// What a load the executor carried out last touched (exec_2d.cpp): its
// words, the page mapping and tile ownership it ran under, and each pixel
// it wrote or read with the bytes stored there afterwards. While all of it
// stands, the same load again would change nothing, and is not carried out
// a second time: the point loads that write the copy-address table's
// squares and the table's load from them, repeated before every copy.
struct LoadMemo {
    static constexpr std::size_t kPixels = 64;  // loads of more are not kept
    bool valid = false;
    std::uint64_t slotGeneration = 0;
    std::uint32_t tileOwner = 0;
    std::uint32_t command = 0, control = 0, clipMin = 0, clipMax = 0, primitives = 0;
    bool hasClip = false;
    std::vector<std::uint32_t> pids, instructions, constants, primitiveWords;
    std::uint32_t space = 0;
    std::uint16_t spaceFormat = 0;  // the space's recorded format after the load
    std::uint32_t bytesPerPixel = 0;
    std::size_t count = 0;
    std::array<const std::uint8_t*, kPixels> pixel{};
    std::array<std::uint32_t, kPixels> stored{};  // its bytes after the load
    std::array<std::uint32_t, 16> table{};         // the copy-address table it left (its load)
};

struct Rasterizer {
    int board = 0;                  // physical board
    std::uint32_t tileOwner = 0;    // tile-ownership register value
    std::uint32_t readPtr = 0;
    std::uint32_t writePtr = 0;
    std::uint32_t config = 0;       // without the busy bit
    std::array<std::uint32_t, VNX_PAGE_SLOTS> slots{};  // written through set_slot
    // Recent page-slot lookups, forgotten whenever a slot register changes.
    std::array<PageHit, 8> pageCache{};
    // Counts the slot registers' writes: pixel addresses worked out under
    // one count stay right while it stands.
    std::uint64_t slotGeneration = 0;
    LoadMemo pointLoad;  // exec_2d.cpp, draw_points
    LoadMemo tableLoad;  // exec_copy.cpp, load_copy_table
    // DMA engine and decoder.
    bool stopped = true;            // waits for a read-pointer write
    bool resync = false;            // skipping words after an error
    bool hung = false;              // takes no words, answers busy (Board::set_hung)
    std::uint32_t decodePos = 0;    // bus address of the next item
    int busyReads = 0;              // reads that still answer busy
    std::vector<DecodedPacket> records;
    DecodedPacket item;             // the packet being decoded and carried out
    StreamSummary summary;
    // Board memory: physical page s, made on first use.
    std::array<PagePtr, VNX_PAGE_SLOTS> pages;
    // The executor's registers that outlive a packet (platform/board.h,
    // "Execution"): the pattern register (register 12), 8 rows of 8 values,
    // and the mask pattern, 16 rows of 16 bits.
    std::array<std::uint32_t, 64> pattern{};
    std::array<std::uint16_t, 16> maskRows{};
    // The copy-address table of block copies (register 8's load), 4 x 4
    // words; all 0 until loaded.
    std::array<std::uint32_t, 16> copyTable{};
    // The tile origins this rasterizer latched (memory.cpp, tile_texel):
    // by space and tile fields ((pid & 31) << 6 | pid bits 7-12), the
    // origin's (y << 16) | x, plus 1; 0 until a packet reached the tile.
    std::array<std::uint32_t, 32 * 64> tileOrigin{};

    // The first slot whose register holds `key`, or -1 (memory.cpp).
    int slot_of(std::uint32_t key);
    void set_slot(ULONG s, std::uint32_t value);
};

struct Ramdac {
    std::uint32_t index = 0;                    // 16-bit register index
    std::vector<std::uint32_t> regs = std::vector<std::uint32_t>(0x10000, 0);
    std::uint32_t pending33 = 0, pending34 = 0; // values waiting for the retrace
    bool pending = false;
    std::uint64_t retraces = 0;
    int readsSinceRetrace = 0;
    std::array<std::uint32_t, 256> clut{};
    std::vector<RamdacWrite> writes;            // data stores, while recording
};

struct Board::Impl {
    explicit Impl(const vnx::miniport::MachineConfig& cfg) : config(cfg) {}

    vnx::miniport::MachineConfig config;
    mutable std::recursive_mutex mutex;
    int perBoard = 1;
    std::vector<Rasterizer> rasterizers;
    std::vector<Ramdac> ramdacs;

    // Register windows: reserved address space, never backed by memory.
    std::uint8_t* windows = nullptr;
    std::size_t windowBytes = 0;
    bool mapped = true;

    // DMA memory: the DMA buffer followed by the two staging buffers.
    std::uint8_t* dma = nullptr;
    std::size_t dmaTotal = 0;

    bool recording = true;
    bool executing = true;          // Board::set_execution
    bool fastPaths = true;          // Board::set_fast_paths
    bool eventLog = false;          // Board::set_event_log
    std::vector<BoardEvent> events;
    std::vector<BoardError> errors;
    Executor executor;
    Board* owner = nullptr;
    CommandMemo memo;

    void error(int r, std::uint32_t bus, std::string message);
    // Adds an entry to the event log while it is on.
    void log(BoardEvent::Kind kind, int unit, std::uint32_t index, std::uint32_t value = 0) {
        if (eventLog) append_record(events, BoardEvent{kind, unit, index, value});
    }

    // Registers (registers.cpp).
    ULONG read(int r, ULONG offset);
    void write(int r, ULONG offset, ULONG value);

    // DMA engine and decoder (dma_engine.cpp).
    bool bus_ok(std::uint32_t bus, std::uint32_t bytes) const;
    std::uint32_t word(std::uint32_t bus) const;
    void set_write_pointer(int r, std::uint32_t value);
    void set_read_pointer(int r, std::uint32_t value);
    bool busy(int r);
    void run(int r);

    // Board memory (memory.cpp): the bytes of pixel (x, y) of pid in
    // rasterizer r's pages, or null when no page slot maps it; *bytesPerPixel
    // gets the pixel size of the pid's format (0 for a format without one).
    // *run (when asked) gets the pixels from x to the end of the page's row,
    // which lie one after the other from the answer (1 for an answer of null
    // outside the pixmap or without a format).
    // A write (bWrite) records the pid's format as the format its space is
    // stored in; a read leaves the record alone: reading a space in another
    // format (a raw transfer names a 16-bit depth buffer by its surface's
    // colour format) does not change how its stored pixels are kept.
    std::uint8_t* page_pixel(int r, std::uint16_t pid, std::int64_t x, std::int64_t y,
                             std::uint32_t* bytesPerPixel, std::int64_t* run = nullptr, bool bWrite = true);
    // page_pixel's answer without what a lookup changes (the format a space
    // was reached with, a tile's latched origin, a page made on first use):
    // null also for a page not made yet. For asking memory for pixels
    // ahead of their use.
    const std::uint8_t* peek_pixel(int r, std::uint16_t pid, std::int64_t x, std::int64_t y);
    // Texel (tx, ty) of the tile a tile pid (bit 6) names, in rasterizer
    // r's pages: the tile's pixel (tx mod size, ty mod size) from the
    // origin the rasterizer latched for it (render3d.h, "Tiles"); null
    // before any packet reached the tile. A pid without the tile bit is
    // page_pixel's.
    std::uint8_t* tile_texel(int r, std::uint16_t pid, std::int64_t tx, std::int64_t ty,
                             std::uint32_t* bytesPerPixel);
    // The format bits (pid bits 13-15) each space was last written through
    // by a pid that names its format (bit 0 set once known): a bare pid (the
    // 3D programs' depth pixmap) reads the space in that format.
    std::array<std::uint16_t, 32> spaceFormat{};
    // Page geometry of the configuration, by bytes a pixel (1, 2, 4).
    void setup_pages();
    std::array<ULONG, 5> pageWidth{}, pageHeight{};
    std::size_t pageBytes = 0;

    // RAMDAC (ramdac.cpp).
    void ramdac_write(int b, ULONG offset, ULONG value);
    ULONG ramdac_read(int b, ULONG offset);
    void retrace(int b);
};

// Tile-ownership register value of rasterizer k (0..perBoard-1) of a board.
std::uint32_t tile_owner_word(const vnx::miniport::MachineConfig& cfg, int k);
// Local rasterizer (0..perBoard-1) that owns tile t of a board.
int tile_owner_local(int perBoard, int t);

}  // namespace vnx::board
