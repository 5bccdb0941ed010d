// The facing tests that cut a batch's strips into face runs, and the strip
// runner that hands each strip to its primitive path.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "renderfcn.h"
#include "vstage.h"
#include "../seams.h"

// --- facing ---------------------------------------------------------------------------------------
namespace {

// The signed area of a face: integer window coordinates, or with some
// vertex outside the clip volume the homogeneous form (its sign does not
// depend on the division by w).
double dArea(const CommonPipeData& c, ULONG a, ULONG b, ULONG d, bool bClip) {
    if (bClip) {
        const float* p0 = c.pClipPos + 4 * std::size_t{a};
        const float* p1 = c.pClipPos + 4 * std::size_t{b};
        const float* p2 = c.pClipPos + 4 * std::size_t{d};
        const double det = double{p0[0]} * (double{p1[1]} * p2[3] - double{p2[1]} * p1[3]) -
                           double{p1[0]} * (double{p0[1]} * p2[3] - double{p2[1]} * p0[3]) +
                           double{p2[0]} * (double{p0[1]} * p1[3] - double{p1[1]} * p0[3]);
        const double w = double{p0[3]} * p1[3] * p2[3];
        return w < 0 ? -det : det;
    }
    const LONG* w0 = c.pWindow + 3 * std::size_t{a};
    const LONG* w1 = c.pWindow + 3 * std::size_t{b};
    const LONG* w2 = c.pWindow + 3 * std::size_t{d};
    return double(std::int64_t{w1[0]} - w0[0]) * double(std::int64_t{w2[1]} - w0[1]) +
           double(std::int64_t{w1[1]} - w0[1]) * double(std::int64_t{w0[0]} - w2[0]);
}

struct RunWriter {
    ULONG* p;
    ULONG i = 0, code = 0, count = 0;
    void Add(ULONG k) {
        if (count != 0 && k != code) Flush();
        code = k;
        ++count;
    }
    void Flush() {
        if (count != 0 && i + 1 < N_FACE_RUN_WORDS) p[i++] = N_FACE_RUN(code, count);
        count = 0;
    }
    void End() {
        Flush();
        p[i] = 0;
    }
};

// Runs `drop` faces (front or back) as skipped ones.
void vSkipRuns(ULONG* runs, ULONG cRuns, ULONG drop) {
    for (ULONG i = 0; i < cRuns; ++i)
        if ((runs[i] & 0xFFFFu) == drop) runs[i] = N_FACE_RUN(N_RUN_SKIP, runs[i] >> 16);
}

// Hands the classified faces on. Front and back faces in different polygon
// modes go each through its own pipe (the back pipe draws in the back
// mode): the front pipe with the back faces skipped, then the back pipe
// with the front faces skipped; otherwise the front pipe draws them all.
void vDrawFaces(N_Context* pctx, N_Pipe* pipe, ULONG cRuns) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_Pipe* back = pipe->pBack;
    auto polygonMode = [](ULONG m) { return (m & N_MODE_POLY_POINT) ? 0 : (m & N_MODE_POLY_LINE) ? 1 : 2; };
    const bool bSplit = back != nullptr && back != pipe && cRuns < N_FACE_RUN_WORDS &&
                        polygonMode(pipe->mode) != polygonMode(back->mode);
    if (!bSplit) {
        pipe->next[N_STAGE_FACING](pctx, pipe);
        return;
    }
    ULONG* runs = c.pFaceRuns;
    static ULONG saved[N_FACE_RUN_WORDS];  // no allocation while drawing
    std::copy(runs, runs + cRuns + 1, saved);
    // The two pipes draw under different programs: a packet one left open
    // is never continued by the other (a full batch word opens new ones).
    auto closeBatch = [pctx] {
        if (pctx->pHw != nullptr) pctx->pHw->batchCount = N_BATCH_PRIMS;
    };
    vSkipRuns(runs, cRuns, N_RUN_SECOND);
    pipe->next[N_STAGE_FACING](pctx, pipe);
    closeBatch();
    std::copy(saved, saved + cRuns + 1, runs);
    vSkipRuns(runs, cRuns, N_RUN_FIRST);
    back->next[N_STAGE_FACING](pctx, back);
    closeBatch();
    std::copy(saved, saved + cRuns + 1, runs);
}

