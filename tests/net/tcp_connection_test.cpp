#include "net/tcp_connection.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/scripted_server.h"

namespace tarnvex::net {
namespace {

using testing::PeerConnection;
using testing::ScriptedServer;

// A connected client; the server side runs `script`.
struct Session {
  explicit Session(ScriptedServer::Handler script, int read_timeout = 5000) : server(std::move(script)) {
    client.SetHost("127.0.0.1");
    client.SetPort(static_cast<uint16_t>(server.port()));
    client.SetReadTimeout(read_timeout);
    client.Connect();
  }
  TIOHandlerStack& io() { return *client.IOHandler(); }

  ScriptedServer server;
  TTcpClient client;
};

// A signal from the test thread to a server script.
struct Gate {
  void Open() { promise.set_value(); }
  void Wait() { future.wait_for(std::chrono::seconds(10)); }
  std::promise<void> promise;
  std::shared_future<void> future = promise.get_future().share();
};

TEST(SocketErrorTest, MessageCarriesCodeAndText) {
  const ESocketError refused(ECONNREFUSED);
  EXPECT_EQ(refused.LastError(), ECONNREFUSED);
  EXPECT_EQ(refused.Message(), "Socket Error # " + std::to_string(ECONNREFUSED) + "\r\nConnection refused.");
  EXPECT_EQ(refused.TypeName(), "ESocketError");
  EXPECT_EQ(ESocketError(99999).Message(), "Socket Error # 99999\r\n");
  try {
    RaiseSocketError(ENOTSOCK);
    FAIL();
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.TypeName(), "ENotASocket");
    EXPECT_EQ(SocketErrorText(e.LastError()), "Socket operation on non-socket.");
  }
}

TEST(TcpConnectTest, RefusedPortRaisesSocketErrorAndCanRetry) {
  for (const int connect_timeout : {0, -1, 2000}) {
    TTcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(static_cast<uint16_t>(testing::FreePort()));
    client.SetConnectTimeout(connect_timeout);
    try {
      client.Connect();
      FAIL() << "connected to a closed port";
    } catch (const ESocketError& e) {
      EXPECT_EQ(e.LastError(), ECONNREFUSED) << connect_timeout;
      EXPECT_NE(e.Message().find("Connection refused."), std::string::npos);
    }
    EXPECT_FALSE(client.Connected());
    // The failed attempt released its socket; the same object connects later.
    ScriptedServer server([](PeerConnection& peer) { peer.WaitForPeerClose(); });
    client.SetPort(static_cast<uint16_t>(server.port()));
    client.Connect();
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
  }
}

TEST(TcpConnectTest, MissingSettingsAndDoubleConnect) {
  TTcpClient client;
  EXPECT_THROW(client.Connect(), EHostRequired);
  client.SetHost("127.0.0.1");
  EXPECT_THROW(client.Connect(), EPortRequired);

  Gate done;
  ScriptedServer server([&](PeerConnection&) { done.Wait(); });
  client.SetPort(static_cast<uint16_t>(server.port()));
  client.Connect();
  try {
    client.Connect();
    FAIL();
  } catch (const EAlreadyConnected& e) {
    EXPECT_EQ(e.Message(), "Already connected.");
  }
  EXPECT_TRUE(client.Connected());
  done.Open();
}

TEST(TcpConnectTest, LocalhostInAnyCaseAndUnknownHost) {
  ScriptedServer server([](PeerConnection& peer) { peer.Send("x"); });
  for (const char* name : {"localhost", "LOCALHOST", "LocalHost"}) {
    TTcpClient client;
    client.SetHost(name);
    client.SetPort(static_cast<uint16_t>(server.port()));
    client.SetReadTimeout(5000);
    client.Connect();
    EXPECT_EQ(client.IOHandler()->ReadByte(), 'x') << name;
  }
  TTcpClient unknown;
  unknown.SetHost("no-such-host.invalid");
  unknown.SetPort(80);
  EXPECT_THROW(unknown.Connect(), ESocketError);
}

TEST(TcpConnectTest, ConnectTimeoutOnFullBacklog) {
  // A listener that never accepts, with its queue filled: further SYNs are
  // dropped, so the connect can only end by its time-out.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  TTcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(ntohs(address.sin_port));
  client.SetConnectTimeout(300);
  bool timed_out = false;
  try {
    client.Connect();
  } catch (const EConnectTimeout& e) {
    timed_out = true;
    EXPECT_EQ(e.Message(), "Connect timed out.");
  }
  for (const int fd : fillers) ::close(fd);
  ::close(listener);
  if (!timed_out) GTEST_SKIP() << "this kernel completed the connect despite the full backlog";
  EXPECT_FALSE(client.Connected());
}

TEST(TcpReadTest, BufferedBytesSurviveThePeersClose) {
  Gate sent;
  Session s([&](PeerConnection& peer) {
    peer.Send("abc");
    peer.Close();
    sent.Open();
  });
  sent.Wait();
  std::string got;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(s.client.Connected()) << i;
    got += static_cast<char>(s.io().ReadByte());
  }
  EXPECT_EQ(got, "abc");
  EXPECT_FALSE(s.client.Connected());
  try {
    s.io().ReadByte();
    FAIL();
  } catch (const EConnClosedGracefully& e) {
    EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
  }
  s.client.Disconnect();
  s.client.Disconnect();  // a second close is a no-op
}

