// Each action run once by the AddressSanitizer build of the program with
// leak detection on: the program checks for leaks just before it ends the
// process (the usual check at exit is skipped by its _Exit), so a leak shows
// as LeakSanitizer's report and a non-zero exit code.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "json/json_document.h"
#include "tests/support/browser.h"
#include "tests/support/measured_run.h"
#include "tests/support/process.h"
#include "tests/support/run_program.h"

namespace tarnvex::testing {
namespace {

// TARNVEX_ASAN_BINARY, or the ASan build that scripts/build.sh address makes.
std::string SanitizerBinary() {
  const char* chosen = std::getenv("TARNVEX_ASAN_BINARY");
  return chosen ? chosen : TARNVEX_SOURCE_DIR "/build-asan/app/TarnvexApi";
}

std::string FirstPageId(const Browser& browser) {
  json::TJsonArray list;
  list.FromUtf8JSON(browser.ListTargets());
  for (int i = 0; i < list.Count(); ++i) {
    if (list.GetObject(i)->GetString("type") == "page") return list.GetObject(i)->GetString("id");
  }
  return "";
}

struct LeakCase {
  const char* name;
  int api;
  std::string members;  // "@PAGE@" stands for the first page's id
  const char* expected_value;  // null: not checked
};

class LeakRunTest : public ::testing::TestWithParam<LeakCase> {};

TEST_P(LeakRunTest, RunIsCleanUnderLeakSanitizer) {
  const LeakCase& c = GetParam();
  if (!PathExists(SanitizerBinary())) GTEST_SKIP() << "no ASan build at " << SanitizerBinary();
  Browser browser;
  std::string members = c.members;
  if (const size_t at = members.find("@PAGE@"); at != std::string::npos) members.replace(at, 6, FirstPageId(browser));
  TempDir dir;
  const MeasuredRun run = RunMeasuredRequest(
      dir.path(),
      "{\"api\":" + std::to_string(c.api) + ",\"profileId\":\"p\",\"port\":" + std::to_string(browser.port()) +
          ",\"logfile\":\"@LOG@\"" + members + "}",
      {.binary = SanitizerBinary(),
       .environment = {"ASAN_OPTIONS=detect_leaks=1:exitcode=23", "UBSAN_OPTIONS=print_stacktrace=1"},
       .deadline_ms = 90000});
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_EQ(run.errors.find("LeakSanitizer"), std::string::npos) << run.errors;
  EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << run.errors;
  const std::string response = ReadFile(dir.File("response.json"));
  if (c.expected_value) {
    json::TJsonObject document;
    document.FromUtf8JSON(response);
    EXPECT_EQ(document.GetString("value"), c.expected_value) << response;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, LeakRunTest,
    ::testing::Values(LeakCase{"WebDriverSource", 1, R"(,"function":"source","chrome":"/usr/bin/chromium")",
                               "<html><head></head><body></body></html>"},
                      LeakCase{"Evaluate", 2, R"(,"args":"1+1")", "2"},
                      LeakCase{"PageState", 3, "", nullptr},
                      LeakCase{"Navigate", 4, R"(,"args":"about:blank")", ""},
                      LeakCase{"BringToFront", 5, R"(,"args":"@PAGE@")", "p"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnvex::testing
