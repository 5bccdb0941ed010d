// Solid fills: the pixels each raster operation leaves, the packets (batches
// of 512, constants, the reduced plane mask, routing by tiles), stereo
// passes, the unit switched off for ROPs that read the destination, the ROP
// that draws nothing, the colour conversions, and the clip wrappers.
#include "display/fill/fill_fixture.h"

namespace vnx::test {
namespace {

class SolidFill : public FillTest {};

TEST_F(SolidFill, EachRopCombinesColourAndDestination) {
    Boot();
    SURFOBJ* pso = Target(48, 24);
    const std::vector<ULONG> d = Random(48 * 24, 7);
    struct Row {
        ULONG rop3;
        ULONG colour;
    };
    const Row rows[] = {{0xF0, 0x123456}, {0x5A, 0xFF00FF}, {0x00, 0x777777}, {0xFF, 0x0},
                        {0xA0, 0x0F0F0F}, {0x0F, 0x00FF00}, {0x50, 0xABCDEF}, {0xFA, 0x010203}};
    RECTL rcl[2] = {{3, 2, 20, 9}, {30, 10, 48, 24}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rop3);
        Write(pso, d);
        vFillSolid(pso, row.rop3 | row.rop3 << 8, ulRop3Info(row.rop3), row.colour, rcl, 2);
        Flush();
        const std::vector<ULONG> out = ReadAll(pso);
        for (LONG y = 0; y < 24; ++y)
            for (LONG x = 0; x < 48; ++x) {
                const bool inside = (x >= 3 && x < 20 && y >= 2 && y < 9) || (x >= 30 && y >= 10);
                const ULONG want =
                    inside ? Rop3Ref(row.rop3, row.colour, 0, d[y * 48 + x]) : d[y * 48 + x];
                ASSERT_EQ(out[y * 48 + x] & 0xFFFFFF, want & 0xFFFFFF) << x << "," << y;
            }
    }
}

TEST_F(SolidFill, ThousandRectanglesMakeTwoPackets) {
    Boot();
    SURFOBJ* pso = Target(100, 10);
    std::vector<RECTL> rcl;
    for (int i = 0; i < 1000; ++i) rcl.push_back(RECTL{i % 100, i / 100, i % 100 + 1, i / 100 + 1});
    vFillSolid(pso, 0xF0F0, 0, 0xABCDEF, rcl.data(), static_cast<ULONG>(rcl.size()));
    Flush();
    const auto packets = Packets(0, 0x1026);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 512u);
    EXPECT_EQ(packets[1].primitives, 488u);
    for (ULONG p : ReadAll(pso)) ASSERT_EQ(p, 0xABCDEFu);
}

// Black and white: 0x00 sends the constant 0 (command bit 16), 0xFF the
// plane mask (bit 18).
TEST_F(SolidFill, ConstantOperationsSendTheirConstants) {
    Boot();
    SURFOBJ* pso = Target(8, 8);
    RECTL rcl = {0, 0, 8, 8};
    vFillSolid(pso, 0x0000, 0x40, 0, &rcl, 1);
    vFillSolid(pso, 0xFFFF, 0x80, 0xFFFFFF, &rcl, 1);
    Flush();
    const auto packets = Packets(0, 0x1026);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].command, 0x02111026u);
    EXPECT_EQ(packets[0].instructions, std::vector<std::uint32_t>{0x103A0348u});
    EXPECT_EQ(packets[0].constants, (std::vector<std::uint32_t>{0, 0}));
    EXPECT_EQ(packets[1].command, 0x02141026u);
    EXPECT_EQ(packets[1].instructions, std::vector<std::uint32_t>{0x103C0348u});
    EXPECT_EQ(packets[1].constants, (std::vector<std::uint32_t>{0xFFFFFF, 0xFFFFFF}));
    // The clip pair is the surface's origin to origin + its size (not the
    // drawing area's: a smaller bitmap's neighbours stay out of reach).
    const DFB* pdfb = Dfb(pso);
    EXPECT_EQ(packets[0].clipMin, ulClipWord(pdfb->x, pdfb->y));
    EXPECT_EQ(packets[0].clipMax, ulClipWord(pdfb->x + 8, pdfb->y + 8));
    for (ULONG p : ReadAll(pso)) EXPECT_EQ(p, 0xFFFFFFu);
}

