// Raster operations: the ROP3 code table, the descriptors callers test, and
// the compiler that turns a table entry into rasterizer instructions.
#include "rop/rop.h"

#include "pdev.h"

// Eight consecutive codes a row, the first code of the row at its end.
const ULONG aulRop3Code[256] = {
    0x01000010u, 0xAA000F32u, 0xAA000CB6u, 0x28000036u,
    0xAA0004DEu, 0x8800005Eu, 0xAA000A3Bu, 0xAA000B39u,  // 0x00
    0xAA000CB4u, 0xAA000B3Bu, 0x88000074u, 0xAA000B3Cu,
    0x28000034u, 0xAA000B6Cu, 0xAA000A3Au, 0x08000048u,  // 0x08
    0xAA0008BEu, 0xA000003Eu, 0xAA000673u, 0xAA000759u,
    0xAA000E33u, 0xAA000F31u, 0xFB2FC9BBu, 0xFBCE48BBu,  // 0x10
    0xBB011DB3u, 0xBB0198BBu, 0xEB006DEDu, 0xEB019E71u,
    0xBB0065BDu, 0xBB009F34u, 0xAA0009BAu, 0xAA0023BAu,  // 0x18
    0xAA000CCCu, 0xAA001373u, 0xA000006Cu, 0xAA00075Cu,
    0xBB005DB3u, 0xEB019CDBu, 0xBB005DB7u, 0xEB01796Cu,  // 0x20
    0xAA0030B3u, 0xBFCC4DB3u, 0xAA003231u, 0xFB3B4AECu,
    0xBB0059BAu, 0xAA0009BDu, 0xBB0118BAu, 0xAA000AECu,  // 0x28
    0x2800004Cu, 0xAA000774u, 0xAA00065Au, 0x20000028u,
    0xBB011CB3u, 0xAF0198F4u, 0xAF00D9F4u, 0xAA0007DAu,  // 0x30
    0xBB0065EDu, 0xAF00D9DEu, 0xAF0118DAu, 0xAA0006F4u,
    0x28000033u, 0xBB015D4Bu, 0xAF00A5F4u, 0x28000037u,  // 0x38
    0xAA0008BCu, 0xAA000F33u, 0xBB0119BBu, 0xBB0199B9u,
    0xA000003Cu, 0xAA00334Cu, 0xBB005DB5u, 0xBB01593Cu,  // 0x40
    0xAA0004F3u, 0xEFDC4DB3u, 0xEB005D73u, 0xAA0009EDu,
    0xAA001259u, 0xFB2F4ABCu, 0xEB009E74u, 0xAA000ABCu,  // 0x48
    0x8800005Cu, 0xAA000F34u, 0xEB011CF3u, 0xAF019A71u,
    0xAA000E32u, 0x80000068u, 0xAF00F9B4u, 0xAA000FB2u,  // 0x50
    0xEB013673u, 0xBB00DDB7u, 0x8800005Bu, 0xEB015D73u,
    0xAF0138B2u, 0xAA000EB4u, 0xEB009E73u, 0x8800005Fu,  // 0x58
    0xAA0008BBu, 0xFBCE49BBu, 0xBB005DCDu, 0xBF4D88BBu,
    0xBB00593Bu, 0xEFB688BBu, 0xA000003Bu, 0xBB01593Bu,  // 0x60
    0xFBCF89BBu, 0xAB0209BBu, 0xEF5D08BBu, 0xFBEF49BBu,
    0xBF4D08BBu, 0xBFF349BBu, 0xEB009DF4u, 0xAA000ABBu,  // 0x68
    0xAA002239u, 0xFB8E493Eu, 0xEB011CF2u, 0xBB0348BBu,
    0xBB011CB2u, 0xAA000ECCu, 0xBB009DCCu, 0xA000003Fu,  // 0x70
    0xAA0009B9u, 0xFBEE89BBu, 0xEB00B673u, 0xAA0006F3u,
    0xBB009E33u, 0xAA000EB3u, 0xBB009DB3u, 0xAA000FB1u,  // 0x78
    0xAA000CB1u, 0xBB019DB3u, 0xAA003233u, 0xBFAC8CB1u,
    0xAA001273u, 0xEB0139BDu, 0xFB2E8DB3u, 0xAA0009BFu,  // 0x80
    0xA0000039u, 0xBB0135B5u, 0xEB009CF4u, 0xBB015939u,
    0xBB009CB4u, 0xEB017939u, 0xFB2E8AB9u, 0xAA000AB9u,  // 0x88
    0xAA00223Bu, 0xBB0135CDu, 0xEF3C89BBu, 0xEB00DDDDu,
    0xBF2C89BBu, 0xBB00DDCDu, 0xAA0009BBu, 0xFB4F89BBu,  // 0x90
    0xBB0135B2u, 0xA200043Bu, 0xAF00F9B1u, 0xEB015DF4u,
    0xAF00D9F1u, 0xBB015DB4u, 0xFB4E49BBu, 0xAA000BBBu,  // 0x98
    0x88000059u, 0xEB0139EDu, 0xEB00ACECu, 0xAF015959u,
    0xEB0139BAu, 0x8A00045Bu, 0xBB00D8BBu, 0xAF01D973u,  // 0xA0
    0xEB00ACB9u, 0xAF00E6F3u, 0x80000000u, 0xAA000D36u,
    0xAF009A71u, 0xEB0179B9u, 0xAA000D34u, 0x88000075u,  // 0xA8
    0xAA0008EDu, 0xEB009F71u, 0xFB3B496Cu, 0xAA0006D9u,
    0xAA0009BCu, 0xEB01DD73u, 0xFB5B09BBu, 0xAA0007F3u,  // 0xB0
    0xBB00A639u, 0xEB015DF1u, 0xAA000D4Cu, 0xA000006Du,
    0xBB009CB3u, 0xBB015DB3u, 0xAA000D33u, 0xAA0032B1u,  // 0xB8
    0x28000031u, 0xBB0119BDu, 0xBB0119BAu, 0x2A000433u,
    0xBB0098BCu, 0xAF016D31u, 0xBF4C4A3Bu, 0xBB0159BCu,  // 0xC0
    0xBB009CB1u, 0xAA0005F6u, 0xAF0098F4u, 0xBB0159B9u,
    0x20000030u, 0xAA0012DAu, 0xAA000574u, 0x28000035u,  // 0xC8
    0xAF0098DCu, 0xBB015D31u, 0xAA0009ECu, 0xBB01D9BAu,
    0xFB2F493Cu, 0xAA000EB1u, 0xBF4C4DB3u, 0xAA000FB3u,  // 0xD0
    0xEB00AE39u, 0xBB015DB1u, 0xAF0098F3u, 0xBB01DDB3u,
    0xAA00055Cu, 0xA000003Du, 0xAA000573u, 0xAA0012F1u,  // 0xD8
    0xAF00ACB1u, 0xAA0009BEu, 0xBB0098ECu, 0xBB0159ECu,
    0xEB009E71u, 0xEB0179BCu, 0xBB0098BBu, 0xBB0159BBu,  // 0xE0
    0xFB4E48BAu, 0xBFEDC9BBu, 0xAA000D31u, 0xEB00ED3Eu,
    0xAA000559u, 0xAA0012DBu, 0xA000003Au, 0xAA000ABAu,  // 0xE8
    0x08000050u, 0xAA0022BAu, 0xAA00096Cu, 0x2800004Du,
    0xAA00093Cu, 0x8800005Du, 0xAA00093Bu, 0xAA0022B9u,  // 0xF0
    0xAA000939u, 0xAA0022BBu, 0x88000072u, 0xAA0006F2u,
    0x28000032u, 0xAA000EB2u, 0xBB009D32u, 0x02000018u,  // 0xF8
};

