// Pixel formats and visuals: the table chosen for the board and mode, the
// visual of every format and layer, the describe hooks and the format count.
#include "pixfmt/pixfmt.h"

#include <algorithm>
#include <cstring>

#include "glpdev.h"
#include "seams.h"

const GLFormatTable* gpFormatTable = nullptr;
ULONG gcFormatsOffered = 0;

namespace {

// The board's page configuration of the device the table was chosen for.
PAGECONFIG* gpPageConfig = nullptr;
// The visuals: one array per layer; the records are the server's copies of
// the table's, patched to the board's alpha and stencil bits.
GLVisualLayer* gpVisualLayers = nullptr;
ULONG gcVisualLayers = 0;  // layers of gpVisualLayers (the table may be chosen again)
GLPixelFormat* gpFormatCopies = nullptr;

void vVisualFromRecord(GLVisual* pvis, GLPixelFormat* pf, ULONG iLayer, ULONG iFormat) {
    const PIXELFORMATDESCRIPTOR& d = pf->pfd;
    *pvis = GLVisual{};
    pvis->pFormat = pf;
    pvis->bRGBA = d.iPixelType == PFD_TYPE_RGBA;
    if (pvis->bRGBA) {
        pvis->cRedBits = d.cRedBits;
        pvis->cGreenBits = d.cGreenBits;
        pvis->cBlueBits = d.cBlueBits;
    }
    pvis->cAlphaBits = d.cAlphaBits;
    pvis->cAccumRedBits = d.cAccumRedBits;
    pvis->cAccumGreenBits = d.cAccumGreenBits;
    pvis->cAccumBlueBits = d.cAccumBlueBits;
    pvis->cAccumAlphaBits = d.cAccumAlphaBits;
    pvis->bDoubleBuffer = (d.dwFlags & PFD_DOUBLEBUFFER) != 0;
    pvis->bStereo = (d.dwFlags & PFD_STEREO) != 0 && gpPageConfig->fStereo != 0;
    pvis->cColorBits = d.cColorBits;
    pvis->cDepthBits = d.cDepthBits != 0 ? gpPageConfig->cDepthBits : 0;
    pvis->cStencilBits = d.cStencilBits;
    pvis->cAuxBuffers = d.cAuxBuffers;
    pvis->iLayer = iLayer;
    pvis->iFormat = iFormat;
}

}  // namespace

const GLFormatTable* pftSelect(ULONG ulDoubleBuffer, ULONG iDepthCode) {
    const ULONG iDepth = iDepthCode == 0 ? 0 : iDepthCode == 1 ? 1 : 2;
    return &gaFormatTables[(ulDoubleBuffer != 0 ? 0 : 3) + iDepth];
}

void __glChooseFormatTable(PDEV* ppdev) {
    gpFormatTable = pftSelect(pGLBoardConfig(ppdev)->doubleBuffer, ulGLPixelClass(ppdev));
    gpPageConfig = pGLPageConfig(ppdev);
    gcFormatsOffered = gpFormatTable->cFormatsOffered;
    if (gpPageConfig->fStereo != 0) gcFormatsOffered *= 2;
    __glInitBufferManager(ppdev);
}

ULONG glInitVisualConfigs(PDEV*) {
    glFreeVisualConfigs();
    const GLFormatTable* pt = gpFormatTable;
    if (pt == nullptr) return 11;
    const ULONG cRecords = pt->cLayers * pt->cFormatsPerLayer;
    gpVisualLayers = static_cast<GLVisualLayer*>(LocalAlloc(LPTR, pt->cLayers * sizeof(GLVisualLayer)));
    gpFormatCopies = static_cast<GLPixelFormat*>(LocalAlloc(LPTR, cRecords * sizeof(GLPixelFormat)));
    bool bFailed = gpVisualLayers == nullptr || gpFormatCopies == nullptr;
    if (!bFailed) gcVisualLayers = pt->cLayers;
    for (ULONG iLayer = 0; !bFailed && iLayer < pt->cLayers; ++iLayer) {
        auto* pvis = static_cast<GLVisual*>(LocalAlloc(LPTR, pt->cFormatsPerLayer * sizeof(GLVisual)));
        bFailed = pvis == nullptr;
        gpVisualLayers[iLayer] = {bFailed ? 0u : pt->cFormatsPerLayer, pvis};
    }
    if (bFailed) {
        __glXDebugPrint("GL error: %s : %s\n", "glInitVisualConfigs", "GLX_BAD_ALLOC");
        glFreeVisualConfigs();
        return 11;
    }
    std::memcpy(gpFormatCopies, pt->pFormats, cRecords * sizeof(GLPixelFormat));
    const ULONG cBoardAlpha = gpPageConfig->aulGLSizing[PAGECONFIG_GL_ALPHA_BITS];
    const ULONG cBoardStencil = gpPageConfig->aulGLSizing[PAGECONFIG_GL_STENCIL_BITS];
    for (ULONG iLayer = 0; iLayer < pt->cLayers; ++iLayer) {
        for (ULONG i = 0; i < pt->cFormatsPerLayer; ++i) {
            GLPixelFormat* pf = &gpFormatCopies[iLayer * pt->cFormatsPerLayer + i];
            if (pf->pfd.cAlphaBits != 0 && pf->pfd.cAlphaBits != cBoardAlpha)
                pf->pfd.cAlphaBits = static_cast<BYTE>(cBoardAlpha);
            if (pf->pfd.cStencilBits != cBoardStencil)
                pf->pfd.cStencilBits = static_cast<BYTE>(cBoardStencil);
            vVisualFromRecord(&gpVisualLayers[iLayer].pVisuals[i], pf, iLayer, i + 1);
        }
    }
    return 0;
}

