// Pipe blocks and dispatch records of a context, the per-primitive set-up
// with its stage lists, batch splitting, the validate-then-draw entry, and
// the fixed stages of the vertex part (write-back, edge-flag gather, select,
// clip test, output advance).
#include <algorithm>
#include <cstring>

#include "boardconfig.h"
#include "pipes.h"
#include "3d/queue/renderfcn.h"
#include "vstage.h"
#include "../../seams.h"
#include "shared/software/swspan.h"

namespace {

constexpr ULONG kFlat = 1;
constexpr ULONG kSmooth = 2;

// The layer's fixed span arrays (colour channels, alpha, depth, stencil,
// x, y, mask, packed output); the alpha array holds 1.0 once pipe blocks
// have been set up.
struct FixedSpans {
    float red[N_SPAN], green[N_SPAN], blue[N_SPAN], alpha[N_SPAN];
    ULONG depth[N_SPAN], stencil[N_SPAN], x[N_SPAN], y[N_SPAN], mask[N_SPAN], packed[N_SPAN];
};
FixedSpans gSpans;

bool bPolygon(ULONG code) { return code >= N_PRIM_POLYGON && code <= N_PRIM_QUAD_STRIP; }
bool bLine(ULONG code) { return code == N_PRIM_LINE_STRIP || code == N_PRIM_LINES; }
bool bCI(N_Context* pctx) { return *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1; }
ULONG ulAttr(N_Context* pctx, ULONG id) { return *pulAttr(pctx, id); }
N_Source Current(N_Context* pctx, ULONG id) { return {pulAttr(pctx, id), 0}; }

// --- dispatch records ----------------------------------------------------------------------
struct DispatchRow {
    ULONG code;
    N_SelectorFn pfnSelector;
    N_StageFn pfnFacingTest;
    N_StageFn pfnPrimPath;
    N_StageFn pfnClipPath;
};

const DispatchRow kDispatch[] = {
    {N_PRIM_RASTER_POS, _NRasterPosRenderFcn, nullptr, _NPointPath, _NPointClip},
    {N_PRIM_POINTS, _NValPointPipeRenderFcn, nullptr, _NPointPath, _NPointClip},
    {N_PRIM_LINE_STRIP, _NValPLinePipeRenderFcn, nullptr, _NLineStripPath, _NLineClip},
    {N_PRIM_LINES, _NValPLinePipeRenderFcn, nullptr, _NLinesPath, _NLineClip},
    {N_PRIM_POLYGON, _NValTriPipeRenderFcn, _NvpFaceCullCompoundPrim, _NFanPath, _NPolygonClip},
    {N_PRIM_TRIANGLES, _NValTriPipeRenderFcn, _NvpFaceCullCompoundPrim, _NTriListPath, _NTriangleClip},
    {N_PRIM_QUADS, _NValTriPipeRenderFcn, _NvpFaceCullQuad, _NQuadListPath, _NQuadClip},
    {N_PRIM_FAN, _NValTriPipeRenderFcn, _NvpFaceCullCompoundPrim, _NFanPath, _NFanClip},
    {N_PRIM_TRI_STRIP, _NValTriPipeRenderFcn, _NvpFaceCullCompoundPrim, _NStripPath, _NTriangleClip},
    {N_PRIM_QUAD_STRIP, _NValTriPipeRenderFcn, _NvpFaceCullCompoundPrim, _NQuadStripPath, _NQuadStripClip},
};

// --- sources ----------------------------------------------------------------------------------
// The colour and material sources of a face that the format does not carry
// are the context's current values.
void vFaceDefaults(N_Context* pctx, N_FaceRecord& f, ULONG format, bool bFront) {
    const bool ci = bCI(pctx);
    const ULONG shift = bFront ? 0 : 5;
    const ULONG mat = bFront ? N_ATTR_FRONT_EMISSION : N_ATTR_BACK_EMISSION;
    const ULONG idx = bFront ? N_ATTR_FRONT_AMBIENT_INDEX : N_ATTR_BACK_AMBIENT_INDEX;
    if (bFront && !(format & (ci ? ULONG{N_VTX_INDEX} : ULONG{N_FMT_COLOURS})))
        f.colour = Current(pctx, ci ? N_ATTR_INDEX : N_ATTR_COLOUR);
    if (!(format & (N_FMT_FRONT_EMISSION << shift))) f.emission = Current(pctx, mat);
    if (!(format & (N_FMT_FRONT_SHININESS << shift))) f.shininess = Current(pctx, mat + 4);
    N_Source* colours[3] = {&f.ambient, &f.diffuse, &f.specular};
    for (ULONG k = 0; k < 3; ++k) {
        const ULONG bit = (ci ? 0x200000u << (3 * (bFront ? 0 : 1)) : N_FMT_FRONT_AMBIENT << shift) << k;
        if (!(format & bit)) *colours[k] = Current(pctx, ci ? idx + k : mat + 1 + k);
    }
}

// Steps 3 and 8 of the set-up: face records, the dispatch record's
// constant-source flags and the attribute pointer list.
void vSources(N_Context* pctx, N_Pipe* pipe, ULONG code, ULONG format) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const bool ci = bCI(pctx);
    vFaceDefaults(pctx, c.front, format, true);
    if (bPolygon(code)) c.back.colour = c.front.colour;
    vFaceDefaults(pctx, c.back, format, false);
    N_PrimDispatch& pd = *c.pDispatch;
    pd.materialFromCurrent = (format & N_FMT_MATERIALS) == 0 ? 1 : 0;
    pd.colourFromCurrent = (format & (ci ? ULONG{N_VTX_INDEX} : ULONG{N_FMT_COLOURS})) == 0 ? 1 : 0;

