// DrvEscape and DrvDrawEscape: what QUERYESCSUPPORT answers, the driver's
// own escapes with good and bad sizes, and escape modules: loading by plain
// name only, routing by range, reference counts and unloading.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/escape/escape_fixture.h"
#include "escape/escape.h"
#include "platform/ddi_functions.h"

namespace {

using vnx::test::EscapeTest;

constexpr ULONG kMinusOne = 0xFFFFFFFFu;
constexpr ULONG kMinusTwo = 0xFFFFFFFEu;

// --- QUERYESCSUPPORT ------------------------------------------------------------

struct SupportRow {
    LONG code;
    ULONG escape;      // DrvEscape's answer without a GL server
    ULONG drawEscape;  // DrvDrawEscape's answer
};

TEST_F(EscapeTest, QuerySupportAnswersByCode) {
    const SupportRow rows[] = {
        {ESC_LOADESCAPEMODULE, 1, 0},
        {ESC_UNLOADESCAPEMODULE, 1, 0},
        {ESC_DRIVERWORD, 1, 0},
        {ESC_BOARDCONFIG, 1, 0},
        {ESC_HEIDI, 1, 0},
        {ESC_GETMODES, 1, 0},
        // Served, but the query says no.
        {MCDFUNCS, 0, 0},
        {ESC_PING, 0, 0},
        // Only with a loaded GL server.
        {ESC_UNLOADGLSERVER, 0, 0},
        {OPENGL_CMD, 0, 0},
        {OPENGL_GETINFO, 0, 0},
        {QUERYESCSUPPORT, 0, 0},
        {0, 0, 0},
        {-4, 0, 0},
        {-1000, 0, 0},
        {12345, 0, 0},
    };
    for (const SupportRow& row : rows) {
        EXPECT_EQ(Query(row.code), row.escape) << "code " << row.code;
        EXPECT_EQ(DrawQuery(row.code), row.drawEscape) << "code " << row.code;
    }
    // Fewer than four input bytes, or none: no code to answer for.
    const LONG iCode = ESC_BOARDCONFIG;
    EXPECT_EQ(Escape(QUERYESCSUPPORT, 3, &iCode), 0u);
    EXPECT_EQ(Escape(QUERYESCSUPPORT, 4, nullptr), 0u);
    EXPECT_EQ(DrawEscape(QUERYESCSUPPORT, 3, &iCode), 0u);
    EXPECT_EQ(vnx::debug::take(), "");
}

// --- the driver's escapes with good and bad sizes ---------------------------------

struct EscapeRow {
    const char* name;
    LONG code;
    ULONG cjIn;
    ULONG cjOut;
    ULONG result;
    const char* debug;  // what the call prints
};

TEST_F(EscapeTest, EscapesAnswerByCodeAndSize) {
    const EscapeRow rows[] = {
        {"ping", ESC_PING, 0, 0, 1, ""},
        {"ping with buffers", ESC_PING, 64, 64, 1, ""},
        {"unknown code", 77, 16, 16, 0, ""},
        {"unknown negative code", -500, 16, 16, 0, ""},
        {"GL command without server", OPENGL_CMD, 64, 64, 0, ""},
        {"GL info without server", OPENGL_GETINFO, 4, 532, 0, ""},
        {"unload without server", ESC_UNLOADGLSERVER, 0, 0, 1, ""},
        {"board config, short input", ESC_BOARDCONFIG, 239, 240, 0, ""},
        {"board config, short output", ESC_BOARDCONFIG, 240, 239, 0, ""},
        {"board config, no buffers", ESC_BOARDCONFIG, 0, 0, 0, ""},
        {"load module, no name", ESC_LOADESCAPEMODULE, 0, 0, 0, ""},
        {"unload module, no name", ESC_UNLOADESCAPEMODULE, 0, 0, 0, ""},
        {"batched commands, no batch", MCDFUNCS, 64, 64, 0, ""},
        {"immediate-mode 3D", ESC_HEIDI, 64, 64, 0, "qrn_heidi: not built yet\n"},
    };
    std::vector<BYTE> in(512, 0), out(512, 0xAB);
    for (const EscapeRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Escape(row.code, row.cjIn, row.cjIn ? in.data() : nullptr, row.cjOut,
                         row.cjOut ? out.data() : nullptr),
                  row.result);
        EXPECT_EQ(vnx::debug::take(), row.debug);
    }
    // None of them wrote into the output.
    EXPECT_EQ(out, std::vector<BYTE>(512, 0xAB));
}

