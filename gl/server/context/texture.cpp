// The device's texture table: levels loaded into tiles or device bitmaps
// that the display driver makes, found again by identifier and level, and
// released with the device's last context.
#include "context/texture.h"

#include <cstring>

#include "glpdev.h"
#include "platform/engine.h"
#include "vornix_surface.h"

namespace {

// One table for the device the server draws on.
PDEV* gppdevTextures = nullptr;
GLTexTable* gpTable = nullptr;

constexpr LONG kLargestTile = 256;
constexpr LONG kSmallestTile = 64;
constexpr FLONG kTileFlags = 15;
constexpr FLONG kBitmapFlags = 0xAF;

void vFreeLevel(GLTexLevel* pl) {
    if (pl->psoImage != nullptr) EngUnlockSurface(pl->psoImage);
    if (pl->psoCompanion != nullptr) EngUnlockSurface(pl->psoCompanion);
    if (pl->hsurfImage != nullptr) DeleteDeviceBitmap(pl->hsurfImage);
    if (pl->hsurfCompanion != nullptr) DeleteDeviceBitmap(pl->hsurfCompanion);
    *pl = GLTexLevel{};
}

ULONG ulPid(SURFOBJ* pso) {
    if (pso == nullptr || pso->dhsurf == nullptr) return 0;
    const DFB* pdfb = reinterpret_cast<DSURF*>(pso->dhsurf)->pdfb;
    return pdfb != nullptr ? pdfb->pid : 0;
}

// Copies cx x cy texels (rows of cx x cjPixel bytes) into the surface: on
// a tile repeated over the whole tile, column by column, each top to bottom.
void vCopyTexels(PDEV* ppdev, SURFOBJ* psoDst, LONG cx, LONG cy, LONG s, BOOL bTile,
                 const void* pvTexels, ULONG iFormat) {
    const ULONG cjPixel = iFormat == BMF_8BPP ? 1 : 4;
    HSURF hsurf = EngCreateBitmap(SIZEL{cx, cy}, static_cast<LONG>(cx * cjPixel), iFormat, BMF_TOPDOWN,
                                  const_cast<void*>(pvTexels));
    SURFOBJ* psoSrc = hsurf != nullptr ? EngLockSurface(hsurf) : nullptr;
    if (psoSrc != nullptr) {
        const PAGECONFIG* ppc = pGLPageConfig(ppdev);
        const BOOL bStereo = ppc != nullptr && ppc->fStereo != 0;
        const LONG xLimit = bTile ? s : cx;
        const LONG yLimit = bTile ? s : cy;
        for (LONG x = 0; x + cx <= xLimit; x += cx) {
            for (LONG y = 0; y + cy <= yLimit; y += cy) {
                RECTL rcl{x, y, x + cx, y + cy};
                POINTL ptl{0, 0};
                if (bStereo)
                    CopyBits(psoDst, psoSrc, nullptr, nullptr, &rcl, &ptl, 0);
                else
                    DrvCopyBits(psoDst, psoSrc, nullptr, nullptr, &rcl, &ptl);
            }
        }
        EngUnlockSurface(psoSrc);
    }
    if (hsurf != nullptr) EngDeleteSurface(hsurf);
}

// The image surface (and, when asked for, the 8-bit companion) of a level:
// tiles up to 256 pixels, else device bitmaps; in the board's 16-bit form
// (the screen's format) when the device keeps textures so. TRUE, or FALSE
// with nothing made.
BOOL bMakeLevelSurfaces(PDEV* ppdev, GLTexLevel* pl, LONG cx, LONG cy, LONG s, BOOL bTile, BOOL bTexture16,
                        BOOL bCompanion) {
    const ULONG iScreen = ulGLBitmapFormat(ppdev);
    ULONG pidFormat = PID_FORMAT_32;
    if (bTexture16 && iScreen == BMF_16BPP) pidFormat = PID_FORMAT_16_INDEXED;
    else if (bTexture16 && iScreen != BMF_32BPP) pidFormat = PID_FORMAT_8;
    POINTL ptl{0, 0};
    pl->hsurfImage = bTile ? CreateIGBETile(ppdev, s, pidFormat, kTileFlags)
                           : CreateDeviceBitmap(ppdev, cx, cy, bTexture16 ? iScreen : BMF_32BPP, &ptl, kBitmapFlags);
    if (bCompanion)
        pl->hsurfCompanion = bTile ? CreateIGBETile(ppdev, s, 0, kTileFlags)
                                   : CreateDeviceBitmap(ppdev, cx, cy, BMF_8BPP, &ptl, kBitmapFlags);
    if (pl->hsurfImage != nullptr) pl->psoImage = EngLockSurface(pl->hsurfImage);
    if (pl->hsurfCompanion != nullptr) pl->psoCompanion = EngLockSurface(pl->hsurfCompanion);
    if (pl->psoImage == nullptr || (bCompanion && pl->psoCompanion == nullptr)) {
        vFreeLevel(pl);
        return FALSE;
    }
    return TRUE;
}

// What the board tells a tile by when a texel is fetched through its pid:
// the space and the tile's size, column and row (not the format, which the
// image and its overlay plane differ by); 0 for a surface that is no tile.
// The column and row are the tile's place modulo four tiles, so two tiles
// of one space and size four tiles apart share it, and the board fetches
// from whichever of the two a packet reached last.
ULONG ulTileKey(SURFOBJ* pso) {
    const ULONG pid = ulPid(pso);
    if ((pid & PID_TILE) == 0) return 0;
    return pid & (PID_SLOT_MASK | PID_TILE | (0x3Fu << PID_TILE_SIZE_SHIFT));
}

// TRUE when a tile of the level shares its key with a tile another loaded
// level, or the dither tile, keeps.
BOOL bTileShared(PDEV* ppdev, const GLTexTable* pt, const GLTexLevel* pl) {
    const ULONG akNew[2] = {ulTileKey(pl->psoImage), ulTileKey(pl->psoCompanion)};
    const ULONG pidDither = ulGLPidDither(ppdev);
    const ULONG kDither = (pidDither & PID_TILE) != 0 && pdsurfGLDither(ppdev) != nullptr
                              ? pidDither & (PID_SLOT_MASK | PID_TILE | (0x3Fu << PID_TILE_SIZE_SHIFT))
                              : 0;
    for (ULONG k : akNew) {
        if (k == 0) continue;
        if (k == kDither) return TRUE;
        for (ULONG i = 0; i < GLTEX_TEXTURES; ++i) {
            for (const GLTexLevel& l : pt->levels[i]) {
                if (&l == pl) continue;
                if (k == ulTileKey(l.psoImage) || k == ulTileKey(l.psoCompanion)) return TRUE;
            }
        }
    }
    return FALSE;
}

// bMakeLevelSurfaces, with tiles the board tells apart from every other
// loaded one: a tile that shares its key is kept aside while the next is
// made (so the allocator places it elsewhere), and the ones kept aside go
// once a tile is found. FALSE, with nothing made, when the surfaces cannot
// be made or no place apart is found.
BOOL bMakeApartLevelSurfaces(PDEV* ppdev, const GLTexTable* pt, GLTexLevel* pl, LONG cx, LONG cy, LONG s,
                             BOOL bTile, BOOL bTexture16, BOOL bCompanion) {
    if (!bMakeLevelSurfaces(ppdev, pl, cx, cy, s, bTile, bTexture16, bCompanion)) return FALSE;
    if (!bTile) return TRUE;
    // Sixteen places of one size in a space: past them the allocator has
    // moved on to another space or has none left.
    constexpr ULONG kTries = 16;
    GLTexLevel aside[kTries] = {};
    ULONG cAside = 0;
    BOOL bMade = TRUE;
    while (bTileShared(ppdev, pt, pl)) {
        if (cAside == kTries) {
            vFreeLevel(pl);
            bMade = FALSE;
            break;
        }
        aside[cAside++] = *pl;
        *pl = GLTexLevel{};
        if (!bMakeLevelSurfaces(ppdev, pl, cx, cy, s, bTile, bTexture16, bCompanion)) {
            bMade = FALSE;
            break;
        }
    }
    for (ULONG i = 0; i < cAside; ++i) vFreeLevel(&aside[i]);
    return bMade;
}

// The format word a level's packets name: a large texture (a device
// bitmap) kept in the board's 16-bit form on an 8- or 16-bit screen names
// the 16-bit indexed format (16 bpp) or the 8-bit indexed one (8 bpp) with
// its page block, keeping the class bit 0x20 the driver gave it; every
// other level names its surface's word as made.
ULONG ulTexturePid(ULONG pid, BOOL bTile, BOOL bTexture16, ULONG iScreen) {
    if (bTile || !bTexture16 || iScreen == BMF_32BPP) return pid;
    const ULONG fmt = iScreen == BMF_16BPP ? PID_FORMAT_16_INDEXED : PID_FORMAT_8_INDEXED;
    return (pid & (PID_SLOT_MASK | PID_MARKER)) | fmt;
}

}  // namespace

