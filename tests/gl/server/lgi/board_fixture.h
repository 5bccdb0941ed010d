// The lgi layer over a simulated board: the display driver enabled by the
// engine on a machine of 1, 2 or 4 rasterizers (or a split board of two),
// the current context's hardware record drawing to it, and the board's
// decoded view of each rasterizer's stream.
#pragma once

#include <initializer_list>
#include <memory>
#include <ostream>
#include <vector>

#include "3d/queue/queue.h"
#include "board_models.h"
#include "boardconfig.h"
#include "glpdev.h"
#include "glsrv.h"
#include "kz2/ucode/kzprog.h"
#include "lgi_fixture.h"
#include "platform/board.h"
#include "platform/engine.h"
#include "platform/mmio.h"

namespace lgi_test {

using vnx::test::BoardModel;
using vnx::test::BoardModelName;
using vnx::test::kDuo;
using vnx::test::kQuad;
using vnx::test::kSolo;
using vnx::test::kSplitDuo;
inline constexpr BoardModel kModels[] = {kSolo, kDuo, kQuad, kSplitDuo};

// Builds a test program into the context's slot: the header word and
// layout, each pid, one instruction and the clip pair, serialised; the
// program made valid and the context batching whole primitives.
inline void BuildProgram(N_Context* pctx, ULONG slot, ULONG header, ULONG d, std::initializer_list<ULONG> pids) {
    kzRenderProg* prog = pkzProgOf(pctx->pHw->programs[slot]);
    kzStartProgram(prog, header, d);
    for (ULONG pid : pids) kzPlacePid(prog, pid, pid);
    _kzuEmit(prog, 0x10360348, "test", __LINE__);
    prog->clipCount = 2;
    prog->clipMin = 0;
    prog->clipMax = 0x0FFF0FFF;
    ASSERT_EQ(kzSerialiseProgram(prog, 1, 1), 1u);
    prog->valid = 1;
    pctx->pHw->batchCount = N_BATCH_PRIMS;
}

// A polygon program's packet image: class 5, a clip pair, one pid word and
// one instruction, and the data-register loads given (two bits a register
// from bit 12, as the micro-code generator writes them; 0xF000 loads a
// colour and a depth word per vertex).
inline kzProgPacket PolygonImage(ULONG loads, ULONG unitA = 1, ULONG unitB = 1) {
    kzProgPacket img{};
    img.w[0] = 0x02100025u | loads;
    img.w[2] = 0x8000;
    img.w[3] = 0x10360348;
    img.w[4] = 0;
    img.w[5] = (0x0FFFu << 16) | 0x0FFFu;
    img.w[KZ_IMG_WORDS] = 6;
    img.w[KZ_IMG_UNIT28] = unitA;
    img.w[KZ_IMG_UNIT27] = unitB;
    return img;
}

class LgiBoardTest : public LgiTest {
  protected:
    void Boot(const BoardModel& m, ULONG modelImprecision = 0) {
        vnx::miniport::MachineConfig cfg;
        cfg.rasterizers = m.rasterizers;
        cfg.boards = m.boards;
        if (m.boards == 2) cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
        cfg.boardConfig.modelImprecision = modelImprecision;
        if (dmaBytes_ != 0) cfg.dmaBytes = dmaBytes_;
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev());
        ASSERT_TRUE(device_->enable_surface());
        dev_ = GLSRVDEVICE{0, nullptr, reinterpret_cast<PDEV*>(device_->dhpdev())};
        ctx_->pHw->pDevice = &dev_;
        board_ = &device_->machine().board();
        qm_ = _NRefreshQueueMgt(ctx_->pHw);
        ASSERT_NE(qm_, nullptr);
        Drain();
        gNPendingUpdate = 0;
        vnx::debug::clear();
    }
    void TearDown() override {
        if (board_ != nullptr) {
            Drain();
            for (const auto& e : board_->take_errors())
                ADD_FAILURE() << "board error on rasterizer " << e.rasterizer << ": " << e.message;
        }
        if (ctx_ != nullptr) ctx_->pHw->pDevice = nullptr;
        device_.reset();
        gNPendingUpdate = 0;
        LgiTest::TearDown();
    }

    PDEV* Pdev() const { return dev_.ppdev; }
    ULONG Queues() const { return qm_->pLayout->cQueues; }
    ULONG Config(int r) { return board_->read_register(r, VNX_REG_CONFIG) & VNX_CONFIG_UNITS; }

    // Flushes the queues (the board idle) and answers each rasterizer's
    // drawing packets.
    std::vector<std::vector<vnx::board::DecodedPacket>> Drain() {
        _NFlushQ(ctx_->pHw, nullptr, nullptr);
        std::vector<std::vector<vnx::board::DecodedPacket>> out;
        for (ULONG r = 0; r < Queues(); ++r) {
            out.emplace_back();
            for (auto& p : board_->take_packets(static_cast<int>(r)))
                if (p.kind == vnx::board::ItemKind::Packet) out.back().push_back(std::move(p));
        }
        return out;
    }

    // The DMA buffer the next Boot's miniport hands out (0: its usual one).
    ULONG dmaBytes_ = 0;
    std::unique_ptr<vnx::engine::Device> device_;
    GLSRVDEVICE dev_{};
    vnx::board::Board* board_ = nullptr;
    KZ2QUEUEMGT qm_ = nullptr;
};

}  // namespace lgi_test
