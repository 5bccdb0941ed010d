// Process heap (LocalAlloc) and virtual memory (VirtualAlloc). Virtual
// memory lies below 4 GB for every logical process.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "objects.h"
#include "platform/faults.h"
#include "platform/kernel.h"

namespace {

// Regions made by VirtualAlloc: base -> size, so VirtualFree can release a
// whole region from its base alone, as callers expect.
struct Regions {
    std::mutex lock;
    std::map<std::uintptr_t, size_t> bySize;
};

Regions& regions() {
    static Regions* r = new Regions;
    return *r;
}

// Every VirtualAlloc region ends at or below this address.
constexpr std::uintptr_t kLimit32 = std::uintptr_t{1} << 32;

size_t page_size() {
    static const size_t p = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return p;
}

size_t round_to_pages(size_t n) { return (n + page_size() - 1) & ~(page_size() - 1); }

int protection(DWORD flProtect) {
    switch (flProtect) {
        case PAGE_NOACCESS: return PROT_NONE;
        case PAGE_READONLY: return PROT_READ;
        default: return PROT_READ | PROT_WRITE;
    }
}

// The region that holds [p, p + n), or end().
std::map<std::uintptr_t, size_t>::iterator region_of(Regions& r, std::uintptr_t p, size_t n) {
    auto it = r.bySize.upper_bound(p);
    if (it == r.bySize.begin()) return r.bySize.end();
    --it;
    if (p + n > it->first + it->second) return r.bySize.end();
    return it;
}

}  // namespace

extern "C" HLOCAL LocalAlloc(UINT, SIZE_T uBytes) {
    if (vnx::faults::should_fail("LocalAlloc")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Always zero-filled: the drivers rely on fresh records being zero.
    void* p = std::calloc(1, uBytes ? uBytes : 1);
    if (p == nullptr)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    else
        vnx::kernel::note_region(p, uBytes, vnx::kernel::current_pid(), true);
    return p;
}

extern "C" SIZE_T LocalSize(HLOCAL hMem) {
    const size_t cb = vnx::kernel::heap_block_size(hMem);
    if (cb == 0) SetLastError(ERROR_INVALID_HANDLE);
    return cb;
}

extern "C" HLOCAL LocalFree(HLOCAL hMem) {
    vnx::kernel::forget_region(hMem);
    std::free(hMem);
    return nullptr;
}

extern "C" LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                               DWORD flProtect) {
    if (dwSize == 0 || (flAllocationType & (MEM_COMMIT | MEM_RESERVE)) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (vnx::faults::should_fail("VirtualAlloc")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Regions& r = regions();
    std::lock_guard<std::mutex> g(r.lock);
    if (lpAddress != nullptr) {
        // Committing pages of a region reserved earlier.
        auto base = reinterpret_cast<std::uintptr_t>(lpAddress) & ~(page_size() - 1);
        size_t size = round_to_pages(reinterpret_cast<std::uintptr_t>(lpAddress) + dwSize - base);
        if (region_of(r, base, size) == r.bySize.end() || !(flAllocationType & MEM_COMMIT)) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return nullptr;
        }
        if (mprotect(reinterpret_cast<void*>(base), size, protection(flProtect)) != 0) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return nullptr;
        }
        return reinterpret_cast<void*>(base);
    }
    size_t size = round_to_pages(dwSize);
    int prot = (flAllocationType & MEM_COMMIT) ? protection(flProtect) : PROT_NONE;
    // Below 4 GB: a client hands the addresses of its VirtualAlloc memory to
    // the drivers in 32-bit fields, as it would in a 32-bit address space.
    void* p = mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (p != MAP_FAILED && reinterpret_cast<std::uintptr_t>(p) + size > kLimit32) {
        munmap(p, size);
        p = MAP_FAILED;
    }
    if (p == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    r.bySize[reinterpret_cast<std::uintptr_t>(p)] = size;
    vnx::kernel::note_region(p, size, vnx::kernel::current_pid());
    return p;
}

extern "C" BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
    Regions& r = regions();
    std::lock_guard<std::mutex> g(r.lock);
    auto p = reinterpret_cast<std::uintptr_t>(lpAddress);
    if (dwFreeType == MEM_RELEASE) {
        auto it = r.bySize.find(p);
        if (it == r.bySize.end() || dwSize != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        munmap(lpAddress, it->second);
        r.bySize.erase(it);
        vnx::kernel::forget_region(lpAddress);
        return TRUE;
    }
    if (dwFreeType == MEM_DECOMMIT) {
        auto base = p & ~(page_size() - 1);
        auto it = r.bySize.find(base);
        size_t size = dwSize == 0 && it != r.bySize.end() ? it->second
                                                          : round_to_pages(p + dwSize - base);
        if (region_of(r, base, size) == r.bySize.end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        // Decommitted pages read as zero when committed again.
        madvise(reinterpret_cast<void*>(base), size, MADV_DONTNEED);
        mprotect(reinterpret_cast<void*>(base), size, PROT_NONE);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
