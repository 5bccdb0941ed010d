// A small library that the library-loading tests load by a ".dll" name. It
// exports two entry points with C linkage and keeps one helper hidden.
#include "platform/export.h"
#include "platform/kernel.h"

namespace {
int gCalls = 0;
int hidden_helper(int x) { return x * 2 + 1; }
}  // namespace

extern "C" {
VNX_EXPORT int TestLibEntry(int x) {
    ++gCalls;
    return hidden_helper(x);
}
VNX_EXPORT int TestLibCalls(void) { return gCalls; }
int TestLibNotExported(void) { return 7; }
}
