#pragma once
// A scripted loopback HTTP peer for exact-byte tests of HTTP clients: records
// every request head with the number of the connection it came on, and
// answers each with the script's reply.
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/scripted_server.h"

namespace tarnvex::testing {

struct HttpScriptReply {
  std::string bytes;   // sent as they are; empty: stay silent, wait for the next request
  bool close = false;  // close the connection after sending
};

class FakeHttpServer {
 public:
  using Script = std::function<HttpScriptReply(const std::string& head, int index)>;
  explicit FakeHttpServer(Script script) : script_(std::move(script)) {}

  int port() const { return server_.port(); }
  int connections() const { return server_.connections(); }
  std::string Url(const std::string& path) const;
  // (connection number, request head) of every request so far.
  std::vector<std::pair<int, std::string>> Requests();
  std::string Head(size_t index) { return Requests().at(index).second; }

 private:
  void Serve(PeerConnection& peer);

  Script script_;
  std::mutex mutex_;
  std::vector<std::pair<int, std::string>> requests_;
  int next_connection_ = 0;
  ScriptedServer server_{[this](PeerConnection& peer) { Serve(peer); }};
};

// "HTTP/1.1 200 OK" with a Content-Type and a Content-Length.
std::string HttpOk(const std::string& body, const std::string& content_type = "application/json; charset=UTF-8");
// The first line of a request head.
std::string RequestLine(const std::string& head);

}  // namespace tarnvex::testing
