#include "app/bring_to_front_thread.h"

#include <cctype>

#include "app/devtools_socket.h"
#include "app/response_file.h"
#include "app/target_discovery.h"

namespace tarnvex::app {
namespace {

constexpr int kReadTimeoutMs = 8000;

// The target id becomes a path segment of the handshake request: bytes other
// than unreserved URL characters are percent-encoded, so an id can name
// neither another path (a "/" or "..") nor smuggle text into the request head.
std::string PathSegment(const std::string& id) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string segment;
  for (const unsigned char c : id) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      segment += static_cast<char>(c);
    } else {
      segment += '%';
      segment += kHex[c >> 4];
      segment += kHex[c & 15];
    }
  }
  return segment;
}

}  // namespace

std::string TabAddress(const std::string& first_page_address, const std::string& id) {
  std::string host;
  std::string path;
  int port = 0;
  SplitWsUrl(first_page_address, host, path, port);
  path = "/devtools/page/" + PathSegment(id);
  return "ws://" + host + ":" + std::to_string(port) + path;
}

void TbringToFrontChromeThread::Execute() {
  if (FprofileId.empty()) return;
  if (!ResponseLogFile.empty()) WriteStatusResponse(ResponseLogFile, "OK", FprofileId);
  if (remoteDebugPort <= 0) return;
  std::string address;
  FindFirstPageWsUrl(remoteDebugPort, address);
  if (address.empty()) return;
  if (!Fid.empty()) address = TabAddress(address, Fid);
  DevToolsSocket socket;
  try {
    socket.Open(address, kReadTimeoutMs, [](const std::string&) {});
    if (socket.Connected()) {
      socket.Send(FisClose ? R"({"id":1,"method":"Page.close"})" : R"({"id":1,"method":"Page.bringToFront"})");
    } else if (!ResponseLogFile.empty()) {
      try {
        WriteStatusResponse(ResponseLogFile, "ERROR", FprofileId);
      } catch (...) {
        // The "OK" file stays.
      }
    }
  } catch (...) {
    // A refused connection leaves the "OK" file.
  }
}

}  // namespace tarnvex::app
