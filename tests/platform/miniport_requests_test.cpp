// The video miniport's requests through EngDeviceIoControl: each request
// with its right and wrong input and output sizes, what it answers, the
// state it keeps, failure injection per request, and the machine's
// configuration check.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/board.h"
#include "platform/faults.h"
#include "platform/miniport.h"
#include "platform/mmio.h"

namespace vnx::miniport {
namespace {

class MiniportTest : public ::testing::Test {
protected:
    DWORD ioctl(DWORD code, const void* in, DWORD cbIn, void* out, DWORD cbOut,
                DWORD* returned = nullptr) {
        DWORD local = 0xDEAD;
        return EngDeviceIoControl(machine->handle(), code, const_cast<void*>(in), cbIn, out, cbOut,
                                  returned != nullptr ? returned : &local);
    }
    void make(const MachineConfig& cfg) { machine = std::make_unique<Machine>(cfg); }

    vnx::faults::Scope faults;
    std::unique_ptr<Machine> machine = std::make_unique<Machine>();
};

TEST_F(MiniportTest, ModeListAndModeCount) {
    MachineConfig cfg;
    cfg.modes = {{640, 480, 1, 8, 60, 0, 300, 220, true},
                 {1024, 768, 1, 16, 72, VIDEO_MODE_INTERLACED, 320, 240, false},
                 {1280, 1024, 1, 32, 75, VIDEO_MODE_NO_OFFSCREEN, 340, 270, true}};
    make(cfg);
    VIDEO_NUM_MODES num{};
    DWORD returned = 0;
    ASSERT_EQ(ioctl(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &num, 8, &returned), 0u);
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(num.NumModes, 3u);
    EXPECT_EQ(num.ModeInformationLength, sizeof(VIDEO_MODE_INFORMATION));
    EXPECT_EQ(ioctl(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &num, 7), ERROR_INSUFFICIENT_BUFFER);

    std::vector<VIDEO_MODE_INFORMATION> modes(3);
    const DWORD bytes = 3 * sizeof(VIDEO_MODE_INFORMATION);
    std::memset(modes.data(), 0xAB, bytes);
    EXPECT_EQ(ioctl(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, modes.data(), bytes - 1, &returned),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(modes[0].Length, 0xABABABABu) << "nothing written on error";
    ASSERT_EQ(ioctl(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, modes.data(), bytes, &returned), 0u);
    EXPECT_EQ(returned, bytes);
    EXPECT_EQ(modes[0].Length, sizeof(VIDEO_MODE_INFORMATION));
    EXPECT_EQ(modes[0].ModeIndex, 0u);
    EXPECT_EQ(modes[0].VisScreenWidth, 640u);
    EXPECT_EQ(modes[0].ScreenStride, 640u);
    EXPECT_EQ(modes[0].XMillimeter, 300u);
    EXPECT_EQ(modes[1].Length, 0u) << "an unusable mode";
    EXPECT_EQ(modes[1].AttributeFlags, VIDEO_MODE_INTERLACED);
    EXPECT_EQ(modes[2].ModeIndex, 2u);
    EXPECT_EQ(modes[2].NumberOfPlanes * modes[2].BitsPerPlane, 32u);
    EXPECT_EQ(modes[2].ScreenStride, 1280u * 4);
    EXPECT_EQ(modes[2].Frequency, 75u);
    EXPECT_EQ(modes[2].AttributeFlags, VIDEO_MODE_NO_OFFSCREEN);
}

TEST_F(MiniportTest, SetModeAndReset) {
    VIDEO_MODE mode{2};
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 3, nullptr, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(machine->state().currentMode, -1);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 4, nullptr, 0), 0u);
    EXPECT_EQ(machine->state().currentMode, 2);
    mode.RequestedMode = static_cast<std::uint32_t>(machine->config().modes.size());
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 4, nullptr, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(machine->state().currentMode, 2);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_RESET_DEVICE, nullptr, 0, nullptr, 0), 0u);
    EXPECT_EQ(machine->state().currentMode, -1);
    EXPECT_EQ(machine->state().resets, 1u);
}

