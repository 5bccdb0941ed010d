// The interpreter's objects: the sections clients map for it and the
// rendering contexts made for their windows, each owned by a driver object
// of the engine so that a client's end releases them; and the registry of
// what each device holds, which its disable releases.
#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "batch/batch_internal.h"
#include "escape/escape.h"

namespace {

struct BATCHDEVICE {
    std::vector<WNDTRACK*> windows;
    std::vector<HDRVOBJ> sections;
};

// Plain statics: the driver's library is unloaded and loaded again, and
// takes them along.
std::mutex& registry_lock() {
    static std::mutex m;
    return m;
}

std::map<PDEV*, BATCHDEVICE>& registry() {
    static std::map<PDEV*, BATCHDEVICE> m;
    return m;
}

// Clean-up of a section: the view, the duplicated handle and the record.
BOOL bFreeSection(DRIVEROBJ* pdo) {
    SHMEMOBJ* pshm = static_cast<SHMEMOBJ*>(pdo->pvObj);
    {
        std::lock_guard<std::mutex> g(registry_lock());
        auto it = registry().find(reinterpret_cast<PDEV*>(pdo->dhpdev));
        if (it != registry().end()) std::erase(it->second.sections, pshm->hobj);
    }
    UnmapViewOfFile(pshm->pjViewBase);
    CloseHandle(pshm->hSection);
    LocalFree(pshm);
    return TRUE;
}

// Clean-up of a context: unlinked from its window, record and node freed.
// It takes the device's csEscape, so a process ending on another thread
// waits for a running batch.
BOOL bFreeContext(DRIVEROBJ* pdo) {
    RCNODE* pnode = static_cast<RCNODE*>(pdo->pvObj);
    PDEV* ppdev = reinterpret_cast<PDEV*>(pdo->dhpdev);
    if (ppdev != nullptr) {
        CriticalSectionLock lock(ppdev->csEscape);
        vEachWindow(
            ppdev,
            [](WNDTRACK* pwt, void* pv) {
                for (RCNODE** pp = &pwt->prcnodeHead; *pp != nullptr; pp = &(*pp)->pNext) {
                    if (*pp == pv) {
                        *pp = (*pp)->pNext;
                        break;
                    }
                }
            },
            pnode);
    }
    LocalFree(pnode->prc);
    LocalFree(pnode);
    return TRUE;
}

// Operations of command 4: the refusing one (3 and 6) and the empty one.
BOOL bOpRefuse(BATCHFRAME*, BATCHRC*) { return FALSE; }
BOOL bOpEmpty(BATCHFRAME*, BATCHRC*) { return TRUE; }

constexpr ULONG kRcDefaults[11] = {8, 8, 12, 13, 1, 1, static_cast<ULONG>(-1), 1, 2, 2048, 4};

// Sub-code 1: the caller's section mapped into the driver. The process id
// must be the caller's own: a client names no other process's memory.
ULONG ulMapSection(BATCHFRAME* pbf, const ULONG* pul) {
    const DWORD pid = pul[3];
    const ULONG cjSize = pul[6];
    HANDLE hCaller = EngGetProcessHandle();
    if (hCaller == nullptr || GetProcessId(hCaller) != pid || cjSize == 0) return 0;
    HANDLE hProcess = OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid);
    if (hProcess == nullptr) return 0;
    HANDLE hSection = nullptr;
    const BOOL bDup = DuplicateHandle(hProcess, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(pul[4])),
                                      GetCurrentProcess(), &hSection, 0, FALSE, DUPLICATE_SAME_ACCESS);
    CloseHandle(hProcess);
    if (!bDup) return 0;
    BYTE* pjView = static_cast<BYTE*>(MapViewOfFile(hSection, FILE_MAP_READ | FILE_MAP_WRITE, 0, pul[5], cjSize));
    SHMEMOBJ* pshm = pjView != nullptr ? static_cast<SHMEMOBJ*>(LocalAlloc(LPTR, sizeof(SHMEMOBJ))) : nullptr;
    HDRVOBJ h = 0;
    if (pshm != nullptr) {
        pshm->iKind = SHMEM_KIND_SECTION;
        pshm->pjViewBase = pjView;
        pshm->pjViewEnd = pjView + cjSize;
        pshm->ulClientBase = pul[7];
        pshm->cjSize = cjSize;
        pshm->hSection = hSection;
        h = EngCreateDriverObj(pshm, bFreeSection, pbf->ppdev->hdevEng);
    }
    if (h == 0) {
        LocalFree(pshm);
        if (pjView != nullptr) UnmapViewOfFile(pjView);
        CloseHandle(hSection);
        return 0;
    }
    pshm->hobj = h;
    std::lock_guard<std::mutex> g(registry_lock());
    registry()[pbf->ppdev].sections.push_back(h);
    return h;
}

// Sub-code 2: a section handle of the caller's deleted.
ULONG ulUnmapSection(HDRVOBJ h) {
    if (pshmLockSection(h) == nullptr) return 0;
    EngUnlockDriverObj(h);
    return EngDeleteDriverObj(h, TRUE, FALSE) ? 1 : 0;
}

}  // namespace

ULONG ulSetUp(BATCHFRAME* pbf, const ULONG* pul) {
    switch (pul[1]) {
        case BATCH_SETUP_MAP: return ulMapSection(pbf, pul);
        case BATCH_SETUP_UNMAP: return ulUnmapSection(pul[2]);
        default: return 0;
    }
}

