// The cursor's RAMDAC register sequences: index low, index high, then data
// stores (the index steps by one after each).
#include "platform/mmio.h"
#include "pointer/pointer_internal.h"

namespace {

void vRamdacIndex(BYTE* pjRegs, ULONG ulIndex) {
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_INDEX_LO, ulIndex & 0xFFu);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_INDEX_HI, (ulIndex >> 8) & 0xFFu);
}

}  // namespace

void vRamdacCursorControl(BYTE* pjRegs, ULONG ulControl) {
    vRamdacIndex(pjRegs, RAMDAC_CURSOR_CONTROL);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, ulControl);
}

void vRamdacCursorPosition(BYTE* pjRegs, ULONG ulPosition) {
    vRamdacIndex(pjRegs, RAMDAC_CURSOR_POSITION);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, ulPosition);
}

void vRamdacCursorShape(BYTE* pjRegs, const CURSORCOLOURS& colours,
                        const BYTE ajImage[CURSOR_IMAGE_BYTES]) {
    vRamdacIndex(pjRegs, RAMDAC_CURSOR_COLOURS);
    for (ULONG ul : colours.aul) {
        VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, (ul >> 16) & 0xFFu);
        VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, (ul >> 8) & 0xFFu);
        VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, ul & 0xFFu);
    }
    vRamdacIndex(pjRegs, RAMDAC_CURSOR_IMAGE);
    for (ULONG i = 0; i < CURSOR_IMAGE_BYTES; ++i)
        VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, ajImage[i]);
}
