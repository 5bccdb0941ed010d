// printf-style formatting into a string, for the applet's texts.
#pragma once

#include <string>

namespace qrncp {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qrncp
