// Drawing of the immediate-mode 3D escape: set_buffer, the clear, the render
// set-up from the view's mode bytes, the packet templates, vertex conversion
// and the primitive renderers with their routing to the rasterizers.
//
// Packet templates. A drawing packet is a render packet of the board's
// format: command word, control word, one pid word (the destination pid
// pair), the render program's instructions, the clip pair, the per-packet
// data words, then per primitive its data words and one position word per
// vertex. The command word says it all, so the templates are built from
// the current mode and device on every command:
//   class (bits 0-3): points 0, lines 1, triangles 5, rectangles 6;
//   bit 5: the clip pair; bits 20-24: instruction count; bits 25-27: 1 pid;
//   data register 27 (bits 12-13), the colour: variant 0 one word per
//   packet (the command's word 4), variant 1 one word per primitive (the
//   first vertex's colour), variant 2 one word per vertex;
//   data register 28 (bits 14-15), the depth: one word per vertex while
//   the depth mode is on;
//   code 110 loads 27 and 28 per vertex always, and 29 and 30 per vertex
//   with the vertex's x and y as whole 32-bit 28.4 words (the "six more
//   words" of a triangle), for the board's exact interpolation.
// The depth mode (view byte 0) and the dither flag choose the template; the
// colour and third mode bytes and the fill colours are kept for the client
// and choose nothing here.
// Programs: the colour write copies register 27 into 13 (the colour pixel);
// with the depth mode on the depth test word of the board's render programs
// comes first and the depth write (register 28 into 14, the depth pixel)
// last; the dither step combines the pattern register (which then holds the
// 3D dither matrix) with the colour before the write.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cliprects.h"
#include "copy/copy.h"
#include "fill/fill.h"
#include "heidi/heidi_internal.h"
#include "queue/queue.h"
#include "rop/rop.h"
#include "vornix_surface.h"

