#pragma once
// The command transport of a run with a fixed end: every request may take at
// most the time the run has left, and none is sent once it is over, so a
// server that stalls (chromedriver waits 60 s for a browser that is not
// there) cannot keep the run from stopping its server and reporting.
#include <chrono>
#include <memory>

#include "webdriver/driver_command.h"

namespace tarnvex::app {

class DeadlineCommand : public webdriver::TDriverCommand {
 public:
  using Clock = std::chrono::steady_clock;

  DeadlineCommand(std::unique_ptr<webdriver::TDriverCommand> inner, Clock::time_point deadline);

  void PrepareRequest() override { inner_->PrepareRequest(); }
  // The configured time-out; each request uses the smaller of it and the
  // time left.
  int Timeout() const override { return timeout_ms_; }
  void SetTimeout(int timeout_ms) override { timeout_ms_ = timeout_ms; }
  // After the deadline: nothing is sent and the reply is empty, as from an
  // unreachable server.
  void ExecuteDelete(const std::string& command) override;
  std::string ExecuteGet(const std::string& url) override;
  std::string ExecutePost(const std::string& url, const std::string& data) override;

 private:
  // Gives the inner transport the time-out of the next request; false when
  // the deadline has passed.
  bool Arm();

  std::unique_ptr<webdriver::TDriverCommand> inner_;
  Clock::time_point deadline_;
  int timeout_ms_;
};

}  // namespace tarnvex::app
