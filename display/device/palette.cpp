// The default palette, DrvSetPalette and the colour registers.
#include <algorithm>
#include <cstring>

#include "device/entry.h"
#include "device/palette.h"
#include "platform/engine.h"
#include "platform/miniport.h"

const ULONG gaulSystemColours[SYSTEM_COLOURS] = {
    // entries 0-9
    0x000000,
    0x000080,
    0x008000,
    0x008080,
    0x800000,
    0x800080,
    0x808000,
    0xC0C0C0,
    0xC0DCC0,
    0xF0CAA6,
    // entries 246-255
    0xF0FBFF,
    0xA4A0A0,
    0x808080,
    0x0000FF,
    0x00FF00,
    0x00FFFF,
    0xFF0000,
    0xFF00FF,
    0xFFFF00,
    0xFFFFFF,
};

namespace {

constexpr ULONG kcSystemLow = SYSTEM_COLOURS / 2;                     // entries 0..9
constexpr ULONG kiSystemHigh = PALETTE_ENTRIES - SYSTEM_COLOURS / 2;  // entries 246..255
constexpr ULONG kRgbMask = 0x00FFFFFF;

// Bit-field masks of the direct-colour formats.
struct BITFIELDS {
    ULONG iBitmapFormat;
    FLONG flRed, flGreen, flBlue;
};
const BITFIELDS gaBitFields[] = {
    {BMF_16BPP, 0x7C00, 0x03E0, 0x001F},
    {BMF_32BPP, 0xFF0000, 0x00FF00, 0x0000FF},
};

// The system colour that belongs at palette index i, or -1 when i is not
// one of the twenty system entries.
LONG lSystemColourAt(ULONG i) {
    if (i < kcSystemLow) return static_cast<LONG>(gaulSystemColours[i]);
    if (i >= kiSystemHigh && i < PALETTE_ENTRIES)
        return static_cast<LONG>(gaulSystemColours[kcSystemLow + (i - kiSystemHigh)]);
    return -1;
}

PALETTEENTRY peFromRgb(ULONG ul) {
    return PALETTEENTRY{static_cast<BYTE>(ul), static_cast<BYTE>(ul >> 8),
                        static_cast<BYTE>(ul >> 16), 0};
}

ULONG ulFromEntry(const PALETTEENTRY& pe) {
    return pe.peRed | (ULONG(pe.peGreen) << 8) | (ULONG(pe.peBlue) << 16) |
           (ULONG(pe.peFlags) << 24);
}

// The 8-bpp default: blue in four steps fastest, then green in eight, then
// red by groups of 32 (0, 0, 51, 102, 153, 204, 255, 255), with the twenty
// system colours at both ends. An index is thus read as 3-3-2 (red in the
// top three bits), as the 32-bit conversions write it: the last group is
// full red, so saturated colours keep their red.
void vFillDefault8bpp(PALETTEENTRY* pPal) {
    for (ULONG i = 0; i < PALETTE_ENTRIES; ++i) {
        const ULONG ulGroup = i >> 5;
        pPal[i].peBlue = static_cast<BYTE>((i & 3) * 85);
        pPal[i].peGreen = static_cast<BYTE>((((i >> 2) & 7) * 73) / 2);
        pPal[i].peRed = static_cast<BYTE>(ulGroup < 2 ? 0 : std::min<ULONG>(ulGroup - 1, 5) * 51);
        pPal[i].peFlags = 0;
    }
    for (ULONG i = 0; i < PALETTE_ENTRIES; ++i) {
        const LONG lSystem = lSystemColourAt(i);
        if (lSystem >= 0) pPal[i] = peFromRgb(static_cast<ULONG>(lSystem));
    }
}

// Sends cColors entries from iStart to the colour registers. The record is
// sized like the full 256-entry load: the header, one declared entry and
// the entries.
BOOL bSetColourRegisters(PDEV* ppdev, ULONG iStart, ULONG cColors, const ULONG* pulEntries) {
    alignas(4) BYTE ajClut[sizeof(VIDEO_CLUT) + 4 * PALETTE_ENTRIES];
    VIDEO_CLUT* pClut = reinterpret_cast<VIDEO_CLUT*>(ajClut);
    std::memset(ajClut, 0, sizeof ajClut);
    pClut->NumEntries = static_cast<std::uint16_t>(cColors);
    pClut->FirstEntry = static_cast<std::uint16_t>(iStart);
    std::memcpy(ajClut + VIDEO_CLUT_HEADER_SIZE, pulEntries, 4 * cColors);
    DWORD cb = 0;
    return EngDeviceIoControl(ppdev->hDriver, IOCTL_VIDEO_SET_COLOR_REGISTERS, ajClut,
                              static_cast<DWORD>(sizeof(VIDEO_CLUT) + 4 * cColors), nullptr, 0,
                              &cb) == ERROR_SUCCESS;
}

// DrvSetPalette's work, under csEscape at 8 bpp.
BOOL bSetPalette(PDEV* ppdev, PALOBJ* ppalo, ULONG iStart, ULONG cColors) {
    // Nothing past the 256 registers can be fetched or loaded.
    if (iStart >= PALETTE_ENTRIES || cColors > PALETTE_ENTRIES - iStart) return FALSE;
    if (cColors == 0) return TRUE;

    ULONG aulFetched[PALETTE_ENTRIES];
    if (PALOBJ_cGetColors(ppalo, iStart, cColors, aulFetched) != cColors) return FALSE;

    // The system colours must stay where the system expects them. Only the
    // system entries that this update covers are checked, so an update of
    // application colours alone keeps them.
    BOOL bSystemKept = TRUE;
    for (ULONG k = 0; k < cColors; ++k) {
        const LONG lSystem = lSystemColourAt(iStart + k);
        if (lSystem >= 0 && (aulFetched[k] & kRgbMask) != static_cast<ULONG>(lSystem))
            bSystemKept = FALSE;
    }

    ULONG aulEntries[PALETTE_ENTRIES];
    for (ULONG k = 0; k < cColors; ++k) {
        // When an update moves a system colour, the range is loaded from the
        // driver's default palette instead.
        aulEntries[k] = bSystemKept ? (aulFetched[k] & kRgbMask)
                                    : (ulFromEntry(ppdev->pPal[iStart + k]) & kRgbMask);
    }
    return bSetColourRegisters(ppdev, iStart, cColors, aulEntries);
}

}  // namespace

