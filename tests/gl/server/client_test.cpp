// The server's client records: made per serving thread, freed by thread and
// process detach, named by segment ids only within their own process, their
// segment view kept inside the mapping; and shut-down, which leaves nothing
// of the server behind and lets it load again.
#include <thread>

#include "gl/server/server_fixture.h"

namespace {

using glsrv_test::Freed;
using glsrv_test::GLServerTest;
using glsrv_test::kClientFreedText;
using glsrv_test::kLoadText;
using glsrv_test::kShutdownText;
using glsrv_test::Request;

// Two halves of a request segment, as the client driver lays them out.
constexpr ULONG kHalf = 0x200040;
constexpr ULONG kSegment = 2 * kHalf;

// A request segment mapped into the server, given to a client record as the
// segment mapping does it: the section, the server's view, the mapping
// record.
struct Segment {
    HANDLE hSection = nullptr;
    BYTE* pjView = nullptr;

    void GiveTo(GLClient* pgc) {
        hSection = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                      kSegment, nullptr);
        ASSERT_NE(hSection, nullptr);
        pjView = static_cast<BYTE*>(MapViewOfFile(hSection, FILE_MAP_WRITE, 0, 0, 0));
        ASSERT_NE(pjView, nullptr);
        auto* pm = static_cast<SMMapping*>(LocalAlloc(LPTR, sizeof(SMMapping)));
        *pm = SMMapping{kSegment, hSection, pjView};
        pgc->pMapping = pm;
        pgc->pHeader = pjView;
    }
    // The mapping was released: the view and the handle are gone.
    bool Released() { return !UnmapViewOfFile(pjView) && !CloseHandle(hSection); }
};

// The loading thread has a client record; each further serving thread gets
// its own on its first context or segment request. Records are zero but
// for the server's bookkeeping. Thread detach frees only the caller's own
// thread's record; process detach does the same for its thread.
TEST_F(GLServerTest, ClientRecordsLiveFromAttachToDetach) {
    GLClient* pgcMain = Client();
    ASSERT_NE(pgcMain, nullptr);
    EXPECT_EQ(pgcMain->gc, nullptr);
    EXPECT_EQ(pgcMain->pMapping, nullptr);
    EXPECT_EQ(pgcMain->pHeader, nullptr);
    EXPECT_EQ(pgcMain->hProcess, nullptr);
    EXPECT_EQ(pgcMain->sequenceNumber, 0u);
    EXPECT_EQ(pgcMain->errorDetail, 0u);
    EXPECT_NE(pgcMain->hClient, 0u);
    const ULONG hMain = pgcMain->hClient;

    GLClient* pgcWorker = nullptr;
    std::thread([&] {
        EXPECT_EQ(Client(), nullptr);
        EXPECT_EQ(Cmd(Request(GLCMD_SETCONTEXT, {0, 0})), 0);
        pgcWorker = Client();
        ASSERT_NE(pgcWorker, nullptr);
        EXPECT_NE(pgcWorker, pgcMain);
        EXPECT_NE(pgcWorker->hClient, pgcMain->hClient);
        const ULONG hWorker = pgcWorker->hClient;
        EXPECT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {kSegment, 4})), -1);
        EXPECT_EQ(Client(), pgcWorker) << "the thread keeps its one record";
        vnx::debug::clear();
        EXPECT_EQ(Cmd(Request(GLCMD_THREADDETACH)), 0);
        EXPECT_EQ(Client(), nullptr);
        EXPECT_EQ(vnx::debug::take(), kClientFreedText);
        EXPECT_TRUE(Freed(pgcWorker, hWorker));
        EXPECT_EQ(Cmd(Request(GLCMD_THREADDETACH)), 0) << "nothing left to free";
        EXPECT_EQ(vnx::debug::take(), "");
    }).join();

    EXPECT_EQ(Client(), pgcMain);
    EXPECT_FALSE(Freed(pgcMain, hMain));
    EXPECT_EQ(Cmd(Request(GLCMD_PROCESSDETACH)), 0);
    EXPECT_EQ(Client(), nullptr);
    EXPECT_TRUE(Freed(pgcMain, hMain));
    EXPECT_EQ(vnx::debug::take(), kClientFreedText);
}

// A client thread that ends without THREADDETACH: its record and the
// server's view of its segment go with the thread, not at unload.
TEST_F(GLServerTest, ThreadEndFreesItsClientRecord) {
    GLClient* pgcWorker = nullptr;
    ULONG hWorker = 0;
    Segment seg;
    std::thread([&] {
        EXPECT_EQ(Cmd(Request(GLCMD_SETCONTEXT, {0, 0})), 0);
        pgcWorker = Client();
        ASSERT_NE(pgcWorker, nullptr);
        hWorker = pgcWorker->hClient;
        seg.GiveTo(pgcWorker);
        vnx::debug::clear();
    }).join();
    ASSERT_NE(pgcWorker, nullptr);
    EXPECT_TRUE(Freed(pgcWorker, hWorker));
    EXPECT_TRUE(seg.Released());
    EXPECT_EQ(vnx::debug::take(), kClientFreedText);
    // The loading thread's record is its own and stays.
    ASSERT_NE(Client(), nullptr);
    EXPECT_NE(Client()->hClient, 0u);
}

