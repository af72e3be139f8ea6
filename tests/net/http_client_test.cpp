#include "net/http_client.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/fake_http_server.h"
#include "tests/support/scripted_server.h"

namespace tarnvex::net {
namespace {

using tarnvex::testing::FakeHttpServer;
using tarnvex::testing::HttpOk;
using tarnvex::testing::PeerConnection;
using tarnvex::testing::RequestLine;
using tarnvex::testing::ScriptedServer;
using Reply = tarnvex::testing::HttpScriptReply;

void Configure(THttpClient& client, int timeout_ms = 5000) {
  client.HandleRedirects = true;
  client.SetConnectTimeout(timeout_ms);
  client.SetReadTimeout(timeout_ms);
  client.Request.UserAgent = "TestAgent/1.0";
}

TEST(HttpClientTest, RequestHeadIsExactWithAndWithoutReferer) {
  FakeHttpServer server([](const std::string&, int) { return Reply{HttpOk("[]")}; });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Get(server.Url("/json/list")), "[]");
  client.Request.Referer = "http://ref.example/";
  client.Get(server.Url("/json/list?x=1#frag"));
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
  const std::string accept = "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n";
  EXPECT_EQ(server.Head(0), "GET /json/list HTTP/1.1\r\n" + host + accept + "User-Agent: TestAgent/1.0\r\n\r\n");
  EXPECT_EQ(server.Head(1), "GET /json/list?x=1 HTTP/1.1\r\n" + host + accept +
                                "Referer: http://ref.example/\r\nUser-Agent: TestAgent/1.0\r\n\r\n");
}

TEST(HttpClientTest, PutSendsAnEmptyBodyWithItsLength) {
  FakeHttpServer server([](const std::string&, int) { return Reply{HttpOk("{}")}; });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Put(server.Url("/json/new")), "{}");
  const std::string head = server.Head(0);
  EXPECT_EQ(head, "PUT /json/new HTTP/1.1\r\nContent-Length: 0\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                      "\r\nAccept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
                      "User-Agent: TestAgent/1.0\r\n\r\n");
}

struct BodyCase {
  const char* name;
  std::string response;
  bool close_after;
  std::string body;      // UTF-8 text Get returns
  bool keep_alive;
};

class HttpBodyTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(HttpBodyTest, ReadsTheBodyByItsFraming) {
  const BodyCase& c = GetParam();
  FakeHttpServer server([&](const std::string&, int) { return Reply{c.response, c.close_after}; });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Get(server.Url("/json/list")), c.body);
  EXPECT_EQ(client.ResponseCode() / 100, 2);
  EXPECT_EQ(client.Response.KeepAlive, c.keep_alive);
  EXPECT_EQ(client.Connected(), c.keep_alive);
}

