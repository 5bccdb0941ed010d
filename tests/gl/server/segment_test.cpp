// The request segment through the real server: an application announces
// its section and the server maps it, writing the segment id into the first
// half; a mapping that fails at any step leaves nothing behind; requests of
// a thread without a current context run nothing, and a single request is
// answered with an error rather than with the reply of an earlier one.
#include <cstring>

#include "gl/server/server_fixture.h"
#include "smsegment.h"

namespace {

using glsrv_test::GLServerTest;
using glsrv_test::Request;

class SegmentTest : public GLServerTest {
  protected:
    // A section of the application, and the application's own view of it.
    void MakeSection(ULONG cj = SM_SEGMENT_SIZE) {
        vnx::process::Scope as(app_);
        hSection_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT,
                                       0, cj, nullptr);
        ASSERT_NE(hSection_, nullptr);
        pjAppView_ = static_cast<BYTE*>(MapViewOfFile(hSection_, FILE_MAP_WRITE, 0, 0, 0));
        ASSERT_NE(pjAppView_, nullptr);
    }
    ULONG Handle() const { return static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hSection_)); }
    SMSegmentHeader* AppHeader() { return reinterpret_cast<SMSegmentHeader*>(pjAppView_); }

    HANDLE hSection_ = nullptr;
    BYTE* pjAppView_ = nullptr;
};

TEST_F(SegmentTest, MappedSegmentCarriesTheClientsId) {
    MakeSection();
    EXPECT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {SM_SEGMENT_SIZE, Handle()})), 1);
    EXPECT_EQ(vnx::debug::take(), "");
    GLClient* pgc = Client();
    ASSERT_NE(pgc->pMapping, nullptr);
    EXPECT_EQ(pgc->pHeader, pgc->pMapping->pjView);
    EXPECT_EQ(pgc->pMapping->cjSection, SM_SEGMENT_SIZE);
    EXPECT_NE(pgc->hProcess, nullptr);
    EXPECT_EQ(AppHeader()->client, pgc->hClient);
    // The server's view is the application's section.
    pgc->pHeader[100] = 0x5A;
    EXPECT_EQ(pjAppView_[100], 0x5A);
}

// Each step of the mapping failing in turn: the announced size, the client
// process, the section handle, the view, the mapping record. Each answers
// -1 and leaves the client without a segment and the server without the
// handle it duplicated.
TEST_F(SegmentTest, MappingFailingAtEachStepLeavesNothing) {
    MakeSection();
    struct Step {
        const char* fault;  // the platform call made to fail, or null
        ULONG cj;
        ULONG hSection;  // 0: the application's section
        const char* text;
        bool bDuplicated;  // the step after the section's handle was duplicated
    };
    const Step steps[] = {
        {nullptr, 63, 0, "__glMapSMSegment: section of 63 bytes\n", false},
        {nullptr, SM_SEGMENT_SIZE, 0x7FFC, "__glMapSMSegment: cannot duplicate section 32764\n",
         false},
        {nullptr, SM_SEGMENT_SIZE + 1, 0, "__glMapSMSegment: cannot map 4194369 bytes\n", true},
        {"MapViewOfFile", SM_SEGMENT_SIZE, 0, "__glMapSMSegment: cannot map 4194368 bytes\n", true},
        {"LocalAlloc", SM_SEGMENT_SIZE, 0, "__glMapSMSegment: alloc failed\n", true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text);
        vnx::faults::clear();
        if (s.fault != nullptr) vnx::faults::arm(s.fault);
        EXPECT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {s.cj, s.hSection ? s.hSection : Handle()})),
                  -1);
        vnx::faults::clear();
        EXPECT_EQ(vnx::debug::take(), s.text);
        EXPECT_EQ(Client()->pMapping, nullptr);
        EXPECT_EQ(Client()->pHeader, nullptr);
        EXPECT_EQ(AppHeader()->client, 0u);
        // The next mapping works; the handle duplicated just before it (the
        // server numbers its handles in steps of 4) was closed.
        ASSERT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {SM_SEGMENT_SIZE, Handle()})), 1);
        const auto hMapped = reinterpret_cast<std::uintptr_t>(Client()->pMapping->hSection);
        if (s.bDuplicated) EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(hMapped - 4)));
        AppHeader()->client = 0;
        EXPECT_EQ(Cmd(Request(GLCMD_THREADDETACH)), 0);
        vnx::debug::clear();
        ASSERT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {0, 0})), -1);  // a client record again
        vnx::debug::clear();
    }
    // Without a client process there is none to duplicate from.
    const DWORD other = vnx::process::create("other");
    vnx::faults::arm("OpenProcess", 0, -1);
    EXPECT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {SM_SEGMENT_SIZE, Handle()}), nullptr, other), -1);
    vnx::faults::clear();
    EXPECT_NE(vnx::debug::take().find("__glMapSMSegment: no client process\n"), std::string::npos);
    vnx::process::terminate(other);
}

// Without a current context a half runs nothing, a large command leaves the
// refusal in status, and a single request gets an X error reply (type 0,
// GLXBadContextTag) and status 87 in place of the last reply.
TEST_F(SegmentTest, RequestsWithoutAContext) {
    MakeSection();
    ASSERT_EQ(Cmd(Request(GLCMD_CREATESMSEGMENT, {SM_SEGMENT_SIZE, Handle()})), 1);
    SMSegmentHeader* ph = AppHeader();
    ph->readOffset = ph->writeOffset = SM_FIRST_COMMAND;
    ph->limit = SM_LIMIT;
    EXPECT_EQ(Cmd(Request(GLCMD_PROCESSSMREQUESTS)), 1);
    EXPECT_EQ(Cmd(Request(GLCMD_RENDERLARGE)), 1);
    EXPECT_EQ(ph->status, 0xFFFFFFFFu);
    std::memset(ph->reply, 0x77, sizeof ph->reply);
    ph->replyInClientMemory = 1;
    ph->status = 0;
    EXPECT_EQ(Cmd(Request(GLCMD_SINGLE)), 1);
    xGLXSingleReply r;
    std::memcpy(&r, ph->reply, sizeof r);
    EXPECT_EQ(r.type, X_Error);
    EXPECT_EQ(r.unused, GLXBadContextTag);
    EXPECT_EQ(r.length, 0u);
    EXPECT_EQ(r.retval, 0u);
    EXPECT_EQ(ph->replyInClientMemory, 0u);
    EXPECT_EQ(ph->status, SM_STATUS_INVALID);
    EXPECT_EQ(vnx::debug::take(), "");
}

}  // namespace
