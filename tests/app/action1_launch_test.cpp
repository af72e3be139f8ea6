// The launch half of action 1 that needs no server: the port choice, the
// server path and the debugger address.
#include <gtest/gtest.h>

#include <vector>

#include "app/selenium_chrome_thread.h"

namespace tarnvex::app {
namespace {

// Scripted draws and probes, with every call recorded.
struct PortScript {
  int draw_value = 0;
  int free_after_probes = 0;  // -1: never free
  std::vector<int> ranges;
  std::vector<int> probed;
  int pauses = 0;

  int Choose() {
    return ChooseDriverPort(
        [this](int n) {
          ranges.push_back(n);
          return draw_value;
        },
        [this](int port) {
          probed.push_back(port);
          return free_after_probes >= 0 && static_cast<int>(probed.size()) > free_after_probes;
        },
        [this] { ++pauses; });
  }
};

TEST(ChooseDriverPort, TakesAFreeFirstCandidateWithoutPausing) {
  PortScript script;
  script.draw_value = 7;
  EXPECT_EQ(script.Choose(), 1031);
  EXPECT_EQ(script.ranges, std::vector<int>{39515});
  EXPECT_EQ(script.probed, std::vector<int>{1031});
  EXPECT_EQ(script.pauses, 0);
}

TEST(ChooseDriverPort, RedrawsOverTheWiderRangeAfterATakenPort) {
  PortScript script;
  script.free_after_probes = 2;
  EXPECT_EQ(script.Choose(), 1024);
  EXPECT_EQ(script.ranges, (std::vector<int>{39515, 60000, 60000}));
  EXPECT_EQ(script.probed.size(), 3u);
  EXPECT_EQ(script.pauses, 2);
}

TEST(ChooseDriverPort, FallsBackUnprobedAfterAThousandRedraws) {
  PortScript script;
  script.draw_value = 254;
  script.free_after_probes = -1;
  EXPECT_EQ(script.Choose(), 58163 + 254);
  EXPECT_EQ(script.probed.size(), 1001u);
  EXPECT_EQ(script.pauses, 1001);
  ASSERT_EQ(script.ranges.size(), 1003u);  // first, 1001 redraws, fallback
  EXPECT_EQ(script.ranges.front(), 39515);
  EXPECT_EQ(script.ranges[1001], 60000);
  EXPECT_EQ(script.ranges.back(), 255);
}

TEST(DriverPathFor, TakesChromedriverFromTheBrowsersFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"/usr/bin/chromium", "/usr/bin/chromedriver"},
      {"C:\\Apps\\Browser\\chrome.exe", "C:\\Apps\\Browser\\chromedriver"},
      {"/opt/odd\\dir/chrome", "/opt/odd\\dir/chromedriver"},
      {"/opt/odd/dir\\chrome", "/opt/odd/dir\\chromedriver"},
      {"/chrome", "/chromedriver"},
      {"chrome", "chromedriver"},
      {"", "chromedriver"},
  };
  for (const auto& [chrome, driver] : cases) EXPECT_EQ(DriverPathFor(chrome), driver) << chrome;
}

TEST(DebuggerAddress, IsTheQuotedMemberText) {
  EXPECT_EQ(DebuggerAddress(9222), R"("debuggerAddress":"127.0.0.1:9222")");
}

}  // namespace
}  // namespace tarnvex::app
