#include "net/net_exceptions.h"

#include <netdb.h>

#include <cerrno>
#include <cstdio>

namespace tarnvex::net {

namespace {

struct ErrorText {
  int code;
  const char* text;
};

// The platform's codes with the texts of the equivalent Winsock errors.
constexpr ErrorText kErrorTexts[] = {
    {EINTR, "Interrupted system call."},
    {EBADF, "Bad file number."},
    {EACCES, "Access denied."},
    {EFAULT, "Buffer fault."},
    {EINVAL, "Invalid argument."},
    {EMFILE, "Too many open files."},
    {EWOULDBLOCK, "Operation would block."},
    {EINPROGRESS, "Operation now in progress."},
    {EALREADY, "Operation already in progress."},
    {ENOTSOCK, "Socket operation on non-socket."},
    {EDESTADDRREQ, "Destination address required."},
    {EMSGSIZE, "Message too long."},
    {EPROTOTYPE, "Protocol wrong type for socket."},
    {ENOPROTOOPT, "Bad protocol option."},
    {EPROTONOSUPPORT, "Protocol not supported."},
    {ESOCKTNOSUPPORT, "Socket type not supported."},
    {EOPNOTSUPP, "Operation not supported on socket."},
    {EPFNOSUPPORT, "Protocol family not supported."},
    {EAFNOSUPPORT, "Address family not supported by protocol family."},
    {EADDRINUSE, "Address already in use."},
    {EADDRNOTAVAIL, "Cannot assign requested address."},
    {ENETDOWN, "Network is down."},
    {ENETUNREACH, "Network is unreachable."},
    {ENETRESET, "Net dropped connection or reset."},
    {ECONNABORTED, "Software caused connection abort."},
    {ECONNRESET, "Connection reset by peer."},
    {ENOBUFS, "No buffer space available."},
    {EISCONN, "Socket is already connected."},
    {ENOTCONN, "Socket is not connected."},
    {ESHUTDOWN, "Cannot send or receive after socket is closed."},
    // A send after the connection went down; Winsock reports it as 10058.
    {EPIPE, "Cannot send or receive after socket is closed."},
    {ETOOMANYREFS, "Too many references, cannot splice."},
    {ETIMEDOUT, "Connection timed out."},
    {ECONNREFUSED, "Connection refused."},
    {ELOOP, "Too many levels of symbolic links."},
    {ENAMETOOLONG, "File name too long."},
    {EHOSTDOWN, "Host is down."},
    {EHOSTUNREACH, "No route to host."},
    {ENOTEMPTY, "Directory not empty"},
    // getaddrinfo's codes (negative, so they never meet an errno value).
    {EAI_NONAME, "Host not found."},
    {EAI_NODATA, "Host not found."},
    {EAI_FAIL, "Host not found."},
    {EAI_ADDRFAMILY, "Host not found."},
};

std::string FormatMessage(int code) {
  char head[32];
  std::snprintf(head, sizeof head, "Socket Error # %d\r\n", code);
  return head + SocketErrorText(code);
}

}  // namespace

std::string SocketErrorText(int code) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) return entry.text;
  }
  return {};
}

ESocketError::ESocketError(int code) : ENetException(FormatMessage(code)), last_error_(code) {}

void RaiseSocketError(int code) {
  if (code == ENOTSOCK) throw ENotASocket(code);
  throw ESocketError(code);
}

}  // namespace tarnvex::net