// The engine reaches the escapes through the driver's table.
TEST_F(EscapeTest, EscapesArriveThroughTheDriverTable) {
    auto pfnEscape = reinterpret_cast<PFN_DrvEscape>(device_->function(INDEX_DrvEscape));
    auto pfnDrawEscape =
        reinterpret_cast<PFN_DrvDrawEscape>(device_->function(INDEX_DrvDrawEscape));
    ASSERT_NE(pfnEscape, nullptr);
    ASSERT_NE(pfnDrawEscape, nullptr);
    EXPECT_EQ(pfnEscape(&so_, static_cast<ULONG>(ESC_PING), 0, nullptr, 0, nullptr), 1u);
    LONG iCode = ESC_BOARDCONFIG;
    EXPECT_EQ(pfnEscape(&so_, QUERYESCSUPPORT, 4, &iCode, 0, nullptr), 1u);
    EXPECT_EQ(pfnDrawEscape(&so_, QUERYESCSUPPORT, nullptr, nullptr, 4, &iCode), 0u);
}

TEST_F(EscapeTest, DriverWordIsReadAndReplaced) {
    EXPECT_EQ(Escape(ESC_DRIVERWORD), 0u);
    const ULONG aulNew[2] = {0xCAFE0001u, 0x12345678u};
    EXPECT_EQ(Escape(ESC_DRIVERWORD, 4, aulNew), 0u);  // answers the old word
    EXPECT_EQ(ppdev_->ulDriverWord, 0xCAFE0001u);
    // No input, too little input or no buffer: only reads.
    EXPECT_EQ(Escape(ESC_DRIVERWORD), 0xCAFE0001u);
    EXPECT_EQ(Escape(ESC_DRIVERWORD, 3, &aulNew[1]), 0xCAFE0001u);
    EXPECT_EQ(Escape(ESC_DRIVERWORD, 4, nullptr), 0xCAFE0001u);
    EXPECT_EQ(ppdev_->ulDriverWord, 0xCAFE0001u);
    // More input: the first word counts.
    EXPECT_EQ(Escape(ESC_DRIVERWORD, 8, aulNew), 0xCAFE0001u);
    EXPECT_EQ(Escape(ESC_DRIVERWORD), 0xCAFE0001u);
    EXPECT_EQ(Escape(ESC_DRIVERWORD, 4, &aulNew[1]), 0xCAFE0001u);
    EXPECT_EQ(Escape(ESC_DRIVERWORD), 0x12345678u);
}

TEST_F(EscapeTest, GetModesAnswersTheModeList) {
    const ULONG cjAll = device_->get_modes(0, nullptr);
    ASSERT_GT(cjAll, 2 * ESC_GETMODES_RECORD_SIZE);
    EXPECT_EQ(Escape(ESC_GETMODES), cjAll);

    std::vector<BYTE> viaEscape(2 * ESC_GETMODES_RECORD_SIZE, 0);
    std::vector<BYTE> viaEngine(2 * ESC_GETMODES_RECORD_SIZE, 0);
    EXPECT_EQ(
        Escape(ESC_GETMODES, 0, nullptr, static_cast<ULONG>(viaEscape.size()), viaEscape.data()),
        2 * ESC_GETMODES_RECORD_SIZE);
    device_->get_modes(static_cast<ULONG>(viaEngine.size()),
                       reinterpret_cast<DEVMODEW*>(viaEngine.data()));
    EXPECT_EQ(viaEscape, viaEngine);
}

// --- escape modules ---------------------------------------------------------------

