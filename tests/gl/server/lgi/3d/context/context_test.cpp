// Contexts: creation, destruction, make-current, the attribute setter and
// getter, the matrix stacks and the window clip list.
#include <array>
#include <cstring>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"

// The device record new contexts' hardware records name.
GLSRVDEVICE gLgiTestDevice{0x1234, nullptr, nullptr};
GLSRVDEVICE* __glDeviceRecord(void) { return &gLgiTestDevice; }

namespace lgi_test {
namespace {

using Matrix = std::array<ULONG, 16>;

Matrix Diagonal(float f) {
    Matrix m{};
    for (int i = 0; i < 4; ++i) m[i * 5] = F(f);
    return m;
}

TEST_F(LgiTest, NewContextIsDefaultAndAllDirty) {
    EXPECT_EQ(std::memcmp(ctx_->sb.w, gNDefaultState.w, sizeof ctx_->sb.w), 0);
    EXPECT_EQ(ctx_->dirty, 0xffffffffu);
    EXPECT_EQ(ctx_->pHw, &ctx_->hw[0]);
    for (const N_HwRecord& hw : ctx_->hw) {
        EXPECT_EQ(hw.pContext, ctx_);
        EXPECT_EQ(hw.pDevice, &gLgiTestDevice);
        EXPECT_EQ(hw.board, 0x1234u);
    }
    for (LONG l : ctx_->viewportCache) EXPECT_EQ(l, -1);
    EXPECT_EQ(ctx_->pulPackedClip, ctx_->builtinPacked);
    EXPECT_EQ(ctx_->cClipRects, 0u);
    EXPECT_EQ(ctx_->cLightCapacity, 34u);
    EXPECT_EQ(ctx_->cClipPlaneCapacity, 6u);
    EXPECT_NE(ctx_->pNameStack, nullptr);
}

TEST_F(LgiTest, StereoFlagReachesEveryHardwareRecord) {
    N_Context* p = N_CreateContext(1);
    ASSERT_NE(p, nullptr);
    for (const N_HwRecord& hw : p->hw) EXPECT_EQ(hw.stereo, 1u);
    N_DestroyContext(p);
}

// Every allocation of a context failing in turn: no context, nothing leaks.
TEST_F(LgiTest, CreateFailsWholeWhenAnyAllocationFails) {
    for (int skip = 0; skip < 7; ++skip) {
        vnx::faults::clear();
        vnx::faults::arm("LocalAlloc", skip, 1);
        EXPECT_EQ(N_CreateContext(0), nullptr) << skip;
        EXPECT_TRUE(Printed("_Nalloc: failed!\n"));
    }
    vnx::faults::clear();
    N_Context* p = N_CreateContext(0);
    EXPECT_NE(p, nullptr);
    N_DestroyContext(p);
}

TEST_F(LgiTest, MakeCurrentSwitchesAndRestartsTheBatch) {
    N_Context* b = Another();
    ASSERT_NE(b, nullptr);
    ctx_->pHw->batchCount = 7;
    b->pHw->batchCount = 9;
    N_MakeCurrent(ctx_);  // already current: the batch goes on
    EXPECT_EQ(ctx_->pHw->batchCount, 7u);
    N_MakeCurrent(b);
    EXPECT_EQ(gpNCurrent, b);
    EXPECT_EQ(b->pHw->batchCount, 400u);
    // Setters reach the current context only.
    const ULONG ul = 2;
    N_SetStateBlockAttr(81, &ul);
    EXPECT_EQ(*pulAttr(b, 81), 2u);
    EXPECT_EQ(*pulAttr(ctx_, 81), 1u);
    N_MakeCurrent(ctx_);
    EXPECT_EQ(ctx_->pHw->batchCount, 400u);
}

// (Making a context current reloads the dither matrix while dithering:
// boardside_test.cpp, on a board.)

// Several contexts destroyed in any order; the destroyed current one is
// never taken for a later context at the same address.
TEST_F(LgiTest, DestroySeveralContexts) {
    N_Context* a = N_CreateContext(0);
    N_Context* b = N_CreateContext(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    N_MakeCurrent(a);
    const ULONG aulRects[4] = {0x00000000, 0x00100010, 0x00200020, 0x00300030};
    N_BindClipList(2, aulRects);  // a owns clip arrays
    N_DestroyContext(a);
    EXPECT_FALSE(bNHaveContext());
    N_SetStateBlockAttrWord(81, 2);  // no current context: nothing happens
    N_MakeCurrent(b);
    EXPECT_EQ(b->pHw->batchCount, 400u);
    N_DestroyContext(b);
    N_MakeCurrent(ctx_);
    EXPECT_EQ(*pulAttr(ctx_, 81), 1u);
}

TEST_F(LgiTest, EqualValueMarksNothingDirty) {
    const float afColour[4] = {0.5f, 0.25f, 1.0f, 1.0f};
    ctx_->dirty = 0;
    EXPECT_EQ(N_SetStateBlockAttr(52, afColour), 4);
    EXPECT_EQ(ctx_->dirty, N_DIRTY_CURRENT_COLOUR);
    ctx_->dirty = 0;
    EXPECT_EQ(N_SetStateBlockAttr(52, afColour), 4);
    EXPECT_EQ(ctx_->dirty, 0u);
    float af[4] = {};
    EXPECT_EQ(N_GetStateBlockAttr(52, af), -1);
    EXPECT_EQ(std::memcmp(af, afColour, sizeof af), 0);
    // A change in the last word only still dirties the group.
    const float afAlpha[4] = {0.5f, 0.25f, 1.0f, 0.5f};
    N_SetStateBlockAttr(52, afAlpha);
    EXPECT_EQ(ctx_->dirty, N_DIRTY_CURRENT_COLOUR);
}

TEST_F(LgiTest, UnknownIdsChangeNothing) {
    const N_StateBlock before = ctx_->sb;
    ctx_->dirty = 0;
    const ULONG aul[16] = {7, 7, 7, 7};
    for (ULONG id : {25u, 29u, 169u, 1000u}) {
        vnx::debug::clear();
        EXPECT_EQ(N_SetStateBlockAttr(id, aul), 0) << id;
        EXPECT_EQ(vnx::debug::take(), "N_SetStateBlockAttr: unknown opcode\n") << id;
    }
    // A one-word setter refuses an attribute of more words.
    EXPECT_EQ(N_SetStateBlockAttrWord(52, 7), 0);
    EXPECT_EQ(std::memcmp(&before, &ctx_->sb, sizeof before), 0);
    EXPECT_EQ(ctx_->dirty, 0u);
    ULONG aulOut[4] = {0xaa, 0xaa, 0xaa, 0xaa};
    EXPECT_EQ(N_GetStateBlockAttr(29, aulOut), -1);
    EXPECT_EQ(N_GetStateBlockAttr(169, aulOut), -1);
    EXPECT_EQ(aulOut[0], 0xaau);
}

TEST_F(LgiTest, RenderModeSetsTheHitPendingFlag) {
    ctx_->pNameStack->hitPending = 0;
    N_SetStateBlockAttrWord(N_ATTR_RENDER_MODE, 0);  // unchanged, still flagged
    EXPECT_EQ(ctx_->pNameStack->hitPending, 1u);
}

// Matrix stack 0 (attribute 30): entry 0, entry 1, depth.
TEST_F(LgiTest, MatrixStackOperations) {
    const ULONG* pulStack = pulAttr(ctx_, 30);
    const Matrix two = Diagonal(2.0f);
    const Matrix three = Diagonal(3.0f);
    ctx_->dirty = 0;
    EXPECT_EQ(N_SetStateBlockAttr(0, two.data()), 16);  // load entry 0, depth 0
    EXPECT_EQ(ctx_->dirty, N_DIRTY_MATRIX);
    EXPECT_EQ(std::memcmp(pulStack, two.data(), 64), 0);
    EXPECT_EQ(N_SetStateBlockAttr(1, nullptr), 0);  // push: copy of the top, no value read
    EXPECT_EQ(pulStack[32], 1u);
    EXPECT_EQ(std::memcmp(pulStack + 16, two.data(), 64), 0);
    EXPECT_EQ(N_SetStateBlockAttr(4, three.data()), 16);  // multiply the top
    EXPECT_EQ(std::memcmp(pulStack + 16, Diagonal(6.0f).data(), 64), 0);
    EXPECT_EQ(std::memcmp(pulStack, two.data(), 64), 0);
    ctx_->dirty = 0;
    EXPECT_EQ(N_SetStateBlockAttr(2, nullptr), 0);  // pop
    EXPECT_EQ(pulStack[32], 0u);
    EXPECT_EQ(ctx_->dirty, N_DIRTY_MATRIX);
    EXPECT_EQ(N_SetStateBlockAttr(5, three.data()), 16);  // push a value
    EXPECT_EQ(pulStack[32], 1u);
    EXPECT_EQ(std::memcmp(pulStack + 16, three.data(), 64), 0);
    EXPECT_EQ(N_SetStateBlockAttr(3, two.data()), 16);  // load the top
    EXPECT_EQ(std::memcmp(pulStack + 16, two.data(), 64), 0);
    // Stack 3 and the further matrix.
    EXPECT_EQ(N_SetStateBlockAttr(18, three.data()), 16);
    EXPECT_EQ(std::memcmp(pulAttr(ctx_, 33), three.data(), 64), 0);
    EXPECT_EQ(N_SetStateBlockAttr(24, three.data()), 16);
    EXPECT_EQ(std::memcmp(pulAttr(ctx_, 34), three.data(), 64), 0);
}

// The stack holds two entries: operations that would go past them are
// refused and change nothing.
TEST_F(LgiTest, MatrixStackRefusesOverflow) {
    const Matrix two = Diagonal(2.0f);
    N_SetStateBlockAttr(6, two.data());  // load stack 1
    N_SetStateBlockAttr(7, nullptr);     // push
    const N_StateBlock before = ctx_->sb;
    vnx::debug::clear();
    EXPECT_EQ(N_SetStateBlockAttr(7, nullptr), 0);  // a push at depth 1
    EXPECT_EQ(N_SetStateBlockAttr(11, two.data()), 0);
    EXPECT_TRUE(Printed("_NSetSBStackAttr: ERROR: invalid stack operation: 7\n"));
    EXPECT_TRUE(Printed("debug 17: aborting processing due to PROGRAMMER ERROR\n"));
    EXPECT_EQ(std::memcmp(&before, &ctx_->sb, sizeof before), 0);
    N_SetStateBlockAttr(8, nullptr);  // pop
    vnx::debug::clear();
    EXPECT_EQ(N_SetStateBlockAttr(8, nullptr), 0);  // a pop at depth 0
    EXPECT_TRUE(Printed("invalid stack operation: 8\n"));
    pulAttr(ctx_, 31)[32] = 5;  // a depth word that names no entry
    EXPECT_EQ(N_SetStateBlockAttr(9, two.data()), 0);
}

struct ClipCase {
    LONG cRects;
    bool bList;
};

TEST_F(LgiTest, ClipListWithoutRectanglesBindsOneEmptyRectangle) {
    const ULONG aul[2] = {0x00050006, 0x00070008};
    for (ClipCase c : {ClipCase{0, true}, ClipCase{3, false}, ClipCase{-1, true}}) {
        ctx_->dirty = 0;
        EXPECT_EQ(N_BindClipList(c.cRects, c.bList ? aul : nullptr), 1);
        EXPECT_EQ(ctx_->cClipRects, 1u);
        EXPECT_EQ(ctx_->pulPackedClip, ctx_->builtinPacked);
        EXPECT_EQ(ctx_->pulDecodedClip, ctx_->builtinDecoded);
        for (ULONG ul : ctx_->builtinDecoded) EXPECT_EQ(ul, 0u);
        EXPECT_EQ(ctx_->dirty, N_DIRTY_CLIP_LIST);
    }
}

// A list of one rectangle after an empty one (a scissor box outside the
// window) gets arrays of its own: the built-in rectangle stands for no list,
// which a clear takes as nothing to clear.
TEST_F(LgiTest, ClipListAfterAnEmptyOneIsAListAgain) {
    const ULONG aul[2] = {0x00050006, 0x00070008};
    EXPECT_EQ(N_BindClipList(0, nullptr), 1);
    EXPECT_EQ(N_BindClipList(1, aul), 1);
    EXPECT_EQ(ctx_->cClipRects, 1u);
    EXPECT_NE(ctx_->pulPackedClip, ctx_->builtinPacked);
    EXPECT_NE(ctx_->pulDecodedClip, ctx_->builtinDecoded);
    EXPECT_EQ(std::vector<ULONG>(ctx_->pulDecodedClip, ctx_->pulDecodedClip + 4), (std::vector<ULONG>{6, 5, 8, 7}));
}

TEST_F(LgiTest, ClipListUnpacksAndReusesItsArrays) {
    ULONG aul[18];
    for (ULONG i = 0; i < 9; ++i) {
        aul[2 * i] = (i << 16) | (0xfff0 + i);  // unsigned halves
        aul[2 * i + 1] = ((i + 100) << 16) | (i + 200);
    }
    EXPECT_EQ(N_BindClipList(8, aul), 8);
    const ULONG* pulPacked = ctx_->pulPackedClip;
    const ULONG* pulDecoded = ctx_->pulDecodedClip;
    EXPECT_EQ(ctx_->pulDecodedClip[4 * 7 + 0], 0xfff7u);
    EXPECT_EQ(ctx_->pulDecodedClip[4 * 7 + 1], 7u);
    EXPECT_EQ(ctx_->pulDecodedClip[4 * 7 + 2], 207u);
    EXPECT_EQ(ctx_->pulDecodedClip[4 * 7 + 3], 107u);
    EXPECT_EQ(N_BindClipList(5, aul + 2), 5);  // fewer: the same arrays
    EXPECT_EQ(ctx_->pulPackedClip, pulPacked);
    EXPECT_EQ(ctx_->pulDecodedClip, pulDecoded);
    EXPECT_EQ(ctx_->pulDecodedClip[0], 0xfff1u);
    EXPECT_EQ(ctx_->cClipRects, 5u);
    vnx::faults::arm("LocalAlloc", 0, 2);
    EXPECT_EQ(N_BindClipList(9, aul), 1);  // more: new arrays, which fail
    EXPECT_TRUE(Printed("N_BindClipList: alloc failed\n"));
    EXPECT_EQ(ctx_->pulPackedClip, ctx_->builtinPacked);
    vnx::faults::clear();
    EXPECT_EQ(N_BindClipList(9, aul), 9);
    EXPECT_NE(ctx_->pulPackedClip, ctx_->builtinPacked);
    EXPECT_EQ(ctx_->pulDecodedClip[4 * 8 + 2], 208u);
    N_ResetClipList();
    EXPECT_EQ(ctx_->cClipRects, 0u);
    EXPECT_EQ(ctx_->pulPackedClip, ctx_->builtinPacked);
}

}  // namespace
}  // namespace lgi_test
