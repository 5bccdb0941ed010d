// Device bitmaps: surfaces in board memory. The exported makers the GL
// server calls (CreateDeviceBitmap, CreateIGBETile, DfbAssignFormat) and the
// engine's DrvCreateDeviceBitmap and DrvDeleteDeviceBitmap; DeleteDeviceBitmap,
// the export that frees what the makers made.
//
// Making and deleting a surface can change page slots, and a slot change
// drains the packet queues, so the engine's two entry points run under
// csEscape like every other entry point that reaches the queues. The GL
// server calls the exports while it already holds csEscape; the surface life
// cycle calls them while the engine calls nothing else.
#include "boardmem/boardmem.h"
#include "device/debug.h"
#include "device/entry.h"
#include "pdev.h"
#include "platform/engine.h"

#include <mutex>
#include <unordered_map>

namespace {

// DrvCreateDeviceBitmap leaves small bitmaps to the engine, except sizes
// that are always worth board memory.
constexpr LONG kcxAlwaysOnBoard = 400;
constexpr LONG kcyAlwaysOnBoard = 90;
constexpr LONG kcSmall = 65;      // both sides below: left to the engine
constexpr LONG kcxRefused = 184;  // exactly this size: left to the engine
constexpr LONG kcyRefused = 170;

// Tile sizes and their pid size codes.
struct TILESIZE {
    LONG size;
    ULONG ulCode;
};
const TILESIZE gaTileSize[] = {{32, 0}, {64, 1}, {128, 2}, {256, 3}};

bool bBoardFormat(ULONG iFormat) {
    return iFormat == BMF_8BPP || iFormat == BMF_16BPP || iFormat == BMF_32BPP;
}

// The pid pixel format of a bitmap format under the device's colour model.
ULONG ulPidFormat(const PDEV* ppdev, ULONG iFormat) {
    const bool bIndexed = ppdev->ulColourModel == COLOUR_MODEL_INDEXED;
    if (iFormat == BMF_32BPP) return PID_FORMAT_32;
    if (iFormat == BMF_16BPP) return bIndexed ? PID_FORMAT_16_INDEXED : PID_FORMAT_16;
    return bIndexed ? PID_FORMAT_8_INDEXED : PID_FORMAT_8;
}

// The bitmap format of a pid pixel format.
ULONG iFormatOfPid(ULONG pidFormat) {
    const ULONG f = (pidFormat & PID_FORMAT_MASK) >> PID_FORMAT_SHIFT;
    return f < 3 ? BMF_8BPP : f <= 4 ? BMF_16BPP : BMF_32BPP;
}

// The driver's record of each board surface it made, by engine handle: a
// surface the engine cannot lock is still found, and freed, by its handle.
std::mutex gmxBoardSurfaces;
std::unordered_map<HSURF, DSURF*> gBoardSurfaces;

// Wraps an allocation in a DSURF and an engine surface associated with the
// device. On failure everything is undone, the allocation released, and 0
// answered.
HSURF hsurfMake(PDEV* ppdev, DFB* pdfb, LONG cx, LONG cy, ULONG iFormat) {
    DSURF* pdsurf = static_cast<DSURF*>(LocalAlloc(LPTR, sizeof(DSURF)));
    if (pdsurf == nullptr) {
        vReleaseDfb(ppdev, pdfb);
        return nullptr;
    }
    pdsurf->ulSignature = DSURF_SIGNATURE;
    pdsurf->ppdev = ppdev;
    pdsurf->cx = cx;
    pdsurf->cy = cy;
    HSURF hsurf = EngCreateDeviceBitmap(reinterpret_cast<DHSURF>(pdsurf), SIZEL{cx, cy}, iFormat);
    if (hsurf != nullptr && !EngAssociateSurface(hsurf, ppdev->hdevEng, FL_SURFACE_HOOKS)) {
        EngDeleteSurface(hsurf);
        hsurf = nullptr;
    }
    if (hsurf == nullptr) {
        LocalFree(pdsurf);
        vReleaseDfb(ppdev, pdfb);
        return nullptr;
    }
    pdsurf->pdfb = pdfb;
    pdfb->pdsurf = pdsurf;
    pdfb->hsurf = hsurf;
    std::lock_guard<std::mutex> lock(gmxBoardSurfaces);
    gBoardSurfaces[hsurf] = pdsurf;
    return hsurf;
}

}  // namespace

extern "C" HSURF CreateDeviceBitmap(PDEV* ppdev, LONG cx, LONG cy, ULONG iFormat, POINTL* pptlPos,
                                    FLONG fl) {
    if (ppdev == nullptr || !bBoardFormat(iFormat) || cx <= 0 || cy <= 0) return nullptr;

    // An alias and a placed bitmap need a position; without one the request
    // is refused.
    DFB* pdfb = nullptr;
    if ((fl & DFB_FL_BACK_ALIAS) && ppdev->hsurfBack != nullptr) {
        if (pptlPos == nullptr) return nullptr;
        pdfb = pdfbAllocAlias(ppdev, pptlPos->x, pptlPos->y, cx, cy, fl & ~DFB_FL_BACK_ALIAS);
    } else if (fl & DFB_FL_PLACED) {
        pdfb = pdfbAllocPlaced(ppdev, cx, cy, iFormat, pptlPos, fl);
    } else {
        pdfb = pdfbAllocGeneral(ppdev, cx, cy, iFormat, fl);
    }
    if (pdfb == nullptr) return nullptr;

    HSURF hsurf = hsurfMake(ppdev, pdfb, cx, cy, iFormat);
    if (hsurf == nullptr) return nullptr;
    DfbAssignFormat(pdfb->pdsurf,
                    ulPidFormat(ppdev, iFormat) | ((fl & DFB_FL_CLASS80) ? PID_MARKER : 0u));
    return hsurf;
}

