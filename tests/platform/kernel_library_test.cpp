#include <gtest/gtest.h>

#include "platform/faults.h"
#include "platform/kernel.h"

namespace {
using EntryFn = int (*)(int);
using CallsFn = int (*)(void);
}  // namespace

TEST(KernelLibrary, LoadsByDllNameAndFindsOnlyExportedEntries) {
    HMODULE h = LoadLibraryA("vnxtestlib.dll");
    ASSERT_NE(h, nullptr) << "vnxtestlib.so must sit beside the test program";
    auto entry = reinterpret_cast<EntryFn>(GetProcAddress(h, "TestLibEntry"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(20), 41);
    EXPECT_EQ(GetProcAddress(h, "TestLibNotExported"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(h, reinterpret_cast<LPCSTR>(1)), nullptr) << "ordinal";

    // A second load is the same module with a second count; state is shared.
    // File names are matched without regard to case, as on the original platform.
    HMODULE again = LoadLibraryA("VNXTESTLIB.DLL");
    ASSERT_EQ(again, h);
    HMODULE bare = LoadLibraryA("vnxtestlib");
    ASSERT_EQ(bare, h);
    EXPECT_TRUE(FreeLibrary(bare));
    auto calls = reinterpret_cast<CallsFn>(GetProcAddress(again, "TestLibCalls"));
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls(), 1);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_EQ(reinterpret_cast<CallsFn>(GetProcAddress(h, "TestLibCalls"))(), 1);
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_FALSE(FreeLibrary(h));
    EXPECT_EQ(GetProcAddress(h, "TestLibEntry"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(KernelLibrary, MissingLibraryAndArmedFailureAnswerNull) {
    EXPECT_EQ(LoadLibraryA("nosuchdriver.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    vnx::faults::Scope faults;
    vnx::faults::arm("LoadLibraryA");
    EXPECT_EQ(LoadLibraryA("vnxtestlib.dll"), nullptr);
}
