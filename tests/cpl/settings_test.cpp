// The board settings: the clean-up of the driver's record, and which
// differences count as a change and which need a restart.
#include <gtest/gtest.h>

#include "qrncp.h"

namespace {

TEST(BoardSettings, LoadFromDriverCleansTheRecord) {
    struct Row {
        std::uint32_t textureMode, zDepth, currentZDepth;
        std::uint32_t wantTexture, wantZ, wantCurrentZ;
    };
    const Row rows[] = {
        {3, 32, 24, TEXMODE_PERFORMANCE, 16, 16},
        {0xFFFFFFFF, 8, 0, TEXMODE_PERFORMANCE, 16, 16},
        {TEXMODE_NOHARDWARE, 24, 24, TEXMODE_NOHARDWARE, 24, 24},
        {TEXMODE_MEMORY, 0, 0, TEXMODE_MEMORY, 0, 0},
        {TEXMODE_PERFORMANCE, 16, 8, TEXMODE_PERFORMANCE, 16, 8},
    };
    for (const Row& row : rows) {
        BoardConfig record{};
        record.textureMode = row.textureMode;
        record.zDepth = row.zDepth;
        record.currentZDepth = row.currentZDepth;
        qrncp::BoardSettings s;
        s.LoadFromDriver(record);
        for (const BoardConfig* c : {&s.current, &s.edited}) {
            EXPECT_EQ(c->textureMode, row.wantTexture);
            EXPECT_EQ(c->zDepth, row.wantZ);
            EXPECT_EQ(c->currentZDepth, row.wantCurrentZ);
        }
        EXPECT_EQ(s.appletVersion, "2.94");
    }
}

TEST(BoardSettings, VersionTextIsTheLowByteOfEachWord) {
    BoardConfig record{};
    const char text[] = "2.94";
    for (int i = 0; i < 4; ++i) record.driverVersion[i] = 0x4100 | static_cast<unsigned char>(text[i]);
    qrncp::BoardSettings s;
    s.LoadFromDriver(record);
    EXPECT_EQ(s.driverVersion, "2.94");
    // Thirty characters with no end: all of them, and nothing beyond.
    for (auto& w : record.driverVersion) w = 'x';
    record.stereoAdjust = 1.0f;
    s.LoadFromDriver(record);
    EXPECT_EQ(s.driverVersion, std::string(30, 'x'));
}

struct Change {
    const char* name;
    void (*apply)(BoardConfig&);
    int changed;
    std::uint32_t restart;
};

TEST(BoardSettings, IsChangedLooksAtEveryEditedField) {
    const Change changes[] = {
        {"zDepth", [](BoardConfig& c) { c.zDepth = 24; }, 1, 1},
        {"textureMode", [](BoardConfig& c) { c.textureMode = 1; }, 1, 1},
        {"alphaBuffer", [](BoardConfig& c) { c.alphaBuffer ^= 1; }, 1, 1},
        {"stencilBuffer", [](BoardConfig& c) { c.stencilBuffer ^= 1; }, 1, 1},
        {"offscreenBitmaps", [](BoardConfig& c) { c.offscreenBitmaps ^= 1; }, 1, 1},
        {"doubleBuffer", [](BoardConfig& c) { c.doubleBuffer ^= 1; }, 1, 1},
        {"hwOption", [](BoardConfig& c) { c.flags ^= BCF_HW_OPTION; }, 1, 1},
        {"syncSwap", [](BoardConfig& c) { c.syncSwapToVBlank ^= 1; }, 1, 1},
        {"dualMonitor", [](BoardConfig& c) { c.flags ^= BCF_DUAL_MONITOR; }, 1, 1},
        {"mipmap", [](BoardConfig& c) { c.flags ^= BCF_MIPMAP; }, 1, 1},
        {"aaLines", [](BoardConfig& c) { c.flags ^= BCF_AA_LINES; }, 1, 0},
        {"modelImprecision", [](BoardConfig& c) { c.modelImprecision ^= 1; }, 1, 0},
        {"cadModeler", [](BoardConfig& c) { c.cadModelerOptimize ^= 1; }, 1, 0},
        {"stereoMode", [](BoardConfig& c) { c.stereoMode = 2; }, 1, 1},
        {"aaLinesAndStereo", [](BoardConfig& c) { c.flags ^= BCF_AA_LINES; c.stereoMode = 2; }, 1, 1},
        {"cadAndZDepth", [](BoardConfig& c) { c.cadModelerOptimize ^= 1; c.zDepth = 24; }, 1, 1},
        {"notEdited", [](BoardConfig& c) {
             c.screenWidth = 1; c.totalMemoryKB = 5; c.stereoAdjust = 2.0f;
             c.flags ^= BCF_STEREO | BCF_STEREO_VALID; c.op = 2;
         }, 0, 0},
    };
    for (const Change& ch : changes) {
        qrncp::BoardSettings s;
        s.LoadFromDriver(BoardConfig{});
        ch.apply(s.edited);
        EXPECT_EQ(s.IsChanged(), ch.changed) << ch.name;
        EXPECT_EQ(s.restartNeeded, ch.restart) << ch.name;
    }
}

}  // namespace
