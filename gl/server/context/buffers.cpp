// The buffer manager: each drawable's buffer set over the device's
// surfaces, the global list of sets with their screen rectangles, binding
// the buffers to lgi before a request, and swaps through the display
// driver's kz2SwapBackToFrontC.
#include "context/buffers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "context/context.h"
#include "dispatch/dispatch.h"
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
// The board's alpha and stencil bits and their masks, from the page
// configuration at set-up (a stencil sharing the alpha surface changes them
// here, not in the driver's table).
ULONG gcAlphaBits = 0;
ULONG gcStencilBits = 0;
ULONG gcBoardAlphaBits = 0;  // as the page configuration gives them
ULONG gcBoardStencilBits = 0;
ULONG gaulPlaneMasks[2] = {0, 0};
// The accumulation buffer's size in bytes, recorded when one is made.
ULONG gcjAccum = 0;
// Set when making a buffer failed for want of memory (not for want of a
// device surface): the caller's GL error is GL_OUT_OF_MEMORY.
BOOL gbBufferNoMemory = FALSE;

void* pvBufferAlloc(SIZE_T cj) {
    void* pv = LocalAlloc(LPTR, cj);
    if (pv == nullptr) gbBufferNoMemory = TRUE;
    return pv;
}

// The device's alpha and stencil surfaces: made on first need, shared by
// every set's buffers of their kind, deleted with the last of them.
struct SharedSurface {
    HSURF hsurf = nullptr;
    SURFOBJ* pso = nullptr;
    ULONG cUsers = 0;
};
SharedSurface gAlpha, gStencil;
BOOL gbCombinedStencil = FALSE;  // the stencil lives in the alpha surface

// The set's buffers in the order the active buffer is looked for.
constexpr ULONG kActiveOrder[] = {GLBS_DEPTH,  GLBS_FRONT_LEFT, GLBS_BACK_LEFT, GLBS_FRONT_RIGHT,
                                  GLBS_BACK_RIGHT, GLBS_ALPHA0, GLBS_ALPHA1,  GLBS_ALPHA2,
                                  GLBS_ALPHA3, GLBS_STENCIL, GLBS_ACCUM};
// The order a set's buffers are freed in.
constexpr ULONG kFreeOrder[] = {GLBS_FRONT_RIGHT, GLBS_BACK_RIGHT, GLBS_DEPTH,  GLBS_ALPHA0,
                                GLBS_ALPHA1,      GLBS_ALPHA2,     GLBS_ALPHA3, GLBS_STENCIL,
                                GLBS_ACCUM,       GLBS_FRONT_LEFT, GLBS_BACK_LEFT};


