#pragma once
// Errors of the TCP connection. Every class derives from ENetException; socket
// errors carry the platform's code (errno, or a negative getaddrinfo code for a
// failed host lookup) and the message "Socket Error # <code>" CR LF <text>.
#include <string>

#include "platform/exception.h"

namespace tarnvex::net {

TARNVEX_EXCEPTION(ENetException, Exception);
TARNVEX_EXCEPTION(EAlreadyConnected, ENetException);          // "Already connected."
TARNVEX_EXCEPTION(EHostRequired, ENetException);              // "A Host is required"
TARNVEX_EXCEPTION(EPortRequired, ENetException);              // "A Port is required"
TARNVEX_EXCEPTION(EConnectTimeout, ENetException);            // "Connect timed out."
TARNVEX_EXCEPTION(EReadTimeout, ENetException);               // "Read timed out."
TARNVEX_EXCEPTION(EConnClosedGracefully, ENetException);      // "Connection Closed Gracefully."
TARNVEX_EXCEPTION(ENotConnected, ENetException);              // "Not Connected"
TARNVEX_EXCEPTION(EReadLnMaxLineLengthExceeded, ENetException);  // "Max line length exceeded."

class ESocketError : public ENetException {
 public:
  explicit ESocketError(int code);
  int LastError() const noexcept { return last_error_; }
  std::string TypeName() const override { return "ESocketError"; }

 private:
  int last_error_;
};

// ESocketError for "Socket operation on non-socket." (ENOTSOCK).
class ENotASocket : public ESocketError {
 public:
  using ESocketError::ESocketError;
  std::string TypeName() const override { return "ENotASocket"; }
};

// The text for a socket error code; empty for a code without one.
std::string SocketErrorText(int code);
// Raises ENotASocket for ENOTSOCK, ESocketError for every other code.
[[noreturn]] void RaiseSocketError(int code);

}  // namespace tarnvex::net
