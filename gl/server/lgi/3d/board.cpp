// What the lgi layer reads of the display driver's device record: the
// board configuration's flags and precision word, and the drawing area's
// height, through the fields table the driver exports.
#include "glpdev.h"
#include "../seams.h"

namespace {

PDEV* ppdevOf(GLSRVDEVICE* pDevice) { return pDevice != nullptr ? pDevice->ppdev : nullptr; }

}  // namespace

ULONG _NBoardFlags(GLSRVDEVICE* pDevice) {
    PDEV* ppdev = ppdevOf(pDevice);
    return ppdev != nullptr ? pGLBoardConfig(ppdev)->flags : 0;
}

ULONG _NModelImprecision(GLSRVDEVICE* pDevice) {
    PDEV* ppdev = ppdevOf(pDevice);
    return ppdev != nullptr ? pGLBoardConfig(ppdev)->modelImprecision : 0;
}

LONG _NSurfaceHeight(GLSRVDEVICE* pDevice) {
    PDEV* ppdev = ppdevOf(pDevice);
    return ppdev != nullptr ? lGLSurfaceHeight(ppdev) : 0;
}

ULONG _NDepthBits(GLSRVDEVICE* pDevice) {
    PDEV* ppdev = ppdevOf(pDevice);
    const PAGECONFIG* pcfg = ppdev != nullptr ? pGLPageConfig(ppdev) : nullptr;
    return pcfg != nullptr ? pcfg->cDepthBits : 0;
}
