// Board memory of the model: page geometry by memory class, pixel format and
// multipliers, and the resolution of pixmap-id pixels through each
// rasterizer's page-slot registers (including a page exchange by swapping
// two slot registers, as the buffer swap does).
#include "board_stream_util.h"

namespace vnx::board::test {
namespace {

using miniport::MachineConfig;

std::uint32_t slot_value(std::uint32_t x0, std::uint32_t y0, std::uint32_t space) {
    return ((y0 >> 7) & 0x3F) << 11 | ((x0 >> 7) & 0x3F) << 5 | space;
}

TEST_F(BoardTest, PageGeometryByClassFormatAndMultipliers) {
    struct Row {
        int memoryClass, xCode, yCode;
        std::uint16_t pid;
        ULONG width, height, bpp;
    };
    const Row rows[] = {
        {0, 0, 0, 0x0000, 256, 256, 1}, {0, 0, 0, 0x6000, 256, 128, 2},
        {0, 0, 0, 0xA000, 128, 128, 4}, {1, 0, 0, 0x4000, 512, 256, 1},
        {1, 0, 0, 0x8000, 256, 256, 2}, {1, 0, 0, 0xC000, 256, 128, 4},
        {2, 0, 0, 0x4000, 512, 512, 1}, {2, 0, 0, 0x8000, 256, 512, 2},
        {2, 0, 0, 0xA000, 256, 256, 4}, {1, 1, 2, 0xA000, 512, 512, 4},
        {1, 3, 0, 0x8000, 1024, 256, 2},
    };
    for (const Row& row : rows) {
        MachineConfig cfg;
        cfg.memoryClass = row.memoryClass;
        cfg.xMultiplierCode = row.xCode;
        cfg.yMultiplierCode = row.yCode;
        make(cfg);
        ULONG w = 0, h = 0, bpp = 0;
        ASSERT_TRUE(board->page_geometry(row.pid, &w, &h, &bpp)) << std::hex << row.pid;
        EXPECT_EQ(w, row.width) << std::hex << row.pid;
        EXPECT_EQ(h, row.height) << std::hex << row.pid;
        EXPECT_EQ(bpp, row.bpp) << std::hex << row.pid;
    }
    ULONG w, h, bpp;
    EXPECT_FALSE(board->page_geometry(0x2000, &w, &h, &bpp));
    EXPECT_FALSE(board->page_geometry(0xE000, &w, &h, &bpp));
}

TEST_F(BoardTest, PixelsResolveThroughPageSlots) {
    MachineConfig cfg;
    cfg.rasterizers = 2;
    cfg.memoryClass = 0;  // 32-bit pages of 128 x 128
    make(cfg);
    const std::uint16_t pid = 0xA003;  // space 3, 32 bits a pixel
    EXPECT_EQ(board->pixel(0, pid, 10, 20), nullptr) << "no slot maps space 3 yet";

    board->write_register(0, VNX_REG_PAGE_SLOT0 + 4 * 5, slot_value(0, 0, 3));
    board->write_register(0, VNX_REG_PAGE_SLOT0 + 4 * 6, slot_value(128, 0, 3));
    std::uint8_t* p = board->pixel(0, pid, 10, 20);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(board->pixel(0, pid, 11, 20), p + 4);
    EXPECT_EQ(board->pixel(0, pid, 10, 21), p + 128 * 4);
    EXPECT_EQ(board->pixel(0, 0xC003, 10, 20), p) << "the overlay plane names the same pixel word";
    EXPECT_NE(board->pixel(0, pid, 130, 0), nullptr);
    EXPECT_EQ(board->pixel(0, pid, 10, 130), nullptr);
    EXPECT_EQ(board->pixel(1, pid, 10, 20), nullptr) << "rasterizer 1 has its own slots";
    EXPECT_EQ(board->pixel(0, 0xA004, 10, 20), nullptr) << "another space";
    EXPECT_EQ(board->pixel(0, pid, -1, 0), nullptr);

    // A page exchange: swapping the slot registers of front (space 3) and
    // back (space 4) at one page shows the back buffer's pixels as front.
    board->write_register(0, VNX_REG_PAGE_SLOT0 + 4 * 7, slot_value(0, 0, 4));
    *board->pixel(0, 0xA003, 1, 1) = 0x11;
    *board->pixel(0, 0xA004, 1, 1) = 0x44;
    board->write_register(0, VNX_REG_PAGE_SLOT0 + 4 * 5, slot_value(0, 0, 4));
    board->write_register(0, VNX_REG_PAGE_SLOT0 + 4 * 7, slot_value(0, 0, 3));
    EXPECT_EQ(*board->pixel(0, 0xA003, 1, 1), 0x44);
    EXPECT_EQ(*board->pixel(0, 0xA004, 1, 1), 0x11);
}

TEST_F(BoardTest, PixelOfEightBitPageWithMultipliers) {
    MachineConfig cfg;
    cfg.memoryClass = 1;
    cfg.xMultiplierCode = 1;  // 8-bit pages of 1024 x 256
    make(cfg);
    board->write_register(0, VNX_REG_PAGE_SLOT0 + 4 * 2, slot_value(1024, 256, 7));
    std::uint8_t* first = board->pixel(0, 0x4007, 1024, 256);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(board->pixel(0, 0x4007, 2047, 511), first + 255 * 1024 + 1023);
    EXPECT_EQ(board->pixel(0, 0x4007, 2048, 256), nullptr);
}

}  // namespace
}  // namespace vnx::board::test
