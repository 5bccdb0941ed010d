// 32-bit pictures uploaded at 8 bits a pixel, seen in the colours of the
// driver's default palette: saturated colours keep their channels, also
// where their 3-3-2 value is one the system colours hold (colours close to
// their 3-3-2 values, so that only the palette can be off).
#include "display/xfer/xfer_fixture.h"

namespace vnx::test {
namespace {

class XferUpload8 : public XferTest {};

TEST_F(XferUpload8, SaturatedColoursShowInThePalette) {
    BootXfer(1, 8);
    if (HasFatalFailure()) return;
    const ULONG colours[] = {0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFF00FF,
                             0xFFFFFF, 0x000000, 0xFF8000, 0xFFE040, 0x0000AA, 0x204000};
    const LONG c = static_cast<LONG>(sizeof colours / sizeof colours[0]);
    SURFOBJ* dev = DeviceBitmap(c, 1);
    SURFOBJ* src = HostBitmap(c, 1, BMF_32BPP);
    ASSERT_NE(dev, nullptr);
    ASSERT_NE(src, nullptr);
    for (LONG x = 0; x < c; ++x) SetHostPixel(src, x, 0, colours[x]);
    RECTL rcl{0, 0, c, 1};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vUploadClipped(dev, src, nullptr, &rcl, &ptl, 0));
    const std::vector<ULONG> indices = BoardPixels(dev, 0, 0, c, 1);
    for (LONG x = 0; x < c; ++x) {
        const PALETTEENTRY& pe = ppdev->pPal[indices[x] & 0xFF];
        const int got[3] = {pe.peRed, pe.peGreen, pe.peBlue};
        for (int k = 0; k < 3; ++k) {
            const int want = static_cast<int>((colours[x] >> (16 - 8 * k)) & 0xFF);
            EXPECT_LE(std::abs(got[k] - want), 37)  // one 3-bit step, 255 / 7 rounded up
                << std::hex << "0x" << colours[x] << " shown by entry " << std::dec << indices[x]
                << ", channel " << k;
        }
    }
}

}  // namespace
}  // namespace vnx::test
