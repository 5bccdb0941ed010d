// Textured polygon renderers, their packet emitter and the per-triangle
// mip-level choice (kztritex.h).
#include "kztritex.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "3d/queue/queue.h"
#include "3d/textures/texcache.h"
#include "3d/validate/validate.h"
#include "lgigl.h"
#include "glpdev.h"
#include "kz2/ucode/kzprog.h"
#include "shared/frame/hwframe.h"
#include "../../seams.h"

TriTexPlanes gNTriTexPlanes;
N_TriTexEmitFn gpfnNTriTexEmit = _NEmitTriTexPrim;
N_TriTexEmitOptFn gpfnNTriTexEmitOpt = _NEmitTriTexPrimOpt;

namespace {

constexpr ULONG kRoomMax = 127;  // triangles a reservation
constexpr float kRecipQZero = 10000.0f;

// The words a layout code gives a textured triangle.
struct TexLayout {
    ULONG words = 9;   // colour, six texture, depth and position words
    ULONG extra = 0;   // the colour word in the packet head
    bool perVertex = false, perTriangle = false, none = false, depth = false, alpha = false;
};

// A textured triangle of a layout with a colour word: its colour words (a
// vertex's, the face's or none, the packet head holding it), six texture
// words, the depth words and the positions. Of the alpha layouts only 13
// (colour, alpha and depth a vertex) sends alpha words, in place of the
// colour words while texture alpha is on; the others send the colour alone.
bool bTexLayoutOf(ULONG d, TexLayout* out) {
    TexLayout l;
    const kzLayout m = kzLayoutOf(d);
    if (!m.colour) {
        *out = l;
        return false;
    }
    l.perVertex = m.form == KZ_CF_VERTEX;
    l.perTriangle = m.form == KZ_CF_PRIM;
    l.none = m.form == KZ_CF_PACKET;
    l.depth = m.depth;
    l.alpha = m.alphaIn(KZ_CF_VERTEX) && m.depth;
    l.extra = l.none ? 1 : 0;
    l.words = (l.perVertex ? 3 : l.perTriangle ? 1 : 0) + 6 + (l.depth ? 3 : 0) + 3;
    *out = l;
    return true;
}

// What one renderer shares with its subdivider and emitter for one call.
struct TriTexBatch {
    N_HwFrame f;
    N_HwRecord* phw = nullptr;
    kzRenderProg* progMain = nullptr;
    kzRenderProg* progMag = nullptr;
    kzRenderProg* prog = nullptr;  // the program whose image is in use
    TexLayout l;
    LONG orientation = 1;
    const ULONG* pColour = nullptr;  // the colour record of the current corner C
    float texelS = 1.0f, texelT = 1.0f;
    ULONG inBatch = 0, room = 0;
    ULONG* p = nullptr;
    int lastLevel = -1, lastLevel2 = -1;
    ULONG lastWeight = 0;    // the second level's weight byte of the open batch
    int drawLevel = 0;       // the level whose texel size the words take (on the mip path)
    LONG halfTexelAdjust = 0;  // sixteenths added to the two-level linear filter's words
    bool bOneProgram = true, bMip = false, bTwoLevel = false;
    float crossover = 0.0f;
    // How the renderer placed the coordinates (sixteenths of a level-0
    // texel: the whole texture's size, the offset it added) and which
    // programs filter between neighbours (their words half a texel lower).
    LONG size16S = 16, size16T = 16;
    float placedOffS = 0.0f, placedOffT = 0.0f;
    bool neighboursMin = false, neighboursMag = false, linearTwoLevel = false;
};
TriTexBatch gBatch, gBatchOpt;

float fGuardedRecip(float q) {
    const float r = 1.0f / q;
    return q == 0.0f || !std::isfinite(r) ? 0.0f : r;
}

// The batch closed so that the next reservation opens new packets.
void vCloseFull(TriTexBatch& b) {
    b.phw->batchCount = N_BATCH_PRIMS;
    _NUpdateQAddr(b.phw);
    b.inBatch = 0;
}

// The pid of a level of the bound texture on the board, found through the
// device's texture table; a level that is not there is replaced by the
// nearest finer level that is (*pLevel says which). 0 when none is.
ULONG ulLevelPid(N_Context* pctx, int* pLevel) {
    GLSRVDEVICE* pDevice = pctx->pHw->pDevice;
    PDEV* ppdev = pDevice != nullptr ? pDevice->ppdev : nullptr;
    const ULONG id = _NCurrentTexChecksum(pctx);
    for (int l = std::clamp(*pLevel, 0, static_cast<int>(N_TEX_LEVELS) - 1); l >= 0; --l) {
        ULONG pitch = 0;
        const ULONG addr = ppdev != nullptr ? _DFindTexture(ppdev, static_cast<ULONG>(l), id, &pitch) : 0;
        if (addr != 0) {
            if (l != *pLevel) DbgPrint("_NEmitTriTexPrim: level %d is not on the board, level %d drawn\n", *pLevel, l);
            *pLevel = l;
            return addr & 0xFFFFu;
        }
    }
    return 0;
}

// The weight byte of the second (coarser) level for a blend fraction.
ULONG ulWeightOf(float frac) { return static_cast<ULONG>(static_cast<LONG>(frac * 255.0f)) & 0xFFu; }

// The two level weights of a weight byte f (the second level's share f /
// 255) as the constant words the program multiplies the texels by: each
// colour lane's share of that lane's one, which is the multiply's maximum
// for the colour buffer's depth (8 bits a lane at 24 and 32 bits, 7 at 16,
// red 0xDF, green 0xFF and blue 0x7F in a 3-3-2 buffer's lanes), the two
// words summing to the one in every lane.
void vLevelWeights(N_Context* pctx, ULONG f, ULONG* pulSecond, ULONG* pulFirst) {
    const LONG slot = _NFirstDrawSlot(pctx);
    const GLBuffer* pb = slot >= 0 ? pctx->buffers[slot].pBuffer : nullptr;
    const ULONG bpp = pb != nullptr ? pb->bitsPerPixel : 32;
    const ULONG one = bpp >= 24 ? 0xFFFFFFu : bpp == 16 ? 0x7F7F7Fu : 0xDFFF7Fu;
    *pulSecond = *pulFirst = 0;
    for (ULONG shift : {0u, 8u, 16u}) {
        const ULONG max = (one >> shift) & 0xFFu;
        const ULONG w = (f * max + 127) / 255;
        *pulSecond |= w << shift;
        *pulFirst |= (max - w) << shift;
    }
}

// The packet word of a coordinate c16 that the renderer placed for level 0
// (size16 sixteenths the whole texture, placedOff added), for a program
// drawing level `level` that filters between neighbours or takes the
// nearest texel: scaled to the level's texel and offset as GL addresses
// that level, the neighbour filters half of its texel lower (one repeat of
// the level up, so the word stays positive), plus `adjust` sixteenths. (A
// side that has shrunk to one texel repeats that texel along the board's
// tile, whatever the word.)
LONG lLevelWord(float c16, LONG size16, float placedOff, int level, bool bNeighbours, LONG adjust) {
    const LONG off = bNeighbours ? (size16 >> level) - 8 + adjust : 0;
    if (level == 0 && static_cast<float>(off) == placedOff) return _NRoundToInt(c16);
    const double v = (static_cast<double>(c16) - placedOff) / static_cast<double>(LONG{1} << level) + off;
    return _NRoundToInt(static_cast<float>(v));
}

void vPutPid(kzProgPacket& img, ULONG k, ULONG pid) {
    ULONG& w = img.w[KZ_IMG_BODY + k / 2];
    w = (k & 1) ? (w & 0xFFFFu) | (pid << 16) : (w & 0xFFFF0000u) | (pid & 0xFFFFu);
}

// Opens a batch: patches the level pids and weights on the mip path and
// reserves room for a batch of triangles. False when nothing can be drawn.
bool bReserve(N_Context* pctx, TriTexBatch& b, bool bMip, int level, int level2, float frac) {
    N_HwRecord* phw = b.phw;
    kzProgPacket& img = b.prog->image;
    const ULONG batch = phw->batchCount;
    ULONG room = batch < kRoomMax ? kRoomMax - batch : kRoomMax;
    if (bMip) {
        int l = level;
        const ULONG pid = ulLevelPid(pctx, &l);
        if (pid == 0) {
            DbgPrint("_NEmitTriTexPrim: no level of the texture is on the board\n");
            return false;
        }
        b.drawLevel = l;
        b.halfTexelAdjust = 0;
        const ULONG k = pctx->texPidIndex;
        if (k / 2 + KZ_IMG_BODY <= KZ_IMG_LAST_BODY) vPutPid(img, k, pid);
        if (b.bTwoLevel) {
            int l2 = std::max(level2, l);
            ULONG pid2 = ulLevelPid(pctx, &l2);
            if (pid2 == 0) pid2 = pid, l2 = l;
            b.drawLevel = l2;
            if ((k + 1) / 2 + KZ_IMG_BODY <= KZ_IMG_LAST_BODY) vPutPid(img, k + 1, pid2);
            // The program reads the second level at the words and the first
            // at twice them: one level drawn (the last, or a missing one)
            // is all weight on the second.
            const ULONG f = l2 == l ? 0xFFu : ulWeightOf(frac);
            // The two-level linear filter reads the first level at twice
            // the second's words, half of the second's texel from its own
            // centre: the words are placed for the level weighing more.
            if (b.linearTwoLevel && f < 0x80u) b.halfTexelAdjust = 4;
            const ULONG at = KZ_IMG_BODY + pctx->texWeightIndex;
            if (at + 1 <= KZ_IMG_LAST_BODY) vLevelWeights(pctx, f, &img.w[at], &img.w[at + 1]);
        }
    }
    if (phw->batchCount == 0) phw->batchCount = N_BATCH_PRIMS;
    ULONG bForce = room + phw->batchCount > N_BATCH_PRIMS ? 1 : 0;
    const ULONG head = std::min<ULONG>(img.w[KZ_IMG_WORDS], KZ_IMG_WORDS);
    // Fewer triangles where these do not fit a queue ring.
    room = _NHwPiecePrims(phw, (head + b.l.extra) * 4, b.l.words * 4, room);
    const ULONG cb = (b.l.words * room + head + b.l.extra) * 4;
    ULONG words[2] = {b.l.none && b.pColour != nullptr ? b.pColour[0] : 0u, 0};
    // An open packet of another program, pid or head colour must not take
    // these triangles.
    if (!_NHwPacketCarries(phw, &img, words, b.l.extra)) bForce = 1;
    ULONG* p;
    if (b.l.extra == 0) {
        p = _NNextQAddrFlushMC(phw, &img, cb, phw, &img, &phw->batchCount, bForce, _NCopyPktHeader);
    } else {
        N_HwImagePair pair{phw, &img};
        ULONG count = 1;
        p = _NNextQAddrFlushMC(phw, &img, cb, &pair, words, &count, bForce, _NCopyPktHeaderExtra);
    }
    if (p == nullptr || !_NHwFrameQueues(&b.f)) {
        _NSoftUpdateQAddr(phw);
        return false;
    }
    b.room = room;
    b.p = p;
    return true;
}

void vEmit(N_Context* pctx, TriTexBatch& b, bool bOpt, const TriTexVertex* A, const TriTexVertex* B,
           const TriTexVertex* C, float lambda, int level, int level2, float frac) {
    if (b.phw == nullptr) return;
    const TriTexVertex* P[3] = {A, b.orientation < 1 ? C : B, b.orientation < 1 ? B : C};
    bool bMip = false;
    if (!bOpt && !b.bOneProgram) {
        if (lambda > b.crossover) {
            bMip = b.bMip;
            // A packet carries one level, or two and their weights.
            const int l2 = b.bTwoLevel ? level2 : -1;
            const ULONG weight = b.bTwoLevel ? ulWeightOf(frac) : 0u;
            if (b.inBatch != 0 && (b.prog != b.progMain ||
                                   (bMip && (level != b.lastLevel || l2 != b.lastLevel2 || weight != b.lastWeight))))
                vCloseFull(b);
            b.prog = b.progMain;
            b.lastLevel = level;
            b.lastLevel2 = l2;
            b.lastWeight = weight;
        } else {
            if (b.inBatch != 0 && b.prog != b.progMag) vCloseFull(b);
            b.prog = b.progMag;
        }
    }
    if (b.inBatch == 0) {
        if (!bReserve(pctx, b, bMip, level, level2, frac)) return;
    }
    ++b.inBatch;
    // The words for the program in use: the one program takes them as
    // placed; of two, each its own offset, and the mip path the level's.
    LONG sw[3], tw[3];
    for (ULONG j = 0; j < 3; ++j) {
        if (bOpt || b.bOneProgram) {
            sw[j] = _NRoundToInt(P[j]->s16), tw[j] = _NRoundToInt(P[j]->t16);
            continue;
        }
        const bool bNeighbours = b.prog == b.progMain ? b.neighboursMin : b.neighboursMag;
        const int level = bMip ? std::clamp(b.drawLevel, 0, 30) : 0;
        const LONG adjust = bMip ? b.halfTexelAdjust : 0;
        sw[j] = lLevelWord(P[j]->s16, b.size16S, b.placedOffS, level, bNeighbours, adjust);
        tw[j] = lLevelWord(P[j]->t16, b.size16T, b.placedOffT, level, bNeighbours, adjust);
    }
    ULONG* p = b.p;
    const TexLayout& l = b.l;
    if (l.alpha && pctx->texAlpha != 0) {
        for (const TriTexVertex* v : P) *p++ = v->alpha;
    } else if (l.perTriangle) {
        *p++ = P[0]->colour;
    } else if (l.perVertex) {
        for (const TriTexVertex* v : P) *p++ = v->colour;
    }
    for (LONG w : sw) *p++ = static_cast<ULONG>(w);
    for (LONG w : tw) *p++ = static_cast<ULONG>(w);
    if (l.depth)
        for (const TriTexVertex* v : P) *p++ = _NHwDepth(b.f, &v->x);
    ULONG w[3];
    for (ULONG j = 0; j < 3; ++j) *p++ = w[j] = _NHwPosition(b.f, &P[j]->x);
    p = _NHwRouteTriangle(b.f, p, w[0], w[1], w[2]);
    b.p = p;
    if (b.inBatch == b.room) {
        _NHwSoftClose(b.f, p);
        b.inBatch = 0;
    }
}

// --- the renderers ---------------------------------------------------------------------------

const ULONG* Record(const CommonPipeData& c, ULONG i) { return c.pHwVertices + N_COLOUR_RECORD_WORDS * std::size_t{i}; }

// The whole-number shift of an entry's texture coordinates: the smallest
// coordinate moved into [0, 1).
float fShiftOf(float min) {
    const float t = std::trunc(min);
    return -t + (min < 0.0f ? 1.0f : 0.0f);
}

struct Walk {
    N_Context* pctx;
    const CommonPipeData& c;
    TriTexBatch& b;
    bool bOpt;
    float shiftS = 0.0f, shiftT = 0.0f, offS = 0.0f, offT = 0.0f;
    float scaleS = 1.0f, scaleT = 1.0f;

