#pragma once
// Action 5: brings a tab to the front or closes it.
#include <string>

#include "platform/thread.h"

namespace tarnvex::app {

class TbringToFrontChromeThread : public WorkerThread {
 public:
  TbringToFrontChromeThread() : WorkerThread(/*free_on_terminate=*/true) {}

  std::string FprofileId;
  std::string Fid;
  bool FisClose = false;
  int remoteDebugPort = 0;
  std::string ResponseLogFile;

 protected:
  void Execute() override;
};

// "ws://host:port/devtools/page/<id>" on the host and port of the first
// page's address; the id is percent-encoded so it stays one path segment.
std::string TabAddress(const std::string& first_page_address, const std::string& id);

}  // namespace tarnvex::app
