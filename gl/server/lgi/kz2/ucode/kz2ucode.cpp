// The generator driver: from the fragment state of the current context to
// a complete render program with its packet image (kz2ucode.h).
#include "kz2/ucode/kz2ucode.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "3d/context/context.h"
#include "3d/validate/validate.h"
#include "lgigl.h"
#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzuemit.h"
#include "lgi.h"
#include "glpdev.h"
#include "../../seams.h"

namespace {

constexpr char kSource[] = "kz2_ConstructKzUcode";

// State-block attributes the generator reads.
enum : ULONG {
    A_CURRENT_COLOUR = N_ATTR_COLOUR, A_COLOUR_INDEX_MODE = N_ATTR_COLOUR_INDEX_MODE,
    A_STENCIL_FUNC = N_ATTR_STENCIL_FUNC, A_STENCIL_OPS = N_ATTR_STENCIL_OP, A_ALPHA_FUNC = N_ATTR_ALPHA_FUNC,
    A_DEPTH_FUNC = N_ATTR_DEPTH_FUNC, A_BLEND = N_ATTR_BLEND_FUNC, A_DITHER = N_ATTR_DITHER,
    A_LOGIC_OP = N_ATTR_LOGIC_OP_CODE, A_COLOUR_MASK = N_ATTR_COLOUR_MASK, A_INDEX_MASK = N_ATTR_INDEX_MASK,
    A_DRAW_BUFFER = N_ATTR_DRAW_BUFFER, A_FOG = N_ATTR_FOG, A_FOG_COLOUR = N_ATTR_FOG_COLOUR,
    A_STENCIL_WRITE_MASK = N_ATTR_STENCIL_MASK,
};
constexpr ULONG kDrawSlots = 4;

ULONG ulAttr(N_Context* pctx, ULONG id, ULONG i = 0) { return pulAttr(pctx, id)[i]; }
float fAttr(N_Context* pctx, ULONG id, ULONG i = 0) { return std::bit_cast<float>(ulAttr(pctx, id, i)); }

// round(f x 256) & 0x1FF: the 9-bit alpha form (256 is 1.0).
ULONG ulAlpha9(float f) { return static_cast<ULONG>(std::lrint(f * 256.0f)) & 0x1FFu; }

const GLBuffer* pBufferAt(N_Context* pctx, LONG slot) {
    return slot >= 0 ? pctx->buffers[slot].pBuffer : nullptr;
}
bool bBoard(const GLBuffer* pb) { return pb != nullptr && pb->memoryKind == GLBUFFER_MEMORY_DEVICE; }

// The draw colour buffers of the draw-buffer code and the alpha buffer of
// each, as the validation chooses them (absent slots skipped).
struct DrawList {
    ULONG c = 0;
    const GLBuffer* colour[kDrawSlots] = {};
    const GLBuffer* alpha[kDrawSlots] = {};
};
DrawList drawListOf(N_Context* pctx) {
    struct Row {
        ULONG code;
        LONG slots[kDrawSlots];
    };
    static constexpr Row kRows[] = {
        {1, {0, -1, -1, -1}}, {2, {8, -1, -1, -1}}, {4, {1, -1, -1, -1}}, {8, {9, -1, -1, -1}},
        {3, {0, 8, -1, -1}},  {12, {1, 9, -1, -1}}, {5, {0, 1, -1, -1}},  {10, {8, 9, -1, -1}},
        {255, {0, 8, 1, 9}},
    };
    DrawList l;
    const ULONG code = ulAttr(pctx, A_DRAW_BUFFER);
    for (const Row& row : kRows) {
        if (row.code != code) continue;
        for (LONG slot : row.slots) {
            if (slot < 0 || pBufferAt(pctx, slot) == nullptr) continue;
            l.alpha[l.c] = pBufferAt(pctx, _NAlphaSlotOf(slot));
            l.colour[l.c++] = pBufferAt(pctx, slot);
        }
    }
    return l;
}

// The board pid of a level of the bound texture: the address the texture
// cache found the level at or loaded it to, which is the pid of the texture
// table's image surface; 0 when the level is not on the board.
ULONG ulTextureLevelPid(N_Context* pctx, ULONG level) {
    if (!pctx->texBound || level >= N_TEX_LEVELS) return 0;
    return pctx->boundTex.boardAddress[level] & 0xFFFFu;
}

// The texture of a textured pass: the lookup's registers and what the
// combine needs.
struct TexturePass {
    ULONG mode = 1;     // the lookup mode (the pass; 1 for pass 0)
    ULONG env = 0;      // 0 modulate, 1 decal, 2 blend
    bool fog = false;   // fogged after the environment: the colour is the fog factor
    ULONG fogHwColour = 0;  // the fog colour, as the colour buffer holds it
    ULONG colourHw = 0;     // the current colour, as the colour buffer holds it (modulate)
    ULONG pid = 0;      // the level's pid
    bool second = false;  // two levels mixed: the pid placed twice
    ULONG pidIndex = 0;   // where the level's pid was placed
    kzLookupRegs r{};
};

// The work registers of a program and who holds each in which stage. The
// pattern group (the pattern register with pr0-pr7) is claimed first and
// held to the end; the blend stage's four follow, and the driver checks
// they are these:
struct WorkRegister {
    ULONG reg;
    const char* held;
};
constexpr WorkRegister kWorkBudget[4] = {
    {KZU_pr8, "T1: the tests' compare results, then every colour stage's first work register"},
    {KZU_pr9, "T2: the stencil test's masked value, then every colour stage's second work register"},
    {KZU_pr10, "T3: the stencil value kept for the write mask (tests); the saturate factor (alpha-buffer blends); "
               "the lookup's t0 (texture); given back for a source-alpha blend's V"},
    {KZU_pr11, "T4: the stored depth with depth writes off (tests); the lookup's t1; the masked blends' second "
               "term; given back for a source-alpha blend's V2"},
};
// Beyond them a claim spills into the shared scratch pixmap, the pixel of
// the temporary 32-bit surface at the fragment's position: the clamping add
// steps' W below 24 bits a pixel, never at 32 bits, where that pixel is the
// colour buffer's own (the allocator refuses it there).

struct Build {
    N_HwRecord* hw;
    N_Context* ctx;
    kzRenderProg* prog;
    PDEV* ppdev;
    ULONG flags, X, request, pass;
    DrawList draw;
    const GLBuffer* D;
    ULONG bpp;
    ULONG pidDefault;

