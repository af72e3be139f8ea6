// The program body run as a process, as the manager runs it, on temporary
// request files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/support/run_program.h"

namespace tarnvex::testing {
namespace {

const std::string kPlaceholder3 =
    R"({"value":"{\"success\":false,\"title\":\"\",\"baseURI\":\"\",\"ReadyState\":\"\"}","drv_pid":0})";

struct PortZeroCase {
  std::string request;
  std::optional<std::string> response;
};

class PortZero : public ::testing::TestWithParam<PortZeroCase> {};

// With port 0 every worker stops after its early steps, so the response file
// shows exactly what each action writes first.
TEST_P(PortZero, WritesTheFirstResponseByteForByte) {
  TempDir dir;
  const ProgramRun run = RunRequest(dir, GetParam().request);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");
  EXPECT_FALSE(PathExists(dir.File("request.json")));
  EXPECT_EQ(run.response, GetParam().response);
}

INSTANTIATE_TEST_SUITE_P(
    EveryAction, PortZero,
    ::testing::Values(
        PortZeroCase{R"({"api":1,"profileId":"p","port":0,"logfile":"@LOG@"})", std::nullopt},
        PortZeroCase{R"({"api":2,"profileId":"p","port":0,"args":"1+1","logfile":"@LOG@"})",
                     R"({"value":"","drv_pid":0})"},
        PortZeroCase{R"({"api":3,"profileId":"p","port":0,"logfile":"@LOG@"})", kPlaceholder3},
        PortZeroCase{R"({"api":4,"profileId":"p","port":0,"args":"x","logfile":"@LOG@"})",
                     R"({"value":"","drv_pid":0})"},
        PortZeroCase{R"({"api":5,"profileId":"p","port":0,"logfile":"@LOG@"})",
                     R"({"status":"OK","value":"p"})"},
        // The echoed profile id keeps é and is escaped only where JSON needs it.
        PortZeroCase{R"({"api":5,"profileId":"é \"q\" a/b","port":0,"logfile":"@LOG@"})",
                     R"({"status":"OK","value":"é \"q\" a/b"})"},
        // A missing port reads as 0.
        PortZeroCase{R"({"api":4,"profileId":"p","logfile":"@LOG@"})", R"({"value":"","drv_pid":0})"}));

class NoProfile : public ::testing::TestWithParam<int> {};

// An empty profile id makes every worker do nothing: an old response file
// stays untouched.
TEST_P(NoProfile, LeavesAStaleResponseFileAlone) {
  TempDir dir;
  WriteFile(dir.File("response.json"), "stale");
  const ProgramRun run =
      RunRequest(dir, R"({"api":)" + std::to_string(GetParam()) + R"(,"profileId":"","port":1,"logfile":"@LOG@"})");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.response, "stale");
  EXPECT_FALSE(PathExists(dir.File("request.json")));
}

INSTANTIATE_TEST_SUITE_P(EveryAction, NoProfile, ::testing::Values(1, 2, 3, 4, 5));

TEST(ProgramBody, UnknownActionDeletesTheRequestAndWritesNothing) {
  TempDir dir;
  const ProgramRun run = RunRequest(dir, R"({"api":7,"profileId":"p","port":0,"logfile":"@LOG@"})");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");
  EXPECT_FALSE(PathExists(dir.File("request.json")));
  EXPECT_FALSE(run.response);
}

TEST(ProgramBody, ActionFourWithoutProfileEndsAtOnce) {
  TempDir dir;
  const ProgramRun run = RunRequest(dir, R"({"api":4,"profileId":"","port":9,"logfile":"@LOG@"})");
  EXPECT_EQ(run.exit_code, 0);
  // Half of the body's 5000 ms limit: the wait ended with the worker.
  EXPECT_LT(run.seconds, 2.5);
  EXPECT_FALSE(run.response);
}

struct ErrorCase {
  std::string name;
  std::string request;
  std::string line_start;  // expected start of the one console line
  bool request_kept;
};

class EscapingError : public ::testing::TestWithParam<ErrorCase> {};

