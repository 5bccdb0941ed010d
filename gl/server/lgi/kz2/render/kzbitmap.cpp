// Bitmaps straight to the board (kzrects.h): each set bit one point under
// a fixed program of a few constant words, at most 400 points a packet,
// the whole bitmap once under each clip rectangle.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "3d/pixels/pixelpath.h"
#include "lgigl.h"
#include "kz2/ucode/kzprog.h"
#include "glpdev.h"
#include "kz2/render/kzrects.h"
#include "shared/frame/hwframe.h"
#include "shared/software/swfrag.h"

namespace {

constexpr ULONG kBitmapRoom = 1640;  // the longest head and 400 point words
constexpr ULONG kOverlayMask = 0x800000u;

// The fixed program of a packet: command word, instructions, and whether
// the mask word follows the colour.
struct BitmapProgram {
    ULONG command = 0;
    ULONG instr[4] = {};
    ULONG nInstr = 0;
    bool bMask = false;
};

// The variant by the first buffer's depth while overlay contexts live, for
// one or two buffers. Depths the overlay variants do not name take the
// default program, so every packet carries a command and a program.
BitmapProgram programOf(ULONG cBuffers, bool bOverlays, ULONG bpp) {
    const bool bTwo = cBuffers == 2;
    BitmapProgram p;
    if (bOverlays && bpp == 16) {
        const ULONG instr[4] = {0x10386a00u, 0x10364341u, 0x10387200u, 0x10364381u};
        p.command = bTwo ? 0x2405020u : 0x2205020u;
        p.nInstr = bTwo ? 4 : 2;
        std::copy_n(instr, p.nInstr, p.instr);
        p.bMask = true;
        return p;
    }
    const bool bOne = bOverlays && bpp == 1;
    p.command = bTwo ? 0x2201020u : 0x2101020u;
    p.instr[0] = bOne ? 0x10366b41u : 0x10360348u;
    p.instr[1] = bOne ? 0x10366b81u : 0x10360388u;
    p.nInstr = bTwo ? 2 : 1;
    return p;
}

// What every packet of one bitmap repeats.
struct BitmapPacket {
    N_HwFrame f;
    BitmapProgram prog;
    ULONG pidWord = 0;
    ULONG colour = 0;
};

// Opens a packet in every queue and writes its head under the clip
// rectangle; answers where the points go (null without queues).
ULONG* pOpenBitmapPacket(BitmapPacket& bp, ULONG clipMin, ULONG clipMax) {
    N_HwRecord* phw = bp.f.phw;
    KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    if (qm == nullptr) return nullptr;
    kz2ConfigDisable(qm, N_UNIT_A_BIT);
    ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, kBitmapRoom);
    if (p == nullptr || !_NHwFrameQueues(&bp.f)) {
        _NUpdateQAddr(phw);
        return nullptr;
    }
    for (ULONG q = 0; q < bp.f.cQueues; ++q) bp.f.qm[q].pPacket[0] = bp.prog.command;
    *p++ = bp.pidWord;
    p = std::copy_n(bp.prog.instr, bp.prog.nInstr, p);
    *p++ = clipMin;
    *p++ = clipMax;
    *p++ = bp.colour;
    if (bp.prog.bMask) *p++ = kOverlayMask;
    return p;
}