// Faces of every strip classified into runs: 1 front, 2 back, 4 skipped.
void vCull(N_Context* pctx, N_Pipe* pipe, ULONG kind, ULONG step) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const bool bClipping = c.orOutcode != 0;
    const float* W = pctx->xf.window;
    // Window y may run the other way from GL's; the window transform's
    // sign says so.
    const bool bFlip = (W[0] * W[5]) < 0.0f;
    const bool bCw = pctx->val.windingCw != 0;
    const bool bCullFront = pctx->val.cullFront != 0, bCullBack = pctx->val.cullBack != 0;
    RunWriter runs{c.pFaceRuns};
    ULONG base = 0;
    const ULONG cStrips = std::max<ULONG>(c.stripCount, 1);
    for (ULONG s = 0; s < cStrips; ++s) {
        const ULONG len = c.pStripCounts != nullptr ? c.pStripCounts[s] : c.stripVertexCount;
        if (base + len > c.stripVertexCount) break;
        ULONG faces = 0;
        if (step == 1) faces = len > 2 ? len - 2 : 0;
        else if (step == 2) faces = len >= 4 ? (len - 2) / 2 : 0;
        else faces = len / step;
        bool bSwap = s == 0 && (pctx->stripParity & 1) != 0;
        for (ULONG f = 0; f < faces; ++f) {
            ULONG v0, v1, v2;
            if (kind == N_PRIM_POLYGON || kind == N_PRIM_FAN) v0 = 0, v1 = f + 1, v2 = f + 2;
            else if (step == 1) v0 = f, v1 = f + 1, v2 = f + 2;
            else if (step == 2) v0 = 2 * f, v1 = 2 * f + 1, v2 = 2 * f + 3;
            else v0 = step * f, v1 = step * f + 1, v2 = step * f + 2;
            v0 += base, v1 += base, v2 += base;
            // A quad lies wholly outside a plane only when its fourth vertex
            // does too (2f + 2 of a quad strip's face, 4f + 3 of a quad's).
            ULONG o3 = ~0u;
            if (step == 2) o3 = c.pOutcodes[v2 - 1];
            else if (step == 4) o3 = c.pOutcodes[v2 + 1];
            const ULONG o0 = c.pOutcodes[v0], o1 = c.pOutcodes[v1], o2 = c.pOutcodes[v2];
            ULONG code;
            if (bClipping && (o0 & o1 & o2 & o3) != 0) {
                code = N_RUN_SKIP;
            } else {
                double a = dArea(c, v0, v1, v2, bClipping && (o0 | o1 | o2) != 0);
                if (kind == N_PRIM_TRI_STRIP && (f & 1)) a = -a;
                if (bSwap) a = -a;
                if (a != a) {
                    code = N_RUN_SKIP;  // NaN coordinates
                } else if (a == 0.0) {
                    code = !bClipping ? N_RUN_SKIP : (!bCullFront ? N_RUN_FIRST : N_RUN_SECOND);
                } else {
                    const bool bCcw = (a > 0.0) != bFlip;
                    const bool bFront = bCcw != bCw;
                    code = bFront ? N_RUN_FIRST : N_RUN_SECOND;
                }
                if ((code == N_RUN_FIRST && bCullFront) || (code == N_RUN_SECOND && bCullBack)) code = N_RUN_SKIP;
            }
            runs.Add(code);
        }
        runs.Flush();
        base += len;
    }
    runs.End();
    if (!(pctx->anyClipPlane && pctx->aulOnes[0] == 1)) pctx->stripParity = 0;
    vDrawFaces(pctx, pipe, runs.i);
}

}  // namespace

