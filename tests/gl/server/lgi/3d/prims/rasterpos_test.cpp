// The raster position's render function: the vertex the pipe leaves stored
// as the window position (x from the window's left edge, y up from its
// bottom edge, z from 0 to 1, unrounded), its validity, colour, texture
// coordinates and distance.
#include <cstring>

#include "gl/server/lgi/board_fixture.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "glpdev.h"
#include "lgi/seams.h"

namespace lgi_test {
namespace {

class RasterPosTest : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        buf_.memoryKind = GLBUFFER_MEMORY_DEVICE;
        buf_.kind = GLBUFFER_FRONT_LEFT;
        buf_.bitsPerPixel = 32;
        buf_.x = 10;
        buf_.y = 20;
        buf_.cx = 200;
        buf_.cy = 100;
        GLBuffer* v[] = {&buf_, nullptr};
        N_BindBuffers(1, v);
        *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 1;
        common_.stripVertexCount = 1;
        common_.pClipPos = pos_;
        common_.pWindow = win_;
        common_.pEyePos = eye_;
        common_.pColours = colour_;
        common_.pTexWork = tex_;
        common_.pOutcodes = &outcode_;
        pipe_.pCommonPipeData = &common_;
    }
    // Runs the stage for a position (x, y, w) whose rounded window y is wy.
    void Run(float x, float y, float w, LONG wy) {
        *reinterpret_cast<float*>(pulAttr(ctx_, N_ATTR_TEXCOORD) + 1) = 0.625f;
        pos_[0] = x, pos_[1] = y, pos_[2] = 0.5f, pos_[3] = w;
        win_[0] = LONG(x), win_[1] = wy, win_[2] = 12345;
        _NRenderRasterPos(ctx_, &pipe_);
    }
    ULONG Valid() { return *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID); }
    float Pos(ULONG i) { return fNAttr(ctx_, N_ATTR_RASTER_POS, i); }

    GLBuffer buf_{};
    CommonPipeData common_{};
    N_Pipe pipe_{};
    float pos_[4] = {}, eye_[4] = {0, 0, -7.5f, 1}, colour_[4] = {0.25f, 0.5f, 0.75f, 1.0f}, tex_[4] = {1, 2, 3, 4};
    LONG win_[3] = {};
    ULONG outcode_ = 0;
};

TEST_F(RasterPosTest, WindowPositionAndValidityByPlace) {
    struct Case {
        const char* name;
        float x, y, w;
        ULONG valid;
        float wx, wy;  // window x, and y from the window's bottom
    } const cases[] = {
        // In whole pixels a row's top edge lies on a whole number of the
        // screen, as a column's left edge does: screen y 20 is the window's
        // top edge, window y 100, screen y 120 its bottom edge.
        {"inside, w 1", 15.7f, 60.2f, 1.0f, 1, 5.7f, 59.8f},
        {"inside, w 2", 40.0f, 80.0f, 2.0f, 1, 10.0f, 80.0f},
        {"window's top edge", 10.0f, 20.0f, 1.0f, 1, 0.0f, 100.0f},
        {"on the window's bottom edge", 10.0f, 120.0f, 1.0f, 1, 0.0f, 0.0f},
        {"right of the window: kept", 500.0f, 30.0f, 1.0f, 1, 490.0f, 90.0f},
        {"left of the window", 9.5f, 60.0f, 1.0f, 0, 0, 0},
        {"w of zero: the origin of the screen", 50.0f, 60.0f, 0.0f, 0, 0, 0},
        {"w of minus zero", 50.0f, 60.0f, -0.0f, 0, 0, 0},
        {"past the window's bottom", 50.0f, 121.0f, 1.0f, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Run(c.x, c.y, c.w, LONG(c.y / (c.w == 0.0f ? 1.0f : c.w)));
        ASSERT_EQ(Valid(), c.valid);
        if (c.valid == 0) continue;
        EXPECT_NEAR(Pos(0), c.wx, 1e-4f);
        EXPECT_NEAR(Pos(1), c.wy, 1e-4f);
        EXPECT_FLOAT_EQ(Pos(2), 12345.0f / 16777215.0f);
        EXPECT_EQ(pulAttr(ctx_, N_ATTR_RASTER_POS)[3], F(c.w));
        // The distance from the eye, never negative.
        EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_DISTANCE, 0), 7.5f);
        EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_COLOUR, 2), 0.75f);
        // Texturing is off: still the pipe's texture coordinates (generated
        // and through the texture matrix), not the current ones.
        EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_TEXCOORD, 1), tex_[1]);
        EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_TEXCOORD, 3), tex_[3]);
    }
}