namespace {

// Command-word pieces.
#define HCMD_CLIP 0x20u
#define HCMD_ONE_PID 0x02000000u
#define HCMD_INSTR_SHIFT 20
#define HCMD_REG_SHIFT(r) (12 + 2 * ((r) - 27))
// Load kinds: one word a packet, a primitive, a vertex, numbered as the GL
// server's render programs number them (kzuinstr.h), in every class.
#define HLOAD_PACKET 1u
#define HLOAD_PRIMITIVE 2u
#define HLOAD_VERTEX 3u

// Program words.
#define HI_COLOUR_WRITE 0x10360348u  // register 27 into 13
#define HI_DEPTH_TEST 0x30387BE1u    // the depth test of the board's render programs
#define HI_DEPTH_WRITE 0x10380388u   // register 28 into 14
#define HI_DITHER 0x103662C1u        // register 27 OR the pattern register 12 into 11
#define HI_DITHER_WRITE 0x10160348u  // register 11 into 13

// The clear: copy register 28 (the clear value) into 13, rectangles.
#define HCMD_CLEAR 0x02104026u
#define HI_CLEAR 0x10380348u

#define HEIDI_BATCH 64u  // primitives a packet takes
#define DITHER_MARK 0xDEADBABEu

struct KINDROW {
    ULONG ulClass;
    ULONG cVertices;
    bool bVariant2;  // variant 2 is served
};
// By HEIDIKIND.
const KINDROW kKinds[] = {
    {0, 1, false},  // points
    {1, 2, true},   // lines
    {5, 3, true},   // triangles
    {5, 3, true},   // triangles, fixed renderer
    {6, 4, false},  // rectangles (two vertices a primitive, four corners sent)
};

HEIDIKIND kindOf(ULONG ulCode) {
    if (ulCode == HEIDI_POINTS) return HK_POINTS;
    if (ulCode <= HEIDI_LINES_LAST) return HK_LINES;
    if (ulCode <= HEIDI_TRIS_DITHER) return HK_TRIS;
    if (ulCode == HEIDI_TRIS_FIXED) return HK_TRIS_FIXED;
    return HK_RECTS;
}

inline bool bFits(std::int64_t v) { return v >= -32768 && v <= 32767; }

// A vertex converted to board 28.4 coordinates; bOk false when it lies
// outside what a packed word can name.
struct BVERTEX {
    LONG x, y;
    ULONG ulDepth, ulColour;
    bool bOk;
};

// One primitive: its vertices (indices) and its box in 28.4.
struct PRIM {
    ULONG a[3];
    LONG xMin, yMin, xMax, yMax;
};

// The board origin of the target surface.
POINTL ptlOrigin(SURFOBJ* pso) {
    const DSURF* pdsurf = pso != nullptr ? reinterpret_cast<const DSURF*>(pso->dhsurf) : nullptr;
    if (pdsurf == nullptr || pdsurf->pdfb == nullptr) return {0, 0};
    return {pdsurf->pdfb->x, pdsurf->pdfb->y};
}

// The render set-up: requested mode bytes taken into the active ones.
void vRenderSetUp(HEIDIWND* phw, ULONG jSetup) {
    HEIDIVIEW* pv = reinterpret_cast<HEIDIVIEW*>(phw->pjView);
    if (jSetup & HEIDI_SETUP_DEPTH) pv->ajMode[0] = pv->ajMode[3];
    if (jSetup & HEIDI_SETUP_COLOUR) {
        pv->ajMode[1] = pv->ajMode[4];
        for (ULONG i = 0; i < 4; ++i) {
            const ULONG ul = pv->ajFill[2 * i] * 0x01010101u;
            phw->aulFill[i][0] = ul;
            phw->aulFill[i][1] = ul;
        }
    }
    if (jSetup & HEIDI_SETUP_THIRD) pv->ajMode[2] = pv->ajMode[5];
}

// The primitives of the vertices by kind (strips end where a vertex's depth
// word has bit 31).
std::vector<PRIM> vPrimitives(HEIDIKIND kind, const std::vector<BVERTEX>& v) {
    std::vector<PRIM> out;
    const ULONG n = static_cast<ULONG>(v.size());
    auto add = [&](std::initializer_list<ULONG> idx) {
        PRIM p{};
        ULONG k = 0;
        p.xMin = p.yMin = INT32_MAX;
        p.xMax = p.yMax = INT32_MIN;
        for (ULONG i : idx) {
            if (!v[i].bOk) return;
            p.a[k++] = i;
            p.xMin = std::min(p.xMin, v[i].x);
            p.yMin = std::min(p.yMin, v[i].y);
            p.xMax = std::max(p.xMax, v[i].x);
            p.yMax = std::max(p.yMax, v[i].y);
        }
        out.push_back(p);
    };
    switch (kind) {
        case HK_POINTS:
            for (ULONG i = 0; i < n; ++i) add({i});
            break;
        case HK_LINES:
            for (ULONG i = 0; i + 1 < n;) {
                add({i, i + 1});
                i += (v[i].ulDepth & HEIDI_STRIP_END) ? 2 : 1;
            }
            break;
        case HK_TRIS:
        case HK_TRIS_FIXED:
            for (ULONG i = 0; i + 2 < n;) {
                add({i, i + 1, i + 2});
                i += (v[i].ulDepth & HEIDI_STRIP_END) ? 3 : 1;
            }
            break;
        case HK_RECTS:
            for (ULONG i = 0; i + 1 < n; i += 2) add({i, i + 1});
            break;
    }
    return out;
}

// Whether the primitive's box, widened for its kind, meets the clip
// rectangle (board pixels).
bool bMeets(HEIDIKIND kind, const PRIM& p, const RECTL& r) {
    LONG x0 = p.xMin, y0 = p.yMin, x1 = p.xMax, y1 = p.yMax;
    if (kind == HK_POINTS) x1 += 15, y1 += 15;          // the one-pixel box
    if (kind == HK_LINES) x0 -= 8, y0 -= 8, x1 += 8, y1 += 8;  // half a pixel
    return x1 >= r.left * 16 && x0 < r.right * 16 && y1 >= r.top * 16 && y0 < r.bottom * 16;
}

struct DRAW {
    PDEV* ppdev;
    SURFOBJ* pso;
    KZ2QUEUEMGT pqm;
    HEIDIKIND kind;
    ULONG iVariant;
    bool bDepth;
    ULONG ulCommand;
    ULONG ulStripState;
};

// Routes a primitive whose words end at pEnd.
ULONG* pRoute(DRAW* pd, ULONG* pEnd, const ULONG* axy) {
    KZ2QUEUEMGT pqm = pd->pqm;
    const QUEUELAYOUT* pLayout = pqm->pLayout;
    switch (pd->kind) {
        case HK_POINTS: return pRoutePoint(pqm, pEnd, axy[0]);
        case HK_LINES: {
            const ULONG ulA = axy[0], ulB = axy[1];
            LONG xa = xOf(ulA), ya = yOf(ulA), xb = xOf(ulB), yb = yOf(ulB);
            auto widen = [](LONG* a, LONG* b) {
                const LONG d = *a <= *b ? 8 : -8;
                *a -= d;
                *b += d;
            };
            widen(&xa, &xb);
            widen(&ya, &yb);
            const bool bOneTile = bSameTile28_4(xa, ya, xb, yb);
            if (pLayout->cQueues == 1) return pInline(pqm, pEnd, pqm->pqCurrent);
            if (pLayout->bSplitScreen) return kz2CopyPrimMulScreen(pqm, pEnd, ulB, bOneTile);
            if (bOneTile && pqm->pqCurrent->cPrims != 0)
                return pInline(pqm, pEnd, pqm + pqm->abTileQueue[KZ2_TILE_OF(ulClipWord(xb, yb))]);
            return kz2CopyPrimStripOpt(pqm, pEnd, ulClipWord(xa, ya), ulClipWord(xb, yb), ulB,
                                       &pd->ulStripState, FALSE);
        }
        case HK_TRIS:
        case HK_TRIS_FIXED: {
            if (pLayout->cQueues == 1) return pInline(pqm, pEnd, pqm->pqCurrent);
            const bool bOneTile = bSameTile28_4(xOf(axy[0]), yOf(axy[0]), xOf(axy[1]), yOf(axy[1])) &&
                                  bSameTile28_4(xOf(axy[0]), yOf(axy[0]), xOf(axy[2]), yOf(axy[2]));
            if (pLayout->bSplitScreen) return kz2CopyPrimMulScreen(pqm, pEnd, axy[0], bOneTile);
            return kz2CopyPrimStripOpt(pqm, pEnd, axy[0], axy[1], axy[2], &pd->ulStripState, FALSE);
        }
        case HK_RECTS: {
            const ULONG v00 = axy[0], v11 = axy[2];
            const bool bOneTile = bSameTile28_4(xOf(v00), yOf(v00), xOf(v11), yOf(v11));
            return pRoutePrimitive(pqm, pEnd, v00, v11, bOneTile);
        }
    }
    return pEnd;
}

// Writes one primitive at p and routes it; answers where the next goes, or
// p itself when the primitive is dropped.
ULONG* pPrimitive(DRAW* pd, ULONG* p, const PRIM& prim, const std::vector<BVERTEX>& v) {
    ULONG a[3] = {prim.a[0], prim.a[1], prim.a[2]};
    ULONG cv = kKinds[pd->kind].cVertices;
    KZ2QUEUEMGT pqm = pd->pqm;
    if (pd->kind == HK_TRIS || pd->kind == HK_TRIS_FIXED) {
        const std::int64_t x0 = v[a[0]].x, y0 = v[a[0]].y, x1 = v[a[1]].x, y1 = v[a[1]].y,
                           x2 = v[a[2]].x, y2 = v[a[2]].y;
        const std::int64_t area = (y0 - y1) * (x2 - x0) + (y2 - y0) * (x1 - x0);
        if (area > -224 && area < 224) return p;  // too thin to cover a pixel centre
        if (area < 0) std::swap(a[1], a[2]);
    }
    if (pd->kind == HK_LINES && v[a[0]].x >> 4 == v[a[1]].x >> 4 && v[a[0]].y >> 4 == v[a[1]].y >> 4 &&
        pqm->pqCurrent->cPrims != 0)
        return p;  // both ends in one pixel
    const ULONG cSent = pd->kind == HK_RECTS ? 2 : cv;  // vertices the words come from
    const bool bFixed = pd->kind == HK_TRIS_FIXED;
    // Colours, depths, then (code 110) x and y words.
    if (bFixed || pd->iVariant == 2) {
        for (ULONG i = 0; i < cSent; ++i) *p++ = v[a[i]].ulColour;
    } else if (pd->iVariant == 1) {
        *p++ = v[a[0]].ulColour;
    }
    if (pd->kind == HK_RECTS && pd->bDepth) {
        // A rectangle lies at its first vertex's depth: one word a corner.
        for (ULONG i = 0; i < cv; ++i) *p++ = v[a[0]].ulDepth & ~HEIDI_STRIP_END;
    } else if (bFixed || pd->bDepth) {
        for (ULONG i = 0; i < cSent; ++i) *p++ = v[a[i]].ulDepth & ~HEIDI_STRIP_END;
    }
    if (bFixed) {
        for (ULONG i = 0; i < cSent; ++i) *p++ = static_cast<ULONG>(v[a[i]].x);
        for (ULONG i = 0; i < cSent; ++i) *p++ = static_cast<ULONG>(v[a[i]].y);
    }
    ULONG axy[4];
    if (pd->kind == HK_RECTS) {
        const LONG x0 = std::min(v[a[0]].x, v[a[1]].x), x1 = std::max(v[a[0]].x, v[a[1]].x);
        const LONG y0 = std::min(v[a[0]].y, v[a[1]].y), y1 = std::max(v[a[0]].y, v[a[1]].y);
        axy[0] = ulClipWord(x0, y0);
        axy[1] = ulClipWord(x1, y0);
        axy[2] = ulClipWord(x1, y1);
        axy[3] = ulClipWord(x0, y1);
    } else {
        for (ULONG i = 0; i < cv; ++i) axy[i] = ulClipWord(v[a[i]].x, v[a[i]].y);
    }
    for (ULONG i = 0; i < cv; ++i) *p++ = axy[i];
    return pRoute(pd, p, axy);
}

}  // namespace

