// Driver objects: the driver's records the engine keeps for a client
// process, locked around their use and cleaned up when deleted or when that
// process ends.
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "clients.h"
#include "exitwatch.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/process.h"
#include "wndobj_call.h"

namespace vnx::engine {
namespace {

struct DriverObject {
    DRIVEROBJ dobj{};
    DWORD owner = 0;              // the logical process it belongs to
    std::thread::id lockOwner;    // the thread holding the lock while cLocks > 0
    int cLocks = 0;
    bool bDying = false;          // being deleted: no new locks
};

struct DriverObjects {
    std::mutex lock;
    std::condition_variable changed;  // a lock released or an object gone
    std::map<HDRVOBJ, std::unique_ptr<DriverObject>> objects;
    HDRVOBJ nextHandle = 0x100;
};

DriverObjects& table() {
    static DriverObjects* t = new DriverObjects;
    return *t;
}

// The object of that process behind a handle (lock held); null otherwise.
DriverObject* find_locked(HDRVOBJ hdo, DWORD owner) {
    auto& t = table();
    auto it = t.objects.find(hdo);
    if (it == t.objects.end()) return nullptr;
    // The server process itself (the engine and drivers outside a client's
    // call, as when a device goes) reaches every process's objects.
    if (it->second->owner != owner && owner != vnx::process::server_id()) return nullptr;
    return it->second.get();
}

// Deletion proper. Waits for a lock another thread holds; a lock of the
// calling thread counts as handed over only when bLocked says so.
BOOL delete_object(HDRVOBJ hdo, DWORD owner, BOOL bCallBack, BOOL bLocked, bool bProcessEnd) {
    auto& t = table();
    std::unique_lock<std::mutex> g(t.lock);
    DriverObject* p = find_locked(hdo, owner);
    if (p == nullptr || p->bDying) return FALSE;
    const std::thread::id me = std::this_thread::get_id();
    const bool bMine = p->cLocks > 0 && p->lockOwner == me;
    if (!bProcessEnd && (bMine != (bLocked != FALSE))) return FALSE;
    p->bDying = true;
    t.changed.wait(g, [&] { return p->cLocks == 0 || p->lockOwner == me; });
    if (bCallBack && p->dobj.pFreeProc != nullptr) {
        g.unlock();
        const BOOL bFreed = p->dobj.pFreeProc(&p->dobj);
        g.lock();
        if (!bFreed && !bProcessEnd) {
            p->bDying = false;
            t.changed.notify_all();
            return FALSE;
        }
    }
    t.objects.erase(hdo);
    t.changed.notify_all();
    return TRUE;
}

void delete_objects_of(DWORD pid) {
    std::vector<HDRVOBJ> handles;
    {
        auto& t = table();
        std::lock_guard<std::mutex> g(t.lock);
        for (const auto& [h, p] : t.objects) {
            if (p->owner == pid) handles.push_back(h);
        }
    }
    // Newest first; each clean-up runs in the server process on behalf of
    // the process that ended.
    // Clean-ups may read window objects: no window change runs meanwhile.
    WindowChangesHeld held;
    ClientCall call(pid);
    for (auto it = handles.rbegin(); it != handles.rend(); ++it)
        delete_object(*it, pid, TRUE, FALSE, true);
}

}  // namespace

size_t live_driver_objects() {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    return t.objects.size();
}

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" HDRVOBJ EngCreateDriverObj(PVOID pvObj, FREEOBJPROC pFreeObjProc, HDEV hdev) {
    if (pFreeObjProc == nullptr || hdev == nullptr) return 0;
    if (vnx::faults::should_fail("EngCreateDriverObj")) return 0;
    const DWORD owner = calling_process();
    auto& t = table();
    static auto* watch = new ProcessExitWatch(delete_objects_of);
    if (!watch->watch(owner)) return 0;
    auto p = std::make_unique<DriverObject>();
    p->dobj.pvObj = pvObj;
    p->dobj.pFreeProc = pFreeObjProc;
    p->dobj.hdev = hdev;
    DHPDEV dhpdev = nullptr;
    SURFOBJ* pso = nullptr;
    PFN pfn = nullptr;
    if (call_target(hdev, 0, &dhpdev, &pso, &pfn)) p->dobj.dhpdev = dhpdev;
    p->owner = owner;
    std::lock_guard<std::mutex> g(t.lock);
    if (t.nextHandle == 0) return 0;  // every handle has been given out once
    const HDRVOBJ h = t.nextHandle++;
    t.objects[h] = std::move(p);
    return h;
}

extern "C" DRIVEROBJ* EngLockDriverObj(HDRVOBJ hdo) {
    if (vnx::faults::should_fail("EngLockDriverObj")) return nullptr;
    const DWORD owner = calling_process();
    const std::thread::id me = std::this_thread::get_id();
    auto& t = table();
    std::unique_lock<std::mutex> g(t.lock);
    for (;;) {
        DriverObject* p = find_locked(hdo, owner);
        if (p == nullptr || p->bDying) return nullptr;
        if (p->cLocks == 0 || p->lockOwner == me) {
            p->lockOwner = me;
            ++p->cLocks;
            return &p->dobj;
        }
        t.changed.wait(g);
    }
}

extern "C" BOOL EngUnlockDriverObj(HDRVOBJ hdo) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    // The thread that holds the lock releases it, on behalf of whichever
    // process: the owner may have ended meanwhile.
    auto it = t.objects.find(hdo);
    DriverObject* p = it == t.objects.end() ? nullptr : it->second.get();
    if (p == nullptr || p->cLocks == 0 || p->lockOwner != std::this_thread::get_id()) return FALSE;
    --p->cLocks;
    t.changed.notify_all();
    return TRUE;
}

extern "C" BOOL EngDeleteDriverObj(HDRVOBJ hdo, BOOL bCallBack, BOOL bLocked) {
    return delete_object(hdo, calling_process(), bCallBack, bLocked, false);
}
