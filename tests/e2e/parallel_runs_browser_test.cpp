// Many runs at once, as a manager with several profiles starts them: each
// must give its own correct response, and none may leave a process or a
// temporary file behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "json/json_document.h"
#include "tests/support/browser.h"
#include "tests/support/measured_run.h"
#include "tests/support/process.h"
#include "tests/support/run_program.h"

namespace tarnvex::testing {
namespace {

struct ParallelRun {
  std::string request;
  std::unique_ptr<TempDir> dir = std::make_unique<TempDir>();
  MeasuredRun result;
};

// Starts every run on a thread of its own and waits for all of them.
void RunAll(std::vector<ParallelRun>& runs) {
  std::vector<std::thread> threads;
  for (ParallelRun& run : runs) {
    threads.emplace_back([&run] { run.result = RunMeasuredRequest(run.dir->path(), run.request); });
  }
  for (std::thread& thread : threads) thread.join();
}

std::string ValueOf(const std::string& response) {
  json::TJsonObject document;
  document.FromUtf8JSON(response);
  return document.GetString("value");
}

void ExpectCleanRun(const ParallelRun& run) {
  EXPECT_EQ(run.result.exit_code, 0);
  EXPECT_FALSE(run.result.killed_at_deadline);
  EXPECT_FALSE(run.result.group_left_behind);
  EXPECT_EQ(run.result.output, "");
  EXPECT_TRUE(TemporaryFilesBeside(run.dir->File("response.json")).empty());
  EXPECT_FALSE(PathExists(run.dir->File("request.json")));
}

TEST(ParallelRuns, ThirtyTwoEvaluateAndPageStateRunsAgainstOneBrowser) {
  FixtureServer fixtures;
  fixtures.Add("/p.html", "<!doctype html><title>Parallel</title><p>x</p>");
  Browser browser;
  const std::string page = fixtures.Url("/p.html");
  ASSERT_EQ(RunRequest(TempDir(), R"({"api":4,"profileId":"p","port":)" + std::to_string(browser.port()) +
                                      R"(,"logfile":"","args":)" + JsonQuote(page) + "}")
                .exit_code,
            0);
  ASSERT_TRUE(WaitUntil([&] { return browser.ListTargets().find(page) != std::string::npos; }));
  ASSERT_TRUE(WaitUntil([&] {
    TempDir probe;
    const ProgramRun run = RunRequest(probe, R"({"api":2,"profileId":"p","port":)" + std::to_string(browser.port()) +
                                                 R"(,"logfile":"@LOG@","args":"document.readyState"})");
    return run.response && ValueOf(*run.response) == "complete";
  }));

  std::vector<ParallelRun> runs(32);
  for (size_t i = 0; i < runs.size(); ++i) {
    const std::string common = R"({"profileId":"p)" + std::to_string(i) + R"(","port":)" +
                               std::to_string(browser.port()) + R"(,"logfile":"@LOG@")";
    runs[i].request = i % 2 ? common + R"(,"api":3})"
                            : common + R"(,"api":2,"args":")" + std::to_string(i) + R"(*1000+7"})";
  }
  RunAll(runs);
  std::string escaped_page;  // the page-state text escapes "/" as well
  for (const char c : page) escaped_page += c == '/' ? std::string("\\/") : std::string(1, c);
  const std::string page_state =
      R"({"success":true,"title":"Parallel","baseURI":")" + escaped_page + R"(","ReadyState":"complete"})";
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(runs[i].request);
    ExpectCleanRun(runs[i]);
    const std::string response = ReadFile(runs[i].dir->File("response.json"));
    EXPECT_EQ(ValueOf(response), i % 2 ? page_state : std::to_string(i * 1000 + 7)) << response;
  }
}

TEST(ParallelRuns, EightWebDriverRunsEachWithItsOwnServer) {
  Browser browser;
  std::vector<ParallelRun> runs(8);
  for (ParallelRun& run : runs) {
    run.request = R"({"api":1,"profileId":"p","function":"source","port":)" + std::to_string(browser.port()) +
                  R"(,"chrome":"/usr/bin/chromium","logfile":"@LOG@"})";
  }
  RunAll(runs);
  std::vector<std::string> servers;
  for (const ParallelRun& run : runs) {
    ExpectCleanRun(run);
    const std::string response = ReadFile(run.dir->File("response.json"));
    json::TJsonObject document;
    document.FromUtf8JSON(response);
    EXPECT_NE(document.GetString("value").find("<html"), std::string::npos) << response;
    const int server = document.GetInt("drv_pid");
    EXPECT_NE(server, 0) << response;
    EXPECT_FALSE(ProcessAlive(server));
    servers.push_back(std::to_string(server));
  }
  std::sort(servers.begin(), servers.end());
  EXPECT_EQ(std::unique(servers.begin(), servers.end()), servers.end()) << "two runs shared a server";
}

}  // namespace
}  // namespace tarnvex::testing