HEIDITEMPLATE tplHeidi(const PDEV* ppdev, HEIDIKIND kind, BOOL bDepth, BOOL bDither) {
    HEIDITEMPLATE t{};
    const KINDROW& row = kKinds[kind];
    const bool bFixed = kind == HK_TRIS_FIXED;
    // Dithering is for the modes below 32 bits a pixel.
    const bool bDitherOn = bDither && kind == HK_TRIS && ppdev->iBitmapFormat != BMF_32BPP;
    if (bDepth || bFixed) t.aulBody[t.cBody++] = HI_DEPTH_TEST;
    if (bDitherOn) {
        t.aulBody[t.cBody++] = HI_DITHER;
        t.aulBody[t.cBody++] = HI_DITHER_WRITE;
    } else {
        t.aulBody[t.cBody++] = HI_COLOUR_WRITE;
    }
    if (bDepth || bFixed) t.aulBody[t.cBody++] = HI_DEPTH_WRITE;
    const ULONG ulBase = row.ulClass | HCMD_ONE_PID | t.cBody << HCMD_INSTR_SHIFT;
    const ULONG ulDepth = bDepth || bFixed ? HLOAD_VERTEX << HCMD_REG_SHIFT(28) : 0;
    if (bFixed) {
        const ULONG ulAll = HLOAD_VERTEX << HCMD_REG_SHIFT(27) | ulDepth |
                            HLOAD_VERTEX << HCMD_REG_SHIFT(29) | HLOAD_VERTEX << HCMD_REG_SHIFT(30);
        t.aulCommand[0] = t.aulCommand[1] = t.aulCommand[2] = ulBase | ulAll;
        return t;
    }
    t.aulCommand[0] = ulBase | ulDepth | HLOAD_PACKET << HCMD_REG_SHIFT(27);
    t.aulCommand[1] = ulBase | ulDepth | HLOAD_PRIMITIVE << HCMD_REG_SHIFT(27);
    t.aulCommand[2] = row.bVariant2 ? ulBase | ulDepth | HLOAD_VERTEX << HCMD_REG_SHIFT(27) : 0;
    return t;
}

