// The driver's debug output and its debugging exports.
#pragma once

#include "platform/export.h"
#include "platform/kernel.h"

// Bytes DebugPrint formats into, terminator included.
#define DEBUG_PRINT_BUFFER 260

// Messages of a level above this one are dropped; 0 at load.
extern LONG glDebugLevel;

extern "C" {

// Formats a message and sends it to the debugger when level <= glDebugLevel.
// A message longer than the buffer is cut short.
VNX_EXPORT void DebugPrint(LONG level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Debugging exports kept for the tools that call them; they do nothing.
VNX_EXPORT void dumpdsurf(void);
VNX_EXPORT void help(void);
VNX_EXPORT void ProfEnter(void);
VNX_EXPORT void ProfLeave(void);
VNX_EXPORT void kzCompressRect(void);

}  // extern "C"
