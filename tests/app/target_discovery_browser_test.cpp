// Discovery against a real headless Chromium.
#include <gtest/gtest.h>

#include "app/target_discovery.h"
#include "json/json_document.h"
#include "tests/support/browser.h"

namespace tarnvex::app {
namespace {

using tarnvex::testing::Browser;

// id -> (type, webSocketDebuggerUrl) of every target the browser lists.
std::map<std::string, std::pair<std::string, std::string>> Targets(const Browser& browser) {
  json::TJsonArray list;
  list.FromUtf8JSON(browser.ListTargets());
  std::map<std::string, std::pair<std::string, std::string>> targets;
  for (int i = 0; i < list.Count(); ++i) {
    const json::TJsonObject* target = list.GetObject(i);
    targets[target->GetString("id")] = {target->GetString("type"), target->GetString("webSocketDebuggerUrl")};
  }
  return targets;
}

TEST(TargetDiscoveryBrowserTest, FirstPageIdAndWebSocketUrl) {
  Browser browser;
  std::string id, ws_url;
  FindFirstPageId(browser.port(), id);
  FindFirstPageWsUrl(browser.port(), ws_url);
  ASSERT_FALSE(id.empty());
  const auto targets = Targets(browser);
  ASSERT_TRUE(targets.contains(id));
  EXPECT_EQ(targets.at(id).first, "page");
  EXPECT_EQ(ws_url, targets.at(id).second);
  EXPECT_EQ(ws_url, "ws://127.0.0.1:" + std::to_string(browser.port()) + "/devtools/page/" + id);

  std::string host, path;
  int port = 0;
  SplitWsUrl(ws_url, host, path, port);
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, browser.port());
  EXPECT_EQ(path, "/devtools/page/" + id);
}

TEST(TargetDiscoveryBrowserTest, NewTabThroughPutIsListed) {
  Browser browser;
  const size_t pages_before = Targets(browser).size();
  std::string ws_url;
  OpenNewTabWsUrl(browser.port(), ws_url);
  const std::string prefix = "ws://127.0.0.1:" + std::to_string(browser.port()) + "/devtools/page/";
  ASSERT_TRUE(ws_url.starts_with(prefix)) << ws_url;
  const std::string new_id = ws_url.substr(prefix.size());
  ASSERT_TRUE(tarnvex::testing::WaitUntil([&] { return Targets(browser).contains(new_id); }));
  const auto targets = Targets(browser);
  EXPECT_EQ(targets.at(new_id).first, "page");
  EXPECT_EQ(targets.at(new_id).second, ws_url);
  EXPECT_EQ(targets.size(), pages_before + 1);
}

TEST(TargetDiscoveryBrowserTest, ListEndpointAnswersThroughTheRetryingGet) {
  Browser browser;
  std::string reply;
  EXPECT_TRUE(HttpGetWithRetry("http://127.0.0.1:" + std::to_string(browser.port()) + "/json/list", reply, 1, "", 8000));
  EXPECT_NE(reply.find("\"webSocketDebuggerUrl\""), std::string::npos);
  // GET on the new-tab endpoint is refused by current browsers.
  EXPECT_FALSE(HttpGetWithRetry("http://127.0.0.1:" + std::to_string(browser.port()) + "/json/new", reply, 1, "", 8000));
}

}  // namespace
}  // namespace tarnvex::app
