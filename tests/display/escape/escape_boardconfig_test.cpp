// Escape ESC_BOARDCONFIG: a read answers the miniport's record with the
// fields the driver knows of the running device; a write goes to the
// miniport only, for the next surface enable; short buffers and failing
// requests are refused.
//
// The tests run without an enabled surface: they place the fields its
// set-up fills (page configuration, queues) in the device record themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/escape/escape_fixture.h"

namespace {

using vnx::test::EscapeTest;
using vnx::test::Machine;
using vnx::test::Request;

class BoardConfigTest : public EscapeTest {
  protected:
    void TearDown() override {
        std::memcpy(gaPageConfig, saved_, sizeof saved_);
        EscapeTest::TearDown();
    }

    // What an enabled surface leaves in the device record.
    void PlaceSurface(ULONG iRow, ULONG cDepthBits, ULONG cQueues, ULONG cScreens, ULONG cBoards,
                      UCHAR jStatus = 0, ULONG fStereo = 0) {
        gaPageConfig[iRow].cDepthBits = cDepthBits;
        gaPageConfig[iRow].fStereo = fStereo;
        ppdev_->pPageConfig = &gaPageConfig[iRow];
        ppdev_->layout.cQueues = cQueues;
        ppdev_->layout.cScreens = cScreens;
        ppdev_->DmaDescription.ulBoards = cBoards;
        ppdev_->jDmaStatus = jStatus;
    }

    // ESC_BOARDCONFIG with op; answers the escape's result, the output in *pbc.
    ULONG Exchange(ULONG op, BoardConfig* pbc, ULONG cjIn = sizeof(BoardConfig),
                   ULONG cjOut = sizeof(BoardConfig)) {
        pbc->op = op;
        return Escape(ESC_BOARDCONFIG, cjIn, pbc, cjOut, pbc);
    }

    static std::string VersionText(const BoardConfig& bc) {
        std::string text;
        for (std::uint32_t ch : bc.driverVersion) {
            if (ch == 0) break;
            text += static_cast<char>(ch);
        }
        return text;
    }

    PAGECONFIG saved_[PAGECONFIG_ROWS] = {};

