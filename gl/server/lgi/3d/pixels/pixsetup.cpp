// The set-up of the pixel paths: for draw pixels (57), read pixels (58),
// copy pixels (59) and bitmaps (60) it chooses the buffers, the per-pixel
// conversions and the window position, installs the pixel stages and links
// the request's stage list:
//   57: 107, [105], 108, [24], 102
//   58: 101, [104], [103], 106
//   59: 101, [104], [103], 106, [105], 108, [24], 102
//   60: 107, 108, [24], 102, [76]
#include <algorithm>
#include <cmath>

#include "kz2/render/kzrects.h"
#include "pixelpath.h"
#include "3d/validate/validate.h"
#include "../../seams.h"

namespace {

// The zoom accumulators start half a pixel in: a zoomed pixel covers the
// window pixels whose centres its rectangle holds.
constexpr ULONG kZoomHalf = 0x7FFF;

void vStage(ULONG stage, N_StageFn pfn) { gNArena.pStageTable[stage] = pfn; }

bool bCI(N_Context* pctx) { return *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1; }
bool bOn(N_Context* pctx, ULONG id) { return *pulAttr(pctx, id) != 0; }
float fAttrOf(N_Context* pctx, ULONG id, ULONG i = 0) { return __glXWordFloat(pulAttr(pctx, id)[i]); }

ULONG ulBitMask(const N_BoundBuffer* p) {
    const ULONG bits = p != nullptr && p->pBuffer != nullptr ? p->pBuffer->bitsPerPixel : 0;
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
}
ULONG ulBits(const N_BoundBuffer* p) { return p != nullptr && p->pBuffer != nullptr ? p->pBuffer->bitsPerPixel : 0; }
bool bBound(const N_BoundBuffer* p) { return p != nullptr && p->pBuffer != nullptr; }

const N_BoundBuffer* pSlot(N_Context* pctx, LONG i) {
    return i >= 0 && static_cast<ULONG>(i) < N_BUFFER_SLOTS ? &pctx->buffers[i] : nullptr;
}
// The first draw colour buffer and its alpha buffer.
const N_BoundBuffer* pDrawColour(N_Context* pctx) { return pSlot(pctx, _NFirstDrawSlot(pctx)); }
// Without a draw buffer there is no colour destination, and the set-ups
// draw nothing: no alpha plane either.
const N_BoundBuffer* pDrawAlpha(N_Context* pctx) {
    const N_BoundBuffer* p = pSlot(pctx, pctx->val.cDrawBuffers > 0 ? pctx->val.alphaSlots[0] : -1);
    return bBound(p) ? p : nullptr;
}
const N_BoundBuffer* pReadColour(N_Context* pctx) { return pSlot(pctx, pctx->val.readSlot); }
// The read buffer's alpha buffer.
const N_BoundBuffer* pReadAlpha(N_Context* pctx) { return pSlot(pctx, _NAlphaSlotOf(pctx->val.readSlot)); }

// The store scales: the colour conversion's red, green and blue scales
// (its red is premultiplied by 65536, its green by 256), 255 where it has
// none; alpha 255.
void vStoreScales(N_Context* pctx, N_PixelSpan* ps) {
    const N_ColourConversion& c = pctx->val.colour;
    const float af[3] = {c.scale[0] / 65536.0f, c.scale[1] / 256.0f, c.scale[2]};
    const bool bRGBA = c.converter == N_CONVERT_RGBA;
    for (ULONG k = 0; k < 3; ++k) {
        ps->storeScale[k] = bRGBA && af[k] > 0.0f ? af[k] : 255.0f;
        ps->storeOffset[k] = bRGBA && af[k] > 0.0f ? c.offset[k] : 0.0f;
    }
    ps->storeScale[3] = 255.0f;
}

// The colour store of a format for draw and copy.
void vColourStores(N_Context* pctx, N_PixelSpan* ps, bool bIndexData) {
    if (bIndexData) {
        if (!bCI(pctx)) ps->pfnStoreIndex = _NStoreIndexToRGBA;
        else ps->pfnStoreIndex = bOn(pctx, N_ATTR_MAP_COLOUR) ? _NStoreIndexMapped : _NStoreIndex;
    } else {
        ps->pfnStoreColour = bOn(pctx, N_ATTR_MAP_COLOUR) ? _NStoreRGBAMapped : _NStoreRGBA;
    }
}

// The read fetch of colour data: colour-index mode, colour map, plain.
N_PixFetch pfnColourFetch(N_Context* pctx) {
    if (bCI(pctx)) return _NFetchColourIndexMode;
    return bOn(pctx, N_ATTR_MAP_COLOUR) ? _NFetchColourMapped : _NFetchColour;
}

// The conversion of board words by the depth of the data: colour-index
// data in the upper bits (8-bit colour pixels come from the row reads
// already widened to 8 bits a channel), 3-3-2 colour of 4-bit data.
N_StageFn pfnReadTransfer(N_Context* pctx, ULONG bits) {
    if (bits == 8) return bCI(pctx) ? _NStageShift16 : nullptr;
    if (bits == 4) return bCI(pctx) ? _NStageShift4 : _NStageUnpack332;
    return nullptr;
}
N_StageFn pfnDrawTransfer(N_Context* pctx, ULONG bits) {
    if (bits == 8) return bCI(pctx) ? _NStageDrawShift16 : nullptr;
    if (bits == 4) return bCI(pctx) ? _NStageDrawShift4 : _NStagePack332;
    return nullptr;
}

N_StageFn pfnZoomStage(N_Context* pctx, N_PixelSpan* ps) {
    const float zx = fAttrOf(pctx, N_ATTR_ZOOM_X), zy = fAttrOf(pctx, N_ATTR_ZOOM_Y);
    if (zy != 1.0f) {
        const float frac = std::fabs(zy - std::trunc(zy));
        ps->zoomYFrac = static_cast<ULONG>(_NTruncToLong(frac * 65536.0f));
        ps->zoomYAcc = kZoomHalf;
    }
    if (zx == 1.0f) return zy == 1.0f ? _NStageZoomNone : _NStageZoomY;
    return zy == 1.0f ? _NStageZoomX : _NStageZoomXY;
}

float fRaster(N_Context* pctx, ULONG i) { return fAttrOf(pctx, N_ATTR_RASTER_POS, i); }

// The window row (from the top) of the first output row of an image drawn
// or copied at the raster position. A negative y zoom sends the image down
// from the raster position: its first row covers the pixel centres below
// it, the first of them in the row under a whole raster y.
LONG lFirstRow(N_Context* pctx, LONG height) {
    const float y = fRaster(pctx, 1);
    if (!(fAttrOf(pctx, N_ATTR_ZOOM_Y) < 0.0f)) return _NPixWindowRow(height, y);
    const double below = std::floor(static_cast<double>(y) - 0.5);
    return static_cast<LONG>(std::clamp<double>(static_cast<double>(height) - 1.0 - below, INT32_MIN, INT32_MAX));
}

// Depth data (drawn or copied) makes fragments like any other pixel
// rectangle: each carries its own depth and the raster colour, which the
// colour buffer takes where the fragment passes its tests.
void vDepthFragments(N_Context* pctx, N_PixelSpan* ps) {
    _NBitmapColour(pctx, ps);
    ps->rasterWord = _NBitmapColourWord(ps);
}

// The set-ups of the four kinds; each answers 0 when it has no buffer.
bool bDrawSetup(N_Context* pctx, N_PixelSpan* ps) {
    switch (ps->format) {
        case N_PIXFMT_DEPTH:
            ps->pDest = &pctx->buffers[N_SLOT_DEPTH];
            ps->pfnStoreDepth = _NStoreDepth;
            ps->bufferClass = N_PIXCLASS_DEPTH;
            vDepthFragments(pctx, ps);
            break;
        case N_PIXFMT_STENCIL:
            ps->pDest = &pctx->buffers[N_SLOT_STENCIL];
            ps->bufferClass = N_PIXCLASS_STENCIL;
            ps->pfnStoreIndex = bOn(pctx, N_ATTR_MAP_STENCIL) ? _NStoreStencilMapped : _NStoreStencil;
            break;
        default:
            ps->pDest = pDrawColour(pctx);
            ps->pDestAlpha = pDrawAlpha(pctx);
            ps->bufferClass = N_PIXCLASS_COLOUR;
            vColourStores(pctx, ps, ps->format == N_PIXFMT_INDEX);
            break;
    }
    ps->pfnUnpack = _NUnpackFn(ps->format, ps->type);
    if (!bBound(ps->pDest) || ps->pfnUnpack == nullptr) return false;
    ps->dstMask = ulBitMask(ps->pDest);
    ps->x = _NTruncToLong(fRaster(pctx, 0));
    ps->y = lFirstRow(pctx, ps->pDest->pBuffer->cy);
    ps->rowStep = -1;
    return true;
}

bool bBitmapSetup(N_Context* pctx, N_PixelSpan* ps) {
    ps->pDest = pDrawColour(pctx);
    ps->pDestAlpha = pDrawAlpha(pctx);
    ps->bufferClass = N_PIXCLASS_COLOUR;
    if (!bBound(ps->pDest)) return false;
    ps->dstMask = ulBitMask(ps->pDest);
    ps->x = _NTruncToLong(std::floor(fRaster(pctx, 0) - ps->bitmapOrigin[0]));
    ps->y = _NPixWindowRow(ps->pDest->pBuffer->cy, fRaster(pctx, 1) - ps->bitmapOrigin[1]);
    ps->rowStep = -1;
    ps->rasterDepth = static_cast<ULONG>(_NTruncToLong(fRaster(pctx, 2) * kRasterDepthUnits + 0.5f));
    _NBitmapColour(pctx, ps);
    // The raster position moves on (no state is marked: nothing derived
    // depends on it).
    ULONG* pulPos = pulAttr(pctx, N_ATTR_RASTER_POS);
    for (ULONG i = 0; i < 2; ++i) pulPos[i] = std::bit_cast<ULONG>(fRaster(pctx, i) + ps->bitmapMove[i]);
    return true;
}

bool bReadSetup(N_Context* pctx, N_PixelSpan* ps) {
    switch (ps->format) {
        case N_PIXFMT_STENCIL:
            ps->pSource = &pctx->buffers[N_SLOT_STENCIL];
            ps->bufferClass = N_PIXCLASS_STENCIL;
            // Stencil values read back are shifted and offset like any index.
            ps->pfnIndexConv = bOn(pctx, N_ATTR_MAP_STENCIL) ? _NStencilShiftMap : _NIndexShiftOffset;
            break;
        case N_PIXFMT_DEPTH:
            ps->pSource = &pctx->buffers[N_SLOT_DEPTH];
            ps->bufferClass = N_PIXCLASS_DEPTH;
            ps->pfnFetch = _NFetchDepth;
            break;
        case N_PIXFMT_INDEX:
            ps->pSource = pReadColour(pctx);
            ps->bufferClass = N_PIXCLASS_COLOUR;
            ps->pfnIndexConv = bCI(pctx) && bOn(pctx, N_ATTR_MAP_COLOUR) ? _NIndexShiftMap : _NIndexShiftOffset;
            break;
        default:
            ps->pSource = pReadColour(pctx);
            ps->bufferClass = N_PIXCLASS_COLOUR;
            if (ps->format == N_PIXFMT_ALPHA || ps->format == N_PIXFMT_RGBA || ps->format == N_PIXFMT_LUMINANCE_ALPHA) {
                const N_BoundBuffer* pAlpha = pReadAlpha(pctx);
                ps->pSourceAlpha = bBound(pAlpha) ? pAlpha : nullptr;
            }
            ps->pfnFetch = pfnColourFetch(pctx);
            break;
    }
    ps->pfnPack = _NPackFn(ps->format, ps->type);
    if (!bBound(ps->pSource) || ps->pfnPack == nullptr) return false;
    ps->srcMask = ulBitMask(ps->pSource);
    ps->srcY = _NPixAdd(std::int64_t{ps->pSource->pBuffer->cy} - 1, -std::int64_t{ps->srcY});
    ps->rowStep = -1;
    return true;
}

bool bCopySetup(N_Context* pctx, N_PixelSpan* ps) {
    switch (ps->format) {
        case N_PIXFMT_STENCIL:
            ps->pSource = ps->pDest = &pctx->buffers[N_SLOT_STENCIL];
            ps->bufferClass = N_PIXCLASS_STENCIL;
            // Copied stencil values are shifted and offset (and mapped) as
            // drawn ones are.
            ps->pfnIndexConv = bOn(pctx, N_ATTR_MAP_STENCIL) ? _NStencilShiftMap : _NIndexShiftOffset;
            ps->pfnStoreIndex = _NStoreStencil;
            ps->pfnPack = _NCopyRowStencil;
            break;
        case N_PIXFMT_DEPTH:
            ps->pSource = ps->pDest = &pctx->buffers[N_SLOT_DEPTH];
            ps->bufferClass = N_PIXCLASS_DEPTH;
            ps->pfnStoreDepth = _NStoreDepth;
            ps->pfnPack = _NCopyRowDepth;
            vDepthFragments(pctx, ps);
            break;
        default:
            ps->pSource = pReadColour(pctx);
            ps->pDest = pDrawColour(pctx);
            ps->pDestAlpha = pDrawAlpha(pctx);
            ps->pSourceAlpha = bBound(pReadAlpha(pctx)) ? pReadAlpha(pctx) : nullptr;
            ps->bufferClass = N_PIXCLASS_COLOUR;
            ps->format = bCI(pctx) ? N_PIXFMT_INDEX : N_PIXFMT_RGBA;
            vColourStores(pctx, ps, bCI(pctx));
            ps->pfnPack = _NCopyRowColour;
            break;
    }
    if (!bBound(ps->pSource) || !bBound(ps->pDest)) return false;
    ps->srcMask = ulBitMask(ps->pSource);
    ps->dstMask = ulBitMask(ps->pDest);
    ps->srcY = _NPixAdd(std::int64_t{ps->pSource->pBuffer->cy} - 1, -std::int64_t{ps->srcY});
    ps->x = _NTruncToLong(fRaster(pctx, 0));
    ps->dstRow = lFirstRow(pctx, ps->pDest->pBuffer->cy);
    ps->rowStep = -1;
    return true;
}

}  // namespace

