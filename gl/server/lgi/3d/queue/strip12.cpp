// The strip fill of vertex layout 12 (a packed colour and a depth word per
// vertex): the faces of triangle and quad strips become independent
// triangles, written behind one packet prefix and routed to the queues of
// the rasterizers whose 128x128 tiles they touch.
//
// The face-culling stage has cut each strip into runs of faces of one
// facing (or faces to skip). A face k of a strip has the strip's vertices k,
// k + 1 and k + 2, the newest N = k + 2 first; order A names the older two P
// = k, Q = k + 1, order B the other way round, and the order alternates
// from face to face.
#include <algorithm>

#include "glpdev.h"
#include "kz2/ucode/kzprog.h"
#include "kzprimwords.h"
#include "queue.h"
#include "renderfcn.h"
#include "shared/frame/hwframe.h"
#include "../../seams.h"

namespace {

// The words of a layout-12 triangle (a polygon program, class 5).
constexpr std::size_t kRowIndex = kzPrimWordsIndex(5, 12);
static_assert(kRowIndex < std::size(kzPrimWordRows), "layout-12 triangles have their words declared");
constexpr const kzPrimWordsRow& kRow = kzPrimWordRows[kRowIndex];
constexpr ULONG kWords = kzPrimWordCount(kRow);
static_assert(kWords == 9 && kRow.vertices == 3, "layout-12 triangles take nine words");
constexpr ULONG kColourAt = kzPrimWordAt(kRow, KZ_PW_COLOUR, 0);
constexpr ULONG kDepthAt = kzPrimWordAt(kRow, KZ_PW_DEPTH, 0);
constexpr ULONG kPositionAt = kzPrimWordAt(kRow, KZ_PW_POSITION, 0);
constexpr ULONG kColourEntryWords = 5;
constexpr ULONG kTileBits = ~KZ2_TILE_MASK;  // 0xF800F800: the tile of a packed position
constexpr ULONG kNoTile = 1;

ULONG ulRunCode(ULONG w) { return w & 0xFFFFu; }
ULONG cRunFaces(ULONG w) { return w >> 16; }
ULONG cFacesOf(ULONG cVertices) { return cVertices >= 2 ? cVertices - 2 : 0; }

// Whether the face runs stay within their strips and the work buffers: the
// walk below never reads a vertex, colour entry or run it should not.
bool bRunsFit(const CommonPipeData& c) {
    const ULONG cVertices = c.stripVertexCount, cStrips = c.stripCount;
    if (c.pStripCounts == nullptr || c.pFaceRuns == nullptr || c.pWindow == nullptr || c.pHwVertices == nullptr ||
        cVertices > N_BATCH_POINTS)
        return false;
    ULONG strip = 0;
    std::uint64_t first = 0, colour = 0;
    auto stripFits = [&] { return strip >= cStrips || first + c.pStripCounts[strip] <= cVertices; };
    if (!stripFits()) return false;
    ULONG facesLeft = cFacesOf(c.pStripCounts[0]);
    for (ULONG i = 0; i < N_FACE_RUN_WORDS; ++i) {
        const ULONG count = cRunFaces(c.pFaceRuns[i]);
        if (count == 0) return true;
        if (strip >= cStrips || count > facesLeft) return false;
        colour += count + 2;
        if (colour > N_COLOUR_ENTRIES) return false;
        facesLeft -= count;
        if (facesLeft == 0) {
            first += c.pStripCounts[strip++];
            if (!stripFits()) return false;
            facesLeft = strip < cStrips ? cFacesOf(c.pStripCounts[strip]) : 0;
        }
    }
    return false;  // no end within the list's room
}

// What the walk needs of the board and the context.
struct Target {
    KZ2QUEUEMGT qm;
    ULONG cQueues;
    bool bSplit;
    bool bPrecise;    // modelImprecision: window coordinates in 28.4 already
    bool bDepth16;    // a depth buffer narrower than 24 bits
    ULONG yOffset;    // the right eye's or second half's offset, in the coordinates' units
    ULONG state;      // tile of the current queue's last face, or kNoTile
    N_PixelBound bound;  // the window's size, for counting the faces routed
};

ULONG ulPosition(const Target& t, const LONG* win) {
    const ULONG x = static_cast<ULONG>(win[0]), y = static_cast<ULONG>(win[1]) + t.yOffset;
    return t.bPrecise ? (y << 16) | (x & 0xFFFFu) : (y << 20) | ((x << 4) & 0xFFFFu);
}

// Routes the face whose words end at p; answers where the next face goes.
ULONG* pRoute(Target& t, ULONG* p, ULONG posN, ULONG posK1, ULONG posK) {
    _NCountTriangle(t.bound, posN, posK1, posK);
    KZ2QUEUEMGT qm = t.qm;
    if (t.cQueues == 1) {
        ++qm->cPrims;
        qm->pqCurrent->pWrite = p;
        return p;
    }
    if (!t.bSplit) {
        if ((posN & kTileBits) == t.state) {
            // Within the current queue's tile: three stores, no driver call.
            KZ2QUEUE* q = qm->pqCurrent;
            ++q->cPrims;
            q->pWrite = q->pMark = p;
            return p;
        }
        return kz2CopyPrimStripOpt(qm, p, posN, posK1, posK, &t.state, TRUE);
    }
    const ULONG tile = posN & kTileBits;
    const BOOL bOneTile = tile == (posK1 & kTileBits) && tile == (posK & kTileBits);
    return kz2CopyPrimMulScreen(qm, p, posN, bOneTile);
}

}  // namespace

