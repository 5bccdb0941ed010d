// The request names used in error reports: the GLX and single requests by
// their GLX opcode, the render requests by their render opcode. The tables
// are kept in the order they were written and sorted in place once, at
// start-up (and by whichever thread asks first if a name is wanted before
// start-up); after that they are only read, so lookups from any thread are
// safe.
#include <cstdio>
#include <mutex>

#include "dispatch/dispatch.h"

namespace {

struct __GLXnameEntry {
    ULONG key;
    const char* name;
};

// Both tables from the request description, in its order.
__GLXnameEntry gGLXNames[] = {
#define GLX_REQUEST(name, opcode) {opcode, "X_GLX" #name},
#define GLX_SINGLE_REQUEST(name, opcode) {opcode, "X_GLsop_" #name},
#include "glrequests.def"
};

__GLXnameEntry gRenderNames[] = {
#define GLX_RENDER_REQUEST(name, opcode, ...) {opcode, "X_GLrop_" #name},
#define GLX_RENDER_PRIVATE(name, opcode, ...) {opcode, "X_GLrop_" #name},
#include "glrequests.def"
};

struct __GLXnameTable {
    __GLXnameEntry* entries;
    ULONG count;
};

__GLXnameTable gGLXTable = {gGLXNames, sizeof gGLXNames / sizeof gGLXNames[0]};
__GLXnameTable gRenderTable = {gRenderNames, sizeof gRenderNames / sizeof gRenderNames[0]};
std::once_flag gSorted;

// Moves entry i down the heap of n entries until both children are smaller.
void vSiftDown(__GLXnameEntry* pe, ULONG i, ULONG n) {
    for (;;) {
        ULONG iLargest = i;
        const ULONG iLeft = 2 * i + 1;
        const ULONG iRight = iLeft + 1;
        if (iLeft < n && pe[iLeft].key > pe[iLargest].key) iLargest = iLeft;
        if (iRight < n && pe[iRight].key > pe[iLargest].key) iLargest = iRight;
        if (iLargest == i) return;
        const __GLXnameEntry e = pe[i];
        pe[i] = pe[iLargest];
        pe[iLargest] = e;
        i = iLargest;
    }
}

// Heap sort by key.
void __glXSortNameTable(__GLXnameTable* pt) {
    __GLXnameEntry* pe = pt->entries;
    const ULONG n = pt->count;
    for (ULONG i = n / 2; i-- > 0;) vSiftDown(pe, i, n);
    for (ULONG iEnd = n; iEnd-- > 1;) {
        const __GLXnameEntry e = pe[0];
        pe[0] = pe[iEnd];
        pe[iEnd] = e;
        vSiftDown(pe, 0, iEnd);
    }
}

// Binary search of a sorted table; "Key Unknown <key>" when absent, in a
// buffer of the calling thread.
const char* __glXLookupName(const __GLXnameTable* pt, ULONG key) {
    LONG lLow = 0;
    LONG lHigh = static_cast<LONG>(pt->count) - 1;
    while (lLow <= lHigh) {
        const LONG lMiddle = (lLow + lHigh) / 2;
        const ULONG k = pt->entries[lMiddle].key;
        if (k == key) return pt->entries[lMiddle].name;
        if (k < key) {
            lLow = lMiddle + 1;
        } else {
            lHigh = lMiddle - 1;
        }
    }
    thread_local char achUnknown[32];
    std::snprintf(achUnknown, sizeof achUnknown, "Key Unknown %d", static_cast<int>(key));
    return achUnknown;
}

}  // namespace

void __glXSortNameTables(void) {
    std::call_once(gSorted, [] {
        __glXSortNameTable(&gGLXTable);
        __glXSortNameTable(&gRenderTable);
    });
}

const char* __glXRenderRequestName(ULONG opcode) {
    __glXSortNameTables();
    return __glXLookupName(&gRenderTable, opcode);
}

const char* __glXSingleRequestName(ULONG opcode) {
    __glXSortNameTables();
    return __glXLookupName(&gGLXTable, opcode);
}
