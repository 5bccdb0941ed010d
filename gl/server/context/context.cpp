// Rendering contexts: create with the engine driver object that owns the
// context, delete (by the client, or by the driver object's clean-up when
// the client process ends), release, make current on a window, share
// display lists and copy attribute groups between contexts.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "context/context.h"
#include "dispatch/dispatch.h"
#include "context/image.h"
#include "context/texture.h"
#include "glpdev.h"
#include "platform/engine.h"
#include "platform/mmio.h"
#include "seams.h"
#include "segment/segment.h"
#include "state/state_requests.h"
#include "vornix_surface.h"

namespace {

constexpr float kDefaultViewport[16] = {0.5f, 0, 0,     0.5f, 0, 0.5f, 0, 0.5f,
                                        0,    0, -0.5f, 0.5f, 0, 0,    0, 1.0f};
constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Live contexts, the device of the last one made, live overlay contexts.
std::atomic<ULONG> gcContexts{0};
PDEV* gppdevLast = nullptr;
std::atomic<ULONG> gcOverlayContexts{0};
// The lgi context last made current by the server.
N_Context* gpncCurrent = nullptr;

HDRVOBJ hdoOf(const GLContext* gc) {
    return static_cast<HDRVOBJ>(reinterpret_cast<std::uintptr_t>(gc->pdo));
}

void vMakeCurrent(N_Context* pnc) {
    N_MakeCurrent(pnc);
    gpncCurrent = pnc;
}

// The current lgi context after its drawable switched layers: the draw
// buffer (N_ATTR_DRAW_BUFFER) is set again and every state group is marked to be
// validated again. The layer marks its whole state dirty when its state is
// restored, so the state is saved and restored through the command stream.
void vRevalidateLgiState() {
    constexpr ULONG kStateWords = 430;
    ULONG ulDrawBuffer = 0;
    N_GetStateBlockAttr(N_ATTR_DRAW_BUFFER, &ulDrawBuffer);
    N_SetStateBlockAttrWord(N_ATTR_DRAW_BUFFER, ulDrawBuffer);
    static ULONG aulState[kStateWords];  // every call runs under the escape lock
    const auto ul = reinterpret_cast<std::uintptr_t>(aulState);
    const ULONG lo = static_cast<ULONG>(ul), hi = static_cast<ULONG>(static_cast<std::uint64_t>(ul) >> 32);
    const ULONG aulPackets[] = {N_PKT_SAVE_STATE, lo, hi, N_PKT_RESTORE_STATE, lo, hi};
    N_DispatchPackets(aulPackets, static_cast<LONG>(sizeof aulPackets / sizeof aulPackets[0]));
}

// Hands what the context has pending to the lgi layer and waits until the
// board has done it (Finish without a reply).
void vFinish(GLContext* gc) {
    if (gc->pgc == nullptr) return;
    __glXFlushPending(gc->pgc);
    __glXWaitPending(gc->pgc);
    N_Sync();
}

// Unlinks the context from the client it is current on.
void vLeaveClient(GLContext* gc) {
    if (gc->pgc != nullptr && gc->pgc->gc == gc) gc->pgc->gc = nullptr;
    gc->pgc = nullptr;
}

BOOL bIsOverlay(const GLContext* gc) { return gc->pvis != nullptr && gc->pvis->iLayer != 0; }

// Everything the context owns, and the record. The driver object is the
// caller's business.
void vFreeContext(GLContext* gc) {
    const bool bLast = gcContexts.fetch_sub(1) == 1;
    if (bIsOverlay(gc)) {
        const ULONG cLeft = gcOverlayContexts.fetch_sub(1) - 1;
        *pulGLOverlayContexts(gppdevLast) = cLeft;
        if (cLeft == 0) __glWriteOverlayRamdac(gppdevLast, 0xE0);
    }
    if (gc->pgc != nullptr && gc->pdraw != nullptr && gc->pnc != nullptr) {
        vMakeCurrent(gc->pnc);
        vFinish(gc);
    }
    if (gc->pnc != nullptr) {
        vMakeCurrent(gc->pnc);
        if (gc->pdraw != nullptr) __glUnbindDrawable(gc->pdraw, gc);
        gc->pdraw = nullptr;
        N_BindBuffers(0, nullptr);
        N_DeleteHookA();
        N_DeleteHookB();
        N_DestroyContext(gc->pnc);
        if (gpncCurrent == gc->pnc) gpncCurrent = nullptr;
        gc->pnc = nullptr;
    }
    // The device's textures and cached staging surfaces go only once the
    // last context has drawn what it had pending and its lgi context is
    // gone: that drawing builds render programs, which fetch (and cache
    // again) the staging surface and the textures.
    if (bLast) {
        __glReleaseDeviceTextures(gppdevLast);
        __glReleaseStagingSurfaces(gppdevLast);
    }
    for (GLState* pgs = gc->pState; pgs != nullptr;) {
        GLState* pNext = pgs->pNext;
        __glXFreeGLState(pgs, pgs->flPresent);
        pgs = pNext;
    }
    gc->pState = nullptr;
    __glXFreeContextLists(gc);
    LocalFree(gc->pSelectBuffer);
    LocalFree(gc->pFeedbackBuffer);
    __glFreeContextBuffers(gc);
    vLeaveClient(gc);
    vUnregisterContext(gc);
    LocalFree(gc);
}

// The driver object's clean-up: the owning process ended or the object is
// deleted with its callback. It runs outside any request, on whichever
// thread ended the process, so it takes the escape lock of the context's
// device, as requests hold it: the context's lgi context, its drawable's
// clip list and buffers and the lgi layer's current context change here.
// A context that lost its handle meanwhile (shut-down freed it) is gone.
BOOL bContextCleanup(DRIVEROBJ* pdo) {
    auto* gc = static_cast<GLContext*>(pdo->pvObj);
    ServerLock lock(pdo->dhpdev != nullptr ? pGLEscapeLock(reinterpret_cast<PDEV*>(pdo->dhpdev)) : pcsServerLock());
    if (bContextRegistered(gc)) vFreeContext(gc);
    return TRUE;
}

}  // namespace

