#include "net/http_cookie_store.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/text.h"

namespace tarnvex::net {
namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

int ToInt(std::string_view s) {
  int value = 0;
  std::from_chars(s.data(), s.data() + s.size(), value);
  return value;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long year_of_era = year - era * 400;
  const long long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

int MonthFromName(std::string_view token) {
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) return 0;
  const std::string prefix = text::AsciiLower(token.substr(0, 3));
  for (int i = 0; i < 12; ++i) {
    if (prefix == kMonths[i]) return i + 1;
  }
  return 0;
}

// The path a cookie without a Path attribute gets: the request path up to,
// not including, its last "/".
std::string DefaultPath(const TUri& url) {
  const std::string path = url.Path + url.Document;
  size_t last = path.rfind('/');
  if (path.empty() || path[0] != '/' || last == 0 || last == std::string::npos) return "/";
  return path.substr(0, last);
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  return host == domain ||
         (host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.');
}

bool PathMatches(std::string_view request_path, std::string_view cookie_path) {
  if (!request_path.starts_with(cookie_path)) return false;
  return request_path.size() == cookie_path.size() || cookie_path.ends_with('/') ||
         request_path[cookie_path.size()] == '/';
}

}  // namespace

std::optional<std::chrono::system_clock::time_point> ParseCookieDate(std::string_view text) {
  int hour = -1, minute = 0, second = 0, day = -1, month = 0, year = -1;
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && !std::isalnum(static_cast<unsigned char>(text[pos])) && text[pos] != ':') ++pos;
    size_t end = pos;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == ':')) ++end;
    std::string_view token = text.substr(pos, end - pos);
    pos = end;
    if (token.empty()) continue;
    if (hour < 0 && std::count(token.begin(), token.end(), ':') == 2) {
      size_t c1 = token.find(':'), c2 = token.rfind(':');
      std::string_view h = token.substr(0, c1), m = token.substr(c1 + 1, c2 - c1 - 1), s = token.substr(c2 + 1);
      if (AllDigits(h) && AllDigits(m) && AllDigits(s) && h.size() <= 2 && m.size() <= 2 && s.size() <= 2) {
        hour = ToInt(h), minute = ToInt(m), second = ToInt(s);
        continue;
      }
    }
    if (day < 0 && AllDigits(token) && token.size() <= 2) {
      day = ToInt(token);
    } else if (month == 0 && MonthFromName(token) != 0) {
      month = MonthFromName(token);
    } else if (year < 0 && AllDigits(token) && token.size() >= 2 && token.size() <= 4) {
      year = ToInt(token);
    }
  }
  if (year >= 0 && year <= 69) year += 2000;
  else if (year >= 70 && year <= 99) year += 1900;
  if (hour < 0 || day < 1 || day > 31 || month == 0 || year < 1601 || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  const long long seconds = DaysFromCivil(year, month, day) * 86400LL + hour * 3600 + minute * 60 + second;
  return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

void TCookieStore::AddFromResponse(const TUri& url, std::string_view set_cookie, Clock::time_point now) {
  size_t semicolon = set_cookie.find(';');
  std::string_view pair = set_cookie.substr(0, semicolon);
  size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return;
  Cookie cookie;
  cookie.name = text::TrimBlanks(pair.substr(0, equals));
  cookie.value = text::TrimBlanks(pair.substr(equals + 1));
  if (cookie.name.empty()) return;

  const std::string host = text::AsciiLower(url.Host);
  cookie.domain = host;
  cookie.path = DefaultPath(url);
  std::optional<Clock::time_point> max_age;
  std::string_view attributes = semicolon == std::string_view::npos ? "" : set_cookie.substr(semicolon + 1);
  while (!attributes.empty()) {
    size_t next = attributes.find(';');
    std::string_view attribute = attributes.substr(0, next);
    attributes = next == std::string_view::npos ? "" : attributes.substr(next + 1);
    size_t eq = attribute.find('=');
    const std::string key = text::AsciiLower(text::TrimBlanks(attribute.substr(0, eq)));
    const std::string_view value = eq == std::string_view::npos ? "" : text::TrimBlanks(attribute.substr(eq + 1));
    if (key == "expires") {
      if (auto date = ParseCookieDate(value)) cookie.expires = date;
    } else if (key == "max-age") {
      const bool negative = value.starts_with('-');
      if (AllDigits(negative ? value.substr(1) : value)) {
        // Up to ten digits are read; longer values mean "practically never".
        const long long seconds = negative ? 0 : value.size() > 10 ? 9999999999LL : std::stoll(std::string(value));
        max_age = seconds <= 0 ? Clock::time_point::min() : now + std::chrono::seconds(seconds);
      }
    } else if (key == "domain" && !value.empty()) {
      std::string domain = text::AsciiLower(value.starts_with('.') ? value.substr(1) : value);
      if (!DomainMatches(host, domain)) return;  // a cookie for another site is refused
      cookie.domain = std::move(domain);
      cookie.host_only = false;
    } else if (key == "path" && value.starts_with('/')) {
      cookie.path = value;
    } else if (key == "secure") {
      cookie.secure = true;
    }
  }
  if (max_age) cookie.expires = max_age;

  std::erase_if(cookies_, [&](const Cookie& c) {
    return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
  });
  if (cookie.expires && *cookie.expires <= now) return;
  cookies_.push_back(std::move(cookie));
}

std::string TCookieStore::CookieHeaderFor(const TUri& url, Clock::time_point now) const {
  const std::string host = text::AsciiLower(url.Host);
  const std::string path = url.Path.empty() ? "/" : url.Path + url.Document;
  const bool secure = text::EqualsNoCase(url.Protocol, "https");
  std::vector<const Cookie*> matches;
  for (const Cookie& c : cookies_) {
    if (c.expires && *c.expires <= now) continue;
    if (c.secure && !secure) continue;
    if (c.host_only ? host != c.domain : !DomainMatches(host, c.domain)) continue;
    if (!PathMatches(path, c.path)) continue;
    matches.push_back(&c);
  }
  // More specific paths first, otherwise in the order they were stored.
  std::stable_sort(matches.begin(), matches.end(),
                   [](const Cookie* a, const Cookie* b) { return a->path.size() > b->path.size(); });
  std::string header;
  for (const Cookie* c : matches) {
    if (!header.empty()) header += "; ";
    header += c->name + "=" + c->value;
  }
  return header;
}

}  // namespace tarnvex::net
