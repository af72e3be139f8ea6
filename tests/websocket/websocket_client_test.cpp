#include "websocket/websocket_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/base64.h"
#include "tests/support/browser.h"
#include "tests/support/process.h"
#include "tests/support/scripted_server.h"
#include "tests/support/websocket_peer.h"
#include "websocket/sha1.h"

namespace tarnvex::websocket {
namespace {

using testing::AcceptFor;
using testing::AcceptHandshake;
using testing::ClientFrame;
using testing::HeaderOf;
using testing::PeerConnection;
using testing::ReadClientFrame;
using testing::ScriptedServer;
using testing::ServerFrame;
using namespace std::chrono_literals;

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out += digits[static_cast<uint8_t>(c) >> 4];
    out += digits[static_cast<uint8_t>(c) & 15];
  }
  return out;
}

// What the listeners saw, for checks from the test thread.
struct Events {
  void Add(std::vector<std::string>& list, const std::string& item) {
    std::lock_guard lock(mutex);
    list.push_back(item);
    changed.notify_all();
  }
  bool WaitFor(const std::vector<std::string>& list, size_t count, std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return list.size() >= count; });
  }
  std::vector<std::string> Snapshot(const std::vector<std::string>& list) {
    std::lock_guard lock(mutex);
    return list;
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> opens, messages, errors, closes, upgrades;
};

std::unique_ptr<TWebSocketClient> ListeningClient(const std::string& url, Events& events, int read_timeout = 5000) {
  auto client = TWebSocketClient::New(url);
  client->SetReadTimeout(read_timeout);
  client->AddEventListener(TEventType::OPEN, [&](const std::string& line) { events.Add(events.opens, line); });
  client->AddEventListener(TEventType::MESSAGE, [&](const std::string& text) { events.Add(events.messages, text); });
  client->AddEventListener(TEventType::ERROR,
                           [&](const std::exception& e, bool&) { events.Add(events.errors, e.what()); });
  client->AddEventListener(TEventType::CLOSE, [&](TWebSocketClient&) { events.Add(events.closes, "close"); });
  client->AddEventListener(TEventType::UPGRADE, [&](TWebSocketClient&) { events.Add(events.upgrades, "upgrade"); });
  return client;
}

std::string UrlFor(const ScriptedServer& server, const std::string& path = "/devtools/page/ID") {
  return "ws://127.0.0.1:" + std::to_string(server.port()) + path;
}

struct Gate {
  void Open() { promise.set_value(); }
  bool Wait(std::chrono::milliseconds timeout = 10s) { return future.wait_for(timeout) == std::future_status::ready; }
  std::promise<void> promise;
  std::shared_future<void> future = promise.get_future().share();
};

