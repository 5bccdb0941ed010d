// The vertex and vertex-attribute entry points (glColor, glIndex,
// glEdgeFlag, glNormal, glTexCoord, glVertex in every form), made from
// vertexattr.def and the request rows of include/glrequests.def. Each call
// takes one of three routes: the thread's small-primitive cache, the slot
// of the vertex to come in the open batch of the vertex ring, or one GLX
// render command in the caller's own type appended to the current half.
#pragma once

#include <bit>
#include <cstring>
#include <type_traits>

#include "clt.h"
#include "gl10.h"
#include "glentries.h"
#include "primsegment.h"

namespace vtx {

enum class Family { COLOR, INDEX, NORMAL, TEXCOORD, EDGEFLAG, VERTEX };

// 1/255, 1/65535 and 1/(2^32 - 1) as single-precision values.
inline constexpr float kK255 = std::bit_cast<float>(0x3B808081u);
inline constexpr float kK65535 = std::bit_cast<float>(0x37800080u);
inline constexpr float kK32 = std::bit_cast<float>(0x2F800000u);

// A colour or normal component as a float: integers map onto [-1, 1] or
// [0, 1]; the products are exact in double and rounded once.
template <class T>
float fScaled(T c) {
    if constexpr (std::is_same_v<T, GLbyte>) return static_cast<float>((2.0 * c + 1.0) * kK255);
    else if constexpr (std::is_same_v<T, GLubyte>) return static_cast<float>(c * static_cast<double>(kK255));
    else if constexpr (std::is_same_v<T, GLshort>) return static_cast<float>((2.0 * c + 1.0) * kK65535);
    else if constexpr (std::is_same_v<T, GLushort>) return static_cast<float>(c * static_cast<double>(kK65535));
    else if constexpr (std::is_same_v<T, GLint>) return static_cast<float>((2.0 * c + 1.0) * kK32);
    else if constexpr (std::is_same_v<T, GLuint>) return static_cast<float>(c * static_cast<double>(kK32));
    else return static_cast<float>(c);
}

// The argument count of a request's layout ("3b" is 3).
constexpr unsigned LayoutCount(const char* layout) {
    unsigned n = 0;
    while (*layout >= '0' && *layout <= '9') n = n * 10 + static_cast<unsigned>(*layout++ - '0');
    return n == 0 ? 1 : n;
}
// The bytes of one argument of a request's layout.
constexpr unsigned LayoutElement(const char* layout) {
    while (*layout >= '0' && *layout <= '9') ++layout;
    return *layout == 'b' ? 1 : *layout == 's' ? 2 : *layout == 'd' ? 8 : 4;
}

// The row of a render request of include/glrequests.def.
constexpr GLXRenderRow RowOf(unsigned opcode) {
    for (const GLXRenderRow& r : kGLXRenderRows)
        if (r.opcode == opcode) return r;
    return GLXRenderRow{};
}

// Appends one render command of fixed length: header and the values.
inline void vAppend(ThreadBlock* ptb, unsigned opcode, unsigned cj, const void* pv, unsigned cjValues) {
    BYTE* pj = pjAppendRender(ptb, cj);
    if (pj == nullptr) return;
    const std::uint16_t h[2] = {static_cast<std::uint16_t>(cj), static_cast<std::uint16_t>(opcode)};
    std::memcpy(pj, h, 4);
    if (cjValues != 0) std::memcpy(pj + 4, pv, cjValues);
}

inline PrimSegment* pRing(ClientContext* cc) { return static_cast<PrimSegment*>(cc->primSegment); }

template <unsigned kOpcode, Family kFamily, class T>
struct Encoder {
    static constexpr GLXRenderRow kRow = RowOf(kOpcode);
    static_assert(kRow.opcode == kOpcode && kRow.variable == GLXVariable::NONE);
    static constexpr unsigned N = LayoutCount(kRow.layout);
    static constexpr unsigned kLength = 4 + kRow.cjFixed;
    static_assert(LayoutElement(kRow.layout) == sizeof(T), "the caller's type is the request's");
    static_assert(4 + N * sizeof(T) <= kLength);

