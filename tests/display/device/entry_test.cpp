// The driver's entry: DrvEnableDriver's function table and version, and the
// names the shared library exports.
#include <gtest/gtest.h>

#include <set>

#include "platform/ddi.h"
#include "platform/kernel.h"

namespace {

class DriverLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        hmod_ = LoadLibraryA("vornix.dll");
        ASSERT_NE(hmod_, nullptr);
        enable_ = reinterpret_cast<PFN_DrvEnableDriver>(GetProcAddress(hmod_, "DrvEnableDriver"));
        ASSERT_NE(enable_, nullptr);
    }
    void TearDown() override {
        if (hmod_ != nullptr) FreeLibrary(hmod_);
    }

    HMODULE hmod_ = nullptr;
    PFN_DrvEnableDriver enable_ = nullptr;
};

// What each size fills: the record counts in 32-bit words, so only 12, 8 and
// 4 bytes fill anything, and the call succeeds whatever the size.
TEST_F(DriverLibrary, EnableDriverFillsByWordCount) {
    struct Row {
        ULONG cj;
        bool table, count, version;
    };
    const Row rows[] = {
        {12, true, true, true},    {8, false, true, true},   {4, false, false, true},
        {16, false, false, false}, {0, false, false, false}, {3, false, false, false},
        {15, true, true, true},
    };
    DRVFN sentinel[1]{};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cj);
        DRVENABLEDATA ded{0xDEAD, 0xBEEF, sentinel};
        EXPECT_TRUE(enable_(0x12345678, row.cj, &ded));
        EXPECT_EQ(ded.pdrvfn != sentinel, row.table);
        EXPECT_EQ(ded.c == 27, row.count);
        EXPECT_EQ(ded.c == 0xBEEF, !row.count);
        EXPECT_EQ(ded.iDriverVersion == 0x10002u, row.version);
        EXPECT_EQ(ded.iDriverVersion == 0xDEAD, !row.version);
    }
}

TEST_F(DriverLibrary, TableHoldsTheTwentySevenEntryPointsOnce) {
    DRVENABLEDATA ded{};
    ASSERT_TRUE(enable_(DDI_DRIVER_VERSION, CJ_DRVENABLEDATA, &ded));
    ASSERT_EQ(ded.c, 27u);
    const std::set<ULONG> expected = {
        INDEX_DrvEnablePDEV,
        INDEX_DrvCompletePDEV,
        INDEX_DrvDisablePDEV,
        INDEX_DrvEnableSurface,
        INDEX_DrvDisableSurface,
        INDEX_DrvAssertMode,
        INDEX_DrvGetModes,
        INDEX_DrvTextOut,
        INDEX_DrvStrokePath,
        INDEX_DrvCopyBits,
        INDEX_DrvCreateDeviceBitmap,
        INDEX_DrvDeleteDeviceBitmap,
        INDEX_DrvDitherColor,
        INDEX_DrvSetPalette,
        INDEX_DrvFillPath,
        INDEX_DrvStrokeAndFillPath,
        INDEX_DrvStretchBlt,
        INDEX_DrvRealizeBrush,
        INDEX_DrvBitBlt,
        INDEX_DrvSetPointerShape,
        INDEX_DrvMovePointer,
        INDEX_DrvPaint,
        INDEX_DrvDescribePixelFormat,
        INDEX_DrvSetPixelFormat,
        INDEX_DrvSwapBuffers,
        INDEX_DrvEscape,
        INDEX_DrvDrawEscape,
    };
    std::set<ULONG> seen;
    for (ULONG i = 0; i < ded.c; ++i) {
        EXPECT_TRUE(seen.insert(ded.pdrvfn[i].iFunc).second)
            << "index twice: " << ded.pdrvfn[i].iFunc;
        EXPECT_NE(ded.pdrvfn[i].pfn, nullptr);
    }
    EXPECT_EQ(seen, expected);
}

// Only the named entry points leave the library; the rest is reached
// through the table.
TEST_F(DriverLibrary, ExportsOnlyTheNamedEntryPoints) {
    for (const char* name : {"DrvEnableDriver", "DrvDisableDriver", "DebugPrint", "dumpdsurf",
                             "help", "ProfEnter", "ProfLeave", "kzCompressRect"})
        EXPECT_NE(GetProcAddress(hmod_, name), nullptr) << name;
    for (const char* name : {"DrvEnablePDEV", "DrvSetPalette", "DrvGetModes", "bSetMode"})
        EXPECT_EQ(GetProcAddress(hmod_, name), nullptr) << name;
}

}  // namespace
