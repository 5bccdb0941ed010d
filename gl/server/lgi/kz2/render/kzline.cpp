// Line render functions: thin lines, strip lists, and wide, stippled and
// blended lines (kzline.h).
#include "kzline.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "3d/validate/validate.h"
#include "kz2/render/kzpipe.h"
#include "kz2/ucode/kzprog.h"
#include "shared/frame/hwframe.h"
#include "../../seams.h"

namespace {

// Attributes read here.
constexpr ULONG kNoStipple = 0xFFFFFFFFu;
constexpr ULONG kWholePixel = 0x000F000Fu;  // sub-pixel bits of both halves
constexpr ULONG kSamePixel = 0xFFF0FFF0u;   // whole-pixel bits of both halves
constexpr ULONG kThinMargin = 8;            // half a pixel in 28.4

using kzpipe::Next;
using kzpipe::Record;
using kzpipe::Window;
ULONG ulAttr(N_Context* pctx, ULONG id) { return *pulAttr(pctx, id); }
float fAttr(N_Context* pctx, ULONG id, ULONG i = 0) {
    float f;
    std::memcpy(&f, pulAttr(pctx, id) + i, sizeof f);
    return f;
}
ULONG ulAlphaWord(float a) { return static_cast<ULONG>(_NRoundToInt(a * 256.0f)) & 0x1FFu; }

// What one segment carries, in the order of the function that writes it.
struct Words {
    ULONG colours = 0;        // 0 none, 1 the segment's (second vertex's) colour, 2 both endpoints'
    ULONG vertexAlphas = 0;   // alpha words of the endpoints: 0, 2, or 3 (the second again)
    bool segmentAlpha = false;  // the segment's alpha word, after its colour
    bool depth = false;
    bool stipple = false;
    bool aa = false;          // the antialiasing constants 0xFF, 0xFF, 0
    bool wide = false;        // a width word, and the second depth word again
    bool depthFirst = false;  // strip-list order: depth before the endpoints' alphas
    bool dropAlways = false;  // zero-length segments are never sent
    ULONG width = 0;          // the width word

