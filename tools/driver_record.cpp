// The one place where vnxsim reads the display driver's device record
// (display/pdev.h). The engine knows the screen's format, size and palette
// but not what only the driver knows: where it placed each buffer in board
// memory (the layout report and the read-back of the screen need the
// primary's pid and origin), and the queue manager and lock that the
// exported queue drain takes. The tool reads these fields of the record the
// engine hands back as dhpdev, and calls the driver only through its
// exports; it links no copy of the driver.
#include "driver_record.h"

#include <cstdio>

#include "pdev.h"

namespace {

const PDEV* pdev_of(vnx::engine::Device& device) {
    return reinterpret_cast<const PDEV*>(device.dhpdev());
}

// One line of the layout: a buffer, its page block and origin, its pid.
void print_buffer(const char* name, const SURFOBJ* pso) {
    if (pso == nullptr) return;
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
    const DFB* pdfb = pdsurf != nullptr ? pdsurf->pdfb : nullptr;
    if (pdfb == nullptr) return;
    char where[48];
    if (pdfb->ppb == nullptr) std::snprintf(where, sizeof where, "in the back buffer");
    else
        std::snprintf(where, sizeof where, "page block %u",
                      static_cast<unsigned>(pdfb->pid & 0x1F));
    std::printf("  %-12s %5ldx%-5ld at (%4ld,%4ld) %-19s pid 0x%04x\n", name,
                static_cast<long>(pdfb->cx), static_cast<long>(pdfb->cy),
                static_cast<long>(pdfb->x), static_cast<long>(pdfb->y), where,
                static_cast<unsigned>(pdfb->pid));
}

}  // namespace

// Where the driver placed each buffer, and the page slots they hold.
void report_layout(vnx::engine::Device& device) {
    const PDEV* ppdev = pdev_of(device);
    const PAGECONFIG* ppc = ppdev->pPageConfig;
    std::printf("surface: %ldx%ld for the engine; %lu rasterizer queue(s)%s\n",
                static_cast<long>(ppdev->cxSurface), static_cast<long>(ppdev->cySurface),
                static_cast<unsigned long>(ppdev->layout.cQueues),
                ppdev->layout.bSplitScreen ? ", two screens side by side" : "");
    std::printf(
        "board memory: pages of %ux%u pixels at this depth (memory class %u, "
        "multipliers x%ld, y%ld)\n",
        static_cast<unsigned>(ppc->cxPage * ppdev->cxPageMul),
        static_cast<unsigned>(ppc->cyPage * ppdev->cyPageMul),
        static_cast<unsigned>(ppdev->ulMemoryClass), static_cast<long>(ppdev->cxPageMul),
        static_cast<long>(ppdev->cyPageMul));
    if (ppdev->hsurfZ != nullptr)
        std::printf("3D: on (%u-bit depth buffer%s)\n", static_cast<unsigned>(ppc->cDepthBits),
                    ppdev->hsurfBack != nullptr ? ", back buffer" : "");
    else std::printf("3D: off\n");

    // The primary's record is the driver's; the others are locked surfaces.
    SURFOBJ soPrimary{};
    soPrimary.dhsurf = reinterpret_cast<DHSURF>(ppdev->pdsurfScreen);
    print_buffer("primary", &soPrimary);
    print_buffer("back", ppdev->psoBack);
    print_buffer("depth", ppdev->psoZ);
    print_buffer("pattern", ppdev->psoPattern);
    print_buffer("dither", ppdev->psoDither);
    print_buffer("scratch", ppdev->psoTmp);
    print_buffer("scratch 24", ppdev->psoTmp24);
    print_buffer("alternate", ppdev->psoAlt);

    unsigned perBlock[PAGE_BLOCKS] = {};
    for (const PAGESLOT& slot : ppdev->aaSlot[0])
        if (slot.ppb != nullptr && slot.ppb->id < PAGE_BLOCKS) ++perBlock[slot.ppb->id];
    std::printf("page slots: %u of %u in use",
                static_cast<unsigned>(PAGE_SLOTS - ppdev->cFreeSlots),
                static_cast<unsigned>(PAGE_SLOTS));
    for (unsigned b = 0; b < PAGE_BLOCKS; ++b)
        if (perBlock[b] != 0) std::printf(", block %u: %u", b, perBlock[b]);
    std::printf("\n");
}

bool screen_place(vnx::engine::Device& device, ScreenPlace* place) {
    const PDEV* ppdev = pdev_of(device);
    const DFB* pdfb =
        ppdev != nullptr && ppdev->pdsurfScreen != nullptr ? ppdev->pdsurfScreen->pdfb : nullptr;
    if (pdfb == nullptr) return false;
    *place = ScreenPlace{static_cast<std::uint16_t>(pdfb->pid), static_cast<long>(pdfb->x),
                         static_cast<long>(pdfb->y), static_cast<long>(ppdev->cxScreen),
                         static_cast<long>(ppdev->cyScreen)};
    return true;
}

void drain_queues(vnx::engine::Device& device) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(device.dhpdev());
    HMODULE hmod = LoadLibraryA("vornix.dll");
    using PFN_FLUSHQUEUE = void (*)(KZ2QUEUEMGT, ULONG, ULONG**, ULONG*);
    auto pfn = reinterpret_cast<PFN_FLUSHQUEUE>(GetProcAddress(hmod, "kz2FlushQueue"));
    if (pfn != nullptr && ppdev != nullptr && ppdev->pqm != nullptr) {
        EnterCriticalSection(&ppdev->csEscape);
        pfn(ppdev->pqm, 0xFFFFFFFFu, nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
    }
    if (hmod != nullptr) FreeLibrary(hmod);
}
