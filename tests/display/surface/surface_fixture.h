// Shared helpers of the surface life-cycle tests: a device enabled through
// the engine on a chosen machine and mode, the board's decoded packets, and
// what the miniport and the engine hold, so that a test can tell that a
// disable (or a failing enable) left nothing behind.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/entry.h"
#include "display/fixture.h"
#include "platform/board.h"
#include "platform/mmio.h"
#include "queue/queue.h"
#include "rop/rop.h"
#include "surface/surface.h"

namespace vnx::test {

using vnx::board::DecodedPacket;
using vnx::board::ItemKind;

// A machine of `rasterizers` per board with the memory class and page
// multiplier codes given.
inline vnx::miniport::MachineConfig Memory(int rasterizers, int memoryClass, int xCode = 0,
                                           int yCode = 0, int boards = 1) {
    auto cfg = Machine(rasterizers, boards);
    cfg.memoryClass = memoryClass;
    cfg.xMultiplierCode = xCode;
    cfg.yMultiplierCode = yCode;
    return cfg;
}

// The command words of the surface's own packets.
constexpr ULONG kClearCommand = 0x02101026;
constexpr ULONG kClearCommand32 = 0x02201026;
constexpr ULONG kDitherCommand = 0x02102000;

inline ULONG Vtx(LONG x, LONG y) { return ulPackVertex(x, y); }

class SurfaceTest : public DriverTest {
  protected:
    void TearDown() override {
        SetEnvironmentVariableA(DISABLE_CLIENT_DRIVER_VARIABLE, nullptr);
        if (device_ != nullptr) {
            device_->unload_driver();
            EXPECT_EQ(Errors(), "");
        }
        device_.reset();
        DriverTest::TearDown();
    }

    // A device on the machine with its PDEV enabled for the mode (no
    // surface yet).
    void Make(const vnx::miniport::MachineConfig& cfg, const DEVMODEW& mode) {
        if (device_ != nullptr) device_->unload_driver();
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(mode));
        ppdev = Pdev(*device_);
        vnx::debug::clear();
    }
    // Make, then the surface; the board's packets of the enable are drained
    // and dropped unless keep is set.
    void Boot(const vnx::miniport::MachineConfig& cfg, const DEVMODEW& mode, bool keep = false) {
        Make(cfg, mode);
        ASSERT_TRUE(device_->enable_surface()) << vnx::debug::peek();
        if (!keep) {
            Drain();
            for (int r = 0; r < board().rasterizers(); ++r) board().take_packets(r);
        }
    }

    vnx::board::Board& board() { return device_->machine().board(); }
    vnx::miniport::MiniportState State() { return device_->machine().state(); }

    // Lets the board render everything queued so far.
    void Drain() {
        ASSERT_NE(ppdev->pqm, nullptr);
        EnterCriticalSection(&ppdev->csEscape);
        kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
    }

    // The drawing packets rasterizer r consumed since the last call.
    std::vector<DecodedPacket> Drawn(int r) {
        std::vector<DecodedPacket> v;
        for (DecodedPacket& p : board().take_packets(r))
            if (p.kind == ItemKind::Packet) v.push_back(std::move(p));
        return v;
    }

    std::string Errors() {
        std::string s;
        for (const auto& e : board().take_errors())
            s += std::to_string(e.rasterizer) + ": " + e.message + "\n";
        return s;
    }

    // Nothing of a surface is held: no queues, no register windows, no
    // board surface fields, no scratch memory.
    ::testing::AssertionResult NothingHeld() {
        const auto state = State();
        std::string why;
        if (state.queuesSetUp) why += "queues; ";
        if (state.rangesMapped) why += "register windows; ";
        if (ppdev->pqm != nullptr) why += "pqm; ";
        if (ppdev->pScratch != nullptr) why += "pScratch; ";
        if (ppdev->fPageTable) why += "page table; ";
        if (ppdev->hsurfScreen != nullptr || ppdev->pdsurfScreen != nullptr) why += "primary; ";
        if (ppdev->psoPattern != nullptr) why += "pattern surface; ";
        const HSURF ah[] = {ppdev->hsurfBack,  ppdev->hsurfZ,     ppdev->hsurfStencil,
                            ppdev->hsurfAlpha, ppdev->hsurfTmp,   ppdev->hsurfTmp24,
                            ppdev->hsurfAlt,   ppdev->hsurfDither};
        for (HSURF h : ah)
            if (h != nullptr) why += "a board surface; ";
        if (why.empty()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << why;
    }

    // Where the set-up put a surface it keeps locked.
    static const DFB* DfbOf(const SURFOBJ* pso) {
        const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
        return pdsurf->pdfb;
    }

    std::unique_ptr<vnx::engine::Device> device_;
    PDEV* ppdev = nullptr;
};

}  // namespace vnx::test
