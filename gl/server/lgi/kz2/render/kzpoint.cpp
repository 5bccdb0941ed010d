// Point render functions and polygons drawn in point mode (kzpoint.h).
//
// The emitters of layouts 9 and 19 and the wide-point function are the
// ones the whole point table is built from: the table's other entries (2/5,
// 3/6, 8, 12/15, 13/16, 18) are their twins and share one body here. Where
// the twins differed from the emitters, the emitters' behaviour holds:
//   - the empty entry of the layouts without a point form calls the next
//     stage (the twin returned at once), as every render function must;
//   - the lower image's offset is the stereo stage's, in pixels, added
//     before the 28.4 scaling (the twin left its scaling in sixteenths
//     open);
//   - words per point, and the room asked, come from the word table
//     (kzprimwords.h) rather than from a list per function; the order is
//     the same: colour, alpha, depth, position.
// Beyond both: squares carry the lower image's offset as single pixels do
// (otherwise a wide point of the second image lands in the first), a batch
// of more than 400 points is drawn in pieces of at most 400, and a packet
// whose per-packet colour differs is not continued.
#include "kzpoint.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "kz2/render/kzfaces.h"
#include "kz2/render/kzpipe.h"
#include "kz2/ucode/kzprog.h"
#include "kzprimwords.h"
#include "shared/frame/hwframe.h"
#include "../../seams.h"

namespace {

constexpr ULONG kPointClass = 0, kSquareClass = 6;
constexpr ULONG kMaxSide = 4095;

using kzpipe::Next;
using kzpipe::Record;
using kzpipe::Window;
float fAttr(N_Context* pctx, ULONG id) {
    float f;
    std::memcpy(&f, pulAttr(pctx, id), sizeof f);
    return f;
}

// What a layout puts in a point or square and in the packet head.
struct PointLayout {
    const kzPrimWordsRow* row = nullptr;
    ULONG words = 0;
    bool packetColour = false, packetAlpha = false;
    bool squares = false;  // class 6: four corners
    ULONG side = 1;        // pixels
};

bool bLayoutOf(ULONG dataAttr, bool bSquares, ULONG side, PointLayout* out) {
    const kzPrimWordsRow* row = kzPrimWordsOf(bSquares ? kSquareClass : kPointClass, dataAttr);
    if (row == nullptr) return false;
    out->row = row;
    out->words = kzPrimWordCount(*row);
    const kzLayout m = kzLayoutOf(dataAttr);
    out->packetColour = m.colourIn(KZ_CF_PACKET);
    out->packetAlpha = m.alphaIn(KZ_CF_PACKET);
    out->squares = bSquares;
    out->side = side;
    return true;
}

ULONG ulPacketWords(const PointLayout& l, const ULONG* colour, ULONG* out) {
    ULONG n = 0;
    if (l.packetColour) out[n++] = colour[0];
    if (l.packetAlpha) out[n++] = _NHwAlpha(colour);
    return n;
}

// Packs 28.4 coordinates (the low 16 bits of each, as the queue's form).
ULONG ulPack(std::int64_t x, std::int64_t y) {
    return (static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFFu);
}

// The four corners of the square of a window vertex, in sending order.
// Positions in sixteenths are first snapped as GL snaps a point: an odd
// side to the pixel holding the position (rows run downward, so a
// position on a row boundary belongs to the row above), an even side to
// the pixel corner nearest it.
void vCorners(const N_HwFrame& f, const LONG* win, ULONG side, ULONG (&out)[4]) {
    const std::int64_t s = side, half = s / 2;
    std::int64_t X = std::int64_t{win[0]} * 16, Y = (std::int64_t{win[1]} + f.yOffset) * 16;
    if (f.bPrecise) {
        const std::int64_t px = win[0], py = std::int64_t{win[1]} + f.yOffset;
        X = 16 * ((s & 1) ? (px + 8) >> 4 : px >> 4);
        Y = 16 * ((s & 1) ? (py + 7) >> 4 : (py + 15) >> 4);
    }
    const std::int64_t xlo = (s & 1) ? half : half - 1, ylo = half;
    const std::int64_t x0 = X - 16 * xlo, y0 = Y - 16 * ylo, x1 = x0 + 16 * s, y1 = y0 + 16 * s;
    out[0] = ulPack(x0, y0);
    out[1] = ulPack(x1, y0);
    out[2] = ulPack(x1, y1);
    out[3] = ulPack(x0, y1);
}

// Writes one point (or square) at p by the layout's row and routes it;
// answers where the next one goes.
ULONG* pPoint(N_HwFrame& f, const PointLayout& l, ULONG* p, const LONG* win, const ULONG* colour) {
    if (!_NWindowDrawable(win, f.bPrecise)) return p;  // a vertex that may not be drawn
    ULONG corners[4];
    ULONG pos = 0;
    if (l.squares) vCorners(f, win, l.side, corners);
    else pos = _NHwPosition(f, win);
    for (const kzPrimWordGroup& g : l.row->groups) {
        // A square repeats a word once a corner where its register is
        // loaded once a vertex (the row's count).
        switch (g.kind) {
        case KZ_PW_COLOUR: p = std::fill_n(p, g.count, colour[0]); break;
        case KZ_PW_ALPHA: p = std::fill_n(p, g.count, _NHwAlpha(colour)); break;
        case KZ_PW_DEPTH: p = std::fill_n(p, g.count, _NHwDepth(f, win)); break;
        default:
            if (g.count == 1) *p++ = pos;
            else if (g.count == 4) p = std::copy_n(corners, 4, p);
            break;
        }
    }
    if (l.squares) return _NHwRouteTriangle(f, p, corners[0], corners[2], corners[0]);
    // Routed by the pixel it covers, the one whose sample point is nearest
    // its position: a position in sixteenths just short of a tile's first
    // column or row lies in the tile before it.
    const ULONG x = ((pos & 0xFFFFu) + 8) & 0xFFF0u, y = (((pos >> 16) + 7) & 0xFFF0u) << 16;
    return _NHwRouteTriangle(f, p, y | x, y | x, y | x);
}

// The table entries and the wide path: pieces of at most 400 points, each
// reserved behind the standard program's image, soft close.
void vPoints(N_Context* pctx, N_Pipe* pipe, bool bWide) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    const LONG lv = static_cast<LONG>(c.stripVertexCount);
    if (lv <= 0 || c.pWindow == nullptr || c.pHwVertices == nullptr) return Next(pctx, pipe);
    const ULONG n = std::min<ULONG>(static_cast<ULONG>(lv), std::min(N_BATCH_POINTS, N_COLOUR_ENTRIES));

