#include "net/tcp_io_handler.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>

#include "platform/text.h"

namespace tarnvex::net {

namespace {

using Clock = std::chrono::steady_clock;

// The codes after which the connection is gone for good (Winsock's 10053,
// 10054 and 10058, plus EPIPE, the form Linux gives a send after the close).
bool IsDisconnectError(int code) {
  return code == ECONNABORTED || code == ECONNRESET || code == ESHUTDOWN || code == EPIPE;
}

// A deadline for a wait of `timeout_ms` (negative: none).
class Deadline {
 public:
  explicit Deadline(int timeout_ms)
      : unlimited_(timeout_ms < 0), end_(Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0))) {}
  // Milliseconds left for poll: -1 without a limit, 0 once passed.
  int Remaining() const {
    if (unlimited_) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
  }

 private:
  bool unlimited_;
  Clock::time_point end_;
};

// poll() on one descriptor, retried after signals until the deadline.
int PollOne(int fd, short events, const Deadline& deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int rc = ::poll(&entry, 1, deadline.Remaining());
    if (rc >= 0) return rc;
    if (errno != EINTR) return rc;
  }
}

std::string EncodeText(std::string_view text, TTextEncoding encoding) {
  if (encoding == TTextEncoding::UTF8) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
    } else {
      out += '?';
      i += std::min<size_t>(text::Utf8SequenceLength(lead), text.size() - i);
    }
  }
  return out;
}

std::string DecodeText(std::string_view bytes, TTextEncoding encoding) {
  if (encoding == TTextEncoding::UTF8) return text::SanitizeUtf8(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
    } else {
      out += "\xEF\xBF\xBD";
    }
  }
  return out;
}

}  // namespace

// Holds the descriptor for one wait or transfer; a Close meanwhile only
// shuts the socket down, and the last user closes the descriptor.
class TIOHandlerStack::SocketUse {
 public:
  explicit SocketUse(TIOHandlerStack& handler) : handler_(handler) {
    std::lock_guard lock(handler_.socket_mutex_);
    if (handler_.allocated_) {
      fd_ = handler_.fd_;
      ++handler_.users_;
    }
  }
  ~SocketUse() { Release(); }
  SocketUse(const SocketUse&) = delete;
  SocketUse& operator=(const SocketUse&) = delete;

  explicit operator bool() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Release() {
    if (fd_ < 0) return;
    fd_ = -1;
    std::lock_guard lock(handler_.socket_mutex_);
    if (--handler_.users_ == 0) handler_.CloseOrphansLocked();
  }

 private:
  TIOHandlerStack& handler_;
  int fd_ = -1;
};

TIOHandlerStack::TIOHandlerStack() = default;

TIOHandlerStack::~TIOHandlerStack() { Close(); }

bool TIOHandlerStack::SocketAllocated() const {
  std::lock_guard lock(socket_mutex_);
  return allocated_;
}

void TIOHandlerStack::CloseOrphansLocked() {
  for (const int fd : orphans_) ::close(fd);
  orphans_.clear();
}

void TIOHandlerStack::Open() {
  opened_ = false;
  closed_gracefully_ = false;
  WriteBufferCancel();
  input_buffer_.Clear();
  opened_ = true;
  try {
    sockaddr_storage address{};
    socklen_t address_length = 0;
    const int family = IPVersion == TIPVersion::IPv6 ? AF_INET6 : AF_INET;
    Resolve(family, address, address_length);
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) RaiseSocketError(errno);
    {
      std::lock_guard lock(socket_mutex_);
      fd_ = fd;
      allocated_ = true;
    }
    if (!UseNagle) {
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ConnectSocket(fd, reinterpret_cast<const sockaddr*>(&address), address_length);
  } catch (...) {
    Close();
    throw;
  }
}

void TIOHandlerStack::Resolve(int family, sockaddr_storage& address, socklen_t& length) const {
  const bool v6 = family == AF_INET6;
  std::string host = Host;
  if (text::EqualsNoCase(host, "localhost")) host = v6 ? "::1" : "127.0.0.1";
  if (v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET6, host.c_str(), &in6->sin6_addr) == 1) {
      in6->sin6_family = AF_INET6;
      in6->sin6_port = htons(Port);
      length = sizeof(sockaddr_in6);
      return;
    }
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
    if (::inet_pton(AF_INET, host.c_str(), &in4->sin_addr) == 1) {
      in4->sin_family = AF_INET;
      in4->sin_port = htons(Port);
      length = sizeof(sockaddr_in);
      return;
    }
  }
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
#ifdef AI_IDN
  hints.ai_flags = AI_IDN;