namespace {

// Usage byte of an entry and its class bits (0 one group, 2 two, 3 three or
// four).
inline ULONG ulUsage(ULONG entry) { return entry >> 24; }
constexpr ULONG kGroupBits = 7;
constexpr ULONG kGroupMask = 0x7Fu;
constexpr ULONG kMaxGroups = 4;
constexpr ULONG kFourthGroup = 0x00E00000u;  // bits 21-23: a fourth group exists

// Operand codes of a group's F1 and F2 fields.
constexpr ULONG kOperandEarlier = 0;
constexpr ULONG kOperandS = 1;

// Opcode of each group operation 1..7 (0 is the unary operation).
constexpr ULONG kOpcodes[8] = {0, OP_AND, OP_OR, OP_XOR, OP_ANDNOT, OP_ORNOT, OP_NOR, OP_NAND};

// The two temporaries: slot 0 is register 11, slot 1 register 10.
enum SlotState : ULONG { kFree = 0, kLive = 1, kConsumed = 2 };
inline ULONG ulSlotRegister(ULONG c) { return REG_TEMP11 - c; }

}  // namespace

ULONG ulRop3Info(ULONG rop3) {
    const ULONG entry = aulRop3Code[rop3 & 0xFF];
    const ULONG u = ulUsage(entry);
    if ((u & 0xFC) == 0) return ((u & 3) << 6) | 1;  // 0x00 and 0xFF: one copy of a constant
    switch (u & 3) {
        case 2: return (u << 8) | 2;
        case 3: return (u << 8) | ((entry & kFourthGroup) ? 4 : 3);
        default: return (u << 8) | 1;
    }
}

