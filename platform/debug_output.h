#pragma once
// The debugger-output channel: syslog at LOG_DEBUG, never standard output.
#include <string_view>

namespace tarnvex {

void DebugOutput(std::string_view line);

}  // namespace tarnvex
