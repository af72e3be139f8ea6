#include "tests/support/run_program.h"

#include <chrono>
#include <cstdio>

namespace tarnvex::testing {
namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

ProgramRun RunProgramWithArgs(const std::vector<std::string>& args,
                              const std::string& response_path) {
  TempDir scratch;
  const std::string out = scratch.File("stdout");
  std::vector<std::string> argv{TARNVEX_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  ProgramRun run;
  const auto start = std::chrono::steady_clock::now();
  ChildProcess child(argv, out);
  run.exit_code = child.Wait();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.output = ReadFile(out);
  if (!response_path.empty() && PathExists(response_path)) run.response = ReadFile(response_path);
  return run;
}

ProgramRun RunRequest(const TempDir& dir, const std::string& request) {
  const std::string log = dir.File("response.json");
  std::string text = request;
  ReplaceAll(text, "@LOG@", log);
  ReplaceAll(text, "@DIR@", dir.path());
  const std::string request_path = dir.File("request.json");
  WriteFile(request_path, text);
  return RunProgramWithArgs({request_path}, log);
}

std::string JsonQuote(const std::string& text) {
  std::string quoted = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

}  // namespace tarnvex::testing
