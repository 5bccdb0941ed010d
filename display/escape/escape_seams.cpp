// Escapes whose work is not built yet. Each says so on the debugger and
// answers 0, the escape's failure value. An escape leaves this file when its
// real code arrives.
#include "device/entry.h"
#include "escape/escape.h"

ULONG qrn_heidi(SURFOBJ*, PDEV*, ULONG, PVOID, ULONG, PVOID) {
    vNotBuiltYet("qrn_heidi");
    return 0;
}
