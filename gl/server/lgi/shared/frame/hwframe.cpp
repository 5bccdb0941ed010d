// The shared frame of the hardware render functions (hwframe.h).
#include "hwframe.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "kz2/ucode/kzprog.h"
#include "kzuinstr.h"
#include "../../seams.h"

void _NHwFrameBegin(N_Context* pctx, N_HwFrame* f) {
    N_HwRecord* phw = pctx->pHw;
    *f = N_HwFrame{};
    f->phw = phw;
    GLSRVDEVICE* pDevice = phw->pDevice;
    f->bound = _NWindowBound(pctx);
    if (pDevice == nullptr) return;
    f->bPrecise = _NModelImprecision(pDevice) != 0;
    f->bDepth16 = _NDepthBits(pDevice) < 24;
    // The lower image (second half of a stereo pair) lies one drawing area
    // further down; its height is in pixels and the coordinates may be in
    // sixteenths.
    if (pctx->secondHalf != 0 || pctx->rightEye != 0)
        f->yOffset = static_cast<ULONG>(_NSurfaceHeight(pDevice)) * (f->bPrecise ? 16u : 1u);
}

bool _NHwFrameQueues(N_HwFrame* f) {
    f->qm = f->phw->qm;
    if (f->qm == nullptr || f->qm->pLayout == nullptr || f->qm->pqCurrent == nullptr) return false;
    f->cQueues = std::max<ULONG>(f->qm->pLayout->cQueues, 1);
    f->bSplit = f->qm->pLayout->bSplitScreen != 0;
    return true;
}

ULONG _NHwAlpha(const ULONG* colour) {
    float a;
    std::memcpy(&a, &colour[1], sizeof a);
    return static_cast<ULONG>(_NRoundToInt(a * 256.0f)) & 0x1FFu;
}

bool _NTriLayoutOf(ULONG dataAttr, N_TriLayout* out) {
    const kzPrimWordsRow* row = kzPrimWordsOf(N_TRIANGLE_CLASS, dataAttr);
    if (row == nullptr) return false;
    N_TriLayout l;
    l.row = row;
    l.dataAttr = dataAttr;
    l.words = kzPrimWordCount(*row);
    const kzLayout m = kzLayoutOf(dataAttr);
    l.packetColour = m.colourIn(KZ_CF_PACKET);
    l.packetAlpha = m.alphaIn(KZ_CF_PACKET);
    l.packetWords = (l.packetColour ? 1u : 0u) + (l.packetAlpha ? 1u : 0u);
    *out = l;
    return true;
}

ULONG _NPacketWords(const N_TriLayout& l, const ULONG* colour, ULONG* out) {
    ULONG n = 0;
    if (l.packetColour) out[n++] = colour[0];
    if (l.packetAlpha) out[n++] = _NHwAlpha(colour);
    return n;
}

ULONG* _NHwWriteTriangle(const N_HwFrame& f, const N_TriLayout& l, ULONG* p, const N_TriVertex (&v)[3],
                         const ULONG* provoking, ULONG (&pos)[3]) {
    for (ULONG j = 0; j < 3; ++j) pos[j] = _NHwPosition(f, v[j].win);
    for (const kzPrimWordGroup& g : l.row->groups) {
        if (g.count == 1) {
            *p++ = g.kind == KZ_PW_COLOUR ? provoking[0] : _NHwAlpha(provoking);
            continue;
        }
        if (g.count != 3) continue;
        for (ULONG j = 0; j < 3; ++j) {
            switch (g.kind) {
            case KZ_PW_COLOUR: *p++ = v[j].colour[0]; break;
            case KZ_PW_ALPHA: *p++ = _NHwAlpha(v[j].colour); break;
            case KZ_PW_DEPTH: *p++ = _NHwDepth(f, v[j].win); break;
            default: *p++ = pos[j]; break;
            }
        }
    }
    return p;
}

ULONG* _NHwRouteTriangle(N_HwFrame& f, ULONG* p, ULONG a, ULONG b, ULONG c) {
    _NCountTriangle(f.bound, a, b, c);
    KZ2QUEUEMGT qm = f.qm;
    if (f.cQueues == 1) {
        ++qm->cPrims;
        qm->pqCurrent->pWrite = p;
        return p;
    }
    const bool bOneTile = ((a ^ b) & N_TILE_BITS) == 0 && ((a ^ c) & N_TILE_BITS) == 0;
    if (f.bSplit) return kz2CopyPrimMulScreen(qm, p, a, bOneTile);
    if (bOneTile && qm->cPrims != 0) {
        // Within one tile once the packet reached every queue: straight to
        // the tile's owner.
        const ULONG tile = ((a & 0x18000000u) >> 25) | ((a & 0x1800u) >> 11);
        KZ2QUEUE* rec = qm + qm->abTileQueue[tile];
        ++rec->cPrims;
        if (rec == qm->pqCurrent) {
            rec->pWrite = rec->pMark = p;
            return p;
        }
        kz2CopyPrimN(qm, p, rec);
        qm->pqCurrent = rec;
        p = rec->pWrite;
        rec->pMark = p;
        return p;
    }
    return kz2CopyPrimOpt(qm, p, a, b, c);
}

