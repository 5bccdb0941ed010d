// Start-up of the layer: the work arena, the allocation hooks, the
// speed-over-memory switch and the stage table.
#include <cstdlib>

#include "arena.h"

namespace {

// What the current-context pointer names before the first N_MakeCurrent:
// no context equals it, so the first N_MakeCurrent always switches.
N_Context* const gpNoContext = reinterpret_cast<N_Context*>(&gNArena);

void vInitA() {}
void vInitB() {}

// Reads __qrnGLSpeedOverMemory (a 31-character value) into the switch.
void vSpeedOverMemory() {
    gpNCurrent = gpNoContext;
    char ach[31] = {};
    const DWORD cch = GetEnvironmentVariableA("__qrnGLSpeedOverMemory", ach, sizeof ach);
    if (cch == 0 || cch >= sizeof ach) return;
    glNSpeedOverMemory = std::atoi(ach);
    DbgPrint("__qrnGLSpeedOverMemory = %d\n", static_cast<int>(glNSpeedOverMemory));
}

}  // namespace

N_Context* gpNCurrent = gpNoContext;
LONG glNSpeedOverMemory = 0;

N_Context* pNNoContext() { return gpNoContext; }

void N_Init(N_AllocFunc pfnAlloc, N_FreeFunc pfnFree, ULONG, ULONG) {
    if (gNArena.pStageTable != nullptr) return;  // the layer stands already
    if (!_NAllocData()) return;
    _NSetAllocFuncs(pfnAlloc, pfnFree);
    vInitA();
    vInitB();
    vSpeedOverMemory();
    _NInitStageTable();
}