INSTANTIATE_TEST_SUITE_P(
    Framings, HttpBodyTest,
    ::testing::Values(
        BodyCase{"ContentLength", HttpOk("caf\xC3\xA9") + "trailing-garbage-not-read", false, "caf\xC3\xA9", true},
        BodyCase{"ReadToClose", "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nuntil the end", true,
                 "until the end", false},
        BodyCase{"ChunkedWithExtensionAndTrailer",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
                 "1a;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Trailer: yes\r\n\r\n",
                 false, "abcdefghijklmnopqrstuvwxyz", true},
        BodyCase{"ContentLengthCutShort", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this", true, "only this", false},
        BodyCase{"ConnectionClose", "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok", false, "ok",
                 false},
        BodyCase{"StatusWithoutReason", "HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok", false, "ok", true},
        BodyCase{"InterimContinue", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false,
                 "ok", true},
        BodyCase{"NoCharSetIsOneBytePerCharacter", HttpOk("\xC3\xA9", "text/plain"), false, "\xC3\x83\xC2\xA9", true},
        BodyCase{"Utf16Le", HttpOk(std::string("h\0\xE9\0", 4), "text/plain; charset=UTF-16LE"), false, "h\xC3\xA9", true},
        BodyCase{"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", false, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClientTest, TrailersJoinTheResponseHeaders) {
  FakeHttpServer server([](const std::string&, int) {
    return Reply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nX-Trailer: yes\r\n\r\n"};
  });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Get(server.Url("/")), "abc");
  EXPECT_EQ(client.Response.RawHeaders.Values("X-Trailer"), "yes");
}

TEST(HttpClientTest, ErrorStatusCarriesStatusLineCodeAndBodyAndKeepsTheConnection) {
  FakeHttpServer server([](const std::string& head, int) {
    if (RequestLine(head) == "GET /missing HTTP/1.1") {
      return Reply{"HTTP/1.1 404 Not Found\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 8\r\n\r\nno \xC3\xA9lan"};
    }
    return Reply{HttpOk("fine")};
  });
  THttpClient client;
  Configure(client);
  try {
    client.Get(server.Url("/missing"));
    FAIL() << "no exception";
  } catch (const EHttpProtocolException& e) {
    EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(e.ErrorCode(), 404);
    EXPECT_EQ(e.ErrorMessage(), "no \xC3\xA9lan");
    EXPECT_EQ(e.TypeName(), "EHttpProtocolException");
  }
  // The error page was read off the connection: the next answer is intact.
  EXPECT_EQ(client.Get(server.Url("/json/list")), "fine");
  EXPECT_EQ(server.connections(), 1);
}

TEST(HttpClientTest, StatusWithoutNumberIsAnError) {
  for (const char* status : {"HTTP/1.1 OK", "HTTP/1.1 304 Not Modified", "HTTP/1.1 302 Found", "HTTP/1.1 500 Boom"}) {
    FakeHttpServer server([&](const std::string&, int) {
      return Reply{std::string(status) + "\r\nContent-Length: 0\r\n\r\n"};
    });
    THttpClient client;
    Configure(client);
    try {
      client.Get(server.Url("/"));
      ADD_FAILURE() << status << ": no exception";
    } catch (const EHttpProtocolException& e) {
      EXPECT_EQ(e.Message(), status);
      EXPECT_EQ(e.ErrorCode(), ParseResponseCode(status));
    }
  }
}

TEST(HttpClientTest, RedirectIsFollowedOnTheKeptConnection) {
  FakeHttpServer server([](const std::string& head, int) {
    if (RequestLine(head) == "GET /json/version HTTP/1.1") {
      return Reply{"HTTP/1.1 302 Found\r\nLocation: /json/list\r\nContent-Length: 5\r\n\r\nmoved"};
    }
    if (RequestLine(head) == "GET /a/b/c HTTP/1.1") return Reply{"HTTP/1.1 301 Moved\r\nLocation: ../list?q=1\r\nContent-Length: 0\r\n\r\n"};
    return Reply{HttpOk(RequestLine(head))};
  });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Get(server.Url("/json/version")), "GET /json/list HTTP/1.1");
  EXPECT_EQ(client.ResponseCode(), 200);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].first, 0) << "the redirect must reuse the open connection";
  EXPECT_NE(requests[1].second.find("Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"), std::string::npos);
  // A relative target resolves against the current path.
  EXPECT_EQ(client.Get(server.Url("/a/b/c")), "GET /a/list?q=1 HTTP/1.1");
  EXPECT_EQ(server.connections(), 1);
}

TEST(HttpClientTest, SeeOtherTurnsPutIntoGet) {
  FakeHttpServer server([](const std::string& head, int) {
    if (head.starts_with("PUT ")) return Reply{"HTTP/1.1 303 See Other\r\nLocation: /done\r\nContent-Length: 0\r\n\r\n"};
    return Reply{HttpOk(RequestLine(head))};
  });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Put(server.Url("/json/new")), "GET /done HTTP/1.1");
  EXPECT_EQ(server.Head(1).find("Content-Length"), std::string::npos);
}

