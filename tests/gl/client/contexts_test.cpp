// The client driver's context exports against the real server: a context is
// created on a window, made current, released, copied, shared and deleted;
// what the thread drew under one binding runs under that binding, whatever
// the next export changes.
#include <bit>

#include "client_fixture.h"

namespace {

using glclt_test::CC;
using glclt_test::ClientTest;
using glclt_test::Get;
using glclt_test::Render;
using glclt_test::LineWidth;
using glclt_test::ModelView;
using glclt_test::SetLineWidth;
using glclt_test::OnThread;
using glclt_test::Scale;
using glclt_test::Translate;

constexpr UINT kLineBit = 0x00000004;       // GL_LINE_BIT

float TranslationX(const std::vector<float>& m) { return m.size() == 16 ? m[12] : -1.0f; }

TEST(ClientEntry, ValidatesVersionTwoOnly) {
    const struct {
        ULONG version;
        BOOL valid;
    } cases[] = {{1, FALSE}, {2, TRUE}, {3, FALSE}, {0, FALSE}};
    for (const auto& c : cases) EXPECT_EQ(DrvValidateVersion(c.version), c.valid) << c.version;
}

// Create, set, release and delete: the context starts with the cached state
// the client knows, the thread gets its request segment on its first set
// and the table of all 306 entry points.
TEST_F(ClientTest, ContextLivesFromCreateToDelete) {
    vnx::process::Scope as(app_);
    const DHGLRC h = DrvCreateContext(hdc_);
    ASSERT_NE(h, 0u);
    ClientContext* cc = CC(h);
    EXPECT_NE(cc->dhrc, 0u);
    EXPECT_EQ(cc->renderMode, GL_RENDER);
    EXPECT_EQ(cc->pixelStore.packAlignment, 4);
    EXPECT_EQ(cc->pixelStore.unpackAlignment, 4);
    EXPECT_EQ(cc->cacheValid, 0x18u);
    EXPECT_EQ(cc->polygonModeFront, GL_FILL);
    EXPECT_EQ(cc->polygonModeBack, GL_FILL);
    EXPECT_EQ(cc->cacheEnables, 0x10u);
    EXPECT_EQ(cc->shadeModel, GL_SMOOTH);

    ThreadBlock* ptb = CurrentThreadBlock();
    ASSERT_NE(ptb, nullptr);
    EXPECT_EQ(ptb->segment, nullptr);
    const GLCLTPROCTABLE* pt = DrvSetContext(hdc_, h, nullptr);
    ASSERT_NE(pt, nullptr);
    EXPECT_EQ(pt->cEntries, 306);
    const auto* slots = reinterpret_cast<void (*const*)()>(&pt->glDispatchTable);
    for (unsigned i = 0; i < GL_SLOT_COUNT; ++i) EXPECT_NE(slots[i], nullptr) << kGLEntryNames[i];
    EXPECT_EQ(ptb->context, cc);
    ASSERT_NE(ptb->segment, nullptr);
    EXPECT_EQ(ptb->segment->cjTotal, 0x400040u);
    EXPECT_EQ(ptb->half->limit, 63992u);
    EXPECT_EQ(ptb->half->readOffset, 64u);
    EXPECT_EQ(ptb->half->writeOffset, 64u);
    EXPECT_NE(ptb->segmentId, 0u);
    EXPECT_EQ(cc->largeLimit, 2097080u);
    ASSERT_NE(ptb->worker, nullptr) << "the first set starts the flush worker";

    // Every entry point is built: a call answers and says nothing on the
    // debugger.
    vnx::debug::clear();
    EXPECT_NE(pt->glDispatchTable.GenLists(1), 0u);
    pt->glDispatchTable.Viewport(0, 0, 1, 1);
    EXPECT_EQ(vnx::debug::take(), "");

    EXPECT_TRUE(DrvReleaseContext(h));
    EXPECT_EQ(ptb->context, nullptr);
    EXPECT_TRUE(DrvDeleteContext(h));
}

// Deleting the thread's current context leaves the thread without one.
TEST_F(ClientTest, DeletingTheCurrentContextClearsTheThreads) {
    vnx::process::Scope as(app_);
    const DHGLRC h = DrvCreateContext(hdc_);
    ASSERT_NE(DrvSetContext(hdc_, h, nullptr), nullptr);
    ThreadBlock* ptb = CurrentThreadBlock();
    ASSERT_EQ(ptb->context, CC(h));
    EXPECT_TRUE(DrvDeleteContext(h));
    EXPECT_EQ(ptb->context, nullptr);
}

// A set that cannot make the request segment answers null and binds nothing.
TEST_F(ClientTest, SetWithoutSegmentAnswersNull) {
    vnx::process::Scope as(app_);
    const DHGLRC h = DrvCreateContext(hdc_);
    ASSERT_NE(h, 0u);
    {
        vnx::faults::Scope faults;
        vnx::faults::arm("CreateFileMappingA");
        EXPECT_EQ(DrvSetContext(hdc_, h, nullptr), nullptr);
    }
    ThreadBlock* ptb = CurrentThreadBlock();
    EXPECT_EQ(ptb->segment, nullptr);
    EXPECT_EQ(ptb->context, nullptr);
    EXPECT_NE(DrvSetContext(hdc_, h, nullptr), nullptr) << "the next set makes it";
    EXPECT_TRUE(DrvDeleteContext(h));
}

// Sharing lists with a context the server does not know is refused; copying
// into one leaves the destination's cached state invalid all the same.
TEST_F(ClientTest, RefusedShareAndCopy) {
    vnx::process::Scope as(app_);
    const DHGLRC a = DrvCreateContext(hdc_);
    const DHGLRC b = DrvCreateContext(hdc_);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_TRUE(DrvShareLists(a, b));
    const ULONG dhrc = CC(b)->dhrc;
    CC(b)->dhrc = 0xBADu;
    EXPECT_FALSE(DrvShareLists(a, b));
    CC(b)->pushedAttribMask = 7;
    CC(b)->cacheEnables = 0x13;
    EXPECT_FALSE(DrvCopyContext(a, b, kLineBit));
    EXPECT_EQ(CC(b)->pushedAttribMask, 0u);
    EXPECT_EQ(CC(b)->cacheValid, 0u);
    EXPECT_EQ(CC(b)->cacheEnables, 0x03u);
    CC(b)->dhrc = dhrc;
    EXPECT_TRUE(DrvDeleteContext(a));
    EXPECT_TRUE(DrvDeleteContext(b));
}

// What the thread drew for a context before an export changes the binding
// runs for that context: setting another, releasing it, copying from it.
TEST_F(ClientTest, PendingCommandsRunUnderTheBindingTheyWereDrawnFor) {
    vnx::process::Scope as(app_);
    const DHGLRC a = DrvCreateContext(hdc_);
    const DHGLRC b = DrvCreateContext(hdc_);
    ASSERT_NE(DrvSetContext(hdc_, a, nullptr), nullptr);
    ThreadBlock* ptb = CurrentThreadBlock();

    // Set: the translation goes to a, not to b.
    Translate(ptb, 3.0f);
    ASSERT_NE(DrvSetContext(hdc_, b, nullptr), nullptr);
    EXPECT_EQ(TranslationX(ModelView(ptb)), 0.0f);
    ASSERT_NE(DrvSetContext(hdc_, a, nullptr), nullptr);
    EXPECT_EQ(TranslationX(ModelView(ptb)), 3.0f);

    // Release: the translation is not lost.
    Translate(ptb, 2.0f);
    ASSERT_TRUE(DrvReleaseContext(a));
    ASSERT_NE(DrvSetContext(hdc_, a, nullptr), nullptr);
    EXPECT_EQ(TranslationX(ModelView(ptb)), 5.0f);

    // Copy: the destination gets the source's state with what was drawn.
    SetLineWidth(ptb, 3.0f);
    ASSERT_TRUE(DrvCopyContext(a, b, kLineBit));
    ASSERT_NE(DrvSetContext(hdc_, b, nullptr), nullptr);
    EXPECT_EQ(LineWidth(ptb), 3.0f);

    EXPECT_TRUE(DrvDeleteContext(b));
    EXPECT_TRUE(DrvDeleteContext(a));
}

// Copying each attribute group, and all of them, into a context with a
// pushed level and into one without: the destination takes the values, a
// pop keeps what it did not push, and deleting both contexts leaves
// nothing allocated (the leak checker sees the rest).
TEST_F(ClientTest, CopyingEveryGroupLeavesNothingBehind) {
    vnx::process::Scope as(app_);
    const DHGLRC a = DrvCreateContext(hdc_);
    const DHGLRC b = DrvCreateContext(hdc_);
    ASSERT_NE(DrvSetContext(hdc_, a, nullptr), nullptr);
    ThreadBlock* ptb = CurrentThreadBlock();
    Render(ptb, X_GLrop_PointSize, {5.0f});
    SetLineWidth(ptb, 3.0f);
    ASSERT_NE(DrvSetContext(hdc_, b, nullptr), nullptr);
    Render(ptb, X_GLrop_PushAttrib, {std::bit_cast<float>(kLineBit)});
    for (ULONG i = 0; i < 20; ++i) EXPECT_TRUE(DrvCopyContext(a, b, 1u << i)) << i;
    EXPECT_EQ(Get(ptb, 0x0B11), std::vector<float>{5.0f});  // GL_POINT_SIZE
    EXPECT_EQ(LineWidth(ptb), 3.0f);
    EXPECT_TRUE(DrvCopyContext(a, b, 0xFFFFF));
    Render(ptb, X_GLrop_PopAttrib, {});
    EXPECT_EQ(Get(ptb, 0x0B11), std::vector<float>{5.0f}) << "the point group was not pushed";
    EXPECT_EQ(LineWidth(ptb), 1.0f) << "the line group was";
    for (ULONG i = 0; i < 20; ++i) EXPECT_TRUE(DrvCopyContext(a, b, 1u << i)) << i;
    EXPECT_TRUE(DrvCopyContext(a, b, 0xFFFFF));
    EXPECT_EQ(LineWidth(ptb), 3.0f);
    EXPECT_TRUE(DrvDeleteContext(b));
    EXPECT_TRUE(DrvDeleteContext(a));
}

// A context made current on one thread and then on another; what the first
// thread drew before it ended reaches the context.
TEST_F(ClientTest, CurrentOnTwoThreadsInTurn) {
    DHGLRC h = 0;
    {
        vnx::process::Scope as(app_);
        h = DrvCreateContext(hdc_);
        ASSERT_NE(h, 0u);
    }
    OnThread(app_, [&] {
        ASSERT_NE(DrvSetContext(hdc_, h, nullptr), nullptr);
        ThreadBlock* ptb = CurrentThreadBlock();
        Translate(ptb, 4.0f);
        Scale(ptb, 2.0f);
        EXPECT_TRUE(DrvReleaseContext(h));
        ASSERT_NE(DrvSetContext(hdc_, h, nullptr), nullptr);
        Translate(ptb, 1.0f);  // left in the half when the thread ends
    });
    OnThread(app_, [&] {
        ASSERT_NE(DrvSetContext(hdc_, h, nullptr), nullptr);
        const std::vector<float> m = ModelView(CurrentThreadBlock());
        EXPECT_EQ(TranslationX(m), 6.0f);
        EXPECT_EQ(m.size() == 16 ? m[0] : 0.0f, 2.0f);
        EXPECT_TRUE(DrvReleaseContext(h));
    });
    EXPECT_EQ(ulThreadCount(), 2u) << "the fast path stays off once a second thread made one current";
    vnx::process::Scope as(app_);
    EXPECT_TRUE(DrvDeleteContext(h));
}

}  // namespace
