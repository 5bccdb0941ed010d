// The binding of the GL server vnxglsrv: its two exports as the driver calls
// them, the loader that brings the server in on the first
// DrvDescribePixelFormat of a device with 3D, and its unload by escape.
#pragma once

#include "pdev.h"

// The server's file, unless the environment names another one (at most
// GLSRV_NAME_BUFFER - 1 characters).
#define GLSRV_DEFAULT_NAME "vnxglsrv.dll"
#define GLSRV_NAME_VARIABLE "KZGLSRVNAME"
#define GLSRV_NAME_BUFFER 256u

// Version passed to the server's DrvEnableEscape.
#define GLSRV_ENABLE_VERSION 0x00010002u

// Reasons of InitGLSrvDll.
#define GLSRV_PROCESS_DETACH 0u
#define GLSRV_PROCESS_ATTACH 1u
#define GLSRV_THREAD_ATTACH 2u
#define GLSRV_THREAD_DETACH 3u

// Export "InitGLSrvDll": the server's library entry (module handle, reason,
// reserved). Answers 1 on success, 0 on failure. The driver calls it once,
// with process attach, right after loading the server.
typedef BOOL (*PFN_INITGLSRVDLL)(HMODULE hModule, ULONG ulReason, PVOID pvReserved);
#define GLSRV_INIT_EXPORT "InitGLSrvDll"

// Export "DrvEnableEscape": writes the six hook slots of the device
// (hooks.h) and starts the server; answers non-zero on success.
typedef ULONG (*PFN_GLSRV_ENABLE)(ULONG iVersion, PDEV* ppdev);
#define GLSRV_ENABLE_EXPORT "DrvEnableEscape"

// The default of pfnDescribePixelFormat: loads the server and answers the
// request through the describe hook the server installed; 0 (default hooks
// in place, nothing loaded) when the server cannot be loaded. Runs under
// csEscape and csPixelFormat.
LONG lLoadGLServerAndDescribe(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                              PIXELFORMATDESCRIPTOR* ppfd);

// Escape ESC_UNLOADGLSERVER: calls the server's unload hook, unloads it and
// puts every default hook back. Answers 1, loaded or not. Runs under
// csEscape.
ULONG ulUnloadGLServer(PDEV* ppdev);