    // The shift of the entry made of the vertices first .. first + n - 1
    // (and the extra vertex, for a fan's hub).
    void Entry(ULONG first, ULONG n, LONG hub = -1) {
        float minS = 0.0f, minT = 0.0f;
        bool bAny = false;
        auto take = [&](ULONG v) {
            const float* t = c.pTexWork + 4 * std::size_t{v};
            if (!bAny || t[0] < minS) minS = t[0];
            if (!bAny || t[1] < minT) minT = t[1];
            bAny = true;
        };
        if (hub >= 0) take(static_cast<ULONG>(hub));
        for (ULONG k = 0; k < n; ++k) take(first + k);
        shiftS = std::isfinite(minS) ? fShiftOf(minS) : 0.0f;
        shiftT = std::isfinite(minT) ? fShiftOf(minT) : 0.0f;
    }
    void Fill(TriTexVertex* v, ULONG vertex, const ULONG* rec) const {
        const LONG* win = c.pWindow + 3 * std::size_t{vertex};
        const float* t = c.pTexWork + 4 * std::size_t{vertex};
        v->x = win[0], v->y = win[1], v->z = win[2];
        v->colour = rec[0];
        float a;
        std::memcpy(&a, &rec[1], sizeof a);
        v->alpha = (static_cast<ULONG>(_NRoundToInt(a * 255.0f)) & 0xFFu) * 0x01010101u;
        v->s16 = (t[0] + shiftS) * scaleS + offS + 1.0f;
        v->t16 = (t[1] + shiftT) * scaleT + offT + 1.0f;
        v->q = t[3];
        v->rq = _NTriTexRecipQ(t[3]);
        v->edgeLen = 0;
        v->qMeasure = 0.0f;
    }
    // The window coordinates of vertex i before they were cut to whole
    // units (in the units of pWindow), from its clip position; false when
    // they are not to be had or do not belong to the window vertex.
    bool bExactPosition(ULONG i, double* px, double* py) const {
        return c.pClipPos != nullptr &&
               _NHwExactPosition(c.pClipPos + 4 * std::size_t{i}, c.pWindow + 3 * std::size_t{i}, px, py);
    }
    // The corners' coordinates as GL samples them at the board's sample
    // points (_NTriTexAtSamplePoints).
    void AtSamplePoints(TriTexVertex* A, TriTexVertex* B, TriTexVertex* C, ULONG a, ULONG bv, ULONG cv) const {
        double x[3], y[3];
        const ULONG idx[3] = {a, bv, cv};
        for (ULONG k = 0; k < 3; ++k)
            if (!bExactPosition(idx[k], &x[k], &y[k])) return;
        TriTexVertex* const v[3] = {A, B, C};
        _NTriTexAtSamplePoints(v, x, y, b.f.bPrecise ? 0.0 : 0.5);
    }
    // One triangle of window vertices (a, b, cv) with colour records; a
    // one-colour layout gives all three corners the provoking record's colour.
    void Triangle(ULONG a, ULONG bv, ULONG cv, const ULONG* ra, const ULONG* rb, const ULONG* rc,
                  const ULONG* provoking) {
        // A triangle with a vertex that may not be drawn is left out.
        const N_TriVertex v[3] = {{c.pWindow + 3 * std::size_t{a}, ra}, {c.pWindow + 3 * std::size_t{bv}, rb},
                                  {c.pWindow + 3 * std::size_t{cv}, rc}};
        if (!_NHwDrawable(b.f, v)) return;
        TriTexVertex A, B, C;
        const bool bFlat = b.l.perTriangle;
        Fill(&A, a, bFlat ? provoking : ra);
        Fill(&B, bv, bFlat ? provoking : rb);
        Fill(&C, cv, bFlat ? provoking : rc);
        AtSamplePoints(&A, &B, &C, a, bv, cv);
        b.pColour = rc;
        // The board draws one winding: the corners go out turned when the
        // window area says so.
        b.orientation = _NHwArea(&A.x, &B.x, &C.x) > 0 ? 1 : -1;
        _NTriTexEdge(&A, &B);
        _NTriTexEdge(&B, &C);
        _NTriTexEdge(&C, &A);
        if (bOpt) {
            _NTriTexSubdivTriOpt(pctx, &A, &B, &C, 0);
        } else {
            // The level step of the two-program path needs the gradients
            // of the renderer triangle whether or not the texture mip-maps.
            if (!b.bOneProgram) _NTriTexPlaneSetup(pctx, &A, &B, &C);
            _NTriTexSubdivTri(pctx, &A, &B, &C, 0);
        }
    }
};

void vRender(N_Context* pctx, N_Pipe* pipe, bool bOpt) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const char* name = bOpt ? "_NvpRenderTriTexOpt" : "_NvpRenderTriTex";
    auto next = [&] { pipe->next[N_STAGE_RENDER](pctx, pipe); };
    if (static_cast<LONG>(c.stripVertexCount) <= 0 || static_cast<LONG>(c.stripCount) <= 0 ||
        c.pTexWork == nullptr)
        return next();
    const ULONG kind = c.code;
    const bool bStrip = kind == N_PRIM_TRI_STRIP || kind == N_PRIM_QUAD_STRIP;
    const bool bFan = kind == N_PRIM_POLYGON || kind == N_PRIM_FAN;
    const bool bQuads = kind == N_PRIM_QUADS;
    ULONG drawn = 1;
    bool bFits;
    if (bStrip) {
        bFits = _NStripRunsFit(c);
    } else {
        const ULONG perFace = bFan ? 1 : (bQuads ? 4 : 3);
        const ULONG cMax = _NFaceCount(kind, c.stripVertexCount);
        bFits = c.stripVertexCount <= N_BATCH_POINTS && _NFaceRunsFit(c, cMax, perFace, bFan ? 2 : 0, &drawn);
    }
    if (!bFits) {
        DbgPrint("%s: face runs do not fit the batch, not drawn\n", name);
        return next();
    }
    if (drawn == 0) return next();

