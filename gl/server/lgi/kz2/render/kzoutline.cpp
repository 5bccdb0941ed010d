// Polygon outlines: the five walkers of polygon mode line (kzoutline.h).
#include "kzoutline.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "3d/pipes/vstage.h"
#include "kz2/render/kzfaces.h"
#include "kz2/render/kzline.h"
#include "kz2/render/kzpipe.h"
#include "kz2/ucode/kzprog.h"
#include "shared/frame/hwframe.h"
#include "../../seams.h"

namespace {

constexpr ULONG kWholePixel = 0x000F000Fu;  // sub-pixel bits of both halves
constexpr ULONG kSamePixel = 0xFFF0FFF0u;   // whole-pixel bits of both halves
constexpr ULONG kThinMargin = 8;            // half a pixel in 28.4

using kzpipe::Next;
using kzpipe::Record;
using kzpipe::Window;

bool bIn(ULONG d, std::initializer_list<ULONG> set) { return std::find(set.begin(), set.end(), d) != set.end(); }

// What a segment of a layout carries.
struct SegmentWords {
    bool faceColour = false, faceAlpha = false, colours = false, depth = false, alphas = false;
    bool packetColour = false, packetAlpha = false;
    bool smooth = false, wide = false;
    ULONG width = 0;
    ULONG count() const {
        ULONG n = (faceColour ? 1 : 0) + (faceAlpha ? 1 : 0) + (colours ? 2 : 0);
        if (depth) n += wide ? 3 : 2;
        if (alphas) n += smooth ? 3 : 2;
        if (smooth) n += 3;
        return n + 2 + (wide ? 1 : 0);
    }
};

SegmentWords WordsOf(ULONG d, N_Context* pctx) {
    SegmentWords w;
    const kzLayout m = kzLayoutOf(d);
    w.faceColour = m.colourIn(KZ_CF_PRIM);
    w.faceAlpha = m.alphaIn(KZ_CF_PRIM);
    w.colours = m.colourIn(KZ_CF_VERTEX);
    w.depth = m.depth;
    w.alphas = m.alphaIn(KZ_CF_VERTEX);
    w.packetColour = m.colourIn(KZ_CF_PACKET);
    w.packetAlpha = m.alphaIn(KZ_CF_PACKET);
    const float width = fNLineWidth(pctx);
    w.smooth = (pctx->enableWord & KZ_EN_AA_LINES) != 0;
    w.wide = w.smooth || width > 1.0f;
    w.width = _NLineWidthWord(width, w.smooth);
    return w;
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

// One call's outline: the segments' words, the packets they go into and
// when those are closed.
class Outline {
  public:
    enum class Packets { OwnHead, Image };

    Outline(N_Context* pctx, N_Pipe* pipe, const kzRenderProg* prog, const SegmentWords& w, Packets packets,
            ULONG edges)
        : c_(*pipe->pCommonPipeData), prog_(prog), w_(w), packets_(packets), left_(edges) {
        _NHwFrameBegin(pctx, &f_);
        words_ = w.count();
    }
    // The per-packet colour and alpha words from a colour record.
    void PacketWords(const ULONG* colour) {
        e_ = 0;
        if (w_.packetColour) extras_[e_++] = colour[0];
        if (w_.packetAlpha) extras_[e_++] = _NHwAlpha(colour);
    }
    // Writes and routes the segment S -> T (vertices and colour records);
    // provoking is the face's provoking record. False when no queue room
    // could be had (nothing more is drawn).
    bool Edge(ULONG s, ULONG t, ULONG rs, ULONG rt, ULONG provoking) {
        if (left_ > 0) --left_;
        if (p_ != nullptr && counted_ >= cap_) Close();  // a piece full before its face ends
        const LONG *ws = Window(c_, s), *wt = Window(c_, t);
        // An edge with an end that may not be drawn is left out.
        if (!_NWindowDrawable(ws, f_.bPrecise) || !_NWindowDrawable(wt, f_.bPrecise)) return true;
        if (p_ == nullptr && !Open()) return false;
        const ULONG *cs = Record(c_, rs), *ct = Record(c_, rt), *cp = Record(c_, provoking);
        ULONG* p = p_;
        if (w_.faceColour) *p++ = cp[0];
        if (w_.faceAlpha) *p++ = _NHwAlpha(cp);
        if (w_.colours) {
            *p++ = cs[0];
            *p++ = ct[0];
        }
        if (w_.depth) {
            const ULONG zt = _NHwDepth(f_, wt);
            *p++ = _NHwDepth(f_, ws);
            *p++ = zt;
            if (w_.wide) *p++ = zt;
        }
        if (w_.alphas) {
            const ULONG at = _NHwAlpha(ct);
            *p++ = _NHwAlpha(cs);
            *p++ = at;
            if (w_.smooth) *p++ = at;
        }
        if (w_.smooth) {
            *p++ = 0xFF;
            *p++ = 0xFF;
            *p++ = 0;
        }
        const ULONG a = _NHwPosition(f_, ws), b = _NHwPosition(f_, wt);
        *p++ = a;
        *p++ = b;
        if (w_.wide) *p++ = w_.width;
        ++counted_;
        if (((a ^ b) & kSamePixel) == 0 && f_.qm->cPrims != 0) {
            // Both ends in one pixel: the words written for it are abandoned.
            p_ = f_.qm->pqCurrent->pWrite;
            return true;
        }
        if (!w_.wide && ((a | b) & kWholePixel) == 0) {
            p_ = _NHwRouteTriangle(f_, p, a, b, a);
            return true;
        }
        ULONG pa, pb;
        vPush(a, b, w_.wide ? w_.width : kThinMargin, &pa, &pb);
        p_ = _NHwRouteTriangle(f_, p, a, pa, pb);
        return true;
    }
    // After a face (of at most perFace edges more to come): the batch is
    // closed when the next face might not fit its 400 segments (fewer where
    // 400 do not fit a queue ring).
    void FaceDone(ULONG perFace) {
        if (p_ != nullptr && counted_ + perFace > cap_) Close();
    }
    void Close() {
        if (p_ == nullptr) return;
        if (packets_ == Packets::OwnHead) {
            f_.phw->batchCount = N_BATCH_PRIMS;
            _NUpdateQAddr(f_.phw);
        } else {
            _NHwSoftClose(f_, p_);
        }
        p_ = nullptr;
        counted_ = 0;
    }

  private:
    bool Open() {
        const ULONG cbHead = packets_ == Packets::OwnHead ? _NHwHeadBytes(prog_) + 4 * (2 + e_)
                                                          : _NHwReserveHeadBytes(prog_, e_);
        cap_ = _NHwPiecePrims(f_.phw, cbHead, 4 * words_, N_BATCH_PRIMS);
        const ULONG room = std::clamp<ULONG>(left_ + 1, 1, cap_);
        ULONG* p;
        if (packets_ == Packets::OwnHead) {
            N_HwRecord* phw = f_.phw;
            p = _NNextQAddrMC(phw, 0, &phw->batchCount, _NHwHeadBytes(prog_) + 4 * (2 + e_ + room * words_));
            if (p != nullptr && _NHwFrameQueues(&f_)) p = _NHwWriteHead(f_, prog_, p, extras_, e_);
            else p = nullptr;
        } else {
            p = _NHwReserve(f_, prog_, 4 * room * words_, room, extras_, e_);
            if (p != nullptr && !_NHwFrameQueues(&f_)) p = nullptr;
        }
        if (p == nullptr) {
            _NSoftUpdateQAddr(f_.phw);
            return false;
        }
        p_ = p;
        counted_ = 0;
        return true;
    }

    const CommonPipeData& c_;
    const kzRenderProg* prog_;
    SegmentWords w_;
    Packets packets_;
    N_HwFrame f_;
    ULONG words_ = 0, left_ = 0, counted_ = 0, e_ = 0, cap_ = N_BATCH_PRIMS;
    ULONG extras_[2] = {};
    ULONG* p_ = nullptr;
};

// The checks every walker makes first: the program and its layout, the
// faces. False: nothing to draw (the next stage is the caller's to call).
bool bSetUp(N_Context* pctx, N_Pipe* pipe, std::initializer_list<ULONG> layouts, const char* pszRefused,
            const kzRenderProg** pProg, N_FaceWalk* walk) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.pWindow == nullptr || c.pHwVertices == nullptr || c.pFaceRuns == nullptr) return false;
    const kzRenderProg* prog = _NHwPipeProgram(pctx, pipe);
    if (!bIn(prog->dataAttr, layouts)) {
        if (pszRefused != nullptr) DbgPrint("%s: %d mode not supported\n", pszRefused, static_cast<int>(prog->dataAttr));
        return false;
    }
    if (!walk->Begin(c)) {
        DbgPrint("polygon outline: face runs do not fit the batch, not drawn\n");
        return false;
    }
    *pProg = prog;
    return walk->Drawn() != 0;
}

