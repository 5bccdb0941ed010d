// FlushProcessWriteBuffers: every thread of the process has its pending
// stores made visible, and runs a full barrier, before the call returns.
// It is the costly side of a handshake whose frequent side then needs no
// barrier of its own, only its program order (the compiler's).
//
// Linux gives this as the expedited private membarrier; where that is not
// there, changing the protection of a page this process has touched makes
// the kernel interrupt every processor that runs one of its threads, which
// serialises them the same way.
#include <linux/membarrier.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "platform/kernel.h"

namespace {

long membarrier(int cmd) { return syscall(SYS_membarrier, cmd, 0, 0); }

struct Barrier {
    bool expedited = false;
    std::mutex lock;           // the page below
    void* page = nullptr;
    Barrier() {
        expedited = membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
        if (!expedited) {
            page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (page == MAP_FAILED) page = nullptr;
        }
    }
};

Barrier& barrier() {
    static Barrier* b = new Barrier;  // used until the process ends
    return *b;
}

}  // namespace

extern "C" void FlushProcessWriteBuffers(void) {
    Barrier& b = barrier();
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (b.expedited && membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return;
    std::lock_guard<std::mutex> g(b.lock);
    if (b.page != nullptr) {
        // The page must be mapped writable and touched for the protection
        // change to reach the other processors.
        mprotect(b.page, 4096, PROT_READ | PROT_WRITE);
        *static_cast<volatile char*>(b.page) = 0;
        mprotect(b.page, 4096, PROT_READ);
    }
    std::atomic_thread_fence(std::memory_order_seq_cst);
}
