// The engine's own pointer, drawn when the driver has no pointer entries or
// declines a shape: drawn through the driver's DrvCopyBits with the
// Windows mask rules, cut off at the screen's edges, and the screen under
// it put back when it moves, changes or hides.
#include <gtest/gtest.h>

#include <random>

#include "engine_fakedev.h"

namespace {

using ref::Bitmap;

class EnginePointer : public ref::FakeDeviceTest {
protected:
    SURFOBJ* screen() const {
        return reinterpret_cast<FakeSurface*>(drv_->psoScreen->dhsurf)->psoShadow;
    }
    std::vector<ULONG> pixels() const {
        std::vector<ULONG> v;
        for (LONG y = 0; y < 480; ++y)
            for (LONG x = 0; x < 640; ++x) v.push_back(ref::get(screen(), x, y));
        return v;
    }
    ULONG at(LONG x, LONG y) const { return ref::get(screen(), x, y); }
};

TEST_F(EnginePointer, DrawsItsOwnPointerAndPutsTheScreenBack) {
    std::mt19937 rng(7);
    for (LONG y = 0; y < 480; ++y)
        for (LONG x = 0; x < 640; ++x) ref::set(screen(), x, y, rng() & 0xFF);
    const std::vector<ULONG> before = pixels();
    auto d = [&](LONG x, LONG y) { return before[static_cast<size_t>(y) * 640 + x]; };

    // 3 x 2: AND rows 010, 110 over XOR rows 100, 011.
    Bitmap mask(3, 4, BMF_1BPP);
    const int bits[4][3] = {{0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 1}};
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 3; ++x) mask.set(x, y, bits[y][x]);
    // Hot spot (1, 1) at the top-right corner: only its lower row's first
    // two pixels lie on the screen.
    EXPECT_EQ(device_->set_pointer_shape(mask.pso, nullptr, nullptr, 1, 1, 639, 0), SPS_DECLINE);
    EXPECT_TRUE(device_->software_pointer());
    EXPECT_EQ(at(638, 0), d(638, 0));         // AND 1, XOR 0: the screen
    EXPECT_EQ(at(639, 0), d(639, 0) ^ 0xFF);  // AND 1, XOR 1: inverted
    EXPECT_EQ(at(637, 0), d(637, 0));

    device_->move_pointer(10, 10);
    EXPECT_EQ(at(639, 0), d(639, 0));
    EXPECT_EQ(at(9, 9), 0xFFu);               // AND 0, XOR 1: white
    EXPECT_EQ(at(10, 9), d(10, 9));
    EXPECT_EQ(at(11, 9), 0u);                 // AND 0, XOR 0: black
    EXPECT_EQ(at(10, 10), d(10, 10) ^ 0xFF);

    // A colour pointer through its translation: opaque pixels take the
    // colour, AND-masked ones XOR it onto the screen.
    Bitmap cmask(2, 2, BMF_1BPP), colour(2, 1, BMF_8BPP);
    cmask.set(1, 0, 1);
    colour.set(0, 0, 1);
    colour.set(1, 0, 2);
    const ULONG vector[3] = {0, 0x40, 0x80};
    ref::Xlate xlate(vnx::engine::create_xlate_vector(vector, 3));
    EXPECT_EQ(device_->set_pointer_shape(cmask.pso, colour.pso, xlate.get(), 0, 0, 100, 200),
              SPS_DECLINE);
    EXPECT_EQ(at(9, 9), d(9, 9)) << "the old pointer is gone";
    EXPECT_EQ(at(100, 200), 0x40u);
    EXPECT_EQ(at(101, 200), d(101, 200) ^ 0x80);

    device_->move_pointer(-1, 0);
    EXPECT_FALSE(device_->software_pointer());
    EXPECT_EQ(pixels(), before);
    // Hidden, it stays hidden until a move shows it.
    device_->move_pointer(50, 60);
    EXPECT_EQ(at(50, 60), 0x40u);
    device_->move_pointer(-1, 0);
    EXPECT_EQ(pixels(), before);
}

}  // namespace
