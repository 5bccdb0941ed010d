// The pixel-rectangle render functions (kzrects.h): the last stage of the
// draw, copy and bitmap pixel paths. Each pixel of the span row the zoom
// stage hands on is one point primitive under the program of the main
// slot; its words follow the program's layout code. Neither function calls
// a next stage.
#include <algorithm>

#include "kzprimwords.h"
#include "3d/pixels/pixelpath.h"
#include "kz2/ucode/kzprog.h"
#include "kz2/render/kzrects.h"
#include "shared/frame/hwframe.h"

namespace {

constexpr LONG kMaxCoordinate = 0xFFF;  // a position word holds 12 bits of x

// The words of one pixel by layout code: colour, alpha, depth, byte, then
// the position. A pixel is a point with one colour: only the one-colour
// form (and the form without colour) sends its colour, alpha and depth
// words; the per-vertex forms send none, the per-packet forms only their
// alpha once a packet.
struct PixelLayout {
    bool colour = false, alpha = false, depth = false, byte = false;
    bool packetAlpha = false;  // one alpha word a packet
    ULONG words = 1;
};
bool bLayoutOf(ULONG d, PixelLayout* l) {
    const kzLayout m = kzLayoutOf(d);
    if (!m.valid) return false;
    const bool bPixelForm = m.form == KZ_CF_NONE || m.form == KZ_CF_PRIM;
    l->colour = m.colourIn(KZ_CF_PRIM);
    l->alpha = m.alphaIn(KZ_CF_PRIM);
    l->depth = m.depth && bPixelForm;
    l->byte = m.byte;
    l->packetAlpha = m.alphaIn(KZ_CF_PACKET);
    l->words = 1 + l->colour + l->alpha + l->depth + l->byte;
    return true;
}

N_PixelSpan* psOf(N_Pipe* pipe) { return static_cast<N_PixelSpan*>(pipe->pSpan); }

// One pixel's words and its routing; answers where the next one goes.
ULONG* pPixel(N_HwFrame& f, const PixelLayout& l, ULONG* p, ULONG colour, ULONG depth, ULONG byte, LONG x, LONG y) {
    if (l.colour) *p++ = colour;
    if (l.alpha) {
        // The 9-bit alpha word every layout's alpha takes (256 is 1.0): the
        // byte widened as the board widens an alpha pixmap's byte, so that
        // an alpha copied or drawn into an alpha buffer stores back as it
        // was.
        const ULONG a = colour >> 24;
        *p++ = a + (a >> 7);
    }
    if (l.depth) *p++ = f.bDepth16 ? _NDepthWord16(depth) : depth;
    if (l.byte) *p++ = byte & 0xFFu;
    const ULONG pos = ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFu)) << 4;
    *p++ = pos;
    return _NHwRouteTriangle(f, p, pos, pos, pos);
}

// The span row in screen pixels; false when the pipe holds no span, the
// destination is gone, or the row lies where a position word cannot name
// it. First and count narrow the row to the columns that can be named.
struct Row {
    LONG x = 0, y = 0;
    ULONG first = 0, count = 0;
};
bool bRowOf(const N_PixelSpan* ps, Row* r) {
    if (ps == nullptr || ps->pDest == nullptr || ps->pDest->pBuffer == nullptr) return false;
    const GLBuffer* pb = ps->pDest->pBuffer;
    const std::int64_t y = std::int64_t{ps->outY} + pb->y;
    const std::int64_t x = std::int64_t{ps->outX} + pb->x;
    if (y < 0 || y > kMaxCoordinate) return false;
    const std::int64_t first = std::max<std::int64_t>(0, -x);
    const std::int64_t last = std::min<std::int64_t>(ps->outCount, kMaxCoordinate + 1 - x);
    if (first >= last) return false;
    r->x = static_cast<LONG>(x);
    r->y = static_cast<LONG>(y);
    r->first = static_cast<ULONG>(first);
    r->count = static_cast<ULONG>(last - first);
    return true;
}

