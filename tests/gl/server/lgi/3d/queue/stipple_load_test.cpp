// The polygon stipple load on the board: the validation of a stippled fill
// mode sends four cell loads into the context's scratch pixmap, and the
// board leaves the 32 x 32 pattern, aligned to the window, over the whole
// 128 x 128 pixmap (0xF0 where a fragment is kept, 0 where the stipple
// drops it), on 1, 2 and 4 rasterizers; a split board loads nothing.
#include <algorithm>
#include <cstring>

#include "3d/validate/validate.h"
#include "gl/server/lgi/board_fixture.h"
#include "context/buffers.h"
#include "lgi/seams.h"
#include "vornix_surface.h"

namespace lgi_test {
namespace {

constexpr ULONG kStippleCommand = 0x02205086u;
constexpr ULONG kSide = 128;

class StippleLoadTest : public LgiBoardTest, public ::testing::WithParamInterface<BoardModel> {
  protected:
    // A 128 x 128 32-bit pixmap in board memory as the context's scratch
    // pixmap, as the server makes it.
    void MakeScratch() {
        POINTL ptl{0, 0};
        hsurf_ = CreateDeviceBitmap(Pdev(), kSide, kSide, BMF_32BPP, &ptl, 0);
        ASSERT_NE(hsurf_, nullptr);
        pso_ = EngLockSurface(hsurf_);
        ASSERT_NE(pso_, nullptr);
        pdfb_ = reinterpret_cast<DSURF*>(pso_->dhsurf)->pdfb;
        record_.pid = pdfb_->pid;
        scratch_.pDeviceRecord = &record_;
        scratch_.memoryKind = GLBUFFER_MEMORY_DEVICE;
        scratch_.bitsPerPixel = 24;
        scratch_.bytesPerPixel = 4;
        scratch_.x = pdfb_->x;
        scratch_.y = pdfb_->y;
        scratch_.cx = kSide;
        scratch_.cy = kSide;
        ctx_->apScratchPixmap[0] = &scratch_;
    }
    void TearDown() override {
        if (ctx_ != nullptr) ctx_->apScratchPixmap[0] = nullptr;
        ctx_->buffers[1].pBuffer = nullptr;
        if (pso_ != nullptr) EngUnlockSurface(pso_);
        if (hsurf_ != nullptr) DeleteDeviceBitmap(hsurf_);
        LgiBoardTest::TearDown();
    }
    // The pixmap as the board holds it, rows top to bottom.
    std::vector<std::uint32_t> Pixmap() {
        return board_->read_pixels(0, static_cast<std::uint16_t>(pdfb_->pid), pdfb_->x, pdfb_->y, kSide, kSide);
    }

