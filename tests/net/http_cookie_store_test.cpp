#include "net/http_cookie_store.h"

#include <gtest/gtest.h>

namespace tarnvex::net {
namespace {

using std::chrono::seconds;
using Clock = TCookieStore::Clock;

const Clock::time_point kNow = Clock::time_point(seconds(1700000000));  // 2023-11-14

TEST(CookieStoreTest, SendsCookiesBackOnMatchingUrls) {
  TCookieStore store;
  store.AddFromResponse(TUri("http://127.0.0.1:9222/json/list"), "session=abc; HttpOnly", kNow);
  store.AddFromResponse(TUri("http://127.0.0.1:9222/json/list"), "root=1; Path=/", kNow);
  // The default path is the request's folder: /json.
  EXPECT_EQ(store.CookieHeaderFor(TUri("http://127.0.0.1:9222/json/new"), kNow), "session=abc; root=1");
  EXPECT_EQ(store.CookieHeaderFor(TUri("http://127.0.0.1:9222/json"), kNow), "session=abc; root=1");
  EXPECT_EQ(store.CookieHeaderFor(TUri("http://127.0.0.1:9222/jsonx"), kNow), "root=1");
  EXPECT_EQ(store.CookieHeaderFor(TUri("http://127.0.0.1:9222/other"), kNow), "root=1");
  // Host-only: another host gets nothing.
  EXPECT_EQ(store.CookieHeaderFor(TUri("http://localhost:9222/json/list"), kNow), "");
}

TEST(CookieStoreTest, DomainSecureAndReplacement) {
  TCookieStore store;
  const TUri url("http://www.example.com/");
  store.AddFromResponse(url, "d=1; Domain=.example.com", kNow);
  store.AddFromResponse(url, "s=1; Secure", kNow);
  store.AddFromResponse(url, "evil=1; Domain=other.com", kNow);  // refused
  store.AddFromResponse(url, "d=2; Domain=example.com", kNow);   // replaces d=1
  EXPECT_EQ(store.Count(), 2u);
  EXPECT_EQ(store.CookieHeaderFor(TUri("http://api.example.com/x"), kNow), "d=2");
  EXPECT_EQ(store.CookieHeaderFor(TUri("http://notexample.com/x"), kNow), "");
  EXPECT_EQ(store.CookieHeaderFor(TUri("https://www.example.com/"), kNow), "s=1; d=2");
}

TEST(CookieStoreTest, ExpiryByMaxAgeAndExpires) {
  TCookieStore store;
  const TUri url("http://h/");
  store.AddFromResponse(url, "a=1; Max-Age=60", kNow);
  store.AddFromResponse(url, "b=1; Expires=Wed, 21 Oct 2015 07:28:00 GMT", kNow);  // already past
  store.AddFromResponse(url, "c=1; Expires=Wed, 21 Oct 2099 07:28:00 GMT; Max-Age=10", kNow);  // Max-Age wins
  EXPECT_EQ(store.CookieHeaderFor(url, kNow), "a=1; c=1");
  EXPECT_EQ(store.CookieHeaderFor(url, kNow + seconds(30)), "a=1");
  EXPECT_EQ(store.CookieHeaderFor(url, kNow + seconds(61)), "");
  store.AddFromResponse(url, "a=gone; Max-Age=0", kNow);
  EXPECT_EQ(store.CookieHeaderFor(url, kNow), "c=1");
}

TEST(CookieStoreTest, MalformedLinesAreIgnored) {
  TCookieStore store;
  for (const char* line : {"", "novalue", "=nameless", ";", " ; Path=/"}) store.AddFromResponse(TUri("http://h/"), line, kNow);
  EXPECT_EQ(store.Count(), 0u);
}

TEST(CookieDateTest, ReadsTheCommonForms) {
  const auto expected = Clock::time_point(seconds(1445412480));  // 2015-10-21 07:28:00 UTC
  EXPECT_EQ(ParseCookieDate("Wed, 21 Oct 2015 07:28:00 GMT"), expected);
  EXPECT_EQ(ParseCookieDate("Wednesday, 21-Oct-15 07:28:00 GMT"), expected);
  EXPECT_EQ(ParseCookieDate("Wed Oct 21 07:28:00 2015"), expected);
  EXPECT_FALSE(ParseCookieDate("not a date").has_value());
  EXPECT_FALSE(ParseCookieDate("Wed, 32 Oct 2015 07:28:00 GMT").has_value());
}

}  // namespace
}  // namespace tarnvex::net