// The format word of a device buffer of `bits` for the surface's page block.
// Colour buffers of 8 bits take the 3-3-2 colour format; the 8-bit stencil
// and alpha buffers, and the colour buffers of a colour-index visual, hold
// plain numbers, so they take the 8-bit format the board keeps as stored
// (as a 16-bit depth buffer takes the 16-bit one): under the colour format
// a stencil value of 1, an alpha or an index would pass through the 3-3-2
// conversion on every read and write. An index window on a 16-bit display
// keeps its indices in the display's 16-bit pixels: the 16-bit format kept
// as stored, since an 8-bit format would address that memory as 8-bit
// pixels, and the display's colour format would keep five bits of each.
ULONG ulFormatWord(ULONG pidSurface, ULONG kind, ULONG bits, const GLVisual* pvis, ULONG iSurfaceFormat) {
    constexpr ULONG kColourKinds = GLBUFFER_FRONT_LEFT | GLBUFFER_FRONT_RIGHT | GLBUFFER_BACK_LEFT | GLBUFFER_BACK_RIGHT;
    ULONG fmt;
    if (pvis->iLayer != 0)
        fmt = bits < 24 ? 0x8000u : 0xC000u;
    else if ((kind & kColourKinds) != 0 && pvis->bRGBA == 0 && iSurfaceFormat == BMF_16BPP)
        fmt = 0x6000u;
    else if (bits <= 8)
        fmt = (kind & kColourKinds) != 0 && pvis->bRGBA != 0 ? 0x4000u : 0x0000u;
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

// One more user of the device's alpha or stencil surface, made on first
// need: its surface, or null.
SURFOBJ* psoShare(SharedSurface* pss, PDEV* ppdev) {
    if (pss->pso == nullptr) {
        const LONG* plSize = plGLScreenSize(ppdev);
        // Placed at the origin of its space: a render program names the
        // surface by its pid alone and reaches its pixels at the fragment's
        // screen position, so a surface beside another in one space (the
        // stencil surface to the right of the alpha surface) would have its
        // pixels read and written in the other's.
        POINTL ptl{0, 0};
        pss->hsurf = CreateDeviceBitmap(ppdev, plSize[0], plSize[1], BMF_8BPP, &ptl, DFB_FL_PLACED);
        pss->pso = pss->hsurf != nullptr ? EngLockSurface(pss->hsurf) : nullptr;
        if (pss->pso == nullptr) {
            if (pss->hsurf != nullptr) DeleteDeviceBitmap(pss->hsurf);
            *pss = SharedSurface{};
            return nullptr;
        }
        // On a split board the surface shadows the primary pixel for pixel,
        // as the depth and back buffers do: its memory is a screen wide (the
        // second screen keeps its columns at x - 1024 of the same pages), and
        // its record covers the joined screens as the primary's does, so that
        // reads and writes of its pixels reach the second screen's columns
        // instead of stopping at the first screen's edge.
        const auto* pdsScreen = static_cast<const DSURF*>(pvGLDsurfScreen(ppdev));
        auto* pds = reinterpret_cast<DSURF*>(pss->pso->dhsurf);
        if (pdsScreen != nullptr && pds != nullptr) pds->cx = std::max(pds->cx, pdsScreen->cx);
    }
    ++pss->cUsers;
    return pss->pso;
}

void vUnshare(SharedSurface* pss) {
    if (pss->cUsers == 0 || --pss->cUsers != 0) return;
    EngUnlockSurface(pss->pso);
    DeleteDeviceBitmap(pss->hsurf);
    *pss = SharedSurface{};
    // The bits recorded for the surface go with it.
    if (pss == &gAlpha) gbCombinedStencil = FALSE;
    gcAlphaBits = gAlpha.pso != nullptr ? gcAlphaBits : gcBoardAlphaBits;
    gcStencilBits = gStencil.pso != nullptr || gbCombinedStencil ? gcStencilBits : gcBoardStencilBits;
}

// Kinds whose device buffers lie in a shared surface.
constexpr ULONG kSharedKinds = GLBUFFER_STENCIL | GLBUFFER_ALPHA | GLBUFFER_PLANE_20000 |
                               GLBUFFER_PLANE_40000 | GLBUFFER_PLANE_80000;

// One user less of the shared surface hsurf.
void vUnshareSurface(HSURF hsurf) {
    if (hsurf == nullptr) return;
    if (hsurf == gAlpha.hsurf) vUnshare(&gAlpha);
    else if (hsurf == gStencil.hsurf) vUnshare(&gStencil);
}

void vFreeBuffer(GLBuffer* pb) {
    if (pb == nullptr) return;
    if (pb->memoryKind == GLBUFFER_MEMORY_DEVICE && (pb->kind & kSharedKinds) != 0)
        vUnshareSurface(pb->hsurf);
    LocalFree(pb->pDeviceRecord);
    LocalFree(pb->pvPixels);
    LocalFree(pb);
}

// A buffer in host memory of the screen's size (rows of the screen's
// width), the pixels allocated now or, for the accumulation buffer, on
// first use.
GLBuffer* pbHostBuffer(PDEV* ppdev, ULONG kind, ULONG bits, const RECTL& rcl, BOOL bAllocate) {
    const LONG* plSize = plGLScreenSize(ppdev);
    const ULONG cjPixel = bits == 24 ? 4 : bits / 8;
    const std::uint64_t cjRow = static_cast<std::uint64_t>(std::max<LONG>(plSize[0], 0)) * cjPixel;
    const std::uint64_t cj = cjRow * static_cast<std::uint64_t>(std::max<LONG>(plSize[1], 0));
    if (cj == 0 || cj > 0x7FFFFFFFu) return nullptr;
    auto* pb = static_cast<GLBuffer*>(pvBufferAlloc(sizeof(GLBuffer)));
    if (pb == nullptr) return nullptr;
    if (bAllocate) {
        pb->pvPixels = pvBufferAlloc(static_cast<SIZE_T>(cj));
        if (pb->pvPixels == nullptr) {
            LocalFree(pb);
            return nullptr;
        }
    }
    if (kind == GLBUFFER_ACCUM) gcjAccum = static_cast<ULONG>(cj);
    pb->memoryKind = GLBUFFER_MEMORY_HOST;
    pb->kind = kind;
    pb->bitsPerPixel = bits;
    pb->bytesPerPixel = cjPixel;
    pb->stride = static_cast<ULONG>(cjRow);
    pb->x = rcl.left;
    pb->y = rcl.top;
    pb->cx = rcl.right - rcl.left;
    pb->cy = rcl.bottom - rcl.top;
    return pb;
}

// The stencil surface of the device: in the alpha surface when the board
// has fewer than 3 stencil bits and an alpha surface exists, else its own.
SURFOBJ* psoStencil(PDEV* ppdev) {
    if (gStencil.pso == nullptr && gcBoardStencilBits < 3 && gAlpha.pso != nullptr) {
        if (!gbCombinedStencil) __glXDebugPrint("combined alpha/stencil buffer\n");
        gbCombinedStencil = TRUE;
        gcStencilBits = 2;
        gcAlphaBits = 6;
        gaulPlaneMasks[0] = 0x0F;
        gaulPlaneMasks[1] = 0xF0;
        return psoShare(&gAlpha, ppdev);
    }
    SURFOBJ* pso = psoShare(&gStencil, ppdev);
    if (pso != nullptr) gcStencilBits = 8;
    return pso;
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
        case GLBUFFER_STENCIL:
            // On the board when it has stencil bits, else in host memory.
            bits = 8;
            if (gcBoardStencilBits != 0) psoDevice = psoStencil(ppdev);
            if (psoDevice == nullptr) return pbHostBuffer(ppdev, kind, 24, rcl, TRUE);
            break;
        case GLBUFFER_ALPHA:
        case GLBUFFER_PLANE_20000:
        case GLBUFFER_PLANE_40000:
        case GLBUFFER_PLANE_80000:
            bits = 8;
            if (gcBoardAlphaBits != 0) psoDevice = psoShare(&gAlpha, ppdev);
            if (psoDevice == nullptr) return pbHostBuffer(ppdev, kind, 8, rcl, TRUE);
            gcAlphaBits = gbCombinedStencil ? 6 : 8;
            break;
        case GLBUFFER_ACCUM:
            return pbHostBuffer(ppdev, kind, 64, rcl, FALSE);
        default:
            return nullptr;
    }
    if (psoDevice == nullptr) return nullptr;
    auto* pb = static_cast<GLBuffer*>(pvBufferAlloc(sizeof(GLBuffer)));
    auto* pdr = static_cast<GLDeviceRecord*>(pvBufferAlloc(sizeof(GLDeviceRecord)));
    if (pb == nullptr || pdr == nullptr) {
        LocalFree(pb);
        LocalFree(pdr);
        if (psoScreen != nullptr) EngUnlockSurface(psoScreen);
        if (kind & kSharedKinds) vUnshareSurface(psoDevice->hsurf);
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
    pdr->pid = ulFormatWord(ulPidOf(psoDevice), kind, bits, pbs->pvis, psoDevice->iBitmapFormat);
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
    // The last set gone, the list goes too: nothing is left behind when
    // the server is unloaded.
    if (gcList == 0) {
        LocalFree(gpList);
        gpList = nullptr;
        gcListCapacity = 0;
        giListLast = 0;
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

// Every buffer of the set takes the window's rectangle; the set's list
// entry follows.
void vSetBufferRects(GLBufferSet* pbs, const RECTL& rc) {
    for (GLBuffer* pb : pbs->apBuffers) {
        if (pb == nullptr) continue;
        pb->x = rc.left;
        pb->y = rc.top;
        pb->cx = rc.right - rc.left;
        pb->cy = rc.bottom - rc.top;
    }
    vChangeBufferExtents(pbs);
}

void vFreeSet(GLBufferSet* pbs) {
    for (ULONG i : kFreeOrder) vFreeBuffer(pbs->apBuffers[i]);
    LocalFree(pbs->pWindow);
    LocalFree(pbs->prclBoxes);
    LocalFree(pbs);
}

// The swap of the back buffer with the plane selector over a rectangle: the
// window's (the back buffer's own), or the swap rectangle its device record
// widened as the window moved. Presents the back buffer; FALSE when it
// cannot (a buffer missing, the front surface gone).
BOOL bSwap(GLBufferSet* pbs, ULONG fPlanes, BOOL bWindowRect) {
    GLBuffer* pbBack = pbs->apBuffers[GLBS_BACK_LEFT];
    GLBuffer* pbFront = pbs->apBuffers[GLBS_FRONT_LEFT];
    if (pbBack == nullptr || pbFront == nullptr) return FALSE;
    auto* pdrBack = static_cast<GLDeviceRecord*>(pbBack->pDeviceRecord);
    WNDOBJ* pwo = pbs->pWindow->pwo;
    RECTL rcl = bWindowRect ? RECTL{pbBack->x, pbBack->y, pbBack->x + pbBack->cx, pbBack->y + pbBack->cy}
                            : pdrBack->rclSwap;
    PDEV* ppdev = ppdevOf(pdrBack->pso);
    SURFOBJ* psoFront = EngLockSurface(pbFront->hsurf);
    if (psoFront == nullptr) return FALSE;
    const BOOL bDirect = ppdev != nullptr && plGLSwapState(ppdev)[0] == 1;
    kz2SwapBackToFrontC(pdrBack->pso, psoFront, pwo != nullptr ? &pwo->coClient : nullptr, &rcl,
                        fPlanes, bDirect, fPlanes);
    EngUnlockSurface(psoFront);
    return TRUE;
}

// A packed 28.4 vertex of a pixel position.
ULONG ulVertex(LONG x, LONG y) {
    return ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFu)) << 4;
}

// Redraws the client rectangle of a window on the screen with one packet
// over every queue: the overlay plane of its pixels is cleared.
void vRedrawWindow(PDEV* ppdev, SURFOBJ* psoScreen, const RECTL& rclClient) {
    constexpr ULONG kCommand = 0x02101026u;      // one pid, one instruction, a clip pair
    constexpr ULONG kOverlayPid = 0xC000u;
    constexpr ULONG kInstruction = 0x00360348u;
    const LONG* plSize = plGLScreenSize(ppdev);
    RECTL r{std::max<LONG>(rclClient.left, 0), std::max<LONG>(rclClient.top, 0),
            std::min<LONG>(rclClient.right, plSize[0]), std::min<LONG>(rclClient.bottom, plSize[1])};
    if (r.left >= r.right || r.top >= r.bottom || psoScreen->dhsurf == nullptr) return;
    const DFB* pdfb = reinterpret_cast<DSURF*>(psoScreen->dhsurf)->pdfb;
    if (pdfb == nullptr) return;
    KZ2QUEUEMGT qm = kz2GetQueueMgt(psoScreen->dhsurf, kz2GetBlockEnable(1, 1, 1, 1));
    if (qm == nullptr || qm->pLayout == nullptr) return;
    void* pvOwner = reinterpret_cast<void*>(&vRedrawWindow);
    ULONG* p = kz2NewPacketQueue(qm, pvOwner, 1);
    const ULONG cQueues = qm->pLayout->cQueues;
    for (ULONG i = 0; i < cQueues; ++i) qm[i].pPacket[0] = kCommand;
    const ULONG xOrg = static_cast<ULONG>(pdfb->x), yOrg = static_cast<ULONG>(pdfb->y);
    *p++ = kOverlayPid;
    *p++ = kInstruction;
    *p++ = yOrg << 16 | xOrg;
    *p++ = (yOrg + static_cast<ULONG>(plSize[1])) << 16 | (xOrg + static_cast<ULONG>(plSize[0]));
    *p++ = 0;
    if (cQueues == 1) {
        *p++ = ulVertex(r.left, r.top);
        *p++ = ulVertex(r.right, r.top);
        *p++ = ulVertex(r.right, r.bottom);
        *p++ = ulVertex(r.left, r.bottom);
        ++qm->cPrims;
        qm->pqCurrent->pWrite = p;
    } else {
        kz2WriteRectNoPrimData(qm, p, r.left, r.top, r.right, r.bottom);
    }
    kz2UpdatePacketPtr(qm, pvOwner, qm->pqCurrent->pWrite, 1);
}

// The mask with the alpha plane of each colour buffer it names, for a
// visual with alpha bits.
ULONG flWithAlphaPlanes(const GLVisual* pvis, ULONG flBufferMask) {
    if (pvis == nullptr || pvis->cAlphaBits == 0 || pvis->bRGBA == 0) return flBufferMask;
    return flBufferMask | flAlphaPlanesOf(flBufferMask);
}

}  // namespace

