// Pagefile-backed sections as anonymous shared memory, and access to the
// memory of other logical processes.
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "objects.h"
#include "platform/faults.h"

namespace vnx::kernel {
namespace {

struct View {
    size_t size;
    DWORD pid;
};

struct Views {
    std::mutex lock;
    std::map<std::uintptr_t, View> byBase;
};

Views& views() {
    static Views* v = new Views;
    return *v;
}

constexpr std::uint64_t kGranularity = 65536;

}  // namespace

SectionObject::~SectionObject() {
    if (fd >= 0) close(fd);
}

void unmap_views_of(DWORD pid) {
    Views& v = views();
    std::lock_guard<std::mutex> g(v.lock);
    for (auto it = v.byBase.begin(); it != v.byBase.end();) {
        if (it->second.pid == pid) {
            munmap(reinterpret_cast<void*>(it->first), it->second.size);
            forget_region(reinterpret_cast<void*>(it->first));
            it = v.byBase.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace vnx::kernel

using namespace vnx::kernel;

extern "C" HANDLE CreateFileMappingA(HANDLE hFile, LPVOID, DWORD flProtect, DWORD dwMaximumSizeHigh,
                                     DWORD dwMaximumSizeLow, LPCSTR) {
    std::uint64_t size = (std::uint64_t{dwMaximumSizeHigh} << 32) | dwMaximumSizeLow;
    // Only sections backed by the paging file, of a given size, exist here.
    if (hFile != INVALID_HANDLE_VALUE || size == 0 || (flProtect & 0xFF) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (vnx::faults::should_fail("CreateFileMappingA")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto section = std::make_shared<SectionObject>();
    section->fd = memfd_create("vnx-section", MFD_CLOEXEC);
    if (section->fd < 0 || ftruncate(section->fd, static_cast<off_t>(size)) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    section->size = size;
    std::lock_guard<std::mutex> g(registry_lock());
    auto self = find_process_locked(current_pid());
    if (!self || !self->alive) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return insert_handle_locked(*self, section, FILE_MAP_ALL_ACCESS);
}

extern "C" LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                                DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                                SIZE_T dwNumberOfBytesToMap) {
    auto section = resolve_as<SectionObject>(hFileMappingObject, ObjectKind::Section);
    if (!section) return nullptr;
    std::uint64_t offset = (std::uint64_t{dwFileOffsetHigh} << 32) | dwFileOffsetLow;
    if (offset % kGranularity != 0 || offset >= section->size ||
        dwNumberOfBytesToMap > section->size - offset) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (vnx::faults::should_fail("MapViewOfFile")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    size_t size = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : section->size - offset;
    int prot =
        (dwDesiredAccess & (FILE_MAP_WRITE | FILE_MAP_COPY)) ? PROT_READ | PROT_WRITE : PROT_READ;
    int flags = (dwDesiredAccess == FILE_MAP_COPY) ? MAP_PRIVATE : MAP_SHARED;
    void* p = mmap(nullptr, size, prot, flags, section->fd, static_cast<off_t>(offset));
    if (p == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Views& v = views();
    std::lock_guard<std::mutex> g(v.lock);
    v.byBase[reinterpret_cast<std::uintptr_t>(p)] = View{size, current_pid()};
    note_region(p, size, current_pid());
    return p;
}

extern "C" BOOL UnmapViewOfFile(LPCVOID lpBaseAddress) {
    Views& v = views();
    std::lock_guard<std::mutex> g(v.lock);
    auto it = v.byBase.find(reinterpret_cast<std::uintptr_t>(lpBaseAddress));
    if (it == v.byBase.end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    munmap(const_cast<void*>(lpBaseAddress), it->second.size);
    forget_region(lpBaseAddress);
    v.byBase.erase(it);
    return TRUE;
}

namespace {

// Copies n bytes between two addresses of this one address space without
// faulting on a bad one: the kernel checks both sides. The client's
// address (the one that may be wild) is the "remote" side of the system
// call: a read takes from it (process_vm_readv), a write puts into it
// (process_vm_writev), so that nothing, the sanitizers' checks of the local
// buffer included, touches it in user space. Answers the bytes copied.
size_t safe_copy(void* to, const void* from, size_t n, bool bToClient = false) {
    ssize_t got;
    if (bToClient) {
        iovec local{const_cast<void*>(from), n};
        iovec remote{to, n};
        got = process_vm_writev(getpid(), &local, 1, &remote, 1, 0);
    } else {
        iovec local{to, n};
        iovec remote{const_cast<void*>(from), n};
        got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    }
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EPERM && errno != ENOSYS) return 0;
    // Without process_vm_readv, a pipe does the same checks: write(2) and
    // read(2) answer EFAULT on an address that is not mapped.
    int fds[2];
    if (pipe(fds) != 0) return 0;
    size_t done = 0;
    while (done < n) {
        size_t chunk = n - done < 4096 ? n - done : 4096;
        ssize_t w = write(fds[1], static_cast<const char*>(from) + done, chunk);
        if (w <= 0) break;
        ssize_t r = read(fds[0], static_cast<char*>(to) + done, static_cast<size_t>(w));
        if (r != w) break;
        done += static_cast<size_t>(r);
    }
    close(fds[0]);
    close(fds[1]);
    return done;
}

// The live process a handle names, with the access asked for.
std::shared_ptr<ProcessObject> process_for(HANDLE hProcess, DWORD needed) {
    DWORD access = 0;
    auto p = resolve_as<ProcessObject>(hProcess, ObjectKind::Process, &access);
    if (!p) return nullptr;
    if ((access & needed) != needed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::lock_guard<std::mutex> g(registry_lock());
    if (!p->alive) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return p;
}

BOOL copy_result(size_t done, SIZE_T n, SIZE_T* reported) {
    if (reported) *reported = done;
    if (done != n) {
        SetLastError(ERROR_PARTIAL_COPY);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

extern "C" BOOL ReadProcessMemory(HANDLE hProcess, LPCVOID lpBaseAddress, LPVOID lpBuffer,
                                  SIZE_T nSize, SIZE_T* lpNumberOfBytesRead) {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    auto process = process_for(hProcess, PROCESS_VM_READ);
    if (!process) return FALSE;
    if (vnx::faults::should_fail("ReadProcessMemory") ||
        owned_by_another(lpBaseAddress, nSize, process->pid))
        return copy_result(0, nSize, nullptr);
    return copy_result(nSize ? safe_copy(lpBuffer, lpBaseAddress, nSize) : 0, nSize,
                       lpNumberOfBytesRead);
}

extern "C" BOOL WriteProcessMemory(HANDLE hProcess, LPVOID lpBaseAddress, LPCVOID lpBuffer,
                                   SIZE_T nSize, SIZE_T* lpNumberOfBytesWritten) {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    auto process = process_for(hProcess, PROCESS_VM_WRITE);
    if (!process) return FALSE;
    if (vnx::faults::should_fail("WriteProcessMemory") ||
        owned_by_another(lpBaseAddress, nSize, process->pid))
        return copy_result(0, nSize, nullptr);
    return copy_result(nSize ? safe_copy(lpBaseAddress, lpBuffer, nSize, true) : 0, nSize,
                       lpNumberOfBytesWritten);
}