TEST_F(MiniportTest, ColourRegistersOfSixteenAndAllEntries) {
    std::vector<std::uint8_t> in(1032, 0);
    auto clut = [&](std::uint16_t n, std::uint16_t first) {
        std::memcpy(in.data(), &n, 2);
        std::memcpy(in.data() + 2, &first, 2);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t rgb = 0x010203u * (first + i + 1);
            std::memcpy(in.data() + 4 + 4 * i, &rgb, 4);
        }
    };
    clut(16, 0);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_SET_COLOR_REGISTERS, in.data(), 68, nullptr, 0), 0u);
    EXPECT_EQ(machine->color_register(15), 0x010203u * 16);
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_COLOR_REGISTERS, in.data(), 67, nullptr, 0),
              ERROR_INVALID_PARAMETER);
    clut(256, 0);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_SET_COLOR_REGISTERS, in.data(), 1032, nullptr, 0), 0u);
    EXPECT_EQ(machine->color_register(255), 0x010203u * 256 & 0xFFFFFFFFu);
    EXPECT_EQ(machine->state().colorRegisterLoads, 2u);

    clut(2, 255);  // past the last register
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_COLOR_REGISTERS, in.data(), 12, nullptr, 0),
              ERROR_INVALID_PARAMETER);
    clut(0, 0);
    EXPECT_EQ(ioctl(IOCTL_VIDEO_SET_COLOR_REGISTERS, in.data(), 12, nullptr, 0),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(machine->state().colorRegisterLoads, 2u);
}

TEST_F(MiniportTest, AccessRangesMapAndFreeTheRegisterWindows) {
    MachineConfig cfg;
    cfg.rasterizers = 4;
    make(cfg);
    VIDEO_PUBLIC_ACCESS_RANGES ranges[VNX_ACCESS_RANGES];
    EXPECT_EQ(ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, sizeof ranges - 1),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(VnxRegRead32(static_cast<std::uint8_t*>(machine->board().window(0)) + 0x10),
              0xFFFFFFFFu)
        << "windows answer only once handed out";
    DWORD returned = 0;
    ASSERT_EQ(ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, sizeof ranges,
                    &returned),
              0u);
    EXPECT_EQ(returned, 128u);
    EXPECT_NE(ranges[0].MappedInIoSpace, 0u) << "3D available";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ranges[i].VirtualAddress, machine->board().window(i));
    for (int i = 4; i < 8; ++i) EXPECT_EQ(ranges[i].VirtualAddress, nullptr);
    EXPECT_EQ(VnxRegRead(ranges[3].VirtualAddress, VNX_REG_TILE_OWNER) >> 16, 0xA0A0u);
    EXPECT_TRUE(machine->state().rangesMapped);

    VIDEO_PUBLIC_ACCESS_RANGES wrong = ranges[1];
    EXPECT_EQ(ioctl(IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, &wrong, sizeof wrong, nullptr, 0),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ioctl(IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, &ranges[0], 12, nullptr, 0),
              ERROR_INVALID_PARAMETER);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, &ranges[0], sizeof ranges[0], nullptr, 0),
              0u);
    EXPECT_FALSE(machine->state().rangesMapped);
    EXPECT_EQ(ioctl(IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, &ranges[0], sizeof ranges[0], nullptr, 0),
              ERROR_INVALID_PARAMETER)
        << "freed twice";

    cfg.threeD = false;
    make(cfg);
    ASSERT_EQ(ioctl(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0, ranges, sizeof ranges), 0u);
    EXPECT_EQ(ranges[0].MappedInIoSpace, 0u);
}

