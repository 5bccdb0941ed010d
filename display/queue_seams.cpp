// Queue entry points whose work is not built yet. Each says so on the
// debugger and does nothing; an entry leaves this file when its real code
// arrives.
#include "entry.h"
#include "kz2queue.h"

extern "C" {

KZ2QUEUEMGT kz2GetQueueMgt(const void*, ULONG) { vNotBuiltYet("kz2GetQueueMgt"); return nullptr; }
ULONG kz2GetBlockEnable(ULONG, ULONG, ULONG, ULONG) { return 0xFFFF; }
ULONG* kz2NewPacketQueue(KZ2QUEUEMGT, PVOID, ULONG) { vNotBuiltYet("kz2NewPacketQueue"); return nullptr; }
ULONG kz2SoftUpdatePacketPtr(KZ2QUEUEMGT, ULONG*) { vNotBuiltYet("kz2SoftUpdatePacketPtr"); return 0; }
void kz2FlushQueue(KZ2QUEUEMGT, ULONG, ULONG**, ULONG*) { vNotBuiltYet("kz2FlushQueue"); }

}  // extern "C"