    TriTexBatch& b = bOpt ? gBatchOpt : gBatch;
    b = TriTexBatch{};
    N_HwRecord* phw = pctx->pHw;
    _NHwFrameBegin(pctx, &b.f);
    b.phw = phw;
    b.progMain = pkzProgOf(phw->programs[0]);
    b.bOneProgram = bOpt || phw->singlePass != 0;
    b.progMag = b.bOneProgram ? b.progMain : pkzProgOf(phw->programs[pipe->pBack == pipe ? 3 : 2]);
    b.prog = b.progMain;
    const N_TexSampling& s = pctx->val.tex;
    b.texelS = static_cast<float>(s.limits[0]);
    b.texelT = static_cast<float>(s.limits[1]);
    b.bMip = !b.bOneProgram && s.mipmap != 0;
    b.bTwoLevel = s.betweenLevels != 0;
    b.crossover = s.switchOver;
    b.size16S = std::max<LONG>(s.limits[0], 16);
    b.size16T = std::max<LONG>(s.limits[1], 16);
    b.placedOffS = static_cast<float>(s.limits[2]) + 1.0f;
    b.placedOffT = static_cast<float>(s.limits[3]) + 1.0f;
    b.neighboursMin = s.minFilter == 1 || s.minFilter == 4 || s.minFilter == 5;
    b.neighboursMag = s.magFilter == 1;
    b.linearTwoLevel = s.minFilter == 5;
    // The texel filters between neighbours use the pattern registers that
    // hold the dither matrix: the matrix is loaded again when next needed.
    if (s.pointSample == 0 && phw->pDevice != nullptr && phw->pDevice->ppdev != nullptr)
        *pulGLPatternUniq(phw->pDevice->ppdev) = 0;
    if (!bTexLayoutOf(b.progMain->dataAttr, &b.l))
        DbgPrint("%s: Unknown mode: 0x%x\n", name, b.progMain->dataAttr);