ULONG ulCreateContext(BATCHFRAME* pbf, const ULONG* pul) {
    WNDTRACK* pwt = pwtWindowFor(pbf->pso, pbf->ppdev, pul[1], TRUE);
    if (pwt == nullptr) return 0;
    BATCHRC* prc = static_cast<BATCHRC*>(LocalAlloc(LPTR, sizeof(BATCHRC)));
    RCNODE* pnode = static_cast<RCNODE*>(LocalAlloc(LPTR, sizeof(RCNODE)));
    const HDRVOBJ h = prc != nullptr && pnode != nullptr
                          ? EngCreateDriverObj(pnode, bFreeContext, pbf->ppdev->hdevEng)
                          : 0;
    if (h == 0) {
        LocalFree(prc);
        LocalFree(pnode);
        return 0;
    }
    prc->hwnd = pul[1];
    prc->iPixelFormat = pul[2];
    for (ULONG i = 0; i < 7; ++i) prc->apfnOp[i] = (i == 2 || i == 5) ? bOpRefuse : bOpEmpty;
    std::copy(std::begin(kRcDefaults), std::end(kRcDefaults), prc->aulDefaults);
    pnode->hrc = h;
    pnode->hobj = h;
    pnode->prc = prc;
    pnode->cjRc = sizeof(BATCHRC);
    pnode->pNext = pwt->prcnodeHead;
    pwt->prcnodeHead = pnode;
    return h;
}

SHMEMOBJ* pshmLockSection(HDRVOBJ h) {
    if (h == 0) return nullptr;
    DRIVEROBJ* pdo = EngLockDriverObj(h);
    if (pdo == nullptr) return nullptr;
    if (pdo->pFreeProc != bFreeSection) {
        EngUnlockDriverObj(h);
        return nullptr;
    }
    return static_cast<SHMEMOBJ*>(pdo->pvObj);
}

RCNODE* pnodeFindContext(HDRVOBJ h) {
    DRIVEROBJ* pdo = EngLockDriverObj(h);
    if (pdo == nullptr) return nullptr;
    RCNODE* pnode = pdo->pFreeProc == bFreeContext ? static_cast<RCNODE*>(pdo->pvObj) : nullptr;
    // Contexts are freed only under csEscape, which the caller holds.
    EngUnlockDriverObj(h);
    return pnode;
}

BYTE* pjClientRange(const SHMEMOBJ* pshm, ULONG ulAddr, ULONG cj) {
    if (ulAddr < pshm->ulClientBase) return nullptr;
    const std::uint64_t off = ulAddr - pshm->ulClientBase;
    if (off + cj > pshm->cjSize) return nullptr;
    return pshm->pjViewBase + off;
}

ULONG cDeleteContexts(WNDTRACK* pwt, HDRVOBJ h) {
    std::vector<HDRVOBJ> handles;
    for (const RCNODE* p = pwt->prcnodeHead; p != nullptr; p = p->pNext) {
        if (h == 0 || p->hrc == h) handles.push_back(p->hobj);
    }
    ULONG c = 0;
    for (HDRVOBJ hobj : handles) c += EngDeleteDriverObj(hobj, TRUE, FALSE) ? 1 : 0;
    return c;
}

void vRegisterWindow(PDEV* ppdev, WNDTRACK* pwt) {
    std::lock_guard<std::mutex> g(registry_lock());
    registry()[ppdev].windows.push_back(pwt);
}

void vForgetWindow(PDEV* ppdev, WNDTRACK* pwt) {
    std::lock_guard<std::mutex> g(registry_lock());
    auto it = registry().find(ppdev);
    if (it != registry().end()) std::erase(it->second.windows, pwt);
}

BOOL bKnownWindow(PDEV* ppdev, const WNDTRACK* pwt) {
    if (pwt == nullptr) return FALSE;
    std::lock_guard<std::mutex> g(registry_lock());
    auto it = registry().find(ppdev);
    return it != registry().end() &&
           std::find(it->second.windows.begin(), it->second.windows.end(), pwt) != it->second.windows.end();
}

void vEachWindow(PDEV* ppdev, void (*pfn)(WNDTRACK* pwt, void* pv), void* pv) {
    std::vector<WNDTRACK*> windows;
    {
        std::lock_guard<std::mutex> g(registry_lock());
        auto it = registry().find(ppdev);
        if (it != registry().end()) windows = it->second.windows;
    }
    for (WNDTRACK* pwt : windows) pfn(pwt, pv);
}

ULONG ulBatchEnable(PDEV* ppdev) {
    std::lock_guard<std::mutex> g(registry_lock());
    registry()[ppdev];
    return 1;
}

void vBatchDisable(PDEV* ppdev) {
    vEachWindow(
        ppdev,
        [](WNDTRACK* pwt, void*) {
            cDeleteContexts(pwt, 0);
            vFreeWindow(pwt);
        },
        nullptr);
    std::vector<HDRVOBJ> sections;
    {
        std::lock_guard<std::mutex> g(registry_lock());
        auto it = registry().find(ppdev);
        if (it != registry().end()) sections = it->second.sections;
    }
    for (HDRVOBJ h : sections) EngDeleteDriverObj(h, TRUE, FALSE);
    std::lock_guard<std::mutex> g(registry_lock());
    registry().erase(ppdev);
}

void vBatchModeChange(PDEV*) {}