    ULONG count() const {
        ULONG n = (stipple ? 8 : 0) + colours + vertexAlphas + (segmentAlpha ? 1 : 0);
        if (depth) n += wide ? 3 : 2;
        if (aa) n += 3;
        return n + 2 + (wide ? 1 : 0);
    }
};

// The segment words of a layout code with a colour: colour form, alpha and
// depth.
bool bWordsOf(ULONG d, Words* w) {
    const kzLayout m = kzLayoutOf(d);
    if (!m.colour) return false;
    w->colours = m.form == KZ_CF_VERTEX ? 2 : m.form == KZ_CF_PRIM ? 1 : 0;
    w->vertexAlphas = m.alphaIn(KZ_CF_VERTEX) ? 2 : 0;
    w->segmentAlpha = m.alphaIn(KZ_CF_PRIM);
    w->depth = m.depth;
    return true;
}
// A colour word once a packet, and (of those) an alpha word after it.
bool bPacketColour(ULONG d) { return kzLayoutOf(d).colourIn(KZ_CF_PACKET); }
bool bPacketAlpha(ULONG d) { return bPacketColour(d) && kzLayoutOf(d).alpha; }

// One call: the board facts, the words of a segment, the stipple block and
// GL's stipple counter: the fragments the current strip has made so far.
struct Call {
    N_HwFrame f;
    Words w;
    ULONG block[8] = {};
    ULONG stippleCount = 0;
};

// The stipple block of a segment from a to b whose first fragment is
// fragment `count` of its strip, and the fragments it makes (GL's pixels:
// on its major axis, x on a tie, those whose centres lie from its first end
// up to, not including, its second). The board gives the fragment k steps
// from the pixel holding the first end bit (k + phase) of the block, phase
// being the low five bits of that pixel's major coordinate; the block goes
// rotated so that bit is the pattern's bit of GL's count there.
ULONG ulStippleBlock(const Call& k, const LONG* a, const LONG* b, ULONG count, ULONG (&out)[8]) {
    const std::int64_t dx = std::llabs(std::int64_t{b[0]} - a[0]), dy = std::llabs(std::int64_t{b[1]} - a[1]);
    const int axis = dx >= dy ? 0 : 1;
    const std::int64_t v0 = a[axis], v1 = b[axis];
    // Pixel centres lie on whole coordinates (sixteenths under 28.4).
    const std::int64_t unit = k.f.bPrecise ? 16 : 1;
    auto down = [unit](std::int64_t v) { return v >= 0 ? v / unit : -((-v + unit - 1) / unit); };
    auto up = [&down](std::int64_t v) { return -down(-v); };
    const std::int64_t hold = down(v0);
    const std::int64_t first = v1 >= v0 ? up(v0) : hold;
    const std::int64_t fragments = v1 >= v0 ? up(v1) - first : hold - down(v1);
    const ULONG phase = static_cast<ULONG>(hold) & 31u;
    const ULONG before = count - static_cast<ULONG>(first - hold);  // GL's count at the holding pixel
    _NLineStippleRotate(k.block, phase - before, out);
    return static_cast<ULONG>(fragments);
}

// Pushes the rectangle of a and b outward by m on both axes (signed
// halves): a' and b'.
void vPush(ULONG a, ULONG b, ULONG m, ULONG* pa, ULONG* pb) {
    auto half = [](ULONG v, int s) { return static_cast<LONG>(static_cast<std::int16_t>(v >> s)); };
    LONG ax = half(a, 0), bx = half(b, 0), ay = half(a, 16), by = half(b, 16);
    const LONG lm = static_cast<LONG>(m);
    if (bx < ax) { ax += lm; bx -= lm; } else { ax -= lm; bx += lm; }
    if (by < ay) { ay += lm; by -= lm; } else { ay -= lm; by += lm; }
    *pa = (static_cast<ULONG>(ay) << 16) | (static_cast<ULONG>(ax) & 0xFFFFu);
    *pb = (static_cast<ULONG>(by) << 16) | (static_cast<ULONG>(bx) & 0xFFFFu);
}

// A strip segment on whole pixels: inline while it stays in the current
// queue's tile, else the driver's strip router.
ULONG* pRouteStrip(N_HwFrame& f, ULONG* p, ULONG a, ULONG b) {
    KZ2QUEUEMGT qm = f.qm;
    if (f.cQueues == 1) {
        ++qm->cPrims;
        qm->pqCurrent->pWrite = p;
        return p;
    }
    if (f.bSplit) return kz2CopyPrimMulScreen(qm, p, b, ((a ^ b) & N_TILE_BITS) == 0);
    if ((b & N_TILE_BITS) == f.stripTile) {
        KZ2QUEUE* q = qm->pqCurrent;
        ++q->cPrims;
        q->pWrite = q->pMark = p;
        return p;
    }
    return kz2CopyPrimStripOpt(qm, p, b, a, b, &f.stripTile, FALSE);
}

// Writes one segment from vertex a to b (colour records ra, rb) and routes
// it; a zero-length segment is dropped once the packet holds a primitive.
// The stipple counter goes on by the segment's fragments, drawn or dropped.
ULONG* pSegment(Call& k, ULONG* p, const LONG* wa, const LONG* wb, const ULONG* ra, const ULONG* rb, bool bStrip) {
    const Words& w = k.w;
    N_HwFrame& f = k.f;
    if (!_NWindowDrawable(wa, f.bPrecise) || !_NWindowDrawable(wb, f.bPrecise)) return p;  // not drawn
    if (w.stipple) {
        ULONG rot[8];
        k.stippleCount += ulStippleBlock(k, wa, wb, k.stippleCount, rot);
        p = std::copy_n(rot, 8, p);
    }
    const ULONG za = _NHwDepth(f, wa), zb = _NHwDepth(f, wb);
    auto alphas = [&] {
        if (w.vertexAlphas == 0) return;
        *p++ = _NHwAlpha(ra);
        *p++ = _NHwAlpha(rb);
        if (w.vertexAlphas == 3) *p++ = _NHwAlpha(rb);
    };
    if (w.colours == 2) {
        *p++ = ra[0];
        *p++ = rb[0];
    }
    if (!w.depthFirst) alphas();
    if (w.colours == 1) *p++ = rb[0];
    if (w.segmentAlpha) *p++ = _NHwAlpha(rb);
    if (w.depth) {
        *p++ = za;
        *p++ = zb;
        if (w.wide) *p++ = zb;
    }
    if (w.depthFirst) alphas();
    if (w.aa) {
        *p++ = 0xFF;
        *p++ = 0xFF;
        *p++ = 0;
    }
    const ULONG a = _NHwPosition(f, wa), b = _NHwPosition(f, wb);
    if (((a ^ b) & kSamePixel) == 0 && (f.qm->cPrims != 0 || w.dropAlways)) {
        // Both ends in one pixel: the words written for it are abandoned.
        f.stripTile = N_STRIP_NEW;
        return f.qm->pqCurrent->pWrite;
    }
    *p++ = a;
    *p++ = b;
    if (w.wide) *p++ = w.width;
    if (!w.wide && ((a | b) & kWholePixel) == 0)
        return bStrip ? pRouteStrip(f, p, a, b) : _NHwRouteTriangle(f, p, a, b, a);
    ULONG pa, pb;
    vPush(a, b, w.wide ? w.width : kThinMargin, &pa, &pb);
    f.stripTile = N_STRIP_NEW;
    return _NHwRouteTriangle(f, p, a, pa, pb);
}

// A segment of the batch: its two vertices and their colour records.
struct SegRef {
    ULONG va, vb, ra, rb;
    bool bStart = false;    // the first segment of a strip
    bool bRestart = false;  // the stipple counter starts again: a strip's first segment, every separate line
};

// The segments of a batch, one strip list, separate lines or one strip.
// Answers false when the batch's counts do not fit its buffers.
// With bThin a strip's vertex within 3 coordinate units (on both axes) of
// the last vertex kept is passed over, unless it ends the strip.
bool bSegmentsOf(const CommonPipeData& c, bool bList, bool bStepColours, bool bThin, SegRef* out, ULONG* pCount) {
    *pCount = 0;
    const LONG lv = static_cast<LONG>(c.stripVertexCount);
    if (lv <= 0) return true;
    const ULONG nv = static_cast<ULONG>(lv);
    if (nv > N_BATCH_POINTS || nv > N_COLOUR_ENTRIES || c.pWindow == nullptr || c.pHwVertices == nullptr)
        return false;
    auto rec = [&](ULONG v) { return bStepColours ? v : 0u; };
    ULONG n = 0;
    if (!bList) {
        if (c.code == N_PRIM_LINES) {
            for (ULONG i = 0; i + 1 < nv; i += 2) out[n++] = {i, i + 1, rec(i), rec(i + 1), false, true};
        } else {
            for (ULONG i = 0; i + 1 < nv; ++i) out[n++] = {i, i + 1, rec(i), rec(i + 1), i == 0, i == 0};
        }
        *pCount = n;
        return true;
    }
    if (static_cast<LONG>(c.stripCount) <= 0) return true;
    if (c.pStripCounts == nullptr || c.stripCount > nv + 1) return false;
    ULONG first = 0;
    for (ULONG s = 0; s < c.stripCount; ++s) {
        const ULONG cs = c.pStripCounts[s];
        if (cs > nv - first) return false;
        ULONG kept = first;
        for (ULONG i = first + 1; i < first + cs; ++i) {
            const LONG* l = Window(c, kept);
            const LONG* v = Window(c, i);
            const bool bNear = std::llabs(std::int64_t{l[0]} - v[0]) <= 3 && std::llabs(std::int64_t{l[1]} - v[1]) <= 3;
            if (bThin && bNear && i + 1 < first + cs) continue;
            out[n++] = {kept, i, rec(kept), rec(i), kept == first, kept == first};
            kept = i;
        }
        first += cs;
    }
    *pCount = n;
    return true;
}

// How a function takes its segments, routes them, reads their colours,
// ends its batch and heads its packets.
enum class Segments { LinesOrStrip, StripList };  // separate lines or one strip, or a list of strips
enum class Route { Box, Strip };            // whole-pixel strip segments: box routing or the strip router
enum class Colours { Step, First };         // a colour record a vertex, or the first record for all
enum class Close { Soft, Hard };
enum class Head { Image, OwnHead };
enum class Thinning { None, CloseVertices };  // a strip's vertices close to the last kept passed over

struct Style {
    const char* name;
    Segments segments;
    Route route;
    Colours colours;
    Close close;
    Head head;
    Thinning thinning = Thinning::None;
};

// Draws the batch's segments with the call's words, in pieces of at most
// 400 segments, each its own reservation.
void vDraw(N_Context* pctx, N_Pipe* pipe, Call& k, const Style& s, const ULONG* extras, ULONG nExtra) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    SegRef segs[N_BATCH_POINTS];
    ULONG n = 0;
    const bool bList = s.segments == Segments::StripList;
    if (!bSegmentsOf(c, bList, s.colours == Colours::Step, s.thinning == Thinning::CloseVertices, segs, &n)) {
        DbgPrint("%s: batch counts do not fit the batch, not drawn\n", s.name);
        return Next(pctx, pipe);
    }
    if (n == 0) return Next(pctx, pipe);
    N_HwRecord* phw = pctx->pHw;
    const kzRenderProg* prog = pkzProgOf(phw->programs[0]);
    const bool bStrip = s.route == Route::Strip && (bList || c.code != N_PRIM_LINES);
    const ULONG words = k.w.count();
    // A later batch of a split strip goes on with the stipple counter
    // where the batch before it left it.
    const bool bGoOn = c.first == 0 && c.code != N_PRIM_LINES;
    k.stippleCount = bGoOn ? pctx->lineStippleCount : 0;
    // Fewer a piece where 400 segments do not fit a queue ring.
    const ULONG cbHead =
        s.head == Head::OwnHead ? _NHwHeadBytes(prog) + 4 * nExtra : _NHwReserveHeadBytes(prog, nExtra);
    const ULONG per = _NHwPiecePrims(phw, cbHead, 4 * words, N_BATCH_PRIMS);
    for (ULONG first = 0; first < n; first += per) {
        const ULONG m = std::min<ULONG>(n - first, per);
        ULONG* p;
        if (s.head == Head::OwnHead) {
            p = _NNextQAddrMC(phw, 0, &phw->batchCount, _NHwHeadBytes(prog) + 4 * (m * words + nExtra));
            if (p != nullptr && _NHwFrameQueues(&k.f)) p = _NHwWriteHead(k.f, prog, p, extras, nExtra);
        } else {
            p = _NHwReserve(k.f, prog, 4 * m * words, m, extras, nExtra);
        }
        if (p == nullptr || !_NHwFrameQueues(&k.f)) {
            _NSoftUpdateQAddr(phw);
            break;
        }
        k.f.stripTile = N_STRIP_NEW;
        for (ULONG i = first; i < first + m; ++i) {
            const SegRef& g = segs[i];
            // A strip starts with no tile known: its first segment goes by the driver's router.
            if (g.bStart) k.f.stripTile = N_STRIP_NEW;
            if (g.bRestart && !(bGoOn && i == 0)) k.stippleCount = 0;
            p = pSegment(k, p, Window(c, g.va), Window(c, g.vb), Record(c, g.ra), Record(c, g.rb), bStrip);
        }
        if (s.close == Close::Hard) {
            phw->batchCount = N_BATCH_PRIMS;
            _NUpdateQAddr(phw);
        } else {
            _NHwSoftClose(k.f, p);
        }
    }
    pctx->lineStippleCount = k.stippleCount;
    Next(pctx, pipe);
}

