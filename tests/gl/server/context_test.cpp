// Rendering contexts as applications reach them through the command escape:
// create, delete, release and make current across processes and threads,
// a process that ends with live contexts, sharing display lists and copying
// attribute groups.
#include <atomic>
#include <thread>

#include "glpdev.h"

#include "gl/server/server_fixture.h"

namespace {

using glsrv_test::GLServerTest;
using glsrv_test::Request;

// What deleting a context prints: nothing (its lgi context, made current
// to be taken down, reloads the board's dither matrix quietly, and a
// context that never compiled a list or batched a primitive holds nothing
// of the parts not built yet).
const std::string kContextText;

class ContextTest : public GLServerTest {
  protected:
    // A context on pixel format 1 of the main layer, made by `pid`: its handle.
    ULONG Create(DWORD pid = 0, ULONG iFormat = 1, ULONG code = GLCMD_CREATECONTEXT) {
        std::vector<BYTE> out(4, 0xCC);
        const std::vector<ULONG> args =
            code == GLCMD_CREATECONTEXT ? std::vector<ULONG>{0, iFormat} : std::vector<ULONG>{0, iFormat, 1};
        const INT r = Cmd(Request(code, args), &out, pid);
        ULONG dhrc;
        std::memcpy(&dhrc, out.data(), 4);
        EXPECT_EQ(r, dhrc != 0 ? 1 : 0);
        // What the lgi layer says while its own parts are not built is its own.
        if (dhrc != 0) vnx::debug::take();
        return dhrc;
    }
    INT Delete(ULONG dhrc, DWORD pid = 0) { return Cmd(Request(GLCMD_DELETECONTEXT, {dhrc}), nullptr, pid); }
    INT Share(ULONG a, ULONG b) { return Cmd(Request(GLCMD_SHARELISTS, {a, b})); }
    INT Copy(ULONG a, ULONG b, ULONG fl) { return Cmd(Request(GLCMD_COPYCONTEXT, {a, b, fl})); }
};

TEST_F(ContextTest, CreateAndDeleteWithinTheOwningProcess) {
    const ULONG a = Create();
    const ULONG b = Create();
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(vnx::debug::take(), "");
    // Another process cannot name them.
    const DWORD other = vnx::process::create("other");
    EXPECT_EQ(Delete(a, other), -1);
    EXPECT_EQ(Cmd(Request(GLCMD_RELEASECONTEXT, {a}), nullptr, other), 0);
    EXPECT_EQ(vnx::debug::take(), "ulCmdDeleteContext: no context " + std::to_string(a) +
                                      "\nulCmdReleaseContext: no context " + std::to_string(a) + "\n");
    EXPECT_EQ(Delete(a), 1);
    EXPECT_EQ(vnx::debug::take(), kContextText);
    EXPECT_EQ(Delete(a), -1);  // gone
    vnx::debug::take();
    EXPECT_EQ(Delete(b), 1);
    EXPECT_EQ(vnx::debug::take(), kContextText);
    vnx::process::terminate(other);
}

TEST_F(ContextTest, FormatsOutsideTheTableAreRefused) {
    for (ULONG iFormat : {0u, 1000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Create(0, iFormat), 0u);
        EXPECT_EQ(vnx::debug::take(),
                  "Could not find visual " + std::to_string(static_cast<LONG>(iFormat)) + ", layer 0\n");
    }
    // A layer context names layer 1.
    EXPECT_EQ(Create(0, 1000, GLCMD_CREATELAYERCONTEXT), 0u);
    EXPECT_EQ(vnx::debug::take(), "Could not find visual 1000, layer 1\n");
}

TEST_F(ContextTest, EngineRefusingTheDriverObjectFailsCreation) {
    vnx::faults::arm("EngCreateDriverObj");
    EXPECT_EQ(Create(), 0u);
    EXPECT_EQ(vnx::debug::take(), "Could not allocate driver obejct for rendering context\n");
}

// A process that ends with live contexts frees them through the driver
// objects' clean-up.
TEST_F(ContextTest, ProcessEndFreesItsContexts) {
    const DWORD other = vnx::process::create("other");
    const ULONG a = Create(other);
    const ULONG b = Create(other);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    vnx::debug::take();
    const ULONG mine = Create();
    ASSERT_NE(mine, 0u);
    vnx::process::terminate(other);
    EXPECT_EQ(vnx::debug::take(), kContextText + kContextText);
    // The application's context is the last one.
    EXPECT_EQ(Delete(mine), 1);
    EXPECT_EQ(vnx::debug::take(), kContextText);
}

// The engine cannot open the calling process while the context is made: no
// handle could name it later, so creation fails and nothing stays.
TEST_F(ContextTest, ContextOfAProcessTheEngineCannotOpenIsRefused) {
    const DWORD other = vnx::process::create("other");
    const size_t cObjects = vnx::engine::live_driver_objects();
    vnx::faults::arm("OpenProcess", 0, -1);
    EXPECT_EQ(Create(other), 0u);
    vnx::faults::clear();
    EXPECT_NE(vnx::debug::take().find("ulRegisterContext: no client process\n"), std::string::npos);
    EXPECT_EQ(vnx::engine::live_driver_objects(), cObjects);
    // Once the engine can open it, the process makes contexts it can name.
    const ULONG a = Create(other);
    ASSERT_NE(a, 0u);
    EXPECT_EQ(Delete(a, other), 1);
    vnx::process::terminate(other);
}

// A process's end frees its contexts outside any request, on the thread
// that ended it: the clean-up waits for the escape lock a request of
// another process holds, and runs once it is free.
TEST_F(ContextTest, ProcessEndWaitsForTheRequestInProgress) {
    const DWORD other = vnx::process::create("other");
    ASSERT_NE(Create(other), 0u);
    const size_t cObjects = vnx::engine::live_driver_objects();
    CRITICAL_SECTION* pcs = pGLEscapeLock(reinterpret_cast<PDEV*>(device_->dhpdev()));
    EnterCriticalSection(pcs);  // a request in progress
    std::atomic<bool> bEnded{false};
    std::thread ender([&] {
        vnx::process::terminate(other);
        bEnded = true;
    });
    Sleep(100);
    EXPECT_FALSE(bEnded.load());
    EXPECT_EQ(vnx::engine::live_driver_objects(), cObjects) << "the context went under the request";
    LeaveCriticalSection(pcs);
    ender.join();
    EXPECT_TRUE(bEnded.load());
    EXPECT_EQ(vnx::engine::live_driver_objects(), cObjects - 1);
}

// Make current on a thread without a window is refused and leaves no link
// behind: deleting the context, then ending the thread, touches nothing freed.
TEST_F(ContextTest, MakeCurrentWithoutMatchingWindowLeavesNoLink) {
    const ULONG a = Create();
    ASSERT_NE(a, 0u);
    std::thread([&] {
        EXPECT_EQ(Cmd(Request(GLCMD_SETCONTEXT, {0, a})), 0);
        EXPECT_EQ(vnx::debug::take(), "__glDrvSetContext: dc does not match rc\n");
        ASSERT_NE(Client(), nullptr);
        EXPECT_EQ(Client()->gc, nullptr);
        EXPECT_EQ(Cmd(Request(GLCMD_RELEASECONTEXT, {a})), 1);
    }).join();
    EXPECT_EQ(Delete(a), 1);
    vnx::debug::take();
}

TEST_F(ContextTest, ShareListsOncePerTarget) {
    const ULONG a = Create(), b = Create(), c = Create();
    EXPECT_EQ(Share(a, a), 1);  // itself: nothing changes
    EXPECT_EQ(Share(a, b), 1);
    EXPECT_EQ(Share(a, c), 1);
    EXPECT_EQ(Share(b, c), 0);  // c already shares
    EXPECT_EQ(Share(c, a), 0);  // so does a
    // The table lives until its last user goes (the leak check sees the rest).
    EXPECT_EQ(Delete(a), 1);
    EXPECT_EQ(Delete(c), 1);
    EXPECT_EQ(Delete(b), 1);
    vnx::debug::take();
}

TEST_F(ContextTest, CopyContextTakesGroupsUpToScissor) {
    const ULONG a = Create(), b = Create();
    struct Row {
        ULONG fl;
        INT result;
    };
    for (const Row& r : {Row{0x100000, 0}, Row{0, 1}, Row{0xFFFFF, 1}, Row{0x40 | 0x1000, 1},
                         Row{0x80000000u, 0}}) {
        SCOPED_TRACE(r.fl);
        EXPECT_EQ(Copy(a, b, r.fl), r.result);
    }
    EXPECT_EQ(Copy(b, a, 0xFFFFF), 1);
    EXPECT_EQ(Delete(a), 1);
    EXPECT_EQ(Delete(b), 1);
    vnx::debug::take();
}

}  // namespace

// Unloading the server while contexts live frees them before what they
// use (visuals, the lgi layer, the device record): nothing is read after
// it is freed, and the server loads again.
TEST_F(ContextTest, UnloadWithLiveContextsFreesThemFirst) {
    const ULONG a = Create();
    const ULONG b = Create();
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    vnx::debug::clear();
    Unload();
    EXPECT_EQ(vnx::debug::take(), kContextText + kContextText + "_NFreeData\n");
    EXPECT_EQ(Hooks()->hGLServer, nullptr);
    Load();
    EXPECT_EQ(glsrv_test::TakeLoadText(), glsrv_test::kLoadText);
    EXPECT_NE(Create(), 0u);
}
