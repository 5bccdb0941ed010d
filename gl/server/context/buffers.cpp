// The buffer manager: each drawable's buffer set over the device's
// surfaces, the global list of sets with their screen rectangles, binding
// the buffers to lgi before a request, and swaps through the display
// driver's kz2SwapBackToFrontC.
#include "context/buffers.h"

#include <cstring>

#include "context/context.h"
#include "pixfmt/drawable.h"
#include "glpdev.h"
#include "pixfmt/pixfmt.h"
#include "platform/engine.h"
#include "seams.h"
#include "vornix_surface.h"
#include "vornix_swap.h"

namespace {

constexpr ULONG kListGrowth = 64;

// One entry of the global list: the set and its active buffer's rectangle.
struct BufferListEntry {
    GLBufferSet* pbs;
    LONG x0, y0, x1, y1;
    ULONG state;  // 1 new, 2 to be examined again, 0 examined
};
static_assert(sizeof(BufferListEntry) == 24 || sizeof(void*) == 8, "24-byte entries");

BufferListEntry* gpList = nullptr;
ULONG gcList = 0;
ULONG gcListCapacity = 0;
ULONG giListLast = 0;
BOOL gbOverlayPresent = FALSE;
PDEV* gppdev = nullptr;  // the device the manager was set up for
ULONG gcScreenBits = 8;

// The set's buffers in the order the active buffer is looked for.
constexpr ULONG kActiveOrder[] = {GLBS_DEPTH,  GLBS_FRONT_LEFT, GLBS_BACK_LEFT, GLBS_FRONT_RIGHT,
                                  GLBS_BACK_RIGHT, GLBS_ALPHA0, GLBS_ALPHA1,  GLBS_ALPHA2,
                                  GLBS_ALPHA3, GLBS_STENCIL, GLBS_ACCUM};
// The order a set's buffers are freed in.
constexpr ULONG kFreeOrder[] = {GLBS_FRONT_RIGHT, GLBS_BACK_RIGHT, GLBS_DEPTH,  GLBS_ALPHA0,
                                GLBS_ALPHA1,      GLBS_ALPHA2,     GLBS_ALPHA3, GLBS_STENCIL,
                                GLBS_ACCUM,       GLBS_FRONT_LEFT, GLBS_BACK_LEFT};


// The format word of a device buffer of `bits` for the surface's page block.
ULONG ulFormatWord(ULONG pidSurface, ULONG kind, ULONG bits, const GLVisual* pvis) {
    ULONG fmt;
    if (pvis->iLayer != 0)
        fmt = bits < 24 ? 0x8000u : 0xC000u;
    else if (bits <= 8)
        fmt = 0x4000u;
    else if (bits == 16)
        fmt = (kind & (GLBUFFER_DEPTH | 0x800u)) != 0 ? 0x6000u : 0x8000u;
    else
        fmt = 0xA000u;
    return (pidSurface & 0x1Fu) | fmt;
}

ULONG ulPidOf(SURFOBJ* pso) {
    if (pso == nullptr || pso->dhsurf == nullptr) return 0;
    const DFB* pdfb = reinterpret_cast<DSURF*>(pso->dhsurf)->pdfb;
    return pdfb != nullptr ? pdfb->pid : 0;
}

void vFreeBuffer(GLBuffer* pb) {
    if (pb == nullptr) return;
    LocalFree(pb->pDeviceRecord);
    LocalFree(pb->pvPixels);
    LocalFree(pb);
}

// A buffer of the kind over the window's rectangle, or null.
GLBuffer* pbCreateBuffer(GLBufferSet* pbs, ULONG kind, SURFOBJ* pso, const RECTL& rcl) {
    PDEV* ppdev = ppdevOf(pso);
    SURFOBJ* psoDevice = nullptr;
    ULONG bits = 0;
    SURFOBJ* psoScreen = nullptr;
    switch (kind) {
        case GLBUFFER_FRONT_LEFT:
        case GLBUFFER_FRONT_RIGHT:
            bits = pbs->pvis->cColorBits;
            psoScreen = EngLockSurface(hsurfGLScreen(ppdev));
            psoDevice = psoScreen;
            break;
        case GLBUFFER_BACK_LEFT:
        case GLBUFFER_BACK_RIGHT:
            bits = pbs->pvis->cColorBits;
            psoDevice = psoGLBack(ppdev);
            break;
        case GLBUFFER_DEPTH:
        case 0x800u:
        case GLBUFFER_DEPTH_STENCIL:
            bits = pbs->pvis->cDepthBits;
            psoDevice = psoGLDepth(ppdev);
            break;
        default:
            // Stencil, alpha and accumulation buffers come with the
            // ancillary-buffer work; a kind not made is simply absent.
            return nullptr;
    }
    if (psoDevice == nullptr) return nullptr;
    auto* pb = static_cast<GLBuffer*>(LocalAlloc(LPTR, sizeof(GLBuffer)));
    auto* pdr = static_cast<GLDeviceRecord*>(LocalAlloc(LPTR, sizeof(GLDeviceRecord)));
    if (pb == nullptr || pdr == nullptr) {
        LocalFree(pb);
        LocalFree(pdr);
        if (psoScreen != nullptr) EngUnlockSurface(psoScreen);
        return nullptr;
    }
    pb->kind = kind;
    pb->bitsPerPixel = bits;
    pb->x = rcl.left;
    pb->y = rcl.top;
    pb->cx = rcl.right - rcl.left;
    pb->cy = rcl.bottom - rcl.top;
    pb->bytesPerPixel = bits == 24 ? 4 : bits / 8;
    pb->memoryKind = GLBUFFER_MEMORY_DEVICE;
    pb->hsurf = psoDevice->hsurf;
    pdr->pid = ulFormatWord(ulPidOf(psoDevice), kind, bits, pbs->pvis);
    pdr->ulLimit = 0xFFFF;
    pdr->rclSwap = rcl;
    pdr->pWindow = pbs->pWindow;
    // The primary is locked again by its handle whenever it is used.
    pdr->pso = psoScreen != nullptr ? nullptr : psoDevice;
    pb->pDeviceRecord = pdr;
    if (psoScreen != nullptr) EngUnlockSurface(psoScreen);
    return pb;
}

// The list's state of the set's entry: its active buffer's rectangle.
void vStoreEntry(BufferListEntry* pe, GLBufferSet* pbs, ULONG state) {
    const GLBuffer* pb = _DGetActiveBuffer(pbs);
    pe->pbs = pbs;
    pe->x0 = pb != nullptr ? pb->x : 0;
    pe->y0 = pb != nullptr ? pb->y : 0;
    pe->x1 = pb != nullptr ? pb->x + pb->cx : 0;
    pe->y1 = pb != nullptr ? pb->y + pb->cy : 0;
    pe->state = state;
}

// Marks every other set whose rectangle overlaps the entry's to be examined
// again (their board rectangles may have to follow).
void vExamineOverlaps(ULONG i) {
    const BufferListEntry& e = gpList[i];
    for (ULONG j = 0; j < gcListCapacity; ++j) {
        BufferListEntry& o = gpList[j];
        if (j == i || o.pbs == nullptr) continue;
        if (o.x0 < e.x1 && e.x0 < o.x1 && o.y0 < e.y1 && e.y0 < o.y1) o.state = 2;
    }
    gpList[i].state = 0;
}

BOOL bAddToBufferList(GLBufferSet* pbs) {
    EnterCriticalSection(&gcsBufferList);
    BOOL bDone = FALSE;
    if (gcList + 1 > gcListCapacity) {
        const ULONG cNew = gcListCapacity + kListGrowth;
        auto* p = static_cast<BufferListEntry*>(LocalAlloc(LPTR, cNew * sizeof(BufferListEntry)));
        if (p == nullptr) {
            __glXDebugPrint("_DAddToBufferList: alloc failed\n");
            LeaveCriticalSection(&gcsBufferList);
            return FALSE;
        }
        if (gpList != nullptr) std::memcpy(p, gpList, gcListCapacity * sizeof(BufferListEntry));
        LocalFree(gpList);
        gpList = p;
        gcListCapacity = cNew;
    }
    // A free entry from the last used one upward, then downward.
    LONG iFree = -1;
    for (ULONG i = giListLast; i < gcListCapacity && iFree < 0; ++i)
        if (gpList[i].pbs == nullptr) iFree = static_cast<LONG>(i);
    for (LONG i = static_cast<LONG>(giListLast); i >= 0 && iFree < 0; --i)
        if (i < static_cast<LONG>(gcListCapacity) && gpList[i].pbs == nullptr) iFree = i;
    if (iFree < 0) {
        __glXDebugPrint("_DAddToBufferList: find failed\n");
    } else {
        ++gcList;
        giListLast = static_cast<ULONG>(iFree);
        vStoreEntry(&gpList[iFree], pbs, 1);
        vExamineOverlaps(static_cast<ULONG>(iFree));
        if (pbs->bOverlay) gbOverlayPresent = TRUE;
        bDone = TRUE;
    }
    LeaveCriticalSection(&gcsBufferList);
    return bDone;
}

// Whether a listed set has an overlay visual (under the lock).
BOOL bAnyOverlaySet() {
    for (ULONG i = 0; i < gcListCapacity; ++i)
        if (gpList[i].pbs != nullptr && gpList[i].pbs->bOverlay) return TRUE;
    return FALSE;
}

// The set leaves the list; the overlay-present flag follows at once, so a
// window move never redraws for an overlay set that is gone.
void vRemoveFromBufferList(GLBufferSet* pbs) {
    EnterCriticalSection(&gcsBufferList);
    const LONG i = _DFindBufferList(pbs);
    if (i >= 0) {
        gpList[i] = BufferListEntry{};
        --gcList;
    }
    gbOverlayPresent = bAnyOverlaySet();
    LeaveCriticalSection(&gcsBufferList);
}

// The set's entry follows its active buffer's rectangle; overlaps examined.
void vChangeBufferExtents(GLBufferSet* pbs) {
    EnterCriticalSection(&gcsBufferList);
    const LONG i = _DFindBufferList(pbs);
    if (i < 0) {
        __glXDebugPrint("_DChangeBufferExtents: find failed\n");
    } else {
        BufferListEntry e{};
        vStoreEntry(&e, pbs, 2);
        if (e.x0 != gpList[i].x0 || e.y0 != gpList[i].y0 || e.x1 != gpList[i].x1 ||
            e.y1 != gpList[i].y1) {
            gpList[i] = e;
            vExamineOverlaps(static_cast<ULONG>(i));
        }
    }
    LeaveCriticalSection(&gcsBufferList);
}

void vFreeSet(GLBufferSet* pbs) {
    for (ULONG i : kFreeOrder) vFreeBuffer(pbs->apBuffers[i]);
    LocalFree(pbs->pWindow);
    LocalFree(pbs->prclBoxes);
    LocalFree(pbs);
}

// The swap of the back buffer's rectangle with the plane selector.
void vSwap(GLBufferSet* pbs, ULONG fPlanes) {
    GLBuffer* pbBack = pbs->apBuffers[GLBS_BACK_LEFT];
    GLBuffer* pbFront = pbs->apBuffers[GLBS_FRONT_LEFT];
    if (pbBack == nullptr || pbFront == nullptr) return;
    auto* pdrBack = static_cast<GLDeviceRecord*>(pbBack->pDeviceRecord);
    auto* pdrFront = static_cast<GLDeviceRecord*>(pbFront->pDeviceRecord);
    WNDOBJ* pwo = pbs->pWindow->pwo;
    RECTL rcl = pdrBack->rclSwap;
    PDEV* ppdev = ppdevOf(pdrBack->pso);
    (void)pdrFront;
    SURFOBJ* psoFront = EngLockSurface(pbFront->hsurf);
    if (psoFront == nullptr) return;
    const BOOL bDirect = ppdev != nullptr && plGLSwapState(ppdev)[0] == 1;
    kz2SwapBackToFrontC(pdrBack->pso, psoFront, pwo != nullptr ? &pwo->coClient : nullptr, &rcl,
                        fPlanes, bDirect, fPlanes);
    EngUnlockSurface(psoFront);
}

}  // namespace