GLTexTable* __glTextureTable(PDEV* ppdev) { return ppdev == gppdevTextures ? gpTable : nullptr; }

ULONG _DReleaseTextures(PDEV* ppdev, ULONG id) {
    GLTexTable* pt = __glTextureTable(ppdev);
    if (pt == nullptr) return 1;
    if (id != 0) {
        for (ULONG i = 0; i < GLTEX_TEXTURES; ++i)
            if (pt->aulIds[i] != 0 && pt->aulIds[i] != id) return 0;
    }
    for (ULONG i = 0; i < GLTEX_TEXTURES; ++i) {
        for (GLTexLevel& l : pt->levels[i]) vFreeLevel(&l);
        pt->aulIds[i] = 0;
    }
    pt->cLoaded = 0;
    pt->iCurrent = 0;
    return 1;
}

void __glReleaseDeviceTextures(PDEV* ppdev) {
    _DReleaseTextures(ppdev, 0);
    if (ppdev == gppdevTextures) {
        LocalFree(gpTable);
        gpTable = nullptr;
        gppdevTextures = nullptr;
    }
}

ULONG _DFindTexture(PDEV* ppdev, ULONG level, ULONG id, ULONG* pPitch) {
    GLTexTable* pt = __glTextureTable(ppdev);
    if (pt == nullptr || level >= GLTEX_LEVELS) return 0;
    if (level != 0) {
        const GLTexLevel& l = pt->levels[pt->iCurrent][level];
        if (pt->aulIds[pt->iCurrent] != id || l.id != id || l.address == 0) return 0;
        if (pPitch != nullptr) *pPitch = l.pitch;
        return l.address;
    }
    for (ULONG i = 0; i < GLTEX_TEXTURES; ++i) {
        if (id != 0 && pt->aulIds[i] == id && pt->levels[i][0].address != 0) {
            pt->iCurrent = i;
            if (pPitch != nullptr) *pPitch = pt->levels[i][0].pitch;
            return pt->levels[i][0].address;
        }
    }
    return 0;
}