// One module from load to the last unload: routing of its range under the
// escape lock, the reference count, and nothing routed once it is gone.
TEST_F(EscapeTest, ModuleServesItsRangeUntilTheLastUnload) {
    ASSERT_EQ(NameEscape(ESC_LOADESCAPEMODULE, "vnxescmod_full.dll"), 1u);
    EXPECT_EQ(vnx::debug::take(), "vnxescmod_full: DrvEnableEscape 0x10002 [escape] with module\n");
    ASSERT_NE(ppdev_->pEscapeModules, nullptr);
    EXPECT_STREQ(ppdev_->pEscapeModules->achName, "vnxescmod_full.dll");
    EXPECT_EQ(ppdev_->pEscapeModules->cRef, 1u);

    const BYTE in[8] = {};
    ppdev_->lHookResult = 5;
    EXPECT_EQ(Escape(-1100, 8, in, 4, nullptr), static_cast<ULONG>(-1100 + 0x10000 + 8));
    EXPECT_EQ(ppdev_->lHookResult, -1);
    EXPECT_EQ(Escape(-1000, 0), static_cast<ULONG>(-1000 + 0x10000));
    EXPECT_EQ(DrawEscape(-1050, 8, in), static_cast<ULONG>(-1050 + 0x20000 + 8));
    EXPECT_EQ(vnx::debug::take(),
              "vnxescmod_full: escape -1100 8 4 [escape]\n"
              "vnxescmod_full: escape -1000 0 0 [escape]\n"
              "vnxescmod_full: draw escape -1050 8 [escape]\n");
    // Just outside the range: nobody owns the code.
    EXPECT_EQ(Escape(-1101), 0u);
    EXPECT_EQ(Escape(-999), 0u);
    EXPECT_EQ(DrawEscape(-999), kMinusOne);
    // The driver's own codes never reach a module.
    EXPECT_EQ(Escape(ESC_PING), 1u);

    // A second load takes another reference; the name compares exactly, so
    // another spelling is another module.
    EXPECT_EQ(NameEscape(ESC_LOADESCAPEMODULE, "vnxescmod_full.dll"), kMinusTwo);
    EXPECT_EQ(ppdev_->pEscapeModules->cRef, 2u);
    EXPECT_EQ(NameEscape(ESC_LOADESCAPEMODULE, "vnxescmod_full"), 1u);
    EXPECT_EQ(NameEscape(ESC_UNLOADESCAPEMODULE, "vnxescmod_full"), 1u);
    vnx::debug::clear();

    EXPECT_EQ(NameEscape(ESC_UNLOADESCAPEMODULE, "vnxescmod_full.dll"), 1u);
    EXPECT_EQ(vnx::debug::take(), "");  // one reference left
    EXPECT_EQ(Escape(-1050), static_cast<ULONG>(-1050 + 0x10000));
    vnx::debug::clear();
    EXPECT_EQ(NameEscape(ESC_UNLOADESCAPEMODULE, "vnxescmod_full.dll"), 1u);
    EXPECT_EQ(vnx::debug::take(), "vnxescmod_full: unload [escape]\n");
    EXPECT_EQ(ppdev_->pEscapeModules, nullptr);
    EXPECT_EQ(Escape(-1050), 0u);
    EXPECT_EQ(DrawEscape(-1050), kMinusOne);
    EXPECT_EQ(NameEscape(ESC_UNLOADESCAPEMODULE, "vnxescmod_full.dll"), 0u);
}

// The newest module owns a code two ranges share; a module without
// handlers answers -1 for its codes.
TEST_F(EscapeTest, NewestModuleOwnsSharedCodes) {
    ASSERT_EQ(NameEscape(ESC_LOADESCAPEMODULE, "vnxescmod_full.dll"), 1u);
    ASSERT_EQ(NameEscape(ESC_LOADESCAPEMODULE, "vnxescmod_bare.dll"), 1u);
    vnx::debug::clear();
    EXPECT_EQ(Escape(-1020), kMinusOne);  // bare: -1050..-900
    EXPECT_EQ(DrawEscape(-1020), kMinusOne);
    EXPECT_EQ(Escape(-950), kMinusOne);
    EXPECT_EQ(Escape(-1080), static_cast<ULONG>(-1080 + 0x10000));  // full only
    EXPECT_EQ(NameEscape(ESC_UNLOADESCAPEMODULE, "vnxescmod_bare.dll"), 1u);
    EXPECT_EQ(Escape(-1020), static_cast<ULONG>(-1020 + 0x10000));
    EXPECT_EQ(Escape(-950), 0u);
    EXPECT_EQ(NameEscape(ESC_UNLOADESCAPEMODULE, "vnxescmod_full.dll"), 1u);
}

