// The client driver's exports the benchmarks call directly, as the system
// OpenGL library does (its objects are linked into the benchmark program).
#pragma once

#include "glicd.h"

extern "C" {
BOOL GLCltDllInitialize(HMODULE hModule, ULONG ulReason, PVOID pvReserved);
DHGLRC DrvCreateContext(HDC hdc);
BOOL DrvDeleteContext(DHGLRC dhglrc);
const GLCLTPROCTABLE* DrvSetContext(HDC hdc, DHGLRC dhglrc, PFN_SETPROCTABLE pfn);
}
