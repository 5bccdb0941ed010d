// The system OpenGL library's inside: the loaded client driver with its
// entries, and the calling thread's current table.
#pragma once

#include "glicd.h"
#include "platform/opengl32.h"

namespace vnx::opengl32 {

// The client driver as loaded: its module and the entries it exports.
struct Driver {
    HMODULE hModule = nullptr;
    PFN_DrvValidateVersion pfnValidateVersion = nullptr;
    PFN_DrvCreateContext pfnCreateContext = nullptr;
    PFN_DrvCreateLayerContext pfnCreateLayerContext = nullptr;
    PFN_DrvDeleteContext pfnDeleteContext = nullptr;
    PFN_DrvSetContext pfnSetContext = nullptr;
    PFN_DrvReleaseContext pfnReleaseContext = nullptr;
    PFN_DrvShareLists pfnShareLists = nullptr;
    PFN_DrvCopyContext pfnCopyContext = nullptr;
    PFN_GLCltDllInitialize pfnDllInitialize = nullptr;
};

// The driver of the device context's display, loaded on first need (the
// calling thread attached to it); null when there is none.
const Driver* load_driver(HDC hdc);
// The loaded driver, with the calling thread attached to it; null when none
// is loaded.
const Driver* attached_driver();

// The calling thread's table of entry points; the table of a thread without
// a current context when null.
void set_thread_table(const GLDispatchTable* pTable);
// The calling thread has no current context any more (the driver it was
// current in goes); the driver is not told.
void forget_thread_current();

}  // namespace vnx::opengl32
