// The pending primitive batch: handed to the lgi layer before a handler
// works (with the context validated first when it is dirty), freed at once
// when its dispatch id needs no waiting, else retired in order as the lgi
// layer finishes; a display list's batch is left where it is.
#include <cstring>

#include "request_fixture.h"

namespace {

using namespace glsrv_double;

class PendingTest : public RequestTest {
  protected:
    // A batch of `target` with cWords packet words 1, 2, 3 ...
    __GLXpacketBuffer* Batch(ULONG target, ULONG cWords) {
        const ULONG cj = GLX_PACKET_HEADER + 4 * cWords;
        auto* p = static_cast<__GLXpacketBuffer*>(LocalAlloc(LPTR, cj));
        std::memset(p, 0, cj);
        p->opcode = 1039;
        p->length = static_cast<USHORT>(cj);
        p->cjUsed = cj;
        p->target = target;
        auto* pw = reinterpret_cast<ULONG*>(reinterpret_cast<BYTE*>(p) + GLX_PACKET_HEADER);
        for (ULONG i = 0; i < cWords; ++i) pw[i] = i + 1;
        return p;
    }
    std::vector<__GLXpacketBuffer*> Retiring() {
        std::vector<__GLXpacketBuffer*> v;
        for (auto* p = gc_.pRetiring; p != nullptr; p = p->pNext) v.push_back(p);
        return v;
    }
};

TEST_F(PendingTest, HandsTheBatchOverAndRetiresItInOrder) {
    // Id -1: nothing to wait for, freed at once (the leak check sees it).
    gAnswers.ul = 0xFFFFFFFF;
    gc_.pPending = Batch(GLX_PACKETS_IMMEDIATE, 3);
    __glXFlushPending(pgc_);
    EXPECT_EQ(gc_.pPending, nullptr);
    EXPECT_EQ(gc_.pRetiring, nullptr);
    ASSERT_EQ(CallNames(), (std::vector<std::string>{"N_DispatchPackets"}));
    EXPECT_EQ(gRecord.calls[0].args[1], 3u);
    EXPECT_EQ(__glXLastDispatchId.load(), 0xFFFFFFFFu);

    // Ids 7 and 8 not done yet: queued in order.
    gAnswers.notDone = {7, 8};
    __GLXpacketBuffer* p7 = Batch(GLX_PACKETS_IMMEDIATE, 1);
    __GLXpacketBuffer* p8 = Batch(GLX_PACKETS_IMMEDIATE, 2);
    gAnswers.ul = 7;
    gc_.pPending = p7;
    __glXFlushPending(pgc_);
    gAnswers.ul = 8;
    gc_.pPending = p8;
    __glXFlushPending(pgc_);
    EXPECT_EQ(Retiring(), (std::vector<__GLXpacketBuffer*>{p7, p8}));
    EXPECT_EQ(p7->token, 7u);
    EXPECT_EQ(p8->token, 8u);
    EXPECT_EQ(__glXLastDispatchId.load(), 8u);

    // 8 done, 7 not: nothing retires past the oldest.
    gAnswers.notDone = {7};
    __glXReapPending(pgc_);
    EXPECT_EQ(Retiring(), (std::vector<__GLXpacketBuffer*>{p7, p8}));
    gAnswers.notDone = {};
    __glXWaitPending(pgc_);
    EXPECT_EQ(gc_.pRetiring, nullptr);
}

TEST_F(PendingTest, DirtyContextIsValidatedFirst) {
    gAnswers.ul = 0xFFFFFFFF;
    gc_.dirty = GLX_DIRTY_VIEWPORT;
    GLState gs{};
    gc_.pState = &gs;
    gc_.pPending = Batch(GLX_PACKETS_IMMEDIATE, 0);
    __glXFlushPending(pgc_);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"__glXValidateViewport", "N_DispatchPackets"}));
    EXPECT_EQ(gRecord.calls[1].args[1], 0u);
    gc_.pState = nullptr;
}

TEST_F(PendingTest, ListBatchAndNoBatchAreLeftAlone) {
    __glXFlushPending(pgc_);
    __GLXpacketBuffer* p = Batch(GLX_PACKETS_LIST, 2);
    gc_.pPending = p;
    __glXFlushPending(pgc_);
    EXPECT_EQ(gc_.pPending, p);
    EXPECT_TRUE(gRecord.calls.empty());
    __glXFreePending(pgc_, p);  // a list's batch is the list's to free
    LocalFree(p);
    gc_.pPending = nullptr;
    pgc_->gc = nullptr;
    __glXFlushPending(pgc_);
    __glXWaitPending(pgc_);
    EXPECT_TRUE(gRecord.calls.empty());
}

}  // namespace
