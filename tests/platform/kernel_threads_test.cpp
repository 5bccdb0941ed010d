#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "platform/faults.h"
#include "platform/kernel.h"
#include "platform/process.h"

namespace {

// Waits for a condition with a bound, so a broken kernel fails the test
// instead of hanging it.
template <class F>
bool eventually(F done) {
    for (int i = 0; i < 5000; ++i) {
        if (done()) return true;
        Sleep(1);
    }
    return done();
}

// A worker in the shape the client driver uses: it takes work when told,
// otherwise suspends itself; the owner resumes it until the work is taken.
struct Worker {
    HANDLE self = nullptr;
    std::atomic<int> work{0};
    std::atomic<int> idle{0};
    std::atomic<int> keepRunning{1};
    std::atomic<int> done{0};
};

DWORD worker_main(LPVOID p) {
    auto* w = static_cast<Worker*>(p);
    while (w->keepRunning.load()) {
        if (w->work.exchange(0)) {
            w->idle = 0;
            ++w->done;
            w->idle = 1;
        } else {
            w->idle = 1;
            SuspendThread(w->self);
        }
    }
    return 42;
}

// Resumes until the worker has taken its work, as the owner thread does.
void hand_over(Worker& w) {
    w.idle = 0;
    w.work = 1;
    for (int i = 0; i < 100000; ++i) {
        DWORD previous = ResumeThread(w.self);
        if (previous <= 1 && w.work.load() == 0) return;
        Sleep(0);
    }
    FAIL() << "worker never took its work";
}

}  // namespace

TEST(KernelThreads, SelfSuspendingWorkerTakesEveryHandOverAndExits) {
    Worker w;
    HANDLE h = CreateThread(nullptr, 0, worker_main, &w, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(h, nullptr);
    w.self = h;
    // A thread made suspended has a count of one and has not run.
    EXPECT_EQ(ResumeThread(h), 1u);
    ASSERT_TRUE(eventually([&] { return w.idle.load() == 1; }));
    for (int i = 0; i < 50; ++i) {
        hand_over(w);
        ASSERT_TRUE(eventually([&] { return w.done.load() == i + 1 && w.idle.load() == 1; }));
    }
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    w.keepRunning = 0;
    ASSERT_TRUE(eventually([&] {
        ResumeThread(h);
        return WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    }));
    ASSERT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(w.done.load(), 50);
}

TEST(KernelThreads, SuspendCountsNestAndResumeReportsThePreviousCount) {
    std::atomic<int> ran{0};
    struct Arg { std::atomic<int>* ran; } arg{&ran};
    HANDLE h = CreateThread(
        nullptr, 0, [](LPVOID p) -> DWORD { ++*static_cast<Arg*>(p)->ran; return 0; }, &arg,
        CREATE_SUSPENDED, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SuspendThread(h), 1u);
    EXPECT_EQ(SuspendThread(h), 2u);
    EXPECT_EQ(ResumeThread(h), 3u);
    EXPECT_EQ(ResumeThread(h), 2u);
    Sleep(5);
    EXPECT_EQ(ran.load(), 0) << "ran with a suspend count of one";
    EXPECT_EQ(ResumeThread(h), 1u);
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(ResumeThread(h), 0u);  // not suspended: count stays at zero
    CloseHandle(h);
    EXPECT_EQ(SuspendThread(reinterpret_cast<HANDLE>(0x7777)), static_cast<DWORD>(-1));
}

TEST(KernelThreads, AnotherThreadStopsAtItsNextSleepWhileSuspended) {
    std::atomic<int> ticks{0};
    std::atomic<int> stop{0};
    struct Arg { std::atomic<int>* ticks; std::atomic<int>* stop; } arg{&ticks, &stop};
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* a = static_cast<Arg*>(p);
            while (!a->stop->load()) {
                ++*a->ticks;
                Sleep(1);
            }
            return 0;
        },
        &arg, 0, nullptr);
    ASSERT_TRUE(eventually([&] { return ticks.load() > 2; }));
    EXPECT_EQ(SuspendThread(h), 0u);
    Sleep(20);
    int frozen = ticks.load();
    Sleep(30);
    EXPECT_LE(ticks.load(), frozen + 1);
    EXPECT_EQ(ResumeThread(h), 1u);
    ASSERT_TRUE(eventually([&] { return ticks.load() > frozen + 2; }));
    stop = 1;
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    CloseHandle(h);
}

