// The engine and the hardware cursor: shapes the driver takes are shown by
// the RAMDAC and moved through DrvMovePointer; shapes it declines the
// engine draws into the screen itself, putting back what they covered.
#include "display/pointer/pointer_fixture.h"

namespace vnx::test {
namespace {

TEST_F(PointerTest, EngineDrawsThePointersTheDriverDeclines) {
    Boot();
    // 72 x 72 white: larger than the cursor. (The picture widens 5-5-5.)
    TestBitmap big(72, 144, BMF_1BPP);
    for (LONG y = 0; y < 72; ++y)
        for (LONG x = 0; x < 72; ++x) {
            big.bit(x, y, false);
            big.bit(x, 72 + y, true);
        }
    EXPECT_EQ(device_->set_pointer_shape(big.pso, nullptr, nullptr, 0, 0, 100, 100), SPS_DECLINE);
    EXPECT_FALSE(board().cursor(0).on);
    EXPECT_TRUE(device_->software_pointer());
    Drain();
    EXPECT_EQ(Pixel(0, 100, 100), 0xFFFFFFu);
    EXPECT_EQ(Pixel(0, 171, 171), 0xFFFFFFu);
    EXPECT_EQ(Pixel(0, 172, 172), 0u);

    // Moved: the screen under its old place comes back.
    device_->move_pointer(300, 300);
    Drain();
    EXPECT_EQ(Pixel(0, 100, 100), 0u);
    EXPECT_EQ(Pixel(0, 300, 300), 0xFFFFFFu);
    device_->move_pointer(-1, 0);
    Drain();
    EXPECT_EQ(Pixel(0, 300, 300), 0u);
    EXPECT_FALSE(device_->software_pointer());
    device_->move_pointer(300, 300);

    // A shape the driver takes: the engine's pointer goes, the RAMDAC's
    // cursor shows, and moves reach the driver.
    auto mask = MaskOf({8, {"wwwwwwww"}});
    EXPECT_EQ(device_->set_pointer_shape(mask->pso, nullptr, nullptr, 0, 0, 300, 300),
              SPS_ACCEPT_NOEXCLUDE);
    Drain();
    EXPECT_EQ(Pixel(0, 300, 300), 0u);
    EXPECT_FALSE(device_->software_pointer());
    EXPECT_TRUE(board().cursor(0).on);
    Writes(0);
    device_->move_pointer(50, 60);
    EXPECT_EQ(Writes(0), std::vector<std::string>{Position(50, 60)});
}

}  // namespace
}  // namespace vnx::test
