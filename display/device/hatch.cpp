// The hatch brushes: six 8x8 monochrome surfaces the engine uses for the
// standard hatch styles.
#include "device/hatch.h"
#include "platform/engine.h"

const ULONG gaaulHatch[MAX_HATCHES][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

BOOL bEnableHatches(PDEV* ppdev, ULONG cPatterns) {
    ppdev->cPatterns = 0;
    for (ULONG i = 0; i < cPatterns && i < MAX_HATCHES; ++i) {
        // The engine only reads the bits of a hatch surface.
        HSURF hsurf = EngCreateBitmap(SIZEL{8, 8}, sizeof(ULONG), BMF_1BPP, BMF_TOPDOWN,
                                      const_cast<ULONG*>(gaaulHatch[i]));
        if (hsurf == nullptr) return FALSE;
        ppdev->ahsurfPat[i] = hsurf;
        ppdev->cPatterns = i + 1;
    }
    return TRUE;
}

void vDisableHatches(PDEV* ppdev) {
    for (ULONG i = 0; i < ppdev->cPatterns; ++i) {
        EngDeleteSurface(ppdev->ahsurfPat[i]);
        ppdev->ahsurfPat[i] = nullptr;
    }
    ppdev->cPatterns = 0;
}