void _NvpFaceCullCompoundPrim(N_Context* pctx, N_Pipe* pipe) {
    const ULONG kind = pipe->pCommonPipeData->code;
    ULONG step;
    switch (kind) {
        case N_PRIM_POLYGON: case N_PRIM_FAN: case N_PRIM_TRI_STRIP: step = 1; break;
        case N_PRIM_TRIANGLES: step = 3; break;
        case N_PRIM_QUAD_STRIP: step = 2; break;
        default:
            DbgPrint("%s: UNSUPPORTED OPCODE\n", "_NvpFaceCullCompoundPrim");
            return;
    }
    vCull(pctx, pipe, kind, step);
}

void _NvpFaceCullQuad(N_Context* pctx, N_Pipe* pipe) { vCull(pctx, pipe, N_PRIM_QUADS, 4); }

// --- strips ---------------------------------------------------------------------------------------
namespace {
ULONG gaStripRuns[N_FACE_RUN_WORDS];
}

void _NBreakUpListOfStrips(N_Context* pctx, N_Pipe* pipe, N_StageFn pfn) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    if (c.stripCount <= 1) {
        pfn(pctx, pipe);
        return;
    }
    const CommonPipeData saved = c;
    const ULONG* pRuns = saved.pFaceRuns;
    ULONG run = 0, runLeft = pRuns[0] >> 16;
    ULONG done = 0;
    c.stripCount = 1;
    for (ULONG s = 0; s < saved.stripCount; ++s) {
        const ULONG len = saved.pStripCounts[s];
        if (done + len > saved.stripVertexCount) break;
        c.stripVertexCount = len;
        c.pStripCounts = &c.stripVertexCount;
        c.pFaceRuns = gaStripRuns;
        ULONG cOut = 0;
        if (c.code < N_PRIM_POLYGON) {
            gaStripRuns[cOut++] = N_FACE_RUN(N_RUN_SECOND, len);
        } else {
            // The runs that cover this strip's faces.
            ULONG faces = 0;
            if (c.nextVertex == 1) faces = len > 2 ? len - 2 : 0;
            else if (c.nextVertex == 2) faces = len >= 4 ? (len - 2) / 2 : 0;
            else if (c.nextVertex != 0) faces = len / c.nextVertex;
            while (faces > 0 && runLeft > 0 && cOut + 1 < N_FACE_RUN_WORDS) {
                const ULONG take = std::min(faces, runLeft);
                gaStripRuns[cOut++] = N_FACE_RUN(pRuns[run] & 0xFFFFu, take);
                faces -= take;
                runLeft -= take;
                if (runLeft == 0 && run + 1 < N_FACE_RUN_WORDS) runLeft = pRuns[++run] >> 16;
            }
            if (faces > 0) DbgPrint("_NBreakUpListOfStrips: bogus nVerts (%d)???\n", -static_cast<int>(faces));
        }
        gaStripRuns[cOut] = 0;
        pfn(pctx, pipe);
        c.pWindow += 3 * std::size_t{len};
        c.pClipPos += 4 * std::size_t{len};
        c.pEyePos += 4 * std::size_t{len};
        c.pOutcodes += len;
        c.pColours += 4 * std::size_t{len};
        c.pTexWork += 4 * std::size_t{len};
        c.pEdgeWords += len;
        pctx->stripParity = 0;
        done += len;
    }
    c = saved;
}

void _NRunStripList(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    // With user clip planes in force (the alternative vertex path keeps eye
    // positions for them) the record's clipping path runs instead.
    const bool bUser = pctx->altVertexPath && pctx->anyClipPlane;
    N_StageFn pfnPath = c.pDispatch == nullptr ? nullptr : bUser ? c.pDispatch->pfnClipPath : c.pDispatch->pfnPrimPath;
    if (pfnPath == nullptr) return;
    _NBreakUpListOfStrips(pctx, pipe, pfnPath);
}