    HSURF hsurf_ = nullptr;
    SURFOBJ* pso_ = nullptr;
    const DFB* pdfb_ = nullptr;
    GLDeviceRecord record_{};
    GLBuffer scratch_{};
};

// GL's stipple bit of window pixel (x, y) (y up): row y & 31 (the first row
// the bottom one), column x & 31, the leftmost column the first byte's
// most significant bit.
bool Kept(const ULONG* rows, LONG x, LONG y) {
    const ULONG row = rows[y & 31];
    const ULONG byte = (row >> (8 * ((x & 31) >> 3))) & 0xFF;
    return ((byte >> (7 - (x & 7))) & 1) != 0;
}

TEST_P(StippleLoadTest, LeavesTheWindowsPatternOverThePixmap) {
    Boot(GetParam());
    MakeScratch();
    // Windows whose origin and bottom edge lie off the 32-pixel grid (and
    // one on it).
    struct Window {
        LONG x, y, cy;
    } const windows[] = {{100, 80, 192}, {0, 0, 64}, {37, 5, 100}};
    ULONG rows[32];
    for (ULONG r = 0; r < 32; ++r) rows[r] = (0x9E3779B9u * (r + 1)) ^ (r << 3) ^ (r == 0 ? 0x80u : 0u);
    for (const Window& w : windows) {
        SCOPED_TRACE(testing::Message() << "window at " << w.x << "," << w.y << ", height " << w.cy);
        GLBuffer d{};
        d.bitsPerPixel = 32;
        d.x = w.x;
        d.y = w.y;
        d.cx = 256;
        d.cy = w.cy;
        ctx_->buffers[1].pBuffer = &d;
        N_SetStateBlockAttrWord(163, 4);
        N_SetStateBlockAttrWord(91, 3);  // fill with the stipple
        N_SetStateBlockAttr(N_ATTR_POLYGON_STIPPLE, rows);
        // (The stipple's own dirty bit loads it: the same rows for a new
        // window are set again by nothing else.)
        _NValidate(ctx_, ctx_->dirty | N_DIRTY_POLYGON);
        if (GetParam().boards > 1) {
            // A split board's second screen cannot reach the pixmap's
            // off-screen place: nothing is loaded, nothing drawn (the
            // stippled fills take the software stages).
            EXPECT_EQ(ctx_->val.stippleReady, 0u);
            EXPECT_EQ(ctx_->clipControl, 0u);
            for (const auto& packets : Drain())
                for (const auto& p : packets) EXPECT_NE(p.command, kStippleCommand);
            ctx_->buffers[1].pBuffer = nullptr;
            continue;
        }
        EXPECT_EQ(ctx_->val.stippleReady, 1u);
        EXPECT_EQ(ctx_->clipControl, 1u) << "the render programs test the loaded pattern";
        // Four loads, each reaching the rasterizers whose tiles the
        // pixmap covers.
        ULONG loads = 0;
        for (const auto& packets : Drain())
            for (const auto& p : packets)
                if (p.command == kStippleCommand) ++loads;
        EXPECT_GE(loads, 4u);
        EXPECT_EQ(board_->summary(0).unexecuted, 0u);
        // The pixel at (X, Y) of the pixmap's space stands for screen pixel
        // (X, Y) (and every 32 pixels on): window pixel (X - x, y + cy - 1
        // - Y). (This pixmap lies on the 32-pixel grid: the load fills all
        // of it.)
        ASSERT_EQ(pdfb_->x % 32, 0);
        ASSERT_EQ(pdfb_->y % 32, 0);
        auto want = [&](LONG X, LONG Y) { return Kept(rows, X - w.x + 64, w.y + w.cy - 1 - Y + 64) ? 0xF0u : 0u; };
        const std::vector<std::uint32_t> px = Pixmap();
        ASSERT_EQ(px.size(), kSide * kSide);
        int wrong = 0;
        for (LONG Y = 0; Y < static_cast<LONG>(kSide); ++Y) {
            for (LONG X = 0; X < static_cast<LONG>(kSide); ++X) {
                const std::uint32_t v = px[Y * kSide + X], ok = want(pdfb_->x + X, pdfb_->y + Y);
                if (v != ok && ++wrong <= 5) ADD_FAILURE() << "pixmap (" << X << ", " << Y << "): " << v << ", not " << ok;
            }
        }
        EXPECT_EQ(wrong, 0);
        // The load goes through the stipple tile: every rasterizer keeps the
        // tile's square, whichever screen tiles it owns.
        const ULONG tile = _NStippleTilePid(&scratch_, static_cast<ULONG>(pdfb_->pid));
        const LONG ox = pdfb_->x + (((static_cast<LONG>(tile >> 9) & 3) * 32 - pdfb_->x) & 127);
        const LONG oy = pdfb_->y + (((static_cast<LONG>(tile >> 11) & 3) * 32 - pdfb_->y) & 127);
        for (int r = 0; r < board_->rasterizers(); ++r) {
            wrong = 0;
            for (LONG Y = oy; Y < oy + 32; ++Y) {
                for (LONG X = ox; X < ox + 32; ++X) {
                    const std::uint8_t* p = board_->pixel(r, static_cast<std::uint16_t>(pdfb_->pid), X, Y);
                    std::uint32_t v = 0xDEADu;
                    if (p != nullptr) std::memcpy(&v, p, sizeof v);
                    if (v != want(X, Y) && ++wrong <= 3)
                        ADD_FAILURE() << "rasterizer " << r << ", square pixel (" << X << ", " << Y << "): " << v;
                }
            }
            EXPECT_EQ(wrong, 0) << "rasterizer " << r;
        }
        ctx_->buffers[1].pBuffer = nullptr;
    }
}

// A window that moves (its clip list changes) moves the pattern's
// alignment: the next validation loads it again at the new one, and only
// when the alignment changed.
TEST_P(StippleLoadTest, FollowsTheWindowWhenItMoves) {
    Boot(GetParam());
    if (GetParam().boards > 1) GTEST_SKIP() << "a split board loads no stipple";
    MakeScratch();
    ULONG rows[32];
    for (ULONG r = 0; r < 32; ++r) rows[r] = (0x9E3779B9u * (r + 7)) ^ (r << 5) ^ (r == 3 ? 0x8000u : 0u);
    GLBuffer d{};
    d.bitsPerPixel = 32;
    d.x = 100;
    d.y = 80;
    d.cx = 256;
    d.cy = 192;
    ctx_->buffers[1].pBuffer = &d;
    N_SetStateBlockAttrWord(163, 4);
    N_SetStateBlockAttrWord(91, 3);
    N_SetStateBlockAttr(N_ATTR_POLYGON_STIPPLE, rows);
    _NValidate(ctx_, ctx_->dirty | N_DIRTY_POLYGON);
    ASSERT_EQ(ctx_->val.stippleReady, 1u);
    Drain();
    auto loads = [&] {
        ULONG n = 0;
        for (const auto& packets : Drain())
            for (const auto& p : packets)
                if (p.command == kStippleCommand) ++n;
        return n;
    };
    struct Move {
        LONG x, y, cy;
        bool reloads;
    } const moves[] = {
        {132, 112, 192, false},  // 32 pixels on: the same alignment
        {137, 9, 100, true},
        {137, 9, 100, false},    // unchanged
        {64, 0, 64, true},
    };
    for (const Move& m : moves) {
        SCOPED_TRACE(testing::Message() << "window at " << m.x << "," << m.y << ", height " << m.cy);
        d.x = m.x;
        d.y = m.y;
        d.cy = m.cy;
        _NValidate(ctx_, ctx_->dirty | N_DIRTY_CLIP_LIST);
        EXPECT_EQ(loads() != 0, m.reloads);
        const std::vector<std::uint32_t> px = Pixmap();
        int wrong = 0;
        for (LONG Y = 0; Y < static_cast<LONG>(kSide); ++Y)
            for (LONG X = 0; X < static_cast<LONG>(kSide); ++X) {
                const LONG sx = pdfb_->x + X, sy = pdfb_->y + Y;
                const std::uint32_t want = Kept(rows, sx - m.x + 256, m.y + m.cy - 1 - sy + 256) ? 0xF0u : 0u;
                wrong += px[Y * kSide + X] != want ? 1 : 0;
            }
        EXPECT_EQ(wrong, 0);
    }
    ctx_->buffers[1].pBuffer = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Boards, StippleLoadTest, ::testing::ValuesIn(kModels), BoardModelName);

}  // namespace
}  // namespace lgi_test