ULONG* _NHwRouteStripTriangle(N_HwFrame& f, ULONG* p, ULONG n, ULONG n1, ULONG n2) {
    _NCountTriangle(f.bound, n, n1, n2);
    KZ2QUEUEMGT qm = f.qm;
    if (f.cQueues == 1) {
        ++qm->cPrims;
        qm->pqCurrent->pWrite = p;
        return p;
    }
    if (f.bSplit) {
        const bool bOneTile = ((n ^ n1) & N_TILE_BITS) == 0 && ((n ^ n2) & N_TILE_BITS) == 0;
        return kz2CopyPrimMulScreen(qm, p, n, bOneTile);
    }
    if ((n & N_TILE_BITS) == f.stripTile) {
        // Still in the current queue's tile: three stores, no driver call.
        KZ2QUEUE* q = qm->pqCurrent;
        ++q->cPrims;
        q->pWrite = q->pMark = p;
        return p;
    }
    return kz2CopyPrimStripOpt(qm, p, n, n1, n2, &f.stripTile, TRUE);
}

void _NHwSoftClose(N_HwFrame& f, ULONG* p) {
    ULONG most = 0;
    for (ULONG q = 0; q < f.cQueues; ++q) most = std::max(most, f.qm[q].cPrims);
    f.phw->batchCount = most;
    _NSoftUpdateQAddr(f.phw, 0, p);
}

ULONG _NHwHeadBytes(const kzRenderProg* prog) {
    const ULONG fmt = prog->header & KZU_HDR_CONSTANTS_MASK;
    return 4 * (prog->pidCount + prog->instrCount + (prog->clipCount != 0 ? 2 : 0) + kzuConstantsInPacket(fmt) +
                (prog->extraFlag != 0 ? 1 : 0) + prog->trailingCount);
}

ULONG* _NHwWriteHead(const N_HwFrame& f, const kzRenderProg* prog, ULONG* p, const ULONG* extras, ULONG nExtra) {
    for (ULONG q = 0; q < f.cQueues; ++q) f.qm[q].pPacket[0] = prog->header;
    const ULONG fmt = prog->header & KZU_HDR_CONSTANTS_MASK;
    p = std::copy_n(prog->pids, std::min<ULONG>(prog->pidCount, std::size(prog->pids)), p);
    p = std::copy_n(prog->instr, std::min<ULONG>(prog->instrCount, KZ_INSTR_ROOM), p);
    if (prog->clipCount != 0) {
        *p++ = prog->clipMin;
        *p++ = prog->clipMax;
    }
    p = std::copy_n(prog->constants, kzuConstantsInPacket(fmt), p);
    if (prog->extraFlag != 0) *p++ = prog->extraWord;
    p = std::copy_n(extras, nExtra, p);
    return std::copy_n(prog->trailing, std::min<ULONG>(prog->trailingCount, KZ_TRAILING_ROOM), p);
}

ULONG _NCopyPktHeaderExtra(PVOID pvPair, ULONG* pPacket, PVOID pvExtras, PVOID pvCount) {
    const auto* pair = static_cast<const N_HwImagePair*>(pvPair);
    const auto* extras = static_cast<const ULONG*>(pvExtras);
    const ULONG nExtra = std::min<ULONG>(*static_cast<const ULONG*>(pvCount), 2);
    const kzProgPacket& img = *pair->pImage;
    // The head, and the place of the per-packet words, are taken as the
    // image's at most.
    const ULONG n = std::min<ULONG>(img.w[KZ_IMG_WORDS] + nExtra, KZ_IMG_WORDS);
    std::memcpy(pPacket, img.w, n * sizeof(ULONG));
    const ULONG at = img.w[KZ_IMG_PRIM_WORDS];
    for (ULONG i = 0; i < nExtra && at + i < n; ++i) pPacket[at + i] = extras[i];
    return n * sizeof(ULONG);
}

bool _NHwPacketCarries(N_HwRecord* phw, const kzProgPacket* pImage, const ULONG* extras, ULONG nExtra) {
    KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    if (qm == nullptr || qm->pPacket == nullptr) return false;
    const ULONG n = pImage->w[KZ_IMG_WORDS] + nExtra, at = pImage->w[KZ_IMG_PRIM_WORDS];
    if (n > KZ_IMG_WORDS || at + nExtra > n || qm->cbPrefix != n * sizeof(ULONG)) return false;
    if (qm->pPacket[0] != pImage->w[KZ_IMG_HEADER]) return false;
    return std::equal(extras, extras + nExtra, qm->pPacket + at);
}

