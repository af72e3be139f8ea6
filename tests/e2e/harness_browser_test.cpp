// The harness itself: if these fail, every browser test's failure is about the
// machine (no Chromium, no loopback), not about the program.
#include <gtest/gtest.h>

#include "tests/support/browser.h"

namespace tarnvex::testing {
namespace {

TEST(BrowserHarness, StartsChromiumWithAPageAndServesFixtures) {
  FixtureServer fixtures;
  fixtures.Add("/hello.html", "<title>hi</title>");
  Browser browser;
  EXPECT_NE(browser.ListTargets().find("\"type\": \"page\""), std::string::npos)
      << browser.ListTargets();
  EXPECT_EQ(HttpRequest(fixtures.port(), "GET", "/hello.html").body, "<title>hi</title>");
  EXPECT_EQ(HttpRequest(fixtures.port(), "GET", "/none").status, 404);
  EXPECT_EQ(fixtures.Hits("/hello.html"), 1);
}

}  // namespace
}  // namespace tarnvex::testing