GLBuffer* _DGetActiveBuffer(GLBufferSet* pbs) {
    for (ULONG i : kActiveOrder)
        if (pbs->apBuffers[i] != nullptr) return pbs->apBuffers[i];
    __glXDebugPrint("_DGetActiveBuffer: XXXXXX BROKEN: NO ACTIVE BUFFER???\n");
    return nullptr;
}

LONG _DFindBufferList(GLBufferSet* pbs) {
    ULONG cSeen = 0;
    for (ULONG i = 0; i < gcListCapacity; ++i) {
        if (gpList[i].pbs == pbs) return static_cast<LONG>(i);
        if (gpList[i].pbs != nullptr) ++cSeen;
    }
    if (pbs != nullptr) __glXDebugPrint("_DFindBufferList: %d != %d ???\n", cSeen, gcList);
    return -1;
}

ULONG _DBufferListCount(ULONG* pcCapacity) {
    EnterCriticalSection(&gcsBufferList);
    const ULONG c = gcList;
    if (pcCapacity != nullptr) *pcCapacity = gcListCapacity;
    LeaveCriticalSection(&gcsBufferList);
    return c;
}

void __glInitBufferManager(PDEV* ppdev) {
    gppdev = ppdev;
    const ULONG iFormat = ulGLBitmapFormat(ppdev);
    gcScreenBits = iFormat == BMF_32BPP ? 32 : iFormat == BMF_16BPP ? 16 : 8;
}

