#include "platform/debug_output.h"

#include <syslog.h>

#include <string>

namespace tarnvex {

void DebugOutput(std::string_view line) {
  const std::string text(line);
  syslog(LOG_DEBUG, "%s", text.c_str());
}

}  // namespace tarnvex