    Walk w{pctx, c, b, bOpt};
    w.scaleS = b.texelS;
    w.scaleT = b.texelT;
    w.offS = static_cast<float>(s.limits[2]);
    w.offT = static_cast<float>(s.limits[3]);
    const ULONG savedParity = pctx->stripParity;

    if (bStrip) {
        ULONG strip = 0, stripFirst = 0, a = 0, block = 0;
        ULONG facesLeft = _NStripFaces(c.pStripCounts[0]);
        for (ULONG i = 0;; ++i) {
            const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
            if (count == 0) break;
            if (code != N_RUN_SKIP) {
                w.Entry(a, count + 2);
                for (ULONG k = 0; k < count; ++k) {
                    const ULONG n = a + k;
                    const ULONG* r2 = Record(c, block + k + 2);
                    w.Triangle(n, n + 1, n + 2, Record(c, block + k), Record(c, block + k + 1), r2, r2);
                }
            }
            facesLeft -= count;
            block += count + 2;
            if (facesLeft == 0) {
                stripFirst += c.pStripCounts[strip++];
                facesLeft = strip < c.stripCount ? _NStripFaces(c.pStripCounts[strip]) : 0;
                a = stripFirst;
            } else {
                a += count;
            }
        }
    } else {
        ULONG v = 0, face = 0, block = 0;
        for (ULONG i = 0;; ++i) {
            const ULONG code = _NRunCode(c.pFaceRuns[i]), count = _NRunFaces(c.pFaceRuns[i]);
            if (count == 0) break;
            if (code != N_RUN_SKIP) {
                if (bFan) {
                    w.Entry(face + 1, count + 1, 0);
                    const ULONG* ra = Record(c, block);
                    for (ULONG k = 0; k < count; ++k) {
                        const ULONG j = face + k;
                        const ULONG* rb = Record(c, block + 1 + k);
                        const ULONG* rc = Record(c, block + 2 + k);
                        // One colour: the polygon's first vertex, a fan face's newest.
                        w.Triangle(0, j + 1, j + 2, ra, rb, rc, kind == N_PRIM_POLYGON ? ra : rc);
                    }
                } else if (bQuads) {
                    w.Entry(v, 4 * count);
                    for (ULONG k = 0; k < count; ++k) {
                        const ULONG q = v + 4 * k;
                        const ULONG* r3 = Record(c, q + 3);
                        w.Triangle(q, q + 1, q + 2, Record(c, q), Record(c, q + 1), Record(c, q + 2), r3);
                        w.Triangle(q, q + 2, q + 3, Record(c, q), Record(c, q + 2), r3, r3);
                    }
                } else {
                    w.Entry(v, 3 * count);
                    for (ULONG k = 0; k < count; ++k) {
                        const ULONG q = v + 3 * k;
                        const ULONG* r2 = Record(c, q + 2);
                        w.Triangle(q, q + 1, q + 2, Record(c, q), Record(c, q + 1), r2, r2);
                    }
                }
            }
            v += bQuads ? 4 * count : 3 * count;
            face += count;
            block += count + 2;
        }
    }

