// The lgi command stream: opcode words with their argument words, run
// against the current context through one table of handlers. Each handler
// answers how many argument words it used, which is how the interpreter
// finds the next opcode. A handler also knows how many words are left in
// the buffer: a command that would run past them, or whose attribute id,
// table word or dirty bits the attribute table does not vouch for, is
// refused before anything of it is read, and the stream ends there (the
// words after it cannot be trusted to start a command).
#include <cstdint>
#include <cstring>

#include "../../seams.h"

namespace {

constexpr LONG kRefused = -1;

// (context, opcode, first argument word, words left) -> argument words used,
// or kRefused.
typedef LONG (*N_PacketHandler)(N_Context* pctx, ULONG opcode, const ULONG* pulArgs, ULONG cLeft);

void* pvAddress(const ULONG* pul) {
    const std::uint64_t u = pul[0] | (std::uint64_t{pul[1]} << 32);
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(u));
}

bool bAttrId(ULONG id) { return id >= N_ATTR_FIRST && id <= N_ATTR_LAST; }

LONG _NPacketAbort(N_Context*, ULONG opcode, const ULONG* pulArgs, ULONG) {
    DbgPrint("_NPacketAbort: INVALID opcode: %d\n", static_cast<int>(opcode));
    DbgPrint("                       pBuf  : %x\n",
             static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(pulArgs)));
    _NProgrammerError();
    return 0;
}

LONG _NPacketNop(N_Context*, ULONG, const ULONG*, ULONG) { return 0; }

template <ULONG cWords>
LONG _NPacketStub(N_Context*, ULONG, const ULONG*, ULONG cLeft) {
    if (cLeft < cWords) return kRefused;
    _NProgrammerError();
    return cWords;
}

LONG _NPacketSaveState(N_Context* pctx, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 2) return kRefused;
    std::memcpy(pvAddress(pulArgs), pctx->sb.w, sizeof pctx->sb.w);
    return 2;
}

LONG _NPacketRestoreState(N_Context* pctx, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 2) return kRefused;
    std::memcpy(pctx->sb.w, pvAddress(pulArgs), sizeof pctx->sb.w);
    pctx->dirty = N_DIRTY_ALL;
    pctx->xf.modelViewChanged = 1;
    pctx->xf.projectionChanged = 1;
    return 2;
}

LONG _NPacketGetAttr(N_Context* pctx, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 3 || !bAttrId(pulArgs[0])) return kRefused;
    std::memcpy(pvAddress(pulArgs + 1), pulAttr(pctx, pulArgs[0]),
                gaNAttrTable[pulArgs[0]].cWords * sizeof(ULONG));
    return 3;
}

LONG _NPacketSetAttrIndirect(N_Context* pctx, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 3 || !bAttrId(pulArgs[0])) return kRefused;
    std::memcpy(pulAttr(pctx, pulArgs[0]), pvAddress(pulArgs + 1),
                gaNAttrTable[pulArgs[0]].cWords * sizeof(ULONG));
    return 3;
}

LONG _NPacketSetAttr(N_Context* pctx, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 3) return kRefused;
    const ULONG id = pulArgs[0];
    if (!bAttrId(id) || pulArgs[1] != ulAttrDescriptor(id) || pulArgs[2] != gaNAttrTable[id].flDirty)
        return kRefused;
    const ULONG cWords = gaNAttrTable[id].cWords;
    if (cLeft - 3 < cWords) return kRefused;
    _NSetSBAttr(pctx, id, pulArgs[1], pulArgs[2], pulArgs + 3);
    return static_cast<LONG>(3 + cWords);
}

LONG _NPacketSetStackAttr(N_Context* pctx, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 3) return kRefused;
    const ULONG op = pulArgs[0];
    if (op > N_ATTR_EXTRA_MATRIX_OP) {
        _NSetSBStackAttr(pctx, op, 0, nullptr);  // reports the operation
        return kRefused;
    }
    const ULONG cValue = bStackOpTakesValue(op) ? 16 : 0;
    if (pulArgs[2] != flStackDirty(op) || cLeft - 3 < cValue) return kRefused;
    if (_NSetSBStackAttr(pctx, op, pulArgs[2], pulArgs + 3) < 0) return kRefused;
    return static_cast<LONG>(3 + cValue);
}

LONG _NPacketRasterPos(N_Context*, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 4) return kRefused;
    float af[4];
    for (ULONG i = 0; i < 4; ++i) af[i] = __glXWordFloat(pulArgs[i]);
    N_RasterPos(af);
    return 4;
}

