// The lgi layer's parts that are not built yet: each says so on the
// debugger and answers failure or does nothing.
#include "seams.h"

namespace {

void vNotAvailable(const char* pszName) { DbgPrint("%s: not available yet\n", pszName); }

}  // namespace

ULONG _NSurfaceNeedsRects(const GLBuffer*) {
    vNotAvailable(__func__);
    return 0;
}


// A selector not built yet: no hardware path.
#define N_SELECTOR_SEAM(name)                                                  \
    N_StageFn name(N_Context*, N_Pipe* pipe) {                                 \
        vNotAvailable(__func__);                                               \
        if (pipe->pCommonPipeData->pDispatch != nullptr) pipe->pCommonPipeData->pDispatch->status = -7; \
        return nullptr;                                                        \
    }





