// The stages that run the rest of a pipe more than once for one batch:
// both eyes of a stereo board from one image (stage 4), the same image into
// both halves of a stereo frame buffer (stage 23), and one pass per
// rectangle of the window's clip list (stage 24), since the board clips to
// the one rectangle of a render program's clip pair.
//
// A program slot of the hardware record holds pass records of 204 words
// (the slot's first word counts them): words 3 and 36 add up to where the
// clip pair stands in the instruction body, word 101 says whether the
// packet carries the pair, words 102 and 103 hold it ((y << 16) | x of the
// first and last pixel) and the body starts at word 138. Every stage puts
// back what it changed but the batch counter and, for stage 24, the clip
// pairs of the last rectangle drawn.
#include <algorithm>
#include <cstring>

#include "kz2/ucode/kzprog.h"
#include "3d/pixels/pixelpath.h"
#include "passes.h"
#include "../../seams.h"

namespace {

constexpr ULONG kPassWords = 204;
constexpr ULONG kMaxPasses = N_PROGRAM_SLOT_WORDS / kPassWords;
constexpr ULONG kPidWords = 3, kInstrCount = 36, kClipFlag = 101, kClipMin = 102, kClipMax = 103, kBody = 138;
// Body words a pass record holds (up to the end of its packet image).
constexpr ULONG kBodyRoom = 136 + KZ_IMG_WORDS - kBody;
static_assert(offsetof(kzRenderProg, pidCount) == kPidWords * 4 && offsetof(kzRenderProg, instrCount) == kInstrCount * 4 &&
                  offsetof(kzRenderProg, clipCount) == kClipFlag * 4 && offsetof(kzRenderProg, clipMin) == kClipMin * 4 &&
                  offsetof(kzRenderProg, image) + KZ_IMG_BODY * 4 == kBody * 4 && sizeof(kzRenderProg) == kPassWords * 4,
              "a pass record is the program record");


ULONG cPasses(const ULONG* pulSlot) { return std::min(pulSlot[0], kMaxPasses); }

float fAttr(N_Context* pctx, ULONG id) {
    float f;
    std::memcpy(&f, pulAttr(pctx, id), 4);
    return f;
}

// Sets a pass record's clip pair, and the copy in its instruction body when
// the packet carries one. A record whose counts point past its body keeps
// its body as it is.
void vSetClipPair(ULONG* rec, ULONG lo, ULONG hi) {
    rec[kClipMin] = lo;
    rec[kClipMax] = hi;
    if (rec[kClipFlag] == 0) return;
    const std::uint64_t at = std::uint64_t{rec[kPidWords]} + rec[kInstrCount];
    if (at + 2 > kBodyRoom) return;
    rec[kBody + at] = lo;
    rec[kBody + at + 1] = hi;
}

// Calls fn(pass record) for every pass record in use of every program slot
// (every slot a pass may draw with has its clip pair moved together).
template <typename Fn>
void vForEachPass(N_HwRecord* phw, Fn fn) {
    for (ULONG s = 0; s < N_PROGRAM_SLOTS; ++s) {
        ULONG* pulSlot = phw->programs[s];
        for (ULONG r = 0; r < cPasses(pulSlot); ++r) fn(pulSlot + r * kPassWords, s * kMaxPasses + r);
    }
}

// What the vertical shift changed, to be put back.
struct Shift {
    float boundsF[2];
    LONG boundsI[2];
    ULONG clip[N_PROGRAM_SLOTS * kMaxPasses][2];
};

// Moves the clip volume and the clip pairs down by cy lines (the second
// half of a stereo frame buffer).
void vShiftDown(N_Context* pctx, LONG cy, Shift* s) {
    N_Transform& xf = pctx->xf;
    s->boundsF[0] = xf.boundsF[1];
    s->boundsF[1] = xf.boundsF[4];
    s->boundsI[0] = xf.boundsI[1];
    s->boundsI[1] = xf.boundsI[4];
    xf.boundsF[1] += static_cast<float>(cy);
    xf.boundsF[4] += static_cast<float>(cy);
    xf.boundsI[1] += cy;
    xf.boundsI[4] += cy;
    const ULONG dy = static_cast<ULONG>(cy) << 16;
    vForEachPass(pctx->pHw, [&](ULONG* rec, ULONG i) {
        s->clip[i][0] = rec[kClipMin];
        s->clip[i][1] = rec[kClipMax];
        vSetClipPair(rec, rec[kClipMin] + dy, rec[kClipMax] + dy);
    });
}

void vShiftBack(N_Context* pctx, const Shift& s) {
    N_Transform& xf = pctx->xf;
    xf.boundsF[1] = s.boundsF[0];
    xf.boundsF[4] = s.boundsF[1];
    xf.boundsI[1] = s.boundsI[0];
    xf.boundsI[4] = s.boundsI[1];
    vForEachPass(pctx->pHw, [&](ULONG* rec, ULONG i) { vSetClipPair(rec, s.clip[i][0], s.clip[i][1]); });
}

// The width conditions of a batch: drawn as lines wider than a pixel, or as
// points wider than a pixel.
struct Width {
    bool bLines;
    bool bPoints;
};
Width WidthOf(N_Context* pctx, ULONG code) {
    const bool bWideLine = fNLineWidth(pctx) > 1.0f, bWidePoint = fNPointSize(pctx) > 1.0f;
    if (code == N_PRIM_POINTS) return {false, bWidePoint};
    if (code == N_PRIM_LINE_STRIP || code == N_PRIM_LINES) return {bWideLine, false};
    if (code >= N_PRIM_POLYGON && code <= N_PRIM_QUAD_STRIP) {
        const ULONG mode = *pulAttr(pctx, N_ATTR_POLYGON_FRONT);
        return {mode == 1 && bWideLine, mode == 0 && bWidePoint};
    }
    return {false, false};
}

LONG lHalf(ULONG w) { return static_cast<LONG>(w & 0xFFFFu); }
}  // namespace

