// DrvMovePointer: position writes (once per new position), hiding and
// showing, the edges of the screen, a split board's two RAMDACs, the reset
// at mode changes, the queue kick after a move, and the cursor as the
// picture of the screen shows it.
#include <atomic>
#include <thread>

#include "display/pointer/pointer_fixture.h"

namespace vnx::test {
namespace {

const MonoArt kBlock = {8, {"bbbbbbbb", "bwwwwwwb", "bwiiiiwb", "bbbbbbbb"}};

TEST_F(PointerTest, MovesWritePositionsHideAndShow) {
    Boot();
    auto mask = MaskOf(kBlock);
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 5, 7, 100, 50), SPS_ACCEPT_NOEXCLUDE);
    Writes(0);
    struct Step {
        LONG x, y;
        std::vector<std::string> writes;
    };
    const Step steps[] = {
        {100, 50, {}},  // where it is: nothing
        {101, 50, {Position(96, 43)}},
        {-1, 0, {"30=14"}},  // hidden
        {-1, 0, {"30=14"}},
        {101, 50, {"30=35"}},  // shown again where it was
        {300, 400, {Position(295, 393)}},
        {2, 3, {Position(-3, -4)}},          // past the top-left corner
        {1023, 767, {Position(1018, 760)}},  // at the bottom-right one
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::to_string(s.x) + ", " + std::to_string(s.y));
        ppdev->cFlushNow = 0;
        Move(s.x, s.y);
        EXPECT_EQ(Writes(0), s.writes);
        EXPECT_EQ(board().cursor(0).on, s.x != -1);
        EXPECT_EQ(ppdev->ptr.fEnabled, s.x != -1 ? 1u : 0u);
        EXPECT_EQ(ppdev->cFlushNow, 40) << "the next queue updates kick the board at once";
    }
    // A new shape forgets the position: the first move writes it again.
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 5, 7, 1023, 767), SPS_ACCEPT_NOEXCLUDE);
    EXPECT_EQ(Writes(0).at(11), Position(1018, 760));
    Move(1023, 767);
    EXPECT_TRUE(Writes(0).empty());
}

// A shape given with x = -1 is loaded hidden; the next move shows it.
TEST_F(PointerTest, ShapeGivenHiddenWaitsForAMove) {
    Boot();
    auto mask = MaskOf(kBlock);
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 0, 0, -1, 0), SPS_ACCEPT_NOEXCLUDE);
    EXPECT_FALSE(board().cursor(0).on);
    Writes(0);
    Move(10, 20);
    EXPECT_EQ(Writes(0), (std::vector<std::string>{Position(10, 20), "30=35"}));
}

// A shape without a mask hides the cursor: later moves write only the
// position and the old shape does not come back; the next shape with a mask
// shows again, and so does a move after a hiding move.
TEST_F(PointerTest, ShapeWithoutMaskStaysHiddenThroughMoves) {
    Boot();
    auto mask = MaskOf(kBlock);
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 0, 0, 100, 50), SPS_ACCEPT_NOEXCLUDE);
    ASSERT_TRUE(board().cursor(0).on);
    ASSERT_EQ(SetShape(nullptr, nullptr, nullptr, 0, 0, 100, 50), SPS_ACCEPT_NOEXCLUDE);
    EXPECT_FALSE(board().cursor(0).on);
    Writes(0);
    Move(120, 60);
    EXPECT_EQ(Writes(0), std::vector<std::string>{Position(120, 60)});
    Move(-1, 0);
    Move(130, 70);
    EXPECT_FALSE(board().cursor(0).on);
    EXPECT_EQ(ppdev->ptr.fEnabled, 0u);
    Writes(0);
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 0, 0, 140, 80), SPS_ACCEPT_NOEXCLUDE);
    EXPECT_TRUE(board().cursor(0).on);
    Move(-1, 0);
    Move(150, 90);
    EXPECT_TRUE(board().cursor(0).on);
}

// The mode is set again: the pointer state is reset, so the next move
// writes its position even where the pointer was.
TEST_F(PointerTest, ModeChangeResetsThePointer) {
    Boot();
    auto mask = MaskOf(kBlock);
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 0, 0, 40, 40), SPS_ACCEPT_NOEXCLUDE);
    auto assertMode = reinterpret_cast<PFN_DrvAssertMode>(device_->function(INDEX_DrvAssertMode));
    ASSERT_TRUE(assertMode(device_->dhpdev(), FALSE));
    ASSERT_TRUE(assertMode(device_->dhpdev(), TRUE));
    EXPECT_EQ(ppdev->ptr.lastX, -1);
    EXPECT_EQ(ppdev->ptr.originY, 0);
    Writes(0);
    Move(40, 40);
    EXPECT_EQ(Writes(0), std::vector<std::string>{Position(40, 40)});
}

// The pointer count that makes queue updates kick the board is the queue
// code's, which it counts down under the device lock: a move waits for it.
TEST_F(PointerTest, MoveSetsTheQueueKickUnderTheDeviceLock) {
    Boot();
    auto mask = MaskOf(kBlock);
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 0, 0, 40, 40), SPS_ACCEPT_NOEXCLUDE);
    ppdev->cFlushNow = 0;
    EnterCriticalSection(&ppdev->csEscape);
    std::atomic<bool> moved{false};
    std::thread mover([&] {
        Move(50, 50);
        moved = true;
    });
    Sleep(50);
    EXPECT_FALSE(moved.load());
    EXPECT_EQ(std::atomic_ref<LONG>(ppdev->cFlushNow).load(), 0);
    LeaveCriticalSection(&ppdev->csEscape);
    mover.join();
    EXPECT_EQ(ppdev->cFlushNow, 40);
}

