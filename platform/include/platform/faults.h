// Failure injection for the platform layer.
//
// Every stand-in call that can fail on the real platform (an allocation, an
// I/O control, an engine service) asks `should_fail` with the name of its
// fault point before doing its work. Tests arm a point to make chosen calls
// fail, and read how often a point was reached to make each step of a
// sequence fail in turn. The point "*" matches every point.
#pragma once

#include "platform/export.h"

namespace vnx::faults {

// Lets `skip` calls of `point` pass, then fails the next `count` of them
// (count < 0: every later call). Re-arming a point replaces its setting.
VNX_PLATFORM_API void arm(const char* point, int skip = 0, int count = 1);
// Removes every armed point and zeroes the call counts.
VNX_PLATFORM_API void clear();
// Called by the stand-ins: counts the call and answers whether it must fail.
VNX_PLATFORM_API bool should_fail(const char* point);
// Calls of `point` seen since the last clear ("*" counts all points).
VNX_PLATFORM_API int calls(const char* point);

// Clears on construction and on destruction, so a test's faults never leak
// into the next test.
class Scope {
public:
    Scope() { clear(); }
    ~Scope() { clear(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

}  // namespace vnx::faults
