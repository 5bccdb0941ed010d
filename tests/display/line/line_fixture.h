// Shared helpers of the line tests: a device bitmap and its host twin, and
// strokes drawn by DrvStrokePath on the one and EngStrokePath on the other,
// so the board's pixels can be compared with the engine's software stroke.
#pragma once

#include "display/blt/blt_fixture.h"
#include "line/line.h"

namespace vnx::test {

struct PathDeleter {
    void operator()(PATHOBJ* p) const { vnx::engine::delete_path(p); }
};
using Path = std::unique_ptr<PATHOBJ, PathDeleter>;

inline Path MakePath(const std::vector<vnx::engine::SubPath>& s, ULONG cBatch = 0) {
    return Path(vnx::engine::create_path(s, cBatch));
}

// A line from (x0, y0) to (x1, y1), 28.4.
inline vnx::engine::SubPath Segment(LONG x0, LONG y0, LONG x1, LONG y1) {
    return vnx::engine::SubPath{{{x0, y0}, {x1, y1}}, false, false};
}

class LineTest : public BltTest {
  protected:
    // A device of `rasterizers` per board on `boards` boards, and twins.
    void BootLines(int rasterizers, ULONG bpp, int boards, LONG cx, LONG cy) {
        Boot(Machine(rasterizers, boards), Request(1024, 768, bpp));
        if (HasFatalFailure()) return;
        screen_ = EngLockSurface(device_->hsurf());
        ASSERT_NE(screen_, nullptr);
        auto t = Twins(cx, cy, 11);
        dev_ = t.first;
        host_ = t.second;
        ASSERT_NE(dev_, nullptr);
        cx_ = cx;
    }
    // The same stroke on both; the style state must come out the same too.
    void Both(PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, LINEATTRS* pla, MIX mix, const char* what) {
        LINEATTRS la1{}, la2{};
        if (pla != nullptr) la1 = la2 = *pla;
        EXPECT_TRUE(DrvStrokePath(dev_, ppo, pco, nullptr, pbo, nullptr, pla ? &la1 : nullptr, mix)) << what;
        ASSERT_TRUE(EngStrokePath(host_, ppo, pco, nullptr, pbo, nullptr, pla ? &la2 : nullptr, mix)) << what;
        if (pla != nullptr) {
            EXPECT_EQ(la1.elStyleState.l, la2.elStyleState.l) << what;
            *pla = la1;
        }
        const auto got = Board(dev_), want = HostAll(host_);
        ASSERT_EQ(got, want) << what << ": " << FirstDifference(got, want, cx_);
        EXPECT_EQ(Errors(), "");
    }
    // A pen colour of the depth.
    ULONG Pen() const {
        return ppdev->iBitmapFormat == BMF_16BPP ? 0x5A3C : ppdev->iBitmapFormat == BMF_8BPP ? 0xC5 : 0x35A7C3;
    }

    SURFOBJ* dev_ = nullptr;
    SURFOBJ* host_ = nullptr;
    LONG cx_ = 0;
};

}  // namespace vnx::test
