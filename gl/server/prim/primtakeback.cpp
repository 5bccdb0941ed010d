// Taking a primitive back out of a display list's batch. When a request
// that a batch cannot carry (an evaluator point, a list call, ...) arrives
// between Begin and End while a list is compiled, the primitive that is
// open in the batch is turned back into plain render requests: Begin with
// the primitive's mode, then per vertex the current-attribute requests of
// what the vertex carries and its Vertex request, then the attributes set
// since the last vertex. The batch keeps only what was finished before.
//
// A primitive that wrapped: the records finished by the wraps hold whole
// faces and stay in the batch (or in the batches already handed to the
// list); the record open now starts with the vertices the wrap carried into
// it, so the requests taken out begin with those and every face is drawn
// exactly once, in the order immediate execution draws it. A polygon's
// carried vertices keep the edge-flag states the wrap gave them. A line
// loop that wrapped goes on as a resumed loop (see vWriteRequests).
#include <cstring>

#include "dispatch/dispatch.h"
#include "prim/prim.h"

namespace {



// A material colour of a vertex record: its bit, face and parameter.
struct MaterialColor {
    ULONG bit;
    ULONG face;
    ULONG pname;
};
constexpr MaterialColor kMaterialColors[] = {
    {N_VTX_FRONT_EMISSION, GL_FRONT, GL_EMISSION}, {N_VTX_FRONT_AMBIENT, GL_FRONT, GL_AMBIENT},
    {N_VTX_FRONT_DIFFUSE, GL_FRONT, GL_DIFFUSE},   {N_VTX_FRONT_SPECULAR, GL_FRONT, GL_SPECULAR},
    {N_VTX_BACK_EMISSION, GL_BACK, GL_EMISSION},   {N_VTX_BACK_AMBIENT, GL_BACK, GL_AMBIENT},
    {N_VTX_BACK_DIFFUSE, GL_BACK, GL_DIFFUSE},     {N_VTX_BACK_SPECULAR, GL_BACK, GL_SPECULAR},
};

// Writes requests into a buffer sized beforehand, or (null buffer) only
// counts their bytes.
class Writer {
  public:
    explicit Writer(BYTE* pj) : pj_(pj) {}
    ULONG cj() const { return cj_; }

    void Request(USHORT opcode, const ULONG* pul, ULONG cWords) {
        const auto cj = static_cast<USHORT>(4 + 4 * cWords);
        if (pj_ != nullptr) {
            std::memcpy(pj_ + cj_, &cj, 2);
            std::memcpy(pj_ + cj_ + 2, &opcode, 2);
            if (cWords != 0) std::memcpy(pj_ + cj_ + 4, pul, 4 * cWords);
        }
        cj_ += cj;
    }

    // The current-attribute requests for the attributes of a packed
    // attribute block (vertex or current values) of the mask, in bit order;
    // positions, facet planes and the change mask are not requests.
    void Attributes(ULONG mask, const ULONG* pulWords) {
        Attr(X_GLrop_Color3fv, N_VTX_RGB, mask, pulWords, 3);
        Attr(X_GLrop_Color4fv, N_VTX_RGBA, mask, pulWords, 4);
        Attr(X_GLrop_Indexfv, N_VTX_INDEX, mask, pulWords, 1);
        Attr(X_GLrop_Normal3fv, N_VTX_NORMAL, mask, pulWords, 3);
        Attr(X_GLrop_TexCoord4fv, N_VTX_TEXCOORD, mask, pulWords, 4);
        for (const MaterialColor& m : kMaterialColors) Material(m.face, m.pname, m.bit, 1, mask, pulWords, 4);
        Material(GL_FRONT, GL_SHININESS, N_VTX_FRONT_SHININESS, 1, mask, pulWords, 1);
        Material(GL_BACK, GL_SHININESS, N_VTX_BACK_SHININESS, 1, mask, pulWords, 1);
        Material(GL_FRONT, GL_COLOR_INDEXES, N_VTX_FRONT_COLOUR_INDEXES, 3, mask, pulWords, 1);
        Material(GL_BACK, GL_COLOR_INDEXES, N_VTX_BACK_COLOUR_INDEXES, 3, mask, pulWords, 1);
        ULONG cb = 0;
        if (const ULONG* pul = N_GetAttrPtr(N_VTX_EDGEFLAG, mask, pulWords, &cb)) {
            const ULONG edge = pul[0] & 0xFF;  // the byte the request carries
            Request(X_GLrop_EdgeFlagv, &edge, 1);
        }
    }

