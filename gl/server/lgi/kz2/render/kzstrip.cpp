// Strip fills of triangle and quad strips (kzfill.h): face k of a strip has
// the strip's vertices k, k + 1 and the newest N = k + 2; it is sent (N,
// N-2, N-1) when its run keeps the winding and (N, N-1, N-2) otherwise,
// the order alternating from face to face. One reservation a strip; the
// strip state spares routing calls while a strip stays in one tile.
#include "kzfill.h"

#include <algorithm>

#include "kz2/ucode/kzprog.h"
#include "shared/frame/hwframe.h"
#include "../../seams.h"

namespace {

struct StripForm {
    const char* name;
    ULONG roomWords;        // room a face (0: the layout's own words)
    bool bCulledWalk;       // the strip state lives a strip; a skipped run that leaves its tile clears it
    bool bCallFirstColour;  // every strip's per-packet words from the call's first vertex
    bool bBatchFull;        // the batch word is left full: the next call opens packets
};

constexpr StripForm kGeneral{"_NvpRenderXTStripListFillKZ", 9, false, false, true};
constexpr StripForm kAttr13{"_NvpRenderXTStripListFillAttr13KZ", 0, true, false, false};
constexpr StripForm kAttr15{"_NvpRenderXTStripListFillAttr15KZ", 0, false, false, false};
constexpr StripForm kAttr18{"_NvpRenderXTStripListFillAttr18KZ", 0, false, true, false};

void vStripFill(N_Context* pctx, N_Pipe* pipe, const N_TriLayout& l, const StripForm& form) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    auto next = [&] { pipe->next[N_STAGE_RENDER](pctx, pipe); };
    if (static_cast<LONG>(c.stripCount) <= 0) return next();
    if (!_NStripRunsFit(c)) {
        DbgPrint("%s: face runs do not fit the strips, batch not drawn\n", form.name);
        return next();
    }
    const ULONG savedParity = pctx->stripParity;
    // The pipe's program: the back pipe's is in a slot of its own.
    const kzRenderProg* prog = _NHwPipeProgram(pctx, pipe);
    const ULONG roomWords = form.roomWords != 0 ? form.roomWords : l.words;
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    auto record = [&](ULONG r) { return c.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{r}; };
    auto window = [&](ULONG v) { return c.pWindow + 3 * std::size_t{v}; };

