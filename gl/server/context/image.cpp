// Image transfer: pixel rectangles between host memory and a window's
// buffers on the board, through the display driver's CopyBits (per box of
// the window's GL clip list) and kz2WriteRectZoom, and copies between
// buffers. Rectangles are in screen pixels.
#include "context/image.h"

#include "context/buffers.h"
#include "pixfmt/drawable.h"
#include "glpdev.h"
#include "kz2queue.h"
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixfmt/pixfmt.h"
#include "platform/engine.h"
#include "vornix_surface.h"

namespace {

constexpr ULONG kFlagOverlayWrite = 0x80000000u;
constexpr ULONG kAncillaryKinds = 0xFF0200u;
constexpr ULONG kRightKinds = GLBUFFER_FRONT_RIGHT | GLBUFFER_BACK_RIGHT;
constexpr ULONG kStereoSecond = 3;  // CopyBits mode: the second half only

// A buffer's surface, locked for the transfer and unlocked when it goes.
struct LockedBuffer {
    GLBuffer* pb = nullptr;
    GLDeviceRecord* pdr = nullptr;
    SURFOBJ* pso = nullptr;
    SURFOBJ* psoLocked = nullptr;
    explicit LockedBuffer(GLBuffer* pbIn) : pb(pbIn) {
        if (pb == nullptr || pb->memoryKind != GLBUFFER_MEMORY_DEVICE) return;
        pdr = static_cast<GLDeviceRecord*>(pb->pDeviceRecord);
        pso = pdr->pso;
        if (pso == nullptr) pso = psoLocked = EngLockSurface(pb->hsurf);
    }
    ~LockedBuffer() {
        if (psoLocked != nullptr) EngUnlockSurface(psoLocked);
    }
    LockedBuffer(const LockedBuffer&) = delete;
    LockedBuffer& operator=(const LockedBuffer&) = delete;
};

// A host bitmap over the caller's pixels, locked.
struct HostBitmap {
    HSURF hsurf = nullptr;
    SURFOBJ* pso = nullptr;
    HostBitmap(LONG cx, LONG cy, ULONG iFormat, ULONG cjPixel, BOOL bTopDown, void* pv) {
        const std::uint64_t cjRow = static_cast<std::uint64_t>(cx) * cjPixel;
        if (cx <= 0 || cy <= 0 || cjRow > 0x7FFFFFFFu) return;
        hsurf = EngCreateBitmap(SIZEL{cx, cy}, static_cast<LONG>(cjRow), iFormat,
                                bTopDown ? BMF_TOPDOWN : 0, pv);
        if (hsurf != nullptr) pso = EngLockSurface(hsurf);
    }
    ~HostBitmap() {
        if (pso != nullptr) EngUnlockSurface(pso);
        if (hsurf != nullptr) EngDeleteSurface(hsurf);
    }
    HostBitmap(const HostBitmap&) = delete;
    HostBitmap& operator=(const HostBitmap&) = delete;
};

GLBuffer* pbOfKind(GLBufferSet* pbs, ULONG kind) {
    for (GLBuffer* pb : pbs->apBuffers)
        if (pb != nullptr && (pb->kind & kind) != 0) return pb;
    return nullptr;
}

// The colour buffer a write of the kind goes to: back for the back bits,
// else front.
GLBuffer* pbColourTarget(GLBufferSet* pbs, ULONG kind) {
    if (kind & (GLBUFFER_BACK_LEFT | GLBUFFER_BACK_RIGHT)) return pbs->apBuffers[GLBS_BACK_LEFT];
    return pbs->apBuffers[GLBS_FRONT_LEFT];
}

// What a put (plain or zoomed) writes to and from. The destination: the
// front buffer for a flagged colour write on an overlay visual (an overlay
// write), else the kind's colour buffer. The source over the caller's
// pixels: 32 bits first row first; the flagged writes last row first, 32
// bits to the overlay plane or 8 bits otherwise.
struct PutPlan {
    BOOL bFlag;
    BOOL bOverlay;
    BOOL bOverlayWrite;
    GLBuffer* pbTarget;
};

PutPlan putPlan(GLBufferSet* pbs, ULONG kind) {
    PutPlan p;
    p.bFlag = (kind & kFlagOverlayWrite) != 0;
    p.bOverlay = pbs->pvis != nullptr && pbs->pvis->iLayer != 0;
    p.bOverlayWrite = p.bFlag && (kind & kAncillaryKinds) == 0 && p.bOverlay;
    p.pbTarget = p.bOverlayWrite ? pbs->apBuffers[GLBS_FRONT_LEFT] : pbColourTarget(pbs, kind);
    return p;
}

// A surface's format word switched to the overlay plane's (0xC0 in its
// high byte) while the object lives.
struct OverlayFormat {
    DFB* pdfb = nullptr;
    ULONG pidSaved = 0;
    explicit OverlayFormat(SURFOBJ* pso) {
        auto* pdsurf = pso != nullptr ? reinterpret_cast<DSURF*>(pso->dhsurf) : nullptr;
        if (pdsurf == nullptr || pdsurf->pdfb == nullptr) return;
        pdfb = pdsurf->pdfb;
        pidSaved = pdfb->pid;
        pdfb->pid = (pidSaved & 0xFFu) | (PID_FORMAT_OVERLAY & 0xFF00u);
    }
    ~OverlayFormat() {
        if (pdfb != nullptr) pdfb->pid = pidSaved;
    }
    OverlayFormat(const OverlayFormat&) = delete;
    OverlayFormat& operator=(const OverlayFormat&) = delete;
};

HostBitmap putSource(const PutPlan& p, LONG cx, LONG cy, void* pvSource) {
    const BOOL b8 = p.bFlag && !p.bOverlay;
    return HostBitmap(cx, cy, b8 ? BMF_8BPP : BMF_32BPP, b8 ? 1 : 4, !p.bFlag, pvSource);
}

// The boxes of the window's GL clip list in screen pixels: the whole client
// rectangle while nothing is clipped.
std::vector<RECTL> vClipBoxes(GLBufferSet* pbs) {
    std::vector<RECTL> v;
    WNDOBJ* pwo = pbs->pWindow->pwo;
    if (pwo == nullptr) return v;
    const RECTL& rc = pwo->rclClient;
    GLDrawable* pdraw = pdrawFromWindow(pwo);
    if (pdraw == nullptr || pdraw->clip.bWhole) {
        v.push_back(rc);
        return v;
    }
    int c = 0;
    const pixman_box16_t* pb = pixman_region_rectangles(&pdraw->clip.region, &c);
    for (int i = 0; i < c; ++i)
        v.push_back(RECTL{rc.left + pb[i].x1, rc.top + pb[i].y1, rc.left + pb[i].x2, rc.top + pb[i].y2});
    return v;
}

// The CopyBits modes of a transfer to the kind: both eyes twice, the right
// eye alone with the second-half selector, otherwise once.
std::vector<ULONG> vStereoModes(PDEV* ppdev, ULONG kind) {
    const PAGECONFIG* ppc = ppdev != nullptr ? pGLPageConfig(ppdev) : nullptr;
    if (ppc == nullptr || ppc->fStereo == 0) return {0};
    const ULONG colour = kind & 0xFu;
    if (colour != 0 && (colour & ~kRightKinds) == 0) return {kStereoSecond};
    if ((colour & 3u) == 3u || (colour & 0xCu) == 0xCu) return {0, kStereoSecond};
    return {0};
}


}  // namespace