    // The current-value requests of the values of the bits.
    void Values(const __GLXcurrentValues& cv, ULONG bits) {
        if (bits & (N_VTX_RGB | N_VTX_RGBA)) Request(X_GLrop_Color4fv, reinterpret_cast<const ULONG*>(cv.color), 4);
        if (bits & N_VTX_INDEX) Request(X_GLrop_Indexfv, reinterpret_cast<const ULONG*>(&cv.index), 1);
        if (bits & N_VTX_NORMAL) Request(X_GLrop_Normal3fv, reinterpret_cast<const ULONG*>(cv.normal), 3);
        if (bits & N_VTX_TEXCOORD) Request(X_GLrop_TexCoord4fv, reinterpret_cast<const ULONG*>(cv.texCoord), 4);
        if (bits & N_VTX_EDGEFLAG) Request(X_GLrop_EdgeFlagv, &cv.edgeFlag, 1);
    }

    // The Vertex request of a vertex of the mask.
    void Position(ULONG mask, const ULONG* pulWords) {
        static const struct {
            ULONG bit;
            USHORT opcode;
            ULONG cWords;
        } kPositions[] = {{N_VTX_POS4, X_GLrop_Vertex4fv, 4}, {N_VTX_POS3, X_GLrop_Vertex3fv, 3}, {N_VTX_POS2, X_GLrop_Vertex2fv, 2}};
        for (const auto& p : kPositions) {
            ULONG cb = 0;
            if (const ULONG* pul = N_GetAttrPtr(p.bit, mask, pulWords, &cb)) {
                Request(p.opcode, pul, p.cWords);
                return;
            }
        }
    }

  private:
    void Attr(USHORT opcode, ULONG bit, ULONG mask, const ULONG* pulWords, ULONG cWords) {
        ULONG cb = 0;
        if (const ULONG* pul = N_GetAttrPtr(bit, mask, pulWords, &cb)) Request(opcode, pul, cWords);
    }
    // Materialfv (face, pname, values) for cBits consecutive attribute bits
    // from `bit`, each of cWords words. The colour indexes travel together
    // (the request sets all three); one the record lacks goes out as 0.
    void Material(ULONG face, ULONG pname, ULONG bit, ULONG cBits, ULONG mask, const ULONG* pulWords,
                  ULONG cWords) {
        ULONG aul[6] = {face, pname};
        bool bAny = false;
        ULONG cValues = 0;
        for (ULONG k = 0; k < cBits; ++k) {
            ULONG cb = 0;
            const ULONG* pul = N_GetAttrPtr(bit << k, mask, pulWords, &cb);
            for (ULONG w = 0; w < cWords; ++w) aul[2 + cValues++] = pul != nullptr ? pul[w] : 0;
            bAny |= pul != nullptr;
        }
        if (bAny) Request(X_GLrop_Materialfv, aul, 2 + cValues);
    }

