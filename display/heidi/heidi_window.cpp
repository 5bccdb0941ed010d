// Windows of the immediate-mode 3D escape: binding a window and mapping the
// client's section (code 90), the window object's callback, and the record's
// end. A record is owned by a driver object of the client that bound the
// window, so that its handle is checked on every use and the client's end
// releases it; the window's deletion releases it too.
#include <algorithm>
#include <mutex>
#include <set>

#include "cliprects.h"
#include "heidi/heidi_internal.h"

namespace {

// Every live record, for the callback's and the disable's checks. Plain
// statics: the driver's library is unloaded and loaded again and takes
// them along.
std::mutex& records_lock() {
    static std::mutex m;
    return m;
}
std::set<HEIDIWND*>& records() {
    static std::set<HEIDIWND*> s;
    return s;
}

bool bLive(HEIDIWND* phw) {
    std::lock_guard<std::mutex> g(records_lock());
    return records().count(phw) != 0;
}

// What the record holds besides its memory: textures, view, section,
// window object. The record stays (its driver object frees it).
void vRelease(HEIDIWND* phw) {
    if (phw->ppdev != nullptr) vFreeTextures(phw->ppdev, phw);
    if (phw->pjView != nullptr) UnmapViewOfFile(phw->pjView);
    if (phw->hSection != nullptr) CloseHandle(phw->hSection);
    if (phw->pwo != nullptr) {
        WNDOBJ_vSetConsumer(phw->pwo, nullptr);
        EngDeleteWnd(phw->pwo);
    }
    phw->pjView = nullptr;
    phw->hSection = nullptr;
    phw->pwo = nullptr;
    phw->cClip = 0;
}

// The driver object's clean-up: the client ended, or its window went away.
BOOL bFreeHeidiWindow(DRIVEROBJ* pdo) {
    HEIDIWND* phw = static_cast<HEIDIWND*>(pdo->pvObj);
    PDEV* ppdev = reinterpret_cast<PDEV*>(pdo->dhpdev);
    {
        std::lock_guard<std::mutex> g(records_lock());
        records().erase(phw);
    }
    if (ppdev != nullptr && phw->ppdev != nullptr) {
        CriticalSectionLock lock(ppdev->csEscape);
        vRelease(phw);
    } else {
        vRelease(phw);
    }
    LocalFree(phw);
    return TRUE;
}

// The client rectangle and region of the window as the window object has
// them now: at most HEIDI_MAX_CLIP rectangles are kept.
void vReadRegion(HEIDIWND* phw) {
    WNDOBJ* pwo = phw->pwo;
    phw->rclClient = pwo->rclClient;
    struct {
        ULONG c;
        RECTL arcl[HEIDI_MAX_CLIP];
    } list{};
    static_assert(sizeof list == 1028, "one enumeration of 1028 bytes");
    WNDOBJ_cEnumStart(pwo, CT_RECTANGLES, CD_RIGHTDOWN, HEIDI_MAX_CLIP);
    const BOOL bMore = WNDOBJ_bEnum(pwo, sizeof list, reinterpret_cast<ULONG*>(&list));
    if (bMore) DbgPrint("!bqrn_heidi_callback(): clip_limit exceeded\n");
    phw->cClip = std::min<ULONG>(list.c, HEIDI_MAX_CLIP);
    std::copy_n(list.arcl, phw->cClip, phw->arclClip);
}

void bqrn_heidi_callback(WNDOBJ* pwo, FLONG fl) {
    if (pwo->psoOwner == nullptr) return;
    PDEV* ppdev = reinterpret_cast<PDEV*>(pwo->psoOwner->dhpdev);
    CriticalSectionLock lock(ppdev->csEscape);
    HEIDIWND* phw = static_cast<HEIDIWND*>(pwo->pvConsumer);
    if (phw == nullptr || !bLive(phw) || phw->pwo != pwo) return;
    if (fl & (WOC_RGN_CLIENT_DELTA | WOC_RGN_CLIENT)) vReadRegion(phw);
    if (fl & WOC_DELETE) {
        phw->pwo = nullptr;  // the engine deletes it
        phw->cClip = 0;
        EngDeleteDriverObj(phw->hobj, TRUE, FALSE);
    }
}

// Format bits of a colour pid by the device's depth.
ULONG ulColourFormat(const PDEV* ppdev) {
    switch (ppdev->iBitmapFormat) {
        case BMF_8BPP: return 0x4000u;
        case BMF_16BPP: return 0x8000u;
        default: return 0xA000u;
    }
}

// Maps the client's section into the driver: its handle duplicated from the
// calling process, the whole size.
BOOL bMapSection(HEIDIWND* phw, ULONG hSection, ULONG cjSize) {
    HANDLE hCaller = EngGetProcessHandle();
    if (hCaller == nullptr) return FALSE;
    HANDLE hDup = nullptr;
    if (!DuplicateHandle(hCaller, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(hSection)),
                         GetCurrentProcess(), &hDup, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return FALSE;
    BYTE* pjView = static_cast<BYTE*>(MapViewOfFile(hDup, FILE_MAP_WRITE, 0, 0, cjSize));
    if (pjView == nullptr) {
        CloseHandle(hDup);
        return FALSE;
    }
    phw->hProcess = hCaller;
    phw->hSection = hDup;
    phw->pjView = pjView;
    phw->cjView = cjSize;
    return TRUE;
}

}  // namespace

ULONG ulPidPair(const PDEV* ppdev, BOOL bBack) {
    const ULONG pidColour = ((bBack ? ppdev->pidBack : ppdev->pidScreen) & PID_SLOT_MASK) |
                            ulColourFormat(ppdev);
    const ULONG ulDepthFormat = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->cDepthBits == 16
                                    ? 0x6000u
                                    : 0xA000u;
    const ULONG pidDepth = (ppdev->pidZ & PID_SLOT_MASK) | ulDepthFormat;
    return pidColour | pidDepth << 16;
}

SURFOBJ* psoHeidiTarget(SURFOBJ* psoScreen, const HEIDIWND* phw) {
    return phw->fBack ? phw->ppdev->psoBack : psoScreen;
}

ULONG ulHeidiInit(SURFOBJ* pso, PDEV* ppdev, const HEIDICMD& cmd) {
    if (ppdev->hsurfBack == nullptr || ppdev->psoBack == nullptr || ppdev->hsurfZ == nullptr) {
        DbgPrint("qrn_heidi(): failed to init, no back and/or Z buf\n");
        return 0;
    }
    const ULONG hSection = cmd.cx | static_cast<ULONG>(cmd.cy) << 16;
    const ULONG cjSize = cmd.x | static_cast<ULONG>(cmd.y) << 16;
    // The view must hold its header and the room the header advertises.
    if (cjSize < HEIDI_VIEW_DATA + 40) return 0;
    LONG iKind;
    switch (ppdev->iBitmapFormat) {
        case BMF_8BPP: iKind = 0; break;
        case BMF_16BPP: iKind = 1; break;
        case BMF_32BPP: iKind = 2; break;
        default: return 0;
    }
    WNDOBJ* pwo = EngCreateWnd(pso, reinterpret_cast<HWND>(static_cast<std::uintptr_t>(cmd.hWindow)),
                               bqrn_heidi_callback, WO_RGN_CLIENT_DELTA | WO_RGN_CLIENT, 0);
    if (pwo == nullptr || pwo == reinterpret_cast<WNDOBJ*>(static_cast<std::intptr_t>(-1))) return 0;
    HEIDIWND* phw = static_cast<HEIDIWND*>(LocalAlloc(LPTR, sizeof(HEIDIWND)));
    if (phw == nullptr) {
        EngDeleteWnd(pwo);
        return 0;
    }
    phw->pwo = pwo;
    phw->ppdev = ppdev;
    phw->ulPidPair = ulPidPair(ppdev, FALSE);
    WNDOBJ_vSetConsumer(pwo, phw);
    HDRVOBJ h = 0;
    if (bMapSection(phw, hSection, cjSize)) h = EngCreateDriverObj(phw, bFreeHeidiWindow, ppdev->hdevEng);
    if (h == 0) {
        vRelease(phw);
        LocalFree(phw);
        return 0;
    }
    phw->hobj = h;
    {
        std::lock_guard<std::mutex> g(records_lock());
        records().insert(phw);
    }
    HEIDIVIEW* pv = reinterpret_cast<HEIDIVIEW*>(phw->pjView);
    pv->ulFormat = ppdev->iBitmapFormat;
    pv->ulPixelKind = static_cast<ULONG>(iKind);
    pv->ulDepthBits = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->cDepthBits == 16 ? 16u
                      : ppdev->pPageConfig != nullptr && ppdev->pPageConfig->cDepthBits == 24 ? 24u
                                                                                              : 32u;
    pv->ulRoomLimit = (cjSize - HEIDI_VIEW_DATA) / 4 - 10;
    // The window object describes the window as it is now.
    vReadRegion(phw);
    return h;
}

HEIDIWND* phwFind(PDEV* ppdev, ULONG h) {
    if (h == 0) return nullptr;
    DRIVEROBJ* pdo = EngLockDriverObj(h);
    if (pdo == nullptr) return nullptr;
    HEIDIWND* phw = pdo->pFreeProc == bFreeHeidiWindow ? static_cast<HEIDIWND*>(pdo->pvObj) : nullptr;
    // Records are freed only under csEscape, which the caller holds.
    EngUnlockDriverObj(h);
    if (phw == nullptr || phw->ppdev != ppdev || phw->pjView == nullptr) return nullptr;
    return phw;
}

ULONG cHeidiClip(const PDEV* ppdev, const HEIDIWND* phw, RECTL* prcl) {
    const RECTL rclArea = {0, 0, ppdev->cxSurface, ppdev->cySurface};
    RECTL rclBound;
    if (!bRectIntersect(&phw->rclClient, &rclArea, &rclBound)) return 0;
    ULONG c = 0;
    for (ULONG i = 0; i < phw->cClip; ++i) {
        if (bRectIntersect(&phw->arclClip[i], &rclBound, &prcl[c])) ++c;
    }
    return c;
}

void vHeidiDisable(PDEV* ppdev) {
    CriticalSectionLock lock(ppdev->csEscape);
    std::set<HEIDIWND*> live;
    {
        std::lock_guard<std::mutex> g(records_lock());
        live = records();
    }
    for (HEIDIWND* phw : live) {
        if (phw->ppdev != ppdev) continue;
        vRelease(phw);
        phw->ppdev = nullptr;
    }
    vFreeTextures(ppdev, nullptr);
}