TEST_F(SolidFill, ColoursTakeTheBoardsForm) {
    Boot(1, 1, 16);
    SURFOBJ* pso = Target(8, 8);
    RECTL rcl = {0, 0, 8, 8};
    vFillSolid(pso, 0xF0F0, 0, 0x7FFF, &rcl, 1);
    Flush();
    const auto packets = Packets(0, 0x1026);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].constants, std::vector<std::uint32_t>{0x7C7C7C});
    for (ULONG p : ReadAll(pso)) EXPECT_EQ(p, 0x7FFFu);

    // 8 bits a pixel converts only outside the indexed colour model.
    PDEV pdev{};
    pdev.iBitmapFormat = BMF_8BPP;
    pdev.ulColourModel = COLOUR_MODEL_DIRECT;
    EXPECT_EQ(ulFillColour(&pdev, 0xFF), 0xE0E060u);
    pdev.ulColourModel = COLOUR_MODEL_INDEXED;
    EXPECT_EQ(ulFillColour(&pdev, 0xFF), 0xFFu);
    pdev.iBitmapFormat = BMF_32BPP;
    pdev.ulColourModel = COLOUR_MODEL_DIRECT;
    EXPECT_EQ(ulFillColour(&pdev, 0x123456), 0x123456u);
}

// With overlay GL contexts on a 16-bit screen the fill goes through the
// staging register and an AND with the reduced plane mask: the overlay bit
// of the pixels ends up clear.
TEST_F(SolidFill, OverlayContextsReduceThePlaneMask) {
    Boot(1, 1, 16);
    SURFOBJ* pso = Target(8, 8);
    ppdev->cGLOverlayContexts = 1;
    Write(pso, std::vector<ULONG>(64, 0x8000));
    RECTL rcl = {0, 0, 8, 4};
    vFillSolid(pso, 0x5A5A, ulRop3Info(0x5A), 0x001F, &rcl, 1);
    RECTL rcl2 = {0, 4, 8, 8};
    vFillSolid(pso, 0xF0F0, 0, 0xFFFF, &rcl2, 1);
    Flush();
    ppdev->cGLOverlayContexts = 0;
    const auto packets = Packets(0, 0x1026);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].command, 0x02241026u);
    ASSERT_EQ(packets[0].instructions.size(), 2u);
    EXPECT_EQ(packets[0].instructions[1], 0x1012F340u);
    EXPECT_EQ(packets[0].constants.back(), 0x7FFFFFu);
    EXPECT_EQ(packets[1].instructions, std::vector<std::uint32_t>{0x10360348u});
    EXPECT_EQ(packets[1].constants.back(), 0x7FFFFFu);
    const auto out = ReadAll(pso);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(out[i], 0x001Fu) << i;
    for (int i = 32; i < 64; ++i) EXPECT_EQ(out[i], 0x7FFFu) << i;
}

// In a stereo mode every rectangle is drawn again cyScreen lower.
TEST_F(SolidFill, StereoDrawsTheSecondEyeBelow) {
    ASSERT_NO_FATAL_FAILURE(BootStereo());
    SURFOBJ* pso = Target(16, 2 * 480);
    RECTL rcl = {2, 3, 6, 5};
    vFillSolid(pso, 0xF0F0, 0, 0x00AA00, &rcl, 1);
    Flush();
    const auto packets = Packets(0, 0x1026);
    ASSERT_EQ(packets.size(), 2u);
    const DFB* pdfb = Dfb(pso);
    EXPECT_EQ(packets[1].clipMin, ulClipWord(pdfb->x, pdfb->y + 480));
    EXPECT_EQ(packets[1].vertex(0, 0), ulPackVertex(pdfb->x + 2, pdfb->y + 3 + 480));
    const auto out = ReadAll(pso);
    int drawn = 0;
    for (LONG y = 0; y < 960; ++y)
        for (LONG x = 0; x < 16; ++x) {
            const bool inside = x >= 2 && x < 6 && ((y >= 3 && y < 5) || (y >= 483 && y < 485));
            EXPECT_EQ(out[y * 16 + x], inside ? 0x00AA00u : 0u) << x << "," << y;
            drawn += inside;
        }
    EXPECT_EQ(drawn, 16);
}