// The current colour through the context's conversion into the first
// colour record; answers its word 0.
ULONG ulConvertedColour(N_Context* pctx, CommonPipeData& c) {
    _NConvertCurrentColour(pctx);
    if (pctx->val.colour.converter != N_CONVERT_NONE) c.pHwVertices[0] = pctx->val.colour.hwColour;
    return c.pHwVertices[0];
}

// The thin functions of one layout code: separate lines, single strips or
// strip lists.
void vThin(N_Context* pctx, N_Pipe* pipe, ULONG d, const char* name, Segments segments) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    Call k;
    _NHwFrameBegin(pctx, &k.f);
    bWordsOf(d, &k.w);
    ULONG extras[1];
    ULONG nExtra = 0;
    if (bPacketColour(d) && c.pHwVertices != nullptr && static_cast<LONG>(c.stripVertexCount) > 0)
        extras[nExtra++] = ulConvertedColour(pctx, c);
    const Style s{name, segments, Route::Strip, Colours::Step, Close::Soft, Head::Image};
    vDraw(pctx, pipe, k, s, extras, nExtra);
}

bool bWideWidth(float width) {
    ULONG bits;
    std::memcpy(&bits, &width, sizeof bits);
    return static_cast<LONG>(bits) > 0x3F800000;
}

