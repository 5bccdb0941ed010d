#include <gtest/gtest.h>

#include "platform/kernel.h"

TEST(KernelEnvironment, SetEmptyAndUnsetAreTellApart) {
    char buf[32];
    ASSERT_TRUE(SetEnvironmentVariableA("VNX_TEST_VALUE", "vnxglsrv.dll"));
    EXPECT_EQ(GetEnvironmentVariableA("VNX_TEST_VALUE", buf, sizeof buf), 12u);
    EXPECT_STREQ(buf, "vnxglsrv.dll");

    // Too small: the size needed, terminator included, and the buffer untouched.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetEnvironmentVariableA("VNX_TEST_VALUE", small, sizeof small), 13u);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetEnvironmentVariableA("VNX_TEST_VALUE", nullptr, 0), 13u);

    ASSERT_TRUE(SetEnvironmentVariableA("VNX_TEST_VALUE", ""));
    buf[0] = 'x';
    SetLastError(1234);
    EXPECT_EQ(GetEnvironmentVariableA("VNX_TEST_VALUE", buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(buf[0], '\0');

    ASSERT_TRUE(SetEnvironmentVariableA("VNX_TEST_VALUE", nullptr));
    EXPECT_EQ(GetEnvironmentVariableA("VNX_TEST_VALUE", buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);

    // Names match without regard to case.
    ASSERT_TRUE(SetEnvironmentVariableA("Vnx_Test_Case", "1"));
    EXPECT_EQ(GetEnvironmentVariableA("VNX_TEST_CASE", buf, sizeof buf), 1u);
    ASSERT_TRUE(SetEnvironmentVariableA("VNX_TEST_CASE", "2"));
    EXPECT_EQ(GetEnvironmentVariableA("vnx_test_case", buf, sizeof buf), 1u);
    EXPECT_STREQ(buf, "2");
    ASSERT_TRUE(SetEnvironmentVariableA("vnx_TEST_case", nullptr));
    EXPECT_EQ(GetEnvironmentVariableA("VNX_TEST_CASE", buf, sizeof buf), 0u);

    EXPECT_FALSE(SetEnvironmentVariableA("BAD=NAME", "x"));
    EXPECT_FALSE(SetEnvironmentVariableA("", "x"));
}

TEST(KernelEnvironment, StartsFromTheRealEnvironment) {
    char buf[4096];
    EXPECT_GT(GetEnvironmentVariableA("PATH", buf, sizeof buf), 0u);
}
