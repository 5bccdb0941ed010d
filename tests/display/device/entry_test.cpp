// The driver's entry: DrvEnableDriver's function table and version, and the
// names the shared library exports.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

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

// The names the shared library exports, read from its dynamic symbol table:
// exactly the entry points and the queue and surface API named for it.
std::set<std::string> ExportedNames(HMODULE hmod, const char* pszKnown) {
    std::set<std::string> names;
    Dl_info info{};
    void* pv = reinterpret_cast<void*>(GetProcAddress(hmod, pszKnown));
    if (pv == nullptr || dladdr(pv, &info) == 0 || info.dli_fname == nullptr) return names;
    std::ifstream f(info.dli_fname, std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (image.size() < sizeof(Elf64_Ehdr)) return names;
    const auto* eh = reinterpret_cast<const Elf64_Ehdr*>(image.data());
    if (eh->e_shoff + std::uint64_t{eh->e_shnum} * sizeof(Elf64_Shdr) > image.size()) return names;
    const auto* sh = reinterpret_cast<const Elf64_Shdr*>(image.data() + eh->e_shoff);
    for (unsigned i = 0; i < eh->e_shnum; ++i) {
        if (sh[i].sh_type != SHT_DYNSYM || sh[i].sh_link >= eh->e_shnum) continue;
        const Elf64_Shdr& strtab = sh[sh[i].sh_link];
        if (sh[i].sh_offset + sh[i].sh_size > image.size() ||
            strtab.sh_offset + strtab.sh_size > image.size())
            return names;
        const auto* sym = reinterpret_cast<const Elf64_Sym*>(image.data() + sh[i].sh_offset);
        for (std::size_t k = 0; k < sh[i].sh_size / sizeof(Elf64_Sym); ++k) {
            const unsigned char bind = ELF64_ST_BIND(sym[k].st_info);
            if (sym[k].st_shndx == SHN_UNDEF || sym[k].st_name >= strtab.sh_size ||
                (bind != STB_GLOBAL && bind != STB_WEAK) ||
                ELF64_ST_VISIBILITY(sym[k].st_other) != STV_DEFAULT)
                continue;
            const std::string name = image.data() + strtab.sh_offset + sym[k].st_name;
            // AddressSanitizer adds a companion symbol to each exported global.
            if (name.rfind("__odr_asan.", 0) == 0) continue;
            names.insert(name);
        }
    }
    return names;
}

// Only the named entry points leave the library; the rest is reached
// through the table. The list is whole: nothing else is exported.
TEST_F(DriverLibrary, ExportsOnlyTheNamedEntryPoints) {
    const std::set<std::string> expected = {
        // The driver's entry and its exported entry points.
        "DrvEnableDriver", "DrvDisableDriver", "DrvBitBlt", "DrvCopyBits", "DrvCreateDeviceBitmap",
        // The surface API the GL server links against.
        "CopyBits", "CreateDeviceBitmap", "CreateIGBETile", "DfbAssignFormat", "DeleteDeviceBitmap",
        "LoadDitherMat",
        "kz2WriteRectZoom", "kz2WriteRectNoPrimData", "kz2SwapBackToFrontC", "kz2FrontBufferDrawn",
        // Where the GL server finds what it reads in the device record.
        "gGLPdevFields",
        // The packet-queue API.
        "kz2AllocFlushQueue", "kz2AllocQueue", "kz2ConfigDisable", "kz2ConfigEnable", "kz2CopyPrim",
        "kz2CopyPrimAndUpdate", "kz2CopyPrimMulScreen", "kz2CopyPrimN", "kz2CopyPrimOpt",
        "kz2CopyPrimStripOpt", "kz2FlushPacket", "kz2FlushQueue", "kz2FlushStreamNoWait",
        "kz2FlushStreamNoWaitReally", "kz2FlushStreamRenderWait", "kz2FlushStreamRenderWaitReally",
        "kz2FlushStreamRenderWaitRoom", "kz2GetBlockEnable", "kz2GetQueueMgt", "kz2NewPacketQueue",
        "kz2PollWait", "kz2SoftUpdatePacketPtr", "kz2UpdatePacketPtr", "kz2VBLANKWait",
        // The debugging exports.
        "DebugPrint", "dumpdsurf", "help", "ProfEnter", "ProfLeave", "kzCompressRect"};
    EXPECT_EQ(ExportedNames(hmod_, "DrvEnableDriver"), expected);
    for (const char* name : {"DrvEnablePDEV", "DrvSetPalette", "DrvGetModes", "bSetMode"})
        EXPECT_EQ(GetProcAddress(hmod_, name), nullptr) << name;
}

}  // namespace
