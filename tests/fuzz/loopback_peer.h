#pragma once
// The peer of the network fuzz targets: a loopback listener in the fuzzing
// process whose thread answers each connection with the bytes of the current
// input (after an optional rewrite that sees the client's request), then ends
// its side so the client meets end of stream instead of a time-out.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tarnvex::fuzzing {

class LoopbackPeer {
 public:
  // Builds the answer from the request head the client sent.
  using Answer = std::function<std::string(const std::string& request)>;

  LoopbackPeer() {
    listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_fd_, 16) != 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    port_ = ntohs(address.sin_port);
    std::thread([this] { Serve(); }).detach();  // lives as long as the fuzzing process
  }

  int port() const { return port_; }

  // Sets the answer of the next connection(s) until the next call.
  void SetAnswer(Answer answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
  }

 private:
  void Serve() {
    for (;;) {
      const int fd = accept(listen_fd_, nullptr, nullptr);
      if (fd < 0) continue;
      Answer answer;
      {
        std::lock_guard lock(mutex_);
        answer = answer_;
      }
      const std::string reply = answer ? answer(ReadHead(fd)) : std::string();
      for (size_t sent = 0; sent < reply.size();) {
        const ssize_t n = send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      shutdown(fd, SHUT_WR);
      Drain(fd);
      close(fd);
    }
  }

  // The request head (up to the blank line), waiting briefly for it.
  static std::string ReadHead(int fd) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) break;
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<size_t>(n));
    }
    return head;
  }

  // Reads until the client closes, so closing here sends no reset that could
  // overtake the answer.
  static void Drain(int fd) {
    char buffer[4096];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) return;
      if (recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
  }

  int listen_fd_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  Answer answer_;
};

}  // namespace tarnvex::fuzzing
