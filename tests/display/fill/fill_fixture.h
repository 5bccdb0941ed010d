// Shared helpers of the fill tests: a device with queues, a page table and
// the pattern surface; device bitmaps to draw on; the pixels the board holds
// for them; realized brushes built by hand; and the truth-table reference of
// the raster operations.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "boardmem/boardmem.h"
#include "display/queue/queue_fixture.h"
#include "fill/fill.h"
#include "platform/engine.h"
#include "rop/rop.h"

namespace vnx::test {

// The result of a ROP3 on 32-bit operands, bit by bit from its truth table:
// bit i of the code is the result for (P << 2 | S << 1 | D) = i.
inline ULONG Rop3Ref(ULONG rop3, ULONG p, ULONG s, ULONG d) {
    ULONG out = 0;
    for (int bit = 0; bit < 32; ++bit) {
        const ULONG index = ((p >> bit) & 1) << 2 | ((s >> bit) & 1) << 1 | ((d >> bit) & 1);
        out |= ((rop3 >> index) & 1u) << bit;
    }
    return out;
}

// A realized brush with room for its pattern.
struct Brush {
    std::vector<ULONG> words = std::vector<ULONG>(4 + 64, 0);
    REALBRUSH* get() { return reinterpret_cast<REALBRUSH*>(words.data()); }
    // A colour brush of 8x8 pixels of bytesPerPixel bytes.
    static Brush Colour(ULONG iUniq, const std::vector<ULONG>& pixels, ULONG bytesPerPixel) {
        Brush b;
        b.get()->fl = REALBRUSH_PIXELS;
        b.get()->iUniq = iUniq;
        BYTE* pj = b.get()->ajPattern;
        for (size_t i = 0; i < 64; ++i)
            std::memcpy(pj + i * bytesPerPixel, &pixels[i], bytesPerPixel);
        return b;
    }
    // A two-colour brush from eight row bytes (bit 7 the leftmost pixel).
    static Brush Mono(const BYTE (&rows)[8], ULONG fore, ULONG back) {
        Brush b;
        b.get()->fl = REALBRUSH_MONO;
        b.get()->ulForeColor = fore;
        b.get()->ulBackColor = back;
        b.get()->iUniq = 0x55;
        for (int i = 0; i < 8; ++i) {
            b.get()->ajPattern[2 * i] = rows[i];
            b.get()->ajPattern[2 * i + 1] = rows[i];
        }
        return b;
    }
};

class FillTest : public QueueTest {
  protected:
    void Boot(const vnx::miniport::MachineConfig& cfg, const DEVMODEW& mode) {
        QueueTest::Boot(cfg, mode);
        gulSlotBank = 0;
        ASSERT_TRUE(bInitPageTable(ppdev));
        ASSERT_TRUE(bCreatePatternSurface(ppdev));
        TakeAll();
    }
    void Boot(int rasterizers = 1, int boards = 1, ULONG bpp = 32) {
        Boot(Machine(rasterizers, boards), Request(1024, 768, bpp));
    }
    // A Solo at 640x480x32 under a stereo page configuration, which the
    // test's end takes away again.
    void BootStereo() {
        ASSERT_NO_FATAL_FAILURE(Boot(Machine(1), Request(640, 480, 32)));
        stereo_ = *gaPageConfig;
        stereo_.fStereo = 1;
        stereoScope_ = std::make_unique<ScopedValue<PAGECONFIG*>>(ppdev->pPageConfig, &stereo_);
    }

    void TearDown() override {
        stereoScope_.reset();
        if (ppdev != nullptr) {
            for (SURFOBJ* pso : targets_) {
                DSURF* pdsurf = reinterpret_cast<DSURF*>(pso->dhsurf);
                EngUnlockSurface(pso);
                vDeleteDeviceBitmap(pdsurf);
            }
            vDeletePatternSurface(ppdev);
            vFreePageTable(ppdev);
        }
        targets_.clear();
        QueueTest::TearDown();
    }

    // A device bitmap of the screen's format to draw on; placed at *pptl
    // of its page block when pptl is given.
    SURFOBJ* Target(LONG cx, LONG cy, POINTL* pptl = nullptr, FLONG fl = 0) {
        if (pptl != nullptr) fl |= DFB_FL_PLACED;
        HSURF h = CreateDeviceBitmap(ppdev, cx, cy, ppdev->iBitmapFormat, pptl, fl);
        EXPECT_NE(h, nullptr);
        if (h == nullptr) return nullptr;
        SURFOBJ* pso = EngLockSurface(h);
        targets_.push_back(pso);
        return pso;
    }
    static DFB* Dfb(SURFOBJ* pso) { return reinterpret_cast<DSURF*>(pso->dhsurf)->pdfb; }
    ULONG BytesPerPixel() const { return 1u << ppdev->iPixelClass; }
    ULONG PixelMask() const {
        return BytesPerPixel() == 4 ? 0xFFFFFFFFu : (1u << (8 * BytesPerPixel())) - 1;
    }

    // Hands every queued packet to the board and waits until it is drawn.
    void Flush() { kz2FlushQueue(qm, ~0u, nullptr, nullptr); }

    // The stored pixels of a surface rectangle as board 0 shows them.
    std::vector<ULONG> Read(SURFOBJ* pso, const RECTL& r) {
        const DFB* pdfb = Dfb(pso);
        auto v = board->read_pixels(0, static_cast<std::uint16_t>(pdfb->pid), pdfb->x + r.left,
                                    pdfb->y + r.top, r.right - r.left, r.bottom - r.top);
        return std::vector<ULONG>(v.begin(), v.end());
    }
    std::vector<ULONG> ReadAll(SURFOBJ* pso) {
        return Read(pso, RECTL{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy});
    }
    // Writes the surface's pixels straight into every rasterizer's memory.
    void Write(SURFOBJ* pso, const std::vector<ULONG>& pixels) {
        const DFB* pdfb = Dfb(pso);
        const LONG cx = pso->sizlBitmap.cx, cy = pso->sizlBitmap.cy;
        for (int r = 0; r < board->rasterizers(); ++r)
            for (LONG y = 0; y < cy; ++y)
                for (LONG x = 0; x < cx; ++x) {
                    std::uint8_t* p = board->pixel(r, static_cast<std::uint16_t>(pdfb->pid),
                                                   pdfb->x + x, pdfb->y + y);
                    ASSERT_NE(p, nullptr);
                    std::memcpy(p, &pixels[y * cx + x], BytesPerPixel());
                }
    }
    std::vector<ULONG> Random(size_t n, ULONG seed) {
        std::mt19937 rng(seed);
        std::vector<ULONG> v(n);
        for (ULONG& p : v) p = rng() & PixelMask();
        return v;
    }

    // The decoded drawing packets of rasterizer r whose command word's low
    // 16 bits (the kind and the colour constants) are `kind`.
    std::vector<DecodedPacket> Packets(int r, ULONG kind) {
        std::vector<DecodedPacket> out;
        for (auto& p : board->packets(r))
            if (p.kind == ItemKind::Packet && (p.command & 0xFFFF) == kind) out.push_back(p);
        return out;
    }

    PAGECONFIG stereo_{};

    std::unique_ptr<ScopedValue<PAGECONFIG*>> stereoScope_;

    std::vector<SURFOBJ*> targets_;
};

}  // namespace vnx::test
