#pragma once
// Action 4: navigates the first page, or a new tab, to a URL.
#include <string>

#include "platform/thread.h"

namespace tarnvex::app {

class TOpenUrlToChromeThread : public WorkerThread {
 public:
  TOpenUrlToChromeThread() : WorkerThread(/*free_on_terminate=*/true) {}

  bool FNewTab = false;
  std::string FxprofileId;
  std::string FOpenUrl;
  int remoteDebugPort = 0;
  std::string ResponseLogFile;

 protected:
  void Execute() override;
};

// A URL without "://" anywhere gets "http://" in front.
std::string WithDefaultScheme(const std::string& url);

}  // namespace tarnvex::app