TEST(TcpReadTest, IntegersInBothByteOrders) {
  Session s([](PeerConnection& peer) {
    peer.Send(std::string("\x01\x02\x01\x02", 4));
    peer.Send(std::string("\0\0\0\0\0\x01\0\0", 8));
    peer.Send(std::string("\x01\0\0\0\0\0\0\x80", 8));
  });
  EXPECT_EQ(s.io().ReadUInt16(true), 258);
  EXPECT_EQ(s.io().ReadUInt16(false), 0x0201);
  EXPECT_EQ(s.io().ReadUInt64(true), 65536u);
  EXPECT_EQ(s.io().ReadUInt64(false), 0x8000000000000001ull);
}

TEST(TcpReadTest, Lines) {
  struct Case {
    std::string sent;
    std::string line;
  } cases[] = {
      {"abc\r\n", "abc"},
      {"abc\n", "abc"},
      {"\r\n", ""},
      {"a\rb\r\r\n", "a\rb\r"},
      {"a\xE9z\n", "a\xEF\xBF\xBDz"},
      {std::string(16384, 'x') + "\n", std::string(16384, 'x')},
  };
  for (const Case& c : cases) {
    Session s([&](PeerConnection& peer) {
      // In small pieces, so the search resumes across receives.
      for (size_t i = 0; i < c.sent.size(); i += 7000) peer.Send(c.sent.substr(i, 7000));
    });
    EXPECT_EQ(s.io().ReadLn(), c.line) << c.sent.substr(0, 10);
    EXPECT_FALSE(s.io().ReadLnTimedout());
  }
}

TEST(TcpReadTest, LineLimits) {
  for (const bool terminated : {true, false}) {
    Session s([&](PeerConnection& peer) {
      peer.Send(std::string(16385, 'x') + (terminated ? "\n" : ""));
      peer.WaitForPeerClose();
    });
    EXPECT_THROW(s.io().ReadLn(), EReadLnMaxLineLengthExceeded) << terminated;
    s.client.Disconnect();
    s.io().InputBuffer().Clear();
    EXPECT_FALSE(s.client.Connected());
  }
  Session s([](PeerConnection& peer) { peer.Send("abcdef\n"); });
  EXPECT_THROW(s.io().ReadLn(-1, 5), EReadLnMaxLineLengthExceeded);
}

TEST(TcpReadTest, ReadLnTimeoutKeepsThePartialLine) {
  Gate more;
  Session s([&](PeerConnection& peer) {
    peer.Send("par");
    more.Wait();
    peer.Send("tial\n");
    peer.WaitForPeerClose();
  });
  EXPECT_EQ(s.io().ReadLn(200), "");
  EXPECT_TRUE(s.io().ReadLnTimedout());
  more.Open();
  EXPECT_EQ(s.io().ReadLn(), "partial");
  EXPECT_FALSE(s.io().ReadLnTimedout());
}

TEST(TcpReadTest, ReadTimeoutLeavesTheConnectionUsable) {
  Gate go;
  Session s(
      [&](PeerConnection& peer) {
        go.Wait();
        peer.Send("z");
        peer.WaitForPeerClose();
      },
      200);
  try {
    s.io().ReadByte();
    FAIL();
  } catch (const EReadTimeout& e) {
    EXPECT_EQ(e.Message(), "Read timed out.");
  }
  EXPECT_TRUE(s.client.Connected());
  // A new time-out applies to the next wait on the open connection.
  s.client.SetReadTimeout(10000);
  go.Open();
  EXPECT_EQ(s.io().ReadByte(), 'z');
}

TEST(TcpReadTest, StreamsAndDiscards) {
  const std::string body(100000, 'b');
  Session s([&](PeerConnection& peer) {
    peer.Send("0123456789" + body);
    peer.Close();
  });
  std::string head;
  s.io().ReadStream(head, 4);
  EXPECT_EQ(head, "0123");
  s.io().Discard(3);
  std::vector<uint8_t> bytes{'>'};
  s.io().ReadBytes(bytes, 3);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ">789");
  size_t pieces = 0;
  std::string rest;
  s.io().ReadStream([&](std::string_view piece) { rest += piece, ++pieces; }, -1, true);
  EXPECT_EQ(rest, body);
  EXPECT_GE(pieces, 1u);
  EXPECT_THROW(s.io().ReadByte(), EConnClosedGracefully);
}

TEST(TcpReadTest, CountedReadCutShortByThePeerRaises) {
  Session s([](PeerConnection& peer) { peer.Send("short"); });
  std::string out;
  EXPECT_THROW(s.io().ReadStream(out, 10), EConnClosedGracefully);
  EXPECT_EQ(out, "short");
  Session t([](PeerConnection& peer) { peer.Send("drop all of this"); });
  t.io().DiscardAll();
  EXPECT_TRUE(t.io().InputBufferIsEmpty());
}

