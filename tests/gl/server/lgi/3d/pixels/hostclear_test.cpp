// The software clear of host-memory buffers: clip rectangles, exclusive
// edges, one-, two- and four-byte pixels, the zero fast path.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"
#include "lgi/seams.h"

namespace {

using lgi_test::LgiTest;

constexpr ULONG kFill = 0xEE;

// A host buffer of cx x cy pixels of cb bytes, with a guard row after it.
struct HostBuffer {
    HostBuffer(ULONG cb, LONG cx, LONG cy) : mem(std::size_t(cb) * cx * (cy + 1) + 4, kFill) {
        desc.memoryKind = GLBUFFER_MEMORY_HOST;
        desc.bitsPerPixel = cb * 8;
        desc.cx = cx;
        desc.cy = cy;
        slot.pBuffer = &desc;
        slot.pjBase = mem.data();
        slot.bytesPerPixel = cb;
        slot.pitch = cb * static_cast<ULONG>(cx);
    }
    // The pixel (x, y) as an integer of the buffer's width.
    ULONG At(LONG x, LONG y) const {
        ULONG v = 0;
        std::memcpy(&v, slot.pjBase + std::size_t(y) * slot.pitch + std::size_t(x) * slot.bytesPerPixel,
                    slot.bytesPerPixel);
        return v;
    }
    ULONG Untouched() const { return slot.bytesPerPixel == 1 ? 0xEE : slot.bytesPerPixel == 2 ? 0xEEEE : 0xEEEEEEEE; }
    GLBuffer desc{};
    N_BoundBuffer slot{};
    std::vector<BYTE> mem;
};

void Clip(std::initializer_list<std::array<ULONG, 4>> rects) {
    std::vector<ULONG> packed;
    for (const auto& r : rects) {
        packed.push_back((r[1] << 16) | r[0]);
        packed.push_back((r[3] << 16) | r[2]);
    }
    N_BindClipList(static_cast<LONG>(rects.size()), packed.data());
}

TEST_F(LgiTest, HostClearFillsEachClipPartAndNothingElse) {
    // Two clip rectangles that both meet the clear rectangle; the far edges
    // exclusive by attribute 76; pixels of 1, 2 and 4 bytes.
    *pulAttr(ctx_, 76) = 1;
    Clip({{0, 0, 4, 8}, {6, 2, 12, 5}});
    for (ULONG cb : {1u, 2u, 4u}) {
        HostBuffer b(cb, 12, 8);
        _NClearHostRect(&b.slot, 2, 1, 10, 7, 0x12345678);
        const ULONG want = cb == 1 ? 0x78 : cb == 2 ? 0x5678 : 0x12345678;
        for (LONG y = 0; y < 9; ++y)
            for (LONG x = 0; x < 12; ++x) {
                if (y == 8) {
                    ASSERT_EQ(b.At(x, y), b.Untouched()) << "guard row, cb " << cb;
                    continue;
                }
                const bool bIn = (x >= 2 && x < 4 && y >= 1 && y < 7) || (x >= 6 && x < 10 && y >= 2 && y < 5);
                EXPECT_EQ(b.At(x, y), bIn ? want : b.Untouched()) << "cb " << cb << " at " << x << "," << y;
            }
    }
}

TEST_F(LgiTest, HostClearEdgesByAttribute76) {
    Clip({{0, 0, 20, 20}});
    for (ULONG exclusive : {1u, 0u}) {
        *pulAttr(ctx_, 76) = exclusive;
        HostBuffer b(4, 20, 20);
        _NClearHostRect(&b.slot, 0, 0, 10, 10, 7);
        EXPECT_EQ(b.At(9, 9), 7u);
        EXPECT_EQ(b.At(10, 10), exclusive ? b.Untouched() : 7u);
        EXPECT_EQ(b.At(11, 11), b.Untouched());
    }
    // An empty rectangle clears nothing.
    *pulAttr(ctx_, 76) = 1;
    HostBuffer b(4, 20, 20);
    _NClearHostRect(&b.slot, 5, 5, 5, 9, 7);
    EXPECT_EQ(b.At(5, 5), b.Untouched());
}

TEST_F(LgiTest, HostClearZeroOfWholeRowsAndClipsPastTheBuffer) {
    *pulAttr(ctx_, 76) = 1;
    Clip({{0, 0, 16, 6}});
    HostBuffer b(4, 16, 6);
    _NClearHostRect(&b.slot, 0, 2, 16, 5, 0);
    for (LONG x = 0; x < 16; ++x) {
        EXPECT_EQ(b.At(x, 1), b.Untouched());
        EXPECT_EQ(b.At(x, 2), 0u);
        EXPECT_EQ(b.At(x, 4), 0u);
        EXPECT_EQ(b.At(x, 5), b.Untouched());
    }
    // Zero under two rectangles of whole rows each (a band of the window
    // and another below it, with a covered band between): both cleared,
    // the covered rows kept.
    Clip({{0, 0, 16, 2}, {0, 4, 16, 6}});
    HostBuffer two(4, 16, 6);
    _NClearHostRect(&two.slot, 0, 0, 16, 6, 0);
    for (LONG x = 0; x < 16; ++x) {
        for (LONG y : {0, 1, 4, 5}) EXPECT_EQ(two.At(x, y), 0u) << x << "," << y;
        for (LONG y : {2, 3}) EXPECT_EQ(two.At(x, y), two.Untouched()) << x << "," << y;
    }
    // A clip list and rectangle larger than the buffer stay inside it.
    Clip({{0, 0, 4000, 4000}});
    for (ULONG cb : {1u, 2u, 4u}) {
        HostBuffer big(cb, 8, 4);
        _NClearHostRect(&big.slot, -5, -5, 3000, 3000, 0x01010101);
        EXPECT_EQ(big.At(7, 3), cb == 1 ? 1u : cb == 2 ? 0x0101u : 0x01010101u);
        for (LONG x = 0; x < 8; ++x) EXPECT_EQ(big.At(x, 4), big.Untouched()) << "guard row, cb " << cb;
    }
}

TEST_F(LgiTest, HostClearOfAnUnalignedFourByteBufferFillsWholePixels) {
    *pulAttr(ctx_, 76) = 1;
    Clip({{0, 0, 8, 2}});
    HostBuffer b(4, 8, 2);
    b.slot.pjBase = b.mem.data() + 1;
    b.slot.pitch = 32;
    b.desc.cx = 7;  // the shifted base leaves room for 7 pixels a row
    _NClearHostRect(&b.slot, 0, 0, 7, 2, 0xA1B2C3D4);
    EXPECT_EQ(b.At(0, 0), 0xA1B2C3D4u);
    EXPECT_EQ(b.At(6, 1), 0xA1B2C3D4u);
    EXPECT_EQ(b.mem[0], kFill);
}

// A write mask that leaves some bits alone: every pixel of the clip parts
// keeps those bits and takes the value's others; a mask keeping every bit
// writes nothing, the zero fast path included.
TEST_F(LgiTest, HostClearKeepsTheBitsTheMaskLeavesOff) {
    *pulAttr(ctx_, 76) = 1;
    Clip({{0, 0, 3, 4}, {5, 0, 8, 4}});
    struct Case {
        ULONG cb, value, keep;
    };
    for (const Case& c : {Case{1, 0x0E, 0xFA}, Case{1, 0x00, 0x0F}, Case{2, 0x1234, 0xFF00}, Case{4, 0, 0xFFFF0000},
                          Case{4, 0x12345678, 0x0F0F0F0F}, Case{1, 0x55, 0xFF}, Case{4, 0, 0xFFFFFFFF}}) {
        SCOPED_TRACE(testing::Message() << "cb " << c.cb << " keep " << std::hex << c.keep);
        HostBuffer b(c.cb, 8, 4);
        _NClearHostRectMasked(&b.slot, 0, 0, 8, 4, c.value, c.keep);
        const ULONG full = c.cb == 4 ? 0xFFFFFFFFu : (1u << (8 * c.cb)) - 1;
        const ULONG want = ((b.Untouched() & c.keep) | (c.value & ~c.keep)) & full;
        for (LONG y = 0; y < 5; ++y)
            for (LONG x = 0; x < 8; ++x) {
                const bool bIn = y < 4 && (x < 3 || x >= 5);
                EXPECT_EQ(b.At(x, y), bIn ? want : b.Untouched()) << x << "," << y;
            }
    }
}

}  // namespace