void _DFrontBufferDrawn(GLBufferSet* pbs) {
    GLBuffer* pbFront = pbs->apBuffers[GLBS_FRONT_LEFT];
    if (pbFront == nullptr || pbFront->memoryKind != GLBUFFER_MEMORY_DEVICE) return;
    SURFOBJ* pso = EngLockSurface(pbFront->hsurf);
    if (pso == nullptr) return;
    // The display driver's next swap cannot take the front buffer's pixels
    // outside its rectangle as unchanged.
    kz2FrontBufferDrawn(kz2GetQueueMgt(pso->dhsurf, kz2GetBlockEnable(0, 0, 1, 1)));
    EngUnlockSurface(pso);
}

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
    const PAGECONFIG* ppc = pGLPageConfig(ppdev);
    gcBoardAlphaBits = gcAlphaBits = ppc != nullptr ? ppc->aulGLSizing[PAGECONFIG_GL_ALPHA_BITS] : 0;
    gcBoardStencilBits = gcStencilBits =
        ppc != nullptr ? ppc->aulGLSizing[PAGECONFIG_GL_STENCIL_BITS] : 0;
    gaulPlaneMasks[0] = ppc != nullptr ? ppc->aulGLSizing[2] : 0;
    gaulPlaneMasks[1] = ppc != nullptr ? ppc->aulGLSizing[3] : 0;
    gbCombinedStencil = FALSE;
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
    const GLBuffer* pbActive = _DGetActiveBuffer(pbs);
    if (pbActive == nullptr) return 1;
    const RECTL rcl{pbActive->x, pbActive->y, pbActive->x + pbActive->cx, pbActive->y + pbActive->cy};
    struct Want {
        ULONG bits, word, kind;
    };
    static constexpr Want kWants[] = {
        {GLBUFFER_DEPTH | 0x800u, GLBS_DEPTH, GLBUFFER_DEPTH},
        {GLBUFFER_ALPHA, GLBS_ALPHA0, GLBUFFER_ALPHA},
        {GLBUFFER_PLANE_40000, GLBS_ALPHA1, GLBUFFER_PLANE_40000},
        {GLBUFFER_PLANE_20000, GLBS_ALPHA2, GLBUFFER_PLANE_20000},
        {GLBUFFER_PLANE_80000, GLBS_ALPHA3, GLBUFFER_PLANE_80000},
        {GLBUFFER_STENCIL, GLBS_STENCIL, GLBUFFER_STENCIL},
        {GLBUFFER_ACCUM, GLBS_ACCUM, GLBUFFER_ACCUM},
    };
    gbBufferNoMemory = FALSE;
    for (const Want& w : kWants) {
        if ((flMask & w.bits) == 0 || pbs->apBuffers[w.word] != nullptr) continue;
        pbs->apBuffers[w.word] = pbCreateBuffer(pbs, w.kind, pbs->pWindow->pso, rcl);
    }
    return gbBufferNoMemory ? 0 : 1;
}

