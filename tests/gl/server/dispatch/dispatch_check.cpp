// The server's entry and command escape against stand-ins for the parts
// not built yet (seams_double.cpp): each sub-code reaches its part with its
// arguments and answers that part's result, the request floating-point mode
// is in force for exactly sub-codes 2, 7, 8 and 12, start-up runs its steps
// in order, and shut-down frees every context and client it still has.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>
#include <vector>

#include "dispatch/dispatch.h"
#include "glcmd.h"
#include "platform/debug.h"
#include "platform/faults.h"
#include "seams_double.h"

namespace {

using namespace glsrv_double;

constexpr ULONG kSegment = 2 * 0x200040;

std::uintptr_t U(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

#if defined(__x86_64__) || defined(__i386__)
constexpr bool kX87 = true;
void LoadControlWord(USHORT cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }
#else
constexpr bool kX87 = false;
void LoadControlWord(USHORT) {}
#endif

class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gRecord = Record{};
        gAnswers = Answers{};
        vnx::debug::clear();
        ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
        pgc_ = pgcCurrent();
        ASSERT_NE(pgc_, nullptr);
        // A request segment, as the segment mapping leaves it.
        HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                      kSegment, nullptr);
        auto* pm = static_cast<SMMapping*>(LocalAlloc(LPTR, sizeof(SMMapping)));
        *pm = SMMapping{kSegment, h, static_cast<BYTE*>(MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0))};
        pgc_->pMapping = pm;
        pgc_->pHeader = pm->pjView;
        // An empty stream, and a single request of no parameters at its start.
        auto* ph = reinterpret_cast<SMSegmentHeader*>(pm->pjView);
        ph->readOffset = ph->writeOffset = SM_FIRST_COMMAND;
        const xGLXSingleReq req{0, 108, 2, 0};
        std::memcpy(pm->pjView + SM_FIRST_COMMAND, &req, sizeof req);
    }
    void TearDown() override {
        glFreeDispatchVectors();
        InitGLSrvDll(nullptr, GLSRV_PROCESS_DETACH, nullptr);
        vnx::debug::clear();
    }

    // OPENGL_CMD with the given argument words, window handle and sizes.
    ULONG Cmd(ULONG code, std::vector<ULONG> args, ULONG hwo = 0, ULONG cjIn = 0,
              std::vector<BYTE>* out = nullptr) {
        std::vector<ULONG> words = {code, 0, hwo, 0, 0};
        words.insert(words.end(), args.begin(), args.end());
        in_.assign(words.size() * 4, 0);
        std::memcpy(in_.data(), words.data(), in_.size());
        if (cjIn > in_.size()) in_.resize(cjIn, 0);
        return ulOpenGLCmd(nullptr, static_cast<ULONG>(in_.size()), in_.data(),
                           out ? static_cast<ULONG>(out->size()) : 0, out ? out->data() : nullptr);
    }
    // A new context from `gc`, by sub-code 3; its handle.
    ULONG Create(GLContext* gc) {
        gAnswers.gcCreated = gc;
        std::vector<BYTE> out(4);
        EXPECT_EQ(Cmd(GLCMD_CREATECONTEXT, {0, 1}, 0, 0, &out), 1u);
        ULONG dhrc;
        std::memcpy(&dhrc, out.data(), 4);
        EXPECT_NE(dhrc, 0u);
        return dhrc;
    }

    GLClient* pgc_ = nullptr;
    std::vector<BYTE> in_;
};