    c.attrListWords = 0;
    ULONG n = 0;
    auto add = [&](const N_Source& s) {
        if (n < N_ATTR_LIST_ITEMS) c.attrList[n++] = s;
    };
    const ULONG cm = (ulAttr(pctx, N_ATTR_COLOUR_MATERIAL) != 0 && !ci) ? pipe->colourMaterialMask : 0;
    // Ambient, diffuse, specular, emission: by format bit, or by the
    // colour-material mask bits 2, 4, 8, 1.
    auto faceItems = [&](const N_FaceRecord& f, ULONG shift) {
        const N_Source* src[4] = {&f.ambient, &f.diffuse, &f.specular, &f.emission};
        const ULONG fmtBit[4] = {N_FMT_FRONT_AMBIENT, N_FMT_FRONT_DIFFUSE, N_FMT_FRONT_SPECULAR, N_FMT_FRONT_EMISSION};
        const ULONG cmBit[4] = {2, 4, 8, 1};
        for (ULONG k = 0; k < 4; ++k)
            if (cm != 0 ? (cm & cmBit[k]) != 0 : (format & (fmtBit[k] << shift)) != 0) add(*src[k]);
        if (format & (N_FMT_FRONT_SHININESS << shift)) add(f.shininess);
    };
    faceItems(c.front, 0);
    if (std::memcmp(&c.back, &c.front, sizeof c.back) != 0) faceItems(c.back, 5);
    if (c.flagWord.step != 0) add(c.flagWord);
    if (c.normal.step != 0) add(c.normal);
    c.attrListWords = 2 * n;
}

// --- stage lists ------------------------------------------------------------------------------
void vSet(ULONG stage, N_StageFn pfn) { gNArena.pStageTable[stage] = pfn != nullptr ? pfn : _NStageMissing(stage); }

bool bTextured(N_Context* pctx) { return (pctx->enableWord & KZ_EN_TEXTURE) != 0; }
bool bTexReplace(N_Context* pctx) { return bTextured(pctx) && pctx->texEnv == 1 && pctx->texFormat != 8; }
bool bTexturedFog(N_Context* pctx) { return bTextured(pctx) && ulAttr(pctx, N_ATTR_FOG) != 0 && pctx->texEnv != 2; }

// The render mode's part after the strip runner; answers whether the
// raster and fragment parts follow (no hardware render function).
bool bModePart(N_Context* pctx, N_Pipe* pipe, ULONG code, N_StageList* l, bool bListed14) {
    const ULONG mode = ulAttr(pctx, N_ATTR_RENDER_MODE);
    // The raster position is stored in every render mode (bitmaps and pixel
    // rectangles in selection and feedback need it); selecting, it is also
    // a hit. It writes no feedback of its own.
    const bool bRasterPos = code == N_PRIM_RASTER_POS;
    if (mode == N_RENDER_MODE_SELECT) {
        l->Add(N_STAGE_SELECT);
        if (!bRasterPos) return false;
    } else if (mode == N_RENDER_MODE_FEEDBACK && !bRasterPos) {
        vSet(N_STAGE_STRIPS, _NFeedbackStripRunner);
        l->Add(N_STAGE_FEEDBACK);
        return false;
    }
    if (bPolygon(code)) {
        // The textured forms of the colour conversion are the vertex
        // stages' (not built yet); the context's own conversion otherwise.
        vSet(N_STAGE_COLOUR_CONVERT, bListed14 ? _NColourStageFn(pctx)
                                     : bTexturedFog(pctx) ? _NStageColourGrey : _NStageColourAlphaOnly);
    } else {
        vSet(N_STAGE_COLOUR_CONVERT, _NColourStageFn(pctx));
    }
    l->Add(N_STAGE_COLOUR_CONVERT);
    const N_BoardFacts board = _NBoardFactsOf(pctx);
    const ULONG draw = ulAttr(pctx, N_ATTR_DRAW_BUFFER);
    if (board.stereoPages && (draw == 3 || draw == 12 || pctx->pHw->stereo == 0)) l->Add(N_STAGE_STEREO_HALVES);
    // The raster position is valid wherever the clip volume holds it, also
    // where another window covers its pixel: it is not cut by the window's
    // clip rectangles.
    if (pctx->cClipRects > 1 && pctx->multiRect == 1 && code != N_PRIM_RASTER_POS) l->Add(N_STAGE_RECTANGLES);

    N_PrimDispatch& pd = *pipe->pCommonPipeData->pDispatch;
    // The debug switch sends every primitive kind through the software path.
    // The selector is not asked then: it would build its render programs
    // into the slots the software colour write heads its packets with (the
    // back slot, the front textured slot).
    const bool bForced = gNForceSoftwarePaths != 0 && code >= N_PRIM_POINTS;
    N_StageFn pfnRender = pd.pfnSelector != nullptr && !bForced ? pd.pfnSelector(pctx, pipe) : nullptr;
    if (bForced) pd.status = -7;
    if (pd.status == 2 && pfnRender != nullptr) {
        vSet(N_STAGE_RENDER, pfnRender);
        l->Add(N_STAGE_RENDER);
        return false;
    }
    // The software colour write heads its single-pixel primitives with the
    // slot's program; a selector may have left one of its render function's
    // layout there (built before it refused, or before the debug switch
    // took over), which the board would read with another word count.
    if (pd.pfnSelector != nullptr && code >= N_PRIM_POINTS) _NValSoftwareProgram(pctx, pipe);
    return true;
}