// The flags of a wide, stippled or antialiased call.
void vHeavyFlags(N_Context* pctx, Call& k, bool bAA) {
    const float width = fNLineWidth(pctx);
    const ULONG pattern = ulAttr(pctx, N_ATTR_LINE_STIPPLE);
    k.w.aa = bAA;
    k.w.wide = bAA || bWideWidth(width);
    k.w.width = k.w.wide ? _NLineWidthWord(width, bAA) : 0;
    k.w.stipple = pattern != kNoStipple;
    if (k.w.stipple) _NLineStippleBlock(pattern, static_cast<LONG>(ulAttr(pctx, N_ATTR_LINE_STIPPLE_REPEAT)), k.block);
}

// Whether a member of the wide, stippled and blended family reads the
// line's width and stipple, or draws thin unstippled lines only (the
// blended member its selector picks for them).
enum class Shape { FromContext, ThinUnstippled };

// The members of the wide, stippled and blended family.
void vHeavy(N_Context* pctx, N_Pipe* pipe, const char* name, Shape shape, Close close, Head head) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG d = pkzProgOf(pctx->pHw->programs[0])->dataAttr;
    Call k;
    _NHwFrameBegin(pctx, &k.f);
    if (!bWordsOf(d, &k.w)) k.w = Words{};
    if (shape == Shape::FromContext) vHeavyFlags(pctx, k, false);
    ULONG extras[2];
    ULONG nExtra = 0;
    if (bPacketColour(d) && c.pHwVertices != nullptr && static_cast<LONG>(c.stripVertexCount) > 0) {
        extras[nExtra++] = c.pHwVertices[0];
        if (bPacketAlpha(d))
            extras[nExtra++] = head == Head::OwnHead ? _NHwAlpha(c.pHwVertices) : ulAlphaWord(fAttr(pctx, N_ATTR_COLOUR, 3));
    }
    const Style s{name, Segments::LinesOrStrip, Route::Box, Colours::Step, close, head};
    vDraw(pctx, pipe, k, s, extras, nExtra);
}

