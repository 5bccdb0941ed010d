// The raster position's render function: the last stage of the raster
// position's pipe stores the transformed, lit and clipped vertex as the
// context's current raster position (window x, y from the window's
// bottom, z, w; distance, colour or index, texture coordinates) and marks it
// valid, or marks it invalid when the vertex is clipped or lies left of or
// above the window.
#include <bit>
#include <cmath>
#include <cstring>

#include "3d/context/context.h"
#include "../../seams.h"

void _NRenderRasterPos(N_Context* pctx, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    ULONG* pulValid = pulAttr(pctx, N_ATTR_RASTER_POS_VALID);
    if (c.pOutcodes != nullptr && c.pOutcodes[0] != 0) {
        *pulValid = 0;
        return;
    }
    // No vertex arrived: nothing is stored, so the old values must not be
    // marked valid.
    if (c.stripVertexCount == 0 || c.pClipPos == nullptr || c.pWindow == nullptr) {
        *pulValid = 0;
        return;
    }
    const LONG slot = _NFirstDrawSlot(pctx);
    const GLBuffer* pb = slot >= 0 ? pctx->buffers[slot].pBuffer : nullptr;
    if (pb == nullptr) {
        *pulValid = 0;
        return;
    }
    *pulValid = 1;

    // Colour (or index) and texture coordinates.
    if (c.pColours != nullptr) {
        if (*pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1)
            std::memcpy(pulAttr(pctx, N_ATTR_RASTER_INDEX), c.pColours, 4);
        else
            std::memcpy(pulAttr(pctx, N_ATTR_RASTER_COLOUR), c.pColours, 16);
    }
    // The pipe works the texture coordinates out (generation, the texture
    // matrix) whether or not texturing is on, as GL transforms them for
    // the raster position in either case.
    if (c.pTexWork != nullptr) std::memcpy(pulAttr(pctx, N_ATTR_RASTER_TEXCOORD), c.pTexWork, 16);

    // The window's origin in the vertex's units.
    const N_BoardFacts board = _NBoardFactsOf(pctx);
    const bool bPrecise = board.modelImprecision != 0;
    std::int64_t ox = pb->x, oy = pb->y;
    const LONG H = pb->cy;
    if (board.stereoPages != 0 && (slot == 8 || slot == 9)) oy += board.cyRightEye;
    if (bPrecise) {
        ox *= 16;
        oy *= 16;
    }

    const float* pos = c.pClipPos;
    const ULONG wBits = std::bit_cast<ULONG>(pos[3]);
    const float k = (wBits & 0x7FFFFFFFu) == 0 ? 0.0f : wBits == 0x3F800000u ? 1.0f : 1.0f / pos[3];
    float X = pos[0] * k;
    const float Y = pos[1] * k;
    if (bPrecise) X += 8.0f;
    const auto trunc = [](float v) -> std::int64_t {
        return v > -9.2e18f && v < 9.2e18f ? static_cast<std::int64_t>(v) : 0;
    };
    const std::int64_t ix = trunc(X), iy = trunc(Y);
    const auto units = [&](std::int64_t v) { return bPrecise ? v >> 4 : v; };

    const std::int64_t dx = units(ix - ox);
    // One y for the test and the position: the one computed from the
    // vertex's position (the rounded window y could disagree with it by a
    // row and leave a valid position above the window).
    const std::int64_t dy = units(iy - oy);
    if (dx < 0 || H - dy < 0) {
        *pulValid = 0;
        return;
    }
    // The position is kept as GL window coordinates, unrounded: x from the
    // window's left edge, y up from its bottom edge, z from 0 at the near
    // plane to 1 at the far one, and the clip w. The window transform took
    // half a pixel off both coordinates in 28.4 units (X has it back above)
    // and none in whole pixels; y runs down the screen from the window's top
    // row.
    const float unit = bPrecise ? 1.0f / 16.0f : 1.0f;
    const float xWin = X * unit - static_cast<float>(pb->x);
    const float yWin = static_cast<float>(oy * unit + H) - (bPrecise ? 0.5f : 0.0f) - Y * unit;
    ULONG* pulPos = pulAttr(pctx, N_ATTR_RASTER_POS);
    pulPos[0] = std::bit_cast<ULONG>(xWin);
    pulPos[1] = std::bit_cast<ULONG>(yWin);
    pulPos[2] = std::bit_cast<ULONG>(static_cast<float>(c.pWindow[2]) / kRasterDepthUnits);
    pulPos[3] = wBits;
    // The distance from the eye to the vertex in eye coordinates.
    float fDistance = 0.0f;
    if (c.pEyePos != nullptr)
        fDistance = std::sqrt(c.pEyePos[0] * c.pEyePos[0] + c.pEyePos[1] * c.pEyePos[1] + c.pEyePos[2] * c.pEyePos[2]);
    *pulAttr(pctx, N_ATTR_RASTER_DISTANCE) = std::bit_cast<ULONG>(fDistance);
}

N_StageFn _NRasterPosRenderFcn(N_Context*, N_Pipe* pipe) {
    if (pipe->pCommonPipeData->pDispatch != nullptr) pipe->pCommonPipeData->pDispatch->status = 2;
    return _NRenderRasterPos;
}