    if (b.inBatch != 0) {
        // The two-program path closes so that the next call, which starts
        // with the main program, never goes on in a packet of the other.
        if (!b.bOneProgram) vCloseFull(b);
        else {
            _NHwSoftClose(b.f, b.p);
            b.inBatch = 0;
        }
    }
    pctx->stripParity = savedParity;
    next();
}

}  // namespace

float _NTriTexRecipQ(float q) { return q == 0.0f ? kRecipQZero : 1.0f / q; }

bool _NTriTexAtSamplePoints(TriTexVertex* const (&v)[3], const double (&x)[3], const double (&y)[3], double half) {
    // s/q, t/q and 1/q: planes on the screen, of one sign (a q of 0 has no
    // plane).
    double f[3][3];
    for (ULONG i = 0; i < 3; ++i) {
        if (v[i]->q == 0.0f || v[i]->rq == 0.0f || (v[i]->rq > 0.0f) != (v[0]->rq > 0.0f)) return false;
        f[0][i] = v[i]->rq, f[1][i] = double{v[i]->s16} * v[i]->rq, f[2][i] = double{v[i]->t16} * v[i]->rq;
    }
    const LONG X[3] = {v[0]->x, v[1]->x, v[2]->x}, Y[3] = {v[0]->y, v[1]->y, v[2]->y};
    // A texel of slack in s and t at the largest 1/q.
    const double big = std::max({std::fabs(f[0][0]), std::fabs(f[0][1]), std::fabs(f[0][2])});
    const double slack[3] = {0.0, 16.0 * big, 16.0 * big};
    if (!_NHwAtSamplePoints(x, y, X, Y, half, f, slack, 3)) return false;
    for (ULONG i = 0; i < 3; ++i)
        if (f[0][i] == 0.0 || (f[0][i] > 0.0) != (v[0]->rq > 0.0f)) return false;
    for (ULONG i = 0; i < 3; ++i) {
        const float rq = static_cast<float>(f[0][i]);
        // An unchanged 1/q keeps its q as it was.
        if (rq != v[i]->rq) v[i]->rq = rq, v[i]->q = static_cast<float>(1.0 / f[0][i]);
        v[i]->s16 = static_cast<float>(f[1][i] / f[0][i]);
        v[i]->t16 = static_cast<float>(f[2][i] / f[0][i]);
    }
    return true;
}

