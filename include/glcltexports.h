// The client driver's context exports, as the system OpenGL library calls
// them (and the tests and benchmarks that link the client's objects call
// them directly). The client defines them in gl/client/entry.cpp.
#pragma once

#include "glicd.h"

extern "C" {
BOOL GLCltDllInitialize(HMODULE hModule, ULONG ulReason, PVOID pvReserved);
BOOL DrvValidateVersion(ULONG ulVersion);
DHGLRC DrvCreateContext(HDC hdc);
BOOL DrvDeleteContext(DHGLRC dhglrc);
const GLCLTPROCTABLE* DrvSetContext(HDC hdc, DHGLRC dhglrc, PFN_SETPROCTABLE pfn);
BOOL DrvReleaseContext(DHGLRC dhglrc);
BOOL DrvShareLists(DHGLRC dhglrc1, DHGLRC dhglrc2);
BOOL DrvCopyContext(DHGLRC dhglrcSrc, DHGLRC dhglrcDst, UINT mask);
}
