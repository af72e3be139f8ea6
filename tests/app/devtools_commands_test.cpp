// The texts the DevTools workers build: commands, URLs and tab addresses.
#include <gtest/gtest.h>

#include "app/bring_to_front_thread.h"
#include "app/devtools_socket.h"
#include "app/open_url_thread.h"

namespace tarnvex::app {
namespace {

TEST(DevToolsCommand, EscapesTheParameterAsAJsonString) {
  EXPECT_EQ(DevToolsCommand(1, "Runtime.evaluate", "expression", "1+1"),
            R"({"id":1,"method":"Runtime.evaluate","params":{"expression":"1+1"}})");
  EXPECT_EQ(DevToolsCommand(1, "Page.navigate", "url", "a\"b\\c\nd/é"),
            R"({"id":1,"method":"Page.navigate","params":{"url":"a\"b\\c\nd/é"}})");
}

TEST(WithDefaultScheme, PrefixesOnlyTextWithoutSchemeSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {"example.com", "http://example.com"},
      {"127.0.0.1:8080/a.html", "http://127.0.0.1:8080/a.html"},
      {"about:blank", "http://about:blank"},
      {"https://x/", "https://x/"},
      {"file:///tmp/a", "file:///tmp/a"},
      {"h/q?next=http://x", "h/q?next=http://x"},
  };
  for (const auto& [url, expected] : cases) EXPECT_EQ(WithDefaultScheme(url), expected) << url;
}

TEST(TabAddress, AimsAtTheTabOnTheFirstPagesHostAndPort) {
  const std::string first = "ws://127.0.0.1:9222/devtools/page/FIRST";
  const std::pair<std::string, std::string> cases[] = {
      {"ABCDEF0123", "ws://127.0.0.1:9222/devtools/page/ABCDEF0123"},
      // An id cannot leave its path segment or reach the request head.
      {"../browser/x", "ws://127.0.0.1:9222/devtools/page/..%2Fbrowser%2Fx"},
      {"a b\r\nHost: evil", "ws://127.0.0.1:9222/devtools/page/a%20b%0D%0AHost%3A%20evil"},
  };
  for (const auto& [id, expected] : cases) EXPECT_EQ(TabAddress(first, id), expected) << id;
  EXPECT_EQ(TabAddress("ws://localhost/devtools/page/X", "Y"), "ws://localhost:80/devtools/page/Y");
}

}  // namespace
}  // namespace tarnvex::app
