// The glyph renderers: glyph images written as masked band primitives into
// glyph packets of at most 128 primitives, routed to the rasterizers whose
// tiles they touch.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fill/fill.h"
#include "queue/queue.h"
#include "rop/rop.h"
#include "text/text.h"

namespace {

// One glyph packet being written, and what every packet of the call shares.
struct GLYPHPACKET {
    FILLTARGET ft;
    SURFOBJ* pso;
    ULONG aulHeader[7];  // pid, program, clip pair, colours
    ULONG cHeader;
    ULONG ulCommand;
    ULONG* p = nullptr;  // where the next primitive goes; null while no packet is open
    ULONG cPrims = 0;
    ULONG ulResult = 0;
    RECTL rclClip;  // board coordinates, inside the board range
};

bool bStartGlyphs(GLYPHPACKET* g, SURFOBJ* pso, const RECTL* prclClip, ULONG iFg, ULONG iBg,
                  BOOL bOpaque) {
    if (prclClip == nullptr || !bFillTarget(pso, &g->ft)) return false;
    g->pso = pso;
    const FILLTARGET& ft = g->ft;
    g->rclClip = {std::max<LONG>(prclClip->left + ft.xOrg, 0),
                  std::max<LONG>(prclClip->top + ft.yOrg, 0),
                  std::min<LONG>(prclClip->right + ft.xOrg, GLYPH_BOARD_LIMIT - 1),
                  std::min<LONG>(prclClip->bottom + ft.yOrg, GLYPH_BOARD_LIMIT)};
    if (g->rclClip.left >= g->rclClip.right || g->rclClip.top >= g->rclClip.bottom) return false;
    ULONG* h = g->aulHeader;
    *h++ = ft.pid;
    *h++ = GLYPH_FG_WORD;
    if (bOpaque) *h++ = GLYPH_BG_WORD;
    *h++ = ulClipWord(g->rclClip.left, g->rclClip.top);
    *h++ = ulClipWord(g->rclClip.right, g->rclClip.bottom);
    *h++ = ulFillColour(ft.ppdev, iFg);
    if (bOpaque) *h++ = ulFillColour(ft.ppdev, iBg);
    g->cHeader = static_cast<ULONG>(h - g->aulHeader);
    g->ulCommand =
        (bOpaque ? 2u : 1u) << CMD2D_INSTR_SHIFT | CMD2D_GLYPH | (bOpaque ? CMD2D_BACK : 0u);
    return true;
}

void vCloseGlyphs(GLYPHPACKET* g) {
    if (g->p == nullptr) return;
    vSetCommand(g->ft.pqm, g->ulCommand);
    g->ulResult = kz2UpdatePacketPtr(g->ft.pqm, g->pso, g->p, 0);
    g->p = nullptr;
}

// Routes the primitive that ends at pEnd, whose pixels lie in board
// [x0, x1] x [y0, y1]; closes the packet when it is full.
void vRouteGlyph(GLYPHPACKET* g, ULONG* pEnd, LONG x0, LONG y0, LONG x1, LONG y1) {
    g->p = pRoutePrimitive(g->ft.pqm, pEnd, ulPackVertex(x0, y0), ulPackVertex(x1, y1),
                           bSameTile(x0, y0, x1, y1));
    if (++g->cPrims == GLYPH_BATCH) vCloseGlyphs(g);
}

// One band primitive: h rows (unrotated row values, at most 16) whose first
// lies at board y yTop, the mask rotated for the board x xPhase, covering
// board x [xLeft, xRight). The band is kept inside the board range.
void vPutBand(GLYPHPACKET* g, const USHORT* ausRow, LONG h, LONG yTop, LONG xPhase, LONG xLeft,
              LONG xRight) {
    xLeft = std::max<LONG>(xLeft, 0);
    xRight = std::min<LONG>(xRight, GLYPH_BOARD_LIMIT - 1);
    const LONG rFirst = std::max<LONG>(0, -yTop);
    const LONG rEnd = std::min<LONG>(h, GLYPH_BOARD_LIMIT - yTop);
    if (xLeft >= xRight || rFirst >= rEnd) return;
    if (g->p == nullptr) {
        g->p = kz2NewPacketQueue(g->ft.pqm, g->pso, GLYPH_BATCH);
        g->cPrims = 0;
        std::memcpy(g->p, g->aulHeader, g->cHeader * sizeof(ULONG));
        g->p += g->cHeader;
    }
    ULONG* p = g->p;
    USHORT ausSlot[16] = {};
    const ULONG shift = static_cast<ULONG>(xPhase + 8) & 15;
    const LONG y0 = yTop + rFirst, cRows = rEnd - rFirst;
    for (LONG r = 0; r < cRows; ++r) {
        const ULONG v = ausRow[rFirst + r];
        ausSlot[(y0 + r) & 15] = static_cast<USHORT>((v * 0x10001u) >> shift);
    }
    // Slot s in half s XOR 1: the even slot of each pair in the high half.
    for (int k = 0; k < 8; ++k)
        p[k] = static_cast<ULONG>(ausSlot[2 * k]) << 16 | ausSlot[2 * k + 1];
    const ULONG yCentre = static_cast<ULONG>(2 * y0 + cRows) * 8;
    p[8] = yCentre << 16 | (static_cast<ULONG>(xLeft) & 0xFFF) * 16;
    p[9] = yCentre << 16 | (static_cast<ULONG>(xRight) & 0xFFF) * 16;
    p[10] = static_cast<ULONG>(cRows) * 8;
    vRouteGlyph(g, p + GLYPH_PRIM_WORDS, xLeft, y0, xRight - 1, y0 + cRows - 1);
}

// Board coordinates beyond this lie outside everything.
constexpr LONG kFarOff = 1 << 24;

// A glyph's image and its board position.
struct PLACED {
    const GLYPHBITS* pgb;
    LONG x, y;  // board position of its top left
    LONG cx, cy;
};

PLACED place(const GLYPHPACKET* g, const GLYPHPOS* pgp, const GLYPHPOS* pgpFirst, ULONG i,
             ULONG ulCharInc) {
    const GLYPHBITS* pgb = pgp->pgdf != nullptr ? pgp->pgdf->pgb : nullptr;
    if (pgb == nullptr) return PLACED{nullptr, 0, 0, 0, 0};
    // Fixed pitch: the first glyph's origin stepped by the pitch. Far-off
    // positions are held far off (they lie outside every clip and the board
    // range) without overflowing.
    const std::int64_t x =
        ulCharInc == 0 ? pgp->ptl.x : pgpFirst->ptl.x + std::int64_t{i} * ulCharInc;
    const std::int64_t y = ulCharInc == 0 ? pgp->ptl.y : pgpFirst->ptl.y;
    auto held = [](std::int64_t v) {
        return static_cast<LONG>(std::clamp<std::int64_t>(v, -kFarOff, kFarOff));
    };
    return PLACED{pgb, held(x + pgb->ptlOrigin.x + g->ft.xOrg),
                  held(y + pgb->ptlOrigin.y + g->ft.yOrg), std::min(pgb->sizlBitmap.cx, kFarOff),
                  std::min(pgb->sizlBitmap.cy, kFarOff)};
}

bool bEmpty(const PLACED& gl) { return gl.pgb == nullptr || gl.cx <= 0 || gl.cy <= 0; }

// Row r of a glyph up to 16 wide, unrotated: its byte, or its two bytes as
// a little-endian word, starting byteOffset bytes into the row.
USHORT usRow(const GLYPHBITS* pgb, LONG r, LONG byteOffset, LONG cxPiece) {
    const BYTE* pj = pgb->aj + static_cast<size_t>(r) * ((pgb->sizlBitmap.cx + 7) / 8) + byteOffset;
    return cxPiece <= 8 ? pj[0] : static_cast<USHORT>(pj[0] | pj[1] << 8);
}

// A glyph of any size: cut to the clip (rows above and below, columns left
// of it in whole steps of 16, the width at its right edge), then sent in
// bands of 16 rows, each band in pieces of 16 columns.
void vPutLargeGlyph(GLYPHPACKET* g, const PLACED& gl) {
    const RECTL& c = g->rclClip;
    LONG x = gl.x, cx = gl.cx, byteOffset = 0;
    const LONG rFirst = std::max<LONG>(0, c.top - gl.y);
    const LONG rEnd = std::min<LONG>(gl.cy, c.bottom - gl.y);
    while (cx > 0 && x + 16 <= c.left) {
        x += 16;
        cx -= 16;
        byteOffset += 2;
    }
    cx = std::min<LONG>(cx, c.right - x);
    if (cx <= 0 || rFirst >= rEnd) return;
    USHORT ausRow[16];
    for (LONG band = rFirst; band < rEnd; band += 16) {
        const LONG h = std::min<LONG>(16, rEnd - band);
        for (LONG piece = 0; piece < cx; piece += 16) {
            const LONG cxPiece = std::min<LONG>(16, cx - piece);
            for (LONG r = 0; r < h; ++r)
                ausRow[r] = usRow(gl.pgb, band + r, byteOffset + piece / 8, cxPiece);
            vPutBand(g, ausRow, h, gl.y + band, x, x + piece, x + piece + cxPiece);
        }
    }
}

// The small renderers' walk: each glyph up to 16x16 is one primitive, two
// narrow neighbours share one (the second starts no more than 8 pixels
// right of the first one's left edge and not left of its right edge, so the
// pair's rows fit 16 bits), larger glyphs go in pieces. bClip: glyphs
// wholly outside the clip are skipped and rows outside it cut.
ULONG ulSmallGlyphs(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs, ULONG ulCharInc,
                    ULONG iFg, ULONG iBg, BOOL bOpaque, bool bClip) {
    GLYPHPACKET g;
    if (pgp == nullptr || !bStartGlyphs(&g, pso, prclClip, iFg, iBg, bOpaque)) return 0;
    const RECTL& c = g.rclClip;
    USHORT ausRow[16];
    for (ULONG i = 0; i < cGlyphs;) {
        const PLACED gl = place(&g, &pgp[i], &pgp[0], i, ulCharInc);
        ++i;
        if (bEmpty(gl)) continue;
        if (bClip && (gl.x >= c.right || gl.y >= c.bottom || gl.x + gl.cx <= c.left ||
                      gl.y + gl.cy <= c.top))
            continue;
        if (gl.cx > GLYPH_SMALL || gl.cy > GLYPH_SMALL) {
            vPutLargeGlyph(&g, gl);
            continue;
        }
        // The rows the clip leaves (all of them without a clip test).
        const LONG rFirst = bClip ? std::max<LONG>(0, c.top - gl.y) : 0;
        const LONG rEnd = bClip ? std::min<LONG>(gl.cy, c.bottom - gl.y) : gl.cy;
        if (gl.cx <= GLYPH_PAIR_WIDTH && i < cGlyphs) {
            const PLACED next = place(&g, &pgp[i], &pgp[0], i, ulCharInc);
            const LONG d = next.x - gl.x;
            if (!bEmpty(next) && next.cx <= GLYPH_PAIR_WIDTH && next.cy == gl.cy &&
                next.y == gl.y && d >= gl.cx && d <= GLYPH_PAIR_WIDTH) {
                for (LONG r = rFirst; r < rEnd; ++r)
                    ausRow[r - rFirst] =
                        static_cast<USHORT>(usRow(gl.pgb, r, 0, 8) << d | usRow(next.pgb, r, 0, 8));
                vPutBand(&g, ausRow, rEnd - rFirst, gl.y + rFirst, next.x, gl.x, next.x + next.cx);
                ++i;
                continue;
            }
        }
        for (LONG r = rFirst; r < rEnd; ++r) ausRow[r - rFirst] = usRow(gl.pgb, r, 0, gl.cx);
        vPutBand(&g, ausRow, rEnd - rFirst, gl.y + rFirst, gl.x, gl.x, gl.x + gl.cx);
    }
    vCloseGlyphs(&g);
    return g.ulResult;
}

}  // namespace

