// Shared helpers of the host-transfer tests: a device with queues and a page
// table, device bitmaps in board memory, host bitmaps of the engine, images
// of random pixels, and the board's view of a device bitmap's pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "boardmem/boardmem.h"
#include "copy/copy.h"
#include "display/queue/queue_fixture.h"
#include "fill/fill.h"
#include "xfer/xfer.h"

namespace vnx::test {

// The depth of a mode's pixels.
inline ULONG FormatOfBpp(ULONG bpp) {
    return bpp == 8 ? BMF_8BPP : bpp == 16 ? BMF_16BPP : BMF_32BPP;
}
inline ULONG BytesOfFormat(ULONG iFormat) {
    return iFormat == BMF_8BPP ? 1 : iFormat == BMF_16BPP ? 2 : iFormat == BMF_32BPP ? 4 : 0;
}

class XferTest : public QueueTest {
  protected:
    // A device on the machine at a depth, its queues built and its page
    // table set up as the surface enable does.
    void BootXfer(const vnx::miniport::MachineConfig& cfg, ULONG bpp) {
        ASSERT_NO_FATAL_FAILURE(Boot(cfg, Request(1024, 768, bpp)));
        gulSlotBank = 0;
        ASSERT_TRUE(bInitPageTable(ppdev));
        pageTable_ = true;
        // The pattern surface holds the copy table that board copies load.
        ASSERT_TRUE(bCreatePatternSurface(ppdev));
        TakeAll();
    }
    void BootXfer(int rasterizers, ULONG bpp) { BootXfer(Machine(rasterizers), bpp); }

    void TearDown() override {
        if (ppdev != nullptr) {
            vStereoCacheFreeFrom(ppdev, static_cast<STEREOENTRY*>(ppdev->StereoCache.pHead));
            for (SURFOBJ* pso : hosts_) {
                HSURF h = pso->hsurf;
                EngUnlockSurface(pso);
                EngDeleteSurface(h);
            }
            for (SURFOBJ* pso : devices_) {
                DSURF* pdsurf = reinterpret_cast<DSURF*>(pso->dhsurf);
                EngUnlockSurface(pso);
                vDeleteDeviceBitmap(pdsurf);
            }
            vDeletePatternSurface(ppdev);
            if (pageTable_) vFreePageTable(ppdev);
        }
        hosts_.clear();
        devices_.clear();
        QueueTest::TearDown();
    }

    // A device bitmap of the screen's format (or iFormat), placed at *pptl
    // when given; locked.
    SURFOBJ* DeviceBitmap(LONG cx, LONG cy, const POINTL* pptl = nullptr, FLONG fl = 0,
                          ULONG iFormat = 0) {
        POINTL ptl = pptl != nullptr ? *pptl : POINTL{0, 0};
        HSURF h = CreateDeviceBitmap(ppdev, cx, cy, iFormat != 0 ? iFormat : ppdev->iBitmapFormat,
                                     pptl != nullptr ? &ptl : nullptr,
                                     fl | (pptl != nullptr ? DFB_FL_PLACED : 0u));
        EXPECT_NE(h, nullptr);
        if (h == nullptr) return nullptr;
        SURFOBJ* pso = EngLockSurface(h);
        devices_.push_back(pso);
        return pso;
    }

    // A host bitmap (top-down unless bBottomUp); pvBits: caller's bits.
    SURFOBJ* HostBitmap(LONG cx, LONG cy, ULONG iFormat, bool bBottomUp = false,
                        PVOID pvBits = nullptr, LONG lWidth = 0) {
        HSURF h =
            EngCreateBitmap(SIZEL{cx, cy}, lWidth, iFormat, bBottomUp ? 0 : BMF_TOPDOWN, pvBits);
        EXPECT_NE(h, nullptr);
        if (h == nullptr) return nullptr;
        SURFOBJ* pso = EngLockSurface(h);
        hosts_.push_back(pso);
        return pso;
    }

    // Fills every pixel of a host bitmap with random values (the overlay bit
    // of 16-bit pixels included), reproducibly.
    static void Randomize(SURFOBJ* pso, unsigned seed) {
        std::mt19937 rng(seed);
        for (LONG y = 0; y < pso->sizlBitmap.cy; ++y) {
            BYTE* row = Row(pso, y);
            const ULONG cj = static_cast<ULONG>(pso->lDelta < 0 ? -pso->lDelta : pso->lDelta);
            for (ULONG i = 0; i < cj; ++i) row[i] = static_cast<BYTE>(rng());
        }
    }
    static BYTE* Row(SURFOBJ* pso, LONG y) {
        return static_cast<BYTE*>(pso->pvScan0) + static_cast<std::ptrdiff_t>(y) * pso->lDelta;
    }
    // Pixel (x, y) of a host bitmap of 8, 16 or 32 bits.
    static ULONG HostPixel(SURFOBJ* pso, LONG x, LONG y) {
        const ULONG cj = BytesOfFormat(pso->iBitmapFormat);
        ULONG v = 0;
        std::memcpy(&v, Row(pso, y) + x * cj, cj);
        return v;
    }
    static void SetHostPixel(SURFOBJ* pso, LONG x, LONG y, ULONG v) {
        std::memcpy(Row(pso, y) + x * BytesOfFormat(pso->iBitmapFormat), &v,
                    BytesOfFormat(pso->iBitmapFormat));
    }