    BYTE* pj_;
    ULONG cj_ = 0;
};

// The requests of the open record: Begin, its vertices, the attributes set
// since its last vertex (changed: their mask, values in packed form; none
// while only counting).
void vWriteRequests(Writer& w, const __GLXprimBuffer* pb, N_VertexRecord* pvr, ULONG changed,
                    const ULONG* pulChanged) {
    // A line loop whose first vertex is in a finished record (it wrapped,
    // or was resumed so before) goes on as a resumed loop: its first vertex
    // follows Begin, to close the loop at End without being drawn again;
    // then the values current before the open record return, so that its
    // vertices find what they found before.
    const bool bElsewhere = pb->mode == GLX_LINE_LOOP && (pb->cWraps != 0 || pb->bLoopElsewhere);
    const ULONG mode = !bElsewhere ? pb->mode : pb->bLoopSaved ? GLX_LINE_LOOP_RESUMED : GLX_LINE_STRIP;
    w.Request(X_GLrop_Begin, &mode, 1);
    if (mode == GLX_LINE_LOOP_RESUMED) {
        const __GLXsavedVertex& f = pb->loopFirst;
        w.Attributes(f.mask, f.words);
        w.Position(f.mask, f.words);
        w.Values(pb->recordStart, f.mask & pb->touched);
    }
    const ULONG n = pvr != nullptr ? pvr->vertexCount : 0;
    for (ULONG i = 1; i <= n; ++i) {
        ULONG mask = 0, cb = 0;
        const ULONG* pul = N_GetVertex(pvr, i, &mask, &cb);
        if (pul == nullptr) continue;
        w.Attributes(mask, pul);
        w.Position(mask, pul);
    }
    if (changed != 0) w.Attributes(changed, pulChanged);
}

// What the attribute requests of a mask take, whatever their values: a
// block of zeros of the widest vertex stands in for them.
ULONG cjChanged(ULONG changed) {
    static const ULONG aulZero[96] = {};
    static_assert(sizeof aulZero / 4 >= GLX_SAVED_VERTEX_WORDS);
    Writer w(nullptr);
    w.Attributes(changed & N_VTX_ALL, aulZero);
    return w.cj();
}

}  // namespace

BOOL __glTakeBackPrimitive(GLClient* pgc, BYTE** ppj, ULONG* pcj) {
    *ppj = nullptr;
    *pcj = 0;
    __GLXprimBuffer* pb = pgc != nullptr && pgc->gc != nullptr ? pgc->gc->pPrimBuffer : nullptr;
    if (pb == nullptr || pb->mode > 9) return FALSE;
    N_VertexRecord* pvr = pb->pvr;
    // Sized first, so that nothing has changed when the memory is refused.
    Writer count(nullptr);
    vWriteRequests(count, pb, pvr, 0, nullptr);
    const ULONG changed = pvr != nullptr ? pvr->changed & ~(N_VTX_POS2 | N_VTX_POS3 | N_VTX_POS4) : 0;
    const ULONG cj = count.cj() + cjChanged(changed);
    auto* pj = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, cj));
    if (pj == nullptr) return FALSE;

    ULONG changedMask = 0, cbChanged = 0;
    const ULONG* pulChanged = changed != 0 ? N_GetCurrentAttrs(pvr, &changedMask, &cbChanged) : nullptr;
    if (pulChanged == nullptr) changedMask = 0;
    Writer w(pj);
    vWriteRequests(w, pb, pvr, changedMask & changed, pulChanged);

    // The record is closed without its vertices and writes nothing: the
    // batch ends with what was finished before.
    if (pvr != nullptr) {
        pb->pjWrite = reinterpret_cast<BYTE*>(N_FinishVertexRecord(pvr, pvr->vertexCount, 0, 0));
        pb->pvr = nullptr;
    }
    pb->fFull = 0;
    pb->bLoopSaved = 0;
    pb->bWrapped = 0;
    if (pb->bDropping) {
        // A wrap found no packet buffer: the vertices since then are lost,
        // as End would have reported.
        pb->bDropping = 0;
        __glXSetError(pgc, "X_GLrop_End", GL_OUT_OF_MEMORY);
    }
    *ppj = pj;
    *pcj = w.cj();
    return TRUE;
}