void _NStageMonoToStereo(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_HwRecord* phw = pctx->pHw;
    const CommonPipeData saved = c;
    phw->batchCount = N_BATCH_PRIMS;
    pipe->next[N_STAGE_STEREO_HEAD](pctx, pipe);

    const N_BoardFacts board = _NBoardFactsOf(pctx);
    if (board.flags & BCF_STEREO) {
        // The second eye from the same batch state, through its own transform.
        c = saved;
        phw->batchCount = N_BATCH_PRIMS;
        float combined[N_MATRIX_WORDS];
        std::memcpy(combined, pctx->xf.combined, sizeof combined);
        std::memcpy(pctx->xf.combined, pctx->xf.extraCombined, sizeof combined);
        Shift s;
        vShiftDown(pctx, board.cyRightEye, &s);
        pipe->next[N_STAGE_STEREO_HEAD](pctx, pipe);
        std::memcpy(pctx->xf.combined, combined, sizeof combined);
        vShiftBack(pctx, s);
    }
    c = saved;
}

void _NStageStereoHalves(N_Context* pctx, N_Pipe* pipe) {
    N_HwRecord* phw = pctx->pHw;
    pctx->secondHalf = 0;
    phw->batchCount = N_BATCH_PRIMS;
    pipe->next[N_STAGE_STEREO_HALVES](pctx, pipe);

    pctx->secondHalf = 1;
    phw->batchCount = N_BATCH_PRIMS;
    Shift s;
    vShiftDown(pctx, _NBoardFactsOf(pctx).cyRightEye, &s);
    pipe->next[N_STAGE_STEREO_HALVES](pctx, pipe);
    vShiftBack(pctx, s);
    pctx->secondHalf = 0;
}

ULONG _NRectTouchesBatch(N_Context* pctx, const CommonPipeData* c, LONG x0, LONG y0, LONG x1, LONG y1) {
    const Width w = WidthOf(pctx, c->code);
    LONG h = 0;
    if (w.bLines) h = _NTruncToLong(fNLineWidth(pctx) + 0.5f) >> 1;
    else if (w.bPoints) h = _NTruncToLong(fNPointSize(pctx) + 0.5f) >> 1;
    std::int64_t r[4] = {std::int64_t{x0} - h, std::int64_t{y0} - h, std::int64_t{x1} + h, std::int64_t{y1} + h};
    if (_NBoardFactsOf(pctx).modelImprecision != 0)
        for (std::int64_t& v : r) v *= 16;
    ULONG all = 15;
    const LONG* pWin = c->pWindow;
    for (ULONG i = 0; i < c->stripVertexCount; ++i) {
        const std::int64_t x = pWin[3 * i], y = pWin[3 * i + 1];
        const ULONG code = (x < r[0] ? 1u : 0u) | (x > r[2] ? 2u : 0u) | (y < r[1] ? 4u : 0u) | (y > r[3] ? 8u : 0u);
        all &= code;
        if (all == 0) return 1;
    }
    return 0;
}