// The fragment part (the software span stages).
void vFragmentPart(N_Context* pctx, N_Pipe* pipe, ULONG code, N_StageList* l) {
    const ULONG mode = pipe->mode;
    if (code >= N_PRIM_FIRST_DISPATCH) {
        vSet(N_STAGE_COLOUR_CONVERT, _NColourStageFn(pctx));
        vSet(N_STAGE_FLOAT_COLOUR, _NStageFloatColour);
        _NValPgonSwStages(pctx, pipe, code);
    }
    // Blending and alpha test read the alpha span, which holds the current
    // alpha unless a colour-buffer object supplies it.
    if ((pctx->enableWord & (N_MODE_BLEND | N_MODE_ALPHA_TEST)) && !(pctx->enableWord & KZ_EN_ALPHA))
        std::fill(std::begin(gSpans.alpha), std::end(gSpans.alpha),
                  reinterpret_cast<const float*>(pulAttr(pctx, N_ATTR_COLOUR))[3]);
    _NSpanStageList(code, mode, l);
}

// The raster part of the software path.
void vRasterPart(N_Context* pctx, N_Pipe* pipe, ULONG code, N_StageList* l) {
    const ULONG mode = pipe->mode;
    if (!bPolygon(code)) {
        // The line and point stages read float colour entries; polygon
        // outlines and vertices have them converted before they run.
        if ((bLine(code) || code == N_PRIM_POINTS) && !bPolygon(pipe->pCommonPipeData->code))
            l->Add(N_STAGE_FLOAT_COLOUR);
        vSet(N_STAGE_RENDER, _NSwRasterStage(pctx, pipe, code));
        l->Add(N_STAGE_RENDER);
        // An antialiased line's stage covers its whole width itself.
        if (bLine(code) && fNLineWidth(pctx) > 1.0f && !(mode & KZ_EN_AA_LINES)) l->Add(N_STAGE_WIDE_LINE);
        // Blended or combined by the logic operation, the line spans need
        // the colour under each fragment (read after the wide-line stage has
        // placed them); the point stages read it row by row themselves.
        const bool bDestColour = bLine(code) && (((mode & N_MODE_FRAGMENTS) && (mode & N_MODE_BLEND)) ||
                                                 (mode & N_MODE_LOGIC_OP));
        constexpr ULONG kHostAlpha = KZ_EN_ALPHA_BUFFER | KZ_EN_ALPHA | KZ_EN_ALPHA_HOST;
        if ((mode & kHostAlpha) == kHostAlpha || (mode & N_MODE_STENCIL) || bDestColour) l->Add(N_STAGE_READ_ALPHA_STENCIL);
        return;
    }
    if (mode & (N_MODE_POLY_POINT | N_MODE_POLY_LINE)) {
        if ((mode & N_MODE_STIPPLE) && (mode & N_MODE_POLY_POINT)) l->Add(N_STAGE_STIPPLE_RESET);
        l->Add(N_STAGE_FLOAT_COLOUR);
        if (!(mode & N_MODE_POLY_POINT)) l->Add(N_STAGE_POLYGON_RASTER);
        vRasterPart(pctx, pipe, (mode & N_MODE_POLY_POINT) ? N_PRIM_POINTS : N_PRIM_LINE_STRIP, l);
        return;
    }
    l->Add(N_STAGE_FLOAT_COLOUR);
    l->Add(N_STAGE_POLYGON_RASTER);
    l->Add(N_STAGE_SPAN_RASTER);
    if (mode & KZ_EN_ALPHA) l->Add(N_STAGE_SPAN_COLOUR);
}

// The per-primitive stages of this layer's own vertex part.
void vInstallVertexStages(N_Context* pctx, ULONG format) {
    vSet(N_STAGE_POSITION, _NPositionStage(pctx, format));
    vSet(N_STAGE_EYE, _NEyeStage(pctx, format));
    vSet(N_STAGE_WHOLE_FETCH, _NWholeFetchStage(format));
    vSet(N_STAGE_LIGHT, pctx->pfnLightStage != nullptr ? pctx->pfnLightStage : _NStageNormals);
    vSet(N_STAGE_STRIPS, _NRunStripList);
}

// Pipe word 120 and the polygon mode of a pipe's mode word.
void vPolygonMode(N_Context* pctx, N_Pipe* pipe, ULONG polygonMode, ULONG code, ULONG format) {
    ULONG m = pipe->mode & ~(N_MODE_POLY_POINT | N_MODE_POLY_LINE);
    if (polygonMode == 0) m |= N_MODE_POLY_POINT;
    else if (polygonMode == 1) m |= N_MODE_POLY_LINE_VERTEX;
    if (m & N_MODE_POLY_POINT) {
        m &= ~(N_MODE_POLY_LINE | N_MODE_STIPPLE | N_MODE_WIDE_LINES);
    } else if (m & N_MODE_POLY_LINE_VERTEX) {
        const bool bKeep = !(format & N_VTX_EDGEFLAG) &&
                           (code != N_PRIM_POLYGON || pipe->pCommonPipeData->primVertexCount < 1021);
        if (!bKeep) m = (m & ~N_MODE_POLY_LINE) | N_MODE_POLY_LINE_PRIM;
    }
    if (m & N_MODE_POLY_LINE) {
        if (ulAttr(pctx, N_ATTR_SHADE) == kSmooth) m |= N_MODE_WIDE_LINES;
    }
    pipe->mode = m;
    if (!(m & N_MODE_WIDE_LINES)) pipe->dither = 0;
}

