// The calling thread's block: made at attach (or late, on first need), kept
// in thread-local storage, found through a cached (thread id, block) pair
// while one thread only uses OpenGL, and released at detach.
#include <cstring>

#include "clt.h"

DWORD gTlsIndex = CLT_NO_TLS_INDEX;

namespace {

// The one critical section, made by whoever needs it first.
CRITICAL_SECTION gCritSec;
std::atomic<bool> gCritSecReady{false};
std::atomic<bool> gCritSecMaking{false};

// The cached pair and the count of threads, under gCritSec. The fast path
// reads the cached block without the lock while the count is exactly 1.
std::atomic<DWORD> gCachedThreadId{0};
std::atomic<ThreadBlock*> gCachedBlock{nullptr};
std::atomic<ULONG> gThreadCount{0};

}  // namespace

void vInitCritSec() {
    if (gCritSecReady.load()) return;
    // Two threads may both find it missing: one makes it, the other waits.
    bool expected = false;
    if (gCritSecMaking.compare_exchange_strong(expected, true)) {
        InitializeCriticalSection(&gCritSec);
        gCritSecReady.store(true);
        return;
    }
    while (!gCritSecReady.load()) Sleep(0);
}

void vDeleteCritSec() {
    if (!gCritSecReady.load()) return;
    DeleteCriticalSection(&gCritSec);
    gCachedThreadId.store(0);
    gCachedBlock.store(nullptr);
    gThreadCount.store(0);
    gCritSecReady.store(false);
    gCritSecMaking.store(false);
}

namespace {

// Whether logical process pid has ended (it can no longer be opened).
bool bProcessEnded(DWORD pid) {
    HANDLE h = OpenProcess(PROCESS_VM_READ, FALSE, pid);
    if (h == nullptr) return true;
    CloseHandle(h);
    return false;
}

// Lets go of the block of a process that has ended: its segment view,
// handles and device context went with that process and are not touched
// (the address of the view may belong to another mapping by now); only the
// records are freed. The worker's record is kept when its thread may still
// be on its way out.
void vAbandonThreadBlock(ThreadBlock* ptb) {
    if (FlushWorker* pfw = ptb->worker; pfw != nullptr && (pfw->synchronous || pfw->ended.load() != 0))
        LocalFree(pfw);
    LocalFree(ptb->segment);
    LocalFree(ptb->primState);
    vForgetThreadBlock(ptb);
    LocalFree(ptb);
}

}  // namespace

ThreadBlock* pThreadBlockOfThread() {
    if (gTlsIndex == CLT_NO_TLS_INDEX) return nullptr;
    auto* ptb = static_cast<ThreadBlock*>(TlsGetValue(gTlsIndex));
    if (ptb != nullptr && ptb->pid != GetCurrentProcessId() && bProcessEnded(ptb->pid)) {
        TlsSetValue(gTlsIndex, nullptr);
        vAbandonThreadBlock(ptb);
        return nullptr;
    }
    return ptb;
}

ThreadBlock* CurrentThreadBlock() {
    const DWORD tid = GetCurrentThreadId();
    if (gCachedThreadId.load() == tid) {
        ThreadBlock* ptb = gCachedBlock.load();
        if (ptb != nullptr && ptb->pid == GetCurrentProcessId()) return ptb;
    }
    vInitCritSec();
    ThreadBlock* ptb = pThreadBlockOfThread();
    if (ptb == nullptr) return nullptr;
    EnterCriticalSection(&gCritSec);
    if (gThreadCount.load() <= 1) gThreadCount.fetch_add(1);
    gCachedThreadId.store(tid);
    gCachedBlock.store(ptb);
    LeaveCriticalSection(&gCritSec);
    return ptb;
}

ThreadBlock* CurrentThreadBlockFast() {
    if (gThreadCount.load() == 1 && gCachedThreadId.load() == GetCurrentThreadId()) {
        ThreadBlock* ptb = gCachedBlock.load();
        if (ptb != nullptr && ptb->pid == GetCurrentProcessId()) return ptb;
    }
    return CurrentThreadBlock();
}

void vCountCurrentThread(ThreadBlock* ptb) {
    vInitCritSec();
    EnterCriticalSection(&gCritSec);
    const DWORD tid = GetCurrentThreadId();
    if (gThreadCount.load() == 0) {
        gCachedThreadId.store(tid);
        gCachedBlock.store(ptb);
        gThreadCount.store(1);
    } else if (gThreadCount.load() == 1 && gCachedThreadId.load() != tid) {
        gThreadCount.store(2);
    }
    LeaveCriticalSection(&gCritSec);
}

void vForgetThreadBlock(ThreadBlock* ptb) {
    if (!gCritSecReady.load()) return;
    EnterCriticalSection(&gCritSec);
    if (gCachedBlock.load() == ptb) {
        gCachedBlock.store(nullptr);
        gCachedThreadId.store(0);
    }
    LeaveCriticalSection(&gCritSec);
}

ULONG ulThreadCount() { return gThreadCount.load(); }

BOOL CreateThreadBlock() {
    if (gTlsIndex == CLT_NO_TLS_INDEX) return FALSE;
    auto* ptb = static_cast<ThreadBlock*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(ThreadBlock)));
    if (ptb == nullptr) return FALSE;
    ptb->pid = GetCurrentProcessId();
    ptb->displayDC = CreateDCA("display", nullptr, nullptr, nullptr);
    ptb->primState = static_cast<PrimState*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(PrimState)));
    if (ptb->displayDC == nullptr || ptb->primState == nullptr || !TlsSetValue(gTlsIndex, ptb)) {
        if (ptb->displayDC != nullptr) DeleteDC(ptb->displayDC);
        if (ptb->primState != nullptr) LocalFree(ptb->primState);
        LocalFree(ptb);
        TlsSetValue(gTlsIndex, nullptr);
        return FALSE;
    }
    ptb->primState->endPending = 0;
    ptb->primState->smallCache = 0;
    ptb->primState->vertexCount = 0;
    ptb->primState->firstVertexPending = 0;
    ptb->primState->mode = PRIM_NO_MODE;
    return TRUE;
}

void ReleaseThreadBlock(ThreadBlock* ptb) {
    StopFlushWorker(ptb);
    if (ptb->context != nullptr && ptb->context->currentThread == GetCurrentThreadId())
        ptb->context->currentThread = 0;
    ptb->context = nullptr;
    LocalFree(ptb->primState);
    ptb->primState = nullptr;
    DeleteDC(ptb->displayDC);
    ptb->displayDC = nullptr;
    if (ptb->segment != nullptr) FreeSMSegment(ptb);
    vForgetThreadBlock(ptb);
}