void _DGetAncillaryBits(ULONG* pcAlphaBits, ULONG* pcStencilBits, ULONG aulMasks[2]) {
    *pcAlphaBits = gcAlphaBits;
    *pcStencilBits = gcStencilBits;
    aulMasks[0] = gaulPlaneMasks[0];
    aulMasks[1] = gaulPlaneMasks[1];
}

void* _DAllocAccumBuffer(void) {
    return gcjAccum != 0 ? LocalAlloc(LPTR, gcjAccum) : nullptr;
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
    vSetBufferRects(pbs, rc);
}

void _DSurfaceMoved(PDEV* ppdev, GLBufferSet*, WNDOBJ* pwo) {
    // Only an overlay plane in use on a 32-bpp display needs the window's
    // client rectangle redrawn.
    EnterCriticalSection(&gcsBufferList);
    const BOOL bOverlay = gbOverlayPresent;
    LeaveCriticalSection(&gcsBufferList);
    if (!bOverlay || ppdev == nullptr || pwo == nullptr || ulGLBitmapFormat(ppdev) != BMF_32BPP)
        return;
    SURFOBJ* pso = EngLockSurface(hsurfGLScreen(ppdev));
    if (pso == nullptr) return;
    vRedrawWindow(ppdev, pso, pwo->rclClient);
    EngUnlockSurface(pso);
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
    // A double-buffered window whose back buffer could not be made, or
    // whose swap could not run, was not presented: FALSE.
    const BOOL bDouble = pbs->pvis->bDoubleBuffer != 0;
    // The pixel format's main layer decides whether the planes swap.
    const GLVisual* pvisMain = pbs->pvis->iLayer == 0 ? pbs->pvis
                                                      : pvisLookup(static_cast<LONG>(pbs->pvis->iFormat), 0);
    const BOOL bMainDouble = pvisMain != nullptr && pvisMain->bDoubleBuffer != 0;
    PDEV* ppdev = ppdevOf(pso);
    const LONG* plSwap = ppdev != nullptr ? plGLSwapState(ppdev) : nullptr;
    if ((flPlanes & 3u) == 3u && bMainDouble) {
        if (bDouble) return bSwap(pbs, pbs->bOverlay ? 3u : 1u, TRUE);
    } else if (flPlanes & 1u) {
        if (bDouble) {
            const BOOL bBoth = plSwap != nullptr && plSwap[1] == plSwap[2] && plSwap[0] == 0;
            return bSwap(pbs, bBoth ? 3u : 1u, FALSE);
        }
    } else if (flPlanes & 2u) {
        if (bMainDouble && plSwap != nullptr && plSwap[0] != 1 && pbs->bOverlay) return bSwap(pbs, 2u, FALSE);
    }
    return TRUE;
}

