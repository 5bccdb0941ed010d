// The display driver's own work through the engine's dispatch to the loaded
// vornix, the board held while it is timed (bench_util.h):
// - BM_Driver_SolidFill: DrvBitBlt solid fills (PATCOPY, a solid brush) of
//   moving 8x8 rectangles on the 1024x768 32-bit screen, called as the
//   graphics engine calls it (a DC_TRIVIAL clip object), beside pixman_fill
//   of the same rectangles into a host image of the same size. Target:
//   ratio at least 1.5 on 1 rasterizer, 1.0 on 4.
// - BM_Driver_Emission: packet emission through the queue calls the driver
//   exports: 16 packets of 512 moving 8x8 rectangles each, routed to the
//   queues of the tiles they touch by the driver's own routing
//   (pRoutePrimitive) over the loaded driver's queue calls, beside memcpy of
//   the bytes the queues took into a buffer the size of all queue rings
//   (each copy further on, as the rings fill). Target: ratio at least 0.3
//   on 1 and 4 rasterizers.
// - BM_Board_Fill and BM_Board_Copy: the board model carrying out what the
//   driver queued (solid fills, screen-to-screen copies), in pixels a
//   second. Target: 200 M pixels a second. Both count the same work: the
//   driver's calls are made with the board held, then one flush hands
//   everything over and waits for it, and that flush is timed (the board's
//   decoding, its execution and the flush around them). Beside them, pixman
//   doing the same pixels on the host: the rectangles move over the whole
//   screen (a new place every call, as bench::moving_rect gives them), so
//   both sides fetch every call's rows from beyond the first caches, and
//   pixman works over the same walk of a host image of the screen's size.
//   Reported in pixels a second and per call (ns, ref_ns).
// The board's consumption of the driver benchmarks' packets is reported as
// board_ns (per call), timed apart from the driver's.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "bench_util.h"
#include "fill/fill.h"

namespace {

constexpr LONG kWidth = 1024, kHeight = 768;
constexpr std::int64_t kCallsPerDrain = 512;  // far below what a ring holds

struct SolidBrush {
    SolidBrush() {
        vnx::engine::BrushDesc d;
        d.iSolidColor = 0x336699;
        pbo = vnx::engine::create_brush(d);
    }
    ~SolidBrush() { vnx::engine::delete_brush(pbo); }
    BRUSHOBJ* pbo;
};

// A device, a solid brush and a host image of the screen's size: DrvBitBlt
// solid fills of moving n x n rectangles, and pixman_fill of the same
// rectangles on the host beside them.
struct FillRig {
    FillRig(benchmark::State& state) : rig(static_cast<int>(state.range(0))), n(static_cast<LONG>(state.range(1))) {
        if (!ok()) state.SkipWithError("the device did not come up");
    }
    bool ok() const { return rig.ok() && brush.pbo != nullptr; }
    ~FillRig() { vnx::engine::delete_clip(clip); }
    void fill(std::int64_t i) {
        RECTL r = bench::moving_rect(i, n, kWidth, kHeight);
        POINTL org{0, 0};
        rig.bitblt()(rig.pso(), nullptr, nullptr, clip, nullptr, &r, nullptr, nullptr, brush.pbo, &org, 0xF0F0);
    }
    void reference(std::int64_t i) {
        const RECTL r = bench::moving_rect(i, n, kWidth, kHeight);
        pixman_fill(host.data(), kWidth, 32, r.left, r.top, n, n, 0x336699);
        benchmark::ClobberMemory();
    }