void _NvpRenderTriTex(N_Context* pctx, N_Pipe* pipe) { vRender(pctx, pipe, false); }
void _NvpRenderTriTexOpt(N_Context* pctx, N_Pipe* pipe) { vRender(pctx, pipe, true); }

void _NEmitTriTexPrim(N_Context* pctx, const TriTexVertex* A, const TriTexVertex* B, const TriTexVertex* C,
                      float lambda, int level, int level2, float frac) {
    vEmit(pctx, gBatch, false, A, B, C, lambda, level, level2, frac);
}
void _NEmitTriTexPrimOpt(N_Context* pctx, const TriTexVertex* A, const TriTexVertex* B, const TriTexVertex* C) {
    vEmit(pctx, gBatchOpt, true, A, B, C, 0.0f, 0, 0, 0.0f);
}

// --- level set-up ------------------------------------------------------------------------------

void _NTriTexPerspSetup(const TriTexVertex* v0, const TriTexVertex* v1, const TriTexVertex* v2) {
    const TriTexVertex* v[3] = {v0, v1, v2};
    TriTexPlanes& t = gNTriTexPlanes;
    for (ULONG i = 0; i < 3; ++i) {
        // A q of 0 gives Q = 0, which the level step reads as the base level.
        t.Q[i] = fGuardedRecip(v[i]->q);
        t.S[i] = v[i]->s16 / gBatch.texelS * t.Q[i];
        t.T[i] = v[i]->t16 / gBatch.texelT * t.Q[i];
    }
    const int c = N_TRITEX_CENTRE;
    t.Q[c] = (t.Q[0] + t.Q[1] + t.Q[2]) / 3.0f;
    t.S[c] = (t.S[0] + t.S[1] + t.S[2]) / 3.0f;
    t.T[c] = (t.T[0] + t.T[1] + t.T[2]) / 3.0f;
}

