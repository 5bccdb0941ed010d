#include <gtest/gtest.h>

#include <cstring>

#include "platform/faults.h"
#include "platform/kernel.h"

TEST(KernelMemory, LocalAllocIsZeroFilledAndFailsWhenArmed) {
    vnx::faults::Scope faults;
    // Dirty a block first so a recycled one would show non-zero bytes.
    auto* dirty = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, 4096));
    std::memset(dirty, 0xAB, 4096);
    LocalFree(dirty);
    auto* p = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, 4096));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(p[i], 0) << i;
    EXPECT_EQ(LocalFree(p), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);

    vnx::faults::arm("LocalAlloc", 1);
    void* first = LocalAlloc(LPTR, 16);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(LocalAlloc(LPTR, 16), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    void* third = LocalAlloc(LPTR, 16);
    EXPECT_NE(third, nullptr);
    LocalFree(first);
    LocalFree(third);
    EXPECT_EQ(vnx::faults::calls("LocalAlloc"), 5);
}

TEST(KernelMemory, VirtualAllocCommitsReservesAndReleasesWholeRegions) {
    auto* p = static_cast<unsigned char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 4096, 0u);
    p[0] = 1;
    p[8191] = 2;
    EXPECT_EQ(p[100], 0);
    // Release takes the base and a size of zero only.
    EXPECT_FALSE(VirtualFree(p + 4096, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(p, 8192, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));

    // Reserve, then commit a page inside; decommitted pages come back zeroed.
    auto* r = static_cast<unsigned char*>(VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(r, nullptr);
    auto* c = static_cast<unsigned char*>(VirtualAlloc(r + 4096, 4096, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_EQ(c, r + 4096);
    c[10] = 9;
    EXPECT_TRUE(VirtualFree(c, 4096, MEM_DECOMMIT));
    ASSERT_EQ(VirtualAlloc(c, 4096, MEM_COMMIT, PAGE_READWRITE), c);
    EXPECT_EQ(c[10], 0);
    int outside = 0;
    EXPECT_EQ(VirtualAlloc(&outside, 4, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_TRUE(VirtualFree(r, 0, MEM_RELEASE));
    EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
}

TEST(KernelMemory, SystemInfoGivesPageAndGranularity) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    EXPECT_EQ(si.dwPageSize, 4096u);
    EXPECT_EQ(si.dwAllocationGranularity, 65536u);
    EXPECT_GE(si.dwNumberOfProcessors, 1u);
}
