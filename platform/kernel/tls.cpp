// Thread-local storage slots. A slot freed and allocated again reads as null
// in every thread, as the slot's generation changes.
#include <array>
#include <cstdint>
#include <mutex>

#include "objects.h"
#include "platform/faults.h"
#include "platform/kernel.h"

namespace {

constexpr DWORD kSlots = TLS_MINIMUM_AVAILABLE;

struct Slots {
    std::mutex lock;
    std::array<bool, kSlots> used{};
    std::array<std::uint64_t, kSlots> generation{};
};

Slots& slots() {
    static Slots* s = new Slots;
    return *s;
}

struct ThreadValues {
    std::array<std::uint64_t, kSlots> generation{};
    std::array<void*, kSlots> value{};
};
thread_local ThreadValues tValues;

// Generation of an allocated slot, or 0 when the index is not allocated.
std::uint64_t live_generation(DWORD index) {
    if (index >= kSlots) return 0;
    Slots& s = slots();
    std::lock_guard<std::mutex> g(s.lock);
    return s.used[index] ? s.generation[index] : 0;
}

}  // namespace

extern "C" DWORD TlsAlloc(void) {
    if (vnx::faults::should_fail("TlsAlloc")) return TLS_OUT_OF_INDEXES;
    Slots& s = slots();
    std::lock_guard<std::mutex> g(s.lock);
    for (DWORD i = 0; i < kSlots; ++i) {
        if (!s.used[i]) {
            s.used[i] = true;
            ++s.generation[i];
            return i;
        }
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return TLS_OUT_OF_INDEXES;
}

extern "C" LPVOID TlsGetValue(DWORD dwTlsIndex) {
    std::uint64_t gen = live_generation(dwTlsIndex);
    if (gen == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);  // lets callers tell a stored null from a failure
    return tValues.generation[dwTlsIndex] == gen ? tValues.value[dwTlsIndex] : nullptr;
}

extern "C" BOOL TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue) {
    std::uint64_t gen = live_generation(dwTlsIndex);
    if (gen == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    tValues.generation[dwTlsIndex] = gen;
    tValues.value[dwTlsIndex] = lpTlsValue;
    return TRUE;
}

extern "C" BOOL TlsFree(DWORD dwTlsIndex) {
    Slots& s = slots();
    std::lock_guard<std::mutex> g(s.lock);
    if (dwTlsIndex >= kSlots || !s.used[dwTlsIndex]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s.used[dwTlsIndex] = false;
    ++s.generation[dwTlsIndex];
    return TRUE;
}

// --- fiber-local storage: slots whose values the thread's end hands to a callback ---
namespace {

struct FlsSlot {
    bool used = false;
    std::uint64_t generation = 0;
    PFLS_CALLBACK_FUNCTION callback = nullptr;
    DWORD pid = 0;  // the process that allocated the slot: its callbacks run there
};

struct FlsSlots {
    std::mutex lock;
    std::array<FlsSlot, kSlots> slot{};
};

FlsSlots& fls_slots() {
    static FlsSlots* s = new FlsSlots;
    return *s;
}

// A thread's values; made on the thread's first FlsSetValue, so it goes
// before the thread-locals the thread used earlier (its thread record among
// them), which its callbacks may still need.
struct FlsValues {
    std::array<std::uint64_t, kSlots> generation{};
    std::array<void*, kSlots> value{};
};
thread_local FlsValues* tFls = nullptr;

void run_callbacks(FlsValues& v);

struct FlsOwner {
    FlsValues values;
    ~FlsOwner() {
        run_callbacks(values);
        tFls = nullptr;
    }
};

// The thread's end: each slot's callback with its value, in slot order.
void run_callbacks(FlsValues& v) {
    auto& value = v.value;
    auto& generation = v.generation;
    for (DWORD i = 0; i < kSlots; ++i) {
        void* pv = value[i];
        if (pv == nullptr) continue;
        value[i] = nullptr;
        PFLS_CALLBACK_FUNCTION callback = nullptr;
        DWORD pid = 0;
        {
            FlsSlots& s = fls_slots();
            std::lock_guard<std::mutex> g(s.lock);
            if (s.slot[i].used && s.slot[i].generation == generation[i]) {
                callback = s.slot[i].callback;
                pid = s.slot[i].pid;
            }
        }
        if (callback == nullptr) continue;
        const DWORD previous = vnx::kernel::current_pid();
        vnx::kernel::set_current_pid(pid);
        callback(pv);
        vnx::kernel::set_current_pid(previous);
    }
}

FlsValues& fls_values() {
    // The thread's own record is made first, so that it outlives the values:
    // callbacks run at the thread's end may still sleep, wait or lock.
    (void)vnx::kernel::current_thread();
    thread_local FlsOwner owner;
    tFls = &owner.values;
    return owner.values;
}

// Generation of an allocated slot, or 0.
std::uint64_t fls_generation(DWORD index) {
    if (index >= kSlots) return 0;
    FlsSlots& s = fls_slots();
    std::lock_guard<std::mutex> g(s.lock);
    return s.slot[index].used ? s.slot[index].generation : 0;
}

}  // namespace

extern "C" DWORD FlsAlloc(PFLS_CALLBACK_FUNCTION lpCallback) {
    if (vnx::faults::should_fail("FlsAlloc")) return FLS_OUT_OF_INDEXES;
    FlsSlots& s = fls_slots();
    std::lock_guard<std::mutex> g(s.lock);
    for (DWORD i = 0; i < kSlots; ++i) {
        FlsSlot& slot = s.slot[i];
        if (slot.used) continue;
        slot.used = true;
        ++slot.generation;
        slot.callback = lpCallback;
        slot.pid = vnx::kernel::current_pid();
        return i;
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FLS_OUT_OF_INDEXES;
}

extern "C" PVOID FlsGetValue(DWORD dwFlsIndex) {
    const std::uint64_t gen = fls_generation(dwFlsIndex);
    if (gen == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    const FlsValues* p = tFls;
    return p != nullptr && p->generation[dwFlsIndex] == gen ? p->value[dwFlsIndex] : nullptr;
}

extern "C" BOOL FlsSetValue(DWORD dwFlsIndex, PVOID lpFlsData) {
    const std::uint64_t gen = fls_generation(dwFlsIndex);
    if (gen == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FlsValues& v = fls_values();
    v.generation[dwFlsIndex] = gen;
    v.value[dwFlsIndex] = lpFlsData;
    return TRUE;
}

extern "C" BOOL FlsFree(DWORD dwFlsIndex) {
    FlsSlots& s = fls_slots();
    std::lock_guard<std::mutex> g(s.lock);
    if (dwFlsIndex >= kSlots || !s.slot[dwFlsIndex].used) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s.slot[dwFlsIndex].used = false;
    s.slot[dwFlsIndex].callback = nullptr;
    ++s.slot[dwFlsIndex].generation;
    return TRUE;
}
