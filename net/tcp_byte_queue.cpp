#include "net/tcp_byte_queue.h"

#include <algorithm>

namespace tarnvex::net {

size_t TByteQueue::Size() const {
  std::lock_guard lock(mutex_);
  return data_.size() - head_;
}

void TByteQueue::Clear() {
  std::lock_guard lock(mutex_);
  data_.clear();
  head_ = 0;
}

void TByteQueue::Append(std::string_view bytes) {
  std::lock_guard lock(mutex_);
  CompactLocked();
  data_.append(bytes);
}

long TByteQueue::AppendFrom(size_t capacity, const std::function<long(char*, size_t)>& receive) {
  std::lock_guard lock(mutex_);
  CompactLocked();
  const size_t old_size = data_.size();
  data_.resize(old_size + capacity);
  long received = -1;
  try {
    received = receive(data_.data() + old_size, capacity);
  } catch (...) {
    data_.resize(old_size);
    throw;
  }
  data_.resize(old_size + static_cast<size_t>(std::max(received, 0L)));
  return received;
}

std::string TByteQueue::Extract(size_t count) {
  std::lock_guard lock(mutex_);
  count = std::min(count, data_.size() - head_);
  std::string out = data_.substr(head_, count);
  head_ += count;
  if (head_ == data_.size()) {
    data_.clear();
    head_ = 0;
  }
  return out;
}

size_t TByteQueue::IndexOf(char byte, size_t from) const {
  std::lock_guard lock(mutex_);
  const size_t found = data_.find(byte, head_ + from);
  return found == std::string::npos ? npos : found - head_;
}

void TByteQueue::CompactLocked() {
  // Drop the extracted head once it outweighs the unread rest, so appends
  // never keep consumed bytes alive for long.
  if (head_ > 0 && head_ >= data_.size() - head_) {
    data_.erase(0, head_);
    head_ = 0;
  }
}

}  // namespace tarnvex::net
