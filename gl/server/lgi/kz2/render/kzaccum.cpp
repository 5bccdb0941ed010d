// The accumulation pass's program (kz2ucode.h): the colour word of each
// primitive into the colour buffer, the alpha word into the board alpha
// buffer, under the write mask when one is in force.
#include <cstring>

#include "3d/context/context.h"
#include "lgigl.h"
#include "kz2/ucode/kz2ucode.h"
#include "kz2/ucode/kzalloc.h"
#include "kz2/ucode/kzprog.h"
#include "shared/software/swaccum.h"

ULONG gulNOptionWord = 0;

namespace {

constexpr char kSource[] = "kzConstructRenderProgAccum";

// The first draw colour buffer and its alpha buffer.
struct Target {
    const GLBuffer* colour = nullptr;
    const GLBuffer* alpha = nullptr;
};
Target targetOf(N_Context* pctx) {
    const LONG slot = _NFirstDrawSlot(pctx);
    Target t;
    if (slot < 0) return t;
    t.colour = pctx->buffers[slot].pBuffer;
    const LONG alphaSlot = _NAlphaSlotOf(slot);
    t.alpha = alphaSlot >= 0 ? pctx->buffers[alphaSlot].pBuffer : nullptr;
    return t;
}

}  // namespace

ULONG kzConstructRenderProgAccum(N_HwRecord* hwRecord, kzRenderProg* program, ULONG withAlpha) {
    N_Context* pctx = hwRecord != nullptr ? hwRecord->pContext : nullptr;
    if (pctx == nullptr || program == nullptr) return 0;
    const Target t = targetOf(pctx);
    if (t.colour == nullptr) return 0;
    const bool bClip = (gulNOptionWord & N_OPTION_ACCUM_NO_CLIP) == 0;
    if (bClip && t.colour->hsurf == nullptr) {
        program->valid = 0;
        return 0;
    }
    kzStartProgram(program, withAlpha ? 0xA000u : 0x2000u, withAlpha ? 6u : 5u);
    const ULONG clip = bClip ? KZU_CLIP : 0;
    if (bClip) {
        program->header |= KZU_HDR_CLIP;
        const N_Context* pcur = bNHaveContext() ? gpNCurrent : pctx;
        const ULONG* pul = pcur->pulPackedClip;
        auto corner = [&](ULONG w) {
            const ULONG x = (w & 0xFFFFu) + static_cast<ULONG>(t.colour->x);
            const ULONG y = (w >> 16) + static_cast<ULONG>(t.colour->y);
            return (y << 16) | (x & 0xFFFFu);
        };
        kzSetClipPair(program, kzClipPairOfPacked(corner(pul != nullptr ? pul[0] : 0), corner(pul != nullptr ? pul[1] : 0)));
    }
    // The mask is always the first constant: the allocator starts afresh so
    // the claim answers KZU_constant_0.
    const bool bMasked = (pctx->enableWord & KZ_EN_MASKED) != 0;
    ULONG M = 0;
    if (bMasked) {
        kzResetRegisterResources();
        program->header |= KZU_CONSTANTS_8_PER_PKT;
        M = kzAllocRegisterResource(hwRecord, program, KZ_RES_DATA | KZ_RES_CONSTANT, KZ_ACCUMULATION);
        const ULONG ci = pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE)[0] == 1;
        program->constants[0] = pulAttr(pctx, ci ? N_ATTR_INDEX_MASK : N_ATTR_COLOUR_MASK)[0];
        program->constantCount = 1;
    }
    const ULONG D = KZU_pixmap0 + kzPlacePid(program, _NPidOf(t.colour), 0xFFFFu);
    const ULONG Ad = withAlpha ? KZU_pixmap0 + kzPlacePid(program, _NPidOf(t.alpha), 0xFFFFu) : 0;
    if (bMasked) {
        _kzuEmit(program, kzuInstr(KZU_OP_AND, KZU_pr0, KZU_rgb0, M) | clip, kSource, __LINE__);
        _kzuEmit(program, kzuInstr(KZU_OP_ANDNOT, KZU_pr1, D, M) | clip, kSource, __LINE__);
        _kzuEmit(program, kzuInstr(KZU_OP_OR, D, KZU_pr0, KZU_pr1) | clip, kSource, __LINE__);
    } else {
        _kzuEmit(program, kzuInstr(KZU_OP_COPY, D, KZU_rgb0, 0) | clip, kSource, __LINE__);
    }
    if (withAlpha && !(pctx->enableWord & KZ_EN_NO_ALPHA_WRITES)) {
        _kzuEmit(program, kzuInstr(KZU_OP_COPY, Ad, KZU_z0, 0) | clip, kSource, __LINE__);
    }
    program->header |= program->instrCount << KZU_HDR_INSTR_SHIFT;
    program->pidCount = (program->pidCount + 1) / 2;
    program->header |= program->pidCount << KZU_HDR_PIDW_SHIFT;
    program->valid = 1;
    return 1;
}
