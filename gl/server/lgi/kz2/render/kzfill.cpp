// Filled triangles, quads, polygons and fans, and the layout-12 list fill
// (kzfill.h).
#include "kzfill.h"

#include <algorithm>

#include "kz2/render/kzpipe.h"
#include "kz2/ucode/kzprog.h"
#include "shared/frame/hwframe.h"
#include "../../seams.h"

namespace {

// Layout codes the quad and polygon functions draw (every triangle code
// but those without a colour).
bool bColouredCode(ULONG d) {
    switch (d) {
    case 2: case 3: case 5: case 6: case 8: case 9: case 12: case 13: case 15: case 16: case 18: case 19: return true;
    default: return false;
    }
}
bool bTriangleCode(ULONG d) { return d == 1 || d == 11 || bColouredCode(d); }

using kzpipe::Next;
using kzpipe::Record;
using kzpipe::Window;

// Writes and routes the triangle (a, b, c) in that order; a triangle with
// a vertex that may not be drawn is left out.
ULONG* pTriangle(N_HwFrame& f, const N_TriLayout& l, ULONG* p, const N_TriVertex& a, const N_TriVertex& b,
                 const N_TriVertex& c, const ULONG* provoking) {
    if (!_NHwDrawable(f, {a, b, c})) return p;
    ULONG pos[3];
    p = _NHwWriteTriangle(f, l, p, {a, b, c}, provoking, pos);
    return _NHwRouteTriangle(f, p, pos[0], pos[1], pos[2]);
}
// The same, sent (a, b, c) when the window area is positive, else (a, c, b).
ULONG* pWoundTriangle(N_HwFrame& f, const N_TriLayout& l, ULONG* p, const N_TriVertex& a, const N_TriVertex& b,
                      const N_TriVertex& c, const ULONG* provoking) {
    return _NHwArea(a.win, b.win, c.win) > 0 ? pTriangle(f, l, p, a, b, c, provoking)
                                             : pTriangle(f, l, p, a, c, b, provoking);
}

// The faces and the runs of the skipped runs that open the face-run list.
// The colour stage fills no record of a skipped run: the per-packet words
// come from the first drawn face's records.
struct LeadingSkip {
    ULONG faces = 0, runs = 0;
};
LeadingSkip SkippedAhead(const CommonPipeData& c) {
    LeadingSkip s;
    for (ULONG i = 0; _NRunFaces(c.pFaceRuns[i]) != 0 && _NRunCode(c.pFaceRuns[i]) == N_RUN_SKIP; ++i)
        s.faces += _NRunFaces(c.pFaceRuns[i]), s.runs += 1;
    return s;
}

}  // namespace

