#include "platform/thread.h"

#include <chrono>

namespace tarnvex {

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  changed_.notify_all();
}

bool Event::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool Event::WaitFor(int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                           [this] { return set_; });
}

WorkerThread::WorkerThread(bool free_on_terminate) : free_on_terminate_(free_on_terminate) {}

WorkerThread::~WorkerThread() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void WorkerThread::Start() {
  // Held until thread_ is assigned, so Run never looks at it too early.
  std::lock_guard lock(start_mutex_);
  thread_ = std::thread(&WorkerThread::Run, this);
}

void WorkerThread::Run() {
  { std::lock_guard started(start_mutex_); }
  try {
    Execute();
  } catch (...) {
    // A worker's failure ends its thread, never the process.
  }
  // Keep the event alive past a self-release.
  const std::shared_ptr<Event> finished = finished_;
  if (free_on_terminate_) {
    thread_.detach();
    delete this;
  }
  finished->Set();
}

}  // namespace tarnvex
