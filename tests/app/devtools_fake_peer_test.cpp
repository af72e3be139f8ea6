// The DevTools workers against a scripted fake browser: the exact commands
// they send, how they wait for answers, and a browser that never answers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "websocket/websocket_client.h"

namespace tarnvex::testing {
namespace {

// One page target whose WebSocket leads back to this server. Every text
// message the program sends is recorded and answered with the frames that
// `answer` returns for it, after `delay_ms` (per answer).
class FakeBrowser {
 public:
  struct Answer {
    std::string text;
    int delay_ms = 0;
  };
  using Answerer = std::function<std::vector<Answer>(const std::string& command)>;

  // `answer` empty: the WebSocket upgrade request is read and never answered.
  explicit FakeBrowser(Answerer answer)
      : answer_(std::move(answer)), server_([this](PeerConnection& peer) { Serve(peer); }) {}

  int port() const { return server_.port(); }
  std::vector<std::string> Commands() {
    std::lock_guard lock(mutex_);
    return commands_;
  }

 private:
  void Serve(PeerConnection& peer) {
    const std::string head = peer.ReadUntil("\r\n\r\n");
    if (head.rfind("GET /json/list ", 0) == 0) {
      const std::string body = R"([{"id":"P1","type":"page","webSocketDebuggerUrl":"ws://127.0.0.1:)" +
                               std::to_string(port()) + R"(/devtools/page/P1"}])";
      peer.Send("HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=UTF-8\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
      peer.WaitForPeerClose(2000);
      return;
    }
    if (!answer_) {
      peer.WaitForPeerClose(30000);
      return;
    }
    const std::string key_name = "Sec-WebSocket-Key: ";
    const size_t key_at = head.find(key_name) + key_name.size();
    const std::string key = head.substr(key_at, head.find("\r\n", key_at) - key_at);
    peer.Send("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Accept: " +
              websocket::TWebSocketClient::ExpectedAccept(key) + "\r\n\r\n");
    for (std::string command; ReadTextFrame(peer, command);) {
      {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
      }
      for (const Answer& reply : answer_(command)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(reply.delay_ms));
        SendTextFrame(peer, reply.text);
      }
    }
  }

  // A masked client frame; false on a close frame or the end of the stream.
  static bool ReadTextFrame(PeerConnection& peer, std::string& text) {
    const std::string header = peer.ReadBytes(2, 10000);
    if (header.size() < 2 || (header[0] & 0x0f) == 8) return false;
    uint64_t length = header[1] & 0x7f;
    const int extra = length == 126 ? 2 : length == 127 ? 8 : 0;
    if (extra) {
      length = 0;
      for (const char byte : peer.ReadBytes(extra)) length = length << 8 | static_cast<unsigned char>(byte);
    }
    const std::string mask = peer.ReadBytes(4);
    text = peer.ReadBytes(length);
    if (mask.size() < 4 || text.size() < length) return false;
    for (size_t i = 0; i < text.size(); ++i) text[i] ^= mask[i % 4];
    return true;
  }

  static void SendTextFrame(PeerConnection& peer, const std::string& text) {
    std::string frame = "\x81";
    if (text.size() < 126) {
      frame += static_cast<char>(text.size());
    } else {
      frame += static_cast<char>(126);
      frame += static_cast<char>(text.size() >> 8);
      frame += static_cast<char>(text.size() & 0xff);
    }
    peer.Send(frame + text);
  }

  Answerer answer_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  ScriptedServer server_;
};

// The command's id, answered with a string value.
std::vector<FakeBrowser::Answer> EchoValue(const std::string& command) {
  const std::string id = command.substr(6, command.find(',') - 6);
  return {{R"({"id":)" + id + R"(,"result":{"result":{"type":"string","value":"v)" + id + R"("}}})"}};
}

std::string Request(int api, int port, const std::string& members) {
  return "{\"api\":" + std::to_string(api) + ",\"profileId\":\"p\",\"port\":" + std::to_string(port) +
         ",\"logfile\":\"@LOG@\"" + members + "}";
}

struct CommandCase {
  std::string name;
  int api;
  std::string members;
  std::vector<std::string> commands;
};

class SentCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(SentCommands, AreTheExactTexts) {
  FakeBrowser browser(EchoValue);
  TempDir dir;
  const ProgramRun run = RunRequest(dir, Request(GetParam().api, browser.port(), GetParam().members));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(browser.Commands(), GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, SentCommands,
    ::testing::Values(
        CommandCase{"Evaluate", 2, R"(,"args":"'a\"b\\\n'")",
                    {R"({"id":1,"method":"Runtime.evaluate","params":{"expression":"'a\"b\\\n'"}})"}},
        CommandCase{"PageState", 3, "",
                    {R"({"id":1,"method":"Runtime.evaluate","params":{"expression":"document.baseURI;"}})",
                     R"({"id":2,"method":"Runtime.evaluate","params":{"expression":"document.readyState;"}})",
                     R"({"id":3,"method":"Runtime.evaluate","params":{"expression":"document.title;"}})"}},
        CommandCase{"NavigateBare", 4, R"(,"args":"host:81/x?q=é")",
                    {R"({"id":1,"method":"Page.navigate","params":{"url":"http://host:81/x?q=é"}})"}},
        CommandCase{"NavigateWithScheme", 4, R"(,"args":"file:///tmp/a")",
                    {R"({"id":1,"method":"Page.navigate","params":{"url":"file:///tmp/a"}})"}},
        CommandCase{"BringToFront", 5, "", {R"({"id":1,"method":"Page.bringToFront"})"}},
        CommandCase{"Close", 5, R"(,"args":"P1","click":true)", {R"({"id":1,"method":"Page.close"})"}}),
    [](const auto& info) { return info.param.name; });

TEST(PageStateWorker, WaitsForTheAnswerToTheLastCommand) {
  // The first answer comes at once, the others late: the worker must not
  // close the connection after the first.
  FakeBrowser browser([](const std::string& command) {
    std::vector<FakeBrowser::Answer> answers = EchoValue(command);
    if (command.find("\"id\":1,") == std::string::npos) answers.front().delay_ms = 300;
    return answers;
  });
  TempDir dir;
  const ProgramRun run = RunRequest(dir, Request(3, browser.port(), ""));
  EXPECT_EQ(run.response,
            R"({"value":"{\"success\":true,\"title\":\"v3\",\"baseURI\":\"v1\",\"ReadyState\":\"v2\"}","drv_pid":0})");
}

TEST(EvaluateWorker, EndsAsSoonAsTheAnswerIsIn) {
  FakeBrowser browser(EchoValue);
  TempDir dir;
  const ProgramRun run = RunRequest(dir, Request(2, browser.port(), R"(,"args":"x")"));
  EXPECT_EQ(run.response, R"({"value":"v1","drv_pid":0})");
  // The wait ended with the answer, not at the end of the 6 s reply poll.
  EXPECT_LT(run.seconds, 6.0);
}

TEST(EvaluateWorker, SilentBrowserIsCutOffAtTheLimitWithThePlaceholder) {
  FakeBrowser browser(nullptr);
  TempDir dir;
  const ProgramRun run = RunRequest(dir, Request(2, browser.port(), R"(,"args":"1")"));
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.response, R"({"value":"","drv_pid":0})");
  EXPECT_LT(run.seconds, 15.0 + 3.0);  // the body's limit plus start-up
  EXPECT_GE(run.seconds, 14.0);        // the handshake wait was cut, not ended early
}

TEST(NavigateWorker, SilentBrowserIsCutOffAtTheLimit) {
  FakeBrowser browser(nullptr);
  TempDir dir;
  const ProgramRun run = RunRequest(dir, Request(4, browser.port(), R"(,"args":"x")"));
  EXPECT_EQ(run.response, R"({"value":"","drv_pid":0})");
  EXPECT_LT(run.seconds, 5.0 + 3.0);
}

TEST(NavigateWorker, RetriesTheNewTabRequestOnceAfterAPause) {
  std::atomic<int> new_tab_requests{0};
  ScriptedServer browser([&](PeerConnection& peer) {
    if (peer.ReadUntil("\r\n\r\n").find(" /json/new ") != std::string::npos) ++new_tab_requests;
    peer.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  });
  TempDir dir;
  const ProgramRun run = RunRequest(dir, Request(4, browser.port(), R"(,"args":"x","click":true)"));
  EXPECT_EQ(run.response, R"({"value":"","drv_pid":0})");
  EXPECT_EQ(new_tab_requests, 2);
  EXPECT_GE(run.seconds, 1.5);  // the pause between the two requests
}

}  // namespace
}  // namespace tarnvex::testing
