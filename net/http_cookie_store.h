#pragma once
// TCookieStore: the cookies a client object has been given by Set-Cookie
// lines, sent back with later requests whose URL they match.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/uri.h"

namespace tarnvex::net {

class TCookieStore {
 public:
  using Clock = std::chrono::system_clock;

  // Stores (or replaces, or with a past expiry removes) the cookie of one
  // Set-Cookie value received for `url`.
  void AddFromResponse(const TUri& url, std::string_view set_cookie, Clock::time_point now = Clock::now());
  // The Cookie header value for a request to `url` ("a=1; b=2"), empty when
  // no stored cookie matches.
  std::string CookieHeaderFor(const TUri& url, Clock::time_point now = Clock::now()) const;
  size_t Count() const { return cookies_.size(); }

 private:
  struct Cookie {
    std::string name;
    std::string value;
    std::string domain;  // lower case, no leading "."
    std::string path;
    bool host_only = true;
    bool secure = false;
    std::optional<Clock::time_point> expires;
  };

  std::vector<Cookie> cookies_;
};

// A cookie date ("Wed, 21 Oct 2015 07:28:00 GMT" and its older forms), read
// leniently; nothing when no complete date is found.
std::optional<std::chrono::system_clock::time_point> ParseCookieDate(std::string_view text);

}  // namespace tarnvex::net