// Builds and links one pipe.
void vBuildPipe(N_Context* pctx, N_Pipe* pipe, ULONG code, ULONG format) {
    for (N_StageFn& pfn : pipe->next) pfn = _NEmptyStage;
    N_StageList list;
    _NBuildStageList(pctx, pipe, code, format, &list);
    _NLinkPipe(pctx, pipe, 0, list.c, list.stages);
}

ULONG cDither(N_Context* pctx) {
    if (ulAttr(pctx, N_ATTR_DITHER) != 1) return 0;
    const LONG slot = _NFirstDrawSlot(pctx);
    if (slot < 0) return 0;
    const GLBuffer* pBuffer = pctx->buffers[slot].pBuffer;
    return (pBuffer != nullptr && pBuffer->bitsPerPixel < 24) ? 1 : 0;
}

// --- sources advanced by the batch splitter ---------------------------------------------------
struct SourceRef {
    N_Source* pSource;
    ULONG cbElement;
};

// Every per-vertex source of the batch with the bytes of one element. The
// entry points set the position, colour, normal, texture-coordinate and flag
// sources of the arrays a call names and leave the others as an earlier
// call set them, pointing into that call's buffer; only what the current
// format names is read. The attribute list holds copies of these sources
// that no stage reads, so it is not gathered.
ULONG cSources(CommonPipeData& c, SourceRef* out) {
    ULONG n = 0;
    auto add = [&](N_Source& s, ULONG cb) {
        if (s.step != 0 && s.p != nullptr) out[n++] = {&s, std::min(cb, s.step)};
    };
    const ULONG format = c.format;
    add(c.position, 16);
    if (format & N_VTX_NORMAL) add(c.normal, 12);
    if (format & N_VTX_TEXCOORD) add(c.texCoord, 16);
    if (format & (N_VTX_EDGEFLAG | N_VTX_CHANGEMASK)) add(c.flagWord, 4);
    // Without facet words, set-up points this source at the arena's words of
    // one batch, the same for every batch: it is neither advanced nor
    // gathered (by the primitive's vertex index it would run past them).
    if (format & N_VTX_FACET) add(c.edgeFlag, 4);
    for (N_FaceRecord* f : {&c.front, &c.back}) {
        if (format & (ULONG{N_FMT_COLOURS} | N_VTX_INDEX)) add(f->colour, 16);
        add(f->emission, 16);
        add(f->shininess, 4);
        add(f->ambient, 16);
        add(f->diffuse, 16);
        add(f->specular, 16);
    }
    return n;
}

constexpr ULONG kMaxSources = 32;

}  // namespace

// --- face counts ----------------------------------------------------------------------------------
ULONG _NPrimFaceCount(ULONG kind, ULONG* pn) {
    ULONG& n = *pn;
    switch (kind) {
        case N_PRIM_FAN:
        case N_PRIM_TRI_STRIP:
            break;
        case N_PRIM_TRIANGLES:
            if (n <= 2) return 0;
            n -= n % 3;
            // Attribute 76 at 0 counts separate triangles as one face.
            if (bNHaveContext() && *pulAttr(gpNCurrent, N_ATTR_SEPARATE_FACES) == 0) return 1;
            break;
        case N_PRIM_QUADS:
            n -= n % 4;
            break;
        case N_PRIM_QUAD_STRIP:
            n -= n % 2;
            break;
        default:
            return 1;
    }
    return _NFaceCount(kind, n);
}

ULONG _NBatchSize(ULONG code) { return code >= N_PRIM_POLYGON ? N_BATCH_POLYGONS : N_BATCH_POINTS; }
ULONG _NBasicVertices(ULONG code) {
    if (code <= N_PRIM_POINTS) return 1;
    if (code <= N_PRIM_LINES) return 2;
    return (code == N_PRIM_QUADS || code == N_PRIM_QUAD_STRIP) ? 4 : 3;
}
ULONG _NCarriedVertices(ULONG code) {
    if (code == N_PRIM_LINE_STRIP) return 1;
    if (code == N_PRIM_POLYGON || code >= N_PRIM_FAN) return 2;
    return 0;
}

// --- blocks and records --------------------------------------------------------------------------
void _NInitPipeBlocks(N_Context* pctx) {
    const N_Arena& a = gNArena;
    for (N_PipeBlock& b : pctx->blocks) {
        CommonPipeData& c = b.common;
        for (N_Pipe* p : {&b.front, &b.back}) {
            p->pCommonPipeData = &c;
            p->pFront = &b.front;
            p->pBack = &b.back;
            for (N_StageFn& pfn : p->next) pfn = _NEmptyStage;
        }
        b.front.pFaceRecord = &c.front;
        b.back.pFaceRecord = &c.back;
        c.first = 1;
        c.splitting = 0;
        c.stage14LeftOut = 0;
        for (LONG& l : c.modeCopies) l = -1;
        c.andOutcode = 63;
        c.pClipPos = reinterpret_cast<float*>(a.apVertex16[0]);
        c.pEyePos = reinterpret_cast<float*>(a.apVertex16[1]);
        c.pColours = reinterpret_cast<float*>(a.apVertex16[2]);
        c.pTexWork = reinterpret_cast<float*>(a.apVertex16[3]);
        c.pWindow = reinterpret_cast<LONG*>(a.pVertex12);
        c.pOutcodes = a.pVertexFlags;
        c.pEdgeWords = a.pStripWords;
        c.pHwVertices = a.pClip20;
        c.pFaceRuns = a.pWords1026;
        _NInitFragSpan(&c.span, &c.texLod);
        c.pCurPrim = nullptr;
        for (ULONG k = 0; k < 5; ++k) c.apSpan[k] = a.apSpan[k];
        c.apSpan[5] = a.apSpan16[0];
        c.apSpan[6] = a.apSpan16[1];
        c.pStripCounts = &c.stripVertexCount;
    }
    std::fill(std::begin(gSpans.alpha), std::end(gSpans.alpha), 1.0f);
    pctx->pBlock = &pctx->blocks[0];
}

