// The packet-queue glue: reservations, updates and the finish over the
// display driver's queue API, and the board's number forms.
#include "queue.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "glpdev.h"
#include "kz2/ucode/kzprog.h"

ULONG gNPendingUpdate = 0;
std::uint64_t gNTrianglePixels = 0;
std::uint64_t gNQueuedPixels = 0;

namespace {

// The units to switch off for programs whose flags A and B say whether
// they need them.
ULONG flUnitsOff(bool bNeedA, bool bNeedB) { return (bNeedB ? 0 : N_UNIT_B_BIT) | (bNeedA ? 0 : N_UNIT_A_BIT); }

// A reservation made while the last one is still open is reported and goes on.
void vMarkPending() {
    if (gNPendingUpdate != 0) DbgPrint(N_PENDING_UPDATE_TEXT);
    gNPendingUpdate = 1;
}

// Whether a reservation of cbRoom bytes fits the queues' rings. One that
// cannot is reported and refused before the queues are touched (no units
// switched off, no packets opened): the driver could only meet it by
// writing past a ring's end. The render functions cut their calls into
// pieces of _NQueueRoomLimit bytes, so only a single primitive larger than
// a ring comes here.
bool bRingHolds(KZ2QUEUEMGT qm, ULONG cbRoom, const char* pszFunction) {
    if (qm == nullptr || cbRoom <= kz2MaxRoom(qm)) return true;
    DbgPrint("%s: %u bytes do not fit a queue ring, not drawn\n", pszFunction, cbRoom);
    return false;
}

const kzProgPacket& ImageOfSlot(N_HwRecord* phw, ULONG slot) { return pkzProgOf(phw->programs[slot])->image; }

// Closes the batch: the update given, then the units on again.
template <typename Update>
void vClose(N_HwRecord* phw, Update update) {
    KZ2QUEUEMGT qm = phw->qm;
    if (qm != nullptr) {
        update(qm);
        if (qm->fDisabled != 0) kz2ConfigEnable(qm);
    }
    gNPendingUpdate = 0;
}

}  // namespace

KZ2QUEUEMGT _NRefreshQueueMgt(N_HwRecord* phw) {
    const ULONG mask = kz2GetBlockEnable(1, 1, 1, 1);
    const void* pvSurface = nullptr;
    if (phw->pDevice != nullptr && phw->pDevice->ppdev != nullptr) pvSurface = pvGLDsurfScreen(phw->pDevice->ppdev);
    phw->qm = kz2GetQueueMgt(pvSurface, mask);
    return phw->qm;
}

ULONG _NQueueRoomLimit(N_HwRecord* phw) { return kz2MaxRoom(_NRefreshQueueMgt(phw)); }

LONG _NScreensWidth(N_HwRecord* phw, LONG cxScreen) {
    const KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    if (qm == nullptr || qm->pLayout == nullptr || qm->pLayout->bSplitScreen == 0) return cxScreen;
    return cxScreen * static_cast<LONG>(std::max<ULONG>(qm->pLayout->cScreens, 1));
}

ULONG* _NNextQAddrFlushMC(N_HwRecord* phw, const kzProgPacket* pImage, ULONG cbRoom, PVOID a, PVOID b, PVOID c,
                          ULONG bForce, PFN_KZ2FILL pfnFill) {
    KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    if (!bRingHolds(qm, cbRoom, "_NNextQAddrFlushMC")) return nullptr;
    if (bForce != 0 && qm != nullptr) {
        // An empty packet closed now makes the next step open new packets,
        // with their prefix, in every queue.
        ULONG* p = kz2AllocQueue(qm, ~0u, 0, 0, 0);
        kz2UpdatePacketPtr(qm, nullptr, p, 0);
        qm->fFresh = 1;
    }
    const bool bNeedA = pImage->w[KZ_IMG_UNIT28] != 0, bNeedB = pImage->w[KZ_IMG_UNIT27] != 0;
    if (!(bNeedA && bNeedB)) kz2ConfigDisable(qm, flUnitsOff(bNeedA, bNeedB));
    ULONG* p = kz2AllocFlushQueue(qm, ~0u, cbRoom, a, b, c, bForce, pfnFill);
    vMarkPending();
    return p;
}

ULONG* _NNextQAddrMC(N_HwRecord* phw, ULONG a, ULONG* pBatch, ULONG cbRoom) {
    const kzProgPacket& i0 = ImageOfSlot(phw, 0);
    const kzProgPacket& i1 = ImageOfSlot(phw, 1);
    const bool bNeedA = i0.w[KZ_IMG_UNIT28] != 0 && i1.w[KZ_IMG_UNIT28] != 0;
    const bool bNeedB = i0.w[KZ_IMG_UNIT27] != 0 && i1.w[KZ_IMG_UNIT27] != 0;
    KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    if (!bRingHolds(qm, cbRoom, "_NNextQAddrMC")) return nullptr;
    if (!(bNeedA && bNeedB)) kz2ConfigDisable(qm, flUnitsOff(bNeedA, bNeedB));
    // The batch word's address does not fit the driver's 32-bit argument; the
    // driver ignores both of these arguments.
    ULONG* p = kz2AllocQueue(qm, ~0u, cbRoom, a, 0);
    *pBatch = N_BATCH_PRIMS;
    vMarkPending();
    return p;
}