void _NvpRenderXTListFillKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (static_cast<LONG>(c.stripCount) <= 0) return Next(pctx, pipe);
    if (c.stripCount > 1) return _NHwEachStrip(pctx, pipe, _NvpRenderXTListFillKZG);
    const ULONG n = static_cast<LONG>(c.stripVertexCount) > 0 ? _NFaceCount(N_PRIM_TRIANGLES, c.stripVertexCount) : 0;
    if (n == 0) return Next(pctx, pipe);

    const kzRenderProg* prog = _NHwPipeProgram(pctx, pipe);
    N_TriLayout l;
    if (!bTriangleCode(prog->dataAttr) || !_NTriLayoutOf(prog->dataAttr, &l)) {
        DbgPrint("_NvpRenderXTListFillKZG: Unknown rendering mode 0x%x\n", prog->dataAttr);
        _NProgrammerError();
        return Next(pctx, pipe);
    }
    ULONG drawn = 0;
    if (!_NFaceRunsFit(c, n, 3, 0, &drawn)) {
        DbgPrint("_NvpRenderXTListFillKZG: face runs do not fit the batch, not drawn\n");
        return Next(pctx, pipe);
    }
    if (drawn == 0) return Next(pctx, pipe);  // nothing to reserve for

    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    ULONG extras[2];
    const ULONG e = _NPacketWords(l, Record(c, 3 * SkippedAhead(c).faces), extras);
    // One reservation for the call, or pieces that fit a ring.
    const ULONG per = _NHwPiecePrims(f.phw, _NHwReserveHeadBytes(prog, e), 4 * l.words, n);
    ULONG* p = _NHwReserve(f, prog, 4 * per * l.words, per, extras, e);  // the head is added there
    if (p == nullptr || !_NHwFrameQueues(&f)) {
        _NSoftUpdateQAddr(f.phw);
        return Next(pctx, pipe);
    }
    ULONG v = 0, room = per, left = drawn;
    for (ULONG i = 0; p != nullptr; ++i) {
        const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
        if (count == 0) break;
        if (code == N_RUN_SKIP) {
            v += 3 * count;
            continue;
        }
        for (ULONG t = 0; t < count; ++t, v += 3, --room, --left) {
            if (room == 0) {
                _NHwSoftClose(f, p);
                room = std::min(left, per);
                p = _NHwReserve(f, prog, 4 * room * l.words, room, extras, e);
                if (p == nullptr || !_NHwFrameQueues(&f)) break;
            }
            const N_TriVertex a{Window(c, v), Record(c, v)}, b{Window(c, v + 1), Record(c, v + 1)},
                cc{Window(c, v + 2), Record(c, v + 2)};
            p = pWoundTriangle(f, l, p, a, b, cc, cc.colour);
        }
    }
    if (p != nullptr) _NHwSoftClose(f, p);
    else _NSoftUpdateQAddr(f.phw);
    Next(pctx, pipe);
}

void _NvpRenderXQListFillKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    pctx->stripParity = 0;
    if (static_cast<LONG>(c.stripVertexCount) <= 0) return Next(pctx, pipe);

    N_HwRecord* phw = pctx->pHw;
    // The program the selector built for this pipe: the back pipe's is in
    // its own slot (its faces may be filled while the front ones are drawn
    // as points or outlines, whose program is in the main slot).
    const kzRenderProg* prog = _NHwPipeProgram(pctx, pipe);
    N_TriLayout l;
    if (!bColouredCode(prog->dataAttr) || !_NTriLayoutOf(prog->dataAttr, &l)) {
        DbgPrint("_NvpRenderXQListFillKZG: Unknown rendering mode 0x%x\n", prog->dataAttr);
        return Next(pctx, pipe);
    }
    ULONG drawn = 0;
    if (!_NFaceRunsFit(c, _NFaceCount(N_PRIM_QUADS, c.stripVertexCount), 4, 0, &drawn)) {
        DbgPrint("_NvpRenderXQListFillKZG: face runs do not fit the batch, not drawn\n");
        return Next(pctx, pipe);
    }

    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    const bool bFlip = pctx->winding != 0;
    bool bAny = false;
    ULONG v = 0;
    for (ULONG i = 0;; ++i) {
        const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
        if (count == 0) break;
        if (code == N_RUN_SKIP) {
            v += 4 * count;
            continue;
        }
        // A packet of the run's own, headed by the program (or, for a run
        // of more quads than a ring holds, one a piece of the run).
        ULONG extras[2];
        const ULONG e = _NPacketWords(l, Record(c, v + 3), extras);
        const ULONG cbHead = _NHwHeadBytes(prog) + 4 * (2 + e);
        const ULONG per = _NHwPiecePrims(phw, cbHead, 8 * l.words, count);
        const bool bKeep = (code == N_RUN_FIRST) != bFlip;
        bool bFailed = false;
        for (ULONG first = 0; first < count && !bFailed; first += per) {
            const ULONG m = std::min(per, count - first);
            ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, cbHead + 8 * m * l.words);
            if (p == nullptr || !_NHwFrameQueues(&f)) {
                _NSoftUpdateQAddr(phw);
                bFailed = true;
                break;
            }
            bAny = true;
            p = _NHwWriteHead(f, prog, p, extras, e);
            for (ULONG q = 0; q < m; ++q, v += 4) {
                N_TriVertex P[4];
                for (ULONG k = 0; k < 4; ++k) P[k] = {Window(c, v + k), Record(c, v + k)};
                // A one-colour quad takes its fourth vertex's colour.
                const ULONG* provoking = P[3].colour;
                if (bKeep) {
                    p = pTriangle(f, l, p, P[0], P[1], P[2], provoking);
                    p = pTriangle(f, l, p, P[0], P[2], P[3], provoking);
                } else {
                    p = pTriangle(f, l, p, P[0], P[3], P[2], provoking);
                    p = pTriangle(f, l, p, P[0], P[2], P[1], provoking);
                }
            }
            _NHwSoftClose(f, p);
        }
        if (bFailed) break;
    }
    if (bAny) phw->batchCount = N_BATCH_PRIMS;
    Next(pctx, pipe);
}

void _NvpRenderXPgonFillKZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (static_cast<LONG>(c.stripVertexCount) <= 2) return Next(pctx, pipe);
    const ULONG n = _NFaceCount(N_PRIM_POLYGON, c.stripVertexCount);

    N_HwRecord* phw = pctx->pHw;
    const kzRenderProg* prog = _NHwPipeProgram(pctx, pipe);
    N_TriLayout l;
    if (!bColouredCode(prog->dataAttr) || !_NTriLayoutOf(prog->dataAttr, &l)) {
        DbgPrint("_NvpRenderXPgonFillKZG: Unknown rendering mode: 0x%x\n", prog->dataAttr);
        return Next(pctx, pipe);
    }
    ULONG drawn = 0;
    if (!_NFaceRunsFit(c, n, 1, 2, &drawn)) {
        DbgPrint("_NvpRenderXPgonFillKZG: face runs do not fit the batch, not drawn\n");
        return Next(pctx, pipe);
    }
    if (drawn == 0) return Next(pctx, pipe);  // every face culled

    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    // The first drawn run's records begin with its copy of the first vertex.
    const LeadingSkip skip = SkippedAhead(c);
    ULONG extras[2];
    const ULONG e = _NPacketWords(l, Record(c, skip.faces + 2 * skip.runs), extras);
    // One packet for the call, or a packet a piece of the fan's triangles
    // that fits a ring.
    const ULONG cbHead = _NHwHeadBytes(prog) + 8 + 4 * e;
    const ULONG per = _NHwPiecePrims(phw, cbHead, 4 * l.words, n);
    auto reserve = [&](ULONG m) {
        ULONG* q = _NNextQAddrMC(phw, 0, &phw->batchCount, cbHead + 4 * m * l.words);
        return q != nullptr && _NHwFrameQueues(&f) ? _NHwWriteHead(f, prog, q, extras, e) : nullptr;
    };
    ULONG* p = reserve(per);
    if (p == nullptr) {
        _NSoftUpdateQAddr(phw);
        return Next(pctx, pipe);
    }
    const bool bPolygon = c.code == N_PRIM_POLYGON;
    ULONG face = 0, block = 0;  // the run's first face and first colour record
    ULONG room = per, left = drawn;
    for (ULONG i = 0; p != nullptr; ++i) {
        const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
        if (count == 0) break;
        if (code != N_RUN_SKIP) {
            const N_TriVertex anchor{Window(c, 0), Record(c, block)};
            for (ULONG k = 0; k < count; ++k, --room, --left) {
                if (room == 0) {
                    _NHwSoftClose(f, p);
                    room = std::min(left, per);
                    if ((p = reserve(room)) == nullptr) break;
                }
                const ULONG j = face + k;
                const N_TriVertex b{Window(c, j + 1), Record(c, block + 1 + k)},
                    cc{Window(c, j + 2), Record(c, block + 2 + k)};
                // A one-colour face: the polygon's first vertex, a fan face's newest.
                p = pWoundTriangle(f, l, p, anchor, b, cc, bPolygon ? anchor.colour : cc.colour);
            }
        }
        face += count;
        block += count + 2;
    }
    if (p != nullptr) _NHwSoftClose(f, p);
    else _NSoftUpdateQAddr(phw);
    Next(pctx, pipe);
}