void __glWriteOverlayRamdac(PDEV* ppdev, ULONG ulValue) {
    if (ppdev == nullptr) return;
    // The device's register window, kept in the primary surface's record.
    SURFOBJ* pso = EngLockSurface(hsurfGLScreen(ppdev));
    const DSURF* pdsurf = pso != nullptr ? reinterpret_cast<const DSURF*>(pso->dhsurf) : nullptr;
    BYTE* pjRegs = pdsurf != nullptr ? pdsurf->pjRegs : nullptr;
    if (pso != nullptr) EngUnlockSurface(pso);
    if (pjRegs == nullptr) {
        __glXDebugPrint("%s: no register window\n", __func__);
        return;
    }
    // The RAMDAC's indirect register: index low, index high, then the data.
    constexpr ULONG kOverlayRegister = 12;
    CRITICAL_SECTION* pcs = pGLRamdacLock(ppdev);
    EnterCriticalSection(pcs);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_INDEX_LO, kOverlayRegister);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_INDEX_HI, 0);
    VnxRegWrite(pjRegs, VNX_REG_RAMDAC_DATA, ulValue);
    LeaveCriticalSection(pcs);
}

void __glFreeContextBuffers(GLContext* gc) {
    // (The display list being compiled went with the context's lists,
    // __glXFreeContextLists, before: its batches still being drawn wait on
    // the retiring chain freed here.)
    // The ring's mapping, the primitive buffer and the packet buffers
    // pending or handed to the lgi layer.
    __glFreePrimState(gc);
    // A large command not handed on.
    if (auto* plc = static_cast<GLLargeCommand*>(gc->pLarge)) {
        LocalFree(plc->pjBuffer);
        LocalFree(plc);
        gc->pLarge = nullptr;
    }
}

