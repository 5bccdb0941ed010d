// Kernel objects and per-process handle tables, shared by the kernel files.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel.h"

namespace vnx::kernel {

enum class ObjectKind { Thread, Process, Section };

struct Object {
    explicit Object(ObjectKind k) : kind(k) {}
    virtual ~Object() = default;
    const ObjectKind kind;
};
using ObjectRef = std::shared_ptr<Object>;

// A thread known to this layer: one made by CreateThread, or any other thread
// the first time it asks for itself. The suspend count and the exit state are
// guarded by `lock`.
struct ThreadObject : Object {
    ThreadObject() : Object(ObjectKind::Thread) {}
    DWORD id = 0;
    std::mutex lock;
    std::condition_variable changed;
    DWORD suspendCount = 0;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    // Its process has ended: it is never held suspended again, and one that
    // has not started yet never starts.
    bool processEnded = false;
    bool parked = false;  // held in a suspension right now
};

// A logical process: its id, its handles and what must happen when it ends.
struct ProcessObject : Object {
    ProcessObject() : Object(ObjectKind::Process) {}
    DWORD pid = 0;
    std::string name;
    bool alive = true;    // false from the start of its end: no new handles or work
    bool exited = false;  // true once its clean-up is done: waits on it are satisfied
    struct Handle {
        ObjectRef object;
        DWORD access;
    };
    std::map<std::uintptr_t, Handle> handles;
    std::uintptr_t nextHandle = 4;
    std::map<int, std::function<void()>> exitCallbacks;
    std::condition_variable ended;
    // The threads CreateThread started for it: they end with it.
    std::vector<std::weak_ptr<ThreadObject>> threads;
};

// A pagefile-backed section: anonymous shared memory of a fixed size.
struct SectionObject : Object {
    SectionObject() : Object(ObjectKind::Section) {}
    ~SectionObject() override;
    int fd = -1;
    std::uint64_t size = 0;
};

// The one lock over every process record and handle table.
std::mutex& registry_lock();

// The record of a logical process, or null (registry lock held by caller).
std::shared_ptr<ProcessObject> find_process_locked(DWORD pid);

// Inserts `object` into the handle table of `process` (registry lock held).
HANDLE insert_handle_locked(ProcessObject& process, ObjectRef object, DWORD access);

// Resolves a handle of the calling thread's process, pseudo-handles included.
// Sets ERROR_INVALID_HANDLE and answers null when it names nothing.
ObjectRef resolve_handle(HANDLE h, DWORD* access = nullptr);

template <class T>
std::shared_ptr<T> resolve_as(HANDLE h, ObjectKind kind, DWORD* access = nullptr) {
    ObjectRef object = resolve_handle(h, access);
    if (!object || object->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

// The logical process the calling thread acts for.
DWORD current_pid();
void set_current_pid(DWORD pid);

// The calling thread's own record (made on first use).
std::shared_ptr<ThreadObject> current_thread();
// Its id, without touching the record's reference count (made on first use):
// one thread-local load, inline on the critical sections' path.
[[gnu::tls_model("initial-exec")]] extern thread_local constinit DWORD tSelfId;
DWORD first_thread_id();
inline DWORD current_thread_id() {
    const DWORD id = tSelfId;
    if (id == 0) [[unlikely]]
        return first_thread_id();
    return id;
}

// Blocks the calling thread while its suspend count is above zero.
void honour_suspension();

// The end of a process for its threads (its handles already gone): each is
// let out of a suspension and never held again; the ones that were held
// are waited for, so none still runs the code of a library unloaded after
// the process's end.
void end_threads(std::vector<std::weak_ptr<ThreadObject>> threads);

// Memory ownership by logical process (see ownership.cpp).
void note_region(const void* p, size_t size, DWORD pid, bool bHeapBlock = false);
// The byte count of the live heap block (LocalAlloc) that starts at p, or 0
// when none starts there.
size_t heap_block_size(const void* p);
void forget_region(const void* p);
bool owned_by_another(const void* p, size_t size, DWORD pid);

// Drops the section views a process mapped (called when it ends).
void unmap_views_of(DWORD pid);

}  // namespace vnx::kernel
