// The accumulation return pass (shared/software/swaccum.h): one returned window row
// drawn on the board, each visible pixel a single-pixel primitive of the
// accumulation program, at most 255 a packet.
#include <algorithm>

#include "lgigl.h"
#include "glpdev.h"
#include "kz2/ucode/kz2ucode.h"
#include "kz2/ucode/kzprog.h"
#include "3d/queue/queue.h"
#include "shared/frame/hwframe.h"
#include "shared/software/swaccum.h"
#include "shared/software/swhost.h"

namespace {

constexpr LONG kPixelsPerPacket = 255;

}  // namespace

void _NAccumReturnRowKZ(N_Context* pctx, LONG cVisible, LONG r, const ULONG* pulColour, const BYTE* pjAlpha,
                        const ULONG* pulFlags, ULONG cFlags) {
    N_HwRecord* phw = pctx->pHw;
    // The alpha buffer of the draw buffer the colour goes to.
    const LONG alphaSlot = _NAlphaSlotOf(_NFirstDrawSlot(pctx));
    static const N_BoundBuffer kNoAlpha{};
    const N_BoundBuffer& alpha = alphaSlot >= 0 ? pctx->buffers[alphaSlot] : kNoAlpha;
    const bool bAlphaOnBoard =
        pjAlpha != nullptr && alpha.pBuffer != nullptr && alpha.pBuffer->memoryKind == GLBUFFER_MEMORY_DEVICE;
    kzRenderProg prog{};
    if (kzConstructRenderProgAccum(phw, &prog, bAlphaOnBoard ? 1 : 0) == 0) return;
    if (cVisible <= 0) return;
    PDEV* ppdev = phw->pDevice != nullptr ? phw->pDevice->ppdev : nullptr;
    const LONG readSlot = pctx->val.readSlot;
    const GLBuffer* pRead = readSlot >= 0 && readSlot < LONG(N_BUFFER_SLOTS) ? pctx->buffers[readSlot].pBuffer : nullptr;
    if (ppdev == nullptr || pRead == nullptr) return;
    // The screens the window may lie on: a split board's two side by side.
    const LONG cxArea = _NScreensWidth(phw, plGLScreenSize(ppdev)[0]), cyArea = plGLScreenSize(ppdev)[1];
    if (cxArea <= 0 || cyArea <= 0) return;

    // Host alpha memory holds the alpha window's rows from its own corner.
    const bool bHostAlpha = pjAlpha != nullptr && !bAlphaOnBoard && alpha.pjBase != nullptr;

    N_HwFrame f;
    _NHwFrameBegin(pctx, &f);
    // The clip words cover the whole 3D area; the clip boxes already chose
    // the pixels.
    if (prog.clipCount != 0) kzSetClipPair(&prog, kzClipPairOf(0, 0, cxArea, cyArea));
    const ULONG wordsPerPixel = pjAlpha != nullptr ? 3 : 2;
    const LONG Y = pRead->y + r;
    ULONG column = 0;  // the flag walk
    LONG remaining = cVisible;
    const ULONG* pulNext = pulColour;
    // Fewer a packet where these do not fit a queue ring.
    const LONG perPacket = static_cast<LONG>(
        _NHwPiecePrims(phw, _NHwHeadBytes(&prog) + 8, 4 * wordsPerPixel, static_cast<ULONG>(kPixelsPerPacket)));
    while (remaining > 0) {
        const LONG chunk = std::min(remaining, perPacket);
        remaining -= chunk;
        const ULONG cbRoom = _NHwHeadBytes(&prog) + 4 * static_cast<ULONG>(chunk) * wordsPerPixel + 8;
        ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, cbRoom);
        if (p == nullptr || !_NHwFrameQueues(&f)) {
            _NUpdateQAddr(phw);
            return;
        }
        p = _NHwWriteHead(f, &prog, p, nullptr, 0);
        LONG done = 0;
        for (; column < cFlags && done < chunk; ++column) {
            if (pulFlags[column] == 0) continue;
            ++done;
            const ULONG colour = *pulNext++;
            const LONG X = pRead->x + static_cast<LONG>(column);
            // Column 0 and row 0 of the screen are returned too.
            if (X < 0 || Y < 0 || X >= cxArea || Y >= cyArea) continue;
            *p++ = colour;
            const BYTE a = pjAlpha != nullptr ? pjAlpha[column] : 0;
            if (bAlphaOnBoard) {
                *p++ = _NAlphaWord(a);
            } else if (BYTE* pjStore = bHostAlpha ? _NHostPixel(alpha, X, Y) : nullptr; pjStore != nullptr) {
                *pjStore = a;
            }
            const ULONG pos = ((static_cast<ULONG>(Y) << 16) | (static_cast<ULONG>(X) & 0xFFFu)) << 4;
            *p++ = pos;
            p = _NHwRouteTriangle(f, p, pos, pos, pos);
        }
        _NUpdateQAddr(phw);
    }
}
