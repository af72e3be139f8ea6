#include "webdriver/platform_command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/fake_webdriver.h"
#include "tests/support/process.h"
#include "tests/support/scripted_server.h"

namespace tarnvex::webdriver {
namespace {

using tarnvex::testing::FakeWebDriver;
using tarnvex::testing::FreePort;
using tarnvex::testing::PeerConnection;
using tarnvex::testing::RecordedRequest;
using tarnvex::testing::ScriptedServer;

bool LibcurlMapped() {
  std::ifstream maps("/proc/self/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str().find("libcurl") != std::string::npos;
}

// Runs that never make a WebDriver request (actions 2 to 5) must not pay for
// loading libcurl and the libraries it pulls in.
TEST(PlatformCommand, LibcurlIsLoadedOnlyWhenTheFirstTransportIsMade) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, not a fork of this one
  EXPECT_EXIT(
      {
        const bool before = LibcurlMapped();
        TPlatformCommand command;
        std::_Exit(!before && LibcurlMapped() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

void ExpectStandardHeaders(const RecordedRequest& request) {
  EXPECT_EQ(request.Header("user-agent"), "TX http Client") << request.method;
  EXPECT_EQ(request.Header("content-type"), "application/json") << request.method;
  EXPECT_EQ(request.Header("accept"), "*/*") << request.method;
}

TEST(PlatformCommand, FirstGetCarriesTheHeadersAndLaterDeletesKeepThem) {
  FakeWebDriver server;
  TPlatformCommand command;
  command.ExecuteGet(server.Host() + "/status");
  command.ExecuteDelete(server.Host() + "/session/s1");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  ExpectStandardHeaders(requests[0]);
  EXPECT_EQ(requests[1].method, "DELETE");
  EXPECT_EQ(requests[1].path, "/session/s1");
  ExpectStandardHeaders(requests[1]);
}

TEST(PlatformCommand, FirstDeleteCarriesNoneOfTheHeaders) {
  FakeWebDriver server;
  TPlatformCommand command;
  command.ExecuteDelete(server.Host() + "/session/s1");
  const RecordedRequest request = server.Only();
  EXPECT_EQ(request.method, "DELETE");
  EXPECT_FALSE(request.HasHeader("user-agent"));
  EXPECT_FALSE(request.HasHeader("content-type"));
  EXPECT_FALSE(request.HasHeader("accept"));
}

TEST(PlatformCommand, PostSendsUtf8AndDecodesTheReplyWhateverTheStatus) {
  FakeWebDriver server;
  server.Reply("POST", "/session", R"({"value":{"error":"e","message":"caf\u00e9 é"}})", 500);
  TPlatformCommand command;
  const std::string reply = command.ExecutePost(server.Host() + "/session", "{\"k\":\"é中😀\"}");
  EXPECT_EQ(reply, R"({"value":{"error":"e","message":"caf\u00e9 é"}})");
  const RecordedRequest request = server.Only();
  EXPECT_EQ(request.body, "{\"k\":\"é中😀\"}");  // UTF-8 bytes, no byte-order mark
  ExpectStandardHeaders(request);
}

TEST(PlatformCommand, InvalidUtf8InTheReplyBecomesReplacementCharacters) {
  FakeWebDriver server;
  server.Reply("GET", "/source", "a\xff" "b");
  TPlatformCommand command;
  EXPECT_EQ(command.ExecuteGet(server.Host() + "/source"), "a\xEF\xBF\xBD" "b");
}

TEST(PlatformCommand, ASecondGetHoldsOnlyTheSecondBody) {
  FakeWebDriver server;
  server.Reply("GET", "/a", "first, longer body");
  server.Reply("GET", "/b", "2nd");
  TPlatformCommand command;
  EXPECT_EQ(command.ExecuteGet(server.Host() + "/a"), "first, longer body");
  EXPECT_EQ(command.ExecuteGet(server.Host() + "/b"), "2nd");
}

TEST(PlatformCommand, NothingListeningGivesEmptyTextsWithoutRaising) {
  const std::string host = "http://127.0.0.1:" + std::to_string(FreePort());
  TPlatformCommand command;
  EXPECT_EQ(command.ExecuteGet(host + "/status"), "");
  EXPECT_EQ(command.ExecutePost(host + "/session", "{}"), "");
  command.ExecuteDelete(host + "/session/x");
}

TEST(PlatformCommand, SilentServerEndsTheExchangeAfterTheTimeout) {
  ScriptedServer silent([](PeerConnection& peer) { peer.WaitForPeerClose(20000); });
  const std::string host = "http://127.0.0.1:" + std::to_string(silent.port());
  TPlatformCommand command;
  command.SetTimeout(300);
  EXPECT_EQ(command.Timeout(), 300);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(command.ExecuteGet(host + "/status"), "");
  EXPECT_EQ(command.ExecutePost(host + "/session", "{}"), "");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(600));
  EXPECT_LT(elapsed, std::chrono::seconds(15));
}

TEST(PlatformCommand, ABodyOverTheCapIsAFailedExchange) {
  FakeWebDriver server;
  server.Reply("GET", "/big", std::string(5000, 'x'));
  server.Reply("POST", "/big", std::string(5000, 'x'));
  TPlatformCommand command(4096);
  EXPECT_EQ(command.ExecuteGet(server.Host() + "/big"), "");
  EXPECT_EQ(command.ExecutePost(server.Host() + "/big", "{}"), "");
  server.Reply("GET", "/small", std::string(4096, 'y'));
  EXPECT_EQ(command.ExecuteGet(server.Host() + "/small"), std::string(4096, 'y'));
}

}  // namespace
}  // namespace tarnvex::webdriver

namespace tarnvex::webdriver {
namespace {

TEST(PlatformCommand, AHeadOverLibcurlsLimitIsAFailedExchange) {
  // About 1000 bytes a line: 250 lines stay under the cap, 350 pass it.
  for (const auto& [lines, expected] : {std::pair{250, "ok"}, std::pair{350, ""}}) {
    ScriptedServer server([lines = lines](PeerConnection& peer) {
      peer.ReadUntil("\r\n\r\n");
      std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n";
      for (int i = 0; i < lines; ++i) head += "X-Filler: " + std::string(990, 'f') + "\r\n";
      peer.Send(head + "\r\nok");
      peer.WaitForPeerClose();
    });
    TPlatformCommand command;
    EXPECT_EQ(command.ExecuteGet("http://127.0.0.1:" + std::to_string(server.port()) + "/status"),
              expected)
        << lines;
  }
}

}  // namespace
}  // namespace tarnvex::webdriver