LONG lClamp(std::int64_t v) { return static_cast<LONG>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

bool _NDrawBitmapKZ(N_Context* pctx, ULONG width, ULONG height, float xorig, float yorig, const BYTE* pjBits) {
    LONG slots[4];
    const ULONG cBuffers = _NDrawSlots(pctx, slots);
    N_HwRecord* phw = pctx->pHw;
    PDEV* ppdev = phw->pDevice != nullptr ? phw->pDevice->ppdev : nullptr;
    if (cBuffers == 0 || pctx->cClipRects == 0 || ppdev == nullptr) return true;
    if (cBuffers > 2) {
        DbgPrint("N_DrawBitmap: can't handle %d multiDraws!\n", static_cast<int>(cBuffers));
        return false;
    }
    const GLBuffer* pb0 = pctx->buffers[slots[0]].pBuffer;
    const GLBuffer* pb1 = cBuffers == 2 ? pctx->buffers[slots[1]].pBuffer : nullptr;
    // A split board's screens side by side: the queues route each row's
    // pieces to the screen they lie on.
    const LONG cxScreen = _NScreensWidth(pctx->pHw, plGLScreenSize(ppdev)[0]), cyScreen = plGLScreenSize(ppdev)[1];

    BitmapPacket bp;
    _NHwFrameBegin(pctx, &bp.f);
    bp.prog = programOf(cBuffers, *pulGLOverlayContexts(ppdev) != 0, pb0->bitsPerPixel);
    bp.pidWord = _NPidOf(pb0) | (pb1 != nullptr ? _NPidOf(pb1) << 16 : 0);
    // The raster colour: an index << 4 for the 1- and 4-bit buffers, else
    // the three channels in the colour word of the buffer's depth (up to
    // 255 at 32 bits, 127 at 16), each rounded to the nearest level as GL
    // converts a colour to a fixed-point value (0.5 is 128, not 127).
    N_PixelSpan ps{};
    const bool bIndexMode = *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1;
    float channelMax[3];
    _NChannelMax(pctx, channelMax);
    for (int c = 0; c < 3; ++c) {
        ps.storeScale[c] = bIndexMode ? 1.0f : channelMax[c];
        ps.storeOffset[c] = bIndexMode ? 0.0f : pctx->val.colour.offset[c];
    }
    ps.storeScale[3] = bIndexMode ? 1.0f : 255.0f;
    _NBitmapColour(pctx, &ps);
    const auto channel = [](float v) { return static_cast<ULONG>(_NTruncToLong(v + 0.5f)) & 0xFFu; };
    bp.colour = pb0->bitsPerPixel == 1 || pb0->bitsPerPixel == 4
                    ? static_cast<ULONG>(_NTruncToLong(ps.bitmapColour[0])) << 4
                    : (channel(ps.bitmapColour[0]) << 16) | (channel(ps.bitmapColour[1]) << 8) | channel(ps.bitmapColour[2]);

    // Placement. The raster position is kept in window coordinates (y up
    // from the window's bottom edge); the bitmap's lower-left pixel is
    // (floor(x - xorig), floor(y - yorig)), so its bottom row goes on screen
    // row (height - 1 - that row); rows go upward.
    const LONG lx = _NTruncToLong(std::floor(fNAttr(pctx, N_ATTR_RASTER_POS, 0) - xorig));
    const LONG ly = _NTruncToLong(std::floor(fNAttr(pctx, N_ATTR_RASTER_POS, 1) - yorig));
    const std::int64_t x0Start = std::int64_t{lx} + pb0->x;
    const std::int64_t yStart = std::int64_t{pb0->y} + pb0->cy - 1 - std::int64_t{ly};
    const std::size_t cjRow = (std::size_t{width} + 7) / 8;

    for (ULONG i = 0; i < pctx->cClipRects; ++i) {
        // a. The clip rectangle (screen pixels), held to the screen.
        const ULONG* c = pctx->pulDecodedClip + 4 * std::size_t{i};
        if (static_cast<LONG>(c[0]) >= cxScreen || static_cast<LONG>(c[1]) >= cyScreen) continue;
        const kzClipPair clip =
            kzClipPairOf(static_cast<LONG>(c[0]), static_cast<LONG>(c[1]), std::min<LONG>(static_cast<LONG>(c[2]), cxScreen),
                         std::min<LONG>(static_cast<LONG>(c[3]), cyScreen));
        if (clip.empty()) continue;
        const ULONG clipMin = clip.min, clipMax = clip.max;
        // c. Rows below the screen are skipped; none on it: nothing drawn.
        if (yStart < 0) continue;
        const BYTE* pjRows = pjBits;
        std::int64_t y = yStart, rows = height;
        if (y >= cyScreen) {
            const std::int64_t skip = y - cyScreen + 1;
            if (skip >= rows) continue;
            pjRows += static_cast<std::size_t>(skip) * cjRow;
            rows -= skip;
            y = cyScreen - 1;
        }
        rows = std::min(rows, y + 1);
        // d. Columns left of the screen are skipped, and those past it.
        if (x0Start >= cxScreen) continue;
        const std::int64_t skipBits = x0Start < 0 ? -x0Start : 0;
        if (skipBits >= width) continue;
        const LONG x0 = lClamp(x0Start + skipBits);
        const auto cVisible = static_cast<ULONG>(std::min<std::int64_t>(width - skipBits, cxScreen - x0));

        // e-g. Every set bit a point, 400 a packet.
        ULONG* p = pOpenBitmapPacket(bp, clipMin, clipMax);
        if (p == nullptr) return true;
        ULONG cPoints = 0;
        for (std::int64_t r = 0; r < rows; ++r) {
            const BYTE* pjRow = pjRows + static_cast<std::size_t>(r) * cjRow;
            const auto yRow = static_cast<ULONG>(y - r);
            for (ULONG col = 0; col < cVisible; ++col) {
                const std::size_t b = static_cast<std::size_t>(skipBits) + col;
                if (!((pjRow[b / 8] >> (7 - b % 8)) & 1u)) continue;
                if (cPoints == N_BATCH_PRIMS) {
                    _NUpdateQAddr(phw);
                    p = pOpenBitmapPacket(bp, clipMin, clipMax);
                    if (p == nullptr) return true;
                    cPoints = 0;
                }
                const ULONG pos = ((yRow << 16) | ((static_cast<ULONG>(x0) + col) & 0xFFFu)) << 4;
                *p++ = pos;
                p = _NHwRouteTriangle(bp.f, p, pos, pos, pos);
                ++cPoints;
            }
        }
        _NUpdateQAddr(phw);
    }
    return true;
}