void _NInitPrimPipes(N_Context* pctx) {
    for (const DispatchRow& r : kDispatch) {
        N_PrimDispatch& pd = pctx->prim[r.code - N_PRIM_FIRST_DISPATCH];
        pd.pfnSelector = r.pfnSelector;
        pd.pfnFacingTest = r.pfnFacingTest;
        pd.pfnPrimPath = r.pfnPrimPath;
        pd.pfnClipPath = r.pfnClipPath;
    }
}

// --- stage lists ------------------------------------------------------------------------------------
void _NBuildStageList(N_Context* pctx, N_Pipe* pipe, ULONG code, ULONG format, N_StageList* l) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    l->c = 0;
    l->Add(N_STAGE_HEAD);
    if (_NBoardFactsOf(pctx).flags & BCF_STEREO) l->Add(N_STAGE_STEREO_HEAD);
    const ULONG renderMode = ulAttr(pctx, N_ATTR_RENDER_MODE);
    const bool bNoClip = renderMode != N_RENDER_MODE_FEEDBACK && code != N_PRIM_RASTER_POS && _NClipListEmpty(pctx);
    if (pctx->drawingOff || bNoClip) {
        l->Add(N_STAGE_END);
        return;
    }
    vInstallVertexStages(pctx, format);
    // The raster position keeps its texture coordinates (generated and
    // through the texture matrix) whether or not texturing is on.
    const bool bTex = bTextured(pctx) || code == N_PRIM_RASTER_POS;
    if (format & N_VTX_CHANGEMASK) l->Add(N_STAGE_WRITE_BACK);
    if (!pctx->altVertexPath) {
        l->Add(N_STAGE_POSITION);
        if (pctx->eyePositions || code == N_PRIM_RASTER_POS) l->Add(N_STAGE_EYE);
        if (bTex) {
            l->Add(N_STAGE_TEXCOORD);
            l->Add(N_STAGE_ARRAY);
        }
    } else {
        l->Add(N_STAGE_WHOLE_FETCH);
        if (bTex) {
            l->Add(N_STAGE_TEXCOORD);
            l->Add(N_STAGE_ARRAY);
        }
        if (pctx->anyClipPlane) l->Add(N_STAGE_CLIP_TEST);
        l->Add(N_STAGE_PROJECT);
    }
    N_PrimDispatch* pd = c.pDispatch;
    if (bPolygon(code)) {
        vSet(N_STAGE_FACING, pd != nullptr ? pd->pfnFacingTest : nullptr);
        l->Add(N_STAGE_FACING);
    }
    if (ulAttr(pctx, N_ATTR_LIGHTING) != 0) l->Add(N_STAGE_LIGHT);
    // Edge flags matter to outlines and, for the vertices they mark, to
    // polygons drawn as points.
    if ((format & N_VTX_EDGEFLAG) && (pipe->mode & (N_MODE_POLY_LINE | N_MODE_POLY_POINT)))
        l->Add(N_STAGE_EDGE_GATHER);
    if (pipe->colourMaterialMask != 0) l->Add(N_STAGE_COLOUR_MATERIAL);
    const bool bList14 = !(bTexReplace(pctx) || bTexturedFog(pctx));
    c.stage14LeftOut = bList14 ? 0 : 1;
    if (bList14) {
        vSet(N_STAGE_VERTEX, pd != nullptr ? pd->pfnVertexStage : nullptr);
        l->Add(N_STAGE_VERTEX);
    }
    if (ulAttr(pctx, N_ATTR_FOG) != 0) {
        if (bTexturedFog(pctx) && !bCI(pctx)) vSet(N_STAGE_FOG, _NStageFogTextured);
        l->Add(N_STAGE_FOG);
    }
    l->Add(N_STAGE_STRIPS);
    if (bModePart(pctx, pipe, code, l, bList14)) {
        vRasterPart(pctx, pipe, code, l);
        vFragmentPart(pctx, pipe, code, l);
    }
    l->Add(N_STAGE_END);
}