// The antialiased segment: constants, a width word, box routing.
void vAntialiased(N_Context* pctx, Call& k) {
    k.w.aa = true;
    k.w.wide = true;
    k.w.width = _NLineWidthWord(fNLineWidth(pctx), true);
}

// The strip lists of one colour a packet: antialiased (layout 8, the first
// colour record's colour as it stands) or with alpha (layout 9, the
// converted current colour and the current alpha); thinned or not.
enum class ListColour { Antialiased, Alpha };
void vColourList(N_Context* pctx, N_Pipe* pipe, const char* name, ListColour kind, Thinning thinning) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const bool bAA = kind == ListColour::Antialiased;
    Call k;
    _NHwFrameBegin(pctx, &k.f);
    if (bAA) vAntialiased(pctx, k);
    ULONG extras[2];
    ULONG nExtra = 0;
    if (c.pHwVertices != nullptr && static_cast<LONG>(c.stripVertexCount) > 0) {
        if (bAA) {
            extras[nExtra++] = c.pHwVertices[0];
        } else {
            extras[nExtra++] = ulConvertedColour(pctx, c);
            extras[nExtra++] = ulAlphaWord(fAttr(pctx, N_ATTR_COLOUR, 3));
        }
    }
    const Style s{name, Segments::StripList, bAA ? Route::Box : Route::Strip, Colours::Step, Close::Soft, Head::Image,
                  thinning};
    vDraw(pctx, pipe, k, s, extras, nExtra);
}

}  // namespace

