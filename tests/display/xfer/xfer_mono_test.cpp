// 1-bit expansion: the cells and their mask rows as the board receives them
// (any source offset), the programs of the two colours, packets of at most
// 128 cells, and the pixels the board draws with foreground, background and
// transparent backgrounds.
#include <gtest/gtest.h>

#include <set>

#include "display/xfer/xfer_fixture.h"
#include "rop/rop.h"

namespace {

using vnx::board::DecodedPacket;
using vnx::test::XferTest;

class XferMono : public XferTest {
  protected:
    // A 1-bit bitmap whose bit (x, y) is Bit(x, y).
    SURFOBJ* Mono(LONG cx, LONG cy, bool bBottomUp = false) {
        SURFOBJ* pso = HostBitmap(cx, cy, BMF_1BPP, bBottomUp);
        for (LONG y = 0; y < cy; ++y)
            for (LONG x = 0; x < cx; ++x)
                if (Bit(x, y)) Row(pso, y)[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
        return pso;
    }
    static bool Bit(LONG x, LONG y) { return ((x * 7 + y * 13) % 5) < 2 || x == y; }

    // The drawing packets every rasterizer decoded.
    std::vector<DecodedPacket> Packets() {
        std::vector<DecodedPacket> all;
        for (ULONG r = 0; r < Queues(); ++r)
            for (auto& p : Take(static_cast<int>(r))) all.push_back(std::move(p));
        return all;
    }
};

// The mask bit of board pixel (x, y) in a cell's rows.
bool CellBit(const std::vector<ULONG>& words, LONG x, LONG y) {
    const ULONG w = words[(y & 15) / 2];
    const ULONG row = (y & 1) ? (w & 0xFFFF) : (w >> 16);
    return (row >> (15 - (x & 15))) & 1u;
}

TEST_F(XferMono, CellsCarryTheBitmapsBitsAtAnyOffset) {
    BootXfer(1, 32);
    const POINTL origin{0, 0};
    SURFOBJ* dev = DeviceBitmap(64, 48, &origin);
    SURFOBJ* mono = Mono(40, 30);
    ULONG xlate[2] = {0x222222, 0x111111};
    // Source-to-destination offset 2 in x (not a multiple of 16), 2 in y.
    RECTL rcl{5, 3, 37, 29};
    POINTL ptl{3, 1};
    EXPECT_TRUE(bExpandMono(dev, nullptr, 0xF0, 0xF0, mono, &rcl, &ptl, xlate, 0));
    vFlushDevice(dev);

    std::vector<DecodedPacket> packets = Packets();
    ASSERT_EQ(packets.size(), 1u);
    const DecodedPacket& p = packets[0];
    // Two instructions: the foreground colour where the bit is set, the
    // background where it is clear.
    EXPECT_EQ(p.command, 2u << 20 | XFER_CMD_MONO);
    EXPECT_EQ(p.instructions, (std::vector<ULONG>{0x12000340u | REG_COLOUR << 17 | OP_COPY,
                                                  0x1A000340u | REG_BACK << 17 | OP_COPY}));
    EXPECT_EQ(p.pid(0), Pid(dev));
    EXPECT_EQ(p.constants, (std::vector<ULONG>{0x111111, 0x222222}));
    // Cells of the 16-pixel grid: x 0, 16, 32 and y 0, 16 -> six.
    ASSERT_EQ(p.primitives, 6u);
    LONG covered = 0;
    for (ULONG i = 0; i < p.primitives; ++i) {
        const std::vector<ULONG> words = p.primitive(i);
        ASSERT_EQ(words.size(), 12u);
        const std::vector<ULONG> mask(words.begin(), words.begin() + 8);
        const LONG x0 = (words[8] & 0xFFFF) >> 4, y0 = words[8] >> 20;
        const LONG x1 = (words[10] & 0xFFFF) >> 4, y1 = words[10] >> 20;
        EXPECT_EQ(x0 & ~15, (x1 - 1) & ~15);
        EXPECT_EQ(y0 & ~15, (y1 - 1) & ~15);
        covered += (x1 - x0) * (y1 - y0);
        for (LONG y = y0 & ~15; y < (y0 & ~15) + 16; ++y) {
            for (LONG x = x0 & ~15; x < (x0 & ~15) + 16; ++x) {
                const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
                const bool want = inside && Bit(x - 5 + 3, y - 3 + 1);
                ASSERT_EQ(CellBit(mask, x, y), want) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(covered, 32 * 26);
}

TEST_F(XferMono, PacketsHoldAtMost128Cells) {
    BootXfer(4, 8);
    SURFOBJ* dev = DeviceBitmap(320, 120);
    SURFOBJ* mono = Mono(320, 120);
    ULONG xlate[2] = {1, 2};
    RECTL rcl{0, 0, 320, 120};
    POINTL ptl{0, 0};
    EXPECT_TRUE(bExpandMono(dev, nullptr, 0xF0, 0xAA, mono, &rcl, &ptl, xlate, 0));
    vFlushDevice(dev);
    // A transparent background: the foreground program alone. Every
    // rasterizer sees both packets (their first cells carry the prefix to
    // every queue); together they hold every cell.
    const DFB* pdfb = Dfb(dev);
    const ULONG cx = ((pdfb->x + 320 + 15) / 16) - pdfb->x / 16;
    const ULONG cy = ((pdfb->y + 120 + 15) / 16) - pdfb->y / 16;
    const ULONG packets = (cx * cy + 127) / 128;
    ASSERT_EQ(packets, 2u);
    std::set<ULONG> cells;
    for (ULONG r = 0; r < Queues(); ++r) {
        const std::vector<DecodedPacket> mine = Take(static_cast<int>(r));
        EXPECT_EQ(mine.size(), packets) << r;
        for (const DecodedPacket& p : mine) {
            EXPECT_EQ(p.command, 1u << 20 | XFER_CMD_MONO);
            EXPECT_LE(p.primitives, 128u);
            for (ULONG i = 0; i < p.primitives; ++i) cells.insert(p.vertex(i, 0));
        }
    }
    EXPECT_EQ(cells.size(), cx * cy);
}

TEST_F(XferMono, BothTransparentDrawsNothing) {
    BootXfer(1, 16);
    SURFOBJ* dev = DeviceBitmap(32, 32);
    SURFOBJ* mono = Mono(32, 32);
    ULONG xlate[2] = {1, 2};
    RECTL rcl{0, 0, 32, 32};
    POINTL ptl{0, 0};
    EXPECT_TRUE(bExpandMono(dev, nullptr, 0xAA, 0xAA, mono, &rcl, &ptl, xlate, 0));
    vFlushDevice(dev);
    EXPECT_TRUE(Packets().empty());
}

// --- what the board draws -------------------------------------------------------

class XferMonoPixels : public XferMono, public testing::WithParamInterface<ULONG> {
  protected:
    void SetUp() override {
        XferMono::SetUp();
        BootXfer(4, GetParam());
        mask_ = GetParam() == 8 ? 0xFF : GetParam() == 16 ? 0x7FFF : 0xFFFFFF;
    }
    // Expands the mono bitmap at *pptl into rcl and checks every pixel of
    // dev: pick(bit, old) inside, old outside.
    template <typename Pick>
    void ExpandAndCheck(SURFOBJ* dev, SURFOBJ* mono, RECTL rcl, POINTL ptl, ROP4 fg, ROP4 bg,
                        ULONG* xlate, ULONG iMode, LONG yEye, Pick pick) {
        const LONG cx = reinterpret_cast<DSURF*>(dev->dhsurf)->cx;
        const LONG cy = reinterpret_cast<DSURF*>(dev->dhsurf)->cy;
        const std::vector<ULONG> before = BoardPixels(dev, 0, 0, cx, cy);
        EXPECT_TRUE(bExpandMonoClipped(dev, nullptr, fg, bg, mono, &rcl, &ptl, xlate, iMode));
        vFlushDevice(dev);
        const std::vector<ULONG> after = BoardPixels(dev, 0, 0, cx, cy);
        for (LONG y = 0; y < cy; ++y) {
            for (LONG x = 0; x < cx; ++x) {
                const LONG ry = y >= yEye && yEye > 0 ? y - yEye : y;
                // Inside the rectangle and the bitmap (the part past the
                // bitmap is not drawn).
                const LONG sx = ptl.x + x - rcl.left, sy = ptl.y + ry - rcl.top;
                const bool inside = x >= rcl.left && x < rcl.right && ry >= rcl.top &&
                                    ry < rcl.bottom && sx < mono->sizlBitmap.cx &&
                                    sy < mono->sizlBitmap.cy &&
                                    (yEye == 0 || iMode == 1 || y >= yEye);
                const ULONG old = before[y * cx + x];
                const ULONG want = inside ? pick(Bit(sx, sy), old) : old;
                ASSERT_EQ(after[y * cx + x], want) << x << "," << y;
            }
        }
        EXPECT_EQ(Errors(), "");
    }
    ULONG mask_ = 0;
};

TEST_P(XferMonoPixels, ForegroundAndBackground) {
    SURFOBJ* dev = DeviceBitmap(200, 70);
    RandomizeBoard(dev, 91);
    SURFOBJ* mono = Mono(180, 60, true);
    ULONG xlate[2] = {0x12345 & mask_, 0x6789A & mask_};
    ExpandAndCheck(dev, mono, RECTL{9, 4, 190, 66}, POINTL{3, 0}, 0xF0, 0xF0, xlate, 0, 0,
                   [&](bool bit, ULONG) { return bit ? xlate[1] : xlate[0]; });
}

TEST_P(XferMonoPixels, TransparentBackground) {
    SURFOBJ* dev = DeviceBitmap(100, 40);
    RandomizeBoard(dev, 92);
    SURFOBJ* mono = Mono(100, 40);
    ULONG xlate[2] = {0, 0x5555 & mask_};
    ExpandAndCheck(dev, mono, RECTL{1, 2, 99, 38}, POINTL{17, 1}, 0xF0, 0xAA, xlate, 0, 0,
                   [&](bool bit, ULONG old) { return bit ? xlate[1] : old; });
}

TEST_P(XferMonoPixels, RopsThatReadTheDestination) {
    // Foreground P XOR D, background NOT D.
    SURFOBJ* dev = DeviceBitmap(64, 32);
    RandomizeBoard(dev, 93);
    SURFOBJ* mono = Mono(64, 32);
    ULONG xlate[2] = {0, 0x0F0F0F & mask_};
    const ULONG pixelMask = GetParam() == 8 ? 0xFF : GetParam() == 16 ? 0xFFFF : 0xFFFFFFFF;
    ExpandAndCheck(dev, mono, RECTL{0, 0, 64, 32}, POINTL{0, 0}, 0x5A, 0x55, xlate, 0, 0,
                   [&](bool bit, ULONG old) { return bit ? old ^ xlate[1] : ~old & pixelMask; });
}

TEST_P(XferMonoPixels, BothEyes) {
    ppdev->cyScreen = 30;
    SURFOBJ* dev = DeviceBitmap(50, 60);
    RandomizeBoard(dev, 94);
    SURFOBJ* mono = Mono(50, 30);
    ULONG xlate[2] = {3, 4};
    ExpandAndCheck(dev, mono, RECTL{5, 5, 45, 25}, POINTL{0, 0}, 0xF0, 0xF0, xlate, 1, 30,
                   [&](bool bit, ULONG) { return bit ? xlate[1] : xlate[0]; });
}

INSTANTIATE_TEST_SUITE_P(Depths, XferMonoPixels, testing::Values(8u, 16u, 32u));

}  // namespace