void _NValPrimPipe(N_Context* pctx, N_Pipe* pipe, ULONG code, ULONG format) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_Pipe* front = pipe->pFront;
    N_Pipe* back = pipe->pBack;
    const bool ci = bCI(pctx);
    // 1. Mode copies, code, format, the per-primitive buffer.
    for (ULONG k = 0; k < 4; ++k) c.modeCopies[k] = static_cast<LONG>(ulAttr(pctx, N_ATTR_LIGHTING + k));
    c.code = code;
    c.format = format;
    c.pHwVertices = gNArena.pClip20;
    if ((bTextured(pctx) || code == N_PRIM_RASTER_POS) && !(format & N_VTX_TEXCOORD))
        c.texCoord = Current(pctx, N_ATTR_TEXCOORD);
    // 2. Grey colour.
    const float* rgb = reinterpret_cast<const float*>(pulAttr(pctx, N_ATTR_COLOUR));
    pctx->pHw->grey = (ulAttr(pctx, N_ATTR_FOG) == 0 && ulAttr(pctx, N_ATTR_LIGHTING) == 0 && !ci && !(format & N_FMT_COLOURS) &&
                       rgb[0] == rgb[1] && rgb[1] == rgb[2]) ? 1 : 0;
    if (code < N_PRIM_FIRST_DISPATCH) {
        // 9. The pixel, bitmap and raster paths.
        _NValPixelOps(pctx, nullptr);
        pipe->mode = pctx->enableWord;
        pipe->dither = 0;
        _NValPixelPipe(pctx, pipe, code);
        if (!pctx->oneShotList) {
            c.code = code;
            c.format = format;
        }
        c.setupCode = code;
        c.setupFormat = format;
        return;
    }
    // 3. Normal source, dispatch record, counts, sources.
    if (!(format & N_VTX_NORMAL)) c.normal = Current(pctx, N_ATTR_NORMAL);
    c.pDispatch = &pctx->prim[code - N_PRIM_FIRST_DISPATCH];
    c.batchSize = _NBatchSize(code);
    c.basicVertices = _NBasicVertices(code);
    c.carried = _NCarriedVertices(code);
    back->pFaceRecord = &c.back;
    // 4. Colour-material masks.
    const ULONG cmMask = ulAttr(pctx, N_ATTR_COLOUR_MATERIAL_CODE);
    const bool bCM = ulAttr(pctx, N_ATTR_COLOUR_MATERIAL) != 0 && !ci;
    front->colourMaterialMask = bCM ? (cmMask & 0xF) : 0;
    back->colourMaterialMask = bCM ? (pctx->backMaterial ? (cmMask >> 4) & 0xF : cmMask & 0xF) : 0;
    vSources(pctx, front, code, format);
    _NValPrimCB(pctx, pipe);
    _NValPixelOps(pctx, c.pDispatch);
    // 5. Mode words and the dither flag.
    const ULONG dither = cDither(pctx);
    for (N_Pipe* p : {front, back}) {
        p->mode = pctx->enableWord;
        p->dither = dither;
    }
    vSet(N_STAGE_COLOUR_MATERIAL, _NStageColourMaterial);
    if (!bPolygon(code)) {
        // 6. Points and lines.
        ULONG& m = front->mode;
        if (code <= N_PRIM_POINTS) m &= ~(N_MODE_WIDE_LINES | N_MODE_STIPPLE);
        if (bLine(code) && ulAttr(pctx, N_ATTR_SHADE_COPY2) > kFlat &&
            ((format & (0x01 | N_FMT_COLOURS | N_VTX_INDEX)) || ulAttr(pctx, N_ATTR_LIGHTING) != 0))
            m |= N_MODE_WIDE_LINES;
        m &= ~N_MODE_POLY_POINT;
        front->colourCopy = (m & N_MODE_WIDE_LINES) ? 0 : 1;
        if (!(m & N_MODE_WIDE_LINES)) front->dither = 0;
        vBuildPipe(pctx, front, code, format);
    } else {
        // 7. Polygons: edge flags, colour copy, polygon modes, both pipes.
        if (!(format & (N_VTX_FACET | 0x2))) c.edgeFlag = {gNArena.apClip16b[1], code == N_PRIM_POLYGON ? 0u : 16u};
        const ULONG flat = ulAttr(pctx, N_ATTR_SHADE) == kFlat ? 1 : 0;
        const bool bTwoSided = ulAttr(pctx, N_ATTR_TWO_SIDE) != 0;
        for (N_Pipe* p : {front, back}) {
            p->backInUse = 0;
            p->colourCopy = flat;
        }
        vPolygonMode(pctx, front, ulAttr(pctx, N_ATTR_POLYGON_FRONT), code, format);
        vPolygonMode(pctx, back, ulAttr(pctx, N_ATTR_POLYGON_BACK), code, format);
        vBuildPipe(pctx, front, code, format);
        // Without two-sided lighting back faces take the front face's
        // colours; the back pipe is built too, so that its own polygon
        // mode draws them.
        back->backInUse = bTwoSided ? 1 : 0;
        if (!bTwoSided) back->pFaceRecord = &c.front;
        vBuildPipe(pctx, back, code, format);
    }
    c.setupCode = code;
    c.setupFormat = format;
}

