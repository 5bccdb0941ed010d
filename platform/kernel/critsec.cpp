// Re-entrant critical sections.
//
// The lock behind a section is one word (0 free, 1 held, 2 held with
// waiters) that waiters sleep on with a futex, so an uncontended enter and
// leave is one atomic exchange each. The owner's id and the recursion count
// live in the record: the owner reads them without a lock (only the owner
// writes them while the word is held), and another thread comparing the
// owner's id with its own never sees its own id there.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "objects.h"
#include "platform/kernel.h"

namespace {

struct Lock {
    std::atomic<std::uint32_t> word{0};
};

Lock& lock_of(LPCRITICAL_SECTION cs) { return *static_cast<Lock*>(cs->LockImpl); }

std::atomic_ref<DWORD> owner_of(LPCRITICAL_SECTION cs) { return std::atomic_ref<DWORD>(cs->OwningThread); }

void futex(std::atomic<std::uint32_t>& word, int op, std::uint32_t value) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), op | FUTEX_PRIVATE_FLAG, value,
            nullptr, nullptr, 0);
}

bool try_acquire(Lock& l) {
    std::uint32_t expected = 0;
    return l.word.compare_exchange_strong(expected, 1, std::memory_order_acquire,
                                          std::memory_order_relaxed);
}

void acquire(Lock& l) {
    if (try_acquire(l)) return;
    // Contended: mark the word as having waiters and sleep until it is free.
    while (l.word.exchange(2, std::memory_order_acquire) != 0) futex(l.word, FUTEX_WAIT, 2);
}

void release(Lock& l) {
    if (l.word.exchange(0, std::memory_order_release) == 2) futex(l.word, FUTEX_WAKE, 1);
}

void take(LPCRITICAL_SECTION cs, DWORD self) {
    owner_of(cs).store(self, std::memory_order_relaxed);
    cs->RecursionCount = 1;
}

}  // namespace

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    cs->LockImpl = new Lock;
    cs->OwningThread = 0;
    cs->RecursionCount = 0;
}

extern "C" void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    const DWORD self = vnx::kernel::current_thread_id();
    if (owner_of(cs).load(std::memory_order_relaxed) == self) {
        ++cs->RecursionCount;
        return;
    }
    acquire(lock_of(cs));
    take(cs, self);
}

extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    const DWORD self = vnx::kernel::current_thread_id();
    if (owner_of(cs).load(std::memory_order_relaxed) == self) {
        ++cs->RecursionCount;
        return TRUE;
    }
    if (!try_acquire(lock_of(cs))) return FALSE;
    take(cs, self);
    return TRUE;
}

extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    // A leave by a thread that does not own the section is a caller fault;
    // ignoring it keeps the owner's lock intact.
    if (owner_of(cs).load(std::memory_order_relaxed) != vnx::kernel::current_thread_id() ||
        cs->RecursionCount <= 0)
        return;
    if (--cs->RecursionCount != 0) return;
    owner_of(cs).store(0, std::memory_order_relaxed);
    release(lock_of(cs));
}

extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<Lock*>(cs->LockImpl);
    cs->LockImpl = nullptr;
    cs->OwningThread = 0;
    cs->RecursionCount = 0;
}
