// Logical processes, their handle tables and handle operations.
#include "platform/process.h"

#include <mutex>

#include "objects.h"
#include "platform/faults.h"

namespace vnx::kernel {
namespace {

constexpr DWORD kServerPid = 100;
constexpr std::uintptr_t kPseudoProcess = static_cast<std::uintptr_t>(-1);
constexpr std::uintptr_t kPseudoThread = static_cast<std::uintptr_t>(-2);

struct Registry {
    std::mutex lock;
    std::map<DWORD, std::shared_ptr<ProcessObject>> processes;
    DWORD nextPid = kServerPid + 4;
    int nextCallback = 1;
    Registry() {
        auto server = std::make_shared<ProcessObject>();
        server->pid = kServerPid;
        server->name = "server";
        processes[kServerPid] = server;
    }
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

thread_local DWORD tCurrentPid = kServerPid;
thread_local DWORD tLastError = 0;

}  // namespace

std::mutex& registry_lock() { return registry().lock; }

std::shared_ptr<ProcessObject> find_process_locked(DWORD pid) {
    auto& ps = registry().processes;
    auto it = ps.find(pid);
    return it == ps.end() ? nullptr : it->second;
}

HANDLE insert_handle_locked(ProcessObject& process, ObjectRef object, DWORD access) {
    std::uintptr_t value = process.nextHandle;
    process.nextHandle += 4;
    process.handles[value] = ProcessObject::Handle{std::move(object), access};
    return reinterpret_cast<HANDLE>(value);
}

namespace {

// Resolves `h` in `process` (registry lock held); pseudo-handles name the
// calling thread and process.
ObjectRef resolve_in_locked(ProcessObject& process, HANDLE h, DWORD* access) {
    auto v = reinterpret_cast<std::uintptr_t>(h);
    if (v == kPseudoProcess) {
        if (access) *access = PROCESS_ALL_ACCESS;
        return find_process_locked(tCurrentPid);
    }
    if (v == kPseudoThread) {
        if (access) *access = 0x1F03FF;
        return current_thread();
    }
    auto it = process.handles.find(v);
    if (it == process.handles.end()) return nullptr;
    if (access) *access = it->second.access;
    return it->second.object;
}

}  // namespace

ObjectRef resolve_handle(HANDLE h, DWORD* access) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto self = find_process_locked(tCurrentPid);
    ObjectRef object = self ? resolve_in_locked(*self, h, access) : nullptr;
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

DWORD current_pid() { return tCurrentPid; }
void set_current_pid(DWORD pid) { tCurrentPid = pid; }

}  // namespace vnx::kernel

using namespace vnx::kernel;

extern "C" DWORD GetLastError(void) { return tLastError; }
extern "C" void SetLastError(DWORD dwErrCode) { tLastError = dwErrCode; }

extern "C" HANDLE GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(kPseudoProcess); }
extern "C" HANDLE GetCurrentThread(void) { return reinterpret_cast<HANDLE>(kPseudoThread); }
extern "C" DWORD GetCurrentProcessId(void) { return tCurrentPid; }

extern "C" DWORD GetProcessId(HANDLE hProcess) {
    auto p = resolve_as<ProcessObject>(hProcess, ObjectKind::Process);
    return p ? p->pid : 0;
}

extern "C" HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId) {
    if (vnx::faults::should_fail("OpenProcess")) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::lock_guard<std::mutex> g(registry_lock());
    auto target = find_process_locked(dwProcessId);
    auto self = find_process_locked(tCurrentPid);
    if (!target || !target->alive || !self || !self->alive) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return insert_handle_locked(*self, target, dwDesiredAccess);
}