TEST(HttpClientTest, FifteenthRedirectIsReturnedWithEmptyText) {
  FakeHttpServer server([](const std::string&, int index) {
    return Reply{"HTTP/1.1 302 Found\r\nLocation: /hop" + std::to_string(index + 1) + "\r\nContent-Length: 4\r\n\r\nbody"};
  });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Get(server.Url("/hop0")), "");
  EXPECT_EQ(client.ResponseCode(), 302);
  EXPECT_EQ(client.Response.Location, "/hop15");
  EXPECT_EQ(server.Requests().size(), 15u);

  // Without HandleRedirects the first redirect is an error.
  client.HandleRedirects = false;
  EXPECT_THROW(client.Get(server.Url("/hop0")), EHttpProtocolException);
}

TEST(HttpClientTest, SilentServerTimesOutAndTheConnectionIsReused) {
  FakeHttpServer server([](const std::string&, int index) { return index == 0 ? Reply{} : Reply{HttpOk("late but fine")}; });
  THttpClient client;
  Configure(client, 300);
  EXPECT_THROW(client.Get(server.Url("/json/list")), EReadTimeout);
  EXPECT_TRUE(client.Connected());
  client.SetReadTimeout(5000);
  EXPECT_EQ(client.Get(server.Url("/json/list")), "late but fine");
  EXPECT_EQ(server.connections(), 1);
}

TEST(HttpClientTest, TimeOutInsideABodyDropsTheConnection) {
  // Reusing a connection with half a body on it would hand those bytes to
  // the next request as its status line.
  FakeHttpServer server([](const std::string&, int index) {
    return index == 0 ? Reply{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf"} : Reply{HttpOk("second")};
  });
  THttpClient client;
  Configure(client, 300);
  EXPECT_THROW(client.Get(server.Url("/")), EReadTimeout);
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(client.Get(server.Url("/")), "second");
  EXPECT_EQ(server.connections(), 2);
}

TEST(HttpClientTest, ClosedKeptConnectionIsReplacedByANewOne) {
  FakeHttpServer server([](const std::string&, int) { return Reply{HttpOk("x"), true}; });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Get(server.Url("/")), "x");
  EXPECT_EQ(client.Get(server.Url("/")), "x");
  EXPECT_EQ(server.connections(), 2);
}

TEST(HttpClientTest, KeptConnectionClosedWithoutAnswerIsRetriedOnceOnANewOne) {
  // The peer drops the idle kept connection just as the next request comes.
  FakeHttpServer server([](const std::string&, int index) {
    if (index == 1) return Reply{"", true};
    return Reply{HttpOk(index == 0 ? "first" : "second")};
  });
  THttpClient client;
  Configure(client);
  EXPECT_EQ(client.Get(server.Url("/")), "first");
  EXPECT_EQ(client.Get(server.Url("/")), "second");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].first, 0);
  EXPECT_EQ(requests[2].first, 1);
}

TEST(HttpClientTest, PeerClosingBeforeTheStatusLineRaises) {
  FakeHttpServer server([](const std::string&, int) { return Reply{"", true}; });
  THttpClient client;
  Configure(client);
  EXPECT_THROW(client.Get(server.Url("/")), EConnClosedGracefully);
}

TEST(HttpClientTest, CookiesAreSentBack) {
  FakeHttpServer server([](const std::string&, int index) {
    if (index == 0) return Reply{"HTTP/1.1 200 OK\r\nSet-Cookie: sid=42; Path=/\r\nSet-Cookie: t=x\r\nContent-Length: 0\r\n\r\n"};
    return Reply{HttpOk("")};
  });
  THttpClient client;
  Configure(client);
  client.Get(server.Url("/json/list"));
  client.Get(server.Url("/json/new"));
  client.Get(server.Url("/other"));
  EXPECT_NE(server.Head(1).find("\r\nCookie: t=x; sid=42\r\n"), std::string::npos) << server.Head(1);
  EXPECT_NE(server.Head(2).find("\r\nCookie: sid=42\r\n"), std::string::npos) << server.Head(2);
  EXPECT_EQ(server.Head(0).find("Cookie:"), std::string::npos);
}