namespace {

// Whether the pixel span row the zoom stage hands on meets the screen
// rectangle x0..x1, y0..y1 (x1 and y1 excluded): the pixel paths carry no
// vertices, their row is what lands in a clip rectangle.
bool bSpanTouches(const N_Pipe* pipe, LONG x0, LONG y0, LONG x1, LONG y1) {
    const auto* ps = static_cast<const N_PixelSpan*>(pipe->pSpan);
    if (ps == nullptr || ps->pDest == nullptr || ps->pDest->pBuffer == nullptr || ps->outCount == 0) return false;
    const GLBuffer* pb = ps->pDest->pBuffer;
    const std::int64_t y = std::int64_t{ps->outY} + pb->y, x = std::int64_t{ps->outX} + pb->x;
    return y >= y0 && y < y1 && x < x1 && x + ps->outCount > x0;
}

bool bPixelPipe(ULONG code) { return code == N_PRIM_DRAW_PIXELS || code == N_PRIM_COPY_PIXELS || code == N_PRIM_BITMAP; }

}  // namespace

void _NStageClipRects(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_HwRecord* phw = pctx->pHw;
    _NRefreshQueueMgt(phw);
    const Width w = WidthOf(pctx, c.code);
    const bool bWide = w.bLines || w.bPoints;

    LONG xOrg = 0, yOrg = 0;
    const LONG slot = _NFirstDrawSlot(pctx);
    if (slot >= 0 && pctx->buffers[slot].pBuffer != nullptr) {
        xOrg = pctx->buffers[slot].pBuffer->x;
        yOrg = pctx->buffers[slot].pBuffer->y;
    }
    const LONG* vp = reinterpret_cast<const LONG*>(pulAttr(pctx, N_ATTR_CLIP_BOX));

    // A batch the software stages draw runs once: they cut its fragments to
    // every clip rectangle themselves (the point stages a rectangle at a
    // time, the colour write a pass a rectangle), so a run per rectangle
    // would write each fragment once for every rectangle the batch touches.
    if (!bPixelPipe(c.code) && c.pDispatch != nullptr && c.pDispatch->status != 2) {
        pipe->next[N_STAGE_RECTANGLES](pctx, pipe);
        phw->batchCount = N_BATCH_PRIMS;
        return;
    }

    for (ULONG i = 0; i < pctx->cClipRects; ++i) {
        const ULONG lo = pctx->pulPackedClip[2 * i], hi = pctx->pulPackedClip[2 * i + 1];
        LONG x0 = lHalf(lo) + xOrg, y0 = lHalf(lo >> 16) + yOrg;
        LONG x1 = lHalf(hi) + xOrg, y1 = lHalf(hi >> 16) + yOrg;
        if (bWide) {
            x0 = std::max(x0, vp[0] + xOrg);
            y0 = std::max(y0, vp[1] + yOrg);
            // The viewport box's corners are both inside; x1 and y1 lie past.
            x1 = std::min(x1, vp[2] + 1 + xOrg);
            y1 = std::min(y1, vp[3] + 1 + yOrg);
        }
        const bool bTouches = bPixelPipe(c.code) ? bSpanTouches(pipe, x0, y0, x1, y1)
                                                 : _NRectTouchesBatch(pctx, &c, x0, y0, x1, y1) != 0;
        // Nothing of the batch lands here: the rectangle is passed over. The
        // vertex stages before this one have already left every attribute
        // at the batch's last vertex, which is all a rectangle the batch
        // misses must keep.
        if (!bTouches) continue;
        // The packed rectangle's far corner lies past it: the clip maximum
        // is its last pixel.
        const kzClipPair clip = kzClipPairOf(x0, y0, x1, y1);
        vForEachPass(phw, [&](ULONG* rec, ULONG) {
            if (rec[kClipFlag] != 0) vSetClipPair(rec, clip.min, clip.max);
        });
        pipe->next[N_STAGE_RECTANGLES](pctx, pipe);
        phw->batchCount = N_BATCH_PRIMS;
    }
}
