#pragma once
// Shared by the benchmarks that time whole program runs.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace tarnvex::bench {

// The value below which `fraction` of the samples lie (nearest rank).
inline double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

struct TimedRun {
  double ms = 0;
  long max_rss_kb = 0;  // wait4: the program, or the largest child it reaped
};

// Runs the built program on a request file as a manager does, timing it with
// a blocking wait so that no polling interval blurs the figure.
inline TimedRun RunProgramTimed(const std::string& request_path) {
  const auto start = std::chrono::steady_clock::now();
  testing::ChildProcess program({TARNVEX_BINARY, request_path}, "", testing::ProcessGroup::kInherited);
  rusage usage{};
  program.Wait(&usage);
  return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
          usage.ru_maxrss};
}

}  // namespace tarnvex::bench