BOOL bInitializePalette(PDEV* ppdev, DEVINFO* pdi) {
    PALETTEENTRY* pPal =
        static_cast<PALETTEENTRY*>(LocalAlloc(LPTR, sizeof(PALETTEENTRY) * PALETTE_ENTRIES));
    if (pPal == nullptr) return FALSE;

    HPALETTE hpal = nullptr;
    if (ppdev->iBitmapFormat == BMF_8BPP) {
        vFillDefault8bpp(pPal);
        hpal =
            EngCreatePalette(PAL_INDEXED, PALETTE_ENTRIES, reinterpret_cast<ULONG*>(pPal), 0, 0, 0);
    } else {
        for (const BITFIELDS& bf : gaBitFields) {
            if (bf.iBitmapFormat == ppdev->iBitmapFormat)
                hpal = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, bf.flRed, bf.flGreen, bf.flBlue);
        }
    }
    if (hpal == nullptr) {
        LocalFree(pPal);
        return FALSE;
    }
    ppdev->pPal = pPal;
    ppdev->hpalDefault = hpal;
    pdi->hpalDefault = hpal;
    return TRUE;
}

void vUninitializePalette(PDEV* ppdev) {
    if (ppdev->hpalDefault != nullptr) EngDeletePalette(ppdev->hpalDefault);
    ppdev->hpalDefault = nullptr;
    if (ppdev->pPal != nullptr) LocalFree(ppdev->pPal);
    ppdev->pPal = nullptr;
}

BOOL bLoadPalette(PDEV* ppdev) {
    ULONG aulEntries[PALETTE_ENTRIES];
    for (ULONG i = 0; i < PALETTE_ENTRIES; ++i)
        aulEntries[i] = ulFromEntry(ppdev->pPal[i]) & kRgbMask;
    return bSetColourRegisters(ppdev, 0, PALETTE_ENTRIES, aulEntries);
}

BOOL DrvSetPalette(DHPDEV dhpdev, PALOBJ* ppalo, FLONG /*fl*/, ULONG iStart, ULONG cColors) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(dhpdev);
    if (ppdev->iBitmapFormat != BMF_8BPP) return TRUE;
    EnterCriticalSection(&ppdev->csEscape);
    const BOOL b = bSetPalette(ppdev, ppalo, iStart, cColors);
    LeaveCriticalSection(&ppdev->csEscape);
    return b;
}
