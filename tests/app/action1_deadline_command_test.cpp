// The run deadline of action 1's WebDriver requests, against a server that
// reads each request and never answers (as chromedriver does while it waits
// for a browser that is not there).
#include "app/deadline_command.h"

#include <gtest/gtest.h>

#include "tests/support/scripted_server.h"
#include "webdriver/platform_command.h"

namespace tarnvex::app {
namespace {

using Clock = DeadlineCommand::Clock;

class DeadlineCommandTest : public ::testing::Test {
 protected:
  DeadlineCommand Command(int deadline_ms) {
    return DeadlineCommand(std::make_unique<webdriver::TPlatformCommand>(),
                           Clock::now() + std::chrono::milliseconds(deadline_ms));
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(silent_.port()) + "/session"; }

  testing::ScriptedServer silent_{[](testing::PeerConnection& peer) { peer.WaitForPeerClose(30000); }};
};

TEST_F(DeadlineCommandTest, AStalledRequestEndsAtTheDeadlineNotAtItsOwnTimeOut) {
  DeadlineCommand command = Command(300);
  EXPECT_EQ(command.Timeout(), webdriver::TPlatformCommand::kDefaultResponseTimeoutMs);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(command.ExecutePost(Url(), "{}"), "");
  // Far below the transport's own 60 s: the time left bounded the request.
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(silent_.connections(), 1);
  // The configured time-out is the caller's, unchanged by the cut.
  EXPECT_EQ(command.Timeout(), webdriver::TPlatformCommand::kDefaultResponseTimeoutMs);
}

TEST_F(DeadlineCommandTest, NothingIsSentOnceTheTimeIsUp) {
  DeadlineCommand command = Command(0);
  EXPECT_EQ(command.ExecuteGet(Url()), "");
  EXPECT_EQ(command.ExecutePost(Url(), "{}"), "");
  command.ExecuteDelete(Url());
  EXPECT_EQ(silent_.connections(), 0);
}

}  // namespace
}  // namespace tarnvex::app
