#pragma once
// TByteQueue: the received-but-unread bytes of a connection. One lock guards
// every append, extraction and search, and is held across the receive that
// fills the queue, so a reader thread and threads polling the connection never
// reorder, duplicate or lose bytes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace tarnvex::net {

class TByteQueue {
 public:
  static constexpr size_t npos = std::string::npos;

  size_t Size() const;
  bool Empty() const { return Size() == 0; }
  void Clear();
  void Append(std::string_view bytes);
  // Runs `receive(buffer, capacity)` under the lock and appends the bytes it
  // reports (its result when positive). Returns that result unchanged.
  long AppendFrom(size_t capacity, const std::function<long(char*, size_t)>& receive);
  // Removes and returns up to `count` bytes from the head.
  std::string Extract(size_t count);
  // Position of the first `byte` at or after `from`, or npos.
  size_t IndexOf(char byte, size_t from = 0) const;

 private:
  void CompactLocked();

  mutable std::mutex mutex_;
  std::string data_;
  size_t head_ = 0;  // bytes before head_ are already extracted
};

}  // namespace tarnvex::net