    bench::DriverRig rig;
    SolidBrush brush;
    CLIPOBJ* clip = vnx::engine::create_trivial_clip(RECTL{0, 0, kWidth, kHeight});
    LONG n;
    std::vector<std::uint32_t> host = std::vector<std::uint32_t>(static_cast<size_t>(kWidth) * kHeight);
};

void BM_Driver_SolidFill(benchmark::State& state) {
    FillRig f(state);
    if (!f.ok()) return;
    std::int64_t boardNs = 0, boardCalls = 0;
    f.rig.hold();
    bench::run_beside(
        state, bench::Beside{kCallsPerDrain, 1.0}, [&](std::int64_t i) { f.fill(i); },
        [&](std::int64_t i) { f.reference(i); },
        [&](std::int64_t) {
            boardNs += f.rig.release();
            boardCalls += kCallsPerDrain;
            f.rig.hold();
        });
    f.rig.release();
    if (boardCalls != 0) state.counters["board_ns"] = static_cast<double>(boardNs) / boardCalls;
}
BENCHMARK(BM_Driver_SolidFill)->ArgNames({"rasterizers", "edge"})->Args({1, 8})->Args({4, 8})->UseManualTime();

// One packet of 512 rectangles through the exported queue calls, as the
// fill code writes them: the packet's prefix, then per rectangle its four
// corners, routed by the driver's own routing (pRoutePrimitive, fill.h)
// over the queue calls of the vornix the engine loaded.
constexpr ULONG kFillCommand = 0x02101026;  // rectangles: pid, instruction, clip, one data word
constexpr ULONG kRects = 512, kPackets = 16;

struct QueueCalls {
    explicit QueueCalls(HMODULE h)
        : newPacket(reinterpret_cast<decltype(&kz2NewPacketQueue)>(GetProcAddress(h, "kz2NewPacketQueue"))),
          copyN(reinterpret_cast<decltype(&kz2CopyPrimN)>(GetProcAddress(h, "kz2CopyPrimN"))),
          routeSplit(reinterpret_cast<decltype(&kz2CopyPrimMulScreen)>(GetProcAddress(h, "kz2CopyPrimMulScreen"))),
          routeMany(reinterpret_cast<decltype(&kz2CopyPrimOpt)>(GetProcAddress(h, "kz2CopyPrimOpt"))),
          update(reinterpret_cast<decltype(&kz2UpdatePacketPtr)>(GetProcAddress(h, "kz2UpdatePacketPtr"))) {}
    bool ok() const {
        return newPacket != nullptr && copyN != nullptr && routeSplit != nullptr && routeMany != nullptr &&
               update != nullptr;
    }
    decltype(&kz2NewPacketQueue) newPacket;
    // The three calls the routing makes (DIRECTQUEUECALLS' members).
    decltype(&kz2CopyPrimN) copyN;                 // the words into another queue
    decltype(&kz2CopyPrimMulScreen) routeSplit;    // split boards
    decltype(&kz2CopyPrimOpt) routeMany;           // to the queues of two tiles, or all
    decltype(&kz2UpdatePacketPtr) update;
};

inline ULONG vertex(LONG x, LONG y) { return ((static_cast<ULONG>(y) << 16) | static_cast<ULONG>(x)) << 4; }

// Bytes every queue's stream has grown by since `before` (no queue wraps
// between two drains).
std::int64_t stream_bytes(KZ2QUEUEMGT qm, const std::vector<ULONG*>& before) {
    std::int64_t cb = 0;
    for (ULONG q = 0; q < qm->pLayout->cQueues; ++q)
        cb += reinterpret_cast<BYTE*>(qm[q].pStreamEnd) - reinterpret_cast<BYTE*>(before[q]);
    return cb;
}

void BM_Driver_Emission(benchmark::State& state) {
    bench::DriverRig rig(static_cast<int>(state.range(0)));
    QueueCalls calls(rig.module());
    if (!rig.ok() || !calls.ok()) {
        state.SkipWithError("the device did not come up");
        return;
    }
    KZ2QUEUEMGT qm = rig.qm();
    CRITICAL_SECTION* cs = &rig.ppdev()->csEscape;
    std::vector<ULONG*> before(qm->pLayout->cQueues);
    std::int64_t bytes = 0;
    std::vector<unsigned char> src, dst;
    // The corners of the rectangles of a cycle of packets, made before the
    // timing: the loop below is the fill code's own per rectangle.
    constexpr std::int64_t kCycle = 64;
    struct Rect {
        ULONG v00, v10, v11, v01;
        bool oneTile;
    };
    std::vector<Rect> rects(static_cast<size_t>(kCycle) * kRects);
    for (size_t k = 0; k < rects.size(); ++k) {
        const RECTL r = bench::moving_rect(static_cast<std::int64_t>(k), 8, kWidth, kHeight);
        rects[k] = Rect{vertex(r.left, r.top), vertex(r.right, r.top), vertex(r.right, r.bottom),
                        vertex(r.left, r.bottom),
                        ((r.left ^ r.right) & 0xF80) == 0 && ((r.top ^ r.bottom) & 0xF80) == 0};
    }
    const ULONG pid = rig.ppdev()->pidScreen;
    auto emit = [&](std::int64_t i) {
        EnterCriticalSection(cs);
        ULONG* p = calls.newPacket(qm, nullptr, kRects);
        for (ULONG q = 0; q < qm->pLayout->cQueues; ++q) qm[q].pPacket[0] = kFillCommand;
        *p++ = pid;
        *p++ = 0x10360348;  // the colour into the pixmap, clipped
        *p++ = 0;           // clip pair
        *p++ = (767u << 16) | 1023u;
        *p++ = 0x336699;    // the colour
        const Rect* pr = &rects[static_cast<size_t>(i % kCycle) * kRects];
        for (ULONG k = 0; k < kRects; ++k, ++pr) {
            p[0] = pr->v00;
            p[1] = pr->v10;
            p[2] = pr->v11;
            p[3] = pr->v01;
            p = pRoutePrimitive(qm, p + 4, pr->v00, pr->v11, pr->oneTile, calls);
        }
        calls.update(qm, nullptr, p, 0);
        LeaveCriticalSection(cs);
    };
    // The reference's copies go one after the other through a buffer the
    // size of all rings, as the packets go through the rings.
    std::size_t cbRings = 0, at = 0;
    for (ULONG q = 0; q < qm->pLayout->cQueues; ++q) cbRings += qm[q].cbRing;
    auto copy = [&](std::int64_t) {
        if (at + src.size() > dst.size()) at = 0;
        std::memcpy(dst.data() + at, src.data(), src.size());
        at += src.size();
        benchmark::ClobberMemory();
    };
    // The bytes of one batch, measured once, size the reference's copies.
    rig.hold();
    for (ULONG q = 0; q < qm->pLayout->cQueues; ++q) before[q] = qm[q].pStreamEnd;
    for (ULONG k = 0; k < kPackets; ++k) emit(k);
    bytes = stream_bytes(qm, before) / kPackets;
    rig.release();
    src.assign(static_cast<size_t>(bytes), 0x5A);
    dst.assign(std::max(cbRings, src.size()), 0);
    rig.hold();
    bench::run_beside(state, bench::Beside{kPackets, static_cast<double>(bytes)}, emit, copy, [&](std::int64_t) {
        rig.release();
        rig.hold();
    });
    rig.release();
    state.counters["bytes_per_packet"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Driver_Emission)->ArgNames({"rasterizers"})->Arg(1)->Arg(4)->UseManualTime();

// The board model carrying out the driver's packets, in thread CPU time
// beside pixman doing the same pixels on the host. The driver's calls are
// queued with the board held and then taken all at once by one flush, which
// is timed: fills and copies count the same work (decoding, execution and
// the flush).
struct BoardFigures {
    std::int64_t board = 0, ref = 0, calls = 0;
    void report(benchmark::State& state, LONG n) const {
        if (board <= 0 || ref <= 0) return;
        const double pixels = static_cast<double>(calls) * n * n;
        state.counters["Mpixels_per_s"] = pixels / static_cast<double>(board) * 1e3;
        state.counters["ref_Mpixels_per_s"] = pixels / static_cast<double>(ref) * 1e3;
        state.counters["ratio"] = static_cast<double>(ref) / static_cast<double>(board);
        // The same per call (one fill or copy of n x n pixels), to set
        // beside the costs of the packets a call makes.
        state.counters["ns"] = static_cast<double>(board) / static_cast<double>(calls);
        state.counters["ref_ns"] = static_cast<double>(ref) / static_cast<double>(calls);
        state.SetItemsProcessed(static_cast<std::int64_t>(pixels));
    }
};

template <typename Reference>
std::int64_t time_reference(Reference reference, std::int64_t first, std::int64_t calls) {
    const std::int64_t t0 = bench::thread_ns();
    for (std::int64_t k = 0; k < calls; ++k) reference(first + k);
    return bench::thread_ns() - t0;
}

// Queues kCalls calls of draw with the board held, times the flush that
// carries them out beside the reference's same calls (taking turns going
// first).
template <typename Draw, typename Reference>
void board_beside(benchmark::State& state, bench::DriverRig& rig, LONG n, std::int64_t kCalls, Draw draw,
                  Reference reference) {
    BoardFigures f;
    bool bReferenceFirst = false;
    for (auto _ : state) {
        if (bReferenceFirst) f.ref += time_reference(reference, f.calls, kCalls);
        rig.hold();
        for (std::int64_t k = 0; k < kCalls; ++k) draw(f.calls + k);
        const std::int64_t t = rig.release();
        if (!bReferenceFirst) f.ref += time_reference(reference, f.calls, kCalls);
        bReferenceFirst = !bReferenceFirst;
        f.board += t;
        f.calls += kCalls;
        state.SetIterationTime(static_cast<double>(t) * 1e-9);
    }
    f.report(state, n);
}

void BM_Board_Fill(benchmark::State& state) {
    FillRig f(state);
    if (!f.ok()) return;
    board_beside(
        state, f.rig, f.n, 64, [&](std::int64_t i) { f.fill(i); }, [&](std::int64_t i) { f.reference(i); });
}
BENCHMARK(BM_Board_Fill)->ArgNames({"rasterizers", "edge"})->Args({1, 8})->Args({1, 256})->Args({4, 256})->UseManualTime();

// Copies within the screen. On boards of several rasterizers a copy moves
// pixels between tiles through host memory and waits for the board inside
// the driver, so the board cannot be held while the driver queues: those
// copies are not measured here.
void BM_Board_Copy(benchmark::State& state) {
    bench::DriverRig rig(static_cast<int>(state.range(0)));
    if (!rig.ok()) {
        state.SkipWithError("the device did not come up");
        return;
    }
    const LONG n = static_cast<LONG>(state.range(1));
    std::vector<std::uint32_t> host(static_cast<size_t>(kWidth) * kHeight);
    auto copy = [&](std::int64_t i) {
        RECTL r = bench::moving_rect(i, n, kWidth - n / 2, kHeight - n / 3);
        POINTL src{r.left + n / 2, r.top + n / 3};
        rig.bitblt()(rig.pso(), rig.pso(), nullptr, nullptr, nullptr, &r, &src, nullptr, nullptr, nullptr, 0xCCCC);
    };
    auto reference = [&](std::int64_t i) {
        const RECTL r = bench::moving_rect(i, n, kWidth - n / 2, kHeight - n / 3);
        pixman_blt(host.data(), host.data(), kWidth, kWidth, 32, 32, r.left + n / 2, r.top + n / 3, r.left, r.top,
                   n, n);
        benchmark::ClobberMemory();
    };
    board_beside(state, rig, n, n <= 8 ? 64 : 4, copy, reference);
}
BENCHMARK(BM_Board_Copy)->ArgNames({"rasterizers", "edge"})->Args({1, 8})->Args({1, 256})->UseManualTime();

}  // namespace
