// The request segment and its flush worker against the real server: the
// append rule's limit, the halves taking turns, hand-overs in order under
// several drawing threads, a worker that cannot start, and detach.
#include <atomic>

#include "client_fixture.h"

namespace {

using glclt_test::ClientTest;
using glclt_test::ModelView;
using glclt_test::OnThread;
using glclt_test::Scale;
using glclt_test::Translate;

constexpr ULONG kHalfOffset = 0x200040;

class SegmentTest : public ClientTest {
  protected:
    void SetUp() override {
        ClientTest::SetUp();
        vnx::process::Scope as(app_);
        h_ = DrvCreateContext(hdc_);
        ASSERT_NE(h_, 0u);
        ASSERT_NE(DrvSetContext(hdc_, h_, nullptr), nullptr);
        ptb_ = CurrentThreadBlock();
        base_ = reinterpret_cast<BYTE*>(ptb_->half);
    }
    void TearDown() override {
        {
            vnx::process::Scope as(app_);
            DrvDeleteContext(h_);
        }
        ClientTest::TearDown();
    }
    ULONG Half() const { return reinterpret_cast<BYTE*>(ptb_->half) == base_ ? 0 : 1; }
    // Fills the current half with no-op commands of 4-byte headers up to
    // `room` bytes below the limit.
    void FillTo(ULONG room) {
        while (ptb_->half->limit - ptb_->half->writeOffset > room) {
            const ULONG cj = std::min<ULONG>(ptb_->half->limit - ptb_->half->writeOffset - room, 256);
            // Line width 1 while 8 bytes fit, then 4-byte commands.
            if (cj >= 8) {
                BYTE* pj = pjAppendRender(ptb_, 8);
                const std::uint16_t h[2] = {8, static_cast<std::uint16_t>(X_GLrop_LineWidth)};
                const float w = 1.0f;
                std::memcpy(pj, h, 4);
                std::memcpy(pj + 4, &w, 4);
            } else {
                BYTE* pj = pjAppendRender(ptb_, 4);
                const std::uint16_t h[2] = {4, static_cast<std::uint16_t>(X_GLrop_InitNames)};
                std::memcpy(pj, h, 4);
            }
        }
    }

    DHGLRC h_ = 0;
    ThreadBlock* ptb_ = nullptr;
    BYTE* base_ = nullptr;
};

// Nothing written: a hand-over changes nothing and sends nothing.
TEST_F(SegmentTest, HandOverOfNothingChangesNothing) {
    vnx::process::Scope as(app_);
    const ULONG toggle = ptb_->worker->request.toggle;
    BYTE* pj = HandOverHalf(ptb_, ptb_->half->readOffset);
    EXPECT_EQ(pj, base_ + 64);
    EXPECT_EQ(Half(), 0u);
    EXPECT_EQ(ptb_->worker->request.toggle, toggle);
    EXPECT_EQ(toggle, kHalfOffset);
}

// A command that ends exactly at the limit stays in the half; one that would
// pass it opens the fresh half, whose write offset already counts it.
TEST_F(SegmentTest, CommandAtTheLimitStaysAndOneMoreMoves) {
    vnx::process::Scope as(app_);
    FillTo(16);
    const ULONG old = ptb_->half->writeOffset;
    EXPECT_EQ(pjAppendRender(ptb_, 16), base_ + old);
    EXPECT_EQ(ptb_->half->writeOffset, ptb_->half->limit);
    const std::uint16_t h[2] = {16, static_cast<std::uint16_t>(X_GLrop_Translatef)};
    const float t[3] = {1.0f, 0.0f, 0.0f};
    std::memcpy(base_ + old, h, 4);
    std::memcpy(base_ + old + 4, t, 12);
    EXPECT_EQ(Half(), 0u);

    BYTE* pj = pjAppendRender(ptb_, 20);
    EXPECT_EQ(Half(), 1u);
    EXPECT_EQ(pj, base_ + kHalfOffset + 64);
    EXPECT_EQ(ptb_->half->writeOffset, 64u + 20u);
    const std::uint16_t h2[2] = {20, static_cast<std::uint16_t>(X_GLrop_Rotatef)};
    const float r[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(pj, h2, 4);
    std::memcpy(pj + 4, r, 16);
    const std::vector<float> m = ModelView(ptb_);
    ASSERT_EQ(m.size(), 16u);
    EXPECT_EQ(m[12], 1.0f) << "the command at the limit ran";
}

// Hand-overs alternate the halves and send toggle 0 (half 0 done), then the
// half offset (half 1 done); the server follows.
TEST_F(SegmentTest, HalvesTakeTurns) {
    vnx::process::Scope as(app_);
    const struct {
        float x;
        ULONG halfAfter;
        ULONG toggleAfter;
    } steps[] = {{1.0f, 1, 0}, {2.0f, 0, kHalfOffset}, {4.0f, 1, 0}};
    for (const auto& s : steps) {
        Translate(ptb_, s.x);
        FlushSMSegment(ptb_);
        EXPECT_EQ(Half(), s.halfAfter) << s.x;
        EXPECT_EQ(ptb_->worker->request.toggle, s.toggleAfter) << s.x;
        EXPECT_EQ(ptb_->half->readOffset, 64u);
        EXPECT_EQ(ptb_->half->writeOffset, 64u);
    }
    const std::vector<float> m = ModelView(ptb_);
    ASSERT_EQ(m.size(), 16u);
    EXPECT_EQ(m[12], 7.0f);
}

// A thread that detaches while it writes half 1 unmaps the segment at its
// base, and leaves no worker behind, suspended or not.
TEST_F(SegmentTest, DetachInTheSecondHalfUnmapsAtTheBase) {
    BYTE* base = nullptr;
    HANDLE hWorker = nullptr;
    OnThread(app_, [&] {
        ASSERT_NE(DrvSetContext(hdc_, h_, nullptr), nullptr);
        ThreadBlock* ptb = CurrentThreadBlock();
        base = reinterpret_cast<BYTE*>(ptb->half);
        Translate(ptb, 1.0f);
        FlushSMSegment(ptb);
        ASSERT_EQ(reinterpret_cast<BYTE*>(ptb->half), base + kHalfOffset);
        WaitFlushWorker(ptb);  // idle, then suspended
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), ptb->worker->hThread, GetCurrentProcess(), &hWorker, 0,
                                    FALSE, DUPLICATE_SAME_ACCESS));
    });
    vnx::process::Scope as(app_);
    EXPECT_FALSE(UnmapViewOfFile(base)) << "the view at the base is gone";
    ASSERT_NE(hWorker, nullptr);
    EXPECT_EQ(WaitForSingleObject(hWorker, 0), WAIT_OBJECT_0) << "the worker has ended";
    CloseHandle(hWorker);
}

