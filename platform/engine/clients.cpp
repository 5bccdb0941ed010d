// Client processes as the engine sees them: which process a driver call
// serves, the process handle EngGetProcessHandle gives the driver for it,
// and the device and surface a call from a device context reaches.
#include "clients.h"

#include <map>
#include <mutex>

#include "objects.h"
#include "platform/engine.h"
#include "platform/process.h"

namespace vnx::engine {
namespace {

// The client process the calling thread's driver call serves; 0 outside one.
thread_local DWORD tCaller = 0;

// One handle per client process, opened in the server process on the first
// EngGetProcessHandle for it and closed when that process ends.
struct ProcessHandles {
    std::mutex lock;
    std::map<DWORD, HANDLE> handles;
};

ProcessHandles& process_handles() {
    static ProcessHandles* p = new ProcessHandles;
    return *p;
}

void close_process_handle(DWORD pid) {
    ProcessHandles& ph = process_handles();
    std::lock_guard<std::mutex> g(ph.lock);
    auto it = ph.handles.find(pid);
    if (it == ph.handles.end()) return;
    vnx::process::Scope server(vnx::process::server_id());
    CloseHandle(it->second);
    ph.handles.erase(it);
}

}  // namespace

HDEV display_device() {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    for (const auto& [h, dhpdev] : o.devices) {
        if (dhpdev != nullptr) return reinterpret_cast<HDEV>(h);
    }
    return nullptr;
}

namespace {

bool is_primary_of(const Surface* s, HDEV hdev, DHPDEV dhpdev) {
    return s != nullptr && s->so.iType == STYPE_DEVICE && s->so.hdev == hdev &&
           s->so.dhpdev == dhpdev;
}

// The primary surface of each device, as last found (engine lock held).
std::map<std::uintptr_t, HSURF>& primaries_locked() {
    static auto* m = new std::map<std::uintptr_t, HSURF>;
    return *m;
}

// The device's primary surface: the one remembered while it still is, else
// looked for among the surfaces (engine lock held).
SURFOBJ* primary_locked(HDEV hdev, DHPDEV dhpdev) {
    auto& o = objects();
    auto& remembered = primaries_locked()[reinterpret_cast<std::uintptr_t>(hdev)];
    Surface* s = find_surface_locked(remembered);
    if (is_primary_of(s, hdev, dhpdev)) return &s->so;
    remembered = nullptr;
    for (auto& [h, candidate] : o.surfaces) {
        if (is_primary_of(candidate.get(), hdev, dhpdev)) {
            remembered = candidate->so.hsurf;
            return &candidate->so;
        }
    }
    return nullptr;
}

}  // namespace

bool call_target(HDEV hdev, ULONG iFunc, DHPDEV* pdhpdev, SURFOBJ** ppso, PFN* ppfn) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    auto dev = o.devices.find(reinterpret_cast<std::uintptr_t>(hdev));
    if (dev == o.devices.end() || dev->second == nullptr) return false;
    *pdhpdev = dev->second;
    *ppso = primary_locked(hdev, dev->second);
    auto fns = o.functions.find(reinterpret_cast<std::uintptr_t>(hdev));
    *ppfn = fns != o.functions.end() && iFunc < INDEX_LAST ? fns->second[iFunc] : nullptr;
    return true;
}

ClientCall::ClientCall(DWORD pid)
    : previousCaller_(tCaller),
      previousProcess_(vnx::process::switch_to(vnx::process::server_id())) {
    tCaller = pid;
}

ClientCall::~ClientCall() {
    tCaller = previousCaller_;
    if (previousProcess_ != 0) vnx::process::switch_to(previousProcess_);
}

DWORD calling_process() { return tCaller != 0 ? tCaller : vnx::process::current(); }

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" HANDLE EngGetProcessHandle(void) {
    const DWORD pid = tCaller;
    if (pid == 0) return nullptr;
    ProcessHandles& ph = process_handles();
    std::lock_guard<std::mutex> g(ph.lock);
    auto it = ph.handles.find(pid);
    if (it != ph.handles.end()) return it->second;
    vnx::process::Scope server(vnx::process::server_id());
    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (h == nullptr) return nullptr;
    if (pid != vnx::process::server_id() &&
        vnx::process::on_exit(pid, [pid] { close_process_handle(pid); }) == 0) {
        CloseHandle(h);
        return nullptr;
    }
    ph.handles[pid] = h;
    return h;
}