LONG _NPixAdd(std::int64_t a, std::int64_t b) {
    return static_cast<LONG>(std::clamp<std::int64_t>(a + b, INT32_MIN, INT32_MAX));
}

LONG _NPixWindowRow(LONG height, float y) {
    const float d = static_cast<float>(height) - y;
    const LONG row = _NTruncToLong(d);
    return static_cast<float>(row) == d ? _NPixAdd(row, -1) : row;
}

ULONG _NPixelSetup(N_Context* pctx, N_Pipe* pipe, N_PixelSpan* ps, N_StageList* l) {
    _NPixSpanArrays(ps);
    vStoreScales(pctx, ps);
    ps->width = std::min<ULONG>(ps->width, N_SPAN);
    ps->zoomYFrac = 0;
    ps->zoomYAcc = kZoomHalf;
    l->c = 0;
    l->Add(N_STAGE_HEAD);
    const bool bRects = pctx->cClipRects >= 2 && pctx->multiRect != 0;
    switch (ps->kind) {
        case N_PRIM_DRAW_PIXELS: {
            if (!bDrawSetup(pctx, ps)) return 0;
            _NValPixelProgram(pctx, pipe, ps->kind, ps->format);
            const N_StageFn pfnDraw = ps->bufferClass == N_PIXCLASS_COLOUR ? pfnDrawTransfer(pctx, ulBits(ps->pDest)) : nullptr;
            vStage(N_STAGE_CLIENT_FETCH, _NStageRowLoop);
            vStage(N_STAGE_ZOOM, pfnZoomStage(pctx, ps));
            vStage(N_STAGE_PIXEL_RENDER, _NvpRenderPixelRectKZG);
            l->Add(N_STAGE_CLIENT_FETCH);
            if (pfnDraw != nullptr) {
                vStage(N_STAGE_DRAW_TRANSFER, pfnDraw);
                l->Add(N_STAGE_DRAW_TRANSFER);
            }
            l->Add(N_STAGE_ZOOM);
            if (bRects) l->Add(N_STAGE_RECTANGLES);
            l->Add(N_STAGE_PIXEL_RENDER);
            break;
        }
        case N_PRIM_BITMAP: {
            if (!bBitmapSetup(pctx, ps)) return 0;
            _NValPixelProgram(pctx, pipe, ps->kind, ps->format);
            vStage(N_STAGE_CLIENT_FETCH, _NStageBitmapFetch);
            vStage(N_STAGE_DRAW_TRANSFER, _NEmptyStage);
            vStage(N_STAGE_ZOOM, _NStageZoomNone);
            vStage(N_STAGE_PIXEL_RENDER, _NvpRenderBitmapRectKZG);
            l->Add(N_STAGE_CLIENT_FETCH);
            l->Add(N_STAGE_ZOOM);
            if (bRects) l->Add(N_STAGE_RECTANGLES);
            l->Add(N_STAGE_PIXEL_RENDER);
            if (pipe->mode & N_MODE_DEPTH_TEST) l->Add(N_STAGE_READ_DEPTH);
            break;
        }
        case N_PRIM_READ_PIXELS:
        case N_PRIM_COPY_PIXELS: {
            const bool bCopy = ps->kind == N_PRIM_COPY_PIXELS;
            if (!(bCopy ? bCopySetup(pctx, ps) : bReadSetup(pctx, ps))) return 0;
            const bool bColour = ps->bufferClass == N_PIXCLASS_COLOUR;
            const N_StageFn pfnRead = bColour ? pfnReadTransfer(pctx, ulBits(ps->pSource)) : nullptr;
            vStage(N_STAGE_SPAN_READ, bCopy ? _NStageCopySpans : _NStageReadSpans);
            vStage(N_STAGE_PACK, _NStagePackDispatch);
            l->Add(N_STAGE_SPAN_READ);
            if (pfnRead != nullptr) {
                vStage(N_STAGE_READ_TRANSFER, pfnRead);
                l->Add(N_STAGE_READ_TRANSFER);
            }
            if (bCI(pctx) && bColour) {
                vStage(N_STAGE_INDEX_MASK, _NStageIndexMask);
                l->Add(N_STAGE_INDEX_MASK);
            }
            l->Add(N_STAGE_PACK);
            if (bCopy) {
                _NValPixelProgram(pctx, pipe, ps->kind, ps->format);
                const N_StageFn pfnDraw = bColour ? pfnDrawTransfer(pctx, ulBits(ps->pDest)) : nullptr;
                if (pfnDraw != nullptr) {
                    vStage(N_STAGE_DRAW_TRANSFER, pfnDraw);
                    l->Add(N_STAGE_DRAW_TRANSFER);
                }
                vStage(N_STAGE_ZOOM, pfnZoomStage(pctx, ps));
                vStage(N_STAGE_PIXEL_RENDER, _NvpRenderPixelRectKZG);
                l->Add(N_STAGE_ZOOM);
                // The copied rows are drawn like drawn pixels: once per clip
                // rectangle, since a program clips to one.
                if (bRects) l->Add(N_STAGE_RECTANGLES);
                l->Add(N_STAGE_PIXEL_RENDER);
            }
            break;
        }
        default:
            return 0;
    }
    return 1;
}

