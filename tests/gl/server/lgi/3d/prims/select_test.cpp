// The name stack at its limits, the select stage's hits, and feedback with
// pass-through tokens into buffers that overflow.
#include <cstring>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"

namespace lgi_test {
namespace {

struct Hit {
    std::vector<ULONG> names;
    ULONG zMin, zMax;
};
std::vector<Hit> gHits;
void OnHit(void* pv, const ULONG* pNames, ULONG cNames, ULONG zMin, ULONG zMax) {
    EXPECT_EQ(pv, &gHits);
    gHits.push_back({std::vector<ULONG>(pNames, pNames + cNames), zMin, zMax});
}

class SelectTest : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gHits.clear();
    }
};

TEST_F(SelectTest, NameStackLimits) {
    N_InitNames();
    EXPECT_EQ(N_LoadName(5), 0u);
    EXPECT_EQ(N_PopName(), 0u);
    for (ULONG i = 0; i < N_NAME_STACK_DEPTH; ++i) ASSERT_EQ(N_PushName(i), 1u);
    EXPECT_EQ(N_PushName(9999), 0u);
    EXPECT_EQ(N_GetNameStackDepth(), N_NAME_STACK_DEPTH);
    EXPECT_EQ(ctx_->pNameStack->names[N_NAME_STACK_DEPTH - 1], N_NAME_STACK_DEPTH - 1);
    EXPECT_EQ(N_LoadName(42), 1u);
    EXPECT_EQ(ctx_->pNameStack->names[N_NAME_STACK_DEPTH - 1], 42u);
    EXPECT_EQ(N_PopName(), 1u);
    EXPECT_EQ(N_GetNameStackDepth(), N_NAME_STACK_DEPTH - 1);
    N_InitNames();
    EXPECT_EQ(N_GetNameStackDepth(), 0u);
}

// One hit a primitive drawn after the names changed; batches of one
// primitive widen its depth range until the primitive is whole.
TEST_F(SelectTest, HitsReportTheDepthRange) {
    N_SetSelectCallback(OnHit, &gHits);
    N_InitNames();
    N_PushName(7);
    const float batch1[] = {0, 0, 10, 1, 0, 0, 40, 2};  // depths 10, 20
    const float batch2[] = {0, 0, 5, 1};                // depth 5
    _NSelectBatch(ctx_, batch1, 4, 2, 0);
    EXPECT_TRUE(gHits.empty());
    _NSelectBatch(ctx_, batch2, 4, 1, 1);
    ASSERT_EQ(gHits.size(), 1u);
    EXPECT_EQ(gHits[0].names, std::vector<ULONG>{7});
    // Window depths come in 24-bit units; hits report them on 32 bits.
    EXPECT_EQ(gHits[0].zMin, 5u << 8);
    EXPECT_EQ(gHits[0].zMax, 20u << 8);

    _NSelectBatch(ctx_, batch2, 4, 1, 1);
    EXPECT_EQ(gHits.size(), 1u) << "unchanged names add nothing";

    ctx_->selectDepthShift = 4;
    N_LoadName(8);
    const float nan[] = {0, 0, 1e20f, 1, 0, 0, -3, 1};
    _NSelectBatch(ctx_, nan, 4, 2, 1);
    ASSERT_EQ(gHits.size(), 2u);
    EXPECT_EQ(gHits[1].zMin, 0u) << "depths are held inside the unsigned range";
    EXPECT_EQ(gHits[1].zMax, 0xFFFFFFFFu);

    // A 24-bit depth shifted by 8 fills the range; by 16 it saturates.
    const float mid[] = {0, 0, 8388608.0f, 1, 0, 0, 16777215.0f, 1};
    ctx_->selectDepthShift = 8;
    N_LoadName(9);
    _NSelectBatch(ctx_, mid, 4, 2, 1);
    ASSERT_EQ(gHits.size(), 3u);
    EXPECT_EQ(gHits[2].zMin, 0x80000000u);
    EXPECT_EQ(gHits[2].zMax, 0xFFFFFF00u);
    ctx_->selectDepthShift = 16;
    N_LoadName(10);
    _NSelectBatch(ctx_, mid, 4, 2, 1);
    ASSERT_EQ(gHits.size(), 4u);
    EXPECT_EQ(gHits[3].zMin, 0xFFFFFFFFu);
}

// Feedback: the count of values, -1 after an overflow; a pass-through
// stores what fits and counts only that.
TEST_F(SelectTest, FeedbackAndPassThrough) {
    std::vector<float> buffer(4, -1.0f);
    N_BeginFeedback(buffer.data(), 3, 0);
    ULONG words[4];
    N_GetStateBlockAttr(35, words);
    EXPECT_EQ(words[0], 2u);
    N_PassThrough(5.0f);
    EXPECT_EQ(buffer[0], 1792.0f);
    EXPECT_EQ(buffer[1], 5.0f);
    LONG c = 0;
    N_EndFeedback(&c);
    EXPECT_EQ(c, 2);
    N_BeginFeedback(buffer.data(), 3, 0);
    N_PassThrough(5.0f);
    N_PassThrough(6.0f);  // one value free: only the token is stored, both count
    EXPECT_EQ(buffer[2], 1792.0f);
    EXPECT_EQ(buffer[3], -1.0f) << "nothing past the buffer";
    N_GetStateBlockAttr(36, words);
    EXPECT_EQ(words[2], 4u);
    EXPECT_EQ(__glXWordFloat(words[3]), 6.0f);
    N_EndFeedback(&c);
    EXPECT_EQ(c, -1) << "the value that did not fit is an overflow";
    N_GetStateBlockAttr(35, words);
    EXPECT_EQ(words[0], 0u);

    // More values counted than the buffer holds.
    N_BeginFeedback(buffer.data(), 2, 0);
    N_GetStateBlockAttr(36, words);
    words[2] = 5;
    N_SetStateBlockAttr(36, words);
    N_EndFeedback(&c);
    EXPECT_EQ(c, -1);
    N_GetStateBlockAttr(35, words);
    EXPECT_EQ(words[0], 0u);
}

}  // namespace
}  // namespace lgi_test