LONG _NPacketDrawPrim(N_Context* pctx, ULONG opcode, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 2) return kRefused;
    const ULONG format = pulArgs[0];
    const ULONG n = pulArgs[1];
    // Every vertex has a position: a format without one would make vertices
    // of no words, as many as the count says, from an empty buffer.
    if ((format & (N_VTX_POS2 | N_VTX_POS3 | N_VTX_POS4)) == 0) return kRefused;
    const std::uint64_t cWords = _NPacketDrawWords(opcode, format, n);
    if (cWords > cLeft) return kRefused;
    _NExecInlinePrim(pctx, opcode, format, n, pulArgs + 2);
    return static_cast<LONG>(cWords);
}

LONG _NPacketAccum(N_Context*, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 2) return kRefused;
    _NAccum(pulArgs[0], __glXWordFloat(pulArgs[1]));
    return 2;
}

LONG _NPacketClearAccum(N_Context*, ULONG, const ULONG* pulArgs, ULONG cLeft) {
    if (cLeft < 1) return kRefused;
    _NClearAccum(pulArgs[0]);
    return 1;
}

// The handler table, as rows of opcode ranges; opcodes no row names are
// invalid.
struct Range {
    ULONG first;
    ULONG last;
    N_PacketHandler pfn;
};
constexpr Range kRanges[] = {
    {14, 15, _NPacketNop},
    {16, 16, _NPacketSaveState},
    {17, 17, _NPacketGetAttr},
    {18, 18, _NPacketStub<2>},
    {19, 19, _NPacketNop},
    {22, 22, _NPacketRestoreState},
    {23, 23, _NPacketSetAttr},
    {24, 24, _NPacketSetAttrIndirect},
    {25, 25, _NPacketSetStackAttr},
    {27, 27, _NPacketNop},
    {30, 31, _NPacketNop},
    {36, 39, _NPacketNop},
    {42, 45, _NPacketNop},
    {48, 50, _NPacketNop},
    {52, 52, _NPacketNop},
    {54, 60, _NPacketNop},
    {61, 61, _NPacketStub<1>},
    {62, 62, _NPacketRasterPos},
    {N_PKT_DRAW_FIRST, N_PKT_DRAW_LAST, _NPacketDrawPrim},
    {78, 78, _NPacketAccum},
    {79, 79, _NPacketClearAccum},
};

struct Table {
    N_PacketHandler a[N_PKT_OPCODES];
    constexpr Table() : a{} {
        for (N_PacketHandler& pfn : a) pfn = _NPacketAbort;
        for (const Range& r : kRanges)
            for (ULONG op = r.first; op <= r.last; ++op) a[op] = r.pfn;
    }
};
constexpr Table kTable;

}  // namespace

std::uint64_t _NPacketDrawWords(ULONG kind, ULONG format, ULONG n) {
    // The per-primitive words (bits 0 and 1) lead once for line strips,
    // polygons and triangles, and with every vertex otherwise.
    const std::uint64_t cVertex = _NAttrMaskWords(format & ~0x3u);
    const std::uint64_t cPerPrim = _NAttrMaskWords(format & 0x3u);
    const bool bOnce = _NPerPrimWordsOnce(kind);
    return 2 + std::uint64_t{n} * cVertex + cPerPrim * (bOnce ? 1 : std::uint64_t{n});
}

ULONG N_DispatchPackets(const ULONG* pulWords, LONG cWords) {
    if (!bNHaveContext()) return 0;
    N_Context* pctx = gpNCurrent;
    pctx->fromExecPrimitive = 0;
    if (cWords < 1 || pulWords == nullptr) return 0;
    auto cLeft = static_cast<ULONG>(cWords);
    const ULONG* pul = pulWords;
    while (cLeft > 0) {
        const ULONG opcode = *pul++;
        --cLeft;
        const N_PacketHandler pfn = opcode < N_PKT_OPCODES ? kTable.a[opcode] : _NPacketAbort;
        const LONG cUsed = pfn(pctx, opcode, pul, cLeft);
        if (cUsed < 0) {
            DbgPrint("N_DispatchPackets: opcode %d refused\n", static_cast<int>(opcode));
            break;
        }
        pul += cUsed;
        cLeft -= static_cast<ULONG>(cUsed);
    }
    return 0;
}