void _NUpdateQAddr(N_HwRecord* phw) {
    vClose(phw, [](KZ2QUEUEMGT qm) {
        kz2UpdatePacketPtr(qm, reinterpret_cast<PVOID>(&_NSoftUpdateQAddr), qm->pWrite, 0);
    });
}

void _NSoftUpdateQAddr(N_HwRecord* phw, ULONG, ULONG*) {
    vClose(phw, [](KZ2QUEUEMGT qm) { kz2SoftUpdatePacketPtr(qm, qm->pWrite); });
    if (gNQueuedPixels >= N_QUEUED_PIXELS_MAX && phw->qm != nullptr) {
        // The whole stream to the board, the open packets ended (a kick
        // alone leaves a packet that runs past it waiting for the next).
        gNQueuedPixels = 0;
        kz2FlushPacket(phw->qm);
    }
}

void _NFlushQ(N_HwRecord* phw, ULONG** ppReset, ULONG* pRoom) {
    if (phw == nullptr) return;
    gNQueuedPixels = 0;
    kz2FlushQueue(_NRefreshQueueMgt(phw), ~0u, ppReset, pRoom);
}

N_PixelBound _NWindowBound(const N_Context* pctx) {
    N_PixelBound b;
    ULONG x0 = 0xFFFFFFFFu, y0 = 0xFFFFFFFFu, x1 = 0, y1 = 0;
    for (ULONG i = 0; pctx->pulDecodedClip != nullptr && i < pctx->cClipRects; ++i) {
        const ULONG* r = pctx->pulDecodedClip + 4 * std::size_t{i};
        if (r[2] <= r[0] || r[3] <= r[1]) continue;
        x0 = std::min(x0, r[0]), y0 = std::min(y0, r[1]);
        x1 = std::max(x1, r[2]), y1 = std::max(y1, r[3]);
    }
    if (x1 > x0 && y1 > y0) {
        b.cx16 = std::min<std::uint64_t>(b.cx16, std::uint64_t{x1 - x0} * 16);
        b.cy16 = std::min<std::uint64_t>(b.cy16, std::uint64_t{y1 - y0} * 16);
    }
    return b;
}

void _NCountTriangle(const N_PixelBound& bound, ULONG a, ULONG b, ULONG c) {
    const std::int64_t ax = a & 0xFFFFu, ay = a >> 16, bx = b & 0xFFFFu, by = b >> 16, cx = c & 0xFFFFu,
                       cy = c >> 16;
    const std::int64_t area2 = std::llabs((bx - ax) * (cy - ay) - (by - ay) * (cx - ax));  // 1/256 pixel
    const auto w = std::min<std::uint64_t>(std::max({ax, bx, cx}) - std::min({ax, bx, cx}), bound.cx16);
    const auto h = std::min<std::uint64_t>(std::max({ay, by, cy}) - std::min({ay, by, cy}), bound.cy16);
    const std::uint64_t n = std::min<std::uint64_t>(static_cast<std::uint64_t>(area2) / 512, w * h / 256);
    gNTrianglePixels += n;
    gNQueuedPixels += n;
}

std::uint64_t N_TrianglePixels(void) { return gNTrianglePixels; }

ULONG _NBatchForce(ULONG* pBatch, ULONG n) {
    if (*pBatch == 0) *pBatch = N_BATCH_PRIMS;
    return std::uint64_t{n} + *pBatch > N_BATCH_PRIMS ? 1 : 0;
}

ULONG _NCopyPktHeader(PVOID, ULONG* pPacket, PVOID pvImage, PVOID) {
    const auto* pImage = static_cast<const kzProgPacket*>(pvImage);
    // The image says how many of its words head a packet; a count beyond the
    // image is taken as the image.
    ULONG c = pImage->w[KZ_IMG_WORDS];
    if (c > KZ_IMG_WORDS) c = KZ_IMG_WORDS;
    std::memcpy(pPacket, pImage->w, c * sizeof(ULONG));
    return c * sizeof(ULONG);
}

ULONG _NPackHwFloat16(ULONG v) {
    ULONG n = 0;
    if (v & 0x80000u) {
        do {
            if (++n == 7) break;
            v <<= 1;
        } while (v & 0x80000u);
    }
    return ((v & 0x7FF80u) >> 7) | ((n | 8u) << 12);
}

LONG _NRoundToInt(float x) {
    const double d = x;
    if (!(d >= -2147483648.0 && d < 2147483648.0)) return static_cast<LONG>(0x80000000u);
    const double f = std::floor(d);
    const double frac = d - f;  // exact for a float
    double r = f;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(f, 2.0) != 0.0)) r = f + 1.0;
    if (r >= 2147483648.0) return static_cast<LONG>(0x80000000u);
    return static_cast<LONG>(r);
}
