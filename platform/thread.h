#pragma once
// Worker threads: an object is created and filled first, then started, and
// waited for through a completion event with a time-out. The event is shared,
// so a waiter keeps a valid handle even when the worker has already freed
// itself.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace tarnvex {

// A manual-reset event: once set, it stays set.
class Event {
 public:
  void Set();
  bool IsSet() const;
  // True when the event is set within `timeout_ms` (or already was).
  bool WaitFor(int timeout_ms) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_ = false;
};

class WorkerThread {
 public:
  // `free_on_terminate`: the object deletes itself when Execute returns, so it
  // must have been created with `new` and nobody else may delete it.
  explicit WorkerThread(bool free_on_terminate = false);
  // Waits for a started thread to end (only for threads that do not free
  // themselves).
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts Execute on a thread of its own; call once.
  void Start();
  // Set when Execute has returned (or raised); valid after the object is gone.
  std::shared_ptr<const Event> Finished() const { return finished_; }

 protected:
  // The thread body. An error escaping it is absorbed: the thread just ends.
  virtual void Execute() = 0;

 private:
  void Run();

  const bool free_on_terminate_;
  std::shared_ptr<Event> finished_ = std::make_shared<Event>();
  std::mutex start_mutex_;
  std::thread thread_;
};

}  // namespace tarnvex
