// Window tracking: the driver's record of each window a context was made
// for, its client rectangle, its clip list (the client region) and its
// visible list (the clip list under the current context's scissor), kept up
// to date by the window object's callback.
#include <algorithm>
#include <cstring>

#include "batch/batch_internal.h"
#include "cliprects.h"
#include "escape/escape.h"

namespace {

// Rectangles of each enumeration batch after the first.
constexpr ULONG kLaterBatch = 40;
// Spare bytes a growing heap list takes beyond what it needs.
constexpr ULONG kHeapSpare = 128;
// A region of more rectangles than this is not kept (its lists fall back
// to empty ones).
constexpr ULONG kMaxRects = 0x100000;

void vBuiltInLists(WNDTRACK* pwt) {
    pwt->prlClip = reinterpret_cast<RECTLIST*>(pwt->ajBuiltIn);
    pwt->prlVisible = reinterpret_cast<RECTLIST*>(pwt->ajBuiltIn + CJ_RECTLIST(BUILTIN_RECTS));
}

// WOC_RGN_CLIENT: the client rectangle and the client region, enumerated
// into the built-in lists when they fit, else into a heap buffer that holds
// the clip list in its first half and the visible list in its second.
void vReadClientRegion(WNDTRACK* pwt) {
    WNDOBJ* pwo = pwt->pwo;
    pwt->rclClient = pwo->rclClient;
    vBuiltInLists(pwt);
    RECTLIST* prl = pwt->prlClip;
    if (pwo->coClient.iDComplexity != DC_COMPLEX) {
        const RECTL& rcl = pwo->coClient.rclBounds;
        prl->c = rcl.left < rcl.right && rcl.top < rcl.bottom ? 1 : 0;
        prl->arcl[0] = rcl;
        vComputeVisible(pwt, nullptr);
        return;
    }
    // Count: the first batch lands in the built-in clip list.
    WNDOBJ_cEnumStart(pwo, CT_RECTANGLES, CD_RIGHTDOWN, 0);
    BOOL bMore = WNDOBJ_bEnum(pwo, CJ_RECTLIST(BUILTIN_RECTS), reinterpret_cast<ULONG*>(prl));
    ULONG c = prl->c;
    struct {
        ULONG c;
        RECTL arcl[kLaterBatch];
    } later;
    while (bMore && c <= kMaxRects) {
        bMore = WNDOBJ_bEnum(pwo, sizeof later, reinterpret_cast<ULONG*>(&later));
        c += later.c;
    }
    if (c > BUILTIN_RECTS) {
        const ULONG cjNeed = c <= kMaxRects ? 2 * CJ_RECTLIST(c) : 0;
        if (cjNeed == 0 || pwt->cjHeap < cjNeed) {
            LocalFree(pwt->pjHeap);
            pwt->cjHeap = 0;
            pwt->pjHeap = cjNeed != 0 ? static_cast<BYTE*>(LocalAlloc(LPTR, cjNeed + kHeapSpare)) : nullptr;
            if (pwt->pjHeap == nullptr) {
                pwt->prlClip->c = 0;
                pwt->prlVisible->c = 0;
                return;
            }
            pwt->cjHeap = cjNeed + kHeapSpare;
        }
        pwt->prlClip = reinterpret_cast<RECTLIST*>(pwt->pjHeap);
        pwt->prlVisible = reinterpret_cast<RECTLIST*>(pwt->pjHeap + CJ_RECTLIST(c));
        WNDOBJ_cEnumStart(pwo, CT_RECTANGLES, CD_RIGHTDOWN, 0);
        WNDOBJ_bEnum(pwo, CJ_RECTLIST(c), reinterpret_cast<ULONG*>(pwt->prlClip));
    }
    vComputeVisible(pwt, nullptr);
}

// The window object's callback. It runs under the device's csEscape, so a
// change never lands in the middle of a batch.
void vWindowChanged(WNDOBJ* pwo, FLONG fl) {
    if (pwo->psoOwner == nullptr) return;
    PDEV* ppdev = reinterpret_cast<PDEV*>(pwo->psoOwner->dhpdev);
    CriticalSectionLock lock(ppdev->csEscape);
    WNDTRACK* pwt = static_cast<WNDTRACK*>(pwo->pvConsumer);
    if (pwt == nullptr || !bKnownWindow(ppdev, pwt)) return;
    if (fl & WOC_RGN_CLIENT) vReadClientRegion(pwt);
    if (fl & WOC_DELETE) {
        cDeleteContexts(pwt, 0);
        WNDOBJ_vSetConsumer(pwo, nullptr);
        pwt->pwo = nullptr;  // the engine deletes it
        vFreeWindow(pwt);
    }
}

}  // namespace

