// Shared helpers of the blit tests: a device enabled through the engine on a
// chosen board and depth, device bitmaps made by DrvCreateDeviceBitmap,
// host bitmaps, brushes and translations of the engine, and the pixels the
// board holds, so that a blit drawn by the driver can be compared with the
// engine's software result on an identical host bitmap.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "blt/blt.h"
#include "display/surface/surface_fixture.h"
#include "platform/faults.h"
#include "rop/rop.h"

namespace vnx::test {

class BltTest : public SurfaceTest {
  protected:
    void BootBlt(int rasterizers, ULONG bpp) {
        ASSERT_NO_FATAL_FAILURE(Boot(Machine(rasterizers), Request(1024, 768, bpp)));
        screen_ = EngLockSurface(device_->hsurf());
        ASSERT_NE(screen_, nullptr);
    }

    void TearDown() override {
        for (BRUSHOBJ* pbo : brushes_) vnx::engine::delete_brush(pbo);
        for (XLATEOBJ* pxlo : xlates_) vnx::engine::delete_xlate(pxlo);
        for (CLIPOBJ* pco : clips_) vnx::engine::delete_clip(pco);
        for (SURFOBJ* pso : hosts_) {
            HSURF h = pso->hsurf;
            EngUnlockSurface(pso);
            EngDeleteSurface(h);
        }
        for (SURFOBJ* pso : devices_) {
            DHSURF dhsurf = pso->dhsurf;
            EngUnlockSurface(pso);
            DrvDeleteDeviceBitmap(dhsurf);
        }
        for (HPALETTE h : palettes_) EngDeletePalette(h);
        if (screen_ != nullptr) EngUnlockSurface(screen_);
        brushes_.clear();
        xlates_.clear();
        clips_.clear();
        hosts_.clear();
        devices_.clear();
        palettes_.clear();
        screen_ = nullptr;
        SurfaceTest::TearDown();
    }

    ULONG Bytes() const { return 1u << ppdev->iPixelClass; }
    // The bits the board keeps of a pixel at this depth and that a ROP's
    // result is compared on (the 32-bit board holds 24-bit colours).
    ULONG Mask() const { return Bytes() == 4 ? 0xFFFFFFu : Bytes() == 2 ? 0xFFFFu : 0xFFu; }

    // A device bitmap of the screen's format, through the engine's entry.
    SURFOBJ* Device(LONG cx, LONG cy) {
        HSURF h = DrvCreateDeviceBitmap(reinterpret_cast<DHPDEV>(ppdev), SIZEL{cx, cy},
                                        ppdev->iBitmapFormat);
        EXPECT_NE(h, nullptr);
        if (h == nullptr) return nullptr;
        SURFOBJ* pso = EngLockSurface(h);
        devices_.push_back(pso);
        return pso;
    }
    SURFOBJ* Host(LONG cx, LONG cy, ULONG iFormat, bool bBottomUp = false) {
        HSURF h = EngCreateBitmap(SIZEL{cx, cy}, 0, iFormat, bBottomUp ? 0 : BMF_TOPDOWN, nullptr);
        EXPECT_NE(h, nullptr);
        if (h == nullptr) return nullptr;
        SURFOBJ* pso = EngLockSurface(h);
        hosts_.push_back(pso);
        return pso;
    }
    CLIPOBJ* Clip(const std::vector<RECTL>& v) {
        CLIPOBJ* pco = vnx::engine::create_clip(v.data(), static_cast<ULONG>(v.size()));
        clips_.push_back(pco);
        return pco;
    }
    XLATEOBJ* Vector(const std::vector<ULONG>& v) {
        XLATEOBJ* pxlo = vnx::engine::create_xlate_vector(v.data(), static_cast<ULONG>(v.size()));
        xlates_.push_back(pxlo);
        return pxlo;
    }
    XLATEOBJ* Xlate(HPALETTE hpalSrc, HPALETTE hpalDst) {
        XLATEOBJ* pxlo = vnx::engine::create_xlate(hpalSrc, hpalDst);
        EXPECT_NE(pxlo, nullptr);
        xlates_.push_back(pxlo);
        return pxlo;
    }
    HPALETTE Palette(ULONG iMode, ULONG r = 0, ULONG g = 0, ULONG b = 0,
                     std::vector<ULONG> colours = {}) {
        HPALETTE h = EngCreatePalette(iMode, static_cast<ULONG>(colours.size()),
                                      colours.empty() ? nullptr : colours.data(), r, g, b);
        EXPECT_NE(h, nullptr);
        palettes_.push_back(h);
        return h;
    }
    BRUSHOBJ* Brush(const vnx::engine::BrushDesc& desc) {
        BRUSHOBJ* pbo = vnx::engine::create_brush(desc);
        EXPECT_NE(pbo, nullptr);
        brushes_.push_back(pbo);
        return pbo;
    }
    BRUSHOBJ* Solid(ULONG iColour) {
        vnx::engine::BrushDesc d;
        d.iSolidColor = iColour;
        d.psoTarget = screen_;
        return Brush(d);
    }
    // A colour pattern brush of random device pixels.
    BRUSHOBJ* PatternBrush(SURFOBJ* psoTarget, unsigned seed) {
        SURFOBJ* pat = Host(8, 8, ppdev->iBitmapFormat);
        RandomHost(pat, seed);
        vnx::engine::BrushDesc d;
        d.psoTarget = psoTarget;
        d.psoPattern = pat;
        return Brush(d);
    }
    // A two-colour brush: the 1-bpp rows, 1 bits fore, 0 bits back.
    BRUSHOBJ* MonoBrush(SURFOBJ* psoTarget, const BYTE (&rows)[8], ULONG fore, ULONG back) {
        SURFOBJ* pat = Host(8, 8, BMF_1BPP);
        for (LONG y = 0; y < 8; ++y) Row(pat, y)[0] = rows[y];
        vnx::engine::BrushDesc d;
        d.psoTarget = psoTarget;
        d.psoPattern = pat;
        d.pxlo = Vector({back, fore});
        return Brush(d);
    }

