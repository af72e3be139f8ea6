#include "tests/support/measured_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/process.h"

extern char** environ;

namespace tarnvex::testing {
namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// Processes the program started are reparented to this process (a subreaper)
// when it ends, so they are reaped here rather than counted as zombies.
bool GroupAlive(pid_t group) {
  while (waitpid(-group, nullptr, WNOHANG) > 0) {
  }
  return kill(-group, 0) == 0 || errno == EPERM;
}

}  // namespace

MeasuredRun RunMeasured(const std::vector<std::string>& args, const MeasuredOptions& options) {
  TempDir scratch;
  const std::string out = scratch.File("stdout");
  const std::string err = scratch.File("stderr");
  std::vector<std::string> argv{options.binary};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> arg_pointers;
  for (auto& arg : argv) arg_pointers.push_back(arg.data());
  arg_pointers.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), options.environment.begin(), options.environment.end());
  std::vector<char*> env_pointers;
  for (auto& entry : env) env_pointers.push_back(entry.data());
  env_pointers.push_back(nullptr);

  prctl(PR_SET_CHILD_SUBREAPER, 1);
  MeasuredRun run;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    execve(arg_pointers[0], arg_pointers.data(), env_pointers.data());
    _exit(127);
  }
  setpgid(pid, pid);  // both sides set it, whichever runs first
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    const auto waited = std::chrono::steady_clock::now() - start;
    if (!run.killed_at_deadline && waited > std::chrono::milliseconds(options.deadline_ms)) {
      run.killed_at_deadline = true;
      kill(-pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  run.max_rss_kb = usage.ru_maxrss;
  // A process killed at the program's end may take a moment to vanish.
  for (int i = 0; i < 100 && GroupAlive(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  run.group_left_behind = GroupAlive(pid);
  if (run.group_left_behind) kill(-pid, SIGKILL);
  run.output = ReadFile(out);
  run.errors = ReadFile(err);
  return run;
}

MeasuredRun RunMeasuredRequest(const std::string& dir, const std::string& request,
                               const MeasuredOptions& options) {
  std::string text = request;
  ReplaceAll(text, "@LOG@", dir + "/response.json");
  ReplaceAll(text, "@DIR@", dir);
  WriteFile(dir + "/request.json", text);
  return RunMeasured({dir + "/request.json"}, options);
}

}  // namespace tarnvex::testing

namespace tarnvex::testing {

std::vector<std::string> TemporaryFilesBeside(const std::string& path) {
  const std::filesystem::path target(path);
  const std::string prefix = "." + target.filename().string() + ".";
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.push_back(name);
  }
  return found;
}

}  // namespace tarnvex::testing