// --- running ------------------------------------------------------------------------------------------
void _NRunBatches(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_Pipe* front = pipe->pFront;
    N_Pipe* back = pipe->pBack;
    const ULONG code = c.code;
    if (c.batchSize == 0 || c.batchSize > N_BATCH_POINTS) {
        _NProgrammerError();
        return;
    }
    c.splitting = 1;
    SourceRef refs[kMaxSources];
    const ULONG cRefs = cSources(c, refs);
    N_Source saved[kMaxSources];
    for (ULONG i = 0; i < cRefs; ++i) saved[i] = *refs[i].pSource;
    const ULONG savedFormat = c.format;
    const ULONG savedModes[2] = {front->mode, back->mode};
    const ULONG carried = c.carried;
    ULONG remaining = c.primVertexCount;
    const bool bFan = code == N_PRIM_POLYGON || code == N_PRIM_FAN;

    // Fans: each batch after the first is gathered into scratch: the centre
    // vertex, then the carried and new vertices.
    const bool bEdges = bFan && ((front->mode | back->mode) & N_MODE_POLY_LINE) && !(savedFormat & N_VTX_EDGEFLAG);
    N_Source flagSaved = c.flagWord;
    if (bEdges) {
        c.format |= N_VTX_EDGEFLAG;
        for (N_Pipe* p : {front, back})
            if (p->mode & N_MODE_POLY_LINE) p->mode = (p->mode & ~N_MODE_POLY_LINE) | N_MODE_POLY_LINE_PRIM;
    }
    BYTE* pjScratch = gNArena.apImage[1];
    ULONG* pulFlags = gNArena.apClipWords[0];
    ULONG start = 0;  // source index of the batch's first vertex after the centre
    ULONG count = std::min(c.batchSize, remaining);
    bool bFirst = true;
    while (true) {
        if (bFan && !bFirst) {
            // Gather: centre, then `count - 1` vertices from `start`.
            BYTE* pj = pjScratch;
            for (ULONG r = 0; r < cRefs; ++r) {
                const auto* pSrc = static_cast<const BYTE*>(saved[r].p);
                const ULONG step = saved[r].step, cb = refs[r].cbElement;
                std::memcpy(pj, pSrc, cb);
                for (ULONG v = 1; v < count; ++v)
                    std::memcpy(pj + std::size_t{v} * cb, pSrc + std::size_t{start + v - 1} * step, cb);
                *refs[r].pSource = {pj, cb};
                pj += std::size_t{count} * cb;
            }
        }
        if (bEdges) {
            // Boundary edges 1; the closing edge of a batch is internal.
            const ULONG* pSrcFlags = static_cast<const ULONG*>(c.flagWord.p);
            for (ULONG v = 0; v < count; ++v) {
                const ULONG keep = (savedFormat & N_VTX_CHANGEMASK) && pSrcFlags != nullptr
                                       ? (pSrcFlags[v * (c.flagWord.step / 4)] & ~0xFFu) : 0;
                pulFlags[v] = keep | 1;
            }
            pulFlags[count - 1] = (pulFlags[count - 1] & ~0xFFu) | 2;
            if (code == N_PRIM_POLYGON) {
                if (!bFirst) pulFlags[0] = (pulFlags[0] & ~0xFFu) | 2;
                if (remaining < 1021 && remaining == count) pulFlags[count - 1] = (pulFlags[count - 1] & ~0xFFu) | 1;
            }
            c.flagWord = {pulFlags, 4};
        }
        ULONG n = count;
        if (code >= N_PRIM_TRIANGLES) c.faceCount = _NPrimFaceCount(code, &n);
        c.stripVertexCount = n;
        c.stripCount = 1;
        c.pStripCounts = &c.stripVertexCount;
        // The run head covers this batch (the facing test rewrites it for
        // polygonal kinds).
        c.pFaceRuns[0] = N_FACE_RUN(N_RUN_SECOND, n);
        c.pFaceRuns[1] = 0;
        c.first = bFirst ? 1 : 0;  // later batches continue the primitive
        pipe->next[N_STAGE_HEAD](pctx, pipe);
        if (bEdges) c.flagWord = flagSaved;
        if (n <= carried) break;
        const ULONG advance = n - carried;
        if (remaining <= advance) break;
        remaining -= advance;
        if (remaining < c.basicVertices) break;
        if (bFan) {
            // The next batch repeats the last vertex drawn after the centre.
            start = bFirst ? n - 1 : start + n - 2;
        } else {
            for (ULONG r = 0; r < cRefs; ++r) {
                N_Source& s = *refs[r].pSource;
                s.p = static_cast<const BYTE*>(s.p) + std::size_t{advance} * s.step;
            }
        }
        bFirst = false;
        count = std::min(c.batchSize, remaining);
    }
    for (ULONG i = 0; i < cRefs; ++i) *refs[i].pSource = saved[i];
    c.format = savedFormat;
    c.first = 1;
    front->mode = savedModes[0];
    back->mode = savedModes[1];
    c.splitting = 0;
}

void _NValidateAndDraw(N_Context* pctx, void* pvSpan, ULONG code, ULONG format) {
    N_PipeBlock* pBlock = &pctx->blocks[code & 15];
    N_HwRecord* phw = &pctx->hw[code & 15];
    pctx->pBlock = pBlock;
    if (pctx->pHw != phw) {
        pctx->pHw = phw;
        phw->batchCount = N_BATCH_PRIMS;
    }
    CommonPipeData& c = pBlock->common;
    if (c.setupCode != code || c.setupFormat != format) pctx->setupStale = 1;
    if (pctx->dirty != 0) _NValidate(pctx, pctx->dirty);
    if (pctx->drawingOff) return;
    N_Pipe* pipe = &pBlock->front;
    float savedColour[4];
    float* pColour = reinterpret_cast<float*>(pulAttr(pctx, N_ATTR_COLOUR));
    const bool bRaster = pctx->rasterColour != 0;
    if (bRaster) {
        std::memcpy(savedColour, pColour, sizeof savedColour);
        std::memcpy(pColour, pctx->rasterColourValue, sizeof savedColour);
    }
    pipe->pSpan = pvSpan != nullptr ? pvSpan : &gSpans;
    c.apSpan[0] = gSpans.packed;
    c.apSpan[1] = gSpans.stencil;
    _NValPrimPipe(pctx, pipe, code, format);
    pctx->setupStale = 0;
    if (pipe->dither && _NDitherMarker(phw) != N_DITHER_MARKER) _NLoadDither(phw);
    if (phw->pCurrentPipe != pipe) {
        phw->batchCount = N_BATCH_PRIMS;
        phw->pCurrentPipe = pipe;
    }
    pipe->next[N_STAGE_HEAD](pctx, pipe);
    if (bRaster) std::memcpy(pColour, savedColour, sizeof savedColour);
}