GLContext* __glDrvCreateContext(SURFOBJ* pso, LONG iPixelFormat, LONG iLayer) {
    auto* gc = static_cast<GLContext*>(LocalAlloc(LPTR, sizeof(GLContext)));
    if (gc == nullptr) {
        __glXDebugPrint("Could not allocate memory for rendering context\n");
        return nullptr;
    }
    *gc = GLContext{};
    const HDRVOBJ hdo = pso != nullptr ? EngCreateDriverObj(gc, bContextCleanup, pso->hdev) : 0;
    if (hdo == 0) {
        __glXDebugPrint("Could not allocate driver obejct for rendering context\n");
        LocalFree(gc);
        return nullptr;
    }
    gc->pdo = reinterpret_cast<void*>(static_cast<std::uintptr_t>(hdo));
    const LONG iLayerBit = iLayer != 0 ? 1 : 0;
    gc->pvis = pvisLookup(iPixelFormat, iLayerBit);
    if (gc->pvis == nullptr) {
        __glXDebugPrint("Could not find visual %d, layer %d\n", iPixelFormat, iLayerBit);
        EngDeleteDriverObj(hdo, FALSE, FALSE);
        LocalFree(gc);
        return nullptr;
    }
    gc->ppdev = reinterpret_cast<PDEV*>(pso->dhpdev);
    gc->bWindowChanged = 1;
    gc->dirty = GLX_DIRTY_VIEWPORT | GLX_DIRTY_COLOR_FORMAT | GLX_DIRTY_CLIP_PLANES | GLX_DIRTY_LIGHTS;
    gc->renderMode = GL_RENDER;
    std::memcpy(gc->viewportMatrix, kDefaultViewport, sizeof kDefaultViewport);
    std::memcpy(gc->deviceMatrix, kIdentity, sizeof kIdentity);
    gc->pnc = N_CreateContext(gc->pvis->bStereo);
    if (gc->pnc != nullptr) vMakeCurrent(gc->pnc);
    if (gc->pnc == nullptr || __glXCreateGLState(gc, gc->pvis->bDoubleBuffer) != 0) {
        if (gc->pnc != nullptr) {
            N_DestroyContext(gc->pnc);
            gpncCurrent = nullptr;
        }
        EngDeleteDriverObj(hdo, FALSE, FALSE);
        LocalFree(gc);
        return nullptr;
    }
    gc->pRenderTable = __glXRenderTable;
    gc->pSavedTable = __glXRenderTable;
    gc->pVertexTable = __glXVertexTable;

    PDEV* ppdev = reinterpret_cast<PDEV*>(pso->dhpdev);
    if (bIsOverlay(gc)) {
        const ULONG cBefore = gcOverlayContexts.fetch_add(1);
        if (cBefore == 0 && ulGLBitmapFormat(ppdev) == BMF_16BPP) __glWriteOverlayRamdac(ppdev, 0x60);
        *pulGLOverlayContexts(ppdev) = cBefore + 1;
    }
    gcContexts.fetch_add(1);
    gppdevLast = ppdev;
    return gc;
}

ULONG __glDrvDeleteContext(GLContext* gc) {
    // The engine forgets the object first; its clean-up is not run.
    if (!EngDeleteDriverObj(hdoOf(gc), FALSE, FALSE)) return static_cast<ULONG>(-1);
    vFreeContext(gc);
    return 1;
}

void __glDestroyContext(GLContext* gc) {
    EngDeleteDriverObj(hdoOf(gc), FALSE, FALSE);
    vFreeContext(gc);
}

ULONG __glDrvReleaseContext(GLContext* gc) {
    if (gc->pnc != nullptr) vMakeCurrent(gc->pnc);
    if (gc->pgc != nullptr) {
        vFinish(gc);
        vLeaveClient(gc);
    }
    return 1;
}

ULONG __glDrvSetContext(GLClient* pgc, GLContext* gc, SURFOBJ* pso, WNDOBJ* pwo, XLATEOBJ*) {
    // A context current elsewhere lets go of that client first, and the
    // client lets go of the context it had.
    if (gc->pgc != nullptr && gc->pgc != pgc) __glDrvReleaseContext(gc);
    if (pgc->gc != nullptr && pgc->gc != gc) __glDrvReleaseContext(pgc->gc);
    pgc->gc = gc;
    gc->pgc = pgc;
    GLDrawable* pdraw = pwo != nullptr ? pdrawFromWindow(pwo) : nullptr;
    if (pdraw == nullptr || static_cast<ULONG>(pdraw->iPixelFormat) != gc->pvis->iFormat) {
        __glXDebugPrint("__glDrvSetContext: dc does not match rc\n");
        vLeaveClient(gc);
        return 0;
    }
    vMakeCurrent(gc->pnc);
    if (pdraw->pBufferSet == nullptr) {
        pdraw->pBufferSet = __glCreateBufferSet(pso, pwo, gc->pvis);
        if (pdraw->pBufferSet == nullptr) {
            vLeaveClient(gc);
            return 0;
        }
    } else if (pdraw->iLayer != gc->pvis->iLayer) {
        vRevalidateLgiState();
        __glSwitchBufferLayer(gc, pdraw->pBufferSet, gc->pvis);
    }
    pdraw->iLayer = gc->pvis->iLayer;
    if (pdraw != gc->pdraw) {
        if (gc->pdraw != nullptr) {
            __glUnbindDrawable(gc->pdraw, gc);
            gc->dirty = ~0u;
        }
        gc->pdraw = nullptr;
        // Bound afresh: the buffers bound for another drawable say nothing
        // of this one's.
        gc->flBufferMask = 0;
        if (__glBindDrawable(pdraw, gc) != 0) {
            vLeaveClient(gc);
            return 0;
        }
        gc->pdraw = pdraw;
        // GL: a context's first window sets its viewport and scissor box.
        if (pdraw->pwo != nullptr) {
            const RECTL& r = pdraw->pwo->rclClient;
            __glXWindowBound(gc, r.right - r.left, r.bottom - r.top);
        }
    }
    gc->pRenderTable = __glXRenderTable;
    gc->bInBegin = 0;
    gc->bCompiling = 0;
    return 1;
}

