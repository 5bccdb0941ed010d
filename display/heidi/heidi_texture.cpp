// Textures of the immediate-mode 3D escape: one table of 100 slots for each
// device. A slot belongs to the window that loaded it: only that window
// reloads or frees it, and the window's end frees only its own.
#include <algorithm>

#include "heidi/heidi_internal.h"
#include "vornix_surface.h"

#define TEX_LOADED 0x0001u

struct TEXENTRY {
    USHORT fl;        // TEX_LOADED
    USHORT cx;
    USHORT cy;
    HSURF hsurf;
    ULONG pid;
    const HEIDIWND* phwOwner;
};

struct HEIDITEXTABLE {
    TEXENTRY a[HEIDI_TEXTURES];
};

namespace {

// The device's table, made on first use (null without memory). Used under
// csEscape.
HEIDITEXTABLE* ptable(PDEV* ppdev) {
    if (ppdev->pHeidiTextures == nullptr)
        ppdev->pHeidiTextures = static_cast<HEIDITEXTABLE*>(LocalAlloc(LPTR, sizeof(HEIDITEXTABLE)));
    return ppdev->pHeidiTextures;
}

void vDelete(TEXENTRY* pe) {
    // Its board memory and record go with it, not only the engine's surface.
    if (pe->hsurf != nullptr) DeleteDeviceBitmap(pe->hsurf);
    *pe = TEXENTRY{};
}

// A new surface for a texture of cx x cy pixels: a square tile when the
// texture is square and at most 256 pixels, else a device bitmap.
HSURF hsurfNew(PDEV* ppdev, ULONG cx, ULONG cy, LONG size) {
    if (cx == cy && size <= 256) {
        ULONG ulFormat = 0xA000u;
        if (ppdev->fTexture16) {
            ulFormat = ppdev->iBitmapFormat == BMF_8BPP    ? 0x4000u
                       : ppdev->iBitmapFormat == BMF_16BPP ? 0x6000u
                                                           : 0xA000u;
        }
        return CreateIGBETile(ppdev, size, ulFormat, 0);
    }
    const ULONG iFormat = ppdev->fTexture16 ? ppdev->iBitmapFormat : BMF_32BPP;
    return CreateDeviceBitmap(ppdev, static_cast<LONG>(cx), static_cast<LONG>(cy), iFormat, nullptr, 0);
}

// The pid the render programs use for the texture. Only a surface that
// really is a tile (its pid carries the tile fields) is marked as one.
ULONG ulTexturePid(const PDEV* ppdev, ULONG pid, LONG size) {
    if (size <= 256) return pid;  // CreateIGBETile set the tile bit for the tile sizes
    if (!ppdev->fTexture16) return pid;
    if (ppdev->iBitmapFormat == BMF_8BPP) return pid & PID_SLOT_MASK;
    if (ppdev->iBitmapFormat == BMF_16BPP) return (pid & PID_SLOT_MASK) | 0x6000u;
    return pid;
}

}  // namespace

