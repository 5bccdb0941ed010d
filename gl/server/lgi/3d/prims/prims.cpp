// The facing tests that cut a batch's strips into face runs, and the strip
// runner that hands each strip to its primitive path.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "3d/queue/renderfcn.h"
#include "3d/pipes/vstage.h"
#include "../../seams.h"

// --- facing ---------------------------------------------------------------------------------------
namespace {

// Twice the signed area of a face (its n vertices in the polygon's own
// order): the window coordinates' area, or, with some vertex outside the
// clip volume, its homogeneous form: the sum of the determinants of (x, y,
// w) over the face's fan. Only the part of a face with w > 0 is drawn, and
// the clipped piece has the determinants' orientation, whatever the signs
// of the w of the vertices left behind the eye.
double dArea(const CommonPipeData& c, const ULONG* v, ULONG n, bool bClip) {
    if (bClip) {
        const float* p0 = c.pClipPos + 4 * std::size_t{v[0]};
        double sum = 0;
        for (ULONG k = 1; k + 1 < n; ++k) {
            const float* p1 = c.pClipPos + 4 * std::size_t{v[k]};
            const float* p2 = c.pClipPos + 4 * std::size_t{v[k + 1]};
            sum += double{p0[0]} * (double{p1[1]} * p2[3] - double{p2[1]} * p1[3]) -
                   double{p1[0]} * (double{p0[1]} * p2[3] - double{p2[1]} * p0[3]) +
                   double{p2[0]} * (double{p0[1]} * p1[3] - double{p1[1]} * p0[3]);
        }
        return sum;
    }
    // Triangles: (p1 - p0) x (p2 - p0); quads: (p2 - p0) x (p3 - p1), the
    // cross product of the diagonals.
    const LONG* p[4] = {};
    for (ULONG k = 0; k < n; ++k) p[k] = c.pWindow + 3 * std::size_t{v[k]};
    const bool bQuad = n == 4;
    const LONG* a0 = p[0];
    const LONG* a1 = bQuad ? p[2] : p[1];
    const LONG* b0 = bQuad ? p[1] : p[0];
    const LONG* b1 = bQuad ? p[3] : p[2];
    const double ax = double(std::int64_t{a1[0]} - a0[0]), ay = double(std::int64_t{a1[1]} - a0[1]);
    const double bx = double(std::int64_t{b1[0]} - b0[0]), by = double(std::int64_t{b1[1]} - b0[1]);
    return ax * by - ay * bx;
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
void vCull(N_Context* pctx, N_Pipe* pipe, ULONG kind) {
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
        const ULONG faces = _NFaceCount(kind, len);
        const bool bSwap = s == 0 && (pctx->stripParity & 1) != 0;
        for (ULONG f = 0; f < faces; ++f) {
            ULONG v[4];
            const ULONG cv = _NFaceVertices(kind, f, v);
            ULONG andOut = ~0u, orOut = 0;
            for (ULONG k = 0; k < cv; ++k) {
                v[k] += base;
                andOut &= c.pOutcodes[v[k]];
                orOut |= c.pOutcodes[v[k]];
            }
            // A face lies wholly outside a plane only when all its vertices
            // do; its facing is that of its whole area (a quad's first three
            // vertices may lie on one line, or outside, while it is drawn).
            ULONG code;
            if (bClipping && andOut != 0) {
                code = N_RUN_SKIP;
            } else {
                double a = dArea(c, v, cv, bClipping && orOut != 0);
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
    switch (kind) {
        case N_PRIM_POLYGON: case N_PRIM_FAN: case N_PRIM_TRI_STRIP: case N_PRIM_TRIANGLES: case N_PRIM_QUAD_STRIP:
            break;
        default:
            DbgPrint("%s: UNSUPPORTED OPCODE\n", "_NvpFaceCullCompoundPrim");
            return;
    }
    vCull(pctx, pipe, kind);
}

void _NvpFaceCullQuad(N_Context* pctx, N_Pipe* pipe) { vCull(pctx, pipe, N_PRIM_QUADS); }

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
            ULONG faces = _NFaceCount(c.code, len);
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