void _NTriTexPlaneSetup(N_Context* pctx, const TriTexVertex* a, const TriTexVertex* b, const TriTexVertex* c) {
    GLSRVDEVICE* pDevice = pctx->pHw != nullptr ? pctx->pHw->pDevice : nullptr;
    const bool bPrecise = pDevice != nullptr && _NModelImprecision(pDevice) != 0;
    const TriTexVertex* v[3] = {a, b, c};
    float Q[3], S[3], T[3], X[3], Y[3];
    for (ULONG i = 0; i < 3; ++i) {
        Q[i] = fGuardedRecip(v[i]->q);
        S[i] = v[i]->s16 / gBatch.texelS * Q[i];
        T[i] = v[i]->t16 / gBatch.texelT * Q[i];
        // Positions in sixteenths keep their fractions: the gradients are
        // those of the triangle the board draws.
        X[i] = bPrecise ? static_cast<float>(v[i]->x) / 16.0f : static_cast<float>(v[i]->x);
        Y[i] = bPrecise ? static_cast<float>(v[i]->y) / 16.0f : static_cast<float>(v[i]->y);
    }
    const float det = X[0] * (Y[1] - Y[2]) + X[1] * (Y[2] - Y[0]) + X[2] * (Y[0] - Y[1]);
    float ya = Y[1] - Y[2], yb = Y[2] - Y[0], yc = Y[0] - Y[1];
    float xa = X[2] - X[1], xb = X[0] - X[2], xc = X[1] - X[0];
    if (std::fabs(det) > 0.0001f) {
        const float k = 1.0f / det;
        ya *= k, yb *= k, yc *= k, xa *= k, xb *= k, xc *= k;
    }
    TriTexPlanes& t = gNTriTexPlanes;
    t.dSdx = S[0] * ya + S[1] * yb + S[2] * yc;
    t.dSdy = S[0] * xa + S[1] * xb + S[2] * xc;
    t.dTdx = T[0] * ya + T[1] * yb + T[2] * yc;
    t.dTdy = T[0] * xa + T[1] * xb + T[2] * xc;
    t.dQdx = Q[0] * ya + Q[1] * yb + Q[2] * yc;
    t.dQdy = Q[0] * xa + Q[1] * xb + Q[2] * xc;
}

