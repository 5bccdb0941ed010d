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
#include <functional>
#include <map>
#include <mutex>

#include "objects.h"

namespace vnx::kernel {
namespace {

struct Region {
    size_t size;
    DWORD pid;
    size_t cbHeapBlock;  // a LocalAlloc block: the bytes asked for; else 0
    bool bHeapBlock;
};

// The table is keyed by the complement of each region's start, never by the
// start itself: a table holding the plain address would count as a live
// reference to every block, and the leak checker could never report a block
// a process forgot to free. Ordering the complements by std::greater keeps
// the entries in ascending address order.
using HiddenStart = std::uintptr_t;

HiddenStart hide(std::uintptr_t start) { return ~start; }
std::uintptr_t reveal(HiddenStart key) { return ~key; }

struct Owners {
    std::mutex lock;
    std::map<HiddenStart, Region, std::greater<HiddenStart>> byStart;
};

Owners& owners() {
    static Owners* o = new Owners;
    return *o;
}

}  // namespace

void note_region(const void* p, size_t size, DWORD pid, bool bHeapBlock) {
    if (p == nullptr) return;
    Owners& o = owners();
    std::lock_guard<std::mutex> g(o.lock);
    o.byStart[hide(reinterpret_cast<std::uintptr_t>(p))] =
        Region{size ? size : 1, pid, bHeapBlock ? size : 0, bHeapBlock};
}

size_t heap_block_size(const void* p) {
    if (p == nullptr) return 0;
    Owners& o = owners();
    std::lock_guard<std::mutex> g(o.lock);
    auto it = o.byStart.find(hide(reinterpret_cast<std::uintptr_t>(p)));
    return it != o.byStart.end() && it->second.bHeapBlock ? it->second.cbHeapBlock : 0;
}

void forget_region(const void* p) {
    if (p == nullptr) return;
    Owners& o = owners();
    std::lock_guard<std::mutex> g(o.lock);
    o.byStart.erase(hide(reinterpret_cast<std::uintptr_t>(p)));
}

bool owned_by_another(const void* p, size_t size, DWORD pid) {
    auto start = reinterpret_cast<std::uintptr_t>(p);
    auto end = start + size;
    if (end < start) return true;  // wraps the address space
    Owners& o = owners();
    std::lock_guard<std::mutex> g(o.lock);
    auto it = o.byStart.upper_bound(hide(start));
    if (it != o.byStart.begin()) --it;
    for (; it != o.byStart.end() && reveal(it->first) < end; ++it) {
        bool overlaps = reveal(it->first) + it->second.size > start;
        if (overlaps && it->second.pid != pid) return true;
    }
    return false;
}

}  // namespace vnx::kernel
