// Subdivision of textured triangles (kztritex.h): an edge longer on the
// screen than its limit is cut at its midpoint, the limit shrinking as q
// changes more along the edge. A triangle and a quadrilateral subdivider
// call each other; the renderer of each pair calls only its own pair.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "kztritex.h"
#include "../../seams.h"

namespace {

// The deepest nesting on the two-program path, which cuts edges for the
// level choice as well. There every cut is decided by the edge alone (its
// length and q-measure, the level choice along it), never by the depth, so
// that two pieces sharing an edge cut it alike; each cut halves an edge
// longer than a pixel, which ends the cutting first on any screen, and
// this cap ends it whatever the coordinates.
constexpr LONG kTwoProgramDepthCap = 24;

LONG lHalfSum(LONG a, LONG b) { return static_cast<LONG>((std::int64_t{a} + b) >> 1); }

// The edge's limit by its q-measure, compared by bit pattern: a measure
// with its sign bit set counts as below 0.07.
LONG lLimit(float measure, bool bPrecise) {
    const std::int32_t bits = std::bit_cast<std::int32_t>(measure);
    const LONG limit = bits < 0x3D8F5C29 ? 60 : bits < 0x3E19999A ? 30 : 8;
    return bPrecise ? 16 * limit : limit;
}

struct Saved {
    LONG len;
    float measure;
};

template <bool kOpt>
struct Pair {
    static bool bPrecise(N_Context* pctx) {
        if constexpr (kOpt) {
            return false;
        } else {
            GLSRVDEVICE* pDevice = pctx->pHw != nullptr ? pctx->pHw->pDevice : nullptr;
            return pDevice != nullptr && _NModelImprecision(pDevice) != 0;
        }
    }

    // Emits (e0, e1, e2). On the two-program path the piece takes the
    // choice (program, levels, blend fraction) at its centre.
    static void Emit(N_Context* pctx, const TriTexVertex* e0, const TriTexVertex* e1, const TriTexVertex* e2) {
        if constexpr (kOpt) {
            gpfnNTriTexEmitOpt(pctx, e0, e1, e2);
        } else {
            float lambda = 0.0f, frac = 0.0f;
            int level = 0, level2 = 0;
            if (pctx->pHw->singlePass == 0) {
                _NTriTexPerspSetup(e0, e1, e2);
                level = _NTriTexVertexLod(pctx, &lambda, &level2, &frac, N_TRITEX_CENTRE);
            }
            gpfnNTriTexEmit(pctx, e0, e1, e2, lambda, level, level2, frac);
        }
    }
    // The two-program path (the level step runs).
    static bool bTwoPrograms(N_Context* pctx) {
        if constexpr (kOpt) return false;
        else return pctx->pHw->singlePass == 0;
    }
    // Whether the edge from a (its edge words) to b is cut: longer than
    // its limit, or, on the two-program path, longer than a pixel with a
    // level choice that changes along it.
    static bool bCut(N_Context* pctx, const TriTexVertex* a, const TriTexVertex* b, bool bPrec) {
        if (a->edgeLen > lLimit(a->qMeasure, bPrec)) return true;
        return bTwoPrograms(pctx) && a->edgeLen > (bPrec ? 16 : 1) && _NTriTexEdgeNeedsCut(pctx, a, b);
    }
    // Two triangles drawn whole at the depth limit.
    static void Emit2(N_Context* pctx, const TriTexVertex* a0, const TriTexVertex* a1, const TriTexVertex* a2,
                      const TriTexVertex* b0, const TriTexVertex* b1, const TriTexVertex* b2) {
        Emit(pctx, a0, a1, a2);
        Emit(pctx, b0, b1, b2);
    }

    static void TriOf(N_Context* pctx, TriTexVertex* a, TriTexVertex* b, TriTexVertex* c, LONG depth) {
        _NTriTexEdge(a, b);
        _NTriTexEdge(b, c);
        _NTriTexEdge(c, a);
        Tri(pctx, a, b, c, depth);
    }
    static void QuadOf(N_Context* pctx, TriTexVertex* a, TriTexVertex* b, TriTexVertex* c, TriTexVertex* d,
                       LONG depth) {
        _NTriTexEdge(a, b);
        _NTriTexEdge(b, c);
        _NTriTexEdge(c, d);
        _NTriTexEdge(d, a);
        Quad(pctx, a, b, c, d, depth);
    }