#endif
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0) RaiseSocketError(rc == EAI_SYSTEM ? errno : rc);
  std::memcpy(&address, found->ai_addr, found->ai_addrlen);
  length = found->ai_addrlen;
  ::freeaddrinfo(found);
  if (v6) {
    reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(Port);
  } else {
    reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(Port);
  }
}

void TIOHandlerStack::ConnectSocket(int fd, const sockaddr* address, socklen_t length) {
  if (::connect(fd, address, length) == 0) return;
  if (errno != EINPROGRESS && errno != EINTR) RaiseSocketError(errno);
  const int timeout = ConnectTimeout;
  const int rc = PollOne(fd, POLLOUT, Deadline(timeout > 0 ? timeout : -1));
  if (rc < 0) RaiseSocketError(errno);
  if (rc == 0) throw EConnectTimeout("Connect timed out.");
  int error = 0;
  socklen_t error_length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_length) != 0) RaiseSocketError(errno);
  if (error != 0) RaiseSocketError(error);
}

void TIOHandlerStack::Close() {
  {
    std::lock_guard lock(socket_mutex_);
    if (allocated_) {
      allocated_ = false;
      // Shutting down both directions wakes a thread waiting in poll or recv
      // on this socket; the descriptor itself is closed by its last user.
      ::shutdown(fd_, SHUT_RDWR);
      orphans_.push_back(fd_);
      fd_ = -1;
      if (users_ == 0) CloseOrphansLocked();
    }
  }
  WriteBufferCancel();
  opened_ = false;
}

void TIOHandlerStack::CloseGracefully() { closed_gracefully_ = true; }

void TIOHandlerStack::CheckForDisconnect(bool raise, bool ignore_buffer) {
  if (closed_gracefully_ && SocketAllocated()) Close();
  if (raise && !SocketAllocated() && (ignore_buffer || input_buffer_.Empty())) {
    throw EConnClosedGracefully("Connection Closed Gracefully.");
  }
}

long TIOHandlerStack::ReadFromSource(bool raise_when_disconnected, int timeout_ms, bool raise_on_timeout) {
  if (timeout_ms == -1) {
    timeout_ms = ReadTimeout;
    if (timeout_ms == 0) timeout_ms = -1;
  }
  CheckForDisconnect(raise_when_disconnected, false);
  if (!SocketAllocated()) {
    if (raise_when_disconnected) throw ENotConnected("Not Connected");
    return 0;
  }
  const Deadline deadline(timeout_ms);
  long received = 0;
  for (;;) {
    SocketUse use(*this);
    if (!use) throw EConnClosedGracefully("Connection Closed Gracefully.");
    const int rc = PollOne(use.fd(), POLLIN, deadline);
    if (rc < 0) RaiseSocketError(errno);
    if (rc == 0) {
      if (raise_on_timeout) throw EReadTimeout("Read timed out.");
      return -1;
    }
    if (!SocketAllocated()) throw EConnClosedGracefully("Connection Closed Gracefully.");
    int error = 0;
    received = input_buffer_.AppendFrom(RecvBufferSize, [&](char* buffer, size_t capacity) {
      const long n = ::recv(use.fd(), buffer, capacity, MSG_DONTWAIT);
      if (n < 0) error = errno;
      return n;
    });
    if (received >= 0) {
      if (received == 0) closed_gracefully_ = true;
      break;
    }
    // Another thread took the bytes first, or a signal: wait again.
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) continue;
    if (error == ETIMEDOUT) {
      if (raise_on_timeout) throw EReadTimeout("Read timed out.");
      return -1;
    }
    if (IsDisconnectError(error)) {
      closed_gracefully_ = true;
      use.Release();
      Close();
      if (input_buffer_.Empty() && raise_when_disconnected) RaiseSocketError(error);
      return 0;
    }
    RaiseSocketError(error);
  }
  CheckForDisconnect(raise_when_disconnected, false);
  return received;
}

