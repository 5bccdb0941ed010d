#include <gtest/gtest.h>

#include <string>

#include "platform/debug.h"
#include "platform/faults.h"
#include "platform/kernel.h"

TEST(KernelDebug, DbgPrintAndOutputDebugStringShareOneSink) {
    vnx::debug::clear();
    DbgPrint("KZ DrvEnableSurface - %s\n", "__qrnGLDisableClientDriver set");
    OutputDebugStringA("_DAddToBufferList: alloc failed\n");
    EXPECT_EQ(vnx::debug::peek(),
              "KZ DrvEnableSurface - __qrnGLDisableClientDriver set\n"
              "_DAddToBufferList: alloc failed\n");
    vnx::debug::take();
    EXPECT_EQ(vnx::debug::take(), "");
    // A message longer than any fixed buffer arrives whole.
    std::string longText(10000, 'x');
    DbgPrint("%s|", longText.c_str());
    EXPECT_EQ(vnx::debug::take(), longText + "|");
}

// A long run whose text nobody takes keeps only its newest part.
TEST(KernelDebug, KeptTextIsBounded) {
    vnx::debug::clear();
    const std::string line(999, 'x');
    for (int i = 0; i < 4000; ++i) DbgPrint("%s%c", line.c_str(), i == 3999 ? '!' : '\n');
    const std::string kept = vnx::debug::take();
    EXPECT_LE(kept.size(), std::size_t{1} << 20);
    EXPECT_GE(kept.size(), std::size_t{1} << 19);
    EXPECT_EQ(kept.back(), '!');
}

TEST(KernelFaults, ArmedPointsSkipThenFailThenPass) {
    vnx::faults::Scope scope;
    vnx::faults::arm("A", 2, 2);
    std::string seen;
    for (int i = 0; i < 6; ++i) seen += vnx::faults::should_fail("A") ? 'F' : '.';
    EXPECT_EQ(seen, "..FF..");
    EXPECT_EQ(vnx::faults::calls("A"), 6);
    // "*" counts and fails every point, which lets a test fail each step in turn.
    vnx::faults::arm("*", 1, -1);
    EXPECT_FALSE(vnx::faults::should_fail("B"));
    EXPECT_TRUE(vnx::faults::should_fail("C"));
    EXPECT_TRUE(vnx::faults::should_fail("B"));
    EXPECT_EQ(vnx::faults::calls("*"), 9);
    vnx::faults::clear();
    EXPECT_FALSE(vnx::faults::should_fail("B"));
    EXPECT_EQ(vnx::faults::calls("B"), 1);
}