ULONG ulRop2ToRop3(ULONG mix) {
    const ULONG r = (mix - 1) & 0xF;
    return ((r & 0xC) << 4) | (r << 2) | (r & 3);
}

ULONG ulRop2Info(ULONG mix) { return ulRop3Info(ulRop2ToRop3(mix)); }

ULONG cRop3Instructions(ULONG* pwOut, ULONG rop3, ULONG regD, ULONG regS, ULONG regP,
                        ULONG ulLast) {
    const ULONG groups = aulRop3Code[rop3 & 0xFF] & 0xFFFFFFu;
    const ULONG aulOperand[4] = {0, regS, regP, regD};
    ULONG aState[2] = {kFree, kFree};
    ULONG c = 0;
    ULONG cWords = 0;
    for (ULONG k = 0; k < kMaxGroups; ++k) {
        const ULONG g = (groups >> (kGroupBits * k)) & kGroupMask;
        if (g == 0) break;
        const ULONG op = g & 7, f1 = (g >> 3) & 3, f2 = (g >> 5) & 3;
        const bool bMore =
            k + 1 < kMaxGroups && ((groups >> (kGroupBits * (k + 1))) & kGroupMask) != 0;

        // B: the first operand field, or a temporary holding an earlier result.
        ULONG b = 0;
        if (op != 0) {
            if (f1 != kOperandEarlier) {
                b = aulOperand[f1];
            } else {
                if (aState[c] != kLive) c ^= 1;
                aState[c] = kConsumed;
                b = ulSlotRegister(c);
            }
        }
        // A: the second operand field, an earlier result, or a constant.
        ULONG a;
        if (f2 != kOperandEarlier) {
            a = aulOperand[f2];
        } else {
            if (aState[c] != kLive) c ^= 1;
            if (aState[c] == kLive) {
                aState[c] = kConsumed;
                a = ulSlotRegister(c);
            } else {
                a = (g & 8) ? REG_CONST1 : REG_CONST0;
            }
        }
        // Destination: the lowest free temporary, or the caller's word.
        ULONG ulDst;
        if (bMore) {
            c = aState[0] == kFree ? 0 : 1;
            aState[c] = kLive;
            ulDst = INSTR_DST(ulSlotRegister(c));
        } else {
            ulDst = ulLast;
        }
        const ULONG opcode = op != 0 ? kOpcodes[op] : (f1 == kOperandS ? OP_NOT : OP_COPY);
        pwOut[cWords++] =
            ulDst | b << INSTR_B_SHIFT | a << INSTR_A_SHIFT | (ulLast & INSTR_CLIP) | opcode;
        for (ULONG& s : aState) {
            if (s == kConsumed) s = kFree;
        }
    }
    return cWords;
}

ULONG cRop2Instructions(ULONG* pwOut, ULONG mix, ULONG regD, ULONG regS, ULONG regP, ULONG ulLast) {
    return cRop3Instructions(pwOut, ulRop2ToRop3(mix), regD, regS, regP, ulLast);
}

ULONG cMaskedCopyInstructions(ULONG* pwOut, ULONG m) {
    if ((m & PLANE_MASK_ALL) == PLANE_MASK_ALL) {
        pwOut[0] = MASKED_COPY_PLAIN;
        return 1;
    }
    pwOut[0] = MASKED_COPY_WORD0;
    pwOut[1] = MASKED_COPY_WORD1;
    pwOut[2] = MASKED_COPY_WORD2;
    return 3;
}

ULONG ulPlaneMask(const PDEV* ppdev, ULONG pid) {
    const bool bOverlay = ppdev->cGLOverlayContexts != 0 && ppdev->iBitmapFormat == BMF_16BPP &&
                          ((pid >> 8) & 0xE0u) == 0x80u;
    return bOverlay ? PLANE_MASK_NO_OVERLAY : PLANE_MASK_ALL;
}
