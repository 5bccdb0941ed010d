// The vertical-blank wait: drains the queues and, when the board
// configuration asks swaps to wait for the retrace, waits for the next
// vertical retrace of the first screen's RAMDAC.
//
// The RAMDAC takes a value written to its registers 0x33 and 0x34 only at
// the next retrace, so reading 0x33 back equal to what was written marks the
// retrace. To make every wait need a fresh retrace the value alternates: it
// is the pointer's last y less its hot-spot y (read as a signed 16-bit
// word) plus a toggle t' that flips at every wait and is also written to
// register 0x36. The toggle lives in the low byte of the pointer state's
// originY (the pointer reset sets it to 0).
#include "queue/queue_internal.h"

namespace {

constexpr ULONG kRamdacRetraceLow = 0x33;  // with 0x34: taken at the retrace
constexpr ULONG kRamdacToggle = 0x36;

void vRamdacIndex(BYTE* pjRegs, ULONG ulIndex) {
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_INDEX_LO, ulIndex & 0xFF);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_INDEX_HI, (ulIndex >> 8) & 0xFF);
}

}  // namespace

extern "C" void kz2VBLANKWait(KZ2QUEUEMGT qm) {
    if (qm == nullptr) return;
    kz2FlushQueue(qm, 0xFFFFFFFFu, nullptr, nullptr);
    PDEV* ppdev = ppdevOf(qm);
    if (ppdev->bc.syncSwapToVBlank == 0) return;

    EnterCriticalSection(&ppdev->csRamdac);
    POINTERSTATE& ptr = ppdev->ptr;
    ptr.originY = static_cast<SHORT>(static_cast<USHORT>(ptr.originY) ^ 1u);
    const ULONG ulToggle = static_cast<USHORT>(ptr.originY) & 0xFFu;
    const ULONG ulValue =
        static_cast<USHORT>(ptr.lastY - static_cast<SHORT>(ptr.yHot) + static_cast<LONG>(ulToggle));

    BYTE* pjRegs = qm->pRegs;
    vRamdacIndex(pjRegs, kRamdacRetraceLow);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, ulValue & 0xFF);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, ulValue >> 8);
    vRamdacIndex(pjRegs, kRamdacRetraceLow);
    bPollBoard(qm, "kz2VBLANKWait", "kz2VBLANKWait", [pjRegs, ulValue] {
        return (VnxRegRead(pjRegs, VNX_REG_RAMDAC_DATA) & 0xFF) == (ulValue & 0xFF);
    });
    vRamdacIndex(pjRegs, kRamdacToggle);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, ulToggle);
    LeaveCriticalSection(&ppdev->csRamdac);
}