GLBufferSet* __glCreateBufferSet(SURFOBJ* pso, WNDOBJ* pwo, GLVisual* pvis) {
    PDEV* ppdev = ppdevOf(pso);
    if (ppdev == nullptr || pwo == nullptr || pvis == nullptr) return nullptr;
    auto* pbs = static_cast<GLBufferSet*>(LocalAlloc(LPTR, sizeof(GLBufferSet)));
    auto* pwr = static_cast<GLWindowRecord*>(LocalAlloc(LPTR, sizeof(GLWindowRecord)));
    if (pbs == nullptr || pwr == nullptr) {
        LocalFree(pbs);
        LocalFree(pwr);
        return nullptr;
    }
    static constexpr ULONG kDescriptor[6] = {1, 0, 1, 1, 1, 1};
    std::memcpy(pbs->aulDescriptor, kDescriptor, sizeof kDescriptor);
    pwr->pso = pso;
    pwr->pwo = pwo;
    pbs->pWindow = pwr;
    pbs->pvis = pvis;
    pbs->bOverlay = pvis->iLayer != 0;
    const PAGECONFIG* ppc = pGLPageConfig(ppdev);
    const BOOL bStereo = ppc != nullptr && ppc->fStereo != 0 && pvis->bStereo != 0;
    const RECTL rcl = pwo->rclClient;
    struct Want {
        ULONG word, kind;
    };
    const Want wants[] = {{GLBS_FRONT_LEFT, GLBUFFER_FRONT_LEFT},
                          {GLBS_BACK_LEFT, GLBUFFER_BACK_LEFT},
                          {GLBS_FRONT_RIGHT, GLBUFFER_FRONT_RIGHT},
                          {GLBS_BACK_RIGHT, GLBUFFER_BACK_RIGHT}};
    for (const Want& w : wants) {
        if (!bStereo && (w.kind & (GLBUFFER_FRONT_RIGHT | GLBUFFER_BACK_RIGHT))) continue;
        // A single-buffered window on a board without a back buffer has none.
        const BOOL bBack = (w.kind & (GLBUFFER_BACK_LEFT | GLBUFFER_BACK_RIGHT)) != 0;
        pbs->apBuffers[w.word] = pbCreateBuffer(pbs, w.kind, pso, rcl);
        if (pbs->apBuffers[w.word] == nullptr && (!bBack || pvis->bDoubleBuffer)) {
            vFreeSet(pbs);
            return nullptr;
        }
    }
    if (!bAddToBufferList(pbs)) {
        vFreeSet(pbs);
        return nullptr;
    }
    return pbs;
}