    static constexpr ULONG Bit() {
        if constexpr (kFamily == Family::COLOR) return N == 3 ? VTX_RGB : VTX_RGBA;
        else if constexpr (kFamily == Family::INDEX) return VTX_INDEX;
        else if constexpr (kFamily == Family::NORMAL) return VTX_NORMAL;
        else if constexpr (kFamily == Family::TEXCOORD) return VTX_TEXCOORD;
        else if constexpr (kFamily == Family::EDGEFLAG) return VTX_EDGEFLAG;
        else return N == 2 ? VTX_XY : N == 3 ? VTX_XYZ : VTX_XYZW;
    }
    // The bits the value replaces: the other colour form, the other
    // position forms.
    static constexpr ULONG Clears() {
        if constexpr (kFamily == Family::COLOR) return VTX_RGB | VTX_RGBA;
        else if constexpr (kFamily == Family::VERTEX) return VTX_XY | VTX_XYZ | VTX_XYZW;
        else return 0;
    }
    // The value as the cache and the ring keep it.
    static void vConvert(const T* v, float* pf) {
        if constexpr (kFamily == Family::COLOR) {
            for (unsigned k = 0; k < N; ++k) pf[k] = fScaled(v[k]);
            if constexpr (N == 3) pf[3] = 1.0f;
        } else if constexpr (kFamily == Family::NORMAL) {
            for (unsigned k = 0; k < N; ++k) pf[k] = fScaled(v[k]);
        } else if constexpr (kFamily == Family::INDEX) {
            pf[0] = static_cast<float>(v[0]);
        } else {
            // texture coordinates (s, t, r, q) and positions (x, y, z, w)
            float a[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            for (unsigned k = 0; k < N; ++k) a[k] = static_cast<float>(v[k]);
            std::memcpy(pf, a, sizeof a);
        }
    }
    static float* pfSlot(VertexSlot& s) {
        if constexpr (kFamily == Family::COLOR) return s.color;
        else if constexpr (kFamily == Family::INDEX) return &s.colorIndex;
        else if constexpr (kFamily == Family::NORMAL) return s.normal;
        else if constexpr (kFamily == Family::TEXCOORD) return s.texCoord;
        else return s.position;
    }
    static float* pfRing(PrimSegment* ring, ULONG i) {
        if constexpr (kFamily == Family::COLOR) return ring->color[i];
        else if constexpr (kFamily == Family::INDEX) return &ring->colorIndex[i];
        else if constexpr (kFamily == Family::NORMAL) return ring->normal[i];
        else if constexpr (kFamily == Family::TEXCOORD) return ring->texCoord[i];
        else return ring->position[i];
    }

    static void vSend(ThreadBlock* ptb, const T* v) {
        if (ptb->primState->endPending != 0) EndPendingPrimitive(ptb);
        vAppend(ptb, kOpcode, kLength, v, N * sizeof(T));
    }

    static void vAttribute(ThreadBlock* ptb, const T* v) {
        PrimState* ps = ptb->primState;
        if constexpr (kFamily == Family::TEXCOORD || kFamily == Family::EDGEFLAG) {
            if (ps->endPending != 0) EndPendingPrimitive(ptb);
            if (ptb->half == nullptr) return;
        }
        if (ps->smallCache != 0) {
            VertexSlot& s = ps->slots[ps->vertexCount];
            s.flags = (s.flags & ~Clears()) | Bit();
            if constexpr (kFamily == Family::EDGEFLAG) s.edgeFlag = v[0];
            else vConvert(v, pfSlot(s));
            return;
        }
        ClientContext* cc = ptb->context;
        if (cc != nullptr && cc->batching != 0) {
            PrimSegment* ring = pRing(cc);
            const ULONG i = cc->vertexIndex;
            ring->vertexFlags[i] = (ring->vertexFlags[i] & ~Clears()) | Bit();
            if constexpr (kFamily == Family::EDGEFLAG) ring->edgeFlag[i] = v[0] & 0xFFu;
            else vConvert(v, pfRing(ring, i));
            return;
        }
        vSend(ptb, v);
    }

    static void vVertex(ThreadBlock* ptb, const T* v) {
        PrimState* ps = ptb->primState;
        if (ps->smallCache != 0) {
            const ULONG n = ps->vertexCount;
            VertexSlot& s = ps->slots[n];
            s.flags = (s.flags & ~Clears()) | Bit();
            vConvert(v, s.position);
            ps->vertexCount = n + 1;
            ps->slots[n + 1].flags = 0;
            if (ps->vertexCount >= 5 || (n >= 1 && (s.flags & ~ps->slots[n - 1].flags) != 0)) GiveUpSmallCache(ptb);
            return;
        }
        ps->vertexCount += 1;
        ClientContext* cc = ptb->context;
        if (cc != nullptr && cc->batching != 0) {
            PrimSegment* ring = pRing(cc);
            ULONG i = cc->vertexIndex;
            const ULONG fl = (ring->vertexFlags[i] & ~Clears()) | Bit();
            ring->vertexFlags[i] = fl;
            vConvert(v, ring->position[i]);
            cc->orMask |= fl;
            cc->andMask &= fl;
            if (cc->batchMode == GL_LINE_LOOP && ps->firstVertexPending != 0) {
                ps->firstVertexPending = 0;
                vLoadSlotComplete(cc, i, &cc->loopFirst);
                // its closing copy takes from it what it lacks
                ring->vertexFlags[i] |= VTX_PRIM_FIRST;
                cc->orMask |= VTX_PRIM_FIRST;
            }
            if ((cc->batchMode == GL_TRIANGLES || cc->batchMode == GL_QUADS) && ps->convert != 0)
                i = ExpandConvertedVertex(ptb, cc, fl);
            cc->batchCount += 1;
            cc->vertexIndex = i + 1;
            ring->vertexFlags[i + 1] = 0;
            if (cc->batchCount >= PRIM_BATCH_VERTICES) {
                ring->stripLengths[cc->batchFirst + ring->numStrips] = ps->vertexCount;
                ring->numStrips += 1;
                ContinueBatch(ptb, cc);
                ps->vertexCount = cc->batchCount;
            }
            return;
        }
        vSend(ptb, v);
    }

    static void vCall(const T* v) {
        ThreadBlock* ptb = CurrentThreadBlockFast();
        if (ptb == nullptr || ptb->primState == nullptr) return;
        if constexpr (kFamily == Family::VERTEX) vVertex(ptb, v);
        else vAttribute(ptb, v);
    }
    // The vector form and the scalar form.
    static void call(const T* v) { vCall(v); }
    template <class... A>
        requires(sizeof...(A) == N)
    static void call(A... a) {
        const T v[N] = {static_cast<T>(a)...};
        vCall(v);
    }
};

// The encoder of each request of vertexattr.def; others have none here.
template <unsigned kOpcode>
struct RequestEncoder {
    static constexpr bool kBuilt = false;
};
#define CLT_VERTEX_REQUEST(request, family, type)                                        \
    template <>                                                                          \
    struct RequestEncoder<X_GLrop_##request> : Encoder<X_GLrop_##request, Family::family, type> { \
        static constexpr bool kBuilt = true;                                             \
    };
#include "vertexattr.def"
#undef CLT_VERTEX_REQUEST

}  // namespace vtx