bool TIOHandlerStack::Connected() {
  // Bytes still to be read keep the connection usable whatever the socket's
  // state; the socket is looked at once they are gone (a byte-wise reader
  // would otherwise poll it once per byte).
  if (!input_buffer_.Empty()) return true;
  // Peek rather than receive: this runs on threads other than the reader, and
  // taking bytes into the buffer here could leave the reader waiting on a
  // socket that no longer has them.
  {
    SocketUse use(*this);
    if (use && PollOne(use.fd(), POLLIN, Deadline(0)) > 0) {
      char byte;
      const long n = ::recv(use.fd(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
      if (n == 0) {
        closed_gracefully_ = true;
      } else if (n < 0) {
        const int error = errno;
        if (IsDisconnectError(error)) {
          closed_gracefully_ = true;
        } else if (error != EAGAIN && error != EWOULDBLOCK && error != EINTR) {
          RaiseSocketError(error);
        }
      }
    }
  }
  CheckForDisconnect(false, false);
  if (!input_buffer_.Empty()) return true;  // the reader may have filled it meanwhile
  return opened_ && SocketAllocated() && !closed_gracefully_;
}

void TIOHandlerStack::CheckForDataOnSource(int timeout_ms) {
  if (!Connected()) return;
  ReadFromSource(false, timeout_ms, false);
}

void TIOHandlerStack::WaitForBytes(size_t count) {
  while (input_buffer_.Size() < count) {
    const long received = ReadFromSource(false, -1, true);
    if (received <= 0 || input_buffer_.Size() < count) CheckForDisconnect(true, true);
  }
}

uint8_t TIOHandlerStack::ReadByte() {
  WaitForBytes(1);
  return static_cast<uint8_t>(input_buffer_.Extract(1)[0]);
}

namespace {

uint64_t BigEndian(const std::string& bytes) {
  uint64_t value = 0;
  for (const char c : bytes) value = (value << 8) | static_cast<uint8_t>(c);
  return value;
}

uint64_t LittleEndian(const std::string& bytes) {
  uint64_t value = 0;
  for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) value = (value << 8) | static_cast<uint8_t>(*it);
  return value;
}

}  // namespace

uint16_t TIOHandlerStack::ReadUInt16(bool convert) {
  WaitForBytes(2);
  const std::string bytes = input_buffer_.Extract(2);
  return static_cast<uint16_t>(convert ? BigEndian(bytes) : LittleEndian(bytes));
}

uint64_t TIOHandlerStack::ReadUInt64(bool convert) {
  WaitForBytes(8);
  const std::string bytes = input_buffer_.Extract(8);
  return convert ? BigEndian(bytes) : LittleEndian(bytes);
}

void TIOHandlerStack::ReadBytes(std::vector<uint8_t>& buffer, int64_t count, bool append) {
  if (!append) buffer.clear();
  if (count <= 0) return;
  CopyToSink([&](std::string_view piece) { buffer.insert(buffer.end(), piece.begin(), piece.end()); }, count);
}

std::string TIOHandlerStack::ReadLn(int timeout_ms, int max_line_length) {
  return ReadLn(DefStringEncoding, timeout_ms, max_line_length);
}

std::string TIOHandlerStack::ReadLn(TTextEncoding encoding, int timeout_ms, int max_line_length) {
  const size_t maximum = static_cast<size_t>(max_line_length < 0 ? MaxLineLength : max_line_length);
  read_ln_timed_out_ = false;
  // An explicit time-out bounds the whole call, not only each wait.
  const Deadline whole_call(timeout_ms);
  size_t searched = 0;
  size_t terminator = TByteQueue::npos;
  for (;;) {
    terminator = input_buffer_.IndexOf('\n', searched);
    const size_t line_length = terminator == TByteQueue::npos ? input_buffer_.Size() : terminator;
    if (line_length > maximum) throw EReadLnMaxLineLengthExceeded("Max line length exceeded.");
    if (terminator != TByteQueue::npos) break;
    searched = line_length;
    CheckForDisconnect(true, true);
    int wait = -1;
    if (timeout_ms >= 0) {
      wait = whole_call.Remaining();
      if (wait == 0 && timeout_ms > 0) {
        read_ln_timed_out_ = true;
        return {};
      }
    }
    if (ReadFromSource(true, wait, false) == -1) {
      read_ln_timed_out_ = true;
      return {};
    }
  }
  std::string line = input_buffer_.Extract(terminator + 1);
  line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return DecodeText(line, encoding);
}

void TIOHandlerStack::CopyToSink(const Sink& sink, int64_t count) {
  const bool until_close = count < 0;
  int64_t remaining = count;
  while (until_close || remaining > 0) {
    if (input_buffer_.Empty()) {
      if (!until_close) {
        WaitForBytes(1);
      } else {
        try {
          if (ReadFromSource(false, -1, true) <= 0 && input_buffer_.Empty()) break;
        } catch (const EConnClosedGracefully&) {
          break;
        }
      }
    }
    const size_t wanted = until_close ? std::numeric_limits<size_t>::max() : static_cast<size_t>(remaining);
    const std::string piece = input_buffer_.Extract(wanted);
    remaining -= static_cast<int64_t>(piece.size());
    if (sink) sink(piece);
  }
}

void TIOHandlerStack::ReadStream(const Sink& sink, int64_t count, bool /*read_until_disconnect*/) {
  CopyToSink(sink, count);
}

void TIOHandlerStack::ReadStream(std::string& out, int64_t count, bool /*read_until_disconnect*/) {
  CopyToSink([&](std::string_view piece) { out.append(piece); }, count);
}

void TIOHandlerStack::Discard(int64_t count) {
  if (count > 0) CopyToSink(nullptr, count);
}

void TIOHandlerStack::DiscardAll() { CopyToSink(nullptr, -1); }

void TIOHandlerStack::Write(std::span<const uint8_t> buffer) {
  if (buffer.empty()) return;
  std::vector<uint8_t> to_send;
  {
    std::lock_guard lock(write_mutex_);
    if (write_buffering_) {
      write_buffer_.insert(write_buffer_.end(), buffer.begin(), buffer.end());
      if (write_buffer_threshold_ <= 0) return;
      const size_t threshold = static_cast<size_t>(write_buffer_threshold_);
      const size_t flush = write_buffer_.size() - write_buffer_.size() % threshold;
      if (flush == 0) return;
      to_send.assign(write_buffer_.begin(), write_buffer_.begin() + static_cast<long>(flush));
      write_buffer_.erase(write_buffer_.begin(), write_buffer_.begin() + static_cast<long>(flush));
    }
  }
  if (!to_send.empty()) {
    const size_t threshold = static_cast<size_t>(write_buffer_threshold_);
    for (size_t offset = 0; offset < to_send.size(); offset += threshold) {
      SendDirect(std::span(to_send).subspan(offset, threshold));
    }
    return;
  }
  SendDirect(buffer);
}

void TIOHandlerStack::Write(std::string_view text) { Write(text, DefStringEncoding); }

void TIOHandlerStack::Write(std::string_view text, TTextEncoding encoding) {
  const std::string bytes = EncodeText(text, encoding);
  Write(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void TIOHandlerStack::WriteLn(std::string_view text) { WriteLn(text, DefStringEncoding); }

void TIOHandlerStack::WriteLn(std::string_view text, TTextEncoding encoding) {
  Write(EncodeText(text, encoding) + "\r\n", TTextEncoding::UTF8);
}

void TIOHandlerStack::SendDirect(std::span<const uint8_t> bytes) {
  CheckForDisconnect(true, true);
  SocketUse use(*this);
  if (!use) throw EConnClosedGracefully("Connection Closed Gracefully.");
  // A peer that stops reading must not hold a writer forever: each wait for
  // room in the socket is bounded by ReadTimeout as well.
  const int timeout = ReadTimeout;
  size_t sent = 0;
  bool accepted_nothing = false;
  while (sent < bytes.size() && !accepted_nothing) {
    const long n = ::send(use.fd(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) {
      closed_gracefully_ = true;
      accepted_nothing = true;
      continue;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      const int rc = PollOne(use.fd(), POLLOUT, Deadline(timeout > 0 ? timeout : -1));
      if (rc < 0) RaiseSocketError(errno);
      if (rc == 0) RaiseSocketError(ETIMEDOUT);
      if (!SocketAllocated()) throw EConnClosedGracefully("Connection Closed Gracefully.");
      continue;
    }
    if (IsDisconnectError(error)) {
      closed_gracefully_ = true;
      use.Release();
      Close();
    }
    RaiseSocketError(error);
  }
  use.Release();
  if (accepted_nothing) CheckForDisconnect(true, true);
}

void TIOHandlerStack::WriteBufferOpen(int threshold) {
  std::lock_guard lock(write_mutex_);
  write_buffer_.clear();
  write_buffer_threshold_ = threshold;
  write_buffering_ = true;
}

void TIOHandlerStack::WriteBufferClose() {
  std::vector<uint8_t> collected;
  {
    std::lock_guard lock(write_mutex_);
    collected.swap(write_buffer_);
    write_buffering_ = false;
  }
  if (!collected.empty()) SendDirect(collected);
}

void TIOHandlerStack::WriteBufferCancel() {
  std::lock_guard lock(write_mutex_);
  write_buffer_.clear();
  write_buffering_ = false;
}

bool TIOHandlerStack::WriteBufferingActive() const {
  std::lock_guard lock(write_mutex_);
  return write_buffering_;
}

}  // namespace tarnvex::net
