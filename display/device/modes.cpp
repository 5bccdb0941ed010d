// Display modes: reading the miniport's mode list, DrvGetModes, choosing the
// mode the engine asks for, and setting it.
#include <algorithm>
#include <cstring>

#include "device/entry.h"
#include "device/modes.h"
#include "platform/miniport.h"

// Stereo modes the board configuration can force, by BoardConfig.stereoMode;
// row 0 forces nothing.
const STEREOMODE gaStereoModes[STEREO_MODES] = {
    {0, 0, 0, 0},         {768, 768, 8, 105},   {768, 768, 8, 140},   {1024, 768, 8, 105},
    {1024, 768, 8, 120},  {1024, 768, 8, 140},  {1280, 512, 8, 139},  {768, 768, 15, 105},
    {768, 768, 15, 140},  {1024, 768, 15, 105}, {1024, 768, 15, 120}, {1024, 768, 15, 140},
    {1280, 512, 15, 139}, {768, 768, 32, 105},  {768, 768, 32, 140},  {1024, 768, 32, 105},
    {1024, 768, 32, 120}, {1024, 768, 32, 140}, {1280, 512, 32, 139},
};

namespace {

// Colour registers loaded at every mode set: red in the low byte, 6 bits a
// component.
const ULONG gaulDefaultColourRegisters[16] = {
    0x000000, 0x15002A, 0x152A00, 0x152A2A, 0x2A0000, 0x2A152A, 0x2A2A15, 0x232221,
    0x323130, 0x00003F, 0x003F00, 0x003F3F, 0x3F0000, 0x3F003F, 0x3F3F00, 0x3F3F3F,
};

const WCHAR gawcDeviceName[] = u"kz*";
const WORD DM_SPECVERSION_KZ = 0x320;

// Pixel format of a mode's depth: (lowest depth, format, colour model, pixel class).
struct PIXELFORMAT {
    ULONG cMinBits;
    ULONG iBitmapFormat;
    ULONG ulColourModel;
    ULONG iPixelClass;
};
const PIXELFORMAT gaPixelFormats[] = {
    {24, BMF_32BPP, COLOUR_MODEL_DIRECT, 2},
    {15, BMF_16BPP, COLOUR_MODEL_DIRECT, 1},
    {0, BMF_8BPP, COLOUR_MODEL_INDEXED, 0},
};

inline const VIDEO_MODE_INFORMATION* pvmiAt(const BYTE* pjModes, ULONG i, ULONG cbMode) {
    return reinterpret_cast<const VIDEO_MODE_INFORMATION*>(pjModes +
                                                           static_cast<size_t>(i) * cbMode);
}

inline ULONG cBitsOf(const VIDEO_MODE_INFORMATION* pvmi) {
    return pvmi->NumberOfPlanes * pvmi->BitsPerPlane;
}

BOOL bIsEmptyRequest(const DEVMODEW* pdm) {
    return pdm->dmPelsWidth == 0 && pdm->dmPelsHeight == 0 && pdm->dmBitsPerPel == 0 &&
           pdm->dmDisplayFlags == 0 && pdm->dmDisplayFrequency == 0;
}

// Number of boards; 1 when the miniport cannot say, at most 2.
ULONG cQueryBoards(HANDLE hDriver) {
    ULONG cBoards = 0;
    DWORD cb = 0;
    if (EngDeviceIoControl(hDriver, IOCTL_VNX_BOARD_COUNT, nullptr, 0, &cBoards, sizeof cBoards,
                           &cb) != ERROR_SUCCESS)
        return 1;
    return cBoards > 2 ? 2 : cBoards;
}

}  // namespace

ULONG cGetModeList(HANDLE hDriver, BYTE** ppjModes, ULONG* pcbMode) {
    *ppjModes = nullptr;
    *pcbMode = 0;
    VIDEO_NUM_MODES num{};
    DWORD cb = 0;
    if (EngDeviceIoControl(hDriver, IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &num, sizeof num,
                           &cb) != ERROR_SUCCESS)
        return 0;
    // Records shorter than the fields read, or a list too large to hold,
    // cannot be used.
    const std::uint64_t cjTotal =
        static_cast<std::uint64_t>(num.NumModes) * num.ModeInformationLength;
    if (num.NumModes == 0 || num.ModeInformationLength < sizeof(VIDEO_MODE_INFORMATION) ||
        cjTotal > 0x7FFFFFFF)
        return 0;
    BYTE* pjModes = static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<SIZE_T>(cjTotal)));
    if (pjModes == nullptr) return 0;
    cb = 0;
    if (EngDeviceIoControl(hDriver, IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, pjModes,
                           static_cast<DWORD>(cjTotal), &cb) != ERROR_SUCCESS) {
        LocalFree(pjModes);
        return 0;
    }
    // Only whole records the miniport wrote count.
    const ULONG cModes = std::min<ULONG>(num.NumModes, cb / num.ModeInformationLength);
    if (cModes == 0) {
        LocalFree(pjModes);
        return 0;
    }
    *ppjModes = pjModes;
    *pcbMode = num.ModeInformationLength;
    return cModes;
}

