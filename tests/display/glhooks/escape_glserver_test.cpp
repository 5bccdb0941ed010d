// The GL server binding: the lazy loader behind DrvDescribePixelFormat with
// stand-in servers (tests/display/vnxglsrv_test), the hooks it installs and
// the locks they run under, and the unload by escape.
//
// The tests run without an enabled surface: those that need OpenGL offered
// set the device's hsurfZ to a marker themselves.
#include <gtest/gtest.h>

#include <string>

#include "display/escape/escape_fixture.h"
#include "glhooks/hooks.h"

namespace {

using vnx::test::EscapeTest;

// Stands for the depth buffer of an enabled surface.
HSURF const kDepthMarker = reinterpret_cast<HSURF>(0x5A5A0001);

// The six hook slots, to compare before and after.
struct Hooks {
    PFN_OPENGLCMD pfnOpenGLCmd;
    PFN_OPENGLGETINFO pfnOpenGLGetInfo;
    PFN_SWAPBUFFERS pfnSwapBuffers;
    PFN_SETPIXELFORMAT pfnSetPixelFormat;
    PFN_DESCRIBEPIXELFORMAT pfnDescribePixelFormat;
    PFN_GLSERVERUNLOAD pfnGLServerUnload;
    bool operator==(const Hooks&) const = default;
};

Hooks HooksOf(const PDEV* ppdev) {
    return Hooks{ppdev->pfnOpenGLCmd,      ppdev->pfnOpenGLGetInfo,       ppdev->pfnSwapBuffers,
                 ppdev->pfnSetPixelFormat, ppdev->pfnDescribePixelFormat, ppdev->pfnGLServerUnload};
}

class GLServerTest : public EscapeTest {
  protected:
    void SetUp() override {
        EscapeTest::SetUp();
        ppdev_->hsurfZ = kDepthMarker;
    }
    void UseServer(const char* name) { SetEnvironmentVariableA("KZGLSRVNAME", name); }
    LONG Describe(LONG iPixelFormat = 1, ULONG cjpfd = 40) {
        return DrvDescribePixelFormat(so_.dhpdev, iPixelFormat, cjpfd, nullptr);
    }
    // Every OpenGL entry answers 0 and nothing reaches a server.
    void ExpectNoServer() {
        EXPECT_EQ(ppdev_->hGLServer, nullptr);
        EXPECT_EQ(ppdev_->pfnGLServerUnload, nullptr);
        for (LONG code : {ESC_UNLOADGLSERVER, OPENGL_CMD, OPENGL_GETINFO}) {
            EXPECT_EQ(Query(code), 0u) << code;
            EXPECT_EQ(DrawQuery(code), 0u) << code;
        }
        EXPECT_EQ(DrvSetPixelFormat(&so_, 1, nullptr), FALSE);
        EXPECT_EQ(DrvSwapBuffers(&so_, nullptr), FALSE);
        BYTE in[20] = {};
        EXPECT_EQ(Escape(OPENGL_CMD, sizeof in, in, 4, in), 0u);
        EXPECT_EQ(vnx::debug::take(), "");
    }
};

// Without a depth buffer the device offers no OpenGL and loads nothing.
TEST_F(GLServerTest, NoDepthBufferDescribesNothingAndLoadsNothing) {
    ppdev_->hsurfZ = nullptr;
    UseServer("vnxglsrv_ok.dll");
    EXPECT_EQ(Describe(), 0);
    EXPECT_EQ(vnx::faults::calls("LoadLibraryA"), 0);
    ExpectNoServer();
}

// Each way a load can fail: the request is answered 0 and every hook slot
// holds its default again, including a server that wrote its hooks before
// refusing.
TEST_F(GLServerTest, FailedLoadsLeaveTheDefaultHooks) {
    struct Row {
        const char* server;
        const char* debug;
    };
    const Row rows[] = {
        {"vnxnosuchserver.dll", ""},
        {"vnxglsrv_noinit.dll", ""},
        {"vnxglsrv_initfails.dll", "vnxglsrv_initfails: InitGLSrvDll 1\n"},
        {"vnxglsrv_noenable.dll", "vnxglsrv_noenable: InitGLSrvDll 1\n"},
        {"vnxglsrv_enablefails.dll",
         "vnxglsrv_enablefails: InitGLSrvDll 1\n"
         "vnxglsrv_enablefails: DrvEnableEscape 0x10002 [escape+pixelformat]\n"},
    };
    const Hooks defaults = HooksOf(ppdev_);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server);
        UseServer(row.server);
        EXPECT_EQ(Describe(), 0);
        EXPECT_EQ(vnx::debug::take(), row.debug);
        EXPECT_TRUE(HooksOf(ppdev_) == defaults);
        ExpectNoServer();
    }
}