    static void Tri(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, LONG depth) {
        const LONG d = depth + 1;
        const bool bPrec = bPrecise(pctx);
        TriTexVertex P, Q, R;
        ULONG bits = 0;
        if (bCut(pctx, A, B, bPrec)) bits |= 1, _NTriTexMidpoint(A, B, &P);
        if (bCut(pctx, B, C, bPrec)) bits |= 2, _NTriTexMidpoint(B, C, &Q);
        if (bCut(pctx, C, A, bPrec)) bits |= 4, _NTriTexMidpoint(C, A, &R);
        if (bits == 0) return Emit(pctx, A, B, C);
        const Saved sa{A->edgeLen, A->qMeasure}, sb{B->edgeLen, B->qMeasure}, sc{C->edgeLen, C->qMeasure};
        // The three-edge split has no depth test of its own: past the hard
        // cap the triangle is drawn whole. The two-program path has no
        // depth limit, only its own cap.
        const bool bTwo = bTwoPrograms(pctx);
        if (bits == 7 && d >= (bTwo ? kTwoProgramDepthCap : N_TRITEX_DEPTH_CAP)) return Emit(pctx, A, B, C);
        if (bits != 7 && d >= (bTwo ? kTwoProgramDepthCap : 10)) {
            switch (bits) {
            case 3: Emit(pctx, A, B, C); break;
            case 5: Emit(pctx, C, A, B); break;
            default: Emit(pctx, B, C, A); break;
            }
            return;  // nothing was changed
        }
        switch (bits) {
        case 1: TriOf(pctx, A, &P, C, d); TriOf(pctx, &P, B, C, d); break;
        case 2: TriOf(pctx, B, &Q, A, d); TriOf(pctx, &Q, C, A, d); break;
        case 3: TriOf(pctx, &P, B, &Q, d); QuadOf(pctx, A, &P, &Q, C, d); break;
        case 4: TriOf(pctx, C, &R, B, d); TriOf(pctx, &R, A, B, d); break;
        case 5: TriOf(pctx, &R, A, &P, d); QuadOf(pctx, C, &R, &P, B, d); break;
        case 6: TriOf(pctx, &Q, C, &R, d); QuadOf(pctx, B, &Q, &R, A, d); break;
        default:
            TriOf(pctx, A, &P, &R, d);
            TriOf(pctx, &R, &P, &Q, d);
            TriOf(pctx, &P, B, &Q, d);
            TriOf(pctx, C, &R, &Q, d);
            break;
        }
        A->edgeLen = sa.len, A->qMeasure = sa.measure;
        B->edgeLen = sb.len, B->qMeasure = sb.measure;
        C->edgeLen = sc.len, C->qMeasure = sc.measure;
    }

    // The quadrilateral as two triangles along the diagonal A-C (one when C
    // and D coincide).
    static void QuadWhole(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, TriTexVertex* D,
                          LONG d) {
        TriOf(pctx, A, B, C, d);
        if (C->x != D->x || C->y != D->y) TriOf(pctx, A, C, D, d);
    }

    static void Quad(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, TriTexVertex* D,
                     LONG depth) {
        const LONG d = depth + 1;
        const bool bPrec = bPrecise(pctx);
        TriTexVertex* V[4] = {A, B, C, D};
        const Saved saved[4] = {{A->edgeLen, A->qMeasure}, {B->edgeLen, B->qMeasure}, {C->edgeLen, C->qMeasure},
                                {D->edgeLen, D->qMeasure}};
        TriTexVertex M[4];  // P, Q, R, S
        ULONG bits = 0;
        for (ULONG i = 0; i < 4; ++i) {
            if (bCut(pctx, V[i], V[(i + 1) & 3], bPrec)) {
                bits |= 1u << i;
                _NTriTexMidpoint(V[i], V[(i + 1) & 3], &M[i]);
            }
        }
        TriTexVertex *P = &M[0], *Q = &M[1], *R = &M[2], *S = &M[3];
        const bool bTwo = bTwoPrograms(pctx);
        if (bits != 0 && d >= (bTwo ? kTwoProgramDepthCap : N_TRITEX_DEPTH_CAP)) {
            // Past the hard cap: drawn whole, the diagonal left as it is.
            Emit(pctx, A, B, C);
            if (C->x != D->x || C->y != D->y) Emit(pctx, A, C, D);
            return;
        }
        switch (bits) {
        case 0: QuadWhole(pctx, A, B, C, D, d); break;
        case 1: TriOf(pctx, P, B, C, d); QuadOf(pctx, A, P, C, D, d); break;
        case 2: TriOf(pctx, Q, C, D, d); QuadOf(pctx, B, Q, D, A, d); break;
        case 4: TriOf(pctx, R, D, A, d); QuadOf(pctx, C, R, A, B, d); break;
        case 8: TriOf(pctx, S, A, B, d); QuadOf(pctx, D, S, B, C, d); break;
        case 3: case 6: case 12: case 9: {
            // Two adjacent edges i, i+1.
            const ULONG i = bits == 3 ? 0 : bits == 6 ? 1 : bits == 12 ? 2 : 3;
            TriTexVertex *Vi = V[i], *V1 = V[(i + 1) & 3], *V2 = V[(i + 2) & 3], *V3 = V[(i + 3) & 3];
            TriTexVertex *M1 = &M[i], *M2 = &M[(i + 1) & 3];
            if (d >= 10 && !bTwo) {
                Emit2(pctx, Vi, V2, V3, Vi, V1, V2);
                return;  // nothing was changed
            }
            TriOf(pctx, M1, V1, M2, d);
            TriOf(pctx, Vi, M1, M2, d);
            QuadOf(pctx, Vi, M2, V2, V3, d);
            break;
        }
        case 5: case 7: QuadOf(pctx, P, B, C, R, d); QuadOf(pctx, A, P, R, D, d); break;
        case 10: case 14: QuadOf(pctx, Q, C, D, S, d); QuadOf(pctx, B, Q, S, A, d); break;
        case 13: QuadOf(pctx, R, D, A, P, d); QuadOf(pctx, C, R, P, B, d); break;
        case 11: QuadOf(pctx, S, A, B, Q, d); QuadOf(pctx, D, S, Q, C, d); break;
        default:
            TriOf(pctx, B, Q, P, d);
            TriOf(pctx, Q, C, R, d);
            TriOf(pctx, R, D, S, d);
            TriOf(pctx, S, A, P, d);
            QuadOf(pctx, P, Q, R, S, d);
            break;
        }
        for (ULONG i = 0; i < 4; ++i) V[i]->edgeLen = saved[i].len, V[i]->qMeasure = saved[i].measure;
    }
};

}  // namespace