ULONG DrvGetModes(HANDLE hDriver, ULONG cjSize, DEVMODEW* pdm) {
    if (pdm == nullptr) {
        VIDEO_NUM_MODES num{};
        DWORD cb = 0;
        if (EngDeviceIoControl(hDriver, IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &num,
                               sizeof num, &cb) != ERROR_SUCCESS ||
            num.NumModes > 0xFFFFFFFFu / CJ_DEVMODE)
            return 0;
        return CJ_DEVMODE * num.NumModes;
    }

    BYTE* pjModes = nullptr;
    ULONG cbMode = 0;
    const ULONG cModes = cGetModeList(hDriver, &pjModes, &cbMode);
    if (cModes == 0) return 0;

    // Records are built here and copied out whole: the caller's buffer (an
    // escape's output, for one) need not be aligned for the record.
    BYTE* pjOut = reinterpret_cast<BYTE*>(pdm);
    ULONG cjWritten = 0;
    for (ULONG i = 0; i < cModes && cjSize - cjWritten >= CJ_DEVMODE; ++i) {
        const VIDEO_MODE_INFORMATION* pvmi = pvmiAt(pjModes, i, cbMode);
        if (pvmi->Length == 0) continue;
        DEVMODEW dm{};
        std::memcpy(dm.dmDeviceName, gawcDeviceName, sizeof gawcDeviceName);
        dm.dmSpecVersion = DM_SPECVERSION_KZ;
        dm.dmDriverVersion = DM_SPECVERSION_KZ;
        dm.dmSize = CJ_DEVMODE;
        dm.dmDriverExtra = 0;
        dm.dmBitsPerPel = cBitsOf(pvmi);
        dm.dmPelsWidth = pvmi->VisScreenWidth;
        dm.dmPelsHeight = pvmi->VisScreenHeight;
        dm.dmDisplayFrequency = pvmi->Frequency;
        dm.dmDisplayFlags = (pvmi->AttributeFlags & VIDEO_MODE_INTERLACED) ? DM_INTERLACED : 0;
        std::memcpy(pjOut + cjWritten, &dm, CJ_DEVMODE);
        cjWritten += CJ_DEVMODE;
    }
    LocalFree(pjModes);
    return cjWritten;
}

const VIDEO_MODE_INFORMATION* pvmiSelectMode(const DEVMODEW* pdm, const BYTE* pjModes, ULONG cModes,
                                             ULONG cbMode) {
    const BOOL bAny = bIsEmptyRequest(pdm);
    const ULONG cBits = pdm->dmBitsPerPel == 24 ? 32 : pdm->dmBitsPerPel;
    const BOOL bInterlaced = (pdm->dmDisplayFlags & DM_INTERLACED) != 0;
    const ULONG ulFrequency = pdm->dmDisplayFrequency;

    const VIDEO_MODE_INFORMATION* pvmiNear = nullptr;
    for (ULONG i = 0; i < cModes; ++i) {
        const VIDEO_MODE_INFORMATION* pvmi = pvmiAt(pjModes, i, cbMode);
        if (pvmi->Length == 0) continue;
        if (bAny) return pvmi;
        if (pvmi->VisScreenWidth != pdm->dmPelsWidth ||
            pvmi->VisScreenHeight != pdm->dmPelsHeight || cBitsOf(pvmi) != cBits ||
            ((pvmi->AttributeFlags & VIDEO_MODE_INTERLACED) != 0) != bInterlaced)
            continue;
        if (ulFrequency == 0 || pvmi->Frequency == ulFrequency) return pvmi;
        const ULONG ulDiff = ulFrequency > pvmi->Frequency ? ulFrequency - pvmi->Frequency
                                                           : pvmi->Frequency - ulFrequency;
        if (ulDiff <= pvmi->Frequency / 10) pvmiNear = pvmi;
    }
    return pvmiNear;
}

