// The GL server loaded as the system loads it: this program links only the
// platform layer, the engine loads the display driver by name, and the
// driver loads vnxglsrv.so on an application's first DescribePixelFormat.
// The server takes the driver's exports from the copy the engine loaded,
// through its own dependency on vornix.so; a server that lacks that
// dependency does not load and no pixel format is offered.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "escapes.h"
#include "platform/engine.h"
#include "platform/gdi.h"
#include "platform/process.h"

namespace {

// Whether a shared library of that name is loaded in this process.
bool Loaded(const char* name) {
    void* h = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return false;
    dlclose(h);
    return true;
}

struct BoardCase {
    const char* name;
    int rasterizers;
    int boards;
};
void PrintTo(const BoardCase& c, std::ostream* os) { *os << c.name; }

class GLServerLoad : public ::testing::TestWithParam<BoardCase> {};

TEST_P(GLServerLoad, DriverLoadsTheServerWhichOffersPixelFormats) {
    ASSERT_FALSE(Loaded("vornix.so")) << "this program must not link the display driver";
    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = GetParam().rasterizers;
    cfg.boards = GetParam().boards;
    if (cfg.boards == 2) cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
    {
        vnx::engine::Device device(cfg);
        ASSERT_TRUE(device.load_driver());
        ASSERT_TRUE(device.enable_pdev());
        ASSERT_TRUE(device.enable_surface());
        EXPECT_TRUE(Loaded("vornix.so"));
        EXPECT_FALSE(Loaded("vnxglsrv.so")) << "the server loads on the first describe";

        const DWORD pid = vnx::process::create("app");
        {
            vnx::process::Scope as(pid);
            HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
            ASSERT_NE(hdc, nullptr);
            const int n = DescribePixelFormat(hdc, 1, 0, nullptr);
            EXPECT_GT(n, 0) << "no pixel formats offered";
            EXPECT_TRUE(Loaded("vnxglsrv.so"));
            for (int i = 1; i <= n; ++i) {
                PIXELFORMATDESCRIPTOR pfd{};
                EXPECT_EQ(DescribePixelFormat(hdc, i, sizeof pfd, &pfd), n) << i;
                EXPECT_EQ(pfd.dwFlags & (PFD_SUPPORT_OPENGL | PFD_DRAW_TO_WINDOW),
                          PFD_SUPPORT_OPENGL | PFD_DRAW_TO_WINDOW)
                    << i;
                EXPECT_GT(pfd.cColorBits, 0) << i;
            }
            ExtEscape(hdc, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
            DeleteDC(hdc);
        }
        vnx::process::terminate(pid);
    }
    EXPECT_FALSE(Loaded("vnxglsrv.so")) << "unloaded with the escape";
    EXPECT_FALSE(Loaded("vornix.so")) << "unloaded with the device";
}

// A device that goes while its GL server is loaded (no unload escape) takes
// the server down with it: the server frees its contexts, buffers and the
// record of the device while the device still stands, and is unloaded.
TEST(GLServerLoadTeardown, DeviceGoingUnloadsTheServer) {
    vnx::miniport::MachineConfig cfg;
    {
        vnx::engine::Device device(cfg);
        ASSERT_TRUE(device.load_driver());
        ASSERT_TRUE(device.enable_pdev());
        ASSERT_TRUE(device.enable_surface());
        const DWORD pid = vnx::process::create("app");
        {
            vnx::process::Scope as(pid);
            HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
            ASSERT_NE(hdc, nullptr);
            EXPECT_GT(DescribePixelFormat(hdc, 1, 0, nullptr), 0);
            DeleteDC(hdc);
        }
        EXPECT_TRUE(Loaded("vnxglsrv.so"));
        device.disable_pdev();
        EXPECT_FALSE(Loaded("vnxglsrv.so")) << "the device took its server down";
        vnx::process::terminate(pid);
    }
    EXPECT_FALSE(Loaded("vornix.so"));
}

INSTANTIATE_TEST_SUITE_P(Boards, GLServerLoad,
                         ::testing::Values(BoardCase{"solo", 1, 1}, BoardCase{"quad", 4, 1},
                                           BoardCase{"two_duos", 2, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