    // Stage flags.
    bool hasColour, ci, pixelRect, logicOp, depthTest, blend, aaLine, alphaInColour, alphaTest, stencil;
    bool failUpdate, zfailUpdate, zpassUpdate, countingOne, alphaBuffer, alphaUpdate, masked, dither, texture;
    bool alphaWrite;  // the alpha buffer written without blending
    bool windowClip;
    ULONG stipplePid = 0xFFFFu;  // the scratch pixmap's stipple tile
    ULONG sf, df;

    // Registers.
    ULONG maskC = 0, zReg = 0, S = 0, Dpx = 0, Z = 0, M = 0, T[4] = {}, alphaReg = 0;
    // The pixmap register of each draw buffer (Dpx the first): wherever its
    // pid was placed, after any scratch pixmaps claimed before them.
    ULONG drawPx[kDrawSlots] = {};
    TexturePass tex;
    const kzuCCDesc* cc0 = nullptr;
    // The stencil test's code: every later word's predicate names it, so it
    // is held until the last of them is placed (a step that claimed it
    // afresh would redefine it under the colour stage).
    const kzuCCDesc* ccS = nullptr;

    ULONG Const(ULONG value, ULONG claimant) {
        const ULONG reg = kzAllocRegisterResource(hw, prog, KZ_RES_DATA | KZ_RES_CONSTANT, claimant);
        if (reg >= KZU_constant_0 && reg <= KZU_constant_7) kzPlaceConstant(prog, reg, value);
        prog->header = (prog->header & ~KZU_HDR_CONSTANTS_MASK) | KZU_CONSTANTS_8_PER_PKT;
        return reg;
    }
    ULONG Pixmap(ULONG pid) { return KZU_pixmap0 + kzPlacePid(prog, pid, pidDefault); }
    void LoadKind(ULONG reg, ULONG kind) {
        if (reg >= KZU_rgb0 && reg <= KZU_z2) {
            prog->header = (prog->header & ~kzuHdrLoadKind(reg, 3)) | kzuHdrLoadKind(reg, kind);
        }
    }
    void Emit(ULONG word, int line = __builtin_LINE()) { _kzuEmit(prog, word | X, kSource, line); }
};

ULONG ulRefuse(kzRenderProg* prog) {
    prog->valid = 0;
    return 0;
}

// The pid no pixmap has (a scratch pixmap that board memory had no room for).
constexpr ULONG kNoPid = 0xFFFFu;

// Whether the program placed the pid no pixmap has.
bool bPlacesNoPid(const kzRenderProg* prog) {
    for (ULONG n = 0; n < prog->pidCount && n < KZ_PID_ROOM; ++n) {
        if (kzPidAt(prog, n) == kNoPid) return true;
    }
    return false;
}

// Load kinds of a colour layout code: 3 for colour form 0, 2 for form 1, 1
// for form 2; 0 for a code without colour.
ULONG ulColourKind(ULONG attr) {
    switch (attr) {
    case 2: case 3: case 12: case 13: return 3;
    case 5: case 6: case 15: case 16: return 2;
    case 8: case 9: case 18: case 19: return 1;
    default: return 0;
    }
}

// The alpha test, the stencil test and the depth test with the stencil
// updates; answers the predicate of the colour write.
ULONG ulTests(Build& b) {
    kzRenderProg* prog = b.prog;
    N_Context* pctx = b.ctx;
    const ULONG X = b.X;
    ULONG P = 0;
    const bool bAnyTest = b.windowClip || b.stencil || b.alphaTest || b.depthTest;
    if (bAnyTest) P = b.cc0->w[KZU_CC_PRED_WORD];

    if (b.windowClip) {
        // The window's mask in the scratch pixmap: fragments where it holds
        // more than 0 go on.
        if (pctx->clipType == 2) {
            DbgPrint("Yikes, clipType == Clip_Ctl\n");
            _NProgrammerError();
        }
        const ULONG mask = b.Pixmap(b.stipplePid);
        b.Emit(kzuInstr(b.cc0->w[KZU_CMP_LT], b.T[0], b.Z, mask) | KZU_CLIP | P);
    }

    if (b.alphaTest) {
        const ULONG ref = b.Const(ulAlpha9(fAttr(pctx, A_ALPHA_FUNC, 1)), KZ_ALPHA_TEST);
        const ULONG A = b.alphaInColour ? b.alphaReg : b.Const(ulAlpha9(fAttr(pctx, A_CURRENT_COLOUR, 3)), KZ_ALPHA_TEST);
        kzAllocCC(KZ_ALPHA_TEST, KZ_CC_JOIN, b.cc0);
        _kzuAlphaTest(prog, ulAttr(pctx, A_ALPHA_FUNC), A, ref, b.T[0], X | P | KZU_CLIP | KZU_IF_CC0, b.cc0, b.Z);
    }

    ULONG Spx = 0, refC = 0, maskC = 0, one = 0, keepC = 0;
    const kzuCCDesc* ccS = nullptr;
    const ULONG stencilFunc = ulAttr(pctx, A_STENCIL_FUNC);
    const ULONG failOp = ulAttr(pctx, A_STENCIL_OPS, 0), zpassOp = ulAttr(pctx, A_STENCIL_OPS, 1),
                zfailOp = ulAttr(pctx, A_STENCIL_OPS, 2);
    if (b.stencil) {
        const ULONG ref = ulAttr(pctx, A_STENCIL_FUNC, 1), mask = ulAttr(pctx, A_STENCIL_FUNC, 2);
        Spx = b.Pixmap(_NPidOf(pBufferAt(pctx, N_SLOT_STENCIL)));
        maskC = b.Const(mask & 0xFFu, KZ_STENCIL_TEST);
        refC = b.Const(ref & mask, KZ_STENCIL_TEST);
        if (b.countingOne) one = (mask & 0xFFu) == 1 ? maskC : (ref & mask) == 1 ? refC : b.Const(1, KZ_STENCIL_UPDATE);
        // A stencil write mask that keeps some bits: the value the fragment
        // started with is kept aside (the texture's first register is free
        // until the colour stage) and its kept bits put back at the end.
        const ULONG writeMask = ulAttr(pctx, A_STENCIL_WRITE_MASK) & 0xFFu;
        if (writeMask != 0xFFu && (b.failUpdate || b.zfailUpdate || b.zpassUpdate)) {
            keepC = b.Const(writeMask, KZ_STENCIL_UPDATE);
            b.Emit(kzuInstr(KZU_OP_COPY, b.T[2], Spx, 0) | KZU_CLIP);
        }
        ccS = kzAllocCC(KZ_STENCIL_UPDATE, KZ_CC_FRESH, nullptr);
        const ULONG predS = ccS->w[KZU_CC_PRED_WORD];
        _kzuStencilTest(prog, stencilFunc, Spx, refC, maskC, b.T[0], b.T[1], X | KZU_CLIP | predS, ccS, b.Z);
        if (b.failUpdate) {
            const kzuCCDesc* ccF = kzAllocCC(KZ_STENCIL_UPDATE, KZ_CC_FRESH, nullptr);
            const ULONG predF = ccF->w[KZU_CC_PRED_WORD];
            _kzuStencilNotTest(prog, stencilFunc, Spx, refC, maskC, b.T[0], b.T[1], X | KZU_CLIP | predF, ccF, b.Z);
            _kzuStencilUpdate(prog, failOp, refC, Spx, one, X | KZU_CLIP | KZU_IF_CC0 | predF, b.Z);
            kzReleaseCC(ccF, KZ_STENCIL_UPDATE);
        }
        P |= predS;
        // Without a depth test every fragment that passes the stencil test
        // passes the depth test too: the depth-pass operation applies to it.
        if (!b.depthTest && b.zpassUpdate) {
            _kzuStencilUpdate(prog, zpassOp, refC, Spx, one, X | KZU_CLIP | KZU_IF_CC0 | P, b.Z);
        }
    }

    if (b.depthTest) {
        ULONG func = ulAttr(pctx, A_DEPTH_FUNC);
        if (b.logicOp && func == KZ_LESS) func = KZ_LEQUAL;
        if (b.logicOp && func == KZ_GREATER) func = KZ_GEQUAL;
        const ULONG Zpx = b.Pixmap(_NPidOf(pBufferAt(pctx, N_SLOT_DEPTH)) & 31u);
        // With depth writes off the compare delivers into a register nothing
        // keeps: the texture's second one, free until the colour stage. (A
        // fifth work register would spill into the shared scratch pixmap,
        // a pixel of the board's memory the value does not need.)
        const ULONG R = (b.ctx->enableWord & KZ_EN_NO_DEPTH_WRITES) ? b.T[3] : Zpx;
        if (b.zfailUpdate) {
            const kzuCCDesc* ccZ = kzAllocCC(KZ_STENCIL_UPDATE, KZ_CC_FRESH, nullptr);
            const ULONG predZ = ccZ->w[KZU_CC_PRED_WORD];
            _kzuDepthNotTest(prog, func, b.zReg, Zpx, b.T[1], b.T[0], X | KZU_CLIP | P, ccZ, b.Z);
            _kzuStencilUpdate(prog, zfailOp, refC, Spx, one, X | KZU_CLIP | KZU_IF_CC0 | predZ, b.Z);
            kzReleaseCC(ccZ, KZ_STENCIL_UPDATE);
        }
        _kzuDepthTest(prog, func, b.zReg, Zpx, R, b.T[0], X | KZU_CLIP | P, b.cc0, b.Z);
        if (b.zpassUpdate) _kzuStencilUpdate(prog, zpassOp, refC, Spx, one, X | KZU_CLIP | KZU_IF_CC0 | P, b.Z);
    }
    b.ccS = ccS;
    if (keepC != 0) {
        // The written bits from the updates, the others as they were.
        b.Emit(kzuInstr(KZU_OP_AND, b.T[0], Spx, keepC) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_ANDNOT, b.T[2], b.T[2], keepC) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_OR, Spx, b.T[0], b.T[2]) | KZU_CLIP);
    }
    return P;
}