// --- the stipple block -------------------------------------------------------------------------

void _NLineStippleBlock(ULONG pattern, LONG repeat, ULONG (&block)[8]) {
    // The board's block of its one three-fold pattern.
    static constexpr ULONG kKept[8] = {0xF807FFFF, 0x1FFFF807, 0xFFE01FE0, 0x00FF00FF,
                                       0xF807FFFF, 0x1FFFF807, 0xFFE01FE0, 0x00FF00FF};
    if (pattern == 0x1C7F1C7Fu && repeat == 3) {
        std::copy_n(kKept, 8, block);
        return;
    }
    const ULONG r = repeat < 1 ? 1u : static_cast<ULONG>(repeat);
    std::fill_n(block, 8, 0u);
    for (ULONG j = 0; j < 256; ++j)
        if ((pattern >> ((j / r) % 16)) & 1u) block[j / 32] |= 1u << (j % 32);
}

void _NLineStippleRotate(const ULONG (&block)[8], ULONG bits, ULONG (&out)[8]) {
    bits &= 255u;
    const ULONG words = bits / 32, shift = bits % 32;
    for (ULONG i = 0; i < 8; ++i) {
        const ULONG lo = block[(i + 8 - words) % 8], below = block[(i + 7 - words) % 8];
        out[i] = shift == 0 ? lo : (lo << shift) | (below >> (32 - shift));
    }
}

ULONG _NLineWidthWord(float width, bool bAntialiased) {
    const float w = width + (bAntialiased ? 1.5f : 0.5f);
    // NaN and widths beyond the packed coordinates' range are held to it.
    if (!(w >= 0.0f)) return 0;
    return static_cast<ULONG>(std::min(w, 4095.0f)) * 8u;
}

// --- thin lines ---------------------------------------------------------------------------

void _NvpRenderLineAttr2KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 2, "_NvpRenderLineAttr2KZG", Segments::LinesOrStrip);
}
void _NvpRenderLineAttr5KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 5, "_NvpRenderLineAttr5KZG", Segments::LinesOrStrip);
}
void _NvpRenderLineAttr8KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 8, "_NvpRenderLineAttr8KZG", Segments::LinesOrStrip);
}
void _NvpRenderLineAttr12KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 12, "_NvpRenderLineAttr12KZG", Segments::LinesOrStrip);
}
void _NvpRenderLineAttr15KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 15, "_NvpRenderLineAttr15KZG", Segments::LinesOrStrip);
}
void _NvpRenderLineAttr18KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 18, "_NvpRenderLineAttr18KZG", Segments::LinesOrStrip);
}

void _NvpRenderPLListAttr2KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 2, "_NvpRenderPLListAttr2KZG", Segments::StripList);
}
void _NvpRenderPLListAttr5KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 5, "_NvpRenderPLListAttr5KZG", Segments::StripList);
}
void _NvpRenderPLListAttr8KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 8, "_NvpRenderPLListAttr8KZG", Segments::StripList);
}
void _NvpRenderPLListAttr12KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 12, "_NvpRenderPLListAttr12KZG", Segments::StripList);
}
void _NvpRenderPLListAttr15KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 15, "_NvpRenderPLListAttr15KZG", Segments::StripList);
}
void _NvpRenderPLListAttr18KZG(N_Context* pctx, N_Pipe* pipe) {
    vThin(pctx, pipe, 18, "_NvpRenderPLListAttr18KZG", Segments::StripList);
}