N_Source* _NSourceOfFormatBit(CommonPipeData& c, ULONG bit) {
    switch (bit) {
        case 2: case 3: case 4: return &c.position;
        case 5: case 6: case 7: return &c.front.colour;
        case 8: return &c.normal;
        case 9: return &c.edgeFlag;
        case 10: return &c.texCoord;
        case 11: return &c.front.emission;
        case 12: case 21: return &c.front.ambient;
        case 13: case 22: return &c.front.diffuse;
        case 14: case 23: return &c.front.specular;
        case 15: return &c.front.shininess;
        case 16: return &c.back.emission;
        case 17: case 24: return &c.back.ambient;
        case 18: case 25: return &c.back.diffuse;
        case 19: case 26: return &c.back.specular;
        case 20: return &c.back.shininess;
        default: return nullptr;
    }
}

// --- fixed stages ------------------------------------------------------------------------------------------
void _NStageWriteBack(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    const auto* pFlags = static_cast<const BYTE*>(c.flagWord.p);
    for (ULONG i = 0; i < n && pFlags != nullptr; ++i) {
        const ULONG word = *reinterpret_cast<const ULONG*>(pFlags + std::size_t{i} * c.flagWord.step);
        const ULONG mask = (word >> 5) & c.format;
        for (ULONG bit = 5; bit <= 26; ++bit) {
            if (bit == 9) continue;  // the edge flag is the flag word's low byte (below)
            const N_Source* s = _NSourceOfFormatBit(c, bit);
            if (!(mask & (1u << bit)) || s == nullptr || s->p == nullptr) continue;
            const ULONG words = _NAttrMaskWords(1u << bit);
            const auto* pSrc = static_cast<const BYTE*>(s->p) + std::size_t{i} * s->step;
            ULONG* pDst = pulAttr(pctx, _NAttrOfBit(bit));
            std::memcpy(pDst, pSrc, words * 4);
            if (bit == 5) {
                const float one = 1.0f;
                std::memcpy(pDst + 3, &one, 4);
            }
        }
        if (c.format & N_VTX_EDGEFLAG) *pulAttr(pctx, N_ATTR_EDGE_FLAG) = word & 0xFF;
    }
    pipe->next[N_STAGE_WRITE_BACK](pctx, pipe);
}

void _NStageEdgeGather(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    const auto* pj = static_cast<const BYTE*>(c.flagWord.p);
    for (ULONG i = 0; i < n && pj != nullptr; ++i)
        c.pEdgeWords[i] = *reinterpret_cast<const ULONG*>(pj + std::size_t{i} * c.flagWord.step);
    pipe->next[N_STAGE_EDGE_GATHER](pctx, pipe);
}

void _NStageSelect(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    // The batch may be a piece that clipping made, or one batch of a split
    // primitive: the hit is reported once the whole primitive has run.
    if (!bPolygon(c.code)) {
        _NSelectBatch(pctx, c.pClipPos, 4, n, 0);
    } else {
        // Faces that culling dropped make no hit.
        N_FaceRunReader runs(c.pFaceRuns);
        ULONG v[4];
        for (ULONG f = 0; f < _NFaceCount(c.code, n); ++f) {
            const ULONG cv = _NFaceVertices(c.code, f, v);
            if (runs.Next() == N_RUN_SKIP) continue;
            for (ULONG k = 0; k < cv; ++k) _NSelectBatch(pctx, c.pClipPos + 4 * std::size_t{v[k]}, 4, 1, 0);
        }
    }
    pipe->next[N_STAGE_SELECT](pctx, pipe);
}

// The user-plane outcodes of the batch's eye positions (bit k for plane
// k): a batch wholly outside one plane is dropped, the others go on. The
// pieces that cross a plane are clipped later by the record's clipping
// path, which the strip runner runs in place of the primitive path once
// the vertices are lit, so that clipping interpolates lit colours.
void _NStageClipTest(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    float planes[N_CLIP_PLANE_CAPACITY][4];
    ULONG mask = 0;
    _NUserPlanes(pctx, planes, &mask);
    ULONG andOut = 63, orOut = 0;
    for (ULONG i = 0; i < n; ++i) {
        const float* v = c.pEyePos + 4 * std::size_t{i};
        ULONG out = 0;
        for (ULONG k = 0; k < N_CLIP_PLANE_CAPACITY; ++k) {
            const float* p = planes[k];
            if ((mask & (1u << k)) && !(p[0] * v[0] + p[1] * v[1] + p[2] * v[2] + p[3] * v[3] >= -0.000001f))
                out |= 1u << k;
        }
        c.pOutcodes[i] = out;
        andOut &= out;
        orOut |= out;
    }
    c.andOutcode = andOut;
    c.orOutcode = orOut;
    if (andOut != 0) return;
    pipe->next[N_STAGE_CLIP_TEST](pctx, pipe);
}
