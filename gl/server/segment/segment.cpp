// The client's request segment: mapping it into the server, the half the
// client views, and copies to and from the client process's memory.
#include <cstdint>

#include "platform/engine.h"
#include "segment/segment.h"

LONG __glMapSMSegment(GLClient* pgc, ULONG cjSection, ULONG hSection) {
    // The view must hold at least the first half's header, which gets the id.
    if (cjSection < sizeof(SMSegmentHeader)) {
        __glXDebugPrint("%s: section of %u bytes\n", __func__, cjSection);
        return -1;
    }
    HANDLE hProcess = EngGetProcessHandle();
    if (hProcess == nullptr) {
        __glXDebugPrint("%s: no client process\n", __func__);
        return -1;
    }
    HANDLE hMine = nullptr;
    if (!DuplicateHandle(hProcess, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(hSection)),
                         GetCurrentProcess(), &hMine, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        __glXDebugPrint("%s: cannot duplicate section %u\n", __func__, hSection);
        return -1;
    }
    auto* pjView = static_cast<BYTE*>(MapViewOfFile(hMine, FILE_MAP_WRITE, 0, 0, cjSection));
    if (pjView == nullptr) {
        __glXDebugPrint("%s: cannot map %u bytes\n", __func__, cjSection);
        CloseHandle(hMine);
        return -1;
    }
    auto* pm = static_cast<SMMapping*>(LocalAlloc(LPTR, sizeof(SMMapping)));
    if (pm == nullptr) {
        __glXDebugPrint("%s: alloc failed\n", __func__);
        UnmapViewOfFile(pjView);
        CloseHandle(hMine);
        return -1;
    }
    *pm = SMMapping{cjSection, hMine, pjView};
    pgc->hProcess = hProcess;
    pgc->pMapping = pm;
    pgc->pHeader = pjView;
    vSetShared(&reinterpret_cast<SMSegmentHeader*>(pjView)->client, pgc->hClient);
    return 1;
}

BOOL bHalfOf(GLClient* pgc, SMHalf* pHalf) {
    const SMMapping* pm = pgc->pMapping;
    if (pm == nullptr || pgc->pHeader == nullptr) return FALSE;
    // The view always keeps a whole header inside the mapping; a view that
    // a client moved to an unaligned offset has no half to read.
    const ULONG off = static_cast<ULONG>(pgc->pHeader - pm->pjView);
    if (off % 4 != 0) return FALSE;
    const ULONG cjLeft = pm->cjSection - off;
    pHalf->pHeader = reinterpret_cast<SMSegmentHeader*>(pgc->pHeader);
    pHalf->pjBase = pgc->pHeader;
    pHalf->cjHalf = cjLeft < SM_HALF_OFFSET ? cjLeft : SM_HALF_OFFSET;
    return TRUE;
}

namespace {

// The process of the calling thread's client, or null.
HANDLE hClientProcess() {
    GLClient* pgc = pgcCurrent();
    return pgc != nullptr ? pgc->hProcess : nullptr;
}

LPVOID pvClient(ULONG ulAddress) {
    return reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(ulAddress));
}

}  // namespace

BOOL __glReadClientMemory(void* pvDst, ULONG ulClientAddress, ULONG cj) {
    if (cj == 0) return TRUE;
    if (pvDst == nullptr) return FALSE;
    HANDLE h = hClientProcess();
    return h != nullptr && ReadProcessMemory(h, pvClient(ulClientAddress), pvDst, cj, nullptr);
}

BOOL __glWriteClientMemory(ULONG ulClientAddress, const void* pvSrc, ULONG cj) {
    if (cj == 0) return TRUE;
    if (pvSrc == nullptr) return FALSE;
    HANDLE h = hClientProcess();
    return h != nullptr && WriteProcessMemory(h, pvClient(ulClientAddress), pvSrc, cj, nullptr);
}