TEST(Sha1Test, KnownDigestsAndTheHandshakeExample) {
  const struct {
    std::string input;
    std::string digest;
  } cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const auto& c : cases) {
    const auto digest = Sha1(c.input);
    EXPECT_EQ(Hex(std::string(digest.begin(), digest.end())), c.digest) << c.input.size();
  }
  EXPECT_EQ(TWebSocketClient::ExpectedAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

TEST(HandshakeKeyTest, FreshKeysOfSixteenBytes) {
  Random random;
  std::set<std::string> keys;
  for (int i = 0; i < 50; ++i) {
    const std::string key = TWebSocketClient::MakeHandshakeKey(random);
    EXPECT_EQ(key.size(), 24u);
    EXPECT_EQ(base64::Decode(key).size(), 16u);
    EXPECT_EQ(TWebSocketClient::ExpectedAccept(key), AcceptFor(key));
    keys.insert(key);
  }
  EXPECT_EQ(keys.size(), 50u);
}

TEST(EncodeFrameTest, HeadersForEachLengthCode) {
  const struct {
    size_t length;
    std::string head;  // bytes before the mask
  } cases[] = {
      {0, "\x81\x80"},
      {125, "\x81\xFD"},
      {126, std::string("\x81\xFE\x00\x7E", 4)},
      {200, std::string("\x81\xFE\x00\xC8", 4)},
      {65535, "\x81\xFE\xFF\xFF"},
      {65536, std::string("\x81\xFF\x00\x00\x00\x00\x00\x01\x00\x00", 10)},
      {70000, std::string("\x81\xFF\x00\x00\x00\x00\x00\x01\x11\x70", 10)},
  };
  Random random;
  for (const auto& c : cases) {
    const std::string payload(c.length, 'q');
    const std::vector<uint8_t> frame = EncodeFrame(payload, TFrameOpcode::OP_TEXT, random);
    ASSERT_EQ(frame.size(), c.head.size() + 4 + c.length);
    EXPECT_EQ(std::string(frame.begin(), frame.begin() + static_cast<long>(c.head.size())), c.head) << c.length;
    const uint8_t* mask = frame.data() + c.head.size();
    for (size_t i = 0; i < c.length; ++i) {
      ASSERT_EQ(frame[c.head.size() + 4 + i] ^ mask[i % 4], 'q');
    }
  }
}

TEST(EncodeFrameTest, MaskBytesAreDrawnBelow255) {
  // 8000 uniform draws over 0..255 would almost surely include 255.
  Random random;
  for (int i = 0; i < 2000; ++i) {
    const std::vector<uint8_t> frame = EncodeFrame({}, TFrameOpcode::OP_CLOSE, random);
    ASSERT_EQ(frame.size(), 6u);
    EXPECT_EQ(frame[0], 0x88);
    EXPECT_EQ(frame[1], 0x80);
    for (int j = 2; j < 6; ++j) ASSERT_NE(frame[j], 0xFF);
  }
}

TEST(ListenerTest, RegistrationErrors) {
  TWebSocketClient client("ws://127.0.0.1:1/");
  client.AddEventListener(TEventType::MESSAGE, [](const std::string&) {});
  const struct {
    std::function<void()> call;
    std::string message;
  } cases[] = {
      {[&] { client.AddEventListener(TEventType::MESSAGE, [](const std::string&) {}); },
       "The message event listener is already assigned!"},
      {[&] { client.AddEventListener(TEventType::CLOSE, [](const std::string&) {}); }, "This is not an valid event!"},
      {[&] { client.AddEventListener(TEventType::OPEN, [](TWebSocketClient&) {}); }, "This is not an valid event!"},
      {[&] { client.AddEventListener(TEventType::MESSAGE, [](const std::exception&, bool&) {}); },
       "This is not an valid event!"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_EQ(e.TypeName(), "Exception");
    }
  }
  // A refused registration stored nothing: the other kinds are still free.
  client.AddEventListener(TEventType::OPEN, [](const std::string&) {});
  client.AddEventListener(TEventType::CLOSE, [](TWebSocketClient&) {});
  client.AddEventListener(TEventType::ERROR, [](const std::exception&, bool&) {});
  client.AddEventListener(TEventType::UPGRADE, [](TWebSocketClient&) {});
  client.AddEventListener(TEventType::HEART_BEAT_TIMER, [](TWebSocketClient&) {});
  EXPECT_THROW(client.AddEventListener(TEventType::HEART_BEAT_TIMER, [](TWebSocketClient&) {}), Exception);
}

TEST(ConnectTest, TransportErrorsRaise) {
  TWebSocketClient refused("ws://127.0.0.1:" + std::to_string(testing::FreePort()) + "/x");
  EXPECT_THROW(refused.Connect(), net::ESocketError);
  EXPECT_FALSE(refused.Connected());
  for (const bool auto_create : {true, false}) {
    for (const char* url : {"wss://127.0.0.1:9/x", "https://127.0.0.1:9/x"}) {
      TWebSocketClient secure(url);
      secure.SetAutoCreateHandler(auto_create);
      try {
        secure.Connect();
        ADD_FAILURE() << url;
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "To use a secure connection you need to assign a TLS I/O handler");
      }
    }
  }
  TWebSocketClient unsent("ws://127.0.0.1:9/x");
  EXPECT_THROW(unsent.Send("x"), net::ENetException);
}

