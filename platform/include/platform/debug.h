// The debug sink: DbgPrint, OutputDebugStringA and the drivers' own debug
// print all land here. The text is kept in memory so tests can assert on the
// exact messages; it is echoed to standard error only when the environment
// variable VNX_DEBUG is set (or echo is switched on). The kept text is
// bounded: past 1 MiB only its newest half MiB stays.
#pragma once

#include <string>

#include "platform/export.h"

namespace vnx::debug {

// Appends text to the sink as it stands (no newline is added).
VNX_PLATFORM_API void write(const char* text);
// Returns everything written since the last take/clear and empties the sink.
VNX_PLATFORM_API std::string take();
// Returns everything written since the last take/clear, leaving it there.
VNX_PLATFORM_API std::string peek();
VNX_PLATFORM_API void clear();
VNX_PLATFORM_API void set_echo(bool on);

}  // namespace vnx::debug
