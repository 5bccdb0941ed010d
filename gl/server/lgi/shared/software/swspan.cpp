// The fragment span's storage and the order of the span stages that follow
// the rasteriser.
#include "swspan.h"

namespace {

// One element a fragment; the mask has four bytes of room beyond the
// longest span.
struct FragStorage {
    float red[N_FRAG_MAX], green[N_FRAG_MAX], blue[N_FRAG_MAX], alpha[N_FRAG_MAX];
    ULONG depth[N_FRAG_MAX];
    float s[N_FRAG_MAX], t[N_FRAG_MAX], q[N_FRAG_MAX];
    BYTE newStencil[N_FRAG_MAX];
    float dstRed[N_FRAG_MAX], dstGreen[N_FRAG_MAX], dstBlue[N_FRAG_MAX], dstAlpha[N_FRAG_MAX];
    ULONG dstDepth[N_FRAG_MAX];
    BYTE dstStencil[N_FRAG_MAX];
    ULONG dstPacked[N_FRAG_MAX];
    LONG x[N_FRAG_MAX], y[N_FRAG_MAX];
    BYTE mask[N_FRAG_MAX + 4];
    ULONG packed[N_FRAG_MAX];
    float texelAlpha[N_FRAG_MAX];
    ULONG readRow[N_FRAG_MAX];
};
// Every pipe block's span uses the same storage: spans run one at a time.
FragStorage gFrag;
N_PgonLineScratch gPgonLine;

bool bPolygonKind(ULONG code) { return code >= N_PRIM_POLYGON && code <= N_PRIM_QUAD_STRIP; }

}  // namespace

void _NInitFragSpan(N_FragSpan* p, N_TexLod* pLod) {
    *p = N_FragSpan{};
    FragStorage& f = gFrag;
    p->pRed = f.red;
    p->pGreen = f.green;
    p->pBlue = f.blue;
    p->pAlpha = f.alpha;
    p->pDepth = f.depth;
    p->pS = f.s;
    p->pT = f.t;
    p->pQ = f.q;
    p->pNewStencil = f.newStencil;
    p->pDstRed = f.dstRed;
    p->pDstGreen = f.dstGreen;
    p->pDstBlue = f.dstBlue;
    p->pDstAlpha = f.dstAlpha;
    p->pDstDepth = f.dstDepth;
    p->pDstStencil = f.dstStencil;
    p->pDstPacked = f.dstPacked;
    p->pX = f.x;
    p->pY = f.y;
    p->pMask = f.mask;
    p->pPacked = f.packed;
    p->pTexLod = pLod;
    p->pTexelAlpha = f.texelAlpha;
    *pLod = N_TexLod{};
}

ULONG* _NSpanReadRow(void) { return gFrag.readRow; }
N_PgonLineScratch* _NPgonLineScratch(void) { return &gPgonLine; }

void _NSpanStageList(ULONG code, ULONG mode, N_StageList* l) {
    const bool bColour = (mode & N_MODE_FRAGMENTS) != 0;
    if ((code == N_PRIM_DRAW_PIXELS || code == N_PRIM_COPY_PIXELS) && (mode & N_MODE_DEPTH_TEST))
        l->Add(N_STAGE_READ_DEPTH);
    if (mode & N_MODE_TEXTURE) l->Add(N_STAGE_SW_TEXTURE);
    if (bPolygonKind(code) && (mode & N_MODE_SPAN_FILL)) l->Add(N_STAGE_SPAN_FILL);
    if (mode & N_MODE_ALPHA_TEST) l->Add(N_STAGE_ALPHA_TEST);
    if (mode & N_MODE_STENCIL) {
        l->Add(N_STAGE_STENCIL_TEST);
        // The depth result picks the stencil operation of the fragments
        // that passed the stencil test (mask 15 passed, 10 failed depth).
        if (_NSpanTestsDepth(mode)) l->Add(N_STAGE_DEPTH_TEST);
        l->Add(N_STAGE_STENCIL_UPDATE);
        l->Add(N_STAGE_WRITE_STENCIL);
    }
    if (bColour) {
        // Blending reads the destination colour the rasteriser reads back
        // whenever blending is on, wherever the alpha buffer lies, so the
        // blend stage follows blending alone.
        if (mode & N_MODE_BLEND) l->Add(N_STAGE_BLEND);
        l->Add(N_STAGE_DITHER_PACK);
    }
    if (mode & N_MODE_LOGIC_OP) l->Add(N_STAGE_LOGIC_OP);
    if (bColour) l->Add(N_STAGE_WRITE_COLOUR);
}
