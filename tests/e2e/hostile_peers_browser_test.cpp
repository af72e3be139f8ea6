// Hostile peers against the built program: DevTools endpoints and page
// WebSockets that never finish, flood or announce absurd sizes, and a fake
// WebDriver server answering with 300 MB or garbage. Every run must end
// within the program's own limit with exit code 0, leave the response file in
// its last complete state and keep its memory bounded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/measured_run.h"
#include "tests/support/process.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/websocket_peer.h"

namespace tarnvex::testing {
namespace {

constexpr const char* kPageStatePlaceholder =
    R"({"value":"{\"success\":false,\"title\":\"\",\"baseURI\":\"\",\"ReadyState\":\"\"}","drv_pid":0})";

// The program body's limit for actions 1 to 3 is 15 s; the slack covers the
// start, the end and a loaded machine.
constexpr double kRunLimitSeconds = 15 + 10;

// Memory bounds measured on the 2-core CI machine, with room to spare. A peer
// that floods fast can make a reader fill its whole cap (256 MB for an HTTP
// body, a WebSocket message or a WebDriver reply) before it is refused.
constexpr long kSmallRssKb = 64 * 1024;
constexpr long kCapRssKb = 700 * 1024;

// Sends `piece` until the program closes the connection or `stop` is set.
void SendForever(PeerConnection& peer, const std::string& piece, int pause_ms,
                 const std::atomic<bool>& stop) {
  while (!stop && peer.Send(piece)) {
    if (pause_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
  }
}

// A DevTools port whose /json/list answer is scripted by `list`, and whose
// page WebSocket (reached from that list) is scripted by `page` after a
// correct opening handshake.
class HostileDevTools {
 public:
  using Script = std::function<void(PeerConnection&, const std::atomic<bool>& stop)>;

  HostileDevTools(Script list, Script page)
      : list_(std::move(list)), page_(std::move(page)), server_([this](PeerConnection& peer) { Serve(peer); }) {}
  ~HostileDevTools() { stop_ = true; }
  int port() const { return server_.port(); }

  // The regular list answer, pointing at this server's page socket.
  std::string ListAnswer() const {
    const std::string body = R"([{"id":"P1","type":"page","url":"about:blank","webSocketDebuggerUrl":"ws://127.0.0.1:)" +
                             std::to_string(port()) + R"(/devtools/page/P1"}])";
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=UTF-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
  }

 private:
  void Serve(PeerConnection& peer) {
    const std::string head = peer.ReadUntil("\r\n\r\n");
    if (head.find("Upgrade: websocket") != std::string::npos || head.find("upgrade: websocket") != std::string::npos) {
      peer.Send(UpgradeAnswer(head));
      page_(peer, stop_);
    } else {
      list_(peer, stop_);
    }
  }

  Script list_;
  Script page_;
  std::atomic<bool> stop_{false};
  ScriptedServer server_;
};

struct DevToolsCase {
  const char* name;
  HostileDevTools::Script list;  // null: the regular list answer
  HostileDevTools::Script page;  // null: a page that never answers
  long rss_bound_kb;
};

void Silent(PeerConnection& peer, const std::atomic<bool>& stop) {
  while (!stop && !peer.WaitForPeerClose(100)) {
  }
}

std::string Frame64(uint8_t first_byte, uint64_t length) {
  std::string frame{static_cast<char>(first_byte), static_cast<char>(127)};
  for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>(length >> shift & 0xff);
  return frame;
}

