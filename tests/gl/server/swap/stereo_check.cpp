// The board's stereo setting reaches the matrices: on a board running
// stereo a projection the client sends goes to the lgi layer as one
// projection per eye, taken apart by the board's stereo values; on a board
// without stereo the second eye's matrix is never written. The server here
// is built from its sources and started on the driver's device, so the lgi
// layer it hands the matrices to is the test's own.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gl/server/state/gl_client.h"
#include "glhookslots.h"
#include "glpdev.h"
#include "glsrv.h"
#include "lgi/lgi.h"

namespace {

using glx::F;

class StereoTest : public glsrv_client::GLServerInProgramTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StereoTest, ProjectionPerEyeOnlyOnAStereoBoard) {
    const bool bStereo = GetParam();
    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = 2;
    cfg.memoryClass = 2;  // room for both eyes' buffers
    cfg.stereo = bStereo;
    if (bStereo) {
        // (The driver keeps the stereo values zero while stereo is off.)
        cfg.boardConfig.stereoAdjust = 0.05f;
        cfg.boardConfig.stereoOffset = 0.1f;
        cfg.boardConfig.stereoTranslate = 0.5f;
        cfg.boardConfig.flags |= BCF_STEREO;
    }
    ASSERT_NO_FATAL_FAILURE(Start(cfg));
    ASSERT_EQ((pGLBoardConfig(ppdev())->flags & BCF_STEREO) != 0, bStereo) << "the board runs stereo";
    constexpr ULONG kAttrSecondEye = N_ATTR_EXTRA_MATRIX, kAttrProjection = N_ATTR_MATRIX_STACK1;
    const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_EQ(Attr(kAttrSecondEye, 16), identity);

    // A symmetric perspective frustum: near 1, far 10.
    const double frustum[6] = {-1, 1, -1, 1, 1, 10};
    glx::Bytes body;
    for (double d : frustum) {
        std::uint64_t u;
        std::memcpy(&u, &d, 8);
        glx::Put32(body, static_cast<std::uint32_t>(u));
        glx::Put32(body, static_cast<std::uint32_t>(u >> 32));
    }
    Render(glx::Stream({glx::Render("MatrixMode", {0x1701}), glx::RenderRequest(175, 48, body)}));
    EXPECT_EQ(Error(), 0u);
    const std::vector<float> eye1 = Attr(kAttrProjection, 16), eye2 = Attr(kAttrSecondEye, 16);
    if (bStereo) {
        // Two eyes, each shifted its own way.
        EXPECT_NE(eye2, identity);
        EXPECT_NE(eye1, eye2);
    } else {
        EXPECT_EQ(eye2, identity);
        EXPECT_NE(eye1, identity);
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, StereoTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "stereo" : "mono"; });

}  // namespace
