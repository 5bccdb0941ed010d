// The attribute fetch stages: for each vertex the attribute-output chain runs
// one stage per attribute the vertex carries, in format-bit order; each makes
// the vertex's value the context's current value, so lighting sees the
// vertex in hand and the last vertex's values stay current. The stream set
// reads the inline vertices through CommonPipeData's stream cursor; the
// array set reads the current element of the vertex arrays. The colour
// stages also track colour material.
#include <cstring>

#include "pipes.h"

namespace {


// The materials a colour-material mask bit names (0x1 .. 0x80).
constexpr ULONG kMaterialOfBit[8] = {58, 59, 60, 61, 67, 68, 69, 70};

constexpr float kOne = 1.0f;

// The colour just stored goes into the materials the mask names (RGBA mode).
void vColourMaterial(N_Context* pctx) {
    if (*pulAttr(pctx, N_ATTR_COLOUR_MATERIAL) == 0) return;
    pctx->colourMaterialApplied = 1;
    if (*pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1) return;
    const ULONG mask = *pulAttr(pctx, N_ATTR_COLOUR_MATERIAL_CODE);
    const ULONG* pColour = pulAttr(pctx, N_ATTR_COLOUR);
    for (ULONG k = 0; k < 8; ++k)
        if (mask & (1u << k)) std::memcpy(pulAttr(pctx, kMaterialOfBit[k]), pColour, 16);
}

// --- stream set -------------------------------------------------------------------------
// Copies `words` words at the cursor into the attribute and advances.
template <ULONG stage, ULONG attr, ULONG words>
void vStreamCopy(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    std::memcpy(pulAttr(pctx, attr), c.pStream, words * 4);
    c.pStream += words;
    pipe->next[stage](pctx, pipe);
}

template <ULONG stage, ULONG words>
void vStreamColour(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    ULONG* pColour = pulAttr(pctx, N_ATTR_COLOUR);
    std::memcpy(pColour, c.pStream, words * 4);
    if (words == 3) std::memcpy(pColour + 3, &kOne, 4);
    c.pStream += words;
    vColourMaterial(pctx);
    pipe->next[stage](pctx, pipe);
}

template <ULONG stage, ULONG words>
void vStreamSkip(N_Context* pctx, N_Pipe* pipe) {
    pipe->pCommonPipeData->pStream += words;
    pipe->next[stage](pctx, pipe);
}

// --- array set -------------------------------------------------------------------------------
const float* pElement(const float* pBase, ULONG cFloats, const N_ArrayCursor& a) {
    return pBase + std::size_t{cFloats} * (a.element - 1);
}

template <ULONG stage>
void vArrayColour(N_Context* pctx, N_Pipe* pipe) {
    const N_ArrayCursor& a = pipe->pCommonPipeData->arrays;
    std::memcpy(pulAttr(pctx, N_ATTR_COLOUR), pElement(a.pColour, 4, a), 16);
    vColourMaterial(pctx);
    pipe->next[stage](pctx, pipe);
}

// The colour index of the array set: no output of its own, the current
// index is the last element's.
void vArrayIndex(N_Context* pctx, N_Pipe* pipe) {
    const N_ArrayCursor& a = pipe->pCommonPipeData->arrays;
    if (a.pIndex != nullptr && a.cIndex != 0) std::memcpy(pulAttr(pctx, N_ATTR_INDEX), a.pIndex + (a.cIndex - 1), 4);
    pipe->next[N_STAGE_ATTR_INDEX](pctx, pipe);
}

void vArrayNormal(N_Context* pctx, N_Pipe* pipe) {
    const N_ArrayCursor& a = pipe->pCommonPipeData->arrays;
    std::memcpy(pulAttr(pctx, N_ATTR_NORMAL), pElement(a.apNormal[a.flags & 1], 3, a), 12);
    pipe->next[N_STAGE_ATTR_NORMAL](pctx, pipe);
}

void vArrayTexCoord(N_Context* pctx, N_Pipe* pipe) {
    const N_ArrayCursor& a = pipe->pCommonPipeData->arrays;
    const ULONG k = ((a.flags >> 1) & 3) < 3 ? (a.flags >> 1) & 3 : 0;
    std::memcpy(pulAttr(pctx, N_ATTR_TEXCOORD), pElement(a.apTexCoord[k], 4, a), 16);
    pipe->next[N_STAGE_ATTR_TEXCOORD](pctx, pipe);
}

// The stream set by format bit: the state-block attribute and its words
// (0: the words are skipped).
struct AttrBit {
    ULONG attr;
    N_StageFn pfnStream;
    N_StageFn pfnArray;
};

template <ULONG bit, ULONG attr, ULONG words>
constexpr AttrBit Copy() {
    return {attr, vStreamCopy<35 + bit, attr, words>, nullptr};
}

const AttrBit kBits[] = {
    /* 5 RGB */ {N_ATTR_COLOUR, vStreamColour<40, 3>, vArrayColour<40>},
    /* 6 RGBA */ {N_ATTR_COLOUR, vStreamColour<41, 4>, vArrayColour<41>},
    /* 7 index */ {N_ATTR_INDEX, vStreamCopy<42, N_ATTR_INDEX, 1>, vArrayIndex},
    /* 8 normal */ {N_ATTR_NORMAL, vStreamCopy<43, N_ATTR_NORMAL, 3>, vArrayNormal},
    /* 9 facet plane */ {0, vStreamSkip<44, 4>, vStreamSkip<44, 4>},
    /* 10 texture */ {N_ATTR_TEXCOORD, vStreamCopy<45, N_ATTR_TEXCOORD, 4>, vArrayTexCoord},
    Copy<11, 58, 4>(), Copy<12, 59, 4>(), Copy<13, 60, 4>(), Copy<14, 61, 4>(), Copy<15, 62, 1>(),
    Copy<16, 67, 4>(), Copy<17, 68, 4>(), Copy<18, 69, 4>(), Copy<19, 70, 4>(), Copy<20, 71, 1>(),
    Copy<21, 63, 1>(), Copy<22, 64, 1>(), Copy<23, 65, 1>(), Copy<24, 72, 1>(), Copy<25, 73, 1>(),
    Copy<26, 74, 1>(),
};

}  // namespace

N_StageFn _NAttrStage(ULONG bit, ULONG arraySet) {
    if (bit < 5 || bit > 26) return nullptr;
    const AttrBit& row = kBits[bit - 5];
    return arraySet ? row.pfnArray : row.pfnStream;
}

ULONG _NAttrOfBit(ULONG bit) { return (bit >= 5 && bit <= 26) ? kBits[bit - 5].attr : 0; }
