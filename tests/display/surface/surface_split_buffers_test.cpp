// The 3D buffers of a split board stand for the joined screens as the
// primary does: rectangles read from them and written to them through
// CopyBits reach the second screen's columns (held at x - 1024 of the
// second board's memory), on the first screen, the second, and across the
// boundary.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/surface/surface_fixture.h"
#include "platform/engine.h"
#include "vornix_surface.h"

namespace {

using namespace vnx::test;

constexpr LONG kcxScreen = 1024;

class SplitBuffersTest : public SurfaceTest {
  protected:
    void SetUp() override {
        SurfaceTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(Boot(Memory(2, 2, 0, 0, 2), Request(1024, 768, 16)));
        ASSERT_EQ(ppdev->layout.bSplitScreen, 1u);
        ASSERT_NE(ppdev->psoBack, nullptr);
        ASSERT_NE(ppdev->psoZ, nullptr);
        primary_ = EngLockSurface(device_->hsurf());
        ASSERT_NE(primary_, nullptr);
    }
    void TearDown() override {
        if (primary_ != nullptr) EngUnlockSurface(primary_);
        for (HSURF h : hosts_) EngDeleteSurface(h);
        SurfaceTest::TearDown();
    }

    static ULONG BytesOf(SURFOBJ* pso) {
        return pso->iBitmapFormat == BMF_32BPP ? 4 : pso->iBitmapFormat == BMF_16BPP ? 2 : 1;
    }
    // The stored pixel of desktop (x, y) of a board surface: the second
    // screen's columns lie at x - 1024 of the second board.
    BYTE* Stored(SURFOBJ* pso, LONG x, LONG y) {
        const DFB* pdfb = reinterpret_cast<DSURF*>(pso->dhsurf)->pdfb;
        const int iBoard = x >= kcxScreen ? 1 : 0;
        const LONG xm = pdfb->x + x - iBoard * kcxScreen, ym = pdfb->y + y;
        BYTE* p = board().pixel(board().tile_owner(iBoard, xm, ym), static_cast<std::uint16_t>(pdfb->pid), xm, ym);
        EXPECT_NE(p, nullptr) << x << ", " << y;
        return p;
    }
    ULONG Get(SURFOBJ* pso, LONG x, LONG y) {
        ULONG v = 0;
        if (BYTE* p = Stored(pso, x, y)) std::memcpy(&v, p, BytesOf(pso));
        return v;
    }
    void Set(SURFOBJ* pso, LONG x, LONG y, ULONG v) {
        if (BYTE* p = Stored(pso, x, y)) std::memcpy(p, &v, BytesOf(pso));
    }
    // A distinct value for each pixel of a surface, with a seed.
    static ULONG Value(SURFOBJ* pso, LONG x, LONG y, ULONG seed) {
        const ULONG v = (static_cast<ULONG>(x) * 2654435761u) ^ (static_cast<ULONG>(y) * 40503u) ^ seed;
        return BytesOf(pso) == 4 ? v : v & 0xFFFFu;
    }
    // A top-down host bitmap of the surface's format over pv.
    SURFOBJ* Host(SURFOBJ* pso, LONG cx, LONG cy, void* pv) {
        HSURF h = EngCreateBitmap(SIZEL{cx, cy}, static_cast<LONG>(cx * BytesOf(pso)), pso->iBitmapFormat,
                                  BMF_TOPDOWN, pv);
        EXPECT_NE(h, nullptr);
        hosts_.push_back(h);
        return h != nullptr ? EngLockSurface(h) : nullptr;
    }

    SURFOBJ* primary_ = nullptr;
    std::vector<HSURF> hosts_;
};

struct Area {
    const char* name;
    LONG x, y, cx, cy;
};
// A window's rows on either screen and across the boundary.
const Area kAreas[] = {
    {"first screen", 700, 40, 200, 3},
    {"across the boundary", 924, 80, 200, 4},
    {"second screen", 1500, 300, 130, 2},
    {"boundary column pair", 1023, 700, 2, 1},
};

// Every pixel of the area reads back as stored, and a write of new values
// lands in the stored pixels of both screens.
TEST_F(SplitBuffersTest, RectanglesReachBothScreens) {
    struct Surface {
        const char* name;
        SURFOBJ* pso;
    };
    const Surface surfaces[] = {{"primary", primary_}, {"back", ppdev->psoBack}, {"depth", ppdev->psoZ}};
    for (const Surface& s : surfaces) {
        for (const Area& a : kAreas) {
            SCOPED_TRACE(std::string(s.name) + ", " + a.name);
            for (LONG j = 0; j < a.cy; ++j)
                for (LONG i = 0; i < a.cx; ++i) Set(s.pso, a.x + i, a.y + j, Value(s.pso, a.x + i, a.y + j, 1));

            std::vector<ULONG> words(static_cast<std::size_t>(a.cx * a.cy), 0xA5A5A5A5u);
            SURFOBJ* host = Host(s.pso, a.cx, a.cy, words.data());
            ASSERT_NE(host, nullptr);
            RECTL rcl{0, 0, a.cx, a.cy};
            POINTL ptl{a.x, a.y};
            ASSERT_TRUE(CopyBits(host, s.pso, nullptr, nullptr, &rcl, &ptl, 0));
            LONG bad = 0, xFirst = -1;
            for (LONG j = 0; j < a.cy; ++j)
                for (LONG i = 0; i < a.cx; ++i) {
                    ULONG v = 0;
                    std::memcpy(&v, static_cast<BYTE*>(host->pvScan0) + j * host->lDelta + i * BytesOf(s.pso),
                                BytesOf(s.pso));
                    if (v != Value(s.pso, a.x + i, a.y + j, 1) && bad++ == 0) xFirst = a.x + i;
                }
            EXPECT_EQ(bad, 0) << "read: first wrong at x " << xFirst;

            for (LONG j = 0; j < a.cy; ++j)
                for (LONG i = 0; i < a.cx; ++i) {
                    const ULONG v = Value(s.pso, a.x + i, a.y + j, 0x5EED);
                    std::memcpy(static_cast<BYTE*>(host->pvScan0) + j * host->lDelta + i * BytesOf(s.pso), &v,
                                BytesOf(s.pso));
                }
            RECTL rclDst{a.x, a.y, a.x + a.cx, a.y + a.cy};
            POINTL ptlZero{0, 0};
            ASSERT_TRUE(CopyBits(s.pso, host, nullptr, nullptr, &rclDst, &ptlZero, 0));
            Drain();
            bad = 0;
            for (LONG j = 0; j < a.cy; ++j)
                for (LONG i = 0; i < a.cx; ++i)
                    if (Get(s.pso, a.x + i, a.y + j) != Value(s.pso, a.x + i, a.y + j, 0x5EED) && bad++ == 0)
                        xFirst = a.x + i;
            EXPECT_EQ(bad, 0) << "write: first wrong at x " << xFirst;
            EngUnlockSurface(host);
        }
    }
    EXPECT_EQ(Errors(), "");
}

}  // namespace
