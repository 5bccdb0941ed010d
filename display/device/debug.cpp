// DebugPrint and the debugging exports.
#include <cstdio>

#include "device/debug.h"

LONG glDebugLevel = 0;

extern "C" void DebugPrint(LONG level, const char* format, ...) {
    if (level > glDebugLevel || format == nullptr) return;
    // The buffer is fixed; a longer message is cut at its end instead of
    // running past it.
    char ach[DEBUG_PRINT_BUFFER];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(ach, sizeof ach, format, ap);
    va_end(ap);
    OutputDebugStringA(ach);
}

extern "C" void dumpdsurf(void) {}
extern "C" void help(void) {}
extern "C" void ProfEnter(void) {}
extern "C" void ProfLeave(void) {}
extern "C" void kzCompressRect(void) {}
