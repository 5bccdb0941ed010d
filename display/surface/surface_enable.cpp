// DrvEnableSurface: the board configuration, the mode, the packet queues and
// the flush thread, the placement of the primary, back and depth buffers and
// of the dither, scratch and alternate tiles in board memory, the primary
// surface given to the engine, and the screen clear. A failure releases
// whatever was made (bReleaseSurface) and answers 0.
#include "batch/batch.h"
#include "device/entry.h"
#include "device/modes.h"
#include "device/palette.h"
#include "fill/fill.h"
#include "platform/engine.h"
#include "platform/miniport.h"
#include "pointer/pointer.h"
#include "queue/queue.h"
#include "surface/surface.h"

namespace {

constexpr SIZE_T kcbScratch = 8192;
constexpr LONG kcTile = 128;           // dither, scratch and alternate buffers are 128 x 128
constexpr ULONG kStereoBit = 0x1u;     // of the tile-ownership word
constexpr LONG kcxSplitScreen = 1024;  // split boards join their screens at this width

// The board configuration from the miniport into the device.
BOOL bReadBoardConfig(PDEV* ppdev) {
    DWORD cb = 0;
    return EngDeviceIoControl(ppdev->hDriver, IOCTL_VNX_READ_BOARDCONFIG, nullptr, 0, &ppdev->bc,
                              sizeof(BoardConfig), &cb) == ERROR_SUCCESS;
}

// The 3D buffer bits and texture options the board configuration asks for.
void vTextureOptions(PDEV* ppdev) {
    const BoardConfig& bc = ppdev->bc;
    BYTE j = 0;
    if (bc.offscreenBitmaps != 0) j |= FRAME_OFFSCREEN_BITMAPS;
    if (bc.stencilBuffer != 0) j |= FRAME_STENCIL;
    if (bc.alphaBuffer != 0) j |= FRAME_ALPHA;
    if (bc.doubleBuffer != 0) j |= FRAME_DOUBLE_BUFFER;
    ppdev->fFrameKind = j;
    ppdev->fMipmap = (bc.flags & BCF_MIPMAP) != 0 ? 1 : 0;
    ppdev->ulTextureMode = bc.textureMode;
    ppdev->fTexture16 =
        bc.textureMode == TEXMODE_MEMORY && ppdev->iBitmapFormat == BMF_16BPP && !ppdev->fMipmap;
}

// Whether the environment variable exists (an empty value counts).
BOOL bEnvironmentSet(const char* pszName) {
    char ch = 0;
    SetLastError(ERROR_SUCCESS);
    const DWORD cch = GetEnvironmentVariableA(pszName, &ch, 1);
    return cch != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

// The pid of a board surface the driver made.
ULONG pidOf(const SURFOBJ* pso) {
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
    return pdsurf != nullptr && pdsurf->pdfb != nullptr ? pdsurf->pdfb->pid : 0;
}

// Keeps a surface just made, locked, in the two fields; a surface that
// cannot be locked is deleted again. FALSE when there is none to keep.
BOOL bKeepLocked(HSURF hsurf, HSURF* phsurf, SURFOBJ** ppso) {
    if (hsurf == nullptr) return FALSE;
    SURFOBJ* pso = EngLockSurface(hsurf);
    if (pso == nullptr) {
        SURFOBJ* psoNone = nullptr;
        vDeleteBoardSurface(&hsurf, &psoNone);
        return FALSE;
    }
    *phsurf = hsurf;
    *ppso = pso;
    return TRUE;
}

// The pid pixel format of the screen.
ULONG ulScreenPidFormat(const PDEV* ppdev) {
    const BOOL bIndexed = ppdev->ulColourModel == COLOUR_MODEL_INDEXED;
    if (ppdev->iBitmapFormat == BMF_32BPP) return PID_FORMAT_32;
    if (ppdev->iBitmapFormat == BMF_16BPP) return bIndexed ? PID_FORMAT_16_INDEXED : PID_FORMAT_16;
    return bIndexed ? PID_FORMAT_8_INDEXED : PID_FORMAT_8;
}

// Width of the surface the engine draws on: on a split board of screens 1024
// pixels wide the joined screens (the last column is not addressable), else
// the screen.
LONG cxPrimarySurface(const PDEV* ppdev) {
    if (ppdev->layout.bSplitScreen && ppdev->cxScreen == kcxSplitScreen)
        return static_cast<LONG>(ppdev->layout.cScreens) * kcxSplitScreen - 1;
    return ppdev->cxScreen;
}

// The primary's record and its board memory at (0, 0) of page block 0. The
// record covers the whole surface, so on a split board transfers and copies
// reach the second screen too.
BOOL bPlacePrimary(PDEV* ppdev, BOOL bStereo) {
    DSURF* pdsurf = static_cast<DSURF*>(LocalAlloc(LPTR, sizeof(DSURF)));
    if (pdsurf == nullptr) return FALSE;
    pdsurf->ulSignature = DSURF_SIGNATURE;
    pdsurf->jPrimary = DSURF_PRIMARY;
    pdsurf->ppdev = ppdev;
    pdsurf->cx = cxPrimarySurface(ppdev);
    pdsurf->cy = ppdev->cyScreen;
    pdsurf->pjRegs = ppdev->pjRegs;
    ppdev->pdsurfScreen = pdsurf;

    LONG cx = 0, cy = 0;
    vPrimaryExtent(ppdev, bStereo, &cx, &cy);
    const POINTL ptlOrigin{0, 0};
    DFB* pdfb = pdfbAllocPlaced(ppdev, cx, cy, ppdev->iBitmapFormat, &ptlOrigin, FL_PRIMARY);
    if (pdfb == nullptr) return FALSE;
    pdfb->pdsurf = pdsurf;
    pdsurf->pdfb = pdfb;
    DfbAssignFormat(pdsurf, ulScreenPidFormat(ppdev));
    ppdev->pidScreen = pdfb->pid;
    return TRUE;
}

// Switches on the two optional units of every rasterizer.
void vEnableUnits(PDEV* ppdev) {
    for (ULONG i = 0; i < ppdev->layout.cQueues; ++i) {
        BYTE* pjRegs = ppdev->apRegs[i];
        const ULONG ul = VnxRegRead(pjRegs, VNX_REG_CONFIG) & ~VNX_CONFIG_BUSY;
        VnxRegWrite(pjRegs, VNX_REG_CONFIG, ul | VNX_CONFIG_UNITS);
    }
}

// The page configuration of the mode, with nothing of the 3D side yet.
void vStartPageConfig(PDEV* ppdev, BOOL bStereo) {
    ppdev->hsurfBack = nullptr;
    ppdev->psoBack = nullptr;
    ppdev->pidBack = 0;
    ppdev->hsurfZ = nullptr;
    ppdev->psoZ = nullptr;
    ppdev->pidZ = 0;
    ppdev->hsurfStencil = ppdev->hsurfAlpha = nullptr;
    ppdev->psoStencil = ppdev->psoAlpha = nullptr;
    ppdev->pidStencil = ppdev->pidAlpha = 0;
    ppdev->cGLOverlayContexts = 0;
    ppdev->StereoCache = STEREOCACHE{};

    PAGECONFIG* ppc = &gaPageConfig[ppdev->ulMemoryClass * 3 + ppdev->iPixelClass];
    ppdev->pPageConfig = ppc;
    ppc->cDepthBits = 0;
    for (ULONG& ul : ppc->aulGLSizing) ul = 0;
    ppc->fAltBuffer = 0;
    ppc->fStereo = bStereo ? 1 : 0;
    if (!bStereo) ppdev->bc.flags &= ~BCF_STEREO;
}

// Makes a surface the set-up cannot go without (pfnMake answers it or 0).
// The pattern surface is made before them, so that at 32 bpp the tiles
// share its page; one that finds no room takes the pattern surface's place:
// without the pattern surface colour pattern fills go to the engine,
// without these the surface fails.
template <typename Make>
HSURF hsurfOrDropPattern(PDEV* ppdev, Make pfnMake) {
    HSURF hsurf = pfnMake();
    if (hsurf != nullptr || ppdev->psoPattern == nullptr) return hsurf;
    vDeletePatternSurface(ppdev);
    return pfnMake();
}

// A 128x128 tile of the set-up.
HSURF hsurfSetUpTile(PDEV* ppdev, FLONG fl) {
    return hsurfOrDropPattern(ppdev,
                              [&] { return CreateIGBETile(ppdev, kcTile, PID_FORMAT_32, fl); });
}

// The dither tile and its matrix. FALSE: the surface fails.
BOOL bMakeDitherTile(PDEV* ppdev, FLONG flAlias) {
    HSURF hsurf = hsurfSetUpTile(ppdev, FL_TILE | flAlias);
    if (hsurf == nullptr) {
        DbgPrint(SURFACE_MESSAGE_PREFIX "Failed to create dither matrix\n");
        return FALSE;
    }
    if (!bKeepLocked(hsurf, &ppdev->hsurfDither, &ppdev->psoDither)) {
        DbgPrint(SURFACE_MESSAGE_PREFIX "Failed to lock dither surf\n");
        return FALSE;
    }
    ppdev->pdsurfDither = reinterpret_cast<DSURF*>(ppdev->psoDither->dhsurf);
    ppdev->pidDither = pidOf(ppdev->psoDither);
    LoadDitherMat(ppdev);
    return TRUE;
}

// The 3D buffers: the depth buffer, the back buffer, their pages mapped
// with the primary's. Anything short of memory turns 3D off and the set-up
// goes on. *pbRan says whether the buffers were attempted at all, *pbDither
// whether 3D stays and wants its dither tile. FALSE: the surface fails.
BOOL bSetUp3d(PDEV* ppdev, BOOL bStereo, BOOL* pbRan, BOOL* pbDither) {
    *pbRan = FALSE;
    *pbDither = FALSE;
    PAGECONFIG* ppc = ppdev->pPageConfig;
    if (ppdev->f3DEnable == 0) {
        vTurn3dOff(ppdev);
        return TRUE;
    }
    const char* pszOff = nullptr;
    if (ppdev->bc.installState == BOARDCONFIG_3D_NOT_INSTALLED)
        pszOff = SURFACE_MESSAGE_PREFIX "3D driver not yet installed\n";
    else if (bEnvironmentSet(DISABLE_CLIENT_DRIVER_VARIABLE))
        pszOff = SURFACE_MESSAGE_PREFIX "__qrnGLDisableClientDriver set\n";
    else if (!bAlloc3dBuffers(ppdev)) pszOff = SURFACE_MESSAGE_PREFIX "FAILED bAlloc3dBuffers()\n";
    if (pszOff != nullptr) {
        DbgPrint("%s", pszOff);
        vTurn3dOff(ppdev);
        return TRUE;
    }
    *pbRan = TRUE;

    POINTL ptlOrigin{0, 0};
    if (ppc->cDepthBits != 0) {
        const ULONG iFormat = ppc->cDepthBits == 16 ? BMF_16BPP : BMF_32BPP;
        HSURF hsurf =
            CreateDeviceBitmap(ppdev, ppdev->cxScreen, ppdev->cyScreen * (bStereo ? 2 : 1), iFormat,
                               &ptlOrigin, FL_DEPTH);
        if (bKeepLocked(hsurf, &ppdev->hsurfZ, &ppdev->psoZ)) {
            ppdev->pidZ = pidOf(ppdev->psoZ);
        } else {
            DbgPrint(SURFACE_MESSAGE_PREFIX "Failed to create Z buffer\n");
            ppc->cDepthBits = 0;
        }
    }

    if (ppdev->bc.doubleBuffer != 0) {
        LONG cx = 0, cy = 0;
        vPrimaryExtent(ppdev, bStereo, &cx, &cy);
        HSURF hsurf =
            CreateDeviceBitmap(ppdev, cx, cy, ppdev->iBitmapFormat, &ptlOrigin, FL_PRIMARY);
        if (!bKeepLocked(hsurf, &ppdev->hsurfBack, &ppdev->psoBack)) {
            DbgPrint(SURFACE_MESSAGE_PREFIX "Failed to create backbuf.\n");
            vTurn3dOff(ppdev);
            return TRUE;
        }
        ppdev->pidBack = pidOf(ppdev->psoBack);
    }

    // On a split board the depth and back buffers shadow the primary pixel
    // for pixel: their memory is a screen wide (the second screen keeps its
    // columns at x - 1024 of the same pages), but their records cover the
    // joined screens as the primary's does, so that transfers to and from
    // them reach the second screen's columns instead of stopping at the
    // first screen's edge.
    for (SURFOBJ* pso : {ppdev->psoZ, ppdev->psoBack}) {
        if (pso != nullptr && ppdev->layout.bSplitScreen)
            reinterpret_cast<DSURF*>(pso->dhsurf)->cx = cxPrimarySurface(ppdev);
    }

    if (ppdev->hsurfBack != nullptr && ppdev->hsurfZ != nullptr &&
        !TrimapBitmaps(ppdev, ppdev->pdsurfScreen, reinterpret_cast<DSURF*>(ppdev->psoBack->dhsurf),
                       reinterpret_cast<DSURF*>(ppdev->psoZ->dhsurf))) {
        // The buffers could not share their pages as the swap needs: no 3D,
        // and the primary gets its pages back the ordinary way.
        vTurn3dOff(ppdev);
        return bPagesForAllocation(ppdev, ppdev->pdsurfScreen->pdfb);
    }

    *pbDither = TRUE;
    return TRUE;
}

// The two scratch tiles. FALSE: the surface fails.
BOOL bMakeScratchTiles(PDEV* ppdev, FLONG flAlias) {
    struct TILE {
        HSURF* phsurf;
        SURFOBJ** ppso;
        const char* pszWhat;
    };
    const TILE aTiles[] = {
        {&ppdev->hsurfTmp, &ppdev->psoTmp, "failed to create the screen-depth tmp pid\n"},
        {&ppdev->hsurfTmp24, &ppdev->psoTmp24, "failed to create the 24-bit tmp pid\n"},
    };
    for (const TILE& t : aTiles) {
        HSURF hsurf = hsurfSetUpTile(ppdev, flAlias | FL_TILE);
        if (!bKeepLocked(hsurf, t.phsurf, t.ppso)) {
            DbgPrint(SURFACE_MESSAGE_PREFIX "Failed DrvCreateDeviceBitmap\n");
            DbgPrint("%s", t.pszWhat);
            return FALSE;
        }
    }
    return TRUE;
}

// The alternate 128x128 buffer in the padding of the screen, when the 3D
// sizing asked for it. FALSE: the surface fails.
BOOL bMakeAltBuffer(PDEV* ppdev, FLONG flAlias) {
    if (!ppdev->pPageConfig->fAltBuffer) return TRUE;
    LONG cxRounded = 0, cyRounded = 0;
    vRoundedScreen(ppdev, ppdev->cyScreen, &cxRounded, &cyRounded);
    POINTL ptl{cxRounded - ppdev->cxScreen >= kcTile ? ppdev->cxScreen : 0,
               cyRounded - ppdev->cyScreen >= kcTile ? ppdev->cyScreen : 0};
    HSURF hsurf = hsurfOrDropPattern(ppdev, [&] {
        return CreateDeviceBitmap(ppdev, kcTile, kcTile, ppdev->iBitmapFormat, &ptl,
                                  flAlias | FL_PRIMARY);
    });
    if (!bKeepLocked(hsurf, &ppdev->hsurfAlt, &ppdev->psoAlt)) {
        DbgPrint(SURFACE_MESSAGE_PREFIX "Failed CreateDeviceBitmap\n");
        DbgPrint("failed to create the alt.tmp.buf.\n");
        return FALSE;
    }
    return TRUE;
}

// The primary surface the engine draws on: on a split board of screens 1024
// pixels wide the joined screens, else the screen.
BOOL bMakePrimarySurface(PDEV* ppdev) {
    SIZEL sizl{cxPrimarySurface(ppdev), ppdev->cyScreen};
    ppdev->cxSurface = sizl.cx;
    ppdev->cySurface = sizl.cy;
    HSURF hsurf = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(ppdev->pdsurfScreen), sizl,
                                         ppdev->iBitmapFormat);
    if (hsurf == nullptr) return FALSE;
    ppdev->hsurfScreen = hsurf;
    ppdev->pdsurfScreen->pdfb->hsurf = hsurf;
    if (ppdev->iBitmapFormat == BMF_8BPP && !bLoadPalette(ppdev)) return FALSE;
    return EngAssociateSurface(hsurf, ppdev->hdevEng, FL_SURFACE_HOOKS);
}

// Every step in order; FALSE at the first that fails, with everything made
// so far still recorded in the device for the release.
BOOL bEnableSurface(PDEV* ppdev) {
    ppdev->fFrameKind = 0;
    ppdev->ulTextureMode = 0;
    ppdev->fTexture16 = 0;
    ppdev->fMipmap = 0;
    if (!bReadBoardConfig(ppdev)) return FALSE;
    vTextureOptions(ppdev);

    ppdev->pScratch = VirtualAlloc(nullptr, kcbScratch, MEM_COMMIT, PAGE_READWRITE);
    if (ppdev->pScratch == nullptr) return FALSE;
    if (!bSetMode(ppdev)) return FALSE;
    bReadBoardConfig(ppdev);  // the mode's fields; the first read decided
    if (!bInitQueues(ppdev)) return FALSE;
    ulBatchEnable(ppdev);
    bInitPageTable(ppdev);

    const BOOL bStereo = (VnxRegRead(ppdev->pjRegs, VNX_REG_TILE_OWNER) & kStereoBit) != 0;
    if (!bPlacePrimary(ppdev, bStereo)) return FALSE;
    vEnableUnits(ppdev);
    vStartPageConfig(ppdev, bStereo);

    BOOL bRan = FALSE, bDither = FALSE;
    if (!bSetUp3d(ppdev, bStereo, &bRan, &bDither)) return FALSE;
    // The 2D engine's pattern surface takes what the 3D buffers left; the
    // tiles after it take its place when they need it. Without it the
    // surface still works: colour pattern fills decline and their callers
    // hand them to the engine.
    bCreatePatternSurface(ppdev);
    if (bDither && !bMakeDitherTile(ppdev, ppdev->iBitmapFormat == BMF_32BPP ? FL_ALIAS_OK : 0))
        return FALSE;
    const FLONG flAlias = bRan && ppdev->iBitmapFormat == BMF_32BPP ? FL_ALIAS_OK : 0;
    if (!bMakeScratchTiles(ppdev, flAlias)) return FALSE;
    if (!bMakeAltBuffer(ppdev, flAlias)) return FALSE;

    ppdev->ulSurfaceWord = 0;
    vResetPointer(ppdev);
    if (!bMakePrimarySurface(ppdev)) return FALSE;
    vClearScreen(ppdev);
    ppdev->f3DEnable = 0;
    return TRUE;
}

}  // namespace

HSURF DrvEnableSurface(DHPDEV dhpdev) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(dhpdev);
    if (!bEnableSurface(ppdev)) {
        bReleaseSurface(ppdev);
        return nullptr;
    }
    return ppdev->hsurfScreen;
}
