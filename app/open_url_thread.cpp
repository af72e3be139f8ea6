#include "app/open_url_thread.h"

#include <chrono>
#include <thread>

#include "app/devtools_socket.h"
#include "app/response_file.h"
#include "app/target_discovery.h"

namespace tarnvex::app {
namespace {

constexpr int kRetryPauseMs = 1500;
constexpr int kReadTimeoutMs = 8000;
constexpr int kAfterSendPauseMs = 10;

}  // namespace

std::string WithDefaultScheme(const std::string& url) {
  return url.find("://") == std::string::npos ? "http://" + url : url;
}

void TOpenUrlToChromeThread::Execute() {
  if (FxprofileId.empty()) return;
  if (!ResponseLogFile.empty()) WriteValueResponse(ResponseLogFile, "", 0);
  if (remoteDebugPort <= 0) return;
  const auto find_target = [this](std::string& address) {
    if (FNewTab) {
      OpenNewTabWsUrl(remoteDebugPort, address);
    } else {
      FindFirstPageWsUrl(remoteDebugPort, address);
    }
  };
  std::string address;
  find_target(address);
  if (address.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
    find_target(address);
  }
  if (address.empty() || FOpenUrl.empty()) return;
  DevToolsSocket socket;
  try {
    socket.Open(address, kReadTimeoutMs, [](const std::string&) {});
    if (socket.Connected()) {
      FOpenUrl = WithDefaultScheme(FOpenUrl);
      socket.Send(DevToolsCommand(1, "Page.navigate", "url", FOpenUrl));
      std::this_thread::sleep_for(std::chrono::milliseconds(kAfterSendPauseMs));
    }
  } catch (...) {
    // Nothing more to report: the placeholder is the only answer.
  }
}

}  // namespace tarnvex::app
