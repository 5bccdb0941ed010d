// The server's debug print.
#include <cstdarg>
#include <cstdio>

#include "glsrv.h"

void __glXDebugPrint(const char* pszFormat, ...) {
    char ach[100];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(ach, sizeof ach, pszFormat, args);  // always terminated inside ach
    va_end(args);
    OutputDebugStringA(ach);
}