// Without a worker thread the application thread hands each half over
// itself, in the same order.
TEST_F(SegmentTest, WorkerThatCannotStartSendsSynchronously) {
    OnThread(app_, [&] {
        vnx::faults::Scope faults;
        vnx::faults::arm("CreateThread");
        ASSERT_NE(DrvSetContext(hdc_, h_, nullptr), nullptr);
        ThreadBlock* ptb = CurrentThreadBlock();
        ASSERT_NE(ptb->worker, nullptr);
        EXPECT_TRUE(ptb->worker->synchronous);
        for (int i = 0; i < 3; ++i) {
            Translate(ptb, 1.0f);
            Scale(ptb, 2.0f);
            FlushSMSegment(ptb);
        }
        const std::vector<float> m = ModelView(ptb);
        ASSERT_EQ(m.size(), 16u);
        EXPECT_EQ(m[12], 7.0f);  // 1 + 2 + 4
        EXPECT_EQ(m[0], 8.0f);
        EXPECT_TRUE(DrvReleaseContext(h_));
    });
}

// Several threads, each drawing into its own window with its own context:
// every thread's commands reach its context once each and in order, over
// many hand-overs. Translations and scalings do not commute, so a half run
// twice, lost or out of turn shows in the matrix.
TEST_F(SegmentTest, HandOversKeepOrderUnderManyThreads) {
    constexpr int kThreads = 4;
    constexpr int kPairs = 12000;  // about six halves a thread
    std::vector<HDC> dcs;
    for (int t = 0; t < kThreads; ++t) {
        dcs.push_back(Window({64 * t, 100, 64 * t + 60, 160}));
        ASSERT_NE(dcs.back(), nullptr);
    }
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            vnx::process::Scope as(app_);
            const DHGLRC h = DrvCreateContext(dcs[t]);
            if (h == 0 || DrvSetContext(dcs[t], h, nullptr) == nullptr) return;
            ThreadBlock* ptb = CurrentThreadBlock();
            // The same sequence in single precision as the server keeps it.
            float m0 = 1.0f, m12 = 0.0f;
            int halves = 0;
            BYTE* half = reinterpret_cast<BYTE*>(ptb->half);
            for (int i = 0; i < kPairs; ++i) {
                const float x = static_cast<float>((i + t) % 5);
                const float s = i % 2 == 0 ? 2.0f : 0.5f;
                Translate(ptb, x);
                Scale(ptb, s);
                m12 += m0 * x;
                m0 *= s;
                if (reinterpret_cast<BYTE*>(ptb->half) != half) {
                    ++halves;
                    half = reinterpret_cast<BYTE*>(ptb->half);
                }
            }
            const std::vector<float> m = ModelView(ptb);
            if (halves >= 5 && m.size() == 16 && m[0] == m0 && m[12] == m12) good.fetch_add(1);
            DrvReleaseContext(h);
            DrvDeleteContext(h);
            GLCltDllInitialize(nullptr, DLL_THREAD_DETACH, nullptr);
        });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(good.load(), kThreads);
}

}  // namespace