BOOL _DBindBuffers(GLContext* gc, ULONG flBufferMask) {
    if (gc->pdraw == nullptr || gc->pdraw->pBufferSet == nullptr) return FALSE;
    GLDrawable* pdraw = gc->pdraw;
    GLBufferSet* pbs = pdraw->pBufferSet;
    // Each colour buffer of a visual with alpha bits brings its alpha plane,
    // so destination alpha and the alpha clear reach a buffer; the mask
    // kept for the context says so too.
    flBufferMask = flWithAlphaPlanes(pbs->pvis, flBufferMask);
    if (pdraw->pwo != nullptr) {
        // Every buffer takes the window's client rectangle as it is now
        // (a back buffer asked for is made first), and the list follows.
        const RECTL& rc = pdraw->pwo->rclClient;
        if ((flBufferMask & GLBUFFER_BACK_LEFT) && pbs->apBuffers[GLBS_BACK_LEFT] == nullptr)
            pbs->apBuffers[GLBS_BACK_LEFT] = pbCreateBuffer(pbs, GLBUFFER_BACK_LEFT, pbs->pWindow->pso, rc);
        if ((flBufferMask & GLBUFFER_BACK_RIGHT) && pbs->apBuffers[GLBS_FRONT_RIGHT] != nullptr &&
            pbs->apBuffers[GLBS_BACK_RIGHT] == nullptr)
            pbs->apBuffers[GLBS_BACK_RIGHT] = pbCreateBuffer(pbs, GLBUFFER_BACK_RIGHT, pbs->pWindow->pso, rc);
        vSetBufferRects(pbs, rc);
    }
    // A buffer asked for that could not be made for want of memory (a
    // depth, stencil, alpha or accumulation buffer) is the context's
    // GL_OUT_OF_MEMORY; the buffers there are still bound.
    if (_DCreateMissingBuffers(pbs, flBufferMask) == 0 && gc->error == GL_NO_ERROR) gc->error = GL_OUT_OF_MEMORY;
    // The clip list follows the window and the scissor box.
    if (pdraw->pwo != nullptr &&
        (pdraw->clip.bStale || pdraw->clip.iUniq != pdraw->pwo->coClient.iUniq))
        __glBindClipList(&pdraw->clip, pdraw->pwo);
    GLBuffer* apb[GLBS_BUFFERS];
    ULONG c = 0;
    for (GLBuffer* pb : pbs->apBuffers)
        if (pb != nullptr && (pb->kind & flBufferMask) != 0) apb[c++] = pb;
    // A set with none of the asked-for buffers draws nothing.
    if (c == 0) return FALSE;
    N_BindBuffers(c, apb);
    if (flBufferMask & (GLBUFFER_FRONT_LEFT | GLBUFFER_FRONT_RIGHT)) _DFrontBufferDrawn(pbs);
    gc->flBufferMask = flBufferMask;
    return TRUE;
}