ULONG _DLoadTexture(PDEV* ppdev, ULONG id, ULONG level, LONG cx, LONG cy, const void* pvTexels,
                    BOOL bSecond, const void* pvSecond) {
    if (ppdev == nullptr || id == 0 || level >= GLTEX_LEVELS || cx <= 0 || cy <= 0 ||
        cx > 2048 || cy > 2048 || pvTexels == nullptr || (bSecond && pvSecond == nullptr))
        return 0;
    if (pGLBoardConfig(ppdev)->textureMode == TEXMODE_NOHARDWARE) return 0;
    if (gpTable == nullptr) {
        gpTable = static_cast<GLTexTable*>(LocalAlloc(LPTR, sizeof(GLTexTable)));
        if (gpTable == nullptr) return 0;
        gppdevTextures = ppdev;
    }
    if (ppdev != gppdevTextures) return 0;
    GLTexTable* pt = gpTable;
    ULONG iTex = pt->iCurrent;
    if (level == 0) {
        // A texture loaded again keeps its slot; a new one takes a free one.
        // A full table refuses the new texture: the loaded ones belong to
        // contexts that could not load them again.
        LONG iFound = -1, iFree = -1;
        for (ULONG i = 0; i < GLTEX_TEXTURES; ++i) {
            if (pt->aulIds[i] == id && iFound < 0) iFound = static_cast<LONG>(i);
            if (pt->aulIds[i] == 0 && iFree < 0) iFree = static_cast<LONG>(i);
        }
        if (iFound < 0 && iFree < 0) return 0;
        iTex = static_cast<ULONG>(iFound >= 0 ? iFound : iFree);
        if (iFound < 0) {
            pt->aulIds[iTex] = id;
            ++pt->cLoaded;
        }
    } else if (pt->aulIds[iTex] != id) {
        return 0;
    }
    GLTexLevel* pl = &pt->levels[iTex][level];
    vFreeLevel(pl);
    LONG s = cx > cy ? cx : cy;
    if (s < kSmallestTile) s = kSmallestTile;
    const BOOL bTile = s <= kLargestTile;
    const ULONG iScreen = ulGLBitmapFormat(ppdev);
    const BOOL b32 = iScreen == BMF_32BPP;
    const BOOL bTexture16 = ulGLTexture16(ppdev) != 0;
    const BOOL bCompanion = bSecond && !b32;
    if (!bMakeApartLevelSurfaces(ppdev, pt, pl, cx, cy, s, bTile, bTexture16, bCompanion)) {
        // A new texture makes room: every loaded texture goes and the
        // surfaces are tried once more.
        if (level != 0) return 0;
        _DReleaseTextures(ppdev, 0);
        iTex = 0;
        pt->aulIds[iTex] = id;
        pt->cLoaded = 1;
        pl = &pt->levels[iTex][level];
        if (!bMakeApartLevelSurfaces(ppdev, pt, pl, cx, cy, s, bTile, bTexture16, bCompanion)) {
            pt->aulIds[iTex] = 0;
            pt->cLoaded = 0;
            return 0;
        }
    }
    pl->address = ulTexturePid(ulPid(pl->psoImage), bTile, bTexture16, iScreen);
    pl->pitch = static_cast<ULONG>(bTile ? s : cx);
    pl->id = id;
    if (bTile) __glXDebugPrint("lgi tile pid is %x \n", pl->address);
    vCopyTexels(ppdev, pl->psoImage, cx, cy, s, bTile, pvTexels, BMF_32BPP);
    if (bSecond) {
        if (pl->psoCompanion != nullptr) {
            vCopyTexels(ppdev, pl->psoCompanion, cx, cy, s, bTile, pvSecond, BMF_8BPP);
        } else {
            // Through the image's overlay plane: pixel format 6 for the copy.
            DSURF* pdsurf = reinterpret_cast<DSURF*>(pl->psoImage->dhsurf);
            if (pdsurf != nullptr && pdsurf->pdfb != nullptr) {
                const ULONG pidOld = pdsurf->pdfb->pid;
                pdsurf->pdfb->pid = (pidOld & ~0x2000u) | 0xC000u;
                vCopyTexels(ppdev, pl->psoImage, cx, cy, s, bTile, pvSecond, BMF_32BPP);
                pdsurf->pdfb->pid = pidOld;
            }
        }
    }
    pt->iCurrent = iTex;
    return 1;
}
