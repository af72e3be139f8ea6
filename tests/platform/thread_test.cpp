#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace tarnvex {
namespace {

TEST(Event, TimesOutUnsetAndStaysSetOnceSet) {
  Event event;
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.WaitFor(20));
  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(event.WaitFor(10000));
  setter.join();
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.WaitFor(0));
}

// A worker whose body reads a field filled before Start, and can be told to
// raise.
class Probe : public WorkerThread {
 public:
  explicit Probe(bool free_on_terminate = false, std::atomic<bool>* destroyed = nullptr)
      : WorkerThread(free_on_terminate), destroyed_(destroyed) {}
  ~Probe() override {
    if (destroyed_) *destroyed_ = true;
  }
  int input = 0;
  bool raise = false;
  std::atomic<int> seen{-1};
  Event release;

 protected:
  void Execute() override {
    seen = input;
    if (raise) throw std::runtime_error("worker failure");
    release.WaitFor(10000);
  }

 private:
  std::atomic<bool>* destroyed_;
};

TEST(WorkerThread, RunsOnlyAfterStartWithTheFilledFields) {
  Probe probe;
  probe.input = 42;
  EXPECT_FALSE(probe.Finished()->WaitFor(30));
  EXPECT_EQ(probe.seen, -1);
  probe.Start();
  EXPECT_FALSE(probe.Finished()->WaitFor(30));  // still inside Execute
  probe.release.Set();
  EXPECT_TRUE(probe.Finished()->WaitFor(10000));
  EXPECT_EQ(probe.seen, 42);
}

TEST(WorkerThread, AnErrorInExecuteJustEndsTheThread) {
  Probe probe;
  probe.raise = true;
  probe.Start();
  EXPECT_TRUE(probe.Finished()->WaitFor(10000));
  EXPECT_EQ(probe.seen, 0);
}

TEST(WorkerThread, SelfFreeingWorkerLeavesAValidFinishedEvent) {
  std::atomic<bool> destroyed{false};
  auto* probe = new Probe(/*free_on_terminate=*/true, &destroyed);
  const std::shared_ptr<const Event> finished = probe->Finished();
  probe->release.Set();
  probe->Start();  // the object may be gone from here on
  EXPECT_TRUE(finished->WaitFor(10000));
  EXPECT_TRUE(destroyed);
}

TEST(WorkerThread, DestroyingAStartedWorkerWaitsForItsThread) {
  auto probe = std::make_unique<Probe>();
  probe->Start();
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    probe->release.Set();
  });
  const std::shared_ptr<const Event> finished = probe->Finished();
  releaser.join();
  probe.reset();
  EXPECT_TRUE(finished->IsSet());
}

}  // namespace
}  // namespace tarnvex
