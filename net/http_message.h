#pragma once
// The request the HTTP client sends and the response it reads.
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_header_list.h"

namespace tarnvex::net {

enum class THttpProtocolVersion { pv1_0, pv1_1 };

// The status code of a status line ("HTTP/1.1 200 OK" gives 200); -1 when the
// second word is not a number.
int ParseResponseCode(std::string_view status_line);

struct THttpRequest {
  static constexpr const char* DefaultAccept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";

  std::string Method = "GET";
  std::string URL;  // the request target as sent
  std::string Host;
  std::string Accept = DefaultAccept;
  std::string AcceptEncoding;
  std::string Referer;
  std::string UserAgent;
  std::string Connection;
  int64_t ContentLength = -1;  // -1: no Content-Length line
  THeaderList CustomHeaders;
  THeaderList RawHeaders;  // the header lines built for sending
};

struct THttpResponse {
  // Clears every field taken from the head (before a new head is read).
  void ClearHeaderFields();
  // Takes Connection, Content-Type, CharSet, Content-Length,
  // Transfer-Encoding and Location from RawHeaders.
  void ParseHeaderFields();

  int ResponseCode() const { return ParseResponseCode(ResponseText); }
  THttpProtocolVersion ResponseVersion() const;
  bool HasContentLength() const { return ContentLength >= 0; }

  std::string ResponseText;  // the status line as read
  THeaderList RawHeaders;
  std::string Connection;
  std::string ContentType;  // media type without the charset parameter
  std::string CharSet;
  int64_t ContentLength = -1;
  std::string TransferEncoding;
  std::string Location;
  bool KeepAlive = false;
};

}  // namespace tarnvex::net