    static BYTE* Row(SURFOBJ* pso, LONG y) {
        return static_cast<BYTE*>(pso->pvScan0) + static_cast<std::ptrdiff_t>(y) * pso->lDelta;
    }
    static ULONG BytesOf(ULONG iFormat) {
        return iFormat == BMF_8BPP ? 1 : iFormat == BMF_16BPP ? 2 : iFormat == BMF_24BPP ? 3 : 4;
    }
    static ULONG HostPixel(SURFOBJ* pso, LONG x, LONG y) {
        ULONG v = 0;
        const ULONG cj = BytesOf(pso->iBitmapFormat);
        std::memcpy(&v, Row(pso, y) + x * cj, cj);
        return v;
    }
    // Random values in every byte of a host bitmap's rows (16-bit pixels
    // keep bit 15 clear: device colours at 16 bits are 5-5-5).
    void RandomHost(SURFOBJ* pso, unsigned seed) {
        std::mt19937 rng(seed);
        const ULONG cj = static_cast<ULONG>(pso->lDelta < 0 ? -pso->lDelta : pso->lDelta);
        for (LONG y = 0; y < pso->sizlBitmap.cy; ++y)
            for (ULONG i = 0; i < cj; ++i) Row(pso, y)[i] = static_cast<BYTE>(rng());
        if (pso->iBitmapFormat == BMF_16BPP)
            for (LONG y = 0; y < pso->sizlBitmap.cy; ++y)
                for (LONG x = 0; x < pso->sizlBitmap.cx; ++x) Row(pso, y)[2 * x + 1] &= 0x7F;
    }

    static const DFB* Dfb(SURFOBJ* psoDev) {
        return reinterpret_cast<const DSURF*>(psoDev->dhsurf)->pdfb;
    }
    // The stored pixels of the whole device surface, as board 0 shows them.
    std::vector<ULONG> Board(SURFOBJ* psoDev) {
        Drain();
        const DFB* pdfb = Dfb(psoDev);
        auto v = board().read_pixels(0, static_cast<std::uint16_t>(pdfb->pid), pdfb->x, pdfb->y,
                                     psoDev->sizlBitmap.cx, psoDev->sizlBitmap.cy);
        std::vector<ULONG> out(v.begin(), v.end());
        for (ULONG& p : out) p &= Mask();
        return out;
    }
    // Writes a host bitmap's pixels into the device surface's board memory
    // (every rasterizer's copy).
    void Load(SURFOBJ* psoDev, SURFOBJ* psoHost) {
        Drain();
        const DFB* pdfb = Dfb(psoDev);
        for (int r = 0; r < board().rasterizers(); ++r)
            for (LONG y = 0; y < psoDev->sizlBitmap.cy; ++y)
                for (LONG x = 0; x < psoDev->sizlBitmap.cx; ++x) {
                    std::uint8_t* p = board().pixel(r, static_cast<std::uint16_t>(pdfb->pid),
                                                    pdfb->x + x, pdfb->y + y);
                    if (p == nullptr) continue;
                    const ULONG v = HostPixel(psoHost, x, y);
                    std::memcpy(p, &v, Bytes());
                }
    }
    // A device bitmap and a host twin with the same random pixels.
    std::pair<SURFOBJ*, SURFOBJ*> Twins(LONG cx, LONG cy, unsigned seed) {
        SURFOBJ* dev = Device(cx, cy);
        SURFOBJ* host = Host(cx, cy, ppdev->iBitmapFormat);
        if (dev == nullptr || host == nullptr) return {nullptr, nullptr};
        RandomHost(host, seed);
        Load(dev, host);
        return {dev, host};
    }
    std::vector<ULONG> HostAll(SURFOBJ* pso) {
        std::vector<ULONG> v;
        for (LONG y = 0; y < pso->sizlBitmap.cy; ++y)
            for (LONG x = 0; x < pso->sizlBitmap.cx; ++x)
                v.push_back(HostPixel(pso, x, y) & Mask());
        return v;
    }
    // The first pixel where two images differ, for messages.
    static std::string FirstDifference(const std::vector<ULONG>& a, const std::vector<ULONG>& b,
                                       LONG cx) {
        for (size_t i = 0; i < a.size() && i < b.size(); ++i)
            if (a[i] != b[i]) {
                char s[96];
                std::snprintf(s, sizeof s, "first difference at (%ld, %ld): 0x%lx != 0x%lx",
                              static_cast<long>(i % cx), static_cast<long>(i / cx),
                              static_cast<unsigned long>(a[i]), static_cast<unsigned long>(b[i]));
                return s;
            }
        return a.size() == b.size() ? "" : "sizes differ";
    }
    SURFOBJ* screen_ = nullptr;
    std::vector<BRUSHOBJ*> brushes_;
    std::vector<XLATEOBJ*> xlates_;
    std::vector<CLIPOBJ*> clips_;
    std::vector<SURFOBJ*> hosts_;
    std::vector<SURFOBJ*> devices_;
    std::vector<HPALETTE> palettes_;
};

}  // namespace vnx::test