// The blend of step "colour write with blending"; false when the state
// needs a source alpha the layout does not carry.
bool bBlend(Build& b, ULONG P) {
    kzRenderProg* prog = b.prog;
    const ULONG bits = b.X | P | KZU_CLIP;
    const ULONG T1 = b.T[0], T2 = b.T[1];
    const bool bNeedsSrcAlpha = b.alphaBuffer || b.alphaInColour;
    if (bNeedsSrcAlpha && !b.aaLine && b.alphaReg == 0) {
        DbgPrint("PROGRAMMER ERROR in blend: attr = %x: no ALPHA\n", b.prog->dataAttr);
        return false;
    }
    const ULONG U = b.Const(0x7000000u, KZ_BLEND);
    const ULONG O = b.bpp <= 16 ? b.Const(0, KZ_BLEND) : b.Z;
    const ULONG As = b.alphaReg;
    if (b.alphaBuffer) {
        const ULONG Ad = b.Pixmap(_NPidOf(b.draw.alpha[0]));
        // The saturate factor min(As, 1 - Ad) lives in the blend stage's
        // third work register, which the blends leave alone, rather than in
        // the shared scratch pixmap: that pixmap's register is the pixel at
        // the fragment's position of the temporary 32-bit surface's space,
        // and at 32 bits a pixel that space is the colour buffer's own, so
        // the factor written there would land on the destination pixel.
        ULONG F = 0;
        if (b.sf == KZ_BLEND_SRC_ALPHA_SATURATE) {
            F = b.T[2];
            _kzuBlendSaturateFactor(prog, As, Ad, F, T1, b.X | KZU_CLIP, U);
        }
        if (b.masked) _kzuBlendMaskDstAlpha(prog, b.sf, b.df, b.S, As, b.Dpx, Ad, T1, T2, F, bits, b.Z, b.maskC);
        else _kzuBlendDstAlpha(b.hw, prog, b.bpp, b.sf, b.df, b.S, As, b.Dpx, Ad, T1, T2, F, bits, b.Z, U, O, b.M);
        if (b.alphaUpdate) _kzuBlendAlphaBuffer(b.hw, prog, b.bpp, b.sf, b.df, As, Ad, T1, T2, bits, b.Z, U, O, b.M);
    } else if (b.alphaInColour || b.aaLine) {
        if (b.masked) _kzuBlendMaskSrcAlpha(prog, b.sf, b.df, b.S, As, b.Dpx, T1, T2, bits, b.Z, b.maskC);
        else {
            // The source-alpha blends claim up to two work registers of their
            // own. The blend stage's third and fourth are free by now (the
            // tests are done with them), so they are given back for those
            // claims: with all twelve taken a claim would spill into the
            // shared scratch pixmap, which at 32 bits a pixel is the
            // destination pixel itself.
            kzReleaseRegisterResource(b.T[2], KZ_BLEND);
            kzReleaseRegisterResource(b.T[3], KZ_BLEND);
            _kzuBlendSrcAlpha(b.hw, prog, b.bpp, b.sf, b.df, b.S, As, b.Dpx, T1, T2, bits, b.Z, U, O, b.M);
        }
    } else if (b.masked) {
        _kzuBlendMask(prog, b.sf, b.df, b.S, b.Dpx, T1, T2, bits, b.Z, b.maskC);
    } else if (b.dither && b.sf == KZ_BLEND_SRC_ALPHA && b.df == KZ_BLEND_ONE_MINUS_SRC_ALPHA) {
        b.Emit(kzuInstr(KZU_OP_ADD, b.Dpx, b.S, KZU_pattern) | P | KZU_CLIP);
    } else {
        _kzuBlend(b.hw, prog, b.bpp, b.sf, b.df, b.S, b.Dpx, T1, T2, bits, b.Z, U, O, b.M);
    }
    return true;
}

