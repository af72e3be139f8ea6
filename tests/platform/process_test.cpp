#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "tests/support/browser.h"
#include "tests/support/process.h"

namespace tarnvex::process {
namespace {

using tarnvex::testing::ProcessAlive;
using tarnvex::testing::ReadFile;
using tarnvex::testing::TempDir;
using tarnvex::testing::WaitUntil;
using tarnvex::testing::WriteFile;

void WriteScript(const std::string& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
}

bool Reaped(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD; }

TEST(SplitCommandLine, TakesTheShortestExistingPrefixAsTheProgram) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("my tools"));
  const std::string spaced = dir.File("my tools/drv");
  WriteFile(spaced, "");
  struct Case {
    std::string line;
    std::vector<std::string> argv;
  };
  const Case cases[] = {
      {"/bin/sh --port=9515", {"/bin/sh", "--port=9515"}},
      {"  /bin/sh   -a  b ", {"/bin/sh", "-a", "b"}},
      {spaced + " --port=1", {spaced, "--port=1"}},
      {"/missing/drv --port=1", {"/missing/drv", "--port=1"}},
      {"chromedriver", {"chromedriver"}},
      {"", {}},
      {"   ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.argv) << c.line;
}

TEST(StartHidden, RunsWithStreamsOnDevNullAndNoInheritedDescriptors) {
  TempDir dir;
  const int leaked = ::open("/dev/null", O_RDONLY);  // deliberately inheritable
  ASSERT_GE(leaked, 3);
  const std::string script = dir.File("probe.sh");
  WriteScript(script, "out=" + dir.File("out") + "\n" +
                          "streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                          "echo \"$streams\" > $out.tmp\n"
                          "if [ -e /proc/$$/fd/" + std::to_string(leaked) +
                          " ]; then echo leaked >> $out.tmp; fi\n"
                          "mv $out.tmp $out\n");
  const pid_t pid = StartHidden(script + " x");
  ::close(leaked);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir.File("out")); }));
  EXPECT_EQ(ReadFile(dir.File("out")), "/dev/null\n/dev/null\n/dev/null\n");
  Terminate(pid);
  EXPECT_TRUE(Reaped(pid));
}

TEST(StartHidden, GivesZeroWhenNothingCanBeStarted) {
  TempDir dir;
  WriteFile(dir.File("not-executable"), "#!/bin/sh\n");
  EXPECT_EQ(StartHidden(dir.File("missing") + " --port=1"), 0);
  EXPECT_EQ(StartHidden(dir.File("not-executable")), 0);
  EXPECT_EQ(StartHidden(""), 0);
}

TEST(Terminate, KillsAndReapsOnceAndIgnoresForeignIds) {
  const pid_t pid = StartHidden("/bin/sleep 30");
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(ProcessAlive(pid));
  Terminate(pid);
  EXPECT_FALSE(ProcessAlive(pid));
  EXPECT_TRUE(Reaped(pid));
  Terminate(pid);  // already gone: nothing happens
  Terminate(0);
  Terminate(::getpid());  // not started here: must not be signalled
}

TEST(TerminateAllStarted, EndsEveryServerAndRefusesLaterStarts) {
  // In a child process: afterwards this process can start nothing more.
  EXPECT_EXIT(
      {
        const pid_t first = StartHidden("/bin/sleep 30");
        const pid_t second = StartHidden("/bin/sleep 30");
        TerminateAllStarted();
        const bool ended = first > 0 && second > 0 && Reaped(first) && Reaped(second);
        std::exit(ended && StartHidden("/bin/sleep 30") == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tarnvex::process
