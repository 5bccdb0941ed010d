// The display driver's exports and record layout for the buffer manager's
// program, with the drawable look-ups and lgi binding (driver_double.h).
#include "driver_double.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "platform/engine.h"
#include "seams.h"

namespace driver_double {

std::vector<SwapCall> gSwaps;
std::vector<CopyCall> gCopies;
std::vector<CopyCall> gDrvCopies;
std::deque<MadeSurface> gMade;
int gcTileFailures = 0;
std::deque<ULONG> gTilePids;
FLONG gflBitmaps = 0xAF;
std::vector<ZoomCall> gZooms;
std::vector<std::vector<ULONG>> gPackets;
int gcFrontDrawn = 0;
std::vector<std::vector<ULONG>> gBinds;
GLDrawable* gpdraw = nullptr;
GLVisual* gpvisMain = nullptr;

namespace {

// The queues of the window redraw: one queue whose packets land in a
// buffer of the test.
struct FakeQueues {
    KZ2QUEUE q[1];
    QUEUELAYOUT layout{};
    ULONG words[64] = {};
};
FakeQueues gQueues;

HSURF hsurfMake(LONG cx, LONG cy, ULONG iFormat, ULONG pidFormat, bool bTile) {
    MadeSurface& m = gMade.emplace_back();
    m.dfb.pid = pidFormat | static_cast<ULONG>(gMade.size());
    m.dsurf.pdfb = &m.dfb;
    m.cx = cx;
    m.cy = cy;
    m.iFormat = iFormat;
    m.bTile = bTile;
    return EngCreateDeviceBitmap(reinterpret_cast<DHSURF>(&m.dsurf), SIZEL{cx, cy}, iFormat);
}

}  // namespace
}  // namespace driver_double

using namespace driver_double;