// An error that escapes the body gives one line "TypeName: message", exit 0,
// and no worker runs.
TEST_P(EscapingError, PrintsOneLineAndExitsWithZero) {
  TempDir dir;
  const ProgramRun run = RunRequest(dir, GetParam().request);
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_EQ(run.output.rfind(GetParam().line_start, 0), 0u) << run.output;
  EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << run.output;
  EXPECT_EQ(PathExists(dir.File("request.json")), GetParam().request_kept);
  EXPECT_FALSE(run.response);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, EscapingError,
    ::testing::Values(
        ErrorCase{"Array", "[1]", "EJsonParserException: Expected \"{\" but found \"[\" (1, 2)\n", true},
        ErrorCase{"NotJson", "hello", "EJsonParserException: ", true},
        ErrorCase{"Empty", "", "EJsonParserException: ", true},
        ErrorCase{"MillionBrackets", std::string(1000000, '['), "EJsonParserException: ", true},
        ErrorCase{"DeepInsideObject", R"({"api":)" + std::string(1000000, '['),
                  "EJsonParserException: Maximum nesting depth exceeded", true},
        // The file is deleted before `api` is read.
        ErrorCase{"NonNumericApi", R"({"api":"x","profileId":"p","logfile":"@LOG@"})",
                  "EConvertError: 'x' is not a valid floating point value\n", false},
        ErrorCase{"NullApi", R"({"api":null})", "EJsonCastException: Cannot cast Object into Integer\n",
                  false},
        // A field that fails to convert keeps the created worker from starting:
        // not even the placeholder is written.
        ErrorCase{"NonNumericPort", R"({"api":2,"profileId":"p","port":"abc","logfile":"@LOG@"})",
                  "EConvertError: 'abc' is not a valid floating point value\n", false}),
    [](const auto& info) { return info.param.name; });

struct PathCase {
  std::string name;
  std::string argument;  // "@" stands for the request file's folder
};

class RequestPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(RequestPath, FindsTheFileDespiteBlanksAndQuotes) {
  TempDir dir;
  const std::string request = dir.File("request.json");
  WriteFile(request, R"({"api":5,"profileId":"p","port":0,"logfile":")" + dir.File("response.json") + "\"}");
  std::string argument = GetParam().argument;
  argument.replace(argument.find('@'), 1, dir.path());
  const ProgramRun run = RunProgramWithArgs({argument, "ignored extra argument"}, dir.File("response.json"));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_FALSE(PathExists(request));
  EXPECT_EQ(run.response, R"({"status":"OK","value":"p"})");
}

INSTANTIATE_TEST_SUITE_P(Arguments, RequestPath,
                         ::testing::Values(PathCase{"Plain", "@/request.json"},
                                           PathCase{"Blanks", " \t @/request.json \r\n"},
                                           PathCase{"Quoted", "\"@/request.json\""},
                                           PathCase{"StrayQuote", "@/req\"uest.json"},
                                           PathCase{"QuotesAndBlanks", "  \"@/request.json\"\x01"}),
                         [](const auto& info) { return info.param.name; });

TEST(ProgramBody, NothingHappensWithoutAReadableRequestFile) {
  TempDir dir;
  ::mkdir(dir.File("folder.json").c_str(), 0755);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {dir.File("missing.json")}, {dir.File("folder.json")}, {""}}) {
    const ProgramRun run = RunProgramWithArgs(args);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, "");
  }
  EXPECT_TRUE(PathExists(dir.File("folder.json")));
}

TEST(ProgramBody, UnwritableResponsePathEndsTheWorkerQuietly) {
  TempDir dir;
  for (int api : {2, 3, 4, 5}) {
    const ProgramRun run = RunRequest(
        dir, R"({"api":)" + std::to_string(api) + R"(,"profileId":"p","port":0,"logfile":"@DIR@/no/such/folder"})");
    EXPECT_EQ(run.exit_code, 0) << api;
    EXPECT_EQ(run.output, "") << api;
    EXPECT_FALSE(PathExists(dir.File("request.json"))) << api;
  }
}

}  // namespace
}  // namespace tarnvex::testing