// The alpha buffer's write without blending: the fragment's alpha (the
// alpha register, or the current alpha when the layout carries none) into
// the alpha pixmap where the tests passed.
void vWriteAlpha(Build& b, ULONG P) {
    const ULONG Ad = b.Pixmap(_NPidOf(b.draw.alpha[0]));
    // The current alpha is copied as it is into the 8-bit pixel, which keeps
    // the word's low byte: the constant holds that byte (1.0 is 255), not
    // the 9-bit form the tests compare with, whose 1.0 (256) would store 0.
    const float a = std::clamp(fAttr(b.ctx, A_CURRENT_COLOUR, 3), 0.0f, 1.0f);
    const ULONG A = b.alphaReg != 0 ? b.alphaReg : b.Const(static_cast<ULONG>(std::lrint(a * 255.0f)), KZ_RGBA_UPDATE);
    b.Emit(kzuInstr(KZU_OP_COPY, Ad, A, 0) | b.X | P | KZU_CLIP);
}

// The colour write without blending.
void vWrite(Build& b, ULONG P) {
    kzRenderProg* prog = b.prog;
    const ULONG bits = b.X | P | KZU_CLIP;
    const ULONG T1 = b.T[0], T2 = b.T[1];
    if (b.ci) {
        // The index logic operation: the context's while logic operations are
        // enabled, else copy (the logic-operation stage flag is the RGBA
        // one, never set in colour-index mode).
        const ULONG op = (b.ctx->enableWord & KZ_EN_LOGIC_OP) ? ulAttr(b.ctx, A_LOGIC_OP) : KZ_LOGIC_COPY;
        if (b.bpp == 1) {
            const ULONG bit = b.Const(0x800000u, KZ_LOGICOP);
            const ULONG low = b.Const(0x7FFFFFu, KZ_LOGICOP);
            if (b.ppdev != nullptr) plGLSwapState(b.ppdev)[0] = 0;
            _kzuLogicOpOneBit(prog, op, low, bit, b.S, b.Dpx, T1, T2, bits, b.Z);
        } else if (b.masked) {
            _kzuLogicOpMasked(prog, op, b.S, b.Dpx, T1, T2, bits, b.Z, b.maskC);
        } else {
            _kzuLogicOp(prog, op, b.S, b.Dpx, T1, T2, bits, b.Z);
        }
        return;
    }
    if (b.logicOp) {
        const ULONG op = ulAttr(b.ctx, A_LOGIC_OP);
        if (b.masked) _kzuLogicOpMasked(prog, op, b.S, b.Dpx, T1, T2, bits, b.Z, b.maskC);
        else _kzuLogicOp(prog, op, b.S, b.Dpx, T1, T2, bits, b.Z);
        return;
    }
    const ULONG w = P | KZU_CLIP;
    if (b.masked) {
        ULONG src = b.S;
        if (b.dither) {
            b.Emit(kzuInstr(KZU_OP_ADD, T1, b.S, KZU_pattern) | w);
            src = T1;
        }
        b.Emit(kzuInstr(KZU_OP_AND, T1, src, b.maskC) | w);
        b.Emit(kzuInstr(KZU_OP_ANDNOT, T2, b.Dpx, b.maskC) | w);
        b.Emit(kzuInstr(KZU_OP_OR, b.Dpx, T1, T2) | w);
    } else if (b.dither) {
        b.Emit(kzuInstr(KZU_OP_ADD, b.Dpx, b.S, KZU_pattern) | w);
    } else {
        b.Emit(kzuInstr(KZU_OP_COPY, b.Dpx, b.S, 0) | w);
    }
}

// The texture's registers, claimed before any other data register so the
// coordinates take z0 and z1 (load kind 3, a word a vertex each): the
// scratch pair of a surface shallower than the texels, the filter's one and
// step, the level weights (placed as 0: the render functions fill them), the
// coordinates and the wrap masks of sides above 256.
void vClaimTexture(Build& b) {
    kzRenderProg* prog = b.prog;
    TexturePass& t = b.tex;
    kzLookupRegs& r = t.r;
    const ULONG pass = t.mode;
    const bool bTexture16 = b.ppdev != nullptr && *pGLPdevField<ULONG>(b.ppdev, gGLPdevFields.cjTexture16) != 0;
    r.viaScratch = b.bpp < 24 && !bTexture16 ? 1 : 0;
    if (r.viaScratch) {
        const bool b8 = b.bpp <= 8;
        r.scratchIn = kzAllocRegisterResource(b.hw, prog, KZ_RES_WORK | (b8 ? KZ_RES_SCRATCH_0000 : KZ_RES_SCRATCH_6000),
                                              KZ_TEXTURE);
        r.scratchOut = kzAllocRegisterResource(b.hw, prog, KZ_RES_WORK | (b8 ? KZ_RES_SCRATCH_4000 : KZ_RES_SCRATCH_8000),
                                               KZ_TEXTURE);
    }
    if (pass == 2 || pass == 4 || t.env == 2 || t.fog) {
        r.one = b.Const(0x7000000u, KZ_TEXTURE);
        if (pass == 2 || pass == 4) r.step = b.Const(0x10u, KZ_TEXTURE);
    }
    if (pass == 3 || pass == 4) {
        r.weightA = b.Const(0, KZ_TEXTURE);
        r.weightB = b.Const(0, KZ_TEXTURE);
    }
    r.U = kzAllocRegisterResource(b.hw, prog, KZ_RES_DATA | KZ_RES_PREFER_DEPTH, KZ_TEXTURE);
    r.V = kzAllocRegisterResource(b.hw, prog, KZ_RES_DATA | KZ_RES_PREFER_DEPTH, KZ_TEXTURE);
    b.LoadKind(r.U, 3);
    b.LoadKind(r.V, 3);
    const N_BoundTexture& bt = b.ctx->boundTex;
    r.unwrapped = std::max(bt.width, bt.height) <= 256 ? 1 : 0;
    if (!r.unwrapped) {
        r.maskU = b.Const(bt.width * 16 - 1, KZ_TEXTURE);
        r.maskV = b.Const(bt.height * 16 - 1, KZ_TEXTURE);
    }
}

