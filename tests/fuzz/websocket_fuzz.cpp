// Any bytes after the opening handshake: the first input byte picks whether
// the rest is the whole handshake answer ("@ACCEPT@" stands for the accept
// value the client expects) or frames after a valid answer. The client must
// report errors through its listener, never crash, and end its tasks once
// the peer has closed.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fuzz/loopback_peer.h"
#include "websocket/websocket_client.h"

namespace {

std::string RequestKey(const std::string& request) {
  const std::string name = "Sec-WebSocket-Key: ";
  const size_t at = request.find(name);
  if (at == std::string::npos) return {};
  const size_t start = at + name.size();
  return request.substr(start, request.find("\r\n", start) - start);
}

std::string WithAccept(std::string head, const std::string& accept) {
  for (size_t at = head.find("@ACCEPT@"); at != std::string::npos; at = head.find("@ACCEPT@", at + accept.size())) {
    head.replace(at, 8, accept);
  }
  return head;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvex;
  using websocket::TWebSocketClient;
  if (size == 0) return 0;
  static fuzzing::LoopbackPeer peer;
  const bool whole_answer = data[0] & 1;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  peer.SetAnswer([whole_answer, rest](const std::string& request) {
    const std::string accept = TWebSocketClient::ExpectedAccept(RequestKey(request));
    if (whole_answer) return WithAccept(rest, accept);
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " + accept + "\r\n\r\n" + rest;
  });
  auto client = TWebSocketClient::New("ws://127.0.0.1:" + std::to_string(peer.port()) + "/devtools/page/X");
  client->SetConnectTimeout(2000);
  client->SetReadTimeout(500);
  client->SetHeartBeatInterval(60000);
  size_t delivered = 0;
  client->AddEventListener(websocket::TEventType::MESSAGE, websocket::TEventListener(
      [&delivered](const std::string& message) { delivered += message.size(); }));
  client->AddEventListener(websocket::TEventType::ERROR, websocket::TEventListenerError(
      [](const std::exception&, bool&) {}));
  try {
    client->Connect();
  } catch (const Exception&) {
  }
  // The peer has ended its side: the reader meets end of stream and stops.
  while (client->Connected()) usleep(200);
  client.reset();
  // Nothing delivered that was not sent; an invalid UTF-8 byte may grow into
  // the three bytes of U+FFFD.
  if (delivered > 3 * size) std::abort();
  return 0;
}