TEST(ConnectTest, RequestHeadByteForByte) {
  struct Case {
    std::string path;  // appended to ws://127.0.0.1:<port>
    std::string subprotocol;
    std::string request_line;
  } cases[] = {
      {"/devtools/page/ABC", "", "GET /devtools/page/ABC HTTP/1.1"},
      {"", "", "GET / HTTP/1.1"},
      {"/a/b?x=1&y=2#frag", "chat", "GET /a/b?x=1&y=2 HTTP/1.1"},
  };
  for (const Case& c : cases) {
    std::promise<std::string> head;
    ScriptedServer server([&](PeerConnection& peer) {
      head.set_value(AcceptHandshake(peer));
      peer.WaitForPeerClose();
    });
    TWebSocketClient client("ws://127.0.0.1:" + std::to_string(server.port()) + c.path);
    client.SetSubProtocol(c.subprotocol);
    client.Connect();
    EXPECT_TRUE(client.Connected());
    const std::string request = head.get_future().get();
    const std::string key = HeaderOf(request, "Sec-WebSocket-Key");
    EXPECT_EQ(key.size(), 24u);
    std::string expected = c.request_line + "\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                           "\r\nUser-Agent: TX WebSocket Client\r\nConnection: keep-alive, Upgrade\r\n"
                           "Upgrade: WebSocket\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: " +
                           key + "\r\n";
    if (!c.subprotocol.empty()) expected += "Sec-WebSocket-Protocol: " + c.subprotocol + "\r\n";
    EXPECT_EQ(request, expected + "\r\n");
    client.Disconnect();
  }
}

TEST(ConnectTest, LocalhostHostHeader) {
  std::promise<std::string> head;
  ScriptedServer server([&](PeerConnection& peer) {
    head.set_value(AcceptHandshake(peer));
    peer.WaitForPeerClose();
  });
  TWebSocketClient client("ws://LocalHost:" + std::to_string(server.port()) + "/x");
  client.Connect();
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(HeaderOf(head.get_future().get(), "Host"), "LocalHost:" + std::to_string(server.port()));
  client.Disconnect();
}

// The server answers the request with `answer(request)`, then reports the
// bytes the client sent afterwards.
struct HandshakeCase {
  std::string name;
  std::function<std::string(const std::string& request)> answer;
  bool accepted;
  std::string error;  // what the ERROR listener receives (empty: none)
};

std::string Answer101(const std::string& request, const std::string& connection, const std::string& upgrade,
                      const std::string& accept_line) {
  return "HTTP/1.1 101 Switching Protocols\r\n" + upgrade + "\r\n" + connection + "\r\n" +
         (accept_line.empty() ? "" : accept_line + AcceptFor(HeaderOf(request, "Sec-WebSocket-Key")) + "\r\n") +
         "\r\n";
}