TEST_F(RasterPosTest, ClippedVertexIsInvalidAndKeepsTheOldValues) {
    Run(15.0f, 60.0f, 1.0f, 60);
    ASSERT_EQ(Valid(), 1u);
    outcode_ = 0x4;
    colour_[0] = 0.0f;
    Run(30.0f, 70.0f, 1.0f, 70);
    EXPECT_EQ(Valid(), 0u);
    EXPECT_EQ(Pos(0), 5.0f);
    EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_COLOUR, 0), 0.25f);
}

TEST_F(RasterPosTest, NoVertexLeavesThePositionInvalid) {
    Run(15.0f, 60.0f, 1.0f, 60);
    ASSERT_EQ(Valid(), 1u);
    common_.stripVertexCount = 0;
    Run(30.0f, 70.0f, 1.0f, 70);
    EXPECT_EQ(Valid(), 0u);
}

TEST_F(RasterPosTest, ValidityAndPositionUseOneY) {
    // The rounded window y says row 50 of the window, the position says a
    // row past its bottom: the stored y would be negative, so invalid.
    Run(50.0f, 121.5f, 1.0f, 70);
    EXPECT_EQ(Valid(), 0u);
    // And the other way round: the position decides the stored row.
    Run(50.0f, 70.0f, 1.0f, 125);
    ASSERT_EQ(Valid(), 1u);
    EXPECT_EQ(Pos(1), 50.0f);
}

TEST_F(RasterPosTest, IndexModeStoresTheIndex) {
    *pulAttr(ctx_, N_ATTR_COLOUR_INDEX_MODE) = 1;
    colour_[0] = 42.0f;
    Run(15.0f, 60.0f, 1.0f, 60);
    EXPECT_EQ(fNAttr(ctx_, N_ATTR_RASTER_INDEX, 0), 42.0f);
}

// On a board running stereo pages the right eye's image lies the surface's
// height below the left eye's: a raster position drawn into a right-eye
// buffer (front right, back right) is at the same window place as the one
// the left eye's buffer takes from the position that height higher.
class RasterPosStereoTest : public LgiBoardTest {};

TEST_F(RasterPosStereoTest, RightEyeBuffersTakeThePositionBelowTheLeftEye) {
    Boot(kSolo);
    pGLPageConfig(Pdev())->fStereo = 1;
    const LONG eye = _NSurfaceHeight(&dev_);
    ASSERT_GT(eye, 0);
    struct Row {
        const char* what;
        ULONG kind, drawCode;
        LONG yOffset;
    } const rows[] = {{"front left", GLBUFFER_FRONT_LEFT, 1, 0},
                      {"front right", GLBUFFER_FRONT_RIGHT, 2, eye},
                      {"back right", GLBUFFER_BACK_RIGHT, 8, eye}};
    GLBuffer bufs[3]{};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GLBuffer& buf = bufs[&r - rows];
        buf.memoryKind = GLBUFFER_MEMORY_DEVICE;
        buf.kind = r.kind;
        buf.bitsPerPixel = 32;
        buf.x = 10;
        buf.y = 20;
        buf.cx = 200;
        buf.cy = 100;
        GLBuffer* v[] = {&buf, nullptr};
        N_BindBuffers(1, v);
        *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = r.drawCode;
        CommonPipeData common{};
        float pos[4] = {40.0f, 60.0f + static_cast<float>(r.yOffset), 0.5f, 1.0f};
        float eyePos[4] = {0, 0, -1, 1}, colour[4] = {1, 1, 1, 1}, tex[4] = {0, 0, 0, 1};
        LONG win[3] = {40, 60 + r.yOffset, 0};
        ULONG outcode = 0;
        common.stripVertexCount = 1;
        common.pClipPos = pos;
        common.pWindow = win;
        common.pEyePos = eyePos;
        common.pColours = colour;
        common.pTexWork = tex;
        common.pOutcodes = &outcode;
        N_Pipe pipe{};
        pipe.pCommonPipeData = &common;
        _NRenderRasterPos(ctx_, &pipe);
        ASSERT_EQ(*pulAttr(ctx_, N_ATTR_RASTER_POS_VALID), 1u);
        EXPECT_NEAR(fNAttr(ctx_, N_ATTR_RASTER_POS, 0), 30.0f, 1e-4f);
        EXPECT_NEAR(fNAttr(ctx_, N_ATTR_RASTER_POS, 1), 60.0f, 1e-4f);
    }
}

}  // namespace
}  // namespace lgi_test