ULONG _DCreateMissingBuffers(GLBufferSet* pbs, ULONG flMask) {
    if ((flMask & (GLBUFFER_DEPTH | 0x800u)) != 0 && pbs->apBuffers[GLBS_DEPTH] == nullptr) {
        const GLBuffer* pbFront = pbs->apBuffers[GLBS_FRONT_LEFT];
        if (pbFront != nullptr) {
            const RECTL rcl{pbFront->x, pbFront->y, pbFront->x + pbFront->cx, pbFront->y + pbFront->cy};
            pbs->apBuffers[GLBS_DEPTH] =
                pbCreateBuffer(pbs, GLBUFFER_DEPTH, pbs->pWindow->pso, rcl);
        }
    }
    return 1;
}

void _DFreeBufferSet(PDEV*, GLBufferSet* pbs) {
    if (pbs == nullptr) return;
    vRemoveFromBufferList(pbs);
    vFreeSet(pbs);
}

void _DUpdateOverlayPresent(void) {
    EnterCriticalSection(&gcsBufferList);
    gbOverlayPresent = bAnyOverlaySet();
    LeaveCriticalSection(&gcsBufferList);
}

void __glSwitchBufferLayer(GLContext* gc, GLBufferSet* pbs, GLVisual* pvis) {
    (void)gc;
    pbs->pvis = pvis;
    for (ULONG i : {GLBS_FRONT_LEFT, GLBS_BACK_LEFT, GLBS_FRONT_RIGHT, GLBS_BACK_RIGHT}) {
        GLBuffer* pb = pbs->apBuffers[i];
        if (pb == nullptr) continue;
        auto* pdr = static_cast<GLDeviceRecord*>(pb->pDeviceRecord);
        ULONG fmt = gcScreenBits == 32 ? 0xA000u : 0x8000u;
        if (gcScreenBits == 32 && pvis->iLayer != 0) fmt = 0xC000u;
        pdr->pid = (ulPidOf(pdr->pso) & 31u) | fmt;
    }
    if (gcScreenBits == 32 && pvis->iLayer != 0) {
        pbs->bOverlay = 1;
        EnterCriticalSection(&gcsBufferList);
        gbOverlayPresent = TRUE;
        LeaveCriticalSection(&gcsBufferList);
        if (gppdev != nullptr) plGLSwapState(gppdev)[0] = 1;
    }
}