constexpr std::initializer_list<ULONG> kAllLayouts = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                                      11, 12, 13, 14, 15, 16, 17, 18, 19, 20};

// Triangles, quads and quad strips: every edge of every drawn face in
// outline order, edge flag word base + j for edge j when bFlags.
void vFaces(N_Context* pctx, N_Pipe* pipe, Outline::Packets packets, ULONG perFace, bool bFlags) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    const kzRenderProg* prog = nullptr;
    N_FaceWalk walk;
    if (!bSetUp(pctx, pipe, kAllLayouts, nullptr, &prog, &walk)) return Next(pctx, pipe);
    const SegmentWords w = WordsOf(prog->dataAttr, pctx);
    const bool bEdgeMode = bFlags && _NEdgeFlagMode(pipe);
    Outline out(pctx, pipe, prog, w, packets, walk.Drawn() * perFace);
    out.PacketWords(Record(c, walk.RecordOf(0)));
    bool bRoom = true;
    walk.Each([&](const N_Face& face) {
        if (!bRoom) return;
        for (ULONG j = 0; j < face.n && bRoom; ++j) {
            const ULONG k = (j + 1) % face.n;
            if (!_NEdgeShown(c, bEdgeMode, face.n * face.index + j)) continue;
            bRoom = out.Edge(face.v[j], face.v[k], face.rec[j], face.rec[k], face.rec[face.provoking]);
        }
        out.FaceDone(perFace);
    });
    out.Close();
    Next(pctx, pipe);
}

}  // namespace

void _NvpRenderXPgonLineKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.stripCount > 1) return _NBreakUpListOfStrips(pctx, pipe, _NvpRenderXPgonLineKZG);
    const kzRenderProg* prog = nullptr;
    N_FaceWalk walk;
    if (static_cast<LONG>(c.stripVertexCount) < 3 ||
        !bSetUp(pctx, pipe, {2, 3, 8, 9, 12, 13, 18, 19}, nullptr, &prog, &walk))
        return Next(pctx, pipe);
    // The polygon is one face: drawn by this pipe when any part of it is.
    const ULONG n = walk.Vertices();
    const SegmentWords w = WordsOf(prog->dataAttr, pctx);
    const bool bEdgeMode = _NEdgeFlagMode(pipe);
    Outline out(pctx, pipe, prog, w, Outline::Packets::OwnHead, n);
    const ULONG first = walk.RecordOf(0);
    out.PacketWords(Record(c, first));
    ULONG rs = first;
    for (ULONG i = 0; i < n; ++i) {
        const ULONG t = i + 1 < n ? i + 1 : 0;
        const ULONG rt = walk.RecordOf(t);
        if (_NEdgeShown(c, bEdgeMode, i) && !out.Edge(i, t, rs, rt, first)) break;
        out.FaceDone(1);
        rs = rt;
    }
    out.Close();
    Next(pctx, pipe);
}

void _NvpRenderXTListLineKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (static_cast<LONG>(c.stripCount) <= 0) return Next(pctx, pipe);
    if (c.stripCount > 1) return _NHwEachStrip(pctx, pipe, _NvpRenderXTListLineKZG);
    vFaces(pctx, pipe, Outline::Packets::Image, 3, true);
}

void _NvpRenderXQListLineKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.stripCount > 1) return _NBreakUpListOfStrips(pctx, pipe, _NvpRenderXQListLineKZG);
    vFaces(pctx, pipe, Outline::Packets::OwnHead, 4, true);
}

void _NvpRenderXQStripLineKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.stripCount > 1) return _NBreakUpListOfStrips(pctx, pipe, _NvpRenderXQStripLineKZG);
    vFaces(pctx, pipe, Outline::Packets::OwnHead, 4, false);
}

void _NvpRenderXTStripLineKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (static_cast<LONG>(c.stripCount) <= 0) return Next(pctx, pipe);
    if (c.stripCount > 1) return _NBreakUpListOfStrips(pctx, pipe, _NvpRenderXTStripLineKZG);
    const kzRenderProg* prog = nullptr;
    N_FaceWalk walk;
    if (!bSetUp(pctx, pipe, {2, 3, 5, 6, 8, 9, 12, 13, 15, 16, 18, 19}, "_NvpRenderXTStripLineKZG", &prog, &walk))
        return Next(pctx, pipe);
    const SegmentWords w = WordsOf(prog->dataAttr, pctx);
    Outline out(pctx, pipe, prog, w, Outline::Packets::Image, 3 * walk.Drawn());
    out.PacketWords(Record(c, walk.RecordOf(0)));
    bool bRoom = true;
    walk.Each([&](const N_Face& face) {
        if (!bRoom) return;
        const ULONG prov = face.rec[face.provoking];
        if (face.runStart) bRoom = out.Edge(face.v[0], face.v[1], face.rec[0], face.rec[1], prov);
        if (bRoom) bRoom = out.Edge(face.v[1], face.v[2], face.rec[1], face.rec[2], prov);
        if (bRoom) bRoom = out.Edge(face.v[2], face.v[0], face.rec[2], face.rec[0], prov);
        out.FaceDone(3);
    });
    out.Close();
    Next(pctx, pipe);
}