void _NvpRenderXListFillAttr12KZG(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    pctx->stripParity = 0;
    if (static_cast<LONG>(c.stripVertexCount) <= 0) return Next(pctx, pipe);

    const ULONG kind = c.code;
    const bool bFan = kind == N_PRIM_POLYGON || kind == N_PRIM_FAN;
    const bool bQuads = kind == N_PRIM_QUADS;
    const ULONG perFace = bFan ? 1 : (bQuads ? 4 : 3);
    const ULONG cMaxFaces = _NFaceCount(kind, c.stripVertexCount);
    ULONG drawn = 0;
    if (!_NFaceRunsFit(c, cMaxFaces, perFace, bFan ? 2 : 0, &drawn)) {
        DbgPrint("_NvpRenderXListFillAttr12KZG: face runs do not fit the batch, not drawn\n");
        return Next(pctx, pipe);
    }
    N_TriLayout l;
    _NTriLayoutOf(12, &l);
    const kzRenderProg* prog = _NHwPipeProgram(pctx, pipe);
    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    const bool bFlip = pctx->winding != 0;
    ULONG v = 0, block = 0;  // triangles and quads: the next vertex; fans: the run's first face and record
    for (ULONG i = 0;; ++i) {
        const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
        if (count == 0) break;
        if (code == N_RUN_SKIP) {
            v += bFan ? count : perFace * count;
            block += count + 2;
            continue;
        }
        // The run's triangles in one reservation, or in pieces that fit a ring.
        const ULONG perFaceTris = bQuads ? 2 : 1;
        const ULONG per =
            _NHwPiecePrims(f.phw, _NHwReserveHeadBytes(prog, 0), 4 * perFaceTris * l.words, count);
        ULONG* p = nullptr;
        ULONG room = 0;
        auto reserve = [&](ULONG m) {
            p = _NHwReserve(f, prog, 4 * perFaceTris * m * l.words, perFaceTris * m, nullptr, 0);
            room = m;
            return p != nullptr && _NHwFrameQueues(&f);
        };
        if (!reserve(per)) {
            _NSoftUpdateQAddr(f.phw);
            break;
        }
        const bool bKeep = (code == N_RUN_FIRST) != bFlip;
        // Sent (a, b, c) when the run keeps the winding, else (b, a, c).
        auto send = [&](const N_TriVertex& a, const N_TriVertex& b, const N_TriVertex& cc) {
            p = bKeep ? pTriangle(f, l, p, a, b, cc, nullptr) : pTriangle(f, l, p, b, a, cc, nullptr);
        };
        auto vtx = [&](ULONG w, ULONG r) { return N_TriVertex{Window(c, w), Record(c, r)}; };
        bool bFailed = false;
        for (ULONG k = 0; k < count; ++k, --room) {
            if (room == 0) {
                _NHwSoftClose(f, p);
                if (!reserve(std::min(per, count - k))) {
                    bFailed = true;
                    break;
                }
            }
            if (bFan) {
                send(vtx(0, block), vtx(v + k + 1, block + 1 + k), vtx(v + k + 2, block + 2 + k));
            } else if (bQuads) {
                const ULONG q = v + 4 * k;
                send(vtx(q, q), vtx(q + 1, q + 1), vtx(q + 2, q + 2));
                send(vtx(q, q), vtx(q + 2, q + 2), vtx(q + 3, q + 3));
            } else {
                const ULONG q = v + 3 * k;
                send(vtx(q, q), vtx(q + 1, q + 1), vtx(q + 2, q + 2));
            }
        }
        if (bFailed) {
            _NSoftUpdateQAddr(f.phw);
            break;
        }
        v += bFan ? count : perFace * count;
        block += count + 2;
        _NHwSoftClose(f, p);
    }
    Next(pctx, pipe);
}
