// Which logical process owns a piece of memory.
//
// All logical processes share one address space, so nothing stops one from
// naming another's memory. Memory a process allocates through this layer
// (LocalAlloc, VirtualAlloc, section views) is recorded as its own;
// ReadProcessMemory and WriteProcessMemory refuse an address that another
// process owns, so a client that passes the address of the server's records
// gets the failure a separate address space would give. Memory this layer did
// not hand out (stacks, the C++ heap) has no recorded owner and is taken as
// the named process's own.
#include <map>
#include <mutex>

#include "objects.h"

namespace vnx::kernel {
namespace {

struct Region {
    size_t size;
    DWORD pid;
};

struct Owners {
    std::mutex lock;
    std::map<std::uintptr_t, Region> byStart;
};

Owners& owners() {
    static Owners* o = new Owners;
    return *o;
}

}  // namespace

void note_region(const void* p, size_t size, DWORD pid) {
    if (p == nullptr) return;
    Owners& o = owners();
    std::lock_guard<std::mutex> g(o.lock);
    o.byStart[reinterpret_cast<std::uintptr_t>(p)] = Region{size ? size : 1, pid};
}

void forget_region(const void* p) {
    if (p == nullptr) return;
    Owners& o = owners();
    std::lock_guard<std::mutex> g(o.lock);
    o.byStart.erase(reinterpret_cast<std::uintptr_t>(p));
}

bool owned_by_another(const void* p, size_t size, DWORD pid) {
    auto start = reinterpret_cast<std::uintptr_t>(p);
    auto end = start + size;
    if (end < start) return true;  // wraps the address space
    Owners& o = owners();
    std::lock_guard<std::mutex> g(o.lock);
    auto it = o.byStart.upper_bound(start);
    if (it != o.byStart.begin()) --it;
    for (; it != o.byStart.end() && it->first < end; ++it) {
        bool overlaps = it->first + it->second.size > start;
        if (overlaps && it->second.pid != pid) return true;
    }
    return false;
}

}  // namespace vnx::kernel