void _NValPixelPipe(N_Context* pctx, N_Pipe* pipe, ULONG code) {
    auto* ps = static_cast<N_PixelSpan*>(pipe->pSpan);
    N_StageList l;
    if (ps == nullptr || ps->kind != code || _NPixelSetup(pctx, pipe, ps, &l) == 0) {
        // Nothing to work on: the pipe runs no stage.
        l.c = 0;
        l.Add(N_STAGE_HEAD);
    }
    l.Add(N_STAGE_END);
    _NLinkPipe(pctx, pipe, 0, l.c, l.stages);
}

void _NFeedbackPixelToken(N_Context* pctx, ULONG ulToken) {
    N_FeedbackRecord r = _NFeedbackRecordOf(pctx);
    _NFeedbackPut(pctx, &r, static_cast<float>(ulToken));
    // The raster position's window coordinates, as they are kept.
    for (ULONG i = 0; i < 2; ++i) _NFeedbackPut(pctx, &r, fRaster(pctx, i));
    const ULONG type = pctx->feedbackType;
    if (type >= 1 && type <= 4) _NFeedbackPut(pctx, &r, fRaster(pctx, 2));
    if (type == 4) _NFeedbackPut(pctx, &r, fRaster(pctx, 3));
    if (type >= 2 && type <= 4) {
        if (bCI(pctx)) {
            _NFeedbackPut(pctx, &r, fAttrOf(pctx, N_ATTR_RASTER_INDEX));
        } else {
            for (ULONG i = 0; i < 4; ++i) _NFeedbackPut(pctx, &r, fAttrOf(pctx, N_ATTR_RASTER_COLOUR, i));
        }
    }
    if (type == 3 || type == 4)
        for (ULONG i = 0; i < 4; ++i) _NFeedbackPut(pctx, &r, fAttrOf(pctx, N_ATTR_RASTER_TEXCOORD, i));
    _NFeedbackDone(pctx, r);
}
