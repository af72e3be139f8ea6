#pragma once
// Errors of the HTTP client.
#include <string>

#include "net/net_exceptions.h"

namespace tarnvex::net {

// An error status (304, 4xx, 5xx, a 3xx without Location, an unreadable
// status line). The message is the status line as received.
class EHttpProtocolException : public ENetException {
 public:
  EHttpProtocolException(std::string status_line, int error_code, std::string error_message)
      : ENetException(std::move(status_line)), error_code_(error_code), error_message_(std::move(error_message)) {}
  std::string TypeName() const override { return "EHttpProtocolException"; }
  int ErrorCode() const noexcept { return error_code_; }
  // The response body of the error status, decoded by its charset.
  const std::string& ErrorMessage() const noexcept { return error_message_; }

 private:
  int error_code_;
  std::string error_message_;
};

// "Unknown Protocol": a URL whose protocol is neither http nor https and which
// gives no port.
TARNVEX_EXCEPTION(EUnknownProtocol, ENetException);

// A response beyond the client's bounds (body size, head lines); the
// connection is closed before it is raised.
TARNVEX_EXCEPTION(EHttpLimitExceeded, ENetException);

}  // namespace tarnvex::net
