// Thread-local storage slots. A slot freed and allocated again reads as null
// in every thread, as the slot's generation changes.
#include <array>
#include <cstdint>
#include <mutex>

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
