// The end of client processes, watched for one kind of engine object
// (driver objects, windows): the first time a process makes one, its end is
// set to run the kind's clean-up for it. The server process never ends and
// is not watched.
#pragma once

#include <mutex>
#include <set>

#include "platform/kernel.h"
#include "platform/process.h"

namespace vnx::engine {

class ProcessExitWatch {
  public:
    explicit ProcessExitWatch(void (*cleanup)(DWORD pid)) : cleanup_(cleanup) {}
    ProcessExitWatch(const ProcessExitWatch&) = delete;
    ProcessExitWatch& operator=(const ProcessExitWatch&) = delete;

    // Makes sure the end of pid runs the clean-up; false when pid is not a
    // live process.
    bool watch(DWORD pid) {
        if (pid == vnx::process::server_id()) return true;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (watched_.count(pid) != 0) return true;
        }
        // Registered outside the lock: ending a process runs the clean-up,
        // which may take the locks of the caller.
        if (vnx::process::on_exit(pid, [this, pid] {
                {
                    std::lock_guard<std::mutex> g(lock_);
                    watched_.erase(pid);
                }
                cleanup_(pid);
            }) == 0)
            return false;
        std::lock_guard<std::mutex> g(lock_);
        watched_.insert(pid);
        return true;
    }

  private:
    void (*cleanup_)(DWORD pid);
    std::mutex lock_;
    std::set<DWORD> watched_;  // processes whose end runs the clean-up
};

}  // namespace vnx::engine
