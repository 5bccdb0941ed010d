// Driver objects: owned by the process whose call made them, locked by one
// thread at a time, and cleaned up when deleted or when their process ends,
// never while another thread holds them locked.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/process.h"

namespace {

HDEV const kDevice = reinterpret_cast<HDEV>(0x4000);

// What the clean-ups saw, in order.
std::vector<PVOID> gFreed;
BOOL gAnswer = TRUE;

BOOL Free(DRIVEROBJ* pdo) {
    gFreed.push_back(pdo->pvObj);
    return gAnswer;
}

class DriverObjTest : public ::testing::Test {
protected:
    void SetUp() override {
        gFreed.clear();
        gAnswer = TRUE;
        live_ = vnx::engine::live_driver_objects();
        app_ = vnx::process::create("app");
        other_ = vnx::process::create("other");
    }
    void TearDown() override {
        vnx::faults::clear();
        vnx::process::terminate(app_);
        vnx::process::terminate(other_);
        EXPECT_EQ(vnx::engine::live_driver_objects(), live_);
    }
    HDRVOBJ Make(DWORD pid, PVOID pv) {
        vnx::process::Scope as(pid);
        return EngCreateDriverObj(pv, Free, kDevice);
    }

    size_t live_ = 0;
    DWORD app_ = 0, other_ = 0;
    int a_ = 0, b_ = 0, c_ = 0;
};

// The owner locks, unlocks and deletes; the clean-up gets the record once;
// another process's calls are refused and change nothing; a deleted handle
// is not found again and handles are never reused.
TEST_F(DriverObjTest, BelongToTheProcessThatMadeThem) {
    const HDRVOBJ h = Make(app_, &a_);
    ASSERT_NE(h, 0u);
    {
        vnx::process::Scope as(other_);
        EXPECT_EQ(EngLockDriverObj(h), nullptr);
        EXPECT_FALSE(EngDeleteDriverObj(h, TRUE, FALSE));
    }
    vnx::process::Scope as(app_);
    DRIVEROBJ* pdo = EngLockDriverObj(h);
    ASSERT_NE(pdo, nullptr);
    EXPECT_EQ(pdo->pvObj, &a_);
    EXPECT_EQ(pdo->hdev, kDevice);
    EXPECT_EQ(EngLockDriverObj(h), pdo) << "a lock nests on its thread";
    EXPECT_FALSE(EngDeleteDriverObj(h, TRUE, FALSE)) << "held locked, said not";
    EXPECT_TRUE(EngUnlockDriverObj(h));
    EXPECT_TRUE(EngUnlockDriverObj(h));
    EXPECT_FALSE(EngUnlockDriverObj(h)) << "not locked any more";
    EXPECT_TRUE(gFreed.empty());
    EXPECT_TRUE(EngDeleteDriverObj(h, TRUE, FALSE));
    EXPECT_EQ(gFreed, std::vector<PVOID>{&a_});
    EXPECT_EQ(EngLockDriverObj(h), nullptr);
    EXPECT_FALSE(EngDeleteDriverObj(h, TRUE, FALSE));
    const HDRVOBJ h2 = EngCreateDriverObj(&b_, Free, kDevice);
    EXPECT_NE(h2, h);
    EXPECT_TRUE(EngDeleteDriverObj(h2, FALSE, FALSE));
    EXPECT_EQ(gFreed.size(), 1u) << "no clean-up asked for";
}

// Refusals: no clean-up, no device, an injected failure; a clean-up that
// answers FALSE keeps the object.
TEST_F(DriverObjTest, RefusalsAndAFailingCleanUp) {
    vnx::process::Scope as(app_);
    EXPECT_EQ(EngCreateDriverObj(&a_, nullptr, kDevice), 0u);
    EXPECT_EQ(EngCreateDriverObj(&a_, Free, nullptr), 0u);
    vnx::faults::arm("EngCreateDriverObj");
    EXPECT_EQ(EngCreateDriverObj(&a_, Free, kDevice), 0u);
    const HDRVOBJ h = EngCreateDriverObj(&a_, Free, kDevice);
    ASSERT_NE(h, 0u);
    gAnswer = FALSE;
    EXPECT_FALSE(EngDeleteDriverObj(h, TRUE, FALSE));
    EXPECT_NE(EngLockDriverObj(h), nullptr) << "still there";
    gAnswer = TRUE;
    EXPECT_TRUE(EngDeleteDriverObj(h, TRUE, TRUE)) << "deleted by its locker";
}

// Ending a process cleans up its objects, newest first, and leaves other
// processes' objects alone.
TEST_F(DriverObjTest, ProcessEndCleansUpItsObjects) {
    Make(app_, &a_);
    const HDRVOBJ hOther = Make(other_, &b_);
    Make(app_, &c_);
    ASSERT_TRUE(vnx::process::terminate(app_));
    EXPECT_EQ(gFreed, (std::vector<PVOID>{&c_, &a_}));
    vnx::process::Scope as(other_);
    EXPECT_NE(EngLockDriverObj(hOther), nullptr);
    EXPECT_TRUE(EngUnlockDriverObj(hOther));
}

// A process ending on another thread waits for the lock a call holds: the
// clean-up runs only once the object is unlocked.
TEST_F(DriverObjTest, ProcessEndWaitsForALockHeldElsewhere) {
    const HDRVOBJ h = Make(app_, &a_);
    {
        vnx::process::Scope as(app_);
        ASSERT_NE(EngLockDriverObj(h), nullptr);
    }
    std::atomic<bool> bEnded{false};
    std::thread ender([&] {
        vnx::process::terminate(app_);
        bEnded = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(bEnded);
    EXPECT_TRUE(gFreed.empty()) << "cleaned up while locked";
    // The thread that locked it unlocks it, whatever process it acts for.
    EXPECT_TRUE(EngUnlockDriverObj(h));
    ender.join();
    EXPECT_TRUE(bEnded);
    EXPECT_EQ(gFreed, std::vector<PVOID>{&a_});
}

}  // namespace