const DevToolsCase kDevToolsCases[] = {
    {"ListBodyNeverEnds",
     [](PeerConnection& peer, const std::atomic<bool>& stop) {
       peer.Send("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n[{\"id\":\"");
       SendForever(peer, "x", 50, stop);
     },
     nullptr, kSmallRssKb},
    {"ListCountedBodyTrickles",
     [](PeerConnection& peer, const std::atomic<bool>& stop) {
       peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n[");
       SendForever(peer, " ", 20, stop);
     },
     nullptr, kSmallRssKb},
    {"MillionHeaderLines",
     [](PeerConnection& peer, const std::atomic<bool>& stop) {
       peer.Send("HTTP/1.1 200 OK\r\n");
       std::string lines;
       for (int i = 0; i < 1000; ++i) lines += "X-Flood: " + std::to_string(i) + "\r\n";
       for (int i = 0; i < 1000 && !stop && peer.Send(lines); ++i) {
       }
     },
     nullptr, kSmallRssKb},
    {"HeaderLineNeverEnds",
     [](PeerConnection& peer, const std::atomic<bool>& stop) {
       peer.Send("HTTP/1.1 200 OK\r\nX-Endless: ");
       SendForever(peer, std::string(4096, 'a'), 0, stop);
     },
     nullptr, kSmallRssKb},
    {"ListBodyFloodsWithoutEnd",
     [](PeerConnection& peer, const std::atomic<bool>& stop) {
       peer.Send("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n[");
       SendForever(peer, std::string(65536, ' '), 0, stop);
     },
     nullptr, kCapRssKb},
    {"FrameAnnouncesTwoToThe63Bytes", nullptr,
     [](PeerConnection& peer, const std::atomic<bool>& stop) {
       peer.Send(Frame64(0x81, uint64_t{1} << 63));
       SendForever(peer, std::string(4096, 'z'), 10, stop);
     },
     kSmallRssKb},
    {"PageStreamsOneMessageWithoutEnd", nullptr,
     [](PeerConnection& peer, const std::atomic<bool>& stop) {
       peer.Send(ServerFrame(0x01, std::string(65536, 'm')));  // a text message, never final
       const std::string piece = ServerFrame(0x00, std::string(65536, 'm'));
       SendForever(peer, piece, 0, stop);
     },
     kCapRssKb},
    {"PageStreamsUnrelatedMessagesWithoutEnd", nullptr,
     [](PeerConnection& peer, const std::atomic<bool>& stop) {
       const std::string message = ServerFrame(0x81, R"({"id":99,"result":{"filler":")" + std::string(8192, 'f') + "\"}}");
       std::string burst;
       for (int i = 0; i < 16; ++i) burst += message;
       SendForever(peer, burst, 0, stop);
     },
     kSmallRssKb},
};

class HostileDevToolsTest : public ::testing::TestWithParam<DevToolsCase> {};

TEST_P(HostileDevToolsTest, PageStateRunEndsInTimeWithPlaceholderAndBoundedMemory) {
  const DevToolsCase& c = GetParam();
  HostileDevTools* devtools_ptr = nullptr;
  HostileDevTools devtools(
      c.list ? c.list : HostileDevTools::Script([&devtools_ptr](PeerConnection& peer, const std::atomic<bool>&) {
        peer.Send(devtools_ptr->ListAnswer());
        peer.WaitForPeerClose(20000);
      }),
      c.page ? c.page : HostileDevTools::Script(Silent));
  devtools_ptr = &devtools;
  TempDir dir;
  const MeasuredRun run = RunMeasuredRequest(
      dir.path(), R"({"api":3,"profileId":"p1","port":)" + std::to_string(devtools.port()) + R"(,"logfile":"@LOG@"})");
  EXPECT_FALSE(run.killed_at_deadline);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_LT(run.seconds, kRunLimitSeconds);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(ReadFile(dir.File("response.json")), kPageStatePlaceholder);
  EXPECT_LT(run.max_rss_kb, c.rss_bound_kb) << "peak RSS " << run.max_rss_kb << " kB";
  EXPECT_FALSE(run.group_left_behind);
  RecordProperty("max_rss_kb", std::to_string(run.max_rss_kb));
  std::printf("[ %s ] %.1f s, peak RSS %ld kB\n", c.name, run.seconds, run.max_rss_kb);
}

