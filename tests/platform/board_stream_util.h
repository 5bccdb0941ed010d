// Helpers for the board tests: a board made alone, and a writer that lays
// stream words into its DMA memory the way the driver's queues do.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/board.h"
#include "platform/faults.h"
#include "platform/mmio.h"

namespace vnx::board::test {

// Writes words into DMA memory from a bus address on.
class StreamWriter {
public:
    StreamWriter(Board& board, std::uint32_t bus) : board_(board), bus_(bus) {}

    std::uint32_t bus() const { return bus_; }
    StreamWriter& put(std::initializer_list<std::uint32_t> words) {
        for (std::uint32_t w : words) put_one(w);
        return *this;
    }
    StreamWriter& put(const std::vector<std::uint32_t>& words) {
        for (std::uint32_t w : words) put_one(w);
        return *this;
    }
    StreamWriter& nops(int n) {
        for (int i = 0; i < n; ++i) put_one(kWordNop);
        return *this;
    }
    StreamWriter& nops_to_line() {
        while (bus_ % 128 != 0) put_one(kWordNop);
        return *this;
    }
    // The driver's hand-over: NOPs to the line, 64 NOPs, an empty packet;
    // answers the bus address of that packet (where the write pointer goes).
    std::uint32_t hand_over() {
        nops_to_line().nops(64);
        const std::uint32_t at = bus_;
        put({kWordEmpty, 0, kWordEnd, kFillMarks[0], kFillMarks[1], kFillMarks[2]});
        bus_ = at;
        return at;
    }
    // The driver's close before a wait: empty header, NOPs to the line, the
    // close record, {10, 1, 0, 10} and the marks; answers the write-pointer
    // value the driver sets ((address of the first 10 + 0x103) & ~0x7F).
    std::uint32_t close(std::uint32_t origin, std::uint32_t pid, std::uint32_t* syncBus) {
        put({kWordEmpty, 0});
        nops_to_line();
        *syncBus = bus_ + 4;
        put({kWordTransfer, 1, origin, pid, *syncBus, 384});
        const std::uint32_t end = bus_;
        put({kWordEnd, kWordEmpty, 0, kWordEnd, kFillMarks[0], kFillMarks[1], kFillMarks[2]});
        return (end + 0x103) & ~0x7Fu;
    }
    std::uint32_t get(std::uint32_t bus) const {
        std::uint32_t w;
        std::memcpy(&w, board_.bus_to_cpu(bus, 4), 4);
        return w;
    }
    void set(std::uint32_t bus, std::uint32_t w) { std::memcpy(board_.bus_to_cpu(bus, 4), &w, 4); }

private:
    void put_one(std::uint32_t w) {
        set(bus_, w);
        bus_ += 4;
    }
    Board& board_;
    std::uint32_t bus_;
};

// A 28.4 vertex word of pixel (x, y), as the driver packs it.
inline std::uint32_t vtx(std::uint32_t x, std::uint32_t y) { return ((y << 16) | (x & 0xFFF)) << 4; }

class BoardTest : public ::testing::Test {
protected:
    void make(const vnx::miniport::MachineConfig& config) {
        board = std::make_unique<Board>(config);
    }
    void make() { make(vnx::miniport::MachineConfig()); }
    // Ring start of rasterizer r (as the driver lays rings out).
    std::uint32_t ring(int r) const { return board->dma_bus() + 16384 + r * 0x10000; }
    // Starts rasterizer r's engine at its ring start, as the driver's set-up.
    void start(int r) {
        board->write_register(r, VNX_REG_WRITE_PTR, ring(r));
        board->write_register(r, VNX_REG_READ_PTR, ring(r));
    }
    void expose(int r, std::uint32_t bus) { board->write_register(r, VNX_REG_WRITE_PTR, bus); }
    StreamWriter writer(int r) { return StreamWriter(*board, ring(r)); }
    std::string error_text() {
        std::string all;
        for (const BoardError& e : board->take_errors()) all += e.message + "\n";
        return all;
    }
    bool busy(int r) { return (board->read_register(r, VNX_REG_CONFIG) & VNX_CONFIG_BUSY) != 0; }

    vnx::faults::Scope faults;
    std::unique_ptr<Board> board;
};

}  // namespace vnx::board::test
