#include "app/bring_to_front_thread.h"

#include "app/response_file.h"

namespace tarnvex::app {

void TbringToFrontChromeThread::Execute() {
  if (FprofileId.empty()) return;
  if (!ResponseLogFile.empty()) WriteStatusResponse(ResponseLogFile, "OK", FprofileId);
  if (remoteDebugPort <= 0) return;
}

}  // namespace tarnvex::app
