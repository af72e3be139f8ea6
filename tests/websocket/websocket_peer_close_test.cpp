// A peer that ends its side in the middle of a frame, or right after frames
// the client must answer: once the reader has met the end, the client must
// report itself disconnected, even though unread bytes were left in its
// buffer (they used to keep Connected() true for ever).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/scripted_server.h"
#include "tests/support/websocket_peer.h"
#include "websocket/websocket_client.h"

namespace tarnvex::websocket {
namespace {

using testing::PeerConnection;
using testing::ScriptedServer;

struct PeerEnd {
  const char* name;
  std::string bytes;  // sent after the handshake, then the peer ends its side
};

class PeerCloseTest : public ::testing::TestWithParam<PeerEnd> {};

TEST_P(PeerCloseTest, ClientEndsDisconnected) {
  const std::string bytes = GetParam().bytes;
  ScriptedServer server([&](PeerConnection& peer) {
    testing::AcceptHandshake(peer);
    peer.Send(bytes);
    peer.ShutdownWrite();
    peer.WaitForPeerClose(10000);
  });
  auto client = TWebSocketClient::New("ws://127.0.0.1:" + std::to_string(server.port()) + "/devtools/page/ID");
  client->SetReadTimeout(5000);
  int errors = 0;
  client->AddEventListener(TEventType::ERROR, TEventListenerError([&](const std::exception&, bool&) { ++errors; }));
  try {
    client->Connect();
  } catch (const Exception& e) {
    // The peer may be gone already when Connect looks, right after starting
    // the reader; that is reported to the caller.
    EXPECT_EQ(e.Message().rfind("Websocket not connected or timeout ", 0), 0u) << e.Message();
  }
  bool connected = true;
  for (int i = 0; i < 500 && connected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    connected = client->Connected();
  }
  EXPECT_FALSE(connected);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, PeerCloseTest,
    ::testing::Values(PeerEnd{"TruncatedPayload", std::string("\x81\x05he", 4)},
                      PeerEnd{"TruncatedLength", std::string("\x81\x7e\x00", 3)},
                      PeerEnd{"PingThenClose", std::string("\x89\x00\x88\x02\x03\xe8", 6)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnvex::websocket
