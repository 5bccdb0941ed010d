// The per-thread client record GLClient and the handle tables through which
// clients name the server's objects: segment ids name GLClients, context
// handles name contexts. Every look-up checks that the object belongs to
// the calling process.
#include "entry/handles.h"
#include "glpdev.h"
#include "lgi/lgi.h"
#include "platform/engine.h"
#include "seams.h"

DWORD gdwTlsIndex = TLS_OUT_OF_INDEXES;
DWORD gdwFlsIndex = FLS_OUT_OF_INDEXES;

namespace {

HandleTable<GLClient> gClients;
HandleTable<GLContext> gContexts;

// The process the current call serves; null outside a call from a client
// (and when the engine could not open it).
HANDLE hCaller() { return EngGetProcessHandle(); }

// Whatever GLClient the calling thread's slot holds.
GLClient* pgcSlot() {
    return gdwTlsIndex == TLS_OUT_OF_INDEXES ? nullptr
                                             : static_cast<GLClient*>(TlsGetValue(gdwTlsIndex));
}

// Frees a GLClient whose handle is gone: its segment mapping, its
// context's link to it, the record.
void vFreeClient(GLClient* pgc) {
    vUnmapSegment(pgc);
    if (pgc->gc != nullptr) __glContextLoseClient(pgc->gc);
    LocalFree(pgc);
    _DUpdateOverlayPresent();
}

}  // namespace

void vUnmapSegment(GLClient* pgc) {
    SMMapping* pm = pgc->pMapping;
    if (pm == nullptr) return;
    UnmapViewOfFile(pm->pjView);
    CloseHandle(pm->hSection);
    LocalFree(pm);
    pgc->pMapping = nullptr;
    pgc->pHeader = nullptr;
}

GLClient* pgcCurrent() {
    GLClient* pgc = pgcSlot();
    return pgc != nullptr && pgc->hOwner == hCaller() ? pgc : nullptr;
}

GLClient* pgcCurrentOrNew() {
    if (GLClient* pgc = pgcCurrent()) return pgc;
    return InitGLSrvDll(nullptr, GLSRV_THREAD_ATTACH, nullptr) ? pgcCurrent() : nullptr;
}

GLClient* pgcFromHandle(ULONG hClient) { return gClients.find(hClient, hCaller()); }

GLContext* pgcContextFromHandle(ULONG dhrc) { return gContexts.find(dhrc, hCaller()); }

ULONG ulRegisterContext(GLContext* gc) {
    // A caller whose process the engine could not open (null with an error
    // set) gets no handle: a later request, for which the engine opens the
    // process again, could not name the context. Outside a client's call
    // the owner is null without an error, and stays so.
    SetLastError(ERROR_SUCCESS);
    const HANDLE hOwner = hCaller();
    if (hOwner == nullptr && GetLastError() != ERROR_SUCCESS) {
        __glXDebugPrint("%s: no client process\n", __func__);
        return 0;
    }
    return gContexts.add(gc, hOwner);
}

BOOL bContextRegistered(const GLContext* gc) { return gContexts.handle_of(gc) != 0; }

ULONG ulContextHandle(const GLContext* gc) { return gContexts.handle_of(gc); }

void vUnregisterContext(GLContext* gc) { gContexts.remove(gc); }

namespace {

// A new record for the calling process, its handle given out; null (said on
// the debugger) when it cannot be made.
GLClient* pgcNewRecord() {
    auto* pgc = static_cast<GLClient*>(LocalAlloc(LPTR, sizeof(GLClient)));
    if (pgc != nullptr) {
        *pgc = GLClient{};  // every word, whatever the allocator gave
        pgc->hOwner = hCaller();
        pgc->hClient = gClients.add(pgc, pgc->hOwner);
        if (pgc->hClient == 0) {
            LocalFree(pgc);
            pgc = nullptr;
        }
    }
    if (pgc == nullptr) __glXDebugPrint("Could not alloc client structure\n");
    return pgc;
}

void vDropRecord(GLClient* pgc) {
    gClients.remove(pgc);
    vFreeClient(pgc);
}

// The record the calling thread serves, in its thread slot and in its
// fiber slot (the thread's end hands the latter to vClientThreadEnded).
BOOL bSetThreadRecord(GLClient* pgc) {
    if (TlsSetValue(gdwTlsIndex, pgc) && FlsSetValue(gdwFlsIndex, pgc)) return TRUE;
    TlsSetValue(gdwTlsIndex, nullptr);
    FlsSetValue(gdwFlsIndex, nullptr);
    return FALSE;
}

}  // namespace

BOOL bThreadAttach() {
    // A serving thread serves one client thread; a record it still holds for
    // another process is that client's, which is gone.
    vThreadDetach();
    GLClient* pgc = pgcNewRecord();
    if (pgc == nullptr) return FALSE;
    if (!bSetThreadRecord(pgc)) {
        gClients.remove(pgc);
        LocalFree(pgc);
        return FALSE;
    }
    return TRUE;
}

GLClientAttach ClientAttachBegin() {
    if (GLClient* pgc = pgcCurrent()) return GLClientAttach{pgc, nullptr, FALSE};
    if (gdwTlsIndex == TLS_OUT_OF_INDEXES) return GLClientAttach{};
    GLClient* pgcBefore = pgcSlot();
    GLClient* pgc = pgcNewRecord();
    if (pgc == nullptr) return GLClientAttach{};
    if (!bSetThreadRecord(pgc)) {
        vDropRecord(pgc);
        return GLClientAttach{};
    }
    return GLClientAttach{pgc, pgcBefore, TRUE};
}

void vClientAttachDone(const GLClientAttach& a, BOOL bDone) {
    if (!a.bNew || a.pgc == nullptr) return;
    if (bDone) {
        // The thread serves the new client now: the record of the process
        // it served before goes.
        if (a.pgcBefore != nullptr) vDropRecord(a.pgcBefore);
        return;
    }
    // A thread that held no record keeps the one made for it (thread
    // attach comes first); one that held another process's gets it back.
    if (a.pgcBefore == nullptr) return;
    bSetThreadRecord(a.pgcBefore);
    vDropRecord(a.pgc);
}

void vThreadDetach() {
    GLClient* pgc = pgcSlot();
    if (pgc == nullptr) return;
    vDropRecord(pgc);
    bSetThreadRecord(nullptr);
}

void vClientThreadEnded(PVOID pv) {
    // Outside any request: the record, its segment's view and its context's
    // link to it go under the lock the requests hold, and only while the
    // server still has the record (shut-down may have freed it).
    ServerLock lock;
    auto* pgc = static_cast<GLClient*>(pv);
    // A request the ending thread still sends (its client driver detaching)
    // finds no record, not a freed one.
    if (pgcSlot() == pgc) TlsSetValue(gdwTlsIndex, nullptr);
    if (!gClients.remove(pgc)) return;
    vFreeClient(pgc);
}

CRITICAL_SECTION* pcsServerLock() {
    const GLSRVDEVICE* pdev = __glDeviceRecord();
    return pdev != nullptr && pdev->ppdev != nullptr ? pGLEscapeLock(pdev->ppdev) : nullptr;
}

void vFreeAllClientsAndContexts() {
    if (gdwTlsIndex != TLS_OUT_OF_INDEXES) TlsSetValue(gdwTlsIndex, nullptr);
    // Clients first: each lets go of its current context.
    for (GLClient* pgc : gClients.take_all()) vFreeClient(pgc);
    for (GLContext* gc : gContexts.take_all()) __glDestroyContext(gc);
}