    void SetUp() override {
        std::memcpy(saved_, gaPageConfig, sizeof saved_);
        EscapeTest::SetUp();
    }
};

bool Same(const BoardConfig& a, const BoardConfig& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A read on a running device: the computed fields for several boards, modes,
// depths and buffer choices.
TEST_F(BoardConfigTest, ReadFillsTheFieldsOfTheRunningDevice) {
    struct Row {
        const char* what;
        int rasterizers, boards;
        ULONG cx, cy, bpp;
        ULONG iRow, cDepthBits, cQueues, cScreens;
        std::uint32_t doubleBuffer;
        UCHAR jStatus;
        std::uint32_t totalKB, usedKB, rasterizersOut;
        bool hwOption;
    };
    const Row rows[] = {
        // 128 KB pages of 256x256 16-bpp pixels: 4 x 192 KB queues, depth
        // 1536 KB, primary 1536 KB twice.
        {"quad, 16 bpp, depth 16, double", 4, 1, 1024, 768, 16, 4, 16, 4, 1, 1, 0, 16384, 5376, 4,
         true},
        // 256x128 32-bpp pages: 800x600 rounds to 1024x640 for primary and depth.
        {"duo, 32 bpp, depth 24", 2, 1, 800, 600, 32, 5, 24, 2, 1, 0, 1, 8192, 5504, 2, false},
        // 8 bpp in 512x256 pages; the 16-bit depth buffer in the class's
        // 256x256 16-bpp pages; two boards on two screens.
        {"two quads split, 8 bpp, depth 16", 4, 2, 640, 480, 8, 3, 16, 8, 2, 1, 0, 16384, 3328, 4,
         true},
        // 24-bit depth of a 16-bpp mode in the class's 32-bpp pages; more than
        // the board holds is capped.
        {"solo, 16 bpp, depth 24, capped", 1, 1, 1280, 1024, 16, 4, 24, 1, 1, 1, 0, 4096, 4096, 1,
         true},
        // No depth buffer.
        {"solo, 16 bpp, no depth", 1, 1, 640, 480, 16, 4, 0, 1, 1, 0, 0, 4096, 960, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Boot(Machine(row.rasterizers, row.boards), Request(row.cx, row.cy, row.bpp));
        PlaceSurface(row.iRow, row.cDepthBits, row.cQueues, row.cScreens,
                     static_cast<ULONG>(row.boards), row.jStatus);
        ppdev_->bc.doubleBuffer = row.doubleBuffer;

        BoardConfig bc{};
        ASSERT_EQ(Exchange(BOARDCONFIG_READ, &bc), 1u);
        EXPECT_EQ(bc.screenWidth, row.cx);
        EXPECT_EQ(bc.screenHeight, row.cy);
        EXPECT_EQ(bc.bitsPerPixel, row.bpp);
        EXPECT_EQ(bc.currentZDepth, row.cDepthBits);
        EXPECT_EQ(bc.totalMemoryKB, row.totalKB);
        EXPECT_EQ(bc.usedMemoryKB, row.usedKB);
        EXPECT_EQ(bc.rasterizers, row.rasterizersOut);
        EXPECT_EQ(bc.boardCount, static_cast<std::uint32_t>(row.boards));
        EXPECT_EQ((bc.flags & BCF_HW_OPTION) != 0, row.hwOption);
        EXPECT_EQ(VersionText(bc), "2.94");
        for (ULONG i = 4; i < BOARDCONFIG_VERSION_CHARS; ++i) EXPECT_EQ(bc.driverVersion[i], 0u);
        // The rest is the miniport's record.
        const BoardConfig kept = device_->machine().board_config();
        EXPECT_EQ(bc.offscreenBitmaps, kept.offscreenBitmaps);
        EXPECT_EQ(bc.textureMode, kept.textureMode);
        EXPECT_EQ(bc.zDepth, kept.zDepth);
    }
}

// The board's page multipliers count in the memory total as they do in the
// 3D buffer sizing and in the miniport's record: pages twice as wide hold
// twice the memory, and the buffers round to the wider pages.
TEST_F(BoardConfigTest, TotalMemoryCountsThePageMultipliers) {
    auto cfg = Machine(4);
    cfg.xMultiplierCode = 1;
    Boot(cfg, Request(1280, 1024, 16));
    PlaceSurface(4, 16, 4, 1, 1);
    ppdev_->cxPageMul = 2;
    ppdev_->cyPageMul = 1;
    BoardConfig bc{};
    ASSERT_EQ(Exchange(BOARDCONFIG_READ, &bc), 1u);
    // 128 KB pages made 256 KB: 32 of them on each of four rasterizers.
    EXPECT_EQ(bc.totalMemoryKB, 32768u);
    DWORD cb = 0;
    BoardConfig miniport{};
    ASSERT_EQ(EngDeviceIoControl(ppdev_->hDriver, IOCTL_VNX_READ_BOARDCONFIG, nullptr, 0, &miniport,
                                 sizeof miniport, &cb),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(bc.totalMemoryKB, miniport.totalMemoryKB);
    // 1280 x 1024 rounds to 1536 x 1024 in 512 x 256 pages (1280 in pages
    // of 256): 4 queues of 192 KB, 3072 KB of depth, the primary and its
    // back buffer 3072 KB each.
    EXPECT_EQ(bc.usedMemoryKB, 4u * 192 + 3072 + 2 * 3072);
}

// Stereo values are answered only while the running mode is a stereo one
// and the record says stereo.
TEST_F(BoardConfigTest, StereoValuesOnlyWithAStereoMode) {
    struct Row {
        const char* what;
        ULONG fStereo;
        std::uint32_t flagsKept;
        std::uint32_t flagsRead;
        bool valuesKept;
    };
    const Row rows[] = {
        {"stereo mode, stereo record", 1, BCF_STEREO | BCF_STEREO_VALID | BCF_MIPMAP,
         BCF_STEREO | BCF_STEREO_VALID | BCF_MIPMAP, true},
        {"mono mode, stereo record", 0, BCF_STEREO | BCF_STEREO_VALID | BCF_MIPMAP, BCF_MIPMAP,
         false},
        {"stereo mode, record without stereo", 1, BCF_STEREO_VALID | BCF_AA_LINES, BCF_AA_LINES,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PlaceSurface(4, 16, 4, 1, 1, 1, row.fStereo);
        BoardConfig stored = device_->machine().board_config();
        stored.flags = row.flagsKept;
        stored.stereoAdjust = 1.5f;
        stored.stereoOffset = -2.0f;
        stored.stereoTranslate = 0.25f;
        device_->machine().set_board_config(stored);

        BoardConfig bc{};
        ASSERT_EQ(Exchange(BOARDCONFIG_READ, &bc), 1u);
        EXPECT_EQ(bc.flags, row.flagsRead);
        EXPECT_EQ(bc.stereoAdjust, row.valuesKept ? 1.5f : 0.0f);
        EXPECT_EQ(bc.stereoOffset, row.valuesKept ? -2.0f : 0.0f);
        EXPECT_EQ(bc.stereoTranslate, row.valuesKept ? 0.25f : 0.0f);
    }
}

// Before a surface is enabled the record read is the miniport's, with the
// mode the device was enabled for; nothing is divided by a count not yet known.
TEST_F(BoardConfigTest, ReadBeforeTheSurfaceIsEnabled) {
    BoardConfig stored = device_->machine().board_config();
    stored.flags = BCF_STEREO | BCF_STEREO_VALID;
    stored.stereoAdjust = 3.0f;
    device_->machine().set_board_config(stored);

    BoardConfig bc{};
    ASSERT_EQ(Exchange(BOARDCONFIG_READ, &bc), 1u);
    EXPECT_EQ(bc.screenWidth, 1024u);
    EXPECT_EQ(bc.screenHeight, 768u);
    EXPECT_EQ(bc.bitsPerPixel, 16u);
    EXPECT_EQ(bc.currentZDepth, 0u);
    EXPECT_EQ(bc.rasterizers, 4u);
    EXPECT_EQ(bc.boardCount, 1u);
    EXPECT_EQ(bc.totalMemoryKB, 16384u);
    EXPECT_EQ(bc.flags, 0u);
    EXPECT_EQ(bc.stereoAdjust, 0.0f);
    EXPECT_EQ(VersionText(bc), "2.94");
}

// Any op but BOARDCONFIG_WRITE reads.
TEST_F(BoardConfigTest, EveryOtherOpReads) {
    PlaceSurface(4, 16, 4, 1, 1);
    for (std::uint32_t op : {0u, 1u, 3u, 0xFFFFFFFFu}) {
        BoardConfig bc{};
        ASSERT_EQ(Exchange(op, &bc), 1u) << op;
        EXPECT_EQ(VersionText(bc), "2.94") << op;
    }
}

// A write reaches the miniport and nothing else: the running device keeps
// its copy until the next surface enable, and the output is not written.
TEST_F(BoardConfigTest, WriteGoesToTheMiniportForTheNextEnable) {
    PlaceSurface(4, 16, 4, 1, 1);
    const BoardConfig running = ppdev_->bc;
    BoardConfig wanted = device_->machine().board_config();
    wanted.op = BOARDCONFIG_WRITE;
    wanted.syncSwapToVBlank = 1;
    wanted.maskedSwap = 1;
    wanted.modelImprecision = 1;
    wanted.zDepth = 24;
    wanted.textureMode = TEXMODE_MEMORY;
    wanted.flags = BCF_MIPMAP | BCF_AA_LINES;
    BoardConfig out;
    std::memset(&out, 0xAB, sizeof out);
    const BoardConfig untouched = out;

    EXPECT_EQ(Escape(ESC_BOARDCONFIG, sizeof wanted, &wanted, sizeof out, &out), 1u);
    EXPECT_TRUE(Same(device_->machine().board_config(), wanted));
    EXPECT_TRUE(Same(ppdev_->bc, running));
    EXPECT_TRUE(Same(out, untouched));

    // A read shows what is stored for the next enable.
    BoardConfig bc{};
    ASSERT_EQ(Exchange(BOARDCONFIG_READ, &bc), 1u);
    EXPECT_EQ(bc.syncSwapToVBlank, 1u);
    EXPECT_EQ(bc.maskedSwap, 1u);
    EXPECT_EQ(bc.zDepth, 24u);
    EXPECT_EQ(bc.flags & (BCF_MIPMAP | BCF_AA_LINES), BCF_MIPMAP | BCF_AA_LINES);
    EXPECT_TRUE(Same(ppdev_->bc, running));
}

// Refused writes, failing requests and short buffers answer 0 and change
// nothing: not the miniport's record, not the device's copy, not the output.
TEST_F(BoardConfigTest, FailuresAnswerZeroAndChangeNothing) {
    PlaceSurface(4, 16, 4, 1, 1);
    struct Row {
        const char* what;
        std::uint32_t op;
        ULONG cjIn, cjOut;
        const char* fault;
        std::uint32_t stereoMode;  // 40 is past the stereo mode table: the miniport refuses
    };
    const Row rows[] = {
        {"refused write", BOARDCONFIG_WRITE, 240, 240, nullptr, 40},
        {"failing write", BOARDCONFIG_WRITE, 240, 240, "IOCTL_VNX_WRITE_BOARDCONFIG", 0},
        {"failing read", BOARDCONFIG_READ, 240, 240, "IOCTL_VNX_READ_BOARDCONFIG", 0},
        {"write, short input", BOARDCONFIG_WRITE, 239, 240, nullptr, 0},
        {"write, short output", BOARDCONFIG_WRITE, 240, 239, nullptr, 0},
        {"read, short input", BOARDCONFIG_READ, 239, 240, nullptr, 0},
        {"read, short output", BOARDCONFIG_READ, 240, 239, nullptr, 0},
    };
    const BoardConfig stored = device_->machine().board_config();
    const BoardConfig running = ppdev_->bc;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        vnx::faults::clear();
        if (row.fault != nullptr) vnx::faults::arm(row.fault);
        // Buffers of exactly the sizes given, so nothing past them is touched.
        BoardConfig in = stored;
        in.op = row.op;
        in.syncSwapToVBlank = 1;
        in.stereoMode = row.stereoMode;
        std::vector<BYTE> vIn(row.cjIn), vOut(row.cjOut, 0xAB);
        std::memcpy(vIn.data(), &in, row.cjIn);
        EXPECT_EQ(Escape(ESC_BOARDCONFIG, row.cjIn, vIn.data(), row.cjOut, vOut.data()), 0u);
        EXPECT_EQ(vOut, std::vector<BYTE>(row.cjOut, 0xAB));
        EXPECT_TRUE(Same(device_->machine().board_config(), stored));
        EXPECT_TRUE(Same(ppdev_->bc, running));
    }
    // Short buffers never reach the miniport.
    vnx::faults::clear();
    BoardConfig bc{};
    EXPECT_EQ(Exchange(BOARDCONFIG_READ, &bc, 240, 239), 0u);
    EXPECT_EQ(vnx::faults::calls("IOCTL_VNX_READ_BOARDCONFIG"), 0);
}

}  // namespace
