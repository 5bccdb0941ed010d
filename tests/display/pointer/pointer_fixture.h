// Shared helpers of the hardware cursor tests: a device enabled through the
// engine, pointer shapes drawn as text (one character a pixel), and the
// RAMDAC stores the board saw.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/entry.h"
#include "display/fixture.h"
#include "platform/board.h"
#include "queue/queue.h"

namespace vnx::test {

using vnx::board::CursorState;
using vnx::board::RamdacWrite;

// A monochrome pointer as text: '.' transparent (AND 1, XOR 0), 'i'
// inverting (AND 1, XOR 1), 'b' black (AND 0, XOR 0), 'w' white (AND 0,
// XOR 1). Rows may be shorter than the width: the rest is transparent.
struct MonoArt {
    LONG cx;
    std::vector<std::string> rows;
};

// A host bitmap the test owns (locked while it lives).
class TestBitmap {
  public:
    TestBitmap(LONG cx, LONG cy, ULONG iFormat) {
        h_ = EngCreateBitmap(SIZEL{cx, cy}, 0, iFormat, BMF_TOPDOWN, nullptr);
        pso = h_ != nullptr ? EngLockSurface(h_) : nullptr;
        EXPECT_NE(pso, nullptr);
    }
    ~TestBitmap() {
        if (pso != nullptr) EngUnlockSurface(pso);
        if (h_ != nullptr) EngDeleteSurface(h_);
    }
    TestBitmap(const TestBitmap&) = delete;
    TestBitmap& operator=(const TestBitmap&) = delete;

    void bit(LONG x, LONG y, bool on) {
        BYTE& j = static_cast<BYTE*>(pso->pvScan0)[y * pso->lDelta + x / 8];
        const BYTE m = static_cast<BYTE>(0x80u >> (x % 8));
        j = static_cast<BYTE>(on ? j | m : j & ~m);
    }
    // Pixel (x, y) of an 8, 16 or 32 bpp bitmap.
    void pixel(LONG x, LONG y, ULONG v) {
        const ULONG cb = pso->iBitmapFormat == BMF_8BPP    ? 1
                         : pso->iBitmapFormat == BMF_16BPP ? 2
                                                           : 4;
        std::memcpy(static_cast<BYTE*>(pso->pvScan0) + y * pso->lDelta + x * cb, &v, cb);
    }

    SURFOBJ* pso = nullptr;

  private:
    HSURF h_ = nullptr;
};

// The mask of a monochrome pointer: AND plane over XOR plane, bits past the
// width set as `padding` says (AND 0 there unless told otherwise).
inline std::unique_ptr<TestBitmap> MaskOf(const MonoArt& art, bool andPadding = false) {
    const LONG cy = static_cast<LONG>(art.rows.size());
    auto m = std::make_unique<TestBitmap>(art.cx, 2 * cy, BMF_1BPP);
    const LONG cxBits = (art.cx + 7) / 8 * 8;
    for (LONG y = 0; y < cy; ++y)
        for (LONG x = 0; x < cxBits; ++x) {
            const std::string& r = art.rows[y];
            if (x >= art.cx) {
                m->bit(x, y, andPadding);
                m->bit(x, cy + y, false);
                continue;
            }
            const char c = x < static_cast<LONG>(r.size()) ? r[x] : '.';
            m->bit(x, y, c == '.' || c == 'i');
            m->bit(x, cy + y, c == 'w' || c == 'i');
        }
    return m;
}

// The cursor image code (0-3) of pixel (x, y).
inline unsigned Code(const CursorState& c, LONG x, LONG y) { return c.code(x, y); }

class PointerTest : public DriverTest {
  protected:
    void TearDown() override {
        if (pso != nullptr) EngUnlockSurface(pso);
        if (device_ != nullptr) {
            device_->unload_driver();
            EXPECT_TRUE(board().take_errors().empty());
        }
        device_.reset();
        DriverTest::TearDown();
    }

    void Boot(const vnx::miniport::MachineConfig& cfg, const DEVMODEW& mode) {
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(mode));
        ASSERT_TRUE(device_->enable_surface()) << vnx::debug::peek();
        ppdev = Pdev(*device_);
        pso = EngLockSurface(device_->hsurf());
        ASSERT_NE(pso, nullptr);
        for (int b = 0; b < board().boards(); ++b) board().take_ramdac_writes(b);
        vnx::debug::clear();
    }
    void Boot(int boards = 1, ULONG bpp = 16) { Boot(Machine(1, boards), Request(1024, 768, bpp)); }

    vnx::board::Board& board() { return device_->machine().board(); }

    // Lets the board carry out everything queued.
    void Drain() {
        EnterCriticalSection(&ppdev->csEscape);
        kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
    }
    // Screen pixel (x, y) of board b as 0x00RRGGBB, from board memory.
    std::uint32_t Pixel(int b, LONG x, LONG y) {
        const DFB* pdfb = ppdev->pdsurfScreen->pdfb;
        return board()
            .read_rgb(b, static_cast<std::uint16_t>(pdfb->pid), pdfb->x + x, pdfb->y + y, 1, 1)
            .at(0);
    }

    // The driver's entries, as the engine reaches them.
    ULONG SetShape(SURFOBJ* psoMask, SURFOBJ* psoColor, XLATEOBJ* pxlo, LONG xHot, LONG yHot,
                   LONG x, LONG y, FLONG fl = 0) {
        auto pfn =
            reinterpret_cast<PFN_DrvSetPointerShape>(device_->function(INDEX_DrvSetPointerShape));
        return pfn(pso, psoMask, psoColor, pxlo, xHot, yHot, x, y, nullptr, fl);
    }
    void Move(LONG x, LONG y) {
        reinterpret_cast<PFN_DrvMovePointer>(device_->function(INDEX_DrvMovePointer))(pso, x, y,
                                                                                      nullptr);
    }

    // The RAMDAC stores of board b since the last call, as "index=value"
    // words, with the image's 1024 stores folded into "image".
    std::vector<std::string> Writes(int b) {
        std::vector<std::string> v;
        char buf[40];
        for (const RamdacWrite& w : board().take_ramdac_writes(b)) {
            if (w.index >= 0x101 && w.index < 0x500) continue;
            if (w.index == 0x100) {
                v.push_back("image");
                continue;
            }
            std::snprintf(buf, sizeof buf, "%x=%x", static_cast<unsigned>(w.index),
                          static_cast<unsigned>(w.value));
            v.push_back(buf);
        }
        return v;
    }

    std::unique_ptr<vnx::engine::Device> device_;
    PDEV* ppdev = nullptr;
    SURFOBJ* pso = nullptr;
};

// The position register's value for a hot spot at (x, y).
inline std::string Position(LONG x, LONG y) {
    char buf[40];
    std::snprintf(
        buf, sizeof buf, "31=%x",
        static_cast<unsigned>((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFF)));
    return buf;
}

}  // namespace vnx::test