// Modules that cannot be had leave nothing behind.
TEST_F(EscapeTest, RefusedModulesLeaveNothing) {
    struct Row {
        const char* name;
        const char* fault;  // fault point armed, or null
        const char* debug;
    };
    const Row rows[] = {
        {"vnxescmod_refuse.dll", nullptr,
         "vnxescmod_refuse: DrvEnableEscape 0x10002 [escape] with module\n"},
        {"vnxglsrv_noenable.dll", nullptr, ""},  // no DrvEnableEscape
        {"vnxnosuchmodule.dll", nullptr, ""},
        {"vnxescmod_full.dll", "LocalAlloc", ""},
        {"vnxescmod_full.dll", "LoadLibraryA", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        vnx::faults::clear();
        if (row.fault != nullptr) vnx::faults::arm(row.fault);
        EXPECT_EQ(NameEscape(ESC_LOADESCAPEMODULE, row.name), 0u);
        EXPECT_EQ(vnx::debug::take(), row.debug);
        EXPECT_EQ(ppdev_->pEscapeModules, nullptr);
    }
}

// A GL server has an enable entry of the module's name. Loaded as an escape
// module it would write the hook slots behind the loader's back, and
// unloading the module would leave them pointing into freed code: it is
// refused and the binding stays as it was.
TEST_F(EscapeTest, GLServerIsRefusedAsAnEscapeModule) {
    const auto pfnDescribe = ppdev_->pfnDescribePixelFormat;
    const auto pfnCmd = ppdev_->pfnOpenGLCmd;
    EXPECT_EQ(NameEscape(ESC_LOADESCAPEMODULE, "vnxglsrv_ok.dll"), 0u);
    vnx::debug::take();
    EXPECT_EQ(ppdev_->pEscapeModules, nullptr);
    EXPECT_EQ(ppdev_->hGLServer, nullptr);
    EXPECT_EQ(ppdev_->pfnDescribePixelFormat, pfnDescribe);
    EXPECT_EQ(ppdev_->pfnOpenGLCmd, pfnCmd);
    EXPECT_EQ(NameEscape(ESC_UNLOADESCAPEMODULE, "vnxglsrv_ok.dll"), 0u);
}

// The name comes from an application: only a plain file name, ending inside
// the input, is ever handed to the library loader.
TEST_F(EscapeTest, ModuleNamesOtherThanPlainFileNamesAreRefused) {
    struct Row {
        const char* what;
        std::string bytes;  // the whole input, terminator included where there is one
    };
    const std::string kLong(300, 'a');
    const Row rows[] = {
        {"parent folder", std::string("../bin/vnxescmod_full.dll") + '\0'},
        {"absolute path", std::string("/tmp/vnxescmod_full.so") + '\0'},
        {"sub folder", std::string("bin/vnxescmod_full.dll") + '\0'},
        {"back slash", std::string("bin\\vnxescmod_full.dll") + '\0'},
        {"drive", std::string("c:vnxescmod_full.dll") + '\0'},
        {"leading dot", std::string(".vnxescmod_full.dll") + '\0'},
        {"dot dot", std::string("..") + '\0'},
        {"blank", std::string("vnx escmod.dll") + '\0'},
        {"empty", std::string(1, '\0')},
        {"no terminator", std::string("vnxescmod_full.dll")},
        {"too long", kLong + '\0'},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        vnx::faults::clear();
        // Exactly the input's bytes, so a read past them is caught.
        std::vector<char> in(row.bytes.begin(), row.bytes.end());
        EXPECT_EQ(Escape(ESC_LOADESCAPEMODULE, static_cast<ULONG>(in.size()), in.data()), 0u);
        EXPECT_EQ(Escape(ESC_UNLOADESCAPEMODULE, static_cast<ULONG>(in.size()), in.data()), 0u);
        EXPECT_EQ(vnx::faults::calls("LoadLibraryA"), 0);
    }
    // The terminator must lie within cjIn, even when the buffer holds one
    // further on.
    const char szName[] = "vnxescmod_full.dll";
    EXPECT_EQ(Escape(ESC_LOADESCAPEMODULE, sizeof szName - 1, szName), 0u);
    EXPECT_EQ(Escape(ESC_LOADESCAPEMODULE, 16, nullptr), 0u);
    EXPECT_EQ(vnx::faults::calls("LoadLibraryA"), 0);
    EXPECT_EQ(ppdev_->pEscapeModules, nullptr);
    // A longer input with the name at its start is fine.
    std::vector<char> in(512, '\0');
    std::memcpy(in.data(), szName, sizeof szName);
    EXPECT_EQ(Escape(ESC_LOADESCAPEMODULE, 512, in.data()), 1u);
    EXPECT_EQ(Escape(ESC_UNLOADESCAPEMODULE, 512, in.data()), 1u);
}

}  // namespace