// The texel of the pass combined with the fragment colour S by the
// texture environment into the colour pixmap, where the tests passed.
void vTexture(Build& b, ULONG P) {
    kzRenderProg* prog = b.prog;
    TexturePass& t = b.tex;
    kzLookupRegs& r = t.r;
    const ULONG bits = b.X | KZU_CLIP;
    t.pidIndex = kzPlacePid(prog, t.pid, b.pidDefault);
    r.tex0 = r.tex1 = KZU_pixmap0 + t.pidIndex;
    if (t.second) r.tex1 = KZU_pixmap0 + kzPlacePid(prog, t.pid, b.pidDefault);
    r.t0 = b.T[2];
    r.t1 = b.T[3];
    const ULONG T1 = b.T[0], T2 = b.T[1], T3 = b.T[2];
    // Decal writes the texel straight into the colour pixmap, except after
    // a filter (the filtered sum goes through T1).
    const bool bDirect = t.env == 1 && !t.fog && (t.mode == 1 || t.mode == 3);
    r.dst = bDirect ? b.Dpx : T1;
    if (t.mode == 1) {
        // One texel: the address registers from the coordinates.
        b.Emit(r.unwrapped ? kzuInstr(KZU_OP_COPY, KZU_u, r.U, 0) | KZU_CLIP
                           : kzuInstr(KZU_OP_AND, KZU_u, r.U, r.maskU) | KZU_CLIP);
        b.Emit(r.unwrapped ? kzuInstr(KZU_OP_COPY, KZU_v, r.V, 0) | KZU_CLIP
                           : kzuInstr(KZU_OP_AND, KZU_v, r.V, r.maskV) | KZU_CLIP);
    }
    kz2Lookup(t.mode, prog, bits, P, r);
    if (t.fog) {
        // Fogged texturing: the fragment colour S is the fog factor f in
        // every channel (the colour's own part is the current colour, a
        // constant), so the pixel is f x (the environment's colour) +
        // (1 - f) x the fog colour.
        const ULONG F = b.Const(t.fogHwColour, KZ_TEXTURE);
        if (t.env == 0) b.Emit(kzuInstr(KZU_OP_MUL, T1, T1, b.Const(t.colourHw, KZ_TEXTURE)) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_MUL, T1, T1, b.S) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_SUB, T2, r.one, b.S) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_MUL, T3, T2, F) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_ADD, b.Dpx, T1, T3) | P | KZU_CLIP);
        return;
    }
    switch (t.env) {
    case 0:  // modulate: texel x colour
        b.Emit(kzuInstr(KZU_OP_MUL, b.Dpx, T1, b.S) | P | KZU_CLIP);
        break;
    case 1:  // decal
        if (!bDirect) b.Emit(kzuInstr(KZU_OP_COPY, b.Dpx, T1, 0) | P | KZU_CLIP);
        break;
    default: {  // blend: colour x (1 - texel) + environment colour x texel
        const ULONG K = b.Const(b.ctx->val.tex.envHwColour, KZ_TEXTURE);
        b.Emit(kzuInstr(KZU_OP_SUB, T2, r.one, T1) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_MUL, T3, T1, K) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_MUL, T1, T2, b.S) | KZU_CLIP);
        b.Emit(kzuInstr(KZU_OP_ADD, b.Dpx, T1, T3) | P | KZU_CLIP);
        break;
    }
    }
}

// Raises the layout code to its form with a depth word and puts the depth
// register's load kind into the header.
void vDepthUpgrade(Build& b) {
    kzRenderProg* prog = b.prog;
    const ULONG attr = prog->dataAttr;
    switch (attr) {
    case 1: case 2: case 3: case 5: case 6: case 8: case 9: prog->dataAttr = attr + 10; break;
    case 11: case 12: case 13: case 15: case 16: break;
    default:
        if (b.depthTest) DbgPrint("XXX ztest: attr is strange to upgrade dataAttr: %x\n", attr);
        else DbgPrint("XXXXXX stencil test: trying to upgrade dataAttr, but attr is strange: %x\n", attr);
        break;
    }
    ULONG kind = 0;
    if ((b.flags & 0xC000u) == 0xC000u) {
        kind = 3;
    } else {
        switch (prog->dataAttr) {
        // Layout 11 (depth alone) and layouts 18 and 19 (their colour once a
        // packet): each point and each pixel of a pixel rectangle sends its
        // own depth word, so the depth is loaded per primitive.
        case 11: case 18: case 19: kind = 2; break;
        case 12: case 13: kind = 3; break;
        case 15: case 16: kind = 2; break;
        default:
            if (b.flags & 0x8000u) {
                kind = 2;
            } else {
                DbgPrint("PROGRAMMER ERROR in z test: attr = %x: no Z\n", prog->dataAttr);
                _NProgrammerError();
            }
            break;
        }
    }
    if (kind != 0) b.LoadKind(b.zReg, kind);
}

}  // namespace