INSTANTIATE_TEST_SUITE_P(Peers, HostileDevToolsTest, ::testing::ValuesIn(kDevToolsCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A fake chromedriver: a Python server that answers every request with the
// chosen hostile reply. It is installed as `chromedriver` beside a dummy
// browser path, which is how the program finds its WebDriver server.
std::string FakeDriverScript(const std::string& mode) {
  return "#!/usr/bin/env python3\n"
         "import socket, sys\n"
         "mode = '" + mode + "'\n"
         "port = int([a for a in sys.argv if a.startswith('--port=')][0][7:])\n"
         "s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
         "s.bind(('127.0.0.1', port)); s.listen(16)\n"
         "while True:\n"
         "    c, _ = s.accept()\n"
         "    try:\n"
         "        data = b''\n"
         "        while b'\\r\\n\\r\\n' not in data:\n"
         "            more = c.recv(65536)\n"
         "            if not more: break\n"
         "            data += more\n"
         "        if mode == 'huge':\n"
         "            total = 300 * 1024 * 1024\n"
         "            c.sendall(b'HTTP/1.1 200 OK\\r\\nContent-Type: application/json\\r\\nContent-Length: %d\\r\\n\\r\\n{\"value\":\"' % total)\n"
         "            chunk = b'x' * (1024 * 1024)\n"
         "            for i in range(300): c.sendall(chunk)\n"
         "        elif mode == 'garbage_body':\n"
         "            body = bytes(range(256)) * 64\n"
         "            c.sendall(b'HTTP/1.1 200 OK\\r\\nContent-Length: %d\\r\\n\\r\\n' % len(body) + body)\n"
         "        else:\n"
         "            c.sendall(bytes((i * 7919) % 256 for i in range(100000)))\n"
         "    except OSError:\n"
         "        pass\n"
         "    c.close()\n";
}

struct DriverCase {
  const char* name;
  const char* mode;
  long rss_bound_kb;
};

const DriverCase kDriverCases[] = {
    {"Answers300MB", "huge", kCapRssKb},
    {"AnswersGarbageBody", "garbage_body", kSmallRssKb},
    {"AnswersGarbageBytes", "garbage_bytes", kSmallRssKb},
};

class HostileDriverTest : public ::testing::TestWithParam<DriverCase> {};

TEST_P(HostileDriverTest, WebDriverRunEndsInTimeWithFinalResponseAndNoServerLeft) {
  const DriverCase& c = GetParam();
  TempDir dir;
  const std::string driver = dir.File("chromedriver");
  WriteFile(driver, FakeDriverScript(c.mode));
  chmod(driver.c_str(), 0755);
  // No browser listens on the debugging port: the list lookup fails at once.
  const std::string request = R"({"api":1,"profileId":"p1","function":"source","port":)" +
                              std::to_string(FreePort()) + R"(,"chrome":)" + JsonQuote(dir.File("chrome")) +
                              R"(,"logfile":"@LOG@"})";
  const MeasuredRun run = RunMeasuredRequest(dir.path(), request);
  EXPECT_FALSE(run.killed_at_deadline);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_LT(run.seconds, kRunLimitSeconds);
  EXPECT_EQ(run.output, "");
  const std::string response = ReadFile(dir.File("response.json"));
  EXPECT_EQ(response.rfind(R"({"value":"","drv_pid":)", 0), 0u) << response;
  EXPECT_EQ(response.find(R"("drv_pid":0})"), std::string::npos) << response;
  EXPECT_LT(run.max_rss_kb, c.rss_bound_kb) << "peak RSS " << run.max_rss_kb << " kB";
  EXPECT_FALSE(run.group_left_behind) << "the fake WebDriver server outlived the run";
  std::printf("[ %s ] %.1f s, peak RSS %ld kB\n", c.name, run.seconds, run.max_rss_kb);
}

INSTANTIATE_TEST_SUITE_P(Servers, HostileDriverTest, ::testing::ValuesIn(kDriverCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnvex::testing
