#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace tarnvex::testing {
namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

PeerConnection::~PeerConnection() { Close(); }

bool PeerConnection::Fill(int timeout_ms) {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0) return false;
  char buffer[65536];
  const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
  if (n <= 0) return false;
  pending_.append(buffer, static_cast<size_t>(n));
  return true;
}

std::string PeerConnection::ReadUntil(std::string_view delimiter, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  size_t found;
  while ((found = pending_.find(delimiter)) == std::string::npos) {
    if (!Fill(MillisLeft(deadline))) {
      std::string all;
      all.swap(pending_);
      return all;
    }
  }
  std::string line = pending_.substr(0, found + delimiter.size());
  pending_.erase(0, found + delimiter.size());
  return line;
}

std::string PeerConnection::ReadBytes(size_t count, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (pending_.size() < count && Fill(MillisLeft(deadline))) {
  }
  std::string bytes = pending_.substr(0, count);
  pending_.erase(0, bytes.size());
  return bytes;
}

std::string PeerConnection::ReadAll(int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Fill(MillisLeft(deadline))) {
  }
  std::string all;
  all.swap(pending_);
  return all;
}

bool PeerConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void PeerConnection::ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

void PeerConnection::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool PeerConnection::WaitForPeerClose(int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (fd_ >= 0) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, MillisLeft(deadline)) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return true;
    pending_.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

ScriptedServer::ScriptedServer(Handler handler) : handler_(std::move(handler)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    throw std::runtime_error("scripted server cannot listen");
  }
  port_ = ntohs(addr.sin_port);
  accept_thread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  ::shutdown(listen_fd_, SHUT_RDWR);
  ::close(listen_fd_);
  accept_thread_.join();
  std::vector<std::thread> handlers;
  {
    std::lock_guard lock(mutex_);
    for (const int fd : open_fds_) ::shutdown(fd, SHUT_RDWR);
    handlers.swap(handlers_);
  }
  for (auto& t : handlers) t.join();
}

void ScriptedServer::AcceptLoop() {
  for (;;) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    ++connections_;
    std::lock_guard lock(mutex_);
    open_fds_.push_back(fd);
    handlers_.emplace_back([this, fd] {
      PeerConnection connection(fd);
      handler_(connection);
      std::lock_guard forget(mutex_);
      std::erase(open_fds_, fd);
    });
  }
}

}  // namespace tarnvex::testing