void _NTriTexEdge(TriTexVertex* a, const TriTexVertex* b) {
    const std::int64_t dx = std::llabs(std::int64_t{b->x} - a->x), dy = std::llabs(std::int64_t{b->y} - a->y);
    a->edgeLen = static_cast<LONG>(std::min<std::int64_t>(std::max(dx, dy), 0x7FFFFFFF));
    const float d = a->q - b->q;
    a->qMeasure = d > 0.0f ? d * a->rq : -(d * b->rq);
}

void _NTriTexMidpoint(const TriTexVertex* a, const TriTexVertex* b, TriTexVertex* m) {
    m->x = lHalfSum(a->x, b->x);
    m->y = lHalfSum(a->y, b->y);
    m->z = lHalfSum(a->z, b->z);
    m->colour = ((((a->colour & 0xFF7F7Fu) + (b->colour & 0xFF7F7Fu)) & 0x1FEFEFEu) + (a->colour & 0x8080u) +
                 (b->colour & 0x8080u)) >> 1;
    // Each byte the floor of the mean: the common bits plus half the others.
    m->alpha = (a->alpha & b->alpha) + (((a->alpha ^ b->alpha) & 0xFEFEFEFEu) >> 1);
    m->edgeLen = 0;
    m->qMeasure = 0.0f;
    const float r = a->rq + b->rq;
    const bool bSameSide = (a->rq > 0.0f && b->rq > 0.0f) || (a->rq < 0.0f && b->rq < 0.0f);
    const float inv = 1.0f / r;
    if (bSameSide && std::isfinite(inv)) {
        m->s16 = (a->s16 * a->rq + b->s16 * b->rq) * inv;
        m->t16 = (a->t16 * a->rq + b->t16 * b->rq) * inv;
        m->q = inv * 2.0f;
        m->rq = r * 0.5f;
    } else {
        // No perspective weight to interpolate by: the screen-space mean.
        m->s16 = 0.5f * a->s16 + 0.5f * b->s16;
        m->t16 = 0.5f * a->t16 + 0.5f * b->t16;
        m->q = 0.5f * a->q + 0.5f * b->q;
        m->rq = _NTriTexRecipQ(m->q);
    }
}

void _NTriTexSubdivTri(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, LONG depth) {
    Pair<false>::Tri(pctx, A, B, C, depth);
}
void _NTriTexSubdivQuad(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, TriTexVertex* D,
                        LONG depth) {
    Pair<false>::Quad(pctx, A, B, C, D, depth);
}
void _NTriTexSubdivTriOpt(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, LONG depth) {
    Pair<true>::Tri(pctx, A, B, C, depth);
}
void _NTriTexSubdivQuadOpt(N_Context* pctx, TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, TriTexVertex* D,
                           LONG depth) {
    Pair<true>::Quad(pctx, A, B, C, D, depth);
}