// The main slot's program and its layout, or false (said on the debugger).
bool bProgramOf(N_Context* pctx, const char* pszFn, const kzRenderProg** pprog, PixelLayout* l) {
    const kzRenderProg* prog = pkzProgOf(pctx->pHw->programs[0]);
    if (!bLayoutOf(prog->dataAttr, l)) {
        DbgPrint("%s: unsupported dataAttr %d\n", pszFn, static_cast<int>(prog->dataAttr));
        return false;
    }
    *pprog = prog;
    return true;
}

}  // namespace

void _NvpRenderPixelRectKZG(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    Row row;
    if (ps == nullptr || ps->outCount == 0 || !bRowOf(ps, &row)) return;
    const kzRenderProg* prog = nullptr;
    PixelLayout l;
    if (!bProgramOf(pctx, __func__, &prog, &l)) return;
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    ULONG extra = 0;
    if (l.packetAlpha)
        extra = static_cast<ULONG>(_NRoundToInt(fNAttr(pctx, N_ATTR_RASTER_COLOUR, 3) * 256.0f)) & 0x1FFu;
    const ULONG nExtra = l.packetAlpha ? 1 : 0;

    // Fewer a piece where 400 pixels do not fit a queue ring.
    const ULONG per = _NHwPiecePrims(f.phw, _NHwReserveHeadBytes(prog, nExtra), 4 * l.words, N_BATCH_PRIMS);
    for (ULONG done = 0; done < row.count;) {
        const ULONG n = std::min<ULONG>(row.count - done, per);
        ULONG* p = _NHwReserve(f, prog, 4 * (l.words * n + nExtra), n, &extra, nExtra);
        if (p == nullptr || !_NHwFrameQueues(&f)) {
            _NSoftUpdateQAddr(f.phw);
            return;
        }
        for (ULONG k = 0; k < n; ++k) {
            const ULONG i = row.first + done + k;
            p = pPixel(f, l, p, ps->pulPacked[i], ps->pulDepth[i], ps->pulPacked[i], row.x + static_cast<LONG>(i), row.y);
        }
        _NHwSoftClose(f, p);
        done += n;
    }
}

void _NvpRenderBitmapRectKZG(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    Row row;
    if (ps == nullptr || ps->outCount == 0 || !bRowOf(ps, &row)) return;
    const ULONG end = row.first + row.count;
    const ULONG m = static_cast<ULONG>(std::count_if(ps->pjMask + row.first, ps->pjMask + end, [](BYTE b) { return b != 0; }));
    if (m == 0) return;
    const kzRenderProg* prog = nullptr;
    PixelLayout l;
    if (!bProgramOf(pctx, __func__, &prog, &l)) return;
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    N_HwRecord* phw = f.phw;

    // The depth and byte values go on only with drawn pixels.
    ULONG i = row.first, drawn = 0;
    const ULONG per = _NHwPiecePrims(phw, _NHwHeadBytes(prog) + 8, 4 * l.words, N_BATCH_PRIMS);
    for (ULONG left = m; left > 0;) {
        const ULONG n = std::min<ULONG>(left, per);
        ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, 4 * l.words * n + _NHwHeadBytes(prog) + 8);
        if (p == nullptr || !_NHwFrameQueues(&f)) {
            _NUpdateQAddr(phw);
            return;
        }
        p = _NHwWriteHead(f, prog, p, nullptr, 0);
        for (ULONG k = 0; k < n; ++i) {
            if (ps->pjMask[i] == 0) continue;
            p = pPixel(f, l, p, ps->pulPacked[i], ps->pulDepth[drawn], ps->pulPacked[drawn], row.x + static_cast<LONG>(i),
                       row.y);
            ++drawn;
            ++k;
        }
        phw->batchCount = N_BATCH_PRIMS;
        _NUpdateQAddr(phw);
        left -= n;
    }
}
