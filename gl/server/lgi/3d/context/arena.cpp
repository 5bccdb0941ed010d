// The work arena and the stage table.
#include "arena.h"

#include <cstdint>
#include <vector>

#include "../../seams.h"

N_Arena gNArena;

namespace {

BYTE* gpjArena = nullptr;

// One buffer of the arena: how many entries of what size, and where its
// address goes.
struct Slice {
    std::size_t cEntries;
    std::size_t cbEntry;
    void** ppv;
};

template <typename T>
void** Slot(T*& p) {
    return reinterpret_cast<void**>(&p);
}

constexpr std::size_t W = sizeof(ULONG);
constexpr std::size_t P = sizeof(N_StageFn);
constexpr std::size_t kAlign = 16;

// The buffers in arena order (entries counted in 32-bit words, pointer
// tables in pointers).
const std::vector<Slice>& Slices() {
    N_Arena& a = gNArena;
    static const std::vector<Slice> v = {
        {6120, W, Slot(a.pVertexWork)},   {1020, W, Slot(a.pVertexFlags)},
        {4080, W, Slot(a.apVertex16[0])}, {4080, W, Slot(a.apVertex16[1])},
        {4080, W, Slot(a.apVertex16[2])}, {4080, W, Slot(a.apVertex16[3])},
        {3060, W, Slot(a.pVertex12)},
        {4104, W, Slot(a.apClip[0])},     {4104, W, Slot(a.apClip[1])},
        {4104, W, Slot(a.apClip[2])},     {4104, W, Slot(a.apClip[3])},
        {4104, W, Slot(a.apClip[4])},     {4104, W, Slot(a.apClip[5])},
        {1026, W, Slot(a.apClipWords[0])}, {1026, W, Slot(a.apClipWords[1])},
        {4104, W, Slot(a.apClip16[0])},   {4104, W, Slot(a.apClip16[1])},
        {3078, W, Slot(a.apClip12[0])},   {3078, W, Slot(a.apClip12[1])},
        {4104, W, Slot(a.apClip16b[0])},  {4104, W, Slot(a.apClip16b[1])},
        {1026, W, Slot(a.pClipWords)},    {4104, W, Slot(a.pClip16)},
        {5130, W, Slot(a.pClip20)},       {1026, W, Slot(a.pClipWordsB)},
        {280, W, Slot(a.apFace[0])},      {280, W, Slot(a.apFace[1])},
        {N_IMAGE_WORDS, W, Slot(a.apImage[0])}, {N_IMAGE_WORDS, W, Slot(a.apImage[1])},
        {N_STAGES, P, Slot(a.pStageTable)}, {4, P, Slot(a.pStencilOps)},
        {N_RECIPROCALS, W, Slot(a.pReciprocal)}, {1026, W, Slot(a.pWords1026)},
        {256, W, Slot(a.pByteReplicate)},
        {4104, W, Slot(a.apBuf16[0])},    {4104, W, Slot(a.apBuf16[1])},
        {3078, W, Slot(a.pBuf12)},
        {N_SPAN, W, Slot(a.apSpan[0])},   {N_SPAN, W, Slot(a.apSpan[1])},
        {N_SPAN, W, Slot(a.apSpan[2])},   {N_SPAN, W, Slot(a.apSpan[3])},
        {N_SPAN, W, Slot(a.apSpan[4])},
        {9232, W, Slot(a.apSpan16[0])},   {9232, W, Slot(a.apSpan16[1])},
        {6048, W, Slot(a.pStrip24)},      {10080, W, Slot(a.pStrip40)},
        {8064, W, Slot(a.pStrip32)},      {1008, W, Slot(a.pStripWords)},
    };
    return v;
}

std::size_t cbAligned(std::size_t cb) { return (cb + kAlign - 1) & ~(kAlign - 1); }

}  // namespace

std::size_t cbNArena(void) {
    std::size_t cb = 0;
    for (const Slice& s : Slices()) cb += cbAligned(s.cEntries * s.cbEntry);
    return cb;
}

std::size_t cNArenaWords32(void) {
    std::size_t c = 0;
    for (const Slice& s : Slices()) c += s.cEntries;
    return c;
}

ULONG _NAllocData(void) {
    const std::size_t cb = cbNArena();
    auto* pj = static_cast<BYTE*>(VirtualAlloc(nullptr, cb, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (pj == nullptr) {
        DbgPrint("lgi: can't alloc %x\n", static_cast<ULONG>(cb));
        return 0;
    }
    DbgPrint("lgi: alloc %x @ %x\n", static_cast<ULONG>(cb),
             static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(pj)));
    gpjArena = pj;
    std::size_t ib = 0;
    for (const Slice& s : Slices()) {
        *s.ppv = pj + ib;
        ib += cbAligned(s.cEntries * s.cbEntry);
    }
    gNArena.pReciprocal[0] = 65536.0f;
    for (ULONG n = 1; n < N_RECIPROCALS; ++n) gNArena.pReciprocal[n] = 1.0f / static_cast<float>(n);
    for (ULONG i = 0; i < 256; ++i) gNArena.pByteReplicate[i] = i * 0x01010101u;
    return 1;
}

void _NFreeData(void) {
    if (gpjArena == nullptr) return;
    DbgPrint("_NFreeData\n");
    VirtualFree(gpjArena, 0, MEM_RELEASE);
    gpjArena = nullptr;
    gNArena = N_Arena{};
}

void _NEmptyStage(N_Context*, N_Pipe*) {}