void vSetBuffer(SURFOBJ* pso, PDEV* ppdev, HEIDIWND* phw, ULONG ulSub) {
    HEIDIVIEW* pv = reinterpret_cast<HEIDIVIEW*>(phw->pjView);
    switch (ulSub) {
        case HEIDI_BUF_FRONT:
        case HEIDI_BUF_BACK:
            phw->fBack = ulSub == HEIDI_BUF_BACK;
            phw->ulPidPair = ulPidPair(ppdev, phw->fBack);
            break;
        case HEIDI_BUF_SWAP: {
            RECTL arcl[HEIDI_MAX_CLIP];
            const ULONG c = cHeidiClip(ppdev, phw, arcl);
            const POINTL org = ptlOrigin(pso);
            const ULONG iMode = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo ? 1 : 0;
            for (ULONG i = 0; i < c; ++i) {
                const RECTL& r = arcl[i];
                ulCopyRectSamePos(pso, ppdev->psoBack, r.left + org.x, r.top + org.y, r.right - r.left,
                                  r.bottom - r.top, 0xCC, FALSE, FALSE, iMode);
            }
            return;
        }
        case HEIDI_BUF_DEPTH_OFF:
        case HEIDI_BUF_DEPTH_ON:
            pv->ajMode[3] = ulSub == HEIDI_BUF_DEPTH_ON ? 1 : 0;
            vRenderSetUp(phw, HEIDI_SETUP_DEPTH);
            return;
        case HEIDI_BUF_DITHER_OFF:
        case HEIDI_BUF_DITHER_ON:
            phw->fDither = ulSub == HEIDI_BUF_DITHER_ON && ppdev->iBitmapFormat != BMF_32BPP;
            break;
        case HEIDI_BUF_NOTHING: break;
        default: DbgPrint("set_buffer:unknown sub_command\n"); return;
    }
    vRenderSetUp(phw, 0);
}