ULONG _DGetImage(GLBufferSet* pbs, ULONG kind, LONG x, LONG y, LONG cx, LONG cy, void* pvDest) {
    LockedBuffer src(pbOfKind(pbs, kind));
    if (src.pso == nullptr) return 0;
    ULONG cjPixel = 0;
    switch (src.pso->iBitmapFormat) {
        case BMF_32BPP: cjPixel = 4; break;
        case BMF_16BPP: cjPixel = 2; break;
        case BMF_8BPP: cjPixel = 1; break;
        default:
            __glXDebugPrint("_DGetImage: iBitmapFormat %x is UNSUPPORTED\n", src.pso->iBitmapFormat);
            return 0;
    }
    HostBitmap dst(cx, cy, src.pso->iBitmapFormat, cjPixel, TRUE, pvDest);
    if (dst.pso == nullptr) return 0;
    PDEV* ppdev = ppdevOf(src.pso);
    const LONG* plSize = ppdev != nullptr ? plGLScreenSize(ppdev) : nullptr;
    CLIPOBJ co{};
    co.iDComplexity = DC_RECT;
    co.rclBounds = RECTL{0, 0, plSize != nullptr ? plSize[0] - 1 : cx, plSize != nullptr ? plSize[1] - 1 : cy};
    RECTL rcl{0, 0, cx, cy};
    POINTL ptl{x, y};
    // A right-eye buffer alone reads the second half of a stereo frame.
    const std::vector<ULONG> modes = vStereoModes(ppdev, src.pb->kind);
    const ULONG iMode = modes.size() == 1 ? modes[0] : 0;
    return CopyBits(dst.pso, src.pso, &co, nullptr, &rcl, &ptl, iMode) ? 1 : 0;
}

GLBufferSet* _DBufferSetOf(const GLBuffer* pb) {
    if (pb == nullptr || pb->memoryKind != GLBUFFER_MEMORY_DEVICE || pb->pDeviceRecord == nullptr) return nullptr;
    const GLWindowRecord* pwr = static_cast<const GLDeviceRecord*>(pb->pDeviceRecord)->pWindow;
    GLDrawable* pdraw = pwr != nullptr && pwr->pwo != nullptr ? pdrawFromWindow(pwr->pwo) : nullptr;
    return pdraw != nullptr ? pdraw->pBufferSet : nullptr;
}