// Every sub-code reaches the part that serves it with the words of the
// request (handles resolved to their objects) and answers its result; the
// parts of sub-codes 2, 7, 8 and 12 run with the request control word and
// every exception masked, all others in the caller's mode.
TEST_F(DispatchTest, EachSubCodeReachesItsPartInItsMode) {
    ASSERT_TRUE(glInitDispatchVectors());  // the single request goes through its table
    const ULONG dhrcA = Create(kContextA);
    const ULONG dhrcB = Create(kContextB);
    pgc_->gc = kContextA;  // current, as making it current leaves it
    gRecord.calls.clear();
    std::vector<BYTE> out4(4), out52(52), out1044(1044);

    struct Row {
        ULONG code;
        std::vector<ULONG> args;
        ULONG hwo;
        ULONG cjIn;
        std::vector<BYTE>* out;
        const char* part;
        std::vector<std::uintptr_t> partArgs;
        bool bRequestMode;
    };
    // clang-format off
    const Row rows[] = {
        {GLCMD_SETCONTEXT, {0, dhrcA}, kWindowHandle, 0, nullptr, "__glDrvSetContext",
         {U(pgc_), U(kContextA), U(kWindow), 0}, false},
        {GLCMD_PROCESSSMREQUESTS, {}, 0, 0, nullptr, "N_MakeCurrent", {U(kContextA->pnc)}, true},
        {GLCMD_CREATECONTEXT, {0, 9}, 0, 0, &out4, "__glDrvCreateContext", {9, 0}, false},
        {GLCMD_DELETECONTEXT, {dhrcB}, 0, 0, nullptr, "__glDrvDeleteContext", {U(kContextB)},
         false},
        {GLCMD_RELEASECONTEXT, {dhrcA}, 0, 0, nullptr, "__glDrvReleaseContext", {U(kContextA)},
         false},
        {GLCMD_RENDERLARGE, {}, 0, 0, nullptr, "N_MakeCurrent", {U(kContextA->pnc)}, true},
        {GLCMD_SINGLE, {}, 0, 0, nullptr, "N_MakeCurrent", {U(kContextA->pnc)}, true},
        {GLCMD_CREATEPRIMSEGMENT, {5, 100}, 0, 0, nullptr, "__glMapPrimSegment",
         {U(pgc_), 5, 100}, false},
        {GLCMD_SETFORMATCOUNT, {0x10003}, 0, 0, nullptr, "__glSetFormatCount", {3}, false},
        {GLCMD_SHARELISTS, {dhrcA, dhrcA}, 0, 0, nullptr, "__glDrvShareLists",
         {U(kContextA), U(kContextA)}, false},
        {GLCMD_WRAPSMREADPOINTER, {pgc_->hClient, 0, 0x200040}, 0, 0, nullptr,
         "N_MakeCurrent", {U(kContextA->pnc)}, true},
        {GLCMD_COPYCONTEXT, {dhrcA, dhrcA, 0xF}, 0, 0, nullptr, "__glDrvCopyContext",
         {U(kContextA), U(kContextA), 0xF}, false},
        {GLCMD_CREATELAYERCONTEXT, {0, 2, 1}, 0, 0, &out4, "__glDrvCreateContext", {2, 1}, false},
        {GLCMD_DESCRIBELAYERPLANE, {3, 1, 32}, 0, 0, &out52, "__glDrvDescribeLayerPlane",
         {3, 1, 32, U(out52.data() + 20)}, false},
        {GLCMD_GETLAYERPALETTEENTRIES, {1, 2, 3}, kWindowHandle, 0, &out1044,
         "__glGetLayerPaletteEntries", {U(kWindow), 1, 2, 3, U(out1044.data() + 20)}, false},
        {GLCMD_REALIZELAYERPALETTE, {1, 7}, kWindowHandle, 0, nullptr, "__glRealizeLayerPalette",
         {U(kWindow), 1, 1}, false},
        {GLCMD_SETLAYERPALETTEENTRIES, {1, 0, 256}, kWindowHandle, 1056, nullptr,
         "__glSetLayerPaletteEntries", {U(kWindow), 1, 0, 256, 0 /* the input at +32 */}, false},
        {GLCMD_SWAPLAYERBUFFERS, {0x30}, kWindowHandle, 0, nullptr, "__wglSwapBuffers",
         {U(kWindow), 0x30}, false},
        // Without a calling process there is nothing to map from.
        {GLCMD_CREATESMSEGMENT, {kSegment, 44}, 0, 0, nullptr, nullptr, {}, false},
    };
    // clang-format on

    std::fenv_t saved;
    std::fegetenv(&saved);
    LoadControlWord(0x037F);
    feenableexcept(FE_DIVBYZERO);
    for (const Row& row : rows) {
        SCOPED_TRACE("sub-code " + std::to_string(row.code));
        gRecord.calls.clear();
        gAnswers.ul = 0x5A;
        gAnswers.gcCreated = kContextA;
        const ULONG ulResult = Cmd(row.code, row.args, row.hwo, row.cjIn, row.out);
        if (row.part == nullptr) {
            EXPECT_TRUE(gRecord.calls.empty());
            EXPECT_EQ(ulResult, static_cast<ULONG>(-1));
            continue;
        }
        ASSERT_GE(gRecord.calls.size(), 1u);
        const Call& call = gRecord.calls[0];
        EXPECT_EQ(call.name, row.part);
        std::vector<std::uintptr_t> expected = row.partArgs;
        if (row.code == GLCMD_SETLAYERPALETTEENTRIES) expected[4] = U(in_.data() + 32);
        EXPECT_EQ(call.args, expected);
        if (kX87) {
            EXPECT_EQ(call.controlWord, row.bRequestMode ? 0x007F : 0x037B);
        }
        EXPECT_EQ(call.exceptionsEnabled, row.bRequestMode ? 0 : FE_DIVBYZERO);
        // The part's answer, as the sub-code reports it.
        switch (row.code) {
            case GLCMD_PROCESSSMREQUESTS:
            case GLCMD_RENDERLARGE:
            case GLCMD_SINGLE:
            case GLCMD_WRAPSMREADPOINTER:
            case GLCMD_DESCRIBELAYERPLANE:
            case GLCMD_CREATECONTEXT:
            case GLCMD_CREATELAYERCONTEXT:
            case GLCMD_SWAPLAYERBUFFERS:  // a BOOL part
                EXPECT_EQ(ulResult, 1u);
                break;
            case GLCMD_SETFORMATCOUNT: EXPECT_EQ(ulResult, static_cast<ULONG>(-1)); break;
            default: EXPECT_EQ(ulResult, 0x5Au);
        }
    }
    std::fesetenv(&saved);
    EXPECT_EQ(pgc_->pHeader, nullptr) << "the new segment replaced the old";

    // The deleted context's handle names nothing any more; a delete the
    // engine refuses keeps the handle.
    gRecord.calls.clear();
    EXPECT_EQ(Cmd(GLCMD_RELEASECONTEXT, {dhrcB}), 0u);
    EXPECT_TRUE(gRecord.calls.empty());
    gAnswers.ul = static_cast<ULONG>(-1);
    EXPECT_EQ(Cmd(GLCMD_DELETECONTEXT, {dhrcA}), static_cast<ULONG>(-1));
    gAnswers.ul = 1;
    EXPECT_EQ(Cmd(GLCMD_RELEASECONTEXT, {dhrcA}), 1u);
}

