// What a context tells the lgi layer of its window, its visual and the
// screen, seen from a client: the viewport (clipped to the screen, with a
// matrix that keeps GL's window transform), the depth range, the visual's
// colour format, the user clip planes with their enables, and a clear over
// the whole window. The server is built into the program and started on the
// driver's device, so the lgi layer it drives is the program's own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "boardconfig.h"
#include "gl/server/state/gl_client.h"
#include "lgi/3d/context/context.h"
#include "kz2queue.h"
#include "lgi/lgi.h"
#include "platform/board.h"
#include "vornix_surface.h"

namespace {

using glx::F;

constexpr ULONG kClearColourBit = 0x4000, kDepthTest = 0x0B71;
constexpr LONG kWindowWidth = glsrv_client::kWindow.right - glsrv_client::kWindow.left;    // 256
constexpr LONG kWindowHeight = glsrv_client::kWindow.bottom - glsrv_client::kWindow.top;   // 192

// A double as the two words a render request carries.
void PutDouble(glx::Bytes& b, double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, 8);
    glx::Put32(b, static_cast<std::uint32_t>(u));
    glx::Put32(b, static_cast<std::uint32_t>(u >> 32));
}
glx::Bytes DepthRange(double n, double f) {
    glx::Bytes body;
    PutDouble(body, n);
    PutDouble(body, f);
    return glx::RenderRequest(174, 16, body);
}
glx::Bytes ClipPlane(ULONG plane, const double (&eq)[4]) {
    glx::Bytes body;
    for (double d : eq) PutDouble(body, d);
    glx::Put32(body, plane);
    return glx::RenderRequest(77, 36, body);
}

class ContextToLgiTest : public glsrv_client::GLServerInProgramTest {
  protected:
    // Where the lgi layer puts a point of normalised device coordinates in
    // the window: through the viewport matrix (stack 2's top) onto 0..1,
    // then across the clip box (attribute 50, inclusive corners, y from
    // the top; 0 at its bottom edge); z as the depth range (51) maps it.
    struct Window {
        double x, yUp, z;
    };
    Window Map(double nx, double ny, double nz) {
        const std::vector<float> m = Attr(N_ATTR_MATRIX_STACK2, 16);
        const std::vector<LONG> box = Attr<LONG>(N_ATTR_CLIP_BOX, 4);
        const std::vector<float> dr = Attr(N_ATTR_DEPTH_RANGE, 2);
        auto row = [&](int r) { return m[4 * r] * nx + m[4 * r + 1] * ny + m[4 * r + 2] * nz + m[4 * r + 3]; };
        const double x = box[0] + row(0) * (box[2] - box[0] + 1.0);
        const double yTop = (box[3] + 1.0) - row(1) * (box[3] - box[1] + 1.0);
        const double z = dr[1] + row(2) * (dr[0] - dr[1]);
        return {x, kWindowHeight - yTop, z};
    }
};

