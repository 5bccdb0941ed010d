// The server's two exports and its start-up and shut-down. The display
// driver calls InitGLSrvDll once with process attach after loading the
// server, then DrvEnableEscape with its device record; from then on it
// reaches the server only through the six hook slots written here, and
// before unloading the server it calls the unload hook, which frees
// everything the server made, so nothing of it outlives the library.
#include "dispatch/dispatch.h"
#include "lgi/lgi.h"
#include "platform/export.h"
#include "seams.h"

CRITICAL_SECTION gcsBufferList;

namespace {

// Set from the start of DriverInit until shut-down; cleared again when the
// dispatch tables cannot be built.
BOOL gbInitialised = FALSE;
// The device records, one per device that enabled the server.
GLSRVDEVICE* gpDevices = nullptr;

// Process attach: the buffer-list lock and the thread-local slot. TRUE when
// the server is attached (also when it was already).
BOOL bProcessAttach() {
    if (gdwTlsIndex != TLS_OUT_OF_INDEXES) return TRUE;
    const DWORD dwIndex = TlsAlloc();
    if (dwIndex == TLS_OUT_OF_INDEXES) {
        __glXDebugPrint("Could not allocate TLS Index for GL\n");
        return FALSE;
    }
    const DWORD dwFls = FlsAlloc(vClientThreadEnded);
    if (dwFls == FLS_OUT_OF_INDEXES) {
        __glXDebugPrint("Could not allocate TLS Index for GL\n");
        TlsFree(dwIndex);
        return FALSE;
    }
    InitializeCriticalSection(&gcsBufferList);
    gdwTlsIndex = dwIndex;
    gdwFlsIndex = dwFls;
    return TRUE;
}

// Everything attach made and every client and context since.
void vProcessDetach() {
    if (gdwTlsIndex == TLS_OUT_OF_INDEXES) return;
    vFreeAllClientsAndContexts();
    TlsFree(gdwTlsIndex);
    gdwTlsIndex = TLS_OUT_OF_INDEXES;
    FlsFree(gdwFlsIndex);
    gdwFlsIndex = FLS_OUT_OF_INDEXES;
    DeleteCriticalSection(&gcsBufferList);
}

void DriverInit(PDEV* ppdev) {
    if (gbInitialised) return;  // started for another device already
    gbInitialised = TRUE;
    if (!glInitDispatchVectors()) {
        __glXDebugPrint("DriverInit: glInitDispatchVectors failed\n");
        gbInitialised = FALSE;
        return;
    }
    __glChooseFormatTable(ppdev);
    glInitVisualConfigs(ppdev);
    N_Init(nullptr, nullptr, 0, 0);
}

BOOL bSwapMainPlanes(SURFOBJ* pso, WNDOBJ* pwo) {
    constexpr ULONG kMainPlanes = 3;
    return __wglSwapBuffers(pso, pwo, kMainPlanes);
}

// The unload hook. The device's record goes; with the last device the
// server frees everything it made: tables, visuals, clients with their
// segment mappings, contexts with their driver objects, the thread-local
// slot and the lock.
void vShutdown(PDEV* ppdev) {
    GLSRVDEVICE** ppFound = nullptr;
    for (GLSRVDEVICE** pp = &gpDevices; *pp != nullptr; pp = &(*pp)->pNext)
        if ((*pp)->ppdev == ppdev) ppFound = pp;
    const bool bLast = gpDevices != nullptr && gpDevices->pNext == nullptr && ppFound != nullptr;
    if (bLast) {
        // Clients and contexts go first, while what they use still stands:
        // their visuals, drawables, the lgi layer and the device record.
        gbInitialised = FALSE;
        vFreeAllClientsAndContexts();
        __glFreeAllDrawables();
        glFreeDispatchVectors();
        glFreeVisualConfigs();
        _NFreeData();
        vProcessDetach();
    }
    if (ppFound != nullptr) {
        GLSRVDEVICE* pdev = *ppFound;
        *ppFound = pdev->pNext;
        LocalFree(pdev);
    }
}

}  // namespace

// The lgi layer's hardware records name the device the server started on.
GLSRVDEVICE* __glDeviceRecord(void) { return gpDevices; }

extern "C" {

VNX_EXPORT BOOL InitGLSrvDll(HMODULE, ULONG ulReason, PVOID) {
    switch (ulReason) {
        case GLSRV_PROCESS_ATTACH: {
            const BOOL bFresh = gdwTlsIndex == TLS_OUT_OF_INDEXES;
            if (!bProcessAttach()) return FALSE;
            // The loading thread's client, unless it has one already.
            if (pgcCurrent() != nullptr || bThreadAttach()) return TRUE;
            // Refused: the driver unloads the server without shutting it
            // down, so what this attach made goes now.
            if (bFresh) vProcessDetach();
            return FALSE;
        }
        case GLSRV_THREAD_ATTACH:
            if (gdwTlsIndex == TLS_OUT_OF_INDEXES) return FALSE;
            return bThreadAttach();
        case GLSRV_THREAD_DETACH: vThreadDetach(); return TRUE;
        case GLSRV_PROCESS_DETACH: vProcessDetach(); return TRUE;
        default: return FALSE;
    }
}

VNX_EXPORT ULONG DrvEnableEscape(ULONG, PDEV* ppdev) {
    GLHOOKSLOTS* phs = pGLHookSlots(ppdev);
    phs->pfnSetPixelFormat = glDrvSetPixelFormat;
    phs->pfnDescribePixelFormat = glDrvDescribePixelFormat;
    phs->pfnSwapBuffers = bSwapMainPlanes;
    phs->pfnOpenGLCmd = ulOpenGLCmd;
    phs->pfnOpenGLGetInfo = ulOpenGLGetInfo;
    phs->pfnGLServerUnload = vShutdown;

    auto* pdev = static_cast<GLSRVDEVICE*>(LocalAlloc(LPTR, sizeof(GLSRVDEVICE)));
    if (pdev == nullptr) {
        __glXDebugPrint("DrvEnableEscape: could not allocate the device record\n");
    } else {
        *pdev = GLSRVDEVICE{};
        pdev->ppdev = ppdev;
        pdev->pNext = gpDevices;
        gpDevices = pdev;
    }
    DriverInit(ppdev);
    return 1;
}

}  // extern "C"