// A segment id names a client record for its own process only: another
// process's request naming it is refused as naming nothing, while the
// owner's other threads reach it. A request of another process that the
// thread refuses leaves the thread's record of the first process as it was.
TEST_F(GLServerTest, ClientsOfAnotherProcessAreRefused) {
    const DWORD other = vnx::process::create("other");
    const ULONG hClient = Client()->hClient;
    const std::string noSegment = "ulCmdWrapReadPointer: no request segment\n";
    const std::string noClient =
        "ulCmdWrapReadPointer: no client " + std::to_string(hClient) + "\n";
    std::thread([&] {
        EXPECT_EQ(Cmd(Request(GLCMD_WRAPSMREADPOINTER, {hClient, 0, 0})), -1);
        EXPECT_EQ(vnx::debug::take(), noSegment) << "the owner's worker thread finds it";
        EXPECT_EQ(Cmd(Request(GLCMD_WRAPSMREADPOINTER, {hClient, 0, 0}), nullptr, other), -1);
        EXPECT_EQ(vnx::debug::take(), noClient);
    }).join();

    // The loading thread now serves the other process.
    GLClient* pgcApp = Client();
    EXPECT_EQ(Cmd(Request(GLCMD_THREADDETACH), nullptr, other), 0);
    EXPECT_EQ(Client(), pgcApp) << "detach from another process frees nothing";
    EXPECT_EQ(Cmd(Request(GLCMD_SETCONTEXT, {0, 0}), nullptr, other), 0);
    EXPECT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {kSegment, 4}), nullptr, other), -1);
    EXPECT_EQ(Client(), pgcApp);
    EXPECT_FALSE(Freed(pgcApp, hClient));
    EXPECT_EQ(Client()->hClient, hClient);
    EXPECT_EQ(vnx::debug::take(),
              "ulCmdSetContext: no context 0\n__glMapSMSegment: cannot duplicate section 4\n");
    EXPECT_EQ(Cmd(Request(GLCMD_WRAPSMREADPOINTER, {hClient, 0, 0})), -1);
    EXPECT_EQ(vnx::debug::take(), noSegment) << "the id still names the application's record";
    vnx::process::terminate(other);
}

// The read pointer moves by the half offset, forward for toggle 0 and back
// otherwise, from any thread of the owner; a move that would leave no
// whole header inside the mapping is refused and nothing runs.
TEST_F(GLServerTest, WrapReadPointerStaysInsideTheMapping) {
    GLClient* pgc = Client();
    Segment seg;
    seg.GiveTo(pgc);
    const ULONG hClient = pgc->hClient;
    // A half without a current context runs nothing and says nothing.
    const std::string ran;
    struct Step {
        ULONG toggle;
        ULONG half;
        INT result;
        ULONG offAfter;
        bool bRan;
    };
    const Step steps[] = {
        {0, kHalf, 1, kHalf, true},         // to the second half
        {0, kHalf, -1, kHalf, false},       // past the end
        {0, 0xFFFFFFFF, -1, kHalf, false},  // far past the end
        {1, kHalf, 1, 0, true},             // back to the first
        {1, kHalf, -1, 0, false},           // before the start
        {1, 1, -1, 0, false},
        {0, kSegment - 64, 1, kSegment - 64, true},  // the last whole header
        {5, kSegment - 64, 1, 0, true},
        {0, kSegment - 63, -1, 0, false},
    };
    std::thread([&] {
        for (const Step& s : steps) {
            SCOPED_TRACE(std::to_string(s.toggle) + " " + std::to_string(s.half));
            EXPECT_EQ(Cmd(Request(GLCMD_WRAPSMREADPOINTER, {hClient, s.toggle, s.half})), s.result);
            EXPECT_EQ(pgc->pHeader, seg.pjView + s.offAfter);
            const std::string text = vnx::debug::take();
            if (s.bRan) EXPECT_EQ(text, ran);
            else EXPECT_NE(text.find("leaves the segment"), std::string::npos) << text;
        }
    }).join();
    // Freeing the client releases the mapping.
    EXPECT_EQ(Cmd(Request(GLCMD_THREADDETACH)), 0);
    EXPECT_TRUE(seg.Released());
    vnx::debug::clear();
}

