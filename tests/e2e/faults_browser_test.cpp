// Faults around a run: the browser or the WebDriver server killed while an
// action talks to it, and request or response paths that cannot be used.
// Nothing may crash or hang: exit code 0 within the program's limit, and the
// response file (when there is one) in a complete state.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "json/json_document.h"
#include "tests/support/browser.h"
#include "tests/support/measured_run.h"
#include "tests/support/process.h"
#include "tests/support/run_program.h"

namespace tarnvex::testing {
namespace {

constexpr double kRunLimitSeconds = 15 + 10;  // the body's 15 s and slack for a loaded machine

std::string Request(int api, int port, const std::string& logfile, const std::string& members = "") {
  return "{\"api\":" + std::to_string(api) + ",\"profileId\":\"p1\",\"port\":" + std::to_string(port) +
         ",\"logfile\":" + JsonQuote(logfile) + members + "}";
}

void ExpectCleanEnd(const MeasuredRun& run) {
  EXPECT_FALSE(run.killed_at_deadline);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_LT(run.seconds, kRunLimitSeconds);
  EXPECT_FALSE(run.group_left_behind);
}

// A complete response document of the value or status shape.
void ExpectCompleteResponse(const std::string& text) {
  json::TJsonObject response;
  ASSERT_NO_THROW(response.FromUtf8JSON(text)) << text;
  EXPECT_TRUE(response.Contains("value")) << text;
  EXPECT_TRUE(response.Contains("drv_pid") || response.Contains("status")) << text;
}

TEST(PathFaults, MissingResponseFolderWritesNothingForAnyAction) {
  TempDir dir;
  const std::string log = dir.File("missing/response.json");
  for (int api = 1; api <= 5; ++api) {
    SCOPED_TRACE(api);
    // Action 1 finds no chromedriver beside this browser path; actions 2 to 5
    // stop at their first write, before any connection.
    const MeasuredRun run = RunMeasuredRequest(
        dir.path(), Request(api, FreePort(), log, ",\"chrome\":" + JsonQuote(dir.File("chrome"))));
    ExpectCleanEnd(run);
    EXPECT_EQ(run.output, "");
    EXPECT_FALSE(PathExists(dir.File("missing")));
    EXPECT_FALSE(PathExists(dir.File("request.json")));
  }
}

TEST(PathFaults, ReadOnlyResponseFileIsReplacedWholeWithoutTemporaryFiles) {
  TempDir dir;
  const std::string log = dir.File("response.json");
  WriteFile(log, "old contents");
  chmod(log.c_str(), 0444);
  const MeasuredRun run = RunMeasuredRequest(dir.path(), Request(3, FreePort(), log));
  ExpectCleanEnd(run);
  EXPECT_EQ(ReadFile(log),
            R"({"value":"{\"success\":false,\"title\":\"\",\"baseURI\":\"\",\"ReadyState\":\"\"}","drv_pid":0})");
  EXPECT_TRUE(TemporaryFilesBeside(log).empty());
}

TEST(PathFaults, RequestPathThatIsAFolderIsLeftAlone) {
  TempDir dir;
  const std::string folder = dir.File("request.json");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  WriteFile(folder + "/inside", "x");
  const MeasuredRun run = RunMeasured({folder});
  ExpectCleanEnd(run);
  EXPECT_TRUE(PathExists(folder + "/inside"));
  // At most the one console line of an escaping error.
  EXPECT_EQ(run.output.find('\n'), run.output.empty() ? std::string::npos : run.output.size() - 1) << run.output;
}

TEST(PathFaults, RequestDeletedByAnotherProcessAroundTheReadNeverCrashes) {
  TempDir dir;
  std::mt19937 random(12345);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    const std::string request = dir.File("request.json");
    WriteFile(request, Request(4, FreePort(), dir.File("response.json"), ",\"args\":\"http://127.0.0.1:1/\""));
    const int delay_us = static_cast<int>(random() % 4000);
    std::thread deleter([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
      unlink(request.c_str());
    });
    const MeasuredRun run = RunMeasured({request});
    deleter.join();
    ExpectCleanEnd(run);
    // Either the run read the request (and wrote its placeholder) or it found
    // nothing, or the read failed with one console line.
    if (!run.output.empty()) EXPECT_EQ(run.output.back(), '\n') << run.output;
    if (PathExists(dir.File("response.json"))) ExpectCompleteResponse(ReadFile(dir.File("response.json")));
    unlink(dir.File("response.json").c_str());
  }
}

// Kills the process when `ready` holds (checked every 10 ms), after `delay_ms`.
std::thread KillWhen(pid_t pid, std::function<bool()> ready, int delay_ms) {
  return std::thread([pid, ready = std::move(ready), delay_ms] {
    WaitUntil(ready, 20000);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    kill(pid, SIGKILL);
  });
}

struct BrowserKill {
  const char* name;
  int api;
  const char* members;
  int delay_ms;  // after the placeholder appeared
};

// Action 2's expression keeps the page busy, so its kill lands while the
// worker waits for the reply; the others are killed at two moments.
const BrowserKill kBrowserKills[] = {
    {"EvaluateWaitingForTheReply", 2,
     R"js(,"args":"(()=>{const t=Date.now();while(Date.now()-t<8000){}return 1})()")js", 500},
    {"PageStateEarly", 3, "", 0},
    {"PageStateLater", 3, "", 40},
    {"NavigateEarly", 4, R"(,"args":"about:blank")", 0},
    {"NavigateNewTabLater", 4, R"(,"args":"about:blank","click":true)", 20},
    {"BringToFrontEarly", 5, R"(,"args":"NOSUCHTAB")", 0},
    {"CloseLater", 5, R"(,"args":"NOSUCHTAB","click":true)", 20},
};

class BrowserKilledTest : public ::testing::TestWithParam<BrowserKill> {};

TEST_P(BrowserKilledTest, RunEndsCleanlyWithACompleteResponse) {
  const BrowserKill& c = GetParam();
  Browser browser;
  TempDir dir;
  const std::string log = dir.File("response.json");
  std::thread killer = KillWhen(browser.pid(), [&] { return PathExists(log); }, c.delay_ms);
  const MeasuredRun run = RunMeasuredRequest(dir.path(), Request(c.api, browser.port(), log, c.members));
  killer.join();
  browser.Kill();
  ExpectCleanEnd(run);
  EXPECT_EQ(run.output, "");
  ASSERT_TRUE(PathExists(log));
  ExpectCompleteResponse(ReadFile(log));
  if (c.api == 2) EXPECT_EQ(ReadFile(log), R"({"value":"","drv_pid":0})");
}

INSTANTIATE_TEST_SUITE_P(Moments, BrowserKilledTest, ::testing::ValuesIn(kBrowserKills),
                         [](const auto& info) { return std::string(info.param.name); });

// The placeholder of action 1 names the WebDriver server's process; killing
// it while the function runs must still give the final response.
TEST(ChromedriverKilledTest, RunEndsCleanlyWithTheFinalResponse) {
  Browser browser;
  TempDir dir;
  const std::string log = dir.File("response.json");
  std::atomic<pid_t> server{0};
  std::thread killer([&] {
    WaitUntil([&] {
      if (!PathExists(log)) return false;
      json::TJsonObject placeholder;
      try {
        placeholder.FromUtf8JSON(ReadFile(log));
      } catch (...) {
        return false;
      }
      server = placeholder.GetInt("drv_pid");
      return server != 0;
    }, 20000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    if (server != 0) kill(server, SIGKILL);
  });
  const std::string script = "const t=Date.now();while(Date.now()-t<6000){}";
  const MeasuredRun run = RunMeasuredRequest(
      dir.path(), Request(1, browser.port(), log,
                          ",\"function\":\"ExecuteScript\",\"args\":" + JsonQuote(script) +
                              ",\"chrome\":\"/usr/bin/chromium\""));
  killer.join();
  ExpectCleanEnd(run);
  EXPECT_EQ(run.output, "");
  ASSERT_NE(server.load(), 0);
  EXPECT_FALSE(ProcessAlive(server));
  ExpectCompleteResponse(ReadFile(log));
  EXPECT_NE(ReadFile(log).find("\"drv_pid\":" + std::to_string(server.load())), std::string::npos) << ReadFile(log);
}

}  // namespace
}  // namespace tarnvex::testing
