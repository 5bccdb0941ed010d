// Threads with suspend counts, waits, Sleep, the tick count and system facts.
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "objects.h"
#include "platform/faults.h"
#include "platform/process.h"

namespace vnx::kernel {
namespace {

std::atomic<DWORD> gNextThreadId{1000};
// The calling thread's record, and its id beside it: asking for the id is on
// every critical section's path, so it is one thread-local load, with no
// reference count touched. The platform library is linked by the program,
// so its thread-locals sit in the static TLS block.
[[gnu::tls_model("initial-exec")]] thread_local std::shared_ptr<ThreadObject> tSelf;

void set_self(std::shared_ptr<ThreadObject> t) {
    tSelfId = t ? t->id : 0;
    tSelf = std::move(t);
}

std::shared_ptr<ThreadObject> new_thread_object() {
    auto t = std::make_shared<ThreadObject>();
    t->id = gNextThreadId.fetch_add(4);
    return t;
}

struct StartBlock {
    std::shared_ptr<ThreadObject> thread;
    LPTHREAD_START_ROUTINE start;
    LPVOID parameter;
    DWORD pid;
};

void thread_main(StartBlock* block) {
    set_self(block->thread);
    set_current_pid(block->pid);
    LPTHREAD_START_ROUTINE start = block->start;
    LPVOID parameter = block->parameter;
    delete block;
    honour_suspension();  // CREATE_SUSPENDED threads wait here for their first resume
    bool bEnded;
    {
        std::lock_guard<std::mutex> g(tSelf->lock);
        bEnded = tSelf->processEnded;
    }
    // A thread whose process ended before its first resume never runs.
    DWORD code = bEnded ? 0 : start(parameter);
    {
        std::lock_guard<std::mutex> g(tSelf->lock);
        tSelf->exitCode = code;
        tSelf->finished = true;
    }
    tSelf->changed.notify_all();
    set_self(nullptr);
}

}  // namespace

std::shared_ptr<ThreadObject> current_thread() {
    if (!tSelf) set_self(new_thread_object());
    return tSelf;
}

[[gnu::tls_model("initial-exec")]] thread_local constinit DWORD tSelfId = 0;

DWORD first_thread_id() {
    set_self(new_thread_object());
    return tSelfId;
}

void honour_suspension() {
    auto self = current_thread();
    std::unique_lock<std::mutex> g(self->lock);
    self->parked = true;
    self->changed.wait(g, [&] { return self->suspendCount == 0 || self->processEnded; });
    self->parked = false;
}

void end_threads(std::vector<std::weak_ptr<ThreadObject>> threads) {
    std::vector<std::shared_ptr<ThreadObject>> held;
    for (auto& w : threads) {
        auto t = w.lock();
        if (!t) continue;
        bool wasHeld;
        {
            std::lock_guard<std::mutex> g(t->lock);
            t->processEnded = true;
            wasHeld = t->parked && !t->finished;
        }
        t->changed.notify_all();
        if (wasHeld) held.push_back(std::move(t));
    }
    // A thread let out of its suspension goes back into its own code; its
    // process's handles are gone, so its next wait on itself fails and it
    // ends. Bounded, so a thread that does not end cannot hold the end of
    // its process for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (auto& t : held) {
        std::unique_lock<std::mutex> g(t->lock);
        t->changed.wait_until(g, deadline, [&] { return t->finished; });
    }
}

}  // namespace vnx::kernel

using namespace vnx::kernel;

