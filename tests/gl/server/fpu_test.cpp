// The floating-point mode requests run under: the control word as a pure
// function, and the mode switched and restored around a request.
#include <gtest/gtest.h>

#include <cfenv>

#include "glsrv.h"

namespace {

TEST(GLServerFpu, RequestControlWord) {
    struct Row {
        USHORT in, out;
    };
    const Row rows[] = {
        {0x037F, 0x007F},  // the usual word: 64-bit precision, all masked
        {0x0000, 0x003F},  // masks set, nothing else
        {0xFFFF, 0x0CFF},  // of the high byte the rounding control alone
        {0x0C40, 0x0C7F},  // rounding kept, bit 6 kept
        {0x1272, 0x007F},  // infinity control and precision dropped
        {0x0BC0, 0x08FF},
    };
    for (const Row& r : rows) EXPECT_EQ(usRequestControlWord(r.in), r.out) << std::hex << r.in;
}

#if defined(__x86_64__) || defined(__i386__)
USHORT ControlWord() {
    USHORT cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
void LoadControlWord(USHORT cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }

// Inside the mode every exception is masked (a division by zero does not
// trap even where the caller unmasked it) and the x87 word is the request
// word; afterwards the caller's modes are back with nothing pending.
TEST(GLServerFpu, ModeIsSwitchedAndRestored) {
    std::fenv_t saved;
    std::fegetenv(&saved);
    LoadControlWord(0x037F);
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_DIVBYZERO);
    std::feraiseexcept(FE_INEXACT);  // pending before: cleared by the switch
    {
        FpuRequestMode mode;
        EXPECT_EQ(ControlWord(), 0x007F);
        EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
        EXPECT_EQ(fegetexcept(), 0) << "every exception masked";
        volatile float zero = 0.0f;
        volatile float r = 1.0f / zero;
        EXPECT_TRUE(r > 1e30f);
        EXPECT_NE(std::fetestexcept(FE_DIVBYZERO), 0);
    }
    EXPECT_EQ(ControlWord(), 0x037B) << "the caller's word: zero divide unmasked";
    EXPECT_EQ(fegetexcept(), FE_DIVBYZERO);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
    std::fesetenv(&saved);
}
#endif

}  // namespace
