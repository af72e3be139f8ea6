// WebSocket client over loopback: receive throughput, small-message round
// trips and connect/handshake/release time against an in-process server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "websocket/websocket_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarnvex::websocket::TEventType;
using tarnvex::websocket::TWebSocketClient;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool ReadExactly(int fd, char* out, size_t n) {
  while (n > 0) {
    const ssize_t got = ::recv(fd, out, n, 0);
    if (got <= 0) return false;
    out += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

std::string Frame(const std::string& payload) {
  std::string out = "\x81";
  const size_t n = payload.size();
  if (n <= 125) {
    out += static_cast<char>(n);
  } else if (n < 65536) {
    out += static_cast<char>(126);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(n & 0xFF);
  } else {
    out += static_cast<char>(127);
    for (int s = 56; s >= 0; s -= 8) out += static_cast<char>((static_cast<uint64_t>(n) >> s) & 0xFF);
  }
  return out + payload;
}

// One client frame, unmasked; false when the client went away.
bool ReadClientFrame(int fd, std::string& payload) {
  unsigned char head[2];
  if (!ReadExactly(fd, reinterpret_cast<char*>(head), 2)) return false;
  uint64_t n = head[1] & 0x7F;
  if (n >= 126) {
    unsigned char ext[8];
    const size_t k = n == 126 ? 2 : 8;
    if (!ReadExactly(fd, reinterpret_cast<char*>(ext), k)) return false;
    n = 0;
    for (size_t i = 0; i < k; ++i) n = (n << 8) | ext[i];
  }
  unsigned char mask[4];
  if (!ReadExactly(fd, reinterpret_cast<char*>(mask), 4)) return false;
  payload.resize(n);
  if (!ReadExactly(fd, payload.data(), n)) return false;
  for (size_t i = 0; i < n; ++i) payload[i] = static_cast<char>(payload[i] ^ mask[i % 4]);
  return true;
}

// Accepts connections one after another and runs `script` on each after
// answering the handshake.
class Server {
 public:
  explicit Server(std::function<void(int)> script) : script_(std::move(script)) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_fd_, 16);
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        const int fd = ::accept(listen_fd_, nullptr, nullptr);
        if (fd < 0) return;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::string head;
        char c;
        while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
          if (::recv(fd, &c, 1, 0) != 1) break;
          head += c;
        }
        SendAll(fd, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n");
        script_(fd);
        ::close(fd);
      }
    });
  }
  ~Server() {
    ::shutdown(listen_fd_, SHUT_RDWR);
    ::close(listen_fd_);
    thread_.join();
  }
  std::string Url() const { return "ws://127.0.0.1:" + std::to_string(port_) + "/devtools/page/bench"; }

 private:
  std::function<void(int)> script_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

void Percentiles(const char* name, std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  std::printf("%-34s median %8.3f ms  p95 %8.3f ms  (n=%zu)\n", name, samples[samples.size() / 2],
              samples[samples.size() * 95 / 100], samples.size());
}

void ReceiveThroughput(size_t frame_size, size_t total) {
  const size_t frames = total / frame_size;
  const std::string frame = Frame(std::string(frame_size, 'j'));
  Server server([&](int fd) {
    std::string all;
    all.reserve(frame.size() * std::min<size_t>(frames, 64));
    for (size_t sent = 0; sent < frames;) {
      all.clear();
      for (size_t k = 0; k < 64 && sent < frames; ++k, ++sent) all += frame;
      SendAll(fd, all);
    }
    std::string ignored;
    ReadClientFrame(fd, ignored);  // until the client leaves
  });
  std::mutex m;
  std::condition_variable done;
  size_t received = 0;
  auto client = TWebSocketClient::New(server.Url());
  client->SetReadTimeout(25000);
  client->AddEventListener(TEventType::MESSAGE, [&](const std::string& text) {
    std::lock_guard lock(m);
    received += text.size();
    if (received >= frames * frame_size) done.notify_all();
  });
  const auto start = Clock::now();
  client->Connect();
  {
    std::unique_lock lock(m);
    done.wait(lock, [&] { return received >= frames * frame_size; });
  }
  const double seconds = Ms(Clock::now() - start) / 1000.0;
  client->Disconnect();
  std::printf("receive %8zu-byte frames            %8.1f MB/s  (%zu MiB)\n", frame_size,
              static_cast<double>(received) / 1e6 / seconds, total >> 20);
}

void RoundTrips(int count) {
  Server server([](int fd) {
    std::string payload;
    while (ReadClientFrame(fd, payload)) SendAll(fd, Frame(payload));
  });
  std::mutex m;
  std::condition_variable arrived;
  int replies = 0;
  auto client = TWebSocketClient::New(server.Url());
  client->SetReadTimeout(25000);
  client->AddEventListener(TEventType::MESSAGE, [&](const std::string&) {
    std::lock_guard lock(m);
    ++replies;
    arrived.notify_all();
  });
  client->Connect();
  const std::string command = R"({"id":1,"method":"Runtime.evaluate","params":{"expression":"document.title"}})";
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    client->Send(command);
    std::unique_lock lock(m);
    arrived.wait(lock, [&] { return replies > i; });
    samples.push_back(Ms(Clock::now() - start));
  }
  client->Disconnect();
  Percentiles("send + reply round trip", samples);
}

void ConnectAndRelease(int count) {
  Server server([](int fd) {
    std::string ignored;
    ReadClientFrame(fd, ignored);
  });
  std::vector<double> connect, release;
  for (int i = 0; i < count; ++i) {
    auto start = Clock::now();
    auto client = TWebSocketClient::New(server.Url());
    client->SetReadTimeout(25000);
    client->Connect();
    connect.push_back(Ms(Clock::now() - start));
    start = Clock::now();
    client->Disconnect();
    client.reset();
    release.push_back(Ms(Clock::now() - start));
  }
  Percentiles("connect + handshake", connect);
  Percentiles("disconnect + release (both tasks)", release);
}

}  // namespace

int main() {
  ReceiveThroughput(200, 16u << 20);
  ReceiveThroughput(16384, 64u << 20);
  ReceiveThroughput(32u << 20, 64u << 20);
  RoundTrips(2000);
  ConnectAndRelease(200);
  return 0;
}