extern "C" HANDLE CreateThread(LPVOID, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                               LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (vnx::faults::should_fail("CreateThread")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto thread = new_thread_object();
    if (dwCreationFlags & CREATE_SUSPENDED) thread->suspendCount = 1;
    HANDLE h;
    {
        std::lock_guard<std::mutex> g(registry_lock());
        auto self = find_process_locked(current_pid());
        if (!self || !self->alive) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        h = insert_handle_locked(*self, thread, 0x1F03FF);
        std::erase_if(self->threads, [](const std::weak_ptr<ThreadObject>& w) { return w.expired(); });
        self->threads.push_back(thread);
    }
    auto* block = new StartBlock{thread, lpStartAddress, lpParameter, current_pid()};
    try {
        std::thread(thread_main, block).detach();
    } catch (...) {
        delete block;
        CloseHandle(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (lpThreadId) *lpThreadId = thread->id;
    return h;
}

extern "C" DWORD SuspendThread(HANDLE hThread) {
    auto thread = resolve_as<ThreadObject>(hThread, ObjectKind::Thread);
    if (!thread) return static_cast<DWORD>(-1);
    DWORD previous;
    {
        std::lock_guard<std::mutex> g(thread->lock);
        previous = thread->suspendCount++;
    }
    if (thread == current_thread()) honour_suspension();
    return previous;
}

extern "C" DWORD ResumeThread(HANDLE hThread) {
    auto thread = resolve_as<ThreadObject>(hThread, ObjectKind::Thread);
    if (!thread) return static_cast<DWORD>(-1);
    DWORD previous;
    {
        std::lock_guard<std::mutex> g(thread->lock);
        previous = thread->suspendCount;
        if (thread->suspendCount > 0) --thread->suspendCount;
    }
    thread->changed.notify_all();
    return previous;
}

extern "C" BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = resolve_as<ThreadObject>(hThread, ObjectKind::Thread);
    if (!thread || lpExitCode == nullptr) return FALSE;
    std::lock_guard<std::mutex> g(thread->lock);
    *lpExitCode = thread->exitCode;
    return TRUE;
}

extern "C" DWORD GetCurrentThreadId(void) { return current_thread_id(); }

extern "C" DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    ObjectRef object = resolve_handle(hHandle);
    if (!object) return WAIT_FAILED;
    honour_suspension();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    auto wait = [&](std::condition_variable& cv, std::unique_lock<std::mutex>& g, auto done) {
        if (dwMilliseconds == INFINITE) {
            cv.wait(g, done);
            return WAIT_OBJECT_0;
        }
        return cv.wait_until(g, deadline, done) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    };
    if (object->kind == ObjectKind::Thread) {
        auto& t = static_cast<ThreadObject&>(*object);
        std::unique_lock<std::mutex> g(t.lock);
        return wait(t.changed, g, [&] { return t.finished; });
    }
    if (object->kind == ObjectKind::Process) {
        auto& p = static_cast<ProcessObject&>(*object);
        std::unique_lock<std::mutex> g(registry_lock());
        return wait(p.ended, g, [&] { return p.exited; });
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

extern "C" void Sleep(DWORD dwMilliseconds) {
    honour_suspension();
    if (dwMilliseconds == 0)
        sched_yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

namespace {
std::atomic<bool> gManualTicks{false};
std::atomic<DWORD> gTicks{0};
}  // namespace

extern "C" DWORD GetTickCount(void) {
    if (gManualTicks.load()) return gTicks.load();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
              static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);  // wraps after 49.7 days, as callers expect
}

namespace vnx::ticks {
void set_manual(bool manual) {
    if (manual && !gManualTicks.load()) gTicks.store(GetTickCount());
    gManualTicks.store(manual);
}
void set(DWORD ms) { gTicks.store(ms); }
void advance(DWORD ms) { gTicks.fetch_add(ms); }
}  // namespace vnx::ticks

extern "C" void GetSystemInfo(LPSYSTEM_INFO info) {
    if (info == nullptr) return;
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = 0;  // x86 family
    info->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFEFFFF);
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    info->dwNumberOfProcessors = n > 0 ? static_cast<DWORD>(n) : 1;
    info->dwActiveProcessorMask =
        info->dwNumberOfProcessors >= 64 ? ~ULONG_PTR{0}
                                         : (ULONG_PTR{1} << info->dwNumberOfProcessors) - 1;
    info->dwProcessorType = 586;  // PROCESSOR_INTEL_PENTIUM
    info->dwAllocationGranularity = 65536;
    info->wProcessorLevel = 5;
}