TEST(KernelThreads, ThreadsInheritTheLogicalProcessOfTheirCreator) {
    DWORD app = vnx::process::create("app");
    DWORD seen = 0;
    {
        vnx::process::Scope in(app);
        ASSERT_TRUE(in.ok());
        HANDLE h = CreateThread(
            nullptr, 0, [](LPVOID p) -> DWORD { *static_cast<DWORD*>(p) = GetCurrentProcessId(); return 0; },
            &seen, 0, nullptr);
        ASSERT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
        CloseHandle(h);
    }
    EXPECT_EQ(seen, app);
    EXPECT_EQ(GetCurrentProcessId(), vnx::process::server_id());
    vnx::process::terminate(app);
}

TEST(KernelThreads, CreateThreadFailsWhenArmed) {
    vnx::faults::Scope faults;
    vnx::faults::arm("CreateThread");
    EXPECT_EQ(CreateThread(nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr),
              nullptr);
}

TEST(KernelCriticalSection, IsReentrantAndExcludesOtherThreads) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_EQ(cs.RecursionCount, 2);
    EXPECT_EQ(cs.OwningThread, GetCurrentThreadId());

    struct Arg { CRITICAL_SECTION* cs; std::atomic<int> tried{0}; std::atomic<int> entered{0}; } arg{&cs};
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* a = static_cast<Arg*>(p);
            BOOL got = TryEnterCriticalSection(a->cs);
            a->tried = 1;
            EnterCriticalSection(a->cs);
            a->entered = 1;
            LeaveCriticalSection(a->cs);
            return got ? 1 : 0;
        },
        &arg, 0, nullptr);
    LeaveCriticalSection(&cs);  // still held once
    // The other thread tries while the section is held, however late a
    // loaded machine starts it.
    for (int i = 0; i < 5000 && arg.tried.load() == 0; ++i) Sleep(1);
    Sleep(20);
    EXPECT_EQ(arg.entered.load(), 0);
    LeaveCriticalSection(&cs);
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(arg.entered.load(), 1);
    DWORD code = 9;
    GetExitCodeThread(h, &code);
    EXPECT_EQ(code, 0u) << "try-enter must fail while another thread owns the section";
    CloseHandle(h);
    EXPECT_EQ(cs.RecursionCount, 0);
    LeaveCriticalSection(&cs);  // unbalanced leave is ignored
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
}

TEST(KernelTls, ValuesArePerThreadAndAFreedSlotReadsNullAgain) {
    DWORD i = TlsAlloc();
    ASSERT_NE(i, TLS_OUT_OF_INDEXES);
    EXPECT_EQ(TlsGetValue(i), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    int mine = 1;
    ASSERT_TRUE(TlsSetValue(i, &mine));
    struct Arg { DWORD index; void* seenBefore; void* seenAfter; } arg{i, &mine, &mine};
    HANDLE h = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* a = static_cast<Arg*>(p);
            a->seenBefore = TlsGetValue(a->index);
            int theirs = 2;
            TlsSetValue(a->index, &theirs);
            a->seenAfter = TlsGetValue(a->index) == &theirs ? nullptr : &theirs;
            return 0;
        },
        &arg, 0, nullptr);
    WaitForSingleObject(h, 5000);
    CloseHandle(h);
    EXPECT_EQ(arg.seenBefore, nullptr);
    EXPECT_EQ(arg.seenAfter, nullptr);
    EXPECT_EQ(TlsGetValue(i), &mine);

    ASSERT_TRUE(TlsFree(i));
    EXPECT_FALSE(TlsFree(i));
    EXPECT_FALSE(TlsSetValue(i, &mine));
    EXPECT_EQ(TlsGetValue(i), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DWORD again = TlsAlloc();
    ASSERT_EQ(again, i);
    EXPECT_EQ(TlsGetValue(again), nullptr) << "old value must not show through";
    TlsFree(again);
}

