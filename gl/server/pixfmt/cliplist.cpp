// The window's GL clip list: the visible part of the client area as 16-bit
// boxes relative to the client rectangle, held as a pixman region, and
// handed to lgi in screen coordinates whenever it changes and on binding.
#include <algorithm>

#include "pixfmt/drawable.h"
#include "platform/engine.h"
#include "seams.h"

namespace {

// Enumerated rectangles taken at most.
constexpr ULONG kClipLimit = 200;
// Boxes the packed list holds at least.
constexpr ULONG kMinCapacity = 10;

USHORT us16(LONG l) { return static_cast<USHORT>(std::clamp<LONG>(l, 0, 0xFFFF)); }

void vUnionRelative(pixman_region16_t* pr, const RECTL& rcl, const RECTL& rclClient) {
    const LONG x1 = us16(rcl.left - rclClient.left), y1 = us16(rcl.top - rclClient.top);
    const LONG x2 = us16(rcl.right - rclClient.left), y2 = us16(rcl.bottom - rclClient.top);
    if (x2 > x1 && y2 > y1) pixman_region_union_rect(pr, pr, x1, y1, x2 - x1, y2 - y1);
}

// Reads the window's region into pr: TRUE, or FALSE when the enumeration
// buffer cannot be had.
BOOL bReadRegion(pixman_region16_t* pr, WNDOBJ* pwo) {
    const RECTL& rclClient = pwo->rclClient;
    const CLIPOBJ& co = pwo->coClient;
    if (rclClient.right <= rclClient.left || rclClient.bottom <= rclClient.top) return TRUE;
    if (co.iDComplexity == DC_RECT) {
        vUnionRelative(pr, co.rclBounds, rclClient);
        return TRUE;
    }
    ULONG c = WNDOBJ_cEnumStart(pwo, CT_RECTANGLES, CD_ANY, kClipLimit);
    if (c == 0xFFFFFFFFu) __glXDebugPrint("clip_limit exceeded\n");
    c = std::min(c, kClipLimit);
    const ULONG cj = c * sizeof(RECTL) + sizeof(ULONG);
    auto* per = static_cast<ENUMRECTS*>(LocalAlloc(LPTR, cj));
    if (per == nullptr) {
        __glXDebugPrint("Can't allocate space for reading GDI clip list\n");
        return FALSE;
    }
    if (c != 0) {
        WNDOBJ_bEnum(pwo, cj, reinterpret_cast<ULONG*>(per));
        const ULONG cGot = std::min(per->c, c);
        for (ULONG i = 0; i < cGot; ++i) vUnionRelative(pr, per->arcl[i], rclClient);
    }
    LocalFree(per);
    return TRUE;
}

}  // namespace

ULONG __glUpdateClipList(GLClipList* pcl, WNDOBJ* pwo) {
    pixman_region16_t region;
    pixman_region_init(&region);
    BOOL bWhole = pwo->coClient.iDComplexity == DC_TRIVIAL;
    if (!bWhole && !bReadRegion(&region, pwo)) {
        pixman_region_fini(&region);
        return 0;
    }
    if (pcl->bScissor) {
        // The scissor box cuts the window's region (the whole client
        // rectangle while nothing else clips it).
        if (bWhole) {
            const RECTL& r = pwo->rclClient;
            const RECTL rcl{r.left, r.top, r.right, r.bottom};
            vUnionRelative(&region, rcl, r);
            bWhole = FALSE;
        }
        const pixman_box16_t& b = pcl->boxScissor;
        pixman_region16_t scissor;
        pixman_region_init_rect(&scissor, b.x1, b.y1, static_cast<unsigned>(std::max(b.x2 - b.x1, 0)),
                                static_cast<unsigned>(std::max(b.y2 - b.y1, 0)));
        pixman_region_intersect(&region, &region, &scissor);
        pixman_region_fini(&scissor);
    }
    // The packed list holds every box of the region, which can be more than
    // the rectangles the engine gave.
    int nBoxes = 0;
    const pixman_box16_t* pb = pixman_region_rectangles(&region, &nBoxes);
    const ULONG cBoxes = static_cast<ULONG>(nBoxes);
    if (pcl->pulPacked == nullptr || cBoxes > pcl->cCapacity) {
        const ULONG cCapacity = std::max(cBoxes, kMinCapacity);
        auto* pul = static_cast<ULONG*>(LocalAlloc(LPTR, cCapacity * 2 * sizeof(ULONG)));
        if (pul == nullptr) {
            __glXDebugPrint("Can't allocate space for storing GL clip list\n");
            pixman_region_fini(&region);
            return 0;
        }
        LocalFree(pcl->pulPacked);
        pcl->pulPacked = pul;
        pcl->cCapacity = cCapacity;
    }
    // Screen coordinates, unsigned 16-bit halves.
    const LONG x0 = pwo->rclClient.left, y0 = pwo->rclClient.top;
    for (ULONG i = 0; i < cBoxes; ++i) {
        pcl->pulPacked[2 * i] = static_cast<ULONG>(us16(y0 + pb[i].y1)) << 16 | us16(x0 + pb[i].x1);
        pcl->pulPacked[2 * i + 1] = static_cast<ULONG>(us16(y0 + pb[i].y2)) << 16 | us16(x0 + pb[i].x2);
    }
    pixman_region_fini(&pcl->region);
    pcl->region = region;
    pcl->cBoxes = cBoxes;
    pcl->bWhole = bWhole;
    pcl->bStale = FALSE;
    pcl->iUniq = pwo->coClient.iUniq;
    return 1;
}

void __glBindClipList(GLClipList* pcl, WNDOBJ* pwo) {
    if (pcl->bStale || pcl->iUniq != pwo->coClient.iUniq) __glUpdateClipList(pcl, pwo);
    if (pcl->bWhole) {
        // No boxes: the whole client rectangle is drawn.
        const RECTL& r = pwo->rclClient;
        const ULONG aul[2] = {static_cast<ULONG>(us16(r.top)) << 16 | us16(r.left),
                              static_cast<ULONG>(us16(r.bottom)) << 16 | us16(r.right)};
        N_BindClipList(1, aul);
        return;
    }
    N_BindClipList(static_cast<LONG>(pcl->cBoxes), pcl->pulPacked);
}

void __glFreeClipList(GLClipList* pcl) {
    pixman_region_fini(&pcl->region);
    LocalFree(pcl->pulPacked);
    pcl->pulPacked = nullptr;
    pcl->cBoxes = pcl->cCapacity = 0;
}