BOOL bInitializeModeFields(PDEV* ppdev, const DEVMODEW* pdm, GDIINFO* pgdi, DEVINFO* pdi) {
    DWORD cb = 0;
    // The configuration is what the miniport keeps; a failed read leaves it
    // zero, which forces no stereo mode.
    EngDeviceIoControl(ppdev->hDriver, IOCTL_VNX_READ_BOARDCONFIG, nullptr, 0, &ppdev->bc,
                       sizeof(BoardConfig), &cb);

    BYTE* pjModes = nullptr;
    ULONG cbMode = 0;
    const ULONG cModes = cGetModeList(ppdev->hDriver, &pjModes, &cbMode);
    if (cModes == 0) return FALSE;

    // The board's stereo mode overrides the request. The request itself
    // stays as the engine gave it. An index past the table (the record can
    // be written by applications) forces nothing.
    DEVMODEW dm = *pdm;
    const ULONG iStereo = ppdev->bc.stereoMode;
    if (iStereo != 0 && iStereo < STEREO_MODES) {
        dm.dmPelsWidth = gaStereoModes[iStereo].cx;
        dm.dmPelsHeight = gaStereoModes[iStereo].cy;
        dm.dmBitsPerPel = gaStereoModes[iStereo].cBitsPerPixel;
        dm.dmDisplayFrequency = gaStereoModes[iStereo].ulFrequency;
    }

    const VIDEO_MODE_INFORMATION* pvmi = pvmiSelectMode(&dm, pjModes, cModes, cbMode);
    if (pvmi == nullptr) {
        LocalFree(pjModes);
        return FALSE;
    }

    ppdev->ulMode = pvmi->ModeIndex;
    const ULONG cBits = cBitsOf(pvmi);
    for (const PIXELFORMAT& pf : gaPixelFormats) {
        if (cBits >= pf.cMinBits) {
            ppdev->iBitmapFormat = pf.iBitmapFormat;
            ppdev->ulColourModel = pf.ulColourModel;
            ppdev->iPixelClass = pf.iPixelClass;
            break;
        }
    }
    ppdev->cxScreen = static_cast<LONG>(pvmi->VisScreenWidth);
    ppdev->cyScreen = static_cast<LONG>(pvmi->VisScreenHeight);
    ppdev->cxSurface = ppdev->cxScreen;
    ppdev->cySurface = ppdev->cyScreen;

    vFillDevCaps(ppdev, pvmi, &dm, cQueryBoards(ppdev->hDriver), pgdi, pdi);

    if (!(pvmi->AttributeFlags & VIDEO_MODE_NO_OFFSCREEN)) ppdev->flCaps |= CAPS_OFFSCREEN;
    LocalFree(pjModes);
    return TRUE;
}

BOOL bSetMode(PDEV* ppdev) {
    DWORD cb = 0;
    VIDEO_MODE vm{ppdev->ulMode};
    if (EngDeviceIoControl(ppdev->hDriver, IOCTL_VIDEO_SET_CURRENT_MODE, &vm, sizeof vm, nullptr, 0,
                           &cb) != ERROR_SUCCESS)
        return FALSE;

    // 16 registers from 0: the 4-byte header and 16 entries, 68 bytes.
    constexpr ULONG kcRegisters = sizeof gaulDefaultColourRegisters / sizeof(ULONG);
    alignas(4) BYTE ajClut[VIDEO_CLUT_HEADER_SIZE + 4 * kcRegisters];
    VIDEO_CLUT* pClut = reinterpret_cast<VIDEO_CLUT*>(ajClut);
    pClut->NumEntries = kcRegisters;
    pClut->FirstEntry = 0;
    std::memcpy(ajClut + VIDEO_CLUT_HEADER_SIZE, gaulDefaultColourRegisters,
                sizeof gaulDefaultColourRegisters);
    if (EngDeviceIoControl(ppdev->hDriver, IOCTL_VIDEO_SET_COLOR_REGISTERS, ajClut, sizeof ajClut,
                           nullptr, 0, &cb) != ERROR_SUCCESS)
        return FALSE;

    VIDEO_PUBLIC_ACCESS_RANGES aRanges[VNX_ACCESS_RANGES]{};
    if (EngDeviceIoControl(ppdev->hDriver, IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, nullptr, 0,
                           aRanges, sizeof aRanges, &cb) != ERROR_SUCCESS)
        return FALSE;
    static_assert(VNX_ACCESS_RANGES == MAX_RASTERIZERS, "one register window per rasterizer");
    for (ULONG i = 0; i < VNX_ACCESS_RANGES; ++i)
        ppdev->apRegs[i] = static_cast<BYTE*>(aRanges[i].VirtualAddress);
    ppdev->pjRegs = ppdev->apRegs[0];
    ppdev->f3DEnable = aRanges[0].MappedInIoSpace;
    return TRUE;
}
