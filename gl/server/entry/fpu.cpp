// The floating-point mode requests run under.
#include <cfenv>

#include "glsrv.h"

USHORT usRequestControlWord(USHORT usControlWord) {
    constexpr USHORT kRoundingControl = 0x0C00;  // the high byte keeps these bits only
    constexpr USHORT kLowByte = 0x00FF;
    constexpr USHORT kExceptionMasks = 0x003F;  // invalid, denormal, zero divide, overflow,
                                                // underflow, precision
    return static_cast<USHORT>((usControlWord & (kRoundingControl | kLowByte)) | kExceptionMasks);
}

FpuRequestMode::FpuRequestMode() {
    std::feclearexcept(FE_ALL_EXCEPT);
    // Saves the caller's environment and masks every exception (x87 and SSE).
    std::feholdexcept(&env_);
#if defined(__x86_64__) || defined(__i386__)
    USHORT usControlWord;
    __asm__ volatile("fnstcw %0" : "=m"(usControlWord));
    usControlWord = usRequestControlWord(usControlWord);
    __asm__ volatile("fldcw %0" : : "m"(usControlWord));
#endif
}

FpuRequestMode::~FpuRequestMode() {
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetenv(&env_);
}
