#pragma once
// A loopback TCP server for exact-byte tests: every accepted connection is
// handed to the test's handler on a thread of its own.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarnvex::testing {

class PeerConnection {
 public:
  explicit PeerConnection(int fd) : fd_(fd) {}
  ~PeerConnection();
  PeerConnection(const PeerConnection&) = delete;
  PeerConnection& operator=(const PeerConnection&) = delete;

  // Reads until `delimiter` has arrived; returns everything up to and including
  // it (or what arrived before the peer closed or the time ran out).
  std::string ReadUntil(std::string_view delimiter, int timeout_ms = 5000);
  // Reads exactly `count` bytes (fewer on close or time-out).
  std::string ReadBytes(size_t count, int timeout_ms = 5000);
  // Everything until the peer closes (or the time runs out).
  std::string ReadAll(int timeout_ms = 5000);
  bool Send(std::string_view bytes);
  // Half-close: the peer reads end of stream.
  void ShutdownWrite();
  void Close();
  // True once the peer has closed its side (reads end of stream).
  bool WaitForPeerClose(int timeout_ms = 5000);

 private:
  bool Fill(int timeout_ms);
  int fd_;
  std::string pending_;
};

class ScriptedServer {
 public:
  using Handler = std::function<void(PeerConnection&)>;
  explicit ScriptedServer(Handler handler);
  // Wakes every handler still waiting on its peer, then joins them all.
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  int connections() const { return connections_; }

 private:
  void AcceptLoop();

  Handler handler_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::thread accept_thread_;
  std::mutex mutex_;
  std::vector<std::thread> handlers_;
  std::vector<int> open_fds_;  // connections whose handler still runs
};

}  // namespace tarnvex::testing