TEST(HttpClientTest, UrlsThatCannotBeFetched) {
  THttpClient client;
  Configure(client);
  try {
    client.Get("https://127.0.0.1:1/json/list");
    ADD_FAILURE() << "no exception for https";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "To use a secure connection you need to assign a TLS I/O handler");
  }
  THttpClient other;
  try {
    other.Get("ftp://127.0.0.1/file");
    ADD_FAILURE() << "no exception for ftp";
  } catch (const EUnknownProtocol& e) {
    EXPECT_EQ(e.Message(), "Unknown Protocol");
  }
}

TEST(HttpClientTest, RefusedConnectionRaisesTheSocketError) {
  int port = 0;
  { ScriptedServer closed([](PeerConnection&) {}); port = closed.port(); }
  THttpClient client;
  Configure(client);
  EXPECT_THROW(client.Get("http://127.0.0.1:" + std::to_string(port) + "/"), ESocketError);
}

// Hostile peers: each ends in a clear error instead of unbounded memory or
// an endless read, and the connection is closed.
class HostileServerTest : public ::testing::Test {
 protected:
  void ExpectClosedAfter(const std::function<void(PeerConnection&)>& stream, const std::string& type_name,
                         int64_t max_body_size = int64_t{256} * 1024 * 1024) {
    ScriptedServer server([&](PeerConnection& peer) {
      peer.ReadUntil("\r\n\r\n");
      stream(peer);
    });
    THttpClient client;
    Configure(client);
    client.MaxBodySize = max_body_size;
    try {
      client.Get("http://127.0.0.1:" + std::to_string(server.port()) + "/json/list");
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.TypeName(), type_name) << e.Message();
    }
    EXPECT_FALSE(client.Connected());
  }
};

TEST_F(HostileServerTest, NeverEndingHeaderLine) {
  ExpectClosedAfter(
      [](PeerConnection& peer) {
        peer.Send("HTTP/1.1 200 OK\r\nX-Endless: ");
        const std::string chunk(65536, 'a');
        while (peer.Send(chunk)) {
        }
      },
      "EReadLnMaxLineLengthExceeded");
}

TEST_F(HostileServerTest, AMillionHeaderLines) {
  ExpectClosedAfter(
      [](PeerConnection& peer) {
        peer.Send("HTTP/1.1 200 OK\r\n");
        std::string lines;
        for (int i = 0; i < 1000; ++i) lines += "X-Line: " + std::to_string(i) + "\r\n";
        for (int i = 0; i < 1000 && peer.Send(lines); ++i) {
        }
      },
      "EHttpLimitExceeded");
}

TEST_F(HostileServerTest, ChunkAnnouncingMoreThanTheLimit) {
  ExpectClosedAfter([](PeerConnection& peer) { peer.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffffff\r\n"); },
                    "EHttpLimitExceeded");
}

TEST_F(HostileServerTest, ContentLengthAboveTheLimit) {
  ExpectClosedAfter([](PeerConnection& peer) { peer.Send("HTTP/1.1 200 OK\r\nContent-Length: 300000000\r\n\r\n"); },
                    "EHttpLimitExceeded");
}

TEST_F(HostileServerTest, BodyThatNeverEnds) {
  ExpectClosedAfter(
      [](PeerConnection& peer) {
        peer.Send("HTTP/1.1 200 OK\r\n\r\n");
        const std::string chunk(1 << 16, 'b');
        while (peer.Send(chunk)) {
        }
      },
      "EHttpLimitExceeded", 1 << 20);
}

TEST_F(HostileServerTest, ChunksThatNeverEnd) {
  ExpectClosedAfter(
      [](PeerConnection& peer) {
        peer.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        const std::string chunk = "10000\r\n" + std::string(0x10000, 'c') + "\r\n";
        while (peer.Send(chunk)) {
        }
      },
      "EHttpLimitExceeded", 1 << 20);
}

TEST_F(HostileServerTest, EndlessInterimResponses) {
  ExpectClosedAfter(
      [](PeerConnection& peer) {
        const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
        while (peer.Send(interim)) {
        }
      },
      "EHttpLimitExceeded");
}

}  // namespace
}  // namespace tarnvex::net