TEST(HandshakeTest, AnswerVariants) {
  const std::string rejected = "URL is not from an valid websocket server, not a valid response header found";
  const HandshakeCase cases[] = {
      {"standard",
       [](const std::string& r) { return Answer101(r, "Connection: Upgrade", "Upgrade: websocket", "Sec-WebSocket-Accept: "); },
       true, ""},
      {"other letter cases",
       [](const std::string& r) {
         return Answer101(r, "connection:  UPGRADE ", "UPGRADE: WebSocket", "sec-websocket-ACCEPT: ");
       },
       true, ""},
      {"no accept line",
       [](const std::string& r) { return Answer101(r, "Connection: Upgrade", "Upgrade: websocket", ""); }, true, ""},
      {"wrong accept",
       [](const std::string&) {
         return std::string("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Accept: AAAAAAAAAAAAAAAAAAAAAAAAAAA=\r\n\r\n");
       },
       false, "Unexpected return key on Sec-WebSocket-Accept in handshake!"},
      {"not found", [](const std::string&) { return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"); },
       false, "404 Not Found"},
      {"two connection tokens",
       [](const std::string& r) {
         return Answer101(r, "Connection: keep-alive, Upgrade", "Upgrade: websocket", "Sec-WebSocket-Accept: ");
       },
       false, rejected},
      {"no upgrade header",
       [](const std::string& r) { return Answer101(r, "Connection: Upgrade", "X-Other: 1", "Sec-WebSocket-Accept: "); },
       false, rejected},
  };
  for (const HandshakeCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::promise<ClientFrame> after;
    ScriptedServer server([&](PeerConnection& peer) {
      peer.Send(c.answer(peer.ReadUntil("\r\n\r\n")));
      after.set_value(ReadClientFrame(peer, c.accepted ? 300 : 5000));
      peer.WaitForPeerClose();
    });
    Events events;
    auto client = ListeningClient(UrlFor(server), events);
    client->Connect();
    EXPECT_EQ(client->Connected(), c.accepted);
    EXPECT_EQ(client->Upgraded(), c.accepted);
    EXPECT_EQ(events.Snapshot(events.upgrades).size(), c.accepted ? 1u : 0u);
    const auto errors = events.Snapshot(events.errors);
    if (c.error.empty()) {
      EXPECT_TRUE(errors.empty());
    } else {
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_EQ(errors[0], c.error);
    }
    const ClientFrame frame = after.get_future().get();
    if (c.accepted) {
      EXPECT_EQ(frame.raw, "");  // nothing is sent after an accepted handshake
    } else {
      // A rejected answer is followed by a masked close frame, then the close.
      EXPECT_TRUE(frame.complete);
      EXPECT_EQ(frame.first, 0x88);
      EXPECT_EQ(frame.second, 0x80);
      EXPECT_EQ(frame.raw.size(), 6u);
      EXPECT_EQ(events.Snapshot(events.closes).size(), 1u);
    }
    client->Disconnect();
  }
}

TEST(HandshakeTest, OpenListenerSeesRawLines) {
  ScriptedServer server([](PeerConnection& peer) {
    peer.ReadUntil("\r\n\r\n");
    peer.Send("HTTP/1.1 101 OK\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n");
    peer.WaitForPeerClose();
  });
  Events events;
  auto client = ListeningClient(UrlFor(server), events);
  client->Connect();
  EXPECT_TRUE(client->Connected());
  EXPECT_EQ(events.Snapshot(events.opens),
            (std::vector<std::string>{"HTTP/1.1 101 OK\r", "\nUpgrade: websocket\r", "\nConnection: Upgrade\r"}));
  client->Disconnect();
}

TEST(HandshakeTest, IncompleteAnswersEndInTheReportedError) {
  const struct {
    std::string name;
    std::string answer;
    bool close_after;
    std::string error;
  } cases[] = {
      {"silent server", "", false, "Read timed out."},
      {"lines ending in LF alone", "HTTP/1.1 101 OK\nUpgrade: websocket\nConnection: Upgrade\n\n", false,
       "Read timed out."},
      // Whether the read or the Connected test meets the close first decides
      // if an error is reported; either way the handshake failed.
      {"closed mid-head", "HTTP/1.1 101 OK\r\nUpgrade: web", true, ""},
      {"endless line", std::string(20000, 'h'), false, "The websocket handshake response head is too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Gate done;
    ScriptedServer server([&](PeerConnection& peer) {
      peer.ReadUntil("\r\n\r\n");
      peer.Send(c.answer);
      if (c.close_after) {
        peer.Close();
      } else {
        done.Wait();
      }
    });
    Events events;
    auto client = ListeningClient(UrlFor(server), events, 300);
    client->Connect();
    EXPECT_FALSE(client->Connected());
    EXPECT_FALSE(client->Upgraded());
    const auto errors = events.Snapshot(events.errors);
    if (c.error.empty()) {
      EXPECT_LE(errors.size(), 1u);
      if (!errors.empty()) {
        EXPECT_EQ(errors[0], "Connection Closed Gracefully.");
      }
    } else {
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_EQ(errors[0], c.error);
    }
    done.Open();
  }
}

// An upgraded client whose server sends `frames` and then waits for the
// client to go away, collecting every frame the client sends meanwhile.
struct Upgraded {
  explicit Upgraded(std::function<void(PeerConnection&)> script, int read_timeout = 5000)
      : server([this, script](PeerConnection& peer) {
          AcceptHandshake(peer);
          script(peer);
          for (;;) {
            ClientFrame frame = ReadClientFrame(peer, 10000);
            if (frame.raw.empty()) break;
            std::lock_guard lock(mutex);
            received.push_back(frame);
          }
          server_done.set_value();
        }) {
    client = ListeningClient(UrlFor(server), events, read_timeout);
    client->Connect();
  }
  // Waits until the server saw the client's close (frame or TCP).
  bool WaitServerDone() { return server_done_future.wait_for(10s) == std::future_status::ready; }
  std::vector<ClientFrame> Received() {
    std::lock_guard lock(mutex);
    return received;
  }

  Events events;
  std::mutex mutex;
  std::vector<ClientFrame> received;
  std::promise<void> server_done;
  std::future<void> server_done_future = server_done.get_future();
  ScriptedServer server;
  std::unique_ptr<TWebSocketClient> client;
};

TEST(ReaderTest, ServerFramesReachTheMessageListener) {
  const uint8_t mask[4] = {0x37, 0xFA, 0x21, 0x3D};
  const std::string big300(300, 'x');
  const std::string big70000(70000, 'y');
  const struct {
    std::string name;
    std::string bytes;
    std::vector<std::string> messages;
  } cases[] = {
      {"short text", ServerFrame(0x81, "hello"), {"hello"}},
      {"length code 126", std::string("\x81\x7E\x01\x2C", 4) + big300, {big300}},
      {"length code 127", ServerFrame(0x81, big70000), {big70000}},
      {"empty frames are skipped", std::string("\x81\x00", 2) + ServerFrame(0x81, "next"), {"next"}},
      {"binary and pong", ServerFrame(0x82, "bin") + ServerFrame(0x8A, "pong"), {"bin", "pong"}},
      {"invalid UTF-8", ServerFrame(0x81, "a\xFFz"), {"a\xEF\xBF\xBDz"}},
      {"masked", testing::MaskedServerFrame(0x81, "hello", mask), {"hello"}},
      {"fragments with a control frame between",
       ServerFrame(0x01, "Hel") + ServerFrame(0x8A, "p") + ServerFrame(0x00, "lo ") + ServerFrame(0x00, "") +
           testing::MaskedServerFrame(0x80, "world", mask),
       {"p", "Hello world"}},
      {"stray bytes before a frame", "\x0A\x0A" + ServerFrame(0x81, "ok"), {"ok"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Upgraded u([&](PeerConnection& peer) { peer.Send(c.bytes); });
    ASSERT_TRUE(u.events.WaitFor(u.events.messages, c.messages.size()));
    u.client->Disconnect();
    ASSERT_TRUE(u.WaitServerDone());
    EXPECT_EQ(u.events.Snapshot(u.events.messages), c.messages);
    EXPECT_TRUE(u.Received().empty());  // nothing to answer
  }
}

TEST(ReaderTest, PingsAreAnsweredWithMaskedPongs) {
  Upgraded u([](PeerConnection& peer) {
    peer.Send(ServerFrame(0x89, "abc") + ServerFrame(0x89, "") + ServerFrame(0x89, std::string("\xFF\x00", 2)));
  });
  ASSERT_TRUE(testing::WaitUntil([&] { return u.Received().size() == 3; }));
  const auto pongs = u.Received();
  EXPECT_EQ(pongs[0].first, 0x8A);
  EXPECT_EQ(pongs[0].second, 0x83);
  EXPECT_EQ(pongs[0].payload, "abc");
  EXPECT_EQ(pongs[0].raw.size(), 9u);
  EXPECT_EQ(pongs[1].second, 0x80);
  // The pong echoes the ping's bytes even when they are not UTF-8.
  EXPECT_EQ(pongs[2].payload, std::string("\xFF\x00", 2));
  EXPECT_TRUE(u.events.Snapshot(u.events.messages).empty());
  u.client->Disconnect();
}

TEST(ReaderTest, ServerCloseIsAnsweredAndEndsTheConnection) {
  for (const std::string& close : {ServerFrame(0x88, "\x03\xE8"), ServerFrame(0x88, "")}) {
    SCOPED_TRACE(Hex(close));
    Upgraded u([&](PeerConnection& peer) { peer.Send(ServerFrame(0x81, "before") + close); });
    ASSERT_TRUE(u.WaitServerDone());
    const auto frames = u.Received();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].first, 0x88);
    EXPECT_EQ(frames[0].second, 0x80);
    EXPECT_EQ(frames[0].raw.size(), 6u);
    ASSERT_TRUE(u.events.WaitFor(u.events.closes, 1));
    EXPECT_FALSE(u.client->Connected());
    EXPECT_EQ(u.events.Snapshot(u.events.messages), std::vector<std::string>{"before"});
    EXPECT_TRUE(u.events.Snapshot(u.events.errors).empty());
  }
}

TEST(ReaderTest, OversizedOrInvalidMessagesAreReportedAndClose) {
  const struct {
    std::string name;
    std::string bytes;
    std::string error_start;
  } cases[] = {
      {"announces 2^63 bytes", std::string("\x81\x7F\x80\x00\x00\x00\x00\x00\x00\x00", 10),
       "WebSocket message too large: a frame announces 9223372036854775808 bytes"},
      {"announces 256 MiB + 1", std::string("\x82\x7F\x00\x00\x00\x00\x10\x00\x00\x01", 10),
       "WebSocket message too large: a frame announces 268435457 bytes"},
      {"new message inside a fragmented one", ServerFrame(0x01, "a") + ServerFrame(0x81, "b"),
       "A new websocket message started inside a fragmented message"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Upgraded u([&](PeerConnection& peer) { peer.Send(c.bytes); });
    ASSERT_TRUE(u.WaitServerDone());
    ASSERT_TRUE(u.events.WaitFor(u.events.errors, 1));
    EXPECT_EQ(u.events.Snapshot(u.events.errors)[0].rfind(c.error_start, 0), 0u)
        << u.events.Snapshot(u.events.errors)[0];
    const auto frames = u.Received();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].first, 0x88);
    EXPECT_FALSE(u.client->Connected());
    EXPECT_TRUE(u.events.Snapshot(u.events.messages).empty());
  }
}

TEST(ReaderTest, SilentServerIsClosedAfterTheReadTimeout) {
  Upgraded u([](PeerConnection&) {}, 300);
  ASSERT_TRUE(u.WaitServerDone());
  ASSERT_EQ(u.Received().size(), 1u);
  EXPECT_EQ(u.Received()[0].first, 0x88);
  EXPECT_EQ(u.events.Snapshot(u.events.errors), std::vector<std::string>{"Read timed out."});
  EXPECT_FALSE(u.client->Connected());
}

TEST(ReaderTest, ListenerErrorsCloseUnlessTheErrorListenerKeepsTheConnection) {
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    Gate release;
    std::promise<std::string> seen;
    ScriptedServer server([&](PeerConnection& peer) {
      AcceptHandshake(peer);
      peer.Send(ServerFrame(0x81, "boom"));
      seen.set_value(Hex(ReadClientFrame(peer, keep ? 500 : 5000).raw.substr(0, 2)));
      release.Wait();
    });
    auto client = TWebSocketClient::New(UrlFor(server));
    client->SetReadTimeout(5000);
    client->AddEventListener(TEventType::MESSAGE, [](const std::string&) { throw Exception("listener failed"); });
    std::promise<std::string> reported;
    client->AddEventListener(TEventType::ERROR, [&](const std::exception& e, bool& force) {
      reported.set_value(e.what());
      force = !keep;
    });
    client->Connect();
    EXPECT_EQ(reported.get_future().get(), "listener failed");
    EXPECT_EQ(seen.get_future().get(), keep ? "" : "8880");
    if (keep) {
      EXPECT_TRUE(client->Connected());
      // The reader has ended; releasing must not wait on the heartbeat, which
      // would watch the kept connection for as long as it stays open.
      const auto start = std::chrono::steady_clock::now();
      client.reset();
      EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    } else {
      EXPECT_TRUE(testing::WaitUntil([&] { return !client->Connected(); }));
    }
    release.Open();
  }
}

