// The board configuration the miniport keeps: the 240-byte record's layout,
// reads with the fields the miniport fills in, writes kept between calls,
// and refused values.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "boardconfig.h"
#include "platform/faults.h"
#include "platform/miniport.h"

namespace vnx::miniport {
namespace {

static_assert(sizeof(BoardConfig) == 240);
static_assert(offsetof(BoardConfig, currentZDepth) == 8);
static_assert(offsetof(BoardConfig, textureMode) == 28);
static_assert(offsetof(BoardConfig, screenWidth) == 40);
static_assert(offsetof(BoardConfig, totalMemoryKB) == 48);
static_assert(offsetof(BoardConfig, rasterizers) == 64);
static_assert(offsetof(BoardConfig, syncSwapToVBlank) == 76);
static_assert(offsetof(BoardConfig, stereoMode) == 88);
static_assert(offsetof(BoardConfig, maskedSwap) == 100);
static_assert(offsetof(BoardConfig, driverVersion) == 104);
static_assert(offsetof(BoardConfig, stereoAdjust) == 224);
static_assert(offsetof(BoardConfig, flags) == 236);
static_assert(BCF_STEREO_VALID == 0x01 && BCF_MIPMAP == 0x02 && BCF_DUAL_MONITOR == 0x04 &&
              BCF_AA_LINES == 0x08 && BCF_HW_OPTION == 0x10 && BCF_STEREO == 0x40);
static_assert(TEXMODE_PERFORMANCE == 0 && TEXMODE_MEMORY == 1 && TEXMODE_NOHARDWARE == 2);

class BoardConfigTest : public ::testing::Test {
protected:
    DWORD read(BoardConfig* c, DWORD cb = sizeof(BoardConfig)) {
        return EngDeviceIoControl(machine->handle(), IOCTL_VNX_READ_BOARDCONFIG, nullptr, 0, c, cb,
                                  nullptr);
    }
    DWORD write(const BoardConfig& c, DWORD cb = sizeof(BoardConfig)) {
        return EngDeviceIoControl(machine->handle(), IOCTL_VNX_WRITE_BOARDCONFIG,
                                  const_cast<BoardConfig*>(&c), cb, nullptr, 0, nullptr);
    }

    vnx::faults::Scope faults;
    std::unique_ptr<Machine> machine = std::make_unique<Machine>();
};

TEST_F(BoardConfigTest, ReadFillsWhatTheMiniportKnows) {
    MachineConfig cfg;
    cfg.rasterizers = 4;
    cfg.boards = 2;
    cfg.memoryClass = 2;
    cfg.xMultiplierCode = 1;
    machine = std::make_unique<Machine>(cfg);
    BoardConfig c;
    std::memset(&c, 0xEE, sizeof c);
    EXPECT_EQ(read(&c, 239), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(c.op, 0xEEEEEEEEu) << "a short output is left alone";
    ASSERT_EQ(read(&c), 0u);
    EXPECT_EQ(c.rasterizers, 4u);
    EXPECT_EQ(c.boardCount, 2u);
    EXPECT_EQ(c.totalMemoryKB, 256u * 2 * 32 * 4) << "512 KB pages, 32 per rasterizer, one board";
    EXPECT_EQ(c.offscreenBitmaps, 1u);
    EXPECT_EQ(c.doubleBuffer, 1u);
    EXPECT_EQ(c.currentZDepth, 16u);
    EXPECT_EQ(c.refreshRate, 0u) << "no mode set yet";

    const VIDEO_MODE mode{2};  // 1024 x 768 at 8 bits, 60 Hz
    ASSERT_EQ(EngDeviceIoControl(machine->handle(), IOCTL_VIDEO_SET_CURRENT_MODE,
                                 const_cast<VIDEO_MODE*>(&mode), 4, nullptr, 0, nullptr),
              0u);
    ASSERT_EQ(read(&c), 0u);
    EXPECT_EQ(c.screenWidth, 1024u);
    EXPECT_EQ(c.screenHeight, 768u);
    EXPECT_EQ(c.bitsPerPixel, 8u);
    EXPECT_EQ(c.refreshRate, 60u);
}

TEST_F(BoardConfigTest, WriteIsKeptBetweenCalls) {
    BoardConfig c{};
    c.op = BOARDCONFIG_WRITE;
    c.currentZDepth = 24;
    c.zDepth = 24;
    c.syncSwapToVBlank = 1;
    c.stereoMode = 15;
    c.textureMode = TEXMODE_MEMORY;
    c.stereoAdjust = 1.5f;
    c.flags = BCF_DUAL_MONITOR | BCF_MIPMAP;
    c.driverVersion[0] = '9';
    EXPECT_EQ(write(c, 239), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(write(c), 0u);
    BoardConfig back{};
    ASSERT_EQ(read(&back), 0u);
    EXPECT_EQ(back.currentZDepth, 24u);
    EXPECT_EQ(back.syncSwapToVBlank, 1u);
    EXPECT_EQ(back.stereoMode, 15u);
    EXPECT_EQ(back.textureMode, TEXMODE_MEMORY);
    EXPECT_EQ(back.stereoAdjust, 1.5f);
    EXPECT_EQ(back.flags, BCF_DUAL_MONITOR | BCF_MIPMAP);
    EXPECT_EQ(back.driverVersion[0], static_cast<std::uint32_t>('9'));
    EXPECT_EQ(machine->board_config().stereoMode, 15u);
}

TEST_F(BoardConfigTest, RefusesValuesTheBoardsCannotTake) {
    struct Row {
        const char* name;
        void (*change)(BoardConfig&);
    };
    const Row rows[] = {
        {"stereo mode 19", [](BoardConfig& c) { c.stereoMode = 19; }},
        {"texture mode 3", [](BoardConfig& c) { c.textureMode = 3; }},
        {"depth 32", [](BoardConfig& c) { c.currentZDepth = 32; }},
        {"requested depth 8", [](BoardConfig& c) { c.zDepth = 8; }},
    };
    for (const Row& row : rows) {
        BoardConfig c = default_board_config();
        row.change(c);
        EXPECT_EQ(write(c), ERROR_INVALID_PARAMETER) << row.name;
    }
    BoardConfig kept{};
    ASSERT_EQ(read(&kept), 0u);
    EXPECT_EQ(kept.stereoMode, 0u);
    EXPECT_EQ(kept.currentZDepth, 16u);
}

TEST_F(BoardConfigTest, InitialRecordComesFromTheMachineConfig) {
    MachineConfig cfg;
    cfg.boardConfig.installState = BOARDCONFIG_3D_NOT_INSTALLED;
    cfg.boardConfig.maskedSwap = 1;
    machine = std::make_unique<Machine>(cfg);
    BoardConfig c{};
    ASSERT_EQ(read(&c), 0u);
    EXPECT_EQ(c.installState, BOARDCONFIG_3D_NOT_INSTALLED);
    EXPECT_EQ(c.maskedSwap, 1u);
}

}  // namespace
}  // namespace vnx::miniport
