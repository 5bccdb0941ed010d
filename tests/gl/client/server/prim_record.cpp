// The lgi layer's primitive entries wrapped at link time (the program links
// with --wrap for both): each call is recorded, with the attributes a batch
// does not carry taken from the layer's current values as the layer itself
// takes them, and then drawn by the entry itself.
#include "prim_record.h"

#include <cstring>

#include "lgi/lgi.h"

namespace prim_record {
std::vector<Entry> gEntries;
bool gbRecording = false;
void Clear() { gEntries.clear(); }
}  // namespace prim_record

using prim_record::Entry;
using prim_record::Vertex;

extern "C" {
void __real__Z15N_ExecPrimitivePK10N_PrimDesc(const N_PrimDesc* pDesc);
void __real__Z16_NExecInlinePrimP9N_ContextjjjPKj(N_Context* pctx, ULONG kind, ULONG format, ULONG n,
                                                   const ULONG* pulData);
}

namespace {

constexpr ULONG kColorBits = 0x20 | 0x40, kIndexBit = 0x80, kNormalBit = 0x100, kTexCoordBit = 0x400;

// The current values a vertex without an attribute is drawn with.
Vertex Current() {
    Vertex c;
    N_GetStateBlockAttr(N_ATTR_COLOUR, c.color.data());
    N_GetStateBlockAttr(N_ATTR_NORMAL, c.normal.data());
    N_GetStateBlockAttr(N_ATTR_TEXCOORD, c.texCoord.data());
    return c;
}

template <std::size_t N>
void vTake(std::array<float, N>* pa, const void* pv) {
    std::memcpy(pa->data(), pv, sizeof(float) * N);
}

// Bytes of each per-vertex format bit (2-26) of a draw packet's vertices.
constexpr ULONG kBitBytes[27] = {0, 0, 16, 16, 16, 12, 16, 4, 12, 16, 16, 16, 16, 16,
                                 16, 4, 16, 16, 16, 16, 4, 4, 4, 4, 4, 4, 4};

}  // namespace

extern "C" void __wrap__Z15N_ExecPrimitivePK10N_PrimDesc(const N_PrimDesc* d) {
    if (prim_record::gbRecording && d != nullptr) {
        Entry e;
        e.kind = d->kind;
        e.fromArrays = true;
        if (d->cStrips != 0 && d->pStripLengths != nullptr)
            e.strips.assign(d->pStripLengths, d->pStripLengths + d->cStrips);
        const Vertex cur = Current();
        for (ULONG i = 0; i < d->count; ++i) {
            Vertex v = cur;
            auto at = [i](const void* p, ULONG stride) { return static_cast<const BYTE*>(p) + std::size_t{i} * stride; };
            vTake(&v.position, at(d->pPosition, d->positionStride));
            if ((d->format & kColorBits) && d->pColor != nullptr) vTake(&v.color, at(d->pColor, d->colorStride));
            if ((d->format & kNormalBit) && d->pNormal != nullptr) vTake(&v.normal, at(d->pNormal, d->normalStride));
            if ((d->format & kTexCoordBit) && d->pTexCoord != nullptr)
                vTake(&v.texCoord, at(d->pTexCoord, d->texCoordStride));
            e.v.push_back(v);
        }
        prim_record::gEntries.push_back(std::move(e));
    }
    __real__Z15N_ExecPrimitivePK10N_PrimDesc(d);
}

extern "C" void __wrap__Z16_NExecInlinePrimP9N_ContextjjjPKj(N_Context* pctx, ULONG kind, ULONG format, ULONG n,
                                                               const ULONG* pulData) {
    if (prim_record::gbRecording) {
        Entry e;
        e.kind = kind;
        // The per-primitive words lead once, or stand before each vertex.
        const ULONG cPerPrim = ((format & 0x1u) ? 3 : 0) + ((format & 0x2u) ? 3 : 0);
        const bool bOnce = kind == 64 || kind == 66 || kind == 67;
        ULONG cb = 0;
        for (ULONG bit = 2; bit <= 26; ++bit)
            if (format & (1u << bit)) cb += kBitBytes[bit];
        if (format & 0x18000000u) cb += 4;
        const ULONG stride = cb + (bOnce ? 0 : 4 * cPerPrim);
        const BYTE* pj = reinterpret_cast<const BYTE*>(pulData + (bOnce ? cPerPrim : 0)) + (bOnce ? 0 : 4 * cPerPrim);
        const Vertex cur = Current();
        for (ULONG i = 0; i < n; ++i) {
            Vertex v = cur;
            const BYTE* pjv = pj + std::size_t{i} * stride;
            ULONG off = 0;
            for (ULONG bit = 2; bit <= 26; ++bit) {
                const ULONG m = 1u << bit;
                if (!(format & m)) continue;
                if (m & 0x1C) vTake(&v.position, pjv + off);
                else if (m == 0x40) vTake(&v.color, pjv + off);
                else if (m == 0x20) {
                    std::memcpy(v.color.data(), pjv + off, 12);  // three components: alpha 1
                    v.color[3] = 1.0f;
                }
                else if (m == kNormalBit) vTake(&v.normal, pjv + off);
                else if (m == kTexCoordBit) vTake(&v.texCoord, pjv + off);
                (void)kIndexBit;
                off += kBitBytes[bit];
            }
            e.v.push_back(v);
        }
        prim_record::gEntries.push_back(std::move(e));
    }
    __real__Z16_NExecInlinePrimP9N_ContextjjjPKj(pctx, kind, format, n, pulData);
}
