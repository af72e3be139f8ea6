#include "net/uri.h"

#include <gtest/gtest.h>

namespace tarnvex::net {
namespace {

struct UriCase {
  const char* url;
  const char* protocol;
  const char* host;
  const char* port;
  const char* path;
  const char* document;
  const char* params;
  const char* bookmark;
  const char* target;  // GetPathAndParams
};

class UriSplit : public ::testing::TestWithParam<UriCase> {};

TEST_P(UriSplit, SplitsEveryPart) {
  const UriCase& c = GetParam();
  TUri uri(c.url);
  EXPECT_EQ(uri.Protocol, c.protocol);
  EXPECT_EQ(uri.Host, c.host);
  EXPECT_EQ(uri.Port, c.port);
  EXPECT_EQ(uri.Path, c.path);
  EXPECT_EQ(uri.Document, c.document);
  EXPECT_EQ(uri.Params, c.params);
  EXPECT_EQ(uri.Bookmark, c.bookmark);
  EXPECT_EQ(uri.GetPathAndParams(), c.target);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, UriSplit,
    ::testing::Values(
        UriCase{"http://127.0.0.1:9222/json/list", "http", "127.0.0.1", "9222", "/json/", "list", "", "", "/json/list"},
        UriCase{"ws://127.0.0.1:9222/devtools/page/ABC", "ws", "127.0.0.1", "9222", "/devtools/page/", "ABC", "", "",
                "/devtools/page/ABC"},
        // No path at all, an empty port after the colon.
        UriCase{"http://example.com", "http", "example.com", "", "/", "", "", "", "/"},
        UriCase{"http://example.com:/a", "http", "example.com", "", "/", "a", "", "", "/a"},
        UriCase{"http://h/dir/", "http", "h", "", "/dir/", "", "", "", "/dir/"},
        // Query and bookmark, in both orders.
        UriCase{"http://h/a/b?x=1&y=2#top", "http", "h", "", "/a/", "b", "x=1&y=2", "top", "/a/b?x=1&y=2"},
        UriCase{"http://h/a#frag?not=query", "http", "h", "", "/", "a", "", "frag?not=query", "/a"},
        UriCase{"http://h/a?", "http", "h", "", "/", "a", "", "", "/a"},
        // A slash or "://" inside the query belongs to the query.
        UriCase{"http://h/go?to=http://x/y", "http", "h", "", "/", "go", "to=http://x/y", "", "/go?to=http://x/y"},
        UriCase{"/redirect?to=http://x/y", "", "", "", "/", "redirect", "to=http://x/y", "", "/redirect?to=http://x/y"},
        // Backslashes become slashes in the path, not in the query.
        UriCase{"http://h\\a\\b?q=\\", "http", "h", "", "/a/", "b", "q=\\", "", "/a/b?q=\\"},
        UriCase{"dir\\sub\\file", "", "", "", "dir/sub/", "file", "", "", "dir/sub/file"},
        // Relative references keep their own path form.
        UriCase{"/json/list", "", "", "", "/json/", "list", "", "", "/json/list"},
        UriCase{"list", "", "", "", "", "list", "", "", "list"},
        UriCase{"../up/x", "", "", "", "../up/", "x", "", "", "../up/x"},
        // Scheme-relative: an authority without a protocol.
        UriCase{"//h:81/p", "", "h", "81", "/", "p", "", "", "/p"},
        // IPv6 literal.
        UriCase{"http://[::1]:9222/json", "http", "::1", "9222", "/", "json", "", "", "/json"},
        UriCase{"http://[fe80::1]/", "http", "fe80::1", "", "/", "", "", "", "/"}));

TEST(UriTest, UserInfoUsesTheLastAtAndTheFirstColon) {
  TUri uri("http://us@er:pa:ss@host:8080/p");
  EXPECT_EQ(uri.Username, "us@er");
  EXPECT_EQ(uri.Password, "pa:ss");
  EXPECT_EQ(uri.Host, "host");
  EXPECT_EQ(uri.Port, "8080");
}

TEST(UriTest, IpVersionFollowsTheBrackets) {
  EXPECT_EQ(TUri("http://[::1]:1/").IPVersion, TIPVersion::IPv6);
  EXPECT_EQ(TUri("http://127.0.0.1:1/").IPVersion, TIPVersion::IPv4);
}

}  // namespace
}  // namespace tarnvex::net
