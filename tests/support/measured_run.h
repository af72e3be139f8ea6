#pragma once
// Runs the built TarnvexApi (or another build of it) in a process group of its
// own and measures it: exit status, wall time and peak resident memory (from
// wait4), with a hard deadline after which the whole group is killed, and
// whether anything it started is still alive once it has ended.
#include <string>
#include <vector>

namespace tarnvex::testing {

struct MeasuredRun {
  int exit_code = -1;       // -signal when killed
  bool killed_at_deadline = false;
  double seconds = 0;
  long max_rss_kb = 0;      // peak resident set of the program itself
  bool group_left_behind = false;  // a process of its group outlived it
  std::string output;       // standard output
  std::string errors;       // standard error (sanitizer reports)
};

struct MeasuredOptions {
  std::string binary = TARNVEX_BINARY;
  std::vector<std::string> environment;  // extra NAME=value entries
  int deadline_ms = 60000;
};

MeasuredRun RunMeasured(const std::vector<std::string>& args, const MeasuredOptions& options = {});

// Writes the request (with "@LOG@" standing for dir/response.json and "@DIR@"
// for dir) to dir/request.json and runs the program on it.
MeasuredRun RunMeasuredRequest(const std::string& dir, const std::string& request,
                               const MeasuredOptions& options = {});

}  // namespace tarnvex::testing

namespace tarnvex::testing {

// Names of the temporary files ".<name>.XXXXXX" that an atomic replacement
// of `path` would leave beside it.
std::vector<std::string> TemporaryFilesBeside(const std::string& path);

}  // namespace tarnvex::testing