void vClear(SURFOBJ* pso, PDEV* ppdev, HEIDIWND* phw, const HEIDICMD& cmd) {
    RECTL arcl[HEIDI_MAX_CLIP];
    const ULONG c = cHeidiClip(ppdev, phw, arcl);
    SURFOBJ* psoTarget = psoHeidiTarget(pso, phw);
    FILLTARGET ft;
    if (c == 0 || !bFillTarget(psoTarget, &ft)) return;
    const ULONG pid = cmd.jSelect == 1 ? phw->ulPidPair >> 16 : phw->ulPidPair;
    const ULONG ulValue = cmd.cx | static_cast<ULONG>(cmd.cy) << 16;
    ULONG* p = kz2NewPacketQueue(ft.pqm, psoTarget, c);
    *p++ = pid;
    *p++ = HI_CLEAR;
    p = pWriteFillClip(p, &ft, 0);
    *p++ = ulValue;
    for (ULONG i = 0; i < c; ++i) {
        const RECTL& r = arcl[i];
        p = pRouteRect(ft.pqm, p, r.left + ft.xOrg, r.top + ft.yOrg, r.right + ft.xOrg, r.bottom + ft.yOrg);
    }
    vSetCommand(ft.pqm, HCMD_CLEAR);
    kz2UpdatePacketPtr(ft.pqm, psoTarget, p, 1);
}

