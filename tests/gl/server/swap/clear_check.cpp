// Clears sent by an application through its request segment: ClearColor
// then Clear reach the board as rectangle fills whose constant is the clear
// colour packed for the colour buffer's depth.
#include <algorithm>
#include <cmath>

#include "server_on_device.h"

namespace {

using namespace glsrv_device;

constexpr ULONG kClearCommand = 0x2101026u;
constexpr ULONG GL_COLOR_BUFFER_BIT_ = 0x4000u;
constexpr ULONG GL_DITHER_ = 0x0BD0u;

struct ClearCase {
    ULONG bpp;
    bool bDither;
};

class ClearThroughServer : public ServerTest, public ::testing::WithParamInterface<ClearCase> {
  protected:
    void SetUp() override { Boot(1, GetParam().bpp); }

    // Every clear packet the board received since the last look: its constants.
    std::vector<std::vector<std::uint32_t>> ClearConstants() {
        Locked([&] {
            kz2FlushQueue(kz2GetQueueMgt(pso_->dhsurf, kz2GetBlockEnable(0, 0, 1, 1)), 0xFFFFFFFFu,
                          nullptr, nullptr);
            return 0;
        });
        std::vector<std::vector<std::uint32_t>> out;
        for (auto& p : board().take_packets(0))
            if (p.kind == vnx::board::ItemKind::Packet && p.command == kClearCommand)
                out.push_back(p.constants);
        return out;
    }
};

// The board's colour word of a clear colour, worked out here: each channel
// in its byte (red 16, green 8, blue 0) as the channel times the full value
// rounded to nearest. 32-bit buffers use 255; 16-bit buffers 127, or 124
// while dithering leaves room for the dither step, and keep 23 bits.
ULONG Expected(ULONG bpp, bool bDither, const float (&rgba)[4]) {
    const float full = bpp >= 24 ? 255.0f : bDither ? 124.0f : 127.0f;
    auto channel = [&](float c) {
        return static_cast<ULONG>(std::lround(std::clamp(c, 0.0f, 1.0f) * full));
    };
    const ULONG v = channel(rgba[0]) << 16 | channel(rgba[1]) << 8 | channel(rgba[2]);
    return bpp < 24 ? v & 0x7FFFFFu : v;
}

TEST_P(ClearThroughServer, ClearColourIsPackedIntoTheClearPackets) {
    ASSERT_NE(Window(), nullptr) << vnx::debug::take();
    const ClearCase& c = GetParam();
    ASSERT_EQ(RunStream(glx::Render(c.bDither ? "Enable" : "Disable", {GL_DITHER_})), 1);
    const float colours[][4] = {
        {1.0f, 1.0f, 1.0f, 1.0f},   {1.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 1.0f, 0.0f, 1.0f},   {0.0f, 0.0f, 1.0f, 1.0f},
        {0.25f, 0.5f, 0.75f, 0.5f}, {2.0f, -1.0f, 0.1f, 1.0f},  // outside [0, 1]: clamped
    };
    ClearConstants();
    for (const auto& rgba : colours) {
        SCOPED_TRACE(testing::Message() << rgba[0] << " " << rgba[1] << " " << rgba[2]);
        glx::Bytes stream = glx::Render(
            "ClearColor", {glx::F(rgba[0]), glx::F(rgba[1]), glx::F(rgba[2]), glx::F(rgba[3])});
        const glx::Bytes clear = glx::Render("Clear", {GL_COLOR_BUFFER_BIT_});
        stream.insert(stream.end(), clear.begin(), clear.end());
        ASSERT_EQ(RunStream(stream), 1);
        const auto got = ClearConstants();
        ASSERT_FALSE(got.empty());
        for (const auto& constants : got)
            EXPECT_EQ(constants, std::vector<std::uint32_t>{Expected(c.bpp, c.bDither, rgba)});
    }
    EXPECT_TRUE(board().take_errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, ClearThroughServer,
                         ::testing::Values(ClearCase{32, true}, ClearCase{32, false},
                                           ClearCase{16, true}, ClearCase{16, false}),
                         [](const ::testing::TestParamInfo<ClearCase>& i) {
                             return std::to_string(i.param.bpp) + "bpp" +
                                    (i.param.bDither ? "Dither" : "");
                         });

}  // namespace