// --- the general strip list --------------------------------------------------------------------

void _NvpRenderPLListGenKZ(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG d = pkzProgOf(pctx->pHw->programs[0])->dataAttr;
    Call k;
    _NHwFrameBegin(pctx, &k.f);
    if (!bWordsOf(d, &k.w)) {
        DbgPrint("_NvpRenderPLListGenKZ: %d mode not supported\n", static_cast<int>(d));
        k.w = Words{};
    }
    k.w.depthFirst = true;
    vHeavyFlags(pctx, k, (pctx->enableWord & KZ_EN_AA_LINES) != 0);
    if (k.w.wide && k.w.vertexAlphas != 0) k.w.vertexAlphas = 3;
    const Colours colours = (pipe->mode & N_MODE_WIDE_LINES) != 0 || k.w.colours == 1 ? Colours::Step : Colours::First;
    ULONG extras[2];
    ULONG nExtra = 0;
    if (bPacketColour(d) && c.pHwVertices != nullptr && static_cast<LONG>(c.stripVertexCount) > 0) {
        extras[nExtra++] = ulConvertedColour(pctx, c);
        if (bPacketAlpha(d)) extras[nExtra++] = ulAlphaWord(fAttr(pctx, N_ATTR_COLOUR, 3));
    }
    const Style s{"_NvpRenderPLListGenKZ", Segments::StripList, k.w.wide ? Route::Box : Route::Strip, colours,
                  Close::Hard, Head::Image};
    vDraw(pctx, pipe, k, s, extras, nExtra);
}

// --- wide, stippled and blended lines ----------------------------------------------------------

void _NvpRenderPLineAttr2_3KZG(N_Context* pctx, N_Pipe* pipe) {
    vHeavy(pctx, pipe, "_NvpRenderPLineAttr2_3KZG", Shape::FromContext, Close::Soft, Head::Image);
}
void _NvpRenderPLineAttr5_6KZG(N_Context* pctx, N_Pipe* pipe) {
    vHeavy(pctx, pipe, "_NvpRenderPLineAttr5_6KZG", Shape::FromContext, Close::Soft, Head::Image);
}
void _NvpRenderPLineAttr12_13KZG(N_Context* pctx, N_Pipe* pipe) {
    vHeavy(pctx, pipe, "_NvpRenderPLineAttr12_13KZG", Shape::FromContext, Close::Soft, Head::Image);
}
void _NvpRenderPLineAttr15_16KZG(N_Context* pctx, N_Pipe* pipe) {
    vHeavy(pctx, pipe, "_NvpRenderPLineAttr15_16KZG", Shape::FromContext, Close::Soft, Head::Image);
}
void _NvpRenderPLineGenKZG(N_Context* pctx, N_Pipe* pipe) {
    const ULONG d = pkzProgOf(pctx->pHw->programs[0])->dataAttr;
    if (d != 8 && d != 9) {
        DbgPrint("_NvpRenderPLineGenKZG: no color specified\n");
        return Next(pctx, pipe);
    }
    vHeavy(pctx, pipe, "_NvpRenderPLineGenKZG", Shape::FromContext, Close::Hard, Head::Image);
}
void _NvpRenderPLineAttr18_19KZG(N_Context* pctx, N_Pipe* pipe) {
    vHeavy(pctx, pipe, "_NvpRenderPLineAttr18_19KZG", Shape::FromContext, Close::Hard, Head::OwnHead);
}
void _NvpRenderPLineAttr9KZG(N_Context* pctx, N_Pipe* pipe) {
    vHeavy(pctx, pipe, "_NvpRenderPLineAttr9KZG", Shape::ThinUnstippled, Close::Soft, Head::Image);
}

// --- antialiased lines ----------------------------------------------------------------------