ULONG _DPutImage(GLBufferSet* pbs, ULONG kind, LONG x, LONG y, LONG cx, LONG cy, void* pvSource) {
    const PutPlan plan = putPlan(pbs, kind);
    const BOOL bFlag = plan.bFlag;
    LockedBuffer dst(plan.pbTarget);
    if (dst.pso == nullptr) return 0;
    if (dst.pb == pbs->apBuffers[GLBS_FRONT_LEFT]) _DFrontBufferDrawn(pbs);
    PDEV* ppdev = ppdevOf(dst.pso);
    // An overlay write puts the swap into its overlay mode (a zoomed one
    // does not).
    if (plan.bOverlayWrite && ppdev != nullptr) plGLSwapState(ppdev)[0] = 1;
    HostBitmap src = putSource(plan, cx, cy, pvSource);
    if (src.pso == nullptr) return 0;
    // An overlay write goes to the overlay plane: the destination's format
    // word names it for the transfer and is put back afterwards.
    OverlayFormat overlay(plan.bOverlayWrite ? dst.pso : nullptr);
    ULONG ulOk = 1;
    for (ULONG iMode : vStereoModes(ppdev, kind)) {
        if (bFlag) {
            WNDOBJ* pwo = pbs->pWindow->pwo;
            RECTL rcl{x, y, x + cx, y + cy};
            POINTL ptl{0, 0};
            if (!CopyBits(dst.pso, src.pso, pwo != nullptr ? &pwo->coClient : nullptr, nullptr, &rcl,
                          &ptl, iMode))
                ulOk = 0;
            continue;
        }
        for (const RECTL& box : vClipBoxes(pbs)) {
            RECTL r{x > box.left ? x : box.left, y > box.top ? y : box.top,
                    x + cx < box.right ? x + cx : box.right, y + cy < box.bottom ? y + cy : box.bottom};
            if (r.left >= r.right || r.top >= r.bottom) continue;
            POINTL ptl{r.left - x, r.top - y};
            if (!CopyBits(dst.pso, src.pso, nullptr, nullptr, &r, &ptl, iMode)) ulOk = 0;
        }
    }
    return ulOk;
}

ULONG _DCopyImage(GLBufferSet* pbs, ULONG kindSource, ULONG kindDest, LONG x, LONG y, LONG cx,
                  LONG cy, LONG xSource, LONG ySource) {
    auto pbFor = [pbs](ULONG kind) -> GLBuffer* {
        if (kind & (GLBUFFER_FRONT_LEFT | GLBUFFER_FRONT_RIGHT)) return pbs->apBuffers[GLBS_FRONT_LEFT];
        if (kind & (GLBUFFER_BACK_LEFT | GLBUFFER_BACK_RIGHT)) return pbs->apBuffers[GLBS_BACK_LEFT];
        return nullptr;
    };
    LockedBuffer src(pbFor(kindSource));
    LockedBuffer dst(pbFor(kindDest));
    if (src.pso == nullptr || dst.pso == nullptr) return 0;
    if (dst.pb == pbs->apBuffers[GLBS_FRONT_LEFT]) _DFrontBufferDrawn(pbs);
    WNDOBJ* pwo = pbs->pWindow->pwo;
    ULONG ulOk = 1;
    for (ULONG iMode : vStereoModes(ppdevOf(dst.pso), kindDest)) {
        RECTL rcl{x, y, x + cx, y + cy};
        POINTL ptl{xSource, ySource};
        if (!CopyBits(dst.pso, src.pso, pwo != nullptr ? &pwo->coClient : nullptr, nullptr, &rcl, &ptl,
                      iMode))
            ulOk = 0;
    }
    return ulOk;
}

ULONG _DPutImageZoom(GLBufferSet* pbs, ULONG kind, LONG x, LONG y, LONG cxSource, LONG cySource,
                     LONG cxDest, LONG cyDest, const ULONG aulZoom[4], void* pvSource) {
    const PutPlan plan = putPlan(pbs, kind);
    LockedBuffer dst(plan.pbTarget);
    if (dst.pso == nullptr) return 0;
    if (dst.pb == pbs->apBuffers[GLBS_FRONT_LEFT]) _DFrontBufferDrawn(pbs);
    HostBitmap src = putSource(plan, cxSource, cySource, pvSource);
    if (src.pso == nullptr) return 0;
    ULONG ulOk = 1;
    for (const RECTL& box : vClipBoxes(pbs)) {
        RECTL rcl{x, y, x + cxDest, y + cyDest};
        POINTL ptl{0, 0};
        if (kz2WriteRectZoom(dst.pso, src.pso, &rcl, &ptl, aulZoom[0], aulZoom[1], aulZoom[2], aulZoom[3],
                             box.left, box.top, box.right, box.bottom) == 0)
            ulOk = 0;
    }
    return ulOk;
}