ULONG kz2_ConstructKzUcode(N_HwRecord* hwRecord, kzRenderProg* program, ULONG flags, ULONG instrBits,
                           ULONG request, ULONG pass) {
    N_Context* pctx = hwRecord != nullptr ? hwRecord->pContext : nullptr;
    if (pctx == nullptr || program == nullptr) return 0;
    Build b{};
    b.hw = hwRecord;
    b.ctx = pctx;
    b.prog = program;
    b.ppdev = hwRecord->pDevice != nullptr ? hwRecord->pDevice->ppdev : nullptr;
    b.flags = flags;
    b.X = instrBits;
    b.request = request;
    b.pass = pass;

    // 1. The draw surface, the allocator, the scratch pixmap and its pids.
    b.draw = drawListOf(pctx);
    b.D = b.draw.c != 0 ? b.draw.colour[0] : nullptr;
    if (b.D == nullptr) return 0;
    kzResetRegisterResources();
    auto* pScratch = static_cast<GLBuffer*>(pctx->apScratchPixmap[0]);
    if (pScratch == nullptr) {
        pScratch = _DCreateScratchPixmap(b.ppdev);
        if (pScratch == nullptr) {
            // Where the window's buffers fill every page slot beside the
            // screen the pixmap finds none. Most programs never read it: they
            // are built all the same, and only a program that would (the
            // window clip's mask, a pid that falls back to the default one)
            // is refused at its finish, so that its primitives take the
            // software paths. Said once a context (a later build tries
            // again: board memory may have come free).
            if (pctx->scratchRefused == 0)
                DbgPrint("kz2_ConstructKzUcode: no room in board memory for the scratch pixmap: "
                         "no render programs that need it\n");
            pctx->scratchRefused = 1;
        } else {
            pctx->apScratchPixmap[0] = pScratch;
            pctx->scratchRefused = 0;
        }
    }
    const PAGECONFIG* ppc = b.ppdev != nullptr ? pGLPageConfig(b.ppdev) : nullptr;
    const bool bStereo = ppc != nullptr && ppc->fStereo != 0;
    // Without the pixmap the default pid is the one no pixmap has: a build
    // that places it is refused when it finishes.
    b.pidDefault = pScratch != nullptr ? _NPidOf(pScratch) | (bStereo ? 0xE000u : 0u) : kNoPid;
    b.stipplePid = _NStippleTilePid(pScratch, b.pidDefault);
    b.bpp = b.D->bitsPerPixel;

    // 2. Stage flags.
    const ULONG en = pctx->enableWord;
    const BoardConfig* bc = b.ppdev != nullptr ? pGLBoardConfig(b.ppdev) : nullptr;
    b.hasColour = request != 1 && request != 11;
    b.ci = ulAttr(pctx, A_COLOUR_INDEX_MODE) == 1;
    b.pixelRect = request == 22;
    b.logicOp = (en & KZ_EN_LOGIC_OP) && !b.ci;
    b.depthTest = (en & KZ_EN_DEPTH) && !b.pixelRect;
    b.blend = (en & KZ_EN_BLEND) && b.hasColour && !b.ci && !b.pixelRect;
    b.sf = ulAttr(pctx, A_BLEND, 0);
    b.df = ulAttr(pctx, A_BLEND, 1);
    const ULONG cls = flags & 15u;
    b.aaLine = (en & KZ_EN_AA_LINES) && b.hasColour && !b.pixelRect && (cls == 2 || cls == 3 || cls == 4);
    if (b.aaLine && bc != nullptr && (bc->flags & BCF_AA_LINES)) {
        b.blend = true;
        b.sf = KZ_BLEND_SRC_ALPHA;
        b.df = KZ_BLEND_ONE_MINUS_SRC_ALPHA;
    }
    b.alphaInColour = request == 3 || request == 6 || request == 9;
    b.alphaTest = (en & KZ_EN_ALPHA_TEST) && !b.ci && !b.pixelRect;
    b.stencil = (en & KZ_EN_STENCIL) && !b.pixelRect && bBoard(pBufferAt(pctx, N_SLOT_STENCIL));
    if (b.stencil) {
        const bool bWrites = !(en & KZ_EN_NO_STENCIL_WRITES);
        const ULONG failOp = ulAttr(pctx, A_STENCIL_OPS, 0), zpassOp = ulAttr(pctx, A_STENCIL_OPS, 1),
                    zfailOp = ulAttr(pctx, A_STENCIL_OPS, 2);
        b.failUpdate = failOp != 0 && bWrites;
        b.zfailUpdate = zfailOp != 0 && bWrites && b.depthTest;
        b.zpassUpdate = zpassOp != 0 && bWrites;
        auto counts = [](ULONG op) { return op == KZ_STENCIL_INCR || op == KZ_STENCIL_DECR; };
        b.countingOne = (b.failUpdate && counts(failOp)) || (b.zfailUpdate && counts(zfailOp)) ||
                        (b.zpassUpdate && counts(zpassOp));
    }
    b.alphaBuffer = b.blend && (en & KZ_EN_ALPHA_BUFFER) && bBoard(b.draw.alpha[0]) && !b.ci && !b.pixelRect;
    b.alphaUpdate = b.alphaBuffer && !(en & KZ_EN_NO_ALPHA_WRITES);
    // An alpha buffer takes the fragment's alpha wherever the colour is
    // written, blending or not; the blends above update it themselves.
    b.alphaWrite = !b.blend && b.hasColour && (en & KZ_EN_ALPHA_BUFFER) && !(en & KZ_EN_NO_ALPHA_WRITES) &&
                   bBoard(b.draw.alpha[0]) && !b.ci && !b.pixelRect;
    b.masked = (en & KZ_EN_MASKED) && b.hasColour && !b.pixelRect && (!b.ci || b.bpp > 1);
    // Dithering spreads a colour between the two levels of the pixel's
    // format nearest it: the pattern's offsets stay below one step of the
    // stored channel. At 24 and 32 bits a channel keeps all 8 bits the
    // colour word carries, so there is nothing to spread and the pattern
    // registers (whatever they hold) are not added.
    b.dither = ulAttr(pctx, A_DITHER) != 0 && !b.ci && b.bpp < 24;
    b.texture = ((en & KZ_EN_TEXTURE) && cls == 5) || pass != 0;
    // The mask in the scratch pixmap is the polygon stipple: it masks the
    // filled polygons alone (GL stipples neither points nor lines). A
    // stippled fill whose pattern is not on the board has no program: the
    // software stages draw it.
    const bool bFill = cls == 5 && !b.pixelRect;
    b.windowClip = pctx->clipControl != 0 && bFill;
    if (bFill && ((en | pctx->val.enableBack) & KZ_EN_STIPPLED_FILL) && !b.windowClip) return ulRefuse(program);

    // 3. Start the program.
    kzStartProgram(program, flags & KZU_HDR_FROM_FLAGS, request);
    program->surface = _NPidOf(b.D);
    kzSetBuildPids(b.pidDefault, 0xFFFFu);

    // 4. The pattern register, the write mask.
    kzAllocRegisterResource(hwRecord, program, KZ_RES_PATTERN, KZ_RGBA_UPDATE);
    if (b.masked) b.maskC = b.Const(b.ci ? ulAttr(pctx, A_INDEX_MASK) : ulAttr(pctx, A_COLOUR_MASK), KZ_RGBA_UPDATE);

    // 5. Texture checks.
    if (b.texture) {
        pctx->texAlpha = 0;
        const N_BoundTexture& t = pctx->boundTex;
        const bool bTexelAlpha = t.components == 2 || t.components == 4;
        b.tex.mode = pass != 0 ? pass : 1;
        b.tex.env = pctx->texEnv;
        b.tex.fog = ulAttr(pctx, A_FOG) != 0 && b.tex.env != 2;
        if (b.tex.fog) {
            const ULONG conv = pctx->val.colour.converter;
            b.tex.fogHwColour = _NColourToHardware(pctx, conv, reinterpret_cast<const float*>(pulAttr(pctx, A_FOG_COLOUR)));
            b.tex.colourHw = _NColourToHardware(pctx, conv, reinterpret_cast<const float*>(pulAttr(pctx, A_CURRENT_COLOUR)));
        }
        if (b.blend) {
            DbgPrint("kz2_ConstructKzUcode: textured pass %u: no blending\n", pass);
            return ulRefuse(program);
        }
        if (b.tex.env > 2) return ulRefuse(program);
        // The environment writes the colour pixmap itself: a partial write
        // mask, a logic operation or colour-index drawing would be skipped.
        if (b.masked || b.logicOp || b.ci) {
            DbgPrint("kz2_ConstructKzUcode: textured pass %u: no write mask, logic operation or index\n", pass);
            return ulRefuse(program);
        }
        // The texel's alpha (an alpha test after the environment, a decal of
        // a texture with alpha) is not fetched: those draw through software.
        // The same holds for the alpha buffer's write: GL's modulate and blend
        // environments weigh the fragment's alpha by the texel's.
        if (bTexelAlpha && (b.alphaTest || b.tex.env == 1 || b.alphaWrite)) return ulRefuse(program);
        if (pass == 4 && (b.bpp < 24 || std::max(t.width, t.height) > 256)) return ulRefuse(program);
        // At 8 bits a pixel the colour word's red holds the palette's offset
        // (red step 1 shows red 0) and each texel reaches the program as a
        // 3-3-2 pixel: the board's products and filter sums would scale the
        // offset and add the truncations of each texel. Only the single
        // texel copied as it is (decal) is GL's; the software stages draw
        // the others.
        if (b.bpp <= 8 && (b.tex.env != 1 || b.tex.fog || b.tex.mode != 1)) return ulRefuse(program);
        b.tex.pid = ulTextureLevelPid(pctx, 0);
        if (b.tex.pid == 0) {
            DbgPrint("kz2_ConstructKzUcode: the texture level is not on the board\n");
            return ulRefuse(program);
        }
        b.tex.second = (pass == 3 || pass == 4) && pctx->val.tex.betweenLevels != 0;
    }
    // The temporary 32-bit device surface gives the private scratch
    // pixmaps' pids; without one a program that needs them is refused.
    const GLBuffer* pTmp = _DGetTmp32DevSurf(const_cast<GLBuffer*>(b.D));
    kzSetBuildPids(b.pidDefault, pTmp != nullptr ? _NPidOf(pTmp) : 0xFFFFu);

    // 6. The clip rectangle.
    if (pctx->cClipRects < 2) {
        const ULONG* pul = pctx->pulPackedClip;
        auto corner = [&](ULONG w) {
            const ULONG x = (w & 0xFFFFu) + static_cast<ULONG>(b.D->x);
            const ULONG y = (w >> 16) + static_cast<ULONG>(b.D->y);
            return (y << 16) | (x & 0xFFFFu);
        };
        kzSetClipPair(program, kzClipPairOfPacked(corner(pul != nullptr ? pul[0] : 0), corner(pul != nullptr ? pul[1] : 0)));
    } else {
        const LONG cx = b.ppdev != nullptr ? plGLScreenSize(b.ppdev)[0] : 0;
        const LONG cy = b.ppdev != nullptr ? plGLScreenSize(b.ppdev)[1] : 0;
        const bool bSecond = bStereo && (pBufferAt(pctx, N_SLOT_FRONT_RIGHT) == b.D || pBufferAt(pctx, N_SLOT_BACK_RIGHT) == b.D);
        const LONG y0 = bSecond ? cy : 0;
        kzSetClipPair(program, kzClipPairOf(0, y0, cx, y0 + cy));
    }
    program->header |= KZU_HDR_CLIP;

    // 7. Registers the stages share: the texture's first.
    if (b.texture) vClaimTexture(b);
    const bool bColourUpdate = b.hasColour && !b.pixelRect;
    if ((flags & 0xC000u) == 0xC000u || b.depthTest) {
        b.zReg = kzAllocRegisterResource(hwRecord, program, KZ_RES_DATA | KZ_RES_PREFER_DEPTH, KZ_DEPTH_TEST);
    }
    if (bColourUpdate) {
        b.S = kzAllocRegisterResource(hwRecord, program, KZ_RES_DATA, KZ_RGBA_UPDATE);
        for (ULONG i = 0; i < b.draw.c; ++i) {
            const ULONG pid = _NPidOf(b.draw.colour[i]);
            b.drawPx[i] = b.Pixmap(b.draw.colour[i]->bitsPerPixel == 4 ? ((pid & 31u) | 0xC000u) : pid);
        }
    }
    b.Dpx = b.drawPx[0];
    b.cc0 = kzAllocCC(KZ_RGBA_UPDATE, KZ_CC_FRESH, nullptr);
    // The constant 0 the stages read (a logic operation's CLEAR and SET
    // among them: with no other stage a zero operand would name pr0, which
    // holds whatever the pattern group left there).
    if (b.windowClip || b.depthTest || b.texture || b.alphaTest || b.stencil || b.blend || b.ci || b.logicOp) {
        b.Z = b.Const(0, KZ_RGBA_UPDATE);
        if (b.bpp < 24) b.M = b.Const(b.bpp <= 8 ? 0xDFFF7Fu : 0x7F7F7Fu, KZ_RGBA_UPDATE);
    }
    for (ULONG& t : b.T) t = kzAllocRegisterResource(hwRecord, program, KZ_RES_WORK, KZ_BLEND);
    for (ULONG i = 0; i < 4; ++i) {
        if (b.T[i] != kWorkBudget[i].reg) {
            DbgPrint("kz2_ConstructKzUcode: work register %u is %u, not %u\n", i, b.T[i], kWorkBudget[i].reg);
            _NProgrammerError();
            return ulRefuse(program);
        }
    }
    // The alpha of the colour, for the alpha test and the blends; the
    // coverage of an antialiased line. The line render functions send the
    // coverage's three words with every antialiased segment, blended or
    // not, so its register is named whether or not a stage reads it: the
    // header then describes every word of the segment.
    if (b.aaLine && !b.alphaInColour) {
        b.alphaReg = kzAllocRegisterResource(hwRecord, program, KZ_RES_DATA | KZ_RES_PREFER_DEPTH, KZ_BLEND);
        b.LoadKind(b.alphaReg, 3);
    } else if (b.alphaInColour) {
        // A layout with alpha words names its alpha register whether or not
        // a stage reads it: the header's load kinds describe every word the
        // render functions write for the layout, so the rasterizers step
        // over the alpha words instead of taking them for the next value.
        b.alphaReg = kzAllocRegisterResource(hwRecord, program, KZ_RES_DATA,
                                             b.alphaTest ? KZ_ALPHA_TEST : KZ_BLEND);
        b.LoadKind(b.alphaReg, request == 3 ? 3 : request == 6 ? 2 : 1);
        // Beside the alpha words an antialiased segment still sends its
        // coverage's three words: a register of their own, named last. The
        // fragment's alpha is the colour's weighed by the coverage (GL's
        // antialiased line): their product, left in the coverage's own
        // register (a data register after the colour's and the alpha's, so
        // never one whose write sets a texel address; the work registers
        // may all be taken), is the alpha every later stage reads (alpha
        // test, blend, alpha buffer).
        if (b.aaLine) {
            const ULONG coverage = kzAllocRegisterResource(hwRecord, program, KZ_RES_DATA, KZ_BLEND);
            b.LoadKind(coverage, 3);
            if (coverage == KZU_z1 || coverage == KZU_z2) {
                b.Emit(kzuInstr(KZU_OP_MUL, coverage, b.alphaReg, coverage) | KZU_CLIP);
                b.alphaReg = coverage;
            }
        }
    }

    // 8. The stages.
    if (b.pixelRect) {
        const ULONG data = kzAllocRegisterResource(hwRecord, program, KZ_RES_DATA, KZ_RGBA_UPDATE);
        b.LoadKind(data, 2);
        const GLBuffer* pStencil = pBufferAt(pctx, N_SLOT_STENCIL);
        if (bBoard(pStencil)) {
            const ULONG px = b.Pixmap(_NPidOf(pStencil) & 31u);
            b.Emit(kzuInstr(KZU_OP_COPY, px, data, 0) | KZU_CLIP);
        } else {
            kzPlacePid(program, 0, b.pidDefault);
            b.Emit(KZU_CLIP | KZU_OP_CC0);
        }
    } else {
        const ULONG P = ulTests(b);
        if (bColourUpdate) {
            if (b.texture) {
                vTexture(b, P);
                // A texel without alpha leaves the fragment's alpha as it was.
                if (b.alphaWrite) vWriteAlpha(b, P);
            } else if (b.blend) {
                if (!bBlend(b, P)) return ulRefuse(program);
            } else {
                vWrite(b, P);
                if (b.alphaWrite) vWriteAlpha(b, P);
            }
            for (ULONG i = 1; i < b.draw.c; ++i) {
                b.Emit(kzuInstr(KZU_OP_COPY, b.drawPx[i], b.Dpx, 0) | P | KZU_CLIP);
            }
        }
        if (b.ccS != nullptr) kzReleaseCC(b.ccS, KZ_STENCIL_UPDATE);
    }

    // 12. The depth value. The stencil test alone reads no depth: its
    // layout carries the depth word only where the program loads one (lines
    // and polygons, which claim the depth register whatever the tests). A
    // point or pixel program without that register would otherwise name a
    // depth word in its layout that its header never loads, and the board
    // would take the next pixel's words one place late.
    if (b.depthTest || (b.stencil && b.zReg != 0)) vDepthUpgrade(b);
    // 13. The colour register's load kind.
    if (bColourUpdate) {
        const ULONG kind = ulColourKind(program->dataAttr);
        if (kind == 0) {
            DbgPrint("PROGRAMMER ERROR in update: attr == %x: no RGB\n", program->dataAttr);
            return ulRefuse(program);
        }
        b.LoadKind(b.S, kind);
    }

    // 14. Finish.
    const ULONG depthFunc = ulAttr(pctx, A_DEPTH_FUNC);
    const bool bNoDepth = !b.depthTest || depthFunc == KZ_ALWAYS;
    const bool bBlendOption = bc != nullptr && (bc->flags & BCF_HW_OPTION);
    const ULONG flag66 = (bNoDepth && b.blend && !bBlendOption) || b.bpp == 1 || b.draw.c > 1 ? 0 : 1;
    const bool bModeKeeps = bc != nullptr && bc->textureMode == 1;
    const ULONG flag67 = ((b.texture && bNoDepth) || b.windowClip) && !bModeKeeps ? 0 : 1;
    if (bPlacesNoPid(program)) {
        DbgPrint("kz2_ConstructKzUcode: the program needs a scratch pixmap that board memory has no room for\n");
        return ulRefuse(program);
    }
    if (!kzSerialiseProgram(program, flag66, flag67)) return 0;
    // The textured render functions patch the level's pid (and the level
    // weights) of the standard program per triangle on the mip path.
    if (b.texture && pctx->val.tex.mipmap && program == pkzProgOf(hwRecord->programs[0])) {
        pctx->texPidIndex = b.tex.pidIndex;
        if (b.tex.second) {
            pctx->texWeightIndex = program->pidCount + program->instrCount + (program->clipCount == 2 ? 2 : 0) +
                                   (b.tex.r.weightA - KZU_constant_0);
        }
    }
    if (gkzTrace) kzTraceProgram(program);
    hwRecord->batchCount = N_BATCH_PRIMS;
    program->valid = 1;
    gkzTrace = 0;
    return 1;
}

// The context's scratch pixmap, made by the generator, goes with the context.
void _NReleaseScratchPixmap(void* pv) {
    auto* pb = static_cast<GLBuffer*>(pv);
    _DFreeScratchPixmap(&pb);
}
