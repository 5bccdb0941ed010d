// What the lgi layer reads and loads of the board through the display
// driver's device record. The dither load on 1, 2 and 4 rasterizers and a
// split board: the display driver writes the matrix into its dither tile, one
// rectangle packet moves the tile into every rasterizer's pattern registers
// (one copy for each rasterizer's tile), and the driver's marker then says
// the registers hold it, so the load is not repeated until a 2D brush
// overwrites them. The page configuration's stereo flag puts the right
// eye's clip rectangles one drawing area down.
#include <algorithm>
#include <set>

#include "3d/validate/validate.h"
#include "gl/server/lgi/board_fixture.h"
#include "lgi/seams.h"
#include "vornix_surface.h"

namespace lgi_test {
namespace {

constexpr ULONG kDitherCommand = 0x02100006u;
constexpr ULONG kDitherInstruction = 0x001A0308u;
constexpr ULONG kMarker = 0xdeadbabeu;

class BoardSideTest : public LgiBoardTest {
  protected:
    ULONG& Marker() { return *pulGLPatternUniq(Pdev()); }
    // The first corners of the dither rectangles the rasterizers received
    // (a rectangle may reach more than one), every dither packet's head
    // checked on the way.
    std::set<ULONG> DitherCorners() {
        std::set<ULONG> corners;
        const ULONG pid = ulGLPidDither(Pdev());
        for (const auto& packets : Drain()) {
            for (const auto& p : packets) {
                if (p.command != kDitherCommand) continue;
                EXPECT_EQ(p.pids, std::vector<std::uint32_t>{pid});
                EXPECT_EQ(p.instructions, std::vector<std::uint32_t>{kDitherInstruction});
                for (std::size_t k = 0; k < p.primitives; ++k) corners.insert(p.vertex(k, 0));
            }
        }
        return corners;
    }
    // The tile's rectangle once for each rasterizer's tile: right of it with
    // two rasterizers, also below with more.
    std::set<ULONG> ExpectedCorners() {
        const DFB* pdfb = pdsurfGLDither(Pdev())->pdfb;
        auto packed = [](LONG x, LONG y) {
            return ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFF)) << 4;
        };
        const ULONG n = Queues();
        std::set<ULONG> want = {packed(pdfb->x, pdfb->y)};
        if (n > 1) want.insert(packed(pdfb->x + 128, pdfb->y));
        if (n > 2) {
            want.insert(packed(pdfb->x, pdfb->y + 128));
            want.insert(packed(pdfb->x + 128, pdfb->y + 128));
        }
        return want;
    }
};

TEST_F(BoardSideTest, MakeCurrentLoadsTheMatrixUntilA2DBrushTakesTheRegisters) {
    for (const BoardModel& m : kModels) {
        SCOPED_TRACE(m.name);
        Boot(m);
        ASSERT_NE(pdsurfGLDither(Pdev()), nullptr);
        // Without dithering nothing is loaded.
        N_SetStateBlockAttrWord(N_ATTR_DITHER, 0);
        Marker() = 0;
        N_MakeCurrent(ctx_);
        EXPECT_EQ(Marker(), 0u);
        EXPECT_TRUE(DitherCorners().empty());
        N_SetStateBlockAttrWord(N_ATTR_DITHER, 1);
        N_MakeCurrent(ctx_);  // the same context: the matrix is loaded
        EXPECT_EQ(Marker(), kMarker);
        EXPECT_EQ(DitherCorners(), ExpectedCorners());
        // The registers hold it: no second load.
        N_MakeCurrent(ctx_);
        EXPECT_TRUE(DitherCorners().empty());
        // A 2D brush overwrote them: loaded again.
        Marker() = 7;
        N_MakeCurrent(ctx_);
        EXPECT_EQ(Marker(), kMarker);
        EXPECT_EQ(DitherCorners(), ExpectedCorners());
        EXPECT_TRUE(vnx::debug::take().find("not available") == std::string::npos);
    }
}

// The dither validation loads the matrix for the depths and modes that
// dither, and never with texturing or at 24 and 32 bits.
TEST_F(BoardSideTest, ValidationLoadsTheMatrixWhereItDithers) {
    Boot(kSolo);
    GLBuffer d{};
    ctx_->buffers[1].pBuffer = &d;
    N_SetStateBlockAttrWord(163, 4);
    struct Case {
        ULONG bits, index, dither, texture;
        bool loads;
    } const cases[] = {
        {8, 0, 1, 0, true},   {16, 0, 1, 0, true}, {8, 1, 1, 0, true},
        {32, 0, 1, 0, false}, {8, 0, 0, 0, false}, {8, 0, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " index " << c.index << " dither " << c.dither
                                        << " texture " << c.texture);
        d.bitsPerPixel = c.bits;
        N_SetStateBlockAttrWord(N_ATTR_COLOUR_INDEX_MODE, c.index);
        N_SetStateBlockAttrWord(N_ATTR_DITHER, c.dither);
        N_SetStateBlockAttrWord(N_ATTR_TEXTURE, c.texture);
        Marker() = 0;
        _NValidate(ctx_, N_DIRTY_FRAGMENT | N_DIRTY_BUFFERS);
        EXPECT_EQ(Marker() == kMarker, c.loads);
        EXPECT_EQ(DitherCorners().empty(), !c.loads);
    }
    N_SetStateBlockAttrWord(N_ATTR_TEXTURE, 0);
    ctx_->buffers[1].pBuffer = nullptr;
}

// A right colour buffer drawn on stereo pages clips one drawing area down;
// on plain pages, or for a left buffer, where the window is.
TEST_F(BoardSideTest, RightBuffersClipOneDrawingAreaDownOnStereoPages) {
    Boot(kSolo);
    PAGECONFIG* pcfg = pGLPageConfig(Pdev());
    ASSERT_NE(pcfg, nullptr);
    const ULONG saved = pcfg->fStereo;
    const ULONG cy = static_cast<ULONG>(lGLSurfaceHeight(Pdev()));
    ASSERT_GT(cy, 0u);
    GLBuffer d{};
    d.bitsPerPixel = 32;
    ctx_->buffers[0].pBuffer = &d;
    ctx_->buffers[8].pBuffer = &d;
    const LONG box[4] = {0, 0, 99, 49};
    N_SetStateBlockAttr(N_ATTR_CLIP_BOX, box);
    const ULONG rect[2] = {(10u << 16) | 5u, (40u << 16) | 60u};
    N_BindClipList(1, rect);
    struct Case {
        ULONG stereo, drawBuffer;  // draw-buffer bits: 0x1 front left, 0x2 front right
        ULONG dy;
    } const cases[] = {{0, 0x2, 0}, {1, 0x2, cy}, {1, 0x1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stereo " << c.stereo << " draw " << c.drawBuffer);
        pcfg->fStereo = c.stereo;
        EXPECT_EQ(_NStereoPages(ctx_), c.stereo);
        N_SetStateBlockAttrWord(163, c.drawBuffer);
        _NValidate(ctx_, ctx_->dirty | N_DIRTY_CLIP_LIST | N_DIRTY_BUFFERS);
        EXPECT_EQ(ctx_->pulPackedClip[0], ((10u + c.dy) << 16) | 5u);
        EXPECT_EQ(ctx_->pulPackedClip[1], ((40u + c.dy) << 16) | 60u);
    }
    pcfg->fStereo = saved;
    ctx_->buffers[0].pBuffer = ctx_->buffers[8].pBuffer = nullptr;
}

}  // namespace
}  // namespace lgi_test
