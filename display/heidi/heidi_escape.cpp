// qrn_heidi: the escape's dispatch by code. Every code but init names its
// window by the handle init answered, checked on every use: it must be a
// window record of the calling client on this device. The escape answers 1
// whatever happens; what a code answers goes to the output.
#include <algorithm>
#include <cstring>

#include "device/debug.h"
#include "heidi/heidi_internal.h"

namespace {

// The least input of a code; 0 for codes that read nothing.
ULONG cjNeeded(ULONG ulCode) {
    switch (ulCode) {
        case HEIDI_INIT: return HEIDI_CJ_INIT;
        case HEIDI_LOAD_TEXTURE:
        case HEIDI_WRITE_COLOUR:
        case HEIDI_READ_COLOUR:
        case HEIDI_WRITE_DEPTH:
        case HEIDI_READ_DEPTH: return HEIDI_CJ_FULL;
        case HEIDI_FREE_TEXTURE: return HEIDI_CJ_HANDLE;
        case HEIDI_SET_BUFFER:
        case HEIDI_CLEAR: return HEIDI_CJ_WORD3;
        default: return HEIDI_CJ_DRAW;
    }
}

void vAnswer(ULONG cjOut, PVOID pvOut, ULONG ul) {
    if (pvOut != nullptr && cjOut >= sizeof(ULONG)) std::memcpy(pvOut, &ul, sizeof ul);
}

}  // namespace

ULONG qrn_heidi(SURFOBJ* pso, PDEV* ppdev, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    if (pso == nullptr || ppdev == nullptr || pvIn == nullptr || cjIn < sizeof(ULONG)) return 1;
    HEIDICMD cmd{};
    std::memcpy(&cmd, pvIn, std::min<ULONG>(cjIn, sizeof cmd));
    const ULONG ulCode = cmd.ulCode;
    const bool bKnown = (ulCode >= HEIDI_INIT && ulCode <= HEIDI_FREE_TEXTURE) ||
                        (ulCode >= HEIDI_NOP && ulCode <= HEIDI_READ_DEPTH);
    if (!bKnown) {
        DbgPrint("qrn_heidi(): unknown code %d\n", static_cast<int>(ulCode));
        return 1;
    }
    if (ulCode == HEIDI_NOP || ulCode == HEIDI_NOP_112 || ulCode == HEIDI_NOP_113) return 1;
    const bool bShort = cjIn < cjNeeded(ulCode);
    if (ulCode == HEIDI_INIT) {
        vAnswer(cjOut, pvOut, bShort ? 0 : ulHeidiInit(pso, ppdev, cmd));
        return 1;
    }
    HEIDIWND* phw = bShort ? nullptr : phwFind(ppdev, cmd.hWindow);
    switch (ulCode) {
        case HEIDI_LOAD_TEXTURE:
            if (cjOut < sizeof(ULONG))
                DbgPrint("qrn_heidi(): load_texture problem  cjOut<4! cjOut=%d\n", static_cast<int>(cjOut));
            vAnswer(cjOut, pvOut, phw != nullptr ? ulLoadTexture(ppdev, phw, cmd, cjOut) : HEIDI_NO_SLOT);
            break;
        case HEIDI_FREE_TEXTURE:
            if (phw != nullptr) vFreeTexture(ppdev, phw, cmd.jSelect);
            break;
        case HEIDI_SET_BUFFER:
            if (phw != nullptr) vSetBuffer(pso, ppdev, phw, cmd.cx | static_cast<ULONG>(cmd.cy) << 16);
            break;
        case HEIDI_CLEAR:
            if (phw != nullptr) vClear(pso, ppdev, phw, cmd);
            break;
        case HEIDI_WRITE_COLOUR:
        case HEIDI_READ_COLOUR:
        case HEIDI_WRITE_DEPTH:
        case HEIDI_READ_DEPTH:
            if (phw != nullptr) vTransfer(pso, ppdev, phw, cmd);
            break;
        default:  // 103 to 111
            if (phw != nullptr) vDraw(pso, ppdev, phw, cmd);
            break;
    }
    return 1;
}
