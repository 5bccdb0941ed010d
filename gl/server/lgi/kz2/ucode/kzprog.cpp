// The render program record: building it word by word, finishing it into
// its packet image, and printing it for the generator trace.
#include "kz2/ucode/kzprog.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "3d/context/context.h"
#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzdisasm.h"
#include "lgi.h"

ULONG gkzTrace = 0;

static_assert(sizeof(kzRenderProg) <= sizeof(N_HwRecord::programs[0]), "a program fits its slot");

void kzStartProgram(kzRenderProg* prog, ULONG header, ULONG dataAttr) {
    std::memset(prog, 0, sizeof *prog);
    std::fill(std::begin(prog->constants), std::end(prog->constants), KZ_UNPLACED);
    std::fill(std::begin(prog->spare), std::end(prog->spare), KZ_UNPLACED);
    prog->header = header;
    prog->dataAttr = dataAttr;
}

ULONG kzPlacePid(kzRenderProg* prog, ULONG pid, ULONG pidDefault, int line) {
    if (pid > 0xFFFEu) {
        DbgPrint("fixing up bogus pid %xh, line %d!?!\n", pid, line);
        pid = pidDefault;
    }
    const ULONG n = prog->pidCount++;
    if (n < KZ_PID_ROOM) {
        ULONG& w = prog->pids[n / 2];
        // The first of a pair starts its word, so an odd count leaves a high half of 0.
        w = (n % 2 == 0) ? (pid & 0xFFFFu) : ((w & 0xFFFFu) | (pid << 16));
    }
    return n;
}

ULONG kzPidAt(const kzRenderProg* prog, ULONG n) {
    // A finished program counts the words its pids fill (its header then
    // names them); one being built counts the pids.
    const ULONG cPids = kzuHdrPidWords(prog->header) != 0 ? 2 * prog->pidCount : prog->pidCount;
    if (n >= KZ_PID_ROOM || n >= cPids) return 0xFFFFu;
    return (prog->pids[n / 2] >> (16 * (n % 2))) & 0xFFFFu;
}

void kzPlaceConstant(kzRenderProg* prog, ULONG reg, ULONG value) {
    if (reg < KZU_constant_0 || reg > KZU_constant_7) {
        DbgPrint("kzPlaceConstant: register %u is no constant\n", reg);
        _NProgrammerError();
        return;
    }
    prog->constants[reg - KZU_constant_0] = value;
    ++prog->constantCount;
}

void _kzuEmit(kzRenderProg* prog, ULONG word, const char* source, int line) {
    if (gkzTrace) DbgPrint("adding instruction %x at %s %d\n", word, source, line);
    const ULONG n = prog->instrCount++;
    if (n < KZ_INSTR_ROOM) prog->instr[n] = word;
}

namespace {

// Zero words that stand for the per-packet colour of colour form 2.
ULONG cPlaceholders(ULONG dataAttr) {
    switch (dataAttr) {
    case 8: case 18: return 1;
    case 9: case 19: return 2;
    default: return 0;
    }
}

}  // namespace