// A part's failure is the sub-code's failure; what a half's stream does is
// not: its runs answer 1.
TEST_F(DispatchTest, PartsFailingAreReported) {
    gAnswers.ul = 0;
    EXPECT_EQ(Cmd(GLCMD_PROCESSSMREQUESTS, {}), 1u);
    EXPECT_EQ(Cmd(GLCMD_SETFORMATCOUNT, {4}), static_cast<ULONG>(-1));
    std::vector<BYTE> out(4, 0xCC);
    gAnswers.gcCreated = nullptr;
    EXPECT_EQ(Cmd(GLCMD_CREATECONTEXT, {0, 1}, 0, 0, &out), 0u);
    EXPECT_EQ(out, std::vector<BYTE>(4, 0));
    // The read pointer moves even when the half's commands could not run.
    BYTE* pjView = pgc_->pMapping->pjView;
    EXPECT_EQ(Cmd(GLCMD_WRAPSMREADPOINTER, {pgc_->hClient, 0, 0x200040}), 1u);
    EXPECT_EQ(pgc_->pHeader, pjView + 0x200040);
}

// Start-up writes the six hook slots in the device record's block and runs
// its steps in order, stopping after the dispatch tables when they fail;
// the unload hook frees the tables and visuals, every client (its context
// lets go of it) and every context, and the thread-local slot.
TEST_F(DispatchTest, StartUpAndShutDown) {
    std::vector<BYTE> device(gGLPdevFields.cjHookSlots + sizeof(GLHOOKSLOTS), 0);
    PDEV* ppdev = reinterpret_cast<PDEV*>(device.data());
    GLHOOKSLOTS* phs = pGLHookSlots(ppdev);

    gRecord.calls.clear();
    {
        // The device record is made; the first table is not.
        vnx::faults::Scope faults;
        vnx::faults::arm("LocalAlloc", 1);
        EXPECT_EQ(DrvEnableEscape(0x10002, ppdev), 1u);
    }
    EXPECT_EQ(vnx::debug::take(), "DriverInit: glInitDispatchVectors failed\n");
    EXPECT_TRUE(gRecord.calls.empty());
    EXPECT_NE(phs->pfnOpenGLCmd, nullptr);
    EXPECT_NE(phs->pfnOpenGLGetInfo, nullptr);
    EXPECT_NE(phs->pfnSwapBuffers, nullptr);
    EXPECT_NE(phs->pfnSetPixelFormat, nullptr);
    EXPECT_NE(phs->pfnDescribePixelFormat, nullptr);
    ASSERT_NE(phs->pfnGLServerUnload, nullptr);
    EXPECT_EQ(phs->hGLServer, nullptr) << "the driver's field";
    gRecord.calls.clear();
    phs->pfnGLServerUnload(ppdev);

    // Again, with the dispatch tables built.
    ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
    pgc_ = pgcCurrent();
    gAnswers.ul = 1;
    gRecord.calls.clear();
    EXPECT_EQ(DrvEnableEscape(0x10002, ppdev), 1u);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"__glChooseFormatTable", "glInitVisualConfigs",
                                               "N_Init"}));
    // The swap hook swaps the main planes.
    gRecord.calls.clear();
    phs->pfnSwapBuffers(nullptr, kWindow);
    ASSERT_EQ(gRecord.calls.size(), 1u);
    EXPECT_EQ(gRecord.calls[0].args, (std::vector<std::uintptr_t>{U(kWindow), 3}));

    Create(kContextA);
    Create(kContextB);
    pgc_->gc = kContextB;
    gRecord.calls.clear();
    phs->pfnGLServerUnload(ppdev);
    // Clients and contexts go first, while the drawables, visuals and the
    // lgi layer they use still stand.
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"__glContextLoseClient", "_DUpdateOverlayPresent",
                                               "__glDestroyContext", "__glDestroyContext",
                                               "__glFreeAllDrawables", "glFreeVisualConfigs", "_NFreeData"}));
    EXPECT_EQ(gRecord.calls[3].args, (std::vector<std::uintptr_t>{U(kContextB)}));
    EXPECT_EQ(pgcCurrent(), nullptr);
    EXPECT_EQ(gdwTlsIndex, TLS_OUT_OF_INDEXES);
    // The fixture's detach finds nothing left; attach again for it.
    ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
}

// Reasons outside 0..3 are refused.
TEST_F(DispatchTest, UnknownReasonIsRefused) {
    EXPECT_FALSE(InitGLSrvDll(nullptr, 4, nullptr));
    EXPECT_FALSE(InitGLSrvDll(nullptr, 0xFFFFFFFF, nullptr));
    EXPECT_EQ(pgcCurrent(), pgc_);
}

}  // namespace