namespace {

// The level choice at a point whose perspective-divided values are Q, S
// and T, from the gradients of the renderer triangle.
int iLodAt(N_Context* pctx, float Q, float S, float T, float* pLambda, int* pLevel2, float* pFrac) {
    const TriTexPlanes& t = gNTriTexPlanes;
    float rho = 1.0f;
    if (Q != 0.0f) {
        const float r = 1.0f / Q, r2 = r * r;
        const float W = static_cast<float>(pctx->boundTex.width), H = static_cast<float>(pctx->boundTex.height);
        const float dudx = (S * t.dQdx - Q * t.dSdx) * r2 * W;
        const float dvdx = (T * t.dQdx - Q * t.dTdx) * r2 * H;
        const float dudy = (S * t.dQdy - Q * t.dSdy) * r2 * W;
        const float dvdy = (T * t.dQdy - Q * t.dTdy) * r2 * H;
        // GL's scale factor: the longer of the texel steps of a pixel
        // step in x and in y.
        rho = std::max(std::sqrt(dudx * dudx + dvdx * dvdx), std::sqrt(dudy * dudy + dvdy * dvdy));
    }
    if (rho == 0.0f || !std::isfinite(rho)) {
        // No usable footprint: the base level (a non-finite one, from a q
        // of 0 or a degenerate triangle, as well).
        *pLambda = 0.0f;
        *pFrac = 0.0f;
        *pLevel2 = 1;
        return 0;
    }
    // log2 itself, exact for the powers of two a texture shrinks by.
    const float lambda = std::log2(rho);
    *pLambda = lambda;
    *pFrac = lambda - std::trunc(lambda);
    const int m = std::max(static_cast<int>(pctx->texLevels) - 1, 0);
    const ULONG f = pctx->val.tex.minFilter;
    if (f == 3 || f == 5) {
        const int l = std::max(static_cast<int>(std::trunc(lambda)), 0);
        if (l >= m) {
            *pLevel2 = m;
            return m;
        }
        *pLevel2 = l + 1;
        return l;
    }
    if (f == 2 || f == 4) {
        if (lambda < 0.5f) return 0;
        if (lambda > static_cast<float>(m) + 0.5f) return m;
        return static_cast<int>(std::ceil(lambda - 0.5f));
    }
    return static_cast<int>(std::trunc(lambda));
}

// What a packet draws a point with: the program (minification or not),
// the level or levels (0 under magnification and without mip-maps), and
// lambda for the blend between two.
struct Choice {
    bool bMin;
    int level, level2;
    float lambda;
};
Choice ChoiceAt(N_Context* pctx, float Q, float S, float T) {
    const N_TexSampling& s = pctx->val.tex;
    float lambda = 0.0f, frac = 0.0f;
    int level2 = 0;
    const int level = iLodAt(pctx, Q, S, T, &lambda, &level2, &frac);
    const bool bMin = lambda > s.switchOver;
    const bool bLevels = bMin && s.mipmap != 0;
    return {bMin, bLevels ? level : 0, bLevels && s.betweenLevels != 0 ? level2 : 0, lambda};
}

}  // namespace

int _NTriTexVertexLod(N_Context* pctx, float* pLambda, int* pLevel2, float* pFrac, int i) {
    const TriTexPlanes& t = gNTriTexPlanes;
    i = std::clamp(i, 0, N_TRITEX_CENTRE);
    return iLodAt(pctx, t.Q[i], t.S[i], t.T[i], pLambda, pLevel2, pFrac);
}

bool _NTriTexEdgeNeedsCut(N_Context* pctx, const TriTexVertex* a, const TriTexVertex* b) {
    float Q[3], S[3], T[3];
    const TriTexVertex* v[2] = {a, b};
    for (ULONG i = 0; i < 2; ++i) {
        Q[i] = fGuardedRecip(v[i]->q);
        S[i] = v[i]->s16 / gBatch.texelS * Q[i];
        T[i] = v[i]->t16 / gBatch.texelT * Q[i];
    }
    // The midpoint on the screen: s/q, t/q and 1/q are linear there.
    Q[2] = 0.5f * (Q[0] + Q[1]), S[2] = 0.5f * (S[0] + S[1]), T[2] = 0.5f * (T[0] + T[1]);
    const Choice c0 = ChoiceAt(pctx, Q[0], S[0], T[0]);
    const Choice c1 = ChoiceAt(pctx, Q[1], S[1], T[1]);
    const Choice cm = ChoiceAt(pctx, Q[2], S[2], T[2]);
    const auto same = [](const Choice& x, const Choice& y) {
        return x.bMin == y.bMin && x.level == y.level && x.level2 == y.level2;
    };
    const float lo = std::min({c0.lambda, c1.lambda, cm.lambda}), hi = std::max({c0.lambda, c1.lambda, cm.lambda});
    // Two different levels blended by the fraction of lambda: the edge's
    // lambdas close enough that one fraction serves its pixels.
    const bool bBlend = c0.level != c0.level2 && hi - lo > N_TRITEX_LAMBDA_SPAN;
    if (same(c0, c1) && !bBlend) return false;
    // An edge that runs within a pixel across lambda's change (along the
    // line where the choice changes) gains nothing from a cut: its pixels
    // lie within a pixel of that line either way.
    const TriTexPlanes& t = gNTriTexPlanes;
    const float lx = ChoiceAt(pctx, Q[2] + t.dQdx, S[2] + t.dSdx, T[2] + t.dTdx).lambda;
    const float ly = ChoiceAt(pctx, Q[2] + t.dQdy, S[2] + t.dSdy, T[2] + t.dTdy).lambda;
    const float perPixel = std::max(std::fabs(lx - cm.lambda), std::fabs(ly - cm.lambda));
    return !(hi - lo <= perPixel);
}
