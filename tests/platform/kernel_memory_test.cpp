#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/faults.h"
#include "platform/kernel.h"
#include "platform/process.h"

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

// A block's size is known while it lives, and only at its start.
TEST(KernelMemory, LocalSizeAnswersForLiveBlocksOnly) {
    auto* p = static_cast<unsigned char*>(LocalAlloc(LPTR, 40));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(LocalSize(p), 40u);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LocalSize(p + 8), 0u) << "not the start of a block";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(LocalSize(nullptr), 0u);
    void* v = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(LocalSize(v), 0u) << "virtual memory is not a heap block";
    VirtualFree(v, 0, MEM_RELEASE);
    LocalFree(p);
    EXPECT_EQ(LocalSize(p), 0u) << "freed";
}

// Virtual memory of every logical process lies below 4 GB, so its addresses
// fit the 32-bit fields a client hands to the drivers.
TEST(KernelMemory, VirtualAllocPlacesEveryRegionBelow4GB) {
    const DWORD a = vnx::process::create("a"), b = vnx::process::create("b");
    std::vector<std::pair<DWORD, void*>> regions;
    for (DWORD pid : {DWORD{0}, a, b}) {
        vnx::process::Scope as(pid);
        for (SIZE_T cb : {SIZE_T{1}, SIZE_T{4096}, SIZE_T{1} << 20, SIZE_T{16} << 20}) {
            for (DWORD fl : {DWORD{MEM_COMMIT}, DWORD{MEM_RESERVE}}) {
                void* p = VirtualAlloc(nullptr, cb, fl, fl == MEM_COMMIT ? PAGE_READWRITE : PAGE_NOACCESS);
                ASSERT_NE(p, nullptr) << pid << ", " << cb;
                const auto u = reinterpret_cast<std::uintptr_t>(p);
                EXPECT_LE(u + cb, std::uintptr_t{1} << 32) << pid << ", " << cb;
                EXPECT_EQ(reinterpret_cast<void*>(std::uintptr_t{static_cast<ULONG>(u)}), p);
                regions.emplace_back(pid, p);
            }
        }
    }
    for (auto& [pid, p] : regions) {
        vnx::process::Scope as(pid);
        EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
    }
    vnx::process::terminate(a);
    vnx::process::terminate(b);
}

TEST(KernelMemory, SystemInfoGivesPageAndGranularity) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    EXPECT_EQ(si.dwPageSize, 4096u);
    EXPECT_EQ(si.dwAllocationGranularity, 65536u);
    EXPECT_GE(si.dwNumberOfProcessors, 1u);
}
