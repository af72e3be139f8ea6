#pragma once
// Test helpers for child processes, temporary folders and free ports.
#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace tarnvex::testing {

// A port on 127.0.0.1 that nothing listened on a moment ago.
int FreePort();

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A child process, by default in a process group of its own, so that it is
// ended together with every process it started.
enum class ProcessGroup { kOwn, kInherited };

class ChildProcess {
 public:
  // `stdout_file` empty: standard output goes to /dev/null. kInherited starts
  // a plain child, as a manager starts the program (benchmarks time that).
  explicit ChildProcess(const std::vector<std::string>& argv, const std::string& stdout_file = "",
                        ProcessGroup group = ProcessGroup::kOwn);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  pid_t pid() const { return pid_; }
  // Waits for the process to end; returns its exit code (-signal when killed).
  // `usage`, when given, receives its resource use (peak RSS among others).
  int Wait(struct rusage* usage = nullptr);
  // Kills the process (its whole group when it has its own) and reaps it.
  void Kill();

 private:
  pid_t pid_ = -1;
  bool own_group_ = true;
  bool reaped_ = false;
  int status_ = 0;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
// Whether a process with this id is still running (not a zombie).
bool ProcessAlive(pid_t pid);

}  // namespace tarnvex::testing