ULONG vGlyphsClipped(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs, ULONG ulCharInc,
                     ULONG iFgColour, ULONG iBgColour, BOOL bOpaque) {
    return ulSmallGlyphs(pso, prclClip, pgp, cGlyphs, ulCharInc, iFgColour, iBgColour, bOpaque,
                         true);
}

ULONG vGlyphsProportional(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs, ULONG,
                          ULONG iFgColour, ULONG iBgColour, BOOL bOpaque) {
    return ulSmallGlyphs(pso, prclClip, pgp, cGlyphs, 0, iFgColour, iBgColour, bOpaque, false);
}

ULONG vGlyphsFixedPitch(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs,
                        ULONG ulCharInc, ULONG iFgColour, ULONG iBgColour, BOOL bOpaque) {
    return ulSmallGlyphs(pso, prclClip, pgp, cGlyphs, ulCharInc, iFgColour, iBgColour, bOpaque,
                         false);
}

ULONG vGlyphsLarge(SURFOBJ* pso, RECTL* prclClip, GLYPHPOS* pgp, ULONG cGlyphs, ULONG ulCharInc,
                   ULONG iFgColour, ULONG iBgColour, BOOL bOpaque) {
    GLYPHPACKET g;
    if (pgp == nullptr || !bStartGlyphs(&g, pso, prclClip, iFgColour, iBgColour, bOpaque)) return 0;
    for (ULONG i = 0; i < cGlyphs; ++i) {
        const PLACED gl = place(&g, &pgp[i], &pgp[0], i, ulCharInc);
        if (!bEmpty(gl)) vPutLargeGlyph(&g, gl);
    }
    vCloseGlyphs(&g);
    return g.ulResult;
}
