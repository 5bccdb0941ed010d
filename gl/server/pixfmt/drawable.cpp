// Drawables: made by the set-pixel-format hook as the consumer of the
// window's window object, told of the window's changes by the engine, and
// freed with the window.
#include "pixfmt/drawable.h"

#include "glpdev.h"
#include "platform/engine.h"
#include "seams.h"

namespace {

// What the window object reports (EngCreateWnd flags): the client region,
// its newly visible part, and surface moves.
constexpr FLONG kWindowEvents = WO_RGN_CLIENT_DELTA | WO_RGN_CLIENT | WO_RGN_SURFACE_DELTA;

// The events of the window callback.
constexpr FLONG kClientRegionChanged = 0x01;
constexpr FLONG kClientRegionMoved = 0x02;
constexpr FLONG kSurfaceMoved = 0x04;
constexpr FLONG kWindowDeleted = 0x20;

// Every drawable alive, newest first.
GLDrawable* gpDrawables = nullptr;

// The clip changed: every bound context's lgi context gets the new list.
void vClipChanged(GLDrawable* pdraw) {
    if (!__glUpdateClipList(&pdraw->clip, pdraw->pwo)) return;
    for (GLContextNode* pn = pdraw->pContexts; pn != nullptr; pn = pn->pNext) {
        if (__glMakeLgiCurrent(pn->gc)) __glBindClipList(&pdraw->clip, pdraw->pwo);
    }
}

}  // namespace

GLDrawable* pdrawFromWindow(WNDOBJ* pwo) {
    return pwo != nullptr ? static_cast<GLDrawable*>(pwo->pvConsumer) : nullptr;
}

WNDOBJ* pwoFromEngineHandle(ULONG hwo) { return vnx::engine::call_window_object(hwo); }
XLATEOBJ* pxoFromEngineHandle(ULONG hxo) { return vnx::engine::call_xlate_object(hxo); }

BOOL glDrvSetPixelFormat(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd) {
    auto* pdraw = static_cast<GLDrawable*>(LocalAlloc(LPTR, sizeof(GLDrawable)));
    if (pdraw == nullptr) {
        __glXDebugPrint("could not allocate drawable\n");
        return FALSE;
    }
    pixman_region_init(&pdraw->clip.region);
    WNDOBJ* pwo = EngCreateWnd(pso, hwnd, glWindowCallback, kWindowEvents, iPixelFormat);
    // (WNDOBJ*)-1: the window has a window object on this device already.
    if (pwo == nullptr || pwo == reinterpret_cast<WNDOBJ*>(static_cast<intptr_t>(-1))) {
        pixman_region_fini(&pdraw->clip.region);
        LocalFree(pdraw);
        return FALSE;
    }
    pdraw->ppdev = reinterpret_cast<PDEV*>(pso->dhpdev);
    pdraw->iPixelFormat = iPixelFormat;
    pdraw->iLayer = 0;
    pdraw->pwo = pwo;
    pdraw->pNextDrawable = gpDrawables;
    if (gpDrawables != nullptr) gpDrawables->ppPrevDrawable = &pdraw->pNextDrawable;
    pdraw->ppPrevDrawable = &gpDrawables;
    gpDrawables = pdraw;
    WNDOBJ_vSetConsumer(pwo, pdraw);
    return TRUE;
}

void glWindowCallback(WNDOBJ* pwo, FLONG fl) {
    GLDrawable* pdraw = pdrawFromWindow(pwo);
    if (pdraw == nullptr) return;
    // The engine calls from the thread that changed the window, outside the
    // driver's escape lock: take it, so that no request on this drawable
    // runs meanwhile.
    CRITICAL_SECTION* pcs = pGLEscapeLock(pdraw->ppdev);
    EnterCriticalSection(pcs);
    switch (fl) {
        case kClientRegionChanged: _DClientRegionChanged(pdraw->pBufferSet, pwo); break;
        case kClientRegionMoved:
            for (GLContextNode* pn = pdraw->pContexts; pn != nullptr; pn = pn->pNext)
                __glContextWindowChanged(pn->gc);
            if (pwo->coClient.iUniq != pdraw->clip.iUniq) vClipChanged(pdraw);
            break;
        // The drawable's own device: a surface move may come before any
        // client-region change.
        case kSurfaceMoved: _DSurfaceMoved(pdraw->ppdev, pdraw->pBufferSet, pwo); break;
        case kWindowDeleted: __glFreeDrawable(pdraw); break;
        default: break;
    }
    LeaveCriticalSection(pcs);
}

void __glFreeDrawable(GLDrawable* pdraw) {
    GLContextNode* pn = pdraw->pContexts;
    while (pn != nullptr) {
        GLContextNode* pNext = pn->pNext;
        // The context finishes, lets go of its client and buffers, and
        // forgets the drawable.
        __glContextDrawableGone(pn->gc);
        LocalFree(pn);
        pn = pNext;
    }
    pdraw->pContexts = nullptr;
    if (pdraw->pBufferSet != nullptr) _DFreeBufferSet(pdraw->ppdev, pdraw->pBufferSet);
    __glFreeClipList(&pdraw->clip);
    *pdraw->ppPrevDrawable = pdraw->pNextDrawable;
    if (pdraw->pNextDrawable != nullptr) pdraw->pNextDrawable->ppPrevDrawable = pdraw->ppPrevDrawable;
    LocalFree(pdraw);
}

void __glFreeAllDrawables(void) {
    while (gpDrawables != nullptr) {
        GLDrawable* pdraw = gpDrawables;
        EngDeleteWnd(pdraw->pwo);
        __glFreeDrawable(pdraw);
    }
}

LONG __glBindDrawable(GLDrawable* pdraw, GLContext* gc) {
    auto* pn = static_cast<GLContextNode*>(LocalAlloc(LPTR, sizeof(GLContextNode)));
    if (pn == nullptr) return -1;
    pn->gc = gc;
    pn->pNext = pdraw->pContexts;
    pdraw->pContexts = pn;
    __glBindClipList(&pdraw->clip, pdraw->pwo);
    return 0;
}

void __glUnbindDrawable(GLDrawable* pdraw, GLContext* gc) {
    for (GLContextNode** pp = &pdraw->pContexts; *pp != nullptr; pp = &(*pp)->pNext) {
        if ((*pp)->gc == gc) {
            GLContextNode* pn = *pp;
            *pp = pn->pNext;
            LocalFree(pn);
            return;
        }
    }
}