// The window's new client rectangle: the set's entry follows, and the swap
// rectangles of the back and depth buffers widen to take it in.
void _DClientRegionChanged(GLBufferSet* pbs, WNDOBJ* pwo) {
    _DSurfaceMoved(gppdev, pbs, pwo);
    if (pbs == nullptr || pwo == nullptr) return;
    const RECTL& rc = pwo->rclClient;
    for (ULONG i : {GLBS_BACK_LEFT, GLBS_DEPTH}) {
        GLBuffer* pb = pbs->apBuffers[i];
        if (pb == nullptr) continue;
        RECTL& r = static_cast<GLDeviceRecord*>(pb->pDeviceRecord)->rclSwap;
        r.left = rc.left < r.left ? rc.left : r.left;
        r.top = rc.top < r.top ? rc.top : r.top;
        r.right = rc.right > r.right ? rc.right : r.right;
        r.bottom = rc.bottom > r.bottom ? rc.bottom : r.bottom;
    }
    // Every buffer takes the window's new rectangle.
    for (GLBuffer* pb : pbs->apBuffers) {
        if (pb == nullptr) continue;
        pb->x = rc.left;
        pb->y = rc.top;
        pb->cx = rc.right - rc.left;
        pb->cy = rc.bottom - rc.top;
    }
    vChangeBufferExtents(pbs);
}