TEST(KernelTls, RunsOutOfIndexes) {
    std::vector<DWORD> taken;
    for (DWORD i; (i = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(i);
    EXPECT_LE(taken.size(), TLS_MINIMUM_AVAILABLE);
    EXPECT_GT(taken.size(), 0u);
    for (DWORD i : taken) TlsFree(i);
    vnx::faults::Scope faults;
    vnx::faults::arm("TlsAlloc");
    EXPECT_EQ(TlsAlloc(), TLS_OUT_OF_INDEXES);
}

TEST(KernelTime, TickCountFollowsTheTestClockInManualMode) {
    vnx::ticks::set_manual(true);
    vnx::ticks::set(0xFFFFFFF0u);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    vnx::ticks::advance(0x20);
    EXPECT_EQ(GetTickCount(), 0x10u);  // wraps like the real count
    vnx::ticks::set_manual(false);
    DWORD a = GetTickCount();
    Sleep(15);
    EXPECT_GE(static_cast<DWORD>(GetTickCount() - a), 10u);
}

namespace {

struct FlsSeen {
    std::vector<std::pair<void*, DWORD>> calls;  // value, process of the call
};
FlsSeen gFlsSeen;
void FlsRecord(PVOID pv) { gFlsSeen.calls.emplace_back(pv, vnx::process::current()); }

// A thread's end hands each slot's value, when not null, to the slot's
// callback, in the process that allocated the slot; a value set back to
// null, a freed slot and a thread that set nothing run no callback.
TEST(KernelThreads, FiberLocalCallbacksRunAtTheThreadsEnd) {
    gFlsSeen = FlsSeen{};
    const DWORD dwSlot = FlsAlloc(FlsRecord);
    ASSERT_NE(dwSlot, FLS_OUT_OF_INDEXES);
    const DWORD dwFreed = FlsAlloc(FlsRecord);
    ASSERT_NE(dwFreed, FLS_OUT_OF_INDEXES);
    const DWORD app = vnx::process::create("app");
    int a = 0, b = 0;
    std::thread([&] {
        vnx::process::Scope as(app);
        EXPECT_EQ(FlsGetValue(dwSlot), nullptr);
        EXPECT_TRUE(FlsSetValue(dwSlot, &a));
        EXPECT_EQ(FlsGetValue(dwSlot), &a);
        EXPECT_TRUE(FlsSetValue(dwFreed, &b));
    }).join();
    std::thread([&] {
        EXPECT_TRUE(FlsSetValue(dwSlot, &b));
        EXPECT_TRUE(FlsSetValue(dwSlot, nullptr));
    }).join();
    std::thread([] {}).join();
    ASSERT_EQ(gFlsSeen.calls.size(), 2u);
    EXPECT_EQ(gFlsSeen.calls[0], std::make_pair(static_cast<void*>(&a), vnx::process::server_id()));
    EXPECT_EQ(gFlsSeen.calls[1], std::make_pair(static_cast<void*>(&b), vnx::process::server_id()));
    gFlsSeen = FlsSeen{};
    std::thread([&] { EXPECT_TRUE(FlsSetValue(dwFreed, &b)); FlsFree(dwFreed); }).join();
    EXPECT_TRUE(gFlsSeen.calls.empty());
    EXPECT_FALSE(FlsSetValue(dwFreed, &b));
    EXPECT_TRUE(FlsFree(dwSlot));
    vnx::process::terminate(app);
}

// A callback at the thread's end may still sleep and take a lock, also on
// a thread that set the value before anything else of the kernel knew it.
CRITICAL_SECTION gFlsLock;
int gFlsSlept = 0;
void FlsSleepAndLock(PVOID) {
    Sleep(0);
    EnterCriticalSection(&gFlsLock);
    ++gFlsSlept;
    LeaveCriticalSection(&gFlsLock);
}

TEST(KernelThreads, FiberLocalCallbacksMaySleepAndLock) {
    InitializeCriticalSection(&gFlsLock);
    gFlsSlept = 0;
    const DWORD dwSlot = FlsAlloc(FlsSleepAndLock);
    ASSERT_NE(dwSlot, FLS_OUT_OF_INDEXES);
    static int value = 0;
    std::thread([&] {
        FlsSetValue(dwSlot, &value);
        Sleep(0);
    }).join();
    EXPECT_EQ(gFlsSlept, 1);
    EXPECT_TRUE(FlsFree(dwSlot));
    DeleteCriticalSection(&gFlsLock);
}

}  // namespace