// GL's window transform for the viewport and depth range a client sets
// reaches the lgi layer, also when the viewport runs off the screen (the
// window lies at (100, 80) on a 640 x 480 screen): the clip box is cut to
// the screen and the matrix makes up for it. A board split across two
// screens shows them side by side and takes viewports left of the window.
class ViewportTest : public ContextToLgiTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ViewportTest, ViewportAndDepthRangeGiveGLsWindowTransform) {
    const bool bSplit = GetParam();
    vnx::miniport::MachineConfig cfg;
    if (bSplit) {
        cfg.boards = 2;
        cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
    }
    ASSERT_NO_FATAL_FAILURE(Start(cfg));
    struct Case {
        const char* name;
        bool set;
        LONG x, y, w, h;
        double n, f;
        LONG box[4];  // the clip box expected
    };
    std::vector<Case> cases = {
        {"never set: the window", false, 0, 0, kWindowWidth, kWindowHeight, 0.0, 1.0, {0, 0, 255, 191}},
        {"inside the window", true, 10, 20, 100, 50, 0.25, 0.75, {10, 122, 109, 171}},
        // Right edge: the screen's last column less the window's x; top:
        // the screen's top edge above the window.
        {"beyond the screen", true, 0, 0, 1000, 1000, 1.0, 0.0, {0, -80, bSplit ? 999 : 539, 191}},
        {"whole window again", true, 0, 0, kWindowWidth, kWindowHeight, 0.5, 0.5, {0, 0, 255, 191}},
    };
    // Left edge: the screen's left edge left of the window.
    if (bSplit) cases.push_back({"left of the screen", true, -300, 10, 400, 100, 0.0, 1.0, {-100, 82, 99, 181}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.set) {
            ASSERT_NO_FATAL_FAILURE(Render(glx::Stream(
                {glx::Render("Viewport", {static_cast<std::uint32_t>(c.x), static_cast<std::uint32_t>(c.y),
                                          static_cast<std::uint32_t>(c.w), static_cast<std::uint32_t>(c.h)}),
                 DepthRange(c.n, c.f), glx::Render("Clear", {kClearColourBit})})));
        } else {
            ASSERT_NO_FATAL_FAILURE(Render("Clear", {kClearColourBit}));
        }
        EXPECT_EQ(Error(), 0u);
        EXPECT_EQ(Attr<LONG>(N_ATTR_CLIP_BOX, 4), std::vector<LONG>(c.box, c.box + 4));
        EXPECT_EQ(Attr<ULONG>(N_ATTR_RENDER_MODE, 1)[0], 0u);
        for (double nx : {-1.0, 0.0, 1.0}) {
            for (double ny : {-1.0, 0.5, 1.0}) {
                for (double nz : {-1.0, 1.0}) {
                    const Window w = Map(nx, ny, nz);
                    EXPECT_NEAR(w.x, c.x + (nx + 1) * c.w / 2, 1e-2) << nx << "," << ny;
                    EXPECT_NEAR(w.yUp, c.y + (ny + 1) * c.h / 2, 1e-2) << nx << "," << ny;
                    EXPECT_NEAR(w.z, (c.f - c.n) / 2 * nz + (c.n + c.f) / 2, 1e-5) << nz;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, ViewportTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Split" : "Single"; });

// A viewport wholly off the screen leaves the lgi layer's clip box as it was.
TEST_F(ContextToLgiTest, ViewportOffTheScreenChangesNothing) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Render("Clear", {kClearColourBit}));
    const std::vector<LONG> before = Attr<LONG>(N_ATTR_CLIP_BOX, 4);
    // x 600 in a window at x 100 starts beyond the screen's far edge.
    ASSERT_NO_FATAL_FAILURE(
        Render(glx::Stream({glx::Render("Viewport", {600, 0, 100, 100}), glx::Render("Clear", {kClearColourBit})})));
    EXPECT_EQ(Error(), 0u);
    EXPECT_EQ(Attr<LONG>(N_ATTR_CLIP_BOX, 4), before);
}

// The visual's colour format: channel maxima, channel multipliers by the
// record's shifts, the index scale and its neighbours.
TEST_F(ContextToLgiTest, ColourFormatOfTheVisual) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const std::vector<std::int32_t> red = Integers(0x0D52), green = Integers(0x0D53), blue = Integers(0x0D54);
    ASSERT_EQ(red.size(), 1u);
    const std::vector<ULONG> w = Attr<ULONG>(N_ATTR_PIXEL_FORMAT, 11);
    EXPECT_EQ(w[0], 1u);
    EXPECT_EQ(w[1], (1u << red[0]) - 1);
    EXPECT_EQ(w[2], (1u << green[0]) - 1);
    EXPECT_EQ(w[3], (1u << blue[0]) - 1);
    // The 32-bit formats keep red at bit 16, green at 8, blue at 0.
    EXPECT_EQ(std::vector<ULONG>(w.begin() + 4, w.begin() + 7), (std::vector<ULONG>{1u << 16, 1u << 8, 1u}));
    const std::vector<float> f = Attr(N_ATTR_PIXEL_FORMAT, 11);
    EXPECT_EQ(std::vector<float>(f.begin() + 7, f.begin() + 10), (std::vector<float>{1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(w[10], 0u);
}

// ClipPlane with Enable reaches the lgi layer's planes (eye space: the
// modelview is the identity) and enables; the other planes stay off.
TEST_F(ContextToLgiTest, ClipPlaneAndEnableReachTheLgiPlanes) {
    ASSERT_NO_FATAL_FAILURE(Start());
    constexpr ULONG kClipPlane1 = 0x3001;
    ASSERT_NO_FATAL_FAILURE(Render(glx::Stream(
        {glx::Render("Enable", {kClipPlane1}), ClipPlane(kClipPlane1, {1.0, 2.0, 3.0, 4.0})})));
    EXPECT_EQ(Error(), 0u);
    Locked([&] {
        const N_Context* pctx = gpNCurrent;
        EXPECT_NE(pctx, nullptr);
        if (pctx == nullptr) return 0;
        EXPECT_EQ(pctx->cClipPlanes, 6u);
        EXPECT_EQ(std::vector<float>(pctx->pClipPlanes + 4, pctx->pClipPlanes + 8),
                  (std::vector<float>{1, 2, 3, 4}));
        EXPECT_EQ(std::vector<ULONG>(pctx->pulClipPlaneEnable, pctx->pulClipPlaneEnable + 6),
                  (std::vector<ULONG>{0, 1, 0, 0, 0, 0}));
        EXPECT_EQ(pctx->anyClipPlane, 1u);
        return 0;
    });
}

// A clear covers the whole window: on a single-buffered format, over a
// screen painted with a pattern, the board's screen holds one value over
// the window's whole rectangle and nothing around it changed.
TEST_F(ContextToLgiTest, ClearCoversTheWindow) {
    ASSERT_NO_FATAL_FAILURE(Boot(vnx::miniport::MachineConfig(), 32));
    const ULONG iFormat = FindFormat([](const PIXELFORMATDESCRIPTOR& p) {
        return (p.dwFlags & PFD_DOUBLEBUFFER) == 0 && p.iPixelType == PFD_TYPE_RGBA && p.cColorBits >= 24;
    });
    ASSERT_NE(iFormat, 0u);
    ASSERT_NO_FATAL_FAILURE(MakeCurrent(iFormat));
    SURFOBJ* pso = EngLockSurface(device_->hsurf());
    ASSERT_NE(pso, nullptr);
    const DFB* pdfb = reinterpret_cast<const DSURF*>(pso->dhsurf)->pdfb;
    vnx::board::Board& board = device_->machine().board();
    const RECTL& w = glsrv_client::kWindow;
    const RECTL around = {w.left - 20, w.top - 20, w.right + 20, w.bottom + 20};
    auto screen = [&] {
        // What the driver and the server queued reaches the board first.
        Locked([&] {
            kz2FlushQueue(kz2GetQueueMgt(pso->dhsurf, kz2GetBlockEnable(0, 0, 1, 1)), 0xFFFFFFFFu, nullptr,
                          nullptr);
            return 0;
        });
        return board.read_pixels(0, static_cast<std::uint16_t>(pdfb->pid), pdfb->x + around.left,
                                 pdfb->y + around.top, around.right - around.left, around.bottom - around.top);
    };
    (void)screen();
    for (LONG y = around.top; y < around.bottom; ++y) {
        for (LONG x = around.left; x < around.right; ++x) {
            const LONG bx = pdfb->x + x, by = pdfb->y + y;
            BYTE* p = board.pixel(board.tile_owner(0, bx, by), static_cast<std::uint16_t>(pdfb->pid), bx, by);
            ASSERT_NE(p, nullptr);
            const ULONG v = (static_cast<ULONG>(x * 31 + y * 17) * 0x9E3779B1u) & 0x7F7F7Fu;
            std::memcpy(p, &v, 4);
        }
    }
    const auto before = screen();
    ASSERT_NO_FATAL_FAILURE(Render(glx::Stream({glx::Render("ClearColor", {F(1.0f), F(0.0f), F(1.0f), F(1.0f)}),
                                                glx::Render("Clear", {kClearColourBit})})));
    EXPECT_EQ(Error(), 0u);
    Single("Finish");
    const auto after = screen();
    ASSERT_EQ(after.size(), before.size());
    const size_t iFirst = static_cast<size_t>((w.top - around.top) * (around.right - around.left) + (w.left - around.left));
    const ULONG cleared = after[iFirst];
    EXPECT_NE(cleared, before[iFirst]);
    // The clear colour (1, 0, 1) as the board's 8-8-8 word.
    EXPECT_EQ(cleared & 0xFFFFFFu, 0xFF00FFu);
    int cInside = 0, cWrongInside = 0, cChangedOutside = 0;
    for (LONG y = around.top; y < around.bottom; ++y) {
        for (LONG x = around.left; x < around.right; ++x) {
            const size_t i = static_cast<size_t>((y - around.top) * (around.right - around.left) + (x - around.left));
            if (x >= w.left && x < w.right && y >= w.top && y < w.bottom) {
                ++cInside;
                cWrongInside += after[i] != cleared;
            } else {
                cChangedOutside += after[i] != before[i];
            }
        }
    }
    EXPECT_EQ(cInside, kWindowWidth * kWindowHeight);
    EXPECT_EQ(cWrongInside, 0);
    EXPECT_EQ(cChangedOutside, 0);
    EngUnlockSurface(pso);
}

}  // namespace