TEST_F(MiniportTest, QueueSetUpDescribesTheDmaBufferAndRelease) {
    MachineConfig cfg;
    cfg.rasterizers = 2;
    cfg.boards = 2;
    cfg.status = 3;
    cfg.twoStagingBuffers = true;
    cfg.dmaBytes = 0x80000;
    make(cfg);
    const std::uint32_t recordSize = 472;
    VNX_DMA_DESCRIPTION d{};
    EXPECT_EQ(ioctl(IOCTL_VNX_QUEUE_SETUP, &recordSize, 4, &d, 43), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(ioctl(IOCTL_VNX_QUEUE_SETUP, &recordSize, 3, &d, 44), ERROR_INVALID_PARAMETER);
    DWORD returned = 0;
    ASSERT_EQ(ioctl(IOCTL_VNX_QUEUE_SETUP, &recordSize, 4, &d, 44, &returned), 0u);
    EXPECT_EQ(returned, 44u);
    EXPECT_EQ(d.ulRasterizers, 4u);
    EXPECT_EQ(d.ulBoards, 2u);
    EXPECT_EQ(d.pvDmaBase, machine->board().dma_base());
    EXPECT_EQ(d.ulDmaBus, vnx::board::kDmaBusBase);
    EXPECT_EQ(d.cjDmaBuffer, 0x80000u);
    EXPECT_EQ(d.ulStaging0Bus, d.ulDmaBus + 0x80000);
    EXPECT_EQ(d.ulStaging1Bus, d.ulStaging0Bus + VNX_STAGING_BUFFER_BYTES);
    EXPECT_EQ(d.bTwoStagingBuffers, 1u);
    EXPECT_EQ(d.jStatus, 3u);
    EXPECT_TRUE(machine->state().queuesSetUp);
    // The staging buffers follow the DMA buffer in CPU addresses too.
    auto* base = static_cast<std::uint8_t*>(d.pvDmaBase);
    EXPECT_EQ(machine->board().bus_to_cpu(d.ulStaging1Bus, VNX_STAGING_BUFFER_BYTES),
              base + (d.ulStaging1Bus - d.ulDmaBus));
    EXPECT_EQ(machine->board().bus_to_cpu(d.ulStaging1Bus, VNX_STAGING_BUFFER_BYTES + 1), nullptr);

    VNX_DMA_DESCRIPTION other = d;
    other.ulDmaBus += 4;
    EXPECT_EQ(ioctl(IOCTL_VNX_QUEUE_RELEASE, &other, 44, nullptr, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ioctl(IOCTL_VNX_QUEUE_RELEASE, &d, 40, nullptr, 0), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(ioctl(IOCTL_VNX_QUEUE_RELEASE, &d, 44, nullptr, 0), 0u);
    EXPECT_FALSE(machine->state().queuesSetUp);
    EXPECT_EQ(ioctl(IOCTL_VNX_QUEUE_RELEASE, &d, 44, nullptr, 0), ERROR_INVALID_PARAMETER);
}

TEST_F(MiniportTest, BoardCountAndUnservedRequests) {
    MachineConfig cfg;
    cfg.boards = 2;
    make(cfg);
    std::uint32_t count = 0;
    EXPECT_EQ(ioctl(IOCTL_VNX_BOARD_COUNT, nullptr, 0, &count, 3), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_EQ(ioctl(IOCTL_VNX_BOARD_COUNT, nullptr, 0, &count, 4), 0u);
    EXPECT_EQ(count, 2u);

    EXPECT_EQ(ioctl(0x232008, nullptr, 0, nullptr, 0), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(EngDeviceIoControl(reinterpret_cast<HANDLE>(0x1234), IOCTL_VNX_BOARD_COUNT, nullptr, 0,
                                 &count, 4, nullptr),
              ERROR_INVALID_HANDLE);
    const HANDLE gone = machine->handle();
    machine.reset();
    EXPECT_EQ(EngDeviceIoControl(gone, IOCTL_VNX_BOARD_COUNT, nullptr, 0, &count, 4, nullptr),
              ERROR_INVALID_HANDLE);
}

// Every request asks its fault point first, fails with ERROR_GEN_FAILURE
// and changes nothing.
TEST_F(MiniportTest, EveryRequestCanBeMadeToFail) {
    struct Row {
        const char* point;
        DWORD code;
        DWORD cbIn, cbOut;
    };
    const Row rows[] = {
        {"IOCTL_VIDEO_QUERY_AVAIL_MODES", IOCTL_VIDEO_QUERY_AVAIL_MODES, 0, 4096},
        {"IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES", IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, 0, 8},
        {"IOCTL_VIDEO_SET_CURRENT_MODE", IOCTL_VIDEO_SET_CURRENT_MODE, 4, 0},
        {"IOCTL_VIDEO_RESET_DEVICE", IOCTL_VIDEO_RESET_DEVICE, 0, 0},
        {"IOCTL_VIDEO_SET_COLOR_REGISTERS", IOCTL_VIDEO_SET_COLOR_REGISTERS, 68, 0},
        {"IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES", IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, 0, 128},
        {"IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES", IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, 16, 0},
        {"IOCTL_VNX_QUEUE_SETUP", IOCTL_VNX_QUEUE_SETUP, 4, 44},
        {"IOCTL_VNX_QUEUE_RELEASE", IOCTL_VNX_QUEUE_RELEASE, 44, 0},
        {"IOCTL_VNX_PIN_DL_BATCH", IOCTL_VNX_PIN_DL_BATCH, 8, 12},
        {"IOCTL_VNX_UNPIN_DL_BATCH", IOCTL_VNX_UNPIN_DL_BATCH, 12, 0},
        {"IOCTL_VNX_WRITE_BOARDCONFIG", IOCTL_VNX_WRITE_BOARDCONFIG, 240, 0},
        {"IOCTL_VNX_READ_BOARDCONFIG", IOCTL_VNX_READ_BOARDCONFIG, 0, 240},
        {"IOCTL_VNX_BOARD_COUNT", IOCTL_VNX_BOARD_COUNT, 0, 4},
    };
    std::vector<std::uint8_t> in(4096, 0), out(4096, 0x5A);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.point);
        vnx::faults::clear();
        vnx::faults::arm(row.point);
        const MiniportState before = machine->state();
        DWORD returned = 99;
        EXPECT_EQ(ioctl(row.code, in.data(), row.cbIn, out.data(), row.cbOut, &returned),
                  ERROR_GEN_FAILURE);
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(vnx::faults::calls(row.point), 1);
        EXPECT_EQ(out[0], 0x5A);
        EXPECT_EQ(machine->state().resets, before.resets);
        EXPECT_EQ(machine->state().currentMode, before.currentMode);
    }
}

TEST(MachineConfigTest, RefusesMachinesThatCannotExist) {
    struct Row {
        const char* name;
        void (*change)(MachineConfig&);
    };
    const Row rows[] = {
        {"three rasterizers", [](MachineConfig& c) { c.rasterizers = 3; }},
        {"three boards", [](MachineConfig& c) { c.boards = 3; }},
        {"memory class 3", [](MachineConfig& c) { c.memoryClass = 3; }},
        {"x code 4", [](MachineConfig& c) { c.xMultiplierCode = 4; }},
        {"y code -1", [](MachineConfig& c) { c.yMultiplierCode = -1; }},
        {"tiny DMA buffer", [](MachineConfig& c) { c.dmaBytes = 0x1000; }},
        {"odd DMA buffer", [](MachineConfig& c) { c.dmaBytes = 0x10010; }},
        {"negative busy reads", [](MachineConfig& c) { c.busyReads = -1; }},
        {"mode without size", [](MachineConfig& c) { c.modes[0].width = 0; }},
    };
    EXPECT_EQ(check_config(MachineConfig()), "");
    for (const Row& row : rows) {
        MachineConfig cfg;
        row.change(cfg);
        EXPECT_NE(check_config(cfg), "") << row.name;
        EXPECT_THROW(Machine{cfg}, std::invalid_argument) << row.name;
    }
    EXPECT_STREQ(board_model_name(1), "Vornix Solo");
    EXPECT_STREQ(board_model_name(2), "Vornix Duo");
    EXPECT_STREQ(board_model_name(4), "Vornix Quad");
}

}  // namespace
}  // namespace vnx::miniport
