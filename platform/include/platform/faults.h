// Failure injection for the platform layer.
//
// Every stand-in call that can fail on the real platform (an allocation, an
// I/O control, an engine service) asks `should_fail` with the name of its
// fault point before doing its work. Tests arm a point to make chosen calls
// fail, and read how often a point was reached to make each step of a
// sequence fail in turn. The point "*" matches every point.
//
// Points are watched (counted, and armed ones consumed) only while a Scope
// lives or a point is armed; otherwise `should_fail` is one relaxed load,
// so the stand-ins cost nothing on the paths the benchmarks time.
#pragma once

#include <atomic>

#include "platform/export.h"

namespace vnx::faults {

// Lets `skip` calls of `point` pass, then fails the next `count` of them
// (count < 0: every later call). Re-arming a point replaces its setting.
VNX_PLATFORM_API void arm(const char* point, int skip = 0, int count = 1);
// Removes every armed point and zeroes the call counts.
VNX_PLATFORM_API void clear();
// Whether points are watched (above); read by `should_fail`.
VNX_PLATFORM_API extern std::atomic<bool> gWatching;
// Counts the call and answers whether it must fail (points watched).
VNX_PLATFORM_API bool should_fail_watched(const char* point);
// Called by the stand-ins: counts the call and answers whether it must fail.
inline bool should_fail(const char* point) {
    return gWatching.load(std::memory_order_relaxed) && should_fail_watched(point);
}
// Calls of `point` seen while watched since the last clear ("*" counts all
// points).
VNX_PLATFORM_API int calls(const char* point);
// A Scope begins and ends watching.
VNX_PLATFORM_API void begin_watch();
VNX_PLATFORM_API void end_watch();

// Clears on construction and on destruction, so a test's faults never leak
// into the next test, and watches the points while it lives.
class Scope {
public:
    Scope() {
        clear();
        begin_watch();
    }
    ~Scope() {
        end_watch();
        clear();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

}  // namespace vnx::faults
