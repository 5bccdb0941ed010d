// The hardware cursor's state.
#include "pointer/pointer.h"

void vResetPointer(PDEV* ppdev) {
    POINTERSTATE& ptr = ppdev->ptr;
    ptr.originX = 0;
    ptr.originY = 0;
    ptr.lastX = -1;
    ptr.lastY = -1;
    ptr.pjRegs = ppdev->apRegs[0];
}