    const kzRenderProg* prog = pkzProgOf(pctx->pHw->programs[0]);
    PointLayout l;
    const ULONG side = bWide ? std::max<ULONG>(_NPointSide(fNPointSize(pctx)), 2) : 1;
    if (!bLayoutOf(prog->dataAttr, bWide, side, &l)) return Next(pctx, pipe);

    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    // Fewer a piece where 400 do not fit a queue ring.
    const ULONG per = _NHwPiecePrims(f.phw, _NHwReserveHeadBytes(prog, 2), 4 * l.words, N_BATCH_PRIMS);
    for (ULONG first = 0; first < n; first += per) {
        const ULONG count = std::min(n - first, per);
        ULONG extras[2];
        const ULONG e = ulPacketWords(l, Record(c, first), extras);
        ULONG* p = _NHwReserve(f, prog, 4 * count * l.words, count, extras, e);
        if (p == nullptr || !_NHwFrameQueues(&f)) {
            _NSoftUpdateQAddr(f.phw);
            break;
        }
        for (ULONG i = first; i < first + count; ++i) p = pPoint(f, l, p, Window(c, i), Record(c, i));
        _NHwSoftClose(f, p);
    }
    Next(pctx, pipe);
}

// --- polygons in point mode -------------------------------------------------------------------

// Which vertices of the batch are drawn, and the colour record each takes.
struct VertexChoice {
    bool drawn[N_BATCH_POINTS];
    ULONG record[N_BATCH_POINTS];
};

// Marks the vertices of the drawn faces; a flat-shaded vertex takes the
// provoking vertex's record of the last drawn face that holds it.
bool bChooseVertices(const CommonPipeData& c, bool bFlat, bool bEdges, bool bEdgeMode, VertexChoice* out,
                     ULONG* pCount) {
    *pCount = 0;
    const ULONG n = static_cast<LONG>(c.stripVertexCount) > 0 ? c.stripVertexCount : 0;
    if (n > N_BATCH_POINTS) return false;
    std::fill_n(out->drawn, n, false);
    N_FaceWalk w;
    if (!w.Begin(c)) return false;
    if (c.code == N_PRIM_POLYGON) {
        // One face: drawn when any part of it is; the first vertex provokes.
        if (w.Drawn() == 0) return true;
        const ULONG provoking = w.RecordOf(0);
        for (ULONG v = 0; v < n; ++v) {
            out->drawn[v] = true;
            out->record[v] = bFlat ? provoking : w.RecordOf(v);
        }
    } else {
        w.Each([&](const N_Face& face) {
            for (ULONG j = 0; j < face.n; ++j) {
                const ULONG v = face.v[j];
                if (v >= n) continue;
                out->drawn[v] = true;
                out->record[v] = bFlat ? face.rec[face.provoking] : face.rec[j];
            }
        });
    }
    if (bEdges) {
        for (ULONG v = 0; v < n; ++v)
            if (!_NEdgeShown(c, bEdgeMode, v)) out->drawn[v] = false;
    }
    for (ULONG v = 0; v < n; ++v)
        if (out->drawn[v]) ++*pCount;
    return true;
}

