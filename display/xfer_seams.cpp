// Functions the host transfers call whose work is not built yet. Each says
// so on the debugger and does nothing. A function leaves this file when its
// real code arrives.
#include "entry.h"
#include "xfer.h"

// The tile walker of the on-board copies.
void vCopyRectTiled(SURFOBJ*, SURFOBJ*, RECTL*, POINTL*, ULONG, ULONG, ULONG) {
    vNotBuiltYet("vCopyRectTiled");
}
