#pragma once
// TIOHandlerStack: buffered, blocking I/O over one TCP socket. Reads are served
// from InputBuffer, which is filled from the socket in receives of up to
// RecvBufferSize bytes; every wait for data is bounded by ReadTimeout.
//
// Threads: one thread reads; other threads may call Connected, Close and (under
// the owner's own lock) Write concurrently. Close from another thread wakes a
// reader waiting for data, whose read then raises.
#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/net_exceptions.h"
#include "net/tcp_byte_queue.h"
#include "net/uri.h"

namespace tarnvex::net {

// Text encodings of the handler's text reads and writes.
enum class TTextEncoding {
  USASCII,  // a character above U+007F is written as "?"; a byte above 0x7F reads as U+FFFD
  UTF8,     // invalid sequences read as U+FFFD
};

class TIOHandlerStack {
 public:
  static constexpr int RecvBufferSize = 32768;
  static constexpr int SendBufferSize = 32768;

  TIOHandlerStack();
  ~TIOHandlerStack();
  TIOHandlerStack(const TIOHandlerStack&) = delete;
  TIOHandlerStack& operator=(const TIOHandlerStack&) = delete;

  // Copies taken from the connection at Connect. 0 and -1 mean no limit.
  std::string Host;
  uint16_t Port = 0;
  TIPVersion IPVersion = TIPVersion::IPv4;
  std::atomic<int> ConnectTimeout{0};
  std::atomic<int> ReadTimeout{-1};
  bool UseNagle = true;
  int MaxLineLength = 16384;
  TTextEncoding DefStringEncoding = TTextEncoding::USASCII;

  // Empties both buffers, resolves Host and connects within ConnectTimeout.
  // On failure the socket is released and the exception re-raised.
  void Open();
  // Marks the socket unallocated, shuts it down (waking a waiting reader),
  // closes it and ends write buffering. InputBuffer is kept.
  void Close();
  bool Opened() const { return opened_; }
  bool ClosedGracefully() const { return closed_gracefully_; }

  // True while unread bytes remain, or the socket is open and no close by the
  // peer has been noticed. Never blocks; notices a peer's close.
  bool Connected();
  // Closes the socket once ClosedGracefully is set; raises
  // EConnClosedGracefully when `raise` and the socket is closed and the input
  // buffer is empty (or `ignore_buffer`).
  void CheckForDisconnect(bool raise = true, bool ignore_buffer = false);
  // Waits up to `timeout_ms` for bytes and buffers them; raises nothing on
  // time-out or when not connected.
  void CheckForDataOnSource(int timeout_ms = 0);
  // Asks for the close: the next check closes the socket.
  void CloseGracefully();

  TByteQueue& InputBuffer() { return input_buffer_; }
  bool InputBufferIsEmpty() const { return input_buffer_.Empty(); }

  uint8_t ReadByte();
  // `convert`: the value is in network byte order (big-endian) on the wire.
  uint16_t ReadUInt16(bool convert = true);
  uint64_t ReadUInt64(bool convert = true);
  // Waits for `count` bytes and extracts them into `buffer` (appending when
  // `append`, replacing its content otherwise).
  void ReadBytes(std::vector<uint8_t>& buffer, int64_t count, bool append = true);
  // One line ending in LF (a CR in front of it is dropped). `timeout_ms` -1
  // uses ReadTimeout per wait; 0 or more also bounds the whole call. On
  // time-out ReadLnTimedout is set and the result is empty. A line longer than
  // `max_line_length` (-1: MaxLineLength) raises EReadLnMaxLineLengthExceeded.
  std::string ReadLn(int timeout_ms = -1, int max_line_length = -1);
  std::string ReadLn(TTextEncoding encoding, int timeout_ms = -1, int max_line_length = -1);
  bool ReadLnTimedout() const { return read_ln_timed_out_; }

  using Sink = std::function<void(std::string_view)>;
  // `count` >= 0: exactly that many bytes (a close before the end raises
  // EConnClosedGracefully). `count` -1: all bytes until the peer closes, the
  // close raising nothing (`read_until_disconnect` is implied by -1). Bytes go to the sink in
  // pieces as they arrive, so memory stays bounded by the sink.
  void ReadStream(const Sink& sink, int64_t count = -1, bool read_until_disconnect = false);
  void ReadStream(std::string& out, int64_t count = -1, bool read_until_disconnect = false);
  void Discard(int64_t count);
  // Drops everything until the peer closes; the close itself raises nothing.
  void DiscardAll();

  // Sends the bytes (or collects them while write buffering is on). Writing on
  // a closed connection raises EConnClosedGracefully.
  void Write(std::span<const uint8_t> buffer);
  void Write(std::string_view text);
  void Write(std::string_view text, TTextEncoding encoding);
  // The text and CR LF; an empty text still sends CR LF.
  void WriteLn(std::string_view text = {});
  void WriteLn(std::string_view text, TTextEncoding encoding);

  // -1: no threshold, nothing is sent before WriteBufferClose. A positive
  // threshold flushes the buffer in pieces of that size once reached.
  void WriteBufferOpen(int threshold = -1);
  // Sends everything collected in one write and ends buffering (also when the
  // send raises).
  void WriteBufferClose();
  void WriteBufferCancel();
  bool WriteBufferingActive() const;

 private:
  class SocketUse;

  // One wait-and-receive step; returns the bytes received, 0 when nothing came
  // (or the connection is closed and `raise_when_disconnected` is false), -1 on
  // a time-out that does not raise. `timeout_ms` -1 means ReadTimeout.
  long ReadFromSource(bool raise_when_disconnected, int timeout_ms, bool raise_on_timeout);
  // Waits until at least `count` bytes are buffered.
  void WaitForBytes(size_t count);
  // Streams exactly `count` bytes, or with a negative count everything until
  // the peer closes, to the sink (which may be empty: the bytes are dropped).
  void CopyToSink(const Sink& sink, int64_t count);
  void SendDirect(std::span<const uint8_t> bytes);
  void Resolve(int family, sockaddr_storage& address, socklen_t& length) const;
  void ConnectSocket(int fd, const sockaddr* address, socklen_t length);
  bool SocketAllocated() const;
  void CloseOrphansLocked();

  TByteQueue input_buffer_;
  mutable std::mutex write_mutex_;  // guards the write buffer and its flags
  std::vector<uint8_t> write_buffer_;
  bool write_buffering_ = false;
  int write_buffer_threshold_ = -1;

  std::atomic<bool> opened_{false};
  std::atomic<bool> closed_gracefully_{false};
  bool read_ln_timed_out_ = false;

  // The socket: the lock is taken while it is closed and while a thread starts
  // or ends using the descriptor, so a descriptor in use is never closed (and
  // so never reused by another open) under a thread waiting on it.
  mutable std::mutex socket_mutex_;
  int fd_ = -1;
  bool allocated_ = false;
  int users_ = 0;
  std::vector<int> orphans_;  // closed while in use; closed by the last user
};

}  // namespace tarnvex::net
