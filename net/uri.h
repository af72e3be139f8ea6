#pragma once
// TUri: splits a URL into protocol, user, host, port, path, document,
// parameters and bookmark. Shared by the HTTP client and the WebSocket client.
#include <string>
#include <string_view>

namespace tarnvex::net {

enum class TIPVersion { IPv4, IPv6 };

class TUri {
 public:
  TUri() = default;
  explicit TUri(std::string_view uri);

  // Path, document and, when there are parameters, "?" and the parameters:
  // the request target of an HTTP request.
  std::string GetPathAndParams() const;

  std::string Protocol;  // without "://"; empty for a relative URL
  std::string Username;
  std::string Password;
  std::string Host;      // an IPv6 literal without its brackets
  std::string Port;      // text after the host's ":", possibly empty
  std::string Path;      // up to and including the last "/"
  std::string Document;  // after the last "/"
  std::string Params;    // after "?", without the bookmark
  std::string Bookmark;  // after "#"
  TIPVersion IPVersion = TIPVersion::IPv4;
};

}  // namespace tarnvex::net
