// The packet queues through the board model: small fill packets per second
// through kz2NewPacketQueue / kz2UpdatePacketPtr, and the stream bytes per
// second the queues move for larger packets, on one and four rasterizers.
// The board model decodes every word it is handed (records off), so the
// figures include its decoder; BM_Reference_memcpy in the same run gives the
// machine's copy bandwidth beside them.
#include <benchmark/benchmark.h>

#include "device/modes.h"
#include "pdev.h"
#include "platform/board.h"
#include "platform/miniport.h"
#include "queue/queue.h"

namespace {

constexpr ULONG kFillCommand = 0x02101026;  // rectangles: pid, instruction, clip, one data word

inline ULONG Vtx(ULONG x, ULONG y) { return ((y << 16) | (x & 0xFFF)) << 4; }

// A machine and a device record with queues, made without the engine.
class Rig {
  public:
    explicit Rig(int rasterizers) : machine_(Config(rasterizers)) {
        ppdev_ = static_cast<PDEV*>(LocalAlloc(LPTR, sizeof(PDEV)));
        if (ppdev_ == nullptr) return;
        ppdev_->hDriver = machine_.handle();
        ppdev_->ulMode = 0;
        ok_ = bSetMode(ppdev_) && bInitQueues(ppdev_);
        if (ok_) {
            ppdev_->cxScreen = 1024;
            ppdev_->cyScreen = 768;
            machine_.board().set_recording(false);
        }
    }
    ~Rig() {
        if (ok_) vReleaseQueues(ppdev_);
        LocalFree(ppdev_);
    }
    bool ok() const { return ok_; }
    KZ2QUEUEMGT qm() const { return ppdev_->pqm; }

    // One packet of n rectangles, each sent to every queue.
    void Fill(ULONG n) {
        KZ2QUEUEMGT q = qm();
        ULONG* p = kz2NewPacketQueue(q, nullptr, n);
        for (ULONG i = 0; i < q->pLayout->cQueues; ++i) q[i].pPacket[0] = kFillCommand;
        *p++ = 0x8000;
        *p++ = 0x10360348;
        *p++ = 0;
        *p++ = (767u << 16) | 1023u;
        *p++ = 0x1234;
        for (ULONG k = 0; k < n; ++k) {
            *p++ = Vtx(k, 0);
            *p++ = Vtx(k + 8, 0);
            *p++ = Vtx(k + 8, 8);
            *p++ = Vtx(k, 8);
            p = kz2CopyPrimAndUpdate(q, p, Vtx(0, 0));
        }
        kz2UpdatePacketPtr(q, nullptr, p, 0);
    }

  private:
    static vnx::miniport::MachineConfig Config(int rasterizers) {
        vnx::miniport::MachineConfig cfg;
        cfg.rasterizers = rasterizers;
        return cfg;
    }
    vnx::miniport::Machine machine_;
    PDEV* ppdev_ = nullptr;
    bool ok_ = false;
};

// Small fill packets (one rectangle) per second.
void BM_Queue_FillPacket(benchmark::State& state) {
    Rig rig(static_cast<int>(state.range(0)));
    if (!rig.ok()) {
        state.SkipWithError("queue set-up failed");
        return;
    }
    for (auto _ : state) rig.Fill(1);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Queue_FillPacket)->Arg(1)->Arg(4);

// Stream bytes per second for packets of 64 rectangles (1052 bytes per
// queue), counted over all queues.
void BM_Queue_Bytes(benchmark::State& state) {
    const int rasterizers = static_cast<int>(state.range(0));
    Rig rig(rasterizers);
    if (!rig.ok()) {
        state.SkipWithError("queue set-up failed");
        return;
    }
    constexpr ULONG kRects = 64;
    for (auto _ : state) rig.Fill(kRects);
    const int64_t cbPacket = 4 * (7 + 4 * kRects);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * cbPacket * rasterizers);
}
BENCHMARK(BM_Queue_Bytes)->Arg(1)->Arg(4);

}  // namespace