void _DSurfaceMoved(PDEV* ppdev, GLBufferSet*, WNDOBJ*) {
    // Only an overlay plane in use on a 32-bpp display needs the window's
    // client rectangle redrawn.
    EnterCriticalSection(&gcsBufferList);
    const BOOL bOverlay = gbOverlayPresent;
    LeaveCriticalSection(&gcsBufferList);
    if (!bOverlay || ppdev == nullptr || ulGLBitmapFormat(ppdev) != BMF_32BPP) return;
    __glXDebugPrint("_DSurfaceMoved: window redraw not available yet\n");
}

BOOL __wglSwapBuffers(SURFOBJ* pso, WNDOBJ* pwo, ULONG flPlanes) {
    GLDrawable* pdraw = pwo != nullptr ? pdrawFromWindow(pwo) : nullptr;
    if (pdraw == nullptr) {
        __glXDebugPrint("__wglSwapBuffers: invalid window\n");
        return FALSE;
    }
    GLBufferSet* pbs = pdraw->pBufferSet;
    if (pbs == nullptr) return TRUE;
    pbs->pWindow->pso = pso;
    pbs->pWindow->pwo = pwo;
    const BOOL bDouble = pbs->pvis->bDoubleBuffer != 0 && pbs->apBuffers[GLBS_BACK_LEFT] != nullptr;
    PDEV* ppdev = ppdevOf(pso);
    const LONG* plSwap = ppdev != nullptr ? plGLSwapState(ppdev) : nullptr;
    if ((flPlanes & 3u) == 3u) {
        if (bDouble) vSwap(pbs, pbs->bOverlay ? 3u : 1u);
    } else if (flPlanes & 1u) {
        if (bDouble) {
            const BOOL bBoth = plSwap != nullptr && plSwap[1] == plSwap[2] && plSwap[0] == 0;
            vSwap(pbs, bBoth ? 3u : 1u);
        }
    } else if (flPlanes & 2u) {
        if (plSwap != nullptr && plSwap[0] != 1 && pbs->bOverlay) vSwap(pbs, 2u);
    }
    return TRUE;
}

BOOL _DBindBuffers(GLContext* gc, ULONG flBufferMask) {
    if (gc->pdraw == nullptr || gc->pdraw->pBufferSet == nullptr) return FALSE;
    GLBufferSet* pbs = gc->pdraw->pBufferSet;
    _DCreateMissingBuffers(pbs, flBufferMask);
    GLBuffer* apb[GLBS_BUFFERS];
    ULONG c = 0;
    for (GLBuffer* pb : pbs->apBuffers)
        if (pb != nullptr && (pb->kind & flBufferMask) != 0) apb[c++] = pb;
    // A set with none of the asked-for buffers draws nothing.
    if (c == 0) return FALSE;
    N_BindBuffers(c, apb);
    gc->flBufferMask = flBufferMask;
    return TRUE;
}

LONG __glDrawableHeight(GLContext* gc) {
    if (gc->pdraw == nullptr || gc->pdraw->pwo == nullptr) return 0;
    const RECTL& r = gc->pdraw->pwo->rclClient;
    return r.bottom - r.top;
}
BOOL __glVisualDoubleBuffered(GLContext* gc) { return gc->pvis != nullptr && gc->pvis->bDoubleBuffer != 0; }
BOOL __glVisualStereo(GLContext* gc) { return gc->pvis != nullptr && gc->pvis->bStereo != 0; }