extern "C" BOOL CloseHandle(HANDLE hObject) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto self = find_process_locked(tCurrentPid);
    if (!self || self->handles.erase(reinterpret_cast<std::uintptr_t>(hObject)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle,
                                DWORD dwDesiredAccess, BOOL, DWORD dwOptions) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto self = find_process_locked(tCurrentPid);
    if (!self) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD srcAccess = 0, dstAccess = 0;
    auto srcObj = resolve_in_locked(*self, hSourceProcessHandle, &srcAccess);
    auto dstObj = resolve_in_locked(*self, hTargetProcessHandle, &dstAccess);
    if (!srcObj || srcObj->kind != ObjectKind::Process || !dstObj ||
        dstObj->kind != ObjectKind::Process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(srcAccess & PROCESS_DUP_HANDLE) || !(dstAccess & PROCESS_DUP_HANDLE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto& src = static_cast<ProcessObject&>(*srcObj);
    auto& dst = static_cast<ProcessObject&>(*dstObj);
    if (!src.alive || !dst.alive) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Pseudo-handles are resolved against the calling thread, like the originals.
    DWORD access = 0;
    ObjectRef object = resolve_in_locked(src, hSourceHandle, &access);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(dwOptions & DUPLICATE_SAME_ACCESS)) access = dwDesiredAccess;
    HANDLE h = insert_handle_locked(dst, object, access);
    if (lpTargetHandle) *lpTargetHandle = h;
    if (dwOptions & DUPLICATE_CLOSE_SOURCE)
        src.handles.erase(reinterpret_cast<std::uintptr_t>(hSourceHandle));
    return TRUE;
}

namespace vnx::process {

DWORD server_id() { return kServerPid; }

DWORD create(const char* name) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto& r = registry();
    auto p = std::make_shared<ProcessObject>();
    p->pid = r.nextPid;
    r.nextPid += 4;
    p->name = name ? name : "";
    r.processes[p->pid] = p;
    return p->pid;
}

bool terminate(DWORD pid) {
    if (pid == kServerPid) return false;
    std::map<int, std::function<void()>> callbacks;
    std::map<std::uintptr_t, ProcessObject::Handle> handles;
    {
        std::lock_guard<std::mutex> g(registry_lock());
        auto p = find_process_locked(pid);
        if (!p || !p->alive) return false;
        p->alive = false;
        callbacks.swap(p->exitCallbacks);
    }
    // Clean-up runs outside the registry lock: callbacks call back into the
    // kernel (unmapping views, closing handles).
    for (auto it = callbacks.rbegin(); it != callbacks.rend(); ++it) it->second();
    unmap_views_of(pid);
    {
        std::lock_guard<std::mutex> g(registry_lock());
        auto p = find_process_locked(pid);
        if (p) handles.swap(p->handles);
    }
    handles.clear();  // objects may close file descriptors: outside the lock
    // Its threads end with it (as on the original platform, where nothing of
    // an ended process runs on).
    std::vector<std::weak_ptr<ThreadObject>> threads;
    {
        std::lock_guard<std::mutex> g(registry_lock());
        auto p = find_process_locked(pid);
        if (p) threads.swap(p->threads);
    }
    end_threads(std::move(threads));
    {
        // Waiters learn of the end only now, after the clean-up, as on the
        // original platform where a process is signalled once it is gone.
        std::lock_guard<std::mutex> g(registry_lock());
        auto p = find_process_locked(pid);
        if (p) {
            p->exited = true;
            p->ended.notify_all();
        }
        // The record goes: handles to the process keep the object (and so
        // their waits) alive, and a pid is never given out again.
        registry().processes.erase(pid);
    }
    return true;
}

size_t records() {
    std::lock_guard<std::mutex> g(registry_lock());
    return registry().processes.size();
}

bool is_alive(DWORD pid) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto p = find_process_locked(pid);
    return p && p->alive;
}

DWORD current() { return tCurrentPid; }

DWORD switch_to(DWORD pid) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto p = find_process_locked(pid);
    if (!p || !p->alive) return 0;
    DWORD previous = tCurrentPid;
    tCurrentPid = pid;
    return previous;
}

int on_exit(DWORD pid, std::function<void()> fn) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto p = find_process_locked(pid);
    if (!p || !p->alive) return 0;
    int id = registry().nextCallback++;
    p->exitCallbacks[id] = std::move(fn);
    return id;
}

void remove_exit_callback(DWORD pid, int id) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto p = find_process_locked(pid);
    if (p) p->exitCallbacks.erase(id);
}

}  // namespace vnx::process
