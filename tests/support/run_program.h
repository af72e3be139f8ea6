#pragma once
// Runs the built TarnvexApi the way a manager does: a request file, the
// program, then the exit code, standard output and the response file.
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace tarnvex::testing {

struct ProgramRun {
  int exit_code = -1;
  std::string output;                   // standard output
  std::optional<std::string> response;  // the response file's bytes, if one exists
  double seconds = 0;                   // wall time of the whole process
};

// Runs TarnvexApi with exactly these arguments (after the program path).
ProgramRun RunProgramWithArgs(const std::vector<std::string>& args,
                              const std::string& response_path = "");

// Writes `request` to a request file in `dir`, runs the program on it and
// reads `dir`/response.json. The placeholder "@LOG@" in the request stands for
// that path, "@DIR@" for the folder.
ProgramRun RunRequest(const TempDir& dir, const std::string& request);

// The JSON text of a string (quotes and escapes), for building requests.
std::string JsonQuote(const std::string& text);

}  // namespace tarnvex::testing