extern "C" HSURF CreateIGBETile(PDEV* ppdev, LONG size, ULONG pidFormat, FLONG fl) {
    if (ppdev == nullptr || size <= 0) return nullptr;
    const ULONG iFormat = iFormatOfPid(pidFormat);
    const FLONG flTile = (fl & ~DFB_FL_BACK_ALIAS) | DFB_FL_TILE;

    DFB* pdfb = pdfbAllocTile(ppdev, size, iFormat, flTile);
    if (pdfb == nullptr && (fl & DFB_FL_BACK_ALIAS) && ppdev->hsurfBack != nullptr)
        pdfb = pdfbAllocAlias(ppdev, 0, 0, size, size, flTile);
    if (pdfb == nullptr) return nullptr;

    HSURF hsurf = hsurfMake(ppdev, pdfb, size, size, iFormat);
    if (hsurf == nullptr) return nullptr;

    // Only the four tile sizes carry the tile fields: any other square is
    // named like a plain bitmap, so the board does not take it for a tile
    // of another size.
    ULONG pid = pidFormat;
    for (const TILESIZE& ts : gaTileSize) {
        if (ts.size != size) continue;
        const ULONG tx = static_cast<ULONG>(pdfb->x / size),
                    ty = static_cast<ULONG>(pdfb->y / size);
        pid |= (((ty & 3) * 4 + (tx & 3)) * 4 + ts.ulCode) << PID_TILE_SIZE_SHIFT | PID_TILE;
    }
    DfbAssignFormat(pdfb->pdsurf, pid | PID_MARKER);
    return hsurf;
}

extern "C" void DfbAssignFormat(DSURF* pdsurf, ULONG pidFormat) {
    if (pdsurf == nullptr || pdsurf->pdfb == nullptr) {
        DebugPrint(0, "????????????  null dfb ???????????: DfbAssignFormat\n");
        return;
    }
    DFB* pdfb = pdsurf->pdfb;
    pdfb->pid = (pdfb->pid & PID_SLOT_MASK) | (pidFormat & 0xFFFFu & ~PID_SLOT_MASK);
}

namespace {

// The driver's record of a surface CreateDeviceBitmap or CreateIGBETile
// made, found through its surface object (or by its handle when the
// engine cannot lock it); null for any other surface.
DSURF* pdsurfOfBoardSurface(HSURF hsurf) {
    if (hsurf == nullptr) return nullptr;
    DSURF* pdsurf = nullptr;
    if (SURFOBJ* pso = EngLockSurface(hsurf)) {
        pdsurf = reinterpret_cast<DSURF*>(pso->dhsurf);
        EngUnlockSurface(pso);
    } else {
        std::lock_guard<std::mutex> lock(gmxBoardSurfaces);
        const auto it = gBoardSurfaces.find(hsurf);
        if (it != gBoardSurfaces.end()) pdsurf = it->second;
    }
    if (pdsurf == nullptr || pdsurf->ulSignature != DSURF_SIGNATURE || pdsurf->pdfb == nullptr ||
        pdsurf->pdfb->hsurf != hsurf)
        return nullptr;
    return pdsurf;
}

}  // namespace

extern "C" void DeleteDeviceBitmap(HSURF hsurf) {
    if (hsurf == nullptr) return;
    DSURF* pdsurf = pdsurfOfBoardSurface(hsurf);
    if (pdsurf == nullptr) {
        EngDeleteSurface(hsurf);
        return;
    }
    PDEV* ppdev = pdsurf->ppdev;
    EnterCriticalSection(&ppdev->csEscape);
    vDeleteDeviceBitmap(pdsurf);
    LeaveCriticalSection(&ppdev->csEscape);
}

void vDeleteDeviceBitmap(DSURF* pdsurf) {
    if (pdsurf == nullptr) return;
    if (pdsurf->pdfb != nullptr) {
        {
            std::lock_guard<std::mutex> lock(gmxBoardSurfaces);
            gBoardSurfaces.erase(pdsurf->pdfb->hsurf);
        }
        EngDeleteSurface(pdsurf->pdfb->hsurf);
        vReleaseDfb(pdsurf->ppdev, pdsurf->pdfb);
    }
    LocalFree(pdsurf);
}

HSURF DrvCreateDeviceBitmap(DHPDEV dhpdev, SIZEL sizl, ULONG iFormat) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(dhpdev);
    const LONG cx = sizl.cx, cy = sizl.cy;
    if (cx != kcxAlwaysOnBoard && cy != kcyAlwaysOnBoard) {
        if (cx < kcSmall && cy < kcSmall) return nullptr;
        if (cx == kcxRefused && cy == kcyRefused) return nullptr;
        if (cx < 2 || cy < 2) return nullptr;
        if (!(ppdev->fFrameKind & FRAME_OFFSCREEN_BITMAPS)) return nullptr;
    }
    if (ppdev->layout.bSplitScreen) return nullptr;
    if (ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo) return nullptr;
    if (iFormat != ppdev->iBitmapFormat) return nullptr;

    EnterCriticalSection(&ppdev->csEscape);
    HSURF hsurf = CreateDeviceBitmap(ppdev, cx, cy, iFormat, nullptr, 0);
    LeaveCriticalSection(&ppdev->csEscape);
    return hsurf;
}

void DrvDeleteDeviceBitmap(DHSURF dhsurf) {
    DSURF* pdsurf = reinterpret_cast<DSURF*>(dhsurf);
    if (pdsurf == nullptr) return;
    PDEV* ppdev = pdsurf->ppdev;
    EnterCriticalSection(&ppdev->csEscape);
    vDeleteDeviceBitmap(pdsurf);
    LeaveCriticalSection(&ppdev->csEscape);
}
