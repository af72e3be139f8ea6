#include "tests/support/fake_http_server.h"

namespace tarnvex::testing {

std::string FakeHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port()) + path;
}

std::vector<std::pair<int, std::string>> FakeHttpServer::Requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

void FakeHttpServer::Serve(PeerConnection& peer) {
  int connection = 0;
  {
    std::lock_guard lock(mutex_);
    connection = next_connection_++;
  }
  for (;;) {
    std::string head = peer.ReadUntil("\r\n\r\n", 20000);
    if (!head.ends_with("\r\n\r\n")) return;
    int index = 0;
    {
      std::lock_guard lock(mutex_);
      index = static_cast<int>(requests_.size());
      requests_.emplace_back(connection, head);
    }
    HttpScriptReply reply = script_(head, index);
    if (!reply.bytes.empty()) peer.Send(reply.bytes);
    if (reply.close) return;
  }
}

std::string HttpOk(const std::string& body, const std::string& content_type) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + content_type + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

std::string RequestLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }

}  // namespace tarnvex::testing