// The first describe loads the server once, under csEscape and then
// csPixelFormat, and the new describe hook answers that very request; from
// then on every OpenGL entry reaches the server under csEscape.
TEST_F(GLServerTest, FirstDescribeLoadsTheServerAndAnswersThroughIt) {
    UseServer("vnxglsrv_ok.dll");
    EXPECT_EQ(Describe(3, 40), 12);
    EXPECT_EQ(vnx::debug::take(),
              "vnxglsrv_ok: InitGLSrvDll 1\n"
              "vnxglsrv_ok: DrvEnableEscape 0x10002 [escape+pixelformat]\n"
              "vnxglsrv_ok: DescribePixelFormat 3 40 [escape+pixelformat]\n");
    ASSERT_NE(ppdev_->hGLServer, nullptr);
    EXPECT_EQ(vnx::faults::calls("LoadLibraryA"), 1);

    EXPECT_EQ(Describe(5, 0), 12);
    EXPECT_EQ(vnx::debug::take(), "vnxglsrv_ok: DescribePixelFormat 5 0 [escape+pixelformat]\n");
    EXPECT_EQ(vnx::faults::calls("LoadLibraryA"), 1);

    for (LONG code : {ESC_UNLOADGLSERVER, OPENGL_CMD, OPENGL_GETINFO}) {
        EXPECT_EQ(Query(code), 1u) << code;
        EXPECT_EQ(DrawQuery(code), 1u) << code;
    }
    EXPECT_EQ(DrvSetPixelFormat(&so_, 2, nullptr), TRUE);
    EXPECT_EQ(DrvSwapBuffers(&so_, nullptr), TRUE);
    BYTE in[24] = {};
    BYTE out[532] = {};
    ppdev_->lHookResult = 7;
    EXPECT_EQ(Escape(OPENGL_CMD, sizeof in, in, 4, out), 0x100u + sizeof in);
    EXPECT_EQ(ppdev_->lHookResult, -1);
    ppdev_->lHookResult = 7;
    EXPECT_EQ(Escape(OPENGL_GETINFO, 4, in, sizeof out, out), 0x204u);
    EXPECT_EQ(ppdev_->lHookResult, -1);
    EXPECT_EQ(vnx::debug::take(),
              "vnxglsrv_ok: SetPixelFormat 2 [escape]\n"
              "vnxglsrv_ok: SwapBuffers [escape]\n"
              "vnxglsrv_ok: OPENGL_CMD 24 4 [escape]\n"
              "vnxglsrv_ok: OPENGL_GETINFO 4 532 [escape]\n");
}

// Unloading calls the server's unload hook under csEscape and leaves no slot
// pointing into the library; the next describe loads the server again.
TEST_F(GLServerTest, UnloadRestoresTheDefaultsAndTheNextDescribeReloads) {
    UseServer("vnxglsrv_ok.dll");
    ASSERT_EQ(Describe(), 12);
    const Hooks loaded = HooksOf(ppdev_);
    vnx::debug::clear();

    EXPECT_EQ(Escape(ESC_UNLOADGLSERVER), 1u);
    EXPECT_EQ(vnx::debug::take(), "vnxglsrv_ok: unload [escape]\n");
    const Hooks after = HooksOf(ppdev_);
    EXPECT_NE(after.pfnOpenGLCmd, loaded.pfnOpenGLCmd);
    EXPECT_NE(after.pfnOpenGLGetInfo, loaded.pfnOpenGLGetInfo);
    EXPECT_NE(after.pfnSwapBuffers, loaded.pfnSwapBuffers);
    EXPECT_NE(after.pfnSetPixelFormat, loaded.pfnSetPixelFormat);
    EXPECT_NE(after.pfnDescribePixelFormat, loaded.pfnDescribePixelFormat);
    ExpectNoServer();
    // Unloading again finds nothing to unload.
    EXPECT_EQ(Escape(ESC_UNLOADGLSERVER), 1u);
    EXPECT_EQ(vnx::debug::take(), "");

    EXPECT_EQ(Describe(4, 40), 12);
    EXPECT_EQ(vnx::debug::take(),
              "vnxglsrv_ok: InitGLSrvDll 1\n"
              "vnxglsrv_ok: DrvEnableEscape 0x10002 [escape+pixelformat]\n"
              "vnxglsrv_ok: DescribePixelFormat 4 40 [escape+pixelformat]\n");
    EXPECT_NE(ppdev_->hGLServer, nullptr);
    EXPECT_EQ(Query(OPENGL_CMD), 1u);
}

// A server name that does not fit the loader's 256-byte buffer is refused,
// not cut short or replaced by the default; 255 characters still fit.
TEST_F(GLServerTest, ServerNameLongerThanItsBufferIsRefused) {
    UseServer(std::string(256, 'a').c_str());
    EXPECT_EQ(Describe(), 0);
    EXPECT_EQ(vnx::faults::calls("LoadLibraryA"), 0);
    EXPECT_EQ(vnx::debug::take(),
              "lLoadGLServerAndDescribe: KZGLSRVNAME longer than 255 characters\n");
    ExpectNoServer();

    UseServer(std::string(255, 'a').c_str());
    EXPECT_EQ(Describe(), 0);
    EXPECT_EQ(vnx::faults::calls("LoadLibraryA"), 1);  // tried, and no such file
    ExpectNoServer();
}

}  // namespace