// Two screens side by side: each RAMDAC holds the shape, the one under the
// pointer shows it, with x counted from its own screen's left edge. The
// first pixel of the second screen is the second RAMDAC's.
TEST_F(PointerTest, SplitBoardCursorFollowsThePointer) {
    Boot(2);
    ASSERT_TRUE(ppdev->layout.bSplitScreen);
    auto mask = MaskOf(kBlock);
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 1, 2, 100, 100), SPS_ACCEPT_NOEXCLUDE);
    auto shape = Writes(1);
    EXPECT_EQ(shape.front(), "30=14");
    EXPECT_EQ(shape.back(), "image") << "the second screen holds the shape too";
    EXPECT_EQ(Writes(0).back(), "30=35");
    EXPECT_EQ(board().cursor(1).colour(3), 0xFFFFFFu);

    struct Step {
        LONG x;
        std::vector<std::string> first, second;
        bool onFirst;
    };
    const Step steps[] = {
        {1023, {Position(1022, 98)}, {}, true},
        {1024, {"30=14"}, {Position(-1, 98), "30=35"}, false},
        {1030, {}, {Position(5, 98)}, false},
        // Back on the first screen at the same relative x: its RAMDAC has
        // not seen this position yet, so it is written.
        {6, {Position(5, 98), "30=35"}, {"30=14"}, true},
        {2046, {"30=14"}, {Position(1021, 98), "30=35"}, false},
        {-1, {}, {"30=14"}, false},
        {2000, {}, {Position(975, 98), "30=35"}, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.x);
        Move(s.x, 100);
        EXPECT_EQ(Writes(0), s.first);
        EXPECT_EQ(Writes(1), s.second);
        EXPECT_EQ(board().cursor(0).on, s.x != -1 && s.onFirst);
        EXPECT_EQ(board().cursor(1).on, s.x != -1 && !s.onFirst);
    }

    // A colour pointer on a split board: both RAMDACs loaded, one answer.
    TestBitmap cmask(4, 2, BMF_1BPP), colour(4, 1, BMF_16BPP);
    for (LONG x = 0; x < 4; ++x) colour.pixel(x, 0, 0x7C00);
    EXPECT_EQ(SetShape(cmask.pso, colour.pso, nullptr, 0, 0, 1500, 10), SPS_ACCEPT_NOEXCLUDE);
    // Red and the grey entry: red is the brighter, colour 3.
    EXPECT_EQ(board().cursor(0).colour(3), 0xF80000u);
    EXPECT_EQ(board().cursor(1).colour(3), 0xF80000u);
    EXPECT_EQ(Code(board().cursor(1), 0, 0), 3u);
    EXPECT_FALSE(board().cursor(0).on);
    EXPECT_TRUE(board().cursor(1).on);
}

// The picture of the screen: board memory with each RAMDAC's cursor over
// it, where the hardware shows it.
TEST_F(PointerTest, CursorIsSeenInThePictureAtItsPlace) {
    Boot(2);
    const DFB* pdfb = ppdev->pdsurfScreen->pdfb;
    const LONG cx = ppdev->cxScreen, cy = ppdev->cyScreen;
    auto picture = [&](int b) {
        auto rgb =
            board().read_rgb(b, static_cast<std::uint16_t>(pdfb->pid), pdfb->x, pdfb->y, cx, cy);
        board().cursor(b).overlay(rgb.data(), cx, cy, static_cast<size_t>(cx));
        return rgb;
    };
    auto at = [&](const std::vector<std::uint32_t>& v, LONG x, LONG y) {
        return v[static_cast<size_t>(y) * cx + x];
    };
    auto mask = MaskOf(kBlock);
    // Hot spot (2, 1): the block's top-left lies at (x - 2, y - 1).
    ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 2, 1, 300, 200), SPS_ACCEPT_NOEXCLUDE);
    auto p = picture(0);
    EXPECT_EQ(at(p, 298, 199), 0x000000u);  // black frame over the cleared screen...
    EXPECT_EQ(at(p, 299, 200), 0xFFFFFFu);  // white
    EXPECT_EQ(at(p, 300, 201), 0x808080u);  // inverting, shown in mid grey
    EXPECT_EQ(at(p, 304, 201), 0xFFFFFFu);
    // Around it the screen as board memory holds it.
    Move(300, 200);
    const auto q = picture(0);
    EXPECT_EQ(at(q, 297, 199), at(board().read_rgb(0, static_cast<std::uint16_t>(pdfb->pid),
                                                   pdfb->x, pdfb->y, cx, cy),
                                  297, 199));

    // Cut off at the right edge of the second screen.
    Move(2046, 766);
    p = picture(0);
    EXPECT_EQ(at(p, 299, 200), 0u) << "the first screen no longer shows it";
    p = picture(1);
    EXPECT_EQ(at(p, 1020, 765), 0x000000u);
    EXPECT_EQ(at(p, 1021, 766), 0xFFFFFFu);
    EXPECT_EQ(at(p, 1023, 767), 0x808080u);
}

}  // namespace
}  // namespace vnx::test