void _NHwEachStrip(N_Context* pctx, N_Pipe* pipe, N_StageFn pfn) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const CommonPipeData saved = c;
    const ULONG* counts = c.pStripCounts;
    const ULONG cStrips = c.stripCount;
    // The strip's runs with their closing word: at most one a run word of the
    // list (no allocation while drawing).
    ULONG runs[N_FACE_RUN_WORDS + 1];
    ULONG cRuns = 0;
    const ULONG* allRuns = saved.pFaceRuns;
    ULONG run = 0, left = counts != nullptr && allRuns != nullptr ? _NRunFaces(allRuns[0]) : 0;
    ULONG vertex = 0;
    for (ULONG s = 0; s < cStrips && counts != nullptr; ++s) {
        const ULONG cVerts = counts[s];
        if (cVerts > N_BATCH_POINTS || vertex + cVerts > saved.stripVertexCount) {
            DbgPrint("_NBreakUpListOfStrips: bogus nVerts (%d)???\n", static_cast<int>(cVerts));
            break;
        }
        // The strip's own runs: its triangles taken from the list's runs,
        // a run that goes on into the next strip cut at the strip's end.
        cRuns = 0;
        ULONG faces = cVerts / 3;
        while (faces > 0 && run < N_FACE_RUN_WORDS && left > 0) {
            const ULONG take = std::min(faces, left);
            runs[cRuns++] = N_FACE_RUN(_NRunCode(allRuns[run]), take);
            faces -= take;
            left -= take;
            if (left == 0 && ++run < N_FACE_RUN_WORDS) left = _NRunFaces(allRuns[run]);
        }
        if (faces != 0) {
            DbgPrint("_NBreakUpListOfStrips: bogus nVerts (%d)???\n", static_cast<int>(cVerts));
            break;
        }
        runs[cRuns++] = N_FACE_RUN(N_RUN_FIRST, 0);
        c.stripCount = 1;
        c.pStripCounts = &counts[s];
        c.stripVertexCount = cVerts;
        c.pFaceRuns = runs;
        c.pWindow = saved.pWindow + 3 * std::size_t{vertex};
        c.pHwVertices = saved.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{vertex};
        if (saved.pEdgeWords != nullptr) c.pEdgeWords = saved.pEdgeWords + vertex;
        pfn(pctx, pipe);
        vertex += cVerts;
    }
    c.stripCount = saved.stripCount;
    c.pStripCounts = saved.pStripCounts;
    c.stripVertexCount = saved.stripVertexCount;
    c.pFaceRuns = saved.pFaceRuns;
    c.pWindow = saved.pWindow;
    c.pHwVertices = saved.pHwVertices;
    c.pEdgeWords = saved.pEdgeWords;
}

bool _NFaceRunsFit(const CommonPipeData& c, ULONG cMaxFaces, ULONG recordsPerFace, ULONG recordsPerRun,
                   ULONG* pDrawn) {
    *pDrawn = 0;
    if (c.pFaceRuns == nullptr || c.pWindow == nullptr || c.pHwVertices == nullptr) return false;
    std::uint64_t faces = 0, records = 0, drawn = 0;
    for (ULONG i = 0; i < N_FACE_RUN_WORDS; ++i) {
        const ULONG count = _NRunFaces(c.pFaceRuns[i]);
        if (count == 0) {
            *pDrawn = static_cast<ULONG>(drawn);
            return true;
        }
        faces += count;
        records += std::uint64_t{count} * recordsPerFace + recordsPerRun;
        if (faces > cMaxFaces || records > N_COLOUR_ENTRIES) return false;
        if (_NRunCode(c.pFaceRuns[i]) != N_RUN_SKIP) drawn += count;
    }
    return false;  // no end within the list's room
}

bool _NStripRunsFit(const CommonPipeData& c) {
    const ULONG cVertices = c.stripVertexCount, cStrips = c.stripCount;
    if (c.pStripCounts == nullptr || c.pFaceRuns == nullptr || c.pWindow == nullptr || c.pHwVertices == nullptr ||
        cVertices > N_BATCH_POINTS)
        return false;
    ULONG strip = 0;
    std::uint64_t first = 0, records = 0;
    auto stripFits = [&] { return strip >= cStrips || first + c.pStripCounts[strip] <= cVertices; };
    if (!stripFits()) return false;
    ULONG facesLeft = _NStripFaces(c.pStripCounts[0]);
    for (ULONG i = 0; i < N_FACE_RUN_WORDS; ++i) {
        const ULONG count = _NRunFaces(c.pFaceRuns[i]);
        if (count == 0) return true;
        if (strip >= cStrips || count > facesLeft) return false;
        records += count + 2;
        if (records > N_COLOUR_ENTRIES) return false;
        facesLeft -= count;
        if (facesLeft == 0) {
            first += c.pStripCounts[strip++];
            if (!stripFits()) return false;
            facesLeft = strip < cStrips ? _NStripFaces(c.pStripCounts[strip]) : 0;
        }
    }
    return false;
}