TEST(TcpReadTest, CheckForDataOnSourceBuffersWithoutRaising) {
  Gate sent;
  Session s([&](PeerConnection& peer) {
    peer.Send("data");
    sent.Open();
    peer.WaitForPeerClose();
  });
  s.io().CheckForDataOnSource(0);  // may or may not find the bytes yet
  sent.Wait();
  s.io().CheckForDataOnSource(5000);
  EXPECT_FALSE(s.io().InputBufferIsEmpty());
  EXPECT_EQ(s.io().InputBuffer().Size(), 4u);
  s.io().InputBuffer().Clear();
  EXPECT_TRUE(s.io().InputBufferIsEmpty());
}

TEST(TcpWriteTest, TextLinesAndEncoding) {
  std::promise<std::string> received;
  Session s([&](PeerConnection& peer) { received.set_value(peer.ReadAll()); });
  s.io().WriteLn("fourteen chars");
  s.io().WriteLn("caf\xC3\xA9!");
  s.io().WriteLn();
  s.io().Write("");
  s.io().Write("\xE2\x82\xAC", TTextEncoding::UTF8);
  s.client.Disconnect();
  EXPECT_EQ(received.get_future().get(), "fourteen chars\r\ncaf?!\r\n\r\n\xE2\x82\xAC");
}

TEST(TcpWriteTest, WriteBufferSendsOnlyOnClose) {
  std::promise<std::string> early;
  std::promise<std::string> all;
  Gate closed;
  Session s([&](PeerConnection& peer) {
    early.set_value(peer.ReadBytes(1, 300));
    closed.Wait();
    all.set_value(peer.ReadAll());
  });
  s.io().WriteBufferOpen();
  EXPECT_TRUE(s.io().WriteBufferingActive());
  s.io().WriteLn("GET / HTTP/1.1");
  s.io().WriteLn("Host: x");
  EXPECT_EQ(early.get_future().get(), "");
  s.io().WriteBufferClose();
  EXPECT_FALSE(s.io().WriteBufferingActive());
  s.io().WriteBufferOpen();
  s.io().WriteLn("dropped");
  s.io().WriteBufferCancel();
  s.client.Disconnect();
  closed.Open();
  EXPECT_EQ(all.get_future().get(), "GET / HTTP/1.1\r\nHost: x\r\n");
}

TEST(TcpWriteTest, WriteBufferThresholdFlushesWholePieces) {
  std::promise<std::string> early;
  std::promise<std::string> rest;
  Gate closed;
  Session s([&](PeerConnection& peer) {
    early.set_value(peer.ReadBytes(8));
    closed.Wait();
    rest.set_value(peer.ReadAll());
  });
  s.io().WriteBufferOpen(4);
  s.io().Write("abcdefghij");
  EXPECT_EQ(early.get_future().get(), "abcdefgh");
  s.io().WriteBufferClose();
  s.client.Disconnect();
  closed.Open();
  EXPECT_EQ(rest.get_future().get(), "ij");
}

TEST(TcpWriteTest, WritingOnAClosedConnectionRaises) {
  Session s([](PeerConnection& peer) { peer.Close(); });
  EXPECT_THROW(s.io().ReadByte(), EConnClosedGracefully);
  EXPECT_THROW(s.io().WriteLn("late"), EConnClosedGracefully);

  Session t([](PeerConnection& peer) { peer.WaitForPeerClose(); });
  t.client.Disconnect();
  EXPECT_FALSE(t.client.Connected());
  EXPECT_THROW(t.io().Write("late"), EConnClosedGracefully);
}

TEST(TcpConcurrencyTest, DisconnectWakesABlockedReader) {
  Gate finish;
  Session s([&](PeerConnection&) { finish.Wait(); }, -1);
  auto reader = std::async(std::launch::async, [&]() -> std::string {
    try {
      s.io().ReadByte();
      return "read a byte";
    } catch (const ENetException& e) {
      return e.TypeName();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  s.client.Disconnect();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(reader.get(), "EConnClosedGracefully");
  finish.Open();
}

TEST(TcpConcurrencyTest, PollingFromOtherThreadsNeverLosesOrReordersBytes) {
  std::string sent;
  for (int i = 0; i < 200000; ++i) sent += static_cast<char>('a' + i % 26);
  Session s([&](PeerConnection& peer) {
    for (size_t i = 0; i < sent.size(); i += 997) peer.Send(sent.substr(i, 997));
    peer.Close();
  });
  std::atomic<bool> stop{false};
  std::vector<std::thread> pollers;
  for (int i = 0; i < 2; ++i) {
    pollers.emplace_back([&] {
      while (!stop) s.client.Connected();
    });
  }
  std::string got;
  while (got.size() < sent.size()) got += static_cast<char>(s.io().ReadByte());
  stop = true;
  for (auto& t : pollers) t.join();
  EXPECT_EQ(got, sent);
}

}  // namespace
}  // namespace tarnvex::net
