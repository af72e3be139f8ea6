#include "app/target_discovery.h"

#include <gtest/gtest.h>

#include "tests/support/fake_http_server.h"
#include "tests/support/scripted_server.h"

namespace tarnvex::app {
namespace {

using tarnvex::testing::FakeHttpServer;
using tarnvex::testing::HttpOk;
using tarnvex::testing::RequestLine;
using Reply = tarnvex::testing::HttpScriptReply;

const std::string kPageA = R"({"id":"A","type":"page","webSocketDebuggerUrl":"ws://127.0.0.1:9222/devtools/page/A"})";
const std::string kPageB = R"({"id":"B","type":"page","webSocketDebuggerUrl":"ws://127.0.0.1:9222/devtools/page/B"})";

struct ListCase {
  const char* name;
  std::string reply;  // whole HTTP response
  const char* id;     // FindFirstPageId
  const char* ws_url; // FindFirstPageWsUrl
};

class FirstPageTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(FirstPageTest, FindsTheFirstPage) {
  FakeHttpServer server([&](const std::string& head, int) {
    EXPECT_EQ(RequestLine(head), "GET /json/list HTTP/1.1");
    return Reply{GetParam().reply};
  });
  std::string id = "stale", ws_url = "stale";
  FindFirstPageId(server.port(), id);
  FindFirstPageWsUrl(server.port(), ws_url);
  EXPECT_EQ(id, GetParam().id);
  EXPECT_EQ(ws_url, GetParam().ws_url);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FirstPageTest,
    ::testing::Values(
        ListCase{"OnlyPage", HttpOk("[" + kPageA + "]"), "A", "ws://127.0.0.1:9222/devtools/page/A"},
        ListCase{"NonPageFirst",
                 HttpOk(R"([{"id":"W","type":"service_worker","webSocketDebuggerUrl":"ws://x/w"},)" + kPageB + "]"), "B",
                 "ws://127.0.0.1:9222/devtools/page/B"},
        // The first page decides even without a WebSocket address.
        ListCase{"PageWithoutWsUrl", HttpOk(R"([{"id":"A","type":"page"},)" + kPageB + "]"), "A", ""},
        ListCase{"TypeInOtherLetterCase", HttpOk(R"([{"id":"A","type":"Page","webSocketDebuggerUrl":"ws://x/a"}])"), "", ""},
        ListCase{"PageWithEmptyId", HttpOk(R"([{"id":"","type":"page","webSocketDebuggerUrl":"ws://x/a"},)" + kPageB + "]"),
                 "B", "ws://127.0.0.1:9222/devtools/page/B"},
        ListCase{"EmptyArray", HttpOk("[]"), "", ""},
        ListCase{"EmptyBody", HttpOk(""), "", ""},
        ListCase{"NotJson", HttpOk("<html>nope</html>"), "", ""},
        ListCase{"ObjectNotArray", HttpOk(kPageA), "", ""},
        // An entry that is no object ends the scan, even before a page.
        ListCase{"StringEntryFirst", HttpOk("[\"x\"," + kPageA + "]"), "", ""},
        ListCase{"NullEntryFirst", HttpOk("[null," + kPageA + "]"), "", ""},
        ListCase{"NotFoundWithAPageInItsBody",
                 "HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(kPageA.size() + 2) + "\r\n\r\n[" + kPageA + "]",
                 "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TargetDiscoveryTest, RequestHeadCarriesTheDiscoveryUserAgent) {
  FakeHttpServer server([](const std::string&, int) { return Reply{HttpOk("[" + kPageA + "]")}; });
  std::string id;
  FindFirstPageId(server.port(), id);
  EXPECT_EQ(server.Head(0), "GET /json/list HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                                "\r\nAccept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
                                "User-Agent: " + DiscoveryUserAgent + "\r\n\r\n");
}

TEST(TargetDiscoveryTest, NewTabIsOpenedWithPut) {
  FakeHttpServer server([](const std::string& head, int) {
    if (RequestLine(head) != "PUT /json/new HTTP/1.1") return Reply{"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n"};
    return Reply{HttpOk(kPageB)};
  });
  std::string ws_url = "stale";
  OpenNewTabWsUrl(server.port(), ws_url);
  EXPECT_EQ(ws_url, "ws://127.0.0.1:9222/devtools/page/B");
  EXPECT_NE(server.Head(0).find("\r\nContent-Length: 0\r\n"), std::string::npos);
}

TEST(TargetDiscoveryTest, NewTabThatIsNoPageGivesNothing) {
  for (const std::string& body : {std::string(R"({"id":"B","type":"other","webSocketDebuggerUrl":"ws://x"})"),
                                  std::string(R"({"type":"page","webSocketDebuggerUrl":"ws://x"})"), std::string("[1]"),
                                  std::string("garbage")}) {
    FakeHttpServer server([&](const std::string&, int) { return Reply{HttpOk(body)}; });
    std::string ws_url = "stale";
    OpenNewTabWsUrl(server.port(), ws_url);
    EXPECT_EQ(ws_url, "") << body;
  }
}

TEST(TargetDiscoveryTest, BrowserNotListeningGivesNothing) {
  int port = 0;
  { tarnvex::testing::ScriptedServer gone([](tarnvex::testing::PeerConnection&) {}); port = gone.port(); }
  std::string id = "stale", ws_url = "stale", new_tab = "stale";
  FindFirstPageId(port, id);
  FindFirstPageWsUrl(port, ws_url);
  OpenNewTabWsUrl(port, new_tab);
  EXPECT_EQ(id + ws_url + new_tab, "");
}

TEST(HttpGetWithRetryTest, NoAttemptsMakeNoRequest) {
  FakeHttpServer server([](const std::string&, int) { return Reply{HttpOk("x")}; });
  std::string reply = "stale";
  EXPECT_FALSE(HttpGetWithRetry(server.Url("/"), reply, 0, "", 1000));
  EXPECT_EQ(server.connections(), 0);
}

TEST(HttpGetWithRetryTest, OutcomesByReply) {
  struct Case {
    const char* name;
    std::string reply;
    int attempts;
    bool result;
    const char* text;
    size_t requests;
  };
  const Case cases[] = {
      {"Ok", HttpOk("data"), 3, true, "data", 1},
      // A non-empty reply ends the attempts, whatever its status.
      {"NonOkStatus", "HTTP/1.1 202 Accepted\r\nContent-Length: 4\r\n\r\ndata", 3, false, "data", 1},
      // An empty reply is tried again, an error status too.
      {"EmptyReply", HttpOk(""), 3, false, "", 3},
      {"ErrorStatus", "HTTP/1.1 500 Boom\r\nContent-Length: 4\r\n\r\nboom", 2, false, "", 2},
  };
  for (const Case& c : cases) {
    FakeHttpServer server([&](const std::string&, int) { return Reply{c.reply}; });
    std::string reply = "stale";
    EXPECT_EQ(HttpGetWithRetry(server.Url("/json/list"), reply, c.attempts, "", 5000), c.result) << c.name;
    EXPECT_EQ(reply, c.text) << c.name;
    EXPECT_EQ(server.Requests().size(), c.requests) << c.name;
  }
}

TEST(HttpGetWithRetryTest, RefererIsSentWhenGiven) {
  FakeHttpServer server([](const std::string&, int) { return Reply{HttpOk("x")}; });
  std::string reply;
  EXPECT_TRUE(HttpGetWithRetry(server.Url("/json/list"), reply, 1, "http://ref/", 5000));
  EXPECT_NE(server.Head(0).find("\r\nReferer: http://ref/\r\nUser-Agent: "), std::string::npos);
}

TEST(HttpGetWithRetryTest, SilentServerIsRetriedAndGivesFalse) {
  FakeHttpServer server([](const std::string&, int) { return Reply{}; });
  std::string reply = "stale";
  EXPECT_FALSE(HttpGetWithRetry(server.Url("/json/list"), reply, 2, "", 200));
  EXPECT_EQ(reply, "");
  EXPECT_EQ(server.Requests().size(), 2u);
}

struct SplitCase {
  const char* url;
  const char* host;
  const char* path;
  int port;
};

class SplitWsUrlTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitWsUrlTest, SplitsHostPathAndPort) {
  std::string host = "old-host", path = "old-path";
  int port = -1;
  SplitWsUrl(GetParam().url, host, path, port);
  EXPECT_EQ(host, GetParam().host);
  EXPECT_EQ(path, GetParam().path);
  EXPECT_EQ(port, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, SplitWsUrlTest,
    ::testing::Values(SplitCase{"ws://127.0.0.1:9222/devtools/page/ABC", "127.0.0.1", "/devtools/page/ABC", 9222},
                      SplitCase{"HTTPS://example.com", "example.com", "/", 80},
                      SplitCase{"wss://h:443/p?q=1", "h", "/p?q=1", 443},
                      SplitCase{"ws://h:notaport/x", "h", "/x", 80},
                      SplitCase{"ws://h:/x", "h", "/x", 80},
                      SplitCase{"ws://h:92a/x", "h", "/x", 80},
                      SplitCase{"127.0.0.1:9222/devtools/page/X", "127.0.0.1", "/devtools/page/X", 9222},
                      SplitCase{"ftp://h:21/x", "ftp", "//h:21/x", 80},
                      // Empty: the outputs keep what they held.
                      SplitCase{"", "old-host", "old-path", -1}));

}  // namespace
}  // namespace tarnvex::app