// A second segment announced by a thread replaces the first: the first
// mapping is released, whatever becomes of the new one.
TEST_F(GLServerTest, SecondSegmentReleasesTheFirst) {
    Segment seg;
    seg.GiveTo(Client());
    EXPECT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {kSegment, 4})), -1);
    EXPECT_EQ(vnx::debug::take(), "__glMapSMSegment: cannot duplicate section 4\n");
    EXPECT_EQ(Client()->pMapping, nullptr);
    EXPECT_EQ(Client()->pHeader, nullptr);
    EXPECT_TRUE(seg.Released());
    // Without a segment the runs are refused.
    for (ULONG code : {GLCMD_PROCESSSMREQUESTS, GLCMD_RENDERLARGE, GLCMD_SINGLE})
        EXPECT_EQ(Cmd(Request(code)), -1) << code;
}

// Unloading by escape frees every client record of every thread with its
// mapping, the thread-local slot and the lock; the driver's hooks are its
// defaults again, and the next describe loads a fresh server.
TEST_F(GLServerTest, UnloadLeavesNothingAndTheServerLoadsAgain) {
    GLClient* pgcMain = Client();
    const ULONG hMain = pgcMain->hClient;
    Segment seg;
    seg.GiveTo(pgcMain);
    GLClient* pgcWorker = nullptr;
    ULONG hWorker = 0;
    std::thread([&] {
        EXPECT_EQ(Cmd(Request(GLCMD_SETCONTEXT, {0, 0})), 0);
        pgcWorker = Client();
        if (pgcWorker != nullptr) hWorker = pgcWorker->hClient;
    }).join();
    ASSERT_NE(pgcWorker, nullptr);
    const PFN_OPENGLCMD pfnServerCmd = Hooks()->pfnOpenGLCmd;
    vnx::debug::clear();

    Unload();
    EXPECT_EQ(vnx::debug::take(), kShutdownText + kClientFreedText + kClientFreedText);
    EXPECT_EQ(Hooks()->hGLServer, nullptr);
    EXPECT_NE(Hooks()->pfnOpenGLCmd, pfnServerCmd);
    EXPECT_EQ(Cmd(Request(GLCMD_THREADDETACH)), 0) << "the driver's default answers";
    EXPECT_TRUE(Freed(pgcMain, hMain));
    EXPECT_TRUE(Freed(pgcWorker, hWorker));
    EXPECT_TRUE(seg.Released());
    // The slot is free again.
    const DWORD dwIndex = TlsAlloc();
    EXPECT_EQ(dwIndex, tlsIndex_);
    TlsFree(dwIndex);

    Load();
    EXPECT_EQ(glsrv_test::TakeLoadText(), kLoadText);
    ASSERT_NE(Client(), nullptr);
    EXPECT_EQ(Client()->pMapping, nullptr);
    EXPECT_EQ(Cmd(Request(GLCMD_PROCESSDETACH)), 0);
    EXPECT_EQ(Client(), nullptr);
    vnx::debug::clear();
}

// A client record that cannot be made: the context and segment requests
// answer 0 and the thread stays without one.
TEST_F(GLServerTest, ClientRecordThatCannotBeMadeAnswersZero) {
    std::thread([&] {
        for (ULONG code : {GLCMD_SETCONTEXT, GLCMD_CREATESMSEGMENT}) {
            vnx::faults::arm("LocalAlloc");
            EXPECT_EQ(Cmd(Request(code, {0, 0})), 0) << code;
            EXPECT_EQ(vnx::debug::take(), "Could not alloc client structure\n");
            EXPECT_EQ(Client(), nullptr);
        }
    }).join();
}

// Without a thread-local slot the server refuses to attach, and the driver
// unloads it again and keeps its defaults.
TEST_F(GLServerTest, NoThreadLocalSlotNoServer) {
    Unload();
    EXPECT_EQ(vnx::debug::take(), kShutdownText + kClientFreedText);
    vnx::faults::arm("TlsAlloc");
    {
        vnx::process::Scope as(app_);
        EXPECT_EQ(DescribePixelFormat(hdc_, 1, 0, nullptr), 0);
    }
    EXPECT_EQ(vnx::debug::take(), "Could not allocate TLS Index for GL\n");
    EXPECT_EQ(Hooks()->hGLServer, nullptr);
    EXPECT_EQ(Cmd(Request(GLCMD_SETCONTEXT, {0, 0})), 0);
    EXPECT_EQ(vnx::debug::take(), "");
}

// A refused attach (no client record for the loading thread) leaves no slot
// and no lock behind: the driver unloads the server without shutting it
// down.
TEST_F(GLServerTest, RefusedAttachLeavesNothing) {
    Unload();
    vnx::debug::clear();
    vnx::faults::arm("LocalAlloc");
    {
        vnx::process::Scope as(app_);
        EXPECT_EQ(DescribePixelFormat(hdc_, 1, 0, nullptr), 0);
    }
    EXPECT_EQ(vnx::debug::take(), "Could not alloc client structure\n");
    EXPECT_EQ(Hooks()->hGLServer, nullptr);
    const DWORD dwIndex = TlsAlloc();
    EXPECT_EQ(dwIndex, tlsIndex_);
    TlsFree(dwIndex);
}

}  // namespace