    ULONG strip = 0, stripFirst = 0;
    ULONG facesLeft = _NStripFaces(c.pStripCounts[0]);
    ULONG a = 0;      // the run's first vertex
    ULONG block = 0;  // the run's first colour record (vertex a's)
    ULONG* p = nullptr;
    bool bOpen = false;
    // The strip's per-packet words, the faces a reservation takes and the
    // room left in the open one: a strip of more faces than a ring holds
    // goes out in pieces, each face being a triangle of its own.
    ULONG extras[2], e = 0, per = 0, room = 0;
    for (ULONG i = 0;; ++i) {
        const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
        if (count == 0) break;
        if (!bOpen) {
            // The strip's reservation, sized for all its faces.
            e = _NPacketWords(l, record(form.bCallFirstColour ? 0 : block), extras);
            per = room = _NHwPiecePrims(f.phw, _NHwReserveHeadBytes(prog, e), 4 * roomWords, facesLeft);
            p = _NHwReserve(f, prog, 4 * per * roomWords, per, extras, e);
            bOpen = true;
            if (p == nullptr || !_NHwFrameQueues(&f)) break;
            if (form.bCulledWalk) f.stripTile = N_STRIP_NEW;
        }
        if (code == N_RUN_SKIP) {
            if (form.bCulledWalk) {
                for (ULONG k = 0; k < count; ++k) {
                    if ((_NHwPosition(f, window(a + 2 + k)) & N_TILE_BITS) != f.stripTile) {
                        f.stripTile = N_STRIP_NEW;
                        break;
                    }
                }
            }
        } else {
            bool bKeep = ((code == N_RUN_FIRST) != ((pctx->stripParity & 1) != 0)) != (pctx->winding != 0);
            if (!form.bCulledWalk) f.stripTile = N_STRIP_NEW;
            for (ULONG k = 0; k < count; ++k, bKeep = !bKeep, --room) {
                if (room == 0) {
                    _NHwSoftClose(f, p);
                    room = std::min(per, facesLeft - k);
                    p = _NHwReserve(f, prog, 4 * room * roomWords, room, extras, e);
                    if (p == nullptr || !_NHwFrameQueues(&f)) break;
                    f.stripTile = N_STRIP_NEW;
                }
                const ULONG n = a + k + 2;
                const ULONG older[2] = {bKeep ? n - 2 : n - 1, bKeep ? n - 1 : n - 2};
                const N_TriVertex v[3] = {{window(n), record(block + k + 2)},
                                          {window(older[0]), record(block + older[0] - a)},
                                          {window(older[1]), record(block + older[1] - a)}};
                if (!_NHwDrawable(f, v)) continue;  // a vertex that may not be drawn: the face is left out
                ULONG pos[3];
                p = _NHwWriteTriangle(f, l, p, v, v[0].colour, pos);
                // Routed by the newest vertex and the two before it, whatever
                // order they went out in.
                p = _NHwRouteStripTriangle(f, p, pos[0], bKeep ? pos[2] : pos[1], bKeep ? pos[1] : pos[2]);
            }
            if (p == nullptr || f.qm == nullptr) break;
        }
        facesLeft -= count;
        block += count + 2;
        if (facesLeft == 0) {
            // The strip is done: its packets are closed for now.
            stripFirst += c.pStripCounts[strip++];
            pctx->stripParity = 0;
            _NHwSoftClose(f, p);
            bOpen = false;
            facesLeft = strip < c.stripCount ? _NStripFaces(c.pStripCounts[strip]) : 0;
            a = stripFirst;
        } else {
            a += count;
            pctx->stripParity += count;
        }
    }
    if (bOpen) {
        if (f.qm != nullptr) _NHwSoftClose(f, p);
        else _NSoftUpdateQAddr(f.phw);
    }
    pctx->stripParity = savedParity;
    if (form.bBatchFull) pctx->pHw->batchCount = N_BATCH_PRIMS;
    next();
}

void vMember(N_Context* pctx, N_Pipe* pipe, ULONG dataAttr, const StripForm& form) {
    N_TriLayout l;
    _NTriLayoutOf(dataAttr, &l);
    vStripFill(pctx, pipe, l, form);
}

}  // namespace

void _NvpRenderXTStripListFillKZ(N_Context* pctx, N_Pipe* pipe) {
    const ULONG d = _NHwPipeProgram(pctx, pipe)->dataAttr;
    N_TriLayout l;
    if (d == 13 || !_NTriLayoutOf(d, &l)) {
        DbgPrint("_NvpRenderXTStripListFillKZ: Unknown render ucode attr: %d.\n", static_cast<int>(d));
        return;
    }
    vStripFill(pctx, pipe, l, kGeneral);
}

void _NvpRenderXTStripListFillAttr13KZ(N_Context* pctx, N_Pipe* pipe) { vMember(pctx, pipe, 13, kAttr13); }
void _NvpRenderXTStripListFillAttr15KZ(N_Context* pctx, N_Pipe* pipe) { vMember(pctx, pipe, 15, kAttr15); }
void _NvpRenderXTStripListFillAttr18KZ(N_Context* pctx, N_Pipe* pipe) { vMember(pctx, pipe, 18, kAttr18); }

void _NvpRenderXTStripListFillDepthKZ(N_Context* pctx, N_Pipe* pipe) {
    switch (_NHwPipeProgram(pctx, pipe)->dataAttr) {
    case 13: return _NvpRenderXTStripListFillAttr13KZ(pctx, pipe);
    case 15: return _NvpRenderXTStripListFillAttr15KZ(pctx, pipe);
    case 18: return _NvpRenderXTStripListFillAttr18KZ(pctx, pipe);
    default: return _NvpRenderXTStripListFillKZ(pctx, pipe);
    }
}
