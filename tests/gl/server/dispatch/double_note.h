// What the dispatcher program's doubles (seams_double.cpp for the server's
// parts, lgi_double.cpp for the lgi layer) share: noting a call in gRecord.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "seams_double.h"

namespace glsrv_double {

// Records the call (name, arguments, and the x87 control word and exception
// masks it ran under) and answers gAnswers.ul.
ULONG Note(const char* pszName, std::vector<std::uintptr_t> args = {});

inline std::uintptr_t U(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
inline std::uintptr_t F(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace glsrv_double
