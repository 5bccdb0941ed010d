// The raster position's render function: the last stage of the raster
// position's pipe stores the transformed, lit and clipped vertex as the
// context's current raster position (window x, y from the window's
// bottom, z, w; distance, colour or index, texture coordinates) and marks it
// valid, or marks it invalid when the vertex is clipped or lies left of or
// above the window.
#include <bit>
#include <cstring>

#include "3d/context.h"
#include "../seams.h"

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
    ULONG* pulPos = pulAttr(pctx, N_ATTR_RASTER_POS);
    pulPos[0] = std::bit_cast<ULONG>(static_cast<float>(dx));
    pulPos[1] = std::bit_cast<ULONG>(static_cast<float>(H - dy));
    pulPos[2] = std::bit_cast<ULONG>(static_cast<float>(c.pWindow[2]));
    pulPos[3] = wBits;
    const float fEyeZ = c.pEyePos != nullptr ? c.pEyePos[2] : 0.0f;
    *pulAttr(pctx, N_ATTR_RASTER_DISTANCE) = std::bit_cast<ULONG>(fEyeZ);
}

N_StageFn _NRasterPosRenderFcn(N_Context*, N_Pipe* pipe) {
    if (pipe->pCommonPipeData->pDispatch != nullptr) pipe->pCommonPipeData->pDispatch->status = 2;
    return _NRenderRasterPos;
}
