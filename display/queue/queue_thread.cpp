// The queue flush thread. Every pass it visits each device whose surface is
// enabled, reads the device's current queue manager and, unless a queue
// operation holds it off, hands the completed words of every queue to the
// board (kz2FlushStreamNoWait); then it pauses for the flush period. One
// thread serves every device of the process; it starts with the first
// device and ends when the last one is released, so it never touches
// records that a release has freed.
//
// Stopping does not depend on the thread's handle: the handle lives in the
// handle table of the process the starting call acted for, and a release may
// act for another process (or that process may have ended). The thread says
// itself, under the lock, that it has left its loop, and the release waits
// for that; from then on it touches no queue. The release then joins the
// thread through its handle (moved into the calling process's table when
// another process holds it), so the thread is gone before the driver can be
// unloaded; when the starting process has ended, its handles went with it
// and the thread's own word is all there is. A start that finds the thread
// still in its loop (a stop that timed out) keeps that thread instead of
// starting a second one.
//
// The hold-off handshake on each manager: the thread stores fIdle = 0, makes
// every thread's stores visible (FlushProcessWriteBuffers), reads fAutoFlush
// and flushes only when it is set, then stores fIdle = 1 (a release). A
// queue operation stores fAutoFlush = 0 and waits for fIdle = 1
// (vHoldFlushThread). Whichever of the two stores comes first is seen by the
// other side, so the thread never flushes while an operation holds the
// queues. The thread's call is the handshake's only barrier: it serialises
// the holding thread too, so the hold, made once a packet, needs none; an
// operation already holding the thread does not hold it again, and letting
// it in again is a release store of fAutoFlush = 1.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "queue/queue_internal.h"

namespace {

// How long a release waits for the thread to end.
constexpr DWORD kdwStopWaitMs = 10000;

struct FlushThread {
    std::mutex mutexLife;              // one start or stop at a time
    std::mutex mutex;                  // the fields below; the thread holds it during a pass
    std::condition_variable cv;        // wakes the pausing thread to stop
    std::condition_variable cvExited;  // the thread has left its loop
    std::vector<PDEV*> devices;
    bool bStop = false;
    // From the start until the thread, under the lock, leaves its loop.
    bool bRunning = false;
    HANDLE hThread = nullptr;  // in the handle table of process pidCreator
    DWORD pidCreator = 0;
    std::atomic<ULONG> cLoops{0};  // threads inside their loop (at most one)
    std::atomic<std::uint64_t> cPasses{0};
    std::atomic<DWORD> dwPeriod{KZ2_FLUSH_PERIOD_MS};
};

// Lives for the whole process: the thread may still be on its way out of
// the last pass when the statics of a library are destroyed. Kept on
// purpose also past an unload of the library, so the leak checker is told
// not to report it.
FlushThread& gThread() {
    static FlushThread* p = [] {
        FlushThread* pt = new FlushThread;
#if defined(__SANITIZE_ADDRESS__)
        __lsan_ignore_object(pt);
#endif
        return pt;
    }();
    return *p;
}

void vFlushStep(KZ2QUEUEMGT qm) {
    qm->fIdle.store(0, std::memory_order_relaxed);
    // The handshake's one barrier, for both sides: fIdle = 0 is visible
    // before fAutoFlush is read, and so is a holder's fAutoFlush = 0 stored
    // before it (vHoldFlushThread uses no barrier of its own; the step runs
    // once a period, the holds once a packet).
    FlushProcessWriteBuffers();
    if (qm->fAutoFlush.load(std::memory_order_acquire) != 0) kz2FlushStreamNoWait(qm, qm->pStreamEnd);
    // Release: a holder that reads fIdle = 1 sees what the step wrote.
    qm->fIdle.store(1, std::memory_order_release);
}

DWORD dwFlushThread(LPVOID) {
    FlushThread& t = gThread();
    std::unique_lock lock(t.mutex);
    t.cLoops.fetch_add(1);
    while (!t.bStop) {
        for (PDEV* ppdev : t.devices) {
            if (ppdev->pqm != nullptr) vFlushStep(ppdev->pqm);
        }
        t.cPasses.fetch_add(1);
        t.cv.wait_for(lock, std::chrono::milliseconds(t.dwPeriod.load()), [&t] { return t.bStop; });
    }
    // Decided under the lock: a start that comes later starts a new thread.
    t.cLoops.fetch_sub(1);
    t.bRunning = false;
    t.cvExited.notify_all();
    return 0;
}

// Waits until a thread that has left its loop has ended and closes its
// handle, whichever process the caller acts for.
void vJoinThread(HANDLE h, DWORD pidCreator) {
    HANDLE hWait = nullptr;
    if (GetCurrentProcessId() == pidCreator) {
        hWait = h;
    } else if (HANDLE hCreator = OpenProcess(PROCESS_DUP_HANDLE, FALSE, pidCreator)) {
        if (!DuplicateHandle(hCreator, h, GetCurrentProcess(), &hWait, 0, FALSE,
                             DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE)) {
            hWait = nullptr;
        }
        CloseHandle(hCreator);
    }
    if (hWait == nullptr) return;  // the starting process has ended
    if (WaitForSingleObject(hWait, kdwStopWaitMs) != WAIT_OBJECT_0)
        DbgPrint("vForgetDevice: the flush thread did not end\n");
    CloseHandle(hWait);
}

}  // namespace

BOOL bFollowDevice(PDEV* ppdev) {
    FlushThread& t = gThread();
    std::lock_guard life(t.mutexLife);
    std::lock_guard lock(t.mutex);
    try {
        t.devices.push_back(ppdev);
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    t.bStop = false;
    if (t.bRunning) return TRUE;  // it keeps serving, now this device too
    // The new thread waits for the lock before its first pass.
    DWORD dwId = 0;
    HANDLE h = CreateThread(nullptr, 0, dwFlushThread, nullptr, 0, &dwId);
    if (h == nullptr) {
        std::erase(t.devices, ppdev);
        return FALSE;
    }
    t.bRunning = true;
    t.hThread = h;
    t.pidCreator = GetCurrentProcessId();
    return TRUE;
}

void vForgetDevice(PDEV* ppdev) {
    FlushThread& t = gThread();
    std::lock_guard life(t.mutexLife);
    HANDLE h = nullptr;
    DWORD pidCreator = 0;
    {
        std::unique_lock lock(t.mutex);
        std::erase(t.devices, ppdev);
        if (!t.devices.empty() || !t.bRunning) return;
        t.bStop = true;
        t.cv.notify_all();
        if (!t.cvExited.wait_for(lock, std::chrono::milliseconds(kdwStopWaitMs),
                                 [&t] { return !t.bRunning; })) {
            // It keeps its handle; a later start keeps the thread.
            DbgPrint("vForgetDevice: the flush thread did not stop\n");
            return;
        }
        h = t.hThread;
        pidCreator = t.pidCreator;
        t.hThread = nullptr;
    }
    vJoinThread(h, pidCreator);
}

BOOL bFlushThreadRunning(void) {
    FlushThread& t = gThread();
    std::lock_guard lock(t.mutex);
    return t.bRunning;
}

ULONG cFlushThreadLoops(void) { return gThread().cLoops.load(); }

std::uint64_t cFlushThreadPasses(void) { return gThread().cPasses.load(); }

void vSetFlushThreadPeriod(DWORD dwMilliseconds) { gThread().dwPeriod.store(dwMilliseconds); }
