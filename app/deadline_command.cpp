#include "app/deadline_command.h"

#include <algorithm>

namespace tarnvex::app {

DeadlineCommand::DeadlineCommand(std::unique_ptr<webdriver::TDriverCommand> inner,
                                 Clock::time_point deadline)
    : inner_(std::move(inner)), deadline_(deadline), timeout_ms_(inner_->Timeout()) {}

bool DeadlineCommand::Arm() {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
  if (left.count() <= 0) return false;
  const int left_ms = static_cast<int>(std::min<long long>(left.count(), 1LL << 30));
  // 0 and -1 mean no limit, which the deadline turns into the time left.
  inner_->SetTimeout(timeout_ms_ <= 0 ? left_ms : std::min(timeout_ms_, left_ms));
  return true;
}

void DeadlineCommand::ExecuteDelete(const std::string& command) {
  if (Arm()) inner_->ExecuteDelete(command);
}

std::string DeadlineCommand::ExecuteGet(const std::string& url) {
  return Arm() ? inner_->ExecuteGet(url) : std::string();
}

std::string DeadlineCommand::ExecutePost(const std::string& url, const std::string& data) {
  return Arm() ? inner_->ExecutePost(url, data) : std::string();
}

}  // namespace tarnvex::app
