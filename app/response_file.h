#pragma once
// The response file: the only channel back to the manager. Every write
// replaces the whole file atomically, compact UTF-8 without byte-order mark.
#include <string>

namespace tarnvex::app {

// {"value":…,"drv_pid":…} (actions 1 to 4). Returns the compact text written.
// Raises the file-creation error when the path cannot be written.
std::string WriteValueResponse(const std::string& path, const std::string& value, int drv_pid);

// {"status":…,"value":…} (action 5).
void WriteStatusResponse(const std::string& path, const std::string& status,
                         const std::string& value);

}  // namespace tarnvex::app
