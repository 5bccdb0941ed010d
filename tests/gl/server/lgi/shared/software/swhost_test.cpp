// Host-memory stencil and alpha buffers of a window away from the screen's
// corner: the software stages reach each pixel by the buffer's own origin,
// spans at the buffer's edges keep to its rows and columns, and nothing
// lands past the buffer's memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"
#include "lgi/seams.h"
#include "lgi/shared/software/swfrag.h"

namespace {

using lgi_test::LgiTest;

constexpr BYTE kFill = 0xEE;
// The window: 13 x 7 pixels at an odd place on the screen.
constexpr LONG kX = 517, kY = 301, kCx = 13, kCy = 7;

// A host buffer of the window's size with guard bytes all round, bound to
// the current context.
struct HostBuffer {
    HostBuffer(ULONG kind, ULONG bits) : mem(kGuard + std::size_t(Cb(bits)) * kCx * kCy + kGuard, kFill) {
        desc.memoryKind = GLBUFFER_MEMORY_HOST;
        desc.kind = kind;
        desc.bitsPerPixel = bits;
        desc.bytesPerPixel = Cb(bits);
        desc.x = kX;
        desc.y = kY;
        desc.cx = kCx;
        desc.cy = kCy;
        desc.stride = Cb(bits) * kCx;
        desc.pvPixels = mem.data() + kGuard;
    }
    static ULONG Cb(ULONG bits) { return bits == 24 ? 4 : bits / 8; }
    // The low byte of the buffer's pixel (bx, by), counted from its corner.
    BYTE At(LONG bx, LONG by) const { return mem[kGuard + (std::size_t(by) * kCx + std::size_t(bx)) * desc.bytesPerPixel]; }
    bool GuardsKept() const {
        for (std::size_t i = 0; i < kGuard; ++i)
            if (mem[i] != kFill || mem[mem.size() - 1 - i] != kFill) return false;
        return true;
    }
    static constexpr std::size_t kGuard = 64;
    GLBuffer desc{};
    std::vector<BYTE> mem;
};

class SwHostTest : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        sp_.pX = x_;
        sp_.pY = y_;
        sp_.pMask = mask_;
        sp_.pNewStencil = stencil_;
        sp_.pDstStencil = dstStencil_;
        sp_.pAlpha = alpha_;
        sp_.pDstAlpha = dstAlpha_;
    }
    void Bind(HostBuffer& b) {
        GLBuffer* p = &b.desc;
        N_BindBuffers(1, &p);
    }
    // A run of n fragments from screen (x, y), fragment i carrying 0x40 + i.
    void Run(LONG x, LONG y, LONG n) {
        sp_.count = n;
        x_[0] = x;
        y_[0] = y;
        for (LONG i = 0; i < n; ++i) {
            mask_[i] = N_FRAG_PASSED;
            stencil_[i] = static_cast<BYTE>(0x40 + i);
            alpha_[i] = static_cast<float>(0x40 + i) / 255.0f + 0.001f;
        }
    }
    N_FragSpan sp_{};
    LONG x_[32] = {}, y_[32] = {};
    BYTE mask_[36] = {}, stencil_[32] = {}, dstStencil_[32] = {};
    float alpha_[32] = {}, dstAlpha_[32] = {};
};

// Runs of the stencil write across every edge of the buffer: each value at
// its pixel counted from the window's corner, the rest dropped.
struct RunCase {
    const char* what;
    LONG x, y, n;
    LONG bx0, by, cWritten;  // the first buffer pixel written, and how many
    LONG iFirst;             // the fragment that lands there
};
const RunCase kRuns[] = {
    {"inside", kX + 3, kY + 2, 4, 3, 2, 4, 0},
    {"over the left edge", kX - 2, kY + 3, 4, 0, 3, 2, 2},
    {"over the right edge", kX + 10, kY + 1, 6, 10, 1, 3, 0},
    {"the whole last row", kX - 1, kY + kCy - 1, kCx + 2, 0, kCy - 1, kCx, 1},
    {"the row above", kX, kY - 1, 5, 0, 0, 0, 0},
    {"the row below", kX, kY + kCy, 5, 0, 0, 0, 0},
    {"right of the window", kX + kCx, kY, 3, 0, 0, 0, 0},
    {"at the screen's corner", 0, 0, 20, 0, 0, 0, 0},
};

TEST_F(SwHostTest, StencilRunsLandByTheBuffersOrigin) {
    for (const RunCase& c : kRuns) {
        SCOPED_TRACE(c.what);
        HostBuffer b(GLBUFFER_STENCIL, 24);
        Bind(b);
        Run(c.x, c.y, c.n);
        _NWriteStencilHost(nullptr, &sp_, 1);
        for (LONG by = 0; by < kCy; ++by)
            for (LONG bx = 0; bx < kCx; ++bx) {
                const bool bWritten = by == c.by && bx >= c.bx0 && bx < c.bx0 + c.cWritten;
                const BYTE want = bWritten ? static_cast<BYTE>(0x40 + c.iFirst + (bx - c.bx0)) : kFill;
                ASSERT_EQ(b.At(bx, by), want) << "buffer pixel " << bx << ", " << by;
            }
        EXPECT_TRUE(b.GuardsKept());
    }
}

