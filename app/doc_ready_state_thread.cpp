#include "app/doc_ready_state_thread.h"

#include "app/response_file.h"

namespace tarnvex::app {

void TDocReadyStateThread::Execute() {
  FReadyState.clear();
  if (FprofileId.empty()) return;
  // An empty path means the manager wants no file; the expression still runs.
  if (!ResponseLogFile.empty()) WriteValueResponse(ResponseLogFile, "", 0);
  if (remoteDebugPort <= 0) return;
}

void TDocReadyStateThread::OnMessage(const std::string&) {}

}  // namespace tarnvex::app
