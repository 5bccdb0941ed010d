// Inside of the miniport: the state a Machine keeps between requests, shared
// by the files of platform/miniport/ (the machine and its handle, the
// request table).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/board.h"
#include "platform/miniport.h"

namespace vnx::miniport {

struct Machine::Impl {
    explicit Impl(const MachineConfig& cfg) : config(cfg), board(cfg), boardConfig(cfg.boardConfig) {}

    MachineConfig config;
    vnx::board::Board board;
    mutable std::mutex mutex;  // the miniport's own state below
    BoardConfig boardConfig;
    MiniportState state;
    HANDLE handle = nullptr;
    // Display-list batches pinned, by pin number.
    std::map<std::uint32_t, VNX_DL_PIN_ITEM> pinned;
    std::uint32_t nextPin = 1;
};

// Finds the machine behind a miniport handle and runs fn on it with the
// handle table held, so the machine cannot go away meanwhile. Answers false
// for an unknown handle.
bool with_machine(HANDLE h, const std::function<void(Machine::Impl&)>& fn);

}  // namespace vnx::miniport