// The body of both polygon-mode point functions.
void vPolygonPoints(N_Context* pctx, N_Pipe* pipe, bool bStrips, const char* pszName) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    if (static_cast<LONG>(c.stripVertexCount) < 3 || c.pWindow == nullptr || c.pHwVertices == nullptr ||
        c.pFaceRuns == nullptr)
        return Next(pctx, pipe);

    N_HwRecord* phw = pctx->pHw;
    const kzRenderProg* prog = _NHwPipeProgram(pctx, pipe);
    // Squares when the program draws them (its class), of the point size's
    // side (a side of 1 is one pixel); else single pixels.
    PointLayout l;
    const bool bSquares = (prog->header & 0xFu) == kSquareClass;
    const ULONG side = bSquares ? _NPointSide(fNPointSize(pctx)) : 1;
    if (!bLayoutOf(prog->dataAttr, bSquares, side, &l)) {
        if (!bStrips) DbgPrint("%s: unsupported type\n", pszName);
        return Next(pctx, pipe);
    }
    static VertexChoice choice;  // no allocation while drawing
    ULONG m = 0;
    // Edge flags in force: the outline mode's edge-flag bits, or a vertex
    // format that carries them (the point mode clears the outline bits).
    const bool bEdgeMode = _NEdgeFlagMode(pipe) || (c.format & N_VTX_EDGEFLAG) != 0;
    if (!bChooseVertices(c, pipe->colourCopy != 0, !bStrips, bEdgeMode, &choice, &m)) {
        DbgPrint("%s: face runs do not fit the batch, not drawn\n", pszName);
        return Next(pctx, pipe);
    }
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    const ULONG n = c.stripVertexCount;
    ULONG v = 0;
    // The per-packet colour is the first drawn vertex's.
    while (v < n && !choice.drawn[v]) ++v;
    ULONG extras[2] = {};
    const ULONG e = v < n ? ulPacketWords(l, Record(c, choice.record[v]), extras) : 0;
    // Fewer a packet where 400 do not fit a queue ring.
    const ULONG per = _NHwPiecePrims(phw, _NHwHeadBytes(prog) + 4 * (2 + e), 4 * l.words, N_BATCH_PRIMS);
    while (m > 0) {
        // A packet of its own for at most 400 points.
        const ULONG count = std::min(m, per);
        const ULONG cbRoom = _NHwHeadBytes(prog) + 4 * (2 + e + count * l.words);
        ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, cbRoom);
        if (p == nullptr || !_NHwFrameQueues(&f)) {
            _NSoftUpdateQAddr(phw);
            break;
        }
        p = _NHwWriteHead(f, prog, p, extras, e);
        for (ULONG k = 0; k < count; ++v) {
            if (!choice.drawn[v]) continue;
            p = pPoint(f, l, p, Window(c, v), Record(c, choice.record[v]));
            ++k;
        }
        m -= count;
        phw->batchCount = N_BATCH_PRIMS;
        _NUpdateQAddr(phw);
    }
    Next(pctx, pipe);
}

}  // namespace

ULONG _NPointSide(float size) {
    const float s = size + 0.5f;
    if (!(s >= 1.0f)) return 1;  // 0 and NaN draw one pixel, as size 1
    if (s >= static_cast<float>(kMaxSide)) return kMaxSide;
    return static_cast<ULONG>(s);
}

void _NvpRenderPointAttr2_5KZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, false); }
void _NvpRenderPointAttr3_6KZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, false); }
void _NvpRenderPointAttr8KZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, false); }
void _NvpRenderPointAttr12_15KZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, false); }
void _NvpRenderPointAttr13_16KZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, false); }
void _NvpRenderPointAttr18KZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, false); }
void _NvpRenderPointAttr9KZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, false); }
void _NvpRenderPointAttr19KZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, false); }
void _NvpRenderWidePointKZG(N_Context* pctx, N_Pipe* pipe) { vPoints(pctx, pipe, true); }
void _NvpRenderPointEmptyKZG(N_Context* pctx, N_Pipe* pipe) { Next(pctx, pipe); }

void _NvpRenderXPGonPointKZG(N_Context* pctx, N_Pipe* pipe) {
    vPolygonPoints(pctx, pipe, false, "_NvpRenderXPGonPointKZG");
}
void _NvpRenderXStripPointKZG(N_Context* pctx, N_Pipe* pipe) {
    vPolygonPoints(pctx, pipe, true, "_NvpRenderXStripPointKZG");
}
