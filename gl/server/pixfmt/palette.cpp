// The overlay layer's palette: kept in each drawable, loaded into the
// board's colour registers when the application realises it.
#include <cstring>

#include "pixfmt/drawable.h"
#include "glpdev.h"
#include "miniport_ioctl.h"
#include "pixfmt/pixfmt.h"
#include "platform/miniport.h"

namespace {

constexpr LONG kOverlayLayer = 1;
// The colour-register load: 256 registers from register 0.
constexpr ULONG kClutBytes = 1032;

// The drawable of the window and the entries its overlay palette has; null
// when the window has no drawable or its format no overlay.
GLDrawable* pdrawOverlay(WNDOBJ* pwo, LONG iLayer, LONG* pcEntries) {
    if (pwo == nullptr || iLayer != kOverlayLayer) return nullptr;
    GLDrawable* pdraw = pdrawFromWindow(pwo);
    if (pdraw == nullptr) return nullptr;
    const GLVisual* pvis = pvisLookup(pdraw->iPixelFormat, kOverlayLayer);
    if (pvis == nullptr) return nullptr;
    *pcEntries = (pvis->pFormat->pfd.dwFlags & PFD_DOUBLEBUFFER) != 0 ? 16 : 256;
    return pdraw;
}

// start and count are the client's words: both must lie inside the palette,
// without wrapping.
bool bInside(LONG iStart, LONG cEntries, LONG cPalette) {
    return iStart >= 0 && cEntries >= 0 && static_cast<long long>(iStart) + cEntries <= cPalette;
}

}  // namespace

ULONG __glGetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG cEntries,
                                 BYTE* pjEntries) {
    LONG cPalette = 0;
    GLDrawable* pdraw = pdrawOverlay(pwo, iLayer, &cPalette);
    if (pdraw == nullptr || !bInside(iStart, cEntries, cPalette)) return 0;
    std::memcpy(pjEntries, &pdraw->aulPalette[iStart], static_cast<size_t>(cEntries) * sizeof(ULONG));
    return static_cast<ULONG>(cEntries);
}

ULONG __glSetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG cEntries,
                                 const BYTE* pjEntries) {
    LONG cPalette = 0;
    GLDrawable* pdraw = pdrawOverlay(pwo, iLayer, &cPalette);
    if (pdraw == nullptr || !bInside(iStart, cEntries, cPalette)) return 0;
    std::memcpy(&pdraw->aulPalette[iStart], pjEntries, static_cast<size_t>(cEntries) * sizeof(ULONG));
    return static_cast<ULONG>(cEntries);
}

void vBuildOverlayLut(const ULONG* pulPalette, ULONG iBitmapFormat, VIDEO_CLUTDATA* plut) {
    auto entry = [](ULONG ul) {
        return VIDEO_CLUTDATA{static_cast<std::uint8_t>(ul), static_cast<std::uint8_t>(ul >> 8),
                              static_cast<std::uint8_t>(ul >> 16), 0};
    };
    for (ULONG i = 0; i < 256; ++i) {
        // At 16 bits a pixel the overlay is one bit deep: every register
        // shows entry 1. Otherwise the overlay index is the high nibble.
        const ULONG k = iBitmapFormat == BMF_16BPP ? 1 : i >> 4;
        plut[i] = k == 0 ? VIDEO_CLUTDATA{0, 0, 0, 0} : entry(pulPalette[k]);
    }
}

ULONG __glRealizeLayerPalette(WNDOBJ* pwo, LONG iLayer, BOOL bRealize) {
    if (pwo == nullptr || iLayer != kOverlayLayer) return 0;
    if (!bRealize) return 1;
    GLDrawable* pdraw = pdrawFromWindow(pwo);
    if (pdraw == nullptr) return 0;
    alignas(4) BYTE aj[kClutBytes] = {};
    auto* pclut = reinterpret_cast<VIDEO_CLUT*>(aj);
    pclut->NumEntries = 256;
    pclut->FirstEntry = 0;
    vBuildOverlayLut(pdraw->aulPalette, ulGLBitmapFormat(pdraw->ppdev),
                     reinterpret_cast<VIDEO_CLUTDATA*>(aj + VIDEO_CLUT_HEADER_SIZE));
    DWORD cbReturned = 0;
    return EngDeviceIoControl(hGLDriver(pdraw->ppdev), IOCTL_VIDEO_SET_COLOR_REGISTERS, aj,
                              sizeof aj, nullptr, 0, &cbReturned) == ERROR_SUCCESS
               ? 1
               : 0;
}
