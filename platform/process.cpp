#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "platform/files.h"

extern char** environ;

namespace tarnvex::process {
namespace {

// Processes started and not yet terminated.
std::mutex& StartedMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<pid_t>& Started() {
  static std::vector<pid_t> pids;
  return pids;
}
bool starts_closed = false;  // guarded by StartedMutex()

void SplitWords(std::string_view text, std::vector<std::string>& out) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = text.find_first_not_of(' ', pos);
    if (start == std::string_view::npos) break;
    const size_t end = std::min(text.find(' ', start), text.size());
    out.emplace_back(text.substr(start, end - start));
    pos = end;
  }
}

// Each step frees what it set up, whatever the outcome.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool Prepare() {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    return posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
           posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
           posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0) == 0 &&
           // No inherited handles: sockets and files of this process stay here.
           posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0 &&
           posix_spawnattr_setsigmask(&attr, &none) == 0 &&
           posix_spawnattr_setsigdefault(&attr, &all) == 0 &&
           posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  }
};

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> argv;
  const size_t start = command_line.find_first_not_of(' ');
  if (start == std::string_view::npos) return argv;
  command_line.remove_prefix(start);
  for (size_t space = command_line.find(' '); space != std::string_view::npos;
       space = command_line.find(' ', space + 1)) {
    const std::string candidate(command_line.substr(0, space));
    if (files::FileExists(candidate)) {
      argv.push_back(candidate);
      SplitWords(command_line.substr(space), argv);
      return argv;
    }
  }
  SplitWords(command_line, argv);
  return argv;
}

pid_t StartHidden(std::string_view command_line) {
  const std::vector<std::string> argv = SplitCommandLine(command_line);
  if (argv.empty()) return 0;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  SpawnSetup setup;
  if (!setup.Prepare()) return 0;
  pid_t pid = 0;
  std::lock_guard lock(StartedMutex());
  if (starts_closed) return 0;
  if (posix_spawn(&pid, args[0], &setup.actions, &setup.attr, args.data(), environ) != 0) return 0;
  Started().push_back(pid);
  return pid;
}

void Terminate(pid_t pid) {
  if (pid <= 0) return;
  {
    // Only our own, still unreaped children: a reaped id may belong to
    // another process by now.
    std::lock_guard lock(StartedMutex());
    auto& pids = Started();
    const auto it = std::find(pids.begin(), pids.end(), pid);
    if (it == pids.end()) return;
    pids.erase(it);
  }
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

void TerminateAllStarted() {
  std::vector<pid_t> pids;
  {
    std::lock_guard lock(StartedMutex());
    starts_closed = true;
    pids = Started();
  }
  for (const pid_t pid : pids) Terminate(pid);
}

}  // namespace tarnvex::process
