// The message listeners of actions 2 and 3, fed DevTools replies directly.
#include <gtest/gtest.h>

#include "app/doc_ready_state_thread.h"
#include "app/page_state_thread.h"
#include "tests/support/process.h"

namespace tarnvex::app {
namespace {

using testing::PathExists;
using testing::ReadFile;
using testing::TempDir;

struct EvaluateCase {
  std::string name;
  std::string message;
  std::optional<std::string> response;  // none: no write, flag unset
};

class EvaluateReply : public ::testing::TestWithParam<EvaluateCase> {};

TEST_P(EvaluateReply, WritesTheValueOrTheWholeReply) {
  TempDir dir;
  TDocReadyStateThread worker;
  worker.ResponseLogFile = dir.File("response.json");
  worker.OnMessage(GetParam().message);
  const bool written = PathExists(worker.ResponseLogFile);
  EXPECT_EQ(written, GetParam().response.has_value());
  EXPECT_EQ(worker.FReadSuccess.IsSet(), written);
  if (written) EXPECT_EQ(ReadFile(worker.ResponseLogFile), *GetParam().response);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, EvaluateReply,
    ::testing::Values(
        EvaluateCase{"Number", R"({"id":1,"result":{"result":{"type":"number","value":2,"description":"2"}}})",
                     R"({"value":"2","drv_pid":0})"},
        EvaluateCase{"Null", R"({"id":1,"result":{"result":{"type":"object","subtype":"null","value":null}}})",
                     R"({"value":"","drv_pid":0})"},
        EvaluateCase{"String", R"({"id":1,"result":{"result":{"type":"string","value":"a\"b\\c\nd\u00e9"}}})",
                     R"({"value":"a\"b\\c\ndé","drv_pid":0})"},
        EvaluateCase{"Object", R"({"id":1,"result":{"result":{"value":{"k":[true,1.5]}}}})",
                     R"({"value":"{\"k\":[true,1.5]}","drv_pid":0})"},
        // No value (undefined, an exception): the untrimmed reply text.
        EvaluateCase{"Undefined", " {\"id\":1,\"result\":{\"result\":{\"type\":\"undefined\"}}}\n",
                     R"({"value":" {\"id\":1,\"result\":{\"result\":{\"type\":\"undefined\"}}}\n","drv_pid":0})"},
        EvaluateCase{"ErrorReply", R"({"id":1,"error":{"code":-32000,"message":"x"}})", std::nullopt},
        EvaluateCase{"ResultWithoutResult", R"({"id":1,"result":{}})", std::nullopt},
        EvaluateCase{"OtherId", R"({"id":2,"result":{"result":{"value":1}}})", std::nullopt},
        EvaluateCase{"Event", R"({"method":"Runtime.consoleAPICalled","params":{}})", std::nullopt},
        EvaluateCase{"NotJson", "garbage", std::nullopt},
        EvaluateCase{"Array", "[1]", std::nullopt}),
    [](const auto& info) { return info.param.name; });

TEST(EvaluateReply, UnwritableFileStillEndsTheWait) {
  TDocReadyStateThread worker;
  worker.ResponseLogFile = "/nonexistent-folder/response.json";
  worker.OnMessage(R"({"id":1,"result":{"result":{"value":"x"}}})");
  EXPECT_TRUE(worker.FReadSuccess.IsSet());
  EXPECT_EQ(worker.FReadyState, "x");
}

constexpr const char* kBase = R"({"id":1,"result":{"result":{"type":"string","value":"http://h/p"}}})";
constexpr const char* kReady = R"({"id":2,"result":{"result":{"type":"string","value":"complete"}}})";
constexpr const char* kTitle = R"({"id":3,"result":{"result":{"type":"string","value":"T"}}})";

TEST(PageStateReply, FinalWriteOnTheLastAnswerOnly) {
  TempDir dir;
  TPageStateThread worker;
  worker.ResponseLogFile = dir.File("response.json");
  worker.OnMessage(kBase);
  worker.OnMessage(kReady);
  EXPECT_FALSE(PathExists(worker.ResponseLogFile));
  EXPECT_FALSE(worker.FReadSuccess.IsSet());  // the connection must stay open
  worker.OnMessage(kTitle);
  EXPECT_TRUE(worker.FReadSuccess.IsSet());
  EXPECT_EQ(ReadFile(worker.ResponseLogFile),
            R"({"value":"{\"success\":true,\"title\":\"T\",\"baseURI\":\"http:\\/\\/h\\/p\",\"ReadyState\":\"complete\"}","drv_pid":0})");
}

TEST(PageStateReply, AnswerWithoutStringValueStoresTheWholeReply) {
  TempDir dir;
  TPageStateThread worker;
  worker.ResponseLogFile = dir.File("response.json");
  worker.OnMessage(R"({"id":2,"result":{"result":{"type":"number","value":4}}})");
  const std::string title = R"({"id":3,"result":{"result":{"type":"undefined"}}})";
  worker.OnMessage(title);
  EXPECT_EQ(worker.FReadyState, R"({"id":2,"result":{"result":{"type":"number","value":4}}})");
  EXPECT_EQ(worker.Ftitle, title);
  EXPECT_TRUE(worker.FReadSuccess.IsSet());
}

TEST(PageStateReply, ErrorReplyToTheLastCommandEndsTheWaitWithoutWriting) {
  TempDir dir;
  TPageStateThread worker;
  worker.ResponseLogFile = dir.File("response.json");
  worker.OnMessage(kBase);
  worker.OnMessage(R"({"id":3,"error":{"code":-32000,"message":"x"}})");
  EXPECT_TRUE(worker.FReadSuccess.IsSet());
  EXPECT_FALSE(PathExists(worker.ResponseLogFile));
  for (const char* ignored : {R"({"id":4,"result":{"result":{"value":"x"}}})", "{}", "nonsense"}) {
    worker.OnMessage(ignored);
  }
  EXPECT_EQ(worker.FbaseURI, "http://h/p");
  EXPECT_EQ(worker.Ftitle, "");
}

TEST(PageStateText, EscapesEveryCharacterOutsidePrintableAscii) {
  EXPECT_EQ(PageStateText(false, "", "", ""), R"({"success":false,"title":"","baseURI":"","ReadyState":""})");
  EXPECT_EQ(PageStateText(true, "é\"/\\\t\x01", "\xe2\x82\xac", "ok"),
            R"({"success":true,"title":"\u00e9\"\/\\\t\u0001","baseURI":"\u20ac","ReadyState":"ok"})");
}

}  // namespace
}  // namespace tarnvex::app
