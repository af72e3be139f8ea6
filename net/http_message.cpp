#include "net/http_message.h"

#include <charconv>

#include "net/http_charset.h"
#include "platform/text.h"

namespace tarnvex::net {
namespace {

// A run of decimal digits that fits the type; nothing else.
template <typename Int>
bool ParseDecimal(std::string_view s, Int& value) {
  if (s.empty() || s.front() < '0' || s.front() > '9') return false;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  return error == std::errc() && end == s.data() + s.size();
}

}  // namespace

int ParseResponseCode(std::string_view status_line) {
  size_t space = status_line.find(' ');
  if (space == std::string_view::npos) return -1;
  std::string_view rest = text::TrimBlanks(status_line.substr(space + 1));
  rest = rest.substr(0, rest.find(' '));
  rest = rest.substr(0, rest.find('.'));
  int code = -1;
  return ParseDecimal(rest, code) ? code : -1;
}

THttpProtocolVersion THttpResponse::ResponseVersion() const {
  return ResponseText.size() >= 8 && ResponseText.compare(5, 3, "1.1") == 0 ? THttpProtocolVersion::pv1_1
                                                                              : THttpProtocolVersion::pv1_0;
}

void THttpResponse::ClearHeaderFields() {
  RawHeaders.Clear();
  Connection.clear();
  ContentType.clear();
  CharSet.clear();
  ContentLength = -1;
  TransferEncoding.clear();
  Location.clear();
}

void THttpResponse::ParseHeaderFields() {
  Connection = RawHeaders.Values("Connection");
  TContentType type = ParseContentType(RawHeaders.Values("Content-Type"));
  ContentType = std::move(type.MediaType);
  CharSet = std::move(type.CharSet);
  int64_t length = -1;
  ContentLength = ParseDecimal(RawHeaders.Values("Content-Length"), length) ? length : -1;
  TransferEncoding = RawHeaders.Values("Transfer-Encoding");
  Location = RawHeaders.Values("Location");
}

}  // namespace tarnvex::net
