// Pinning a display list's primitive batches for the board: the miniport
// keeps each batch's storage in place while the list holds it and answers
// a 12-byte item, which releasing the batch hands back. A device pins at
// most GLX_LIST_PINNED_MAX batches at once; a batch the miniport does not
// pin stays in its list unpinned, and the list still works.
//
// Each list keeps the items of its own batches, so freeing a list releases
// only its batches. The batch is named to the miniport by a 32-bit handle
// of its own (not its address).
#include <atomic>
#include <cstring>

#include "list/list.h"
#include "glpdev.h"
#include "lgi/lgi.h"
#include "miniport_ioctl.h"
#include "platform/miniport.h"

namespace {

std::atomic<ULONG> gcPinned{0};
std::atomic<ULONG> gulNextHandle{1};

HANDLE hMiniport() {
    const GLSRVDEVICE* pDevice = __glDeviceRecord();
    return pDevice != nullptr && pDevice->ppdev != nullptr ? hGLDriver(pDevice->ppdev) : nullptr;
}

}  // namespace

ULONG __glXPinnedCount(void) { return gcPinned.load(); }

BOOL __glXPinBatch(__GLXlistBatch* pb) {
    const HANDLE h = hMiniport();
    if (h == nullptr || gcPinned.load() >= GLX_LIST_PINNED_MAX) return FALSE;
    ULONG ulHandle = gulNextHandle.fetch_add(1);
    if (ulHandle == 0) ulHandle = gulNextHandle.fetch_add(1);
    VNX_DL_BATCH in{ulHandle, pb->pBatch->cjUsed};
    VNX_DL_PIN_ITEM item{};
    DWORD cjReturned = 0;
    if (EngDeviceIoControl(h, IOCTL_VNX_PIN_DL_BATCH, &in, sizeof in, &item, sizeof item, &cjReturned) != 0)
        return FALSE;
    static_assert(sizeof item == sizeof pb->aulItem);
    std::memcpy(pb->aulItem, &item, sizeof item);
    pb->bPinned = 1;
    gcPinned.fetch_add(1);
    return TRUE;
}

void __glXReleasePinned(GLClient*, __GLXlistHead* pHead) {
    if (pHead == nullptr) return;
    const HANDLE h = hMiniport();
    for (ULONG i = pHead->cBatches; i-- > 0;) {
        __GLXlistBatch& b = pHead->pBatches[i];
        if (!b.bPinned) continue;
        DWORD cjReturned = 0;
        if (h != nullptr) EngDeviceIoControl(h, IOCTL_VNX_UNPIN_DL_BATCH, b.aulItem, sizeof b.aulItem, nullptr, 0, &cjReturned);
        b.bPinned = 0;
        gcPinned.fetch_sub(1);
    }
}