ULONG _NHwReserveHeadBytes(const kzRenderProg* prog, ULONG nExtra) {
    return 4 * (std::min<ULONG>(prog->image.w[KZ_IMG_WORDS], KZ_IMG_WORDS) + nExtra);
}

ULONG _NHwPiecePrims(N_HwRecord* phw, ULONG cbHead, ULONG cbPrim, ULONG n) {
    const ULONG limit = _NQueueRoomLimit(phw);
    if (limit == 0 || cbPrim == 0) return n;
    const ULONG fit = limit > cbHead ? (limit - cbHead) / cbPrim : 0;
    return std::min(n, std::max<ULONG>(fit, 1));
}

ULONG* _NHwReserve(N_HwFrame& f, const kzRenderProg* prog, ULONG cbRoom, ULONG nPrims, const ULONG* extras,
                   ULONG nExtra) {
    N_HwRecord* phw = f.phw;
    const kzProgPacket* pImage = &prog->image;
    // The head may be written into new packets: room for it too.
    cbRoom += _NHwReserveHeadBytes(prog, nExtra);
    ULONG bForce = _NBatchForce(&phw->batchCount, nPrims);
    if (nExtra == 0) {
        return _NNextQAddrFlushMC(phw, pImage, cbRoom, phw, const_cast<kzProgPacket*>(pImage), &phw->batchCount,
                                  bForce, _NCopyPktHeader);
    }
    // A packet that carries another colour must not take these primitives.
    if (!_NHwPacketCarries(phw, pImage, extras, nExtra)) bForce = 1;
    N_HwImagePair pair{phw, pImage};
    ULONG words[2] = {extras[0], nExtra > 1 ? extras[1] : 0};
    ULONG count = nExtra;
    return _NNextQAddrFlushMC(phw, pImage, cbRoom, &pair, words, &count, bForce, _NCopyPktHeaderExtra);
}

kzRenderProg* _NHwPipeProgram(N_Context* pctx, N_Pipe* pipe) {
    return pkzProgOf(pctx->pHw->programs[pipe->pBack == pipe ? 1 : 0]);
}

ULONG _NHwSoftwareSlot(const N_Pipe* pipe) { return pipe->pBack == pipe ? 1 : 2; }

kzRenderProg* _NHwSoftwareProgram(N_Context* pctx, const N_Pipe* pipe) {
    return pkzProgOf(pctx->pHw->programs[_NHwSoftwareSlot(pipe)]);
}

bool _NHwAtSamplePoints(const double (&x)[3], const double (&y)[3], const LONG (&X)[3], const LONG (&Y)[3],
                        double half, double (*f)[3], const double* slack, ULONG n) {
    const double det = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    if (det == 0.0 || !std::isfinite(det)) return false;
    constexpr ULONG kMax = 4;
    if (n > kMax) return false;
    double out[kMax][3];
    for (ULONG k = 0; k < n; ++k) {
        const double* v = f[k];
        if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) return false;
        const double dx = ((v[1] - v[0]) * (y[2] - y[0]) - (v[2] - v[0]) * (y[1] - y[0])) / det;
        const double dy = ((v[2] - v[0]) * (x[1] - x[0]) - (v[1] - v[0]) * (x[2] - x[0])) / det;
        const double span = std::max({v[0], v[1], v[2]}) - std::min({v[0], v[1], v[2]}) + slack[k];
        for (ULONG i = 0; i < 3; ++i) {
            out[k][i] = v[0] + dx * (X[i] + half - x[0]) + dy * (Y[i] + half - y[0]);
            if (!(std::fabs(out[k][i] - v[i]) <= span)) return false;
        }
    }
    for (ULONG k = 0; k < n; ++k) std::copy(out[k], out[k] + 3, f[k]);
    return true;
}

bool _NHwExactPosition(const float* clip, const LONG* win, double* px, double* py) {
    const double w = clip[3];
    if (w == 0.0 || !std::isfinite(w)) return false;
    *px = clip[0] / w, *py = clip[1] / w;
    return std::fabs(*px - win[0]) < 1.001 && std::fabs(*py - win[1]) < 1.001;
}