// Routing: the first rectangle of a packet goes to every queue; one that
// straddles a tile boundary to the two queues of its tiles; one inside a
// tile only to its owner.
TEST_F(SolidFill, RectanglesGoToTheQueuesOfTheirTiles) {
    Boot(2);
    POINTL at{0, 0};
    SURFOBJ* pso = Target(512, 8, &at);
    RECTL rcl[3] = {{0, 0, 4, 4}, {120, 0, 136, 4}, {130, 0, 140, 4}};
    vFillSolid(pso, 0xF0F0, 0, 0x1, rcl, 3);
    Flush();
    const auto p0 = Packets(0, 0x1026), p1 = Packets(1, 0x1026);
    ASSERT_EQ(p0.size(), 1u);
    ASSERT_EQ(p1.size(), 1u);
    EXPECT_EQ(p0[0].primitives, 2u);
    EXPECT_EQ(p1[0].primitives, 3u);
    const auto out = Read(pso, RECTL{0, 0, 140, 4});
    for (LONG x = 0; x < 140; ++x) EXPECT_EQ(out[x], x < 4 || x >= 120 ? 1u : 0u) << x;
}

// A ROP that reads the destination switches the unit off for the fill; it
// is switched on again at the next render wait.
TEST_F(SolidFill, ReadingTheDestinationSwitchesTheUnitOff) {
    Boot();
    SURFOBJ* pso = Target(8, 8);
    RECTL rcl = {0, 0, 8, 8};
    vFillSolid(pso, 0x5A5A, ulRop3Info(0x5A), 0x1, &rcl, 1);
    EXPECT_EQ(Reg(0, VNX_REG_CONFIG) & FILL_DISABLE_UNIT, 0u);
    EXPECT_EQ(qm->fReenable, FILL_DISABLE_UNIT);
    EXPECT_EQ(qm->fAutoFlush.load(), 1u);
    Flush();
    EXPECT_EQ(Reg(0, VNX_REG_CONFIG) & FILL_DISABLE_UNIT, FILL_DISABLE_UNIT);
    EXPECT_EQ(qm->fDisabled, 0u);
}

// 0xAA draws nothing: no packet reaches the board and the flush thread is
// let in again.
TEST_F(SolidFill, NoOperationDrawsNothing) {
    Boot();
    SURFOBJ* pso = Target(8, 8);
    const auto d = Random(64, 3);
    Write(pso, d);
    RECTL rcl = {0, 0, 8, 8};
    vFillSolid(pso, 0xAAAA, ulRop3Info(0xAA), 0x1, &rcl, 1);
    EXPECT_EQ(qm->fAutoFlush.load(), 1u);
    Flush();
    EXPECT_TRUE(Packets(0, 0x1026).empty());
    EXPECT_EQ(ReadAll(pso), d);
}

// The clip wrapper: no clip, trivial, a rectangle (overlapping or not), and
// a region of more rectangles than one enumeration batch holds.
TEST_F(SolidFill, ClipWrappersFillWhatTheClipLeaves) {
    Boot();
    SURFOBJ* pso = Target(128, 64);
    RECTL dst = {8, 4, 120, 60};
    std::vector<RECTL> region;
    for (LONG i = 0; i < 60; ++i)
        region.push_back(RECTL{(i % 10) * 12, (i / 10) * 10, (i % 10) * 12 + 7, (i / 10) * 10 + 6});
    const RECTL rclClip = {100, 50, 200, 200}, rclOutside = {0, 61, 128, 64};
    struct Row {
        const char* name;
        CLIPOBJ* pco;
        std::vector<RECTL> allowed;  // the clip region (dst is applied too)
    };
    const Row rows[] = {
        {"none", nullptr, {RECTL{0, 0, 128, 64}}},
        {"trivial", vnx::engine::create_trivial_clip(dst), {RECTL{0, 0, 128, 64}}},
        {"rect", vnx::engine::create_clip(&rclClip, 1), {rclClip}},
        {"empty rect", vnx::engine::create_clip(&rclOutside, 1), {}},
        {"complex", vnx::engine::create_clip(region.data(), static_cast<ULONG>(region.size())),
         region},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Write(pso, std::vector<ULONG>(128 * 64, 0));
        RECTL rclDst = dst;
        vFillSolidClipped(pso, row.pco, 0xF0F0, 0, 0x5, &rclDst);
        Flush();
        const auto out = ReadAll(pso);
        for (LONG y = 0; y < 64; ++y)
            for (LONG x = 0; x < 128; ++x) {
                bool in = x >= dst.left && x < dst.right && y >= dst.top && y < dst.bottom;
                bool allowed = false;
                for (const RECTL& r : row.allowed)
                    allowed |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                ASSERT_EQ(out[y * 128 + x], in && allowed ? 5u : 0u) << x << "," << y;
            }
        vnx::engine::delete_clip(row.pco);
    }
}

}  // namespace
}  // namespace vnx::test
