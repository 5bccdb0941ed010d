// Pixels a second of the board model's 3D rasterizer: one 640x480 frame of
// 3000 small smooth-shaded, depth-tested triangles (layout 12, the
// generator's depth-less program with its dithered colour write) handed to
// a board made alone, beside the model's own uniform 2D fill of the same
// frame (a rectangle packet) in the same run. Items are the triangles'
// covered pixels (their areas).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_util.h"
#include "kzprimwords.h"
#include "kzuinstr.h"
#include "platform/board.h"
#include "platform/mmio.h"

namespace {

using vnx::board::Board;

constexpr int kW = 640, kH = 480, kTriangles = 3000;
constexpr std::uint16_t kColour = 0xA000, kDepthSpace = 0x0001, kDepthWords = 0xA001;

std::uint32_t pos(float x, float y) {
    return static_cast<std::uint32_t>(y * 16) << 16 | (static_cast<std::uint32_t>(x * 16) & 0xFFFF);
}

class Frame {
public:
    Frame() : board_(config()) {
        const std::uint16_t pids[] = {kColour, kDepthWords};
        board_.set_recording(false);
        int slot = 0;
        for (std::uint16_t pid : pids) {
            ULONG w = 0, h = 0, bpp = 0;
            board_.page_geometry(pid, &w, &h, &bpp);
            for (ULONG y0 = 0; y0 < kH; y0 += h)
                for (ULONG x0 = 0; x0 < kW; x0 += w)
                    board_.write_register(0, VNX_REG_PAGE_SLOT0 + 4 * slot++,
                                          ((y0 >> 7) & 0x3F) << 11 | ((x0 >> 7) & 0x3F) << 5 | (pid & 0x1F));
        }
        // The triangles: about 14 pixels a side, spread over the frame.
        const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
        const std::uint32_t D = KZU_pixmap0, Z = KZU_pixmap0 + 1;
        const std::uint32_t program[] = {
            kzuInstr(kzuCCDescs[0].w[KZU_CMP_LT], Z, KZU_z0, Z) | KZU_CLIP | KZU_IF_CC0,
            kzuInstr(KZU_OP_ADD, D, KZU_rgb0, KZU_pattern) | KZU_CLIP | KZU_IF_CC0,
        };
        std::uint32_t seed = 7;
        auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
        for (int first = 0; first < kTriangles; first += 400) {
            const int n = std::min(400, kTriangles - first);
            triangles_.insert(triangles_.end(),
                              {5 | KZU_HDR_CLIP | kzuHdrLoadKind(KZU_rgb0, 3) | kzuHdrLoadKind(KZU_z0, 3) |
                                   2u << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT,
                               static_cast<std::uint32_t>(n), std::uint32_t{kDepthSpace} << 16 | kColour, program[0],
                               program[1], 0, static_cast<std::uint32_t>(kH - 1) << 16 | (kW - 1)});
            for (int i = 0; i < n; ++i) {
                const float x = 8.0f + static_cast<float>(next() % (kW - 24)), y = 8.0f + static_cast<float>(next() % (kH - 24));
                const float xy[3][2] = {{x, y}, {x + 14.3f, y + 3.1f}, {x + 4.7f, y + 13.9f}};
                area_ += 0.5 * (14.3 * 13.9 - 3.1 * 4.7);
                std::uint32_t w[9];
                for (std::uint32_t v = 0; v < 3; ++v) {
                    w[kzPrimWordAt(row, KZ_PW_COLOUR, v)] = next() & 0xFFFFFF;
                    w[kzPrimWordAt(row, KZ_PW_DEPTH, v)] = next() & 0xFFFFFF;
                    w[kzPrimWordAt(row, KZ_PW_POSITION, v)] = pos(xy[v][0], xy[v][1]);
                }
                triangles_.insert(triangles_.end(), std::begin(w), std::end(w));
            }
        }
        // The reference: the frame filled by one rectangle.
        fill_ = {0x02101026, 1, kColour, 0x10360348, 0, static_cast<std::uint32_t>(kH) << 16 | kW, 0x336699,
                 0, static_cast<std::uint32_t>(kW) << 4, static_cast<std::uint32_t>(kH) << 20 | kW << 4,
                 static_cast<std::uint32_t>(kH) << 20};
    }

    double area() const { return area_; }
    void draw_triangles() { hand_over(triangles_); }
    void draw_fill() { hand_over(fill_); }

private:
    static vnx::miniport::MachineConfig config() {
        vnx::miniport::MachineConfig cfg;
        cfg.dmaBytes = 0x100000;
        return cfg;
    }
    // The words from the ring's start, NOPs to a line and 64 more, an empty
    // packet, END and its marks; the write pointer moved to the empty packet.
    void hand_over(const std::vector<std::uint32_t>& words) {
        const std::uint32_t start = board_.dma_bus() + 16384;
        board_.write_register(0, VNX_REG_WRITE_PTR, start);
        board_.write_register(0, VNX_REG_READ_PTR, start);
        std::vector<std::uint32_t> w = words;
        while ((start + 4 * w.size()) % 128 != 0) w.push_back(vnx::board::kWordNop);
        w.insert(w.end(), 64, vnx::board::kWordNop);
        const std::uint32_t end = start + 4 * static_cast<std::uint32_t>(w.size());
        w.insert(w.end(), {vnx::board::kWordEmpty, 0, vnx::board::kWordEnd, vnx::board::kFillMarks[0],
                           vnx::board::kFillMarks[1], vnx::board::kFillMarks[2]});
        std::memcpy(board_.bus_to_cpu(start, 4 * static_cast<std::uint32_t>(w.size())), w.data(), 4 * w.size());
        board_.write_register(0, VNX_REG_WRITE_PTR, end);
    }

    Board board_;
    std::vector<std::uint32_t> triangles_, fill_;
    double area_ = 0;
};

// Items: covered pixels. Reference: the uniform fill of the frame, scaled
// to the same pixel count.
void BM_Render3d_SmallTriangles(benchmark::State& state) {
    Frame f;
    const double fillScale = f.area() / (double{kW} * kH);
    std::int64_t own = 0, ref = 0, frames = 0;
    for (auto _ : state) {
        const std::int64_t t0 = bench::thread_ns();
        f.draw_triangles();
        const std::int64_t t1 = bench::thread_ns();
        f.draw_fill();
        const std::int64_t t2 = bench::thread_ns();
        state.SetIterationTime(static_cast<double>(t1 - t0) * 1e-9);
        own += t1 - t0;
        ref += t2 - t1;
        ++frames;
    }
    if (frames == 0 || own == 0) return;
    state.counters["frame_ms"] = static_cast<double>(own) / static_cast<double>(frames) * 1e-6;
    state.counters["ns"] = static_cast<double>(own) / (static_cast<double>(frames) * f.area());
    state.counters["ref_ns"] = static_cast<double>(ref) * fillScale / (static_cast<double>(frames) * f.area());
    state.counters["ratio"] = static_cast<double>(ref) * fillScale / static_cast<double>(own);
    state.SetItemsProcessed(static_cast<std::int64_t>(static_cast<double>(frames) * f.area()));
}
BENCHMARK(BM_Render3d_SmallTriangles)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
