// Escape routing inside the driver: the handlers DrvEscape's table reaches,
// escape modules, and the lock every escape and OpenGL entry point holds.
#pragma once

#include "escapes.h"
#include "pdev.h"

// Holds a critical section for the life of the object.
class CriticalSectionLock {
  public:
    explicit CriticalSectionLock(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~CriticalSectionLock() { LeaveCriticalSection(&cs_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

  private:
    CRITICAL_SECTION& cs_;
};

// --- escape modules (escape_modules.cpp) ------------------------------------------
// ESC_LOADESCAPEMODULE: 1 loaded, ESC_MODULE_ALREADY_LOADED (another
// reference), 0 refused (bad name, no such module, no or refusing
// DrvEnableEscape, no memory).
ULONG ulLoadEscapeModule(PDEV* ppdev, ULONG cjIn, PVOID pvIn);
// ESC_UNLOADESCAPEMODULE: drops one reference; 1, or 0 when no module of
// that name is loaded.
ULONG ulUnloadEscapeModule(PDEV* ppdev, ULONG cjIn, PVOID pvIn);
// The newest module whose range holds the code, or null.
EscapeModule* pemEscapeModuleOwning(PDEV* ppdev, LONG iEsc);

// --- board configuration (escape_boardconfig.cpp) ---------------------------------
// ESC_BOARDCONFIG: a write hands the record to the miniport for the next
// surface enable; a read answers the miniport's record with the fields the
// driver knows filled in. 1 done, 0 refused or failed.
ULONG ulBoardConfigEscape(PDEV* ppdev, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);

// --- escapes served by later work (escape_seams.cpp) ------------------------------
// ESC_HEIDI: the immediate-mode 3D interface.
ULONG qrn_heidi(SURFOBJ* pso, PDEV* ppdev, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