ULONG kzSerialiseProgram(kzRenderProg* prog, ULONG flag66, ULONG flag67) {
    const ULONG cInstr = prog->instrCount, cPids = prog->pidCount;
    const ULONG fmt = prog->header & KZU_HDR_CONSTANTS_MASK;
    const ULONG cClip = prog->clipCount == 2 ? 2u : 0u;
    const ULONG cTrailing = prog->trailingCount;
    bool bRefuse = cInstr > KZ_MAX_INSTRUCTIONS || cPids > KZ_MAX_PIDS || cTrailing > KZ_TRAILING_ROOM;
    const ULONG cPidWords = (cPids + 1) / 2;
    const ULONG cBody = cPidWords + cInstr + cClip + kzuConstantsInPacket(fmt) + (prog->extraFlag ? 1 : 0) +
                        cPlaceholders(prog->dataAttr) + cTrailing;
    // Everything must end before the count words, placeholders included.
    if (!bRefuse && KZ_IMG_BODY + cBody > KZ_IMG_WORDS) {
        DbgPrint("kzSerialiseProgram: image of %u words does not fit\n", KZ_IMG_BODY + cBody);
        bRefuse = true;
    }
    if (!bRefuse && kzAllocConflict()) {
        DbgPrint("kzSerialiseProgram: registers shared by live values, no hardware program\n");
        bRefuse = true;
    }
    if (bRefuse) {
        prog->valid = 0;
        return 0;
    }
    prog->header &= ~((KZU_HDR_INSTR_MASK << KZU_HDR_INSTR_SHIFT) | (KZU_HDR_PIDW_MASK << KZU_HDR_PIDW_SHIFT));
    prog->header |= (cInstr << KZU_HDR_INSTR_SHIFT) | (cPidWords << KZU_HDR_PIDW_SHIFT);
    prog->pidCount = cPidWords;

    kzProgPacket& img = prog->image;
    std::memset(&img, 0, sizeof img);
    img.w[KZ_IMG_HEADER] = prog->header;
    ULONG* p = &img.w[KZ_IMG_BODY];
    p = std::copy_n(prog->pids, cPidWords, p);
    p = std::copy_n(prog->instr, cInstr, p);
    if (cClip) {
        *p++ = prog->clipMin;
        *p++ = prog->clipMax;
    }
    p = std::copy_n(prog->constants, kzuConstantsInPacket(fmt), p);
    if (prog->extraFlag) *p++ = prog->extraWord;
    p += cPlaceholders(prog->dataAttr);  // zero words, filled per packet
    std::copy_n(prog->trailing, cTrailing, p);
    const ULONG cBase = cInstr + cClip + cPidWords + 2;
    img.w[KZ_IMG_WORDS] = cBase + cTrailing + kzuConstantsInPacket(fmt);
    img.w[KZ_IMG_PRIM_WORDS] = cBase + kzuConstantsRoom(fmt);
    img.w[KZ_IMG_UNIT28] = flag66;
    img.w[KZ_IMG_UNIT27] = flag67;
    return 1;
}

void kzTraceProgram(const kzRenderProg* prog) {
    DbgPrint("dataAttr == %x\n", prog->dataAttr);
    const ULONG fmt = prog->header & KZU_HDR_CONSTANTS_MASK;
    switch (fmt) {
    case KZU_CONSTANTS_NONE: break;
    case KZU_CONSTANTS_8_PER_PKT: DbgPrint("Supplying some kz2 constants ... %s\n", "8 per pkt"); break;
    case KZU_CONSTANTS_8_PER_PRIM: DbgPrint("Supplying some kz2 constants ... %s\n", "8 per prim"); break;
    case KZU_CONSTANTS_4_AND_4:
        DbgPrint("Supplying some kz2 constants ... %s\n", "4 per pkt and 4 per prim");
        break;
    default: DbgPrint("BAAAAAAAD KZU_constants_fmt value: %x\n", fmt); break;
    }
    DbgPrint("header %8.8x\n", prog->header);
    // A finished program counts pid words.
    const ULONG cPids = 2 * std::min(prog->pidCount, KZ_PID_ROOM / 2);
    DbgPrint("pids ");
    for (ULONG n = 0; n < cPids; ++n) DbgPrint("%4.4x ", (prog->pids[n / 2] >> (16 * (n % 2))) & 0xFFFFu);
    DbgPrint("\n");
    const ULONG cInstr = std::min(prog->instrCount, KZ_INSTR_ROOM);
    for (ULONG n = 0; n < cInstr; ++n) {
        char sz[96];
        kzDisassemble(prog->instr[n], sz, sizeof sz);
        DbgPrint("%8.8x  %s\n", prog->instr[n], sz);
    }
    if (prog->clipCount == 2) DbgPrint("clip %8.8x %8.8x\n", prog->clipMin, prog->clipMax);
    if (fmt != KZU_CONSTANTS_NONE) {
        DbgPrint("constants");
        for (ULONG c : prog->constants) DbgPrint(" %8.8x", c);
        DbgPrint("\n");
    }
    const ULONG cTrailing = std::min(prog->trailingCount, KZ_TRAILING_ROOM);
    if (cTrailing != 0) {
        DbgPrint("trailing");
        for (ULONG n = 0; n < cTrailing; ++n) DbgPrint(" %8.8x", prog->trailing[n]);
        DbgPrint("\n");
    }
}
