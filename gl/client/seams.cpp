// The client driver's parts that are not built yet: each says so on the
// debugger and answers failure or does nothing.
#include "clt.h"

namespace {

void vNotAvailable(const char* pszName) { DbgPrint("%s: not available yet\n", pszName); }

}  // namespace

ULONG UnpackImage(ClientContext*, ULONG, ULONG, ULONG, ULONG, const void*, BYTE*) {
    vNotAvailable(__func__);
    return 0;
}
