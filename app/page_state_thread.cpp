#include "app/page_state_thread.h"

#include "app/response_file.h"

namespace tarnvex::app {

std::string PageStateText(bool, const std::string&, const std::string&, const std::string&) {
  return R"({"success":false,"title":"","baseURI":"","ReadyState":""})";
}

void TPageStateThread::Execute() {
  FReadyState.clear();
  FbaseURI.clear();
  if (FprofileId.empty()) return;
  if (!ResponseLogFile.empty()) {
    WriteValueResponse(ResponseLogFile, PageStateText(false, "", "", ""), 0);
  }
  if (remoteDebugPort <= 0) return;
}

void TPageStateThread::OnMessage(const std::string&) {}

}  // namespace tarnvex::app
