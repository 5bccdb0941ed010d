// The selection hit records: for each hit the lgi layer reports, the name
// count, the depth range and the names go into the context's select buffer;
// what does not fit sets the overflow flag.
#include "dispatch/dispatch.h"
#include "seams.h"


void __glXSelectHit(void* pvContext, const ULONG* pNames, ULONG cNames, ULONG zMin, ULONG zMax) {
    auto* gc = static_cast<GLContext*>(pvContext);
    gc->cHits += 1;
    const ULONG cWords = gc->pSelectBuffer != nullptr ? gc->cSelectBuffer : 0;
    ULONG i = gc->iSelectWrite < cWords ? gc->iSelectWrite : cWords;
    const ULONG cRoom = cWords - i;
    const ULONG aulHead[3] = {cNames, zMin, zMax};
    ULONG cStore = cNames;
    if (std::uint64_t{cNames} + 3 > cRoom) {
        gc->bSelectOverflow = 1;
        cStore = cRoom > 3 ? cRoom - 3 : 0;
    }
    for (ULONG k = 0; k < 3 && i < cWords; ++k) gc->pSelectBuffer[i++] = aulHead[k];
    for (ULONG k = 0; k < cStore; ++k) gc->pSelectBuffer[i++] = pNames[k];
    gc->iSelectWrite = i;
}