void vDraw(SURFOBJ* pso, PDEV* ppdev, HEIDIWND* phw, const HEIDICMD& cmd) {
    const HEIDIKIND kind = kindOf(cmd.ulCode);
    if (cmd.jSetup != 0) vRenderSetUp(phw, cmd.jSetup);
    const HEIDIVIEW* pv = reinterpret_cast<const HEIDIVIEW*>(phw->pjView);
    const bool bDepth = pv->ajMode[0] != 0;
    const ULONG iVariant = kind == HK_TRIS_FIXED ? 2 : cmd.jSelect;
    if (iVariant > 2) return;
    const HEIDITEMPLATE t = tplHeidi(ppdev, kind, bDepth, cmd.ulCode == HEIDI_TRIS_DITHER && phw->fDither);
    if (t.aulCommand[iVariant] == 0) return;  // variant 2 of points and rectangles

    // The vertices, bounded by the view, read once and converted in place
    // to board coordinates of the target.
    const std::uint64_t cMax = (phw->cjView - HEIDI_VIEW_DATA) / sizeof(HEIDIVERTEX);
    const ULONG n = cmd.cVertices;
    if (n == 0 || n > cMax) return;
    SURFOBJ* psoTarget = psoHeidiTarget(pso, phw);
    FILLTARGET ft;
    if (!bFillTarget(psoTarget, &ft)) return;
    if (cmd.ulCode == HEIDI_TRIS_DITHER && ppdev->iPatternUniq != DITHER_MARK) {
        LoadDitherMat(ppdev);
        ppdev->iPatternUniq = DITHER_MARK;
    }
    HEIDIVERTEX* pvtx = reinterpret_cast<HEIDIVERTEX*>(phw->pjView + HEIDI_VIEW_DATA);
    std::vector<BVERTEX> v(n);
    const std::int64_t xAdd = (std::int64_t{phw->rclClient.left} + ft.xOrg) * 16;
    const std::int64_t yTop = (std::int64_t{phw->rclClient.bottom} - 1 + ft.yOrg) * 16;
    for (ULONG i = 0; i < n; ++i) {
        HEIDIVERTEX w;
        std::memcpy(&w, &pvtx[i], sizeof w);
        const std::int64_t x = xOf(w.ulPos) + xAdd, y = yTop - yOf(w.ulPos);
        v[i] = {static_cast<LONG>(x), static_cast<LONG>(y), w.ulDepth, w.ulColour, bFits(x) && bFits(y)};
        if (v[i].bOk) pvtx[i].ulPos = ulClipWord(v[i].x, v[i].y);
    }
    const std::vector<PRIM> prims = vPrimitives(kind, v);

    RECTL arcl[HEIDI_MAX_CLIP];
    const ULONG cClip = cHeidiClip(ppdev, phw, arcl);
    DRAW d{ppdev, psoTarget, ft.pqm, kind, iVariant, bDepth, t.aulCommand[iVariant] | HCMD_CLIP, 0};
    std::vector<const PRIM*> chain;
    for (ULONG k = 0; k < cClip; ++k) {
        const RECTL r = {arcl[k].left + ft.xOrg, arcl[k].top + ft.yOrg, arcl[k].right + ft.xOrg,
                         arcl[k].bottom + ft.yOrg};
        chain.clear();
        for (const PRIM& p : prims) {
            if (bMeets(kind, p, r)) chain.push_back(&p);
        }
        for (std::size_t first = 0; first < chain.size(); first += HEIDI_BATCH) {
            const ULONG cBatch = static_cast<ULONG>(std::min<std::size_t>(HEIDI_BATCH, chain.size() - first));
            KZ2QUEUEMGT pqm = ft.pqm;
            ULONG* p = kz2NewPacketQueue(pqm, psoTarget, cBatch);
            *p++ = phw->ulPidPair;
            for (ULONG i = 0; i < t.cBody; ++i) *p++ = t.aulBody[i];
            *p++ = ulClipWord(r.left, r.top);
            *p++ = ulClipWord(r.right, r.bottom);
            if (iVariant == 0 && kind != HK_TRIS_FIXED) *p++ = cmd.x | static_cast<ULONG>(cmd.y) << 16;
            d.ulStripState = 0;
            ULONG cRouted = 0;
            for (std::size_t i = first; i < first + cBatch; ++i) {
                ULONG* pNext = pPrimitive(&d, p, *chain[i], v);
                if (pNext != p) ++cRouted;
                p = pNext;
            }
            if (cRouted == 0) {
                // Nothing was drawn: the header goes again.
                pqm->pqCurrent->pWrite = pqm->pqCurrent->pPacket + 2;
                kz2UpdatePacketPtr(pqm, psoTarget, pqm->pqCurrent->pWrite, 1);
                continue;
            }
            vSetCommand(pqm, d.ulCommand);
            kz2UpdatePacketPtr(pqm, psoTarget, p, 1);
        }
    }
}