// The fragment-list forms of the write and the read-back: the buffer's four
// corners and the pixels just outside them.
TEST_F(SwHostTest, StencilFragmentsWriteAndReadAtTheirOwnPixels) {
    HostBuffer b(GLBUFFER_STENCIL, 24);
    Bind(b);
    const LONG pts[][2] = {{kX, kY},           {kX + kCx - 1, kY},     {kX, kY + kCy - 1}, {kX + kCx - 1, kY + kCy - 1},
                           {kX - 1, kY},       {kX + kCx, kY + kCy - 1}, {kX, kY - 1},     {kX + kCx - 1, kY + kCy}};
    const LONG n = 8;
    Run(0, 0, n);
    for (LONG i = 0; i < n; ++i) x_[i] = pts[i][0], y_[i] = pts[i][1];
    _NWriteStencilHost(nullptr, &sp_, 0);
    EXPECT_EQ(b.At(0, 0), 0x40);
    EXPECT_EQ(b.At(kCx - 1, 0), 0x41);
    EXPECT_EQ(b.At(0, kCy - 1), 0x42);
    EXPECT_EQ(b.At(kCx - 1, kCy - 1), 0x43);
    EXPECT_TRUE(b.GuardsKept()) << "outside the corners: dropped";
    _NReadDstStencil(&sp_);
    const BYTE want[n] = {0x40, 0x41, 0x42, 0x43, 0, 0, 0, 0};
    for (LONG i = 0; i < n; ++i) EXPECT_EQ(dstStencil_[i], want[i]) << "fragment " << i;
    // The span rasteriser's row read: the last row from left of the window.
    ULONG row[kCx + 2] = {};
    _NSwReadRow(ctx_->buffers[5], kX - 1, kY + kCy - 1, kCx + 2, row);
    EXPECT_EQ(row[0], 0u);
    EXPECT_EQ(row[1] & 0xFFu, 0x42u);
    EXPECT_EQ(row[kCx] & 0xFFu, 0x43u);
    EXPECT_EQ(row[kCx + 1], 0u);
}

// The colour write stores the written fragments' alpha into a host alpha
// buffer: by its origin, inside the clip list, under the alpha write mask;
// the destination alpha reads it back from the same pixels.
TEST_F(SwHostTest, AlphaOfWrittenFragmentsGoesToTheHostAlphaBuffer) {
    HostBuffer b(GLBUFFER_ALPHA, 8);
    Bind(b);
    ctx_->enableWord = 0x1 | 0x8 | 0x80 | 0x200;
    ctx_->val.cDrawBuffers = 1;
    ctx_->val.alphaSlots[0] = 2;
    ctx_->val.alphaMask = 0xFF;
    // One clip rectangle (screen pixels) leaving out the window's left column.
    LONG rect[4] = {kX + 1, 0, 4000, 4000};
    ULONG* const pSavedClip = ctx_->pulDecodedClip;
    const ULONG cSaved = ctx_->cClipRects;
    ctx_->pulDecodedClip = reinterpret_cast<ULONG*>(rect);
    ctx_->cClipRects = 1;
    Run(kX - 1, kY + 4, kCx + 2);
    mask_[5] = N_FRAG_KILLED;
    _NWriteAlphaHost(ctx_, &sp_, 1);
    for (LONG bx = 0; bx < kCx; ++bx) {
        const bool bWritten = bx >= 1 && bx != 4;
        EXPECT_EQ(b.At(bx, 4), bWritten ? 0x41 + bx : kFill) << "column " << bx;
    }
    EXPECT_EQ(b.At(0, 3), kFill);
    EXPECT_EQ(b.At(0, 5), kFill);
    EXPECT_TRUE(b.GuardsKept());
    // The write mask off: nothing is stored.
    ctx_->val.alphaMask = 0;
    Run(kX, kY, 3);
    _NWriteAlphaHost(ctx_, &sp_, 1);
    EXPECT_EQ(b.At(1, 0), kFill);
    // Read back per fragment.
    x_[0] = kX + 6, y_[0] = kY + 4;
    x_[1] = kX + 6, y_[1] = kY + 3;
    sp_.count = 2;
    ctx_->val.cDrawBuffers = 1;
    _NReadDstAlpha(&sp_);
    EXPECT_NEAR(dstAlpha_[0], (0x41 + 6) / 255.0f, 1e-6f);
    EXPECT_NEAR(dstAlpha_[1], kFill / 255.0f, 1e-6f);
    ctx_->pulDecodedClip = pSavedClip;
    ctx_->cClipRects = cSaved;
}

// The software clear: the rectangle counts from the window's corner, the
// clip list is in screen pixels; the part both cover is filled in place.
TEST_F(SwHostTest, ClearMeetsTheClipListInScreenPixels) {
    *pulAttr(ctx_, 76) = 1;
    const ULONG packed[2] = {((kY + 2) << 16) | (kX + 3), (4000u << 16) | 4000u};
    N_BindClipList(1, packed);
    for (ULONG bits : {8u, 24u}) {
        SCOPED_TRACE(bits);
        HostBuffer b(GLBUFFER_STENCIL, bits);
        Bind(b);
        _NClearHostRect(&ctx_->buffers[5], 0, 0, kCx + 5, kCy + 5, 0x21);
        for (LONG by = 0; by < kCy; ++by)
            for (LONG bx = 0; bx < kCx; ++bx)
                ASSERT_EQ(b.At(bx, by), bx >= 3 && by >= 2 ? 0x21 : kFill) << "buffer pixel " << bx << ", " << by;
        EXPECT_TRUE(b.GuardsKept());
    }
}

}  // namespace