ULONG __glDrvShareLists(GLContext* gcSource, GLContext* gcTarget) {
    // Sharing a context's lists with itself changes nothing.
    if (gcSource == gcTarget) return 1;
    if (gcTarget->pListTable != nullptr) return 0;
    if (gcSource->pListTable == nullptr) {
        gcSource->pListTable = __glXNewListTable();
        if (gcSource->pListTable == nullptr) return 0;
    }
    gcTarget->pListTable = gcSource->pListTable;
    ++gcTarget->pListTable->cRef;
    return 1;
}

ULONG __glDrvCopyContext(GLContext* gcSource, GLContext* gcTarget, ULONG flMask) {
    if ((flMask & ~0xFFFFFu) != 0) return 0;
    if (gcSource->pnc == nullptr || gcTarget->pnc == nullptr) return 0;
    N_Context* pncBefore = gpncCurrent;
    vMakeCurrent(gcSource->pnc);
    // The groups are saved into a record of their own: the target's blocks
    // where its current level holds them (so that what it keeps stays in
    // step), a temporary block for each group it holds none of. Adding a
    // block to the target's levels would give it one that no pop or
    // delete knows to free.
    GLState* pgs = gcTarget->pState;
    GLState copy{};
    ULONG flTemporary = 0;
    const ULONG flGroups = flMask | GL_ENABLE_BIT;
    ULONG ulResult = 1;
    for (ULONG i = 0; i < GLX_GROUPS; ++i) {
        if ((flGroups & (1u << i)) == 0) continue;
        copy.blocks[i] = pgs != nullptr ? pgs->blocks[i] : nullptr;
        if (copy.blocks[i] == nullptr) {
            copy.blocks[i] = static_cast<ULONG*>(LocalAlloc(LPTR, __glXGroupBlockSize[i]));
            if (copy.blocks[i] == nullptr) {
                ulResult = 0;
                break;
            }
            flTemporary |= 1u << i;
        }
        copy.flPresent |= 1u << i;
    }
    if (ulResult != 0) {
        for (ULONG i = 0; i < GLX_GROUPS; ++i) {
            if ((flGroups & (1u << i)) != 0) __glXCopySavers[i](gcSource, copy.blocks[i]);
        }
        if (flMask & GL_LIGHTING_BIT) gcTarget->dirty |= GLX_DIRTY_LIGHTS;
        if (flMask & GL_TRANSFORM_BIT) gcTarget->dirty |= GLX_DIRTY_CLIP_PLANES;
        vMakeCurrent(gcTarget->pnc);
        __glXApplyGroups(gcTarget, &copy, flGroups, nullptr);
    }
    for (ULONG i = 0; i < GLX_GROUPS; ++i) {
        if ((flTemporary & (1u << i)) != 0) LocalFree(copy.blocks[i]);
    }
    if (pncBefore != nullptr) vMakeCurrent(pncBefore);
    return ulResult;
}

void __glContextLoseClient(GLContext* gc) { gc->pgc = nullptr; }

void __glContextWindowChanged(GLContext* gc) { gc->bWindowChanged = 1; }

void __glContextDrawableGone(GLContext* gc) {
    if (gc->pnc != nullptr) vMakeCurrent(gc->pnc);
    if (gc->pgc != nullptr) {
        vFinish(gc);
        vLeaveClient(gc);
    }
    // The drawable's buffers are freed next: the lgi context must not keep
    // them bound (a later make-current reads its draw buffer).
    N_InvalidateBuffers(0xFFFFFFu);
    gc->pdraw = nullptr;
}

BoardConfig* __glBoardConfig(GLContext* gc) {
    return gc != nullptr && gc->ppdev != nullptr ? pGLBoardConfig(gc->ppdev) : nullptr;
}

BOOL __glMakeLgiCurrent(GLContext* gc) {
    if (gc->pnc == nullptr) return FALSE;
    vMakeCurrent(gc->pnc);
    return TRUE;
}