TEST(SendTest, ExactFrameBytes) {
  const struct {
    std::string text;
    std::string head;
  } cases[] = {
      {"", "\x81\x80"},
      {std::string(200, 'a'), std::string("\x81\xFE\x00\xC8", 4)},
      {std::string(70000, 'b'), std::string("\x81\xFF\x00\x00\x00\x00\x00\x01\x11\x70", 10)},
      {"\xC3\xA9", "\x81\x82"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.size());
    Upgraded u([](PeerConnection&) {});
    u.client->Send(c.text);
    ASSERT_TRUE(testing::WaitUntil([&] { return u.Received().size() == 1; }));
    const ClientFrame frame = u.Received()[0];
    EXPECT_EQ(frame.raw.substr(0, c.head.size()), c.head);
    EXPECT_EQ(frame.raw.size(), c.head.size() + 4 + c.text.size());
    EXPECT_EQ(frame.payload, c.text);
    u.client->Disconnect();
  }
}

TEST(SendTest, ClosedConnectionRaisesAndLeavesTheLockFree) {
  Upgraded u([](PeerConnection&) {});
  u.client->Disconnect();
  try {
    u.client->Send("late");
    FAIL();
  } catch (const net::EConnClosedGracefully& e) {
    EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
  }
  EXPECT_THROW(u.client->Send("again"), net::EConnClosedGracefully);
}

