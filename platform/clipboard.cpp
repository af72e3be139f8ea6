#include "platform/clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/text.h"

extern char** environ;

namespace tarnvex::clipboard {
namespace {

using Clock = std::chrono::steady_clock;

struct Tool {
  std::vector<std::string> read;
  std::vector<std::string> clear;  // run with empty standard input
};

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

bool OnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/bin:/bin";
  while (true) {
    const size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    const std::string candidate = std::string(dir.empty() ? "." : dir) + "/" + std::string(name);
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    dirs.remove_prefix(colon + 1);
  }
}

// The tool of the running desktop session; none without a display.
std::optional<Tool> FindTool() {
  if (IsSet("WAYLAND_DISPLAY") && OnPath("wl-paste") && OnPath("wl-copy")) {
    return Tool{{"wl-paste", "--no-newline"}, {"wl-copy", "--clear"}};
  }
  if (!IsSet("DISPLAY")) return std::nullopt;
  // Windows' clipboard is X11's CLIPBOARD selection, not PRIMARY.
  if (OnPath("xclip")) {
    return Tool{{"xclip", "-selection", "clipboard", "-o"}, {"xclip", "-selection", "clipboard", "-i"}};
  }
  if (OnPath("xsel")) return Tool{{"xsel", "--clipboard", "--output"}, {"xsel", "--clipboard", "--clear"}};
  return std::nullopt;
}

class Spawn {
 public:
  Spawn() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attr_);
  }
  ~Spawn() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  Spawn(const Spawn&) = delete;
  Spawn& operator=(const Spawn&) = delete;

  // Standard input and error on /dev/null; standard output on `out_fd`, or
  // /dev/null when it is negative. Returns the child's id, or 0.
  pid_t Start(const std::vector<std::string>& argv, int out_fd) {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    const bool prepared =
        posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
        (out_fd >= 0 ? posix_spawn_file_actions_adddup2(&actions_, out_fd, 1)
                     : posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0)) == 0 &&
        posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0) == 0 &&
        posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0 &&
        posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
        posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
        posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    if (!prepared) return 0;
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions_, &attr_, args.data(), environ) != 0) return 0;
    return pid;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads `fd` until its end, the cap or the deadline.
void ReadOutput(int fd, Clock::time_point deadline, std::string& out) {
  char buffer[8192];
  while (out.size() < kMaxTextBytes) {
    pollfd waiting{fd, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, RemainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, kMaxTextBytes - out.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    out.append(buffer, static_cast<size_t>(got));
  }
}

// True when the child exited with status 0 by the deadline; a child still
// running then is killed. Always reaps it.
bool AwaitExit(pid_t pid, Clock::time_point deadline) {
  int status = 0;
  while (true) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0 && errno != EINTR) return false;
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return false;
}

// Runs a tool; its standard output goes to `out` when given.
bool RunTool(const std::vector<std::string>& argv, std::string* out) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kToolDeadlineMs);
  int pipe_fds[2] = {-1, -1};
  if (out && ::pipe2(pipe_fds, O_CLOEXEC) != 0) return false;
  Spawn spawn;
  const pid_t pid = spawn.Start(argv, out ? pipe_fds[1] : -1);
  if (out) ::close(pipe_fds[1]);
  if (pid == 0) {
    if (out) ::close(pipe_fds[0]);
    return false;
  }
  if (out) {
    ReadOutput(pipe_fds[0], deadline, *out);
    // Closing first: a tool blocked on a full pipe past the cap ends on it.
    ::close(pipe_fds[0]);
  }
  return AwaitExit(pid, deadline);
}

}  // namespace

std::string ReadText() {
  const std::optional<Tool> tool = FindTool();
  if (!tool) return {};
  std::string bytes;
  // A tool that fails (no owner, no text target) may still have printed a
  // message on the way out; only a clean exit counts.
  if (!RunTool(tool->read, &bytes)) return {};
  return text::SanitizeUtf8(bytes);
}

bool SetEmpty() {
  const std::optional<Tool> tool = FindTool();
  return tool && RunTool(tool->clear, nullptr);
}

}  // namespace tarnvex::clipboard