void _NvpRenderAALineAttr8KZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    Call k;
    _NHwFrameBegin(pctx, &k.f);
    vAntialiased(pctx, k);
    k.w.dropAlways = true;
    ULONG extras[1];
    ULONG nExtra = 0;
    if (c.pHwVertices != nullptr && static_cast<LONG>(c.stripVertexCount) > 0) extras[nExtra++] = c.pHwVertices[0];
    const Style s{"_NvpRenderAALineAttr8KZG", Segments::LinesOrStrip, Route::Box, Colours::Step, Close::Soft,
                  Head::Image};
    vDraw(pctx, pipe, k, s, extras, nExtra);
}

void _NvpRenderAALineAttr2KZG(N_Context* pctx, N_Pipe* pipe) {
    Call k;
    _NHwFrameBegin(pctx, &k.f);
    vAntialiased(pctx, k);
    k.w.colours = 2;
    const Style s{"_NvpRenderAALineAttr2KZG", Segments::LinesOrStrip, Route::Box, Colours::Step, Close::Soft,
                  Head::Image};
    vDraw(pctx, pipe, k, s, nullptr, 0);
}

void _NvpRenderAALineGenKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG d = pkzProgOf(pctx->pHw->programs[0])->dataAttr;
    Call k;
    _NHwFrameBegin(pctx, &k.f);
    vHeavyFlags(pctx, k, true);
    // Every code, the alpha-alone ones too.
    const kzLayout m = kzLayoutOf(d);
    k.w.colours = m.colourIn(KZ_CF_VERTEX) ? 2 : m.colourIn(KZ_CF_PRIM) ? 1 : 0;
    k.w.vertexAlphas = m.alphaIn(KZ_CF_VERTEX) ? 3 : 0;
    k.w.segmentAlpha = m.alphaIn(KZ_CF_PRIM);
    k.w.depth = m.depth;
    k.w.aa = d != 1;
    const bool bColour = m.colourIn(KZ_CF_PACKET), bAlpha = m.alphaIn(KZ_CF_PACKET);
    ULONG extras[2];
    ULONG nExtra = 0;
    if ((bColour || bAlpha) && c.pHwVertices != nullptr && static_cast<LONG>(c.stripVertexCount) > 0) {
        if (bColour) extras[nExtra++] = ulConvertedColour(pctx, c);
        if (bAlpha) extras[nExtra++] = _NHwAlpha(c.pHwVertices);
    }
    const Style s{"_NvpRenderAALineGenKZG", Segments::LinesOrStrip, Route::Box, Colours::Step, Close::Hard,
                  Head::OwnHead};
    vDraw(pctx, pipe, k, s, extras, nExtra);
}

// --- strip lists of one colour a packet ------------------------------------------------------

void _NvpRenderAAPLListAttr8KZG(N_Context* pctx, N_Pipe* pipe) {
    vColourList(pctx, pipe, "_NvpRenderAAPLListAttr8KZG", ListColour::Antialiased, Thinning::None);
}
void _NvpRenderAAPLListAttr8ThinKZG(N_Context* pctx, N_Pipe* pipe) {
    vColourList(pctx, pipe, "_NvpRenderAAPLListAttr8ThinKZG", ListColour::Antialiased, Thinning::CloseVertices);
}
void _NvpRenderPLListAttr9KZG(N_Context* pctx, N_Pipe* pipe) {
    vColourList(pctx, pipe, "_NvpRenderPLListAttr9KZG", ListColour::Alpha, Thinning::None);
}
void _NvpRenderPLListAttr9ThinKZG(N_Context* pctx, N_Pipe* pipe) {
    vColourList(pctx, pipe, "_NvpRenderPLListAttr9ThinKZG", ListColour::Alpha, Thinning::CloseVertices);
}
void _NvpRenderAAPLListChooseKZG(N_Context* pctx, N_Pipe* pipe) {
    (pctx->fromExecPrimitive == 1 ? _NvpRenderAAPLListAttr8KZG : _NvpRenderAAPLListAttr8ThinKZG)(pctx, pipe);
}
void _NvpRenderPLListAttr9ChooseKZG(N_Context* pctx, N_Pipe* pipe) {
    (pctx->fromExecPrimitive == 1 ? _NvpRenderPLListAttr9KZG : _NvpRenderPLListAttr9ThinKZG)(pctx, pipe);
}