ULONG ulLoadTexture(PDEV* ppdev, HEIDIWND* phw, const HEIDICMD& cmd, ULONG) {
    const ULONG cx = cmd.cx, cy = cmd.cy;
    const ULONG r0 = cmd.y, r1 = cmd.usRowBound;  // destination rows cy - r0 .. cy - r1
    if (cx == 0 || cy == 0 || r0 > cy || r1 > r0) return HEIDI_NO_SLOT;  // an inverted range
    const std::uint64_t cjRow = cmd.cjRow, cRows = r0 - r1;
    // The image: cRows rows of 32-bit pixels from byte 40 of the view.
    if (cjRow < std::uint64_t{cx} * 4 || cjRow % 4 != 0 || cjRow > 0x7FFFFFFF ||
        HEIDI_VIEW_DATA + cjRow * cRows > phw->cjView)
        return HEIDI_NO_SLOT;

    HEIDITEXTABLE* pt = ptable(ppdev);
    if (pt == nullptr) return HEIDI_NO_SLOT;
    HEIDITEXTABLE& t = *pt;
    ULONG iSlot = cmd.jSelect;
    if (iSlot == HEIDI_ANY_SLOT) {
        iSlot = HEIDI_NO_SLOT;
        for (ULONG i = 0; i < HEIDI_TEXTURES; ++i) {
            if (!(t.a[i].fl & TEX_LOADED)) {
                iSlot = i;
                break;
            }
        }
        if (iSlot == HEIDI_NO_SLOT) return HEIDI_NO_SLOT;
    } else if (iSlot >= HEIDI_TEXTURES) {
        return HEIDI_NO_SLOT;
    }
    TEXENTRY* pe = &t.a[iSlot];
    if ((pe->fl & TEX_LOADED) && pe->phwOwner != phw) return HEIDI_NO_SLOT;  // another window's
    if ((pe->fl & TEX_LOADED) && (pe->cx != cx || pe->cy != cy)) vDelete(pe);

    LONG size = static_cast<LONG>(std::max(cx, cy));
    if (size < 256) size = std::max<LONG>(size, 64);
    if (!(pe->fl & TEX_LOADED)) {
        HSURF hsurf = hsurfNew(ppdev, cx, cy, size);
        if (hsurf == nullptr) return HEIDI_NO_SLOT;
        pe->hsurf = hsurf;
        pe->cx = static_cast<USHORT>(cx);
        pe->cy = static_cast<USHORT>(cy);
        pe->fl = TEX_LOADED;
        pe->phwOwner = phw;
    }
    SURFOBJ* psoTex = EngLockSurface(pe->hsurf);
    if (psoTex == nullptr) {
        vDelete(pe);
        return HEIDI_NO_SLOT;
    }
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(psoTex->dhsurf);
    pe->pid = ulTexturePid(ppdev, pdsurf->pdfb->pid & 0xFFFFu, size);
    if (cRows != 0) {
        // The image as a top-down 32-bit host bitmap in the view.
        const SIZEL sizl = {static_cast<LONG>(cx), static_cast<LONG>(cRows)};
        HSURF hsurfHost = EngCreateBitmap(sizl, static_cast<LONG>(cjRow), BMF_32BPP, BMF_TOPDOWN,
                                          phw->pjView + HEIDI_VIEW_DATA);
        SURFOBJ* psoHost = hsurfHost != nullptr ? EngLockSurface(hsurfHost) : nullptr;
        if (psoHost != nullptr) {
            RECTL rcl = {0, static_cast<LONG>(cy - r0), static_cast<LONG>(cx), static_cast<LONG>(cy - r1)};
            POINTL ptl = {0, 0};
            DrvCopyBits(psoTex, psoHost, nullptr, nullptr, &rcl, &ptl);
            EngUnlockSurface(psoHost);
        }
        if (hsurfHost != nullptr) EngDeleteSurface(hsurfHost);
    }
    EngUnlockSurface(psoTex);
    return iSlot;
}

void vFreeTexture(PDEV* ppdev, const HEIDIWND* phw, ULONG iSlot) {
    if (iSlot >= HEIDI_TEXTURES) return;
    HEIDITEXTABLE* pt = ppdev->pHeidiTextures;
    if (pt == nullptr) return;
    TEXENTRY* pe = &pt->a[iSlot];
    if ((pe->fl & TEX_LOADED) && pe->phwOwner == phw) vDelete(pe);
}

void vFreeTextures(PDEV* ppdev, const HEIDIWND* phwOwner) {
    HEIDITEXTABLE* pt = ppdev->pHeidiTextures;
    if (pt == nullptr) return;
    for (TEXENTRY& e : pt->a) {
        if ((e.fl & TEX_LOADED) && (phwOwner == nullptr || e.phwOwner == phwOwner)) vDelete(&e);
    }
    if (phwOwner == nullptr) {
        LocalFree(pt);
        ppdev->pHeidiTextures = nullptr;
    }
}

ULONG cHeidiTextures(PDEV* ppdev, const void* phwOwner) {
    const HEIDITEXTABLE* pt = ppdev->pHeidiTextures;
    if (pt == nullptr) return 0;
    ULONG c = 0;
    for (const TEXENTRY& e : pt->a) {
        if ((e.fl & TEX_LOADED) && (phwOwner == nullptr || e.phwOwner == phwOwner)) ++c;
    }
    return c;
}

ULONG ulHeidiTexturePid(PDEV* ppdev, ULONG iSlot) {
    const HEIDITEXTABLE* pt = ppdev->pHeidiTextures;
    if (pt == nullptr || iSlot >= HEIDI_TEXTURES) return 0;
    return pt->a[iSlot].pid;
}
