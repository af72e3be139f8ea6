#include "tests/support/browser.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace tarnvex::testing {
namespace {

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// True once the head and as many body bytes as Content-Length announces are in.
bool BodyComplete(const std::string& raw) {
  const size_t end_of_head = raw.find("\r\n\r\n");
  if (end_of_head == std::string::npos) return false;
  std::string head = raw.substr(0, end_of_head);
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t field = head.find("\r\ncontent-length:");
  if (field == std::string::npos) return false;
  const size_t length = std::strtoul(head.c_str() + field + 17, nullptr, 10);
  return raw.size() - end_of_head - 4 >= length;
}

}  // namespace

HttpReply HttpRequest(int port, const std::string& method, const std::string& target,
                      const std::string& body, int timeout_ms) {
  HttpReply reply;
  const int fd = ConnectLoopback(port);
  if (fd < 0) return reply;
  const std::string head = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                           std::to_string(port) + "\r\nConnection: close\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n";
  std::string raw;
  if (SendAll(fd, head + body)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    char buffer[65536];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      raw.append(buffer, static_cast<size_t>(n));
      if (BodyComplete(raw)) break;
    }
  }
  ::close(fd);
  const size_t end_of_head = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/", 0) != 0 || end_of_head == std::string::npos) return reply;
  reply.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
  reply.body = raw.substr(end_of_head + 4);
  // Chromium's DevTools endpoints answer with Content-Length; a chunked body is
  // never expected here.
  return reply;
}

Browser::Browser() : port_(FreePort()) {
  process_ = std::make_unique<ChildProcess>(std::vector<std::string>{
      "/usr/bin/chromium", "--headless", "--remote-debugging-port=" + std::to_string(port_),
      "--user-data-dir=" + profile_.path(), "--no-sandbox", "--disable-gpu", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-quic", "--remote-allow-origins=*", "about:blank"});
  const bool up = WaitUntil([&] { return HttpRequest(port_, "GET", "/json/version").status == 200; },
                            30000);
  if (!up) throw std::runtime_error("chromium did not answer on its DevTools port");
  // The first page exists shortly after the endpoint answers.
  WaitUntil([&] { return ListTargets().find("\"page\"") != std::string::npos; }, 10000);
}

Browser::~Browser() { Kill(); }

void Browser::Kill() { process_->Kill(); }

std::string Browser::ListTargets() const { return HttpRequest(port_, "GET", "/json/list").body; }

std::string Browser::NewTab(const std::string& url) const {
  return HttpRequest(port_, "PUT", "/json/new?" + url).body;
}

FixtureServer::FixtureServer() : server_([this](PeerConnection& c) { Answer(c); }) {}

std::string FixtureServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port()) + path;
}

void FixtureServer::Add(const std::string& path, const std::string& body,
                        const std::string& content_type) {
  std::lock_guard lock(mutex_);
  pages_[path] = {content_type, body};
}

int FixtureServer::Hits(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = hits_.find(path);
  return it == hits_.end() ? 0 : it->second;
}

void FixtureServer::Answer(PeerConnection& connection) {
  const std::string request = connection.ReadUntil("\r\n\r\n");
  const size_t first_space = request.find(' ');
  const size_t second_space = request.find(' ', first_space + 1);
  if (first_space == std::string::npos || second_space == std::string::npos) return;
  std::string path = request.substr(first_space + 1, second_space - first_space - 1);
  path = path.substr(0, path.find('?'));
  std::string status = "404 Not Found";
  std::string type = "text/plain";
  std::string body = "not found";
  {
    std::lock_guard lock(mutex_);
    ++hits_[path];
    const auto it = pages_.find(path);
    if (it != pages_.end()) {
      status = "200 OK";
      type = it->second.first;
      body = it->second.second;
    }
  }
  connection.Send("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
                  std::to_string(body.size()) +
                  "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace tarnvex::testing
