// DebugPrint: level filter, exact text, and long messages cut at the
// buffer's end instead of running past it.
#include <gtest/gtest.h>

#include <string>

#include "device/debug.h"
#include "platform/debug.h"

namespace {

class DebugPrintTest : public ::testing::Test {
  protected:
    void SetUp() override { vnx::debug::clear(); }
    void TearDown() override {
        glDebugLevel = 0;
        vnx::debug::clear();
    }
};

TEST_F(DebugPrintTest, PrintsOnlyAtOrBelowTheLevel) {
    EXPECT_EQ(glDebugLevel, 0);
    DebugPrint(0, "DfbAssignFormat: %s %d\n", "null dfb", 7);
    DebugPrint(1, "dropped\n");
    EXPECT_EQ(vnx::debug::take(), "DfbAssignFormat: null dfb 7\n");
    glDebugLevel = 2;
    DebugPrint(2, "two\n");
    DebugPrint(3, "three\n");
    DebugPrint(-1, "minus\n");
    EXPECT_EQ(vnx::debug::take(), "two\nminus\n");
}

TEST_F(DebugPrintTest, LongMessageIsCutAtTheBuffer) {
    const std::string longText(1000, 'x');
    DebugPrint(0, "%s%s\n", longText.c_str(), longText.c_str());
    EXPECT_EQ(vnx::debug::take(), std::string(DEBUG_PRINT_BUFFER - 1, 'x'));
    const std::string fits(DEBUG_PRINT_BUFFER - 2, 'y');
    DebugPrint(0, "%s\n", fits.c_str());
    EXPECT_EQ(vnx::debug::take(), fits + "\n");
}

}  // namespace
