// The OpenGL hook slots of the device record: the functions through which the
// driver reaches the GL server. Until the server is loaded each slot holds
// its default; the server's DrvEnableEscape writes its own functions into
// them, and unloading the server puts the defaults back.
#pragma once

#include "platform/ddi.h"

struct PDEV;

// Escape OPENGL_CMD (4352): one GL command buffer. Answers the escape's
// result; the default answers 0 (no server).
typedef ULONG (*PFN_OPENGLCMD)(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);

// Escape OPENGL_GETINFO (4353): server information, same arguments. Default 0.
typedef ULONG (*PFN_OPENGLGETINFO)(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);

// DrvSwapBuffers: presents a window's back buffer. Default 0.
typedef BOOL (*PFN_SWAPBUFFERS)(SURFOBJ* pso, WNDOBJ* pwo);

// DrvSetPixelFormat: gives a window a pixel format. Default 0.
typedef BOOL (*PFN_SETPIXELFORMAT)(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd);

// DrvDescribePixelFormat: describes one pixel format, answers how many there
// are. Default: the loader that brings the GL server in on first use.
typedef LONG (*PFN_DESCRIBEPIXELFORMAT)(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                                        PIXELFORMATDESCRIPTOR* ppfd);

// Called with the device before the GL server is unloaded. Not set by default.
typedef void (*PFN_GLSERVERUNLOAD)(PDEV* ppdev);

// Puts the default into every hook slot and forgets the server's module.
void vInitOpenGLHooks(PDEV* ppdev);