void glFreeVisualConfigs(void) {
    for (ULONG iLayer = 0; iLayer < gcVisualLayers; ++iLayer) LocalFree(gpVisualLayers[iLayer].pVisuals);
    gcVisualLayers = 0;
    LocalFree(gpVisualLayers);
    LocalFree(gpFormatCopies);
    gpVisualLayers = nullptr;
    gpFormatCopies = nullptr;
}

GLVisual* pvisLookup(LONG iFormat, LONG iLayer) {
    if (iLayer < 0 || static_cast<ULONG>(iLayer) >= gcVisualLayers)
        return nullptr;
    const GLVisualLayer& l = gpVisualLayers[iLayer];
    if (iFormat < 1 || static_cast<ULONG>(iFormat) > l.cVisuals) return nullptr;
    return &l.pVisuals[iFormat - 1];
}

LONG glDrvDescribePixelFormat(DHPDEV, LONG iPixelFormat, ULONG cjpfd, PIXELFORMATDESCRIPTOR* ppfd) {
    const LONG cOffered = static_cast<LONG>(gcFormatsOffered);
    // Without visuals (the server did not start) nothing is offered.
    const GLVisual* pvis = gpVisualLayers != nullptr ? pvisLookup(iPixelFormat, 0) : nullptr;
    if (iPixelFormat < 1 || iPixelFormat > cOffered || pvis == nullptr) {
        __glXDebugPrint("glDrvDescribePixelFormat: format index invalid\n");
        return gpVisualLayers != nullptr ? cOffered : 0;
    }
    if (ppfd != nullptr) {
        PIXELFORMATDESCRIPTOR pfd = pvis->pFormat->pfd;
        const ULONG cDepth = gpPageConfig->cDepthBits == 24 ? 32 : gpPageConfig->cDepthBits;
        pfd.cDepthBits = pfd.cDepthBits != 0 ? static_cast<BYTE>(cDepth) : 0;
        std::memcpy(ppfd, &pfd, std::min<ULONG>(cjpfd, sizeof pfd));
    }
    return cOffered;
}

BOOL __glDrvDescribeLayerPlane(LONG iPixelFormat, LONG iLayer, ULONG cj, BYTE* pjOut) {
    // The layer is the client's word: only a layer of the table is read.
    const GLVisual* pvis = iPixelFormat >= 1 && iPixelFormat <= static_cast<LONG>(gcFormatsOffered)
                               ? pvisLookup(iPixelFormat, iLayer)
                               : nullptr;
    if (pvis == nullptr || pjOut == nullptr) {
        __glXDebugPrint("__glDrvDescribeLayerPlane: format index invalid\n");
        return FALSE;
    }
    std::memcpy(pjOut, &pvis->pFormat->pfd, std::min<ULONG>(cj, sizeof(LAYERPLANEDESCRIPTOR)));
    return TRUE;
}

BOOL __glSetFormatCount(USHORT cFormats) {
    if (cFormats < 1) {
        gcFormatsOffered = 0;
    } else {
        const ULONG cMax = gpFormatTable != nullptr ? gpFormatTable->cFormatsPerLayer : 0;
        gcFormatsOffered = std::min<ULONG>(cFormats, cMax);
    }
    return TRUE;
}
