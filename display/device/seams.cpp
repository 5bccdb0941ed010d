// Entry points whose work is not built yet. Each says so on the debugger and
// answers its failure (or declining) value, so the engine falls back or
// fails cleanly. An entry leaves this file when its real code arrives.
#include "device/entry.h"

void vNotBuiltYet(const char* pszFunction) { DbgPrint("%s: not built yet\n", pszFunction); }