// --- staging surfaces -------------------------------------------------------------------------
namespace {

constexpr LONG kStagingSize = 128;
constexpr ULONG kStagingKind = 0x10;  // the buffer kind of staging surfaces

// A 128 x 128 32-bit surface in the device's off-screen memory with its
// buffer and device records; locked while it lives.
struct StagingSurface {
    GLBuffer buffer;
    GLDeviceRecord record;
    SURFOBJ* pso;
};

StagingSurface* pssMake(PDEV* ppdev) {
    POINTL ptl{0, 0};
    HSURF hsurf = CreateDeviceBitmap(ppdev, kStagingSize, kStagingSize, BMF_32BPP, &ptl, 0);
    if (hsurf == nullptr) {
        __glXDebugPrint("buffer->osm == NULL ppdev=%p\n", static_cast<void*>(ppdev));
        return nullptr;
    }
    SURFOBJ* pso = EngLockSurface(hsurf);
    auto* pss = pso != nullptr ? static_cast<StagingSurface*>(LocalAlloc(LPTR, sizeof(StagingSurface)))
                               : nullptr;
    if (pss == nullptr) {
        if (pso == nullptr) __glXDebugPrint("surfObj == NULL osm=%p\n", static_cast<void*>(hsurf));
        else EngUnlockSurface(pso);
        DeleteDeviceBitmap(hsurf);
        return nullptr;
    }
    const DFB* pdfb = pso->dhsurf != nullptr ? reinterpret_cast<DSURF*>(pso->dhsurf)->pdfb : nullptr;
    pss->pso = pso;
    pss->record.pid = pdfb != nullptr ? pdfb->pid : 0;
    pss->record.ulLimit = 0xFFFF;
    pss->record.pso = pso;
    GLBuffer& b = pss->buffer;
    b.pDeviceRecord = &pss->record;
    b.memoryKind = GLBUFFER_MEMORY_DEVICE;
    b.kind = kStagingKind;
    b.bitsPerPixel = 24;
    b.bytesPerPixel = 4;
    b.x = pdfb != nullptr ? pdfb->x : 0;
    b.y = pdfb != nullptr ? pdfb->y : 0;
    b.cx = kStagingSize;
    b.cy = kStagingSize;
    b.stride = static_cast<ULONG>(pso->lDelta < 0 ? -pso->lDelta : pso->lDelta);
    b.hsurf = hsurf;
    return pss;
}

void vFreeStaging(StagingSurface* pss) {
    if (pss == nullptr) return;
    EngUnlockSurface(pss->pso);
    DeleteDeviceBitmap(pss->buffer.hsurf);
    LocalFree(pss);
}

// The device's cached 32-bit staging surface.
PDEV* gppdevTmp32 = nullptr;
StagingSurface* gpTmp32 = nullptr;

}  // namespace

GLBuffer* _DGetTmp32DevSurf(GLBuffer* pb) {
    LockedBuffer b(pb);
    PDEV* ppdev = b.pso != nullptr ? ppdevOf(b.pso) : nullptr;
    if (ppdev == nullptr) {
        __glXDebugPrint("ppdev == NULL pso=%p\n", static_cast<void*>(b.pso));
        return nullptr;
    }
    if (gpTmp32 != nullptr && gppdevTmp32 == ppdev) {
        __glXDebugPrint("This is the CACHED psoTmp32DevSurf\n");
        return &gpTmp32->buffer;
    }
    StagingSurface* pss = pssMake(ppdev);
    if (pss == nullptr) return nullptr;
    vFreeStaging(gpTmp32);
    gpTmp32 = pss;
    gppdevTmp32 = ppdev;
    return &pss->buffer;
}

GLBuffer* _DCreateScratchPixmap(PDEV* ppdev) {
    StagingSurface* pss = ppdev != nullptr ? pssMake(ppdev) : nullptr;
    return pss != nullptr ? &pss->buffer : nullptr;
}

void _DFreeScratchPixmap(GLBuffer** ppb) {
    if (ppb == nullptr || *ppb == nullptr) return;
    static_assert(offsetof(StagingSurface, buffer) == 0, "the buffer leads its staging record");
    vFreeStaging(reinterpret_cast<StagingSurface*>(*ppb));
    *ppb = nullptr;
}

void __glReleaseStagingSurfaces(PDEV* ppdev) {
    if (gpTmp32 == nullptr || (ppdev != nullptr && ppdev != gppdevTmp32)) return;
    vFreeStaging(gpTmp32);
    gpTmp32 = nullptr;
    gppdevTmp32 = nullptr;
}