extern "C" const GLPDEVFIELDS gGLPdevFields = {
    .cjPageConfig = offsetof(TestPdev, pPageConfig),
    .cjPixelClass = offsetof(TestPdev, iPixelClass),
    .cjBitmapFormat = offsetof(TestPdev, iBitmapFormat),
    .cjDriver = offsetof(TestPdev, hDriver),
    .cjBoardConfig = offsetof(TestPdev, bc),
    .cjEscapeLock = offsetof(TestPdev, csEscape),
    .cjScreen = offsetof(TestPdev, hsurfScreen),
    .cjScreenSize = offsetof(TestPdev, cxScreen),
    .cjBack = offsetof(TestPdev, psoBack),
    .cjDepth = offsetof(TestPdev, psoZ),
    .cjSwapState = offsetof(TestPdev, alSwapState),
    .cjRamdacLock = offsetof(TestPdev, csRamdac),
    .cjOverlayContexts = offsetof(TestPdev, cGLOverlayContexts),
    .cjTexture16 = offsetof(TestPdev, fTexture16),
    .cjHookSlots = offsetof(TestPdev, hooks),
    .cjDsurfDither = offsetof(TestPdev, pdsurfDither),
    .cjPidDither = offsetof(TestPdev, pidDither),
};
extern "C" void kz2SwapBackToFrontC(SURFOBJ* psoBack, SURFOBJ* psoFront, CLIPOBJ* pco, RECTL* prcl,
                                    ULONG ulPageMask, BOOL bDirect, ULONG fPlanes) {
    gSwaps.push_back({psoBack, psoFront, pco, *prcl, ulPageMask, bDirect, fPlanes});
}
extern "C" BOOL CopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ*, RECTL* prcl,
                         POINTL* pptl, ULONG iMode) {
    ULONG ul = 0;
    if (psoSrc->iType == STYPE_BITMAP && psoSrc->pvScan0 != nullptr)
        std::memcpy(&ul, static_cast<BYTE*>(psoSrc->pvScan0) + pptl->y * psoSrc->lDelta + pptl->x * 4, 4);
    gCopies.push_back({psoDst, psoSrc, pco, *prcl, *pptl, iMode, ul, psoDst->pvBits});
    return TRUE;
}
extern "C" HSURF CreateIGBETile(PDEV*, LONG size, ULONG pidFormat, FLONG fl) {
    EXPECT_EQ(fl, 15u);
    if (gcTileFailures > 0) {
        --gcTileFailures;
        return nullptr;
    }
    HSURF hsurf = hsurfMake(size, size, pidFormat == 0 ? BMF_8BPP : BMF_32BPP, pidFormat, true);
    if (!gTilePids.empty()) {
        gMade.back().dfb.pid = gTilePids.front();
        gTilePids.pop_front();
    }
    return hsurf;
}
extern "C" HSURF CreateDeviceBitmap(PDEV*, LONG cx, LONG cy, ULONG iFormat, POINTL* pptl, FLONG fl) {
    EXPECT_EQ(fl, gflBitmaps);
    // Bitmaps of flag class 0x80 carry the class bit, as the driver marks them.
    const ULONG ulClass = (fl & 0x80u) != 0 ? 0x20u : 0u;
    const ULONG fmt = iFormat == BMF_8BPP ? 0u : iFormat == BMF_16BPP ? 0x8000u : 0xA000u;
    HSURF hsurf = hsurfMake(cx, cy, iFormat, fmt | ulClass, false);
    if ((fl & DFB_FL_PLACED) != 0 && pptl != nullptr) gMade.back().at = *pptl;
    return hsurf;
}
// The records are the test's own: only the engine's surface goes.
extern "C" void DeleteDeviceBitmap(HSURF hsurf) { EngDeleteSurface(hsurf); }
extern "C" BOOL DrvCopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ*, RECTL* prcl,
                            POINTL* pptl) {
    gDrvCopies.push_back({psoDst, psoSrc, pco, *prcl, *pptl, 0, 0, nullptr});
    return TRUE;
}
extern "C" ULONG kz2WriteRectZoom(SURFOBJ* psoDst, SURFOBJ*, RECTL* prclDst, POINTL*, ULONG z0, ULONG z1,
                                  ULONG z2, ULONG z3, LONG x0, LONG y0, LONG x1, LONG y1) {
    gZooms.push_back({psoDst, *prclDst, {z0, z1, z2, z3}, RECTL{x0, y0, x1, y1}});
    return 1;
}
extern "C" KZ2QUEUEMGT kz2GetQueueMgt(const void*, ULONG) {
    gQueues.layout.cQueues = 1;
    gQueues.q[0].pLayout = &gQueues.layout;
    gQueues.q[0].pqCurrent = &gQueues.q[0];
    return gQueues.q;
}
extern "C" ULONG kz2GetBlockEnable(ULONG, ULONG, ULONG, ULONG) { return 0xFFFF; }
extern "C" ULONG* kz2NewPacketQueue(KZ2QUEUEMGT qm, PVOID, ULONG) {
    qm->pPacket = gQueues.words;
    qm->cPrims = 0;
    qm->pWrite = gQueues.words + 2;
    return qm->pWrite;
}
extern "C" void kz2WriteRectNoPrimData(KZ2QUEUEMGT, ULONG*, LONG, LONG, LONG, LONG) {}
extern "C" ULONG kz2UpdatePacketPtr(KZ2QUEUEMGT qm, PVOID, ULONG* pEnd, ULONG) {
    std::vector<ULONG> v(gQueues.words, pEnd);
    v[1] = qm->cPrims;
    gPackets.push_back(v);
    return 1;
}
extern "C" void kz2FrontBufferDrawn(KZ2QUEUEMGT) { ++gcFrontDrawn; }

// --- the drawable and visual look-ups, and lgi's binding ----------------------------------
void __glBindClipList(GLClipList*, WNDOBJ*) {}
CRITICAL_SECTION gcsBufferList;
GLDrawable* pdrawFromWindow(WNDOBJ*) { return gpdraw; }
GLVisual* pvisLookup(LONG, LONG iLayer) { return iLayer == 0 ? gpvisMain : nullptr; }
void N_BindBuffers(ULONG c, GLBuffer* const* ppb) {
    std::vector<ULONG> kinds;
    for (ULONG i = 0; i < c; ++i) kinds.push_back(ppb[i]->kind);
    gBinds.push_back(kinds);
}
