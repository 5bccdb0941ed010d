// The system OpenGL library as applications call it: rendering contexts
// (wgl...) and, in GL/gl.h, the 306 OpenGL 1.0 functions.
//
// The library finds the client driver of a device context's display through
// the OPENGL_GETINFO escape, loads it by file name on first need and calls
// its Drv... entries. Each thread has its own current context; the GL
// functions jump through the table of entry points the driver handed out
// for it, and do nothing on a thread without a current context. A context
// belongs to the logical process that made it; another process's handle, a
// deleted one or a made-up one is refused (ERROR_INVALID_HANDLE).
#pragma once

#include "platform/export.h"
#include "platform/gdi.h"
#include "platform/kernel.h"

typedef struct HGLRC__* HGLRC;

extern "C" {

// A context for the device context's window and pixel format; null when the
// display offers no client driver or the driver refuses.
VNX_PLATFORM_API HGLRC wglCreateContext(HDC hdc);
VNX_PLATFORM_API HGLRC wglCreateLayerContext(HDC hdc, INT iLayerPlane);
// Deletes a context of the calling process; one current on the calling
// thread stops being current, one current on another thread is refused.
VNX_PLATFORM_API BOOL wglDeleteContext(HGLRC hglrc);
// Makes the context current on the calling thread with the device context,
// after releasing the thread's previous one; a null context releases the
// current one. A context current on another thread is refused. On failure
// the thread has no current context.
VNX_PLATFORM_API BOOL wglMakeCurrent(HDC hdc, HGLRC hglrc);
VNX_PLATFORM_API HGLRC wglGetCurrentContext(void);
VNX_PLATFORM_API HDC wglGetCurrentDC(void);
VNX_PLATFORM_API BOOL wglCopyContext(HGLRC hglrcSrc, HGLRC hglrcDst, UINT mask);
VNX_PLATFORM_API BOOL wglShareLists(HGLRC hglrc1, HGLRC hglrc2);

}  // extern "C"

namespace vnx::opengl32 {

// The client driver loaded now (its module), or null.
VNX_PLATFORM_API HMODULE driver();
// Detaches the calling thread and the process from the client driver and
// unloads it; the next context loads it again. Threads that used OpenGL
// have ended (or detached) by then.
VNX_PLATFORM_API void unload_driver();

}  // namespace vnx::opengl32
