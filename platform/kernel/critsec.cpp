// Re-entrant critical sections.
#include <mutex>

#include "platform/kernel.h"

namespace {
std::recursive_mutex& impl(LPCRITICAL_SECTION cs) {
    return *static_cast<std::recursive_mutex*>(cs->LockImpl);
}
}  // namespace

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    cs->LockImpl = new std::recursive_mutex;
    cs->OwningThread = 0;
    cs->RecursionCount = 0;
}

extern "C" void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    impl(cs).lock();
    cs->OwningThread = GetCurrentThreadId();
    ++cs->RecursionCount;
}

extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    if (!impl(cs).try_lock()) return FALSE;
    cs->OwningThread = GetCurrentThreadId();
    ++cs->RecursionCount;
    return TRUE;
}

extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    // A leave by a thread that does not own the section is a caller fault;
    // ignoring it keeps the owner's lock intact.
    if (cs->RecursionCount <= 0 || cs->OwningThread != GetCurrentThreadId()) return;
    if (--cs->RecursionCount == 0) cs->OwningThread = 0;
    impl(cs).unlock();
}

extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<std::recursive_mutex*>(cs->LockImpl);
    cs->LockImpl = nullptr;
    cs->OwningThread = 0;
    cs->RecursionCount = 0;
}