LONG __glDrawableHeight(GLContext* gc) {
    if (gc->pdraw == nullptr || gc->pdraw->pwo == nullptr) return 0;
    const RECTL& r = gc->pdraw->pwo->rclClient;
    return r.bottom - r.top;
}
BOOL __glDrawableSize(GLContext* gc, LONG* pcx, LONG* pcy) {
    if (gc->pdraw == nullptr || gc->pdraw->pwo == nullptr) return FALSE;
    const RECTL& r = gc->pdraw->pwo->rclClient;
    *pcx = r.right - r.left;
    *pcy = r.bottom - r.top;
    return TRUE;
}
BOOL __glVisualDoubleBuffered(GLContext* gc) { return gc->pvis != nullptr && gc->pvis->bDoubleBuffer != 0; }
BOOL __glVisualStereo(GLContext* gc) { return gc->pvis != nullptr && gc->pvis->bStereo != 0; }

void _DSetClipRegion(GLContext* gc, const __GLXbox* pbox) {
    if (gc->pdraw == nullptr) return;
    GLClipList* pcl = &gc->pdraw->clip;
    pcl->bScissor = pbox != nullptr;
    if (pbox != nullptr) {
        auto c16 = [](LONG l) { return static_cast<int16_t>(l < 0 ? 0 : l > 0x7FFF ? 0x7FFF : l); };
        pcl->boxScissor = pixman_box16_t{c16(pbox->xLeft), c16(pbox->yTop), c16(pbox->xRight),
                                         c16(pbox->yBottom)};
    }
    // The next bind builds the list again from the window.
    pcl->bStale = TRUE;
}
