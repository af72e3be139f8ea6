#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <string>

#include "tests/support/browser.h"
#include "websocket/websocket_client.h"

namespace tarnvex::websocket {
namespace {

// The page's webSocketDebuggerUrl from a /json/list or /json/new body.
std::string PageSocketUrl(const std::string& body) {
  static const std::regex url_pattern("\"webSocketDebuggerUrl\"\\s*:\\s*\"(ws://[^\"]+/devtools/page/[^\"]+)\"");
  std::smatch match;
  return std::regex_search(body, match, url_pattern) ? match[1].str() : std::string();
}

TEST(WebSocketBrowserTest, EvaluatesAnExpressionInARealPage) {
  testing::Browser browser;
  std::string url = PageSocketUrl(browser.ListTargets());
  if (url.empty()) url = PageSocketUrl(browser.NewTab("about:blank"));
  ASSERT_FALSE(url.empty());

  std::mutex mutex;
  std::condition_variable arrived;
  std::string reply;
  auto client = TWebSocketClient::New(url);
  client->SetReadTimeout(25000);
  client->AddEventListener(TEventType::MESSAGE, [&](const std::string& text) {
    if (text.find("\"id\":1") == std::string::npos) return;
    std::lock_guard lock(mutex);
    reply = text;
    arrived.notify_all();
  });
  client->Connect();
  ASSERT_TRUE(client->Connected());
  ASSERT_TRUE(client->Upgraded());
  client->Send(R"({"id":1,"method":"Runtime.evaluate","params":{"expression":"1+1"}})");
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(15), [&] { return !reply.empty(); }));
  }
  EXPECT_NE(reply.find(R"("result":{"type":"number","value":2,"description":"2"})"), std::string::npos) << reply;

  // A second command on the same connection, with a non-ASCII payload.
  reply.clear();
  client->Send("{\"id\":1,\"method\":\"Runtime.evaluate\",\"params\":{\"expression\":\"'caf\xC3\xA9'.length\"}}");
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(15), [&] { return !reply.empty(); }));
  }
  EXPECT_NE(reply.find(R"("value":4)"), std::string::npos) << reply;

  const auto start = std::chrono::steady_clock::now();
  client->Disconnect();
  client.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace tarnvex::websocket
