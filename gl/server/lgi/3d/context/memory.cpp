// The layer's allocation hooks: every record the layer makes after start-up
// comes through _Nalloc, so a caller can put its own allocator underneath.
#include "context.h"

namespace {

void* pvDefaultAlloc(std::size_t cb) { return LocalAlloc(LPTR, cb); }
void vDefaultFree(void* pv) { LocalFree(pv); }

N_AllocFunc gpfnAlloc = pvDefaultAlloc;
N_FreeFunc gpfnFree = vDefaultFree;

}  // namespace

void _NSetAllocFuncs(N_AllocFunc pfnAlloc, N_FreeFunc pfnFree) {
    gpfnAlloc = pfnAlloc != nullptr ? pfnAlloc : pvDefaultAlloc;
    gpfnFree = pfnFree != nullptr ? pfnFree : vDefaultFree;
}

void* _Nalloc(std::size_t cb) {
    void* pv = gpfnAlloc(cb);
    if (pv == nullptr) DbgPrint("_Nalloc: failed!\n");
    return pv;
}

void _Nfree(void* pv) {
    if (pv == nullptr) {
        DbgPrint("_Nfree: NULL ptr!\n");
        return;
    }
    gpfnFree(pv);
}
