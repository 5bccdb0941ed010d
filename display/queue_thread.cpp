// The queue flush thread. Every pass it visits each device whose surface is
// enabled, reads the device's current queue manager and, unless a queue
// operation holds it off, hands the completed words of every queue to the
// board (kz2FlushStreamNoWait); then it pauses for the flush period. One
// thread serves every device of the process; it starts with the first
// device and ends when the last one is released, so it never touches
// records that a release has freed.
//
// The hold-off handshake on each manager: the thread stores fIdle = 0, a
// full barrier, reads fAutoFlush and flushes only when it is set, a full
// barrier, fIdle = 1. A queue operation stores fAutoFlush = 0, a full
// barrier, and waits for fIdle = 1 (vHoldFlushThread). Whichever of the two
// stores comes first is seen by the other side, so the thread never flushes
// while an operation holds the queues.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <vector>

#include "queue.h"

namespace {

// How long a release waits for the thread to end.
constexpr DWORD kdwStopWaitMs = 10000;

struct FlushThread {
    std::mutex mutexLife;        // one start or stop at a time
    std::mutex mutex;            // devices and bStop; the thread holds it during a pass
    std::condition_variable cv;  // wakes the pausing thread to stop
    std::vector<PDEV*> devices;
    bool bStop = false;
    HANDLE hThread = nullptr;
    std::atomic<std::uint64_t> cPasses{0};
    std::atomic<DWORD> dwPeriod{KZ2_FLUSH_PERIOD_MS};
};

// Lives for the whole process: the thread may still be on its way out of
// the last pass when the statics of a library are destroyed.
FlushThread& gThread() {
    static FlushThread* p = new FlushThread;
    return *p;
}

void vFlushStep(KZ2QUEUEMGT qm) {
    qm->fIdle.store(0);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (qm->fAutoFlush.load() != 0) kz2FlushStreamNoWait(qm, qm->pStreamEnd);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    qm->fIdle.store(1);
}

DWORD dwFlushThread(LPVOID) {
    FlushThread& t = gThread();
    std::unique_lock lock(t.mutex);
    while (!t.bStop) {
        for (PDEV* ppdev : t.devices) {
            if (ppdev->pqm != nullptr) vFlushStep(ppdev->pqm);
        }
        t.cPasses.fetch_add(1);
        t.cv.wait_for(lock, std::chrono::milliseconds(t.dwPeriod.load()), [&t] { return t.bStop; });
    }
    return 0;
}

}  // namespace

BOOL bFollowDevice(PDEV* ppdev) {
    FlushThread& t = gThread();
    std::lock_guard life(t.mutexLife);
    {
        std::lock_guard lock(t.mutex);
        try {
            t.devices.push_back(ppdev);
        } catch (const std::bad_alloc&) {
            return FALSE;
        }
        if (t.hThread != nullptr) return TRUE;
        t.bStop = false;
    }
    DWORD dwId = 0;
    HANDLE h = CreateThread(nullptr, 0, dwFlushThread, nullptr, 0, &dwId);
    std::lock_guard lock(t.mutex);
    if (h == nullptr) {
        std::erase(t.devices, ppdev);
        return FALSE;
    }
    t.hThread = h;
    return TRUE;
}

void vForgetDevice(PDEV* ppdev) {
    FlushThread& t = gThread();
    std::lock_guard life(t.mutexLife);
    HANDLE h = nullptr;
    {
        std::lock_guard lock(t.mutex);
        std::erase(t.devices, ppdev);
        if (t.devices.empty() && t.hThread != nullptr) {
            t.bStop = true;
            h = t.hThread;
            t.hThread = nullptr;
        }
    }
    if (h == nullptr) return;
    t.cv.notify_all();
    if (WaitForSingleObject(h, kdwStopWaitMs) != WAIT_OBJECT_0)
        DbgPrint("vForgetDevice: the flush thread did not stop\n");
    CloseHandle(h);
}

BOOL bFlushThreadRunning(void) {
    FlushThread& t = gThread();
    std::lock_guard lock(t.mutex);
    return t.hThread != nullptr;
}

std::uint64_t cFlushThreadPasses(void) { return gThread().cPasses.load(); }

void vSetFlushThreadPeriod(DWORD dwMilliseconds) { gThread().dwPeriod.store(dwMilliseconds); }