TEST(SendTest, ConcurrentSendsAndPongsNeverInterleave) {
  Upgraded u([](PeerConnection& peer) {
    for (int i = 0; i < 50; ++i) peer.Send(ServerFrame(0x89, "ping" + std::to_string(i)));
  });
  // One length code per sender: 7-bit, 16-bit and 64-bit.
  const size_t sizes[] = {100, 5000, 70000};
  std::vector<std::thread> senders;
  for (int t = 0; t < 3; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) u.client->Send(std::string(sizes[t], static_cast<char>('a' + t)));
    });
  }
  for (auto& s : senders) s.join();
  ASSERT_TRUE(testing::WaitUntil([&] { return u.Received().size() == 80; }, 60000));
  int pongs = 0;
  for (const ClientFrame& frame : u.Received()) {
    ASSERT_TRUE(frame.complete);
    if (frame.first == 0x8A) {
      EXPECT_EQ(frame.payload, "ping" + std::to_string(pongs++));
    } else {
      ASSERT_EQ(frame.first, 0x81);
      EXPECT_EQ(frame.payload.find_first_not_of(frame.payload[0]), std::string::npos);
    }
  }
  EXPECT_EQ(pongs, 50);
  u.client->Disconnect();
}

TEST(LifecycleTest, DisconnectFromTheWorkerEndsBothTasksQuickly) {
  Gate release;
  ScriptedServer server([&](PeerConnection& peer) {
    AcceptHandshake(peer);
    release.Wait();
  });
  auto client = TWebSocketClient::New(UrlFor(server));
  client->SetReadTimeout(25000);
  client->Connect();
  ASSERT_TRUE(client->Connected());
  const auto start = std::chrono::steady_clock::now();
  client->Disconnect();
  client.reset();
  // Far below the 25 s read time-out the reader would otherwise wait out.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  release.Open();
}

TEST(LifecycleTest, HeartBeatListenerIsCalledWhileConnected) {
  Gate release;
  ScriptedServer server([&](PeerConnection& peer) {
    AcceptHandshake(peer);
    release.Wait();
  });
  auto client = TWebSocketClient::New(UrlFor(server));
  client->SetReadTimeout(25000);
  client->SetHeartBeatInterval(100);
  std::atomic<int> beats{0};
  client->AddEventListener(TEventType::HEART_BEAT_TIMER, [&](TWebSocketClient& sender) {
    EXPECT_EQ(&sender, client.get());
    ++beats;
  });
  client->Connect();
  EXPECT_TRUE(testing::WaitUntil([&] { return beats >= 2; }));
  client->Disconnect();
  release.Open();
}

TEST(LifecycleTest, AlreadyConnected) {
  Upgraded u([](PeerConnection&) {});
  try {
    u.client->Connect();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "The websocket is already connected!");
  }
  EXPECT_TRUE(u.client->Connected());
  u.client->Disconnect();
}

}  // namespace
}  // namespace tarnvex::websocket
