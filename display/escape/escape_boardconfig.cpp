// Escape ESC_BOARDCONFIG: the control-panel applet and the OpenGL client
// driver read and write the board configuration that the miniport keeps.
//
// The device's own copy (PDEV.bc) is what the running driver works with; it
// is read from the miniport when the device is enabled. A write goes to the
// miniport only and takes effect at the next surface enable, so a running
// driver never sees half-applied settings, and a write the miniport refuses
// leaves nothing behind. A read answers the miniport's record (with what
// was last written) and the fields the driver knows of the running device.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "escape/escape.h"
#include "platform/miniport.h"
#include "platform/mmio.h"

namespace {

const char kszDriverVersion[] = "2.94";

// Board memory every queue takes besides the buffers.
constexpr std::uint64_t kcjPerQueue = 0x30000;

std::uint64_t ullRoundUp(ULONG ul, ULONG ulUnit) {
    if (ulUnit == 0) return ul;
    return (std::uint64_t{ul} + ulUnit - 1) / ulUnit * ulUnit;
}

// A page multiplier (1 before the page table is read).
ULONG ulMul(LONG l) { return l > 1 ? static_cast<ULONG>(l) : 1u; }

// Bytes of a screen-sized buffer placed in pages of the given configuration
// (the board's page multipliers included, as the pages are).
std::uint64_t cjScreenBuffer(const PDEV* ppdev, const PAGECONFIG* ppc, ULONG cjPixel) {
    return ullRoundUp(static_cast<ULONG>(ppdev->cxScreen), ppc->cxPage * ulMul(ppdev->cxPageMul)) *
           ullRoundUp(static_cast<ULONG>(ppdev->cyScreen), ppc->cyPage * ulMul(ppdev->cyPageMul)) *
           cjPixel;
}

// The configuration the depth buffer is placed in: the 16-bpp row of the
// active memory class for 16 depth bits, its 32-bpp row otherwise.
const PAGECONFIG* ppcDepth(const PAGECONFIG* ppc) {
    for (ULONG i = 0; i < PAGECONFIG_ROWS; ++i) {
        if (&gaPageConfig[i] == ppc)
            return &gaPageConfig[(i / 3) * 3 + (ppc->cDepthBits == 16 ? 1 : 2)];
    }
    return ppc;
}

// Board memory of the device: total and in use, in KB. Needs an enabled
// surface (page configuration and queues).
void vFillMemory(const PDEV* ppdev, BoardConfig* pbc) {
    const PAGECONFIG* ppc = ppdev->pPageConfig;
    const ULONG cjPixel = ppc->cBitsPerPixel / 8;
    const std::uint64_t cQueues = ppdev->layout.cQueues;
    // A page is the configuration's page times the board's multipliers, as
    // the 3D buffer sizing and the miniport count it.
    const std::uint64_t cjPage = std::uint64_t{ppc->cPagePixels} * cjPixel *
                                 ulMul(ppdev->cxPageMul) * ulMul(ppdev->cyPageMul);
    const std::uint64_t cjTotal =
        cjPage * VNX_PAGE_SLOTS * cQueues / std::max<ULONG>(ppdev->layout.cScreens, 1);

    std::uint64_t cjPrimary = cjScreenBuffer(ppdev, ppc, cjPixel);
    if (ppdev->bc.doubleBuffer) cjPrimary *= 2;
    std::uint64_t cjDepth = 0;
    if (ppc->cDepthBits != 0)
        cjDepth = cjScreenBuffer(ppdev, ppcDepth(ppc), ppc->cDepthBits == 16 ? 2 : 4);
    const std::uint64_t cjUsed = cQueues * kcjPerQueue + cjDepth + cjPrimary;

    pbc->totalMemoryKB = static_cast<std::uint32_t>(cjTotal / 1024);
    pbc->usedMemoryKB = static_cast<std::uint32_t>(
        cjUsed / 1024 < pbc->totalMemoryKB ? cjUsed / 1024 : pbc->totalMemoryKB);
}

BOOL bReadBoardConfig(PDEV* ppdev, BoardConfig* pbc) {
    DWORD cb = 0;
    if (EngDeviceIoControl(ppdev->hDriver, IOCTL_VNX_READ_BOARDCONFIG, nullptr, 0, pbc,
                           sizeof(BoardConfig), &cb) != ERROR_SUCCESS)
        return FALSE;

    const PAGECONFIG* ppc = ppdev->pPageConfig;
    if (ppc == nullptr || !ppc->fStereo) pbc->flags &= ~BCF_STEREO;
    if (!(pbc->flags & BCF_STEREO)) {
        pbc->stereoAdjust = 0.0f;
        pbc->stereoOffset = 0.0f;
        pbc->stereoTranslate = 0.0f;
        pbc->flags &= ~BCF_STEREO_VALID;
    }

    for (ULONG i = 0; i < BOARDCONFIG_VERSION_CHARS; ++i)
        pbc->driverVersion[i] = i < sizeof kszDriverVersion ? kszDriverVersion[i] : 0;

    pbc->screenWidth = static_cast<std::uint32_t>(ppdev->cxScreen);
    pbc->screenHeight = static_cast<std::uint32_t>(ppdev->cyScreen);
    pbc->bitsPerPixel = 8u << ppdev->iPixelClass;
    pbc->currentZDepth = ppc != nullptr ? ppc->cDepthBits : 0;

    // The board and memory fields come from the queue set-up of an enabled
    // surface; before it the miniport's answer stands.
    const ULONG cBoards = ppdev->DmaDescription.ulBoards;
    if (ppc != nullptr && cBoards != 0 && ppdev->layout.cScreens != 0) {
        pbc->boardCount = cBoards;
        pbc->rasterizers = ppdev->layout.cQueues / cBoards;
        if (ppdev->jDmaStatus == 0) pbc->flags |= BCF_HW_OPTION;
        else pbc->flags &= ~BCF_HW_OPTION;
        vFillMemory(ppdev, pbc);
    }
    return TRUE;
}

}  // namespace

ULONG ulBoardConfigEscape(PDEV* ppdev, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    // A short buffer is refused: answering success would hand the caller an
    // output that was never written.
    if (cjIn < sizeof(BoardConfig) || cjOut < sizeof(BoardConfig) || pvIn == nullptr ||
        pvOut == nullptr)
        return 0;
    BoardConfig bc;
    std::memcpy(&bc, pvIn, sizeof bc);

    DWORD cb = 0;
    if (bc.op == BOARDCONFIG_WRITE) {
        // The miniport keeps it for the next surface enable; the running
        // device's copy stays as it is, so a refused write changes nothing.
        return EngDeviceIoControl(ppdev->hDriver, IOCTL_VNX_WRITE_BOARDCONFIG, &bc, sizeof bc,
                                  nullptr, 0, &cb) == ERROR_SUCCESS
                   ? 1
                   : 0;
    }
    if (!bReadBoardConfig(ppdev, &bc)) return 0;
    std::memcpy(pvOut, &bc, sizeof bc);
    return 1;
}