    static const DFB* Dfb(SURFOBJ* psoDev) {
        return reinterpret_cast<DSURF*>(psoDev->dhsurf)->pdfb;
    }
    static USHORT Pid(SURFOBJ* psoDev) { return static_cast<USHORT>(Dfb(psoDev)->pid); }

    // The stored pixels of rectangle (x, y, cx, cy) of a device bitmap (plus
    // yEye rows down), as the board shows them.
    std::vector<ULONG> BoardPixels(SURFOBJ* psoDev, LONG x, LONG y, LONG cx, LONG cy,
                                   LONG yEye = 0) {
        const DFB* pdfb = Dfb(psoDev);
        auto v = board->read_pixels(0, Pid(psoDev), pdfb->x + x, pdfb->y + y + yEye, cx, cy);
        return std::vector<ULONG>(v.begin(), v.end());
    }
    // Writes a stored pixel of a device bitmap straight into its tile
    // owner's memory.
    void SetBoardPixel(SURFOBJ* psoDev, LONG x, LONG y, ULONG v) {
        const DFB* pdfb = Dfb(psoDev);
        const LONG bx = pdfb->x + x, by = pdfb->y + y;
        BYTE* p = board->pixel(board->tile_owner(0, bx, by), Pid(psoDev), bx, by);
        ASSERT_NE(p, nullptr);
        std::memcpy(p, &v, BytesOfFormat(psoDev->iBitmapFormat));
    }
    // Random stored pixels in rectangle (0, 0, cx, cy) (plus yEye).
    void RandomizeBoard(SURFOBJ* psoDev, unsigned seed, LONG yEye = 0) {
        std::mt19937 rng(seed);
        const ULONG mask = BytesOfFormat(psoDev->iBitmapFormat) == 4   ? 0xFFFFFFFFu
                           : BytesOfFormat(psoDev->iBitmapFormat) == 2 ? 0xFFFFu
                                                                       : 0xFFu;
        for (LONG y = 0; y < reinterpret_cast<DSURF*>(psoDev->dhsurf)->cy - yEye; ++y)
            for (LONG x = 0; x < reinterpret_cast<DSURF*>(psoDev->dhsurf)->cx; ++x)
                SetBoardPixel(psoDev, x, y + yEye, rng() & mask);
    }

    // The pixels of rectangle (x, y, cx, cy) of a host bitmap.
    static std::vector<ULONG> HostPixels(SURFOBJ* pso, LONG x, LONG y, LONG cx, LONG cy) {
        std::vector<ULONG> v;
        for (LONG j = 0; j < cy; ++j)
            for (LONG i = 0; i < cx; ++i) v.push_back(HostPixel(pso, x + i, y + j));
        return v;
    }

    // The transfer records rasterizer r decoded since the last take.
    std::vector<vnx::board::TransferRecord> Records(int r) {
        std::vector<vnx::board::TransferRecord> out;
        for (const auto& p : Take(r, ItemKind::Transfer))
            for (const auto& t : p.transfers)
                if ((t.descriptor & XFER_DESC_KIND_MASK) != 0) out.push_back(t);
        return out;
    }

    // A copy within the device surface dev through the driver (drained), and
    // the same copy within its host twin through the engine, the reference.
    void CopyBoth(SURFOBJ* dev, SURFOBJ* host, RECTL rcl, POINTL ptl, ULONG rop3,
                  CLIPOBJ* pco = nullptr) {
        RECTL r = rcl;
        POINTL p = ptl;
        EnterCriticalSection(&ppdev->csEscape);
        vCopyDevToDev(dev, dev, pco, &r, &p, rop3, ulRop3Info(rop3), 0);
        kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
        r = rcl;
        p = ptl;
        if (rop3 == 0xCC) ASSERT_TRUE(EngCopyBits(host, host, pco, nullptr, &r, &p));
        else
            ASSERT_TRUE(EngBitBlt(host, host, nullptr, pco, nullptr, &r, &p, nullptr, nullptr,
                                  nullptr, rop3 | rop3 << 8));
    }

    bool pageTable_ = false;
    std::vector<SURFOBJ*> hosts_;
    std::vector<SURFOBJ*> devices_;
};

}  // namespace vnx::test
