// Logical processes and the simulated clock.
//
// The whole system runs in one Linux process. The first logical process is
// the server process in which the graphics engine and the drivers run;
// applications are further logical processes. Each thread acts on behalf of
// one logical process at a time (threads inherit their creator's); handles
// are private to a logical process, and ending a process closes its handles,
// unmaps its section views and runs the exit callbacks registered for it
// (the engine frees driver objects through them).
#pragma once

#include <functional>

#include "platform/export.h"
#include "platform/kernel.h"

namespace vnx::process {

// Id of the server process, the one every thread starts in.
VNX_PLATFORM_API DWORD server_id();
// Makes a new logical process and returns its id.
VNX_PLATFORM_API DWORD create(const char* name);
// Ends a process: runs its exit callbacks (newest first), unmaps its views and
// closes its handles. Answers false for an unknown or already ended process.
// The server process cannot be ended.
VNX_PLATFORM_API bool terminate(DWORD pid);
VNX_PLATFORM_API bool is_alive(DWORD pid);
// Process records the layer keeps: the server's and every process not
// ended (an ended process's record goes once its clean-up is done).
VNX_PLATFORM_API size_t records();
// Id of the logical process the calling thread acts for.
VNX_PLATFORM_API DWORD current();
// Makes the calling thread act for `pid`; answers the previous one, or 0 when
// `pid` is not a live process (nothing changes then).
VNX_PLATFORM_API DWORD switch_to(DWORD pid);

// Registers `fn` to run when `pid` ends. Answers an id for `remove_exit_callback`,
// or 0 when `pid` is not alive.
VNX_PLATFORM_API int on_exit(DWORD pid, std::function<void()> fn);
VNX_PLATFORM_API void remove_exit_callback(DWORD pid, int id);

// Acts for another logical process for the life of the scope.
class Scope {
public:
    explicit Scope(DWORD pid) : previous_(switch_to(pid)) {}
    ~Scope() {
        if (previous_ != 0) switch_to(previous_);
    }
    bool ok() const { return previous_ != 0; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    DWORD previous_;
};

}  // namespace vnx::process

namespace vnx::ticks {

// GetTickCount follows the monotonic clock unless a test takes it over: in
// manual mode it answers what set/advance last made it.
VNX_PLATFORM_API void set_manual(bool manual);
VNX_PLATFORM_API void set(DWORD ms);
VNX_PLATFORM_API void advance(DWORD ms);

}  // namespace vnx::ticks