void _NvpRenderXTStripListFillAttr12KZ(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    auto next = [&] { pipe->next[N_STAGE_RENDER](pctx, pipe); };
    if (static_cast<LONG>(c.stripCount) <= 0) return next();
    if (!bRunsFit(c)) {
        DbgPrint("_NvpRenderXTStripListFillAttr12KZ: face runs do not fit the strips, batch not drawn\n");
        return next();
    }

    N_HwRecord* phw = pctx->pHw;
    const ULONG savedParity = pctx->stripParity;
    // The pipe's program: the back pipe's is in a slot of its own.
    kzProgPacket* pImage = &_NHwPipeProgram(pctx, pipe)->image;
    // One reservation for the batch, or, where it does not fit a queue
    // ring, pieces of as many faces as do (each face a triangle of its own).
    const ULONG cVertices = c.stripVertexCount;
    const ULONG cbFace = 4 * kWords, cbHead = 4 * std::min<ULONG>(pImage->w[KZ_IMG_WORDS], KZ_IMG_WORDS);
    const bool bWhole = _NHwPiecePrims(phw, 0, cbFace, cVertices) == cVertices;
    const ULONG per = bWhole ? cVertices : _NHwPiecePrims(phw, cbHead, cbFace, cVertices);
    auto reserve = [&] {
        const ULONG bForce = _NBatchForce(&phw->batchCount, per);
        ULONG* q = _NNextQAddrFlushMC(phw, pImage, bWhole ? cbFace * cVertices : cbFace * per + cbHead, phw, pImage,
                                      &phw->batchCount, bForce, _NCopyPktHeader);
        return q != nullptr && phw->qm != nullptr && phw->qm->pLayout != nullptr ? q : nullptr;
    };
    ULONG* p = reserve();
    if (p == nullptr) {
        _NSoftUpdateQAddr(phw, 0, p);
        return next();
    }
    ULONG room = per;

    const N_BoardFacts board = _NBoardFactsOf(pctx);
    Target t{};
    t.qm = phw->qm;
    t.cQueues = t.qm->pLayout->cQueues;
    t.bSplit = t.qm->pLayout->bSplitScreen != 0;
    t.bPrecise = board.modelImprecision != 0;
    t.bDepth16 = _NDepthBits(phw->pDevice) < 24;
    const bool bLower = pctx->secondHalf != 0 || pctx->rightEye != 0;
    t.yOffset = bLower ? static_cast<ULONG>(board.cyRightEye) * (t.bPrecise ? 16u : 1u) : 0;
    t.state = kNoTile;
    t.bound = _NWindowBound(pctx);

    const LONG* win = c.pWindow;
    auto pos = [&](ULONG v) { return ulPosition(t, win + 3 * std::size_t{v}); };
    auto depth = [&](ULONG v) {
        const ULONG z = static_cast<ULONG>(win[3 * std::size_t{v} + 2]);
        return t.bDepth16 ? _NDepthWord16(z) : z;
    };

    ULONG strip = 0, stripFirst = 0;
    ULONG facesLeft = cFacesOf(c.pStripCounts[0]);
    ULONG a = 0;       // the run's first vertex (the older two of its first face: a, a + 1)
    ULONG colour = 0;  // the run's first colour entry (vertex a's)
    auto close = [&] {
        ULONG most = 0;
        for (ULONG q = 0; q < t.cQueues; ++q) most = std::max(most, t.qm[q].cPrims);
        phw->batchCount = most;
        _NSoftUpdateQAddr(phw, 0, p);
    };
    for (ULONG i = 0; p != nullptr; ++i) {
        const ULONG code = ulRunCode(c.pFaceRuns[i]), count = cRunFaces(c.pFaceRuns[i]);
        if (count == 0) break;
        if (code == N_RUN_SKIP) {
            // Nothing drawn; a newest vertex in another tile ends what the
            // current queue is known to hold.
            for (ULONG f = 0; f < count; ++f) {
                if ((pos(a + 2 + f) & kTileBits) != t.state) {
                    t.state = kNoTile;
                    break;
                }
            }
        } else {
            bool bOrderA = ((code == N_RUN_FIRST) ^ ((pctx->stripParity & 1) != 0) ^ (pctx->winding != 0));
            for (ULONG f = 0; f < count; ++f, bOrderA = !bOrderA, --room) {
                if (room == 0) {
                    close();
                    if ((p = reserve()) == nullptr) break;
                    room = per;
                    t.qm = phw->qm;
                    t.state = kNoTile;
                }
                const ULONG k = a + f;
                const ULONG v[3] = {k + 2, bOrderA ? k : k + 1, bOrderA ? k + 1 : k};  // N, P, Q
                // A face with a vertex that may not be drawn is left out.
                if (!_NWindowDrawable(win + 3 * std::size_t{k}, t.bPrecise) ||
                    !_NWindowDrawable(win + 3 * std::size_t{k + 1}, t.bPrecise) ||
                    !_NWindowDrawable(win + 3 * std::size_t{k + 2}, t.bPrecise))
                    continue;
                const ULONG posN = pos(v[0]);
                for (ULONG j = 0; j < 3; ++j) {
                    p[kColourAt + j] = c.pHwVertices[kColourEntryWords * (colour + v[j] - a)];
                    p[kDepthAt + j] = depth(v[j]);
                    p[kPositionAt + j] = j == 0 ? posN : pos(v[j]);
                }
                p += kWords;
                p = pRoute(t, p, posN, pos(k + 1), pos(k));
            }
        }
        facesLeft -= count;
        if (facesLeft == 0) {
            stripFirst += c.pStripCounts[strip++];
            pctx->stripParity = 0;
            facesLeft = strip < c.stripCount ? cFacesOf(c.pStripCounts[strip]) : 0;
            t.state = kNoTile;
            a = stripFirst;
        } else {
            a += count;
            pctx->stripParity += count;
        }
        colour += count + 2;
    }

    if (p != nullptr) close();
    else _NSoftUpdateQAddr(phw, 0, p);
    pctx->stripParity = savedParity;
    next();
}
