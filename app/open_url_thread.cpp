#include "app/open_url_thread.h"

#include "app/response_file.h"

namespace tarnvex::app {

std::string WithDefaultScheme(const std::string& url) {
  return url.find("://") == std::string::npos ? "http://" + url : url;
}

void TOpenUrlToChromeThread::Execute() {
  if (FxprofileId.empty()) return;
  if (!ResponseLogFile.empty()) WriteValueResponse(ResponseLogFile, "", 0);
  if (remoteDebugPort <= 0) return;
}

}  // namespace tarnvex::app