WNDTRACK* pwtWindowFor(SURFOBJ* pso, PDEV* ppdev, ULONG hwnd, BOOL bMake) {
    WNDOBJ* pwo = vnx::engine::window_object(pso, hwnd);
    if (pwo != nullptr) {
        WNDTRACK* pwt = static_cast<WNDTRACK*>(pwo->pvConsumer);
        return bKnownWindow(ppdev, pwt) ? pwt : nullptr;
    }
    if (!bMake) return nullptr;
    pwo = EngCreateWnd(pso, reinterpret_cast<HWND>(static_cast<std::uintptr_t>(hwnd)), vWindowChanged,
                       WO_RGN_CLIENT_DELTA | WO_RGN_CLIENT | WO_RGN_SURFACE_DELTA, 0);
    if (pwo == nullptr || pwo == reinterpret_cast<WNDOBJ*>(static_cast<std::intptr_t>(-1)))
        return nullptr;
    WNDTRACK* pwt = static_cast<WNDTRACK*>(LocalAlloc(LPTR, sizeof(WNDTRACK)));
    if (pwt == nullptr) {
        EngDeleteWnd(pwo);
        return nullptr;
    }
    pwt->pwo = pwo;
    pwt->hwnd = hwnd;
    pwt->ppdev = ppdev;
    vBuiltInLists(pwt);
    WNDOBJ_vSetConsumer(pwo, pwt);
    vRegisterWindow(ppdev, pwt);
    // The window object describes the window as it is now: the lists start
    // from that instead of waiting for its first change.
    vReadClientRegion(pwt);
    return pwt;
}

void vFreeWindow(WNDTRACK* pwt) {
    vForgetWindow(pwt->ppdev, pwt);
    if (pwt->pwo != nullptr) {
        WNDOBJ_vSetConsumer(pwt->pwo, nullptr);
        EngDeleteWnd(pwt->pwo);
    }
    LocalFree(pwt->pjHeap);
    LocalFree(pwt);
}

void vComputeVisible(WNDTRACK* pwt, const BATCHRC* prc) {
    const RECTLIST* prlClip = pwt->prlClip;
    RECTLIST* prlVis = pwt->prlVisible;
    if (prc == nullptr || !prc->fScissor) {
        prlVis->c = prlClip->c;
        std::copy_n(prlClip->arcl, prlClip->c, prlVis->arcl);
        return;
    }
    // The scissor in screen coordinates; far-off values stay far off.
    const auto screen = [](std::int64_t v) {
        return static_cast<LONG>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
    };
    const std::int64_t x = std::int64_t{pwt->rclClient.left} + prc->xScissor;
    const std::int64_t y = std::int64_t{pwt->rclClient.top} + prc->yScissor;
    const RECTL rclScissor = {screen(x), screen(y), screen(x + prc->cxScissor), screen(y + prc->cyScissor)};
    ULONG c = 0;
    for (ULONG i = 0; i < prlClip->c; ++i) {
        if (prlClip->arcl[i].top >= rclScissor.bottom) break;
        if (bIntersect(prlClip->arcl[i], rclScissor, &prlVis->arcl[c])) ++c;
    }
    prlVis->c = c;
}
